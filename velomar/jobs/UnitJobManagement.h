#pragma once
// The job list: which jobs download at any moment, its persistence in the
// settings file, and the relay of job events to whoever watches the list.
#include "storage/UnitJobItem.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class TJobManager {
public:
    TJobManager() = default;
    ~TJobManager(); // frees every job, which stops its download
    TJobManager(const TJobManager&) = delete;
    TJobManager& operator=(const TJobManager&) = delete;

    // The last queue pass left at least one job downloading.
    bool Active = false;
    // Job events 0 to 3 passed through with their job; ncAllDone with none.
    TJobChangeEvent OnChange;

    std::size_t Count() const { return Items.size(); }
    TJobItem* Job(std::size_t index) const { return Items[index].get(); }
    // Position of `job` in the list, or -1.
    int IndexOf(const TJobItem* job) const;

    // Writes "Job.Count" and the position keys of section "Main".
    void SaveJobList();
    // The queue pass; true when afterwards at least one job is downloading.
    bool UpdateQueue();
    // OnChange of every job the manager starts.
    void JobChanged(TJobItem* sender, std::uint8_t code);

    // A job with default keys in a fresh section, not yet in the list. Freed
    // without AppendJob, it leaves no section behind.
    std::unique_ptr<TJobItem> NewJob(const std::string& url, const std::string& comment,
                                     const std::string& referer);
    // Puts the job at the end of the list; returns its index. The caller runs
    // UpdateQueue afterwards.
    int AppendJob(std::unique_ptr<TJobItem> job);
    // Takes the job out of the list, frees it (stopping its download) and erases
    // its section.
    void RemoveJob(TJobItem* job);
    // Some job's "URL" equals `url` exactly.
    bool HasURL(const std::string& url) const;

private:
    std::vector<std::unique_ptr<TJobItem>> Items;
};

// The one job manager of the run; null outside the job-management span.
extern TJobManager* JobManager;

// Creates JobManager and loads the list stored in the settings file, then runs
// a queue pass (jobs wanted at the last exit download again).
void LoadJobs();

// Module start-up of job management: opens the settings file, applies the
// first-run defaults and upgrade steps, logs "Session Started." and loads the
// job list. Shutdown: saves the list, logs "Session Finished.", frees the jobs
// (stopping their downloads) and closes the settings file.
void StartJobManagement();
void StopJobManagement();
