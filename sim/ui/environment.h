// What the simulated host takes from its environment.
//
//   SDUSERCUSTOMIZEDIR  per-user settings directory (customizations and the
//                       persistent data store); default $XDG_CONFIG_HOME/sdhost
//                       or ~/.config/sdhost
//   SDCORPCUSTOMIZEDIR  corporate customization directory; none when unset
//   SDSITECUSTOMIZEDIR  site customization directory; none when unset
//   SDHOST_MM_DATABASE  the Model Manager database file; default
//                       modelmanager.sqlite in the per-user settings directory
//   SDHOST_DEBUG        debug mode when set to anything but "" or "0"
//   SDHOST_OPEN_URLS    sd-display-url also opens the page with xdg-open
#pragma once

#include <filesystem>
#include <optional>

namespace sim {

std::filesystem::path user_settings_directory();
std::optional<std::filesystem::path> corporate_customize_directory();
std::optional<std::filesystem::path> site_customize_directory();
bool open_urls();

// The debug switch starts from SDHOST_DEBUG and may be changed at run time
// with (sdsim:set-debug-mode flag).
bool debug_mode();
void set_debug_mode(bool on);

}  // namespace sim
