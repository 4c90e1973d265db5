// Features owned by instances and contents, and thin universal features
// whose members follow model edits.
#include "host/features.h"

#include <unordered_set>

#include "host/lisp/errors.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/lisp_def.h"
#include "session/model.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using namespace sim::session;

constexpr std::string_view universal_feature_name = "THIN_UNIVERSAL_FEATURE";

entity_ptr require_feature(const ref& value) {
  entity_ptr f = entity_of(value);
  if (!f || !f->is_feature()) type_error(value, "a feature (DSM::ENTITY)");
  return f;
}

// The owner of a component's features: an entity itself, or a model path's contents.
entity_ptr feature_owner(const ref& component) {
  entity_ptr e = require_entity(component);
  if (host::elan::sel_item_p(component) && e->is_instance() && e->d.contents) return e->d.contents;
  return e;
}

// The member paths of a universal feature that are still where they were added.
std::vector<ref> live_members(const entity& f) {
  std::vector<ref> out;
  for (const feature_member& m : f.d.members) {
    entity_ptr member = m.member.lock();
    position p;
    bool alive = member != nullptr;
    for (const weak_entity& w : m.context) {
      entity_ptr e = w.lock();
      alive = alive && e;
      if (e) p.push_back(std::move(e));
    }
    if (!alive || p.empty() || !position_in_session(p)) continue;
    if (p.back() != member && p.back()->d.contents != member) continue;
    out.push_back(make_path(p));
  }
  return out;
}

// A thin universal feature goes with its last member: one that had members
// and has none left is no longer found.
bool feature_alive(const entity& f) { return f.d.members.empty() || !live_members(f).empty(); }

void collect_universal(const entity_ptr& e, std::vector<ref>& out, std::unordered_set<const entity*>& seen) {
  if (!e || !seen.insert(e.get()).second) return;
  for (const auto& f : e->d.features)
    if (f->d.universal && feature_alive(*f)) out.push_back(f->handle());
  if (e->is_instance()) collect_universal(e->d.contents, out, seen);
  for (const auto& child : e->d.children) collect_universal(child, out, seen);
}

}  // namespace

namespace host::elan {

ref search_features_by_component(const ref& component) {
  std::vector<ref> out;
  for (const auto& f : feature_owner(component)->d.features) out.push_back(f->handle());
  return list_from(out);
}

void add_thin_universal_feature_entities(const ref& feature, const ref& entities, const ref& context) {
  entity_ptr f = require_feature(feature);
  std::vector<weak_entity> path;
  for (const ref& element : list_to_vector(context)) path.push_back(require_instance(element));
  for (const ref& member : list_to_vector(entities)) f->d.members.push_back({require_entity(member), path});
}

ref get_feature_sel_items(const ref& feature_sel_item, bool) {
  return list_from(live_members(*require_feature(feature_sel_item)));
}

}  // namespace host::elan

namespace host::k2 {

ref make_thin_universal_feature_instance(const ref& owner, const ref& properties) {
  entity_ptr o = require_entity(owner);
  entity_ptr f = make_feature(std::string(universal_feature_name));
  f->d.universal = true;
  f->d.properties = properties;
  f->d.owner = o;
  o->d.features.push_back(f);
  return f->handle();
}

ref search_universal_feature(const ref& instance) {
  std::vector<ref> out;
  std::unordered_set<const entity*> seen;
  collect_universal(require_entity(instance), out, seen);
  return list_from(out);
}

ref universal_feature_properties(const ref& feature) { return require_feature(feature)->d.properties; }

}  // namespace host::k2

namespace host::dsm {

void destroy(const ref& feature) {
  entity_ptr f = require_feature(feature);
  if (entity_ptr owner = f->d.owner.lock()) std::erase(owner->d.features, f);
  f->d.owner.reset();
}

}  // namespace host::dsm

namespace {

using sim::define_host_function;

const builtins_registration feature_functions([] {
  // (elan::search-features-by-component :component c)
  define_host_function("ELAN", "SEARCH-FEATURES-BY-COMPONENT", 2, 2, [](args_t a) {
    keyword_args keys("ELAN::SEARCH-FEATURES-BY-COMPONENT", a, 0, {"COMPONENT"});
    return host::elan::search_features_by_component(keys.get("COMPONENT"));
  });
  define_host_function("ELAN", "ADD-THIN-UNIVERSAL-FEATURE-ENTITIES", 3, 3, [](args_t a) {
    host::elan::add_thin_universal_feature_entities(a[0], a[1], a[2]);
    return t();
  });
  // (elan::get-feature-sel-items :feat-sel-item path :top-level t)
  define_host_function("ELAN", "GET-FEATURE-SEL-ITEMS", 2, 4, [](args_t a) {
    keyword_args keys("ELAN::GET-FEATURE-SEL-ITEMS", a, 0, {"FEAT-SEL-ITEM", "TOP-LEVEL"});
    return host::elan::get_feature_sel_items(keys.get("FEAT-SEL-ITEM"), truthy(keys.get("TOP-LEVEL")));
  });
  // (k2::make-thin-universal-feature-instance owner &rest properties)
  define_host_function("K2", "MAKE-THIN-UNIVERSAL-FEATURE-INSTANCE", 1, any_count, [](args_t a) {
    if (a.size() % 2 == 0) simple_error("K2::MAKE-THIN-UNIVERSAL-FEATURE-INSTANCE: odd property list.");
    std::vector<ref> properties(a.begin() + 1, a.end());
    return host::k2::make_thin_universal_feature_instance(a[0], list_from(properties));
  });
  define_host_function("K2", "SEARCH-UNIVERSAL-FEATURE", 1, 1,
                       [](args_t a) { return host::k2::search_universal_feature(a[0]); });
  define_host_function("K2", "UNIVERSAL-FEATURE-PROPERTIES", 1, 1,
                       [](args_t a) { return host::k2::universal_feature_properties(a[0]); });
  define_host_function("DSM", "DESTROY", 1, 1, [](args_t a) {
    host::dsm::destroy(a[0]);
    return t();
  });
});

}  // namespace
