// The instance marker, the registry's hand-over steps and file associations.
#include "platform/InstanceLock.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/testing/TempDir.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::MarkerResult;
using platform::Registry;
using platform::testing::TempDir;
using platform::testing::WriteFile;

namespace {

// A child process that takes the marker, reports through a pipe and waits.
pid_t HoldMarker(const char* name) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const char ok = platform::CreateInstanceMarker(name) == MarkerResult::Created ? '1' : '0';
        [[maybe_unused]] auto n = ::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    [[maybe_unused]] auto n = ::read(ready[0], &c, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return c == '1' ? pid : -1;
}

} // namespace

TEST(InstanceMarkerTest, ExistsExactlyWhileItsProcessRunsEvenWhenItIsKilled) {
    TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    EXPECT_EQ(platform::RuntimeDir(), dir.Path());
    EXPECT_EQ(platform::SafeFileName("Velomar Registry URL Checking"),
              "Velomar_Registry_URL_Checking");
    const pid_t holder = HoldMarker("MyMap");
    ASSERT_GT(holder, 0);
    EXPECT_EQ(platform::CreateInstanceMarker("MyMap"), MarkerResult::AlreadyExists);
    EXPECT_EQ(platform::CreateInstanceMarker("OtherMap"), MarkerResult::Created);
    ::kill(holder, SIGKILL); // a crash
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(platform::CreateInstanceMarker("MyMap"), MarkerResult::Created);
    EXPECT_EQ(platform::CreateInstanceMarker("MyMap"), MarkerResult::Created); // held already
    setenv("XDG_RUNTIME_DIR", dir.File("missing").c_str(), 1);
    EXPECT_NE(platform::RuntimeDir(), dir.File("missing"));
}

TEST(RegistryHandOverTest, TakeReadsAndDeletesTogetherAndExclusiveWritesWait) {
    TempDir dir;
    setenv("REGISTRY_DIR", dir.Path().c_str(), 1);
    Registry reg;
    EXPECT_FALSE(reg.TakeKey("\\Software\\M\\URL", {"URL"}));
    ASSERT_TRUE(reg.WriteStrings("\\Software\\M\\URL", {{"URL", "http://h/1"}, {"Comment", "c"}}));
    EXPECT_FALSE(reg.WriteStrings("\\Software\\M\\URL", {{"URL", "http://h/2"}}, true));
    ASSERT_TRUE(reg.OpenKey("\\Software\\M\\URL", false));
    EXPECT_EQ(reg.ReadString("url"), "http://h/1"); // names are case-blind
    reg.CloseKey();
    const auto taken = reg.TakeKey("\\Software\\M\\URL", {"Url", "Comment", "Referer"});
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, (std::vector<std::string>{"http://h/1", "c", ""}));
    EXPECT_FALSE(reg.KeyExists("\\Software\\M\\URL"));
    EXPECT_TRUE(reg.KeyExists("\\Software\\M")); // only the key itself goes
    EXPECT_TRUE(reg.WriteStrings("\\Software\\M\\URL", {{"URL", "http://h/2"}}, true));
}

TEST(ShellTest, AssociatedProgramFromTheDesktopsDefaults) {
    TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", dir.File("none").c_str(), 1);
    // Only the system's content types, none of its applications.
    std::filesystem::create_directories(dir.File("share"));
    std::filesystem::create_directory_symlink("/usr/share/mime", dir.File("share/mime"));
    setenv("XDG_DATA_DIRS", dir.File("share").c_str(), 1);
    WriteFile(dir.File("page.htm"), "<html></html>");
    EXPECT_TRUE(platform::FindExecutable(dir.File("page.htm")).empty());
    EXPECT_FALSE(platform::ShellOpen(dir.File("page.htm")));

    WriteFile(dir.File("data/applications/any.desktop"),
              "[Desktop Entry]\nName=Any\nExec=anybrowser %U\nMimeType=text/html;\n");
    EXPECT_EQ(platform::FindExecutable(dir.File("page.htm")),
              (std::vector<std::string>{"anybrowser"}));
    WriteFile(dir.File("data/applications/web.desktop"),
              "[Desktop Entry]\nName=Web\nExec=\"/opt/web browser/run\" --new-tab %u 100%%\n");
    WriteFile(dir.File("config/mimeapps.list"),
              "[Added Associations]\ntext/html=any.desktop\n"
              "[Default Applications]\ntext/html=gone.desktop;web.desktop\n");
    EXPECT_EQ(platform::FindExecutable(dir.File("page.htm")),
              (std::vector<std::string>{"/opt/web browser/run", "--new-tab", "100%"}));

    // A program that exists is started with the file.
    WriteFile(dir.File("bin/opener"), "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/opened\"\n");
    ::chmod(dir.File("bin/opener").c_str(), 0755);
    WriteFile(dir.File("data/applications/web.desktop"),
              "[Desktop Entry]\nExec=" + dir.File("bin/opener") + " %f\n");
    EXPECT_TRUE(platform::ShellOpen(dir.File("page.htm")));
    for (int i = 0; i < 200 && !std::ifstream(dir.File("bin/opened")); ++i)
        ::usleep(10000);
    EXPECT_EQ(platform::testing::ReadFile(dir.File("bin/opened")), dir.File("page.htm") + "\n");
}
