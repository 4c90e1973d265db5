// The batch check-in at the size of a large migration, run as a user runs
// it, through the built sdhost: a staging directory made by stage 1 from a
// generated input of 1,000 files (about 10,000 components) checked into a
// fresh database by vtm:batch-check-in, into databases that hold 1,000 and
// 100,000 stored models already (the time per model stays flat when the
// store's lookups are indexed), and the same run again, which finds nothing
// left. Each run reports its wall time, the wall and processor time per
// queued model and the host's peak memory, beside its floor measured in the
// same run: the host alone loading, saving and storing the same models.
//
// Run on a Release build with benchmarks:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVTM_TESTS=OFF -DVTM_BENCH=ON
//   cmake --build build/bench -j2 && build/bench/bin/checkin_batch_bench
// The generated input and its staging directory stay in
// $TMPDIR/vtm-batch-bench for the next run. Where creating a file costs the
// file system more than the check-in's own work (ext4 without a journal
// searching past recently freed inodes), both figures follow the disk's
// state from run to run; TMPDIR on a RAM disk shows the check-in's own cost.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "bench_data.h"
#include "host_run.h"

namespace {

namespace fs = std::filesystem;

fs::path data_dir() { return vtm_bench::data_dir_named("vtm-batch-bench"); }
fs::path host_log() { return data_dir() / "sdhost.out"; }
fs::path staged() { return data_dir() / "staged"; }
fs::path staging() { return data_dir() / "staging"; }

// The host's settings and database are the benchmark's own.
void use_own_host() {
  ::setenv("SDUSERCUSTOMIZEDIR", (data_dir() / "user").c_str(), 1);
  ::setenv("SDHOST_MM_DATABASE", (data_dir() / "mm.sqlite").c_str(), 1);
}

void fail(const std::string& what) {
  std::cerr << what << "; see " << host_log() << "\n";
  std::exit(1);
}

// The staging directory of the generated input, made by stage 1 on first use.
void make_staged(int files) {
  if (fs::exists(data_dir() / "done")) return;
  fs::remove_all(data_dir());
  fs::create_directories(data_dir());
  std::cerr << "generating and staging " << data_dir() << "\n";
  const std::string command = "python3 '" VTM_SOURCE_DIR "/bench/make_inputs.py' stage1 '" +
                              (data_dir() / "generated").string() + "' --files " + std::to_string(files) +
                              " --components " + std::to_string(files * 10) +
                              " --sharing 0.3 --duplicate-sysids 0.02 --seed 11 >/dev/null";
  if (std::system(command.c_str()) != 0) fail("the generator failed");
  if (vtm_bench::run_host(
          {"-e", "VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" +
                     (data_dir() / "generated" / "input").string() + "\" :STAGING_DIRECTORY \"" +
                     staged().string() + "\" :CHECK :ON :DISPLAY_REPORT :OFF complete"},
          host_log())
          .status != 0)
    fail("stage 1 failed");
  std::ofstream(data_dir() / "done");
}

// The staged instance files of the models queued for check-in: the model
// statuses of the analytics file.
std::vector<std::string> queued_models() {
  std::ifstream in(staged() / "analytics.lsp");
  std::vector<std::string> files;
  const std::string key = ":STAGED #P\"";
  for (std::string line; std::getline(in, line);)
    if (line.find("MODEL-STATUS") != std::string::npos)
      if (const std::size_t at = line.find(key); at != std::string::npos) {
        const std::size_t from = at + key.size();
        files.push_back(line.substr(from, line.find('"', from) - from));
      }
  return files;
}

// A database of `stored` models of other names and sysids, made once with
// the host's seeding and kept.
fs::path seeded_database(int stored) {
  const fs::path db = data_dir() / ("seeded-" + std::to_string(stored) + ".sqlite");
  if (fs::exists(db)) return db;
  const fs::path seed = data_dir() / "seed.lsp";
  {
    std::ofstream out(seed);
    for (int i = 0; i < stored; ++i)
      out << "(:name \"stored model " << i << "\" :sysid \"STORED-" << i << "\" :timestamp " << i << ")\n";
  }
  ::setenv("SDHOST_MM_DATABASE", (db.string() + ".new").c_str(), 1);
  if (vtm_bench::run_host({"--no-module", "-e", "(sdsim:mm-seed-database \"" + seed.string() + "\")"},
                          host_log())
          .status != 0)
    fail("seeding the database failed");
  use_own_host();
  fs::rename(db.string() + ".new", db);
  return db;
}

// What a run leaves is moved aside and deleted once all runs are done: a
// file system may pass over its recently deleted inodes at every file it
// creates (ext4 without a journal does), so that deleting the last run's
// thousands of files just before a run would slow that run.
fs::path discarded() { return data_dir() / "discarded"; }

void discard(const fs::path& p) {
  static int n = 0;
  if (!fs::exists(p)) return;
  fs::create_directories(discarded());
  fs::rename(p, discarded() / (p.filename().string() + "-" + std::to_string(++n)));
}

void fresh_staging_and_database(int stored = 0) {
  discard(staging());
  fs::copy(staged(), staging(), fs::copy_options::recursive);
  discard(data_dir() / "mm.sqlite");
  discard(data_dir() / "mm.files");
  if (stored > 0) fs::copy_file(seeded_database(stored), data_dir() / "mm.sqlite");
}

vtm_bench::host_outcome batch() {
  return vtm_bench::run_host({"-e", "(vtm:batch-check-in \"" + staging().string() + "\" :ignore-errors t)"},
                             host_log());
}

void report(benchmark::State& state, const vtm_bench::host_outcome& o, int models) {
  if (o.status != 0) state.SkipWithError(("sdhost failed; see " + host_log().string()).c_str());
  state.counters["models"] = models;
  state.counters["peak_MB"] = o.peak_mb;
  state.counters["ms_per_model"] = 1000 * o.took.count() / models;
  state.counters["cpu_ms_per_model"] = 1000 * o.cpu_s / models;
}

// The floor of a batch: the host alone, without the module, loads each
// queued model from a fresh copy of the staging directory, saves it into a
// scratch directory and stores it into the same database, from one console
// script. Wall and processor seconds.
std::pair<double, double> host_only_seconds(const std::vector<std::string>& models, int stored) {
  fresh_staging_and_database(stored);
  const fs::path scratch = data_dir() / "scratch";
  discard(scratch);
  fs::create_directories(scratch);
  const fs::path script = data_dir() / "host-only.lsp";
  {
    std::ofstream out(script);
    const std::string top = "(car (oli::sd-inq-obj-children (elan-ui::get-root-sel_item)))";
    for (const std::string& m : models)
      out << "(frame2-ui::load_sd \"" << (staging() / m).string() << "\")\n"
          << "(frame2-ui::save_sd :overwrite " << top << " :top_level_instance_files :yes :directory \""
          << scratch.string() << "/\")\n"
          << "(modelmanager::ndm_store_modified :object " << top << ")\n"
          << "complete\n"
          << "(elan::delete_3d :all_at_top)\n";
  }
  const vtm_bench::host_outcome o = vtm_bench::run_host({"--no-module", "-f", script.string()}, host_log());
  if (o.status != 0) fail("the host-only floor run failed");
  return {o.took.count(), o.cpu_s};
}

// Arguments: the input's files and the models stored before the run.
void BM_BatchCheckIn(benchmark::State& state) {
  use_own_host();
  make_staged(static_cast<int>(state.range(0)));
  const int stored = static_cast<int>(state.range(1));
  if (stored > 0) seeded_database(stored);
  const std::vector<std::string> queued = queued_models();
  const int models = static_cast<int>(queued.size());
  vtm_bench::host_outcome o;
  std::pair<double, double> floor;
  for (auto _ : state) {
    state.PauseTiming();
    floor = host_only_seconds(queued, stored);
    fresh_staging_and_database(stored);
    state.ResumeTiming();
    o = batch();
  }
  report(state, o, models);
  state.counters["stored_before"] = stored;
  state.counters["floor_ms_per_model"] = 1000 * floor.first / models;
  state.counters["floor_cpu_ms_per_model"] = 1000 * floor.second / models;
  state.counters["x_floor"] = o.took.count() / floor.first;
}
BENCHMARK(BM_BatchCheckIn)
    ->Args({1000, 0})
    ->Args({1000, 1000})
    ->Args({1000, 100000})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

// A second run over the checked-in directory: every model passed over.
void BM_BatchCheckInNothingLeft(benchmark::State& state) {
  use_own_host();
  make_staged(static_cast<int>(state.range(0)));
  const int models = static_cast<int>(queued_models().size());
  fresh_staging_and_database();
  if (batch().status != 0) fail("the first batch run failed");
  vtm_bench::host_outcome o;
  for (auto _ : state) o = batch();
  report(state, o, models);
}
BENCHMARK(BM_BatchCheckInNothingLeft)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  fs::remove_all(discarded());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(discarded());
  return 0;
}
