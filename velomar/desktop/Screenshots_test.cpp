// Pictures of every window in both built-in languages, rendered offscreen.
// They go to $VK_SCREENSHOT_DIR when it is set (scripts/screenshots), else to
// a temporary folder; either way each picture must come out non-blank.
#include "desktop/FormMain.h"
#include "desktop/FormTerms.h"
#include "desktop/testing/DesktopFixture.h"
#include "engine/FormGetAuthentication.h"
#include "i18n/UnitLanguageManagement.h"
#include "jobs/FormDeleteJob.h"
#include "jobs/FormJob.h"
#include "jobs/FormJobComplete.h"
#include "jobs/UnitJobManagement.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using platform::testing::TempDir;
using platform::testing::WriteFile;

static auto* const gGui = ::testing::AddGlobalTestEnvironment(new desktop_testing::GuiEnvironment);

namespace {

struct TFigures {
    const char* url;
    int state;
    const char* size;
    const char* ratio;
    const char* bps;
    const char* elapsed;
    const char* left;
    const char* comment;
};

const TFigures kJobs[] = {
    {"http://downloads.example.com/tools/archiver-9.2.zip", jsCompleted, "1843200", "100%", "0",
     "00:00:41", "00:00:00", "Archive tool"},
    {"http://mirror.example.org/iso/live-cd.iso", jsDownloading, "734003200", "37%", "412355",
     "00:10:12", "00:17:25", "Live CD"},
    {"ftp://ftp.example.net/pub/music/sample.mp3", jsWaiting, "5242880", "0%", "0", "", "", ""},
    {"http://files.example.com/docs/manual.pdf", jsStopped, "2097152", "12%", "0", "00:00:03", "",
     "Manual"},
    {"http://broken.example.com/missing/setup.exe", jsFailed, "", "0%", "0", "00:00:01", "",
     "Setup"},
};

class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_testing::UseProgramFolder(dir);
        WriteFile(dir.File("velomar.ini"),
                  desktop_testing::InstalledSettings(dir, "DownloadImmediately=0\r\n"));
        StartModules();
        const QByteArray out = qgetenv("VK_SCREENSHOT_DIR");
        folder = out.isEmpty() ? QString::fromStdString(dir.File("shots")) : QString(out);
        QDir().mkpath(folder);
    }
    void TearDown() override { StopModules(); }

    void Save(QWidget& w, const QString& name) {
        w.show();
        QCoreApplication::processEvents();
        const QImage image = w.grab().toImage();
        const QString path = folder + "/" + name + "-" + language + ".png";
        ASSERT_TRUE(image.save(path)) << path.toStdString();
        // Not blank: more than a handful of colours.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 8) << name.toStdString();
        w.hide();
    }

    TempDir dir;
    QString folder, language;
};

} // namespace

TEST_F(ScreenshotTest, EveryWindowInBothLanguages) {
    for (const auto& [index, name] : {std::pair{-2, "en"}, std::pair{-1, "pt"}}) {
        language = name;
        LangManager->SetCurrentIndex(index);
        LangManager->LoadCurrent();

        while (JobManager->Count() > 0)
            JobManager->RemoveJob(JobManager->Job(0));
        TFrmMain frm;
        ASSERT_TRUE(frm.FormCreate());
        for (const TFigures& f : kJobs) {
            auto job = JobManager->NewJob(f.url, f.comment, "");
            job->WriteString("Download.Size", f.size);
            job->WriteString("Download.Ratio", f.ratio);
            job->WriteString("Download.BPS", f.bps);
            job->WriteString("Download.ElapsedTime", f.elapsed);
            job->WriteString("Download.EstimatedTime", f.left);
            job->WriteBool("Completed", f.state == jsCompleted);
            job->State = f.state; // shown as it stands; nothing is started
            if (f.state == jsDownloading) {
                job->WriteInteger("Sockets", 5);
                job->AddLog(ltInfo, "StartUp", "");
                job->AddLog(ltInfo, "Connect", "mirror.example.org:80");
                job->AddLog(ltSuccess, "Connected", "");
                job->AddLog(ltServerReply, "", "HTTP/1.0 206 Partial Content");
                job->AddLog(ltInfo, "Download", "5");
                job->AddLog(ltError, "Error.10060", "2");
                job->AddLog(ltInfo, "WaitForRetry", "1");
            }
            JobManager->AppendJob(std::move(job));
        }
        frm.RefreshJobList(true);
        for (int r = 0; r < frm.JobList->rowCount(); ++r)
            if (frm.RowJob(r)->State == jsDownloading) frm.JobList->selectRow(r);
        Save(frm, "main-window");

        TFrmJob job;
        job.LoadFrom(*JobManager->Job(1));
        job.ApplyTexts();
        Save(job, "job-dialog-general");
        job.Pages->setCurrentIndex(1);
        Save(job, "job-dialog-connection");

        TFrmDeleteJob del(&frm);
        Save(del, "delete-dialog");

        TFrmJobComplete notice(&frm);
        notice.ListURLs->addItem(kJobs[0].url);
        notice.ListURLs->addItem("http://files.example.com/docs/guide.pdf");
        Save(notice, "download-complete");

        TFrmGetAuthentication auth;
        auth.lblBasicRealm->setText("\"Members area\"");
        auth.editUser->setText("ana");
        auth.editPassword->setText("secret");
        Save(auth, "credentials-prompt");

        TFrmTerms terms;
        Save(terms, "terms");
    }
}
