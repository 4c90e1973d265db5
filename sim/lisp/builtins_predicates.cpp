// Type predicates and the equality predicates.
#include "lisp/builtin_def.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

// Integers and characters are immediate objects in the usual
// implementations, so eq compares them by value; the host boxes them.
bool eq(const ref& a, const ref& b) {
  if (a == b) return true;
  return a->type == b->type && (a->type == tag::integer || a->type == tag::character) && eql(a, b);
}

void predicate(std::string_view name, bool (*test)(const ref&)) {
  define_builtin(name, 1, 1, [test](args_t a) { return boolean(test(a[0])); });
}

void equality(std::string_view name, bool (*test)(const ref&, const ref&)) {
  define_builtin(name, 2, 2, [test](args_t a) { return boolean(test(a[0], a[1])); });
}

const builtins_registration reg([] {
  predicate("NULL", is_nil);
  predicate("NOT", is_nil);
  predicate("ATOM", [](const ref& r) { return !consp(r); });
  predicate("CONSP", consp);
  predicate("LISTP", listp);
  predicate("SYMBOLP", symbolp);
  predicate("KEYWORDP", keywordp);
  predicate("STRINGP", stringp);
  predicate("NUMBERP", numberp);
  predicate("INTEGERP", integerp);
  predicate("FLOATP", [](const ref& r) { return is(r, tag::dfloat); });
  predicate("FUNCTIONP", [](const ref& r) { return is(r, tag::function); });
  predicate("CHARACTERP", [](const ref& r) { return is(r, tag::character); });
  predicate("HASH-TABLE-P", [](const ref& r) { return is(r, tag::hash_table); });
  equality("EQ", eq);
  equality("EQL", eql);
  equality("EQUAL", equal);
  equality("EQUALP", equalp);
});

}  // namespace

}  // namespace host::lisp
