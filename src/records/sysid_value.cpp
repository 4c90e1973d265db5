#include "records/sysid_value.h"

#include "host/lisp/errors.h"

namespace vtm::core {

namespace hl = host::lisp;

ref lisp_value<records::sysid_value>::to(const records::sysid_value& v) {
  if (v.persisted()) return hl::make_string(v.string());
  if (v.in_session()) return v.handle();
  return ref();
}

records::sysid_value lisp_value<records::sysid_value>::from(const ref& v) {
  if (hl::is_nil(v)) return {};
  if (hl::stringp(v)) return hl::as_string(v);
  if (hl::is(v, hl::tag::handle)) return records::sysid_value::of_entity(v);
  hl::type_error(v, "(OR STRING ENTITY)");
}

}  // namespace vtm::core
