#include "platform/IniFileStore.h"

#include <array>
#include <charconv>
#include <cstdio>

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

namespace platform::inifile {

// --- INI text ---------------------------------------------------------------

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

namespace {

bool NeedsQuotes(std::string_view v) {
    if (v.empty()) return false;
    if (v.find_first_of("\r\n") != std::string_view::npos) return true;
    if (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t') return true;
    return v.size() >= 2 && v.front() == '"' && v.back() == '"';
}

// Backslash, CR, LF (and TAB when asked) as "\\", "\r", "\n", "\t".
void AppendEscaped(std::string& out, std::string_view s, bool tabs) {
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t' && tabs)
            out += "\\t";
        else
            out += c;
    }
}

void AppendValue(std::string& out, std::string_view v) {
    if (!NeedsQuotes(v)) {
        out += v;
        return;
    }
    out += '"';
    AppendEscaped(out, v, false);
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

} // namespace

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
// Every settings read passes here: one table look-up a byte on the usual path.
std::string_view CleanName(std::string_view name, std::string& buf, bool isKey) {
    // 1: ends a line; 2: ends a key; 4: trimmed.
    static constexpr auto kClass = [] {
        std::array<std::uint8_t, 256> t{};
        t['\r'] = t['\n'] = 1;
        t['='] = 2;
        t[' '] = t['\t'] = 4;
        return t;
    }();
    const auto cls = [](char c) { return kClass[static_cast<unsigned char>(c)]; };
    if (!name.empty() && ((cls(name.front()) | cls(name.back())) & 4)) name = Trim(name);
    const std::uint8_t breaking = isKey ? 3 : 1;
    bool dirty = false;
    for (char c : name)
        if (cls(c) & breaking) dirty = true;
    if (isKey && !name.empty() && (name.front() == '[' || name.front() == ';')) dirty = true;
    if (isKey && name.empty()) return "_"; // "=value" would not read back as a key
    if (!dirty) return name;
    buf.assign(name);
    for (char& c : buf)
        if (cls(c) & breaking) c = '_';
    if (isKey && (buf.front() == '[' || buf.front() == ';')) buf.front() = '_';
    return buf;
}

// --- journal lines ----------------------------------------------------------

namespace {

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
    AppendEscaped(out, f, true);
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

} // namespace

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

void JournalLine(std::string& out, char op, std::string_view section, std::string_view key,
                 std::string_view value) {
    out.clear();
    out += op;
    AppendField(out, section);
    AppendField(out, key);
    AppendField(out, value);
    char hex[16];
    std::snprintf(hex, sizeof hex, "\t%08x\n", static_cast<unsigned>(Fnv32(out)));
    out += hex;
}

} // namespace platform::inifile
