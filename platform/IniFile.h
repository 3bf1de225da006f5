#pragma once
// The INI-file class of the platform: sections of name=value lines, names
// compared without regard to ASCII case and keeping the spelling of their first
// write. The whole file is kept parsed in memory; reads never touch the disk.
//
// Durability (IniFile.cpp; the text formats are in IniFileStore.cpp):
//  - ReadOnly: loaded once, never written (language files); writes change only
//    the copy in memory. Reads the INI file alone, never the journal.
//  - Journaled: every write is appended as one line to "<path>.journal" before
//    it returns, so a process killed at any instant loses no returned write and
//    leaves nothing half-written; the journal is folded into a freshly written
//    INI file (temporary name, then rename) when it has grown, every few
//    seconds while writes arrive, at UpdateFile() and at the next load.
//
// The INI text on disk is written with CR LF line ends. Values are single-line:
// a value holding CR or LF is stored quoted and escaped and reads back as
// written.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class IniFile {
public:
    enum class Mode { ReadOnly, Journaled };

    explicit IniFile(std::string path, Mode mode = Mode::Journaled);
    virtual ~IniFile(); // folds the journal (clean shutdown)
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const std::string& FileName() const;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Decimal text; a value that is not a number reads as `def`.
    std::int64_t ReadInteger(const std::string& section, const std::string& key,
                             std::int64_t def) const;
    void WriteInteger(const std::string& section, const std::string& key, std::int64_t value);

    // Written "1"/"0"; read true for a non-zero integer.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    void WriteBool(const std::string& section, const std::string& key, bool value);

    double ReadFloat(const std::string& section, const std::string& key, double def) const;
    void WriteFloat(const std::string& section, const std::string& key, double value);

    // Date-times in the one text form of DateTimeText.h; unreadable -> def.
    std::int64_t ReadDateTime(const std::string& section, const std::string& key,
                              std::int64_t def) const;
    void WriteDateTime(const std::string& section, const std::string& key, std::int64_t value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(const std::string& section) const;       // key names
    std::vector<std::string> ReadSectionValues(const std::string& section) const; // "key=value"
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

    // Make the INI file on disk current (fold the journal). Writes are already
    // durable before they return; this is what a reader of the file sees.
    void UpdateFile();

    // "<path>.journal", the file that holds the writes not yet folded.
    const std::string& JournalName() const;
    // Fold once the journal holds `minJournalBytes` (or as many bytes as the INI
    // file, if more), and at the first write `intervalMs` after the last fold.
    // While a Qt event loop runs on this thread, a single-shot timer also folds
    // `intervalMs` after a write, so the file on disk lags by at most that much.
    // Defaults: 256 KiB, 2000 ms.
    void SetFoldPolicy(std::int64_t minJournalBytes, std::int64_t intervalMs);
    // Monotonic milliseconds used for the interval; tests drive it.
    void SetClock(std::function<std::int64_t()> monotonicMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
