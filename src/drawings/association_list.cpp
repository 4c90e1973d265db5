#include "drawings/association_list.h"

#include <cerrno>
#include <cstring>

#include "host/lisp/errors.h"
#include "host/lisp/printer.h"

namespace vtm::drawings {

namespace {

constexpr std::string_view fatal_error = ",,,\"Fatal error!\"";

[[noreturn]] void file_error(const std::filesystem::path& file, std::string_view what) {
  host::lisp::simple_error("Drawing association list " + file.string() + ": " + std::string(what) + ": " +
                           std::strerror(errno));
}

// Rename, or copy and remove when the directories are on different devices.
void move_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  if (!ec) return;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(from);
}

}  // namespace

association_list::association_list(const std::filesystem::path& file) : file_(file) {
  std::string first = std::string(association_list_header);
  if (std::filesystem::exists(file)) {
    first.clear();
    // An empty line is no drawing's: earlier resumed runs leave one.
    const extraction_record* last = nullptr;
    const std::vector<extraction_record> lines = read_csv(file);
    for (const extraction_record& line : lines) {
      if (line.fields.size() == 1 && line.fields[0].empty()) continue;
      done_.insert(line.value("DRAWING_NAME") + "," + line.value("DRAWING_REV"));
      last = &line;
    }
    if (last && !last->field("STATUS")) first = fatal_error;
  }
  out_ = std::fopen(file.string().c_str(), "ab");
  if (!out_) file_error(file, "cannot open for appending");
  write(first);
  write("\n");
  if (std::fflush(out_) != 0) file_error(file, "cannot write");
}

association_list::~association_list() {
  if (out_) std::fclose(out_);
}

void association_list::write(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) file_error(file_, "cannot write");
}

void association_list::begin_drawing(const std::string& drawing_id) {
  drawing_id_ = drawing_id;
  write(drawing_id);
  if (std::fflush(out_) != 0) file_error(file_, "cannot write");
  pending_ = true;
}

void association_list::write_ending(std::string_view ending) {
  if (!pending_) write(drawing_id_);
  write(ending);
  if (std::fflush(out_) != 0) file_error(file_, "cannot write");
  pending_ = false;
}

void association_list::close() {
  if (!out_) return;
  std::FILE* f = out_;
  out_ = nullptr;
  if (std::fclose(f) != 0) file_error(file_, "cannot close");
}

std::string success_ending(const std::string& model_id) { return "," + model_id + ",\"SUCCESS\"\n"; }
std::string zpn_link_ending(const std::string& model_id) { return "," + model_id + ",\"ZPN-link\"\n"; }
std::string import_warnings_ending(const std::string& log_file) {
  return ",,,\"Drawing imported with warnings. See log file: " + log_file + "\"\n";
}
std::string not_associated_ending() { return ",,,\"Drawing is not associated with any 3d model.\"\n"; }
std::string load_status_ending(const host::lisp::ref& status) {
  return ",,," + host::lisp::prin1_to_string(status) + "\n";
}
std::string multiple_owners_ending(const std::vector<std::string>& model_names) {
  std::string names;
  for (const std::string& n : model_names) names += (names.empty() ? "" : ";") + n;
  return ",,,Viewset owner found multiple times in: " + names + "\n";
}
std::string owners_not_found_ending(std::size_t not_found, std::size_t owners) {
  return ",,,\"" + std::to_string(not_found) + " of " + std::to_string(owners) +
         " viewset owners were not found in any 3d model!\"\n";
}

bool drawing_owners::loaded() const {
  return host::lisp::stringp(status) && host::lisp::as_string(status) == "SUCCESS";
}

std::string import_log_name(const extraction_record& drawing) {
  std::string name = drawing.value(filename) + ".log";
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return name;
}

void write_drawing_associations(association_list& list, const extraction_maps& maps,
                                const extraction_record& drawing, const drawing_owners& owners, bool by_name,
                                bool by_partnumber, const std::filesystem::path& import_log,
                                const std::filesystem::path& log_directory) {
  if (owners.loaded() && std::filesystem::exists(import_log)) {
    const std::filesystem::path moved = log_directory / import_log_name(drawing);
    move_file(import_log, moved);
    list.write_ending(import_warnings_ending(moved.string()));
  }
  if (owners.sysids.empty()) {
    list.write_ending(owners.loaded() ? not_associated_ending() : load_status_ending(owners.status));
    return;
  }
  // Models by record id, in the order they were first reached.
  std::vector<std::string> matched;
  std::unordered_set<std::string> matched_ids;
  auto match = [&](const extraction_record& model) {
    std::string id = get_record_id(model);
    if (!matched_ids.insert(id).second) return false;
    matched.push_back(std::move(id));
    return true;
  };
  std::size_t not_found = 0;
  for (const std::string& sysid : owners.sysids) {
    const extraction_maps::record_list& models = maps.entry(maps.sysid_map, sysid);
    if (models.size() == 1) {
      match(*models.front());
      continue;
    }
    if (models.size() > 1) {
      std::vector<std::string> names;
      for (const extraction_record* m : models) names.push_back(m->value(item_name));
      list.write_ending(multiple_owners_ending(names));
    }
    ++not_found;
  }
  for (const std::string& id : matched) list.write_ending(success_ending(id));
  if (not_found == 0) return;
  list.write_ending(owners_not_found_ending(not_found, owners.sysids.size()));
  for (const extraction_record* model :
       extraction_maps_models_by_metadata(maps, drawing, by_name, by_partnumber))
    if (match(*model)) list.write_ending(zpn_link_ending(get_record_id(*model)));
}

}  // namespace vtm::drawings
