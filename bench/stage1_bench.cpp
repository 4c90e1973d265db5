// Stage 1 at the sizes of a large migration, run as a user runs it, through
// the built sdhost: the Import Assembler over generated inputs of 1,000 and
// 10,000 files (about 10,000 and 100,000 components, with shared parts and
// duplicate sysids). Each run reports its wall time, the time per file and
// the host's peak memory; the same files only loaded and emptied again by
// the host without the module show how much of the time is the host's own.
//
// Run on a Release build with benchmarks:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVTM_TESTS=OFF -DVTM_BENCH=ON
//   cmake --build build/bench -j2 && build/bench/bin/stage1_bench
// The generated inputs stay in $TMPDIR/vtm-stage1-bench for the next run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path data_dir() {
  const char* tmp = std::getenv("TMPDIR");
  return fs::path(tmp && *tmp ? tmp : "/tmp") / "vtm-stage1-bench";
}

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

struct outcome {
  int status = -1;
  double peak_mb = 0;
};

// Runs sdhost with the console lines, its output into a file; the exit
// status and the peak resident memory of the host process.
outcome run_host(const std::vector<std::string>& arguments) {
  std::vector<std::string> all{VTM_SDHOST_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const fs::path log = data_dir() / "sdhost.out";
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  outcome o;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) o.status = WEXITSTATUS(status);
    o.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
  posix_spawn_file_actions_destroy(&actions);
  return o;
}

void report(benchmark::State& state, const outcome& o, int files, std::chrono::duration<double> took) {
  if (o.status != 0)
    state.SkipWithError(("sdhost failed; see " + (data_dir() / "sdhost.out").string()).c_str());
  state.counters["files"] = files;
  state.counters["peak_MB"] = o.peak_mb;
  state.counters["ms_per_file"] = 1000 * took.count() / files;
}

// One timed host run.
outcome timed_run(const std::vector<std::string>& arguments, std::chrono::duration<double>& took) {
  const auto start = std::chrono::steady_clock::now();
  outcome o = run_host(arguments);
  took = std::chrono::steady_clock::now() - start;
  return o;
}

void BM_StagingRun(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const fs::path input = input_of(files);
  const fs::path staging = data_dir() / ("staging-" + std::to_string(files));
  outcome o;
  std::chrono::duration<double> took{};
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(staging);
    state.ResumeTiming();
    o = timed_run({"-e", "VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + input.string() +
                             "\" :STAGING_DIRECTORY \"" + staging.string() +
                             "\" :CHECK :ON :DISPLAY_REPORT :OFF complete"},
                  took);
  }
  report(state, o, files, took);
}
BENCHMARK(BM_StagingRun)->Arg(1000)->Arg(10000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The host alone: every model file of the input loaded and the session
// emptied again, from one console script.
void BM_HostLoadOnly(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const fs::path input = input_of(files);
  const fs::path script = data_dir() / ("load-" + std::to_string(files) + ".lsp");
  int models = 0;
  {
    std::ofstream out(script);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(input))
      if (e.is_regular_file() && e.path().extension() != ".ami") {
        out << "(frame2-ui::universal_load :file \"" << e.path().string() << "\")\n"
            << "(elan::delete_3d :all_at_top)\n";
        ++models;
      }
  }
  outcome o;
  std::chrono::duration<double> took{};
  for (auto _ : state) o = timed_run({"--no-module", "-f", script.string()}, took);
  report(state, o, models, took);
}
BENCHMARK(BM_HostLoadOnly)->Arg(1000)->Arg(10000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
