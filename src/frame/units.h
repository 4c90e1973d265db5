// The module's nineteen units: their table, their loading, and their
// exported initialisation entries.
//
// A unit is loaded with hcl_load_and_compile_lisp(path, "vt_migrator/l",
// false, true); the host finds the unit's entry <name>_initialize by name and
// calls it. The entry keeps its literal data, sets up its package (in-package,
// use list, exports, publication of a dialog command) and then runs the
// unit's definitions, which live in the folder that owns the unit.
#pragma once

#include "host/lisp/object.h"

namespace vtm::frame {

enum class unit {
  vtm_doctools,
  vtm_core_config,
  vtm_core,
  vtm_config,
  vtm_settings_dia,
  vt_utils,
  vt_model,
  vt_filerecords,
  vt_recordmanager,
  vt_resolver,
  vt_analytics,
  vt_report,
  vt_xhtml,
  vt_query,
  vt_in_session_records,
  DrawingAssociator,
  MMImportAssembler,
  MMAssistedCheckin,
  vtm,
};
constexpr int unit_count = 19;

struct unit_info {
  const wchar_t* name;
  const wchar_t* path;  // the unit path the host loads it by
};
const unit_info& info(unit u);

// Has the host load the unit; returns the host's result (1).
int load_unit(unit u);

}  // namespace vtm::frame

// One initialisation entry per unit, looked up by the host by name.
extern "C" {
void vtm_doctools_initialize(char* data, int size, LAOBJ* unit);
void vtm_core_config_initialize(char* data, int size, LAOBJ* unit);
void vtm_core_initialize(char* data, int size, LAOBJ* unit);
void vtm_config_initialize(char* data, int size, LAOBJ* unit);
void vtm_settings_dia_initialize(char* data, int size, LAOBJ* unit);
void vt_utils_initialize(char* data, int size, LAOBJ* unit);
void vt_model_initialize(char* data, int size, LAOBJ* unit);
void vt_filerecords_initialize(char* data, int size, LAOBJ* unit);
void vt_recordmanager_initialize(char* data, int size, LAOBJ* unit);
void vt_resolver_initialize(char* data, int size, LAOBJ* unit);
void vt_analytics_initialize(char* data, int size, LAOBJ* unit);
void vt_report_initialize(char* data, int size, LAOBJ* unit);
void vt_xhtml_initialize(char* data, int size, LAOBJ* unit);
void vt_query_initialize(char* data, int size, LAOBJ* unit);
void vt_in_session_records_initialize(char* data, int size, LAOBJ* unit);
void DrawingAssociator_initialize(char* data, int size, LAOBJ* unit);
void MMImportAssembler_initialize(char* data, int size, LAOBJ* unit);
void MMAssistedCheckin_initialize(char* data, int size, LAOBJ* unit);
void vtm_initialize(char* data, int size, LAOBJ* unit);
}
