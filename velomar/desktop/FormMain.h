#pragma once
// The main window: the job list with live figures, the selected job's log,
// every job command, and the 500 ms timer that runs the program's periodic
// work in its fixed order.
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolBar;
class TFrmJobComplete;
class TJobItem;
class TEngineUI;

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override; // FormDestroy

    // The creation steps; false when the terms were refused (the program then
    // ends at once and the later steps do not run).
    bool FormCreate();
    void FormShow(QObject* sender);
    void ApplyTexts();

    // Job commands.
    void AddJob();
    void EditJob();
    void DeleteJob();
    void StartJob();
    void StopJob();
    void StartAllJobs();
    void StopAllJobs();
    void SelectAll();
    void DeselectAll();
    void SetPriority(int tag);
    void JobListDblClick();
    void mnuJobListCopyURLClick();
    void mnuJobListLaunchClick();
    void mnuJobListExploreClick();
    void mnuJobListDownloadAgainClick();
    void DisplayPreferences();
    void AutoUpdate();
    void DisplayNews();
    void HelpMenuClick(QAction* item);
    void GoHome();
    void SendSuggestion();
    void ToggleVisibility();
    // `item`: the menu item clicked (the Options item when none is given).
    void ToggleBrowserIntegration(QAction* item = nullptr);
    void ToggleClipboardMonitoring(QAction* item = nullptr);
    void ToggleDisconnectWhenComplete();
    void ToggleShutdownWhenDisconnect();
    void mnuOptionsShowSideBarClick();
    void ExitApplication();

    // Menus opening: enabling rules and check marks.
    void PrepareJobListPopup();
    void ConfigureEditMenu();
    void ConfigureDownloadMenu();
    void mnuOptionsClick();

    void AddURL(const std::string& url, const std::string& comment, bool fromOutside,
                const std::string& referer);
    void RefreshJobList(bool rebuild);
    void RefreshJobLog(bool full);
    void JobListSelectItem(int row, bool selected);
    void JobManagerChanged(TJobItem* sender, std::uint8_t code);
    void UpdateSideBar();
    void ActivateApp();
    TFrmJobComplete* JobCompleteNotice();
    void DoTimerTasks();
    void CheckRegistryURL();

    // The two registered messages reaching this window.
    void InstanceNotification();
    std::int64_t RegistryURLChecking();

    // The job of a row; rows and the jobs of the selected rows, first row first.
    TJobItem* RowJob(int row) const;
    std::vector<int> SelectedRows() const;
    TJobItem* FirstSelectedJob() const;

    // How many times the list was refreshed (for the performance contract).
    int RefreshCount = 0;

    // Asks for the terms; replaceable so that a run can answer without a user.
    static std::function<bool(QWidget* owner)> AskTerms;

    bool CheckURLPending = false;
    bool ShellCommandPending = false;
    bool ActivatePending = false;
    bool RefreshPending = false;
    std::string LastClipboardText;
    TJobItem* LogJob = nullptr;

    QToolBar* ToolBar;
    QLabel* imgSmallLogo;
    QLabel* imgSideBar;
    QTableWidget* JobList;
    QSplitter* Splitter;
    QTabWidget* LogPanel;
    QTableWidget* JobLog;
    QTimer* Timer;
    QMenu *mnuFile, *mnuEdit, *mnuDownload, *mnuOptions, *mnuHelp;
    QMenu *MenuJobList, *MenuTray, *mnuJobListSetPriority;
    QAction *mnuShow, *mnuExit, *mnuSelectAll, *mnuDeselectAll, *mnuAddJob, *mnuEditJob,
        *mnuDeleteJob;
    QAction *mnuStartJob, *mnuStopJob, *mnuStartAllJobs, *mnuStopAllJobs;
    QAction *mnuBrowserIntegration, *mnuClipboardMonitoring, *mnuDisconnectWhenComplete,
        *mnuShutdownWhenDisconnect, *mnuShowSideBar, *mnuPreferences;
    QAction *mnuTopics, *mnuVelomarHome, *mnuWhatsNew, *mnuFrequentlyAskedQuestions,
        *mnuEmailAuthors, *mnuRecommendToFriend, *mnuAutoUpdate;
    QAction *mnuJobListStart, *mnuJobListStartAll, *mnuJobListStop, *mnuJobListStopAll,
        *mnuJobListAdd, *mnuJobListEdit, *mnuJobListDelete, *mnuJobListCopyURL, *mnuJobListLaunch,
        *mnuJobListExplore, *mnuJobListDownloadAgain, *mnuJobListSelectAll;
    QAction *mnuSetPriorityHigh, *mnuSetPriorityNormal, *mnuSetPriorityLow, *mnuSetPriorityVeryLow;
    QAction *mnuTrayShow, *mnuTrayAdd, *mnuTrayBrowserIntegration, *mnuTrayClipboardMonitoring,
        *mnuTrayPreferences, *mnuTrayAutoUpdate, *mnuTrayExit;
    QAction *ToolAdd, *ToolEdit, *ToolDelete, *ToolStart, *ToolStop, *ToolPreferences,
        *ToolAutoUpdate, *ToolSuggestion, *ToolNews;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildClient();
    void BuildShortcuts();
    void FillRow(int row, TJobItem& job);
    void ToggleMainSetting(const char* key, QAction* item);
    bool MainBool(const char* key, bool def) const;

    QPointer<TFrmJobComplete> jobComplete_;
    std::unique_ptr<TEngineUI> engineUI_;
};

// The one main window while it exists.
extern TFrmMain* FrmMain;
