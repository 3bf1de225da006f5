#include "HTMLParser.h"

#include "InOutError.h"
#include "platform/Cp1252.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace kestrio {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Compares src at pos with a lower-case prefix, ASCII letters without regard
// to case, every other byte exactly.
bool HasPrefix(std::string_view src, size_t pos, std::string_view lowerPrefix) {
    if (src.size() - pos < lowerPrefix.size()) return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i) {
        char p = lowerPrefix[i];
        char c = src[pos + i];
        if (p >= 'a' && p <= 'z' ? (c | 0x20) != p : c != p) return false;
    }
    return true;
}

} // namespace

THTMLParser::THTMLParser(std::string_view source) : src_(source) {}

THTMLParser::THTMLParser(std::unique_ptr<std::string> owned)
    : owned_(std::move(owned)), src_(*owned_) {}

THTMLParser THTMLParser::FromFile(const std::string& path) {
    const std::string fsPath = platform::Cp1252ToUtf8(path);
    auto fail = [&](int err) {
        return EInOutError("Cannot read file \"" + path + "\": " + std::strerror(err));
    };
    std::FILE* f = std::fopen(fsPath.c_str(), "rb");
    if (!f) throw fail(errno);
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        // fstat succeeded on a device or pipe: errno holds no reason then.
        int err = S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? errno : EINVAL;
        std::fclose(f);
        throw fail(err);
    }
    auto text = std::make_unique<std::string>(static_cast<size_t>(st.st_size), '\0');
    size_t got = text->empty() ? 0 : std::fread(text->data(), 1, text->size(), f);
    int err = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (err != 0) throw fail(err);
    text->resize(got); // a file that shrank while read gives what was there
    return THTMLParser(std::move(text));
}

size_t THTMLParser::FindByte(Memo& memo, char byte, size_t from) const {
    if (memo.from != npos && memo.from <= from && from <= memo.found) return memo.found;
    size_t found = npos;
    if (from < src_.size()) {
        const void* hit = std::memchr(src_.data() + from, byte, src_.size() - from);
        if (hit) found = static_cast<const char*>(hit) - src_.data();
    }
    memo = {from, found};
    return found;
}

size_t THTMLParser::FindName(AttributeMemo& memo, std::string_view lowerName, size_t from) const {
    Memo& m = memo.name;
    if (m.from != npos && m.from <= from && from <= m.found) return m.found;
    size_t found = npos;
    const char first = lowerName[0];
    for (size_t i = from; i + lowerName.size() <= src_.size(); ++i) {
        if ((src_[i] | 0x20) == first && HasPrefix(src_, i, lowerName)) {
            found = i;
            break;
        }
    }
    m = {from, found};
    return found;
}

// Returns true when the tag yields a piece; otherwise the cursor is placed
// where the search for tags goes on.
bool THTMLParser::LinkTag(size_t tag, size_t prefixLength, uint8_t kind, AttributeMemo& memo,
                          std::string_view lowerName) {
    cursor_ = tag + prefixLength;
    if (inScript_) return false;
    const size_t name = FindName(memo, lowerName, tag);
    if (name == npos) return false;
    const size_t eq = FindByte(memo.equals, '=', name + lowerName.size());
    if (eq == npos) return false;
    cursor_ = eq;
    const size_t gt = FindByte(memo.close, '>', eq + 1);
    if (gt == npos) return false;

    const char* s = src_.data();
    size_t begin = eq + 1;
    while (begin < gt && IsBlank(s[begin]))
        ++begin;
    // A tag found inside a value already handed out would hand bytes out twice.
    if (begin < textStart_) return false;
    size_t end = begin; // one past the value's last byte
    if (begin < gt) {
        const char open = s[begin];
        if (open == '"' || open == '\'') {
            // Closed before the ">", or else an empty value that leaves the
            // quote to the next piece's text.
            const void* close = std::memchr(s + begin + 1, open, gt - begin);
            if (close) end = static_cast<const char*>(close) - s + 1;
        } else {
            while (end < gt && !IsBlank(s[end]))
                ++end;
            if (end < gt) ++end; // the blank that ends the value belongs to it
        }
    }
    text_ = src_.substr(textStart_, begin - textStart_);
    value_ = src_.substr(begin, end - begin);
    kind_ = kind;
    textStart_ = end;
    return true;
}

bool THTMLParser::Next() {
    if (cursor_ == npos) return false;
    const char* s = src_.data();
    const size_t n = src_.size();
    for (;;) {
        const void* hit = cursor_ < n ? std::memchr(s + cursor_, '<', n - cursor_) : nullptr;
        if (!hit) {
            text_ = src_.substr(textStart_);
            value_ = {};
            kind_ = tkRest;
            cursor_ = npos;
            return true;
        }
        const size_t tag = static_cast<const char*>(hit) - s;
        const char next = tag + 1 < n ? s[tag + 1] : '\0';
        switch (next) {
        case 's':
        case 'S':
            if (HasPrefix(src_, tag, "<script")) {
                inScript_ = true;
                cursor_ = tag + 7;
                continue;
            }
            break;
        case '/':
            if (HasPrefix(src_, tag, "</script")) {
                inScript_ = false;
                cursor_ = tag + 8;
                continue;
            }
            break;
        case 'a':
        case 'A':
            if (tag + 2 < n && s[tag + 2] == ' ') {
                if (LinkTag(tag, 3, tkAnchor, href_, "href")) return true;
                continue;
            }
            break;
        case 'l':
        case 'L':
            if (HasPrefix(src_, tag, "<link")) {
                if (LinkTag(tag, 5, tkLinkTag, href_, "href")) return true;
                continue;
            }
            break;
        case 'i':
        case 'I':
            if (HasPrefix(src_, tag, "<img ")) {
                if (LinkTag(tag, 5, tkImage, srcAttr_, "src")) return true;
                continue;
            }
            break;
        case 'f':
        case 'F':
            if (HasPrefix(src_, tag, "<frame ")) {
                if (LinkTag(tag, 7, tkFrame, srcAttr_, "src")) return true;
                continue;
            }
            break;
        default:
            break;
        }
        cursor_ = tag + 1;
    }
}

} // namespace kestrio
