#include "frame/sysid.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/module_fixture.h"
#include "host/entity.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace {

using namespace host::lisp;
using vtm_test::error_of;
using vtm_test::eval;

// A console entity bound to a variable of the test's own.
ref make_entity(std::string_view sysid, bool public_id = true) {
  std::string form = "(setq cl-user::*e* (sdsim:make-entity \"" + std::string(sysid) + "\"" +
                     (public_id ? "" : " :public-id nil") + "))";
  return eval(form);
}

int change_count() { return as_integer(eval("(sdsim:entity-change-count cl-user::*e*)")); }
std::string sysid() { return as_string(eval("(frame2::inq-entity-sysid cl-user::*e*)")); }

TEST(SetEntitySysid, GivesTheEntityTheSysid) {
  vtm_test::load_module_once();
  make_entity("old-id");
  EXPECT_EQ(eval("(vtm::set-entity-sysid cl-user::*e* :sysid \"7H2K-new\")"), t());
  EXPECT_EQ(sysid(), "7H2K-new");
  EXPECT_EQ(change_count(), 1);
}

TEST(SetEntitySysid, NilLeavesTheEntityUntouched) {
  vtm_test::load_module_once();
  make_entity("kept");
  EXPECT_TRUE(is_nil(eval("(vtm::set-entity-sysid cl-user::*e* :sysid nil)")));
  EXPECT_EQ(sysid(), "kept");
  EXPECT_EQ(change_count(), 0);
}

TEST(SetEntitySysid, WantsTheEntityAndTheSysidPair) {
  vtm_test::load_module_once();
  make_entity("kept");
  EXPECT_EQ(error_of("(vtm::set-entity-sysid cl-user::*e*)"),
            "Invalid number of arguments to SET-ENTITY-SYSID: 1 (expected 3).");
  EXPECT_NE(error_of("(vtm::set-entity-sysid cl-user::*e* :name \"x\")"), "");
  EXPECT_NE(error_of("(vtm::set-entity-sysid \"not an entity\" :sysid \"x\")").find("not of type"),
            std::string::npos);
  EXPECT_EQ(sysid(), "kept");
  EXPECT_EQ(change_count(), 0);
}

TEST(SetEntitySysid, ABadTextFailsAfterTheChangeWasRecorded) {
  vtm_test::load_module_once();
  make_entity("kept");
  EXPECT_NE(error_of("(vtm::set-entity-sysid cl-user::*e* :sysid 42)").find("not of type"),
            std::string::npos);
  EXPECT_EQ(sysid(), "kept");
  EXPECT_EQ(change_count(), 1);
}

TEST(SetEntitySysid, AnEntityWithoutPublicIdOnlyRecordsTheChange) {
  vtm_test::load_module_once();
  make_entity("fixed", false);
  EXPECT_EQ(eval("(vtm::set-entity-sysid cl-user::*e* :sysid \"other\")"), t());
  EXPECT_EQ(sysid(), "fixed");
  EXPECT_EQ(change_count(), 1);
}

TEST(SetEntitySysid, WorksOnClustersOfTheSessionAndIsUndone) {
  vtm_test::load_module_once();
  std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("sysid test " + std::to_string(::getpid()) + ".pkg");
  std::ofstream(file) << R"((:sdsim-model 1)
(:contents :id "p" :sysid "P-OLD" :name "pin")
(:model :name "sysid-test" :contents (:name "m" :children ((:name "a" :contents "p") (:name "b" :contents "p")))))";
  eval("(frame2-ui::universal_load :file \"" + file.string() + "\")");
  std::filesystem::remove(file);
  eval("(setq cl-user::*cp* (oli::sd-set-model-checkpoint))");
  const std::string contents = "(oli::get-contents (oli::sd-pathname-to-obj \"/sysid-test/b\"))";
  EXPECT_EQ(eval("(vtm::set-entity-sysid (oli::get-contents (oli::sd-pathname-to-obj \"/sysid-test/a\")) "
                 ":sysid \"P-NEW\")"),
            t());
  EXPECT_EQ(as_string(eval("(frame2::inq-entity-sysid " + contents + ")")), "P-NEW");
  EXPECT_EQ(car(eval("(sdsim:entities-with-sysid \"P-NEW\")")), eval(contents));
  EXPECT_EQ(eval("(frame2::inquire-cluster-modified " + contents + ")"), t());
  eval("(oli::sd-return-to-model-checkpoint cl-user::*cp*)");
  EXPECT_EQ(as_string(eval("(frame2::inq-entity-sysid " + contents + ")")), "P-OLD");
  EXPECT_TRUE(is_nil(eval("(sdsim:entities-with-sysid \"P-NEW\")")));
  eval("(elan::delete_3d (oli::sd-pathname-to-obj \"/sysid-test\"))");
}

TEST(EntityIdTmp, HoldsAnIdCreatedForAText) {
  ENTITYIDTMP empty(0, 0);
  EXPECT_EQ(empty.get()->text(), "");
  ENTITYIDTMP id(0, 0);
  ENTITYID::create_sysid(id.get(), L"Ünïcode-sysid");
  EXPECT_EQ(id.get()->text(), "Ünïcode-sysid");
}

}  // namespace
