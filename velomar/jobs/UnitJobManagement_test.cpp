#include "jobs/UnitJobManagement.h"

#include "engine/UnitDownloader.h"
#include "platform/testing/EventLoop.h"
#include "storage/UnitLogFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Never pulses here (no event loop runs); like a real one it writes range
// keys when it is torn down.
class FakeDownloader : public TDownloader {
public:
    explicit FakeDownloader(TJobItem& job)
        : TDownloader(job, [&job](std::uint8_t code) { job.NotifyOwner(code); }) {}
    ~FakeDownloader() override { Info.WriteString("Download.Ranges.1.Status", "uncomplete"); }
    void PrepareEngine(TGenericDownloaderSocket&) override {}
    void EngineRead(TGenericDownloaderSocket&) override {}
    void EngineWrite(TGenericDownloaderSocket&) override {}
};

// A job manager over a settings file in a temporary folder, with downloaders
// that only exist: the test decides when a download ends.
class JobManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        platform::testing::App();
        const std::string root = dir.path().toStdString();
        setenv("VELOMAR_PROGRAM_PATH", (root + "/velomar").c_str(), 1);
        setenv("REGISTRY_DIR", (root + "/registry").c_str(), 1);
        SetDownloaderFactory(
            [](TJobItem& job, const std::string& url) -> std::unique_ptr<TDownloader> {
                if (url.rfind("http://", 0) == 0 || url.rfind("ftp://", 0) == 0)
                    return std::make_unique<FakeDownloader>(job);
                return nullptr;
            });
        OpenSettings();
        JobManager = new TJobManager;
        JobManager->OnChange = [this](TJobItem* job, std::uint8_t code) {
            events.push_back((job ? job->Section : std::string("-")) + ":" + std::to_string(code));
        };
    }

    void TearDown() override {
        delete JobManager;
        JobManager = nullptr;
        delete SettingsFile;
        SettingsFile = nullptr;
        SetDownloaderFactory(nullptr);
    }

    void OpenSettings() { SettingsFile = new TDownloaderINIFile(SettingsFileName()); }

    void SetLimit(int n) { SettingsFile->WriteInteger("Main", "MaxDownloadingJobs", n); }

    // A wanted job of priority `priority` at the end of the list.
    TJobItem* Add(const std::string& url, int priority = 3, bool wanted = true) {
        auto job = JobManager->NewJob(url, "", "");
        job->WriteInteger("Priority", priority);
        job->WriteBool("Selected", wanted);
        TJobItem* raw = job.get();
        JobManager->AppendJob(std::move(job));
        return raw;
    }

    std::string Main(const std::string& key) {
        return SettingsFile->ReadString("Main", key, "<absent>");
    }

    // The job's download ends the way a downloader's pulse ends it.
    static void Finish(TJobItem* job, std::uint8_t code) { job->NotifyOwner(code); }

    QTemporaryDir dir;
    std::vector<std::string> events;
};

std::vector<int> States(std::initializer_list<TJobItem*> jobs) {
    std::vector<int> s;
    for (TJobItem* j : jobs)
        s.push_back(j->State);
    return s;
}

using S = std::vector<int>;

TEST_F(JobManagerTest, FillsSlotsByPriorityThenListOrderAndRefillsOnCompletion) {
    SetLimit(2);
    TJobItem* a = Add("http://h/a");
    TJobItem* b = Add("http://h/b");
    TJobItem* c = Add("http://h/c");
    EXPECT_TRUE(JobManager->UpdateQueue());
    EXPECT_EQ(States({a, b, c}), (S{jsDownloading, jsDownloading, jsWaiting}));

    Finish(a, ncSucceeded); // C starts in the pass that A's completion triggers
    EXPECT_EQ(States({a, b, c}), (S{jsCompleted, jsDownloading, jsDownloading}));
    EXPECT_TRUE(a->ReadBool("Completed"));
    EXPECT_FALSE(a->Downloader);

    // Priority beats list position; equal priorities go in list order.
    TJobItem* low1 = Add("http://h/low1", 5);
    TJobItem* low2 = Add("http://h/low2", 5);
    TJobItem* high = Add("http://h/high", 1);
    Finish(b, ncFailed);
    Finish(c, ncSucceeded);
    EXPECT_EQ(States({b, low1, low2, high}),
              (S{jsFailed, jsDownloading, jsWaiting, jsDownloading}));
    SetLimit(1);
    Finish(high, ncSucceeded);
    EXPECT_EQ(States({low1, low2}), (S{jsDownloading, jsWaiting}));
    Finish(low1, ncSucceeded);
    EXPECT_EQ(States({low1, low2}), (S{jsCompleted, jsDownloading}));
}

TEST_F(JobManagerTest, LimitChangesNeverStopRunningJobs) {
    SetLimit(1);
    TJobItem* a = Add("http://h/a");
    TJobItem* b = Add("http://h/b");
    TJobItem* c = Add("http://h/c");
    JobManager->UpdateQueue();
    SetLimit(2); // the running job is counted once
    JobManager->UpdateQueue();
    EXPECT_EQ(States({a, b, c}), (S{jsDownloading, jsDownloading, jsWaiting}));

    SetLimit(3);
    JobManager->UpdateQueue();
    TJobItem* d = Add("http://h/d");
    SetLimit(1);
    JobManager->UpdateQueue();
    EXPECT_EQ(States({a, b, c, d}), (S{jsDownloading, jsDownloading, jsDownloading, jsWaiting}));
    Finish(a, ncSucceeded);
    Finish(b, ncSucceeded);
    EXPECT_EQ(d->State, jsWaiting);
    Finish(c, ncSucceeded);
    EXPECT_EQ(d->State, jsDownloading);
}

TEST_F(JobManagerTest, PriorityAboveNineParksAJobAndNineRestartsIt) {
    SetLimit(1);
    TJobItem* a = Add("http://h/a");
    TJobItem* b = Add("http://h/b");
    JobManager->UpdateQueue();
    a->WriteInteger("Priority", 10);
    JobManager->UpdateQueue();
    EXPECT_EQ(States({a, b}), (S{jsStopped, jsDownloading}));
    EXPECT_TRUE(a->ReadBool("Selected"));
    a->WriteInteger("Priority", 9);
    Finish(b, ncSucceeded);
    EXPECT_EQ(a->State, jsDownloading);

    // Below 1 a job is not visited at all.
    TJobItem* odd = Add("http://h/odd", 0);
    JobManager->UpdateQueue();
    EXPECT_EQ(odd->State, jsStopped);
}

TEST_F(JobManagerTest, RefusedJobTakesNoSlot) {
    SetLimit(1);
    TJobItem* upper = Add("HTTP://h/upper");
    TJobItem* mail = Add("mailto:someone@example.com");
    TJobItem* good = Add("http://h/good");
    EXPECT_TRUE(JobManager->UpdateQueue());
    EXPECT_EQ(States({upper, mail, good}), (S{jsStopped, jsStopped, jsDownloading}));
    for (TJobItem* j : {upper, mail}) {
        EXPECT_FALSE(j->ReadBool("Selected"));
        ASSERT_EQ(j->ReadInteger("LogCount"), 1);
        EXPECT_EQ(j->ReadInteger("Log1.Type"), ltError);
        EXPECT_EQ(j->ReadString("Log1.Description"), "UnknownProtocol");
    }
}

TEST_F(JobManagerTest, AllDoneReachesTheWatcherBeforeTheLastJobsResult) {
    SetLimit(2);
    TJobItem* a = Add("http://h/a");
    TJobItem* b = Add("http://h/b");
    JobManager->UpdateQueue();
    events.clear();
    Finish(a, ncSucceeded);
    EXPECT_EQ(events.back(), a->Section + ":0");
    for (const auto& e : events)
        EXPECT_NE(e, "-:4") << "no ncAllDone while B runs";
    events.clear();
    Finish(b, ncFailed);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "-:4");
    EXPECT_EQ(events.back(), b->Section + ":1");
    EXPECT_FALSE(JobManager->Active);

    // A pass that finds nothing running, after nothing ran, raises nothing.
    events.clear();
    EXPECT_FALSE(JobManager->UpdateQueue());
    EXPECT_TRUE(events.empty());
}

TEST_F(JobManagerTest, ListSurvivesARestartAndWantedJobsRunAgain) {
    SetLimit(1);
    TJobItem* a = Add("http://h/a", 5);
    TJobItem* b = Add("http://h/b", 3);
    TJobItem* done = Add("http://h/done");
    done->WriteBool("Completed", true);
    JobManager->UpdateQueue();
    a->AddLog(ltInfo, "StartUp", "");
    const std::vector<std::string> sections = {a->Section, b->Section, done->Section};

    // Shutdown order, then a new start on the same file.
    JobManager->SaveJobList();
    delete JobManager;
    JobManager = nullptr;
    delete SettingsFile;
    OpenSettings();
    LoadJobs();

    ASSERT_EQ(JobManager->Count(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(JobManager->Job(i)->Section, sections[i]);
    EXPECT_EQ(JobManager->Job(0)->State, jsWaiting);
    EXPECT_EQ(JobManager->Job(1)->State, jsDownloading); // priority 3 first
    EXPECT_EQ(JobManager->Job(2)->State, jsCompleted);
    EXPECT_EQ(JobManager->Job(0)->ReadInteger("LogCount"), 0); // logs hold one run
    EXPECT_TRUE(JobManager->Active);
    EXPECT_TRUE(JobManager->Job(0)->ReadBool("InJobList"));
}

TEST_F(JobManagerTest, RemoveJobErasesItsSectionAndTheListClosesTheGap) {
    TJobItem* a = Add("http://h/a");
    TJobItem* b = Add("http://h/b");
    TJobItem* c = Add("http://h/c");
    JobManager->UpdateQueue();
    const std::string gone = b->Section;
    JobManager->RemoveJob(b);
    JobManager->UpdateQueue();
    EXPECT_FALSE(SettingsFile->SectionExists(gone));
    EXPECT_EQ(Main("Job.Count"), "2");
    EXPECT_EQ(Main("Job.1"), a->Section);
    EXPECT_EQ(Main("Job.2"), c->Section);
    EXPECT_EQ(Main("Job.3"), "<absent>");

    // A running job removed is stopped, and its section is not brought back.
    const std::string running = a->Section;
    ASSERT_EQ(a->State, jsDownloading);
    JobManager->RemoveJob(a);
    EXPECT_FALSE(SettingsFile->SectionExists(running));
    EXPECT_EQ(JobManager->Count(), 1u);
    EXPECT_FALSE(JobManager->HasURL("http://h/a"));
}

TEST_F(JobManagerTest, NewJobWritesDefaultsAndLeavesNothingWhenDropped) {
    SettingsFile->WriteInteger("Main", "Sockets", 4);
    SettingsFile->WriteBool("Main", "DownloadImmediately", true);
    SettingsFile->WriteString("Main", "DownloadDirectory", "/tmp/dl/");
    std::string section;
    {
        auto job = JobManager->NewJob("http://h/x", "a remark", "http://h/page");
        section = job->Section;
        EXPECT_EQ(section, "1");
        EXPECT_EQ(job->ReadInteger("Priority"), 3);
        EXPECT_EQ(job->ReadInteger("Sockets"), 4);
        EXPECT_TRUE(job->ReadBool("Selected"));
        EXPECT_EQ(job->ReadString("DownloadDirectory"), "/tmp/dl/");
        EXPECT_EQ(job->ReadString("Comment"), "a remark");
        EXPECT_EQ(job->ReadString("Referer"), "http://h/page");
        EXPECT_TRUE(SettingsFile->SectionExists(section));
    }
    EXPECT_FALSE(SettingsFile->SectionExists(section));
    EXPECT_EQ(Main("Section.Count"), "1");
    EXPECT_EQ(JobManager->NewJob("http://h/y", "", "")->Section, "2");

    // Absent settings give one engine, not wanted, no folder.
    SettingsFile->DeleteKey("Main", "Sockets");
    SettingsFile->DeleteKey("Main", "DownloadImmediately");
    SettingsFile->DeleteKey("Main", "DownloadDirectory");
    auto plain = JobManager->NewJob("http://h/z", "", "");
    EXPECT_EQ(plain->ReadInteger("Sockets"), 1);
    EXPECT_FALSE(plain->ReadBool("Selected"));
    EXPECT_EQ(plain->ReadString("DownloadDirectory"), "");
}

TEST_F(JobManagerTest, AppendPlacesAtTheEndAndHasURLIsExact) {
    Add("http://h/first");
    TJobItem* a = Add("http://h/File.zip");
    EXPECT_EQ(JobManager->IndexOf(a), 1);
    EXPECT_TRUE(a->ReadBool("InJobList"));
    EXPECT_TRUE(JobManager->HasURL("http://h/File.zip"));
    EXPECT_FALSE(JobManager->HasURL("http://h/file.zip"));
    EXPECT_FALSE(JobManager->HasURL("http://h/File.zip "));
}

TEST_F(JobManagerTest, EmptyPositionSectionGivesAJobThatEndsAsUnknownProtocol) {
    SettingsFile->WriteInteger("Main", "Job.Count", 1);
    SettingsFile->WriteString("Main", "Job.1", "77");
    delete JobManager;
    LoadJobs();
    ASSERT_EQ(JobManager->Count(), 1u);
    TJobItem* job = JobManager->Job(0);
    EXPECT_EQ(job->State, jsStopped);
    job->WriteInteger("Priority", 3);
    job->WriteBool("Selected", true);
    JobManager->UpdateQueue();
    EXPECT_EQ(job->State, jsStopped);
    EXPECT_EQ(job->ReadString("Log1.Description"), "UnknownProtocol");
}

} // namespace

TEST_F(JobManagerTest, AppendAndRemoveReportTheirStatusNumbers) {
    std::vector<std::string> reports;
    SetStatusReporter([&reports](int status, TJobItem& job) {
        reports.push_back(job.Section + ":" + std::to_string(status));
    });
    SetLimit(0); // nothing starts, so only the list changes report
    TJobItem* job = Add("http://127.0.0.1:1/a.bin");
    const std::string section = job->Section;
    JobManager->RemoveJob(job);
    SetStatusReporter(nullptr);
    EXPECT_EQ(reports, (std::vector<std::string>{section + ":0", section + ":99"}));
}
