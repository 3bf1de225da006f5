#include "kestrio/app/PageFetcher.h"

#include "kestrio/app/PageSnapshot.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <algorithm>
#include <stdexcept>

namespace kestrio {

PageFetcher::PageFetcher(QObject* parent) : QObject(parent) {
    http_.AuthAttempts = 0; // no prompt here: a 401 ends the request
    http_.OnRequestComplete = [this] { Completed(); };
    http_.OnFailed = [this](const std::string& why) { Failed(QString::fromStdString(why)); };
}

void PageFetcher::Fetch(const std::string& url, const QString& selection,
                        std::function<void(const QJsonObject&, const QString&)> done) {
    done_ = std::move(done);
    selection_ = selection;
    windows_.clear();
    nodes_.clear();
    queue_.clear();
    windows_.push_back(std::make_unique<QJsonObject>());
    queue_.push_back({windows_.back().get(), url, 0});
    nodes_.push_back({windows_.back().get(), {}});
    Next();
}

void PageFetcher::Next() {
    if (queue_.empty()) {
        // Nest the frames into their windows, innermost first.
        for (auto it = nodes_.rbegin(); it != nodes_.rend(); ++it) {
            if (it->frames.empty()) continue;
            QJsonArray frames;
            for (QJsonObject* f : it->frames)
                frames.append(*f);
            (*it->window)["frames"] = frames;
        }
        QJsonObject snapshot;
        snapshot["format"] = "browser-page-snapshot";
        snapshot["version"] = 1;
        snapshot["window"] = *windows_.front();
        auto done = std::move(done_);
        if (done) done(snapshot, QString());
        return;
    }
    current_ = queue_.front();
    queue_.erase(queue_.begin());
    try {
        http_.SetURL(current_.url);
        http_.Start();
    } catch (const std::exception& e) {
        Failed(QString::fromStdString(e.what()));
    }
}

void PageFetcher::Completed() {
    if (http_.StatusCode() >= 400 && current_.depth == 0) {
        Failed(QString("The server answered %1 for %2")
                   .arg(http_.StatusCode())
                   .arg(QString::fromStdString(current_.url)));
        return;
    }
    QString contentType;
    for (const std::string& line : http_.HeaderLines())
        if (QString::fromStdString(line).startsWith("content-type:", Qt::CaseInsensitive))
            contentType = QString::fromStdString(line);
    const QString finalUrl = QString::fromStdString(http_.URL());
    ParsedPage page = ParsePage(DecodeBody(http_.Body(), contentType), finalUrl);
    QJsonObject& w = *current_.window;
    w["url"] = finalUrl;
    if (current_.depth == 0) page.Document["selection"] = selection_;
    w["document"] = page.Document;
    if (current_.depth < kMaxFrameDepth) {
        auto node = std::find_if(nodes_.begin(), nodes_.end(),
                                 [&](const Node& n) { return n.window == current_.window; });
        const size_t nodeIndex = size_t(node - nodes_.begin());
        for (const QString& f : page.FrameURLs) {
            windows_.push_back(std::make_unique<QJsonObject>());
            QJsonObject* fw = windows_.back().get();
            (*fw)["url"] = f;
            nodes_[nodeIndex].frames.push_back(fw);
            nodes_.push_back({fw, {}});
            queue_.push_back({fw, f.toStdString(), current_.depth + 1});
        }
    }
    Next();
}

void PageFetcher::Failed(const QString& why) {
    if (current_.depth > 0) { // the frame stays with its address and no content
        Next();
        return;
    }
    queue_.clear();
    auto done = std::move(done_);
    if (done) done(QJsonObject(), why.isEmpty() ? "The page could not be fetched." : why);
}

QJsonObject PageFetcher::FetchNow(const std::string& url, const QString& selection) {
    PageFetcher f;
    QEventLoop loop;
    QJsonObject result;
    QString error;
    bool finished = false;
    f.Fetch(url, selection, [&](const QJsonObject& s, const QString& e) {
        result = s;
        error = e;
        finished = true;
        loop.quit();
    });
    if (!finished) loop.exec();
    if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
    return result;
}

} // namespace kestrio
