// Checkpoints and undo states restore the session exactly, in the same
// entity objects.
#include <sstream>

#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/files.h"
#include "host/undo.h"
#include "session_fixture.h"

namespace {

using namespace host::lisp;
using sim_test::ev;

class SessionUndo : public sim_test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    write("frame.pkg", sim_test::frame_package);
    host::frame2_ui::universal_load("frame.pkg");
  }
  std::string listing() {
    std::ostringstream out;
    for (const char* p : {"/frame", "/frame/bolt", "/frame/bolt_2", "/frame/sub", "/frame/sub/b"}) {
      ref at_p = host::oli::sd_pathname_to_obj(p);
      out << p << " ";
      if (is_nil(at_p)) {
        out << "-\n";
        continue;
      }
      ref item = host::elan::sel_item_item(at_p), contents = host::oli::get_contents(at_p);
      out << as_string(host::frame2::inq_entity_sysid(item)) << " "
          << prin1_to_string(host::elan::inquire_name(contents)) << " "
          << as_string(host::frame2::inq_entity_sysid(contents)) << " "
          << prin1_to_string(host::oli::sd_inq_item_attribute(at_p, "DB-GREF", ev(":contents"))) << "\n";
    }
    out << list_length(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item()));
    return out.str();
  }
};

TEST_F(SessionUndo, ReturnRestoresNamesSysidsAttributesAndStructure) {
  std::string before = listing();
  ref frame_item = host::elan::sel_item_item(at("/frame"));
  ref bolt = host::oli::get_contents(at("/frame/bolt"));
  ref checkpoint = ev("(oli::sd-set-model-checkpoint)");

  host::frame2::set_cluster_sysids(bolt);
  host::elan::assign_name(bolt, "renamed");
  host::elan::assign_name(frame_item, "moved");
  host::oli::sd_detach_item_attribute(at("/moved"), "DB-GREF", ev(":contents"), true);
  host::elan::delete_3d(at("/moved/sub"));
  write("extra.pkg", R"((:sdsim-model 1) (:model :name "extra" :contents (:name "x")))");
  host::frame2_ui::universal_load("extra.pkg");
  ASSERT_NE(listing(), before);

  ev("(oli::sd-return-to-model-checkpoint (oli::sd-set-model-checkpoint))");
  host::oli::sd_return_to_model_checkpoint(checkpoint);
  EXPECT_EQ(listing(), before);
  EXPECT_TRUE(is_nil(host::oli::sd_pathname_to_obj("/extra")));
  // The same objects are back, not copies.
  EXPECT_EQ(host::elan::sel_item_item(at("/frame")), frame_item);
  EXPECT_EQ(host::oli::get_contents(at("/frame/sub/b")), bolt);
  // The session can go back to the same checkpoint again.
  host::elan::delete_3d(ev(":all_at_top"));
  host::oli::sd_return_to_model_checkpoint(checkpoint);
  EXPECT_EQ(listing(), before);
}

TEST_F(SessionUndo, SubstitutionIsUndone) {
  ref checkpoint = host::oli::sd_set_model_checkpoint();
  ref bolt = host::oli::get_contents(at("/frame/bolt"));
  ref sub = host::oli::get_contents(at("/frame/sub"));
  ASSERT_TRUE(host::elan::substitute_contents(at("/frame/bolt"), sub, false, true));
  host::oli::sd_return_to_model_checkpoint(checkpoint);
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), bolt);
  EXPECT_FALSE(host::frame2::inquire_cluster_modified(host::oli::get_contents(at("/frame"))));
  // The sub-assembly is used once again, at its own place only.
  EXPECT_EQ(as_string(host::oli::sd_inq_obj_pathname(host::elan::sel_item_item(at("/frame/sub")))),
            "/frame/sub");
}

TEST_F(SessionUndo, NewStatesDropTheFutureAndRmFutureDropsIt) {
  ref first = host::oli::sd_set_model_checkpoint();
  ref second = host::oli::sd_set_model_checkpoint();
  host::oli::sd_return_to_model_checkpoint(first);
  // Returning keeps the later state until a new one is taken...
  host::oli::sd_return_to_model_checkpoint(second);
  host::oli::sd_return_to_model_checkpoint(first);
  ev("(dsm::note-state k2::*k2-state-manager*)");
  EXPECT_THROW(host::oli::sd_return_to_model_checkpoint(second), lisp_error);
  // ...or rm-future drops it.
  ref third = host::oli::sd_set_model_checkpoint();
  host::oli::sd_return_to_model_checkpoint(first);
  ev("(dsm::rm-future k2::*k2-state-manager*)");
  EXPECT_THROW(host::oli::sd_return_to_model_checkpoint(third), lisp_error);
  EXPECT_NO_THROW(host::oli::sd_return_to_model_checkpoint(first));
  EXPECT_EQ(host::frame2::read_error_object(host::oli::sd_inq_error_obj(), ev(":code")),
            ev(":checkpoint-removed"));
}

TEST_F(SessionUndo, FileAfterFileTheHostKeepsOnlyTheSysidsInUse) {
  // As the staging run does: load, checkpoint, return, for many files.
  write("parts.pkg", R"((:sdsim-model 1)
(:model :name "m" :contents (:name "m" :children ((:name "a" :contents (:name "a"))
                                                 (:name "b" :contents (:name "b"))))))");
  ref run = host::oli::sd_set_model_checkpoint();
  auto once = [&] {
    host::frame2_ui::universal_load("parts.pkg");
    host::oli::sd_set_model_checkpoint();
    host::oli::sd_return_to_model_checkpoint(run);
  };
  for (int i = 0; i < 5; ++i) once();
  std::int64_t settled = as_integer(ev("(sdsim:sysid-text-count)"));
  for (int i = 0; i < 50; ++i) once();
  EXPECT_EQ(as_integer(ev("(sdsim:sysid-text-count)")), settled);
}

}  // namespace
