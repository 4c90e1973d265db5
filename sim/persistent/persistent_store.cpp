// The persistent data store: one file, persistent_data.lsp, in the per-user
// settings directory. Each entry is one form
//   (:module "VT_MIGRATOR" :key "VTM_SETTINGS" :subkey :VALUES :value ...)
// read with the host's reader. A write rewrites the whole file through a
// temporary file of its own, so a crash leaves the old or the new file.
// Several sessions may share the directory: a write holds an advisory lock
// (persistent_data.lsp.lock) while it reads the file afresh, changes its
// one entry and renames its temporary file into place, so no session loses
// another's entry. A damaged file is reported once, its readable entries
// are used, and before the next write it is kept beside as
// persistent_data.lsp.damaged.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/persistent_data.h"
#include "lisp/runtime.h"
#include "ui/environment.h"

namespace {

using namespace host::lisp;
namespace fs = std::filesystem;

struct entry {
  std::string module, key;
  ref subkey, value;
};

struct store {
  std::vector<entry> entries;
  bool damaged = false;
};

fs::path store_file() { return sim::user_settings_directory() / "persistent_data.lsp"; }

// The writers' lock: flock on a file beside the store, released by the
// kernel when its process ends, so a crashed session never leaves it held.
class store_lock {
 public:
  explicit store_lock(const fs::path& file) {
    const std::string path = file.string() + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) file_error("Cannot open the lock file of the persistent data store", path, errno);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd_);
      file_error("Cannot lock the persistent data store", path, err);
    }
  }
  ~store_lock() { ::close(fd_); }
  store_lock(const store_lock&) = delete;
  store_lock& operator=(const store_lock&) = delete;

 private:
  int fd_ = -1;
};

// Reports a damaged store once per session and state of the file, not on
// every read.
void warn_once(const fs::path& file, const std::string& message) {
  static std::set<std::string> reported;
  std::error_code ec;
  const auto stamp = fs::last_write_time(file, ec).time_since_epoch().count();
  if (reported.insert(file.string() + '\n' + std::to_string(stamp) + '\n' + message).second)
    std::cerr << message;
}

ref kw(std::string_view name) { return ref(&keyword(name)); }

store read_store() {
  store s;
  fs::path file = store_file();
  std::ifstream in(file);
  if (!in) return s;
  special_binding package(cl_symbol("*PACKAGE*"), ref(&user_package()));
  reader r(in, file.string());
  std::size_t number = 0;
  try {
    ref form;
    while (r.read(form)) {
      ++number;
      ref module, key;
      if (listp(form) && list_length(form) % 2 == 0) {
        module = getf(form, kw("MODULE"));
        key = getf(form, kw("KEY"));
      }
      if (!stringp(module) || !stringp(key)) {
        warn_once(file, "Warning: the persistent data file " + file.string() + " has a damaged entry " +
                            std::to_string(number) + "; it is ignored.\n");
        s.damaged = true;
        continue;
      }
      s.entries.push_back(
          {as_string(module), as_string(key), getf(form, kw("SUBKEY")), getf(form, kw("VALUE"))});
    }
  } catch (const lisp_error& e) {
    warn_once(file, "Warning: the persistent data file " + file.string() + " is damaged after entry " +
                        std::to_string(number) + " (" + e.message() + "); the rest of it is ignored.\n");
    s.damaged = true;
  }
  return s;
}

entry* find(store& s, const std::string& module, const std::string& key, const ref& subkey) {
  for (entry& e : s.entries)
    if (e.module == module && e.key == key && equal(e.subkey, subkey)) return &e;
  return nullptr;
}

void write_store(const store& s) {
  fs::path file = store_file();
  fs::create_directories(file.parent_path());
  if (s.damaged) {
    std::error_code ec;
    fs::rename(file, fs::path(file.string() + ".damaged"), ec);
  }
  // Print in CL-USER, the package the reader reads back in.
  special_binding package(cl_symbol("*PACKAGE*"), ref(&user_package()));
  std::ostringstream text;
  text << ";;; Persistent data of the simulated host.\n";
  for (const entry& e : s.entries) {
    prin1(list({kw("MODULE"), make_string(e.module), kw("KEY"), make_string(e.key), kw("SUBKEY"), e.subkey,
                kw("VALUE"), e.value}),
          text);
    text << '\n';
  }
  // A name of its own, so that sessions writing at once never share one.
  static std::atomic<unsigned> serial{0};
  const fs::path temporary =
      file.string() + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(serial++);
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text.str();
    out.flush();
    if (!out) {
      const int err = errno;
      std::error_code ec;
      fs::remove(temporary, ec);
      file_error("Cannot write the persistent data file", temporary.string(), err);
    }
  }
  std::error_code ec;
  fs::rename(temporary, file, ec);
  if (ec) {
    fs::remove(temporary, ec);
    file_error("Cannot replace the persistent data file", file.string(), ec.value());
  }
}

// A value the reader cannot read back must not reach the file.
void check_readable(const ref& value) {
  special_binding package(cl_symbol("*PACKAGE*"), ref(&user_package()));
  std::string printed = prin1_to_string(value);
  ref back;
  try {
    back = read_from_string(printed);
  } catch (const lisp_error&) {
    simple_error("The value " + printed + " cannot be kept in the persistent data store.");
  }
  if (!equal(back, value))
    simple_error("The value " + printed + " cannot be kept in the persistent data store.");
}

const builtins_registration persistent_functions([] {
  package& oli = require_package("OLI");
  symbol& get = intern("SD-GET-PERSISTENT-DATA", oli);
  export_symbol(get, oli);
  defun(get, [](args_t a) {
    check_argument_count("OLI:SD-GET-PERSISTENT-DATA", a, 2, 4);
    keyword_args k("OLI:SD-GET-PERSISTENT-DATA", a, 2, {"SUBKEY"});
    return host::oli::sd_get_persistent_data(as_string(a[0]), as_string(a[1]), k.get("SUBKEY"));
  });
  symbol& set = intern("SD-SET-PERSISTENT-DATA", oli);
  export_symbol(set, oli);
  defun(set, [](args_t a) {
    check_argument_count("OLI:SD-SET-PERSISTENT-DATA", a, 3, 5);
    keyword_args k("OLI:SD-SET-PERSISTENT-DATA", a, 3, {"SUBKEY"});
    return host::oli::sd_set_persistent_data(as_string(a[0]), as_string(a[1]), a[2], k.get("SUBKEY"));
  });
});

}  // namespace

namespace host::oli {

ref sd_get_persistent_data(const std::string& module, const std::string& key, const ref& subkey) {
  store s = read_store();
  entry* e = find(s, module, key, subkey);
  return e ? e->value : nil();
}

ref sd_set_persistent_data(const std::string& module, const std::string& key, const ref& value,
                           const ref& subkey) {
  check_readable(subkey);
  check_readable(value);
  const fs::path file = store_file();
  fs::create_directories(file.parent_path());
  const store_lock lock(file);
  store s = read_store();
  if (entry* e = find(s, module, key, subkey))
    e->value = value;
  else
    s.entries.push_back({module, key, subkey, value});
  write_store(s);
  return t();
}

}  // namespace host::oli
