// status.json as written entry by entry: the bytes nlohmann's dump of the
// whole document gives, and a summary that is what is read back.
#include "analytics/status_json.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analytics/json_text.h"

namespace {

namespace fs = std::filesystem;
using namespace vtm::analytics;
using json = status_document;

class StatusJson : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("status json test " + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes the status; the file's text, checked against the whole document
  // dumped at once, and its summary against what is read back.
  std::string written(const staging_status& st) {
    const json summary = write_status_json(dir_, st);
    std::ifstream in(dir_ / status_json_file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const json whole = json::parse(text.str());
    EXPECT_EQ(text.str(), whole.dump(1, ' ', false, json::error_handler_t::replace) + "\n");
    EXPECT_EQ(summary, *read_status_counts(dir_));
    return text.str();
  }

  fs::path dir_;
};

TEST_F(StatusJson, ListsWrittenOneByOneAreTheWholeDocumentsDump) {
  staging_status st;
  st.staging_directory = "/staging";
  st.written_by = "stage-1";
  st.written_at = "2024-01-01T00:00:00Z";
  st.analysed = true;
  file_entry staged{"/in/a.pkg", cad_file_outcome::staged,           "",
                    "sd",        {"models/M1.sda", "models/M2.sda"}, "drawings.ami/D@a.ami"};
  file_entry failed{"/in/b\xe9.pkg", cad_file_outcome::load_failed, "truncated \"here\"", "sd", {}, ""};
  st.files = listed<file_entry>({staged, failed});
  model_entry ready;
  ready.key = "/in/a.pkg/a";
  ready.staged = "models/M1.sda";
  model_entry broken = ready;
  broken.staged = "models/M2.sda";
  broken.cat = category::errors;
  broken.tags = {"corrupt", "disconnected"};
  broken.corrupt = {"C1"};
  broken.disconnects = {{"C1", "C2"}};
  broken.name_conflicts = {{"bolt", {"C3", "C4"}}};
  // Escapes, control characters, DEL, UTF-8 and a cut-off UTF-8 sequence.
  broken.instance = "tab\there \"q\" back\\slash \x01\x7f \xc3\xbc \xe2\x82";
  st.models = listed<model_entry>({ready, broken});
  drawing_entry fully{"D",  "D",    "a.pkg", "/in/a.pkg", "drawings.ami/D@a.ami", "fully-associated",
                      true, {"M1"}, ""};
  drawing_entry untagged = fully;
  untagged.tag = "";
  untagged.checked_in = false;
  untagged.left_because = "no associated model";
  drawing_entry odd = fully;
  odd.tag = "some-later-tag";
  st.drawings = listed<drawing_entry>({fully, odd, untagged});
  st.changes = listed<change_entry>({{"SYSID-CONFLICT", "bolt", {"/a/b"}, "S1", "S2"},
                                     {"NEW-VERSION", "gear", {}, "S3", "S4"},
                                     {"SYSID-CONFLICT", "pin", {"/c", "/d"}, "S5", "S6"}});
  st.skipped = {{"models/M1.sda", "locked"}};

  const json doc = json::parse(written(st));
  // Every outcome and category has its list, empty or not; other tags and
  // the reasons of changes follow in the order first met.
  EXPECT_EQ(doc["files"]["lists"]["staged"][0]["models"].size(), 2u);
  EXPECT_EQ(doc["files"]["lists"]["crashed"], json::array());
  EXPECT_EQ(doc["files"]["lists"]["load-failed"][0]["source"], "/in/b\xef\xbf\xbd.pkg");
  EXPECT_EQ(doc["models"]["lists"]["warnings"], json::array());
  EXPECT_EQ(doc["models"]["lists"]["errors"][0]["disconnects"], json::parse(R"([["C1","C2"]])"));
  EXPECT_EQ(doc["models"]["counts"]["errors"], 1);
  EXPECT_EQ(doc["models"]["lists"]["errors"][0]["instance"],
            "tab\there \"q\" back\\slash \x01\x7f \xc3\xbc \xef\xbf\xbd");
  std::vector<std::string> tags, reasons;
  for (const auto& [tag, list] : doc["drawings"]["lists"].items()) tags.push_back(tag);
  for (const auto& [reason, list] : doc["changes"]["lists"].items()) reasons.push_back(reason);
  EXPECT_EQ(tags, (std::vector<std::string>{"fully-associated", "partially-associated",
                                            "associated-by-model-name", "orphan", "some-later-tag"}));
  EXPECT_EQ(doc["drawings"]["lists"]["orphan"][0]["left-because"], "no associated model");
  EXPECT_EQ(reasons, (std::vector<std::string>{"sysid-conflict", "new-version"}));
  EXPECT_EQ(doc["changes"]["lists"]["sysid-conflict"][1]["model-name"], "pin");
  EXPECT_EQ(doc["models"]["skipped"][0]["reason"], "locked");

  // A directory without analytics or changes: empty lists and objects.
  const json empty = json::parse(written(staging_status{}));
  EXPECT_EQ(empty["changes"]["lists"], json::object());
  EXPECT_EQ(empty["files"]["counts"]["found"], 0);
}

}  // namespace

namespace {

// Strings written straight are what the library's dump writes: every byte
// alone and amid text, UTF-8 and cut-off sequences.
TEST(JsonText, StringsAreWhatTheLibraryDumps) {
  std::vector<std::string> texts = {"",         "plain text", "a \"quoted\" back\\slash",
                                    "\xc3\xbc", "\xe2\x82",   "\xff!"};
  for (int b = 0; b < 256; ++b) {
    texts.emplace_back(1, char(b));
    texts.push_back("x" + std::string(1, char(b)) + "y");
  }
  for (const std::string& t : texts) {
    std::string out;
    append_json_string(out, t);
    EXPECT_EQ(out, json(t).dump(-1, ' ', false, json::error_handler_t::replace)) << t;
  }
  pretty_json j;
  j.begin_object().member("k", "v").key("empty").begin_array().end_array().key("list").strings({"a", "b"});
  j.key("none").null().key("yes").boolean(true).end_object();
  EXPECT_EQ(j.text(), json::parse(j.text()).dump(1, ' ', false));
}

}  // namespace
