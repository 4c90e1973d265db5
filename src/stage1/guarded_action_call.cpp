#include "stage1/guarded_action_call.h"

#include "host/command_errors.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace vtm::stage1 {

namespace hl = host::lisp;

namespace {

hl::symbol& frame2_symbol(std::string_view name) { return hl::intern(name, hl::require_package("FRAME2")); }

// The failure as the host reports it: the error state, cleared.
action_outcome failed() {
  host::system::reset_lisp_error_active();
  return {false, host::oli::sd_inq_error_obj(), host::frame2::sd_action_result()};
}

}  // namespace

action_outcome guarded_action_call(const std::function<void()>& command) {
  if (!host::frame2::action_call_allowed() && host::frame2::enable_terminate_action_test()) {
    host::frame2::sd_modinfo_set_error(hl::ref(&hl::keyword("OLI")),
                                       hl::ref(&hl::keyword("SD-CALL-ACTION-ILLEGAL-CALL")));
    return failed();
  }
  host::system::reset_lisp_error_active();
  {
    hl::special_binding catcher(frame2_symbol("*DISPLAY-ERROR-FUNCTION*"),
                                hl::symbol_function(frame2_symbol("CATCH-DISPLAY-ERROR")));
    try {
      command();
    } catch (const hl::lisp_error& e) {
      host::frame2::decode_action_call_error(e.condition());
      return failed();
    }
  }
  if (host::system::reset_lisp_error_active())
    return {false, host::oli::sd_inq_error_obj(), host::frame2::sd_action_result()};
  return {true, hl::nil(), host::frame2::sd_action_result()};
}

}  // namespace vtm::stage1
