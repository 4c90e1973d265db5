// Lisp builtins on universal time. A missing time zone means the running
// system's local time, as in Common Lisp; a given one is hours west of UTC,
// an integer or a float for zones such as -5.5. The evaluator carries one
// value per form, so decode-universal-time answers its first value only,
// the second.
#include <climits>
#include <cmath>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/time.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

int int_argument(const ref& value) {
  std::int64_t v = as_integer(value);
  if (v < INT_MIN || v > INT_MAX) type_error(value, "(SIGNED-BYTE 32)");
  return static_cast<int>(v);
}

std::int64_t zone_seconds(const ref& zone) {
  double hours = as_number(zone);
  if (!(hours >= -24 && hours <= 24)) type_error(zone, "(RATIONAL -24 24)");
  return std::llround(hours * 3600);
}

ref encode_fn(args_t args) {
  check_argument_count("ENCODE-UNIVERSAL-TIME", args, 6, 7);
  int f[6];
  for (int i = 0; i < 6; ++i) f[i] = int_argument(args[i]);
  if (args.size() == 6) return make_integer(encode_local_universal_time(f[0], f[1], f[2], f[3], f[4], f[5]));
  return make_integer(encode_universal_time(f[0], f[1], f[2], f[3], f[4], f[5]) + zone_seconds(args[6]));
}

ref decode_fn(args_t args) {
  check_argument_count("DECODE-UNIVERSAL-TIME", args, 1, 2);
  std::int64_t t = as_integer(args[0]);
  decoded_time d =
      args.size() == 1 ? decode_local_universal_time(t) : decode_universal_time(t - zone_seconds(args[1]));
  return make_integer(d.second);
}

const builtins_registration reg([] {
  defun(cl_symbol("GET-UNIVERSAL-TIME"), [](args_t args) {
    check_argument_count("GET-UNIVERSAL-TIME", args, 0, 0);
    return make_integer(get_universal_time());
  });
  defun(cl_symbol("ENCODE-UNIVERSAL-TIME"), encode_fn);
  defun(cl_symbol("DECODE-UNIVERSAL-TIME"), decode_fn);
});

}  // namespace

}  // namespace host::lisp
