#include "support/sdhost_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vtm_test {

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A scratch directory for the process's standard streams.
struct stream_files {
  fs::path dir;
  stream_files() {
    std::string pattern = (fs::temp_directory_path() / "sdhost-run-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir = pattern;
  }
  ~stream_files() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

void redirect(const fs::path& file, int flags, int fd) {
  const int f = ::open(file.c_str(), flags, 0644);
  if (f < 0 || ::dup2(f, fd) < 0) ::_exit(126);
  ::close(f);
}

}  // namespace

sdhost_result run_sdhost(const std::vector<std::string>& arguments, const sdhost_run& how) {
  stream_files files;
  std::ofstream(files.dir / "in", std::ios::binary) << how.input;
  std::vector<std::string> args{VTM_SDHOST_PATH};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    redirect(files.dir / "in", O_RDONLY, 0);
    redirect(files.dir / "out", O_WRONLY | O_CREAT | O_TRUNC, 1);
    redirect(files.dir / "err", O_WRONLY | O_CREAT | O_TRUNC, 2);
    for (const auto& [name, value] : how.environment)
      value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
    if (!how.cwd.empty() && ::chdir(how.cwd.c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + how.kill_after;
  bool killed = how.kill_after.count() == 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, killed ? 0 : WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (!killed && std::chrono::steady_clock::now() >= deadline) {
      ::kill(child, SIGKILL);
      killed = true;
    } else if (!killed) {
      ::usleep(1000);
    }
  }
  sdhost_result r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  r.out = read_all(files.dir / "out");
  r.err = read_all(files.dir / "err");
  return r;
}

}  // namespace vtm_test
