// SET-ENTITY-SYSID: gives a host entity a chosen system id, which the host's
// Lisp functions cannot do. Staged components get their recorded sysid back
// through it when they are loaded again.
#pragma once

#include <cstdint>
#include <string>

#include "host/entity.h"
#include "host/native.h"

// One host ENTITYID for the extent of a scope.
class ENTITYIDTMP {
 public:
  ENTITYIDTMP(std::uint32_t high, std::uint32_t low);
  ~ENTITYIDTMP();
  ENTITYIDTMP(const ENTITYIDTMP&) = delete;
  ENTITYIDTMP& operator=(const ENTITYIDTMP&) = delete;
  ENTITYID* get() { return &id_; }

 private:
  ENTITYID id_;
};

// Creates the :SYSID keyword and defines SET-ENTITY-SYSID in the main package.
void sysid_lisp_initialize();

// What SET-ENTITY-SYSID does, for C++ callers: makes text the sysid of the
// host entity; the host's type error for a value that is no entity.
void set_entity_sysid(LAOBJ* entity, const std::wstring& text);

// The value of the one allowed keyword `key` among the key/value pair at
// arguments; the host's errors for any other keyword. The first flag is kept
// for the host's calling convention.
LAOBJ* parse_key(LAOBJ** arguments, bool, bool allow_other_keys, LAOBJ* const& key);
