// Writing a top-level model as one file per component.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "files/model_file.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "session/host_error.h"

namespace sim::files {

using namespace host::lisp;
using session::entity;
using session::entity_ptr;

namespace {

namespace fs = std::filesystem;

struct type_pair {
  std::string_view type_name, file_type;
};
constexpr type_pair file_types[] = {{"nasmb3", "sda"},     {"npart3", "sdp"},        {"nwp", "sdw"},
                                    {"nwpset", "sds"},     {"asbm_struct", "sdac"},  {"part_struct", "sdpc"},
                                    {"wp_struct", "sdwc"}, {"nwpset_struct", "sdsc"}};

ref kw(std::string_view name) { return ref(&keyword(name)); }

[[noreturn]] void save_failed(std::string message) {
  host_command_failed("FRAME2-UI", "SAVE-FAILED", std::move(message));
}

// The bytes the host may still write into model files, from SDSIM_DISK_SPACE
// (unset: no limit), so that a full disk can be reproduced.
std::optional<std::uintmax_t>& disk_space() {
  static std::optional<std::uintmax_t> space = []() -> std::optional<std::uintmax_t> {
    const char* v = std::getenv("SDSIM_DISK_SPACE");
    if (!v || !*v) return std::nullopt;
    return std::strtoumax(v, nullptr, 10);
  }();
  return space;
}

// How much of size bytes fits on the disk; err becomes ENOSPC when not all.
std::size_t fitting(std::size_t size, int& err) {
  if (auto& space = disk_space()) {
    if (*space < size) {
      size = static_cast<std::size_t>(*space);
      err = ENOSPC;
    }
    *space -= size;
  }
  return size;
}

// Writes text into file; 0, or the errno of the failure. On a full disk the
// part that fitted is written, as a real disk does.
int write_file(const fs::path& file, const std::string& text) {
  int err = 0;
  const std::size_t size = fitting(text.size(), err);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return errno ? errno : EIO;
  out.write(text.data(), static_cast<std::streamsize>(size));
  out.close();
  if (!out && !err) err = errno ? errno : EIO;
  return err;
}

class component_writer {
 public:
  // A packed writer refers to the components by id within one file instead
  // of by file name.
  component_writer(const entity_ptr& top, bool packed) : top_(top), packed_(packed) {}

  // Decides the files: the instance file, then one per distinct real contents.
  void plan() {
    add_file(top_, file_name(*top_));
    collect(top_->d.contents);
  }

  void write(const fs::path& directory, bool overwrite) {
    std::error_code ec;
    if (!fs::is_directory(directory, ec))
      save_failed("Cannot save into '" + directory.string() + "': it is no directory.");
    if (!overwrite)
      for (const auto& [name, e] : files_)
        if (fs::exists(directory / name, ec))
          save_failed("Cannot save '" + (directory / name).string() + "': the file exists.");
    // Every file is written beside its final name first and renamed only
    // when all of them are complete, so that a full disk leaves no staged
    // file cut short and no model with some of its files missing.
    std::vector<std::pair<fs::path, fs::path>> written;  // (beside, final)
    const auto discard = [&] {
      for (const auto& [beside, final_name] : written) fs::remove(beside, ec);
    };
    for (const auto& [name, e] : files_) {
      std::string text = header();
      text += pprint_to_string(form_of(e)) + "\n";
      const fs::path file = directory / name;
      fs::path beside = file;
      beside += ".saving";
      written.emplace_back(beside, file);
      if (const int err = write_file(beside, text)) {
        discard();
        save_failed("Cannot write '" + file.string() + "': " + std::strerror(err) + ".");
      }
    }
    // The top-level instance's file last: a model whose instance file is
    // there has all its files.
    std::stable_partition(written.begin(), written.end(),
                          [&](const auto& w) { return w.second.filename() != names_[top_.get()]; });
    for (std::size_t i = 0; i < written.size(); ++i) {
      fs::rename(written[i].first, written[i].second, ec);
      if (ec) {
        written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(i));
        discard();
        save_failed("Cannot write '" + written.front().second.string() + "': " + ec.message() + ".");
      }
    }
  }

  // Every component in one text, the top-level instance last, after the
  // contents it refers to.
  std::string packed_text() {
    std::string text = header();
    for (const auto& [name, e] : files_)
      if (e != top_) text += pprint_to_string(form_of(e)) + "\n";
    text += pprint_to_string(form_of(top_)) + "\n";
    return text;
  }

 private:
  static std::string header() {
    return ";; -*- sdsim model file -*-\n(:" + std::string(model_header) + " 1)\n";
  }

  ref form_of(const entity_ptr& e) {
    if (e == top_) return cons(kw("MODEL"), instance_spec(*e));
    ref slots = contents_spec(*e);
    if (packed_) slots = cons(kw("ID"), cons(make_string(names_[e.get()]), slots));
    return cons(kw("CONTENTS"), slots);
  }

  static std::string file_name(const entity& e) {
    return e.d.filename ? *e.d.filename : e.sysid() + "." + std::string(component_file_type(e));
  }

  void add_file(const entity_ptr& e, const std::string& name) {
    // A cluster file name names a file in the target directory, nothing else.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
      save_failed("Cannot save " + e->describe() + " as '" + name + "': that is no plain file name.");
    auto [it, added] = files_.emplace(name, e);
    if (!added && it->second != e)
      save_failed("Cannot save " + e->describe() + " and " + it->second->describe() + " both as '" + name +
                  "'.");
    names_[e.get()] = name;
  }

  void collect(const entity_ptr& c) {
    if (!c || !seen_.insert(c.get()).second) return;
    if (c->d.real) add_file(c, file_name(*c));
    for (const auto& child : c->d.children) {
      collect(child->d.contents);
      collect(child->d.master);
    }
  }

  ref contents_ref(const entity_ptr& c) {
    if (auto it = names_.find(c.get()); it != names_.end())
      return packed_ ? make_string(it->second) : list({kw("FILE"), make_string(it->second)});
    return contents_spec(*c);
  }

  static void put(std::vector<ref>& plist, std::string_view key, const ref& value) {
    plist.push_back(kw(key));
    plist.push_back(value);
  }
  static void put_text(std::vector<ref>& plist, std::string_view key, const std::optional<std::string>& s) {
    if (s) put(plist, key, make_string(*s));
  }

  static void common(std::vector<ref>& p, const entity& e) {
    put(p, "SYSID", make_string(e.sysid()));
    put_text(p, "NAME", e.d.name);
    put(p, "TYPE", make_string(e.d.type_name));
    put_text(p, "FILENAME", e.d.filename);
    if (!e.d.modifiable) put(p, "MODIFIABLE", nil());
    if (!is_nil(e.d.db_flags)) put(p, "DB-FLAGS", e.d.db_flags);
    std::vector<ref> attributes;
    for (const auto& a : e.d.attributes) attributes.push_back(cons(make_string(a.name), a.values));
    if (!attributes.empty()) put(p, "ATTRIBUTES", list_from(attributes));
    std::vector<ref> features;
    for (const auto& f : e.d.features) {
      if (!f->d.universal) {
        features.push_back(make_string(f->d.type_name));
      } else if (getf(f->d.properties, kw("FILING")) != kw("NONE")) {
        features.push_back(cons(kw("UNIVERSAL"), f->d.properties));
      }
    }
    if (!features.empty()) put(p, "FEATURES", list_from(features));
  }

  ref instance_spec(const entity& i) {
    std::vector<ref> p;
    common(p, i);
    put(p, "CONTENTS", contents_ref(i.d.contents));
    if (i.d.master) put(p, "MASTER", contents_ref(i.d.master));
    if (i.d.simplification) put(p, "SIMPLIFICATION", t());
    return list_from(p);
  }

  ref contents_spec(const entity& c) {
    std::vector<ref> p;
    common(p, c);
    put(p, "TIMESTAMP", make_double(c.d.timestamp));
    put_text(p, "SYMBOLIC-VERSION", c.d.symbolic_version);
    put_text(p, "SYMBOLIC-NAME", c.d.symbolic_name);
    if (c.d.real != session::standard_contents_type(c.d.type_name)) put(p, "REAL", boolean(c.d.real));
    if (c.d.library) put(p, "LIBRARY", t());
    if (c.d.inseparable) put(p, "INSEPARABLE", t());
    if (c.d.lav != session::lav_role::none)
      put(p, "LAV", kw(c.d.lav == session::lav_role::version ? "VERSION" : "ORIGINAL"));
    // An original outside the saved model cannot be referred to from its files.
    if (entity_ptr o = c.d.original.lock(); o && names_.count(o.get())) put(p, "ORIGINAL", contents_ref(o));
    put_text(p, "LAV-GROUP", c.d.lav_group);
    if (!is_nil(c.d.check_result)) put(p, "CHECK-RESULT", c.d.check_result);
    put_text(p, "CHECK-ERROR", c.d.check_error);
    std::vector<ref> children;
    for (const auto& child : c.d.children) children.push_back(instance_spec(*child));
    if (!children.empty()) put(p, "CHILDREN", list_from(children));
    return list_from(p);
  }

  entity_ptr top_;
  bool packed_;
  std::map<std::string, entity_ptr> files_;
  std::unordered_map<const entity*, std::string> names_;
  std::unordered_set<const entity*> seen_;
};

}  // namespace

std::string_view component_file_type(const entity& e) {
  for (const auto& p : file_types)
    if (p.type_name == e.d.type_name) return p.file_type;
  return e.is_instance() ? "sdx" : "sdxc";
}

void write_component_files(const entity_ptr& top, const std::filesystem::path& directory, bool overwrite) {
  component_writer writer(top, false);
  writer.plan();
  writer.write(directory, overwrite);
}

file_part append_packed_model(const entity_ptr& top, const std::filesystem::path& file) {
  component_writer writer(top, true);
  writer.plan();
  const std::string text = writer.packed_text();
  const auto failed = [&](int err) {
    save_failed("Cannot write '" + file.string() + "': " + std::strerror(err) + ".");
  };
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) failed(errno);
  struct stat st {};
  int err = ::fstat(fd, &st) == 0 ? 0 : errno;
  const file_part part{static_cast<std::uintmax_t>(st.st_size), text.size()};
  std::size_t size = err ? 0 : fitting(text.size(), err);
  for (const char* at = text.data(); size > 0;) {
    const ssize_t n = ::write(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  if (err) {
    // Cut off again; a tail left when that fails belongs to no model either.
    [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(part.offset));
  }
  ::close(fd);
  if (err) failed(err);
  return part;
}

}  // namespace sim::files
