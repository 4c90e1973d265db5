// Stages the drawing in session after a CAD file was loaded: an Annotation
// drawing whose views have 3D owners goes to drawings.ami and is recorded
// with its owners' sysids; a plain drawing goes to drawings.mi.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "records/ami_drawing_records.h"
#include "records/file_records.h"

namespace vtm::stage1 {

// The sysids of the drawing's 3D owners, each once, in drawing order.
std::vector<std::string> drawing_owner_sysids();

// text usable as part of a file name of one directory: path separators and
// ".." are replaced, so the name cannot reach outside the directory.
std::string file_name_part(std::string_view text);

// Stages the session's drawing numbered dno, loaded from source_file (the file of
// record, which names it as records/utf8_names.h says), into the staging
// directory and answers the staged file. An MI
// load is copied unchanged, anything else stored from the session. A
// staged file of the same name that `claimed` holds (staged drawings of
// complete files, relative to the staging directory) is kept, and the new
// one gets "-" and a unique text after its name; one that no complete file
// claims is what an interrupted attempt at this file left, and is replaced.
std::filesystem::path stage_drawing(const std::string& dno, const records::cad_fileinfo& record,
                                    const std::filesystem::path& input, const std::filesystem::path& staging,
                                    records::ami_drawing_records& drawings,
                                    const std::unordered_set<std::string>& claimed,
                                    const std::filesystem::path& source_file);

}  // namespace vtm::stage1
