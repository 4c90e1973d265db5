// The host's structure browser ("parcel-gbrowser"): the model tree of the
// session, one node per instance, drawn with the columns of its current
// view; a named search highlights the nodes it matches.
#pragma once

#include <string>
#include <vector>

#include "host/lisp/object.h"

namespace host::g_browser {
// Redraws the structure browser of that name (e.g. "parcel-gbrowser") when
// the model tree changed since it was drawn, or always with refresh.
void update_browser_if_needed(const std::string& browser, bool refresh);
// Builds the browser's tree again from the session and redraws it.
void rebuild_browser_tree(const std::string& browser);
// The object path (a string such as "/asm/part") of a node; a column's
// display function is called with the node of its row.
host::lisp::ref browsernode_objpath(const host::lisp::ref& node);
}  // namespace host::g_browser

namespace host::oli {

// Makes the view (sd_create_browser_view in ui.h) the browser's current
// one; persistent: it stays current across sessions. Signals the host's
// error for an unknown view.
void sd_set_current_browser_view(const std::string& browser, const std::string& view, bool persistent);

struct browser_search_criterion {
  lisp::ref column;     // e.g. :contents-name or :instance-name
  lisp::ref operation;  // :equals or :contains
  lisp::ref value;      // a string
};
struct browser_search {
  std::string name, title;
  std::vector<browser_search_criterion> criteria;  // all must match
  bool case_sensitive = true;
  bool enabled = true;
};
// Defines (or redefines) a named search of the browser.
void sd_create_browser_search(const std::string& browser, const browser_search& search);
// Makes the search the active one; its matches are highlighted. Signals the
// host's error for an unknown search.
void sd_set_current_browser_search(const std::string& browser, const std::string& name, bool persistent);
// Deletes the search (and ends it when active); false when there is none.
bool sd_delete_browser_search(const std::string& browser, const std::string& name);

}  // namespace host::oli
