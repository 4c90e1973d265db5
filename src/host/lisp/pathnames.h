// Pathnames and the file operations of the host's Lisp, on POSIX paths.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace host::lisp {

// "/a/b/name.type" -> (:absolute "a" "b"), "name", "type". A trailing slash
// means no name. "*" parts are wild; "**" directories are :wild-inferiors.
pathname_parts parse_namestring(std::string_view text);
std::string namestring(const pathname_parts& p);
std::string namestring(const ref& pathname_designator);  // pathname or string
ref make_pathname(pathname_parts parts);
ref pathname(const ref& designator);  // pathname or string -> pathname
// Fills the parts missing in p from defaults.
pathname_parts merge_pathnames(const pathname_parts& p, const pathname_parts& defaults);
std::filesystem::path to_path(const ref& designator);

bool wild_p(const pathname_parts& p);
// (directory pattern): the existing files matching a possibly wild pathname,
// sorted by namestring; directories come as directory pathnames.
std::vector<ref> directory(const pathname_parts& pattern);
ref probe_file(const ref& designator);  // truename or NIL
// Universal time of the file's last modification; FILE-ERROR when missing.
std::int64_t file_write_date(const ref& designator);
ref rename_file(const ref& from, const ref& to);
bool delete_file(const ref& designator);
// Creates the directories of the pathname; true when any was created.
bool ensure_directories_exist(const ref& designator);

}  // namespace host::lisp
