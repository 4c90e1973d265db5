#include "dialogs/dialog_engine.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

#include "host/console.h"
#include "host/dialog_initial_values.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "host/persistent_data.h"
#include "host/ui.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"

namespace sim::dialogs {

namespace {

using namespace host::lisp;
using host::dialogs::dialog_def;
using host::dialogs::value_kind;
using host::dialogs::variable_def;

std::string upcase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Whether name upcased is upper; without building the upcased name, since
// every lookup of a variable goes through the dialog's variables.
bool upcased_equals(std::string_view name, std::string_view upper) {
  if (name.size() != upper.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != static_cast<unsigned char>(upper[i]))
      return false;
  return true;
}

std::map<std::string, dialog_def>& definitions() {
  static std::map<std::string, dialog_def> defs;
  return defs;
}

// Per dialog: initial values that replace the definition's, set by a run
// for the next ones.
std::map<std::string, std::map<std::string, ref>>& next_initial_values() {
  static std::map<std::string, std::map<std::string, ref>> values;
  return values;
}

std::function<std::optional<std::string>(const ref&)>& part_assembly_check() {
  static std::function<std::optional<std::string>(const ref&)> check;
  return check;
}

bool& end_requested() {
  static bool requested = false;
  return requested;
}

ref& last_result_cell() {
  static ref result;
  return result;
}

// An input refused: the rest of the input is dropped.
struct refused {
  std::string message;
};

bool is_word(const ref& token, std::string_view word) {
  return symbolp(token) && !keywordp(token) && !is_nil(token) && as_symbol(token).name == word;
}
bool is_control_word(const ref& t) {
  return is_word(t, "COMPLETE") || is_word(t, "CANCEL") || is_word(t, "HELP");
}

bool stored_in_pds(const variable_def& v) {
  switch (v.kind) {
    case value_kind::directory:
    case value_kind::file_name:
    case value_kind::boolean:
    case value_kind::number:
    case value_kind::text:
    case value_kind::option_list:
      return v.input;
    default:
      return false;
  }
}

class running_dialog : public host::dialogs::dialog_context {
 public:
  running_dialog(const dialog_def& def, bool inside_action) : def_(def), inside_action_(inside_action) {
    const auto& overrides = next_initial_values()[upcase(def_.name)];
    for (const variable_def& v : def_.variables) {
      auto o = overrides.find(upcase(v.name));
      vars_[upcase(v.name)] = {o == overrides.end() ? v.initial : o->second, v.visible, v.enabled,
                               std::nullopt};
    }
  }

  const std::string& name() const override { return def_.name; }
  ref value(const std::string& variable) const override { return state(variable).value; }
  void set_value(const std::string& variable, const ref& value) override {
    const variable_def& v = definition(variable);
    state(variable).value = value;
    react(v, value);
  }
  void set_visible(const std::string& variable, bool visible) override { state(variable).visible = visible; }
  void set_enabled(const std::string& variable, bool enabled) override { state(variable).enabled = enabled; }
  bool visible(const std::string& variable) const override { return state(variable).visible; }
  bool enabled(const std::string& variable) const override { return state(variable).enabled; }
  void set_options(const std::string& variable, const std::vector<ref>& options) override {
    state(variable).options = options;
  }
  std::vector<ref> options(const std::string& variable) const override {
    const var_state& s = state(variable);
    return s.options ? *s.options : definition(variable).options;
  }

  bool run_before_ok() override {
    for (const variable_def& v : def_.variables)
      if (v.must && is_nil(value(v.name))) {
        host::oli::sd_display_error("Please enter a value for " + v.title + " (" + v.name + ").");
        ok_refused_ = true;
        return false;
      }
    for (const auto& check : def_.before_ok)
      if (std::optional<std::string> refusal = check(*this)) {
        host::oli::sd_display_error(*refusal);
        ok_refused_ = true;
        return false;
      }
    return true;
  }
  void run_after_ok() override {
    for (const auto& a : def_.after_ok) a(*this);
    if (!def_.pds_module.empty() && pds_store_) {
      std::vector<ref> plist;
      for (const variable_def& v : def_.variables)
        if (stored_in_pds(v)) {
          plist.push_back(ref(&keyword(upcase(v.name))));
          plist.push_back(value(v.name));
        }
      host::oli::sd_set_persistent_data(def_.pds_module, def_.name, list_from(plist),
                                        ref(&keyword("DIALOG-VALUES")));
    }
  }
  void stay_open() override { stay_open_ = true; }
  void set_result(const ref& result) override { result_ = result; }
  ref result() const override { return result_; }
  void disable_pds(bool initialize, bool store) override {
    if (initialize) pds_initialize_ = false;
    if (store) pds_store_ = false;
  }
  bool inside_action() const override { return inside_action_; }
  void set_next_initial_values(const std::vector<std::pair<std::string, ref>>& values) override {
    auto& overrides = next_initial_values()[upcase(def_.name)];
    for (const auto& [variable, value] : values) {
      definition(variable);
      overrides[upcase(variable)] = value;
    }
  }
  // Whether an OK was refused since the last call.
  bool take_ok_refusal() { return std::exchange(ok_refused_, false); }

  void start() {
    if (def_.on_start) def_.on_start(*this);
    if (def_.pds_module.empty() || !pds_initialize_) return;
    ref stored =
        host::oli::sd_get_persistent_data(def_.pds_module, def_.name, ref(&keyword("DIALOG-VALUES")));
    if (!listp(stored) || list_length(stored) % 2 != 0) return;
    for (const variable_def& v : def_.variables)
      if (stored_in_pds(v)) {
        ref key(&keyword(upcase(v.name)));
        ref marker = make_string("");
        ref found = getf(stored, key, marker);
        if (!(found == marker)) state(v.name).value = found;
      }
  }

  // Feeds tokens; answers true when the dialog has ended.
  bool feed(const std::vector<ref>& tokens) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      // Something ended the dialog; the rest of the input is not its own.
      if (end_requested()) return false;
      const ref& token = tokens[i];
      if (is_word(token, "COMPLETE")) return complete();
      if (is_word(token, "CANCEL")) {
        cancel();
        return true;
      }
      if (is_word(token, "HELP")) {
        if (def_.help)
          def_.help(*this);
        else
          host::oli::sd_display_error("The dialog " + def_.name + " has no help.");
        continue;
      }
      const variable_def& v = option(token);
      if (v.kind == value_kind::push_action) {
        react(v, nil());
        continue;
      }
      if (i + 1 >= tokens.size() || is_control_word(tokens[i + 1]))
        throw refused{"A value for " + v.name + " is missing."};
      input_value(v, tokens[++i]);
    }
    return false;
  }

  bool complete() {
    stay_open_ = false;
    if (def_.ok) {
      def_.ok(*this);
    } else if (run_before_ok()) {
      run_after_ok();
    } else {
      stay_open_ = true;
    }
    return !stay_open_;
  }

  void cancel() {
    if (def_.cancel) def_.cancel(*this);
  }
  void cleanup() {
    if (def_.cleanup) def_.cleanup(*this);
  }

  std::vector<std::string> describe() const {
    std::vector<std::string> lines{"Dialog " + def_.name + " \"" + def_.title + "\""};
    if (!def_.toolbox_title.empty()) lines.back() += " toolbox \"" + def_.toolbox_title + "\"";
    for (const variable_def& v : def_.variables) {
      const var_state& s = state(v.name);
      std::string line = "  " + v.name + " \"" + v.title + "\" " + kind_name(v.kind);
      if (v.kind != value_kind::subtitle && v.kind != value_kind::group_title &&
          v.kind != value_kind::push_action)
        line += " = " + prin1_to_string(s.value);
      if (v.kind == value_kind::option_list) line += " of " + prin1_to_string(list_from(options(v.name)));
      if (truthy(v.ui)) line += " " + prin1_to_string(v.ui);
      if (!s.visible) line += " [hidden]";
      if (!s.enabled) line += " [disabled]";
      lines.push_back(line);
    }
    return lines;
  }

 private:
  struct var_state {
    ref value;
    bool visible = true, enabled = true;
    std::optional<std::vector<ref>> options;  // the definition's when unset
  };

  static std::string kind_name(value_kind k) {
    switch (k) {
      case value_kind::directory:
        return "directory";
      case value_kind::file_name:
        return "file name";
      case value_kind::boolean:
        return "toggle";
      case value_kind::number:
        return "number";
      case value_kind::text:
        return "text";
      case value_kind::push_action:
        return "button";
      case value_kind::option_list:
        return "option list";
      case value_kind::part_assembly:
        return "part or assembly";
      case value_kind::subtitle:
        return "subtitle";
      case value_kind::group_title:
        return "group title";
      case value_kind::hidden:
        return "hidden";
    }
    return "?";
  }

  const variable_def& definition(const std::string& variable) const {
    std::string name = upcase(variable);
    for (const variable_def& v : def_.variables)
      if (upcased_equals(v.name, name)) return v;
    simple_error("The dialog " + def_.name + " has no variable " + variable + ".");
  }
  var_state& state(const std::string& variable) {
    definition(variable);
    return vars_[upcase(variable)];
  }
  const var_state& state(const std::string& variable) const {
    definition(variable);
    return vars_.at(upcase(variable));
  }

  const variable_def& option(const ref& token) {
    if (keywordp(token)) {
      const std::string& key = as_symbol(token).name;
      for (const variable_def& v : def_.variables)
        if (upcased_equals(v.name, key) && v.kind != value_kind::subtitle &&
            v.kind != value_kind::group_title) {
          const var_state& s = state(v.name);
          if (!v.input) throw refused{v.name + " is display only."};
          if ((!s.visible && v.kind != value_kind::hidden && !v.hidden_option) || !s.enabled)
            throw refused{v.name + " is not available now."};
          return v;
        }
    }
    throw refused{prin1_to_string(token) + " is not an option of " + def_.name + "."};
  }

  void input_value(const variable_def& v, const ref& raw) {
    ref value = checked(v, raw);
    if (v.check)
      if (std::optional<std::string> refusal = v.check(*this, value)) throw refused{*refusal};
    state(v.name).value = value;
    react(v, value);
  }

  // The kind's own check and conversion.
  ref checked(const variable_def& v, const ref& raw) const {
    namespace fs = std::filesystem;
    auto text = [&]() -> std::string {
      if (is(raw, tag::pathname)) return namestring(raw);
      if (!stringp(raw)) throw refused{prin1_to_string(raw) + " is not a string."};
      return as_string(raw);
    };
    std::error_code ec;
    switch (v.kind) {
      case value_kind::directory: {
        std::string dir = text();
        if (dir.empty()) throw refused{"A directory name is required for " + v.name + "."};
        if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) throw refused{dir + " is not a directory."};
        return make_string(dir);
      }
      case value_kind::file_name: {
        std::string file = text();
        if (file.empty()) return make_string(file);
        if (fs::is_directory(file, ec)) throw refused{file + " is a directory."};
        bool exists = fs::exists(file, ec);
        if (v.direction == host::dialogs::file_direction::input && !exists)
          throw refused{"The file " + file + " does not exist."};
        if (v.direction == host::dialogs::file_direction::output && exists && v.confirm_overwrite)
          standard_output() << "The file " << file << " exists and will be overwritten.\n";
        return make_string(file);
      }
      case value_kind::boolean:
        if (keywordp(raw) && as_symbol(raw).name == "ON") return t();
        if (keywordp(raw) && as_symbol(raw).name == "OFF") return nil();
        if (is_nil(raw) || raw == t()) return raw;
        throw refused{v.name + " takes :on or :off, not " + prin1_to_string(raw) + "."};
      case value_kind::number:
        if (!numberp(raw)) throw refused{prin1_to_string(raw) + " is not a number."};
        return raw;
      case value_kind::option_list:
        for (const ref& o : options(v.name))
          if (equal(o, raw)) return raw;
        throw refused{prin1_to_string(raw) + " is not one of the choices of " + v.name + "."};
      case value_kind::part_assembly:
        if (part_assembly_check()) {
          if (std::optional<std::string> refusal = part_assembly_check()(raw)) throw refused{*refusal};
        } else if (is_nil(raw)) {
          throw refused{"No part or assembly given for " + v.name + "."};
        }
        return raw;
      default:
        return raw;
    }
  }

  void react(const variable_def& v, const ref& value) {
    if (!v.after_input) return;
    // Reactions that set each other's values must come to rest.
    if (depth_ >= 64) simple_error("The after-input reactions of " + def_.name + " do not come to rest.");
    ++depth_;
    try {
      v.after_input(*this, value);
    } catch (...) {
      --depth_;
      throw;
    }
    --depth_;
  }

  const dialog_def def_;  // a copy: a redefinition does not touch a running dialog
  bool inside_action_;
  std::map<std::string, var_state> vars_;
  ref result_;
  bool stay_open_ = false, pds_initialize_ = true, pds_store_ = true, ok_refused_ = false;
  int depth_ = 0;
};

std::unique_ptr<running_dialog>& active() {
  static std::unique_ptr<running_dialog> dialog;
  return dialog;
}

// How many of the running dialog's callbacks are executing now.
int& callback_depth() {
  static int depth = 0;
  return depth;
}

// Runs f on the active dialog; a refusal is shown and drops the rest. The
// dialog ends when f answers true.
bool guarded(const std::function<bool(running_dialog&)>& f) {
  std::unique_ptr<running_dialog>& d = active();
  try {
    ++callback_depth();
    bool ended;
    try {
      ended = f(*d);
    } catch (...) {
      --callback_depth();
      throw;
    }
    --callback_depth();
    if (!ended && end_requested() && callback_depth() == 0) {
      end_requested() = false;
      d->cancel();
      ended = true;
    }
    if (ended) {
      end_requested() = false;
      // Ended before its cleanup runs, so that the cleanup may queue a
      // command that starts the dialog again.
      std::unique_ptr<running_dialog> ending = std::move(d);
      last_result_cell() = ending->result();
      ending->cleanup();
      return true;
    }
    return !d->take_ok_refusal();
  } catch (const refused& r) {
    host::oli::sd_display_error(r.message);
  } catch (const lisp_error& e) {
    host::oli::sd_display_error(e.message());
  }
  return false;
}

}  // namespace

bool run_dialog(std::string_view name, const std::vector<ref>& tokens, bool inside_action) {
  auto it = definitions().find(upcase(name));
  if (it == definitions().end()) simple_error("There is no dialog " + std::string(name) + ".");
  // A dialog started from a callback of the running one runs after it, as
  // a queued command: the running dialog must not end under its own feet.
  if (callback_depth() > 0) {
    std::string line = it->first;
    for (const ref& token : tokens) line += " " + prin1_to_string(token);
    host::frame2::put_buffer(line);
    return true;
  }
  // A new command ends the one running.
  if (active()) {
    guarded([](running_dialog& d) {
      d.cancel();
      return true;
    });
  }
  const dialog_def& def = it->second;
  if (def.precondition)
    if (std::optional<std::string> refusal = def.precondition()) {
      host::oli::sd_display_error(*refusal);
      return false;
    }
  end_requested() = false;
  active() = std::make_unique<running_dialog>(def, inside_action);
  if (!guarded([](running_dialog& d) {
        d.start();
        return false;
      })) {
    active().reset();
    return false;
  }
  return input(tokens);
}

bool input(const std::vector<ref>& tokens) {
  if (!active()) simple_error("No dialog is running.");
  return guarded([&](running_dialog& d) { return d.feed(tokens); });
}

std::vector<ref> read_tokens(std::string_view line, std::string_view source) {
  std::istringstream in{std::string(line)};
  reader r(in, std::string(source));
  std::vector<ref> tokens;
  ref form;
  while (r.read(form)) {
    if (consp(form) || (symbolp(form) && !keywordp(form) && !is_control_word(form)))
      tokens.push_back(eval(form));
    else
      tokens.push_back(form);
  }
  return tokens;
}

void end_after_input() {
  if (!active()) return;
  if (callback_depth() > 0) {
    end_requested() = true;
    return;
  }
  guarded([](running_dialog& d) {
    d.cancel();
    return true;
  });
}

std::string active_dialog() { return active() ? active()->name() : std::string(); }

bool in_callback() { return callback_depth() > 0; }

ref last_result() { return last_result_cell(); }

std::vector<std::string> describe_active() {
  if (!active()) return {"No dialog is running."};
  return active()->describe();
}

}  // namespace sim::dialogs

namespace host::dialogs {

using namespace host::lisp;

void define_dialog(dialog_def def, const std::string& package_name) {
  std::string name = sim::dialogs::upcase(def.name);
  sim::dialogs::definitions()[name] = std::move(def);
  sim::register_host_command(name, [name](std::string_view arguments) {
    std::vector<ref> tokens = sim::dialogs::read_tokens(arguments, name);
    return sim::dialogs::run_dialog(name, tokens, sim::console_running_queued_line());
  });
  symbol& s = intern(name, require_package(package_name));
  defun(s, [name](args_t args) {
    std::vector<ref> tokens(args.begin(), args.end());
    sim::dialogs::run_dialog(name, tokens, true);
    return sim::dialogs::active_dialog().empty() ? sim::dialogs::last_result() : nil();
  });
}

std::string active_dialog() { return sim::dialogs::active_dialog(); }

}  // namespace host::dialogs

namespace host::frame2 {

using namespace host::lisp;

void chg_lav(const std::string& dialog, const ref& initial_values_plist) {
  const std::string name = sim::dialogs::upcase(dialog);
  if (!sim::dialogs::definitions().count(name))
    sim::host_command_failed("FRAME2", "UNKNOWN-DIALOG", "There is no dialog " + dialog + ".");
  std::vector<ref> items = list_to_vector(initial_values_plist);
  if (items.size() % 2) simple_error("FRAME2::CHG-LAV: the initial values are no property list");
  auto& next = sim::dialogs::next_initial_values()[name];
  for (std::size_t i = 0; i < items.size(); i += 2)
    next[sim::dialogs::upcase(string_designator(items[i]))] = items[i + 1];
}

}  // namespace host::frame2

namespace host::dialogs {

void set_part_assembly_check(std::function<std::optional<std::string>(const ref& value)> check) {
  sim::dialogs::part_assembly_check() = std::move(check);
}

}  // namespace host::dialogs

namespace {

using namespace host::lisp;

const builtins_registration dialog_functions([] {
  // (sdsim:active-dialog): the name of the running dialog, or NIL.
  sim::define_console_function("SDSIM", "ACTIVE-DIALOG", 0, 0, [](args_t) {
    std::string name = sim::dialogs::active_dialog();
    return name.empty() ? nil() : make_string(name);
  });
  // (frame2::chg-lav dialog :initial-values-plist plist)
  sim::define_host_function("FRAME2", "CHG-LAV", 1, 3, [](args_t args) {
    keyword_args k("FRAME2::CHG-LAV", args, 1, {"INITIAL-VALUES-PLIST"});
    host::frame2::chg_lav(string_designator(args[0]), k.get("INITIAL-VALUES-PLIST"));
    return t();
  });
  // (sdsim:last-dialog-result): the action result of the dialog that ended last.
  sim::define_console_function("SDSIM", "LAST-DIALOG-RESULT", 0, 0,
                               [](args_t) { return sim::dialogs::last_result(); });
});

}  // namespace
