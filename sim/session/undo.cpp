// Undo states and model checkpoints: each state is a copy of the data of
// every entity reachable from the root; returning to it writes the copies
// back into the same entity objects.
#include "host/undo.h"

#include <cstdint>
#include <unordered_set>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/model.h"

namespace {

using namespace host::lisp;
using namespace sim::session;

struct saved_entity {
  entity_ptr e;
  entity_data data;
  ENTITYID id{0, 0};
};

struct state {
  std::uint64_t id;
  std::vector<saved_entity> entities;
};

struct state_line {
  std::vector<state> states;
  std::size_t current = 0;  // index into states, meaningful when not empty
  std::uint64_t next_id = 1;
};

state_line& line() {
  static state_line l;
  return l;
}

struct checkpoint {
  std::uint64_t state_id;
};

constexpr const char* checkpoint_kind = "MODEL-CHECKPOINT";
constexpr const char* state_manager_kind = "STATE-MANAGER";

void drop_future(state_line& l) {
  if (!l.states.empty()) l.states.resize(l.current + 1);
}

std::uint64_t take_state() {
  state_line& l = line();
  drop_future(l);
  state s{l.next_id++, {}};
  for (const entity_ptr& e : session::current().reachable()) s.entities.push_back({e, e->d, e->id()});
  l.states.push_back(std::move(s));
  l.current = l.states.size() - 1;
  return l.states.back().id;
}

void restore(const state& s) {
  std::unordered_set<const entity*> kept;
  for (const saved_entity& saved : s.entities) kept.insert(saved.e.get());
  // Entities made or brought in after the state leave the session.
  for (const entity_ptr& e : session::current().alive()) {
    if (kept.count(e.get())) continue;
    e->d.parent.reset();
    e->d.owner.reset();
  }
  for (const saved_entity& saved : s.entities) {
    saved.e->d = saved.data;
    saved.e->restore_id(saved.id);
  }
}

void require_state_manager(const ref& value) { as_handle(value, state_manager_kind); }

}  // namespace

namespace host::oli {

ref sd_set_model_checkpoint() {
  return make_handle(checkpoint_kind, std::make_shared<checkpoint>(checkpoint{take_state()}));
}

void sd_return_to_model_checkpoint(const ref& cp) {
  std::uint64_t id = handle_target<checkpoint>(cp, checkpoint_kind)->state_id;
  state_line& l = line();
  for (std::size_t i = 0; i < l.states.size(); ++i) {
    if (l.states[i].id != id) continue;
    restore(l.states[i]);
    l.current = i;
    return;
  }
  sim::host_command_failed("OLI", "CHECKPOINT-REMOVED", "The model checkpoint no longer exists.");
}

}  // namespace host::oli

namespace host::k2 {

ref k2_state_manager() {
  static ref manager = make_handle(state_manager_kind, nullptr);
  return manager;
}

}  // namespace host::k2

namespace host::dsm {

void note_state(const ref& state_manager) {
  require_state_manager(state_manager);
  take_state();
}

void rm_future(const ref& state_manager) {
  require_state_manager(state_manager);
  drop_future(line());
}

}  // namespace host::dsm

namespace {

using sim::define_host_function;

const builtins_registration undo_functions([] {
  define_host_function("OLI", "SD-SET-MODEL-CHECKPOINT", 0, 0,
                       [](args_t) { return host::oli::sd_set_model_checkpoint(); });
  define_host_function("OLI", "SD-RETURN-TO-MODEL-CHECKPOINT", 1, 1, [](args_t a) {
    host::oli::sd_return_to_model_checkpoint(a[0]);
    return t();
  });
  symbol& manager = intern("*K2-STATE-MANAGER*", require_package("K2"));
  manager.special = true;
  manager.value = host::k2::k2_state_manager();
  define_host_function("DSM", "NOTE-STATE", 1, 1, [](args_t a) {
    host::dsm::note_state(a[0]);
    return t();
  });
  define_host_function("DSM", "RM-FUTURE", 1, 1, [](args_t a) {
    host::dsm::rm_future(a[0]);
    return t();
  });
  // The user's undo: back to the state before the current one, keeping the
  // later ones for a redo; NIL when there is none before.
  sim::define_console_function("SDSIM", "UNDO", 0, 0, [](args_t) {
    state_line& l = line();
    if (l.states.empty() || l.current == 0) return nil();
    restore(l.states[--l.current]);
    return t();
  });
  sim::define_console_function("SDSIM", "REDO", 0, 0, [](args_t) {
    state_line& l = line();
    if (l.states.empty() || l.current + 1 >= l.states.size()) return nil();
    restore(l.states[++l.current]);
    return t();
  });
});

}  // namespace
