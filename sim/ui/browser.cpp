// The structure browser (host/browser.h). The simulated browser draws
// nothing; it redraws on every update request and counts the redraws, for
// inspection.
#include "host/browser.h"

#include <map>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "lisp/runtime.h"

namespace {

std::map<std::string, int>& redraws() {
  static std::map<std::string, int> counts;
  return counts;
}

}  // namespace

namespace host::g_browser {

void update_browser_if_needed(const std::string& browser, bool) { ++redraws()[browser]; }

}  // namespace host::g_browser

namespace {

using namespace host::lisp;

void define(std::string_view package_name, std::string_view name, std::size_t min, std::size_t max,
            native_fn fn) {
  package& p = require_package(package_name);
  symbol& s = intern(name, p);
  export_symbol(s, p);
  defun(s, [n = std::string(package_name) + ":" + std::string(name), min, max, fn = std::move(fn)](args_t a) {
    check_argument_count(n, a, min, max);
    return fn(a);
  });
}

const builtins_registration browser_functions([] {
  // (g-browser:update-browser-if-needed name &key refresh)
  define("G-BROWSER", "UPDATE-BROWSER-IF-NEEDED", 1, 3, [](args_t a) {
    keyword_args k("G-BROWSER:UPDATE-BROWSER-IF-NEEDED", a, 1, {"REFRESH"});
    host::g_browser::update_browser_if_needed(string_designator(a[0]), truthy(k.get("REFRESH")));
    return t();
  });
  // (sdsim:browser-redraw-count name)
  define("SDSIM", "BROWSER-REDRAW-COUNT", 1, 1, [](args_t a) {
    auto it = redraws().find(string_designator(a[0]));
    return make_integer(it == redraws().end() ? 0 : it->second);
  });
});

}  // namespace
