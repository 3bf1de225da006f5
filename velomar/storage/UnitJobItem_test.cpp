#include "storage/UnitJobItem.h"

#include "engine/UnitDownloader.h"
#include "i18n/UnitLanguageManagement.h"
#include "platform/DateTimeText.h"
#include "platform/testing/EventLoop.h"
#include "storage/UnitLogFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Stands in for the protocol downloaders: counts its destruction.
class FakeDownloader : public TDownloader {
public:
    FakeDownloader(TJobItem& job, int& destroyed)
        : TDownloader(job, [&job](std::uint8_t code) { job.NotifyOwner(code); }),
          destroyed_(destroyed) {}
    ~FakeDownloader() override { ++destroyed_; }
    void PrepareEngine(TGenericDownloaderSocket&) override {}
    void EngineRead(TGenericDownloaderSocket&) override {}
    void EngineWrite(TGenericDownloaderSocket&) override {}

private:
    int& destroyed_;
};

struct Report {
    int status;
    int stateAtReport;
};

class JobItemTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::vector<std::string> factoryUrls;
    std::vector<Report> reports;
    int destroyed = 0;
    bool factoryReturnsNull = false;

    void SetUp() override {
        platform::testing::App(); // for the fake downloaders' timers, which never fire here
        setenv("VELOMAR_PROGRAM_PATH", dir.filePath("velomar").toStdString().c_str(), 1);
        setenv("REGISTRY_DIR", dir.filePath("registry").toStdString().c_str(), 1);
        SettingsFile = new TDownloaderINIFile(SettingsFileName());
        SetDownloaderFactory([this](TJobItem& job, const std::string& url) {
            factoryUrls.push_back(url);
            return factoryReturnsNull ? nullptr : std::make_unique<FakeDownloader>(job, destroyed);
        });
        SetStatusReporter([this](int status, TJobItem& job) {
            reports.push_back({status, job.State});
        });
    }
    void TearDown() override {
        SetDownloaderFactory(nullptr);
        SetStatusReporter(nullptr);
        delete SettingsFile;
        SettingsFile = nullptr;
        unsetenv("VELOMAR_PROGRAM_PATH");
    }
};

// Records the notification codes an item raises.
struct Codes {
    std::vector<int> got;
    void Attach(TJobItem& item) {
        item.OnChange = [this](TJobItem*, std::uint8_t code) { got.push_back(code); };
    }
};

TEST_F(JobItemTest, ViewReadsAndWritesItsSectionOnly) {
    TDownloadInfo info("12");
    EXPECT_FALSE(SettingsFile->SectionExists("12")); // construction touches nothing
    EXPECT_EQ(info.ReadString("URL"), "");
    EXPECT_EQ(info.ReadInteger("Download.Size"), 0);
    EXPECT_FALSE(info.ReadBool("Selected"));

    info.WriteInteger("Download.Content-Length", 4'294'967'296);
    EXPECT_EQ(info.ReadString("download.content-length"), "4294967296");
    info.WriteString("Download.Size", "?");
    EXPECT_EQ(info.ReadInteger("Download.Size"), 0);
    info.WriteBool("Selected", true);
    EXPECT_EQ(info.ReadString("Selected"), "1");
    info.WriteBool("Selected", false);
    EXPECT_EQ(info.ReadString("Selected"), "0");
    info.DeleteKey("Selected");
    EXPECT_FALSE(SettingsFile->ValueExists("12", "Selected"));
    EXPECT_EQ(SettingsFile->ReadSections(), std::vector<std::string>{"12"});
}

TEST_F(JobItemTest, JobLogAddClearAndRead) {
    TDownloadInfo info("3");
    const auto before = platform::NowSeconds();
    info.AddLog(ltInfo, "Connect", "www.velomar.example:80");
    info.AddLog(ltServerReply, "", "HTTP/1.0 404 Not Found");
    info.AddLog(ltSuccess, "Connected", "");
    info.AddLog(ltError, "NoSuchText", "10061");
    EXPECT_EQ(info.ReadInteger("LogCount"), 4);
    EXPECT_EQ(SettingsFile->ReadSection("3"),
              (std::vector<std::string>{"LogCount", "Log1.Moment", "Log1.Type", "Log1.Description",
                                        "Log1.Info", "Log2.Moment", "Log2.Type", "Log2.Description",
                                        "Log2.Info", "Log3.Moment", "Log3.Type", "Log3.Description",
                                        "Log3.Info", "Log4.Moment", "Log4.Type", "Log4.Description",
                                        "Log4.Info"}));

    LangManager = new TLangManager();
    LangManager->LoadCurrent();
    const std::string connect = LangText("DownloadLog.Connect");
    const std::string connected = LangText("DownloadLog.Connected");
    ASSERT_FALSE(connect.empty());
    TLogEntry e = ReadLogEntry(info, 1);
    EXPECT_EQ(e.Type, ltInfo);
    EXPECT_GE(platform::TextToDateTime(e.Moment).value_or(0), before);
    EXPECT_EQ(e.Text, connect + " (www.velomar.example:80)");
    e = ReadLogEntry(info, 2);
    EXPECT_EQ(e.Type, ltServerReply);
    EXPECT_EQ(e.Text, "HTTP/1.0 404 Not Found"); // no description: just the reply line
    EXPECT_EQ(ReadLogEntry(info, 3).Text, connected);
    EXPECT_EQ(ReadLogEntry(info, 4).Text, "10061"); // a key without text: just the info
    EXPECT_EQ(ReadLogEntry(info, 9).Text, "");

    // A socket error without a text of its own shows the general error text.
    TDownloadInfo other("4");
    other.AddLog(ltError, "Error", "10053");
    EXPECT_EQ(ReadLogEntry(other, 1).Text, "Erro. (10053)");
    SettingsFile->WriteInteger("Languages", "Current", -2);
    LangManager->LoadCurrent();
    EXPECT_EQ(ReadLogEntry(other, 1).Text, "Error. (10053)");
    delete LangManager;
    LangManager = nullptr;

    info.WriteString("Comment", "kept");
    info.ClearLog();
    EXPECT_EQ(SettingsFile->ReadSectionValues("3"),
              (std::vector<std::string>{"LogCount=0", "Comment=kept"}));
    info.AddLog(ltInfo, "StartUp", "");
    EXPECT_EQ(info.ReadString("Log1.Description"), "StartUp");
    EXPECT_FALSE(SettingsFile->ValueExists("3", "Log2.Type"));

    // A damaged count (a hand edit, a foreign writer) is cleared as quickly.
    info.AddLog(ltInfo, "Download", "");
    info.WriteInteger("LogCount", 4'000'000'000'000'000'000);
    info.ClearLog();
    EXPECT_EQ(SettingsFile->ReadSectionValues("3"),
              (std::vector<std::string>{"LogCount=0", "Comment=kept"}));
}

TEST_F(JobItemTest, WatchedKeysRaiseChangedAfterTheWrite) {
    const struct {
        const char* key;
        bool watched;
    } cases[] = {
        {"Priority", true},
        {"Download.Content-Length", true},
        {"Content-Length", true},
        {"Download.Ratio", true},
        {"Download.BPS", true},
        {"Download.ElapsedTime", true},
        {"Download.EstimatedTime", true},
        {"Sockets", true},
        {"Download.Sockets", true},
        {"URL", true},
        {"Comment", true},
        {"Download", true}, // any part of the text counts
        {"Download.Size", false},
        {"Download.Ranges.1.Position", false},
        {"url", false},
        {"PRIORITY", false}, // compared exactly
        {"Selected", false},
        {"LogCount", false},
        {"SaveAs", false},
        {"", false},
    };
    TJobItem item("5");
    for (const auto& c : cases) {
        std::vector<std::string> seen; // value visible to the owner when notified
        item.OnChange = [&](TJobItem* sender, std::uint8_t code) {
            EXPECT_EQ(sender, &item);
            EXPECT_EQ(code, ncChanged);
            seen.push_back(item.ReadString(c.key));
        };
        item.WriteString(c.key, "s");
        item.WriteInteger(c.key, 7);
        item.WriteBool(c.key, true);
        item.DeleteKey(c.key);
        const std::vector<std::string> want = {"s", "7", "1", ""};
        EXPECT_EQ(seen, c.watched ? want : std::vector<std::string>{}) << c.key;
    }
    item.OnChange = nullptr;
    item.WriteString("URL", "http://x.example/"); // no owner: nothing to call
    item.WriteBool("InJobList", true);
}

TEST_F(JobItemTest, AddLogRaisesLogAddedOnceTheEntryIsComplete) {
    TJobItem item("6");
    std::vector<std::pair<int, std::string>> seen;
    item.OnChange = [&](TJobItem*, std::uint8_t code) {
        seen.push_back({code, item.ReadString("Log" + item.ReadString("LogCount") + ".Info")});
    };
    item.AddLog(ltError, "Error.10061", "host:21");
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{ncLogAdded, "host:21"}}));
}

TEST_F(JobItemTest, NotifyOwnerRecordsTheOutcomeBeforeTheOwnerHears) {
    const struct {
        std::uint8_t code;
        const char* completed;
        const char* failed;
        const char* selected;
    } cases[] = {
        {ncSucceeded, "1", "0", "0"},
        {ncFailed, "0", "1", "0"},
        {ncChanged, "", "", "1"},
        {ncLogAdded, "", "", "1"},
    };
    for (const auto& c : cases) {
        SettingsFile->EraseSection("8");
        TJobItem item("8");
        item.WriteBool("Selected", true);
        bool called = false;
        item.OnChange = [&](TJobItem*, std::uint8_t code) {
            called = true;
            EXPECT_EQ(code, c.code);
            EXPECT_EQ(item.ReadString("Completed"), c.completed);
            EXPECT_EQ(item.ReadString("Failed"), c.failed);
            EXPECT_EQ(item.ReadString("Selected"), c.selected);
        };
        item.NotifyOwner(c.code);
        EXPECT_TRUE(called) << int(c.code);
        item.WriteBool("InJobList", true);
    }
}

TEST_F(JobItemTest, SetStateReportsAndNotifiesOnlyOnChange) {
    Codes codes; // outlives the item, whose destruction notifies too
    TJobItem item("9");
    item.WriteBool("InJobList", true);
    codes.Attach(item);
    item.SetState(jsStopped);
    EXPECT_TRUE(codes.got.empty());
    EXPECT_TRUE(reports.empty());

    item.SetState(jsWaiting);
    EXPECT_EQ(item.State, jsWaiting);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].status, jsWaiting);
    EXPECT_EQ(reports[0].stateAtReport, jsStopped); // reported before the state changes
    EXPECT_EQ(codes.got, std::vector<int>{ncChanged});

    item.WriteBool("AvoidNotify", true); // quiet job: no reports
    item.SetState(jsFailed);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(codes.got, (std::vector<int>{ncChanged, ncChanged}));
    EXPECT_TRUE(factoryUrls.empty());

    SetStatusReporter(nullptr); // no report sender yet: nothing happens
    item.WriteBool("AvoidNotify", false);
    item.SetState(jsCompleted);
    EXPECT_EQ(item.State, jsCompleted);
}

TEST_F(JobItemTest, DownloadingOwnsADownloaderForHttpAndFtp) {
    for (const char* url : {"http://www.velomar.example/a.zip", "ftp://files.example/b.iso"}) {
        destroyed = 0;
        factoryUrls.clear();
        TJobItem item("10");
        item.WriteBool("InJobList", true);
        item.WriteString("URL", url);
        item.SetState(jsDownloading);
        EXPECT_EQ(item.State, jsDownloading);
        ASSERT_NE(item.Downloader, nullptr);
        EXPECT_EQ(factoryUrls, std::vector<std::string>{url});
        item.SetState(jsCompleted);
        EXPECT_EQ(item.Downloader, nullptr);
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(item.ReadString("URL"), url); // the job's data stays
    }
}

TEST_F(JobItemTest, UnknownProtocolStopsTheJob) {
    const struct {
        const char* url;
        bool nullFactory;
    } cases[] = {
        {"HTTP://www.velomar.example/a.zip", false}, {"Ftp://files.example/", false},
        {"https://www.velomar.example/", false},     {"http:/www.velomar.example/", false},
        {" http://www.velomar.example/", false},     {"", false},
        {"http://www.velomar.example/", true}, // no downloader for it after all
    };
    for (const auto& c : cases) {
        SettingsFile->EraseSection("11");
        factoryReturnsNull = c.nullFactory;
        factoryUrls.clear();
        reports.clear();
        Codes codes;
        TJobItem item("11");
        item.WriteBool("InJobList", true);
        item.WriteString("URL", c.url);
        item.WriteBool("Selected", true);
        item.SetState(jsWaiting);
        codes.Attach(item);
        item.SetState(jsDownloading);
        EXPECT_EQ(item.State, jsStopped) << c.url;
        EXPECT_EQ(item.Downloader, nullptr);
        EXPECT_EQ(factoryUrls.size(), c.nullFactory ? 1u : 0u) << c.url;
        EXPECT_FALSE(item.ReadBool("Selected"));
        EXPECT_EQ(item.ReadInteger("LogCount"), 1);
        EXPECT_EQ(item.ReadInteger("Log1.Type"), ltError);
        EXPECT_EQ(item.ReadString("Log1.Description"), "UnknownProtocol");
        EXPECT_EQ(item.ReadString("Log1.Info"), "");
        EXPECT_EQ(codes.got, (std::vector<int>{ncLogAdded, ncChanged})) << c.url;
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_EQ(reports[1].status, jsStopped);
    }
    SetDownloaderFactory(nullptr); // the engine not installed: the same
    TJobItem item("12");
    item.WriteString("URL", "http://www.velomar.example/");
    item.SetState(jsDownloading);
    EXPECT_EQ(item.State, jsStopped);
    EXPECT_EQ(item.ReadString("Log1.Description"), "UnknownProtocol");
}

TEST_F(JobItemTest, DestructionStopsQuietlyAndErasesUnlistedSections) {
    std::vector<std::pair<int, bool>> heard; // (code, Destroying) the owner sees
    {
        TJobItem listed("20");
        listed.OnChange = [&](TJobItem* sender, std::uint8_t code) {
            heard.push_back({code, sender->Destroying});
        };
        listed.WriteBool("InJobList", true);
        listed.WriteString("URL", "http://www.velomar.example/a.zip");
        listed.SetState(jsDownloading);
        reports.clear();
    }
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(reports.empty()) << "no status report while destroyed";
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back(), (std::pair<int, bool>{ncChanged, true}));
    EXPECT_EQ(SettingsFile->ReadString("20", "URL", ""), "http://www.velomar.example/a.zip");
    {
        TJobItem discarded("21");
        discarded.WriteString("URL", "http://www.velomar.example/b.zip");
        discarded.SetState(jsDownloading);
    }
    EXPECT_EQ(destroyed, 2);
    EXPECT_FALSE(SettingsFile->SectionExists("21"));
    { TJobItem neverWritten("22"); } // nothing to erase, nothing fails
    EXPECT_EQ(SettingsFile->ReadSections(), std::vector<std::string>{"20"});
}

} // namespace
