#pragma once
// Text handling of the HTTP downloader that needs no connection: the header
// split, header lookup, dates, Basic credentials and address resolution.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace http {

// Position of the first CR LF CR LF in `data`, or npos.
std::size_t FindHeaderEnd(std::string_view data);

// A response header as name=value pairs: each line has its first ": "
// replaced by "=", so a colon without a blank after it is not recognised.
// Names are matched without regard to case.
class THeaderFields {
public:
    explicit THeaderFields(const std::string& headerText);
    const std::string& StatusLine() const { return status_; }
    // The character after the first blank of the status line ('\0' if none).
    char StatusClass() const;
    // The three characters after the first blank of the status line.
    std::string StatusCode() const;
    bool Has(std::string_view name) const;
    // The value of the first line with this name; empty when absent.
    std::string Value(std::string_view name) const;

private:
    std::string status_;
    std::vector<std::string> lines_; // "name=value", header lines after the status line
};

// "Basic realm" of a WWW-Authenticate value (the text after its equals sign,
// quotes included); empty when the challenge is not Basic.
std::string BasicRealmOf(const std::string& wwwAuthenticate);

// Base64 (standard alphabet, "=" padding) of user ":" password.
std::string BasicCredentials(const std::string& user, const std::string& password);

// Broken-down date and time as written in the header.
struct THTTPDate {
    int Year, Month, Day, Hour, Minute, Second;
    bool Utc; // the zone named GMT/UT/UTC/Z
};
// RFC 1123 date: weekday and comma skipped, day, English month name (any
// case), year (two digits get 1900 added), hh:mm:ss, zone. nullopt when
// unreadable.
std::optional<THTTPDate> ParseHTTPDate(const std::string& text);

// The FAT layout of a local date-time (date in the high 16 bits).
std::uint32_t PackFileDate(int year, int month, int day, int hour, int minute, int second);
// Packed date of a header date: a UTC date is converted to local time first.
// 0 when it cannot be packed (years outside 1980..2107).
std::uint32_t PackHTTPDate(const THTTPDate& date);
// Packed date of a moment (seconds since the epoch), in local time.
std::uint32_t PackUnixTime(std::int64_t t);
// The moment of a packed local date; nullopt for 0 or an impossible date.
std::optional<std::int64_t> UnpackFileDate(std::uint32_t packed);

// Decimal digits only (no sign, no blanks), fitting in 63 bits.
std::optional<std::int64_t> ParseDecimal(std::string_view text);

// Resolves `link` against the absolute address `base` ("scheme://authority/path").
// Absolute links (with "://") are returned unchanged.
std::string ResolveURL(const std::string& base, const std::string& link);

// True when the text holds a byte below 0x20 or the DEL byte.
bool HasControlChars(std::string_view text);

// First byte position of a "Content-Range: bytes A-B/C" value, or nullopt.
std::optional<std::int64_t> ContentRangeStart(const std::string& value);

} // namespace http
