#include "analytics/status_json.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "host/lisp/errors.h"

namespace vtm::analytics {

namespace fs = std::filesystem;
using json = status_document;

namespace {

json counts(const std::map<std::string, std::int64_t>& n) {
  json out = json::object();
  for (const auto& [name, count] : n) out[name] = count;
  return out;
}

json file_json(const file_entry& f) {
  json j{{"source", f.source}, {"outcome", cad_file_outcome_name(f.outcome)}, {"load-method", f.load_method}};
  if (!f.message.empty()) j["message"] = f.message;
  j["models"] = f.models;
  j["drawing"] = f.drawing.empty() ? json() : json(f.drawing);
  return j;
}

json model_json(const model_entry& m) {
  json conflicts = json::array();
  for (const model_name_conflict& c : m.name_conflicts)
    conflicts.push_back({{"name", c.name}, {"sysids", c.sysids}});
  json disconnects = json::array();
  for (const auto& [owner, lost] : m.disconnects) disconnects.push_back({owner, lost});
  return {{"key", m.key},
          {"instance", m.instance},
          {"source", m.source},
          {"source-file", m.source_file},
          {"staged", m.staged},
          {"sysid", m.sysid},
          {"category", category_name(m.cat)},
          {"tags", m.tags},
          {"checked-in", m.checked_in},
          {"corrupt", m.corrupt},
          {"disconnects", disconnects},
          {"name-conflicts", conflicts},
          {"drawings", m.drawings}};
}

json drawing_json(const drawing_entry& d) {
  json j{{"key", d.key},       {"name", d.name}, {"source", d.source},         {"source-file", d.source_file},
         {"staged", d.staged}, {"tag", d.tag},   {"checked-in", d.checked_in}, {"models", d.models}};
  if (!d.checked_in) j["left-because"] = d.left_because;
  return j;
}

}  // namespace

json staging_status_json(const staging_status& st) {
  json file_lists = json::object();
  for (cad_file_outcome o : all_cad_file_outcomes)
    file_lists[std::string(cad_file_outcome_name(o))] = json::array();
  for (const file_entry& f : st.files)
    file_lists[std::string(cad_file_outcome_name(f.outcome))].push_back(file_json(f));

  json model_lists{{"ready", json::array()}, {"warnings", json::array()}, {"errors", json::array()}};
  for (const model_entry& m : st.models)
    model_lists[std::string(category_name(m.cat))].push_back(model_json(m));
  json skipped = json::array();
  for (const skipped_model& s : st.skipped) skipped.push_back({{"staged", s.staged}, {"reason", s.reason}});

  json drawing_lists{{"fully-associated", json::array()},
                     {"partially-associated", json::array()},
                     {"associated-by-model-name", json::array()},
                     {"orphan", json::array()}};
  for (const drawing_entry& d : st.drawings)
    drawing_lists[d.tag.empty() ? "orphan" : d.tag].push_back(drawing_json(d));

  json change_lists = json::object();
  for (const change_entry& c : st.changes) {
    std::string reason = c.reason;
    for (char& ch : reason) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    change_lists[reason].push_back({{"model-name", c.model_name},
                                    {"locations", c.locations},
                                    {"sysid-before", c.sysid_before},
                                    {"sysid-after", c.sysid_after}});
  }

  // The lists are moved into the document: an initializer list would copy
  // them, and a large run's document would be held twice.
  json doc = json::object();
  doc["format"] = 1;
  doc["staging-directory"] = st.staging_directory;
  doc["written-by"] = st.written_by;
  doc["written-at"] = st.written_at;
  doc["analysed"] = st.analysed;
  doc["report"] = report_file;
  doc["overview"] = overview_file;
  json files = json::object();
  files["counts"] = counts(st.file_counts());
  files["lists"] = std::move(file_lists);
  doc["files"] = std::move(files);
  json models = json::object();
  models["counts"] = counts(st.model_counts());
  models["by-tag"] = counts(st.model_tag_counts());
  models["lists"] = std::move(model_lists);
  models["skipped"] = std::move(skipped);
  doc["models"] = std::move(models);
  json drawings = json::object();
  drawings["counts"] = counts(st.drawing_counts());
  drawings["lists"] = std::move(drawing_lists);
  doc["drawings"] = std::move(drawings);
  json changes = json::object();
  changes["counts"] = counts(st.change_counts());
  changes["lists"] = std::move(change_lists);
  doc["changes"] = std::move(changes);
  return doc;
}

json write_status_json(const fs::path& dir, const staging_status& status) {
  json doc = staging_status_json(status);
  replace_file(dir / status_json_file, doc.dump(1, ' ', false, json::error_handler_t::replace) + "\n",
               "status file");
  return doc;
}

std::optional<status_document> read_status_counts(const fs::path& dir) {
  const fs::path file = dir / status_json_file;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (!fs::exists(file)) return std::nullopt;
    host::lisp::simple_error("Cannot read the status file " + file.string() + ".");
  }
  // The lists are the values of the keys "lists" one level down.
  const auto without_lists = [](int depth, json::parse_event_t event, json& parsed) {
    return !(event == json::parse_event_t::key && depth == 2 && parsed == "lists");
  };
  // Parsing from memory is several times faster than from the stream.
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  try {
    return json::parse(text, without_lists);
  } catch (const json::exception& e) {
    host::lisp::simple_error("The status file " + file.string() + " is not valid JSON: " + e.what());
  }
}

}  // namespace vtm::analytics
