#include "lisp/format_case.h"

#include <locale.h>
#include <utf8cpp/utf8.h>
#include <wctype.h>

#include <iterator>

namespace host::lisp {
namespace {

// Unicode character classes regardless of the process locale.
locale_t unicode_ctype() {
  static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

bool alphanumeric(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  const locale_t loc = unicode_ctype();
  return loc && iswalnum_l(static_cast<wint_t>(c), loc);
}

char32_t upcase(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
  const locale_t loc = unicode_ctype();
  if (!loc) return c;
  const auto u = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(u), loc)) == c ? u : c;
}

char32_t downcase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  const locale_t loc = unicode_ctype();
  if (!loc) return c;
  const auto l = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(l), loc)) == c ? l : c;
}

}  // namespace

std::string convert_case(std::string_view text, case_conversion mode) {
  std::string out;
  out.reserve(text.size());
  bool in_word = false;     // capitalize_words: inside a run of alphanumerics
  bool seen_first = false;  // capitalize_first: the first word has begun
  for (auto it = text.begin(); it != text.end();) {
    char32_t c;
    const auto start = it;
    try {
      c = utf8::next(it, text.end());
    } catch (const utf8::exception&) {
      // A byte that is no UTF-8 passes through unchanged.
      out += *start;
      it = start + 1;
      continue;
    }
    switch (mode) {
      case case_conversion::downcase:
        c = downcase(c);
        break;
      case case_conversion::upcase:
        c = upcase(c);
        break;
      case case_conversion::capitalize_words:
        if (alphanumeric(c)) {
          c = in_word ? downcase(c) : upcase(c);
          in_word = true;
        } else {
          in_word = false;
        }
        break;
      case case_conversion::capitalize_first:
        if (seen_first) {
          c = downcase(c);
        } else if (alphanumeric(c)) {
          c = upcase(c);
          seen_first = true;
        }
        break;
    }
    utf8::unchecked::append(c, std::back_inserter(out));
  }
  return out;
}

}  // namespace host::lisp
