// The host's error mechanism.
//
// A Lisp error is a C++ exception carrying a condition object. Natives signal
// with the helpers below; the evaluator, the console and `trap` catch it.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace host::lisp {

class lisp_error : public std::exception {
 public:
  explicit lisp_error(ref condition);
  const char* what() const noexcept override;
  const ref& condition() const { return condition_; }
  const std::string& message() const;
  const std::string& kind() const;

 private:
  ref condition_;
};

[[noreturn]] void signal(std::string kind, std::string message);
// (error control args...): message built with `format`.
[[noreturn]] void error(std::string_view control, args_t args = {});
[[noreturn]] void simple_error(std::string message);
// "The value ~S is not of type ~A."
[[noreturn]] void type_error(const ref& datum, std::string_view expected_type);
// "Invalid number of arguments to ~A: ~D (expected ~A)."
[[noreturn]] void argument_count_error(std::string_view function, std::size_t got, std::size_t min,
                                       std::size_t max);
void check_argument_count(std::string_view function, args_t args, std::size_t min, std::size_t max);
constexpr std::size_t any_count = static_cast<std::size_t>(-1);

// Runs f; an error becomes the returned condition object instead of
// propagating. A normal return yields f's value.
ref trap(const std::function<ref()>& f);
bool is_condition(const ref& r);

}  // namespace host::lisp
