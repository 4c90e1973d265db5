#include <gtest/gtest.h>

#include "fake_session.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/component_records.h"
#include "records/file_records.h"
#include "records_env.h"

namespace {

using namespace vtm::records;
using host::lisp::ref;
using records_test::fake_session;

// top (assembly A) holds sub (assembly S, an inseparable master), which
// holds p1 and p2, both of part P (inseparable children).
class InSessionRecords : public records_test::records_fixture {
 protected:
  void SetUp() override {
    records_fixture::SetUp();
    A = session.contents("A", "asbm_struct");
    S = session.contents("S", "asbm_struct");
    P = session.contents("P");
    fake_session::of(P).time = 7.5;
    fake_session::of(P).attributes["DB-GREF"] = host::lisp::read_from_string("(:PART-NO \"4711\")");
    top = session.instance("top", A, ref(), "nasmb3");
    sub = session.instance("sub", S, top, "nasmb3");
    p1 = session.instance("p1", P, sub);
    p2 = session.instance("p2", P, sub);
    fake_session::of(sub).inseparable_master = true;
    fake_session::of(p1).inseparable_child = fake_session::of(p1).inseparable_master = true;
    model = make_instance_info(session.location({top}, "/in/x.pkg"), "x.pkg", session);
  }

  fake_session session;
  ref A, S, P, top, sub, p1, p2;
  instance_info model;
};

TEST_F(InSessionRecords, AnInstanceRecordHoldsItsHandles) {
  EXPECT_EQ(model.sysid, sysid_value::of_entity(top));
  EXPECT_EQ(model.typename_, "nasmb3");
  EXPECT_EQ(model.filename, std::filesystem::path("I-top.sda"));
  EXPECT_EQ(model.name, "/in/x.pkg/top");
  EXPECT_EQ(model.sourcepath, std::filesystem::path("x.pkg"));
  EXPECT_EQ(model.contents_sysid, sysid_value::of_entity(A));
  EXPECT_FALSE(component_info_persisted_p(model));
}

TEST_F(InSessionRecords, AContentsRecordComesFromItsFirstPosition) {
  int checks = 0;
  const part_check check = [&](const extended_location& at) {
    ++checks;
    return host::lisp::make_string(session.obj_pathname(at));
  };
  const extended_location at_p1 = session.location({top, sub, p1}, "/in/x.pkg");
  const contents_info part = make_contents_info(at_p1, model, check, session);
  EXPECT_EQ(part.sysid, sysid_value::of_entity(P));
  EXPECT_EQ(part.typename_, "part_struct");
  EXPECT_EQ(part.filename, std::filesystem::path("C-P.sdpc"));
  EXPECT_EQ(part.metakey, (cluster_metakey{"P", 7.5, {}, {}}));
  EXPECT_EQ(part.shares, share_list{at_p1});
  EXPECT_EQ(part.model_sysids, sysid_list{sysid_value::of_entity(top)});
  EXPECT_EQ(part.parent_sysids, sysid_list{sysid_value::of_entity(S)});
  EXPECT_EQ(host::lisp::prin1_to_string(part.check_result.value), "\"/top/sub/p1\"");
  EXPECT_EQ(host::lisp::prin1_to_string(part.db_gref.value), "(:PART-NO \"4711\")");
  EXPECT_EQ(part.tags, std::vector<vtm::core::keyword_name>{{"INSEPARABLE-CHILD"}})
      << "a child before a master";

  const contents_info assembly =
      make_contents_info(session.location({top, sub}, "/in/x.pkg"), model, check, session);
  EXPECT_EQ(checks, 1) << "only parts are checked";
  EXPECT_TRUE(host::lisp::is_nil(assembly.check_result.value));
  EXPECT_TRUE(host::lisp::is_nil(assembly.db_gref.value));
  EXPECT_EQ(assembly.tags, std::vector<vtm::core::keyword_name>{{"INSEPARABLE-MASTER"}});
  EXPECT_EQ(assembly.parent_sysids, sysid_list{sysid_value::of_entity(A)});
  EXPECT_TRUE(make_contents_info(at_p1, model, {}, session).check_result.value == ref()) << "no check given";
  EXPECT_TRUE(make_contents_info(session.location({top, sub, p2}, ""), model, {}, session).tags.empty());
}

TEST_F(InSessionRecords, AContentsMetAgainCollectsItsPositionsUntilPersisted) {
  const extended_location at_p1 = session.location({top, sub, p1}, "/in/x.pkg");
  const extended_location at_p2 = session.location({top, sub, p2}, "/in/x.pkg");
  contents_info part = make_contents_info(at_p1, model, {}, session);
  update_contents_info(part, model, at_p2, session);
  update_contents_info(part, model, at_p1, session);
  EXPECT_EQ(part.shares, (share_list{at_p1, at_p2, at_p1})) << "newest first, not de-duplicated";
  EXPECT_EQ(part.model_sysids.size(), 3u);

  auto components = make_component_records(dir);
  std::vector<component_record> batch{model, part};
  components.update_component_records(batch, session);
  const auto persisted = std::get<contents_info>(*components.get_component_record_by_sysid("C-P"));
  EXPECT_EQ(persisted.shares, (share_list{"/in/x.pkg/top/sub/p1", "/in/x.pkg/top/sub/p2"}));
  EXPECT_EQ(persisted.model_sysids, sysid_list{"I-top"});
  EXPECT_EQ(persisted.parent_sysids, sysid_list{"C-S"});
  const auto instance = std::get<instance_info>(*components.get_component_record_by_sysid("I-top"));
  EXPECT_EQ(instance.contents_sysid, sysid_value("C-A"));
  EXPECT_EQ(fake_session::of(P).filename, "C-P.sdpc") << "the host knows the staged file name";
}

}  // namespace
