#include "core/help.h"

#include "core/module_env.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/ui.h"

namespace vtm::core {

using namespace host::lisp;

ref display_module_help(const std::string& page) {
  std::vector<std::string> parts = host::oli::sd_string_split(page, "#");
  pathname_parts p;
  p.directory = list_to_vector(main_value("+MODULE-HELP-LOCATION+"));
  // A page below the help directory may name sub-directories.
  pathname_parts file = parse_namestring(parts.front());
  for (const ref& d : file.directory)
    if (stringp(d)) p.directory.push_back(d);
  p.name = file.name;
  p.type = file.type;
  ref help_page = make_pathname(std::move(p));
  if (is_nil(probe_file(help_page))) {
    host::oli::sd_display_error(format("Help page '~A' not found", make_string(page)));
    return nil();
  }
  const ref anchor = make_string(parts.size() > 1 ? "#" + parts[1] : std::string());
  // An absolute POSIX namestring brings its own leading slash.
  std::string name = namestring(help_page);
  if (!name.empty() && name.front() == '/') name.erase(0, 1);
  return host::oli::sd_display_url(format("file:///~A~A", make_string(name), anchor));
}

std::string dialog_help_page(const std::string& dialog) {
  return format("~A/~A.dia.html", make_string(main_package().name), make_string(dialog));
}

void define_help_function() {
  define_function("DISPLAY-MODULE-HELP", 0, 1,
                  [](args_t a) { return display_module_help(a.empty() ? "Home.html" : as_string(a[0])); });
}

}  // namespace vtm::core
