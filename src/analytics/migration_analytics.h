// Classifies what a staging run produced: one status per staged top-level
// model and per staged Annotation drawing, saved in analytics.lsp, shown in
// the report and updated by the check-in.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <unordered_set>

#include "analytics/status_records.h"
#include "records/ami_drawing_records.h"
#include "records/change_records.h"
#include "records/component_records.h"

namespace vtm::analytics {

// Prints every status: ready for check-in, then warnings, then errors.
template <class S>
void save_record_analytics(const status_collection<S>& c, std::ostream& outstream);

// Builds both collections (and the report's top-level workplanes) from one
// reading of the component records, lists with each model the drawings that
// belong to it, and writes analytics.lsp of dir anew. The models for which
// unsaved is true could not be saved: they are tagged :SAVE-FAILED, an
// error. A model or drawing that the check-in has tagged in the analytics
// file keeps those tags while it is staged as before.
migration_analytics make_migration_analytics(const std::filesystem::path& dir,
                                             const records::ami_drawing_records& drawings,
                                             const records::component_records& components,
                                             const records::change_records& changelog,
                                             const std::function<bool(const model_status&)>& unsaved = {});

// The collections as analytics.lsp of dir holds them (a later status of a key
// replaces an earlier one in its category); nothing when there is no file.
std::optional<migration_analytics> load_migration_analytics(const std::filesystem::path& dir);

}  // namespace vtm::analytics
