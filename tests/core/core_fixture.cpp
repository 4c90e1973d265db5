#include "core_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "frame/loadmodule.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"

namespace core_test {

namespace fs = std::filesystem;

namespace {
// Removes the settings directory when the program ends.
struct directory_cleanup {
  fs::path dir;
  ~directory_cleanup() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
} cleanup;
}  // namespace

const fs::path& load_module() {
  static const fs::path settings = [] {
    fs::path dir = fs::temp_directory_path() / ("core test settings " + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ::setenv("SDUSERCUSTOMIZEDIR", dir.c_str(), 1);
    cleanup.dir = dir;
    init_load_init();
    return dir;
  }();
  return settings;
}

host::lisp::ref eval(std::string_view text) { return host::lisp::eval_string(text); }

std::string print(std::string_view text) { return host::lisp::prin1_to_string(eval(text)); }

std::string output_of(std::string_view text) {
  std::ostringstream out;
  std::ostream& saved = host::lisp::standard_output();
  host::lisp::set_standard_output(out);
  try {
    eval(text);
  } catch (...) {
    host::lisp::set_standard_output(saved);
    throw;
  }
  host::lisp::set_standard_output(saved);
  return out.str();
}

}  // namespace core_test
