#include "host/lisp/errors.h"

#include "host/lisp/format.h"
#include "host/lisp/printer.h"

namespace host::lisp {

lisp_error::lisp_error(ref condition) : condition_(std::move(condition)) {}

const char* lisp_error::what() const noexcept { return message().c_str(); }

const std::string& lisp_error::message() const { return static_cast<condition_obj&>(*condition_).message; }
const std::string& lisp_error::kind() const { return static_cast<condition_obj&>(*condition_).kind; }

void signal(std::string kind, std::string message) {
  throw lisp_error(make_condition(std::move(kind), std::move(message)));
}

void error(std::string_view control, args_t args) { signal("SIMPLE-ERROR", format(control, args)); }

void simple_error(std::string message) { signal("SIMPLE-ERROR", std::move(message)); }

void type_error(const ref& datum, std::string_view expected_type) {
  signal("TYPE-ERROR",
         "The value " + prin1_to_string(datum) + " is not of type " + std::string(expected_type) + ".");
}

void argument_count_error(std::string_view function, std::size_t got, std::size_t min, std::size_t max) {
  std::string expected;
  if (min == max)
    expected = std::to_string(min);
  else if (max == any_count)
    expected = "at least " + std::to_string(min);
  else
    expected = "between " + std::to_string(min) + " and " + std::to_string(max);
  signal("PROGRAM-ERROR", "Invalid number of arguments to " + std::string(function) + ": " +
                              std::to_string(got) + " (expected " + expected + ").");
}

void check_argument_count(std::string_view function, args_t args, std::size_t min, std::size_t max) {
  if (args.size() < min || args.size() > max) argument_count_error(function, args.size(), min, max);
}

ref trap(const std::function<ref()>& f) {
  try {
    return f();
  } catch (const lisp_error& e) {
    return e.condition();
  }
}

bool is_condition(const ref& r) { return r->type == tag::condition; }

}  // namespace host::lisp
