#include "stage1/drawing_staging.h"

#include <unordered_set>

#include "stage1/file_loading.h"
#include "stage1_fixture.h"

namespace stage1_test {
namespace {

using vtm::records::ami_drawing_info;
using vtm::records::cad_fileinfo;

class DrawingStaging : public Stage1Test {
 protected:
  void SetUp() override {
    Stage1Test::SetUp();
    fs::create_directories(staging());
  }
  // Loads the file as the run does and stages the drawing it brought; with
  // complete, the file then counts as complete and claims its drawing.
  fs::path load_and_stage(const fs::path& file, bool complete = true) {
    cad_fileinfo record = vtm::records::make_cad_fileinfo(file);
    vtm::stage1::load_cadfile(record);
    EXPECT_EQ(hl::prin1_to_string(record.error_status.value), ":OK") << file;
    auto drawings = vtm::records::make_ami_drawing_records(staging());
    const hl::ref dno = host::oli::sd_am_inq_drawing_no();
    EXPECT_TRUE(hl::stringp(dno));
    const fs::path staged = vtm::stage1::stage_drawing(hl::as_string(dno), record, dir_ / "in", staging(),
                                                       drawings, claimed_, record.path.path());
    if (complete) claimed_.insert(fs::relative(staged, staging()).string());
    return staged;
  }
  std::unordered_set<std::string> claimed_;
  fs::path staging() const { return dir_ / "staging"; }
  std::vector<ami_drawing_info> recorded() {
    std::vector<ami_drawing_info> out;
    const auto records = vtm::records::make_ami_drawing_records(staging());
    for (const auto& [name, info] : records.drawings()) out.push_back(info);
    return out;
  }
};

constexpr std::string_view front =
    "(:sdsim-ami 1)\n(:drawing :number \"DRW-1\" :views ((:owner \"I-A\") (:owner \"I-B\") (:owner \"I-A\") "
    "(:name \"notes\")))\n";

TEST_F(DrawingStaging, AnAnnotationDrawingIsCopiedUnderItsNumberAndRecordedWithItsOwners) {
  const fs::path source = write("in/drawings/front.ami", front);
  const fs::path staged = load_and_stage(source);
  EXPECT_EQ(staged, staging() / "drawings.ami" / "DRW-1@front.ami");
  EXPECT_EQ(read(staged), front);
  const std::vector<ami_drawing_info> r = recorded();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].name, "DRW-1");
  EXPECT_EQ(r[0].filename, "DRW-1@front.ami");
  EXPECT_EQ(r[0].sourcepath, "drawings/front.ami");
  EXPECT_EQ(r[0].instance_sysids, (std::vector<std::string>{"I-A", "I-B"}));
}

TEST_F(DrawingStaging, ATargetThatExistsIsKeptAndTheNewOneGetsAUniqueSuffix) {
  const fs::path source = write("in/front.ami", front);
  const fs::path first = load_and_stage(source);
  write(fs::relative(first, dir_), "staged before");
  const fs::path second = load_and_stage(source);
  EXPECT_EQ(read(first), "staged before");
  EXPECT_EQ(second.parent_path(), first.parent_path());
  EXPECT_EQ(second.filename().string().rfind("DRW-1@front-", 0), 0u) << second;
  EXPECT_EQ(second.extension(), ".ami");
  EXPECT_GT(second.stem().string().size(), std::string("DRW-1@front-").size());
  EXPECT_EQ(read(second), front);
  EXPECT_EQ(recorded().size(), 2u);
}

// A host that died after the drawing was staged leaves its file unclaimed:
// staging the file again replaces it instead of adding a second drawing.
TEST_F(DrawingStaging, ATargetLeftByAnInterruptedAttemptIsReplaced) {
  const fs::path source = write("in/front.ami", front);
  const fs::path first = load_and_stage(source, false);
  write(fs::relative(first, dir_), "cut off");
  EXPECT_EQ(load_and_stage(source), first);
  EXPECT_EQ(read(first), front);
  EXPECT_EQ(recorded().size(), 1u);
  const fs::path sketch_file = write("in/sketch.mi", "(:sdsim-mi 1)\n(:drawing :number \"S\")\n");
  const fs::path plain = load_and_stage(sketch_file, false);
  EXPECT_EQ(load_and_stage(sketch_file), plain);
  EXPECT_EQ(std::distance(fs::directory_iterator(plain.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(DrawingStaging, APlainDrawingGoesToTheMiDirectoryWithoutRecord) {
  const std::string sketch = "(:sdsim-mi 1)\n(:drawing :number \"SK-17\" :views ((:id \"V1\")))\n";
  EXPECT_EQ(load_and_stage(write("in/sketch.mi", sketch)), staging() / "drawings.mi" / "sketch.mi");
  EXPECT_EQ(load_and_stage(write("in/old/LAYOUT2D", sketch)), staging() / "drawings.mi" / "LAYOUT2D.mi");
  EXPECT_EQ(read(staging() / "drawings.mi" / "LAYOUT2D.mi"), sketch);
  EXPECT_TRUE(recorded().empty());
}

TEST_F(DrawingStaging, ADrawingNumberCannotPlaceTheFileOutsideTheDrawingDirectory) {
  for (const char* number : {"../../escaped", "/tmp/abs", "a\\\\..\\\\b", ".."}) {
    const fs::path staged =
        load_and_stage(write("in/d.ami", std::string("(:sdsim-ami 1)\n(:drawing :number \"") + number +
                                             "\" :views ((:owner \"I-A\")))\n"));
    EXPECT_EQ(staged.parent_path(), staging() / "drawings.ami") << number;
    EXPECT_EQ(staged.filename().string().find(".."), std::string::npos) << staged;
    EXPECT_TRUE(fs::exists(staged)) << staged;
  }
  EXPECT_FALSE(fs::exists(dir_ / "escaped@d.ami"));
  EXPECT_FALSE(fs::exists(staging() / "escaped@d.ami"));
  const std::vector<ami_drawing_info> r = recorded();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].name, "../../escaped") << "the record keeps the drawing's own number";
  EXPECT_EQ(r[0].filename, "______escaped@d.ami");
}

TEST_F(DrawingStaging, ADrawingAPackageBroughtIsStoredFromTheSession) {
  const fs::path source = write(
      "in/bracket.pkg",
      "(:sdsim-model 1)\n"
      "(:model :sysid \"I-BRACKET\" :name \"bracket\" :contents (:sysid \"C-BRACKET\" :name \"bracket\""
      " :children ((:name \"plate\" :sysid \"I-PLATE\" :contents (:sysid \"C-PLATE\" :name \"plate\")))))\n"
      "(:drawing :number \"DRW-2001\" :views ((:owner \"I-BRACKET\") (:owner \"I-PLATE\")))\n");
  const fs::path staged = load_and_stage(source);
  EXPECT_EQ(staged, staging() / "drawings.ami" / "DRW-2001@bracket.ami");
  const std::string text = read(staged);
  EXPECT_NE(text.find("(:SDSIM-AMI 1)"), std::string::npos) << text;
  EXPECT_NE(text.find("I-PLATE"), std::string::npos) << text;
  const std::vector<ami_drawing_info> r = recorded();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].instance_sysids, (std::vector<std::string>{"I-BRACKET", "I-PLATE"}));
  EXPECT_EQ(r[0].sourcepath, "bracket.pkg");
}

TEST(FileNamePart, ReplacesSeparatorsAndParentReferencesOnly) {
  EXPECT_EQ(vtm::stage1::file_name_part("DRW-1000 rev.B"), "DRW-1000 rev.B");
  EXPECT_EQ(vtm::stage1::file_name_part("a/b\\c"), "a_b_c");
  EXPECT_EQ(vtm::stage1::file_name_part("x..y...z"), "x__y__.z");
  EXPECT_EQ(vtm::stage1::file_name_part("Zeichnung ä"), "Zeichnung ä");
}

}  // namespace
}  // namespace stage1_test
