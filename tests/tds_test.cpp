// The embedded server over TDS: real clients (FreeTDS's db-lib, and the
// tsql and freebcp programs) against the endpoint, and hostile bytes
// against it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/tds/listener.h"
#include "platform/sqlserver/tds/login.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"
#include "tests/support/tds_client.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::TdsBatch;
using testing_support::TdsClient;
using testing_support::TdsLogin;

// An embedded server with Sales60 served over TDS on a free loopback port.
class TdsEndpoint : public ::testing::Test {
 protected:
  TdsEndpoint() {
    sqlsrv::tds::EndpointConfig config;
    config.folder = shop.server_folder;
    config.server_name = "KORVEL";
    config.login_timeout_ms = 5000;
    config.log = [this](const std::string& line) {
      std::lock_guard lock(log_mutex);
      log.push_back(line);
    };
    listener = std::make_unique<sqlsrv::tds::Listener>(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 8);
    thread = std::thread([this] { listener->Run(); });
  }
  ~TdsEndpoint() override {
    listener->Stop();
    thread.join();
    if (HasFailure()) {
      for (const auto& line : log) std::printf("endpoint: %s\n", line.c_str());
    }
  }

  TdsLogin Login(const std::string& version = "7.4") const {
    TdsLogin l;
    l.port = listener->port();
    l.password = EmbeddedShop::kPassword;
    l.database = EmbeddedShop::kDatabase;
    l.tds_version = version;
    return l;
  }

  // The same query run directly on the embedded engine, canonical as the
  // client writes values.
  std::vector<std::string> Direct(const std::string& sql) const { return shop.Query(sql); }

  EmbeddedShop shop;
  std::mutex log_mutex;
  std::vector<std::string> log;
  std::unique_ptr<sqlsrv::tds::Listener> listener;
  std::thread thread;
};

TEST_F(TdsEndpoint, LogsInWithTheFoldersLoginsAndRefusesAWrongPassword) {
  for (const char* version : {"7.1", "7.2", "7.3", "7.4"}) {
    SCOPED_TRACE(version);
    TdsClient client(Login(version));
    const TdsBatch b = client.Execute("select count(*) from Depart");
    ASSERT_FALSE(b.failed);
    ASSERT_EQ(b.results.size(), 1u);
    EXPECT_EQ(b.results[0].rows, (std::vector<std::vector<std::string>>{{"0"}}));
  }
  TdsLogin wrong = Login();
  wrong.password = "wrong";
  try {
    TdsClient client(wrong);
    FAIL() << "a wrong password logged in";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("18456"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Login failed for user 'sa'."), std::string::npos) << e.what();
  }
  TdsLogin nobody = Login();
  nobody.database = "NoSuchDatabase";
  EXPECT_THROW(TdsClient{nobody}, std::runtime_error);
}

TEST_F(TdsEndpoint, ListsTheDatabasesAndSwitchesBetweenThem) {
  TdsClient client(Login());
  for (const char* sql : {"select name from master.dbo.sysdatabases", "select name from sys.databases"}) {
    const TdsBatch b = client.Execute(sql);
    ASSERT_EQ(b.results.size(), 1u) << sql;
    EXPECT_EQ(b.results[0].rows,
              (std::vector<std::vector<std::string>>{{"master"}, {"tempdb"}, {"model"}, {"msdb"}, {"Sales60"}}));
  }
  EXPECT_FALSE(client.Execute("use master").failed);
  const TdsBatch missing = client.Execute("select count(*) from Depart");
  EXPECT_TRUE(missing.failed);
  ASSERT_FALSE(missing.messages.empty());
  EXPECT_EQ(missing.messages[0].number, 208);
  EXPECT_FALSE(client.Execute("use [Sales60]").failed);
  EXPECT_FALSE(client.Execute("select count(*) from Depart").failed);
}

TEST_F(TdsEndpoint, EveryColumnTypeArrivesAsTheEngineHoldsIt) {
  TdsClient client(Login());
  const char* create =
      "create table AllTypes (id int not null, b bit null, ti tinyint null, si smallint null, bi bigint null, "
      "m money null, sm smallmoney null, f float null, r real null, d decimal(18, 4) null, dt datetime null, "
      "sdt smalldatetime null, c char(6) null, vc varchar(20) null, nc nchar(4) null, nvc nvarchar(20) null, "
      "t text null, nt ntext null, constraint PK_AllTypes primary key (id))";
  ASSERT_FALSE(client.Execute(create).failed);
  ASSERT_FALSE(client
                   .Execute("insert into AllTypes values (1, 1, 255, -32768, 9000000000, 1234.5678, -12.34, 0.125, "
                            "1.5, 3.25, '2007-01-23 10:20:30.123', '2007-01-23 10:20', 'ab', '华东区', N'北京', "
                            "N'上海浦东', '长文本', N'很长的文本')")
                   .failed);
  ASSERT_FALSE(client
                   .Execute("insert into AllTypes (id) values (2)")
                   .failed);
  const TdsBatch b = client.Execute("select * from AllTypes order by id");
  ASSERT_FALSE(b.failed);
  ASSERT_EQ(b.results.size(), 1u);
  const auto& rows = b.results[0].rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "1", "255", "-32768", "9000000000", "1234.5678", "-12.3400",
                                               "0.125", "1.5", "3.25", "2007-01-23 10:20:30.123",
                                               "2007-01-23 10:20:00.000", "ab", "华东区", "北京", "上海浦东",
                                               "长文本", "很长的文本"}));
  for (std::size_t c = 1; c < rows[1].size(); ++c) EXPECT_EQ(rows[1][c], "\\N") << c;
  EXPECT_EQ(b.results[0].columns.front(), "id");
  EXPECT_EQ(b.results[0].columns.back(), "nt");
}

TEST_F(TdsEndpoint, ErrorsCarryTheirNumberAndATransactionRollsBack) {
  TdsClient client(Login());
  const TdsBatch bad = client.Execute("select * from NoSuchTable");
  EXPECT_TRUE(bad.failed);
  ASSERT_FALSE(bad.messages.empty());
  EXPECT_EQ(bad.messages[0].number, 208);
  EXPECT_EQ(bad.messages[0].severity, 16);
  EXPECT_EQ(bad.messages[0].server, "KORVEL");
  EXPECT_NE(bad.messages[0].text.find("NoSuchTable"), std::string::npos);

  const TdsBatch syntax = client.Execute("selec 1");
  ASSERT_FALSE(syntax.messages.empty());
  EXPECT_EQ(syntax.messages[0].number, 102);

  ASSERT_FALSE(client.Execute("begin transaction").failed);
  const TdsBatch insert = client.Execute("insert into Region (Class, RegCode, RegName) values (N'华北', N'R1', N'北京')");
  EXPECT_EQ(insert.counts, (std::vector<long long>{1}));
  EXPECT_EQ(client.Execute("select count(*) from Region").results.at(0).rows[0][0], "1");
  ASSERT_FALSE(client.Execute("rollback").failed);
  EXPECT_EQ(client.Execute("select count(*) from Region").results.at(0).rows[0][0], "0");
  EXPECT_EQ(Direct("select count(*) from Region"), (std::vector<std::string>{"0"}));
}

TEST_F(TdsEndpoint, BulkCopiesAHundredThousandRowsKeepingIdentityAndRefusesABadRow) {
  TdsClient client(Login("7.4"));
  std::vector<std::vector<std::optional<std::string>>> rows;
  for (int i = 1; i <= 100000; ++i) {
    rows.push_back({std::to_string(i * 3), "华北", "R" + std::to_string(i), std::optional<std::string>()});
  }
  std::vector<testing_support::TdsMessage> messages;
  // Region: RegionID (identity), Computer, Operator, OpTime, Class, RegCode, RegName.
  std::vector<std::vector<std::optional<std::string>>> full;
  using testing_support::AsCp936;
  using testing_support::AsUtf16;
  for (const auto& r : rows) {
    full.push_back({r[0], AsUtf16("PC1"), AsUtf16("sa"), "2007-01-23 00:00:00", AsCp936(*r[1]), AsUtf16(*r[2]), r[3]});
  }
  EXPECT_EQ(client.BulkCopy("Region", full, /*keep_identity=*/true, &messages), 100000) << [&] {
    std::string all;
    for (const auto& m : messages) all += std::to_string(m.number) + " " + m.text + "\n";
    return all;
  }();
  EXPECT_EQ(Direct("select count(*), min(RegionID), max(RegionID) from Region"),
            (std::vector<std::string>{"100000\t3\t300000"}));
  EXPECT_EQ(Direct("select Computer, Operator, Class, RegCode, RegName from Region where RegionID = 300"),
            (std::vector<std::string>{"PC1\tsa\t华北\tR100\t\\N"}));
  // A customer of a region that does not exist is refused, and nothing of
  // the load stays.
  messages.clear();
  std::vector<std::vector<std::optional<std::string>>> customers;
  for (int i = 1; i <= 1000; ++i) {
    std::vector<std::optional<std::string>> c(29);
    c[3] = "0";                                  // IsTrans
    c[4] = "1";                                  // IsUsed
    c[6] = i == 700 ? "7" : "3";                 // RegionID: 7 does not exist
    c[8] = AsUtf16("C" + std::to_string(i));     // UnitID
    customers.push_back(c);
  }
  EXPECT_EQ(client.BulkCopy("Customer", customers, false, &messages), -1);
  bool named = false;
  for (const auto& m : messages) named = named || (m.number == 547 && m.text.find("FK_Customer_Region") != std::string::npos);
  EXPECT_TRUE(named) << [&] {
    std::string all;
    for (const auto& m : messages) all += std::to_string(m.number) + " " + m.text + "\n";
    return all;
  }();
  EXPECT_EQ(Direct("select count(*) from Customer"), (std::vector<std::string>{"0"}));
  // The connection goes on.
  EXPECT_FALSE(client.Execute("select count(*) from Customer").failed);
}

TEST_F(TdsEndpoint, TwoClientsAtOnceEachInItsOwnSession) {
  TdsClient a(Login()), b(Login("7.1"));
  ASSERT_FALSE(a.Execute("begin tran insert into Region (Class, RegName) values (N'华东', N'上海')").failed);
  // b does not see a's uncommitted row and is not blocked forever by it.
  ASSERT_FALSE(a.Execute("commit").failed);
  EXPECT_EQ(b.Execute("select count(*) from Region").results.at(0).rows[0][0], "1");
}

// Bytes that break the protocol close that connection only.
TEST_F(TdsEndpoint, MalformedPacketsCloseTheirConnectionOnly) {
  auto send_raw = [&](const std::vector<std::uint8_t>& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(listener->port()));
    inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
      ::close(fd);
      return false;
    }
    [[maybe_unused]] auto w = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    char buf[4096];
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
    ::close(fd);
    return true;
  };
  auto packet = [](std::uint8_t type, std::vector<std::uint8_t> payload, int length_delta = 0) {
    std::vector<std::uint8_t> p = {type, 1, 0, 0, 0, 0, 1, 0};
    const int length = static_cast<int>(payload.size()) + 8 + length_delta;
    p[2] = static_cast<std::uint8_t>(length >> 8);
    p[3] = static_cast<std::uint8_t>(length);
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
  };
  auto login = sqlsrv::tds::BuildLogin7({sqlsrv::tds::kTds74, 4096, "host", "sa", EmbeddedShop::kPassword, "app",
                                         "srv", "lib", "", "Sales60"});
  auto huge_headers = packet(1, {0xFF, 0xFF, 0xFF, 0xFF, 0x16, 0, 0, 0});
  std::vector<std::vector<std::uint8_t>> attacks = {
      {0x12, 0x01},                                 // a header cut short
      packet(0x12, {0, 0, 0x20, 0, 6}, 100),        // a length past the end
      packet(0x12, {1, 0xFF, 0xFF, 0, 10, 0xFF}),   // an option past the end
      packet(0x99, {1, 2, 3}),                      // an unknown type
      packet(0x10, {0xFF, 0xFF, 0xFF, 0xFF}),       // LOGIN7 claiming 4 GiB
  };
  auto logged_in_then = [&](std::vector<std::uint8_t> tail) {
    auto bytes = packet(0x10, login);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  };
  attacks.push_back(logged_in_then(huge_headers));                        // ALL_HEADERS of 4 GiB
  attacks.push_back(logged_in_then({0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0}));   // garbage after login
  attacks.push_back(logged_in_then(packet(0x07, {0xD1, 0x01})));         // bulk data with no INSERT BULK
  for (const auto& bytes : attacks) {
    ASSERT_TRUE(send_raw(bytes));
    TdsClient client(Login());  // still answers
    EXPECT_FALSE(client.Execute("select 1").failed);
  }
}

TEST_F(TdsEndpoint, AClientThatDisappearsMidTransactionLeavesNothing) {
  {
    TdsClient client(Login());
    ASSERT_FALSE(client.Execute("begin tran insert into Region (Class, RegName) values (N'华东', N'上海')").failed);
  }  // the connection closes with the transaction open
  for (int i = 0; i < 50 && Direct("select count(*) from Region") != std::vector<std::string>{"0"}; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(Direct("select count(*) from Region"), (std::vector<std::string>{"0"}));
}

}  // namespace
