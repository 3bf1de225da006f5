// A whole save of a framed page: the lister from the browser's objects, the
// page and its frames saved, downloads stored as the download window stores
// them, then every stored page relinked.
#include "ListerUnit.h"
#include "ToolsUnit.h"
#include "platform/Cp1252.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <set>
#include <sstream>

using namespace kestrio;

namespace {

std::string ReadAll(const std::string& cp1252Path) {
    std::ifstream in(platform::Cp1252ToUtf8(cp1252Path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What the download window does with a fetched body.
void Store(const std::string& body) {
    std::ofstream(
        platform::Cp1252ToUtf8(DestDir + Lister->CurrentLocalName() + Lister->TmpSuffix()),
        std::ios::binary)
        << body;
    Lister->SetCurrentState(lsDownloaded);
    Lister->ScanDownloadedPage();
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

TEST(Capture, FramedPageIsSavedAndRelinked) {
    Options = TOptions{};
    Options.General.ShowPictures = true;
    Options.Advanced.NotExtPic = true;
    Options.Advanced.Extensions = "zip exe";
    Options.Advanced.DoWithExtensions = 1;
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());

    // What the save dialog sets up.
    BrowserWindow = platform::LoadBrowserSnapshotFile(QString(VK_SOURCE_DIR) +
                                                      "/kestrio/capture/testdata/framed_page.json");
    const platform::DomValue top = BrowserWindow.Get("parent").Get("document");
    BaseURL = top.Get("Url").ToString();
    PageTitle = top.Get("Title").ToString();
    const std::string folder = TitleToFolderName(PageTitle);
    EXPECT_EQ(folder, "Caf\xE9 news");
    DestDir = platform::QStringToCp1252(root.path()) + "/" + folder + "/";
    ASSERT_TRUE(QDir().mkpath(platform::Cp1252ToQString(DestDir)));
    ASSERT_EQ(QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{QString::fromUtf8("Caf\xC3\xA9 news")});
    Lister = std::make_unique<TLister>(BrowserWindow);
    Lister->AddLink("http://h/d/a.htm#part", "A");
    Lister->AddLink("http://h/files/tool.zip", "Tool");
    Lister->AddLink("http://h/d/b.htm", "B");
    Lister->AddLink("http://h/d/c.htm", "C");
    for (int32_t i = 0; i < Lister->Count(); ++i)
        if (Lister->StateAt(i) == lsToBrowser) Lister->SetStateAt(i, lsHandedToBrowser);

    // The first request is under way while the browser's documents are saved.
    ASSERT_TRUE(Lister->First());
    EXPECT_EQ(Lister->CurrentURL(), "http://other/ad.htm"); // the refused frame
    Lister->SaveDocuments();
    std::vector<std::string> sheets;
    for (const TListerItem& s : Lister->Stylesheets)
        sheets.push_back(s.URL);
    EXPECT_EQ(sheets, (std::vector<std::string>{"http://h/d/style.css", "http://h/d/menu.css"}));

    Store("<HTML><BODY><A href='http://h/d/a.htm'>A</A><IMG src=banner.gif></BODY></HTML>");
    ASSERT_TRUE(Lister->Next());
    EXPECT_EQ(Lister->CurrentURL(), "http://h/d/a.htm");
    Store("<a href=p.htm>home</a> <a href=\"b.htm#s\">b</a> <img src=\"pics/x.gif\">");
    ASSERT_TRUE(Lister->Next());
    EXPECT_EQ(Lister->CurrentURL(), "http://h/d/b.htm");
    Lister->RenameCurrent("http://h/d/b2.php"); // a redirect
    Lister->AddHtmSuffix();
    Store("<a href=c.htm>c</a>");
    ASSERT_TRUE(Lister->Next());
    EXPECT_EQ(Lister->CurrentURL(), "http://h/d/c.htm");
    Lister->SetCurrentState(lsSkipped);

    std::vector<std::string> pictures;
    while (Lister->Next()) {
        if (Lister->Phase == phPictures) pictures.push_back(Lister->CurrentURL());
        if (Lister->CurrentURL() == "http://h/d/m.gif#x")
            Lister->SetCurrentState(lsSkipped);
        else
            Store("body of " + Lister->CurrentURL());
    }
    // Pictures of other sites were left out; the one found in a.htm joined.
    EXPECT_EQ(pictures, (std::vector<std::string>{"http://h/d/logo.gif", "http://h/d/m.gif#x",
                                                  "http://h/d/pics/x.gif"}));

    Lister->ResetRelink();
    std::vector<std::string> relinked;
    while (Lister->RelinkNext())
        relinked.push_back(Lister->CurrentLocalName());
    EXPECT_EQ(relinked,
              (std::vector<std::string>{"INDEX.HTM", "menu.htm", "ad.htm", "a.htm", "b2.php.htm"}));

    std::set<std::string> files;
    for (const QString& f : QDir(platform::Cp1252ToQString(DestDir)).entryList(QDir::Files))
        files.insert(platform::QStringToCp1252(f));
    EXPECT_EQ(files,
              (std::set<std::string>{"INDEX.HTM", "menu.htm", "ad.htm", "a.htm", "b2.php.htm",
                                     "logo.gif", "x.gif", "style.css", "menu.css"}));

    std::string index = top.Get("all").Call("Item", {1, 0}).Get("outerHTML").ToString();
    // Values whose local name reads as written (style.css, menu.htm, a.htm#part,
    // logo.gif) come back the same; these change.
    index = Replace(index, "src=\"http://other/ad.htm\"", "src=\"ad.htm\"");
    index = Replace(index, "href=\"http://h/files/tool.zip\"",
                    "href=\"javascript: alert('http://h/files/tool.zip\\n\\nThis file was not "
                    "downloaded with Kestrio but your default download manager.')\"");
    index = Replace(index, "href=http://h/d/b.htm>", "href=\"b2.php.htm\">");
    EXPECT_EQ(ReadAll(DestDir + "INDEX.HTM"), index);
    EXPECT_NE(index.find("Caf\xE9"), std::string::npos); // written in the page's code page

    EXPECT_EQ(ReadAll(DestDir + "menu.htm"),
              "<HTML><HEAD><LINK href=\"menu.css\" rel=stylesheet></HEAD><BODY>"
              "<A href=\"a.htm\">A</A> <A href=\"c.htm\" target=main>C</A> <IMG src=\"m.gif#x\"> "
              "<IMG src=\"logo.gif\"></BODY></HTML>");
    EXPECT_EQ(ReadAll(DestDir + "ad.htm"),
              "<HTML><BODY><A href=\"a.htm\">A</A><IMG src=banner.gif></BODY></HTML>");
    EXPECT_EQ(ReadAll(DestDir + "a.htm"),
              "<a href=\"INDEX.HTM\">home</a> <a href=\"b2.php.htm#s\">b</a> <img src=\"x.gif\">");
    EXPECT_EQ(ReadAll(DestDir + "b2.php.htm"), "<a href=c.htm>c</a>");
    EXPECT_EQ(ReadAll(DestDir + "logo.gif"), "body of http://h/d/logo.gif");

    Lister.reset();
    BrowserWindow = platform::DomValue();
    Options = TOptions{};
}

} // namespace
