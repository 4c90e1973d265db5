// Run directories for whole check-in sessions on the example: a copy of the
// example staging directory and a database seeded from examples/stage2, and
// what the analytics file and the database hold afterwards.
#pragma once

#include "assisted_checkin_fixture.h"

namespace assisted_checkin_test {

inline const fs::path example = fs::path(VTM_SOURCE_DIR) / "examples" / "stage2";

struct queued_model {
  const char* staged;
  const char* name;  // its top-level model name in the database
};
inline const queued_model example_models[] = {
    {"models/I-GEARBOX.sda", "gearbox"},  {"models/I-FRAME.sda", "frame"},   {"models/I-TWINS.sda", "twins"},
    {"models/I-BRACKET.sda", "bracket"},  {"models/I-LOGWARN.sdp", "clamp"}, {"models/I-PUMP.sda", "pump"},
    {"models/I-OLDPART.sdp", "old part"}, {"models/I-SHAFT.sdp", "shaft"}};

// Two seeded models, the components of the eight models (the shaft is
// replaced by the seeded one) and the frame's drawing.
constexpr long models_after_the_session = 22;

class ExampleRun : public AssistedCheckIn {
 protected:
  // A run directory with a copy of the example staging directory and the
  // example's seeded database.
  // seed: the database's seed file, the example's by default.
  fs::path prepare(const std::string& name, const fs::path& seed = example / "seed.lsp") {
    const fs::path dir = dir_ / name;
    fs::create_directories(dir);
    fs::copy(example_staging(), dir / "staging", fs::copy_options::recursive);
    const auto r = run(dir, {"(sdsim:mm-seed-database \"" + seed.string() + "\")"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return dir;
  }
  static std::string analytics_of(const fs::path& dir) { return read(dir / "staging" / "analytics.lsp"); }
  // Statuses of the staged file in the analytics file carrying :CHECKED-IN.
  static int checked_in(const fs::path& dir, const std::string& staged) {
    int n = 0;
    std::istringstream lines(analytics_of(dir));
    for (std::string line; std::getline(lines, line);) {
      const std::size_t tags = line.find(":TAGS (");
      if (line.find(":STAGED #P\"" + staged + "\"") == std::string::npos || tags == std::string::npos)
        continue;
      const std::string list = line.substr(tags, line.find(')', tags) - tags);
      if (list.find(":CHECKED-IN") != std::string::npos) ++n;
    }
    return n;
  }
  // Models of that name stored in the run directory's database.
  static int stored(const fs::path& dir, const std::string& name) {
    const auto r = run(dir, {"(modelmanager:mm-query-by-name \"$MODEL\" \"$ALL\" \"" + name + "\" 100)"});
    return count(r.out, "\" \"" + name + "\" \"");
  }
  static long model_count(const fs::path& dir) {
    const auto r = run(dir, {"(sdsim:mm-model-count)"});
    return std::stol("0" + r.out.substr(0, r.out.find('\n')));
  }
};

}  // namespace assisted_checkin_test
