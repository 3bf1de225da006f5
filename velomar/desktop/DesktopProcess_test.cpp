// The program with its main window as real processes (offscreen): a second
// start hands over to the first and ends; and a whole download through AddURL
// against nginx in this process.
#include "desktop/FormMain.h"
#include "desktop/testing/DesktopFixture.h"
#include "engine/FormGetAuthentication.h"
#include "jobs/FormJobComplete.h"
#include "jobs/UnitJobManagement.h"
#include "platform/Registry.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/NginxServer.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTableWidget>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using platform::testing::ReadFile;
using platform::testing::RunUntil;
using platform::testing::TempDir;
using platform::testing::WriteFile;

static auto* const gGui = ::testing::AddGlobalTestEnvironment(new desktop_testing::GuiEnvironment);

namespace {

class Program {
public:
    explicit Program(const TempDir& dir) : dir_(dir) {}
    ~Program() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(5000);
        }
    }
    void Start(const QStringList& args) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("VELOMAR_PROGRAM_PATH", QString::fromStdString(dir_.File("velomar")));
        env.insert("REGISTRY_DIR", QString::fromStdString(dir_.File("registry")));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.File("run")));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        proc_.setProcessEnvironment(env);
        proc_.start(QStringLiteral(VK_BINARY_DIR "/bin/velomar"), args);
        ASSERT_TRUE(proc_.waitForStarted(10000));
    }
    int Wait(int ms = 30000) {
        if (!proc_.waitForFinished(ms)) {
            ADD_FAILURE() << "velomar did not end";
            proc_.kill();
            proc_.waitForFinished();
            return -1;
        }
        return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    }
    void Terminate() { proc_.terminate(); }
    std::string Err() { return proc_.readAllStandardError().toStdString(); }

private:
    const TempDir& dir_;
    QProcess proc_;
};

bool WaitFor(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// The lines of one section of an INI text.
std::string Section(const std::string& ini, const std::string& name) {
    const auto start = ini.find("[" + name + "]");
    if (start == std::string::npos) return {};
    const auto end = ini.find("\r\n[", start);
    return ini.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

class SecondStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_testing::UseProgramFolder(dir);
        // One stored job that a queue pass would start (and so rewrite its log).
        WriteFile(dir.File("velomar.ini"),
                  desktop_testing::InstalledSettings(
                      dir, "DownloadImmediately=0\r\nSection.Count=1\r\nJob.Count=1\r\nJob.1=1\r\n"
                           "MaxDownloadingJobs=1\r\n") +
                      "[1]\r\nURL=http://127.0.0.1:9/kept.zip\r\nPriority=3\r\nSelected=1\r\n"
                      "InJobList=1\r\nLogCount=1\r\nLog1.Type=0\r\nLog1.Moment=then\r\n"
                      "Log1.Description=StartUp\r\n");
        first.Start({});
        ASSERT_TRUE(WaitFor(
            [&] { return Log().find("Registering DragDrop...") != std::string::npos; }, 20000))
            << first.Err();
    }
    std::string Log() const { return ReadFile(dir.File("velomarLog.txt")); }
    std::string EndFirst() {
        first.Terminate();
        EXPECT_EQ(first.Wait(), 0);
        return ReadFile(dir.File("velomar.ini"));
    }

    TempDir dir;
    Program first{dir};
};

} // namespace

TEST_F(SecondStartTest, ShellCommandBringsTheFirstToTheFrontWithinATickAndTouchesNoJob) {
    Program second(dir);
    second.Start({"VELCMD.autoupdate", "velstart.desktop"});
    EXPECT_EQ(second.Wait(), 0) << second.Err();
    const auto handedOver = std::chrono::steady_clock::now();
    // The next tick (500 ms) acts on it; the margin is for a loaded machine.
    EXPECT_TRUE(
        WaitFor([&] { return Log().find("SHELL_COMMAND autoupdate") != std::string::npos; }, 3000))
        << Log();
    EXPECT_LT(std::chrono::steady_clock::now() - handedOver, std::chrono::milliseconds(3000));
    const std::string log = Log();
    const auto notified = log.find("OTHER_INSTANCE_NOTIFICATION");
    ASSERT_NE(notified, std::string::npos);
    EXPECT_NE(log.find("Activating main window.", notified), std::string::npos);
    EXPECT_EQ(Occurrences(log, "Session Started."), 1u); // the second start opened no settings
    EXPECT_EQ(log.find("VelStartMode = desktop"), std::string::npos);
    platform::Registry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Orvane\\Velomar", false));
    EXPECT_FALSE(reg.ValueExists("ShellCommand"));

    // The second start never opened the settings file: it counted no start
    // mode and made or changed no job.
    const std::string ini = EndFirst();
    EXPECT_EQ(ini.find("StartMode.desktop"), std::string::npos);
    EXPECT_NE(ini.find("StartMode.other=1"), std::string::npos);
    const std::string job = Section(ini, "1");
    EXPECT_NE(job.find("URL=http://127.0.0.1:9/kept.zip\r\n"), std::string::npos) << job;
    EXPECT_EQ(Section(ini, "2"), "");
    EXPECT_NE(ReadFile(dir.File("velomarLog.txt")).find("Session Finished."), std::string::npos);
}

TEST_F(SecondStartTest, URLsOfASecondStartBecomeJobsOfTheFirstOneAfterAnother) {
    Program second(dir);
    second.Start({"http://127.0.0.1:9/one.zip", "http://127.0.0.1:9/two.zip",
                  "http://127.0.0.1:9/kept.zip"});
    EXPECT_EQ(second.Wait(), 0) << second.Err();
    const std::string ini = EndFirst();
    EXPECT_NE(ini.find("URL=http://127.0.0.1:9/one.zip"), std::string::npos);
    EXPECT_NE(ini.find("URL=http://127.0.0.1:9/two.zip"), std::string::npos);
    EXPECT_EQ(Occurrences(ini, "URL=http://127.0.0.1:9/kept.zip"), 1u); // listed already
    EXPECT_NE(ini.find("Job.Count=3"), std::string::npos);
    EXPECT_GE(Occurrences(Log(), "CHECK_URLS_IN_REGISTRY"), 2u);
}

TEST(FirstStartTest, URLsOnTheCommandLineBecomeJobsAndSIGTERMEndsLikeClosing) {
    TempDir dir;
    desktop_testing::UseProgramFolder(dir);
    WriteFile(dir.File("velomar.ini"),
              desktop_testing::InstalledSettings(dir, "DownloadImmediately=0\r\n"));
    Program program(dir);
    program.Start({"http://127.0.0.1:9/a.zip", "velstart.programs", "http://127.0.0.1:9/b.zip"});
    const auto log = [&] { return ReadFile(dir.File("velomarLog.txt")); };
    ASSERT_TRUE(WaitFor([&] { return Occurrences(log(), "Registering DragDrop...") == 1; }, 20000))
        << program.Err();
    // The loop adds them; every write reaches the settings file's journal at once.
    const auto settings = [&] {
        return ReadFile(dir.File("velomar.ini")) + ReadFile(dir.File("velomar.ini.journal"));
    };
    EXPECT_TRUE(WaitFor([&] { return settings().find("b.zip") != std::string::npos; }, 20000));
    program.Terminate();
    EXPECT_EQ(program.Wait(), 0);
    const std::string ini = ReadFile(dir.File("velomar.ini"));
    EXPECT_NE(ini.find("URL=http://127.0.0.1:9/a.zip"), std::string::npos);
    EXPECT_NE(ini.find("URL=http://127.0.0.1:9/b.zip"), std::string::npos);
    EXPECT_NE(ini.find("Job.Count=2"), std::string::npos);
    EXPECT_NE(ini.find("StartMode.programs=1"), std::string::npos);
    EXPECT_NE(log().find("Session Finished."), std::string::npos);
}

TEST(DesktopDownloadTest, AddedURLDownloadsAndTheNoticeListsIt) {
    TempDir dir;
    platform::testing::NginxServer nginx;
    WriteFile(nginx.Root() + "/file.bin", std::string(300 * 1024, 'v'));
    desktop_testing::UseProgramFolder(dir);
    WriteFile(dir.File("velomar.ini"), desktop_testing::InstalledSettings(
                                           dir, "DownloadImmediately=1\r\nShowJobComplete=1\r\n"));
    StartModules();
    {
        TFrmMain frm;
        ASSERT_TRUE(frm.FormCreate());
        const std::string url = nginx.Url("/file.bin");
        frm.AddURL(url, "", true, "");
        ASSERT_EQ(JobManager->Count(), 1u);
        TJobItem* job = JobManager->Job(0);
        ASSERT_TRUE(RunUntil([&] { return job->State == jsCompleted; }, 30000));
        ASSERT_TRUE(RunUntil([&] { return frm.JobList->item(0, 3)->text() == "100%"; }, 3000));
        EXPECT_EQ(frm.JobList->item(0, 0)->data(Qt::UserRole + 1).toInt(), jsCompleted);
        EXPECT_EQ(ReadFile(dir.File("Download/file.bin")).size(), 300u * 1024);
        TFrmJobComplete* notice = frm.JobCompleteNotice();
        EXPECT_TRUE(notice->isVisible());
        ASSERT_EQ(notice->ListURLs->count(), 1);
        EXPECT_EQ(notice->ListURLs->item(0)->text().toStdString(), url);
    }
    StopModules();
}

TEST(DesktopDownloadTest, TheCredentialsPromptAnswersTheServersChallenge) {
    TempDir dir;
    platform::testing::NginxOptions options;
    options.basicAuth.push_back({"/private/", "Members area", "ana", "s3cret"});
    platform::testing::NginxServer nginx(options);
    WriteFile(nginx.Root() + "/private/report.txt", std::string(10000, 'r'));
    desktop_testing::UseProgramFolder(dir);
    WriteFile(dir.File("velomar.ini"),
              desktop_testing::InstalledSettings(dir, "DownloadImmediately=1\r\n"));
    StartModules();
    {
        TFrmMain frm;
        ASSERT_TRUE(frm.FormCreate());
        bool asked = false;
        desktop_testing::AnswerNextDialog(
            [](QDialog* d) {
                auto* prompt = qobject_cast<TFrmGetAuthentication*>(d);
                ASSERT_TRUE(prompt);
                EXPECT_NE(prompt->lblBasicRealm->text().indexOf("Members area"), -1);
                prompt->editUser->setText("ana");
                prompt->editPassword->setText("s3cret");
                prompt->cmdAuthorize->click();
            },
            &asked, 20000);
        frm.AddURL(nginx.Url("/private/report.txt"), "", true, "");
        TJobItem* job = JobManager->Job(0);
        EXPECT_TRUE(RunUntil([&] { return job->State == jsCompleted; }, 30000));
        EXPECT_TRUE(asked);
        EXPECT_EQ(job->ReadString("Authentication.UserID"), "ana");
        EXPECT_EQ(ReadFile(dir.File("Download/report.txt")).size(), 10000u);
    }
    StopModules();
}
