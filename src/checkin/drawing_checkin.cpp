#include "checkin/drawing_checkin.h"

#include <algorithm>
#include <filesystem>

#include "analytics/staging_outputs.h"
#include "analytics/status_records.h"
#include "checkin/checkin_host.h"
#include "checkin/checkin_session.h"
#include "checkin/queue_tables.h"
#include "core/module_env.h"
#include "host/command_errors.h"
#include "host/drawings.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/format.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_store.h"
#include "host/run_outcome.h"

namespace vtm::checkin {

namespace hl = host::lisp;
namespace dlg = host::dialogs;

namespace {

void print(const std::string& text) { hl::standard_output() << text; }

hl::ref drawing_text(const drawing_status_ptr& d) {
  return d ? hl::make_string(d->name.value_or(d->staged.string())) : hl::nil();
}

bool drawing_stored() {
  const hl::ref ids = host::modelmanager::db_get_part_and_doc_elids_of_loaded_dwg();
  return hl::consp(ids) && hl::consp(hl::cdr(ids)) && hl::truthy(hl::car(hl::cdr(ids)));
}

void show_enable(dlg::dialog_context& dialog, const char* variable, bool on) {
  dialog.set_visible(variable, on);
  dialog.set_enabled(variable, on);
}

const char* save_handler_name = "MM-SAVE-DWG-HANDLER";

// Saves the drawing in session over its staged file, through a scratch file
// beside it, so that a host ending while writing leaves the staged file whole.
bool save_staged_drawing(const check_in_context& context) {
  const std::filesystem::path staged = context.stagingdir / context.current_drawing->staged;
  const std::filesystem::path scratch = staged.parent_path() / ".saving" / staged.filename();
  return host_ops::trapped([&] {
    std::error_code ec;
    std::filesystem::create_directories(scratch.parent_path(), ec);
    if (!ec) {
      host::docu::am_store_drawing(scratch.string(), true);
      std::filesystem::rename(scratch, staged, ec);
    }
    if (ec) hl::simple_error("Cannot save the drawing over " + staged.string() + ": " + ec.message());
    std::filesystem::remove(scratch.parent_path(), ec);
  });
}

// A drawing goes into Model Manager only after its model: the current model
// is checked in and lists the drawing among its own. Without that, the
// store would keep a drawing that shows no stored model and that no later
// check-in links.
bool model_checked_in_for(const check_in_context& context, const drawing_status_ptr& drawing) {
  const model_status_ptr& model = context.current_model();
  if (!drawing || !model || !has_tag(*model, "CHECKED-IN")) return false;
  return std::find(context.current_drawings.begin(), context.current_drawings.end(), drawing) !=
         context.current_drawings.end();
}

}  // namespace

void define_drawing_checkin() {
  core::define_function(save_handler_name, 1, 1, [](hl::args_t args) {
    const std::shared_ptr<check_in_context>& context = mm_check_in_context();
    const hl::ref handler(&core::main_symbol(save_handler_name));
    const bool current = context && context->current_drawing && hl::stringp(args[0]) &&
                         hl::as_string(args[0]) == context->current_drawing->staged.string();
    if (current && context->mm_cmd == mm_command::dwg_check_in && drawing_stored()) {
      context->mm_cmd = mm_command::none;
      host::event::unsubscribe_event(host::event::browser_update_event(), handler);
      host::frame2::put_buffer("VANTREL_MM_ASSISTED_CHECKIN :DB_FINISH_DWG_CHECKIN");
    } else {
      host::event::unsubscribe_event(host::event::browser_update_event(), handler);
    }
    return hl::nil();
  });
}

drawing_status_ptr load_drawing(const std::string& path) {
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  if (!context) return nullptr;
  print(hl::format("loading ~A~%", hl::make_string(path)));
  const bool loaded = host_ops::trapped([&] {
    host::docu::am_drawing_delete();
    host::docu::am_load_drawing((context->stagingdir / path).string());
  });
  if (!loaded) {
    host::system::note_incomplete_run();
    return nullptr;
  }
  const drawing_status_ptr* d = context->drawing_queue.find(path);
  return d ? *d : nullptr;
}

int stale_view_count() {
  int stale = 0;
  for (const hl::ref& id : hl::list_to_vector(host::docu::docu_get_view2d_name_ids_on_drw()))
    if (hl::is_nil(host::elan::convert_docu_view_to_elan_view(host::docu::docu_select_by_unique_part_id(id))))
      ++stale;
  return stale;
}

void enter_drawing_phase(dlg::dialog_context& dialog, const check_in_context& context) {
  set_drawing_table(context.current_drawings);
  show_enable(dialog, "CURRENT_DRAWING", true);
  show_drawing_table();
}

void on_drawing_count(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  print(hl::format("DRAWING_COUNT after input ~A~%", value));
  const model_status_ptr& model = context->current_model();
  if (integer_value(value) > 0 && model && has_tag(*model, "CHECKED-IN")) {
    show_enable(dialog, "CURRENT_DRAWING", true);
  } else {
    dialog.set_value("CURRENT_DRAWING", hl::nil());
    show_enable(dialog, "CURRENT_DRAWING", false);
  }
}

void on_staged_dwg(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  const std::string path = text_of(value);
  const drawing_status_ptr drawing = load_drawing(path);
  print(hl::format("STAGED_DWG after input ~A - ~A ~%", hl::make_string(path), drawing_text(drawing)));
  if (!drawing) return;
  context->current_drawing = drawing;
  dialog.set_value("CURRENT_DRAWING", drawing->name ? hl::make_string(*drawing->name) : hl::nil());
  host_ops::trapped([] { host::docu::am_view_update(); });
  dialog.set_value("STALE_VIEWS", integer(stale_view_count()));
}

void on_current_drawing(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  print(hl::format("CURRENT_DRAWING after input ~A (~A)~%", value, drawing_text(context->current_drawing)));
  if (!context->current_drawing) {
    dialog.set_value("STALE_VIEWS", integer(0));
    show_enable(dialog, "STALE_VIEWS", false);
    show_enable(dialog, "CHECK_IN_DRAWING", false);
    return;
  }
  const int stale = stale_view_count();
  show_enable(dialog, "STALE_VIEWS", true);
  // A drawing checked in already can still be loaded by its staged path; a
  // second store would put it into Model Manager twice.
  show_enable(dialog, "CHECK_IN_DRAWING",
              !has_tag(*context->current_drawing, "CHECKED-IN") &&
                  model_checked_in_for(*context, context->current_drawing));
  dialog.set_value("STALE_VIEWS", integer(stale));
}

void on_stale_views(dlg::dialog_context&, const hl::ref& value) {
  print(hl::format("STALE_VIEWD after input ~A~%", value));
}

void check_in_drawing(dlg::dialog_context&) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || !context->current_drawing || has_tag(*context->current_drawing, "CHECKED-IN")) return;
  if (!model_checked_in_for(*context, context->current_drawing)) {
    host::frame2::display_error(hl::make_string("The drawing " + context->current_drawing->staged.string() +
                                                " is checked in only after its model."));
    host::system::note_incomplete_run();
    return;
  }
  bool stored = false;
  host_ops::trapped([&] { stored = drawing_stored(); });
  // Stored by a host that ended before the completion: completed now, not
  // stored a second time.
  if (stored) {
    host::frame2::put_buffer(":DB_FINISH_DWG_CHECKIN");
    return;
  }
  // The staged file keeps the identity Model Manager will know the drawing
  // by, so that a later load finds it stored.
  if (!save_staged_drawing(*context)) {
    host::system::note_incomplete_run();
    return;
  }
  context->mm_cmd = mm_command::dwg_check_in;
  if (!host_ops::trapped([] { host::modelmanager::ndm_am_store(); }, "Drawing Check-in failed."))
    host::system::note_incomplete_run();
}

void complete_drawing_check_in() {
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  if (context && context->mm_cmd == mm_command::dwg_check_in && context->current_drawing) {
    bool stored = false;
    host_ops::trapped([&] { stored = drawing_stored(); });
    if (stored) {
      context->mm_cmd = mm_command::none;
      host::frame2::put_buffer("VANTREL_MM_ASSISTED_CHECKIN :DB_FINISH_DWG_CHECKIN");
    }
  }
}

void on_db_finish_dwg_checkin(dlg::dialog_context& dialog, const hl::ref&) {
  initialize_check_in_context(dialog);
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || !context->current_drawing) return;
  const drawing_status_ptr drawing = context->current_drawing;
  bool stored = false;
  host_ops::trapped([&] { stored = drawing_stored(); });
  // Completed once, and only for a drawing Model Manager holds.
  if (has_tag(*drawing, "CHECKED-IN") || !stored) {
    print(hl::format("DB_FINISH_DWG_CHECKIN ~A is not stored~%", drawing_text(drawing)));
    return;
  }
  drawing->tags.insert(drawing->tags.begin(), core::keyword_name{"CHECKED-IN"});
  update_drawing_status(drawing->staged.string(), "CHECKED-IN");
  analytics::update_ami_drawing_analytics(context->drawing_analytics, *drawing, context->stagingdir);
  analytics::refresh_after_check_in(context->stagingdir);
  dialog.set_value("DRAWING_COUNT", integer(integer_value(dialog.value("DRAWING_COUNT")) - 1));
  context->current_drawing.reset();
  dialog.set_value("CURRENT_DRAWING", hl::nil());
}

}  // namespace vtm::checkin
