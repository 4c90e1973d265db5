// Unit vtm_core_config: the module's identity, its home directory and the
// names of the files and directories below it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace vtm::core {

// The unit's top-level definitions, in the main package.
void define_vtm_core_config();

// The installation directory, in make-pathname's :directory form, as found
// from the pathname of the library being loaded: its own directory, then a
// "vt_migrator" directory beside it, then the directory two levels up; the
// first holding <resource_file>.lsp wins. NIL when none does.
host::lisp::ref find_home_directory(const host::lisp::ref& load_truename, std::string_view resource_file);

// The directories the last search looked in, as namestrings; empty when
// +HOME+ was bound before the module loaded.
const std::vector<std::string>& home_directories_searched();
// A sentence for errors about a missing home: where it was looked for.
std::string home_search_sentence();

}  // namespace vtm::core
