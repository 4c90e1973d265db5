// What the record tests share: the module's package and record definitions,
// a scratch directory, and the host output captured.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "lisp/runtime.h"
#include "records/lisp_definitions.h"

namespace records_test {

inline void define_records() {
  host::lisp::initialize_runtime();
  if (!host::lisp::find_package("VANTREL-MIGRATOR"))
    host::lisp::make_package("VANTREL-MIGRATOR", {"VTM"}, {&host::lisp::common_lisp_package()});
  static const bool defined = [] {
    vtm::records::define_vt_model();
    vtm::records::define_vt_filerecords();
    return true;
  }();
  (void)defined;
}

inline std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void spit(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

// A fresh directory (with a blank and a non-ASCII letter in its name),
// removed afterwards; the host output goes to `output`.
class records_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    define_records();
    std::string pattern = (std::filesystem::temp_directory_path() / "vtm records Ü-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    host::lisp::set_standard_output(output);
  }
  void TearDown() override {
    host::lisp::set_standard_output(std::cout);
    std::filesystem::remove_all(dir);
  }

  std::filesystem::path dir;
  std::ostringstream output;
};

}  // namespace records_test
