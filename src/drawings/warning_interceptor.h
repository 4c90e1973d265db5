// Answers the host's known warning questions during unattended runs, so a
// run never waits for a user: while installed it stands in for the host's
// warning display function oli::sd-display-warning.
#pragma once

#include "host/lisp/object.h"

namespace vtm::drawings {

// Installing twice keeps the host's function saved by the first install.
void install_warning_interceptor();
void uninstall_warning_interceptor();
// (message &rest arguments): :no for "'log'", :yes for "drawing", else what
// the host's own function answers (NIL when none is saved).
host::lisp::ref warning_interceptor(host::lisp::args_t args);

// Installed for the extent of a run, uninstalled however the run ends.
class warning_interception {
 public:
  warning_interception() { install_warning_interceptor(); }
  ~warning_interception() { uninstall_warning_interceptor(); }
  warning_interception(const warning_interception&) = delete;
  warning_interception& operator=(const warning_interception&) = delete;
};

// Lisp: INSTALL-WARNING-INTERCEPTOR, UNINSTALL-WARNING-INTERCEPTOR, WARNING-INTERCEPTOR.
void define_warning_interceptor();

}  // namespace vtm::drawings
