#include "analytics/migration_analytics.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <span>
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

// What the analytics and the report need of components.lsp, gathered in one
// reading of it. Records are not held: contents are their sysids as the
// components table holds them, with their model sysids interned.
struct component_digest {
  using index = std::unordered_map<std::string, std::vector<std::uint32_t>>;  // -> contents

  struct contents_ref {
    const std::string* sysid = nullptr;
    std::uint32_t first_model = 0, models = 0;  // in model_sysids
  };
  std::vector<contents_ref> contents;
  std::vector<const std::string*> model_sysids;
  std::unordered_set<std::string> interned;

  // Model name -> its contents, most recently added first. The names enter
  // the map in that order too, which decides the order it is walked in.
  index by_name;
  // Layout-owner sysid -> the contents whose layout it owns, most recently
  // added first; only the owners wanted.
  index by_layout_owner;
  // These are in reverse record order: the records are read backwards.
  std::vector<std::uint32_t> corrupt;  // contents with a check result
  std::vector<const std::string*> status_sysids;
  // One per top-level instance, in record order: a deque, so that they are
  // neither held twice while it grows nor once filed.
  std::deque<model_status> statuses;
  std::vector<std::pair<std::string, std::string>> workplanes;  // (source file, workplane)

  std::span<const std::string* const> models_of(std::uint32_t at) const {
    return {model_sysids.data() + contents[at].first_model, contents[at].models};
  }
};

component_digest digest_components(const records::component_records& components,
                                   const std::unordered_set<std::string>& wanted_owners) {
  component_digest d;
  components.for_each_component_record_backwards([&](const std::string& sysid, const component_record& r) {
    const records::component_info& base = records::component_base(r);
    if (base.typename_ == "nwp") {
      const auto* i = std::get_if<instance_info>(&r);
      d.workplanes.emplace_back(i ? i->sourcepath.string() : std::string(),
                                i ? i->name.value_or("") : std::string());
    }
    if (const auto* i = std::get_if<instance_info>(&r)) {
      model_status s;
      s.key = i->name.value_or("");
      s.source = i->sourcepath;
      s.staged = records::component_info_file(*i);
      s.typename_ = i->typename_;
      if (i->typename_ == "nwp") s.tags = {core::keyword_name{"TOP-LEVEL-WP"}};
      d.statuses.push_front(std::move(s));
      d.status_sysids.push_back(&sysid);
      return;
    }
    const contents_info& c = std::get<contents_info>(r);
    std::optional<std::uint32_t> at;
    const auto entered = [&] {
      if (at) return *at;
      component_digest::contents_ref ref{&sysid, std::uint32_t(d.model_sysids.size()), 0};
      for (const records::sysid_value& m : c.model_sysids)
        if (m.persisted()) {
          d.model_sysids.push_back(&*d.interned.insert(m.string()).first);
          ++ref.models;
        }
      at = std::uint32_t(d.contents.size());
      d.contents.push_back(ref);
      return *at;
    };
    if (std::optional<std::string> name = records::contents_info_model_name(c))
      d.by_name[*name].push_back(entered());
    if (!wanted_owners.empty())
      for (const records::sysid_value& owner : c.layout_owner_sysids)
        if (owner.persisted() && wanted_owners.contains(owner.string()))
          d.by_layout_owner[owner.string()].push_back(entered());
    if (!hl::is_nil(c.check_result.value)) d.corrupt.push_back(entered());
  });
  return d;
}

const std::vector<std::uint32_t>& lookup(const component_digest::index& index, const std::string& key) {
  static const std::vector<std::uint32_t> none;
  const auto it = index.find(key);
  return it == index.end() ? none : it->second;
}

ami_drawing_status analyze_ami_drawing(const records::ami_drawing_info& dwg_info, const component_digest& d) {
  ami_drawing_status s;
  s.key = hl::namestring(hl::parse_namestring(dwg_info.filename.string()));
  s.source = dwg_info.sourcepath;
  s.staged = records::ami_drawing_info_file(dwg_info);
  s.name = dwg_info.name;

  std::size_t found = 0;
  std::unordered_set<std::string> seen;
  for (const std::string& sysid : dwg_info.instance_sysids) {
    const std::vector<std::uint32_t>& owners = lookup(d.by_layout_owner, sysid);
    resolved_sysid resolved{sysid, {}};
    for (std::uint32_t c : owners) {
      resolved.contents_sysids.push_back(*d.contents[c].sysid);
      for (const std::string* m : d.models_of(c))
        if (seen.insert(*m).second) s.model_sysids.push_back(*m);
    }
    if (!owners.empty()) ++found;
    s.resolved_sysids.push_back(std::move(resolved));
  }
  if (s.model_sysids.empty() && dwg_info.name)
    for (std::uint32_t c : lookup(d.by_name, *dwg_info.name))
      for (const std::string* m : d.models_of(c)) s.model_sysids.push_back(*m);

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
                                                 const component_digest& d) {
  ami_drawing_analytics c;
  for (const auto& [name, drawing] : drawings.drawings())
    update_ami_drawing_analytics(c, analyze_ami_drawing(drawing, d));
  return c;
}

// Model-name conflicts by model sysid, each model's in the order found.
std::unordered_map<std::string, std::vector<model_name_conflict>> model_name_conflicts(
    const component_digest& d) {
  std::unordered_map<std::string, std::vector<model_name_conflict>> conflicts;
  for (const auto& [name, list] : d.by_name) {
    if (list.size() < 2) continue;
    std::vector<std::string> models;  // in the order first met
    std::unordered_map<std::string, std::vector<std::string>> groups;
    for (std::uint32_t c : list)
      for (const std::string* m : d.models_of(c)) {
        auto [it, fresh] = groups.try_emplace(*m);
        if (fresh) models.push_back(*m);
        push_front(it->second, *d.contents[c].sysid);
      }
    for (const std::string& m : models)
      if (groups[m].size() >= 2) conflicts[m].push_back(model_name_conflict{name, groups[m]});
  }
  return conflicts;
}

// The statuses of the digest, moved from it.
model_analytics make_model_analytics(
    component_digest& d, const records::component_records& components,
    const records::change_records& changelog,
    std::unordered_map<std::string, std::vector<model_name_conflict>> conflicts) {
  std::reverse(d.status_sysids.begin(), d.status_sysids.end());
  std::unordered_map<std::string_view, std::size_t> by_sysid;
  for (std::size_t i = 0; i < d.status_sysids.size(); ++i) by_sysid.emplace(*d.status_sysids[i], i);
  auto status_of = [&](const std::string& model) -> model_status* {
    auto it = by_sysid.find(model);
    return it == by_sysid.end() ? nullptr : &d.statuses[it->second];
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

  for (auto c = d.corrupt.rbegin(); c != d.corrupt.rend(); ++c)
    for (const std::string* m : d.models_of(*c))
      if (model_status* s = status_of(*m)) push_front(s->corrupt, *d.contents[*c].sysid);

  // The last conflict found comes first.
  for (auto& [m, found] : conflicts)
    if (model_status* s = status_of(m))
      s->model_name_conflicts.assign(std::make_move_iterator(found.rbegin()),
                                     std::make_move_iterator(found.rend()));
  conflicts = {};

  by_sysid = {};
  d.status_sysids = {};

  model_analytics collection;
  for (; !d.statuses.empty(); d.statuses.pop_front()) {
    model_status& s = d.statuses.front();
    if (!s.disconnects.empty()) push_tag(s, "DISCONNECTED");
    if (!s.corrupt.empty()) push_tag(s, "CORRUPT");
    if (!s.model_name_conflicts.empty()) push_tag(s, "MODEL-NAME-CONFLICT");
    update_model_analytics(collection, std::move(s));
  }
  return collection;
}

}  // namespace

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
  {
    // Only the drawings' layout owners are looked up.
    std::unordered_set<std::string> owners;
    for (const auto& [name, drawing] : drawings.drawings())
      owners.insert(drawing.instance_sysids.begin(), drawing.instance_sysids.end());
    component_digest d = digest_components(components, owners);
    owners = {};
    a.top_level_workplanes.assign(std::make_move_iterator(d.workplanes.rbegin()),
                                  std::make_move_iterator(d.workplanes.rend()));
    d.workplanes = {};
    auto conflicts = model_name_conflicts(d);
    a.for_drawings = make_ami_drawing_analytics(drawings, d);
    d.by_name = {};
    d.by_layout_owner = {};
    a.for_models = make_model_analytics(d, components, changelog, std::move(conflicts));
  }
  tag_unsaved_models(a.for_models, unsaved);
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
