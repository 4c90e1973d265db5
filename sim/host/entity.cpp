// Entity ids of the simulated model. The entities themselves are the
// session's (sim/session/model.h).
//
// An ENTITYID is an index into one host-wide table of sysid texts; index 0
// is the empty text of an entity without an id. Equal texts share an index,
// and an index is free again when no id refers to it.
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

// Texts are counted by the ids that refer to them, so that a long run that
// makes and drops millions of entities keeps only the texts in use.
class sysid_table {
 public:
  std::uint64_t intern(const std::string& text) {
    if (text.empty()) return 0;
    auto [it, added] = index_.emplace(text, 0);
    if (added) {
      if (free_.empty()) {
        it->second = entries_.size();
        entries_.push_back({text, 0});
      } else {
        it->second = free_.back();
        free_.pop_back();
        entries_[it->second] = {text, 0};
      }
    }
    ++entries_[it->second].refs;
    return it->second;
  }
  // Ids made from raw values count only when they name a text in use.
  void retain(std::uint64_t i) {
    if (in_use(i)) ++entries_[i].refs;
  }
  void release(std::uint64_t i) {
    if (!in_use(i) || --entries_[i].refs) return;
    index_.erase(entries_[i].text);
    entries_[i].text.clear();
    free_.push_back(i);
  }
  std::string text(std::uint64_t i) const { return in_use(i) ? entries_[i].text : std::string(); }
  std::size_t size() const { return index_.size(); }

 private:
  struct entry {
    std::string text;
    std::uint64_t refs;
  };
  bool in_use(std::uint64_t i) const { return i != 0 && i < entries_.size() && entries_[i].refs > 0; }

  std::vector<entry> entries_{{"", 0}};
  std::vector<std::uint64_t> free_;
  std::unordered_map<std::string, std::uint64_t> index_;
};

// Never destroyed: ids in static objects outlive every other static.
sysid_table& sysids() {
  static sysid_table* table = new sysid_table();
  return *table;
}

std::uint64_t index_of(std::uint32_t high, std::uint32_t low) { return (std::uint64_t{high} << 32) | low; }

}  // namespace

ENTITYID::ENTITYID(unsigned high, unsigned low) : high_(high), low_(low) {
  sysids().retain(index_of(high_, low_));
}

ENTITYID::ENTITYID(const ENTITYID& other) : high_(other.high_), low_(other.low_) {
  sysids().retain(index_of(high_, low_));
}

ENTITYID& ENTITYID::operator=(const ENTITYID& other) {
  sysids().retain(index_of(other.high_, other.low_));
  sysids().release(index_of(high_, low_));
  high_ = other.high_;
  low_ = other.low_;
  return *this;
}

ENTITYID::~ENTITYID() { sysids().release(index_of(high_, low_)); }

void ENTITYID::create_sysid(ENTITYID* id, const wchar_t* text) {
  sysid_table& table = sysids();
  std::uint64_t i = table.intern(host::lisp::narrow(text));
  table.release(index_of(id->high_, id->low_));
  id->high_ = static_cast<std::uint32_t>(i >> 32);
  id->low_ = static_cast<std::uint32_t>(i);
}

std::string ENTITYID::text() const { return sysids().text(index_of(high_, low_)); }

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
  // (sdsim:sysid-text-count): how many sysid texts ids refer to now.
  defun(exported("SYSID-TEXT-COUNT", sdsim), [](args_t args) {
    check_argument_count("SDSIM:SYSID-TEXT-COUNT", args, 0, 0);
    return make_integer(static_cast<std::int64_t>(sysids().size()));
  });
  // (sdsim:entity-change-count entity): how many changes the entity logged.
  defun(exported("ENTITY-CHANGE-COUNT", sdsim), [](args_t args) {
    check_argument_count("SDSIM:ENTITY-CHANGE-COUNT", args, 1, 1);
    return make_integer(object_to_ENTITY_ptr(entity_struct_def, args[0].get(), nullptr)->change_count());
  });
});

}  // namespace
