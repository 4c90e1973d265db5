#include "checkin_fixture.h"
#include "host/lisp/printer.h"

namespace checkin_test {
namespace {

std::string ev(const std::string& text) { return hl::prin1_to_string(hl::eval_string(text)); }

TEST_F(CheckInTest, TheDialogReachesTheContextAndItsConflictsFromLisp) {
  load("frame.pkg", two_bolts);
  write_analytics({status_of("frame", "S1"), status_of("plate", "S2", {"CHECKED-IN"})});
  hl::symbol& ctx = hl::intern("*TEST-CONTEXT*", hl::require_package("VANTREL-MIGRATOR"));
  hl::set_symbol_value(ctx, hl::eval_string("(vtm::make-check-in-context \"" + dir.string() + "\")"));
  EXPECT_EQ(ev("(vtm::check-in-context-p vtm::*test-context*)"), "T");
  EXPECT_EQ(ev("(vtm::check-in-context-remaining-models vtm::*test-context*)"), "1");
  EXPECT_EQ(ev("(vtm::check-in-context-current-model vtm::*test-context*)"), "NIL");

  const std::string model = hl::prin1_to_string(vtm::core::to_lisp(status_of("frame", "S1")));
  ev("(vtm::set-check-in-context-current-model vtm::*test-context* '" + model + ")");
  EXPECT_EQ(ev("(vtm::check-in-context-conflict-names vtm::*test-context*)"), "(\"bolt\")");
  EXPECT_EQ(ev("(vtm::check-in-context-remaining-name-conflicts vtm::*test-context*)"), "1");
  const std::string bolt = "(vtm::check-in-context-conflict vtm::*test-context* \"bolt\")";
  EXPECT_EQ(ev("(vtm::model-name-info-p " + bolt + ")"), "T");
  EXPECT_EQ(ev("(vtm::name-double-count " + bolt + ")"), "2");
  EXPECT_EQ(ev("(getf (vtm::model-name-info-plist " + bolt + ") :model-name)"), "\"bolt\"");
  ev("(vtm::ready-name-conflict-resolution " + bolt + ")");
  EXPECT_EQ(ev("(vtm::resolve-name-conflict " + bolt + " :rename-local)"), ":RENAME");
  EXPECT_EQ(ev("(vtm::resolve-name-conflict " + bolt + " :no-such-resolution)"), "NIL");
  EXPECT_EQ(ev("(vtm::name-has-doubles-p " + bolt + ")"), "NIL");
  ev("(vtm::cleanup-conflict-queue vtm::*test-context*)");
  EXPECT_EQ(ev("(vtm::check-in-context-remaining-name-conflicts vtm::*test-context*)"), "0");
  // The queued record itself is the current model.
  EXPECT_EQ(
      ev("(vantrel-migrator::model-status-staged (vtm::check-in-context-current-model vtm::*test-context*))"),
      "#P\"models/S1.sda\"");
  hl::set_symbol_value(ctx, hl::nil());
}

}  // namespace
}  // namespace checkin_test
