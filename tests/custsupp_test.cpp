// The customer-and-supplier plans end to end on the embedded server: what
// lands in Customer, Supplier, Region and the ledgers, checked against the
// 5.6 source itself, and what every failure leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cli/sample.h"
#include "library/builder/defined_plan.h"
#include "library/plans/procedures.h"
#include "library/transfers/transfers.h"
#include "platform/com/error.h"
#include "platform/com/variant.h"
#include "platform/dts/model.h"
#include "platform/jet/reader.h"
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

constexpr char kNoWrite[] = "C5to6CustSuppNoWriteAccount";
constexpr char kWrite[] = "C5to6CustSuppWriteAccount";

class CustSuppRun : public ::testing::Test {
 protected:
  Lines Dest(const std::string& sql) const { return shop.Query(sql); }

  void ExpectLedgersMatch(const std::string& source) {
    const auto customers = testing_support::LedgerOf(source, "Customer");
    const auto suppliers = testing_support::LedgerOf(source, "Supplier");
    EXPECT_EQ(Sorted(Dest("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from CustAcc")), customers.rows);
    EXPECT_EQ(Sorted(Dest("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from SuppAcc")), suppliers.rows);
    EXPECT_EQ(Dest("select count(*), sum(BalAmo) from CustAcc"), Lines{customers.totals});
    EXPECT_EQ(Dest("select count(*), sum(BalAmo) from SuppAcc"), Lines{suppliers.totals});
    EXPECT_EQ(Dest("select UnitID from Customer where IsTrans = 1 order by UnitID"), customers.marked);
    EXPECT_EQ(Dest("select UnitID from Supplier where IsTrans = 1 order by UnitID"), suppliers.marked);
  }

  EmbeddedShop shop;
};

TEST_F(CustSuppRun, TheSampleShopIsPostedToTheCentAndARerunDoesNotDuplicate) {
  const PlanOutcome run = RunPlan(shop, kWrite, shop.source);
  ASSERT_EQ(run.error, "");
  EXPECT_TRUE(run.reports.empty());
  ExpectLedgersMatch(shop.source);
  // Partners arrive with the 5.6 current balance as both opening and
  // current balance; regions keep their numbers.
  EXPECT_EQ(Dest("select count(*) from Customer where PBalAmo <> BalAmo or (PBalAmo is null and BalAmo is not null)"),
            Lines{"0"});
  EXPECT_EQ(Sorted(Dest("select RegionID, Class, RegCode, RegName from Region")),
            Sorted([&] {
              jet::Database db(shop.source);
              return testing_support::TsvLines(*db.Query("select `RegionID`,`Class`,`RegCode`,`RegName` from `Region`"));
            }()));
  // The posting steps say what they did.
  const auto& post = run.statistics.at("执行存储过程 WriteCustAcc").statements;
  const auto customers = testing_support::LedgerOf(shop.source, "Customer");
  ASSERT_EQ(post.size(), 2u);
  EXPECT_EQ(post[0].verb + " " + post[0].table + " " + std::to_string(post[0].rows),
            "INSERT CustAcc " + std::to_string(customers.rows.size()));
  EXPECT_EQ(post[1].verb + " " + post[1].table, "UPDATE Customer");

  // A second run first empties the ledgers: one line per partner still.
  ASSERT_EQ(RunPlan(shop, kWrite, shop.source).error, "");
  ExpectLedgersMatch(shop.source);
}

TEST_F(CustSuppRun, EachPostingRuleHoldsOnItsOwnCase) {
  const std::string source = shop.WriteSource(
      "cases.mdb",
      {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR001\t北京\n7\t华东\tR007\t上海\n"},
       {"Customer",
        "UnitID\tIsUsed\tIsTrans\tRegionID\tClass\tBalAmo\tPBalAmo\tDiscount\n"
        "0\t1\t0\t1\t零售\t250\t250\t\\N\n"           // the retail customer: never posted
        "C1\t1\t0\t7\t批发\t0\t0\t\\N\n"              // no balance
        "C2\t0\t0\t7\t批发\t250\t100\t\\N\n"          // not in use
        "C3\t1\t1\t\\N\t批发\t-80\t-20\t\\N\n"        // negative, already marked
        "C4\t1\t0\t1\t团购\t250\t100\t0.1234\n"
        "C5\t1\t0\t1\t团购\t1234.5678\t0\t1\n"},
       {"Supplier",
        "UnitID\tIsUsed\tIsTrans\tRegionID\tClass\tBalAmo\tPBalAmo\n"
        "0\t1\t0\t1\t供应商\t300\t0\n"                 // suppliers have no retail exception
        "S1\t1\t1\t7\t供应商\t-45.5\t0\n"
        "S2\t0\t0\t1\t供应商\t99\t0\n"}});
  ASSERT_EQ(RunPlan(shop, kWrite, source).error, "");
  EXPECT_EQ(Sorted(Dest("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from CustAcc")),
            (Lines{"C3\t200\t-80.0000\t0.0000\t-80.0000\t期初余额", "C4\t200\t250.0000\t0.0000\t250.0000\t期初余额",
                   "C5\t200\t1234.5678\t0.0000\t1234.5678\t期初余额"}));
  EXPECT_EQ(Sorted(Dest("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from SuppAcc")),
            (Lines{"0\t200\t300.0000\t0.0000\t300.0000\t期初余额", "S1\t200\t-45.5000\t0.0000\t-45.5000\t期初余额"}));
  EXPECT_EQ(Dest("select UnitID, IsTrans, PBalAmo, BalAmo from Customer order by UnitID"),
            (Lines{"0\t0\t250.0000\t250.0000", "C1\t0\t0.0000\t0.0000", "C2\t0\t250.0000\t250.0000",
                   "C3\t1\t-80.0000\t-80.0000", "C4\t1\t250.0000\t250.0000",
                   "C5\t1\t1234.5678\t1234.5678"}));
  EXPECT_EQ(Dest("select UnitID, IsTrans from Supplier order by UnitID"), (Lines{"0\t1", "S1\t1", "S2\t0"}));
  EXPECT_EQ(Dest("select Discount, RegionID from Customer where UnitID = 'C4'"), Lines{"0.1234\t1"});
  EXPECT_EQ(Dest("select UnitID, RegionID from Customer where RegionID = 7 order by UnitID"),
            (Lines{"C1\t7", "C2\t7"}));
  ExpectLedgersMatch(source);
}

// The full plans' variants of the three transfers and their posting
// procedures, run as a plan of their own: clear, import regions, customers
// and suppliers, then post.
std::vector<korvel::builder::PlanStep> FullVariantSteps() {
  namespace b = korvel::builder;
  namespace t = korvel::transfers;
  namespace p = korvel::plans;
  return {b::ClearStep("CustAcc"),
          b::ClearStep("SuppAcc"),
          b::ClearStep("Customer"),
          b::ClearStep("Supplier"),
          b::ClearStep("Region"),
          b::TransferStep(t::kRegionFull),
          b::TransferStep(t::kCustomerFull),
          b::TransferStep(t::kSupplierFull),
          p::DropProcedureStep("WriteCustAcc"),
          p::CreateProcedureStep("WriteCustAcc", [] { return p::WriteCustAccSql(true); }),
          p::ExecuteProcedureStep("WriteCustAcc"),
          p::DropProcedureStep("WriteSuppAcc"),
          p::CreateProcedureStep("WriteSuppAcc", [] { return p::WriteSuppAccSql(true); }),
          p::ExecuteProcedureStep("WriteSuppAcc")};
}

TEST_F(CustSuppRun, TheFullVariantsLeaveTheirUnwrittenColumnsAtTheDefaults) {
  const std::string source = shop.WriteSource(
      "full.mdb",
      {{"Region", "RegionID\tClass\tRegCode\tRegName\n3\t华北\tR003\t北京\n8\t华东\tR008\t上海\n"},
       {"Customer",
        "UnitID\tIsUsed\tIsUsual\tIsTrans\tRegionID\tClass\tBalAmo\tPBalAmo\tTotalAmo\tDiscount\n"
        "0\t1\t1\t0\t3\t零售\t250\t0\t9\t1\n"
        "C1\t0\t0\t0\t8\t批发\t70\t10\t9\t0.5\n"},  // not in use in 5.6
       {"Supplier",
        "UnitID\tIsUsed\tIsUsual\tRegionID\tClass\tBalAmo\tPBalAmo\n"
        "S1\t0\t1\t8\t供应商\t30\t5\n"
        "S2\t1\t0\t3\t供应商\t40\t5\n"}});
  auto plan = std::make_shared<testing_support::ChainedPlan>(FullVariantSteps());
  korvel::CConnection src, dst;
  testing_support::FillDescriptors(src, dst, source, shop.server, "Sales60");
  plan->KorvelInit(src, dst);
  plan->KorvelExec();
  EXPECT_EQ(Dest("select RegionID, Class, RegCode, RegName from Region order by RegionID"),
            (Lines{"3\t华北\tR003\t北京", "8\t华东\tR008\t上海"}));
  // IsUsed, IsUsual, RegionID, Class and TotalAmo are not written: every
  // customer is in use by the table's default.
  EXPECT_EQ(Dest("select UnitID, IsUsed, IsUsual, RegionID, Class, TotalAmo, PBalAmo, BalAmo, Discount from Customer "
                 "order by UnitID"),
            (Lines{"0\t1\t1\t\\N\t\\N\t0.0000\t250.0000\t250.0000\t1",
                   "C1\t1\t1\t\\N\t\\N\t0.0000\t70.0000\t70.0000\t0.5"}));
  // Suppliers: IsUsed and IsUsual are written, RegionID and Class are not.
  EXPECT_EQ(Dest("select UnitID, IsUsed, IsUsual, RegionID, Class, PBalAmo, BalAmo from Supplier order by UnitID"),
            (Lines{"S1\t0\t1\t\\N\t\\N\t30.0000\t30.0000", "S2\t1\t0\t\\N\t\\N\t40.0000\t40.0000"}));
  // So the posting of the full plans posts the customer 5.6 had not in use,
  // and still not the retail customer; the supplier not in use stays out.
  EXPECT_EQ(Dest("select UnitID, BalAmo from CustAcc"), Lines{"C1\t70.0000"});
  EXPECT_EQ(Dest("select UnitID, BalAmo from SuppAcc"), Lines{"S2\t40.0000"});
  // Their version empties the ledger itself: a second run posts once.
  auto again = std::make_shared<testing_support::ChainedPlan>(FullVariantSteps());
  again->KorvelInit(src, dst);
  again->KorvelExec();
  EXPECT_EQ(Dest("select count(*) from CustAcc"), Lines{"1"});
}

TEST_F(CustSuppRun, WithoutPostingNothingTouchesTheLedgers) {
  const PlanOutcome run = RunPlan(shop, kNoWrite, shop.source);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.started.size(), 6u);
  for (const auto& [step, stats] : run.statistics) {
    for (const auto& statement : stats.statements) {
      EXPECT_TRUE(statement.table != "CustAcc" && statement.table != "SuppAcc") << step;
    }
  }
  auto plan = testing_support::CreatePlan(kNoWrite);
  korvel::CConnection src, dst;
  testing_support::FillDescriptors(src, dst, shop.source, shop.server, "Sales60");
  plan->KorvelInit(src, dst);
  for (const auto& task : plan->GetPackage()->Tasks()) {
    if (task->kind() != dts::kSQLTaskKind) continue;
    const std::string sql = task->GetCustomTask().GetText("SQLStatement");
    EXPECT_EQ(sql.find("Acc"), std::string::npos) << sql;
  }
  EXPECT_EQ(Dest("select count(*) from CustAcc"), Lines{"0"});
  EXPECT_EQ(Dest("select count(*) from SuppAcc"), Lines{"0"});
  // IsTrans keeps the destination's default.
  EXPECT_EQ(Dest("select count(*) from Customer where IsTrans <> 0"), Lines{"0"});
  EXPECT_EQ(Dest("select count(*) from Supplier where IsTrans <> 0"), Lines{"0"});
  EXPECT_NE(Dest("select count(*) from Customer"), Lines{"0"});
}

TEST_F(CustSuppRun, WithoutPostingOverPostedLedgersTheDeleteIsRefusedAndNothingChanges) {
  ASSERT_EQ(RunPlan(shop, kWrite, shop.source).error, "");
  const auto before = shop.Snapshot();
  const PlanOutcome run = RunPlan(shop, kNoWrite, shop.source);
  EXPECT_EQ(run.error_number, dts::kErrPackageFailed);
  ASSERT_EQ(run.reports.size(), 1u);
  const std::string& report = run.reports[0];
  EXPECT_EQ(report.rfind("清除 [Sales60].[dbo].[Customer] 中的数据 failed\r\n", 0), 0u) << report;
  EXPECT_NE(report.find("FK_CustAcc_Customer"), std::string::npos) << report;
  EXPECT_NE(report.find("table 'CustAcc'"), std::string::npos) << report;
  EXPECT_EQ(run.started.size(), 1u);
  EXPECT_EQ(shop.Snapshot(), before);
}

TEST_F(CustSuppRun, ACustomerOfAMissingRegionFailsItsImportAndTheDestinationStaysAsItWas) {
  ASSERT_EQ(RunPlan(shop, kWrite, shop.source).error, "");
  const auto before = shop.Snapshot();
  ASSERT_FALSE(before.at("CustAcc").empty());
  const std::string source = shop.WriteSource(
      "orphan.mdb", {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR001\t北京\n"},
                     {"Customer", "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\nC1\t1\t1\t批发\t10\nC2\t1\t9\t批发\t20\n"},
                     {"Supplier", "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\nS1\t1\t1\t供应商\t30\n"}});
  const PlanOutcome run = RunPlan(shop, kWrite, source);
  EXPECT_EQ(run.error_number, dts::kErrPackageFailed);
  ASSERT_EQ(run.reports.size(), 1u);
  const std::string& report = run.reports[0];
  EXPECT_EQ(report.rfind("导入数据到 [Sales60].[dbo].[Customer] failed\r\n", 0), 0u) << report;
  for (const char* part : {"第 2 行（UnitID=C2）", "[Sales60].[dbo].[Customer]", "FK_Customer_Region", "table 'Region'"}) {
    EXPECT_NE(report.find(part), std::string::npos) << part << " in " << report;
  }
  EXPECT_EQ(run.started.back(), "导入数据到 [Sales60].[dbo].[Customer]");
  EXPECT_EQ(shop.Snapshot(), before);

  // From the command line the same run exits non-zero and says why.
  const std::string command = "KPW=" + std::string(EmbeddedShop::kPassword) + " " +
                              testing_support::ShellQuote(testing_support::BinDir() + "/korvel") +
                              " run --model " + kWrite + " --source " + testing_support::ShellQuote(source) +
                              " --server " + testing_support::ShellQuote(shop.server) +
                              " --user sa --password-env KPW --database Sales60";
  const auto cli = testing_support::RunCommand(command);
  EXPECT_NE(cli.exit_code, 0);
  EXPECT_NE(cli.err.find("FK_Customer_Region"), std::string::npos) << cli.err;
  EXPECT_NE(cli.out.find("未执行"), std::string::npos) << cli.out;
  EXPECT_EQ(shop.Snapshot(), before);
}

TEST_F(CustSuppRun, ARegionWithoutClassStopsTheRegionImport) {
  const std::string source = shop.WriteSource(
      "noclass.mdb", {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR001\t北京\n2\t\\N\tR002\t天津\n"}});
  const PlanOutcome run = RunPlan(shop, kNoWrite, source);
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.reports[0].rfind("导入数据到 [Sales60].[dbo].[Region] failed\r\n", 0), 0u) << run.reports[0];
  EXPECT_NE(run.reports[0].find("第 2 行（RegionID=2）"), std::string::npos) << run.reports[0];
  EXPECT_NE(run.reports[0].find("列“Class”"), std::string::npos) << run.reports[0];
  // Customers and suppliers, which wait for the regions, never start.
  EXPECT_EQ(run.started.back(), "导入数据到 [Sales60].[dbo].[Region]");
}

TEST_F(CustSuppRun, TheCommandLineSummaryShowsWhatThePostingsDid) {
  const std::string report = shop.dir.File("run.json");
  const auto cli = testing_support::RunCommand(
      "KPW=" + std::string(EmbeddedShop::kPassword) + " " +
      testing_support::ShellQuote(testing_support::BinDir() + "/korvel") + " run --model " + kWrite +
      " --source " + testing_support::ShellQuote(shop.source) + " --server " +
      testing_support::ShellQuote(shop.server) + " --user sa --password-env KPW --database Sales60 --report " +
      testing_support::ShellQuote(report));
  ASSERT_EQ(cli.exit_code, 0) << cli.err;
  const std::string posted = std::to_string(testing_support::LedgerOf(shop.source, "Customer").rows.size());
  EXPECT_NE(cli.out.find("插入 CustAcc " + posted + " 行；更新 Customer " + posted + " 行"), std::string::npos)
      << cli.out;
  const std::string json = testing_support::ReadFile(report);
  EXPECT_NE(json.find("{\"verb\": \"INSERT\", \"table\": \"CustAcc\", \"rows\": " + posted + "}"),
            std::string::npos)
      << json;
  // Steps are listed in the order they ran: the ledgers are cleared first.
  EXPECT_LT(json.find("[CustAcc] 中的数据"), json.find("[Customer] 中的数据"));
}

// For every step of both plans: a fault at that step is reported for that
// step, no later step starts, and every table is as it was before the run.
TEST_F(CustSuppRun, AFaultAtAnyStepLeavesTheDestinationExactlyAsItWas) {
  struct Plan {
    const char* name;
    std::vector<int> run_order;  // step numbers in the order their constraints let them run
  };
  const Plan plans[] = {{kNoWrite, {1, 5, 3, 4, 2, 6}}, {kWrite, {7, 8, 1, 5, 3, 4, 2, 6, 9, 10, 11, 12, 13, 14}}};
  // Another shop, so that a run that kept any of its work would show it.
  const std::string other = shop.dir.File("other.mdb");
  cli::WriteSample(other, {.scale = 1, .seed = 11});
  for (const Plan& plan : plans) {
    testing_support::ExpectAFaultAtAnyStepToChangeNothing(shop, plan.name, other, plan.run_order);
  }
}

}  // namespace
