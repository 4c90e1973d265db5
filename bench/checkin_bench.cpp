// The check-in of one model at the sizes of a large migration, with the
// module loaded in-process: an assembly of 10,000 instances carrying 2,000
// model names (name conflicts, unnamed contents, names that sanitizing
// changes) against a Model Manager database of 100,000 stored models.
// Making the model current scans it, queries every name and tracks the
// conflicts; re-analyzing it scans again with the name answers cached;
// cleaning the conflict queue, fresh and after a hundred re-analyses, shows
// whether re-analyses leave work behind; the single name query is timed
// through the module, through the database alone, and through the same SQL
// on a copy of the database without its name index.
//
// Run on a Release build with benchmarks:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVTM_TESTS=OFF -DVTM_BENCH=ON
//   cmake --build build/bench -j2 && build/bench/bin/checkin_bench
// The generated inputs and the seeded database stay in
// $TMPDIR/vtm-checkin-bench for the next run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "analytics/status_records.h"
#include "bench_data.h"
#include "checkin/check_in_context.h"
#include "checkin/name_query.h"
#include "frame/loadmodule.h"
#include "host/features.h"
#include "host/files.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "modelmanager/database.h"
#include "records/host_cluster_session.h"

namespace {

namespace fs = std::filesystem;
namespace hl = host::lisp;
using namespace vtm::checkin;

constexpr int instance_count = 10'000;
constexpr int name_count = 2'000;
constexpr int stored_count = 100'000;
// A name the database stores twice (the older one the release the query
// prefers), and one it does not store.
constexpr const char* stored_name = "part 00000";
constexpr const char* unknown_name = "part 00001";
// The statement the simulated Model Manager runs for a name query.
constexpr const char* name_query_sql =
    "SELECT elid, name, revision, state, model_objtype, unique_id_string, create_date, project_id,"
    " enovia_migrated, enovia_part_er, sysid FROM models WHERE name = ? ORDER BY rowid LIMIT ?";

fs::path data_dir() { return vtm_bench::data_dir_named("vtm-checkin-bench"); }

fs::path assembly_file() { return data_dir() / "assembly.pkg"; }
fs::path database_file() { return data_dir() / "mm.sqlite"; }
fs::path unindexed_database_file() { return data_dir() / "mm-without-index.sqlite"; }

void generate_inputs() {
  if (fs::exists(data_dir() / "done")) return;
  fs::remove_all(data_dir());
  std::cerr << "generating " << data_dir() << "\n";
  const std::string command = "python3 '" VTM_SOURCE_DIR "/bench/make_inputs.py' checkin '" +
                              data_dir().string() + "' --instances " + std::to_string(instance_count) +
                              " --names " + std::to_string(name_count) + " --stored " +
                              std::to_string(stored_count) + " --seed 7";
  if (std::system(command.c_str()) != 0) {
    std::cerr << "the generator failed\n";
    std::exit(1);
  }
  std::ofstream(data_dir() / "done");
}

void exec_sql(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::cerr << "sqlite: " << (message ? message : "?") << "\n";
    std::exit(1);
  }
}

// Seeds the database once; a copy without the name index beside it.
void seed_databases() {
  if (!fs::exists(database_file())) {
    const fs::path part = data_dir() / "mm.sqlite.part";
    fs::remove(part);
    std::cerr << "seeding " << database_file() << " with " << stored_count << " models\n";
    {
      sim::modelmanager::database db(part);
      db.seed_from_file(data_dir() / "seed.lsp");
    }
    fs::rename(part, database_file());
  }
  if (!fs::exists(unindexed_database_file())) {
    const fs::path part = data_dir() / "mm-without-index.sqlite.part";
    fs::copy_file(database_file(), part, fs::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    sqlite3_open(part.string().c_str(), &db);
    exec_sql(db, "DROP INDEX models_by_name");
    sqlite3_close(db);
    fs::rename(part, unindexed_database_file());
  }
}

// What SQLite makes of the name query on a database file.
std::string query_plan(const fs::path& file) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  std::string plan;
  if (sqlite3_prepare_v2(db, (std::string("EXPLAIN QUERY PLAN ") + name_query_sql).c_str(), -1, &s,
                         nullptr) == SQLITE_OK)
    while (sqlite3_step(s) == SQLITE_ROW)
      plan +=
          (plan.empty() ? "" : "; ") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 3)));
  else
    plan = sqlite3_errmsg(db);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return plan;
}

// The model status stage 1 leaves for the assembly's top-level model.
model_status_ptr assembly_status() {
  auto s = std::make_shared<vtm::analytics::model_status>();
  s->source = "/legacy/assembly.pkg";
  s->key = s->source.string() + "/assembly";
  s->staged = "models/S7-TOP.sda";
  return s;
}

// The session holding the assembly just as loaded: no name sanitized or
// made unique yet, no tracking features.
void load_fresh_assembly() {
  host::elan::delete_3d(hl::eval_string(":all_at_top"));
  host::frame2_ui::universal_load(assembly_file().string());
}

int tracking_feature_count() {
  return int(hl::list_length(
      host::k2::search_universal_feature(host::oli::get_instance(host::elan_ui::get_root_sel_item()))));
}

void count_result(benchmark::State& state, const check_in_context& context) {
  state.counters["conflicts"] = double(context.current_conflicts.size());
  state.counters["features"] = tracking_feature_count();
}

// The host's own load of the assembly, for scale.
void BM_LoadAssembly(benchmark::State& state) {
  for (auto _ : state) load_fresh_assembly();
}
BENCHMARK(BM_LoadAssembly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The model made current just after loading: the whole scan with every name
// queried in the database.
void BM_SetCurrentModel(benchmark::State& state) {
  vtm::records::host_cluster_session session;
  std::unique_ptr<check_in_context> context;
  for (auto _ : state) {
    state.PauseTiming();
    load_fresh_assembly();
    context = std::make_unique<check_in_context>();
    model_status_ptr model = assembly_status();
    state.ResumeTiming();
    set_check_in_context_current_model(*context, std::move(model), session);
  }
  count_result(state, *context);
}
BENCHMARK(BM_SetCurrentModel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The same model made current again, as after an applied resolution: the
// scan and tracking once more, the name answers from the cache.
void BM_Reanalyze(benchmark::State& state) {
  vtm::records::host_cluster_session session;
  load_fresh_assembly();
  check_in_context context;
  const model_status_ptr model = assembly_status();
  set_check_in_context_current_model(context, model, session);
  for (auto _ : state) set_check_in_context_current_model(context, model, session);
  count_result(state, context);
}
BENCHMARK(BM_Reanalyze)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_Reanalyze)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);

// The conflict queue cleaned, as after every applied resolution, once the
// model has been analyzed 1 + state.range(0) times.
void BM_CleanupConflictQueue(benchmark::State& state) {
  vtm::records::host_cluster_session session;
  load_fresh_assembly();
  check_in_context context;
  const model_status_ptr model = assembly_status();
  for (int i = 0; i <= state.range(0); ++i) set_check_in_context_current_model(context, model, session);
  for (auto _ : state) cleanup_conflict_queue(context, session);
  count_result(state, context);
}
BENCHMARK(BM_CleanupConflictQueue)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// One uncached name query through the module: the database's rows turned
// into records, dates parsed, the preferred one chosen.
void BM_NameQuery(benchmark::State& state, const char* name) {
  for (auto _ : state) benchmark::DoNotOptimize(query_component_by_model_name(name, 100, false));
}
BENCHMARK_CAPTURE(BM_NameQuery, stored, stored_name)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_NameQuery, not_stored, unknown_name)->Unit(benchmark::kMicrosecond);

void BM_NameQueryCached(benchmark::State& state) {
  query_component_by_model_name(stored_name);
  for (auto _ : state) benchmark::DoNotOptimize(query_component_by_model_name(stored_name));
}
BENCHMARK(BM_NameQueryCached)->Unit(benchmark::kMicrosecond);

// The simulated Model Manager's query alone.
void BM_DatabaseQuery(benchmark::State& state) {
  auto& db = sim::modelmanager::current_database();
  for (auto _ : state) benchmark::DoNotOptimize(db.query_by_name(stored_name, 100));
}
BENCHMARK(BM_DatabaseQuery)->Unit(benchmark::kMicrosecond);

// The same statement on the database with and without its name index.
void BM_SqlNameQuery(benchmark::State& state, fs::path (*file)()) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file().string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, name_query_sql, -1, &s, nullptr);
  int rows = 0;
  for (auto _ : state) {
    sqlite3_bind_text(s, 1, stored_name, -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 2, 100);
    rows = 0;
    while (sqlite3_step(s) == SQLITE_ROW) ++rows;
    sqlite3_reset(s);
  }
  state.counters["rows"] = rows;
  state.SetLabel(query_plan(file()));
  sqlite3_finalize(s);
  sqlite3_close(db);
}
// The statement prepared for every query, as the simulated Model Manager
// does.
void BM_SqlNameQueryPrepared(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(database_file().string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, name_query_sql, -1, &s, nullptr);
    sqlite3_bind_text(s, 1, stored_name, -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 2, 100);
    while (sqlite3_step(s) == SQLITE_ROW) {
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
}
BENCHMARK(BM_SqlNameQueryPrepared)->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_SqlNameQuery, indexed, database_file)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SqlNameQuery, without_index, unindexed_database_file)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  generate_inputs();
  // The host's per-user settings stay with the benchmark's data.
  setenv("SDUSERCUSTOMIZEDIR", (data_dir() / "user").c_str(), 1);
  hl::make_package("SD-DOC-TOOLS", {"SDDT"}, {&hl::common_lisp_package()});
  if (init_load_init() != 1) {
    std::cerr << "the module did not load\n";
    return 1;
  }
  seed_databases();
  sim::modelmanager::use_database_file(database_file());
  std::cerr << "name query plan: " << query_plan(database_file()) << "\n";
  // The scan's trace lines are not part of what is timed.
  std::ofstream host_output(data_dir() / "host-output.txt");
  hl::set_standard_output(host_output);
  benchmark::RunSpecifiedBenchmarks();
  hl::set_standard_output(std::cout);
  benchmark::Shutdown();
  return 0;
}
