#include "i18n/UnitLanguageFiles.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr const char* kGlossary = "Glossary";

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// The section name of a "[name]" line; false for any other line.
bool SectionName(const std::string& line, std::string& name) {
    std::string t = TrimBlanks(line);
    if (t.size() < 2 || t.front() != '[') return false;
    auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = TrimBlanks(t.substr(1, close - 1));
    return true;
}

// The trimmed key name of a "name=value" line; false for comments and lines
// without "=".
bool KeyName(const std::string& line, std::string& name) {
    std::string t = TrimBlanks(line);
    if (t.empty() || t.front() == ';') return false;
    auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    name = TrimBlanks(line.substr(0, eq));
    return !name.empty();
}

} // namespace

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.push_back(text.substr(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    if (path.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string text;
    char buf[16384];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) lines = SplitLines(text);
    return ok;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    if (path.empty()) return false;
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    std::string temp = path + ".new";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fflush(f) == 0) && ok;
    ok = (::fsync(::fileno(f)) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

std::string GlossaryValue(const std::vector<std::string>& lines, const std::string& key) {
    bool inGlossary = false;
    std::string name;
    for (const auto& line : lines) {
        if (SectionName(line, name)) {
            inGlossary = SameText(name, kGlossary);
            continue;
        }
        if (inGlossary && KeyName(line, name) && SameText(name, key))
            return TrimBlanks(line.substr(line.find('=') + 1));
    }
    return {};
}

void SetGlossaryValue(std::vector<std::string>& lines, const std::string& key,
                      const std::string& value) {
    bool inGlossary = false, found = false;
    size_t insertAt = 0;
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (SectionName(lines[i], name)) {
            if (found) break; // only the first Glossary section counts
            inGlossary = SameText(name, kGlossary);
            if (inGlossary) {
                found = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inGlossary) continue;
        if (KeyName(lines[i], name) && SameText(name, key)) {
            lines[i] = name + "=" + value;
            return;
        }
        if (!TrimBlanks(lines[i]).empty()) insertAt = i + 1;
    }
    if (!found) {
        lines.push_back(std::string("[") + kGlossary + "]");
        insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}
