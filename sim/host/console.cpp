#include "host/console.h"

#include <utf8.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <sstream>
#include <streambuf>
#include <utility>

#include "dialogs/dialog_engine.h"
#include "host/command_queue.h"
#include "host/events.h"
#include "host/interrupts.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "host/module_manager.h"
#include "host/native.h"

namespace sim {

namespace {

std::map<std::string, host_command, std::less<>>& host_commands() {
  static std::map<std::string, host_command, std::less<>> commands;
  return commands;
}

std::string upcase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool& queued_line_flag() {
  static bool running_queued = false;
  return running_queued;
}

// Runs the line as a host command when its first word names one; ok is
// what the command answered.
bool dispatch_host_command(std::string_view line, bool& ok) {
  std::size_t start = 0;
  while (start < line.size() && is_blank(line[start])) ++start;
  std::size_t end = start;
  while (end < line.size() && !is_blank(line[end])) ++end;
  auto it = host_commands().find(upcase(line.substr(start, end - start)));
  if (it == host_commands().end()) return false;
  std::string_view arguments = line.substr(end);
  while (!arguments.empty() && is_blank(arguments.front())) arguments.remove_prefix(1);
  while (!arguments.empty() && is_blank(arguments.back())) arguments.remove_suffix(1);
  ok = it->second(arguments);
  return true;
}

// How many command lines run now, one inside the other: a line a module
// runs (sd-call-cmds) is nested in the line calling it.
int& line_depth() {
  static int depth = 0;
  return depth;
}

// The console taking command lines; commands a module calls run on it.
console*& running_console() {
  static console* running = nullptr;
  return running;
}

// A line that calls a function of the simulator's package SDSIM.
bool simulator_call(std::string_view line) {
  while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
  return upcase(line.substr(0, std::min<std::size_t>(line.size(), 7))) == "(SDSIM:";
}

bool is_help_line(std::string_view line) {
  while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
  return upcase(line) == "HELP";
}

// The fbound external symbols of a package, as `pkg:name`.
std::string functions_of(std::string_view package_name, std::string_view prefix) {
  host::lisp::package* p = host::lisp::find_package(std::string(package_name));
  if (!p) return "";
  std::vector<std::string> names;
  for (const auto& [name, sym] : p->externals)
    if (!host::lisp::is_nil(sym->function)) names.push_back(std::string(prefix) + ":" + name);
  std::sort(names.begin(), names.end());
  std::string text;
  std::size_t column = 0;
  for (const std::string& n : names) {
    if (column + n.size() + 1 > 76) {
      text += "\n";
      column = 0;
    }
    text += column == 0 ? "    " : " ";
    column += (column == 0 ? 4 : 1) + n.size();
    text += n;
  }
  return text;
}

void print_help(std::ostream& out) {
  std::string commands;
  for (const auto& [name, run] : host_commands()) commands += " " + name;
  std::string topics;
  for (const std::string& t : show_topic_names()) topics += " " + t;
  out << "What can be typed:\n"
         "  A Lisp form, such as (vtm:about-module): it is evaluated and its value printed.\n"
         "  A host command, then its input on the same line; the dialogs among them run\n"
         "  as their command-line syntax says, for example\n"
         "    VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"in\" :STAGING_DIRECTORY \"staging\" complete\n"
         "  Host commands:"
      << commands
      << "\n"
         "  show TOPIC: what a user would see of one part of the host; topics:"
      << topics
      << " ALL\n"
         "  While a dialog is open: :VARIABLE value, complete (OK), cancel, help (its page);\n"
         "  show dialog lists its variables and values.\n"
         "  help: this list.\n";
  const std::string module_functions = functions_of("VANTREL-MIGRATOR", "vtm");
  if (!module_functions.empty()) out << "Functions of the module:\n" << module_functions << '\n';
  const std::string simulator_functions = functions_of("SDSIM", "sdsim");
  if (!simulator_functions.empty())
    out << "Helpers of the simulated host (docs/host-sim.md):\n" << simulator_functions << '\n';
}

}  // namespace

void register_host_command(std::string name, host_command run) {
  host_commands()[upcase(name)] = std::move(run);
}

bool console_running_queued_line() { return queued_line_flag(); }

text_scan scan_command_text(std::string_view t) {
  int depth = 0;
  bool empty = true;
  for (std::size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == ';') {
      while (i < t.size() && t[i] != '\n') ++i;
    } else if (c == '#' && i + 1 < t.size() && t[i + 1] == '|') {
      int level = 1;
      for (i += 2; level > 0; ++i) {
        if (i + 1 >= t.size()) return {false, empty};
        if (t[i] == '|' && t[i + 1] == '#') {
          --level;
          ++i;
        } else if (t[i] == '#' && t[i + 1] == '|') {
          ++level;
          ++i;
        }
      }
      --i;
    } else if (!is_blank(c)) {
      empty = false;
      if (c == '"' || c == '|') {
        for (++i; i < t.size() && t[i] != c; ++i)
          if (t[i] == '\\') ++i;
        if (i >= t.size()) return {false, false};
      } else if (c == '\\') {
        ++i;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      }
    }
  }
  return {depth <= 0, empty};
}

// Remembers whether the host's standard output stands at the start of a
// line, so that a value prints on a line of its own after output of the
// form that has no newline yet.
class console::line_tracker : public std::streambuf {
 public:
  explicit line_tracker(std::ostream& target) : target_(*target.rdbuf()), stream_(this) {}
  std::ostream& stream() { return stream_; }
  bool at_line_start() const { return last_ == '\n'; }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    last_ = static_cast<char>(c);
    return target_.sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n > 0) last_ = s[n - 1];
    return target_.sputn(s, n);
  }
  int sync() override { return target_.pubsync(); }

 private:
  std::streambuf& target_;
  std::ostream stream_;
  char last_ = '\n';
};

console::console(std::ostream& err)
    : err_(err),
      previous_output_(host::lisp::standard_output()),
      tracker_(std::make_unique<line_tracker>(previous_output_)) {
  host::lisp::set_standard_output(tracker_->stream());
  if (!running_console()) running_console() = this;
}

console::~console() {
  if (running_console() == this) running_console() = nullptr;
  host::lisp::set_standard_output(previous_output_);
}

bool console::run_line(std::string_view line, std::string_view source) {
  // The calling line's native callers may still hold values of the
  // autorelease pool.
  int& depth = line_depth();
  ++depth;
  const bool outer_queued = std::exchange(queued_line_flag(), false);
  auto after_line = [&depth] {
    host::event::process_event(host::event::browser_update_event());
    if (depth == 1) host::lisp::drain_autorelease_pool();
  };
  bool ok = false;
  try {
    ok = execute(line, source);
    after_line();
    while (auto queued = take_queued_command()) {
      queued_line_flag() = true;
      ok = execute(*queued, "queued command") && ok;
      queued_line_flag() = false;
      after_line();
    }
  } catch (...) {
    --depth;
    queued_line_flag() = outer_queued;
    throw;
  }
  --depth;
  queued_line_flag() = outer_queued;
  return ok;
}

bool console::run_script(std::istream& in, std::string_view source) {
  // A script that is not UTF-8 runs not at all rather than half garbled.
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (auto bad = utf8::find_invalid(text.begin(), text.end()); bad != text.end()) {
    const auto offset = static_cast<std::size_t>(bad - text.begin());
    const auto line = static_cast<std::size_t>(std::count(text.begin(), bad, '\n')) + 1;
    report(std::string(source) + ", byte " + std::to_string(offset) + " (line " + std::to_string(line) +
           "): the text is not valid UTF-8; save the file as UTF-8");
    return false;
  }
  std::istringstream lines(text);
  bool ok = true;
  std::string pending, line;
  std::size_t line_number = 0, first_line = 1;
  while (std::getline(lines, line)) {
    ++line_number;
    if (pending.empty()) first_line = line_number;
    pending += line;
    pending += '\n';
    text_scan scan = scan_command_text(pending);
    if (!scan.complete) continue;
    if (!scan.empty) ok = run_line(pending, std::string(source) + ":" + std::to_string(first_line)) && ok;
    pending.clear();
    if (!ok && stop_on_error_) return false;
  }
  // A form cut off by the end of the script fails in the reader, which says so.
  if (!scan_command_text(pending).empty)
    ok = run_line(pending, std::string(source) + ":" + std::to_string(first_line)) && ok;
  return ok;
}

bool console_busy() { return line_depth() > 0; }

bool console::interact(std::istream& in, std::ostream& prompt_out) {
  bool ok = true;
  std::string pending, line;
  for (;;) {
    std::string dialog = dialogs::active_dialog();
    prompt_out << (!pending.empty() ? "   ...> " : dialog.empty() ? "sdhost> " : dialog + "> ") << std::flush;
    if (!std::getline(in, line)) break;
    pending += line;
    pending += '\n';
    text_scan scan = scan_command_text(pending);
    if (!scan.complete) continue;
    if (!scan.empty) ok = run_line(pending) && ok;
    pending.clear();
    if (host::system::interrupt_signal()) break;
  }
  prompt_out << '\n';
  return ok;
}

bool console::execute(std::string_view line, std::string_view source) {
  std::ostream& out = tracker_->stream();
  try {
    bool command_ok = true;
    if (dispatch_host_command(line, command_ok)) return command_ok;
    if (dialogs::active_dialog().empty() && is_help_line(line)) {
      print_help(out);
      out << std::flush;
      return true;
    }
    // The simulator's own services queue calls of its functions; those are
    // never a dialog's input.
    if (!dialogs::active_dialog().empty() && !(queued_line_flag() && simulator_call(line)))
      return dialogs::input(dialogs::read_tokens(line, source));
    std::istringstream in{std::string(line)};
    host::lisp::reader reader(in, std::string(source));
    host::lisp::ref form;
    while (reader.read(form)) {
      host::lisp::ref value = host::lisp::eval(form);
      // The values of the lines a module runs are its own, not the user's.
      if (line_depth() > 1) continue;
      if (!tracker_->at_line_start()) out << '\n';
      host::lisp::prin1(value, out);
      out << '\n' << std::flush;
    }
    return true;
  } catch (const host::lisp::lisp_error& e) {
    report(e.message());
  } catch (const THROWABLE&) {
    report("A module raised a host exception.");
  } catch (const std::exception& e) {
    report(e.what());
  }
  return false;
}

void console::report(std::string_view message) {
  tracker_->stream().flush();
  std::string text(message);
  for (char& c : text)
    if (c == '\n') c = ' ';
  err_ << "Error: " << text << '\n' << std::flush;
}

}  // namespace sim

namespace host::frame2 {

bool sd_call_cmds(const std::string& command_line) {
  if (sim::dialogs::in_callback())
    host::lisp::simple_error("sd-call-cmds cannot run " + command_line + " from a dialog's callback.");
  if (!sim::running_console()) host::lisp::simple_error("No console runs commands.");
  return sim::running_console()->run_line(command_line, "sd-call-cmds");
}

}  // namespace host::frame2
