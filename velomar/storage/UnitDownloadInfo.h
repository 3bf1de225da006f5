#pragma once
// A write-through view on one section of the settings file, and its job log.
#include <cstdint>
#include <string>

enum TLogType : int { ltInfo = 0, ltError = 1, ltSuccess = 2, ltServerReply = 4 };

class TDownloadInfo {
public:
    explicit TDownloadInfo(std::string section); // touches nothing in the file
    virtual ~TDownloadInfo() = default;

    const std::string Section;

    // Slot order as the job code expects it.
    virtual std::string ReadString(const std::string& key);                           // 0
    virtual void WriteString(const std::string& key, const std::string& value);       // 1
    virtual std::int64_t ReadInteger(const std::string& key);                         // 2
    virtual void WriteInteger(const std::string& key, std::int64_t value);            // 3
    virtual bool ReadBool(const std::string& key);                                    // 4
    virtual void WriteBool(const std::string& key, bool value);                       // 5
    virtual void DeleteKey(const std::string& key);                                   // 6
    virtual void AddLog(int type, const std::string& description, const std::string& info); // 7

    void ClearLog();
};

struct TLogEntry {
    int Type = 0;
    std::string Moment;
    std::string Text; // language text of DownloadLog.<Description>, then " (info)"
};

// Entry n (from 1) of the job log of `info`, for display.
TLogEntry ReadLogEntry(TDownloadInfo& info, int n);
