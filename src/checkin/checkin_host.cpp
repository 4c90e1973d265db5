#include "checkin/checkin_host.h"

#include "host/browser.h"
#include "host/command_errors.h"
#include "host/lisp/errors.h"

namespace vtm::checkin::host_ops {

namespace hl = host::lisp;

bool trapped(const std::function<void()>& action, const std::string& fixed_message) {
  try {
    action();
    return true;
  } catch (const hl::lisp_error& e) {
    const bool host_error = host::system::reset_lisp_error_active();
    const hl::ref error = host::oli::sd_inq_error_obj();
    // The host's own message says why; a fixed message follows it.
    if (host_error && hl::truthy(error))
      host::frame2::display_error(error);
    else
      host::frame2::display_error(hl::make_string(e.message()));
    if (!fixed_message.empty()) host::frame2::display_error(hl::make_string(fixed_message));
    return false;
  }
}

bool stored_status_p(const hl::ref& status) {
  if (!hl::keywordp(status)) return false;
  const std::string& n = hl::as_symbol(status).name;
  return n == "NEWER-VERSION-EXISTS" || n == "UP-TO-DATE";
}

void refresh_browser() {
  host::g_browser::rebuild_browser_tree("parcel-gbrowser");
  host::g_browser::update_browser_if_needed("parcel-gbrowser", true);
}

}  // namespace vtm::checkin::host_ops
