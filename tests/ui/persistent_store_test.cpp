// The persistent data store: what is written comes back for the same
// module, key and subkey, and a damaged file neither stops the host nor
// gets lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/persistent_data.h"
#include "support/sdhost_process.h"
#include "ui_fixture.h"

namespace {

using namespace host::lisp;
using host::oli::sd_get_persistent_data;
using host::oli::sd_set_persistent_data;
namespace fs = std::filesystem;

ref kw(std::string_view name) { return ref(&keyword(name)); }

std::string read_file(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PersistentStore : public testing::Test {
 protected:
  ui_test::temporary_settings settings_;
  fs::path file() const { return settings_.dir() / "persistent_data.lsp"; }
};

TEST_F(PersistentStore, ReadsBackPerModuleKeyAndSubkey) {
  EXPECT_TRUE(is_nil(sd_get_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", kw("VALUES"))));
  ref record = read_from_string("(:a 1 :b \"two words\" :c (1.5d0 #P\"/x/y.lsp\" nil))");
  EXPECT_EQ(sd_set_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", record, kw("VALUES")), t());
  sd_set_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", make_integer(2), kw("OTHER"));
  sd_set_persistent_data("OTHER_MODULE", "VTM_SETTINGS", make_integer(3), kw("VALUES"));
  sd_set_persistent_data("VT_MIGRATOR", "OTHER_KEY", make_integer(4), kw("VALUES"));
  EXPECT_TRUE(equal(sd_get_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", kw("VALUES")), record));
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", kw("OTHER"))), "2");
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("OTHER_MODULE", "VTM_SETTINGS", kw("VALUES"))), "3");
  // A second write replaces the value and keeps the others.
  sd_set_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", nil(), kw("VALUES"));
  EXPECT_TRUE(is_nil(sd_get_persistent_data("VT_MIGRATOR", "VTM_SETTINGS", kw("VALUES"))));
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("VT_MIGRATOR", "OTHER_KEY", kw("VALUES"))), "4");
  // The values are kept in the file, not only in memory.
  EXPECT_NE(read_file(file()).find(":KEY \"OTHER_KEY\" :SUBKEY :VALUES :VALUE 4"), std::string::npos);
}

TEST_F(PersistentStore, ADamagedFileIsReportedAndKeptAside) {
  std::ofstream(file()) << "(:module \"M\" :key \"K\" :subkey :values :value (:a 1))\n"
                           "\"not an entry\"\n"
                           "(:module \"M\" :key \"L\" :subkey :values :value (:b";
  testing::internal::CaptureStderr();
  ref kept = sd_get_persistent_data("M", "K", kw("VALUES"));
  std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(prin1_to_string(kept), "(:A 1)");
  EXPECT_NE(warnings.find("damaged entry 2"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("is damaged after entry 2"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find(file().string()), std::string::npos) << warnings;
  // Reported once, not on every read.
  testing::internal::CaptureStderr();
  sd_get_persistent_data("M", "K", kw("VALUES"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  testing::internal::CaptureStderr();
  sd_set_persistent_data("M", "L", make_integer(5), kw("VALUES"));
  testing::internal::GetCapturedStderr();
  // The damaged text survives beside the new file, which is whole again.
  EXPECT_NE(read_file(file().string() + ".damaged").find(":value (:b"), std::string::npos);
  testing::internal::CaptureStderr();
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("M", "K", kw("VALUES"))), "(:A 1)");
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("M", "L", kw("VALUES"))), "5");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(PersistentStore, AnEntryNestedTooDeeplyIsDamageNotACrash) {
  std::ofstream(file()) << "(:module \"M\" :key \"K\" :subkey :values :value 1)\n"
                        << "(:module \"M\" :key \"L\" :subkey :values :value " << std::string(100000, '(')
                        << std::string(100000, ')') << ")\n";
  testing::internal::CaptureStderr();
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("M", "K", kw("VALUES"))), "1");
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_NE(warnings.find("nested deeper than 1000 levels"), std::string::npos) << warnings;
}

// Sessions sharing the settings directory write at once: none fails and no
// entry of another session is lost.
TEST_F(PersistentStore, ConcurrentSessionsKeepEveryEntry) {
  constexpr int sessions = 12;
  std::vector<vtm_test::sdhost_result> results(sessions);
  {
    std::vector<std::thread> threads;
    for (int i = 0; i < sessions; ++i)
      threads.emplace_back([&, i] {
        vtm_test::sdhost_run how;
        how.environment = {{"SDUSERCUSTOMIZEDIR", settings_.dir().string()}};
        std::vector<std::string> args{"--no-module"};
        for (int round = 0; round < 4; ++round) {
          args.push_back("-e");
          args.push_back("(oli:sd-set-persistent-data \"M\" \"K" + std::to_string(i) + "\" " +
                         std::to_string(round) + " :subkey :values)");
        }
        results[static_cast<std::size_t>(i)] = vtm_test::run_sdhost(args, how);
      });
    for (std::thread& t : threads) t.join();
  }
  for (const auto& r : results) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
  for (int i = 0; i < sessions; ++i)
    EXPECT_EQ(prin1_to_string(sd_get_persistent_data("M", "K" + std::to_string(i), kw("VALUES"))), "3") << i;
  for (const auto& e : fs::directory_iterator(settings_.dir()))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(PersistentStore, RefusesValuesItCouldNotReadBack) {
  sd_set_persistent_data("M", "K", make_integer(1), kw("VALUES"));
  ref handle = make_handle("ENTITY", nullptr);
  EXPECT_THROW(sd_set_persistent_data("M", "K", list({handle}), kw("VALUES")), lisp_error);
  EXPECT_EQ(prin1_to_string(sd_get_persistent_data("M", "K", kw("VALUES"))), "1");
}

TEST_F(PersistentStore, IsReachableFromLisp) {
  eval_string("(oli:sd-set-persistent-data \"M\" \"K\" '(:x \"y\") :subkey :values)");
  EXPECT_EQ(prin1_to_string(eval_string("(oli:sd-get-persistent-data \"M\" \"K\" :subkey :values)")),
            "(:X \"y\")");
  EXPECT_EQ(prin1_to_string(eval_string("(oli:sd-get-persistent-data \"M\" \"K\")")), "NIL");
}

}  // namespace
