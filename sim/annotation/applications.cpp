// Host modules, the current application and the session reset.
#include <cstdint>
#include <map>

#include "annotation/drawing.h"
#include "host/drawings.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;

constexpr std::string_view modeling = "SolidDesigner";
constexpr std::string_view annotation = "Annotation";

struct application_state {
  std::map<std::string, bool> modules{{"ANNOTATION", true}};
  // How often each module was activated since the host started, so that a
  // script can see a module being restarted.
  std::map<std::string, std::int64_t> activations;
  std::string application{modeling};
};

application_state& state() {
  static application_state s;
  return s;
}

bool& module_flag(std::string_view module) {
  auto it = state().modules.find(std::string(module));
  if (it == state().modules.end())
    sim::host_command_failed("OLI", "UNKNOWN-MODULE", "There is no host module " + std::string(module) + ".");
  return it->second;
}

}  // namespace

namespace host::pers {
bool check_module(std::string_view module) {
  auto it = state().modules.find(std::string(module));
  return it != state().modules.end() && it->second;
}
}  // namespace host::pers

namespace host::oli {

void sd_switch_application(std::string_view application) {
  if (application == annotation && !host::pers::check_module("ANNOTATION"))
    sim::host_command_failed("OLI", "MODULE-NOT-ACTIVE",
                             "The application Annotation needs the module ANNOTATION, which is not active.");
  if (application != annotation && application != modeling)
    sim::host_command_failed("OLI", "UNKNOWN-APPLICATION",
                             "There is no application " + std::string(application) + ".");
  state().application = application;
}

host::lisp::ref sd_inq_current_application() { return make_string(state().application); }

void sd_activate_module(std::string_view module) {
  module_flag(module) = true;
  ++state().activations[std::string(module)];
}

void sd_deactivate_module(std::string_view module) {
  module_flag(module) = false;
  if (module == "ANNOTATION") {
    sim::annotation::set_current_drawing(nullptr);
    if (state().application == annotation) state().application = modeling;
  }
}

}  // namespace host::oli

namespace host::ui {
bool uic_reset_session(bool yes) {
  if (!yes) return false;
  host::elan::delete_3d(ref(&keyword("ALL_AT_TOP")));
  sim::annotation::set_current_drawing(nullptr);
  state().application = modeling;
  return true;
}
}  // namespace host::ui

namespace {

using sim::define_host_function;

package& host_package(std::string_view name) {
  if (package* p = find_package(name)) return *p;
  return make_package(name, {}, {&common_lisp_package()});
}

bool yes_answer(const ref& answer) { return keywordp(answer) && static_cast<symbol&>(*answer).name == "YES"; }

const builtins_registration application_functions([] {
  host_package("PERS");
  host_package("UI");
  define_host_function("PERS", "CHECK-MODULE", 1, 1,
                       [](args_t a) { return boolean(host::pers::check_module(string_designator(a[0]))); });
  define_host_function("OLI", "SD-SWITCH-APPLICATION", 1, 1, [](args_t a) {
    host::oli::sd_switch_application(string_designator(a[0]));
    return t();
  });
  define_host_function("OLI", "SD-INQ-CURRENT-APPLICATION", 0, 0,
                       [](args_t) { return host::oli::sd_inq_current_application(); });
  define_host_function("OLI", "SD-ACTIVATE-MODULE", 1, 1, [](args_t a) {
    host::oli::sd_activate_module(string_designator(a[0]));
    return t();
  });
  define_host_function("OLI", "SD-DEACTIVATE-MODULE", 1, 1, [](args_t a) {
    host::oli::sd_deactivate_module(string_designator(a[0]));
    return t();
  });
  define_host_function("SDSIM", "MODULE-ACTIVATIONS", 1, 1,
                       [](args_t a) { return make_integer(state().activations[string_designator(a[0])]); });
  export_symbol(intern("MODULE-ACTIVATIONS", require_package("SDSIM")), require_package("SDSIM"));
  // (ui::uic_reset_session :yes): the answer to the host's question.
  define_host_function("UI", "UIC_RESET_SESSION", 0, 1, [](args_t a) {
    return boolean(host::ui::uic_reset_session(!a.empty() && yes_answer(a[0])));
  });
});

}  // namespace
