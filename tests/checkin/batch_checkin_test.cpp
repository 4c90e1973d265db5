// The batch check-in (vtm:batch-check-in) through the built sdhost on the
// example's staging directory: what each policy checks in, where it stops,
// what its log says, and that a rerun, also after a host killed anywhere in
// a run, finishes the work without storing anything twice.
#include <sqlite3.h>

#include <cstdlib>
#include <iostream>
#include <thread>

#include "core/file_lock.h"
#include "example_run_fixture.h"

namespace assisted_checkin_test {
namespace {

class BatchCheckIn : public ExampleRun {
 protected:
  // kill_at: the host's event at which it is killed, e.g. "rename:3".
  static vtm_test::sdhost_result batch(const fs::path& dir, const std::string& options = "",
                                       const std::string& kill_at = "") {
    vtm_test::sdhost_run how = host_of(dir);
    if (!kill_at.empty()) how.environment.emplace_back("SDHOST_KILL_AT", kill_at);
    return vtm_test::run_sdhost(
        {"-e", "(vtm:batch-check-in \"" + (dir / "staging").string() + "\"" + options + ")"}, how);
  }
  static std::string log_of(const fs::path& dir) { return read(dir / "staging" / "batch-checkin.log"); }
  // Every queued model and the drawing tagged once and stored once.
  void expect_all_checked_in_once(const fs::path& dir, const std::string& context) {
    for (const queued_model& m : example_models) {
      EXPECT_EQ(checked_in(dir, m.staged), 1) << m.staged << "\n" << context;
      EXPECT_EQ(stored(dir, m.name), 1) << m.name << "\n" << context;
    }
    EXPECT_EQ(checked_in(dir, frame_drawing), 1) << context;
  }
};

TEST_F(BatchCheckIn, ThePresetPolicyChecksInTheWholeExampleAndASecondRunFindsNothingToDo) {
  const fs::path dir = prepare("run");
  const auto r = batch(dir, " :ignore-errors t");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("(:MODELS-CHECKED-IN 8 :DRAWINGS-CHECKED-IN 1 :MODELS-LEFT 0)"), std::string::npos)
      << r.out;
  // One progress line per model; the dialog's own trace stays out of the console.
  EXPECT_EQ(count(r.out, "Batch check-in ["), 8) << r.out;
  EXPECT_EQ(r.out.find("STAGED after input"), std::string::npos) << r.out;
  EXPECT_EQ(count(r.out, "NIL\n"), 0) << r.out;
  expect_all_checked_in_once(dir, r.out);
  // The same stored models as the scripted session, whose resolutions are
  // the presets.
  EXPECT_EQ(model_count(dir), models_after_the_session);
  const std::string log = log_of(dir);
  for (const char* line :
       {"with the conflict policy :preset, check errors ignored: 8 models queued, 0 checked in already",
        "models/I-GEARBOX.sda (/gearbox): \"gear\" resolved by :replace-reference-by-check",
        "models/I-BRACKET.sda (/bracket): \"plate\" resolved by :rename-local",
        "models/I-SHAFT.sdp (/shaft): \"shaft\" resolved by :replace-local-by-db",
        "models/I-FRAME.sda (/frame): checked in",
        "drawings.ami/DRW-1000@frame-front.ami: checked in after models/I-FRAME.sda",
        "Finished: 8 models and 1 drawing checked in by this run, 0 models left"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;

  const auto again = batch(dir);
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_NE(again.out.find("(:MODELS-CHECKED-IN 0 :DRAWINGS-CHECKED-IN 0 :MODELS-LEFT 0)"), std::string::npos)
      << again.out;
  EXPECT_EQ(model_count(dir), models_after_the_session);
  expect_all_checked_in_once(dir, again.out);
  EXPECT_NE(log_of(dir).find("8 models queued, 8 checked in already"), std::string::npos) << log_of(dir);
}

// A model it cannot check in ends the run with a failing status and the
// reason; what came before stays checked in, and the next run, given what
// it needs, goes on from there.
TEST_F(BatchCheckIn, ItStopsAtTheFirstModelItCannotCheckInAndTheNextRunGoesOn) {
  const fs::path dir = prepare("stop");
  const auto r = batch(dir);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("The batch check-in stopped at models/I-FRAME.sda: it has 1 check error"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(checked_in(dir, "models/I-GEARBOX.sda"), 1);
  EXPECT_EQ(checked_in(dir, "models/I-FRAME.sda"), 0);
  EXPECT_EQ(stored(dir, "frame"), 0);
  EXPECT_EQ(checked_in(dir, "models/I-TWINS.sda"), 0) << "it went past the model it stopped at";
  EXPECT_NE(log_of(dir).find("Stopped at models/I-FRAME.sda (/frame): it has 1 check error"),
            std::string::npos)
      << log_of(dir);

  const auto on = batch(dir, " :ignore-errors t");
  ASSERT_EQ(on.status, 0) << on.out << on.err;
  EXPECT_NE(on.out.find("(:MODELS-CHECKED-IN 7 :DRAWINGS-CHECKED-IN 1 :MODELS-LEFT 0)"), std::string::npos)
      << on.out;
  expect_all_checked_in_once(dir, on.out);
}

TEST_F(BatchCheckIn, PoliciesThatResolveNothingOrOnlyRenameKeepTheLocalModels) {
  const fs::path none = prepare("none");
  const auto stopped = batch(none, " :policy :none");
  EXPECT_NE(
      stopped.err.find("stopped at models/I-GEARBOX.sda: it has 1 model name conflict, the first \"gear\""),
      std::string::npos)
      << stopped.err;
  EXPECT_EQ(model_count(none), 2) << "only the seeded models";

  const fs::path renamed = prepare("rename");
  const auto r = batch(renamed, " :policy :rename-local :ignore-errors t");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string log = log_of(renamed);
  EXPECT_NE(log.find("\"shaft\" resolved by :rename-local"), std::string::npos) << log;
  EXPECT_EQ(log.find(":replace-"), std::string::npos) << log;
  // The local shaft went in under a new name next to the seeded one.
  EXPECT_EQ(stored(renamed, "shaft"), 1);
  EXPECT_EQ(checked_in(renamed, "models/I-SHAFT.sdp"), 1);

  const auto wrong = batch(renamed, " :policy :merge");
  EXPECT_NE(wrong.err.find("The policy of BATCH-CHECK-IN is :preset, :rename-local or :none, not :MERGE."),
            std::string::npos)
      << wrong.err;
  const auto not_staging =
      vtm_test::run_sdhost({"-e", "(vtm:batch-check-in \"" + renamed.string() + "\")"}, host_of(renamed));
  EXPECT_NE(not_staging.err.find("This is not a Staging Directory"), std::string::npos) << not_staging.err;
}

// A failed name query is retried once; a model whose name query keeps
// failing is not checked in.
TEST_F(BatchCheckIn, ANameQueryThatKeepsFailingStopsTheRun) {
  const fs::path dir = prepare("queries");
  vtm_test::sdhost_run how = host_of(dir);
  const auto r = vtm_test::run_sdhost({"-e", "(sdsim:mm-fail-queries 1000 \"ERROR: the database is locked\")",
                                       "-e", "(vtm:batch-check-in \"" + (dir / "staging").string() + "\")"},
                                      how);
  // A database that stays locked is reported as busy.
  EXPECT_NE(
      r.err.find("stopped at models/I-GEARBOX.sda: the Model Manager database is busy: the name query of"),
      std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("ERROR: the database is locked"), std::string::npos) << r.err;
  EXPECT_EQ(model_count(dir), 2);
  EXPECT_NE(log_of(dir).find("name queries retried after ERROR: the database is locked"), std::string::npos)
      << log_of(dir);

  // Failing once only: the retry gets the answers and the run goes on.
  const auto once =
      vtm_test::run_sdhost({"-e", "(sdsim:mm-fail-queries 1 \"ERROR: timeout\")", "-e",
                            "(vtm:batch-check-in \"" + (dir / "staging").string() + "\" :ignore-errors t)"},
                           how);
  ASSERT_EQ(once.status, 0) << once.out << once.err;
  expect_all_checked_in_once(dir, once.out);
}

// A host that ended between a drawing's store and its completion left the
// drawing stored but untagged: the next run completes it without storing it
// again, as it knows the stored drawing by the identity its staged file kept.
TEST_F(BatchCheckIn, ADrawingStoredWithoutItsCompletionIsCompletedNotStoredAgain) {
  const fs::path dir = prepare("drawing");
  ASSERT_EQ(batch(dir, " :ignore-errors t").status, 0);
  ASSERT_EQ(checked_in(dir, frame_drawing), 1);
  EXPECT_NE(read(dir / "staging" / frame_drawing).find(":UNIQUE-ID \"DWG-"), std::string::npos);
  // The completion lost: the drawing's statuses without their tag.
  std::string kept;
  std::istringstream lines(analytics_of(dir));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tag = line.find(":CHECKED-IN ");
    if (line.find(std::string(":STAGED #P\"") + frame_drawing + "\"") != std::string::npos &&
        tag != std::string::npos)
      line.erase(tag, std::string(":CHECKED-IN ").size());
    kept += line + "\n";
  }
  std::ofstream(dir / "staging" / "analytics.lsp", std::ios::trunc) << kept;
  ASSERT_EQ(checked_in(dir, frame_drawing), 0);

  const auto r = batch(dir, " :ignore-errors t");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("(:MODELS-CHECKED-IN 0 :DRAWINGS-CHECKED-IN 1 :MODELS-LEFT 0)"), std::string::npos)
      << r.out;
  EXPECT_EQ(checked_in(dir, frame_drawing), 1);
  EXPECT_EQ(model_count(dir), models_after_the_session);
}

// The host is killed at events spread over a batch run: a queued command,
// a store committed before anyone saw it, a drawing store; a rerun of the
// batch finishes the work, and nothing is stored or tagged twice.
TEST_F(BatchCheckIn, AHostKilledDuringARunLosesNothingAndTheRerunStoresNothingTwice) {
  int killed_midway = 0;
  for (const char* event : {"command:5", "command:30", "store:1", "store:4", "drawing-store:1", "store:6"}) {
    SCOPED_TRACE(std::string("killed at ") + event);
    const fs::path dir = prepare(std::string("kill ") + event);
    const auto killed = batch(dir, " :ignore-errors t", event);
    ASSERT_EQ(killed.status, 128 + 9) << killed.out << killed.err;
    int done = 0;
    for (const queued_model& m : example_models) {
      const int tags = checked_in(dir, m.staged);
      done += tags;
      EXPECT_LE(stored(dir, m.name), 1) << m.name;
      if (tags == 1) {
        EXPECT_EQ(stored(dir, m.name), 1) << m.name << " is tagged but not stored";
      }
    }
    if (done > 0 && done < 8) ++killed_midway;
    const auto rerun = batch(dir, " :ignore-errors t");
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    expect_all_checked_in_once(dir, killed.out + "\n--- rerun\n" + rerun.out + rerun.err);
    EXPECT_EQ(model_count(dir), models_after_the_session) << rerun.out;
    if (!HasFailure()) fs::remove_all(dir);
  }
  EXPECT_GT(killed_midway, 0);
}

// A save writes several files, the instance file referring to contents
// files by name. Killed after any one of the renames of the run's first
// saves, the next opening of the staging directory finishes the save, so
// that every model still loads and the rerun checks in all of them.
TEST_F(BatchCheckIn, AHostKilledAtAnyRenameOfASaveLeavesEveryModelLoadable) {
  for (int n = 1; n <= 12; ++n) {
    const std::string event = "rename:" + std::to_string(n);
    SCOPED_TRACE("killed at " + event);
    const fs::path dir = prepare("kill " + event);
    const auto killed = batch(dir, " :ignore-errors t", event);
    ASSERT_EQ(killed.status, 128 + 9) << killed.out << killed.err;
    const auto rerun = batch(dir, " :ignore-errors t");
    ASSERT_EQ(rerun.status, 0) << rerun.out << rerun.err << read(dir / "staging" / "batch-checkin.log");
    for (const queued_model& m : example_models) EXPECT_EQ(checked_in(dir, m.staged), 1) << m.staged;
    EXPECT_EQ(checked_in(dir, frame_drawing), 1);
    EXPECT_EQ(model_count(dir), models_after_the_session);
    EXPECT_FALSE(fs::exists(dir / "staging" / "models" / ".saving"));
    if (HasFailure()) break;
    fs::remove_all(dir);
  }
}

// With :on-failure :skip, a model it cannot check in is logged with the
// host's own reason and passed over; the run checks in the rest, ends with a
// summary and exit status 3, and a rerun tries the skipped models again.
TEST_F(BatchCheckIn, SkippingGoesOnPastBlockersSaysWhyAndTheRerunRetriesThem) {
  // The seeded shaft without its stored file: the reload that replaces the
  // local shaft by it fails.
  std::string seed = read(example / "seed.lsp");
  const std::string file = " :file \"stored/shaft.sdp\"";
  ASSERT_NE(seed.find(file), std::string::npos);
  seed.erase(seed.find(file), file.size());
  std::ofstream(dir_ / "seed without file.lsp") << seed;
  const fs::path dir = prepare("skip", dir_ / "seed without file.lsp");
  // The twins cannot be loaded; the first store cannot reach the database.
  const fs::path twins_file = dir / "staging" / "models" / "I-TWINS.sda";
  const std::string twins_text = read(twins_file);
  std::ofstream(twins_file, std::ios::trunc) << "damaged (";
  vtm_test::sdhost_run how = host_of(dir);
  const std::string run_batch =
      "(vtm:batch-check-in \"" + (dir / "staging").string() + "\" :ignore-errors t :on-failure :skip)";
  const auto r = vtm_test::run_sdhost(
      {"-e", "(sdsim:mm-fail-stores 1 \"the database server cannot be reached\")", "-e", run_batch}, how);
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_NE(r.out.find(":MODELS-LEFT 3 :MODELS-SKIPPED 3)"), std::string::npos) << r.out;
  const std::string log = log_of(dir);
  for (const std::string& text :
       {std::string("Batch check-in summary: 5 models and "), std::string(" checked in, 3 models skipped"),
        std::string("skipped models/I-TWINS.sda (/twins): it could not be loaded (Error: Cannot load"),
        std::string("the database server cannot be reached"),
        std::string(
            "skipped models/I-SHAFT.sdp (/shaft): the model name conflict of \"shaft\" stays after its "
            "resolution"),
        std::string("RELOAD failed: the model shaft (E-SHAFT) has no stored file")}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }
  EXPECT_EQ(checked_in(dir, "models/I-SHAFT.sdp"), 0);
  EXPECT_EQ(checked_in(dir, "models/I-TWINS.sda"), 0);
  int done = 0;
  for (const queued_model& m : example_models) done += checked_in(dir, m.staged);
  EXPECT_EQ(done, 5) << analytics_of(dir);

  // The twins mended and the database reachable: the rerun checks in what it
  // skipped but the shaft, which it tries again and skips again.
  std::ofstream(twins_file, std::ios::trunc) << twins_text;
  const auto rerun = vtm_test::run_sdhost({"-e", run_batch}, how);
  EXPECT_EQ(rerun.status, 3) << rerun.out << rerun.err;
  EXPECT_NE(rerun.out.find("(:MODELS-CHECKED-IN 2 :DRAWINGS-CHECKED-IN"), std::string::npos) << rerun.out;
  EXPECT_NE(rerun.out.find(":MODELS-LEFT 1 :MODELS-SKIPPED 1)"), std::string::npos) << rerun.out;
  EXPECT_EQ(checked_in(dir, "models/I-TWINS.sda"), 1);
  EXPECT_EQ(count(log_of(dir), "skipped models/I-SHAFT.sdp"), 2) << log_of(dir);
  for (const queued_model& m : example_models) {
    if (std::string(m.staged) != "models/I-SHAFT.sdp") {
      EXPECT_EQ(checked_in(dir, m.staged), 1) << m.staged;
    }
  }

  // Stopping stays the default; the stop names the Model Manager's reason.
  const auto stopped = vtm_test::run_sdhost(
      {"-e", "(vtm:batch-check-in \"" + (dir / "staging").string() + "\" :ignore-errors t)"}, how);
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.err.find("stopped at models/I-SHAFT.sdp"), std::string::npos) << stopped.err;
  EXPECT_NE(stopped.err.find("has no stored file"), std::string::npos) << stopped.err;
}

// Values a user left in the dialog for another directory do not steer a
// batch, and a staging directory that another session works on is refused.
TEST_F(BatchCheckIn, ABatchIgnoresTheDialogsStoredValuesAndRespectsTheDirectorysLock) {
  const fs::path dir = prepare("values");
  // OK in the dialog on another staging directory, with everything a user
  // may leave set.
  fs::copy(example_staging(), dir / "other", fs::copy_options::recursive);
  const auto ok =
      run(dir, {"VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + (dir / "other").string() + "\"",
                ":staged \"models/I-FRAME.sda\"", ":ignore_errors :on", ":focus_selected_component :on",
                "complete"});
  ASSERT_EQ(ok.status, 0) << ok.out << ok.err;
  const auto r = batch(dir, " :ignore-errors t");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  expect_all_checked_in_once(dir, r.out);
  // The batch kept nothing of its own as the dialog's values.
  const auto after = run(dir, {"VANTREL_MM_ASSISTED_CHECKIN", "show dialog"});
  EXPECT_NE(after.out.find((dir / "other").string()), std::string::npos) << after.out;

  // Another process holds the directory: the batch is refused at once.
  const fs::path lock = dir / "staging" / "staging.lock";
  vtm::core::file_lock held;
  ASSERT_TRUE(held.try_lock(lock));
  const auto refused = batch(dir);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("The staging directory " + (dir / "staging").string() +
                             " is in use by process " + std::to_string(::getpid()) + "."),
            std::string::npos)
      << refused.err;
}

// Two batches of two staging directories at once into one database: the
// second waits for the first's writes instead of failing, and both check in
// every model, none stored twice.
TEST_F(BatchCheckIn, TwoBatchesAtOnceIntoOneDatabaseBothFinish) {
  const fs::path dir = dir_ / "shared";
  fs::create_directories(dir);
  std::vector<fs::path> stagings;
  for (const int seed : {21, 22}) {
    const fs::path generated = dir / ("generated " + std::to_string(seed));
    const std::string command =
        "python3 '" + (fs::path(VTM_SOURCE_DIR) / "bench" / "make_inputs.py").string() + "' stage1 '" +
        generated.string() + "' --files 12 --components 50 --seed " + std::to_string(seed) + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const fs::path staging = dir / ("staging " + std::to_string(seed));
    const auto staged =
        run(dir, {"VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + (generated / "input").string() +
                  "\" :STAGING_DIRECTORY \"" + staging.string() + "\" :DISPLAY_REPORT :OFF complete"});
    ASSERT_TRUE(fs::exists(staging / "analytics.lsp")) << staged.out << staged.err;
    stagings.push_back(staging);
  }
  vtm_test::sdhost_result results[2];
  {
    std::vector<std::thread> batches;
    for (int i = 0; i < 2; ++i)
      batches.emplace_back([&, i] {
        results[i] = vtm_test::run_sdhost({"-e", "(vtm:batch-check-in \"" + stagings[i].string() +
                                                     "\" :policy :rename-local :ignore-errors t)"},
                                          host_of(dir));
      });
    for (std::thread& t : batches) t.join();
  }
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(stagings[i].string());
    EXPECT_EQ(results[i].status, 0) << results[i].out << results[i].err;
    EXPECT_NE(results[i].out.find(":MODELS-LEFT 0)"), std::string::npos) << results[i].out;
    EXPECT_EQ(results[i].err.find("database is locked"), std::string::npos) << results[i].err;
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "mm.sqlite").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* twice = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT COUNT(*) FROM (SELECT sysid FROM models GROUP BY sysid"
                               " HAVING COUNT(*) > 1)",
                               -1, &twice, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(twice), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int64(twice, 0), 0) << "models stored twice";
  sqlite3_finalize(twice);
  sqlite3_close(db);
}

}  // namespace
}  // namespace assisted_checkin_test
