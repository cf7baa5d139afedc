// A SQL Server over the network as the destination: the driver over
// FreeTDS against the embedded server's TDS endpoint, compared with the
// same work done directly on the embedded server.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>

#include "library/interface/cconnection.h"
#include "platform/com/error.h"
#include "platform/dts/convert.h"
#include "platform/dts/driver.h"
#include "platform/dts/model.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/freetds_client/server_name.h"
#include "platform/sqlserver/tds_endpoint/listener.h"
#include "tests/support/fault_injection.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"
#include "tests/support/upgrade_check.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::PlanOutcome;
using testing_support::RunCommand;
using testing_support::RunPlan;
using testing_support::ShellQuote;

int ErrorNumberOf(const std::function<void()>& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const com::Error& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

TEST(ServerNames, AreReadAsSqlServerUsersWriteThem) {
  using sqlsrv::net::FreeTdsServerName;
  EXPECT_EQ(FreeTdsServerName("db1"), "db1");
  EXPECT_EQ(FreeTdsServerName("db1,1433"), "db1:1433");
  EXPECT_EQ(FreeTdsServerName(" 10.0.0.5 , 2433 "), "10.0.0.5:2433");
  EXPECT_EQ(FreeTdsServerName("db1\\SHOP"), "db1\\SHOP");
  EXPECT_EQ(FreeTdsServerName("(local)"), "127.0.0.1");
  EXPECT_EQ(FreeTdsServerName("."), "127.0.0.1");
  EXPECT_EQ(FreeTdsServerName(".\\SQLEXPRESS"), "127.0.0.1\\SQLEXPRESS");
  EXPECT_EQ(FreeTdsServerName("(LOCAL),1500"), "127.0.0.1:1500");
  for (const char* bad : {"", "  ", "db1,", "db1,0", "db1,65536", "db1,14x3", ",1433", "db\n1"}) {
    EXPECT_EQ(ErrorNumberOf([&] { FreeTdsServerName(bad); }), 17) << bad;
  }
}

#ifndef _WIN32
// A shop whose embedded server is reached over TDS: `served.server` is
// "127.0.0.1,port", so plans and the login test go through the network
// driver, while the test reads the database file directly.
class NetworkDestination : public ::testing::Test {
 protected:
  explicit NetworkDestination(std::uint32_t tds_version = 0x74000004) {
    sqlsrv::tds::EndpointConfig config;
    config.folder = served.server_folder;
    config.server_name = "KORVEL";
    config.login_timeout_ms = 5000;
    config.max_tds_version = tds_version;
    listener = std::make_unique<sqlsrv::tds::Listener>(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 16);
    thread = std::thread([this] { listener->Run(); });
    served.server = "127.0.0.1," + std::to_string(listener->port());
  }
  ~NetworkDestination() override {
    listener->Stop();
    thread.join();
  }

  dts::ConnectionSpec Destination(const std::string& catalog = EmbeddedShop::kDatabase) const {
    dts::ConnectionSpec c;
    c.provider = sqlsrv::kProviderName;
    c.data_source = served.server;
    c.user_id = "sa";
    c.password = EmbeddedShop::kPassword;
    c.catalog = catalog;
    c.timeout_seconds = 10;
    return c;
  }

  EmbeddedShop served;
  std::unique_ptr<sqlsrv::tds::Listener> listener;
  std::thread thread;
};

TEST_F(NetworkDestination, TheLoginTestListsTheDatabasesAndNamesWhatFails) {
  sqlsrv::AdminClient admin;
  admin.Connect(served.server, "sa", EmbeddedShop::kPassword, 30);
  EXPECT_EQ(admin.Databases(), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Sales60"}));
  admin.Disconnect();

  std::string description;
  EXPECT_EQ(ErrorNumberOf([&] { admin.Connect(served.server, "sa", "wrong", 30); }, &description), 18456);
  EXPECT_EQ(description, "Login failed for user 'sa'.");
  EXPECT_FALSE(admin.connected());

  // A port nobody listens on: refused at once, reported as SQL Server's
  // "does not exist" with the server named.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorNumberOf([&] { admin.Connect("127.0.0.1,1", "sa", EmbeddedShop::kPassword, 5); }, &description), 17);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_NE(description.find("无法连接 SQL Server 服务器“127.0.0.1,1”"), std::string::npos) << description;

  EXPECT_EQ(ErrorNumberOf([&] { dts::FindDriver(sqlsrv::kProviderName)->Open(Destination("NoSuchDatabase")); }), 4060);

  // A server that takes the connection and never answers: given up after
  // the login timeout.
  {
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    socklen_t len = sizeof sa;
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&sa), &len);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorNumberOf([&] {
                admin.Connect("127.0.0.1," + std::to_string(ntohs(sa.sin_port)), "sa", EmbeddedShop::kPassword, 2);
              }),
              17);
    const auto waited = std::chrono::steady_clock::now() - asked;
    EXPECT_GE(waited, std::chrono::milliseconds(1500));
    EXPECT_LT(waited, std::chrono::seconds(15));
    ::close(silent);
  }

  // A name from FreeTDS's configuration file reaches the server it names.
  const std::string conf = served.dir.File("freetds.conf");
  testing_support::WriteFile(conf, "[shopserver]\n\thost = 127.0.0.1\n\tport = " + std::to_string(listener->port()) +
                                       "\n\ttds version = 7.4\n");
  ::setenv("FREETDSCONF", conf.c_str(), 1);
  admin.Connect("shopserver", "sa", EmbeddedShop::kPassword, 30);
  ::unsetenv("FREETDSCONF");
  EXPECT_EQ(admin.Databases().back(), "Sales60");
}

TEST_F(NetworkDestination, EveryPlanLeavesTheSameTablesAsTheDirectRun) {
  EmbeddedShop direct;
  // Every table, but those whose seed rows carry the time each database was
  // made.
  const std::vector<std::string> tables = [&] {
    std::vector<std::string> all, same;
    for (const auto& [name, rows] : direct.Snapshot()) all.push_back(name);
    const auto a = testing_support::ContentOf(direct, all), b = testing_support::ContentOf(served, all);
    for (const auto& name : all) {
      if (a.at(name) == b.at(name)) same.push_back(name);
    }
    return same;
  }();
  ASSERT_GT(tables.size(), 120u);
  for (const char* plan : {"C5to6Depart", "C5to6Employee", "C5to6CustSuppNoWriteAccount", "C5to6CustSuppWriteAccount",
                           "C5to6GoodsNoWriteCustody", "C5to6GoodsWriteCustody", "C5to6Normal", "C5to6SpecialPack"}) {
    SCOPED_TRACE(plan);
    const PlanOutcome over_tds = RunPlan(served, plan, direct.source);
    ASSERT_EQ(over_tds.error, "") << (over_tds.reports.empty() ? "" : over_tds.reports[0]);
    ASSERT_EQ(RunPlan(direct, plan, direct.source).error, "");
    const auto expected = testing_support::ContentOf(direct, tables);
    const auto actual = testing_support::ContentOf(served, tables);
    for (const auto& table : tables) EXPECT_EQ(actual.at(table), expected.at(table)) << table;
  }
}

// A database whose name holds "]", a blank or Chinese: the bulk load's
// INSERT BULK names it bracketed, "]" doubled, and the rows land as on the
// embedded path.
TEST_F(NetworkDestination, BulkLoadsReachDatabasesOfAnyName) {
  const std::string korvel = ShellQuote(testing_support::BinDir() + "/korvel");
  EmbeddedShop direct;
  for (const std::string name : {"a]b c", "销售库"}) {
    SCOPED_TRACE(name);
    for (const EmbeddedShop* shop : {&served, &direct}) {
      const auto made = RunCommand(korvel + " create-database --server " + ShellQuote("file:" + shop->server_folder) +
                                   " --database " + ShellQuote(name) + " --password " + EmbeddedShop::kPassword);
      ASSERT_EQ(made.exit_code, 0) << made.err;
    }
    auto run = [&](const std::string& server) {
      return RunCommand(korvel + " run --model C5to6Depart --source " + ShellQuote(direct.source) + " --server " +
                        ShellQuote(server) + " --user sa --password " + EmbeddedShop::kPassword + " --database " +
                        ShellQuote(name));
    };
    const auto over_tds = run(served.server);
    ASSERT_EQ(over_tds.exit_code, 0) << over_tds.out << over_tds.err;
    const auto embedded = run("file:" + direct.server_folder);
    ASSERT_EQ(embedded.exit_code, 0) << embedded.err;
    auto rows = [&](const EmbeddedShop& shop) {
      return RunCommand(korvel + " sql --server " + ShellQuote("file:" + shop.server_folder) + " --user sa --password " +
                        EmbeddedShop::kPassword + " --database " + ShellQuote(name) +
                        " \"select DepID, Class, DepCode, DepName from Depart order by DepID\"")
          .out;
    };
    EXPECT_EQ(rows(served), rows(direct));
    EXPECT_NE(rows(served).find("\n5\t"), std::string::npos) << rows(served);
  }
}

// COMPUTE rows in korvel sql, on the server folder and over the network
// alike: as isql shows them, each a result of its own headed by its
// aggregates after the rows it follows, the rows after it headed again.
TEST_F(NetworkDestination, KorvelSqlShowsComputeRowsAfterTheRowsTheyFollow) {
  const std::string korvel = ShellQuote(testing_support::BinDir() + "/korvel");
  auto sql = [&](const std::string& server, const std::string& batch) {
    return RunCommand(korvel + " sql --server " + ShellQuote(server) + " --user sa --password " +
                      EmbeddedShop::kPassword + " --database Sales60 " + ShellQuote(batch));
  };
  const std::string batch =
      "create table #c (r varchar(5), q int, m money)\n"
      "insert into #c values ('a', 1, 2.5), ('a', 2, NULL), ('b', 3, NULL)\n"
      "select r, q, m from #c order by r compute sum(q), sum(m) by r compute count(q)\n"
      "select q from #c where q > 5 compute max(q)";
  const auto file = sql("file:" + served.server_folder, batch);
  ASSERT_EQ(file.exit_code, 0) << file.err;
  EXPECT_EQ(file.out,
            "r\tq\tm\na\t1\t2.5000\na\t2\t\\N\n"
            "sum\tsum\n3\t2.5000\n"
            "r\tq\tm\nb\t3\t\\N\n"
            "sum\tsum\n3\t\\N\n"
            "cnt\n3\n"
            // No rows: the header, then the compute row of the whole.
            "q\nmax\n\\N\n");
  const auto network = sql(served.server, batch);
  ASSERT_EQ(network.exit_code, 0) << network.err;
  EXPECT_EQ(network.out, file.out);
}

// korvel sql on a network server prints what it prints on the server
// folder: every result set with its header, the notices, the counts.
TEST_F(NetworkDestination, KorvelSqlPrintsTheSameOverTheNetwork) {
  const std::string korvel = ShellQuote(testing_support::BinDir() + "/korvel");
  auto sql = [&](const std::string& server, const std::string& batch) {
    return RunCommand(korvel + " sql --server " + ShellQuote(server) + " --user sa --password " +
                      EmbeddedShop::kPassword + " --database Sales60 " + ShellQuote(batch));
  };
  const std::string batch =
      "create table #t (i int, s nvarchar(10), v varchar(10), m money, d datetime, b bit, f float)\n"
      "insert into #t values (1, N'中文', '汉字', 1234.5678, '2007-01-20 10:30:00', 1, 0.25)\n"
      "insert into #t values (2, NULL, '', -0.0001, NULL, 0, NULL)\n"
      "select * from #t order by i\n"
      "print '两个结果'\n"
      "update #t set i = i + 10\n"
      "select count(*) as n, sum(m) as total from #t";
  const auto file = sql("file:" + served.server_folder, batch);
  ASSERT_EQ(file.exit_code, 0) << file.err;
  const auto network = sql(served.server, batch);
  ASSERT_EQ(network.exit_code, 0) << network.err;
  EXPECT_EQ(network.out, file.out);
  EXPECT_EQ(network.err, file.err);
  EXPECT_NE(file.out.find("1\t中文\t汉字\t1234.5678\t2007-01-20 10:30:00"), std::string::npos) << file.out;
  // The notice where it came: after the first result set, before the second.
  const std::size_t notice = file.out.find("两个结果");
  ASSERT_NE(notice, std::string::npos) << file.out;
  EXPECT_LT(file.out.find("2\t\\N\t"), notice) << file.out;
  EXPECT_GT(file.out.find("n\ttotal"), notice) << file.out;
  EXPECT_NE(file.err.find("(2 行受影响)"), std::string::npos) << file.err;

  // A batch goes on after a statement's error, its notices still in their
  // places, and fails with that error when it has ended.
  const std::string going_on = "print 'first'\nselect 1 as a\nselect 1 / 0\nprint 'went on'\nselect 2 as b";
  const auto file_went_on = sql("file:" + served.server_folder, going_on);
  const auto network_went_on = sql(served.server, going_on);
  EXPECT_NE(file_went_on.exit_code, 0);
  EXPECT_EQ(network_went_on.exit_code, file_went_on.exit_code);
  EXPECT_EQ(file_went_on.out, "first\na\n1\nwent on\nb\n2\n");
  EXPECT_EQ(network_went_on.out, file_went_on.out);
  EXPECT_NE(network_went_on.err.find("Divide by zero error encountered."), std::string::npos) << network_went_on.err;

  // A failing batch shows what came before its error, and the error.
  const std::string failing = "select 1 as a\nselect * from NoSuchTable";
  const auto file_error = sql("file:" + served.server_folder, failing);
  const auto network_error = sql(served.server, failing);
  EXPECT_EQ(network_error.exit_code, file_error.exit_code);
  EXPECT_NE(file_error.exit_code, 0);
  EXPECT_EQ(network_error.out, file_error.out);
  EXPECT_NE(network_error.err.find("Invalid object name 'NoSuchTable'."), std::string::npos) << network_error.err;
}

// A server that speaks TDS 7.1 only, as SQL Server 2000 does: the driver
// asks for 7.4 and goes on with what the server answers.
class OlderServer : public NetworkDestination {
 protected:
  OlderServer() : NetworkDestination(0x71000001) {}
};

TEST_F(OlderServer, TheDefaultSchemeRunsOverTds71AsOverTds74) {
  EmbeddedShop direct;
  ASSERT_EQ(RunPlan(direct, "C5to6Normal", direct.source).error, "");
  const PlanOutcome run = RunPlan(served, "C5to6Normal", direct.source);
  ASSERT_EQ(run.error, "") << (run.reports.empty() ? "" : run.reports[0]);
  for (const char* table : {"Goods", "Customer", "CustAcc", "Custody", "Region", "Member"}) {
    EXPECT_EQ(testing_support::ContentOf(served, {table}), testing_support::ContentOf(direct, {table})) << table;
  }
}

TEST_F(NetworkDestination, AFailedStepLeavesTheDestinationUnchanged) {
  ASSERT_EQ(RunPlan(served, "C5to6Normal", served.source).error, "");
  const auto before = served.Snapshot();
  // A customer of a region the source does not have: the server refuses
  // the bulk load when it ends, naming the foreign key.
  const std::string bad = served.WriteSource(
      "orphan.mdb", {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR001\t北京\n"},
                     {"Customer", "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\nC1\t1\t1\t批发\t10\nC2\t1\t9\t批发\t20\n"},
                     {"Supplier", "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\nS1\t1\t1\t供应商\t30\n"}});
  const PlanOutcome run = RunPlan(served, "C5to6CustSuppWriteAccount", bad);
  EXPECT_NE(run.error, "");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_NE(run.reports[0].find("FK_Customer_Region"), std::string::npos) << run.reports[0];
  EXPECT_EQ(served.Snapshot(), before);
}

TEST_F(NetworkDestination, ABulkLoadKeepsNullsEmptyTextDefaultsAndEveryType) {
  const char* create =
      "create table Kinds (id int identity(1, 1) not null, n nvarchar(10) null, v varchar(10) null, m money null, "
      "sm smallmoney null, d datetime null, b bit null, t tinyint null, s smallint null, big bigint null, "
      "f float null, r real null, memo ntext null, note text null, dflt int null default (7), "
      "who nvarchar(20) null default (N'默认'), constraint PK_Kinds primary key (id))";
  // The same rows, converted as the data pump converts them, into a table
  // of the same shape on each path.
  const std::vector<std::string> columns = {"n", "v", "m", "sm", "d", "b", "t", "s", "big", "f", "r", "memo", "note", "who"};
  const std::vector<dts::Row> rows = {
      {com::Variant::Text("中文"), com::Variant::Text("中文"), com::Variant::Currency(12345678),
       com::Variant::Currency(-5), com::Variant::Date(39105.43090277778), com::Variant::Bool(true), com::Variant::UI1(255),
       com::Variant::I2(-32768), com::Variant::I8(9000000000), com::Variant::R8(0.125), com::Variant::R4(1.5f),
       com::Variant::Text(std::string(5000, 'x') + "尾"), com::Variant::Text("长文本"), com::Variant::Null()},
      {com::Variant::Text(""), com::Variant::Text(""), com::Variant::Null(), com::Variant::Null(), com::Variant::Null(),
       com::Variant::Null(), com::Variant::Null(), com::Variant::Null(), com::Variant::Null(), com::Variant::Null(),
       com::Variant::Null(), com::Variant::Text(""), com::Variant::Text(""), com::Variant::Text("")},
      {com::Variant::Null(), com::Variant::Null(), com::Variant::Currency(0), com::Variant::Currency(0),
       com::Variant::Date(2.0), com::Variant::Bool(false), com::Variant::UI1(0), com::Variant::I2(0), com::Variant::I8(0),
       com::Variant::R8(0), com::Variant::R4(0), com::Variant::Null(), com::Variant::Null(), com::Variant::Text("x")},
  };
  EmbeddedShop direct;
  auto load = [&](const EmbeddedShop& shop) {
    sqlsrv::Engine(shop.database_file, EmbeddedShop::kDatabase, "sa").Execute(create);
    dts::ConnectionSpec c = Destination();
    c.data_source = shop.server;
    auto session = dts::FindDriver(sqlsrv::kProviderName)->Open(c);
    session->BeginTransaction();
    auto writer = session->OpenBulkLoad("[Sales60].[dbo].[Kinds]", columns, {});
    for (const auto& row : rows) writer->Write(row);
    writer->Finish();
    session->Commit();
    return shop.Query("select id, n, v, m, sm, d, b, t, s, big, f, r, memo, note, dflt, who, "
                      "case when n is null then 'null' else 'text' end, len(memo) from Kinds order by id");
  };
  const auto expected = load(direct);
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(load(served), expected);
}

TEST_F(NetworkDestination, DecimalsLoadAndReadBackExactlyOnBothPaths) {
  const char* create =
      "create table Amounts (id int not null, big decimal(38,10) null, small numeric(5,2) null, "
      "constraint PK_Amounts primary key (id))";
  using com::Variant;
  const std::vector<dts::Row> rows = {
      {Variant::I4(1), Variant::Decimal("1234567890123456789012345678.1234567891"), Variant::Decimal("-999.994")},
      {Variant::I4(2), Variant::Null(), Variant::Text("12.345")},
      {Variant::I4(3), Variant::Decimal("0.00000000005"), Variant::Currency(12345)},
  };
  // Each value converted to its column's type as the data pump converts it,
  // from the table's definition as the destination describes it; then read
  // back through the same driver.
  auto load = [&](const EmbeddedShop& shop) {
    sqlsrv::Engine(shop.database_file, EmbeddedShop::kDatabase, "sa").Execute(create);
    dts::ConnectionSpec c = Destination();
    c.data_source = shop.server;
    auto session = dts::FindDriver(sqlsrv::kProviderName)->Open(c);
    const std::vector<dts::ColumnInfo> table = session->DescribeTable("[Sales60].[dbo].[Amounts]");
    session->BeginTransaction();
    auto writer = session->OpenBulkLoad("[Sales60].[dbo].[Amounts]", {"id", "big", "small"}, {});
    for (const auto& row : rows) {
      dts::Row converted(row.size());
      for (std::size_t i = 0; i < row.size(); ++i) dts::ConvertValue(row[i], table[i], false, &converted[i]);
      writer->Write(converted);
    }
    writer->Finish();
    session->Commit();
    std::vector<std::string> out;
    for (const auto& info : table) {
      out.push_back(info.name + " " + std::to_string(info.precision) + "," + std::to_string(info.scale));
    }
    auto reader = session->Query("select id, big, small from Amounts order by id");
    dts::Row row;
    while (reader->Next(row)) {
      std::string line;
      for (const auto& v : row) {
        line += (line.empty() ? "" : "|") + (v.IsNull() ? "NULL" : std::string(com::VarTypeName(v.type())) + " " + v.ToText());
      }
      out.push_back(line);
    }
    return out;
  };
  const std::vector<std::string> expected = {
      "id 0,0", "big 38,10", "small 5,2",
      "i4 1|dec 1234567890123456789012345678.1234567891|dec -999.99",
      "i4 2|NULL|dec 12.35",
      "i4 3|dec 0.0000000001|dec 1.23",
  };
  EXPECT_EQ(load(EmbeddedShop()), expected);
  EXPECT_EQ(load(served), expected);
}

TEST_F(NetworkDestination, CreatesTheDatabaseOverTheNetwork) {
  const auto r = testing_support::RunCommand("KPW=" + std::string(EmbeddedShop::kPassword) + " " +
                                             testing_support::ShellQuote(testing_support::BinDir() + "/korvel") +
                                             " create-database --server " + served.server +
                                             " --user sa --password-env KPW --database Rehearsal");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  sqlsrv::AdminClient admin;
  admin.Connect(served.server, "sa", EmbeddedShop::kPassword, 30);
  const auto names = admin.Databases();
  EXPECT_NE(std::find(names.begin(), names.end(), "Rehearsal"), names.end());
  // The creation script ran: the 6.0 tables are there, with their seed rows.
  auto session = dts::FindDriver(sqlsrv::kProviderName)->Open(Destination("Rehearsal"));
  EXPECT_EQ(testing_support::TsvLines(*session->Query("select count(*) from sysobjects where xtype = 'U'")),
            testing_support::TsvLines(*dts::FindDriver(sqlsrv::kProviderName)
                                           ->Open(Destination())
                                           ->Query("select count(*) from sysobjects where xtype = 'U'")));
  EXPECT_EQ(r.out.find(EmbeddedShop::kPassword), std::string::npos);
  EXPECT_EQ(r.err.find(EmbeddedShop::kPassword), std::string::npos);
}

// A reader dropped before its last row leaves the connection ready for the
// next query, which gets its own rows (the reconciliation reads one row of
// each query).
TEST_F(NetworkDestination, AQueryLeftUnreadDoesNotDisturbTheNextOne) {
  auto session = dts::FindDriver(sqlsrv::kProviderName)->Open(Destination());
  for (int round = 0; round < 3; ++round) {
    {
      auto rows = session->Query("select name from sysobjects select count(*) from sysobjects");
      dts::Row row;
      ASSERT_TRUE(rows->Next(row));
    }
    EXPECT_EQ(testing_support::TsvLines(*session->Query("select 1 + " + std::to_string(round))),
              std::vector<std::string>{std::to_string(1 + round)});
  }
  EXPECT_TRUE(session->ExecuteBatch("select name from sysobjects delete from Region where 1 = 0", 0).size() >= 1);
}

TEST_F(NetworkDestination, TheCommandLineRunsAndReconcilesOverTheNetworkWithoutShowingThePassword) {
  const std::string report = served.dir.File("report.json");
  const auto r = testing_support::RunCommand(
      "KPW=" + std::string(EmbeddedShop::kPassword) + " " +
      testing_support::ShellQuote(testing_support::BinDir() + "/korvel") + " run --model C5to6Normal --source " +
      testing_support::ShellQuote(served.source) + " --server " + served.server +
      " --user sa --password-env KPW --database Sales60 --report " + testing_support::ShellQuote(report));
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("相符 Custody 期初库存"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("不符"), std::string::npos) << r.out;
  for (const std::string& text : {r.out, r.err, testing_support::ReadFile(report)}) {
    EXPECT_EQ(text.find(EmbeddedShop::kPassword), std::string::npos);
  }
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST_F(NetworkDestination, TheCheckReadsTheSameDefinitionsOverTheNetwork) {
  // A customer repeating a code under the server's collation, one whose
  // region is not imported, one whose class is cut (30 characters of two
  // bytes each in the code page, for a varchar(50)).
  const std::string source = served.WriteSource(
      "partners.mdb",
      {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t1\t01\t东区\n"},
       {"Customer", "UnitID\tRegionID\tClass\nC1\t1\t甲\nc1\t1\t乙\nC3\t7\t丙\nC4\t1\t" + Repeated("类", 30) + "\n"}});
  auto check = [&](const std::string& server, const std::string& report) {
    const auto r = testing_support::RunCommand(
        testing_support::ShellQuote(testing_support::BinDir() + "/korvel") +
        " check --model C5to6CustSuppNoWriteAccount --source " + testing_support::ShellQuote(source) + " --server " +
        testing_support::ShellQuote(server) + " --user sa --password " + EmbeddedShop::kPassword +
        " --database Sales60 --report " + testing_support::ShellQuote(report));
    EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
    return testing_support::ReadFile(report);
  };
  // The findings, from the definitions on, are the same; the head names
  // each server and its own times.
  auto findings = [](const std::string& report) { return report.substr(std::min(report.find("\"definitions\""), report.size())); };
  const std::string direct = check("file:" + served.server_folder, served.dir.File("direct.json"));
  const std::string network = check(served.server, served.dir.File("network.json"));
  EXPECT_NE(network.find("\"server\": \"" + served.server + "\""), std::string::npos) << network;
  EXPECT_EQ(findings(network), findings(direct));
  EXPECT_FALSE(findings(network).empty());
  for (const char* expected : {"\"kind\": \"duplicate_key\", \"fails\": true", "\"row\": 2, \"key\": \"UnitID=c1\"",
                               "\"kind\": \"foreign_key\"", "\"row\": 3, \"key\": \"UnitID=C3\"",
                               "\"row\": 4, \"key\": \"UnitID=C4\", \"number\": 0, \"message\": \"长度 60 超过列的长度 50，将截为 50\""}) {
    EXPECT_NE(network.find(expected), std::string::npos) << expected << "\n" << network;
  }
}

// A step outside the package transaction after one inside it cannot have
// what the transaction holds: it waits at most the lock timeout and fails
// saying why, on either path.
TEST_F(NetworkDestination, AStepOutsideTheTransactionDoesNotWaitForItsLocksForever) {
  EmbeddedShop direct;
  for (const EmbeddedShop* shop : {&direct, &served}) {
    SCOPED_TRACE(shop->server);
    auto package = dts::Package::Create();
    package->Set("UseTransaction", com::Variant::Bool(true));
    package->Set("FailOnError", com::Variant::Bool(true));
    auto c = package->Connections().New(sqlsrv::kProviderName);
    c->Set("ID", com::Variant::I4(1));
    c->Set("DataSource", com::Variant::Text(shop->server));
    c->Set("UserID", com::Variant::Text("sa"));
    c->Set("Password", com::Variant::Text(EmbeddedShop::kPassword));
    c->Set("Catalog", com::Variant::Text(EmbeddedShop::kDatabase));
    c->ConnectionProperties().Set("Lock Timeout", com::Variant::I4(300));
    package->Connections().Add(std::move(c));
    const char* sql[] = {"insert into Region (Class, RegCode, RegName) values ('华北', N'R77', N'锁')",
                         "delete from Region"};
    for (int i = 0; i < 2; ++i) {
      const std::string name = "s" + std::to_string(i + 1);
      auto task = package->Tasks().New(dts::kSQLTaskKind);
      task->Set("Name", com::Variant::Text(name));
      task->GetCustomTask().Set("Name", com::Variant::Text(name));
      task->GetCustomTask().Set("SQLStatement", com::Variant::Text(sql[i]));
      task->GetCustomTask().Set("ConnectionID", com::Variant::I4(1));
      package->Tasks().Add(std::move(task));
      auto step = package->Steps().New();
      step->Set("Name", com::Variant::Text(name));
      step->Set("TaskName", com::Variant::Text(name));
      step->Set("JoinTransactionIfPresent", com::Variant::Bool(i == 0));
      package->Steps().Add(std::move(step));
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(package->Execute(), com::Error);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    const auto& error = package->Steps().Item(2).error_info();
    EXPECT_EQ(error.ErrorCode, dts::kErrLockTimeout) << error.Description;
    EXPECT_NE(error.Description.find("Lock request time out period exceeded."), std::string::npos) << error.Description;
    EXPECT_NE(error.Description.find("包事务"), std::string::npos) << error.Description;
    EXPECT_EQ(shop->Query("select count(*) from Region where RegCode = N'R77'"), std::vector<std::string>{"0"});
  }
}

// `korvel serve` killed in the middle of a run: the run reports the lost
// connection and the database, opened again, is as it was.
TEST(NetworkServerLoss, KillingTheServerMidRunLeavesTheDatabaseUnchanged) {
  EmbeddedShop shop;
  const std::string folder_server = shop.server;
  ASSERT_EQ(RunPlan(shop, "C5to6Normal", shop.source).error, "");
  const auto before = shop.Snapshot();
  auto server = std::make_unique<testing_support::BackgroundProcess>(
      std::vector<std::string>{testing_support::BinDir() + "/korvel", "serve", "--server", folder_server, "--listen",
                               "127.0.0.1:0"});
  const std::string line = server->ReadLine();
  const auto colon = line.find("127.0.0.1:");
  ASSERT_NE(colon, std::string::npos) << line;
  shop.server = "127.0.0.1," + std::to_string(std::stoi(line.substr(colon + 10)));
  {
    // Before the tenth step's work reaches the server, the server dies.
    testing_support::FaultInjection kill(sqlsrv::kProviderName, 10, [&] { server->Stop(SIGKILL); });
    const PlanOutcome run = RunPlan(shop, "C5to6Normal", shop.source);
    EXPECT_NE(run.error, "");
    ASSERT_EQ(run.reports.size(), 1u);
    EXPECT_NE(run.reports[0].find("连接已断开"), std::string::npos) << run.reports[0] << run.error;
  }
  EXPECT_EQ(shop.Snapshot(), before);
  EXPECT_EQ(shop.IntegrityCheck(), "ok");
}

#else
// These tests reach korvel serve's endpoint with POSIX sockets and fork()
// of their own.
TEST(NetworkDestination, IsTestedOnLinuxOnly) { GTEST_SKIP() << "needs the tests' POSIX socket and process code (Linux only)"; }
#endif  // _WIN32

}  // namespace
