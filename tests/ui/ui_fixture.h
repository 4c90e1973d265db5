// Captures the host's standard output and gives a console to type into.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "host/console.h"
#include "host/lisp/streams.h"

namespace ui_test {

// A temporary per-user settings directory, so that nothing is written into
// the real one.
class temporary_settings {
 public:
  temporary_settings();
  ~temporary_settings();
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

class ConsoleTest : public testing::Test {
 protected:
  ConsoleTest() : saved_(host::lisp::standard_output()) {
    host::lisp::set_standard_output(out_);
    console_ = std::make_unique<sim::console>(err_);
  }
  ~ConsoleTest() override { host::lisp::set_standard_output(saved_); }

  // Runs a line; the output it printed.
  std::string run(const std::string& line, bool expect_ok = true);

  std::ostream& saved_;
  std::ostringstream out_, err_;
  temporary_settings settings_;
  std::unique_ptr<sim::console> console_;
};

}  // namespace ui_test
