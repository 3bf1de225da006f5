#pragma once
// The parsed form of an INI file and its two text forms: the INI text and the
// journal lines. Internal to IniFile.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::inifile {

inline char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// ASCII letters of eight bytes at once made lower case; other bytes as they are.
inline std::uint64_t Lower8(std::uint64_t w) {
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const std::uint64_t low7 = w & ~kHigh;
    const std::uint64_t atLeastA = low7 + 0x3f3f3f3f3f3f3f3full; // byte >= 'A' sets bit 7
    const std::uint64_t pastZ = low7 + 0x2525252525252525ull;    // byte > 'Z' sets bit 7
    return w | ((atLeastA & ~pastZ & ~w & kHigh) >> 2);
}

// Names are looked up at every settings read: eight bytes a step, no per-byte
// case folding.
struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
        std::uint64_t h = 0x9e3779b97f4a7c15ull ^ s.size();
        const char* p = s.data();
        size_t n = s.size();
        for (; n >= 8; p += 8, n -= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            h = (h ^ Lower8(w)) * 0xff51afd7ed558ccdull;
            h ^= h >> 29;
        }
        if (n > 0) {
            std::uint64_t w = 0;
            std::memcpy(&w, p, n);
            h = (h ^ Lower8(w)) * 0xff51afd7ed558ccdull;
            h ^= h >> 29;
        }
        return static_cast<size_t>(h);
    }
};
struct NoCaseEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        if (a.size() != b.size()) return false;
        if (a.empty()) return true;
        // Names are nearly always spelled the same way as when first written.
        if (std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
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

std::string_view Trim(std::string_view s);
// Adds the lines of `text` to `st`.
void Parse(std::string_view text, Store& st);
// The INI text, CR LF line ends.
std::string Serialize(const Store& st, size_t sizeHint);
// `name` made safe to store; may return a view of `buf`.
std::string_view CleanName(std::string_view name, std::string& buf, bool isKey);
// Replaces `out` with the journal line (LF included) of one change.
void JournalLine(std::string& out, char op, std::string_view section, std::string_view key,
                 std::string_view value);
// Applies one journal line (without its LF); false when it is damaged.
bool ReplayLine(std::string_view line, Store& st);

} // namespace platform::inifile
