#include "analytics/staging_status.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <set>
#include <unordered_map>

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
  std::unordered_map<std::string, const model_status*> by_key;
  std::vector<std::string> order;
  for (category cat : {category::ok, category::warnings, category::errors})
    for (const auto& [key, status] : c.table(cat)) {
      auto [at, fresh] = by_key.try_emplace(key, &status);
      if (fresh)
        order.push_back(key);
      else if (has_tag(status, "CHECKED-IN"))
        at->second = &status;
    }
  std::vector<const model_status*> out;
  for (const std::string& key : order) out.push_back(by_key[key]);
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

staging_status collect_staging_status(const fs::path& staging,
                                      const records::cad_file_records::table_type& files,
                                      const migration_analytics* analytics,
                                      const records::change_records::table_type& changes) {
  staging_status st;
  st.staging_directory = staging.string();
  st.written_at = now_utc();
  st.analysed = analytics != nullptr;
  for (const auto& [path, info] : files) {
    file_entry f;
    f.source = info.path.string();
    f.outcome = classify_cad_file(info);
    f.message = cad_file_outcome_message(info);
    f.load_method =
        lower(std::string(core::keyword_enum<records::cad_load_method>::names[size_t(info.load_method)]));
    for (const auto& [name, model] : info.models_3d) f.models.push_back(model.string());
    f.drawing = info.drawing.string();
    st.files.push_back(std::move(f));
  }
  // The staged files name their CAD file: the records of models and drawings
  // hold only the path relative to the input directory.
  std::unordered_map<std::string, std::string> staged_from;
  for (const file_entry& f : st.files) {
    for (const std::string& m : f.models) staged_from.emplace(m, f.source);
    if (!f.drawing.empty()) staged_from.emplace(f.drawing, f.source);
  }
  const auto origin = [&](const std::string& staged) {
    const auto at = staged_from.find(staged);
    return at == staged_from.end() ? std::string() : at->second;
  };
  if (analytics) {
    std::set<std::string> checked_in_models;
    for (const model_status* m : latest_models(analytics->for_models)) {
      model_entry e;
      e.key = m->key;
      e.instance = model_status_instancename(*m);
      e.source = m->source.string();
      e.staged = m->staged.string();
      e.source_file = origin(e.staged);
      e.sysid = model_status_sysid(*m);
      e.cat = model_status_category(*m);
      for (const core::keyword_name& t : m->tags) e.tags.push_back(lower(t.name));
      e.checked_in = has_tag(*m, "CHECKED-IN");
      e.corrupt = m->corrupt;
      e.disconnects = m->disconnects;
      e.name_conflicts = m->model_name_conflicts;
      for (const fs::path& d : m->associated_drawings) e.drawings.push_back(d.string());
      if (e.checked_in) checked_in_models.insert(e.sysid);
      st.models.push_back(std::move(e));
    }
    for (category cat : {category::ok, category::warnings, category::errors})
      for (const auto& [key, d] : analytics->for_drawings.table(cat)) {
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
        st.drawings.push_back(std::move(e));
      }
  }
  for (const auto& [key, c] : changes) {
    change_entry e;
    e.reason = c.reason.name;
    if (const auto* k = std::get_if<records::cluster_composite_key>(&c.key_before))
      e.model_name = k->model_name.value_or("");
    e.locations = c.locations;
    e.sysid_before = sysid_of(c.key_before);
    e.sysid_after = sysid_of(c.key_after);
    st.changes.push_back(std::move(e));
  }
  return st;
}

staging_status read_staging_status(const fs::path& staging) {
  records::cad_file_records files = records::make_cad_file_records(staging);
  files.close_persistent_records();
  records::change_records changes = records::make_change_records(staging);
  changes.close_persistent_records();
  const std::optional<migration_analytics> analytics = load_migration_analytics(staging);
  return collect_staging_status(staging, files.filetable(), analytics ? &*analytics : nullptr,
                                changes.changes());
}

void replace_file(const fs::path& file, const std::string& text, const std::string& what) {
  fs::path beside = file;
  beside += ".new";
  {
    std::ofstream out(beside, std::ios::binary | std::ios::trunc);
    if (!out) host::lisp::file_error("Cannot write the " + what, beside.string(), errno);
    out << text;
    out.flush();
    if (!out) host::lisp::file_error("Cannot write the " + what, beside.string(), errno);
  }
  std::error_code ec;
  fs::rename(beside, file, ec);
  if (ec) host::lisp::simple_error("Cannot replace the " + what + " " + file.string() + ": " + ec.message());
}

std::map<std::string, std::int64_t> staging_status::file_counts() const {
  std::map<std::string, std::int64_t> n;
  n["found"] = std::int64_t(files.size());
  for (cad_file_outcome o : all_cad_file_outcomes) n[std::string(cad_file_outcome_name(o))] = 0;
  for (const file_entry& f : files) ++n[std::string(cad_file_outcome_name(f.outcome))];
  return n;
}

std::map<std::string, std::int64_t> staging_status::model_counts() const {
  std::map<std::string, std::int64_t> n{{"total", std::int64_t(models.size())},
                                        {"ready", 0},
                                        {"warnings", 0},
                                        {"errors", 0},
                                        {"checked-in", 0},
                                        {"left", 0},
                                        {"skipped", std::int64_t(skipped.size())}};
  for (const model_entry& m : models) {
    ++n[std::string(category_name(m.cat))];
    if (m.checked_in) ++n["checked-in"];
    if (m.left()) ++n["left"];
  }
  return n;
}

std::map<std::string, std::int64_t> staging_status::model_tag_counts() const {
  std::map<std::string, std::int64_t> n{
      {"corrupt", 0}, {"disconnected", 0}, {"model-name-conflict", 0}, {"top-level-wp", 0}};
  for (const model_entry& m : models)
    for (const std::string& t : std::set<std::string>(m.tags.begin(), m.tags.end()))
      if (t != "checked-in") ++n[t];
  return n;
}

std::map<std::string, std::int64_t> staging_status::drawing_counts() const {
  std::map<std::string, std::int64_t> n{{"total", std::int64_t(drawings.size())},
                                        {"fully-associated", 0},
                                        {"partially-associated", 0},
                                        {"associated-by-model-name", 0},
                                        {"orphan", 0},
                                        {"checked-in", 0},
                                        {"left", 0}};
  for (const drawing_entry& d : drawings) {
    if (!d.tag.empty()) ++n[d.tag];
    ++n[d.checked_in ? "checked-in" : "left"];
  }
  return n;
}

std::map<std::string, std::int64_t> staging_status::change_counts() const {
  std::map<std::string, std::int64_t> n;
  for (const change_entry& c : changes) ++n[lower(c.reason)];
  return n;
}

}  // namespace vtm::analytics
