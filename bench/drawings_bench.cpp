// The Drawing Associator at the sizes of a large migration, run as a user
// runs it, through the built sdhost: building the extraction maps of 20,000
// model records, associating 10,000 drawings on top, and resuming an output
// list of 100,000 lines. The dump runs of pb_pub dominate the first; their
// cost is shown beside that of starting /bin/true, the floor for any
// process start on the machine, and the maps beside /bin/true started once
// per dump the maps need, as many at a time as the association runs dumps
// (x_floor).
//
// Run on a Release build with benchmarks:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVTM_TESTS=OFF -DVTM_BENCH=ON
//   cmake --build build/bench -j2 && build/bench/bin/drawings_bench
// The generated data stays in $TMPDIR/vtm-drawings-bench for the next run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench_data.h"
#include "host/programs.h"

namespace {

namespace fs = std::filesystem;

constexpr int model_count = 20'000;
constexpr int drawing_count = 10'000;
constexpr int resumed_count = 100'000;

fs::path data_dir() { return vtm_bench::data_dir_named("vtm-drawings-bench"); }

// The extraction folder: models only, and models with drawings, from the
// project's generator.
const fs::path& extraction_folder() {
  static const fs::path dir = [] {
    const fs::path d = data_dir() / "extraction";
    if (!fs::exists(d / "master_list.csv")) {
      std::cerr << "generating " << d << "\n";
      const std::string command = "python3 '" VTM_SOURCE_DIR "/bench/make_inputs.py' extraction '" +
                                  d.string() + "' --files " + std::to_string(drawing_count) +
                                  " --components " + std::to_string(model_count) + " --seed 7";
      if (std::system(command.c_str()) != 0) {
        std::cerr << "the generator failed\n";
        std::exit(1);
      }
    }
    // The same folder with its drawing records left out.
    std::ifstream all(d / "master_list.csv");
    std::ofstream models(d / "models_only.csv");
    for (std::string line; std::getline(all, line);)
      if (line.find("ME Drawing,") != 0) models << line << "\n";
    return d;
  }();
  return dir;
}

// One Drawing Associator run in a fresh host; fails the benchmark when the
// host does.
void associate(benchmark::State& state, const fs::path& list, const fs::path& out) {
  const std::string line = "VANTREL_DRAWING_ASSOCIATOR :INPUT_CSV \"" + list.string() + "\" :OUTPUT_CSV \"" +
                           out.string() + "\" complete";
  if (host::system::run_program({VTM_SDHOST_PATH, "-e", line}, data_dir() / "sdhost.out") != 0)
    state.SkipWithError(("sdhost failed; see " + (data_dir() / "sdhost.out").string()).c_str());
}

void start_process(benchmark::State& state, const std::vector<std::string>& argv) {
  fs::create_directories(data_dir());
  const fs::path out = data_dir() / "dump.xml";
  for (auto _ : state)
    if (host::system::run_program(argv, out) != 0) state.SkipWithError("the program failed");
  state.SetItemsProcessed(state.iterations());
}

void BM_StartTrue(benchmark::State& state) { start_process(state, {"/bin/true"}); }
BENCHMARK(BM_StartTrue)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1000);

// One dump of an assembly contents file.
void BM_DumpRun(benchmark::State& state) {
  fs::path model;
  for (const fs::directory_entry& e : fs::directory_iterator(extraction_folder() / "files" / "m0000"))
    if (e.path().extension() == ".sdac") model = e.path();
  start_process(state, {VTM_PBPUB_PATH, "-S", "-i", model.string()});
}
BENCHMARK(BM_DumpRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1000);

// A fresh association run over one list of the extraction folder.
void associate_fresh(benchmark::State& state, const char* list, const char* out, int items) {
  for (auto _ : state) {
    fs::remove(data_dir() / out);
    associate(state, extraction_folder() / list, data_dir() / out);
  }
  state.SetItemsProcessed(state.iterations() * items);
}

// The dumps the association runs for the model records of the list: the
// instance file of a part, the instance and the contents file of an
// assembly, those that exist.
std::size_t dump_count(const fs::path& list) {
  std::ifstream in(list);
  std::size_t dumps = 0;
  std::string line;
  std::getline(in, line);  // the header: TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    for (std::size_t from = 0, comma;; from = comma + 1) {
      comma = std::min(line.find(',', from), line.size());
      fields.push_back(line.substr(from, comma - from));
      if (comma == line.size()) break;
    }
    if (fields.size() < 6) continue;
    const bool assembly = fields[0] == "ME Assembly CAD Model";
    if (!assembly && fields[0] != "ME Component CAD Model") continue;
    const fs::path contents = list.parent_path() / "files" / fields[4] / fields[5];
    fs::path instance = contents;
    instance.replace_extension(
        contents.extension().string().substr(0, contents.extension().string().size() - 1));
    dumps += fs::exists(instance) + (assembly && fs::exists(contents));
  }
  return dumps;
}

// /bin/true started once per dump of the list, as many at a time as there
// are processors; in seconds.
double start_true_per_dump(const fs::path& list) {
  std::vector<host::system::program_run> runs(dump_count(list), {{"/bin/true"}, data_dir() / "true.out"});
  const auto start = std::chrono::steady_clock::now();
  host::system::run_programs(runs, std::max(1u, std::thread::hardware_concurrency()));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The maps of 20,000 model records; no drawing to associate.
void BM_BuildMaps(benchmark::State& state) {
  extraction_folder();
  const double floor = start_true_per_dump(extraction_folder() / "models_only.csv");
  const auto start = std::chrono::steady_clock::now();
  associate_fresh(state, "models_only.csv", "models_only_out.csv", model_count);
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["floor_s"] = floor;
  state.counters["x_floor"] = took / static_cast<double>(state.iterations()) / floor;
}
BENCHMARK(BM_BuildMaps)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The maps and then 10,000 drawings loaded and associated.
void BM_BuildMapsAndAssociate(benchmark::State& state) {
  associate_fresh(state, "master_list.csv", "associations.csv", drawing_count);
}
BENCHMARK(BM_BuildMapsAndAssociate)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// 100,000 drawings all listed already: the run reads the list back and
// loads nothing.
void BM_ResumeCompleteList(benchmark::State& state) {
  const fs::path dir = data_dir() / "resume";
  fs::create_directories(dir);
  {
    std::ofstream list(dir / "list.csv");
    std::ofstream out(dir / "out.csv");
    list << "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n";
    out << "DRAWING_NAME,DRAWING_REV,MODEL_NAME,MODEL_REV,STATUS\n";
    for (int i = 0; i < resumed_count; ++i) {
      list << "ME Drawing,drawing " << i << ",A,PN-" << i << ",d" << i / 500 << ",drawing" << i << ".ami\n";
      out << "drawing " << i << ",A,model " << i << ",A,\"SUCCESS\"\n";
    }
  }
  const std::string listed = [&] {
    std::ifstream in(dir / "out.csv");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  for (auto _ : state) {
    state.PauseTiming();
    std::ofstream(dir / "out.csv") << listed;
    state.ResumeTiming();
    associate(state, dir / "list.csv", dir / "out.csv");
  }
  state.SetItemsProcessed(state.iterations() * resumed_count);
}
BENCHMARK(BM_ResumeCompleteList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
