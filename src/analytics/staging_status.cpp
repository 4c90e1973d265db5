#include "analytics/staging_status.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "analytics/migration_analytics.h"
#include "host/lisp/errors.h"
#include "host/lisp/pathnames.h"
#include "records/staging_layout.h"

namespace vtm::analytics {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool has_tag(const record_status& s, std::string_view tag) {
  return std::any_of(s.tags.begin(), s.tags.end(),
                     [&](const core::keyword_name& t) { return t.name == tag; });
}

std::string now_utc() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string sysid_of(const records::change_key& key) {
  if (const auto* s = std::get_if<std::string>(&key)) return *s;
  if (const auto* k = std::get_if<records::cluster_composite_key>(&key)) return k->sysid.value_or("");
  return {};
}

// analytics.lsp keeps a model's earlier status in its old category when the
// check-in appends the checked-in one; the checked-in status is the later.
std::vector<const model_status*> latest_models(const model_analytics& c) {
  std::unordered_map<std::string_view, std::size_t> at_key;  // views of the tables' keys
  std::vector<const model_status*> out;
  for (category cat : {category::ok, category::warnings, category::errors})
    for (const auto& [key, status] : c.table(cat)) {
      auto [at, fresh] = at_key.try_emplace(key, out.size());
      if (fresh)
        out.push_back(&status);
      else if (has_tag(status, "CHECKED-IN"))
        out[at->second] = &status;
    }
  return out;
}

}  // namespace

bool model_entry::left() const {
  return !checked_in && std::find(tags.begin(), tags.end(), "top-level-wp") == tags.end();
}

std::string_view category_name(category c) {
  switch (c) {
    case category::ok:
      return "ready";
    case category::warnings:
      return "warnings";
    case category::errors:
      return "errors";
  }
  return "";
}

namespace {

file_entry make_file_entry(const records::cad_fileinfo& info) {
  file_entry f;
  f.source = info.path.string();
  f.outcome = classify_cad_file(info);
  f.message = cad_file_outcome_message(info);
  f.load_method =
      lower(std::string(core::keyword_enum<records::cad_load_method>::names[size_t(info.load_method)]));
  for (const auto& [name, model] : info.models_3d) f.models.push_back(model.string());
  f.drawing = info.drawing.string();
  return f;
}

change_entry make_change_entry(const records::change_info& c) {
  change_entry e;
  e.reason = c.reason.name;
  if (const auto* k = std::get_if<records::cluster_composite_key>(&c.key_before))
    e.model_name = k->model_name.value_or("");
  e.locations = c.locations;
  e.sysid_before = sysid_of(c.key_before);
  e.sysid_after = sysid_of(c.key_after);
  return e;
}

// What the entries are made from: the records, and what the entries of
// models and drawings need of the other records, kept as views into them.
struct record_view {
  const records::cad_file_records::table_type& files;
  const migration_analytics* analytics;
  const records::change_records::table_type& changes;
  std::shared_ptr<const void> owner;  // holds the records when the status read them
  std::vector<const model_status*> models;
  // The staged files name their CAD file: the records of models and drawings
  // hold only the path relative to the input directory.
  std::unordered_map<std::string_view, std::string_view> staged_from;
  std::unordered_set<std::string> checked_in_models;  // sysids

  std::string origin(const std::string& staged) const {
    const auto at = staged_from.find(staged);
    return at == staged_from.end() ? std::string() : std::string(at->second);
  }

  model_entry model(const model_status& m) const {
    model_entry e;
    e.key = m.key;
    e.instance = model_status_instancename(m);
    e.source = m.source.string();
    e.staged = m.staged.string();
    e.source_file = origin(e.staged);
    e.sysid = model_status_sysid(m);
    e.cat = model_status_category(m);
    for (const core::keyword_name& t : m.tags) e.tags.push_back(lower(t.name));
    e.checked_in = has_tag(m, "CHECKED-IN");
    e.corrupt = m.corrupt;
    e.disconnects = m.disconnects;
    e.name_conflicts = m.model_name_conflicts;
    for (const records::record_path& d : m.associated_drawings) e.drawings.push_back(d.string());
    return e;
  }

  drawing_entry drawing(const ami_drawing_status& d) const {
    drawing_entry e;
    e.key = d.key;
    e.name = d.name.value_or("");
    e.source = d.source.string();
    e.staged = d.staged.string();
    e.source_file = origin(e.staged);
    e.tag = d.tags.empty() ? std::string() : lower(d.tags.back().name);
    e.checked_in = has_tag(d, "CHECKED-IN");
    e.models = d.model_sysids;
    if (!e.checked_in) {
      const bool models_in = std::all_of(e.models.begin(), e.models.end(), [&](const std::string& s) {
        return checked_in_models.count(s) > 0;
      });
      e.left_because = e.models.empty() ? "no associated model"
                       : !models_in     ? "its model is not checked in"
                                        : "not checked in after its model";
    }
    return e;
  }
};

staging_status collect(const fs::path& staging, const records::cad_file_records::table_type& files,
                       const migration_analytics* analytics,
                       const records::change_records::table_type& changes,
                       std::shared_ptr<const void> owner) {
  auto view =
      std::make_shared<record_view>(record_view{files, analytics, changes, std::move(owner), {}, {}, {}});
  for (const auto& [path, info] : files) {
    for (const auto& [name, model] : info.models_3d)
      view->staged_from.emplace(model.string(), info.path.string());
    if (!info.drawing.empty()) view->staged_from.emplace(info.drawing.string(), info.path.string());
  }
  if (analytics) {
    view->models = latest_models(analytics->for_models);
    for (const model_status* m : view->models)
      if (has_tag(*m, "CHECKED-IN")) view->checked_in_models.insert(model_status_sysid(*m));
  }

  staging_status st;
  st.staging_directory = staging.string();
  st.written_at = now_utc();
  st.analysed = analytics != nullptr;
  st.files = [view](const std::function<void(const file_entry&)>& visit) {
    for (const auto& [path, info] : view->files) visit(make_file_entry(info));
  };
  st.models = [view](const std::function<void(const model_entry&)>& visit) {
    for (const model_status* m : view->models) visit(view->model(*m));
  };
  st.drawings = [view](const std::function<void(const drawing_entry&)>& visit) {
    if (!view->analytics) return;
    for (category cat : {category::ok, category::warnings, category::errors})
      for (const auto& [key, d] : view->analytics->for_drawings.table(cat)) visit(view->drawing(d));
  };
  st.changes = [view](const std::function<void(const change_entry&)>& visit) {
    for (const auto& [key, c] : view->changes) visit(make_change_entry(c));
  };
  return st;
}

}  // namespace

staging_status collect_staging_status(const fs::path& staging,
                                      const records::cad_file_records::table_type& files,
                                      const migration_analytics* analytics,
                                      const records::change_records::table_type& changes) {
  return collect(staging, files, analytics, changes, nullptr);
}

staging_status read_staging_status(const fs::path& staging) {
  struct held {
    records::cad_file_records files;
    records::change_records changes;
    std::optional<migration_analytics> analytics;
  };
  auto records = std::make_shared<held>(
      held{records::make_cad_file_records(staging), records::make_change_records(staging), std::nullopt});
  records->files.close_persistent_records();
  records->changes.close_persistent_records();
  records->analytics = load_migration_analytics(staging);
  const held& h = *records;
  return collect(staging, h.files.filetable(), h.analytics ? &*h.analytics : nullptr, h.changes.changes(),
                 std::move(records));
}

void replace_file(const fs::path& file, const std::string& what,
                  const std::function<void(std::ostream&)>& write) {
  fs::path beside = file;
  beside += ".new";
  {
    std::ofstream out(beside, std::ios::binary | std::ios::trunc);
    if (!out) host::lisp::file_error("Cannot write the " + what, beside.string(), errno);
    write(out);
    out.flush();
    if (!out) host::lisp::file_error("Cannot write the " + what, beside.string(), errno);
  }
  std::error_code ec;
  fs::rename(beside, file, ec);
  if (ec) host::lisp::simple_error("Cannot replace the " + what + " " + file.string() + ": " + ec.message());
}

std::map<std::string, std::int64_t> staging_status::file_counts() const {
  std::map<std::string, std::int64_t> n;
  n["found"] = 0;
  for (cad_file_outcome o : all_cad_file_outcomes) n[std::string(cad_file_outcome_name(o))] = 0;
  files([&](const file_entry& f) {
    ++n["found"];
    ++n[std::string(cad_file_outcome_name(f.outcome))];
  });
  return n;
}

std::map<std::string, std::int64_t> staging_status::model_counts() const {
  return model_counts_and_tags().first;
}

std::map<std::string, std::int64_t> staging_status::model_tag_counts() const {
  return model_counts_and_tags().second;
}

std::pair<std::map<std::string, std::int64_t>, std::map<std::string, std::int64_t>>
staging_status::model_counts_and_tags() const {
  std::map<std::string, std::int64_t> n{{"total", 0},
                                        {"ready", 0},
                                        {"warnings", 0},
                                        {"errors", 0},
                                        {"checked-in", 0},
                                        {"left", 0},
                                        {"skipped", std::int64_t(skipped.size())}};
  std::map<std::string, std::int64_t> tags{
      {"corrupt", 0}, {"disconnected", 0}, {"model-name-conflict", 0}, {"top-level-wp", 0}};
  models([&](const model_entry& m) {
    ++n["total"];
    ++n[std::string(category_name(m.cat))];
    if (m.checked_in) ++n["checked-in"];
    if (m.left()) ++n["left"];
    for (const std::string& t : std::set<std::string>(m.tags.begin(), m.tags.end()))
      if (t != "checked-in") ++tags[t];
  });
  return {std::move(n), std::move(tags)};
}

std::map<std::string, std::int64_t> staging_status::drawing_counts() const {
  std::map<std::string, std::int64_t> n{{"total", 0},
                                        {"fully-associated", 0},
                                        {"partially-associated", 0},
                                        {"associated-by-model-name", 0},
                                        {"orphan", 0},
                                        {"checked-in", 0},
                                        {"left", 0}};
  drawings([&](const drawing_entry& d) {
    ++n["total"];
    if (!d.tag.empty()) ++n[d.tag];
    ++n[d.checked_in ? "checked-in" : "left"];
  });
  return n;
}

std::map<std::string, std::int64_t> staging_status::change_counts() const {
  std::map<std::string, std::int64_t> n;
  changes([&](const change_entry& c) { ++n[lower(c.reason)]; });
  return n;
}

}  // namespace vtm::analytics
