// How the models in session are prepared for staging before their
// components are resolved: versions, simplifications, printed circuit
// boards, database and library attributes, layouts.
#include "checkin/component_map.h"

#include <gtest/gtest.h>

#include "host/features.h"
#include "host/lisp/printer.h"
#include "resolver_fixture.h"

namespace {

using namespace vtm::records;
namespace hl = host::lisp;
using strings = std::vector<std::string>;
using keywords = std::vector<vtm::core::keyword_name>;

class ComponentMap : public checkin_test::resolver_fixture {
 protected:
  hl::ref attribute(const std::string& pathname, const std::string& name) {
    return host::oli::sd_inq_item_attribute(to_sel_item(at(pathname)), name,
                                            hl::ref(&hl::keyword("CONTENTS")));
  }
  bool inseparable(const std::string& pathname) {
    return host::oli::sd_inq_inseparable_p(to_sel_item(at(pathname)));
  }
  // Where the changes with that reason were made (a change of a key changed
  // before lists the earlier locations first).
  strings changed(const std::string& reason) {
    strings out;
    for (const change_info& c : changes(reason)) out.push_back(c.locations.back());
    return out;
  }
  strings children(const std::string& pathname) {
    strings out;
    for (const model_path& child : session.obj_children(at(pathname)))
      out.push_back(session.obj_pathname(child));
    return out;
  }
};

constexpr std::string_view gearbox_file = R"((:sdsim-model 1)
(:contents :id "gear" :sysid "C-GEAR" :name "gear" :timestamp 3.6d9 :lav :original :lav-group "G1")
(:model :sysid "I-GEARBOX" :name "gearbox"
 :contents (:sysid "C-GEARBOX" :name "gearbox" :timestamp 3.7d9
            :children ((:name "gear" :contents "gear")
                       (:name "gear-v" :contents (:sysid "C-GEAR" :name "gear" :timestamp 3.6d9
                                                  :lav :version :original "gear" :lav-group "G1"))
                       (:name "gear-new" :contents (:sysid "C-GEAR" :name "gear" :timestamp 3.65d9
                                                    :lav :version :original "gear" :lav-group "G1")))))
)";

TEST_F(ComponentMap, AVersionIsReplacedByItsOriginalOrBecomesAnOriginal) {
  // The original, the renamed version, the gearbox and its instance.
  EXPECT_EQ(resolve_model("gearbox.bdl", gearbox_file), 4u);

  const hl::ref original = contents_at("/gearbox/gear");
  EXPECT_EQ(contents_at("/gearbox/gear-v"), original);
  EXPECT_FALSE(session.cluster_is_version(original));
  EXPECT_EQ(sysid_at("/gearbox/gear"), "C-GEAR");
  const std::string newer = sysid_at("/gearbox/gear-new");
  EXPECT_NE(newer, "C-GEAR");
  EXPECT_FALSE(session.cluster_is_version(contents_at("/gearbox/gear-new")));

  const auto replaced = changes("VERSION<-ORIGINAL");
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(replaced[0].locations, strings{"gearbox.bdl/gearbox/gear-v"});
  EXPECT_EQ(sysid_after(replaced[0]), "C-GEAR");
  const auto made_original = changes("VERSION->ORIGINAL");
  ASSERT_EQ(made_original.size(), 1u);
  EXPECT_EQ(made_original[0].locations, strings{"gearbox.bdl/gearbox/gear-new"});
  EXPECT_EQ(std::get<cluster_composite_key>(made_original[0].key_before).timestamp, 3.65e9);
  EXPECT_EQ(sysid_after(made_original[0]), newer);
  // Neither is a conflict any more, and the original lists both its uses.
  EXPECT_TRUE(changes("SYSID-CONFLICT").empty());
  EXPECT_EQ(map_locations_to_pathnames(staged_contents("C-GEAR")->shares, session),
            (strings{"gearbox.bdl/gearbox/gear-v", "gearbox.bdl/gearbox/gear"}));
  EXPECT_EQ(staged_contents(newer)->metakey->timestamp, 3.65e9);

  // A rerun makes the same version the same original again.
  close_run();
  open_run();
  resolve_model("gearbox.bdl", gearbox_file);
  EXPECT_EQ(sysid_at("/gearbox/gear-new"), newer);
  EXPECT_TRUE(changes("SYSID-CONFLICT").empty()) << "the model staged from this file before is the same";
}

TEST_F(ComponentMap, AnOriginalMetFirstThroughItsVersionIsPreparedAsWell) {
  resolve_model("drive.pkg", R"((:sdsim-model 1)
(:contents :id "gear" :sysid "C-GEAR" :name "gear" :timestamp 3.6d9 :lav :original :lav-group "G1"
 :db-flags (:stored t) :attributes (("DB-PREF" :elid 4711)))
(:model :sysid "I-DRIVE" :name "drive"
 :contents (:sysid "C-DRIVE" :name "drive" :timestamp 3.7d9
            :children ((:name "gear-v" :contents (:sysid "C-GEAR" :name "gear" :timestamp 3.6d9
                                                  :lav :version :original "gear" :lav-group "G1"))
                       (:name "gear" :contents "gear"))))
)");
  const hl::ref original = contents_at("/drive/gear");
  EXPECT_EQ(contents_at("/drive/gear-v"), original);
  EXPECT_TRUE(hl::is_nil(host::frame2::sd_inq_db_flags(original)));
  EXPECT_TRUE(hl::is_nil(attribute("/drive/gear", "DB-PREF")));
  EXPECT_EQ(map_locations_to_pathnames(staged_contents("C-GEAR")->shares, session),
            (strings{"drive.pkg/drive/gear", "drive.pkg/drive/gear-v"}));
}

// A simplified motor (control feature and attribute), a fan with the
// attribute only, an inseparable grill with the attribute, and boards with
// and without coordinate systems, one of them inseparable already.
constexpr std::string_view device_file = R"((:sdsim-model 1)
(:model :sysid "I-DEV" :name "device"
 :contents (:sysid "C-DEV" :name "device" :timestamp 1.0d9
  :children ((:name "motor" :sysid "I-MOTOR" :simplification t
              :contents (:sysid "C-MOTOR" :name "motor" :timestamp 1.0d9 :features ("SFY_CTRL_FEAT" "HOLE")))
             (:name "fan" :sysid "I-FAN" :simplification t :contents (:sysid "C-FAN" :name "fan"))
             (:name "grill" :sysid "I-GRILL" :simplification t
              :contents (:sysid "C-GRILL" :name "grill" :inseparable t))
             (:name "board" :contents (:sysid "C-BOARD" :name "board" :attributes (("pcb-id" :id 17))
               :children ((:name "origin" :type "coord_sys" :contents (:type "coord_sys_struct"))
                          (:name "chip" :contents (:sysid "C-CHIP" :name "chip"
                            :children ((:name "pin1" :type "coord_sys" :contents (:type "coord_sys_struct"))
                                       (:name "die" :contents (:sysid "C-DIE" :name "die"))))))))
             (:name "plain" :contents (:sysid "C-PLAIN" :name "plain board" :attributes (("pcb-id" :id 18))))
             (:name "sealed" :contents (:sysid "C-SEALED" :name "sealed board" :inseparable t
               :attributes (("pcb-id" :id 19))
               :children ((:name "o" :type "coord_sys" :contents (:type "coord_sys_struct"))))))))
)";

TEST_F(ComponentMap, SimplificationsAndBoardsAreMadeInseparable) {
  resolve_model("device.pkg", device_file);

  // The motor loses its control feature and attribute, the fan its
  // attribute; both become inseparable masters.
  const strings features = [&] {
    strings out;
    for (const hl::ref& f :
         hl::list_to_vector(host::elan::search_features_by_component(contents_at("/device/motor"))))
      out.push_back(hl::as_string(host::dsm::entity_name(f)));
    return out;
  }();
  EXPECT_EQ(features, strings{"HOLE"});
  for (const char* p : {"/device/motor", "/device/fan", "/device/grill"}) {
    EXPECT_FALSE(host::elan::sfy_is_sfy_prcl(at(p).item.value)) << p;
    EXPECT_TRUE(inseparable(p)) << p;
  }
  EXPECT_EQ(changed("SIMPLIFICATION->INSEPARABLE"),
            (strings{"device.pkg/device/motor", "device.pkg/device/fan"}));
  EXPECT_EQ(staged_contents("C-MOTOR")->tags, keywords{{"INSEPARABLE-MASTER"}});
  EXPECT_EQ(staged_contents("C-FAN")->tags, keywords{{"INSEPARABLE-MASTER"}});

  // Boards lose their coordinate systems at any depth; the scan goes on
  // below a board, whose children are now inseparable children.
  EXPECT_TRUE(hl::is_nil(attribute("/device/board", "pcb-id")));
  EXPECT_EQ(children("/device/board"), strings{"/device/board/chip"});
  EXPECT_EQ(children("/device/board/chip"), strings{"/device/board/chip/die"});
  EXPECT_EQ(children("/device/sealed"), strings{});
  EXPECT_TRUE(host::frame2::inquire_cluster_modified(contents_at("/device/board")));
  EXPECT_EQ(changed("DESTROY-PCB-COORDINATE-SYSTEM"),
            (strings{"device.pkg/device/board", "device.pkg/device/sealed"}));
  EXPECT_EQ(changed("PCB->INSEPARABLE"), (strings{"device.pkg/device/board", "device.pkg/device/plain"}));
  EXPECT_TRUE(inseparable("/device/plain"));
  ASSERT_TRUE(staged_contents("C-DIE"));
  EXPECT_EQ(staged_contents("C-DIE")->tags, keywords{{"INSEPARABLE-CHILD"}});
  EXPECT_EQ(map_entities_to_sysids(staged_contents("C-DIE")->parent_sysids, session), strings{"C-CHIP"});
  EXPECT_EQ(staged().size(), 10u);
}

constexpr std::string_view library_file = R"((:sdsim-model 1)
(:contents :id "washer" :sysid "C-WASHER" :name "washer 8" :timestamp 3.5d9 :library t
 :symbolic-name "DIN125-8"
 :attributes (("DB-PUPD" :state 1) ("DB-PREF" :elid 4711) ("SOLLIB-INFO" :lib "din") ("DEFAULTATTR" :a 1)
              ("PARTsolutions-attribute" :id "125") ("PARTsolutions-Negative" :id "0") ("COLOR" :red 1)))
(:contents :id "rail" :sysid "C-RAIL" :name "rail" :timestamp 3.91d9)
(:model :sysid "I-BOX" :name "box"
 :contents (:sysid "C-BOX" :name "box" :timestamp 3.9d9 :db-flags (:stored t) :modifiable nil
            :attributes (("DB-GREF" :elid 12) ("DB-DREF" :elid 13) ("SOLLIB-INFO" :lib "kept"))
            :children ((:name "washer" :contents "washer")
                       (:name "rail" :contents "rail")
                       (:name "side" :sysid "I-SIDE"
                        :contents (:sysid "C-SIDE" :name "side"
                                   :children ((:name "plan" :type "layout" :contents (:type "layout_struct")
                                               :master "rail")))))))
)";

TEST_F(ComponentMap, ComponentsLoseWhatTiesThemToADatabaseOrLibrary) {
  resolve_model("box.pkg", library_file);

  const hl::ref box = contents_at("/box");
  EXPECT_TRUE(hl::is_nil(host::frame2::sd_inq_db_flags(box)));
  EXPECT_TRUE(host::frame2::inquire_cluster_modifiable(box));
  EXPECT_TRUE(hl::is_nil(attribute("/box", "DB-DREF")));
  // A part that is no library part keeps its library attributes; the global
  // reference stays and is recorded.
  EXPECT_FALSE(hl::is_nil(attribute("/box", "SOLLIB-INFO")));
  EXPECT_EQ(hl::prin1_to_string(staged_contents("C-BOX")->db_gref.value), "(:ELID 12)");

  for (const char* name : {"DB-PUPD", "DB-PREF", "SOLLIB-INFO", "DEFAULTATTR", "PARTsolutions-attribute",
                           "PARTsolutions-Negative"})
    EXPECT_TRUE(hl::is_nil(attribute("/box/washer", name))) << name;
  EXPECT_FALSE(hl::is_nil(attribute("/box/washer", "COLOR")));
  EXPECT_FALSE(session.symbolic_name(contents_at("/box/washer")));
  EXPECT_EQ(staged_contents("C-WASHER")->metakey->symbolic_name, std::nullopt);
  // The symbolic name is gone before the key is taken: no change is logged.
  EXPECT_TRUE(logger->change_records_log().empty());

  // The layout in side shows rail: side owns it.
  EXPECT_EQ(map_entities_to_sysids(staged_contents("C-RAIL")->layout_owner_sysids, session),
            strings{"I-SIDE"});
  EXPECT_TRUE(staged_contents("C-SIDE")->child_sysids.empty()) << "a layout is no filing child";
}

}  // namespace
