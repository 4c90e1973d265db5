// status.json and overview.html of a large staging directory: how long the
// module takes to write them, and a page to time in the browser.
//
// The page is left at $TMPDIR/vtm-overview-bench/overview.html; its load in
// headless Chromium is timed by hand, as docs/status-outputs.md shows.
#include <benchmark/benchmark.h>

#include <string>

#include "analytics/overview_page.h"
#include "analytics/status_json.h"
#include "bench_data.h"

namespace {

namespace an = vtm::analytics;

// files CAD files: one in twenty failed or crashed, each staged one gave a
// model (one in ten with errors) and one in four a drawing.
an::staging_status large_status(int files) {
  an::staging_status st;
  std::vector<an::file_entry> file_list;
  std::vector<an::model_entry> models;
  std::vector<an::drawing_entry> drawings;
  st.staging_directory = "/data/migration/staging";
  st.written_by = "stage-1";
  st.written_at = "2024-01-01T00:00:00Z";
  st.analysed = true;
  for (int i = 0; i < files; ++i) {
    an::file_entry f;
    f.source = "/data/migration/input/dir" + std::to_string(i / 100) + "/part " + std::to_string(i) + ".pkg";
    f.load_method = "sd";
    f.outcome = i % 20 == 1   ? an::cad_file_outcome::load_failed
                : i % 20 == 2 ? an::cad_file_outcome::crashed
                              : an::cad_file_outcome::staged;
    if (f.outcome == an::cad_file_outcome::load_failed) f.message = "The file is truncated at byte 1234.";
    if (f.outcome == an::cad_file_outcome::staged) {
      const std::string sysid = "I-" + std::to_string(100000 + i);
      f.models.push_back("models/" + sysid + ".sda");
      an::model_entry m;
      m.key = f.source + "/part" + std::to_string(i);
      m.instance = "/part" + std::to_string(i);
      m.source = f.source.substr(22);
      m.source_file = f.source;
      m.staged = f.models.back();
      m.sysid = sysid;
      m.cat = i % 10 == 3 ? an::category::errors : an::category::ok;
      if (m.cat == an::category::errors) {
        m.tags = {"corrupt"};
        m.corrupt = {"C-" + std::to_string(i)};
      }
      models.push_back(m);
      if (i % 4 == 0) {
        f.drawing = "drawings.ami/DRW-" + std::to_string(i) + "@part.ami";
        drawings.push_back({f.drawing,
                            "DRW-" + std::to_string(i),
                            m.source,
                            f.source,
                            f.drawing,
                            i % 8 == 0 ? "orphan" : "fully-associated",
                            false,
                            {sysid},
                            "its model is not checked in"});
      }
    }
    file_list.push_back(f);
  }
  st.files = an::listed(std::move(file_list));
  st.models = an::listed(std::move(models));
  st.drawings = an::listed(std::move(drawings));
  return st;
}

void BM_StatusJson(benchmark::State& state) {
  const an::staging_status st = large_status(int(state.range(0)));
  const auto dir = vtm_bench::data_dir_named("vtm-overview-bench");
  std::filesystem::create_directories(dir);
  for (auto _ : state) an::write_status_json(dir, st);
}
BENCHMARK(BM_StatusJson)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_OverviewPage(benchmark::State& state) {
  const an::staging_status st = large_status(int(state.range(0)));
  const auto dir = vtm_bench::data_dir_named("vtm-overview-bench");
  std::filesystem::create_directories(dir);
  for (auto _ : state) an::write_overview_page(dir, st);
  state.counters["bytes"] = double(std::filesystem::file_size(dir / an::overview_file));
}
BENCHMARK(BM_OverviewPage)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
