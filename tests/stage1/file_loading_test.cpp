#include "stage1/file_loading.h"

#include "host/command_errors.h"
#include "host/lisp/printer.h"
#include "stage1/guarded_action_call.h"
#include "stage1_fixture.h"

namespace stage1_test {
namespace {

using vtm::records::cad_load_method;
using vtm::stage1::load_any_file;
using vtm::stage1::loaders_for;

constexpr std::string_view model_file =
    "(:sdsim-model 1)\n(:model :sysid \"I-P\" :name \"p\" :contents (:sysid \"C-P\" :name \"p\"))\n";
constexpr std::string_view mi_drawing = "(:sdsim-mi 1)\n(:drawing :number \"D-1\")\n";

class FileLoading : public Stage1Test {
 protected:
  std::size_t models_in_session() {
    return hl::list_length(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item()));
  }
  static std::string message_of(const hl::ref& error) {
    return hl::as_string(host::frame2::read_error_object(error, hl::ref(&hl::keyword("ERROR-MESG"))));
  }
};

TEST_F(FileLoading, ChoosesTheLoaderByTheTypeInAnyCase) {
  using v = std::vector<cad_load_method>;
  EXPECT_EQ(loaders_for("/x/PUMP.XMIT"), v{cad_load_method::me30});
  EXPECT_EQ(loaders_for("/x/a.AMI"), v{cad_load_method::mi});
  EXPECT_EQ(loaders_for("/x/a.b.mi"), v{cad_load_method::mi});
  for (const char* f : {"a.PKG", "a.bdl", "a.Sd", "a.sdp", "a.sda", "a.SDEXP"})
    EXPECT_EQ(loaders_for(f), v{cad_load_method::sd}) << f;
  EXPECT_EQ(loaders_for("/x/OLDPART"), (v{cad_load_method::mi, cad_load_method::sd, cad_load_method::me30}));
  EXPECT_EQ(loaders_for("/x/.profile"), (v{cad_load_method::mi, cad_load_method::sd, cad_load_method::me30}));
  EXPECT_EQ(loaders_for("/x/a.step"), v{});
}

TEST_F(FileLoading, AFileWithoutTypeFallsThroughToTheLoaderThatTakesIt) {
  const fs::path model = write("OLDPART", model_file);
  vtm::stage1::load_result r = load_any_file(model);
  EXPECT_EQ(hl::prin1_to_string(r.status), ":OK");
  EXPECT_EQ(r.method, cad_load_method::sd);
  EXPECT_EQ(models_in_session(), 1u);
  EXPECT_EQ(output(), "File " + model.string() + " loaded with method SD\n");

  clear_session();
  const fs::path me30 =
      write("PUMP", "(:sdsim-me30 1)\n(:model :name \"pump\" :contents (:name \"pump\"))\n");
  r = load_any_file(me30);
  EXPECT_EQ(hl::prin1_to_string(r.status), ":OK");
  EXPECT_EQ(r.method, cad_load_method::me30);
  EXPECT_EQ(models_in_session(), 1u);
}

TEST_F(FileLoading, ADrawingWithoutTypeStopsAtTheDrawingLoader) {
  // A file every loader accepts would be loaded three times if the chain
  // went on after success: the drawing is loaded, the 3D loaders not tried.
  const fs::path drawing = write("SHEET", mi_drawing);
  const vtm::stage1::load_result r = load_any_file(drawing);
  EXPECT_EQ(hl::prin1_to_string(r.status), ":OK");
  EXPECT_EQ(r.method, cad_load_method::mi);
  EXPECT_EQ(hl::as_string(host::oli::sd_am_inq_drawing_no()), "D-1");
  EXPECT_EQ(output(), "File " + drawing.string() + " loaded with method MI\n");
}

TEST_F(FileLoading, FailuresAreReturnedWithTheLastMethodTriedAndNeverSignalled) {
  const fs::path broken = write("broken.pkg", "(:sdsim-model 1)\n(:fail \"The package is truncated.\")\n");
  vtm::stage1::load_result r = load_any_file(broken);
  EXPECT_EQ(r.method, cad_load_method::sd);
  EXPECT_EQ(message_of(r.status), "The package is truncated.");
  EXPECT_FALSE(host::system::reset_lisp_error_active()) << "the error state is left active";

  r = load_any_file(write("GARBAGE", "not a CAD file"));
  EXPECT_EQ(r.method, cad_load_method::me30);
  EXPECT_NE(message_of(r.status).find("GARBAGE"), std::string::npos) << message_of(r.status);

  r = load_any_file(write("model.step", model_file));
  EXPECT_EQ(r.method, cad_load_method::none);
  EXPECT_TRUE(hl::is_nil(r.status));
  EXPECT_EQ(models_in_session(), 0u);
  output();
}

TEST_F(FileLoading, TheCadFileRecordGetsMethodAndStatusWhileWarningsAreAnswered) {
  const fs::path file =
      write("warn.pkg", std::string("(:sdsim-model 1)\n(:warn \"The file 'log' exists. Overwrite it?\")\n") +
                            std::string(model_file.substr(17)));
  const hl::ref host_box = hl::intern("SD-DISPLAY-WARNING", hl::require_package("OLI")).function;
  vtm::records::cad_fileinfo record = vtm::records::make_cad_fileinfo(file);
  vtm::stage1::load_cadfile(record);
  EXPECT_EQ(record.load_method, cad_load_method::sd);
  EXPECT_EQ(hl::prin1_to_string(record.error_status.value), ":OK");
  EXPECT_EQ(output().find("Warning:"), std::string::npos) << "the warning reached the host's box";
  EXPECT_TRUE(hl::intern("SD-DISPLAY-WARNING", hl::require_package("OLI")).function == host_box);

  record = vtm::records::make_cad_fileinfo(write("bad.sd", "(:sdsim-model 1)\n(:fail \"no\")\n"));
  vtm::stage1::load_cadfile(record);
  EXPECT_EQ(message_of(record.error_status.value), "no");
  EXPECT_TRUE(hl::intern("SD-DISPLAY-WARNING", hl::require_package("OLI")).function == host_box);
}

TEST_F(FileLoading, AGuardedCallIsRefusedWhileTheHostAllowsNoActionCall) {
  hl::symbol& allowed = hl::intern("*ACTION-CALL-ALLOWED*", hl::require_package("FRAME2"));
  bool ran = false;
  vtm::stage1::action_outcome outcome;
  {
    hl::special_binding no(allowed, hl::nil());
    outcome = vtm::stage1::guarded_action_call([&] { ran = true; });
  }
  EXPECT_FALSE(ran);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(
      hl::prin1_to_string(host::frame2::read_error_object(outcome.error, hl::ref(&hl::keyword("CODE")))),
      ":SD-CALL-ACTION-ILLEGAL-CALL");
  {
    hl::special_binding no(allowed, hl::nil());
    hl::special_binding no_test(hl::intern("*ENABLE-TERMINATE-ACTION-TEST*", hl::require_package("FRAME2")),
                                hl::nil());
    outcome = vtm::stage1::guarded_action_call([&] { ran = true; });
  }
  EXPECT_TRUE(ran);
  EXPECT_TRUE(outcome.ok);
}

TEST_F(FileLoading, AnErrorACommandOnlyDisplaysIsAFailureAndNotShown) {
  const vtm::stage1::action_outcome outcome = vtm::stage1::guarded_action_call(
      [] { host::frame2::display_error(hl::make_string("The disk is full.")); });
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(message_of(outcome.error), "The disk is full.");
  EXPECT_EQ(output(), "");
  EXPECT_TRUE(vtm::stage1::guarded_action_call([] {}).ok) << "an earlier failure leaks into the next call";
}

}  // namespace
}  // namespace stage1_test
