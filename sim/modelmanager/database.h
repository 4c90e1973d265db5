// The simulated Model Manager's store: one SQLite file of stored models.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/model_file.h"
#include "host/modelmanager.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sim::modelmanager {

struct stored_model {
  std::string elid;  // assigned when empty
  std::string name;
  std::string revision;
  std::string state = "IN-WORK";
  std::string model_objtype = "MODEL_3D";
  std::string unique_id_string;  // assigned when empty
  std::int64_t create_date = 0;  // unix seconds; now when 0
  std::string project_id;
  std::string enovia_migrated = "0";
  std::string enovia_part_er;
  std::string sysid;
  double timestamp = 0;  // the model's time stamp when it was stored
  // The stored model file (in the session's model file format) that loads
  // and reloads from the database read; empty for a model stored without one.
  std::filesystem::path file;
  // The part of file that holds the model; all of it when none.
  std::optional<sim::files::file_part> file_part;
};

class database {
 public:
  // Opens the file, creating it and its tables when missing.
  explicit database(const std::filesystem::path& file);
  ~database();
  database(const database&) = delete;
  database& operator=(const database&) = delete;

  const std::filesystem::path& file() const { return file_; }
  // Stores the model; returns its elid.
  std::string add(stored_model model);
  // Reads a text file of models, one property list per model
  // (:name "..." :state "..." :create_date "2026-12-08 08:24:42" :file "x.sdp" ...),
  // and stores them; returns how many. A relative :file is taken from the
  // seed file's directory. Errors name the file and the form.
  std::size_t seed_from_file(const std::filesystem::path& file);
  host::modelmanager::mm_query_result query_by_name(std::string_view name, int limit);
  std::size_t model_count();
  // The stored model of an element id; nothing when there is none.
  std::optional<stored_model> find(std::string_view elid);
  // The model stored last under the sysid; nothing when there is none.
  std::optional<stored_model> latest_by_sysid(std::string_view sysid);
  // Stores the models in one transaction, all or none; fills in their
  // element ids, unique ids and create dates. complete runs inside the
  // transaction once they have their ids (to write their files and links):
  // a host that ends before it is done leaves nothing stored.
  void add_all(std::vector<stored_model>& models, const std::function<void()>& complete);
  // Sets the stored model file of a stored model, and the part of it that
  // holds the model.
  void set_file(std::string_view elid, const std::filesystem::path& file,
                const std::optional<sim::files::file_part>& part = std::nullopt);
  // A stored drawing shows the stored models of part_elids.
  void link_drawing(std::string_view drawing_elid, const std::vector<std::string>& part_elids);
  std::vector<std::string> drawing_links(std::string_view drawing_elid);

 private:
  class cached;
  void exec(const char* sql);
  // Begins a write transaction holding the write lock from its start, so
  // that element ids are drawn by one writer at a time; waits for a busy
  // database and tries again before it signals.
  void begin_write();
  void make_schema();
  [[noreturn]] void fail(const std::string& what);
  // The statement of sql, prepared on its first use and kept: a check-in
  // runs the same few statements for every model it stores.
  cached prepared(const char* sql);

  std::filesystem::path file_;
  sqlite3* db_ = nullptr;
  // The name query, prepared on first use: a check-in asks it for every
  // model name.
  sqlite3_stmt* name_query_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

// The database the host uses: SDHOST_MM_DATABASE, else modelmanager.sqlite in
// the user's settings directory; opened on first use.
database& current_database();
void use_database_file(const std::filesystem::path& file);

// The next `count` queries fail with `message`, as a database that cannot be
// reached does.
void fail_queries(int count, std::string message);

// The six-field date text the database answers: "Tue Dec 08 08:24:42 CET 2026",
// in the local time zone.
std::string format_database_date(std::int64_t unix_seconds);

}  // namespace sim::modelmanager
