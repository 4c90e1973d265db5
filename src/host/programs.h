// Running other programs from the host, and the host's temporary directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::frame2 {
// The full path of the program, a string: first beside the host's own
// executable (the build tree's bin/ and an installation's bin/ hold sdhost
// and pb_pub together), then along PATH. NIL when there is none.
host::lisp::ref find_executable(std::string_view program);
}  // namespace host::frame2

namespace host::oli {
// A directory of this host run for temporary files, as a directory
// namestring ("/tmp/sdhost-.../"), made on first use below $TMPDIR (else
// /tmp). It is kept when the host ends, with what was put there.
host::lisp::ref sd_inq_temp_dir();
}  // namespace host::oli

namespace host::system {
// Runs the command line with /bin/sh to completion; answers its exit status
// (128 + the signal number when a signal ended it, -1 when no shell ran).
int call_system(std::string_view command);
// Runs the program with these arguments, without a shell, to completion; its
// standard output goes to stdout_file (created or replaced). The exit status
// as call_system answers it; -1 when the program could not be started.
int run_program(const std::vector<std::string>& arguments, const std::filesystem::path& stdout_file);
struct program_run {
  std::vector<std::string> arguments;
  std::filesystem::path stdout_file;
};
// Runs every program as run_program does, up to at_once of them at the same
// time, and answers their exit statuses in the order of runs.
std::vector<int> run_programs(const std::vector<program_run>& runs, std::size_t at_once);
struct program_output {
  int status = -1;  // as run_program answers it
  std::string output;
};
// The same with each program's standard output read into memory, where a
// file would cost more than a small program's run.
std::vector<program_output> run_programs_for_output(const std::vector<std::vector<std::string>>& commands,
                                                    std::size_t at_once);
}  // namespace host::system
