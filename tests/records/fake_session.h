// A CAD session of loose clusters for the record tests and benchmarks.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
  bool original = false;
};

class fake_session : public vtm::records::cluster_session {
 public:
  host::lisp::ref add(fake_cluster c) {
    return host::lisp::make_handle("CLUSTER", std::make_shared<fake_cluster>(std::move(c)));
  }
  static fake_cluster& of(const host::lisp::ref& h) { return *host::lisp::handle_target<fake_cluster>(h, "CLUSTER"); }
  // A model position whose host path name is `path`.
  static vtm::records::extended_location location(const std::string& path, const std::string& prefix) {
    vtm::records::extended_location l;
    l.path.value = host::lisp::make_string(path);
    l.prefix = prefix;
    return l;
  }

  std::string sysid(const host::lisp::ref& e) override { return of(e).sysid; }
  std::string entity_type_name(const host::lisp::ref& e) override { return of(e).type_name; }
  bool instance_level_p(const host::lisp::ref& e) override { return of(e).instance_level; }
  std::string name(const host::lisp::ref& c) override { return of(c).name; }
  void assign_name(const host::lisp::ref& c, const std::string& n) override {
    of(c).name = n;
    ++names_assigned;
  }
  double modification_time(const host::lisp::ref& c) override { return of(c).time; }
  std::optional<std::string> symbolic_version(const host::lisp::ref& c) override { return of(c).symbolic_version; }
  std::optional<std::string> symbolic_name(const host::lisp::ref& c) override { return of(c).symbolic_name; }
  void set_sysid(const host::lisp::ref& c, const std::string& s) override { of(c).sysid = s; }
  void set_cluster_sysids(const host::lisp::ref& c) override { of(c).sysid = "FRESH-" + std::to_string(++fresh); }
  void set_cluster_filename(const host::lisp::ref& c, const std::string& f) override { of(c).filename = f; }
  void lav_make_original(const host::lisp::ref& c) override { of(c).original = true; }
  std::string obj_pathname(const vtm::records::extended_location& l) override {
    return host::lisp::as_string(l.path.value);
  }

  int names_assigned = 0;
  int fresh = 0;
};

}  // namespace records_test
