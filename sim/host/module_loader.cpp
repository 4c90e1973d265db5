#include "host/module_loader.h"

#include <dlfcn.h>

#include <string>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "lisp/runtime.h"

namespace sim {

namespace {
constexpr const char* module_file = "libvt_migrator.so";
}

int load_module(const std::filesystem::path& library) {
  // A bare file name would make dlopen search the library path instead.
  std::string file = library.has_parent_path() ? library.string() : "./" + library.string();
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!handle)
    host::lisp::simple_error("Cannot load the module library " + library.string() + ": " + dlerror());
  using entry_t = int (*)();
  auto entry = reinterpret_cast<entry_t>(dlsym(handle, "init_load_init"));
  if (!entry)
    host::lisp::simple_error("The module library " + library.string() +
                             " has no entry init_load_init: " + dlerror());
  try {
    return entry();
  } catch (const host::lisp::lisp_error& e) {
    host::lisp::simple_error("The module library " + library.string() +
                             " failed to initialise: " + e.message());
  }
}

std::filesystem::path default_module_path() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib" / module_file;
}

namespace {

using namespace host::lisp;

// (sdsim:load-module path): loads a module library from the console.
const builtins_registration load_module_function([] {
  package& sdsim = require_package("SDSIM");
  symbol& s = intern("LOAD-MODULE", sdsim);
  export_symbol(s, sdsim);
  defun(s, [](args_t args) {
    check_argument_count("SDSIM:LOAD-MODULE", args, 1, 1);
    return make_integer(load_module(to_path(args[0])));
  });
});

}  // namespace

}  // namespace sim
