#include "analytics/migration_analytics.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "analytics/analytics_file.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/structures.h"
#include "records/record_text.h"

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
// reading of it. Records are not held, and a contents is its position in
// the components table: what is kept for each of a large run's records is a
// few bytes beside the model name map.
struct component_digest {
  // The contents of one model name, most recently added first: the first
  // one, then the others from a chain in more (newest link first).
  struct name_list {
    std::uint32_t first;
    std::uint32_t more = none;  // the newest link, or none
  };
  static constexpr std::uint32_t none = UINT32_MAX;
  // Model name -> its contents. The names enter the map in the order the
  // records are read, which decides the order the map is walked in.
  std::unordered_map<std::string, name_list> by_name;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> more;  // (contents, next link)

  // Layout-owner sysid -> the contents whose layout it owns, most recently
  // added first; only the owners asked for.
  std::unordered_map<std::string, std::vector<std::uint32_t>> by_layout_owner;
  // The model sysids of the contents the drawings may need: those under
  // the layout owners or the model names asked for.
  std::unordered_map<std::uint32_t, std::vector<std::string>> models;

  // These are in reverse record order: the records are read backwards.
  std::vector<std::pair<std::uint32_t, std::vector<std::string>>> corrupt;  // (contents, its models)
  std::vector<std::uint32_t> instances;
  std::vector<std::pair<std::string, std::string>> workplanes;  // (source file, workplane)

  std::vector<std::uint32_t> contents_named(const name_list& list) const {
    std::vector<std::uint32_t> out{list.first};
    for (std::uint32_t link = list.more; link != none; link = more[link].second)
      out.push_back(more[link].first);
    std::reverse(out.begin() + 1, out.end());
    return out;
  }
};

// What the digest takes of a record.
struct digest_fields {
  bool instance = false;
  std::optional<std::string> workplane_source, workplane_name;  // of a component of type nwp
  std::optional<std::string> model_name;
  std::vector<std::string> model_sysids, layout_owners;  // the persisted ones
  bool corrupt = false;                                  // a check result other than NIL
};

digest_fields fields_of(const component_record& r) {
  digest_fields f;
  if (records::component_base(r).typename_ == "nwp") {
    const auto* i = std::get_if<instance_info>(&r);
    f.workplane_source = i ? i->sourcepath.string() : std::string();
    f.workplane_name = i ? i->name.value_or("") : std::string();
  }
  const auto* c = std::get_if<contents_info>(&r);
  f.instance = !c;
  if (!c) return f;
  f.model_name = records::contents_info_model_name(*c);
  f.model_sysids = texts(c->model_sysids);
  f.layout_owners = texts(c->layout_owner_sysids);
  f.corrupt = !hl::is_nil(c->check_result.value);
  return f;
}

// A slot's value passed over.
bool skip_value(records::record_text& t) {
  std::string path;
  std::string_view datum;
  return t.pathname(path) || t.datum(datum);
}

// A slot holding NIL or a string.
bool optional_string(records::record_text& t, std::optional<std::string>& out) {
  out.reset();
  if (t.nil()) return true;
  return t.string(out.emplace());
}

// A slot holding a list of sysids: the strings, without the NILs.
bool sysid_strings(records::record_text& t, std::vector<std::string>& out) {
  out.clear();
  if (t.nil()) return true;
  if (!t.open_list()) return false;
  while (!t.close_list()) {
    if (t.nil()) continue;
    if (!t.string(out.emplace_back())) return false;
  }
  return true;
}

// The fields of a record read from its text without decoding the slots the
// digest does not need: the plain form the records are printed in, slot by
// slot. False for anything else, and for a component of type nwp (whose
// other slots the report shows); the record is then decoded whole.
bool read_fields(std::string_view text, digest_fields& f) {
  records::record_text t(text, 0);
  const auto slot = [&](std::string_view name) { return t.keyword(name); };
  const auto skipped = [&](std::string_view name) { return slot(name) && skip_value(t); };
  std::optional<std::string> type;
  const auto typed = [&] {
    return skipped("SYSID") && slot("TYPENAME") && optional_string(t, type) && type != "nwp";
  };
  f = {};
  if (t.open_structure("INSTANCE-INFO")) {
    f.instance = true;
    return typed();
  }
  t.rewind(0);
  if (!t.open_structure("CONTENTS-INFO") || !typed() || !skipped("FILENAME") || !skipped("CHILD-SYSIDS") ||
      !skipped("TAGS") || !slot("METAKEY"))
    return false;
  if (!t.nil()) {
    if (!t.open_structure("CLUSTER-METAKEY") || !slot("MODEL-NAME") || !optional_string(t, f.model_name))
      return false;
    for (std::string_view name; !t.close_list();)
      if (!t.any_keyword(name) || !skip_value(t)) return false;
  }
  if (!skipped("SHARES") || !slot("MODEL-SYSIDS") || !sysid_strings(t, f.model_sysids) ||
      !skipped("PARENT-SYSIDS") || !slot("LAYOUT-OWNER-SYSIDS") || !sysid_strings(t, f.layout_owners) ||
      !slot("CHECK-RESULT"))
    return false;
  f.corrupt = !t.nil();
  if (f.corrupt && !skip_value(t)) return false;
  return skipped("DB-GREF") && t.close_list();
}

component_digest digest_components(const records::component_records& components,
                                   const std::unordered_set<std::string>& wanted_owners,
                                   const std::unordered_set<std::string>& wanted_names) {
  component_digest d;
  digest_fields f;
  components.for_each_record_text_backwards([&](std::size_t position, std::string_view text) {
    if (!read_fields(text, f)) {
      const std::optional<component_record> r =
          components.get_component_record_by_sysid(components.sysid_at(position));
      if (!r) return;
      f = fields_of(*r);
    }
    const auto at = std::uint32_t(position);
    if (f.workplane_source)
      d.workplanes.emplace_back(std::move(*f.workplane_source), std::move(*f.workplane_name));
    if (f.instance) {
      d.instances.push_back(at);
      return;
    }
    bool wanted = false;
    if (f.model_name) {
      wanted = wanted_names.contains(*f.model_name);
      auto [it, fresh] = d.by_name.try_emplace(std::move(*f.model_name), component_digest::name_list{at});
      if (!fresh) {
        d.more.emplace_back(at, it->second.more);
        it->second.more = std::uint32_t(d.more.size() - 1);
      }
    }
    if (!wanted_owners.empty())
      for (const std::string& owner : f.layout_owners)
        if (wanted_owners.contains(owner)) {
          d.by_layout_owner[owner].push_back(at);
          wanted = true;
        }
    if (wanted) d.models.try_emplace(at, f.model_sysids);
    if (f.corrupt) d.corrupt.emplace_back(at, f.model_sysids);
  });
  return d;
}

ami_drawing_status analyze_ami_drawing(const records::ami_drawing_info& dwg_info, const component_digest& d,
                                       const records::component_records& components) {
  ami_drawing_status s;
  s.key = hl::namestring(hl::parse_namestring(dwg_info.filename.string()));
  s.source = dwg_info.sourcepath;
  s.staged = records::ami_drawing_info_file(dwg_info);
  s.name = dwg_info.name;

  std::size_t found = 0;
  std::unordered_set<std::string> seen;
  for (const std::string& sysid : dwg_info.instance_sysids) {
    const auto owners = d.by_layout_owner.find(sysid);
    resolved_sysid resolved{sysid, {}};
    if (owners != d.by_layout_owner.end()) {
      for (std::uint32_t c : owners->second) {
        resolved.contents_sysids.push_back(components.sysid_at(c));
        for (const std::string& m : d.models.at(c))
          if (seen.insert(m).second) s.model_sysids.push_back(m);
      }
      ++found;
    }
    s.resolved_sysids.push_back(std::move(resolved));
  }
  if (s.model_sysids.empty() && dwg_info.name)
    if (const auto named = d.by_name.find(*dwg_info.name); named != d.by_name.end())
      for (std::uint32_t c : d.contents_named(named->second))
        s.model_sysids.insert(s.model_sysids.end(), d.models.at(c).begin(), d.models.at(c).end());

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
                                                 const component_digest& d,
                                                 const records::component_records& components) {
  ami_drawing_analytics c;
  for (const auto& [name, drawing] : drawings.drawings())
    update_ami_drawing_analytics(c, analyze_ami_drawing(drawing, d, components));
  return c;
}

using conflict_map = std::unordered_map<std::string, std::vector<model_name_conflict>>;

// Model-name conflicts by model sysid, each model's in the order found: the
// contents of the names several carry are read again, together.
conflict_map model_name_conflicts(const component_digest& d, const records::component_records& components) {
  std::vector<const std::string*> names;  // in the order the map is walked
  std::vector<std::uint32_t> contents;    // theirs, one name's after the other's
  std::vector<std::size_t> ends;          // of each name's in contents
  for (const auto& [name, list] : d.by_name) {
    if (list.more == component_digest::none) continue;
    names.push_back(&name);
    for (std::uint32_t c : d.contents_named(list)) contents.push_back(c);
    ends.push_back(contents.size());
  }

  conflict_map conflicts;
  std::size_t at = 0, name = 0;
  std::vector<std::string> models;  // of the name, in the order first met
  std::unordered_map<std::string, std::vector<std::string>> groups;
  components.for_each_component_record_at(contents, [&](const component_record& r) {
    if (const auto* c = std::get_if<contents_info>(&r))
      for (const std::string& m : texts(c->model_sysids)) {
        auto [it, fresh] = groups.try_emplace(m);
        if (fresh) models.push_back(m);
        push_front(it->second, components.sysid_at(contents[at]));
      }
    if (++at < ends[name]) return;
    for (const std::string& m : models)
      if (groups[m].size() >= 2) conflicts[m].push_back(model_name_conflict{*names[name], groups[m]});
    models.clear();
    groups.clear();
    ++name;
  });
  return conflicts;
}

// The model statuses, from the top-level instances read again.
model_analytics make_model_analytics(const component_digest& d, const records::component_records& components,
                                     const records::change_records& changelog, conflict_map conflicts) {
  // What each model is told, by model sysid, before its status is made: the
  // statuses are filed as they are made, never held a second time.
  std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> disconnects;
  for (const auto& [lost, owner] : components.collect_lost_components(changelog)) {
    if (!lost) continue;
    const std::vector<std::string> owner_models = models_of(owner);
    const std::pair<std::string, std::string> entry{text(records::component_base(owner).sysid),
                                                    text(records::component_base(*lost).sysid)};
    for (const std::string& m : models_of(*lost))
      if (std::find(owner_models.begin(), owner_models.end(), m) != owner_models.end())
        push_front(disconnects[m], entry);
  }
  std::unordered_map<std::string, std::vector<std::string>> corrupt;
  for (auto c = d.corrupt.rbegin(); c != d.corrupt.rend(); ++c)
    for (const std::string& m : c->second) push_front(corrupt[m], components.sysid_at(c->first));

  model_analytics collection;
  const std::vector<std::uint32_t> instances(d.instances.rbegin(), d.instances.rend());  // in record order
  std::size_t next = 0;
  components.for_each_component_record_at(instances, [&](const component_record& r) {
    const std::string& sysid = components.sysid_at(instances[next++]);
    const instance_info& i = std::get<instance_info>(r);
    model_status s;
    s.key = i.name.value_or("");
    s.source = i.sourcepath;
    s.staged = records::component_info_file(i);
    s.typename_ = i.typename_;
    if (i.typename_ == "nwp") s.tags = {core::keyword_name{"TOP-LEVEL-WP"}};
    if (auto it = disconnects.find(sysid); it != disconnects.end()) {
      s.disconnects = std::move(it->second);
      disconnects.erase(it);  // a sysid's status is made once
    }
    if (auto it = corrupt.find(sysid); it != corrupt.end()) {
      s.corrupt = std::move(it->second);
      corrupt.erase(it);
    }
    // The last conflict found comes first.
    if (auto it = conflicts.find(sysid); it != conflicts.end()) {
      s.model_name_conflicts.assign(std::make_move_iterator(it->second.rbegin()),
                                    std::make_move_iterator(it->second.rend()));
      conflicts.erase(it);
    }
    if (!s.disconnects.empty()) push_tag(s, "DISCONNECTED");
    if (!s.corrupt.empty()) push_tag(s, "CORRUPT");
    if (!s.model_name_conflicts.empty()) push_tag(s, "MODEL-NAME-CONFLICT");
    update_model_analytics(collection, std::move(s));
  });
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
    // Only the drawings' layout owners and names are looked up.
    std::unordered_set<std::string> owners, names;
    for (const auto& [name, drawing] : drawings.drawings()) {
      owners.insert(drawing.instance_sysids.begin(), drawing.instance_sysids.end());
      if (drawing.name) names.insert(*drawing.name);
    }
    component_digest d = digest_components(components, owners, names);
    owners = {};
    names = {};
    a.top_level_workplanes.assign(std::make_move_iterator(d.workplanes.rbegin()),
                                  std::make_move_iterator(d.workplanes.rend()));
    conflict_map conflicts = model_name_conflicts(d, components);
    a.for_drawings = make_ami_drawing_analytics(drawings, d, components);
    d.by_name = {};
    d.more = {};
    d.by_layout_owner = {};
    d.models = {};
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
