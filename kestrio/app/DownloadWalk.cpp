#include "kestrio/app/DownloadWalk.h"

#include "kestrio/capture/InOutError.h"
#include "kestrio/capture/ToolsUnit.h"
#include "platform/Cp1252.h"

#include <QFile>
#include <QTimer>
#include <cctype>

namespace kestrio {

namespace {

void StoreBody(const std::string& path, const QByteArray& body) {
    QFile f(platform::Cp1252ToQString(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(body) != body.size() ||
        !f.flush()) {
        throw EInOutError("Cannot write file \"" + path + "\": " + f.errorString().toStdString());
    }
    f.close();
}

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : LowerASCII(name.substr(dot));
}

} // namespace

TDownloadWalk::TDownloadWalk(QObject* parent) : QObject(parent) {
    AdvHttp.ConnectTimeoutMs = 5000;
    AdvHttp.UserAgent = platform::HttpClient::kDefaultUserAgent;
    AdvHttp.AuthAttempts = 3;
    AdvHttp.OnRequestComplete = [this] {
        Guard([this] {
            SaveCurrent();
            DownloadNext();
        });
    };
    AdvHttp.OnRedirect = [this](const std::string& url) {
        Guard([this, url] { Lister->RenameCurrent(url); });
    };
    AdvHttp.OnNeedAuth = [this] {
        std::optional<std::pair<std::string, std::string>> creds;
        if (OnNeedAuth) creds = OnNeedAuth(GetRoot(Lister->CurrentURL()));
        if (creds) AdvHttp.SetCredentials(creds->first, creds->second);
    };
    AdvHttp.OnFailed = [this](const std::string& why) {
        if (OnRequestFailed) OnRequestFailed(Lister->CurrentURL(), why);
        if (SkipFailed && !finished_) Guard([this] { btnSkipClick(); });
    };
}

int32_t TDownloadWalk::Percent(int32_t position, int32_t maximum) {
    if (maximum <= 0) return 0;
    const int64_t num = int64_t(position) * 100, den = maximum;
    int64_t q = num / den;
    const int64_t twice = 2 * (num % den);
    if (twice > den || (twice == den && q % 2 != 0)) ++q;
    return int32_t(q);
}

bool TDownloadWalk::IsTextResponse(const std::vector<std::string>& headerLines) {
    static const std::string name = "Content-Type:";
    bool text = false;
    for (const std::string& line : headerLines)
        if (line.compare(0, name.size(), name) == 0)
            text = line.find("text/", name.size()) != std::string::npos;
    return text;
}

void TDownloadWalk::Changed() {
    if (OnChanged) OnChanged();
}

void TDownloadWalk::ShowStatus(const std::string& caption) {
    const std::string p = std::to_string(Percent(Position, Maximum));
    StatusText = p + "% " + caption;
    AppTitle = p + "% Kestrio: " + PageTitle;
}

void TDownloadWalk::Guard(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& e) {
        if (OnError) OnError(e.what());
        if (!SkipFailed || finished_ || recovering_ > 0) return;
        // Nobody will press a button: leave the entry and go on.
        ++recovering_;
        try {
            AdvHttp.Cancel();
            Lister->SetCurrentState(lsSkipped);
            DownloadNext();
        } catch (const std::exception& again) {
            if (OnError) OnError(again.what());
        }
        --recovering_;
    }
}

void TDownloadWalk::FormShow() {
    Guard([this] { StartDownload(); });
}

void TDownloadWalk::ShowEntry(int32_t position) {
    Position = position;
    Maximum = Lister->Count();
    ShowStatus(Lister->PhaseCaption());
    // The label first, so that an address the client refuses is on view.
    URLText = Lister->CurrentText().empty() ? Lister->CurrentURL() : Lister->CurrentText();
    URLHint = Lister->CurrentURL();
    Changed();
    AdvHttp.SetURL(Lister->CurrentURL());
    AdvHttp.Start();
}

void TDownloadWalk::StartDownload() {
    if (Lister->First()) {
        // The page is saved even when the first address is refused.
        try {
            ShowEntry(0);
        } catch (...) {
            Lister->SaveDocuments();
            throw;
        }
        Lister->SaveDocuments();
    } else {
        Lister->SaveDocuments();
        DownloadNext();
    }
}

void TDownloadWalk::DownloadNext() {
    if (Lister->Next())
        ShowEntry(Lister->CurrentIndex());
    else
        Finish();
}

void TDownloadWalk::SaveCurrent() {
    const std::string ext = LowerExtension(Lister->CurrentLocalName());
    if (ext != ".htm" && ext != ".html" && IsTextResponse(AdvHttp.HeaderLines()))
        Lister->AddHtmSuffix();
    StoreBody(DestDir + Lister->CurrentLocalName() + Lister->TmpSuffix(), AdvHttp.Body());
    Lister->ScanDownloadedPage();
    Lister->SetCurrentState(lsDownloaded);
}

void TDownloadWalk::Finish() {
    finished_ = true;
    AdvHttp.Cancel();
    try {
        RelinkAll();
        relinked_ = true;
    } catch (const std::exception& e) {
        // The walk is over either way; the pages after the failed one keep
        // their temporary files.
        relinkFailed_ = true;
        if (OnError) OnError(e.what());
    }
    PostClose();
}

void TDownloadWalk::RelinkAll() {
    Lister->ResetRelink();
    Maximum = Lister->Count();
    while (Lister->RelinkNext()) {
        Position = Lister->CurrentIndex() + 1;
        ShowStatus("Relink files");
        URLText = Lister->CurrentText().empty() ? Lister->CurrentURL() : Lister->CurrentText();
        URLHint = Lister->CurrentURL();
        Changed();
    }
}

void TDownloadWalk::PostClose() {
    if (closePosted_) return;
    closePosted_ = true;
    // Closes after the notification in progress has been handled.
    QTimer::singleShot(0, this, [this] {
        if (OnClose) OnClose();
    });
}

void TDownloadWalk::btnSkipClick() {
    if (finished_) return;
    AdvHttp.Cancel();
    Guard([this] {
        Lister->SetCurrentState(lsSkipped);
        DownloadNext();
    });
}

void TDownloadWalk::btnStopClick() {
    if (finished_) return;
    AdvHttp.Cancel();
    Finish();
}

void TDownloadWalk::btnAbortClick() {
    AdvHttp.Cancel();
    aborted_ = true;
    finished_ = true;
    if (OnClose) OnClose();
}

} // namespace kestrio
