#include "records/record_path.h"

#include "host/lisp/pathnames.h"

namespace vtm::core {

namespace hl = host::lisp;

ref lisp_value<records::record_path>::to(const records::record_path& v) {
  if (v.empty()) return ref();
  return hl::make_pathname(hl::parse_namestring(v.string()));
}

records::record_path lisp_value<records::record_path>::from(const ref& v) {
  if (hl::is_nil(v)) return {};
  if (!hl::is(v, hl::tag::pathname) && !hl::stringp(v)) hl::type_error(v, "PATHNAME");
  return hl::namestring(v);
}

}  // namespace vtm::core
