#include "host/lisp/printer.h"

#include <fmt/format.h>
#include <utf8.h>

#include <charconv>
#include <ostream>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "host/lisp/symbol_names.h"
#include "lisp/runtime.h"
#include "print_object.h"

namespace host::lisp {

namespace {

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

// A token the reader could take for a number (the standard's "potential
// number"): such names need bars even when no character of theirs does.
bool potential_number(std::string_view s) {
  bool has_digit = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (digit(c)) {
      has_digit = true;
    } else if (letter(c)) {
      // Adjacent letters are never number markers.
      if ((i > 0 && letter(s[i - 1])) || (i + 1 < s.size() && letter(s[i + 1]))) return false;
    } else if (std::string_view("+-/._^").find(c) == std::string_view::npos) {
      return false;
    }
  }
  const char first = s.front(), last = s.back();
  return has_digit && (digit(first) || std::string_view("+-._^").find(first) != std::string_view::npos) &&
         last != '+' && last != '-';
}

void write_name(std::string& out, std::string_view name, bool escape) {
  if (!escape || !symbol_name_needs_bars(name)) {
    out += name;
    return;
  }
  out += '|';
  for (char c : name) {
    if (c == '|' || c == '\\') out += '\\';
    out += c;
  }
  out += '|';
}

void write_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

constexpr std::string_view control_names[] = {
    "Nul", "Soh",  "Stx",    "Etx", "Eot", "Enq", "Ack", "Bel", "Backspace", "Tab", "Newline",
    "Vt",  "Page", "Return", "So",  "Si",  "Dle", "Dc1", "Dc2", "Dc3",       "Dc4", "Nak",
    "Syn", "Etb",  "Can",    "Em",  "Sub", "Esc", "Fs",  "Gs",  "Rs",        "Us",  "Space"};

void write_character(std::string& out, char32_t code, bool escape) {
  if (escape) {
    out += "#\\";
    if (code < std::size(control_names)) {
      out += control_names[code];
      return;
    }
    if (code == 127) {
      out += "Rubout";
      return;
    }
  }
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  utf8::append(code, std::back_inserter(out));
}

template <class T>
void write_integer(std::string& out, T v) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  out.append(digits, end);
}

void write_address(std::string& out, const void* p) {
  out += fmt::format("{{{:X}}}", reinterpret_cast<std::uintptr_t>(p));
}

void write_structure(std::string& out, const structure_obj& s, bool escape) {
  const nesting_guard guard;
  out += "#S(";
  write_symbol(out, *s.type->name, escape);
  for (std::size_t i = 0; i < s.slots.size(); ++i) {
    out += ' ';
    write_slot_name(out, *s.type->slots[i], escape);
    out += ' ';
    write_object(out, s.slots[i], escape);
  }
  out += ')';
}

}  // namespace

thread_local std::size_t nesting_guard::depth_ = 0;

nesting_guard::nesting_guard() {
  if (++depth_ > max_nesting) {
    --depth_;
    simple_error(
        fmt::format("The value is nested deeper than {} levels and cannot be printed.", max_nesting));
  }
}

void write_symbol(std::string& out, const symbol& s, bool escape) {
  // NIL and T get their home when the runtime starts, which printing alone
  // does not trigger.
  if (!s.home_package) initialize_runtime();
  if (escape) {
    if (!s.home_package) {
      out += "#:";
    } else if (is_keyword(s)) {
      out += ':';
    } else if (find_symbol(s.name, current_package()) != &s) {
      write_name(out, s.home_package->name, true);
      symbol_status status = symbol_status::none;
      find_symbol(s.name, *s.home_package, &status);
      out += status == symbol_status::external ? ":" : "::";
    }
  }
  write_name(out, s.name, escape);
}

void write_slot_name(std::string& out, const symbol& slot, bool escape) {
  out += ':';
  write_name(out, slot.name, escape);
}

void write_atom(std::string& out, const ref& value, bool escape) {
  const LAOBJ& o = *value;
  switch (o.type) {
    case tag::symbol:
      write_symbol(out, static_cast<const symbol&>(o), escape);
      return;
    case tag::string: {
      const std::string& text = static_cast<const string_obj&>(o).text;
      if (escape)
        write_quoted(out, text);
      else
        out += text;
      return;
    }
    case tag::character:
      write_character(out, static_cast<const character_obj&>(o).code, escape);
      return;
    case tag::integer:
      write_integer(out, static_cast<const integer_obj&>(o).value);
      return;
    case tag::dfloat:
      out += format_double(static_cast<const dfloat_obj&>(o).value);
      return;
    case tag::pathname: {
      const std::string name = namestring(static_cast<const pathname_obj&>(o).parts);
      if (escape) {
        out += "#P";
        write_quoted(out, name);
      } else {
        out += name;
      }
      return;
    }
    case tag::structure:
      write_structure(out, static_cast<const structure_obj&>(o), escape);
      return;
    case tag::cons:
      write_object(out, value, escape);
      return;
    case tag::hash_table: {
      const auto& h = static_cast<const hash_table_obj&>(o);
      out += h.test == hash_test::eql ? "#<HASH-TABLE :TEST EQL :COUNT " : "#<HASH-TABLE :TEST EQUAL :COUNT ";
      write_integer(out, h.table.size());
      out += ' ';
      write_address(out, &o);
      out += '>';
      return;
    }
    case tag::package:
      out += "#<PACKAGE ";
      write_quoted(out, static_cast<const package&>(o).name);
      out += '>';
      return;
    case tag::function: {
      const auto& f = static_cast<const function_obj&>(o);
      out += "#<FUNCTION ";
      if (f.name.empty()) {
        out += "(LAMBDA) ";
        write_address(out, &o);
      } else {
        out += f.name;
      }
      out += '>';
      return;
    }
    case tag::stream:
      out += "#<STREAM ";
      write_quoted(out, static_cast<const stream_obj&>(o).name);
      out += ' ';
      write_address(out, &o);
      out += '>';
      return;
    case tag::handle:
      out += "#<";
      out += static_cast<const handle_obj&>(o).kind;
      out += ' ';
      write_address(out, &o);
      out += '>';
      return;
    case tag::condition: {
      const auto& c = static_cast<const condition_obj&>(o);
      // Written for people, a condition is its message, as Common Lisp reports it.
      if (!escape) {
        out += c.message;
        return;
      }
      out += "#<";
      out += c.kind;
      out += ' ';
      write_quoted(out, c.message);
      out += '>';
      return;
    }
  }
}

void write_object(std::string& out, const ref& value, bool escape) {
  if (!consp(value)) {
    write_atom(out, value, escape);
    return;
  }
  // Iterates along the cdrs, so that only nesting in the car direction recurses.
  const nesting_guard guard;
  out += '(';
  const cons_cell* c = static_cast<const cons_cell*>(value.get());
  for (;;) {
    write_object(out, c->car, escape);
    if (!consp(c->cdr)) {
      if (!is_nil(c->cdr)) {
        out += " . ";
        write_atom(out, c->cdr, escape);
      }
      break;
    }
    out += ' ';
    c = static_cast<const cons_cell*>(c->cdr.get());
  }
  out += ')';
}

std::string prin1_to_string(const ref& value) {
  std::string out;
  write_object(out, value, true);
  return out;
}

std::string princ_to_string(const ref& value) {
  std::string out;
  write_object(out, value, false);
  return out;
}

std::string pprint_to_string(const ref& value) {
  std::string out;
  write_pretty(out, value, true);
  return out;
}

void prin1(const ref& value, std::ostream& out) { out << prin1_to_string(value); }
void princ(const ref& value, std::ostream& out) { out << princ_to_string(value); }
void print(const ref& value, std::ostream& out) { out << '\n' << prin1_to_string(value) << ' '; }
void pprint(const ref& value, std::ostream& out) { out << '\n' << pprint_to_string(value); }

bool symbol_name_needs_bars(std::string_view s) {
  if (s.empty() || s.find_first_not_of('.') == std::string_view::npos) return true;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= ' ' || c >= 0x7f || (c >= 'a' && c <= 'z') ||
        std::string_view("()'\";`,|\\:#").find(ch) != std::string_view::npos)
      return true;
  }
  return potential_number(s);
}

}  // namespace host::lisp
