#include "drawings/association_list.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/lisp/errors.h"
#include "host/lisp/printer.h"

namespace vtm::drawings {

namespace {

constexpr std::string_view fatal_error = ",,,\"Fatal error!\"";

// Statuses that hold values of a master list, written as they are: they end
// at the line end, whatever quotes those values hold.
constexpr std::string_view line_statuses[] = {
    "\"Drawing imported with warnings. See log file: ",
    "Viewset owner found multiple times in: ",
    "\"Drawing file lies outside the extraction folder: ",
};

[[noreturn]] void file_error(const std::filesystem::path& file, std::string_view what) {
  host::lisp::simple_error("Drawing association list " + file.string() + ": " + std::string(what) + ": " +
                           std::strerror(errno));
}

std::string_view without_cr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Where the status starting at `from` ends. The host's printed error (the
// load status) may hold line breaks inside its strings and |...| names; a
// string still open at the end of the list is a stray quote, not one.
std::size_t status_end(std::string_view text, std::size_t from) {
  const std::size_t line_end = std::min(text.find('\n', from), text.size());
  for (std::string_view prefix : line_statuses)
    if (text.substr(from).starts_with(prefix)) return line_end;
  bool in_string = false, in_bars = false;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\')
      ++i;
    else if (c == '"' && !in_bars)
      in_string = !in_string;
    else if (c == '|' && !in_string)
      in_bars = !in_bars;
    else if (c == '\n' && !in_string && !in_bars)
      return i;
  }
  return in_string || in_bars ? line_end : text.size();
}

// The records after the header. The fields before the STATUS column hold
// values of a master list (no commas, no line breaks); the STATUS field is
// the rest of the record.
std::vector<std::vector<std::string>> read_records(std::string_view text, std::size_t status_column) {
  std::vector<std::vector<std::string>> records;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::vector<std::string> fields;
    std::size_t end = std::min(text.find('\n', pos), text.size());
    for (;;) {
      if (fields.size() == status_column) {
        end = status_end(text, pos);
        fields.emplace_back(without_cr(text.substr(pos, end - pos)));
        break;
      }
      const std::size_t comma = text.find(',', pos);
      if (comma >= end) {
        fields.emplace_back(without_cr(text.substr(pos, end - pos)));
        break;
      }
      fields.emplace_back(text.substr(pos, comma - pos));
      pos = comma + 1;
    }
    records.push_back(std::move(fields));
    pos = end + 1;
  }
  return records;
}

bool blank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

bool blank_record(const std::vector<std::string>& fields) {
  return std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return blank(f); });
}

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) file_error(file, "cannot read");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void lock_list(core::file_lock& lock, const std::filesystem::path& file) {
  std::filesystem::path lock_file = file;
  lock_file += association_list_lock_suffix;
  bool taken = false;
  try {
    taken = lock.try_lock(lock_file);
  } catch (const std::system_error& e) {
    host::lisp::simple_error(
        fmt::format("The drawing association list {} cannot be locked: {}.", file.string(), e.what()));
  }
  if (!taken)
    host::lisp::simple_error(fmt::format("The drawing association list {} is in use by {}.", file.string(),
                                         lock.holder_pid() > 0 ? fmt::format("process {}", lock.holder_pid())
                                                               : std::string("another process")));
}

// Moves the file, or copies it when the directories are on different
// devices, onto `to`, which exists.
void move_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  if (!ec) return;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(from);
}

// Moves the import log into dir under name, or the first free one of
// name-2.log, name-3.log ...: a log that a line names is never replaced. The
// name is reserved by creating it, so that runs beside each other cannot
// both take it.
std::filesystem::path move_import_log(const std::filesystem::path& log, const std::filesystem::path& dir,
                                      const std::string& name) {
  constexpr std::string_view suffix = ".log";
  const std::string stem = name.substr(0, name.size() - suffix.size());
  for (int n = 1;; ++n) {
    const std::filesystem::path to =
        dir / (n == 1 ? name : stem + "-" + std::to_string(n) + std::string(suffix));
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      host::lisp::simple_error("Cannot move the import log " + log.string() + " to " + to.string() + ": " +
                               std::strerror(errno));
    }
    ::close(fd);
    move_file(log, to);
    return to;
  }
}

}  // namespace

association_list::association_list(const std::filesystem::path& file) : file_(file) {
  const std::filesystem::path dir = file.parent_path();
  std::error_code ec;
  if (!std::filesystem::is_directory(dir.empty() ? "." : dir, ec))
    host::lisp::simple_error("The directory " + dir.string() + " of the drawing association list " +
                             file.string() + " does not exist.");
  lock_list(lock_, file);
  std::string first = std::string(association_list_header);
  const char* mode = "wb";
  if (std::filesystem::exists(file)) {
    std::string text = read_file(file);
    std::string_view rest = text;
    if (rest.starts_with(utf8_byte_order_mark)) rest.remove_prefix(utf8_byte_order_mark.size());
    // A list that holds nothing but blanks is new: it gets the header.
    if (!blank(rest)) {
      mode = "ab";
      first.clear();
      const std::size_t header_end = std::min(rest.find('\n'), rest.size());
      const std::vector<std::string> columns = split_csv_line(rest.substr(0, header_end));
      auto column = [&](std::string_view name) {
        return std::size_t(std::find(columns.begin(), columns.end(), name) - columns.begin());
      };
      const std::size_t name = column("DRAWING_NAME"), rev = column("DRAWING_REV"), status = column("STATUS");
      if (name == columns.size() || rev == columns.size() || status == columns.size())
        host::lisp::simple_error("The file " + file.string() +
                                 " is not a drawing association list: its first line is not " +
                                 std::string(association_list_header) + ".");
      // Blank records are no drawing's: earlier resumed runs leave one.
      const std::vector<std::string>* last = nullptr;
      const auto records = read_records(rest.substr(std::min(header_end + 1, rest.size())), status);
      for (const std::vector<std::string>& record : records) {
        if (blank_record(record)) continue;
        auto field = [&](std::size_t i) { return i < record.size() ? record[i] : std::string(); };
        done_.insert(field(name) + "," + field(rev));
        last = &record;
      }
      if (last && last->size() <= status) {
        first = fatal_error;
        completed_fatal_error_ = true;
      }
    }
  }
  out_ = std::fopen(file.string().c_str(), mode);
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
std::string outside_folder_ending(const extraction_record& drawing) {
  return ",,,\"Drawing file lies outside the extraction folder: " + drawing.value(file_path) + "/" +
         drawing.value(filename) + "\"\n";
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
    const std::filesystem::path moved = move_import_log(import_log, log_directory, import_log_name(drawing));
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
