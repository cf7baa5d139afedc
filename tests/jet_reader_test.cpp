// Reading Access files (their agreement with mdb-export is in
// jet_agreement_test.cpp): opening errors; the queries the system sends; the package driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/dts/driver.h"
#include "platform/dts/oledb.h"
#include "platform/jet/header.h"
#include "platform/jet/query.h"
#include "platform/jet/reader.h"
#include "platform/jet/text.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RunCommand;
using testing_support::ShellQuote;

std::string JetFile(const std::string& name) { return testing_support::JetTestDataDir() + "/" + name; }

std::int32_t OpenError(const std::string& path, const std::string& password = "") {
  try {
    jet::Database db(path, {.password = password});
    return 0;
  } catch (const com::Error& e) {
    return e.number();
  }
}

std::vector<std::string> QueryLines(jet::Database& db, const std::string& sql) {
  return testing_support::TsvLines(*db.Query(sql));
}

TEST(JetReader, MapsColumnTypesToOleDbIndicators) {
  jet::Database db(JetFile("V2003_test.mdb"));
  const auto cols = db.TableColumns("table1");  // any case
  ASSERT_EQ(cols.size(), 9u);
  const std::uint16_t expected[] = {dts::DBTYPE_WSTR, dts::DBTYPE_WSTR, dts::DBTYPE_UI1,
                                    dts::DBTYPE_I2,   dts::DBTYPE_I4,   dts::DBTYPE_R8,
                                    dts::DBTYPE_DATE, dts::DBTYPE_CY,   dts::DBTYPE_BOOL};
  for (std::size_t i = 0; i < cols.size(); ++i) EXPECT_EQ(cols[i].type, expected[i]) << cols[i].name;
  EXPECT_EQ(cols[0].size, 50u);
  EXPECT_EQ(cols[1].size, 100u);
  EXPECT_FALSE(cols[8].nullable);

  auto reader = db.Query("select `H`,`G`,`I` from `Table1`");
  dts::Row row;
  ASSERT_TRUE(reader->Next(row));
  EXPECT_EQ(row[0].type(), com::VarType::kCurrency);
  EXPECT_EQ(row[0].integer(), 35000);  // 3.5 exactly
  EXPECT_EQ(row[1].type(), com::VarType::kDate);
  EXPECT_EQ(row[2].type(), com::VarType::kBool);
  EXPECT_EQ(jet::Database(JetFile("V2003_numeric.mdb")).TableColumns("test")[1].type, dts::DBTYPE_NUMERIC);
}

TEST(JetReader, ReadsJet3AndJet4Alike) {
  jet::Database j3(JetFile("V1997_test.mdb")), j4(JetFile("V2000_test.mdb"));
  EXPECT_EQ(j3.version(), jet::Version::kJet3);
  EXPECT_EQ(j4.version(), jet::Version::kJet4);
  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(sorted(QueryLines(j3, "select * from Table1")), sorted(QueryLines(j4, "select * from Table1")));
}

TEST(JetReader, EachOpeningFailureHasItsOwnError) {
  testing_support::TempDir dir;
  EXPECT_EQ(OpenError(dir.File("missing.mdb")), jet::kErrFileNotFound);
  EXPECT_EQ(OpenError(dir.File("no/such/dir.mdb")), jet::kErrFileNotFound);
  testing_support::WriteFile(dir.File("text.mdb"), std::string(8192, 'x'));
  EXPECT_EQ(OpenError(dir.File("text.mdb")), jet::kErrNotJetDatabase);
  testing_support::WriteFile(dir.File("empty.mdb"), "");
  EXPECT_EQ(OpenError(dir.File("empty.mdb")), jet::kErrNotJetDatabase);
  std::string page = testing_support::ReadFile(JetFile("V2003_test.mdb")).substr(0, 4096);
  testing_support::WriteFile(dir.File("truncated.mdb"), page.substr(0, 3000));
  EXPECT_EQ(OpenError(dir.File("truncated.mdb")), jet::kErrNotJetDatabase);
  std::string ace = page;
  ace.replace(4, 15, "Standard ACE DB");
  testing_support::WriteFile(dir.File("ace.accdb"), ace);
  EXPECT_EQ(OpenError(dir.File("ace.accdb")), jet::kErrNotJetDatabase);
  EXPECT_EQ(OpenError(dir.path()), jet::kErrCannotOpen);  // a folder
}

TEST(JetReader, ChecksTheDatabasePassword) {
  for (const char* f : {"password_V2000_with-password.mdb", "password_V2003_with-password.mdb"}) {
    EXPECT_EQ(OpenError(JetFile(f)), jet::kErrBadPassword) << f;
    EXPECT_EQ(OpenError(JetFile(f), "Password"), jet::kErrBadPassword) << f;  // case matters
    EXPECT_EQ(OpenError(JetFile(f), "password "), jet::kErrBadPassword) << f;
    EXPECT_EQ(OpenError(JetFile(f), "password"), 0) << f;
  }
  // A file without a password opens whatever password is given, as Jet does.
  EXPECT_EQ(OpenError(JetFile("password_V2000_no-password.mdb"), "anything"), 0);
  EXPECT_EQ(OpenError(JetFile("password_V1997_no-password.mdb"), "anything"), 0);
  const jet::HeaderInfo h = jet::ReadHeader(JetFile("password_V2003_with-password.mdb"));
  EXPECT_TRUE(h.has_password);
  EXPECT_FALSE(jet::ReadHeader(JetFile("V2003_test.mdb")).has_password);
}

TEST(JetReader, NeverChangesTheFile) {
  const std::string path = JetFile("password_V2000_with-password.mdb");
  const std::string before = testing_support::ReadFile(path);
  const auto mtime = fs::last_write_time(path);
  {
    jet::Database db(path, {.password = "password"});
    QueryLines(db, "select * from Table1");
    EXPECT_EQ(OpenError(path, "wrong"), jet::kErrBadPassword);
  }
  EXPECT_EQ(testing_support::ReadFile(path), before);
  EXPECT_EQ(fs::last_write_time(path), mtime);
}

TEST(JetReader, RunsTheStatementsTheSystemSends) {
  jet::Database db(JetFile("password_V2000_no-password.mdb"));
  EXPECT_EQ(QueryLines(db, "select `Data`,`ID` from `Table1`").front(), "One\t1");
  EXPECT_EQ(QueryLines(db, "Select * From Table1 Where Data = 'Two'"), (std::vector<std::string>{"2\tTwo"}));
  EXPECT_EQ(QueryLines(db, "SELECT * FROM [Table1] WHERE [ID] = 3;").size(), 1u);
  EXPECT_TRUE(QueryLines(db, "Select * From Table1 Where Data = 'It''s'").empty());
  // Two readers at once keep their own positions.
  auto a = db.Query("select * from Table1"), b = db.Query("select * from Table1");
  dts::Row ra, rb;
  ASSERT_TRUE(a->Next(ra));
  ASSERT_TRUE(a->Next(ra));
  ASSERT_TRUE(b->Next(rb));
  EXPECT_EQ(rb[0].integer(), 1);
  EXPECT_EQ(ra[0].integer(), 2);
}

// The row count a table's definition records is what a scan of it
// returns, in files Access wrote and in ours; a filtered query cannot tell.
TEST(JetReader, ExpectsTheRowsATableRecords) {
  jet::Database access(JetFile("password_V2000_no-password.mdb"));
  EXPECT_EQ(access.Query("select * from Table1")->ExpectedRows(),
            static_cast<std::int64_t>(QueryLines(access, "select * from Table1").size()));
  EXPECT_EQ(access.Query("Select * From Table1 Where Data = 'Two'")->ExpectedRows(), -1);
  testing_support::EmbeddedShop shop;
  jet::Database ours(shop.source);
  for (const char* table : {"Goods", "bBalance", "Depart"}) {
    const std::string sql = std::string("select * from `") + table + "`";
    EXPECT_EQ(ours.Query(sql)->ExpectedRows(), static_cast<std::int64_t>(QueryLines(ours, sql).size())) << table;
  }
}

TEST(JetReader, RefusesWhatItDoesNotSupportByName) {
  jet::Database db(JetFile("password_V2000_no-password.mdb"));
  auto message = [&](const std::string& sql) {
    try {
      db.Query(sql);
      return std::string("(accepted)");
    } catch (const com::Error& e) {
      return e.description();
    }
  };
  EXPECT_NE(message("delete from Table1").find("SELECT"), std::string::npos);
  EXPECT_NE(message("select * from Table1 order by ID").find("ORDER"), std::string::npos);
  EXPECT_NE(message("select * from Table1; drop table Table1").find("多余"), std::string::npos);
  EXPECT_NE(message("select * from Table1 where Data = 'x").find("引号"), std::string::npos);
  EXPECT_NE(message("select * from NoSuchTable").find("NoSuchTable"), std::string::npos);
  EXPECT_NE(message("select `Nope` from Table1").find("Nope"), std::string::npos);
}

TEST(JetQuery, ParsesNamesAndLiterals) {
  const jet::SelectQuery q = jet::ParseSelect(
      "Select `A b`,[C],D From `T` Where ModelCNName = '5.6''s 默认方案'");
  EXPECT_EQ(q.columns, (std::vector<std::string>{"A b", "C", "D"}));
  EXPECT_EQ(q.table, "T");
  EXPECT_EQ(*q.where_column, "ModelCNName");
  EXPECT_EQ(q.where_value.value, "5.6's 默认方案");
  EXPECT_TRUE(jet::ParseSelect("select * from T").all_columns);
  EXPECT_FALSE(jet::ParseSelect("select * from T where n = -12.5").where_value.is_text);
  for (const char* bad : {"", "select", "select from T", "select * T", "select *, A from T",
                          "select * from T where", "select * from T where a < 1", "select * from ``"}) {
    EXPECT_THROW(jet::ParseSelect(bad), com::Error) << bad;
  }
}

TEST(JetText, DecodesCompressedAndPlainUnicode) {
  std::string out;
  const unsigned char compressed[] = {0xFF, 0xFE, 'a', 'b', 0x00, 0x2D, 0x4E, 0x87, 0x65, 0x00, 'c'};
  jet::DecodeJet4Text(compressed, sizeof compressed, &out);
  EXPECT_EQ(out, "ab中文c");
  const unsigned char plain[] = {0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE};  // 中 and U+1F600
  jet::DecodeJet4Text(plain, sizeof plain, &out);
  EXPECT_EQ(out, "中\xF0\x9F\x98\x80");
  const unsigned char lone[] = {0x3D, 0xD8, 'x', 0x00};
  jet::DecodeJet4Text(lone, sizeof lone, &out);
  EXPECT_EQ(out, "\xEF\xBF\xBDx");
  EXPECT_TRUE(jet::IsValidUtf8("中文"));
  EXPECT_FALSE(jet::IsValidUtf8("\xC0\x80"));   // overlong
  EXPECT_FALSE(jet::IsValidUtf8("\xED\xA0\x80"));  // a surrogate
  EXPECT_FALSE(jet::IsValidUtf8("\xE4\xB8"));   // cut short
}

TEST(JetText, ConvertsTheGbkCodePage) {
  jet::CodePage cp("CP936");
  std::string gbk, back;
  ASSERT_EQ(cp.FromUtf8Lossy("北京市朝阳区", &gbk), 0u);
  EXPECT_EQ(gbk.size(), 12u);
  cp.ToUtf8(reinterpret_cast<const unsigned char*>(gbk.data()), gbk.size(), &back);
  EXPECT_EQ(back, "北京市朝阳区");
  EXPECT_THROW(jet::CodePage("NO-SUCH-CODEPAGE"), com::Error);
}

TEST(JetDriver, ServesPackageConnectionsReadOnly) {
  dts::ConnectionSpec connection;
  connection.provider = "Microsoft.Jet.OLEDB.4.0";
  connection.properties = {{"Data Source", com::Variant::Text(JetFile("password_V2003_with-password.mdb"))},
                     {"Mode", com::Variant::I2(1)},
                     {"Jet OLEDB:Database Password", com::Variant::Text("password")}};
  auto driver = dts::FindDriver("Microsoft.Jet.OLEDB.4.0");
  auto session = driver->Open(connection);
  auto reader = session->Query("select `ID`,`Data` from `Table1`");
  dts::Row row;
  int n = 0;
  while (reader->Next(row)) ++n;
  EXPECT_EQ(n, 3);
  EXPECT_THROW(session->ExecuteBatch("delete from Table1", 0), com::Error);
  EXPECT_NO_THROW(session->BeginTransaction());
  connection.properties.back().second = com::Variant::Text("wrong");
  EXPECT_THROW(driver->Open(connection), com::Error);
}

}  // namespace
