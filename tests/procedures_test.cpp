// The stored procedure texts the plans install, and the one transformation
// script: every byte, since the destination keeps the procedures and an
// operator may read them there.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "library/builder/transfer.h"
#include "library/interface/postings.h"
#include "library/plans/procedures.h"
#include "library/transfers/transfers.h"
#include "platform/dts/model.h"

namespace {

using korvel::plans::WriteCustAccSql;
using korvel::plans::WriteSuppAccSql;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto crlf = text.find("\r\n", start);
    out.push_back(text.substr(start, crlf == std::string::npos ? std::string::npos : crlf - start));
    if (crlf == std::string::npos) return out;
    start = crlf + 2;
  }
}

// Lines end with CR LF, never a lone CR or LF, and nothing follows the last.
void ExpectCrLfLines(const std::string& text, std::size_t lines) {
  std::size_t crlf = 0, cr = 0, lf = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    cr += text[i] == '\r';
    lf += text[i] == '\n';
    crlf += text.compare(i, 2, "\r\n") == 0;
  }
  EXPECT_EQ(crlf, lines - 1);
  EXPECT_EQ(cr, crlf);
  EXPECT_EQ(lf, crlf);
  EXPECT_NE(text.back(), '\n');
}

const std::string kHyphens =
    "----------------------------------------------------------------------------------------------------"
    "------------------------------";

TEST(PostingProcedures, TheCustomerPostingOf20070123ByteForByte) {
  const std::string expected =
      "/*功能: 在5.6升级到6.0时，导完客户期初后，写客户往来帐*/\r\n"
      "/*日期: 2007-01-23*/\r\n"
      "CREATE PROCEDURE WriteCustAcc AS \r\n"
      "/*Customer: 新系统上的客户表*/\r\n"
      "/*CustAcc: 新系统上的客户往来帐*/\r\n" +
      kHyphens +
      "\r\n"
      "/*启动事务*/\r\n"
      "BEGIN TRANSACTION\r\n"
      "/*插入客户期初记录(只写使用中的、余额不等于零的非零售客户的往来)*/\r\n"
      "INSERT INTO CustAcc\r\n"
      "      (Type, UnitID, BuyAmo, PayAmo, BalAmo, Summary)\r\n"
      "SELECT 200 AS Type, UnitID, BalAmo AS BuyAmo, 0 AS PayAmo, BalAmo, '期初余额' AS Summary\r\n"
      "FROM Customer\r\n"
      "WHERE (IsUsed <> 0) AND (BalAmo <> 0) AND (UnitID <> N'0')\r\n"
      "/*更新IsTrans*/\r\n"
      "UPDATE Customer\r\n"
      "SET IsTrans = 1\r\n"
      "WHERE (IsTrans = 0) AND (IsUsed <> 0) AND (BalAmo <> 0) AND (UnitID <> N'0')\r\n"
      "/*提交事务*/\r\n"
      "COMMIT";
  const std::string text = WriteCustAccSql(false);
  EXPECT_EQ(text, expected);
  ExpectCrLfLines(text, 20);
  const auto lines = Lines(text);
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[2], "CREATE PROCEDURE WriteCustAcc AS ");  // the trailing blank
  EXPECT_EQ(lines[5], std::string(130, '-'));
  EXPECT_EQ(lines[10], "      (Type, UnitID, BuyAmo, PayAmo, BalAmo, Summary)");
  EXPECT_EQ(lines.back(), "COMMIT");
}

TEST(PostingProcedures, TheSupplierPostingOf20070123DiffersInTenLines) {
  const auto customer = Lines(WriteCustAccSql(false));
  const std::string text = WriteSuppAccSql(false);
  ExpectCrLfLines(text, 20);
  const auto lines = Lines(text);
  ASSERT_EQ(lines.size(), 20u);
  const std::vector<std::pair<std::size_t, std::string>> changed = {
      {1, "/*功能: 在5.6升级到6.0时，导完供货商期初后，写供应商往来帐*/"},
      {3, "CREATE PROCEDURE WriteSuppAcc AS "},
      {4, "/*Supplier: 新系统上的供应商表*/"},
      {5, "/*SuppAcc: 新系统上的供应商往来帐*/"},
      {9, "/*插入供应商期初记录(只写使用中的、余额不等于零的供货商的往来)*/"},
      {10, "INSERT INTO SuppAcc"},
      {13, "FROM Supplier"},
      {14, "WHERE (IsUsed <> 0) AND (BalAmo <> 0)"},
      {16, "UPDATE Supplier"},
      {18, "WHERE (IsTrans = 0) AND (IsUsed <> 0) AND (BalAmo <> 0)"},
  };
  for (std::size_t line = 1; line <= 20; ++line) {
    std::string expected = customer[line - 1];
    for (const auto& [n, replacement] : changed) {
      if (n == line) expected = replacement;
    }
    EXPECT_EQ(lines[line - 1], expected) << "line " << line;
  }
}

TEST(PostingProcedures, TheFullPlanVersionsOf20070110EmptyTheLedgerFirst) {
  struct Case {
    std::string text;
    std::string purpose, create, delete_comment, delete_statement;
  };
  const Case cases[] = {
      {WriteCustAccSql(true), "/*功能: 在5.6升级到6.0时，导完期初数据后，写客户往来帐*/", "CREATE PROCEDURE WriteCustAcc AS ",
       "/*删除客户保管帐*/", "Delete From CustAcc"},
      {WriteSuppAccSql(true), "/*功能: 在5.6升级到6.0时，导完期初数据后，写供应商往来帐*/",
       "CREATE PROCEDURE WriteSuppAcc AS ", "/*删除供货商保管帐*/", "Delete From SuppAcc"},
  };
  for (const Case& c : cases) {
    ExpectCrLfLines(c.text, 21);
    const auto lines = Lines(c.text);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], c.purpose);
    EXPECT_EQ(lines[1], "/*日期: 2007-01-10*/");
    EXPECT_EQ(lines[2], c.create);
    EXPECT_EQ(lines[5], "/*启动事务*/");  // no line of hyphens
    EXPECT_EQ(lines[6], "BEGIN TRANSACTION");
    EXPECT_EQ(lines[7], c.delete_comment);
    EXPECT_EQ(lines[8], c.delete_statement);
    EXPECT_EQ(c.text.find("--"), std::string::npos);
    EXPECT_EQ(lines[20], "COMMIT");
  }
  // Apart from those lines, the same text as the 2007-01-23 version.
  auto cust = Lines(WriteCustAccSql(false));
  cust.erase(cust.begin() + 5);
  const auto full = Lines(WriteCustAccSql(true));
  for (std::size_t i = 2; i < 7; ++i) EXPECT_EQ(full[i], cust[i]) << i;
  for (std::size_t i = 7; i < cust.size(); ++i) EXPECT_EQ(full[i + 2], cust[i]) << i;
}

TEST(PostingProcedures, DropAndExecuteTexts) {
  EXPECT_EQ(korvel::plans::DropProcedureSql("WriteCustAcc"),
            "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[WriteCustAcc]') and "
            "OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [dbo].[WriteCustAcc]");
  EXPECT_EQ(korvel::plans::DropProcedureSql("WriteSuppAcc"),
            "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[WriteSuppAcc]') and "
            "OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [dbo].[WriteSuppAcc]");
  EXPECT_EQ(korvel::plans::ExecuteProcedureSql("WriteSuppAcc"), "Execute WriteSuppAcc");
}

const char kCustodyInsert[] =
    "/*启动事务*/\r\n"
    "BEGIN TRANSACTION\r\n"
    "/*插入商品保管帐记录(只写库存余额不等于零的商品保管帐)*/\r\n"
    "INSERT INTO Custody\r\n"
    "     (Type, BaseID, GoodsID,\r\n"
    "     BuyPrice, BuyQua, BuyAmo,\r\n"
    "     BalPrice, BalQua, BalAmo, \r\n"
    "     RBalQua, RBalAmo,\r\n"
    "     Summary)\r\n"
    "SELECT 200 AS Type, BaseID, GoodsID,\r\n"
    "     BalAmo / BalQua AS BuyPrice, BalQua AS BuyQua, BalAmo AS BuyAmo,\r\n"
    "     BalAmo / BalQua AS BalPrice, BalQua, BalAmo,\r\n"
    "     BalQua AS RBalQua, BalAmo AS RBalAmo,\r\n"
    "     '期初余额' AS Summary\r\n"
    "FROM bBalance\r\n"
    "WHERE (BalQua <> 0)\r\n";

TEST(CustodyPosting, TheGoodsPlanVersionOf20070124EndsWithItsRule) {
  const std::string expected = std::string(
                                   "/*功能: 在5.6升级到6.0时，导完期初数据后，写商品保管帐*/\r\n"
                                   "/*日期: 2007-01-24*/\r\n"
                                   "CREATE PROCEDURE WriteCustody AS \r\n"
                                   "/*Custody: 新系统上的保管帐*/\r\n"
                                   "/*bBalance: 新系统上的库存帐*/\r\n") +
                               kHyphens + "\r\n" + kCustodyInsert +
                               "/*更新IsTrans*/\r\n"
                               "UPDATE Goods\r\n"
                               "SET IsTrans = 1\r\n"
                               "WHERE (IsTrans = 0) AND (IsUsual <> 0) AND\r\n"
                               "(GoodsID in \r\n"
                               "     (\r\n"
                               "     SELECT distinct GoodsID\r\n"
                               "     FROM bBalance\r\n"
                               "     WHERE BalQua <> 0\r\n"
                               "     )\r\n"
                               ")\r\n"
                               "/*提交事务*/\r\n"
                               "COMMIT\r\n" +
                               kHyphens;
  const std::string text = korvel::plans::WriteCustodySql(false);
  EXPECT_EQ(text, expected);
  ExpectCrLfLines(text, 36);
  const auto lines = Lines(text);
  EXPECT_EQ(lines[2], "CREATE PROCEDURE WriteCustody AS ");
  EXPECT_EQ(lines[12], "     BalPrice, BalQua, BalAmo, ");
  EXPECT_EQ(lines[26], "(GoodsID in ");
  EXPECT_EQ(lines.back(), std::string(130, '-'));
}

TEST(CustodyPosting, TheFullPlanVersionOf20070110HasNoRulesAndNoUpdate) {
  const std::string expected = std::string(
                                   "/*功能: 在5.6升级到6.0时，导完期初数据后，写商品保管帐*/\r\n"
                                   "/*日期: 2007-01-10*/\r\n"
                                   "CREATE PROCEDURE WriteCustody AS \r\n"
                                   "/*Custody: 新系统上的保管帐*/\r\n"
                                   "/*bBalance: 新系统上的库存帐*/\r\n") +
                               kCustodyInsert +
                               "/*提交事务*/\r\n"
                               "COMMIT";
  const std::string text = korvel::plans::WriteCustodySql(true);
  EXPECT_EQ(text, expected);
  ExpectCrLfLines(text, 23);
  EXPECT_EQ(text.find("IsTrans"), std::string::npos);
  EXPECT_EQ(korvel::plans::DropProcedureSql("WriteCustody"),
            "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[WriteCustody]') and "
            "OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [dbo].[WriteCustody]");
}

// The posting rules the check and the reconciliation go by, held to the
// procedures the plans install: each version of each procedure posts into
// the rule's ledger from the rule's table, under the rule's conditions,
// with the rule's amount (and quantity), and runs in the rule's step.
TEST(PostingRules, EachRuleIsWhatItsProcedurePosts) {
  using korvel::PostingRule;
  const struct {
    const PostingRule& rule;
    std::string (*sql)(bool);
  } cases[] = {{korvel::kCustomerPosting, &korvel::plans::WriteCustAccSql},
               {korvel::kSupplierPosting, &korvel::plans::WriteSuppAccSql},
               {korvel::kCustodyPosting, &korvel::plans::WriteCustodySql}};
  ASSERT_EQ(std::size(korvel::kPostingRules), std::size(cases));
  for (const auto& c : cases) {
    const std::string procedure(c.rule.procedure);
    const korvel::builder::Names no_names("Sales60");
    EXPECT_EQ(korvel::plans::ExecuteProcedureStep(procedure).name.Name(no_names), c.rule.step);
    for (bool full : {false, true}) {
      const auto lines = Lines(c.sql(full));
      const auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
      EXPECT_TRUE(has("CREATE PROCEDURE " + procedure + " AS ")) << procedure;
      EXPECT_TRUE(has("INSERT INTO " + std::string(c.rule.ledger))) << procedure;
      // The rows read: FROM the rule's table, WHERE its conditions and
      // nothing else.
      const auto from = std::find(lines.begin(), lines.end(), "FROM " + std::string(c.rule.source));
      ASSERT_NE(from, lines.end()) << procedure;
      ASSERT_NE(from + 1, lines.end()) << procedure;
      std::string where = (from + 1)->substr(std::string("WHERE ").size());
      for (std::string_view column : c.rule.not_zero) {
        if (column.empty()) continue;
        const std::string condition = "(" + std::string(column) + " <> 0)";
        ASSERT_NE(where.find(condition), std::string::npos) << procedure << ": " << condition;
        where.erase(where.find(condition), condition.size());
      }
      if (!c.rule.except_column.empty()) {
        const std::string condition =
            "(" + std::string(c.rule.except_column) + " <> N'" + std::string(c.rule.except_value) + "')";
        ASSERT_NE(where.find(condition), std::string::npos) << procedure << ": " << condition;
        where.erase(where.find(condition), condition.size());
      }
      while (where.find(" AND ") != std::string::npos) where.erase(where.find(" AND "), 5);
      EXPECT_EQ(where, "") << procedure << ": a condition the rule does not state";
      // The amount, and the quantity, go into the ledger's columns of the
      // same names.
      const std::string text = c.sql(full);
      for (std::string_view column : {c.rule.amount, c.rule.quantity}) {
        if (column.empty()) continue;
        EXPECT_NE(text.find(", " + std::string(column) + ","), std::string::npos) << procedure << ": " << column;
      }
    }
  }
}

TEST(TransformationScript, TheStockScriptByteForByte) {
  auto package = dts::Package::Create();
  auto task = package->Tasks().New(dts::kDataPumpTaskKind);
  korvel::builder::AddTransferTransformation(task->AsDataPump(), korvel::transfers::kBBalanceFull);
  const auto& t = task->AsDataPump().Transformations().Item(1);
  const std::string text = t.TransformServerProperties().GetText("Text");
  EXPECT_EQ(text,
            "'" + std::string(70, '*') + "\r\n"
            "'  Visual Basic Transformation Script\r\n"
            "'  Copy each source column to the\r\n"
            "'  destination column\r\n"
            "'" + std::string(72, '*') + "\r\n"
            "Function Main()\r\n"
            "   DTSDestination(\"BaseID\") = DTSSource(\"BaseID\")\r\n"
            "   DTSDestination(\"GoodsID\") = DTSSource(\"GoodsID\")\r\n"
            "   DTSDestination(\"PBalQua\") = DTSSource(\"BalQua\")\r\n"
            "   DTSDestination(\"PBalAmo\") = DTSSource(\"BalAmo\")\r\n"
            "   DTSDestination(\"BalPrice\") = DTSSource(\"BalPrice\")\r\n"
            "   DTSDestination(\"BalQua\") = DTSSource(\"BalQua\")\r\n"
            "   DTSDestination(\"BalAmo\") = DTSSource(\"BalAmo\")\r\n"
            "   DTSDestination(\"BDIQua\") = DTSSource(\"BDIQua\")\r\n"
            "   DTSDestination(\"BDIQAmo\") = DTSSource(\"BDIQAmo\")\r\n"
            "   DTSDestination(\"BDEQua\") = DTSSource(\"BDEQua\")\r\n"
            "   DTSDestination(\"BDEQAmo\") = DTSSource(\"BDEQAmo\")\r\n"
            "   DTSDestination(\"Location\") = DTSSource(\"Location\")\r\n"
            "   Main = DTSTransformStat_OK\r\n"
            "End Function");
  ExpectCrLfLines(text, 20);
  EXPECT_EQ(t.TransformServerProperties().GetText("Language"), "VBScript");
  EXPECT_EQ(t.TransformServerProperties().GetText("FunctionEntry"), "Main");
  EXPECT_EQ(t.SourceColumns().Count(), 12);
  EXPECT_EQ(t.DestinationColumns().Count(), 17);
}

// The DELETE lines of a clearing procedure, table names as written.
std::vector<std::string> Deleted(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) {
    if (line.rfind("     DELETE FROM ", 0) == 0) out.push_back(line.substr(17));
  }
  return out;
}

TEST(ClearingProcedures, HeadsStepsAndEnds) {
  struct Case {
    std::string text;
    std::vector<std::string> head;
    std::size_t deletes;
    std::string last;
  };
  const Case cases[] = {
      {korvel::plans::ClearAllDataSql(),
       {"/*功能: 在5.*升级到6.*时，清除目的库所有数据*/", "/*注意: 此存储过程所清除的数据，包括建库时自动生成的记录*/",
        "/*日期: 2007-01-16*/", "CREATE PROCEDURE [ClearAllData] AS", "/*由于存在外键约束，故删除时必须注意顺序:*/",
        "/*Step 1: 清除帐簿*/", "     DELETE FROM AccDate"},
       134, "     DELETE FROM Version"},
      {korvel::plans::ClearUserDataSql(),
       {"/*功能: 在5.*升级到6.*时，清除目的库所有用户数据*/",
        "/*注意: 此存储过程所清除的数据，并不包括建库时自动生成的记录*/", "/*日期: 2007-01-16*/",
        "CREATE PROCEDURE [ClearUserData] AS", "/*由于存在外键约束，故删除时必须注意顺序:*/", "/*Step 1: 清除帐簿*/",
        "     DELETE FROM AccDate"},
       114, "     DELETE FROM UserLimit"},
  };
  for (const Case& c : cases) {
    const auto lines = Lines(c.text);
    ExpectCrLfLines(c.text, lines.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7), c.head);
    EXPECT_EQ(Deleted(lines).size(), c.deletes);
    EXPECT_EQ(lines.back(), c.last);
    EXPECT_EQ(lines.size(), c.deletes + 5 + 3 + 1);  // head, three step lines, the blank line
    // The line of five spaces stands between the documents and the archives.
    const auto step3 = std::find(lines.begin(), lines.end(), "/*Step 3: 清除档案*/");
    ASSERT_NE(step3, lines.end());
    EXPECT_EQ(*(step3 - 1), "     ");
    EXPECT_EQ(*(step3 - 2), "     DELETE FROM TempCustoday");
    EXPECT_EQ(*(step3 + 1), c.deletes == 134 ? "     DELETE FROM ContentCheck" : "     DELETE FROM Domain");
  }
}

TEST(ClearingProcedures, ClearUserDataKeepsTheCreatedRecordsAndBothEmptyCustody) {
  const auto all = Deleted(Lines(korvel::plans::ClearAllDataSql()));
  const auto user = Deleted(Lines(korvel::plans::ClearUserDataSql()));
  std::vector<std::string> kept;
  for (const auto& t : all) {
    if (std::find(user.begin(), user.end(), t) == user.end()) kept.push_back(t);
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"SelPrice", "SRegistry_MACHINE", "SRegistry_ROOT", "SRegistry_USERS",
                                            "ContentCheck", "datClear", "Catalog", "CatType", "DroitList", "ExShType",
                                            "ImShType", "InvoiceType", "Parameter", "SettleType", "SettMode",
                                            "SheetType", "SysParaRef", "SysParm", "[System]", "Version"}));
  // Every table ClearUserData empties, ClearAllData empties in the same order.
  std::vector<std::string> all_but_kept;
  for (const auto& t : all) {
    if (std::find(kept.begin(), kept.end(), t) == kept.end()) all_but_kept.push_back(t);
  }
  EXPECT_EQ(all_but_kept, user);
  // Both empty the custody book right after CustAccTotal.
  for (const auto* list : {&all, &user}) {
    const auto at = std::find(list->begin(), list->end(), "Custody");
    ASSERT_NE(at, list->end());
    EXPECT_EQ(*(at - 1), "CustAccTotal");
    EXPECT_EQ(*(at + 1), "SuppAcc");
  }
  for (const char* bracketed : {"[Size]", "[System]", "[User]"}) {
    EXPECT_NE(std::find(all.begin(), all.end(), bracketed), all.end()) << bracketed;
  }
  EXPECT_EQ(korvel::plans::DropProcedureSql("ClearUserData"),
            "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[ClearUserData]') and "
            "OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [dbo].[ClearUserData]");
  EXPECT_EQ(korvel::plans::ExecuteProcedureSql("ClearAllData"), "Execute ClearAllData");
}

}  // namespace
