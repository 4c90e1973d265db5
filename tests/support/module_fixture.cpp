#include "support/module_fixture.h"

#include <gtest/gtest.h>

#include "frame/loadmodule.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace vtm_test {

int load_module_once() {
  static const int result = [] {
    host::lisp::make_package("SD-DOC-TOOLS", {"SDDT"}, {&host::lisp::common_lisp_package()});
    return init_load_init();
  }();
  return result;
}

host::lisp::ref eval(std::string_view text) { return host::lisp::eval_string(text); }

std::string error_of(std::string_view text) {
  try {
    host::lisp::eval_string(text);
  } catch (const host::lisp::lisp_error& e) {
    return e.message();
  }
  ADD_FAILURE() << "no error from " << text;
  return {};
}

}  // namespace vtm_test
