// Reading model files: the forms, their fault injections, and the entities
// they describe.
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "files/fault_forms.h"
#include "files/model_file.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "session/host_error.h"

namespace sim::files {

using namespace host::lisp;
using session::entity_ptr;

namespace {

namespace fs = std::filesystem;

std::string keyword_name(const ref& r) { return keywordp(r) ? static_cast<symbol&>(*r).name : std::string(); }

// The key/value pairs of a form, checked against the keys allowed.
class form_keys {
 public:
  form_keys(const ref& plist, std::initializer_list<std::string_view> allowed, const std::string& what,
       const std::function<void(const std::string&)>& fail) {
    std::vector<ref> items = list_to_vector(plist);
    if (items.size() % 2) fail(what + " has an odd number of elements");
    for (std::size_t i = 0; i < items.size(); i += 2) {
      std::string key = keyword_name(items[i]);
      bool known = false;
      for (std::string_view a : allowed) known = known || a == key;
      if (!known) fail(what + " has the unknown key " + prin1_to_string(items[i]));
      values_.emplace(key, items[i + 1]);
    }
  }
  bool has(const std::string& key) const { return values_.count(key) != 0; }
  ref get(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nil() : it->second;
  }

 private:
  std::map<std::string, ref> values_;
};

// What one load shares between the files it reads: contents files already
// read, so that a contents used from several files is one contents.
struct load_context {
  std::map<fs::path, entity_ptr> contents_files;
  std::set<fs::path> reading;
};

class file_reader {
 public:
  // Reads only the part of the file when given one.
  file_reader(fs::path file, load_context& context, std::optional<file_part> part = std::nullopt)
      : file_(std::move(file)), context_(context), part_(part) {}

  // Reads the forms, runs the faults and collects the definitions.
  void read(file_kind expected) {
    expected_ = expected;
    std::error_code ec;
    if (!fs::is_regular_file(file_, ec)) fail("the file does not exist");
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    if (part_) {
      std::string bytes(part_->length, '\0');
      if (!in.seekg(std::streamoff(part_->offset)) || !in.read(bytes.data(), std::streamsize(bytes.size())))
        fail("the file cannot be read");
      text.str(std::move(bytes));
    } else {
      text << in.rdbuf();
      if (!in.good() && !in.eof()) fail("the file cannot be read");
    }
    std::vector<ref> forms;
    try {
      forms = read_all_from_string(text.str(), file_.string());
    } catch (const lisp_error& e) {
      fail(e.message());
    }
    if (forms.empty() || !consp(forms[0])) fail("it has no header; it is no model file of this host");
    std::string header = keyword_name(car(forms[0]));
    if (header == me30_header && expected == file_kind::model)
      fail("it is an ME30 transmit file, which only load_me30 loads");
    if (header == model_header && expected == file_kind::me30) fail("it is no ME30 transmit file");
    if (header != model_header && header != me30_header) fail("it is no model file of this host");
    for (std::size_t i = 1; i < forms.size(); ++i) {
      form_ = i + 1;
      take_form(forms[i]);
    }
    form_ = 0;
  }

  // The top-level models of the file, built.
  std::vector<entity_ptr> models() {
    std::vector<entity_ptr> out;
    for (auto& [form, plist] : model_specs_) {
      form_ = form;
      out.push_back(build_instance(plist, "the model"));
    }
    resolve_originals();
    return out;
  }

  // The one contents a contents file holds, built.
  entity_ptr component() {
    if (!model_specs_.empty() || contents_order_.size() != 1)
      fail("a contents file holds exactly one contents and no model");
    entity_ptr c = contents_by_id(contents_order_.front());
    resolve_originals();
    return c;
  }

  const carried_drawing& drawing() const { return drawing_; }

  [[noreturn]] void fail(const std::string& problem) const {
    std::string where = form_ ? ", form " + std::to_string(form_) : "";
    host_command_failed("FRAME2-UI", "LOAD-FAILED",
                        "Cannot load '" + file_.string() + "'" + where + ": " + problem);
  }

 private:
  struct contents_def {
    std::size_t form;
    ref plist;
    entity_ptr built;
    bool building = false;
  };

  void take_form(const ref& form) {
    if (!consp(form)) fail("expected a list, got " + prin1_to_string(form));
    std::string kind = keyword_name(car(form));
    ref rest = cdr(form);
    if (run_fault_form(form, "FRAME2-UI", fail_fn())) return;
    if (kind == "DRAWING" && expected_ == file_kind::model) {
      if (drawing_.form_number) fail("a second drawing; a file carries one drawing at most");
      drawing_ = {rest, form_};
    } else if (kind == "CONTENTS") {
      form_keys s(rest, contents_keys(), "the contents", fail_fn());
      std::string id = id_of(s);
      if (contents_.count(id)) fail("a second contents with the id \"" + id + "\"");
      contents_.emplace(id, contents_def{form_, rest, nullptr});
      contents_order_.push_back(id);
    } else if (kind == "MODEL") {
      model_specs_.emplace_back(form_, rest);
    } else {
      fail("unknown form " + prin1_to_string(form));
    }
  }

  std::function<void(const std::string&)> fail_fn() const {
    return [this](const std::string& problem) { fail(problem); };
  }

  static std::initializer_list<std::string_view> contents_keys() {
    static const std::initializer_list<std::string_view> keys = {
        "ID",       "SYSID",    "TYPE",        "NAME",     "TIMESTAMP", "SYMBOLIC-VERSION", "SYMBOLIC-NAME",
        "REAL",     "LIBRARY",  "INSEPARABLE", "LAV",      "ORIGINAL",  "LAV-GROUP",        "MODIFIABLE",
        "MODIFIED", "DB-FLAGS", "ATTRIBUTES",  "FEATURES", "FILENAME",  "CHECK-RESULT",     "CHECK-ERROR",
        "CHILDREN"};
    return keys;
  }

  std::string id_of(const form_keys& s) const {
    ref id = s.has("ID") ? s.get("ID") : s.get("SYSID");
    if (!stringp(id)) fail("a contents needs an :id or :sysid string");
    return as_string(id);
  }

  std::optional<std::string> optional_text(const form_keys& s, const std::string& key) const {
    ref v = s.get(key);
    if (is_nil(v)) return std::nullopt;
    if (!stringp(v)) fail(":" + key + " wants a string, got " + prin1_to_string(v));
    return as_string(v);
  }

  bool flag(const form_keys& s, const std::string& key, bool dflt) const {
    return s.has(key) ? truthy(s.get(key)) : dflt;
  }

  void common_fields(const form_keys& s, session::entity& e) const {
    if (auto name = optional_text(s, "NAME")) e.d.name = *name;
    e.d.filename = optional_text(s, "FILENAME");
    if (s.has("MODIFIABLE")) e.d.modifiable = truthy(s.get("MODIFIABLE"));
    e.d.modified = flag(s, "MODIFIED", false);
    e.d.db_flags = s.get("DB-FLAGS");
    for (const ref& a : list_to_vector(s.get("ATTRIBUTES"))) {
      if (!consp(a) || !stringp(car(a)))
        fail("an attribute is (\"NAME\" . values), got " + prin1_to_string(a));
      e.d.attributes.push_back({as_string(car(a)), cdr(a)});
    }
    for (const ref& f : list_to_vector(s.get("FEATURES"))) {
      entity_ptr feature;
      if (stringp(f)) {
        feature = session::make_feature(as_string(f));
      } else if (consp(f) && keyword_name(car(f)) == "UNIVERSAL") {
        feature = session::make_feature("THIN_UNIVERSAL_FEATURE");
        feature->d.universal = true;
        feature->d.properties = cdr(f);
      } else {
        fail("a feature is a name or (:universal . properties), got " + prin1_to_string(f));
      }
      feature->d.owner = e.weak_from_this();
      e.d.features.push_back(feature);
    }
  }

  entity_ptr contents_by_id(const std::string& id) {
    auto it = contents_.find(id);
    if (it == contents_.end()) fail("no contents with the id \"" + id + "\"");
    contents_def& def = it->second;
    if (def.built) return def.built;
    if (def.building) fail("the contents \"" + id + "\" contains itself");
    def.building = true;
    std::size_t saved_form = form_;
    form_ = def.form;
    def.built = build_contents(def.plist);
    form_ = saved_form;
    def.building = false;
    return def.built;
  }

  entity_ptr contents_file(const std::string& name) {
    // Resolved only when the name is a link: resolving asks the system about
    // every directory of the path, for each of a model's files.
    std::error_code ec;
    fs::path file = (file_.parent_path() / name).lexically_normal();
    if (fs::is_symlink(file, ec)) file = fs::weakly_canonical(file);
    if (auto it = context_.contents_files.find(file); it != context_.contents_files.end()) return it->second;
    if (context_.reading.count(file)) fail("the contents file '" + name + "' contains itself");
    context_.reading.insert(file);
    file_reader inner(file, context_);
    inner.read(file_kind::model);
    entity_ptr c = inner.component();
    context_.reading.erase(file);
    context_.contents_files.emplace(file, c);
    return c;
  }

  // A contents reference: an id string, (:file "name"), or an inline plist.
  entity_ptr contents_ref(const ref& r, const std::string& what) {
    if (stringp(r)) return contents_by_id(as_string(r));
    if (consp(r) && keyword_name(car(r)) == "FILE") {
      ref name = car(cdr(r));
      if (!stringp(name)) fail(what + ": (:file \"name\") wants a file name");
      return contents_file(as_string(name));
    }
    if (consp(r) && keywordp(car(r))) return build_contents(r);
    fail(what + " needs a contents: an id, (:file \"name\") or a contents list");
  }

  entity_ptr build_contents(const ref& plist) {
    form_keys s(plist, contents_keys(), "the contents", fail_fn());
    ref children = s.get("CHILDREN");
    std::string type = optional_text(s, "TYPE").value_or(is_nil(children) ? "part_struct" : "asbm_struct");
    entity_ptr c = session::make_contents(type, optional_text(s, "SYSID").value_or(""));
    common_fields(s, *c);
    ref stamp = s.get("TIMESTAMP");
    if (!is_nil(stamp)) {
      if (!numberp(stamp)) fail(":timestamp wants a number, got " + prin1_to_string(stamp));
      c->d.timestamp = as_number(stamp);
    }
    c->d.symbolic_version = optional_text(s, "SYMBOLIC-VERSION");
    c->d.symbolic_name = optional_text(s, "SYMBOLIC-NAME");
    c->d.real = flag(s, "REAL", c->d.real);
    c->d.library = flag(s, "LIBRARY", false);
    c->d.inseparable = flag(s, "INSEPARABLE", false);
    std::string lav = keyword_name(s.get("LAV"));
    if (lav == "VERSION")
      c->d.lav = session::lav_role::version;
    else if (lav == "ORIGINAL")
      c->d.lav = session::lav_role::original;
    else if (!is_nil(s.get("LAV")))
      fail(":lav is :version or :original, got " + prin1_to_string(s.get("LAV")));
    if (s.has("ORIGINAL")) originals_.emplace_back(c, s.get("ORIGINAL"), form_);
    c->d.lav_group = optional_text(s, "LAV-GROUP");
    c->d.check_result = s.get("CHECK-RESULT");
    c->d.check_error = optional_text(s, "CHECK-ERROR");
    session::sibling_names names(c->d.children);
    for (const ref& child : list_to_vector(children)) {
      entity_ptr instance = build_instance(child, "a child");
      instance->d.name = names.claim(instance->d.name.value_or(""));
      session::add_child(c, instance);
    }
    return c;
  }

  entity_ptr build_instance(const ref& plist, const std::string& what) {
    form_keys s(plist,
           {"SYSID", "NAME", "TYPE", "CONTENTS", "MASTER", "SIMPLIFICATION", "ATTRIBUTES", "FEATURES",
            "FILENAME", "MODIFIABLE", "MODIFIED", "DB-FLAGS"},
           what, fail_fn());
    if (!s.has("CONTENTS")) fail(what + " has no :contents");
    entity_ptr contents = contents_ref(s.get("CONTENTS"), what);
    std::string type = optional_text(s, "TYPE").value_or(session::instance_type_for(contents->d.type_name));
    std::string name = optional_text(s, "NAME").value_or(contents->d.name.value_or(type));
    entity_ptr instance = session::make_instance(type, name, optional_text(s, "SYSID").value_or(""));
    common_fields(s, *instance);
    instance->d.name = name;
    session::set_contents(instance, contents);
    if (s.has("MASTER")) session::set_master(instance, contents_ref(s.get("MASTER"), what + "'s master"));
    instance->d.simplification = flag(s, "SIMPLIFICATION", false);
    return instance;
  }

  void resolve_originals() {
    for (auto& [version, r, form] : originals_) {
      form_ = form;
      version->d.original = contents_ref(r, "the original");
    }
    originals_.clear();
  }

  fs::path file_;
  load_context& context_;
  std::optional<file_part> part_;
  file_kind expected_ = file_kind::model;
  carried_drawing drawing_;
  std::size_t form_ = 0;  // 1-based number of the form being handled, 0 outside forms
  std::map<std::string, contents_def> contents_;
  std::vector<std::string> contents_order_;
  std::vector<std::pair<std::size_t, ref>> model_specs_;
  std::vector<std::tuple<entity_ptr, ref, std::size_t>> originals_;
};

}  // namespace

std::vector<entity_ptr> read_model_file_part(const std::filesystem::path& file, const file_part& part) {
  load_context context;
  file_reader reader(fs::absolute(file), context, part);
  reader.read(file_kind::model);
  std::vector<entity_ptr> models = reader.models();
  if (models.empty()) reader.fail("it holds no model");
  return models;
}

std::vector<entity_ptr> read_model_file(const std::filesystem::path& file, file_kind expected,
                                        carried_drawing* drawing) {
  load_context context;
  file_reader reader(fs::absolute(file), context);
  reader.read(expected);
  std::vector<entity_ptr> models = reader.models();
  if (models.empty()) reader.fail("it holds no model");
  if (drawing) *drawing = reader.drawing();
  return models;
}

}  // namespace sim::files
