// korvel check against korvel run where the rules are easy to get subtly
// wrong: keys compared as the server compares them, definitions read from
// the destination rather than the script, a task that cannot run at all,
// and what the screen shows of many problems.
#include <gtest/gtest.h>

#include <string>

#include "library/assurance/reconcile.h"
#include "platform/com/variant.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace embedded {
extern const char kCreate60[];
}

namespace {

using testing_support::EmbeddedShop;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

constexpr int kClean = 0, kCuts = 1, kFails = 2, kCannotCheck = 3;

class PreflightTest : public ::testing::Test {
 protected:
  std::string Korvel() const { return ShellQuote(testing_support::BinDir() + "/korvel"); }
  std::string Login(const std::string& database = EmbeddedShop::kDatabase) const {
    return " --server " + ShellQuote(shop.server) + " --user sa --password " + EmbeddedShop::kPassword +
           " --database " + ShellQuote(database);
  }
  // korvel check; with `destination`, against the shop's database, else
  // against the creation script. The JSON report is kept in `report`.
  testing_support::CommandResult Check(const std::string& model, const std::string& source,
                                       const std::string& destination = "") {
    return RunCommand(Korvel() + " check --model " + model + " --source " + ShellQuote(source) +
                      (destination.empty() ? "" : Login(destination)) + " --report " + ShellQuote(report_path));
  }
  testing_support::CommandResult Run(const std::string& model, const std::string& source,
                                     const std::string& database = EmbeddedShop::kDatabase) {
    return RunCommand(Korvel() + " run --model " + model + " --source " + ShellQuote(source) + Login(database));
  }
  std::string Report() const { return ReadFile(report_path); }

  EmbeddedShop shop;
  std::string report_path = shop.dir.File("check.json");
};

TEST_F(PreflightTest, KeysRepeatAsTheServerComparesThem) {
  // "e2 " is E2 to the server: letters without case, trailing blanks
  // ignored; " E2" and "E2x" are other codes.
  const std::string source = shop.WriteSource(
      "codes.mdb", {{"Employee", "Code\tName\nE1\t甲\nE2\t乙\nE2x\t丙\n E2\t丁\ne2 \t戊\n"}});
  const auto check = Check("C5to6Employee", source);
  EXPECT_EQ(check.exit_code, kFails) << check.out << check.err;
  const std::string report = Report();
  EXPECT_NE(report.find("\"kind\": \"duplicate_key\", \"fails\": true, \"step\": \"导入数据到 [Check].[dbo].[Employee]\", "
                        "\"table\": \"Employee\", \"column\": \"Code\", \"row\": 5, \"key\": \"Code=e2 \", \"number\": 2627"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("\"row\": 3"), std::string::npos) << report;
  EXPECT_EQ(report.find("\"row\": 4"), std::string::npos) << report;

  const auto run = Run("C5to6Employee", source);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("第 5 行（Code=e2 ）无法写入 [Sales60].[dbo].[Employee]"), std::string::npos) << run.err;
}

TEST_F(PreflightTest, TheDestinationsOwnDefinitionsDecideWhenOneIsGiven) {
  // A 6.0 database whose employee names hold 4 characters, not 32: the
  // script says nothing is cut, the destination that a name of 6 is.
  std::string script = embedded::kCreate60;
  const std::string wide = "[Name] nvarchar(32) NOT NULL,";
  const auto at = script.find(wide, script.find("CREATE TABLE [dbo].[Employee]"));
  ASSERT_NE(at, std::string::npos);
  script.replace(at, wide.size(), "[Name] nvarchar(4) NOT NULL,");
  const std::string script_file = shop.dir.File("narrow.sql");
  testing_support::WriteFile(script_file, script);
  const auto created = RunCommand(Korvel() + " create-database --server " + ShellQuote(shop.server) +
                                  " --user sa --password " + EmbeddedShop::kPassword +
                                  " --database Narrow --script " + ShellQuote(script_file));
  ASSERT_EQ(created.exit_code, 0) << created.err;
  const std::string source =
      shop.WriteSource("names.mdb", {{"Employee", "Code\tName\nE1\t张三\nE2\t欧阳中华民国\nE3\t李四\n"}});

  EXPECT_EQ(Check("C5to6Employee", source).exit_code, kClean);
  const auto check = Check("C5to6Employee", source, "Narrow");
  EXPECT_EQ(check.exit_code, kCuts) << check.out << check.err;
  EXPECT_NE(Report().find("\"kind\": \"cut\", \"fails\": false, \"step\": \"导入数据到 [Narrow].[dbo].[Employee]\", "
                          "\"table\": \"Employee\", \"column\": \"Name\", \"row\": 2, \"key\": \"Code=E2\", \"number\": 0, "
                          "\"message\": \"长度 6 超过列的长度 4，将截为 4\", \"original_length\": 6, \"cut_length\": 4}"),
            std::string::npos)
      << Report();
  EXPECT_NE(Report().find("\"definitions\": \"destination\""), std::string::npos);

  const auto run = Run("C5to6Employee", source, "Narrow");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("列 Name：1 个值被截断或替换以适合目的列：第 2 行（Code=E2）"), std::string::npos) << run.out;
}

TEST_F(PreflightTest, ASourceWithoutAColumnTheTaskReadsFailsTheTaskAsTheRunDoes) {
  // A 5.6 file whose Employee table has no Tel column.
  std::string schema;
  for (const std::string& line : {std::string("Employee\tCode\tText\t15\t1\n"), std::string("Employee\tName\tText\t32\t0\n")}) {
    schema += line;
  }
  const std::string schema_file = shop.dir.File("narrow56.tsv");
  testing_support::WriteFile(schema_file, schema);
  const std::string rows = shop.dir.File("employees.tsv");
  testing_support::WriteFile(rows, "Code\tName\nE1\t甲\n");
  const std::string source = shop.dir.File("old.mdb");
  const auto written = RunCommand(Korvel() + " mdb-write --out " + ShellQuote(source) + " --schema " +
                                  ShellQuote(schema_file) + " Employee=" + ShellQuote(rows));
  ASSERT_EQ(written.exit_code, 0) << written.err;

  const auto check = Check("C5to6Employee", source);
  EXPECT_EQ(check.exit_code, kFails) << check.out << check.err;
  EXPECT_NE(check.out.find("[任务无法执行] Employee："), std::string::npos) << check.out;
  const auto run = Run("C5to6Employee", source);
  EXPECT_EQ(run.exit_code, 1);
  // The same error, by the same code: the source query names a column the
  // file does not have.
  const auto reported = Report();
  const auto message_at = reported.find("\"message\": \"");
  ASSERT_NE(message_at, std::string::npos) << reported;
  const std::string message =
      reported.substr(message_at + 12, reported.find('"', message_at + 12) - message_at - 12);
  EXPECT_FALSE(message.empty());
  EXPECT_NE(run.err.find(message), std::string::npos) << message << "\n" << run.err;
}

TEST_F(PreflightTest, TheScreenShowsTwentyOfAKindAndTheReportAll) {
  std::string employees = "Code\tName\n";
  for (int i = 1; i <= 25; ++i) employees += "E" + std::to_string(i) + "\t\\N\n";
  const std::string source = shop.WriteSource("nameless.mdb", {{"Employee", employees}});
  const auto check = Check("C5to6Employee", source);
  EXPECT_EQ(check.exit_code, kFails);
  std::size_t shown = 0;
  for (auto at = check.out.find("[不能为空]"); at != std::string::npos; at = check.out.find("[不能为空]", at + 1)) ++shown;
  EXPECT_EQ(shown, 20u) << check.out;
  EXPECT_NE(check.out.find("另有 5 个“不能为空”问题未列出"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("        25       25        0  导入数据到 [Check].[dbo].[Employee]"), std::string::npos)
      << check.out;
  std::size_t reported = 0;
  const std::string report = Report();
  for (auto at = report.find("\"kind\": \"not_null\""); at != std::string::npos;
       at = report.find("\"kind\": \"not_null\"", at + 1)) {
    ++reported;
  }
  EXPECT_EQ(reported, 25u);
  EXPECT_NE(report.find("\"row\": 25, \"key\": \"Code=E25\""), std::string::npos);
  EXPECT_NE(report.find("\"verdict\": \"fails\""), std::string::npos);
}

TEST_F(PreflightTest, ACheckThatCannotBeMadeIsNotAVerdict) {
  EXPECT_EQ(Check("C5to6Employee", shop.dir.File("missing.mdb")).exit_code, kCannotCheck);
  EXPECT_EQ(Check("C5to6Nothing", shop.source).exit_code, kCannotCheck);
  const auto wrong_login = RunCommand(Korvel() + " check --model C5to6Employee --source " + ShellQuote(shop.source) +
                                      " --server " + ShellQuote(shop.server) +
                                      " --user sa --password wrong --database Sales60");
  EXPECT_EQ(wrong_login.exit_code, kCannotCheck);
  EXPECT_NE(wrong_login.err.find("18456"), std::string::npos) << wrong_login.err;
}

TEST(MoneyUnits, CountsAnyNumberAsAMoneyColumnHoldsIt) {
  // The forecasts and the reconciliation sum in 1/10000; a float with more
  // decimals than money keeps is rounded as money rounds it, not dropped.
  EXPECT_EQ(assurance::MoneyUnits(com::Variant::Currency(123456)), 123456);
  EXPECT_EQ(assurance::MoneyUnits(com::Variant::I4(5)), 50000);
  EXPECT_EQ(assurance::MoneyUnits(com::Variant::R8(1.23456)), 12346);
  EXPECT_EQ(assurance::MoneyUnits(com::Variant::R8(-0.00005)), -1);
  EXPECT_EQ(assurance::MoneyUnits(com::Variant::Null()), 0);
}

}  // namespace
