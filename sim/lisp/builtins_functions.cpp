// Calling functions and signalling: funcall, apply, identity, values, error.
#include "host/lisp/format.h"
#include "lisp/builtin_def.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

ref apply(args_t a) {
  std::vector<ref> args(a.begin() + 1, a.end() - 1);
  ref spread = a.back();
  for (; consp(spread); spread = as_cons(spread).cdr) args.push_back(as_cons(spread).car);
  if (!is_nil(spread)) type_error(a.back(), "LIST");
  return funcall(a[0], args);
}

// (error datum args...): a format control with its arguments, a condition
// to signal again, or a condition type with :format-control and
// :format-arguments.
ref error_function(args_t a) {
  if (stringp(a[0])) error(as_string(a[0]), a.subspan(1));
  if (is_condition(a[0])) throw lisp_error(a[0]);
  if (!symbolp(a[0])) type_error(a[0], "(OR STRING SYMBOL CONDITION)");
  keyword_args keys("ERROR", a, 1, {"format-control", "format-arguments"}, true);
  const std::string& kind = as_symbol(a[0]).name;
  if (!keys.has("format-control")) signal(kind, "Condition of type " + kind + " was signalled.");
  const std::vector<ref> args = list_to_vector(keys.get("format-arguments"));
  signal(kind, format(as_string(keys.get("format-control")), args_t(args)));
}

const builtins_registration reg([] {
  define_builtin("FUNCALL", 1, any_count, [](args_t a) { return funcall(a[0], a.subspan(1)); });
  define_builtin("APPLY", 2, any_count, apply);
  define_builtin("IDENTITY", 1, 1, [](args_t a) { return a[0]; });
  // Only the first value is kept: the host's callers take one value.
  define_builtin("VALUES", 0, any_count, [](args_t a) { return a.empty() ? ref() : a[0]; });
  define_builtin("ERROR", 1, any_count, error_function);
});

}  // namespace

}  // namespace host::lisp
