// Server cursors and browse mode over TDS, byte by byte: sp_cursoropen and
// its kin called by number as ODBC and JDBC drivers call them, and FOR
// BROWSE queries, their answers read token by token. Expected values come from SQL Server's documentation of the
// cursor procedures and from the rows each test inserts.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/sqlserver/tds_endpoint/listener.h"
#include "platform/sqlserver/tds_endpoint/login.h"
#include "tests/support/raw_tds.h"
#include "tests/support/shop.h"

namespace {

#ifndef _WIN32
using testing_support::EmbeddedShop;

// The procedures' numbers in an RPC, and their arguments' values.
enum Procedure : std::uint16_t {
  kCursor = 1, kOpen = 2, kPrepare = 3, kExecute = 4, kPrepExec = 5, kUnprepare = 6, kFetch = 7, kOption = 8,
  kClose = 9,
};
constexpr std::int32_t kKeyset = 0x1, kDynamic = 0x2, kForwardOnly = 0x4, kStatic = 0x8, kFastForward = 0x10;
constexpr std::int32_t kParameterized = 0x1000;
constexpr std::int32_t kReadOnly = 0x1, kOptimistic = 0x4, kAllowDirect = 0x2000, kCheckAcceptedOpts = 0x8000,
                       kReadOnlyAcceptable = 0x10000;
constexpr std::int32_t kFirst = 0x1, kNext = 0x2, kPrev = 0x4, kLast = 0x8, kAbsolute = 0x10, kRelative = 0x20,
                       kRefresh = 0x80, kInfo = 0x100, kPrevNoAdjust = 0x200;
constexpr std::int32_t kMissing = 2;  // ROWSTAT of a row deleted since the open
constexpr std::uint16_t kNoMetadata = 0x02;           // RPC option fNoMetaData

// An argument: an int (NULL when empty) or an nvarchar, by value or OUTPUT.
struct Arg {
  std::optional<std::int32_t> number;
  std::optional<std::string> text;
  bool output = false;
};
Arg In(std::int32_t v) { return {v, std::nullopt, false}; }
Arg Out(std::optional<std::int32_t> v = std::nullopt) { return {v, std::nullopt, true}; }
Arg Text(const std::string& s) { return {std::nullopt, s, false}; }

// What one call answered.
struct Answer {
  struct Result {
    std::vector<std::string> columns;
    std::vector<std::uint16_t> flags;       // COLMETADATA's flags per column
    std::vector<std::uint8_t> column_info;  // COLINFO's status per column, when sent
    std::vector<std::uint8_t> column_tables;     // COLINFO's table per column (from 1; 0 for none)
    std::vector<std::string> column_real_names;  // COLINFO's name in its table, "" when not sent
    std::vector<std::string> tables;             // TABNAME's tables, their parts joined by '.'

    bool metadata_sent = true;              // false: COLMETADATA of no columns (0xFFFF)
    std::vector<std::vector<std::optional<std::string>>> rows;  // ints in decimal, text as it is
  };
  std::vector<Result> results;
  std::vector<std::int32_t> errors, infos;
  std::vector<std::string> error_texts;
  std::optional<std::int32_t> status;
  std::map<std::uint16_t, std::optional<std::int64_t>> outputs;  // by ordinal
  std::vector<std::uint8_t> done_tokens;

  // Output `ordinal`'s value; fails the test when it was not returned.
  std::int64_t Output(std::uint16_t ordinal) const {
    const auto found = outputs.find(ordinal);
    if (found == outputs.end() || !found->second) throw std::runtime_error("no output " + std::to_string(ordinal));
    return *found->second;
  }
  // The rows of the last result, each a column's values joined by ','.
  std::vector<std::string> Rows() const {
    std::vector<std::string> out;
    if (results.empty()) return out;
    for (const auto& row : results.back().rows) {
      std::string line;
      for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "," : "") + row[i].value_or("NULL");
      out.push_back(line);
    }
    return out;
  }
};

// A TDS 7.4 client that calls procedures by number and reads the replies
// of int and nvarchar columns.
class CursorClient {
 public:
  explicit CursorClient(int port) : connection_(port) {
    Send(0x10, sqlsrv::tds::BuildLogin7({0x74000004, 4096, "host", "sa", EmbeddedShop::kPassword, "app", "srv", "lib",
                                         "", EmbeddedShop::kDatabase}));
    Reply();
  }
  void Close() { connection_.Close(); }

  Answer Call(Procedure id, const std::vector<Arg>& args, std::uint16_t options = 0) {
    std::vector<std::uint8_t> p = {22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    auto u16 = [&](std::uint16_t v) {
      p.push_back(static_cast<std::uint8_t>(v));
      p.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    u16(0xFFFF);
    u16(id);
    u16(options);
    for (const Arg& a : args) {
      p.push_back(0);  // no name
      p.push_back(a.output ? 1 : 0);
      if (a.text) {
        p.insert(p.end(), {0xE7, 0x40, 0x1F, 0x04, 0x08, 0xD0, 0x00, 0x00});
        u16(static_cast<std::uint16_t>(a.text->size() * 2));
        for (char c : *a.text) u16(static_cast<std::uint8_t>(c));
        continue;
      }
      p.insert(p.end(), {0x26, 4});
      if (!a.number) {
        p.push_back(0);
        continue;
      }
      p.push_back(4);
      const auto v = static_cast<std::uint32_t>(*a.number);
      u16(static_cast<std::uint16_t>(v));
      u16(static_cast<std::uint16_t>(v >> 16));
    }
    Send(0x03, p);
    return Parse(Reply());
  }

  Answer Batch(const std::string& sql) {
    std::vector<std::uint8_t> p = {22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    for (char c : sql) {
      p.push_back(static_cast<std::uint8_t>(c));
      p.push_back(0);
    }
    Send(0x01, p);
    return Parse(Reply());
  }

 private:
  void Send(std::uint8_t type, const std::vector<std::uint8_t>& payload) {
    if (!connection_.Send(type, payload)) throw std::runtime_error("send failed");
  }
  std::vector<std::uint8_t> Reply() {
    std::vector<std::uint8_t> message = connection_.Reply();
    if (message.empty()) throw std::runtime_error("no reply");
    return message;
  }

  Answer Parse(const std::vector<std::uint8_t>& b) {
    Answer a;
    std::size_t at = 0;
    auto u8 = [&] { return b.at(at++); };
    auto u16 = [&] {
      const auto v = static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
      at += 2;
      return v;
    };
    auto u32 = [&] {
      const std::uint32_t lo = u16();
      return lo | static_cast<std::uint32_t>(u16()) << 16;
    };
    auto ucs2 = [&](std::size_t chars) {
      std::string s;
      for (std::size_t i = 0; i < chars; ++i) s.push_back(static_cast<char>(u16()));
      return s;
    };
    auto int_value = [&](std::size_t length) -> std::optional<std::int64_t> {
      if (length == 0) return std::nullopt;
      std::uint64_t v = 0;
      for (std::size_t i = 0; i < length; ++i) v |= static_cast<std::uint64_t>(u8()) << (8 * i);
      if (length == 4) return static_cast<std::int32_t>(v);
      return static_cast<std::int64_t>(v);
    };
    auto value = [&](const Column& c) -> std::optional<std::string> {
      if (c.type == 0x26) {
        const auto v = int_value(u8());
        return v ? std::optional<std::string>(std::to_string(*v)) : std::nullopt;
      }
      const std::uint16_t bytes = u16();
      if (bytes == 0xFFFF) return std::nullopt;
      if (c.type == 0xAD) {  // BIGBINARY: "0x" and its bytes in hexadecimal
        std::string hex = "0x";
        static const char kDigits[] = "0123456789ABCDEF";
        for (std::uint16_t i = 0; i < bytes; ++i) {
          const std::uint8_t byte = u8();
          hex += kDigits[byte >> 4];
          hex += kDigits[byte & 0xF];
        }
        return hex;
      }
      return ucs2(bytes / 2);
    };
    while (at < b.size()) {
      const std::uint8_t token = u8();
      switch (token) {
        case 0x81: {  // COLMETADATA
          const std::uint16_t count = u16();
          Answer::Result r;
          if (count == 0xFFFF) {
            r.metadata_sent = false;
            r.columns = columns_names_;
          } else {
            columns_.clear();
            columns_names_.clear();
            for (std::uint16_t i = 0; i < count; ++i) {
              u32();  // user type
              r.flags.push_back(u16());
              Column c;
              c.type = u8();
              if (c.type == 0x26) {
                u8();
              } else if (c.type == 0xE7) {
                u16();
                at += 5;
              } else if (c.type == 0xAD) {
                u16();
              } else {
                throw std::runtime_error("column type " + std::to_string(c.type));
              }
              columns_.push_back(c);
              columns_names_.push_back(ucs2(u8()));
            }
            r.columns = columns_names_;
          }
          a.results.push_back(r);
          break;
        }
        case 0xA4: {  // TABNAME: each table as its name's parts
          const std::size_t end = u16() + at;
          while (at < end) {
            std::string name;
            for (std::uint8_t parts = u8(); parts > 0; --parts) name += (name.empty() ? "" : ".") + ucs2(u16());
            a.results.back().tables.push_back(name);
          }
          break;
        }
        case 0xA5: {  // COLINFO: column, table, status [, name in its table]
          const std::size_t end = u16() + at;
          Answer::Result& r = a.results.back();
          while (at < end) {
            u8();
            r.column_tables.push_back(u8());
            const std::uint8_t status = u8();
            r.column_info.push_back(status);
            r.column_real_names.push_back(status & 0x20 ? ucs2(u8()) : "");
          }
          break;
        }
        case 0xD1:
        case 0xD2: {  // ROW, NBCROW
          std::vector<bool> nulls(columns_.size(), false);
          if (token == 0xD2) {
            std::vector<std::uint8_t> bitmap((columns_.size() + 7) / 8);
            for (auto& byte : bitmap) byte = u8();
            for (std::size_t i = 0; i < columns_.size(); ++i) nulls[i] = (bitmap[i / 8] >> (i % 8)) & 1;
          }
          std::vector<std::optional<std::string>> row;
          for (std::size_t i = 0; i < columns_.size(); ++i) {
            row.push_back(nulls[i] ? std::nullopt : value(columns_[i]));
          }
          a.results.back().rows.push_back(row);
          break;
        }
        case 0xAA:
        case 0xAB: {  // ERROR, INFO
          const std::size_t end = u16() + at;
          const auto number = static_cast<std::int32_t>(u32());
          u8();
          u8();
          const std::string text = ucs2(u16());
          (token == 0xAA ? a.errors : a.infos).push_back(number);
          if (token == 0xAA) a.error_texts.push_back(text);
          at = end;
          break;
        }
        case 0xE3:
          at += u16();
          break;
        case 0x79:
          a.status = static_cast<std::int32_t>(u32());
          break;
        case 0xAC: {  // RETURNVALUE of an int
          const std::uint16_t ordinal = u16();
          ucs2(u8());
          u8();
          u32();
          u16();
          if (u8() != 0x26) throw std::runtime_error("return value not an int");
          u8();
          a.outputs[ordinal] = int_value(u8());
          break;
        }
        case 0xFD:
        case 0xFE:
        case 0xFF:
          a.done_tokens.push_back(token);
          u16();
          u16();
          u32();
          u32();
          break;
        default:
          throw std::runtime_error("unexpected token " + std::to_string(token));
      }
    }
    return a;
  }

  struct Column {
    std::uint8_t type = 0;
  };
  testing_support::RawTdsConnection connection_;
  std::vector<Column> columns_;  // of the last COLMETADATA: what a reply without metadata has
  std::vector<std::string> columns_names_;
};

// An embedded server serving Sales60 on a loopback port, with a table T of
// ids 1 to 6 (name "n" and the id) and a client connected.
class TdsCursors : public ::testing::Test {
 protected:
  TdsCursors() {
    sqlsrv::tds::EndpointConfig config;
    config.folder = shop.server_folder;
    config.server_name = "KORVEL";
    config.login_timeout_ms = 5000;
    listener = std::make_unique<sqlsrv::tds::Listener>(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 8);
    thread = std::thread([this] { listener->Run(); });
    client = std::make_unique<CursorClient>(listener->port());
    const Answer made = client->Batch(
        "create table T (id int primary key, name nvarchar(10) null, grade int not null)\n"
        "insert into T values (1, N'n1', 1)\ninsert into T values (2, N'n2', 2)\ninsert into T values (3, N'n3', 0)\n"
        "insert into T values (4, N'n4', 1)\ninsert into T values (5, N'n5', 2)\ninsert into T values (6, N'n6', 0)");
    EXPECT_TRUE(made.errors.empty());
  }
  ~TdsCursors() override {
    client.reset();
    listener->Stop();
    thread.join();
  }

  // Opens a cursor; its handle, or 0 when none was opened.
  std::int32_t Open(const std::string& sql, std::int32_t scrollopt, std::int32_t ccopt = kReadOnly,
                    Answer* answer = nullptr) {
    Answer a = client->Call(kOpen, {Out(), Text(sql), {scrollopt, std::nullopt, true}, {ccopt, std::nullopt, true},
                                    Out()});
    if (answer) *answer = a;
    return a.outputs.count(0) && a.outputs[0] ? static_cast<std::int32_t>(*a.outputs[0]) : 0;
  }
  Answer Fetch(std::int32_t handle, std::int32_t type, std::optional<std::int32_t> rownum, std::int32_t nrows) {
    return client->Call(kFetch, {In(handle), In(type), {rownum, std::nullopt, false}, In(nrows)}, kNoMetadata);
  }

  EmbeddedShop shop;
  std::unique_ptr<sqlsrv::tds::Listener> listener;
  std::thread thread;
  std::unique_ptr<CursorClient> client;
};

TEST_F(TdsCursors, OpenDescribesTheColumnsWithAHiddenRowStatusAndFetchesInBlocks) {
  Answer open;
  const std::int32_t h = Open("select id, name from T where id > 1 order by id", kStatic, kReadOnly, &open);
  ASSERT_NE(h, 0) << (open.error_texts.empty() ? "" : open.error_texts[0]);
  ASSERT_EQ(open.results.size(), 1u);
  EXPECT_EQ(open.results[0].columns, (std::vector<std::string>{"id", "name", "ROWSTAT"}));
  EXPECT_EQ(open.results[0].column_info, (std::vector<std::uint8_t>{0, 0, 0x10}));  // ROWSTAT hidden
  EXPECT_TRUE(open.results[0].rows.empty());  // sp_cursoropen sends no row
  EXPECT_EQ(open.status, 0);
  EXPECT_EQ(open.Output(2), kStatic);
  EXPECT_EQ(open.Output(3), kReadOnly);
  EXPECT_EQ(open.Output(4), 5);  // the rows of the result set
  EXPECT_EQ(open.done_tokens.back(), 0xFE);

  // With fNoMetaData the rows come under a COLMETADATA of no columns.
  Answer first = Fetch(h, kFirst, std::nullopt, 2);
  ASSERT_EQ(first.results.size(), 1u);
  EXPECT_FALSE(first.results[0].metadata_sent);
  EXPECT_EQ(first.Rows(), (std::vector<std::string>{"2,n2,1", "3,n3,1"}));
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 2).Rows(), (std::vector<std::string>{"4,n4,1", "5,n5,1"}));
  // Without it, the columns come again.
  Answer full = client->Call(kFetch, {In(h), In(kNext), Out(), In(2)});
  EXPECT_TRUE(full.results.at(0).metadata_sent);
  EXPECT_EQ(full.results[0].column_info, (std::vector<std::uint8_t>{0, 0, 0x10}));
  EXPECT_EQ(full.Rows(), (std::vector<std::string>{"6,n6,1"}));
  // Past the end: no rows, and the cursor stands after the last.
  EXPECT_TRUE(Fetch(h, kNext, std::nullopt, 2).Rows().empty());
  Answer info = client->Call(kFetch, {In(h), In(kInfo), Out(), Out()});
  EXPECT_EQ(info.Output(2), -1);
  EXPECT_EQ(info.Output(3), 5);
  EXPECT_EQ(client->Call(kClose, {In(h)}).status, 0);
}

TEST_F(TdsCursors, FetchTypesPositionTheBufferAsDocumented) {
  const std::int32_t h = Open("select id from T order by id", kStatic);
  ASSERT_NE(h, 0);
  auto info = [&] {
    Answer a = client->Call(kFetch, {In(h), In(kInfo), Out(), Out()});
    return std::pair<std::int64_t, std::int64_t>(a.Output(2), a.Output(3));
  };
  EXPECT_EQ(info(), (std::pair<std::int64_t, std::int64_t>(0, 6)));  // before the first row
  EXPECT_EQ(Fetch(h, kLast, std::nullopt, 2).Rows(), (std::vector<std::string>{"5,1", "6,1"}));
  EXPECT_EQ(info().first, 5);
  EXPECT_EQ(Fetch(h, kAbsolute, -1, 1).Rows(), (std::vector<std::string>{"6,1"}));
  EXPECT_EQ(Fetch(h, kAbsolute, 2, 2).Rows(), (std::vector<std::string>{"2,1", "3,1"}));
  EXPECT_EQ(Fetch(h, kRelative, 3, 1).Rows(), (std::vector<std::string>{"5,1"}));  // from the block's first row
  EXPECT_EQ(Fetch(h, kRelative, -2, 1).Rows(), (std::vector<std::string>{"3,1"}));
  EXPECT_EQ(Fetch(h, kRefresh, std::nullopt, 1).Rows(), (std::vector<std::string>{"3,1"}));
  // ABSOLUTE 0 and a negative row before the first: before the first row,
  // nothing fetched; RELATIVE counts from there.
  EXPECT_TRUE(Fetch(h, kAbsolute, 0, 1).Rows().empty());
  EXPECT_EQ(info().first, 0);
  EXPECT_EQ(Fetch(h, kRelative, 2, 1).Rows(), (std::vector<std::string>{"2,1"}));
  EXPECT_TRUE(Fetch(h, kAbsolute, -7, 1).Rows().empty());
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 1).Rows(), (std::vector<std::string>{"1,1"}));
  EXPECT_TRUE(Fetch(h, kAbsolute, 7, 1).Rows().empty());
  EXPECT_EQ(info().first, -1);  // after the last row
  EXPECT_EQ(Fetch(h, kPrev, std::nullopt, 1).Rows(), (std::vector<std::string>{"6,1"}));
  // PREV of 5 rows from row 4 would begin before the first row: it begins
  // at the first, return status 2; PREV_NOADJUST gives only rows 1 to 3.
  EXPECT_EQ(Fetch(h, kAbsolute, 4, 1).Rows(), (std::vector<std::string>{"4,1"}));
  Answer prev = Fetch(h, kPrev, std::nullopt, 5);
  EXPECT_EQ(prev.Rows(), (std::vector<std::string>{"1,1", "2,1", "3,1", "4,1", "5,1"}));
  EXPECT_EQ(prev.status, 2);
  EXPECT_EQ(Fetch(h, kAbsolute, 4, 1).Rows(), (std::vector<std::string>{"4,1"}));
  Answer no_adjust = Fetch(h, kPrevNoAdjust, std::nullopt, 5);
  EXPECT_EQ(no_adjust.Rows(), (std::vector<std::string>{"1,1", "2,1", "3,1"}));
  EXPECT_EQ(no_adjust.status, 0);
  EXPECT_TRUE(Fetch(h, kPrev, std::nullopt, 1).Rows().empty());  // from row 1: before the first
  // FIRST and LAST of 0 rows only position the cursor.
  EXPECT_TRUE(Fetch(h, kLast, std::nullopt, 0).Rows().empty());
  EXPECT_EQ(info().first, -1);
  EXPECT_TRUE(Fetch(h, kFirst, std::nullopt, 0).Rows().empty());
  EXPECT_EQ(info().first, 0);
  // NEXT of no rows is not a fetch.
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 0).errors, (std::vector<std::int32_t>{16902}));
  EXPECT_EQ(Fetch(h, 0x40, std::nullopt, 1).errors, (std::vector<std::int32_t>{16902}));
}

TEST_F(TdsCursors, AnUnknownOrClosedHandleIsNotACursor) {
  EXPECT_EQ(Fetch(123456, kNext, std::nullopt, 1).errors, (std::vector<std::int32_t>{16945}));
  const std::int32_t h = Open("select id from T", kStatic);
  ASSERT_NE(h, 0);
  EXPECT_EQ(client->Call(kClose, {In(h)}).errors, std::vector<std::int32_t>{});
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 1).errors, (std::vector<std::int32_t>{16945}));
  EXPECT_EQ(client->Call(kClose, {In(h)}).errors, (std::vector<std::int32_t>{16945}));
  EXPECT_EQ(client->Call(kOption, {In(h), In(2), Text("c")}).errors, (std::vector<std::int32_t>{16945}));
  // The connection goes on.
  EXPECT_NE(Open("select id from T", kStatic), 0);
}

TEST_F(TdsCursors, AKeysetReadsItsRowsAgainAndReportsARowDeletedAfterOpen) {
  Answer open;
  const std::int32_t h = Open("select name, grade, id from T t where t.grade > 0 order by id desc", kKeyset,
                              kReadOnly, &open);
  ASSERT_NE(h, 0) << (open.error_texts.empty() ? "" : open.error_texts[0]);
  EXPECT_EQ(open.Output(2), kKeyset);
  EXPECT_EQ(open.Output(4), 4);  // ids 5, 4, 2, 1
  EXPECT_EQ(open.results.at(0).columns, (std::vector<std::string>{"name", "grade", "id", "ROWSTAT"}));
  EXPECT_TRUE(client->Batch("update T set name = N'new', grade = 0 where id = 4\n"
                            "delete from T where id = 2\ninsert into T values (7, N'n7', 1)")
                  .errors.empty());
  // Row 4 no longer meets the WHERE but stays a member, with its new
  // values; row 2 is missing: NULL where the column takes it, 0 in the
  // NOT NULL ones, ROWSTAT 2; row 7 is not a member.
  EXPECT_EQ(Fetch(h, kFirst, std::nullopt, 10).Rows(),
            (std::vector<std::string>{"n5,2,5,1", "new,0,4,1", "NULL,0,0,2", "n1,1,1,1"}));
  EXPECT_EQ(Fetch(h, kAbsolute, 3, 1).Rows().at(0).back(), static_cast<char>('0' + kMissing));
  client->Call(kClose, {In(h)});

  // The table named with its owner, the key named through an alias or not.
  for (const char* sql : {"select name from dbo.T where id = 1", "select x.name from [dbo].[T] as x where x.id = 1",
                          "select * from Sales60.dbo.T where id = 1"}) {
    Answer named;
    const std::int32_t cursor = Open(sql, kKeyset, kReadOnly, &named);
    ASSERT_NE(cursor, 0) << sql << ": " << (named.error_texts.empty() ? "" : named.error_texts[0]);
    EXPECT_EQ(named.Output(2), kKeyset) << sql;
    EXPECT_EQ(Fetch(cursor, kNext, std::nullopt, 2).Rows().at(0).substr(0, 3), sql[7] == '*' ? "1,n" : "n1,") << sql;
  }

  // DYNAMIC is converted to KEYSET; a keyset over a query with no key to
  // keep (an aggregate, a table without a unique key) to STATIC.
  Answer dynamic;
  ASSERT_NE(Open("select id from T", kDynamic, kReadOnly, &dynamic), 0);
  EXPECT_EQ(dynamic.Output(2), kKeyset);
  EXPECT_TRUE(client->Batch("create table NoKey (i int)\ninsert into NoKey values (1)").errors.empty());
  for (const char* sql : {"select i from NoKey", "select grade, count(*) from T group by grade",
                          "select distinct grade from T", "select a.id from T a join T b on a.id = b.id"}) {
    Answer converted;
    ASSERT_NE(Open(sql, kKeyset, kReadOnly, &converted), 0) << sql;
    EXPECT_EQ(converted.Output(2), kStatic) << sql;
  }
}

TEST_F(TdsCursors, ForwardOnlyCursorsFetchOnlyForwards) {
  Answer open;
  const std::int32_t h = Open("select id, name from T order by id", kForwardOnly, kReadOnly, &open);
  ASSERT_NE(h, 0);
  EXPECT_EQ(open.Output(2), kForwardOnly);
  EXPECT_EQ(open.Output(4), -1);  // not known for a forward-only cursor
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 2).Rows(), (std::vector<std::string>{"1,n1,1", "2,n2,1"}));
  for (std::int32_t type : {kPrev, kLast, kAbsolute, kRelative}) {
    EXPECT_EQ(Fetch(h, type, 1, 1).errors, (std::vector<std::int32_t>{16911})) << type;
  }
  // Rows changed after the open show their changes as they are reached;
  // a row deleted is passed over.
  EXPECT_TRUE(client->Batch("update T set name = N'new' where id = 3\ndelete from T where id = 4").errors.empty());
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 2).Rows(), (std::vector<std::string>{"3,new,1", "5,n5,1"}));
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 5).Rows(), (std::vector<std::string>{"6,n6,1"}));
  EXPECT_TRUE(Fetch(h, kNext, std::nullopt, 5).Rows().empty());
  // FAST_FORWARD is read-only whatever concurrency was asked.
  Answer fast;
  ASSERT_NE(Open("select id from T", kFastForward, kOptimistic, &fast), 0);
  EXPECT_EQ(fast.Output(2), kFastForward);
  EXPECT_EQ(fast.Output(3), kReadOnly);
}

TEST_F(TdsCursors, OnlyReadOnlyConcurrencyIsOpenedAndPositionedUpdatesAreRefused) {
  Answer optimistic;
  EXPECT_EQ(Open("select id from T", kKeyset, kOptimistic, &optimistic), 0);
  ASSERT_EQ(optimistic.errors.size(), 1u);
  EXPECT_NE(optimistic.error_texts[0].find("READ_ONLY"), std::string::npos) << optimistic.error_texts[0];
  Answer accepted;
  ASSERT_NE(Open("select id from T", kKeyset, kOptimistic | kCheckAcceptedOpts | kReadOnlyAcceptable, &accepted), 0);
  EXPECT_EQ(accepted.Output(3), kReadOnly);
  Answer statics;
  ASSERT_NE(Open("select id from T", kStatic, kOptimistic, &statics), 0);  // STATIC: always READ_ONLY
  EXPECT_EQ(statics.Output(3), kReadOnly);
  const Answer update = client->Call(kCursor, {In(static_cast<std::int32_t>(accepted.Output(0))), In(33), In(1),
                                               Text("")});
  EXPECT_EQ(update.errors.size(), 1u);
  EXPECT_EQ(client->Batch("select count(*) from T").Rows(), (std::vector<std::string>{"6"}));
}

TEST_F(TdsCursors, TwoCursorsAtOnceKeepTheirOwnPositions) {
  const std::int32_t a = Open("select id from T order by id", kStatic);
  const std::int32_t b = Open("select id from T order by id desc", kKeyset);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(Fetch(a, kNext, std::nullopt, 1).Rows(), (std::vector<std::string>{"1,1"}));
  EXPECT_EQ(Fetch(b, kNext, std::nullopt, 1).Rows(), (std::vector<std::string>{"6,1"}));
  EXPECT_EQ(Fetch(a, kNext, std::nullopt, 1).Rows(), (std::vector<std::string>{"2,1"}));
  client->Call(kClose, {In(a)});
  EXPECT_EQ(Fetch(b, kNext, std::nullopt, 1).Rows(), (std::vector<std::string>{"5,1"}));
  // A cursor's name is its own on the connection.
  EXPECT_TRUE(client->Call(kOption, {In(b), In(2), Text("named")}).errors.empty());
  const std::int32_t c = Open("select id from T", kStatic);
  EXPECT_EQ(client->Call(kOption, {In(c), In(2), Text("NAMED")}).errors, (std::vector<std::int32_t>{16915}));
  EXPECT_EQ(client->Call(kOption, {In(b), In(4), Out()}).Output(2), kKeyset);
  EXPECT_EQ(client->Call(kOption, {In(b), In(6), Out()}).Output(2), 6);
  EXPECT_EQ(client->Call(kOption, {In(b), In(1), In(0)}).errors.size(), 1u);  // text pointers
}

TEST_F(TdsCursors, APreparedCursorOpensAgainWithNewValues) {
  const Answer prepared = client->Call(
      kPrepare, {Out(), Text("@min int"), Text("select id from T where id >= @min order by id"), In(1),
                 {kStatic, std::nullopt, true}, {kReadOnly, std::nullopt, true}});
  ASSERT_TRUE(prepared.errors.empty()) << prepared.error_texts[0];
  const auto handle = static_cast<std::int32_t>(prepared.Output(0));
  // RETURN_METADATA: the columns, no rows.
  ASSERT_EQ(prepared.results.size(), 1u);
  EXPECT_EQ(prepared.results[0].columns, (std::vector<std::string>{"id", "ROWSTAT"}));
  EXPECT_EQ(prepared.Output(4), kStatic);
  EXPECT_EQ(prepared.Output(5), kReadOnly);
  // The kind it will be opened as: a keyset asked over an aggregate is STATIC.
  const Answer converted = client->Call(
      kPrepare, {Out(), Text(""), Text("select grade, count(*) from T group by grade"), In(0),
                 {kKeyset, std::nullopt, true}, {kReadOnly, std::nullopt, true}});
  EXPECT_TRUE(converted.results.empty());
  EXPECT_EQ(converted.Output(4), kStatic);
  for (std::int32_t min : {5, 2}) {
    const Answer executed = client->Call(kExecute, {In(handle), Out(), {kStatic, std::nullopt, true},
                                                    {kReadOnly, std::nullopt, true}, Out(), In(min)});
    ASSERT_TRUE(executed.errors.empty()) << executed.error_texts[0];
    EXPECT_EQ(executed.Output(4), 7 - min);
    const auto cursor = static_cast<std::int32_t>(executed.Output(1));
    EXPECT_EQ(Fetch(cursor, kFirst, std::nullopt, 1).Rows(), (std::vector<std::string>{std::to_string(min) + ",1"}));
    client->Call(kClose, {In(cursor)});
  }
  EXPECT_TRUE(client->Call(kUnprepare, {In(handle)}).errors.empty());
  EXPECT_EQ(client->Call(kExecute, {In(handle), Out(), In(kStatic), In(kReadOnly), Out(), In(1)}).errors,
            (std::vector<std::int32_t>{8179}));
  // sp_cursorprepexec: both handles, the cursor open.
  const Answer both = client->Call(kPrepExec, {Out(), Out(), Text("@g int"), Text("select id from T where grade = @g"),
                                               In(0), {kKeyset, std::nullopt, true}, {kReadOnly, std::nullopt, true},
                                               Out(), In(2)});
  ASSERT_TRUE(both.errors.empty()) << both.error_texts[0];
  EXPECT_EQ(both.Output(5), kKeyset);
  EXPECT_EQ(both.Output(7), 2);
  EXPECT_EQ(Fetch(static_cast<std::int32_t>(both.Output(1)), kNext, std::nullopt, 5).Rows(),
            (std::vector<std::string>{"2,1", "5,1"}));
}

TEST_F(TdsCursors, AStatementThatFailsOrIsNoQueryGivesItsOwnAnswer) {
  Answer missing;
  EXPECT_EQ(Open("select id from NoSuchTable", kStatic, kReadOnly, &missing), 0);
  EXPECT_EQ(missing.errors, (std::vector<std::int32_t>{208}));
  Answer divided;
  EXPECT_EQ(Open("select 1 / (id - 3) from T", kStatic, kReadOnly, &divided), 0);
  EXPECT_EQ(divided.errors, (std::vector<std::int32_t>{8134}));
  // A query with COMPUTE: its compute rows have no place in a cursor.
  Answer computed;
  EXPECT_EQ(Open("select id from T order by id compute count(id)", kStatic, kReadOnly, &computed), 0);
  EXPECT_EQ(computed.errors, (std::vector<std::int32_t>{40000}));
  Answer parameterized = client->Call(kOpen, {Out(), Text("select id from T where id = @i"),
                                              {kStatic | kParameterized, std::nullopt, true},
                                              {kReadOnly, std::nullopt, true}, Out(), Text("@i int"), In(3)});
  ASSERT_TRUE(parameterized.errors.empty()) << parameterized.error_texts[0];
  EXPECT_EQ(parameterized.Output(4), 1);
  // Not a single query: refused, or with ALLOW_DIRECT run as it is.
  Answer refused;
  EXPECT_EQ(Open("insert into T values (8, N'n8', 1)", kStatic, kReadOnly, &refused), 0);
  EXPECT_EQ(refused.errors, (std::vector<std::int32_t>{16937}));
  Answer direct;
  EXPECT_EQ(Open("insert into T values (8, N'n8', 1)", kStatic, kReadOnly | kAllowDirect, &direct), 0);
  EXPECT_TRUE(direct.errors.empty());
  EXPECT_EQ(direct.infos, (std::vector<std::int32_t>{16954}));
  EXPECT_EQ(direct.Output(0), 0);
  EXPECT_EQ(client->Batch("select count(*) from T").Rows(), (std::vector<std::string>{"7"}));
}

TEST_F(TdsCursors, ArgumentsOutOfRangeAreRefusedAndTheConnectionGoesOn) {
  const std::int32_t h = Open("select id from T order by id", kStatic);
  ASSERT_NE(h, 0);
  EXPECT_EQ(client->Call(kOpen, {Out()}).errors, (std::vector<std::int32_t>{201}));  // no statement
  Answer bad_scroll;
  EXPECT_EQ(Open("select id from T", 0x40, kReadOnly, &bad_scroll), 0);
  EXPECT_EQ(bad_scroll.errors, (std::vector<std::int32_t>{16902}));
  Answer two_kinds;
  EXPECT_EQ(Open("select id from T", kStatic | kKeyset, kReadOnly, &two_kinds), 0);
  EXPECT_EQ(two_kinds.errors, (std::vector<std::int32_t>{16902}));
  Answer auto_fetch;
  EXPECT_EQ(Open("select id from T", kFastForward | 0x2000, kReadOnly, &auto_fetch), 0);
  EXPECT_EQ(auto_fetch.errors.size(), 1u);
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, -1).errors, (std::vector<std::int32_t>{16902}));
  EXPECT_EQ(Fetch(h, kAbsolute, std::nullopt, 1).errors, (std::vector<std::int32_t>{16902}));  // no row number
  EXPECT_TRUE(Fetch(h, kAbsolute, INT32_MIN, INT32_MAX).Rows().empty());
  EXPECT_EQ(Fetch(h, kRelative, INT32_MAX, INT32_MAX).Rows(), std::vector<std::string>{});
  EXPECT_EQ(Fetch(h, kAbsolute, 5, INT32_MAX).Rows(), (std::vector<std::string>{"5,1", "6,1"}));
  EXPECT_EQ(client->Call(kOption, {In(h), In(99), In(0)}).errors, (std::vector<std::int32_t>{16902}));
  EXPECT_EQ(client->Call(kFetch, {Text("x")}).errors, (std::vector<std::int32_t>{16902}));
  EXPECT_EQ(Fetch(h, kFirst, std::nullopt, 1).Rows(), (std::vector<std::string>{"1,1"}));
}

TEST_F(TdsCursors, ACursorLeftOpenGoesWithItsConnection) {
  const std::int32_t h = Open("select id from T order by id", kKeyset);
  ASSERT_NE(h, 0);
  EXPECT_EQ(Fetch(h, kNext, std::nullopt, 1).Rows(), (std::vector<std::string>{"1,1"}));
  client->Close();
  // Another connection has no such cursor, and the table is free to go.
  CursorClient other(listener->port());
  EXPECT_EQ(other.Call(kFetch, {In(h), In(kNext), Out(), In(1)}).errors, (std::vector<std::int32_t>{16945}));
  EXPECT_TRUE(other.Batch("drop table T").errors.empty());
}

// Browse mode (FOR BROWSE, SET NO_BROWSETABLE ON) as MS-TDS describes it:
// after COLMETADATA a TABNAME of the tables read and a COLINFO giving each
// column's table and status (0x04 an expression, 0x08 a key's column, 0x10
// hidden, 0x20 named otherwise, its name there following); the key and
// timestamp columns not asked for come last, hidden, and from TDS 7.2 on
// COLMETADATA flags them fHidden (0x2000) and fKey (0x4000).
using TdsBrowseMode = TdsCursors;
constexpr std::uint8_t kExpression = 0x04, kKey = 0x08, kHidden = 0x10, kOtherName = 0x20;
constexpr std::uint16_t kHiddenFlag = 0x2000, kKeyFlag = 0x4000;

TEST_F(TdsBrowseMode, TheTablesKeyComesHiddenAfterTheColumnsAskedFor) {
  const Answer a = client->Batch("select grade, name from T where id < 3 order by id for browse");
  ASSERT_TRUE(a.errors.empty()) << a.error_texts.at(0);
  ASSERT_EQ(a.results.size(), 1u);
  const Answer::Result& r = a.results[0];
  EXPECT_EQ(r.columns, (std::vector<std::string>{"grade", "name", "id"}));
  EXPECT_EQ(r.tables, (std::vector<std::string>{"dbo.T"}));
  EXPECT_EQ(r.column_tables, (std::vector<std::uint8_t>{1, 1, 1}));
  EXPECT_EQ(r.column_info, (std::vector<std::uint8_t>{0, 0, kKey | kHidden}));
  EXPECT_EQ(r.column_real_names, (std::vector<std::string>{"", "", ""}));
  ASSERT_EQ(r.flags.size(), 3u);
  EXPECT_EQ(r.flags[0] & (kHiddenFlag | kKeyFlag), 0);
  EXPECT_EQ(r.flags[2] & (kHiddenFlag | kKeyFlag), kHiddenFlag | kKeyFlag);
  EXPECT_EQ(a.Rows(), (std::vector<std::string>{"1,n1,1", "2,n2,2"}));
  // Without FOR BROWSE the result says nothing of its tables.
  const Answer plain = client->Batch("select grade, name from T where id < 3");
  ASSERT_EQ(plain.results.size(), 1u);
  EXPECT_EQ(plain.results[0].columns.size(), 2u);
  EXPECT_TRUE(plain.results[0].tables.empty());
  EXPECT_TRUE(plain.results[0].column_info.empty());
}

TEST_F(TdsBrowseMode, EachColumnSaysItsTableItsNameThereOrThatItIsComputed) {
  const Answer a = client->Batch("select name as label, grade + 1 as next_grade, id from T where id = 2 for browse");
  ASSERT_TRUE(a.errors.empty()) << a.error_texts.at(0);
  const Answer::Result& r = a.results.at(0);
  // The key asked for is marked, not added again.
  EXPECT_EQ(r.columns, (std::vector<std::string>{"label", "next_grade", "id"}));
  EXPECT_EQ(r.column_tables, (std::vector<std::uint8_t>{1, 0, 1}));
  EXPECT_EQ(r.column_info, (std::vector<std::uint8_t>{kOtherName, kExpression, kKey}));
  EXPECT_EQ(r.column_real_names, (std::vector<std::string>{"name", "", ""}));
  EXPECT_EQ(r.flags.at(2) & (kHiddenFlag | kKeyFlag), kKeyFlag);
  EXPECT_EQ(a.Rows(), (std::vector<std::string>{"n2,3,2"}));
  // A grouped result has no table rows for a key to name: nothing is added.
  const Answer grouped = client->Batch("select grade, count(*) as n from T group by grade order by grade for browse");
  ASSERT_TRUE(grouped.errors.empty()) << grouped.error_texts.at(0);
  EXPECT_EQ(grouped.results.at(0).columns, (std::vector<std::string>{"grade", "n"}));
  EXPECT_EQ(grouped.results.at(0).column_info, (std::vector<std::uint8_t>{0, kExpression}));
  EXPECT_EQ(grouped.Rows(), (std::vector<std::string>{"0,2", "1,2", "2,2"}));
}

TEST_F(TdsBrowseMode, AUniqueIndexAndTheTimestampServeWhenThereIsNoPrimaryKey) {
  const Answer made = client->Batch(
      "create table B (k int not null, v nvarchar(5) null, ts timestamp)\ncreate unique index ix_k on B (k)\n"
      "insert into B (k, v) values (7, N'x')\n"
      "create table #n (u int null unique, w int not null)\ninsert into #n values (1, 10)");
  ASSERT_TRUE(made.errors.empty()) << made.error_texts.at(0);
  const Answer a = client->Batch("select v from B for browse");
  ASSERT_TRUE(a.errors.empty()) << a.error_texts.at(0);
  const Answer::Result& r = a.results.at(0);
  EXPECT_EQ(r.columns, (std::vector<std::string>{"v", "k", "ts"}));
  EXPECT_EQ(r.column_info, (std::vector<std::uint8_t>{0, kKey | kHidden, kHidden}));
  EXPECT_EQ(a.Rows(), (std::vector<std::string>{"x,7,0x0000000000000001"}));
  // On the inner side of an outer join a key that takes NULL identifies no
  // row: the temporary table, named by its one part, has none.
  const Answer joined = client->Batch("select T.name, n.w from T left join #n as n on n.u = T.grade where T.id = 1 "
                                      "for browse");
  ASSERT_TRUE(joined.errors.empty()) << joined.error_texts.at(0);
  const Answer::Result& j = joined.results.at(0);
  EXPECT_EQ(j.tables, (std::vector<std::string>{"dbo.T", "#n"}));
  EXPECT_EQ(j.columns, (std::vector<std::string>{"name", "w", "id"}));
  EXPECT_EQ(j.column_tables, (std::vector<std::uint8_t>{1, 2, 1}));
  EXPECT_EQ(j.column_info, (std::vector<std::uint8_t>{0, 0, kKey | kHidden}));
  EXPECT_EQ(joined.Rows(), (std::vector<std::string>{"n1,10,1"}));
  // Joined the other way round, #n's unique column holds no NULL there.
  const Answer inner = client->Batch("select w from #n as n join T on T.grade = n.u for browse");
  EXPECT_EQ(inner.results.at(0).columns, (std::vector<std::string>{"w", "u", "id"}));
}

TEST_F(TdsBrowseMode, NoBrowsetableReadsEveryQueryThatCouldBeAndCursorsRefuseIt) {
  const Answer a = client->Batch("set no_browsetable on\nselect name from T where id = 4\n"
                                 "select name from T where id = 4 union select N'z'\nset no_browsetable off\n"
                                 "select name from T where id = 4");
  ASSERT_TRUE(a.errors.empty()) << a.error_texts.at(0);
  ASSERT_EQ(a.results.size(), 3u);
  EXPECT_EQ(a.results[0].columns, (std::vector<std::string>{"name", "id"}));
  EXPECT_EQ(a.results[0].column_info, (std::vector<std::uint8_t>{0, kKey | kHidden}));
  EXPECT_EQ(a.results[1].columns, (std::vector<std::string>{"name"}));  // a UNION is not browsed
  EXPECT_TRUE(a.results[1].column_info.empty());
  EXPECT_EQ(a.results[2].columns, (std::vector<std::string>{"name"}));
  Answer refused;
  EXPECT_EQ(Open("select name from T for browse", kStatic, kReadOnly, &refused), 0);
  EXPECT_EQ(refused.errors, (std::vector<std::int32_t>{40000}));
}

#else
TEST(TdsCursors, IsTestedOnLinuxOnly) { GTEST_SKIP() << "needs the tests' POSIX socket code (Linux only)"; }
#endif

}  // namespace
