// Entity ids of the simulated model. The entities themselves are the
// session's (sim/session/model.h).
//
// An ENTITYID is an index into one host-wide table of sysid texts; index 0
// is the empty text of an entity without an id. Equal texts share an index.
#include "host/entity.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/native.h"
#include "lisp/runtime.h"
#include "session/model.h"

namespace {

struct sysid_table {
  std::vector<std::string> texts{""};
  std::unordered_map<std::string, std::uint64_t> index{{"", 0}};
};

sysid_table& sysids() {
  static sysid_table table;
  return table;
}

}  // namespace

ENTITYID::ENTITYID(unsigned high, unsigned low) : high_(high), low_(low) {}
ENTITYID::~ENTITYID() = default;

void ENTITYID::create_sysid(ENTITYID* id, const wchar_t* text) {
  sysid_table& table = sysids();
  auto [it, added] = table.index.emplace(host::lisp::narrow(text), table.texts.size());
  if (added) table.texts.push_back(it->first);
  id->high_ = static_cast<std::uint32_t>(it->second >> 32);
  id->low_ = static_cast<std::uint32_t>(it->second);
}

std::string ENTITYID::text() const {
  std::uint64_t i = (std::uint64_t{high_} << 32) | low_;
  const sysid_table& table = sysids();
  return i < table.texts.size() ? table.texts[i] : std::string();
}

ENTITYID_PUB::ENTITYID_PUB(const ENTITYID& id) : ENTITYID(id) {}

SIMPLE_ENTITY::SIMPLE_ENTITY() : id_(0, 0) {}
SIMPLE_ENTITY::~SIMPLE_ENTITY() = default;

// Undo works on whole states (see the session's checkpoints); the log counts
// changes for change tracking.
void SIMPLE_ENTITY::log_change(int) { ++changes_; }

ENTITYID* SIMPLE_ENTITY::public_id_storage() { return has_public_id_ ? &id_ : nullptr; }

std::string SIMPLE_ENTITY::sysid() const { return id_.text(); }

const ENTITY_STRUCT_DEF entity_struct_def{"ENTITY"};

SIMPLE_ENTITY* object_to_ENTITY_ptr(const ENTITY_STRUCT_DEF& def, LAOBJ* object, void*) {
  return host::lisp::handle_target<SIMPLE_ENTITY>(host::lisp::ref(object), def.kind).get();
}

namespace {

using namespace host::lisp;

symbol& exported(std::string_view name, package& p) {
  symbol& s = intern(name, p);
  export_symbol(s, p);
  return s;
}

const builtins_registration entity_functions([] {
  package& sdsim = require_package("SDSIM");
  // (sdsim:make-entity sysid &key (public-id t)): a part contents outside the
  // session. Without a public id its sysid is fixed at creation and
  // SET-ENTITY-SYSID cannot change it.
  defun(exported("MAKE-ENTITY", sdsim), [](args_t args) {
    check_argument_count("SDSIM:MAKE-ENTITY", args, 1, 3);
    keyword_args keys("SDSIM:MAKE-ENTITY", args, 1, {"PUBLIC-ID"});
    sim::session::entity_ptr e = sim::session::make_contents("part_struct", as_string(args[0]));
    if (!truthy(keys.get("PUBLIC-ID", t()))) e->drop_public_id();
    return e->handle();
  });
  // (sdsim:entity-change-count entity): how many changes the entity logged.
  defun(exported("ENTITY-CHANGE-COUNT", sdsim), [](args_t args) {
    check_argument_count("SDSIM:ENTITY-CHANGE-COUNT", args, 1, 1);
    return make_integer(object_to_ENTITY_ptr(entity_struct_def, args[0].get(), nullptr)->change_count());
  });
});

}  // namespace
