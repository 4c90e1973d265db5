// The host's error state, its error objects, the pieces of the guarded
// action call and the host's warning display.
#include "host/command_errors.h"

#include <ostream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/lisp/structures.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;

struct error_state {
  ref object;  // the last error object, NIL before any
  bool active = false;
};

error_state& state() {
  static error_state s;
  return s;
}

const struct_type& error_object_type() {
  static const struct_type* type = [] {
    package& frame2 = require_package("FRAME2");
    return &define_struct(intern("ERROR-OBJECT", frame2), {&intern("MODULE", frame2), &intern("CODE", frame2),
                                                           &intern("ERROR-MESG", frame2)});
  }();
  return *type;
}

symbol& frame2_symbol(std::string_view name) { return intern(name, require_package("FRAME2")); }

std::string message_of(const ref& error) {
  if (typep(error, error_object_type())) {
    const ref& m = static_cast<structure_obj&>(*error).slots[2];
    return stringp(m) ? as_string(m) : princ_to_string(m);
  }
  if (is_condition(error)) return static_cast<condition_obj&>(*error).message;
  return stringp(error) ? as_string(error) : princ_to_string(error);
}

// Known errors of host modules that sd-modinfo-set-error can set.
std::string known_error_message(const std::string& module, const std::string& code) {
  if (module == "OLI" && code == "SD-CALL-ACTION-ILLEGAL-CALL")
    return "Calling an action is not allowed now.";
  return "Error " + code + " of module " + module + ".";
}

}  // namespace

namespace sim {

ref error_object(std::string_view module, std::string_view code, std::string message) {
  return host::frame2::make_error_object(ref(&keyword(module)), ref(&keyword(code)), message);
}

void set_error_state(const ref& error_object) {
  state().object = error_object;
  state().active = true;
}

void host_command_failed(std::string_view module, std::string_view code, std::string message) {
  set_error_state(error_object(module, code, message));
  signal("SIMPLE-ERROR", std::move(message));
}

}  // namespace sim

namespace host::frame2 {

ref make_error_object(const ref& module, const ref& code, std::string_view message) {
  ref r = make_structure(error_object_type());
  auto& s = static_cast<structure_obj&>(*r);
  s.slots = {module, code, make_string(message)};
  return r;
}

ref read_error_object(const ref& error_object, const ref& key) {
  if (!typep(error_object, error_object_type())) type_error(error_object, "FRAME2::ERROR-OBJECT");
  std::string k = keywordp(key) ? static_cast<symbol&>(*key).name : "";
  auto& s = static_cast<structure_obj&>(*error_object);
  if (k == "MODULE") return s.slots[0];
  if (k == "CODE") return s.slots[1];
  if (k == "ERROR-MESG") return s.slots[2];
  simple_error("FRAME2::READ-ERROR-OBJECT: unknown key " + prin1_to_string(key) + ".");
}

ref sd_modinfo_set_error(const ref& module, const ref& code) {
  std::string m = string_designator(module), c = string_designator(code);
  ref object = make_error_object(ref(&keyword(m)), ref(&keyword(c)), known_error_message(m, c));
  sim::set_error_state(object);
  return object;
}

void display_error(const ref& error) { call(symbol_value(frame2_symbol("*DISPLAY-ERROR-FUNCTION*")), error); }

void catch_display_error(const ref& error) {
  if (typep(error, error_object_type()))
    sim::set_error_state(error);
  else
    sim::set_error_state(sim::error_object("FRAME2", "DISPLAYED-ERROR", message_of(error)));
}

ref decode_action_call_error(const ref& condition) {
  if (state().active && truthy(state().object)) return state().object;
  ref object = typep(condition, error_object_type())
                   ? condition
                   : sim::error_object("FRAME2", "ACTION-CALL-ERROR", message_of(condition));
  sim::set_error_state(object);
  return object;
}

bool action_call_allowed() { return truthy(symbol_value(frame2_symbol("*ACTION-CALL-ALLOWED*"))); }
bool enable_terminate_action_test() {
  return truthy(symbol_value(frame2_symbol("*ENABLE-TERMINATE-ACTION-TEST*")));
}
ref sd_action_result() { return symbol_value(frame2_symbol("*SD-ACTION-RESULT*")); }

}  // namespace host::frame2

namespace host::oli {

ref sd_inq_error_obj() { return state().object; }

ref sd_display_warning(std::string_view message, const ref& default_answer) {
  symbol& s = intern("SD-DISPLAY-WARNING", require_package("OLI"));
  if (is_nil(default_answer)) return call(s, make_string(message));
  return call(s, make_string(message), ref(&keyword("DEFAULT")), default_answer);
}

}  // namespace host::oli

namespace host::system {

bool reset_lisp_error_active() {
  bool was = state().active;
  state().active = false;
  return was;
}

}  // namespace host::system

namespace {

using sim::define_host_function;

void define_special(std::string_view name, ref value) {
  symbol& s = frame2_symbol(name);
  s.special = true;
  if (!s.value) s.value = value;
}

const builtins_registration error_functions([] {
  error_object_type();
  define_host_function("FRAME2", "READ-ERROR-OBJECT", 2, 2,
                       [](args_t a) { return host::frame2::read_error_object(a[0], a[1]); });
  define_host_function("FRAME2", "SD-MODINFO-SET-ERROR", 2, 2,
                       [](args_t a) { return host::frame2::sd_modinfo_set_error(a[0], a[1]); });
  define_host_function("FRAME2", "DISPLAY-ERROR", 1, 1, [](args_t a) {
    host::frame2::display_error(a[0]);
    return nil();
  });
  define_host_function("FRAME2", "CATCH-DISPLAY-ERROR", 1, 1, [](args_t a) {
    host::frame2::catch_display_error(a[0]);
    return nil();
  });
  // The host's own error display: one line on the host's output.
  define_host_function("FRAME2", "SHOW-ERROR", 1, 1, [](args_t a) {
    standard_output() << "Error: " << message_of(a[0]) << '\n' << std::flush;
    return nil();
  });
  define_host_function("FRAME2", "DECODE-ACTION-CALL-ERROR", 1, 1,
                       [](args_t a) { return host::frame2::decode_action_call_error(a[0]); });
  // T itself may be what started the runtime: take the symbol, not t().
  ref true_value(&cl_symbol("T"));
  define_special("*ACTION-CALL-ALLOWED*", true_value);
  define_special("*ENABLE-TERMINATE-ACTION-TEST*", true_value);
  define_special("*SD-ACTION-RESULT*", nil());
  define_special("*DISPLAY-ERROR-FUNCTION*", symbol_function(frame2_symbol("SHOW-ERROR")));
  define_host_function("OLI", "SD-INQ-ERROR-OBJ", 0, 0, [](args_t) { return host::oli::sd_inq_error_obj(); });
  define_host_function("SYSTEM", "RESET-LISP-ERROR-ACTIVE", 0, 0,
                       [](args_t) { return boolean(host::system::reset_lisp_error_active()); });
  // The host's warning box, replaceable: (oli::sd-display-warning message
  // &key (default :yes) ...) prints the warning and takes the default answer.
  define_host_function("OLI", "SD-DISPLAY-WARNING", 1, any_count, [](args_t a) {
    keyword_args keys("OLI::SD-DISPLAY-WARNING", a, 1, {"DEFAULT"}, true);
    standard_output() << "Warning: " << message_of(a[0]) << '\n' << std::flush;
    return keys.get("DEFAULT", ref(&keyword("YES")));
  });
});

}  // namespace
