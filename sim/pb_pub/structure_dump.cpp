#include "pb_pub/structure_dump.h"

#include <fstream>
#include <map>
#include <sstream>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/reader.h"
#include "session/entity_types.h"

namespace pb_pub {

using namespace host::lisp;
namespace fs = std::filesystem;

namespace {

std::string keyword_name(const ref& r) { return keywordp(r) ? static_cast<symbol&>(*r).name : std::string(); }

struct malformed {
  std::string what;
};

// The value of a key in a property list; NIL when absent.
ref get(const ref& plist, std::string_view key) {
  for (ref p = plist; consp(p); p = cdr(cdr(p))) {
    if (!consp(cdr(p))) throw malformed{"a property list of odd length"};
    if (keyword_name(car(p)) == key) return car(cdr(p));
  }
  return nil();
}

std::string text(const ref& plist, std::string_view key) {
  ref v = get(plist, key);
  return stringp(v) ? as_string(v) : std::string();
}

std::string contents_type_of(const ref& plist) {
  std::string type = text(plist, "TYPE");
  if (type.empty()) type = is_nil(get(plist, "CHILDREN")) ? "part_struct" : "asbm_struct";
  return type;
}

class dumper {
 public:
  explicit dumper(pugi::xml_node root) : root_(root) {}

  void take(const std::vector<ref>& forms, const std::string& file_name) {
    pugi::xml_node top = root_.append_child("cluster");
    top.append_attribute("kind") = "file";
    top.append_attribute("name") = file_name.c_str();
    for (const ref& form : forms)
      if (consp(form) && keyword_name(car(form)) == "CONTENTS") {
        ref plist = cdr(form);
        std::string id = text(plist, "ID");
        ids_[id.empty() ? text(plist, "SYSID") : id] = plist;
      }
    for (const ref& form : forms) {
      if (!consp(form)) continue;
      std::string kind = keyword_name(car(form));
      if (kind == "MODEL") reference(top, cdr(form));
      if (kind == "CONTENTS") cluster(cdr(form));
    }
  }

 private:
  // The cluster of a contents, once per contents; answers its sysid.
  std::string cluster(const ref& plist) {
    std::string sysid = text(plist, "SYSID");
    if (!done_.emplace(plist.get(), sysid).second) return done_[plist.get()];
    std::string type = contents_type_of(plist);
    pugi::xml_node c = root_.append_child("cluster");
    c.append_attribute("kind") = "contents";
    if (!sysid.empty()) c.append_attribute("sysid") = sysid.c_str();
    if (std::string name = text(plist, "NAME"); !name.empty()) c.append_attribute("name") = name.c_str();
    c.append_attribute("type") = type.c_str();
    for (const ref& child : list_to_vector(get(plist, "CHILDREN"))) reference(c, child);
    return sysid;
  }

  void reference(pugi::xml_node parent, const ref& instance) {
    ref contents = get(instance, "CONTENTS");
    std::string contents_type;
    std::string sysid = text(instance, "SYSID");
    std::string target_sysid, target_file;
    if (stringp(contents)) {
      if (auto it = ids_.find(as_string(contents)); it != ids_.end()) {
        target_sysid = cluster(it->second);
        contents_type = contents_type_of(it->second);
      }
    } else if (consp(contents) && keyword_name(car(contents)) == "FILE") {
      target_file = stringp(car(cdr(contents))) ? as_string(car(cdr(contents))) : "";
      contents_type = target_file.ends_with(".sdac") ? "asbm_struct" : "part_struct";
    } else if (consp(contents)) {
      target_sysid = cluster(contents);
      contents_type = contents_type_of(contents);
    }
    // Only instances whose sysid the file fixes are listed.
    if (sysid.empty()) return;
    std::string type = text(instance, "TYPE");
    if (type.empty()) type = sim::session::instance_type_for(contents_type);
    pugi::xml_node r = parent.append_child("reference");
    if (std::string name = text(instance, "NAME"); !name.empty()) r.append_attribute("name") = name.c_str();
    r.append_attribute("type") = type.c_str();
    r.append_child("source_cluster").append_attribute("sysid") = sysid.c_str();
    pugi::xml_node t = r.append_child("target_cluster");
    if (!target_file.empty()) t.append_attribute("file") = target_file.c_str();
    if (!target_sysid.empty()) t.append_attribute("sysid") = target_sysid.c_str();
  }

  pugi::xml_node root_;
  std::map<std::string, ref> ids_;
  std::map<const LAOBJ*, std::string> done_;
};

}  // namespace

bool dump_structure(const fs::path& file, pugi::xml_document& doc, std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    *error = "cannot open '" + file.string() + "': no such file";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  if (!in.good() && !in.eof()) {
    *error = "cannot read '" + file.string() + "'";
    return false;
  }
  try {
    std::vector<ref> forms = read_all_from_string(content.str(), file.string());
    std::string header = forms.empty() || !consp(forms[0]) ? "" : keyword_name(car(forms[0]));
    if (header != "SDSIM-MODEL" && header != "SDSIM-ME30") {
      *error = "'" + file.string() + "' is no model file";
      return false;
    }
    doc.reset();
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("structure");
    root.append_attribute("file") = fs::absolute(file).string().c_str();
    dumper(root).take(forms, file.filename().string());
  } catch (const lisp_error& e) {
    *error = "cannot read '" + file.string() + "': " + e.message();
    return false;
  } catch (const malformed& m) {
    *error = "cannot read '" + file.string() + "': " + m.what;
    return false;
  }
  return true;
}

}  // namespace pb_pub
