#include "ui/environment.h"

#include <cstdlib>
#include <string>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/ui.h"
#include "lisp/runtime.h"
#include "session/lisp_def.h"

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
  // (sdsim:debug-mode-p) and (sdsim:set-debug-mode flag)
  sim::define_console_function("SDSIM", "DEBUG-MODE-P", 0, 0,
                               [](args_t) { return boolean(sim::debug_mode()); });
  sim::define_console_function("SDSIM", "SET-DEBUG-MODE", 1, 1, [](args_t args) {
    sim::set_debug_mode(truthy(args[0]));
    return boolean(sim::debug_mode());
  });
  // (sdsim:user-settings-directory)
  sim::define_console_function("SDSIM", "USER-SETTINGS-DIRECTORY", 0, 0, [](args_t) {
    return make_string(sim::user_settings_directory().string() + "/");
  });
});

}  // namespace
