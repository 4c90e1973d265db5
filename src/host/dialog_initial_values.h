// The initial values a dialog starts with next time in this session.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::frame2 {
// (frame2::chg-lav dialog :initial-values-plist plist): the variables of
// the property list (keywords and values) start with those values the next
// time the dialog starts. Signals the host's error for an unknown dialog.
void chg_lav(const std::string& dialog, const host::lisp::ref& initial_values_plist);
}  // namespace host::frame2
