// Doubles as SBCL prints them: the shortest digits that read back to the
// same double, in plain notation for 1e-3 <= |x| < 1e7 and with an exponent
// otherwise, always with the exponent marker d.
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "host/lisp/printer.h"

namespace host::lisp {

namespace {

// Just enough unsigned arbitrary-precision arithmetic for digit generation.
class bignum {
 public:
  explicit bignum(std::uint64_t v) {
    for (; v; v >>= 32) w_.push_back(static_cast<std::uint32_t>(v));
  }
  void shift_left(unsigned bits) {
    w_.insert(w_.begin(), bits / 32, 0);
    if (bits % 32) {
      std::uint32_t carry = 0;
      for (auto& x : w_) {
        const std::uint64_t v = (std::uint64_t{x} << (bits % 32)) | carry;
        x = static_cast<std::uint32_t>(v);
        carry = static_cast<std::uint32_t>(v >> 32);
      }
      if (carry) w_.push_back(carry);
    }
  }
  void times10() {
    std::uint64_t carry = 0;
    for (auto& x : w_) {
      const std::uint64_t v = std::uint64_t{x} * 10 + carry;
      x = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry) w_.push_back(static_cast<std::uint32_t>(carry));
  }
  bignum operator+(const bignum& o) const {
    bignum r(0);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < std::max(w_.size(), o.w_.size()); ++i) {
      const std::uint64_t v = std::uint64_t{at(i)} + o.at(i) + carry;
      r.w_.push_back(static_cast<std::uint32_t>(v));
      carry = v >> 32;
    }
    if (carry) r.w_.push_back(static_cast<std::uint32_t>(carry));
    return r;
  }
  // Requires *this >= o.
  void subtract(const bignum& o) {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < w_.size(); ++i) {
      std::int64_t v = std::int64_t{w_[i]} - o.at(i) - borrow;
      borrow = v < 0;
      w_[i] = static_cast<std::uint32_t>(v + (borrow << 32));
    }
    trim();
  }
  friend int compare(const bignum& a, const bignum& b) {
    if (a.w_.size() != b.w_.size()) return a.w_.size() < b.w_.size() ? -1 : 1;
    for (std::size_t i = a.w_.size(); i-- > 0;)
      if (a.w_[i] != b.w_[i]) return a.w_[i] < b.w_[i] ? -1 : 1;
    return 0;
  }

 private:
  std::uint32_t at(std::size_t i) const { return i < w_.size() ? w_[i] : 0; }
  void trim() {
    while (!w_.empty() && w_.back() == 0) w_.pop_back();
  }
  std::vector<std::uint32_t> w_;
};

// Free-format digit generation (Steele & White, Burger & Dybvig) for
// f * 2^e, exactly as SBCL runs it, so that the last digit agrees wherever
// several shortest forms exist. SBCL gives a subnormal the 53-bit precision
// of a normal double, which makes its digits longer than the shortest;
// shortest_digits normalises f accordingly. Returns the digits and k with
// value = 0.digits * 10^k.
std::pair<std::string, int> free_format_digits(std::uint64_t f, int e) {
  const bool even = f % 2 == 0;
  // The lower neighbour is closer when f is the smallest 53-bit significand.
  const bool uneven_gaps = f == (std::uint64_t{1} << 52);
  bignum r(f), s(1), m_plus(1), m_minus(1);
  if (e >= 0) {
    r.shift_left(static_cast<unsigned>(e) + (uneven_gaps ? 2 : 1));
    s = bignum(uneven_gaps ? 4 : 2);
    m_plus.shift_left(static_cast<unsigned>(e) + (uneven_gaps ? 1 : 0));
    m_minus.shift_left(static_cast<unsigned>(e));
  } else {
    r.shift_left(uneven_gaps ? 2 : 1);
    s.shift_left(static_cast<unsigned>(-e) + (uneven_gaps ? 2 : 1));
    if (uneven_gaps) m_plus = bignum(2);
  }
  int k = 0;
  for (;;) {
    const int c = compare(r + m_plus, s);
    if (c < 0 || (c == 0 && !even)) break;
    s.times10();
    ++k;
  }
  for (;;) {
    bignum x = r + m_plus;
    x.times10();
    const int c = compare(x, s);
    if (!(c < 0 || (c == 0 && !even))) break;
    --k;
    r.times10();
    m_plus.times10();
    m_minus.times10();
  }
  std::string digits;
  for (;;) {
    r.times10();
    int d = 0;
    while (compare(r, s) >= 0) {
      r.subtract(s);
      ++d;
    }
    m_plus.times10();
    m_minus.times10();
    const int low = compare(r, m_minus);
    const int high = compare(r + m_plus, s);
    const bool tc1 = low < 0 || (even && low == 0);
    const bool tc2 = high > 0 || (even && high == 0);
    if (tc1 || tc2) {
      if ((tc2 && !tc1) || (tc1 && tc2 && compare(r + r, s) >= 0)) ++d;
      digits += static_cast<char>('0' + d);
      return {digits, k};
    }
    digits += static_cast<char>('0' + d);
  }
}

std::pair<std::string, int> shortest_digits(double magnitude) {
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased_exponent = static_cast<int>(bits >> 52);
  std::uint64_t f = bits & ((std::uint64_t{1} << 52) - 1);
  int e = -1074;
  if (biased_exponent > 0) {
    f |= std::uint64_t{1} << 52;
    e = biased_exponent - 1075;
  } else {
    while (f < (std::uint64_t{1} << 52)) f <<= 1, --e;
  }
  return free_format_digits(f, e);
}

}  // namespace

std::string format_double(double v) {
  if (std::isnan(v)) return "#<DOUBLE-FLOAT quiet NaN>";
  if (std::isinf(v))
    return v > 0 ? "#.SB-EXT:DOUBLE-FLOAT-POSITIVE-INFINITY" : "#.SB-EXT:DOUBLE-FLOAT-NEGATIVE-INFINITY";
  std::string out = std::signbit(v) ? "-" : "";
  const double magnitude = std::fabs(v);
  if (magnitude == 0) return out + "0.0d0";
  auto [digits, k] = shortest_digits(magnitude);
  const int n = static_cast<int>(digits.size());
  if (magnitude >= 1e-3 && magnitude < 1e7) {
    if (k <= 0)
      out += "0." + std::string(static_cast<std::size_t>(-k), '0') + digits;
    else if (k >= n)
      out += digits + std::string(static_cast<std::size_t>(k - n), '0') + ".0";
    else
      out += digits.substr(0, static_cast<std::size_t>(k)) + "." + digits.substr(static_cast<std::size_t>(k));
    return out + "d0";
  }
  out += digits[0];
  out += '.';
  out += n > 1 ? digits.substr(1) : "0";
  return out + "d" + std::to_string(k - 1);
}

}  // namespace host::lisp
