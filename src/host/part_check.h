// The part check of the host (k2-ui::check_part).
#pragma once

#include "host/lisp/object.h"

namespace host::k2_ui {
// Checks the parts at objects (a model path or a list of them) and makes the
// result frame2::*sd-action-result*: a list of entries, each a label string
// such as "Error:" followed by items, every item a list whose second element
// describes the finding. The results are the part's own, from its model file.
// A position that is no part, or a part whose check fails, signals the host's
// error.
host::lisp::ref check_part(const host::lisp::ref& objects);
}  // namespace host::k2_ui
