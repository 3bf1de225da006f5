#include "platform/IniFile.h"

#include "platform/DateTimeText.h"
#include "platform/testing/EventLoop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <sstream>

using platform::IniFile;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

using Dump = std::map<std::string, std::map<std::string, std::string>>;
Dump DumpOf(const IniFile& ini) {
    Dump d;
    for (const auto& s : ini.ReadSections()) {
        auto& keys = d[s];
        for (const auto& k : ini.ReadSection(s))
            keys[k] = ini.ReadString(s, k, "<absent>");
    }
    return d;
}

// Every line of text written by us ends in CR LF.
void ExpectCrLfOnly(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    if (!text.empty()) {
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path = dir.filePath("velomar.ini").toStdString();
};

TEST_F(IniFileTest, HandEditedFileLoads) {
    Spit(path, "\xEF\xBB\xBF"
               "orphan=ignored\n"
               "; a comment\r\n"
               "\n"
               "[Main]\r\n"
               "  Logging =  1  \r\n"
               "PulseInterval=250\n"
               "\t\n"
               "pulseinterval=999\n" // repeated key: first wins
               "Empty=\n"
               "Eq=a=b\n"
               "no equals sign here\n"
               "[ Other ]\n"
               "Quoted=\"  padded \"\n"
               "Path=C:\\Downloads\\\n"
               "[main]\n" // repeated section merges into the first
               "Extra=x\n"
               "Logging=0\n"
               "[Last]\n"
               "Tail=no final line end");
    IniFile ini(path);
    EXPECT_TRUE(ini.ReadBool("Main", "Logging", false));
    EXPECT_EQ(ini.ReadInteger("MAIN", "PulseInterval", 100), 250);
    EXPECT_EQ(ini.ReadString("Main", "Empty", "def"), "");
    EXPECT_EQ(ini.ReadString("Main", "Eq", ""), "a=b");
    EXPECT_EQ(ini.ReadString("Main", "Extra", ""), "x");
    EXPECT_EQ(ini.ReadString("Other", "Quoted", ""), "  padded ");
    EXPECT_EQ(ini.ReadString("Other", "Path", ""), "C:\\Downloads\\");
    EXPECT_EQ(ini.ReadString("Last", "Tail", ""), "no final line end");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "Other", "Last"}));
    EXPECT_EQ(ini.ReadSection("main"),
              (std::vector<std::string>{"Logging", "PulseInterval", "Empty", "Eq", "Extra"}));

    // Comments and stray lines survive a rewrite; the file is CR LF throughout.
    ini.WriteString("Main", "New", "1");
    ini.UpdateFile();
    std::string text = Slurp(path);
    ExpectCrLfOnly(text);
    EXPECT_NE(text.find("; a comment\r\n"), std::string::npos);
    EXPECT_NE(text.find("no equals sign here\r\n"), std::string::npos);
    EXPECT_EQ(text.find("999"), std::string::npos);
    IniFile again(path);
    EXPECT_EQ(DumpOf(again), DumpOf(ini));
}

TEST_F(IniFileTest, WrittenFormat) {
    {
        IniFile ini(path);
        ini.WriteString("Main", "Job.Count", "2");
        ini.WriteInteger("7", "Download.Size", 5'000'000'000);
        ini.WriteBool("7", "Selected", true);
        ini.WriteBool("7", "Failed", false);
    }
    EXPECT_EQ(Slurp(path), "[Main]\r\nJob.Count=2\r\n\r\n[7]\r\nDownload.Size=5000000000\r\n"
                           "Selected=1\r\nFailed=0\r\n");
    EXPECT_FALSE(Exists(path + ".journal")); // a clean shutdown leaves no journal
}

TEST_F(IniFileTest, MissingOrUnreadableFileReadsEmpty) {
    {
        IniFile missing(dir.filePath("none.ini").toStdString());
        EXPECT_TRUE(missing.ReadSections().empty());
        EXPECT_EQ(missing.ReadString("Main", "x", "def"), "def");
    }
    EXPECT_FALSE(Exists(dir.filePath("none.ini").toStdString())); // nothing written, nothing made

    // A folder in the file's place cannot be read; writes still work in memory
    // and the folder is left alone.
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    {
        IniFile ini(path);
        EXPECT_TRUE(ini.ReadSections().empty());
        ini.WriteInteger("Main", "n", 5);
        EXPECT_EQ(ini.ReadInteger("Main", "n", 0), 5);
        ini.UpdateFile();
    }
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(IniFileTest, NamesIgnoreCaseAndKeepFirstSpelling) {
    {
        IniFile ini(path);
        ini.WriteBool("Main", "HTTP.ProxyEnabled", true);
        EXPECT_TRUE(ini.ReadBool("main", std::string("http") + ".ProxyEnabled", false));
        ini.WriteBool("MAIN", "http.proxyenabled", false);
        EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Main"});
        EXPECT_EQ(ini.ReadSection("Main"), std::vector<std::string>{"HTTP.ProxyEnabled"});
        EXPECT_TRUE(ini.ValueExists("mAiN", "Http.ProxyEnabled"));
        ini.DeleteKey("Main", "x"); // absent: nothing happens
        ini.WriteString("Main", "Gone", "1");
        ini.DeleteKey("main", "GONE");
        ini.WriteString("Main", "gone", "2"); // a deleted name starts afresh
    }
    IniFile ini(path);
    EXPECT_EQ(ini.ReadSection("Main"), (std::vector<std::string>{"HTTP.ProxyEnabled", "gone"}));
    EXPECT_FALSE(ini.ReadBool("Main", "HTTP.ProxyEnabled", true));
}

TEST_F(IniFileTest, ValuesAndNamesCannotBreakTheFile) {
    const std::vector<std::string> values = {
        "a\r\nb",     "line\n[Evil]\r\nInjected=1",
        "\r",         "\n",
        " leading",   "trailing\t",
        "\"quoted\"", "\"",
        "\"\"",       "\\\\server\\share",
        "C:\\dir\\",  "literal \\n and \\r",
        "\\\"",       std::string("nul\0byte", 8),
        "",           "plain=value ; not a comment",
    };
    {
        IniFile ini(path);
        for (size_t i = 0; i < values.size(); ++i)
            ini.WriteString("S", "k" + std::to_string(i), values[i]);
        ini.WriteString("S", "bad\r\nkey=x", "v1");
        ini.WriteString("S", "[Sect]", "v2");
        ini.WriteString("S", ";comment", "v3");
        ini.WriteString("Sec\ntion]", "k", "v4");
        EXPECT_EQ(ini.ReadString("S", "bad\r\nkey=x", ""), "v1");
    }
    std::string text = Slurp(path);
    ExpectCrLfOnly(text);
    for (size_t pass = 0; pass < 2; ++pass) {
        IniFile ini(path);
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(ini.ReadString("S", "k" + std::to_string(i), "<absent>"), values[i]) << i;
        EXPECT_EQ(ini.ReadString("S", "bad\r\nkey=x", ""), "v1");
        EXPECT_EQ(ini.ReadString("S", "[Sect]", ""), "v2");
        EXPECT_EQ(ini.ReadString("S", ";comment", ""), "v3");
        EXPECT_EQ(ini.ReadString("Sec\ntion]", "k", ""), "v4");
        EXPECT_EQ(ini.ReadSections().size(), 2u);
        EXPECT_FALSE(ini.SectionExists("Evil"));
        EXPECT_FALSE(ini.ValueExists("S", "Injected"));
        EXPECT_EQ(ini.ReadSection("S").size(), values.size() + 3 + pass);
        ini.WriteString("S", "touch", "1"); // the second pass reads a file folded again
    }
}

TEST_F(IniFileTest, NumbersBooleansFloatsAndMoments) {
    Spit(path, "[N]\nsp= 12 \nneg=-7\nplus=+3\nhex=0x10\nbig=99999999999999999999\nword=yes\n"
               "two=2\nzero=0\nf=2.5\nfbad=2,5\nwhen=2026-12-11 10:00:00\nwhenbad=11.12.2026\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("N", "sp", 0), 12);
    EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -7);
    EXPECT_EQ(ini.ReadInteger("N", "plus", 0), 3);
    for (const char* k : {"hex", "big", "word", "absent"})
        EXPECT_EQ(ini.ReadInteger("N", k, 42), 42) << k;
    EXPECT_TRUE(ini.ReadBool("N", "two", false));
    EXPECT_FALSE(ini.ReadBool("N", "zero", true));
    EXPECT_TRUE(ini.ReadBool("N", "word", true));
    EXPECT_FALSE(ini.ReadBool("N", "word", false));
    EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "f", 0), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "fbad", -1), -1);
    EXPECT_EQ(ini.ReadDateTime("N", "when", 0),
              platform::TextToDateTime("2026-12-11 10:00:00").value());
    EXPECT_EQ(ini.ReadDateTime("N", "whenbad", -1), -1);

    ini.WriteInteger("N", "i", INT64_MIN);
    EXPECT_EQ(ini.ReadInteger("N", "i", 0), INT64_MIN);
    ini.WriteInteger("N", "i", 2'147'483'648);
    EXPECT_EQ(ini.ReadString("N", "i", ""), "2147483648");
    ini.WriteFloat("N", "f", 0.1);
    EXPECT_EQ(ini.ReadFloat("N", "f", 0), 0.1);
    const auto now = platform::NowSeconds();
    ini.WriteDateTime("N", "when", now);
    EXPECT_EQ(ini.ReadString("N", "when", ""), platform::DateTimeToText(now));
    EXPECT_EQ(ini.ReadDateTime("N", "when", 0), now);
}

TEST_F(IniFileTest, SectionsKeepOrderThroughDeletesAndErases) {
    {
        IniFile ini(path);
        for (int s = 0; s < 60; ++s)
            for (int k = 0; k < 50; ++k)
                ini.WriteInteger(std::to_string(s), "k" + std::to_string(k), s * 100 + k);
        for (int s = 0; s < 60; s += 2)
            ini.EraseSection(std::to_string(s));
        for (int k = 0; k < 50; ++k)
            if (k % 5) ini.DeleteKey("1", "k" + std::to_string(k));
        ini.WriteInteger("0", "back", 1); // an erased section comes back at the end
        EXPECT_EQ(ini.ReadSection("1"),
                  (std::vector<std::string>{"k0", "k5", "k10", "k15", "k20", "k25", "k30", "k35",
                                            "k40", "k45"}));
        EXPECT_EQ(ini.ReadSectionValues("0"), std::vector<std::string>{"back=1"});
    }
    IniFile ini(path);
    auto sections = ini.ReadSections();
    ASSERT_EQ(sections.size(), 31u);
    EXPECT_EQ(sections.front(), "1");
    EXPECT_EQ(sections[1], "3");
    EXPECT_EQ(sections.back(), "0");
    EXPECT_EQ(ini.ReadInteger("59", "k49", 0), 5949);
    EXPECT_EQ(ini.ReadSection("1").size(), 10u);
    EXPECT_FALSE(ini.SectionExists("2"));
    ini.DeleteKey("3", "k0");
    EXPECT_TRUE(ini.SectionExists("3"));
}

// What a killed process leaves behind: the INI file as of the last fold and
// the journal, possibly ending in half a line.
TEST_F(IniFileTest, NextLoadReplaysJournalAndIgnoresTornLine) {
    const std::string snapIni = path + ".snap", snap = dir.filePath("snap.ini").toStdString();
    {
        IniFile ini(path);
        ini.WriteString("Main", "a", "1");
        ini.UpdateFile();
        ini.WriteString("Main", "b", "2\r\nc=3");
        ini.WriteInteger("7", "Position", 1234);
        ini.DeleteKey("Main", "a");
        ini.WriteString("8", "x", "y");
        ini.EraseSection("8");
        ASSERT_TRUE(Exists(ini.JournalName()));
        Spit(snap, Slurp(path));
        Spit(snap + ".journal", Slurp(ini.JournalName()) + "W\tMain\ttorn\tva");
    }
    {
        IniFile ini(snap);
        EXPECT_EQ(DumpOf(ini),
                  (Dump{{"Main", {{"b", "2\r\nc=3"}}}, {"7", {{"Position", "1234"}}}}));
        EXPECT_FALSE(Exists(snap + ".journal")); // folded at load
        ini.WriteString("Main", "after", "1");
    }
    IniFile ini(snap);
    EXPECT_EQ(ini.ReadString("Main", "after", ""), "1");
    EXPECT_FALSE(ini.ValueExists("Main", "torn"));
}

TEST_F(IniFileTest, TornJournalThatCannotBeFoldedKeepsLaterWrites) {
    // The INI file cannot be written (a folder in its place), so the journal
    // stays, torn last line included, and later writes must still replay.
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    {
        IniFile ini(path);
        ini.WriteString("Main", "a", "1");
        Spit(dir.filePath("whole").toStdString(), Slurp(ini.JournalName()));
    }
    Spit(path + ".journal", Slurp(dir.filePath("whole").toStdString()) + "W\tMain\ttorn\tva");
    {
        IniFile ini(path);
        ini.WriteString("Main", "b", "2");
    }
    IniFile ini(path);
    EXPECT_EQ(DumpOf(ini), (Dump{{"Main", {{"a", "1"}, {"b", "2"}}}}));
}

TEST_F(IniFileTest, ReplayOverAlreadyFoldedFileAndDamagedLines) {
    std::string journal;
    {
        IniFile ini(path);
        ini.WriteString("S", "k", "1");
        ini.EraseSection("S");
        ini.WriteString("S", "k2", "2");
        ini.DeleteKey("S", "k2");
        ini.WriteString("S", "k3", "3");
        journal = Slurp(ini.JournalName());
    }
    // Killed after the rename but before the journal went: the journal replays
    // over a file that already holds it.
    std::string damaged = "W\tS\tbad\tsum\t00000000\n" + journal + "garbage line\n";
    Spit(path + ".journal", damaged);
    IniFile ini(path);
    EXPECT_EQ(DumpOf(ini), (Dump{{"S", {{"k3", "3"}}}}));
}

TEST_F(IniFileTest, FoldsWhenJournalGrowsOrIntervalPasses) {
    std::int64_t now = 1000;
    IniFile ini(path);
    ini.SetClock([&] { return now; });
    ini.SetFoldPolicy(2000, 3000);
    ini.WriteInteger("7", "Position", 1);
    EXPECT_TRUE(Exists(ini.JournalName()));
    EXPECT_FALSE(Exists(path));
    now += 2999;
    ini.WriteInteger("7", "Position", 2);
    EXPECT_FALSE(Exists(path));
    now += 1;
    ini.WriteInteger("7", "Position", 3); // interval passed: folded
    EXPECT_EQ(Slurp(path), "[7]\r\nPosition=3\r\n");
    EXPECT_FALSE(Exists(ini.JournalName()));
    ini.WriteInteger("7", "Position", 3); // unchanged value: nothing to record
    EXPECT_FALSE(Exists(ini.JournalName()));

    for (int i = 0; i < 100 && Slurp(path).find("Position=3") != std::string::npos; ++i)
        ini.WriteInteger("7", "Position", 100 + i);
    EXPECT_EQ(Slurp(path).find("Position=3"), std::string::npos) << "no fold by size";
    EXPECT_LT(Slurp(ini.JournalName()).size(), 2000u);
}

TEST_F(IniFileTest, EventLoopFoldsSoonAfterTheLastWrite) {
    platform::testing::App();
    IniFile ini(path);
    ini.SetFoldPolicy(1 << 20, 20);
    ini.WriteString("Main", "Idle", "yes");
    EXPECT_TRUE(platform::testing::RunUntil([&] { return Exists(path); }, 5000));
    EXPECT_EQ(Slurp(path), "[Main]\r\nIdle=yes\r\n");
}

TEST_F(IniFileTest, ReadOnlyNeverTouchesDisk) {
    Spit(path, "[Lang]\nName=English\n");
    {
        IniFile ini(path, IniFile::Mode::ReadOnly);
        EXPECT_EQ(ini.ReadString("lang", "name", ""), "English");
        ini.WriteString("Lang", "Name", "changed");
        EXPECT_EQ(ini.ReadString("Lang", "Name", ""), "changed");
        ini.UpdateFile();
    }
    EXPECT_EQ(Slurp(path), "[Lang]\nName=English\n");
    EXPECT_FALSE(Exists(path + ".journal"));
}

} // namespace
