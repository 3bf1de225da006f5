#include "desktop/FormMain.h"

#include "desktop/FormPictures.h"
#include "desktop/FormProgram.h"
#include "desktop/FormTerms.h"
#include "desktop/FormTexts.h"
#include "desktop/UnitDesktopHooks.h"
#include "desktop/UnitRoutines.h"
#include "engine/FormGetAuthentication.h"
#include "engine/UnitEngineUI.h"
#include "jobs/FormJobComplete.h"
#include "jobs/UnitJobManagement.h"
#include "storage/UnitLogFiles.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

TFrmMain* FrmMain = nullptr;

std::function<bool(QWidget*)> TFrmMain::AskTerms = [](QWidget* owner) {
    TFrmTerms terms(owner);
    return terms.exec() == QDialog::Accepted;
};

namespace {

constexpr int kStateRole = Qt::UserRole + 1;
constexpr int kJobRole = Qt::UserRole;

struct TColumn {
    bool right;
    int minWidth;
    int width;
};
// File, Priority, Size, Ratio, Bps, Elapsed, Time Left, Engines, URL, Comment.
constexpr TColumn kColumns[10] = {
    {false, 100, 100}, {true, 50, 50},  {true, 50, 75}, {true, 50, 50},   {true, 50, 65},
    {false, 60, 70},   {false, 60, 70}, {true, 50, 70}, {false, 50, 150}, {false, 50, 200}};
const char* const kDefaultCaptions[10] = {"File",    "Priority",  "Size",    "Ratio", "Bps",
                                          "Elapsed", "Time Left", "Engines", "URL",   "Comment"};

// The engine's prompts, shown by the desktop.
class TDesktopEngineUI : public TEngineUI {
public:
    explicit TDesktopEngineUI(TFrmMain& main) : main_(main) {}
    bool AskCredentials(const std::string& realm, std::string& user,
                        std::string& password) override {
        return AskCredentialsDialog(realm, user, password);
    }
    void DownloadComplete(const std::string& url) override {
        main_.JobCompleteNotice()->AddCompletedURL(url);
    }

private:
    TFrmMain& main_;
};

QTableWidget* ReportView(QWidget* parent, const char* name) {
    auto* t = new QTableWidget(parent);
    t->setObjectName(name);
    t->setShowGrid(true);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(20);
    t->horizontalHeader()->setHighlightSections(false);
    t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    t->setWordWrap(false);
    t->setIconSize(QSize(16, 16));
    return t;
}

} // namespace

TFrmMain::TFrmMain(QWidget* parent) : QMainWindow(parent) {
    FrmMain = this;
    setObjectName("FrmMain");
    setWindowIcon(ProgramIcon());
    resize(628, 445);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    BuildMenus();
    BuildToolBar();
    BuildClient();
    BuildShortcuts();
    Timer = new QTimer(this);
    Timer->setInterval(500); // enabled at the end of the creation
    connect(Timer, &QTimer::timeout, this, &TFrmMain::DoTimerTasks);
    engineUI_ = std::make_unique<TDesktopEngineUI>(*this);
    SetEngineUI(engineUI_.get());
}

TFrmMain::~TFrmMain() {
    // FormDestroy
    Timer->stop();
    DesktopHooks().RevokeDropTarget();
    DesktopHooks().RemoveTrayIcon();
    DesktopHooks().FreeUpdateWindow();
    delete jobComplete_.data();
    if (JobManager) JobManager->OnChange = nullptr;
    SetEngineUI(nullptr);
    if (FrmMain == this) FrmMain = nullptr;
}

void TFrmMain::BuildToolBar() {
    ToolBar = addToolBar(QString());
    ToolBar->setObjectName("ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setIconSize(QSize(24, 24));
    const auto tool = [this](TToolPicture pic, const char* name, void (TFrmMain::*slot)()) {
        QAction* a = ToolBar->addAction(ToolIcon(pic), QString());
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    ToolAdd = tool(TToolPicture::Add, "ToolAdd", &TFrmMain::AddJob);
    ToolEdit = tool(TToolPicture::Edit, "ToolEdit", &TFrmMain::EditJob);
    ToolDelete = tool(TToolPicture::Delete, "ToolDelete", &TFrmMain::DeleteJob);
    ToolBar->addSeparator();
    ToolStart = tool(TToolPicture::Start, "ToolStart", &TFrmMain::StartJob);
    ToolStop = tool(TToolPicture::Stop, "ToolStop", &TFrmMain::StopJob);
    ToolBar->addSeparator();
    ToolPreferences =
        tool(TToolPicture::Preferences, "ToolPreferences", &TFrmMain::DisplayPreferences);
    ToolBar->addSeparator();
    ToolAutoUpdate = tool(TToolPicture::AutoUpdate, "ToolAutoUpdate", &TFrmMain::AutoUpdate);
    ToolSuggestion = tool(TToolPicture::Suggestion, "ToolSuggestion", &TFrmMain::SendSuggestion);
    ToolBar->addSeparator();
    ToolNews = tool(TToolPicture::News, "ToolNews", &TFrmMain::DisplayNews);
    auto* spacer = new QWidget(ToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ToolBar->addWidget(spacer);
    imgSmallLogo = new QLabel(ToolBar);
    imgSmallLogo->setObjectName("imgSmallLogo");
    imgSmallLogo->setPixmap(SmallLogo());
    imgSmallLogo->setCursor(Qt::PointingHandCursor);
    imgSmallLogo->installEventFilter(this);
    ToolBar->addWidget(imgSmallLogo);
}

void TFrmMain::BuildClient() {
    auto* client = new QWidget(this);
    auto* row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    imgSideBar = new QLabel(client);
    imgSideBar->setObjectName("imgSideBar");
    imgSideBar->setFixedWidth(36);
    imgSideBar->setAutoFillBackground(true);
    QPalette pal = imgSideBar->palette();
    pal.setColor(QPalette::Window, SideBarColour());
    imgSideBar->setPalette(pal);
    imgSideBar->setAlignment(Qt::AlignBottom | Qt::AlignHCenter);
    imgSideBar->setCursor(Qt::PointingHandCursor);
    imgSideBar->installEventFilter(this);
    row->addWidget(imgSideBar);

    Splitter = new QSplitter(Qt::Vertical, client);
    Splitter->setObjectName("Splitter");
    JobList = ReportView(Splitter, "JobList");
    JobList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    JobList->setColumnCount(10);
    for (int c = 0; c < 10; ++c) {
        auto* head = new QTableWidgetItem(kDefaultCaptions[c]);
        head->setTextAlignment((kColumns[c].right ? Qt::AlignRight : Qt::AlignLeft) |
                               Qt::AlignVCenter);
        JobList->setHorizontalHeaderItem(c, head);
        JobList->setColumnWidth(c, kColumns[c].width);
    }
    JobList->horizontalHeader()->setMinimumSectionSize(20);
    connect(JobList->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int c, int, int size) {
                if (c >= 0 && c < 10 && size < kColumns[c].minWidth)
                    JobList->setColumnWidth(c, kColumns[c].minWidth);
            });
    JobList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(JobList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { MenuJobList->popup(JobList->viewport()->mapToGlobal(at)); });
    connect(JobList, &QTableWidget::cellDoubleClicked, this, [this] { JobListDblClick(); });
    connect(JobList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                std::vector<int> off, on;
                for (const QModelIndex& i : deselected.indexes())
                    if (i.column() == 0) off.push_back(i.row());
                for (const QModelIndex& i : selected.indexes())
                    if (i.column() == 0) on.push_back(i.row());
                for (int r : off)
                    JobListSelectItem(r, false);
                for (int r : on)
                    JobListSelectItem(r, true);
            });

    LogPanel = new QTabWidget(Splitter);
    LogPanel->setObjectName("LogPanel");
    JobLog = ReportView(LogPanel, "JobLog");
    JobLog->setSelectionMode(QAbstractItemView::SingleSelection);
    JobLog->setColumnCount(2);
    JobLog->setHorizontalHeaderItem(0, new QTableWidgetItem("Date"));
    JobLog->setHorizontalHeaderItem(1, new QTableWidgetItem("Description"));
    JobLog->setColumnWidth(0, 150);
    JobLog->horizontalHeader()->setStretchLastSection(true);
    LogPanel->addTab(JobLog, "Log");
    Splitter->addWidget(JobList);
    Splitter->addWidget(LogPanel);
    Splitter->setStretchFactor(0, 3);
    Splitter->setStretchFactor(1, 2);
    row->addWidget(Splitter);
    setCentralWidget(client);
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == imgSideBar && event->type() == QEvent::Resize)
        imgSideBar->setPixmap(BigLogo(imgSideBar->height()));
    if ((watched == imgSmallLogo || watched == imgSideBar) &&
        event->type() == QEvent::MouseButtonRelease) {
        GoHome();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TFrmMain::MainBool(const char* key, bool def) const {
    return SettingsFile ? SettingsFile->ReadBool("Main", key, def) : def;
}

bool TFrmMain::FormCreate() {
    TDesktopHooks& hooks = DesktopHooks();
    LangManager->LoadCurrent(); // 1
    hooks.CreateUpdateWindow(); // 2
    ApplyTexts();               // 3
    hooks.InstallBrowserMenus();
    hooks.UpdateShortcuts();
    UpdateSideBar();
    SetApplicationExceptionHandler([](const std::string& message) { // 4
        WriteLog("Error: " + message);
    });
    // 5: no COM server part here, so nothing keeps or ends the program early.
    JobManager->OnChange = [this](TJobItem* sender, std::uint8_t code) { // 6
        JobManagerChanged(sender, code);
    };
    JobManager->UpdateQueue();
    RefreshJobList(true);
    hooks.AddTrayIcon();                 // 7
    hooks.RegisterCompanionLibrary();    // 8
    hooks.UpdateBrowserIntegration();    // 9
    WriteLog("Registering DragDrop..."); // 10
    hooks.RegisterDropTarget();
    CheckURLPending = true; // 11
    ShellCommandPending = true;
    Timer->start();
    if (ShowMainWindowAtStart()) show(); // 12
    if (!MainBool("AcceptedTerms", false)) {
        show();
        if (AskTerms(this)) SettingsFile->WriteBool("Main", "AcceptedTerms", true);
        if (!MainBool("AcceptedTerms", false)) return false;
    }
    mnuShow->setChecked(isVisible()); // a start on the notification area leaves it hidden
    if (!MainBool("WebControl.Installed", false)) DisplayPreferences(); // 13
    return true;
}

void TFrmMain::FormShow(QObject* sender) {
    if (!sender) ApplyTexts();
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit(); // closing the main window ends the program
}

void TFrmMain::UpdateSideBar() {
    imgSideBar->setVisible(MainBool("ShowSideBar", true));
}

void TFrmMain::ActivateApp() {
    WriteLog("Activating main window.");
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

TFrmJobComplete* TFrmMain::JobCompleteNotice() {
    if (!jobComplete_) jobComplete_ = new TFrmJobComplete(this);
    return jobComplete_;
}

void TFrmMain::InstanceNotification() {
    WriteLog("OTHER_INSTANCE_NOTIFICATION");
    ActivatePending = true;
    ShellCommandPending = true;
}

std::int64_t TFrmMain::RegistryURLChecking() {
    WriteLog("CHECK_URLS_IN_REGISTRY");
    CheckURLPending = true;
    return kRegistryURLAnswer;
}

void TFrmMain::CheckRegistryURL() {
    std::string url, comment, referer;
    if (TakeRegistryURL(url, comment, referer)) AddURL(url, comment, true, referer);
}

void TFrmMain::DoTimerTasks() {
    Timer->stop();
    // Re-enabled however the steps end; an exception then goes on to the
    // application's handler.
    struct Restart {
        QTimer* t;
        ~Restart() { t->start(); }
    } restart{Timer};
    TDesktopHooks& hooks = DesktopHooks();
    if (MainBool("ClipboardMonitoring", false)) hooks.CheckClipboard();
    if (CheckURLPending) {
        CheckURLPending = false;
        CheckRegistryURL();
    }
    if (ShellCommandPending) {
        ShellCommandPending = false;
        CheckShellCommand();
    }
    if (ActivatePending) {
        ActivatePending = false;
        ActivateApp();
    }
    if (RefreshPending) {
        RefreshPending = false;
        RefreshJobList(false);
    }
    if (AutoUpdateDue()) {
        hooks.Notify("AUTO_UPDATE");
        hooks.StartCheck();
    }
    if (MainBool("ScheduledStartUp", false)) hooks.CheckScheduledStart();
    if (MainBool("ScheduledHangUp", false)) hooks.CheckScheduledHangUp();
}

void TFrmMain::JobManagerChanged(TJobItem* /*sender*/, std::uint8_t code) {
    switch (code) {
    case ncChanged:
        RefreshPending = true;
        break;
    case ncLogAdded:
        RefreshJobLog(false);
        break;
    case ncAllDone:
        DesktopHooks().AllJobsDone();
        break;
    default:
        break;
    }
}

TJobItem* TFrmMain::RowJob(int row) const {
    QTableWidgetItem* item = JobList->item(row, 0);
    return item ? static_cast<TJobItem*>(item->data(kJobRole).value<void*>()) : nullptr;
}

std::vector<int> TFrmMain::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : JobList->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

TJobItem* TFrmMain::FirstSelectedJob() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? nullptr : RowJob(rows.front());
}

void TFrmMain::RefreshJobList(bool rebuild) {
    ++RefreshCount;
    if (rebuild) {
        JobList->setRowCount(0);
        std::vector<TJobItem*> jobs;
        for (std::size_t i = 0; i < JobManager->Count(); ++i)
            jobs.push_back(JobManager->Job(i));
        // Ascending priority number; equal priorities keep their list order.
        std::stable_sort(jobs.begin(), jobs.end(), [](TJobItem* a, TJobItem* b) {
            return a->ReadInteger("Priority") < b->ReadInteger("Priority");
        });
        JobList->setRowCount(static_cast<int>(jobs.size()));
        for (int r = 0; r < static_cast<int>(jobs.size()); ++r) {
            for (int c = 0; c < 10; ++c) {
                auto* item = new QTableWidgetItem;
                item->setTextAlignment((kColumns[c].right ? Qt::AlignRight : Qt::AlignLeft) |
                                       Qt::AlignVCenter);
                JobList->setItem(r, c, item);
            }
            JobList->item(r, 0)->setData(kJobRole,
                                         QVariant::fromValue(static_cast<void*>(jobs[r])));
            JobList->item(r, 0)->setData(kStateRole, -1);
        }
    }
    for (int r = 0; r < JobList->rowCount(); ++r)
        if (TJobItem* job = RowJob(r)) FillRow(r, *job);
    RefreshJobLog(false);
}

void TFrmMain::FillRow(int row, TJobItem& job) {
    QTableWidgetItem* first = JobList->item(row, 0);
    if (first->data(kStateRole).toInt() != job.State) {
        first->setData(kStateRole, job.State);
        first->setIcon(JobStateIcon(job.State));
    }
    const std::array<std::string, 10> cells = JobCells(job);
    for (int c = 0; c < 10; ++c) {
        const QString text = ScreenText(cells[static_cast<std::size_t>(c)]);
        QTableWidgetItem* item = JobList->item(row, c);
        if (item->text() != text) item->setText(text);
    }
}

void TFrmMain::JobListSelectItem(int row, bool selected) {
    TJobItem* previous = LogJob;
    LogJob = nullptr;
    if (!selected) return;
    LogJob = RowJob(row);
    if (LogJob != previous) RefreshJobLog(true);
}

void TFrmMain::RefreshJobLog(bool full) {
    if (LogJob && JobManager->IndexOf(LogJob) < 0) LogJob = nullptr; // removed meanwhile
    if (!LogJob) {
        JobLog->setRowCount(0);
        return;
    }
    const int count = static_cast<int>(LogJob->ReadInteger("LogCount"));
    if (full || count < JobLog->rowCount()) JobLog->setRowCount(0);
    for (int n = JobLog->rowCount() + 1; n <= count; ++n) {
        const TLogEntry e = ReadLogEntry(*LogJob, n);
        const int r = JobLog->rowCount();
        JobLog->setRowCount(r + 1);
        auto* moment = new QTableWidgetItem(LogTypeIcon(e.Type), ScreenText(e.Moment));
        JobLog->setItem(r, 0, moment);
        JobLog->setItem(r, 1, new QTableWidgetItem(ScreenText(e.Text)));
        JobLog->scrollToItem(moment);
    }
}
