// The host's error state, its error objects and the pieces of a guarded
// action call.
//
// A failing host command sets the error state (the error object and the
// error-active flag) and signals. An error object is a structure
// FRAME2::ERROR-OBJECT with the slots MODULE, CODE and ERROR-MESG (keywords
// and the message text); it prints readably as #S(...).
//
// Special variables of the guarded call, all in FRAME2:
//   *ACTION-CALL-ALLOWED* (T), *ENABLE-TERMINATE-ACTION-TEST* (T),
//   *SD-ACTION-RESULT* (NIL, the result of the last command that has one),
//   *DISPLAY-ERROR-FUNCTION* (the function display-error calls with the error
//   object; the host's own, FRAME2::SHOW-ERROR, prints "Error: <message>";
//   a guarded call binds it to #'FRAME2::CATCH-DISPLAY-ERROR).
#pragma once

#include <string_view>

#include "host/lisp/object.h"

namespace host::frame2 {
host::lisp::ref make_error_object(const host::lisp::ref& module, const host::lisp::ref& code,
                                  std::string_view message);
// key is :error-mesg, :module or :code.
host::lisp::ref read_error_object(const host::lisp::ref& error_object, const host::lisp::ref& key);
// Sets the error state for a known error of a module, for example
// (:oli :sd-call-action-illegal-call); returns the error object.
host::lisp::ref sd_modinfo_set_error(const host::lisp::ref& module, const host::lisp::ref& code);
// Shows an error object or message through *display-error-function*.
void display_error(const host::lisp::ref& error);
// The catcher: makes the error the host's error state instead of showing it.
void catch_display_error(const host::lisp::ref& error);
// The error object of an error signalled by a host command: the error state
// when a command set it, else a new error object with the condition's
// message, which becomes the error state.
host::lisp::ref decode_action_call_error(const host::lisp::ref& condition);
bool action_call_allowed();           // *action-call-allowed*
bool enable_terminate_action_test();  // *enable-terminate-action-test*
host::lisp::ref sd_action_result();   // *sd-action-result*
}  // namespace host::frame2

namespace host::oli {
// The last error object; NIL before any error.
host::lisp::ref sd_inq_error_obj();
// Shows a warning through the function of OLI::SD-DISPLAY-WARNING, which a
// module may replace: the host's own prints "Warning: <message>" and answers
// the :default given (else :yes).
host::lisp::ref sd_display_warning(std::string_view message, const host::lisp::ref& default_answer);
}  // namespace host::oli

namespace host::system {
// Clears the error-active flag; true when it was set.
bool reset_lisp_error_active();
}  // namespace host::system
