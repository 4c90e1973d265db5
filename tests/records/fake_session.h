// A small CAD session for the record tests and benchmarks: clusters, and
// model trees of instances whose contents hold child instances.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/object.h"
#include "records/cluster_session.h"

namespace records_test {

struct fake_cluster {
  std::string sysid{};
  std::string type_name = "part_struct";
  std::string name{};
  double time = 0;
  std::optional<std::string> symbolic_version{}, symbolic_name{};
  bool instance_level = false;
  std::string filename{};  // what the host was told
  bool real = true;
  // Load as version.
  bool version = false;
  bool original = false;
  host::lisp::ref original_of{};  // the original of a version
  std::string lav_group{};
  bool in_model_manager = false;
  // An instance: its contents, and where it stands.
  host::lisp::ref contents{};
  bool inseparable_child = false, inseparable_master = false;
  // A contents: its child instances and attributes.
  std::vector<host::lisp::ref> children{};
  std::map<std::string, host::lisp::ref> attributes{};
};

class fake_session : public vtm::records::cluster_session {
 public:
  using ref = host::lisp::ref;
  using model_path = vtm::records::model_path;

  ref add(fake_cluster c) {
    return host::lisp::make_handle("CLUSTER", std::make_shared<fake_cluster>(std::move(c)));
  }
  static fake_cluster& of(const ref& h) { return *host::lisp::handle_target<fake_cluster>(h, "CLUSTER"); }

  // An instance named name showing contents, placed in parent's contents
  // (a top-level model without parent).
  ref instance(const std::string& name, const ref& contents, const ref& parent = ref(),
               const std::string& type = "npart3") {
    ref i = add({.sysid = "I-" + name,
                 .type_name = type,
                 .name = name,
                 .instance_level = true,
                 .contents = contents});
    if (!host::lisp::is_nil(parent)) of(of(parent).contents).children.push_back(i);
    return i;
  }
  ref contents(const std::string& name, const std::string& type = "part_struct") {
    return add({.sysid = "C-" + name, .type_name = type, .name = name});
  }
  // The model path of the instances from a top-level model down.
  static model_path at(const std::vector<ref>& instances) {
    return {host::lisp::list_from(instances), 0, {instances.back()}};
  }
  vtm::records::extended_location location(const std::vector<ref>& instances, const std::string& prefix) {
    return vtm::records::make_extended_location(prefix, at(instances));
  }
  // A position whose only use is its path name "/name": a path of one
  // instance of that name.
  vtm::records::extended_location location(const std::string& path, const std::string& prefix) {
    auto [it, fresh] = named_.try_emplace(path);
    if (fresh) it->second = add({.name = path.substr(path.starts_with('/') ? 1 : 0), .instance_level = true});
    return location(std::vector<ref>{it->second}, prefix);
  }

  std::string sysid(const ref& e) override { return of(e).sysid; }
  std::string entity_type_name(const ref& e) override { return of(e).type_name; }
  bool instance_level_p(const ref& e) override { return of(e).instance_level; }
  std::string name(const ref& c) override { return of(c).name; }
  void assign_name(const ref& c, const std::string& n) override {
    of(c).name = n;
    ++names_assigned;
  }
  double modification_time(const ref& c) override { return of(c).time; }
  std::optional<std::string> symbolic_version(const ref& c) override { return of(c).symbolic_version; }
  std::optional<std::string> symbolic_name(const ref& c) override { return of(c).symbolic_name; }
  void set_sysid(const ref& c, const std::string& s) override { of(c).sysid = s; }
  void set_cluster_sysids(const ref& c) override {
    of(c).sysid = "FRESH-" + std::to_string(++fresh);
    log.push_back("fresh sysids " + of(c).name);
  }
  void set_cluster_filename(const ref& c, const std::string& f) override { of(c).filename = f; }
  bool real_cluster_p(const ref& c) override { return of(c).real; }

  void lav_make_original(const ref& c, bool load_as_version) override {
    of(c).original = true;
    of(c).version = false;
    log.push_back(std::string("original ") + of(c).name + (load_as_version ? " :load-as-version" : ""));
  }
  void lav_make_version(const ref& c, bool load_as_version) override {
    of(c).version = true;
    of(c).original = false;
    log.push_back(std::string("version ") + of(c).name + (load_as_version ? " :load-as-version" : ""));
  }
  bool cluster_is_version(const ref& c) override { return of(c).version; }
  ref original_of_version(const ref& c) override { return of(c).original_of; }
  ref lav_group(const ref& c) override {
    return of(c).lav_group.empty() ? ref() : host::lisp::make_string(of(c).lav_group);
  }
  ref docelid_from_cluster(const ref& c) override {
    return of(c).in_model_manager ? host::lisp::make_integer(42) : ref();
  }

  std::vector<model_path> obj_children(const model_path& node) override {
    std::vector<ref> path = host::lisp::list_to_vector(node.path.value);
    std::vector<model_path> out;
    for (const ref& child : of(of(node.item.value).contents).children) {
      path.push_back(child);
      out.push_back(at(path));
      path.pop_back();
    }
    return out;
  }
  std::optional<model_path> parent_obj(const model_path& node) override {
    std::vector<ref> path = host::lisp::list_to_vector(node.path.value);
    path.pop_back();
    if (path.empty()) return std::nullopt;
    return at(path);
  }
  ref get_contents(const model_path& node) override { return of(node.item.value).contents; }
  ref get_instance(const model_path& node) override { return node.item.value; }
  std::string obj_pathname(const model_path& node) override {
    std::string out;
    for (const ref& i : host::lisp::list_to_vector(node.path.value)) out += "/" + of(i).name;
    return out;
  }
  ref contents_attribute_values(const model_path& node, std::string_view attribute) override {
    const auto& attributes = of(get_contents(node)).attributes;
    auto it = attributes.find(std::string(attribute));
    return it == attributes.end() ? ref() : it->second;
  }
  bool inseparable_child_p(const model_path& node) override { return of(node.item.value).inseparable_child; }
  bool inseparable_master_p(const model_path& node) override {
    return of(node.item.value).inseparable_master;
  }

  // Every instance of the old contents gets the new one; the instances are
  // found in the trees below tops.
  bool substitute_contents(const model_path& target, const ref& contents, bool set_modified) override {
    log.push_back("substitute " + of(get_contents(target)).name + " by " + of(contents).name +
                  (set_modified ? " modified" : ""));
    if (refuse_substitution) return false;
    const ref old = get_contents(target);
    for (const ref& top : tops)
      for_each_instance_below(top, [&](fake_cluster& i) {
        if (i.contents == old) i.contents = contents;
      });
    return true;
  }
  void check_for_cyclic_cluster_structure(const ref& c) override {
    log.push_back("cyclic check " + of(c).name);
  }
  void finalize_reconnect_after_replace(const ref& c) override { log.push_back("reconnect " + of(c).name); }
  void note_state() override { log.push_back("note state"); }
  void signal_changed_parcel_tree_event() override { log.push_back("changed parcel tree"); }
  void update_browser_if_needed(std::string_view browser) override {
    log.push_back("refresh " + std::string(browser));
  }

  int names_assigned = 0;
  int fresh = 0;
  bool refuse_substitution = false;
  std::vector<ref> tops;         // top-level instances, for substitution
  std::vector<std::string> log;  // changes the host was asked for, in order

 private:
  template <class F>
  void for_each_instance_below(const ref& instance, F&& f) {
    f(of(instance));
    for (const ref& child : of(of(instance).contents).children) for_each_instance_below(child, f);
  }
  std::map<std::string, ref> named_;
};

}  // namespace records_test
