// The session's drawing and the owners of its views.
#include "annotation/drawing.h"

namespace sim::annotation {

session::entity_ptr drawing_view::owner_in_session() const {
  session::entity_ptr o = owner.lock();
  return o && session::session::current().in_session(*o) ? o : nullptr;
}

std::optional<std::string> drawing_view::current_owner_sysid() const {
  if (session::entity_ptr o = owner_in_session()) return o->sysid();
  return owner_sysid;
}

namespace {
drawing_ptr& current() {
  static drawing_ptr d;
  return d;
}
}  // namespace

drawing_ptr current_drawing() { return current(); }
void set_current_drawing(drawing_ptr d) { current() = std::move(d); }

void link_owners(drawing& d) {
  for (auto& view : d.views) {
    if (!view->owner_sysid || view->owner_in_session()) continue;
    for (const auto& e : session::session::current().find_by_sysid(*view->current_owner_sysid()))
      if (e->is_instance()) {
        view->owner = e;
        break;
      }
  }
}

}  // namespace sim::annotation
