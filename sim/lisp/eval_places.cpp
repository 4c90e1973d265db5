// Places and the forms that change them: setf, push, pop, incf, decf, remf.
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/structures.h"
#include "lisp/eval_env.h"
#include "lisp/fail.h"

namespace host::lisp::evaluator {

namespace {

ref nthcdr(std::int64_t n, ref list) {
  if (n < 0) type_error(make_integer(n), "UNSIGNED-BYTE");
  for (std::int64_t i = 0; i < n && !is_nil(list); ++i) list = cdr(list);
  return list;
}

place cons_place(const ref& cell_of, bool car_side) {
  return {[cell_of, car_side] { return car_side ? car(cell_of) : cdr(cell_of); },
          [cell_of, car_side](const ref& v) {
            cons_cell& c = as_cons(cell_of);
            (car_side ? c.car : c.cdr) = v;
          }};
}

place getf_place(const ref& form, const env& e) {
  const std::size_t n = list_length(form);
  if (n < 3 || n > 4) malformed(form);
  place plist = resolve_place(form_arg(form, 1), e);
  ref key = eval_in(form_arg(form, 2), e);
  ref dflt = n == 4 ? eval_in(form_arg(form, 3), e) : ref();
  return {[plist, key, dflt] { return getf(plist.get(), key, dflt); },
          [plist, key](const ref& v) {
            ref old = plist.get();
            ref updated = putf(old, key, v);
            if (!(updated == old)) plist.set(updated);
          }};
}

place gethash_place(const ref& form, const env& e) {
  const std::size_t n = list_length(form);
  if (n < 3 || n > 4) malformed(form);
  ref key = eval_in(form_arg(form, 1), e);
  ref table = eval_in(form_arg(form, 2), e);
  ref dflt = n == 4 ? eval_in(form_arg(form, 3), e) : ref();
  as_hash_table(table);
  return {[key, table, dflt] {
            auto& t = static_cast<hash_table_obj&>(*table).table;
            auto it = t.find(key);
            return it == t.end() ? dflt : it->second;
          },
          [key, table](const ref& v) { static_cast<hash_table_obj&>(*table).table[key] = v; }};
}

// A structure accessor is named <type>-<slot> in the type's package; the
// longest type name that fits wins.
std::optional<std::pair<const struct_type*, int>> accessor_slot(const symbol& accessor) {
  if (!accessor.home_package) return std::nullopt;
  const std::string& name = accessor.name;
  for (std::size_t dash = name.rfind('-'); dash != std::string::npos && dash > 0;
       dash = name.rfind('-', dash - 1)) {
    const symbol* type_name = find_symbol(std::string_view(name).substr(0, dash), *accessor.home_package);
    if (!type_name) continue;
    const struct_type* type = find_struct(*type_name);
    if (!type) continue;
    int index = slot_index(*type, std::string_view(name).substr(dash + 1));
    if (index >= 0) return std::pair{type, index};
  }
  return std::nullopt;
}

place structure_place(const ref& form, const env& e) {
  auto slot = accessor_slot(as_symbol(car(form)));
  if (!slot) fail("~S is not a place the host's evaluator can set.", form);
  if (list_length(form) != 2) malformed(form);
  ref object = eval_in(form_arg(form, 1), e);
  auto [type, index] = *slot;
  if (!typep(object, *type)) type_error(object, type->name->name);
  return {[object, index] { return static_cast<structure_obj&>(*object).slots[index]; },
          [object, index](const ref& v) { static_cast<structure_obj&>(*object).slots[index] = v; }};
}

ref setf_form(const ref& form, const env& e) {
  const std::vector<ref> pairs = form_elements(cdr(form), form);
  if (pairs.size() % 2) malformed(form);
  ref value;
  for (std::size_t i = 0; i < pairs.size(); i += 2) {
    place p = resolve_place(pairs[i], e);
    value = eval_in(pairs[i + 1], e);
    p.set(value);
  }
  return value;
}

ref push_form(const ref& form, const env& e) {
  if (list_length(form) != 3) malformed(form);
  ref item = eval_in(form_arg(form, 1), e);
  place p = resolve_place(form_arg(form, 2), e);
  ref updated = cons(item, p.get());
  p.set(updated);
  return updated;
}

ref pop_form(const ref& form, const env& e) {
  if (list_length(form) != 2) malformed(form);
  place p = resolve_place(form_arg(form, 1), e);
  ref list = p.get();
  ref first = car(list);
  p.set(cdr(list));
  return first;
}

ref step_form(const ref& form, const env& e, std::string_view op) {
  const std::size_t n = list_length(form);
  if (n < 2 || n > 3) malformed(form);
  place p = resolve_place(form_arg(form, 1), e);
  ref delta = n == 3 ? eval_in(form_arg(form, 2), e) : make_integer(1);
  ref updated = call(ref(&cl_symbol(op)), p.get(), delta);
  p.set(updated);
  return updated;
}
ref incf_form(const ref& form, const env& e) { return step_form(form, e, "+"); }
ref decf_form(const ref& form, const env& e) { return step_form(form, e, "-"); }

ref remf_form(const ref& form, const env& e) {
  if (list_length(form) != 3) malformed(form);
  place p = resolve_place(form_arg(form, 1), e);
  ref key = eval_in(form_arg(form, 2), e);
  ref plist = p.get();
  ref previous;  // the cons holding the value before the current pair
  for (ref q = plist; consp(q); q = cdr(cdr(q))) {
    if (!consp(cdr(q))) simple_error("Malformed property list.");
    if (car(q) == key) {
      if (is_nil(previous))
        p.set(cdr(cdr(q)));
      else
        as_cons(previous).cdr = cdr(cdr(q));
      return t();
    }
    previous = cdr(q);
  }
  return ref();
}

}  // namespace

place resolve_place(const ref& form, const env& e) {
  if (symbolp(form)) {
    auto* s = static_cast<symbol*>(form.get());
    return {[s, e] { return variable_value(*s, e); }, [s, e](const ref& v) { set_variable(*s, v, e); }};
  }
  if (!consp(form) || !symbolp(car(form))) fail("~S is not a place the host's evaluator can set.", form);
  const std::string& op = as_symbol(car(form)).name;
  const bool standard = as_symbol(car(form)).home_package == &common_lisp_package();
  if (standard && (op == "CAR" || op == "FIRST" || op == "CDR" || op == "REST")) {
    if (list_length(form) != 2) malformed(form);
    return cons_place(eval_in(form_arg(form, 1), e), op == "CAR" || op == "FIRST");
  }
  if (standard && (op == "SECOND" || op == "THIRD")) {
    if (list_length(form) != 2) malformed(form);
    return cons_place(nthcdr(op == "SECOND" ? 1 : 2, eval_in(form_arg(form, 1), e)), true);
  }
  if (standard && op == "NTH") {
    if (list_length(form) != 3) malformed(form);
    ref n = eval_in(form_arg(form, 1), e);
    return cons_place(nthcdr(as_integer(n), eval_in(form_arg(form, 2), e)), true);
  }
  if (standard && op == "GETF") return getf_place(form, e);
  if (standard && op == "GETHASH") return gethash_place(form, e);
  return structure_place(form, e);
}

void add_place_forms(special_form_table& table) {
  table[&cl_symbol("SETF")] = setf_form;
  table[&cl_symbol("PUSH")] = push_form;
  table[&cl_symbol("POP")] = pop_form;
  table[&cl_symbol("INCF")] = incf_form;
  table[&cl_symbol("DECF")] = decf_form;
  table[&cl_symbol("REMF")] = remf_form;
}

}  // namespace host::lisp::evaluator
