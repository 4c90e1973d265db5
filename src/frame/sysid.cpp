#include "frame/sysid.h"

#include <new>
#include <string>

#include "frame/loadmodule.h"
#include "host/lisp/errors.h"

namespace {

LAOBJ* sysid_keyword = nullptr;

void write_sysid(SIMPLE_ENTITY& entity, const std::wstring& sysid) {
  ENTITYID* storage = entity.public_id_storage();
  ENTITYIDTMP id(0, 0);
  ENTITYID::create_sysid(id.get(), sysid.c_str());
  if (storage) new (storage) ENTITYID_PUB(*id.get());
}

// (set-entity-sysid entity :sysid text): T when the id was set, NIL for a
// NIL text, which leaves the entity untouched.
LAOBJ* set_entity_sysid_native(int count, LAOBJ** arguments) {
  if (count != 3) host::lisp::argument_count_error("SET-ENTITY-SYSID", count, 3, 3);
  SIMPLE_ENTITY* entity = object_to_ENTITY_ptr(entity_struct_def, arguments[0], nullptr);
  LAOBJ* text = parse_key(arguments + 1, false, false, sysid_keyword);
  if (host::lisp::is_nil(text)) return host::lisp::nil().get();
  // Recorded first, so that undo and change tracking see the change even
  // when the text turns out not to be a string.
  entity->log_change(1);
  write_sysid(*entity, object_to_string(text));
  return host::lisp::t().get();
}

}  // namespace

void set_entity_sysid(LAOBJ* entity, const std::wstring& text) {
  SIMPLE_ENTITY* e = object_to_ENTITY_ptr(entity_struct_def, entity, nullptr);
  e->log_change(1);
  write_sysid(*e, text);
}

ENTITYIDTMP::ENTITYIDTMP(std::uint32_t high, std::uint32_t low) : id_(high, low) {}
ENTITYIDTMP::~ENTITYIDTMP() = default;

void* ENTITYID_PUB::operator new(std::size_t, ENTITYID* storage) { return storage; }
void ENTITYID_PUB::operator delete(void*, ENTITYID*) {}

LAOBJ* parse_key(LAOBJ** arguments, bool, bool allow_other_keys, LAOBJ* const& key) {
  LAOBJ* value = nullptr;
  parse_key(arguments, 2, &key, 1, &value, allow_other_keys);
  return value;
}

void sysid_lisp_initialize() {
  sysid_keyword = make_keyword(L"SYSID");
  make_package_function(L"SET-ENTITY-SYSID", set_entity_sysid_native,
                        LOADMODULE::instance().get_main_package(), 1);
}
