// korvel's options and files as a hurried operator gives them: a folder
// where a file belongs, an option twice, a script saved with a byte-order
// mark, a server name with blanks or without a folder.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "platform/sqlserver/storage/sqlite.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

class CommandLine : public ::testing::Test {
 protected:
  std::string Korvel() const { return ShellQuote(testing_support::BinDir() + "/korvel"); }
  // `korvel run` of the department plan with `extra` options added.
  testing_support::CommandResult Run(const std::string& extra) const {
    return RunCommand("KPW=secret " + Korvel() + " run --model C5to6Depart --source " + ShellQuote(shop.source) +
                      " --server " + ShellQuote(shop.server) + " --user sa --password-env KPW --database Sales60" +
                      extra);
  }
  std::string Departments() const { return shop.Query("select count(*) from Depart").at(0); }

  testing_support::EmbeddedShop shop;
};

TEST_F(CommandLine, AReportThatCannotBeWrittenIsRefusedBeforeTheRun) {
  const std::string before = Departments();
  auto r = Run(" --report " + ShellQuote(shop.dir.path()));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("无法写报告文件"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");  // nothing ran
  EXPECT_EQ(Departments(), before);
  r = Run(" --report " + ShellQuote(shop.dir.File("r.json")));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(testing_support::ReadFile(shop.dir.File("r.json")).find("\"result\": \"success\""), std::string::npos);
}

TEST_F(CommandLine, AnOptionGivenTwiceIsRefused) {
  const std::string before = Departments();
  auto r = Run(" --database Other");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("选项 --database 给了不止一次"), std::string::npos) << r.err;
  EXPECT_EQ(Departments(), before);
}

TEST_F(CommandLine, AnOptionACommandDoesNotTakeIsRefusedBeforeAnythingRuns) {
  const std::string before = Departments();
  auto r = Run(" --quiet");  // sample's switch, not run's
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("未知选项 --quiet"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Departments(), before);
  // For check, 1 and 2 are verdicts: a check that was not made is 3.
  r = RunCommand(Korvel() + " check --model C5to6Depart --source " + ShellQuote(shop.source) + " --scale 2");
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.err.find("未知选项 --scale"), std::string::npos) << r.err;
}

TEST_F(CommandLine, ServerNamesAreTakenAsTheWizardTakesThem) {
  // Blanks around the name go; a folderless "file:" is no server.
  auto r = RunCommand("KPW=secret " + Korvel() + " run --model C5to6Depart --source " + ShellQuote(shop.source) +
                      " --server " + ShellQuote("  " + shop.server + " ") + " --user sa --password-env KPW --database Sales60");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand(Korvel() + " sql --server file: --user sa --password x 'select 1'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("错误 17"), std::string::npos) << r.err;
  r = RunCommand(Korvel() + " sql --server '  ' --user sa --password x 'select 1'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("--server 是空的"), std::string::npos) << r.err;
}

TEST_F(CommandLine, ScriptsMustBeFilesAndMayStartWithAByteOrderMark) {
  const std::string sql = Korvel() + " sql --server " + ShellQuote(shop.server) + " --user sa --password secret --database Sales60";
  auto r = RunCommand(sql + " --file " + ShellQuote(shop.dir.path()));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("是文件夹，不是文件"), std::string::npos) << r.err;
  r = RunCommand(Korvel() + " create-database --server " + ShellQuote(shop.server) +
                 " --database New --password secret --script " + ShellQuote(shop.dir.path()));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("是文件夹，不是文件"), std::string::npos) << r.err;
  testing_support::WriteFile(shop.dir.File("bom.sql"), "\xEF\xBB\xBFselect count(*) as n from Depart");
  r = RunCommand(sql + " --file " + ShellQuote(shop.dir.File("bom.sql")));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 2), "n\n");
}

TEST_F(CommandLine, AFailingCreationScriptLeavesNoDatabase) {
  testing_support::WriteFile(shop.dir.File("bad.sql"), "create table A (a int)\ncreate table A (a int)\n");
  const std::string create = Korvel() + " create-database --server " + ShellQuote(shop.server) +
                             " --database New --password secret --script ";
  auto r = RunCommand(create + ShellQuote(shop.dir.File("bad.sql")));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("数据库“New”没有建立"), std::string::npos) << r.err;
  // Not listed, so a second attempt is a first one.
  testing_support::WriteFile(shop.dir.File("good.sql"), "create table A (a int)\n");
  r = RunCommand(create + ShellQuote(shop.dir.File("good.sql")));
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST_F(CommandLine, SqlMakesAndDropsDatabasesAsTheServerDoes) {
  const std::string sql = Korvel() + " sql --server " + ShellQuote(shop.server) + " --user sa --password secret ";
  auto r = RunCommand(sql + ShellQuote("create database [Re hearsal]"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand(sql + "--database 'Re hearsal' " + ShellQuote("drop database [Re hearsal]"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("错误 3702"), std::string::npos) << r.err;
  r = RunCommand(sql + ShellQuote("drop database [Re hearsal];"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand(sql + ShellQuote("drop database [Re hearsal]"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("错误 3701"), std::string::npos) << r.err;
}

TEST_F(CommandLine, CheckDatabaseFindsWhatSqliteAloneCannotCheck) {
  const std::string check = Korvel() + " check-database --server " + ShellQuote(shop.server) +
                            " --user sa --password secret --database Sales60";
  auto r = RunCommand(check);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "ok\n");
  // A program that sorts text its own way (as a tool without the server's
  // collation might) writes an index out of order, and a row whose parent
  // is missing.
  {
    sqlsrv::Db raw(shop.database_file, false);
    sqlite3_create_collation(raw.get(), "VKCI", SQLITE_UTF8, nullptr,
                             [](void*, int na, const void* a, int nb, const void* b) {
                               return -std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(na))
                                           .compare(std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(nb)));
                             });
    raw.Exec("INSERT INTO Customer (UnitID, IsTrans, RegionID) VALUES ('ZZ1', 0, 999), ('ZZ2', 0, 999), ('ZZ3', 0, 999)");
  }
  r = RunCommand(check);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("table Customer, row"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("no row in Region that it refers to"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("missing from index"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("有问题"), std::string::npos);
}

}  // namespace
