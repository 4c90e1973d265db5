// Lisp builtins of the reader and the printer. Printing functions take an
// optional stream designator (NIL and T: *standard-output*).
#include <ostream>
#include <sstream>

#include "builtin_def.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "lisp/runtime.h"
#include "print_object.h"

namespace host::lisp {

namespace {

std::ostream& destination(args_t args, std::size_t index) {
  return output_of(args.size() > index ? args[index] : nil());
}

std::string stream_name(const ref& designator) {
  return is(designator, tag::stream) ? as_stream(designator).name : "standard input";
}

// (read &optional stream eof-error-p eof-value recursive-p)
ref read_fn(args_t args) {
  const ref stream = args.empty() ? nil() : args[0];
  reader r(input_of(stream), stream_name(stream));
  ref form;
  if (r.read(form)) return form;
  if (args.size() < 2 || truthy(args[1]))
    signal("END-OF-FILE", "End of file on the stream \"" + stream_name(stream) + "\".");
  return args.size() > 2 ? args[2] : nil();
}

// (read-from-string string &optional eof-error-p eof-value)
ref read_from_string_fn(args_t args) {
  std::istringstream in(as_string(args[0]));
  reader r(in, "string");
  ref form;
  if (r.read(form)) return form;
  if (args.size() < 2 || truthy(args[1]))
    signal("END-OF-FILE", "End of input while reading the string " + prin1_to_string(args[0]) + ".");
  return args.size() > 2 ? args[2] : nil();
}

// (write-to-string object &key escape pretty readably)
ref write_to_string_fn(args_t args) {
  const keyword_args k("WRITE-TO-STRING", args, 1, {"escape", "pretty", "readably"});
  const bool escape = truthy(k.get("escape", t())) || truthy(k.get("readably"));
  std::string out;
  if (truthy(k.get("pretty")))
    write_pretty(out, args[0], escape);
  else
    write_object(out, args[0], escape);
  return make_string(out);
}

const builtins_registration reg([] {
  define_builtin("READ", 0, 4, read_fn);
  define_builtin("READ-FROM-STRING", 1, 3, read_from_string_fn);
  define_builtin("PRIN1", 1, 2, [](args_t args) {
    prin1(args[0], destination(args, 1));
    return args[0];
  });
  define_builtin("PRINC", 1, 2, [](args_t args) {
    princ(args[0], destination(args, 1));
    return args[0];
  });
  define_builtin("PRINT", 1, 2, [](args_t args) {
    print(args[0], destination(args, 1));
    return args[0];
  });
  define_builtin("PPRINT", 1, 2, [](args_t args) {
    pprint(args[0], destination(args, 1));
    return nil();
  });
  define_builtin("TERPRI", 0, 1, [](args_t args) {
    destination(args, 0) << '\n';
    return nil();
  });
  define_builtin("WRITE-TO-STRING", 1, any_count, write_to_string_fn);
  define_builtin("PRIN1-TO-STRING", 1, 1, [](args_t args) { return make_string(prin1_to_string(args[0])); });
  define_builtin("PRINC-TO-STRING", 1, 1, [](args_t args) { return make_string(princ_to_string(args[0])); });
  define_builtin("WRITE-STRING", 1, 2, [](args_t args) {
    destination(args, 1) << as_string(args[0]);
    return args[0];
  });
  define_builtin("WRITE-LINE", 1, 2, [](args_t args) {
    destination(args, 1) << as_string(args[0]) << '\n';
    return args[0];
  });
});

}  // namespace

}  // namespace host::lisp
