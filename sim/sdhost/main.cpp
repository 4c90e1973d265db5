// sdhost: the simulated Modeling host's console.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "host/console.h"
#include "host/interrupt_handlers.h"
#include "host/kill_switch.h"
#include "host/lisp/errors.h"
#include "host/module_loader.h"
#include "host/native.h"
#include "host/run_outcome.h"

int main(int argc, char** argv) {
  CLI::App app{"The simulated Modeling host: runs host command lines with an extension module loaded."};
  std::vector<std::string> lines, scripts;
  std::string module;
  bool no_module = false;
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
  CLI11_PARSE(app, argc, argv);

  sim::install_interrupt_handlers();
  sim::install_kill_switch();
  sim::console console;
  if (!no_module) {
    std::filesystem::path library =
        module.empty() ? sim::default_module_path() : std::filesystem::path(module);
    try {
      sim::load_module(library);
    } catch (const host::lisp::lisp_error& e) {
      std::cout.flush();
      std::cerr << "Error: " << e.message() << '\n';
      return 1;
    }
    host::lisp::drain_autorelease_pool();
  }

  // Interrupted, the host stops after the command line that ran.
  const auto interrupted = [] {
    std::cout.flush();
    return 128 + host::system::interrupt_signal();
  };
  bool ok = true;
  if (lines.empty() && scripts.empty()) {
    ok = console.interact(std::cin, std::cout);
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
  }
  if (!ok) return 1;
  return host::system::incomplete_run_noted() ? host::system::incomplete_run_exit_status : 0;
}
