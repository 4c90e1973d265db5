#include "stage1/staged_saving.h"

#include <functional>

#include "host/drawings.h"
#include "host/files.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "stage1/guarded_action_call.h"

namespace vtm::stage1 {

namespace hl = host::lisp;

namespace {

save_result save_in(const std::string& dir, const std::function<void()>& command) {
  working_directory cwd(dir);
  if (!cwd.entered()) return {hl::nil(), hl::nil()};
  const action_outcome outcome = guarded_action_call(command);
  if (outcome.ok) return {hl::ref(&hl::keyword("OK")), hl::nil()};
  return {hl::ref(&hl::keyword("ERROR")), outcome.error};
}

}  // namespace

working_directory::working_directory(const std::string& dir)
    : previous_(hl::as_string(host::frame2::current_working_directory())),
      entered_(host::system::chdir(dir)) {}

working_directory::~working_directory() {
  if (entered_) host::system::chdir(previous_);
}

std::string directory_namestring(const std::filesystem::path& directory) {
  std::string s = directory.string();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

save_result save_instance(const hl::ref& selitem, const std::filesystem::path& directory) {
  const std::string dir = directory_namestring(directory);
  hl::standard_output() << hl::format("3d: ~A -> ~A~%", host::oli::sd_inq_obj_pathname(selitem),
                                      hl::make_string(dir))
                        << std::flush;
  return save_in(dir, [&] { host::frame2_ui::save_sd(selitem, dir); });
}

save_result save_drawing(const std::filesystem::path& file) {
  return save_in(directory_namestring(file.parent_path()),
                 [&] { host::docu::am_store_drawing(file.string(), true); });
}

}  // namespace vtm::stage1
