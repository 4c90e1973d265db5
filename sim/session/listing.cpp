// Console views of the session, for users and scripts.
#include <ostream>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "lisp/runtime.h"
#include "session/lisp_def.h"
#include "session/model.h"

namespace {

using namespace host::lisp;
using namespace sim::session;

std::string quoted_name(const entity& e) { return e.d.name ? "\"" + *e.d.name + "\"" : std::string("NIL"); }

// One line per position: path name, instance type and sysid, then the
// contents' type, name and sysid; shared contents show at every use.
std::size_t list_positions(const entity& c, const std::string& path, int depth, std::ostream& out) {
  std::size_t count = 0;
  for (const auto& child : c.d.children) {
    std::string name = path + "/" + child->d.name.value_or("");
    out << std::string(2 * depth, ' ') << name << "  " << child->d.type_name << " " << child->sysid();
    if (const entity_ptr& contents = child->d.contents)
      out << "  -> " << contents->d.type_name << " " << quoted_name(*contents) << " " << contents->sysid();
    if (child->d.master)
      out << "  master " << quoted_name(*child->d.master) << " " << child->d.master->sysid();
    out << '\n';
    ++count;
    if (child->d.contents) count += list_positions(*child->d.contents, name, depth + 1, out);
  }
  return count;
}

symbol& exported(std::string_view name) {
  package& sdsim = require_package("SDSIM");
  symbol& s = intern(name, sdsim);
  export_symbol(s, sdsim);
  return s;
}

const builtins_registration listing_functions([] {
  // (sdsim:list-session): prints the model tree; answers the number of positions.
  defun(exported("LIST-SESSION"), [](args_t args) {
    check_argument_count("SDSIM:LIST-SESSION", args, 0, 0);
    std::ostream& out = standard_output();
    std::size_t count = list_positions(*session::current().root_contents(), "", 0, out);
    out << std::flush;
    return make_integer(static_cast<std::int64_t>(count));
  });
  // (sdsim:entities-with-sysid sysid): the entities in session that have it.
  defun(exported("ENTITIES-WITH-SYSID"), [](args_t args) {
    check_argument_count("SDSIM:ENTITIES-WITH-SYSID", args, 1, 1);
    std::vector<ref> out;
    for (const entity_ptr& e : session::current().find_by_sysid(as_string(args[0])))
      out.push_back(e->handle());
    return list_from(out);
  });
  // (sdsim:describe-entity e): type, name and sysid as text.
  defun(exported("DESCRIBE-ENTITY"), [](args_t args) {
    check_argument_count("SDSIM:DESCRIBE-ENTITY", args, 1, 1);
    return make_string(require_entity(args[0])->describe());
  });
});

}  // namespace
