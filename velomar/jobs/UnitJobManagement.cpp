#include "jobs/UnitJobManagement.h"

#include "jobs/UnitDefaultSettings.h"
#include "storage/UnitLogFiles.h"

#include <algorithm>
#include <string>

TJobManager* JobManager = nullptr;

namespace {

const char* const kMain = "Main";

std::string PositionKey(std::size_t i) {
    return "Job." + std::to_string(i);
}

} // namespace

TJobManager::~TJobManager() {
    // Freed jobs stop their downloads; nobody is told any more.
    OnChange = nullptr;
    for (auto& job : Items)
        job->OnChange = nullptr;
    while (!Items.empty())
        Items.pop_back();
}

int TJobManager::IndexOf(const TJobItem* job) const {
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i].get() == job) return static_cast<int>(i);
    return -1;
}

void TJobManager::SaveJobList() {
    // Only differences are written: the outcome is the same list of keys, and
    // a pass that changes nothing costs no write. Every write is on disk when
    // it returns (the settings file's journal), so no further flush is needed;
    // folding the file at every change would cost a rewrite per added job.
    const auto oldCount = SettingsFile->ReadInteger(kMain, "Job.Count", 0);
    for (auto i = static_cast<std::int64_t>(Items.size()) + 1; i <= oldCount; ++i) {
        const std::string key = PositionKey(static_cast<std::size_t>(i));
        if (SettingsFile->ValueExists(kMain, key)) SettingsFile->DeleteKey(kMain, key);
    }
    for (std::size_t i = 0; i < Items.size(); ++i) {
        const std::string key = PositionKey(i + 1);
        // A default no section name can be: an absent key reads as different.
        if (SettingsFile->ReadString(kMain, key, "\x01") != Items[i]->Section)
            SettingsFile->WriteString(kMain, key, Items[i]->Section);
    }
    const auto count = static_cast<std::int64_t>(Items.size());
    if (SettingsFile->ReadString(kMain, "Job.Count", "") != std::to_string(count))
        SettingsFile->WriteInteger(kMain, "Job.Count", count);
}

bool TJobManager::UpdateQueue() {
    const auto limit = SettingsFile->ReadInteger(kMain, "MaxDownloadingJobs", 1);

    // Index loops: a pass never adds or removes jobs, but the vector is not
    // touched through iterators while SetState runs foreign code. Priorities
    // are read once: nothing in a pass changes them, and the visits in
    // priority order would otherwise read every job nine times.
    std::vector<std::int64_t> priority(Items.size());
    for (std::size_t i = 0; i < Items.size(); ++i) {
        TJobItem* job = Items[i].get();
        priority[i] = job->ReadInteger("Priority");
        if (priority[i] > 9) job->SetState(job->ReadBool("Completed") ? jsCompleted : jsStopped);
    }

    std::int64_t n = 0;
    for (std::size_t i = 0; i < Items.size(); ++i) {
        TJobItem* job = Items[i].get();
        if (job->State == jsDownloading && job->ReadBool("Selected") && !job->ReadBool("Completed"))
            ++n;
    }

    for (int p = 1; p <= 9; ++p) {
        for (std::size_t i = 0; i < Items.size(); ++i) {
            if (priority[i] != p) continue;
            TJobItem* job = Items[i].get();
            if (job->ReadBool("Completed")) {
                job->SetState(jsCompleted);
            } else if (job->ReadBool("Selected")) {
                if (n < limit) {
                    job->OnChange = [this](TJobItem* sender, std::uint8_t code) {
                        JobChanged(sender, code);
                    };
                    const bool wasDownloading = job->State == jsDownloading;
                    job->SetState(jsDownloading);
                    if (!wasDownloading && job->State == jsDownloading) ++n;
                } else if (job->State != jsDownloading) {
                    job->SetState(jsWaiting);
                }
            } else {
                job->SetState(job->ReadBool("Failed") ? jsFailed : jsStopped);
            }
        }
    }

    SaveJobList();

    // Active is settled before ncAllDone goes out, so a handler that runs a
    // pass of its own does not see the edge twice.
    const bool wasActive = Active;
    Active = n > 0;
    if (n == 0 && wasActive && OnChange) OnChange(nullptr, ncAllDone);
    return Active;
}

void TJobManager::JobChanged(TJobItem* sender, std::uint8_t code) {
    if (code == ncSucceeded || code == ncFailed) UpdateQueue();
    if (OnChange) OnChange(sender, code);
}

std::unique_ptr<TJobItem> TJobManager::NewJob(const std::string& url, const std::string& comment,
                                              const std::string& referer) {
    auto job = std::make_unique<TJobItem>(SettingsFile->NewSectionNumber());
    job->WriteInteger("Priority", 3);
    job->WriteInteger("Sockets", SettingsFile->ReadInteger(kMain, "Sockets", 1));
    job->WriteBool("Selected", SettingsFile->ReadBool(kMain, "DownloadImmediately", false));
    job->WriteString("DownloadDirectory", SettingsFile->ReadString(kMain, "DownloadDirectory", ""));
    job->WriteString("URL", url);
    job->WriteString("Comment", comment);
    job->WriteString("Referer", referer);
    return job;
}

int TJobManager::AppendJob(std::unique_ptr<TJobItem> job) {
    TJobItem* item = job.get();
    Items.push_back(std::move(job));
    item->WriteBool("InJobList", true);
    NotifyStatus(0, *item);
    return static_cast<int>(Items.size()) - 1;
}

void TJobManager::RemoveJob(TJobItem* job) {
    const int index = IndexOf(job);
    if (index < 0) return;
    NotifyStatus(kStatusRemoved, *job);
    const std::string section = job->Section;
    std::unique_ptr<TJobItem> owned = std::move(Items[static_cast<std::size_t>(index)]);
    Items.erase(Items.begin() + index);
    // The download is stopped before the section goes: a stopping downloader
    // still writes its range keys, which must not bring the section back.
    owned->OnChange = nullptr;
    owned.reset();
    SettingsFile->EraseSection(section);
}

bool TJobManager::HasURL(const std::string& url) const {
    return std::any_of(Items.begin(), Items.end(),
                       [&](const auto& job) { return job->ReadString("URL") == url; });
}

void LoadJobs() {
    JobManager = new TJobManager;
    const auto n = SettingsFile->ReadInteger(kMain, "Job.Count", 0);
    for (std::int64_t i = 1; i <= n; ++i) {
        auto job = std::make_unique<TJobItem>(
            SettingsFile->ReadString(kMain, PositionKey(static_cast<std::size_t>(i)), ""));
        job->ClearLog();
        JobManager->AppendJob(std::move(job));
    }
    JobManager->UpdateQueue();
}

void StartJobManagement() {
    SettingsFile = new TDownloaderINIFile(SettingsFileName());
    InstallDefaults();
    WriteLog("Session Started.");
    LoadJobs();
}

void StopJobManagement() {
    if (JobManager) JobManager->SaveJobList();
    WriteLog("Session Finished.");
    delete JobManager;
    JobManager = nullptr;
    delete SettingsFile;
    SettingsFile = nullptr;
}
