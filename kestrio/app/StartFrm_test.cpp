// The windows offscreen: the save dialog filled from a snapshot, its buttons,
// tabs and stored options; the password prompt's close rules; the version
// check against a local server.
#include "kestrio/app/AuthFrm.h"
#include "kestrio/app/DownloadWalk.h"
#include "kestrio/app/MainFrm.h"
#include "kestrio/app/StartFrm.h"
#include "kestrio/app/StoredOptions.h"
#include "kestrio/capture/ListerUnit.h"
#include "platform/Registry.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/NginxServer.h"
#include "platform/testing/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstring>
#include <gtest/gtest.h>

// The font library keeps its configuration until the process ends; that is no
// leak of ours. Read by the leak checker of sanitizer builds only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace kestrio {
namespace {

using platform::testing::TempDir;

void GuiApp() {
    static int argc = 1;
    static char name[] = "kestrio_app_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QApplication(argc, argv);
}

const char* kPage = R"({"version":1,"window":{"url":"http://127.0.0.1/d/p.htm","document":{
  "title":"  My Page: 5/9 (Notes) ",
  "links":[
    {"href":"http://127.0.0.1/d/a.htm","innerText":" Alpha "},
    {"href":"http://127.0.0.1/d/b.htm","innerText":"Beta two"},
    {"href":"mailto:me@kestrio.example","innerText":"Alpha"},
    {"href":"http://127.0.0.1/d/pic.htm","innerText":""},
    {"href":"http://other.kestrio.example/g.htm","innerText":"Gamma"},
    {"href":"http://127.0.0.1/d/c.htm","innerText":"two"},
    {"href":"http://127.0.0.1/d/z.htm","innerText":"Zeta"}],
  "all":[{"tagName":"HTML","outerHTML":"<HTML></HTML>"}],
  "selection":"see Alpha and Beta two and Gamma"}}})";

class StartFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuiApp();
        qputenv("REGISTRY_DIR", QByteArray::fromStdString(store_.Path()));
        // The version check asks our own server, never the outside world.
        qputenv("KESTRIO_SERVER", QByteArray::fromStdString(server_.Url("")));
        Options = TOptions();
        KesAppInstance = nullptr;
        form_.ShowMessage = [this](const QString& m) { messages_.push_back(m.toStdString()); };
        form_.ShowError = [this](const QString& m) { messages_.push_back(m.toStdString()); };
    }
    void TearDown() override {
        KesAppInstance = nullptr;
        Lister.reset();
        qunsetenv("REGISTRY_DIR");
        qunsetenv("KESTRIO_SERVER");
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (int i = 0; i < form_.LinksView->topLevelItemCount(); ++i)
            t.push_back(form_.LinksView->topLevelItem(i)->text(1).toStdString());
        return t;
    }
    std::vector<bool> Ticks() const {
        std::vector<bool> t;
        for (int i = 0; i < form_.LinksView->topLevelItemCount(); ++i)
            t.push_back(form_.LinksView->topLevelItem(i)->checkState(0) == Qt::Checked);
        return t;
    }

    struct AppFirst {
        AppFirst() { GuiApp(); }
    } app_;
    TempDir store_{"kesapp-store"};
    platform::testing::NginxServer server_;
    TStartForm form_;
    std::vector<std::string> messages_;
};

TEST_F(StartFormTest, FilledFromThePageWithTicksFromTheSelection) {
    form_.show();
    EXPECT_EQ(form_.PageControl1->currentIndex(), tabAbout);
    TKesApp kes(&form_);
    kes.Start(platform::LoadBrowserSnapshot(kPage));
    EXPECT_EQ(form_.windowTitle().toStdString(), "Kestrio: My Page: 5/9 (Notes)");
    EXPECT_EQ(form_.edSubFolder->text().toStdString(), "My Page 59 Notes");
    EXPECT_FALSE(form_.edSubFolder->isEnabled());
    EXPECT_EQ(form_.PageControl1->currentIndex(), tabGeneral);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Alpha", "Beta two", "", "Gamma", "two", "Zeta"}))
        << "no mailto row, blanks trimmed, document order";
    EXPECT_EQ(Ticks(), (std::vector<bool>{true, true, false, true, true, false}));
    EXPECT_EQ(form_.chbExter->toolTip().toStdString(),
              "pictures are external if their URLs do not begin with http://127.0.0.1/");
    EXPECT_EQ(form_.LinksView->columnWidth(0), 200);

    form_.btnInternal->click();
    EXPECT_EQ(Ticks(), (std::vector<bool>{true, true, false, false, true, false}));
    form_.btnInverse->click();
    EXPECT_EQ(Ticks(), (std::vector<bool>{false, false, true, true, false, true}));
    form_.btnAll->click();
    EXPECT_EQ(Ticks(), (std::vector<bool>(6, true)));

    // With the object there, every tab can be seen.
    form_.PageControl1->setCurrentIndex(tabAdvanced);
    EXPECT_EQ(form_.PageControl1->currentIndex(), tabAdvanced);
    EXPECT_TRUE(messages_.empty());
    form_.close();
    EXPECT_FALSE(kes.HoldsExtra()) << "closing gives the hold back";
    EXPECT_TRUE(BrowserWindow.IsNull());
}

TEST_F(StartFormTest, StartedByHandOnlyTheAboutTabCanBeSeen) {
    form_.show();
    form_.PageControl1->setCurrentIndex(tabGeneral);
    EXPECT_EQ(form_.PageControl1->currentIndex(), tabAbout);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("You don't need to start Kestrio.exe\n\nFor use Kestrio\n1) ", 0),
              0u);
    EXPECT_NE(messages_[0].find("\n   OR\n   click Kestrio toolbar button"), std::string::npos);
}

TEST_F(StartFormTest, OptionsStoredOnCancelAndShownNextTime) {
    TOptions stored;
    stored.General.URLW = 150;
    stored.Advanced.KeyWords = "ads";
    ASSERT_TRUE(SaveOptions(stored));
    form_.show();
    TKesApp kes(&form_);
    kes.Start(platform::LoadBrowserSnapshot(kPage));
    EXPECT_EQ(form_.edURL->text().toStdString(), "ads");
    EXPECT_EQ(form_.edExt->text().toStdString(), "zip exe rar mp3 arj");
    EXPECT_EQ(form_.LinksView->columnWidth(0), 150);

    form_.edFolder->setText("  /tmp/kept  ");
    form_.chbImg->setChecked(true);
    form_.chbURL->setChecked(true);
    EXPECT_TRUE(form_.edURL->isEnabled());
    form_.rgrItems[2]->setChecked(true);
    form_.chbAdvDef->setChecked(true);
    EXPECT_TRUE(form_.chbGenDef->isChecked()) << "the two ticks mirror each other";
    form_.btnCancel->click();
    EXPECT_FALSE(form_.isVisible());

    TOptions back;
    LoadOptions(back);
    EXPECT_EQ(back.General.DestinationFolder, "/tmp/kept");
    EXPECT_TRUE(back.General.ShowPictures);
    EXPECT_TRUE(back.Advanced.NotKeyPic);
    EXPECT_EQ(back.Advanced.DoWithExtensions, 2);
    EXPECT_EQ(back.General.URLW, 150);
}

TEST_F(StartFormTest, StartWithoutAnExistingFolderOnlyBeeps) {
    form_.show();
    TKesApp kes(&form_);
    kes.Start(platform::LoadBrowserSnapshot(kPage));
    bool ran = false;
    form_.RunDownloadWindow = [&](TMainForm&) { ran = true; };
    form_.edFolder->setText(QString::fromStdString(store_.File("missing")));
    form_.btnSave->click();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(form_.isVisible());
    EXPECT_EQ(Lister, nullptr);
    EXPECT_TRUE(kes.HoldsExtra());
}

TEST_F(StartFormTest, StartRunsTheDownloadWindowAndGivesTheHoldBack) {
    TempDir out("kesapp-out");
    form_.show();
    TKesApp kes(&form_);
    kes.Start(platform::LoadBrowserSnapshot(kPage));
    kes.Release(); // the script let go
    bool ended = false;
    kes.OnLastRelease = [&] { ended = true; };
    for (int i = 0; i < form_.LinksView->topLevelItemCount(); ++i)
        form_.LinksView->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    form_.edFolder->setText(QString::fromStdString(out.Path()));
    form_.chbSubFolder->setChecked(true);
    bool hiddenDuringWalk = false;
    form_.RunDownloadWindow = [&](TMainForm& f) {
        hiddenDuringWalk = !form_.isVisible();
        EXPECT_EQ(f.windowTitle().toStdString(), "My Page: 5/9 (Notes)");
        f.exec(); // nothing to fetch: relinks and closes by itself
    };
    form_.btnSave->click();
    EXPECT_TRUE(hiddenDuringWalk);
    EXPECT_EQ(platform::testing::ReadFile(out.File("My Page 59 Notes/INDEX.HTM")), "<HTML></HTML>");
    EXPECT_TRUE(ended);
    EXPECT_TRUE(messages_.empty()) << messages_[0];
}

TEST(StartDialogTest, DestinationFolderWithAndWithoutTheSubFolder) {
    const struct {
        std::string folder;
        bool sub;
        std::string subName, dir;
    } cases[] = {
        {"/tmp/o", false, "Notes", "/tmp/o/"},
        {"/tmp/o/", true, "Notes", "/tmp/o/Notes/"},
        {"/tmp/o", true, "", "/tmp/o/"}, // emptied by the user: straight into the folder
        {"/tmp/o", true, "a/", "/tmp/o/a/"},
    };
    for (const auto& c : cases) {
        TStartDialog d;
        d.edFolder = c.folder;
        d.chbSubFolder = c.sub;
        d.edSubFolder = c.subName;
        EXPECT_EQ(d.DestinationDir(), c.dir) << c.folder << " " << c.subName;
    }
}

TEST(AuthFormTest, OkNeedsBothEditsCancelAlwaysCloses) {
    GuiApp();
    TAuthForm f;
    EXPECT_EQ(f.windowTitle().toStdString(), "Kestrio - Enter Network Password");
    EXPECT_EQ(f.edPass->echoMode(), QLineEdit::Password);
    f.show();
    f.btnOk->click();
    EXPECT_TRUE(f.isVisible()) << "empty user name";
    f.edUser->setText("ann");
    f.btnOk->click();
    EXPECT_TRUE(f.isVisible()) << "empty password";
    f.edPass->setText("pw");
    f.btnOk->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(f.result(), QDialog::Accepted);

    TAuthForm g;
    g.show();
    g.btnCancel->click();
    EXPECT_FALSE(g.isVisible());
    EXPECT_EQ(g.result(), QDialog::Rejected);
}

TEST(DownloadWalkTest, StatusPercentRoundsHalvesToEvenAndTextResponses) {
    const struct {
        int pos, max, percent;
    } cases[] = {{2, 8, 25}, {1, 8, 12}, {3, 8, 38}, {1, 200, 0}, {3, 200, 2},
                 {1, 3, 33}, {2, 3, 67}, {0, 0, 0},  {5, 5, 100}};
    for (const auto& c : cases)
        EXPECT_EQ(TDownloadWalk::Percent(c.pos, c.max), c.percent) << c.pos << "/" << c.max;

    using L = std::vector<std::string>;
    EXPECT_TRUE(TDownloadWalk::IsTextResponse(L{"Server: x", "Content-Type: text/html"}));
    EXPECT_FALSE(TDownloadWalk::IsTextResponse(L{"content-type: text/html"}));
    EXPECT_FALSE(TDownloadWalk::IsTextResponse(L{"Content-Type: application/zip"}));
    EXPECT_FALSE(
        TDownloadWalk::IsTextResponse(L{"Content-Type: text/html", "Content-Type: image/gif"}));
    EXPECT_FALSE(TDownloadWalk::IsTextResponse(L{}));
}

QByteArray VersionFile(float v, int size) {
    QByteArray b(size, '\0');
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (int i = 0; i < 4 && i < size; ++i)
        b[i] = char((bits >> (8 * i)) & 0xff);
    return b;
}

TEST(VersionCheckTest, OnlyAWholeFileWithANewerNumberSpeaks) {
    EXPECT_EQ(NewVersionMessage(VersionFile(3.4f, 8)), "Kestrio 3.4 is available.");
    EXPECT_EQ(NewVersionMessage(VersionFile(4.0f, 16)), "Kestrio 4.0 is available.");
    EXPECT_EQ(NewVersionMessage(VersionFile(3.3f, 8)), std::nullopt);
    EXPECT_EQ(NewVersionMessage(VersionFile(3.4f, 12)), std::nullopt);
    EXPECT_EQ(NewVersionMessage(QByteArray()), std::nullopt);
    EXPECT_EQ(NewVersionMessage(VersionFile(std::numeric_limits<float>::infinity(), 8)),
              std::nullopt);
    EXPECT_EQ(HomePage(1049), kMirrorHomePage);
    EXPECT_EQ(HomePage(1033), kHomePage);

    GuiApp();
    platform::testing::NginxServer server;
    const QByteArray file = VersionFile(3.5f, 8);
    platform::testing::WriteFile(server.Root() + "/verinfo.dat", file.toStdString());
    qputenv("KESTRIO_SERVER", QByteArray::fromStdString(server.Url("")));
    VersionCheck check;
    std::string shown;
    check.OnNewVersion = [&](const std::string& m) { shown = m; };
    check.Begin();
    platform::testing::RunUntil([&] { return !shown.empty(); });
    qunsetenv("KESTRIO_SERVER");
    EXPECT_EQ(shown, "Kestrio 3.5 is available.");
}

} // namespace
} // namespace kestrio
