#include "drawings/warning_interceptor.h"

#include <array>
#include <string_view>
#include <utility>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace vtm::drawings {

using namespace host::lisp;

namespace {

symbol& display_warning() { return intern("SD-DISPLAY-WARNING", require_package("OLI")); }

symbol& interceptor_symbol() { return intern("WARNING-INTERCEPTOR", require_package("VANTREL-MIGRATOR")); }

// The host's own function while the interceptor is installed.
ref& saved_function() {
  static ref saved;
  return saved;
}

constexpr std::array<std::pair<std::string_view, std::string_view>, 2> rules = {{
    {"'log'", "NO"},
    {"drawing", "YES"},
}};

}  // namespace

void install_warning_interceptor() {
  if (truthy(saved_function())) return;
  symbol& s = display_warning();
  saved_function() = s.function;
  s.function = interceptor_symbol().function;
}

void uninstall_warning_interceptor() {
  if (is_nil(saved_function())) return;
  display_warning().function = saved_function();
  saved_function() = nil();
}

ref warning_interceptor(args_t args) {
  check_argument_count("WARNING-INTERCEPTOR", args, 1, any_count);
  if (stringp(args[0])) {
    const std::string& message = as_string(args[0]);
    for (const auto& [text, answer] : rules)
      if (message.find(text) != std::string::npos) return ref(&keyword(answer));
  }
  if (is_nil(saved_function())) return nil();
  return funcall(saved_function(), args);
}

void define_warning_interceptor() {
  package& p = require_package("VANTREL-MIGRATOR");
  defun("INSTALL-WARNING-INTERCEPTOR", p, [](args_t args) {
    check_argument_count("INSTALL-WARNING-INTERCEPTOR", args, 0, 0);
    install_warning_interceptor();
    return nil();
  });
  defun("UNINSTALL-WARNING-INTERCEPTOR", p, [](args_t args) {
    check_argument_count("UNINSTALL-WARNING-INTERCEPTOR", args, 0, 0);
    uninstall_warning_interceptor();
    return nil();
  });
  defun(interceptor_symbol(), warning_interceptor);
}

}  // namespace vtm::drawings
