// The module library's frame: its registration with the host's module
// manager while the library is mapped, and the entries the host calls later.
//
// Mapping the library registers the module and makes no Lisp call. The host
// then calls init_load_init once: it creates the packages, defines the native
// functions and has the host load the nineteen units (units.h) in order.
#pragma once

#include <cstdint>

#include "frame/module_resources.h"
#include "host/module_manager.h"
#include "host/native.h"

class LOADMODULE {
 public:
  // Created on the first call, which happens while the library is mapped.
  static LOADMODULE& instance();
  LOADMODULE(const LOADMODULE&) = delete;
  LOADMODULE& operator=(const LOADMODULE&) = delete;

  // The package "VANTREL-MIGRATOR"; set by core_initialize, so natives that
  // define or look up symbols run only after it.
  LAOBJ* get_main_package() const { return main_package_; }
  void set_main_package(LAOBJ* package) { main_package_ = package; }

 private:
  LOADMODULE();

  // Callbacks handed to the module manager.
  static const wchar_t* inq_id();
  static const wchar_t* inq_msg();
  [[noreturn]] static void throw_error(MOD_INFO* info);

  RESOURCE_ID resource_id_;
  MOD_INFO* module_info_;
  LAOBJ* main_package_ = nullptr;
  MODULE_RESOURCES* resources_;
};

extern LOADMODULE& sModule;

// Ties the library to a host executable that exports ThisIsModeling.
class ENFORCE_CORRECT_MAIN_EXECUTABLE {
 public:
  ENFORCE_CORRECT_MAIN_EXECUTABLE();

 private:
  int flavour_;
};

extern ENFORCE_CORRECT_MAIN_EXECUTABLE EnforceFlavour;

// The host's initialisation call: loads everything on the first call and
// returns the result of loading the last unit; later calls only count and
// return the new count.
extern "C" int init_load_init();

// Sets the main package, creates SD-DOC-TOOLS unless another module did and
// loads the core units.
void core_initialize(LAOBJ* package);
// Defines the manifest and the resource functions, loads vtm_core_config.
void config_initialize();
// Reloads the customization and the persisted settings when the module
// defines LOAD-MODULE-CUSTOMIZATION; for the host.
void load_customization();

// Defines GET-MODULE-MANIFEST in the main package (manifest.cpp).
void manifest_initialize();

// A host cons cell holding the two values.
LCONS* make_cons(LAOBJ* car, LAOBJ* cdr);
// Signals the host's error with a format control and one argument.
[[noreturn]] void FEerror(const wchar_t* format, LAOBJ* const& argument);
