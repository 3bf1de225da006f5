// The job dialogs offscreen: filling and writing back, skipping from outside,
// the directory menu, and the download-complete notice.
#include "desktop/testing/DesktopFixture.h"
#include "i18n/UnitLanguageManagement.h"
#include "jobs/FormJob.h"
#include "jobs/FormJobComplete.h"
#include "jobs/UnitJobFiles.h"
#include "jobs/UnitJobManagement.h"
#include "platform/Cp1252.h"
#include "storage/UnitLogFiles.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>
#include <gtest/gtest.h>

using desktop_testing::AnswerNextDialog;
using platform::testing::TempDir;
using platform::testing::WriteFile;

// The font library keeps its configuration until the process ends; that is no
// leak of ours. Read by the leak checker of sanitizer builds only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

static auto* const gGui = ::testing::AddGlobalTestEnvironment(new desktop_testing::GuiEnvironment);

namespace {

class JobDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_testing::UseProgramFolder(dir);
        WriteFile(dir.File("velomar.ini"),
                  desktop_testing::InstalledSettings(
                      dir, "DownloadImmediately=0\r\nLastDir=" + dir.File("last/") + "\r\n"));
        StartModules();
        LangManager->LoadCurrent();
    }
    void TearDown() override { StopModules(); }
    TempDir dir;
};

} // namespace

TEST_F(JobDialogTest, FieldsAreFilledAndWrittenBackWhenAccepted) {
    auto job = JobManager->NewJob("http://127.0.0.1:9/f.zip", "a comment", "");
    job->WriteBool("UseCustomAuthentication", false);
    AnswerNextDialog([](QDialog* d) {
        auto* f = static_cast<TFrmJob*>(d);
        EXPECT_EQ(f->editURL->text(), "http://127.0.0.1:9/f.zip");
        EXPECT_EQ(f->editComment->text(), "a comment");
        EXPECT_TRUE(f->editUser->isReadOnly()); // custom credentials off
        f->chkUseCustomAuthentication->click();
        EXPECT_FALSE(f->editUser->isReadOnly());
        f->editSaveAs->setText("");
        f->editUser->setText("ana");
        f->editPassword->setText(QString::fromUtf8("p\xC3\xA1ss")); // á
        f->spinSockets->setValue(15);
        f->spinPriority->setValue(1);
        f->editDownloadDirectory->setText("/tmp/elsewhere/");
        f->cmdClose->click();
    });
    EXPECT_TRUE(EditJobDialog(*job, false));
    EXPECT_EQ(job->ReadInteger("Sockets"), 15);
    EXPECT_EQ(job->ReadInteger("Priority"), 1);
    EXPECT_TRUE(job->ReadBool("UseCustomAuthentication"));
    EXPECT_EQ(job->ReadString("Authentication.UserID"), "ana");
    EXPECT_EQ(job->ReadString("Authentication.UserPwd"), "p\xE1ss"); // Windows-1252 inside
    EXPECT_EQ(job->ReadString("SaveAs"), "");
    EXPECT_EQ(SettingsFile->ReadString("Main", "LastDir", ""), "/tmp/elsewhere/");
}

TEST_F(JobDialogTest, FromOutsideTheDialogShowsOnlyWhenShowAddURLIsOn) {
    bool shown = false;
    AnswerNextDialog([](QDialog* d) { d->reject(); }, &shown, 300);
    auto job = NewJobDialog("http://127.0.0.1:9/quiet.zip", "", true, "");
    ASSERT_TRUE(job);
    EXPECT_FALSE(shown);

    SettingsFile->WriteBool("Main", "ShowAddURL", true);
    const std::string sectionBefore =
        std::to_string(SettingsFile->ReadInteger("Main", "Section.Count", 0) + 1);
    AnswerNextDialog(
        [](QDialog* d) {
            EXPECT_EQ(static_cast<TFrmJob*>(d)->editURL->text(), "http://127.0.0.1:9/loud.zip");
            static_cast<TFrmJob*>(d)->cmdCancel->click();
        },
        &shown);
    EXPECT_FALSE(NewJobDialog("http://127.0.0.1:9/loud.zip", "", true, ""));
    EXPECT_TRUE(shown);
    EXPECT_FALSE(SettingsFile->SectionExists(sectionBefore)); // cancelled: no section left
}

TEST_F(JobDialogTest, DirectoryMenu) {
    TFrmJob f;
    f.editURL->setText("http://127.0.0.1:9/path/name.iso?x=1");
    f.mnuLastDirClick();
    EXPECT_EQ(f.editDownloadDirectory->text().toStdString(), dir.File("last/"));
    f.mnuDefaultDirClick();
    EXPECT_EQ(f.editDownloadDirectory->text().toStdString(), dir.File("Download/"));

    const std::string missing = dir.File("new/deeper");
    f.editDownloadDirectory->setText(QString::fromStdString(missing));
    QString proposed;
    TFrmJob::ChooseFile = [&](QWidget*, const QString& p) {
        proposed = p;
        return QString::fromStdString(dir.File("chosen/file.bin"));
    };
    f.mnuSelectDirClick();
    EXPECT_EQ(proposed.toStdString(), missing + "/name.iso?x=1");
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    EXPECT_EQ(f.editDownloadDirectory->text().toStdString(), dir.File("chosen/"));
    EXPECT_EQ(f.editSaveAs->text(), "file.bin");

    f.editSaveAs->setText("mine.iso");
    f.mnuSelectDirClick();
    EXPECT_EQ(proposed.toStdString(), dir.File("chosen/mine.iso"));
    TFrmJob::ChooseFile = [](QWidget*, const QString&) { return QString(); }; // cancelled
    f.editSaveAs->setText("mine.iso");
    f.mnuSelectDirClick();
    EXPECT_EQ(f.editSaveAs->text(), "mine.iso");
}

TEST_F(JobDialogTest, NamesOfAnUnfinishedJobAreTheEnginesNames) {
    struct Case {
        const char* url;
        const char* saveAs;
        const char* name;
    } cases[] = {{"http://h/dir/a.zip", "", "a.zip"},
                 {"http://h/get?f=x/y", "", "get"},
                 {"http://h", "", "index.html"},
                 {"http://h/a.zip", "b.zip", "b.zip"}};
    for (const Case& c : cases) {
        auto job = JobManager->NewJob(c.url, "", "");
        job->WriteString("SaveAs", c.saveAs);
        EXPECT_EQ(JobTargetFileName(*job), dir.File("Download/") + c.name) << c.url;
        job->WriteString("Download.TargetFileName", "/done/file");
        EXPECT_EQ(JobTargetFileName(*job), "/done/file");
    }
}

TEST_F(JobDialogTest, CompleteNoticeGathersURLsUntilClosed) {
    TFrmJobComplete notice;
    SettingsFile->WriteBool("Main", "ShowJobComplete", false);
    notice.AddCompletedURL("http://h/off.zip");
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(notice.ListURLs->count(), 0);

    SettingsFile->WriteBool("Main", "ShowJobComplete", true);
    notice.AddCompletedURL("http://h/1.zip");
    notice.AddCompletedURL("http://h/2.zip");
    EXPECT_TRUE(notice.isVisible());
    EXPECT_EQ(notice.ListURLs->count(), 2);
    notice.cmdClose->click();
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(notice.ListURLs->count(), 0);
    EXPECT_TRUE(SettingsFile->ReadBool("Main", "ShowJobComplete", false));

    notice.AddCompletedURL("http://h/3.zip");
    notice.ChkNotShowAgain->setChecked(true);
    notice.close();
    EXPECT_FALSE(SettingsFile->ReadBool("Main", "ShowJobComplete", true));
    notice.AddCompletedURL("http://h/4.zip");
    EXPECT_FALSE(notice.isVisible());
}
