// The built sdhost run as a separate process, as a user or a script runs
// it: the module goes through dlopen, and a host crash ends only that
// process.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vtm_test {

struct sdhost_run {
  std::filesystem::path cwd;  // the process's working directory; empty: the test's
  // Variables set for the process (an empty value unsets one). The per-user
  // settings directory should always be a test's own.
  std::vector<std::pair<std::string, std::string>> environment;
  std::string input;  // standard input
  // Killed with SIGKILL from outside after this long, as a crash would end
  // it; zero: never.
  std::chrono::milliseconds kill_after{0};
};

struct sdhost_result {
  int status = -1;  // the exit status; 128 + the signal when the process was killed
  std::string out, err;
};

// Runs VTM_SDHOST_PATH with the arguments (no shell in between) to its end.
sdhost_result run_sdhost(const std::vector<std::string>& arguments, const sdhost_run& how = {});

}  // namespace vtm_test
