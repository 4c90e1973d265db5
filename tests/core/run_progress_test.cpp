#include "core/run_progress.h"

#include <gtest/gtest.h>

namespace {

using vtm::core::progress_pace;
using vtm::core::run_progress;

TEST(RunProgress, PaceGivesRateElapsedAndTimeLeftAtThatRate) {
  EXPECT_EQ(progress_pace(0, 10, 0, 5), "elapsed 0:00:05, time left not known yet");
  EXPECT_EQ(progress_pace(3, 6, 0, 90), "2.0/min, elapsed 0:01:30, about 0:03:00 left");
  EXPECT_EQ(progress_pace(50, 100, 7, 10), "5.0/s, elapsed 0:00:10, about 0:00:20 left, 7 done before");
  EXPECT_EQ(progress_pace(1, 9000, 0, 4), "15.0/min, elapsed 0:00:04, about 10:00:00 left");
  // Rounded as "%.1f" rounds, half to even on the exact value.
  EXPECT_EQ(progress_pace(9, 0, 0, 4), "2.2/s, elapsed 0:00:04, about 0:00:00 left");
  EXPECT_EQ(progress_pace(1999, 1, 0, 0.5), "3998.0/s, elapsed 0:00:01, about 0:00:00 left");
  EXPECT_EQ(progress_pace(7, 14, 0, 363599.6), "0.0/min, elapsed 101:00:00, about 201:59:59 left");
}

// The items an earlier run did show at once and leave the rate to this
// run's; the host's bar prints a line per tenth with the pace.
TEST(RunProgress, ResumedRunCountsEarlierItemsButNotInItsRate) {
  run_progress::clock::time_point now{};
  testing::internal::CaptureStderr();
  {
    run_progress progress("Staging", 10, 4, [&] { return now; });
    for (int i = 0; i < 2; ++i) {
      now += std::chrono::seconds(30);
      progress.working_on("file " + std::to_string(i));
      progress.tick();
    }
    EXPECT_EQ(progress.done_now(), 2);
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Staging: 4/10 (40%) elapsed 0:00:00, time left not known yet, 4 done before\n"),
            std::string::npos)
      << err;
  EXPECT_NE(
      err.find("Staging: 6/10 (60%) 2.0/min, elapsed 0:01:00, about 0:02:00 left, 4 done before; file 1\n"),
      std::string::npos)
      << err;
}

}  // namespace
