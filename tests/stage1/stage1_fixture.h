// A scratch directory as the working directory and an empty session for
// each test of the staging operations, in this test program's own host.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "host/drawings.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "support/module_fixture.h"

namespace stage1_test {

namespace fs = std::filesystem;
namespace hl = host::lisp;

inline std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Stage1Test : public testing::Test {
 protected:
  void SetUp() override {
    vtm_test::load_module_once();
    clear_session();
    old_cwd_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("stage1 test " + std::to_string(::getpid()) + " " +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    hl::set_standard_output(output_);
  }
  void TearDown() override {
    hl::set_standard_output(std::cout);
    clear_session();
    fs::current_path(old_cwd_);
    fs::remove_all(dir_);
  }

  static void clear_session() {
    host::elan::delete_3d(hl::ref(&hl::keyword("ALL_AT_TOP")));
    host::docu::am_drawing_delete();
  }

  fs::path write(const fs::path& relative, std::string_view text) {
    const fs::path file = dir_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  // What the host printed on its standard output so far; empties it.
  std::string output() {
    std::string s = output_.str();
    output_.str("");
    return s;
  }

  fs::path dir_, old_cwd_;
  std::ostringstream output_;
};

}  // namespace stage1_test
