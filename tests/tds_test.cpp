// The embedded server over TDS: real clients (FreeTDS's db-lib, and the
// tsql and freebcp programs) against the endpoint, and hostile bytes
// against it.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/tds_endpoint/listener.h"
#include "platform/com/error.h"
#include "platform/sqlserver/tds_endpoint/login.h"
#include "platform/sqlserver/tds_endpoint/results.h"
#include "platform/sqlserver/tds_endpoint/wire.h"
#include "tests/support/raw_tds.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"
#include "tests/support/tds_client.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::TdsBatch;
using testing_support::TdsClient;
using testing_support::TdsLogin;

#ifndef _WIN32
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

// A client that speaks TDS byte by byte, for what db-lib does not show.
class RawClient {
 public:
  explicit RawClient(int port) : connection_(port) {}

  void Send(std::uint8_t type, const std::vector<std::uint8_t>& payload) { connection_.Send(type, payload); }
  // The payload of the next whole reply message; empty when none comes.
  std::vector<std::uint8_t> Reply() {
    std::vector<std::uint8_t> message = connection_.Reply();
    spid = connection_.spid();
    return message;
  }
  void Login(std::uint32_t version, std::uint32_t packet_size = 4096) {
    Send(0x10, sqlsrv::tds::BuildLogin7({version, packet_size, "host", "sa", EmbeddedShop::kPassword, "app", "srv",
                                         "lib", "", "Sales60"}));
    login_reply = Reply();
  }
  std::vector<std::uint8_t> Batch(const std::string& sql, bool all_headers) {
    SendBatch(sql, all_headers);
    return Reply();
  }
  // Sends a batch without waiting for its reply.
  void SendBatch(const std::string& sql, bool all_headers) {
    std::vector<std::uint8_t> payload;
    if (all_headers) {
      // ALL_HEADERS with a transaction descriptor header, as 7.2+ clients send.
      payload = {22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    }
    for (char16_t u : sqlsrv::tds::ToUtf16(sql)) {
      payload.push_back(static_cast<std::uint8_t>(u));
      payload.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    Send(0x01, payload);
  }

  std::vector<std::uint8_t> login_reply;
  std::uint16_t spid = 0;  // the session id in the last reply packet's header

 private:
  testing_support::RawTdsConnection connection_;
};

// True when `bytes` hold an ENVCHANGE of `type` (0xE3, length, type).
bool HasEnvChange(const std::vector<std::uint8_t>& bytes, std::uint8_t type) {
  for (std::size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0xE3 && bytes[i + 3] == type) return true;
  }
  return false;
}

// The text an ENVCHANGE of `type` carries as its new value.
std::string EnvChangeText(const std::vector<std::uint8_t>& bytes, std::uint8_t type) {
  for (std::size_t i = 0; i + 4 < bytes.size(); ++i) {
    if (bytes[i] != 0xE3 || bytes[i + 3] != type) continue;
    std::string out;
    for (std::size_t k = 0; k < bytes[i + 4] && i + 6 + 2 * k < bytes.size(); ++k) {
      out.push_back(static_cast<char>(bytes[i + 5 + 2 * k]));
    }
    return out;
  }
  return "";
}

// The flags of each column of the first COLMETADATA of `columns` columns in
// a TDS 7.2+ reply (4-byte user types), for columns of the types an int,
// nvarchar or money column travels as; empty when there is none.
std::vector<std::uint16_t> ColumnFlagsIn(const std::vector<std::uint8_t>& bytes, std::uint16_t columns) {
  auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8); };
  for (std::size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] != 0x81 || u16(i + 1) != columns) continue;
    std::vector<std::uint16_t> flags;
    std::size_t at = i + 3;
    for (std::uint16_t c = 0; c < columns; ++c) {
      at += 4;  // user type
      flags.push_back(u16(at));
      const std::uint8_t type = bytes.at(at + 2);
      at += 3;
      if (type == 0x26 || type == 0x6E) {
        at += 1;  // INTN, MONEYN: the length
      } else if (type == 0xE7) {
        at += 2 + 5;  // NVARCHAR: the length and the collation
      } else {
        return {};
      }
      at += 1 + 2 * static_cast<std::size_t>(bytes.at(at));  // the name
    }
    return flags;
  }
  return {};
}

// Remote procedure call messages, written byte by byte as a TDS 7.2+
// client writes them.
class RpcMessage {
 public:
  RpcMessage() : bytes({22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}) {}
  // Begins a call of a system procedure by its number.
  RpcMessage& Call(std::uint16_t id) {
    Separate();
    U16(0xFFFF);
    U16(id);
    U16(0);  // options
    return *this;
  }
  // Begins a call of a procedure by name.
  RpcMessage& Call(const std::string& name) {
    Separate();
    U16(static_cast<std::uint16_t>(name.size()));
    Ucs2(name);
    U16(0);
    return *this;
  }
  RpcMessage& Int(const std::string& name, std::optional<std::int32_t> v, bool output = false) {
    Name(name, output);
    bytes.insert(bytes.end(), {0x26, 4});
    if (!v) {
      bytes.push_back(0);
      return *this;
    }
    bytes.push_back(4);
    U16(static_cast<std::uint16_t>(*v));
    U16(static_cast<std::uint16_t>(static_cast<std::uint32_t>(*v) >> 16));
    return *this;
  }
  // A DECIMALN value: decimal(precision, scale) given as its unscaled
  // integer, in as many bytes as TDS gives the precision.
  RpcMessage& Decimal(const std::string& name, std::uint8_t precision, std::uint8_t scale,
                      std::optional<std::int64_t> units, bool output = false) {
    Name(name, output);
    const std::uint8_t size = precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
    bytes.insert(bytes.end(), {0x6A, size, precision, scale});
    if (!units) {
      bytes.push_back(0);
      return *this;
    }
    bytes.push_back(size);
    bytes.push_back(*units < 0 ? 0 : 1);
    std::uint64_t magnitude = *units < 0 ? 0 - static_cast<std::uint64_t>(*units) : static_cast<std::uint64_t>(*units);
    for (std::uint8_t i = 1; i < size; ++i, magnitude >>= 8) bytes.push_back(static_cast<std::uint8_t>(magnitude));
    return *this;
  }
  RpcMessage& NVarChar(const std::string& name, const std::string& ascii) {
    Name(name, false);
    bytes.insert(bytes.end(), {0xE7, 0x40, 0x1F, 0x04, 0x08, 0xD0, 0x00, 0x00});
    U16(static_cast<std::uint16_t>(ascii.size() * 2));
    Ucs2(ascii);
    return *this;
  }
  // A parameter of no type or value (NULLTYPE), as a client sends an
  // argument it leaves out.
  RpcMessage& Omitted(const std::string& name) {
    Name(name, false);
    bytes.push_back(0x1F);
    return *this;
  }
  // A parameter's name and status, then `type_and_value` as they are.
  RpcMessage& Typed(const std::string& name, std::vector<std::uint8_t> type_and_value) {
    Name(name, false);
    return Raw(std::move(type_and_value));
  }
  // Raw bytes, for messages that break the protocol.
  RpcMessage& Raw(std::vector<std::uint8_t> raw) {
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return *this;
  }

  std::vector<std::uint8_t> bytes;

 private:
  void Separate() {
    if (calls_++ > 0) bytes.push_back(0xFF);
  }
  void Name(const std::string& name, bool output) {
    bytes.push_back(static_cast<std::uint8_t>(name.size()));
    Ucs2(name);
    bytes.push_back(output ? 1 : 0);
  }
  void U16(std::uint16_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void Ucs2(const std::string& ascii) {
    for (char c : ascii) U16(static_cast<std::uint8_t>(c));
  }
  int calls_ = 0;
};

// A token of a reply that holds no result set, as a test reads it.
struct ReplyToken {
  std::uint8_t type = 0;
  std::uint16_t status = 0;       // DONE, DONEPROC, DONEINPROC
  std::uint64_t count = 0;
  std::int32_t number = 0;        // RETURNSTATUS's value, ERROR's number
  std::uint16_t ordinal = 0;      // RETURNVALUE
  std::string name;
  std::uint8_t wire_type = 0;
  std::optional<std::int64_t> value;  // an integer RETURNVALUE's, or a decimal's unscaled value
  std::uint8_t precision = 0, scale = 0;  // a decimal RETURNVALUE's
};

// The tokens of a TDS 7.2+ reply made of messages, DONE tokens, ENVCHANGEs
// and return values (of INTN type, or DECIMALN of at most 8 bytes of
// magnitude); raises for anything else.
std::vector<ReplyToken> TokensOf(const std::vector<std::uint8_t>& b) {
  std::vector<ReplyToken> out;
  std::size_t at = 0;
  auto u8 = [&] { return b.at(at++); };
  auto u16 = [&] {
    const std::uint16_t v = static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
    at += 2;
    return v;
  };
  auto u32 = [&] {
    const std::uint32_t lo = u16();
    return lo | static_cast<std::uint32_t>(u16()) << 16;
  };
  while (at < b.size()) {
    ReplyToken t;
    t.type = u8();
    switch (t.type) {
      case 0xFD: case 0xFE: case 0xFF:
        t.status = u16();
        u16();
        t.count = u32();
        t.count |= static_cast<std::uint64_t>(u32()) << 32;
        break;
      case 0x79:
        t.number = static_cast<std::int32_t>(u32());
        break;
      case 0xAA: case 0xAB: case 0xE3: {
        const std::uint16_t length = u16();
        if (t.type != 0xE3) t.number = static_cast<std::int32_t>(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16);
        at += length;
        break;
      }
      case 0xAC: {
        t.ordinal = u16();
        const std::uint8_t chars = u8();
        for (std::uint8_t i = 0; i < chars; ++i) t.name.push_back(static_cast<char>(u16()));
        u8();   // status
        u32();  // user type
        u16();  // flags
        t.wire_type = u8();
        if (t.wire_type == 0x6A) {
          u8();  // its size
          t.precision = u8();
          t.scale = u8();
          const std::uint8_t length = u8();
          if (length > 0) {
            const bool positive = u8() == 1;
            std::uint64_t v = 0;
            for (std::uint8_t i = 0; i + 1 < length; ++i) {
              const std::uint8_t byte = u8();
              if (i >= 8 && byte != 0) throw std::runtime_error("decimal past 64 bits");
              if (i < 8) v |= static_cast<std::uint64_t>(byte) << (8 * i);
            }
            t.value = positive ? static_cast<std::int64_t>(v) : -static_cast<std::int64_t>(v);
          }
          break;
        }
        if (t.wire_type != 0x26) throw std::runtime_error("return value of type " + std::to_string(t.wire_type));
        u8();  // its size
        const std::uint8_t length = u8();
        if (length > 0) {
          std::uint64_t v = 0;
          for (std::uint8_t i = 0; i < length; ++i) v |= static_cast<std::uint64_t>(u8()) << (8 * i);
          t.value = length == 4 ? static_cast<std::int32_t>(v) : static_cast<std::int64_t>(v);
        }
        break;
      }
      default:
        throw std::runtime_error("unexpected token " + std::to_string(t.type));
    }
    out.push_back(std::move(t));
  }
  return out;
}

TEST_F(TdsEndpoint, TransactionsPacketSizesAndEncryptionOnTheWire) {
  RawClient a(listener->port());
  a.Login(sqlsrv::tds::kTds74, 8192);
  EXPECT_EQ(EnvChangeText(a.login_reply, 4), "8192");
  EXPECT_TRUE(HasEnvChange(a.Batch("begin tran", true), 8));
  EXPECT_TRUE(HasEnvChange(a.Batch("commit", true), 9));
  EXPECT_TRUE(HasEnvChange(a.Batch("begin tran", true), 8));
  EXPECT_TRUE(HasEnvChange(a.Batch("rollback", true), 10));
  // A packet size past what TDS allows is held to its limit.
  RawClient b(listener->port());
  b.Login(sqlsrv::tds::kTds71, 1u << 20);
  EXPECT_EQ(EnvChangeText(b.login_reply, 4), "32767");
  EXPECT_FALSE(HasEnvChange(b.Batch("begin tran", false), 8));  // no descriptors before 7.2
  // A client that asks for encryption hears that none is offered.
  RawClient c(listener->port());
  c.Send(0x12, {0x00, 0, 11, 0, 6, 0x01, 0, 17, 0, 1, 0xFF, 8, 0, 0, 0, 0, 0, 0x03});
  const auto prelogin = c.Reply();
  ASSERT_GE(prelogin.size(), 11u);
  const std::size_t at = static_cast<std::size_t>(prelogin[6]) << 8 | prelogin[7];  // ENCRYPTION option offset
  ASSERT_LT(at, prelogin.size());
  EXPECT_EQ(prelogin[5], 0x01);
  EXPECT_EQ(prelogin[at], 2);  // not supported
}

TEST_F(TdsEndpoint, ConnectionsPastTheLimitAreTurnedAwayWithTheReason) {
  sqlsrv::tds::EndpointConfig config;
  config.folder = shop.server_folder;
  config.server_name = "KORVEL";
  sqlsrv::tds::Listener small(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 1);
  std::thread running([&] { small.Run(); });
  {
    TdsLogin login = Login();
    login.port = small.port();
    TdsClient first(login);
    try {
      TdsClient second(login);
      ADD_FAILURE() << "a second connection was let in";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("17809"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(first.Execute("select 1").failed);
  }
  small.Stop();
  running.join();
}

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

// COMPUTE as db-lib reads it: an ALTMETADATA per clause (its aggregates'
// operators, operand columns and types, its BY columns) and each compute
// row after the rows it follows, at TDS 7.1 (two-byte user types) and 7.4.
TEST_F(TdsEndpoint, ComputeRowsFollowTheRowsTheyCover) {
  // db-lib's codes (sybdb.h, whose SUCCEED would clash with GoogleTest's).
  constexpr int SYBAOPCNT = 0x4B, SYBAOPSUM = 0x4D, SYBAOPAVG = 0x4F, SYBAOPMAX = 0x52;
  constexpr int SYBINT4 = 0x38, SYBMONEY = 0x3C, SYBDATETIME = 0x3D;
  for (const std::string version : {"7.1", "7.4"}) {
    SCOPED_TRACE(version);
    TdsClient client(Login(version));
    ASSERT_FALSE(client.Execute("create table #cmp (col1 int not null, col2 char(1) not null, col3 datetime not null, "
                                "m money null)").failed);
    ASSERT_FALSE(client
                     .Execute("insert into #cmp values (1, 'A', '2002-01-01 10:00', 1.5), (2, 'A', '2002-01-02 10:00', "
                              "NULL), (3, 'A', '2002-01-03 10:00', 2), (8, 'B', '2002-01-04 10:00', 0.25), "
                              "(9, 'B', '2002-01-05 10:00', 4), (5, 'C', '2001-12-31 08:00', NULL)")
                     .failed);
    const TdsBatch b = client.Execute(
        "select col1, col2, col3, m from #cmp order by col2, col1 compute sum(col1), avg(col1), sum(m) by col2 "
        "compute max(col3), count(m)");
    ASSERT_FALSE(b.failed);
    ASSERT_EQ(b.results.size(), 1u);
    const auto& rs = b.results[0];
    ASSERT_EQ(rs.rows.size(), 6u);
    ASSERT_EQ(rs.computes.size(), 2u);
    const auto& by_group = rs.computes[0];
    EXPECT_EQ(by_group.ops, (std::vector<int>{SYBAOPSUM, SYBAOPAVG, SYBAOPSUM}));
    EXPECT_EQ(by_group.operands, (std::vector<int>{1, 1, 4}));
    EXPECT_EQ(by_group.types, (std::vector<int>{SYBINT4, SYBINT4, SYBMONEY}));
    EXPECT_EQ(by_group.by, (std::vector<int>{2}));
    const auto& total = rs.computes[1];
    EXPECT_EQ(total.ops, (std::vector<int>{SYBAOPMAX, SYBAOPCNT}));
    EXPECT_EQ(total.operands, (std::vector<int>{3, 4}));
    EXPECT_EQ(total.types, (std::vector<int>{SYBDATETIME, SYBINT4}));
    EXPECT_TRUE(total.by.empty());
    ASSERT_EQ(rs.compute_rows.size(), 4u);
    EXPECT_EQ(rs.compute_rows[0].id, 1);
    EXPECT_EQ(rs.compute_rows[0].after, 3u);
    EXPECT_EQ(rs.compute_rows[0].values, (std::vector<std::string>{"6", "2", "3.5000"}));
    EXPECT_EQ(rs.compute_rows[1].id, 1);
    EXPECT_EQ(rs.compute_rows[1].after, 5u);
    EXPECT_EQ(rs.compute_rows[1].values, (std::vector<std::string>{"17", "8", "4.2500"}));
    // The group of only a NULL amount: its SUM is NULL.
    EXPECT_EQ(rs.compute_rows[2].id, 1);
    EXPECT_EQ(rs.compute_rows[2].after, 6u);
    EXPECT_EQ(rs.compute_rows[2].values, (std::vector<std::string>{"5", "5", "\\N"}));
    EXPECT_EQ(rs.compute_rows[3].id, 2);
    EXPECT_EQ(rs.compute_rows[3].after, 6u);
    EXPECT_EQ(rs.compute_rows[3].values, (std::vector<std::string>{"2002-01-05 10:00:00.000", "4"}));
    // SUM of bigint is a bigint, whole on the wire.
    ASSERT_FALSE(client.Execute("create table #big (b bigint not null) "
                                "insert into #big values (9000000000) insert into #big values (9000000001)").failed);
    const TdsBatch big = client.Execute("select b from #big compute sum(b)");
    ASSERT_EQ(big.results.size(), 1u);
    ASSERT_EQ(big.results[0].compute_rows.size(), 1u);
    EXPECT_EQ(big.results[0].compute_rows[0].values, (std::vector<std::string>{"18000000001"}));
    // The connection goes on as before.
    const TdsBatch after = client.Execute("select count(*) from #cmp");
    ASSERT_EQ(after.results.size(), 1u);
    EXPECT_EQ(after.results[0].rows, (std::vector<std::vector<std::string>>{{"6"}}));
  }
}

// Browse mode as db-lib reads it (FreeTDS's colinfo case): dbtablecolinfo
// gives each column's table, dbcolsource its name there, at TDS 7.1 and
// 7.4.
TEST_F(TdsEndpoint, BrowseModeTellsDbLibEachColumnsTableAndName) {
  for (const std::string version : {"7.1", "7.4"}) {
    SCOPED_TRACE(version);
    TdsClient client(Login(version));
    ASSERT_FALSE(client.Execute("create table #colinfo_table (is_an_int int not null, is_a_string char(10) not null) "
                                "create table #test_table (is_a_money money not null) "
                                "insert into #colinfo_table values (1, 'a') insert into #test_table values (2.5)").failed);
    const TdsBatch b = client.Execute(
        "select is_an_int as number, is_a_string, is_a_money as dollars, is_an_int * 2 as twice "
        "from #colinfo_table, #test_table for browse");
    ASSERT_FALSE(b.failed);
    ASSERT_EQ(b.results.size(), 1u);
    const auto& rs = b.results[0];
    ASSERT_EQ(rs.info.size(), 4u);  // neither table has a key to add
    EXPECT_EQ(rs.info[0].actual_name, "is_an_int");
    EXPECT_NE(rs.info[0].table.find("#colinfo_table"), std::string::npos) << rs.info[0].table;
    EXPECT_EQ(rs.info[1].actual_name, "is_a_string");
    EXPECT_NE(rs.info[1].table.find("#colinfo_table"), std::string::npos) << rs.info[1].table;
    EXPECT_EQ(rs.info[2].actual_name, "is_a_money");
    EXPECT_NE(rs.info[2].table.find("#test_table"), std::string::npos) << rs.info[2].table;
    EXPECT_TRUE(rs.info[0].updatable);
    EXPECT_FALSE(rs.info[3].updatable);  // an expression
    EXPECT_EQ(rs.info[3].table, "");
    EXPECT_EQ(rs.rows, (std::vector<std::vector<std::string>>{{"1", "a         ", "2.5000", "2"}}));
  }
}

TEST_F(TdsEndpoint, EveryColumnTypeArrivesAsTheEngineHoldsIt) {
  TdsClient client(Login());
  const char* create =
      "create table AllTypes (id int not null, b bit null, ti tinyint null, si smallint null, bi bigint null, "
      "m money null, sm smallmoney null, f float null, r real null, d decimal(18, 4) null, dt datetime null, "
      "sdt smalldatetime null, c char(6) null, vc varchar(20) null, nc nchar(4) null, nvc nvarchar(20) null, "
      "t text null, nt ntext null, bn binary(3) null, vb varbinary(10) null, img image null, "
      "constraint PK_AllTypes primary key (id))";
  ASSERT_FALSE(client.Execute(create).failed);
  ASSERT_FALSE(client
                   .Execute("insert into AllTypes values (1, 1, 255, -32768, 9000000000, 1234.5678, -12.34, 0.125, "
                            "1.5, 3.25, '2007-01-23 10:20:30.123', '2007-01-23 10:20', 'ab', '华东区', N'北京', "
                            "N'上海浦东', '长文本', N'很长的文本', 0x01, 0xCAFE, 0x89504E47)")
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
                                               "0.125", "1.5", "3.2500", "2007-01-23 10:20:30.123",
                                               // char(6) and nchar(4) hold their values padded with blanks
                                               "2007-01-23 10:20:00.000", "ab    ", "华东区", "北京  ", "上海浦东",
                                               "长文本", "很长的文本", "0x010000", "0xCAFE", "0x89504E47"}));
  for (std::size_t c = 1; c < rows[1].size(); ++c) EXPECT_EQ(rows[1][c], "\\N") << c;
  EXPECT_EQ(b.results[0].columns.front(), "id");
  EXPECT_EQ(b.results[0].columns.back(), "img");
}

TEST_F(TdsEndpoint, DecimalsTravelExactlyAsDecimalN) {
  // On the wire: DECIMALN with the precision and scale, each value a sign
  // byte (1 for positive) and the unscaled magnitude little-endian, in 5,
  // 9, 13 or 17 bytes as the precision needs.
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  const std::vector<std::uint8_t> reply =
      raw.Batch("select cast(-1.5 as decimal(5,2)) as a, cast(12345678901234567890.123456789 as decimal(38,9)) as b, "
                "cast(7 as numeric(10,0)) as c, cast(0.5 as decimal(20,1)) as d",
                true);
  struct Column {
    std::vector<std::uint8_t> type_info;  // type, size, precision, scale
    std::vector<std::uint8_t> value;      // length, sign, magnitude
  };
  std::vector<Column> columns;
  std::size_t at = 0;
  ASSERT_GT(reply.size(), 3u);
  ASSERT_EQ(reply[at++], 0x81);  // COLMETADATA
  const std::size_t count = reply.at(at) | reply.at(at + 1) << 8;
  at += 2;
  for (std::size_t c = 0; c < count; ++c) {
    at += 4 + 2;  // user type, flags
    columns.push_back({std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                                 reply.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                       {}});
    at += 4;
    at += 1 + 2 * static_cast<std::size_t>(reply.at(at));  // the name
  }
  ASSERT_EQ(reply.at(at++), 0xD1);  // ROW
  for (Column& c : columns) {
    const std::size_t length = reply.at(at);
    c.value.assign(reply.begin() + static_cast<std::ptrdiff_t>(at), reply.begin() + static_cast<std::ptrdiff_t>(at + 1 + length));
    at += 1 + length;
  }
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0].type_info, (std::vector<std::uint8_t>{0x6A, 5, 5, 2}));
  EXPECT_EQ(columns[0].value, (std::vector<std::uint8_t>{5, 0, 150, 0, 0, 0}));  // -150 hundredths
  EXPECT_EQ(columns[1].type_info, (std::vector<std::uint8_t>{0x6A, 17, 38, 9}));
  // 12345678901234567890123456789 billionths.
  EXPECT_EQ(columns[1].value, (std::vector<std::uint8_t>{17, 1, 0x15, 0x81, 0x39, 0x6E, 0xB1, 0xC9, 0xBE, 0x46, 0x32, 0x1B,
                                                         0xE4, 0x27, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(columns[2].type_info, (std::vector<std::uint8_t>{0x6A, 9, 10, 0}));
  EXPECT_EQ(columns[2].value, (std::vector<std::uint8_t>{9, 1, 7, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(columns[3].type_info, (std::vector<std::uint8_t>{0x6A, 13, 20, 1}));
  EXPECT_EQ(columns[3].value, (std::vector<std::uint8_t>{13, 1, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // db-lib reads them as decimals, every digit kept; NULL stays NULL.
  TdsClient client(Login());
  ASSERT_FALSE(client
                   .Execute("create table Exact (id int not null, big decimal(38,10) null, small numeric(3,1) null, "
                            "constraint PK_Exact primary key (id)) "
                            "insert into Exact values (1, 1234567890123456789012345678.1234567891, -99.9) "
                            "insert into Exact values (2, null, 0)")
                   .failed);
  TdsBatch b = client.Execute("select id, big, small, big * 2 from Exact order by id");
  ASSERT_FALSE(b.failed);
  ASSERT_EQ(b.results.size(), 1u);
  EXPECT_EQ(b.results[0].rows, (std::vector<std::vector<std::string>>{
                                   // decimal(38,10) * 2 (a constant: decimal(1,0)) is
                                   // decimal(38,8): rounded.
                                   {"1", "1234567890123456789012345678.1234567891", "-99.9",
                                    "2469135780246913578024691356.24691358"},
                                   {"2", "\\N", "0.0", "\\N"}}));

  // Parameters arrive exactly and are brought to their declared type (12.345
  // into decimal(10,2) is 12.35); an output parameter leaves as DECIMALN.
  auto t = TokensOf([&] {
    raw.Send(0x03, RpcMessage()
                       .Call(10)
                       .NVarChar("@stmt", "set @r = @a * 2")
                       .NVarChar("@params", "@a decimal(10,2), @r decimal(12,2) output")
                       .Decimal("@a", 10, 3, 12345)
                       .Decimal("@r", 12, 2, std::nullopt, true)
                       .bytes);
    return raw.Reply();
  }());
  // The SET's DONEINPROC, the return status, the output value, DONEPROC.
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[2].type, 0xAC);
  EXPECT_EQ(t[2].name, "@r");
  EXPECT_EQ(t[2].wire_type, 0x6A);
  EXPECT_EQ(t[2].precision, 12);
  EXPECT_EQ(t[2].scale, 2);
  EXPECT_EQ(t[2].value, 2470);

  // A bulk copy's decimals land exactly at their columns' scales.
  std::vector<testing_support::TdsMessage> failure;
  EXPECT_EQ(client.BulkCopy("Exact", {{"3", "0.1", "1.5"}, {"4", "-0.0000000001", std::nullopt},
                                      {"5", "99999999999999999999999999.9999999999", "-0.1"}},
                            false, &failure),
            3);
  EXPECT_EQ(Direct("select id, big, small from Exact where id > 2 order by id"),
            (std::vector<std::string>{"3\t0.1000000000\t1.5", "4\t-0.0000000001\t\\N",
                                      "5\t99999999999999999999999999.9999999999\t-0.1"}));
  b = client.Execute("select sum(big), count(*) from Exact");
  ASSERT_FALSE(b.failed);
  EXPECT_EQ(b.results[0].rows, (std::vector<std::vector<std::string>>{
                                   {"1334567890123456789012345678.2234567889", "5"}}));
}

TEST_F(TdsEndpoint, BinaryTravelsAsBigVarBinaryAndBigBinary) {
  // On the wire: BIGVARBINARY (0xA5) and BIGBINARY (0xAD) with their
  // largest length in two bytes; each value its length in two bytes, then
  // its bytes.
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  const std::vector<std::uint8_t> reply =
      raw.Batch("select cast(0xCAFE as varbinary(10)) as a, cast(0x01 as binary(3)) as b", true);
  std::size_t at = 0;
  ASSERT_EQ(reply.at(at++), 0x81);  // COLMETADATA
  ASSERT_EQ(reply.at(at), 2);
  at += 2;
  std::vector<std::vector<std::uint8_t>> type_info;
  for (int c = 0; c < 2; ++c) {
    at += 4 + 2;  // user type, flags
    type_info.emplace_back(reply.begin() + static_cast<std::ptrdiff_t>(at), reply.begin() + static_cast<std::ptrdiff_t>(at + 3));
    at += 3;
    at += 1 + 2 * static_cast<std::size_t>(reply.at(at));  // the name
  }
  EXPECT_EQ(type_info[0], (std::vector<std::uint8_t>{0xA5, 10, 0}));
  EXPECT_EQ(type_info[1], (std::vector<std::uint8_t>{0xAD, 3, 0}));
  ASSERT_EQ(reply.at(at++), 0xD1);  // ROW
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                      reply.begin() + static_cast<std::ptrdiff_t>(at + 9)),
            (std::vector<std::uint8_t>{2, 0, 0xCA, 0xFE, 3, 0, 0x01, 0x00, 0x00}));

  // db-lib reads 9000 bytes of varbinary(max) whole, in PLP chunks.
  TdsClient client(Login());
  const TdsBatch b = client.Execute(
      "select datalength(x), substring(x, 8999, 2) from (select 0x41 + cast(space(8999) as varbinary(max)) as x) as t");
  ASSERT_FALSE(b.failed);
  ASSERT_EQ(b.results.size(), 1u);
  EXPECT_EQ(b.results[0].rows, (std::vector<std::vector<std::string>>{{"9000", "0x2020"}}));
}

TEST_F(TdsEndpoint, UniqueidentifierTravelsAsGuidType) {
  // On the wire: GUIDTYPE (0x24) of length 16; each value its length, then
  // its bytes with the first three groups little-endian.
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  const std::vector<std::uint8_t> reply =
      raw.Batch("select cast('6f9619ff-8b86-d011-b42d-00c04fc964ff' as uniqueidentifier) as g", true);
  std::size_t at = 0;
  ASSERT_EQ(reply.at(at++), 0x81);  // COLMETADATA
  ASSERT_EQ(reply.at(at), 1);
  at += 2 + 4 + 2;  // count, user type, flags
  EXPECT_EQ(reply.at(at), 0x24);
  EXPECT_EQ(reply.at(at + 1), 16);
  at += 2;
  at += 1 + 2 * static_cast<std::size_t>(reply.at(at));  // the name
  ASSERT_EQ(reply.at(at++), 0xD1);  // ROW
  ASSERT_GE(reply.size(), at + 17);
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                      reply.begin() + static_cast<std::ptrdiff_t>(at + 17)),
            (std::vector<std::uint8_t>{16, 0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0, 0x4F,
                                       0xC9, 0x64, 0xFF}));

  // db-lib reads it as the GUID it is, and a bulk copy loads GUIDs given
  // as text.
  TdsClient client(Login());
  ASSERT_FALSE(client.Execute("create table Guids (id int not null, g uniqueidentifier null, "
                              "constraint PK_Guids primary key (id))").failed);
  std::vector<testing_support::TdsMessage> failure;
  EXPECT_EQ(client.BulkCopy("Guids", {{"1", "0e984725-c51c-4bf4-9960-e1c80e27aba0"}, {"2", std::nullopt}}, false,
                            &failure),
            2);
  const TdsBatch b = client.Execute("select id, g from Guids order by id");
  ASSERT_FALSE(b.failed);
  ASSERT_EQ(b.results.size(), 1u);
  EXPECT_EQ(b.results[0].rows, (std::vector<std::vector<std::string>>{
                                   {"1", "0E984725-C51C-4BF4-9960-E1C80E27ABA0"}, {"2", "\\N"}}));
}

TEST_F(TdsEndpoint, SqlVariantTravelsWithEachValuesBaseType) {
  // On the wire: SSVARIANTTYPE (0x62) of most 8016 bytes; each value its
  // 4-byte length, its base type, the count of its property bytes, the
  // properties, then the value as its base type keeps it.
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  const std::vector<std::uint8_t> reply = raw.Batch(
      "select cast(cast(1689 as int) as sql_variant) as i, cast(cast(-12.5 as decimal(4,2)) as sql_variant) as d, "
      "cast(N'ok' as sql_variant) as n, cast(null as sql_variant) as z",
      true);
  std::size_t at = 0;
  ASSERT_EQ(reply.at(at++), 0x81);  // COLMETADATA
  ASSERT_EQ(reply.at(at), 4);
  at += 2;
  for (int column = 0; column < 4; ++column) {
    at += 4 + 2;  // user type, flags
    EXPECT_EQ(reply.at(at), 0x62);
    EXPECT_EQ(reply.at(at + 1) | reply.at(at + 2) << 8 | reply.at(at + 3) << 16 | reply.at(at + 4) << 24, 8016);
    at += 5;
    at += 1 + 2 * static_cast<std::size_t>(reply.at(at));  // the name
  }
  ASSERT_EQ(reply.at(at++), 0xD2);  // NBCROW: the fourth value is NULL
  EXPECT_EQ(reply.at(at++), 0x08);
  const std::vector<std::uint8_t> expected{
      6, 0, 0, 0, 0x38, 0, 0x99, 0x06, 0, 0,                            // INT4 1689
      9, 0, 0, 0, 0x6A, 2, 4, 2, 0, 0xE2, 0x04, 0, 0,                   // DECIMALN(4,2) -12.50: sign 0, 1250
      13, 0, 0, 0, 0xE7, 7, 0x04, 0x08, 0xD0, 0, 0, 4, 0, 'o', 0, 'k', 0,  // NVARCHAR(2), collation, "ok"
      0xFD};                                                             // DONE
  ASSERT_GE(reply.size(), at + expected.size());
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                      reply.begin() + static_cast<std::ptrdiff_t>(at + expected.size())),
            expected);
  // Each value goes as the base type it was stored with, where its value
  // alone would say another: varchar and char of their declared lengths,
  // smallmoney, binary padded to its length, decimal of its precision, a
  // uniqueidentifier's 16 bytes.
  ASSERT_FALSE(raw.Batch("create table #kept (id int, v sql_variant)\n"
                         "insert #kept values (1, cast('ab' as varchar(6))), (2, cast('ab' as char(5))), "
                         "(3, cast(2.5 as smallmoney)), (4, cast(0x0102 as binary(4))), "
                         "(5, cast(1.5 as decimal(10,3))), (6, cast('6F9619FF-8B86-D011-B42D-00C04FC964FF' as "
                         "uniqueidentifier))",
                         true)
                   .empty());
  const std::vector<std::uint8_t> kept = raw.Batch("select v from #kept order by id", true);
  const std::vector<std::uint8_t> rows{
      0xD1, 11, 0, 0, 0, 0xA7, 7, 0x04, 0x08, 0xD0, 0, 0, 6, 0, 'a', 'b',                // varchar(6)
      0xD1, 14, 0, 0, 0, 0xAF, 7, 0x04, 0x08, 0xD0, 0, 0, 5, 0, 'a', 'b', ' ', ' ', ' ',  // char(5)
      0xD1, 6, 0, 0, 0, 0x7A, 0, 0xA8, 0x61, 0, 0,                                        // smallmoney 25000
      0xD1, 8, 0, 0, 0, 0xAD, 2, 4, 0, 1, 2, 0, 0,                                        // binary(4)
      0xD1, 13, 0, 0, 0, 0x6A, 2, 10, 3, 1, 0xDC, 0x05, 0, 0, 0, 0, 0, 0,                 // decimal(10,3) 1500
      0xD1, 18, 0, 0, 0, 0x24, 0, 0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0,         // uniqueidentifier
      0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF,
      0xFD};
  const auto first_row = std::find(kept.begin(), kept.end(), 0xD1);
  ASSERT_NE(first_row, kept.end());
  ASSERT_GE(static_cast<std::size_t>(kept.end() - first_row), rows.size());
  EXPECT_EQ(std::vector<std::uint8_t>(first_row, first_row + static_cast<std::ptrdiff_t>(rows.size())), rows);
}

TEST_F(TdsEndpoint, TimestampTravelsAsBinary8OfItsUserType) {
  // MS-TDS: a timestamp column is BIGBINARY(8) with the user type 0x0050.
  TdsClient client(Login());
  ASSERT_FALSE(client.Execute("create table Stamped (id int not null, ts timestamp, "
                              "constraint PK_Stamped primary key (id)) insert into Stamped (id) values (1)")
                   .failed);
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  const std::vector<std::uint8_t> reply = raw.Batch("select ts, datalength(ts) as n from Stamped", true);
  std::size_t at = 0;
  ASSERT_EQ(reply.at(at++), 0x81);  // COLMETADATA
  ASSERT_EQ(reply.at(at), 2);
  at += 2;
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                      reply.begin() + static_cast<std::ptrdiff_t>(at + 4)),
            (std::vector<std::uint8_t>{0x50, 0, 0, 0}));  // user type
  at += 4 + 2;                                            // and flags
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                      reply.begin() + static_cast<std::ptrdiff_t>(at + 3)),
            (std::vector<std::uint8_t>{0xAD, 8, 0}));
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

  const TdsBatch syntax = client.Execute("select 1 +");
  ASSERT_FALSE(syntax.messages.empty());
  EXPECT_EQ(syntax.messages[0].number, 102);
  // A batch's first word that is no statement names a procedure to run, as
  // on SQL Server.
  const TdsBatch misspelt = client.Execute("selec 1");
  ASSERT_FALSE(misspelt.messages.empty());
  EXPECT_EQ(misspelt.messages[0].number, 2812);

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

  // Without KEEP_NULLS, a NULL sent for a column with a default stores the
  // default, as SQL Server's bulk load does.
  std::vector<std::optional<std::string>> plain(29);
  plain[6] = "3";
  plain[8] = AsUtf16("P1");
  messages.clear();
  EXPECT_EQ(client.BulkCopy("Customer", {plain}, false, &messages), 1);
  EXPECT_EQ(Direct("select IsTrans, IsUsed, PriceID, RegionID from Customer where UnitID = 'P1'"),
            (std::vector<std::string>{"0\t1\t1\t3"}));
}

TEST_F(TdsEndpoint, TwoClientsAtOnceEachInItsOwnSession) {
  TdsClient a(Login()), b(Login("7.1"));
  // An idle connection stays open.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
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
  // Transaction manager requests: headers of 4 GiB, a request cut short, a
  // name longer than the packet, a save point without a name, an unknown
  // request.
  const std::vector<std::uint8_t> no_headers = {0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  auto tm = [&](std::vector<std::uint8_t> request) {
    std::vector<std::uint8_t> body = no_headers;
    body.insert(body.end(), request.begin(), request.end());
    return packet(0x0E, body);
  };
  attacks.push_back(logged_in_then(packet(0x0E, {0xFF, 0xFF, 0xFF, 0xFF, 5, 0})));
  attacks.push_back(logged_in_then(tm({5})));
  attacks.push_back(logged_in_then(tm({5, 0, 0, 0x7F, 'a', 0})));
  attacks.push_back(logged_in_then(tm({9, 0, 0})));
  attacks.push_back(logged_in_then(tm({0xFF, 0x7F})));
  // Remote procedure calls: a name longer than the message, an unknown
  // procedure number, a parameter of a type no client sends, a value's
  // length past the end, a PLP value claiming 4 GiB in a chunk, headers of
  // 4 GiB.
  auto rpc = [&](std::vector<std::uint8_t> call) { return packet(0x03, RpcMessage().Raw(std::move(call)).bytes); };
  attacks.push_back(logged_in_then(rpc({0x40, 0x00, 'a', 0})));
  attacks.push_back(logged_in_then(rpc({0xFF, 0xFF, 0x63, 0x00, 0, 0})));
  attacks.push_back(logged_in_then(rpc({0xFF, 0xFF, 10, 0, 0, 0, 0, 0, 0x99, 1, 2, 3})));
  attacks.push_back(logged_in_then(rpc({0xFF, 0xFF, 10, 0, 0, 0, 0, 0, 0xE7, 0x40, 0x1F, 4, 8, 0xD0, 0, 0, 0x00, 0x7F})));
  attacks.push_back(logged_in_then(rpc({0xFF, 0xFF, 10, 0, 0, 0, 0, 0, 0xE7, 0xFF, 0xFF, 4, 8, 0xD0, 0, 0,
                                        0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1})));
  attacks.push_back(logged_in_then(packet(0x03, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 10, 0})));
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

TEST_F(TdsEndpoint, ErrorsSayTheirLineAndProcedureAndOptionsTakeEffect) {
  TdsClient client(Login());
  const TdsBatch second = client.Execute("select 1\nselect * from Missing");
  ASSERT_FALSE(second.messages.empty());
  EXPECT_EQ(second.messages[0].number, 208);
  EXPECT_EQ(second.messages[0].line, 2);
  ASSERT_FALSE(client.Execute("create procedure Broken as\nselect 1\nselect * from Missing").failed);
  const TdsBatch in_procedure = client.Execute("exec Broken");
  ASSERT_FALSE(in_procedure.messages.empty());
  EXPECT_EQ(in_procedure.messages[0].line, 3);  // counted from the CREATE PROCEDURE line
  // PRINT arrives as an informational message.
  const TdsBatch printed = client.Execute("print N'对账完成'");
  EXPECT_FALSE(printed.failed);
  ASSERT_EQ(printed.messages.size(), 1u);
  EXPECT_EQ(printed.messages[0].text, "对账完成");
  EXPECT_EQ(printed.messages[0].severity, 0);
  // Results and counts keep the order of their statements.
  const TdsBatch mixed = client.Execute(
      "insert into Region (Class, RegName) values (N'华东', N'上海') select RegName from Region "
      "update Region set RegName = N'杭州'");
  ASSERT_FALSE(mixed.failed);
  EXPECT_EQ(mixed.counts, (std::vector<long long>{1, 1}));
  ASSERT_EQ(mixed.results.size(), 1u);
  // FMTONLY describes a table without its rows, as bcp clients ask it.
  const TdsBatch described = client.Execute("SET FMTONLY ON select * from Region SET FMTONLY OFF");
  ASSERT_EQ(described.results.size(), 1u);
  EXPECT_TRUE(described.results[0].rows.empty());
  EXPECT_EQ(described.results[0].columns.size(), 7u);
  EXPECT_EQ(client.Execute("select RegName from Region").results.at(0).rows.size(), 1u);
  // NOCOUNT hides the counts; the options clients send at login pass.
  EXPECT_TRUE(client.Execute("SET NOCOUNT ON update Region set RegName = N'苏州'").counts.empty());
  for (const char* option : {"SET TEXTSIZE 2147483647", "SET DATEFORMAT ymd", "SET LANGUAGE us_english",
                             "SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "SET ANSI_NULLS ON"}) {
    EXPECT_FALSE(client.Execute(option).failed) << option;
  }
}

// How a driver describes a destination table: FMTONLY metadata says which
// columns allow NULL and which is the identity column, as SQL Server's does.
TEST_F(TdsEndpoint, FmtOnlyMetadataSaysWhichColumnsAllowNullsAndWhichIsIdentity) {
  TdsClient client(Login());
  ASSERT_FALSE(client
                   .Execute("create table Probe (ProbeID int identity(1,1) not null, Code nvarchar(20) not null, "
                            "Price money null, constraint PK_Probe primary key (ProbeID))")
                   .failed);
  const std::string describe = "SET FMTONLY ON SELECT * FROM [Sales60].[dbo].[Probe] SET FMTONLY OFF";
  const TdsBatch described = client.Execute(describe);
  ASSERT_FALSE(described.failed);
  ASSERT_EQ(described.results.size(), 1u);
  EXPECT_TRUE(described.results[0].rows.empty());
  const auto& info = described.results[0].info;
  ASSERT_EQ(info.size(), 3u);
  EXPECT_FALSE(info[0].nullable);
  EXPECT_TRUE(info[0].identity);
  EXPECT_FALSE(info[1].nullable);
  EXPECT_FALSE(info[1].identity);
  EXPECT_TRUE(info[2].nullable);
  EXPECT_FALSE(info[2].identity);
  // On the wire: fIdentity alone for the identity column; usUpdateable
  // "unknown" for the others, with fNullable where NULL is allowed.
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  EXPECT_EQ(ColumnFlagsIn(raw.Batch(describe, true), 3), (std::vector<std::uint16_t>{0x0010, 0x0008, 0x0009}));

  // The queries a driver asks for a table's primary key and the code page
  // of varchar text.
  const TdsBatch key = client.Execute(
      "SELECT k.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS t JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE k "
      "ON k.CONSTRAINT_NAME = t.CONSTRAINT_NAME AND k.TABLE_NAME = t.TABLE_NAME WHERE t.TABLE_NAME = N'Goods' AND "
      "t.TABLE_SCHEMA = N'dbo' AND t.CONSTRAINT_TYPE = 'PRIMARY KEY' ORDER BY k.ORDINAL_POSITION");
  ASSERT_FALSE(key.failed);
  EXPECT_EQ(key.results.at(0).rows, (std::vector<std::vector<std::string>>{{"GoodsID"}}));  // PK_Goods
  const TdsBatch code_page = client.Execute(
      "SELECT COLLATIONPROPERTY(CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), 'Collation')), 'CodePage')");
  ASSERT_FALSE(code_page.failed);
  EXPECT_EQ(code_page.results.at(0).rows, (std::vector<std::vector<std::string>>{{"936"}}));
}

// A raw TDS conversation: login, a batch that would run for minutes, an
// attention. The server stops the batch and acknowledges at once.
TEST_F(TdsEndpoint, AnAttentionCancelsARunningBatch) {
  TdsClient setup(Login());
  ASSERT_FALSE(setup.Execute("create table Numbers (n int null) insert into Numbers values (1)").failed);
  for (int i = 0; i < 11; ++i) ASSERT_FALSE(setup.Execute("insert into Numbers select n from Numbers").failed);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(listener->port()));
  inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  auto send_message = [&](std::uint8_t type, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> p = {type, 1, 0, 0, 0, 0, 1, 0};
    p[2] = static_cast<std::uint8_t>((payload.size() + 8) >> 8);
    p[3] = static_cast<std::uint8_t>(payload.size() + 8);
    p.insert(p.end(), payload.begin(), payload.end());
    ASSERT_EQ(::send(fd, p.data(), p.size(), MSG_NOSIGNAL), static_cast<ssize_t>(p.size()));
  };
  // Reads replies until a DONE whose status has all of `bits`; false on
  // timeout. `all` keeps what was read.
  std::vector<std::uint8_t> all;
  auto read_until_done = [&](std::uint16_t bits) {
    all.clear();
    timeval tv{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::uint8_t buf[4096];
    for (;;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return false;
      all.insert(all.end(), buf, buf + n);
      // Within the packet payloads, a DONE token: 0xFD, status, command, count.
      for (std::size_t i = 8; i + 3 < all.size(); ++i) {
        if (all[i] == 0xFD && ((all[i + 1] | all[i + 2] << 8) & bits) == bits) return true;
      }
    }
  };
  send_message(0x10, sqlsrv::tds::BuildLogin7({sqlsrv::tds::kTds71, 4096, "host", "sa", EmbeddedShop::kPassword,
                                               "app", "srv", "lib", "", "Sales60"}));
  ASSERT_TRUE(read_until_done(0));  // the login's reply
  std::vector<std::uint8_t> batch;
  for (char c : std::string("select count(*) from Numbers a, Numbers b, Numbers c")) {
    batch.push_back(static_cast<std::uint8_t>(c));
    batch.push_back(0);
  }
  send_message(0x01, batch);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto started = std::chrono::steady_clock::now();
  send_message(0x06, {});
  EXPECT_TRUE(read_until_done(0x20));
  // As SQL Server answers: the cancelled batch's response ends (a message
  // with its DONE), then the acknowledgment comes in a message of its own,
  // its first token the DONE with DONE_ATTN.
  std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> packets;  // status, payload
  for (std::size_t at = 0; at + 8 <= all.size();) {
    const std::size_t length = (all[at + 2] << 8) | all[at + 3];
    ASSERT_GE(length, 8u);
    ASSERT_LE(at + length, all.size());
    packets.push_back({all[at + 1], {all.begin() + static_cast<long>(at + 8), all.begin() + static_cast<long>(at + length)}});
    at += length;
  }
  ASSERT_GE(packets.size(), 2u);
  const auto& ack = packets.back();
  EXPECT_EQ(ack.first & 1, 1);  // the end of its message
  ASSERT_GE(ack.second.size(), 3u);
  EXPECT_EQ(ack.second[0], 0xFD);
  EXPECT_EQ(ack.second[1] & 0x20, 0x20);
  const auto& ended = packets[packets.size() - 2];
  EXPECT_EQ(ended.first & 1, 1);  // the cancelled batch's message ended before it
  ASSERT_GE(ended.second.size(), 3u);
  EXPECT_EQ(ended.second[ended.second.size() - 9], 0xFD);  // its last token a DONE (9 bytes at TDS 7.1)

  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  // The connection goes on, and so does the server.
  send_message(0x01, {'s', 0, 'e', 0, 'l', 0, 'e', 0, 'c', 0, 't', 0, ' ', 0, '1', 0});
  EXPECT_TRUE(read_until_done(0x10));
  ::close(fd);
  EXPECT_FALSE(setup.Execute("select count(*) from Numbers").failed);
}

// A WAITFOR of a day ends at the client's attention, as a running query
// does.
TEST_F(TdsEndpoint, AnAttentionEndsAWaitfor) {
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  raw.SendBatch("waitfor delay '23:59:59' select 1", true);
  raw.Send(0x06, {});
  const auto cancelled = raw.Reply();  // the cancelled batch's own message
  ASSERT_GE(cancelled.size(), 13u);
  EXPECT_EQ(cancelled[cancelled.size() - 13], 0xFD);
  const auto ack = raw.Reply();
  ASSERT_GE(ack.size(), 3u);
  EXPECT_EQ(ack[0], 0xFD);
  EXPECT_EQ(ack[1] & 0x20, 0x20);
  EXPECT_FALSE(raw.Batch("select 1", true).empty());
}

// USE anywhere in a batch: the rest of the batch, and the batches after
// it, run in the database it names, and the client hears of the change in
// its place.
TEST_F(TdsEndpoint, AUseWithinABatchMovesTheConnection) {
  TdsClient client(Login());
  const TdsBatch moved = client.Execute("select db_name() use master select db_name()");
  ASSERT_FALSE(moved.failed);
  ASSERT_EQ(moved.results.size(), 2u);
  EXPECT_EQ(moved.results[0].rows, (std::vector<std::vector<std::string>>{{"Sales60"}}));
  EXPECT_EQ(moved.results[1].rows, (std::vector<std::vector<std::string>>{{"master"}}));
  ASSERT_EQ(moved.messages.size(), 1u);
  EXPECT_EQ(moved.messages[0].number, 5701);
  EXPECT_EQ(moved.messages[0].text, "Changed database context to 'master'.");
  EXPECT_EQ(client.Database(), "master");
  EXPECT_EQ(client.Execute("select db_name()").results.at(0).rows, (std::vector<std::vector<std::string>>{{"master"}}));
  // A batch that fails after its USE leaves the connection where USE took it.
  EXPECT_TRUE(client.Execute("use Sales60 select * from NoSuchTable").failed);
  EXPECT_EQ(client.Database(), "Sales60");
  EXPECT_FALSE(client.Execute("select count(*) from Depart").failed);
  const TdsBatch unknown = client.Execute("select 1 use Nowhere");
  EXPECT_TRUE(unknown.failed);
  ASSERT_FALSE(unknown.messages.empty());
  EXPECT_EQ(unknown.messages[0].number, 911);
  EXPECT_EQ(client.Database(), "Sales60");
  // On the wire: the ENVCHANGE comes before the batch's end.
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  const auto reply = raw.Batch("select 1 use master select 2", true);
  EXPECT_EQ(EnvChangeText(reply, 1), "master");
}

// PRINT and RAISERROR arrive as informational messages with their number,
// severity and state; an error RAISERROR raises outside TRY arrives as an
// error, and the batch goes on after it.
TEST_F(TdsEndpoint, RaiserrorSendsMessagesAndErrorsTheBatchGoesOnAfter) {
  TdsClient client(Login());
  const TdsBatch noted = client.Execute("select 1 print 'between' raiserror('note %d', 10, 3, 7) select 2");
  EXPECT_FALSE(noted.failed);
  EXPECT_EQ(noted.results.size(), 2u);
  ASSERT_EQ(noted.messages.size(), 2u);
  EXPECT_EQ(noted.messages[0].text, "between");
  EXPECT_EQ(noted.messages[1].number, 50000);
  EXPECT_EQ(noted.messages[1].severity, 10);
  EXPECT_EQ(noted.messages[1].state, 3);
  EXPECT_EQ(noted.messages[1].text, "note 7");
  ASSERT_FALSE(client.Execute("create table Marks (n int)").failed);
  const TdsBatch raised = client.Execute("raiserror('bad', 16, 2)\ninsert into Marks values (1)");
  EXPECT_TRUE(raised.failed);
  // Once, not again at the batch's end (db-lib adds a message of its own).
  ASSERT_FALSE(raised.messages.empty());
  EXPECT_EQ(std::count_if(raised.messages.begin(), raised.messages.end(),
                          [](const testing_support::TdsMessage& m) { return m.number == 50000; }),
            1);
  EXPECT_EQ(raised.messages[0].number, 50000);
  EXPECT_EQ(raised.messages[0].severity, 16);
  EXPECT_EQ(raised.messages[0].state, 2);
  EXPECT_EQ(raised.messages[0].line, 1);
  EXPECT_EQ(client.Execute("select count(*) from Marks").results.at(0).rows,
            (std::vector<std::vector<std::string>>{{"1"}}));
  // A procedure that raises and goes on still returns its status.
  ASSERT_FALSE(client.Execute("create procedure Warns as raiserror('careful', 16, 1) return 5").failed);
  const testing_support::TdsCall call = client.Call("Warns", {});
  EXPECT_TRUE(call.batch.failed);
  EXPECT_EQ(call.return_status, 5);
  ASSERT_FALSE(call.batch.messages.empty());
  EXPECT_EQ(call.batch.messages[0].text, "careful");
}

// A token's type, status and count (the count only where DONE_COUNT says
// it holds one), or an ERROR's number, as the tests below compare them.
struct Ended {
  std::uint8_t type;
  std::uint16_t status;
  std::int64_t count_or_number;
  bool operator==(const Ended&) const = default;
};

std::vector<Ended> EndsOf(const std::vector<ReplyToken>& tokens) {
  std::vector<Ended> out;
  for (const ReplyToken& t : tokens) {
    if (t.type == 0xAA || t.type == 0x79) {
      out.push_back({t.type, 0, t.number});
    } else if (t.type == 0xFD || t.type == 0xFE || t.type == 0xFF) {
      out.push_back({t.type, t.status, (t.status & 0x10) ? static_cast<std::int64_t>(t.count) : 0});
    }
  }
  return out;
}

TEST_F(TdsEndpoint, EveryStatementEndsInADoneOfItsOwnCountedAsNocountStandsAtIt) {
  TdsClient setup(Login());
  ASSERT_FALSE(setup.Execute("create table Ends (n tinyint)").failed);
  ASSERT_FALSE(setup.Execute("create procedure CountsEnds @c int output as select @c = count(*) from Ends").failed);
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  constexpr std::uint8_t kDone = 0xFD, kDoneProc = 0xFE, kDoneInProc = 0xFF, kError = 0xAA, kStatus = 0x79;
  // DECLARE has none; the INSERT that fails ends in DONE_ERROR after its
  // ERROR and the batch goes on; counts only while NOCOUNT is OFF; the
  // batch's last statement's DONE is the final one.
  EXPECT_EQ(EndsOf(TokensOf(raw.Batch("declare @v int\n"
                                      "insert into Ends values (1)\n"
                                      "set nocount on\n"
                                      "insert into Ends values (2)\n"
                                      "insert into Ends values (300)\n"
                                      "set nocount off\n"
                                      "update Ends set n = n\n"
                                      "select @v = 1",
                                      true))),
            (std::vector<Ended>{{kDone, 0x11, 1},
                                {kDone, 0x01, 0},
                                {kDone, 0x01, 0},
                                {kError, 0, 220},
                                {kDone, 0x03, 0},
                                {kDone, 0x01, 0},
                                {kDone, 0x11, 2},
                                {kDone, 0x00, 0}}));
  // A procedure whose only statement assigns a variable still ends it in
  // DONEINPROC, before the return status, the output value and DONEPROC.
  RpcMessage call;
  call.Call("CountsEnds").Int("@c", std::nullopt, true);
  raw.Send(0x03, call.bytes);
  const std::vector<ReplyToken> called = TokensOf(raw.Reply());
  EXPECT_EQ(EndsOf(called), (std::vector<Ended>{{kDoneInProc, 0x01, 0}, {kStatus, 0, 0}, {kDoneProc, 0x00, 0}}));
  ASSERT_EQ(called.size(), 4u);
  EXPECT_EQ(called[2].value, 2);
  // A procedure the batch runs by EXECUTE ends in its return status and
  // DONEPROC; inside a transaction each DONE says so.
  EXPECT_EQ(EndsOf(TokensOf(raw.Batch("declare @c int\n"
                                      "begin tran\n"
                                      "exec CountsEnds @c output\n"
                                      "rollback",
                                      true))),
            (std::vector<Ended>{{kDone, 0x05, 0},
                                {kDoneInProc, 0x05, 0},
                                {kStatus, 0, 0},
                                {kDoneProc, 0x05, 0},
                                {kDone, 0x00, 0}}));
}

TEST_F(TdsEndpoint, RemoteProcedureCallsBindTypedValuesAndAnswerWithReturnTokens) {
  TdsClient setup(Login());
  ASSERT_FALSE(setup.Execute("create table Called (n int)").failed);
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  auto send = [&](const RpcMessage& m) {
    raw.Send(0x03, m.bytes);
    return TokensOf(raw.Reply());
  };

  // sp_executesql with an input and an output parameter: its statement's
  // DONEINPROC, the return status, then the output's value under its
  // ordinal, then DONEPROC ends it.
  auto t = send(RpcMessage()
                    .Call(10)
                    .NVarChar("@stmt", "set @r = @a + 1")
                    .NVarChar("@params", "@a int, @r int output")
                    .Int("@a", 41)
                    .Int("@r", std::nullopt, true));
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].type, 0xFF);
  EXPECT_EQ(t[0].status, 0x01);
  EXPECT_EQ(t[1].type, 0x79);
  EXPECT_EQ(t[1].number, 0);
  EXPECT_EQ(t[2].type, 0xAC);
  EXPECT_EQ(t[2].ordinal, 3);
  EXPECT_EQ(t[2].name, "@r");
  EXPECT_EQ(t[2].value, 42);
  EXPECT_EQ(t[3].type, 0xFE);
  EXPECT_EQ(t[3].status, 0);

  // A statement prepared once and run twice; its rows count in DONEINPROC.
  t = send(RpcMessage()
               .Call(11)
               .Int("@handle", std::nullopt, true)
               .NVarChar("@params", "@a int")
               .NVarChar("@stmt", "insert into Called values (@a)"));
  ASSERT_EQ(t.size(), 3u);
  ASSERT_EQ(t[1].type, 0xAC);
  ASSERT_TRUE(t[1].value);
  const std::int32_t handle = static_cast<std::int32_t>(*t[1].value);
  // Two calls in one message: the first's DONEPROC says more follows.
  t = send(RpcMessage().Call(12).Int("", handle).Int("", 5).Call(12).Int("", handle).Int("", 6));
  std::vector<std::uint16_t> done_procs;
  int counted = 0;
  for (const auto& token : t) {
    if (token.type == 0xFE) done_procs.push_back(token.status);
    if (token.type == 0xFF && (token.status & 0x10)) counted += static_cast<int>(token.count);
  }
  EXPECT_EQ(done_procs, (std::vector<std::uint16_t>{0x01, 0x00}));
  EXPECT_EQ(counted, 2);
  EXPECT_EQ(Direct("select sum(n) from Called"), std::vector<std::string>{"11"});
  // Unprepared, the handle is gone.
  t = send(RpcMessage().Call(15).Int("", handle));
  EXPECT_EQ(t.back().status, 0);
  t = send(RpcMessage().Call(12).Int("", handle).Int("", 7));
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.front().type, 0xAA);
  EXPECT_EQ(t.front().number, 8179);
  EXPECT_EQ(t.back().type, 0xFE);
  EXPECT_EQ(t.back().status & 0x02, 0x02);
  // Changing rows through a server cursor is refused in words, and the
  // connection goes on.
  t = send(RpcMessage().Call(1).Int("@cursor", 1).Int("@optype", 1).Int("@rownum", 1).NVarChar("@table", ""));
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.front().type, 0xAA);
  EXPECT_EQ(t.back().status & 0x02, 0x02);
  EXPECT_FALSE(raw.Batch("select 1", true).empty());
}

// Every type a client may send as a parameter is read; one the server
// does not know, or does not take, is refused with an error that names it,
// and the connection goes on.
TEST_F(TdsEndpoint, RemoteProcedureCallsReadEveryParameterTypeOrRefuseItInWords) {
  TdsClient setup(Login());
  ASSERT_FALSE(setup.Execute("create procedure Three @a int, @b int = 7, @c nvarchar(10) = N'c' as "
                             "select @a as a, @b as b, @c as c return @b").failed);
  ASSERT_FALSE(setup.Execute("create procedure Measured @c nvarchar(40) as return len(@c)").failed);
  // A sql_variant's base type as SQL_VARIANT_PROPERTY reads it, kept in a
  // table and read back: where its name stands in the list below times
  // 10000, then its MaxLength times 100, then its Precision.
  ASSERT_FALSE(setup.Execute("create table KeptVariants (v sql_variant null)").failed);
  ASSERT_FALSE(setup.Execute(
      "create procedure VariantKind @v sql_variant as begin delete KeptVariants insert KeptVariants values (@v) "
      "declare @k sql_variant select @k = v from KeptVariants "
      "return charindex(' ' + cast(sql_variant_property(@k, 'BaseType') as varchar(20)) + ' ', "
      "' int varchar nvarchar char binary varbinary smallmoney money decimal numeric ') * 10000 "
      "+ cast(sql_variant_property(@k, 'MaxLength') as int) * 100 + cast(sql_variant_property(@k, 'Precision') as int) "
      "end").failed);
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  auto status_of = [&](const RpcMessage& m) -> std::optional<std::int32_t> {
    raw.Send(0x03, m.bytes);
    const auto reply = raw.Reply();
    // The return status follows the result set: the last 0x79 token before
    // DONEPROC (4 bytes of status, 13 of DONEPROC).
    if (reply.size() < 18 || reply[reply.size() - 18] != 0x79) return std::nullopt;
    const std::size_t at = reply.size() - 17;
    return static_cast<std::int32_t>(reply[at] | reply[at + 1] << 8 | reply[at + 2] << 16 | reply[at + 3] << 24);
  };
  // NULLTYPE for an argument left out: the parameter's default.
  EXPECT_EQ(status_of(RpcMessage().Call("Three").Int("", 1).Omitted("").NVarChar("", "x")), 7);
  EXPECT_EQ(status_of(RpcMessage().Call("Three").Int("", 1).Omitted("@b")), 7);
  // The legacy short types: INT4 (fixed), VARCHAR (1-byte length), and a
  // sql_variant holding an int (base type INT4, no properties).
  EXPECT_EQ(status_of(RpcMessage().Call("Three").Int("", 1).Typed("", {0x38, 9, 0, 0, 0})), 9);
  EXPECT_EQ(status_of(RpcMessage().Call("Three").Int("", 1).Typed("", {0x27, 10, 2, '1', '2'})), 12);
  EXPECT_EQ(status_of(RpcMessage().Call("Three").Int("", 1).Typed("", {0x62, 16, 0, 0, 0, 6, 0, 0, 0, 0x38, 0,
                                                                       13, 0, 0, 0})),
            13);

  auto first_error = [&](const RpcMessage& m) {
    raw.Send(0x03, m.bytes);
    const auto t = TokensOf(raw.Reply());
    EXPECT_FALSE(t.empty());
    if (t.empty()) return 0;
    EXPECT_EQ(t.back().type, 0xFE);
    EXPECT_EQ(t.back().status & 0x02, 0x02);
    return t.front().type == 0xAA ? t.front().number : 0;
  };
  // 0xE1, which ct-lib sends for long binary, is no TDS 7 type: 8009.
  EXPECT_EQ(first_error(RpcMessage().Call(10).NVarChar("", "select 1").Typed("@p", {0xE1, 4, 0, 0, 0})), 8009);
  // A CLR type and a table are known and refused.
  EXPECT_EQ(first_error(RpcMessage().Call("Three").Typed("@a", {0xF0, 0, 0, 0})), 40000);
  EXPECT_EQ(first_error(RpcMessage().Call("Three").Typed("@a", {0xF3, 0, 0, 0})), 40000);
  // A value longer than its message: 8016.
  EXPECT_EQ(first_error(RpcMessage().Call("Three").Typed("@a", {0x26, 4, 4, 1})), 8016);
  // Results without their metadata are refused in words.
  RpcMessage no_metadata = RpcMessage().Call("Three").Int("", 1);
  no_metadata.bytes[22 + 2 + 2 * 5] = 0x02;  // the call's options, after ALL_HEADERS and the name
  EXPECT_EQ(first_error(no_metadata), 40000);
  // sp_prepexecrpc is refused in words; a number that names no procedure
  // is not found.
  EXPECT_EQ(first_error(RpcMessage().Call(14).Int("@handle", std::nullopt, true)), 40000);
  EXPECT_EQ(first_error(RpcMessage().Call(99).Int("", 1)), 2812);
  // xml travels as its text (PLP, UTF-16), and a sql_variant holding an
  // nvarchar (collation and length as its properties).
  EXPECT_EQ(status_of(RpcMessage().Call("Measured").Typed(
                "", {0xF1, 0, 8, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, '<', 0, 'a', 0, '/', 0, '>', 0, 0, 0, 0, 0})),
            4);
  EXPECT_EQ(status_of(RpcMessage().Call("Measured").Typed(
                "", {0x62, 13, 0, 0, 0, 13, 0, 0, 0, 0xE7, 7, 0x04, 0x08, 0xD0, 0, 0, 20, 0, 'o', 0, 'k', 0})),
            2);
  // A sql_variant argument keeps the base type it was sent as, the type
  // its value alone would not say, when it is stored and read back.
  const auto kind = [](const char* name, int max_length, int precision) {
    const int at = static_cast<int>(std::string(" int varchar nvarchar char binary varbinary smallmoney money decimal "
                                                "numeric ").find(std::string(" ") + name + " ")) + 1;
    return at * 10000 + max_length * 100 + precision;
  };
  EXPECT_EQ(status_of(RpcMessage().Call("VariantKind").Typed(  // varchar(3) "ok"
                "", {0x62, 11, 0, 0, 0, 11, 0, 0, 0, 0xA7, 7, 0x04, 0x08, 0xD0, 0, 0, 3, 0, 'o', 'k'})),
            kind("varchar", 3, 0));
  EXPECT_EQ(status_of(RpcMessage().Call("VariantKind").Typed(  // char(4) "ok  "
                "", {0x62, 13, 0, 0, 0, 13, 0, 0, 0, 0xAF, 7, 0x04, 0x08, 0xD0, 0, 0, 4, 0, 'o', 'k', ' ', ' '})),
            kind("char", 4, 0));
  EXPECT_EQ(status_of(RpcMessage().Call("VariantKind").Typed(  // binary(2) 0x0102
                "", {0x62, 6, 0, 0, 0, 6, 0, 0, 0, 0xAD, 2, 2, 0, 1, 2})),
            kind("binary", 2, 0));
  EXPECT_EQ(status_of(RpcMessage().Call("VariantKind").Typed(  // smallmoney 2.5
                "", {0x62, 6, 0, 0, 0, 6, 0, 0, 0, 0x7A, 0, 0xA8, 0x61, 0, 0})),
            kind("smallmoney", 4, 10));
  EXPECT_EQ(status_of(RpcMessage().Call("VariantKind").Typed(  // numeric(12,3) 1.500
                "", {0x62, 13, 0, 0, 0, 13, 0, 0, 0, 0x6C, 2, 12, 3, 1, 0xDC, 0x05, 0, 0, 0, 0, 0, 0})),
            kind("numeric", 9, 12));
  // The same connection still answers.
  EXPECT_EQ(status_of(RpcMessage().Call("Three").Int("", 1).Int("", 5)), 5);
}

// SQL Server takes sp_executesql's statement and declarations by position,
// whatever the client calls them (tedious: @statement and @params).
TEST_F(TdsEndpoint, SpExecuteSqlTakesItsFirstTwoArgumentsByPosition) {
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  raw.Send(0x03, RpcMessage()
                     .Call(10)
                     .NVarChar("@statement", "set @r = @a * 3")
                     .NVarChar("@whatever", "@a int, @r int output")
                     .Int("@a", 14)
                     .Int("@r", std::nullopt, true)
                     .bytes);
  // The SET's DONEINPROC, RETURNSTATUS, @r's RETURNVALUE, DONEPROC.
  const auto t = TokensOf(raw.Reply());
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].type, 0xFF);
  EXPECT_EQ(t[2].type, 0xAC);
  EXPECT_EQ(t[2].value, 42);
  EXPECT_EQ(t[3].type, 0xFE);
  EXPECT_EQ(t[3].status, 0);
}

// Each connection has a session id of its own from 51 on: in every
// packet's header and as @@SPID says.
TEST_F(TdsEndpoint, EachConnectionHasItsOwnSessionIdInEveryPacket) {
  RawClient first(listener->port());
  first.Login(sqlsrv::tds::kTds74);
  const std::uint16_t first_at_login = first.spid;
  RawClient second(listener->port());
  second.Login(sqlsrv::tds::kTds74);
  EXPECT_GE(first_at_login, 51);
  EXPECT_GE(second.spid, 51);
  EXPECT_NE(first_at_login, second.spid);
  auto spid_selected = [](RawClient& c) {
    const auto reply = c.Batch("select @@spid", true);
    // COLMETADATA of one INTN column, then ROW: the value is the 4 bytes
    // before DONE (13 bytes).
    EXPECT_GE(reply.size(), 17u);
    const std::size_t at = reply.size() - 17;
    return static_cast<std::uint16_t>(reply[at] | reply[at + 1] << 8);
  };
  EXPECT_EQ(spid_selected(first), first_at_login);
  EXPECT_EQ(first.spid, first_at_login);
  EXPECT_EQ(spid_selected(second), second.spid);
}

// sp_prepare of a query answers with the result's COLMETADATA (no rows)
// before its handle; of any other statement, with none, and runs nothing.
TEST_F(TdsEndpoint, SpPrepareDescribesAQuerysColumns) {
  TdsClient setup(Login());
  ASSERT_FALSE(setup.Execute("create table Prepared (id int, label nvarchar(10))").failed);
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  raw.Send(0x03, RpcMessage()
                     .Call(11)
                     .Int("@handle", std::nullopt, true)
                     .NVarChar("@params", "@n int")
                     .NVarChar("@stmt", "select id, label from Prepared where id > @n")
                     .bytes);
  const auto query = raw.Reply();
  ASSERT_GE(query.size(), 3u);
  EXPECT_EQ(query[0], 0x81);  // COLMETADATA
  EXPECT_EQ(query[1] | query[2] << 8, 2);
  EXPECT_EQ(std::count(query.begin(), query.end(), std::uint8_t{0xD1}), 0);  // no ROW
  raw.Send(0x03, RpcMessage()
                     .Call(11)
                     .Int("@handle", std::nullopt, true)
                     .NVarChar("@params", "")
                     .NVarChar("@stmt", "insert into Prepared values (1, N'x')")
                     .bytes);
  const auto t = TokensOf(raw.Reply());  // no result set among them
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back().status, 0);
  EXPECT_EQ(Direct("select count(*) from Prepared"), std::vector<std::string>{"0"});
}

#else
// The endpoint runs on Windows too (the wizard's network tests use it
// there); these tests talk to it with POSIX sockets of their own.
TEST(TdsEndpoint, IsTestedOnLinuxOnly) { GTEST_SKIP() << "needs the tests' POSIX socket and process code (Linux only)"; }
#endif  // _WIN32

// The metadata the endpoint writes is checked where it is written: a
// column no client could read is refused before a byte of it is written.
TEST(ResultWriter, RefusesColumnsNoClientCanRead) {
  using sqlsrv::tds::WireColumn;
  auto writes = [](std::vector<WireColumn> columns) {
    sqlsrv::tds::ResultWriter writer(std::move(columns), sqlsrv::tds::kTds74);
    sqlsrv::tds::Writer w;
    try {
      writer.WriteColMetadata(w);
    } catch (const com::Error&) {
      EXPECT_EQ(w.size(), 0u);
      return false;
    }
    return w.size() > 0;
  };
  const WireColumn decimal{"d", sqlsrv::tds::kDecimalN, 17, 0, true, false, 38, 0};
  EXPECT_TRUE(writes({decimal}));
  WireColumn no_precision = decimal;
  no_precision.precision = 0;
  EXPECT_FALSE(writes({decimal, no_precision}));
  WireColumn too_precise = decimal;
  too_precise.precision = 39;
  EXPECT_FALSE(writes({too_precise}));
  WireColumn scale_above = decimal;
  scale_above.precision = 5, scale_above.size = 5, scale_above.scale = 6;
  EXPECT_FALSE(writes({scale_above}));
  WireColumn wrong_size = decimal;
  wrong_size.size = 5;  // precision 38 takes 17 bytes
  EXPECT_FALSE(writes({wrong_size}));
  EXPECT_FALSE(writes({{"i", sqlsrv::tds::kIntN, 3}}));
  EXPECT_TRUE(writes({{"v", sqlsrv::tds::kBigVarChar, 8000}}));
  EXPECT_FALSE(writes({{"v", sqlsrv::tds::kBigVarChar, 8001}}));
  EXPECT_FALSE(writes({{"v", sqlsrv::tds::kBigVarChar, 0}}));
  EXPECT_FALSE(writes({{"n", sqlsrv::tds::kNVarChar, 7}}));
  EXPECT_FALSE(writes({}));
  EXPECT_FALSE(writes({{"x", 0x99, 4}}));
}

// varchar(max), nvarchar(max) and varbinary(max) as MS-TDS lays them out:
// from 7.2 on BIGVARCHR, NVARCHAR and BIGVARBIN of length 0xFFFF with PLP
// values (an 8-byte length, 4-byte-length chunks, a 0 chunk to end;
// NULL 0xFFFFFFFFFFFFFFFF alone); at 7.1 TEXT, NTEXT and IMAGE.
TEST(ResultWriter, MaxTypesGoAsPlpFromTds72AndAsTextBefore) {
  using sqlsrv::ColumnType;
  using sqlsrv::SqlType;
  const std::vector<sqlsrv::OutputColumn> columns = {
      {"v", sqlsrv::VT::kString, ColumnType{SqlType::kVarChar, -1}},
      {"n", sqlsrv::VT::kString, ColumnType{SqlType::kNVarChar, -1}},
      {"b", sqlsrv::VT::kBinary, ColumnType{SqlType::kVarBinary, -1}}};
  using Bytes = std::vector<std::uint8_t>;
  auto layout = [&](std::uint32_t version, const ::dts::Row& row) {
    sqlsrv::tds::ResultWriter writer(sqlsrv::tds::WireColumnsOf(columns), version);
    sqlsrv::tds::Writer w;
    writer.WriteColMetadata(w);
    writer.WriteRow(w, row);
    return w.data();
  };
  const Bytes collation = {0x04, 0x08, 0xD0, 0x00, 0x00};
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const Bytes flags = {0x09, 0x00};  // nullable, updateable unknown
  const Bytes metadata74 =
      join({{0x81, 3, 0},
            {0, 0, 0, 0}, flags, {0xA7, 0xFF, 0xFF}, collation, {1, 'v', 0},
            {0, 0, 0, 0}, flags, {0xE7, 0xFF, 0xFF}, collation, {1, 'n', 0},
            {0, 0, 0, 0}, flags, {0xA5, 0xFF, 0xFF}, {1, 'b', 0}});
  // 'ab', N'ab' and 0x0102: each its known length, one chunk, the end.
  EXPECT_EQ(layout(sqlsrv::tds::kTds74, {com::Variant::Text("ab"), com::Variant::Text("ab"),
                                         com::Variant::Bytes(std::string("\x01\x02", 2))}),
            join({metadata74, {0xD1},
                  {2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0},
                  {4, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 'b', 0, 0, 0, 0, 0},
                  {2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 2, 0, 0, 0, 0}}));
  // Empty: length 0 and the terminator. NULL in an NBCROW's bitmap at 7.3+.
  EXPECT_EQ(layout(sqlsrv::tds::kTds74, {com::Variant::Text(""), com::Variant::Null(), com::Variant::Bytes("")}),
            join({metadata74, {0xD2, 0x02},
                  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));
  // At 7.2 (no NBCROW) a NULL is the PLP null length.
  const Bytes at72 = layout(sqlsrv::tds::kTds72, {com::Variant::Null(), com::Variant::Null(), com::Variant::Null()});
  const Bytes null_plp = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Bytes(at72.end() - 25, at72.end()), join({{0xD1}, null_plp, null_plp, null_plp}));
  // A value longer than a chunk comes in more than one.
  const Bytes long_value = layout(sqlsrv::tds::kTds74, {com::Variant::Text(std::string(9000, 'x')),
                                                        com::Variant::Null(), com::Variant::Null()});
  std::size_t at = metadata74.size() + 2;  // NBCROW, bitmap
  ASSERT_GE(long_value.size(), at + 8);
  std::uint64_t total = 0;
  for (int i = 0; i < 8; ++i) total |= static_cast<std::uint64_t>(long_value[at + i]) << (8 * i);
  EXPECT_EQ(total, 9000u);
  at += 8;
  std::size_t chunks = 0, read = 0;
  for (;;) {
    ASSERT_GE(long_value.size(), at + 4);
    const std::size_t n = long_value[at] | long_value[at + 1] << 8 | long_value[at + 2] << 16 |
                          static_cast<std::size_t>(long_value[at + 3]) << 24;
    at += 4 + n;
    if (n == 0) break;
    ++chunks, read += n;
  }
  EXPECT_EQ(read, 9000u);
  EXPECT_GT(chunks, 1u);
  EXPECT_EQ(at, long_value.size());

  // At 7.1: TEXT (0x23), NTEXT (0x63) and IMAGE (0x22) with their 4-byte
  // lengths and no table name; each value behind a text pointer.
  const Bytes metadata71 =
      join({{0x81, 3, 0},
            {0, 0}, flags, {0x23, 0xFF, 0xFF, 0xFF, 0x7F}, collation, {0, 0}, {1, 'v', 0},
            {0, 0}, flags, {0x63, 0xFE, 0xFF, 0xFF, 0x7F}, collation, {0, 0}, {1, 'n', 0},
            {0, 0}, flags, {0x22, 0xFF, 0xFF, 0xFF, 0x7F}, {0, 0}, {1, 'b', 0}});
  Bytes pointer(1, 16);
  pointer.insert(pointer.end(), 24, 0xFF);  // text pointer, timestamp
  EXPECT_EQ(layout(sqlsrv::tds::kTds71, {com::Variant::Text("ab"), com::Variant::Null(), com::Variant::Bytes("")}),
            join({metadata71, {0xD1}, pointer, {2, 0, 0, 0, 'a', 'b'}, {0}, pointer, {0, 0, 0, 0}}));

  // An output parameter of varchar(max) leaves whole from 7.2 on, in PLP;
  // before, as the longest varchar.
  auto returned = [](std::uint32_t version) {
    sqlsrv::tds::Writer w;
    sqlsrv::tds::WriteReturnValue(w, 0, "@p", ColumnType{SqlType::kVarChar, -1},
                                  com::Variant::Text(std::string(9000, 'x')), version);
    return w.data();
  };
  // RETURNVALUE, ordinal, "@p", status, user type, flags, then TYPE_INFO.
  const Bytes head74 = join({{0xAC, 0, 0, 2, '@', 0, 'p', 0, 0x01, 0, 0, 0, 0}, flags, {0xA7, 0xFF, 0xFF}, collation,
                             {0x28, 0x23, 0, 0, 0, 0, 0, 0}});  // 9000 bytes in all
  const Bytes r74 = returned(sqlsrv::tds::kTds74);
  ASSERT_GE(r74.size(), head74.size());
  EXPECT_EQ(Bytes(r74.begin(), r74.begin() + static_cast<std::ptrdiff_t>(head74.size())), head74);
  EXPECT_EQ(Bytes(r74.end() - 4, r74.end()), (Bytes{0, 0, 0, 0}));  // the terminator
  const Bytes head71 = join({{0xAC, 0, 0, 2, '@', 0, 'p', 0, 0x01, 0, 0}, flags, {0xA7, 0x40, 0x1F}, collation,
                             {0x40, 0x1F}});  // varchar(8000), 8000 bytes
  const Bytes r71 = returned(sqlsrv::tds::kTds71);
  ASSERT_EQ(r71.size(), head71.size() + 8000);
  EXPECT_EQ(Bytes(r71.begin(), r71.begin() + static_cast<std::ptrdiff_t>(head71.size())), head71);
}

#ifndef _WIN32
TEST_F(TdsEndpoint, TransactionManagerRequestsBeginSaveGoBackToASavepointAndCommit) {
  TdsClient setup(Login());
  ASSERT_FALSE(setup.Execute("create table Saved (n int)").failed);
  RawClient raw(listener->port());
  raw.Login(sqlsrv::tds::kTds74);
  // A request: ALL_HEADERS, its number, then what it takes.
  auto request = [&](std::uint16_t type, std::vector<std::uint8_t> rest) {
    std::vector<std::uint8_t> body = {22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    body.push_back(static_cast<std::uint8_t>(type));
    body.push_back(static_cast<std::uint8_t>(type >> 8));
    body.insert(body.end(), rest.begin(), rest.end());
    raw.Send(0x0E, body);
    return TokensOf(raw.Reply());
  };
  auto failed = [](const std::vector<ReplyToken>& t) { return t.empty() || (t.back().status & 0x02) != 0; };
  const std::vector<std::uint8_t> name_sp = {2, 's', 0, 'p', 0};
  EXPECT_FALSE(failed(request(5, {0x00, 0})));                   // begin, no name
  EXPECT_FALSE(raw.Batch("insert into Saved values (1)", true).empty());
  EXPECT_FALSE(failed(request(9, name_sp)));                      // save "sp"
  EXPECT_FALSE(raw.Batch("insert into Saved values (2)", true).empty());
  std::vector<std::uint8_t> back = name_sp;
  back.push_back(0);
  EXPECT_FALSE(failed(request(8, back)));                         // roll back to "sp"
  EXPECT_FALSE(failed(request(7, {0, 0})));                       // commit
  EXPECT_EQ(Direct("select n from Saved"), std::vector<std::string>{"1"});
  // A save point outside a transaction is SQL Server's error 628.
  const auto refused = request(9, name_sp);
  ASSERT_FALSE(refused.empty());
  EXPECT_EQ(refused.front().number, 628);
}

TEST_F(TdsEndpoint, ProceduresCalledByNameTakeArgumentsAndGiveOutputsAndTheirStatus) {
  using testing_support::TdsParam;
  TdsClient client(Login());
  ASSERT_FALSE(client.Execute("create procedure Scaled @a int, @label varchar(20) = '默认', @twice int output as "
                              "set @twice = @a * 2 select @label as label return @a + 1")
                   .failed);
  auto call = client.Call("Scaled", {{"@a", TdsParam::kInt, "20"}, {"@twice", TdsParam::kInt, std::nullopt, true}});
  EXPECT_FALSE(call.batch.failed);
  EXPECT_EQ(call.return_status, 21);
  ASSERT_EQ(call.outputs.size(), 1u);
  EXPECT_EQ(call.outputs[0], (std::pair<std::string, std::string>{"@twice", "40"}));
  ASSERT_EQ(call.batch.results.size(), 1u);
  EXPECT_EQ(call.batch.results[0].rows, (std::vector<std::vector<std::string>>{{"默认"}}));
  // By position, with the default overridden in CJK text.
  call = client.Call("dbo.Scaled", {{"", TdsParam::kInt, "3"}, {"", TdsParam::kText, "标签"},
                                    {"", TdsParam::kInt, std::nullopt, true}});
  EXPECT_EQ(call.return_status, 4);
  ASSERT_EQ(call.outputs.size(), 1u);
  EXPECT_EQ(call.outputs[0].second, "6");
  ASSERT_EQ(call.batch.results.size(), 1u);
  EXPECT_EQ(call.batch.results[0].rows[0][0], "标签");
  // SQL Server's errors for calls it cannot make; each leaves the
  // connection usable.
  auto first_error = [](const testing_support::TdsCall& c) {
    for (const auto& m : c.batch.messages) {
      if (m.severity > 10) return m.number;
    }
    return 0;
  };
  EXPECT_EQ(first_error(client.Call("Scaled", {{"@twice", TdsParam::kInt, std::nullopt, true}})), 201);
  EXPECT_EQ(first_error(client.Call("Scaled", {{"@nope", TdsParam::kInt, "1"}})), 8145);
  EXPECT_EQ(first_error(client.Call("NoSuchProcedure", {})), 2812);
  EXPECT_FALSE(client.Execute("select 1").failed);
}

// `korvel serve` as an operator runs it, with the programs of FreeTDS as the
// clients.
class ServeCommand : public ::testing::Test {
 protected:
  ServeCommand()
      : server({testing_support::BinDir() + "/korvel", "serve", "--server", shop.server, "--listen", "127.0.0.1:0"}) {
    const std::string line = server.ReadLine();
    const auto colon = line.find("127.0.0.1:");
    if (colon == std::string::npos) throw std::runtime_error("korvel serve did not start: " + line);
    port = std::stoi(line.substr(colon + 10));
  }

  std::string Tsql(const std::string& script) {
    const auto r = testing_support::RunCommand(
        "TDSVER=7.4 tsql -H 127.0.0.1 -p " + std::to_string(port) + " -U sa -P " + EmbeddedShop::kPassword +
            " -D Sales60",
        script + "\ngo\nexit\n");
    return r.out + r.err;  // tsql writes the server's errors to standard error
  }

  EmbeddedShop shop;
  testing_support::BackgroundProcess server;
  int port = 0;
};

TEST_F(ServeCommand, TsqlAndFreebcpWorkWithIt) {
  // freebcp in character mode, identity values kept, Chinese in the file.
  testing_support::WriteFile(shop.dir.File("regions.txt"),
                             "41\tPC\tsa\t2007-01-01 00:00:00\t华北\tR041\t北京\n"
                             "42\tPC\tsa\t2007-01-01 00:00:00\t华东\tR042\t上海\n");
  const auto bcp = testing_support::RunCommand("freebcp Region in " + testing_support::ShellQuote(shop.dir.File("regions.txt")) +
                                               " -S 127.0.0.1:" + std::to_string(port) + " -U sa -P " +
                                               EmbeddedShop::kPassword + " -D Sales60 -c -E");
  EXPECT_NE(bcp.out.find("2 rows copied."), std::string::npos) << bcp.out << bcp.err;
  const std::string out = Tsql("select RegionID, Class, RegName from Region order by RegionID");
  EXPECT_NE(out.find("41\t华北\t北京"), std::string::npos) << out;
  EXPECT_NE(out.find("42\t华东\t上海"), std::string::npos) << out;
  EXPECT_NE(out.find("(2 rows affected)"), std::string::npos) << out;
  const std::string bad = Tsql("select * from NoSuchTable");
  EXPECT_NE(bad.find("Msg 208"), std::string::npos) << bad;

  // A file whose rows break the key: the server's error is printed and the
  // table keeps none of them. (freebcp then prints the count of rows it
  // sent, whatever the server answered: the server's reply carries the
  // error flag and no count.)
  testing_support::WriteFile(shop.dir.File("twice.txt"),
                             "43\tPC\tsa\t2007-01-01 00:00:00\t华南\tR043\t广州\n"
                             "43\tPC\tsa\t2007-01-01 00:00:00\t华南\tR043\t深圳\n");
  const auto refused = testing_support::RunCommand(
      "freebcp Region in " + testing_support::ShellQuote(shop.dir.File("twice.txt")) + " -S 127.0.0.1:" +
      std::to_string(port) + " -U sa -P " + EmbeddedShop::kPassword + " -D Sales60 -c -E");
  EXPECT_NE((refused.out + refused.err).find("Msg 2627"), std::string::npos) << refused.out << refused.err;
  EXPECT_NE(Tsql("select count(*) from Region").find("\n2\n"), std::string::npos);

  // Binary columns: freebcp reads hexadecimal from the file and sends the
  // bytes.
  ASSERT_EQ(Tsql("create table Pictures (id int not null primary key, fixed binary(3) null, pic varbinary(max) null)")
                .find("Msg"),
            std::string::npos);
  testing_support::WriteFile(shop.dir.File("pictures.txt"), "1\t0102\t89504E470D0A\n2\t\t\n");
  const auto pictures = testing_support::RunCommand(
      "freebcp Pictures in " + testing_support::ShellQuote(shop.dir.File("pictures.txt")) + " -S 127.0.0.1:" +
      std::to_string(port) + " -U sa -P " + EmbeddedShop::kPassword + " -D Sales60 -c");
  EXPECT_NE(pictures.out.find("2 rows copied."), std::string::npos) << pictures.out << pictures.err;
  const std::string loaded = Tsql("select id, convert(varchar(20), fixed, 2), convert(varchar(20), pic, 1) from Pictures order by id");
  EXPECT_NE(loaded.find("1\t010200\t0x89504E470D0A"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("2\tNULL\tNULL"), std::string::npos) << loaded;

  // sp_help of a table with identity: tsql reads every result set, the
  // identity's seed and increment (numeric(38,0)) among them, and the
  // connection answers the batch after it.
  const std::string help = Tsql("exec sp_help 'Region'\ngo\nselect 'after' + 'wards'");
  EXPECT_NE(help.find("Identity\tSeed\tIncrement\tNot For Replication"), std::string::npos) << help;
  EXPECT_NE(help.find("RegionID\t1\t1\t0"), std::string::npos) << help;
  EXPECT_NE(help.find("afterwards"), std::string::npos) << help;
}

TEST_F(ServeCommand, StoppingRollsBackOpenTransactionsAndLeavesASoundFile) {
  TdsLogin login;
  login.port = port;
  login.password = EmbeddedShop::kPassword;
  login.database = EmbeddedShop::kDatabase;
  TdsClient committed(login), open(login);
  ASSERT_FALSE(committed.Execute("insert into Region (Class, RegName) values (N'华北', N'北京')").failed);
  ASSERT_FALSE(open.Execute("begin tran insert into Region (Class, RegName) values (N'华东', N'上海')").failed);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_EQ(shop.Query("select RegName from Region"), (std::vector<std::string>{"北京"}));
  // SQLite's own check of the database file.
  EXPECT_EQ(shop.IntegrityCheck(), "ok");
}

#else
TEST(ServeCommand, IsLinuxOnly) { GTEST_SKIP() << "needs korvel serve and FreeTDS's tsql and freebcp (Linux only)"; }
#endif  // _WIN32

}  // namespace
