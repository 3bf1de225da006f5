#include "jobs/UnitDefaultSettings.h"

#include "platform/DateTimeText.h"
#include "storage/UnitLogFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

class DefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        setenv("VELOMAR_PROGRAM_PATH", (root + "/velomar").c_str(), 1);
        setenv("REGISTRY_DIR", (root + "/registry").c_str(), 1);
        SettingsFile = new TDownloaderINIFile(SettingsFileName());
    }
    void TearDown() override {
        delete SettingsFile;
        SettingsFile = nullptr;
    }
    std::string Main(const std::string& key) {
        return SettingsFile->ReadString("Main", key, "<absent>");
    }

    QTemporaryDir dir;
    std::string root;
};

const char* const kNewExtensions = "zip exe bin tar z gz bz2 a?? r?? lzh mp3";

TEST_F(DefaultsTest, FirstRunWritesEveryDefaultAndAllUpgradeSteps) {
    const auto before = platform::NowSeconds();
    InstallDefaults();

    const std::vector<std::pair<const char*, std::string>> expected = {
        {"Installed", "1"},
        {"Installed.24", "1"},
        {"Installed.25", "1"},
        {"Installed.26", "1"},
        {"Installed.27", "1"},
        {"Installed.28", "1"},
        {"DownloadDirectory", root + "/Download/"},
        {"MaxDownloadingJobs", "5"},
        {"Sockets", "3"},
        {"Section.Count", "0"},
        {"Job.Count", "0"},
        {"DownloadImmediately", "1"},
        {"AllocFileSize", "1"},
        {"HTTP.MinRangeSize", "51200"},
        {"HTTP.MaxRangeSize", "204800"},
        {"FTP.MinRangeSize", "51200"},
        {"FTP.MaxRangeSize", "204800"},
        {"PulseInterval", "100"},
        {"Authentication.UserID", "anonymous"},
        {"BPS.MaxSeconds", "5"},
        {"ClipboardMonitoring", "1"},
        {"ClipboardExtensions", kNewExtensions},
        {"BrowserIntegration", "1"},
        {"BrowserExtensions", kNewExtensions},
        {"AlwaysRetry", "0"},
        {"MaxRetries", "10"},
        {"RetryDelay", "10"},
        {"NextAutoUpdateDelay", "3"},
        {"ShowAddURL", "1"},
        {"LinkDesktop", "1"},
        {"LinkProgramsMenu", "1"},
        {"LinkStartUpMenu", "1"},
        {"StartOnTray", "1"},
        {"LinkAutoUpdateOnStartMenu", "1"},
        {"ShowJobComplete", "1"},
        {"OnlyWindowsStartUp", "1"},
        {"WebControl.Active", "1"},
        {"ApplyExtensionExclusions", "1"},
        {"ExtensionExclusions", "*/webmail.exe *.asp *.ram"},
        {"AggressiveCapturing", "1"},
        {"CheckForNewLink", "<absent>"},
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(Main(key), value) << key;

    const std::string pwd = Main("Authentication.UserPwd");
    EXPECT_EQ(pwd.size(), 19u);
    EXPECT_EQ(pwd, kAnonymousPassword);
    EXPECT_NE(pwd.find('@'), std::string::npos);

    const auto next = SettingsFile->ReadDateTime("Main", "NextAutoUpdate", 0);
    EXPECT_GE(next, before + 3 * 86400 - 1);
    EXPECT_LE(next, platform::NowSeconds() + 3 * 86400 + 1);
}

TEST_F(DefaultsTest, UpgradeRunsOnlyTheMissingStepOnce) {
    for (const char* flag :
         {"Installed", "Installed.24", "Installed.25", "Installed.26", "Installed.27"})
        SettingsFile->WriteBool("Main", flag, true);
    SettingsFile->WriteInteger("Main", "MaxDownloadingJobs", 2);
    SettingsFile->WriteString("Main", "ClipboardExtensions", "iso");
    SettingsFile->WriteBool("Main", "CheckForNewLink", true);
    SettingsFile->WriteBool("Main", "ShowAddURL", false);

    InstallDefaults();
    EXPECT_EQ(Main("ClipboardExtensions"), kNewExtensions);
    EXPECT_EQ(Main("BrowserExtensions"), kNewExtensions);
    EXPECT_EQ(Main("ExtensionExclusions"), "*/webmail.exe *.asp *.ram");
    EXPECT_EQ(Main("CheckForNewLink"), "<absent>");
    EXPECT_EQ(Main("MaxDownloadingJobs"), "2"); // the first run is not repeated
    EXPECT_EQ(Main("ShowAddURL"), "0");         // nor step 24

    // The user's later choice stands: the step has run.
    SettingsFile->WriteString("Main", "ClipboardExtensions", "iso");
    InstallDefaults();
    EXPECT_EQ(Main("ClipboardExtensions"), "iso");
}

} // namespace
