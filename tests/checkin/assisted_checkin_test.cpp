// Stage 2 end to end through the host's console: opening a staging
// directory, loading queued models, resolving their name conflicts,
// checking them and their drawings into Model Manager, and what the
// analytics file keeps of it for later runs.
#include "assisted_checkin_fixture.h"
#include "core/file_lock.h"

namespace assisted_checkin_test {
namespace {

TEST_F(AssistedCheckIn, OnlyADirectoryWithAnalyticsIsAStagingDirectory) {
  fs::create_directories(dir_ / "plain");
  const auto r =
      sdhost({"VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + (dir_ / "plain").string() + "\"",
              "show dialog"});
  EXPECT_NE(r.out.find("This is not a Staging Directory"), std::string::npos) << r.out;
  EXPECT_EQ(value("STAGING_DIRECTORY"), "NIL");

  sdhost({open(), "show dialog"});
  // Eight models wait; the top-level workplane is not one to check in.
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "8") << last_;
  EXPECT_EQ(value("CURRENT_MODEL"), "NIL");
  EXPECT_FALSE(available("CHECK_IN"));

  // A typed directory is where the next start of the dialog begins.
  sdhost({open(), "cancel", "VANTREL_MM_ASSISTED_CHECKIN", "show dialog"});
  EXPECT_EQ(value("STAGING_DIRECTORY"), "\"" + staging().string() + "\"") << last_;
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "8") << last_;
}

TEST_F(AssistedCheckIn, AModelIsCheckedInThroughTheStoreDialogAndLaterRunsKnowIt) {
  const auto r =
      sdhost({open(), load(shaft), ":check_in", "show dialog", "complete", "show dialog", "show tables"});
  EXPECT_NE(r.out.find("DB_FINISH_STATUS_UPDATE after input"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Dialog MM_STORE_MODIFIED"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("DB_FINISH_CHECKIN save to disk /shaft"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("| \"/shaft\" | :CHECKED-IN | 0 | 0 | \"models/I-SHAFT.sdp\""), std::string::npos)
      << r.out;
  // Unchanged since its load, the model is saved once, after the store.
  EXPECT_EQ(count(r.out, "3d: /shaft -> "), 1) << r.out;
  // The model is done: the queue is one shorter and no model is current.
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "7") << r.out;
  EXPECT_EQ(value("CURRENT_MODEL"), "NIL");
  EXPECT_EQ(tagged(shaft, ":CHECKED-IN"), 1) << analytics();

  // A later host session on the directory lists it as checked in and does
  // not offer to check it in again.
  const auto stored = sdhost({"(modelmanager:mm-query-by-name \"$MODEL\" \"$ALL\" \"shaft\" 10)"});
  EXPECT_NE(stored.out.find("\"E1\" \"shaft\""), std::string::npos) << stored.out;
  const auto again = sdhost({open(), load(shaft), "show dialog"});
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "7") << again.out;
  EXPECT_NE(value("CURRENT_MODEL"), "NIL") << again.out;
  EXPECT_FALSE(available("CHECK_IN")) << again.out;
}

// The Import Queue shown at a start of the dialog, which refreshes the rows
// shown before, is the one a fresh host fills: a loaded model is pending
// again and a checked-in one counts its new tag.
TEST_F(AssistedCheckIn, TheImportQueueARestartRefreshesIsTheOneAFreshHostFills) {
  const auto import_queue = [](const std::string& out) {
    const std::size_t at = out.rfind("display VANTREL-MODEL-QUEUE-VIEW");
    return at == std::string::npos ? std::string() : out.substr(at, out.find(" rows\n", at) - at);
  };
  const auto r = sdhost({open(), load(shaft), ":check_in", "complete", load(gearbox), "show tables", "cancel",
                         "VANTREL_MM_ASSISTED_CHECKIN", "show tables", "cancel"});
  const std::size_t restart = r.out.find("Cleanup\n", r.out.find("Tables:"));
  ASSERT_NE(restart, std::string::npos) << r.out;
  const std::string shown = import_queue(r.out.substr(0, restart));
  EXPECT_NE(shown.find("| \"/gearbox\" | :LOADED | 1 |"), std::string::npos) << r.out;
  EXPECT_NE(shown.find("| \"/shaft\" | :CHECKED-IN | 0 |"), std::string::npos) << r.out;
  const std::string refreshed = import_queue(r.out.substr(restart));
  EXPECT_NE(refreshed.find("| \"/gearbox\" | :PENDING | 1 |"), std::string::npos) << r.out;
  EXPECT_NE(refreshed.find("| \"/shaft\" | :CHECKED-IN | 1 |"), std::string::npos) << r.out;
  sdhost({open(), "show tables", "cancel"});
  EXPECT_EQ(refreshed, import_queue(last_));
}

TEST_F(AssistedCheckIn, ACompletionWithoutAStoreTagsNothing) {
  const auto r =
      sdhost({open(), load(shaft), "VANTREL_MM_ASSISTED_CHECKIN :db_finish_checkin", "show dialog"});
  EXPECT_NE(r.out.find("DB_FINISH_CHECKIN /shaft is not stored"), std::string::npos) << r.out;
  EXPECT_EQ(tagged(shaft, ":CHECKED-IN"), 0) << analytics();
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "8");
}

TEST_F(AssistedCheckIn, AModelWithErrorsIsCheckedInOnlyWithIgnoreErrors) {
  sdhost({open(), load(frame), "show dialog", ":ignore_errors :on", "show dialog", ":show_error_report"});
  EXPECT_NE(last_.find(staging().string() + "/report.htm#I-FRAME"), std::string::npos) << last_;
  EXPECT_EQ(value("MODEL_ERRORS"), "1") << last_;
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "0");
  EXPECT_EQ(value("DRAWING_COUNT"), "1");
  EXPECT_TRUE(available("SHOW_ERROR_REPORT"));
  EXPECT_TRUE(available("CHECK_IN"));
  const std::size_t first = last_.find("\n  CHECK_IN \"");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(last_.substr(first, 60).find("[disabled]"), std::string::npos) << last_;

  // Without errors the toggle is not offered at all.
  sdhost({open(), load(shaft), "show dialog"});
  EXPECT_EQ(value("MODEL_ERRORS"), "0");
  EXPECT_TRUE(hidden("IGNORE_ERRORS"));
  EXPECT_TRUE(hidden("SHOW_ERROR_REPORT"));
}

// The frame holds a layout, whose contents is no model of its own and
// carries no model name.
TEST_F(AssistedCheckIn, AModelWithALayoutChecksInWithItsDrawing) {
  sdhost({open(), load(frame), ":ignore_errors :on", ":check_in", "complete", "show dialog",
          ":staged_dwg \"" + std::string(frame_drawing) + "\"", "show dialog"});
  EXPECT_EQ(tagged(frame, ":CHECKED-IN"), 1) << last_;
  EXPECT_TRUE(available("CURRENT_DRAWING"));
  // With the frame in session only the view without an owner is stale.
  EXPECT_EQ(value("STALE_VIEWS"), "1") << last_;
}

// The bracket, which the example stages without drawings, is given the
// frame's drawing in the analytics file: once it is checked in, the drawing
// follows, its views showing the frame, which is not in session.
TEST_F(AssistedCheckIn, TheDrawingsOfACheckedInModelFollowIt) {
  std::string bracket_status;
  {
    std::istringstream lines(analytics());
    for (std::string line; std::getline(lines, line);)
      if (line.find(":STAGED #P\"models/I-BRACKET.sda\"") != std::string::npos) bracket_status = line;
  }
  ASSERT_FALSE(bracket_status.empty()) << analytics();
  const std::size_t nil = bracket_status.rfind(":ASSOCIATED-DRAWINGS NIL");
  ASSERT_NE(nil, std::string::npos) << bracket_status;
  bracket_status.replace(nil, std::string(":ASSOCIATED-DRAWINGS NIL").size(),
                         ":ASSOCIATED-DRAWINGS (#P\"" + std::string(frame_drawing) +
                             "\" #P\"drawings.ami/DRW-2001@bracket.ami\")");
  std::ofstream(staging() / "analytics.lsp", std::ios::app) << "\n" << bracket_status << "\n";

  const std::string bracket = "models/I-BRACKET.sda";
  const std::string pick = ":staged_dwg \"" + std::string(frame_drawing) + "\"";
  auto r = sdhost({open(), load(bracket), ":check_in", "complete", "show dialog", "show tables", pick,
                   "show dialog", ":check_in_drawing", "show dialog"});
  // The orphaned drawing had errors and is not queued: neither counted nor listed.
  const std::size_t queued = r.out.find("\n  DRAWING_COUNT \"Queued Drawings\" number = ");
  ASSERT_NE(queued, std::string::npos) << r.out;
  EXPECT_NE(r.out.substr(queued, 60).find("= 1"), std::string::npos) << r.out.substr(queued, 60);
  EXPECT_NE(
      r.out.find("| \"DRW-1000\" | :PENDING | (:PARTIALLY-ASSOCIATED) | \"" + std::string(frame_drawing)),
      std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("| \"DRW-2001\""), std::string::npos) << r.out;
  EXPECT_EQ(tagged(bracket, ":CHECKED-IN"), 1) << r.out;
  EXPECT_NE(r.out.find("STAGED_DWG after input " + std::string(frame_drawing) + " - DRW-1000"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("DB_FINISH_DWG_CHECKIN"), std::string::npos) << r.out;
  EXPECT_EQ(tagged(frame_drawing, ":CHECKED-IN"), 1) << r.out << analytics();
  EXPECT_EQ(value("DRAWING_COUNT"), "0") << r.out;
  EXPECT_EQ(value("CURRENT_DRAWING"), "NIL");
  EXPECT_FALSE(available("CHECK_IN_DRAWING"));
  // Two views show the frame, which is not in session, and one shows no
  // model at all: none has a 3D counterpart.
  const std::size_t stale = r.out.find("\n  STALE_VIEWS \"Stale Views\" number = ");
  ASSERT_NE(stale, std::string::npos);
  const std::size_t second = r.out.find("\n  STALE_VIEWS \"Stale Views\" number = ", stale + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(r.out.substr(second, 60).find("= 3"), std::string::npos) << r.out.substr(second, 60);

  // A later run shows the drawing checked in and no longer queued.
  r = sdhost({open(), load(bracket), "show dialog"});
  EXPECT_EQ(value("DRAWING_COUNT"), "0") << r.out;
}

TEST_F(AssistedCheckIn, ALocalConflictIsResolvedBeforeCheckIn) {
  auto r = sdhost({"(vantrel-migrator::activate-module)", open(), load(gearbox), "show dialog",
                   ":modelname \"gear\"", "show browser", "show dialog"});
  // The conflict view marks every component of the name and highlights them.
  EXPECT_NE(r.out.find("view NAME-CONFLICT-BROWSER-VIEW"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("search ModelNameConflicts \"Model Name Search\" :CONTENTS-NAME :EQUALS \"gear\""),
            std::string::npos)
      << r.out;
  EXPECT_EQ(count(r.out, "| gear | Local x2 |"), 3) << r.out;
  EXPECT_EQ(count(r.out, "| bolt M8 |  |"), 1) << r.out;
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "1") << r.out;
  EXPECT_FALSE(available("CHECK_IN"));
  EXPECT_EQ(value("CONFLICT_TYPE"), "\"Local\"") << r.out;
  EXPECT_EQ(value("COMPONENT_COUNT"), "2");
  EXPECT_EQ(value("RESOLUTION"), ":REPLACE-REFERENCE-BY-CHECK");
  EXPECT_NE(state("RESOLUTION")
                .find("(:RENAME-LOCAL :RENAME-CHECK :REPLACE-REFERENCE-BY-CHECK "
                      ":REPLACE-CHECK-BY-REFERENCE)"),
            std::string::npos)
      << state("RESOLUTION");
  EXPECT_TRUE(available("COMPARE"));

  r = sdhost({open(), load(gearbox), ":modelname \"gear\"", ":apply_resolution", "show dialog", ":check_in",
              "complete", "show dialog"});
  EXPECT_NE(r.out.find("APPLY_RESOLUTION push action for REPLACE-REFERENCE-BY-CHECK"), std::string::npos)
      << r.out;
  EXPECT_EQ(tagged(gearbox, ":CHECKED-IN"), 1) << r.out << analytics();
}

TEST_F(AssistedCheckIn, EachRenameResolvesALocalConflict) {
  for (const std::string how : {":rename-local", ":rename-check", ":replace-check-by-reference"}) {
    SCOPED_TRACE(how);
    sdhost({open(), load(gearbox), ":modelname \"gear\"", ":resolution " + how, ":apply_resolution",
            "show dialog"});
    EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "0") << last_;
    EXPECT_TRUE(available("CHECK_IN")) << last_;
    // With the last conflict gone the name and its setup are put away.
    EXPECT_EQ(value("CURRENT_MODEL_NAME"), "NIL");
    EXPECT_FALSE(available("CURRENT_MODEL_NAME"));
    EXPECT_TRUE(hidden("COMPONENT_COUNT"));
    EXPECT_EQ(last_.find("search ModelNameConflicts"), std::string::npos) << last_;
  }
}

TEST_F(AssistedCheckIn, ANameStoredForAnotherModelIsRenamedAway) {
  const std::string seeding = seed("(:name \"shaft\" :sysid \"OTHER-SHAFT\")\n");
  auto r = sdhost({seeding, open(), load(shaft), ":modelname \"shaft\"", "show dialog"});
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "1") << r.out;
  EXPECT_FALSE(available("CHECK_IN"));
  // Stored as another kind of model: only a new name for the local one helps.
  EXPECT_NE(state("RESOLUTION").find("= :RENAME-LOCAL of (:RENAME-LOCAL)"), std::string::npos)
      << state("RESOLUTION");

  r = sdhost({seeding, open(), load(shaft), ":modelname \"shaft\"", ":resolution :rename-local",
              ":apply_resolution", "show dialog"});
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "0") << r.out;
  EXPECT_TRUE(available("CHECK_IN")) << r.out;
}

TEST_F(AssistedCheckIn, AFailedNameQueryBlocksCheckInUntilARetrySucceeds) {
  const std::string retry = "PRESS_TABLE_BUTTON \"VANTREL-NAME-CONFLICT-QUEUE-VIEW\" \"Retry\"";
  const auto r =
      sdhost({"(sdsim:mm-fail-queries 1000 \"ERROR: database unavailable\")", open(), load(shaft),
              "show dialog", "show tables", ":check_in", retry, "show dialog", "cancel",
              "(sdsim:mm-fail-queries 0 \"\")", "VANTREL_MM_ASSISTED_CHECKIN", retry, "show dialog"});
  EXPECT_NE(r.out.find(
                "| \"shaft\" | \"npart3\" | :DATABASE | :PENDING | \"ERROR: database unavailable\" | :ERROR"),
            std::string::npos)
      << r.out;
  const std::size_t first = r.out.find("\n  CHECK_IN \"");
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_NE(r.out.substr(first, 60).find("[disabled]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CHECK_IN is not available now"), std::string::npos) << r.out;
  // A retry that fails again leaves the model blocked.
  const std::size_t second = r.out.find("\n  CHECK_IN \"", first + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(r.out.substr(second, 60).find("[disabled]"), std::string::npos) << r.out;
  EXPECT_EQ(tagged(shaft, ":CHECKED-IN"), 0);
  // Once the database answers, the name is free.
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "0") << r.out;
  EXPECT_TRUE(available("CHECK_IN")) << r.out;
}

TEST_F(AssistedCheckIn, ApplyingAnotherRowEmptiesTheSessionFirst) {
  const auto r =
      sdhost({open(), load(shaft), load(twins), "cancel", "(sdsim:list-session)", open(), "show dialog"});
  EXPECT_EQ(count(r.out, "\n/shaft "), 0) << r.out;
  EXPECT_EQ(count(r.out, "\n/twins "), 1) << r.out;
  // The same directory again keeps the model in session and current.
  EXPECT_NE(value("CURRENT_MODEL"), "NIL") << r.out;
  // Once for the new context, once per model loaded.
  EXPECT_EQ(count(r.out, "clear-session"), 3) << r.out;

  // Another directory empties the session.
  const fs::path other = dir_ / "other staging";
  fs::copy(staging(), other, fs::copy_options::recursive);
  const auto o = sdhost({open(), load(shaft),
                         "VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + other.string() + "\"",
                         "show dialog", "cancel", "(sdsim:list-session)"});
  EXPECT_EQ(value("CURRENT_MODEL"), "NIL") << o.out;
  EXPECT_EQ(count(o.out, "\n/shaft "), 0) << o.out;
}

// The database holds another "shaft" with its own stored file.
std::string stored_shaft(const fs::path& dir) {
  fs::create_directories(dir / "stored");
  std::ofstream(dir / "stored" / "shaft.sdp") << "(:sdsim-model 1)\n(:model :sysid \"DB-SHAFT-I\" :name "
                                                 "\"shaft\" :contents (:sysid \"DB-SHAFT\" :name "
                                                 "\"shaft\"))\n";
  return "(:name \"shaft\" :sysid \"DB-SHAFT\" :elid \"E-SHAFT\" :unique_id_string \"U-SHAFT\" "
         ":model_objtype "
         "\"npart3\" :file \"stored/shaft.sdp\")\n";
}

TEST_F(AssistedCheckIn, TheComparedDatabaseModelBecomesTheCheckModelAndReplacesTheReference) {
  const std::string seeding = seed(stored_shaft(dir_));
  const auto r = sdhost({seeding, open(), load(shaft), ":modelname \"shaft\"", "show dialog", ":compare",
                         "VANTREL_MM_ASSISTED_CHECKIN", "show tables", ":apply_resolution", "show dialog",
                         "cancel", "(sdsim:list-session)"});
  const std::size_t compare = r.out.find("\n  COMPARE \"Compare\" button");
  ASSERT_NE(compare, std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(compare, 40).find("["), std::string::npos) << r.out.substr(compare, 40);
  const std::size_t first = r.out.find("\n  RESOLUTION \"");
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_NE(r.out.substr(first, 120).find(":REPLACE-LOCAL-BY-DB of (:RENAME-LOCAL :REPLACE-LOCAL-BY-DB)"),
            std::string::npos)
      << r.out.substr(first, 120);
  // After the comparison the database model is in session and paired.
  EXPECT_NE(r.out.find("| \"shaft\" | \"npart3\" | :DATABASE | :PENDING | \"E-SHAFT\" | :DB+MODEL |"),
            std::string::npos)
      << r.out;
  // The top-level reference is reloaded from the database; the completion
  // removes the comparison's model again.
  EXPECT_NE(r.out.find("DB_FINISH_RELOAD shaft"), std::string::npos) << r.out;
  EXPECT_EQ(value("MODEL_NAME_CONFLICTS"), "0") << r.out;
  EXPECT_TRUE(available("CHECK_IN"));
  EXPECT_NE(r.out.find("/shaft  npart3 I-SHAFT  -> part_struct \"shaft\" DB-SHAFT"), std::string::npos)
      << r.out;
  EXPECT_EQ(count(r.out, "\n/shaft_2 "), 0) << r.out;
}

TEST_F(AssistedCheckIn, ATypeMismatchWithTheDatabaseOffersOnlyARename) {
  const std::string seeding = seed("(:name \"shaft\" :model_objtype \"nasmb3\")\n");
  sdhost({seeding, open(), load(shaft), ":modelname \"shaft\"", "show dialog"});
  EXPECT_EQ(value("CONFLICT_TYPE"), "\"Type Mismatch\"") << last_;
  EXPECT_FALSE(available("COMPARE"));
  EXPECT_NE(state("RESOLUTION").find("= :RENAME-LOCAL of (:RENAME-LOCAL)"), std::string::npos)
      << state("RESOLUTION");
}

TEST_F(AssistedCheckIn, SavingWritesTheModelOverItsStagedFile) {
  const fs::path staged = staging() / gearbox;
  const auto before = fs::last_write_time(staged);
  fs::last_write_time(staged, before - std::chrono::hours(1));
  sdhost({open(), load(gearbox), ":modelname \"gear\"", ":save_current_model", "show dialog"});
  EXPECT_NE(last_.find("3d: /gearbox -> " + (staging() / "models").string()), std::string::npos) << last_;
  EXPECT_GT(fs::last_write_time(staged), before - std::chrono::hours(1));
  EXPECT_EQ(last_.find("Error: "), std::string::npos) << last_;
  EXPECT_EQ(last_.find("Error box"), std::string::npos) << last_;
  // Saved, not checked in.
  EXPECT_EQ(tagged(gearbox, ":CHECKED-IN"), 0);
}

TEST_F(AssistedCheckIn, AModelStoredAlreadyIsCompletedWithoutTheStoreDialog) {
  // The same staging run twice over one database: the first copy's check-in
  // stores the shaft, which the second copy then finds up to date.
  const fs::path first = dir_ / "first staging";
  fs::copy(staging(), first, fs::copy_options::recursive);
  sdhost({"VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + first.string() + "\"", load(shaft),
          ":check_in", "complete"});
  ASSERT_NE(last_.find("Model Manager: stored 1 models of /shaft"), std::string::npos) << last_;

  const auto r = sdhost({open(), load(shaft), "show mm-status", ":check_in", "show dialog"});
  EXPECT_NE(r.out.find(":UP-TO-DATE"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Dialog MM_STORE_MODIFIED"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Model Manager: stored"), std::string::npos) << r.out;
  EXPECT_EQ(tagged(shaft, ":CHECKED-IN"), 1) << r.out;
  EXPECT_EQ(value("QUEUED_FOR_CHECK_IN"), "7");
}

TEST_F(AssistedCheckIn, AComponentWhoseSysidTheDatabaseHoldsForAnotherModelGetsAFreshOne) {
  const auto r = sdhost({seed("(:name \"other\" :sysid \"C-SHAFT\")\n"), open(), load(shaft),
                         "show mm-status", ":check_in", "complete", "cancel", "(sdsim:list-session)"});
  EXPECT_NE(r.out.find(":SYSID-CONFLICT"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Model Manager: stored 1 models of /shaft"), std::string::npos) << r.out;
  // The fresh sysid is saved before the store as well: a host that ends in
  // between leaves a staged model the database knows.
  EXPECT_EQ(count(r.out, "3d: /shaft -> "), 2) << r.out;
  EXPECT_EQ(tagged(shaft, ":CHECKED-IN"), 1) << r.out;
  const std::size_t at = r.out.find("\n/shaft  npart3 I-SHAFT  -> part_struct \"shaft\" ");
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(at, 80).find("C-SHAFT"), std::string::npos) << r.out.substr(at, 80);
}

TEST_F(AssistedCheckIn, FocusingDrawsOnlyTheChosenComponent) {
  sdhost({open(), load(gearbox), ":focus_selected_component :on", ":modelname \"gear\"", "show viewports"});
  EXPECT_NE(last_.find("fitted 1 times, draws /gearbox/gear"), std::string::npos) << last_;
  sdhost({open(), load(gearbox), ":modelname \"gear\"", "show viewports"});
  EXPECT_EQ(last_.find("draws /gearbox/gear"), std::string::npos) << last_;
}

TEST_F(AssistedCheckIn, AStagedModelThatDoesNotLoadLeavesNoModelCurrent) {
  std::ofstream(staging() / twins) << "garbage (\n";
  const auto r = sdhost({open(), load(twins), "show dialog", "show tables"});
  EXPECT_NE(r.out.find("Error: Cannot load"), std::string::npos) << r.out;
  EXPECT_EQ(value("CURRENT_MODEL"), "NIL");
  EXPECT_EQ(r.out.find("DB_FINISH_STATUS_UPDATE after input"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("| \"/twins\" | :PENDING |"), std::string::npos) << r.out;
}

// A drawing goes into Model Manager only after its model, whichever way it
// is chosen; a session in which a check-in failed says so in its exit status.
TEST_F(AssistedCheckIn, ADrawingWaitsForItsModelAndAFailedCheckInFailsTheSession) {
  // The frame is not checked in (its error is not ignored).
  const auto r = sdhost({open(), load(frame), ":staged_dwg \"" + std::string(frame_drawing) + "\"",
                         "show dialog", ":check_in_drawing"});
  EXPECT_NE(r.out.find("STAGED_DWG after input " + std::string(frame_drawing) + " - DRW-1000"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(available("CHECK_IN_DRAWING")) << r.out;
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out.find("Model Manager: stored the drawing"), std::string::npos) << r.out;
  EXPECT_EQ(tagged(frame_drawing, ":CHECKED-IN"), 0) << analytics();
  const std::string models = sdhost({"(sdsim:mm-model-count)"}).out;
  EXPECT_EQ(models.substr(0, models.find('\n')), "0") << models;

  // A store that cannot reach the database: its message, then the dialog's,
  // and exit status 3.
  const auto failed = sdhost({"(sdsim:mm-fail-stores 1 \"the database server cannot be reached\")", open(),
                              load(shaft), ":check_in", "cancel"});
  EXPECT_EQ(failed.status, 3) << failed.out << failed.err;
  const std::size_t why = failed.out.find("Error: the database server cannot be reached");
  ASSERT_NE(why, std::string::npos) << failed.out;
  EXPECT_NE(failed.out.find("Error: Check-in failed", why), std::string::npos) << failed.out;
  EXPECT_EQ(tagged(shaft, ":CHECKED-IN"), 0);
}

// A relative staging directory is the working directory's, however the
// session changes directory later; a directory another process works on is
// refused, naming that process.
TEST_F(AssistedCheckIn, ARelativeStagingDirectoryWorksAndAHeldOneIsRefused) {
  const std::string relative = "../" + staging().filename().string();
  const auto r = sdhost({"VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + relative + "\"", load(frame),
                         ":ignore_errors :on", ":check_in", "complete",
                         ":staged_dwg \"" + std::string(frame_drawing) + "\"", ":check_in_drawing",
                         "show dialog", "cancel"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Cannot save"), std::string::npos) << r.out;
  EXPECT_EQ(value("STAGING_DIRECTORY"), "\"" + staging().string() + "\"") << r.out;
  EXPECT_EQ(tagged(frame, ":CHECKED-IN"), 1) << r.out;
  EXPECT_EQ(tagged(frame_drawing, ":CHECKED-IN"), 1) << r.out;
  EXPECT_NE(r.out.find("stored the drawing DRW-1000 as E"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("with 0 models"), std::string::npos) << r.out;

  vtm::core::file_lock held;
  ASSERT_TRUE(held.try_lock(staging() / "staging.lock"));
  const auto refused = sdhost({open(), load(shaft)});
  EXPECT_NE(refused.status, 0);
  EXPECT_NE((refused.out + refused.err)
                .find("The staging directory " + staging().string() + " is in use by process " +
                      std::to_string(::getpid()) + "."),
            std::string::npos)
      << refused.out << refused.err;
  EXPECT_EQ(refused.out.find("DB_FINISH_STATUS_UPDATE after input"), std::string::npos) << refused.out;
}

}  // namespace
}  // namespace assisted_checkin_test
