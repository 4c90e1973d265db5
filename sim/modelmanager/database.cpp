#include "modelmanager/database.h"

#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "host/lisp/errors.h"
#include "host/lisp/object.h"
#include "host/lisp/packages.h"
#include "host/lisp/reader.h"
#include "host/lisp/time.h"
#include "ui/environment.h"

namespace sim::modelmanager {

namespace {

using namespace host::lisp;

// A prepared statement that finalizes itself.
class statement {
 public:
  statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK)
      simple_error(std::string("Model Manager database: ") + sqlite3_errmsg(db));
  }
  ~statement() { sqlite3_finalize(s_); }
  statement(const statement&) = delete;
  statement& operator=(const statement&) = delete;
  sqlite3_stmt* get() { return s_; }
  void bind(int i, std::string_view text) {
    sqlite3_bind_text(s_, i, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int i, std::int64_t v) { sqlite3_bind_int64(s_, i, v); }

 private:
  sqlite3_stmt* s_ = nullptr;
};

struct failure_injection {
  int remaining = 0;
  std::string message;
};

failure_injection& injected() {
  static failure_injection f;
  return f;
}

std::unique_ptr<database>& current() {
  static std::unique_ptr<database> db;
  return db;
}

std::filesystem::path default_database_file() {
  if (const char* file = std::getenv("SDHOST_MM_DATABASE"); file && *file) return file;
  return sim::user_settings_directory() / "modelmanager.sqlite";
}

int busy_timeout_ms() {
  if (const char* ms = std::getenv("SDHOST_MM_BUSY_TIMEOUT_MS"); ms && *ms) return std::atoi(ms);
  return 30000;
}

// How often a write transaction that found the database busy for a whole
// timeout is tried again before the store fails.
constexpr int busy_retries = 3;

std::int64_t seed_date(const ref& value, const std::string& where) {
  if (is_nil(value)) return 0;
  if (integerp(value)) return as_integer(value) - unix_epoch_universal;
  std::tm tm{};
  if (!stringp(value) || !strptime(as_string(value).c_str(), "%Y-%m-%d %H:%M:%S", &tm))
    simple_error(where + ": :create_date must be a universal time or \"YYYY-MM-DD HH:MM:SS\"");
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace

// A kept statement in use; reset when done, so that it holds no read
// transaction open and its next use starts afresh.
class database::cached {
 public:
  explicit cached(sqlite3_stmt* s) : s_(s) {}
  ~cached() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  cached(const cached&) = delete;
  cached& operator=(const cached&) = delete;
  sqlite3_stmt* get() { return s_; }
  void bind(int i, std::string_view text) {
    sqlite3_bind_text(s_, i, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int i, std::int64_t v) { sqlite3_bind_int64(s_, i, v); }

 private:
  sqlite3_stmt* s_;
};

database::cached database::prepared(const char* sql) {
  auto [it, added] = statements_.try_emplace(sql, nullptr);
  if (added && sqlite3_prepare_v2(db_, sql, -1, &it->second, nullptr) != SQLITE_OK) {
    statements_.erase(it);
    simple_error(std::string("Model Manager database: ") + sqlite3_errmsg(db_));
  }
  return cached(it->second);
}

std::string format_database_date(std::int64_t unix_seconds) {
  const std::time_t t = unix_seconds;
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Z %Y", &tm);
  return text;
}

database::database(const std::filesystem::path& file) : file_(file) {
  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  if (sqlite3_open(file.string().c_str(), &db_) != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    simple_error("Cannot open the Model Manager database " + file.string() + ": " + message);
  }
  // Several sessions work on one database at once: readers go on beside a
  // writer (write-ahead log), and a session waits for another's write.
  sqlite3_busy_timeout(db_, busy_timeout_ms());
  try {
    exec("PRAGMA journal_mode=WAL");
    // A commit reaches the log in the system's cache without waiting for the
    // disk: a host killed at any point loses no committed store and leaves
    // none half done, and a store's files are not flushed to the disk either.
    exec("PRAGMA synchronous=NORMAL");
    // In one write transaction: sessions that open a new database at once
    // would otherwise each add the missing columns.
    begin_write();
    make_schema();
    exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

void database::make_schema() {
  exec(
      "CREATE TABLE IF NOT EXISTS models ("
      " elid TEXT PRIMARY KEY, name TEXT NOT NULL, revision TEXT, state TEXT, model_objtype TEXT,"
      " unique_id_string TEXT, create_date INTEGER, project_id TEXT, enovia_migrated TEXT,"
      " enovia_part_er TEXT, sysid TEXT, file TEXT);"
      "CREATE INDEX IF NOT EXISTS models_by_name ON models(name);"
      "CREATE TABLE IF NOT EXISTS drawing_links (drawing_elid TEXT NOT NULL, part_elid TEXT NOT NULL);");
  // Databases made before models had stored files and time stamps.
  auto has_column = [&](const char* name) {
    statement columns(db_, "SELECT COUNT(*) FROM pragma_table_info('models') WHERE name = ?");
    columns.bind(1, std::string_view(name));
    sqlite3_step(columns.get());
    return sqlite3_column_int64(columns.get(), 0) > 0;
  };
  if (!has_column("file")) exec("ALTER TABLE models ADD COLUMN file TEXT");
  if (!has_column("timestamp")) exec("ALTER TABLE models ADD COLUMN timestamp REAL DEFAULT 0");
  // Stored models share files, each in its part of one.
  if (!has_column("file_offset")) exec("ALTER TABLE models ADD COLUMN file_offset INTEGER");
  if (!has_column("file_length")) exec("ALTER TABLE models ADD COLUMN file_length INTEGER");
  // Every store and every status looks up the model stored last under a
  // sysid; without the index each lookup reads the whole table.
  exec("CREATE INDEX IF NOT EXISTS models_by_sysid ON models(sysid)");
}

database::~database() {
  for (auto& [sql, s] : statements_) sqlite3_finalize(s);
  sqlite3_finalize(name_query_);
  sqlite3_close(db_);
}

void database::exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    fail(text);
  }
}

void database::begin_write() {
  for (int attempt = 0;; ++attempt) {
    const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || attempt + 1 >= busy_retries) {
      const std::string cause = sqlite3_errmsg(db_);
      if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        fail("the database stayed busy (" + cause + ") through " + std::to_string(busy_retries) +
             " waits of " + std::to_string(busy_timeout_ms()) + " ms");
      fail(cause);
    }
  }
}

void database::fail(const std::string& what) {
  simple_error("Model Manager database " + file_.string() + ": " + what);
}

std::string database::add(stored_model m) {
  if (m.elid.empty()) {
    cached next = prepared("SELECT COALESCE(MAX(rowid), 0) FROM models");
    sqlite3_step(next.get());
    m.elid = 'E';
    m.elid += std::to_string(sqlite3_column_int64(next.get(), 0) + 1);
  }
  if (m.unique_id_string.empty()) m.unique_id_string = "UID-" + m.elid;
  if (m.create_date == 0) m.create_date = std::time(nullptr);
  cached s = prepared(
      "INSERT INTO models (elid, name, revision, state, model_objtype, unique_id_string, create_date,"
      " project_id, enovia_migrated, enovia_part_er, sysid, file, timestamp)"
      " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
  s.bind(1, m.elid);
  s.bind(2, m.name);
  s.bind(3, m.revision);
  s.bind(4, m.state);
  s.bind(5, m.model_objtype);
  s.bind(6, m.unique_id_string);
  s.bind(7, m.create_date);
  s.bind(8, m.project_id);
  s.bind(9, m.enovia_migrated);
  s.bind(10, m.enovia_part_er);
  s.bind(11, m.sysid);
  s.bind(12, m.file.string());
  sqlite3_bind_double(s.get(), 13, m.timestamp);
  if (sqlite3_step(s.get()) != SQLITE_DONE) fail(sqlite3_errmsg(db_));
  return m.elid;
}

std::size_t database::seed_from_file(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) simple_error("Cannot open the Model Manager seed file " + file.string());
  reader r(in, file.string());
  std::size_t count = 0;
  begin_write();
  try {
    ref form;
    while (r.read(form)) {
      const std::string where = file.string() + ", model " + std::to_string(count + 1);
      if (!listp(form) || list_length(form) % 2) simple_error(where + ": not a property list");
      auto text = [&](std::string_view key, const std::string& dflt = {}) {
        ref v = getf(form, ref(&keyword(key)));
        if (is_nil(v)) return dflt;
        if (!stringp(v)) simple_error(where + ": :" + std::string(key) + " must be a string");
        return as_string(v);
      };
      stored_model m;
      m.name = text("NAME");
      if (m.name.empty()) simple_error(where + ": :name is missing");
      m.elid = text("ELID");
      m.revision = text("REVISION");
      m.state = text("STATE", m.state);
      m.model_objtype = text("MODEL_OBJTYPE", m.model_objtype);
      m.unique_id_string = text("UNIQUE_ID_STRING");
      m.create_date = seed_date(getf(form, ref(&keyword("CREATE_DATE"))), where);
      m.project_id = text("PROJECT_ID");
      m.enovia_migrated = text("ENOVIA_MIGRATED", m.enovia_migrated);
      m.enovia_part_er = text("ENOVIA_PART_ER");
      m.sysid = text("SYSID");
      if (ref stamp = getf(form, ref(&keyword("TIMESTAMP"))); !is_nil(stamp)) {
        if (!numberp(stamp)) simple_error(where + ": :timestamp must be a number");
        m.timestamp = as_number(stamp);
      }
      if (const std::string stored = text("FILE"); !stored.empty())
        m.file = std::filesystem::absolute(file.parent_path() / stored).lexically_normal();
      add(std::move(m));
      ++count;
    }
  } catch (...) {
    exec("ROLLBACK");
    throw;
  }
  exec("COMMIT");
  return count;
}

host::modelmanager::mm_query_result database::query_by_name(std::string_view name, int limit) {
  host::modelmanager::mm_query_result result;
  if (!name_query_ &&
      sqlite3_prepare_v2(db_,
                         "SELECT elid, name, revision, state, model_objtype, unique_id_string, create_date,"
                         " project_id, enovia_migrated, enovia_part_er, sysid FROM models WHERE name = ?"
                         " ORDER BY rowid LIMIT ?",
                         -1, &name_query_, nullptr) != SQLITE_OK) {
    result.error = std::string("ERROR: ") + sqlite3_errmsg(db_);
    return result;
  }
  sqlite3_stmt* s = name_query_;
  sqlite3_reset(s);
  sqlite3_bind_text(s, 1, name.data(), int(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(s, 2, limit);
  const int columns = sqlite3_column_count(s);
  for (int i = 0; i < columns; ++i) result.columns.emplace_back(sqlite3_column_name(s, i));
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < columns; ++i) {
      if (result.columns[i] == "create_date") {
        row.push_back(format_database_date(sqlite3_column_int64(s, i)));
      } else {
        const unsigned char* v = sqlite3_column_text(s, i);
        row.emplace_back(v ? reinterpret_cast<const char*>(v) : "");
      }
    }
    result.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    result = {};
    result.error = std::string("ERROR: ") + sqlite3_errmsg(db_);
    sqlite3_reset(s);
    return result;
  }
  sqlite3_reset(s);
  result.ok = true;
  return result;
}

std::size_t database::model_count() {
  cached s = prepared("SELECT COUNT(*) FROM models");
  sqlite3_step(s.get());
  return std::size_t(sqlite3_column_int64(s.get(), 0));
}

namespace {

constexpr const char* stored_by_elid =
    "SELECT elid, name, revision, state, model_objtype, unique_id_string, create_date, project_id,"
    " enovia_migrated, enovia_part_er, sysid, file, timestamp, file_offset, file_length FROM models"
    " WHERE elid = ?";
constexpr const char* stored_by_sysid =
    "SELECT elid, name, revision, state, model_objtype, unique_id_string, create_date, project_id,"
    " enovia_migrated, enovia_part_er, sysid, file, timestamp, file_offset, file_length FROM models"
    " WHERE sysid = ?"
    " ORDER BY rowid DESC LIMIT 1";

stored_model read_stored(sqlite3_stmt* s) {
  auto text = [&](int i) {
    const unsigned char* v = sqlite3_column_text(s, i);
    return std::string(v ? reinterpret_cast<const char*>(v) : "");
  };
  stored_model m;
  m.elid = text(0);
  m.name = text(1);
  m.revision = text(2);
  m.state = text(3);
  m.model_objtype = text(4);
  m.unique_id_string = text(5);
  m.create_date = sqlite3_column_int64(s, 6);
  m.project_id = text(7);
  m.enovia_migrated = text(8);
  m.enovia_part_er = text(9);
  m.sysid = text(10);
  m.file = text(11);
  m.timestamp = sqlite3_column_double(s, 12);
  if (sqlite3_column_type(s, 13) != SQLITE_NULL)
    m.file_part = sim::files::file_part{std::uintmax_t(sqlite3_column_int64(s, 13)),
                                        std::uintmax_t(sqlite3_column_int64(s, 14))};
  return m;
}

}  // namespace

std::optional<stored_model> database::find(std::string_view elid) {
  cached s = prepared(stored_by_elid);
  s.bind(1, elid);
  if (sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return read_stored(s.get());
}

std::optional<stored_model> database::latest_by_sysid(std::string_view sysid) {
  cached s = prepared(stored_by_sysid);
  s.bind(1, sysid);
  if (sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
  return read_stored(s.get());
}

void database::add_all(std::vector<stored_model>& models, const std::function<void()>& complete) {
  begin_write();
  try {
    for (stored_model& m : models) {
      if (m.create_date == 0) m.create_date = std::time(nullptr);
      m.elid = add(m);
      if (m.unique_id_string.empty()) m.unique_id_string = "UID-" + m.elid;
    }
    complete();
  } catch (...) {
    exec("ROLLBACK");
    throw;
  }
  exec("COMMIT");
}

void database::set_file(std::string_view elid, const std::filesystem::path& file,
                        const std::optional<sim::files::file_part>& part) {
  cached s = prepared("UPDATE models SET file = ?, file_offset = ?, file_length = ? WHERE elid = ?");
  s.bind(1, file.string());
  if (part) {
    s.bind(2, std::int64_t(part->offset));
    s.bind(3, std::int64_t(part->length));
  }
  s.bind(4, elid);
  if (sqlite3_step(s.get()) != SQLITE_DONE) fail(sqlite3_errmsg(db_));
}

void database::link_drawing(std::string_view drawing_elid, const std::vector<std::string>& part_elids) {
  for (const std::string& part : part_elids) {
    cached s = prepared("INSERT INTO drawing_links (drawing_elid, part_elid) VALUES (?, ?)");
    s.bind(1, drawing_elid);
    s.bind(2, part);
    if (sqlite3_step(s.get()) != SQLITE_DONE) fail(sqlite3_errmsg(db_));
  }
}

std::vector<std::string> database::drawing_links(std::string_view drawing_elid) {
  cached s = prepared("SELECT part_elid FROM drawing_links WHERE drawing_elid = ? ORDER BY rowid");
  s.bind(1, drawing_elid);
  std::vector<std::string> parts;
  while (sqlite3_step(s.get()) == SQLITE_ROW)
    parts.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)));
  return parts;
}

database& current_database() {
  if (!current()) current() = std::make_unique<database>(default_database_file());
  return *current();
}

void use_database_file(const std::filesystem::path& file) { current() = std::make_unique<database>(file); }

void fail_queries(int count, std::string message) { injected() = {count, std::move(message)}; }

}  // namespace sim::modelmanager

namespace host::modelmanager {

mm_query_result mm_query_by_name(std::string_view class_name, std::string_view attributes,
                                 std::string_view name, int limit) {
  auto& f = sim::modelmanager::injected();
  if (f.remaining > 0) {
    --f.remaining;
    mm_query_result failed;
    failed.error = f.message;
    return failed;
  }
  if (class_name != "$MODEL" || attributes != "$ALL") {
    mm_query_result failed;
    failed.error = "ERROR: unsupported query of " + std::string(class_name) + " " + std::string(attributes);
    return failed;
  }
  return sim::modelmanager::current_database().query_by_name(name, limit);
}

}  // namespace host::modelmanager
