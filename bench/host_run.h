// The built sdhost run as a user runs it, for the benchmarks that time whole
// host runs: its output into a file, its exit status, wall time, processor
// time and peak memory. The peak is the kernel's for the child, which starts
// from this process's own peak: a benchmark keeps its own memory below the
// host's.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace vtm_bench {

struct host_outcome {
  int status = -1;
  double peak_mb = 0;
  std::chrono::duration<double> took{};
  double cpu_s = 0;  // user and system: on a busy machine the wall time also waits
};

// Runs sdhost with the arguments in this process's environment; stdout and
// stderr go to log.
inline host_outcome run_host(const std::vector<std::string>& arguments, const std::filesystem::path& log) {
  std::vector<std::string> all{VTM_SDHOST_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  host_outcome o;
  const auto start = std::chrono::steady_clock::now();
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) o.status = WEXITSTATUS(status);
    o.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    o.cpu_s = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  o.took = std::chrono::steady_clock::now() - start;
  posix_spawn_file_actions_destroy(&actions);
  return o;
}

}  // namespace vtm_bench
