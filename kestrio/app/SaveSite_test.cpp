// Whole saves against nginx serving a small site of the test's own: the page
// from its address, the chosen links, pictures, stylesheet, frames, an
// archive, a protected page, a redirect and a missing page.
#include "kestrio/app/DownloadWalk.h"
#include "kestrio/app/StartDialog.h"
#include "kestrio/app/StoredOptions.h"
#include "kestrio/app/TerminalSave.h"
#include "kestrio/capture/ListerUnit.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/NginxServer.h"
#include "platform/testing/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>
#include <sstream>

namespace kestrio {
namespace {

using platform::testing::NginxOptions;
using platform::testing::NginxServer;
using platform::testing::ReadFile;
using platform::testing::TempDir;
using platform::testing::WriteFile;

void GuiApp() {
    static int argc = 1;
    static char name[] = "kestrio_app_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QApplication(argc, argv);
}

void BuildSite(const std::string& root) {
    WriteFile(root + "/index.htm",
              "<html><head><title>My Site: 5/9 (Notes)</title>"
              "<link rel=stylesheet href=\"style.css\"></head><body>"
              "<img src=\"pics/logo.gif\">"
              "<a href=\"a.htm\">Page A</a> <a href=\"b.htm#top\">Page B</a>"
              "<a href=\"files/get.zip\">Archive</a> <a href=\"private/secret.htm\">Secret</a>"
              "<a href=\"old.htm\">Moved</a> <a href=\"missing.htm\">Missing</a>"
              "<a href=\"mailto:me@kestrio.example\">Mail</a> <a href=\"plain.txt\">Notes</a>"
              "</body></html>");
    WriteFile(root + "/a.htm", "<html><body><img src='pics/a.gif'><a href=index.htm>home</a>"
                               "<a href=\"b.htm\">B</a></body></html>");
    WriteFile(root + "/b.htm", "<html><body>B<link rel=stylesheet href=\"b.css\"></body></html>");
    WriteFile(root + "/new/moved.htm", "<html><body>moved here</body></html>");
    WriteFile(root + "/private/secret.htm", "<html><body>secret</body></html>");
    WriteFile(root + "/files/get.zip", std::string("PK\x03\x04zipdata", 11));
    WriteFile(root + "/plain.txt", "just text");
    WriteFile(root + "/pics/logo.gif", "GIF89a-logo");
    WriteFile(root + "/pics/a.gif", "GIF89a-a");
    WriteFile(root + "/style.css", "body{color:red}");
    WriteFile(root + "/b.css", "p{}");
    WriteFile(root + "/frames.htm",
              "<html><head><title>Framed</title></head><frameset cols='50%,50%'>"
              "<frame src=\"left.htm\"><frame src=\"right.htm\"></frameset></html>");
    WriteFile(root + "/left.htm",
              "<html><head><title>Left</title></head><body><a href=\"right.htm\">R</a>"
              "<img src=pics/logo.gif></body></html>");
    WriteFile(root + "/right.htm", "<html><head><title>Right</title></head><body>R</body></html>");
}

NginxOptions SiteOptions() {
    NginxOptions o;
    o.basicAuth.push_back({"/private/", "Kestrio test", "ann", "pw"});
    o.redirects.push_back({"/old.htm", "/new/moved.htm"});
    o.slowRate = 1;
    return o;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(dir)).entryList(QDir::Files, QDir::Name))
        names.push_back(n.toStdString());
    return names;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SaveSiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuiApp();
        qputenv("REGISTRY_DIR", QByteArray::fromStdString(store_.Path()));
        qputenv("VELOMAR_PROGRAM_PATH", QByteArray::fromStdString(store_.File("kestrio")));
        Options = TOptions();
        BuildSite(server_.Root());
    }
    void TearDown() override { qunsetenv("REGISTRY_DIR"); }

    // Saves the site's page from its address, as `kestrio URL --save-to`.
    int Save(const std::string& page, TOptions stored, bool allLinks,
             std::string* output = nullptr) {
        EXPECT_TRUE(SaveOptions(stored));
        CommandLine cl;
        cl.Mode = StartMode::Terminal;
        cl.URL = server_.Url(page);
        cl.SaveTo = out_.Path();
        cl.AllLinks = allLinks;
        std::ostringstream out, err;
        const int rc = SaveFromTerminal(TerminalPage(cl), cl, out, err);
        if (output) *output = out.str() + err.str();
        return rc;
    }

    TempDir store_{"kesapp-store"};
    TempDir out_{"kesapp-out"};
    NginxServer server_{SiteOptions()};
};

TEST_F(SaveSiteTest, EveryChosenPagePictureAndStylesheetStoredAndRelinked) {
    TOptions o;
    o.General.ShowPictures = true;
    std::string log;
    ASSERT_EQ(Save("/index.htm", o, true, &log), 0) << log;
    const std::string d = out_.Path() + "/";
    EXPECT_EQ(FilesIn(out_.Path()),
              (std::vector<std::string>{"INDEX.HTM", "a.gif", "a.htm", "b.css", "b.htm", "get.zip",
                                        "logo.gif", "missing.htm", "moved.htm", "plain.txt.htm",
                                        "style.css"}))
        << log;
    const std::string index = ReadFile(d + "INDEX.HTM");
    EXPECT_TRUE(Has(index, "href=\"style.css\"")) << index;
    EXPECT_TRUE(Has(index, "src=\"logo.gif\""));
    EXPECT_TRUE(Has(index, "<a href=\"a.htm\">Page A"));
    EXPECT_TRUE(Has(index, "<a href=\"b.htm#top\">Page B"));
    EXPECT_TRUE(Has(index, "<a href=\"get.zip\">Archive"));
    EXPECT_TRUE(Has(index, "<a href=\"moved.htm\">Moved"));
    EXPECT_TRUE(Has(index, "<a href=\"plain.txt.htm\">Notes")) << "a text response is a page";
    EXPECT_TRUE(Has(index, "<a href=\"private/secret.htm\">Secret"))
        << "nobody gave credentials: the link stays";
    EXPECT_TRUE(Has(index, "mailto:me@kestrio.example"));
    // Downloaded pages are relinked too, one level deep for their pictures.
    const std::string a = ReadFile(d + "a.htm");
    EXPECT_TRUE(Has(a, "src=\"a.gif\"")) << a;
    EXPECT_TRUE(Has(a, "href=\"INDEX.HTM\"")) << a;
    EXPECT_EQ(ReadFile(d + "get.zip"), std::string("PK\x03\x04zipdata", 11));
    EXPECT_EQ(ReadFile(d + "missing.htm").find("404") != std::string::npos, true);
}

TEST_F(SaveSiteTest, ExtensionRuleAndPictureOptions) {
    const std::string alert = "javascript: alert('" + server_.Url("/files/get.zip") +
                              "\\n\\nThis file was not downloaded with Kestrio but your default "
                              "download manager.')";
    const std::string confirm = "javascript:if (confirm('" + server_.Url("/files/get.zip") +
                                "\\n\\nThis file was not downloaded with Kestrio.\\n\\nDo you "
                                "want to open it from the server?'))window.location='" +
                                server_.Url("/files/get.zip") + "'";
    const struct {
        int doWith;
        bool pictures;
        std::string zipHref;
        bool zipStored;
    } cases[] = {
        {0, false, "get.zip", true},
        {1, true, alert, false},
        {2, false, confirm, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.doWith);
        QDir(QString::fromStdString(out_.Path())).removeRecursively();
        QDir().mkpath(QString::fromStdString(out_.Path()));
        TOptions o;
        o.General.ShowPictures = c.pictures;
        o.Advanced.DoWithExtensions = c.doWith;
        o.Advanced.Extensions = "zip exe";
        std::string log;
        ASSERT_EQ(Save("/index.htm", o, true, &log), 0) << log;
        const std::vector<std::string> files = FilesIn(out_.Path());
        auto stored = [&](const char* n) {
            return std::find(files.begin(), files.end(), n) != files.end();
        };
        EXPECT_EQ(stored("get.zip"), c.zipStored);
        EXPECT_EQ(stored("logo.gif"), c.pictures);
        EXPECT_EQ(stored("a.gif"), c.pictures);
        EXPECT_TRUE(stored("style.css")) << "stylesheets come whatever the picture option";
        for (const std::string& f : files)
            EXPECT_FALSE(Has(f, ".tmp")) << f;
        const std::string index = ReadFile(out_.File("INDEX.HTM"));
        EXPECT_TRUE(Has(index, "<a href=\"" + c.zipHref + "\">Archive")) << index;
        EXPECT_EQ(Has(index, "src=\"logo.gif\""), c.pictures);
        EXPECT_EQ(Has(log, "for the browser's download handling"), c.doWith == 1) << log;
    }
}

TEST_F(SaveSiteTest, FramesetPageSavesItsFramesAndTheSubFolderFromTheTitle) {
    TOptions o;
    o.General.CreateSubFolder = true;
    o.General.ShowPictures = true;
    std::string log;
    ASSERT_EQ(Save("/frames.htm", o, false, &log), 0) << log;
    const std::string d = out_.Path() + "/Framed/";
    EXPECT_EQ(FilesIn(d),
              (std::vector<std::string>{"INDEX.HTM", "left.htm", "logo.gif", "right.htm"}))
        << log;
    const std::string index = ReadFile(d + "INDEX.HTM");
    EXPECT_TRUE(Has(index, "<frame src=\"left.htm\">")) << index;
    EXPECT_TRUE(Has(index, "<frame src=\"right.htm\">"));
    EXPECT_TRUE(Has(ReadFile(d + "left.htm"), "<a href=\"right.htm\">"));
}

// The walk driven by hand, as the window's buttons do.
class WalkTest : public SaveSiteTest {
protected:
    // Prepares the save of index.htm with the given links ticked.
    void Prepare(const std::vector<std::string>& texts) {
        WriteFile(server_.Root() + "/slow/never.htm", std::string(4096, 'x'));
        WriteFile(server_.Root() + "/walk.htm",
                  "<html><head><title>Walk</title></head><body>"
                  "<a href=a.htm>One</a><a href=b.htm>Two</a><a href=slow/never.htm>Slow</a>"
                  "<a href=new/moved.htm>Four</a>"
                  "<a href=private/secret.htm>Secret</a></body></html>");
        CommandLine cl;
        cl.URL = server_.Url("/walk.htm");
        std::string sel;
        for (const std::string& t : texts)
            sel += t + " ";
        cl.Select = sel;
        dialog_.CheckVersion = false;
        dialog_.LoadPage(TerminalPage(cl));
        dialog_.edFolder = out_.Path();
    }
    // Runs "&Start" with `drive` in place of the user at the download window.
    void Start(const std::function<void(TDownloadWalk&)>& drive) {
        TStartDialog::StartHooks hooks;
        hooks.RunDownload = [&] {
            TDownloadWalk walk;
            bool closed = false;
            walk.OnClose = [&] { closed = true; };
            walk.OnError = [](const std::string& m) { ADD_FAILURE() << m; };
            walk.OnNeedAuth = [&](const std::string& site) {
                sites_.push_back(site);
                return credentials_;
            };
            walk.FormShow();
            drive(walk);
            platform::testing::RunUntil([&] { return closed; });
            EXPECT_TRUE(closed);
        };
        ASSERT_TRUE(dialog_.btnSaveClick(hooks));
    }
    // Waits until the walk stands on the entry with this address ending.
    static void WaitFor(TDownloadWalk& w, const std::string& tail) {
        platform::testing::RunUntil([&] {
            return w.URLHint.size() >= tail.size() &&
                   w.URLHint.compare(w.URLHint.size() - tail.size(), tail.size(), tail) == 0;
        });
        ASSERT_TRUE(Has(w.URLHint, tail)) << w.URLHint;
    }
    TStartDialog dialog_;
    std::vector<std::string> sites_;
    std::optional<std::pair<std::string, std::string>> credentials_;
};

TEST_F(WalkTest, AbortAfterTwoPagesLeavesTheTemporaryFiles) {
    Prepare({"One", "Two", "Slow"});
    Start([](TDownloadWalk& w) {
        WaitFor(w, "/slow/never.htm");
        w.btnAbortClick();
    });
    EXPECT_EQ(FilesIn(out_.Path()),
              (std::vector<std::string>{"INDEX.HTM.tmp", "a.htm.tmp", "b.htm.tmp"}));
}

TEST_F(WalkTest, StopRelinksWhatCameAndSkipGoesOn) {
    Prepare({"One", "Slow", "Four"});
    Start([](TDownloadWalk& w) {
        WaitFor(w, "/slow/never.htm");
        w.btnStopClick();
    });
    EXPECT_EQ(FilesIn(out_.Path()), (std::vector<std::string>{"INDEX.HTM", "a.htm"}));
    const std::string index = ReadFile(out_.File("INDEX.HTM"));
    EXPECT_TRUE(Has(index, "<a href=\"a.htm\">One")) << index;
    EXPECT_TRUE(Has(index, "<a href=new/moved.htm>Four")) << "never fetched: left as written";
    EXPECT_TRUE(Has(index, "<a href=slow/never.htm>Slow"));

    QDir(QString::fromStdString(out_.Path())).removeRecursively();
    QDir().mkpath(QString::fromStdString(out_.Path()));
    Prepare({"One", "Slow", "Four"});
    Start([](TDownloadWalk& w) {
        WaitFor(w, "/slow/never.htm");
        w.btnSkipClick();
    });
    EXPECT_EQ(FilesIn(out_.Path()), (std::vector<std::string>{"INDEX.HTM", "a.htm", "moved.htm"}));
    EXPECT_TRUE(Has(ReadFile(out_.File("INDEX.HTM")), "<a href=slow/never.htm>Slow"));
}

TEST_F(WalkTest, SkippedPictureKeepsItsAddressInThePage) {
    WriteFile(server_.Root() + "/slow/pic.gif", std::string(4096, 'g'));
    WriteFile(server_.Root() + "/pictures.htm",
              "<html><body><img src=slow/pic.gif><img src=\"pics/a.gif\"></body></html>");
    CommandLine cl;
    cl.URL = server_.Url("/pictures.htm");
    dialog_.CheckVersion = false;
    dialog_.LoadPage(TerminalPage(cl));
    dialog_.edFolder = out_.Path();
    dialog_.chbImg = true;
    Start([](TDownloadWalk& w) {
        WaitFor(w, "/slow/pic.gif");
        EXPECT_TRUE(Has(w.StatusText, "% Save pictures")) << w.StatusText;
        w.btnSkipClick();
    });
    EXPECT_EQ(Lister->Pictures[0].State, lsSkipped);
    EXPECT_EQ(FilesIn(out_.Path()), (std::vector<std::string>{"INDEX.HTM", "a.gif"}));
    const std::string index = ReadFile(out_.File("INDEX.HTM"));
    EXPECT_TRUE(Has(index, "<img src=slow/pic.gif>")) << index;
    EXPECT_TRUE(Has(index, "<img src=\"a.gif\">")) << index;
}

TEST_F(WalkTest, PromptGivesCredentialsOrComesBackFourTimes) {
    Prepare({"Secret"});
    credentials_ = std::make_pair("ann", "pw");
    Start([](TDownloadWalk&) {});
    EXPECT_EQ(sites_, (std::vector<std::string>{server_.Url("/")}));
    EXPECT_EQ(ReadFile(out_.File("secret.htm")), "<html><body>secret</body></html>");

    QDir(QString::fromStdString(out_.Path())).removeRecursively();
    QDir().mkpath(QString::fromStdString(out_.Path()));
    sites_.clear();
    credentials_.reset(); // the user cancels every prompt
    Prepare({"Secret"});
    Start([&](TDownloadWalk& w) {
        platform::testing::RunUntil([&] { return sites_.size() >= 4; });
        platform::testing::RunFor(200);
        EXPECT_EQ(sites_.size(), 4u) << "no fifth request for the entry";
        EXPECT_TRUE(Has(w.URLHint, "/private/secret.htm")) << "the entry waits";
        w.btnSkipClick();
    });
    EXPECT_EQ(FilesIn(out_.Path()), (std::vector<std::string>{"INDEX.HTM"}));
}

TEST_F(SaveSiteTest, TheProgramSavesFromTheTerminalAndSaysWhenItCannot) {
    const QString exe = VK_BINARY_DIR "/bin/kestrio";
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("REGISTRY_DIR", QString::fromStdString(store_.Path()));
    env.insert("HOME", QString::fromStdString(store_.Path()));
    p.setProcessEnvironment(env);
    p.start(exe, {QString::fromStdString(server_.Url("/index.htm")), "--select", "Page A Page B",
                  "--save-to", QString::fromStdString(out_.Path()), "--pictures"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(Has(p.readAllStandardOutput().toStdString(), "Save Web Pages"));
    EXPECT_EQ(FilesIn(out_.Path()),
              (std::vector<std::string>{"INDEX.HTM", "a.gif", "a.htm", "b.css", "b.htm", "logo.gif",
                                        "style.css"}));

    p.start(exe, {QString::fromStdString(server_.Url("/index.htm")), "--save-to",
                  QString::fromStdString(out_.File("no/such/folder"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(Has(p.readAllStandardError().toStdString(), "does not exist"));

    p.start(exe, {QString::fromStdString(server_.Url("/nothing.htm")), "--save-to",
                  QString::fromStdString(out_.Path())});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(Has(p.readAllStandardError().toStdString(), "404"));
}

} // namespace
} // namespace kestrio
