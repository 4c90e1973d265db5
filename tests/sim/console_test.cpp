#include "host/console.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "host/dialogs.h"
#include "host/events.h"
#include "host/lisp/streams.h"

namespace {

// A console whose output and errors the test reads.
class Console : public testing::Test {
 protected:
  Console() : saved_(host::lisp::standard_output()) { host::lisp::set_standard_output(out_); }
  ~Console() override { host::lisp::set_standard_output(saved_); }

  std::ostream& saved_;
  std::ostringstream out_, err_;
};

TEST_F(Console, PrintsEachValueOnALineOfItsOwn) {
  sim::console console(err_);
  EXPECT_TRUE(console.run_line("(+ 1 2) \"a\\\"b\" :key"));
  EXPECT_EQ(out_.str(), "3\n\"a\\\"b\"\n:KEY\n");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(Console, StartsAValueOnAFreshLineAfterOutput) {
  sim::console console(err_);
  EXPECT_TRUE(console.run_line("(progn (format t \"partial\") 7)"));
  EXPECT_TRUE(console.run_line("(progn (format t \"whole~%\") 8)"));
  EXPECT_EQ(out_.str(), "partial\n7\nwhole\n8\n");
}

TEST_F(Console, ReportsAnErrorOnOneLineAndGoesOn) {
  sim::console console(err_);
  EXPECT_FALSE(console.run_line("(list 1) (no-such-function) (list 2)"));
  EXPECT_TRUE(console.run_line("(list 3)"));
  EXPECT_EQ(out_.str(), "(1)\n(3)\n");
  const std::string err = err_.str();
  EXPECT_EQ(err.rfind("Error: ", 0), 0u) << err;
  EXPECT_NE(err.find("NO-SUCH-FUNCTION"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(Console, RunsQueuedLinesAfterTheCurrentOneInOrder) {
  sim::console console(err_);
  EXPECT_TRUE(console.run_line(
      "(progn (frame2::put-buffer \"(progn (frame2::put-buffer \\\"(list 3)\\\") (list 1))\") "
      "(frame2::put-buffer \"(list 2)\") 0)"));
  EXPECT_EQ(out_.str(), "0\n(1)\n(2)\n(3)\n");
  EXPECT_FALSE(console.run_line("(frame2::put-buffer \"(car 1)\")"));
  EXPECT_EQ(err_.str().rfind("Error: ", 0), 0u);
}

TEST_F(Console, DispatchesALineThatStartsWithAHostCommandName) {
  std::string got = "not called";
  sim::register_host_command("test-dialog", [&](std::string_view arguments) {
    got = arguments;
    return arguments != "fail";
  });
  sim::console console(err_);
  EXPECT_TRUE(console.run_line("  TEST-DIALOG :dir \"a b\" complete  "));
  EXPECT_EQ(got, ":dir \"a b\" complete");
  EXPECT_TRUE(console.run_line("Test-Dialog"));
  EXPECT_EQ(got, "");
  EXPECT_FALSE(console.run_line("test-dialog fail"));
  EXPECT_EQ(out_.str(), "");
}

// A module runs a command line and waits for what it queued, as a batch
// that drives a dialog through Model Manager's round trips does.
TEST_F(Console, SdCallCmdsRunsALineAndItsQueuedLinesBeforeReturning) {
  std::vector<bool> answers;
  sim::register_host_command("call-nested", [&](std::string_view) {
    answers.push_back(host::frame2::sd_call_cmds(
        "(progn (frame2::put-buffer \"(format t \\\"2~%\\\")\") (format t \"1~%\") :value)"));
    host::lisp::standard_output() << "after\n";
    answers.push_back(host::frame2::sd_call_cmds("(no-such-function)"));
    return true;
  });
  sim::console console(err_);
  EXPECT_TRUE(console.run_line("call-nested"));
  // What the lines print shows; their values are the caller's, not echoed.
  EXPECT_EQ(out_.str(), "1\n2\nafter\n");
  EXPECT_EQ(answers, (std::vector<bool>{true, false}));
  EXPECT_NE(err_.str().find("NO-SUCH-FUNCTION"), std::string::npos) << err_.str();

  // From a dialog's callback no command may start.
  host::dialogs::dialog_def def;
  def.name = "CALLS_COMMANDS";
  host::dialogs::variable_def press;
  press.name = "PRESS";
  press.kind = host::dialogs::value_kind::push_action;
  press.after_input = [](host::dialogs::dialog_context&, const host::lisp::ref&) {
    host::frame2::sd_call_cmds("(list 3)");
  };
  def.variables = {press};
  host::dialogs::define_dialog(std::move(def), "COMMON-LISP-USER");
  out_.str("");
  EXPECT_FALSE(console.run_line("CALLS_COMMANDS :press"));
  EXPECT_NE(out_.str().find("sd-call-cmds cannot run (list 3) from a dialog's callback."), std::string::npos)
      << out_.str();
  EXPECT_EQ(out_.str().find("(3)"), std::string::npos) << out_.str();
  console.run_line("cancel");
}

TEST_F(Console, RunsScriptsWhoseFormsSpanLines) {
  std::istringstream script(
      "; a comment line\n"
      "(list 1\n"
      "      \"(;\" ; not the end yet\n"
      "      #\\( #| a (block |# 2)\n"
      "\n"
      "(car 1)\n"
      "(list 3)\n"
      "(list 4\n");
  sim::console console(err_);
  EXPECT_FALSE(console.run_script(script, "test.lsp"));
  EXPECT_EQ(out_.str(), "(1 \"(;\" #\\( 2)\n(3)\n");
  const std::string err = err_.str();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_NE(err.find("test.lsp"), std::string::npos) << err;
}

TEST_F(Console, PromptsUntilTheFormIsComplete) {
  std::istringstream in("(list 1\n2)\n(list 3)\n");
  std::ostringstream prompts;
  sim::console console(err_);
  EXPECT_TRUE(console.interact(in, prompts));
  EXPECT_EQ(prompts.str(), "sdhost>    ...> sdhost> sdhost> \n");
  EXPECT_EQ(out_.str(), "(1 2)\n(3)\n");
}

TEST(ScanCommandText, TellsCompleteFromOpenText) {
  struct {
    const char* text;
    bool complete, empty;
  } cases[] = {
      {"", true, true},
      {"  ; only a comment", true, true},
      {"#| block |#", true, true},
      {"#| open", false, true},
      {"#| nested #| |# still open", false, true},
      {"(a (b) c)", true, false},
      {"(a (b) c", false, false},
      {"\"a ( string", false, false},
      {"\"a \\\" ( string\"", true, false},
      {"(a \"b)\"", false, false},
      {"|odd (symbol|", true, false},
      {"(a #\\))", true, false},
      {"(a ; )\n", false, false},
      {"a)", true, false},
  };
  for (const auto& c : cases) {
    sim::text_scan scan = sim::scan_command_text(c.text);
    EXPECT_EQ(scan.complete, c.complete) << c.text;
    EXPECT_EQ(scan.empty, c.empty) << c.text;
  }
}

}  // namespace
