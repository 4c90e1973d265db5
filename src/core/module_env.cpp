#include "core/module_env.h"

#include "frame/loadmodule.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"

namespace vtm::core {

using namespace host::lisp;

package& main_package() { return as_package(ref(LOADMODULE::instance().get_main_package())); }

symbol& main_symbol(std::string_view name) { return intern(name, main_package()); }

ref main_value(std::string_view name) { return symbol_value(main_symbol(name)); }

std::string main_string(std::string_view name) { return as_string(main_value(name)); }

ref kw(std::string_view name) { return ref(&keyword(name)); }

bool toggle_on(const ref& value) {
  return truthy(value) && !(keywordp(value) && as_symbol(value).name == "OFF");
}

std::string text_of(const ref& value) {
  if (stringp(value)) return as_string(value);
  if (is(value, tag::pathname)) return namestring(value);
  return princ_to_string(value);
}

void define_constant(std::string_view name, ref value) {
  symbol& s = main_symbol(name);
  s.value = std::move(value);
  s.special = true;
  s.constant = true;
}

std::string resource_text(std::string_view key) {
  return as_string(call(main_symbol("GET-RESOURCE"), kw(key)));
}

ref manifest_entry(std::string_view key) { return getf(call(main_symbol("GET-MODULE-MANIFEST")), kw(key)); }

symbol& define_function(std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
  symbol& s = main_symbol(name);
  defun(s, [n = s.name, min, max, fn = std::move(fn)](args_t args) {
    check_argument_count(n, args, min, max);
    return fn(args);
  });
  return s;
}

std::string module_id() { return main_string("+MODULE-ID+"); }

std::string extension_cmd_group_id() { return main_string("+EXTENSION-CMD-GROUP-ID+"); }

std::string module_settings_dialog() {
  ref d = main_value("+MODULE-SETTINGS-DIALOG+");
  return is_nil(d) ? std::string() : as_string(d);
}

}  // namespace vtm::core
