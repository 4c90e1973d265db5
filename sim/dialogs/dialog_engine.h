// The simulated host's dialog engine: the dialogs defined with
// host::dialogs::define_dialog, the one dialog running now, and its input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/dialogs.h"
#include "host/lisp/object.h"

namespace sim::dialogs {

// Starts the dialog (ending the one running) and feeds it the tokens.
// inside_action: started by a queued command or a Lisp call, not typed.
// False when the dialog did not start or an input was refused.
bool run_dialog(std::string_view name, const std::vector<host::lisp::ref>& tokens, bool inside_action);
// Input for the running dialog; false when an input was refused.
bool input(const std::vector<host::lisp::ref>& tokens);
// Reads the tokens of a command line: keywords, values, and the words
// complete, cancel and help; a parenthesized form is evaluated.
std::vector<host::lisp::ref> read_tokens(std::string_view line, std::string_view source);

// Ends the running dialog as a new command does (its cancel action runs)
// once its current input is done; at once when it is not taking input.
// Nothing when no dialog runs.
void end_after_input();

// The dialog running now, empty when none.
std::string active_dialog();
// True while a callback of the running dialog executes.
bool in_callback();
// The result of the dialog that ended last.
host::lisp::ref last_result();
// Lines describing the running dialog and its variables, for the console.
std::vector<std::string> describe_active();

}  // namespace sim::dialogs
