// Hash tables: make-hash-table, gethash, remhash, clrhash, maphash,
// hash-table-count.
#include "lisp/builtin_def.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

// :test names EQ, EQL or EQUAL, as a symbol or as the function itself. The
// host has no separate eq tables: its eq differs from eql only for floats.
hash_test table_test(const ref& test) {
  if (is_nil(test)) return hash_test::eql;
  std::string name;
  if (symbolp(test))
    name = as_symbol(test).name;
  else if (is(test, tag::function))
    name = as_function(test).name;
  if (name == "EQ" || name == "EQL") return hash_test::eql;
  if (name == "EQUAL") return hash_test::equal;
  fail("The hash table test ~S is not supported by the host (EQ, EQL or EQUAL).", test);
}

ref make_hash_table_function(args_t a) {
  keyword_args keys("MAKE-HASH-TABLE", a, 0, {"test", "size", "rehash-size", "rehash-threshold"});
  return make_hash_table(table_test(keys.get("test")));
}

ref gethash(args_t a) {
  auto& table = as_hash_table(a[1]).table;
  auto it = table.find(a[0]);
  if (it != table.end()) return it->second;
  return a.size() > 2 ? a[2] : ref();
}

// Iterates over a snapshot, so the function may change the table.
ref maphash(args_t a) {
  auto& table = as_hash_table(a[1]).table;
  const std::vector<std::pair<ref, ref>> entries(table.begin(), table.end());
  for (const auto& [k, v] : entries) call(a[0], k, v);
  return ref();
}

const builtins_registration reg([] {
  define_builtin("MAKE-HASH-TABLE", 0, any_count, make_hash_table_function);
  define_builtin("GETHASH", 2, 3, gethash);
  define_builtin("REMHASH", 2, 2,
                 [](args_t a) { return boolean(as_hash_table(a[1]).table.erase(a[0]) > 0); });
  define_builtin("CLRHASH", 1, 1, [](args_t a) {
    as_hash_table(a[0]).table.clear();
    return a[0];
  });
  define_builtin("MAPHASH", 2, 2, maphash);
  define_builtin("HASH-TABLE-COUNT", 1, 1, [](args_t a) {
    return make_integer(static_cast<std::int64_t>(as_hash_table(a[0]).table.size()));
  });
});

}  // namespace

}  // namespace host::lisp
