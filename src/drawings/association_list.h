// The drawing association list: the output of the Drawing Associator, one
// or more lines per drawing. It only grows. Each drawing's id is forced to
// the file before the drawing is loaded, so a run that dies on a drawing
// leaves a pending line that the next run completes with "Fatal error!" and
// does not retry.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "drawings/extraction_list.h"
#include "host/lisp/object.h"

namespace vtm::drawings {

inline constexpr std::string_view association_list_header =
    "DRAWING_NAME,DRAWING_REV,VIEWSET_OWNER_NAME,VIEWSET_OWNER_REV,STATUS";

class association_list {
 public:
  // Reads what earlier runs wrote, then opens the file for appending (created
  // when missing) and writes the first text: the header for a new list, the
  // completion of a pending line, or an empty line.
  explicit association_list(const std::filesystem::path& file);
  ~association_list();
  association_list(const association_list&) = delete;
  association_list& operator=(const association_list&) = delete;

  // Drawings an earlier run listed, whatever their result.
  bool done(const std::string& drawing_id) const { return done_.contains(drawing_id); }
  std::size_t done_count() const { return done_.size(); }

  // Writes the drawing's id and forces it out: the line is pending.
  void begin_drawing(const std::string& drawing_id);
  // Writes an ending (from "," to the line end), after the drawing's id
  // again when no line is pending.
  void write_ending(std::string_view ending);
  void close();

 private:
  void write(std::string_view text);

  std::filesystem::path file_;
  std::FILE* out_ = nullptr;
  std::unordered_set<std::string> done_;
  std::string drawing_id_;
  bool pending_ = false;
};

// The endings of a drawing's lines.
std::string success_ending(const std::string& model_id);
std::string zpn_link_ending(const std::string& model_id);
std::string import_warnings_ending(const std::string& log_file);
std::string not_associated_ending();
// status: NIL for a missing file, else the host's error object.
std::string load_status_ending(const host::lisp::ref& status);
std::string multiple_owners_ending(const std::vector<std::string>& model_names);
std::string owners_not_found_ending(std::size_t not_found, std::size_t owners);

// What loading a drawing gave: its owners' sysids and the load status
// ("SUCCESS" when loaded, NIL when missing, else the error object).
struct drawing_owners {
  std::vector<std::string> sysids;
  host::lisp::ref status;
  bool loaded() const;
};

// Writes the lines of one loaded (or failed) drawing: its models found by
// owner sysid, the owners not found, and the metadata matches. The import
// log, when the load left one, is moved into log_directory first.
void write_drawing_associations(association_list& list, const extraction_maps& maps,
                                const extraction_record& drawing, const drawing_owners& owners, bool by_name,
                                bool by_partnumber, const std::filesystem::path& import_log,
                                const std::filesystem::path& log_directory);

// The name the import log of a drawing gets in the log directory: its
// FILE_TO_LOAD and ".log", with path separators replaced, so that the name
// cannot lead out of that directory.
std::string import_log_name(const extraction_record& drawing);

}  // namespace vtm::drawings
