#include "records/cluster_keys.h"

#include <gtest/gtest.h>

#include "fake_session.h"
#include "host/lisp/printer.h"
#include "records/cluster_files.h"
#include "records/model_names.h"
#include "records_env.h"

namespace {

using namespace vtm::records;
using host::lisp::prin1_to_string;

class ClusterKeys : public ::testing::Test {
 protected:
  void SetUp() override { records_test::define_records(); }
  records_test::fake_session session;
};

cluster_metakey key(std::string name, double time, std::optional<std::string> version = {},
                    std::optional<std::string> symbolic = {}) {
  return {std::move(name), time, std::move(version), std::move(symbolic)};
}

TEST_F(ClusterKeys, MetakeyDiffListsDifferingSlotsInPlistOrder) {
  const cluster_metakey a = key("gear", 1.5);
  EXPECT_TRUE(cluster_metakey_diff(a, a).empty());
  const cluster_composite_key c = convert_meta_to_composite_key("S1", a);
  EXPECT_TRUE(cluster_metakey_diff(a, c).empty()) << "the sysid is never compared";

  EXPECT_EQ(prin1_to_string(cluster_metakey_diff(a, key("gear", 2.0)).to_lisp()),
            "(:TIMESTAMP (1.5d0 . 2.0d0))");
  EXPECT_EQ(prin1_to_string(cluster_metakey_diff(key("gear", 1.5, {}, "lib"), key("wheel", 1.5)).to_lisp()),
            "(:MODEL-NAME (\"gear\" . \"wheel\") :SYMBOLIC-NAME (\"lib\"))");
  EXPECT_FALSE(cluster_metakey_diff(key("gear", 1.5, ""), key("gear", 1.5)).empty()) << "\"\" is not NIL";
}

TEST_F(ClusterKeys, PlistsHaveTheirFixedOrderWithTheSysidFirst) {
  const cluster_composite_key c = convert_meta_to_composite_key("S1", key("gear", 1.5, "v1", "lib"));
  EXPECT_EQ(prin1_to_string(cluster_composite_key_plist(c).to_lisp()),
            "(:SYSID \"S1\" :MODEL-NAME \"gear\" :TIMESTAMP 1.5d0 :SYMBOLIC-VERSION \"v1\" :SYMBOLIC-NAME "
            "\"lib\")");
  EXPECT_EQ(prin1_to_string(cluster_metakey_plist(c).to_lisp()),
            "(:MODEL-NAME \"gear\" :TIMESTAMP 1.5d0 :SYMBOLIC-VERSION \"v1\" :SYMBOLIC-NAME \"lib\")");
}

TEST_F(ClusterKeys, CompositeKeysComeFromTheSysidStringOrTheEntity) {
  const auto cluster =
      session.add({.sysid = "FROM-HOST", .name = "gear", .time = 4.0, .symbolic_name = "lib"});
  const cluster_metakey meta = make_cluster_metakey(cluster, session);
  EXPECT_EQ(meta, key("gear", 4.0, {}, "lib"));
  EXPECT_EQ(convert_meta_to_composite_key(sysid_value("GIVEN"), meta, session).sysid, "GIVEN");
  EXPECT_EQ(convert_meta_to_composite_key(sysid_value::of_entity(cluster), meta, session).sysid, "FROM-HOST");
  EXPECT_EQ(make_cluster_composite_key(cluster, session), convert_meta_to_composite_key("FROM-HOST", meta));
  EXPECT_NE(convert_meta_to_composite_key("A", meta), convert_meta_to_composite_key("B", meta));
}

TEST_F(ClusterKeys, StagedFileNamesAreTheSysidAndTheTypeOfTheEntity) {
  const auto part = session.add({.sysid = "S", .type_name = "part_struct"});
  EXPECT_EQ(make_cluster_file_namestring(part, session), "S.sdpc");
  EXPECT_EQ(make_cluster_filename(part, session), std::filesystem::path("S.sdpc"));
  const auto asm_instance = session.add({.sysid = "A", .type_name = "nasmb3", .instance_level = true});
  EXPECT_EQ(make_cluster_file_namestring(asm_instance, session), "A.sda");
  const auto odd_instance = session.add({.sysid = "S", .type_name = "nfoo", .instance_level = true});
  EXPECT_EQ(make_cluster_file_namestring(odd_instance, session), "S.sdx");
  const auto odd_contents = session.add({.sysid = "S", .type_name = "foo_struct"});
  EXPECT_EQ(make_cluster_file_namestring(odd_contents, session), "S.sdxc");
}

TEST_F(ClusterKeys, UniqueNamesCountUpInHexadecimalAcrossClusters) {
  unique_model_namer namer(0x3E8ABCD);
  EXPECT_EQ(namer.next("A"), "A-3E8ABCD.1");
  EXPECT_EQ(namer.next("B"), "B-3E8ABCD.2");
  for (int i = 3; i < 26; ++i) namer.next("C");
  EXPECT_EQ(namer.next("A"), "A-3E8ABCD.1A");

  const auto first = session.add({.name = "gear"});
  const auto second = session.add({.name = "gear"});
  const std::string n1 = assign_unique_model_name(first, session);
  const std::string n2 = assign_unique_model_name(second, session);
  EXPECT_EQ(session.of(first).name, n1);
  EXPECT_NE(n1, n2);
  EXPECT_EQ(n1.substr(0, 5), "gear-");
  // Same load time, next number.
  EXPECT_EQ(n1.substr(0, n1.rfind('.')), n2.substr(0, n2.rfind('.')));
  EXPECT_EQ(std::stoll(n2.substr(n2.rfind('.') + 1), nullptr, 16),
            std::stoll(n1.substr(n1.rfind('.') + 1), nullptr, 16) + 1);
}

TEST_F(ClusterKeys, SanitizingReplacesCharactersNotPrintableAscii) {
  EXPECT_EQ(sanitized_model_name("Zahnrad ~A-1"), "Zahnrad ~A-1");
  EXPECT_EQ(sanitized_model_name("Zahnräder"), "Zahnr1der") << "one character, one replacement";
  EXPECT_EQ(sanitized_model_name("a\tb\x7f"
                                 "c€"),
            "a_b1c1");
  EXPECT_EQ(sanitized_model_name("x\xff"
                                 "y"),
            "x1y")
      << "a stray byte";

  const auto clean = session.add({.name = "plain name"});
  EXPECT_EQ(sanitize_model_name(clean, session), "plain name");
  EXPECT_EQ(session.names_assigned, 0) << "an unchanged name is not reassigned";
  const auto dirty = session.add({.name = "Wärme"});
  EXPECT_EQ(sanitize_model_name(dirty, session), "W1rme");
  EXPECT_EQ(session.of(dirty).name, "W1rme");
}

TEST_F(ClusterKeys, EntityAndLocationListsBecomeStringsOncePerEntity) {
  const auto a = session.add({.sysid = "S1"});
  const auto b = session.add({.sysid = "S1"});  // another cluster under the same sysid
  const sysid_list entities{
      sysid_value::of_entity(a), sysid_value::of_entity(b), sysid_value::of_entity(a), "S0", "S0", {}};
  EXPECT_EQ(map_entities_to_sysids(entities, session), (std::vector<std::string>{"S1", "S1", "S0"}));

  const share_list shares{session.location("/a/b", "x.pkg"), session.location("/a/c", "x.pkg"),
                          std::string("x.pkg/a/b"), session.location("/a/b", "y.pkg")};
  EXPECT_EQ(map_locations_to_pathnames(shares, session),
            (std::vector<std::string>{"x.pkg/a/b", "x.pkg/a/c", "y.pkg/a/b"}));
}

}  // namespace
