// The file system side of pathnames: wild matching, directory listing and
// the single-file operations (probe, write date, rename, delete, create).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/time.h"

namespace host::lisp {

namespace fs = std::filesystem;

namespace {

bool glob_match(std::string_view pattern, std::string_view text) {
  // Iterative match of '*' with one backtrack point: linear for the simple
  // patterns of file names.
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool has_star(std::string_view s) { return s.find('*') != std::string_view::npos; }

// A name or type of a pattern, decided once per listing.
struct part_pattern {
  enum kind_t { absent, any, literal, glob } kind = absent;
  std::string text;

  explicit part_pattern(const std::optional<std::string>& p) {
    if (!p) return;
    text = *p;
    kind = text == "*" ? any : has_star(text) ? glob : literal;
  }
  // Listing semantics: a missing type matches only a missing type; :wild
  // matches a missing one too.
  bool matches(const std::optional<std::string>& v) const {
    switch (kind) {
      case absent:
        return !v;
      case any:
        return true;
      case literal:
        return v && *v == text;
      case glob:
        return v && glob_match(text, *v);
    }
    return false;
  }
};

struct directory_pattern {
  enum kind_t { literal, glob, wild, wild_inferiors, up } kind;
  std::string text;
};

directory_pattern compile_component(const ref& c) {
  if (stringp(c)) {
    const std::string& s = as_string(c);
    return {has_star(s) ? directory_pattern::glob : directory_pattern::literal, s};
  }
  const std::string& k = as_symbol(c).name;
  if (k == "WILD") return {directory_pattern::wild, {}};
  if (k == "WILD-INFERIORS") return {directory_pattern::wild_inferiors, {}};
  return {directory_pattern::up, {}};  // :UP, :BACK
}

struct entry {
  std::string name;
  bool directory;
  bool symlink;
};

// Lists a directory; a directory that vanished or is no directory lists
// empty, any other failure is an error.
std::vector<entry> read_entries(const std::string& dir) {
  std::vector<entry> out;
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    bool link = it->is_symlink(ec2);
    bool is_dir = link ? fs::is_directory(it->path(), ec2) : it->is_directory(ec2);
    if (link && !fs::exists(it->path(), ec2)) continue;  // dangling
    out.push_back({it->path().filename().string(), is_dir, link});
  }
  if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
    file_error("Cannot list the directory", dir, ec.value());
  return out;
}

// Parts of an absolute native path, as file or as directory.
pathname_parts native_parts(const std::string& path, bool as_directory) {
  if (!as_directory) return parse_namestring(path);
  return parse_namestring(path == "/" ? path : path + "/");
}

class lister {
 public:
  explicit lister(const pathname_parts& pattern) : name_(pattern.name), type_(pattern.type) {
    for (std::size_t i = 1; i < pattern.directory.size(); ++i)
      components_.push_back(compile_component(pattern.directory[i]));
    absolute_ = !pattern.directory.empty() && as_symbol(pattern.directory[0]).name == "ABSOLUTE";
  }

  std::vector<ref> run() {
    fs::path start = absolute_ ? fs::path("/") : fs::current_path();
    std::size_t i = 0;
    for (; i < components_.size(); ++i) {
      auto k = components_[i].kind;
      if (k == directory_pattern::literal)
        start /= components_[i].text;
      else if (k == directory_pattern::up)
        start /= "..";
      else
        break;
    }
    std::error_code ec;
    fs::path root = fs::canonical(start, ec);
    if (!ec && fs::is_directory(root, ec)) {
      pathname_parts parts = native_parts(root.string(), true);
      walk(directory_namestring(parts), parts.directory, i);
    }
    std::sort(found_.begin(), found_.end(), [](auto& a, auto& b) { return a.first < b.first; });
    found_.erase(
        std::unique(found_.begin(), found_.end(), [](auto& a, auto& b) { return a.first == b.first; }),
        found_.end());
    std::vector<ref> out;
    out.reserve(found_.size());
    for (auto& f : found_) out.push_back(std::move(f.second));
    return out;
  }

 private:
  void walk(const std::string& dir, const std::vector<ref>& parts, std::size_t idx) {
    if (idx == components_.size()) {
      if (name_.kind == part_pattern::absent && type_.kind == part_pattern::absent)
        emit_directory(dir, parts);
      else if (name_.kind == part_pattern::literal && type_.kind != part_pattern::any &&
               type_.kind != part_pattern::glob)
        emit_single(dir, parts);
      else
        emit_entries(dir, parts, read_entries(dir));
      return;
    }
    const directory_pattern& c = components_[idx];
    switch (c.kind) {
      case directory_pattern::literal: {
        std::error_code ec;
        if (fs::is_directory(dir + c.text, ec))
          descend(dir, parts, {c.text, true, fs::is_symlink(dir + c.text, ec)}, idx + 1);
        break;
      }
      case directory_pattern::up: {
        std::error_code ec;
        fs::path up = fs::canonical(dir + "..", ec);
        if (!ec) {
          pathname_parts p = native_parts(up.string(), true);
          walk(directory_namestring(p), p.directory, idx + 1);
        }
        break;
      }
      case directory_pattern::wild:
      case directory_pattern::glob:
        for (const entry& e : read_entries(dir))
          if (e.directory && (c.kind == directory_pattern::wild || glob_match(c.text, e.name)))
            descend(dir, parts, e, idx + 1);
        break;
      case directory_pattern::wild_inferiors: {
        // One listing serves both the files of this level and the descent.
        std::vector<entry> entries = read_entries(dir);
        bool files_here = idx + 1 == components_.size() &&
                          !(name_.kind == part_pattern::absent && type_.kind == part_pattern::absent);
        if (files_here)
          emit_entries(dir, parts, entries);
        else
          walk(dir, parts, idx + 1);
        for (const entry& e : entries)
          if (e.directory && !e.symlink) descend(dir, parts, e, idx);
        break;
      }
    }
  }

  void descend(const std::string& dir, const std::vector<ref>& parts, const entry& e, std::size_t idx) {
    if (e.symlink) {
      std::error_code ec;
      fs::path target = fs::canonical(dir + e.name, ec);
      if (ec) return;
      pathname_parts p = native_parts(target.string(), true);
      walk(directory_namestring(p), p.directory, idx);
      return;
    }
    std::vector<ref> sub = parts;
    sub.push_back(make_string(e.name));
    walk(dir + e.name + "/", sub, idx);
  }

  void emit_directory(const std::string& dir, const std::vector<ref>& parts) {
    pathname_parts p;
    p.directory = parts;
    found_.emplace_back(dir, make_pathname_obj(std::move(p)));
  }

  void emit_single(const std::string& dir, const std::vector<ref>& parts) {
    pathname_parts want;
    want.name = name_.text;
    if (type_.kind == part_pattern::literal) want.type = type_.text;
    std::string file = file_namestring(want);
    std::error_code ec;
    fs::file_status st = fs::symlink_status(dir + file, ec);
    if (ec || !fs::exists(st)) return;
    entry e{file, false, fs::is_symlink(st)};
    e.directory = fs::is_directory(dir + file, ec);
    if (e.symlink && !fs::exists(dir + file, ec)) return;
    emit_entries(dir, parts, {e});
  }

  void emit_entries(const std::string& dir, const std::vector<ref>& parts,
                    const std::vector<entry>& entries) {
    pathname_parts split;
    for (const entry& e : entries) {
      split_file_name(e.name, split);
      if (!name_.matches(split.name) || !type_.matches(split.type)) continue;
      if (e.symlink) {
        std::error_code ec;
        fs::path target = fs::canonical(dir + e.name, ec);
        if (ec) continue;
        pathname_parts p = native_parts(target.string(), e.directory);
        std::string ns = namestring(p);
        found_.emplace_back(std::move(ns), make_pathname_obj(std::move(p)));
        continue;
      }
      pathname_parts p;
      p.directory = parts;
      if (e.directory) {
        p.directory.push_back(make_string(e.name));
        found_.emplace_back(dir + e.name + "/", make_pathname_obj(std::move(p)));
      } else {
        p.name = std::move(split.name);
        p.type = std::move(split.type);
        found_.emplace_back(dir + e.name, make_pathname_obj(std::move(p)));
      }
    }
  }

  std::vector<directory_pattern> components_;
  bool absolute_ = false;
  part_pattern name_, type_;
  std::vector<std::pair<std::string, ref>> found_;
};

// pathname-match-p semantics: a missing part of the wild pathname matches
// anything.
bool part_match(const std::optional<std::string>& value, const std::optional<std::string>& wild) {
  if (!wild || *wild == "*") return true;
  if (!value) return false;
  return has_star(*wild) ? glob_match(*wild, *value) : *value == *wild;
}

bool component_match(const ref& value, const ref& wild) {
  if (stringp(wild)) {
    if (!stringp(value)) return false;
    const std::string& w = as_string(wild);
    return has_star(w) ? glob_match(w, as_string(value)) : w == as_string(value);
  }
  if (as_symbol(wild).name == "WILD") return true;
  return value == wild;
}

bool directory_match(const std::vector<ref>& value, std::size_t vi, const std::vector<ref>& wild,
                     std::size_t wi) {
  for (; wi < wild.size(); ++wi, ++vi) {
    if (symbolp(wild[wi]) && as_symbol(wild[wi]).name == "WILD-INFERIORS") {
      for (std::size_t skip = vi; skip <= value.size(); ++skip)
        if (directory_match(value, skip, wild, wi + 1)) return true;
      return false;
    }
    if (vi >= value.size() || !component_match(value[vi], wild[wi])) return false;
  }
  return vi == value.size();
}

void check_not_wild(const pathname_parts& p) {
  if (wild_p(p))
    signal("FILE-ERROR", "The pathname \"" + namestring(p) + "\" is wild and names no single file.");
}

}  // namespace

bool wild_p(const pathname_parts& p) {
  for (std::size_t i = 1; i < p.directory.size(); ++i) {
    const ref& c = p.directory[i];
    if (stringp(c) ? has_star(as_string(c)) : as_symbol(c).name.starts_with("WILD")) return true;
  }
  return (p.name && has_star(*p.name)) || (p.type && has_star(*p.type));
}

bool pathname_match_p(const pathname_parts& p, const pathname_parts& wild) {
  if (!part_match(p.name, wild.name) || !part_match(p.type, wild.type)) return false;
  if (wild.directory.empty()) return true;
  if (p.directory.empty())
    return wild.directory[0] == ref(&keyword("RELATIVE")) && directory_match({}, 0, wild.directory, 1);
  return p.directory[0] == wild.directory[0] && directory_match(p.directory, 1, wild.directory, 1);
}

std::vector<ref> directory(const pathname_parts& pattern) { return lister(pattern).run(); }

ref probe_file(const ref& designator) {
  const pathname_parts parts = as_pathname(pathname(designator)).parts;
  check_not_wild(parts);
  fs::path path = to_path(designator);
  if (path.empty()) return nil();
  std::error_code ec;
  fs::path truename = fs::canonical(path, ec);
  if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) return nil();
  if (ec) file_error("Cannot find the truename of the file", path.string(), ec.value());
  return make_pathname_obj(native_parts(truename.string(), fs::is_directory(truename, ec)));
}

std::int64_t file_write_date(const ref& designator) {
  fs::path path = to_path(designator);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    file_error("Cannot read the write date of the file", path.string(), errno);
  return universal_from_unix(st.st_mtime);
}

ref rename_file(const ref& from, const ref& to) {
  const pathname_parts from_parts = as_pathname(pathname(from)).parts;
  check_not_wild(from_parts);
  ref target = make_pathname(merge_pathnames(as_pathname(pathname(to)).parts, from_parts));
  check_not_wild(as_pathname(target).parts);
  fs::path source = to_path(from), dest = to_path(target);
  if (::rename(source.c_str(), dest.c_str()) != 0) {
    int err = errno;
    signal("FILE-ERROR", "Cannot rename the file \"" + source.string() + "\" to \"" + dest.string() +
                             "\": " + std::strerror(err));
  }
  return target;
}

bool delete_file(const ref& designator) {
  check_not_wild(as_pathname(pathname(designator)).parts);
  fs::path path = to_path(designator);
  if (::unlink(path.c_str()) != 0) file_error("Cannot delete the file", path.string(), errno);
  return true;
}

bool ensure_directories_exist(const ref& designator) {
  const pathname_parts parts = as_pathname(pathname(designator)).parts;
  check_not_wild(parts);
  pathname_parts dir;
  dir.directory = parts.directory;
  if (dir.directory.empty()) return false;
  std::string native = to_path(make_pathname_obj(std::move(dir))).string();
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  fs::path path = native;
  std::error_code ec;
  bool created = fs::create_directories(path, ec);
  if (ec) file_error("Cannot create the directory", path.string(), ec.value());
  return created;
}

}  // namespace host::lisp
