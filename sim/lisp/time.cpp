// Universal time and its calendar, on the proleptic Gregorian calendar.
#include "host/lisp/time.h"

#include <ctime>
#include <string>

#include "host/lisp/errors.h"

namespace host::lisp {

namespace {

constexpr std::int64_t seconds_per_day = 86400;

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = floor_div(y, 400);
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = floor_div(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap_year(y) ? 29 : days[m - 1];
}

int full_year(int year) {
  if (year < 0 || year > 99) return year;
  int now = decode_universal_time(get_universal_time()).year;
  int candidate = now - now % 100 + year;
  if (candidate - now > 50) candidate -= 100;
  if (now - candidate > 50) candidate += 100;
  return candidate;
}

// Validates the fields and returns the full year.
int checked_year(int second, int minute, int hour, int day, int month, int year) {
  int y = full_year(year);
  bool ok = y >= 1900 && month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(y, month) &&
            hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
  if (!ok)
    simple_error("Cannot encode the time " + std::to_string(year) + "-" + std::to_string(month) + "-" +
                 std::to_string(day) + " " + std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                 std::to_string(second) + " as a universal time: no such date or time after 1900.");
  return y;
}

int weekday_of(std::int64_t days_since_unix_epoch) {
  // 1970-01-01 was a Thursday; Monday is 0.
  return static_cast<int>(days_since_unix_epoch + 3 - floor_div(days_since_unix_epoch + 3, 7) * 7);
}

}  // namespace

std::int64_t universal_from_unix(std::int64_t unix_seconds) { return unix_seconds + unix_epoch_universal; }

std::int64_t get_universal_time() {
  return universal_from_unix(static_cast<std::int64_t>(std::time(nullptr)));
}

std::int64_t encode_universal_time(int second, int minute, int hour, int day, int month, int year,
                                   int zone_hours_west) {
  int y = checked_year(second, minute, hour, day, month, year);
  std::int64_t unix_seconds =
      days_from_civil(y, month, day) * seconds_per_day + hour * 3600 + minute * 60 + second;
  return universal_from_unix(unix_seconds) + static_cast<std::int64_t>(zone_hours_west) * 3600;
}

decoded_time decode_universal_time(std::int64_t t, int zone_hours_west) {
  std::int64_t unix_seconds = t - unix_epoch_universal - static_cast<std::int64_t>(zone_hours_west) * 3600;
  std::int64_t days = floor_div(unix_seconds, seconds_per_day);
  std::int64_t rest = unix_seconds - days * seconds_per_day;
  decoded_time d{};
  civil_from_days(days, d.year, d.month, d.day);
  d.hour = static_cast<int>(rest / 3600);
  d.minute = static_cast<int>(rest / 60 % 60);
  d.second = static_cast<int>(rest % 60);
  d.weekday = weekday_of(days);
  return d;
}

std::int64_t encode_local_universal_time(int second, int minute, int hour, int day, int month, int year) {
  std::tm tm{};
  tm.tm_year = checked_year(second, minute, hour, day, month, year) - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;  // let the zone rules decide
  return universal_from_unix(static_cast<std::int64_t>(std::mktime(&tm)));
}

decoded_time decode_local_universal_time(std::int64_t t) {
  std::time_t unix_seconds = static_cast<std::time_t>(t - unix_epoch_universal);
  std::tm tm{};
  localtime_r(&unix_seconds, &tm);
  return {tm.tm_sec,     tm.tm_min,         tm.tm_hour,          tm.tm_mday,
          tm.tm_mon + 1, tm.tm_year + 1900, (tm.tm_wday + 6) % 7};
}

}  // namespace host::lisp
