// Case conversion of ~( ... ~) on UTF-8 text, with the character rules of a
// Unicode Common Lisp: a character changes case only when its counterpart
// maps back to it, and words are runs of alphanumeric characters.
#pragma once

#include <string>
#include <string_view>

namespace host::lisp {

enum class case_conversion {
  downcase,          // ~(
  capitalize_words,  // ~:(
  capitalize_first,  // ~@(
  upcase,            // ~:@(
};

std::string convert_case(std::string_view utf8_text, case_conversion mode);

}  // namespace host::lisp
