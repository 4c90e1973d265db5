#include "analytics/migration_analytics.h"

#include <algorithm>
#include <array>
#include <deque>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "analytics/analytics_file.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/structures.h"

namespace vtm::analytics {

namespace hl = host::lisp;
using records::component_record;
using records::contents_info;
using records::instance_info;

namespace {

// The sysid strings of persisted records; handles never reach the analytics.
std::string text(const records::sysid_value& v) { return v.persisted() ? v.string() : std::string(); }

std::vector<std::string> texts(const records::sysid_list& list) {
  std::vector<std::string> out;
  for (const records::sysid_value& v : list)
    if (v.persisted()) out.push_back(v.string());
  return out;
}

// The models a component belongs to; a top-level instance is its own model.
std::vector<std::string> models_of(const component_record& r) {
  if (const auto* c = std::get_if<contents_info>(&r)) return texts(c->model_sysids);
  return {text(records::component_base(r).sysid)};
}

template <class T>
void push_front(std::vector<T>& list, T value) {
  list.insert(list.begin(), std::move(value));
}

void push_tag(model_status& s, std::string tag) { push_front(s.tags, core::keyword_name{std::move(tag)}); }

// The contents records of key in map.
std::vector<contents_info> lookup(const records::component_records::record_map& map, const std::string& key,
                                  const records::component_records& components) {
  std::vector<contents_info> out;
  auto it = map.find(key);
  if (it == map.end()) return out;
  for (const std::string& sysid : it->second)
    if (std::optional<component_record> r = components.get_component_record_by_sysid(sysid))
      if (auto* c = std::get_if<contents_info>(&*r)) out.push_back(std::move(*c));
  return out;
}

}  // namespace

ami_drawing_status analyze_ami_drawing(const records::ami_drawing_info& dwg_info,
                                       const records::component_records::record_map& layout_map,
                                       const records::component_records::record_map& model_name_map,
                                       const records::component_records& components) {
  ami_drawing_status s;
  s.key = hl::namestring(hl::parse_namestring(dwg_info.filename.string()));
  s.source = dwg_info.sourcepath;
  s.staged = records::ami_drawing_info_file(dwg_info);
  s.name = dwg_info.name;

  std::size_t found = 0;
  std::unordered_set<std::string> seen;
  for (const std::string& sysid : dwg_info.instance_sysids) {
    const std::vector<contents_info> owners = lookup(layout_map, sysid, components);
    resolved_sysid resolved{sysid, {}};
    for (const contents_info& c : owners) {
      resolved.contents_sysids.push_back(text(c.sysid));
      for (std::string& m : texts(c.model_sysids))
        if (seen.insert(m).second) s.model_sysids.push_back(std::move(m));
    }
    if (!owners.empty()) ++found;
    s.resolved_sysids.push_back(std::move(resolved));
  }
  if (s.model_sysids.empty() && dwg_info.name)
    for (const contents_info& c : lookup(model_name_map, *dwg_info.name, components))
      for (std::string& m : texts(c.model_sysids)) s.model_sysids.push_back(std::move(m));

  std::string tag;
  if (s.model_sysids.empty())
    tag = "ORPHAN";
  else if (found == 0)
    tag = "ASSOCIATED-BY-MODEL-NAME";
  else
    tag = found < dwg_info.instance_sysids.size() ? "PARTIALLY-ASSOCIATED" : "FULLY-ASSOCIATED";
  s.tags = {core::keyword_name{tag}};
  return s;
}

ami_drawing_analytics make_ami_drawing_analytics(const records::ami_drawing_records& drawings,
                                                 const records::component_records& components) {
  ami_drawing_analytics c;
  if (drawings.drawings().empty()) return c;
  // Only the drawings' names are looked up.
  std::unordered_set<std::string> names;
  for (const auto& [name, drawing] : drawings.drawings())
    if (drawing.name) names.insert(*drawing.name);
  const auto [layout_map, model_name_map] = components.make_layout_owner_and_model_name_maps(
      [&](const std::string& name) { return names.contains(name); });
  for (const auto& [name, drawing] : drawings.drawings())
    update_ami_drawing_analytics(c, analyze_ami_drawing(drawing, layout_map, model_name_map, components));
  return c;
}

model_analytics make_model_analytics(const records::component_records& components,
                                     const records::change_records& changelog) {
  // Model-name conflicts by model sysid, each model's in the order found. The
  // model-name map of a large run is the size of the statuses, so it is let go
  // before they are made.
  std::unordered_map<std::string, std::vector<model_name_conflict>> conflicts;
  {
    const auto name_map = components.make_model_name_map();
    for (const auto& [name, list] : name_map) {
      if (list.size() < 2) continue;
      std::vector<std::string> models;  // in the order first met
      std::unordered_map<std::string, std::vector<std::string>> groups;
      for (const contents_info& c : lookup(name_map, name, components))
        for (const std::string& m : texts(c.model_sysids)) {
          auto [it, fresh] = groups.try_emplace(m);
          if (fresh) models.push_back(m);
          push_front(it->second, text(c.sysid));
        }
      for (const std::string& m : models)
        if (groups[m].size() >= 2) conflicts[m].push_back(model_name_conflict{name, groups[m]});
    }
  }

  // Model statuses by the top-level instance's sysid, in record order; a
  // deque, so that they are neither held twice while it grows nor once filed.
  std::deque<model_status> statuses;
  std::unordered_map<std::string, std::size_t> by_sysid;
  // (model sysid, contents sysid) of each corrupt contents, in record order:
  // found in the same reading of the records as the models, which may come
  // later in it.
  std::vector<std::pair<std::string, std::string>> corrupt;
  components.for_each_component_record([&](const component_record& r) {
    if (const auto* c = std::get_if<contents_info>(&r)) {
      if (!hl::is_nil(c->check_result.value))
        for (std::string& m : texts(c->model_sysids)) corrupt.emplace_back(std::move(m), text(c->sysid));
      return;
    }
    const instance_info& i = std::get<instance_info>(r);
    model_status s;
    s.key = i.name.value_or("");
    s.source = i.sourcepath;
    s.staged = records::component_info_file(i);
    s.typename_ = i.typename_;
    if (i.typename_ == "nwp") s.tags = {core::keyword_name{"TOP-LEVEL-WP"}};
    by_sysid.emplace(text(i.sysid), statuses.size());
    statuses.push_back(std::move(s));
  });
  auto status_of = [&](const std::string& model) -> model_status* {
    auto it = by_sysid.find(model);
    return it == by_sysid.end() ? nullptr : &statuses[it->second];
  };

  for (const auto& [lost, owner] : components.collect_lost_components(changelog)) {
    if (!lost) continue;
    const std::vector<std::string> owner_models = models_of(owner);
    const std::pair<std::string, std::string> entry{text(records::component_base(owner).sysid),
                                                    text(records::component_base(*lost).sysid)};
    for (const std::string& m : models_of(*lost))
      if (std::find(owner_models.begin(), owner_models.end(), m) != owner_models.end())
        if (model_status* s = status_of(m)) push_front(s->disconnects, entry);
  }

  for (auto& [model, contents] : corrupt)
    if (model_status* s = status_of(model)) push_front(s->corrupt, std::move(contents));
  corrupt = {};

  // The last conflict found comes first.
  for (auto& [m, found] : conflicts)
    if (model_status* s = status_of(m))
      s->model_name_conflicts.assign(std::make_move_iterator(found.rbegin()),
                                     std::make_move_iterator(found.rend()));
  conflicts = {};

  model_analytics collection;
  for (; !statuses.empty(); statuses.pop_front()) {
    model_status& s = statuses.front();
    if (!s.disconnects.empty()) push_tag(s, "DISCONNECTED");
    if (!s.corrupt.empty()) push_tag(s, "CORRUPT");
    if (!s.model_name_conflicts.empty()) push_tag(s, "MODEL-NAME-CONFLICT");
    update_model_analytics(collection, std::move(s));
  }
  return collection;
}

template <class S>
void save_record_analytics(const status_collection<S>& c, std::ostream& outstream) {
  for (const auto& [key, table] : record_analytics_plist(c))
    for (const auto& [k, status] : *table) hl::print(core::to_lisp(status), outstream);
}

template void save_record_analytics(const ami_drawing_analytics&, std::ostream&);
template void save_record_analytics(const model_analytics&, std::ostream&);

namespace {

// The tags the analysis gives; any other tag of a status was given by the
// check-in.
constexpr std::array<std::string_view, 9> analysis_tags = {"TOP-LEVEL-WP",
                                                           "MODEL-NAME-CONFLICT",
                                                           "CORRUPT",
                                                           "DISCONNECTED",
                                                           "SAVE-FAILED",
                                                           "FULLY-ASSOCIATED",
                                                           "PARTIALLY-ASSOCIATED",
                                                           "ORPHAN",
                                                           "ASSOCIATED-BY-MODEL-NAME"};

bool analysis_tag(const core::keyword_name& t) {
  return std::find(analysis_tags.begin(), analysis_tags.end(), t.name) != analysis_tags.end();
}

// The statuses of the collection, each changed by adjust, filed again by
// category in the order of the categories and of each table. Each is moved
// from the collection given, and a table is let go once it is filed: a large
// run's statuses are not held twice.
template <class S, class F>
status_collection<S> refiled(status_collection<S>&& in, F adjust) {
  status_collection<S> out;
  for (category cat : {category::ok, category::warnings, category::errors}) {
    auto& table = in.table(cat);
    for (const auto& [key, filed] : table) {
      S s = std::move(*table.find(key));
      adjust(s);
      if constexpr (std::is_same_v<S, model_status>)
        update_model_analytics(out, std::move(s));
      else
        update_ami_drawing_analytics(out, std::move(s));
    }
    table = {};
  }
  return out;
}

// Puts the check-in's tags of the earlier status of the same object (same
// key, same staged file) in front of the fresh status's tags, and files the
// statuses again by category: a rebuild keeps what stage 2 has done.
template <class S>
status_collection<S> with_checkin_tags(status_collection<S>&& fresh, const status_collection<S>* earlier) {
  if (!earlier) return std::move(fresh);
  return refiled(std::move(fresh), [&](S& s) {
    const S* old = nullptr;
    for (category c : {category::ok, category::warnings, category::errors})
      if (!old) old = earlier->table(c).find(s.key);
    if (old && old->staged == s.staged) {
      std::vector<core::keyword_name> tags;
      for (const core::keyword_name& t : old->tags)
        if (!analysis_tag(t)) tags.push_back(t);
      tags.insert(tags.end(), s.tags.begin(), s.tags.end());
      s.tags = std::move(tags);
    }
  });
}

// The models that could not be saved are errors.
void tag_unsaved_models(model_analytics& models, const std::function<bool(const model_status&)>& unsaved) {
  if (!unsaved) return;
  std::unordered_set<std::string> found;
  for (category cat : {category::ok, category::warnings, category::errors})
    for (const auto& [key, status] : models.table(cat))
      if (unsaved(status)) found.insert(model_status_sysid(status));
  if (found.empty()) return;
  models = refiled(std::move(models), [&](model_status& s) {
    if (found.contains(model_status_sysid(s))) push_tag(s, "SAVE-FAILED");
  });
}

}  // namespace

migration_analytics make_migration_analytics(const std::filesystem::path& dir,
                                             const records::ami_drawing_records& drawings,
                                             const records::component_records& components,
                                             const records::change_records& changelog,
                                             const std::function<bool(const model_status&)>& unsaved) {
  migration_analytics a;
  a.for_models = make_model_analytics(components, changelog);
  tag_unsaved_models(a.for_models, unsaved);
  a.for_drawings = make_ami_drawing_analytics(drawings, components);
  {
    const std::optional<migration_analytics> earlier = load_migration_analytics(dir);
    a.for_models = with_checkin_tags(std::move(a.for_models), earlier ? &earlier->for_models : nullptr);
    a.for_drawings = with_checkin_tags(std::move(a.for_drawings), earlier ? &earlier->for_drawings : nullptr);
  }

  {
    std::unordered_map<std::string, model_status*> by_sysid;
    for (category cat : {category::ok, category::warnings, category::errors}) {
      auto& table = a.for_models.table(cat);
      for (const auto& [key, status] : table) by_sysid[model_status_sysid(status)] = table.find(key);
    }
    for (category cat : {category::ok, category::warnings})
      for (const auto& [key, drawing] : a.for_drawings.table(cat))
        for (const std::string& m : drawing.model_sysids)
          if (auto it = by_sysid.find(m); it != by_sysid.end())
            push_front(it->second->associated_drawings, drawing.staged);
  }

  write_analytics_file(dir, [&](std::ostream& out) {
    save_record_analytics(a.for_drawings, out);
    save_record_analytics(a.for_models, out);
  });
  return a;
}

std::optional<migration_analytics> load_migration_analytics(const std::filesystem::path& dir) {
  migration_analytics a;
  const hl::struct_type& drawing_type = core::lisp_type<ami_drawing_status>();
  const hl::struct_type& model_type = core::lisp_type<model_status>();
  const bool exists = read_analytics_file(dir, [&](const hl::ref& form) {
    if (hl::typep(form, drawing_type))
      update_ami_drawing_analytics(a.for_drawings, core::from_lisp<ami_drawing_status>(form));
    else if (hl::typep(form, model_type))
      update_model_analytics(a.for_models, core::from_lisp<model_status>(form));
  });
  if (!exists) return std::nullopt;
  return a;
}

}  // namespace vtm::analytics
