// Stage 1 at the sizes of a large migration, run as a user runs it, through
// the built sdhost: the Import Assembler over generated inputs of 1,000 and
// 10,000 files (about 10,000 and 100,000 components, with shared parts and
// duplicate sysids). Each run reports its wall and processor time per file
// and the host's peak memory, beside its floor measured in the same run: the
// host alone, without the module, loading every model file of the input and
// saving what it loaded. `beyond_floor` is the share of the run's processor
// time that is not that floor: the module's own work and the host services
// it calls (model queries, checkpoints, drawings, the record files).
// A rerun over a fully staged input loads nothing; its floor, measured in
// the same run, is reading the staging directory's record files and a stat
// of every input file.
//
// Run on a Release build with benchmarks:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVTM_TESTS=OFF -DVTM_BENCH=ON
//   cmake --build build/bench -j2 && build/bench/bin/stage1_bench
// The generated inputs stay in $TMPDIR/vtm-stage1-bench for the next run.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench_data.h"
#include "host_run.h"

namespace {

namespace fs = std::filesystem;

fs::path data_dir() { return vtm_bench::data_dir_named("vtm-stage1-bench"); }

// The generated input of `files` files, made on first use.
fs::path input_of(int files) {
  const fs::path dir = data_dir() / std::to_string(files);
  if (!fs::exists(dir / "done")) {
    fs::remove_all(dir);
    std::cerr << "generating " << dir << "\n";
    const std::string command = "python3 '" VTM_SOURCE_DIR "/bench/make_inputs.py' stage1 '" + dir.string() +
                                "' --files " + std::to_string(files) + " --components " +
                                std::to_string(files * 10) +
                                " --sharing 0.3 --duplicate-sysids 0.02 --seed 11";
    if (std::system(command.c_str()) != 0) {
      std::cerr << "the generator failed\n";
      std::exit(1);
    }
    std::ofstream(dir / "done");
  }
  return dir / "input";
}

using vtm_bench::host_outcome;

fs::path host_log() { return data_dir() / "sdhost.out"; }

void report(benchmark::State& state, const host_outcome& o, int files) {
  if (o.status != 0) state.SkipWithError(("sdhost failed; see " + host_log().string()).c_str());
  state.counters["files"] = files;
  state.counters["peak_MB"] = o.peak_mb;
  state.counters["ms_per_file"] = 1000 * o.took.count() / files;
  state.counters["cpu_ms_per_file"] = 1000 * o.cpu_s / files;
}

fs::path staging_of(int files) { return data_dir() / ("staging-" + std::to_string(files)); }

host_outcome stage(const fs::path& input, const fs::path& staging) {
  return vtm_bench::run_host(
      {"-e", "VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + input.string() + "\" :STAGING_DIRECTORY \"" +
                 staging.string() + "\" :CHECK :ON :DISPLAY_REPORT :OFF complete"},
      host_log());
}

// The records of components.lsp: each starts a line with #S(.
int staged_components(const fs::path& staging) {
  std::ifstream in(staging / "components.lsp");
  int n = 0;
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("#S(")) ++n;
  return n;
}

// The floor of a staging run: the host alone loads every model file of the
// input and saves what it loaded into a scratch directory, from one console
// script. A file whose parts share a sysid cannot be saved whole; the host
// gives up on it as it would in staging before the sysids are mended.
// Drawings are left out: the host loads them only through the module.
host_outcome host_load_and_save(const fs::path& input) {
  const fs::path scratch = data_dir() / "scratch";
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  const fs::path script = data_dir() / "load-and-save.lsp";
  {
    std::ofstream out(script);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(input))
      if (e.is_regular_file() && e.path().extension() != ".ami")
        out << "(frame2-ui::universal_load :file \"" << e.path().string() << "\")\n"
            << "(ignore-errors (dolist (m (oli::sd-inq-obj-children (elan-ui::get-root-sel_item)))"
            << " (frame2-ui::save_sd :overwrite m :top_level_instance_files :yes :directory \""
            << scratch.string() << "/\")))\n"
            << "(elan::delete_3d :all_at_top)\n";
  }
  return vtm_bench::run_host({"--no-module", "-f", script.string()}, host_log());
}

void BM_StagingRun(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const fs::path input = input_of(files);
  const fs::path staging = staging_of(files);
  host_outcome o, floor;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(staging);
    state.ResumeTiming();
    o = stage(input, staging);
    state.PauseTiming();
    floor = host_load_and_save(input);
    state.ResumeTiming();
  }
  report(state, o, files);
  if (floor.status != 0) state.SkipWithError(("the floor run failed; see " + host_log().string()).c_str());
  state.counters["floor_cpu_ms_per_file"] = 1000 * floor.cpu_s / files;
  state.counters["x_floor_cpu"] = o.cpu_s / floor.cpu_s;
  state.counters["beyond_floor"] = 1 - floor.cpu_s / o.cpu_s;
  const int components = staged_components(staging);
  state.counters["components"] = components;
  state.counters["peak_KB_per_component"] = 1024 * o.peak_mb / std::max(1, components);
  // What each further component adds to the peak: the growth over the
  // smaller run before this one, per component staged in addition.
  static double smaller_peak_mb = 0;
  static int smaller_components = 0;
  if (smaller_components > 0 && components > smaller_components)
    state.counters["B_per_added_component"] =
        1024.0 * 1024.0 * (o.peak_mb - smaller_peak_mb) / (components - smaller_components);
  smaller_peak_mb = o.peak_mb;
  smaller_components = components;
}
BENCHMARK(BM_StagingRun)->Arg(1000)->Arg(10000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The floor of a rerun: the staging directory's record files read and every
// input file stat-ed; in seconds.
double read_records_and_stat(const fs::path& input, const fs::path& staging) {
  const auto start = std::chrono::steady_clock::now();
  std::size_t bytes = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(staging))
    if (e.path().extension() == ".lsp") {
      // Read through a buffer: a child spawned later reports this process's
      // peak memory as its own when that is the larger one.
      std::ifstream in(e.path(), std::ios::binary);
      std::vector<char> buffer(std::size_t{1} << 20);
      while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        bytes += static_cast<std::size_t>(in.gcount());
    }
  struct stat st {};
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(input))
    if (::stat(e.path().c_str(), &st) == 0) bytes += static_cast<std::size_t>(st.st_size) & 1;
  benchmark::DoNotOptimize(bytes);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The same input again over its complete staging directory: nothing loads.
void BM_StagingRerun(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const fs::path input = input_of(files);
  const fs::path staging = staging_of(files);
  if (!fs::exists(staging / "components.lsp")) stage(input, staging);
  const double floor = read_records_and_stat(input, staging);
  host_outcome o;
  for (auto _ : state) o = stage(input, staging);
  report(state, o, files);
  state.counters["floor_s"] = floor;
  state.counters["x_floor"] = o.took.count() / floor;
}
BENCHMARK(BM_StagingRerun)->Arg(1000)->Arg(10000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
