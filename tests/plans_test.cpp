// The department and employee plans: their packages as the tables define
// them, and their runs end to end on the embedded server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "cli/source_schema.h"
#include "cli/tsv.h"
#include "library/builder/defined_plan.h"
#include "library/interface/ipackage.h"
#include "library/interface/report_sink.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
#include "platform/dts/datapump.h"
#include "platform/dts/events.h"
#include "platform/dts/dump.h"
#include "platform/jet/reader.h"
#include "platform/jet/writer.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/reports.h"
#include "tests/support/shop.h"

namespace {

using com::Variant;
using testing_support::TempDir;

std::shared_ptr<korvel::IPackage> Plan(const std::string& name) { return testing_support::CreatePlan(name); }

void Descriptors(korvel::CConnection& src, korvel::CConnection& dst, const std::string& file, const std::string& server,
                 const std::string& database) {
  testing_support::FillDescriptors(src, dst, file, server, database);
}

TEST(PlanPackages, MatchTheirTablesLineForLine) {
  struct Golden {
    const char* plan;
    const char* database;
    const char* file;
    int tasks;
  };
  const Golden kGolden[] = {
      {"C5to6Depart", "Sales60", "C5to6Depart.dump", 2},
      {"C5to6Employee", "Sales60", "C5to6Employee.dump", 2},
      {"C5to6CustSuppNoWriteAccount", "Sales60", "C5to6CustSuppNoWriteAccount.dump", 6},
      {"C5to6CustSuppNoWriteAccount", "Sales]60 x", "C5to6CustSuppNoWriteAccount.odd-name.dump", 6},
      {"C5to6CustSuppWriteAccount", "Sales60", "C5to6CustSuppWriteAccount.dump", 14},
      {"C5to6CustSuppWriteAccount", "Sales]60 x", "C5to6CustSuppWriteAccount.odd-name.dump", 14},
      {"C5to6GoodsNoWriteCustody", "Sales60", "C5to6GoodsNoWriteCustody.dump", 8},
      {"C5to6GoodsNoWriteCustody", "Sales]60 x", "C5to6GoodsNoWriteCustody.odd-name.dump", 8},
      {"C5to6GoodsWriteCustody", "Sales60", "C5to6GoodsWriteCustody.dump", 16},
      {"C5to6GoodsWriteCustody", "Sales]60 x", "C5to6GoodsWriteCustody.odd-name.dump", 16},
      {"C5to6Normal", "Sales60", "C5to6Normal.dump", 22},
      {"C5to6Normal", "Sales]60 x", "C5to6Normal.odd-name.dump", 22},
      {"C5to6SpecialPack", "Sales60", "C5to6SpecialPack.dump", 21},
      {"C5to6SpecialPack", "Sales]60 x", "C5to6SpecialPack.odd-name.dump", 21},
  };
  for (const Golden& g : kGolden) {
    auto plan = Plan(g.plan);
    korvel::CConnection src, dst;
    Descriptors(src, dst, "/data/shop56.mdb", "SHOPSERVER", g.database);
    plan->KorvelInit(src, dst);
    const std::string expected = testing_support::ReadFile(testing_support::TestDataDir() + "/../golden/" + g.file);
    ASSERT_FALSE(expected.empty()) << g.file;
    const std::string actual = dts::DumpPackage(*plan->GetPackage());
    EXPECT_EQ(actual, expected) << g.file;
    if (actual != expected) {
      testing_support::WriteFile(testing_support::BinDir() + "/" + g.file + ".actual", actual);
      ADD_FAILURE() << "the package differs from " << g.file << "; see " << g.file << ".actual beside the tests";
    }
    EXPECT_EQ(plan->GetPackage()->Tasks().Count(), g.tasks) << g.plan;
  }
}

TEST(PlanPackages, KeepAnOddDatabaseNameInNamesAndSafeInSql) {
  auto plan = Plan("C5to6Depart");
  korvel::CConnection src, dst;
  Descriptors(src, dst, "/data/shop56.mdb", "SHOPSERVER", "a]b c'; drop table x --");
  plan->KorvelInit(src, dst);
  auto pkg = plan->GetPackage();
  EXPECT_EQ(pkg->Steps().Item(1).Name(), "清除 [a]b c'; drop table x --].[dbo].[Depart] 中的数据");
  EXPECT_EQ(pkg->Steps().Item(2).Name(), "导入数据到 [a]b c'; drop table x --].[dbo].[Depart]");
  EXPECT_EQ(pkg->Tasks().Item(1).GetCustomTask().GetText("SQLStatement"),
            "delete from [a]]b c'; drop table x --].[dbo].[Depart]");
  EXPECT_EQ(pkg->Tasks().Item(2).GetCustomTask().GetText("DestinationObjectName"),
            "[a]]b c'; drop table x --].[dbo].[Depart]");
}

// An embedded server with a 6.0 database, a 5.6 sample, and a report sink.
class PlanRun : public ::testing::Test {
 protected:
  // Runs a plan; returns the error KorvelExec raised ("" when none).
  // `events`, when given, hears the package's events.
  std::string Run(const std::string& name, const std::string& source, dts::PackageEvents* events = nullptr) {
    auto plan = Plan(name);
    korvel::CConnection src, dst;
    Descriptors(src, dst, source, shop.server, "Sales60");
    plan->KorvelInit(src, dst);
    std::optional<dts::EventLink> link;
    if (events) link.emplace(plan->GetPackage(), events);
    try {
      plan->KorvelExec();
      return "";
    } catch (const com::Error& e) {
      return e.description();
    }
  }

  // A package "P" built by hand, with the shop's source (shop.mdb in the
  // shop's folder) and Sales60 as its connections, for a test's own steps.
  std::shared_ptr<dts::Package> HandBuiltPackage() {
    auto pkg = dts::Package::Create();
    korvel::CConnection src, dst;
    Descriptors(src, dst, dir.File("shop.mdb"), shop.server, "Sales60");
    korvel::builder::SetPackageTable(*pkg, "P", "test");
    korvel::builder::AddSourceConnection(*pkg, src);
    korvel::builder::AddDestinationConnection(*pkg, dst);
    return pkg;
  }

  std::vector<std::string> Dest(const std::string& sql) { return shop.Query(sql); }

  std::vector<std::string> Source(const std::string& path, const std::string& sql) {
    jet::Database db(path);
    return testing_support::TsvLines(*db.Query(sql));
  }

  testing_support::EmbeddedShop shop;
  const TempDir& dir = shop.dir;
  const std::string& file = shop.database_file;
  std::shared_ptr<testing_support::RecordingSink> sink = std::make_shared<testing_support::RecordingSink>();
  korvel::ScopedReportSink sink_installed{sink};
};

TEST_F(PlanRun, DepartmentsArriveWithTheirIdsAndTheTableDefaults) {
  ASSERT_EQ(Run("C5to6Depart", dir.File("shop.mdb")), "");
  EXPECT_TRUE(sink->reports.empty());
  const std::string columns = "`DepID`,`Class`,`DepCode`,`DepName`";
  auto expected = Source(dir.File("shop.mdb"), "select " + columns + " from `Depart`");
  auto actual = Dest("select DepID, Class, DepCode, DepName from Depart order by DepID");
  std::sort(expected.begin(), expected.end());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual, expected);
  // Computer, Operator and OpTime are not transferred: the table's defaults fill them.
  EXPECT_EQ(Dest("select count(*) from Depart where Computer is null or Operator <> 'sa' or OpTime is null"),
            (std::vector<std::string>{"0"}));
  // A second run leaves the same rows, not twice as many.
  ASSERT_EQ(Run("C5to6Depart", dir.File("shop.mdb")), "");
  EXPECT_EQ(Dest("select count(*) from Depart"), (std::vector<std::string>{std::to_string(expected.size())}));
}

TEST_F(PlanRun, EmployeesArriveWithEveryValueAndLeaveDepartmentsAlone) {
  ASSERT_EQ(Run("C5to6Depart", dir.File("shop.mdb")), "");
  const auto departs = Dest("select * from Depart");
  ASSERT_EQ(Run("C5to6Employee", dir.File("shop.mdb")), "");
  EXPECT_EQ(Dest("select * from Depart"), departs);
  const std::string columns =
      "DepID,Class,Code,Name,Sex,Nation,Birthy,IDNo,CalLevel,Zch,Zw,WorkDate,ToDate,Tel,Bp,Address,PostCode,Remark";
  std::string quoted;
  for (char c : columns) quoted += c == ',' ? std::string("`,`") : std::string(1, c);
  auto expected = Source(dir.File("shop.mdb"), "select `" + quoted + "` from `Employee`");
  auto actual = Dest("select " + columns + " from Employee");
  std::sort(expected.begin(), expected.end());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual, expected);
}

TEST_F(PlanRun, ANullEmployeeNameFailsTheStepAndUndoesTheClearing) {
  ASSERT_EQ(Run("C5to6Employee", dir.File("shop.mdb")), "");
  const auto before = Dest("select * from Employee order by Code");
  ASSERT_FALSE(before.empty());
  // A source whose third employee has no name.
  const std::string bad = shop.WriteNamelessEmployeeSource("bad.mdb");
  const std::string error = Run("C5to6Employee", bad);
  EXPECT_NE(error, "");
  ASSERT_EQ(sink->reports.size(), 1u);
  const std::string& report = sink->reports[0];
  EXPECT_EQ(report.rfind("导入数据到 [Sales60].[dbo].[Employee] failed\r\n", 0), 0u) << report;
  EXPECT_NE(report.find("第 3 行（Code=E3）"), std::string::npos) << report;
  EXPECT_NE(report.find("列“Name”"), std::string::npos) << report;
  EXPECT_NE(report.find("Cannot insert the value NULL into column 'Name'"), std::string::npos) << report;
  EXPECT_EQ(Dest("select * from Employee order by Code"), before);
}

// Rows are read and converted a batch ahead of the rows being written:
// whichever side fails, and wherever in the table, the failure names its
// row, and a cancel stops the transfer; the destination is left as it was.
TEST_F(PlanRun, FailuresAndCancelDeepInALargeTransferNameTheirRowAndLeaveNothing) {
  ASSERT_EQ(Run("C5to6Employee", dir.File("shop.mdb")), "");
  const auto before = Dest("select * from Employee order by Code");
  // `nameless` has no name (refused while converting), `duplicate`
  // repeats the first employee's code (refused by the destination).
  auto source = [&](const std::string& name, int rows, int nameless, int duplicate) {
    std::string tsv = "Code\tName\tDepID\n";
    for (int i = 1; i <= rows; ++i) {
      tsv += (i == duplicate ? std::string("E1") : "E" + std::to_string(i)) + "\t" +
             (i == nameless ? std::string("\\N") : "员工" + std::to_string(i)) + "\t1\n";
    }
    return shop.WriteSource(name, {{"Employee", tsv}});
  };
  struct Case {
    int nameless, duplicate;
    std::string row, column;
  };
  for (const Case& c : {Case{1234, 0, "第 1234 行（Code=E1234）", "列“Name”"},
                        Case{0, 1400, "第 1400 行（Code=E1）", "Violation of PRIMARY KEY"},
                        Case{1800, 1400, "第 1400 行（Code=E1）", "Violation of PRIMARY KEY"},
                        Case{1400, 1800, "第 1400 行（Code=E1400）", "列“Name”"}}) {
    SCOPED_TRACE(c.row);
    sink->reports.clear();
    EXPECT_NE(Run("C5to6Employee", source("bad.mdb", 2000, c.nameless, c.duplicate)), "");
    ASSERT_EQ(sink->reports.size(), 1u);
    EXPECT_NE(sink->reports[0].find(c.row), std::string::npos) << sink->reports[0];
    EXPECT_NE(sink->reports[0].find(c.column), std::string::npos) << sink->reports[0];
    EXPECT_EQ(Dest("select * from Employee order by Code"), before);
  }
  // A cancel at the first progress report stops the transfer there.
  struct CancelAtProgress : dts::PackageEvents {
    std::vector<std::string> progress;
    void OnProgress(const std::string&, const std::string& description, std::int32_t, std::int32_t,
                    std::int32_t) override {
      progress.push_back(description);
    }
    void OnQueryCancel(const std::string&, bool& cancel) override { cancel = !progress.empty(); }
  } canceller;
  sink->reports.clear();
  EXPECT_NE(Run("C5to6Employee", source("many.mdb", 5000, 0, 0), &canceller), "");
  EXPECT_EQ(canceller.progress, std::vector<std::string>{"已处理 1000 行"});
  EXPECT_EQ(Dest("select * from Employee order by Code"), before);
}

TEST(DataPumpScript, RunsOnlyColumnCopyScripts) {
  const std::string script =
      "'**********\r\n'  comment\r\nFunction Main()\r\n   DTSDestination(\"BaseID\") = DTSSource(\"BaseID\")\r\n"
      "   DTSDestination(\"PBalQua\") = DTSSource(\"BalQua\")\r\n   Main = DTSTransformStat_OK\r\nEnd Function";
  const auto pairs = dts::ParseCopyScript(script);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"PBalQua", "BalQua"}));
  for (const char* bad : {"Function Main()\r\n   DTSDestination(\"A\") = DTSSource(\"B\") * 2\r\n   Main = DTSTransformStat_OK\r\nEnd Function",
                          "Function Main()\r\n   CreateObject(\"WScript.Shell\").Run \"rm\"\r\nEnd Function",
                          "Function Main()\r\n   Main = DTSTransformStat_OK\r\n",
                          "Sub Main()\r\nEnd Sub"}) {
    EXPECT_THROW(dts::ParseCopyScript(bad), com::Error) << bad;
  }
}

// A hand-built transfer into a narrow column: truncation allowed by the
// transformation flags is done and counted; row limits hold in both forms.
TEST_F(PlanRun, CountsTruncatedValuesAndHonoursRowLimits) {
  sqlsrv::Engine(file, "Sales60", "sa").Execute("create table Narrow (Code nvarchar(20) not null, Name nvarchar(2) null)");
  static const korvel::builder::ColumnSettings kSource[] = {{"Code", 1, 74, 15, 130, false},
                                                            {"Name", 2, 106, 32, 130, true}};
  static const korvel::builder::ColumnSettings kDest[] = {{"Code", 1, 8, 20, 130, false},
                                                          {"Name", 2, 104, 2, 130, true}};
  auto run = [&](const Variant& last_row) {
    auto pkg = HandBuiltPackage();
    korvel::builder::AddStep(*pkg, {"clear", "clear", "clear", {}});
    korvel::builder::AddStep(*pkg, {"copy", "copy", "copy", {}});
    korvel::builder::AddConstraint(*pkg, "copy", "clear");
    korvel::builder::AddSQLTask(*pkg, "clear", "delete from Narrow");
    auto task = korvel::builder::NewDataPumpTask(*pkg, {.name = "copy", .source_sql = "select `Code`,`Name` from `Employee`",
                                                        .destination_object = "[Sales60].[dbo].[Narrow]",
                                                        .last_row = last_row});
    korvel::builder::AddTransformation(task->AsDataPump(), {.source = kSource, .destination = kDest});
    korvel::builder::AddTask(*pkg, task);
    pkg->Execute();
    return pkg->Steps().Item(2).statistics();
  };
  const auto all = run(Variant::Text("0"));
  EXPECT_EQ(all.rows_written, 12);
  ASSERT_EQ(all.truncations.size(), 1u);
  EXPECT_EQ(all.truncations[0].column, "Name");
  EXPECT_GT(all.truncations[0].count, 0);
  EXPECT_EQ(Dest("select count(*) from Narrow where len(Name) > 2"), (std::vector<std::string>{"0"}));
  EXPECT_EQ(run(Variant::I2(5)).rows_written, 5);
  EXPECT_EQ(run(Variant::Text("5")).rows_written, 5);
}

// A value that does not convert fails its row in the data pump, whatever
// the destination; the row is named by its key even when the key column
// comes after the failing one.
TEST_F(PlanRun, AValueThatDoesNotConvertNamesItsRowByItsKey) {
  sqlsrv::Engine(file, "Sales60", "sa")
      .Execute("create table Numbers (Name int null, Code nvarchar(20) not null, constraint PK_Numbers primary key (Code))");
  static const korvel::builder::ColumnSettings kSource[] = {{"Name", 1, 106, 32, 130, true},
                                                            {"Code", 2, 74, 15, 130, false}};
  static const korvel::builder::ColumnSettings kDest[] = {{"Name", 1, 120, 0, 3, true}, {"Code", 2, 8, 20, 130, false}};
  auto pkg = HandBuiltPackage();
  korvel::builder::AddStep(*pkg, {"copy", "copy", "copy", {}});
  auto task = korvel::builder::NewDataPumpTask(*pkg, {.name = "copy", .source_sql = "select `Name`,`Code` from `Employee`",
                                                      .destination_object = "[Sales60].[dbo].[Numbers]"});
  korvel::builder::AddTransformation(task->AsDataPump(), {.source = kSource, .destination = kDest});
  korvel::builder::AddTask(*pkg, task);
  EXPECT_THROW(pkg->Execute(), com::Error);
  const std::string error = pkg->Steps().Item(1).error_info().Description;
  EXPECT_EQ(pkg->Steps().Item(1).error_info().ErrorCode, 245) << error;
  EXPECT_NE(error.find("第 1 行（Code="), std::string::npos) << error;
  EXPECT_EQ(error.find("Code=NULL"), std::string::npos) << error;
  EXPECT_NE(error.find("的列“Name”"), std::string::npos) << error;
  EXPECT_EQ(Dest("select count(*) from Numbers"), (std::vector<std::string>{"0"}));
}

TEST_F(PlanRun, TheCommandLineRunReportsWithoutShowingPasswords) {
  const std::string korvel = testing_support::ShellQuote(testing_support::BinDir() + "/korvel");
  const std::string args = " --source " + testing_support::ShellQuote(dir.File("shop.mdb")) + " --server " +
                           testing_support::ShellQuote(shop.server) +
                           " --user sa --password-env KPW --database Sales60 --report " +
                           testing_support::ShellQuote(dir.File("r.json"));
  auto ok = testing_support::RunCommand("KPW=secret " + korvel + " run --model C5to6Depart" + args);
  ASSERT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_NE(ok.out.find("√ 导入数据到 [Sales60].[dbo].[Depart] 完成！"), std::string::npos) << ok.out;
  EXPECT_NE(ok.out.find("升级完成！"), std::string::npos);
  const std::string json = testing_support::ReadFile(dir.File("r.json"));
  EXPECT_NE(json.find("\"result\": \"success\""), std::string::npos);
  EXPECT_NE(json.find("\"rows_written\": 5"), std::string::npos) << json;
  for (const auto& text : {ok.out, ok.err, json}) EXPECT_EQ(text.find("secret"), std::string::npos);
  auto bad_login = testing_support::RunCommand("KPW=wrong " + korvel + " run --model C5to6Depart" + args);
  EXPECT_NE(bad_login.exit_code, 0);
  EXPECT_NE(bad_login.err.find("Login failed for user 'sa'."), std::string::npos);
  auto no_plan = testing_support::RunCommand("KPW=secret " + korvel + " run --model C5to6Nothing" + args);
  EXPECT_NE(no_plan.exit_code, 0);
  EXPECT_NE(no_plan.err.find("Korvel.C5to6Nothing"), std::string::npos);
}

}  // namespace
