// Host events (host/events.h): subscriptions and their handlers.
#include "host/events.h"

#include <iostream>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "lisp/runtime.h"

namespace {

using namespace host::lisp;

struct subscription {
  ref event, handler, argument;
  bool active = true;
};

std::vector<std::shared_ptr<subscription>>& subscriptions() {
  static std::vector<std::shared_ptr<subscription>> all;
  return all;
}

symbol& event_variable(std::string_view name) {
  package& event = require_package("EVENT");
  symbol& s = intern(name, event);
  export_symbol(s, event);
  return s;
}

const builtins_registration event_functions([] {
  defparameter(event_variable("*BROWSER-UPDATE-EVENT*"), ref(&keyword("BROWSER-UPDATE-EVENT")));
  defparameter(event_variable("*CHANGED-PARCEL-TREE-EVENT*"), ref(&keyword("CHANGED-PARCEL-TREE-EVENT")));
  package& event = require_package("EVENT");
  auto def = [&](std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
    symbol& s = intern(name, event);
    export_symbol(s, event);
    defun(s, [n = "EVENT:" + std::string(name), min, max, fn = std::move(fn)](args_t args) {
      check_argument_count(n, args, min, max);
      return fn(args);
    });
  };
  // (event:subscribe-event event handler &optional argument)
  def("SUBSCRIBE-EVENT", 2, 3, [](args_t a) {
    host::event::subscribe_event(a[0], a[1], a.size() > 2 ? a[2] : nil());
    return t();
  });
  def("UNSUBSCRIBE-EVENT", 2, 2, [](args_t a) {
    host::event::unsubscribe_event(a[0], a[1]);
    return t();
  });
  def("PROCESS-EVENT", 1, 1, [](args_t a) {
    host::event::process_event(a[0]);
    return t();
  });
});

}  // namespace

namespace host::event {

lisp::ref browser_update_event() { return symbol_value(event_variable("*BROWSER-UPDATE-EVENT*")); }
lisp::ref changed_parcel_tree_event() { return symbol_value(event_variable("*CHANGED-PARCEL-TREE-EVENT*")); }

void subscribe_event(const ref& event, const ref& handler, const ref& argument) {
  for (const auto& s : subscriptions())
    if (s->active && eql(s->event, event) && eql(s->handler, handler)) {
      s->argument = argument;
      return;
    }
  subscriptions().push_back(std::make_shared<subscription>(subscription{event, handler, argument}));
}

void unsubscribe_event(const ref& event, const ref& handler) {
  for (const auto& s : subscriptions())
    if (eql(s->event, event) && eql(s->handler, handler)) s->active = false;
  std::erase_if(subscriptions(), [](const auto& s) { return !s->active; });
}

void process_event(const ref& event) {
  // Handlers may subscribe and unsubscribe while the event is processed.
  std::vector<std::shared_ptr<subscription>> now = subscriptions();
  for (const auto& s : now) {
    if (!s->active || !eql(s->event, event)) continue;
    ref outcome = trap([&] { return call(s->handler, s->argument); });
    if (is_condition(outcome))
      std::cerr << "Warning: an event handler failed: " << static_cast<condition_obj&>(*outcome).message
                << '\n';
  }
}

}  // namespace host::event
