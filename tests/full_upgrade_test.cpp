// The two full upgrades end to end on the embedded server: every table
// against the source, the postings against the source's balances and
// stock, reruns, and what a failure at any step leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>

#include "cli/sample.h"
#include "library/assurance/reconcile.h"
#include "platform/com/error.h"
#include "platform/jet/source_file.h"
#include "platform/dts/model.h"
#include "platform/sqlserver/server.h"
#include "tests/support/fault_injection.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"
#include "tests/support/upgrade_check.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::PlanOutcome;
using testing_support::RunPlan;
using Lines = std::vector<std::string>;

constexpr char kNormal[] = "C5to6Normal";
constexpr char kSpecial[] = "C5to6SpecialPack";

// The tables an upgrade writes, the postings included.
const std::vector<std::string> kUpgraded = {"Base",   "bBalance", "gdsClass", "Goods",   "GoodsIDList",
                                            "Region", "Supplier", "Customer", "Employee", "Member",
                                            "CustAcc", "SuppAcc", "Custody"};

class FullUpgrade : public ::testing::Test {
 protected:
  Lines Dest(const std::string& sql) const { return shop.Query(sql); }
  static Lines Sorted(Lines v) {
    std::sort(v.begin(), v.end());
    return v;
  }

  // Everything the run of `plan` from `source` must have left: every table
  // through its transfer, both ledgers and the custody book.
  void ExpectUpgraded(const std::string& plan, const std::string& source) {
    SCOPED_TRACE(plan);
    EXPECT_EQ(testing_support::TransferDifferences(shop, *testing_support::BuiltPackage(shop, plan, source), source),
              Lines{});
    // The full plans do not write the customer's IsUsed: every customer is
    // in use by the table's default. Suppliers keep theirs.
    const auto customers = testing_support::LedgerOf(source, "Customer", /*is_used_written=*/false);
    const auto suppliers = testing_support::LedgerOf(source, "Supplier");
    EXPECT_EQ(Sorted(Dest("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from CustAcc")), customers.rows);
    EXPECT_EQ(Sorted(Dest("select UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary from SuppAcc")), suppliers.rows);
    EXPECT_EQ(Dest("select count(*), sum(BalAmo) from CustAcc"), Lines{customers.totals});
    EXPECT_EQ(Dest("select count(*), sum(BalAmo) from SuppAcc"), Lines{suppliers.totals});
    const auto custody = testing_support::CustodyOf(source);
    EXPECT_EQ(Sorted(Dest("select BaseID, GoodsID, Type, BuyPrice, BuyQua, BuyAmo, BalPrice, BalQua, BalAmo, RBalQua, "
                          "RBalAmo, Summary from Custody")),
              custody.rows);
    EXPECT_EQ(Dest("select count(*), sum(BalQua), sum(BalAmo) from Custody"), Lines{custody.totals});
    // The full-plan custody posting leaves IsTrans alone.
    EXPECT_EQ(Dest("select count(*) from Goods where IsTrans <> 0"), Lines{"0"});
  }

  EmbeddedShop shop;
};

TEST_F(FullUpgrade, BothPlansCarryTheWholeShopAtTwoScales) {
  const std::string larger = shop.dir.File("larger.mdb");
  cli::WriteSample(larger, {.scale = 4, .seed = 21});
  EXPECT_EQ(Dest("select count(*) from SheetType"), Lines{"29"});
  for (const std::string& source : {shop.source, larger}) {
    // The default scheme keeps the records the database holds beyond the
    // user data (on a new database, those it was created with).
    const auto kept = testing_support::ContentOf(shop, {"SheetType", "Version", "SysParm", "Parameter"});
    const PlanOutcome normal = RunPlan(shop, kNormal, source);
    ASSERT_EQ(normal.error, "");
    EXPECT_EQ(normal.started.size(), 22u);
    ExpectUpgraded(kNormal, source);
    EXPECT_EQ(testing_support::ContentOf(shop, {"SheetType", "Version", "SysParm", "Parameter"}), kept);

    const PlanOutcome special = RunPlan(shop, kSpecial, source);
    ASSERT_EQ(special.error, "");
    EXPECT_EQ(special.started.size(), 21u);
    ExpectUpgraded(kSpecial, source);
    // The complete scheme removes them, and imports no regions.
    for (const char* table : {"SheetType", "Version", "SysParm", "Region"}) {
      EXPECT_EQ(Dest(std::string("select count(*) from ") + table), Lines{"0"}) << table;
    }
  }
}

TEST_F(FullUpgrade, RerunsInAnyOrderGiveTheSameDestination) {
  auto content = [&] { return testing_support::ContentOf(shop, kUpgraded); };
  ASSERT_EQ(RunPlan(shop, kNormal, shop.source).error, "");
  const auto normal = content();
  ASSERT_EQ(RunPlan(shop, kNormal, shop.source).error, "");
  EXPECT_EQ(content(), normal) << "Normal twice";
  ASSERT_EQ(RunPlan(shop, kSpecial, shop.source).error, "");
  const auto special = content();
  ASSERT_EQ(RunPlan(shop, kSpecial, shop.source).error, "");
  EXPECT_EQ(content(), special) << "SpecialPack twice";
  ASSERT_EQ(RunPlan(shop, kNormal, shop.source).error, "");
  EXPECT_EQ(content(), normal) << "Normal after SpecialPack";
  // After the goods plan has posted its own custody entries, stock and
  // codes, a full upgrade neither keeps nor doubles them.
  ASSERT_EQ(RunPlan(shop, "C5to6GoodsWriteCustody", shop.source).error, "");
  ASSERT_EQ(RunPlan(shop, kSpecial, shop.source).error, "");
  EXPECT_EQ(content(), special) << "SpecialPack after the goods plan";
  ASSERT_EQ(RunPlan(shop, "C5to6GoodsWriteCustody", shop.source).error, "");
  ASSERT_EQ(RunPlan(shop, kNormal, shop.source).error, "");
  EXPECT_EQ(content(), normal) << "Normal after the goods plan";
}

TEST_F(FullUpgrade, AFailedImportAfterTheCommittedClearingSaysTheDatabaseIsNowEmpty) {
  ASSERT_EQ(RunPlan(shop, kNormal, shop.source).error, "");
  const auto before = shop.Snapshot();
  // An employee without a name cannot be stored.
  const std::string bad = shop.WriteNamelessEmployeeSource("bad.mdb");

  const PlanOutcome normal = RunPlan(shop, kNormal, bad);
  ASSERT_EQ(normal.reports.size(), 1u);
  EXPECT_EQ(normal.reports[0].rfind("导入数据到 [Sales60].[dbo].[Employee] failed", 0), 0u) << normal.reports[0];
  EXPECT_EQ(normal.error.find("不在包事务中"), std::string::npos) << normal.error;
  EXPECT_EQ(shop.Snapshot(), before);  // one transaction: nothing changed

  const PlanOutcome special = RunPlan(shop, kSpecial, bad);
  ASSERT_EQ(special.reports.size(), 1u);
  EXPECT_EQ(special.reports[0].rfind("导入数据到 [Sales60].[dbo].[Employee] failed", 0), 0u) << special.reports[0];
  EXPECT_NE(special.error.find("不在包事务中的步骤“删除存储过程 ClearAllData”、“创建存储过程 ClearAllData”、"
                               "“执行存储过程 ClearAllData”已经提交"),
            std::string::npos)
      << special.error;
  EXPECT_NE(special.error.find("目的数据库现在是空的"), std::string::npos) << special.error;
  for (const auto& [table, rows] : shop.Snapshot()) EXPECT_TRUE(rows.empty()) << table;

  // The command line says the same, and its report marks the steps that
  // ran outside the package transaction.
  ASSERT_EQ(RunPlan(shop, kNormal, shop.source).error, "");
  const std::string report = shop.dir.File("special.json");
  const auto cli = testing_support::RunCommand(
      "KPW=" + std::string(EmbeddedShop::kPassword) + " " +
      testing_support::ShellQuote(testing_support::BinDir() + "/korvel") + " run --model " + kSpecial + " --source " +
      testing_support::ShellQuote(bad) + " --server " + testing_support::ShellQuote(shop.server) +
      " --user sa --password-env KPW --database Sales60 --report " + testing_support::ShellQuote(report));
  EXPECT_EQ(cli.exit_code, 1);
  EXPECT_NE(cli.err.find("目的数据库现在是空的"), std::string::npos) << cli.err;
  const std::string json = testing_support::ReadFile(report);
  EXPECT_NE(json.find("目的数据库现在是空的"), std::string::npos);
  EXPECT_NE(json.find("{\"name\": \"执行存储过程 ClearAllData\", \"result\": \"success\", \"in_transaction\": false"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"in_transaction\": true"), std::string::npos);
}

// For every step of both plans: the failure is reported for that step and
// nothing later starts. C5to6Normal leaves the destination as it was;
// C5to6SpecialPack leaves it as its committed clearing left it: unchanged
// while the clearing has not run, empty once it has.
TEST_F(FullUpgrade, AFaultAtAnyStepLeavesTheDestinationAsTheTransactionRulesSay) {
  struct Plan {
    const char* name;
    std::vector<int> run_order;
    std::size_t clearing_done_at;  // the position in run order after which the clearing is committed
  };
  const Plan plans[] = {
      {kNormal, {19, 20, 21, 1, 5, 6, 7, 2, 10, 17, 18, 22, 9, 11, 15, 16, 3, 12, 13, 14, 4, 8}, 0},
      {kSpecial, {19, 20, 21, 1, 5, 6, 7, 2, 10, 17, 18, 8, 4, 3, 12, 13, 14, 9, 11, 15, 16}, 3},
  };
  const std::string other = shop.dir.File("other.mdb");
  cli::WriteSample(other, {.scale = 1, .seed = 13});
  for (const Plan& plan : plans) {
    ASSERT_EQ(RunPlan(shop, plan.name, shop.source).error, "") << plan.name;
    const auto before = shop.Snapshot();
    testing_support::RunWithAFaultAtEachStep(
        shop, plan.name, other, plan.run_order,
        [&](std::size_t) {
          // Each case starts from the full destination.
          if (shop.Snapshot() != before) {
            ASSERT_EQ(RunPlan(shop, plan.name, shop.source).error, "");
          }
        },
        [&](std::size_t n, const PlanOutcome& run) {
          if (plan.clearing_done_at == 0 || n < plan.clearing_done_at) {
            EXPECT_EQ(shop.Snapshot(), before);
            return;
          }
          for (const auto& [table, rows] : shop.Snapshot()) EXPECT_TRUE(rows.empty()) << table;
          if (n > plan.clearing_done_at) {
            EXPECT_NE(run.error.find("目的数据库现在是空的"), std::string::npos) << run.error;
          }
        });
  }
}

// `korvel run` reconciles after a run: the default scheme on the sample
// matches on every line; on a 6.0 database whose customers default to "not
// in use" the customer posting finds nobody to post, and the run, whose
// steps all succeeded, says the books do not match and exits 4 (committed,
// not confirmed).
TEST_F(FullUpgrade, TheCommandLineReconcilesTheDestinationWithTheSource) {
  const std::string korvel = testing_support::ShellQuote(testing_support::BinDir() + "/korvel");
  auto run = [&](const std::string& server, const std::string& report) {
    return testing_support::RunCommand("KPW=" + std::string(EmbeddedShop::kPassword) + " " + korvel +
                                       " run --model C5to6Normal --source " + testing_support::ShellQuote(shop.source) +
                                       " --server " + testing_support::ShellQuote(server) +
                                       " --user sa --password-env KPW --database Sales60 --report " +
                                       testing_support::ShellQuote(report));
  };
  const auto good = run(shop.server, shop.dir.File("good.json"));
  ASSERT_EQ(good.exit_code, 0) << good.err;
  const auto ledger = testing_support::LedgerOf(shop.source, "Customer", false);
  const std::string posted = ledger.totals.substr(0, ledger.totals.find('\t'));
  EXPECT_NE(good.out.find("相符 CustAcc 期初余额"), std::string::npos) << good.out;
  EXPECT_EQ(good.out.find("不符"), std::string::npos) << good.out;
  EXPECT_NE(good.out.find("源 " + posted + " 行，合计 " + ledger.totals.substr(ledger.totals.find('\t') + 1)),
            std::string::npos)
      << good.out;
  const std::string good_json = testing_support::ReadFile(shop.dir.File("good.json"));
  EXPECT_NE(good_json.find("\"result\": \"success\""), std::string::npos);
  EXPECT_NE(good_json.find("{\"item\": \"Goods 行数\", \"source\": \"60 行\", \"destination\": \"60 行\", \"match\": true}"),
            std::string::npos)
      << good_json;

  // A second server whose 6.0 database puts new customers out of use.
  std::string script = testing_support::ReadFile(testing_support::TestDataDir() + "/../../data/sql/create60.sql");
  const std::string in_use = "[DF_Customer_IsUsed] DEFAULT (1)";
  ASSERT_NE(script.find(in_use), std::string::npos);
  script.replace(script.find(in_use), in_use.size(), "[DF_Customer_IsUsed] DEFAULT (0)");
  testing_support::WriteFile(shop.dir.File("unused.sql"), script);
  const std::string other = "file:" + shop.dir.File("srv2");
  auto created = testing_support::RunCommand("KPW=" + std::string(EmbeddedShop::kPassword) + " " + korvel +
                                             " create-database --server " + testing_support::ShellQuote(other) +
                                             " --database Sales60 --password-env KPW --script " +
                                             testing_support::ShellQuote(shop.dir.File("unused.sql")));
  ASSERT_EQ(created.exit_code, 0) << created.err;
  const auto bad = run(other, shop.dir.File("bad.json"));
  // Committed, but not confirmed: never "failed" over data that went in.
  EXPECT_EQ(bad.exit_code, 4);
  EXPECT_NE(bad.err.find("升级已提交，但目的数据库与源数据库对账不符"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find("升级失败"), std::string::npos) << bad.err;
  EXPECT_NE(bad.out.find("√ 执行存储过程 WriteCustAcc 完成！"), std::string::npos);
  EXPECT_NE(bad.err.find("对账不符：CustAcc 期初余额：源 " + posted + " 行"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("目的 0 行"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.out.find("升级完成！"), std::string::npos);
  EXPECT_NE(testing_support::ReadFile(shop.dir.File("bad.json")).find("\"result\": \"mismatch\""), std::string::npos);
}

// The source's side of the reconciliation, counted while a run goes on, is
// the figures of the file that was there when the count began: a file
// written since is refused, not counted as if it were the same.
TEST_F(FullUpgrade, ARecountDuringTheRunHoldsToTheFileItOpened) {
  const auto plan = assurance::ReconcilePlanOf(*testing_support::BuiltPackage(shop, kNormal, shop.source));
  const assurance::Endpoints endpoints{shop.source, "", shop.server, "sa", EmbeddedShop::kPassword, "Sales60"};
  const auto customers = testing_support::LedgerOf(shop.source, "Customer", false);
  {
    assurance::SourceRecount recount(plan, endpoints);
    const Lines figures = recount.Figures();
    ASSERT_EQ(figures.size(), plan.transfers.size() + 3);  // the tables, both ledgers and the custody book
    EXPECT_NE(std::find(figures.begin(), figures.end(), "60 行"), figures.end());  // Goods
    const std::string rows = customers.totals.substr(0, customers.totals.find('\t'));
    EXPECT_EQ(figures[plan.transfers.size()].rfind(rows + " 行，合计 ", 0), 0u) << figures[plan.transfers.size()];
  }
  {
    assurance::SourceRecount recount(plan, endpoints);
    std::FILE* f = std::fopen(shop.source.c_str(), "ab");  // a page more, that nothing reads
    ASSERT_NE(f, nullptr);
    const std::string page(4096, '\0');
    std::fwrite(page.data(), 1, page.size(), f);
    std::fclose(f);
    try {
      recount.Figures();
      ADD_FAILURE() << "a source written during the count was counted";
    } catch (const com::Error& e) {
      EXPECT_EQ(e.number(), jet::kErrSourceChanged) << e.description();
    }
  }
  // A file that cannot be opened is the count's error, raised when the
  // figures are asked for.
  assurance::SourceRecount missing(plan, {shop.dir.File("none.mdb"), "", shop.server, "sa", "", "Sales60"});
  EXPECT_THROW(missing.Figures(), com::Error);
}

}  // namespace

// The destination a full upgrade leaves, recorded from the code before the
// load was made faster (two threads, buffers bound in place, the load's
// journal settings): per table its rows and a digest of them, sorted. The
// faster load must leave every row exactly as it was.
TEST_F(FullUpgrade, TheFasterLoadLeavesTheSameDestinationAsBefore) {
  const std::string larger = shop.dir.File("larger.mdb");
  cli::WriteSample(larger, {.scale = 20, .seed = 21});
  // The shop's server was made with this login: the run checks its
  // password from memory, however many sessions it opens.
  const std::int64_t checks = sqlsrv::PasswordHashChecks();
  ASSERT_EQ(RunPlan(shop, kNormal, larger).error, "");
  EXPECT_EQ(sqlsrv::PasswordHashChecks(), checks);
  Lines digests;
  for (const auto& [table, rows] : testing_support::ContentOf(shop, kUpgraded)) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a, 64 bits
    for (const auto& row : rows) {
      for (const char c : row + "\n") h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    digests.push_back(table + "\t" + std::to_string(rows.size()) + "\t" + hex);
  }
  Lines expected;
  std::istringstream golden(
      testing_support::ReadFile(testing_support::TestDataDir() + "/../golden/C5to6Normal.scale20-seed21.content"));
  for (std::string line; std::getline(golden, line);) expected.push_back(line);
  EXPECT_EQ(digests, expected);
}
