#include "core/vtm_core_config.h"

#include <algorithm>
#include <vector>

#include "core/module_env.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"

namespace vtm::core {

namespace {

using namespace host::lisp;

ref host_call(std::string_view package, std::string_view function, const ref& argument) {
  return call(ref(&intern(function, require_package(package))), argument);
}

std::vector<ref> with_subdirectories(const ref& directory, std::initializer_list<const char*> names) {
  std::vector<ref> out = list_to_vector(directory);
  for (const char* n : names) out.push_back(make_string(n));
  return out;
}

bool holds_resource_file(const std::vector<ref>& directory, std::string_view resource_file) {
  pathname_parts p;
  p.directory = directory;
  p.name = std::string(resource_file);
  p.type = "lsp";
  // A directory list that the host cannot probe holds no resource file: the
  // search never signals.
  try {
    return truthy(probe_file(make_pathname(std::move(p))));
  } catch (const lisp_error&) {
    return false;
  }
}

std::vector<std::string>& searched() {
  static std::vector<std::string> directories;
  return directories;
}

std::string directory_namestring(const std::vector<ref>& directory) {
  pathname_parts p;
  p.directory = directory;
  return namestring(p);
}

}  // namespace

const std::vector<std::string>& home_directories_searched() { return searched(); }

std::string home_search_sentence() {
  std::string places;
  for (const std::string& d : searched()) places += (places.empty() ? "" : ", ") + d;
  if (places.empty()) return "The module's home directory +HOME+ was set to NIL before the module loaded.";
  return "The module's home directory, which holds it, was looked for in " + places + ".";
}

ref find_home_directory(const ref& load_truename, std::string_view resource_file) {
  std::vector<ref> d;
  if (truthy(load_truename)) d = as_pathname(pathname(load_truename)).parts.directory;
  std::vector<ref> beside(d.begin(), d.end() - (d.empty() ? 0 : 1));
  beside.push_back(make_string("vt_migrator"));
  std::vector<ref> above(d.begin(), d.end() - std::min<std::size_t>(d.size(), 2));
  searched().clear();
  for (const auto& candidate : {d, beside, above}) {
    searched().push_back(directory_namestring(candidate));
    if (holds_resource_file(candidate, resource_file)) return list_from(candidate);
  }
  return nil();
}

void define_vtm_core_config() {
  define_constant("+MODULE-ID+", host_call("OLI", "SD-STRING-UPCASE", manifest_entry("MODULE-NAME")));
  define_constant("+CUSTOMIZE-FILE+", make_string("customize.lsp"));
  ref resource_file = host_call("OLI", "SD-MULTI-LANG-STRING", make_string("vtm_resources"));
  define_constant("+RESOURCE-FILE+", resource_file);

  symbol& home = main_symbol("+HOME+");
  if (!boundp(home))
    defvar(home, find_home_directory(symbol_value(cl_symbol("*LOAD-TRUENAME*")), as_string(resource_file)));
  define_constant("+MODULE-IMAGES-DIR+", list_from(with_subdirectories(symbol_value(home), {"images"})));
  define_constant("+MODULE-HELP-LOCATION+",
                  list_from(with_subdirectories(symbol_value(home), {"documentation", "pub", "html"})));

  defparameter(main_symbol("*USER-INTERFACE-INTEGRATION*"), ref(&keyword("FLUENTUI")));
  defvar(main_symbol("+MODULE-SETTINGS-DIALOG+"), nil());
  define_constant("+EXTENSION-CMD-GROUP-ID+", make_string("SDEXTENSION"));
}

}  // namespace vtm::core
