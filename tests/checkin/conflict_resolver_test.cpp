// Sysid conflicts: within one file, against components staged before, and
// on a rerun of the same input.
#include "checkin/conflict_resolver.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "resolver_fixture.h"

namespace {

using namespace vtm::records;
namespace hl = host::lisp;
using strings = std::vector<std::string>;

constexpr std::string_view twins_file = R"((:sdsim-model 1)
(:contents :id "a" :sysid "C-PIN" :name "pin 6x20" :timestamp 3.4d9)
(:contents :id "b" :sysid "C-PIN" :name "pin 6x30" :timestamp 3.45d9)
(:model :sysid "I-TWINS" :name "twins"
 :contents (:sysid "C-TWINS" :name "twins" :timestamp 3.5d9
            :children ((:name "short" :sysid "I-PIN-S" :contents "a")
                       (:name "long" :sysid "I-PIN-L" :contents "b")
                       (:name "long-2" :contents "b"))))
)";

// A model m holding the part "plate" with the given sysid, name and time stamp.
std::string plate_model(const std::string& m, const std::string& name, const std::string& timestamp) {
  return "(:sdsim-model 1)\n(:model :sysid \"I-" + m + "\" :name \"" + m + "\" :contents (:sysid \"C-" + m +
         "\" :name \"" + m +
         "\" :timestamp 1.0d9 :children ((:name \"plate\" :contents (:sysid \"C-PLATE\" :name \"" + name +
         "\" :timestamp " + timestamp + ")))))\n";
}

class ConflictResolver : public checkin_test::resolver_fixture {};

TEST_F(ConflictResolver, TwoPartsUnderOneSysidInOneFileAreStagedApart) {
  EXPECT_EQ(resolve_model("twins.sd", twins_file), 4u);

  EXPECT_EQ(sysid_at("/twins/short"), "C-PIN");
  const std::string moved = sysid_at("/twins/long");
  EXPECT_NE(moved, "C-PIN");
  EXPECT_EQ(sysid_at("/twins/long-2"), moved) << "the part is renamed at every use";
  EXPECT_EQ(hl::as_string(host::frame2::inquire_cluster_filename(contents_at("/twins/long"))),
            moved + ".sdpc");

  ASSERT_TRUE(staged_contents("C-PIN"));
  EXPECT_EQ(contents_info_model_name(*staged_contents("C-PIN")), "pin 6x20");
  ASSERT_TRUE(staged_contents(moved));
  EXPECT_EQ(contents_info_model_name(*staged_contents(moved)), "pin 6x30");
  EXPECT_EQ(map_locations_to_pathnames(staged_contents(moved)->shares, session),
            (strings{"twins.sd/twins/long-2", "twins.sd/twins/long"}));
  EXPECT_TRUE(component_connected_p(*staged_contents("C-TWINS"), "C-PIN"));
  EXPECT_TRUE(component_connected_p(*staged_contents("C-TWINS"), moved));

  const auto conflicts = changes("SYSID-CONFLICT");
  ASSERT_EQ(conflicts.size(), 1u);
  // The change names the share met last.
  EXPECT_EQ(conflicts[0].locations, strings{"twins.sd/twins/long-2"});
  EXPECT_EQ(sysid_before(conflicts[0]), "C-PIN");
  EXPECT_EQ(sysid_after(conflicts[0]), moved);
  EXPECT_EQ(std::get<cluster_composite_key>(conflicts[0].key_before).model_name, "pin 6x30");
}

TEST_F(ConflictResolver, APartStagedBeforeKeepsItsSysidOnlyWhileItIsTheSame) {
  resolve_model("a.pkg", plate_model("a", "plate", "2.0d9"));
  resolve_model("b.pkg", plate_model("b", "plate", "2.0d9"));
  EXPECT_EQ(sysid_at("/b/plate"), "C-PLATE");
  EXPECT_TRUE(changes("SYSID-CONFLICT").empty());
  EXPECT_EQ(map_locations_to_pathnames(staged_contents("C-PLATE")->shares, session),
            (strings{"a.pkg/a/plate", "b.pkg/b/plate"}));

  resolve_model("c.pkg", plate_model("c", "plate", "2.5d9"));
  const std::string newer = sysid_at("/c/plate");
  resolve_model("d.pkg", plate_model("d", "plate 2", "2.0d9"));
  const std::string renamed = sysid_at("/d/plate");
  EXPECT_NE(newer, "C-PLATE");
  EXPECT_NE(renamed, "C-PLATE");
  EXPECT_NE(newer, renamed);
  EXPECT_EQ(changes("SYSID-CONFLICT").size(), 2u);
  // The first record of C-PLATE is not touched by the parts that moved away.
  EXPECT_EQ(contents_info_model_name(*staged_contents("C-PLATE")), "plate");
  EXPECT_EQ(staged_contents("C-PLATE")->metakey->timestamp, 2.0e9);
}

TEST_F(ConflictResolver, ATopLevelModelStagedBeforeFromAnotherFileAlwaysGetsANewSysid) {
  resolve_model("a.pkg", plate_model("a", "plate", "2.0d9"));
  EXPECT_EQ(output.str(), "");
  resolve_model("b.pkg", plate_model("a", "plate", "2.0d9"));

  const std::string top = session.sysid(at("/a").item.value);
  EXPECT_NE(top, "I-a");
  EXPECT_EQ(output.str(), "Scanning b.pkg/a for conflicts\n");
  const auto conflicts = changes("SYSID-CONFLICT");
  ASSERT_EQ(conflicts.size(), 1u);
  EXPECT_EQ(conflicts[0].key_before, change_key(std::string("I-a")));
  EXPECT_EQ(conflicts[0].key_after, change_key(top));
  EXPECT_EQ(conflicts[0].locations, strings{"b.pkg/a"});
  // Its contents are the same and keep their sysids.
  EXPECT_EQ(sysid_at("/a"), "C-a");
  const auto staged_top = staged_record(top);
  const auto* record = staged_top ? std::get_if<instance_info>(&*staged_top) : nullptr;
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->contents_sysid, sysid_value("C-a"));
  EXPECT_EQ(record->filename, top + ".sda");
}

// A file the host died in while it was being staged is staged again: its
// models are the ones staged from it before, not conflicts with them. The
// same relative path under another input directory is another file.
TEST_F(ConflictResolver, ATopLevelModelStagedBeforeFromTheSameFileGetsTheSameSysid) {
  const std::filesystem::path a = write_model("a.pkg", plate_model("a", "plate", "2.0d9"));
  resolve(a, "a.pkg");
  const std::filesystem::path b = write_model("b.pkg", plate_model("a", "plate", "2.0d9"));
  vtm::checkin::top_level_sysids given;
  vtm::checkin::source_models first;
  first.record = [&](const vtm::checkin::top_level_sysids& tops) { given = tops; };
  clear_session();
  load(b);
  vtm::checkin::invoke_conflict_resolver(*resolver, "b.pkg", check, *logger, session, first);
  ASSERT_EQ(given.size(), 1u);
  EXPECT_EQ(given[0].first, "I-a");
  EXPECT_NE(given[0].second, "I-a");
  const std::size_t components = staged().size();
  output.str("");

  // b.pkg again, as after a crash: its model gets the sysid it got then.
  vtm::checkin::source_models again;
  again.earlier = given;
  clear_session();
  load(b);
  vtm::checkin::invoke_conflict_resolver(*resolver, "b.pkg", check, *logger, session, again);
  EXPECT_EQ(session.sysid(at("/a").item.value), given[0].second);
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(staged().size(), components);

  // a.pkg of another input directory: never the model staged from a.pkg.
  clear_session();
  load(a);
  vtm::checkin::invoke_conflict_resolver(*resolver, "a.pkg", check, *logger, session);
  EXPECT_NE(session.sysid(at("/a").item.value), "I-a");
  EXPECT_NE(session.sysid(at("/a").item.value), given[0].second);
  EXPECT_EQ(staged().size(), components + 1);
}

// The host dies after a file's change log was written and before its
// component records: the rerun gives the components the sysids of the log,
// so no staged component lacks its change and none is staged twice.
TEST_F(ConflictResolver, AKillBetweenTheChangeLogAndTheComponentRecordsLeavesThemAgreeing) {
  resolve_model("a.pkg", plate_model("a", "plate", "2.0d9"));
  const std::filesystem::path b = write_model("b.pkg", plate_model("b", "plate 2", "2.0d9"));
  vtm::checkin::source_models dying;
  dying.record = [](const vtm::checkin::top_level_sysids&) { throw std::runtime_error("killed"); };
  clear_session();
  load(b);
  EXPECT_THROW(vtm::checkin::invoke_conflict_resolver(*resolver, "b.pkg", check, *logger, session, dying),
               std::runtime_error);
  close_run();

  open_run();
  resolve(b, "b.pkg");
  const std::string moved = sysid_at("/b/plate");
  EXPECT_NE(moved, "C-PLATE");
  for (const change_info& c : changes("SYSID-CONFLICT")) EXPECT_EQ(sysid_after(c), moved);
  int named = 0;
  resolver->components().for_each_component_record([&](const component_record& record) {
    if (const auto* c = std::get_if<contents_info>(&record))
      named += contents_info_model_name(*c) == "plate 2";
  });
  EXPECT_EQ(named, 1) << "a component was staged under a second fresh sysid";
}

TEST_F(ConflictResolver, ARerunOfTheSameInputGivesTheSameSysids) {
  resolve_model("twins.sd", twins_file);
  const std::string moved = sysid_at("/twins/long");
  close_run();

  open_run();
  EXPECT_EQ(resolve_model("twins.sd", twins_file), 4u) << "every component of the file is resolved";
  EXPECT_EQ(sysid_at("/twins/short"), "C-PIN");
  EXPECT_EQ(sysid_at("/twins/long"), moved);
  EXPECT_EQ(sysid_at("/twins"), "C-TWINS");
  close_run();

  // components.lsp read afresh: each sysid names its own part.
  const component_records reread = make_component_records(staging);
  const auto name_of = [&](const std::string& sysid) {
    const auto r = reread.get_component_record_by_sysid(sysid);
    const auto* c = r ? std::get_if<contents_info>(&*r) : nullptr;
    return c ? contents_info_model_name(*c) : std::nullopt;
  };
  EXPECT_EQ(name_of("C-PIN"), "pin 6x20");
  EXPECT_EQ(name_of(moved), "pin 6x30");
  EXPECT_EQ(name_of("C-TWINS"), "twins");
}

// Two different boards under one sysid: preparing them logs a change of
// their key before the conflict is resolved.
constexpr std::string_view boards_file = R"((:sdsim-model 1)
(:model :sysid "I-RACK" :name "rack"
 :contents (:sysid "C-RACK" :name "rack" :timestamp 1.0d9
            :children ((:name "cpu" :contents (:sysid "C-BOARD" :name "cpu board" :attributes (("pcb-id" :id 1))))
                       (:name "io" :contents (:sysid "C-BOARD" :name "io board" :attributes (("pcb-id" :id 2)))))))
)";

TEST_F(ConflictResolver, ARerunGivesTheSameSysidsToPreparedComponents) {
  resolve_model("rack.pkg", boards_file);
  const std::string moved = sysid_at("/rack/io");
  ASSERT_NE(moved, "C-BOARD");
  close_run();

  open_run();
  resolve_model("rack.pkg", boards_file);
  EXPECT_EQ(sysid_at("/rack/cpu"), "C-BOARD");
  EXPECT_EQ(sysid_at("/rack/io"), moved);
}

}  // namespace
