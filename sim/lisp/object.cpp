#include "host/lisp/object.h"

#include <bit>
#include <cstring>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"

namespace host::lisp {

namespace {
symbol* g_nil = nullptr;
bool g_making_nil = false;
}  // namespace

// NIL is made before any package: its own slots would otherwise need NIL.
symbol* nil_symbol() {
  if (g_nil) return g_nil;
  if (g_making_nil) return nullptr;
  g_making_nil = true;
  g_nil = new symbol("NIL", nullptr);
  g_nil->function = ref();
  g_nil->plist = ref();
  return g_nil;
}

namespace {
symbol* t_symbol() {
  static symbol* s = &cl_symbol("T");
  return s;
}
}  // namespace

ref::ref() : p_(nil_symbol()) {}
ref::ref(LAOBJ* p) : p_(p ? p : nil_symbol()) { retain(p_); }

LAOBJ* ref::release_raw() {
  LAOBJ* p = p_;
  p_ = nullptr;
  return p;
}

// Freeing a value frees what it holds, which may free what that holds, as
// deep as the value is nested. Values freed while another is being freed
// wait in a list instead, so freeing never recurses.
void ref::destroy(LAOBJ* p) {
  thread_local std::vector<LAOBJ*>* pending = nullptr;
  if (pending) {
    pending->push_back(p);
    return;
  }
  std::vector<LAOBJ*> queue{p};
  pending = &queue;
  while (!queue.empty()) {
    LAOBJ* next = queue.back();
    queue.pop_back();
    delete next;
  }
  pending = nullptr;
}

cons_cell::~cons_cell() = default;

bool pathname_parts::operator==(const pathname_parts& o) const {
  if (device != o.device || name != o.name || type != o.type || directory.size() != o.directory.size())
    return false;
  for (std::size_t i = 0; i < directory.size(); ++i)
    if (!equal(directory[i], o.directory[i])) return false;
  return true;
}

bool struct_type::is_a(const struct_type* other) const {
  for (const struct_type* t = this; t; t = t->include)
    if (t == other) return true;
  return false;
}

ref nil() { return ref(); }
ref t() { return ref(t_symbol()); }
ref boolean(bool b) { return b ? t() : nil(); }
ref make_string(std::string_view utf8) { return ref(new string_obj(std::string(utf8))); }
ref make_character(char32_t c) { return ref(new character_obj(c)); }
ref make_integer(std::int64_t v) { return ref(new integer_obj(v)); }
ref make_double(double v) { return ref(new dfloat_obj(v)); }
ref cons(ref car, ref cdr) { return ref(new cons_cell(std::move(car), std::move(cdr))); }

ref list(std::initializer_list<ref> items) {
  ref result;
  for (auto it = std::rbegin(items); it != std::rend(items); ++it) result = cons(*it, std::move(result));
  return result;
}

ref list_from(const std::vector<ref>& items) {
  ref result;
  for (auto it = items.rbegin(); it != items.rend(); ++it) result = cons(*it, std::move(result));
  return result;
}

ref make_pathname_obj(pathname_parts parts) { return ref(new pathname_obj(std::move(parts))); }
ref make_hash_table(hash_test test) { return ref(new hash_table_obj(test)); }
ref make_condition(std::string kind, std::string message) {
  return ref(new condition_obj(std::move(kind), std::move(message)));
}
ref make_handle(std::string kind, std::shared_ptr<void> target) {
  return ref(new handle_obj(std::move(kind), std::move(target)));
}
ref make_native_function(std::string name, native_fn fn) {
  auto* f = new function_obj();
  f->name = std::move(name);
  f->native = std::move(fn);
  return ref(f);
}

bool is_nil(const ref& r) { return r.get() == nil_symbol(); }
bool consp(const ref& r) { return r->type == tag::cons; }
bool listp(const ref& r) { return consp(r) || is_nil(r); }
bool symbolp(const ref& r) { return r->type == tag::symbol; }
bool keywordp(const ref& r) { return symbolp(r) && is_keyword(static_cast<const symbol&>(*r)); }
bool stringp(const ref& r) { return r->type == tag::string; }
bool integerp(const ref& r) { return r->type == tag::integer; }
bool numberp(const ref& r) { return r->type == tag::integer || r->type == tag::dfloat; }

namespace {
template <class T>
T& checked(const ref& r, tag t, std::string_view expected) {
  if (r->type != t) type_error(r, expected);
  return static_cast<T&>(*r);
}
}  // namespace

symbol& as_symbol(const ref& r) { return checked<symbol>(r, tag::symbol, "SYMBOL"); }
cons_cell& as_cons(const ref& r) { return checked<cons_cell>(r, tag::cons, "CONS"); }
const std::string& as_string(const ref& r) { return checked<string_obj>(r, tag::string, "STRING").text; }
std::int64_t as_integer(const ref& r) { return checked<integer_obj>(r, tag::integer, "INTEGER").value; }
double as_number(const ref& r) {
  if (r->type == tag::integer) return static_cast<double>(static_cast<integer_obj&>(*r).value);
  return checked<dfloat_obj>(r, tag::dfloat, "NUMBER").value;
}
pathname_obj& as_pathname(const ref& r) { return checked<pathname_obj>(r, tag::pathname, "PATHNAME"); }
structure_obj& as_structure(const ref& r) {
  return checked<structure_obj>(r, tag::structure, "STRUCTURE-OBJECT");
}
hash_table_obj& as_hash_table(const ref& r) {
  return checked<hash_table_obj>(r, tag::hash_table, "HASH-TABLE");
}
package& as_package(const ref& r) { return checked<package>(r, tag::package, "PACKAGE"); }
function_obj& as_function(const ref& r) { return checked<function_obj>(r, tag::function, "FUNCTION"); }
handle_obj& as_handle(const ref& r, std::string_view kind) {
  if (r->type != tag::handle || static_cast<handle_obj&>(*r).kind != kind) type_error(r, kind);
  return static_cast<handle_obj&>(*r);
}

ref car(const ref& r) { return is_nil(r) ? ref() : as_cons(r).car; }
ref cdr(const ref& r) { return is_nil(r) ? ref() : as_cons(r).cdr; }

std::vector<ref> list_to_vector(const ref& l) {
  std::vector<ref> out;
  for (LAOBJ* p = l.get(); p->type == tag::cons; p = static_cast<cons_cell*>(p)->cdr.get())
    out.push_back(static_cast<cons_cell*>(p)->car);
  return out;
}

std::size_t list_length(const ref& l) {
  std::size_t n = 0;
  for (LAOBJ* p = l.get(); p->type == tag::cons; p = static_cast<cons_cell*>(p)->cdr.get()) ++n;
  return n;
}

std::string string_designator(const ref& r) {
  if (r->type == tag::string) return static_cast<string_obj&>(*r).text;
  if (r->type == tag::symbol) return static_cast<symbol&>(*r).name;
  if (r->type == tag::character) {
    char32_t c = static_cast<character_obj&>(*r).code;
    std::string s;
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0x800) {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += static_cast<char>(0xE0 | (c >> 12));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (c >> 18));
      s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
  }
  type_error(r, "STRING");
}

std::size_t char_length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool eql(const ref& a, const ref& b) {
  if (a.get() == b.get()) return true;
  if (a->type != b->type) return false;
  switch (a->type) {
    case tag::integer:
      return static_cast<integer_obj&>(*a).value == static_cast<integer_obj&>(*b).value;
    case tag::dfloat:
      return std::bit_cast<std::uint64_t>(static_cast<dfloat_obj&>(*a).value) ==
             std::bit_cast<std::uint64_t>(static_cast<dfloat_obj&>(*b).value);
    case tag::character:
      return static_cast<character_obj&>(*a).code == static_cast<character_obj&>(*b).code;
    default:
      return false;
  }
}

bool equal(const ref& a0, const ref& b0) {
  // Pairs still to compare; an explicit stack, so depth costs no C++ stack.
  std::vector<std::pair<const LAOBJ*, const LAOBJ*>> todo{{a0.get(), b0.get()}};
  while (!todo.empty()) {
    auto [a, b] = todo.back();
    todo.pop_back();
    if (a == b) continue;
    if (a->type != b->type) return false;
    switch (a->type) {
      case tag::cons: {
        auto* ca = static_cast<const cons_cell*>(a);
        auto* cb = static_cast<const cons_cell*>(b);
        todo.emplace_back(ca->cdr.get(), cb->cdr.get());
        todo.emplace_back(ca->car.get(), cb->car.get());
        continue;
      }
      case tag::string:
        if (static_cast<const string_obj*>(a)->text != static_cast<const string_obj*>(b)->text) return false;
        continue;
      case tag::pathname:
        if (!(static_cast<const pathname_obj*>(a)->parts == static_cast<const pathname_obj*>(b)->parts))
          return false;
        continue;
      default:
        if (!eql(ref(const_cast<LAOBJ*>(a)), ref(const_cast<LAOBJ*>(b)))) return false;
        continue;
    }
  }
  return true;
}

namespace {
std::string upcase_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}
}  // namespace

bool equalp(const ref& a0, const ref& b0) {
  // Pairs still to compare, on an explicit stack like equal's.
  std::vector<std::pair<ref, ref>> todo{{a0, b0}};
  while (!todo.empty()) {
    auto [a, b] = std::move(todo.back());
    todo.pop_back();
    if (a.get() == b.get()) continue;
    if (numberp(a) && numberp(b)) {
      if (as_number(a) != as_number(b)) return false;
      continue;
    }
    if (a->type != b->type) return false;
    switch (a->type) {
      case tag::cons:
        todo.emplace_back(static_cast<cons_cell&>(*a).cdr, static_cast<cons_cell&>(*b).cdr);
        todo.emplace_back(static_cast<cons_cell&>(*a).car, static_cast<cons_cell&>(*b).car);
        continue;
      case tag::string:
        if (upcase_ascii(static_cast<string_obj&>(*a).text) !=
            upcase_ascii(static_cast<string_obj&>(*b).text))
          return false;
        continue;
      case tag::character: {
        auto up = [](char32_t c) { return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c; };
        if (up(static_cast<character_obj&>(*a).code) != up(static_cast<character_obj&>(*b).code))
          return false;
        continue;
      }
      case tag::structure: {
        auto& sa = static_cast<structure_obj&>(*a);
        auto& sb = static_cast<structure_obj&>(*b);
        if (sa.type != sb.type) return false;
        for (std::size_t i = sa.slots.size(); i-- > 0;) todo.emplace_back(sa.slots[i], sb.slots[i]);
        continue;
      }
      case tag::hash_table: {
        auto& ha = static_cast<hash_table_obj&>(*a);
        auto& hb = static_cast<hash_table_obj&>(*b);
        if (ha.test != hb.test || ha.table.size() != hb.table.size()) return false;
        for (auto& [k, v] : ha.table) {
          auto it = hb.table.find(k);
          if (it == hb.table.end()) return false;
          todo.emplace_back(v, it->second);
        }
        continue;
      }
      default:
        if (!equal(a, b)) return false;
        continue;
    }
  }
  return true;
}

std::size_t ref_hash::operator()(const ref& r) const {
  const LAOBJ* p = r.get();
  switch (p->type) {
    case tag::integer:
      return std::hash<std::int64_t>()(static_cast<const integer_obj*>(p)->value);
    case tag::dfloat:
      return std::hash<std::uint64_t>()(
          std::bit_cast<std::uint64_t>(static_cast<const dfloat_obj*>(p)->value));
    case tag::character:
      return std::hash<char32_t>()(static_cast<const character_obj*>(p)->code);
    default:
      break;
  }
  if (test == hash_test::equal) {
    switch (p->type) {
      case tag::string:
        return std::hash<std::string>()(static_cast<const string_obj*>(p)->text);
      case tag::pathname:
        return std::hash<std::string>()(namestring(static_cast<const pathname_obj*>(p)->parts));
      case tag::cons: {
        // Bounded walk, in length and in depth: equal conses must hash
        // alike, long or deep ones may collide.
        std::size_t h = 0x9e3779b9;
        int budget = 8;
        for (const LAOBJ* c = p; c->type == tag::cons && budget-- > 0;
             c = static_cast<const cons_cell*>(c)->cdr.get()) {
          const ref& item = static_cast<const cons_cell*>(c)->car;
          h = h * 31 + (item->type == tag::cons ? 0x51ed27 : (*this)(item));
        }
        return h;
      }
      default:
        break;
    }
  }
  return std::hash<const void*>()(p);
}

bool ref_equal::operator()(const ref& a, const ref& b) const {
  return test == hash_test::equal ? equal(a, b) : eql(a, b);
}

ref getf(const ref& plist, const ref& key, const ref& dflt) {
  for (ref p = plist; consp(p); p = cdr(cdr(p)))
    if (car(p) == key) return car(cdr(p));
  return dflt;
}

ref putf(const ref& plist, const ref& key, const ref& value) {
  for (ref p = plist; consp(p); p = cdr(cdr(p))) {
    if (car(p) == key) {
      ref rest = cdr(p);
      if (!consp(rest)) simple_error("Malformed property list.");
      as_cons(rest).car = value;
      return plist;
    }
  }
  return cons(key, cons(value, plist));
}

}  // namespace host::lisp
