// The example's scripted stage-2 session (examples/stage2) through the
// built sdhost: what it checks in, that running it again does nothing, and
// that a host killed anywhere in it loses no check-in and makes none twice.
#include "example_run_fixture.h"

namespace assisted_checkin_test {
namespace {

class ScriptedCheckIn : public ExampleRun {
 protected:
  // Runs the example session in a run directory of its own (its database
  // is dir/mm.sqlite) on that directory's staging copy.
  // kill_at: the host's event at which it is killed, e.g. "command:12".
  vtm_test::sdhost_result session(const fs::path& dir, const std::string& kill_at = "") {
    vtm_test::sdhost_run how = host_of(dir);
    if (!kill_at.empty()) how.environment.emplace_back("SDHOST_KILL_AT", kill_at);
    return vtm_test::run_sdhost(
        {"-e", "VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + (dir / "staging").string() + "\"", "-f",
         (example / "checkin.lsp").string()},
        how);
  }
};

TEST_F(ScriptedCheckIn, TheExampleSessionChecksInEveryModelAndItsDrawingOnce) {
  const fs::path dir = prepare("run");
  const auto r = session(dir);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* resolution : {"REPLACE-REFERENCE-BY-CHECK", "RENAME-LOCAL", "REPLACE-LOCAL-BY-DB"})
    EXPECT_NE(r.out.find(std::string("APPLY_RESOLUTION push action for ") + resolution), std::string::npos)
        << resolution << "\n"
        << r.out;
  EXPECT_NE(r.out.find("DB_FINISH_RELOAD shaft"), std::string::npos) << r.out;
  // The bracket's plate went in under a new name, the stored assembly kept its own.
  EXPECT_NE(r.out.find(" models of /bracket; bracket E"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; plate-"), std::string::npos) << r.out;
  for (const queued_model& m : example_models) {
    SCOPED_TRACE(m.staged);
    EXPECT_EQ(checked_in(dir, m.staged), 1) << analytics_of(dir);
    EXPECT_EQ(stored(dir, m.name), 1);
  }
  EXPECT_EQ(checked_in(dir, frame_drawing), 1) << analytics_of(dir);
  EXPECT_NE(r.out.find("Model Manager: stored the drawing DRW-1000"), std::string::npos) << r.out;
  EXPECT_EQ(model_count(dir), models_after_the_session);

  // Again: nothing is left, nothing is stored, nothing is tagged twice.
  const std::string tags_before = analytics_of(dir);
  const auto again = session(dir);
  EXPECT_EQ(again.out.find("Model Manager: stored"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("Dialog MM_STORE_MODIFIED"), std::string::npos) << again.out;
  EXPECT_EQ(model_count(dir), models_after_the_session);
  for (const queued_model& m : example_models) EXPECT_EQ(checked_in(dir, m.staged), 1) << m.staged;
  EXPECT_EQ(checked_in(dir, frame_drawing), 1);
  const auto shown =
      run(dir, {"VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + (dir / "staging").string() + "\"",
                "show dialog", "show tables"});
  last_ = shown.out;
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "0") << shown.out;
  EXPECT_EQ(count(shown.out, "| :CHECKED-IN |"), 8) << shown.out;
}

// The host is killed at events spread over the session; after each kill
// the analytics file tags only what the database holds, and a rerun of the
// session finishes the work without storing anything twice.
TEST_F(ScriptedCheckIn, AHostKilledDuringTheSessionLosesNothingAndStoresNothingTwice) {
  int killed_midway = 0;
  for (const char* event : {"command:8", "store:1", "rename:3", "command:25", "store:6", "drawing-store:1"}) {
    SCOPED_TRACE(std::string("killed at ") + event);
    const fs::path dir = prepare(std::string("kill ") + event);
    const auto killed = session(dir, event);
    ASSERT_EQ(killed.status, 128 + 9) << killed.out << killed.err;

    // Whatever the kill left: a tag only for a model the database holds,
    // and no model stored twice.
    int done = 0;
    for (const queued_model& m : example_models) {
      const int tags = checked_in(dir, m.staged);
      done += tags;
      const int rows = stored(dir, m.name);
      EXPECT_LE(tags, 1) << m.staged;
      EXPECT_LE(rows, 1) << m.name;
      if (tags == 1) {
        EXPECT_EQ(rows, 1) << m.name << " is tagged but not stored";
      }
    }

    if (done > 0 && done < 8) ++killed_midway;
    const auto rerun = session(dir);
    for (const queued_model& m : example_models) {
      EXPECT_EQ(checked_in(dir, m.staged), 1) << m.staged << "\n"
                                              << killed.out << "\n--- rerun\n"
                                              << rerun.out;
      EXPECT_EQ(stored(dir, m.name), 1) << m.name << "\n" << killed.out << "\n--- rerun\n" << rerun.out;
    }
    EXPECT_EQ(checked_in(dir, frame_drawing), 1) << rerun.out;
    EXPECT_EQ(model_count(dir), models_after_the_session) << killed.out << "\n--- rerun\n" << rerun.out;
    if (!HasFailure()) fs::remove_all(dir);
  }
  // Some kills hit the session between its first and its last check-in.
  EXPECT_GT(killed_midway, 0);
}

// The staged file holds the model as the store dialog got it: a host that
// ends before the store completes leaves no resolution to do again.
TEST_F(AssistedCheckIn, TheStagedFileHoldsTheResolvedModelBeforeTheStore) {
  sdhost({open(), load(gearbox), ":modelname \"gear\"", ":apply_resolution", ":check_in", "cancel"});
  ASSERT_NE(last_.find("Model Manager: store cancelled"), std::string::npos) << last_;
  EXPECT_EQ(tagged(gearbox, ":CHECKED-IN"), 0);
  const auto r = sdhost({open(), load(gearbox), "show dialog"});
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "0") << r.out;
  EXPECT_TRUE(available("CHECK_IN")) << r.out;
}

// A host that ended while saving leaves its half-written file in the
// scratch directory, never in the staged one; the next save starts afresh,
// and so does a save that finds a file in the directory kept for it.
TEST_F(AssistedCheckIn, AnInterruptedSaveLeavesNothingBehindForTheNext) {
  fs::create_directories(staging() / "models" / ".saving");
  std::ofstream(staging() / "models" / ".saving" / "I-TWINS.sda") << "(:sdsim-mod";
  sdhost({open(), load(gearbox), ":modelname \"gear\"", ":save_current_model"});
  ASSERT_NE(last_.find("3d: /gearbox -> "), std::string::npos) << last_;
  EXPECT_FALSE(fs::exists(staging() / "models" / ".saving")) << last_;
  ASSERT_TRUE(fs::is_directory(staging() / "models" / ".idle")) << last_;
  std::ofstream(staging() / "models" / ".idle" / "STRAY.sdpc") << "(:sdsim-mod";
  sdhost({open(), load(gearbox), ":modelname \"gear\"", ":save_current_model"});
  ASSERT_NE(last_.find("3d: /gearbox -> "), std::string::npos) << last_;
  EXPECT_FALSE(fs::exists(staging() / "models" / "STRAY.sdpc")) << last_;
  EXPECT_FALSE(fs::exists(staging() / "models" / ".saving")) << last_;
  const auto r = sdhost({open(), load(twins), "show dialog"});
  EXPECT_NE(r.out.find("DB_FINISH_STATUS_UPDATE after input"), std::string::npos) << r.out;
  EXPECT_NE(value("CURRENT_MODEL"), "NIL") << r.out;
}

// A host that ended once a save was whole, before its files were moved,
// leaves the set for the next opening to move over the staged files: the
// set marked by its directory's rename, and the set a marker file marks.
TEST_F(AssistedCheckIn, AWholeSaveLeftBehindIsMovedOverTheStagedFilesAtTheNextOpening) {
  const fs::path models = staging() / "models";
  const std::string staged_text = read(models / "I-GEARBOX.sda");
  for (const std::string scratch : {".saved", ".saving"}) {
    SCOPED_TRACE(scratch);
    const std::string saved_text = staged_text + ";; saved into " + scratch + "\n";
    fs::create_directories(models / scratch);
    std::ofstream(models / scratch / "I-GEARBOX.sda") << saved_text;
    if (scratch == ".saving") std::ofstream(models / scratch / "save.complete") << "complete\n";
    const auto r = sdhost({open(), load(gearbox), "show dialog"});
    EXPECT_NE(r.out.find("An interrupted save into "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" was completed."), std::string::npos) << r.out;
    EXPECT_EQ(read(models / "I-GEARBOX.sda"), saved_text);
    EXPECT_FALSE(fs::exists(models / scratch)) << r.out;
    EXPECT_NE(value("CURRENT_MODEL"), "NIL") << r.out;
  }
}

}  // namespace
}  // namespace assisted_checkin_test
