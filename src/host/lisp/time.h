// Universal time: seconds since 1900-01-01 00:00 UTC.
#pragma once

#include <cstdint>

namespace host::lisp {

constexpr std::int64_t unix_epoch_universal = 2208988800;  // 1970-01-01 in universal time

std::int64_t get_universal_time();
// Time zone in hours west of UTC as Common Lisp counts it; 0 for UTC.
std::int64_t encode_universal_time(int second, int minute, int hour, int day, int month, int year,
                                   int zone_hours_west = 0);
struct decoded_time {
  int second, minute, hour, day, month, year, weekday;  // weekday 0 = Monday
};
decoded_time decode_universal_time(std::int64_t t, int zone_hours_west = 0);
std::int64_t universal_from_unix(std::int64_t unix_seconds);

}  // namespace host::lisp
