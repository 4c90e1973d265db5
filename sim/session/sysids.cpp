// Fresh sysids. They are random 128-bit texts, so that they are unique not
// only in this session but against every earlier run whose staged files may
// be loaded again; the check against every entity alive covers sysids that
// came from files. Nothing else is remembered, so memory stays flat over
// long runs.
#include <cstdio>
#include <random>

#include "host/clusters.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "lisp/runtime.h"
#include "session/model.h"

namespace sim::session {

namespace {

std::string random_sysid() {
  static std::mt19937_64 engine{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  std::uint64_t high = engine(), low = engine();
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

}  // namespace

std::string session::fresh_sysid() {
  std::string sysid;
  do sysid = random_sysid();
  while (sysid_taken(sysid));
  return sysid;
}

}  // namespace sim::session

namespace host::frame2 {

lisp::ref set_cluster_sysids(const lisp::ref& cluster) {
  auto e = sim::session::require_entity(cluster);
  e->log_change(1);
  e->set_sysid(sim::session::session::current().fresh_sysid());
  return lisp::make_string(e->sysid());
}

lisp::ref inq_entity_sysid(const lisp::ref& entity) {
  auto e = sim::session::entity_of(entity);
  if (e) return lisp::make_string(e->sysid());
  // Other host entities (for example from the module's own tests) answer too.
  if (entity->type == lisp::tag::handle &&
      static_cast<lisp::handle_obj&>(*entity).kind == entity_struct_def.kind)
    return lisp::make_string(lisp::handle_target<SIMPLE_ENTITY>(entity, entity_struct_def.kind)->sysid());
  return lisp::nil();
}

}  // namespace host::frame2

namespace {

using namespace host::lisp;

const builtins_registration sysid_functions([] {
  package& frame2 = require_package("FRAME2");
  defun("INQ-ENTITY-SYSID", frame2, [](args_t args) {
    check_argument_count("FRAME2::INQ-ENTITY-SYSID", args, 1, 1);
    return host::frame2::inq_entity_sysid(args[0]);
  });
  defun("SET-CLUSTER-SYSIDS", frame2, [](args_t args) {
    check_argument_count("FRAME2::SET-CLUSTER-SYSIDS", args, 1, 1);
    return host::frame2::set_cluster_sysids(args[0]);
  });
});

}  // namespace
