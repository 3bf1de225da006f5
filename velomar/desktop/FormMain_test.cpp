// The main window over a program folder of its own: list refreshes, menus,
// commands, the timer's steps and the hand-overs it takes.
#include "desktop/FormMain.h"
#include "desktop/FormTerms.h"
#include "desktop/UnitDesktopHooks.h"
#include "desktop/UnitRoutines.h"
#include "desktop/testing/DesktopFixture.h"
#include "i18n/UnitLanguageManagement.h"
#include "jobs/FormDeleteJob.h"
#include "jobs/UnitJobManagement.h"
#include "platform/Cp1252.h"
#include "platform/DateTimeText.h"
#include "platform/Registry.h"
#include "platform/testing/EventLoop.h"
#include "storage/UnitLogFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

using desktop_testing::AnswerNextDialog;
using platform::testing::ReadFile;
using platform::testing::TempDir;
using platform::testing::WriteFile;

// The font library keeps its configuration until the process ends; that is no
// leak of ours. Read by the leak checker of sanitizer builds only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

static auto* const gGui = ::testing::AddGlobalTestEnvironment(new desktop_testing::GuiEnvironment);

namespace {

class RecordingHooks : public TDesktopHooks {
public:
    std::vector<std::string> calls;
    void ShowAndCheck() override { calls.push_back("ShowAndCheck"); }
    void StartCheck() override { calls.push_back("StartCheck"); }
    void Notify(const std::string& event) override { calls.push_back("Notify " + event); }
    void AllJobsDone() override { calls.push_back("AllJobsDone"); }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void Open(const std::string& extra = "DownloadImmediately=0\r\n") {
        desktop_testing::UseProgramFolder(dir);
        WriteFile(dir.File("velomar.ini"), desktop_testing::InstalledSettings(dir, extra));
        SetDesktopHooks(&hooks);
        StartModules();
        frm = new TFrmMain;
        ASSERT_TRUE(frm->FormCreate());
    }
    void TearDown() override {
        delete frm;
        StopModules();
        SetDesktopHooks(nullptr);
    }
    TJobItem* Add(const std::string& url) {
        frm->AddURL(url, "", true, "");
        for (std::size_t i = 0; i < JobManager->Count(); ++i)
            if (JobManager->Job(i)->ReadString("URL") == url) return JobManager->Job(i);
        return nullptr;
    }
    int RowOf(TJobItem* job) const {
        for (int r = 0; r < frm->JobList->rowCount(); ++r)
            if (frm->RowJob(r) == job) return r;
        return -1;
    }
    void SelectRows(std::initializer_list<int> rows) {
        frm->JobList->clearSelection();
        for (int r : rows)
            frm->JobList->selectionModel()->select(frm->JobList->model()->index(r, 0),
                                                   QItemSelectionModel::Select |
                                                       QItemSelectionModel::Rows);
    }
    std::string Log() const { return ReadFile(dir.File("velomarLog.txt")); }

    TempDir dir;
    RecordingHooks hooks;
    TFrmMain* frm = nullptr;
};

} // namespace

TEST_F(MainWindowTest, LayoutColumnsAndTexts) {
    Open();
    EXPECT_EQ(frm->size(), QSize(628, 445));
    EXPECT_EQ(frm->imgSideBar->width(), 36);
    EXPECT_EQ(frm->imgSideBar->palette().color(QPalette::Window), QColor(204, 0, 51));
    ASSERT_EQ(frm->JobList->columnCount(), 10);
    const int widths[10] = {100, 50, 75, 50, 65, 70, 70, 70, 150, 200};
    const char* captions[10] = {"File",    "Priority",  "Size",    "Ratio", "Bps",
                                "Elapsed", "Time Left", "Engines", "URL",   "Comment"};
    for (int c = 0; c < 10; ++c) {
        // Wider only where the caption would be cut.
        const int fit = frm->JobList->horizontalHeader()->sectionSizeHint(c);
        EXPECT_EQ(frm->JobList->columnWidth(c), std::max(widths[c], fit)) << c;
        EXPECT_EQ(frm->JobList->horizontalHeaderItem(c)->text().toStdString(),
                  LangText("MainForm.JobList." + std::to_string(c)))
            << captions[c];
    }
    frm->JobList->setColumnWidth(0, 10); // below its minimum
    EXPECT_EQ(frm->JobList->columnWidth(0), 100);
    EXPECT_EQ(frm->mnuJobListLaunch->text().toStdString(), LangText("MainForm.mnuLaunch"));
    EXPECT_EQ(frm->windowTitle().toStdString(), LangText("MainForm.Caption"));

    // Another language applied while running: every caption follows.
    LangManager->SetCurrentIndex(-1);
    LangManager->LoadCurrent();
    frm->FormShow(nullptr);
    EXPECT_EQ(frm->LogPanel->tabText(0).toStdString(),
              platform::Cp1252ToUtf8(LangText("MainForm.JobLog.Caption")));
    EXPECT_EQ(frm->mnuDeleteJob->text(), QString::fromUtf8("Apagar..."));
    for (int c = 0; c < 10; ++c)
        EXPECT_GE(frm->JobList->columnWidth(c),
                  frm->JobList->horizontalHeader()->sectionSizeHint(c))
            << c;
}

TEST_F(MainWindowTest, TwoHundredChangesInOneTickGiveOneRefreshOfTheChangedCells) {
    Open();
    TJobItem* job = Add("http://127.0.0.1:9/big.iso");
    ASSERT_TRUE(job);
    const int before = frm->RefreshCount;
    for (int i = 0; i < 200; ++i) {
        job->WriteString("Download.Ratio", std::to_string(i / 2) + "%");
        frm->JobManagerChanged(job, ncChanged);
    }
    EXPECT_EQ(frm->RefreshCount, before); // nothing until the tick
    std::set<int> written;
    QObject::connect(frm->JobList->model(), &QAbstractItemModel::dataChanged,
                     [&written](const QModelIndex& from, const QModelIndex& to) {
                         for (int c = from.column(); c <= to.column(); ++c)
                             written.insert(c);
                     });
    frm->DoTimerTasks();
    EXPECT_EQ(written, std::set<int>{3}); // only the cell whose text changed
    EXPECT_EQ(frm->RefreshCount, before + 1);
    EXPECT_EQ(frm->JobList->item(RowOf(job), 3)->text(), "99%");
    EXPECT_EQ(frm->JobList->item(RowOf(job), 0)->text(), "big.iso");
    EXPECT_EQ(frm->JobList->item(RowOf(job), 8)->text(), "http://127.0.0.1:9/big.iso");
    frm->DoTimerTasks();
    EXPECT_EQ(frm->RefreshCount, before + 1); // no change, no refresh
    EXPECT_TRUE(frm->Timer->isActive());
}

TEST_F(MainWindowTest, MenusOfACompletedJob) {
    Open();
    frm->ConfigureEditMenu();
    EXPECT_FALSE(frm->mnuSelectAll->isEnabled());
    EXPECT_FALSE(frm->mnuEditJob->isEnabled());
    EXPECT_TRUE(frm->mnuAddJob->isEnabled());

    TJobItem* job = Add("http://127.0.0.1:9/done.zip");
    job->WriteBool("Completed", true);
    SelectRows({RowOf(job)});
    frm->ConfigureDownloadMenu();
    EXPECT_FALSE(frm->mnuStartJob->isEnabled());
    EXPECT_TRUE(frm->mnuStopJob->isEnabled());
    EXPECT_TRUE(frm->mnuStartAllJobs->isEnabled());
    frm->PrepareJobListPopup();
    EXPECT_FALSE(frm->mnuJobListStart->isEnabled());
    EXPECT_FALSE(frm->mnuJobListStop->isEnabled());
    EXPECT_TRUE(frm->mnuJobListLaunch->isEnabled());
    EXPECT_TRUE(frm->mnuJobListDownloadAgain->isEnabled());
    EXPECT_TRUE(frm->mnuJobListSetPriority->isEnabled());
    frm->ConfigureEditMenu();
    EXPECT_TRUE(frm->mnuEditJob->isEnabled());
    EXPECT_TRUE(frm->mnuDeleteJob->isEnabled());

    // Start skips a completed job; Download Again wants it from the start.
    frm->StartJob();
    EXPECT_FALSE(job->ReadBool("Selected"));
    SettingsFile->WriteInteger("Main", "MaxDownloadingJobs", 0); // keep it waiting
    frm->mnuJobListDownloadAgainClick();
    EXPECT_EQ(job->State, jsWaiting);
    EXPECT_EQ(job->ReadString("Download.Reset"), "Manually Restarted");
    EXPECT_FALSE(job->ReadBool("Completed"));
    EXPECT_TRUE(job->ReadBool("Selected"));
    frm->PrepareJobListPopup();
    EXPECT_TRUE(frm->mnuJobListStop->isEnabled());
    EXPECT_FALSE(frm->mnuJobListDownloadAgain->isEnabled());

    // Stop on the waiting job: a "Stop" entry, no longer wanted.
    const auto logs = job->ReadInteger("LogCount");
    frm->StopJob();
    EXPECT_FALSE(job->ReadBool("Selected"));
    ASSERT_EQ(job->ReadInteger("LogCount"), logs + 1);
    EXPECT_EQ(job->ReadString("Log" + std::to_string(logs + 1) + ".Description"), "Stop");
    EXPECT_EQ(job->ReadInteger("Log" + std::to_string(logs + 1) + ".Type"), ltError);
    EXPECT_NE(job->State, jsDownloading);
}

// A shortcut does what its menu item does, under the rules the menu would
// apply on opening.
TEST_F(MainWindowTest, ShortcutsFollowTheMenuRules) {
    Open();
    const auto press = [this](QWidget* on, QKeySequence key) {
        for (QShortcut* s : on->findChildren<QShortcut*>(Qt::FindDirectChildrenOnly))
            if (s->key() == key) {
                emit s->activated();
                return true;
            }
        return false;
    };
    SettingsFile->WriteInteger("Main", "MaxDownloadingJobs", 0); // nothing really starts
    TJobItem* done = Add("http://127.0.0.1:9/done.zip");
    done->WriteBool("Completed", true);
    TJobItem* idle = Add("http://127.0.0.1:9/idle.zip");

    SelectRows({RowOf(done)});
    ASSERT_TRUE(press(frm, Qt::Key_F2)); // Start is disabled for a completed job
    EXPECT_FALSE(done->ReadBool("Selected"));
    SelectRows({RowOf(idle)});
    ASSERT_TRUE(press(frm, Qt::Key_F2));
    EXPECT_TRUE(idle->ReadBool("Selected"));
    ASSERT_TRUE(press(frm, Qt::Key_F3));
    EXPECT_FALSE(idle->ReadBool("Selected"));
    EXPECT_EQ(
        idle->ReadString("Log" + std::to_string(idle->ReadInteger("LogCount")) + ".Description"),
        "Stop");

    // Insert adds, Enter in the list edits the selected job, Delete asks:
    // each dialog is refused here.
    struct Case {
        QWidget* on;
        Qt::Key key;
        const char* caption;
    } cases[] = {{frm, Qt::Key_Insert, "JobForm.Caption"},
                 {frm->JobList, Qt::Key_Return, "JobForm.Caption"},
                 {frm->JobList, Qt::Key_Enter, "JobForm.Caption"},
                 {frm, Qt::Key_Delete, "DeleteJobForm.Caption"}};
    for (const Case& c : cases) {
        SelectRows({RowOf(idle)});
        bool seen = false;
        auto title = std::make_shared<QString>();
        AnswerNextDialog(
            [title](QDialog* d) {
                *title = d->windowTitle();
                d->reject();
            },
            &seen);
        ASSERT_TRUE(press(c.on, c.key)) << c.caption << c.key;
        ASSERT_TRUE(seen) << c.caption << c.key; // else its poll would linger
        EXPECT_EQ(title->toStdString(), LangText(c.caption));
    }
    EXPECT_EQ(JobManager->Count(), 2u); // nothing added or deleted
}

TEST_F(MainWindowTest, SetPriorityRebuildsInPriorityOrder) {
    Open();
    TJobItem* a = Add("http://127.0.0.1:9/a");
    TJobItem* b = Add("http://127.0.0.1:9/b");
    TJobItem* c = Add("http://127.0.0.1:9/c");
    TJobItem* d = Add("http://127.0.0.1:9/d");
    d->WriteInteger("Priority", 5);
    frm->RefreshJobList(true);
    ASSERT_EQ(frm->RowJob(3), d);
    SelectRows({RowOf(b), RowOf(c), RowOf(d)});
    frm->SetPriority(1);
    for (TJobItem* j : {b, c, d})
        EXPECT_EQ(j->ReadInteger("Priority"), 1);
    std::vector<TJobItem*> order;
    for (int r = 0; r < 4; ++r)
        order.push_back(frm->RowJob(r));
    EXPECT_EQ(order, (std::vector<TJobItem*>{b, c, d, a}));
    EXPECT_EQ(frm->JobList->item(0, 1)->text(), "1");
}

TEST_F(MainWindowTest, AddURLOfAListedURLDoesNothingNotEvenTheDialog) {
    Open();
    Add("http://127.0.0.1:9/same.zip");
    const auto sections = SettingsFile->ReadInteger("Main", "Section.Count", 0);
    bool dialog = false;
    AnswerNextDialog([](QDialog* d) { d->reject(); }, &dialog, 300);
    frm->AddURL("http://127.0.0.1:9/same.zip", "", false, "");
    platform::testing::RunFor(350);
    EXPECT_FALSE(dialog);
    EXPECT_EQ(JobManager->Count(), 1u);
    EXPECT_EQ(SettingsFile->ReadInteger("Main", "Section.Count", 0), sections);

    // A different case is another URL; from the Add command the dialog shows,
    // and cancelling it leaves no section behind.
    AnswerNextDialog([](QDialog* d) { d->reject(); }, &dialog);
    frm->AddURL("http://127.0.0.1:9/SAME.zip", "", false, "");
    EXPECT_TRUE(dialog);
    EXPECT_EQ(JobManager->Count(), 1u);
    const std::string last = std::to_string(SettingsFile->ReadInteger("Main", "Section.Count", 0));
    EXPECT_FALSE(SettingsFile->SectionExists(last));
}

TEST_F(MainWindowTest, LogPaneFollowsTheSelectionAndRebuildsAClearedLog) {
    Open();
    TJobItem* job = Add("http://127.0.0.1:9/log.bin");
    job->ClearLog();
    job->AddLog(ltInfo, "StartUp", "");
    job->AddLog(ltInfo, "Connect", "127.0.0.1:9");
    job->AddLog(ltServerReply, "", "HTTP/1.0 503 Busy");
    SelectRows({RowOf(job)});
    EXPECT_EQ(frm->LogJob, job);
    ASSERT_EQ(frm->JobLog->rowCount(), 3);
    EXPECT_EQ(frm->JobLog->item(1, 1)->text().toStdString(),
              LangText("DownloadLog.Connect") + " (127.0.0.1:9)");

    job->AddLog(ltError, "Fail", ""); // raises ncLogAdded through the manager
    frm->JobManagerChanged(job, ncLogAdded);
    EXPECT_EQ(frm->JobLog->rowCount(), 4);

    job->ClearLog(); // the job restarted
    job->AddLog(ltSuccess, "Connected", "");
    frm->JobManagerChanged(job, ncLogAdded);
    ASSERT_EQ(frm->JobLog->rowCount(), 1);
    EXPECT_EQ(frm->JobLog->item(0, 1)->text().toStdString(), LangText("DownloadLog.Connected"));

    frm->DeselectAll();
    EXPECT_EQ(frm->LogJob, nullptr);
    frm->RefreshJobLog(false);
    EXPECT_EQ(frm->JobLog->rowCount(), 0);
}

TEST_F(MainWindowTest, DeleteRemovesJobsAndTheirPartialFilesAlsoOfUnfinishedJobs) {
    Open();
    std::vector<TJobItem*> jobs;
    for (const char* name : {"one.zip", "two.zip", "three.zip"})
        jobs.push_back(Add(std::string("http://127.0.0.1:9/") + name));
    WriteFile(dir.File("Download/one.zip._"), "part");
    WriteFile(dir.File("Download/two.zip"), "whole");
    jobs[1]->WriteString("Download.TargetFileName", dir.File("Download/two.zip"));
    SelectRows({0, 1, 2});
    frm->JobListSelectItem(0, true);
    AnswerNextDialog([](QDialog* d) {
        auto* del = static_cast<TFrmDeleteJob*>(d);
        del->ChkDeleteFile->setChecked(true);
        del->cmdOK->click();
    });
    frm->DeleteJob();
    EXPECT_EQ(JobManager->Count(), 0u);
    EXPECT_EQ(frm->JobList->rowCount(), 0);
    EXPECT_EQ(frm->LogJob, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Download/one.zip._")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("Download/two.zip")));
    const std::string log = Log();
    EXPECT_NE(log.find("Deleting JobFileName=" + dir.File("Download/three.zip")),
              std::string::npos);
    EXPECT_NE(log.find("Partial deleted."), std::string::npos);
    EXPECT_NE(log.find("Complete deleted."), std::string::npos);
    EXPECT_NE(log.find("Partial deletion failed."), std::string::npos); // three.zip had none

    // Cancelling the question changes nothing.
    TJobItem* kept = Add("http://127.0.0.1:9/kept.zip");
    SelectRows({0});
    AnswerNextDialog([](QDialog* d) { d->reject(); });
    frm->DeleteJob();
    EXPECT_EQ(JobManager->Count(), 1u);
    EXPECT_EQ(frm->RowJob(0), kept);
}

TEST_F(MainWindowTest, TimerTakesTheHandOversAndStartsTheUpdateCheckWhenDue) {
    Open();
    SettingsFile->DeleteKey("Main", "NextAutoUpdate");
    SettingsFile->DeleteKey("Main", "NextAutoUpdateDelay");
    platform::Registry reg;
    ASSERT_TRUE(reg.WriteStrings(kURLHandOverKey, {{"URL", "http://127.0.0.1:9/given.zip"},
                                                   {"Comment", "from a page"},
                                                   {"Referer", "http://127.0.0.1:9/page.htm"}}));
    ASSERT_TRUE(reg.OpenKey(kVelomarKey, true));
    ASSERT_TRUE(reg.WriteString("ShellCommand", "autoupdate"));
    reg.CloseKey();

    const auto now = platform::NowSeconds();
    frm->DoTimerTasks(); // the first tick checks both hand-overs
    ASSERT_EQ(JobManager->Count(), 1u);
    EXPECT_EQ(JobManager->Job(0)->ReadString("Comment"), "from a page");
    EXPECT_EQ(JobManager->Job(0)->ReadString("Referer"), "http://127.0.0.1:9/page.htm");
    EXPECT_FALSE(reg.KeyExists(kURLHandOverKey));
    EXPECT_EQ(hooks.Count("ShowAndCheck"), 1);
    ASSERT_TRUE(reg.OpenKey(kVelomarKey, false));
    EXPECT_FALSE(reg.ValueExists("ShellCommand"));
    EXPECT_EQ(hooks.Count("Notify AUTO_UPDATE"), 1);
    EXPECT_EQ(hooks.Count("StartCheck"), 1);
    const auto next = SettingsFile->ReadDateTime("Main", "NextAutoUpdate", 0);
    EXPECT_NEAR(static_cast<double>(next - now), 7.0 * 86400, 5);

    // The messages only take note; the next tick acts.
    EXPECT_EQ(frm->RegistryURLChecking(), -23);
    EXPECT_TRUE(frm->CheckURLPending);
    ASSERT_TRUE(reg.WriteString("ShellCommand", "AutoUpdate")); // not the command
    frm->InstanceNotification();
    frm->DoTimerTasks();
    EXPECT_EQ(hooks.Count("ShowAndCheck"), 1);
    EXPECT_FALSE(reg.ValueExists("ShellCommand"));
    EXPECT_EQ(hooks.Count("StartCheck"), 1); // not due again
    const std::string log = Log();
    EXPECT_NE(log.find("OTHER_INSTANCE_NOTIFICATION"), std::string::npos);
    EXPECT_NE(log.find("CHECK_URLS_IN_REGISTRY"), std::string::npos);
    EXPECT_NE(log.find("Activating main window."), std::string::npos);
}

TEST_F(MainWindowTest, AnExceptionReachingTheLoopIsLoggedAndTheProgramGoesOn) {
    Open();
    QTimer::singleShot(0, [] { throw std::runtime_error("disk on fire"); });
    bool after = false;
    QTimer::singleShot(20, [&after] { after = true; });
    platform::testing::RunUntil([&] { return after; }, 2000);
    EXPECT_TRUE(after);
    EXPECT_NE(Log().find("Error: disk on fire"), std::string::npos);
}

TEST_F(MainWindowTest, HidingDoesNotEndTheProgramClosingDoes) {
    Open();
    frm->show();
    frm->ToggleVisibility();
    EXPECT_FALSE(frm->isVisible());
    bool quit = false;
    auto conn = QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quit = true; });
    QTimer::singleShot(0, [this] { frm->ToggleVisibility(); });
    QTimer::singleShot(50, [this] { frm->close(); });
    QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(quit);
    QObject::disconnect(conn);
}

// Start-up decisions that come before the window: the command line, the start
// mode, the tray start and the terms.
class StartUpTest : public MainWindowTest {};

TEST_F(StartUpTest, CommandLineWordsAndTheStartModeCounter) {
    desktop_testing::UseProgramFolder(dir);
    const auto rest = ProcessCommandLine(
        {"velstart.programs", "VELCMD.autoupdate", "http://h/x.zip", "velstart.desktop"});
    EXPECT_EQ(StartMode, "desktop");
    EXPECT_EQ(rest, (std::vector<std::string>{"http://h/x.zip"}));
    platform::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kVelomarKey, false));
    EXPECT_EQ(reg.ReadString("ShellCommand"), "autoupdate");
    ProcessCommandLine({"velcmd.AutoUpdate"});
    EXPECT_EQ(reg.ReadString("ShellCommand"), "AutoUpdate"); // taken as typed
    EXPECT_EQ(StartMode, "other");

    WriteFile(dir.File("velomar.ini"), desktop_testing::InstalledSettings(dir, ""));
    StartModules();
    CountStartMode();
    CountStartMode();
    EXPECT_EQ(SettingsFile->ReadInteger("UserStatistics", "StartMode.other", 0), 2);
    EXPECT_EQ(CheckShellCommand(), "AutoUpdate");
    EXPECT_FALSE(reg.ValueExists("ShellCommand"));
    EXPECT_NE(Log().find("VelStartMode = other"), std::string::npos);
}

TEST_F(StartUpTest, StartOnTheNotificationArea) {
    struct Case {
        bool onTray, onlyStartUp;
        const char* mode;
        bool shown;
    } cases[] = {{true, true, "startup", false},
                 {true, true, "desktop", true},
                 {true, false, "desktop", false},
                 {false, true, "startup", true}};
    desktop_testing::UseProgramFolder(dir);
    WriteFile(dir.File("velomar.ini"), desktop_testing::InstalledSettings(dir, ""));
    StartModules();
    for (const Case& c : cases) {
        SettingsFile->WriteBool("Main", "StartOnTray", c.onTray);
        SettingsFile->WriteBool("Main", "OnlyWindowsStartUp", c.onlyStartUp);
        ProcessCommandLine({std::string("velstart.") + c.mode});
        TFrmMain main;
        ASSERT_TRUE(main.FormCreate());
        EXPECT_EQ(main.isVisible(), c.shown) << c.mode << c.onTray << c.onlyStartUp;
        EXPECT_EQ(main.mnuShow->isChecked(), c.shown) << c.mode << c.onTray << c.onlyStartUp;
    }
}

TEST_F(StartUpTest, RefusedTermsEndTheStartAndAreAskedAgain) {
    desktop_testing::UseProgramFolder(dir);
    WriteFile(dir.File("velomar.ini"),
              desktop_testing::InstalledSettings(dir, "AcceptedTerms=0\r\n"));
    StartModules();
    SettingsFile->WriteBool("Main", "AcceptedTerms", false);
    for (int run = 0; run < 2; ++run) {
        bool asked = false;
        bool escapeIgnored = false;
        AnswerNextDialog(
            [&escapeIgnored](QDialog* d) {
                auto* terms = static_cast<TFrmTerms*>(d);
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(terms, &esc);
                escapeIgnored = terms->isVisible();
                EXPECT_TRUE(terms->txtTerms2->isVisibleTo(terms)); // English: TermID 2
                EXPECT_FALSE(terms->txtTerms1->isVisibleTo(terms));
                terms->cmdDisagree->click();
            },
            &asked);
        TFrmMain main;
        EXPECT_FALSE(main.FormCreate());
        EXPECT_TRUE(asked);
        EXPECT_TRUE(escapeIgnored);
        EXPECT_FALSE(SettingsFile->ReadBool("Main", "AcceptedTerms", false));
    }
    AnswerNextDialog([](QDialog* d) { static_cast<TFrmTerms*>(d)->cmdAgree->click(); });
    TFrmMain main;
    EXPECT_TRUE(main.FormCreate());
    EXPECT_TRUE(SettingsFile->ReadBool("Main", "AcceptedTerms", false));
}

TEST_F(MainWindowTest, HelpLinksOpenTheHtmlProgramOrSayItCannot) {
    Open();
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", dir.File("none").c_str(), 1);
    std::filesystem::create_directories(dir.File("share"));
    std::filesystem::create_directory_symlink("/usr/share/mime", dir.File("share/mime"));
    setenv("XDG_DATA_DIRS", dir.File("share").c_str(), 1);

    // The probe file in the shared temporary folder never writes through a
    // link planted under the fixed name.
    std::filesystem::create_directories(dir.File("tmp"));
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string oldTmp = tmpdir ? tmpdir : "";
    setenv("TMPDIR", dir.File("tmp").c_str(), 1);
    WriteFile(dir.File("victim"), "keep");
    std::filesystem::create_symlink(dir.File("victim"), dir.File("tmp/t~~!.htm"));

    std::string shown;
    AnswerNextDialog([&shown](QDialog* d) {
        shown = static_cast<QMessageBox*>(d)->text().toStdString();
        d->accept();
    });
    frm->HelpMenuClick(frm->mnuTopics);
    EXPECT_EQ(shown, LangText("MainForm.Msg.BrowserCannotBeLaunched"));

    WriteFile(dir.File("bin/browser"), "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/visited\"\n");
    std::filesystem::permissions(dir.File("bin/browser"), std::filesystem::perms::owner_all);
    WriteFile(dir.File("data/applications/browser.desktop"),
              "[Desktop Entry]\nExec=" + dir.File("bin/browser") + " %u\nMimeType=text/html;\n");
    frm->GoHome();
    EXPECT_TRUE(platform::testing::RunUntil(
        [&] { return std::filesystem::exists(dir.File("bin/visited")); }, 5000));
    EXPECT_EQ(ReadFile(dir.File("bin/visited")), LangText("URL.mnuVelomarHome") + "\n");
    EXPECT_EQ(ReadFile(dir.File("victim")), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("tmp")),
                            std::filesystem::directory_iterator()),
              1); // the probes are gone
    if (oldTmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", oldTmp.c_str(), 1);
}
