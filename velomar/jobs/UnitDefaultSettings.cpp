#include "jobs/UnitDefaultSettings.h"

#include "platform/Cp1252.h"
#include "platform/DateTimeText.h"
#include "platform/ProgramPath.h"
#include "storage/UnitLogFiles.h"

#include <string>

// Nineteen characters, under a domain reserved for examples.
const char* const kAnonymousPassword = "velomar@example.com";

namespace {

const char* const kMain = "Main";
const char* const kOldExtensions = "ZIP EXE BIN GZ Z TAR ARJ LZH MP3";
constexpr platform::UnixSeconds kDay = 24 * 60 * 60;

void SetTrue(const char* key) {
    SettingsFile->WriteBool(kMain, key, true);
}

// Runs `body` once per installation: only while `flag` is unset, setting it first.
template <class Body> void Step(const char* flag, Body body) {
    if (SettingsFile->ReadBool(kMain, flag, false)) return;
    SetTrue(flag);
    body();
}

void FirstRun() {
    auto& f = *SettingsFile;
    f.WriteString(kMain, "DownloadDirectory",
                  platform::Utf8ToCp1252(platform::ProgramFolder()) + "Download/");
    f.WriteInteger(kMain, "MaxDownloadingJobs", 5);
    f.WriteInteger(kMain, "Sockets", 3);
    f.WriteInteger(kMain, "Section.Count", 0);
    f.WriteInteger(kMain, "Job.Count", 0);
    f.WriteBool(kMain, "DownloadImmediately", true);
    f.WriteBool(kMain, "AllocFileSize", true);
    f.WriteInteger(kMain, "HTTP.MinRangeSize", 51200);
    f.WriteInteger(kMain, "HTTP.MaxRangeSize", 204800);
    f.WriteInteger(kMain, "FTP.MinRangeSize", 51200);
    f.WriteInteger(kMain, "FTP.MaxRangeSize", 204800);
    f.WriteInteger(kMain, "PulseInterval", 100);
    f.WriteString(kMain, "Authentication.UserID", "anonymous");
    f.WriteString(kMain, "Authentication.UserPwd", kAnonymousPassword);
    f.WriteInteger(kMain, "BPS.MaxSeconds", 5);
    f.WriteBool(kMain, "ClipboardMonitoring", true);
    f.WriteString(kMain, "ClipboardExtensions", kOldExtensions);
    f.WriteBool(kMain, "BrowserIntegration", true);
    f.WriteString(kMain, "BrowserExtensions", kOldExtensions);
    f.WriteBool(kMain, "AlwaysRetry", false);
    f.WriteInteger(kMain, "MaxRetries", 10);
    f.WriteInteger(kMain, "RetryDelay", 10);
    f.WriteInteger(kMain, "NextAutoUpdateDelay", 3);
    f.WriteDateTime(kMain, "NextAutoUpdate", platform::NowSeconds() + 3 * kDay);
}

} // namespace

void InstallDefaults() {
    Step("Installed", FirstRun);
    Step("Installed.24", [] {
        for (const char* key : {"ShowAddURL", "LinkDesktop", "LinkProgramsMenu", "LinkStartUpMenu",
                                "StartOnTray", "LinkAutoUpdateOnStartMenu"})
            SetTrue(key);
    });
    Step("Installed.25", [] {
        SetTrue("ShowJobComplete");
        SetTrue("OnlyWindowsStartUp");
    });
    Step("Installed.26", [] { SetTrue("CheckForNewLink"); });
    Step("Installed.27", [] { SetTrue("WebControl.Active"); });
    Step("Installed.28", [] {
        auto& f = *SettingsFile;
        f.WriteString(kMain, "ClipboardExtensions", "zip exe bin tar z gz bz2 a?? r?? lzh mp3");
        f.WriteString(kMain, "BrowserExtensions", f.ReadString(kMain, "ClipboardExtensions", ""));
        SetTrue("ApplyExtensionExclusions");
        f.WriteString(kMain, "ExtensionExclusions", "*/webmail.exe *.asp *.ram");
        SetTrue("AggressiveCapturing");
        f.DeleteKey(kMain, "CheckForNewLink");
    });
}
