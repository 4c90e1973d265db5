// Faults that a model or drawing file injects into the host while it is
// loaded, so that tests and users can reproduce what legacy data does:
//
//   (:fail "message")             the load fails with exactly this message
//   (:warn "text" [:default a])   raises the warning through oli::sd-display-warning
//   (:signal :sigint)             the process sends itself SIGINT (or :sigterm,
//                                 :sighup) and the load goes on
//   (:crash)                      the host process ends with SIGKILL on itself
#pragma once

#include <functional>
#include <string>

#include "host/lisp/object.h"

namespace sim::files {

// Runs the form when it is a fault form and answers true; answers false for
// any other form. `fail` reports a malformed fault form (it does not return).
// `code_module` is the keyword name of the module whose load fails, e.g.
// "FRAME2-UI" or "DOCU".
bool run_fault_form(const host::lisp::ref& form, std::string_view code_module,
                    const std::function<void(const std::string&)>& fail);

}  // namespace sim::files
