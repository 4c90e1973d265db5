// Global functions and special variables of symbols.
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"

namespace host::lisp {

ref symbol_function(symbol& s) {
  if (is_nil(s.function))
    signal("UNDEFINED-FUNCTION", "The function " + prin1_to_string(ref(&s)) + " is undefined.");
  return s.function;
}

symbol& defun(symbol& name, native_fn fn) {
  name.function = make_native_function(name.name, std::move(fn));
  return name;
}

symbol& defun(std::string_view name, package& p, native_fn fn) {
  return defun(intern(name, p), std::move(fn));
}

void defvar(symbol& s, ref initial) {
  s.special = true;
  if (!s.value) s.value = std::move(initial);
}

void defparameter(symbol& s, ref value) {
  s.special = true;
  s.value = std::move(value);
}

ref symbol_value(symbol& s) {
  if (!s.value) signal("UNBOUND-VARIABLE", "The variable " + prin1_to_string(ref(&s)) + " is unbound.");
  return *s.value;
}

void set_symbol_value(symbol& s, ref value) {
  if (s.constant) simple_error("Cannot set the constant " + prin1_to_string(ref(&s)) + ".");
  s.value = std::move(value);
}

bool boundp(const symbol& s) { return s.value.has_value(); }

special_binding::special_binding(symbol& s, ref value) : s_(s), saved_(s.value) {
  s_.value = std::move(value);
}

special_binding::~special_binding() { s_.value = std::move(saved_); }

}  // namespace host::lisp
