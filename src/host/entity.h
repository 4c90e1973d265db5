// Host entities and their system ids, as the native sysid setter needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/lisp/object.h"

// An id value. The host maps the pair to the sysid text it was created for;
// a text no id refers to any more is forgotten.
class ENTITYID {
 public:
  ENTITYID(unsigned high, unsigned low);
  ENTITYID(const ENTITYID& other);
  ENTITYID& operator=(const ENTITYID& other);
  ~ENTITYID();
  // Makes id the system id of the text.
  static void create_sysid(ENTITYID* id, const wchar_t* text);
  std::string text() const;  // the sysid text, empty for (0, 0)

 protected:
  std::uint32_t high_, low_;
};

// The public id an entity holds; the same storage as an ENTITYID. The
// placement operators come with the module library.
class ENTITYID_PUB : public ENTITYID {
 public:
  explicit ENTITYID_PUB(const ENTITYID& id);
  static void* operator new(std::size_t size, ENTITYID* storage);
  static void operator delete(void* p, ENTITYID* storage);
};
static_assert(sizeof(ENTITYID_PUB) == sizeof(ENTITYID));

// An entity of the host's model with its id and a change log for undo and
// change tracking. The session's entities (instances, contents, features)
// derive from it.
class SIMPLE_ENTITY {
 public:
  SIMPLE_ENTITY();
  virtual ~SIMPLE_ENTITY();
  // Announces a change about to be made to the entity (kind 1: its id).
  virtual void log_change(int kind);
  // Storage of the public id; nullptr for entities without one.
  ENTITYID* public_id_storage();
  std::string sysid() const;
  int change_count() const { return changes_; }

 protected:
  // The id itself, also for entities without public id.
  ENTITYID& stored_id() { return id_; }
  bool has_public_id_ = true;

 private:
  ENTITYID id_;
  int changes_ = 0;
};

struct ENTITY_STRUCT_DEF {
  const char* kind;  // the handle kind of entities in Lisp
};
extern const ENTITY_STRUCT_DEF entity_struct_def;

// The entity a Lisp value stands for; signals the host's type error when the
// value is no entity of that definition.
SIMPLE_ENTITY* object_to_ENTITY_ptr(const ENTITY_STRUCT_DEF& def, LAOBJ* object, void* reserved);
