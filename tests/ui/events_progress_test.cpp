// Host events, the progress bar and running programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/programs.h"
#include "host/progress.h"
#include "ui_fixture.h"

namespace {

using namespace host::lisp;

class Events : public ui_test::ConsoleTest {};

TEST_F(Events, HandlersRunAfterEveryLineUntilTheyUnsubscribe) {
  eval_string("(defvar cl-user::*seen* nil)");
  eval_string("(setq cl-user::*seen* nil)");
  // The handler counts to three, then queues a line and leaves.
  eval_string(
      "(defun cl-user::watch (n) (setq cl-user::*seen* (cons n cl-user::*seen*))"
      "  (if (< n 3) (event:subscribe-event event:*browser-update-event* 'cl-user::watch (+ n 1))"
      "    (progn (event:unsubscribe-event event:*browser-update-event* 'cl-user::watch)"
      "           (frame2::put-buffer \"(list :done)\"))))");
  eval_string("(defun cl-user::broken (x) (car x))");
  run("(event:subscribe-event event:*browser-update-event* 'cl-user::broken 5)");
  testing::internal::CaptureStderr();
  run("(event:subscribe-event event:*browser-update-event* 'cl-user::watch 1)");
  EXPECT_EQ(prin1_to_string(eval_string("cl-user::*seen*")), "(1)");
  EXPECT_EQ(run("(list 0)"), "(0)\n");
  EXPECT_EQ(run("(list 0)"), "(0)\n(:DONE)\n");
  std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(prin1_to_string(eval_string("cl-user::*seen*")), "(3 2 1)");
  // The failing handler was reported each time and did not stop the other.
  EXPECT_NE(warnings.find("Warning: an event handler failed:"), std::string::npos) << warnings;
  eval_string("(event:unsubscribe-event event:*browser-update-event* 'cl-user::broken)");
  run("(list 1)");
  EXPECT_EQ(prin1_to_string(eval_string("cl-user::*seen*")), "(3 2 1)");
}

TEST_F(Events, ProcessEventCallsOnlyThatEventsHandlers) {
  eval_string("(defvar cl-user::*tree* 0)");
  eval_string("(defun cl-user::tree-changed (n) (setq cl-user::*tree* (+ cl-user::*tree* n)))");
  host::event::subscribe_event(host::event::changed_parcel_tree_event(),
                               ref(&intern("TREE-CHANGED", user_package())), make_integer(2));
  host::event::process_event(host::event::browser_update_event());
  EXPECT_EQ(prin1_to_string(eval_string("cl-user::*tree*")), "0");
  eval_string("(event:process-event event:*changed-parcel-tree-event*)");
  EXPECT_EQ(prin1_to_string(eval_string("cl-user::*tree*")), "2");
  host::event::unsubscribe_event(host::event::changed_parcel_tree_event(),
                                 ref(&intern("TREE-CHANGED", user_package())));
}

TEST(Progress, ShowsEachTenthAndRefusesUseAfterTheEnd) {
  testing::internal::CaptureStderr();
  ref bar = host::frame2::create_progress_bar("Staging");
  host::frame2::set_progress_bar_maximum(bar, 20);
  for (int i = 0; i < 20; ++i) host::frame2::add_progress_bar_ticks(bar, 1);
  EXPECT_EQ(host::frame2::finalize_progress_bar(bar), t());
  std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown.rfind("Staging: 0/20 (0%)\nStaging: 2/20 (10%)\n", 0), 0u) << shown;
  EXPECT_NE(shown.find("Staging: 20/20 (100%)\nStaging: done, 20/20\n"), std::string::npos) << shown;
  EXPECT_THROW(host::frame2::add_progress_bar_ticks(bar, 1), lisp_error);
}

TEST(Programs, FindsProgramsAndReportsTheirExitStatus) {
  ref sh = host::frame2::find_executable("sh");
  ASSERT_FALSE(is_nil(sh));
  EXPECT_TRUE(std::filesystem::path(as_string(sh)).is_absolute());
  EXPECT_TRUE(is_nil(host::frame2::find_executable("no-such-program-of-the-host")));
  EXPECT_EQ(host::system::call_system("exit 3"), 3);
  EXPECT_EQ(host::system::call_system("true"), 0);
  // Without a shell: blanks and shell syntax are plain argument text.
  const auto out = std::filesystem::temp_directory_path() / ("run program " + std::to_string(::getpid()));
  EXPECT_EQ(host::system::run_program({as_string(sh), "-c", "echo \"$0\"", "a b; rm -rf x >y"}, out), 0);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "a b; rm -rf x >y\n");
  std::filesystem::remove(out);
  EXPECT_EQ(host::system::run_program({"/no/such/program"}, out), -1);
}

// Programs side by side: each answer stays with its program whatever order
// they end in (the first cannot end before the second has), an output
// larger than a pipe holds is read whole, and a program that fails or
// cannot start gives its status.
TEST(Programs, RunSideBySideForTheirOutputInTheirOrder) {
  const auto fifo = std::filesystem::temp_directory_path() / ("programs fifo " + std::to_string(::getpid()));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string sh = as_string(host::frame2::find_executable("sh"));
  const std::vector<host::system::program_output> outputs =
      host::system::run_programs_for_output({{sh, "-c", "read x < \"$0\"; echo first $x", fifo.string()},
                                             {sh, "-c", "echo second; echo go > \"$0\"", fifo.string()},
                                             {sh, "-c", "head -c 300000 /dev/zero"},
                                             {sh, "-c", "echo partial; exit 3"},
                                             {"/no/such/program"}},
                                            2);
  std::filesystem::remove(fifo);
  ASSERT_EQ(outputs.size(), 5u);
  EXPECT_EQ(outputs[0].status, 0);
  EXPECT_EQ(outputs[0].output, "first go\n");
  EXPECT_EQ(outputs[1].output, "second\n");
  EXPECT_EQ(outputs[2].output, std::string(300000, '\0'));
  EXPECT_EQ(outputs[3].status, 3);
  EXPECT_EQ(outputs[3].output, "partial\n");
  EXPECT_EQ(outputs[4].status, -1);
  EXPECT_EQ(outputs[4].output, "");
}

}  // namespace
