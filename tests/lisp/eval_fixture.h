// A fresh package per test, made current for the test's extent, and
// shorthands to evaluate source text.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"

namespace host::lisp {

class eval_test : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    pkg_ = &make_package("EVAL-TEST-" + std::to_string(++counter), {}, {&common_lisp_package()});
    binding_.emplace(cl_symbol("*PACKAGE*"), ref(pkg_));
  }
  void TearDown() override { binding_.reset(); }

  // The printed value of the last form.
  static std::string run(std::string_view text) { return prin1_to_string(eval_string(text)); }
  // The message of the error the text signals, or "no error".
  static std::string error_of(std::string_view text) { return kind_and_message(text).second; }
  static std::string kind_of(std::string_view text) { return kind_and_message(text).first; }
  symbol& sym(std::string_view name) { return intern(name, *pkg_); }

  package* pkg_ = nullptr;

 private:
  static std::pair<std::string, std::string> kind_and_message(std::string_view text) {
    try {
      eval_string(text);
    } catch (const lisp_error& e) {
      return {e.kind(), e.message()};
    }
    return {"none", "no error"};
  }
  std::optional<special_binding> binding_;
};

}  // namespace host::lisp
