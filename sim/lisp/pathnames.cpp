// Pathname syntax on POSIX namestrings: parsing, printing, construction and
// merging. Nothing here touches the file system.
//
// A namestring is never escaped: the parts of a parsed namestring print back
// to the same text, and parsing that text gives equal parts. Pathnames built
// with make_pathname keep that property because the directory is brought to
// the parser's form ("*" is :wild, "**" :wild-inferiors, ".." :up, a bare
// (:relative) is no directory). Parts the syntax cannot say do not survive a
// round trip: a name holding a dot but no type, a type without a name
// (printed ".type"), and the device, which POSIX namestrings do not show.
#include "host/lisp/pathnames.h"

#include <cerrno>
#include <cstring>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"

namespace host::lisp {

namespace {

struct directory_keywords {
  symbol* absolute = &keyword("ABSOLUTE");
  symbol* relative = &keyword("RELATIVE");
  symbol* wild = &keyword("WILD");
  symbol* wild_inferiors = &keyword("WILD-INFERIORS");
  symbol* up = &keyword("UP");
  symbol* back = &keyword("BACK");
};

const directory_keywords& kw() {
  static const directory_keywords k;
  return k;
}

bool is_kw(const ref& r, const symbol* s) { return r.get() == s; }

// One directory component as the parser reads it.
ref directory_component(std::string_view text) {
  if (text == "*") return ref(kw().wild);
  if (text == "**") return ref(kw().wild_inferiors);
  if (text == "..") return ref(kw().up);
  return make_string(text);
}

std::vector<ref> canonical_directory(const std::vector<ref>& directory) {
  if (directory.size() == 1 && is_kw(directory[0], kw().relative)) return {};
  std::vector<ref> out;
  out.reserve(directory.size());
  for (const ref& c : directory) out.push_back(stringp(c) ? directory_component(as_string(c)) : c);
  return out;
}

symbol& default_pathname_defaults() {
  static symbol& s = cl_symbol("*DEFAULT-PATHNAME-DEFAULTS*");
  return s;
}

}  // namespace

void split_file_name(std::string_view file_name, pathname_parts& into) {
  into.name.reset();
  into.type.reset();
  if (file_name.empty()) return;
  std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    into.name = std::string(file_name);
  } else {
    into.name = std::string(file_name.substr(0, dot));
    into.type = std::string(file_name.substr(dot + 1));
  }
}

pathname_parts parse_namestring(std::string_view text) {
  pathname_parts p;
  std::size_t slash = text.rfind('/');
  if (slash != std::string_view::npos) {
    p.directory.push_back(ref(text[0] == '/' ? kw().absolute : kw().relative));
    std::string_view dir = text.substr(0, slash);
    std::size_t start = 0;
    while (start <= dir.size()) {
      std::size_t end = dir.find('/', start);
      if (end == std::string_view::npos) end = dir.size();
      if (end > start) p.directory.push_back(directory_component(dir.substr(start, end - start)));
      start = end + 1;
    }
    text = text.substr(slash + 1);
  }
  split_file_name(text, p);
  return p;
}

std::string directory_namestring(const pathname_parts& p) {
  std::string out;
  for (std::size_t i = 0; i < p.directory.size(); ++i) {
    const ref& c = p.directory[i];
    if (i == 0) {
      if (is_kw(c, kw().absolute)) out += '/';
    } else if (stringp(c)) {
      out += as_string(c);
      out += '/';
    } else if (is_kw(c, kw().wild)) {
      out += "*/";
    } else if (is_kw(c, kw().wild_inferiors)) {
      out += "**/";
    } else {  // :up and :back
      out += "../";
    }
  }
  return out;
}

std::string file_namestring(const pathname_parts& p) {
  std::string out = p.name.value_or("");
  if (p.type) out += "." + *p.type;
  return out;
}

std::string namestring(const pathname_parts& p) { return directory_namestring(p) + file_namestring(p); }

std::string namestring(const ref& pathname_designator) {
  return namestring(as_pathname(pathname(pathname_designator)).parts);
}

ref make_pathname(pathname_parts parts) {
  parts.directory = canonical_directory(parts.directory);
  return make_pathname_obj(std::move(parts));
}

ref pathname(const ref& designator) {
  switch (designator->type) {
    case tag::pathname:
      return designator;
    case tag::string:
      return make_pathname_obj(parse_namestring(as_string(designator)));
    case tag::stream: {
      const stream_obj& s = as_stream(designator);
      if (s.file) return make_pathname_obj(parse_namestring(s.name));
      break;
    }
    default:
      break;
  }
  type_error(designator, "(OR PATHNAME STRING FILE-STREAM)");
}

pathname_parts merge_pathnames(const pathname_parts& p, const pathname_parts& defaults) {
  pathname_parts out = p;
  if (!out.device) out.device = defaults.device;
  if (!out.name) out.name = defaults.name;
  if (!out.type) out.type = defaults.type;
  if (p.directory.empty()) {
    out.directory = defaults.directory;
  } else if (is_kw(p.directory[0], kw().relative) && !defaults.directory.empty()) {
    out.directory = defaults.directory;
    for (std::size_t i = 1; i < p.directory.size(); ++i) {
      const ref& c = p.directory[i];
      // :back removes the component before it; :up stays a component.
      if (is_kw(c, kw().back) && out.directory.size() > 1 && stringp(out.directory.back()))
        out.directory.pop_back();
      else
        out.directory.push_back(c);
    }
  }
  return out;
}

std::filesystem::path to_path(const ref& designator) {
  pathname_parts parts = as_pathname(pathname(designator)).parts;
  symbol& defaults = default_pathname_defaults();
  if (boundp(defaults) && is(*defaults.value, tag::pathname))
    parts = merge_pathnames(parts, as_pathname(*defaults.value).parts);
  return std::filesystem::path(namestring(parts));
}

void file_error(std::string_view what, std::string_view file, int err) {
  signal("FILE-ERROR", std::string(what) + " \"" + std::string(file) + "\": " + std::strerror(err));
}

}  // namespace host::lisp
