// The goods plans end to end on the embedded server: goods, warehouses and
// stock as the 5.6 source holds them, the custody book posted from them,
// and what every failure leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "cli/sample.h"
#include "library/builder/defined_plan.h"
#include "library/plans/procedures.h"
#include "library/transfers/transfers.h"
#include "platform/com/error.h"
#include "platform/com/variant.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/engine.h"
#include "tests/support/chained_plan.h"
#include "tests/support/fault_injection.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"
#include "tests/support/upgrade_check.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::PlanOutcome;
using testing_support::RunPlan;
using testing_support::Sorted;
using Lines = std::vector<std::string>;

constexpr char kNoWrite[] = "C5to6GoodsNoWriteCustody";
constexpr char kWrite[] = "C5to6GoodsWriteCustody";

constexpr char kCustodyColumns[] =
    "select BaseID, GoodsID, Type, BuyPrice, BuyQua, BuyAmo, BalPrice, BalQua, BalAmo, RBalQua, RBalAmo, Summary "
    "from Custody";

class GoodsRun : public ::testing::Test {
 protected:
  Lines Dest(const std::string& sql) const { return shop.Query(sql); }

  // The goods that the posting marks: in regular use and with stock.
  Lines ExpectedMarked(const std::string& file, const testing_support::ExpectedCustody& custody) const {
    jet::Database db(file);
    auto rows = db.Query("select `GoodsID`,`IsUsual` from `Goods`");
    Lines out;
    dts::Row row;
    while (rows->Next(row)) {
      if (row[1].ToBool() && custody.stocked_goods.count(row[0].text())) out.push_back(row[0].text());
    }
    return Sorted(out);
  }

  EmbeddedShop shop;
};

TEST_F(GoodsRun, TheSampleShopsStockIsPostedToTheCustodyBookAndARerunDoesNotDuplicate) {
  const auto expected = testing_support::CustodyOf(shop.source);
  ASSERT_FALSE(expected.rows.empty());
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const PlanOutcome outcome = RunPlan(shop, kWrite, shop.source);
    ASSERT_EQ(outcome.error, "");
    EXPECT_EQ(Sorted(Dest(kCustodyColumns)), expected.rows);
    EXPECT_EQ(Dest("select count(*), sum(BalQua), sum(BalAmo) from Custody"), Lines{expected.totals});
    EXPECT_EQ(Dest("select GoodsID from Goods where IsTrans = 1 order by GoodsID"),
              ExpectedMarked(shop.source, expected));
    const auto& post = outcome.statistics.at("执行存储过程 WriteCustody").statements;
    ASSERT_EQ(post.size(), 2u);
    EXPECT_EQ(post[0].table + " " + std::to_string(post[0].rows), "Custody " + std::to_string(expected.rows.size()));
    EXPECT_EQ(post[1].table + " " + std::to_string(post[1].rows),
              "Goods " + std::to_string(ExpectedMarked(shop.source, expected).size()));
  }
  // Warehouses keep their numbers; stock arrives with the current balance
  // as the opening one too; the goods' six stock sums stay at the defaults.
  jet::Database db(shop.source);
  EXPECT_EQ(Sorted(Dest("select BaseID, BaseCode, BaseName from Base")),
            Sorted(testing_support::TsvLines(*db.Query("select `BaseID`,`BaseCode`,`BaseName` from `Base`"))));
  EXPECT_EQ(Dest("select count(*) from bBalance where PBalQua <> BalQua or PBalAmo <> BalAmo"), Lines{"0"});
  EXPECT_EQ(Dest("select count(*) from Goods where BQuaSum <> 0 or BAmoSum <> 0 or BDIQSum <> 0 or BDIQAmo <> 0 "
                 "or BDEQSum <> 0 or BDEQAmo <> 0"),
            Lines{"0"});
}

// A 5.6 file with one case per rule: warehouses 5 and 9; goods G1 (4 for 10
// in warehouse 5 and 3 for 10 in warehouse 9), G2 (no quantity but an
// amount), G3 (stocked but not in regular use), G4 (no stock, a name over
// 50 characters).
std::map<std::string, std::string> CaseTables() {
  return {
      {"Base", "BaseID\tBaseCode\tBaseName\tIsOwner\n5\t05\t总仓\t1\n9\t09\t门店\t0\n"},
      {"gdsClass", "Class\tIsGoods\tClasName\n0001\t1\t食品\n"},
      {"Goods",
       "GoodsID\tClass\tIsUsual\tGdsName\tBalQua\tBalAmo\tPBalQua\tPBalAmo\tBQuaSum\tBDEQAmo\n"
       "G1\t0001\t1\t大米\t7\t20\t1\t1\t5\t6\n"
       "G2\t0001\t1\t面粉\t0\t7\t2\t2\t5\t6\n"
       "G3\t0001\t0\t食盐\t2\t3\t3\t3\t5\t6\n"
       "G4\t0001\t1\t" + std::string(60, 'x') + "\t0\t0\t0\t0\t5\t6\n"},
      {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\nG1\tG2\t2\t1.5\n"},
      {"GoodsIDList",
       "GoodsBarID\tGoodsID\tType\tOptime\tIsSaleOut\n6901\tG1\t1\t2006-05-01\t1\n6902\tG2\t1\t\\N\t0\n"},
      {"bBalance",
       "BaseID\tGoodsID\tBalQua\tBalAmo\tPBalQua\tPBalAmo\tBalPrice\n"
       "5\tG1\t4\t10\t1\t1\t2.5\n"
       "9\tG1\t3\t10\t1\t1\t3.3\n"
       "5\tG2\t0\t7\t0\t0\t\\N\n"
       "5\tG3\t2\t3\t0\t0\t1.5\n"},
  };
}

TEST_F(GoodsRun, EachPostingAndTransferRuleHoldsOnItsOwnCase) {
  const std::string source = shop.WriteSource("cases.mdb", CaseTables());
  const PlanOutcome run = RunPlan(shop, kWrite, source);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(Sorted(Dest("select BaseID, GoodsID, BuyPrice, BuyQua, BuyAmo, BalPrice, RBalQua, RBalAmo from Custody")),
            (Lines{"5\tG1\t2.5000\t4.0000\t10.0000\t2.5000\t4.0000\t10.0000",
                   "5\tG3\t1.5000\t2.0000\t3.0000\t1.5000\t2.0000\t3.0000",
                   "9\tG1\t3.3333\t3.0000\t10.0000\t3.3333\t3.0000\t10.0000"}));
  // G1, stocked twice, is marked once; G3 is not in regular use.
  EXPECT_EQ(Dest("select GoodsID, IsTrans from Goods order by GoodsID"),
            (Lines{"G1\t1", "G2\t0", "G3\t0", "G4\t0"}));
  EXPECT_EQ(run.statistics.at("执行存储过程 WriteCustody").statements.at(1).rows, 1);
  // The current stock is also the opening stock; 5.6's own PBalQua and
  // PBalAmo are not read.
  EXPECT_EQ(Dest("select GoodsID, PBalQua, BalQua, PBalAmo, BalAmo from Goods where GoodsID = 'G1'"),
            Lines{"G1\t7.0000\t7.0000\t20.0000\t20.0000"});
  EXPECT_EQ(Dest("select BaseID, PBalQua, BalQua, PBalAmo, BalAmo from bBalance where GoodsID = 'G1' order by BaseID"),
            (Lines{"5\t4.0000\t4.0000\t10.0000\t10.0000", "9\t3.0000\t3.0000\t10.0000\t10.0000"}));
  // This plan leaves the stock sums at the defaults and copies Optime.
  EXPECT_EQ(Dest("select BQuaSum, BDEQAmo from Goods where GoodsID = 'G1'"), Lines{"0.0000\t0.0000"});
  EXPECT_EQ(Dest("select GoodsBarID, Optime, IsSaleOut from GoodsIDList order by GoodsBarID"),
            (Lines{"6901\t2006-05-01 00:00:00\t1", "6902\t\\N\t0"}));
  // The long name is cut to its column and the cut is reported with its row.
  EXPECT_EQ(Dest("select len(GdsName) from Goods where GoodsID = 'G4'"), Lines{"50"});
  const auto& cuts = run.statistics.at("导入数据到 [Sales60].[dbo].[Goods]").truncations;
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_EQ(cuts[0].column, "GdsName");
  EXPECT_EQ(cuts[0].count, 1);
  ASSERT_EQ(cuts[0].first_rows.size(), 1u);
  EXPECT_EQ(cuts[0].first_rows[0].position, 4);
  EXPECT_EQ(cuts[0].first_rows[0].key, "GoodsID=G4");

  // A goods already marked stays as it is: the update counts only G1 again.
  sqlsrv::Engine engine(shop.database_file, "Sales60", "sa");
  sqlsrv::BatchOutput output;
  engine.Execute("update Goods set IsTrans = 0 where GoodsID = 'G1'; update Goods set IsTrans = 1 where GoodsID = 'G3'",
                 nullptr);
  engine.Execute("delete from Custody; Execute WriteCustody", &output);
  ASSERT_EQ(output.affected.size(), 3u);
  EXPECT_EQ(output.affected[2].rows, 1);
  EXPECT_EQ(Dest("select GoodsID, IsTrans from Goods where IsTrans = 1 order by GoodsID"), (Lines{"G1\t1", "G3\t1"}));
}

TEST_F(GoodsRun, TheCommandLineReportsEveryCutWithItsFirstRows) {
  const std::string source = shop.WriteSource("cases.mdb", CaseTables());
  const std::string report = shop.dir.File("run.json");
  const auto cli = testing_support::RunCommand(
      "KPW=" + std::string(EmbeddedShop::kPassword) + " " +
      testing_support::ShellQuote(testing_support::BinDir() + "/korvel") + " run --model " + kWrite + " --source " +
      testing_support::ShellQuote(source) + " --server " + testing_support::ShellQuote(shop.server) +
      " --user sa --password-env KPW --database Sales60 --report " + testing_support::ShellQuote(report));
  ASSERT_EQ(cli.exit_code, 0) << cli.err;
  EXPECT_NE(cli.out.find("列 GdsName：1 个值被截断或替换以适合目的列：第 4 行（GoodsID=G4）"), std::string::npos)
      << cli.out;
  EXPECT_NE(cli.out.find("插入 Custody 3 行；更新 Goods 1 行"), std::string::npos) << cli.out;
  EXPECT_NE(testing_support::ReadFile(report).find(
                "{\"column\": \"GdsName\", \"count\": 1, \"first_rows\": [{\"position\": 4, \"key\": \"GoodsID=G4\"}]}"),
            std::string::npos);
}

TEST_F(GoodsRun, WithoutCustodyTheStockTablesAreNeverTouched) {
  // Warehouses from an earlier run stay; stock and custody must be empty
  // for the goods to be replaced, as they refer to them.
  ASSERT_EQ(RunPlan(shop, kWrite, shop.source).error, "");
  sqlsrv::Engine(shop.database_file, "Sales60", "sa").Execute("delete from Custody; delete from bBalance");
  sqlsrv::Engine(shop.database_file, "Sales60", "sa").Execute("drop procedure WriteCustody");
  const auto base = Dest("select * from Base order by BaseID");
  const std::string source = shop.WriteSource("cases.mdb", CaseTables());
  const PlanOutcome run = RunPlan(shop, kNoWrite, source);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.started.size(), 8u);
  EXPECT_EQ(Dest("select * from Base order by BaseID"), base);
  EXPECT_EQ(Dest("select count(*) from bBalance"), Lines{"0"});
  EXPECT_EQ(Dest("select count(*) from Custody"), Lines{"0"});
  EXPECT_EQ(Dest("select count(*) from sysobjects where name = 'WriteCustody'"), Lines{"0"});
  for (const auto& [step, stats] : run.statistics) {
    for (const auto& statement : stats.statements) {
      EXPECT_TRUE(statement.table != "Base" && statement.table != "bBalance" && statement.table != "Custody") << step;
    }
  }
  // This plan copies the stock sums and leaves Optime out; IsSaleOut is
  // bound by its name, not by its stored ordinal (Optime's position).
  EXPECT_EQ(Dest("select BQuaSum, BDEQAmo from Goods where GoodsID = 'G1'"), Lines{"5.0000\t6.0000"});
  EXPECT_EQ(Dest("select GoodsBarID, IsSaleOut from GoodsIDList order by GoodsBarID"), (Lines{"6901\t1", "6902\t0"}));
  EXPECT_EQ(Dest("select count(*) from GoodsIDList where Optime = '2006-05-01'"), Lines{"0"});
  EXPECT_EQ(Dest("select count(*) from gdsCom"), Lines{"1"});
}

TEST_F(GoodsRun, StockOfAMissingGoodsOrWarehouseFailsItsImportAndChangesNothing) {
  ASSERT_EQ(RunPlan(shop, kWrite, shop.source).error, "");
  const auto before = shop.Snapshot();
  for (const auto& [bad_row, key] : std::vector<std::pair<std::string, std::string>>{
           {"5\tG9\t1\t1\n", "FK_bBalance_Goods"}, {"7\tG1\t1\t1\n", "FK_bBalance_Base"}}) {
    auto tables = CaseTables();
    tables["bBalance"] = "BaseID\tGoodsID\tBalQua\tBalAmo\n5\tG1\t4\t10\n" + bad_row;
    const PlanOutcome run = RunPlan(shop, kWrite, shop.WriteSource("bad.mdb", tables));
    ASSERT_EQ(run.reports.size(), 1u) << key;
    const std::string& report = run.reports[0];
    EXPECT_EQ(report.rfind("导入数据到 [Sales60].[dbo].[bBalance] failed\r\n", 0), 0u) << report;
    EXPECT_NE(report.find("第 2 行（"), std::string::npos) << report;
    EXPECT_NE(report.find(key), std::string::npos) << report;
    EXPECT_EQ(shop.Snapshot(), before) << key;
  }
}

// For every step of both plans: a fault at that step is reported for that
// step, no later step starts, and every table is as it was before the run.
TEST_F(GoodsRun, AFaultAtAnyStepLeavesTheDestinationExactlyAsItWas) {
  struct Plan {
    const char* name;
    std::vector<int> run_order;
  };
  const Plan plans[] = {{kNoWrite, {7, 3, 5, 1, 2, 6, 4, 8}},
                        {kWrite, {16, 11, 7, 3, 9, 5, 1, 2, 6, 10, 4, 8, 12, 13, 14, 15}}};
  const std::string other = shop.dir.File("other.mdb");
  cli::WriteSample(other, {.scale = 1, .seed = 12});
  for (const Plan& plan : plans) {
    testing_support::ExpectAFaultAtAnyStepToChangeNothing(shop, plan.name, other, plan.run_order);
  }
}

// The full plans' variants of the goods transfers (the stock by script)
// and their custody posting, run as a plan of their own.
std::vector<korvel::builder::PlanStep> FullGoodsSteps() {
  namespace b = korvel::builder;
  namespace t = korvel::transfers;
  namespace p = korvel::plans;
  return {b::ClearStep("Custody"),        b::ClearStep("GoodsIDList"),      b::ClearStep("gdsCom"),
          b::ClearStep("bBalance"),       b::ClearStep("Goods"),            b::ClearStep("gdsClass"),
          b::ClearStep("Base"),           b::TransferStep(t::kBase),        b::TransferStep(t::kGdsClassFull),
          b::TransferStep(t::kGoodsFull), b::TransferStep(t::kBBalanceFull), b::TransferStep(t::kGoodsIDList),
          p::DropProcedureStep("WriteCustody"),
          p::CreateProcedureStep("WriteCustody", [] { return p::WriteCustodySql(true); }),
          p::ExecuteProcedureStep("WriteCustody")};
}

TEST_F(GoodsRun, TheFullVariantsAndTheScriptedStockTransfer) {
  const std::string source = shop.WriteSource("cases.mdb", CaseTables());
  korvel::CConnection src, dst;
  testing_support::FillDescriptors(src, dst, source, shop.server, "Sales60");
  for (int run = 1; run <= 2; ++run) {
    auto plan = std::make_shared<testing_support::ChainedPlan>(FullGoodsSteps());
    plan->KorvelInit(src, dst);
    plan->KorvelExec();
  }
  // The script assigns twelve columns; Computer, Operator, OpTime, RBalQua
  // and RBalAmo are listed and not assigned, so they are NULL, not the
  // table's defaults.
  EXPECT_EQ(Sorted(Dest("select BaseID, GoodsID, PBalQua, PBalAmo, BalPrice, BalQua, BalAmo, Computer, Operator, "
                        "OpTime, RBalQua, RBalAmo from bBalance")),
            (Lines{"5\tG1\t4.0000\t10.0000\t2.5\t4.0000\t10.0000\t\\N\t\\N\t\\N\t\\N\t\\N",
                   "5\tG2\t0.0000\t7.0000\t\\N\t0.0000\t7.0000\t\\N\t\\N\t\\N\t\\N\t\\N",
                   "5\tG3\t2.0000\t3.0000\t1.5\t2.0000\t3.0000\t\\N\t\\N\t\\N\t\\N\t\\N",
                   "9\tG1\t3.0000\t10.0000\t3.3\t3.0000\t10.0000\t\\N\t\\N\t\\N\t\\N\t\\N"}));
  // The full goods transfer copies no balance, sum, colour or size.
  EXPECT_EQ(Dest("select GoodsID, BalQua, BalAmo, BQuaSum, fblnIsColor from Goods where GoodsID = 'G1'"),
            Lines{"G1\t0.0000\t0.0000\t0.0000\t0"});
  // Its posting leaves IsTrans alone and, run twice after a clearing,
  // posts once.
  EXPECT_EQ(Dest("select count(*), sum(BalQua), sum(BalAmo) from Custody"), Lines{"3\t9.0000\t23.0000"});
  EXPECT_EQ(Dest("select count(*) from Goods where IsTrans <> 0"), Lines{"0"});
}

}  // namespace
