#include "analytics/staging_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "analytics/file_outcome.h"
#include "analytics/staging_fixture.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/xml.h"

namespace {

using namespace analytics_test;
namespace oli = host::oli;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The report's text and its tree, read back through the XML service.
class StagingReport : public Analytics {
 protected:
  void cad_file(const std::string& name, std::vector<std::pair<std::string, record_path>> models = {},
                hl::ref status = hl::ref(&hl::keyword("OK")), cad_load_method method = cad_load_method::sd,
                cad_file_state state = cad_file_state::complete) {
    cad_fileinfo f;
    f.path = dir_ / "input" / "batch1" / name;
    f.models_3d = std::move(models);
    f.state = state;
    f.load_method = method;
    f.error_status = {status};
    write(toc_file, vtm::core::to_lisp(f));
  }

  hl::ref report() {
    component_records components = make_component_records(dir_);
    ami_drawing_records drawings = make_ami_drawing_records(dir_);
    change_records changes = make_change_records(dir_);
    cad_file_records files = make_cad_file_records(dir_);
    migration_analytics a = make_migration_analytics(dir_, drawings, components, changes);
    const std::string file =
        make_staging_report(dir_ / "input" / "batch1" / "", dir_, files, drawings, components, changes, a);
    EXPECT_EQ(file, (dir_ / "report.htm").string());
    hl::ref doc = oli::sd_xml_read_file(file);
    EXPECT_FALSE(hl::is_nil(doc)) << "report.htm is not well-formed";
    return oli::sd_xml_document_root(doc);
  }

  static std::vector<std::string> texts(const hl::ref& parent, std::string_view name) {
    std::vector<std::string> out;
    for (const hl::ref& e : oli::sd_xml_element_children(parent, name))
      out.push_back(oli::sd_xml_element_text(e));
    return out;
  }
  static hl::ref child(const hl::ref& parent, std::string_view name, std::size_t n = 0) {
    return oli::sd_xml_element_children(parent, name).at(n);
  }
  static std::vector<std::string> row(const hl::ref& tr) {
    std::vector<std::string> cells;
    for (const hl::ref& c : oli::sd_xml_element_children(tr)) cells.push_back(oli::sd_xml_element_text(c));
    return cells;
  }
};

TEST_F(StagingReport, ACleanRunHasOnlyFilesAndAnEmptyChangeLog) {
  model("M1", "frame");
  contents("C1", "frame", {"M1"});
  cad_file("frame.pkg", {{"frame", "models/M1.sda"}});
  cad_file("notes.doc");
  // Files that look alike by load method and status, told apart by their outcome.
  cad_file("crash.pkg", {}, hl::nil(), cad_load_method::none, cad_file_state::loading);
  cad_file("notes.txt", {}, hl::nil(), cad_load_method::none);
  cad_file("broken.pkg", {}, hl::make_string("the package is truncated"));
  cad_file("full.pkg", {}, vtm::analytics::make_save_failure_status("No space left on device").value);
  hl::ref root = report();
  EXPECT_THAT(texts(child(root, "head"), "title"), ElementsAre("(batch1) Staging Report"));
  hl::ref body = child(root, "body");
  EXPECT_THAT(texts(body, "h1"), ElementsAre("CAD Files from (batch1) staged for Model Manager Import"));
  EXPECT_THAT(texts(body, "h2"), ElementsAre("Files Processed", "Change Log"));
  hl::ref files = child(body, "table");
  EXPECT_EQ(hl::as_string(oli::sd_xml_element_attribute(files, "border")), "1");
  auto rows = oli::sd_xml_element_children(files, "tr");
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_THAT(texts(rows[0], "th"), ElementsAre("Source File (from Input Directory)", "Load Method", "Status",
                                                "Drawing (Staging Directory)", "Model(s)", "Outcome"));
  EXPECT_THAT(row(rows[1]), ElementsAre("frame.pkg", ":SD", ":OK", "", "", "staged"));
  EXPECT_EQ(row(rows[3])[5], "crashed");
  EXPECT_EQ(row(rows[4])[5], "no-loader");
  EXPECT_EQ(row(rows[5])[5], "load-failed: the package is truncated");
  EXPECT_EQ(row(rows[6])[5], "save-failed: No space left on device");
  hl::ref models = child(child(rows[1], "td", 4), "table");
  EXPECT_TRUE(hl::is_nil(oli::sd_xml_element_attribute(models, "border")));
  EXPECT_THAT(row(child(models, "tr", 1)), ElementsAre("frame", "models/M1.sda"));
  EXPECT_TRUE(oli::sd_xml_element_children(child(rows[2], "td", 4)).empty());
  EXPECT_TRUE(oli::sd_xml_element_children(child(body, "dl")).empty());
}

TEST_F(StagingReport, ErrorsWorkplanesAndChanges) {
  model("B", "broken");
  model("WP", "plane", "nwp");
  contents("LA", "asm", {"B"}, {}, false, {}, {});
  contents("LP", "part", {"B"}, {}, true, {"LA"});
  drawing("orphan", {"I5"});
  change("SYSID-CONFLICT", "OLD", "LP");
  change("VERSION->ORIGINAL", "V1", "GONE", "gear");
  cad_file("broken.pkg");
  hl::ref body = child(report(), "body");

  EXPECT_THAT(texts(body, "h2"),
              ElementsAre("Errors", "Top Level Workplanes", "Files Processed", "Change Log"));
  EXPECT_THAT(texts(body, "h3"), ElementsAre("Drawing Errors", "Model (3d) Errors"));
  EXPECT_THAT(oli::sd_xml_element_text(child(body, "p")), HasSubstr("\n All repairs should be done"));

  hl::ref item = child(child(body, "ol"), "li");
  EXPECT_EQ(hl::as_string(oli::sd_xml_element_attribute(item, "id")), "B");
  EXPECT_THAT(texts(item, "p"), ElementsAre("Staged as: models/B.sda"));
  EXPECT_THAT(texts(child(item, "dl"), "dt"), ElementsAre("Body Check Fails", "Lost Parts/Assemblies"));
  hl::ref lost_row = child(child(child(child(item, "dl"), "dd", 1), "table"), "tr", 1);
  EXPECT_EQ(oli::sd_xml_element_text(child(lost_row, "td")), "asm");

  // Change log: a conflict has five columns, a version change four; an
  // unknown sysid after the change is staged as "-".
  hl::ref log = oli::sd_xml_element_children(body, "dl").back();
  EXPECT_THAT(texts(log, "dt"), ElementsAre("SYSID-CONFLICT", "VERSION->ORIGINAL"));
  hl::ref conflict = child(child(log, "dd", 0), "table");
  EXPECT_EQ(oli::sd_xml_element_children(child(conflict, "tr", 0)).size(), 5u);
  EXPECT_EQ(oli::sd_xml_element_text(child(child(conflict, "tr", 1), "td", 2)), "models/LP.sdpc");
  hl::ref version = child(child(log, "dd", 1), "table");
  EXPECT_EQ(oli::sd_xml_element_children(child(version, "tr", 0)).size(), 4u);
  EXPECT_EQ(oli::sd_xml_element_text(child(child(version, "tr", 1), "td", 2)), "-");
  EXPECT_EQ(oli::sd_xml_element_text(child(child(version, "tr", 1), "td", 0)), "gear");
  hl::ref diff = child(child(child(version, "tr", 1), "td", 3), "table");
  EXPECT_GE(oli::sd_xml_element_children(diff, "tr").size(), 2u);
}

TEST_F(StagingReport, DrawingErrorsAloneHaveNoModelPart) {
  model("M", "fine");
  drawing("orphan", {});
  hl::ref body = child(report(), "body");
  EXPECT_THAT(texts(body, "h3"), ElementsAre("Drawing Errors"));
  hl::ref table = child(child(child(child(body, "dl"), "dd"), "div"), "table");
  EXPECT_THAT(row(child(table, "tr", 1)), ElementsAre("in/orphan.pkg", "drawings.ami/orphan.bi"));
}

}  // namespace
