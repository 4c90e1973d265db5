#include "analytics/migration_analytics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "analytics/analytics_file.h"
#include "analytics/staging_fixture.h"
#include "host/lisp/errors.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"

namespace {

using namespace analytics_test;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

std::vector<std::string> tag_names(const record_status& s) {
  std::vector<std::string> out;
  for (const auto& t : s.tags) out.push_back(t.name);
  return out;
}

template <class S>
std::vector<std::string> keys(const typename status_collection<S>::table_type& table) {
  std::vector<std::string> out;
  for (const auto& [k, v] : table) out.push_back(k);
  return out;
}

TEST_F(Analytics, DrawingsAreAssociatedByLayoutOwnersThenByModelName) {
  model("M1", "frame");
  model("M2", "gear");
  contents("C1", "frame", {"M1"}, {"I1", "I2"});
  contents("C2", "gear", {"M2"}, {"I3"});
  contents("C3", "pump", {"M1", "M2"});
  contents("C4", "lonely", {});
  contents("C5", "lonely", {}, {"I9"});  // found by layout, but in no model
  {
    // A record the host's reader reads (a comment in it): decoded whole.
    std::ofstream out(dir_ / components_file, std::ios::binary | std::ios::app);
    out << "\n#S(VANTREL-MIGRATOR:CONTENTS-INFO ; written by hand\n :SYSID \"C6\" :TYPENAME \"part_struct\" "
           ":FILENAME #P\"C6.sdpc\" :CHILD-SYSIDS NIL :TAGS NIL :METAKEY NIL :SHARES NIL :MODEL-SYSIDS "
           "(\"M2\") "
           ":PARENT-SYSIDS NIL :LAYOUT-OWNER-SYSIDS (\"I4\") :CHECK-RESULT NIL :DB-GREF NIL)";
  }
  drawing("full", {"I1", "I3"});
  drawing("part", {"I2", "I7", "I3"});
  drawing("pump", {});
  drawing("none", {"I8"});
  drawing("lonely", {"I9"});
  drawing("by-hand", {"I4"});
  migration_analytics a = make();

  const ami_drawing_status& full = *a.for_drawings.ready_for_checkin.find("full.bi");
  EXPECT_THAT(tag_names(full), ElementsAre("FULLY-ASSOCIATED"));
  EXPECT_THAT(full.model_sysids, ElementsAre("M1", "M2"));
  const ami_drawing_status& part = *a.for_drawings.warnings.find("part.bi");
  EXPECT_THAT(tag_names(part), ElementsAre("PARTIALLY-ASSOCIATED"));
  EXPECT_EQ(part.resolved_sysids, (std::vector<resolved_sysid>{{"I2", {"C1"}}, {"I7", {}}, {"I3", {"C2"}}}));
  const ami_drawing_status& pump = *a.for_drawings.warnings.find("pump.bi");
  EXPECT_THAT(tag_names(pump), ElementsAre("ASSOCIATED-BY-MODEL-NAME"));
  EXPECT_THAT(pump.model_sysids, ElementsAre("M1", "M2"));
  EXPECT_THAT(tag_names(*a.for_drawings.errors.find("none.bi")), ElementsAre("ORPHAN"));
  const ami_drawing_status& by_hand = *a.for_drawings.ready_for_checkin.find("by-hand.bi");
  EXPECT_EQ(by_hand.resolved_sysids, (std::vector<resolved_sysid>{{"I4", {"C6"}}}));
  EXPECT_THAT(by_hand.model_sysids, ElementsAre("M2"));
  // Layout found, no model: the name lookup finds none either.
  EXPECT_THAT(tag_names(*a.for_drawings.errors.find("lonely.bi")), ElementsAre("ORPHAN"));

  // Each model lists the staged drawings that are not orphans.
  const model_status* m1 = a.for_models.ready_for_checkin.find("in/frame.pkg/frame");
  ASSERT_NE(m1, nullptr);
  EXPECT_THAT(m1->associated_drawings,
              UnorderedElementsAre(fs::path("drawings.ami/full.bi"), fs::path("drawings.ami/part.bi"),
                                   fs::path("drawings.ami/pump.bi")));
}

TEST_F(Analytics, ModelTagsAndCategories) {
  model("WP", "plane", "nwp");
  model("N", "names");
  model("B", "broken");
  model("L", "lost");
  model("OK", "fine");
  contents("N1", "bolt", {"N"});
  contents("N2", "bolt", {"N"});
  contents("N3", "washer", {"N"});
  contents("N4", "washer", {"N"});
  contents("B1", "nut", {"B"}, {}, true);
  contents("B2", "nut", {"B"});
  contents("B3", "nut", {"OK"});  // one record of the name in that model: no conflict there
  contents("LA", "asm", {"L"}, {}, false, {}, {});
  contents("LP", "part", {"L"}, {}, false, {"LA"});
  change_info lost;
  lost.locations = {"in/lost.pkg/lost/asm/part"};
  lost.key_before = cluster_composite_key{{"part", 1.0, std::nullopt, std::nullopt}, "OLD"};
  lost.key_after = cluster_composite_key{{"part", 1.0, std::nullopt, std::nullopt}, "LP"};
  lost.reason = {"SYSID-CONFLICT"};
  write(changelog_file, vtm::core::to_lisp(lost));
  migration_analytics a = make();

  EXPECT_THAT(tag_names(*a.for_models.warnings.find("in/plane.pkg/plane")), ElementsAre("TOP-LEVEL-WP"));
  const model_status& names = *a.for_models.warnings.find("in/names.pkg/names");
  EXPECT_THAT(tag_names(names), ElementsAre("MODEL-NAME-CONFLICT"));
  // A model's conflicts: the name met last in the walk of the model-name map first.
  std::vector<std::string> walked;
  for (const auto& [name, sysids] : make_component_records(dir_).make_model_name_map())
    if (name == "bolt" || name == "washer") walked.insert(walked.begin(), name);
  ASSERT_EQ(names.model_name_conflicts.size(), 2u);
  EXPECT_EQ(names.model_name_conflicts[0].name, walked[0]);
  EXPECT_EQ(names.model_name_conflicts[1].name, walked[1]);
  for (const model_name_conflict& c : names.model_name_conflicts)
    EXPECT_THAT(c.sysids,
                c.name == "bolt" ? UnorderedElementsAre("N1", "N2") : UnorderedElementsAre("N3", "N4"));
  const model_status& broken = *a.for_models.errors.find("in/broken.pkg/broken");
  EXPECT_THAT(tag_names(broken), ElementsAre("MODEL-NAME-CONFLICT", "CORRUPT"));
  EXPECT_THAT(broken.corrupt, ElementsAre("B1"));
  const model_status& lost_model = *a.for_models.errors.find("in/lost.pkg/lost");
  EXPECT_THAT(tag_names(lost_model), ElementsAre("DISCONNECTED"));
  EXPECT_EQ(lost_model.disconnects, (std::vector<std::pair<std::string, std::string>>{{"LA", "LP"}}));
  EXPECT_THAT(tag_names(*a.for_models.ready_for_checkin.find("in/fine.pkg/fine")), ElementsAre());

  model_status checked = broken;
  checked.tags.insert(checked.tags.begin(), {"CHECKED-IN"});
  EXPECT_EQ(model_status_category(checked), category::ok);
  ami_drawing_status orphan;
  orphan.tags = {{"CHECKED-IN"}, {"ORPHAN"}};
  EXPECT_EQ(ami_drawing_status_category(orphan), category::errors);
  EXPECT_EQ(model_status_sysid(broken), "B");
  EXPECT_EQ(model_status_instancename(broken), "/broken");

  auto tagged = map_status_records(a.for_models, category::errors, std::string("CORRUPT"),
                                   [](const model_status& s) { return s.key; });
  EXPECT_THAT(tagged, ElementsAre("in/broken.pkg/broken"));
  EXPECT_EQ(map_status_records(a.for_models, category::warnings, std::nullopt,
                               [](const model_status&) { return 1; })
                .size(),
            2u);
}

TEST_F(Analytics, TheFileReadsBackAndOnlyGrows) {
  model("M1", "frame");
  contents("C1", "frame", {"M1"}, {"I1"});
  drawing("d", {"I1"});
  drawing("orphan", {"I5"});
  EXPECT_FALSE(load_migration_analytics(dir_));
  migration_analytics made = make();

  std::optional<migration_analytics> loaded = load_migration_analytics(dir_);
  ASSERT_TRUE(loaded);
  EXPECT_THAT(keys<ami_drawing_status>(loaded->for_drawings.ready_for_checkin), ElementsAre("d.bi"));
  EXPECT_THAT(keys<ami_drawing_status>(loaded->for_drawings.errors), ElementsAre("orphan.bi"));
  EXPECT_EQ(*loaded->for_models.ready_for_checkin.find("in/frame.pkg/frame"),
            *made.for_models.ready_for_checkin.find("in/frame.pkg/frame"));

  // A checked-in model appended later replaces its earlier status on loading.
  model_status checked = *made.for_models.ready_for_checkin.find("in/frame.pkg/frame");
  checked.tags = {{"CHECKED-IN"}};
  update_model_analytics(made.for_models, checked, dir_);
  std::ofstream(analytics_file_path(dir_), std::ios::app) << "\n#S(MODEL-STATUS :KEY \"cut";  // a crash
  std::ostringstream warnings;
  hl::set_standard_output(warnings);
  loaded = load_migration_analytics(dir_);
  hl::set_standard_output(std::cout);
  EXPECT_NE(warnings.str().find("cut off"), std::string::npos) << warnings.str();
  EXPECT_THAT(tag_names(*loaded->for_models.ready_for_checkin.find("in/frame.pkg/frame")),
              ElementsAre("CHECKED-IN"));
  // The fragment is gone: the next append reads back.
  update_model_analytics(made.for_models, checked, dir_);
  EXPECT_TRUE(load_migration_analytics(dir_));

  const fs::path other = dir_ / "other";
  fs::create_directories(other);
  EXPECT_THROW(update_model_analytics(made.for_models, checked, other), hl::lisp_error);
  EXPECT_FALSE(fs::exists(analytics_file_path(other)));
}

// A stage-1 rerun after check-ins rebuilds the file: what the check-in did
// stays with every model and drawing still staged as before, or the next
// batch would check them in again.
TEST_F(Analytics, ARebuildKeepsTheCheckInTagsAndTellsUnsavedModels) {
  model("M1", "frame");
  model("M2", "plane", "nwp");
  model("M3", "shaft");
  contents("C1", "frame", {"M1"}, {"I1"});
  drawing("d", {"I1"});
  migration_analytics made = make();
  model_status frame = *made.for_models.ready_for_checkin.find("in/frame.pkg/frame");
  frame.tags.insert(frame.tags.begin(), {"CHECKED-IN"});
  update_model_analytics(made.for_models, frame, dir_);
  model_status plane = *made.for_models.warnings.find("in/plane.pkg/plane");
  plane.tags.insert(plane.tags.begin(), {"CHECKED-IN"});
  update_model_analytics(made.for_models, plane, dir_);
  ami_drawing_status d = *made.for_drawings.ready_for_checkin.find("d.bi");
  d.tags.insert(d.tags.begin(), {"CHECKED-IN"});
  update_ami_drawing_analytics(made.for_drawings, d, dir_);

  const migration_analytics rebuilt = make({"M3"});
  EXPECT_THAT(tag_names(*rebuilt.for_models.ready_for_checkin.find("in/frame.pkg/frame")),
              ElementsAre("CHECKED-IN"));
  ASSERT_TRUE(rebuilt.for_models.ready_for_checkin.find("in/plane.pkg/plane"));
  EXPECT_THAT(tag_names(*rebuilt.for_models.ready_for_checkin.find("in/plane.pkg/plane")),
              ElementsAre("CHECKED-IN", "TOP-LEVEL-WP"));
  EXPECT_THAT(tag_names(*rebuilt.for_drawings.ready_for_checkin.find("d.bi")),
              ElementsAre("CHECKED-IN", "FULLY-ASSOCIATED"));
  // A model that could not be saved is an error, not ready for check-in.
  ASSERT_TRUE(rebuilt.for_models.errors.find("in/shaft.pkg/shaft"));
  EXPECT_THAT(tag_names(*rebuilt.for_models.errors.find("in/shaft.pkg/shaft")), ElementsAre("SAVE-FAILED"));

  // What is read back is what the rebuild wrote, and a third build keeps it.
  const std::optional<migration_analytics> loaded = load_migration_analytics(dir_);
  ASSERT_TRUE(loaded);
  EXPECT_THAT(tag_names(*loaded->for_models.ready_for_checkin.find("in/frame.pkg/frame")),
              ElementsAre("CHECKED-IN"));
  EXPECT_THAT(tag_names(*make().for_models.ready_for_checkin.find("in/plane.pkg/plane")),
              ElementsAre("CHECKED-IN", "TOP-LEVEL-WP"));
}

}  // namespace
