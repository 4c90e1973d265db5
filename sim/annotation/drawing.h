// The simulated host's Annotation drawings: a drawing with its number and
// its 2D views, each view derived from a 3D instance (its owner), and the
// one drawing the session holds at a time.
//
// A view knows its owner as an instance in session when there is one, and
// always by the owner's sysid, so a drawing loaded without its model still
// names its owners. A view whose owner is not in session is stale: it has
// no 3D counterpart until a view update finds an instance with that sysid.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/model.h"

namespace sim::annotation {

struct drawing_view {
  std::string id;    // unique in its drawing
  std::string name;  // for the user
  std::optional<std::string> owner_sysid;
  session::weak_entity owner;  // the owner instance it was linked to

  // The owner instance when it is in session now.
  session::entity_ptr owner_in_session() const;
  // The owner's sysid: the linked instance's current one while it is in
  // session, else the sysid the view was made with.
  std::optional<std::string> current_owner_sysid() const;
};

enum class drawing_kind { mi, ami };  // plain drafting, Annotation

struct drawing {
  drawing_kind kind = drawing_kind::ami;
  std::string number;
  // Its identity, kept in its file; Model Manager knows a stored drawing by it.
  std::string unique_id;
  std::vector<std::shared_ptr<drawing_view>> views;
  std::vector<std::string> import_warnings;  // written to the import log
  std::optional<std::string> update_error;   // a view update fails with this
  std::vector<std::string> doc_elids;        // its documents in Model Manager, once stored
};

using drawing_ptr = std::shared_ptr<drawing>;

// The session's drawing; nullptr when there is none.
drawing_ptr current_drawing();
void set_current_drawing(drawing_ptr d);

// Links every view whose owner is not in session to the first instance in
// session with the owner's sysid.
void link_owners(drawing& d);

}  // namespace sim::annotation
