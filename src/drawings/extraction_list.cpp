#include "drawings/extraction_list.h"

#include <algorithm>
#include <fstream>

#include "host/lisp/errors.h"

namespace vtm::drawings {

const std::string* extraction_record::field(std::string_view column) const {
  if (!columns) return nullptr;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if ((*columns)[i] == column) return &fields[i];
  return nullptr;
}

std::string extraction_record::value(std::string_view column) const {
  const std::string* f = field(column);
  return f ? *f : std::string();
}

std::vector<std::string> split_csv_line(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.emplace_back(
        line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

namespace {

// The first line of a list, without a leading byte-order mark.
bool read_first_line(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (line.starts_with(utf8_byte_order_mark)) line.erase(0, utf8_byte_order_mark.size());
  return true;
}

std::ifstream open_list(const std::filesystem::path& csv) {
  std::ifstream in(csv, std::ios::binary);
  if (!in) host::lisp::simple_error("Cannot open the extraction list " + csv.string());
  return in;
}

}  // namespace

std::vector<extraction_record> read_csv(const std::filesystem::path& csv) {
  std::ifstream in = open_list(csv);
  std::string line;
  std::vector<extraction_record> records;
  if (!read_first_line(in, line)) return records;
  auto columns = std::make_shared<const std::vector<std::string>>(split_csv_line(line));
  while (std::getline(in, line)) {
    std::vector<std::string> fields = split_csv_line(line);
    if (fields.size() > columns->size()) fields.resize(columns->size());
    records.push_back({columns, std::move(fields)});
  }
  return records;
}

std::vector<std::string> missing_extraction_columns(const std::filesystem::path& csv) {
  std::ifstream in = open_list(csv);
  std::string line;
  read_first_line(in, line);
  const std::vector<std::string> columns = split_csv_line(line);
  std::vector<std::string> missing;
  for (std::string_view required : {item_type, item_name, revision, partnumber, file_path, filename})
    if (std::find(columns.begin(), columns.end(), required) == columns.end()) missing.emplace_back(required);
  return missing;
}

std::filesystem::path make_record_fullpath(const std::filesystem::path& basepath,
                                           const extraction_record& record) {
  const std::filesystem::path relative =
      std::filesystem::path(record.value(file_path) + "/" + record.value(filename)).relative_path();
  return (basepath / relative).lexically_normal();
}

bool inside_extraction_folder(const std::filesystem::path& basepath, const std::filesystem::path& fullpath) {
  std::filesystem::path folder = basepath.lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();  // "x/files/"
  const std::filesystem::path relative = fullpath.lexically_normal().lexically_relative(folder.parent_path());
  return !relative.empty() && relative != "." && *relative.begin() != "..";
}

std::string get_record_id(const extraction_record& record) {
  return record.value(item_name) + "," + record.value(revision);
}

const extraction_maps::record_list& extraction_maps::entry(
    const std::unordered_map<std::string, record_list>& map, const std::string& key) const {
  static const record_list none;
  auto it = map.find(key);
  return it == map.end() ? none : it->second;
}

namespace {

// x.sdpc -> x.sdp: the instance file beside a contents file.
std::filesystem::path instance_file(const std::filesystem::path& contents_file) {
  std::string type = contents_file.extension().string();
  if (type.size() <= 1) return {};
  type.pop_back();
  std::filesystem::path instance = contents_file;
  return instance.replace_extension(type);
}

void append(std::vector<std::string>& to, std::vector<std::string> more) {
  to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

}  // namespace

extraction_maps make_extraction_maps(const std::filesystem::path& basepath,
                                     const std::vector<extraction_record>& records,
                                     const extraction_scan& scan) {
  // Model records are scanned this many at a time.
  constexpr std::size_t batch_size = 256;
  extraction_maps maps;
  scan.set_progress_maximum(records.size());
  for (auto* map : {&maps.sysid_map, &maps.partnumber_3d_map, &maps.name_3d_map}) map->reserve(10000);
  struct scanned {
    const extraction_record* record;
    std::size_t files;  // how many of the batch's files are this record's
    bool model;         // a part or an assembly
  };
  std::vector<scanned> batch;
  std::vector<std::filesystem::path> files;
  // The records of the batch enter the maps in list order, each with the
  // sysids of its instance file followed by those of its contents file.
  auto enter_batch = [&] {
    if (batch.empty()) return;
    const std::vector<std::vector<std::string>> sysids = scan.model_sysids(files);
    std::size_t next = 0;
    for (const auto& [record, file_count, model] : batch) {
      std::vector<std::string> found;
      for (std::size_t i = 0; i < file_count; ++i) append(found, sysids[next++]);
      if (model) {
        maps.partnumber_3d_map[record->value(partnumber)].push_back(record);
        maps.name_3d_map[record->value(item_name)].push_back(record);
      }
      for (const std::string& sysid : found) maps.sysid_map[sysid].push_back(record);
      scan.advance_progress();
    }
    batch.clear();
    files.clear();
  };
  for (const extraction_record& record : records) {
    const std::string type = record.value(item_type);
    if (type == drawing_type) {
      maps.drawings.push_back(&record);
      continue;
    }
    const std::filesystem::path contents = make_record_fullpath(basepath, record);
    const std::filesystem::path instance = instance_file(contents);
    const bool part = type == part_type, assembly = type == assembly_type;
    // A model whose file lies outside the extraction folder is not read and
    // enters no map.
    const bool model = (part || assembly) && inside_extraction_folder(basepath, contents);
    if ((part || assembly) && !model && scan.outside_folder) scan.outside_folder(record, contents);
    const std::size_t before = files.size();
    if (model && !instance.empty()) files.push_back(instance);
    if (model && assembly) files.push_back(contents);
    batch.push_back({&record, files.size() - before, model});
    if (batch.size() == batch_size) enter_batch();
  }
  enter_batch();
  // Built in list order; every list answers newest first.
  std::reverse(maps.drawings.begin(), maps.drawings.end());
  for (auto* map : {&maps.sysid_map, &maps.partnumber_3d_map, &maps.name_3d_map})
    for (auto& [key, list] : *map) std::reverse(list.begin(), list.end());
  return maps;
}

extraction_maps::record_list extraction_maps_models_by_metadata(const extraction_maps& maps,
                                                                const extraction_record& drawing,
                                                                bool by_name, bool by_partnumber) {
  extraction_maps::record_list found;
  // A blank NAME or PART_NUMBER identifies nothing: matching it would link
  // every model that lacks the value too.
  auto add = [&](const extraction_maps::record_list& list) {
    found.insert(found.end(), list.begin(), list.end());
  };
  const std::string name = drawing.value(item_name), number = drawing.value(partnumber);
  if (by_name) {
    if (!name.empty()) add(maps.entry(maps.name_3d_map, name));
    if (!number.empty()) add(maps.entry(maps.name_3d_map, number));
  }
  if (by_partnumber && !number.empty()) add(maps.entry(maps.partnumber_3d_map, number));
  return found;
}

}  // namespace vtm::drawings
