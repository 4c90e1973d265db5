// Universal time: seconds since 1900-01-01 00:00 UTC.
#pragma once

#include <cstdint>

namespace host::lisp {

constexpr std::int64_t unix_epoch_universal = 2208988800;  // 1970-01-01 in universal time

std::int64_t get_universal_time();
// Time zone in hours west of UTC as Common Lisp counts it; 0 for UTC. A year
// from 0 to 99 means the year of that ending within 50 years of now; years
// before 1900 and impossible dates signal.
std::int64_t encode_universal_time(int second, int minute, int hour, int day, int month, int year,
                                   int zone_hours_west = 0);
struct decoded_time {
  int second, minute, hour, day, month, year, weekday;  // weekday 0 = Monday
};
decoded_time decode_universal_time(std::int64_t t, int zone_hours_west = 0);
// In the running system's local time, daylight saving time included: what
// Common Lisp does when the time zone is left out.
std::int64_t encode_local_universal_time(int second, int minute, int hour, int day, int month, int year);
decoded_time decode_local_universal_time(std::int64_t t);
std::int64_t universal_from_unix(std::int64_t unix_seconds);

}  // namespace host::lisp
