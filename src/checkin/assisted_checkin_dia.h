// The stage-2 dialog VANTREL_MM_ASSISTED_CHECKIN: choose a staging
// directory, load its staged models one by one, resolve their name
// conflicts, check each into Model Manager and then its drawings. Model
// Manager's round trips end in host events whose handlers queue a hidden
// option that re-enters the dialog and completes the step.
#pragma once

#include "host/dialogs.h"

namespace vtm::checkin {

inline constexpr const char* assisted_checkin_dialog = "VANTREL_MM_ASSISTED_CHECKIN";

// The dialog, its tables and its Lisp handlers.
void define_assisted_checkin();

// check_in is enabled exactly when no name conflict is left, a model is
// current and not checked in, and it has no errors or they are ignored.
void update_check_in_enabled(host::dialogs::dialog_context& dialog);

}  // namespace vtm::checkin
