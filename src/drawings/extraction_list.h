// The master extraction list of an extraction folder: one record per line,
// and the lookup tables from instance sysids and metadata to the model
// records that the association run uses.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vtm::drawings {

inline constexpr std::string_view item_type = "TYPE";
inline constexpr std::string_view item_name = "NAME";
inline constexpr std::string_view filename = "FILE_TO_LOAD";
inline constexpr std::string_view file_path = "FILEPATH";
inline constexpr std::string_view revision = "REVISION";
inline constexpr std::string_view partnumber = "PART_NUMBER";
inline constexpr std::string_view drawing_type = "ME Drawing";
inline constexpr std::string_view part_type = "ME Component CAD Model";
inline constexpr std::string_view assembly_type = "ME Assembly CAD Model";

// One data line: its fields under the header's column names. A line shorter
// than the header lacks the last columns; one longer drops its surplus.
struct extraction_record {
  std::shared_ptr<const std::vector<std::string>> columns;
  std::vector<std::string> fields;

  // The field of the column; nullptr when the line has none.
  const std::string* field(std::string_view column) const;
  // The field, or "" when absent.
  std::string value(std::string_view column) const;
};

// Splits at every comma; no quoting, empty fields kept, line ends dropped.
std::vector<std::string> split_csv_line(std::string_view line);

// A spreadsheet's export may start with one; readers of a list skip it.
inline constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// Every line after the header is a record, empty ones included. A missing
// file is an error naming it.
std::vector<extraction_record> read_csv(const std::filesystem::path& csv);

// The columns that records need and that the list's header lacks, in the
// order TYPE, NAME, REVISION, PART_NUMBER, FILEPATH, FILE_TO_LOAD.
std::vector<std::string> missing_extraction_columns(const std::filesystem::path& csv);

// basepath / FILEPATH / FILE_TO_LOAD, normalized; an absolute FILEPATH is
// taken as relative to basepath.
std::filesystem::path make_record_fullpath(const std::filesystem::path& basepath,
                                           const extraction_record& record);

// Whether fullpath lies below the extraction folder, the folder that holds
// basepath ("files"). A FILEPATH or FILE_TO_LOAD with ".." may lead out of
// it; such a file is not part of the extraction and is never read.
bool inside_extraction_folder(const std::filesystem::path& basepath, const std::filesystem::path& fullpath);

// NAME,REVISION
std::string get_record_id(const extraction_record& record);

// The maps refer to the records they were built from, which must outlive
// them. Every entry lists the most recently added record first.
struct extraction_maps {
  using record_list = std::vector<const extraction_record*>;
  std::unordered_map<std::string, record_list> sysid_map;
  std::unordered_map<std::string, record_list> partnumber_3d_map;
  std::unordered_map<std::string, record_list> name_3d_map;
  record_list drawings;  // in the reverse of the list's order

  const record_list& entry(const std::unordered_map<std::string, record_list>& map,
                           const std::string& key) const;
};

// What building the maps needs of the host: the instance sysids in each of
// several model files (asked for many files at once, so that the dumps may
// run side by side), and a progress bar.
struct extraction_scan {
  std::function<std::vector<std::vector<std::string>>(const std::vector<std::filesystem::path>& model_files)>
      model_sysids;
  std::function<void(std::size_t maximum)> set_progress_maximum;
  std::function<void()> advance_progress;
  // Told of every model record whose file lies outside the extraction folder.
  std::function<void(const extraction_record& model, const std::filesystem::path& file)> outside_folder;
};

extraction_maps make_extraction_maps(const std::filesystem::path& basepath,
                                     const std::vector<extraction_record>& records,
                                     const extraction_scan& scan);

// Model records that match the drawing by NAME (against model names and part
// numbers) and by PART_NUMBER; may repeat a record.
extraction_maps::record_list extraction_maps_models_by_metadata(const extraction_maps& maps,
                                                                const extraction_record& drawing,
                                                                bool by_name, bool by_partnumber);

}  // namespace vtm::drawings
