// The reader works without recursion: nested lists, quotes and #S/#P forms
// are frames on an explicit stack, so neither long nor deeply nested forms
// can exhaust the C++ stack.
#include "host/lisp/reader.h"

#include <fmt/format.h>
#include <utf8.h>

#include <charconv>
#include <streambuf>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/structures.h"

namespace host::lisp {

namespace {

bool whitespace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x7f; }
bool terminating(int c) {
  return c == '"' || c == '\'' || c == '(' || c == ')' || c == ',' || c == ';' || c == '`';
}
bool delimiter(int c) { return c == EOF || whitespace(c) || terminating(c); }
bool digit(char c) { return c >= '0' && c <= '9'; }
char upcase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

enum class frame_kind { list, quote, function, structure, pathname };
enum class dot_state { none, seen, done };

struct frame {
  frame(frame_kind k, std::size_t l, std::size_t c) : kind(k), line(l), column(c) {}
  frame_kind kind;
  std::size_t line, column;
  ref head;                   // list: the elements read so far
  cons_cell* tail = nullptr;  // list: the last cons of head
  dot_state dot = dot_state::none;
};

enum class number_kind { none, integer, ratio, floating };

// Classifies an unescaped token by Common Lisp number syntax (decimal only).
number_kind classify_number(std::string_view s) {
  std::size_t i = 0, n = s.size();
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  const std::size_t int_start = i;
  while (i < n && digit(s[i])) ++i;
  const std::size_t int_digits = i - int_start;
  if (i == n) return int_digits > 0 ? number_kind::integer : number_kind::none;
  if (s[i] == '/') {
    if (int_digits == 0 || i + 1 == n) return number_kind::none;
    for (std::size_t j = i + 1; j < n; ++j)
      if (!digit(s[j])) return number_kind::none;
    return number_kind::ratio;
  }
  std::size_t frac_digits = 0;
  if (s[i] == '.') {
    ++i;
    while (i < n && digit(s[i])) ++i, ++frac_digits;
    if (i == n) {
      if (frac_digits > 0) return number_kind::floating;
      return int_digits > 0 ? number_kind::integer : number_kind::none;
    }
  }
  if (int_digits + frac_digits == 0 || std::string_view("ESFDL").find(s[i]) == std::string_view::npos)
    return number_kind::none;
  ++i;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  const std::size_t exp_start = i;
  while (i < n && digit(s[i])) ++i;
  return i == n && i > exp_start ? number_kind::floating : number_kind::none;
}

struct named_char {
  std::string_view name;
  char32_t code;
};
// Names the reader accepts after #\ (case-insensitively); the printer's names are among them.
constexpr named_char char_names[] = {
    {"SPACE", U' '}, {"NEWLINE", U'\n'}, {"LINEFEED", U'\n'}, {"TAB", U'\t'}, {"RETURN", U'\r'},
    {"PAGE", U'\f'}, {"BACKSPACE", 8},   {"RUBOUT", 127},     {"NUL", 0},     {"NULL", 0},
    {"SOH", 1},      {"STX", 2},         {"ETX", 3},          {"EOT", 4},     {"ENQ", 5},
    {"ACK", 6},      {"BEL", 7},         {"VT", 11},          {"SO", 14},     {"SI", 15},
    {"DLE", 16},     {"DC1", 17},        {"DC2", 18},         {"DC3", 19},    {"DC4", 20},
    {"NAK", 21},     {"SYN", 22},        {"ETB", 23},         {"CAN", 24},    {"EM", 25},
    {"SUB", 26},     {"ESC", 27},        {"ESCAPE", 27},      {"FS", 28},     {"GS", 29},
    {"RS", 30},      {"US", 31},         {"DEL", 127},
};

// A streambuf over text that is not copied.
struct view_buffer : std::streambuf {
  explicit view_buffer(std::string_view text) {
    char* p = const_cast<char*>(text.data());
    setg(p, p, p + text.size());
  }
};

}  // namespace

reader::reader(std::istream& in, std::string source)
    : in_(in), buf_(in.rdbuf()), source_(std::move(source)) {}

int reader::peek() {
  int c = buf_ ? buf_->sgetc() : EOF;
  if (c == EOF) in_.setstate(std::ios::eofbit);
  return c;
}

int reader::get() {
  int c = buf_ ? buf_->sbumpc() : EOF;
  if (c == EOF) {
    // The end of input cutting a character in two cuts off the form, as a
    // crash while writing does.
    if (utf8_pending_ > 0) {
      in_.setstate(std::ios::eofbit);
      fail_cut_off();
    }
  } else {
    check_utf8(static_cast<unsigned char>(c));
    ++offset_;
  }
  if (c == '\n') {
    ++line_;
    column_ = 1;
  } else if (c == EOF) {
    in_.setstate(std::ios::eofbit);
  } else if ((c & 0xC0) != 0x80) {
    ++column_;
  }
  return c;
}

void reader::fail(position at, std::string_view what) const {
  signal("READER-ERROR", fmt::format("{}, line {}, column {}: {}", source_, at.line, at.column, what));
}

void reader::fail_at_byte(std::size_t offset, std::string_view what) const {
  signal("READER-ERROR",
         fmt::format("{}, byte {} (line {}, column {}): {}", source_, offset, line_, column_, what));
}

void reader::fail_utf8(std::size_t offset) const {
  fail_at_byte(offset, "the text is not valid UTF-8; save the file as UTF-8");
}

// Follows the bytes of UTF-8 sequences as they are read: a stray
// continuation byte, a bad lead byte, an overlong form, a surrogate or a
// sequence cut short is an error naming where the sequence began.
void reader::check_utf8(unsigned char b) {
  if (utf8_pending_ > 0) {
    if (b < utf8_low_ || b > utf8_high_) fail_utf8(utf8_start_);
    utf8_low_ = 0x80;
    utf8_high_ = 0xBF;
    --utf8_pending_;
    return;
  }
  if (b < 0x80) return;
  utf8_start_ = offset_;
  utf8_low_ = 0x80;
  utf8_high_ = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    utf8_pending_ = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    utf8_pending_ = 2;
    if (b == 0xE0) utf8_low_ = 0xA0;
    if (b == 0xED) utf8_high_ = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    utf8_pending_ = 3;
    if (b == 0xF0) utf8_low_ = 0x90;
    if (b == 0xF4) utf8_high_ = 0x8F;
  } else {
    fail_utf8(utf8_start_);
  }
}

void reader::fail_cut_off() const {
  signal("READER-ERROR",
         fmt::format("{}: the form starting at line {}, column {} is cut off by the end of input", source_,
                     form_start_.line, form_start_.column));
}

int reader::next_form_char() {
  for (;;) {
    start_ = here();
    int c = get();
    if (c == EOF) return EOF;
    if (whitespace(c)) continue;
    if (c == ';') {
      while ((c = peek()) != EOF && c != '\n') get();
      continue;
    }
    if (c == '#' && peek() == '|') {
      get();
      skip_block_comment(start_);
      continue;
    }
    return c;
  }
}

void reader::skip_block_comment(position start) {
  int depth = 1;
  int prev = 0;
  while (depth > 0) {
    int c = get();
    if (c == EOF)
      signal("READER-ERROR",
             fmt::format("{}: the comment starting at line {}, column {} is cut off by the end of input",
                         source_, start.line, start.column));
    if (prev == '|' && c == '#') {
      --depth;
      c = 0;
    } else if (prev == '#' && c == '|') {
      ++depth;
      c = 0;
    }
    prev = c;
  }
}

void reader::read_token_text(int first) {
  token_.clear();
  escaped_.clear();
  token_escaped_ = false;
  bool multiple = false;
  for (int c = first;; c = get()) {
    if (c == EOF) {
      if (multiple) fail_cut_off();
      break;
    }
    if (c == '|') {
      multiple = !multiple;
      token_escaped_ = true;
    } else if (c == '\\') {
      c = get();
      if (c == EOF) fail_cut_off();
      token_ += static_cast<char>(c);
      escaped_.push_back(true);
      token_escaped_ = true;
    } else if (multiple) {
      token_ += static_cast<char>(c);
      escaped_.push_back(true);
    } else {
      token_ += upcase(static_cast<char>(c));
      escaped_.push_back(false);
    }
    if (!multiple && delimiter(peek())) break;
  }
}

ref reader::read_token(int first, bool& dot) {
  dot = false;
  read_token_text(first);
  if (!token_escaped_) {
    if (token_.find_first_not_of('.') == std::string::npos) {
      if (token_.size() == 1) {
        dot = true;
        return ref();
      }
      fail(start_, fmt::format("the token {} consists only of dots", token_));
    }
    switch (classify_number(token_)) {
      case number_kind::integer: {
        std::string_view digits(token_);
        if (digits.front() == '+') digits.remove_prefix(1);
        if (digits.back() == '.') digits.remove_suffix(1);
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (ec != std::errc() || end != digits.data() + digits.size())
          fail(start_, fmt::format("the integer {} is out of range", token_));
        return make_integer(v);
      }
      case number_kind::floating: {
        std::string text(token_);
        for (char& c : text)
          if (std::string_view("SFDL").find(c) != std::string_view::npos) c = 'E';
        std::string_view digits(text);
        if (digits.front() == '+') digits.remove_prefix(1);
        double v = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (ec != std::errc() || end != digits.data() + digits.size())
          fail(start_, fmt::format("the float {} is out of range", token_));
        return make_double(v);
      }
      case number_kind::ratio:
        fail(start_, fmt::format("ratios such as {} are not supported", token_));
      case number_kind::none:
        break;
    }
  }
  return intern_token(start_);
}

ref reader::intern_token(position start) {
  std::size_t first_colon = std::string::npos, colons = 0;
  for (std::size_t i = 0; i < token_.size(); ++i) {
    if (token_[i] == ':' && !escaped_[i]) {
      if (colons == 0) first_colon = i;
      ++colons;
    }
  }
  if (colons == 0) return ref(&intern(token_, current_package()));
  const bool internal = colons == 2 && first_colon + 1 < token_.size() && token_[first_colon + 1] == ':' &&
                        !escaped_[first_colon + 1];
  if (colons > 2 || (colons == 2 && !internal))
    fail(start, fmt::format("too many package markers in {}", token_));
  const std::string_view name = std::string_view(token_).substr(first_colon + colons);
  if (name.empty()) fail(start, fmt::format("no symbol name after the package marker in {}", token_));
  if (first_colon == 0) return ref(&keyword(name));
  const std::string package_name = token_.substr(0, first_colon);
  package* p = find_package(package_name);
  if (!p) fail(start, fmt::format("the package {} does not exist", package_name));
  if (internal || p == &keyword_package()) return ref(&intern(name, *p));
  symbol_status status = symbol_status::none;
  symbol* s = find_symbol(name, *p, &status);
  if (!s) fail(start, fmt::format("the symbol {} does not exist in the package {}", name, p->name));
  if (status != symbol_status::external)
    fail(start, fmt::format("the symbol {} is not external in the package {}", name, p->name));
  return ref(s);
}

ref reader::read_string() {
  std::string text;
  for (;;) {
    int c = get();
    if (c == EOF) fail_cut_off();
    if (c == '"') break;
    if (c == '\\') {
      c = get();
      if (c == EOF) fail_cut_off();
    }
    text += static_cast<char>(c);
  }
  return make_string(text);
}

ref reader::read_character() {
  int c = get();
  if (c == EOF) fail_cut_off();
  std::string text(1, static_cast<char>(c));
  // The first character is taken whatever it is; a name may follow.
  while (!delimiter(c = peek())) text += static_cast<char>(get());
  auto it = text.begin();
  char32_t code = 0;
  try {
    code = utf8::next(it, text.end());
  } catch (const utf8::exception&) {
    fail(start_, "invalid UTF-8 text after #\\");
  }
  if (it == text.end()) return make_character(code);
  std::string upper;
  for (char ch : text) upper += upcase(ch);
  for (const named_char& n : char_names)
    if (n.name == upper) return make_character(n.code);
  fail(start_, fmt::format("unknown character name #\\{}", text));
}

bool reader::read(ref& form) {
  std::vector<frame> stack;
  static symbol& quote_symbol = cl_symbol("QUOTE");
  static symbol& function_symbol = cl_symbol("FUNCTION");

  const auto make_struct = [&](const frame& f, const ref& contents) {
    const position at{f.line, f.column};
    if (!consp(contents) || !symbolp(car(contents)))
      fail(at, "#S must be followed by a list of the structure name and its slot values");
    std::vector<ref> items;
    ref rest = contents;
    for (; consp(rest); rest = cdr(rest)) items.push_back(car(rest));
    if (!is_nil(rest)) fail(at, "the list after #S is dotted");
    const symbol& name = as_symbol(items[0]);
    const struct_type* type = find_struct_by_name(name);
    if (!type) fail(at, fmt::format("unknown structure type {}", prin1_to_string(items[0])));
    if (items.size() % 2 == 0)
      fail(at, fmt::format("the slot {} of #S({} ...) has no value", prin1_to_string(items.back()),
                           prin1_to_string(items[0])));
    ref object = make_structure(*type);
    auto& s = static_cast<structure_obj&>(*object);
    for (std::size_t i = 1; i < items.size(); i += 2) {
      const int index = symbolp(items[i]) ? slot_index(*type, as_symbol(items[i]).name) : -1;
      if (index < 0)
        fail(at, fmt::format("the structure {} has no slot {}", prin1_to_string(items[0]),
                             prin1_to_string(items[i])));
      s.slots[static_cast<std::size_t>(index)] = items[i + 1];
    }
    return object;
  };

  // Nesting is bounded so that what the reader builds can be printed,
  // compared and evaluated without exhausting the stack.
  const auto open = [&](frame_kind kind, const position& at) {
    if (stack.size() >= max_nesting)
      fail_at_byte(offset_ - 1, fmt::format("forms are nested deeper than {} levels", max_nesting));
    stack.emplace_back(kind, at.line, at.column);
  };

  for (;;) {
    const int c = next_form_char();
    if (c == EOF) {
      if (stack.empty()) return false;
      fail_cut_off();
    }
    if (stack.empty()) form_start_ = start_;
    const position start = start_;
    ref value;
    switch (c) {
      case '(':
        open(frame_kind::list, start);
        continue;
      case ')': {
        if (stack.empty() || stack.back().kind != frame_kind::list)
          fail(start, "unmatched close parenthesis");
        if (stack.back().dot == dot_state::seen) fail(start, "nothing follows the dot in a list");
        value = std::move(stack.back().head);
        stack.pop_back();
        break;
      }
      case '\'':
        open(frame_kind::quote, start);
        continue;
      case '"':
        value = read_string();
        break;
      case '`':
      case ',':
        fail(start, "backquote syntax is not supported");
      case '#': {
        const int d = get();
        switch (d) {
          case EOF:
            fail_cut_off();
          case '\'':
            open(frame_kind::function, start);
            continue;
          case 'S':
          case 's':
            open(frame_kind::structure, start);
            continue;
          case 'P':
          case 'p':
            open(frame_kind::pathname, start);
            continue;
          case '\\':
            value = read_character();
            break;
          case ':': {
            const int first = get();
            if (delimiter(first)) fail(start, "no symbol name after #:");
            read_token_text(first);
            value = ref(make_uninterned_symbol(token_));
            break;
          }
          case '(':
            fail(start, "vectors (#( syntax) are not supported");
          case '<':
            fail(start, "an unreadable object (#<...>) cannot be read");
          default:
            fail(start, fmt::format("the dispatch macro #{} is not supported", static_cast<char>(d)));
        }
        break;
      }
      default: {
        bool dot = false;
        value = read_token(c, dot);
        if (dot) {
          if (stack.empty() || stack.back().kind != frame_kind::list || is_nil(stack.back().head) ||
              stack.back().dot != dot_state::none)
            fail(start, "a dot is only allowed before the last element of a list");
          stack.back().dot = dot_state::seen;
          continue;
        }
      }
    }
    // Hand the finished value to the enclosing frames.
    for (;;) {
      if (stack.empty()) {
        form = std::move(value);
        return true;
      }
      frame& f = stack.back();
      if (f.kind == frame_kind::list) {
        if (f.dot == dot_state::done) fail(start, "more than one object follows the dot in a list");
        if (f.dot == dot_state::seen) {
          f.tail->cdr = std::move(value);
          f.dot = dot_state::done;
        } else {
          ref cell = cons(std::move(value), ref());
          cons_cell* raw = static_cast<cons_cell*>(cell.get());
          if (f.tail)
            f.tail->cdr = std::move(cell);
          else
            f.head = std::move(cell);
          f.tail = raw;
        }
        break;
      }
      switch (f.kind) {
        case frame_kind::quote:
          value = list({ref(&quote_symbol), value});
          break;
        case frame_kind::function:
          value = list({ref(&function_symbol), value});
          break;
        case frame_kind::pathname:
          if (!stringp(value)) fail({f.line, f.column}, "#P must be followed by a string");
          value = make_pathname_obj(parse_namestring(as_string(value)));
          break;
        case frame_kind::structure:
          value = make_struct(f, value);
          break;
        case frame_kind::list:
          break;
      }
      stack.pop_back();
    }
  }
}

ref read_from_string(std::string_view text) {
  view_buffer buffer(text);
  std::istream in(&buffer);
  reader r(in, "string");
  ref form;
  if (!r.read(form)) signal("END-OF-FILE", "end of input while reading from a string");
  return form;
}

std::vector<ref> read_all_from_string(std::string_view text, std::string source) {
  view_buffer buffer(text);
  std::istream in(&buffer);
  reader r(in, std::move(source));
  std::vector<ref> forms;
  for (ref form; r.read(form);) forms.push_back(form);
  return forms;
}

}  // namespace host::lisp
