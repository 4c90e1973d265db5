// The host's progress bar.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "host/lisp/object.h"

namespace host::frame2 {

// A progress bar handle; it shows on the terminal's error stream.
lisp::ref create_progress_bar(const std::string& title);
void set_progress_bar_maximum(const lisp::ref& bar, std::int64_t maximum);
void add_progress_bar_ticks(const lisp::ref& bar, std::int64_t ticks);
// The text shown with the count, e.g. the item being worked on.
void set_progress_bar_text(const lisp::ref& bar, const std::string& text);
// Closes the bar; answers T.
lisp::ref finalize_progress_bar(const lisp::ref& bar);

}  // namespace host::frame2
