#pragma once
// The settings file (one for the run), the debug log file and the history and
// usage-counter records kept in the settings file.
#include "platform/IniFile.h"

#include <cstdint>
#include <string>

class TDownloaderINIFile : public platform::IniFile {
public:
    explicit TDownloaderINIFile(const std::string& path);

    // Main.Section.Count + 1, written back; the new number as decimal text.
    std::string NewSectionNumber();
    // UserStatistics.<key> += amount; never fails towards the caller.
    void AddStatistic(const std::string& key, std::int64_t amount);
};

// The run's settings file; created by the job management start-up, destroyed
// last at its shutdown. Null outside that span.
extern TDownloaderINIFile* SettingsFile;

// "<program>.ini" beside the program.
std::string SettingsFileName();

// "<program>Log.txt"; computed once per run by StartLogFile.
std::string LogFileName();
// Start of a run: fixes the log file's name and deletes the previous run's file.
void StartLogFile();
// Appends "[date-time] CRLF text CRLF CRLF" while Main.Logging is true. Never
// disturbs the caller (an unwritable file is skipped).
void WriteLog(const std::string& text);

// History.Count += 1 (written first), then H<n>.URL, H<n>.Moment, H<n>.Size.
void AddHistory(const std::string& url, std::int64_t size);
