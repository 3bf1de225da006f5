// The main window's menus, texts and job commands.
#include "desktop/FormMain.h"
#include "desktop/FormTexts.h"
#include "desktop/UnitDesktopHooks.h"
#include "desktop/UnitRoutines.h"
#include "jobs/FormDeleteJob.h"
#include "jobs/FormJob.h"
#include "jobs/UnitJobManagement.h"
#include "platform/Shell.h"
#include "storage/UnitLogFiles.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>

namespace {

QAction* Item(QMenu* menu, const char* name, QObject* receiver, std::function<void()> onClick) {
    QAction* a = menu->addAction(QString());
    a->setObjectName(name);
    QObject::connect(a, &QAction::triggered, receiver, [f = std::move(onClick)] { f(); });
    return a;
}

QAction* CheckItem(QMenu* menu, const char* name, QObject* receiver,
                   std::function<void()> onClick) {
    QAction* a = Item(menu, name, receiver, std::move(onClick));
    a->setCheckable(true);
    return a;
}

} // namespace

void TFrmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    mnuFile = bar->addMenu(QString());
    mnuShow = CheckItem(mnuFile, "mnuShow", this, [this] { ToggleVisibility(); });
    mnuShow->setChecked(true);
    mnuFile->addSeparator();
    mnuExit = Item(mnuFile, "mnuExit", this, [this] { ExitApplication(); });

    mnuEdit = bar->addMenu(QString());
    mnuSelectAll = Item(mnuEdit, "mnuSelectAll", this, [this] { SelectAll(); });
    mnuDeselectAll = Item(mnuEdit, "mnuDeselectAll", this, [this] { DeselectAll(); });
    mnuEdit->addSeparator();
    mnuAddJob = Item(mnuEdit, "mnuAddJob", this, [this] { AddJob(); });
    mnuEditJob = Item(mnuEdit, "mnuEditJob", this, [this] { EditJob(); });
    mnuDeleteJob = Item(mnuEdit, "mnuDeleteJob", this, [this] { DeleteJob(); });
    connect(mnuEdit, &QMenu::aboutToShow, this, &TFrmMain::ConfigureEditMenu);

    mnuDownload = bar->addMenu(QString());
    mnuStartJob = Item(mnuDownload, "mnuStartJob", this, [this] { StartJob(); });
    mnuStopJob = Item(mnuDownload, "mnuStopJob", this, [this] { StopJob(); });
    mnuDownload->addSeparator();
    mnuStartAllJobs = Item(mnuDownload, "mnuStartAllJobs", this, [this] { StartAllJobs(); });
    mnuStopAllJobs = Item(mnuDownload, "mnuStopAllJobs", this, [this] { StopAllJobs(); });
    connect(mnuDownload, &QMenu::aboutToShow, this, &TFrmMain::ConfigureDownloadMenu);

    mnuOptions = bar->addMenu(QString());
    mnuBrowserIntegration = CheckItem(mnuOptions, "mnuBrowserIntegration", this,
                                      [this] { ToggleBrowserIntegration(); });
    mnuClipboardMonitoring = CheckItem(mnuOptions, "mnuClipboardMonitoring", this,
                                       [this] { ToggleClipboardMonitoring(); });
    mnuDisconnectWhenComplete = CheckItem(mnuOptions, "mnuDisconnectWhenComplete", this,
                                          [this] { ToggleDisconnectWhenComplete(); });
    mnuShutdownWhenDisconnect = CheckItem(mnuOptions, "mnuShutdownWhenDisconnect", this,
                                          [this] { ToggleShutdownWhenDisconnect(); });
    mnuShowSideBar =
        CheckItem(mnuOptions, "mnuShowSideBar", this, [this] { mnuOptionsShowSideBarClick(); });
    mnuOptions->addSeparator();
    mnuPreferences = Item(mnuOptions, "mnuPreferences", this, [this] { DisplayPreferences(); });
    connect(mnuOptions, &QMenu::aboutToShow, this, &TFrmMain::mnuOptionsClick);

    mnuHelp = bar->addMenu(QString());
    const auto link = [this](const char* name) {
        QAction* a = mnuHelp->addAction(QString());
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, a] { HelpMenuClick(a); });
        return a;
    };
    mnuTopics = link("mnuTopics");
    mnuHelp->addSeparator();
    mnuVelomarHome = link("mnuVelomarHome");
    mnuWhatsNew = link("mnuWhatsNew");
    mnuFrequentlyAskedQuestions = link("mnuFrequentlyAskedQuestions");
    mnuEmailAuthors = link("mnuEmailAuthors");
    mnuRecommendToFriend = link("mnuRecommendToFriend");
    mnuHelp->addSeparator();
    mnuAutoUpdate = Item(mnuHelp, "mnuAutoUpdate", this, [this] { AutoUpdate(); });

    MenuJobList = new QMenu(this);
    MenuJobList->setObjectName("MenuJobList");
    mnuJobListStart = Item(MenuJobList, "mnuJobListStart", this, [this] { StartJob(); });
    mnuJobListStartAll = Item(MenuJobList, "mnuJobListStartAll", this, [this] { StartAllJobs(); });
    mnuJobListStop = Item(MenuJobList, "mnuJobListStop", this, [this] { StopJob(); });
    mnuJobListStopAll = Item(MenuJobList, "mnuJobListStopAll", this, [this] { StopAllJobs(); });
    MenuJobList->addSeparator();
    mnuJobListAdd = Item(MenuJobList, "mnuJobListAdd", this, [this] { AddJob(); });
    mnuJobListEdit = Item(MenuJobList, "mnuJobListEdit", this, [this] { EditJob(); });
    mnuJobListDelete = Item(MenuJobList, "mnuJobListDelete", this, [this] { DeleteJob(); });
    MenuJobList->addSeparator();
    mnuJobListCopyURL =
        Item(MenuJobList, "mnuJobListCopyURL", this, [this] { mnuJobListCopyURLClick(); });
    mnuJobListLaunch =
        Item(MenuJobList, "mnuJobListLaunch", this, [this] { mnuJobListLaunchClick(); });
    mnuJobListExplore =
        Item(MenuJobList, "mnuJobListExplore", this, [this] { mnuJobListExploreClick(); });
    mnuJobListDownloadAgain = Item(MenuJobList, "mnuJobListDownloadAgain", this,
                                   [this] { mnuJobListDownloadAgainClick(); });
    MenuJobList->addSeparator();
    mnuJobListSelectAll = Item(MenuJobList, "mnuJobListSelectAll", this, [this] { SelectAll(); });
    mnuJobListSetPriority = MenuJobList->addMenu(QString());
    mnuJobListSetPriority->setObjectName("mnuJobListSetPriority");
    const auto priority = [this](const char* name, int tag) {
        return Item(mnuJobListSetPriority, name, this, [this, tag] { SetPriority(tag); });
    };
    mnuSetPriorityHigh = priority("mnuSetPriorityHigh", 1);
    mnuSetPriorityNormal = priority("mnuSetPriorityNormal", 3);
    mnuSetPriorityLow = priority("mnuSetPriorityLow", 5);
    mnuSetPriorityVeryLow = priority("mnuSetPriorityVeryLow", 9);
    connect(MenuJobList, &QMenu::aboutToShow, this, &TFrmMain::PrepareJobListPopup);

    // Shown by the notification-area icon.
    MenuTray = new QMenu(this);
    MenuTray->setObjectName("MenuTray");
    mnuTrayShow = Item(MenuTray, "mnuTrayShow", this, [this] { ToggleVisibility(); });
    mnuTrayAdd = Item(MenuTray, "mnuTrayAdd", this, [this] { AddJob(); });
    MenuTray->addSeparator();
    mnuTrayBrowserIntegration = CheckItem(MenuTray, "mnuTrayBrowserIntegration", this, [this] {
        ToggleBrowserIntegration(mnuTrayBrowserIntegration);
    });
    mnuTrayClipboardMonitoring = CheckItem(MenuTray, "mnuTrayClipboardMonitoring", this, [this] {
        ToggleClipboardMonitoring(mnuTrayClipboardMonitoring);
    });
    mnuTrayPreferences =
        Item(MenuTray, "mnuTrayPreferences", this, [this] { DisplayPreferences(); });
    mnuTrayAutoUpdate = Item(MenuTray, "mnuTrayAutoUpdate", this, [this] { AutoUpdate(); });
    MenuTray->addSeparator();
    mnuTrayExit = Item(MenuTray, "mnuTrayExit", this, [this] { ExitApplication(); });
}

void TFrmMain::BuildShortcuts() {
    // A shortcut runs the enabling rules of its menu first, as opening it would.
    const auto key = [this](QKeySequence seq, std::function<void()> prepare, QAction* item) {
        auto* s = new QShortcut(seq, this);
        connect(s, &QShortcut::activated, this, [prepare, item] {
            if (prepare) prepare();
            if (item->isEnabled()) item->trigger();
        });
    };
    const auto edit = [this] { ConfigureEditMenu(); };
    const auto download = [this] { ConfigureDownloadMenu(); };
    key(Qt::Key_Insert, edit, mnuAddJob);
    key(Qt::Key_Delete, edit, mnuDeleteJob);
    key(Qt::Key_F2, download, mnuStartJob);
    key(Qt::Key_F3, download, mnuStopJob);
    key(Qt::Key_F4, download, mnuStopAllJobs);
    key(Qt::Key_F1, nullptr, mnuTopics);
    key(Qt::Key_F12, nullptr, mnuAutoUpdate);
    mnuAddJob->setShortcut(Qt::Key_Insert);
    mnuDeleteJob->setShortcut(Qt::Key_Delete);
    mnuStartJob->setShortcut(Qt::Key_F2);
    mnuStopJob->setShortcut(Qt::Key_F3);
    mnuStopAllJobs->setShortcut(Qt::Key_F4);
    mnuTopics->setShortcut(Qt::Key_F1);
    mnuAutoUpdate->setShortcut(Qt::Key_F12);
    for (QAction* a : {mnuAddJob, mnuDeleteJob, mnuStartJob, mnuStopJob, mnuStopAllJobs, mnuTopics,
                       mnuAutoUpdate})
        a->setShortcutContext(Qt::WidgetShortcut);      // shown in the menu; handled above
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter}) { // JobListKeyDown; Enter of the keypad too
        auto* enter = new QShortcut(k, JobList, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, &TFrmMain::EditJob);
    }
}

void TFrmMain::ApplyTexts() {
    setWindowTitle(LT("MainForm.Caption"));
    mnuFile->setTitle(LT("MainForm.mnuFile"));
    mnuEdit->setTitle(LT("MainForm.mnuEdit"));
    mnuDownload->setTitle(LT("MainForm.mnuDownload"));
    mnuOptions->setTitle(LT("MainForm.mnuOptions"));
    mnuHelp->setTitle(LT("MainForm.mnuHelp"));
    const auto set = [](const char* key, std::initializer_list<QAction*> items) {
        const QString text = LT(key);
        for (QAction* a : items)
            a->setText(text);
    };
    set("MainForm.mnuShow", {mnuShow, mnuTrayShow});
    set("MainForm.mnuExit", {mnuExit, mnuTrayExit});
    set("MainForm.mnuSelectAll", {mnuSelectAll, mnuJobListSelectAll});
    set("MainForm.mnuDeselectAll", {mnuDeselectAll});
    set("MainForm.mnuAddJob", {mnuAddJob, mnuJobListAdd, mnuTrayAdd});
    set("MainForm.mnuEditJob", {mnuEditJob, mnuJobListEdit});
    set("MainForm.mnuDeleteJob", {mnuDeleteJob, mnuJobListDelete});
    set("MainForm.mnuStartJob", {mnuStartJob, mnuJobListStart});
    set("MainForm.mnuStartAllJobs", {mnuStartAllJobs, mnuJobListStartAll});
    set("MainForm.mnuStopJob", {mnuStopJob, mnuJobListStop});
    set("MainForm.mnuStopAllJobs", {mnuStopAllJobs, mnuJobListStopAll});
    set("MainForm.mnuBrowserIntegration", {mnuBrowserIntegration, mnuTrayBrowserIntegration});
    set("MainForm.mnuClipboardMonitoring", {mnuClipboardMonitoring, mnuTrayClipboardMonitoring});
    set("MainForm.mnuShowSideBar", {mnuShowSideBar});
    set("MainForm.mnuPreferences", {mnuPreferences, mnuTrayPreferences});
    set("PrefForm.Schedule.DisconnectWhenComplete", {mnuDisconnectWhenComplete});
    set("PrefForm.Schedule.ShutdownWhenDisconnect", {mnuShutdownWhenDisconnect});
    set("MainForm.mnuTopics", {mnuTopics});
    set("MainForm.mnuEmailAuthors", {mnuEmailAuthors});
    set("MainForm.mnuWhatsNew", {mnuWhatsNew});
    set("MainForm.mnuRecommendToFriend", {mnuRecommendToFriend});
    set("MainForm.mnuVelomarHome", {mnuVelomarHome});
    set("MainForm.mnuAutoUpdate", {mnuAutoUpdate, mnuTrayAutoUpdate});
    set("MainForm.mnuFAQ", {mnuFrequentlyAskedQuestions});
    for (int c = 0; c < 10; ++c) {
        JobList->horizontalHeaderItem(c)->setText(LT("MainForm.JobList." + std::to_string(c)));
        // The widths were chosen for a smaller font: a caption is never cut.
        const int fit = JobList->horizontalHeader()->sectionSizeHint(c);
        if (JobList->columnWidth(c) < fit) JobList->setColumnWidth(c, fit);
    }
    mnuJobListSetPriority->setTitle(LT("MainForm.mnuSetPriority"));
    set("MainForm.mnuSetPriorityHigh", {mnuSetPriorityHigh});
    set("MainForm.mnuSetPriorityNormal", {mnuSetPriorityNormal});
    set("MainForm.mnuSetPriorityLow", {mnuSetPriorityLow});
    set("MainForm.mnuSetPriorityVeryLow", {mnuSetPriorityVeryLow});
    set("MainForm.mnuCopyURL", {mnuJobListCopyURL});
    set("MainForm.mnuDownloadAgain", {mnuJobListDownloadAgain});
    set("MainForm.mnuLaunch", {mnuJobListLaunch});
    set("MainForm.mnuExplore", {mnuJobListExplore});
    LogPanel->setTabText(0, LT("MainForm.JobLog.Caption"));
    JobLog->horizontalHeaderItem(0)->setText(LT("MainForm.JobLog.Date"));
    JobLog->horizontalHeaderItem(1)->setText(LT("MainForm.JobLog.Description"));
    imgSmallLogo->setToolTip(LT("MainForm.Hint.Logo"));
    imgSideBar->setToolTip(LT("MainForm.Hint.Logo"));
    const auto hint = [](QAction* a, const char* key) { a->setToolTip(LT(key)); };
    hint(ToolAdd, "MainForm.Hint.AddJob");
    hint(ToolEdit, "MainForm.Hint.EditJob");
    hint(ToolDelete, "MainForm.Hint.DeleteJob");
    hint(ToolStart, "MainForm.Hint.StartJob");
    hint(ToolStop, "MainForm.Hint.StopJob");
    hint(ToolPreferences, "MainForm.Hint.Preferences");
    hint(ToolAutoUpdate, "MainForm.Hint.AutoUpdate");
    hint(ToolSuggestion, "MainForm.Hint.Suggestions");
    hint(ToolNews, "MainForm.Hint.DisplayNews");
    RefreshJobLog(true);
}

void TFrmMain::ConfigureEditMenu() {
    const TJobMenuRules r = JobMenuRules(JobList->rowCount() > 0, FirstSelectedJob());
    mnuSelectAll->setEnabled(r.SelectAll);
    mnuDeselectAll->setEnabled(r.DeselectAll);
    mnuAddJob->setEnabled(r.Add);
    mnuEditJob->setEnabled(r.Edit);
    mnuDeleteJob->setEnabled(r.Delete);
}

void TFrmMain::ConfigureDownloadMenu() {
    const TJobMenuRules r = JobMenuRules(JobList->rowCount() > 0, FirstSelectedJob());
    mnuStartAllJobs->setEnabled(r.StartAll);
    mnuStopAllJobs->setEnabled(r.StopAll);
    mnuStartJob->setEnabled(r.DownloadStart);
    mnuStopJob->setEnabled(r.DownloadStop);
}

void TFrmMain::PrepareJobListPopup() {
    const TJobMenuRules r = JobMenuRules(JobList->rowCount() > 0, FirstSelectedJob());
    mnuJobListAdd->setEnabled(r.Add);
    mnuJobListSelectAll->setEnabled(r.SelectAll);
    mnuJobListStartAll->setEnabled(r.StartAll);
    mnuJobListStopAll->setEnabled(r.StopAll);
    mnuJobListEdit->setEnabled(r.Edit);
    mnuJobListSetPriority->setEnabled(r.SetPriority);
    mnuJobListDelete->setEnabled(r.Delete);
    mnuJobListCopyURL->setEnabled(r.CopyURL);
    mnuJobListExplore->setEnabled(r.Explore);
    mnuJobListStart->setEnabled(r.PopupStart);
    mnuJobListStop->setEnabled(r.PopupStop);
    mnuJobListLaunch->setEnabled(r.PopupLaunch);
    mnuJobListDownloadAgain->setEnabled(r.PopupDownloadAgain);
}

void TFrmMain::mnuOptionsClick() {
    mnuShowSideBar->setChecked(imgSideBar->isVisibleTo(this));
    mnuBrowserIntegration->setChecked(MainBool("BrowserIntegration", false));
    mnuClipboardMonitoring->setChecked(MainBool("ClipboardMonitoring", false));
    mnuDisconnectWhenComplete->setChecked(MainBool("DisconnectWhenComplete", false));
    mnuShutdownWhenDisconnect->setChecked(MainBool("ShutdownWhenDisconnect", false));
}

void TFrmMain::AddURL(const std::string& url, const std::string& comment, bool fromOutside,
                      const std::string& referer) {
    if (JobManager->HasURL(url)) return;
    if (std::unique_ptr<TJobItem> job = NewJobDialog(url, comment, fromOutside, referer, this))
        JobManager->AppendJob(std::move(job));
    JobManager->UpdateQueue();
    RefreshJobList(true);
}

void TFrmMain::AddJob() {
    AddURL("", "", false, "");
}

void TFrmMain::EditJob() {
    if (TJobItem* job = FirstSelectedJob()) EditJobDialog(*job, false, this);
    JobManager->UpdateQueue();
    RefreshJobList(false);
}

void TFrmMain::DeleteJob() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    std::vector<TJobItem*> jobs;
    for (auto r = rows.rbegin(); r != rows.rend(); ++r)
        if (TJobItem* job = RowJob(*r)) jobs.push_back(job);
    const bool showsDeleted = std::find(jobs.begin(), jobs.end(), LogJob) != jobs.end();
    if (!DeleteJobsDialog(jobs, this)) return;
    if (showsDeleted) LogJob = nullptr;           // the pane never reads a deleted job
    for (int r = 0; r < JobList->rowCount(); ++r) // the rows' jobs are gone
        JobList->item(r, 0)->setData(Qt::UserRole, QVariant());
    JobManager->UpdateQueue();
    RefreshJobList(true);
}

void TFrmMain::StartJob() {
    for (int r : SelectedRows())
        if (TJobItem* job = RowJob(r); job && !job->ReadBool("Completed"))
            job->WriteBool("Selected", true);
    JobManager->UpdateQueue();
    RefreshJobList(false);
}

void TFrmMain::StopJob() {
    for (int r : SelectedRows())
        if (TJobItem* job = RowJob(r); job && job->ReadBool("Selected")) {
            job->AddLog(ltError, "Stop", "");
            job->WriteBool("Selected", false);
        }
    JobManager->UpdateQueue();
    RefreshJobList(false);
}

void TFrmMain::StartAllJobs() {
    SelectAll();
    StartJob();
}

void TFrmMain::StopAllJobs() {
    SelectAll();
    StopJob();
}

void TFrmMain::SelectAll() {
    JobList->selectAll();
}

void TFrmMain::DeselectAll() {
    JobList->clearSelection();
}

void TFrmMain::SetPriority(int tag) {
    for (int r : SelectedRows())
        if (TJobItem* job = RowJob(r)) job->WriteInteger("Priority", tag);
    JobManager->UpdateQueue();
    RefreshJobList(true);
}

void TFrmMain::JobListDblClick() {
    TJobItem* job = FirstSelectedJob();
    if (!job) return;
    if (job->ReadBool("Completed"))
        mnuJobListLaunchClick();
    else
        EditJob();
}

void TFrmMain::mnuJobListCopyURLClick() {
    TJobItem* job = FirstSelectedJob();
    if (!job) return;
    LastClipboardText = job->ReadString("URL");
    QGuiApplication::clipboard()->setText(ScreenText(LastClipboardText));
}

void TFrmMain::mnuJobListLaunchClick() {
    TJobItem* job = FirstSelectedJob();
    if (!job || !job->ReadBool("Completed")) return;
    platform::ShellOpen(platform::Cp1252ToUtf8(job->ReadString("Download.TargetFileName")),
                        platform::Cp1252ToUtf8(job->ReadString("DownloadDirectory")));
}

void TFrmMain::mnuJobListExploreClick() {
    if (TJobItem* job = FirstSelectedJob())
        platform::ShellExplore(platform::Cp1252ToUtf8(job->ReadString("DownloadDirectory")));
}

void TFrmMain::mnuJobListDownloadAgainClick() {
    TJobItem* job = FirstSelectedJob();
    if (!job) return;
    job->WriteString("Download.Reset", "Manually Restarted");
    job->WriteBool("Completed", false);
    job->WriteBool("Selected", true);
    JobManager->UpdateQueue();
    RefreshJobList(false);
}

void TFrmMain::DisplayPreferences() {
    DesktopHooks().ShowPreferences();
    JobManager->UpdateQueue();
    RefreshJobList(false);
}

void TFrmMain::AutoUpdate() {
    DesktopHooks().Notify("MANUAL_UPDATE");
    DesktopHooks().ShowAndCheck();
}

void TFrmMain::DisplayNews() {
    DesktopHooks().Notify("NEWS_MANUAL_DISPLAY");
    DesktopHooks().ShowNews();
}

void TFrmMain::HelpMenuClick(QAction* item) {
    const std::string address = LangText("URL." + item->objectName().toStdString());
    if (!OpenInBrowser(address))
        QMessageBox::information(this, windowTitle(), LT("MainForm.Msg.BrowserCannotBeLaunched"));
}

void TFrmMain::GoHome() {
    HelpMenuClick(mnuVelomarHome);
}

void TFrmMain::SendSuggestion() {
    HelpMenuClick(mnuEmailAuthors);
}

void TFrmMain::ToggleVisibility() {
    if (isVisible()) {
        hide();
    } else {
        show();
        ActivateApp();
    }
    mnuShow->setChecked(isVisible());
}

// Checkable items have already flipped their mark when they trigger, so the
// mark now is "not the mark when clicked".
void TFrmMain::ToggleMainSetting(const char* key, QAction* item) {
    SettingsFile->WriteBool("Main", key, item->isChecked());
    SettingsFile->UpdateFile();
}

void TFrmMain::ToggleBrowserIntegration(QAction* item) {
    ToggleMainSetting("BrowserIntegration", item ? item : mnuBrowserIntegration);
    DesktopHooks().UpdateBrowserIntegration();
}

void TFrmMain::ToggleClipboardMonitoring(QAction* item) {
    ToggleMainSetting("ClipboardMonitoring", item ? item : mnuClipboardMonitoring);
}

void TFrmMain::ToggleDisconnectWhenComplete() {
    ToggleMainSetting("DisconnectWhenComplete", mnuDisconnectWhenComplete);
}

void TFrmMain::ToggleShutdownWhenDisconnect() {
    ToggleMainSetting("ShutdownWhenDisconnect", mnuShutdownWhenDisconnect);
}

void TFrmMain::mnuOptionsShowSideBarClick() {
    SettingsFile->WriteBool("Main", "ShowSideBar", mnuShowSideBar->isChecked());
    UpdateSideBar();
}

void TFrmMain::ExitApplication() {
    close();
}
