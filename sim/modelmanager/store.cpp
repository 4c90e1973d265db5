// Storing into Model Manager: the store dialog for the modified models of a
// model in session, the store that follows its OK, and the store of the
// Annotation drawing in session.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "annotation/drawing.h"
#include "dialogs/dialog_engine.h"
#include "files/model_file.h"
#include "host/clusters.h"
#include "host/command_queue.h"
#include "host/console.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/fault_points.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_store.h"
#include "host/model_tree.h"
#include "host/modelmanager.h"
#include "host/run_outcome.h"
#include "lisp/runtime.h"
#include "modelmanager/database.h"
#include "modelmanager/in_session.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using sim::session::entity_ptr;

constexpr const char* store_dialog = "MM_STORE_MODIFIED";
constexpr std::string_view store_command = "(sdsim:mm-complete-store)";

ref kw(std::string_view name) { return ref(&keyword(name)); }

// The model the store dialog was opened for, and the one whose store runs
// next.
std::optional<ref>& dialog_object() {
  static std::optional<ref> object;
  return object;
}
std::optional<ref>& store_object() {
  static std::optional<ref> object;
  return object;
}

std::string pathname_of(const ref& object) {
  return string_designator(host::oli::sd_inq_obj_pathname(object));
}

bool stored_already(const ref& status) {
  return eql(status, kw("UP-TO-DATE")) || eql(status, kw("NEWER-VERSION-EXISTS"));
}

// The contents of the model's tree that a store would write: the models
// filed on their own (real contents; a layout's contents is part of its
// owner) not stored already.
std::vector<entity_ptr> modified_models(const ref& object) {
  std::vector<entity_ptr> out;
  const entity_ptr top = sim::session::require_instance(object);
  for (const entity_ptr& c : sim::modelmanager::contents_of_tree(top))
    if ((c->d.real || c == top->d.contents) && !stored_already(sim::modelmanager::compute_status(c)))
      out.push_back(c);
  return out;
}

// Every contents of the model's tree.
std::vector<entity_ptr> all_models(const ref& object) {
  return sim::modelmanager::contents_of_tree(sim::session::require_instance(object));
}

// The object type a stored model is known by: the entity-type name of its
// instances ("npart3", "nasmb3"), as a name query reports it.
std::string stored_type(const entity_ptr& contents) {
  for (const auto& u : contents->d.users)
    if (entity_ptr i = u.lock(); i && i->d.contents == contents) return i->d.type_name;
  if (contents->d.type_name == "part_struct") return "npart3";
  if (contents->d.type_name == "asbm_struct") return "nasmb3";
  return "MODEL_3D";
}

// A store that fails leaves its model unstored: Model Manager says why in
// its window, and the session has work left undone.
void store_failed(const std::string& why) {
  standard_output() << "Model Manager: store failed: " << why << '\n';
  host::system::note_incomplete_run();
}

std::string next_revision(const std::optional<sim::modelmanager::stored_model>& previous) {
  if (!previous) return "1";
  try {
    return std::to_string(std::stoi(previous->revision) + 1);
  } catch (const std::exception&) {
    return "1";
  }
}

// The file of stored models a model is appended to, beside the database
// file: one for each thousand element ids, so that a store makes no new
// file for most models and no file grows with the database.
std::filesystem::path stored_file_path(const std::filesystem::path& database, const std::string& elid) {
  const std::size_t digits = elid.find_first_of("0123456789");
  const std::string number = digits == std::string::npos ? std::string() : elid.substr(digits);
  const std::string bucket = number.size() > 3 ? number.substr(0, number.size() - 3) : "0";
  return database.parent_path() / (database.stem().string() + ".files") / (bucket + ".models");
}

// Appends the stored model's text, which loads and reloads from the
// database read: the contents under an instance that uses it, all its
// components in the one text.
void write_stored_file(const entity_ptr& contents, const sim::modelmanager::stored_model& m) {
  entity_ptr user;
  for (const auto& u : contents->d.users)
    if (entity_ptr i = u.lock(); i && i->d.contents == contents) {
      user = i;
      break;
    }
  if (!user) return;
  auto& db = sim::modelmanager::current_database();
  const std::filesystem::path file = stored_file_path(db.file(), m.elid);
  std::filesystem::create_directories(file.parent_path());
  db.set_file(m.elid, file, sim::files::append_packed_model(user, file));
}

void complete_store() {
  std::optional<ref> object = std::exchange(store_object(), std::nullopt);
  if (!object) return;
  auto& out = standard_output();
  std::optional<sim::session::position> at = sim::session::position_of(*object);
  if (!at || !sim::session::position_in_session(*at)) {
    store_failed("the model is no longer in session");
    return;
  }
  const std::string path = pathname_of(*object);
  auto& db = sim::modelmanager::current_database();
  const std::vector<entity_ptr> contents = modified_models(*object);
  std::vector<sim::modelmanager::stored_model> models;
  for (const entity_ptr& c : contents) {
    const std::optional<sim::modelmanager::stored_model> previous = db.latest_by_sysid(c->sysid());
    const std::string name = c->d.name.value_or("");
    if (name.empty()) {
      store_failed("the model with the sysid " + c->sysid() + " has no name");
      return;
    }
    if (previous && previous->name != name) {
      store_failed("the sysid " + c->sysid() + " of " + name + " is stored for the model " + previous->name +
                   " (" + previous->elid + ")");
      return;
    }
    sim::modelmanager::stored_model m;
    m.name = name;
    m.model_objtype = stored_type(c);
    m.sysid = c->sysid();
    m.timestamp = c->d.timestamp;
    m.revision = next_revision(previous);
    if (previous) m.state = previous->state;
    models.push_back(std::move(m));
  }
  // The stored files are written before the rows are committed: the
  // database never holds a model without its file.
  try {
    db.add_all(models, [&] {
      for (std::size_t i = 0; i < contents.size(); ++i) write_stored_file(contents[i], models[i]);
    });
  } catch (const std::exception& e) {
    store_failed(path + " was not stored: " + e.what());
    return;
  }
  sim::fault_point("store");
  for (std::size_t i = 0; i < contents.size(); ++i) {
    sim::modelmanager::mark_from_database(contents[i], models[i]);
    contents[i]->d.modified = false;
  }
  sim::modelmanager::refresh_statuses(all_models(*object));
  out << "Model Manager: stored " << models.size() << " models of " << path;
  for (const auto& m : models) out << "; " << m.name << " " << m.elid;
  out << '\n';
  host::event::process_event(host::event::browser_update_event());
}

void define_store_dialog() {
  host::dialogs::dialog_def def;
  def.name = store_dialog;
  def.title = "Store Modified Models";
  host::dialogs::variable_def model;
  model.name = "MODEL";
  model.title = "Model";
  model.kind = host::dialogs::value_kind::text;
  model.input = false;
  host::dialogs::variable_def count;
  count.name = "MODELS";
  count.title = "Models to Store";
  count.kind = host::dialogs::value_kind::number;
  count.input = false;
  def.variables = {model, count};
  def.precondition = []() -> std::optional<std::string> {
    if (!dialog_object()) return "Model Manager was not asked to store a model.";
    std::optional<sim::session::position> at = sim::session::position_of(*dialog_object());
    if (!at || !sim::session::position_in_session(*at)) {
      dialog_object().reset();
      return "The model to store is no longer in session.";
    }
    return std::nullopt;
  };
  def.on_start = [](host::dialogs::dialog_context& d) {
    d.set_value("MODEL", make_string(pathname_of(*dialog_object())));
    d.set_value("MODELS", make_integer(std::int64_t(modified_models(*dialog_object()).size())));
  };
  def.ok = [](host::dialogs::dialog_context&) {
    store_object() = std::exchange(dialog_object(), std::nullopt);
    host::frame2::put_buffer(std::string(store_command));
  };
  def.cancel = [](host::dialogs::dialog_context&) {
    if (dialog_object()) standard_output() << "Model Manager: store cancelled\n";
    dialog_object().reset();
  };
  host::dialogs::define_dialog(std::move(def), "MODELMANAGER");
}

const builtins_registration store_functions([] {
  define_store_dialog();
  sim::define_console_function("SDSIM", "MM-COMPLETE-STORE", 0, 0, [](args_t) {
    complete_store();
    return nil();
  });
  // (modelmanager::ndm_store_modified :object sel_item)
  sim::define_host_function("MODELMANAGER", "NDM_STORE_MODIFIED", 2, 2, [](args_t a) {
    keyword_args k("MODELMANAGER::NDM_STORE_MODIFIED", a, 0, {"OBJECT"});
    host::modelmanager::ndm_store_modified(k.get("OBJECT"));
    return t();
  });
  sim::define_host_function("MODELMANAGER", "NDM_AM_STORE", 0, 0, [](args_t) {
    host::modelmanager::ndm_am_store();
    return t();
  });
  sim::define_host_function("MODELMANAGER", "DB-GET-PART-AND-DOC-ELIDS-OF-LOADED-DWG", 0, 0, [](args_t) {
    return host::modelmanager::db_get_part_and_doc_elids_of_loaded_dwg();
  });
});

// The element ids of the stored models the drawing's views show now.
std::vector<std::string> part_elids(const sim::annotation::drawing& d) {
  std::vector<std::string> elids;
  for (const auto& v : d.views) {
    entity_ptr owner = v->owner_in_session();
    if (!owner || !owner->d.contents) continue;
    ref elid = host::modelmanager::get_docelid_from_cluster(owner->d.contents->handle());
    if (is_nil(elid)) continue;
    std::string text = string_designator(elid);
    if (std::find(elids.begin(), elids.end(), text) == elids.end()) elids.push_back(text);
  }
  return elids;
}

ref string_list(const std::vector<std::string>& texts) {
  std::vector<ref> items;
  for (const std::string& t : texts) items.push_back(make_string(t));
  return list_from(items);
}

}  // namespace

namespace host::modelmanager {

void ndm_store_modified(const lisp::ref& object) {
  sim::modelmanager::check_store_allowed();
  std::optional<sim::session::position> at = sim::session::position_of(object);
  if (!at || at->empty() || !sim::session::position_in_session(*at))
    sim::host_command_failed("MODELMANAGER", "NO-MODEL",
                             "There is no model to store: " + prin1_to_string(object));
  dialog_object() = sim::session::make_path(*at);
  // Started from a dialog's callback, it runs after the command running now
  // and ends that dialog.
  sim::dialogs::run_dialog(store_dialog, {}, true);
}

void ndm_am_store() {
  sim::modelmanager::check_store_allowed();
  sim::annotation::drawing_ptr d = sim::annotation::current_drawing();
  if (!d) sim::host_command_failed("MODELMANAGER", "NO-DRAWING", "There is no drawing in session to store.");
  sim::modelmanager::stored_model m;
  m.name = d->number;
  m.sysid = d->unique_id;
  m.model_objtype = "DRAWING";
  std::vector<sim::modelmanager::stored_model> models{m};
  auto& db = sim::modelmanager::current_database();
  const std::vector<std::string> parts = part_elids(*d);
  db.add_all(models, [&] { db.link_drawing(models.front().elid, parts); });
  sim::fault_point("drawing-store");
  d->doc_elids.push_back(models.front().elid);
  standard_output() << "Model Manager: stored the drawing " << d->number << " as " << models.front().elid
                    << " with " << parts.size() << " models\n";
  sim::dialogs::end_after_input();
}

lisp::ref db_get_part_and_doc_elids_of_loaded_dwg() {
  sim::annotation::drawing_ptr d = sim::annotation::current_drawing();
  if (!d) return nil();
  // A drawing loaded again after its store is known by its unique id.
  if (d->doc_elids.empty())
    if (auto stored = sim::modelmanager::current_database().latest_by_sysid(d->unique_id);
        stored && stored->model_objtype == "DRAWING")
      d->doc_elids.push_back(stored->elid);
  if (d->doc_elids.empty()) return list({nil(), nil()});
  return list({string_list(part_elids(*d)), string_list(d->doc_elids)});
}

}  // namespace host::modelmanager
