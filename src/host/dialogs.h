// The host's dialog facility.
//
// A dialog is defined once by name; the name becomes a host command. Running
// it starts the dialog (after its precondition), then takes input: a
// variable's keyword followed by its value (no value for a push button),
// in any order and repeatable, until `complete` (OK) or `cancel`. A value
// passes the kind's own check and then the variable's check, which may
// refuse it with an error text; accepted, it is stored and the variable's
// after-input reaction runs. Setting a value from inside the dialog runs the
// reaction too, so reactions chain.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/lisp/object.h"

namespace host::dialogs {

enum class value_kind {
  directory,      // a directory name string
  file_name,      // a file name string; see file_direction
  boolean,        // :on / :off
  number,         // display only
  text,           // display only unless `input` is set
  push_action,    // a button: input without value
  option_list,    // one of `options`
  part_assembly,  // a part or assembly of the session
  subtitle,       // layout only
  group_title,    // layout only
  hidden,         // no control; set by command strings
};

enum class file_direction { input, output };

class dialog_context;
// nullopt accepts the value; a text refuses it with that error.
using value_check = std::function<std::optional<std::string>(dialog_context&, const lisp::ref& value)>;
using reaction = std::function<void(dialog_context&, const lisp::ref& value)>;
using action = std::function<void(dialog_context&)>;

struct variable_def {
  std::string name;  // e.g. "RESET"; its keyword is the option
  std::string title;
  value_kind kind = value_kind::text;
  lisp::ref initial;
  bool input = true;  // false: display only
  bool must = false;  // must be set before OK
  bool visible = true, enabled = true;
  // No control: input only through command strings, also while not
  // visible (a push button so marked is such an input without value).
  bool hidden_option = false;
  std::vector<lisp::ref> options;  // option_list
  file_direction direction = file_direction::input;
  bool confirm_overwrite = false;
  value_check check;
  reaction after_input;
  lisp::ref ui;  // presentation hints as a plist (:size :half, :toggle :left, ...)
};

struct dialog_def {
  std::string name;  // command name and panel name
  std::string title;
  std::string pds_module;  // module whose persistent storage keeps the values; empty: none
  std::string toolbox_title;
  std::vector<variable_def> variables;
  // nullopt when the dialog may start, else the text shown instead.
  std::function<std::optional<std::string>()> precondition;
  action on_start;
  // Runs on `complete`. Without one, OK runs the before-OK checks and the
  // after-OK callbacks. The dialog ends after it unless it called stay_open.
  action ok;
  action cancel;
  // Runs whenever the dialog ends: after OK, after cancel, or when another
  // command ends it.
  action cleanup;
  action help;
  // Extra before-OK checks: nullopt accepts, a text refuses.
  std::vector<std::function<std::optional<std::string>(dialog_context&)>> before_ok;
  std::vector<action> after_ok;
};

// The running dialog, handed to its callbacks.
class dialog_context {
 public:
  virtual ~dialog_context() = default;
  virtual const std::string& name() const = 0;
  virtual lisp::ref value(const std::string& variable) const = 0;
  // Stores the value and runs the variable's after-input reaction, as a
  // user input would; the dialog's own code is trusted, so no check runs.
  virtual void set_value(const std::string& variable, const lisp::ref& value) = 0;
  virtual void set_visible(const std::string& variable, bool visible) = 0;
  virtual void set_enabled(const std::string& variable, bool enabled) = 0;
  virtual bool visible(const std::string& variable) const = 0;
  virtual bool enabled(const std::string& variable) const = 0;
  // Replaces the choices of an option list.
  virtual void set_options(const std::string& variable, const std::vector<lisp::ref>& options) = 0;
  virtual std::vector<lisp::ref> options(const std::string& variable) const = 0;
  // The must-variable check and the dialog's before-OK checks; a refusal is
  // shown to the user and answers false.
  virtual bool run_before_ok() = 0;
  virtual void run_after_ok() = 0;
  virtual void stay_open() = 0;
  virtual void set_result(const lisp::ref& result) = 0;
  virtual lisp::ref result() const = 0;
  // Whether the values are initialized from and stored into the module's
  // persistent dialog storage.
  virtual void disable_pds(bool initialize, bool store) = 0;
  // True while the dialog runs inside another action (a queued command or a
  // Lisp call), false when a user typed it.
  virtual bool inside_action() const = 0;
  // The values the named variables start with the next time the dialog
  // starts in this session (before its persistent values, if any).
  virtual void set_next_initial_values(const std::vector<std::pair<std::string, lisp::ref>>& values) = 0;
};

// Defines (or redefines) the dialog and makes its name a host command and
// a function in the package OLI and the given package: (name token ...).
void define_dialog(dialog_def def, const std::string& package);
// The name of the dialog taking input now; empty when none runs.
std::string active_dialog();

// How the session checks a part or assembly selection; until one is set,
// any non-NIL value passes.
void set_part_assembly_check(std::function<std::optional<std::string>(const lisp::ref& value)> check);

}  // namespace host::dialogs
