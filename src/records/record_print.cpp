#include "records/record_print.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "host/lisp/printer.h"
#include "host/lisp/symbol_names.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

constexpr std::size_t line_length = 80;

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

bool print_lisp(pretty_layout& l, const hl::ref& v) {
  if (hl::is_nil(v)) {
    print_nil(l);
    return true;
  }
  switch (v->type) {
    case hl::tag::symbol:
      return hl::keywordp(v) && print_keyword(l, hl::as_symbol(v).name);
    case hl::tag::string:
      return print_string(l, hl::as_string(v));
    case hl::tag::integer:
      print_integer(l, hl::as_integer(v));
      return true;
    case hl::tag::dfloat:
      return print_double(l, hl::as_number(v));
    case hl::tag::cons:
      break;
    default:
      return false;
  }
  // A list headed by a symbol naming a function is laid out as a call.
  if (hl::symbolp(hl::car(v)) && !hl::is_nil(hl::as_symbol(hl::car(v)).function)) return false;
  l.start_block("(");
  hl::ref rest = v;
  for (;;) {
    if (!print_lisp(l, hl::car(rest))) return false;
    rest = hl::cdr(rest);
    if (hl::is_nil(rest)) break;
    l.text(" ");
    l.newline(true);
    if (!hl::consp(rest)) {
      l.text(". ");
      if (!print_lisp(l, rest)) return false;
      break;
    }
  }
  l.end_block(")");
  return true;
}

}  // namespace

void pretty_layout::text(std::string_view s) {
  flat_ += s;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++chars_;
}

void pretty_layout::start_block(std::string_view prefix) {
  text(prefix);
  ops_.push_back({op_kind::block_start, depth_++, chars_, flat_.size()});
}

void pretty_layout::end_block(std::string_view suffix) {
  ops_.push_back({op_kind::block_end, --depth_, chars_, flat_.size()});
  text(suffix);
}

void pretty_layout::newline(bool fill) {
  ops_.push_back({fill ? op_kind::fill : op_kind::linear, depth_, chars_, flat_.size()});
}

void pretty_layout::finish(std::string& out) {
  const std::size_t n = ops_.size();
  constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
  // The section of a newline or block ends at the next newline of its
  // block or of one around it; the text from here to there is what has to
  // fit on the line.
  std::vector<std::size_t> section_end(n, none), block_end(n, none);
  unsigned deepest = 0;
  for (const op& o : ops_) deepest = std::max(deepest, o.depth);
  std::vector<std::size_t> next_newline(deepest + 1, none);
  for (std::size_t i = n; i-- > 0;) {
    const op& o = ops_[i];
    if (o.kind == op_kind::block_end) continue;
    section_end[i] = next_newline[o.depth];
    if (o.kind != op_kind::block_start)
      for (std::size_t d = o.depth; d < next_newline.size(); ++d) next_newline[d] = i;
  }
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < n; ++i) {
    if (ops_[i].kind == op_kind::block_start) open.push_back(i);
    if (ops_[i].kind == op_kind::block_end) {
      block_end[open.back()] = i;
      open.pop_back();
    }
  }

  struct block {
    std::ptrdiff_t indentation;
    std::size_t section_start_line;
  };
  std::vector<block> blocks{{0, 0}};
  std::ptrdiff_t shift = 0;  // a position's column is posn + shift
  std::size_t line = 0, emitted = 0, line_start = out.size();
  const auto fits = [&](std::size_t end) {
    const std::size_t posn = end == none ? chars_ : ops_[end].posn;
    return static_cast<std::ptrdiff_t>(posn) + shift <= static_cast<std::ptrdiff_t>(line_length);
  };
  for (std::size_t i = 0; i < n; ++i) {
    const op& o = ops_[i];
    switch (o.kind) {
      case op_kind::fill:
      case op_kind::linear: {
        if (o.kind == op_kind::fill && line <= blocks.back().section_start_line && fits(section_end[i]))
          break;
        out.append(flat_, emitted, o.bytes - emitted);
        while (out.size() > line_start && out.back() == ' ') out.pop_back();
        out += '\n';
        ++line;
        line_start = out.size();
        block& b = blocks.back();
        out.append(static_cast<std::size_t>(b.indentation), ' ');
        emitted = o.bytes;
        shift = b.indentation - static_cast<std::ptrdiff_t>(o.posn);
        b.section_start_line = line;
        break;
      }
      case op_kind::block_start:
        if (fits(section_end[i])) {
          i = block_end[i];  // the whole block on this line
          break;
        }
        blocks.push_back({static_cast<std::ptrdiff_t>(o.posn) + shift, line});
        break;
      case op_kind::block_end:
        blocks.pop_back();
        break;
    }
  }
  out.append(flat_, emitted);
}

bool print_string(pretty_layout& l, std::string_view s) {
  // A line break in a string is a literal newline, left to the host.
  if (s.find('\n') != std::string_view::npos) return false;
  std::string quoted;
  quoted.reserve(s.size() + 2);
  append_quoted(quoted, s);
  l.text(quoted);
  return true;
}

bool print_keyword(pretty_layout& l, std::string_view name) {
  if (hl::symbol_name_needs_bars(name)) return false;
  std::string text;
  text.reserve(name.size() + 1);
  text += ':';
  text += name;
  l.text(text);
  return true;
}

void print_nil(pretty_layout& l) { l.text("NIL"); }

void print_integer(pretty_layout& l, std::int64_t v) {
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  l.text(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// The host's digits: where several shortest forms exist it picks the last
// digit as SBCL does, which is not always the nearest one.
bool print_double(pretty_layout& l, double v) {
  if (!std::isfinite(v)) return false;
  l.text(hl::format_double(v));
  return true;
}

std::string printed_structure_name(const hl::struct_type& type) {
  return hl::prin1_to_string(hl::ref(type.name));
}

bool text_print<std::filesystem::path>::print(pretty_layout& l, const std::filesystem::path& v) {
  if (v.empty()) {
    print_nil(l);
    return true;
  }
  const std::string& s = v.native();
  // The host's pathname drops empty directory names; such paths are left
  // to it.
  if (s.find("//") != std::string::npos || s.find('\n') != std::string::npos) return false;
  std::string text = "#P";
  append_quoted(text, s);
  l.text(text);
  return true;
}

bool text_print<core::keyword_name>::print(pretty_layout& l, const core::keyword_name& v) {
  if (v.is_nil()) {
    print_nil(l);
    return true;
  }
  return print_keyword(l, v.name);
}

bool text_print<core::lisp_datum>::print(pretty_layout& l, const core::lisp_datum& v) {
  return print_lisp(l, v.value);
}

bool text_print<sysid_value>::print(pretty_layout& l, const sysid_value& v) {
  if (v.is_nil()) {
    print_nil(l);
    return true;
  }
  return v.persisted() && print_string(l, v.string());
}

bool text_print<share>::print(pretty_layout& l, const share& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s && print_string(l, *s);
}

bool text_print<change_key>::print(pretty_layout& l, const change_key& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return print_string(l, *s);
  if (const auto* k = std::get_if<cluster_composite_key>(&v))
    return text_print<cluster_composite_key>::print(l, *k);
  print_nil(l);
  return true;
}

// An error object is written as its message; print_lisp leaves it to the host.
bool text_print<load_status>::print(pretty_layout& l, const load_status& v) { return print_lisp(l, v.value); }

bool print_component_record(const component_record& r, std::string& out) {
  return std::visit([&](const auto& record) { return print_record(record, out); }, r);
}

}  // namespace vtm::records
