// Customization files: <directory>/<application>/<file> in the corporate,
// site and user customization directories.
#include <algorithm>
#include <filesystem>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/ui.h"
#include "ui/environment.h"

namespace host::oli {

using namespace host::lisp;

ref sd_load_customization_file(const std::string& file, const std::string& application, const ref& which,
                               const ref& order) {
  struct level {
    const char* name;
    std::optional<std::filesystem::path> dir;
  };
  std::vector<level> levels = {{"CORP", sim::corporate_customize_directory()},
                               {"SITE", sim::site_customize_directory()},
                               {"USER", sim::user_settings_directory()}};
  const std::string order_name = keywordp(order) ? as_symbol(order).name : "SD-CORP-SITE-USER";
  if (order_name == "USER-SITE-CORP-SD")
    std::reverse(levels.begin(), levels.end());
  else if (order_name != "SD-CORP-SITE-USER")
    simple_error("SD-LOAD-CUSTOMIZATION-FILE: unknown :order " + prin1_to_string(order) + ".");
  const std::string which_name = keywordp(which) ? as_symbol(which).name : "ALL";
  std::vector<ref> loaded;
  std::string failures;
  for (const level& l : levels) {
    if (which_name != "ALL" && which_name != l.name) continue;
    if (!l.dir) continue;
    std::filesystem::path candidate = *l.dir / application / file;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(candidate, ec)) continue;
    try {
      load(candidate);
    } catch (const lisp_error& e) {
      failures += (failures.empty() ? "" : " ") +
                  ("The customization file " + candidate.string() + " could not be loaded: " + e.message());
      continue;
    }
    loaded.push_back(make_pathname(parse_namestring(candidate.string())));
  }
  if (!failures.empty()) simple_error(failures);
  return list_from(loaded);
}

}  // namespace host::oli
