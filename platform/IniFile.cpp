#include "platform/IniFile.h"

#include "platform/DateTimeText.h"
#include "platform/IniFileStore.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <unordered_map>

// The whole file is held parsed in memory. Each change is appended as one line
// to the journal "<path>.journal" before the write returns; the journal is
// folded by writing the INI text under "<path>.tmp", renaming that over the
// file, then removing the journal. A load reads the INI file, replays the
// journal (skipping damaged lines) and folds. Replaying a journal over a file
// that already holds it changes nothing, so a kill at any step loses nothing.
// The line formats are in IniFileStore.cpp. One process writes a file at a
// time; others may read the INI file, which is always whole.
//
// There is no fsync: the guarantee is against the process dying (SIGKILL, a
// crash), which cannot lose data that write() has put into the page cache; it
// is not against power loss.

namespace platform {
using namespace inifile;
namespace {

// --- files ------------------------------------------------------------------

enum class ReadResult { Ok, Missing, Failed };
ReadResult ReadWhole(const std::string& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::int64_t CoarseMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool ParseInt(std::string_view v, std::int64_t& out) {
    v = Trim(v);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    if (v.empty()) return false;
    auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    return r.ec == std::errc() && r.ptr == v.data() + v.size();
}

} // namespace

struct IniFile::Impl {
    std::string path, journalPath, tmpPath;
    Mode mode;
    Store store;
    int journalFd = -1;
    std::int64_t journalBytes = 0; // unfolded journal bytes
    std::int64_t iniBytes = 0;
    std::int64_t minFoldBytes = 256 * 1024;
    std::int64_t intervalMs = 2000;
    std::int64_t foldAtBytes = 256 * 1024;
    std::int64_t lastFoldMs = 0;
    bool baseUnreadable = false; // never replace a file we could not read
    bool journalTorn = false;    // a failed append may have left half a line
    std::function<std::int64_t()> clock = CoarseMs;
    std::unique_ptr<QTimer> timer;
    std::string line, nameBuf1, nameBuf2;

    Impl(std::string p, Mode m)
        : path(std::move(p)), journalPath(path + ".journal"), tmpPath(path + ".tmp"), mode(m) {
        std::string text;
        ReadResult r = ReadWhole(path, text);
        baseUnreadable = r == ReadResult::Failed;
        iniBytes = static_cast<std::int64_t>(text.size());
        Parse(text, store);
        if (mode == Mode::Journaled) LoadJournal();
        lastFoldMs = clock();
        SetThreshold();
    }

    ~Impl() {
        if (journalBytes > 0) Fold();
        if (journalFd >= 0) ::close(journalFd);
    }

    void SetThreshold() { foldAtBytes = std::max(minFoldBytes, iniBytes); }

    void LoadJournal() {
        std::string text;
        if (ReadWhole(journalPath, text) != ReadResult::Ok) return;
        ::unlink(tmpPath.c_str()); // left by a fold that was cut short
        size_t pos = 0, complete = 0;
        while (pos < text.size()) {
            size_t nl = text.find('\n', pos);
            if (nl == std::string::npos) break;
            ReplayLine(std::string_view(text).substr(pos, nl - pos), store);
            pos = complete = nl + 1;
        }
        journalBytes = static_cast<std::int64_t>(text.size()) + 1;
        if (Fold()) return;
        // Could not fold: the next append ends a torn last line first.
        journalTorn = complete != text.size();
        journalBytes = static_cast<std::int64_t>(text.size());
    }

    bool Fold() {
        lastFoldMs = clock();
        if (timer) timer->stop();
        if (mode != Mode::Journaled) return false;
        if (!baseUnreadable && WriteIni()) {
            if (journalFd >= 0) ::close(journalFd);
            journalFd = -1;
            ::unlink(journalPath.c_str());
            journalBytes = 0;
            journalTorn = false;
            SetThreshold();
            return true;
        }
        // Try again once the journal has grown by as much again, or next interval.
        foldAtBytes = journalBytes + std::max(minFoldBytes, iniBytes);
        return false;
    }

    bool WriteIni() {
        int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        std::string text = Serialize(store, static_cast<size_t>(iniBytes));
        bool ok = WriteAll(fd, text);
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::rename(tmpPath.c_str(), path.c_str()) != 0) {
            ::unlink(tmpPath.c_str());
            return false;
        }
        iniBytes = static_cast<std::int64_t>(text.size());
        return true;
    }

    void Append(char op, std::string_view section, std::string_view key, std::string_view value) {
        JournalLine(line, op, section, key, value);
        if (journalFd < 0) {
            journalFd =
                ::open(journalPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            if (journalFd >= 0 && journalTorn && !WriteAll(journalFd, "\n")) { // end the torn line
                ::close(journalFd);
                journalFd = -1;
            }
        }
        // One write() of a whole line to an O_APPEND file: once it returns, the
        // change survives the death of the process (see the top of this file).
        bool wasEmpty = journalBytes == 0;
        if (journalFd < 0 || !WriteAll(journalFd, line)) {
            // The journal may now end in a torn line; put everything in the INI file.
            if (journalFd >= 0) ::close(journalFd);
            journalFd = -1;
            journalBytes += static_cast<std::int64_t>(line.size());
            journalTorn = true;
            Fold();
            return;
        }
        journalTorn = false;
        journalBytes += static_cast<std::int64_t>(line.size());
        if (wasEmpty) ArmTimer();
        if (journalBytes >= foldAtBytes || clock() - lastFoldMs >= intervalMs) Fold();
    }

    // Folds `intervalMs` after the first unfolded write while an event loop runs.
    void ArmTimer() {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread()) return;
        if (!timer) {
            timer = std::make_unique<QTimer>();
            timer->setSingleShot(true);
            QObject::connect(timer.get(), &QTimer::timeout, [this] {
                if (journalBytes > 0) Fold();
            });
        }
        if (!timer->isActive())
            timer->start(static_cast<int>(std::min<std::int64_t>(intervalMs, 1 << 30)));
    }

    void Write(std::string_view section, std::string_view key, std::string_view value) {
        section = CleanName(section, nameBuf1, false);
        key = CleanName(key, nameBuf2, true);
        if (store.Set(section, key, value) && mode == Mode::Journaled)
            Append('W', section, key, value);
    }
    const Entry* Find(std::string_view section, std::string_view key) {
        return store.FindKey(CleanName(section, nameBuf1, false), CleanName(key, nameBuf2, true));
    }
};

IniFile::IniFile(std::string path, Mode mode) : d(std::make_unique<Impl>(std::move(path), mode)) {}
IniFile::~IniFile() = default;

const std::string& IniFile::FileName() const {
    return d->path;
}
const std::string& IniFile::JournalName() const {
    return d->journalPath;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    const Entry* e = d->Find(section, key);
    return e ? e->value : def;
}
void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
    d->Write(section, key, value);
}

std::int64_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                                  std::int64_t def) const {
    const Entry* e = d->Find(section, key);
    std::int64_t v = 0;
    return e && ParseInt(e->value, v) ? v : def;
}
void IniFile::WriteInteger(const std::string& section, const std::string& key, std::int64_t value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    d->Write(section, key, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}
void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    d->Write(section, key, value ? "1" : "0");
}

double IniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
    const Entry* e = d->Find(section, key);
    if (!e) return def;
    std::string_view v = Trim(e->value);
    double x = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), x);
    return !v.empty() && r.ec == std::errc() && r.ptr == v.data() + v.size() ? x : def;
}
void IniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    d->Write(section, key, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

std::int64_t IniFile::ReadDateTime(const std::string& section, const std::string& key,
                                   std::int64_t def) const {
    const Entry* e = d->Find(section, key);
    if (!e) return def;
    return TextToDateTime(std::string(Trim(e->value))).value_or(def);
}
void IniFile::WriteDateTime(const std::string& section, const std::string& key,
                            std::int64_t value) {
    d->Write(section, key, DateTimeToText(value));
}

bool IniFile::SectionExists(const std::string& section) const {
    return d->store.Find(CleanName(section, d->nameBuf1, false)) != nullptr;
}
bool IniFile::ValueExists(const std::string& section, const std::string& key) const {
    return d->Find(section, key) != nullptr;
}

std::vector<std::string> IniFile::ReadSections() const {
    std::vector<std::string> out;
    for (const auto& s : d->store.sections)
        if (s.alive) out.push_back(s.name);
    return out;
}
std::vector<std::string> IniFile::ReadSection(const std::string& section) const {
    std::vector<std::string> out;
    if (const Section* s = d->store.Find(CleanName(section, d->nameBuf1, false)))
        for (const auto& e : s->entries)
            if (e.kind == Kind::Key) out.push_back(e.name);
    return out;
}
std::vector<std::string> IniFile::ReadSectionValues(const std::string& section) const {
    std::vector<std::string> out;
    if (const Section* s = d->store.Find(CleanName(section, d->nameBuf1, false)))
        for (const auto& e : s->entries)
            if (e.kind == Kind::Key) out.push_back(e.name + "=" + e.value);
    return out;
}

void IniFile::EraseSection(const std::string& section) {
    std::string_view s = CleanName(section, d->nameBuf1, false);
    if (d->store.Erase(s) && d->mode == Mode::Journaled) d->Append('E', s, {}, {});
}
void IniFile::DeleteKey(const std::string& section, const std::string& key) {
    std::string_view s = CleanName(section, d->nameBuf1, false);
    std::string_view k = CleanName(key, d->nameBuf2, true);
    if (d->store.Delete(s, k) && d->mode == Mode::Journaled) d->Append('D', s, k, {});
}

void IniFile::UpdateFile() {
    if (d->journalBytes > 0) d->Fold();
}

void IniFile::SetFoldPolicy(std::int64_t minJournalBytes, std::int64_t intervalMs) {
    d->minFoldBytes = std::max<std::int64_t>(minJournalBytes, 1);
    d->intervalMs = std::max<std::int64_t>(intervalMs, 1);
    d->SetThreshold();
}
void IniFile::SetClock(std::function<std::int64_t()> monotonicMs) {
    d->clock = monotonicMs ? std::move(monotonicMs) : CoarseMs;
    d->lastFoldMs = d->clock();
}

} // namespace platform
