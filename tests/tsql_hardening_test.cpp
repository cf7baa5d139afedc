// The embedded server against hostile T-SQL: numbers a thousand digits
// long, text nested or chained deeper than any real statement, temporary
// tables and procedures that must stay the session's own, loops and waits
// without end, messages past any size. Each answer is SQL Server's error,
// never a crash or a hang. The hostile batches short enough to write out
// are tests/sql's limits.test and temporary_tables.test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/server.h"
#include "tests/support/files.h"

namespace {

using testing_support::TempDir;

// `unit` written `n` times.
std::string Repeat(const std::string& unit, std::size_t n) {
  std::string out;
  out.reserve(unit.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += unit;
  return out;
}

// "first op first op ..." with `terms` terms.
std::string Chain(const std::string& term, const std::string& op, std::size_t terms) {
  return term + Repeat(" " + op + " " + term, terms - 1);
}

class HardeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
    file = server->CreateDatabase("Sales60");
    db = Open();
  }

  std::unique_ptr<sqlsrv::Engine> Open() { return std::make_unique<sqlsrv::Engine>(file, "Sales60", "sa", "POS01", sqlsrv::Server::DirectoryOf(server->folder()));
  }

  // Every row of every result set, as TSV lines.
  static std::vector<std::string> Rows(sqlsrv::Engine& engine, const std::string& sql) {
    sqlsrv::BatchOutput out;
    engine.Execute(sql, &out);
    std::vector<std::string> lines;
    for (const auto& rs : out.results) {
      for (const auto& row : rs.rows) lines.push_back(cli::FormatTsvLine(row));
    }
    return lines;
  }
  std::string One(const std::string& sql) { return One(*db, sql); }
  static std::string One(sqlsrv::Engine& engine, const std::string& sql) {
    auto r = Rows(engine, sql);
    return r.empty() ? "(none)" : r[0];
  }

  // "number message" of the error the batch raises, "(ran)" when none.
  std::string Error(const std::string& sql) { return Error(*db, sql); }
  static std::string Error(sqlsrv::Engine& engine, const std::string& sql) {
    try {
      engine.Execute(sql);
      return "(ran)";
    } catch (const com::Error& e) {
      return std::to_string(e.number()) + " " + e.description();
    }
  }

  // Runs `sql` on a second thread and interrupts it until it has ended;
  // the number of the error it ended with, 0 when it ran to its end.
  std::int32_t InterruptedError(const std::string& sql) {
    std::atomic<bool> done{false};
    std::int32_t number = 0;
    std::thread runner([&] {
      try {
        db->Execute(sql);
      } catch (const com::Error& e) {
        number = e.number();
      }
      done = true;
    });
    // An interrupt before the batch starts is forgotten when it starts.
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      db->Interrupt();
    }
    runner.join();
    return number;
  }

  TempDir dir;
  std::unique_ptr<sqlsrv::Server> server;
  std::string file;
  std::unique_ptr<sqlsrv::Engine> db;
};

const std::string kTooDeep =
    "191 Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.";

// ------------------------------------------------------------ numbers out of range

TEST_F(HardeningTest, AThousandDigitsAreRefusedInWords) {
  // A thousand digits, as a constant, as text to convert, and as a
  // decimal's precision, are refused in words.
  const std::string digits1000(1000, '7');
  EXPECT_EQ(Error("select " + digits1000 + ".5"),
            "1007 The number '" + digits1000 + ".5' is out of the range for numeric representation (maximum precision 38).");
  EXPECT_EQ(Error("select cast('" + digits1000 + "' as decimal(38, 0))"),
            "8115 Arithmetic overflow error converting varchar to data type numeric.");
  EXPECT_EQ(Error("select cast('0." + digits1000 + "' as decimal(38, 38))"), "(ran)");
  EXPECT_EQ(Error("create table T (d decimal(" + digits1000 + ", 2))"),
            "2750 Column or parameter #1: Specified column precision " + digits1000 +
                " is greater than the maximum precision of 38.");
}

// ------------------------------------------------------------ nesting and chains

TEST_F(HardeningTest, DeepNestingIsRefusedAsTooDeep) {
  EXPECT_EQ(Error("select " + Repeat("(", 30000) + "1" + Repeat(")", 30000)), kTooDeep);
  EXPECT_EQ(Error("select " + Repeat("(select ", 20000) + "1" + Repeat(")", 20000)), kTooDeep);
  EXPECT_EQ(Error("select 1 where " + Repeat("exists (select ", 20000) + "1" + Repeat(")", 20000)), kTooDeep);
  EXPECT_EQ(Error("select * from " + Repeat("(select * from ", 20000) + "T" + Repeat(") d", 20000)), kTooDeep);
  EXPECT_EQ(Error("select " + Repeat("abs(", 30000) + "1" + Repeat(")", 30000)), kTooDeep);
  EXPECT_EQ(Error("select 1 where " + Repeat("not ", 30000) + "1 = 1"), kTooDeep);
  EXPECT_EQ(Error("select " + Repeat("- ", 30000) + "1"), kTooDeep);
  EXPECT_EQ(Error(Repeat("if 1 = 1 ", 10000) + "select 1"), kTooDeep);
  EXPECT_EQ(Error(Repeat("begin ", 10000) + "select 1" + Repeat(" end", 10000)), kTooDeep);
  // The parser's own check as the procedure's body is parsed.
  EXPECT_EQ(Error("create procedure p as select " + Repeat("(", 30000) + "1" + Repeat(")", 30000)), kTooDeep);
}

TEST_F(HardeningTest, NestingSQLiteCannotParseIsAlsoTooDeep) {
  // Within the parser's limit, past what SQLite's parser holds.
  EXPECT_EQ(Error("select " + Repeat("abs(", 100) + "1" + Repeat(")", 100)), kTooDeep);
  try {
    db->Query("select " + Repeat("abs(", 100) + "1" + Repeat(")", 100));
    ADD_FAILURE() << "the query ran";
  } catch (const com::Error& e) {
    EXPECT_EQ(std::to_string(e.number()) + " " + e.description(), kTooDeep);
  }
}

// Ten deep and the eleventh are limits.test's.
TEST_F(HardeningTest, CaseNestedTwentyThousandDeepIsRefusedAtLevelTen) {
  EXPECT_EQ(Error("select " + Repeat("case when 1 = 1 then ", 20000) + "7" + Repeat(" else 0 end", 20000)),
            "125 Case expressions may only be nested to level 10.");
}

TEST_F(HardeningTest, LongLogicalChainsAndListsRun) {
  db->Execute("create table T (a int) insert into T values (3) insert into T values (20000)");
  std::string ors = "a = 0";
  for (int i = 1; i < 10000; ++i) ors += " or a = " + std::to_string(i);
  EXPECT_EQ(One("select count(*) from T where " + ors), "1");
  std::string ands = "a > 0";
  for (int i = 1; i < 10000; ++i) ands += " and a <> " + std::to_string(i + 20000);
  EXPECT_EQ(One("select count(*) from T where " + ands), "2");
  std::string list = "0";
  for (int i = 1; i < 10000; ++i) list += ", " + std::to_string(i);
  EXPECT_EQ(One("select count(*) from T where a in (" + list + ")"), "1");
  EXPECT_EQ(One("select count(*) from T where a not in (" + list + ")"), "1");
}

TEST_F(HardeningTest, ArithmeticChainsRunAsLongAsSQLiteEvaluatesThem) {
  EXPECT_EQ(One("select " + Chain("1", "+", 1000)), "1000");
  EXPECT_EQ(One("select " + Chain("'a'", "+", 1000) + " as s") , std::string(1000, 'a'));
  EXPECT_EQ(One("select " + Chain("2", "*", 20) + " - " + Chain("1", "-", 500)), "1048076");  // 2^20 - 500
  EXPECT_EQ(Error("select " + Chain("1", "+", 10000)), kTooDeep);
  EXPECT_EQ(Error("select " + Chain("$1.5", "*", 10000)), kTooDeep);
  // Decimal operators too, each step exact in its own type.
  EXPECT_EQ(One("select " + Chain("0.5", "+", 1000)), "500.0");
  EXPECT_EQ(One("select " + Chain("0.25", "-", 1000)), "-249.50");  // 0.25 - 999 * 0.25
  EXPECT_EQ(Error("select " + Chain("0.5", "+", 10000)), kTooDeep);
  // A chain far longer than any limit parses, fails and is freed whole.
  EXPECT_EQ(Error("select " + Chain("1", "+", 200000)), kTooDeep);
  EXPECT_EQ(sqlsrv::ParseBatch("select " + Chain("1", "-", 200000)).size(), 1u);
}

// Ten simple CASEs nested, eight WHENs each, grow past SQL Server's
// "expression services limit" as a long ^ chain does (the ^ chains and
// nested RIGHT are limits.test's).
TEST_F(HardeningTest, ExpressionsThatGrowAsTheyNestAreRefused) {
  const std::string limit =
      "8632 Internal error: An expression services limit has been reached. Please look for potentially complex "
      "expressions in your query, and try to simplify them.";
  std::string whens;
  for (int i = 1; i <= 8; ++i) whens += " when " + std::to_string(i) + " then " + std::to_string(i);
  EXPECT_EQ(Error("select " + Repeat("case ", 10) + "1" + Repeat(whens + " end", 10)), limit);
}

// ------------------------------------------------------------ temporary tables

TEST_F(HardeningTest, TemporaryTablesAreTheSessionsOwn) {
  db->Execute("create table #work (id int identity(1, 1) primary key, name varchar(10))");
  db->Execute("insert into #work (name) values ('a') insert into #work (name) values ('b')");
  // Another session neither sees it nor collides with it.
  auto other = Open();
  EXPECT_EQ(Error(*other, "select * from #work"), "208 Invalid object name '#work'.");
  other->Execute("create table #work (x money)");
  other->Execute("insert into #work values (1.5)");
  EXPECT_EQ(One(*other, "select x from #work"), "1.5000");
  EXPECT_EQ(One("select count(*) from #work"), "2");
}

TEST_F(HardeningTest, TemporaryTablesEndWithTheSession) {
  db->Execute("create table #gone (a int) insert into #gone values (1)");
  db.reset();
  db = Open();
  EXPECT_EQ(Error("select * from #gone"), "208 Invalid object name '#gone'.");
  EXPECT_EQ(Error("drop table #gone"),
            "3701 Cannot drop the table '#gone', because it does not exist in the system catalog.");
  EXPECT_EQ(Error("create table #gone (a int)"), "(ran)");
}

TEST_F(HardeningTest, TemporaryProceduresAreTheSessionsOwn) {
  db->Execute("create procedure #p @a int as select @a + 1");
  // Another session has none of it, and may make its own of the name.
  auto other = Open();
  EXPECT_EQ(Error(*other, "exec #p 1"), "2812 Could not find stored procedure '#p'.");
  other->Execute("create procedure #p as select 'other'");
  EXPECT_EQ(One(*other, "exec #p"), "other");
  EXPECT_EQ(One("exec #p 1"), "2");
  // A session that ends takes its own with it.
  other.reset();
  EXPECT_EQ(Error(*Open(), "exec #p"), "2812 Could not find stored procedure '#p'.");
}

TEST_F(HardeningTest, TablesCreatedInsideBlocksKeepTheirOwnDefinition) {
  // The definition kept is the CREATE TABLE alone, not the rest of the
  // block, which would not parse on its own and would leave the database
  // unreadable.
  db->Execute("begin create table T (a int) end");
  db->Execute("insert into T values (1)");
  auto other = Open();
  EXPECT_EQ(One(*other, "select count(*) from T"), "1");
}

TEST_F(HardeningTest, AProcedureThatDropsItselfThenFailsIsNamedInTheError) {
  db->Execute("create procedure Gone as drop procedure Gone select 1 / 0");
  sqlsrv::BatchOutput out;
  try {
    db->Execute("exec Gone", &out);
    ADD_FAILURE() << "ran";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 8134);
  }
  EXPECT_EQ(out.error_procedure, "Gone");
  // 1 / 0 ends its own statement alone: the drop before it stays.
  EXPECT_EQ(One("select count(*) from sysobjects where name = 'Gone'"), "0");
}

// ------------------------------------------------------------ control of flow

TEST_F(HardeningTest, LoopsTryBlocksAndQueriesNestOnlySoDeep) {
  EXPECT_EQ(Error(Repeat("while 1 = 0 ", 10000) + "select 1"), kTooDeep);
  EXPECT_EQ(Error(Repeat("begin try ", 10000) + "select 1" + Repeat(" end try begin catch end catch", 10000)), kTooDeep);
  EXPECT_EQ(Error(Repeat("begin try select 1 end try begin catch ", 10000) + "select 1" + Repeat(" end catch", 10000)),
            kTooDeep);
}

TEST_F(HardeningTest, LongUnionsAndManyCommonTableExpressionsRunOrAreTooDeep) {
  // Past what SQLite joins in one compound (500) they run too, text compared
  // without case throughout; the text of ten thousand nests too deep for
  // SQLite's parser and is 191.
  EXPECT_EQ(One("select count(*) from (select 1 as a" + Repeat(" union all select 1", 400) + ") u"), "401");
  EXPECT_EQ(One("select count(*) from (select 1 as a" + Repeat(" union all select 1", 2000) + ") u"), "2001");
  EXPECT_EQ(One("select count(*) from (select 'a' as a" + Repeat(" union select 'A' union select 'a'", 1000) + ") u"),
            "1");
  EXPECT_EQ(Error("select 1" + Repeat(" union all select 1", 10000)), kTooDeep);
  std::string ctes = "with c0 (n) as (select 1)";
  for (int i = 1; i < 200; ++i) {
    ctes += ", c" + std::to_string(i) + " (n) as (select n + 1 from c" + std::to_string(i - 1) + ")";
  }
  EXPECT_EQ(One(ctes + " select n from c199"), "200");
}

TEST_F(HardeningTest, AnInterruptEndsALoopAWaitAndARecursionWithoutEnd) {
  EXPECT_EQ(InterruptedError("declare @i int = 0 while 1 = 1 set @i = @i + 1"), sqlsrv::kErrCancelled);
  EXPECT_EQ(InterruptedError("while 1 = 1 begin declare @x int end"), sqlsrv::kErrCancelled);
  EXPECT_EQ(InterruptedError("waitfor delay '23:59:59'"), sqlsrv::kErrCancelled);
  EXPECT_EQ(InterruptedError("with Forever (n) as (select 1 union all select n + 1 from Forever) "
                             "select count(*) from Forever option (maxrecursion 0)"),
            sqlsrv::kErrCancelled);
  // TRY does not catch a cancel: the CATCH block never runs.
  db->Execute("create table Seen (a int)");
  EXPECT_EQ(InterruptedError("begin try waitfor delay '23:59:59' end try begin catch insert into Seen values (1) end catch"),
            sqlsrv::kErrCancelled);
  EXPECT_EQ(One("select count(*) from Seen"), "0");
  // The session goes on.
  EXPECT_EQ(One("select 1"), "1");
}

TEST_F(HardeningTest, RaiserrorKeepsHostileMessagesWithinTheirSize) {
  // Characters of UTF-8 text.
  auto characters = [](const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
  };
  const std::string huge_argument =
      "declare @s varchar(max) = 'x', @i int = 0 while @i < 20 begin set @s = @s + @s set @i = @i + 1 end "
      "raiserror('%s', 16, 1, @s)";
  for (const std::string& sql :
       {std::string("raiserror('%2147483647d', 16, 1, 5)"), std::string("raiserror('%.2147483647d', 16, 1, 5)"),
        std::string("raiserror('%*d', 16, 1, 2147483647, 5)"), std::string("raiserror('%-*d', 16, 1, -2147483647, 5)"),
        "raiserror('" + Repeat("%4000d", 500) + "', 16, 1, 1)", huge_argument,
        "raiserror(N'" + Repeat("中", 5000) + "', 16, 1)"}) {
    const std::string e = Error(sql);
    ASSERT_EQ(e.substr(0, 6), "50000 ") << sql.substr(0, 60);
    EXPECT_EQ(characters(e.substr(6)), 2047u) << sql.substr(0, 60);
    EXPECT_EQ(e.substr(e.size() - 3), "...");
  }
}

}  // namespace
