// The drawing association list: the output of the Drawing Associator, one
// or more lines per drawing. It only grows. Each drawing's id is forced to
// the file before the drawing is loaded, so a run that dies on a drawing
// leaves a pending line that the next run completes with "Fatal error!" and
// does not retry.
//
// The writer neither quotes nor escapes, so the list is read back as the
// records it holds rather than as lines: the host's printed error in a
// status may hold line breaks inside its strings.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/file_lock.h"
#include "drawings/extraction_list.h"
#include "host/lisp/object.h"

namespace vtm::drawings {

inline constexpr std::string_view association_list_header =
    "DRAWING_NAME,DRAWING_REV,VIEWSET_OWNER_NAME,VIEWSET_OWNER_REV,STATUS";

class association_list {
 public:
  // Takes the lock beside the file (FILE.lock), so that one run at a time
  // writes it, and reads what earlier runs wrote. Then opens the file for
  // appending (created when missing) and writes the first text: the header
  // for a new list (also one that holds only blanks), the completion of a
  // pending line, or an empty line. Signals an error naming the file when
  // its directory is missing, another process holds it, or it is not a
  // drawing association list.
  explicit association_list(const std::filesystem::path& file);
  ~association_list();
  association_list(const association_list&) = delete;
  association_list& operator=(const association_list&) = delete;

  // Drawings an earlier run listed, whatever their result.
  bool done(const std::string& drawing_id) const { return done_.contains(drawing_id); }
  std::size_t done_count() const { return done_.size(); }
  // Whether this run completed the pending line of a drawing the host died on.
  bool completed_fatal_error() const { return completed_fatal_error_; }

  // Writes the drawing's id and forces it out: the line is pending.
  void begin_drawing(const std::string& drawing_id);
  // Writes an ending (from "," to the line end), after the drawing's id
  // again when no line is pending.
  void write_ending(std::string_view ending);
  void close();

 private:
  void write(std::string_view text);

  std::filesystem::path file_;
  core::file_lock lock_;
  std::FILE* out_ = nullptr;
  std::unordered_set<std::string> done_;
  std::string drawing_id_;
  bool pending_ = false;
  bool completed_fatal_error_ = false;
};

inline constexpr std::string_view association_list_lock_suffix = ".lock";

// The endings of a drawing's lines.
std::string success_ending(const std::string& model_id);
std::string zpn_link_ending(const std::string& model_id);
std::string import_warnings_ending(const std::string& log_file);
std::string not_associated_ending();
// status: NIL for a missing file, else the host's error object.
std::string load_status_ending(const host::lisp::ref& status);
std::string multiple_owners_ending(const std::vector<std::string>& model_names);
std::string owners_not_found_ending(std::size_t not_found, std::size_t owners);
// The drawing's FILEPATH and FILE_TO_LOAD lead out of the extraction folder.
std::string outside_folder_ending(const extraction_record& drawing);

// What loading a drawing gave: its owners' sysids and the load status
// ("SUCCESS" when loaded, NIL when missing, else the error object).
struct drawing_owners {
  std::vector<std::string> sysids;
  host::lisp::ref status;
  bool loaded() const;
};

// Writes the lines of one loaded (or failed) drawing: its models found by
// owner sysid, the owners not found, and the metadata matches. The import
// log, when the load left one, is moved into log_directory first, under a
// name no other log there has.
void write_drawing_associations(association_list& list, const extraction_maps& maps,
                                const extraction_record& drawing, const drawing_owners& owners, bool by_name,
                                bool by_partnumber, const std::filesystem::path& import_log,
                                const std::filesystem::path& log_directory);

// The name the import log of a drawing gets in the log directory: its
// FILE_TO_LOAD and ".log", with path separators replaced, so that the name
// cannot lead out of that directory. Another drawing's log may have it
// already; the log then gets "-2", "-3" ... before its ".log".
std::string import_log_name(const extraction_record& drawing);

}  // namespace vtm::drawings
