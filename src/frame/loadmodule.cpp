#include "frame/loadmodule.h"

#include "frame/sysid.h"
#include "frame/units.h"
#include "host/lisp/object.h"

using vtm::frame::unit;

LOADMODULE& LOADMODULE::instance() {
  static LOADMODULE module;
  return module;
}

LOADMODULE::LOADMODULE()
    : resource_id_(RESOURCE_ID_MODULE),
      module_info_(dsm_module_manager.add_module(L"VT_MIGRATOR", L"1.1.1", throw_error, inq_msg, inq_id)),
      resources_(&MODULE_RESOURCES::instance()) {}

const wchar_t* LOADMODULE::inq_id() {
  // The host reads the text before calling again.
  static std::wstring name;
  const LOADMODULE& self = instance();
  name = host::lisp::widen(
      static_cast<host::lisp::symbol*>(self.resources_->get_resource_key(self.resource_id_))->name);
  return name.c_str();
}

const wchar_t* LOADMODULE::inq_msg() {
  const LOADMODULE& self = instance();
  return (*self.resources_)[self.resource_id_].c_str();
}

void LOADMODULE::throw_error(MOD_INFO* info) { throw SD_EXCEPTION(info); }

// Static initialisation while the library is mapped, in this order:
// registration, thread notifications, the host executable check.
LOADMODULE& sModule = LOADMODULE::instance();
static DISABLE_THREAD_NOTIFICATIONS thread_notifications("vt_migrator_module");
ENFORCE_CORRECT_MAIN_EXECUTABLE EnforceFlavour;

ENFORCE_CORRECT_MAIN_EXECUTABLE::ENFORCE_CORRECT_MAIN_EXECUTABLE() : flavour_(ThisIsModeling()) {}

namespace {
std::uint32_t load_count = 0;
LAOBJ* doc_tools_package = nullptr;
}  // namespace

extern "C" int init_load_init() {
  if (load_count != 0) return static_cast<int>(++load_count);
  LAOBJ* package =
      make_package(L"VANTREL-MIGRATOR", string_to_object(L"(\"VTM\")"), hcl_default_uselist(), 0, 0, false);
  core_initialize(package);
  vtm::frame::load_unit(unit::vtm_config);
  vtm::frame::load_unit(unit::vtm_settings_dia);
  sysid_lisp_initialize();
  for (unit u :
       {unit::vt_utils, unit::vt_model, unit::vt_filerecords, unit::vt_recordmanager, unit::vt_resolver,
        unit::vt_analytics, unit::vt_report, unit::vt_xhtml, unit::vt_query, unit::vt_in_session_records,
        unit::DrawingAssociator, unit::MMImportAssembler, unit::MMAssistedCheckin})
    vtm::frame::load_unit(u);
  int result = vtm::frame::load_unit(unit::vtm);
  load_count = 1;
  return result;
}

void core_initialize(LAOBJ* package) {
  sModule.set_main_package(package);
  doc_tools_package = find_package(L"SD-DOC-TOOLS");
  if (host::lisp::is_nil(doc_tools_package)) {
    doc_tools_package =
        make_package(L"SD-DOC-TOOLS", string_to_object(L"(\"SDDT\")"), hcl_default_uselist(), 0, 0, false);
    vtm::frame::load_unit(unit::vtm_doctools);
  }
  config_initialize();
  vtm::frame::load_unit(unit::vtm_core);
}

void config_initialize() {
  manifest_initialize();
  resources_initialize();
  vtm::frame::load_unit(unit::vtm_core_config);
}

void load_customization() {
  LAOBJ* symbol = find_symbol(L"LOAD-MODULE-CUSTOMIZATION", sModule.get_main_package());
  if (symbol) ifuncall1(symbol, host::lisp::t().get());
}

LCONS* make_cons(LAOBJ* car, LAOBJ* cdr) {
  return static_cast<LCONS*>(host::lisp::autorelease(host::lisp::cons(car, cdr)));
}

void FEerror(const wchar_t* format, LAOBJ* const& argument) { FEerror(format, 1, argument); }
