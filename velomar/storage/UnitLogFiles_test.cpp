#include "storage/UnitLogFiles.h"

#include "platform/DateTimeText.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string program = dir.filePath("velomar").toStdString();

    void SetUp() override {
        setenv("VELOMAR_PROGRAM_PATH", program.c_str(), 1);
        setenv("REGISTRY_DIR", dir.filePath("registry").toStdString().c_str(), 1);
        SettingsFile = new TDownloaderINIFile(SettingsFileName());
    }
    void TearDown() override {
        delete SettingsFile;
        SettingsFile = nullptr;
        unsetenv("VELOMAR_PROGRAM_PATH");
    }
    void Reopen() {
        delete SettingsFile;
        SettingsFile = new TDownloaderINIFile(SettingsFileName());
    }
};

TEST_F(SettingsFileTest, FilesLieBesideTheProgram) {
    EXPECT_EQ(SettingsFileName(), program + ".ini");
    StartLogFile();
    EXPECT_EQ(LogFileName(), program + "Log.txt");
}

TEST_F(SettingsFileTest, NewSectionNumberCountsUpAndPersists) {
    EXPECT_EQ(SettingsFile->NewSectionNumber(), "1");
    EXPECT_EQ(SettingsFile->ReadInteger("Main", "Section.Count", -1), 1);
    EXPECT_EQ(SettingsFile->NewSectionNumber(), "2");
    Reopen();
    EXPECT_EQ(SettingsFile->NewSectionNumber(), "3");
    SettingsFile->WriteString("Main", "section.count", "2147483647");
    EXPECT_EQ(SettingsFile->NewSectionNumber(), "2147483648");
}

TEST_F(SettingsFileTest, AddStatisticCreatesAndAdds) {
    SettingsFile->AddStatistic("BytesDownloaded", 1460);
    EXPECT_EQ(SettingsFile->ReadInteger("UserStatistics", "BytesDownloaded", 0), 1460);
    SettingsFile->AddStatistic("BytesDownloaded", 3'000'000'000);
    SettingsFile->AddStatistic("FilesDownloaded", 1);
    Reopen();
    EXPECT_EQ(SettingsFile->ReadString("UserStatistics", "BytesDownloaded", ""), "3000001460");
    EXPECT_EQ(SettingsFile->ReadInteger("UserStatistics", "FilesDownloaded", 0), 1);
}

TEST_F(SettingsFileTest, SchemeKeyFindsKeyWrittenInUpperCase) {
    SettingsFile->WriteBool("Main", "HTTP.ProxyEnabled", true);
    SettingsFile->WriteString("Main", "HTTP.ProxyHost", "proxy.example");
    Reopen();
    const std::string scheme = "http";
    EXPECT_TRUE(SettingsFile->ReadBool("Main", scheme + ".ProxyEnabled", false));
    EXPECT_EQ(SettingsFile->ReadString("main", scheme + ".proxyhost", ""), "proxy.example");
}

TEST_F(SettingsFileTest, HistoryRecordsAreNumberedAfterCount) {
    const auto before = platform::NowSeconds();
    AddHistory("http://www.velomar.example/a.zip", 5'000'000'000);
    AddHistory("ftp://files.example/b.iso", 0);
    EXPECT_EQ(SettingsFile->ReadSection("History"),
              (std::vector<std::string>{"Count", "H1.URL", "H1.Moment", "H1.Size", "H2.URL",
                                        "H2.Moment", "H2.Size"}));
    EXPECT_EQ(SettingsFile->ReadInteger("History", "Count", 0), 2);
    EXPECT_EQ(SettingsFile->ReadString("History", "H1.URL", ""),
              "http://www.velomar.example/a.zip");
    EXPECT_EQ(SettingsFile->ReadString("History", "H1.Size", ""), "5000000000");
    EXPECT_EQ(SettingsFile->ReadString("History", "H2.URL", ""), "ftp://files.example/b.iso");
    const auto moment = SettingsFile->ReadDateTime("History", "H2.Moment", 0);
    EXPECT_GE(moment, before);
    EXPECT_LE(moment, platform::NowSeconds());
}

TEST_F(SettingsFileTest, LogWrittenOnlyWhileLoggingIsOn) {
    StartLogFile();
    WriteLog("Session Started.");
    EXPECT_FALSE(Exists(LogFileName())) << "Logging absent means off";

    SettingsFile->WriteBool("Main", "Logging", true);
    const auto before = platform::NowSeconds();
    WriteLog("Pulse: startup");
    WriteLog("two\r\nlines");
    const std::string text = Slurp(LogFileName());
    ASSERT_EQ(text.size(), 1 + 19 + 4 + 14 + 4 + 1 + 19 + 4 + 10 + 4);
    EXPECT_EQ(text[0], '[');
    const auto moment = platform::TextToDateTime(text.substr(1, 19));
    ASSERT_TRUE(moment.has_value());
    EXPECT_GE(*moment, before);
    EXPECT_EQ(text.substr(20, 18), "] \r\nPulse: startup");
    EXPECT_EQ(text.substr(38, 5), "\r\n\r\n[");
    EXPECT_EQ(text.substr(text.size() - 18), "] \r\ntwo\r\nlines\r\n\r\n");

    SettingsFile->WriteBool("Main", "Logging", false);
    WriteLog("not written");
    EXPECT_EQ(Slurp(LogFileName()), text);
}

TEST_F(SettingsFileTest, LogFileMayVanishOrBeUnwritable) {
    SettingsFile->WriteBool("Main", "Logging", true);
    StartLogFile();
    WriteLog("first");
    ASSERT_EQ(::unlink(LogFileName().c_str()), 0); // the user deletes it while we run
    WriteLog("second");
    EXPECT_NE(Slurp(LogFileName()).find("second"), std::string::npos);
    EXPECT_EQ(Slurp(LogFileName()).find("first"), std::string::npos);

    ASSERT_EQ(::unlink(LogFileName().c_str()), 0);
    ASSERT_EQ(::mkdir(LogFileName().c_str(), 0755), 0); // cannot be opened as a file
    WriteLog("lost");                                   // and the caller never notices
    AddHistory("http://x.example/", 1);
    EXPECT_EQ(SettingsFile->ReadInteger("History", "Count", 0), 1);
    ::rmdir(LogFileName().c_str());

    delete SettingsFile; // no settings file: nothing is logged, nothing fails
    SettingsFile = nullptr;
    WriteLog("no settings");
    AddHistory("http://x.example/", 1);
    EXPECT_FALSE(Exists(LogFileName()));
}

TEST_F(SettingsFileTest, StartOfRunDeletesPreviousLog) {
    StartLogFile(); // none there yet: nothing to report
    std::ofstream(program + "Log.txt") << "previous run\r\n";
    StartLogFile();
    EXPECT_FALSE(Exists(program + "Log.txt"));
}

} // namespace
