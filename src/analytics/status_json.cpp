#include "analytics/status_json.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>
#include <vector>

#include "analytics/json_text.h"
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

// The entries as dump(1) writes them; a large status has many thousand.
void file_json(pretty_json& j, const file_entry& f) {
  j.begin_object()
      .member("source", f.source)
      .member("outcome", cad_file_outcome_name(f.outcome))
      .member("load-method", f.load_method);
  if (!f.message.empty()) j.member("message", f.message);
  j.key("models").strings(f.models).key("drawing");
  if (f.drawing.empty())
    j.null();
  else
    j.string(f.drawing);
  j.end_object();
}

void model_json(pretty_json& j, const model_entry& m) {
  j.begin_object()
      .member("key", m.key)
      .member("instance", m.instance)
      .member("source", m.source)
      .member("source-file", m.source_file)
      .member("staged", m.staged)
      .member("sysid", m.sysid)
      .member("category", category_name(m.cat))
      .key("tags")
      .strings(m.tags)
      .key("checked-in")
      .boolean(m.checked_in)
      .key("corrupt")
      .strings(m.corrupt)
      .key("disconnects")
      .begin_array();
  for (const auto& [owner, lost] : m.disconnects) j.begin_array().string(owner).string(lost).end_array();
  j.end_array().key("name-conflicts").begin_array();
  for (const model_name_conflict& c : m.name_conflicts)
    j.begin_object().member("name", c.name).key("sysids").strings(c.sysids).end_object();
  j.end_array().key("drawings").strings(m.drawings).end_object();
}

void drawing_json(pretty_json& j, const drawing_entry& d) {
  j.begin_object()
      .member("key", d.key)
      .member("name", d.name)
      .member("source", d.source)
      .member("source-file", d.source_file)
      .member("staged", d.staged)
      .member("tag", d.tag)
      .key("checked-in")
      .boolean(d.checked_in)
      .key("models")
      .strings(d.models);
  if (!d.checked_in) j.member("left-because", d.left_because);
  j.end_object();
}

void change_json(pretty_json& j, const change_entry& c) {
  j.begin_object()
      .member("model-name", c.model_name)
      .key("locations")
      .strings(c.locations)
      .member("sysid-before", c.sysid_before)
      .member("sysid-after", c.sysid_after)
      .end_object();
}

// Writes a document as dump(1) of the whole would, one value at a time, so
// that the lists of a large migration are never held whole. Strings dumped
// hold no line breaks (they are escaped), so a value's lines are indented by
// prefixing every line break.
class json_writer {
 public:
  explicit json_writer(std::ostream& out) : out_(out) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }
  void key(std::string_view name) {
    next();
    out_ << dumped(json(name)) << ": ";
    keyed_ = true;
  }
  void value(const json& v) { value_text(dumped(v)); }
  // A value as dump(1) writes it.
  void value_text(std::string_view text) {
    if (!keyed_) next();
    keyed_ = false;
    const std::string indent(open_.size(), ' ');
    std::size_t from = 0;
    for (std::size_t line_end; (line_end = text.find('\n', from)) != std::string::npos; from = line_end + 1) {
      out_.write(text.data() + from, std::streamsize(line_end + 1 - from));
      out_ << indent;
    }
    out_.write(text.data() + from, std::streamsize(text.size() - from));
  }
  void member(std::string_view name, const json& v) {
    key(name);
    value(v);
  }

 private:
  static std::string dumped(const json& v) { return v.dump(1, ' ', false, json::error_handler_t::replace); }

  void open(char bracket) {
    if (!keyed_) next();
    keyed_ = false;
    out_ << bracket;
    open_.push_back(true);
  }
  void close(char bracket) {
    const bool empty = open_.back();
    open_.pop_back();
    if (!empty) out_ << '\n' << std::string(open_.size(), ' ');
    out_ << bracket;
  }
  // Before a member or an element: the line it starts.
  void next() {
    if (open_.empty()) return;
    out_ << (open_.back() ? "\n" : ",\n") << std::string(open_.size(), ' ');
    open_.back() = false;
  }

  std::ostream& out_;
  std::vector<bool> open_;  // per open container: nothing in it yet
  bool keyed_ = false;      // a key was written, its value comes next
};

constexpr std::array<std::string_view, 4> drawing_tags = {"fully-associated", "partially-associated",
                                                          "associated-by-model-name", "orphan"};

std::string drawing_list(const drawing_entry& d) { return d.tag.empty() ? "orphan" : d.tag; }

std::string lower(std::string s) {
  for (char& ch : s) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// The entries of each key, the keys in the order given: a list known to be
// empty is written without walking the entries.
template <class Entry, class KeyOf, class JsonOf>
void write_lists(json_writer& w, const std::vector<std::pair<std::string, std::int64_t>>& keys,
                 const entry_source<Entry>& walk, const KeyOf& key_of, const JsonOf& json_of) {
  w.key("lists");
  w.begin_object();
  pretty_json j;
  for (const auto& [key, n] : keys) {
    w.key(key);
    w.begin_array();
    if (n > 0)
      walk([&](const Entry& e) {
        if (key_of(e) != key) return;
        j.clear();
        json_of(j, e);
        w.value_text(j.text());
      });
    w.end_array();
  }
  w.end_object();
}

// The keys given with the counts of their entries.
std::vector<std::pair<std::string, std::int64_t>> counted_keys(const std::vector<std::string>& keys,
                                                               const json& counts) {
  std::vector<std::pair<std::string, std::int64_t>> out;
  for (const std::string& key : keys) out.emplace_back(key, counts.value(key, std::int64_t{0}));
  return out;
}

// A section whose lists are keyed by key_of: the keys given, then any other
// in the order first met, each list with its entries in walk order.
template <class Entry, class KeyOf, class JsonOf>
void write_lists_by(json_writer& w, const char* section, const json& counts,
                    const std::vector<std::string>& given, const entry_source<Entry>& walk,
                    const KeyOf& key_of, const JsonOf& json_of) {
  std::vector<std::pair<std::string, std::int64_t>> keys;
  for (const std::string& key : given) keys.emplace_back(key, 0);
  walk([&](const Entry& e) {
    const std::string key = key_of(e);
    auto at = std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == key; });
    if (at == keys.end()) at = keys.insert(keys.end(), {key, 0});
    ++at->second;
  });
  w.key(section);
  w.begin_object();
  w.member("counts", counts);
  write_lists(w, keys, walk, key_of, json_of);
  w.end_object();
}

void write_document(std::ostream& out, const json& summary, const staging_status& st) {
  json_writer w(out);
  w.begin_object();
  for (const char* name :
       {"format", "staging-directory", "written-by", "written-at", "analysed", "report", "overview"})
    w.member(name, summary[name]);

  // Every file has one of the outcomes and every model one of the
  // categories, whose counts are known.
  std::vector<std::string> outcomes;
  for (cad_file_outcome o : all_cad_file_outcomes) outcomes.emplace_back(cad_file_outcome_name(o));
  w.key("files");
  w.begin_object();
  w.member("counts", summary["files"]["counts"]);
  write_lists(
      w, counted_keys(outcomes, summary["files"]["counts"]), st.files,
      [](const file_entry& f) { return cad_file_outcome_name(f.outcome); }, file_json);
  w.end_object();

  w.key("models");
  w.begin_object();
  w.member("counts", summary["models"]["counts"]);
  w.member("by-tag", summary["models"]["by-tag"]);
  write_lists(
      w, counted_keys({"ready", "warnings", "errors"}, summary["models"]["counts"]), st.models,
      [](const model_entry& m) { return category_name(m.cat); }, model_json);
  w.member("skipped", summary["models"]["skipped"]);
  w.end_object();

  // Drawings by tag: the four the analysis gives, then any other.
  write_lists_by(w, "drawings", summary["drawings"]["counts"],
                 std::vector<std::string>(drawing_tags.begin(), drawing_tags.end()), st.drawings,
                 drawing_list, drawing_json);
  write_lists_by(
      w, "changes", summary["changes"]["counts"], {}, st.changes,
      [](const change_entry& c) { return lower(c.reason); }, change_json);
  w.end_object();
  out << '\n';
}

}  // namespace

json status_summary_json(const staging_status& st) {
  json skipped = json::array();
  for (const skipped_model& s : st.skipped) skipped.push_back({{"staged", s.staged}, {"reason", s.reason}});
  json doc = json::object();
  doc["format"] = 1;
  doc["staging-directory"] = st.staging_directory;
  doc["written-by"] = st.written_by;
  doc["written-at"] = st.written_at;
  doc["analysed"] = st.analysed;
  doc["report"] = report_file;
  doc["overview"] = overview_file;
  doc["files"]["counts"] = counts(st.file_counts());
  const auto [models, tags] = st.model_counts_and_tags();
  doc["models"]["counts"] = counts(models);
  doc["models"]["by-tag"] = counts(tags);
  doc["models"]["skipped"] = std::move(skipped);
  doc["drawings"]["counts"] = counts(st.drawing_counts());
  doc["changes"]["counts"] = counts(st.change_counts());
  return doc;
}

json write_status_json(const fs::path& dir, const staging_status& status) {
  json summary = status_summary_json(status);
  replace_file(dir / status_json_file, "status file",
               [&](std::ostream& out) { write_document(out, summary, status); });
  return summary;
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
  // Parsed from the stream (as fast as from memory): the text of a large
  // migration's file is not held.
  try {
    return json::parse(in, without_lists);
  } catch (const json::exception& e) {
    host::lisp::simple_error("The status file " + file.string() + " is not valid JSON: " + e.what());
  }
}

}  // namespace vtm::analytics
