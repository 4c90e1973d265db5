// Lisp functions of the simulated Model Manager: the host's query and the
// simulator's own controls (database file, seeding, failing queries).
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "lisp/runtime.h"
#include "modelmanager/database.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;

// Exported: MODELMANAGER:MM-QUERY-BY-NAME and the console's SDSIM:MM-...
constexpr auto define = sim::define_console_function;

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
