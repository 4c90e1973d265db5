#include "ui/environment.h"

#include <cstdlib>
#include <string>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/ui.h"
#include "lisp/runtime.h"

namespace sim {

namespace {

std::optional<std::filesystem::path> directory_from(const char* variable) {
  const char* value = std::getenv(variable);
  if (!value || !*value) return std::nullopt;
  return std::filesystem::path(value);
}

bool flag_from(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value && std::string(value) != "0";
}

std::optional<bool>& debug_override() {
  static std::optional<bool> on;
  return on;
}

}  // namespace

std::filesystem::path user_settings_directory() {
  if (auto dir = directory_from("SDUSERCUSTOMIZEDIR")) return *dir;
  if (auto config = directory_from("XDG_CONFIG_HOME")) return *config / "sdhost";
  if (auto home = directory_from("HOME")) return *home / ".config" / "sdhost";
  return std::filesystem::temp_directory_path() / "sdhost";
}

std::optional<std::filesystem::path> corporate_customize_directory() {
  return directory_from("SDCORPCUSTOMIZEDIR");
}

std::optional<std::filesystem::path> site_customize_directory() {
  return directory_from("SDSITECUSTOMIZEDIR");
}

bool open_urls() { return flag_from("SDHOST_OPEN_URLS"); }

bool debug_mode() { return debug_override().value_or(flag_from("SDHOST_DEBUG")); }

void set_debug_mode(bool on) { debug_override() = on; }

}  // namespace sim

namespace host::system {
bool debug_mode_p() { return sim::debug_mode(); }
}  // namespace host::system

namespace {

using namespace host::lisp;

const builtins_registration debug_functions([] {
  package& sdsim = require_package("SDSIM");
  // (sdsim:debug-mode-p) and (sdsim:set-debug-mode flag)
  symbol& p = intern("DEBUG-MODE-P", sdsim);
  export_symbol(p, sdsim);
  defun(p, [](args_t args) {
    check_argument_count("SDSIM:DEBUG-MODE-P", args, 0, 0);
    return boolean(sim::debug_mode());
  });
  symbol& s = intern("SET-DEBUG-MODE", sdsim);
  export_symbol(s, sdsim);
  defun(s, [](args_t args) {
    check_argument_count("SDSIM:SET-DEBUG-MODE", args, 1, 1);
    sim::set_debug_mode(truthy(args[0]));
    return boolean(sim::debug_mode());
  });
  // (sdsim:user-settings-directory)
  symbol& u = intern("USER-SETTINGS-DIRECTORY", sdsim);
  export_symbol(u, sdsim);
  defun(u, [](args_t args) {
    check_argument_count("SDSIM:USER-SETTINGS-DIRECTORY", args, 0, 0);
    return make_string(sim::user_settings_directory().string() + "/");
  });
});

}  // namespace
