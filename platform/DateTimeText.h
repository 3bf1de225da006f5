#pragma once
// The one date-time text form used everywhere a moment is stored or logged
// (job log, history, debug log, StartTime, date-time settings). It is local
// time, "yyyy-mm-dd hh:nn:ss", and reads back exactly to the second.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Seconds since the epoch (UTC), the representation moments are handled in.
using UnixSeconds = std::int64_t;

UnixSeconds NowSeconds();
std::string DateTimeToText(UnixSeconds t);
std::string NowText();
// Accepts exactly the form DateTimeToText writes; anything else is nullopt.
std::optional<UnixSeconds> TextToDateTime(const std::string& text);

// Time of day "hh:mm" (24 hours), as schedules store it.
std::string TimeOfDayToText(int hour, int minute);
// "h:mm" or "hh:mm" with hour 0-23 and minute 0-59; otherwise nullopt.
// Result is minutes after midnight.
std::optional<int> TextToTimeOfDay(const std::string& text);

} // namespace platform
