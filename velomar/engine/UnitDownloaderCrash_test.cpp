// A download killed (SIGKILL) at random moments and started again each time
// ends byte-identical: progress on disk never runs ahead of the partial file.
#include "engine/UnitDownloaderFactory.h"
#include "engine/UnitTargetFile.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/FaultServer.h"
#include "platform/testing/TempDir.h"
#include "storage/UnitJobItem.h"
#include "storage/UnitLogFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

const char* const kChildDir = "VK_ENGINE_CRASH_CHILD";

// The child: runs job "1" of the settings file beside the program to its end.
[[noreturn]] void RunChild(const std::string& dir) {
    platform::testing::App();
    TDownloaderINIFile ini(dir + "/velomar.ini");
    SettingsFile = &ini;
    InstallDownloaders();
    int code = -1;
    {
        TJobItem job("1");
        job.WriteBool("InJobList", true);
        job.OnChange = [&](TJobItem*, std::uint8_t c) {
            if (c <= ncFailed) code = c;
        };
        job.SetState(jsDownloading);
        platform::testing::RunUntil([&] { return code >= 0; }, 60000);
        job.SetState(jsStopped);
    }
    SettingsFile = nullptr;
    std::fflush(nullptr);
    std::_Exit(code == ncSucceeded ? 0 : 3);
}

pid_t Spawn(const std::string& dir) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back(std::string(kChildDir) + "=" + dir);
    env.push_back("VELOMAR_PROGRAM_PATH=" + dir + "/velomar");
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=EngineCrash.KilledAtRandomMomentsThenResumed";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    return pid;
}

// Exit status of the child, or -1 when it had to be killed.
int WaitOrKill(pid_t pid, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

} // namespace

TEST(EngineCrash, KilledAtRandomMomentsThenResumed) {
    if (const char* dir = std::getenv(kChildDir)) RunChild(dir);

    platform::testing::TempDir dir("vk-crash");
    platform::testing::FaultServer server;
    platform::testing::FaultRoute route;
    route.size = 2500000;
    route.lastModified = "Wed, 01 Jan 2020 00:00:00 GMT";
    route.chunk = 4096; // about 800 KB/s per connection
    route.delayMs = 5;
    server.Route("/k.bin", route);
    const std::string data = platform::testing::PatternBytes(0, route.size);
    {
        TDownloaderINIFile ini(dir.File("velomar.ini"));
        ini.WriteString("Main", "HTTP.MinRangeSize", "51200");
        ini.WriteString("Main", "HTTP.MaxRangeSize", "204800");
        ini.WriteString("1", "URL", server.Url("/k.bin"));
        ini.WriteString("1", "DownloadDirectory", dir.File("dl"));
        ini.WriteInteger("1", "Sockets", 3);
    }
    std::random_device rd;
    const unsigned seed = rd();
    std::mt19937 rnd(seed);
    int killed = 0, result = -1;
    for (int round = 0; round < 8 && result < 0; ++round) {
        pid_t pid = Spawn(dir.Path());
        ASSERT_GT(pid, 0);
        result = WaitOrKill(pid, 60 + int(rnd() % 300));
        killed += result == -1;
    }
    if (result < 0) {
        pid_t pid = Spawn(dir.Path());
        ASSERT_GT(pid, 0);
        result = WaitOrKill(pid, 60000);
    }
    ASSERT_EQ(result, 0) << "seed " << seed;
    RecordProperty("kills", killed);
    EXPECT_GE(killed, 1) << "seed " << seed;
    EXPECT_TRUE(platform::testing::ReadFile(dir.File("dl/k.bin")) == data)
        << "seed " << seed << ", killed " << killed << " times";
    EXPECT_FALSE(FileExists(dir.File("dl/k.bin._")));
}
