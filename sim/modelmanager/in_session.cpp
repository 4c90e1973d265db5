// What Model Manager knows of the clusters in session: a cluster loaded from
// or stored into the database carries the element id of its document among
// its database flags (:elid); a status refresh remembers, per contents,
// how it stands against the database.
#include "modelmanager/in_session.h"

#include <cmath>
#include <map>
#include <set>

#include "host/clusters.h"
#include "host/command_queue.h"
#include "host/console.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_status.h"
#include "host/model_tree.h"
#include "host/modelmanager.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using sim::session::entity;
using sim::session::entity_ptr;

struct remembered {
  sim::session::weak_entity contents;
  ref status;
};

// Keyed by the entity; the weak pointer tells a dead entry from a new
// entity at the same address.
std::map<const entity*, remembered>& statuses() {
  static std::map<const entity*, remembered> all;
  return all;
}

bool& refresh_pending() {
  static bool pending = false;
  return pending;
}

struct store_failures {
  int remaining = 0;
  std::string message;
};
store_failures& failing_stores() {
  static store_failures f;
  return f;
}

ref kw(std::string_view name) { return ref(&keyword(name)); }

constexpr std::string_view refresh_command = "(sdsim:mm-complete-refresh)";

void complete_refresh() {
  refresh_pending() = false;
  std::vector<entity_ptr> all;
  for (const entity_ptr& e : sim::session::session::current().reachable())
    if (e->is_contents() && e != sim::session::session::current().root_contents()) all.push_back(e);
  sim::modelmanager::refresh_statuses(all);
  standard_output() << "Model Manager: status of " << all.size() << " models refreshed\n";
  host::event::process_event(host::event::browser_update_event());
}

// The positions of the session in tree order.
void walk(const entity_ptr& contents, sim::session::position& p,
          const std::function<void(const sim::session::position&)>& visit) {
  for (const entity_ptr& child : contents->d.children) {
    p.push_back(child);
    visit(p);
    if (child->d.contents) walk(child->d.contents, p, visit);
    p.pop_back();
  }
}

void show_statuses() {
  standard_output() << "Model Manager statuses:\n";
  sim::session::position p;
  walk(sim::session::session::current().root_contents(), p, [](const sim::session::position& at) {
    const entity_ptr& contents = at.back()->d.contents;
    if (!contents) return;
    std::string indent(2 * at.size(), ' ');
    ref status = sim::modelmanager::known_status(contents);
    ref elid = host::modelmanager::get_docelid_from_cluster(contents->handle());
    standard_output() << indent << at.back()->d.name.value_or("") << " (" << contents->d.name.value_or("")
                      << ", " << contents->sysid()
                      << "): " << (is_nil(status) ? std::string("unknown") : prin1_to_string(status))
                      << (is_nil(elid) ? std::string() : " elid " + string_designator(elid)) << '\n';
  });
}

const builtins_registration in_session_functions([] {
  sim::define_host_function("MODELMANAGER", "GET-DOCELID-FROM-CLUSTER", 1, 1,
                            [](args_t a) { return host::modelmanager::get_docelid_from_cluster(a[0]); });
  sim::define_host_function("MODELMANAGER", "GET-MMSTATUS-FROM-OBJECT", 1, 1,
                            [](args_t a) { return host::modelmanager::get_mmstatus_from_object(a[0]); });
  // (modelmanager::ndm_refresh_status :all_items t)
  sim::define_host_function("MODELMANAGER", "NDM_REFRESH_STATUS", 0, 2, [](args_t a) {
    keyword_args k("MODELMANAGER::NDM_REFRESH_STATUS", a, 0, {"ALL_ITEMS"});
    host::modelmanager::ndm_refresh_status();
    return t();
  });
  sim::define_console_function("SDSIM", "MM-COMPLETE-REFRESH", 0, 0, [](args_t) {
    complete_refresh();
    return nil();
  });
  sim::register_show_topic("MM-STATUS", show_statuses);
  sim::define_console_function("SDSIM", "MM-FAIL-STORES", 2, 2, [](args_t a) {
    sim::modelmanager::fail_stores(int(as_integer(a[0])), as_string(a[1]));
    return t();
  });
});

}  // namespace

namespace sim::modelmanager {

void mark_from_database(const entity_ptr& contents, const stored_model& m) {
  contents->d.db_flags = putf(contents->d.db_flags, kw("ELID"), make_string(m.elid));
  host::oli::sd_attach_item_attribute(
      contents->handle(), "DB-DREF",
      list({kw("ELID"), make_string(m.elid), kw("UNIQUE_ID_STRING"), make_string(m.unique_id_string)}),
      nil());
}

ref compute_status(const entity_ptr& contents) {
  std::optional<stored_model> stored;
  return compute_status(contents, stored);
}

ref compute_status(const entity_ptr& contents, std::optional<stored_model>& stored) {
  stored = current_database().latest_by_sysid(contents->sysid());
  if (!stored) return kw("NOT-STORED");
  if (stored->name != contents->d.name.value_or("")) return kw("SYSID-CONFLICT");
  // Time stamps are seconds; what the store wrote reads back to within
  // rounding of the database's REAL.
  const double difference = stored->timestamp - contents->d.timestamp;
  if (std::fabs(difference) < 1e-3) return kw("UP-TO-DATE");
  return difference > 0 ? kw("NEWER-VERSION-EXISTS") : kw("MODIFIED");
}

void refresh_statuses(const std::vector<entity_ptr>& contents) {
  // Entries of entities that are gone are swept once the table has doubled
  // since the last sweep, not at every refresh: a long session refreshes
  // for every model it loads and stores.
  static std::size_t swept_at = 0;
  if (statuses().size() >= 2 * swept_at + 64) {
    std::erase_if(statuses(), [](const auto& entry) { return entry.second.contents.expired(); });
    swept_at = statuses().size();
  }
  for (const entity_ptr& c : contents) {
    std::optional<stored_model> stored;
    ref status = compute_status(c, stored);
    // A model Model Manager finds stored is linked to its stored document.
    // That is Model Manager's bookkeeping, not a change of the model.
    if (stored && !eql(status, kw("SYSID-CONFLICT"))) {
      const bool modified = c->d.modified;
      mark_from_database(c, *stored);
      c->d.modified = modified;
    }
    statuses()[c.get()] = {c, status};
  }
}

ref known_status(const entity_ptr& contents) {
  auto it = statuses().find(contents.get());
  if (it == statuses().end() || it->second.contents.lock() != contents) return nil();
  return it->second.status;
}

std::vector<entity_ptr> contents_of_tree(const entity_ptr& instance) {
  std::vector<entity_ptr> out;
  std::set<const entity*> seen;
  std::function<void(const entity_ptr&)> visit = [&](const entity_ptr& i) {
    const entity_ptr& c = i->d.contents;
    if (!c || !seen.insert(c.get()).second) return;
    // Only filing clusters are models of their own; a layout's contents
    // is not.
    if (c->d.real) out.push_back(c);
    for (const entity_ptr& child : c->d.children) visit(child);
  };
  visit(instance);
  return out;
}

void fail_stores(int n, std::string message) { failing_stores() = {n, std::move(message)}; }

void check_store_allowed() {
  store_failures& f = failing_stores();
  if (f.remaining <= 0) return;
  --f.remaining;
  sim::host_command_failed("MODELMANAGER", "STORE-FAILED", f.message);
}

}  // namespace sim::modelmanager

namespace host::modelmanager {

lisp::ref get_docelid_from_cluster(const lisp::ref& cluster) {
  return lisp::getf(host::frame2::sd_inq_db_flags(cluster), lisp::ref(&lisp::keyword("ELID")));
}

lisp::ref get_mmstatus_from_object(const lisp::ref& object) {
  const lisp::ref contents = host::oli::get_contents(object);
  if (is_nil(contents)) return nil();
  return sim::modelmanager::known_status(sim::session::require_contents(contents));
}

void ndm_refresh_status() {
  // One refresh answers every request made before it runs.
  if (refresh_pending()) return;
  refresh_pending() = true;
  host::frame2::put_buffer(std::string(refresh_command));
}

}  // namespace host::modelmanager
