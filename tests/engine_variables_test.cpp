// Variables and procedures where a script cannot look: the types a result
// column is described with, a batch's return status, Engine::Call with its
// arguments and outputs, rows and messages of one batch, and declarations
// built thousands long. Their batches in, rows out are tests/sql's
// variables.test and procedures.test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "tests/support/engine_test.h"

namespace {

using com::Variant;
using sqlsrv::Argument;

// A positional argument.
Argument Arg(Variant value) {
  Argument a;
  a.value = std::move(value);
  return a;
}
// A named argument, OUTPUT when `output`.
Argument Named(std::string name, Variant value, bool output = false) {
  Argument a;
  a.name = std::move(name);
  a.value = std::move(value);
  a.output = output;
  return a;
}

class VariablesTest : public testing_support::EngineTest {
 protected:
  // The texts of the batch's messages.
  static std::vector<std::string> Texts(const sqlsrv::BatchOutput& out) {
    std::vector<std::string> texts;
    for (const auto& m : out.messages) texts.push_back(m.text);
    return texts;
  }
  // "number message" of the error the batch raises, "(ran)" when none.
  std::string Error(const std::string& sql) {
    try {
      db->Execute(sql);
      return "(ran)";
    } catch (const com::Error& e) {
      return std::to_string(e.number()) + " " + e.description();
    }
  }
  // The same for a call.
  std::string CallError(const std::string& name, std::vector<Argument> arguments) {
    try {
      db->Call(name, arguments);
      return "(ran)";
    } catch (const com::Error& e) {
      return std::to_string(e.number()) + " " + e.description();
    }
  }

  // A table of goods the procedures below read.
  void MakeGoods() {
    Exec("CREATE TABLE Goods (id int NOT NULL PRIMARY KEY, price money, name nvarchar(20))\n"
         "INSERT INTO Goods VALUES (1, 12.5, N'鞋')\nINSERT INTO Goods VALUES (2, 0.1, N'it''s')");
  }
};

// ------------------------------------------------------------ variables

// Read, a variable is a value of its declared type, length and all (what
// a client is told of the column; its cut text is a script test's).
TEST_F(VariablesTest, AVariableIsReadAsItsDeclaredTypeAndLength) {
  sqlsrv::BatchOutput out;
  db->Execute("DECLARE @s nvarchar(7) SELECT @s", &out);
  ASSERT_EQ(out.results.size(), 1u);
  ASSERT_TRUE(out.results[0].columns.at(0).column.has_value());
  EXPECT_EQ(out.results[0].columns[0].column->type, sqlsrv::SqlType::kNVarChar);
  EXPECT_EQ(out.results[0].columns[0].column->length, 7);
}

TEST_F(VariablesTest, VariablesStandWhereverAnExpressionMay) {
  MakeGoods();
  sqlsrv::BatchOutput out;
  db->Execute("DECLARE @p money = 12.5, @n nvarchar(20) = N'鞋', @id int = 3\n"
              "INSERT INTO Goods VALUES (@id, @p, @n)\n"
              "UPDATE Goods SET price = price * 2 WHERE name = @n AND id = @id\n"
              "IF @p > 10 PRINT N'贵' + @n\n"
              "SELECT price FROM Goods WHERE id = @id",
              &out);
  EXPECT_EQ(Lines(out), std::vector<std::string>{"25.0000"});
  EXPECT_EQ(Texts(out), std::vector<std::string>{"贵鞋"});
  // A value with quotes and comment marks is only ever a value.
  EXPECT_EQ(One("DECLARE @s nvarchar(50) = N''' OR 1=1 --'\nSELECT count(*) FROM Goods WHERE name = @s"), "0");
  EXPECT_EQ(One("DECLARE @s nvarchar(50) = N'it''s'\nSELECT id FROM Goods WHERE name = @s"), "2");
  // SET @v = (subquery) and the compound assignments.
  EXPECT_EQ(One("DECLARE @c int SET @c = (SELECT count(*) FROM Goods) SET @c += 10 SET @c *= 2 SELECT @c"), "26");
}

// ------------------------------------------------------------ procedures

class ProcedureTest : public VariablesTest {
 protected:
  void SetUp() override {
    VariablesTest::SetUp();
    MakeGoods();
    Exec("CREATE PROCEDURE Price @id int, @factor money = 1.5, @label nvarchar(10) = N'x', @total money OUTPUT AS\n"
         "SELECT @total = price * @factor FROM Goods WHERE id = @id\n"
         "IF @total IS NULL RETURN -1\n"
         "RETURN 7");
    Exec("CREATE PROC Need @a int, @b int AS SELECT @a, @b");
  }
};

// The batch's return status is that of the procedure it ran last (the
// status a client reads; the arguments and outputs are script tests').
TEST_F(ProcedureTest, ABatchGivesTheStatusOfTheProcedureItRan) {
  sqlsrv::BatchOutput out;
  db->Execute("DECLARE @t money EXEC Price 1, @total = @t OUTPUT", &out);
  EXPECT_EQ(out.return_status, 7);
  sqlsrv::BatchOutput executed;
  db->Execute("EXEC sp_executesql N'SELECT 1'", &executed);
  EXPECT_EQ(executed.return_status, 0);
}

// ------------------------------------------------------------ Call

TEST_F(ProcedureTest, CallBindsPositionalAndNamedArgumentsAndGivesOutputsTheirTypes) {
  std::vector<Argument> args{Arg(Variant::I4(1)), Named("@total", Variant::Null(), true)};
  sqlsrv::BatchOutput out;
  EXPECT_EQ(db->Call("Price", args, &out), 7);
  EXPECT_EQ(out.return_status, 7);
  EXPECT_EQ(args[1].value, Variant::Currency(187500));
  ASSERT_TRUE(args[1].type.has_value());
  EXPECT_EQ(args[1].type->type, sqlsrv::SqlType::kMoney);
  EXPECT_FALSE(args[0].type.has_value());  // not passed OUTPUT

  // By name in any order, text converted to the parameter's type, under a
  // qualified name.
  std::vector<Argument> named{Named("@total", Variant::Null(), true), Named("@factor", Variant::Text("2")),
                              Named("@id", Variant::Text("1"))};
  EXPECT_EQ(db->Call("Sales60.dbo.Price", named), 7);
  EXPECT_EQ(named[0].value, Variant::Currency(250000));

  // Results come as Execute's; an nvarchar output keeps its length.
  Exec("CREATE PROC Label @in nvarchar(30), @out nvarchar(4) OUTPUT AS SELECT @in SET @out = @in");
  std::vector<Argument> label{Arg(Variant::Text("中文字符串")), Arg(Variant::Null())};
  label[1].output = true;
  sqlsrv::BatchOutput rows;
  EXPECT_EQ(db->Call("dbo.Label", label, &rows), 0);
  EXPECT_EQ(Lines(rows), std::vector<std::string>{"中文字符串"});
  EXPECT_EQ(label[1].value, Variant::Text("中文字符"));
  ASSERT_TRUE(label[1].type.has_value());
  EXPECT_EQ(label[1].type->type, sqlsrv::SqlType::kNVarChar);
  EXPECT_EQ(label[1].type->length, 4);
}

TEST_F(ProcedureTest, CallRunsExecuteSqlAndRefusesWhatExecRefuses) {
  for (const char* name : {"sp_executesql", "sys.sp_executesql", "master..sp_executesql"}) {
    std::vector<Argument> args{Arg(Variant::Text("SELECT @q = @p * 2")), Arg(Variant::Text("@p int, @q int OUTPUT")),
                               Named("@p", Variant::I4(21)), Named("@q", Variant::Null(), true)};
    EXPECT_EQ(db->Call(name, args), 0) << name;
    EXPECT_EQ(args[3].value, Variant::I4(42)) << name;
    ASSERT_TRUE(args[3].type.has_value());
    EXPECT_EQ(args[3].type->type, sqlsrv::SqlType::kInt);
  }
  EXPECT_EQ(CallError("NoSuch", {}), "2812 Could not find stored procedure 'NoSuch'.");
  EXPECT_EQ(CallError("not a name", {}), "2812 Could not find stored procedure 'not a name'.");
  EXPECT_EQ(CallError("Need", {Arg(Variant::I4(1))}),
            "201 Procedure or function 'Need' expects parameter '@b', which was not supplied.");
  EXPECT_EQ(CallError("Need", {Named("@a", Variant::I4(1)), Arg(Variant::I4(2))}).substr(0, 4), "119 ");
  EXPECT_EQ(CallError("Need", {Arg(Variant::I4(1)), Named("@b", Variant::I4(2), true)}).substr(0, 5), "8162 ");
  EXPECT_EQ(CallError("Need", {Arg(Variant::Text("x")), Arg(Variant::I4(2))}),
            "8114 Error converting data type nvarchar to int.");
  EXPECT_EQ(CallError("Need", std::vector<Argument>(2101, Arg(Variant::I4(1)))),
            "8003 The incoming request has too many parameters. The server supports a maximum of 2100 parameters. "
            "Reduce the number of parameters and resend the request.");
}

TEST_F(ProcedureTest, AnErrorInsideACalledProcedureEndsWhatItReaches) {
  Exec("CREATE TABLE K (id int NOT NULL PRIMARY KEY)");
  Exec("CREATE PROC Fill @a int, @b int, @done int = 0 OUTPUT AS\n"
       "INSERT INTO K VALUES (@a) SET @done = 1 INSERT INTO K VALUES (@b) SET @done = 2");
  // A duplicate key ends its INSERT alone: the procedure runs to its end
  // and gives its outputs; the batch or call raises the error.
  EXPECT_EQ(Error("EXEC Fill 1, 1").substr(0, 5), "2627 ");
  EXPECT_EQ(One("SELECT count(*) FROM K"), "1");
  std::vector<Argument> args{Arg(Variant::I4(2)), Arg(Variant::I4(1)), Named("@done", Variant::I4(-1), true)};
  EXPECT_THROW(db->Call("Fill", args), com::Error);
  EXPECT_EQ(args[2].value, Variant::I4(2));
  EXPECT_TRUE(args[2].type.has_value());
  EXPECT_EQ(db->trancount(), 0);
  EXPECT_EQ(One("SELECT count(*) FROM K"), "2");
  // Inside the caller's transaction the failed INSERT is undone alone and
  // the transaction stays open.
  db->BeginTransaction();
  std::vector<Argument> good{Arg(Variant::I4(3)), Arg(Variant::I4(4))};
  EXPECT_EQ(db->Call("Fill", good), 0);
  std::vector<Argument> bad{Arg(Variant::I4(5)), Arg(Variant::I4(3))};
  EXPECT_THROW(db->Call("Fill", bad), com::Error);
  EXPECT_EQ(db->trancount(), 1);
  EXPECT_EQ(One("SELECT count(*) FROM K"), "5");
  db->Rollback();
  EXPECT_EQ(One("SELECT count(*) FROM K"), "2");
  // A conversion error ends the procedure and the call: what follows it
  // never runs and the outputs are not given.
  Exec("CREATE PROC Converts @a int, @done int = 0 OUTPUT AS\n"
       "SET @done = 1 SET @done = CAST('x' AS int) INSERT INTO K VALUES (@a) SET @done = 2");
  std::vector<Argument> ended{Arg(Variant::I4(9)), Named("@done", Variant::I4(-1), true)};
  EXPECT_THROW(db->Call("Converts", ended), com::Error);
  EXPECT_EQ(ended[1].value, Variant::I4(-1));
  EXPECT_FALSE(ended[1].type.has_value());
  EXPECT_EQ(db->trancount(), 0);
  EXPECT_EQ(One("SELECT count(*) FROM K WHERE id = 9"), "0");
}

// ------------------------------------------------------------ hostile input

TEST_F(ProcedureTest, HostileDeclarationsAndNamesGetClearAnswers) {
  // At most 2100 parameters, as on SQL Server.
  std::string many = "CREATE PROC Many ";
  for (int i = 1; i <= 3000; ++i) many += (i > 1 ? ", @p" : "@p") + std::to_string(i) + " int = " + std::to_string(i);
  EXPECT_EQ(Error(many + " AS SELECT 1"),
            "180 There are too many parameters in this CREATE PROCEDURE statement. The maximum number is 2100.");
  std::string most = "CREATE PROC Most ";
  for (int i = 1; i <= 2100; ++i) most += (i > 1 ? ", @p" : "@p") + std::to_string(i) + " int = " + std::to_string(i);
  Exec(most + " AS SELECT @p1 + @p2100");
  EXPECT_EQ(One("EXEC Most"), "2101");
  EXPECT_EQ(One("EXEC Most @p2100 = 5"), "6");
  std::string list;
  for (int i = 1; i <= 3000; ++i) list += (i > 1 ? ", @p" : "@p") + std::to_string(i) + " int";
  EXPECT_NE(Error("EXEC sp_executesql N'SELECT 1', N'" + list + "'"), "(ran)");

  // A name with ']' in it, called.
  Exec("CREATE PROCEDURE [we]]ird proc] @a int AS SELECT @a * 2");
  std::vector<Argument> args{Arg(Variant::I4(4))};
  sqlsrv::BatchOutput out;
  db->Call("[we]]ird proc]", args, &out);
  EXPECT_EQ(Lines(out), std::vector<std::string>{"8"});

  // Text holding a NUL travels whole.
  const std::string nul("a\0b", 3);
  std::vector<Argument> echo{Arg(Variant::Text("SELECT @s = @t")), Arg(Variant::Text("@t nvarchar(10), @s nvarchar(10) OUTPUT")),
                             Named("@t", Variant::Text(nul)), Named("@s", Variant::Null(), true)};
  db->Call("sp_executesql", echo);
  EXPECT_EQ(echo[3].value, Variant::Text(nul));
}

TEST_F(ProcedureTest, SystemProceduresRunByCall) {
  // sp_pkeys as an ODBC driver calls it: remotely, by name, through master.
  std::vector<Argument> args{Named("@table_name", Variant::Text("Goods"))};
  sqlsrv::BatchOutput out;
  EXPECT_EQ(db->Call("master.dbo.sp_pkeys", args, &out), 0);
  ASSERT_EQ(out.results.size(), 1u);
  ASSERT_EQ(out.results[0].rows.size(), 1u);
  EXPECT_EQ(out.results[0].rows[0][3], Variant::Text("id"));  // COLUMN_NAME
  // Run in another database, a system procedure says to USE it first.
  EXPECT_EQ(CallError("Other..sp_pkeys", {Named("@table_name", Variant::Text("Goods"))}).substr(0, 5), "40000");
  // Its parameters bind as any procedure's.
  EXPECT_EQ(CallError("sp_pkeys", {Named("@nope", Variant::Text("Goods"))}).substr(0, 4), "8145");
}

}  // namespace
