// Interpreted functions: lambda lists with &optional, &rest, &key,
// &allow-other-keys and &aux, and the closures that carry them.
#include <memory>
#include <unordered_set>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"
#include "lisp/fail.h"

namespace host::lisp::evaluator {

namespace {

struct lambda_list {
  struct optional {
    symbol* var;
    ref init;
    symbol* supplied;
  };
  struct key {
    symbol* keyword;
    symbol* var;
    ref init;
    symbol* supplied;
  };
  std::vector<symbol*> required;
  std::vector<optional> optionals;
  symbol* rest = nullptr;
  bool has_keys = false;
  bool allow_other_keys = false;
  std::vector<key> keys;
  std::vector<std::pair<symbol*, ref>> aux;
};

struct closure {
  std::string name;
  symbol* block_name;
  lambda_list params;
  ref body;
  env captured;
};

[[noreturn]] void bad_lambda_list(const ref& list) { fail("Malformed lambda list: ~S", list); }

symbol* variable(const ref& r, const ref& list) {
  if (!symbolp(r)) bad_lambda_list(list);
  auto& s = static_cast<symbol&>(*r);
  if (is_keyword(s) || s.constant || s.name.starts_with('&')) bad_lambda_list(list);
  return &s;
}

// (var [init [supplied-p]]) or var; for &key, var may be (keyword var).
struct parameter_form {
  ref name;
  ref init;
  symbol* supplied = nullptr;
};
parameter_form parameter(const ref& param, const ref& list) {
  if (!consp(param)) return {param, ref(), nullptr};
  std::size_t n = list_length(param);
  if (n < 1 || n > 3 || !is_nil(form_rest(param, n))) bad_lambda_list(list);
  return {car(param), car(cdr(param)), n == 3 ? variable(car(cdr(cdr(param))), list) : nullptr};
}

lambda_list parse_lambda_list(const ref& list) {
  enum class section {
    required,
    optional,
    rest,
    rest_done,
    key,
    allow_other_keys,
    aux
  } at = section::required;
  lambda_list out;
  ref p = list;
  for (; consp(p); p = as_cons(p).cdr) {
    const ref& item = as_cons(p).car;
    if (symbolp(item) && static_cast<symbol&>(*item).name.starts_with('&')) {
      const std::string& word = static_cast<symbol&>(*item).name;
      section next;
      if (word == "&OPTIONAL")
        next = section::optional;
      else if (word == "&REST")
        next = section::rest;
      else if (word == "&KEY")
        next = section::key;
      else if (word == "&ALLOW-OTHER-KEYS")
        next = section::allow_other_keys;
      else if (word == "&AUX")
        next = section::aux;
      else
        fail("The lambda list keyword ~S is not supported by the host's evaluator.", item);
      if (next <= at || at == section::rest || (next == section::allow_other_keys && at != section::key))
        bad_lambda_list(list);
      at = next;
      if (at == section::key) out.has_keys = true;
      if (at == section::allow_other_keys) out.allow_other_keys = true;
      continue;
    }
    switch (at) {
      case section::required:
        out.required.push_back(variable(item, list));
        break;
      case section::optional: {
        parameter_form param = parameter(item, list);
        out.optionals.push_back({variable(param.name, list), param.init, param.supplied});
        break;
      }
      case section::rest:
        out.rest = variable(item, list);
        at = section::rest_done;
        break;
      case section::key: {
        parameter_form param = parameter(item, list);
        symbol* var;
        symbol* key;
        if (consp(param.name)) {
          if (list_length(param.name) != 2 || !symbolp(car(param.name))) bad_lambda_list(list);
          key = &as_symbol(car(param.name));
          var = variable(car(cdr(param.name)), list);
        } else {
          var = variable(param.name, list);
          key = &keyword(var->name);
        }
        out.keys.push_back({key, var, param.init, param.supplied});
        break;
      }
      case section::aux: {
        parameter_form param = parameter(item, list);
        if (param.supplied) bad_lambda_list(list);
        out.aux.emplace_back(variable(param.name, list), param.init);
        break;
      }
      case section::rest_done:
      case section::allow_other_keys:
        bad_lambda_list(list);
    }
  }
  if (!is_nil(p) || at == section::rest) bad_lambda_list(list);
  return out;
}

ref apply_closure(const closure& c, args_t args) {
  const lambda_list& p = c.params;
  const std::size_t required = p.required.size();
  const std::size_t positional = required + p.optionals.size();
  const bool open_ended = p.rest || p.has_keys;
  if (args.size() < required || (!open_ended && args.size() > positional))
    argument_count_error(c.name.empty() ? "LAMBDA" : c.name, args.size(), required,
                         open_ended ? any_count : positional);
  env e = c.captured;
  dynamic_bindings dynamic;
  std::size_t i = 0;
  for (symbol* var : p.required) bind(*var, args[i++], e, dynamic);
  for (const auto& o : p.optionals) {
    const bool supplied = i < args.size();
    bind(*o.var, supplied ? args[i++] : eval_in(o.init, e), e, dynamic);
    if (o.supplied) bind(*o.supplied, boolean(supplied), e, dynamic);
  }
  if (p.rest) bind(*p.rest, list_from(std::vector<ref>(args.begin() + i, args.end())), e, dynamic);
  if (p.has_keys) {
    check_keyword_pairs(
        c.name.empty() ? "LAMBDA" : c.name, args, i,
        [&](const symbol& s) {
          for (const auto& k : p.keys)
            if (k.keyword == &s) return true;
          return false;
        },
        p.allow_other_keys);
    for (const auto& k : p.keys) {
      std::size_t j = i;
      while (j < args.size() && args[j].get() != k.keyword) j += 2;
      const bool supplied = j < args.size();
      bind(*k.var, supplied ? args[j + 1] : eval_in(k.init, e), e, dynamic);
      if (k.supplied) bind(*k.supplied, boolean(supplied), e, dynamic);
    }
  }
  for (const auto& [var, init] : p.aux) bind(*var, eval_in(init, e), e, dynamic);
  if (!c.block_name) return eval_body(c.body, e);
  return run_block(c.block_name, e, [&](const env& inner) { return eval_body(c.body, inner); });
}

void collect_symbols(const ref& form, std::unordered_set<const symbol*>& out) {
  ref p = form;
  for (; consp(p); p = as_cons(p).cdr) collect_symbols(as_cons(p).car, out);
  if (symbolp(p)) out.insert(static_cast<const symbol*>(p.get()));
}

env captured_scopes(const env& e, const ref& lambda_list, const ref& body) {
  std::unordered_set<const symbol*> names;
  collect_symbols(lambda_list, names);
  collect_symbols(body, names);
  std::vector<std::shared_ptr<binding>> kept;
  for (const scope* s = e.get(); s; s = s->next.get())
    if (s->b->what == binding::kind::block || names.contains(s->b->name)) kept.push_back(s->b);
  env out;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) out = push_scope(*it, out);
  return out;
}

}  // namespace

ref make_closure(std::string name, symbol* block_name, const ref& lambda_list, const ref& body,
                 const env& e) {
  if (!listp(lambda_list)) bad_lambda_list(lambda_list);
  auto c = std::make_shared<closure>(closure{name, block_name, parse_lambda_list(lambda_list),
                                             skip_declarations(body, true),
                                             captured_scopes(e, lambda_list, body)});
  auto* f = new function_obj();
  ref result(f);
  f->name = std::move(name);
  f->native = [c](args_t args) { return apply_closure(*c, args); };
  f->closure = c;
  return result;
}

}  // namespace host::lisp::evaluator
