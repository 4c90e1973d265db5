// The evaluator's inner workings, shared by its files: lexical
// environments, special-form dispatch, closures and places.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/lisp/eval.h"
#include "host/lisp/object.h"

namespace host::lisp::evaluator {

// A lexical environment is a chain of scopes, newest first, each holding
// one binding. Bindings are shared: a closure keeps those of its scopes
// it can refer to (see make_closure), and setq changes a binding in place
// for everyone who holds it.
struct binding {
  enum class kind { variable, block };
  kind what;
  symbol* name;
  ref value;         // variables
  bool live = true;  // blocks: false once the block has been left
};

struct scope;
using env = std::shared_ptr<const scope>;
struct scope {
  std::shared_ptr<binding> b;
  env next;
};

env bind_variable(symbol* name, ref value, env next);
env push_scope(std::shared_ptr<binding> b, env next);
// The innermost lexical binding of a variable, or nullptr.
binding* find_variable(const env& e, const symbol* name);

// Thrown by return-from to the block it names.
struct block_exit {
  const binding* target;
  ref value;
};
// Runs body inside a block named `name` (NIL for dolist and dotimes); body
// receives the environment that holds the block.
ref run_block(symbol* name, const env& e, const std::function<ref(const env&)>& body);

// Dynamic bindings of special variables made by one binding form, undone
// newest first when the form is left.
class dynamic_bindings {
 public:
  dynamic_bindings() = default;
  dynamic_bindings(const dynamic_bindings&) = delete;
  dynamic_bindings& operator=(const dynamic_bindings&) = delete;
  ~dynamic_bindings() {
    while (!bindings_.empty()) bindings_.pop_back();
  }
  void bind(symbol& s, ref value) {
    bindings_.push_back(std::make_unique<special_binding>(s, std::move(value)));
  }

 private:
  std::vector<std::unique_ptr<special_binding>> bindings_;
};

// Binds a variable the way let does: dynamically when it is special,
// otherwise in the lexical environment e.
void bind(symbol& s, ref value, env& e, dynamic_bindings& dynamic);

ref eval_in(const ref& form, const env& e);
// Evaluates forms in order; the value of the last, NIL for none.
ref eval_body(const ref& forms, const env& e);
ref variable_value(symbol& s, const env& e);
void set_variable(symbol& s, ref value, const env& e);

// Special forms receive the unevaluated form and its environment.
using special_form = ref (*)(const ref& form, const env& e);
using special_form_table = std::unordered_map<const symbol*, special_form>;
void add_control_forms(special_form_table& table);
void add_binding_forms(special_form_table& table);
void add_definition_forms(special_form_table& table);
void add_place_forms(special_form_table& table);

// Syntax errors of special forms.
[[noreturn]] void malformed(const ref& form);
// The elements of a proper list that is part of a form; malformed otherwise.
std::vector<ref> form_elements(const ref& list, const ref& form);
// The n-th element of form (0 is the operator); malformed when missing.
ref form_arg(const ref& form, std::size_t n);
// The form's arguments after the first n, as a list.
ref form_rest(const ref& form, std::size_t n);
// Skips a leading documentation string (when more forms follow and
// allow_doc) and declarations; a special declaration is not supported.
ref skip_declarations(const ref& body, bool allow_doc);

// An interpreted function: its parsed lambda list, body and environment.
// It keeps only the variables whose names occur in its lambda list or body
// (and every block): a closure stored in a variable it does not mention
// then does not hold itself alive through that variable's binding.
ref make_closure(std::string name, symbol* block_name, const ref& lambda_list, const ref& body, const env& e);

// A place of setf, push, pop, incf and decf, its subforms evaluated once.
struct place {
  std::function<ref()> get;
  std::function<void(const ref&)> set;
};
place resolve_place(const ref& form, const env& e);

// Key/value pairs of args[from..]: an odd count or, unless allowed, an
// unknown key (known tells) signals. :allow-other-keys t among the pairs
// allows other keys as in Common Lisp.
void check_keyword_pairs(std::string_view function, args_t args, std::size_t from,
                         const std::function<bool(const symbol&)>& known, bool allow_other_keys);

}  // namespace host::lisp::evaluator
