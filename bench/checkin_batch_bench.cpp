// The batch check-in at the size of a large migration, run as a user runs
// it, through the built sdhost: a staging directory made by stage 1 from a
// generated input of 1,000 files (about 10,000 components) checked into a
// fresh database by vtm:batch-check-in, and the same run again, which finds
// nothing left. Each run reports its wall time, the time per queued model
// and the host's peak memory.
//
// Run on a Release build with benchmarks:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVTM_TESTS=OFF -DVTM_BENCH=ON
//   cmake --build build/bench -j2 && build/bench/bin/checkin_batch_bench
// The generated input and its staging directory stay in
// $TMPDIR/vtm-batch-bench for the next run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

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

// Models queued for check-in: the model statuses of the analytics file.
int queued_models() {
  std::ifstream in(staged() / "analytics.lsp");
  int n = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find("MODEL-STATUS") != std::string::npos) ++n;
  return n;
}

void fresh_staging_and_database() {
  fs::remove_all(staging());
  fs::copy(staged(), staging(), fs::copy_options::recursive);
  fs::remove(data_dir() / "mm.sqlite");
  fs::remove_all(data_dir() / "mm.files");
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
}

void BM_BatchCheckIn(benchmark::State& state) {
  use_own_host();
  make_staged(static_cast<int>(state.range(0)));
  const int models = queued_models();
  vtm_bench::host_outcome o;
  for (auto _ : state) {
    state.PauseTiming();
    fresh_staging_and_database();
    state.ResumeTiming();
    o = batch();
  }
  report(state, o, models);
}
BENCHMARK(BM_BatchCheckIn)->Arg(1000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// A second run over the checked-in directory: every model passed over.
void BM_BatchCheckInNothingLeft(benchmark::State& state) {
  use_own_host();
  make_staged(static_cast<int>(state.range(0)));
  const int models = queued_models();
  fresh_staging_and_database();
  if (batch().status != 0) fail("the first batch run failed");
  vtm_bench::host_outcome o;
  for (auto _ : state) o = batch();
  report(state, o, models);
}
BENCHMARK(BM_BatchCheckInNothingLeft)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
