// Annotation drawings: a package's drawing owned by its instances, drawing
// files loaded alone, stale views and the view update, the import log, the
// store, and the module and application switches around them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/drawings.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "sim/session_fixture.h"

namespace {

using namespace sim_test;
using host::lisp::is_nil;
using host::lisp::prin1_to_string;

constexpr std::string_view bracket_package = R"((:sdsim-model 1)
(:model :sysid "I-BR" :name "bracket"
 :contents (:sysid "C-BR" :name "bracket"
            :children ((:name "plate" :sysid "I-PL" :contents (:sysid "C-PL" :name "plate")))))
(:drawing :number "DRW-1" :views ((:id "V1" :owner "I-BR") (:id "V2" :owner "I-PL") (:id "V3" :name "notes")))
)";

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AnnotationTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    host::oli::sd_activate_module("ANNOTATION");
    host::docu::am_drawing_delete();
    saved_warning_ = warning_symbol().function;
  }
  void TearDown() override {
    warning_symbol().function = saved_warning_;
    host::oli::sd_activate_module("ANNOTATION");
    host::docu::am_drawing_delete();
    SessionTest::TearDown();
  }
  static host::lisp::symbol& warning_symbol() {
    return host::lisp::intern("SD-DISPLAY-WARNING", host::lisp::require_package("OLI"));
  }
  std::string owners() { return prin1_to_string(ev("(mapcar #'cadr (oli::sd-am-inq-all-3d-owners))")); }
  // How many views have no 3D counterpart.
  int stale_views() {
    int n = 0;
    for (const auto& id : host::lisp::list_to_vector(host::docu::docu_get_view2d_name_ids_on_drw()))
      n += is_nil(host::elan::convert_docu_view_to_elan_view(host::docu::docu_select_by_unique_part_id(id)));
    return n;
  }
  host::lisp::ref saved_warning_;
};

TEST_F(AnnotationTest, PackageDrawingFollowsItsInstancesThroughStoreAndReload) {
  write("bracket.pkg", bracket_package);
  ev("(frame2-ui::universal_load :file \"bracket.pkg\")");
  EXPECT_EQ(prin1_to_string(ev("(oli::sd-am-inq-drawing-no)")), "\"DRW-1\"");
  // The third element of an entry is the owner's model path in session.
  EXPECT_EQ(
      prin1_to_string(ev("(oli::sd-inq-obj-pathname (car (cddr (cadr (oli::sd-am-inq-all-3d-owners)))))")),
      "\"/bracket/plate\"");
  // A new sysid of an owner shows in the owners and in the stored drawing.
  std::string fresh = host::lisp::as_string(
      ev("(frame2::set-cluster-sysids (oli::get-instance (oli::sd-pathname-to-obj \"/bracket\")))"));
  EXPECT_EQ(owners(), "(\"" + fresh + "\" \"I-PL\")");
  ev("(docu::am_store_drawing :filename \"DRW-1.ami\" :overwrite)");
  EXPECT_NE(error_of("(docu::am_store_drawing :filename \"DRW-1.ami\")").find("exists"), std::string::npos);

  // Loaded alone, the owners are the stored sysids and every owned view is
  // stale; the plain view "notes" has no counterpart either.
  ev("(elan::delete_3d :all_at_top)");
  ev("(docu::am_load_drawing :filename \"DRW-1.ami\")");
  EXPECT_EQ(owners(), "(\"" + fresh + "\" \"I-PL\")");
  EXPECT_EQ(stale_views(), 3);
  // The model loaded after the drawing: stale until the view update.
  ev("(frame2-ui::universal_load :file \"bracket.pkg\")");
  ev("(docu::am_load_drawing :filename \"DRW-1.ami\")");
  EXPECT_EQ(stale_views(), 2) << "only I-PL is in session under its stored sysid";
  ev("(elan::delete_3d :all_at_top)");
  ev("(docu::am_drawing_delete :dwg :yes)");
  ev("(docu::am_load_drawing :filename \"DRW-1.ami\")");
  write("plate.pkg", R"((:sdsim-model 1) (:model :sysid "I-PL" :name "p" :contents (:name "p")))");
  ev("(frame2-ui::universal_load :file \"plate.pkg\")");
  EXPECT_EQ(stale_views(), 3);
  ev("(docu::am_view_update :update_whole_drawing)");
  EXPECT_EQ(stale_views(), 2);
}

TEST_F(AnnotationTest, PackageOwnerThatIsNoInstanceOfTheFileFailsTheWholeLoad) {
  write("bad.pkg", R"((:sdsim-model 1)
(:model :sysid "I-A" :name "a" :contents (:name "a"))
(:drawing :number "D" :views ((:owner "I-ELSEWHERE"))))");
  std::string message = error_of("(frame2-ui::universal_load :file \"bad.pkg\")");
  EXPECT_NE(message.find("form 3"), std::string::npos) << message;
  EXPECT_NE(message.find("I-ELSEWHERE"), std::string::npos) << message;
  EXPECT_TRUE(is_nil(ev("(oli::sd-inq-obj-children (elan-ui::get-root-sel_item))")));
  EXPECT_TRUE(is_nil(ev("(oli::sd-am-inq-drawing-no)")));
}

TEST_F(AnnotationTest, ImportWarningsGoToTheLogInTheWorkingDirectory) {
  write("warned.ami",
        R"((:sdsim-ami 1) (:drawing :number "W" :import-warnings ("font 7 unknown" "hatch 4 unknown")))");
  write("clean.ami", R"((:sdsim-ami 1) (:drawing :number "C"))");
  std::filesystem::create_directories(dir_ / "out");
  ev("(frame2-ui::sd-set-current-working-directory \"out\")");
  ev("(docu::am_load_any_mi :filename \"../clean.ami\" :enable_warning :off)");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out" / "log"));
  ev("(docu::am_load_any_mi :filename \"../warned.ami\" :enable_warning :off)");
  std::string log = read_file(dir_ / "out" / "log");
  EXPECT_NE(log.find("WARNING: font 7 unknown\nWARNING: hatch 4 unknown\n"), std::string::npos) << log;
  EXPECT_NE(log.find("warned.ami"), std::string::npos) << log;
  // With warnings on, each one is also shown through the replaceable function.
  ev("(defvar *seen* nil)");
  ev("(setq *seen* nil)");
  ev("(defun oli::sd-display-warning (m &rest r) (setq *seen* (cons m *seen*)) :yes)");
  ev("(docu::am_load_any_mi :filename \"../warned.ami\" :enable_warning :on)");
  EXPECT_EQ(prin1_to_string(ev("*seen*")), "(\"hatch 4 unknown\" \"font 7 unknown\")");
}

TEST_F(AnnotationTest, LoadersRefuseWhatIsNotTheirsWithoutTouchingTheSession) {
  write("plain.mi", R"((:sdsim-mi 1) (:drawing :number "MI-1" :views ((:name "sheet"))))");
  write("owned.mi", R"((:sdsim-mi 1) (:drawing :number "MI-2" :views ((:owner "X"))))");
  write("model", R"((:sdsim-model 1) (:warn "from the model") (:model :name "m" :contents (:name "m")))");
  write("failing.ami",
        R"((:sdsim-ami 1) (:warn "before") (:fail "The drawing is damaged.") (:drawing :number "F"))");
  ev("(defvar *seen* nil)");
  ev("(setq *seen* nil)");
  ev("(defun oli::sd-display-warning (m &rest r) (setq *seen* (cons m *seen*)) :yes)");
  ev("(docu::am_load_any_mi :filename \"plain.mi\" :enable_warning :off :ui_type :none)");
  EXPECT_EQ(prin1_to_string(ev("(oli::sd-am-inq-drawing-no)")), "\"MI-1\"");
  EXPECT_NE(error_of("(docu::am_load_drawing :filename \"plain.mi\")").find("no Annotation drawing"),
            std::string::npos);
  EXPECT_NE(error_of("(docu::am_load_any_mi :filename \"owned.mi\")").find("3D owner"), std::string::npos);
  // A model file without type is no drawing: refused before its faults act.
  EXPECT_NE(error_of("(docu::am_load_any_mi :filename \"model\")").find("no drawing file"),
            std::string::npos);
  EXPECT_TRUE(is_nil(ev("*seen*")));
  EXPECT_EQ(error_of("(docu::am_load_any_mi :filename \"failing.ami\")"), "The drawing is damaged.");
  EXPECT_EQ(prin1_to_string(ev("(frame2::read-error-object (oli::sd-inq-error-obj) :code)")), ":LOAD-FAILED");
  EXPECT_EQ(prin1_to_string(ev("*seen*")), "(\"before\")");
  EXPECT_EQ(prin1_to_string(ev("(oli::sd-am-inq-drawing-no)")), "\"MI-1\"")
      << "a failed load keeps the drawing";
}

TEST_F(AnnotationTest, ModuleSwitchApplicationAndSessionReset) {
  write("bracket.pkg", bracket_package);
  EXPECT_FALSE(is_nil(ev("(pers::check-module \"ANNOTATION\")")));
  ev("(frame2-ui::universal_load :file \"bracket.pkg\")");
  ev("(oli::sd-switch-application \"Annotation\")");
  ev("(oli::sd-deactivate-module \"ANNOTATION\")");
  EXPECT_TRUE(is_nil(ev("(pers::check-module \"ANNOTATION\")")));
  EXPECT_TRUE(is_nil(ev("(oli::sd-am-inq-drawing-no)")));
  EXPECT_EQ(prin1_to_string(ev("(oli::sd-inq-current-application)")), "\"SolidDesigner\"");
  EXPECT_NE(error_of("(oli::sd-switch-application \"Annotation\")"), "");
  EXPECT_NE(error_of("(docu::am_load_drawing :filename \"x.ami\")").find("not active"), std::string::npos);
  // Without Annotation a package loads its models only.
  ev("(elan::delete_3d :all_at_top)");
  ev("(frame2-ui::universal_load :file \"bracket.pkg\")");
  EXPECT_TRUE(is_nil(ev("(oli::sd-am-inq-drawing-no)")));

  ev("(oli::sd-activate-module \"ANNOTATION\")");
  ev("(elan::delete_3d :all_at_top)");
  ev("(frame2-ui::universal_load :file \"bracket.pkg\")");
  ev("(oli::sd-switch-application \"Annotation\")");
  EXPECT_TRUE(is_nil(ev("(ui::uic_reset_session :no)")));
  EXPECT_FALSE(is_nil(ev("(oli::sd-am-inq-drawing-no)")));
  EXPECT_FALSE(is_nil(ev("(ui::uic_reset_session :yes)")));
  EXPECT_TRUE(is_nil(ev("(oli::sd-am-inq-drawing-no)")));
  EXPECT_TRUE(is_nil(ev("(oli::sd-inq-obj-children (elan-ui::get-root-sel_item))")));
  EXPECT_EQ(prin1_to_string(ev("(oli::sd-inq-current-application)")), "\"SolidDesigner\"");
}

}  // namespace
