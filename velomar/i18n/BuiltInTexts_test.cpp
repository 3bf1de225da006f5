#include "i18n/UnitBuiltInTexts.h"
#include "i18n/UnitLanguageFiles.h"
#include "i18n/UnitLanguageManagement.h"
#include "platform/Cp1252.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Key and value of a "key=value" line.
std::pair<std::string, std::string> Entry(const std::string& line) {
    auto eq = line.find('=');
    EXPECT_NE(eq, std::string::npos) << line;
    return {line.substr(0, eq), line.substr(eq + 1)};
}

TEST(BuiltInTexts, BothLanguagesHoldEveryKeyInCatalogueOrder) {
    auto catalogue = BuiltInCatalogue();
    ASSERT_EQ(catalogue.size(), 195u);
    EXPECT_STREQ(catalogue.front().Key, "Language.Caption");
    EXPECT_STREQ(catalogue.back().Key, "AuthentForm.Cancel");

    std::set<std::string> seen;
    for (const auto& e : catalogue) {
        std::string lower = e.Key;
        for (auto& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(seen.insert(lower).second) << "duplicate key " << e.Key;
    }

    for (bool english : {true, false}) {
        SCOPED_TRACE(english ? "English" : "Portuguese");
        std::string text = english ? BuiltInEnglishText() : BuiltInPortugueseText();
        auto lines = SplitLines(text);
        ASSERT_GT(lines.size(), catalogue.size() + 1);
        EXPECT_EQ(lines[0], "[Glossary]");
        for (size_t i = 0; i < catalogue.size(); ++i) {
            auto [key, value] = Entry(lines[i + 1]);
            EXPECT_EQ(key, catalogue[i].Key);
            EXPECT_EQ(value, english ? catalogue[i].English : catalogue[i].Portuguese);
            EXPECT_FALSE(value.empty()) << key;
            EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos) << key;
            // Every byte is a character of the code page: converting to UTF-8
            // and back gives the same bytes.
            EXPECT_EQ(platform::Utf8ToCp1252(platform::Cp1252ToUtf8(value)), value) << key;
        }
        for (size_t i = catalogue.size() + 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], "") << "only blank lines follow the entries";
    }
}

TEST(BuiltInTexts, ExactBytesOfAccentedAndQuotedTexts) {
    struct Case {
        const char* key;
        std::string english;
        std::string portuguese;
    };
    const Case cases[] = {
        {"Language.Caption", "English", "Portugu\xEAs"},
        {"Language.New", "< New Language >", "< Nova L\xEDngua >"},
        {"Translate.Caption", "Translation", "Tradu\xE7\xE3o"},
        {"MainForm.mnuOptions", "Options",
         "Op\xE7\xF5"
         "es"},
        {"MainForm.mnuShowSideBar", "Show \"Velomar\" as side bar",
         "Mostrar \"Velomar\" como barra lateral"},
        {"PrefForm.System.Desktop", "Desktop", "\xC1rea de trabalho"},
        {"JobForm.LastDir", "Last directory", "\xDAltimo diret\xF3rio"},
        {"AutoUpdate.PercentFormat", "%s of %s (%s bps)", "%s de %s (%s bps)"},
        {"NewsForm.Status", "Press <RETURN> or double-click an item.",
         "Tecle <ENTER> ou d\xEA um duplo-clique sobre o item."},
        {"DownloadLog.Error", "Error.", "Erro."},
        {"DownloadLog.Error.10060", "Error 10060: Connection timed out.",
         "Erro 10060: Tempo de conex\xE3o esgotado."},
    };
    TTextLangSource en(-2, BuiltInEnglishText()), pt(-1, BuiltInPortugueseText());
    for (const auto& c : cases) {
        EXPECT_EQ(en.GetText(c.key), c.english) << c.key;
        EXPECT_EQ(pt.GetText(c.key), c.portuguese) << c.key;
    }
    // The escapes stand for the letters meant.
    EXPECT_EQ(platform::Cp1252ToUtf8(pt.GetText("Language.Caption")), "Portugu\u00EAs");
    EXPECT_EQ(platform::Cp1252ToUtf8(pt.GetText("DownloadLog.Error.10065")),
              "Erro 10065: N\u00E3o h\u00E1 rota para o servidor. Confira o endere\u00E7o ou "
              "tente baixar de outro servidor.");
}

TEST(BuiltInTexts, StaticTextValuesAndTheirOrder) {
    auto lines = SplitLines(BuiltInStaticText());
    const std::pair<const char*, const char*> expected[] = {
        {"General.VersionID", "28"},
        {"General.DCenterVersionID", "28a"},
        {"General.MainForm.Caption", "Velomar BETA 1.0.28 - http://www.velomar.example/"},
        {"General.AutoUpdate.URL", "http://www.velomar.example/autoupdate/"},
        {"General.DownloadCenter.PingURL", "http://www.velomar.example/dcenter/ping.pl"},
        {"General.URL.mnuTopics", "http://www.velomar.example/help.htm"},
        {"General.URL.mnuEmailAuthors", "http://www.velomar.example/suggest.htm"},
        {"General.URL.mnuWhatsNew", "http://www.velomar.example/help.htm#new"},
        {"General.URL.mnuRecommendToFriend", "http://www.velomar.example/recommend.htm"},
        {"General.URL.mnuVelomarHome", "http://www.velomar.example/"},
        {"General.URL.mnuFrequentlyAskedQuestions", "http://www.velomar.example/faq.htm"},
        {"General.TermID", "2"},
        {"General.News.FileName", "VelomarEg.news"},
        {"Portugu\xEAs.MainForm.Caption", "Velomar BETA 1.0.28 - http://www.velomar-br.example/"},
        {"Portugu\xEAs.AutoUpdate.URL", "http://www.velomar-br.example/autoupdate/"},
        {"Portugu\xEAs.DownloadCenter.PingURL", "http://www.velomar-br.example/dcenter/ping.pl"},
        {"Portugu\xEAs.URL.mnuTopics", "http://www.velomar-br.example/ajuda.htm"},
        {"Portugu\xEAs.URL.mnuEmailAuthors", "http://www.velomar-br.example/sugestao.htm"},
        {"Portugu\xEAs.URL.mnuWhatsNew", "http://www.velomar-br.example/ajuda.htm#novo"},
        {"Portugu\xEAs.URL.mnuRecommendToFriend", "http://www.velomar-br.example/recomendar.htm"},
        {"Portugu\xEAs.URL.mnuVelomarHome", "http://www.velomar-br.example/"},
        {"Portugu\xEAs.URL.mnuFrequentlyAskedQuestions", "http://www.velomar-br.example/faq.htm"},
        {"Portugu\xEAs.TermID", "1"},
        {"Portugu\xEAs.News.FileName", "VelomarPt.news"},
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        auto [key, value] = Entry(lines[i]);
        EXPECT_EQ(key, expected[i].first);
        EXPECT_EQ(value, expected[i].second) << key;
    }
}

TEST(BuiltInTexts, StaticTextCanPointTheServiceAtOtherSites) {
    std::string text = BuiltInStaticText({"http://127.0.0.1:8081", "http://127.0.0.1:8082"});
    EXPECT_EQ(text.find(".example"), std::string::npos);
    TTextLangSource s(0, text);
    EXPECT_EQ(s.GetText("General.AutoUpdate.URL"), "http://127.0.0.1:8081/autoupdate/");
    EXPECT_EQ(s.GetText("Portugu\xEAs.DownloadCenter.PingURL"),
              "http://127.0.0.1:8082/dcenter/ping.pl");
    EXPECT_EQ(s.GetText("General.VersionID"), "28");
}

} // namespace
