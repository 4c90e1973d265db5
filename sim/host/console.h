// The host's command line: runs command lines as the user types them, from
// -e options or from a script.
//
// A command line is either a host command, whose name comes first and whose
// arguments follow on the line, or Lisp forms: each is evaluated and its
// value printed with prin1 on a line of its own. An error prints one line
// "Error: <message>" and the console carries on. After each line the
// browser updates (event::*browser-update-event*), the autorelease pool
// is drained and the lines it queued (put-buffer) run.
//
// While a dialog runs, a line that does not start with a host command is
// the dialog's input (see sim/dialogs/dialog_engine.h). Outside a dialog the
// line `help` lists what can be typed.
#pragma once

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A host command gets the rest of its command line after the name and
// answers false when it failed (it has told the user why).
using host_command = std::function<bool(std::string_view arguments)>;
// Makes name (case does not matter) a host command of the console.
void register_host_command(std::string name, host_command run);
// Adds a topic to the console's `show TOPIC` (sim/ui/inspect.cpp); the
// function prints what a user would see of it.
void register_show_topic(std::string name, std::function<void()> show);
// The topics `show` knows, in the order it shows them.
std::vector<std::string> show_topic_names();
// True while the console runs a line that a command queued (put-buffer)
// rather than one the user gave.
bool console_running_queued_line();

// How a piece of command-line text ends.
struct text_scan {
  bool complete;  // outside every list, string, escape and comment
  bool empty;     // holds nothing but blanks and comments
};
text_scan scan_command_text(std::string_view text);

// Whether a command line runs now.
bool console_busy();

class console {
 public:
  // Values print to the host's standard output, errors to err.
  explicit console(std::ostream& err = std::cerr);
  ~console();
  console(const console&) = delete;
  console& operator=(const console&) = delete;

  // Runs one command line and then the queued lines. False when any failed.
  bool run_line(std::string_view line, std::string_view source = "command line");
  // Runs a script of command lines; a Lisp form may span several lines.
  bool run_script(std::istream& in, std::string_view source);
  // Reads command lines from in until its end, prompting on prompt_out.
  bool interact(std::istream& in, std::ostream& prompt_out);
  // With stop set, a script stops at its first failing line, as `set -e` does.
  void set_stop_on_error(bool stop) { stop_on_error_ = stop; }

 private:
  bool execute(std::string_view line, std::string_view source);
  void report(std::string_view message);

  class line_tracker;
  std::ostream& err_;
  std::ostream& previous_output_;
  std::unique_ptr<line_tracker> tracker_;
  bool stop_on_error_ = false;
};

}  // namespace sim
