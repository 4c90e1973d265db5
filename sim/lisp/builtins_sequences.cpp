// Sequence functions over lists and strings: length, access, removal,
// searching, counting, sorting and reduction.
#include <functional>
#include <limits>

#include "lisp/builtin_def.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"
#include "lisp/sequences.h"

namespace host::lisp {

namespace {

using predicate = std::function<bool(const ref&)>;

// The indices of [b.start, b.end) in visiting order.
std::vector<std::size_t> visit_order(const bounds& b, bool from_end) {
  std::vector<std::size_t> order;
  for (std::size_t i = b.start; i < b.end; ++i) order.push_back(i);
  if (from_end) std::reverse(order.begin(), order.end());
  return order;
}

ref remove_matching(const ref& sequence, const keyword_args& keys, const predicate& matches) {
  const std::vector<ref> items = sequence_elements(sequence);
  const bounds b = keyword_bounds(keys, items.size());
  const ref count_arg = keys.get("count");
  std::int64_t left = is_nil(count_arg) ? std::numeric_limits<std::int64_t>::max() : as_integer(count_arg);
  std::vector<bool> drop(items.size());
  bool dropped = false;
  for (std::size_t i : visit_order(b, truthy(keys.get("from-end")))) {
    if (left <= 0) break;
    if (matches(items[i])) {
      drop[i] = dropped = true;
      --left;
    }
  }
  if (!dropped) return sequence;
  std::vector<ref> kept;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!drop[i]) kept.push_back(items[i]);
  return sequence_like(sequence, kept);
}

const std::initializer_list<std::string_view> remove_keys = {"from-end", "test",  "start",
                                                             "end",      "count", "key"};
const std::initializer_list<std::string_view> remove_if_keys = {"from-end", "start", "end", "count", "key"};

ref remove_item(args_t a, std::string_view name) {
  keyword_args keys(name, a, 2, remove_keys);
  test_key tk(keys);
  return remove_matching(a[1], keys, [&](const ref& e) { return tk.test(a[0], tk.key(e)); });
}

ref remove_if(args_t a, std::string_view name, bool keep_satisfying) {
  keyword_args keys(name, a, 2, remove_if_keys);
  test_key tk(keys);
  return remove_matching(a[1], keys, [&](const ref& e) { return tk.satisfies(a[0], e) != keep_satisfying; });
}

// Of matching elements the later one goes, or the earlier one with :from-end.
ref remove_duplicates(args_t a, std::string_view name) {
  keyword_args keys(name, a, 1, {"from-end", "test", "start", "end", "key"});
  test_key tk(keys);
  const std::vector<ref> items = sequence_elements(a[0]);
  const bounds b = keyword_bounds(keys, items.size());
  const bool from_end = truthy(keys.get("from-end"));
  std::vector<ref> item_keys;
  for (const ref& e : items) item_keys.push_back(tk.key(e));
  std::vector<bool> drop(items.size());
  bool dropped = false;
  for (std::size_t i = b.start; i < b.end; ++i) {
    if (from_end) {
      for (std::size_t j = b.start; j < i && !drop[i]; ++j)
        if (!drop[j] && tk.test(item_keys[j], item_keys[i])) drop[i] = true;
    } else {
      for (std::size_t j = i + 1; j < b.end && !drop[i]; ++j)
        if (tk.test(item_keys[i], item_keys[j])) drop[i] = true;
    }
    dropped = dropped || drop[i];
  }
  if (!dropped) return a[0];
  std::vector<ref> kept;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!drop[i]) kept.push_back(items[i]);
  return sequence_like(a[0], kept);
}

// The index of the first element (last with :from-end) that matches.
std::optional<std::size_t> position_of(const std::vector<ref>& items, const keyword_args& keys,
                                       const predicate& matches) {
  const bounds b = keyword_bounds(keys, items.size());
  for (std::size_t i : visit_order(b, truthy(keys.get("from-end"))))
    if (matches(items[i])) return i;
  return std::nullopt;
}

const std::initializer_list<std::string_view> find_keys = {"from-end", "test", "start", "end", "key"};
const std::initializer_list<std::string_view> find_if_keys = {"from-end", "start", "end", "key"};

// find, position and count share their argument handling.
enum class lookup { find, position, count };

ref lookup_result(const std::vector<ref>& items, const keyword_args& keys, const predicate& matches,
                  lookup what) {
  if (what == lookup::count) {
    const bounds b = keyword_bounds(keys, items.size());
    std::int64_t n = 0;
    for (std::size_t i = b.start; i < b.end; ++i) n += matches(items[i]);
    return make_integer(n);
  }
  auto i = position_of(items, keys, matches);
  if (!i) return ref();
  return what == lookup::find ? items[*i] : make_integer(static_cast<std::int64_t>(*i));
}

ref lookup_item(args_t a, std::string_view name, lookup what) {
  keyword_args keys(name, a, 2, find_keys);
  test_key tk(keys);
  return lookup_result(
      sequence_elements(a[1]), keys, [&](const ref& e) { return tk.test(a[0], tk.key(e)); }, what);
}

ref lookup_if(args_t a, std::string_view name, lookup what) {
  keyword_args keys(name, a, 2, find_if_keys);
  test_key tk(keys);
  return lookup_result(
      sequence_elements(a[1]), keys, [&](const ref& e) { return tk.satisfies(a[0], e); }, what);
}

// A stable merge sort that stays in bounds whatever the predicate answers.
void merge_sort(std::vector<ref>& items, std::vector<ref>& keys, const ref& less) {
  const std::size_t n = items.size();
  std::vector<ref> item_buffer(n), key_buffer(n);
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        const bool take_right = truthy(call(less, keys[j], keys[i]));
        const std::size_t from = take_right ? j++ : i++;
        item_buffer[k] = items[from];
        key_buffer[k++] = keys[from];
      }
      for (; i < mid; ++i, ++k) item_buffer[k] = items[i], key_buffer[k] = keys[i];
      for (; j < hi; ++j, ++k) item_buffer[k] = items[j], key_buffer[k] = keys[j];
    }
    items.swap(item_buffer);
    keys.swap(key_buffer);
  }
}

// Sorts in place: a list keeps its conses, which receive the elements in
// order; a string receives the sorted characters.
ref sort(args_t a, std::string_view name) {
  keyword_args keys(name, a, 2, {"key"});
  test_key tk(keys);
  std::vector<ref> items = sequence_elements(a[0]);
  std::vector<ref> item_keys;
  for (const ref& e : items) item_keys.push_back(tk.key(e));
  merge_sort(items, item_keys, a[1]);
  if (stringp(a[0])) {
    static_cast<string_obj&>(*a[0]).text = as_string(sequence_like(a[0], items));
    return a[0];
  }
  std::size_t i = 0;
  for (ref p = a[0]; consp(p); p = as_cons(p).cdr) as_cons(p).car = items[i++];
  return a[0];
}

ref reduce(args_t a) {
  keyword_args keys("REDUCE", a, 2, {"key", "from-end", "start", "end", "initial-value"});
  test_key tk(keys);
  const std::vector<ref> all = sequence_elements(a[1]);
  const bounds b = keyword_bounds(keys, all.size());
  std::vector<ref> items;
  for (std::size_t i = b.start; i < b.end; ++i) items.push_back(tk.key(all[i]));
  const bool from_end = truthy(keys.get("from-end"));
  if (from_end) std::reverse(items.begin(), items.end());
  if (keys.has("initial-value")) items.insert(items.begin(), keys.get("initial-value"));
  if (items.empty()) return call(a[0]);
  ref result = items[0];
  for (std::size_t i = 1; i < items.size(); ++i)
    result = from_end ? call(a[0], items[i], result) : call(a[0], result, items[i]);
  return result;
}

ref search(args_t a) {
  keyword_args keys("SEARCH", a, 2, {"from-end", "test", "key", "start1", "end1", "start2", "end2"});
  test_key tk(keys);
  const std::vector<ref> needle = sequence_elements(a[0]);
  const std::vector<ref> haystack = sequence_elements(a[1]);
  const bounds b1 = keyword_bounds(keys, needle.size(), "start1", "end1");
  const bounds b2 = keyword_bounds(keys, haystack.size(), "start2", "end2");
  const std::size_t length = b1.end - b1.start;
  if (length > b2.end - b2.start) return ref();
  std::optional<std::size_t> found;
  for (std::size_t p = b2.start; p + length <= b2.end; ++p) {
    bool match = true;
    for (std::size_t j = 0; j < length && match; ++j)
      match = tk.test(tk.key(needle[b1.start + j]), tk.key(haystack[p + j]));
    if (match) {
      found = p;
      if (!truthy(keys.get("from-end"))) break;
    }
  }
  return found ? make_integer(static_cast<std::int64_t>(*found)) : ref();
}

ref elt(args_t a) {
  const std::vector<ref> items = sequence_elements(a[0]);
  const std::int64_t i = as_integer(a[1]);
  if (i < 0 || static_cast<std::size_t>(i) >= items.size())
    fail("The index ~S is out of bounds for a sequence of length ~S.", a[1],
         make_integer(static_cast<std::int64_t>(items.size())));
  return items[i];
}

ref subseq(args_t a) {
  const std::vector<ref> items = sequence_elements(a[0]);
  const bounds b = sequence_bounds(a[1], a.size() > 2 ? a[2] : ref(), items.size());
  return sequence_like(a[0], std::vector<ref>(items.begin() + b.start, items.begin() + b.end));
}

ref reverse(args_t a) {
  std::vector<ref> items = sequence_elements(a[0]);
  std::reverse(items.begin(), items.end());
  return sequence_like(a[0], items);
}

const builtins_registration reg([] {
  define_builtin("LENGTH", 1, 1,
                 [](args_t a) { return make_integer(static_cast<std::int64_t>(sequence_length(a[0]))); });
  define_builtin("REVERSE", 1, 1, reverse);
  define_builtin("NREVERSE", 1, 1, reverse);
  define_builtin("ELT", 2, 2, elt);
  define_builtin("SUBSEQ", 2, 3, subseq);
  define_builtin("REMOVE", 2, any_count, [](args_t a) { return remove_item(a, "REMOVE"); });
  define_builtin("DELETE", 2, any_count, [](args_t a) { return remove_item(a, "DELETE"); });
  define_builtin("REMOVE-IF", 2, any_count, [](args_t a) { return remove_if(a, "REMOVE-IF", false); });
  define_builtin("DELETE-IF", 2, any_count, [](args_t a) { return remove_if(a, "DELETE-IF", false); });
  define_builtin("REMOVE-IF-NOT", 2, any_count, [](args_t a) { return remove_if(a, "REMOVE-IF-NOT", true); });
  define_builtin("REMOVE-DUPLICATES", 1, any_count,
                 [](args_t a) { return remove_duplicates(a, "REMOVE-DUPLICATES"); });
  define_builtin("DELETE-DUPLICATES", 1, any_count,
                 [](args_t a) { return remove_duplicates(a, "DELETE-DUPLICATES"); });
  define_builtin("FIND", 2, any_count, [](args_t a) { return lookup_item(a, "FIND", lookup::find); });
  define_builtin("FIND-IF", 2, any_count, [](args_t a) { return lookup_if(a, "FIND-IF", lookup::find); });
  define_builtin("POSITION", 2, any_count,
                 [](args_t a) { return lookup_item(a, "POSITION", lookup::position); });
  define_builtin("POSITION-IF", 2, any_count,
                 [](args_t a) { return lookup_if(a, "POSITION-IF", lookup::position); });
  define_builtin("COUNT", 2, any_count, [](args_t a) { return lookup_item(a, "COUNT", lookup::count); });
  define_builtin("COUNT-IF", 2, any_count, [](args_t a) { return lookup_if(a, "COUNT-IF", lookup::count); });
  define_builtin("SORT", 2, any_count, [](args_t a) { return sort(a, "SORT"); });
  define_builtin("STABLE-SORT", 2, any_count, [](args_t a) { return sort(a, "STABLE-SORT"); });
  define_builtin("REDUCE", 2, any_count, reduce);
  define_builtin("SEARCH", 2, any_count, search);
});

}  // namespace

}  // namespace host::lisp
