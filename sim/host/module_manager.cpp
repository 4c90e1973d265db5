// The host's module manager, the executable check and the thread
// notification opt-out.
#include "host/module_manager.h"

#include <memory>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/native.h"
#include "lisp/runtime.h"

namespace {

struct registry {
  std::vector<std::unique_ptr<MOD_INFO>> owned;
  std::vector<MOD_INFO*> modules;
};

// Libraries register during their static initialisation, which may run
// before this file's: the registry is made on first use.
registry& module_registry() {
  static registry r;
  return r;
}

}  // namespace

MODULE_MANAGER dsm_module_manager;

// A module id is registered once; registering it again replaces version and
// callbacks in place.
MOD_INFO* MODULE_MANAGER::add_module(const wchar_t* id, const wchar_t* version,
                                     MODULE_ERROR_CALLBACK throw_error, MODULE_TEXT_CALLBACK inq_msg,
                                     MODULE_TEXT_CALLBACK inq_id) {
  MOD_INFO* info = find_module(id);
  if (!info) {
    auto& r = module_registry();
    r.owned.push_back(std::make_unique<MOD_INFO>());
    info = r.owned.back().get();
    info->id = id;
    r.modules.push_back(info);
  }
  info->version = version;
  info->throw_error = throw_error;
  info->inq_msg = inq_msg;
  info->inq_id = inq_id;
  return info;
}

MOD_INFO* MODULE_MANAGER::find_module(const wchar_t* id) const {
  for (MOD_INFO* info : module_registry().modules)
    if (info->id == id) return info;
  return nullptr;
}

const std::vector<MOD_INFO*>& MODULE_MANAGER::modules() const { return module_registry().modules; }

int ThisIsModeling() { return 1; }

// The simulated host starts no threads of its own, so there is nobody to
// tell; the object only keeps its name.
DISABLE_THREAD_NOTIFICATIONS::DISABLE_THREAD_NOTIFICATIONS(const char* name) : name_(name) {}
DISABLE_THREAD_NOTIFICATIONS::~DISABLE_THREAD_NOTIFICATIONS() = default;

namespace {

using namespace host::lisp;

ref callback_text(MODULE_TEXT_CALLBACK callback) {
  return callback ? make_string(narrow(callback())) : nil();
}

// (sdsim:registered-modules): one list (id version id-text message) per
// registered module, in registration order.
const builtins_registration registered_modules([] {
  package& sdsim = require_package("SDSIM");
  symbol& s = intern("REGISTERED-MODULES", sdsim);
  export_symbol(s, sdsim);
  defun(s, [](args_t args) {
    check_argument_count("SDSIM:REGISTERED-MODULES", args, 0, 0);
    std::vector<ref> out;
    for (MOD_INFO* info : dsm_module_manager.modules())
      out.push_back(list({make_string(narrow(info->id)), make_string(narrow(info->version)),
                          callback_text(info->inq_id), callback_text(info->inq_msg)}));
    return list_from(out);
  });
});

}  // namespace
