#include <gtest/gtest.h>

#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/file_records.h"
#include "records/record_file.h"
#include "records_env.h"
#include "sample_records.h"
#include "sbcl_structs.h"

namespace {

using namespace vtm::records;
using host::lisp::ref;

class SbclInterchange : public records_test::records_fixture {};

TEST_F(SbclInterchange, RecordsWrittenHereReadThereAndBackEqual) {
  if (!records_test::sbcl_available()) GTEST_SKIP() << "sbcl is not installed";
  using vtm::core::to_lisp;
  const records_test::sample s = records_test::make_sample();
  const std::vector<ref> records{host::lisp::read_from_string("(:LOADING #P\"/in dir/Getriebe ä.pkg\")"),
                                 to_lisp(s.file),
                                 to_lisp(s.failed),
                                 to_lisp(s.instance),
                                 to_lisp(s.contents),
                                 to_lisp(s.drawing),
                                 to_lisp(s.contents_change),
                                 to_lisp(s.instance_change)};
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
  const std::string command =
      "sbcl --script '" + script.string() + "' '" + written.string() + "' '" + echoed.string() + "' 2>&1";
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
