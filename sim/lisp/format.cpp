// Common Lisp `format` over a parsed control string (format_control.h).

#include "host/lisp/format.h"

#include <utf8cpp/utf8.h>

#include <iterator>
#include <limits>
#include <optional>
#include <ostream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "lisp/format_case.h"
#include "lisp/format_control.h"
#include "lisp/runtime.h"

namespace host::lisp {
namespace {

// The arguments a directive list works on: those of the call, or the
// elements of a list for ~{. A dotted list keeps its tail: reaching it is
// the type error a Lisp signals when it pops past the last cons.
struct arg_cursor {
  std::vector<ref> items;
  ref tail;
  std::size_t next = 0;

  bool more() const { return next < items.size() || !is_nil(tail); }
  std::size_t remaining() const { return items.size() - next; }
};

arg_cursor cursor_over(const ref& list) {
  arg_cursor c;
  ref r = list;
  for (; consp(r); r = cdr(r)) c.items.push_back(car(r));
  c.tail = r;
  return c;
}

// How a directive list ended: normally, by ~^, or by ~:^.
enum class flow { go_on, up, up_all };

std::string utf8_of(char32_t c) {
  std::string s;
  utf8::append(c, std::back_inserter(s));
  return s;
}

std::string digits(std::uint64_t magnitude, unsigned radix) {
  std::string s;
  do {
    s.insert(s.begin(), "0123456789ABCDEF"[magnitude % radix]);
    magnitude /= radix;
  } while (magnitude != 0);
  return s;
}

// Groups digits from the right: "1234567" -> "1,234,567".
std::string add_commas(const std::string& ds, const std::string& comma, std::size_t interval) {
  std::string out;
  const std::size_t first = (ds.size() - 1) % interval + 1;
  out.append(ds, 0, first);
  for (std::size_t i = first; i < ds.size(); i += interval) out.append(comma).append(ds, i, interval);
  return out;
}

class interpreter {
 public:
  explicit interpreter(std::string& out) : out_(&out) {}

  // One directive list with its arguments; `outer` is the list of sublists
  // while the list runs as the body of ~:{.
  struct frame {
    std::string_view control;
    arg_cursor& args;
    const arg_cursor* outer;
  };

  flow run(const frame& f, const format_directives& ds) {
    for (const format_directive& d : ds) {
      const flow fl = execute(f, d);
      if (fl != flow::go_on) return fl;
    }
    return flow::go_on;
  }

 private:
  // Directive parameters after v and # are resolved: NIL when omitted.
  using params = std::vector<ref>;

  [[noreturn]] static void fail(const frame& f, const format_directive& d, std::string_view cause) {
    format_error(f.control, d.position, cause);
  }

  static ref next_arg(const frame& f, const format_directive& d) {
    arg_cursor& a = f.args;
    if (a.next < a.items.size()) return a.items[a.next++];
    if (!is_nil(a.tail)) fail(f, d, "The value " + prin1_to_string(a.tail) + " is not of type LIST");
    fail(f, d, "No more arguments");
  }

  static params resolve(const frame& f, const format_directive& d) {
    params p;
    for (const format_param& fp : d.params) {
      switch (fp.k) {
        case format_param::kind::omitted:
          p.emplace_back();
          break;
        case format_param::kind::integer:
          p.push_back(make_integer(fp.integer));
          break;
        case format_param::kind::character:
          p.push_back(make_character(fp.character));
          break;
        case format_param::kind::next_arg:
          p.push_back(next_arg(f, d));
          break;
        case format_param::kind::arg_count:
          p.push_back(make_integer(static_cast<std::int64_t>(f.args.remaining())));
          break;
      }
    }
    return p;
  }

  static bool given(const params& p, std::size_t i) { return i < p.size() && !is_nil(p[i]); }

  // Widths and repetition counts above this are taken for a mistake in the
  // control string rather than output to produce.
  static constexpr std::int64_t max_count = 100000;

  static std::int64_t count_param(const frame& f, const format_directive& d, const params& p, std::size_t i,
                                  std::int64_t dflt, std::string_view what) {
    const std::int64_t n = integer_param(f, d, p, i, dflt);
    if (n > max_count)
      fail(f, d,
           "The value of " + std::string(what) + " is " + std::to_string(n) + ", more than the limit of " +
               std::to_string(max_count));
    return n;
  }

  static std::int64_t integer_param(const frame& f, const format_directive& d, const params& p, std::size_t i,
                                    std::int64_t dflt) {
    if (!given(p, i)) return dflt;
    if (!integerp(p[i])) fail(f, d, "The value " + prin1_to_string(p[i]) + " is not of type INTEGER");
    return as_integer(p[i]);
  }

  static char32_t character_param(const frame& f, const format_directive& d, const params& p, std::size_t i,
                                  char32_t dflt) {
    if (!given(p, i)) return dflt;
    if (!is(p[i], tag::character))
      fail(f, d, "The value " + prin1_to_string(p[i]) + " is not of type CHARACTER");
    return static_cast<const character_obj&>(*p[i]).code;
  }

  void emit(std::string_view s) {
    if (s.empty()) return;
    out_->append(s);
    at_line_start_ = s.back() == '\n';
  }

  void emit_repeated(std::string_view s, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) emit(s);
  }

  // Pads text with padchar to at least mincol columns: minpad first, then
  // colinc at a time; on the left when `left`.
  void write_field(const frame& f, const format_directive& d, const std::string& text, std::int64_t mincol,
                   std::int64_t colinc, std::int64_t minpad, char32_t padchar, bool left) {
    if (colinc < 1)
      fail(f, d, "The value of colinc is " + std::to_string(colinc) + ", should be a positive integer");
    if (mincol < 0)
      fail(f, d, "The value of mincol is " + std::to_string(mincol) + ", should be a non-negative integer");
    std::int64_t pads = std::max<std::int64_t>(minpad, 0);
    for (auto width = static_cast<std::int64_t>(char_length(text)) + pads; width < mincol; width += colinc)
      pads += colinc;
    std::string padding;
    const std::string pad = utf8_of(padchar);
    for (std::int64_t i = 0; i < pads; ++i) padding += pad;
    emit(left ? padding + text : text + padding);
  }

  flow execute(const frame& f, const format_directive& d) {
    switch (d.name) {
      case 0:
        emit(d.text);
        return flow::go_on;
      case 'A':
      case 'S':
        print_object(f, d);
        return flow::go_on;
      case 'D':
        print_integer(f, d, 10);
        return flow::go_on;
      case 'X':
        print_integer(f, d, 16);
        return flow::go_on;
      case '%':
        emit_repeated("\n", count_param(f, d, resolve(f, d), 0, 1, "the repetition count"));
        return flow::go_on;
      case '&': {
        const std::int64_t n = count_param(f, d, resolve(f, d), 0, 1, "the repetition count");
        if (n > 0 && !at_line_start_) emit("\n");
        emit_repeated("\n", n - 1);
        return flow::go_on;
      }
      case '~':
        emit_repeated("~", count_param(f, d, resolve(f, d), 0, 1, "the repetition count"));
        return flow::go_on;
      case '*':
        skip(f, d);
        return flow::go_on;
      case '[':
        return conditional(f, d);
      case '{':
        iterate(f, d);
        return flow::go_on;
      case '(':
        return convert(f, d);
      case '^':
        return escape(f, d);
      default:
        fail(f, d, "Directive not supported here");
    }
  }

  void print_object(const frame& f, const format_directive& d) {
    const params p = resolve(f, d);
    const std::int64_t mincol = count_param(f, d, p, 0, 0, "mincol");
    const std::int64_t colinc = count_param(f, d, p, 1, 1, "colinc");
    const std::int64_t minpad = count_param(f, d, p, 2, 0, "minpad");
    const char32_t padchar = character_param(f, d, p, 3, U' ');
    const ref value = next_arg(f, d);
    const std::string text = d.colon && is_nil(value) ? "()"
                             : d.name == 'A'          ? princ_to_string(value)
                                                      : prin1_to_string(value);
    write_field(f, d, text, mincol, colinc, minpad, padchar, d.at);
  }

  void print_integer(const frame& f, const format_directive& d, unsigned radix) {
    const params p = resolve(f, d);
    const ref value = next_arg(f, d);
    // Anything but an integer prints as with ~A, and unpadded.
    if (!integerp(value)) return emit(princ_to_string(value));
    const std::int64_t mincol = count_param(f, d, p, 0, 0, "mincol");
    const char32_t padchar = character_param(f, d, p, 1, U' ');
    const char32_t commachar = character_param(f, d, p, 2, U',');
    const std::int64_t interval = integer_param(f, d, p, 3, 3);
    const std::int64_t v = as_integer(value);
    const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string text = digits(magnitude, radix);
    if (d.colon) {
      if (interval < 1)
        fail(f, d,
             "The value of comma-interval is " + std::to_string(interval) + ", should be a positive integer");
      text = add_commas(text, utf8_of(commachar), static_cast<std::size_t>(interval));
    }
    if (v < 0)
      text.insert(0, "-");
    else if (d.at)
      text.insert(0, "+");
    write_field(f, d, text, mincol, 1, 0, padchar, true);
  }

  static void skip(const frame& f, const format_directive& d) {
    const params p = resolve(f, d);
    arg_cursor& a = f.args;
    if (!d.colon && !d.at) {
      for (std::int64_t n = integer_param(f, d, p, 0, 1); n > 0; --n) next_arg(f, d);
      return;
    }
    const std::int64_t target = d.at ? integer_param(f, d, p, 0, 0)
                                     : static_cast<std::int64_t>(a.next) - integer_param(f, d, p, 0, 1);
    if (target < 0 || target > static_cast<std::int64_t>(a.items.size()))
      fail(f, d,
           "Index " + std::to_string(target) + " is out of bounds. It should have been between 0 and " +
               std::to_string(a.items.size()) + ".");
    a.next = static_cast<std::size_t>(target);
  }

  flow conditional(const frame& f, const format_directive& d) {
    if (d.colon) return run(f, d.clauses[truthy(next_arg(f, d)) ? 1 : 0]);
    if (d.at) {
      if (is_nil(next_arg(f, d))) return flow::go_on;
      --f.args.next;  // the clause uses the argument it tested
      return run(f, d.clauses[0]);
    }
    const params p = resolve(f, d);
    ref selector = given(p, 0) ? p[0] : next_arg(f, d);
    if (!integerp(selector)) fail(f, d, "The argument to ~[ is not an integer: " + prin1_to_string(selector));
    const std::int64_t index = as_integer(selector);
    const auto numbered = static_cast<std::int64_t>(d.clauses.size() - (d.default_clause ? 1 : 0));
    if (index >= 0 && index < numbered) return run(f, d.clauses[static_cast<std::size_t>(index)]);
    if (d.default_clause) return run(f, d.clauses.back());
    return flow::go_on;
  }

  void iterate(const frame& f, const format_directive& d) {
    const params p = resolve(f, d);
    const bool limited = given(p, 0);
    const std::int64_t limit = limited ? count_param(f, d, p, 0, 0, "the repetition count")
                                       : std::numeric_limits<std::int64_t>::max();
    // An empty body takes its control string from the arguments.
    const format_directives* body = &d.clauses[0];
    std::string_view control = f.control;
    std::optional<format_directives> argument_body;
    ref control_arg;
    if (body->empty()) {
      control_arg = next_arg(f, d);
      if (!stringp(control_arg))
        fail(f, d, "The value " + prin1_to_string(control_arg) + " is not of type STRING");
      control = as_string(control_arg);
      argument_body = parse_format_control(control);
      body = &*argument_body;
    }
    arg_cursor list;
    arg_cursor* items = &f.args;
    if (!d.at) {
      const ref l = next_arg(f, d);
      if (!listp(l)) fail(f, d, "The value " + prin1_to_string(l) + " is not of type LIST");
      list = cursor_over(l);
      items = &list;
    }
    const frame item_frame{control, *items, f.outer};
    for (std::int64_t count = 0;; ++count) {
      if (!d.closed_with_colon && !items->more()) break;
      if (count >= limit) break;
      const std::size_t before = items->next;
      if (d.colon) {
        const ref sub = next_arg(item_frame, d);
        if (!listp(sub)) fail(f, d, "The value " + prin1_to_string(sub) + " is not of type LIST");
        arg_cursor sub_args = cursor_over(sub);
        if (run(frame{control, sub_args, items}, *body) == flow::up_all) break;
      } else if (run(item_frame, *body) != flow::go_on) {
        break;
      }
      if (d.closed_with_colon && !items->more()) break;
      // The same state again would repeat for ever.
      if (!limited && items->next == before)
        fail(f, d, "The body of ~{ consumes no arguments and never ends");
    }
  }

  flow convert(const frame& f, const format_directive& d) {
    std::string text;
    std::string* outer = out_;
    out_ = &text;
    flow fl;
    try {
      fl = run(f, d.clauses[0]);
    } catch (...) {
      out_ = outer;
      throw;
    }
    out_ = outer;
    const case_conversion mode = d.colon && d.at ? case_conversion::upcase
                                 : d.colon       ? case_conversion::capitalize_words
                                 : d.at          ? case_conversion::capitalize_first
                                                 : case_conversion::downcase;
    out_->append(convert_case(text, mode));
    return fl;
  }

  static flow escape(const frame& f, const format_directive& d) {
    const params p = resolve(f, d);
    bool stop;
    if (given(p, 2)) {
      if (!given(p, 0) || !given(p, 1)) fail(f, d, "~^ with three parameters needs all three");
      const std::int64_t a = integer_param(f, d, p, 0, 0), b = integer_param(f, d, p, 1, 0),
                         c = integer_param(f, d, p, 2, 0);
      stop = a <= b && b <= c;
    } else if (given(p, 1)) {
      stop = given(p, 0) && integer_param(f, d, p, 0, 0) == integer_param(f, d, p, 1, 0);
    } else if (given(p, 0)) {
      stop = integer_param(f, d, p, 0, 0) == 0;
    } else {
      stop = d.colon ? !f.outer->more() : !f.args.more();
    }
    if (!stop) return flow::go_on;
    return d.colon ? flow::up_all : flow::up;
  }

  std::string* out_;
  // Output is taken to begin at the start of a line.
  bool at_line_start_ = true;
};

void run_format(std::string& out, std::string_view control, args_t args) {
  const format_directives ds = parse_format_control(control);
  arg_cursor cursor;
  cursor.items.assign(args.begin(), args.end());
  interpreter(out).run(interpreter::frame{control, cursor, nullptr}, ds);
}

const builtins_registration format_builtin([] {
  // (format destination control &rest args): destination NIL returns the text.
  defun(cl_symbol("FORMAT"), [](args_t args) -> ref {
    check_argument_count("FORMAT", args, 2, any_count);
    const std::string& control = as_string(args[1]);
    if (is_nil(args[0])) return make_string(lisp::format(control, args.subspan(2)));
    lisp::format(output_of(args[0]), control, args.subspan(2));
    return nil();
  });
});

}  // namespace

std::string format(std::string_view control, args_t args) {
  std::string out;
  run_format(out, control, args);
  return out;
}

void format(std::ostream& out, std::string_view control, args_t args) {
  std::string text;
  try {
    run_format(text, control, args);
  } catch (...) {
    out << text;  // what was printed before the error stays printed
    throw;
  }
  out << text;
}

}  // namespace host::lisp
