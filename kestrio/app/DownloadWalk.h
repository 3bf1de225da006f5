#pragma once
// The download window's work without its widgets: walks the lister through
// pages, pictures and stylesheets, fetching each wanted entry with the HTTP
// client and storing it in DestDir, saves the page and its frames from the
// browser while the first request runs, and relinks the stored pages at the
// end. The view shows the fields below after every OnChanged.
#include "kestrio/capture/ListerUnit.h"
#include "platform/HttpClient.h"

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace kestrio {

// The window message that closes the window once the current notification
// has been handled.
constexpr int kCloseMessage = 1024 + 200;

class TDownloadWalk : public QObject {
    Q_OBJECT
public:
    explicit TDownloadWalk(QObject* parent = nullptr);

    platform::HttpClient AdvHttp;

    // What the window shows (pbGet, lblStatus, lblURL and its hint, the
    // application title).
    int32_t Position = 0, Maximum = 0;
    std::string StatusText, URLText, URLHint, AppTitle;

    std::function<void()> OnChanged;
    // The server asks for a user name and password for the site; none leaves
    // the credentials as they are.
    std::function<std::optional<std::pair<std::string, std::string>>(const std::string& site)>
        OnNeedAuth;
    // An error that the platform's default handler would show.
    std::function<void(const std::string& message)> OnError;
    // The walk is over (or aborted): the window closes with the OK result.
    std::function<void()> OnClose;
    // A request failed without a response (the window itself ignores this).
    std::function<void(const std::string& url, const std::string& why)> OnRequestFailed;

    // Without a user to press "S&kip", failed entries are skipped at once.
    bool SkipFailed = false;

    void FormShow(); // StartDownload
    void btnSkipClick();
    void btnStopClick();
    void btnAbortClick();

    bool Relinked() const { return relinked_; }
    bool Aborted() const { return aborted_; }
    // An error of the relinking, if any (the save is then incomplete).
    bool RelinkFailed() const { return relinkFailed_; }

    // P% of ShowStatus: position / maximum * 100, halves rounded to even.
    static int32_t Percent(int32_t position, int32_t maximum);
    static bool IsTextResponse(const std::vector<std::string>& headerLines);

private:
    void StartDownload();
    void ShowEntry(int32_t position);
    void DownloadNext();
    void SaveCurrent();
    void Finish();
    void RelinkAll();
    void ShowStatus(const std::string& caption);
    void Changed();
    void PostClose();
    // Runs a step; an error is reported and, without a user, the current
    // entry is skipped.
    void Guard(const std::function<void()>& step);

    bool relinked_ = false, aborted_ = false, relinkFailed_ = false;
    bool finished_ = false, closePosted_ = false;
    int recovering_ = 0;
};

} // namespace kestrio
