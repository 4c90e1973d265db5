// Conses and lists: accessors, construction, property and association
// lists, and lists as sets.
#include "lisp/builtin_def.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"
#include "lisp/sequences.h"

namespace host::lisp {

namespace {

ref list_car(const ref& r) {
  if (is_nil(r)) return r;
  if (!consp(r)) type_error(r, "LIST");
  return static_cast<cons_cell&>(*r).car;
}

ref list_cdr(const ref& r) {
  if (is_nil(r)) return r;
  if (!consp(r)) type_error(r, "LIST");
  return static_cast<cons_cell&>(*r).cdr;
}

std::int64_t index_arg(const ref& r) {
  if (!integerp(r) || as_integer(r) < 0) type_error(r, "UNSIGNED-BYTE");
  return as_integer(r);
}

ref nthcdr(std::int64_t n, ref list) {
  for (std::int64_t i = 0; i < n && !is_nil(list); ++i) list = list_cdr(list);
  return list;
}

// The conses of a list, which may be dotted; a type error for a non-list.
std::vector<cons_cell*> conses(const ref& list) {
  if (!listp(list)) type_error(list, "LIST");
  std::vector<cons_cell*> out;
  for (LAOBJ* p = list.get(); p->type == tag::cons; p = static_cast<cons_cell*>(p)->cdr.get())
    out.push_back(static_cast<cons_cell*>(p));
  return out;
}

std::vector<ref> proper_list(const ref& list) {
  std::vector<ref> out;
  ref p = list;
  for (; consp(p); p = as_cons(p).cdr) out.push_back(as_cons(p).car);
  if (!is_nil(p)) type_error(list, "LIST");
  return out;
}

// Copies `list` in front of `tail`.
ref copy_onto(const ref& list, const ref& tail) {
  const std::vector<ref> items = proper_list(list);
  ref result = tail;
  for (auto it = items.rbegin(); it != items.rend(); ++it) result = cons(*it, result);
  return result;
}

ref append(args_t a) {
  if (a.empty()) return ref();
  ref result = a.back();
  for (std::size_t i = a.size() - 1; i-- > 0;) result = copy_onto(a[i], result);
  return result;
}

ref nconc(args_t a) {
  ref result;
  cons_cell* last = nullptr;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (is_nil(a[i])) continue;
    if (i + 1 < a.size() && !consp(a[i])) type_error(a[i], "LIST");
    if (last)
      last->cdr = a[i];
    else
      result = a[i];
    if (consp(a[i])) last = conses(a[i]).back();
  }
  return result;
}

ref last(args_t a) {
  const std::int64_t n = a.size() > 1 ? index_arg(a[1]) : 1;
  const std::vector<cons_cell*> cells = conses(a[0]);
  if (n == 0) return cells.empty() ? a[0] : cells.back()->cdr;
  if (static_cast<std::size_t>(n) >= cells.size()) return a[0];
  return ref(cells[cells.size() - n]);
}

ref butlast(args_t a) {
  const std::int64_t n = a.size() > 1 ? index_arg(a[1]) : 1;
  const std::vector<cons_cell*> cells = conses(a[0]);
  if (static_cast<std::size_t>(n) >= cells.size()) return ref();
  std::vector<ref> items;
  for (std::size_t i = 0; i < cells.size() - n; ++i) items.push_back(cells[i]->car);
  return list_from(items);
}

ref copy_list(const ref& list) {
  const std::vector<cons_cell*> cells = conses(list);
  ref result = cells.empty() ? list : cells.back()->cdr;
  for (auto it = cells.rbegin(); it != cells.rend(); ++it) result = cons((*it)->car, result);
  return result;
}

ref list_star(args_t a) {
  ref result = a.back();
  for (std::size_t i = a.size() - 1; i-- > 0;) result = cons(a[i], result);
  return result;
}

ref member(const ref& item, const ref& list, const test_key& tk) {
  for (ref p = list; !is_nil(p); p = list_cdr(p))
    if (tk.test(item, tk.key(list_car(p)))) return p;
  return ref();
}

ref member_function(args_t a) {
  keyword_args keys("MEMBER", a, 2, {"test", "key"});
  return member(a[0], a[1], test_key(keys));
}

// assoc and rassoc skip NIL elements of the alist.
ref association(args_t a, std::string_view name, bool by_value) {
  keyword_args keys(name, a, 2, {"test", "key"});
  test_key tk(keys);
  for (const ref& entry : proper_list(a[1])) {
    if (is_nil(entry)) continue;
    if (!consp(entry)) type_error(entry, "LIST");
    if (tk.test(a[0], tk.key(by_value ? as_cons(entry).cdr : as_cons(entry).car))) return entry;
  }
  return ref();
}

ref adjoin(args_t a) {
  keyword_args keys("ADJOIN", a, 2, {"test", "key"});
  test_key tk(keys);
  return is_nil(member(tk.key(a[0]), a[1], tk)) ? cons(a[0], a[1]) : a[1];
}

// The set functions build their results by pushing, so element order
// follows the usual implementation (SBCL's, which users see as the
// reference): union pushes the new elements of the longer list onto the
// shorter one, intersection and set-difference push what they keep.
ref set_result(const ref& from, const ref& other, const ref& onto, bool keep_members, const test_key& tk) {
  ref result = onto;
  for (const ref& e : proper_list(from))
    if (is_nil(member(tk.key(e), other, tk)) != keep_members) result = cons(e, result);
  return result;
}

ref set_union(args_t a) {
  keyword_args keys("UNION", a, 2, {"test", "key"});
  const bool swap = sequence_length(a[0]) < sequence_length(a[1]);
  const ref& longer = swap ? a[1] : a[0];
  const ref& shorter = swap ? a[0] : a[1];
  return set_result(longer, shorter, shorter, false, test_key(keys));
}

ref intersection(args_t a) {
  keyword_args keys("INTERSECTION", a, 2, {"test", "key"});
  return set_result(a[0], a[1], ref(), true, test_key(keys));
}

ref set_difference(args_t a) {
  keyword_args keys("SET-DIFFERENCE", a, 2, {"test", "key"});
  if (is_nil(a[1])) return a[0];
  return set_result(a[0], a[1], ref(), false, test_key(keys));
}

ref getf_function(args_t a) {
  for (ref p = a[0]; !is_nil(p); p = list_cdr(list_cdr(p))) {
    if (!consp(list_cdr(p))) fail("Malformed property list: ~S", a[0]);
    if (list_car(p) == a[1]) return list_car(list_cdr(p));
  }
  return a.size() > 2 ? a[2] : ref();
}

const builtins_registration reg([] {
  define_builtin("CAR", 1, 1, [](args_t a) { return list_car(a[0]); });
  define_builtin("CDR", 1, 1, [](args_t a) { return list_cdr(a[0]); });
  define_builtin("CAAR", 1, 1, [](args_t a) { return list_car(list_car(a[0])); });
  define_builtin("CADR", 1, 1, [](args_t a) { return list_car(list_cdr(a[0])); });
  define_builtin("CDAR", 1, 1, [](args_t a) { return list_cdr(list_car(a[0])); });
  define_builtin("CDDR", 1, 1, [](args_t a) { return list_cdr(list_cdr(a[0])); });
  define_builtin("FIRST", 1, 1, [](args_t a) { return list_car(a[0]); });
  define_builtin("SECOND", 1, 1, [](args_t a) { return list_car(nthcdr(1, a[0])); });
  define_builtin("THIRD", 1, 1, [](args_t a) { return list_car(nthcdr(2, a[0])); });
  define_builtin("REST", 1, 1, [](args_t a) { return list_cdr(a[0]); });
  define_builtin("NTH", 2, 2, [](args_t a) { return list_car(nthcdr(index_arg(a[0]), a[1])); });
  define_builtin("NTHCDR", 2, 2, [](args_t a) { return nthcdr(index_arg(a[0]), a[1]); });
  define_builtin("CONS", 2, 2, [](args_t a) { return cons(a[0], a[1]); });
  define_builtin("LIST", 0, any_count,
                 [](args_t a) { return list_from(std::vector<ref>(a.begin(), a.end())); });
  define_builtin("LIST*", 1, any_count, list_star);
  define_builtin("APPEND", 0, any_count, append);
  define_builtin("NCONC", 0, any_count, nconc);
  define_builtin("LAST", 1, 2, last);
  define_builtin("BUTLAST", 1, 2, butlast);
  define_builtin("COPY-LIST", 1, 1, [](args_t a) { return copy_list(a[0]); });
  define_builtin("MEMBER", 2, any_count, member_function);
  define_builtin("ASSOC", 2, any_count, [](args_t a) { return association(a, "ASSOC", false); });
  define_builtin("RASSOC", 2, any_count, [](args_t a) { return association(a, "RASSOC", true); });
  define_builtin("ADJOIN", 2, any_count, adjoin);
  define_builtin("UNION", 2, any_count, set_union);
  define_builtin("INTERSECTION", 2, any_count, intersection);
  define_builtin("SET-DIFFERENCE", 2, any_count, set_difference);
  define_builtin("GETF", 2, 3, getf_function);
});

}  // namespace

}  // namespace host::lisp
