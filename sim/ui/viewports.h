// The simulator's side of the viewports: the comparison opens its own.
#pragma once

#include <vector>

#include "host/lisp/object.h"

namespace sim::ui {
// Replaces the comparison viewports by one per model path, each drawing
// that model alone; the last becomes current.
void open_comparison_viewports(const std::vector<host::lisp::ref>& models);
}  // namespace sim::ui
