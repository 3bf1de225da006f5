#include "platform/DateTimeText.h"

#include <cstdio>
#include <ctime>

namespace platform {

UnixSeconds NowSeconds() { return static_cast<UnixSeconds>(std::time(nullptr)); }

std::string DateTimeToText(UnixSeconds t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string NowText() { return DateTimeToText(NowSeconds()); }

namespace {
bool Digits(const std::string& s, size_t pos, size_t n, int& out) {
    out = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}
} // namespace

std::optional<UnixSeconds> TextToDateTime(const std::string& s) {
    // yyyy-mm-dd hh:nn:ss
    if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' ||
        s[16] != ':')
        return std::nullopt;
    int y, mo, d, h, mi, se;
    if (!Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) || !Digits(s, 8, 2, d) ||
        !Digits(s, 11, 2, h) || !Digits(s, 14, 2, mi) || !Digits(s, 17, 2, se))
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = se;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    // Reject dates mktime had to normalise (31 February and the like).
    if (tm.tm_mday != d || tm.tm_mon != mo - 1) return std::nullopt;
    return static_cast<UnixSeconds>(t);
}

std::string TimeOfDayToText(int hour, int minute) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", hour, minute);
    return buf;
}

std::optional<int> TextToTimeOfDay(const std::string& s) {
    auto colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || s.size() != colon + 3)
        return std::nullopt;
    int h, m;
    if (!Digits(s, 0, colon, h) || !Digits(s, colon + 1, 2, m) || h > 23 || m > 59)
        return std::nullopt;
    return h * 60 + m;
}

} // namespace platform
