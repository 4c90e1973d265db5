#include "checkin/check_in_context.h"

#include <regex>

#include "checkin/name_resolution.h"
#include "checkin/name_tracking.h"
#include "checkin_fixture.h"

namespace checkin_test {
namespace {

using namespace vtm::checkin;

TEST_F(CheckInTest, QueuesComeFromTheAnalytics) {
  vtm::analytics::ami_drawing_status ready, partial, orphan;
  ready.key = "d1";
  ready.staged = "drawings.ami/d1.ami";
  ready.tags = {{"FULLY-ASSOCIATED"}};
  partial.key = "d2";
  partial.staged = "drawings.ami/d2.ami";
  partial.tags = {{"PARTIALLY-ASSOCIATED"}};
  orphan.key = "d3";
  orphan.staged = "drawings.ami/d3.ami";
  orphan.tags = {{"ORPHAN"}};
  write_analytics({status_of("frame", "S1", {}, {"drawings.ami/d1.ami", "drawings.ami/d3.ami"}),
                   status_of("plate", "S2", {"CHECKED-IN"}), status_of("wp", "S3", {"TOP-LEVEL-WP"}),
                   status_of("broken", "S4", {"CORRUPT"})},
                  {ready, partial, orphan});
  load("frame.pkg", two_bolts);
  check_in_context c = make_check_in_context(dir);

  EXPECT_EQ(c.model_queue.size(), 3u);  // the workplane is not queued
  EXPECT_EQ(c.model_queue.find("models/S3.sda"), nullptr);
  EXPECT_EQ(check_in_context_remaining_models(c), 2);  // plate is checked in
  // Tagged once, whatever asks for it again; a status outside the queue
  // leaves the count alone.
  for (int i = 0; i < 2; ++i) mark_model_checked_in(c, **c.model_queue.find("models/S1.sda"));
  vtm::analytics::model_status copy = **c.model_queue.find("models/S4.sda");
  mark_model_checked_in(c, copy);
  EXPECT_EQ(check_in_context_remaining_models(c), 1);
  EXPECT_EQ(check_in_context_remaining_models(make_check_in_context(dir)), 2);
  EXPECT_EQ(c.drawing_queue.size(), 2u);  // drawings with errors are not queued
  EXPECT_EQ(c.drawing_queue.find("drawings.ami/d3.ami"), nullptr);

  set_current(c, "models/S1.sda");
  ASSERT_EQ(c.current_drawings.size(), 2u);
  ASSERT_NE(c.current_drawings[0], nullptr);
  EXPECT_EQ(c.current_drawings[0]->key, "d1");
  EXPECT_EQ(c.current_drawings[1], nullptr);  // listed but not queued

  set_check_in_context_current_model(c, nullptr, session);
  EXPECT_EQ(c.current_model(), nullptr);
  EXPECT_EQ(check_in_context_remaining_name_conflicts(c), 0);
  EXPECT_EQ(c.current_drawings.size(), 2u);  // kept
}

TEST_F(CheckInTest, AStagingDirectoryWithoutAnalyticsIsAnError) {
  try {
    make_check_in_context(dir);
    FAIL() << "no error";
  } catch (const hl::lisp_error& e) {
    EXPECT_NE(e.message().find("analytics.lsp"), std::string::npos) << e.message();
  }
}

TEST_F(CheckInTest, AModelNotInSessionCannotBecomeCurrent) {
  write_analytics({status_of("frame", "S1")});
  check_in_context c = make_check_in_context(dir);
  EXPECT_THROW(set_current(c, "models/S1.sda"), hl::lisp_error);
  EXPECT_EQ(c.current_model(), nullptr);
}

TEST_F(CheckInTest, ANameOfOneLocalClusterAndADatabaseObjectConflictsOnce) {
  seed(R"((:name "bolt" :elid "E-BOLT" :unique_id_string "ID1|ID2|ID3" :state "TC-RELEASED"
           :model_objtype "MODEL_3D-PART"))");
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame" :children ((:name "b" :contents (:name "bolt"))))))");
  check_in_context c = scanned("frame");
  ASSERT_EQ(check_in_context_remaining_name_conflicts(c), 1);
  model_name_info* bolt = conflict(c, "bolt");
  ASSERT_NE(bolt, nullptr);
  EXPECT_EQ(name_double_count(*bolt, session), 1);
  EXPECT_EQ(bolt->elid, "E-BOLT");
  EXPECT_EQ(bolt->elid_text, "ID1ID2TC-RELEASED");
  EXPECT_EQ(bolt->db_model_state, "TC-RELEASED");
  EXPECT_EQ(bolt->db_model_type, "MODEL_3D");
  EXPECT_EQ(bolt->db_model, std::nullopt);
  EXPECT_EQ(tracking_feature_count(), 1);
}

TEST_F(CheckInTest, TheDatabaseComponentInSessionIsNoDoubleOfItself) {
  seed(R"((:name "bolt" :elid "E-BOLT"))");
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame"
            :children ((:name "db" :contents (:name "bolt" :attributes (("DB-DREF" :elid "E-BOLT" :unique_id_string "U-7"))))))))");
  check_in_context c = scanned("frame");
  EXPECT_EQ(check_in_context_remaining_name_conflicts(c), 0);
  EXPECT_NE(output.str().find("Elid E-BOLT (U-7) in session for model-name \"bolt\""), std::string::npos)
      << output.str();

  // A second local cluster of that name conflicts with it, once.
  clear_session();
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame"
            :children ((:name "db" :contents (:name "bolt" :attributes (("DB-DREF" :elid "E-BOLT" :unique_id_string "U-7"))))
                       (:name "mine" :contents (:name "bolt"))))))");
  set_current(c, "models/S-frame.sda");
  model_name_info* bolt = conflict(c, "bolt");
  ASSERT_NE(bolt, nullptr);
  EXPECT_EQ(name_double_count(*bolt, session), 1);
  EXPECT_EQ(bolt->elid, "E-BOLT");
  EXPECT_EQ(bolt->elid_text, "U-7");
  EXPECT_EQ(bolt->db_model_state, std::nullopt);
  EXPECT_EQ(pathname(bolt->db_model), "/frame/db");
  EXPECT_EQ(bolt->db_model_type, "npart3");
  ready_name_conflict_resolution(*bolt, session);
  EXPECT_EQ(pathname(bolt->local_model), "/frame/mine");
  EXPECT_EQ(pathname(bolt->db_model), "/frame/db");
}

TEST_F(CheckInTest, UnnamedContentsGetAUniqueNameAndNoConflict) {
  seed(R"((:name "widget"))");
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame" :children ((:name "widget" :contents (:sysid "C-W"))))))");
  check_in_context c = scanned("frame");
  EXPECT_TRUE(std::regex_match(name_at("/frame/widget"), std::regex("widget-[0-9A-F]+\\.[0-9A-F]+")))
      << name_at("/frame/widget");
  EXPECT_EQ(check_in_context_remaining_name_conflicts(c), 0);
}

TEST_F(CheckInTest, NamesThatSanitizeAlikeMeetInOneRecord) {
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame" :children ((:name "x" :contents (:name "boltä"))
                                     (:name "y" :contents (:name "boltö"))
                                     (:name "z" :contents (:name "nut"))))))");
  check_in_context c = scanned("frame");
  EXPECT_EQ(name_at("/frame/x"), "bolt1");
  EXPECT_EQ(name_at("/frame/y"), "bolt1");
  ASSERT_EQ(check_in_context_remaining_name_conflicts(c), 1);
  model_name_info* bolt = conflict(c, "bolt1");
  ASSERT_NE(bolt, nullptr);
  EXPECT_EQ(bolt->cluster_shares.size(), 2u);
  EXPECT_EQ(name_double_count(*bolt, session), 2);
}

TEST_F(CheckInTest, AFailedQueryCountsAsAConflictUntilARetrySucceeds) {
  sim::modelmanager::fail_queries(2, "ERROR: database unavailable");
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame" :contents (:name "frame" :children ((:name "p" :contents (:name "plate"))))))");
  check_in_context c = scanned("frame");
  ASSERT_EQ(check_in_context_remaining_name_conflicts(c), 2);
  model_name_info* plate = conflict(c, "plate");
  ASSERT_NE(plate, nullptr);
  EXPECT_EQ(plate->elid, "ERROR: database unavailable");
  EXPECT_TRUE(name_has_doubles_p(*plate, session));
  // Its message is no element id: nothing is loaded or reloaded by it.
  ready_name_conflict_resolution(*plate, session);
  compare_name_doubles(*plate);
  EXPECT_EQ(resolve_name_conflict(*plate, resolution::replace_local_by_db, session), resolution_result::none);
  EXPECT_FALSE(sim::take_queued_command().has_value());
  EXPECT_TRUE(name_has_doubles_p(*plate, session));

  // The failure was not cached: a cached query asks again and succeeds.
  query_model_name_info(*plate);
  EXPECT_EQ(plate->elid, std::nullopt);
  EXPECT_FALSE(name_has_doubles_p(*plate, session));
  cleanup_conflict_queue(c, session);
  EXPECT_EQ(check_in_context_remaining_name_conflicts(c), 1);  // "frame" still waits for its retry
}

TEST_F(CheckInTest, TheNameQueryCacheLivesWhileTheModelStaysCurrent) {
  load("frame.pkg", two_bolts);
  load("plate.pkg", R"((:sdsim-model 1) (:model :sysid "I-PLATE" :name "plate" :contents (:name "plate")))");
  write_analytics({status_of("frame", "S1"), status_of("plate", "S2")});
  check_in_context c = make_check_in_context(dir);
  set_current(c, "models/S1.sda");
  EXPECT_EQ(conflict(c, "frame"), nullptr);
  seed(R"((:name "frame" :elid "E-FRAME"))");

  set_current(c, "models/S1.sda");  // the same model: the cached "no such model" stands
  EXPECT_EQ(conflict(c, "frame"), nullptr);

  set_current(c, "models/S2.sda");
  set_current(c, "models/S1.sda");  // another model in between: asked anew
  ASSERT_NE(conflict(c, "frame"), nullptr);
  EXPECT_EQ(conflict(c, "frame")->elid, "E-FRAME");
}

TEST_F(CheckInTest, ReanalyzingReplacesTheTrackingFeatures) {
  load("frame.pkg", two_bolts);
  check_in_context c = scanned("frame");
  EXPECT_EQ(tracking_feature_count(), 2);
  const name_info_ptr before = *c.current_conflicts.find("bolt");

  set_current(c, "models/S-frame.sda");
  set_current(c, "models/S-frame.sda");
  EXPECT_EQ(tracking_feature_count(), 2);  // one per cluster of "bolt", not one per analysis
  model_name_info* bolt = conflict(c, "bolt");
  ASSERT_NE(bolt, nullptr);
  EXPECT_NE(bolt, before.get());
  EXPECT_EQ(model_name_info_shares_of_cluster(*bolt, contents_at("/frame/a1")).size(), 2u);
  cleanup_conflict_queue(c, session);
  EXPECT_EQ(output.str().find("Removing dead tracking feature"), std::string::npos) << output.str();
  EXPECT_EQ(check_in_context_remaining_name_conflicts(c), 1);

  set_check_in_context_current_model(c, nullptr, session);
  EXPECT_EQ(tracking_feature_count(), 0);
}

TEST_F(CheckInTest, DeletingEveryShareOfOneClusterEndsTheConflict) {
  load("frame.pkg", two_bolts);
  check_in_context c = scanned("frame");
  model_name_info* bolt = conflict(c, "bolt");
  ASSERT_NE(bolt, nullptr);
  EXPECT_EQ(name_double_count(*bolt, session), 2);
  EXPECT_EQ(model_name_info_shares_of_cluster(*bolt, hl::ref(contents_at("/frame/a1"))).size(), 2u);
  c.current_name_conflict = *c.current_conflicts.find("bolt");

  host::elan::delete_3d(hl::list({vtm::records::to_sel_item(at("/frame/b1"))}));
  cleanup_conflict_queue(c, session);
  EXPECT_NE(output.str().find("cleanup-conflict-queue: Removing dead tracking feature from \"bolt\""),
            std::string::npos)
      << output.str();
  EXPECT_NE(output.str().find("cleanup-conflict-queue: \"bolt\" no longer has conflicts"), std::string::npos);
  EXPECT_EQ(check_in_context_remaining_name_conflicts(c), 0);
  EXPECT_EQ(c.current_name_conflict, nullptr);
}

TEST_F(CheckInTest, SharesOfAClusterFollowTheModel) {
  load("frame.pkg", two_bolts);
  check_in_context c = scanned("frame");
  model_name_info* bolt = conflict(c, "bolt");
  ASSERT_NE(bolt, nullptr);
  const hl::ref a = contents_at("/frame/a1");
  std::vector<vtm::records::model_path> shares = model_name_info_shares_of_cluster(*bolt, a);
  ASSERT_EQ(shares.size(), 2u);
  EXPECT_EQ(shares[0].type, host::elan::s_part);
  EXPECT_EQ(session.obj_pathname(shares[0]) + " " + session.obj_pathname(shares[1]), "/frame/a2 /frame/a1");

  host::elan::delete_3d(hl::list({vtm::records::to_sel_item(at("/frame/a2"))}));
  shares = model_name_info_shares_of_cluster(*bolt, a);
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(session.obj_pathname(shares[0]), "/frame/a1");
  EXPECT_TRUE(model_name_info_shares_of_cluster(*bolt, contents_at("/frame")).empty());
}

}  // namespace
}  // namespace checkin_test
