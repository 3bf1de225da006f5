#include "platform/Cp1252.h"

#include <QList>
#include <array>

namespace platform {
namespace {

// 0x80-0x9F of Windows-1252; 0 marks the five bytes the code page leaves
// undefined, which map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t ByteToCode(unsigned char b) {
    if (b < 0x80 || b >= 0xA0) return b;
    char16_t c = kHigh[b - 0x80];
    return c ? c : b;
}

int CodeToByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c || (kHigh[i] == 0 && c == 0x80 + i)) return static_cast<int>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string Cp1252ToUtf8(const std::string& in) {
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (unsigned char b : in)
        AppendUtf8(out, ByteToCode(b));
    return out;
}

std::string Utf8ToCp1252(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    size_t i = 0, n = in.size();
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        char32_t c = len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len != 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            unsigned char cb = static_cast<unsigned char>(in[i + k]);
            if ((cb & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (cb & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        // Overlong forms, surrogates and values beyond Unicode are not
        // characters: "\xC0\xAF" must not turn into "/".
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool valid = c >= kMin[len] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        out += valid ? static_cast<char>(CodeToByte(c)) : '?';
        i += len;
    }
    return out;
}

QString Cp1252ToQString(const std::string& s) {
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    for (unsigned char b : s)
        out += QChar(static_cast<char16_t>(ByteToCode(b)));
    return out;
}

std::string QStringToCp1252(const QString& s) {
    std::string out;
    out.reserve(static_cast<size_t>(s.size()));
    const auto ucs4 = s.toUcs4();
    for (char32_t c : ucs4)
        out += static_cast<char>(CodeToByte(c));
    return out;
}

} // namespace platform
