#include "storage/UnitJobItem.h"

#include "engine/UnitDownloader.h"
#include "storage/UnitLogFiles.h"

#include <string_view>

namespace {

TDownloaderFactory& Factory() {
    static TDownloaderFactory f;
    return f;
}
TStatusReporter& Reporter() {
    static TStatusReporter r;
    return r;
}

// A key is watched when it occurs anywhere in this text, compared exactly.
constexpr std::string_view kWatchedKeys =
    "PriorityDownload.Content-LengthDownload.RatioDownload.BPSDownload.ElapsedTime"
    "Download.EstimatedTimeDownload.SocketsDownload.URLDownload.Comment";

bool Watched(const std::string& key) {
    // An empty name is found nowhere, as a substring search for it reports.
    return !key.empty() && kWatchedKeys.find(key) != std::string_view::npos;
}

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

void SetDownloaderFactory(TDownloaderFactory factory) {
    Factory() = std::move(factory);
}
void SetStatusReporter(TStatusReporter reporter) {
    Reporter() = std::move(reporter);
}
void NotifyStatus(int status, TJobItem& job) {
    if (Reporter()) Reporter()(status, job);
}

TJobItem::TJobItem(std::string section) : TDownloadInfo(std::move(section)) {}

TJobItem::~TJobItem() {
    Destroying = true;
    SetState(jsStopped);
    if (!ReadBool("InJobList")) {
        try {
            if (SettingsFile) SettingsFile->EraseSection(Section);
        } catch (...) {
        }
    }
}

void TJobItem::WriteString(const std::string& key, const std::string& value) {
    TDownloadInfo::WriteString(key, value);
    if (Watched(key)) NotifyOwner(ncChanged);
}

void TJobItem::WriteInteger(const std::string& key, std::int64_t value) {
    TDownloadInfo::WriteInteger(key, value);
    if (Watched(key)) NotifyOwner(ncChanged);
}

void TJobItem::WriteBool(const std::string& key, bool value) {
    TDownloadInfo::WriteBool(key, value);
    if (Watched(key)) NotifyOwner(ncChanged);
}

void TJobItem::DeleteKey(const std::string& key) {
    TDownloadInfo::DeleteKey(key);
    if (Watched(key)) NotifyOwner(ncChanged);
}

void TJobItem::AddLog(int type, const std::string& description, const std::string& info) {
    TDownloadInfo::AddLog(type, description, info);
    NotifyOwner(ncLogAdded);
}

void TJobItem::NotifyOwner(std::uint8_t code) {
    if (code == ncSucceeded || code == ncFailed) {
        WriteBool("Completed", code == ncSucceeded);
        WriteBool("Failed", code == ncFailed);
        WriteBool("Selected", false);
    }
    if (OnChange) OnChange(this, code);
}

void TJobItem::SetState(int newState) {
    if (newState == State) return;
    if (State == jsDownloading) {
        // Null while it is torn down, so nothing reaches it through the item.
        std::unique_ptr<TDownloader> old = std::move(Downloader);
        old.reset();
    }
    if (newState == jsDownloading) {
        const std::string url = ReadString("URL");
        if ((StartsWith(url, "http://") || StartsWith(url, "ftp://")) && Factory())
            Downloader = Factory()(*this, url);
        if (!Downloader) {
            newState = jsStopped;
            WriteBool("Selected", false);
            AddLog(ltError, "UnknownProtocol", "");
        }
    }
    if (!Destroying && !ReadBool("AvoidNotify")) NotifyStatus(newState, *this);
    State = newState;
    NotifyOwner(ncChanged);
}
