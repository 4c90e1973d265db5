#include "session/model.h"

#include <unordered_map>
#include <unordered_set>

#include "host/lisp/errors.h"
#include "host/model_tree.h"
#include "host/native.h"

namespace sim::session {

using namespace host::lisp;

// The Lisp handle of an entity. It keeps the entity alive; the entity keeps
// only a plain pointer back, cleared here, so that there is no cycle.
struct entity_handle : handle_obj {
  entity_handle(entity* e, std::shared_ptr<void> target)
      : handle_obj(entity_struct_def.kind, std::move(target)), owner(e) {}
  ~entity_handle() override { owner->handle_ = nullptr; }
  entity* owner;
};

struct session::registry {
  std::unordered_set<entity*> alive;
  std::unordered_multimap<std::string, entity*> by_sysid;
  std::unordered_set<entity*> dirty;  // ids changed behind the index's back
};

entity::entity(entity_kind kind, std::string type_name) : kind_(kind) { d.type_name = std::move(type_name); }

entity::~entity() { session::current().forget(this); }

ref entity::handle() {
  if (handle_) return ref(handle_);
  std::shared_ptr<SIMPLE_ENTITY> self = shared_from_this();
  auto* h = new entity_handle(this, std::static_pointer_cast<void>(self));
  handle_ = h;
  return ref(h);
}

void entity::set_sysid(std::string_view sysid) {
  ENTITYID id(0, 0);
  ENTITYID::create_sysid(&id, widen(sysid).c_str());
  restore_id(id);
}

void entity::restore_id(const ENTITYID& id) {
  stored_id() = id;
  session::current().mark_sysid_changed(this);
}

// SET-ENTITY-SYSID announces the id change before it writes the id, so the
// session re-reads the id when it next needs it; the entity counts as modified.
void entity::log_change(int kind) {
  SIMPLE_ENTITY::log_change(kind);
  d.modified = true;
  if (kind == 1) session::current().mark_sysid_changed(this);
}

std::string entity::describe() const {
  std::string out = d.type_name;
  if (d.name) out += " \"" + *d.name + "\"";
  out += " (sysid " + sysid() + ")";
  return out;
}

namespace {

entity_ptr enlisted(entity_ptr e, std::string_view sysid) {
  session& s = session::current();
  s.enlist(e.get());
  e->set_sysid(sysid.empty() ? s.fresh_sysid() : std::string(sysid));
  return e;
}

}  // namespace

entity_ptr make_instance(std::string type_name, std::string name, std::string_view sysid) {
  auto e = std::make_shared<entity>(entity_kind::instance, std::move(type_name));
  e->d.name = std::move(name);
  return enlisted(std::move(e), sysid);
}

entity_ptr make_contents(std::string type_name, std::string_view sysid) {
  auto e = std::make_shared<entity>(entity_kind::contents, std::move(type_name));
  e->d.real = standard_contents_type(e->d.type_name);
  return enlisted(std::move(e), sysid);
}

entity_ptr make_feature(std::string name) {
  return enlisted(std::make_shared<entity>(entity_kind::feature, std::move(name)), "");
}

entity_ptr entity_of(const ref& value) {
  ref v = value;
  if (host::elan::sel_item_p(v)) v = host::elan::sel_item_item(v);
  if (v->type != tag::handle) return nullptr;
  auto& h = static_cast<handle_obj&>(*v);
  if (h.kind != entity_struct_def.kind) return nullptr;
  auto* e = dynamic_cast<entity*>(static_cast<SIMPLE_ENTITY*>(h.target.get()));
  return e ? e->shared_from_this() : nullptr;
}

entity_ptr require_entity(const ref& value) {
  entity_ptr e = entity_of(value);
  if (!e) type_error(value, "DSM::ENTITY");
  return e;
}

entity_ptr require_instance(const ref& value) {
  entity_ptr e = entity_of(value);
  if (!e || !e->is_instance()) type_error(value, "ELAN::NPARCEL");
  return e;
}

entity_ptr require_contents(const ref& value) {
  entity_ptr e = entity_of(value);
  if (e && e->is_instance()) e = e->d.contents;
  if (!e || !e->is_contents()) type_error(value, "a contents (DSM::ENTITY)");
  return e;
}

void set_contents(const entity_ptr& instance, const entity_ptr& contents) {
  if (const entity_ptr& old = instance->d.contents) {
    // A layout may show its own contents as master: keep it as a user then.
    if (old != instance->d.master)
      std::erase_if(old->d.users, [&](const weak_entity& u) { return u.expired() || u.lock() == instance; });
  }
  instance->d.contents = contents;
  if (contents) contents->d.users.push_back(instance);
}

void set_master(const entity_ptr& layout, const entity_ptr& master) {
  if (const entity_ptr& old = layout->d.master; old && old != layout->d.contents) {
    std::erase_if(old->d.users, [&](const weak_entity& u) { return u.expired() || u.lock() == layout; });
  }
  layout->d.master = master;
  if (master) master->d.users.push_back(layout);
}

void add_child(const entity_ptr& contents, const entity_ptr& instance) {
  contents->d.children.push_back(instance);
  instance->d.parent = contents;
}

void remove_child(const entity_ptr& instance) {
  if (entity_ptr parent = instance->d.parent.lock()) std::erase(parent->d.children, instance);
  instance->d.parent.reset();
}

session& session::current() {
  // Never destroyed: entities that outlive static destruction still unlist.
  static session* s = new session();
  return *s;
}

session::session() : registry_(std::make_unique<registry>()) {
  auto contents = std::make_shared<entity>(entity_kind::contents, "root_struct");
  root_ = std::make_shared<entity>(entity_kind::instance, "root");
  for (entity* e : {contents.get(), root_.get()}) {
    enlist(e);
    ENTITYID id(0, 0);
    ENTITYID::create_sysid(&id, widen(fresh_sysid()).c_str());
    e->stored_id() = id;
    index(e);
  }
  root_->d.name = "";
  set_contents(root_, contents);
}

void session::enlist(entity* e) { registry_->alive.insert(e); }

void session::forget(entity* e) {
  registry& r = *registry_;
  if (!r.alive.erase(e)) return;
  r.dirty.erase(e);
  auto [b, end] = r.by_sysid.equal_range(e->indexed_sysid_);
  for (auto it = b; it != end; ++it)
    if (it->second == e) {
      r.by_sysid.erase(it);
      break;
    }
}

void session::mark_sysid_changed(entity* e) {
  if (registry_->alive.count(e)) registry_->dirty.insert(e);
}

void session::index(entity* e) {
  registry& r = *registry_;
  std::string now = e->sysid();
  if (now == e->indexed_sysid_ && !now.empty()) {
    auto [b, end] = r.by_sysid.equal_range(now);
    for (auto it = b; it != end; ++it)
      if (it->second == e) return;
  }
  auto [b, end] = r.by_sysid.equal_range(e->indexed_sysid_);
  for (auto it = b; it != end; ++it)
    if (it->second == e) {
      r.by_sysid.erase(it);
      break;
    }
  e->indexed_sysid_ = now;
  r.by_sysid.emplace(now, e);
}

void session::reindex() {
  registry& r = *registry_;
  for (entity* e : r.dirty) index(e);
  r.dirty.clear();
}

namespace {

bool reachable_from_root(const entity& e, const entity* root, std::unordered_set<const entity*>& seen) {
  if (&e == root) return true;
  if (!seen.insert(&e).second) return false;
  switch (e.kind()) {
    case entity_kind::instance: {
      entity_ptr parent = e.d.parent.lock();
      return parent && reachable_from_root(*parent, root, seen);
    }
    case entity_kind::contents:
      for (const weak_entity& w : e.d.users) {
        entity_ptr u = w.lock();
        // A layout shows its master: the master is in session with it.
        if (u && (u->d.contents.get() == &e || u->d.master.get() == &e) &&
            reachable_from_root(*u, root, seen))
          return true;
      }
      return false;
    case entity_kind::feature: {
      entity_ptr owner = e.d.owner.lock();
      if (!owner) return false;
      bool owned = false;
      for (const entity_ptr& f : owner->d.features) owned = owned || f.get() == &e;
      return owned && reachable_from_root(*owner, root, seen);
    }
  }
  return false;
}

}  // namespace

bool session::in_session(const entity& e) const {
  std::unordered_set<const entity*> seen;
  return reachable_from_root(e, root_.get(), seen);
}

std::vector<entity_ptr> session::find_by_sysid(const std::string& sysid) {
  reindex();
  std::vector<entity_ptr> out;
  auto [b, end] = registry_->by_sysid.equal_range(sysid);
  for (auto it = b; it != end; ++it)
    if (in_session(*it->second)) out.push_back(it->second->shared_from_this());
  return out;
}

bool session::sysid_taken(const std::string& sysid) {
  reindex();
  return registry_->by_sysid.count(sysid) != 0;
}

std::vector<entity_ptr> session::reachable() const {
  std::vector<entity_ptr> out;
  std::unordered_set<const entity*> seen;
  std::vector<entity_ptr> work{root_};
  while (!work.empty()) {
    entity_ptr e = std::move(work.back());
    work.pop_back();
    if (!e || !seen.insert(e.get()).second) continue;
    out.push_back(e);
    for (const auto& f : e->d.features) work.push_back(f);
    work.push_back(e->d.contents);
    work.push_back(e->d.master);
    for (const auto& c : e->d.children) work.push_back(c);
  }
  return out;
}

std::vector<entity_ptr> session::alive() const {
  std::vector<entity_ptr> out;
  for (entity* e : registry_->alive) {
    // Entities being destroyed are still listed until their destructor runs.
    if (entity_ptr p = e->weak_from_this().lock()) out.push_back(std::move(p));
  }
  return out;
}

void session::add_top_level(const std::vector<entity_ptr>& instances) {
  sibling_names names(top_level());
  for (const entity_ptr& instance : instances) {
    instance->d.name = names.claim(instance->d.name.value_or(""));
    add_child(root_contents(), instance);
  }
}

sibling_names::sibling_names(const std::vector<entity_ptr>& siblings) {
  for (const auto& s : siblings)
    if (s->d.name) taken_.insert(*s->d.name);
}

std::string sibling_names::claim(const std::string& name) {
  std::string candidate = name;
  if (taken_.count(candidate)) {
    int& suffix = next_suffix_.try_emplace(name, 2).first->second;
    do candidate = name + "_" + std::to_string(suffix++);
    while (taken_.count(candidate));
  }
  taken_.insert(candidate);
  return candidate;
}

bool sibling_has_name(const std::vector<entity_ptr>& siblings, std::string_view name, const entity* except) {
  for (const auto& s : siblings)
    if (s.get() != except && s->d.name && *s->d.name == name) return true;
  return false;
}

}  // namespace sim::session
