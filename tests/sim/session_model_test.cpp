// The session's model: identity, names, paths, attributes, flags,
// substitution, deletion and features, through the host's Lisp functions.
#include <new>
#include <set>

#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/entity.h"
#include "host/features.h"
#include "host/files.h"
#include "host/lisp/packages.h"
#include "session_fixture.h"

namespace {

using namespace host::lisp;
using sim_test::error_of;
using sim_test::ev;

class SessionModel : public sim_test::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    write("frame.pkg", sim_test::frame_package);
    host::frame2_ui::universal_load("frame.pkg");
  }
  std::string text(std::string_view form) { return as_string(ev(form)); }
};

TEST_F(SessionModel, FreshSysidsAreUniqueAndNeverThoseOfTheSession) {
  std::set<std::string> seen{"C-BOLT", "C-SUB", "C-FRAME", "I-FRAME", "I-B1", "I-B2"};
  ref bolt = host::oli::get_contents(at("/frame/bolt"));
  for (int i = 0; i < 200; ++i) {
    std::string s = as_string(host::frame2::set_cluster_sysids(bolt));
    EXPECT_TRUE(seen.insert(s).second) << s;
    EXPECT_EQ(as_string(host::frame2::inq_entity_sysid(bolt)), s);
  }
  // Every position that shares the contents sees the new sysid.
  EXPECT_EQ(as_string(host::frame2::inq_entity_sysid(host::oli::get_contents(at("/frame/sub/b")))),
            as_string(host::frame2::inq_entity_sysid(bolt)));
  EXPECT_TRUE(is_nil(host::frame2::inq_entity_sysid(make_string("C-BOLT"))));
}

TEST_F(SessionModel, SysidLookupSeesIdsWrittenTheWayTheModuleWritesThem) {
  EXPECT_EQ(list_length(ev("(sdsim:entities-with-sysid \"C-BOLT\")")), 1u);
  ref bolt = host::oli::get_contents(at("/frame/bolt"));
  // SET-ENTITY-SYSID announces the change and then writes the public id in place.
  SIMPLE_ENTITY* e = object_to_ENTITY_ptr(entity_struct_def, bolt.get(), nullptr);
  e->log_change(1);
  ENTITYID id(0, 0);
  ENTITYID::create_sysid(&id, L"C-NEW");
  new (e->public_id_storage()) ENTITYID_PUB(id);
  EXPECT_TRUE(is_nil(ev("(sdsim:entities-with-sysid \"C-BOLT\")")));
  ref found = ev("(sdsim:entities-with-sysid \"C-NEW\")");
  ASSERT_EQ(list_length(found), 1u);
  EXPECT_EQ(car(found), bolt);
  EXPECT_TRUE(host::frame2::inquire_cluster_modified(bolt));
  // Entities that left the session are not found.
  host::elan::delete_3d(at("/frame"));
  EXPECT_TRUE(is_nil(ev("(sdsim:entities-with-sysid \"C-NEW\")")));
}

TEST_F(SessionModel, HandlesOfOneEntityAreEqAndSharedContentsIsOne) {
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), host::oli::get_contents(at("/frame/bolt_2")));
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), host::oli::get_contents(at("/frame/sub/b")));
  EXPECT_EQ(host::elan::sel_item_item(at("/frame")), host::elan::sel_item_item(at("/frame")));
  EXPECT_NE(host::elan::sel_item_item(at("/frame/bolt")), host::elan::sel_item_item(at("/frame/bolt_2")));
  EXPECT_EQ(as_integer(ev("(elan::sel_item-type (oli::sd-pathname-to-obj \"/frame/bolt\"))")),
            host::elan::s_part);
  EXPECT_EQ(as_integer(ev("(elan::sel_item-type (oli::sd-pathname-to-obj \"/frame\"))")),
            host::elan::s_assembly);
}

TEST_F(SessionModel, PathsParentsChildrenAndPathNames) {
  ref root = host::elan_ui::get_root_sel_item();
  EXPECT_TRUE(is_nil(host::elan::sel_item_path(root)));
  EXPECT_EQ(as_string(host::oli::sd_inq_obj_pathname(root)), "/");
  ref top = host::oli::sd_inq_obj_children(root);
  ASSERT_EQ(list_length(top), 1u);
  EXPECT_TRUE(is_nil(host::oli::sd_inq_parent_obj(car(top))));
  std::vector<std::string> names;
  for (const ref& child : list_to_vector(host::oli::sd_inq_obj_children(car(top))))
    names.push_back(as_string(host::oli::sd_inq_obj_pathname(child)));
  EXPECT_EQ(names, (std::vector<std::string>{"/frame/bolt", "/frame/bolt_2", "/frame/sub"}));
  ref deep = at("/frame/sub/b");
  EXPECT_EQ(list_length(host::elan::sel_item_path(deep)), 3u);
  EXPECT_EQ(as_string(host::oli::sd_inq_obj_pathname(host::oli::sd_inq_parent_obj(deep))), "/frame/sub");
  EXPECT_TRUE(is_nil(host::oli::sd_pathname_to_obj("/frame/nothing")));
  EXPECT_TRUE(is_nil(host::oli::sd_pathname_to_obj("frame")));
  // An instance handle stands for its position.
  EXPECT_EQ(
      text("(oli::sd-inq-obj-pathname (elan::sel_item-item (oli::sd-pathname-to-obj \"/frame/sub/b\")))"),
      "/frame/sub/b");
}

TEST_F(SessionModel, NamesOfInstancesAreUniqueAmongSiblingsNotThoseOfContents) {
  ref bolt2 = at("/frame/bolt_2");
  EXPECT_NE(
      error_of(
          "(elan::assign_name (elan::sel_item-item (oli::sd-pathname-to-obj \"/frame/bolt_2\")) \"bolt\")")
          .find("already used"),
      std::string::npos);
  ref error = host::oli::sd_inq_error_obj();
  EXPECT_EQ(host::frame2::read_error_object(error, ev(":module")), ev(":elan"));
  EXPECT_EQ(as_string(host::elan::inquire_name(host::elan::sel_item_item(bolt2))), "bolt_2");
  // Contents names may repeat: that is what stage 2 resolves.
  host::elan::assign_name(host::oli::get_contents(at("/frame/sub")), "bolt");
  EXPECT_EQ(text("(elan::inquire_name (oli::get-contents (oli::sd-pathname-to-obj \"/frame/sub\")))"),
            "bolt");
  host::elan::assign_name(host::elan::sel_item_item(bolt2), "second");
  EXPECT_FALSE(is_nil(host::oli::sd_pathname_to_obj("/frame/second")));
}

TEST_F(SessionModel, AttributesByAttachment) {
  ref frame = at("/frame");
  EXPECT_EQ(prin1_to_string(ev("(oli::sd-inq-item-attribute (oli::sd-pathname-to-obj \"/frame\") \"DB-GREF\" "
                               ":values :attachment :contents)")),
            "(:ELID 12)");
  EXPECT_TRUE(is_nil(host::oli::sd_inq_item_attribute(frame, "DB-GREF", ev(":instance"))));
  host::oli::sd_attach_item_attribute(frame, "pcb-id", ev("'(:id 3)"), ev(":instance"));
  EXPECT_EQ(
      prin1_to_string(host::oli::sd_inq_item_attribute(host::elan::sel_item_item(frame), "pcb-id", nil())),
      "(:ID 3)");
  EXPECT_TRUE(host::oli::sd_detach_item_attribute(frame, "DB-GREF", ev(":contents"), false));
  EXPECT_FALSE(host::oli::sd_detach_item_attribute(frame, "DB-GREF", ev(":contents"), false));
  EXPECT_TRUE(
      is_nil(ev("(oli::sd-detach-item-attribute (oli::sd-pathname-to-obj \"/frame\") \"DB-PREF\" "
                ":attachment :contents :set-modified nil :check-read-only nil)")));
}

TEST_F(SessionModel, RealClustersKindsAndTypeNames) {
  ref frame = at("/frame"), bolt = at("/frame/bolt");
  EXPECT_TRUE(host::frame2::real_cluster_p(host::elan::sel_item_item(frame)));  // top-level instance
  EXPECT_FALSE(host::frame2::real_cluster_p(host::elan::sel_item_item(bolt)));  // inner instance
  EXPECT_TRUE(host::frame2::real_cluster_p(host::oli::get_contents(bolt)));     // part_struct
  EXPECT_TRUE(host::elan::nparcel_p(host::elan::sel_item_item(bolt)));
  EXPECT_FALSE(host::elan::nparcel_p(host::oli::get_contents(bolt)));
  EXPECT_EQ(text("(dsm::entity-name (oli::get-contents (oli::sd-pathname-to-obj \"/frame\")))"),
            "asbm_struct");
  EXPECT_EQ(text("(dsm::entity-name (oli::get-instance (oli::sd-pathname-to-obj \"/frame/sub\")))"),
            "nasmb3");
  EXPECT_EQ(
      as_number(ev("(frame2::inquire-cluster-modification-time (oli::get-contents (oli::sd-pathname-to-obj "
                   "\"/frame/bolt\")))")),
      3.9e9);
}

TEST_F(SessionModel, InseparableMastersAndChildren) {
  ref sub = at("/frame/sub");
  EXPECT_FALSE(host::oli::sd_inq_inseparable_p(sub));
  host::oli::sd_set_inseparable(sub, true);
  EXPECT_TRUE(host::oli::sd_inq_inseparable_master_p(sub));
  EXPECT_FALSE(host::oli::sd_inq_inseparable_child_p(sub));
  ref b = at("/frame/sub/b");
  EXPECT_TRUE(host::oli::sd_inq_inseparable_child_p(b));
  EXPECT_TRUE(host::oli::sd_inq_inseparable_p(b));
  EXPECT_FALSE(host::oli::sd_inq_inseparable_master_p(b));
  // The same part elsewhere is not part of the unit.
  EXPECT_FALSE(host::oli::sd_inq_inseparable_p(at("/frame/bolt")));
}

TEST_F(SessionModel, SubstitutionReplacesTheUsesAskedForAndRefusesCycles) {
  ref frame_contents = host::oli::get_contents(at("/frame"));
  ref sub_contents = host::oli::get_contents(at("/frame/sub"));
  ref bolt_contents = host::oli::get_contents(at("/frame/bolt"));
  host::system::reset_lisp_error_active();
  // A part replaced by the assembly that holds it would contain itself.
  EXPECT_FALSE(host::elan::substitute_contents(at("/frame/sub/b"), sub_contents, false, true));
  EXPECT_TRUE(host::system::reset_lisp_error_active());
  EXPECT_NE(as_string(host::frame2::read_error_object(host::oli::sd_inq_error_obj(), ev(":error-mesg")))
                .find("contain itself"),
            std::string::npos);
  EXPECT_FALSE(host::elan::substitute_contents(at("/frame/bolt"), frame_contents, false, true));
  EXPECT_EQ(host::oli::get_contents(at("/frame/sub/b")), bolt_contents);
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), bolt_contents);

  // One use only.
  ASSERT_TRUE(
      truthy(ev("(elan::substitute_contents (oli::sd-pathname-to-obj \"/frame/bolt\") "
                "(oli::get-contents (oli::sd-pathname-to-obj \"/frame/sub\")) :substitute-all nil "
                ":set_modified t)")));
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), sub_contents);
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt_2")), bolt_contents);
  EXPECT_TRUE(host::frame2::inquire_cluster_modified(frame_contents));

  // Every use, also inside the sub-assembly.
  write("washer.pkg", R"((:sdsim-model 1) (:model :name "w" :contents (:sysid "C-WASHER" :name "washer")))");
  host::frame2_ui::universal_load("washer.pkg");
  ref washer = host::oli::get_contents(at("/w"));
  EXPECT_TRUE(host::elan::substitute_contents(at("/frame/bolt_2"), washer, true, false));
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt_2")), washer);
  EXPECT_EQ(host::oli::get_contents(at("/frame/sub/b")), washer);
  EXPECT_EQ(host::oli::get_contents(at("/frame/bolt")), sub_contents);
  EXPECT_TRUE(host::frame2::check_for_cyclic_cluster_structure(frame_contents));
}

TEST_F(SessionModel, LayoutsShowTheReplacementAfterReconnect) {
  write("layout.pkg", R"((:sdsim-model 1)
(:contents :id "plate" :sysid "C-PLATE" :name "plate")
(:model :name "site" :contents (:name "site"
   :children ((:name "plate" :contents "plate")
              (:name "plan" :type "layout" :contents (:type "layout_struct") :master "plate")))))");
  host::frame2_ui::universal_load("layout.pkg");
  ref plan = host::elan::sel_item_item(at("/site/plan"));
  ref plate = host::oli::get_contents(at("/site/plate"));
  EXPECT_EQ(host::frame2::global_master(plan), plate);
  EXPECT_TRUE(is_nil(host::frame2::global_master(host::elan::sel_item_item(at("/site/plate")))));
  ref bolt = host::oli::get_contents(at("/frame/bolt"));
  ASSERT_TRUE(host::elan::substitute_contents(at("/site/plate"), bolt, true, true));
  EXPECT_EQ(host::frame2::global_master(plan), plate);
  host::frame2::finalize_reconnect_after_replace(bolt);
  EXPECT_EQ(host::frame2::global_master(plan), bolt);
}

TEST_F(SessionModel, DeleteTakesPathsAndPassesOverThoseGone) {
  ref b1 = at("/frame/bolt"), sub = at("/frame/sub");
  host::elan::delete_3d(list({b1, sub}));
  EXPECT_TRUE(is_nil(host::oli::sd_pathname_to_obj("/frame/bolt")));
  EXPECT_TRUE(is_nil(host::oli::sd_pathname_to_obj("/frame/sub/b")));
  EXPECT_FALSE(is_nil(host::oli::sd_pathname_to_obj("/frame/bolt_2")));
  EXPECT_NO_THROW(host::elan::delete_3d(list({b1, sub})));
  // A deleted instance answers from the state it left the session in.
  EXPECT_EQ(as_string(host::elan::inquire_name(host::elan::sel_item_item(b1))), "bolt");
  ev("(elan::delete_3d :all_at_top)");
  EXPECT_TRUE(is_nil(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item())));
}

TEST_F(SessionModel, UniversalFeatureMembersFollowTheModel) {
  ref top = host::elan::sel_item_item(at("/frame"));
  ref bolt = host::oli::get_contents(at("/frame/bolt"));
  ref feature =
      ev("(k2::make-thin-universal-feature-instance (elan::sel_item-item (oli::sd-pathname-to-obj "
         "\"/frame\")) :filing :none :vt-model-name \"bolt\" :vt-type \"SHARES\")");
  EXPECT_EQ(prin1_to_string(host::k2::universal_feature_properties(feature)),
            "(:FILING :NONE :VT-MODEL-NAME \"bolt\" :VT-TYPE \"SHARES\")");
  ref feature_path = host::elan::make_sel_item(list({top}), host::elan::s_feature, feature);
  for (const char* share : {"/frame/bolt", "/frame/sub/b"})
    host::elan::add_thin_universal_feature_entities(feature, list({bolt}),
                                                    host::elan::sel_item_path(at(share)));
  EXPECT_EQ(list_length(host::elan::get_feature_sel_items(feature_path, true)), 2u);
  EXPECT_EQ(list_length(host::k2::search_universal_feature(top)), 1u);
  // The share inside sub goes when sub is deleted.
  host::elan::delete_3d(at("/frame/sub"));
  ref left = host::elan::get_feature_sel_items(feature_path, true);
  ASSERT_EQ(list_length(left), 1u);
  EXPECT_EQ(as_string(host::oli::sd_inq_obj_pathname(car(left))), "/frame/bolt");
  // And the other when its contents is replaced.
  write("nut.pkg", R"((:sdsim-model 1) (:model :name "n" :contents (:name "nut")))");
  host::frame2_ui::universal_load("nut.pkg");
  host::elan::substitute_contents(at("/frame/bolt"), host::oli::get_contents(at("/n")), false, false);
  EXPECT_TRUE(is_nil(host::elan::get_feature_sel_items(feature_path, true)));
  host::dsm::destroy(feature);
  EXPECT_TRUE(is_nil(host::k2::search_universal_feature(top)));
}

// What the conflict resolver does to a component before it stages it.
TEST_F(SessionModel, CleaningAComponentForStaging) {
  write("legacy.pkg", R"((:sdsim-model 1)
(:contents :id "o" :sysid "G-1" :name "gear" :timestamp 2.0d0 :lav :original :lav-group "G")
(:model :name "drive" :contents (:name "drive" :children (
  (:name "lib" :contents (:sysid "L-1" :name "washer" :library t :symbolic-name "DIN125" :modifiable nil
                          :db-flags (:stored t) :attributes (("DB-PUPD" :s 1) ("DB-PREF" :r 2))))
  (:name "v" :contents (:sysid "G-1" :name "gear" :timestamp 2.0d0 :lav :version :original "o" :lav-group "G"))
  (:name "o" :contents "o")
  (:name "s" :simplification t :contents (:name "motor" :features ("SFY_CTRL_FEAT" "HOLE")))))))");
  host::frame2_ui::universal_load("legacy.pkg");
  ref lib = at("/drive/lib");
  ref washer = host::oli::get_contents(lib);
  host::frame2::sd_detach_db_flags(washer);
  host::frame2::set_cluster_modifiable(washer, true);
  EXPECT_TRUE(host::oli::sd_detach_item_attribute(lib, "DB-PREF", ev(":contents"), false));
  EXPECT_TRUE(host::oli::sd_inq_obj_library_p(lib));
  host::frame2::sd_set_cluster_symbolic_name(washer, "");
  EXPECT_TRUE(is_nil(host::frame2::sd_inq_db_flags(washer)));
  EXPECT_TRUE(host::frame2::inquire_cluster_modifiable(washer));
  EXPECT_TRUE(is_nil(host::frame2::sd_inq_cluster_symbolic_name(washer)));
  EXPECT_FALSE(is_nil(host::oli::sd_inq_item_attribute(lib, "DB-PUPD", ev(":contents"))));

  // A version next to its original in one group; made an original, it has none.
  ref version = host::oli::get_contents(at("/drive/v"));
  ref original = host::oli::get_contents(at("/drive/o"));
  EXPECT_EQ(host::frame2::get_original_of_version(version), original);
  EXPECT_TRUE(host::lisp::equal(host::frame2::get_lav_group(version), host::frame2::get_lav_group(original)));
  EXPECT_FALSE(host::frame2::sd_inq_cluster_is_version(original));
  host::frame2::lav_make_version(original);
  host::frame2::lav_make_original(version);
  EXPECT_TRUE(host::frame2::sd_inq_cluster_is_version(original));
  EXPECT_FALSE(host::frame2::sd_inq_cluster_is_version(version));
  EXPECT_TRUE(is_nil(host::frame2::get_original_of_version(version)));

  // A simplification: its control feature goes, its attribute too.
  ref simple = at("/drive/s");
  ref instance = host::elan::convert_parcel(simple);
  EXPECT_EQ(instance, host::elan::sel_item_item(simple));
  EXPECT_EQ(host::elan::convert_entity(simple), instance);
  EXPECT_TRUE(host::oli::sd_inq_simplification_owner_p(simple));
  EXPECT_TRUE(host::elan::sfy_is_sfy_prcl(instance));
  for (const ref& f : list_to_vector(ev("(elan::search-features-by-component :component "
                                        "(oli::sd-pathname-to-obj \"/drive/s\"))")))
    if (as_string(host::dsm::entity_name(f)) == "SFY_CTRL_FEAT") host::dsm::destroy(f);
  host::elan::sfy_detach_sfy_att(instance);
  EXPECT_FALSE(host::oli::sd_inq_simplification_owner_p(simple));
  EXPECT_FALSE(host::elan::sfy_is_sfy_prcl(instance));
  ref left = host::elan::search_features_by_component(simple);
  ASSERT_EQ(list_length(left), 1u);
  EXPECT_EQ(as_string(host::dsm::entity_name(car(left))), "HOLE");
  host::frame2::set_cluster_modified(host::oli::get_contents(simple), false);
  EXPECT_FALSE(host::frame2::inquire_cluster_modified(host::oli::get_contents(simple)));
}

}  // namespace
