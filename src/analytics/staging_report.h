// report.htm of a staging directory: what the analytics found wrong, the
// top-level workplanes left out, every processed CAD file and the sysid
// repairs, as an XHTML page.
#pragma once

#include <filesystem>
#include <string>

#include "analytics/status_records.h"
#include "analytics/xhtml.h"
#include "host/lisp/object.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/change_records.h"
#include "records/component_records.h"

namespace vtm::analytics {

// Writes the report into the staging directory (replacing an older one, as
// it is written: no page is held whole) and returns its namestring. drawings is accepted for symmetry with
// the run and not used.
std::string make_staging_report(const std::filesystem::path& input, const std::filesystem::path& staging,
                                const records::cad_file_records& files,
                                const records::ami_drawing_records& drawings,
                                const records::component_records& components,
                                const records::change_records& changelog,
                                const migration_analytics& analytics);

// Write their part of the report's body when the collection has errors;
// false when it has none and nothing was written.
bool report_drawing_errors(xhtml_stream& out, const ami_drawing_analytics& drawing_analytics);
bool report_model_errors(xhtml_stream& out, const model_analytics& model_analytics,
                         const records::component_records& components);

}  // namespace vtm::analytics
