#pragma once
// A job: a TDownloadInfo that knows its state, owns its downloader while it
// downloads and tells its owner what changed.
#include "storage/UnitDownloadInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDownloader; // engine/UnitDownloader.h

enum TJobState : int {
    jsStopped = 0,
    jsWaiting = 1,
    jsDownloading = 2,
    jsCompleted = 3,
    jsFailed = 4
};
constexpr int kStatusRemoved = 99; // status number of a job deleted from the list

enum TNotifyCode : std::uint8_t {
    ncSucceeded = 0,
    ncFailed = 1,
    ncChanged = 2,
    ncLogAdded = 3,
    ncAllDone = 4 // raised only by the job manager
};

class TJobItem;
using TJobChangeEvent = std::function<void(TJobItem* sender, std::uint8_t code)>;
using TContentEvent = std::function<void(const std::vector<std::string>& lines)>;

class TJobItem : public TDownloadInfo {
public:
    explicit TJobItem(std::string section);
    ~TJobItem() override;

    bool Destroying = false;
    int State = jsStopped;
    std::unique_ptr<TDownloader> Downloader;
    TJobChangeEvent OnChange;
    TContentEvent OnContent;

    void WriteString(const std::string& key, const std::string& value) override;
    void WriteInteger(const std::string& key, std::int64_t value) override;
    void WriteBool(const std::string& key, bool value) override;
    void DeleteKey(const std::string& key) override;
    void AddLog(int type, const std::string& description, const std::string& info) override;

    void SetState(int newState);
    void NotifyOwner(std::uint8_t code);
};

// Seam: builds the downloader for a job entering jsDownloading. Returns null
// for a URL whose scheme no downloader serves (the item then stops the job with
// "UnknownProtocol"). The engine installs the real factory at start-up.
using TDownloaderFactory =
    std::function<std::unique_ptr<TDownloader>(TJobItem& job, const std::string& url)>;
void SetDownloaderFactory(TDownloaderFactory factory);

// Seam: the status report (status number, job). Does nothing while unset.
using TStatusReporter = std::function<void(int status, TJobItem& job)>;
void SetStatusReporter(TStatusReporter reporter);
// Hands (status, job) to the installed reporter; nothing while none is installed.
void NotifyStatus(int status, TJobItem& job);
