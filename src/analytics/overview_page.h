// overview.html of a staging directory: the staging status for a person.
// Counts first, then one collapsed section per kind of problem in the order
// an administrator works them, each table sortable and filterable. One
// self-contained file (styles and script inline, nothing fetched), written
// as well-formed XHTML so that any XML tool can read it too.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "analytics/staging_status.h"
#include "analytics/status_json.h"

namespace vtm::analytics {

// The page, written as the status makes its entries; with the status's
// summary (status_summary_json) when that is made already.
void write_overview_html(std::ostream& out, const staging_status& status);
void write_overview_html(std::ostream& out, const staging_status& status, const status_document& summary);

// Replaces overview.html of dir (beside, then renamed over it).
void write_overview_page(const std::filesystem::path& dir, const staging_status& status);
void write_overview_page(const std::filesystem::path& dir, const staging_status& status,
                         const status_document& summary);

// A file: URL of an absolute path and a relative URL of a relative one,
// percent-encoded byte by byte so that any name makes a valid link.
std::string path_url(const std::string& path);

}  // namespace vtm::analytics
