#include <gtest/gtest.h>

#include "core/vt_utils.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/file_records.h"
#include "records_env.h"

namespace {

struct ttt {
  std::int64_t a = 0;
  std::optional<std::string> b;
  std::vector<std::pair<std::string, std::filesystem::path>> c;
  bool operator==(const ttt&) const = default;
};

}  // namespace

template <>
struct vtm::core::record_def<ttt> {
  static constexpr std::string_view name = "TTT";
  static constexpr std::tuple slots{slot{"A", &ttt::a}, slot{"B", &ttt::b}, slot{"C", &ttt::c}};
  static constexpr std::array<std::string_view, 2> plist_keys{"A", "B"};
};

namespace {

using host::lisp::prin1_to_string;
using host::lisp::read_from_string;
using vtm::core::from_lisp;
using vtm::core::to_lisp;

class PlistFacility : public ::testing::Test {
 protected:
  void SetUp() override {
    records_test::define_records();
    vtm::core::lisp_type<ttt>();  // as the unit defining the record does when it loads
  }
};

TEST_F(PlistFacility, PlistHoldsTheChosenSlotsInTheirOrderInCppAndLisp) {
  const ttt r{1, "x", {}};
  EXPECT_EQ(prin1_to_string(vtm::core::structure_as_plist(r).to_lisp()), "(:A 1 :B \"x\")");
  const auto result = host::lisp::eval_string("(vtm:ttt-plist (vtm:make-ttt :a 1 :b 2 :c 3))");
  EXPECT_EQ(prin1_to_string(result), "(:A 1 :B 2)");
}

TEST_F(PlistFacility, RecordsPrintInSlotOrderAndReadBackEqual) {
  const ttt r{-7, std::nullopt, {{"n ä", "models/S 1.sdp"}}};
  const std::string text = prin1_to_string(to_lisp(r));
  EXPECT_EQ(text, "#S(VANTREL-MIGRATOR:TTT :A -7 :B NIL :C ((\"n ä\" . #P\"models/S 1.sdp\")))");
  EXPECT_EQ(from_lisp<ttt>(read_from_string(text)), r);
}

TEST_F(PlistFacility, IncludedSlotsComeFirst) {
  vtm::records::instance_info info;
  info.sysid = "S";
  info.name = "n";
  const std::string text = prin1_to_string(to_lisp(info));
  EXPECT_EQ(text.find("#S(VANTREL-MIGRATOR:INSTANCE-INFO :SYSID \"S\" :TYPENAME NIL :FILENAME NIL "
                      ":CHILD-SYSIDS NIL :TAGS NIL :SOURCEPATH NIL :NAME \"n\""),
            0u)
      << text;
  // An instance record is a component record for Lisp.
  EXPECT_TRUE(host::lisp::typep(to_lisp(info), vtm::core::lisp_type<vtm::records::component_info>()));
}

TEST_F(PlistFacility, AWrongSlotValueNamesRecordAndSlot) {
  try {
    from_lisp<ttt>(read_from_string("#S(VANTREL-MIGRATOR::TTT :A \"one\" :B NIL :C NIL)"));
    FAIL() << "no error";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_EQ(e.message(), "TTT slot A: The value \"one\" is not of type INTEGER.");
  }
  EXPECT_THROW(from_lisp<ttt>(read_from_string("(1 2)")), host::lisp::lisp_error);
  EXPECT_THROW(from_lisp<vtm::records::cad_fileinfo>(
                   read_from_string("#S(VANTREL-MIGRATOR::CAD-FILEINFO :STATE :DONE :LOAD-METHOD :SD)")),
               host::lisp::lisp_error);
}

}  // namespace
