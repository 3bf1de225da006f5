#include "engine/UnitHTTPText.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace http {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

// "name=value" -> value when the name matches.
bool MatchPair(const std::string& line, std::string_view name, std::string* value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    if (!SameText(std::string_view(line).substr(0, eq), name)) return false;
    if (value) *value = line.substr(eq + 1);
    return true;
}

} // namespace

std::size_t FindHeaderEnd(std::string_view data) {
    return data.find("\r\n\r\n");
}

THeaderFields::THeaderFields(const std::string& headerText) {
    std::size_t start = 0;
    bool first = true;
    while (start <= headerText.size()) {
        std::size_t nl = headerText.find('\n', start);
        std::string line =
            headerText.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) {
            status_ = line;
            first = false;
        } else if (!line.empty()) {
            // Blanks around a value are not part of it ("bytes ", "Content-Length:  12").
            std::size_t p = line.find(": ");
            if (p != std::string::npos) line = line.substr(0, p) + '=' + Trim(line.substr(p + 2));
            lines_.push_back(std::move(line));
        }
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
}

char THeaderFields::StatusClass() const {
    std::size_t b = status_.find(' ');
    if (b == std::string::npos || b + 1 >= status_.size()) return '\0';
    return status_[b + 1];
}

std::string THeaderFields::StatusCode() const {
    std::size_t b = status_.find(' ');
    if (b == std::string::npos) return {};
    return status_.substr(b + 1, 3);
}

bool THeaderFields::Has(std::string_view name) const {
    for (const auto& l : lines_)
        if (MatchPair(l, name, nullptr)) return true;
    return false;
}

std::string THeaderFields::Value(std::string_view name) const {
    std::string v;
    for (const auto& l : lines_)
        if (MatchPair(l, name, &v)) return v;
    return {};
}

std::string BasicRealmOf(const std::string& wwwAuthenticate) {
    std::string v;
    if (MatchPair(Trim(wwwAuthenticate), "Basic realm", &v)) return v;
    return {};
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string in = user + ":" + password;
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        std::uint32_t v =
            (std::uint8_t(in[i]) << 16) | (std::uint8_t(in[i + 1]) << 8) | std::uint8_t(in[i + 2]);
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += abc[(v >> 6) & 63];
        out += abc[v & 63];
    }
    if (i < in.size()) {
        std::uint32_t v = std::uint8_t(in[i]) << 16;
        if (i + 1 < in.size()) v |= std::uint8_t(in[i + 1]) << 8;
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += (i + 1 < in.size()) ? abc[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<THTTPDate> ParseHTTPDate(const std::string& text) {
    static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};
    std::string s = Trim(text);
    std::size_t comma = s.find(',');
    std::size_t p = comma == std::string::npos ? 0 : comma + 1;
    auto skipBlanks = [&] {
        while (p < s.size() && s[p] == ' ')
            ++p;
    };
    auto number = [&](int maxDigits) -> std::optional<int> {
        int v = 0, n = 0;
        while (p < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[p]))) {
            v = v * 10 + (s[p] - '0');
            ++p;
            ++n;
        }
        if (n == 0) return std::nullopt;
        return v;
    };
    THTTPDate d{};
    skipBlanks();
    auto day = number(2);
    if (!day) return std::nullopt;
    skipBlanks();
    if (p + 3 > s.size()) return std::nullopt;
    int month = 0;
    for (int m = 0; m < 12; ++m)
        if (SameText(std::string_view(s).substr(p, 3), months[m])) month = m + 1;
    if (month == 0) return std::nullopt;
    p += 3;
    skipBlanks();
    std::size_t yStart = p;
    auto year = number(4);
    if (!year) return std::nullopt;
    if (p - yStart <= 2) *year += 1900;
    skipBlanks();
    auto hh = number(2);
    if (!hh || p >= s.size() || s[p] != ':') return std::nullopt;
    ++p;
    auto mm = number(2);
    if (!mm || p >= s.size() || s[p] != ':') return std::nullopt;
    ++p;
    auto ss = number(2);
    if (!ss) return std::nullopt;
    skipBlanks();
    std::string zone = s.substr(p);
    d.Year = *year;
    d.Month = month;
    d.Day = *day;
    d.Hour = *hh;
    d.Minute = *mm;
    d.Second = *ss;
    if (d.Day < 1 || d.Day > 31 || d.Hour > 23 || d.Minute > 59 || d.Second > 60)
        return std::nullopt;
    d.Utc = SameText(zone, "GMT") || SameText(zone, "UT") || SameText(zone, "UTC") ||
            SameText(zone, "Z");
    return d;
}

std::uint32_t PackFileDate(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980 || year > 2107) return 0;
    std::uint32_t date =
        (std::uint32_t(year - 1980) << 9) | (std::uint32_t(month) << 5) | std::uint32_t(day);
    std::uint32_t time =
        (std::uint32_t(hour) << 11) | (std::uint32_t(minute) << 5) | std::uint32_t(second / 2);
    return (date << 16) | time;
}

std::uint32_t PackUnixTime(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm lt{};
    if (!localtime_r(&tt, &lt)) return 0;
    return PackFileDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                        lt.tm_sec);
}

std::uint32_t PackHTTPDate(const THTTPDate& d) {
    if (!d.Utc) return PackFileDate(d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second);
    std::tm gm{};
    gm.tm_year = d.Year - 1900;
    gm.tm_mon = d.Month - 1;
    gm.tm_mday = d.Day;
    gm.tm_hour = d.Hour;
    gm.tm_min = d.Minute;
    gm.tm_sec = d.Second;
    std::time_t t = timegm(&gm);
    if (t == static_cast<std::time_t>(-1)) return 0;
    return PackUnixTime(t);
}

std::optional<std::int64_t> UnpackFileDate(std::uint32_t packed) {
    if (packed == 0) return std::nullopt;
    std::uint32_t date = packed >> 16, time = packed & 0xFFFF;
    std::tm lt{};
    lt.tm_year = int((date >> 9) & 0x7F) + 80;
    lt.tm_mon = int((date >> 5) & 0x0F) - 1;
    lt.tm_mday = int(date & 0x1F);
    lt.tm_hour = int((time >> 11) & 0x1F);
    lt.tm_min = int((time >> 5) & 0x3F);
    lt.tm_sec = int(time & 0x1F) * 2;
    lt.tm_isdst = -1;
    if (lt.tm_mon < 0 || lt.tm_mon > 11 || lt.tm_mday < 1 || lt.tm_hour > 23 || lt.tm_min > 59)
        return std::nullopt;
    std::time_t t = std::mktime(&lt);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(t);
}

std::optional<std::int64_t> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string ResolveURL(const std::string& base, const std::string& link) {
    if (link.find("://") != std::string::npos) return link;
    std::size_t sch = base.find("://");
    if (sch == std::string::npos) return link;
    const std::string scheme = base.substr(0, sch);
    std::size_t authEnd = base.find_first_of("/?#", sch + 3);
    const std::string root = base.substr(0, authEnd); // scheme://authority
    if (link.empty()) return base;
    if (link.rfind("//", 0) == 0) return scheme + ":" + link;
    std::string basePath = authEnd == std::string::npos ? "/" : base.substr(authEnd);
    std::size_t q = basePath.find_first_of("?#");
    if (q != std::string::npos) basePath.erase(q);
    if (basePath.empty() || basePath[0] != '/') basePath = '/' + basePath;
    if (link[0] == '?') return root + basePath + link;
    if (link[0] == '#') return base.substr(0, base.find('#')) + link;

    std::string path, tail;
    std::string l = link;
    std::size_t lq = l.find_first_of("?#");
    if (lq != std::string::npos) {
        tail = l.substr(lq);
        l.erase(lq);
    }
    if (!l.empty() && l[0] == '/')
        path = l;
    else
        path = basePath.substr(0, basePath.rfind('/') + 1) + l;

    // Remove "." and ".." segments.
    std::vector<std::string> segs;
    std::size_t i = 1;
    bool trailingDir = false;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        std::string seg = path.substr(i, j == std::string::npos ? std::string::npos : j - i);
        trailingDir = false;
        if (seg == ".") {
            trailingDir = true;
        } else if (seg == "..") {
            if (!segs.empty()) segs.pop_back();
            trailingDir = true;
        } else {
            segs.push_back(seg);
        }
        if (j == std::string::npos) break;
        i = j + 1;
    }
    std::string out;
    for (const auto& s : segs)
        out += "/" + s;
    if (trailingDir || out.empty()) out += "/";
    return root + out + tail;
}

bool HasControlChars(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

std::optional<std::int64_t> ContentRangeStart(const std::string& value) {
    std::string v = Trim(value);
    if (v.size() < 6 || !SameText(std::string_view(v).substr(0, 6), "bytes ")) return std::nullopt;
    std::size_t p = 6;
    while (p < v.size() && v[p] == ' ')
        ++p;
    std::size_t dash = v.find('-', p);
    if (dash == std::string::npos) return std::nullopt;
    return ParseDecimal(std::string_view(v).substr(p, dash - p));
}

} // namespace http
