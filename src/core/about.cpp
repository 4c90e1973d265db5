#include "core/about.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/module_env.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/ui.h"

namespace vtm::core {

using namespace host::lisp;

namespace {

void line(std::string_view control, const ref& a) { host::oli::display(format(control, a)); }

}  // namespace

ref about_module() {
  const ref title = make_string(resource_text("MODULE-TITLE"));
  host::oli::display(format("### About the '~A' ~A Extension", manifest_entry("MODULE-NAME"), title));
  line("### - Version:    ~A", manifest_entry("VERSION"));
  line("### - Build Date: ~A", manifest_entry("BUILD-DATE"));
  line("### ~A", manifest_entry("COPYRIGHT"));
  line("### ~A Configuration:", title);

  std::vector<symbol*> rows = {&main_symbol("+HOME+"), &main_symbol("+MODULE-HELP-LOCATION+"),
                               &main_symbol("+MODULE-IMAGES-DIR+"), &main_symbol("+MODULE-ID+")};
  symbol& settings = main_symbol("MODULE-SETTINGS");
  if (!is_nil(settings.function))
    for (const ref& s : list_to_vector(call(settings))) rows.push_back(&as_symbol(s));
  std::vector<std::pair<std::string, std::string>> table;
  std::size_t w = 4, v = 7;
  for (symbol* s : rows) {
    table.emplace_back(s->name, host::oli::sd_write_to_string(symbol_value(*s)));
    w = std::max(w, char_length(table.back().first));
    v = std::max(v, char_length(table.back().second));
  }
  const std::string row = format("### ~~~DA| ~~A", make_integer(static_cast<std::int64_t>(w)));
  host::oli::display(format(row, make_string("Setting"), make_string("Value")));
  host::oli::display(
      format("### ~v@{~A~:*~}", make_integer(static_cast<std::int64_t>(w + v)), make_string("=")));
  for (const auto& [name, value] : table)
    host::oli::display(format(row, make_string(name), make_string(value)));
  return host::oli::display_show();
}

void define_about_function() {
  define_function("ABOUT-MODULE", 0, 0, [](args_t) { return about_module(); });
}

}  // namespace vtm::core
