// Against a real SQL Server, when one is named: KORVEL_LIVE_SERVER (a
// server name as the wizard takes it), KORVEL_LIVE_USER and
// KORVEL_LIVE_PASSWORD. The test makes a scratch database with the
// creation script, runs every plan into it, compares every table with the
// same plan run on the embedded server, and drops the database. Without
// the three variables it is skipped, and says so.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "library/interface/cconnection.h"
#include "platform/com/quote.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/driver.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"
#include "tests/support/upgrade_check.h"

namespace {

using testing_support::EmbeddedShop;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

TEST(LiveServer, EveryPlanLeavesWhatItLeavesOnTheEmbeddedServer) {
  const std::string server = Env("KORVEL_LIVE_SERVER"), user = Env("KORVEL_LIVE_USER");
  if (server.empty() || user.empty() || std::getenv("KORVEL_LIVE_PASSWORD") == nullptr) {
    GTEST_SKIP() << "No real SQL Server to test against: set KORVEL_LIVE_SERVER, KORVEL_LIVE_USER and "
                    "KORVEL_LIVE_PASSWORD to run this test.";
  }
  const std::string database =
      "KorvelLive" + std::to_string(getpid()) + "_" +
      std::to_string(std::chrono::system_clock::now().time_since_epoch() / std::chrono::seconds(1));
  const auto made = testing_support::RunCommand(
      testing_support::ShellQuote(testing_support::BinDir() + "/korvel") + " create-database --server " +
      testing_support::ShellQuote(server) + " --user " + testing_support::ShellQuote(user) +
      " --password-env KORVEL_LIVE_PASSWORD --database " + database);
  ASSERT_EQ(made.exit_code, 0) << made.out << made.err;

  dts::ConnectionSpec login;
  login.provider = sqlsrv::kProviderName;
  login.data_source = server;
  login.user_id = user;
  login.password = Env("KORVEL_LIVE_PASSWORD");
  login.timeout_seconds = 30;
  // The scratch database goes, whatever happens to the test.
  struct Scratch {
    dts::ConnectionSpec master;
    std::string name;
    ~Scratch() {
      try {
        dts::FindDriver(sqlsrv::kProviderName)->Open(master)->ExecuteBatch(
            "DROP DATABASE " + com::Quoted(name, '[', ']'), 0);
      } catch (const com::Error& e) {
        ADD_FAILURE() << "the scratch database " << name << " could not be dropped: " << e.description();
      }
    }
  } scratch{login, database};
  login.catalog = database;

  korvel::CConnection live;
  live.Provider = "SQLOLEDB";
  live.DataSource = server;
  live.InitialCatalog = database;
  live.UserID = user;
  live.Password = login.password;
  live.IsNT = "False";

  EmbeddedShop direct;
  std::vector<std::string> all, tables;
  for (const auto& [name, rows] : direct.Snapshot()) all.push_back(name);
  {
    // Tables whose seed rows hold the time each database was made differ
    // from the start; the others are compared.
    auto session = dts::FindDriver(sqlsrv::kProviderName)->Open(login);
    const auto a = testing_support::ContentOf(direct, all), b = testing_support::ContentOf(*session, all);
    for (const auto& name : all) {
      if (a.at(name) == b.at(name)) tables.push_back(name);
    }
  }
  ASSERT_GT(tables.size(), 120u);
  for (const char* plan : {"C5to6Depart", "C5to6Employee", "C5to6CustSuppNoWriteAccount", "C5to6CustSuppWriteAccount",
                           "C5to6GoodsNoWriteCustody", "C5to6GoodsWriteCustody", "C5to6Normal", "C5to6SpecialPack"}) {
    SCOPED_TRACE(plan);
    const auto run = testing_support::RunPlanInto(live, plan, direct.source);
    ASSERT_EQ(run.error, "") << (run.reports.empty() ? "" : run.reports[0]);
    ASSERT_EQ(testing_support::RunPlan(direct, plan, direct.source).error, "");
    auto session = dts::FindDriver(sqlsrv::kProviderName)->Open(login);
    const auto expected = testing_support::ContentOf(direct, tables);
    const auto actual = testing_support::ContentOf(*session, tables);
    for (const auto& table : tables) EXPECT_EQ(actual.at(table), expected.at(table)) << table;
  }
}

}  // namespace
