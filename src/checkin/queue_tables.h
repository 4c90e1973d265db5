// The Import Queue and Annotation Drawings tables of the assisted check-in:
// the staged models to choose from and the queued drawings of the model
// checked in. Applying a row sends its staged path to the dialog.
#pragma once

#include <string>
#include <vector>

#include "checkin/check_in_context.h"

namespace vtm::checkin {

inline constexpr const char* model_queue_table = "VANTREL-MODEL-QUEUE";
inline constexpr const char* model_queue_view = "VANTREL-MODEL-QUEUE-VIEW";
inline constexpr const char* drawing_queue_table = "VANTREL-DRAWING-QUEUE";
inline constexpr const char* drawing_queue_view = "VANTREL-DRAWING-QUEUE-VIEW";

// Creates both tables and their displays (once per host session).
void define_queue_tables();

void set_model_table(const check_in_context& context);
void update_model_status(const analytics::model_status& status, const std::string& value);
// Drawings that are null (not queued) get no row.
void set_drawing_table(const std::vector<drawing_status_ptr>& drawings);
void update_drawing_status(const std::string& key, const std::string& value);
void remove_drawing_from_table(const std::string& key);
void show_model_table();
void hide_model_table();
void show_drawing_table();
void hide_drawing_table();

}  // namespace vtm::checkin
