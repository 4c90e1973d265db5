// Variable binding and assignment: let, let* and setq.
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"

namespace host::lisp::evaluator {

namespace {

// var, (var) or (var init).
std::pair<symbol*, ref> let_binding(const ref& spec, const ref& form) {
  if (symbolp(spec)) return {&as_symbol(spec), ref()};
  if (!consp(spec) || list_length(spec) > 2 || !is_nil(form_rest(spec, list_length(spec))) ||
      !symbolp(car(spec)))
    malformed(form);
  return {&as_symbol(car(spec)), car(cdr(spec))};
}

ref let_form(const ref& form, const env& e) {
  std::vector<std::pair<symbol*, ref>> values;
  for (const ref& spec : form_elements(form_arg(form, 1), form)) {
    auto [var, init] = let_binding(spec, form);
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
  for (const ref& spec : form_elements(form_arg(form, 1), form)) {
    auto [var, init] = let_binding(spec, form);
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
