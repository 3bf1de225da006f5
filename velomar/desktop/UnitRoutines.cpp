#include "desktop/UnitRoutines.h"

#include "desktop/UnitDesktopHooks.h"
#include "platform/Cp1252.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/Timer.h"
#include "platform/WindowMessages.h"
#include "storage/UnitJobItem.h"
#include "storage/UnitLogFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>
#include <cctype>

const char* const kInstanceNotificationMessage = "Velomar Instance Notification";
const char* const kRegistryURLMessage = "Velomar Registry URL Checking";
const char* const kVelomarKey = "\\Software\\Orvane\\Velomar";
const char* const kURLHandOverKey = "\\Software\\Orvane\\Velomar\\URL";

std::string StartMode = "other";

namespace {

constexpr platform::UnixSeconds kDay = 24 * 60 * 60;

bool HasPrefix(const std::string& arg, const char* prefix) {
    const std::size_t n = std::char_traits<char>::length(prefix);
    if (arg.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(arg[i])) != prefix[i]) return false;
    return true;
}

bool MainBool(const char* key, bool def) {
    return SettingsFile ? SettingsFile->ReadBool("Main", key, def) : def;
}

} // namespace

std::vector<std::string> ProcessCommandLine(const std::vector<std::string>& args) {
    StartMode = "other";
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (HasPrefix(arg, "velcmd.")) {
            platform::Registry reg;
            if (reg.OpenKey(kVelomarKey, true)) reg.WriteString("ShellCommand", arg.substr(7));
        } else if (HasPrefix(arg, "velstart.")) {
            StartMode = arg.substr(9);
        } else if (!arg.empty() && arg[0] != '-') {
            rest.push_back(arg);
        }
    }
    return rest;
}

void CountStartMode() {
    WriteLog("VelStartMode = " + StartMode);
    if (SettingsFile) SettingsFile->AddStatistic("StartMode." + StartMode, 1);
}

std::string CheckShellCommand() {
    platform::Registry reg;
    std::string command;
    if (reg.OpenKey(kVelomarKey, false) && reg.ValueExists("ShellCommand")) {
        command = reg.ReadString("ShellCommand").value_or("");
        reg.DeleteValue("ShellCommand");
    }
    reg.CloseKey();
    if (!command.empty()) WriteLog("SHELL_COMMAND " + command);
    if (command == "autoupdate") DesktopHooks().ShowAndCheck();
    return command;
}

bool TakeRegistryURL(std::string& url, std::string& comment, std::string& referer) {
    platform::Registry reg;
    auto values = reg.TakeKey(kURLHandOverKey, {"URL", "Comment", "Referer"});
    if (!values) return false;
    url = (*values)[0];
    comment = (*values)[1];
    referer = (*values)[2];
    return true;
}

bool HandOverURL(const std::string& url, const std::string& comment, const std::string& referer,
                 const platform::RegisteredMessage& message, int timeoutMs) {
    platform::Registry reg;
    const QDeadlineTimer deadline(timeoutMs);
    const std::vector<std::pair<std::string, std::string>> values = {
        {"URL", url}, {"Comment", comment}, {"Referer", referer}};
    // An earlier hand-over still pending is the running instance's to take;
    // ours waits for it, so that neither replaces the other.
    while (!reg.WriteStrings(kURLHandOverKey, values, true)) {
        if (deadline.hasExpired()) {
            if (!reg.WriteStrings(kURLHandOverKey, values, true)) return false;
            break;
        }
        message.Broadcast(0, 0, 2000);
        QThread::msleep(50);
    }
    message.Broadcast(0, 0, 5000);
    while (reg.KeyExists(kURLHandOverKey)) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    return true;
}

std::string JobFileText(const std::string& url) {
    const auto slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

std::array<std::string, 10> JobCells(TJobItem& job) {
    static const char* const keys[10] = {"URL",
                                         "Priority",
                                         "Download.Size",
                                         "Download.Ratio",
                                         "Download.BPS",
                                         "Download.ElapsedTime",
                                         "Download.EstimatedTime",
                                         "Sockets",
                                         "URL",
                                         "Comment"};
    std::array<std::string, 10> cells;
    for (int i = 0; i < 10; ++i)
        cells[static_cast<std::size_t>(i)] = job.ReadString(keys[i]);
    cells[0] = JobFileText(cells[0]);
    return cells;
}

TJobMenuRules JobMenuRules(bool hasRows, TJobItem* first) {
    TJobMenuRules r;
    r.SelectAll = r.DeselectAll = r.StartAll = r.StopAll = hasRows;
    if (!first) return r;
    const bool selected = first->ReadBool("Selected");
    const bool completed = first->ReadBool("Completed");
    r.Edit = r.Delete = r.SetPriority = r.CopyURL = r.Explore = true;
    r.DownloadStart = r.PopupStart = !selected && !completed;
    r.DownloadStop = !r.DownloadStart;
    r.PopupStop = selected;
    r.PopupLaunch = completed;
    r.PopupDownloadAgain = !selected;
    return r;
}

bool AutoUpdateDue() {
    if (!SettingsFile || MainBool("AvoidAutoUpdate", false)) return false;
    const platform::UnixSeconds now = platform::CurrentClock().Now();
    const platform::UnixSeconds next =
        SettingsFile->ReadDateTime("Main", "NextAutoUpdate", now - kDay);
    if (now < next) return false;
    const std::int64_t delay = SettingsFile->ReadInteger("Main", "NextAutoUpdateDelay", 7);
    SettingsFile->WriteDateTime("Main", "NextAutoUpdate", now + delay * kDay);
    return true;
}

bool ShowMainWindowAtStart() {
    if (!MainBool("StartOnTray", false)) return true;
    if (MainBool("OnlyWindowsStartUp", false)) return StartMode != "startup";
    return false;
}

bool OpenInBrowser(const std::string& url) {
    // A name of its own in the shared folder: a fixed one could be a link
    // planted by another user, and writing through it would clobber its target.
    QTemporaryFile probe(QDir::tempPath() + "/t~~!XXXXXX.htm");
    if (probe.open()) {
        probe.write("<HMTL> </HTML>\r\n");
        probe.flush();
    }
    const std::vector<std::string> program = platform::FindExecutable(
        probe.fileName().isEmpty() ? QDir::tempPath().toStdString() + "/t~~!.htm"
                                   : probe.fileName().toStdString());
    probe.remove();
    if (program.empty()) return false;
    return platform::StartProgram(program, {platform::Cp1252ToUtf8(url)});
}
