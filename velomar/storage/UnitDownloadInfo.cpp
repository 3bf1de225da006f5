#include "storage/UnitDownloadInfo.h"

#include "i18n/UnitLanguageManagement.h"
#include "platform/DateTimeText.h"
#include "storage/UnitLogFiles.h"

#include <algorithm>

// Every write reaches the settings file's journal before it returns, which is
// the flush the job code relies on; the INI text itself is refreshed by the
// settings file on its own schedule.

TDownloadInfo::TDownloadInfo(std::string section) : Section(std::move(section)) {}

std::string TDownloadInfo::ReadString(const std::string& key) {
    return SettingsFile ? SettingsFile->ReadString(Section, key, "") : std::string();
}

void TDownloadInfo::WriteString(const std::string& key, const std::string& value) {
    if (SettingsFile) SettingsFile->WriteString(Section, key, value);
}

std::int64_t TDownloadInfo::ReadInteger(const std::string& key) {
    return SettingsFile ? SettingsFile->ReadInteger(Section, key, 0) : 0;
}

void TDownloadInfo::WriteInteger(const std::string& key, std::int64_t value) {
    if (SettingsFile) SettingsFile->WriteInteger(Section, key, value);
}

bool TDownloadInfo::ReadBool(const std::string& key) {
    return SettingsFile && SettingsFile->ReadBool(Section, key, false);
}

void TDownloadInfo::WriteBool(const std::string& key, bool value) {
    if (SettingsFile) SettingsFile->WriteBool(Section, key, value);
}

void TDownloadInfo::DeleteKey(const std::string& key) {
    if (SettingsFile) SettingsFile->DeleteKey(Section, key);
}

void TDownloadInfo::AddLog(int type, const std::string& description, const std::string& info) {
    std::int64_t n = ReadInteger("LogCount") + 1;
    WriteInteger("LogCount", n);
    const std::string prefix = "Log" + std::to_string(n) + ".";
    WriteString(prefix + "Moment", platform::NowText());
    WriteInteger(prefix + "Type", type);
    WriteString(prefix + "Description", description);
    WriteString(prefix + "Info", info);
}

void TDownloadInfo::ClearLog() {
    // Entries are numbered without gaps, so no more of them exist than keys in
    // the section: a damaged count cannot stall the start-up here.
    const std::int64_t keys =
        SettingsFile ? static_cast<std::int64_t>(SettingsFile->ReadSection(Section).size()) : 0;
    const std::int64_t count = std::min(ReadInteger("LogCount"), keys);
    for (std::int64_t n = 1; n <= count; ++n) {
        const std::string prefix = "Log" + std::to_string(n) + ".";
        DeleteKey(prefix + "Moment");
        DeleteKey(prefix + "Type");
        DeleteKey(prefix + "Description");
        DeleteKey(prefix + "Info");
    }
    WriteInteger("LogCount", 0);
}

TLogEntry ReadLogEntry(TDownloadInfo& info, int n) {
    const std::string prefix = "Log" + std::to_string(n) + ".";
    TLogEntry e;
    e.Type = static_cast<int>(info.ReadInteger(prefix + "Type"));
    e.Moment = info.ReadString(prefix + "Moment");
    std::string detail = info.ReadString(prefix + "Info");
    std::string text = LangText("DownloadLog." + info.ReadString(prefix + "Description"));
    if (!detail.empty() && !text.empty()) detail = " (" + detail + ")";
    e.Text = text + detail;
    return e;
}
