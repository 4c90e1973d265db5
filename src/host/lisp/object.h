// The host's Lisp values as the module sees them.
//
// Every Lisp value is an LAOBJ. Values other than symbols and packages are
// reference counted: hold them in a `host::lisp::ref`. Symbols and packages
// live as long as the process. NIL and T are symbols; a default-constructed
// ref is NIL, never a null pointer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host::lisp {

enum class tag : std::uint8_t {
  symbol,
  cons,
  string,
  character,
  integer,
  dfloat,
  pathname,
  structure,
  hash_table,
  package,
  function,
  stream,
  handle,
  condition,
};

}  // namespace host::lisp

struct LAOBJ {
  explicit LAOBJ(host::lisp::tag t) : type(t) {}
  LAOBJ(const LAOBJ&) = delete;
  LAOBJ& operator=(const LAOBJ&) = delete;
  virtual ~LAOBJ() = default;

  const host::lisp::tag type;
  // Symbols and packages are immortal and ignore the count.
  mutable std::uint32_t refs = 0;
  bool immortal = false;
};

namespace host::lisp {

// Counted reference to a Lisp value; NIL when default-constructed.
class ref {
 public:
  ref();
  ref(LAOBJ* p);  // NOLINT: raw values convert implicitly
  ref(const ref& o) : p_(o.p_) { retain(p_); }
  ref(ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~ref() { release(p_); }
  ref& operator=(const ref& o) {
    retain(o.p_);
    release(p_);
    p_ = o.p_;
    return *this;
  }
  ref& operator=(ref&& o) noexcept {
    if (this != &o) {
      release(p_);
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }

  LAOBJ* get() const { return p_; }
  LAOBJ* operator->() const { return p_; }
  LAOBJ& operator*() const { return *p_; }
  bool operator==(const ref& o) const { return p_ == o.p_; }  // eq
  explicit operator bool() const = delete;                    // use is_nil / truthy

  // Hands the pointer to the caller without decrementing: used when a raw
  // LAOBJ* must outlive this ref (see autorelease).
  LAOBJ* release_raw();

 private:
  static void retain(LAOBJ* p) {
    if (p && !p->immortal) ++p->refs;
  }
  static void release(LAOBJ* p) {
    if (p && !p->immortal && --p->refs == 0) destroy(p);
  }
  static void destroy(LAOBJ* p);
  LAOBJ* p_;
};

using args_t = std::span<const ref>;

struct package;

struct symbol : LAOBJ {
  symbol(std::string n, package* home) : LAOBJ(tag::symbol), name(std::move(n)), home_package(home) {
    immortal = true;
  }
  std::string name;
  package* home_package;     // nullptr when uninterned
  std::optional<ref> value;  // unbound when empty
  ref function;              // NIL when not fbound
  ref plist;
  bool special = false;
  bool constant = false;
};

struct cons_cell : LAOBJ {
  cons_cell(ref a, ref d) : LAOBJ(tag::cons), car(std::move(a)), cdr(std::move(d)) {}
  ~cons_cell() override;
  ref car;
  ref cdr;
};

// UTF-8 text. Lengths and positions the Lisp side sees count characters.
struct string_obj : LAOBJ {
  explicit string_obj(std::string s) : LAOBJ(tag::string), text(std::move(s)) {}
  std::string text;
};

struct character_obj : LAOBJ {
  explicit character_obj(char32_t c) : LAOBJ(tag::character), code(c) {}
  char32_t code;
};

struct integer_obj : LAOBJ {
  explicit integer_obj(std::int64_t v) : LAOBJ(tag::integer), value(v) {}
  std::int64_t value;
};

// The long (double) float of the host; prints with the exponent marker d.
struct dfloat_obj : LAOBJ {
  explicit dfloat_obj(double v) : LAOBJ(tag::dfloat), value(v) {}
  double value;
};

// A pathname's parts; an absent part is NIL on the Lisp side.
struct pathname_parts {
  std::optional<std::string> device;
  // Directory as Lisp sees it: first element :absolute or :relative, then
  // names; :wild, :wild-inferiors and :up may appear. Empty when absent.
  std::vector<ref> directory;
  std::optional<std::string> name;  // "*" is :wild
  std::optional<std::string> type;
  bool operator==(const pathname_parts&) const;
};

struct pathname_obj : LAOBJ {
  explicit pathname_obj(pathname_parts p) : LAOBJ(tag::pathname), parts(std::move(p)) {}
  pathname_parts parts;
};

// A structure type, named by a symbol, with its own slots after those of the
// included type.
struct struct_type {
  symbol* name;
  const struct_type* include = nullptr;
  std::vector<symbol*> slots;  // all slots in order, included ones first
  bool is_a(const struct_type* other) const;
};

struct structure_obj : LAOBJ {
  explicit structure_obj(const struct_type* t) : LAOBJ(tag::structure), type(t), slots(t->slots.size()) {}
  const struct_type* type;
  std::vector<ref> slots;
};

enum class hash_test : std::uint8_t { eql, equal };

struct ref_hash {
  hash_test test;
  std::size_t operator()(const ref& r) const;
};
struct ref_equal {
  hash_test test;
  bool operator()(const ref& a, const ref& b) const;
};

struct hash_table_obj : LAOBJ {
  explicit hash_table_obj(hash_test t)
      : LAOBJ(tag::hash_table), test(t), table(16, ref_hash{t}, ref_equal{t}) {}
  hash_test test;
  std::unordered_map<ref, ref, ref_hash, ref_equal> table;
};

struct package : LAOBJ {
  explicit package(std::string n) : LAOBJ(tag::package), name(std::move(n)) { immortal = true; }
  std::string name;
  std::vector<std::string> nicknames;
  std::vector<package*> use_list;
  std::unordered_map<std::string, symbol*> internals;
  std::unordered_map<std::string, symbol*> externals;
  std::vector<symbol*> shadowing;
};

// Native functions receive their evaluated arguments.
using native_fn = std::function<ref(args_t)>;

struct function_obj : LAOBJ {
  function_obj() : LAOBJ(tag::function) {}
  std::string name;  // for messages; may be empty for anonymous lambdas
  native_fn native;  // set for native functions
  // Interpreted lambdas: the evaluator's closure data.
  std::shared_ptr<const void> closure;
};

struct stream_obj;  // see streams.h

// An opaque host object (an entity, a drawing, a dialog, ...). `kind` names
// what it is for printing and for type checks.
struct handle_obj : LAOBJ {
  handle_obj(std::string k, std::shared_ptr<void> t)
      : LAOBJ(tag::handle), kind(std::move(k)), target(std::move(t)) {}
  std::string kind;
  std::shared_ptr<void> target;
};

// An error object: what a trapped host failure yields.
struct condition_obj : LAOBJ {
  condition_obj(std::string k, std::string m)
      : LAOBJ(tag::condition), kind(std::move(k)), message(std::move(m)) {}
  std::string kind;  // e.g. "SIMPLE-ERROR", "TYPE-ERROR", "READER-ERROR"
  std::string message;
};

// --- Constructors -----------------------------------------------------------

ref nil();
ref t();
ref boolean(bool b);
ref make_string(std::string_view utf8);
ref make_character(char32_t c);
ref make_integer(std::int64_t v);
ref make_double(double v);
ref cons(ref car, ref cdr);
ref list(std::initializer_list<ref> items);
ref list_from(const std::vector<ref>& items);
ref make_pathname_obj(pathname_parts parts);
ref make_hash_table(hash_test test);
ref make_condition(std::string kind, std::string message);
ref make_handle(std::string kind, std::shared_ptr<void> target);
ref make_native_function(std::string name, native_fn fn);

// --- Predicates and accessors ----------------------------------------------

inline bool is(const ref& r, tag t) { return r->type == t; }
bool is_nil(const ref& r);
inline bool truthy(const ref& r) { return !is_nil(r); }
bool consp(const ref& r);
bool listp(const ref& r);
bool symbolp(const ref& r);
bool keywordp(const ref& r);
bool stringp(const ref& r);
bool integerp(const ref& r);
bool numberp(const ref& r);

// Checked accessors: a value of the wrong type signals the host's type error
// (`expected` names the type for the message).
symbol& as_symbol(const ref& r);
cons_cell& as_cons(const ref& r);
const std::string& as_string(const ref& r);
std::int64_t as_integer(const ref& r);
double as_number(const ref& r);
pathname_obj& as_pathname(const ref& r);
structure_obj& as_structure(const ref& r);
hash_table_obj& as_hash_table(const ref& r);
package& as_package(const ref& r);
function_obj& as_function(const ref& r);
handle_obj& as_handle(const ref& r, std::string_view kind);

ref car(const ref& r);  // of NIL is NIL
ref cdr(const ref& r);
std::vector<ref> list_to_vector(const ref& list);
std::size_t list_length(const ref& list);

// Symbol name or string text, for string designators.
std::string string_designator(const ref& r);

// Number of characters in UTF-8 text.
std::size_t char_length(std::string_view utf8);

bool eql(const ref& a, const ref& b);
bool equal(const ref& a, const ref& b);
// equalp: like equal but also compares structures slot by slot, strings
// case-insensitively and numbers by value.
bool equalp(const ref& a, const ref& b);

// Property lists: (getf plist key default).
ref getf(const ref& plist, const ref& key, const ref& dflt = ref());
ref putf(const ref& plist, const ref& key, const ref& value);

// --- Host handles ----------------------------------------------------------

template <class T>
std::shared_ptr<T> handle_target(const ref& r, std::string_view kind) {
  return std::static_pointer_cast<T>(as_handle(r, kind).target);
}

}  // namespace host::lisp
