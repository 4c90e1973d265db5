#include "drawings/warning_interceptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "support/module_fixture.h"

namespace {

using namespace host::lisp;

// Stands in for the host's warning box: records what it showed.
class WarningInterceptor : public testing::Test {
 protected:
  void SetUp() override {
    vtm_test::load_module_once();
    symbol& s = intern("SD-DISPLAY-WARNING", require_package("OLI"));
    host_function_ = s.function;
    defun(s, [this](args_t args) {
      shown_.push_back(as_string(args[0]));
      return ref(&keyword("SHOWN"));
    });
    box_ = s.function;
  }
  void TearDown() override {
    vtm::drawings::uninstall_warning_interceptor();
    intern("SD-DISPLAY-WARNING", require_package("OLI")).function = host_function_;
  }

  std::string warn(const std::string& message) {
    return as_symbol(eval_string("(oli::sd-display-warning \"" + message + "\" :yes :no)")).name;
  }
  bool box_installed() { return intern("SD-DISPLAY-WARNING", require_package("OLI")).function == box_; }

  ref host_function_, box_;
  std::vector<std::string> shown_;
};

TEST_F(WarningInterceptor, AnswersTheKnownQuestionsAndShowsTheRest) {
  eval_string("(vtm::install-warning-interceptor)");
  EXPECT_EQ(warn("Import writes 'log' for the drawing: keep it?"), "NO");
  EXPECT_EQ(warn("Replace the drawing in session?"), "YES");
  EXPECT_EQ(warn("Drawing has unresolved references"), "SHOWN");
  EXPECT_EQ(warn("Disk almost full"), "SHOWN");
  EXPECT_EQ(shown_, (std::vector<std::string>{"Drawing has unresolved references", "Disk almost full"}));
}

TEST_F(WarningInterceptor, ANestedInstallCannotLoseTheHostsFunction) {
  eval_string("(vtm::uninstall-warning-interceptor)");
  EXPECT_TRUE(box_installed());
  eval_string("(vtm::install-warning-interceptor)");
  eval_string("(vtm::install-warning-interceptor)");
  EXPECT_FALSE(box_installed());
  eval_string("(vtm::uninstall-warning-interceptor)");
  EXPECT_TRUE(box_installed());
  EXPECT_EQ(warn("drawing"), "SHOWN");
}

TEST_F(WarningInterceptor, ARunThatFailsStillUninstallsIt) {
  try {
    vtm::drawings::warning_interception during_run;
    EXPECT_EQ(warn("drawing"), "YES");
    throw std::runtime_error("run failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(box_installed());
}

}  // namespace
