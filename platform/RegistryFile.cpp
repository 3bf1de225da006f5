#include "platform/RegistryFile.h"

#include <QByteArray>
#include <QDir>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::regfile {

const Key* Key::Find(const std::vector<std::string>& path) const {
    const Key* k = this;
    for (const std::string& part : path) {
        auto it = k->keys.find(Fold(part));
        if (it == k->keys.end()) return nullptr;
        k = it->second.get();
    }
    return k;
}

Key* Key::Find(const std::vector<std::string>& path) {
    return const_cast<Key*>(static_cast<const Key*>(this)->Find(path));
}

Key& Key::Make(const std::vector<std::string>& path) {
    Key* k = this;
    for (const std::string& part : path) {
        auto& slot = k->keys[Fold(part)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = part;
        }
        k = slot.get();
    }
    return *k;
}

std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string Fold(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
            b += 0x20;
        else if (b == 0x8A || b == 0x8C || b == 0x8E)
            b += 0x10; // S, OE, Z with caron
        else if (b == 0x9F)
            b = 0xFF; // Y with diaeresis
        c = static_cast<char>(b);
    }
    return out;
}

namespace {

const char kHex[] = "0123456789ABCDEF";

void Escape(std::string& out, std::string_view s) {
    if (s.empty()) {
        out += '%';
        return;
    }
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || b == '%') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool DecodeHex(std::string_view hex, std::string& out) {
    if (hex.size() % 2) return false;
    out.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

bool Unescape(std::string_view s, std::string& out) {
    out.clear();
    if (s == "%") return true;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        std::string byte;
        if (i + 2 >= s.size()) return false;
        if (!DecodeHex(s.substr(i + 1, 2), byte)) return false;
        out += byte;
        i += 2;
    }
    return true;
}

void Write(std::string& out, const Key& key, const std::string& path) {
    out += "K ";
    Escape(out, path);
    out += '\n';
    for (const auto& [folded, v] : key.values) {
        out += v.type == RegistryType::String    ? "S "
               : v.type == RegistryType::Integer ? "I "
                                                 : "B ";
        Escape(out, v.name);
        out += ' ';
        if (v.type == RegistryType::String) {
            Escape(out, v.data);
        } else if (v.type == RegistryType::Integer) {
            out += std::to_string(v.integer);
        } else if (v.data.empty()) {
            out += '-';
        } else {
            for (char c : v.data) {
                out += kHex[static_cast<unsigned char>(c) >> 4];
                out += kHex[static_cast<unsigned char>(c) & 15];
            }
        }
        out += '\n';
    }
    for (const auto& [folded, sub] : key.keys)
        Write(out, *sub, path.empty() ? sub->name : path + "\\" + sub->name);
}

// One record line; false when it does not parse.
bool ParseLine(std::string_view line, Key& root, Key*& current) {
    std::vector<std::string_view> f;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        f.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    std::string a, b;
    if (f.size() == 2 && f[0] == "K") {
        if (!Unescape(f[1], a)) return false;
        current = &root.Make(SplitPath(a));
        return true;
    }
    if (f.size() != 3 || f[0].size() != 1 || !Unescape(f[1], a)) return false;
    Value v;
    v.name = a;
    switch (f[0][0]) {
    case 'S':
        if (!Unescape(f[2], v.data)) return false;
        break;
    case 'I': {
        v.type = RegistryType::Integer;
        auto r = std::from_chars(f[2].data(), f[2].data() + f[2].size(), v.integer);
        if (r.ec != std::errc() || r.ptr != f[2].data() + f[2].size()) return false;
        break;
    }
    case 'B':
        v.type = RegistryType::Binary;
        if (f[2] != "-" && !DecodeHex(f[2], v.data)) return false;
        break;
    default:
        return false;
    }
    std::string folded = Fold(v.name);
    current->values.emplace(folded, std::move(v)); // first occurrence wins
    return true;
}

} // namespace

std::string Serialize(const Key& root) {
    std::string out = "registry 1\n";
    Write(out, root, "");
    return out;
}

std::unique_ptr<Key> Parse(std::string_view text) {
    auto root = std::make_unique<Key>();
    Key* current = root.get();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ParseLine(line, *root, current);
        start = end + 1;
    }
    return root;
}

std::unique_ptr<Key> Clone(const Key& key) {
    auto copy = std::make_unique<Key>();
    copy->name = key.name;
    copy->values = key.values;
    for (const auto& [folded, sub] : key.keys)
        copy->keys.emplace(folded, Clone(*sub));
    return copy;
}

namespace {

const char* HiveName(RegistryHive hive) {
    switch (hive) {
    case RegistryHive::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case RegistryHive::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case RegistryHive::CurrentUser:
        break;
    }
    return "HKEY_CURRENT_USER";
}

std::string HivePath(RegistryHive hive, const char* suffix) {
    return (RegistryDir() + "/" + HiveName(hive) + suffix).toStdString();
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The parsed content of each hive file this process has read. The file's
// descriptor stays open so that its inode cannot be reused: an unchanged
// inode at the path then proves the file was not replaced (writers never
// change a hive file in place).
struct CacheEntry {
    int fd = -1;
    struct stat st {};
    std::shared_ptr<const Key> root;
};
std::mutex cacheMutex;
std::map<std::string, CacheEntry> cache;

void Remember(const std::string& path, int fd, const struct stat& st,
              std::shared_ptr<const Key> root) {
    CacheEntry& e = cache[path];
    if (e.fd >= 0 && e.fd != fd) ::close(e.fd);
    e.fd = fd;
    e.st = st;
    e.root = std::move(root);
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

std::shared_ptr<const Key> LoadPath(const std::string& path) {
    std::lock_guard lock(cacheMutex);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return nullptr;
        if (auto it = cache.find(path); it != cache.end()) {
            if (it->second.fd >= 0) ::close(it->second.fd);
            cache.erase(it);
        }
        return std::make_shared<const Key>();
    }
    auto it = cache.find(path);
    if (it != cache.end() && SameFile(it->second.st, st)) return it->second.root;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? std::make_shared<const Key>() : nullptr;
    std::string text;
    if (::fstat(fd, &st) != 0 || !ReadAll(fd, text)) {
        ::close(fd);
        return nullptr;
    }
    std::shared_ptr<const Key> root = Parse(text);
    Remember(path, fd, st, root);
    return root;
}

bool WriteFully(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Holds the hive's lock file exclusively for its lifetime.
class WriteLock {
public:
    explicit WriteLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) ::close(fd_); // releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace

std::shared_ptr<const Key> Load(RegistryHive hive) {
    return LoadPath(HivePath(hive, ".hive"));
}

bool Modify(RegistryHive hive, const std::function<Change(Key& root)>& change) {
    if (!QDir().mkpath(RegistryDir())) return false;
    WriteLock lock(HivePath(hive, ".lock"));
    if (!lock.Held()) return false;
    const std::string path = HivePath(hive, ".hive");
    std::shared_ptr<const Key> current = LoadPath(path);
    if (!current) return false;
    std::shared_ptr<Key> next = Clone(*current);
    Change c = change(*next);
    if (c != Change::Write) return c == Change::None;

    // A writer killed before the rename leaves only the temp file behind,
    // which the next writer truncates.
    const std::string temp = HivePath(hive, ".tmp");
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    if (!WriteFully(fd, Serialize(*next)) || ::fsync(fd) != 0 || ::fstat(fd, &st) != 0 ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    std::lock_guard guard(cacheMutex);
    Remember(path, fd, st, std::move(next));
    return true;
}

} // namespace platform::regfile
