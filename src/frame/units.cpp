// Each entry first does what the unit's own package forms did in the
// original source: it works in its package, declares its use list, exports
// its public names and, for a dialog unit, publishes the dialog as a host
// command. Then it calls the definitions of its folder, for example
// vtm::core::define_vtm_core_config() for vtm_core_config. A unit that is not
// built yet stops after its package set-up; building it means adding one
// such call to its entry.
#include "frame/units.h"

#include <array>
#include <initializer_list>
#include <string_view>

#include "analytics/staging_outputs.h"
#include "analytics/status_records.h"
#include "analytics/xhtml.h"
#include "checkin/assisted_checkin_dia.h"
#include "checkin/batch_checkin.h"
#include "checkin/in_session_lisp.h"
#include "checkin/name_query.h"
#include "core/vtm.h"
#include "core/vtm_config.h"
#include "core/vtm_core.h"
#include "core/vtm_core_config.h"
#include "core/vtm_settings_dia.h"
#include "drawings/drawing_associator.h"
#include "drawings/warning_interceptor.h"
#include "frame/loadmodule.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/native.h"
#include "records/lisp_definitions.h"
#include "stage1/import_assembler_dia.h"

namespace vtm::frame {

namespace {

using namespace host::lisp;

constexpr std::array<unit_info, unit_count> unit_table = {{
    {L"vtm_doctools", L"vt_migrator/core/lsp/vtm_doctools"},
    {L"vtm_core_config", L"vt_migrator/core/lsp/vtm_core_config"},
    {L"vtm_core", L"vt_migrator/core/lsp/vtm_core"},
    {L"vtm_config", L"vt_migrator/lsp/vtm_config"},
    {L"vtm_settings_dia", L"vt_migrator/lsp/dialogs/vtm_settings_dia"},
    {L"vt_utils", L"vt_migrator/lsp/vt_utils"},
    {L"vt_model", L"vt_migrator/lsp/vt_model"},
    {L"vt_filerecords", L"vt_migrator/lsp/vt_filerecords"},
    {L"vt_recordmanager", L"vt_migrator/lsp/vt_recordmanager"},
    {L"vt_resolver", L"vt_migrator/lsp/vt_resolver"},
    {L"vt_analytics", L"vt_migrator/lsp/vt_analytics"},
    {L"vt_report", L"vt_migrator/lsp/vt_report"},
    {L"vt_xhtml", L"vt_migrator/lsp/vt_xhtml"},
    {L"vt_query", L"vt_migrator/lsp/vt_query"},
    {L"vt_in_session_records", L"vt_migrator/lsp/vt_in_session_records"},
    {L"DrawingAssociator", L"vt_migrator/lsp/dialogs/DrawingAssociator"},
    {L"MMImportAssembler", L"vt_migrator/lsp/dialogs/MMImportAssembler"},
    {L"MMAssistedCheckin", L"vt_migrator/lsp/dialogs/MMAssistedCheckin"},
    {L"vtm", L"vt_migrator/lsp/vtm"},
}};

// What the host's loader hands a unit. Closures that a unit's definitions
// make may refer to it, so it lives as long as the library.
struct unit_literals {
  char* data = nullptr;
  int size = 0;
  ref name;
};

unit_literals& literals(unit u) {
  static std::array<unit_literals, unit_count> all;
  return all[static_cast<int>(u)];
}

// Compiled units carry their literals in code: the host hands no literal
// data to bind, only the unit's name.
void begin_unit(unit u, char* data, int size, LAOBJ* name) { literals(u) = {data, size, ref(name)}; }

void in_package(package& p, std::initializer_list<std::string_view> uses) {
  set_symbol_value(cl_symbol("*PACKAGE*"), ref(&p));
  for (std::string_view used : uses) use_package(require_package(used), p);
}

package& main_package() { return as_package(ref(LOADMODULE::instance().get_main_package())); }

void in_main_package(std::initializer_list<std::string_view> uses) { in_package(main_package(), uses); }

void export_names(std::initializer_list<std::string_view> names) {
  package& p = current_package();
  for (std::string_view name : names) export_symbol(intern(name, p), p);
}

// Makes the dialog's name a host command: shadowing import into MEI, export
// from the main package, import into OLI and export from OLI, in this order.
void publish_dialog_command(std::string_view dialog) {
  package& main = main_package();
  package& oli = require_package("OLI");
  symbol& s = intern(dialog, main);
  shadowing_import(s, require_package("MEI"));
  export_symbol(s, main);
  import_symbol(s, oli);
  export_symbol(s, oli);
}

// The two use lists of the main package's units.
const std::initializer_list<std::string_view> lisp_oli = {"LISP", "OLI"};
const std::initializer_list<std::string_view> lisp_oli_doc_tools = {"LISP", "OLI", "SD-DOC-TOOLS"};

}  // namespace

const unit_info& info(unit u) { return unit_table[static_cast<int>(u)]; }

int load_unit(unit u) { return hcl_load_and_compile_lisp(info(u).path, L"vt_migrator/l", false, true); }

}  // namespace vtm::frame

using vtm::frame::unit;
using namespace vtm::frame;

extern "C" {

void vtm_doctools_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vtm_doctools, data, size, name);
  in_package(host::lisp::require_package("SD-DOC-TOOLS"), {"LISP"});
  export_names({"~~~DIALOG", "~~~FEAT", "~~~FUN", "~~~PKG", "~~~STRUCT", "~~~TYPE", "~~~VAR", "~~~CLASS"});
}

void vtm_core_config_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vtm_core_config, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  export_names({"+MODULE-ID+", "*USER-INTERFACE-INTEGRATION*"});
  vtm::core::define_vtm_core_config();
}

void vtm_core_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vtm_core, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  export_names(
      {"LOAD-MODULE-CUSTOMIZATION", "DISPLAY-MODULE-HELP", "ABOUT-MODULE", "GET-AVAILABLE-COMMANDS"});
  vtm::core::define_vtm_core();
}

void vtm_config_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vtm_config, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::core::define_vtm_config();
}

void vtm_settings_dia_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vtm_settings_dia, data, size, name);
  in_main_package(lisp_oli);
  publish_dialog_command("VTM_SETTINGS");
  vtm::core::define_vtm_settings_dia();
}

void vt_utils_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_utils, data, size, name);
  in_main_package(lisp_oli_doc_tools);
}

// The record units export their record names together with their
// definitions.
void vt_model_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_model, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::records::define_vt_model();
}

void vt_filerecords_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_filerecords, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::records::define_vt_filerecords();
}

void vt_recordmanager_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_recordmanager, data, size, name);
  in_main_package(lisp_oli_doc_tools);
}

void vt_resolver_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_resolver, data, size, name);
  in_main_package(lisp_oli_doc_tools);
}

void vt_analytics_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_analytics, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::analytics::define_vt_analytics();
  vtm::analytics::define_staging_status();
  export_names({"STAGING-STATUS"});
}

void vt_report_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_report, data, size, name);
  in_main_package(lisp_oli_doc_tools);
}

void vt_xhtml_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_xhtml, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::analytics::define_vt_xhtml();
}

void vt_query_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_query, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::checkin::define_vt_query();
}

void vt_in_session_records_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vt_in_session_records, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  vtm::checkin::define_vt_in_session_records();
}

void DrawingAssociator_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::DrawingAssociator, data, size, name);
  in_main_package(lisp_oli);
  publish_dialog_command("VANTREL_DRAWING_ASSOCIATOR");
  vtm::drawings::define_warning_interceptor();
  vtm::drawings::define_drawing_associator();
}

void MMImportAssembler_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::MMImportAssembler, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  publish_dialog_command("VANTREL_MM_IMPORT_ASSEMBLER");
  vtm::stage1::define_import_assembler();
}

void MMAssistedCheckin_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::MMAssistedCheckin, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  publish_dialog_command("VANTREL_MM_ASSISTED_CHECKIN");
  export_names({"BATCH-CHECK-IN"});
  vtm::checkin::define_assisted_checkin();
  vtm::checkin::define_batch_check_in();
}

void vtm_initialize(char* data, int size, LAOBJ* name) {
  begin_unit(unit::vtm, data, size, name);
  in_main_package(lisp_oli_doc_tools);
  export_names({"ACTIVATE-MODULE", "DEACTIVATE-MODULE", "MODULE-ACTIVE-P"});
  vtm::core::define_vtm();
}

}  // extern "C"
