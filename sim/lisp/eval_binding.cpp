// Variable binding and assignment: let, let* and setq.
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"

namespace host::lisp::evaluator {

namespace {

// var, (var) or (var init).
std::pair<symbol*, ref> let_binding(const ref& binding, const ref& form) {
  if (symbolp(binding)) return {&as_symbol(binding), ref()};
  if (!consp(binding) || list_length(binding) > 2 || !is_nil(form_rest(binding, list_length(binding))) ||
      !symbolp(car(binding)))
    malformed(form);
  return {&as_symbol(car(binding)), car(cdr(binding))};
}

ref let_form(const ref& form, const env& e) {
  std::vector<std::pair<symbol*, ref>> values;
  for (const ref& binding : form_elements(form_arg(form, 1), form)) {
    auto [var, init] = let_binding(binding, form);
    values.emplace_back(var, eval_in(init, e));
  }
  env inner = e;
  dynamic_bindings dynamic;
  for (auto& [var, value] : values) bind(*var, std::move(value), inner, dynamic);
  return eval_body(skip_declarations(form_rest(form, 2), false), inner);
}

ref let_star_form(const ref& form, const env& e) {
  env inner = e;
  dynamic_bindings dynamic;
  for (const ref& binding : form_elements(form_arg(form, 1), form)) {
    auto [var, init] = let_binding(binding, form);
    bind(*var, eval_in(init, inner), inner, dynamic);
  }
  return eval_body(skip_declarations(form_rest(form, 2), false), inner);
}

ref setq_form(const ref& form, const env& e) {
  const std::vector<ref> pairs = form_elements(cdr(form), form);
  if (pairs.size() % 2) malformed(form);
  ref value;
  for (std::size_t i = 0; i < pairs.size(); i += 2) {
    if (!symbolp(pairs[i])) malformed(form);
    value = eval_in(pairs[i + 1], e);
    set_variable(static_cast<symbol&>(*pairs[i]), value, e);
  }
  return value;
}

}  // namespace

void add_binding_forms(special_form_table& table) {
  table[&cl_symbol("LET")] = let_form;
  table[&cl_symbol("LET*")] = let_star_form;
  table[&cl_symbol("SETQ")] = setq_form;
}

}  // namespace host::lisp::evaluator
