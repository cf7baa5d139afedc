// The embedded SQL Server through its C++ interface: the T-SQL text
// reader, result columns' descriptions, logins, bulk load, streamed
// queries, sessions side by side, the driver, and the version 6.0
// database with the plans' procedures. Batches in, rows out are tests/sql.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/tsv.h"
#include "library/plans/procedures.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/types.h"
#include "tests/support/engine_test.h"
#include "tests/support/files.h"

namespace embedded {
extern const char kCreate60[];
}

namespace {

using com::Variant;
using testing_support::TempDir;
namespace plans = korvel::plans;

class SqlTest : public testing_support::EngineTest {
 protected:
  // The number of the error the batch raises, 0 when none.
  std::int32_t ErrorOf(const std::string& sql, std::string* message = nullptr) {
    try {
      db->Execute(sql);
      return 0;
    } catch (const com::Error& e) {
      if (message) *message = e.description();
      return e.number();
    }
  }
};

// A sql_variant's base type travels with a value as a code, and arrives
// from a client as its wire form: both give back the type itself, at the
// edges of each type's lengths and precisions; what is no base type has
// no code.
TEST(SqlVariantBase, EveryBaseTypeComesBackFromItsCodeAndItsWireForm) {
  using sqlsrv::ColumnType;
  using sqlsrv::SqlType;
  auto decimal = [](int p, int s, bool numeric) {
    ColumnType t{SqlType::kDecimal, 0, p, s};
    t.numeric = numeric;
    return t;
  };
  const std::vector<ColumnType> bases = {
      {SqlType::kBit},       {SqlType::kTinyInt},     {SqlType::kSmallInt},         {SqlType::kInt},
      {SqlType::kBigInt},    {SqlType::kReal},        {SqlType::kFloat},            {SqlType::kMoney},
      {SqlType::kSmallMoney}, {SqlType::kDateTime},   {SqlType::kSmallDateTime},    {SqlType::kUniqueIdentifier},
      decimal(38, 38, false), decimal(1, 0, true),    decimal(10, 3, false),        {SqlType::kChar, 1},
      {SqlType::kVarChar, 8000}, {SqlType::kNChar, 4000}, {SqlType::kNVarChar, 1},  {SqlType::kBinary, 8000},
      {SqlType::kVarBinary, 1}};
  for (const ColumnType& t : bases) {
    SCOPED_TRACE(sqlsrv::TypeDisplayName(t));
    const std::optional<ColumnType> back = sqlsrv::VariantBaseOfCode(sqlsrv::VariantBaseCode(t));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(sqlsrv::TypeDisplayName(*back), sqlsrv::TypeDisplayName(t));
    EXPECT_EQ(back->numeric, t.numeric);
    const sqlsrv::VariantWire wire = sqlsrv::VariantWireOf(t);
    const std::optional<ColumnType> sent = sqlsrv::VariantBaseOfWire(wire.tds_type, wire.max_length, wire.precision, wire.scale);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sqlsrv::TypeDisplayName(*sent), sqlsrv::TypeDisplayName(t));
  }
  EXPECT_FALSE(sqlsrv::VariantBaseOfCode(0).has_value());
  EXPECT_FALSE(sqlsrv::VariantBaseOfCode(sqlsrv::VariantBaseCode({SqlType::kText, -1})).has_value());
  EXPECT_FALSE(sqlsrv::VariantBaseOfCode(sqlsrv::VariantBaseCode({SqlType::kVarChar, -1})).has_value());
  EXPECT_FALSE(sqlsrv::VariantBaseOfWire(0x28, 3, 0, 0).has_value());  // DATEN, a date of TDS 7.3
  EXPECT_FALSE(sqlsrv::VariantBaseOfWire(0xA7, 0, 0, 0).has_value());  // varchar(0)
}

TEST(TSqlText, SplitsBatchesOnlyAtGoLines) {
  const auto batches = sqlsrv::SplitBatches(
      "select 1\nGO\n  go  \nselect 'a\nGO\nb'\n/* GO\n*/ select 2\ngo\n");
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0], "select 1\n");
  EXPECT_NE(batches[1].find("'a\nGO\nb'"), std::string::npos);
}

TEST(TSqlText, ReadsNamesLiteralsAndComments) {
  const auto t = sqlsrv::Tokenize("/* outer /* inner */ still */ [a]]b c].[dbo] N'it''s' -- rest\n" +
                                  std::string(130, '-') + "\n$12.50 1e3 .5");
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[0].text, "a]b c");
  EXPECT_EQ(t[2].text, "dbo");
  EXPECT_EQ(t[3].text, "it's");
  EXPECT_TRUE(t[3].national);
  EXPECT_EQ(t[4].kind, sqlsrv::TokKind::kMoney);
  EXPECT_EQ(t[5].kind, sqlsrv::TokKind::kFloat);
  EXPECT_EQ(t[6].kind, sqlsrv::TokKind::kDecimal);
}

TEST(TSqlText, ReportsSyntaxErrorsAsSqlServerDoes) {
  auto error = [](const std::string& sql) {
    try {
      sqlsrv::ParseBatch(sql);
      return std::string("(parsed)");
    } catch (const com::Error& e) {
      return std::to_string(e.number()) + " " + e.description();
    }
  };
  EXPECT_EQ(error("select * from where"), "156 Incorrect syntax near the keyword 'WHERE'.");
  EXPECT_EQ(error("delete from T where a = = 1"), "102 Incorrect syntax near '='.");
  EXPECT_EQ(error("select 'unclosed"), "102 Unclosed quotation mark before the character string near ''unclosed'.");
  EXPECT_EQ(error("select 1 create procedure p as select 1").substr(0, 3), "111");
  EXPECT_EQ(error("/* never closed"), "102 Unclosed comment near '/* never closed'.");
}

TEST_F(SqlTest, ARollbackLeavesTheDatabaseAsItWas) {
  Exec(embedded::kCreate60);
  auto snapshot = [&] {
    std::string all;
    for (const char* t : {"Customer", "Region", "SheetType", "Version", "sysobjects"}) {
      for (const auto& r : Rows(std::string("select * from ") + t)) all += r + "\n";
    }
    return all;
  };
  const std::string before = snapshot();
  db->BeginTransaction();
  Exec("insert into Region (Class, RegCode, RegName) values ('x', 'r', 'n') delete from SheetType "
       "create table Extra (a int)");
  Exec("create procedure P1 as select 1");
  db->Rollback();
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(ErrorOf("select * from Extra"), 208);
}

TEST_F(SqlTest, RunsProceduresInAClientsTransactionAndDropsThemByThePlansText) {
  Exec("create table T (id int not null primary key)");
  Exec("/* a comment first */\r\nCREATE PROCEDURE P1 AS \r\nBEGIN TRANSACTION\r\ninsert into T (id) values (1)\r\nCOMMIT");
  EXPECT_EQ(ErrorOf("create procedure P1 as select 1"), 2714);
  // Inside an outer transaction the procedure's COMMIT only counts.
  db->BeginTransaction();
  Exec("Execute P1");
  EXPECT_EQ(db->trancount(), 1);
  db->Rollback();
  EXPECT_EQ(One("select count(*) from T"), "0");
  Exec("exec P1");
  EXPECT_EQ(One("select count(*) from T"), "1");
  // A procedure for the plans' drop text below (what errors inside one end
  // is procedures.test's).
  Exec("create procedure P2 as insert into T (id) values (5) insert into T (id) values (1) insert into T (id) values (6)");
  // The drop text of the plans: a no-op when absent, a drop when present.
  Exec(plans::DropProcedureSql("P2"));
  Exec(plans::DropProcedureSql("P2"));
  EXPECT_EQ(ErrorOf("exec P2"), 2812);
}

TEST_F(SqlTest, NoNameOrValueCanInjectAStatement) {
  server->CreateDatabase("a]b c");
  sqlsrv::Engine odd(*server->DatabaseFile("a]b c"), "a]b c", "sa");
  odd.Execute("create table [x]]y] ([it's] nvarchar(50) null)");
  odd.Execute("insert into [a]]b c].[dbo].[x]]y] ([it's]) values (N'''; drop table [x]]y] --')");
  sqlsrv::BatchOutput out;
  odd.Execute("select [it's] from [a]]b c]..[x]]y]", &out);
  ASSERT_EQ(out.results.at(0).rows.size(), 1u);
  EXPECT_EQ(out.results[0].rows[0][0].text(), "'; drop table [x]]y] --");  // brackets are not special in text
  const auto names = server->DatabaseNames();
  EXPECT_EQ(names, (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Sales60", "a]b c"}));
  // Every database file stays inside the server folder.
  for (const auto& n : names) {
    EXPECT_EQ(std::filesystem::path(*server->DatabaseFile(n)).parent_path(), std::filesystem::path(dir.File("srv")));
  }
  EXPECT_THROW(server->CreateDatabase("A]B C"), com::Error);  // names ignore case
  EXPECT_THROW(server->CreateDatabase(""), com::Error);
}

TEST_F(SqlTest, LoginsFailLikeSqlServer) {
  std::string message;
  try {
    server->Authenticate("sa", "wrong");
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 18456);
    message = e.description();
  }
  EXPECT_EQ(message, "Login failed for user 'sa'.");
  EXPECT_THROW(server->Authenticate("nobody", "pw"), com::Error);
  EXPECT_NO_THROW(server->Authenticate("SA", "pw"));
  server->AddLogin("clerk", "秘密");
  EXPECT_NO_THROW(server->Authenticate("clerk", "秘密"));
  EXPECT_THROW(sqlsrv::Server::CreateOrOpen(dir.File("srv"), "not the sa password"), com::Error);
  EXPECT_THROW(sqlsrv::Server(dir.File("nothing here")), com::Error);
  // The stored password is a salted hash, not the password.
  EXPECT_EQ(testing_support::ReadFile(dir.File("srv/server.sqlite3")).find("秘密"), std::string::npos);
}

TEST_F(SqlTest, ALoginIsCheckedSlowlyOnceAndOnlyTheSamePasswordIsAcceptedFromMemory) {
  const auto checks = [] { return sqlsrv::PasswordHashChecks(); };
  server->AddLogin("clerk", "一");
  std::int64_t before = checks();
  EXPECT_NO_THROW(server->Authenticate("clerk", "一"));
  EXPECT_NO_THROW(server->Authenticate("CLERK", "一"));
  EXPECT_NO_THROW(sqlsrv::Server(dir.File("srv")).Authenticate("clerk", "一"));
  EXPECT_EQ(checks() - before, 1);
  // A wrong password, or an unknown user, always gets the full check.
  before = checks();
  EXPECT_THROW(server->Authenticate("clerk", "一 "), com::Error);
  EXPECT_THROW(server->Authenticate("clerk", ""), com::Error);
  EXPECT_THROW(server->Authenticate("nobody", "一"), com::Error);
  EXPECT_EQ(checks() - before, 3);
  // Another server in the same place, whose clerk has another password:
  // the password remembered for the old one is refused.
  server.reset();
  db.reset();  // nothing may hold a file open in a folder Windows removes
  std::filesystem::remove_all(dir.File("srv"));
  server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
  server->AddLogin("clerk", "二");
  EXPECT_THROW(server->Authenticate("clerk", "一"), com::Error);
  EXPECT_NO_THROW(server->Authenticate("clerk", "二"));
}

TEST_F(SqlTest, BulkLoadsKeepingOrGeneratingIdentityAndUndoesAnUnfinishedLoad) {
  Exec("create table B (id int identity(1,1) not null primary key, name nvarchar(10) not null, amo money null, d datetime null)");
  {
    auto w = db->OpenBulkLoad("[Sales60].[dbo].[B]", {"id", "name", "amo", "d"}, {.keep_identity = true});
    w->Write({Variant::I4(7), Variant::Text("七"), Variant::Currency(12345), Variant::Date(com::OleDateFromCivil({2007, 1, 23, 8, 0, 0, 0}))});
    w->Write({Variant::I4(3), Variant::Text("三"), Variant::Null(), Variant::Null()});
    w->Finish();
  }
  {
    auto w = db->OpenBulkLoad("B", {"name"}, {});
    w->Write({Variant::Text("八")});
    w->Finish();
  }
  EXPECT_EQ(Rows("select id, name, amo, d from B order by id"),
            (std::vector<std::string>{"3\t三\t\\N\t\\N", "7\t七\t1.2345\t2007-01-23 08:00:00", "8\t八\t\\N\t\\N"}));
  {
    auto w = db->OpenBulkLoad("B", {"name"}, {});
    w->Write({Variant::Text("kept?")});
    EXPECT_THROW(w->Write({Variant::Null()}), com::Error);  // name does not allow null
  }  // destroyed unfinished
  EXPECT_EQ(One("select count(*) from B"), "3");
  EXPECT_THROW(db->OpenBulkLoad("B", {"id"}, {}), com::Error);       // identity values need keep_identity
  EXPECT_THROW(db->OpenBulkLoad("B", {"nope"}, {}), com::Error);
  const auto cols = db->DescribeTable("[Sales60].[dbo].[B]");
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_TRUE(cols[0].is_identity);
  EXPECT_EQ(cols[1].size, 10u);
  EXPECT_FALSE(cols[1].nullable);
}

// char(n) and nchar(n) loaded in bulk, a row at a time or a batch at once,
// hold their values padded with blanks to n, as INSERT stores them; a
// varchar beside them keeps its text as it is.
TEST_F(SqlTest, BulkLoadsPadCharAndNcharToTheirLength) {
  Exec("create table Fixed (id int not null primary key, c char(5) null, n nchar(3) null, v varchar(5) null)");
  const std::vector<std::string> columns{"id", "c", "n", "v"};
  std::vector<dts::Row> rows{{Variant::I4(1), Variant::Text("ab"), Variant::Text("北"), Variant::Text("ab")},
                             {Variant::I4(2), Variant::Text("abcde"), Variant::Text(""), Variant::Null()}};
  {
    auto one = db->OpenBulkLoad("Fixed", columns, {});
    one->Write(rows[0]);
    one->Finish();
    rows.erase(rows.begin());
    auto many = db->OpenBulkLoad("Fixed", columns, {});
    std::size_t written = 0;
    many->WriteRows(rows.data(), rows.size(), &written);
    EXPECT_EQ(written, 1u);
    many->Finish();
  }
  EXPECT_EQ(Rows("select id, '[' + c + ']', '[' + n + ']', datalength(c), datalength(n), datalength(v) from Fixed order by id"),
            (std::vector<std::string>{"1\t[ab   ]\t[北  ]\t5\t6\t2", "2\t[abcde]\t[   ]\t5\t6\t\\N"}));
}

// A batch of rows goes in by one statement: stored exactly as the same rows
// one by one, and a failing row is found, named and stops the batch with
// the rows before it stored.
TEST_F(SqlTest, BulkLoadsABatchAsRowByRowAndStopAtTheRowThatFails) {
  Exec("create table P (id int not null primary key); insert into P values (1)");
  for (const char* t : {"One", "Many"}) {
    Exec(std::string("create table ") + t + " (id int identity(1,1) not null primary key, "
         "name nvarchar(10) not null unique, code varchar(4) null, amo money null, f float null, "
         "d datetime null, flag bit null, n int null default 5, b varbinary(4) null, "
         "p int null, foreign key (p) references P (id))");
  }
  const auto date = Variant::Date(com::OleDateFromCivil({2026, 12, 10, 8, 30, 0, 0}));
  const std::vector<std::string> columns{"name", "code", "amo", "f", "d", "flag", "n", "b", "p"};
  std::vector<dts::Row> rows{
      {Variant::Text("甲"), Variant::Text(""), Variant::Currency(-12345), Variant::R8(0.1), date, Variant::Bool(true),
       Variant::Null(), Variant::Bytes(std::string("\0\x01", 2)), Variant::I4(1)},
      {Variant::Text("乙"), Variant::Null(), Variant::Text("7.5"), Variant::Text("1e3"), Variant::Text("2026-01-02"),
       Variant::I4(0), Variant::Text("12"), Variant::Bytes(""), Variant::Null()},
      {Variant::Text("丙"), Variant::Text("é"), Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(),
       Variant::I4(-3), Variant::Null(), Variant::Null()}};
  {
    auto one = db->OpenBulkLoad("One", columns, {});
    for (const auto& row : rows) one->Write(row);
    one->Finish();
    auto many = db->OpenBulkLoad("Many", columns, {});
    std::size_t written = 0;
    many->WriteRows(rows.data(), rows.size(), &written);
    EXPECT_EQ(written, 3u);
    many->Finish();
  }
  const std::string each = "select id, name, code, amo, f, d, flag, n, b, p, datalength(code), datalength(b) from ";
  EXPECT_EQ(Rows(each + "Many order by id"), Rows(each + "One order by id"));
  EXPECT_EQ(Rows("select id, name, code, n, datalength(code) from Many where id < 3 order by id"),
            (std::vector<std::string>{"1\t甲\t\t\\N\t0", "2\t乙\t\\N\t12\t\\N"}));

  // A key, a value and a foreign key, each failing in the middle of a batch.
  auto row = [](const char* name, Variant n, Variant p) {
    return dts::Row{Variant::Text(name), Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(),
                    Variant::Null(), std::move(n), Variant::Null(), std::move(p)};
  };
  struct Case {
    std::vector<dts::Row> rows;
    std::int32_t number;
    std::string column;  // the column named, "" for the row
    std::size_t stored;  // the rows before the failing one
  };
  const std::vector<Case> cases{
      {{row("丁", Variant::Null(), Variant::Null()), row("戊", Variant::Null(), Variant::Null()),
        row("甲", Variant::Null(), Variant::Null()), row("己", Variant::Null(), Variant::Null())},
       sqlsrv::kDuplicateKey, "", 2},
      {{row("丁", Variant::I4(1), Variant::Null()), row("戊", Variant::Text("x"), Variant::Null()),
        row("己", Variant::Null(), Variant::Null())},
       sqlsrv::kConversion, "n", 1},
      {{row("丁", Variant::Null(), Variant::I4(1)), row("戊", Variant::Null(), Variant::Null()),
        row("庚", Variant::Null(), Variant::I4(1)), row("己", Variant::Null(), Variant::I4(2))},
       sqlsrv::kConstraint, "p", 3}};
  for (const Case& c : cases) {
    Exec("delete from Many where id > 3");
    auto load = db->OpenBulkLoad("Many", columns, {});
    std::size_t written = 99;
    try {
      load->WriteRows(c.rows.data(), c.rows.size(), &written);
      ADD_FAILURE() << "no error for " << c.number;
    } catch (const com::Error& e) {
      EXPECT_EQ(e.number(), c.number) << e.description();
    }
    EXPECT_EQ(load->FailedColumn(), c.column);
    // Stored: the rows before the failing one, with the identities they
    // would have had one by one, and nothing after it.
    EXPECT_EQ(written, c.stored);
    EXPECT_EQ(One("select count(*) from Many where id > 3"), std::to_string(c.stored));
    load->Finish();
  }
  EXPECT_EQ(Rows("select id, name from Many where id > 3 order by id"),
            (std::vector<std::string>{"7\t丁", "8\t戊", "9\t庚"}));
}

// A load's values usually come converted to their columns' types and are
// stored as given; anything else is still converted and checked.
TEST_F(SqlTest, BulkLoadsStoreTypedValuesAsGivenAndConvertOrRefuseTheRest) {
  Exec("create table L (k varchar(4) not null primary key, n nvarchar(3) null, i int null, t tinyint null, "
       "b bit null, m smallmoney null, f float null, r real null)");
  auto load = [&](std::vector<Variant> row) {
    auto w = db->OpenBulkLoad("L", {"k", "n", "i", "t", "b", "m", "f", "r"}, {});
    w->Write(row);
    w->Finish();
  };
  load({Variant::Text("a"), Variant::Text("三个字"), Variant::I4(-7), Variant::UI1(255), Variant::Bool(true),
        Variant::Currency(-12345), Variant::R8(0.5), Variant::R4(1.5f)});
  // Other types convert as a statement converts them.
  load({Variant::Text("b"), Variant::I4(12), Variant::Text("34"), Variant::I4(200), Variant::I4(5),
        Variant::Text("1.23456"), Variant::Text("2.5"), Variant::R8(0.25)});
  // Single-byte text the code page cannot hold becomes '?'; a value of the
  // key column that differs only in case is the same key.
  load({Variant::Text("c\xF0\x9F\x98\x80"), Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(),
        Variant::Null(), Variant::Null(), Variant::Null()});
  EXPECT_EQ(Rows("select k, n, i, t, b, m, f, r from L order by k"),
            (std::vector<std::string>{"a\t三个字\t-7\t255\t1\t-1.2345\t0.5\t1.5",
                                      "b\t12\t34\t200\t1\t1.2346\t2.5\t0.25", "c?\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N"}));
  // Too long for the column, out of range, or a duplicate: refused.
  auto error_of = [&](std::vector<Variant> row) {
    try {
      load(std::move(row));
      return 0;
    } catch (const com::Error& e) {
      return e.number();
    }
  };
  const Variant null = Variant::Null();
  EXPECT_EQ(error_of({Variant::Text("d"), Variant::Text("四个字符"), null, null, null, null, null, null}), 8152);
  EXPECT_EQ(error_of({Variant::Text("abcde"), null, null, null, null, null, null, null}), 8152);
  EXPECT_EQ(error_of({Variant::Text("e"), null, null, Variant::I4(256), null, null, null, null}), 220);
  EXPECT_EQ(error_of({Variant::Text("e"), null, null, null, null, Variant::Currency(2147483648LL), null, null}), 8115);
  EXPECT_EQ(error_of({Variant::Text("A"), null, null, null, null, null, null, null}), 2627);
  EXPECT_EQ(One("select count(*) from L"), "3");
}

// A load's transaction writes its rows once, keeping its undo journal
// beside the file, when it has the database to itself; the database is in
// write-ahead logging before and after, and the transaction is as atomic
// as any, a process that dies in it included.
TEST_F(SqlTest, ALoadTransactionWritesOnceAndStaysAtomic) {
  auto journal_mode = [&] {
    sqlsrv::Db raw(file, false);
    sqlsrv::Prepared mode(raw, "PRAGMA journal_mode");
    mode.Step();
    return std::string(mode.Text(0));
  };
  Exec("create table L (id int not null primary key, name nvarchar(40) not null)");
  auto load = [](sqlsrv::Engine& engine, int from, int to) {
    auto w = engine.OpenBulkLoad("L", {"id", "name"}, {});
    for (int i = from; i < to; ++i) w->Write({Variant::I4(i), Variant::Text("第 " + std::to_string(i) + " 行的名字")});
    w->Finish();
  };
  db.reset();
  {
    sqlsrv::Engine engine(file, "Sales60", "sa");
    engine.BeginLoadTransaction();
    load(engine, 0, 20000);
    EXPECT_TRUE(std::filesystem::exists(file + "-journal"));
    EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
    engine.Commit();
    EXPECT_EQ(journal_mode(), "wal");
    // Rolled back, it leaves nothing.
    engine.BeginLoadTransaction();
    load(engine, 20000, 40000);
    engine.Rollback();
    EXPECT_EQ(journal_mode(), "wal");
  }
#ifndef _WIN32  // the process is a fork of the test's
  // A process that dies inside the load leaves a journal the next
  // connection rolls back.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlsrv::Engine engine(file, "Sales60", "sa");
    engine.BeginLoadTransaction();
    load(engine, 40000, 200000);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
#endif
  db = std::make_unique<sqlsrv::Engine>(file, "Sales60", "sa");
  EXPECT_EQ(One("select count(*), min(id), max(id) from L"), "20000\t0\t19999");
  // With another connection open, the load keeps the log, and the other
  // connection reads what was committed while the load goes on.
  sqlsrv::Engine loader(file, "Sales60", "sa");
  loader.BeginLoadTransaction();
  load(loader, 20000, 30000);
  EXPECT_EQ(One("select count(*) from L"), "20000");
  loader.Commit();
  EXPECT_EQ(One("select count(*) from L"), "30000");
  EXPECT_EQ(journal_mode(), "wal");
  EXPECT_EQ(One("select count(*) from L where name = N'第 29999 行的名字'"), "1");
}

TEST_F(SqlTest, ServesPackageConnectionsThroughTheDriver) {
  dts::ConnectionSpec connection;
  connection.provider = "SQLOLEDB";
  connection.data_source = "file:" + dir.File("srv");
  connection.user_id = "sa";
  connection.password = "pw";
  connection.catalog = "sales60";
  auto session = dts::FindDriver("SQLOLEDB")->Open(connection);
  session->ExecuteBatch("create table X (a int null)", 0);
  session->BeginTransaction();
  session->ExecuteBatch("insert into X (a) values (1)", 0);
  session->Rollback();
  auto rows = session->Query("select count(*) as n from X");
  dts::Row row;
  ASSERT_TRUE(rows->Next(row));
  EXPECT_EQ(row[0].ToInt64(), 0);
  connection.catalog = "NoSuchDb";
  EXPECT_THROW(dts::FindDriver("SQLOLEDB")->Open(connection), com::Error);
  connection.catalog = "Sales60";
  connection.password = "bad";
  EXPECT_THROW(dts::FindDriver("SQLOLEDB")->Open(connection), com::Error);
  connection.data_source = "SHOPSERVER";
  try {
    dts::FindDriver("SQLOLEDB")->Open(connection);
    FAIL();
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 17);
  }
  sqlsrv::AdminClient admin;
  admin.Connect("file:" + dir.File("srv"), "sa", "pw", 30);
  EXPECT_EQ(admin.Databases().back(), "Sales60");
  admin.Disconnect();
  EXPECT_FALSE(admin.connected());
}

// ------------------------------------------------------------ metadata, catalog views, locks

// The columns of the first result of a batch.
std::vector<sqlsrv::OutputColumn> ColumnsOf(sqlsrv::Engine& engine, const std::string& sql) {
  sqlsrv::BatchOutput out;
  engine.Execute(sql, &out);
  return out.results.at(0).columns;
}

TEST_F(SqlTest, ResultColumnsSayWhetherTheyAllowNullsAndAreIdentity) {
  Exec("create table Probe (ProbeID int identity(1,1) not null, Code nvarchar(20) not null, Price money null, "
       "constraint PK_Probe primary key (ProbeID))");
  // As bcp clients and drivers describe a table.
  const auto star = ColumnsOf(*db, "SET FMTONLY ON SELECT * FROM [Sales60].[dbo].[Probe] SET FMTONLY OFF");
  ASSERT_EQ(star.size(), 3u);
  EXPECT_FALSE(star[0].nullable);
  EXPECT_TRUE(star[0].identity);
  EXPECT_FALSE(star[1].nullable);
  EXPECT_FALSE(star[1].identity);
  EXPECT_TRUE(star[2].nullable);
  EXPECT_FALSE(star[2].identity);
  // A column read as it is keeps both; an expression may be NULL and is no
  // identity column.
  const auto named = ColumnsOf(*db, "select Code, p.ProbeID, ProbeID + 0, isnull(Price, 0), Code + 'x' from Probe p");
  ASSERT_EQ(named.size(), 5u);
  EXPECT_FALSE(named[0].nullable);
  EXPECT_FALSE(named[1].nullable);
  EXPECT_TRUE(named[1].identity);
  for (std::size_t i = 2; i < named.size(); ++i) {
    EXPECT_TRUE(named[i].nullable) << i;
    EXPECT_FALSE(named[i].identity) << i;
  }
  // A derived table passes its columns' properties on; the inner side of a
  // LEFT JOIN may be NULL whatever its column says.
  const auto derived = ColumnsOf(*db, "select d.ProbeID, d.Code from (select ProbeID, Code from Probe) d");
  EXPECT_TRUE(derived.at(0).identity);
  EXPECT_FALSE(derived.at(0).nullable);
  EXPECT_FALSE(derived.at(1).nullable);
  const auto joined =
      ColumnsOf(*db, "select a.Code, b.Code, b.* from Probe a left join Probe b on b.ProbeID = a.ProbeID + 1");
  ASSERT_EQ(joined.size(), 5u);
  EXPECT_FALSE(joined[0].nullable);
  for (std::size_t i = 1; i < joined.size(); ++i) EXPECT_TRUE(joined[i].nullable) << i;
  // A streamed query describes its columns alike.
  auto reader = db->Query("select ProbeID, Code, Price from Probe");
  const auto& info = reader->columns();
  ASSERT_EQ(info.size(), 3u);
  EXPECT_TRUE(info[0].is_identity);
  EXPECT_FALSE(info[0].nullable);
  EXPECT_FALSE(info[1].is_identity);
  EXPECT_FALSE(info[1].nullable);
  EXPECT_TRUE(info[2].nullable);
}

// A streamed query keeps to the session's SET ROWCOUNT and SET TEXTSIZE, as
// a SELECT in a batch does: ntext counts two bytes a character.
TEST_F(SqlTest, AStreamedQueryKeepsToTheSessionsRowcountAndTextsize) {
  Exec("create table L (id int not null primary key, t ntext null)");
  Exec("insert into L values (1, N'abcdef') insert into L values (2, N'x') insert into L values (3, NULL)");
  Exec("set rowcount 2 set textsize 6");
  auto reader = db->Query("select id, t from L order by id");
  std::vector<std::string> got;
  for (dts::Row row; reader->Next(row);) got.push_back(row[0].ToText() + ":" + row[1].ToText());
  EXPECT_EQ(got, (std::vector<std::string>{"1:abc", "2:x"}));
}

class InformationSchemaTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    // A composite primary key whose columns are declared in another order
    // than the table's, a unique key and a foreign key.
    Exec("create table Unit (UnitID nvarchar(15) not null, constraint PK_Unit primary key (UnitID))");
    Exec("create table Goods (ShopID int not null, GoodsID nvarchar(50) not null, Barcode nvarchar(30) null, "
         "UnitID nvarchar(15) null, constraint PK_Goods primary key (GoodsID, ShopID), "
         "constraint UQ_Goods_Barcode unique (Barcode), "
         "constraint FK_Goods_Unit foreign key (UnitID) references Unit (UnitID))");
  }
};

// The views' columns have the names and types SQL Server gives them (their
// rows are tests/sql/information_schema.test's).
TEST_F(InformationSchemaTest, TheViewsColumnsHaveSqlServersNamesAndTypes) {
  const auto columns = ColumnsOf(*db, "SET FMTONLY ON select * from INFORMATION_SCHEMA.TABLE_CONSTRAINTS");
  std::vector<std::string> names;
  for (const auto& c : columns) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME",
                                             "TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE",
                                             "IS_DEFERRABLE", "INITIALLY_DEFERRED"}));
  ASSERT_TRUE(columns.at(2).column);
  EXPECT_EQ(columns[2].column->type, sqlsrv::SqlType::kNVarChar);
  EXPECT_EQ(columns[2].column->length, 128);
  ASSERT_TRUE(columns.at(6).column);
  EXPECT_EQ(columns[6].column->type, sqlsrv::SqlType::kVarChar);
  EXPECT_EQ(columns[6].column->length, 11);
  const auto key_columns = ColumnsOf(*db, "SET FMTONLY ON select * from INFORMATION_SCHEMA.KEY_COLUMN_USAGE");
  ASSERT_EQ(key_columns.size(), 8u);
  EXPECT_EQ(key_columns[6].name, "COLUMN_NAME");
  EXPECT_EQ(key_columns[7].name, "ORDINAL_POSITION");
  ASSERT_TRUE(key_columns[7].column);
  EXPECT_EQ(key_columns[7].column->type, sqlsrv::SqlType::kInt);
}

TEST_F(InformationSchemaTest, AWideKeyIsListedAndTheViewsTakeNoLoadOrDrop) {
  Exec("drop table Goods");
  Exec("drop table Unit");
  // A key with more columns than SQLite allows terms in a compound SELECT.
  std::string wide = "create table Wide (";
  for (int i = 1; i <= 510; ++i) wide += (i > 1 ? ", c" : "c") + std::to_string(i) + " int null unique";
  Exec(wide + ")");
  EXPECT_EQ(One("select count(*), max(ORDINAL_POSITION) from INFORMATION_SCHEMA.KEY_COLUMN_USAGE"), "510\t1");
  EXPECT_THROW(db->OpenBulkLoad("INFORMATION_SCHEMA.KEY_COLUMN_USAGE", {"COLUMN_NAME"}, {}), com::Error);
  // Not even a table of the view's name in dbo is dropped through it.
  Exec("create table KEY_COLUMN_USAGE (a int null)");
  EXPECT_EQ(ErrorOf("drop table INFORMATION_SCHEMA.KEY_COLUMN_USAGE"), 3701);
  EXPECT_EQ(One("select count(*) from dbo.KEY_COLUMN_USAGE"), "0");
  EXPECT_EQ(One("select count(*) from INFORMATION_SCHEMA.KEY_COLUMN_USAGE"), "510");
}

// Two sessions on one database: `db` has inserted row 1 in a transaction
// it keeps open; `other` wants to change that row or insert its key, which
// waits for `db` on SQL Server too.
class LockTimeoutTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("create table T (id int not null primary key)");
    other = std::make_unique<sqlsrv::Engine>(file, "Sales60", "sa", "POS02");
    Exec("begin tran insert into T (id) values (1)");
  }
  // The error `other` raises running `sql`; its number is 0 when none.
  com::Error OtherError(const std::string& sql) {
    try {
      other->Execute(sql);
    } catch (const com::Error& e) {
      return e;
    }
    return com::Error(0, "", "");
  }
  // As OtherError while `db` keeps its lock; should `other` still wait
  // after 10 s, `db` rolls back to let it through.
  com::Error OtherErrorWhileLocked(const std::string& sql) {
    std::atomic<bool> done{false};
    com::Error error(0, "", "");
    std::thread waiter([&] {
      error = OtherError(sql);
      done = true;
    });
    for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) Exec("rollback");
    waiter.join();
    return error;
  }
  std::string OtherOne(const std::string& sql) {
    sqlsrv::BatchOutput out;
    other->Execute(sql, &out);
    return cli::FormatTsvLine(out.results.at(0).rows.at(0));
  }

  std::unique_ptr<sqlsrv::Engine> other;
};

TEST_F(LockTimeoutTest, AWriteGivesUpAfterTheTimeoutWithError1222) {
  EXPECT_EQ(OtherOne("select @@LOCK_TIMEOUT"), "-1");  // never set
  other->Execute("SET LOCK_TIMEOUT 200");
  EXPECT_EQ(OtherOne("select @@LOCK_TIMEOUT"), "200");
  const com::Error e = OtherErrorWhileLocked("insert into T (id) values (1)");
  EXPECT_EQ(e.number(), 1222);
  EXPECT_EQ(e.source(), sqlsrv::kErrorSource);
  EXPECT_EQ(e.description(), "Lock request time out period exceeded.");
  EXPECT_EQ(OtherErrorWhileLocked("delete from T where id = 1").number(), 1222);
  // Once the lock is gone the same session writes.
  Exec("commit");
  EXPECT_EQ(OtherError("insert into T (id) values (1)").number(), 2627);
  other->Execute("insert into T (id) values (2)");
  EXPECT_EQ(One("select count(*) from T"), "2");
}

TEST_F(LockTimeoutTest, ZeroDoesNotWaitAndMinusOneWaitsForTheLock) {
  other->Execute("set lock_timeout 0");
  EXPECT_EQ(OtherErrorWhileLocked("update T set id = 3").number(), 1222);
  other->Execute("set lock_timeout -1");
  com::Error waited(0, "", "");
  std::thread writer([&] { waited = OtherError("insert into T (id) values (1)"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Exec("rollback");
  writer.join();
  EXPECT_EQ(waited.number(), 0) << waited.description();
  EXPECT_EQ(One("select count(*) from T"), "1");
}

TEST_F(LockTimeoutTest, AnInterruptEndsAWaitWithoutLimit) {
  other->Execute("set lock_timeout -1");
  std::atomic<bool> done{false};
  com::Error waited(0, "", "");
  std::thread writer([&] {
    waited = OtherError("insert into T (id) values (1)");
    done = true;
  });
  // Interrupt until the writer gives up: an interrupt before its batch
  // starts is forgotten when the batch starts.
  for (int i = 0; i < 200 && !done; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    other->Interrupt();
  }
  Exec("rollback");  // lets the writer through should no interrupt have reached it
  writer.join();
  EXPECT_EQ(waited.number(), sqlsrv::kErrCancelled) << waited.description();
  EXPECT_EQ(One("select count(*) from T"), "0");
}

// Two sessions with transactions open at once: BEGIN TRAN takes no lock,
// reading takes none that a writer waits for, and a session waits only
// for another's writes (the database's write lock is held from a
// transaction's first write to its end).
class OpenTransactionsTest : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("create table A (id int not null primary key); create table B (id int not null primary key);"
         "insert into A (id) values (1)");
    Exec("create procedure CountA @n int output as select @n = count(*) from A");
    other = std::make_unique<sqlsrv::Engine>(file, "Sales60", "sa", "POS02");
    other->Execute("set lock_timeout 0");  // a wait shows as 1222 at once
  }
  std::int32_t OtherErrorOf(const std::string& sql) {
    try {
      other->Execute(sql);
      return 0;
    } catch (const com::Error& e) {
      return e.number();
    }
  }
  std::unique_ptr<sqlsrv::Engine> other;
};

TEST_F(OpenTransactionsTest, AnIdleTransactionBlocksNobody) {
  Exec("begin tran");
  EXPECT_EQ(OtherErrorOf("begin tran insert into B (id) values (1) commit"), 0);
  EXPECT_EQ(One("select @@TRANCOUNT"), "1");
  EXPECT_EQ(One("select count(*) from B"), "1");  // committed: seen inside the open transaction
  Exec("commit");
  EXPECT_EQ(One("select @@TRANCOUNT"), "0");
  // Committing or rolling back a transaction that never wrote is no error.
  Exec("begin tran rollback");
  EXPECT_EQ(One("select @@TRANCOUNT"), "0");
}

TEST_F(OpenTransactionsTest, TwoTransactionsWriteOneAfterTheOtherAndEachStatementSeesTheLatestCommit) {
  Exec("begin tran");
  other->Execute("begin tran");
  EXPECT_EQ(One("select count(*) from B"), "0");
  EXPECT_EQ(OtherErrorOf("insert into B (id) values (1)"), 0);
  // `other` holds the write lock now: a write here waits for it ...
  EXPECT_EQ(ErrorOf("set lock_timeout 0 insert into A (id) values (2)"), 1222);
  EXPECT_EQ(One("select @@TRANCOUNT"), "1");  // a time-out ends the statement, not the transaction
  // ... and reading does not: the uncommitted row is not seen.
  EXPECT_EQ(One("select count(*) from B"), "0");
  other->Execute("commit");
  // Read committed: the next statement sees the other's commit, and writes.
  EXPECT_EQ(One("select count(*) from B"), "1");
  Exec("insert into A (id) values (2)");
  EXPECT_EQ(OtherErrorOf("insert into B (id) values (2)"), 1222);
  Exec("commit");
  EXPECT_EQ(OtherErrorOf("insert into B (id) values (2)"), 0);
  EXPECT_EQ(One("select count(*) from A"), "2");
  EXPECT_EQ(One("select count(*) from B"), "2");
}

TEST_F(OpenTransactionsTest, AProcedureThatOnlyReadsLeavesNoLockBehind) {
  Exec("begin tran declare @n int exec CountA @n output");
  EXPECT_EQ(OtherErrorOf("insert into A (id) values (5)"), 0);
  std::vector<sqlsrv::Argument> arguments(1);
  arguments[0].output = true;
  arguments[0].value = Variant::I4(0);
  db->Call("CountA", arguments);  // a call, as an RPC makes it
  EXPECT_EQ(arguments[0].value.ToText(), "2");
  EXPECT_EQ(OtherErrorOf("insert into A (id) values (6)"), 0);
  Exec("rollback");
  EXPECT_EQ(One("select count(*) from A"), "3");  // the other's rows stay
}

TEST(SqliteStorage, EveryLockConflictRaisesSqlServersLockTimeout) {
  TempDir dir;
  const std::string path = dir.File("locks.sqlite3");
  sqlsrv::Db holder(path, true);
  holder.Exec("PRAGMA journal_mode = WAL; CREATE TABLE t (a INTEGER)");
  sqlsrv::Db waiter(path, false);
  waiter.SetLockTimeout(0);
  holder.Exec("BEGIN IMMEDIATE");
  auto number_of = [](const auto& action) {
    try {
      action();
    } catch (const com::Error& e) {
      EXPECT_EQ(e.source(), sqlsrv::kErrorSource);
      EXPECT_EQ(e.description(), "Lock request time out period exceeded.");
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number_of([&] { waiter.Exec("BEGIN IMMEDIATE"); }), 1222);
  EXPECT_EQ(number_of([&] {
              sqlsrv::Prepared insert(waiter, "INSERT INTO t VALUES (1)");
              insert.Step();
            }),
            1222);
  sqlsrv::Prepared raw(waiter, "INSERT INTO t VALUES (1)");
  EXPECT_TRUE(sqlsrv::IsLockConflict(raw.StepRaw()));
  holder.Exec("COMMIT");
}

// ------------------------------------------------------------ 6.0 database

class Version60Test : public SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec(embedded::kCreate60);
  }
};

TEST_F(Version60Test, PostsCustomerAndSupplierLedgersAsTheProceduresSay) {
  Exec(plans::DropProcedureSql("WriteCustAcc"));
  Exec(plans::WriteCustAccSql(false));
  Exec(plans::DropProcedureSql("WriteSuppAcc"));
  Exec(plans::WriteSuppAccSql(false));
  Exec("insert into Region (Class, RegCode, RegName) values (N'华北', N'R1', N'北京')");
  auto customer = [&](const char* id, int used, const char* bal, int trans) {
    Exec(std::string("insert into Customer (UnitID, IsUsed, BalAmo, IsTrans) values (N'") + id + "', " +
         std::to_string(used) + ", " + bal + ", " + std::to_string(trans) + ")");
  };
  customer("0", 1, "250", 0);     // the retail customer: not posted
  customer("C1", 1, "0", 0);      // no balance
  customer("C2", 0, "250", 0);    // not in use
  customer("C3", 1, "-80", 1);    // negative, already transferred
  customer("C4", 1, "1234.5678", 0);
  Exec("insert into Supplier (UnitID, IsUsed, BalAmo, IsTrans) values (N'0', 1, 99.5, 0)");
  Exec(plans::ExecuteProcedureSql("WriteCustAcc"));
  Exec(plans::ExecuteProcedureSql("WriteSuppAcc"));
  EXPECT_EQ(Rows("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from CustAcc order by UnitID"),
            (std::vector<std::string>{"C3\t200\t-80.0000\t0.0000\t-80.0000\t期初余额",
                                      "C4\t200\t1234.5678\t0.0000\t1234.5678\t期初余额"}));
  EXPECT_EQ(Rows("select UnitID, IsTrans from Customer order by UnitID"),
            (std::vector<std::string>{"0\t0", "C1\t0", "C2\t0", "C3\t1", "C4\t1"}));
  EXPECT_EQ(Rows("select UnitID, BuyAmo from SuppAcc"), (std::vector<std::string>{"0\t99.5000"}));
  EXPECT_EQ(One("select IsTrans from Supplier"), "1");
  // The full-plan version empties the ledger first: running it twice posts once.
  Exec(plans::DropProcedureSql("WriteCustAcc"));
  Exec(plans::WriteCustAccSql(true));
  Exec("Execute WriteCustAcc Execute WriteCustAcc");
  EXPECT_EQ(One("select count(*) from CustAcc"), "2");
}

TEST_F(Version60Test, PostsTheCustodyBookAsTheProcedureSays) {
  Exec(plans::DropProcedureSql("WriteCustody"));
  Exec(plans::WriteCustodySql(false));
  Exec("set identity_insert Base on insert into Base (BaseID, BaseName) values (1, N'总仓') "
       "insert into Base (BaseID, BaseName) values (2, N'门店') set identity_insert Base off");
  Exec("insert into Goods (GoodsID, IsUsual, IsTrans) values (N'G1', 1, 0) "
       "insert into Goods (GoodsID, IsUsual, IsTrans) values (N'G2', 0, 0) "
       "insert into Goods (GoodsID, IsUsual, IsTrans) values (N'G3', 1, 0)");
  Exec("insert into bBalance (BaseID, GoodsID, BalQua, BalAmo) values (1, N'G1', 3, 10) "
       "insert into bBalance (BaseID, GoodsID, BalQua, BalAmo) values (2, N'G1', 0, 5) "
       "insert into bBalance (BaseID, GoodsID, BalQua, BalAmo) values (1, N'G2', 2, 4) "
       "insert into bBalance (BaseID, GoodsID, BalQua, BalAmo) values (2, N'G3', 0, 0)");
  Exec(plans::ExecuteProcedureSql("WriteCustody"));
  EXPECT_EQ(Rows("select BaseID, GoodsID, Type, BuyPrice, BuyQua, BuyAmo, BalPrice, BalQua, BalAmo, RBalQua, RBalAmo, "
                 "Summary from Custody order by GoodsID"),
            (std::vector<std::string>{
                "1\tG1\t200\t3.3333\t3.0000\t10.0000\t3.3333\t3.0000\t10.0000\t3.0000\t10.0000\t期初余额",
                "1\tG2\t200\t2.0000\t2.0000\t4.0000\t2.0000\t2.0000\t4.0000\t2.0000\t4.0000\t期初余额"}));
  // Goods in regular use with a posted stock are marked; others are not.
  EXPECT_EQ(Rows("select GoodsID, IsTrans from Goods order by GoodsID"),
            (std::vector<std::string>{"G1\t1", "G2\t0", "G3\t0"}));
}

TEST_F(Version60Test, ClearingProceduresEmptyWhatTheyListInForeignKeyOrder) {
  Exec("insert into Region (Class, RegCode, RegName) values (N'华北', N'R1', N'北京')");
  Exec("insert into Customer (UnitID, RegionID, IsUsed, BalAmo) values (N'C1', 1, 1, 5)");
  Exec("insert into CustAcc (Type, UnitID, BuyAmo, PayAmo, BalAmo, Summary) values (200, N'C1', 5, 0, 5, N'x')");
  Exec("set identity_insert Base on insert into Base (BaseID) values (1) set identity_insert Base off");
  Exec("insert into Goods (GoodsID) values (N'G1') insert into bBalance (BaseID, GoodsID, BalQua, BalAmo) values (1, N'G1', 1, 1)");
  Exec("insert into Custody (Type, BaseID, GoodsID, BalQua, BalAmo, Summary) values (200, 1, N'G1', 1, 1, N'期初余额')");
  const std::string seeded = One("select count(*) from SheetType");
  Exec(plans::DropProcedureSql("ClearUserData"));
  Exec(plans::ClearUserDataSql());
  Exec(plans::ExecuteProcedureSql("ClearUserData"));
  for (const char* t : {"Region", "Customer", "CustAcc", "Goods", "bBalance", "Base", "Custody"}) {
    EXPECT_EQ(One(std::string("select count(*) from ") + t), "0") << t;
  }
  EXPECT_EQ(One("select count(*) from SheetType"), seeded);  // kept
  EXPECT_NE(One("select count(*) from Version"), "0");
  Exec("set identity_insert Base on insert into Base (BaseID) values (1) set identity_insert Base off");
  Exec("insert into Goods (GoodsID) values (N'G1')");
  Exec("insert into Custody (Type, BaseID, GoodsID, BalQua, BalAmo, Summary) values (200, 1, N'G1', 1, 1, N'x')");
  // The custody book refers to goods and warehouses: a goods still posted
  // cannot be deleted.
  EXPECT_THROW(Exec("delete from Goods"), com::Error);
  Exec(plans::DropProcedureSql("ClearAllData"));
  Exec(plans::ClearAllDataSql());
  Exec(plans::ExecuteProcedureSql("ClearAllData"));
  for (const char* t : {"SheetType", "Custody", "Goods", "Base", "Version"}) {  // the created records too
    EXPECT_EQ(One(std::string("select count(*) from ") + t), "0") << t;
  }
}

}  // namespace

namespace {

TEST(SqlCommand, CreatesADatabaseAndRunsBatchesWithAnOddName) {
  TempDir dir;
  const std::string korvel = testing_support::ShellQuote(testing_support::BinDir() + "/korvel");
  const std::string server = testing_support::ShellQuote("file:" + dir.File("srv"));
  auto r = testing_support::RunCommand(korvel + " create-database --server " + server +
                                       " --database 'a]b c' --password-env PW", "");
  EXPECT_NE(r.exit_code, 0);  // PW is not set
  r = testing_support::RunCommand("PW=secret " + korvel + " create-database --server " + server +
                                  " --database 'a]b c' --password-env PW");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string sql = korvel + " sql --server " + server + " --user sa --password - --database 'a]b c' ";
  r = testing_support::RunCommand(sql + testing_support::ShellQuote(
                                            "insert into [a]]b c].[dbo].[Region] (Class, RegName) values (N'华东', N'上海')\n"
                                            "select RegionID, Class, RegName, datalength = 1 from Region"),
                                  "secret\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "RegionID\tClass\tRegName\tdatalength");
  EXPECT_NE(r.out.find("1\t华东\t上海"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("(1 行受影响)"), std::string::npos);
  r = testing_support::RunCommand(sql + "'select * from NoSuchTable'", "secret\n");
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.err.find("208"), std::string::npos);
  EXPECT_NE(r.err.find("Invalid object name 'NoSuchTable'."), std::string::npos);
  r = testing_support::RunCommand(sql + "'select 1'", "wrong\n");
  EXPECT_NE(r.err.find("18456"), std::string::npos);
  EXPECT_EQ(r.out, "");
}

}  // namespace
