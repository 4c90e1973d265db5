// The record files at the sizes of a large migration: opening a staging
// directory whose components.lsp holds 100,000 records and whose toc.lsp
// holds 30,000 entries (against SBCL's read loop over the same file, when
// sbcl is installed), appending 100,000 records one by one, merging a
// contents shared 10,000 times, and the queries over 100,000 records.
//
// Reading components.lsp and appending report their floor measured in the
// same run, so that the ratio (x_floor) holds on a busy machine: reading the
// file's bytes from the page cache, and write(2) of each record's bytes.
// Both compare processor time. Reading also reports the peak memory of a
// fresh process opening the file, against the file's size.
//
// Run on a Release build: build-release/bench/records_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "host/lisp/packages.h"
#include "host/lisp/reader.h"
#include "lisp/runtime.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/change_records.h"
#include "records/component_records.h"
#include "records/fake_session.h"
#include "records/lisp_definitions.h"
#include "records/record_file.h"
#include "records/record_print.h"
#include "records/sbcl_structs.h"

namespace {

using namespace vtm::records;
namespace fs = std::filesystem;

constexpr int component_count = 100'000;
constexpr int cad_file_count = 10'000;  // three toc entries each
constexpr int share_count = 10'000;

fs::path data_dir;

std::string sysid(int i) { return "7A3F-" + std::to_string(1000000 + i) + "-0C2D"; }

// A persisted record as the resolver leaves it: one instance per 10 records,
// contents with their key, shares and owners.
component_record component(int i) {
  if (i % 10 == 0) {
    instance_info r;
    r.sysid = sysid(i);
    r.typename_ = "nasmb3";
    r.filename = sysid(i) + ".sda";
    r.child_sysids = {sysid(i + 1), sysid(i + 2)};
    r.sourcepath = "projekt/baugruppe " + std::to_string(i / 10) + ".pkg";
    r.name = "/daten/eingang/projekt/baugruppe " + std::to_string(i / 10) + ".pkg/top";
    r.contents_sysid = sysid(i + 1);
    return r;
  }
  contents_info r;
  r.sysid = sysid(i);
  r.typename_ = "part_struct";
  r.filename = sysid(i) + ".sdpc";
  r.child_sysids = {sysid(i + 1)};
  r.metakey = cluster_metakey{"Zahnrad-" + std::to_string(i % 5000), 3.9123456789e9 + i, std::nullopt, ""};
  const std::string model = "/daten/eingang/projekt/baugruppe " + std::to_string(i / 10) + ".pkg/top";
  r.shares = {model + "/welle/zahnrad" + std::to_string(i), model + "/lager/zahnrad" + std::to_string(i)};
  r.model_sysids = {sysid(i - i % 10)};
  r.parent_sysids = {sysid(i - 1)};
  return r;
}

void write_staging_directory(const fs::path& dir) {
  fs::create_directories(dir);
  record_file components(dir / components_file);
  components.open([](const host::lisp::ref&) {});
  for (int i = 0; i < component_count; ++i) components.append(component_record_to_lisp(component(i)));
  record_file toc(dir / toc_file);
  toc.open([](const host::lisp::ref&) {});
  for (int i = 0; i < cad_file_count; ++i) {
    cad_fileinfo info;
    info.path = "/daten/eingang/projekt/baugruppe " + std::to_string(i) + ".pkg";
    const auto path = vtm::core::lisp_value<fs::path>::to(info.path.path());
    toc.append(host::lisp::list({vtm::core::lisp_value<cad_file_state>::to(cad_file_state::loading), path}));
    toc.append(
        host::lisp::list({vtm::core::lisp_value<cad_file_state>::to(cad_file_state::processing), path}));
    info.state = cad_file_state::complete;
    info.load_method = cad_load_method::sd;
    info.write_date = 3912345678;
    info.error_status.value = host::lisp::read_from_string(":OK");
    info.models_3d = {{"top", "models/" + sysid(i * 10) + ".sda"}};
    toc.append(vtm::core::to_lisp(info));
  }
}

void BM_OpenStagingDirectory(benchmark::State& state) {
  for (auto _ : state) {
    auto toc = make_cad_file_records(data_dir);
    auto components = make_component_records(data_dir);
    auto drawings = make_ami_drawing_records(data_dir);
    auto changes = make_change_records(data_dir);
    benchmark::DoNotOptimize(components.table().size() + toc.filetable().size());
  }
  state.counters["MB"] =
      static_cast<double>(fs::file_size(data_dir / components_file) + fs::file_size(data_dir / toc_file)) /
      1e6;
}
BENCHMARK(BM_OpenStagingDirectory)->Unit(benchmark::kMillisecond)->Iterations(3);

// Processor time of this process: the figures and their floors are compared
// in it, so that other load on the machine does not skew the ratios.
double cpu_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The floor of opening: the file's bytes read into memory from the page cache.
double read_bytes_seconds(const fs::path& file) {
  const double start = cpu_seconds();
  const int fd = ::open(file.c_str(), O_RDONLY);
  std::string text(fs::file_size(file), '\0');
  std::size_t done = 0;
  for (ssize_t n; done < text.size() && (n = ::read(fd, text.data() + done, text.size() - done)) > 0;)
    done += static_cast<std::size_t>(n);
  ::close(fd);
  benchmark::DoNotOptimize(text.data());
  return cpu_seconds() - start;
}

long resident_kb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// How far the peak memory of a fresh process rises while it opens the
// records of dir, in MB: this program run with --open DIR.
double peak_growth_of_opening_mb(const fs::path& dir) {
  const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --open '" + dir.string() + "'";
  FILE* p = ::popen(command.c_str(), "r");
  long growth = -1;
  if (!p || std::fscanf(p, "%ld", &growth) != 1) growth = -1;
  if (p) ::pclose(p);
  return static_cast<double>(growth) / 1024.0;
}

void BM_ReadComponentsHere(benchmark::State& state) {
  const fs::path file = data_dir / components_file;
  double floor = 0, here = 0;
  for (auto _ : state) {
    state.PauseTiming();
    floor += read_bytes_seconds(file);
    state.ResumeTiming();
    const double start = cpu_seconds();
    auto components = make_component_records(data_dir);
    benchmark::DoNotOptimize(components.table().size());
    here += cpu_seconds() - start;
  }
  const double file_mb = static_cast<double>(fs::file_size(file)) / 1e6;
  const double peak = peak_growth_of_opening_mb(data_dir);
  state.counters["floor_ms"] = 1000 * floor / static_cast<double>(state.iterations());
  state.counters["x_floor"] = here / floor;
  state.counters["file_MB"] = file_mb;
  state.counters["peak_MB"] = peak;
  state.counters["peak_x_file"] = peak / file_mb;
}
BENCHMARK(BM_ReadComponentsHere)->Unit(benchmark::kMillisecond)->Iterations(3);

// SBCL's read loop over components.lsp, timed inside SBCL.
void BM_ReadComponentsSbcl(benchmark::State& state) {
  if (!records_test::sbcl_available()) {
    state.SkipWithError("sbcl is not installed");
    return;
  }
  const fs::path script = data_dir / "read.lisp";
  std::ofstream(script) << records_test::sbcl_record_definitions() << R"(
(let ((real (get-internal-real-time)) (run (get-internal-run-time)) (n 0))
  (with-open-file (in (second sb-ext:*posix-argv*) :external-format :utf-8)
    (let ((*package* (find-package "VANTREL-MIGRATOR")))
      (loop for form = (read in nil nil) while form do (incf n))))
  (format t "~D ~F ~F~%" n
          (/ (- (get-internal-run-time) run) internal-time-units-per-second)
          (/ (- (get-internal-real-time) real) internal-time-units-per-second)))
)";
  const std::string command =
      "sbcl --script '" + script.string() + "' '" + (data_dir / components_file).string() + "'";
  double real_total = 0;
  for (auto _ : state) {
    FILE* p = popen(command.c_str(), "r");
    long records = 0;
    double cpu = 0, real = 0;
    if (!p || std::fscanf(p, "%ld %lf %lf", &records, &cpu, &real) != 3 || pclose(p) != 0 ||
        records != component_count) {
      state.SkipWithError("sbcl failed");
      return;
    }
    // The processor time SBCL spent reading, comparable with the CPU column
    // of the other benchmarks on a busy machine; its real time as a counter.
    state.SetIterationTime(cpu);
    real_total += real;
  }
  state.counters["real_ms"] = 1000 * real_total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReadComponentsSbcl)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The floor of appending: the records of file written to copy again, one
// write(2) of each record's bytes.
double write_records_seconds(const fs::path& file, const fs::path& copy) {
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string_view> records;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t next = text.find("\n#S(", start + 1);
    if (next == std::string::npos) next = text.size();
    records.push_back(std::string_view(text).substr(start, next - start));
    start = next;
  }
  const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  const double start = cpu_seconds();
  for (std::string_view r : records)
    if (::write(fd, r.data(), r.size()) != static_cast<ssize_t>(r.size())) break;
  const double took = cpu_seconds() - start;
  ::close(fd);
  return took;
}

// The figures of appending component_count records per iteration in `here`
// seconds of processor time, against the floor of writing the records of
// dir/components.lsp again.
void report_appending(benchmark::State& state, double here, const fs::path& dir) {
  const double floor = write_records_seconds(dir / components_file, dir / "floor.lsp");
  state.SetItemsProcessed(state.iterations() * component_count);
  state.counters["us_per_record"] = 1e6 * here / static_cast<double>(state.iterations() * component_count);
  state.counters["floor_us"] = 1e6 * floor / component_count;
  state.counters["x_floor"] = here / static_cast<double>(state.iterations()) / floor;
}

// An appending run's directory, emptied for the next run.
void make_empty(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

// Appending alone: 100,000 records as the resolver leaves them (instances
// and contents with their key, shares and owners) printed and written one by
// one, against write(2) of the same bytes. A record is appended right after
// the resolver made it, while it is in the processor's caches: the records
// come from a set of 1,000 that stays there, not from 100 MB of them.
void BM_AppendPrinted(benchmark::State& state) {
  constexpr int distinct = 1000;
  std::vector<component_record> records;
  for (int i = 0; i < distinct; ++i) records.push_back(component(i));
  const fs::path dir = data_dir / "append-printed";
  double here = 0;
  for (auto _ : state) {
    state.PauseTiming();
    make_empty(dir);
    record_file file(dir / components_file);
    file.open([](const host::lisp::ref&) {});
    state.ResumeTiming();
    const double start = cpu_seconds();
    std::string printed;
    for (int i = 0; i < component_count; ++i) {
      printed.clear();
      if (!print_component_record(records[i % distinct], printed)) {
        state.SkipWithError("a record left to the host's printer");
        return;
      }
      file.append_printed(printed);
    }
    here += cpu_seconds() - start;
  }
  report_appending(state, here, dir);
}
BENCHMARK(BM_AppendPrinted)->Unit(benchmark::kMillisecond)->Iterations(3);

// The record manager's whole step: 100,000 in-session contents persisted one
// by one (their sysids and owners resolved, merged with what is recorded),
// each written at once.
void BM_AppendFlushed(benchmark::State& state) {
  records_test::fake_session session;
  std::vector<host::lisp::ref> clusters;
  for (int i = 0; i < component_count; ++i)
    clusters.push_back(session.add({.sysid = sysid(i), .name = "Welle"}));
  const fs::path dir = data_dir / "append";
  double here = 0;
  for (auto _ : state) {
    state.PauseTiming();
    make_empty(dir);
    auto components = make_component_records(dir);
    state.ResumeTiming();
    const double start = cpu_seconds();
    for (int i = 0; i < component_count; ++i) {
      contents_info c;
      c.sysid = sysid_value::of_entity(clusters[i]);
      c.typename_ = "part_struct";
      c.filename = "x.sdpc";
      c.shares = {session.location("/top/welle/zahnrad" + std::to_string(i), "/daten/a.pkg")};
      c.model_sysids = {"M"};
      component_record r = std::move(c);
      components.update_component_records({&r, 1}, session);
    }
    here += cpu_seconds() - start;
  }
  report_appending(state, here, dir);
}
BENCHMARK(BM_AppendFlushed)->Unit(benchmark::kMillisecond)->Iterations(1);

// A contents met again with 10,000 shares, half of them known already.
void BM_MergeSharedContents(benchmark::State& state) {
  records_test::fake_session session;
  const auto cluster = session.add({.sysid = "SHARED", .name = "Schraube M6"});
  const fs::path dir = data_dir / "merge";
  for (auto _ : state) {
    state.PauseTiming();
    make_empty(dir);
    {
      contents_info old;
      old.sysid = "SHARED";
      old.metakey = cluster_metakey{"Schraube M6", 1.0, {}, {}};
      for (int i = 0; i < share_count; ++i) {
        old.shares.push_front("/daten/a.pkg/top/pos" + std::to_string(i));
        old.model_sysids.push_front("M" + std::to_string(i));
        old.parent_sysids.push_front("P" + std::to_string(i));
      }
      record_file f(dir / components_file);
      f.open([](const host::lisp::ref&) {});
      f.append(component_record_to_lisp(old));
    }
    auto components = make_component_records(dir);
    contents_info now;
    now.sysid = sysid_value::of_entity(cluster);
    now.filename = "x.sdpc";
    std::vector<host::lisp::ref> owners;
    for (int i = share_count / 2; i < share_count * 3 / 2; ++i) {
      now.shares.push_front(session.location("/top/pos" + std::to_string(i), "/daten/a.pkg"));
      owners.push_back(session.add({.sysid = "M" + std::to_string(i)}));
      now.model_sysids.push_front(sysid_value::of_entity(owners.back()));
      now.parent_sysids.push_front(sysid_value::of_entity(owners.back()));
    }
    component_record r = std::move(now);
    state.ResumeTiming();
    components.update_component_records({&r, 1}, session);
    benchmark::DoNotOptimize(std::get<contents_info>(r).shares.size());
  }
}
BENCHMARK(BM_MergeSharedContents)->Unit(benchmark::kMillisecond)->Iterations(5);

const component_records& opened() {
  static component_records components = make_component_records(data_dir);
  return components;
}

void BM_MakeModelNameMap(benchmark::State& state) {
  const auto& components = opened();
  for (auto _ : state) benchmark::DoNotOptimize(components.make_model_name_map().size());
}
BENCHMARK(BM_MakeModelNameMap)->Unit(benchmark::kMillisecond);

// 10,000 recorded sysid conflicts over the 100,000 records.
void BM_CollectLostComponents(benchmark::State& state) {
  const auto& components = opened();
  const fs::path dir = data_dir / "changes";
  fs::create_directories(dir);
  auto changes = make_change_records(dir);
  for (int i = 1; i < component_count; i += 10) {
    auto after = std::get<contents_info>(*components.get_component_record_by_sysid(sysid(i)));
    changes.log_component_change("x", "OLD" + std::to_string(i), contents_info_composite_key(after),
                                 {"SYSID-CONFLICT"});
  }
  for (auto _ : state) benchmark::DoNotOptimize(components.collect_lost_components(changes).size());
}
BENCHMARK(BM_CollectLostComponents)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  host::lisp::initialize_runtime();
  if (!host::lisp::find_package("VANTREL-MIGRATOR"))
    host::lisp::make_package("VANTREL-MIGRATOR", {"VTM"}, {&host::lisp::common_lisp_package()});
  define_vt_model();
  define_vt_filerecords();
  if (argc == 3 && std::string_view(argv[1]) == "--open") {
    // The growth of peak memory over what the process held before opening, in KB.
    const long before = resident_kb();
    benchmark::DoNotOptimize(make_component_records(argv[2]).table().size());
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss - before);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  std::string pattern = (fs::temp_directory_path() / "vtm-records-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  data_dir = pattern;
  write_staging_directory(data_dir);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(data_dir);
  return 0;
}
