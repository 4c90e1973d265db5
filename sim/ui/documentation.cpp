// In debug mode the simulated host plays the documentation tool: it
// supplies the documentation functions of SD-DOC-TOOLS (.~~~FUN. and the
// others), which keep what modules document, and (sdsim:documentation
// name) answers it.
#include <string>
#include <utility>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "lisp/runtime.h"
#include "ui/environment.h"

namespace {

using namespace host::lisp;

// Documented names (symbols, or a package object) with their text.
std::vector<std::pair<ref, std::string>>& documentation() {
  static std::vector<std::pair<ref, std::string>> docs;
  return docs;
}

std::string* find_documentation(const ref& name) {
  for (auto& [documented, text] : documentation())
    if (equal(documented, name)) return &text;
  return nullptr;
}

constexpr const char* kinds[] = {"DIALOG", "FEAT", "FUN", "PKG", "STRUCT", "TYPE", "VAR", "CLASS"};

void supply_documentation_functions() {
  package* p = find_package("SD-DOC-TOOLS");
  if (!p) p = &make_package("SD-DOC-TOOLS", {"SDDT"}, {&common_lisp_package()});
  for (const char* k : kinds) {
    symbol& macro = intern(std::string("~~~") + k, *p);
    export_symbol(macro, *p);
    symbol& f = intern(std::string(".~~~") + k + ".", *p);
    if (!is_nil(f.function)) continue;
    const bool with_specializer = std::string(k) == "FUN";
    defun(f, [with_specializer](args_t args) {
      std::size_t first_line = with_specializer ? 2 : 1;
      if (args.size() < first_line) simple_error("A documentation form needs a name.");
      std::string text;
      for (std::size_t i = first_line; i < args.size(); ++i)
        text += (i > first_line ? "\n" : "") + as_string(args[i]);
      if (std::string* existing = find_documentation(args[0]))
        *existing = text;
      else
        documentation().emplace_back(args[0], text);
      return args[0];
    });
  }
}

const builtins_registration documentation_functions([] {
  if (sim::debug_mode()) supply_documentation_functions();
  package& sdsim = require_package("SDSIM");
  symbol& d = intern("DOCUMENTATION", sdsim);
  export_symbol(d, sdsim);
  // (sdsim:documentation name): the text documented for name, or NIL.
  defun(d, [](args_t args) {
    check_argument_count("SDSIM:DOCUMENTATION", args, 1, 1);
    std::string* text = find_documentation(args[0]);
    return text ? make_string(*text) : nil();
  });
  symbol& s = intern("SUPPLY-DOCUMENTATION-FUNCTIONS", sdsim);
  export_symbol(s, sdsim);
  // For a debug mode switched on after start-up.
  defun(s, [](args_t args) {
    check_argument_count("SDSIM:SUPPLY-DOCUMENTATION-FUNCTIONS", args, 0, 0);
    supply_documentation_functions();
    return t();
  });
});

}  // namespace
