#include "records/model_tree.h"

#include <gtest/gtest.h>

#include "fake_session.h"
#include "frame/module_resources.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "records/contents_substitution.h"
#include "records_env.h"

namespace {

using namespace vtm::records;
using host::lisp::ref;
using strings = std::vector<std::string>;

// top (assembly A)
//   sub1 (assembly S)  p1 (part P), p2 (part Q)
//   sub2 (assembly S, the same contents)
//   p3 (part P)
class ModelTree : public ::testing::Test {
 protected:
  void SetUp() override {
    records_test::define_records();
    A = session.contents("A", "asbm_struct");
    S = session.contents("S", "asbm_struct");
    P = session.contents("P");
    Q = session.contents("Q");
    top = session.instance("top", A, ref(), "nasmb3");
    sub1 = session.instance("sub1", S, top, "nasmb3");
    p1 = session.instance("p1", P, sub1);
    p2 = session.instance("p2", Q, sub1);
    sub2 = session.instance("sub2", S, top, "nasmb3");
    p3 = session.instance("p3", P, top);
    session.tops = {top};
  }

  strings scan(const model_path& root, const std::function<bool(const model_path&)>& descend) {
    strings visited;
    for_each_instance(
        root,
        [&](const model_path& node) {
          visited.push_back(session.obj_pathname(node));
          return descend(node);
        },
        session);
    return visited;
  }
  static std::string name_of(const ref& cluster) { return records_test::fake_session::of(cluster).name; }

  records_test::fake_session session;
  ref A, S, P, Q, top, sub1, p1, p2, sub2, p3;
};

TEST_F(ModelTree, TheScanVisitsEachSubtreeBeforeTheNextSibling) {
  const auto all = [](const model_path&) { return true; };
  EXPECT_EQ(scan(session.at({top}), all), (strings{"/top", "/top/sub1", "/top/sub1/p1", "/top/sub1/p2",
                                                   "/top/sub2", "/top/sub2/p1", "/top/sub2/p2", "/top/p3"}));
  EXPECT_EQ(scan(session.at({top}), [](const model_path&) { return false; }), strings{"/top"});
  const auto skip_sub1 = [&](const model_path& node) { return !(node.item.value == sub1); };
  EXPECT_EQ(scan(session.at({top}), skip_sub1),
            (strings{"/top", "/top/sub1", "/top/sub2", "/top/sub2/p1", "/top/sub2/p2", "/top/p3"}));
}

TEST_F(ModelTree, AnErrorInTheTaskEndsTheScanWithTheResourceMessage) {
  MODULE_RESOURCES::instance().add_resource(&host::lisp::keyword("MODEL-SCANNING-ERROR-FMT"),
                                            L"Scanning the model failed: ~A");
  strings visited;
  try {
    for_each_instance(
        session.at({top}),
        [&](const model_path& node) {
          visited.push_back(session.obj_pathname(node));
          if (node.item.value == p2) host::lisp::simple_error("p2 is broken");
          return true;
        },
        session);
    FAIL() << "no error";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_EQ(e.message(), "Scanning the model failed: p2 is broken");
  }
  EXPECT_EQ(visited, (strings{"/top", "/top/sub1", "/top/sub1/p1", "/top/sub1/p2"}));
}

TEST_F(ModelTree, TheRealParentIsTheNearestFilingClusterAbove) {
  EXPECT_EQ(get_real_parent_cluster(session.at({top, sub1, p1}), session), S);
  records_test::fake_session::of(S).real = false;
  EXPECT_EQ(get_real_parent_cluster(session.at({top, sub1, p1}), session), A);
  records_test::fake_session::of(A).real = false;
  EXPECT_EQ(get_real_parent_cluster(session.at({top, sub1, p1}), session), p1) << "none above: the instance";
  EXPECT_EQ(get_real_parent_cluster(session.at({top}), session), top);
}

TEST_F(ModelTree, ParentAndChildFollowThePaths) {
  const model_path t = session.at({top}), child = session.at({top, sub1}),
                   grandchild = session.at({top, sub1, p1});
  EXPECT_EQ(get_parent_child_relationship(t, t), std::nullopt);
  EXPECT_EQ(get_parent_child_relationship(t, grandchild), std::pair(t, grandchild));
  EXPECT_EQ(get_parent_child_relationship(grandchild, child), std::pair(child, grandchild));
  EXPECT_EQ(get_parent_child_relationship(child, session.at({top, sub2})), std::nullopt) << "siblings";
  EXPECT_EQ(get_parent_child_relationship(session.at({top, sub2}), grandchild), std::nullopt) << "cousins";
}

TEST_F(ModelTree, ReplacingContentsNormalisesTheVersionsBelow) {
  // S2 takes the place of S: it holds a version without original (V1), one
  // whose original is not in the database (V2) and one whose original is
  // (V3, whose own subtree must be left alone).
  const ref S2 = session.contents("S2", "asbm_struct");
  const ref O2 = session.contents("O2"), O3 = session.contents("O3", "asbm_struct");
  records_test::fake_session::of(O3).in_model_manager = true;
  records_test::fake_session::of(O3).lav_group = "g";
  const ref V1 = session.add({.name = "V1", .version = true});
  const ref V2 = session.add({.name = "V2", .version = true, .original_of = O2});
  const ref V3 = session.add(
      {.type_name = "asbm_struct", .name = "V3", .version = true, .original_of = O3, .lav_group = "g"});
  const ref deep = session.add({.name = "deep", .version = true});
  const ref v3 = session.add({.name = "v3", .instance_level = true, .contents = V3});
  records_test::fake_session::of(S2).children = {session.instance("v1", V1), session.instance("v2", V2), v3};
  records_test::fake_session::of(V3).children = {session.instance("d", deep)};

  EXPECT_TRUE(replace_contents(session.at({top, sub1}), S2, session));
  EXPECT_EQ(records_test::fake_session::of(sub1).contents, S2);
  EXPECT_EQ(records_test::fake_session::of(sub2).contents, S2) << "every use of S";
  EXPECT_EQ(records_test::fake_session::of(v3).contents, O3);
  EXPECT_EQ(session.log,
            (strings{"substitute S by S2 modified", "cyclic check S2", "reconnect S2",
                     "original V1 :load-as-version", "fresh sysids O2", "original V2 :load-as-version",
                     "version O3 :load-as-version", "original V3 :load-as-version", "substitute V3 by O3",
                     "original O3", "cyclic check O3", "reconnect O3", "changed parcel tree", "note state",
                     "changed parcel tree", "refresh parcel-gbrowser"}));
  EXPECT_TRUE(records_test::fake_session::of(deep).version) << "below a replaced version nothing is visited";
}

TEST_F(ModelTree, ARefusedSubstitutionIsAnError) {
  session.refuse_substitution = true;
  try {
    replace_contents(session.at({top, sub1}), Q, session);
    FAIL() << "no error";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_EQ(e.message(), "Component substitution failed!");
  }
  EXPECT_EQ(session.log, strings{"substitute S by Q modified"});
}

TEST_F(ModelTree, ReplacementByTheOriginalNeedsOneVersionGroup) {
  EXPECT_FALSE(replace_by_original(session.at({top, sub1}), ref(), session));
  EXPECT_TRUE(session.log.empty());

  const ref O = session.contents("O", "asbm_struct");
  records_test::fake_session::of(O).lav_group = "other";
  records_test::fake_session::of(S).lav_group = "mine";
  EXPECT_FALSE(replace_by_original(session.at({top, sub1}), O, session));
  EXPECT_EQ(session.log,
            (strings{"version O :load-as-version", "original S :load-as-version", "changed parcel tree"}));
  EXPECT_EQ(records_test::fake_session::of(sub1).contents, S);
}

}  // namespace
