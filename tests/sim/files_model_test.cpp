// Model files: save-then-load per component, what each loader takes, load
// failures and warnings.
#include <sstream>

#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/features.h"
#include "host/files.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "session_fixture.h"

namespace {

using namespace host::lisp;
namespace fs = std::filesystem;
using sim_test::error_of;
using sim_test::ev;

class ModelFiles : public sim_test::SessionTest {
 protected:
  // Path name, instance sysid and name of contents and its sysid, per position.
  std::string tree() {
    std::ostringstream out;
    std::vector<ref> work =
        list_to_vector(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item()));
    while (!work.empty()) {
      ref p = work.front();
      work.erase(work.begin());
      ref contents = host::oli::get_contents(p);
      out << as_string(host::oli::sd_inq_obj_pathname(p)) << " "
          << as_string(host::frame2::inq_entity_sysid(host::elan::sel_item_item(p))) << " "
          << prin1_to_string(host::elan::inquire_name(contents)) << " "
          << as_string(host::frame2::inq_entity_sysid(contents)) << " "
          << prin1_to_string(host::frame2::inquire_cluster_modification_time(contents)) << "\n";
      std::vector<ref> children = list_to_vector(host::oli::sd_inq_obj_children(p));
      work.insert(work.begin(), children.begin(), children.end());
    }
    return out.str();
  }
  std::string failure(std::string_view form) {
    std::string message = error_of(form);
    EXPECT_NE(message, "") << form;
    // The host's error state carries the same message.
    if (!message.empty()) {
      EXPECT_EQ(as_string(host::frame2::read_error_object(host::oli::sd_inq_error_obj(), ev(":error-mesg"))),
                message);
    }
    return message;
  }
  static std::vector<std::string> files_in(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(ModelFiles, SaveThenLoadGivesTheSameTreeSharingAndAll) {
  write("in/frame.pkg", sim_test::frame_package);
  ev("(frame2-ui::universal_load :file \"in/frame.pkg\")");
  std::string before = tree();
  fs::create_directories(dir_ / "staged");
  host::frame2::set_cluster_filename(host::oli::get_contents(at("/frame/sub")), "sub-file.sdac");
  ev("(frame2-ui::save_sd :overwrite (oli::sd-pathname-to-obj \"/frame/bolt\") :top_level_instance_files "
     ":yes "
     ":directory \"staged/\")");
  // The instance file and one per distinct contents: the shared part once.
  EXPECT_EQ(files_in(dir_ / "staged"),
            (std::vector<std::string>{"C-BOLT.sdpc", "C-FRAME.sdac", "I-FRAME.sda", "sub-file.sdac"}));

  ev("(elan::delete_3d :all_at_top)");
  ASSERT_TRUE(host::system::chdir((dir_ / "staged").string()));
  ev("(frame2-ui::load_sd \"I-FRAME.sda\")");
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), host::oli::get_contents(at("/frame/sub/b")));
  EXPECT_EQ(as_string(host::frame2::inquire_cluster_filename(host::oli::get_contents(at("/frame/sub")))),
            "sub-file.sdac");

  // Saving again overwrites; saving without :overwrite refuses.
  host::elan::assign_name(host::oli::get_contents(at("/frame/bolt")), "bolt-2");
  ev("(frame2-ui::save_sd :overwrite (oli::sd-pathname-to-obj \"/frame\") :top_level_instance_files :yes "
     ":directory \".\")");
  EXPECT_NE(failure("(frame2-ui::save_sd :object (oli::sd-pathname-to-obj \"/frame\") "
                    ":top_level_instance_files :yes :directory \".\")")
                .find("exists"),
            std::string::npos);
  ev("(elan::delete_3d :all_at_top)");
  host::frame2_ui::load_sd("I-FRAME.sda");
  EXPECT_EQ(as_string(host::elan::inquire_name(host::oli::get_contents(at("/frame/sub/b")))), "bolt-2");
}

TEST_F(ModelFiles, EveryComponentDataSurvivesSaveAndLoad) {
  write("all.pkg", R"((:sdsim-model 1)
(:contents :id "orig" :sysid "C-ORIG" :name "gear" :timestamp 1.5d0 :lav :original :lav-group "G1"
 :check-result (("Error:" ("face" "open face" 3))))
(:model :sysid "I-TOP" :name "top" :filename "top-file.sda"
 :contents (:sysid "C-TOP" :name "top" :symbolic-version "v2" :symbolic-name "lib" :library t :inseparable t
            :db-flags (:db t) :modifiable nil :features ("SFY_CTRL_FEAT" (:universal :vt-type "KEEP"))
            :children ((:name "g" :contents "orig" :simplification t :attributes (("pcb-id" :id 4)))
                       (:name "v" :contents (:sysid "C-VER" :name "gear" :lav :version :original "orig"
                                            :lav-group "G1" :check-error "Check aborted"))
                       (:name "cs" :type "coord_sys" :contents (:type "coord_sys_struct"))))))");
  host::frame2_ui::universal_load("all.pkg");
  ev("(frame2-ui::save_sd :overwrite (oli::sd-pathname-to-obj \"/top\") :top_level_instance_files :yes "
     ":directory \".\")");
  ev("(elan::delete_3d :all_at_top)");
  host::frame2_ui::load_sd("top-file.sda");

  ref top = host::oli::get_contents(at("/top"));
  EXPECT_EQ(prin1_to_string(host::frame2::sd_inq_cluster_symbolic_version(top)), "\"v2\"");
  EXPECT_EQ(prin1_to_string(host::frame2::sd_inq_cluster_symbolic_name(top)), "\"lib\"");
  EXPECT_TRUE(host::oli::sd_inq_obj_library_p(at("/top")));
  EXPECT_TRUE(host::oli::sd_inq_inseparable_master_p(at("/top")));
  EXPECT_FALSE(host::frame2::inquire_cluster_modifiable(top));
  EXPECT_EQ(prin1_to_string(host::frame2::sd_inq_db_flags(top)), "(:DB T)");
  EXPECT_TRUE(host::oli::sd_inq_simplification_owner_p(at("/top")));
  EXPECT_EQ(list_length(host::k2::search_universal_feature(host::elan::sel_item_item(at("/top")))), 1u);
  EXPECT_TRUE(host::elan::sfy_is_sfy_prcl(host::elan::sel_item_item(at("/top/g"))));
  EXPECT_EQ(prin1_to_string(host::oli::sd_inq_item_attribute(at("/top/g"), "pcb-id", ev(":instance"))),
            "(:ID 4)");
  EXPECT_TRUE(host::oli::sd_coord_sys_object_p(at("/top/cs")));
  ref version = host::oli::get_contents(at("/top/v"));
  EXPECT_TRUE(host::frame2::sd_inq_cluster_is_version(version));
  EXPECT_EQ(host::frame2::get_original_of_version(version), host::oli::get_contents(at("/top/g")));
  EXPECT_EQ(prin1_to_string(host::frame2::get_lav_group(version)), "\"G1\"");
  EXPECT_EQ(prin1_to_string(
                ev("(k2-ui::check_part :objects (oli::sd-pathname-to-obj \"/top/g\") :minimal_check :on "
                   ":labels :off :verbose :off :no_display_box :on :do_not_ask :on)")),
            "((\"Error:\" (\"face\" \"open face\" 3)))");
  EXPECT_NE(error_of("(k2-ui::check_part :objects (oli::sd-pathname-to-obj \"/top/v\"))"), "");
}

TEST_F(ModelFiles, ClashingOrForeignFileNamesAreRefusedBeforeWriting) {
  write("dup.pkg", R"((:sdsim-model 1)
(:model :sysid "I-D" :name "d" :contents (:sysid "C-D" :name "d"
   :children ((:name "a" :contents (:sysid "SAME" :name "first"))
              (:name "b" :contents (:sysid "SAME" :name "second"))))))");
  host::frame2_ui::universal_load("dup.pkg");
  fs::create_directories(dir_ / "out");
  std::string message = failure(
      "(frame2-ui::save_sd :overwrite (oli::sd-pathname-to-obj \"/d\") :top_level_instance_files :yes "
      ":directory \"out\")");
  EXPECT_NE(message.find("SAME.sdpc"), std::string::npos);
  EXPECT_TRUE(files_in(dir_ / "out").empty());
  // A file name must not lead out of the directory.
  host::frame2::set_cluster_sysids(host::oli::get_contents(at("/d/b")));
  host::frame2::set_cluster_filename(host::oli::get_contents(at("/d/a")), "../escape.sdpc");
  EXPECT_NE(
      failure(
          "(frame2-ui::save_sd :overwrite (oli::sd-pathname-to-obj \"/d\") :top_level_instance_files :yes "
          ":directory \"out\")")
          .find("no plain file name"),
      std::string::npos);
  EXPECT_TRUE(files_in(dir_ / "out").empty());
  EXPECT_FALSE(fs::exists(dir_ / "escape.sdpc"));
}

TEST_F(ModelFiles, EachLoaderTakesItsFilesAndFailuresNameTheFile) {
  write("plain", sim_test::frame_package);
  write("old.xmit", R"((:sdsim-me30 1) (:model :name "legacy" :contents (:name "legacy")))");
  write("frame.mi", sim_test::frame_package);
  write("broken.sd", "(:sdsim-model 1) (:model :name \"x\" :contents ");
  write("text.pkg", "just some text");
  write("unknown.sdp", "(:sdsim-model 1) (:model :name \"x\" :contents \"nowhere\")");

  host::frame2_ui::universal_load("plain");
  EXPECT_FALSE(is_nil(host::oli::sd_pathname_to_obj("/frame/sub/b")));
  EXPECT_NE(failure("(frame2-ui::universal_load :file \"old.xmit\")").find("old.xmit"), std::string::npos);
  EXPECT_NE(failure("(frame2-ui::universal_load :file \"frame.mi\")").find("\"mi\""), std::string::npos);
  EXPECT_NE(failure("(frame2-ui::universal_load :file \"plain-missing.pkg\")").find("does not exist"),
            std::string::npos);
  std::string cut = failure("(frame2-ui::universal_load :file \"broken.sd\")");
  EXPECT_NE(cut.find("broken.sd"), std::string::npos) << cut;
  EXPECT_NE(failure("(frame2-ui::universal_load :file \"text.pkg\")").find("no model file"),
            std::string::npos);
  EXPECT_NE(failure("(frame2-ui::load_sd \"unknown.sdp\")").find("\"nowhere\""), std::string::npos);
  EXPECT_NE(failure("(links-ui::load_me30 \"plain\")").find("ME30"), std::string::npos);
  ev("(links-ui::load_me30 \"old.xmit\")");
  EXPECT_FALSE(is_nil(host::oli::sd_pathname_to_obj("/legacy")));
  // Failed loads left nothing behind; a second load of a model renames it.
  host::frame2_ui::universal_load("plain");
  EXPECT_EQ(list_length(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item())), 3u);
  EXPECT_FALSE(is_nil(host::oli::sd_pathname_to_obj("/frame_2/bolt_2")));
}

TEST_F(ModelFiles, InjectedFailureAndWarnings) {
  write("fails.pkg", R"((:sdsim-model 1)
(:warn "Unknown font 'log' replaced" :default :yes)
(:model :name "never" :contents (:name "never"))
(:fail "Cannot open the file: data block 7 is damaged"))");
  std::ostringstream out;
  std::ostream& previous = standard_output();
  set_standard_output(out);
  std::string message = failure("(frame2-ui::universal_load :file \"fails.pkg\")");
  set_standard_output(previous);
  EXPECT_EQ(message, "Cannot open the file: data block 7 is damaged");
  // Unanswered, the warning printed and took its default.
  EXPECT_EQ(out.str(), "Warning: Unknown font 'log' replaced\n");
  EXPECT_TRUE(is_nil(host::oli::sd_pathname_to_obj("/never")));

  // A replaced warning function sees every warning and prints nothing.
  write("warns.pkg", R"((:sdsim-model 1)
(:warn "first drawing warning" :default :no)
(:warn "second")
(:model :name "kept" :contents (:name "kept")))");
  symbol& warning = intern("SD-DISPLAY-WARNING", require_package("OLI"));
  ref saved = warning.function;
  std::vector<std::string> seen;
  warning.function = make_native_function("INTERCEPTOR", [&](args_t a) {
    seen.push_back(prin1_to_string(list_from(std::vector<ref>(a.begin(), a.end()))));
    return ref(&keyword("YES"));
  });
  std::ostringstream quiet;
  set_standard_output(quiet);
  host::frame2_ui::universal_load("warns.pkg");
  set_standard_output(previous);
  warning.function = saved;
  EXPECT_EQ(seen, (std::vector<std::string>{"(\"first drawing warning\" :DEFAULT :NO)", "(\"second\")"}));
  EXPECT_EQ(quiet.str(), "");
  EXPECT_FALSE(is_nil(host::oli::sd_pathname_to_obj("/kept")));
  EXPECT_EQ(host::oli::sd_display_warning("asked", ev(":no")), ev(":no"));
}

TEST_F(ModelFiles, FileServices) {
  write("a.txt", "text");
  std::string cwd = as_string(host::frame2::current_working_directory());
  EXPECT_EQ(cwd, fs::current_path().string() + "/");
  ev("(frame2::copy-file \"a.txt\" \"b.txt\")");
  EXPECT_TRUE(fs::exists(dir_ / "b.txt"));
  EXPECT_NE(failure("(frame2::copy-file \"missing.txt\" \"c.txt\")").find("missing.txt"), std::string::npos);
  std::string u1 = as_string(host::frame2::inquire_unique_filename("")),
              u2 = as_string(host::frame2::inquire_unique_filename(""));
  EXPECT_NE(u1, u2);
  EXPECT_EQ(as_string(host::frame2::inquire_unique_filename("dwg-")).rfind("dwg-", 0), 0u);
  EXPECT_TRUE(is_nil(ev("(system::chdir \"no such dir\")")));
  EXPECT_EQ(as_string(host::frame2::current_working_directory()), cwd);
  EXPECT_NE(failure("(frame2-ui::sd-set-current-working-directory \"no such dir\")").find("no such dir"),
            std::string::npos);
  fs::create_directories(dir_ / "sub dir");
  ev("(frame2-ui::sd-set-current-working-directory \"sub dir\")");
  EXPECT_EQ(as_string(host::frame2::current_working_directory()), (dir_ / "sub dir").string() + "/");
}

}  // namespace
