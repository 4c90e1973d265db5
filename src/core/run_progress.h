// Progress of a long run on the host's progress bar, with its pace: how many
// are done of how many, how many of those an earlier run did, the rate,
// the time elapsed and the time left at that rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "host/lisp/object.h"

namespace vtm::core {

// "12.5/min, elapsed 0:01:05, about 0:07:40 left, 40 done before": the
// pace after done_now items in elapsed seconds, with remaining items to go.
// The time left is unknown until an item is done.
std::string progress_pace(std::int64_t done_now, std::int64_t remaining, std::int64_t done_before,
                          double elapsed_seconds);

class run_progress {
 public:
  using clock = std::chrono::steady_clock;

  // total counts the items done before (by an earlier run), which show at
  // once and do not count towards the rate.
  run_progress(const std::string& title, std::int64_t total, std::int64_t done_before,
               std::function<clock::time_point()> now = clock::now);
  ~run_progress();
  run_progress(const run_progress&) = delete;
  run_progress& operator=(const run_progress&) = delete;

  // The item being worked on, shown after the pace.
  void working_on(const std::string& item);
  void tick();
  std::int64_t done_now() const { return done_now_; }
  std::string pace() const;

 private:
  void show_text();

  host::lisp::ref bar_;
  std::int64_t total_, done_before_, done_now_ = 0;
  std::function<clock::time_point()> now_;
  clock::time_point start_;
  std::string item_;
  std::string pace_;  // as of the last tick
};

}  // namespace vtm::core
