// The host's loader of compiled module units.
//
// A unit is found by the last component of its path: unit "a/b/vtm_core"
// is the exported entry vtm_core_initialize, looked up in every library of
// the process (a module mapped with RTLD_GLOBAL, or a program that links the
// module and exports its symbols). Compiled units carry their literals in
// code, so the entry gets no literal data (nullptr, 0), only its name.
#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/native.h"
#include "lisp/runtime.h"

namespace {

using namespace host::lisp;

using unit_entry = void (*)(char* data, int size, LAOBJ* unit);

std::vector<std::string>& loaded_units() {
  static std::vector<std::string> units;
  return units;
}

// The file the entry's code was mapped from, with links resolved. The
// loader names the main program by how it was started, so ask the kernel.
std::filesystem::path library_of(unit_entry entry) {
  Dl_info entry_info{}, host_info{};
  dladdr(reinterpret_cast<void*>(entry), &entry_info);
  dladdr(reinterpret_cast<void*>(&loaded_units), &host_info);
  if (entry_info.dli_fbase == host_info.dli_fbase) return std::filesystem::read_symlink("/proc/self/exe");
  return std::filesystem::canonical(entry_info.dli_fname);
}

}  // namespace

int hcl_load_and_compile_lisp(const wchar_t* unit_path, const wchar_t*, bool, bool) {
  std::string path = narrow(unit_path);
  std::string name = path.substr(path.find_last_of('/') + 1);
  std::string entry_name = name + "_initialize";
  auto entry = reinterpret_cast<unit_entry>(dlsym(RTLD_DEFAULT, entry_name.c_str()));
  if (!entry) simple_error("The unit " + path + " cannot be loaded: no library exports " + entry_name + ".");

  // Like load: the unit's in-package stays within its own load.
  symbol& package_var = cl_symbol("*PACKAGE*");
  special_binding package_binding(package_var, symbol_value(package_var));
  special_binding truename(cl_symbol("*LOAD-TRUENAME*"),
                           make_pathname(parse_namestring(library_of(entry).string())));
  entry(nullptr, 0, autorelease(make_string(name)));
  loaded_units().push_back(name);
  return 1;
}

namespace {

// (sdsim:loaded-units): the names of the units loaded so far, in order; a
// unit whose load failed is not among them.
const builtins_registration loaded_units_function([] {
  package& sdsim = require_package("SDSIM");
  symbol& s = intern("LOADED-UNITS", sdsim);
  export_symbol(s, sdsim);
  defun(s, [](args_t args) {
    check_argument_count("SDSIM:LOADED-UNITS", args, 0, 0);
    std::vector<ref> names;
    for (const std::string& n : loaded_units()) names.push_back(make_string(n));
    return list_from(names);
  });
});

}  // namespace
