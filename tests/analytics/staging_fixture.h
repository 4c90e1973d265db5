// A staging directory whose record files a test writes record by record.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analytics/migration_analytics.h"
#include "host/lisp/printer.h"
#include "support/module_fixture.h"

namespace analytics_test {

namespace fs = std::filesystem;
namespace hl = host::lisp;
using namespace vtm::analytics;
using namespace vtm::records;

class Analytics : public testing::Test {
 protected:
  void SetUp() override {
    vtm_test::load_module_once();
    dir_ = fs::temp_directory_path() / ("analytics test " + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write(std::string_view file, const hl::ref& record) {
    std::ofstream out(dir_ / file, std::ios::binary | std::ios::app);
    hl::pprint(record, out);
  }
  void model(const std::string& sysid, const std::string& name, const std::string& type = "nasmb3") {
    instance_info i;
    i.sysid = sysid;
    i.typename_ = type;
    i.filename = sysid + ".sda";
    i.sourcepath = "in/" + name + ".pkg";
    i.name = "in/" + name + ".pkg/" + name;
    write(components_file, vtm::core::to_lisp(i));
  }
  void contents(const std::string& sysid, const std::string& model_name, std::vector<std::string> models,
                std::vector<std::string> layout_owners = {}, bool corrupt = false,
                std::vector<std::string> parents = {}, std::vector<std::string> children = {}) {
    contents_info c;
    c.sysid = sysid;
    c.typename_ = "part_struct";
    c.filename = sysid + ".sdpc";
    c.metakey = cluster_metakey{model_name, 1.0, std::nullopt, std::nullopt};
    for (auto it = models.rbegin(); it != models.rend(); ++it) c.model_sysids.push_front(*it);
    for (auto it = layout_owners.rbegin(); it != layout_owners.rend(); ++it)
      c.layout_owner_sysids.push_front(*it);
    for (auto it = parents.rbegin(); it != parents.rend(); ++it) c.parent_sysids.push_front(*it);
    for (auto it = children.rbegin(); it != children.rend(); ++it) c.child_sysids.push_front(*it);
    if (corrupt) c.check_result = {hl::list({hl::make_string("Error:")})};
    write(components_file, vtm::core::to_lisp(c));
  }
  void drawing(const std::string& name, std::vector<std::string> instance_sysids) {
    ami_drawing_info d;
    d.name = name;
    d.sourcepath = "in/" + name + ".pkg";
    d.filename = name + ".bi";
    d.instance_sysids = std::move(instance_sysids);
    write(ami_drawings_file, vtm::core::to_lisp(d));
  }

  void change(const std::string& reason, const std::string& before_sysid, const std::string& after_sysid,
              const std::string& model_name = "part") {
    change_info c;
    c.locations = {"in/x.pkg/x/" + model_name};
    c.key_before = cluster_composite_key{{model_name, 1.0, std::nullopt, std::nullopt}, before_sysid};
    c.key_after = cluster_composite_key{{model_name, 2.0, std::nullopt, std::nullopt}, after_sysid};
    c.reason = {reason};
    write(changelog_file, vtm::core::to_lisp(c));
  }

  migration_analytics make(const std::unordered_set<std::string>& unsaved = {}) {
    component_records components = make_component_records(dir_);
    ami_drawing_records drawings = make_ami_drawing_records(dir_);
    change_records changes = make_change_records(dir_);
    return make_migration_analytics(dir_, drawings, components, changes, [&](const model_status& s) {
      return unsaved.contains(model_status_sysid(s));
    });
  }

  fs::path dir_;
};

}  // namespace analytics_test
