// The module's table of user-visible texts, keyed by resource keywords.
//
// The resource file fills it through REGISTER-MODULE-RESOURCE while the core
// unit loads; customization files may add to it or overwrite entries later.
// Nothing is ever removed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "host/lisp/object.h"

// Index into the key table: which resource key stands for a native part of
// the module.
enum RESOURCE_ID : std::uint32_t {
  RESOURCE_ID_NONE = 0,
  RESOURCE_ID_MODULE = 1,  // the module itself (LOADMODULE's entry)
};

class MODULE_RESOURCES {
 public:
  static MODULE_RESOURCES& instance();

  // Registers or replaces the text of key. For the host; the module itself
  // registers through REGISTER-MODULE-RESOURCE.
  void add_resource(LAOBJ* key, const wchar_t* text);
  // The registered text, or the default text when key is not registered.
  const std::wstring& operator[](LAOBJ* key) const;
  // The default text while no key is assigned to id, else the text of its key.
  const std::wstring& operator[](RESOURCE_ID id) const;
  // The key assigned to id; NIL while none is. For the host.
  LAOBJ* get_resource_key(RESOURCE_ID id) const;

 private:
  MODULE_RESOURCES();

  // REGISTER-MODULE-RESOURCE and GET-RESOURCE, defined by resources_initialize.
  friend void resources_initialize();
  static LAOBJ* register_module_resource(int count, LAOBJ** arguments);
  static LAOBJ* get_resource(int count, LAOBJ** arguments);

  // Keywords are unique objects, so identity is the right key equality.
  std::unordered_map<LAOBJ*, std::wstring> table_;
  std::array<LAOBJ*, 2> keys_;
  std::wstring default_text_;
};

// Defines REGISTER-MODULE-RESOURCE and GET-RESOURCE in the main package.
void resources_initialize();
// Native resource map set-up; the module has no native resources to map.
void resmap_initialize();
