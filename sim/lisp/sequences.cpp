#include "lisp/sequences.h"

#include <utf8.h>

#include <iterator>

#include "host/lisp/errors.h"
#include "lisp/fail.h"

namespace host::lisp {

std::u32string decode_utf8(std::string_view text) {
  std::u32string out;
  try {
    utf8::utf8to32(text.begin(), text.end(), std::back_inserter(out));
  } catch (const utf8::exception&) {
    fail("The string ~S is not valid UTF-8.", make_string(text));
  }
  return out;
}

std::string encode_utf8(std::u32string_view text) {
  std::string out;
  utf8::utf32to8(text.begin(), text.end(), std::back_inserter(out));
  return out;
}

std::vector<ref> sequence_elements(const ref& sequence) {
  if (stringp(sequence)) {
    std::vector<ref> out;
    for (char32_t c : decode_utf8(as_string(sequence))) out.push_back(make_character(c));
    return out;
  }
  std::vector<ref> out;
  ref p = sequence;
  for (; consp(p); p = as_cons(p).cdr) out.push_back(as_cons(p).car);
  if (!is_nil(p)) type_error(sequence, "SEQUENCE");
  return out;
}

ref sequence_like(const ref& like, const std::vector<ref>& items) {
  if (!stringp(like)) return list_from(items);
  std::u32string text;
  for (const ref& c : items) {
    if (!is(c, tag::character)) type_error(c, "CHARACTER");
    text += static_cast<character_obj&>(*c).code;
  }
  return make_string(encode_utf8(text));
}

std::size_t sequence_length(const ref& sequence) {
  if (stringp(sequence)) return char_length(as_string(sequence));
  std::size_t n = 0;
  ref p = sequence;
  for (; consp(p); p = as_cons(p).cdr) ++n;
  if (!is_nil(p)) type_error(sequence, "SEQUENCE");
  return n;
}

bounds sequence_bounds(const ref& start, const ref& end, std::size_t length) {
  const std::int64_t s = is_nil(start) ? 0 : as_integer(start);
  const std::int64_t e = is_nil(end) ? static_cast<std::int64_t>(length) : as_integer(end);
  if (s < 0 || e < s || e > static_cast<std::int64_t>(length))
    fail("The bounding indices ~S and ~S are bad for a sequence of length ~S.", make_integer(s),
         is_nil(end) ? end : make_integer(e), make_integer(static_cast<std::int64_t>(length)));
  return {static_cast<std::size_t>(s), static_cast<std::size_t>(e)};
}

bounds keyword_bounds(const keyword_args& keys, std::size_t length, std::string_view start_key,
                      std::string_view end_key) {
  return sequence_bounds(keys.get(start_key), keys.get(end_key), length);
}

test_key::test_key(const keyword_args& keys) : test_(keys.get("test")), key_(keys.get("key")) {}

ref test_key::key(const ref& element) const { return is_nil(key_) ? element : call(key_, element); }

bool test_key::test(const ref& item, const ref& element_key) const {
  return is_nil(test_) ? eql(item, element_key) : truthy(call(test_, item, element_key));
}

bool test_key::satisfies(const ref& predicate, const ref& element) const {
  return truthy(call(predicate, key(element)));
}

}  // namespace host::lisp
