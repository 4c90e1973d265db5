#include "records/record_print.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>

#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/symbol_names.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

constexpr std::size_t line_length = 80;

// Whether s is ASCII without '"', '\\' and line breaks, eight bytes at a
// time: most texts of records are, and print as they are, one byte a
// character.
bool plain_ascii(std::string_view s) {
  constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
  const auto has_zero_byte = [](std::uint64_t x) { return (x - ones) & ~x & highs; };
  std::uint64_t special = 0;
  std::size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    special |= (w & highs) | has_zero_byte(w ^ (ones * '"')) | has_zero_byte(w ^ (ones * '\\')) |
               has_zero_byte(w ^ (ones * '\n'));
  }
  for (; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    special |= (c & 0x80) | (c == '"') | (c == '\\') | (c == '\n');
  }
  return special == 0;
}

std::size_t utf8_characters(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
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
    l.ascii(" ");
    l.newline(true);
    if (!hl::consp(rest)) {
      l.ascii(". ");
      if (!print_lisp(l, rest)) return false;
      break;
    }
  }
  l.end_block(")");
  return true;
}

}  // namespace

void pretty_layout::clear() {
  flat_.clear();
  chars_ = 0;
  depth_ = 0;
  deepest_ = 0;
  ops_.clear();
}

void pretty_layout::text(std::string_view s) {
  flat_ += s;
  chars_ += utf8_characters(s);
}

bool pretty_layout::quoted(std::string_view s) {
  if (plain_ascii(s)) {
    flat_ += '"';
    flat_ += s;
    flat_ += '"';
    chars_ += s.size() + 2;
    return true;
  }
  if (s.find('\n') != std::string_view::npos) return false;
  flat_ += '"';
  std::size_t chars = 2, from = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    chars += (c & 0xC0) != 0x80;
    if (c == '"' || c == '\\') {
      flat_.append(s, from, i - from);
      flat_ += '\\';
      ++chars;
      from = i;
    }
  }
  flat_.append(s, from);
  flat_ += '"';
  chars_ += chars;
  return true;
}

void pretty_layout::finish(std::string& out) {
  const std::size_t n = ops_.size();
  constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
  // The section of a newline or block ends at the next newline of its
  // block or of one around it; the text from here to there is what has to
  // fit on the line.
  section_end_.resize(n);
  block_end_.resize(n);
  next_newline_.assign(deepest_ + 1, none);
  open_.clear();
  for (std::size_t i = n; i-- > 0;) {
    const op& o = ops_[i];
    switch (o.kind) {
      case op_kind::block_end:
        open_.push_back(i);
        break;
      case op_kind::block_start:
        section_end_[i] = next_newline_[o.depth];
        block_end_[i] = open_.back();
        open_.pop_back();
        break;
      case op_kind::fill:
      case op_kind::linear:
        section_end_[i] = next_newline_[o.depth];
        for (std::size_t d = o.depth; d <= deepest_; ++d) next_newline_[d] = i;
        break;
    }
  }

  blocks_.assign(1, {0, 0});
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
        if (o.kind == op_kind::fill && line <= blocks_.back().section_start_line && fits(section_end_[i]))
          break;
        out.append(flat_, emitted, o.bytes - emitted);
        while (out.size() > line_start && out.back() == ' ') out.pop_back();
        out += '\n';
        ++line;
        line_start = out.size();
        block& b = blocks_.back();
        out.append(static_cast<std::size_t>(b.indentation), ' ');
        emitted = o.bytes;
        shift = b.indentation - static_cast<std::ptrdiff_t>(o.posn);
        b.section_start_line = line;
        break;
      }
      case op_kind::block_start:
        if (fits(section_end_[i])) {
          i = block_end_[i];  // the whole block on this line
          break;
        }
        blocks_.push_back({static_cast<std::ptrdiff_t>(o.posn) + shift, line});
        break;
      case op_kind::block_end:
        blocks_.pop_back();
        break;
    }
  }
  out.append(flat_, emitted);
}

bool print_string(pretty_layout& l, std::string_view s) { return l.quoted(s); }

bool print_keyword(pretty_layout& l, std::string_view name) {
  if (hl::symbol_name_needs_bars(name)) return false;
  l.ascii(":");
  l.ascii(name);  // names without bars are ASCII
  return true;
}

void print_nil(pretty_layout& l) { l.ascii("NIL"); }

void print_integer(pretty_layout& l, std::int64_t v) {
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  l.ascii(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// Whether magnitude is exactly (digits + 1/2) * 10^q: half-way between two
// neighbouring decimals of as many digits.
bool exactly_half_way(double magnitude, std::uint64_t digits, int q) {
  int e;
  const double fraction = std::frexp(magnitude, &e);
  auto f = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  e -= 53;
  while (f % 2 == 0) f /= 2, ++e;  // magnitude = f * 2^e, f odd
  // 2 f 2^e = (2 digits + 1) 10^q, whose left side is odd only where the
  // powers of two cancel: e + 1 == q.
  if (e + 1 != q) return false;
  const unsigned __int128 odd = 2 * static_cast<unsigned __int128>(digits) + 1;
  unsigned __int128 five_power = 1;
  for (int i = 0; i < std::abs(q); ++i) {
    five_power *= 5;
    if (five_power > (static_cast<unsigned __int128>(1) << 64)) return false;
  }
  return q >= 0 ? f == odd * five_power : f * five_power == odd;
}

// The shortest digits that read back to v, which is what the host prints,
// come from std::to_chars. The two differ where two shortest forms are
// equally near v: the host takes the upper one, to_chars the even one; so
// the host prints those, and the subnormals, which it prints with more
// digits than the shortest.
bool print_double(pretty_layout& l, double v) {
  if (!std::isfinite(v)) return false;
  const double magnitude = std::fabs(v);
  const auto left_to_host = [&] {
    l.text(hl::format_double(v));
    return true;
  };
  if (magnitude < std::numeric_limits<double>::min()) return left_to_host();
  char scientific[32];
  const auto [end, ec] =
      std::to_chars(scientific, scientific + sizeof scientific, magnitude, std::chars_format::scientific);
  // d[.ddd]e[+-]x: the digits, and k with magnitude = 0.digits * 10^k.
  const std::string_view form(scientific, static_cast<std::size_t>(end - scientific));
  const std::size_t e = form.find('e');
  char digits_buffer[20];
  std::size_t digit_count = 0;
  std::uint64_t digits_value = 0;
  for (char c : form.substr(0, e))
    if (c != '.') {
      digits_buffer[digit_count++] = c;
      digits_value = digits_value * 10 + static_cast<std::uint64_t>(c - '0');
    }
  const std::string_view digits(digits_buffer, digit_count);
  int exponent = 0;
  const char* x = form.data() + e + 1;
  if (*x == '+') ++x;
  std::from_chars(x, form.data() + form.size(), exponent);
  const int k = exponent + 1;
  const int n = static_cast<int>(digits.size());
  if (digits_value % 2 == 0 && exactly_half_way(magnitude, digits_value, k - n)) return left_to_host();

  char out[48];
  std::size_t len = 0;
  const auto put = [&](std::string_view t) {
    t.copy(out + len, t.size());
    len += t.size();
  };
  if (std::signbit(v)) put("-");
  if (magnitude >= 1e-3 && magnitude < 1e7) {
    if (k <= 0) {
      put("0.");
      for (int i = 0; i < -k; ++i) put("0");
      put(digits);
    } else if (k >= n) {
      put(digits);
      for (int i = 0; i < k - n; ++i) put("0");
      put(".0");
    } else {
      put(digits.substr(0, static_cast<std::size_t>(k)));
      put(".");
      put(digits.substr(static_cast<std::size_t>(k)));
    }
    put("d0");
  } else {
    put(digits.substr(0, 1));
    put(".");
    put(n > 1 ? digits.substr(1) : "0");
    put("d");
    char exp[8];
    const auto [exp_end, exp_ec] = std::to_chars(exp, exp + sizeof exp, k - 1);
    put(std::string_view(exp, static_cast<std::size_t>(exp_end - exp)));
  }
  l.ascii(std::string_view(out, len));
  return true;
}

// Printing a symbol is slow and every record prints its structure's name,
// so the name is printed again only when what decides its prefix changes:
// the current package, the symbol accessible there, the symbol's export.
const std::string& printed_structure_name(const hl::struct_type& type) {
  struct printed {
    const hl::struct_type* type;
    const hl::package* package;
    const hl::symbol* accessible;
    bool external;
    std::string name;
  };
  thread_local std::deque<printed> cache;  // references stay valid as it grows
  const hl::symbol& name = *type.name;
  const hl::package* package = &hl::current_package();
  const hl::symbol* accessible = hl::find_symbol(name.name, *package);
  const bool external = name.home_package && name.home_package->externals.contains(name.name);
  for (printed& p : cache)
    if (p.type == &type) {
      if (p.package != package || p.accessible != accessible || p.external != external)
        p = {&type, package, accessible, external, hl::prin1_to_string(hl::ref(type.name))};
      return p.name;
    }
  cache.push_back({&type, package, accessible, external, hl::prin1_to_string(hl::ref(type.name))});
  return cache.back().name;
}

bool text_print<record_path>::print(pretty_layout& l, const record_path& v) {
  if (v.empty()) {
    print_nil(l);
    return true;
  }
  const std::string& s = v.string();
  // The host's pathname drops empty directory names; such paths are left
  // to it.
  if (s.find("//") != std::string::npos) return false;
  l.ascii("#P");
  return l.quoted(s);
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
