// Arithmetic on the host's integers (64 bits) and long floats.
//
// Integer results that need more than 64 bits and ratios, which the host's
// numbers cannot hold, are errors rather than silently wrong values.
#include <cmath>
#include <limits>

#include "host/lisp/format.h"
#include "lisp/builtin_def.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

struct number {
  bool is_float;
  std::int64_t i;
  double d;
  double as_double() const { return is_float ? d : static_cast<double>(i); }
};

number num(const ref& r) {
  if (r->type == tag::integer) return {false, static_cast<integer_obj&>(*r).value, 0};
  if (r->type == tag::dfloat) return {true, 0, static_cast<dfloat_obj&>(*r).value};
  type_error(r, "NUMBER");
}

std::int64_t integer(const ref& r) {
  if (r->type != tag::integer) type_error(r, "INTEGER");
  return static_cast<integer_obj&>(*r).value;
}

[[noreturn]] void overflow(std::string_view op, const ref& a, const ref& b) {
  signal("ARITHMETIC-ERROR",
         format("The result of (~A ~S ~S) does not fit the host's 64-bit integers.", make_string(op), a, b));
}

[[noreturn]] void division_by_zero(std::string_view op, const ref& a, const ref& b) {
  signal("DIVISION-BY-ZERO", format("Division by zero: (~A ~S ~S)", make_string(op), a, b));
}

ref add(const ref& a, const ref& b) {
  number x = num(a), y = num(b);
  if (x.is_float || y.is_float) return make_double(x.as_double() + y.as_double());
  std::int64_t r;
  if (__builtin_add_overflow(x.i, y.i, &r)) overflow("+", a, b);
  return make_integer(r);
}

ref subtract(const ref& a, const ref& b) {
  number x = num(a), y = num(b);
  if (x.is_float || y.is_float) return make_double(x.as_double() - y.as_double());
  std::int64_t r;
  if (__builtin_sub_overflow(x.i, y.i, &r)) overflow("-", a, b);
  return make_integer(r);
}

ref multiply(const ref& a, const ref& b) {
  number x = num(a), y = num(b);
  if (x.is_float || y.is_float) return make_double(x.as_double() * y.as_double());
  std::int64_t r;
  if (__builtin_mul_overflow(x.i, y.i, &r)) overflow("*", a, b);
  return make_integer(r);
}

ref divide(const ref& a, const ref& b) {
  number x = num(a), y = num(b);
  if (y.is_float ? y.d == 0 : y.i == 0) division_by_zero("/", a, b);
  if (x.is_float || y.is_float) return make_double(x.as_double() / y.as_double());
  if (x.i == std::numeric_limits<std::int64_t>::min() && y.i == -1) overflow("/", a, b);
  if (x.i % y.i != 0)
    fail("The quotient of ~S and ~S is a ratio, which the host's numbers cannot hold.", a, b);
  return make_integer(x.i / y.i);
}

// Exact comparison, also between an integer and a float.
int compare(const number& x, const number& y) {
  if (!x.is_float && !y.is_float) return (x.i > y.i) - (x.i < y.i);
  if (x.is_float && y.is_float) return (x.d > y.d) - (x.d < y.d);
  if (x.is_float) return -compare(y, x);
  const double d = y.d;
  if (d >= 9223372036854775808.0) return -1;
  if (d < -9223372036854775808.0) return 1;
  const double whole = std::trunc(d);
  const auto w = static_cast<std::int64_t>(whole);
  if (x.i != w) return x.i < w ? -1 : 1;
  const double fraction = d - whole;
  return fraction > 0 ? -1 : (fraction < 0 ? 1 : 0);
}

ref fold(args_t args, ref start, ref (*op)(const ref&, const ref&)) {
  ref result = std::move(start);
  for (const ref& a : args) result = op(result, a);
  return result;
}

ref negate(const ref& a) {
  const number x = num(a);
  return x.is_float ? make_double(-x.d) : subtract(make_integer(0), a);
}

ref minus(args_t args) {
  return args.size() == 1 ? negate(args[0]) : fold(args.subspan(1), args[0], subtract);
}

ref slash(args_t args) {
  return args.size() == 1 ? divide(make_integer(1), args[0]) : fold(args.subspan(1), args[0], divide);
}

template <class Holds>
ref chain(args_t args, Holds holds) {
  for (const ref& a : args) num(a);
  for (std::size_t i = 1; i < args.size(); ++i)
    if (!holds(compare(num(args[i - 1]), num(args[i])))) return ref();
  return t();
}

ref not_equal(args_t args) {
  for (const ref& a : args) num(a);
  for (std::size_t i = 0; i < args.size(); ++i)
    for (std::size_t j = i + 1; j < args.size(); ++j)
      if (compare(num(args[i]), num(args[j])) == 0) return ref();
  return t();
}

ref extremum(args_t args, int sign) {
  ref best = args[0];
  num(best);
  for (std::size_t i = 1; i < args.size(); ++i)
    if (compare(num(args[i]), num(best)) * sign > 0) best = args[i];
  return best;
}

ref from_double_quotient(double q, std::string_view op, const ref& a, const ref& b) {
  if (!(q >= -9223372036854775808.0 && q < 9223372036854775808.0)) overflow(op, a, b);
  return make_integer(static_cast<std::int64_t>(q));
}

// floor and truncate return their quotient (the host's first value).
ref quotient(args_t args, bool floor, std::string_view op) {
  const ref& a = args[0];
  const ref b = args.size() > 1 ? args[1] : make_integer(1);
  number x = num(a), y = num(b);
  if (y.is_float ? y.d == 0 : y.i == 0) division_by_zero(op, a, b);
  if (x.is_float || y.is_float) {
    const double q = x.as_double() / y.as_double();
    return from_double_quotient(floor ? std::floor(q) : std::trunc(q), op, a, b);
  }
  if (x.i == std::numeric_limits<std::int64_t>::min() && y.i == -1) overflow(op, a, b);
  std::int64_t q = x.i / y.i;
  if (floor && x.i % y.i != 0 && ((x.i < 0) != (y.i < 0))) --q;
  return make_integer(q);
}

// mod takes the sign of the divisor, rem that of the dividend.
ref remainder(const ref& a, const ref& b, bool mod, std::string_view op) {
  number x = num(a), y = num(b);
  if (y.is_float ? y.d == 0 : y.i == 0) division_by_zero(op, a, b);
  if (x.is_float || y.is_float) {
    double r = std::fmod(x.as_double(), y.as_double());
    if (mod && r != 0 && ((r < 0) != (y.as_double() < 0))) r += y.as_double();
    return make_double(r);
  }
  if (y.i == -1) return make_integer(0);
  std::int64_t r = x.i % y.i;
  if (mod && r != 0 && ((r < 0) != (y.i < 0))) r += y.i;
  return make_integer(r);
}

int sign_of(const ref& r) { return compare(num(r), number{false, 0, 0}); }

const builtins_registration reg([] {
  define_builtin("+", 0, any_count, [](args_t a) { return fold(a, make_integer(0), add); });
  define_builtin("*", 0, any_count, [](args_t a) { return fold(a, make_integer(1), multiply); });
  define_builtin("-", 1, any_count, minus);
  define_builtin("/", 1, any_count, slash);
  define_builtin("1+", 1, 1, [](args_t a) { return add(a[0], make_integer(1)); });
  define_builtin("1-", 1, 1, [](args_t a) { return subtract(a[0], make_integer(1)); });
  define_builtin("=", 1, any_count, [](args_t a) { return chain(a, [](int c) { return c == 0; }); });
  define_builtin("/=", 1, any_count, not_equal);
  define_builtin("<", 1, any_count, [](args_t a) { return chain(a, [](int c) { return c < 0; }); });
  define_builtin(">", 1, any_count, [](args_t a) { return chain(a, [](int c) { return c > 0; }); });
  define_builtin("<=", 1, any_count, [](args_t a) { return chain(a, [](int c) { return c <= 0; }); });
  define_builtin(">=", 1, any_count, [](args_t a) { return chain(a, [](int c) { return c >= 0; }); });
  define_builtin("MIN", 1, any_count, [](args_t a) { return extremum(a, -1); });
  define_builtin("MAX", 1, any_count, [](args_t a) { return extremum(a, 1); });
  define_builtin("FLOOR", 1, 2, [](args_t a) { return quotient(a, true, "FLOOR"); });
  define_builtin("TRUNCATE", 1, 2, [](args_t a) { return quotient(a, false, "TRUNCATE"); });
  define_builtin("MOD", 2, 2, [](args_t a) { return remainder(a[0], a[1], true, "MOD"); });
  define_builtin("REM", 2, 2, [](args_t a) { return remainder(a[0], a[1], false, "REM"); });
  define_builtin("ABS", 1, 1, [](args_t a) {
    const number x = num(a[0]);
    if (x.is_float) return make_double(std::fabs(x.d));
    return x.i < 0 ? negate(a[0]) : a[0];
  });
  define_builtin("ZEROP", 1, 1, [](args_t a) { return boolean(sign_of(a[0]) == 0); });
  define_builtin("PLUSP", 1, 1, [](args_t a) { return boolean(sign_of(a[0]) > 0); });
  define_builtin("MINUSP", 1, 1, [](args_t a) { return boolean(sign_of(a[0]) < 0); });
  define_builtin("EVENP", 1, 1, [](args_t a) { return boolean(integer(a[0]) % 2 == 0); });
  define_builtin("ODDP", 1, 1, [](args_t a) { return boolean(integer(a[0]) % 2 != 0); });
});

}  // namespace

}  // namespace host::lisp
