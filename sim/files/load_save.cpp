// The host's load and save commands for 3D model files.
#include <algorithm>
#include <cctype>

#include "annotation/drawing_file.h"
#include "files/model_file.h"
#include "host/drawings.h"
#include "host/files.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using namespace sim::session;
namespace fs = std::filesystem;

std::string lower_type(const fs::path& file) {
  std::string type = file.extension().string();
  if (!type.empty()) type.erase(0, 1);
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
  return type;
}

ref load_models(std::string_view file, sim::files::file_kind kind) {
  sim::files::carried_drawing carried;
  std::vector<entity_ptr> models = sim::files::read_model_file(fs::path(file), kind, &carried);
  // A package's drawing comes along while the Annotation module is active.
  sim::annotation::drawing_ptr drawing;
  if (carried.form_number && host::pers::check_module("ANNOTATION"))
    drawing = sim::annotation::drawing_from_package(fs::path(file), carried, models);
  // Only a file read to its end changes the session.
  session::current().add_top_level(models);
  if (drawing) sim::annotation::set_current_drawing(drawing);
  return t();
}

}  // namespace

namespace host::frame2_ui {

ref universal_load(std::string_view file) {
  static constexpr std::string_view types[] = {"pkg", "bdl", "sd", "sdp", "sda", "sdexp", ""};
  std::string type = lower_type(fs::path(file));
  if (std::find(std::begin(types), std::end(types), type) == std::end(types))
    sim::host_command_failed("FRAME2-UI", "LOAD-FAILED",
                             "Cannot load '" + std::string(file) +
                                 "': the universal load does not take files of type \"" + type + "\".");
  return load_models(file, sim::files::file_kind::model);
}

ref load_sd(std::string_view file) { return load_models(file, sim::files::file_kind::model); }

ref save_sd(const ref& object, std::string_view directory) {
  position p = require_position(object);
  if (p.empty())
    sim::host_command_failed("FRAME2-UI", "SAVE-FAILED", "The root of the session cannot be saved.");
  sim::files::write_component_files(p.front(), fs::path(directory), true);
  return t();
}

}  // namespace host::frame2_ui

namespace host::links_ui {
ref load_me30(std::string_view file) { return load_models(file, sim::files::file_kind::me30); }
}  // namespace host::links_ui

namespace {

using sim::define_host_function;

std::string file_argument(const ref& r) { return namestring(r); }

const builtins_registration load_save_functions([] {
  // (frame2-ui::universal_load :file name)
  define_host_function("FRAME2-UI", "UNIVERSAL_LOAD", 2, 2, [](args_t a) {
    keyword_args keys("FRAME2-UI::UNIVERSAL_LOAD", a, 0, {"FILE"});
    return host::frame2_ui::universal_load(file_argument(keys.get("FILE")));
  });
  // (frame2-ui::load_sd name) or (frame2-ui::load_sd :file name)
  define_host_function("FRAME2-UI", "LOAD_SD", 1, 2, [](args_t a) {
    if (a.size() == 2) {
      keyword_args keys("FRAME2-UI::LOAD_SD", a, 0, {"FILE"});
      return host::frame2_ui::load_sd(file_argument(keys.get("FILE")));
    }
    return host::frame2_ui::load_sd(file_argument(a[0]));
  });
  define_host_function("LINKS-UI", "LOAD_ME30", 1, 1,
                       [](args_t a) { return host::links_ui::load_me30(file_argument(a[0])); });
  // (frame2-ui::save_sd :overwrite object :top_level_instance_files :yes :directory dir);
  // :object instead of :overwrite refuses to replace existing files.
  define_host_function("FRAME2-UI", "SAVE_SD", 2, any_count, [](args_t a) {
    keyword_args keys("FRAME2-UI::SAVE_SD", a, 0,
                      {"OVERWRITE", "OBJECT", "TOP_LEVEL_INSTANCE_FILES", "DIRECTORY"});
    ref files = keys.get("TOP_LEVEL_INSTANCE_FILES");
    if (!keywordp(files) || static_cast<symbol&>(*files).name != "YES")
      simple_error(
          "FRAME2-UI::SAVE_SD: this host saves one file per component only; give :top_level_instance_files "
          ":yes.");
    ref directory = keys.get("DIRECTORY");
    std::string dir = is_nil(directory) ? std::string(".") : namestring(directory);
    if (keys.has("OVERWRITE")) return host::frame2_ui::save_sd(keys.get("OVERWRITE"), dir);
    position p = require_position(keys.get("OBJECT"));
    if (p.empty())
      sim::host_command_failed("FRAME2-UI", "SAVE-FAILED", "The root of the session cannot be saved.");
    sim::files::write_component_files(p.front(), fs::path(dir), false);
    return t();
  });
});

}  // namespace
