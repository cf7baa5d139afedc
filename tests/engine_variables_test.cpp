// Variables, procedures with parameters, EXECUTE with arguments,
// sp_executesql and Engine::Call, as SQL Server runs them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/tsv.h"
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

TEST_F(VariablesTest, AVariableHoldsAndIsReadAsItsDeclaredType) {
  // money stays exact: adds exactly, divides truncating to four places.
  EXPECT_EQ(One("DECLARE @m money = 0.1, @n money = 0.2\nSELECT @m + @n, @m * 3"), "0.3000\t0.3000");
  EXPECT_EQ(One("DECLARE @a money = 1, @b money = 18.4172 SELECT @a / @b"), "0.0542");
  EXPECT_EQ(One("DECLARE @m money SET @m = 1.23456 SELECT @m"), "1.2346");
  // int divides as integers; a number assigned to it loses its fraction.
  EXPECT_EQ(One("DECLARE @i int = 7, @j int = 2.9 SELECT @i / 2, @j"), "3\t2");
  EXPECT_EQ(One("DECLARE @f float = 0.1 SELECT @f + 0.2"), "0.30000000000000004");
  EXPECT_EQ(One("DECLARE @d datetime = '2007-01-23 10:20:30' SELECT YEAR(@d), MONTH(@d), DAY(@d + 10)"), "2007\t1\t2");
  // Declared without a value it holds NULL.
  EXPECT_EQ(One("DECLARE @x int, @s nvarchar(5) SELECT @x, @s"), "\\N\t\\N");
  // Negative values keep their sign wherever they stand.
  EXPECT_EQ(One("DECLARE @n int = -5, @r float = -0.5 SELECT -@n, 3 - @n, -@r, 1 - -@n"), "5\t8\t0.5\t-4");
  // Names compare without regard to case.
  EXPECT_EQ(One("DECLARE @Abc int = 1 SELECT @ABC + @abc"), "2");
}

TEST_F(VariablesTest, TextTakesTheDeclaredLengthAsSqlServerCutsIt) {
  // A variable cuts text longer than its type (no error, unlike a column).
  EXPECT_EQ(One("DECLARE @s nvarchar(5) = N'abcdefgh' SELECT @s, LEN(@s)"), "abcde\t5");
  EXPECT_EQ(One("DECLARE @s nvarchar(3) = N'中文字符' SELECT @s, LEN(@s)"), "中文字\t3");
  // varchar counts bytes of the server's code page: two a character here.
  EXPECT_EQ(One("DECLARE @v varchar(4) = N'中文字' SELECT @v"), "中文");
  EXPECT_EQ(One("DECLARE @q nvarchar(20) = N'it''s' SELECT @q"), "it's");
  // Read, it is a value of its declared type, length and all.
  sqlsrv::BatchOutput out;
  db->Execute("DECLARE @s nvarchar(7) SELECT @s", &out);
  ASSERT_EQ(out.results.size(), 1u);
  ASSERT_TRUE(out.results[0].columns.at(0).column.has_value());
  EXPECT_EQ(out.results[0].columns[0].column->type, sqlsrv::SqlType::kNVarChar);
  EXPECT_EQ(out.results[0].columns[0].column->length, 7);
  // The column it is stored into still refuses what it cannot hold.
  Exec("CREATE TABLE T (s nvarchar(3))");
  EXPECT_EQ(Error("DECLARE @s nvarchar(10) = N'abcdef'\nINSERT INTO T VALUES (@s)"),
            "8152 String or binary data would be truncated.");
  Exec("DECLARE @s nvarchar(10) = N'中文字'\nINSERT INTO T VALUES (@s)");
  EXPECT_EQ(One("SELECT s FROM T"), "中文字");
}

TEST_F(VariablesTest, AssignmentConvertsAsAColumnDoes) {
  EXPECT_EQ(Error("DECLARE @t tinyint = 300"), "220 Arithmetic overflow error for data type tinyint, value = 300.");
  EXPECT_EQ(Error("DECLARE @i int SET @i = 'abc'").substr(0, 4), "245 ");
  EXPECT_EQ(Error("DECLARE @m money SET @m = 'x'"),
            "235 Cannot convert a char value to money. The char value has incorrect syntax.");
  EXPECT_EQ(Error("DECLARE @d datetime SET @d = 'not a date'"),
            "241 Syntax error converting datetime from character string.");
  EXPECT_EQ(One("DECLARE @i int SET @i = '42' SELECT @i + 1"), "43");
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

TEST_F(VariablesTest, SelectAssignsFromTheLastRowAndNoRowChangesNothing) {
  Exec("CREATE TABLE T (id int, v int, s nvarchar(10))\n"
       "INSERT INTO T VALUES (1, 10, N'a') INSERT INTO T VALUES (2, 20, N'b') INSERT INTO T VALUES (3, 30, N'c')");
  EXPECT_EQ(One("DECLARE @v int = -1, @s nvarchar(10)\nSELECT @v = v, @s = s FROM T ORDER BY id\nSELECT @v, @s, @@ROWCOUNT"),
            "30\tc\t3");
  EXPECT_EQ(One("DECLARE @v int = -1\nSELECT @v = v FROM T WHERE id = 99\nSELECT @v, @@ROWCOUNT"), "-1\t0");
  EXPECT_EQ(One("DECLARE @a int, @b nvarchar(3) SELECT @a = 1, @b = N'xyzw' SELECT @a, @b"), "1\txyz");
  // Assigning returns no rows.
  EXPECT_TRUE(Rows("DECLARE @v int SELECT @v = max(v) FROM T").empty());
  EXPECT_EQ(One("DECLARE @v int SET @v = 5 SELECT @@ROWCOUNT"), "1");
}

TEST_F(VariablesTest, UndeclaredRepeatedOrMisusedVariablesStopTheBatchBeforeItRuns) {
  Exec("CREATE TABLE T (id int)");
  // SQL Server compiles the whole batch first: nothing of it runs.
  EXPECT_EQ(Error("INSERT INTO T VALUES (1)\nSELECT @nope"), "137 Must declare the scalar variable \"@nope\".");
  EXPECT_EQ(Error("DECLARE @a int\nDECLARE @A nvarchar(5)"),
            "134 The variable name '@A' has already been declared. Variable names must be unique within a query batch "
            "or stored procedure.");
  EXPECT_EQ(Error("INSERT INTO T VALUES (1)\nDECLARE @a int SELECT @a = id, id FROM T"),
            "141 A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
            "operations.");
  EXPECT_EQ(One("SELECT count(*) FROM T"), "0");
  // A variable is declared by its place in the text, not by running.
  EXPECT_EQ(Error("SET @a = 1 DECLARE @a int"), "137 Must declare the scalar variable \"@a\".");
  EXPECT_EQ(One("IF 1 = 0 BEGIN DECLARE @x int END SELECT @x"), "\\N");
  // The batch is the scope: GO ends it.
  EXPECT_EQ(Error("DECLARE @a int = 1\nGO\nSELECT @a"), "137 Must declare the scalar variable \"@a\".");
  EXPECT_EQ(Error("DECLARE @u undefined_type"), "2715 Column, parameter, or variable: Cannot find data type undefined_type.");
  EXPECT_EQ(Error("DECLARE @t TABLE (a int)").substr(0, 6), "40000 ");
}

TEST_F(VariablesTest, ReturnEndsTheBatchAndTakesAValueOnlyInAProcedure) {
  EXPECT_EQ(Rows("SELECT 1\nRETURN\nSELECT 2\nGO\nSELECT 3"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(Rows("IF 1 = 1 BEGIN SELECT 1 RETURN END SELECT 2"), std::vector<std::string>{"1"});
  EXPECT_EQ(Error("SELECT 1 RETURN 5"), "178 A RETURN statement with a return value cannot be used in this context.");
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

TEST_F(ProcedureTest, ParametersTakeArgumentsDefaultsAndGiveOutputsAndStatus) {
  EXPECT_EQ(One("DECLARE @t money, @rc int\nEXEC @rc = Price 1, @total = @t OUTPUT\nSELECT @rc, @t"), "7\t18.7500");
  EXPECT_EQ(One("DECLARE @t money, @rc int\nEXECUTE @rc = Price 1, DEFAULT, DEFAULT, @t OUTPUT SELECT @rc, @t"),
            "7\t18.7500");
  EXPECT_EQ(One("DECLARE @t money, @rc int\nEXEC @rc = Price 1, 2, @total = @t OUT SELECT @rc, @t"), "7\t25.0000");
  // An OUTPUT parameter is passed in too: no row leaves it as it came.
  EXPECT_EQ(One("DECLARE @t money = 5, @rc int\nEXEC @rc = Price @id = 99, @total = @t OUTPUT SELECT @rc, @t"),
            "7\t5.0000");
  EXPECT_EQ(One("DECLARE @t money, @rc int\nEXEC @rc = Price @id = 99, @total = @t OUTPUT SELECT @rc, @t"),
            "-1\t\\N");
  // Passed without OUTPUT, the variable keeps its value.
  EXPECT_EQ(One("DECLARE @t money = 1\nEXEC Price 1, 2, N'y', @t\nSELECT @t"), "1.0000");
  sqlsrv::BatchOutput out;
  db->Execute("DECLARE @t money EXEC Price 1, @total = @t OUTPUT", &out);
  EXPECT_EQ(out.return_status, 7);
}

TEST_F(ProcedureTest, DeclaredParametersInEveryFormTheirDefaultsAndConversions) {
  Exec("CREATE PROCEDURE Shape (@a int = -3, @b nvarchar(10) = N'it''s', @c money = NULL OUT, @d float = -1.5e2)\n"
       "AS SELECT @a, @b, @c, @d");
  EXPECT_EQ(One("EXEC Shape"), "-3\tit's\t\\N\t-150");
  EXPECT_EQ(One("EXEC Shape @b = N'中文', @a = 4"), "4\t中文\t\\N\t-150");
  // A bare word passes as the text it spells; text too long is cut.
  EXPECT_EQ(One("EXEC Shape 1, word"), "1\tword\t\\N\t-150");
  EXPECT_EQ(One("EXEC Shape 1, N'0123456789abc'"), "1\t0123456789\t\\N\t-150");
  EXPECT_EQ(One("EXEC Shape '12', NULL, $2.5"), "12\t\\N\t2.5000\t-150");
  EXPECT_EQ(Error("EXEC Shape 'abc'"), "8114 Error converting data type varchar to int.");
  EXPECT_EQ(Error("EXEC Shape N'abc'"), "8114 Error converting data type nvarchar to int.");
  EXPECT_EQ(Error("DECLARE @s nvarchar(5) = N'x' EXEC Shape 1, N'b', @s"), "8114 Error converting data type nvarchar to money.");
  EXPECT_EQ(Error("CREATE PROC Bad @a nosuch AS SELECT 1"),
            "2715 Column, parameter, or variable: Cannot find data type nosuch.");
}

TEST_F(ProcedureTest, ArgumentsThatDoNotFitTheParametersAreRefusedAsSqlServerRefusesThem) {
  EXPECT_EQ(Error("EXEC Need 1"), "201 Procedure or function 'Need' expects parameter '@b', which was not supplied.");
  EXPECT_EQ(Error("EXEC Need 1, DEFAULT"),
            "201 Procedure or function 'Need' expects parameter '@b', which was not supplied.");
  EXPECT_EQ(Error("EXEC Need 1, 2, 3"), "8144 Procedure or function Need has too many arguments specified.");
  EXPECT_EQ(Error("EXEC Need 1, @c = 2"), "8145 @c is not a parameter for procedure Need.");
  EXPECT_EQ(Error("EXEC Need @a = 1, 2"),
            "119 Must pass parameter number 2 and subsequent parameters as '@name = value'. After the form "
            "'@name = value' has been used, all subsequent parameters must be passed in the form '@name = value'.");
  EXPECT_EQ(Error("DECLARE @v int EXEC Need 1, @v OUTPUT"),
            "8162 The formal parameter \"@b\" was not declared as an OUTPUT parameter, but the actual parameter "
            "passed in requested output.");
  EXPECT_EQ(Error("EXEC Need 1, @a = 2"), "8143 Parameter '@a' was supplied multiple times.");
  EXPECT_EQ(Error("EXEC Need 1, 2 OUTPUT"),
            "179 Cannot use the OUTPUT option when passing a constant to a stored procedure.");
  // Only constants and variables are arguments.
  EXPECT_EQ(Error("EXEC Need 1 + 1, 2"), "102 Incorrect syntax near '+'.");
  EXPECT_EQ(Error("EXEC Sales61.dbo.Need 1, 2"), "2812 Could not find stored procedure 'Sales61.dbo.Need'.");
  EXPECT_EQ(Error("EXEC Need 1, @undeclared"), "137 Must declare the scalar variable \"@undeclared\".");
}

TEST_F(ProcedureTest, AProcedureIsCheckedWhenCreatedAndHasItsOwnVariables) {
  const std::string redeclared =
      "134 The variable name '@A' has already been declared. Variable names must be unique within a query batch or "
      "stored procedure.";
  EXPECT_EQ(Error("CREATE PROC Dup @a int, @A int AS SELECT 1"), redeclared);
  EXPECT_EQ(Error("CREATE PROC Dup @a int AS DECLARE @A int"), redeclared);
  EXPECT_EQ(Error("CREATE PROC Dup AS SELECT @x"), "137 Must declare the scalar variable \"@x\".");
  EXPECT_EQ(Error("EXEC Dup"), "2812 Could not find stored procedure 'Dup'.");
  // The caller's variables are not the procedure's.
  Exec("CREATE PROC Own @a int AS DECLARE @b int = @a * 2 SELECT @b");
  EXPECT_EQ(Rows("DECLARE @b int = 100 EXEC Own 4 SELECT @b"), (std::vector<std::string>{"8", "100"}));
  // RETURN of NULL is 0, with SQL Server's warning.
  Exec("CREATE PROC Nothing AS RETURN NULL");
  sqlsrv::BatchOutput out;
  db->Execute("DECLARE @rc int = 9 EXEC @rc = Nothing SELECT @rc", &out);
  EXPECT_EQ(Lines(out), std::vector<std::string>{"0"});
  EXPECT_EQ(Texts(out), std::vector<std::string>{"The 'Nothing' procedure attempted to return a status of NULL, which "
                                                   "is not allowed. A status of 0 will be returned instead."});
}

TEST_F(ProcedureTest, NestedProceduresPassOutputsAndStatusesUp) {
  Exec("CREATE PROC Twice @x int, @y int OUTPUT AS SET @y = @x * 2 RETURN @x");
  Exec("CREATE PROC Caller @n int, @r int OUTPUT AS\n"
       "DECLARE @s int\n"
       "EXEC @s = Twice @n, @r OUTPUT\n"
       "SET @r = @r + @s");
  EXPECT_EQ(One("DECLARE @out int EXEC Caller 5, @out OUTPUT SELECT @out"), "15");
  Exec("CREATE PROC Level AS SELECT @@NESTLEVEL");
  Exec("CREATE PROC CallsLevel AS EXEC Level");
  EXPECT_EQ(Rows("SELECT @@NESTLEVEL EXEC Level EXEC CallsLevel"), (std::vector<std::string>{"0", "1", "2"}));
  // A procedure calling itself for ever stops at SQL Server's limit.
  Exec("CREATE PROC Forever @n int AS SET @n = @n + 1 EXEC Forever @n");
  EXPECT_EQ(Error("EXEC Forever 0"),
            "217 Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
}

// ------------------------------------------------------------ sp_executesql

TEST_F(ProcedureTest, ExecuteSqlRunsItsStatementWithItsDeclaredParameters) {
  EXPECT_EQ(One("DECLARE @v money\n"
                "EXEC sp_executesql N'SELECT @q = price FROM Goods WHERE id = @p', N'@p int, @q money OUTPUT', "
                "@p = 1, @q = @v OUTPUT\nSELECT @v"),
            "12.5000");
  EXPECT_EQ(One("EXEC sp_executesql N'SELECT @a + 1', N'@a int', 41"), "42");
  EXPECT_EQ(One("EXEC sp_executesql N'SELECT @m', N'@m money', '1.23456'"), "1.2346");
  EXPECT_EQ(One("EXEC sp_executesql N'SELECT 1'"), "1");
  EXPECT_EQ(One("EXECUTE sys.sp_executesql @stmt = N'SELECT 2'"), "2");
  EXPECT_EQ(One("EXEC master..sp_executesql N'SELECT @p', N'@p nvarchar(5) = N''dflt'''"), "dflt");
  EXPECT_EQ(Error("EXEC sp_executesql N'SELECT @p', N'@p int'"),
            "8178 The parameterized query '(@p int)SELECT @p' expects the parameter '@p', which was not supplied.");
  // Its statement is a batch of its own: the caller's variables are not
  // there.
  EXPECT_EQ(Error("DECLARE @outer int = 1 EXEC sp_executesql N'SELECT @outer'"),
            "137 Must declare the scalar variable \"@outer\".");
  EXPECT_EQ(Error("EXEC sp_executesql 'SELECT 1'"),
            "214 Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.");
  EXPECT_EQ(Error("EXEC sp_executesql N'SELECT 1', N'@a int', 1, 2"),
            "8144 Procedure or function sp_executesql has too many arguments specified.");
  EXPECT_EQ(Error("EXEC sp_executesql N'SELECT 1', N'@a int, @A int', 1, 2").substr(0, 4), "134 ");
  sqlsrv::BatchOutput out;
  db->Execute("EXEC sp_executesql N'SELECT 1'", &out);
  EXPECT_EQ(out.return_status, 0);
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

  // A default with quotes and comment marks is only a value.
  Exec("CREATE PROC Quoted @s nvarchar(40) = N'O''Brien''; DROP TABLE Goods --' AS SELECT @s");
  EXPECT_EQ(One("EXEC Quoted"), "O'Brien'; DROP TABLE Goods --");
  EXPECT_EQ(One("SELECT count(*) FROM Goods"), "2");

  // Names with ']' in them.
  Exec("CREATE PROCEDURE [we]]ird proc] @a int AS SELECT @a * 2");
  EXPECT_EQ(One("EXEC [we]]ird proc] 21"), "42");
  std::vector<Argument> args{Arg(Variant::I4(4))};
  sqlsrv::BatchOutput out;
  db->Call("[we]]ird proc]", args, &out);
  EXPECT_EQ(Lines(out), std::vector<std::string>{"8"});
  EXPECT_EQ(Error("EXEC [no]]such]"), "2812 Could not find stored procedure 'no]such'.");

  // Text holding a NUL travels whole.
  const std::string nul("a\0b", 3);
  std::vector<Argument> echo{Arg(Variant::Text("SELECT @s = @t")), Arg(Variant::Text("@t nvarchar(10), @s nvarchar(10) OUTPUT")),
                             Named("@t", Variant::Text(nul)), Named("@s", Variant::Null(), true)};
  db->Call("sp_executesql", echo);
  EXPECT_EQ(echo[3].value, Variant::Text(nul));

  EXPECT_EQ(Error("EXEC Need @a ="), "102 Incorrect syntax near the end of the batch.");
  EXPECT_EQ(Error("DECLARE @ int"), "102 Incorrect syntax near '@'.");
}

}  // namespace

namespace {

TEST_F(ProcedureTest, SystemProceduresRunByCallByExecAndByNameAloneFirstInABatch) {
  // sp_pkeys as an ODBC driver calls it: remotely, by name, through master.
  std::vector<Argument> args{Named("@table_name", Variant::Text("Goods"))};
  sqlsrv::BatchOutput out;
  EXPECT_EQ(db->Call("master.dbo.sp_pkeys", args, &out), 0);
  ASSERT_EQ(out.results.size(), 1u);
  ASSERT_EQ(out.results[0].rows.size(), 1u);
  EXPECT_EQ(out.results[0].rows[0][3], Variant::Text("id"));  // COLUMN_NAME
  // A procedure's name first in a batch runs it, its arguments as EXEC's.
  EXPECT_EQ(Rows("sp_pkeys Goods").size(), 1u);
  Exec("CREATE PROC Named @a int AS SELECT @a + 1");
  EXPECT_EQ(One("Named 41"), "42");
  EXPECT_EQ(One("[dbo].[Named] @a = 1"), "2");
  // Not first, the name is no statement.
  EXPECT_EQ(Error("SELECT 1 Named 41").substr(0, 3), "102");
  // Run in another database, a system procedure says to USE it first.
  EXPECT_EQ(CallError("Other..sp_pkeys", {Named("@table_name", Variant::Text("Goods"))}).substr(0, 5), "40000");
  // Its parameters bind as any procedure's.
  EXPECT_EQ(CallError("sp_pkeys", {Named("@nope", Variant::Text("Goods"))}).substr(0, 4), "8145");
}

TEST_F(VariablesTest, TheDateAndTimeTypesOfLaterServersHoldDatetimes) {
  // As TDS 7.3 clients declare their parameters: held as datetime.
  EXPECT_EQ(One("DECLARE @d datetime2(7) = '2007-01-23 10:20:30.123' SELECT CONVERT(varchar(30), @d, 121)"),
            "2007-01-23 10:20:30.123");
  EXPECT_EQ(One("DECLARE @d date SET @d = '2007-01-23' SELECT @d"), "2007-01-23 00:00:00");
  // A table's column may not have them: the server keeps only datetime.
  EXPECT_EQ(Error("CREATE TABLE Later (d datetime2)").substr(0, 4), "2715");
}

}  // namespace
