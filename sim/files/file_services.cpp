// The host's file services: working directory, copying and unique names.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "host/files.h"
#include "host/lisp/errors.h"
#include "host/lisp/pathnames.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;
namespace fs = std::filesystem;

bool change_directory(std::string_view directory, int& err) {
  if (::chdir(std::string(directory).c_str()) == 0) return true;
  err = errno;
  return false;
}

}  // namespace

namespace host::frame2_ui {

void sd_set_current_working_directory(std::string_view directory) {
  int err = 0;
  if (!change_directory(directory, err))
    sim::host_command_failed(
        "FRAME2-UI", "CANNOT-CHANGE-DIRECTORY",
        "Cannot change to the directory '" + std::string(directory) + "': " + std::strerror(err) + ".");
}

}  // namespace host::frame2_ui

namespace host::frame2 {

ref current_working_directory() {
  std::string dir = fs::current_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return make_string(dir);
}

ref copy_file(std::string_view from, std::string_view to) {
  std::error_code ec;
  fs::copy_file(fs::path(from), fs::path(to), fs::copy_options::overwrite_existing, ec);
  if (ec)
    sim::host_command_failed(
        "FRAME2", "COPY-FAILED",
        "Cannot copy '" + std::string(from) + "' to '" + std::string(to) + "': " + ec.message() + ".");
  return t();
}

// The process id and the start time tell this host from every other one;
// the counter tells this call from the others of the process.
ref inquire_unique_filename(std::string_view prefix) {
  static const std::string process = [] {
    char text[40];
    std::snprintf(text, sizeof text, "%X%llX", static_cast<unsigned>(::getpid()),
                  static_cast<unsigned long long>(std::time(nullptr)));
    return std::string(text);
  }();
  static std::uint64_t counter = 0;
  return make_string(std::string(prefix) + process + "-" + std::to_string(++counter));
}

}  // namespace host::frame2

namespace host::system {

bool chdir(std::string_view directory) {
  int err = 0;
  return change_directory(directory, err);
}

}  // namespace host::system

namespace {

using sim::define_host_function;

const builtins_registration file_service_functions([] {
  define_host_function("FRAME2-UI", "SD-SET-CURRENT-WORKING-DIRECTORY", 1, 1, [](args_t a) {
    host::frame2_ui::sd_set_current_working_directory(namestring(a[0]));
    return t();
  });
  define_host_function("FRAME2", "CURRENT-WORKING-DIRECTORY", 0, 0,
                       [](args_t) { return host::frame2::current_working_directory(); });
  define_host_function("FRAME2", "COPY-FILE", 2, 2,
                       [](args_t a) { return host::frame2::copy_file(namestring(a[0]), namestring(a[1])); });
  define_host_function("FRAME2", "INQUIRE-UNIQUE-FILENAME", 0, 1, [](args_t a) {
    return host::frame2::inquire_unique_filename(a.empty() ? std::string() : as_string(a[0]));
  });
  define_host_function("SYSTEM", "CHDIR", 1, 1,
                       [](args_t a) { return boolean(host::system::chdir(namestring(a[0]))); });
});

}  // namespace
