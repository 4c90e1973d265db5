#include "lisp/format_control.h"

#include <utf8cpp/utf8.h>

#include <limits>

#include "host/lisp/errors.h"
#include "host/lisp/object.h"

namespace host::lisp {

void format_error(std::string_view control, std::size_t byte_offset, std::string_view cause) {
  const std::size_t position = char_length(control.substr(0, std::min(byte_offset, control.size())));
  std::string quoted;
  for (char c : control) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  signal("FORMAT-ERROR", "error in FORMAT at position " + std::to_string(position) + " of \"" + quoted +
                             "\": " + std::string(cause));
}

namespace {

struct rule {
  char32_t name;
  std::size_t max_params;
  bool colon, at, both;
};

// Parameters and modifiers each directive accepts; the closing directives
// take modifiers that only ~:; and ~:} use.
constexpr rule rules[] = {
    {'A', 4, true, true, true},    {'S', 4, true, true, true},    {'D', 4, true, true, true},
    {'X', 4, true, true, true},    {'%', 1, false, false, false}, {'&', 1, false, false, false},
    {'~', 1, false, false, false}, {'*', 1, true, true, false},   {'[', 1, true, true, false},
    {'{', 1, true, true, true},    {'(', 0, true, true, true},    {'^', 3, true, false, false},
    {'\n', 0, true, true, false},  {']', 0, true, true, true},    {';', 0, true, true, true},
    {'}', 0, true, true, true},    {')', 0, true, true, true},
};

const rule* find_rule(char32_t name) {
  for (const rule& r : rules)
    if (r.name == name) return &r;
  return nullptr;
}

std::string character_name(char32_t c) {
  switch (c) {
    case ' ':
      return "Space";
    case '\t':
      return "Tab";
    case '\r':
      return "Return";
    default:
      break;
  }
  if (c < ' ' || c == 0x7f) return "code " + std::to_string(static_cast<std::uint32_t>(c));
  std::string s;
  utf8::append(c, std::back_inserter(s));
  return s;
}

class parser {
 public:
  explicit parser(std::string_view control) : s_(control) {}

  format_directives parse() {
    format_directive closing;
    return sequence(U"", nullptr, false, closing);
  }

 private:
  [[noreturn]] void fail(std::size_t at, std::string_view cause) const { format_error(s_, at, cause); }

  char32_t decode(std::size_t at) {
    try {
      auto it = s_.begin() + static_cast<std::ptrdiff_t>(i_);
      const char32_t c = utf8::next(it, s_.end());
      i_ = static_cast<std::size_t>(it - s_.begin());
      return c;
    } catch (const utf8::exception&) {
      fail(at, "Invalid UTF-8 text");
    }
  }

  format_param parameter(std::size_t tilde) {
    format_param p;
    const char c = s_[i_];
    if (c == '+' || c == '-' || (c >= '0' && c <= '9')) {
      const bool negative = c == '-';
      if (c == '+' || c == '-') ++i_;
      if (i_ >= s_.size() || s_[i_] < '0' || s_[i_] > '9') fail(tilde, "Digits expected after the sign");
      std::int64_t v = 0;
      for (; i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9'; ++i_) {
        if (v > (std::numeric_limits<std::int64_t>::max() - (s_[i_] - '0')) / 10)
          fail(tilde, "Parameter too large");
        v = v * 10 + (s_[i_] - '0');
      }
      p.k = format_param::kind::integer;
      p.integer = negative ? -v : v;
    } else if (c == '\'') {
      ++i_;
      if (i_ >= s_.size()) fail(tilde, "String ended before directive was found");
      p.k = format_param::kind::character;
      p.character = decode(tilde);
    } else if (c == 'v' || c == 'V') {
      ++i_;
      p.k = format_param::kind::next_arg;
    } else if (c == '#') {
      ++i_;
      p.k = format_param::kind::arg_count;
    }
    return p;
  }

  // Reads literal text up to the next tilde, or one directive; false at the end.
  bool next(format_directive& d) {
    d = format_directive{};
    if (i_ >= s_.size()) return false;
    d.position = i_;
    if (s_[i_] != '~') {
      const std::size_t end = std::min(s_.find('~', i_), s_.size());
      d.text = s_.substr(i_, end - i_);
      i_ = end;
      return true;
    }
    const std::size_t tilde = i_++;
    bool seen_comma = false;
    while (i_ < s_.size()) {
      const format_param p = parameter(tilde);
      if (i_ < s_.size() && s_[i_] == ',') {
        ++i_;
        seen_comma = true;
        d.params.push_back(p);
        continue;
      }
      if (seen_comma || p.k != format_param::kind::omitted) d.params.push_back(p);
      break;
    }
    for (; i_ < s_.size() && (s_[i_] == ':' || s_[i_] == '@'); ++i_) (s_[i_] == ':' ? d.colon : d.at) = true;
    if (i_ >= s_.size()) fail(tilde, "String ended before directive was found");
    char32_t name = decode(tilde);
    if (name >= 'a' && name <= 'z') name -= 'a' - 'A';
    d.name = name;
    check(d, tilde);
    if (name == '\n') {
      // ~newline drops the newline unless @, and the blanks after it unless :.
      d.name = 0;
      if (d.at) d.text = "\n";
      if (!d.colon)
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n')) ++i_;
    }
    return true;
  }

  void check(const format_directive& d, std::size_t tilde) const {
    const rule* r = find_rule(d.name);
    if (!r) fail(tilde, "Unknown directive (character: " + character_name(d.name) + ")");
    const std::size_t max_params = d.name == '[' && (d.colon || d.at) ? 0 : r->max_params;
    if (d.params.size() > max_params)
      fail(tilde, max_params == 0
                      ? std::string("Too many parameters, expected none")
                      : "Too many parameters, expected no more than " + std::to_string(max_params));
    if (d.colon && d.at && !r->both)
      fail(tilde, "The colon and the at-sign modifiers cannot be used simultaneously with this directive.");
    if (d.colon && !r->colon) fail(tilde, "The colon modifier cannot be used with this directive.");
    if (d.at && !r->at) fail(tilde, "The at-sign modifier cannot be used with this directive.");
  }

  // Parses directives up to one in `closers` (to the end at top level).
  // `colon_up` says whether ~:^ may appear: only inside ~:{...~}.
  format_directives sequence(std::u32string_view closers, const format_directive* open, bool colon_up,
                             format_directive& closing) {
    format_directives out;
    format_directive d;
    while (next(d)) {
      switch (d.name) {
        case ']':
        case ')':
        case '}':
        case ';':
          if (closers.find(d.name) != std::u32string_view::npos) {
            closing = d;
            return out;
          }
          unmatched(d);
        case '[':
          bracket(d, colon_up);
          break;
        case '{': {
          format_directive close;
          d.clauses.push_back(sequence(U"}", &d, d.colon, close));
          d.closed_with_colon = close.colon;
          break;
        }
        case '(': {
          format_directive close;
          d.clauses.push_back(sequence(U")", &d, colon_up, close));
          break;
        }
        case '^':
          if (d.colon && !colon_up) fail(d.position, "Attempt to use ~:^ outside a ~:{...~} construct");
          break;
        default:
          break;
      }
      out.push_back(std::move(d));
    }
    if (open) {
      const char* what = open->name == '[' ? "bracket" : open->name == '{' ? "brace" : "parenthesis";
      fail(open->position, std::string("No corresponding close ") + what);
    }
    return out;
  }

  [[noreturn]] void unmatched(const format_directive& d) const {
    switch (d.name) {
      case ']':
        fail(d.position, "No corresponding open bracket");
      case ')':
        fail(d.position, "No corresponding open parenthesis");
      case '}':
        fail(d.position, "No corresponding open brace");
      default:
        fail(d.position, "~; directive not contained within ~[...~]");
    }
  }

  void bracket(format_directive& d, bool colon_up) {
    format_directive separator;
    for (;;) {
      d.clauses.push_back(sequence(U"];", &d, colon_up, separator));
      if (separator.name == ']') break;
      // Only a colon on the last separator makes the last clause the default.
      d.default_clause = separator.colon;
    }
    if (d.colon && d.clauses.size() != 2) fail(d.position, "Must specify exactly two sections");
    if (d.at && d.clauses.size() != 1) fail(d.position, "Can only specify one section");
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

format_directives parse_format_control(std::string_view control) { return parser(control).parse(); }

}  // namespace host::lisp
