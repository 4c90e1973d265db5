#include "core/run_progress.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "host/progress.h"

namespace vtm::core {

namespace {

// Formatted by hand: the pace is shown for every item of a long run.
std::string clock_time(double seconds) {
  const auto s = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0)));
  std::string text = std::to_string(s / 3600);
  const auto two_digits = [&](std::int64_t v) {
    text += ':';
    text += static_cast<char>('0' + v / 10);
    text += static_cast<char>('0' + v % 10);
  };
  two_digits(s / 60 % 60);
  two_digits(s % 60);
  return text;
}

// v with one decimal, as printf's "%.1f" writes it.
std::string one_decimal(double v) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 1);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

}  // namespace

std::string progress_pace(std::int64_t done_now, std::int64_t remaining, std::int64_t done_before,
                          double elapsed_seconds) {
  std::string out;
  if (done_now > 0 && elapsed_seconds > 0) {
    const double per_second = double(done_now) / elapsed_seconds;
    out = per_second >= 1 ? one_decimal(per_second) + "/s" : one_decimal(per_second * 60) + "/min";
    out += ", elapsed " + clock_time(elapsed_seconds) + ", about " +
           clock_time(double(std::max<std::int64_t>(remaining, 0)) / per_second) + " left";
  } else {
    out = "elapsed " + clock_time(elapsed_seconds) + ", time left not known yet";
  }
  if (done_before > 0) out += ", " + std::to_string(done_before) + " done before";
  return out;
}

run_progress::run_progress(const std::string& title, std::int64_t total, std::int64_t done_before,
                           std::function<clock::time_point()> now)
    : bar_(host::frame2::create_progress_bar(title)),
      total_(total),
      done_before_(done_before),
      now_(std::move(now)),
      start_(now_()) {
  pace_ = pace();
  show_text();
  host::frame2::set_progress_bar_maximum(bar_, total_);
  if (done_before_ > 0) host::frame2::add_progress_bar_ticks(bar_, done_before_);
}

run_progress::~run_progress() { host::frame2::finalize_progress_bar(bar_); }

std::string run_progress::pace() const {
  const double elapsed = std::chrono::duration<double>(now_() - start_).count();
  return progress_pace(done_now_, total_ - done_before_ - done_now_, done_before_, elapsed);
}

void run_progress::show_text() {
  host::frame2::set_progress_bar_text(bar_, item_.empty() ? pace_ : pace_ + "; " + item_);
}

// The next item follows the tick at once: it shows the pace of that tick.
void run_progress::working_on(const std::string& item) {
  item_ = item;
  show_text();
}

void run_progress::tick() {
  ++done_now_;
  pace_ = pace();
  show_text();
  host::frame2::add_progress_bar_ticks(bar_, 1);
}

}  // namespace vtm::core
