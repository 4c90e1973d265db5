// What sdhost and pb_pub share of the command-line conventions: --version,
// the help text, and usage errors exiting with status 2.
#pragma once

#include <CLI/CLI.hpp>
#include <iostream>

namespace sim {

inline constexpr const char* sdhost_version_line = "sdhost (vt_migrator " VTM_VERSION ")";
inline constexpr const char* pb_pub_version_line = "pb_pub (vt_migrator " VTM_VERSION ")";

// The exit status of a usage error of either program.
inline constexpr int usage_error_status = 2;

inline constexpr const char* sdhost_help_footer = R"(
The three migration tools, each a dialog ended by `complete` (OK) or `cancel`:
  Import Assembler (stage 1: stage a directory of legacy CAD files)
    sdhost -e 'VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY "in" :STAGING_DIRECTORY "staging" complete'
  Assisted Check-in (stage 2: check the staged models into Model Manager)
    sdhost -e 'VANTREL_MM_ASSISTED_CHECKIN :staging_directory "staging"' -f session.lsp
  Drawing Associator (find the 3D models of each drawing of a master list)
    sdhost -e 'VANTREL_DRAWING_ASSOCIATOR :INPUT_CSV "list.csv" :OUTPUT_CSV "assoc.csv" complete'

On the console: `help` lists what can be typed; `show dialog` shows the open dialog and its
values, `show TOPIC` other parts of the user interface; any other line is Lisp.

Environment:
  SDUSERCUSTOMIZEDIR  per-user settings: user customization, persistent data
                      (default $XDG_CONFIG_HOME/sdhost, else ~/.config/sdhost)
  SDCORPCUSTOMIZEDIR  corporate customization directory (default none)
  SDSITECUSTOMIZEDIR  site customization directory (default none)
  SDHOST_MM_DATABASE  the Model Manager database file
  SDHOST_DEBUG        debug mode when set to anything but empty or 0
  SDHOST_OPEN_URLS    also open pages displayed with xdg-open
  TMPDIR              temporary directory

Exit statuses:
  0    everything asked was done
  1    a command line failed (an error; see stderr), or a dialog was left open
  2    a usage error of the command line
  3    a run completed with failures, listed in its outputs
  128+N  stopped on signal N (130 for Ctrl-C)
)";

// Parses the command line. -1 when the program goes on; otherwise the exit
// status: 0 after --help or --version, usage_error_status after a usage
// error, which is reported on stderr with a hint at --help.
inline int parse_command_line(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << '\n';
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\nRun with --help for more information.\n";
    return usage_error_status;
  }
  return -1;
}

}  // namespace sim
