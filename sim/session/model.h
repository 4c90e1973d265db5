// The simulated host's CAD session: entities (instances, contents and
// features) and the session that holds the model tree.
//
// Every entity is a SIMPLE_ENTITY whose sysid lives in its id, so the
// module's SET-ENTITY-SYSID and the session agree on it. An entity has one
// Lisp handle at a time and keeps it while anyone holds it, so handles
// compare with eq for the life of the entity. Instances are not shared: each
// lives in the children of one contents (its parent); contents are shared by
// the instances that use them. Checkpoints restore entity_data in place, so
// entities and their handles survive undo.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/entity.h"
#include "host/lisp/object.h"
#include "session/entity_types.h"

namespace sim::session {

class entity;
using entity_ptr = std::shared_ptr<entity>;
using weak_entity = std::weak_ptr<entity>;

enum class entity_kind { instance, contents, feature };
enum class lav_role { none, version, original };

struct attribute {
  std::string name;
  host::lisp::ref values;  // a property list
};

struct feature_member {
  weak_entity member;
  std::vector<weak_entity> context;  // instances from a top-level model down
};

// Everything about an entity that a checkpoint restores, apart from its id.
struct entity_data {
  std::string type_name;
  std::optional<std::string> name;
  std::optional<std::string> filename;
  double timestamp = 0;
  std::optional<std::string> symbolic_version, symbolic_name;
  bool modifiable = true;
  bool modified = false;
  host::lisp::ref db_flags;
  std::vector<attribute> attributes;
  std::vector<entity_ptr> features;

  // Instances.
  entity_ptr contents;
  weak_entity parent;  // the contents whose children hold the instance
  entity_ptr master;   // layouts: the contents they show
  bool simplification = false;

  // Contents.
  std::vector<entity_ptr> children;  // instances, in order
  std::vector<weak_entity> users;    // instances that use it as contents or master
  bool real = false;
  bool library = false;
  bool inseparable = false;
  lav_role lav = lav_role::none;
  weak_entity original;  // versions: their original
  std::optional<std::string> lav_group;
  host::lisp::ref check_result;            // the part check's entries
  std::optional<std::string> check_error;  // the part check fails with this

  // Features.
  weak_entity owner;
  bool universal = false;
  host::lisp::ref properties;
  std::vector<feature_member> members;
};

class entity : public SIMPLE_ENTITY, public std::enable_shared_from_this<entity> {
 public:
  entity(entity_kind kind, std::string type_name);
  ~entity() override;
  entity(const entity&) = delete;
  entity& operator=(const entity&) = delete;

  entity_kind kind() const { return kind_; }
  bool is_instance() const { return kind_ == entity_kind::instance; }
  bool is_contents() const { return kind_ == entity_kind::contents; }
  bool is_feature() const { return kind_ == entity_kind::feature; }

  // The Lisp handle of this entity (the same object while anyone holds it).
  host::lisp::ref handle();
  void set_sysid(std::string_view sysid);
  ENTITYID id() { return stored_id(); }
  void restore_id(const ENTITYID& id);
  // Entities made from the console without a public id.
  void drop_public_id() { has_public_id_ = false; }
  void log_change(int kind) override;

  // For messages: type, name and sysid.
  std::string describe() const;

  entity_data d;

 private:
  friend struct entity_handle;
  friend class session;
  entity_kind kind_;
  LAOBJ* handle_ = nullptr;    // owned by Lisp; cleared when it dies
  std::string indexed_sysid_;  // the sysid the session's index knows
};

// New entities, not yet in session; an empty sysid gets a fresh one.
entity_ptr make_instance(std::string type_name, std::string name, std::string_view sysid);
entity_ptr make_contents(std::string type_name, std::string_view sysid);
entity_ptr make_feature(std::string name);

// The entity a Lisp value stands for: an entity handle, or the item of a
// model path. nullptr for anything else.
entity_ptr entity_of(const host::lisp::ref& value);
// As entity_of, signalling the host's type error for anything else.
entity_ptr require_entity(const host::lisp::ref& value);
entity_ptr require_instance(const host::lisp::ref& value);
// A contents, or the contents of an instance or model path.
entity_ptr require_contents(const host::lisp::ref& value);

// Structure edits that keep parents and users consistent.
void set_contents(const entity_ptr& instance, const entity_ptr& contents);
void set_master(const entity_ptr& layout, const entity_ptr& master);
void add_child(const entity_ptr& contents, const entity_ptr& instance);
// Takes the instance out of its parent's children; it leaves the session.
void remove_child(const entity_ptr& instance);

class session {
 public:
  static session& current();

  const entity_ptr& root() const { return root_; }
  const entity_ptr& root_contents() const { return root_->d.contents; }
  const std::vector<entity_ptr>& top_level() const { return root_contents()->d.children; }

  // Whether the entity can be reached from the root now.
  bool in_session(const entity& e) const;
  // The entities in session with that sysid.
  std::vector<entity_ptr> find_by_sysid(const std::string& sysid);
  // A sysid no entity alive has; random with 128 bits, so no other call of
  // this run or any other returns it.
  std::string fresh_sysid();
  // Whether any entity alive, in session or not, has the sysid.
  bool sysid_taken(const std::string& sysid);
  // Adds top-level models, renaming those whose name is taken at the top.
  void add_top_level(const std::vector<entity_ptr>& instances);

  // Every entity reachable from the root (root included), each once.
  std::vector<entity_ptr> reachable() const;
  // Every entity alive, in session or not.
  std::vector<entity_ptr> alive() const;

  // Bookkeeping of entities; called by entity itself.
  void enlist(entity* e);
  void forget(entity* e);
  void mark_sysid_changed(entity* e);

 private:
  session();
  void reindex();
  void index(entity* e);

  entity_ptr root_;
  struct registry;
  std::unique_ptr<registry> registry_;
};

// Sibling names are unique: a name is given as it is when free among the
// siblings, else as name_2, name_3, ...
class sibling_names {
 public:
  explicit sibling_names(const std::vector<entity_ptr>& siblings);
  // The name to give the next sibling that asks for `name`; it is taken then.
  std::string claim(const std::string& name);

 private:
  std::unordered_set<std::string> taken_;
  std::unordered_map<std::string, int> next_suffix_;
};

// Whether a sibling other than `except` has the name.
bool sibling_has_name(const std::vector<entity_ptr>& siblings, std::string_view name, const entity* except);

}  // namespace sim::session
