// Reading and writing drawing files, and the drawing a package carries.
#include "annotation/drawing_file.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "files/fault_forms.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "session/host_error.h"

namespace sim::annotation {

using namespace host::lisp;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view ami_header = "SDSIM-AMI";
constexpr std::string_view mi_header = "SDSIM-MI";

std::string keyword_name(const ref& r) { return keywordp(r) ? static_cast<symbol&>(*r).name : std::string(); }
ref kw(std::string_view name) { return ref(&keyword(name)); }

using fail_fn = std::function<void(const std::string&)>;

// The key/value pairs of a form, checked against the keys allowed.
std::map<std::string, ref> keys_of(const ref& plist, std::initializer_list<std::string_view> allowed,
                                   const std::string& what, const fail_fn& fail) {
  std::vector<ref> items = list_to_vector(plist);
  if (items.size() % 2) fail(what + " has an odd number of elements");
  std::map<std::string, ref> out;
  for (std::size_t i = 0; i < items.size(); i += 2) {
    std::string key = keyword_name(items[i]);
    bool known = false;
    for (std::string_view a : allowed) known = known || a == key;
    if (!known) fail(what + " has the unknown key " + prin1_to_string(items[i]));
    out[key] = items[i + 1];
  }
  return out;
}

std::optional<std::string> text(const std::map<std::string, ref>& keys, const std::string& key,
                                const fail_fn& fail) {
  auto it = keys.find(key);
  if (it == keys.end() || is_nil(it->second)) return std::nullopt;
  if (!stringp(it->second)) fail(":" + key + " wants a string, got " + prin1_to_string(it->second));
  return as_string(it->second);
}

// A drawing made without one gets its own, which a save keeps.
std::string fresh_unique_id() {
  static std::mt19937_64 random{std::random_device{}()};
  char id[24];
  std::snprintf(id, sizeof id, "DWG-%016llx", static_cast<unsigned long long>(random()));
  return id;
}

// Builds the drawing of a (:drawing ...) plist; owner_of links a view to
// its owner by sysid.
drawing_ptr build_drawing(const ref& plist, drawing_kind kind, bool drawing_file, const fail_fn& fail,
                          const std::function<session::entity_ptr(const std::string&)>& owner_of) {
  std::initializer_list<std::string_view> file_keys = {"NUMBER", "UNIQUE-ID", "VIEWS", "IMPORT-WARNINGS",
                                                       "UPDATE-ERROR"};
  std::initializer_list<std::string_view> package_keys = {"NUMBER", "UNIQUE-ID", "VIEWS", "UPDATE-ERROR"};
  auto keys = keys_of(plist, drawing_file ? file_keys : package_keys, "the drawing", fail);
  auto d = std::make_shared<drawing>();
  d->kind = kind;
  auto number = text(keys, "NUMBER", fail);
  if (!number || number->empty()) fail("the drawing needs a :number string");
  d->number = *number;
  d->unique_id = text(keys, "UNIQUE-ID", fail).value_or(fresh_unique_id());
  d->update_error = text(keys, "UPDATE-ERROR", fail);
  for (const ref& w : list_to_vector(keys["IMPORT-WARNINGS"])) {
    if (!stringp(w)) fail("an import warning is a string, got " + prin1_to_string(w));
    d->import_warnings.push_back(as_string(w));
  }
  std::set<std::string> ids;
  for (const ref& v : list_to_vector(keys["VIEWS"])) {
    auto view_keys = keys_of(v, {"ID", "NAME", "OWNER"}, "a view", fail);
    auto view = std::make_shared<drawing_view>();
    view->id = text(view_keys, "ID", fail).value_or("V" + std::to_string(d->views.size() + 1));
    if (!ids.insert(view->id).second) fail("a second view with the id \"" + view->id + "\"");
    view->name = text(view_keys, "NAME", fail).value_or(view->id);
    view->owner_sysid = text(view_keys, "OWNER", fail);
    if (view->owner_sysid && kind == drawing_kind::mi)
      fail("the view \"" + view->id + "\" has a 3D owner, which a plain (MI) drawing cannot have");
    if (view->owner_sysid) view->owner = owner_of(*view->owner_sysid);
    d->views.push_back(view);
  }
  return d;
}

// The first instance of the models with the sysid, depth first.
session::entity_ptr find_instance(const std::vector<session::entity_ptr>& instances, const std::string& sysid,
                                  std::set<const session::entity*>& seen) {
  for (const auto& i : instances) {
    if (i->sysid() == sysid) return i;
    const session::entity_ptr& c = i->d.contents;
    if (!c || !seen.insert(c.get()).second) continue;
    if (auto found = find_instance(c->d.children, sysid, seen)) return found;
  }
  return nullptr;
}

}  // namespace

drawing_ptr read_drawing_file(const fs::path& file, accepted_drawings accepted) {
  fs::path path = fs::absolute(file);
  std::size_t form_number = 0;
  fail_fn fail = [&](const std::string& problem) {
    std::string where = form_number ? ", form " + std::to_string(form_number) : "";
    host_command_failed("DOCU", "LOAD-FAILED",
                        "Cannot load '" + path.string() + "'" + where + ": " + problem);
  };
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) fail("the file does not exist");
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  if (!in.good() && !in.eof()) fail("the file cannot be read");
  std::vector<ref> forms;
  try {
    forms = read_all_from_string(content.str(), path.string());
  } catch (const lisp_error& e) {
    fail(e.message());
  }
  std::string header = forms.empty() || !consp(forms[0]) ? std::string() : keyword_name(car(forms[0]));
  if (header != ami_header && header != mi_header) fail("it is no drawing file of this host");
  drawing_kind kind = header == ami_header ? drawing_kind::ami : drawing_kind::mi;
  if (kind == drawing_kind::mi && accepted == accepted_drawings::annotation_only)
    fail("it is a plain (MI) drawing, no Annotation drawing");
  drawing_ptr d;
  for (std::size_t i = 1; i < forms.size(); ++i) {
    form_number = i + 1;
    const ref& form = forms[i];
    if (!consp(form)) fail("expected a list, got " + prin1_to_string(form));
    if (files::run_fault_form(form, "DOCU", fail)) continue;
    if (keyword_name(car(form)) != "DRAWING") fail("unknown form " + prin1_to_string(form));
    if (d) fail("a second drawing; a drawing file holds one");
    d = build_drawing(cdr(form), kind, true, fail, [](const std::string& sysid) -> session::entity_ptr {
      for (const auto& e : session::session::current().find_by_sysid(sysid))
        if (e->is_instance()) return e;
      return nullptr;
    });
  }
  form_number = 0;
  if (!d) fail("it holds no drawing");
  return d;
}

drawing_ptr drawing_from_package(const fs::path& file, const files::carried_drawing& carried,
                                 const std::vector<session::entity_ptr>& models) {
  fs::path path = fs::absolute(file);
  fail_fn fail = [&](const std::string& problem) {
    host_command_failed(
        "FRAME2-UI", "LOAD-FAILED",
        "Cannot load '" + path.string() + "', form " + std::to_string(carried.form_number) + ": " + problem);
  };
  return build_drawing(carried.plist, drawing_kind::ami, false, fail, [&](const std::string& sysid) {
    std::set<const session::entity*> seen;
    session::entity_ptr owner = find_instance(models, sysid, seen);
    if (!owner) fail("the drawing names the owner \"" + sysid + "\", which is no instance of the file");
    return owner;
  });
}

void write_drawing_file(const drawing& d, const fs::path& file) {
  std::vector<ref> views;
  for (const auto& v : d.views) {
    std::vector<ref> p = {kw("ID"), make_string(v->id), kw("NAME"), make_string(v->name)};
    if (auto sysid = v->current_owner_sysid()) {
      p.push_back(kw("OWNER"));
      p.push_back(make_string(*sysid));
    }
    views.push_back(list_from(p));
  }
  std::vector<ref> form = {kw("DRAWING"), kw("NUMBER"), make_string(d.number), kw("UNIQUE-ID"),
                           make_string(d.unique_id)};
  if (!views.empty()) {
    form.push_back(kw("VIEWS"));
    form.push_back(list_from(views));
  }
  if (!d.import_warnings.empty()) {
    std::vector<ref> warnings;
    for (const std::string& w : d.import_warnings) warnings.push_back(make_string(w));
    form.push_back(kw("IMPORT-WARNINGS"));
    form.push_back(list_from(warnings));
  }
  if (d.update_error) {
    form.push_back(kw("UPDATE-ERROR"));
    form.push_back(make_string(*d.update_error));
  }
  std::string header = d.kind == drawing_kind::ami ? std::string(ami_header) : std::string(mi_header);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << ";; -*- sdsim drawing file -*-\n(:" << header << " 1)\n"
      << pprint_to_string(list_from(form)) << "\n";
  out.close();
  if (!out) host_command_failed("DOCU", "STORE-FAILED", "Cannot write '" + file.string() + "'.");
}

}  // namespace sim::annotation
