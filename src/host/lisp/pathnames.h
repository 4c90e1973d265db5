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
std::string namestring(const ref& pathname_designator);     // pathname or string
std::string directory_namestring(const pathname_parts& p);  // "/a/b/"
std::string file_namestring(const pathname_parts& p);       // "c.txt"
// Splits a file name without slashes as the parser does: the type follows
// the last dot unless that dot starts the name (".lsp" has no type).
void split_file_name(std::string_view file_name, pathname_parts& into);
ref make_pathname(pathname_parts parts);
ref pathname(const ref& designator);  // pathname or string -> pathname
// Fills the parts missing in p from defaults.
pathname_parts merge_pathnames(const pathname_parts& p, const pathname_parts& defaults);
// The file a designator names, merged with *default-pathname-defaults*
// (empty at start, so relative names follow the process's working directory).
std::filesystem::path to_path(const ref& designator);

bool wild_p(const pathname_parts& p);
// (pathname-match-p p wild): a part missing from wild matches anything.
bool pathname_match_p(const pathname_parts& p, const pathname_parts& wild);
// (directory pattern): the existing files matching a possibly wild pathname,
// sorted by namestring; directories come as directory pathnames. A type
// missing from the pattern matches only files without type; :wild matches
// any type or none. Results are truenames; symbolic links below the first
// wild component are resolved but not descended by :wild-inferiors.
std::vector<ref> directory(const pathname_parts& pattern);
ref probe_file(const ref& designator);  // truename or NIL
// Universal time of the file's last modification; FILE-ERROR when missing.
std::int64_t file_write_date(const ref& designator);
ref rename_file(const ref& from, const ref& to);
bool delete_file(const ref& designator);
// Creates the directories of the pathname; true when any was created.
bool ensure_directories_exist(const ref& designator);

// Signals a FILE-ERROR "<what> \"<file>\": <cause of errno err>".
[[noreturn]] void file_error(std::string_view what, std::string_view file, int err);

}  // namespace host::lisp
