// Mapping over lists and sequences: mapcar, mapc, mapcan, every, some.
#include "lisp/builtin_def.h"
#include "lisp/runtime.h"
#include "lisp/sequences.h"

namespace host::lisp {

namespace {

// The elements of the argument sequences from index 1 on, cut to the
// shortest; lists_only for the map functions, which take lists.
std::vector<std::vector<ref>> columns(args_t a, bool lists_only) {
  std::vector<std::vector<ref>> sequences;
  std::size_t shortest = std::numeric_limits<std::size_t>::max();
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (lists_only && !listp(a[i])) type_error(a[i], "LIST");
    sequences.push_back(sequence_elements(a[i]));
    shortest = std::min(shortest, sequences.back().size());
  }
  std::vector<std::vector<ref>> rows(shortest);
  for (std::size_t r = 0; r < shortest; ++r)
    for (const auto& s : sequences) rows[r].push_back(s[r]);
  return rows;
}

std::vector<ref> map_results(args_t a) {
  std::vector<ref> results;
  for (const auto& row : columns(a, true)) results.push_back(funcall(a[0], row));
  return results;
}

ref mapcan(args_t a) {
  const std::vector<ref> results = map_results(a);
  return funcall(ref(&cl_symbol("NCONC")), results);
}

ref every(args_t a) {
  for (const auto& row : columns(a, false))
    if (is_nil(funcall(a[0], row))) return ref();
  return t();
}

ref some(args_t a) {
  for (const auto& row : columns(a, false)) {
    ref value = funcall(a[0], row);
    if (truthy(value)) return value;
  }
  return ref();
}

const builtins_registration reg([] {
  define_builtin("MAPCAR", 2, any_count, [](args_t a) { return list_from(map_results(a)); });
  define_builtin("MAPC", 2, any_count, [](args_t a) {
    map_results(a);
    return a[1];
  });
  define_builtin("MAPCAN", 2, any_count, mapcan);
  define_builtin("EVERY", 2, any_count, every);
  define_builtin("SOME", 2, any_count, some);
});

}  // namespace

}  // namespace host::lisp
