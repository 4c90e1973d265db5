// status.json and overview.html after real staging runs: their counts agree
// with the record files, status.json validates against its schema, and the
// page renders in a real browser without script errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>

#include "analytics/file_outcome.h"
#include "analytics/migration_analytics.h"
#include "analytics/overview_page.h"
#include "stage1/staging_run_fixture.h"

namespace staging_run_test {
namespace {

using json = nlohmann::json;
namespace an = vtm::analytics;

// The standard output and exit status of a shell command.
std::pair<int, std::string> shell(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return {-1, out};
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
  const int status = ::pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string shell_word(const fs::path& p) {
  std::string out = "'";
  for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Schema errors of a status file, empty when it validates.
std::string schema_errors(const fs::path& status) {
  const fs::path schema = fs::path(VTM_SOURCE_DIR) / "docs" / "status.schema.json";
  const auto [code, out] = shell(
      "python3 -c 'import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[1])), "
      "json.load(open(sys.argv[2]))); print(\"valid\")' " +
      shell_word(status) + " " + shell_word(schema) + " 2>&1");
  return code == 0 && out == "valid\n" ? std::string() : out;
}

// The page's DOM after its script ran in headless Chromium, with the
// browser's console output.
struct rendered {
  std::string dom, console;
};
rendered render(const fs::path& page, const fs::path& scratch, const std::string& fragment = "") {
  const fs::path log = scratch / "chromium.log";
  const auto [code, dom] =
      shell("chromium --headless --no-sandbox --disable-gpu --user-data-dir=" +
            shell_word(scratch / "chromium-profile") + " --enable-logging=stderr --v=0 --dump-dom " +
            shell_word(an::path_url(page.string()) + fragment) + " 2>" + shell_word(log));
  EXPECT_EQ(code, 0) << read(log);
  return {dom, read(log)};
}

std::int64_t shown_count(const std::string& dom, const std::string& id) {
  std::smatch m;
  const std::regex count("id=\"count-" + id + "\">([0-9]+)<");
  return std::regex_search(dom, m, count) ? std::stoll(m[1]) : -1;
}

TEST_F(StagingRun, StatusAndOverviewShowWhatTheRecordFilesHold) {
  // Every outcome a finished run can leave: a file that crashes the host
  // (then skipped by the rerun), one the loader refuses (broken.pkg), one no
  // loader takes, and the staged ones.
  fs::copy(fs::path(VTM_SOURCE_DIR) / "examples" / "stage1" / "crash" / "crash.pkg", input() / "legacy");
  std::ofstream(input() / "legacy" / "notes <&> 'ü'.txt") << "not CAD\n";
  const vtm_test::sdhost_result crashed = stage();
  ASSERT_EQ(crashed.status, 128 + 9) << crashed.out << crashed.err;
  const vtm_test::sdhost_result r = stage();
  ASSERT_TRUE(r.status == 0 || r.status == 3) << r.status << r.out << r.err;
  EXPECT_NE(r.err.find("done before"), std::string::npos) << "the resumed run names what was done\n" << r.err;
  EXPECT_NE(r.out.find("Staging run finished."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Next: (vtm:batch-check-in"), std::string::npos) << r.out;

  std::ifstream in(staging() / "status.json");
  const json status = json::parse(in);
  EXPECT_EQ(schema_errors(staging() / "status.json"), "");

  // Files: the counts and lists against toc.lsp.
  const std::map<std::string, cad_fileinfo> files = toc();
  std::map<std::string, std::int64_t> expected{{"found", std::int64_t(files.size())}};
  for (const auto& [name, info] : files)
    ++expected[std::string(an::cad_file_outcome_name(an::classify_cad_file(info)))];
  EXPECT_EQ(expected["crashed"], 1);
  EXPECT_EQ(expected["load-failed"], 1);
  EXPECT_EQ(expected["no-loader"], 1);
  for (const auto& [name, n] : expected) {
    EXPECT_EQ(status["files"]["counts"][name], n) << name;
    if (name != "found") {
      EXPECT_EQ(status["files"]["lists"][name].size(), std::size_t(n)) << name;
    }
  }
  EXPECT_EQ(status["files"]["lists"]["crashed"][0]["source"], (input() / "legacy" / "crash.pkg").string());
  EXPECT_NE(status["files"]["lists"]["load-failed"][0]["message"].get<std::string>().find("truncated"),
            std::string::npos);

  // Models and drawings: against analytics.lsp.
  const auto analytics = an::load_migration_analytics(staging());
  ASSERT_TRUE(analytics);
  std::int64_t models = 0, drawings = 0, workplanes = 0;
  for (an::category c : {an::category::ok, an::category::warnings, an::category::errors}) {
    for (const auto& [key, st] : analytics->for_models.table(c))
      for (const auto& tag : st.tags) workplanes += tag.name == "TOP-LEVEL-WP" ? 1 : 0;
    const std::string name(an::category_name(c));
    EXPECT_EQ(status["models"]["counts"][name], analytics->for_models.table(c).size()) << name;
    EXPECT_EQ(status["models"]["lists"][name].size(), analytics->for_models.table(c).size()) << name;
    models += std::int64_t(analytics->for_models.table(c).size());
    drawings += std::int64_t(analytics->for_drawings.table(c).size());
  }
  ASSERT_GT(models, 0);
  EXPECT_EQ(status["models"]["counts"]["total"], models);
  // Nothing is checked in yet; top-level workplanes are never queued.
  EXPECT_EQ(status["models"]["counts"]["left"], models - workplanes);
  EXPECT_EQ(status["models"]["by-tag"]["top-level-wp"], workplanes);
  EXPECT_EQ(status["drawings"]["counts"]["total"], drawings);
  std::int64_t by_tag = 0;
  for (const auto& [tag, list] : status["drawings"]["lists"].items()) by_tag += std::int64_t(list.size());
  EXPECT_EQ(by_tag, drawings);

  // The page, as a browser shows it: the same counts, every table as long as
  // its count, the script run to its end without errors.
  const rendered page = render(staging() / "overview.html", dir_);
  EXPECT_NE(page.dom.find("data-ready=\"yes\""), std::string::npos) << page.console;
  EXPECT_EQ(page.console.find("Uncaught"), std::string::npos) << page.console;
  EXPECT_EQ(page.console.find("CONSOLE"), std::string::npos) << page.console;
  for (const char* id : {"crashed", "load-failed", "no-loader", "staged", "found"})
    EXPECT_EQ(shown_count(page.dom, std::string("files-") + id), expected[id]) << id;
  EXPECT_EQ(shown_count(page.dom, "models-total"), models);
  EXPECT_EQ(shown_count(page.dom, "models-errors"), status["models"]["counts"]["errors"].get<std::int64_t>());
  EXPECT_EQ(shown_count(page.dom, "drawings-orphan"),
            status["drawings"]["counts"]["orphan"].get<std::int64_t>());
  // A section opened by its link shows as many rows as its count says,
  // whatever characters the names hold.
  const rendered opened = render(staging() / "overview.html", dir_, "#files-no-loader");
  EXPECT_NE(opened.dom.find("data-count=\"files-no-loader\" data-rows=\"1\">1<"), std::string::npos)
      << opened.dom;
  EXPECT_NE(opened.dom.find("notes &lt;&amp;&gt; 'ü'.txt</a></td>"), std::string::npos) << opened.dom;
  EXPECT_EQ(opened.console.find("CONSOLE"), std::string::npos) << opened.console;
  EXPECT_NE(page.dom.find("href=\"report.htm\""), std::string::npos);

  // The console summary reads status.json alone.
  const vtm_test::sdhost_result summary = sdhost({"(vtm:staging-status \"" + staging().string() + "\")"});
  EXPECT_EQ(summary.status, 0) << summary.err;
  EXPECT_NE(
      summary.out.find(std::to_string(expected["found"]) + " found: " + std::to_string(expected["staged"]) +
                       " staged, 1 failed to load, 0 failed to save, 1 crashed the host, 0 unfinished, 1 "
                       "without a loader"),
      std::string::npos)
      << summary.out;
}

TEST_F(StagingRun, ARunStoppedByAnErrorLeavesAStatusNamingTheUnfinishedFile) {
  const std::string status_line = "(vtm:staging-status \"" + staging().string() + "\")";
  const vtm_test::sdhost_result none = sdhost({status_line});
  EXPECT_NE(none.status, 0);
  EXPECT_NE((none.out + none.err).find("has no status.json"), std::string::npos) << none.out << none.err;

  fs::create_directories(staging());
  std::ofstream(staging() / "drawings.ami") << "in the way";
  const vtm_test::sdhost_result stopped = stage();
  ASSERT_NE(stopped.status, 0);
  EXPECT_NE(stopped.out.find("Staging run stopped."), std::string::npos) << stopped.out;
  EXPECT_EQ(schema_errors(staging() / "status.json"), "");
  std::ifstream in(staging() / "status.json");
  const json status = json::parse(in);
  EXPECT_EQ(status["written-by"], "stage-1 (stopped)");
  EXPECT_FALSE(status["analysed"].get<bool>());
  EXPECT_EQ(status["files"]["counts"]["unfinished"], 1);
  EXPECT_EQ(status["files"]["lists"]["unfinished"][0]["source"],
            (input() / "assemblies" / "bracket.pkg").string());

  const vtm_test::sdhost_result summary = sdhost({status_line});
  EXPECT_EQ(summary.status, 0) << summary.err;
  EXPECT_NE(summary.out.find("1 unfinished"), std::string::npos) << summary.out;
  EXPECT_NE(summary.out.find("not analysed yet"), std::string::npos) << summary.out;
}

}  // namespace
}  // namespace staging_run_test
