#include "checkin/in_session_lisp.h"

#include "checkin/check_in_context.h"
#include "checkin/name_resolution.h"
#include "checkin/name_tracking.h"
#include "core/vt_utils.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "records/host_cluster_session.h"

namespace vtm::checkin {

namespace hl = host::lisp;

namespace {

constexpr std::string_view context_kind = "CHECK-IN-CONTEXT";
constexpr std::string_view name_info_kind = "MODEL-NAME-INFO";

records::host_cluster_session& session() {
  static records::host_cluster_session s;
  return s;
}

std::shared_ptr<check_in_context> context_of(const hl::ref& r) {
  return hl::handle_target<check_in_context>(r, context_kind);
}
name_info_ptr info_of(const hl::ref& r) { return hl::handle_target<model_name_info>(r, name_info_kind); }
hl::ref info_handle(const name_info_ptr& info) {
  return info ? hl::make_handle(std::string(name_info_kind), info) : hl::nil();
}

bool handle_of_kind(const hl::ref& r, std::string_view kind) {
  return r.get() && r->type == hl::tag::handle && static_cast<hl::handle_obj&>(*r).kind == kind;
}

void define(std::string_view name, std::size_t min, std::size_t max, hl::native_fn fn) {
  hl::package& p = hl::require_package("VANTREL-MIGRATOR");
  hl::defun(name, p, [n = std::string(name), min, max, fn = std::move(fn)](hl::args_t args) {
    hl::check_argument_count(n, args, min, max);
    return fn(args);
  });
}

const char* result_keyword(resolution_result r) {
  switch (r) {
    case resolution_result::rename:
      return "RENAME";
    case resolution_result::replace:
      return "REPLACE";
    case resolution_result::reload:
      return "RELOAD";
    case resolution_result::none:
      break;
  }
  return nullptr;
}

// The queue's record of the model's staged path, so that choosing a queued
// model again is recognised as the same model; others are taken as given.
model_status_ptr queued_model(check_in_context& c, const hl::ref& value) {
  if (hl::is_nil(value)) return nullptr;
  auto status = core::from_lisp<analytics::model_status>(value);
  if (const model_status_ptr* queued = c.model_queue.find(status.staged.string())) return *queued;
  return std::make_shared<analytics::model_status>(std::move(status));
}

}  // namespace

void define_vt_in_session_records() {
  define("MAKE-CHECK-IN-CONTEXT", 1, 1, [](hl::args_t a) {
    return hl::make_handle(std::string(context_kind),
                           std::make_shared<check_in_context>(make_check_in_context(hl::to_path(a[0]))));
  });
  define("CHECK-IN-CONTEXT-P", 1, 1,
         [](hl::args_t a) { return hl::boolean(handle_of_kind(a[0], context_kind)); });
  define("CHECK-IN-CONTEXT-CURRENT-MODEL", 1, 1, [](hl::args_t a) {
    const model_status_ptr& m = context_of(a[0])->current_model();
    return m ? core::to_lisp(*m) : hl::nil();
  });
  define("SET-CHECK-IN-CONTEXT-CURRENT-MODEL", 2, 2, [](hl::args_t a) {
    auto c = context_of(a[0]);
    set_check_in_context_current_model(*c, queued_model(*c, a[1]), session());
    return a[1];
  });
  define("CLEANUP-CONFLICT-QUEUE", 1, 1, [](hl::args_t a) {
    cleanup_conflict_queue(*context_of(a[0]), session());
    return a[0];
  });
  define("CHECK-IN-CONTEXT-REMAINING-MODELS", 1, 1,
         [](hl::args_t a) { return hl::make_integer(check_in_context_remaining_models(*context_of(a[0]))); });
  define("CHECK-IN-CONTEXT-REMAINING-NAME-CONFLICTS", 1, 1, [](hl::args_t a) {
    return hl::make_integer(check_in_context_remaining_name_conflicts(*context_of(a[0])));
  });
  define("CHECK-IN-CONTEXT-CONFLICT-NAMES", 1, 1, [](hl::args_t a) {
    std::vector<hl::ref> names;
    for (const auto& [name, info] : context_of(a[0])->current_conflicts)
      names.push_back(hl::make_string(name));
    return hl::list_from(names);
  });
  define("CHECK-IN-CONTEXT-CONFLICT", 2, 2, [](hl::args_t a) {
    const name_info_ptr* info = context_of(a[0])->current_conflicts.find(hl::as_string(a[1]));
    return info ? info_handle(*info) : hl::nil();
  });
  define("MODEL-NAME-INFO-P", 1, 1,
         [](hl::args_t a) { return hl::boolean(handle_of_kind(a[0], name_info_kind)); });
  define("MODEL-NAME-INFO-PLIST", 1, 1, [](hl::args_t a) { return model_name_info_plist(*info_of(a[0])); });
  define("MODEL-NAME-INFO-SELITEM", 1, 1, [](hl::args_t a) {
    std::optional<records::model_path> p = model_name_info_selitem(*info_of(a[0]));
    return p ? records::to_sel_item(*p) : hl::nil();
  });
  define("QUERY-MODEL-NAME-INFO", 1, 3, [](hl::args_t a) {
    hl::keyword_args k("QUERY-MODEL-NAME-INFO", a, 1, {"CACHED"});
    query_model_name_info(*info_of(a[0]), hl::truthy(k.get("CACHED", hl::t())));
    return a[0];
  });
  define("UPDATE-MODEL-NAME-INFO", 1, 1, [](hl::args_t a) {
    update_model_name_info(*info_of(a[0]), session());
    return a[0];
  });
  define("NAME-DOUBLE-COUNT", 1, 1,
         [](hl::args_t a) { return hl::make_integer(name_double_count(*info_of(a[0]), session())); });
  define("NAME-HAS-DOUBLES-P", 1, 1,
         [](hl::args_t a) { return hl::boolean(name_has_doubles_p(*info_of(a[0]), session())); });
  define("READY-NAME-CONFLICT-RESOLUTION", 1, 1, [](hl::args_t a) {
    ready_name_conflict_resolution(*info_of(a[0]), session());
    return a[0];
  });
  define("COMPARE-NAME-DOUBLES", 1, 1, [](hl::args_t a) {
    compare_name_doubles(*info_of(a[0]));
    return a[0];
  });
  define("RESOLVE-NAME-CONFLICT", 2, 2, [](hl::args_t a) {
    std::optional<resolution> how;
    if (hl::keywordp(a[1])) how = resolution_from_keyword(static_cast<hl::symbol&>(*a[1]).name);
    const char* result = result_keyword(resolve_name_conflict(*info_of(a[0]), how, session()));
    return result ? hl::ref(&hl::keyword(result)) : hl::nil();
  });
}

}  // namespace vtm::checkin
