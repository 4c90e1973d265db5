// The host's structure browser.
#pragma once

#include <string>

namespace host::g_browser {
// Redraws the structure browser of that name (e.g. "parcel-gbrowser") when
// the model tree changed since it was drawn, or always with refresh.
void update_browser_if_needed(const std::string& browser, bool refresh);
}  // namespace host::g_browser
