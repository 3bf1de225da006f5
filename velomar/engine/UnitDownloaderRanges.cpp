// The multi-connection part of TDownloader: resume or reset, the range layout,
// the engines and the finished file.
#include "engine/UnitDownloader.h"

#include "engine/UnitEngineSettings.h"
#include "engine/UnitHTTPText.h"
#include "engine/UnitTargetFile.h"
#include "platform/DateTimeText.h"
#include "storage/UnitDownloadInfo.h"
#include "storage/UnitLogFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char* const kProgress = "progress";
const char* const kUncomplete = "uncomplete";
const char* const kComplete = "complete";

std::string TwoDigits(std::int64_t h, std::int64_t m, std::int64_t s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2lld:%.2lld:%.2lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s));
    return buf;
}

// Writes only when the value changed: these keys are rewritten every pulse.
void WriteIfChanged(TDownloadInfo& info, const std::string& key, const std::string& value) {
    if (info.ReadString(key) != value) info.WriteString(key, value);
}

} // namespace

const TDownloader::TRangeKeys& TDownloader::RangeKeys(int n) {
    if (n < 1) n = 1;
    while (static_cast<int>(rangeKeys_.size()) < n) {
        std::string p = "Download.Ranges." + std::to_string(rangeKeys_.size() + 1) + ".";
        rangeKeys_.push_back({p + "Start", p + "Position", p + "End", p + "Status"});
    }
    return rangeKeys_[static_cast<std::size_t>(n - 1)];
}

std::string TDownloader::TargetPath() {
    std::string loc = TempInfo ? TempInfo->Get("Location") : std::string();
    if (loc.empty()) loc = Info.ReadString("URL");
    return TargetPathFor(Info.ReadString("SaveAs"), loc, Info.ReadString("DownloadDirectory"));
}

void TDownloader::OpenTarget() {
    const std::string part = TargetPath() + "._";
    const std::string dir = Info.ReadString("DownloadDirectory");
    if (!dir.empty() && !DirectoryExists(dir)) ForceDirectories(dir);
    TargetStream = std::make_unique<TTargetFile>();
    if (FileExists(part)) {
        TargetStream->Open(part, false);
    } else {
        TempInfo->Set("Download.Reset", "Target File Not Found");
        TargetStream->Open(part, true);
    }
}

void TDownloader::ProcessHead() {
    TTempInfo& t = *TempInfo;
    std::string reason = t.Get("Download.Reset");
    if (t.Get("Last-Modified") != Info.ReadString("Download.Last-Modified"))
        reason = "Modified";
    else if (t.Get("Content-Length") != Info.ReadString("Download.Content-Length"))
        reason = "Modified";
    if (!t.Is("Accept-Ranges", "Yes")) reason = "Ranges Not Accepted By Server";
    std::string outside = Info.ReadString("Download.Reset");
    if (!outside.empty()) {
        reason = outside;
        Info.WriteString("Download.Reset", "");
    }
    t.Set("Download.Reset", reason);

    if (reason.empty()) {
        if (!Info.ReadBool("AvoidNotify"))
            AddStat("BytesSaved", Info.ReadInteger("Download.DownloadedSize"));
        return;
    }

    Info.WriteString("Download.LastReset",
                     Info.ReadString("Download.LastReset").empty() ? "Normal Startup" : reason);
    std::int64_t size = t.GetInt("Content-Length");
    if (size < 0) size = 0;
    std::int64_t engines = 1;
    std::int64_t rangeSize = size;
    if (t.Is("Accept-Ranges", "Yes")) {
        const std::string scheme = t.Get("HostProtocol");
        std::int64_t min = MainInt(scheme + ".MinRangeSize", 0);
        std::int64_t max = MainInt(scheme + ".MaxRangeSize", 0);
        if (max <= 0) max = size;
        engines = std::clamp<std::int64_t>(Info.ReadInteger("Sockets"), 1, 15);
        rangeSize = size / engines;
        if (rangeSize < min) rangeSize = min;
        if (rangeSize > max) rangeSize = max;
    }
    if (rangeSize < 1) rangeSize = 1; // a range must advance
    Info.WriteString("Download.Last-Modified", t.Get("Last-Modified"));
    Info.WriteInteger("Download.Content-Length", size);
    Info.WriteInteger("Download.DownloadedSize", 0);
    Info.WriteInteger("Download.Sockets", engines);
    Info.WriteInteger("Download.RangeSize", rangeSize);
    Info.WriteInteger("Download.Ranges.Count", 0);
    Info.WriteInteger("Download.NextRangeStart", 0);
    if (size > 0)
        Info.WriteInteger("Download.Size", size);
    else
        Info.WriteString("Download.Size", "?");
    Info.WriteString("Download.Ratio", "");

    // Stale bytes of an earlier, longer file must not stay behind the new end.
    if (TargetStream->Size() > size) TargetStream->Truncate(size);
    if (MainBool("AllocFileSize", true) && size > 0) {
        if (LogEnabled()) WriteLog("Allocating File Size: " + std::to_string(size));
        TargetStream->WriteAt(size - 1, "A", 1);
    }
}

bool TDownloader::RangeWritten(const TRangeKeys& k) {
    const std::string end = Info.ReadString(k.End);
    return !end.empty() && Info.ReadInteger("Download.Content-Length") > 0 &&
           Info.ReadInteger(k.Position) > Info.ReadInteger(k.End);
}

bool TDownloader::ReleaseProgressRanges() {
    bool found = false;
    std::int64_t count = Info.ReadInteger("Download.Ranges.Count");
    for (int n = 1; n <= count; ++n) {
        const TRangeKeys& k = RangeKeys(n);
        if (Info.ReadString(k.Status) != kProgress) continue;
        if (RangeWritten(k)) { // the program stopped before it could mark it
            Info.WriteString(k.Status, kComplete);
            continue;
        }
        Info.WriteString(k.Status, kUncomplete);
        found = true;
    }
    return !found;
}

void TDownloader::StartHead() {
    if (Info.ReadBool("AvoidHead")) {
        TempInfo->Set("Download.HeadSuccess", "Yes");
        TempInfo->Set("Content-Length", "0");
        SetState(kNextState);
        return;
    }
    Engines.push_back(EngineClass(false));
    TGenericDownloaderSocket& e = *Engines.back();
    ConfigureEngine(e);
    PrepareEngine(e);
    SetState(kNextState);
    e.Busy = true;
    e.LastActivityMs = NowMs();
    e.ConnectionBytes = 0;
    e.Open(); // failures arrive as the error event
}

void TDownloader::CreateEngines() {
    std::int64_t n = std::clamp<std::int64_t>(Info.ReadInteger("Download.Sockets"), 1, 15);
    for (std::int64_t i = 0; i < n; ++i) {
        Engines.push_back(EngineClass(true));
        ConfigureEngine(*Engines.back());
    }
}

void TDownloader::ConfigureEngine(TGenericDownloaderSocket& engine) {
    engine.Owner = this;
    engine.SetHost(TempInfo->Get("ConnectionHost"));
    engine.SetPort(static_cast<int>(TempInfo->GetInt("ConnectionPort")));
    auto self = [](platform::ClientSocket& s) -> TGenericDownloaderSocket& {
        return static_cast<TGenericDownloaderSocket&>(s);
    };
    engine.OnConnect = [this, self](platform::ClientSocket& s) { EngineConnected(self(s)); };
    engine.OnDisconnect = [this, self](platform::ClientSocket& s) { EngineDisconnected(self(s)); };
    engine.OnWrite = [this, self](platform::ClientSocket& s) { EngineWrite(self(s)); };
    engine.OnRead = [this, self](platform::ClientSocket& s) {
        self(s).LastActivityMs = NowMs();
        EngineRead(self(s));
    };
    engine.OnError = [this, self](platform::ClientSocket& s, platform::SocketErrorEvent,
                                  int& code) { EngineError(self(s), code); };
}

void TDownloader::Step() {
    bool allIdle = true;
    for (std::size_t i = 0; i < Engines.size(); ++i) {
        TGenericDownloaderSocket& e = *Engines[i];
        if (e.Active() && !e.Busy) e.Close();
        if (e.Busy) {
            allIdle = false;
        } else if (AssignRange(e) > 0) {
            allIdle = false;
            PrepareEngine(e);
            e.Busy = true;
            e.LastActivityMs = NowMs();
            e.ConnectionBytes = 0;
            e.Open();
        }
    }
    UpdateStatistics();
    if (allIdle) {
        if (ReleaseProgressRanges())
            SetState(kNextState);
        else if (Timer)
            Timer->FireSoon(); // released ranges go out on the next pulse, at once
    }
}

int TDownloader::AssignRange(TGenericDownloaderSocket& engine) {
    TTempInfo& t = *TempInfo;
    const std::int64_t size = Info.ReadInteger("Download.Content-Length");
    if (size == 0) {
        if (t.Is("RangeRequested", "Yes")) return 0;
        const TRangeKeys& k = RangeKeys(1);
        // Only a resumed layout keeps its position; after a reset an old
        // position belongs to another file.
        if (!t.Is("Accept-Ranges", "Yes") || !t.Get("Download.Reset").empty() ||
            Info.ReadString(k.Position).empty())
            Info.WriteInteger(k.Position, 0);
        Info.WriteInteger("Download.Ranges.Count", 1);
        Info.WriteInteger(k.Start, 0);
        Info.DeleteKey(k.End); // no end: the range ends when its connection closes
        Info.WriteString(k.Status, kProgress);
        t.Set("RangeRequested", "Yes");
        engine.RangeIndex = 1;
        return 1;
    }
    std::int64_t count = Info.ReadInteger("Download.Ranges.Count");
    int n = 0;
    for (int i = 1; i <= count && n == 0; ++i)
        if (Info.ReadString(RangeKeys(i).Status) == kUncomplete) n = i;
    std::int64_t next = Info.ReadInteger("Download.NextRangeStart");
    if (n == 0 && next < size) {
        int m = 0;
        for (int i = 1; i <= count && m == 0; ++i)
            if (Info.ReadString(RangeKeys(i).Status) == kComplete) m = i;
        if (m == 0) {
            m = static_cast<int>(count + 1);
            Info.WriteInteger("Download.Ranges.Count", m);
        }
        std::int64_t rangeSize = std::max<std::int64_t>(1, Info.ReadInteger("Download.RangeSize"));
        std::int64_t end = std::min(next + rangeSize - 1, size - 1);
        const TRangeKeys& k = RangeKeys(m);
        Info.WriteInteger(k.Start, next);
        Info.WriteInteger(k.Position, next);
        Info.WriteInteger(k.End, end);
        // Claimed before the layout moves on: a stop between the two writes
        // then fetches the range twice instead of never.
        Info.WriteString(k.Status, kProgress);
        Info.WriteInteger("Download.NextRangeStart", end + 1);
        n = m;
    } else if (n > 0) {
        Info.WriteString(RangeKeys(n).Status, kProgress);
    }
    engine.RangeIndex = n;
    return n;
}

bool TDownloader::RecordReceived(int range, std::int64_t count) {
    // Runs for every batch: its key names are built once.
    static const std::string kDownloadedSize = "Download.DownloadedSize";
    static const std::string kContentLength = "Download.Content-Length";
    static const std::string kAvoidNotify = "AvoidNotify";
    static const std::string kBytesDownloaded = "BytesDownloaded";
    const TRangeKeys& k = RangeKeys(range);
    std::int64_t pos = Info.ReadInteger(k.Position);
    if (LogEnabled())
        WriteLog("writing " + std::to_string(range) + " at " + std::to_string(pos) + ": " +
                 std::to_string(count) + " bytes...");
    pos += count;
    Info.WriteInteger(k.Position, pos);
    Info.WriteInteger(kDownloadedSize, Info.ReadInteger(kDownloadedSize) + count);
    TempInfo->AddInt("SessionDownloadedBytes", count);
    TempInfo->AddInt("InstantDownloadedBytes", count);
    if (!Info.ReadBool(kAvoidNotify)) AddStat(kBytesDownloaded, count);
    // The open range of a file of unknown size ends with its connection; a
    // range 0..0 (a one-byte file) does have an end.
    const std::string end = Info.ReadString(k.End);
    if (end.empty() || Info.ReadInteger(kContentLength) <= 0) return false;
    if (pos > Info.ReadInteger(k.End)) {
        Info.WriteString(k.Status, kComplete);
        return true;
    }
    return false;
}

std::int64_t TDownloader::WriteBody(TGenericDownloaderSocket& e, const char* data,
                                    std::size_t count) {
    std::int64_t off = e.BodyOffset;
    e.BodyOffset += static_cast<std::int64_t>(count);
    // Bytes before the range's position are already in the file.
    if (off < e.RangePos) {
        std::int64_t skip = std::min<std::int64_t>(e.RangePos - off, std::int64_t(count));
        data += skip;
        count -= static_cast<std::size_t>(skip);
        off += skip;
    }
    if (count == 0) return 0;
    if (off != e.RangePos) { // a hole would be left: refuse the data
        FailAttempt("The server sent data out of place");
        return -1;
    }
    if (e.RangeEnd >= 0) {
        std::int64_t room = e.RangeEnd - e.RangePos + 1;
        if (room <= 0) return 0;
        if (std::int64_t(count) > room) count = static_cast<std::size_t>(room);
    }
    if (!TargetStream || !TargetStream->WriteAt(e.RangePos, data, count)) {
        FailAttempt("Cannot write to " + TargetPath() + "._");
        return -1;
    }
    e.RangePos += static_cast<std::int64_t>(count);
    e.ConnectionBytes += static_cast<std::int64_t>(count);
    return static_cast<std::int64_t>(count);
}

void TDownloader::UpdateStatistics() {
    TTempInfo& t = *TempInfo;
    const std::int64_t C = Info.ReadInteger("Download.Content-Length");
    const std::int64_t D = Info.ReadInteger("Download.DownloadedSize");
    if (C < 1) {
        WriteIfChanged(Info, "Download.Ratio", std::to_string(D));
    } else {
        auto pct = static_cast<std::int64_t>(std::floor(double(D) / double(C) * 100.0));
        WriteIfChanged(Info, "Download.Ratio", std::to_string(pct) + "%");
    }
    std::int64_t S = 0;
    if (auto start = platform::TextToDateTime(t.Get("StartTime")))
        S = std::max<std::int64_t>(0, platform::CurrentClock().Now() - *start);
    // Whole elapsed seconds; hours go past 23 rather than wrapping.
    WriteIfChanged(Info, "Download.ElapsedTime", TwoDigits(S / 3600, S / 60 % 60, S % 60));

    const std::int64_t I = t.GetInt("InstantDownloadedBytes");
    const std::int64_t last = t.GetInt("LastTime");
    if (S != 0 && S - last > 2) {
        std::int64_t rate = I / (S - last);
        t.SetInt("LastTime", S);
        t.SetInt("InstantDownloadedBytes", 0);
        std::int64_t minor = t.GetInt("Download.BPS.Minor");
        if (rate < Info.ReadInteger("Download.BPS") && minor < 3) {
            t.SetInt("Download.BPS.Minor", minor + 1);
        } else {
            Info.WriteInteger("Download.BPS", rate);
            t.SetInt("Download.BPS.Minor", 0);
        }
    }
    const std::int64_t G = t.GetInt("SessionDownloadedBytes");
    if (C - D < 1 || G < 1) {
        WriteIfChanged(Info, "Download.EstimatedTime", "?");
        return;
    }
    auto left = static_cast<std::int64_t>(std::ceil(double(C - D) / double(G) * double(S)));
    WriteIfChanged(Info, "Download.EstimatedTime",
                   TwoDigits(left / 3600, left / 60 % 60, left % 60));
}

void TDownloader::ClearProgressKeys() {
    if (Info.ReadInteger("Content-Length") == 0)
        Info.WriteInteger("Content-Length", Info.ReadInteger("Download.DownloadedSize"));
    Info.DeleteKey("Download.DownloadedSize");
    Info.DeleteKey("Download.Sockets");
    Info.DeleteKey("Download.RangeSize");
    Info.DeleteKey("Download.NextRangeStart");
    std::int64_t count = Info.ReadInteger("Download.Ranges.Count");
    for (int n = 1; n <= count; ++n) {
        const TRangeKeys& k = RangeKeys(n);
        Info.DeleteKey(k.Start);
        Info.DeleteKey(k.Position);
        Info.DeleteKey(k.End);
        Info.DeleteKey(k.Status);
    }
    Info.DeleteKey("Download.Ranges.Count");
    Info.DeleteKey("Download.EstimatedTime");
}

void TDownloader::FinishFile() {
    const std::string target = TargetPath();
    const std::string part = target + "._";
    Info.WriteString("Download.TargetFileName", target);
    if (FileExists(target)) DeleteFileAt(target);
    TargetStream->Close();
    const std::string age = TempInfo->Get("FileAge");
    std::uint32_t packed = age.empty() ? http::PackUnixTime(platform::CurrentClock().Now())
                                       : static_cast<std::uint32_t>(TempInfo->GetInt("FileAge"));
    if (auto when = http::UnpackFileDate(packed)) SetFileTime(part, *when);
    if (!RenameFile(part, target)) {
        FailAttempt("Cannot rename " + part);
        return;
    }
    if (OnContent) {
        std::string text;
        if (ReadFileBytes(target, text)) {
            std::vector<std::string> lines;
            std::size_t start = 0;
            while (start < text.size()) {
                std::size_t nl = text.find('\n', start);
                std::size_t stop = nl == std::string::npos ? text.size() : nl;
                std::size_t lineEnd = (stop > start && text[stop - 1] == '\r') ? stop - 1 : stop;
                lines.push_back(text.substr(start, lineEnd - start));
                start = stop + 1;
            }
            TContentLines content = OnContent;
            content(lines);
        }
    }
    if (MainBool("AvoidSaveActive", true) && Info.ReadBool("AvoidSave")) DeleteFileAt(target);
}
