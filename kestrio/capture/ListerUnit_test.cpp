#include "InOutError.h"
#include "ListerUnit.h"
#include "ToolsUnit.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

using namespace kestrio;
using platform::DomValue;

namespace {

// A top window at the given address with no frames, links or pictures.
DomValue PlainPage(const std::string& url = "http://h/d/p.htm") {
    return platform::LoadBrowserSnapshot(QByteArray::fromStdString(
        R"({"version": 1, "window": {"url": ")" + url + R"(", "document": {"title": "T"}}})"));
}

class ListerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Options = TOptions{};
        Options.Advanced.KeyWords = "banner advertising";
        Options.Advanced.Extensions = "zip exe rar mp3 arj";
        ASSERT_TRUE(dir_.isValid());
        DestDir = dir_.path().toStdString() + "/";
    }
    void TearDown() override { Options = TOptions{}; }

    QTemporaryDir dir_;
};

TEST_F(ListerTest, LocalNamesAreUniqueAndMadeUp) {
    TLister l(PlainPage());
    l.AddLink("http://h/d/", "");
    l.AddPicture("http://h/a/Logo.GIF");
    l.AddPicture("http://h/b/logo.gif");
    l.AddLink("http://h/x/index.htm", "");
    ASSERT_EQ(l.Pages.size(), 3u);
    ASSERT_EQ(l.Pictures.size(), 2u);
    EXPECT_EQ(l.Pages[0].LocalName, "INDEX.HTM");
    EXPECT_EQ(l.Pages[1].LocalName, "f0");
    EXPECT_EQ(l.Pictures[0].LocalName, "logo.gif");
    EXPECT_EQ(l.Pictures[1].LocalName, "1logo.gif");
    EXPECT_EQ(l.Pages[2].LocalName, "2index.htm");

    struct Case {
        const char *name, *local;
    } cases[] = {
        {"?p=2", "f3"},
        {" \t Name.HTM \n", "name.htm"},
        {"Caf\xE9%20&x=1.htm", "caf__20_x_1.htm"},
        {"a b-c_d.e?x=1", "a b-c_d.e"},
        {"LOGO.gif", "4logo.gif"},   // collides without regard to case
        {"1logo.gif", "51logo.gif"}, // a made-up prefix can collide too
    };
    for (const Case& c : cases) {
        std::string local = l.MakeLocalName(c.name);
        EXPECT_EQ(local, c.local) << c.name;
        l.Stylesheets.push_back({"x", "", local, lsWanted});
    }
}

TEST_F(ListerTest, LinksAreFilteredAndMarkedByExtension) {
    Options.Advanced.DoWithExtensions = 1;
    Options.Advanced.Extensions = "zip  EXE .rar";
    TLister l(PlainPage());
    EXPECT_EQ(l.Extensions, (std::vector<std::string>{"zip", "exe", ".rar"}));
    l.AddLink("http://h/a.htm#one", "A");
    l.AddLink("http://h/a.htm#two", "again");    // same page
    l.AddLink("http://h/d/p.htm#top", "itself"); // item 0
    l.AddLink("MAILTO:me@h", "mail");
    l.AddLink("http://h/x?to=mailto:me", "mail");
    l.AddLink("http://h/get.php?f=a.zip", "");
    l.AddLink("http://h/a.ZIP", "");
    l.AddLink("http://h/setup.exe#x", "");
    l.AddLink("http://h/b.rar", ""); // ".rar" never matches
    struct Expect {
        const char* url;
        uint8_t state;
    } expected[] = {{"http://h/d/p.htm", lsLocal},
                    {"http://h/a.htm", lsWanted},
                    {"http://h/get.php?f=a.zip", lsToBrowser},
                    {"http://h/a.ZIP", lsToBrowser},
                    {"http://h/setup.exe", lsToBrowser},
                    {"http://h/b.rar", lsWanted}};
    ASSERT_EQ(l.Pages.size(), std::size(expected));
    for (size_t i = 0; i < l.Pages.size(); ++i) {
        EXPECT_EQ(l.Pages[i].URL, expected[i].url);
        EXPECT_EQ(l.Pages[i].State, expected[i].state) << expected[i].url;
    }
    EXPECT_EQ(l.Pages[1].Text, "A");

    Options.Advanced.DoWithExtensions = 2;
    l.AddLink("http://h/c.zip", "");
    EXPECT_EQ(l.Pages.back().State, lsNotWanted);
}

TEST_F(ListerTest, PictureFilters) {
    struct Case {
        const char* page;
        bool notExt, notKey;
        const char* picture;
        bool kept;
    } cases[] = {
        {"http://h/", true, false, "http://h/img/x.gif", true},
        {"http://h/", true, false, "http://other/x.gif", false},
        {"http://h/", true, false, "HTTP://H/img/x.gif", true},  // the picture is lower-cased
        {"http://H/", true, false, "http://H/img/x.gif", false}, // the page is not
        {"http://h/", false, true, "http://h/Banners/top.gif", false},
        {"http://h/", false, true, "http://h/ADVERTISING.gif", false},
        {"http://h/", false, true, "http://h/ban.gif", true},
        {"http://h/", false, false, "http://other/banner.gif", true},
        {"http://h/", false, false, "mailto:x@h", true}, // pictures are not tested for it
    };
    for (const Case& c : cases) {
        Options.Advanced.NotExtPic = c.notExt;
        Options.Advanced.NotKeyPic = c.notKey;
        TLister l(PlainPage(c.page));
        l.AddPicture(c.picture);
        EXPECT_EQ(l.Pictures.size(), c.kept ? 1u : 0u) << c.page << " " << c.picture;
    }

    TLister l(PlainPage());
    l.AddPicture("http://h/p.gif#a");
    l.AddPicture("http://h/p.gif#a");
    l.AddPicture("http://h/p.gif");
    ASSERT_EQ(l.Pictures.size(), 2u);
    EXPECT_EQ(l.Pictures[0].URL, "http://h/p.gif#a"); // a picture keeps its fragment

    l.AddStylesheet("http://h/s.css#x");
    l.AddStylesheet("http://h/s.css");
    l.AddStylesheet("mailto:x@h");
    ASSERT_EQ(l.Stylesheets.size(), 1u);
    EXPECT_EQ(l.Stylesheets[0].URL, "http://h/s.css");
}

// The walk as the download window drives it: each wanted entry is made
// current, then the caller stores it and moves on.
std::vector<std::string> Walk(TLister& l) {
    std::vector<std::string> seen;
    for (bool more = l.First(); more; more = l.Next()) {
        seen.push_back(std::to_string(l.Phase) + ":" + l.CurrentURL());
        l.SetCurrentState(lsDownloaded);
        if (seen.size() > 100) break;
    }
    return seen;
}

TEST_F(ListerTest, WalkGoesThroughPagesPicturesAndStylesheets) {
    using S = std::vector<std::string>;
    for (bool pictures : {false, true}) {
        Options.General.ShowPictures = pictures;
        TLister l(PlainPage());
        l.AddLink("http://h/a.htm", "");
        l.AddLink("http://h/b.htm", "");
        l.Pages[1].State = lsSkipped;
        l.AddPicture("http://h/p.gif");
        l.AddStylesheet("http://h/s.css");
        l.AddStylesheet("http://h/t.css");
        l.Stylesheets[0].State = lsNotWanted;
        S expected = pictures ? S{"0:http://h/b.htm", "1:http://h/p.gif", "2:http://h/t.css"}
                              : S{"0:http://h/b.htm", "2:http://h/t.css"};
        EXPECT_EQ(Walk(l), expected);
        EXPECT_FALSE(l.Next());
        EXPECT_EQ(l.Phase, phStylesheets);
        EXPECT_EQ(l.CurrentIndex(), 1);
    }

    // Nothing wanted among the pages, pictures off: straight to the stylesheets.
    Options.General.ShowPictures = false;
    TLister l(PlainPage());
    l.AddPicture("http://h/p.gif");
    l.AddStylesheet("http://h/s.css");
    EXPECT_TRUE(l.First());
    EXPECT_EQ(l.PhaseCaption(), "Save stylesheets");
    EXPECT_EQ(l.TmpSuffix(), "");

    // Pictures on but none listed: Next after the last page reaches the stylesheet.
    Options.General.ShowPictures = true;
    TLister m(PlainPage());
    m.AddLink("http://h/a.htm", "");
    m.AddStylesheet("http://h/s.css");
    ASSERT_TRUE(m.First());
    EXPECT_EQ(m.PhaseCaption(), "Save Web Pages");
    EXPECT_EQ(m.TmpSuffix(), ".tmp");
    m.SetCurrentState(lsDownloaded);
    ASSERT_TRUE(m.Next());
    EXPECT_EQ(m.CurrentURL(), "http://h/s.css");

    // Nothing to fetch at all.
    TLister n(PlainPage());
    EXPECT_FALSE(n.First());
    EXPECT_EQ(n.Count(), 1);
    EXPECT_THROW(n.StateAt(1), std::out_of_range);
}

TEST_F(ListerTest, RenameAndSuffixAfterTheFetch) {
    Options.Advanced.DoWithExtensions = 2;
    TLister l(PlainPage());
    l.AddLink("http://h/a", "");
    l.AddLink("http://h/go?id=3", "");
    ASSERT_TRUE(l.First());
    EXPECT_EQ(l.CurrentLocalName(), "a");
    l.AddHtmSuffix();
    EXPECT_EQ(l.CurrentLocalName(), "a.htm");
    l.AddHtmSuffix(); // the entry's own old name takes part in the collision walk
    EXPECT_EQ(l.CurrentLocalName(), "a.htm.htm");
    l.SetCurrentState(lsDownloaded);

    ASSERT_TRUE(l.Next());
    l.RenameCurrent("http://cdn/files/Setup.ZIP");
    EXPECT_EQ(l.CurrentLocalName(), "setup.zip");
    EXPECT_EQ(l.CurrentURL(), "http://h/go?id=3");
    EXPECT_EQ(l.CurrentState(), lsNotWanted);

    l.Phase = phPictures; // outside the pages nothing gets a suffix
    l.AddPicture("http://h/p.gif");
    l.AddHtmSuffix();
    EXPECT_EQ(l.Pictures[0].LocalName, "p.gif");
}

TEST_F(ListerTest, ScanDownloadedPageListsItsPicturesAndStylesheets) {
    TLister l(PlainPage());
    l.AddLink("http://h/d/sub/page.htm", "");
    ASSERT_TRUE(l.First());
    std::ofstream(DestDir + l.CurrentLocalName() + ".tmp")
        << "<link rel=stylesheet href=\"../s.css#x\"><img src='p.gif'>\n"
           "<a href=x.htm>x</a><IMG SRC=/top.gif><frame src=f.htm>";
    l.ScanDownloadedPage();
    ASSERT_EQ(l.Stylesheets.size(), 1u);
    EXPECT_EQ(l.Stylesheets[0].URL, "http://h/d/s.css");
    ASSERT_EQ(l.Pictures.size(), 2u);
    EXPECT_EQ(l.Pictures[0].URL, "http://h/d/sub/p.gif");
    EXPECT_EQ(l.Pictures[1].URL, "http://h/top.gif");
    EXPECT_EQ(l.Pages.size(), 2u);

    l.Phase = phPictures;
    l.ScanDownloadedPage(); // only pages are scanned

    l.Phase = phPages;
    l.SetCurrentState(lsDownloaded);
    l.AddLink("http://h/never-stored.htm", "");
    ASSERT_TRUE(l.Next());
    EXPECT_THROW(l.ScanDownloadedPage(), EInOutError);
}

TEST_F(ListerTest, ConstructorListsPageFramesAndPictures) {
    Options.Advanced.KeyWords = "Banner  ADS";
    const DomValue w = platform::LoadBrowserSnapshotFile(
        QString(VK_SOURCE_DIR) + "/kestrio/capture/testdata/framed_page.json");
    TLister l(w);
    EXPECT_EQ(l.Keywords, (std::vector<std::string>{"banner", "ads"}));
    EXPECT_EQ(l.PageURL, "http://h/d/p.htm");
    ASSERT_EQ(l.Pages.size(), 3u);
    EXPECT_EQ(l.Pages[0].Text, "Caf\xE9 news");
    EXPECT_EQ(l.Pages[1].URL, "http://h/d/menu.htm");
    EXPECT_EQ(l.Pages[1].Text, "Menu");
    EXPECT_EQ(l.Pages[1].LocalName, "menu.htm");
    EXPECT_EQ(l.Pages[1].State, lsLocal);
    // The frame of another site cannot be read: it is fetched instead.
    EXPECT_EQ(l.Pages[2].URL, "http://other/ad.htm");
    EXPECT_EQ(l.Pages[2].Text, "");
    EXPECT_EQ(l.Pages[2].State, lsWanted);
    std::vector<std::string> pictures;
    for (const TListerItem& p : l.Pictures)
        pictures.push_back(p.URL);
    EXPECT_EQ(pictures, (std::vector<std::string>{"http://h/d/logo.gif", "http://other/ad.gif",
                                                  "http://h/d/m.gif#x"}));

    // A page the browser refuses as a whole is an error for the caller.
    const DomValue refused = platform::LoadBrowserSnapshot(
        R"({"version": 1, "window": {"url": "http://o/", "accessDenied": true}})");
    EXPECT_THROW(TLister{refused}, platform::DomError);
}

} // namespace
