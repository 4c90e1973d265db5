// Model Manager's commands on the session: loading a stored model and
// reloading a component from the database. A command is checked when it is
// sent and runs after the command running now, through the host's command
// queue, as the real Model Manager answers asynchronously.
#include <deque>
#include <string>
#include <vector>

#include "host/clusters.h"
#include "host/events.h"
#include "host/files.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "host/mm_commands.h"
#include "host/mm_compare.h"
#include "host/model_tree.h"
#include "host/run_outcome.h"
#include "lisp/runtime.h"
#include "modelmanager/database.h"
#include "modelmanager/in_session.h"
#include "session/lisp_def.h"
#include "session/model.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using namespace sim::session;
using sim::modelmanager::mark_from_database;

struct mm_job {
  std::string verb;
  std::vector<std::string> args;
};

std::deque<mm_job>& pending() {
  static std::deque<mm_job> jobs;
  return jobs;
}

constexpr std::string_view completion_command = "(sdsim:mm-complete-command)";

// VERB 'a' 'b' ... ; an argument runs to the next single quote.
mm_job parse_command(std::string_view command) {
  mm_job job;
  std::size_t i = command.find_first_of(' ');
  job.verb = std::string(command.substr(0, i));
  while (i != std::string_view::npos && i < command.size()) {
    i = command.find_first_not_of(' ', i);
    if (i == std::string_view::npos) break;
    if (command[i] != '\'')
      simple_error("Model Manager: argument not in quotes in \"" + std::string(command) + "\"");
    const std::size_t end = command.find('\'', i + 1);
    if (end == std::string_view::npos)
      simple_error("Model Manager: unterminated argument in \"" + std::string(command) + "\"");
    job.args.emplace_back(command.substr(i + 1, end - i - 1));
    i = end + 1;
  }
  return job;
}

void check_arguments(const mm_job& job, std::string_view command) {
  auto fail = [&](const std::string& why) {
    simple_error("Model Manager: " + why + " in \"" + std::string(command) + "\"");
  };
  if (job.verb == "LOAD") {
    if (job.args.size() != 6) fail("LOAD takes 6 arguments");
    if (job.args[3] != "PART" && job.args[3] != "ASSEMBLY" && job.args[3] != "ALL") fail("unknown load type");
    read_from_string(job.args[1]);  // the callback must be a form
  } else if (job.verb == "RELOAD") {
    if (job.args.size() != 5) fail("RELOAD takes 5 arguments");
    if (job.args[4] != "CONTENTS") fail("RELOAD reloads CONTENTS only");
  } else {
    fail("unknown command " + job.verb);
  }
}

// The stored model file of elid; signals when there is none.
sim::modelmanager::stored_model stored(const std::string& elid) {
  std::optional<sim::modelmanager::stored_model> m = sim::modelmanager::current_database().find(elid);
  if (!m) simple_error("no stored model with the element id " + elid);
  if (m->file.empty()) simple_error("the model " + m->name + " (" + elid + ") has no stored file");
  return *m;
}

// Loads the stored file; answers the top-level models it added.
std::vector<entity_ptr> load_stored(const sim::modelmanager::stored_model& m) {
  const std::vector<entity_ptr> before = session::current().top_level();
  if (m.file_part)
    session::current().add_top_level(sim::files::read_model_file_part(m.file, *m.file_part));
  else
    host::frame2_ui::load_sd(m.file.string());
  std::vector<entity_ptr> added;
  for (const entity_ptr& e : session::current().top_level())
    if (std::find(before.begin(), before.end(), e) == before.end()) added.push_back(e);
  return added;
}

void run_load(const mm_job& job) {
  const sim::modelmanager::stored_model m = stored(job.args[0]);
  std::vector<ref> loaded;
  for (const entity_ptr& top : load_stored(m)) {
    if (top->d.contents) mark_from_database(top->d.contents, m);
    loaded.push_back(make_path({top}));
  }
  set_symbol_value(host::cl_user::db_aip_ui_last_load_result_variable(), list_from(loaded));
  host::event::process_event(host::event::changed_parcel_tree_event());
  eval(read_from_string(job.args[1]));
}

void run_reload(const mm_job& job) {
  const ref target = host::oli::sd_pathname_to_obj(job.args[0]);
  if (is_nil(target)) simple_error("nothing in session at " + job.args[0]);
  const sim::modelmanager::stored_model m = stored(job.args[1]);
  const std::vector<entity_ptr> added = load_stored(m);
  if (added.empty() || !added.front()->d.contents)
    simple_error("the stored file " + m.file.string() + " holds no model");
  const entity_ptr contents = added.front()->d.contents;
  std::vector<ref> loaded;
  for (const entity_ptr& top : added) loaded.push_back(make_path({top}));
  const bool replaced = host::elan::substitute_contents(target, contents->handle(), true, true);
  host::elan::delete_3d(list_from(loaded));
  if (!replaced) simple_error("the contents at " + job.args[0] + " cannot be replaced");
  mark_from_database(contents, m);
  host::event::process_event(host::event::changed_parcel_tree_event());
}

// Runs the oldest pending command; a failure is printed, as Model Manager
// reports it in its own window.
void complete_command() {
  if (pending().empty()) return;
  const mm_job job = std::move(pending().front());
  pending().pop_front();
  try {
    if (job.verb == "LOAD")
      run_load(job);
    else
      run_reload(job);
  } catch (const lisp_error& e) {
    standard_output() << "Model Manager: " << job.verb << " failed: " << e.message() << "\n";
    host::system::note_incomplete_run();
  }
}

const builtins_registration command_functions([] {
  sim::define_host_function("MODELMANAGER", "MM-SEND-CMD", 1, 1, [](args_t a) {
    host::modelmanager::mm_send_cmd(as_string(a[0]));
    return t();
  });
  sim::define_host_function("MODELMANAGER", "GET-DOCELID-FROM-OBJECT", 1, 1,
                            [](args_t a) { return host::modelmanager::get_docelid_from_object(a[0]); });
  // (modelmanager::sd-db-get-uda-contents-by-name cluster name &rest keys)
  sim::define_host_function("MODELMANAGER", "SD-DB-GET-UDA-CONTENTS-BY-NAME", 2, any_count, [](args_t a) {
    return host::modelmanager::sd_db_get_uda_contents_by_name(a[0], as_string(a[1]),
                                                              std::vector<ref>(a.begin() + 2, a.end()));
  });
  sim::define_console_function("SDSIM", "MM-COMPLETE-COMMAND", 0, 0, [](args_t) {
    complete_command();
    return nil();
  });
  sim::define_console_function("SDSIM", "MM-PENDING-COMMANDS", 0, 0,
                               [](args_t) { return make_integer(std::int64_t(pending().size())); });
});

}  // namespace

namespace host::modelmanager {

void mm_send_cmd(std::string_view command) {
  mm_job job = parse_command(command);
  check_arguments(job, command);
  pending().push_back(std::move(job));
  host::frame2::put_buffer(std::string(completion_command));
}

ref get_docelid_from_object(const ref& object) {
  const ref contents = host::oli::get_contents(object);
  if (is_nil(contents)) return nil();
  return get_docelid_from_cluster(contents);
}

ref sd_db_get_uda_contents_by_name(const ref& cluster, std::string_view attribute,
                                   const std::vector<ref>& keys) {
  const ref values = host::oli::sd_inq_item_attribute(cluster, attribute, nil());
  if (is_nil(values)) return nil();
  std::vector<ref> plist;
  for (const ref& key : keys) {
    plist.push_back(key);
    plist.push_back(getf(values, key));
  }
  return list({list_from(plist)});
}

}  // namespace host::modelmanager
