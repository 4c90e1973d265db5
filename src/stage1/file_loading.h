// Loads one CAD file into the session with the loader its type calls for.
#pragma once

#include <filesystem>
#include <vector>

#include "host/lisp/object.h"
#include "records/file_records.h"

namespace vtm::stage1 {

// The loaders tried for a file, in order: by its type in lower case ("mi",
// "ami": MI; "pkg", "bdl", "sd", "sdp", "sda", "sdexp": SD; "xmit": ME30);
// a file without type tries MI, then SD, then ME30; any other type none.
std::vector<records::cad_load_method> loaders_for(const std::filesystem::path& file);

struct load_result {
  host::lisp::ref status;  // :OK, the host's error object, or NIL when no loader applies
  records::cad_load_method method = records::cad_load_method::none;  // the one tried last
};

// Tries the loaders until one succeeds and prints "File ~A loaded with
// method ~A~%". Failures never signal.
load_result load_any_file(const std::filesystem::path& file);

// Loads the record's file while the warning interceptor answers the host's
// warnings, and stores the outcome in its error-status and load-method.
void load_cadfile(records::cad_fileinfo& record);
// The same for the record of file, whose name the record may spell
// otherwise (see records/utf8_names.h).
void load_cadfile(records::cad_fileinfo& record, const std::filesystem::path& file);

}  // namespace vtm::stage1
