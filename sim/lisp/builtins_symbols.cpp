// Symbols and packages: names, interning, export and import, gensym,
// values and functions of symbols.
#include "lisp/builtin_def.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

package& package_arg(args_t a, std::size_t i) {
  return a.size() > i ? package_designator(a[i]) : current_package();
}

// A symbol or a list of symbols.
std::vector<symbol*> symbols_arg(const ref& r) {
  std::vector<symbol*> out;
  if (symbolp(r) && !is_nil(r)) {
    out.push_back(&as_symbol(r));
    return out;
  }
  for (const ref& s : list_to_vector(r)) out.push_back(&as_symbol(s));
  return out;
}

ref make_package_function(args_t a) {
  keyword_args keys("MAKE-PACKAGE", a, 1, {"nicknames", "use"});
  std::vector<std::string> nicknames;
  for (const ref& n : list_to_vector(keys.get("nicknames"))) nicknames.push_back(string_designator(n));
  std::vector<package*> use;
  if (keys.has("use"))
    for (const ref& p : list_to_vector(keys.get("use"))) use.push_back(&package_designator(p));
  else
    use.push_back(&common_lisp_package());
  return ref(&make_package(string_designator(a[0]), std::move(nicknames), std::move(use)));
}

ref gensym(args_t a) {
  symbol& counter = cl_symbol("*GENSYM-COUNTER*");
  std::string prefix = "G";
  std::int64_t n = as_integer(symbol_value(counter));
  if (!a.empty() && integerp(a[0]))
    n = as_integer(a[0]);
  else if (!a.empty())
    prefix = as_string(a[0]);
  if (a.empty() || !integerp(a[0])) set_symbol_value(counter, make_integer(n + 1));
  return ref(make_uninterned_symbol(prefix + std::to_string(n)));
}

ref makunbound(args_t a) {
  symbol& s = as_symbol(a[0]);
  if (s.constant) fail("The constant ~S cannot be made unbound.", a[0]);
  s.value.reset();
  return a[0];
}

const builtins_registration reg([] {
  defvar(cl_symbol("*GENSYM-COUNTER*"), make_integer(1));
  define_builtin("SYMBOL-NAME", 1, 1, [](args_t a) { return make_string(as_symbol(a[0]).name); });
  define_builtin("SYMBOL-PACKAGE", 1, 1, [](args_t a) {
    package* p = as_symbol(a[0]).home_package;
    return p ? ref(p) : ref();
  });
  define_builtin("INTERN", 1, 2, [](args_t a) { return ref(&intern(as_string(a[0]), package_arg(a, 1))); });
  define_builtin("FIND-SYMBOL", 1, 2,
                 [](args_t a) { return ref(find_symbol(as_string(a[0]), package_arg(a, 1))); });
  define_builtin("FIND-PACKAGE", 1, 1, [](args_t a) {
    if (is(a[0], tag::package)) return a[0];
    return ref(find_package(string_designator(a[0])));
  });
  define_builtin("MAKE-PACKAGE", 1, any_count, make_package_function);
  define_builtin("PACKAGE-NAME", 1, 1, [](args_t a) { return make_string(package_designator(a[0]).name); });
  define_builtin("EXPORT", 1, 2, [](args_t a) {
    package& p = package_arg(a, 1);
    for (symbol* s : symbols_arg(a[0])) export_symbol(*s, p);
    return t();
  });
  define_builtin("IMPORT", 1, 2, [](args_t a) {
    package& p = package_arg(a, 1);
    for (symbol* s : symbols_arg(a[0])) import_symbol(*s, p);
    return t();
  });
  define_builtin("GENSYM", 0, 1, gensym);
  define_builtin("BOUNDP", 1, 1, [](args_t a) { return boolean(boundp(as_symbol(a[0]))); });
  define_builtin("FBOUNDP", 1, 1, [](args_t a) { return boolean(truthy(as_symbol(a[0]).function)); });
  define_builtin("SYMBOL-VALUE", 1, 1, [](args_t a) { return symbol_value(as_symbol(a[0])); });
  define_builtin("SYMBOL-FUNCTION", 1, 1, [](args_t a) { return symbol_function(as_symbol(a[0])); });
  define_builtin("MAKUNBOUND", 1, 1, makunbound);
});

}  // namespace

}  // namespace host::lisp
