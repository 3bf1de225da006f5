#pragma once
// Fetches a page and its frames and describes them as a page snapshot, for
// terminal use without a browser. Frames nest up to kMaxFrameDepth levels; a
// frame that cannot be fetched is listed with an empty document.
#include "platform/HttpClient.h"

#include <QJsonObject>
#include <QObject>
#include <functional>
#include <string>

namespace kestrio {

class PageFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxFrameDepth = 3;

    explicit PageFetcher(QObject* parent = nullptr);

    // selection: the text of the user's selection (UTF-8) in the top window.
    // done receives the snapshot, or an empty object and the reason.
    void Fetch(const std::string& url, const QString& selection,
               std::function<void(const QJsonObject& snapshot, const QString& error)> done);

    // Runs the event loop until Fetch is done. Throws std::runtime_error.
    static QJsonObject FetchNow(const std::string& url, const QString& selection);

private:
    struct Pending {
        QJsonObject* window;
        std::string url;
        int depth;
    };
    void Next();
    void Completed();
    void Failed(const QString& why);

    platform::HttpClient http_;
    std::vector<std::unique_ptr<QJsonObject>> windows_; // built bottom-up at the end
    std::vector<Pending> queue_;
    struct Node {
        QJsonObject* window;
        std::vector<QJsonObject*> frames;
    };
    std::vector<Node> nodes_;
    Pending current_{};
    QString selection_;
    std::function<void(const QJsonObject&, const QString&)> done_;
};

} // namespace kestrio
