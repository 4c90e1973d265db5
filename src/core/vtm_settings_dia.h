// Unit vtm_settings_dia: the module's settings, the dialog VTM_SETTINGS
// that edits them and the record that keeps the user's overrides in the
// host's persistent data store.
//
// A setting maps a dialog variable to a global setting variable. The map
// holds no setting now; adding one means adding an entry and its dialog
// variable.
#pragma once

#include <string>
#include <vector>

#include "host/dialogs.h"
#include "host/lisp/object.h"

namespace vtm::core {

struct setting_map_entry {
  std::string dialog_var;                // keyword name; also the key in the persisted record
  std::string setting_var;               // symbol name in the main package
  host::lisp::ref to_setting_var;        // function applied to the value, or NIL
  host::dialogs::variable_def variable;  // the dialog variable that edits it
};

const std::vector<setting_map_entry>& variable_map();
// The first entry for the dialog variable, or nullptr.
const setting_map_entry* find_var_map(std::string_view dialog_var);
// The setting variables of the map, in map order.
host::lisp::ref module_settings();
// Applies the persisted record to the setting variables; T.
host::lisp::ref load_persisted_module_settings();

// The unit's top-level definitions.
void define_vtm_settings_dia();

}  // namespace vtm::core
