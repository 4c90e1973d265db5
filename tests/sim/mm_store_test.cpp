// Storing into Model Manager: the store dialog, the store after its OK and
// the store of the drawing in session.
#include "host/mm_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "host/dialogs.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/modelmanager.h"
#include "mm_console_fixture.h"
#include "modelmanager/database.h"

namespace {

using namespace host::lisp;
using sim_test::ev;

// The frame of the session fixture with the part "bolt" stored already.
constexpr std::string_view seed = "(:name \"bolt\" :sysid \"C-BOLT\" :timestamp 3.9d9 :revision \"3\")\n";

class MmStore : public sim_test::MmConsoleTest {
 protected:
  void SetUp() override {
    MmConsoleTest::SetUp();
    write("seed.lsp", seed);
    write("frame.pkg", sim_test::frame_package);
    run("(sdsim:mm-seed-database \"seed.lsp\")");
    run("(frame2-ui::universal_load :file \"frame.pkg\")");
    define_caller();
  }

  // A dialog whose buttons call the store operations, as a module's dialog
  // does; its cancel action records that it ended.
  void define_caller() {
    host::dialogs::dialog_def def;
    def.name = "STORE_CALLER";
    def.title = "Store caller";
    host::dialogs::variable_def store, dwg, after;
    store.name = "STORE";
    store.kind = host::dialogs::value_kind::push_action;
    store.after_input = [](host::dialogs::dialog_context&, const ref&) {
      host::modelmanager::ndm_store_modified(ev("(oli::sd-pathname-to-obj \"/frame\")"));
    };
    dwg.name = "STORE_DRAWING";
    dwg.kind = host::dialogs::value_kind::push_action;
    dwg.after_input = [](host::dialogs::dialog_context&, const ref&) { host::modelmanager::ndm_am_store(); };
    after.name = "AFTER";
    after.kind = host::dialogs::value_kind::push_action;
    after.after_input = [this](host::dialogs::dialog_context&, const ref&) { ++after_store_inputs_; };
    def.variables = {store, dwg, after};
    def.cancel = [this](host::dialogs::dialog_context&) { ++caller_cancelled_; };
    host::dialogs::define_dialog(std::move(def), "COMMON-LISP-USER");
  }

  std::string query(const std::string& name) {
    return prin1_to_string(ev("(modelmanager:mm-query-by-name \"$MODEL\" \"$ALL\" \"" + name + "\" 10)"));
  }
  std::string status(const std::string& path) {
    return prin1_to_string(
        ev("(modelmanager::get-mmstatus-from-object (oli::sd-pathname-to-obj \"" + path + "\"))"));
  }
  std::int64_t stored_count() { return as_integer(ev("(sdsim:mm-model-count)")); }

  int caller_cancelled_ = 0, after_store_inputs_ = 0;
};

TEST_F(MmStore, TheStoreDialogEndsTheCallingDialogAndItsOkStoresTheModifiedModels) {
  // The sub-assembly's sysid is free now; the part is up to date.
  run("STORE_CALLER :store");
  EXPECT_EQ(caller_cancelled_, 1);
  EXPECT_EQ(prin1_to_string(ev("(sdsim:active-dialog)")), "\"MM_STORE_MODIFIED\"");
  const std::string shown = run("show dialog");
  EXPECT_NE(shown.find("MODEL \"Model\" text = \"/frame\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("MODELS \"Models to Store\" number = 2"), std::string::npos) << shown;

  run("(defparameter *seen* nil)");
  run("(defparameter *probe* (lambda (arg) (push (modelmanager::get-mmstatus-from-object "
      "(oli::sd-pathname-to-obj \"/frame\")) *seen*)))");
  run("(event:subscribe-event event:*browser-update-event* *probe* nil)");
  const std::string stored = run("complete");
  run("(event:unsubscribe-event event:*browser-update-event* *probe*)");
  EXPECT_NE(stored.find("Model Manager: stored 2 models of /frame; frame E2; sub E3"), std::string::npos)
      << stored;
  // The update after the line comes before the store; the event the store
  // raises comes with the statuses up to date.
  EXPECT_EQ(prin1_to_string(ev("(reverse *seen*)")), "(NIL NIL :UP-TO-DATE :UP-TO-DATE)");

  const std::string frame = query("frame");
  // Stored with the type a name query reports for an assembly or a part.
  EXPECT_NE(frame.find("\"E2\" \"frame\" \"1\" \"IN-WORK\" \"nasmb3\" \"UID-E2\""), std::string::npos)
      << frame;
  EXPECT_NE(frame.find("\"C-FRAME\")"), std::string::npos) << frame;
  EXPECT_EQ(
      prin1_to_string(ev("(modelmanager::get-docelid-from-object (oli::sd-pathname-to-obj \"/frame/sub\"))")),
      "\"E3\"");
  EXPECT_EQ(status("/frame"), ":UP-TO-DATE");
  EXPECT_EQ(status("/frame/sub"), ":UP-TO-DATE");
  EXPECT_EQ(prin1_to_string(ev("(frame2::inquire-cluster-modified (oli::get-contents "
                               "(oli::sd-pathname-to-obj \"/frame\")))")),
            "NIL");
  // The part was up to date and is not stored again.
  EXPECT_EQ(stored_count(), 3);
}

// A stored model loads back as the tree that was stored, its shared parts
// one contents, from its own part of the file it was stored in, after what
// a host that ended while storing left cut short.
TEST_F(MmStore, AStoredModelLoadsBackFromTheDatabase) {
  std::filesystem::create_directories(dir_ / "mm.files");
  write("mm.files/0.models", ";; -*- sdsim model file -*-\n(:SDSIM-MODEL 1)\n(:CONTENTS :ID \"C-");
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  run("complete");
  const std::string stored_tree = run("(sdsim:list-session)");
  ev("(elan::delete_3d :all_at_top)");
  run("(modelmanager::mm-send-cmd \"LOAD 'E2' '(list 1)' 'false' 'ASSEMBLY' 'LOAD_AS_VERSION' "
      "'DO_NOT_APPLY_LOAD_AND_POSITION'\")");
  EXPECT_EQ(run("(sdsim:list-session)"), stored_tree);
  EXPECT_EQ(prin1_to_string(ev("(length (sdsim:entities-with-sysid \"C-BOLT\"))")), "1");
  // Both models in their parts of the one file of their thousand.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "mm.files"),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_ / "mm.files" / "0.models"));
  run("(modelmanager::mm-send-cmd \"LOAD 'E3' '(list 1)' 'false' 'ASSEMBLY' 'LOAD_AS_VERSION' "
      "'DO_NOT_APPLY_LOAD_AND_POSITION'\")");
  const ref loaded = ev("(car common-lisp-user::*db-aip-ui-last-load-result*)");
  ASSERT_FALSE(is_nil(loaded));
  EXPECT_EQ(prin1_to_string(ev("(modelmanager::get-docelid-from-object (car "
                               "common-lisp-user::*db-aip-ui-last-load-result*))")),
            "\"E3\"");
  EXPECT_EQ(prin1_to_string(ev("(length (oli::sd-inq-obj-children (car "
                               "common-lisp-user::*db-aip-ui-last-load-result*)))")),
            "1");
}

TEST_F(MmStore, ContentsNotFiledOnTheirOwnAreStoredWithTheirOwner) {
  write("plan.pkg",
        "(:sdsim-model 1)\n(:model :name \"desk\" :contents (:sysid \"C-DESK\" :name \"desk\" "
        ":children ((:name \"plan\" :type \"layout\" :contents (:type \"layout_struct\")))))\n");
  run("(frame2-ui::universal_load :file \"plan.pkg\")");
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/desk\"))");
  EXPECT_EQ(run("complete"), "Model Manager: stored 1 models of /desk; desk E2\nNIL\n");
}

TEST_F(MmStore, AModelChangedSinceItsLatestStoreIsStoredAgainAsItsNextRevision) {
  write("older.lsp",
        "(:name \"bolt\" :sysid \"C-BOLT\" :timestamp 3.0d9 :revision \"4\" :state \"RELEASED\")\n");
  run("(sdsim:mm-seed-database \"older.lsp\")");
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  EXPECT_NE(run("show dialog").find("number = 3"), std::string::npos);
  run("complete");
  const std::string bolt = query("bolt");
  EXPECT_NE(bolt.find("\"bolt\" \"5\" \"RELEASED\""), std::string::npos) << bolt;
  EXPECT_EQ(status("/frame/bolt"), ":UP-TO-DATE");
}

TEST_F(MmStore, ASysidStoredForAnotherModelStopsTheWholeStore) {
  write("clash.lsp", "(:name \"other\" :sysid \"C-SUB\")\n");
  run("(sdsim:mm-seed-database \"clash.lsp\")");
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  EXPECT_EQ(run("complete"),
            "Model Manager: store failed: the sysid C-SUB of sub is stored for the model other (E2)\nNIL\n");
  EXPECT_EQ(stored_count(), 2);
  EXPECT_EQ(
      prin1_to_string(ev("(modelmanager::get-docelid-from-object (oli::sd-pathname-to-obj \"/frame\"))")),
      "NIL");
}

TEST_F(MmStore, CancelStoresNothingAndAFailingStoreIsTheHostsError) {
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  EXPECT_EQ(run("cancel"), "Model Manager: store cancelled\n");
  EXPECT_EQ(stored_count(), 1);

  run("(sdsim:mm-fail-stores 1 \"Model Manager is not connected\")");
  EXPECT_EQ(
      sim_test::error_of("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))"),
      "Model Manager is not connected");
  EXPECT_EQ(prin1_to_string(ev("(sdsim:active-dialog)")), "NIL");
  EXPECT_NE(sim_test::error_of("(modelmanager::ndm_store_modified :object nil)"), "");
}

TEST_F(MmStore, TheDrawingIsStoredAtOnceLinkedToItsStoredModelsAndEndsTheDialogAfterItsInput) {
  write("frame.ami",
        "(:sdsim-ami 1)\n(:drawing :number \"DRW-7\" :views ((:id \"V1\" :owner \"I-FRAME\") "
        "(:id \"V2\" :owner \"I-B1\") (:id \"V3\" :owner \"I-GONE\")))\n");
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  run("complete");
  EXPECT_EQ(prin1_to_string(ev("(modelmanager::db-get-part-and-doc-elids-of-loaded-dwg)")), "NIL");
  run("(docu::am_load_drawing :filename \"frame.ami\")");
  EXPECT_EQ(prin1_to_string(ev("(modelmanager::db-get-part-and-doc-elids-of-loaded-dwg)")), "(NIL NIL)");

  // The rest of the input line is not taken: the dialog has ended.
  const std::string out = run("STORE_CALLER :store_drawing :after");
  EXPECT_EQ(out, "Model Manager: stored the drawing DRW-7 as E4 with 2 models\n");
  EXPECT_EQ(caller_cancelled_, 1);
  EXPECT_EQ(after_store_inputs_, 0);
  EXPECT_EQ(prin1_to_string(ev("(sdsim:active-dialog)")), "NIL");
  // The frame and the part (stored before, E1) are what the views show.
  EXPECT_EQ(prin1_to_string(ev("(modelmanager::db-get-part-and-doc-elids-of-loaded-dwg)")),
            "((\"E2\" \"E1\") (\"E4\"))");
  EXPECT_NE(query("DRW-7").find("\"DRAWING\""), std::string::npos);

  run("(docu::am_drawing_delete :dwg :yes)");
  EXPECT_EQ(sim_test::error_of("(modelmanager::ndm_am_store)"), "There is no drawing in session to store.");
}

// The database never holds a model whose stored file is missing: a store
// that cannot write its files stores nothing.
TEST_F(MmStore, AStoreWhoseFilesCannotBeWrittenStoresNothing) {
  write("mm.files", "a file where the stored files' directory goes");
  const std::int64_t before = stored_count();
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  const std::string out = run("complete");
  EXPECT_NE(out.find("Model Manager: store failed: /frame was not stored: "), std::string::npos) << out;
  EXPECT_EQ(stored_count(), before);
  EXPECT_EQ(query("frame"), query("no such model"));
  EXPECT_NE(status("/frame"), ":UP-TO-DATE");
}

// Sessions share the database: a store waits while another session writes,
// and one that finds the database busy past its waits fails saying so,
// storing nothing; once the other session is done it goes through.
TEST_F(MmStore, AStoreWaitsForAnotherSessionAndSaysWhenTheDatabaseStaysBusy) {
  ::setenv("SDHOST_MM_BUSY_TIMEOUT_MS", "20", 1);
  sim::modelmanager::use_database_file(dir_ / "mm.sqlite");
  ::unsetenv("SDHOST_MM_BUSY_TIMEOUT_MS");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "mm.sqlite").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const std::int64_t before = stored_count();  // readers go on beside the writer
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  const std::string busy = run("complete");
  EXPECT_NE(busy.find("Model Manager: store failed: /frame was not stored: "), std::string::npos) << busy;
  EXPECT_NE(busy.find("the database stayed busy (database is locked)"), std::string::npos) << busy;
  EXPECT_EQ(stored_count(), before);

  ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  run("(modelmanager::ndm_store_modified :object (oli::sd-pathname-to-obj \"/frame\"))");
  EXPECT_NE(run("complete").find("Model Manager: stored 2 models of /frame"), std::string::npos);
  EXPECT_EQ(stored_count(), before + 2);
  EXPECT_NE(query("sub").find("\"nasmb3\""), std::string::npos) << query("sub");
}

}  // namespace
