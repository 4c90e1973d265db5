// Strings: concatenation, comparison, case, trimming, characters and
// parse-integer. Positions count characters of the UTF-8 text.
#include <locale>

#include "host/lisp/format.h"
#include "lisp/builtin_def.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"
#include "lisp/sequences.h"

namespace host::lisp {

namespace {

// Unicode case mapping from the C.UTF-8 locale; ASCII only where the
// system lacks it.
const std::ctype<wchar_t>* unicode_case() {
  static const std::ctype<wchar_t>* facet = []() -> const std::ctype<wchar_t>* {
    try {
      static const std::locale utf8("C.UTF-8");
      return &std::use_facet<std::ctype<wchar_t>>(utf8);
    } catch (const std::runtime_error&) {
      return nullptr;
    }
  }();
  return facet;
}

char32_t upcase(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
  const auto* f = unicode_case();
  return f ? static_cast<char32_t>(f->toupper(static_cast<wchar_t>(c))) : c;
}

char32_t downcase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  const auto* f = unicode_case();
  return f ? static_cast<char32_t>(f->tolower(static_cast<wchar_t>(c))) : c;
}

std::u32string text_of(const ref& designator) { return decode_utf8(string_designator(designator)); }

ref concatenate(args_t a) {
  const std::string type = symbolp(a[0]) ? as_symbol(a[0]).name : "";
  std::vector<ref> items;
  for (const ref& s : a.subspan(1))
    for (const ref& e : sequence_elements(s)) items.push_back(e);
  if (type == "LIST") return list_from(items);
  if (type == "STRING" || type == "SIMPLE-STRING") return sequence_like(make_string(""), items);
  fail("The result type ~S of CONCATENATE is not supported by the host (STRING or LIST).", a[0]);
}

// The comparison functions answer with the index of the first difference.
struct comparison {
  int order;          // -1, 0, 1
  std::size_t index;  // in string1
};

comparison compare(args_t a, std::string_view name, bool fold_case) {
  keyword_args keys(name, a, 2, {"start1", "end1", "start2", "end2"});
  const std::u32string s1 = text_of(a[0]), s2 = text_of(a[1]);
  const bounds b1 = keyword_bounds(keys, s1.size(), "start1", "end1");
  const bounds b2 = keyword_bounds(keys, s2.size(), "start2", "end2");
  const std::size_t n1 = b1.end - b1.start, n2 = b2.end - b2.start;
  std::size_t p = 0;
  auto fold = [fold_case](char32_t c) { return fold_case ? upcase(c) : c; };
  while (p < n1 && p < n2 && fold(s1[b1.start + p]) == fold(s2[b2.start + p])) ++p;
  int order;
  if (p == n1 && p == n2)
    order = 0;
  else if (p == n1)
    order = -1;
  else if (p == n2)
    order = 1;
  else
    order = fold(s1[b1.start + p]) < fold(s2[b2.start + p]) ? -1 : 1;
  return {order, b1.start + p};
}

void define_comparison(std::string_view name, bool fold_case, bool (*holds)(int)) {
  define_builtin(name, 2, any_count, [n = std::string(name), fold_case, holds](args_t a) {
    const comparison c = compare(a, n, fold_case);
    return holds(c.order) ? make_integer(static_cast<std::int64_t>(c.index)) : ref();
  });
}

ref change_case(args_t a, std::string_view name, char32_t (*convert)(char32_t)) {
  keyword_args keys(name, a, 1, {"start", "end"});
  std::u32string s = text_of(a[0]);
  const bounds b = keyword_bounds(keys, s.size());
  for (std::size_t i = b.start; i < b.end; ++i) s[i] = convert(s[i]);
  return make_string(encode_utf8(s));
}

ref trim(args_t a, bool left, bool right) {
  std::u32string bag;
  for (const ref& c : sequence_elements(a[0])) {
    if (!is(c, tag::character)) type_error(c, "CHARACTER");
    bag += static_cast<character_obj&>(*c).code;
  }
  const std::u32string s = text_of(a[1]);
  std::size_t from = 0, to = s.size();
  while (left && from < to && bag.find(s[from]) != std::u32string::npos) ++from;
  while (right && to > from && bag.find(s[to - 1]) != std::u32string::npos) --to;
  return make_string(encode_utf8(s.substr(from, to - from)));
}

ref char_function(args_t a) {
  const std::u32string s = decode_utf8(as_string(a[0]));
  const std::int64_t i = as_integer(a[1]);
  if (i < 0 || static_cast<std::size_t>(i) >= s.size())
    fail("The index ~S is out of bounds for the string ~S.", a[1], a[0]);
  return make_character(s[i]);
}

bool whitespace(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

int digit_value(char32_t c, int radix) {
  int d = c >= '0' && c <= '9'   ? static_cast<int>(c - '0')
          : c >= 'a' && c <= 'z' ? static_cast<int>(c - 'a' + 10)
          : c >= 'A' && c <= 'Z' ? static_cast<int>(c - 'A' + 10)
                                 : 99;
  return d < radix ? d : -1;
}

ref parse_integer(args_t a) {
  keyword_args keys("PARSE-INTEGER", a, 1, {"start", "end", "radix", "junk-allowed"});
  const std::u32string s = decode_utf8(as_string(a[0]));
  const bounds b = keyword_bounds(keys, s.size());
  const std::int64_t radix = as_integer(keys.get("radix", make_integer(10)));
  if (radix < 2 || radix > 36) type_error(keys.get("radix"), "(INTEGER 2 36)");
  const bool junk_allowed = truthy(keys.get("junk-allowed"));
  std::size_t i = b.start;
  while (i < b.end && whitespace(s[i])) ++i;
  bool negative = false;
  if (i < b.end && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t value = 0;
  bool digits = false;
  for (int d; i < b.end && (d = digit_value(s[i], static_cast<int>(radix))) >= 0; ++i) {
    if (__builtin_mul_overflow(value, radix, &value) ||
        __builtin_add_overflow(value, negative ? -d : d, &value))
      signal("ARITHMETIC-ERROR", format("The integer in ~S does not fit the host's 64-bit integers.", a[0]));
    digits = true;
  }
  if (junk_allowed) return digits ? make_integer(value) : ref();
  while (i < b.end && whitespace(s[i])) ++i;
  if (!digits && i == b.end) signal("PARSE-ERROR", format("no digits in string ~S", a[0]));
  if (i != b.end || !digits) signal("PARSE-ERROR", format("junk in string ~S", a[0]));
  return make_integer(value);
}

const builtins_registration reg([] {
  define_builtin("CONCATENATE", 1, any_count, concatenate);
  define_builtin("STRING=", 2, any_count,
                 [](args_t a) { return boolean(compare(a, "STRING=", false).order == 0); });
  define_comparison("STRING/=", false, [](int o) { return o != 0; });
  define_comparison("STRING<", false, [](int o) { return o < 0; });
  define_comparison("STRING>", false, [](int o) { return o > 0; });
  define_comparison("STRING<=", false, [](int o) { return o <= 0; });
  define_comparison("STRING>=", false, [](int o) { return o >= 0; });
  define_builtin("STRING-EQUAL", 2, any_count,
                 [](args_t a) { return boolean(compare(a, "STRING-EQUAL", true).order == 0); });
  define_builtin("STRING-UPCASE", 1, any_count,
                 [](args_t a) { return change_case(a, "STRING-UPCASE", upcase); });
  define_builtin("STRING-DOWNCASE", 1, any_count,
                 [](args_t a) { return change_case(a, "STRING-DOWNCASE", downcase); });
  define_builtin("STRING-TRIM", 2, 2, [](args_t a) { return trim(a, true, true); });
  define_builtin("STRING-LEFT-TRIM", 2, 2, [](args_t a) { return trim(a, true, false); });
  define_builtin("STRING-RIGHT-TRIM", 2, 2, [](args_t a) { return trim(a, false, true); });
  define_builtin("CHAR", 2, 2, char_function);
  define_builtin("PARSE-INTEGER", 1, any_count, parse_integer);
  define_builtin("STRING", 1, 1,
                 [](args_t a) { return stringp(a[0]) ? a[0] : make_string(string_designator(a[0])); });
});

}  // namespace

}  // namespace host::lisp
