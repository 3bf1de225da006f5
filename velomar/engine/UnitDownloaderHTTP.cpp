#include "engine/UnitDownloaderHTTP.h"

#include "engine/UnitEngineSettings.h"
#include "engine/UnitEngineUI.h"
#include "engine/UnitHTTPText.h"
#include "storage/UnitDownloadInfo.h"
#include "storage/UnitLogFiles.h"

#include <algorithm>

namespace {

// The request line must not break on blanks.
std::string RequestTarget(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

std::string BasicCredentials(const std::string& user, const std::string& password) {
    return http::BasicCredentials(user, password);
}

THTTPDownloaderSocket::THTTPDownloaderSocket(bool isRange) : TGenericDownloaderSocket(isRange) {}

THTTPDownloader::THTTPDownloader(TDownloadInfo& job, TFinishEvent onFinish)
    : TDownloader(job, std::move(onFinish)) {
    EngineClass = [](bool isRange) -> std::unique_ptr<TGenericDownloaderSocket> {
        return std::make_unique<THTTPDownloaderSocket>(isRange);
    };
    buffer_.resize(kReadPiece);
}

void THTTPDownloader::ParseURL() {
    TDownloader::ParseURL();
    if (TempInfo->Get("HostProtocol").empty()) TempInfo->Set("HostProtocol", "http");
    if (TempInfo->Get("HostPort").empty()) TempInfo->Set("HostPort", "80");
}

bool THTTPDownloader::SpeaksProtocol(const std::string& protocol) const {
    // Schemes are case-insensitive in a Location; the job's own URL was
    // checked for the exact "http://" before this downloader was made.
    return protocol.size() == 4 && Lower(protocol[0]) == 'h' && Lower(protocol[1]) == 't' &&
           Lower(protocol[2]) == 't' && Lower(protocol[3]) == 'p';
}

void THTTPDownloader::PrepareEngine(TGenericDownloaderSocket& base) {
    auto& e = static_cast<THTTPDownloaderSocket&>(base);
    TTempInfo& t = *TempInfo;
    e.HeaderText.clear();
    e.Received.clear();
    e.HeaderDone = false;
    e.RangeSent = false;
    e.Phase = hpRequest;
    std::string& r = e.Request;
    r.clear();
    r += e.IsRange ? "GET" : "HEAD";
    r += t.Is("ProxyEnabled", "Yes") ? " " : " /";
    const std::string target = t.Get(t.Is("ProxyEnabled", "Yes") ? "Location" : "HostFile");
    r += RequestTarget(target.substr(0, target.find('#'))); // a fragment is never sent
    r += " HTTP/1.0\r\n";
    r += "Accept: */*\r\n";
    r += "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)\r\n";
    // The port belongs in Host unless it is the default one.
    r += "Host: " + t.Get("HostName");
    if (const std::string port = t.Get("HostPort"); port != "80") r += ":" + port;
    r += "\r\n";
    if (t.Is("Authenticate", "Yes"))
        r += "Authorization: Basic " +
             http::BasicCredentials(t.Get("Authentication.UserID"),
                                    t.Get("Authentication.UserPwd")) +
             "\r\n";
    e.RangePos = 0;
    e.RangeEnd = -1;
    e.BodyOffset = 0;
    if (e.IsRange && e.RangeIndex > 0) {
        const TRangeKeys& k = RangeKeys(e.RangeIndex);
        const std::string pos = Info.ReadString(k.Position);
        const std::string end = Info.ReadString(k.End);
        e.RangePos = Info.ReadInteger(k.Position);
        e.RangeEnd = end.empty() || Info.ReadInteger("Download.Content-Length") <= 0
                         ? -1
                         : Info.ReadInteger(k.End);
        if (t.Is("Accept-Ranges", "Yes")) {
            r += "Range: bytes=" + pos + "-" + (e.RangeEnd >= 0 ? end : std::string()) + "\r\n";
            e.RangeSent = true;
        }
    }
    r += "\r\n";
}

void THTTPDownloader::EngineWrite(TGenericDownloaderSocket& base) {
    auto& e = static_cast<THTTPDownloaderSocket&>(base);
    if (LogEnabled()) WriteLog("Request:\r\n" + e.Request);
    e.SendText(e.Request);
    if (e.Phase == hpRequest) e.Phase = hpHeader;
}

void THTTPDownloader::EngineRead(TGenericDownloaderSocket& base) {
    auto& e = static_cast<THTTPDownloaderSocket&>(base);
    std::int64_t waiting = e.ReceiveLength();
    if (waiting <= 0) return;
    switch (e.Phase) {
    case hpRequest: // an answer before the request went out is still an answer
    case hpHeader:
        ReadHeader(e, waiting);
        break;
    case hpBody:
        ReadBody(e, waiting, 0);
        break;
    case hpDiscard:
        Discard(e, waiting);
        break;
    }
}

void THTTPDownloader::ReadHeader(THTTPDownloaderSocket& e, std::int64_t waiting) {
    // Until the header is complete everything is kept.
    while (waiting > 0) {
        std::int64_t n =
            e.ReceiveBuf(buffer_.data(), std::min<std::int64_t>(waiting, std::int64_t(kReadPiece)));
        if (n <= 0) break;
        e.Received.append(buffer_.data(), static_cast<std::size_t>(n));
        waiting -= n;
        if (http::FindHeaderEnd(e.Received) != std::string::npos) break;
    }
    std::size_t end = http::FindHeaderEnd(e.Received);
    if (end == std::string::npos) {
        if (e.Received.size() > kMaxHeader) {
            FailAttempt("The server's answer has no end of header");
            e.Received.clear();
            e.Phase = hpDiscard;
        }
        return;
    }
    e.HeaderText.assign(e.Received, 0, end);
    e.HeaderDone = true;
    e.Received.erase(0, end + 4);
    if (!e.IsRange) {
        e.Received.clear(); // a body after a HEAD answer means nothing
        e.Phase = hpDiscard;
        ProcessHeader();
        Discard(e, waiting);
        return;
    }
    if (!AcceptRangeAnswer(e)) {
        e.Received.clear();
        e.Phase = hpDiscard;
        e.Close();
        return;
    }
    e.Phase = hpBody;
    std::int64_t written = 0;
    if (!e.Received.empty()) { // body bytes that came with the header
        written = WriteBody(e, e.Received.data(), e.Received.size());
        e.Received.clear();
        if (written < 0) return;
    }
    ReadBody(e, waiting, written);
}

void THTTPDownloader::Discard(THTTPDownloaderSocket& e, std::int64_t waiting) {
    while (waiting > 0) {
        std::int64_t n =
            e.ReceiveBuf(buffer_.data(), std::min<std::int64_t>(waiting, std::int64_t(kReadPiece)));
        if (n <= 0) break;
        waiting -= n;
    }
}

void THTTPDownloader::ReadBody(THTTPDownloaderSocket& e, std::int64_t waiting, std::int64_t batch) {
    while (waiting > 0 && !RangeFilled(e)) {
        std::int64_t n =
            e.ReceiveBuf(buffer_.data(), std::min<std::int64_t>(waiting, std::int64_t(kReadPiece)));
        if (n <= 0) break;
        waiting -= n;
        std::int64_t w = WriteBody(e, buffer_.data(), static_cast<std::size_t>(n));
        if (w < 0) {
            e.Phase = hpDiscard;
            return;
        }
        batch += w;
    }
    bool done = batch > 0 && RecordReceived(e.RangeIndex, batch);
    if (done || RangeFilled(e)) {
        e.Phase = hpDiscard;
        if (e.Active()) e.Close();
    }
}

bool THTTPDownloader::AcceptRangeAnswer(THTTPDownloaderSocket& e) {
    http::THeaderFields h(e.HeaderText);
    if (LogEnabled()) WriteLog("Header:\r\n" + e.HeaderText);
    if (h.StatusClass() != '2') {
        Info.AddLog(ltServerReply, "", h.StatusLine());
        SetState(psFail);
        return false;
    }
    if (!e.RangeSent) {
        e.BodyOffset = 0; // the whole file; bytes before the position are skipped
        return true;
    }
    if (h.StatusCode() == "206") {
        std::int64_t start = http::ContentRangeStart(h.Value("Content-Range")).value_or(e.RangePos);
        if (start == e.RangePos) {
            e.BodyOffset = start;
            return true;
        }
    } else if (e.RangePos == 0) {
        e.BodyOffset = 0; // the whole file from its first byte serves this range too
        return true;
    }
    // The server announced ranges but does not honour them: its body belongs
    // at offset 0, not at this range. Start over without ranges.
    Info.AddLog(ltServerReply, "", h.StatusLine());
    Info.AddLog(ltError, "Error", "The server ignored the range request; fetching the whole file");
    RangesRefused = true;
    SetState(psStartup);
    return false;
}

void THTTPDownloader::ProcessHeader() {
    TTempInfo& t = *TempInfo;
    if (Engines.empty()) return;
    auto& e = static_cast<THTTPDownloaderSocket&>(*Engines.front());
    if (t.Is("ProccessHeadDone", "Yes") || e.HeaderText.empty()) return;
    if (LogEnabled()) WriteLog("Header:\r\n" + e.HeaderText);
    http::THeaderFields h(e.HeaderText);
    char cls = h.StatusClass();
    if (cls != '2' && cls != '3') {
        Info.AddLog(ltServerReply, "", h.StatusLine());
        if (h.StatusCode() == "401")
            t.Set("BasicRealm", http::BasicRealmOf(h.Value("WWW-Authenticate")));
    } else {
        t.Set("Download.HeadSuccess", "Yes");
        // A size that is not a decimal number is an unknown size.
        t.SetInt("Content-Length", http::ParseDecimal(h.Value("Content-Length")).value_or(0));
        const std::string lastModified = h.Value("Last-Modified");
        t.Set("Last-Modified", lastModified);
        std::uint32_t age = 0;
        if (h.Has("Last-Modified"))
            if (auto d = http::ParseHTTPDate(lastModified)) age = http::PackHTTPDate(*d);
        t.SetInt("FileAge", age); // an unreadable date counts as none
        t.Set("Accept-Ranges",
              h.Value("Accept-Ranges") == "bytes" && !RangesRefused ? "Yes" : "No");
        const std::string location = h.Value("Location");
        t.Set("RedirLocation", location);
        t.Set("Redirect", location.empty() ? "No" : "Yes");
        if (Timer) Timer->FireSoon();
    }
    t.Set("ProccessHeadDone", "Yes");
}

bool THTTPDownloader::CheckHead() {
    ProcessHeader();
    if (!TempInfo->Get("BasicRealm").empty()) {
        if (AskCredentials()) {
            SetState(psStartup);
            return true;
        }
        return false;
    }
    return TempInfo->Is("Download.HeadSuccess", "Yes");
}

bool THTTPDownloader::AskCredentials() {
    std::string realm = TempInfo->Get("BasicRealm");
    std::string user = Info.ReadString("Authentication.UserID");
    std::string password = Info.ReadString("Authentication.UserPwd");
    std::shared_ptr<bool> alive = alive_;
    TEngineUI* ui = EngineUI();
    bool ok = ui && ui->AskCredentials(realm, user, password);
    if (!*alive) return false;
    if (ok) {
        Info.WriteBool("UseCustomAuthentication", true);
        Info.WriteString("Authentication.UserID", user);
        Info.WriteString("Authentication.UserPwd", password);
    } else {
        NoRetry = true;
    }
    TempInfo->Remove("BasicRealm");
    return ok;
}

bool THTTPDownloader::AcceptDownload() {
    if (Info.ReadBool("AvoidCheckForNewLink") || !MainBool("AggressiveCapturing", false))
        return true;
    // Pages that link to each other would be fetched in turn for ever.
    if (newLinks_ >= kMaxRedirects) return true;
    std::string link = FindNewLink();
    if (link.empty()) return true;
    ++newLinks_;
    Info.AddLog(ltInfo, "Redirect", link);
    Info.WriteString("URL", link);
    SetState(psStartup);
    return false;
}

std::string THTTPDownloader::FindNewLink() {
    const std::string path = TargetPath();
    std::string head;
    if (!ReadFileBytes(path, head, 2048)) return {};
    std::transform(head.begin(), head.end(), head.begin(), Lower);
    if (head.find("<html>") == std::string::npos) return {};
    std::string page;
    if (!ReadFileBytes(path, page)) return {};
    const std::string url = Info.ReadString("URL");
    const std::string name = url.substr(url.rfind('/') + 1);
    if (name.empty()) return {};
    const std::string needle = name + "\"";
    for (std::size_t at = page.find(needle); at != std::string::npos;
         at = page.find(needle, at + 1)) {
        std::size_t quote = page.rfind('"', at == 0 ? 0 : at - 1);
        if (at == 0 || quote == std::string::npos) continue;
        std::string candidate = page.substr(quote + 1, at - quote - 1) + name;
        candidate = http::ResolveURL(url, candidate);
        if (candidate != url) return candidate;
    }
    return {};
}
