#include "engine/UnitDownloader.h"

#include "engine/UnitEngineSettings.h"
#include "engine/UnitEngineUI.h"
#include "engine/UnitHTTPText.h"
#include "i18n/UnitLanguageManagement.h"
#include "platform/DateTimeText.h"
#include "platform/WinsockErrors.h"
#include "storage/UnitDownloadInfo.h"
#include "storage/UnitJobItem.h"
#include "storage/UnitLogFiles.h"

namespace {
int engineCounter = 0;
} // namespace

bool LogEnabled() {
    return MainBool("Logging", false);
}

TGenericDownloaderSocket::TGenericDownloaderSocket(bool isRange) : IsRange(isRange) {
    EngineName = std::string(isRange ? "Range" : "Head") + "-" + std::to_string(++engineCounter);
}

TGenericDownloaderSocket::~TGenericDownloaderSocket() = default;

TDownloader::TDownloader(TDownloadInfo& job, TFinishEvent onFinish)
    : OnFinish(std::move(onFinish)), TargetStream(std::make_unique<TTargetFile>()), Info(job),
      TempInfo(std::make_unique<TTempInfo>()), alive_(std::make_shared<bool>(true)) {
    RetryCount = 0;
    RetryTime = platform::CurrentClock().Now();
    retryAtMs_ = NowMs();
    State = psStartup;
    NoRetry = false;
    Info.ClearLog();
    Info.AddLog(ltInfo, "StartUp", "");
    Timer = platform::MakeTimer();
    std::int64_t interval = MainInt("PulseInterval", 100);
    Timer->SetInterval(interval < 0 ? 0 : static_cast<int>(interval));
    Timer->OnTimer = [this] { Pulse(); };
    Timer->FireSoon(); // the first step has nothing to wait for
    Timer->SetEnabled(true);
}

TDownloader::~TDownloader() {
    *alive_ = false;
    for (auto& e : Engines)
        e->Close();
    TempInfo.reset();
    Timer.reset();
    Engines.clear();
    TargetStream.reset();
}

std::int64_t TDownloader::NowMs() const {
    return platform::CurrentClock().MonotonicMs();
}

void TDownloader::ReportStep(const char* text) {
    if (LogEnabled()) WriteLog(text);
}

void TDownloader::SetState(int value) {
    int next = value == kNextState ? State + 1 : value;
    if (next == State) return;
    State = static_cast<std::uint8_t>(next);
    if (Timer) Timer->FireSoon(); // a new state runs at once, not a period later
}

void TDownloader::Finish(std::uint8_t code) {
    TFinishEvent f = OnFinish; // the receiver may destroy us, and OnFinish with us
    if (f) f(code);
}

void TDownloader::Pulse() {
    Timer->SetEnabled(false);
    std::shared_ptr<bool> alive = alive_;
    bool keep = true;
    switch (State) {
    case psStartup:
        keep = DoStartup();
        break;
    case psGetHead:
        keep = DoGetHead();
        break;
    case psWaitHead:
        keep = DoWaitHead();
        break;
    case psProcessHead:
        keep = DoProcessHead();
        break;
    case psDownload:
        keep = DoDownload();
        break;
    case psFinish:
        keep = DoFinish();
        break;
    case psSuccess:
        keep = DoSuccess();
        break;
    case psFail:
        keep = DoFail();
        break;
    case psWaitRetry:
        keep = DoWaitRetry();
        break;
    default:
        keep = false;
        break;
    }
    if (!*alive) return;
    if (keep && Timer) Timer->SetEnabled(true);
}

void TDownloader::DropEngines() {
    for (auto& e : Engines)
        e->Close();
    Engines.clear();
}

bool TDownloader::DoStartup() {
    ReportStep("Pulse: startup");
    TempInfo = std::make_unique<TTempInfo>();
    TempInfo->Set("SessionDownloadedBytes", "0");
    TempInfo->Set("InstantDownloadedBytes", "0");
    TempInfo->Set("LastTime", "0");
    TempInfo->Set("Download.BPS.Minor", "0");
    TempInfo->Set("Location", Info.ReadString("URL"));
    Info.WriteInteger("Download.BPS", 0);
    Info.WriteBool("Failed", false);
    DropEngines();
    redirects_ = 0;
    emptyCloses_ = 0;
    SetState(kNextState);
    return true;
}

bool TDownloader::DoGetHead() {
    ReportStep("Pulse: getHead");
    ParseURL();
    if (!SpeaksProtocol(TempInfo->Get("HostProtocol"))) {
        // Fetching it over this protocol would reach the wrong service, and
        // trying again cannot help.
        Info.AddLog(ltError, "UnknownProtocol", TempInfo->Get("Location"));
        NoRetry = true;
        SetState(psFail);
        return true;
    }
    SetupConnection();
    if (http::HasControlChars(TempInfo->Get("Location"))) {
        // Such an address would smuggle text into the request.
        FailAttempt("Bad URL: it holds control characters");
        return true;
    }
    Info.AddLog(ltInfo, "Connect",
                TempInfo->Get("ConnectionHost") + ":" + TempInfo->Get("ConnectionPort"));
    TempInfo->Set("Download.HeadSuccess", "No");
    // The parser state of an earlier head (before a redirect) must not carry over.
    TempInfo->Remove("ProccessHeadDone");
    TempInfo->Remove("Redirect");
    TempInfo->Remove("RedirLocation");
    TempInfo->Remove("BasicRealm");
    StartHead();
    return true;
}

bool TDownloader::DoWaitHead() {
    if (CheckInactivity()) return true;
    if (!TempInfo->Is("Download.HeadSuccess", "Yes")) {
        if (Engines.empty()) {
            SetState(psFail);
        } else if (!Engines.front()->Busy) {
            std::shared_ptr<bool> alive = alive_;
            bool ok = CheckHead(); // may show a modal prompt
            if (!*alive) return false;
            if (!ok) SetState(psFail);
        }
        return true;
    }
    DropEngines();
    ReportStep("Pulse: checkRedirection");
    if (TempInfo->Is("Redirect", "Yes")) {
        std::string target =
            http::ResolveURL(TempInfo->Get("Location"), TempInfo->Get("RedirLocation"));
        if (++redirects_ > kMaxRedirects) {
            FailAttempt("Too many redirects, the last to " + target);
            return true;
        }
        Info.AddLog(ltInfo, "Redirect", target);
        TempInfo->Set("Location", target);
        SetState(psGetHead);
    } else {
        SetState(kNextState);
    }
    return true;
}

bool TDownloader::DoProcessHead() {
    ReportStep("Pulse: proccessHead");
    OpenTarget();
    if (!TargetStream->IsOpen()) {
        FailAttempt("Cannot open " + TargetPath() + "._");
        return true;
    }
    ProcessHead();
    ReleaseProgressRanges();
    CreateEngines();
    Info.AddLog(ltInfo, "Download", "");
    TempInfo->Set("StartTime", platform::DateTimeToText(platform::CurrentClock().Now()));
    SetState(kNextState);
    return true;
}

bool TDownloader::DoDownload() {
    if (CheckInactivity()) return true;
    Step();
    return true;
}

bool TDownloader::DoFinish() {
    ReportStep("Pulse: finishDownload");
    DropEngines();
    ClearProgressKeys();
    FinishFile();
    if (State == psFinish) SetState(kNextState);
    return true;
}

bool TDownloader::DoSuccess() {
    std::shared_ptr<bool> alive = alive_;
    bool accepted = AcceptDownload();
    if (!*alive) return false;
    if (!accepted) return true; // a new attempt for another address was set up
    if (!Info.ReadBool("AvoidNotify")) {
        std::string url = Info.ReadString("URL");
        if (TEngineUI* ui = EngineUI()) ui->DownloadComplete(url);
        if (!*alive) return false;
        AddStat("FilesDownloaded", 1);
        AddHistory(url, Info.ReadInteger("Content-Length"));
    }
    ReportStep("Pulse: success");
    Info.AddLog(ltSuccess, "Success", "");
    Finish(ncSucceeded);
    return false;
}

bool TDownloader::DoFail() {
    ReportStep("Pulse: fail");
    Info.AddLog(ltError, "Fail", "");
    bool final = NoRetry || Info.ReadBool("AvoidRetry");
    if (!final && !MainBool("AlwaysRetry", false)) final = MainInt("MaxRetries", 0) <= RetryCount;
    if (final) {
        Finish(ncFailed);
        return false;
    }
    TempInfo = std::make_unique<TTempInfo>();
    DropEngines();
    TargetStream = std::make_unique<TTargetFile>();
    RetryCount += 1;
    std::int64_t delay = MainInt("RetryDelay", 0);
    if (delay < 0) delay = 0;
    if (delay > 59) delay = 59;
    RetryTime = platform::CurrentClock().Now() + delay;
    retryAtMs_ = NowMs() + delay * 1000;
    Info.AddLog(ltInfo, "WaitForRetry", std::to_string(RetryCount));
    SetState(psWaitRetry);
    return true;
}

bool TDownloader::DoWaitRetry() {
    if (NowMs() >= retryAtMs_) SetState(psStartup);
    return true;
}

bool TDownloader::CheckInactivity() {
    std::int64_t now = NowMs();
    for (auto& e : Engines) {
        if (e->Busy && e->Active() && now - e->LastActivityMs >= kInactivityMs) {
            int code = platform::wsa::kTimedOut;
            EngineError(*e, code);
            return true;
        }
    }
    return false;
}

void TDownloader::FailAttempt(const std::string& info) {
    if (LogEnabled()) WriteLog("Attempt failed: " + info);
    Info.AddLog(ltError, "Error", info);
    SetState(psFail);
}

void TDownloader::ParseURL() {
    TTempInfo& t = *TempInfo;
    std::string s = t.Get("Location");
    std::size_t b = s.find_first_not_of(" \t");
    std::size_t e = s.find_last_not_of(" \t");
    s = b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    t.Set("HostProtocol", "");
    if (std::size_t p = s.find("://"); p != std::string::npos) {
        t.Set("HostProtocol", s.substr(0, p));
        s = s.substr(p + 3);
    }
    // An address without a path after its host fetches "/".
    std::string host, file;
    std::size_t slash = s.find('/');
    std::size_t query = s.find('?');
    if (slash != std::string::npos && (query == std::string::npos || slash < query)) {
        host = s.substr(0, slash);
        file = s.substr(slash + 1);
    } else if (query != std::string::npos) {
        host = s.substr(0, query);
        file = s.substr(query);
    } else {
        host = s;
    }
    if (std::size_t at = host.find('@'); at != std::string::npos) {
        std::string cred = host.substr(0, at);
        host = host.substr(at + 1);
        t.Set("Authenticate", "Yes");
        if (std::size_t c = cred.find(':'); c != std::string::npos) {
            t.Set("Authentication.UserID", cred.substr(0, c));
            t.Set("Authentication.UserPwd", cred.substr(c + 1));
        } else {
            t.Set("Authentication.UserID", cred);
            t.Set("Authentication.UserPwd", "");
        }
    } else if (Info.ReadBool("UseCustomAuthentication")) {
        t.Set("Authenticate", "Yes");
        t.Set("Authentication.UserID", Info.ReadString("Authentication.UserID"));
        t.Set("Authentication.UserPwd", Info.ReadString("Authentication.UserPwd"));
    }
    t.Set("HostPort", "");
    // A bracketed IPv6 literal holds colons of its own.
    const std::size_t close = host.rfind(']');
    const bool bracketed = !host.empty() && host[0] == '[' && close != std::string::npos;
    if (std::size_t c = host.find(':', bracketed ? close : 0); c != std::string::npos) {
        t.Set("HostPort", host.substr(c + 1));
        host = host.substr(0, c);
    }
    t.Set("HostName", host);
    t.Set("HostFile", file.substr(0, file.find('#'))); // a fragment is never sent
}

void TDownloader::SetupConnection() {
    TTempInfo& t = *TempInfo;
    const std::string p = t.Get("HostProtocol");
    if (MainBool(p + ".ProxyEnabled", false)) {
        t.Set("ProxyEnabled", "Yes");
        t.Set("ConnectionHost", MainString(p + ".ProxyHost", ""));
        t.Set("ConnectionPort", MainString(p + ".ProxyPort", "0"));
    } else {
        t.Set("ProxyEnabled", "No");
        t.Set("ConnectionHost", t.Get("HostName"));
        t.Set("ConnectionPort", t.Get("HostPort"));
    }
    if (LogEnabled()) WriteLog("TempInfo:\r\n" + t.Text());
}

bool TDownloader::CheckHead() {
    return true;
}
bool TDownloader::AcceptDownload() {
    return true;
}
bool TDownloader::SpeaksProtocol(const std::string&) const {
    return true;
}

void TDownloader::EngineConnected(TGenericDownloaderSocket& engine) {
    ReportStep("Connected");
    engine.LastActivityMs = NowMs();
    if (!engine.IsRange) Info.AddLog(ltSuccess, "Connected", "");
}

void TDownloader::EngineDisconnected(TGenericDownloaderSocket& engine) {
    ReportStep("Disconnected");
    bool wasBusy = engine.Busy;
    engine.Busy = false;
    if (wasBusy && engine.IsRange && State == psDownload && !RangeFilled(engine)) {
        // A server that keeps closing range connections before sending anything
        // would otherwise be asked again for ever.
        if (engine.ConnectionBytes == 0) {
            if (++emptyCloses_ >= 5) FailAttempt("The server closed the connection without data");
        } else {
            emptyCloses_ = 0;
        }
    }
    if (Timer) Timer->FireSoon(); // an idle engine may take work at once
}

void TDownloader::EngineError(TGenericDownloaderSocket& engine, int& errorCode) {
    const std::string code = std::to_string(errorCode);
    if (LogEnabled()) WriteLog("OnSocketError " + engine.EngineName + ": " + code);
    if (!LangText("DownloadLog.Error." + code).empty())
        Info.AddLog(ltError, "Error." + code, "");
    else
        Info.AddLog(ltError, "Error", code);
    errorCode = 0;
    SetState(psFail);
}
