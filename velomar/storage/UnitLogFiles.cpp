#include "storage/UnitLogFiles.h"

#include "platform/DateTimeText.h"
#include "platform/ProgramPath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

TDownloaderINIFile* SettingsFile = nullptr;

TDownloaderINIFile::TDownloaderINIFile(const std::string& path)
    : platform::IniFile(path, Mode::Journaled) {}

std::string TDownloaderINIFile::NewSectionNumber() {
    std::int64_t n = ReadInteger("Main", "Section.Count", 0) + 1;
    WriteInteger("Main", "Section.Count", n);
    return std::to_string(n);
}

void TDownloaderINIFile::AddStatistic(const std::string& key, std::int64_t amount) {
    try {
        WriteInteger("UserStatistics", key, ReadInteger("UserStatistics", key, 0) + amount);
    } catch (...) {
    }
}

std::string SettingsFileName() {
    return platform::FileBesideProgram(".ini");
}

namespace {
std::string& LogName() {
    static std::string name;
    return name;
}
} // namespace

std::string LogFileName() {
    if (LogName().empty()) LogName() = platform::FileBesideProgram("Log.txt");
    return LogName();
}

void StartLogFile() {
    LogName() = platform::FileBesideProgram("Log.txt");
    ::unlink(LogName().c_str());
}

void WriteLog(const std::string& text) {
    if (!SettingsFile || !SettingsFile->ReadBool("Main", "Logging", false)) return;
    std::string entry = "[";
    entry.append(platform::NowText()).append("] \r\n").append(text).append("\r\n\r\n");
    // Opened and closed per entry so the user may read or delete the file at any time.
    int fd = ::open(LogFileName().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return;
    const char* p = entry.data();
    size_t left = entry.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

void AddHistory(const std::string& url, std::int64_t size) {
    if (!SettingsFile) return;
    std::int64_t n = SettingsFile->ReadInteger("History", "Count", 0) + 1;
    SettingsFile->WriteInteger("History", "Count", n);
    std::string prefix = "H";
    prefix.append(std::to_string(n)).append(".");
    SettingsFile->WriteString("History", prefix + "URL", url);
    SettingsFile->WriteDateTime("History", prefix + "Moment", platform::NowSeconds());
    SettingsFile->WriteInteger("History", prefix + "Size", size);
}
