#include "records/record_text.h"

#include <array>
#include <cstring>

#include "host/lisp/packages.h"
#include "host/lisp/reader.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

using detail::class_of;
using detail::escape_class;
using detail::space_class;
using detail::terminating_class;
// Whitespace or a terminating macro character.
bool delimiter(char c) { return (class_of(c) & (space_class | terminating_class)) != 0; }
bool digit(char c) { return c >= '0' && c <= '9'; }

// Symbol names the reader would not upcase to themselves.
bool upper_case_name(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if ((c >= 'a' && c <= 'z') || c == ':') return false;
  return true;
}

// The prefixes under which the printer writes the module's structure names.
constexpr std::array<std::string_view, 4> package_prefixes{
    "VANTREL-MIGRATOR:", "VANTREL-MIGRATOR::", "VTM:", "VTM::"};

std::optional<std::string_view> strip_package(std::string_view token) {
  for (std::string_view prefix : package_prefixes) {
    if (!token.starts_with(prefix)) continue;
    std::string_view name = token.substr(prefix.size());
    if (upper_case_name(name)) return name;
  }
  return std::nullopt;
}

}  // namespace

bool record_text::token(std::string_view& out) {
  if (!skip_space()) return false;
  const std::size_t start = pos_;
  for (unsigned char c;
       pos_ < text_.size() && !((c = class_of(text_[pos_])) & (space_class | terminating_class)); ++pos_)
    if (c == escape_class) return false;
  out = text_.substr(start, pos_ - start);
  return !out.empty();
}

bool record_text::dot() {
  std::string_view t;
  return token(t) && t == ".";
}

std::optional<std::string_view> record_text::structure_name() {
  const std::size_t start = pos_;
  std::optional<std::string_view> name;
  std::string_view t;
  if (skip_space() && text_.substr(pos_).starts_with("#S(")) {
    pos_ += 3;
    if (token(t)) name = strip_package(t);
  }
  pos_ = start;
  return name;
}

bool record_text::open_structure(std::string_view name) {
  std::string_view t;
  if (!skip_space() || !text_.substr(pos_).starts_with("#S(")) return false;
  pos_ += 3;
  if (!token(t)) return false;
  const auto found = strip_package(t);
  return found && *found == name;
}

bool record_text::keyword(std::string_view name) {
  // The token is :NAME when the name follows the colon and a delimiter (or
  // the end) follows the name.
  if (!skip_space()) return false;
  const std::size_t end = pos_ + 1 + name.size();
  if (end > text_.size() || text_[pos_] != ':' || text_.compare(pos_ + 1, name.size(), name) != 0 ||
      (end < text_.size() && !delimiter(text_[end])))
    return false;
  pos_ = end;
  return true;
}

bool record_text::any_keyword(std::string_view& name) {
  std::string_view t;
  if (!token(t) || t[0] != ':') return false;
  name = t.substr(1);
  return upper_case_name(name);
}

bool record_text::nil() {
  const std::size_t start = pos_;
  std::string_view t;
  if (open_list()) {
    if (close_list()) return true;
  } else if (token(t) && t == "NIL") {
    return true;
  }
  pos_ = start;
  return false;
}

bool record_text::at_nil() {
  const std::size_t start = pos_;
  const bool found = nil();
  pos_ = start;
  return found;
}

bool record_text::string(std::string& out) {
  if (!skip_space() || pos_ >= text_.size() || text_[pos_] != '"') return false;
  const char* p = text_.data() + pos_ + 1;
  const char* const end = text_.data() + text_.size();
  // Most strings have no escapes: their text is copied in one piece.
  const auto* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<std::size_t>(end - p)));
  if (quote && !std::memchr(p, '\\', static_cast<std::size_t>(quote - p))) {
    out.assign(p, quote);
    pos_ = static_cast<std::size_t>(quote + 1 - text_.data());
    return true;
  }
  out.clear();
  for (const char* run = p; p < end; ++p) {
    if (*p == '"') {
      out.append(run, p);
      pos_ = static_cast<std::size_t>(p + 1 - text_.data());
      return true;
    }
    if (*p == '\\') {
      out.append(run, p);
      if (++p == end) return false;
      run = p;  // the escaped character starts the next run
    }
  }
  return false;
}

bool record_text::pathname(std::string& namestring) {
  if (!skip_space() || !text_.substr(pos_).starts_with("#P\"")) return false;
  pos_ += 2;
  return string(namestring);
}

bool record_text::integer(std::int64_t& out) {
  std::string_view t;
  if (!token(t)) return false;
  const char* first = t.data() + (t[0] == '+' ? 1 : 0);
  const char* last = t.data() + t.size();
  if (first == last || !(digit(*first) || (*first == '-' && first + 1 < last))) return false;
  const auto [end, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && end == last;
}

bool record_text::number(double& out) {
  const std::size_t start = pos_;
  std::int64_t i = 0;
  if (integer(i)) {
    out = static_cast<double>(i);
    return true;
  }
  pos_ = start;
  std::string_view t;
  if (!token(t)) return false;
  // [sign] digits . digits d [sign] digits, the printer's form of a double.
  std::string s(t);
  std::size_t p = (s[0] == '-' || s[0] == '+') ? 1 : 0;
  const auto digits = [&] {
    const std::size_t from = p;
    while (p < s.size() && digit(s[p])) ++p;
    return p > from;
  };
  if (!digits() || p >= s.size() || s[p] != '.') return false;
  ++p;
  if (!digits() || p >= s.size() || (s[p] != 'd' && s[p] != 'D')) return false;
  s[p++] = 'e';
  if (p < s.size() && (s[p] == '-' || s[p] == '+')) ++p;
  if (!digits() || p != s.size()) return false;
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(first, s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

bool record_text::datum(std::string_view& out) {
  if (!skip_space() || pos_ >= text_.size()) return false;
  const std::size_t start = pos_;
  std::string scratch;
  if (text_[pos_] == '"') {
    if (!string(scratch)) return false;
  } else if (text_[pos_] == '(' || text_.substr(pos_).starts_with("#S(")) {
    if (text_[pos_] == '#') pos_ += 2;
    int depth = 0;
    do {
      if (pos_ >= text_.size()) return false;
      const char c = text_[pos_];
      if (c == '"') {
        if (!string(scratch)) return false;
        continue;
      }
      if (c == ';' || c == '|' || c == '\\') return false;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      ++pos_;
    } while (depth > 0);
  } else if (text_[pos_] != '#') {
    std::string_view t;
    if (!token(t)) return false;
  } else {
    return false;
  }
  out = text_.substr(start, pos_ - start);
  return true;
}

bool text_value<record_path>::parse(record_text& t, record_path& out) {
  if (t.nil()) {
    out = {};
    return true;
  }
  std::string s;
  if (!t.pathname(s) && !t.string(s)) return false;
  // Parsing the namestring drops empty directory names; that case is left
  // to the host's pathname functions.
  if (s.find("//") != std::string::npos) return false;
  out = std::move(s);
  return true;
}

bool text_value<core::keyword_name>::parse(record_text& t, core::keyword_name& out) {
  if (t.nil()) {
    out = {};
    return true;
  }
  std::string_view name;
  if (!t.any_keyword(name)) return false;
  out.name = name;
  return true;
}

bool text_value<core::lisp_datum>::parse(record_text& t, core::lisp_datum& out) {
  if (t.nil()) {
    out.value = hl::ref();
    return true;
  }
  std::string_view text;
  if (!t.datum(text)) return false;
  out.value = hl::read_from_string(text);
  return true;
}

bool text_value<sysid_value>::parse(record_text& t, sysid_value& out) {
  if (t.nil()) {
    out = {};
    return true;
  }
  std::string s;
  if (!t.string(s)) return false;
  out = std::move(s);
  return true;
}

bool text_value<share>::parse(record_text& t, share& out) {
  std::string s;
  if (!t.string(s)) return false;
  out = std::move(s);
  return true;
}

bool text_value<change_key>::parse(record_text& t, change_key& out) {
  if (t.nil()) {
    out = {};
    return true;
  }
  std::string s;
  if (t.string(s)) {
    out = std::move(s);
    return true;
  }
  return text_value<cluster_composite_key>::parse(t, out.emplace<cluster_composite_key>());
}

bool text_value<load_status>::parse(record_text& t, load_status& out) {
  const std::size_t start = t.pos();
  std::string_view name;
  if (t.any_keyword(name)) {
    out.value = hl::ref(&hl::keyword(name));
    return true;
  }
  t.rewind(start);
  core::lisp_datum d;
  if (!text_value<core::lisp_datum>::parse(t, d)) return false;
  out.value = d.value;
  return true;
}

bool decode_component_record(record_text& t, component_record& out) {
  const auto name = t.structure_name();
  if (!name) return false;
  // Every slot is assigned, so a record of the same type is decoded over,
  // keeping the room of its strings and lists.
  const auto decode = [&]<class R>(std::type_identity<R>) {
    R* r = std::get_if<R>(&out);
    return text_value<R>::parse(t, r ? *r : out.emplace<R>());
  };
  if (*name == core::record_def<instance_info>::name) return decode(std::type_identity<instance_info>());
  if (*name == core::record_def<contents_info>::name) return decode(std::type_identity<contents_info>());
  return false;
}

}  // namespace vtm::records
