// The example input directory resolved file by file, as a staging run does,
// and resolved again.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "checkin/conflict_resolver.h"
#include "host/lisp/printer.h"
#include "records/model_tree.h"
#include "resolver_fixture.h"

namespace {

using namespace vtm::records;
namespace hl = host::lisp;
namespace fs = std::filesystem;
using strings = std::vector<std::string>;

const fs::path input = fs::path(VTM_SOURCE_DIR) / "examples/stage1/input";
const strings model_files = {"assemblies/bracket.pkg", "assemblies/frame.pkg", "assemblies/gearbox.bdl",
                             "assemblies/twins.sd",    "legacy/OLDPART",       "legacy/PUMP.XMIT",
                             "legacy/logwarn.pkg",     "parts/plane.sdp",      "parts/shaft.sdp"};

class ExampleStaging : public checkin_test::resolver_fixture {
 protected:
  struct run_result {
    std::vector<std::size_t> resolved;          // per file
    std::map<std::string, std::string> sysids;  // source and path name -> contents sysid
  };

  run_result stage_all() {
    run_result out;
    for (const std::string& file : model_files) {
      clear_session();
      if (fs::path(file).extension() == ".XMIT")
        host::links_ui::load_me30((input / file).string());
      else
        load(input / file);
      out.resolved.push_back(
          vtm::checkin::invoke_conflict_resolver(*resolver, file, check, *logger, session));
      const model_path root = from_sel_item(host::elan_ui::get_root_sel_item());
      for (const model_path& top : session.obj_children(root))
        for_each_instance(
            top,
            [&](const model_path& at) {
              const hl::ref contents = session.get_contents(at);
              if (!session.real_cluster_p(contents)) return false;
              out.sysids[file + session.obj_pathname(at)] = session.sysid(contents);
              return true;
            },
            session);
    }
    return out;
  }
  strings sorted_strings(const sysid_list& l) {
    strings v = map_entities_to_sysids(l, session);
    std::sort(v.begin(), v.end());
    return v;
  }
};

TEST_F(ExampleStaging, TheExampleInputResolvesAndResolvesAgainToTheSameSysids) {
  const run_result first = stage_all();
  EXPECT_EQ(first.resolved, (std::vector<std::size_t>{3, 9, 5, 4, 2, 3, 2, 2, 2}));

  // The bolt of frame.pkg and gearbox.bdl is one component with the shares
  // of both files.
  const auto bolt = staged_contents("C-BOLT-M8");
  ASSERT_TRUE(bolt);
  EXPECT_EQ(sorted_strings(bolt->model_sysids), (strings{"I-FRAME", "I-GEARBOX"}));
  const strings bolt_shares = map_locations_to_pathnames(bolt->shares, session);
  for (const char* share : {"assemblies/frame.pkg/frame/left/bolt", "assemblies/frame.pkg/frame/right/bolt_2",
                            "assemblies/gearbox.bdl/gearbox/bolt"})
    EXPECT_NE(std::find(bolt_shares.begin(), bolt_shares.end(), share), bolt_shares.end()) << share;

  // Only the twins clash.
  const auto conflicts = changes("SYSID-CONFLICT");
  ASSERT_EQ(conflicts.size(), 1u);
  EXPECT_EQ(conflicts[0].locations, strings{"assemblies/twins.sd/twins/long"});
  EXPECT_EQ(first.sysids.at("assemblies/twins.sd/twins/short"), "C-PIN");
  EXPECT_NE(first.sysids.at("assemblies/twins.sd/twins/long"), "C-PIN");

  const auto where = [&](const std::string& reason) {
    strings out;
    for (const change_info& c : changes(reason)) out.push_back(c.locations.back());
    return out;
  };
  EXPECT_EQ(where("VERSION<-ORIGINAL"), strings{"assemblies/gearbox.bdl/gearbox/gear-v"});
  EXPECT_EQ(where("VERSION->ORIGINAL"), strings{"assemblies/gearbox.bdl/gearbox/gear-new"});
  EXPECT_EQ(where("SIMPLIFICATION->INSEPARABLE"), strings{"assemblies/frame.pkg/frame/motor"});
  EXPECT_EQ(where("DESTROY-PCB-COORDINATE-SYSTEM"), strings{"assemblies/frame.pkg/frame/board"});
  EXPECT_EQ(where("PCB->INSEPARABLE"), strings{"assemblies/frame.pkg/frame/board"});

  // What the part check found, where it could run; the layout's owner; the
  // library washer without its symbolic name.
  EXPECT_NE(hl::prin1_to_string(staged_contents("C-RAIL")->check_result.value).find("Face 3 is not closed"),
            std::string::npos);
  EXPECT_TRUE(hl::is_nil(staged_contents("C-COVER")->check_result.value));
  EXPECT_EQ(map_entities_to_sysids(staged_contents("C-RAIL")->layout_owner_sysids, session),
            strings{"I-FRAME"});
  EXPECT_EQ(staged_contents("C-WASHER-8")->metakey->symbolic_name, std::nullopt);
  EXPECT_EQ(staged_contents("C-BOARD")->tags, std::vector<vtm::core::keyword_name>{{"INSEPARABLE-MASTER"}});
  close_run();

  open_run();
  const run_result again = stage_all();
  EXPECT_EQ(again.resolved, first.resolved);
  EXPECT_EQ(again.sysids, first.sysids);
}

}  // namespace
