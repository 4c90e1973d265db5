// The progress bar and the programs of the host (host/progress.h).
#include "host/progress.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "lisp/runtime.h"

namespace {

using namespace host::lisp;

constexpr const char* bar_kind = "PROGRESS-BAR";

struct progress_bar {
  std::string title, text;
  std::int64_t maximum = 0, done = 0;
  int shown_tenth = -1;
  bool finished = false;
  std::chrono::steady_clock::time_point shown_at{};

  // One line per tenth of the way, so that long runs show progress without
  // flooding a log; on a terminal also a line whenever a few seconds have
  // passed since the last, so that a slow run is seen to move.
  void show() {
    static const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto now = std::chrono::steady_clock::now();
    int tenth = maximum > 0 ? static_cast<int>(10 * std::min(done, maximum) / maximum) : 0;
    if (tenth == shown_tenth && !(terminal && now - shown_at >= std::chrono::seconds(3))) return;
    shown_tenth = tenth;
    shown_at = now;
    std::cerr << title << ": " << done << "/" << maximum << " (" << tenth * 10 << "%)";
    if (!text.empty()) std::cerr << " " << text;
    std::cerr << "\n" << std::flush;
  }
};

std::shared_ptr<progress_bar> bar_of(const ref& bar) {
  auto b = handle_target<progress_bar>(bar, bar_kind);
  if (b->finished) simple_error("The progress bar \"" + b->title + "\" is finalized.");
  return b;
}

const builtins_registration progress_functions([] {
  package& frame2 = require_package("FRAME2");
  auto def = [&](std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
    symbol& s = intern(name, frame2);
    export_symbol(s, frame2);
    defun(s, [n = "FRAME2:" + std::string(name), min, max, fn = std::move(fn)](args_t args) {
      check_argument_count(n, args, min, max);
      return fn(args);
    });
  };
  // (frame2:create-progress-bar &key title)
  def("CREATE-PROGRESS-BAR", 0, 2, [](args_t a) {
    keyword_args k("FRAME2:CREATE-PROGRESS-BAR", a, 0, {"TITLE"});
    return host::frame2::create_progress_bar(is_nil(k.get("TITLE")) ? "Progress" : as_string(k.get("TITLE")));
  });
  def("SET-PROGRESS-BAR-MAXIMUM", 2, 2, [](args_t a) {
    host::frame2::set_progress_bar_maximum(a[0], as_integer(a[1]));
    return a[1];
  });
  def("ADD-PROGRESS-BAR-TICKS", 2, 2, [](args_t a) {
    host::frame2::add_progress_bar_ticks(a[0], as_integer(a[1]));
    return a[1];
  });
  def("SET-PROGRESS-BAR-TEXT", 2, 2, [](args_t a) {
    host::frame2::set_progress_bar_text(a[0], as_string(a[1]));
    return a[1];
  });
  def("FINALIZE-PROGRESS-BAR", 1, 1, [](args_t a) { return host::frame2::finalize_progress_bar(a[0]); });
});

}  // namespace

namespace host::frame2 {

ref create_progress_bar(const std::string& title) {
  auto b = std::make_shared<progress_bar>();
  b->title = title;
  return make_handle(bar_kind, b);
}

void set_progress_bar_maximum(const ref& bar, std::int64_t maximum) {
  auto b = bar_of(bar);
  b->maximum = std::max<std::int64_t>(maximum, 0);
  b->shown_tenth = -1;
  b->show();
}

void add_progress_bar_ticks(const ref& bar, std::int64_t ticks) {
  auto b = bar_of(bar);
  b->done += ticks;
  b->show();
}

void set_progress_bar_text(const ref& bar, const std::string& text) { bar_of(bar)->text = text; }

ref finalize_progress_bar(const ref& bar) {
  auto b = bar_of(bar);
  std::cerr << b->title << ": done, " << b->done << "/" << b->maximum << "\n" << std::flush;
  b->finished = true;
  return t();
}

}  // namespace host::frame2
