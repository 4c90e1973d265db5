// Tests of the check-in over a real simulated session and database: model
// files written into a scratch staging directory and loaded as the host
// loads them, a seeded Model Manager database, and the staging directory's
// analytics file naming the models to check in.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "analytics/analytics_file.h"
#include "analytics/status_records.h"
#include "checkin/check_in_context.h"
#include "checkin/name_query.h"
#include "host/clusters.h"
#include "host/command_queue.h"
#include "host/console.h"
#include "host/features.h"
#include "host/files.h"
#include "host/lisp/eval.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "modelmanager/database.h"
#include "records/host_cluster_session.h"
#include "support/module_fixture.h"

namespace checkin_test {

namespace fs = std::filesystem;
namespace hl = host::lisp;

class CheckInTest : public testing::Test {
 protected:
  void SetUp() override {
    vtm_test::load_module_once();
    std::string pattern = (fs::temp_directory_path() / "vtm checkin Ü-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    sim::modelmanager::use_database_file(dir / "mm.sqlite");
    sim::modelmanager::fail_queries(0, "");
    vtm::checkin::clear_name_query_cache();
    clear_session();
    hl::set_standard_output(output);
  }
  void TearDown() override {
    while (sim::take_queued_command()) {
    }
    clear_session();
    hl::set_standard_output(std::cout);
    fs::remove_all(dir);
  }

  static void clear_session() { host::elan::delete_3d(hl::eval_string(":all_at_top")); }

  fs::path write(const std::string& name, std::string_view text) {
    fs::path file = dir / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file;
  }
  void load(const std::string& name, std::string_view text) {
    host::frame2_ui::universal_load(write("in/" + name, text).string());
  }
  // Stores models in the database from a seed text (:file relative to dir).
  void seed(std::string_view text) {
    sim::modelmanager::current_database().seed_from_file(write("seed.lsp", text));
  }

  // The status of the top-level model "/top" staged as models/<sysid>.sda.
  static vtm::analytics::model_status status_of(const std::string& top, const std::string& sysid,
                                                std::vector<std::string> tags = {},
                                                std::vector<vtm::records::record_path> drawings = {}) {
    vtm::analytics::model_status s;
    s.source = "/legacy/" + top + ".pkg";
    s.key = s.source.string() + "/" + top;
    s.staged = "models/" + sysid + ".sda";
    for (std::string& t : tags) s.tags.push_back({std::move(t)});
    s.associated_drawings = std::move(drawings);
    return s;
  }
  void write_analytics(const std::vector<vtm::analytics::model_status>& models,
                       const std::vector<vtm::analytics::ami_drawing_status>& drawings = {}) {
    vtm::analytics::write_analytics_file(dir, [](std::ostream&) {});
    for (const auto& m : models) vtm::analytics::append_analytics_file(dir, vtm::core::to_lisp(m));
    for (const auto& d : drawings) vtm::analytics::append_analytics_file(dir, vtm::core::to_lisp(d));
  }

  // A context whose only model is the top-level model "/top", made current.
  vtm::checkin::check_in_context scanned(const std::string& top) {
    write_analytics({status_of(top, "S-" + top)});
    vtm::checkin::check_in_context c = vtm::checkin::make_check_in_context(dir);
    set_current(c, "models/S-" + top + ".sda");
    return c;
  }
  void set_current(vtm::checkin::check_in_context& c, const std::string& staged) {
    const vtm::checkin::model_status_ptr* m = c.model_queue.find(staged);
    ASSERT_NE(m, nullptr) << staged;
    vtm::checkin::set_check_in_context_current_model(c, *m, session);
  }
  static vtm::checkin::model_name_info* conflict(vtm::checkin::check_in_context& c, const std::string& name) {
    vtm::checkin::name_info_ptr* info = c.current_conflicts.find(name);
    return info ? info->get() : nullptr;
  }

  vtm::records::model_path at(const std::string& pathname) {
    hl::ref p = host::oli::sd_pathname_to_obj(pathname);
    if (hl::is_nil(p)) {
      ADD_FAILURE() << "nothing in session at " << pathname;
      return {};
    }
    return vtm::records::from_sel_item(p);
  }
  hl::ref contents_at(const std::string& pathname) { return session.get_contents(at(pathname)); }
  std::string name_at(const std::string& pathname) { return session.name(contents_at(pathname)); }
  std::string pathname(const std::optional<vtm::records::model_path>& p) {
    return p ? session.obj_pathname(*p) : "NIL";
  }
  // Runs the command lines queued for after the current command, as the
  // host's console does.
  static void run_queued() {
    sim::console console;
    while (auto line = sim::take_queued_command()) console.run_line(*line, "queued");
  }
  static int tracking_feature_count() {
    return int(hl::list_length(
        host::k2::search_universal_feature(host::oli::get_instance(host::elan_ui::get_root_sel_item()))));
  }

  fs::path dir;
  std::ostringstream output;
  vtm::records::host_cluster_session session;
};

// "frame" uses the part "bolt" of one cluster twice and another cluster
// also named "bolt" once.
constexpr std::string_view two_bolts = R"((:sdsim-model 1)
(:contents :id "bolt-a" :sysid "C-BOLT-A" :name "bolt" :timestamp 1.0d0)
(:contents :id "bolt-b" :sysid "C-BOLT-B" :name "bolt" :timestamp 2.0d0)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:sysid "C-FRAME" :name "frame"
            :children ((:name "a1" :contents "bolt-a")
                       (:name "a2" :contents "bolt-a")
                       (:name "b1" :contents "bolt-b"))))
)";

}  // namespace checkin_test
