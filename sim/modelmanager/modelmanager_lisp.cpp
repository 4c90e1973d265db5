// Lisp functions of the simulated Model Manager: the host's query and the
// simulator's own controls (database file, seeding, failing queries).
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "lisp/runtime.h"
#include "modelmanager/database.h"

namespace {

using namespace host::lisp;

void define(std::string_view package_name, std::string_view name, std::size_t min, std::size_t max,
            native_fn fn) {
  package& p = require_package(package_name);
  symbol& s = intern(name, p);
  export_symbol(s, p);
  defun(s,
        [n = std::string(package_name) + ":" + std::string(name), min, max, fn = std::move(fn)](args_t args) {
          check_argument_count(n, args, min, max);
          return fn(args);
        });
}

// ((column ...) (value ...) ...), or the error message.
ref query_answer(const host::modelmanager::mm_query_result& r) {
  if (!r.ok) return make_string(r.error);
  std::vector<ref> items;
  std::vector<ref> columns;
  for (const std::string& c : r.columns) columns.push_back(make_string(c));
  items.push_back(list_from(columns));
  for (const auto& row : r.rows) {
    std::vector<ref> values;
    for (const std::string& v : row) values.push_back(make_string(v));
    items.push_back(list_from(values));
  }
  return list_from(items);
}

const builtins_registration reg([] {
  define("MODELMANAGER", "MM-QUERY-BY-NAME", 4, 4, [](args_t a) {
    return query_answer(host::modelmanager::mm_query_by_name(as_string(a[0]), as_string(a[1]),
                                                             as_string(a[2]), int(as_integer(a[3]))));
  });
  define("SDSIM", "MM-USE-DATABASE", 1, 1, [](args_t a) {
    sim::modelmanager::use_database_file(to_path(a[0]));
    return t();
  });
  define("SDSIM", "MM-DATABASE-FILE", 0, 0,
         [](args_t) { return make_string(sim::modelmanager::current_database().file().string()); });
  define("SDSIM", "MM-SEED-DATABASE", 1, 1, [](args_t a) {
    return make_integer(std::int64_t(sim::modelmanager::current_database().seed_from_file(to_path(a[0]))));
  });
  define("SDSIM", "MM-MODEL-COUNT", 0, 0, [](args_t) {
    return make_integer(std::int64_t(sim::modelmanager::current_database().model_count()));
  });
  define("SDSIM", "MM-FAIL-QUERIES", 2, 2, [](args_t a) {
    sim::modelmanager::fail_queries(int(as_integer(a[0])), as_string(a[1]));
    return t();
  });
});

}  // namespace
