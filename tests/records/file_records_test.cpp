#include "records/file_records.h"

#include <gtest/gtest.h>

#include "fake_session.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "records/change_records.h"
#include "records_env.h"

namespace {

using namespace vtm::records;
using host::lisp::prin1_to_string;
using vtm::core::keyword_name;

class FileRecords : public records_test::records_fixture {
 protected:
  records_test::fake_session session;
};

TEST_F(FileRecords, ANewCadFileRecordTakesTheFilesWriteDate) {
  const auto file = dir / "a b.sd";
  records_test::spit(file, "x");
  const cad_fileinfo info = make_cad_fileinfo(file);
  EXPECT_EQ(info.state, cad_file_state::new_);
  EXPECT_EQ(info.load_method, cad_load_method::none);
  EXPECT_EQ(info.write_date, host::lisp::file_write_date(host::lisp::make_string(file.string())));
  EXPECT_TRUE(cad_fileinfo_consistent_p(info));

  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
  EXPECT_FALSE(cad_fileinfo_consistent_p(info));
  std::filesystem::remove(file);
  EXPECT_FALSE(cad_fileinfo_consistent_p(info));
  EXPECT_THROW(make_cad_fileinfo(file), host::lisp::lisp_error);
}

TEST_F(FileRecords, LispMakesCadFileRecordsFromAPathAndAState) {
  const auto file = dir / "x.sd";
  records_test::spit(file, "x");
  const std::string form = "(vtm:make-cad-fileinfo #P\"" + file.string() + "\" :state :loading)";
  const cad_fileinfo info = vtm::core::from_lisp<cad_fileinfo>(host::lisp::eval_string(form));
  EXPECT_EQ(info.path, file);
  EXPECT_EQ(info.state, cad_file_state::loading);
  EXPECT_EQ(info.write_date, make_cad_fileinfo(file).write_date);
}

TEST_F(FileRecords, PredicatesOfComponentRecords) {
  contents_info c;
  c.sysid = sysid_value::of_entity(session.add({.sysid = "S"}));
  EXPECT_FALSE(component_info_persisted_p(c));
  EXPECT_FALSE(component_connected_p(c, "K")) << "no children";
  c.sysid = "S";
  c.child_sysids = {"K1", "K2"};
  EXPECT_TRUE(component_info_persisted_p(c));
  EXPECT_TRUE(component_connected_p(c, "K2"));
  EXPECT_FALSE(component_connected_p(c, "K3"));

  c.filename = "S.sdpc";
  EXPECT_EQ(component_info_file(c), std::filesystem::path("models/S.sdpc"));
  ami_drawing_info drawing;
  drawing.filename = "7@x.ami";
  EXPECT_EQ(ami_drawing_info_file(drawing), std::filesystem::path("drawings.ami/7@x.ami"));
  EXPECT_EQ(contents_info_model_name(c), std::nullopt);
  c.metakey = cluster_metakey{"gear", 1.0, {}, {}};
  EXPECT_EQ(contents_info_model_name(c), "gear");
  EXPECT_EQ(contents_info_composite_key(c), convert_meta_to_composite_key("S", *c.metakey));
}

TEST_F(FileRecords, ComponentPlistsLeaveOutTheTags) {
  instance_info i;
  i.sysid = "I";
  i.tags = {{"INSEPARABLE-MASTER"}};
  EXPECT_EQ(prin1_to_string(instance_info_plist(i).to_lisp()),
            "(:SYSID \"I\" :TYPENAME NIL :FILENAME NIL :CHILD-SYSIDS NIL :SOURCEPATH NIL :NAME NIL "
            ":CONTENTS-SYSID NIL)");
  contents_info c;
  c.tags = {{"INSEPARABLE-CHILD"}};
  const auto p = contents_info_plist(c);
  EXPECT_FALSE(p.contains("TAGS"));
  EXPECT_EQ(p.size(), 11u);
  EXPECT_EQ(p.begin()->first, "SYSID");
  EXPECT_EQ(prin1_to_string(ami_drawing_info_plist({"7", "in/x.mi", "7@x.ami", {"I1"}}).to_lisp()),
            "(:NAME \"7\" :SOURCEPATH #P\"in/x.mi\" :FILENAME #P\"7@x.ami\" :INSTANCE-SYSIDS (\"I1\"))");
}

TEST_F(FileRecords, ChangeDiffs) {
  const auto diff = [](change_key before, change_key after) {
    return prin1_to_string(
        change_info_diff(make_change_info("loc", before, after, {"SYSID-CONFLICT"})).to_lisp());
  };
  EXPECT_EQ(diff("S", "S"), "NIL");
  EXPECT_EQ(diff({}, "S"), "NIL");
  EXPECT_EQ(diff("S", "T"), "(:SYSID (\"S\" . \"T\"))");

  const cluster_composite_key k1 = convert_meta_to_composite_key("S1", {"gear", 1.0, {}, {}});
  EXPECT_EQ(diff(k1, {}), "(:SYSID (\"S1\" . \"\"))");
  EXPECT_EQ(diff(k1, k1), "NIL");
  const cluster_composite_key k2 = convert_meta_to_composite_key("S2", {"gear", 1.0, "v2", {}});
  EXPECT_EQ(diff(k1, k2), "(:SYSID (\"S1\" . \"S2\") :SYMBOLIC-VERSION (\"\" . \"v2\"))");
  EXPECT_THROW(diff(k1, "S2"), host::lisp::lisp_error);
}

TEST_F(FileRecords, ChangingAContentsSysidLogsBothCompositeKeys) {
  auto log = make_change_records(dir);
  const auto cluster = session.add({.sysid = "OLD", .name = "gear", .time = 1.0});
  contents_info c;
  c.sysid = sysid_value::of_entity(cluster);
  c.filename = "OLD.sdpc";
  component_record record = c;

  EXPECT_EQ(change_component_info_sysid(record, std::string("NEW"), {"VERSION->ORIGINAL"}, log,
                                        session.location("/p", "f:"), session),
            "NEW");
  const auto& changed = std::get<contents_info>(record);
  EXPECT_EQ(changed.filename, std::filesystem::path("NEW.sdpc"));
  EXPECT_EQ(changed.sysid, sysid_value::of_entity(cluster))
      << "the handle stays until the record is persisted";
  EXPECT_EQ(session.of(cluster).sysid, "NEW");
  EXPECT_EQ(session.of(cluster).filename, "NEW.sdpc");
  EXPECT_TRUE(session.of(cluster).original);

  ASSERT_EQ(log.buffer().size(), 1u);
  const change_info& entry = log.buffer()[0];
  EXPECT_EQ(entry.locations, std::vector<std::string>{"f:/p"});
  EXPECT_EQ(entry.key_before, change_key(convert_meta_to_composite_key("OLD", {"gear", 1.0, {}, {}})));
  EXPECT_EQ(entry.key_after, change_key(convert_meta_to_composite_key("NEW", {"gear", 1.0, {}, {}})));
  EXPECT_EQ(entry.reason, keyword_name{"VERSION->ORIGINAL"});
}

TEST_F(FileRecords, ChangingAnInstanceSysidLogsSysidStringsAndCanTakeFreshOnes) {
  auto log = make_change_records(dir);
  const auto cluster = session.add({.sysid = "I0", .type_name = "nasmb3", .instance_level = true});
  instance_info i;
  i.sysid = sysid_value::of_entity(cluster);
  i.filename = "I0.sda";
  component_record record = i;
  const std::string fresh = change_component_info_sysid(record, std::nullopt, {"SYSID-CONFLICT"}, log,
                                                        std::string("f:/top"), session);
  EXPECT_EQ(fresh, "FRESH-1");
  EXPECT_FALSE(session.of(cluster).original);
  EXPECT_EQ(std::get<instance_info>(record).filename, std::filesystem::path("FRESH-1.sda"));
  ASSERT_EQ(log.buffer().size(), 1u);
  EXPECT_EQ(log.buffer()[0].key_before, change_key("I0"));
  EXPECT_EQ(log.buffer()[0].key_after, change_key("FRESH-1"));

  std::get<instance_info>(record).sysid = "FRESH-1";
  EXPECT_THROW(change_component_info_sysid(record, std::nullopt, {"SYSID-CONFLICT"}, log, {}, session),
               host::lisp::lisp_error)
      << "a persisted record has no cluster to change";
}

}  // namespace
