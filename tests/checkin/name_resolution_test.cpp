#include "checkin/name_resolution.h"

#include <regex>

#include "checkin/name_tracking.h"
#include "checkin_fixture.h"
#include "host/lisp/printer.h"
#include "host/mm_commands.h"
#include "host/mm_compare.h"

namespace checkin_test {
namespace {

using namespace vtm::checkin;

class Resolution : public CheckInTest {
 protected:
  // The local conflict of two_bolts, paired.
  model_name_info& local_bolts() {
    load("frame.pkg", two_bolts);
    context = scanned("frame");
    model_name_info* bolt = conflict(context, "bolt");
    EXPECT_NE(bolt, nullptr);
    ready_name_conflict_resolution(*bolt, session);
    return *bolt;
  }
  bool same_contents(const std::string& a, const std::string& b) { return contents_at(a) == contents_at(b); }
  static std::string undo() { return hl::prin1_to_string(hl::eval_string("(sdsim:undo)")); }

  check_in_context context;
};

const std::regex unique_bolt("bolt-[0-9A-F]+\\.[0-9A-F]+");

TEST_F(Resolution, ALocalConflictPairsTheFirstSharesOfTwoClustersAndComparesThemInSession) {
  model_name_info& bolt = local_bolts();
  ASSERT_TRUE(bolt.local_model && bolt.db_model);
  EXPECT_EQ(session.get_contents(*bolt.local_model), contents_at("/frame/a1"));
  EXPECT_EQ(pathname(bolt.db_model), "/frame/b1");
  EXPECT_NE(output.str().find("db-model #S(SEL_ITEM"), std::string::npos) << output.str();
  EXPECT_EQ(model_name_info_selitem(bolt), bolt.local_model);

  compare_name_doubles(bolt);
  const std::vector<std::string> lines = host::modelmanager::comparison_buffer();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Comparing " + pathname(bolt.local_model) + " with /frame/b1");
  EXPECT_EQ(lines[1], "  0 differences");
  // Among local models the check model's "path" is the model itself.
  const hl::ref check_path = hl::symbol_value(host::modelmanager::db_model_path_variable());
  ASSERT_TRUE(host::elan::sel_item_p(check_path));
  EXPECT_EQ(hl::as_string(host::oli::sd_inq_obj_pathname(check_path)), "/frame/b1");
}

TEST_F(Resolution, RenamingTheReferenceEndsALocalConflictBetweenTwoUndoStates) {
  model_name_info& bolt = local_bolts();
  EXPECT_EQ(resolve_name_conflict(bolt, resolution::rename_local, session), resolution_result::rename);
  EXPECT_TRUE(std::regex_match(name_at("/frame/a1"), unique_bolt)) << name_at("/frame/a1");
  EXPECT_EQ(name_at("/frame/b1"), "bolt");
  EXPECT_EQ(bolt.local_model, std::nullopt);
  ASSERT_EQ(bolt.cluster_shares.size(), 1u);  // the renamed cluster left the record
  EXPECT_EQ(bolt.cluster_shares[0].cluster, contents_at("/frame/b1"));
  EXPECT_FALSE(name_has_doubles_p(bolt, session));
  cleanup_conflict_queue(context, session);
  EXPECT_EQ(check_in_context_remaining_name_conflicts(context), 0);

  EXPECT_EQ(undo(), "T");  // back to the state noted before the rename
  EXPECT_EQ(name_at("/frame/a1"), "bolt");
}

TEST_F(Resolution, RenamingTheCheckModelMakesTheReferenceTheCheckModel) {
  model_name_info& bolt = local_bolts();
  const std::optional<vtm::records::model_path> reference = bolt.local_model;
  EXPECT_EQ(resolve_name_conflict(bolt, resolution::rename_check, session), resolution_result::rename);
  EXPECT_TRUE(std::regex_match(name_at("/frame/b1"), unique_bolt)) << name_at("/frame/b1");
  EXPECT_EQ(name_at("/frame/a1"), "bolt");
  EXPECT_EQ(bolt.db_model, reference);
  EXPECT_EQ(name_double_count(bolt, session), 1);
  EXPECT_FALSE(name_has_doubles_p(bolt, session));
}

TEST_F(Resolution, ReplacingTheReferenceByTheCheckModelDropsTheReplacedClusterAndItsFeature) {
  model_name_info& bolt = local_bolts();
  EXPECT_EQ(tracking_feature_count(), 2);
  EXPECT_EQ(resolve_name_conflict(bolt, resolution::replace_reference_by_check, session),
            resolution_result::replace);
  EXPECT_TRUE(same_contents("/frame/a1", "/frame/b1"));
  EXPECT_TRUE(same_contents("/frame/a2", "/frame/b1"));
  EXPECT_EQ(tracking_feature_count(), 1);
  EXPECT_FALSE(name_has_doubles_p(bolt, session));

  // The substitution notes a state of its own between the two.
  EXPECT_EQ(undo(), "T");
  EXPECT_TRUE(same_contents("/frame/a1", "/frame/b1"));
  EXPECT_EQ(undo(), "T");
  EXPECT_FALSE(same_contents("/frame/a1", "/frame/b1"));
}

TEST_F(Resolution, ReplacingTheCheckModelByTheReference) {
  model_name_info& bolt = local_bolts();
  EXPECT_EQ(resolve_name_conflict(bolt, resolution::replace_check_by_reference, session),
            resolution_result::replace);
  EXPECT_TRUE(same_contents("/frame/b1", "/frame/a1"));
  EXPECT_FALSE(name_has_doubles_p(bolt, session));
}

TEST_F(Resolution, AReplacementTheHostRefusesAppliesNothing) {
  // The reference contains the check model: putting it in the check
  // model's place would make it contain itself.
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame"
            :children ((:name "outer" :contents (:sysid "C-OUTER" :name "unit" :type "asbm_struct"
                        :children ((:name "inner" :contents (:sysid "C-INNER" :name "unit")))))))))");
  context = scanned("frame");
  model_name_info* unit = conflict(context, "unit");
  ASSERT_NE(unit, nullptr);
  ready_name_conflict_resolution(*unit, session);
  ASSERT_EQ(pathname(unit->local_model), "/frame/outer");
  ASSERT_EQ(pathname(unit->db_model), "/frame/outer/inner");
  EXPECT_EQ(resolve_name_conflict(*unit, resolution::replace_check_by_reference, session),
            resolution_result::none);
  EXPECT_EQ(session.sysid(contents_at("/frame/outer/inner")), "C-INNER");
  EXPECT_TRUE(name_has_doubles_p(*unit, session));
  EXPECT_EQ(unit->local_model, std::nullopt);  // cleaned all the same
}

TEST_F(Resolution, ResolutionsForLocalConflictsApplyNothingAgainstTheDatabase) {
  seed(R"((:name "bolt" :elid "E-BOLT"))");
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame" :contents (:name "frame" :children ((:name "mine" :contents (:name "bolt"))))))");
  context = scanned("frame");
  model_name_info* bolt = conflict(context, "bolt");
  ASSERT_NE(bolt, nullptr);
  for (resolution r : {resolution::rename_check, resolution::replace_check_by_reference,
                       resolution::replace_reference_by_check}) {
    ready_name_conflict_resolution(*bolt, session);
    EXPECT_EQ(resolve_name_conflict(*bolt, r, session), resolution_result::none);
    EXPECT_EQ(name_at("/frame/mine"), "bolt");
    EXPECT_EQ(bolt->local_model, std::nullopt);
    EXPECT_TRUE(name_has_doubles_p(*bolt, session));
  }
  EXPECT_EQ(resolve_name_conflict(*bolt, resolution_from_keyword("SOMETHING-ELSE"), session),
            resolution_result::none);
  EXPECT_EQ(resolution_from_keyword("RENAME-LOCAL"), resolution::rename_local);
}

TEST_F(Resolution, ADeepReferenceIsReplacedByTheDatabaseComponentInSession) {
  load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame"
 :contents (:name "frame"
            :children ((:name "db" :contents (:sysid "C-DB" :name "bolt" :attributes (("DB-DREF" :elid "E-BOLT"))))
                       (:name "sub" :contents (:name "sub" :type "asbm_struct"
                                               :children ((:name "mine" :contents (:sysid "C-MINE" :name "bolt")))))))))");
  context = scanned("frame");
  model_name_info* bolt = conflict(context, "bolt");
  ASSERT_NE(bolt, nullptr);
  ready_name_conflict_resolution(*bolt, session);
  ASSERT_EQ(pathname(bolt->local_model), "/frame/sub/mine");
  EXPECT_EQ(resolve_name_conflict(*bolt, resolution::replace_local_by_db, session),
            resolution_result::replace);
  EXPECT_EQ(session.sysid(contents_at("/frame/sub/mine")), "C-DB");
  EXPECT_FALSE(name_has_doubles_p(*bolt, session));
  EXPECT_EQ(pathname(bolt->db_model), "/frame/db");
}

class DatabaseModel : public Resolution {
 protected:
  // "frame" uses a local "bolt"; the database stores another "bolt" with a
  // stored file.
  model_name_info& database_bolt() {
    write("stored/bolt.sdp", R"((:sdsim-model 1)
(:model :sysid "I-STORED" :name "bolt"
 :contents (:sysid "C-STORED" :name "bolt" :type "asbm_struct" :children ((:name "pin" :contents (:name "pin"))))))");
    seed(R"((:name "bolt" :elid "E-BOLT" :unique_id_string "U|V" :file "stored/bolt.sdp"))");
    load("frame.pkg", R"((:sdsim-model 1)
(:model :sysid "I-FRAME" :name "frame" :contents (:name "frame" :children ((:name "mine" :contents (:sysid "C-MINE" :name "bolt"))))))");
    context = scanned("frame");
    model_name_info* bolt = conflict(context, "bolt");
    EXPECT_NE(bolt, nullptr);
    ready_name_conflict_resolution(*bolt, session);
    return *bolt;
  }
  static int top_level_count() {
    return int(hl::list_length(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item())));
  }
};

TEST_F(DatabaseModel, ComparingLoadsTheStoredModelWhenTheCommandRuns) {
  model_name_info& bolt = database_bolt();
  ASSERT_EQ(pathname(bolt.local_model), "/frame/mine");
  compare_name_doubles(bolt);
  EXPECT_EQ(top_level_count(), 1);  // not yet: Model Manager answers after this command
  EXPECT_TRUE(host::modelmanager::comparison_buffer().empty());

  run_queued();
  EXPECT_EQ(top_level_count(), 2);
  const hl::ref db_model = hl::symbol_value(host::modelmanager::db_model_variable());
  ASSERT_TRUE(host::elan::sel_item_p(db_model));
  EXPECT_EQ(hl::as_string(host::oli::sd_inq_obj_pathname(db_model)), "/bolt");
  EXPECT_EQ(hl::prin1_to_string(host::modelmanager::get_docelid_from_object(db_model)), "\"E-BOLT\"");
  const std::vector<std::string> lines = host::modelmanager::comparison_buffer();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Comparing /frame/mine with /bolt");
  EXPECT_EQ(lines[1], "  differs: . npart3 \"bolt\" / nasmb3 \"bolt\"");
  EXPECT_EQ(lines[2], "  only in the compared model: ./pin npart3 \"pin\"");

  // Adopted as the check model, it is the database component in session.
  bolt.db_model = vtm::records::from_sel_item(db_model);
  EXPECT_EQ(name_double_count(bolt, session), 1);
}

TEST_F(DatabaseModel, ReplacingATopLevelChildReloadsItFromTheDatabase) {
  model_name_info& bolt = database_bolt();
  EXPECT_EQ(resolve_name_conflict(bolt, resolution::replace_local_by_db, session), resolution_result::reload);
  EXPECT_TRUE(bolt.local_model.has_value());  // the reload's completion cleans up
  EXPECT_EQ(session.sysid(contents_at("/frame/mine")), "C-MINE");
  EXPECT_TRUE(
      hl::is_nil(host::modelmanager::get_docelid_from_object(vtm::records::to_sel_item(at("/frame/mine")))));

  run_queued();
  EXPECT_EQ(session.sysid(contents_at("/frame/mine")), "C-STORED");
  EXPECT_EQ(hl::prin1_to_string(
                host::modelmanager::get_docelid_from_object(vtm::records::to_sel_item(at("/frame/mine")))),
            "\"E-BOLT\"");
  EXPECT_EQ(top_level_count(), 1);  // the stored model was loaded only for its contents
  update_model_name_info(bolt, session);
  EXPECT_FALSE(name_has_doubles_p(bolt, session));
}

TEST_F(DatabaseModel, AReloadWithoutADatabaseObjectAppliesNothing) {
  load("frame.pkg", two_bolts);
  context = scanned("frame");
  model_name_info* bolt = conflict(context, "bolt");
  ASSERT_NE(bolt, nullptr);
  ready_name_conflict_resolution(*bolt, session);
  // /frame/a2 lies directly below the top: no replacement in session.
  EXPECT_EQ(resolve_name_conflict(*bolt, resolution::replace_local_by_db, session), resolution_result::none);
  EXPECT_FALSE(sim::take_queued_command().has_value());
}

TEST_F(DatabaseModel, CommandsAreCheckedWhenSentAndFailuresReportedWhenRun) {
  EXPECT_THROW(host::modelmanager::mm_send_cmd("DELETE 'E1'"), hl::lisp_error);
  EXPECT_THROW(host::modelmanager::mm_send_cmd("RELOAD '/x' 'E1' 'false' 'false' 'INSTANCE'"),
               hl::lisp_error);
  EXPECT_THROW(host::modelmanager::mm_send_cmd("LOAD 'E1' '(f' 'false' 'PART' 'A' 'B'"), hl::lisp_error);
  EXPECT_FALSE(sim::take_queued_command().has_value());

  host::modelmanager::mm_send_cmd(
      "LOAD 'E-NONE' '(modelmanager::cr-compare-models-callback)' 'false' 'PART' "
      "'LOAD_AS_VERSION' 'DO_NOT_APPLY_LOAD_AND_POSITION'");
  run_queued();
  EXPECT_NE(output.str().find("Model Manager: LOAD failed: no stored model with the element id E-NONE"),
            std::string::npos)
      << output.str();
  EXPECT_TRUE(hl::is_nil(host::modelmanager::sd_db_get_uda_contents_by_name(
      host::oli::get_instance(host::elan_ui::get_root_sel_item()), "DB-DREF", {})));
}

}  // namespace
}  // namespace checkin_test
