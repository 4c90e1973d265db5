#include <gtest/gtest.h>

#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/file_records.h"
#include "records/record_file.h"
#include "records_env.h"
#include "sbcl_structs.h"

namespace {

using namespace vtm::records;
using host::lisp::ref;

class SbclInterchange : public records_test::records_fixture {};

// Records a record file holds, one of each kind, with the awkward values:
// blanks and non-ASCII text in paths and names, quotes, "" and NIL, doubles.
struct sample {
  cad_fileinfo file;
  cad_fileinfo failed;
  instance_info instance;
  contents_info contents;
  ami_drawing_info drawing;
  change_info contents_change;
  change_info instance_change;
};

sample make_sample() {
  sample s;
  s.file = {"/in dir/Getriebe ä.pkg", {{"Top \"A\"", "models/I1.sda"}, {"B", "models/I2.sda"}},
            "drawings.ami/7@Getriebe ä.ami", cad_file_state::complete, cad_load_method::sd, 3912345678,
            {host::lisp::read_from_string(":OK")}};
  s.failed = {"/in dir/x", {}, {}, cad_file_state::complete, cad_load_method::me30, 0,
              {host::lisp::make_string("Datei \\ kaputt")}};
  s.instance.sysid = "I1";
  s.instance.typename_ = "nasmb3";
  s.instance.filename = "I1.sda";
  s.instance.child_sysids = {"C1", "C2"};
  s.instance.sourcepath = "sub/Getriebe ä.pkg";
  s.instance.name = "/in dir/Getriebe ä.pkg/Top";
  s.instance.contents_sysid = "C0";
  s.contents.sysid = "C1";
  s.contents.typename_ = "part_struct";
  s.contents.filename = "C1.sdpc";
  s.contents.tags = {{"INSEPARABLE-CHILD"}};
  s.contents.metakey = cluster_metakey{"Zahnrad", 3.9123456789e9, std::nullopt, ""};
  s.contents.shares = {std::string("/in dir/Getriebe ä.pkg/Top/Zahnrad"), std::string("/in dir/x/y")};
  s.contents.model_sysids = {"I1"};
  s.contents.parent_sysids = {"C0"};
  s.contents.check_result.value = host::lisp::read_from_string("((\"Error:\" (3 \"face\") (1 \"edge\")))");
  s.contents.db_gref.value = host::lisp::read_from_string("(:PART-NO \"4711\" :REV 2)");
  s.drawing = {"7", "sub/Getriebe ä.mi", "7@Getriebe ä.ami", {"I1", "I2"}};
  s.contents_change = make_change_info("/in dir/x/y", convert_meta_to_composite_key("C1", *s.contents.metakey),
                                       convert_meta_to_composite_key("C9", {"Zahnrad", 0.25, "v1", {}}),
                                       {"SYSID-CONFLICT"});
  s.instance_change = make_change_info("/in dir/Top", "I0", "I1", {"SYSID-CONFLICT"});
  return s;
}

TEST_F(SbclInterchange, RecordsWrittenHereReadThereAndBackEqual) {
  if (!records_test::sbcl_available()) GTEST_SKIP() << "sbcl is not installed";
  using vtm::core::to_lisp;
  const sample s = make_sample();
  const std::vector<ref> records{
      host::lisp::read_from_string("(:LOADING #P\"/in dir/Getriebe ä.pkg\")"),
      to_lisp(s.file), to_lisp(s.failed), to_lisp(s.instance), to_lisp(s.contents), to_lisp(s.drawing),
      to_lisp(s.contents_change), to_lisp(s.instance_change)};
  const auto written = dir / "records.lsp", echoed = dir / "echoed.lsp", script = dir / "echo.lisp";
  {
    record_file f(written);
    f.open([](const ref&) {});
    for (const ref& r : records) f.append(r);
  }
  records_test::spit(script, records_test::sbcl_record_definitions() + R"(
(with-open-file (in (second sb-ext:*posix-argv*) :external-format :utf-8)
  (with-open-file (out (third sb-ext:*posix-argv*) :direction :output :if-exists :supersede
                       :external-format :utf-8)
    (let ((*package* (find-package "VANTREL-MIGRATOR")))
      (loop for form = (read in nil nil)
            while form
            do (let ((*package* (find-package "CL-USER")))
                 (pprint form out))))))
)");
  const std::string command = "sbcl --script '" + script.string() + "' '" + written.string() + "' '" +
                              echoed.string() + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::vector<ref> back;
  read_record_file(echoed, [&](const ref& r) { back.push_back(r); });
  ASSERT_EQ(back.size(), records.size()) << records_test::slurp(echoed);
  using vtm::core::from_lisp;
  EXPECT_TRUE(host::lisp::equal(back[0], records[0])) << host::lisp::prin1_to_string(back[0]);
  EXPECT_EQ(from_lisp<cad_fileinfo>(back[1]), s.file);
  EXPECT_EQ(from_lisp<cad_fileinfo>(back[2]), s.failed);
  EXPECT_EQ(std::get<instance_info>(component_record_from_lisp(back[3])), s.instance);
  EXPECT_EQ(std::get<contents_info>(component_record_from_lisp(back[4])), s.contents);
  EXPECT_EQ(from_lisp<ami_drawing_info>(back[5]), s.drawing);
  EXPECT_EQ(from_lisp<change_info>(back[6]), s.contents_change);
  EXPECT_EQ(from_lisp<change_info>(back[7]), s.instance_change);
  // SBCL's layout may differ; what it prints must print back the same here.
  for (std::size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(host::lisp::prin1_to_string(back[i]), host::lisp::prin1_to_string(records[i]));
}

}  // namespace
