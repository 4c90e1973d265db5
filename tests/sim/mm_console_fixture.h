// A console over a clean session and a fresh Model Manager database in a
// scratch directory, whose output the test reads.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "host/console.h"
#include "host/lisp/streams.h"
#include "modelmanager/database.h"
#include "session_fixture.h"

namespace sim_test {

class MmConsoleTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_ = &host::lisp::standard_output();
    host::lisp::set_standard_output(out_);
    sim::modelmanager::use_database_file(dir_ / "mm.sqlite");
    console_ = std::make_unique<sim::console>(err_);
    run("(sdsim:mm-fail-stores 0 \"\")");
  }
  void TearDown() override {
    console_.reset();
    host::lisp::set_standard_output(*saved_);
    SessionTest::TearDown();
  }

  // Runs a line and its queued lines; answers what they printed.
  std::string run(std::string_view line) {
    out_.str("");
    console_->run_line(line);
    return out_.str();
  }

  std::ostringstream out_, err_;
  std::ostream* saved_ = nullptr;
  std::unique_ptr<sim::console> console_;
};

}  // namespace sim_test
