#include "checkin/checkin_session.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <vector>

#include "checkin/checkin_host.h"
#include "checkin/name_conflict_panel.h"
#include "checkin/queue_tables.h"
#include "host/command_errors.h"
#include "host/drawings.h"
#include "host/events.h"
#include "host/file_rename.h"
#include "host/files.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "host/undo.h"
#include "records/staging_lock.h"

namespace vtm::checkin {

namespace fs = std::filesystem;
namespace hl = host::lisp;

std::shared_ptr<check_in_context>& mm_check_in_context() {
  static std::shared_ptr<check_in_context> context;
  return context;
}

std::shared_ptr<check_in_context>& installed_context() {
  static std::shared_ptr<check_in_context> context;
  return context;
}

records::host_cluster_session& checkin_cluster_session() {
  static records::host_cluster_session s;
  return s;
}

bool has_tag(const analytics::record_status& status, std::string_view tag) {
  for (const core::keyword_name& t : status.tags)
    if (t.name == tag) return true;
  return false;
}

hl::ref integer(long n) { return hl::make_integer(n); }

long integer_value(const hl::ref& value) { return hl::integerp(value) ? long(hl::as_integer(value)) : 0; }

std::optional<std::string> staging_directory_check(const std::string& directory) {
  std::error_code ec;
  if (fs::is_directory(directory, ec) && fs::is_regular_file(directory + "/analytics.lsp", ec))
    return std::nullopt;
  return std::string("This is not a Staging Directory");
}

namespace {

hl::ref context_text(const std::shared_ptr<check_in_context>& c) {
  return c ? hl::make_string("#<CHECK-IN-CONTEXT " + c->stagingdir.string() + ">") : hl::nil();
}

fs::path staging_path(const std::string& directory) {
  return fs::absolute(fs::path(directory + "/")).lexically_normal();
}

void print(const std::string& text) { hl::standard_output() << text; }

// The lock of the staging directory the session works on, held until the
// session turns to another directory or the host ends.
struct held_staging_lock {
  fs::path dir;
  core::file_lock lock;
};

held_staging_lock& session_lock() {
  static held_staging_lock held;
  return held;
}

void fresh_context(host::dialogs::dialog_context& dialog, const fs::path& dir) {
  hold_staging_directory(dir);
  recover_interrupted_save(dir / "models");
  clear_session(dialog);
  mm_check_in_context() = std::make_shared<check_in_context>(make_check_in_context(dir));
  installed_context().reset();
}

// A save writes every file into the scratch directory, marks the set whole
// by renaming the directory and then moves the files over the staged ones:
// the contents files first, the instance files, which refer to them, last.
// The rename marks the set without a file of its own: creating a file is the
// dearest step of a save on a busy disk.
constexpr const char* scratch_name = ".saving";
constexpr const char* saved_name = ".saved";
// How sets saved before were marked whole: a file in the scratch directory.
constexpr const char* save_complete_marker = "save.complete";
// The emptied directory of the last save, kept for the next: renaming it is
// cheaper than making a directory and removing it again for every save,
// which frees its block (passed on to the disk at once on a file system
// mounted with discard).
constexpr const char* idle_name = ".idle";

bool instance_file_p(const fs::path& file) {
  const std::string type = file.extension().string();
  return type == ".sdp" || type == ".sda" || type == ".sdw" || type == ".sds";
}

// Whether the two files hold the same bytes.
bool same_contents(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(a, ec);
  if (ec || fs::file_size(b, ec) != size || ec) return false;
  const auto read = [size](const fs::path& file) {
    std::string text(size, '\0');
    std::ifstream in(file, std::ios::binary);
    return in.read(text.data(), std::streamsize(size)) ? text : std::string();
  };
  const std::string text = read(a);
  return !text.empty() && text == read(b);
}

// A saved file the staged one equals already is dropped instead of renamed
// over it: replacing a file frees the blocks of the one replaced, which is
// the dearest step of a save on a disk mounted with discard (the blocks go
// back to the disk at once).
void move_saved_files(const fs::path& saved, const fs::path& directory) {
  std::vector<fs::path> files;
  for (const fs::directory_entry& file : fs::directory_iterator(saved))
    if (file.path().filename() != save_complete_marker) files.push_back(file.path());
  std::stable_partition(files.begin(), files.end(), [](const fs::path& f) { return !instance_file_p(f); });
  for (const fs::path& file : files) {
    const fs::path staged = directory / file.filename();
    if (same_contents(file, staged)) {
      // Dated as saved now, as a file written over it would be.
      fs::last_write_time(staged, fs::last_write_time(file));
      fs::remove(file);
    } else
      host::system::rename_file(file, staged);
  }
  fs::remove(saved / save_complete_marker);
  host::system::rename_file(saved, directory / idle_name);
}

}  // namespace

void hold_staging_directory(const fs::path& dir) {
  const fs::path normal = (dir / "").lexically_normal().parent_path();
  held_staging_lock& held = session_lock();
  if (held.lock.locked() && held.dir == normal) return;
  core::file_lock lock = records::lock_staging_directory(normal);
  held.lock = std::move(lock);
  held.dir = normal;
}

std::string recover_interrupted_save(const fs::path& directory) {
  const fs::path scratch = directory / scratch_name;
  const fs::path saved = directory / saved_name;
  std::error_code ec;
  const bool whole = fs::is_directory(saved, ec);
  if (!whole && !fs::is_directory(scratch, ec)) return {};
  if (whole || fs::exists(scratch / save_complete_marker, ec)) {
    move_saved_files(whole ? saved : scratch, directory);
    // A scratch directory beside a whole set is a later save's that never began.
    fs::remove_all(scratch, ec);
    print(hl::format("An interrupted save into ~A was completed.~%", hl::make_string(directory.string())));
    return "completed";
  }
  fs::remove_all(scratch);
  print(hl::format("An interrupted save into ~A was discarded; the staged files are as before it.~%",
                   hl::make_string(directory.string())));
  return "discarded";
}

bool initialize_check_in_context(host::dialogs::dialog_context& dialog) {
  std::shared_ptr<check_in_context>& context = mm_check_in_context();
  print(hl::format("initialize-check-in-context with context ~A~%", context_text(context)));
  const hl::ref dir_value = dialog.value("STAGING_DIRECTORY");
  std::optional<fs::path> dir;
  if (hl::truthy(dir_value))
    dir = staging_path(text_of(dir_value));
  else if (context)
    dir = context->stagingdir;
  print(hl::format("initialize-check-in-context stagingdir ~A~%",
                   dir ? hl::make_string(dir->string()) : hl::nil()));
  if (!dir) return false;
  if (!context || context->stagingdir != *dir) fresh_context(dialog, *dir);
  if (context->current_model() && hl::is_nil(analytics::model_status_selitem(*context->current_model()))) {
    // The model was deleted behind the dialog's back: start over from the files.
    fresh_context(dialog, *dir);
  }
  print(hl::format("initialize-check-in-context installed ~A~%", context_text(installed_context())));
  if (installed_context()) return true;
  installed_context() = context;
  dialog.set_value("QUEUED_FOR_CHECK_IN", integer(check_in_context_remaining_models(*context)));
  set_model_table(*context);
  show_model_table();
  if (const model_status_ptr& model = context->current_model()) {
    print(
        hl::format("reestablish model ~A~%", hl::make_string(analytics::model_status_instancename(*model))));
    set_drawing_table(context->current_drawings);
    dialog.set_value("CURRENT_MODEL", analytics::model_status_selitem(*model));
    dialog.set_value("CURRENT_DRAWING", context->current_drawing && context->current_drawing->name
                                            ? hl::make_string(*context->current_drawing->name)
                                            : hl::nil());
    cleanup_conflict_queue(*context, checkin_cluster_session());
    // What the cleanup resolved no longer counts.
    dialog.set_value("MODEL_NAME_CONFLICTS", integer(check_in_context_remaining_name_conflicts(*context)));
    if (name_info_ptr conflict = context->current_name_conflict) {
      print(hl::format("reestablish conflict ~A~%", hl::make_string(conflict->model_name)));
      const std::optional<records::model_path> at = model_name_info_selitem(*conflict);
      dialog.set_value("CURRENT_MODEL_NAME", at ? records::to_sel_item(*at) : hl::nil());
      finish_pending_comparison(*context, *conflict);
    }
  }
  return false;
}

void clear_session(host::dialogs::dialog_context& dialog) {
  print("clear-session\n");
  destroy_tracking_features(dialog);
  host_ops::trapped([] {
    host::docu::am_drawing_delete();
    host::elan::delete_3d(hl::ref(&hl::keyword("ALL_AT_TOP")));
    host::dsm::note_state(host::k2::k2_state_manager());
  });
  if (const std::shared_ptr<check_in_context>& context = mm_check_in_context()) {
    set_check_in_context_current_model(*context, nullptr, checkin_cluster_session());
    dialog.set_value("CURRENT_MODEL", hl::nil());
  }
  host_ops::trapped([] {
    host::event::process_event(host::event::changed_parcel_tree_event());
    host_ops::refresh_browser();
  });
}

model_status_ptr load_model(const std::string& staged) {
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  if (!context) return nullptr;
  const std::string back = text_of(host::frame2::current_working_directory());
  const bool loaded = host_ops::trapped([&] {
    if (!host::system::chdir(context->stagingdir.string()))
      hl::simple_error("The staging directory " + context->stagingdir.string() + " cannot be entered.");
    try {
      host::frame2_ui::load_sd(staged);
    } catch (...) {
      host::system::chdir(back);
      throw;
    }
    host::system::chdir(back);
  });
  if (!loaded) {
    set_check_in_context_current_model(*context, nullptr, checkin_cluster_session());
    return nullptr;
  }
  host_ops::trapped([] {
    host::dsm::note_state(host::k2::k2_state_manager());
    host::event::process_event(host::event::changed_parcel_tree_event());
  });
  const model_status_ptr* status = context->model_queue.find(staged);
  return status ? *status : nullptr;
}

hl::ref save_instance(const hl::ref& instance, const fs::path& directory) {
  print(hl::format("3d: ~A -> ~A~%", host::oli::sd_inq_obj_pathname(instance),
                   hl::make_string(directory.string())));
  const std::string back = text_of(host::frame2::current_working_directory());
  hl::ref error;
  // The save goes into a scratch directory and its files are renamed over
  // the staged ones: a host that ends while saving leaves the staged files
  // as they were, or, once the set is whole, a set that the next opening of
  // the staging directory finishes moving. Absolute: the save runs from
  // inside it, where a relative path would name another directory.
  const fs::path scratch = fs::absolute(directory / scratch_name);
  const fs::path saved = fs::absolute(directory / saved_name);
  try {
    const fs::path idle = fs::absolute(directory / idle_name);
    fs::remove_all(scratch);
    std::error_code ec;
    if (fs::is_directory(idle, ec)) host::system::rename_file(idle, scratch);
    // Whatever else is found in it would be moved over the staged files.
    if (!fs::is_empty(scratch, ec)) fs::remove_all(scratch);
    fs::create_directories(scratch);
    if (!host::system::chdir(scratch.string()))
      hl::simple_error("The directory " + scratch.string() + " cannot be entered.");
    host::frame2_ui::save_sd(instance, scratch.string() + "/");
    host::system::chdir(back);
    host::system::rename_file(scratch, saved);
    move_saved_files(saved, directory);
  } catch (const hl::lisp_error& e) {
    const bool host_error = host::system::reset_lisp_error_active();
    error = host_error && hl::truthy(host::oli::sd_inq_error_obj()) ? host::oli::sd_inq_error_obj()
                                                                    : hl::make_string(e.message());
  } catch (const fs::filesystem_error& e) {
    error = hl::make_string(e.what());
  }
  host::system::chdir(back);
  if (hl::truthy(error)) return hl::list({hl::ref(&hl::keyword("ERROR")), error});
  return hl::ref(&hl::keyword("OK"));
}

fs::path models_directory(const check_in_context& context) { return context.stagingdir / "models"; }

}  // namespace vtm::checkin
