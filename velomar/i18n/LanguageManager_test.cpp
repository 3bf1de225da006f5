#include "i18n/UnitBuiltInTexts.h"
#include "i18n/UnitLanguageFiles.h"
#include "i18n/UnitLanguageManagement.h"
#include "storage/UnitLogFiles.h"

#include "platform/testing/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using platform::testing::ReadFile;
using platform::testing::WriteFile;

const std::string kPortuguese = "Portugu\xEAs";

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// A program in its own temporary folder with a fresh settings file, the
// program's language manager and no translation editor.
class LanguageManager : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.Path() + "/";
        setenv("VELOMAR_PROGRAM_PATH", (folder_ + "velomar").c_str(), 1);
        setenv("REGISTRY_DIR", (folder_ + "registry").c_str(), 1);
        settings_ = std::make_unique<TDownloaderINIFile>(folder_ + "velomar.ini");
        SettingsFile = settings_.get();
        SetTranslationEditor(nullptr);
        m_ = LangManager;
        ASSERT_NE(m_, nullptr);
    }
    void TearDown() override {
        SetTranslationEditor(nullptr);
        m_->SetCurrentIndex(0);
        m_->LoadCurrent(); // lets go of this test's language file
        SettingsFile = nullptr;
        settings_.reset();
        unsetenv("VELOMAR_PROGRAM_PATH");
        unsetenv("REGISTRY_DIR");
    }

    std::string LangFile(int n) const {
        return folder_ + "velomarLang" + std::to_string(n) + ".ini";
    }
    std::string Setting(const std::string& key) const {
        return SettingsFile->ReadString("Languages", key, "<absent>");
    }
    void Apply(int index) {
        m_->SetCurrentIndex(index);
        m_->LoadCurrent();
    }
    // Rows of the language list, as the preferences dialog fills it.
    std::vector<std::string> ListCaptions() const {
        std::vector<std::string> rows;
        for (int i = -m_->BuiltInCount(); i <= m_->LanguageCount(); ++i)
            if (i != 0) rows.push_back(m_->CreateSource(i)->GetText("Language.Caption"));
        return rows;
    }

    platform::testing::TempDir dir_{"i18n"};
    std::string folder_;
    std::unique_ptr<TDownloaderINIFile> settings_;
    TLangManager* m_ = nullptr;
};

TEST_F(LanguageManager, FreshSettingsGivePortugueseAndTheTwoBuiltInLanguages) {
    EXPECT_EQ(m_->BuiltInCount(), 2);
    EXPECT_EQ(m_->LanguageCount(), 0);
    EXPECT_EQ(m_->GetCurrentIndex(), 0);
    m_->LoadCurrent();
    EXPECT_EQ(m_->CurrentCaption(), kPortuguese);
    EXPECT_EQ(LangText("MainForm.mnuFile"), "Arquivo");
    EXPECT_EQ(LangText("mainform.MNUFILE"), "Arquivo");
    EXPECT_EQ(LangText("No.Such.Key"), "");
    EXPECT_EQ(ListCaptions(), (std::vector<std::string>{"English", kPortuguese}));
    EXPECT_FALSE(SettingsFile->SectionExists("Languages")) << "reading writes nothing";
}

TEST_F(LanguageManager, CreateSourceFollowsTheIndexRules) {
    SettingsFile->WriteInteger("Languages", "Count", 1);
    SettingsFile->WriteString("Languages", "1", folder_ + "one.ini");
    SettingsFile->WriteString("Languages", "7", folder_ + "seven.ini"); // beyond Count
    WriteFile(folder_ + "one.ini", "[Glossary]\r\nLanguage.Caption=One\r\n");
    WriteFile(folder_ + "seven.ini", "[Glossary]\r\nLanguage.Caption=Seven\r\n");

    struct Case {
        int index;
        bool ini;
        std::string caption;
    };
    const Case cases[] = {
        {-2, false, "English"}, {-1, false, kPortuguese}, {0, false, kPortuguese},
        {1, true, "One"},       {7, true, "Seven"},       {2, true, ""},
        {-3, true, ""},
    };
    for (const auto& c : cases) {
        auto s = m_->CreateSource(c.index);
        EXPECT_EQ(s->Index, c.index);
        EXPECT_EQ(dynamic_cast<TIniLangSource*>(s.get()) != nullptr, c.ini) << c.index;
        EXPECT_EQ(s->GetText("Language.Caption"), c.caption) << c.index;
    }
}

TEST_F(LanguageManager, StaticValuesFollowTheCurrentLanguagesCaption) {
    // A copy of English named "Português" by hand gets the Portuguese values;
    // a copy of Portuguese under its new name gets the general ones.
    int renamedEnglish = m_->CopyLanguage(-2);
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadLines(LangFile(1), lines));
    SetGlossaryValue(lines, "Language.Caption", kPortuguese);
    ASSERT_TRUE(WriteLines(LangFile(1), lines));
    int copiedPortuguese = m_->CopyLanguage(-1);

    struct Case {
        int index;
        bool portugueseValues;
        std::string languageText; // of "DownloadLog.Error"
    };
    const Case cases[] = {
        {-2, false, "Error."},
        {-1, true, "Erro."},
        {0, true, "Erro."},
        {renamedEnglish, true, "Error."},
        {copiedPortuguese, false, "Erro."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        Apply(c.index);
        const char* site =
            c.portugueseValues ? "http://www.velomar-br.example/" : "http://www.velomar.example/";
        EXPECT_EQ(LangText("MainForm.Caption"), std::string("Velomar BETA 1.0.28 - ") + site);
        EXPECT_EQ(LangText("URL.mnuTopics"),
                  std::string(site) + (c.portugueseValues ? "ajuda.htm" : "help.htm"));
        EXPECT_EQ(LangText("TermID"), c.portugueseValues ? "1" : "2");
        EXPECT_EQ(LangText("News.FileName"),
                  c.portugueseValues ? "VelomarPt.news" : "VelomarEg.news");
        EXPECT_EQ(LangText("VersionID"), "28");
        EXPECT_EQ(LangText("versionid"), "28");
        EXPECT_EQ(LangText("DownloadLog.Error"), c.languageText);
    }
}

TEST_F(LanguageManager, StaticValuesOverrideTheLanguageAndNothingIsCached) {
    std::string path = folder_ + "mine.ini";
    WriteFile(path, "[Glossary]\r\nLanguage.Caption=Mine\r\nVersionID=99\r\n"
                    "MainForm.Caption=My title\r\nMainForm.mnuFile=Mine1\r\n");
    SettingsFile->WriteInteger("Languages", "Count", 1);
    SettingsFile->WriteString("Languages", "1", path);

    // Before the current language is loaded only static values resolve.
    TLangManager fresh;
    EXPECT_EQ(fresh.GetText("VersionID"), "28");
    EXPECT_EQ(fresh.GetText("MainForm.mnuFile"), "");
    EXPECT_EQ(fresh.CurrentSource(), nullptr);

    Apply(1);
    EXPECT_EQ(m_->CurrentCaption(), "Mine");
    EXPECT_EQ(LangText("VersionID"), "28");
    EXPECT_EQ(LangText("MainForm.Caption"), "Velomar BETA 1.0.28 - http://www.velomar.example/");
    EXPECT_EQ(LangText("MainForm.mnuFile"), "Mine1");

    WriteFile(path, "[Glossary]\r\nLanguage.Caption=Mine\r\n"
                    "MainForm.mnuFile=Edited while running\r\n");
    EXPECT_EQ(LangText("MainForm.mnuFile"), "Edited while running");

    // A missing file gives empty language texts; static values still resolve.
    std::filesystem::remove(path);
    EXPECT_EQ(LangText("MainForm.mnuFile"), "");
    EXPECT_EQ(LangText("TermID"), "2");
}

TEST_F(LanguageManager, ServiceSitesOfAnotherStaticText) {
    TLangManager m(BuiltInStaticText({"http://127.0.0.1:1", "http://127.0.0.1:2"}));
    m.LoadCurrent(); // Portuguese
    EXPECT_EQ(m.GetText("AutoUpdate.URL"), "http://127.0.0.1:2/autoupdate/");
    Apply(-2);
    m.LoadCurrent();
    EXPECT_EQ(m.GetText("DownloadCenter.PingURL"), "http://127.0.0.1:1/dcenter/ping.pl");
}

TEST_F(LanguageManager, CopyMakesANamedLanguageFileBesideTheProgram) {
    struct Case {
        int from;
        std::string caption;
        std::string someText; // of "MainForm.mnuFile"
    };
    const Case cases[] = {{-2, "< New Language >", "File"}, {-1, "< Nova L\xEDngua >", "Arquivo"}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        ++n;
        EXPECT_EQ(m_->CopyLanguage(c.from), n);
        EXPECT_EQ(Setting("Count"), std::to_string(n));
        EXPECT_EQ(Setting("LastCopied"), std::to_string(n));
        EXPECT_EQ(Setting(std::to_string(n)), LangFile(n));

        std::string bytes = ReadFile(LangFile(n));
        EXPECT_EQ(bytes.rfind("[Glossary]\r\nLanguage.Caption=" + c.caption +
                                  "\r\n"
                                  "Language.Comment=\r\nLanguage.Author=\r\n",
                              0),
                  0u);
        auto copy = m_->CreateSource(n);
        EXPECT_EQ(copy->GetText("Language.New"), c.caption);
        EXPECT_EQ(copy->GetText("MainForm.mnuFile"), c.someText);
        // Every other line is the built-in text's.
        auto lines = SplitLines(bytes);
        auto original = SplitLines(c.from == -2 ? BuiltInEnglishText() : BuiltInPortugueseText());
        ASSERT_EQ(lines.size(), original.size());
        for (size_t i = 4; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], original[i]);
    }
    // A copy of a copy copies its file.
    EXPECT_EQ(m_->CopyLanguage(2), 3);
    EXPECT_EQ(m_->CreateSource(3)->GetText("MainForm.mnuFile"), "Arquivo");
    EXPECT_EQ(ListCaptions(),
              (std::vector<std::string>{"English", kPortuguese, "< New Language >",
                                        "< Nova L\xEDngua >", "< Nova L\xEDngua >"}));
}

TEST_F(LanguageManager, RunningNumbersAreNeverReused) {
    ASSERT_EQ(m_->CopyLanguage(-2), 1);
    ASSERT_EQ(m_->CopyLanguage(-1), 2);
    m_->DeleteLanguage(1);
    EXPECT_FALSE(Exists(LangFile(1)));
    EXPECT_EQ(Setting("Count"), "1");
    EXPECT_EQ(Setting("1"), LangFile(2));
    EXPECT_EQ(Setting("2"), LangFile(2)) << "the old highest entry keeps its value";

    EXPECT_EQ(m_->CopyLanguage(-2), 2);
    EXPECT_EQ(Setting("LastCopied"), "3");
    EXPECT_EQ(Setting("2"), LangFile(3));
    EXPECT_TRUE(Exists(LangFile(3)));

    // Files left under the next numbers (a settings file edited by hand) are
    // not overwritten.
    SettingsFile->WriteInteger("Languages", "LastCopied", 1);
    EXPECT_EQ(m_->CopyLanguage(-2), 3);
    EXPECT_EQ(Setting("LastCopied"), "4");
    EXPECT_EQ(Setting("3"), LangFile(4));
    EXPECT_EQ(m_->CreateSource(1)->GetText("Language.New"), "< Nova L\xEDngua >");
    EXPECT_EQ(m_->CreateSource(2)->GetText("Language.New"), "< New Language >");
}

TEST_F(LanguageManager, CopyOfAnUnreadableLanguageChangesNothing) {
    SettingsFile->WriteInteger("Languages", "Count", 1);
    SettingsFile->WriteString("Languages", "1", folder_ + "gone.ini");
    for (int index : {1, 5, -3}) {
        EXPECT_EQ(m_->CopyLanguage(index), 0) << index;
        EXPECT_EQ(Setting("Count"), "1");
        EXPECT_EQ(Setting("LastCopied"), "<absent>");
        EXPECT_FALSE(Exists(LangFile(1)));
    }
}

TEST_F(LanguageManager, DeleteActsOnlyOnInstalledLanguages) {
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_->CopyLanguage(-2), i + 1);
    for (int index : {-2, -1, 0, 4, 100}) {
        m_->DeleteLanguage(index);
        EXPECT_EQ(Setting("Count"), "3") << index;
    }
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(Exists(LangFile(n)));

    m_->DeleteLanguage(2);
    EXPECT_FALSE(Exists(LangFile(2)));
    EXPECT_EQ(Setting("Count"), "2");
    EXPECT_EQ(Setting("1"), LangFile(1));
    EXPECT_EQ(Setting("2"), LangFile(3));

    std::filesystem::remove(LangFile(3)); // already gone: not an error
    m_->DeleteLanguage(2);
    EXPECT_EQ(Setting("Count"), "1");
    EXPECT_TRUE(Exists(LangFile(1)));
}

TEST_F(LanguageManager, DeletingTheCurrentLanguageKeepsCurrent) {
    ASSERT_EQ(m_->CopyLanguage(-2), 1);
    ASSERT_EQ(m_->CopyLanguage(-1), 2);
    Apply(2);
    m_->DeleteLanguage(2);
    EXPECT_EQ(m_->GetCurrentIndex(), 2);
    m_->LoadCurrent();
    EXPECT_EQ(LangText("MainForm.mnuFile"), "") << "the deleted file is still read";
    EXPECT_EQ(LangText("VersionID"), "28");

    // Deleting a lower number moves the next language under Current's number.
    ASSERT_EQ(m_->CopyLanguage(-1), 2);
    Apply(1);
    m_->DeleteLanguage(1);
    m_->LoadCurrent();
    EXPECT_EQ(m_->CurrentCaption(), "< Nova L\xEDngua >");
}

TEST_F(LanguageManager, TranslateEditsACopyOfABuiltInLanguage) {
    std::vector<std::string> titles;
    SetTranslationEditor([&](const std::string& title, const std::vector<std::string>& lines) {
        titles.push_back(title);
        auto edited = lines;
        SetGlossaryValue(edited, "MainForm.mnuFile", "Fichier");
        return edited;
    });
    Apply(-2);
    EXPECT_TRUE(m_->TranslateLanguage(-2));
    EXPECT_EQ(titles, std::vector<std::string>{"Translation"});
    EXPECT_EQ(m_->LanguageCount(), 1);
    EXPECT_EQ(LangText("MainForm.mnuFile"), "File") << "English itself is unchanged";

    Apply(1);
    EXPECT_EQ(LangText("MainForm.mnuFile"), "Fichier");
    EXPECT_EQ(m_->CurrentCaption(), "< New Language >");

    // Editing the current language shows at the next lookup.
    SetTranslationEditor([&](const std::string& title, const std::vector<std::string>& lines) {
        titles.push_back(title);
        auto edited = lines;
        SetGlossaryValue(edited, "MainForm.mnuFile", "Datei");
        return edited;
    });
    EXPECT_TRUE(m_->TranslateLanguage(1));
    EXPECT_EQ(LangText("MainForm.mnuFile"), "Datei");
    EXPECT_EQ(m_->LanguageCount(), 1);
    EXPECT_EQ(ReadFile(LangFile(1)).substr(0, 12), "[Glossary]\r\n");

    Apply(0);
    EXPECT_TRUE(m_->TranslateLanguage(-1));
    EXPECT_EQ(titles.back(), "Tradu\xE7\xE3o");
    EXPECT_EQ(m_->CreateSource(2)->GetText("MainForm.mnuFile"), "Datei");
}

TEST_F(LanguageManager, TranslateRefusesWhatCannotBeEdited) {
    int calls = 0;
    auto editor = [&](const std::string&, const std::vector<std::string>& lines) {
        ++calls;
        return lines;
    };
    // Without an editor nothing happens, not even the copy of a built-in text.
    EXPECT_FALSE(m_->TranslateLanguage(-2));
    EXPECT_EQ(m_->LanguageCount(), 0);

    SetTranslationEditor(editor);
    ASSERT_EQ(m_->CopyLanguage(-2), 1);
    SettingsFile->WriteString("Languages", "2", LangFile(1)); // beyond Count
    for (int index : {0, 2}) {
        EXPECT_FALSE(m_->TranslateLanguage(index)) << index;
    }
    EXPECT_EQ(calls, 0);

    std::filesystem::remove(LangFile(1));
    EXPECT_FALSE(m_->TranslateLanguage(1));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(Exists(LangFile(1)));
}

} // namespace
