#pragma once
// The desktop's logic apart from its windows: command-line words and start
// modes, the hand-overs between instances, the cells and menu rules of the
// job list, the timer's update step and opening addresses in the browser.
#include <array>
#include <string>
#include <vector>

class TJobItem;
namespace platform {
class RegisteredMessage;
}

extern const char* const kInstanceNotificationMessage; // "Velomar Instance Notification"
extern const char* const kRegistryURLMessage;          // "Velomar Registry URL Checking"
extern const char* const kVelomarKey;                  // Software\Orvane\Velomar
extern const char* const kURLHandOverKey;              // Software\Orvane\Velomar\URL
constexpr int kNotifyParam = 23;
constexpr int kRegistryURLAnswer = -23;

// The start mode of this run; "other" unless the command line names one.
extern std::string StartMode;

// Examines every argument on its own: "velcmd."+command (prefix in any case)
// writes the command to "ShellCommand", "velstart."+mode sets StartMode (the
// last one wins). Returns the remaining arguments that are not options (the
// URLs to add), in order. Needs no settings file.
std::vector<std::string> ProcessCommandLine(const std::vector<std::string>& args);
// The rest of the command-line step, once the settings file is open: the log
// line "VelStartMode = <mode>" and the counter "StartMode.<mode>".
void CountStartMode();

// Takes "ShellCommand" out of the registry (read and delete) and runs it:
// "autoupdate" opens the update check; anything else is dropped. Returns
// what was read (empty when nothing was there).
std::string CheckShellCommand();

// Takes the hand-over key in one step; false when there is none.
bool TakeRegistryURL(std::string& url, std::string& comment, std::string& referer);
// A second start's hand-over of one URL: waits until no earlier hand-over is
// pending, writes the key, sends the URL message and waits until the running
// instance has taken the key. False when the key stayed (no instance took it
// within `timeoutMs`); it is then read at the running instance's next check.
bool HandOverURL(const std::string& url, const std::string& comment, const std::string& referer,
                 const platform::RegisteredMessage& message, int timeoutMs = 10000);

// Text of the "File" column: the URL's part after its last "/".
std::string JobFileText(const std::string& url);
// The ten cells of a job's row, as stored.
std::array<std::string, 10> JobCells(TJobItem& job);

// Which job commands are enabled, for the first selected job (none: no row
// is selected) in a list that has rows or not.
struct TJobMenuRules {
    bool SelectAll = false, DeselectAll = false, Add = true, Edit = false, Delete = false;
    bool StartAll = false, StopAll = false;
    bool DownloadStart = false, DownloadStop = false;
    bool PopupStart = false, PopupStop = false, PopupLaunch = false, PopupDownloadAgain = false;
    bool SetPriority = false, CopyURL = false, Explore = false;
};
TJobMenuRules JobMenuRules(bool hasRows, TJobItem* first);

// The timer's update step: true when the silent check is due now, in which
// case "NextAutoUpdate" has moved on by "NextAutoUpdateDelay" days.
bool AutoUpdateDue();

// Whether the main window is shown at start ("StartOnTray",
// "OnlyWindowsStartUp" and the start mode).
bool ShowMainWindowAtStart();

// Opens `url` with the program that opens ".htm" files; false when there is
// none or it cannot be started.
bool OpenInBrowser(const std::string& url);
