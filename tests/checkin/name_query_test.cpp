#include "checkin/name_query.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/time.h"
#include "modelmanager/database.h"
#include "support/module_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace mm = sim::modelmanager;
using namespace vtm::checkin;

constexpr std::int64_t day = 86400;

class NameQuery : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("name query test " + std::to_string(::getpid()));
    fs::create_directories(dir_);
    mm::use_database_file(dir_ / "mm.sqlite");
    clear_name_query_cache();
  }
  void TearDown() override {
    mm::fail_queries(0, "");
    fs::remove_all(dir_);
  }

  std::string add(std::string name, std::int64_t age_days, bool preferred,
                  std::string state = "TC-RELEASED") {
    mm::stored_model m;
    m.name = std::move(name);
    m.create_date = now_ - age_days * day;
    m.state = std::move(state);
    if (preferred) {
      m.project_id = "DEAR3S4P7X5BG4";
      m.enovia_migrated = "1";
      m.enovia_part_er = "00";
    }
    return mm::current_database().add(m);
  }

  fs::path dir_;
  std::int64_t now_ = 1700000000;
};

TEST_F(NameQuery, PrefersTheMigratedReleaseOverNewerRecords) {
  const std::string old_release = add("bracket", 30, true);
  add("bracket", 1, false);
  add("bracket", 2, true, "IN-WORK");
  name_query_answer a = query_component_by_model_name("bracket");
  ASSERT_TRUE(a.record);
  EXPECT_EQ(a.record->value("ELID"), old_release);
  EXPECT_EQ(a.record->create_date, host::lisp::universal_from_unix(now_ - 30 * day));
}

TEST_F(NameQuery, WithoutAPreferredRecordTheNewestWins) {
  add("plate", 10, false);
  const std::string newest = add("plate", 3, false);
  add("plate", 7, false);
  EXPECT_EQ(query_component_by_model_name("plate").record->value("ELID"), newest);
  // A limit of one row leaves only the first stored one to choose from.
  EXPECT_NE(query_component_by_model_name("plate", 1, false).record->value("ELID"), newest);
}

TEST_F(NameQuery, AnswersAreCachedPerExactNameButFailuresAreNot) {
  add("Shaft", 5, false);
  EXPECT_FALSE(query_component_by_model_name("shaft").record);  // no model of that spelling
  EXPECT_TRUE(query_component_by_model_name("Shaft").record);

  mm::fail_queries(2, "ERROR: connection lost");
  // Cached answers, "none" included, do not reach the failing database.
  EXPECT_FALSE(query_component_by_model_name("shaft").failed());
  EXPECT_TRUE(query_component_by_model_name("Shaft").record);
  name_query_answer failed = query_component_by_model_name("gear");
  ASSERT_TRUE(failed.failed());
  EXPECT_EQ(*failed.error, "ERROR: connection lost");
  EXPECT_TRUE(query_component_by_model_name("gear").failed());  // still not cached

  add("gear", 1, false);
  EXPECT_TRUE(query_component_by_model_name("gear").record);
  mm::fail_queries(1, "ERROR: again");
  EXPECT_TRUE(query_component_by_model_name("gear").record);
  EXPECT_TRUE(query_component_by_model_name("gear", 100, false).failed());
  EXPECT_TRUE(query_component_by_model_name("gear").record);  // the failure left the cache alone

  clear_name_query_cache();
  add("shaft", 1, false);
  EXPECT_TRUE(query_component_by_model_name("shaft").record);
}

TEST_F(NameQuery, DatabaseDatesParseBackToTheirTime) {
  for (std::int64_t t : {now_, std::int64_t(1262304000), std::int64_t(1719792000)})
    EXPECT_EQ(parse_universal_time(mm::format_database_date(t)), host::lisp::universal_from_unix(t))
        << mm::format_database_date(t);
  EXPECT_THROW(parse_universal_time("Wed Nov 08 14:03:22 CET"), host::lisp::lisp_error);
  EXPECT_THROW(parse_universal_time("Wed Nov 08 14:03 CET 2023"), host::lisp::lisp_error);
  EXPECT_THROW(parse_universal_time("Wed Foo 08 14:03:22 CET 2023"), host::lisp::lisp_error);
  EXPECT_THROW(parse_universal_time("Wed Nov 8x 14:03:22 CET 2023"), host::lisp::lisp_error);
  EXPECT_EQ(month_table().size(), 12u);
  EXPECT_EQ(month_table().at("Sep"), 9);
}

TEST_F(NameQuery, SeedFileAndTheLispFace) {
  std::ofstream(dir_ / "seed.lsp")
      << "(:name \"hub\" :state \"TC-RELEASED\" :create_date \"2023-11-08 14:03:22\""
         " :project_id \"DEAR3S4P7X5BG4\" :enovia_migrated \"1\" :enovia_part_er \"00\")\n"
         "(:name \"hub\" :create_date 3908000000)\n";
  EXPECT_EQ(mm::current_database().seed_from_file(dir_ / "seed.lsp"), 2u);
  std::ofstream(dir_ / "bad.lsp") << "(:name \"ok\")\n(:state \"no name\")\n";
  try {
    mm::current_database().seed_from_file(dir_ / "bad.lsp");
    ADD_FAILURE() << "no error";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_NE(e.message().find("bad.lsp, model 2: :name is missing"), std::string::npos) << e.message();
  }
  EXPECT_EQ(mm::current_database().model_count(), 2u);  // the bad file added nothing

  vtm_test::load_module_once();
  host::lisp::ref record = vtm_test::eval("(vtm::query-component-by-model-name \"hub\" :cached nil)");
  EXPECT_EQ(host::lisp::as_string(host::lisp::getf(record, host::lisp::ref(&host::lisp::keyword("STATE")))),
            "TC-RELEASED");
  EXPECT_EQ(
      host::lisp::as_integer(host::lisp::getf(record, host::lisp::ref(&host::lisp::keyword("CREATE_DATE")))),
      host::lisp::encode_local_universal_time(22, 3, 14, 8, 11, 2023));
  EXPECT_TRUE(host::lisp::is_nil(vtm_test::eval("(vtm::query-component-by-model-name \"nothing\")")));
  mm::fail_queries(1, "ERROR: down");
  EXPECT_EQ(host::lisp::as_string(vtm_test::eval("(vtm::query-component-by-model-name \"x\")")),
            "ERROR: down");
}

}  // namespace
