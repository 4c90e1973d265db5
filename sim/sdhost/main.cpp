// sdhost: the simulated Modeling host's console.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "dialogs/dialog_engine.h"
#include "host/command_line_usage.h"
#include "host/console.h"
#include "host/interrupt_handlers.h"
#include "host/kill_switch.h"
#include "host/lisp/errors.h"
#include "host/module_loader.h"
#include "host/native.h"
#include "host/run_outcome.h"

int main(int argc, char** argv) {
  CLI::App app{
      "sdhost: the simulated Modeling host. Runs host command lines with the vt_migrator module loaded."};
  app.footer(sim::sdhost_help_footer);
  app.set_version_flag("--version", sim::sdhost_version_line);
  std::vector<std::string> lines, scripts;
  std::string module;
  bool no_module = false, stop_on_error = false;
  CLI::Option* eval_option =
      app.add_option("-e,--eval", lines, "Run a command line; repeatable, run in order")
          ->allow_extra_args(false);
  CLI::Option* file_option = app.add_option("-f,--file", scripts, "Run a script of command lines")
                                 ->allow_extra_args(false)
                                 ->check(CLI::ExistingFile);
  CLI::Option* module_option =
      app.add_option("--module", module,
                     "Module library to load (default: ../lib/libvt_migrator.so from sdhost's directory)");
  app.add_flag("--no-module", no_module, "Start without a module")->excludes(module_option);
  app.add_flag("--stop-on-error", stop_on_error,
               "Stop a batch at the first command line that fails (exit status 1)");
  if (const int status = sim::parse_command_line(app, argc, argv); status >= 0) return status;

  sim::install_interrupt_handlers();
  sim::install_kill_switch();
  sim::console console;
  console.set_stop_on_error(stop_on_error);
  // A module that fails to initialise is reported, and the console runs on
  // with what the module defined before the failure, so that one broken
  // shared file does not stop every tool; the batch then exits 1.
  bool ok = true;
  if (!no_module) {
    std::filesystem::path library =
        module.empty() ? sim::default_module_path() : std::filesystem::path(module);
    try {
      sim::load_module(library);
    } catch (const host::lisp::lisp_error& e) {
      std::cout.flush();
      std::cerr << "Error: " << e.message() << '\n';
      ok = false;
    }
    host::lisp::drain_autorelease_pool();
  }
  if (!ok && stop_on_error) return 1;

  // Interrupted, the host stops after the command line that ran.
  const auto interrupted = [] {
    std::cout.flush();
    return 128 + host::system::interrupt_signal();
  };
  if (lines.empty() && scripts.empty()) {
    ok = console.interact(std::cin, std::cout) && ok;
    if (host::system::interrupt_signal()) return interrupted();
    return ok ? 0 : 1;
  }
  std::size_t next_line = 0, next_script = 0;
  for (const CLI::Option* option : app.parse_order()) {
    if (option == eval_option) {
      ok = console.run_line(lines[next_line++]) && ok;
      if (host::system::interrupt_signal()) return interrupted();
    } else if (option == file_option) {
      const std::string& file = scripts[next_script++];
      std::ifstream in(file);
      ok = console.run_script(in, file) && ok;
      if (host::system::interrupt_signal()) return interrupted();
    }
    if (!ok && stop_on_error) return 1;
  }
  // A dialog still open has done nothing of what it was given: the batch
  // forgot its `complete` (or `cancel`).
  if (const std::string dialog = sim::dialogs::active_dialog(); !dialog.empty()) {
    std::cout.flush();
    std::cerr << "Error: the dialog " << dialog
              << " is still open at the end of the batch; it did nothing. End it with complete (OK) or "
                 "cancel.\n";
    ok = false;
  }
  if (!ok) return 1;
  return host::system::incomplete_run_noted() ? host::system::incomplete_run_exit_status : 0;
}
