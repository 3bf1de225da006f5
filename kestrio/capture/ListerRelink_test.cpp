#include "InOutError.h"
#include "ListerUnit.h"
#include "ToolsUnit.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace kestrio;
using platform::DomValue;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& body) {
    std::ofstream(path, std::ios::binary) << body;
}

DomValue Snapshot(const std::string& json) {
    return platform::LoadBrowserSnapshot(QByteArray::fromStdString(json));
}

DomValue PlainPage() {
    return Snapshot(R"({"version": 1, "window": {"url": "http://h/d/p.htm"}})");
}

class RelinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        Options = TOptions{};
        ASSERT_TRUE(dir_.isValid());
        DestDir = dir_.path().toStdString() + "/";
    }
    void TearDown() override {
        Options = TOptions{};
        BrowserWindow = DomValue();
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(DestDir + name); }

    // Relinks item 0 holding the given HTML and returns the result.
    std::string RelinkIndex(TLister& l, const std::string& html) {
        WriteAll(DestDir + "INDEX.HTM.tmp", html);
        l.PageCursor = 0;
        l.Phase = phPages;
        l.RelinkPage();
        EXPECT_FALSE(Exists("INDEX.HTM.tmp"));
        return ReadAll(DestDir + "INDEX.HTM");
    }

    QTemporaryDir dir_;
};

TEST(SameURL, ComparesWithoutFragmentAndFinalSlash) {
    struct Case {
        const char *entry, *ref;
        bool same;
    } cases[] = {
        {"http://h/d/p.htm", "http://h/d/p.htm#top", true},
        {"http://h/d/", "http://h/d", true},
        {"http://h/d/", "http://h/d#x", true},
        {"http://h/d", "http://h/d/", false},
        {"http://h/d/", "http://h/d/", true},
        {"http://h/D/", "http://h/d/", false},
        {"", "", false},
        {"/", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TLister::SameURL(c.entry, c.ref), c.same) << c.entry << " vs " << c.ref;
}

TEST_F(RelinkTest, AnchorsFramesPicturesAndStylesheetsPointAtLocalCopies) {
    TLister l(PlainPage());
    l.AddLink("http://h/d/", "dir");         // f0
    l.AddLink("http://h/d/got.htm", "");     // 4
    l.AddLink("http://h/d/skipped.htm", ""); // 6
    l.AddLink("http://h/d/later.htm", "");   // 1: the user stopped
    l.AddLink("http://h/d/setup.exe", "");   // 5
    l.AddLink("http://h/d/huge.zip", "");    // 3
    l.AddLink("http://h/d/side.htm", "");    // 2
    l.AddPicture("http://h/d/p.gif");
    l.AddPicture("http://h/d/q.gif");
    l.AddStylesheet("http://h/s.css");
    const uint8_t states[] = {lsLocal,  lsLocal,           lsDownloaded, lsSkipped,
                              lsWanted, lsHandedToBrowser, lsNotWanted,  lsToBrowser};
    for (size_t i = 0; i < l.Pages.size(); ++i)
        l.Pages[i].State = states[i];
    l.Pictures[0].State = lsDownloaded;
    l.Stylesheets[0].State = lsDownloaded;

    const std::string alert =
        "\"javascript: alert('http://h/d/setup.exe\\n\\nThis file was not downloaded with Kestrio "
        "but your default download manager.')\"";
    const std::string confirm =
        "\"javascript:if (confirm('http://h/d/huge.zip\\n\\nThis file was not downloaded with "
        "Kestrio.\\n\\nDo you want to open it from the server?'))"
        "window.location='http://h/d/huge.zip'\"";
    struct Case {
        std::string html, relinked;
    } cases[] = {
        {"<a href=\"http://h/d/p.htm#top\">", "<a href=\"INDEX.HTM#top\">"},
        {"<a href='#top'>", "<a href=\"f0#top\">"}, // resolves to http://h/d/#top
        {"<a href=\"http://h/d\">", "<a href=\"f0\">"},
        {"<a href=got.htm>", "<a href=\"got.htm\">"},
        {"<A HREF=../d/got.htm#s>", "<A HREF=\"got.htm#s\">"},
        {"<a href=skipped.htm>", "<a href=skipped.htm>"},
        {"<a href=later.htm>", "<a href=later.htm>"},
        {"<a href=setup.exe>", "<a href=" + alert + ">"},
        {"<a href='huge.zip'>", "<a href=" + confirm + ">"},
        {"<a href=side.htm>", "<a href=\"javascript: alert('http://h/d/side.htm\\n\\nThis file "
                              "was not downloaded with Kestrio but your default download "
                              "manager.')\">"},
        {"<frame src=side.htm>", "<frame src=\"side.htm\">"},     // a frame always gets the file
        {"<a href=other.htm>", "<a href=other.htm>"},             // not chosen
        {"<a href=got.htm title=x>", "<a href=got.htm title=x>"}, // the space stays, no match
        {"<a href=got.htm\ntitle=x>", "<a href=\"got.htm\"title=x>"},
        {"<img src=p.gif>", "<img src=\"p.gif\">"},
        {"<img src=p.gif#a>", "<img src=p.gif#a>"},
        {"<img src=q.gif>", "<img src=q.gif>"}, // listed but not stored
        {"<link rel=stylesheet href=\"../s.css\">", "<link rel=stylesheet href=\"s.css\">"},
        {"<link href=\"../s.css#x\">", "<link href=\"../s.css#x\">"}, // compared as written
        {"<script><a href=got.htm></script>", "<script><a href=got.htm></script>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RelinkIndex(l, c.html), c.relinked) << c.html;

    // A page without links comes out byte for byte, NUL and high bytes included.
    const std::string plain("<p>plain \0\xE9\xFF</p>", 16);
    EXPECT_EQ(RelinkIndex(l, plain), plain);
}

TEST_F(RelinkTest, ScriptTextsDoNotBreakOnQuotesInTheAddress) {
    Options.Advanced.DoWithExtensions = 1;
    Options.Advanced.Extensions = "zip";
    TLister l(PlainPage());
    l.AddLink("http://h/d/o'neil\".zip", "");
    EXPECT_EQ(RelinkIndex(l, "<a href='o&#39;x'><a href=\"http://h/d/o'neil\"\".zip\">"),
              "<a href='o&#39;x'><a href=\"http://h/d/o'neil\"\".zip\">");
    EXPECT_EQ(RelinkIndex(l, "<a href=http://h/d/o'neil\".zip>"),
              "<a href=\"javascript: alert('http://h/d/o\\'neil&quot;.zip\\n\\nThis file was not "
              "downloaded with Kestrio but your default download manager.')\">");

    // The browser turns entities and percent escapes back into quotes before
    // it reads the script: both stay escaped, the address shows as it is.
    TLister n(PlainPage());
    Options.Advanced.DoWithExtensions = 2;
    n.AddLink("http://h/d/x%27);alert(1);//&apos;.zip", "");
    EXPECT_EQ(RelinkIndex(n, "<a href=x%27);alert(1);//&apos;.zip>"),
              "<a href=\"javascript:if (confirm('http://h/d/x%2527);alert(1);//&amp;apos;.zip"
              "\\n\\nThis file was not downloaded with Kestrio.\\n\\nDo you want to open it from "
              "the server?'))window.location='http://h/d/x%2527);alert(1);//&amp;apos;.zip'\">");
}

TEST_F(RelinkTest, RelinkWalkStopsAtAMissingPage) {
    TLister l(PlainPage());
    l.AddLink("http://h/d/a.htm", "");
    l.AddLink("http://h/d/b.htm", "");
    l.AddLink("http://h/d/c.htm", "");
    l.Pages[1].State = lsDownloaded;
    l.Pages[2].State = lsDownloaded; // its .tmp is missing
    l.Pages[3].State = lsDownloaded;
    WriteAll(DestDir + "INDEX.HTM.tmp", "<a href=a.htm>");
    WriteAll(DestDir + "a.htm.tmp", "<a href=b.htm>");
    WriteAll(DestDir + "c.htm.tmp", "c");
    l.ResetRelink();
    ASSERT_TRUE(l.RelinkNext());
    EXPECT_EQ(l.CurrentIndex(), 0);
    ASSERT_TRUE(l.RelinkNext());
    EXPECT_EQ(l.CurrentIndex(), 1);
    EXPECT_THROW(l.RelinkNext(), EInOutError);
    EXPECT_EQ(l.Pages[0].State, lsRelinked);
    EXPECT_EQ(l.Pages[1].State, lsRelinked);
    EXPECT_EQ(l.Pages[2].State, lsDownloaded);
    EXPECT_EQ(ReadAll(DestDir + "INDEX.HTM"), "<a href=\"a.htm\">");
    EXPECT_EQ(ReadAll(DestDir + "a.htm"), "<a href=\"b.htm\">");
    EXPECT_TRUE(Exists("c.htm.tmp"));
    EXPECT_FALSE(Exists("c.htm"));

    // Every file is created anew; one that cannot be created is an error.
    WriteAll(DestDir + "INDEX.HTM", "old old old old old");
    l.ResetRelink();
    l.Pages[0].State = lsLocal;
    WriteAll(DestDir + "INDEX.HTM.tmp", "new");
    ASSERT_TRUE(l.RelinkNext());
    EXPECT_EQ(ReadAll(DestDir + "INDEX.HTM"), "new");
    DestDir += "no-such-folder/";
    BrowserWindow = PlainPage();
    EXPECT_THROW(l.SaveDocuments(), EInOutError);
}

TEST_F(RelinkTest, SaveDocumentsTakesTheHTMLElementOrTheRootElement) {
    struct Case {
        const char* all;
        const char* saved;
    } cases[] = {
        {R"([{"tagName": "!", "outerHTML": "<!DOCTYPE>"},
             {"tagName": "HTML", "outerHTML": "<HTML>h</HTML>"},
             {"tagName": "BODY", "outerHTML": "<BODY>h</BODY>"}])",
         "<HTML>h</HTML>"},
        {R"([{"tagName": "!", "outerHTML": "<!-- c -->"},
             {"tagName": "html", "outerHTML": "<html>x</html>"}])",
         "<html>x</html>"},
        {R"([{"tagName": "svg", "outerHTML": "<svg/>"}])", "<svg/>"},
        {R"([{"tagName": "!", "outerHTML": "<!-- only -->"}])", ""},
        {R"([])", ""},
    };
    for (const Case& c : cases) {
        BrowserWindow = Snapshot(std::string(R"({"version": 1, "window": {"url": "http://h/",
            "document": {"all": )") +
                                 c.all + "}}}");
        BaseURL = "http://h/";
        TLister l(BrowserWindow);
        l.SaveDocuments();
        EXPECT_EQ(ReadAll(DestDir + "INDEX.HTM.tmp"), c.saved) << c.all;
        l.ResetRelink();
        ASSERT_TRUE(l.RelinkNext());
        EXPECT_EQ(ReadAll(DestDir + "INDEX.HTM"), c.saved);
    }
}

} // namespace
