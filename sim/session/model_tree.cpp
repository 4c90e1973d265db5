// The model tree: model paths, parents and children, path names, contents
// substitution and deletion.
#include "host/model_tree.h"

#include <algorithm>
#include <unordered_set>

#include "host/command_errors.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/structures.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/model.h"
#include "session/paths.h"

namespace sim::session {

using namespace host::lisp;

namespace {

std::int64_t selection_type(const entity& item) {
  if (item.is_feature()) return host::elan::s_feature;
  if (!item.is_instance()) return 0;
  std::string_view t = item.d.type_name;
  std::string_view c = item.d.contents ? std::string_view(item.d.contents->d.type_name) : "";
  if (t == "npart3" || c == "part_struct") return host::elan::s_part;
  if (t == "nasmb3" || c == "asbm_struct") return host::elan::s_assembly;
  return 0;
}

}  // namespace

ref make_path(const position& p) {
  std::vector<ref> elements;
  for (const auto& e : p) elements.push_back(e->handle());
  const entity_ptr& item = p.empty() ? session::current().root() : p.back();
  return host::elan::make_sel_item(list_from(elements), selection_type(*item), item->handle());
}

std::optional<position> first_position(const entity_ptr& instance) {
  session& s = session::current();
  position up;
  std::unordered_set<const entity*> seen;
  entity_ptr at = instance;
  for (;;) {
    if (!at || !at->is_instance() || !seen.insert(at.get()).second) return std::nullopt;
    up.push_back(at);
    entity_ptr parent = at->d.parent.lock();
    if (!parent) return std::nullopt;
    if (parent == s.root_contents()) break;
    entity_ptr user;
    for (const weak_entity& w : parent->d.users) {
      entity_ptr u = w.lock();
      if (u && u->d.contents == parent && s.in_session(*u)) {
        user = u;
        break;
      }
    }
    at = user;
  }
  return position(up.rbegin(), up.rend());
}

bool position_in_session(const position& p) {
  entity_ptr expected = session::current().root_contents();
  for (const auto& e : p) {
    if (!e->is_instance() || e->d.parent.lock() != expected) return false;
    expected = e->d.contents;
  }
  return true;
}

entity_ptr contents_at(const position& p) {
  return p.empty() ? session::current().root_contents() : p.back()->d.contents;
}

std::optional<position> position_of(const ref& object) {
  if (host::elan::sel_item_p(object)) {
    position p;
    for (const ref& element : list_to_vector(host::elan::sel_item_path(object))) {
      entity_ptr e = entity_of(element);
      if (!e || !e->is_instance()) type_error(element, "ELAN::NPARCEL");
      p.push_back(std::move(e));
    }
    return p;
  }
  entity_ptr e = require_instance(object);
  if (e == session::current().root()) return position{};
  return first_position(e);
}

position require_position(const ref& object) {
  std::optional<position> p = position_of(object);
  if (!p) simple_error(require_entity(object)->describe() + " is not in the session.");
  return *p;
}

}  // namespace sim::session

namespace {

using namespace host::lisp;
using namespace sim::session;

const struct_type* g_sel_item = nullptr;

const struct_type& sel_item_type_def() {
  if (!g_sel_item) {
    package& elan = require_package("ELAN");
    g_sel_item = &define_struct(intern("SEL_ITEM", elan),
                                {&intern("PATH", elan), &intern("TYPE", elan), &intern("ITEM", elan)});
  }
  return *g_sel_item;
}

structure_obj& require_sel_item(const ref& s) {
  if (!host::elan::sel_item_p(s)) type_error(s, "ELAN::SEL_ITEM");
  return static_cast<structure_obj&>(*s);
}

std::vector<weak_entity> g_replaced;  // contents replaced since the last reconnect

// Whether `inner` is `outer` or lies anywhere below it.
bool contains(const entity_ptr& outer, const entity* inner, std::unordered_set<const entity*>& seen) {
  if (outer.get() == inner) return true;
  if (!seen.insert(outer.get()).second) return false;
  for (const auto& child : outer->d.children)
    if (child->d.contents && contains(child->d.contents, inner, seen)) return true;
  return false;
}

// The first contents below `from` (or from itself) that contains itself.
const entity* find_cycle(const entity_ptr& from, std::vector<const entity*>& stack,
                         std::unordered_set<const entity*>& done) {
  if (std::find(stack.begin(), stack.end(), from.get()) != stack.end()) return from.get();
  if (done.count(from.get())) return nullptr;
  stack.push_back(from.get());
  for (const auto& child : from->d.children)
    if (child->d.contents)
      if (const entity* c = find_cycle(child->d.contents, stack, done)) return c;
  stack.pop_back();
  done.insert(from.get());
  return nullptr;
}

[[noreturn]] void cyclic_error(const entity& c) {
  sim::host_command_failed("ELAN", "CYCLIC-STRUCTURE",
                           "The structure of " + c.describe() + " contains itself.");
}

}  // namespace

namespace host::elan {

const struct_type& sel_item_struct() { return sel_item_type_def(); }

ref make_sel_item(const ref& path, std::int64_t type, const ref& item) {
  ref r = make_structure(sel_item_struct());
  auto& s = static_cast<structure_obj&>(*r);
  s.slots[0] = path;
  s.slots[1] = make_integer(type);
  s.slots[2] = item;
  return r;
}

bool sel_item_p(const ref& value) { return typep(value, sel_item_struct()); }
ref sel_item_path(const ref& s) { return require_sel_item(s).slots[0]; }
ref sel_item_type(const ref& s) { return require_sel_item(s).slots[1]; }
ref sel_item_item(const ref& s) { return require_sel_item(s).slots[2]; }

ref convert_parcel(const ref& object) {
  if (sel_item_p(object)) {
    entity_ptr item = entity_of(sel_item_item(object));
    if (item && item->is_instance()) return item->handle();
    ref path = sel_item_path(object);
    return is_nil(path) ? nil() : require_instance(list_to_vector(path).back())->handle();
  }
  entity_ptr e = entity_of(object);
  return e && e->is_instance() ? e->handle() : nil();
}

ref convert_entity(const ref& object) {
  entity_ptr e = entity_of(object);
  return e ? e->handle() : nil();
}

bool substitute_contents(const ref& target, const ref& contents, bool substitute_all, bool set_modified) {
  position p = require_position(target);
  if (p.empty()) simple_error("The root of the session has no contents to substitute.");
  entity_ptr replacement = require_contents(contents);
  entity_ptr old = p.back()->d.contents;
  if (old == replacement) return true;
  std::vector<entity_ptr> changed;
  if (substitute_all) {
    for (const weak_entity& w : old->d.users) {
      entity_ptr u = w.lock();
      if (u && u->d.contents == old) changed.push_back(u);
    }
  } else {
    changed.push_back(p.back());
  }
  for (const auto& u : changed) {
    entity_ptr parent = u->d.parent.lock();
    std::unordered_set<const entity*> seen;
    if (parent && contains(replacement, parent.get(), seen)) {
      sim::set_error_state(
          sim::error_object("ELAN", "CYCLIC-STRUCTURE",
                            "Substituting " + replacement->describe() + " would make it contain itself."));
      return false;
    }
  }
  for (const auto& u : changed) {
    set_contents(u, replacement);
    if (set_modified)
      if (entity_ptr parent = u->d.parent.lock()) parent->d.modified = true;
  }
  g_replaced.push_back(old);
  return true;
}

void delete_3d(const ref& what) {
  session& s = session::current();
  if (is_nil(what)) return;
  if (keywordp(what) && static_cast<symbol&>(*what).name == "ALL_AT_TOP") {
    std::vector<entity_ptr> top = std::move(s.root_contents()->d.children);
    s.root_contents()->d.children.clear();
    for (const auto& e : top) e->d.parent.reset();
    return;
  }
  std::vector<ref> items = consp(what) ? list_to_vector(what) : std::vector<ref>{what};
  for (const ref& item : items) {
    if (!sel_item_p(item) && !entity_of(item)) type_error(item, "ELAN::SEL_ITEM");
    std::optional<position> p = position_of(item);
    if (!p || p->empty() || !position_in_session(*p)) continue;
    remove_child(p->back());
  }
}

bool sfy_is_sfy_prcl(const ref& instance) { return require_instance(instance)->d.simplification; }
void sfy_detach_sfy_att(const ref& instance) { require_instance(instance)->d.simplification = false; }

}  // namespace host::elan

namespace host::elan_ui {
ref get_root_sel_item() { return make_path({}); }
}  // namespace host::elan_ui

namespace host::oli {

ref get_contents(const ref& object) {
  if (host::elan::sel_item_p(object)) {
    entity_ptr item = entity_of(host::elan::sel_item_item(object));
    if (item && item->is_instance()) return item->d.contents ? item->d.contents->handle() : nil();
    return item ? item->handle() : nil();
  }
  entity_ptr e = require_entity(object);
  if (e->is_instance()) return e->d.contents ? e->d.contents->handle() : nil();
  return e->handle();
}

ref get_instance(const ref& sel_item) { return host::elan::convert_parcel(sel_item); }

ref sd_inq_parent_obj(const ref& sel_item) {
  position p = require_position(sel_item);
  if (p.size() <= 1) return nil();
  p.pop_back();
  return make_path(p);
}

ref sd_inq_obj_children(const ref& sel_item) {
  position p = require_position(sel_item);
  entity_ptr c = contents_at(p);
  std::vector<ref> out;
  if (!c) return nil();
  for (const auto& child : c->d.children) {
    p.push_back(child);
    out.push_back(make_path(p));
    p.pop_back();
  }
  return list_from(out);
}

ref sd_inq_obj_pathname(const ref& object) {
  position p = require_position(object);
  if (p.empty()) return make_string("/");
  std::string out;
  for (const auto& e : p) out += "/" + e->d.name.value_or("");
  return make_string(out);
}

ref sd_pathname_to_obj(std::string_view pathname) {
  if (pathname.empty() || pathname.front() != '/') return nil();
  position p;
  entity_ptr at = session::current().root_contents();
  std::string_view rest = pathname.substr(1);
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view name = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (!at) return nil();
    entity_ptr found;
    for (const auto& child : at->d.children)
      if (child->d.name && *child->d.name == name) {
        found = child;
        break;
      }
    if (!found) return nil();
    p.push_back(found);
    at = found->d.contents;
  }
  return make_path(p);
}

bool sd_inq_obj_library_p(const ref& sel_item) {
  entity_ptr c = require_contents(sel_item);
  return c->d.library;
}

bool sd_coord_sys_object_p(const ref& sel_item) {
  entity_ptr e = entity_of(sel_item);
  return e && e->is_instance() && e->d.type_name == "coord_sys";
}

bool sd_inq_inseparable_child_p(const ref& sel_item) {
  position p = require_position(sel_item);
  for (std::size_t i = 0; i + 1 < p.size(); ++i)
    if (p[i]->d.contents && p[i]->d.contents->d.inseparable) return true;
  return false;
}

bool sd_inq_inseparable_p(const ref& sel_item) {
  position p = require_position(sel_item);
  if (!p.empty() && p.back()->d.contents && p.back()->d.contents->d.inseparable) return true;
  return sd_inq_inseparable_child_p(sel_item);
}

bool sd_inq_inseparable_master_p(const ref& sel_item) {
  position p = require_position(sel_item);
  return !p.empty() && p.back()->d.contents && p.back()->d.contents->d.inseparable &&
         !sd_inq_inseparable_child_p(sel_item);
}

void sd_set_inseparable(const ref& sel_item, bool inseparable) {
  entity_ptr c = require_contents(sel_item);
  c->d.inseparable = inseparable;
  c->d.modified = true;
}

bool sd_inq_simplification_owner_p(const ref& sel_item) {
  entity_ptr c = require_contents(sel_item);
  for (const auto& f : c->d.features)
    if (f->d.type_name == "SFY_CTRL_FEAT") return true;
  return false;
}

}  // namespace host::oli

namespace host::frame2 {

bool check_for_cyclic_cluster_structure(const ref& contents) {
  entity_ptr c = require_contents(contents);
  std::vector<const entity*> stack;
  std::unordered_set<const entity*> done;
  if (const entity* cycle = find_cycle(c, stack, done)) cyclic_error(*cycle);
  return true;
}

void finalize_reconnect_after_replace(const ref& contents) {
  entity_ptr c = require_contents(contents);
  for (const weak_entity& replaced : g_replaced) {
    entity_ptr old = replaced.lock();
    if (!old) continue;
    std::vector<weak_entity> users = old->d.users;
    for (const weak_entity& w : users)
      if (entity_ptr u = w.lock(); u && u->d.master == old) set_master(u, c);
  }
  g_replaced.clear();
}

}  // namespace host::frame2

namespace {

using sim::define_host_function;
using sim::flag_value;

ref t_or_nil(bool b) { return boolean(b); }

const builtins_registration model_tree_functions([] {
  sel_item_type_def();
  define_host_function("ELAN-UI", "GET-ROOT-SEL_ITEM", 0, 0,
                       [](args_t) { return host::elan_ui::get_root_sel_item(); });
  define_host_function("OLI", "GET-CONTENTS", 1, 1, [](args_t a) { return host::oli::get_contents(a[0]); });
  define_host_function("OLI", "GET-INSTANCE", 1, 1, [](args_t a) { return host::oli::get_instance(a[0]); });
  define_host_function("OLI", "SD-INQ-PARENT-OBJ", 1, 1,
                       [](args_t a) { return host::oli::sd_inq_parent_obj(a[0]); });
  define_host_function("OLI", "SD-INQ-OBJ-CHILDREN", 1, 1,
                       [](args_t a) { return host::oli::sd_inq_obj_children(a[0]); });
  define_host_function("OLI", "SD-INQ-OBJ-PATHNAME", 1, 1,
                       [](args_t a) { return host::oli::sd_inq_obj_pathname(a[0]); });
  define_host_function("OLI", "SD-PATHNAME-TO-OBJ", 1, 1,
                       [](args_t a) { return host::oli::sd_pathname_to_obj(as_string(a[0])); });
  define_host_function("OLI", "SD-INQ-OBJ-LIBRARY-P", 1, 1,
                       [](args_t a) { return t_or_nil(host::oli::sd_inq_obj_library_p(a[0])); });
  define_host_function("OLI", "SD-COORD-SYS-OBJECT-P", 1, 1,
                       [](args_t a) { return t_or_nil(host::oli::sd_coord_sys_object_p(a[0])); });
  define_host_function("OLI", "SD-INQ-INSEPARABLE-P", 1, 1,
                       [](args_t a) { return t_or_nil(host::oli::sd_inq_inseparable_p(a[0])); });
  define_host_function("OLI", "SD-INQ-INSEPARABLE-CHILD-P", 1, 1,
                       [](args_t a) { return t_or_nil(host::oli::sd_inq_inseparable_child_p(a[0])); });
  define_host_function("OLI", "SD-INQ-INSEPARABLE-MASTER-P", 1, 1,
                       [](args_t a) { return t_or_nil(host::oli::sd_inq_inseparable_master_p(a[0])); });
  // (oli::sd-set-inseparable path &optional (flag t))
  define_host_function("OLI", "SD-SET-INSEPARABLE", 1, 2, [](args_t a) {
    host::oli::sd_set_inseparable(a[0], a.size() < 2 || flag_value(a[1]));
    return t();
  });
  define_host_function("OLI", "SD-INQ-SIMPLIFICATION-OWNER-P", 1, 1,
                       [](args_t a) { return t_or_nil(host::oli::sd_inq_simplification_owner_p(a[0])); });
  define_host_function("ELAN", "CONVERT-PARCEL", 1, 1,
                       [](args_t a) { return host::elan::convert_parcel(a[0]); });
  define_host_function("ELAN", "CONVERT-ENTITY", 1, 1,
                       [](args_t a) { return host::elan::convert_entity(a[0]); });
  define_host_function("ELAN", "SFY-IS-SFY-PRCL", 1, 1,
                       [](args_t a) { return t_or_nil(host::elan::sfy_is_sfy_prcl(a[0])); });
  define_host_function("ELAN", "SFY-DETACH-SFY-ATT", 1, 1, [](args_t a) {
    host::elan::sfy_detach_sfy_att(a[0]);
    return t();
  });
  // (elan::substitute_contents target contents &key substitute-all set_modified context)
  define_host_function("ELAN", "SUBSTITUTE_CONTENTS", 2, any_count, [](args_t a) {
    keyword_args keys("ELAN::SUBSTITUTE_CONTENTS", a, 2, {"SUBSTITUTE-ALL", "SET_MODIFIED", "CONTEXT"});
    return t_or_nil(host::elan::substitute_contents(a[0], a[1], flag_value(keys.get("SUBSTITUTE-ALL")),
                                                    flag_value(keys.get("SET_MODIFIED"))));
  });
  define_host_function("ELAN", "DELETE_3D", 1, 1, [](args_t a) {
    host::elan::delete_3d(a[0]);
    return t();
  });
  define_host_function("FRAME2", "CHECK-FOR-CYCLIC-CLUSTER-STRUCTURE", 1, 1, [](args_t a) {
    return t_or_nil(host::frame2::check_for_cyclic_cluster_structure(a[0]));
  });
  define_host_function("FRAME2", "FINALIZE-RECONNECT-AFTER-REPLACE", 1, 1, [](args_t a) {
    host::frame2::finalize_reconnect_after_replace(a[0]);
    return t();
  });
  package& elan = require_package("ELAN");
  for (auto [name, value] :
       {std::pair{"S_PART", host::elan::s_part}, std::pair{"S_ASSEMBLY", host::elan::s_assembly},
        std::pair{"S_FEATURE", host::elan::s_feature}}) {
    symbol& s = intern(name, elan);
    s.value = make_integer(value);
    s.constant = true;
  }
});

}  // namespace
