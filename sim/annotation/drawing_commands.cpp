// The Annotation commands: loading, storing and deleting the session's
// drawing, its views, their 3D owners and the view update.
#include <fstream>

#include "annotation/drawing.h"
#include "annotation/drawing_file.h"
#include "host/command_errors.h"
#include "host/drawings.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using namespace sim::annotation;
namespace fs = std::filesystem;

constexpr const char* view_kind = "DRAWING-VIEW";

void require_annotation() {
  if (!host::pers::check_module("ANNOTATION"))
    sim::host_command_failed("DOCU", "MODULE-NOT-ACTIVE", "The module ANNOTATION is not active.");
}

drawing_ptr require_drawing() {
  require_annotation();
  drawing_ptr d = current_drawing();
  if (!d) sim::host_command_failed("DOCU", "NO-DRAWING", "There is no drawing in session.");
  return d;
}

// The import log: the file "log" in the current working directory.
void write_import_log(const fs::path& source, const drawing& d) {
  std::ofstream log(fs::current_path() / "log", std::ios::binary | std::ios::trunc);
  log << "Import of '" << fs::absolute(source).string() << "'\n";
  for (const std::string& w : d.import_warnings) log << "WARNING: " << w << '\n';
}

host::lisp::ref load_drawing(std::string_view file, accepted_drawings accepted, bool enable_warning) {
  require_annotation();
  fs::path path(file);
  drawing_ptr d = read_drawing_file(path, accepted);
  if (!d->import_warnings.empty()) {
    write_import_log(path, *d);
    if (enable_warning)
      for (const std::string& w : d->import_warnings) host::oli::sd_display_warning(w, nil());
  }
  set_current_drawing(d);
  return t();
}

}  // namespace

namespace host::docu {

ref am_load_any_mi(std::string_view file, bool enable_warning) {
  return load_drawing(file, accepted_drawings::any, enable_warning);
}

ref am_load_drawing(std::string_view file) {
  return load_drawing(file, accepted_drawings::annotation_only, false);
}

ref am_store_drawing(std::string_view file, bool overwrite) {
  drawing_ptr d = require_drawing();
  std::error_code ec;
  if (!overwrite && fs::exists(fs::path(file), ec))
    sim::host_command_failed("DOCU", "FILE-EXISTS",
                             "Cannot store the drawing as '" + std::string(file) + "': the file exists.");
  write_drawing_file(*d, fs::path(file));
  return t();
}

void am_drawing_delete() {
  require_annotation();
  set_current_drawing(nullptr);
}

void am_view_update() {
  drawing_ptr d = require_drawing();
  if (d->update_error) sim::host_command_failed("DOCU", "VIEW-UPDATE-FAILED", *d->update_error);
  link_owners(*d);
}

ref docu_get_view2d_name_ids_on_drw() {
  drawing_ptr d = require_drawing();
  std::vector<ref> ids;
  for (const auto& v : d->views) ids.push_back(make_string(v->id));
  return list_from(ids);
}

ref docu_select_by_unique_part_id(const ref& id) {
  drawing_ptr d = require_drawing();
  std::string wanted = string_designator(id);
  for (const auto& v : d->views)
    if (v->id == wanted) return make_handle(view_kind, v);
  return nil();
}

}  // namespace host::docu

namespace host::elan {
ref convert_docu_view_to_elan_view(const ref& view) {
  as_handle(view, view_kind);
  auto v = std::static_pointer_cast<drawing_view>(static_cast<handle_obj&>(*view).target);
  sim::session::entity_ptr owner = v->owner_in_session();
  if (!owner) return nil();
  auto p = sim::session::first_position(owner);
  return p ? sim::session::make_path(*p) : nil();
}
}  // namespace host::elan

namespace host::oli {

ref sd_am_inq_drawing_no() {
  drawing_ptr d = current_drawing();
  return d ? make_string(d->number) : nil();
}

ref sd_am_inq_all_3d_owners() {
  drawing_ptr d = current_drawing();
  std::vector<ref> entries;
  if (d)
    for (const auto& v : d->views) {
      auto sysid = v->current_owner_sysid();
      if (!sysid) continue;
      ref owner;
      if (sim::session::entity_ptr o = v->owner_in_session())
        if (auto p = sim::session::first_position(o)) owner = sim::session::make_path(*p);
      entries.push_back(list({make_string(v->id), make_string(*sysid), owner}));
    }
  return list_from(entries);
}

}  // namespace host::oli

namespace {

using sim::define_host_function;
using sim::flag_value;

bool is_keyword(const ref& r, std::string_view name) {
  return keywordp(r) && static_cast<symbol&>(*r).name == name;
}

// Command tokens: keywords, each followed by its value unless the next
// token is a keyword too (or there is none), as in :overwrite.
struct command_tokens {
  command_tokens(std::string_view command, args_t args, std::initializer_list<std::string_view> allowed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (!keywordp(args[i]))
        simple_error(std::string(command) + ": expected an option keyword, got " + prin1_to_string(args[i]));
      std::string key = static_cast<symbol&>(*args[i]).name;
      bool known = false;
      for (std::string_view a : allowed) known = known || a == key;
      if (!known) simple_error(std::string(command) + ": unknown option :" + key);
      bool has_value = i + 1 < args.size() && !keywordp(args[i + 1]);
      // Answers such as :yes and :off are values, not options.
      if (i + 1 < args.size() && keywordp(args[i + 1]))
        for (std::string_view answer : {"YES", "NO", "ON", "OFF", "NONE"})
          has_value = has_value || is_keyword(args[i + 1], answer);
      values.emplace_back(key, has_value ? args[++i] : t());
    }
  }
  bool has(std::string_view key) const {
    for (const auto& [k, v] : values)
      if (k == key) return true;
    return false;
  }
  ref get(std::string_view key) const {
    for (const auto& [k, v] : values)
      if (k == key) return v;
    return nil();
  }
  std::vector<std::pair<std::string, ref>> values;
};

std::string filename_of(const command_tokens& tokens, std::string_view command) {
  ref f = tokens.get("FILENAME");
  if (is_nil(f)) simple_error(std::string(command) + ": give :filename.");
  return namestring(f);
}

const builtins_registration drawing_functions([] {
  // (docu::am_load_any_mi :filename F :enable_warning :off [:ui_type :none])
  define_host_function("DOCU", "AM_LOAD_ANY_MI", 2, any_count, [](args_t a) {
    command_tokens tokens("DOCU::AM_LOAD_ANY_MI", a, {"FILENAME", "ENABLE_WARNING", "UI_TYPE"});
    return host::docu::am_load_any_mi(filename_of(tokens, "DOCU::AM_LOAD_ANY_MI"),
                                      flag_value(tokens.get("ENABLE_WARNING")));
  });
  define_host_function("DOCU", "AM_LOAD_DRAWING", 2, 2, [](args_t a) {
    command_tokens tokens("DOCU::AM_LOAD_DRAWING", a, {"FILENAME"});
    return host::docu::am_load_drawing(filename_of(tokens, "DOCU::AM_LOAD_DRAWING"));
  });
  // (docu::am_store_drawing :filename F :overwrite)
  define_host_function("DOCU", "AM_STORE_DRAWING", 2, 4, [](args_t a) {
    command_tokens tokens("DOCU::AM_STORE_DRAWING", a, {"FILENAME", "OVERWRITE"});
    return host::docu::am_store_drawing(filename_of(tokens, "DOCU::AM_STORE_DRAWING"),
                                        tokens.has("OVERWRITE") && flag_value(tokens.get("OVERWRITE")));
  });
  // (docu::am_drawing_delete :dwg :yes): deletes without asking; any other
  // answer keeps the drawing.
  define_host_function("DOCU", "AM_DRAWING_DELETE", 2, 2, [](args_t a) {
    command_tokens tokens("DOCU::AM_DRAWING_DELETE", a, {"DWG"});
    if (!is_keyword(tokens.get("DWG"), "YES")) return nil();
    host::docu::am_drawing_delete();
    return t();
  });
  define_host_function("DOCU", "AM_VIEW_UPDATE", 1, 1, [](args_t a) {
    command_tokens tokens("DOCU::AM_VIEW_UPDATE", a, {"UPDATE_WHOLE_DRAWING"});
    host::docu::am_view_update();
    return t();
  });
  define_host_function("DOCU", "DOCU-GET-VIEW2D-NAME-IDS-ON-DRW", 0, 0,
                       [](args_t) { return host::docu::docu_get_view2d_name_ids_on_drw(); });
  define_host_function("DOCU", "DOCU-SELECT-BY-UNIQUE-PART-ID", 1, 1,
                       [](args_t a) { return host::docu::docu_select_by_unique_part_id(a[0]); });
  define_host_function("ELAN", "CONVERT-DOCU-VIEW-TO-ELAN-VIEW", 1, 1,
                       [](args_t a) { return host::elan::convert_docu_view_to_elan_view(a[0]); });
  define_host_function("OLI", "SD-AM-INQ-DRAWING-NO", 0, 0,
                       [](args_t) { return host::oli::sd_am_inq_drawing_no(); });
  define_host_function("OLI", "SD-AM-INQ-ALL-3D-OWNERS", 0, 0,
                       [](args_t) { return host::oli::sd_am_inq_all_3d_owners(); });
});

}  // namespace
