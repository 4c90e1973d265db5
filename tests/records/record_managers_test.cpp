#include <gtest/gtest.h>

#include "fake_session.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/change_records.h"
#include "records/component_records.h"
#include "records/staging_layout.h"
#include "records_env.h"

namespace {

using namespace vtm::records;

class RecordManagers : public records_test::records_fixture {
 protected:
  records_test::fake_session session;

  // A persisted contents record.
  static contents_info contents(std::string sysid, std::string name, sysid_list parents = {},
                                sysid_list children = {}) {
    contents_info c;
    c.sysid = sysid;
    c.typename_ = "part_struct";
    c.filename = sysid + ".sdpc";
    c.metakey = cluster_metakey{std::move(name), 1.0, {}, {}};
    c.parent_sysids = std::move(parents);
    c.child_sysids = std::move(children);
    return c;
  }
  void write_components(const std::vector<component_record>& records) {
    record_file f(dir / "components.lsp");
    f.open([](const host::lisp::ref&) {});
    for (const auto& r : records) f.append(component_record_to_lisp(r));
  }
};

TEST_F(RecordManagers, OpeningAnEmptyStagingDirectoryCreatesFourEmptyFiles) {
  auto toc = make_cad_file_records(dir);
  auto components = make_component_records(dir);
  auto drawings = make_ami_drawing_records(dir);
  auto changes = make_change_records(dir);
  EXPECT_TRUE(toc.filetable().empty() && components.table().empty() && drawings.drawings().empty() &&
              changes.changes().empty());
  for (const auto name : {toc_file, components_file, ami_drawings_file, changelog_file}) {
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    EXPECT_EQ(std::filesystem::file_size(dir / name), 0u) << name;
  }
  EXPECT_EQ(toc.path(), dir / "toc.lsp");
  EXPECT_TRUE(toc.outstream_open_p());
  toc.close_persistent_records();
  toc.close_persistent_records();
  EXPECT_FALSE(toc.outstream_open_p());
}

TEST_F(RecordManagers, TheTocKeepsTheLastStateOfEveryFileAcrossACrash) {
  const auto a = dir / "input" / "a.sd", b = dir / "input" / "b b.pkg", gone = dir / "input" / "gone.sd";
  std::filesystem::create_directories(a.parent_path());
  for (const auto& f : {a, b, gone}) records_test::spit(f, "model");
  {
    auto toc = make_cad_file_records(dir);
    cad_fileinfo ra = make_cad_fileinfo(a);
    EXPECT_TRUE(toc.update_cad_file_records(ra));  // (:loading a)
    ra.load_method = cad_load_method::sd;
    ra.error_status.value = host::lisp::make_condition("SIMPLE-ERROR", "Datei defekt");
    EXPECT_TRUE(toc.update_cad_file_records(ra));  // (:processing a)
    ra.models_3d = {{"top", "models/T.sda"}};
    EXPECT_TRUE(toc.update_cad_file_records(ra));  // complete a
    EXPECT_EQ(ra.state, cad_file_state::complete);
    const auto size = std::filesystem::file_size(dir / "toc.lsp");
    EXPECT_FALSE(toc.update_cad_file_records(ra));
    EXPECT_EQ(std::filesystem::file_size(dir / "toc.lsp"), size) << "a complete record writes nothing";

    cad_fileinfo rb = make_cad_fileinfo(b);
    toc.update_cad_file_records(rb);  // (:loading b): the host crashes while loading b
    cad_fileinfo rg = make_cad_fileinfo(gone);
    toc.update_cad_file_records(rg);
    toc.update_cad_file_records(rg);  // (:processing gone)
  }
  const std::string text = records_test::slurp(dir / "toc.lsp");
  EXPECT_EQ(text.find("\n(:LOADING #P\"" + a.string() + "\")\n(:PROCESSING #P\"" + a.string() + "\")\n#S("),
            0u)
      << text;
  std::filesystem::remove(gone);

  auto toc = make_cad_file_records(dir);
  ASSERT_EQ(toc.filetable().size(), 3u);
  const cad_fileinfo* ra = toc.filetable().find(a.string());
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(ra->state, cad_file_state::complete);
  EXPECT_EQ(ra->load_method, cad_load_method::sd);
  EXPECT_EQ(ra->models_3d, (std::vector<std::pair<std::string, record_path>>{{"top", "models/T.sda"}}));
  EXPECT_TRUE(host::lisp::equal(ra->error_status.value, host::lisp::make_string("Datei defekt")));
  const cad_fileinfo* rb = toc.filetable().find(b.string());
  EXPECT_EQ(rb->state, cad_file_state::loading);
  EXPECT_EQ(rb->write_date, make_cad_fileinfo(b).write_date);
  const cad_fileinfo* rg = toc.filetable().find(gone.string());
  ASSERT_NE(rg, nullptr) << "a file that is gone keeps its entry";
  EXPECT_EQ(rg->state, cad_file_state::processing);
  EXPECT_EQ(rg->write_date, 0);
  EXPECT_FALSE(toc.cad_file_records_consistent_p());
}

TEST_F(RecordManagers, TheLastComponentRecordOfASysidWins) {
  write_components({contents("S", "first"), contents("T", "other"), contents("S", "second")});
  auto components = make_component_records(dir);
  ASSERT_EQ(components.table().size(), 2u);
  EXPECT_EQ(contents_info_model_name(std::get<contents_info>(*components.get_component_record_by_sysid("S"))),
            "second");
  EXPECT_EQ(components.table().begin()->first, "S") << "a replaced record keeps its place";

  // Records are read when asked for: a file cut short since is an error
  // that names it, not a record made of whatever is there now.
  std::filesystem::resize_file(dir / "components.lsp", 10);
  try {
    components.get_component_record_by_sysid("T");
    ADD_FAILURE() << "a record no longer in the file was read";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_NE(e.message().find((dir / "components.lsp").string()), std::string::npos) << e.message();
  }
}

// Many more records than the part of the text held in memory at a time, every
// sysid twice and the last record cut off by a crash.
TEST_F(RecordManagers, ALargeComponentFileIsReadWholeAndItsCutOffEndDropped) {
  const auto printed = [](const std::string& name) {
    return "\n" + host::lisp::pprint_to_string(component_record_to_lisp(contents("SYSID", name)));
  };
  const std::string first = printed("first"), second = printed("second");
  // The sysid is the start of the strings "SYSID" and #P"SYSID.sdpc".
  const auto with_sysid = [](std::string text, const std::string& sysid) {
    for (std::size_t p; (p = text.find("\"SYSID")) != std::string::npos;) text.replace(p + 1, 5, sysid);
    return text;
  };
  constexpr int count = 12'000;
  std::string text;
  for (int i = 0; i < count; ++i) text += with_sysid(first, "S" + std::to_string(i));
  // Newest records in the reverse order of the table's.
  for (int i = count - 1; i >= 0; --i) text += with_sysid(second, "S" + std::to_string(i));
  ASSERT_GT(text.size(), std::size_t{9} << 20);
  const std::size_t complete = text.size();
  text += with_sysid(first, "CUT").substr(0, 60);
  records_test::spit(dir / "components.lsp", text);

  auto components = make_component_records(dir);
  ASSERT_EQ(components.table().size(), std::size_t{count});
  int i = 0;
  components.for_each_component_record([&](const component_record& record) {
    const std::string sysid = "S" + std::to_string(i++);
    ASSERT_EQ(component_base(record).filename, sysid + ".sdpc") << "records are visited in table order";
    ASSERT_EQ(contents_info_model_name(std::get<contents_info>(record)), "second");
  });
  EXPECT_EQ(i, count);
  EXPECT_EQ(
      contents_info_model_name(std::get<contents_info>(*components.get_component_record_by_sysid("S7"))),
      "second");
  EXPECT_EQ(components.get_component_record_by_sysid("CUT"), std::nullopt);
  EXPECT_EQ(std::filesystem::file_size(dir / "components.lsp"), complete);
}

// Keys found through the index after it grew many times, replaced values in
// their first place, references that stay valid, and keys (handles) whose
// hashes differ only in their high bits.
TEST_F(RecordManagers, AnOrderedTableKeepsInsertionOrderAndReferences) {
  ordered_table<std::string, int> table;
  const int* first = &table.insert_or_assign("k0", 0);
  for (int i = 1; i < 5000; ++i) table.insert_or_assign("k" + std::to_string(i), i);
  for (int i = 0; i < 5000; i += 3) table.insert_or_assign("k" + std::to_string(i), -i);
  ASSERT_EQ(table.size(), 5000u);
  EXPECT_EQ(first, table.find("k0"));
  EXPECT_EQ(table.find("k5000"), nullptr);
  int i = 0;
  for (const auto& [key, value] : table) {
    ASSERT_EQ(key, "k" + std::to_string(i));
    ASSERT_EQ(value, i % 3 == 0 ? -i : i);
    ++i;
  }

  struct address_hash {
    std::size_t operator()(std::size_t k) const { return k << 32; }
  };
  ordered_table<std::size_t, std::size_t, address_hash> aligned;
  for (std::size_t k = 0; k < 3000; ++k) aligned.insert_or_assign(k, k + 1);
  for (std::size_t k = 0; k < 3000; ++k) ASSERT_EQ(*aligned.find(k), k + 1);
}

TEST_F(RecordManagers, PersistingMergesSharesAndOwnersWithoutDuplicates) {
  contents_info old = contents("S", "gear", {"P1"}, {"C1"});
  old.shares = {std::string("f:/a"), std::string("f:/b")};
  old.model_sysids = {"M1"};
  write_components({old});
  auto components = make_component_records(dir);

  const auto cluster = session.add({.sysid = "S", .name = "gear", .time = 2.0});
  const auto parent = session.add({.sysid = "P2"});
  const auto model = session.add({.sysid = "M1"});
  contents_info now;
  now.sysid = sysid_value::of_entity(cluster);
  now.typename_ = "part_struct";
  now.filename = "OLD.sdpc";
  now.shares = {session.location("/b", "f:"), session.location("/c", "f:"), session.location("/b", "f:")};
  now.model_sysids = {sysid_value::of_entity(model)};
  now.parent_sysids = {sysid_value::of_entity(parent)};
  now.child_sysids = {"C2"};
  std::vector<component_record> batch{now};
  components.update_component_records(batch, session);

  const auto merged = std::get<contents_info>(*components.get_component_record_by_sysid("S"));
  EXPECT_EQ(merged.shares, (share_list{"f:/a", "f:/b", "f:/c"}));
  EXPECT_EQ(merged.model_sysids, sysid_list{"M1"});
  EXPECT_EQ(merged.parent_sysids, (sysid_list{"P1", "P2"}));
  EXPECT_EQ(merged.child_sysids, sysid_list{"C2"}) << "children are not merged";
  EXPECT_EQ(merged.metakey, (cluster_metakey{"gear", 2.0, {}, {}}));
  EXPECT_EQ(merged.filename, std::filesystem::path("S.sdpc"));
  EXPECT_EQ(session.of(cluster).filename, "S.sdpc");
  EXPECT_EQ(std::get<contents_info>(batch[0]), merged) << "the caller's record is the persisted one";

  auto reopened = make_component_records(dir);
  EXPECT_EQ(std::get<contents_info>(*reopened.get_component_record_by_sysid("S")), merged);
}

// Each record of one call merges with the newest record of its sysid: one
// read for the resolver before, or one written earlier in the same call.
// What the file then holds reads back as the table says.
TEST_F(RecordManagers, RecordsOfOneCallMergeWithTheNewestRecordOfTheirSysid) {
  contents_info old = contents("S", "gear");
  old.shares = {std::string("f:/a")};
  write_components({old});
  auto components = make_component_records(dir);
  const component_record* found = components.find_component_record("S");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::get<contents_info>(*found).shares, share_list{"f:/a"});
  EXPECT_EQ(components.find_component_record("NONE"), nullptr);

  const auto with_share = [&](const std::string& share) {
    contents_info c;
    c.sysid = sysid_value::of_entity(session.add({.sysid = "S", .name = "gear", .time = 1.0}));
    c.filename = "S.sdpc";
    c.shares = {session.location(share, "f:")};
    return c;
  };
  std::vector<component_record> batch{with_share("/b"), contents("T", "kept"), with_share("/c")};
  components.update_component_records(batch, session);
  const auto merged = std::get<contents_info>(*components.get_component_record_by_sysid("S"));
  EXPECT_EQ(merged.shares, (share_list{"f:/a", "f:/b", "f:/c"}));
  EXPECT_EQ(std::get<contents_info>(*components.find_component_record("S")), merged)
      << "a record read before the call is not kept past it";

  std::vector<component_record> more{with_share("/d")};
  components.update_component_records(more, session);
  auto reopened = make_component_records(dir);
  EXPECT_EQ(std::get<contents_info>(*reopened.get_component_record_by_sysid("S")).shares,
            (share_list{"f:/a", "f:/b", "f:/c", "f:/d"}));
  for (const auto& [sysid, place] : components.table())
    EXPECT_EQ(components.get_component_record_by_sysid(sysid), reopened.get_component_record_by_sysid(sysid))
        << sysid;
}

TEST_F(RecordManagers, PersistedRecordsAreNotWrittenAgain) {
  auto components = make_component_records(dir);
  const auto top = session.add({.sysid = "I", .type_name = "nasmb3", .instance_level = true});
  const auto inside = session.add({.sysid = "K"});
  instance_info i;
  i.sysid = sysid_value::of_entity(top);
  i.filename = "x.sda";
  i.contents_sysid = sysid_value::of_entity(inside);
  i.child_sysids = {sysid_value::of_entity(inside), sysid_value::of_entity(inside)};
  std::vector<component_record> batch{i, contents("Z", "z")};
  components.update_component_records(batch, session);
  EXPECT_EQ(components.table().size(), 1u) << "Z was persisted before and is skipped";
  const auto persisted = std::get<instance_info>(*components.get_component_record_by_sysid("I"));
  EXPECT_EQ(persisted.contents_sysid, sysid_value("K"));
  EXPECT_EQ(persisted.child_sysids, sysid_list{"K"});

  const auto size = std::filesystem::file_size(dir / "components.lsp");
  components.update_component_records(batch, session);
  EXPECT_EQ(std::filesystem::file_size(dir / "components.lsp"), size);
}

TEST_F(RecordManagers, ComponentQueries) {
  instance_info top;
  top.sysid = "I";
  top.typename_ = "nasmb3";
  contents_info a = contents("A", "gear", {"I"});
  a.model_sysids = {"I", "UNKNOWN"};
  a.layout_owner_sysids = {"L"};
  contents_info b = contents("B", "gear", {"A", "UNKNOWN"});
  b.layout_owner_sysids = {"L", "L2"};
  contents_info c = contents("C", "wheel", {"A"});
  write_components({top, a, b, c});
  auto components = make_component_records(dir);

  const auto all = components.collect_component_records();
  EXPECT_EQ(all.size(), 4u);
  const auto instances = components.collect_component_records(
      [](const component_record& r) { return std::holds_alternative<instance_info>(r); });
  EXPECT_EQ(all, (std::vector<component_record>{top, a, b, c}));
  EXPECT_EQ(instances, std::vector<component_record>{all[0]});
  EXPECT_EQ(components.collect_component_records_by_sysids({"C", "NONE", "A"}),
            (std::vector<component_record>{all[3], all[1]}));
  EXPECT_EQ(components.collect_models_of_component(all[1]),
            (std::vector<std::optional<component_record>>{all[0], std::nullopt}));
  EXPECT_EQ(components.collect_models_of_component(all[0]),
            std::vector<std::optional<component_record>>{all[0]});
  EXPECT_EQ(components.collect_component_owners("B"), std::vector<component_record>{all[1]});
  EXPECT_TRUE(components.collect_component_owners("I").empty());
  EXPECT_TRUE(components.collect_component_owners("NONE").empty());

  // Read backwards with table positions, and again at chosen positions (in
  // the order asked, more than a batch of them).
  std::vector<std::uint32_t> positions;
  std::vector<component_record> backwards;
  components.for_each_component_record_backwards([&](std::size_t at, const component_record& r) {
    positions.push_back(std::uint32_t(at));
    backwards.push_back(r);
  });
  EXPECT_EQ(positions, (std::vector<std::uint32_t>{3, 2, 1, 0}));
  EXPECT_EQ(backwards, (std::vector<component_record>{c, b, a, top}));
  EXPECT_EQ(components.sysid_at(2), "B");
  std::vector<std::uint32_t> asked;
  for (int i = 0; i < 1500; ++i) asked.push_back(std::uint32_t((i * 7) % 4));
  std::vector<component_record> found;
  components.for_each_component_record_at(asked, [&](const component_record& r) { found.push_back(r); });
  ASSERT_EQ(found.size(), asked.size());
  for (std::size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(found[i], all[asked[i]]);

  const auto names = components.make_model_name_map();
  // The keys enter most recently added first, as the analytics that walk the
  // map and print what they find in its order have always had them.
  component_records::record_map newest_first;
  for (const char* name : {"wheel", "gear"}) newest_first[name];
  EXPECT_TRUE(std::equal(names.begin(), names.end(), newest_first.begin(), newest_first.end(),
                         [](const auto& a, const auto& b) { return a.first == b.first; }));
  EXPECT_EQ(names.at("gear"), (std::vector<std::string>{"B", "A"})) << "most recently added first";
  EXPECT_EQ(names.at("wheel"), std::vector<std::string>{"C"});
  const auto layouts = components.make_layout_owner_map();
  EXPECT_EQ(layouts.at("L"), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(layouts.at("L2"), std::vector<std::string>{"B"});
}

TEST_F(RecordManagers, LostComponentsAreThoseWhoseOwnerNoLongerListsTheirNewSysid) {
  write_components({contents("N", "moved", {"P", "Q"}), contents("P", "p", {}, {"OLD"}),
                    contents("Q", "q", {}, {"N"}), contents("M", "moved too", {"P"})});
  auto changes = make_change_records(dir);
  const auto key = [](std::string sysid) { return convert_meta_to_composite_key(sysid, {"m", 1.0, {}, {}}); };
  changes.log_component_change("f:/p/n", key("OLD"), key("N"), {"SYSID-CONFLICT"});
  changes.log_component_change("f:/p/m", key("OLD-M"), key("M"), {"SYSID-CONFLICT"});
  changes.log_component_change("f:/p/v", key("V"), key("N"), {"VERSION->ORIGINAL"});
  changes.log_component_change("f:/i", "I1", "I2", {"SYSID-CONFLICT"});
  auto components = make_component_records(dir);
  const auto lost = components.collect_lost_components(changes);
  const auto n = components.get_component_record_by_sysid("N"),
             m = components.get_component_record_by_sysid("M");
  const auto p = components.get_component_record_by_sysid("P");
  EXPECT_EQ(lost,
            (std::vector<std::pair<std::optional<component_record>, component_record>>{{m, *p}, {n, *p}}));
}

TEST_F(RecordManagers, MakeRelativePath) {
  EXPECT_EQ(make_relative_path("/in/", "/in/a/b/x.sd"), std::filesystem::path("a/b/x.sd"));
  EXPECT_EQ(make_relative_path("/in", "/in/a/b/x.sd"), std::filesystem::path("a/b/x.sd"));
  EXPECT_EQ(make_relative_path("/in/", "/in/x.sd"), std::filesystem::path("x.sd"));
  EXPECT_EQ(make_relative_path("/data/in/", "/other/dir/x.sd"), std::filesystem::path("x.sd"))
      << "not checked to lie below";
  EXPECT_EQ(make_relative_path("/a/", "/b/c/d/x"), std::filesystem::path("c/d/x"));
}

TEST_F(RecordManagers, TheDrawingFileIsRewrittenWithOneRecordPerDrawing) {
  auto drawings = make_ami_drawing_records(dir);
  drawings.update_ami_drawing_records({"1", "x.mi", "1@x.ami", {"I1"}});
  drawings.update_ami_drawing_records({"2", "y.mi", "2@y.ami", {}});
  drawings.update_ami_drawing_records({"1", "x.mi", "1@x.ami", {"I1", "I2"}});
  EXPECT_EQ(host::lisp::read_all_from_string(records_test::slurp(dir / "ami-drawings.lsp")).size(), 3u);
  EXPECT_EQ(drawings.map_ami_drawings([](const ami_drawing_info& d) { return *d.name; }),
            (std::vector<std::string>{"1", "2"}));

  drawings.update_ami_drawing_records();
  EXPECT_FALSE(drawings.outstream_open_p());
  EXPECT_FALSE(std::filesystem::exists(dir / "ami-drawings.lsp.new"));
  EXPECT_EQ(host::lisp::read_all_from_string(records_test::slurp(dir / "ami-drawings.lsp")).size(), 2u);
  auto reopened = make_ami_drawing_records(dir);
  EXPECT_EQ(reopened.drawings().find("1@x.ami")->instance_sysids, (std::vector<std::string>{"I1", "I2"}));
  EXPECT_EQ(reopened.drawings().size(), 2u);
}

TEST_F(RecordManagers, FlushedChangesAreInTheFileBeforeItIsClosed) {
  auto changes = make_change_records(dir);
  const auto key = convert_meta_to_composite_key("S", {"gear", 1.0, {}, {}});
  changes.log_component_change("f:/a", key, convert_meta_to_composite_key("S2", {"gear", 1.0, {}, {}}),
                               {"SYSID-CONFLICT"});
  changes.log_component_change("f:/b", key, convert_meta_to_composite_key("S3", {"gear", 1.0, {}, {}}),
                               {"SYSID-CONFLICT"});
  EXPECT_EQ(changes.changes().find(key)->locations, (std::vector<std::string>{"f:/a", "f:/b"}));
  ASSERT_EQ(changes.buffer().size(), 2u);
  EXPECT_EQ(changes.buffer().front(), *changes.changes().find(key)) << "newest first";
  EXPECT_TRUE(changes.change_records_log().empty()) << "not flushed yet";
  changes.flush_change_records();
  EXPECT_TRUE(changes.buffer().empty());
  // Read as a crash would leave it: the manager is still open.
  const auto log = changes.change_records_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], *changes.changes().find(key));
  auto reopened = make_change_records(dir);
  EXPECT_EQ(*reopened.changes().find(key), *changes.changes().find(key)) << "the file replays the table";
}

TEST_F(RecordManagers, ARerunRepeatsARecordedSysidConflict) {
  const auto first = session.add({.sysid = "S", .name = "gear", .time = 3.0});
  {
    auto changes = make_change_records(dir);
    contents_info c;
    c.sysid = sysid_value::of_entity(first);
    c.filename = "S.sdpc";
    component_record r = c;
    EXPECT_EQ(change_component_info_sysid(r, std::nullopt, {"SYSID-CONFLICT"}, changes,
                                          session.location("/x", "f:"), session),
              "FRESH-1");
    changes.flush_change_records();
  }
  auto changes = make_change_records(dir);
  const auto again = session.add({.sysid = "S", .name = "gear", .time = 3.0});
  contents_info c;
  c.sysid = sysid_value::of_entity(again);
  c.filename = "S.sdpc";
  c.metakey = cluster_metakey{"gear", 3.0, {}, {}};
  c.shares = {session.location("/x", "f:")};
  component_record r = c;
  EXPECT_EQ(changes.apply_recorded_change(r, session), "FRESH-1");
  EXPECT_EQ(session.of(again).sysid, "FRESH-1");
  EXPECT_EQ(std::get<contents_info>(r).filename, std::filesystem::path("FRESH-1.sdpc"));

  const auto other = session.add({.sysid = "S", .name = "other", .time = 3.0});
  contents_info o;
  o.sysid = sysid_value::of_entity(other);
  o.metakey = cluster_metakey{"other", 3.0, {}, {}};
  component_record ro = o;
  EXPECT_EQ(changes.apply_recorded_change(ro, session), std::nullopt);
  instance_info i;
  component_record ri = i;
  EXPECT_EQ(changes.apply_recorded_change(ri, session), std::nullopt);
}

}  // namespace
