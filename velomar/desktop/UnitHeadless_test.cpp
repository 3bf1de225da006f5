// Terminal mode end to end: the program itself, run as a child process on its
// own settings file in a temporary folder.
#include "platform/testing/EventLoop.h"
#include "platform/testing/NginxServer.h"
#include "platform/testing/TempDir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

using platform::testing::ReadFile;
using platform::testing::TempDir;
using platform::testing::WriteFile;

namespace {

struct RunResult {
    int status = -1;
    std::string out, err;
};

// The program placed (by VELOMAR_PROGRAM_PATH) in a temporary folder.
class Velomar {
public:
    explicit Velomar(const TempDir& dir) : dir_(dir) { platform::testing::App(); }

    std::string Ini() const { return dir_.File("velomar.ini"); }
    std::string Download(const std::string& name) const { return dir_.File("Download/" + name); }

    void Start(const std::vector<std::string>& urls) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("VELOMAR_PROGRAM_PATH", QString::fromStdString(dir_.File("velomar")));
        env.insert("REGISTRY_DIR", QString::fromStdString(dir_.File("registry")));
        proc_.setProcessEnvironment(env);
        QStringList args{"--headless"};
        for (const auto& u : urls)
            args << QString::fromStdString(u);
        proc_.start(QStringLiteral(VK_BINARY_DIR "/bin/velomar"), args);
        ASSERT_TRUE(proc_.waitForStarted(10000));
    }

    RunResult Wait(int timeoutMs = 40000) {
        RunResult r;
        if (!proc_.waitForFinished(timeoutMs)) {
            proc_.kill();
            proc_.waitForFinished();
            ADD_FAILURE() << "velomar did not end";
        }
        r.status = proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
        r.out = proc_.readAllStandardOutput().toStdString();
        r.err = proc_.readAllStandardError().toStdString();
        return r;
    }

    RunResult Run(const std::vector<std::string>& urls) {
        Start(urls);
        return Wait();
    }

    QProcess& Process() { return proc_; }

private:
    const TempDir& dir_;
    QProcess proc_;
};

// An installed settings file with the first run's figures, English texts, and
// `extra` lines of section Main.
void WriteSettings(const TempDir& dir, const std::string& extra = "") {
    WriteFile(dir.File("velomar.ini"),
              "[Main]\r\nInstalled=1\r\nInstalled.24=1\r\nInstalled.25=1\r\n"
              "Installed.26=1\r\nInstalled.27=1\r\nInstalled.28=1\r\n"
              "MaxDownloadingJobs=5\r\nSockets=3\r\nDownloadImmediately=1\r\n"
              "DownloadDirectory=" +
                  dir.File("Download/") + "\r\nPulseInterval=100\r\n" + extra +
                  "[Languages]\r\nCurrent=-2\r\n");
}

TEST(HeadlessTest, FirstRunWithoutWantedJobsEndsAtOnceAndLogsTheSession) {
    TempDir dir;
    WriteFile(dir.File("velomar.ini"), "[Main]\r\nLogging=1\r\n");
    WriteFile(dir.File("velomarLog.txt"), "previous run\r\n");
    Velomar v(dir);
    const RunResult r = v.Run({});
    EXPECT_EQ(r.status, 0) << r.err;

    const std::string ini = ReadFile(v.Ini());
    EXPECT_NE(ini.find("Installed.28=1"), std::string::npos);
    const std::string log = ReadFile(dir.File("velomarLog.txt"));
    EXPECT_EQ(log.find("previous run"), std::string::npos);
    const auto started = log.find("\r\nSession Started.\r\n\r\n");
    const auto finished = log.find("\r\nSession Finished.\r\n\r\n");
    ASSERT_NE(started, std::string::npos) << log;
    ASSERT_NE(finished, std::string::npos) << log;
    EXPECT_LT(started, finished);
}

TEST(HeadlessTest, UnknownProtocolFailsWithItsLogAndIsNotAddedTwice) {
    TempDir dir;
    WriteSettings(dir);
    Velomar v(dir);
    RunResult r = v.Run({"mailto:someone@example.com", "mailto:someone@example.com"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("failed"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Unknown protocol"), std::string::npos) << r.err;
    const std::string ini = ReadFile(v.Ini());
    EXPECT_NE(ini.find("Job.Count=1"), std::string::npos) << ini;

    // A second run with the same URL wants the listed job again: same job.
    r = v.Run({"mailto:someone@example.com"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(ReadFile(v.Ini()).find("Job.Count=1"), std::string::npos);
}

TEST(HeadlessTest, SecondInstanceOnTheSameSettingsIsRefused) {
    TempDir dir;
    const int fd = ::open(dir.File("velomar.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    Velomar v(dir);
    const RunResult r = v.Run({});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("another instance"), std::string::npos);
    ::close(fd);
}

// A file of `size` pseudo-random bytes at `path` under the server's root;
// returns its content.
std::string Serve(const platform::testing::NginxServer& nginx, const std::string& path,
                  std::size_t size, unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::string data(size, '\0');
    for (auto& c : data)
        c = static_cast<char>(gen());
    WriteFile(nginx.Root() + "/" + path, data);
    return data;
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(HeadlessServerTest, TwoURLsCompleteByteIdentical) {
    TempDir dir;
    platform::testing::NginxServer nginx;
    const std::string a = Serve(nginx, "a.bin", 300 * 1024, 1);
    const std::string b = Serve(nginx, "b.bin", 1536 * 1024 + 7, 2);
    Velomar v(dir);
    const RunResult r = v.Run({nginx.Url("/a.bin"), nginx.Url("/b.bin")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(ReadFile(v.Download("a.bin")) == a);
    EXPECT_TRUE(ReadFile(v.Download("b.bin")) == b);
    EXPECT_NE(r.out.find("a.bin  300.0 KiB  completed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("b.bin"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no redraw codes into a pipe";

    // Listed and completed: a rerun adds nothing and has nothing to do.
    const RunResult again = v.Run({nginx.Url("/a.bin")});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(ReadFile(v.Ini()).find("Job.Count=2"), std::string::npos);
}

TEST(HeadlessServerTest, MissingFileFailsAndPrintsTheJobLog) {
    TempDir dir;
    platform::testing::NginxServer nginx;
    Serve(nginx, "here.bin", 1000);
    Velomar v(dir);
    WriteFile(v.Ini(), "[Main]\r\nInstalled=1\r\nMaxRetries=0\r\nSockets=3\r\n"
                       "MaxDownloadingJobs=5\r\nDownloadImmediately=1\r\n"
                       "DownloadDirectory=" +
                           dir.File("Download/") + "\r\n");
    const RunResult r = v.Run({nginx.Url("/here.bin"), nginx.Url("/missing.bin")});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("missing.bin  failed"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("404"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("here.bin"), std::string::npos) << r.out;
}

TEST(HeadlessServerTest, SigtermStopsCleanlyAndTheNextRunResumes) {
    TempDir dir;
    platform::testing::NginxOptions slow;
    slow.slowRate = 512 * 1024;
    platform::testing::NginxServer nginx(slow);
    const std::string data = Serve(nginx, "slow/slow.bin", 6 * 1024 * 1024);
    // Three long ranges, so the server's pace holds beyond its first-second burst.
    WriteSettings(dir, "HTTP.MaxRangeSize=0\r\n");
    Velomar v(dir);
    v.Start({nginx.Url("/slow/slow.bin")});
    Sleep(1500); // about half of the file, even on a loaded machine
    ::kill(static_cast<pid_t>(v.Process().processId()), SIGTERM);
    const RunResult stopped = v.Wait();
    EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.out << stopped.err;
    EXPECT_NE(stopped.out.find("slow.bin  stopped at"), std::string::npos) << stopped.out;
    EXPECT_FALSE(std::filesystem::exists(v.Download("slow.bin")));

    const RunResult resumed = v.Run({});
    EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
    EXPECT_TRUE(ReadFile(v.Download("slow.bin")) == data);
    const std::string ini = ReadFile(v.Ini());
    const auto saved = ini.find("BytesSaved=");
    ASSERT_NE(saved, std::string::npos) << "the second run did not resume";
    EXPECT_GT(std::stoll(ini.substr(saved + 11)), 0);
}

// The program killed outright at random moments of one download, again and
// again; each start picks up what the previous one recorded.
TEST(HeadlessServerTest, KilledAtRandomMomentsTheFileStillEndsByteIdentical) {
    TempDir dir;
    platform::testing::NginxOptions slow;
    slow.slowRate = 1024 * 1024;
    platform::testing::NginxServer nginx(slow);
    const std::string data = Serve(nginx, "slow/big.bin", 40 * 1024 * 1024 + 12345);
    WriteSettings(dir, "HTTP.MaxRangeSize=0\r\nRetryDelay=1\r\nMaxRetries=10\r\n");
    Velomar v(dir);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> moment(50, 900);

    int kills = 0;
    for (int i = 0; i < 6; ++i) {
        v.Start(i == 0 ? std::vector<std::string>{nginx.Url("/slow/big.bin")}
                       : std::vector<std::string>{});
        Sleep(moment(gen));
        if (v.Process().state() == QProcess::NotRunning) break; // finished before this moment came
        ::kill(static_cast<pid_t>(v.Process().processId()), SIGKILL);
        v.Wait();
        ++kills;
    }
    EXPECT_GE(kills, 4) << "the download ended before it was killed enough";
    EXPECT_FALSE(std::filesystem::exists(v.Download("big.bin")));
    const RunResult last = v.Run({});
    EXPECT_EQ(last.status, 0) << last.out << last.err;
    EXPECT_TRUE(ReadFile(v.Download("big.bin")) == data);
    EXPECT_FALSE(std::filesystem::exists(v.Download("big.bin._")));
}

} // namespace
