// Control special forms: sequencing, conditionals, blocks, loops, cleanup
// and error handlers.
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"
#include "lisp/fail.h"

namespace host::lisp::evaluator {

namespace {

ref progn_form(const ref& form, const env& e) { return eval_body(cdr(form), e); }

ref prog1_form(const ref& form, const env& e) {
  ref first = eval_in(form_arg(form, 1), e);
  eval_body(form_rest(form, 2), e);
  return first;
}

ref if_form(const ref& form, const env& e) {
  const std::size_t n = list_length(form);
  if (n < 3 || n > 4) malformed(form);
  return truthy(eval_in(form_arg(form, 1), e)) ? eval_in(form_arg(form, 2), e)
                                               : eval_in(car(form_rest(form, 3)), e);
}

ref when_form(const ref& form, const env& e) {
  return truthy(eval_in(form_arg(form, 1), e)) ? eval_body(form_rest(form, 2), e) : ref();
}

ref unless_form(const ref& form, const env& e) {
  return truthy(eval_in(form_arg(form, 1), e)) ? ref() : eval_body(form_rest(form, 2), e);
}

ref cond_form(const ref& form, const env& e) {
  for (const ref& clause : form_elements(cdr(form), form)) {
    if (!consp(clause)) malformed(form);
    ref test = eval_in(car(clause), e);
    if (truthy(test)) return consp(cdr(clause)) ? eval_body(cdr(clause), e) : test;
  }
  return ref();
}

ref case_form(const ref& form, const env& e) {
  ref key = eval_in(form_arg(form, 1), e);
  const std::vector<ref> clauses = form_elements(form_rest(form, 2), form);
  for (std::size_t i = 0; i < clauses.size(); ++i) {
    const ref& clause = clauses[i];
    if (!consp(clause)) malformed(form);
    const ref& keys = car(clause);
    bool hit;
    if (keys == ref(&cl_symbol("OTHERWISE")) || keys == t()) {
      if (i + 1 != clauses.size()) malformed(form);
      hit = true;
    } else if (listp(keys)) {
      hit = false;
      for (const ref& k : form_elements(keys, form)) hit = hit || eql(k, key);
    } else {
      hit = eql(keys, key);
    }
    if (hit) return eval_body(cdr(clause), e);
  }
  return ref();
}

ref and_form(const ref& form, const env& e) {
  ref result = t();
  for (const ref& f : form_elements(cdr(form), form)) {
    result = eval_in(f, e);
    if (is_nil(result)) break;
  }
  return result;
}

ref or_form(const ref& form, const env& e) {
  for (const ref& f : form_elements(cdr(form), form)) {
    ref value = eval_in(f, e);
    if (truthy(value)) return value;
  }
  return ref();
}

ref block_form(const ref& form, const env& e) {
  symbol& name = as_symbol(form_arg(form, 1));
  ref body = form_rest(form, 2);
  return run_block(&name, e, [&](const env& inner) { return eval_body(body, inner); });
}

[[noreturn]] void leave_block(const symbol& name, const ref& value_form, const env& e) {
  for (const scope* s = e.get(); s; s = s->next.get()) {
    const binding* b = s->b.get();
    if (b->what != binding::kind::block || b->name != &name) continue;
    if (!b->live) fail("The block ~S has already been left; it cannot be returned from.", ref(b->name));
    throw block_exit{b, eval_in(value_form, e)};
  }
  fail("There is no block named ~S to return from.", ref(const_cast<symbol*>(&name)));
}

ref return_from_form(const ref& form, const env& e) {
  if (list_length(form) > 3) malformed(form);
  leave_block(as_symbol(form_arg(form, 1)), car(form_rest(form, 2)), e);
}

ref return_form(const ref& form, const env& e) {
  if (list_length(form) > 2) malformed(form);
  leave_block(as_symbol(nil()), car(cdr(form)), e);
}

ref unwind_protect_form(const ref& form, const env& e) {
  ref cleanup = form_rest(form, 2);
  ref result;
  try {
    result = eval_in(form_arg(form, 1), e);
  } catch (...) {
    eval_body(cleanup, e);
    throw;
  }
  eval_body(cleanup, e);
  return result;
}

ref ignore_errors_form(const ref& form, const env& e) {
  try {
    return eval_body(cdr(form), e);
  } catch (const lisp_error&) {
    return ref();
  }
}

// Host errors are not typed beyond their kind: the general condition types
// catch every error, any other type only errors of that kind.
bool handles(const ref& type, const lisp_error& err) {
  const std::string& name = as_symbol(type).name;
  return name == "ERROR" || name == "CONDITION" || name == "SERIOUS-CONDITION" || name == "T" ||
         name == err.kind();
}

ref handler_case_form(const ref& form, const env& e) {
  const std::vector<ref> clauses = form_elements(form_rest(form, 2), form);
  for (const ref& clause : clauses) {
    if (!consp(clause) || !symbolp(car(clause)) || !listp(car(cdr(clause))) ||
        list_length(car(cdr(clause))) > 1)
      malformed(form);
    if (keywordp(car(clause)))
      fail("The handler-case clause ~S is not supported by the host's evaluator.", car(clause));
  }
  try {
    return eval_in(form_arg(form, 1), e);
  } catch (const lisp_error& err) {
    for (const ref& clause : clauses) {
      if (!handles(car(clause), err)) continue;
      env inner = e;
      dynamic_bindings dynamic;
      ref vars = car(cdr(clause));
      if (consp(vars)) bind(as_symbol(car(vars)), err.condition(), inner, dynamic);
      return eval_body(skip_declarations(cdr(cdr(clause)), false), inner);
    }
    throw;
  }
}

// (var form [result]) of dolist and dotimes.
struct loop_clause {
  symbol* var;
  ref init;
  ref result;
};
loop_clause parse_loop_clause(const ref& form) {
  ref clause = form_arg(form, 1);
  if (!consp(clause)) malformed(form);
  const std::size_t n = list_length(clause);
  if (n < 2 || n > 3 || !is_nil(form_rest(clause, n))) malformed(form);
  return {&as_symbol(car(clause)), car(cdr(clause)), car(cdr(cdr(clause)))};
}

ref dolist_form(const ref& form, const env& e) {
  const loop_clause clause = parse_loop_clause(form);
  const ref body = skip_declarations(form_rest(form, 2), false);
  const ref list = eval_in(clause.init, e);
  if (!listp(list)) type_error(list, "LIST");
  return run_block(&as_symbol(nil()), e, [&](const env& outer) {
    ref p = list;
    for (; consp(p); p = as_cons(p).cdr) {
      env inner = outer;
      dynamic_bindings dynamic;
      bind(*clause.var, as_cons(p).car, inner, dynamic);
      eval_body(body, inner);
    }
    if (!is_nil(p)) type_error(list, "LIST");
    env inner = outer;
    dynamic_bindings dynamic;
    bind(*clause.var, ref(), inner, dynamic);
    return eval_in(clause.result, inner);
  });
}

ref dotimes_form(const ref& form, const env& e) {
  const loop_clause clause = parse_loop_clause(form);
  const ref body = skip_declarations(form_rest(form, 2), false);
  const ref count_value = eval_in(clause.init, e);
  const std::int64_t count = as_integer(count_value);
  return run_block(&as_symbol(nil()), e, [&](const env& outer) {
    env inner = outer;
    dynamic_bindings dynamic;
    bind(*clause.var, make_integer(0), inner, dynamic);
    for (std::int64_t i = 0; i < count; ++i) {
      set_variable(*clause.var, make_integer(i), inner);
      eval_body(body, inner);
    }
    set_variable(*clause.var, make_integer(std::max<std::int64_t>(count, 0)), inner);
    return eval_in(clause.result, inner);
  });
}

}  // namespace

void add_control_forms(special_form_table& table) {
  table[&cl_symbol("PROGN")] = progn_form;
  table[&cl_symbol("PROG1")] = prog1_form;
  table[&cl_symbol("IF")] = if_form;
  table[&cl_symbol("WHEN")] = when_form;
  table[&cl_symbol("UNLESS")] = unless_form;
  table[&cl_symbol("COND")] = cond_form;
  table[&cl_symbol("CASE")] = case_form;
  table[&cl_symbol("AND")] = and_form;
  table[&cl_symbol("OR")] = or_form;
  table[&cl_symbol("BLOCK")] = block_form;
  table[&cl_symbol("RETURN-FROM")] = return_from_form;
  table[&cl_symbol("RETURN")] = return_form;
  table[&cl_symbol("UNWIND-PROTECT")] = unwind_protect_form;
  table[&cl_symbol("IGNORE-ERRORS")] = ignore_errors_form;
  table[&cl_symbol("HANDLER-CASE")] = handler_case_form;
  table[&cl_symbol("DOLIST")] = dolist_form;
  table[&cl_symbol("DOTIMES")] = dotimes_form;
}

}  // namespace host::lisp::evaluator
