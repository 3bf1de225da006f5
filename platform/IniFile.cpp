#include "platform/IniFile.h"

#include "platform/DateTimeText.h"

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

// INI text (what a person sees):
//   [Section]CRLF  key=valueCRLF ...  with a blank line between sections.
//   Loading accepts LF or CR LF, blanks around names and "=", blank lines,
//   a missing final line end and a UTF-8 byte-order mark. The first occurrence
//   of a repeated key (or section) wins. ";" comments and other lines that are
//   not key=value are kept in place and written back as they were.
//   Values are stored as they are, except a value that holds CR or LF, starts
//   or ends with a blank or tab, or both starts and ends with '"': it is written
//   in double quotes with "\\", "\r" and "\n" for backslash, CR and LF. On load
//   a value in double quotes loses them and "\\", "\r", "\n" are decoded (any
//   other backslash stays as it is), so every value reads back as written and
//   no value can add a line, a key or a section.
//   Names are trimmed; in a key CR, LF and "=" and a leading "[" or ";" become
//   "_" (an empty key is "_"), in a section name CR and LF do, so no name can
//   break a line either.
//
// Journal ("<path>.journal"), one line per change, appended before the write
// returns:  op TAB section TAB key TAB value TAB fnv32-hex LF
//   op: W (write value), D (delete key), E (erase section); fields escape
//   backslash, TAB, CR and LF. A line whose checksum does not match (the torn
//   last line of a killed process) is ignored. Replaying the journal over an
//   INI file that already holds it gives the same result, so a crash between
//   renaming the new INI file and removing the journal loses nothing.
//
// There is no fsync: the guarantee is against the process dying (SIGKILL, a
// crash), which cannot lose data that write() has put into the page cache; it
// is not against power loss.

namespace platform {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
        std::uint64_t h = 1469598103934665603ull;
        for (char c : s) {
            h ^= static_cast<unsigned char>(Lower(c));
            h *= 1099511628211ull;
        }
        return static_cast<size_t>(h);
    }
};
struct NoCaseEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (Lower(a[i]) != Lower(b[i])) return false;
        return true;
    }
};
using NameIndex = std::unordered_map<std::string, size_t, NoCaseHash, NoCaseEq>;

enum class Kind : std::uint8_t { Key, Raw, Dead };
struct Entry {
    std::string name; // a Raw entry keeps its whole line here
    std::string value;
    Kind kind;
};
struct Section {
    std::string name;
    std::vector<Entry> entries;
    NameIndex index;
    size_t dead = 0;
    bool alive = true;
};

// Deleted entries stay as tombstones until they are the majority, which keeps
// deletion O(1) amortised while preserving the order of the rest.
template <class T, class Live, class Name>
void Compact(std::vector<T>& items, NameIndex& index, size_t& dead, Live live, Name name) {
    if (dead < 16 || dead * 2 < items.size()) return;
    std::vector<T> kept;
    kept.reserve(items.size() - dead);
    index.clear();
    for (auto& it : items) {
        if (!live(it)) continue;
        kept.push_back(std::move(it));
        if (const std::string* n = name(kept.back())) index.emplace(*n, kept.size() - 1);
    }
    items.swap(kept);
    dead = 0;
}

struct Store {
    std::vector<std::string> preamble; // raw lines before the first section
    std::vector<Section> sections;
    NameIndex index;
    size_t dead = 0;

    const Section* Find(std::string_view name) const {
        auto it = index.find(name);
        return it == index.end() ? nullptr : &sections[it->second];
    }
    Section* Find(std::string_view name) {
        auto it = index.find(name);
        return it == index.end() ? nullptr : &sections[it->second];
    }
    const Entry* FindKey(std::string_view section, std::string_view key) const {
        const Section* s = Find(section);
        if (!s) return nullptr;
        auto it = s->index.find(key);
        return it == s->index.end() ? nullptr : &s->entries[it->second];
    }
    Section& Get(std::string_view name) {
        if (Section* s = Find(name)) return *s;
        sections.push_back(Section{std::string(name), {}, {}, 0, true});
        index.emplace(std::string(name), sections.size() - 1);
        return sections.back();
    }
    // Each returns whether anything changed.
    bool Set(std::string_view section, std::string_view key, std::string_view value,
             bool keepFirst = false) {
        Section& s = Get(section);
        auto it = s.index.find(key);
        if (it != s.index.end()) {
            Entry& e = s.entries[it->second];
            if (keepFirst || e.value == value) return false;
            e.value.assign(value);
            return true;
        }
        s.entries.push_back(Entry{std::string(key), std::string(value), Kind::Key});
        s.index.emplace(std::string(key), s.entries.size() - 1);
        return true;
    }
    bool Delete(std::string_view section, std::string_view key) {
        Section* s = Find(section);
        if (!s) return false;
        auto it = s->index.find(key);
        if (it == s->index.end()) return false;
        Entry& e = s->entries[it->second];
        e.kind = Kind::Dead;
        std::string().swap(e.value);
        s->index.erase(it);
        ++s->dead;
        Compact(
            s->entries, s->index, s->dead, [](const Entry& x) { return x.kind != Kind::Dead; },
            [](const Entry& x) { return x.kind == Kind::Key ? &x.name : nullptr; });
        return true;
    }
    bool Erase(std::string_view section) {
        auto it = index.find(section);
        if (it == index.end()) return false;
        Section& s = sections[it->second];
        s.alive = false;
        s.entries.clear();
        s.index.clear();
        index.erase(it);
        ++dead;
        Compact(
            sections, index, dead, [](const Section& x) { return x.alive; },
            [](const Section& x) { return &x.name; });
        return true;
    }
};

// --- INI text ---------------------------------------------------------------

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool NeedsQuotes(std::string_view v) {
    if (v.empty()) return false;
    if (v.find_first_of("\r\n") != std::string_view::npos) return true;
    if (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t') return true;
    return v.size() >= 2 && v.front() == '"' && v.back() == '"';
}

void AppendValue(std::string& out, std::string_view v) {
    if (!NeedsQuotes(v)) {
        out += v;
        return;
    }
    out += '"';
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    out += '"';
}

std::string DecodeValue(std::string_view v) {
    if (v.size() < 2 || v.front() != '"' || v.back() != '"') return std::string(v);
    v = v.substr(1, v.size() - 2);
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        char c = v[i];
        if (c == '\\' && i + 1 < v.size()) {
            char n = v[i + 1];
            if (n == '\\' || n == 'r' || n == 'n') {
                out += n == '\\' ? '\\' : n == 'r' ? '\r' : '\n';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void Parse(std::string_view text, Store& st) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Section* cur = nullptr;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view t = Trim(line);
        if (t.empty()) continue;
        if (t.front() == '[' && t.back() == ']' && t.size() >= 2) {
            cur = &st.Get(Trim(t.substr(1, t.size() - 2)));
            continue;
        }
        size_t eq = t.find('=');
        std::string_view key =
            eq == std::string_view::npos ? std::string_view() : Trim(t.substr(0, eq));
        if (t.front() == ';' || key.empty() || !cur) {
            if (cur)
                cur->entries.push_back(Entry{std::string(line), {}, Kind::Raw});
            else
                st.preamble.emplace_back(line);
            continue;
        }
        st.Set(cur->name, key, DecodeValue(Trim(t.substr(eq + 1))), true);
    }
}

std::string Serialize(const Store& st, size_t sizeHint) {
    std::string out;
    out.reserve(sizeHint + sizeHint / 8 + 64);
    for (const auto& l : st.preamble) {
        out += l;
        out += "\r\n";
    }
    bool first = true;
    for (const auto& s : st.sections) {
        if (!s.alive) continue;
        if (!first || !st.preamble.empty()) out += "\r\n";
        first = false;
        out += '[';
        out += s.name;
        out += "]\r\n";
        for (const auto& e : s.entries) {
            if (e.kind == Kind::Dead) continue;
            out += e.name;
            if (e.kind == Kind::Key) {
                out += '=';
                AppendValue(out, e.value);
            }
            out += "\r\n";
        }
    }
    return out;
}

// Names: trimmed, and no character that would end the line or the name.
std::string_view CleanName(std::string_view name, std::string& buf, bool isKey) {
    name = Trim(name);
    bool dirty = false;
    for (char c : name)
        if (c == '\r' || c == '\n' || (isKey && c == '=')) dirty = true;
    if (isKey && !name.empty() && (name.front() == '[' || name.front() == ';')) dirty = true;
    if (isKey && name.empty()) return "_"; // "=value" would not read back as a key
    if (!dirty) return name;
    buf.assign(name);
    for (char& c : buf)
        if (c == '\r' || c == '\n' || (isKey && c == '=')) c = '_';
    if (isKey && (buf.front() == '[' || buf.front() == ';')) buf.front() = '_';
    return buf;
}

// --- journal lines ----------------------------------------------------------

std::uint32_t Fnv32(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

void AppendField(std::string& out, std::string_view f) {
    out += '\t';
    for (char c : f) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

bool ReadField(std::string_view& rest, std::string& out) {
    out.clear();
    size_t i = 0;
    for (; i < rest.size() && rest[i] != '\t'; ++i) {
        char c = rest[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == rest.size()) return false;
        char n = rest[i];
        out += n == 't' ? '\t' : n == 'r' ? '\r' : n == 'n' ? '\n' : n;
    }
    rest.remove_prefix(i);
    return true;
}

// Applies one journal line; false when it is damaged.
bool ReplayLine(std::string_view line, Store& st) {
    size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos || line.size() - tab - 1 != 8) return false;
    std::uint32_t sum = 0;
    auto hex = line.substr(tab + 1);
    if (std::from_chars(hex.data(), hex.data() + 8, sum, 16).ptr != hex.data() + 8) return false;
    std::string_view body = line.substr(0, tab);
    if (Fnv32(body) != sum || body.size() < 2 || body[1] != '\t') return false;
    char op = body[0];
    std::string_view rest = body.substr(1);
    std::string f[3];
    for (auto& x : f) {
        if (rest.empty() || rest[0] != '\t') return false;
        rest.remove_prefix(1);
        if (!ReadField(rest, x)) return false;
    }
    if (!rest.empty()) return false;
    if (op == 'W')
        st.Set(f[0], f[1], f[2]);
    else if (op == 'D')
        st.Delete(f[0], f[1]);
    else if (op == 'E')
        st.Erase(f[0]);
    else
        return false;
    return true;
}

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
        // Could not fold: appends must start on a fresh line.
        if (complete != text.size() && ::truncate(journalPath.c_str(), off_t(complete)) != 0)
            complete = text.size() + 1; // keep trying to fold
        journalBytes = static_cast<std::int64_t>(complete);
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
        line.clear();
        line += op;
        AppendField(line, section);
        AppendField(line, key);
        AppendField(line, value);
        char hex[16];
        std::snprintf(hex, sizeof hex, "\t%08x\n", static_cast<unsigned>(Fnv32(line)));
        line += hex;
        if (journalFd < 0) {
            journalFd =
                ::open(journalPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            if (journalFd >= 0 && journalTorn) line.insert(0, "\n"); // end the torn line
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
