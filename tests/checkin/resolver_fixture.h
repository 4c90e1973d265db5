// Staging runs of the conflict resolver over model files loaded into the
// simulated host: a staging directory, the resolver and the change log of
// one run, and what they wrote.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "checkin/conflict_resolver.h"
#include "host/lisp/errors.h"
#include "host/part_check.h"
#include "records/change_records.h"
#include "records/loaded_session.h"
#include "support/module_fixture.h"

namespace checkin_test {

namespace fs = std::filesystem;

class resolver_fixture : public records_test::loaded_session_fixture {
 protected:
  void SetUp() override {
    // The module's packages and records, as other tests of this program use them.
    vtm_test::load_module_once();
    loaded_session_fixture::SetUp();
    staging = dir / "staging";
    fs::create_directories(staging);
    open_run();
  }
  void TearDown() override {
    if (resolver) close_run();
    loaded_session_fixture::TearDown();
  }

  void open_run() {
    resolver.emplace(vtm::checkin::make_conflict_resolver(staging));
    logger.emplace(vtm::records::make_change_records(staging));
  }
  void close_run() {
    vtm::checkin::finalize_conflict_resolver(*resolver);
    logger->close_persistent_records();
    resolver.reset();
    logger.reset();
  }

  // The session holds the models of file alone, resolved as loaded from
  // sourcepath; answers the number of components resolved. A file resolved
  // again gets the top-level sysids it got before, as the staging run's
  // records give them back.
  std::size_t resolve(const fs::path& file, const fs::path& sourcepath) {
    clear_session();
    load(file);
    vtm::checkin::source_models models;
    models.earlier = top_level_sysids[sourcepath.string()];
    models.record = [&](const vtm::checkin::top_level_sysids& tops) {
      top_level_sysids[sourcepath.string()] = tops;
    };
    return vtm::checkin::invoke_conflict_resolver(*resolver, sourcepath, check, *logger, session, models);
  }
  // A model file written below the input directory, resolved.
  std::size_t resolve_model(const std::string& name, std::string_view text) {
    return resolve(write_model(name, text), name);
  }

  std::map<std::string, vtm::checkin::top_level_sysids> top_level_sysids;  // by source path

  const vtm::records::component_records::table_type& staged() { return resolver->components().table(); }
  std::optional<vtm::records::component_record> staged_record(const std::string& sysid) {
    return resolver->components().get_component_record_by_sysid(sysid);
  }
  std::optional<vtm::records::contents_info> staged_contents(const std::string& sysid) {
    const auto r = staged_record(sysid);
    const auto* c = r ? std::get_if<vtm::records::contents_info>(&*r) : nullptr;
    return c ? std::optional(*c) : std::nullopt;
  }
  // The changes in changelog.lsp with that reason, in file order.
  std::vector<vtm::records::change_info> changes(const std::string& reason) {
    std::vector<vtm::records::change_info> out;
    for (vtm::records::change_info& c : logger->change_records_log())
      if (c.reason.name == reason) out.push_back(std::move(c));
    return out;
  }
  static std::string sysid_after(const vtm::records::change_info& c) {
    if (const auto* k = std::get_if<vtm::records::cluster_composite_key>(&c.key_after))
      return k->sysid.value_or("");
    return std::get<std::string>(c.key_after);
  }
  static std::string sysid_before(const vtm::records::change_info& c) {
    if (const auto* k = std::get_if<vtm::records::cluster_composite_key>(&c.key_before))
      return k->sysid.value_or("");
    return std::get<std::string>(c.key_before);
  }

  // The host's part check; a part whose check fails has no result.
  vtm::records::part_check check = [](const vtm::records::extended_location& at) {
    host::lisp::ref r =
        host::lisp::trap([&] { return host::k2_ui::check_part(vtm::records::to_sel_item(at)); });
    return host::lisp::is_condition(r) ? host::lisp::nil() : r;
  };
  fs::path staging;
  std::optional<vtm::checkin::conflict_resolver> resolver;
  std::optional<vtm::records::change_records> logger;
};

}  // namespace checkin_test
