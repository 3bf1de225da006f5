#include "i18n/UnitLanguageFiles.h"
#include "i18n/UnitLanguageManagement.h"

#include "platform/testing/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using platform::testing::ReadFile;
using platform::testing::WriteFile;

class LanguageSources : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return dir_.File(name); }
    platform::testing::TempDir dir_{"i18n"};
};

TEST(LanguageFiles, SplitLinesAtEveryKindOfLineBreak) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {"a\r\n\r\n\r\n", {"a", "", ""}},
        {"\n\r", {"", ""}}, // LF, then a lone CR
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLines(c.text), c.lines) << testing::PrintToString(c.text);
}

TEST(LanguageFiles, SetGlossaryValueEditsLikeAnIniWriter) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* what;
        Lines before;
        Lines after;
    };
    const Case cases[] = {
        {"replaces the first line of the key, keeping its spelling",
         {"[Glossary]", "language.CAPTION = old", "Language.Caption=second"},
         {"[Glossary]", "language.CAPTION=new", "Language.Caption=second"}},
        {"adds an absent key after the last entry, before blank lines",
         {"[Glossary]", "A=1", "", "", "[Other]", "X=1"},
         {"[Glossary]", "A=1", "Language.Caption=new", "", "", "[Other]", "X=1"}},
        {"leaves the key of another section alone",
         {"[Other]", "Language.Caption=x", "[glossary]", "B=2"},
         {"[Other]", "Language.Caption=x", "[glossary]", "B=2", "Language.Caption=new"}},
        {"adds the section when there is none",
         {"A=1"},
         {"A=1", "[Glossary]", "Language.Caption=new"}},
        {"ignores comment lines",
         {"[Glossary]", ";Language.Caption=c"},
         {"[Glossary]", ";Language.Caption=c", "Language.Caption=new"}},
    };
    for (const auto& c : cases) {
        Lines lines = c.before;
        SetGlossaryValue(lines, "Language.Caption", "new");
        EXPECT_EQ(lines, c.after) << c.what;
    }
    Lines lines = {"[Other]", "K=other", "[Glossary]", ";K=comment", " k =  first  ", "K=second"};
    EXPECT_EQ(GlossaryValue(lines, "K"), "first");
    EXPECT_EQ(GlossaryValue(lines, "Missing"), "");
}

TEST_F(LanguageSources, TextSourceLookupIsCaseBlindAndUntrimmed) {
    TTextLangSource s(-2, "[Glossary]\r\n"
                          "Plain=value\n"
                          "Spaced=  padded  \r"
                          "Eq=a=b\r\n"
                          "Twice=first\r\n"
                          "twice=second\r\n"
                          " Lead=blank before the name\r\n"
                          "NoEquals\r\n"
                          "Empty=\r\n");
    EXPECT_EQ(s.Index, -2);
    struct Case {
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {"Plain", "value"},
        {"PLAIN", "value"},
        {"Spaced", "  padded  "},
        {"Eq", "a=b"},
        {"TWICE", "first"},
        {"Lead", ""},
        {" Lead", "blank before the name"},
        {"NoEquals", ""},
        {"[Glossary]", ""},
        {"Empty", ""},
        {"Absent", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(s.GetText(c.key), c.text) << c.key;
}

TEST_F(LanguageSources, TextSourceSavesItsLinesWithCrLf) {
    std::string path = File("copy.ini");
    WriteFile(path, "an older, longer file that must be replaced entirely\r\n");
    TTextLangSource s(-1, "[Glossary]\nA=Portugu\xEAs\rB= x \r\n\r\n");
    ASSERT_TRUE(s.SaveToFile(path));
    EXPECT_EQ(ReadFile(path), "[Glossary]\r\nA=Portugu\xEAs\r\nB= x \r\n\r\n");

    EXPECT_FALSE(s.SaveToFile(File("no-such-folder/copy.ini")));
}

TEST_F(LanguageSources, IniSourceReadsTrimmedGlossaryValues) {
    std::string path = File("lang.ini");
    WriteFile(path, "[Other]\r\nOnlyOther=x\r\n"
                    "[Glossary]\r\n"
                    "Language.Caption =  Portugu\xEAs  \r\n"
                    "MainForm.mnuFile=Arquivo\r\n");
    TIniLangSource s(4, path);
    EXPECT_EQ(s.Index, 4);
    EXPECT_EQ(s.Path(), path);
    EXPECT_EQ(s.GetText("language.caption"), "Portugu\xEAs");
    EXPECT_EQ(s.GetText("MAINFORM.MNUFILE"), "Arquivo");
    EXPECT_EQ(s.GetText("OnlyOther"), "");
    EXPECT_EQ(s.GetText("Absent"), "");

    for (const std::string& missing : {File("missing.ini"), std::string()}) {
        TIniLangSource none(1, missing);
        EXPECT_EQ(none.GetText("Language.Caption"), "");
    }
}

TEST_F(LanguageSources, IniSourceShowsAnEditedFileAtTheNextLookup) {
    std::string path = File("lang.ini");
    WriteFile(path, "[Glossary]\r\nA=one\r\n");
    TIniLangSource s(1, path);
    ASSERT_EQ(s.GetText("A"), "one");

    WriteFile(path, "[Glossary]\r\nA=changed in place\r\n");
    EXPECT_EQ(s.GetText("A"), "changed in place");

    // Replaced by rename, the way the translation editor's lines are written.
    ASSERT_TRUE(WriteLines(path, {"[Glossary]", "A=replaced"}));
    EXPECT_EQ(s.GetText("A"), "replaced");

    std::remove(path.c_str());
    EXPECT_EQ(s.GetText("A"), "");
    WriteFile(path, "[Glossary]\r\nA=back\r\n");
    EXPECT_EQ(s.GetText("A"), "back");
}

TEST_F(LanguageSources, IniSourceSavesTheFileLineByLine) {
    std::string from = File("from.ini"), to = File("to.ini");
    WriteFile(from, "[Glossary]\nA = x \nB=\xEA\xE7\r\n\n");
    ASSERT_TRUE(TIniLangSource(1, from).SaveToFile(to));
    EXPECT_EQ(ReadFile(to), "[Glossary]\r\nA = x \r\nB=\xEA\xE7\r\n\r\n");

    // An unreadable source leaves the target as it was.
    WriteFile(to, "kept");
    EXPECT_FALSE(TIniLangSource(1, File("missing.ini")).SaveToFile(to));
    EXPECT_FALSE(TIniLangSource(1, "").SaveToFile(to));
    EXPECT_EQ(ReadFile(to), "kept");
}

} // namespace
