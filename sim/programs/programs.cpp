// Finding and running programs, and the temporary directory of a host run.
#include "host/programs.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "host/lisp/errors.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;
namespace fs = std::filesystem;

bool executable_file(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

}  // namespace

namespace host::frame2 {

ref find_executable(std::string_view program) {
  std::string name(program);
  if (name.empty()) return nil();
  if (name.find('/') != std::string::npos) return executable_file(name) ? make_string(name) : nil();
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && executable_file(self.parent_path() / name))
    return make_string((self.parent_path() / name).string());
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && executable_file(fs::path(dir) / name))
      return make_string((fs::path(dir) / name).string());
  return nil();
}

}  // namespace host::frame2

namespace host::oli {

ref sd_inq_temp_dir() {
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base && *base ? base : "/tmp") + "/sdhost-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
      sim::host_command_failed("OLI", "NO-TEMP-DIR",
                               "Cannot make a temporary directory like '" + pattern + "'.");
    return pattern + "/";
  }();
  return make_string(dir);
}

}  // namespace host::oli

namespace host::system {

int call_system(std::string_view command) {
  int status = std::system(std::string(command).c_str());
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

namespace {

// Starts the program of arguments with the file actions, which it destroys;
// the child's pid, or -1 when it could not be started.
pid_t spawn_program(const std::vector<std::string>& arguments, posix_spawn_file_actions_t& actions) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return started == 0 ? pid : -1;
}

// The child's pid, or -1 when it could not be started.
pid_t start_program(const std::vector<std::string>& arguments, const std::filesystem::path& stdout_file) {
  if (arguments.empty()) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  return spawn_program(arguments, actions);
}

int wait_for(pid_t pid) {
  if (pid < 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int run_program(const std::vector<std::string>& arguments, const std::filesystem::path& stdout_file) {
  return wait_for(start_program(arguments, stdout_file));
}

namespace {

// Runs count programs, at most at_once at a time; the next starts the moment
// any of those running is done, so a slow one does not hold up the others.
// start(i) starts the i-th and answers the descriptor to watch (-1 when
// there is nothing to watch); ready(i, fd) takes that descriptor when it is
// readable and answers whether the i-th is done.
void run_side_by_side(std::size_t count, std::size_t at_once, const std::function<int(std::size_t)>& start,
                      const std::function<bool(std::size_t, int)>& ready) {
  if (at_once == 0) at_once = 1;
  struct running {
    std::size_t run;
    int fd;
  };
  std::vector<running> now;
  std::vector<pollfd> watched;
  for (std::size_t next = 0; next < count || !now.empty();) {
    for (; next < count && now.size() < at_once; ++next)
      if (const int fd = start(next); fd >= 0) now.push_back({next, fd});
    if (now.empty()) continue;
    watched.clear();
    for (const running& r : now) watched.push_back({r.fd, POLLIN, 0});
    int polled;
    while ((polled = ::poll(watched.data(), watched.size(), -1)) < 0 && errno == EINTR) {
    }
    if (polled < 0) watched.front().revents = POLLIN;  // cannot watch them: take the oldest
    for (std::size_t i = now.size(); i-- > 0;)
      if (watched[i].revents != 0 && ready(now[i].run, now[i].fd)) now.erase(now.begin() + std::ptrdiff_t(i));
  }
}

// The child's pid and the reading end of a pipe from its standard output;
// pid -1 when it could not be started.
std::pair<pid_t, int> start_program_into_pipe(const std::vector<std::string>& arguments) {
  int pipe_ends[2];
  if (arguments.empty() || ::pipe2(pipe_ends, O_CLOEXEC) != 0) return {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  const pid_t pid = spawn_program(arguments, actions);
  ::close(pipe_ends[1]);
  if (pid < 0) {
    ::close(pipe_ends[0]);
    return {-1, -1};
  }
  return {pid, pipe_ends[0]};
}

}  // namespace

std::vector<int> run_programs(const std::vector<program_run>& runs, std::size_t at_once) {
  std::vector<int> statuses(runs.size(), -1);
  std::vector<pid_t> pids(runs.size(), -1);
  // A program is done when it ends, which its pidfd tells.
  run_side_by_side(
      runs.size(), at_once,
      [&](std::size_t i) {
        pids[i] = start_program(runs[i].arguments, runs[i].stdout_file);
        if (pids[i] < 0) return -1;
        // By its system call: glibc 2.36 declares pidfd_open without C linkage.
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pids[i], 0));
        if (pidfd < 0) statuses[i] = wait_for(pids[i]);  // a kernel without pidfds: one at a time
        return pidfd;
      },
      [&](std::size_t i, int pidfd) {
        statuses[i] = wait_for(pids[i]);
        ::close(pidfd);
        return true;
      });
  return statuses;
}

std::vector<program_output> run_programs_for_output(const std::vector<std::vector<std::string>>& commands,
                                                    std::size_t at_once) {
  std::vector<program_output> outputs(commands.size());
  std::vector<pid_t> pids(commands.size(), -1);
  char buffer[65536];
  // A program is done when its output ends; each is read as it writes, so
  // that none waits on a full pipe.
  run_side_by_side(
      commands.size(), at_once,
      [&](std::size_t i) {
        const auto [pid, out] = start_program_into_pipe(commands[i]);
        pids[i] = pid;
        return out;
      },
      [&](std::size_t i, int out) {
        const ssize_t n = ::read(out, buffer, sizeof buffer);
        if (n > 0) outputs[i].output.append(buffer, std::size_t(n));
        if (n > 0 || (n < 0 && errno == EINTR)) return false;
        ::close(out);
        outputs[i].status = wait_for(pids[i]);
        return true;
      });
  return outputs;
}

}  // namespace host::system

namespace {

using sim::define_host_function;

const builtins_registration program_functions([] {
  define_host_function("FRAME2", "FIND-EXECUTABLE", 1, 1,
                       [](args_t a) { return host::frame2::find_executable(as_string(a[0])); });
  define_host_function("OLI", "SD-INQ-TEMP-DIR", 0, 0, [](args_t) { return host::oli::sd_inq_temp_dir(); });
  define_host_function("SYSTEM", "CALL-SYSTEM", 1, 1,
                       [](args_t a) { return make_integer(host::system::call_system(as_string(a[0]))); });
});

}  // namespace
