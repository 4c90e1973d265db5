// The record operations over the simulated host's session, loaded from
// model files.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/lisp/printer.h"
#include "loaded_session.h"
#include "records/change_records.h"
#include "records/component_records.h"
#include "records/contents_substitution.h"
#include "records/model_tree.h"

namespace {

using namespace vtm::records;
namespace hl = host::lisp;
using strings = std::vector<std::string>;

// frame: bolt, sub (inseparable: b, the same bolt) and a coordinate system.
constexpr std::string_view frame_file = R"((:sdsim-model 1)
(:contents :id "bolt" :sysid "C-BOLT" :name "bolt" :timestamp 3.9d9 :attributes (("DB-GREF" :elid 7)))
(:contents :id "sub" :sysid "C-SUB" :name "sub" :timestamp 3.7d9 :inseparable t
 :children ((:name "b" :sysid "I-SUB-B" :contents "bolt")))
(:model :sysid "I-FRAME" :name "frame"
 :contents (:sysid "C-FRAME" :name "frame" :timestamp 3.8d9
            :children ((:name "bolt" :sysid "I-B1" :contents "bolt")
                       (:name "sub" :sysid "I-SUB" :contents "sub")
                       (:name "cs" :type "coord_sys" :contents (:type "coord_sys_struct")))))
)";

class HostSession : public records_test::loaded_session_fixture {
 protected:
  void SetUp() override {
    loaded_session_fixture::SetUp();
    load(write_model("frame.pkg", frame_file));
  }
  extended_location location(const std::string& pathname) {
    return make_extended_location("in/frame.pkg", at(pathname));
  }
  instance_info frame_record() { return make_instance_info(location("/frame"), "in/frame.pkg", session); }
  static strings sorted(strings v) {
    std::sort(v.begin(), v.end());
    return v;
  }
};

TEST_F(HostSession, RecordsOfALoadedModelComeFromTheSession) {
  strings visited;
  for_each_instance(
      at("/frame"),
      [&](const model_path& node) {
        visited.push_back(session.obj_pathname(node));
        return true;
      },
      session);
  EXPECT_EQ(visited, (strings{"/frame", "/frame/bolt", "/frame/sub", "/frame/sub/b", "/frame/cs"}));

  const instance_info frame = frame_record();
  EXPECT_EQ(frame.typename_, "nasmb3");
  EXPECT_EQ(frame.filename, "I-FRAME.sda");
  EXPECT_EQ(frame.name, "in/frame.pkg/frame");
  EXPECT_EQ(frame.contents_sysid.handle(), contents_at("/frame"));

  const part_check check = [&](const extended_location& at) {
    return hl::make_string("checked " + session.obj_pathname(at));
  };
  contents_info bolt = make_contents_info(location("/frame/sub/b"), frame, check, session);
  EXPECT_EQ(bolt.typename_, "part_struct");
  EXPECT_EQ(bolt.filename, "C-BOLT.sdpc");
  EXPECT_EQ(bolt.metakey, (cluster_metakey{"bolt", 3.9e9, std::nullopt, std::nullopt}));
  EXPECT_EQ(bolt.model_sysids.front(), frame.sysid);
  // The filing parent of a position inside sub is sub's contents.
  EXPECT_EQ(bolt.parent_sysids.front().handle(), contents_at("/frame/sub"));
  EXPECT_EQ(hl::prin1_to_string(bolt.check_result.value), "\"checked /frame/sub/b\"");
  EXPECT_EQ(hl::prin1_to_string(bolt.db_gref.value), "(:ELID 7)");
  EXPECT_EQ(bolt.tags, std::vector<vtm::core::keyword_name>{{"INSEPARABLE-CHILD"}});

  const contents_info sub = make_contents_info(location("/frame/sub"), frame, check, session);
  EXPECT_EQ(sub.tags, std::vector<vtm::core::keyword_name>{{"INSEPARABLE-MASTER"}});
  EXPECT_TRUE(hl::is_nil(sub.check_result.value)) << "only parts are checked";
  EXPECT_EQ(sub.parent_sysids.front().handle(), contents_at("/frame"));

  update_contents_info(bolt, frame, location("/frame/bolt"), session);
  EXPECT_EQ(map_locations_to_pathnames(bolt.shares, session),
            (strings{"in/frame.pkg/frame/bolt", "in/frame.pkg/frame/sub/b"}));
  EXPECT_EQ(bolt.parent_sysids.front().handle(), contents_at("/frame"));
}

TEST_F(HostSession, ANewSysidRenamesTheSharedClusterAndIsLogged) {
  change_records logger = make_change_records(dir);
  const instance_info frame = frame_record();
  component_record bolt = make_contents_info(location("/frame/bolt"), frame, {}, session);

  EXPECT_EQ(change_component_info_sysid(bolt, "C-BOLT-2", {"SYSID-CONFLICT"}, logger, location("/frame/bolt"),
                                        session),
            "C-BOLT-2");
  EXPECT_EQ(sysid_at("/frame/sub/b"), "C-BOLT-2");
  EXPECT_EQ(hl::as_string(host::frame2::inquire_cluster_filename(contents_at("/frame/bolt"))),
            "C-BOLT-2.sdpc");
  // The host finds the cluster by its new sysid only.
  EXPECT_EQ(hl::prin1_to_string(hl::eval_string("(length (sdsim:entities-with-sysid \"C-BOLT-2\"))")), "1");
  EXPECT_EQ(hl::prin1_to_string(hl::eval_string("(length (sdsim:entities-with-sysid \"C-BOLT\"))")), "0");
  const change_info& logged = logger.buffer().front();
  EXPECT_EQ(logged.locations, strings{"in/frame.pkg/frame/bolt"});
  EXPECT_EQ(std::get<cluster_composite_key>(logged.key_before).sysid, "C-BOLT");
  EXPECT_EQ(std::get<cluster_composite_key>(logged.key_after).sysid, "C-BOLT-2");

  // Without a sysid the host gives a fresh one.
  component_record top = frame;
  const std::string fresh =
      change_component_info_sysid(top, std::nullopt, {"SYSID-CONFLICT"}, logger, location("/frame"), session);
  EXPECT_NE(fresh, "I-FRAME");
  EXPECT_EQ(session.sysid(frame.sysid.handle()), fresh);
  EXPECT_EQ(logger.buffer().front().key_before, change_key(std::string("I-FRAME")));
}

TEST_F(HostSession, PersistedRecordsCarryTheSysidsTheSessionHasNow) {
  component_records components = make_component_records(dir);
  const instance_info frame = frame_record();
  contents_info bolt = make_contents_info(location("/frame/bolt"), frame, {}, session);
  update_contents_info(bolt, frame, location("/frame/sub/b"), session);
  session.set_sysid(contents_at("/frame/bolt"), "C-BOLT-9");
  std::vector<component_record> records{frame, bolt};
  components.update_component_records(records, session);
  components.close_persistent_records();

  // The host was told the file names, and the file reads back the records.
  EXPECT_EQ(hl::as_string(host::frame2::inquire_cluster_filename(contents_at("/frame/bolt"))),
            "C-BOLT-9.sdpc");
  const component_records reread = make_component_records(dir);
  const auto bolt_record = reread.get_component_record_by_sysid("C-BOLT-9");
  const auto* staged = bolt_record ? std::get_if<contents_info>(&*bolt_record) : nullptr;
  ASSERT_NE(staged, nullptr);
  EXPECT_EQ(staged->filename, "C-BOLT-9.sdpc");
  EXPECT_EQ(sorted(map_locations_to_pathnames(staged->shares, session)),
            (strings{"in/frame.pkg/frame/bolt", "in/frame.pkg/frame/sub/b"}));
  EXPECT_EQ(map_entities_to_sysids(staged->model_sysids, session), strings{"I-FRAME"});
  EXPECT_EQ(sorted(map_entities_to_sysids(staged->parent_sysids, session)), (strings{"C-FRAME", "C-SUB"}));
  const auto frame_record = reread.get_component_record_by_sysid("I-FRAME");
  const auto* top = frame_record ? std::get_if<instance_info>(&*frame_record) : nullptr;
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->contents_sysid, sysid_value("C-FRAME"));
}

// parts: gear (original of group G), wheel (original of group W, stored in
// Model Manager); old: a part x; new: versions of gear and wheel.
constexpr std::string_view versions_file = R"((:sdsim-model 1)
(:contents :id "gear" :sysid "GEAR-1" :name "gear" :timestamp 2.0d0 :lav :original :lav-group "G")
(:contents :id "wheel" :sysid "WHEEL-1" :name "wheel" :timestamp 2.0d0 :lav :original :lav-group "W"
 :db-flags (:elid 4711))
(:model :name "parts" :contents (:name "parts" :children ((:name "gear" :contents "gear")
                                                          (:name "wheel" :contents "wheel"))))
(:model :name "old" :contents (:name "old" :children ((:name "x" :contents (:name "x")))))
(:model :name "new"
 :contents (:name "new"
            :children ((:name "gear-v" :contents (:sysid "GEAR-1" :name "gear" :timestamp 2.0d0
                                                  :lav :version :original "gear" :lav-group "G"))
                       (:name "wheel-v" :contents (:sysid "WHEEL-1" :name "wheel" :timestamp 2.0d0
                                                   :lav :version :original "wheel" :lav-group "W")))))
)";

TEST_F(HostSession, AVersionGivesWayToItsOriginal) {
  load(write_model("versions.pkg", versions_file));
  const hl::ref gear = contents_at("/parts/gear");
  EXPECT_TRUE(replace_by_original(at("/new/gear-v"), gear, session));
  EXPECT_EQ(contents_at("/new/gear-v"), gear);
  EXPECT_FALSE(session.cluster_is_version(gear));
  EXPECT_FALSE(replace_by_original(at("/new/gear-v"), hl::nil(), session));
}

TEST_F(HostSession, SubstitutedVersionsFollowTheirOriginalsIntoModelManagerOrStepAside) {
  load(write_model("versions.pkg", versions_file));
  const auto browser_redraws = [] {
    return hl::as_integer(hl::eval_string("(sdsim:browser-redraw-count \"parcel-gbrowser\")"));
  };
  const std::int64_t redraws = browser_redraws();
  EXPECT_TRUE(hl::is_nil(session.docelid_from_cluster(contents_at("/parts/gear"))));
  EXPECT_EQ(hl::prin1_to_string(session.docelid_from_cluster(contents_at("/parts/wheel"))), "4711");

  ASSERT_TRUE(replace_contents(at("/old"), contents_at("/new"), session));
  EXPECT_EQ(contents_at("/old"), contents_at("/new"));
  // The stored original replaces its version; the other original gets
  // fresh sysids, leaving GEAR-1 to the version, now an original.
  EXPECT_EQ(contents_at("/old/wheel-v"), contents_at("/parts/wheel"));
  EXPECT_NE(sysid_at("/parts/gear"), "GEAR-1");
  EXPECT_EQ(sysid_at("/old/gear-v"), "GEAR-1");
  EXPECT_FALSE(session.cluster_is_version(contents_at("/old/gear-v")));
  EXPECT_EQ(browser_redraws(), redraws + 1);
}

}  // namespace
