// Definitions: defvar, defparameter, defconstant, defun and in-package.
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"
#include "lisp/fail.h"

namespace host::lisp::evaluator {

namespace {

symbol& defined_name(const ref& form) {
  ref name = form_arg(form, 1);
  if (!symbolp(name)) malformed(form);
  return static_cast<symbol&>(*name);
}

symbol& variable_name(const ref& form) {
  symbol& s = defined_name(form);
  if (s.constant || is_keyword(s)) fail("~S is a constant and cannot become a special variable.", ref(&s));
  return s;
}

ref defvar_form(const ref& form, const env& e) {
  const std::size_t n = list_length(form);
  if (n < 2 || n > 4) malformed(form);
  symbol& s = variable_name(form);
  // The initial value is evaluated only when the variable is unbound.
  if (n >= 3 && !boundp(s))
    defvar(s, eval_in(form_arg(form, 2), e));
  else
    s.special = true;
  return ref(&s);
}

ref defparameter_form(const ref& form, const env& e) {
  const std::size_t n = list_length(form);
  if (n < 3 || n > 4) malformed(form);
  symbol& s = variable_name(form);
  defparameter(s, eval_in(form_arg(form, 2), e));
  return ref(&s);
}

ref defconstant_form(const ref& form, const env& e) {
  const std::size_t n = list_length(form);
  if (n < 3 || n > 4) malformed(form);
  symbol& s = defined_name(form);
  ref value = eval_in(form_arg(form, 2), e);
  // Reloading a file that defines a constant is fine as long as the value
  // stays the same.
  if (s.constant && s.value && !equal(*s.value, value))
    fail("The constant ~S is being redefined (from ~S to ~S).", ref(&s), *s.value, value);
  if (s.special) fail("~S is a special variable and cannot become a constant.", ref(&s));
  s.value = value;
  s.constant = true;
  return ref(&s);
}

ref defun_form(const ref& form, const env& e) {
  if (list_length(form) < 3) malformed(form);
  symbol& s = defined_name(form);
  if (s.constant || is_keyword(s) || is_nil(ref(&s))) fail("~S cannot name a function.", ref(&s));
  s.function = make_closure(s.name, &s, form_arg(form, 2), form_rest(form, 3), e);
  return ref(&s);
}

ref in_package_form(const ref& form, const env&) {
  if (list_length(form) != 2) malformed(form);
  package& p = require_package(string_designator(form_arg(form, 1)));
  set_symbol_value(cl_symbol("*PACKAGE*"), ref(&p));
  return ref(&p);
}

}  // namespace

void add_definition_forms(special_form_table& table) {
  table[&cl_symbol("DEFVAR")] = defvar_form;
  table[&cl_symbol("DEFPARAMETER")] = defparameter_form;
  table[&cl_symbol("DEFCONSTANT")] = defconstant_form;
  table[&cl_symbol("DEFUN")] = defun_form;
  table[&cl_symbol("IN-PACKAGE")] = in_package_form;
}

}  // namespace host::lisp::evaluator
