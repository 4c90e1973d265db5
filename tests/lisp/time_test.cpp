#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <optional>
#include <string>

#include "host/lisp.h"

namespace host::lisp {
namespace {

std::string kind_of_error(const std::function<void()>& f) {
  try {
    f();
  } catch (const lisp_error& e) {
    return e.kind();
  }
  return "none";
}

// Sets TZ for the scope and restores it.
class time_zone {
 public:
  explicit time_zone(const char* tz) {
    if (const char* old = getenv("TZ")) saved_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~time_zone() {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST(UniversalTime, KnownDates) {
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 1, 1900), 0);
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 1, 1970), unix_epoch_universal);
  EXPECT_EQ(encode_universal_time(0, 0, 12, 7, 11, 2023), 3908347200);
  EXPECT_EQ(encode_universal_time(0, 0, 12, 7, 11, 2023, 5), 3908347200 + 5 * 3600);
  EXPECT_EQ(encode_universal_time(0, 0, 12, 7, 11, 2023, -1), 3908347200 - 3600);
  EXPECT_EQ(encode_universal_time(59, 59, 23, 31, 12, 1999), 3155673599);
  EXPECT_EQ(universal_from_unix(1699358400), 3908347200);

  decoded_time d = decode_universal_time(3908347200);
  EXPECT_EQ(d.year, 2023);
  EXPECT_EQ(d.month, 11);
  EXPECT_EQ(d.day, 7);
  EXPECT_EQ(d.hour, 12);
  EXPECT_EQ(d.minute, 0);
  EXPECT_EQ(d.weekday, 1);                         // a Tuesday
  EXPECT_EQ(decode_universal_time(0).weekday, 0);  // 1900-01-01 was a Monday
  decoded_time west = decode_universal_time(3908347200, 5);
  EXPECT_EQ(west.hour, 7);
  EXPECT_EQ(west.day, 7);
}

TEST(UniversalTime, LeapYears) {
  const std::int64_t day = 86400;
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 3, 2000), 3160857600);
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 3, 2000) - encode_universal_time(0, 0, 0, 28, 2, 2000),
            2 * day);
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 3, 1900) - encode_universal_time(0, 0, 0, 28, 2, 1900), day);
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 1, 2025) - encode_universal_time(0, 0, 0, 1, 1, 2024),
            366 * day);
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 1, 2101) - encode_universal_time(0, 0, 0, 1, 1, 2100),
            365 * day);
  EXPECT_EQ(decode_universal_time(encode_universal_time(0, 0, 0, 29, 2, 2024)).day, 29);
  // No 29 February in 1900 or 2100, no 31 April, nothing before 1900.
  EXPECT_EQ(kind_of_error([] { encode_universal_time(0, 0, 0, 29, 2, 1900); }), "SIMPLE-ERROR");
  EXPECT_EQ(kind_of_error([] { encode_universal_time(0, 0, 0, 29, 2, 2100); }), "SIMPLE-ERROR");
  EXPECT_EQ(kind_of_error([] { encode_universal_time(0, 0, 0, 31, 4, 2023); }), "SIMPLE-ERROR");
  EXPECT_EQ(kind_of_error([] { encode_universal_time(0, 0, 24, 1, 1, 2023); }), "SIMPLE-ERROR");
  EXPECT_EQ(kind_of_error([] { encode_universal_time(0, 0, 0, 31, 12, 1899); }), "SIMPLE-ERROR");
}

TEST(UniversalTime, DecodeInvertsEncodeAcrossCenturies) {
  for (std::int64_t t = 0; t < 6'400'000'000; t += 7'654'321) {
    decoded_time d = decode_universal_time(t);
    ASSERT_EQ(encode_universal_time(d.second, d.minute, d.hour, d.day, d.month, d.year), t) << t;
    ASSERT_EQ(d.weekday, (t / 86400) % 7) << t;
  }
}

TEST(UniversalTime, TwoDigitYearsAreWithinFiftyYearsOfNow) {
  int year = decode_universal_time(get_universal_time()).year;
  EXPECT_EQ(encode_universal_time(0, 0, 0, 1, 1, year % 100), encode_universal_time(0, 0, 0, 1, 1, year));
  int ahead = (year + 30) % 100, behind = (year + 70) % 100;  // 30 years on, 30 years back
  EXPECT_EQ(decode_universal_time(encode_universal_time(0, 0, 0, 1, 1, ahead)).year, year + 30);
  EXPECT_EQ(decode_universal_time(encode_universal_time(0, 0, 0, 1, 1, behind)).year, year - 30);
}

TEST(UniversalTime, NowAndLocalTime) {
  std::int64_t now = get_universal_time();
  EXPECT_LE(std::abs(now - universal_from_unix(std::time(nullptr))), 2);
  {
    time_zone utc("UTC0");
    EXPECT_EQ(encode_local_universal_time(0, 0, 12, 7, 11, 2023), 3908347200);
    EXPECT_EQ(decode_local_universal_time(3908347200).hour, 12);
  }
  {
    time_zone est("EST5");
    EXPECT_EQ(encode_local_universal_time(0, 0, 12, 7, 11, 2023), 3908347200 + 5 * 3600);
    decoded_time d = decode_local_universal_time(3908347200);
    EXPECT_EQ(d.hour, 7);
    EXPECT_EQ(d.weekday, 1);
  }
  {
    // Daylight saving time is the zone's own business: summer is an hour off.
    time_zone cet("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(encode_local_universal_time(0, 0, 12, 1, 7, 2023), encode_universal_time(0, 0, 10, 1, 7, 2023));
    EXPECT_EQ(encode_local_universal_time(0, 0, 12, 1, 1, 2023), encode_universal_time(0, 0, 11, 1, 1, 2023));
  }
}

TEST(UniversalTime, LispBuiltins) {
  auto i = [](std::int64_t v) { return make_integer(v); };
  symbol& encode = cl_symbol("ENCODE-UNIVERSAL-TIME");
  EXPECT_EQ(as_integer(call(encode, i(0), i(0), i(12), i(7), i(11), i(2023), i(0))), 3908347200);
  // Zones west of UTC in hours, fractions too (SBCL: -5/2 gives 3908338200).
  EXPECT_EQ(as_integer(call(encode, i(0), i(0), i(12), i(7), i(11), i(2023), make_double(-2.5))), 3908338200);
  {
    time_zone est("EST5");
    EXPECT_EQ(as_integer(call(encode, i(0), i(0), i(12), i(7), i(11), i(2023))), 3908347200 + 5 * 3600);
  }
  EXPECT_EQ(kind_of_error([&] { call(encode, i(0), i(0), i(12), i(7), i(11), i(2023), i(25)); }),
            "TYPE-ERROR");
  EXPECT_EQ(kind_of_error([&] { call(encode, i(0), i(0), i(12), i(31), i(11), i(2023), i(0)); }),
            "SIMPLE-ERROR");
  EXPECT_EQ(kind_of_error([&] { call(encode, i(0), i(0), i(12), i(7), i(11)); }), "PROGRAM-ERROR");

  EXPECT_EQ(as_integer(call(cl_symbol("DECODE-UNIVERSAL-TIME"), i(3908347200 + 42), i(0))), 42);
  std::int64_t now = as_integer(call(cl_symbol("GET-UNIVERSAL-TIME")));
  EXPECT_LE(std::abs(now - get_universal_time()), 2);
}

}  // namespace
}  // namespace host::lisp
