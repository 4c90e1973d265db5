// Lists and strings seen as sequences of elements, for the sequence
// functions. Strings are UTF-8; their elements are characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/eval.h"
#include "host/lisp/object.h"

namespace host::lisp {

std::u32string decode_utf8(std::string_view text);
std::string encode_utf8(std::u32string_view text);

// The elements of a proper list or a string; a type error names
// SEQUENCE otherwise.
std::vector<ref> sequence_elements(const ref& sequence);
// A list or, when `like` is a string, a string of the items.
ref sequence_like(const ref& like, const std::vector<ref>& items);
std::size_t sequence_length(const ref& sequence);

// :start and :end (or positional bounds) checked against a length.
struct bounds {
  std::size_t start;
  std::size_t end;
};
bounds sequence_bounds(const ref& start, const ref& end, std::size_t length);
bounds keyword_bounds(const keyword_args& keys, std::size_t length, std::string_view start_key = "start",
                      std::string_view end_key = "end");

// :test and :key of a sequence function: (test item (key element)), the
// test eql by default.
class test_key {
 public:
  explicit test_key(const keyword_args& keys);
  ref key(const ref& element) const;
  bool test(const ref& item, const ref& element_key) const;
  // True when `element` satisfies a predicate applied through :key.
  bool satisfies(const ref& predicate, const ref& element) const;

 private:
  ref test_;
  ref key_;
};

}  // namespace host::lisp
