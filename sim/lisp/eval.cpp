// The evaluator's core: variables, calls, funcall, quote and function.
#include "host/lisp/eval.h"

#include <unordered_set>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"

namespace host::lisp {
namespace evaluator {

namespace {

special_form_table& special_forms() {
  static special_form_table table;
  return table;
}

// Standard operators a customization file might try that this evaluator
// does not implement; they fail with a clear message rather than as
// undefined functions.
std::unordered_set<const symbol*>& unsupported_operators() {
  static std::unordered_set<const symbol*> set;
  return set;
}

constexpr std::string_view unsupported_names[] = {"ASSERT",
                                                  "CATCH",
                                                  "CCASE",
                                                  "CHECK-TYPE",
                                                  "CTYPECASE",
                                                  "DECLAIM",
                                                  "DECLARE",
                                                  "DEFCLASS",
                                                  "DEFGENERIC",
                                                  "DEFINE-COMPILER-MACRO",
                                                  "DEFINE-CONDITION",
                                                  "DEFINE-MODIFY-MACRO",
                                                  "DEFINE-SETF-EXPANDER",
                                                  "DEFINE-SYMBOL-MACRO",
                                                  "DEFMACRO",
                                                  "DEFMETHOD",
                                                  "DEFPACKAGE",
                                                  "DEFSETF",
                                                  "DEFSTRUCT",
                                                  "DEFTYPE",
                                                  "DESTRUCTURING-BIND",
                                                  "DO",
                                                  "DO*",
                                                  "DO-ALL-SYMBOLS",
                                                  "DO-EXTERNAL-SYMBOLS",
                                                  "DO-SYMBOLS",
                                                  "ECASE",
                                                  "ETYPECASE",
                                                  "EVAL-WHEN",
                                                  "FLET",
                                                  "GO",
                                                  "HANDLER-BIND",
                                                  "LABELS",
                                                  "LOAD-TIME-VALUE",
                                                  "LOCALLY",
                                                  "LOOP",
                                                  "MACROLET",
                                                  "MULTIPLE-VALUE-BIND",
                                                  "MULTIPLE-VALUE-CALL",
                                                  "MULTIPLE-VALUE-LIST",
                                                  "MULTIPLE-VALUE-PROG1",
                                                  "MULTIPLE-VALUE-SETQ",
                                                  "NTH-VALUE",
                                                  "PROG",
                                                  "PROG*",
                                                  "PROG2",
                                                  "PROGV",
                                                  "PSETF",
                                                  "PSETQ",
                                                  "PUSHNEW",
                                                  "RESTART-BIND",
                                                  "RESTART-CASE",
                                                  "ROTATEF",
                                                  "SHIFTF",
                                                  "SYMBOL-MACROLET",
                                                  "TAGBODY",
                                                  "THE",
                                                  "THROW",
                                                  "TYPECASE",
                                                  "WITH-ACCESSORS",
                                                  "WITH-HASH-TABLE-ITERATOR",
                                                  "WITH-INPUT-FROM-STRING",
                                                  "WITH-OPEN-FILE",
                                                  "WITH-OPEN-STREAM",
                                                  "WITH-OUTPUT-TO-STRING",
                                                  "WITH-SIMPLE-RESTART",
                                                  "WITH-SLOTS",
                                                  "WITH-STANDARD-IO-SYNTAX"};

ref quote_form(const ref& form, const env&) {
  if (list_length(form) != 2) malformed(form);
  return form_arg(form, 1);
}

ref function_form(const ref& form, const env& e) {
  if (list_length(form) != 2) malformed(form);
  ref name = form_arg(form, 1);
  if (symbolp(name)) return symbol_function(as_symbol(name));
  if (consp(name) && car(name) == ref(&cl_symbol("LAMBDA")) && consp(cdr(name)))
    return make_closure("", nullptr, car(cdr(name)), cdr(cdr(name)), e);
  fail("~S is not a function name the host's evaluator supports.", name);
}

// (lambda ...) evaluates to the closure, as (function (lambda ...)) does.
ref lambda_form(const ref& form, const env& e) {
  if (!consp(cdr(form))) malformed(form);
  return make_closure("", nullptr, form_arg(form, 1), form_rest(form, 2), e);
}

ref call_form(const ref& form, const env& e) {
  const ref& op = as_cons(form).car;
  ref function;
  if (symbolp(op)) {
    auto& s = static_cast<symbol&>(*op);
    if (auto it = special_forms().find(&s); it != special_forms().end()) return it->second(form, e);
    if (unsupported_operators().contains(&s)) fail("~S is not supported by the host's evaluator.", op);
    function = symbol_function(s);
  } else if (consp(op) && car(op) == ref(&cl_symbol("LAMBDA"))) {
    function = lambda_form(op, e);
  } else {
    fail("Illegal function call: ~S", form);
  }
  std::vector<ref> args;
  ref p = as_cons(form).cdr;
  for (; consp(p); p = as_cons(p).cdr) args.push_back(eval_in(as_cons(p).car, e));
  if (!is_nil(p)) malformed(form);
  return funcall(function, args);
}

const builtins_registration reg([] {
  auto& table = special_forms();
  table[&cl_symbol("QUOTE")] = quote_form;
  table[&cl_symbol("FUNCTION")] = function_form;
  table[&cl_symbol("LAMBDA")] = lambda_form;
  add_control_forms(table);
  add_binding_forms(table);
  add_definition_forms(table);
  add_place_forms(table);
  for (std::string_view name : unsupported_names) unsupported_operators().insert(&cl_symbol(name));
  // Declaration identifiers are read as COMMON-LISP symbols from any package.
  for (std::string_view name : {"SPECIAL", "IGNORE", "IGNORABLE", "TYPE", "OPTIMIZE", "INLINE", "NOTINLINE",
                                "DYNAMIC-EXTENT", "FTYPE"})
    cl_symbol(name);
});

}  // namespace

env push_scope(std::shared_ptr<binding> b, env next) {
  return std::make_shared<const scope>(scope{std::move(b), std::move(next)});
}

env bind_variable(symbol* name, ref value, env next) {
  return push_scope(std::make_shared<binding>(binding{binding::kind::variable, name, std::move(value), true}),
                    std::move(next));
}

binding* find_variable(const env& e, const symbol* name) {
  for (const scope* s = e.get(); s; s = s->next.get())
    if (s->b->what == binding::kind::variable && s->b->name == name) return s->b.get();
  return nullptr;
}

void bind(symbol& s, ref value, env& e, dynamic_bindings& dynamic) {
  if (s.constant || is_keyword(s)) fail("~S is a constant and cannot be bound.", ref(&s));
  if (s.special)
    dynamic.bind(s, std::move(value));
  else
    e = bind_variable(&s, std::move(value), e);
}

ref variable_value(symbol& s, const env& e) {
  if (is_keyword(s)) return ref(&s);
  if (!s.special)
    if (binding* b = find_variable(e, &s)) return b->value;
  return symbol_value(s);
}

void set_variable(symbol& s, ref value, const env& e) {
  if (s.constant || is_keyword(s)) fail("~S is a constant and cannot be set.", ref(&s));
  if (!s.special)
    if (binding* b = find_variable(e, &s)) {
      b->value = std::move(value);
      return;
    }
  set_symbol_value(s, std::move(value));
}

ref eval_in(const ref& form, const env& e) {
  switch (form->type) {
    case tag::symbol:
      return variable_value(static_cast<symbol&>(*form), e);
    case tag::cons:
      return call_form(form, e);
    default:
      return form;
  }
}

ref eval_body(const ref& forms, const env& e) {
  ref result;
  for (ref p = forms; consp(p); p = as_cons(p).cdr) result = eval_in(as_cons(p).car, e);
  return result;
}

ref run_block(symbol* name, const env& e, const std::function<ref(const env&)>& body) {
  auto block = std::make_shared<binding>(binding{binding::kind::block, name, ref(), true});
  struct leave {
    binding& b;
    ~leave() { b.live = false; }
  } guard{*block};
  try {
    return body(push_scope(block, e));
  } catch (block_exit& exit) {
    if (exit.target != block.get()) throw;
    return std::move(exit.value);
  }
}

void malformed(const ref& form) { fail("Malformed ~S form: ~S", car(form), form); }

std::vector<ref> form_elements(const ref& list, const ref& form) {
  std::vector<ref> out;
  ref p = list;
  for (; consp(p); p = as_cons(p).cdr) out.push_back(as_cons(p).car);
  if (!is_nil(p)) malformed(form);
  return out;
}

ref form_arg(const ref& form, std::size_t n) {
  ref p = form;
  for (std::size_t i = 0; i < n && consp(p); ++i) p = as_cons(p).cdr;
  if (!consp(p)) malformed(form);
  return as_cons(p).car;
}

ref form_rest(const ref& form, std::size_t n) {
  ref p = form;
  for (std::size_t i = 0; i < n && consp(p); ++i) p = as_cons(p).cdr;
  return p;
}

ref skip_declarations(const ref& body, bool allow_doc) {
  ref p = body;
  const ref declare(&cl_symbol("DECLARE"));
  while (consp(p)) {
    const ref& first = as_cons(p).car;
    if (allow_doc && stringp(first) && consp(as_cons(p).cdr)) {
      allow_doc = false;
    } else if (consp(first) && car(first) == declare) {
      for (const ref& declaration : list_to_vector(cdr(first)))
        if (consp(declaration) && car(declaration) == ref(&cl_symbol("SPECIAL")))
          fail("Local special declarations are not supported by the host's evaluator: ~S", first);
    } else {
      break;
    }
    p = as_cons(p).cdr;
  }
  return p;
}

}  // namespace evaluator

ref eval(const ref& form) { return evaluator::eval_in(form, nullptr); }

ref funcall(const ref& function_designator, args_t args) {
  ref f = function_designator;
  if (symbolp(f)) f = symbol_function(static_cast<symbol&>(*f));
  function_obj& fn = as_function(f);
  if (!fn.native) fail("The function ~S cannot be called.", f);
  return fn.native(args);
}

}  // namespace host::lisp
