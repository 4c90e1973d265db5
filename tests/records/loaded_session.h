// Tests over the simulated host's CAD session: model files written into a
// fresh directory and loaded as the host loads them, seen through the
// records' host session.
#pragma once

#include <string>
#include <string_view>

#include "host/clusters.h"
#include "host/files.h"
#include "host/lisp/eval.h"
#include "host/model_tree.h"
#include "records/host_cluster_session.h"
#include "records_env.h"

namespace records_test {

class loaded_session_fixture : public records_fixture {
 protected:
  void SetUp() override {
    records_fixture::SetUp();
    host::elan::delete_3d(host::lisp::eval_string(":all_at_top"));
  }
  void TearDown() override {
    host::elan::delete_3d(host::lisp::eval_string(":all_at_top"));
    records_fixture::TearDown();
  }

  // Writes a model file below the input directory dir/in.
  std::filesystem::path write_model(const std::string& name, std::string_view text) {
    std::filesystem::path file = dir / "in" / name;
    std::filesystem::create_directories(file.parent_path());
    spit(file, std::string(text));
    return file;
  }
  static void load(const std::filesystem::path& file) { host::frame2_ui::universal_load(file.string()); }
  static void clear_session() { host::elan::delete_3d(host::lisp::eval_string(":all_at_top")); }

  // The position of a host path name; fails the test when there is none.
  vtm::records::model_path at(const std::string& pathname) {
    host::lisp::ref p = host::oli::sd_pathname_to_obj(pathname);
    if (host::lisp::is_nil(p)) {
      ADD_FAILURE() << "nothing in session at " << pathname;
      return {};
    }
    return vtm::records::from_sel_item(p);
  }
  host::lisp::ref contents_at(const std::string& pathname) { return session.get_contents(at(pathname)); }
  std::string sysid_at(const std::string& pathname) { return session.sysid(contents_at(pathname)); }

  vtm::records::host_cluster_session session;
};

}  // namespace records_test
