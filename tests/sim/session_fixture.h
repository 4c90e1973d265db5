// A clean session and a scratch directory for each test of the session and
// its files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "host/model_tree.h"

namespace sim_test {

inline host::lisp::ref ev(std::string_view text) { return host::lisp::eval_string(text); }

// The message of the error that evaluating text signals; "" when none.
inline std::string error_of(std::string_view text) {
  try {
    ev(text);
  } catch (const host::lisp::lisp_error& e) {
    return e.message();
  }
  return "";
}

class SessionTest : public testing::Test {
 protected:
  void SetUp() override {
    host::elan::delete_3d(host::lisp::eval_string(":all_at_top"));
    old_cwd_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("sdsim session " + std::to_string(::getpid()) + " " +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    host::elan::delete_3d(host::lisp::eval_string(":all_at_top"));
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path write(const std::string& name, std::string_view text) {
    std::filesystem::path file = dir_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file;
  }

  // The model path of a host path name; fails the test when there is none.
  host::lisp::ref at(const std::string& pathname) {
    host::lisp::ref p = ev("(oli::sd-pathname-to-obj \"" + pathname + "\")");
    EXPECT_FALSE(host::lisp::is_nil(p)) << pathname;
    return p;
  }

  std::filesystem::path dir_, old_cwd_;
};

// A package with an assembly "frame" that uses the part "bolt" twice and a
// sub-assembly "sub" that uses it once more.
constexpr std::string_view frame_package = R"((:sdsim-model 1)
(:contents :id "bolt" :sysid "C-BOLT" :name "bolt" :timestamp 3.9d9)
(:contents :id "sub" :sysid "C-SUB" :name "sub" :timestamp 3.7d9
 :children ((:name "b" :contents "bolt")))
(:model :sysid "I-FRAME" :name "frame"
 :contents (:sysid "C-FRAME" :name "frame" :timestamp 3.8d9
            :attributes (("DB-GREF" :elid 12))
            :children ((:name "bolt" :sysid "I-B1" :contents "bolt")
                       (:name "bolt" :sysid "I-B2" :contents "bolt")
                       (:name "sub" :contents "sub"))))
)";

}  // namespace sim_test
