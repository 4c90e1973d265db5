// The host's error state and the pieces of the guarded action call, and the
// part check that reports through them.
#include "host/command_errors.h"
#include "host/files.h"
#include "host/lisp/packages.h"
#include "host/lisp/reader.h"
#include "host/part_check.h"
#include "session_fixture.h"

namespace {

using namespace host::lisp;
using sim_test::error_of;
using sim_test::ev;

class HostErrors : public sim_test::SessionTest {};

// What the module's guarded call does around a host command.
ref guarded(std::string_view form) {
  special_binding catcher(intern("*DISPLAY-ERROR-FUNCTION*", require_package("FRAME2")),
                          symbol_function(intern("CATCH-DISPLAY-ERROR", require_package("FRAME2"))));
  ref outcome = trap([&] { return ev(form); });
  if (!is_condition(outcome)) return t();
  host::frame2::decode_action_call_error(outcome);
  host::system::reset_lisp_error_active();
  return host::oli::sd_inq_error_obj();
}

TEST_F(HostErrors, AFailedCommandLeavesAReadableErrorObject) {
  ref error = guarded("(frame2-ui::load_sd \"missing.sd\")");
  EXPECT_TRUE(host::lisp::equal(host::frame2::read_error_object(error, ev(":module")), ev(":frame2-ui")));
  std::string message = as_string(host::frame2::read_error_object(error, ev(":error-mesg")));
  EXPECT_NE(message.find("missing.sd"), std::string::npos);
  std::string printed = prin1_to_string(error);
  EXPECT_EQ(printed.rfind("#S(FRAME2::ERROR-OBJECT :MODULE :FRAME2-UI", 0), 0u) << printed;
  EXPECT_TRUE(equalp(read_from_string(printed), error));
  EXPECT_FALSE(host::system::reset_lisp_error_active());
}

TEST_F(HostErrors, ErrorsOfPlainLispAndDisplayedErrorsBecomeErrorObjects) {
  host::system::reset_lisp_error_active();
  ref error = guarded("(car 5)");
  EXPECT_NE(as_string(host::frame2::read_error_object(error, ev(":error-mesg"))).find("5"),
            std::string::npos);
  // An error shown during a guarded call is caught, not printed.
  {
    special_binding catcher(intern("*DISPLAY-ERROR-FUNCTION*", require_package("FRAME2")),
                            symbol_function(intern("CATCH-DISPLAY-ERROR", require_package("FRAME2"))));
    ev("(frame2::display-error \"Nothing to save\")");
  }
  EXPECT_TRUE(host::system::reset_lisp_error_active());
  EXPECT_EQ(as_string(host::frame2::read_error_object(host::oli::sd_inq_error_obj(), ev(":error-mesg"))),
            "Nothing to save");
  // Action calls that are not allowed set the host's known error.
  ref illegal = ev("(frame2::sd-modinfo-set-error :oli :sd-call-action-illegal-call)");
  EXPECT_EQ(host::oli::sd_inq_error_obj(), illegal);
  EXPECT_EQ(host::frame2::read_error_object(illegal, ev(":code")), ev(":sd-call-action-illegal-call"));
  EXPECT_TRUE(host::frame2::action_call_allowed());
  EXPECT_TRUE(host::frame2::enable_terminate_action_test());
}

TEST_F(HostErrors, PartCheckResultsComeFromTheModelFile) {
  write("parts.pkg", R"((:sdsim-model 1)
(:contents :id "bad" :sysid "C-BAD" :name "bad"
 :check-result (("Error:" ("face" "Face 3 is open" 1 2) ("edge" "Edge 9 is too short"))
                ("Warning:" ("body" "Tolerance is coarse"))))
(:contents :id "broken" :sysid "C-BROKEN" :name "broken" :check-error "The part check was aborted.")
(:model :name "asm" :contents (:name "asm" :children ((:name "bad" :contents "bad")
                                                     (:name "broken" :contents "broken")))))");
  host::frame2_ui::universal_load("parts.pkg");
  ref result =
      guarded("(k2-ui::check_part :objects (oli::sd-pathname-to-obj \"/asm/bad\") :minimal_check :on)");
  EXPECT_EQ(result, t());
  EXPECT_EQ(prin1_to_string(host::frame2::sd_action_result()),
            "((\"Error:\" (\"face\" \"Face 3 is open\" 1 2) (\"edge\" \"Edge 9 is too short\")) "
            "(\"Warning:\" (\"body\" \"Tolerance is coarse\")))");
  ref failed = guarded("(k2-ui::check_part :objects (oli::sd-pathname-to-obj \"/asm/broken\"))");
  EXPECT_EQ(as_string(host::frame2::read_error_object(failed, ev(":error-mesg"))),
            "The part check was aborted.");
  ref not_a_part = guarded("(k2-ui::check_part :objects (oli::sd-pathname-to-obj \"/asm\"))");
  EXPECT_EQ(host::frame2::read_error_object(not_a_part, ev(":code")), ev(":not-a-part"));
  // A list of paths checks each.
  ref both = host::k2_ui::check_part(list({at("/asm/bad"), at("/asm/bad")}));
  EXPECT_EQ(list_length(both), 4u);
}

}  // namespace
