// The sample shop and hand-made source files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "cli/sample.h"
#include "cli/source_schema.h"
#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/jet/reader.h"
#include "platform/jet/text.h"
#include "tests/support/files.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

std::vector<dts::Row> AllRows(jet::Database& db, const std::string& sql) {
  auto reader = db.Query(sql);
  std::vector<dts::Row> rows;
  dts::Row row;
  while (reader->Next(row)) rows.push_back(row);
  return rows;
}

std::string Korvel() { return ShellQuote(testing_support::BinDir() + "/korvel"); }

// True when two exports hold the same values: fields equal, or numbers that
// differ only in how many digits were printed (mdb-export prints doubles
// with 16 significant digits, korvel query the shortest exact form).
bool SameValues(const std::string& a, const std::string& b, std::string* first_difference) {
  auto split = [](const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
      if (c == sep) {
        out.push_back(cur);
        cur.clear();
      } else {
        cur.push_back(c);
      }
    }
    out.push_back(cur);
    return out;
  };
  const auto la = split(a, '\n'), lb = split(b, '\n');
  if (la.size() != lb.size()) {
    *first_difference = "line counts " + std::to_string(la.size()) + " and " + std::to_string(lb.size());
    return false;
  }
  for (std::size_t i = 0; i < la.size(); ++i) {
    const auto fa = split(la[i], '\t'), fb = split(lb[i], '\t');
    if (fa.size() != fb.size()) {
      *first_difference = "line " + std::to_string(i + 1) + " field counts";
      return false;
    }
    for (std::size_t j = 0; j < fa.size(); ++j) {
      if (fa[j] == fb[j]) continue;
      char* ea = nullptr;
      char* eb = nullptr;
      const double da = std::strtod(fa[j].c_str(), &ea), db = std::strtod(fb[j].c_str(), &eb);
      if (!fa[j].empty() && !*ea && !fb[j].empty() && !*eb && std::fabs(da - db) <= 1e-15 * std::fabs(da)) continue;
      *first_difference = "line " + std::to_string(i + 1) + ": " + fa[j] + " <> " + fb[j];
      return false;
    }
  }
  return true;
}

class SampleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    cli::WriteSample(dir_->File("shop.mdb"), {.scale = 1, .seed = 7});
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Path() { return dir_->File("shop.mdb"); }
  static TempDir* dir_;
};
TempDir* SampleTest::dir_ = nullptr;

TEST_F(SampleTest, HoldsTheTwelveTablesAndMdbExportAgreesWithQuery) {
  VK_SKIP_ON_WINDOWS("mdbtools' mdb-tables and mdb-export, and a shell pipeline");
  auto tables = RunCommand("mdb-tables -1 " + ShellQuote(Path()));
  ASSERT_EQ(tables.exit_code, 0) << tables.err;
  std::set<std::string> listed;
  std::istringstream in(tables.out);
  for (std::string t; std::getline(in, t);) listed.insert(t);
  const std::set<std::string> expected = {"Depart",   "Employee", "Member",      "Region", "Customer", "Supplier",
                                          "gdsClass", "Goods",    "gdsCom",      "GoodsIDList", "Base", "bBalance"};
  EXPECT_EQ(listed, expected);

  for (const std::string& t : expected) {
    // mdb-export prints a null as an empty field and does not escape.
    auto ours = RunCommand(Korvel() + " query --mdb " + ShellQuote(Path()) + " " + ShellQuote("select * from " + t) +
                           " | sed 's/\\\\N//g'");
    auto theirs = RunCommand("mdb-export -d '\\t' -q '' -T '%Y-%m-%d %H:%M:%S' " + ShellQuote(Path()) + " " + t);
    ASSERT_EQ(ours.exit_code, 0) << ours.err;
    ASSERT_EQ(theirs.exit_code, 0) << theirs.err;
    std::string difference;
    EXPECT_TRUE(SameValues(ours.out, theirs.out, &difference)) << t << ": " << difference;
    EXPECT_GT(std::count(ours.out.begin(), ours.out.end(), '\n'), 1) << t << " is empty";
  }
}

TEST_F(SampleTest, HoldsTheCasesAnUpgradeMustHandle) {
  jet::Database db(Path());
  bool retail = false, negative = false, fractional = false, unused_with_balance = false;
  for (const auto& r : AllRows(db, "select `UnitID`,`IsUsed`,`BalAmo` from `Customer`")) {
    retail |= r[0].text() == "0" && r[1].integer() && r[2].integer() != 0;
    negative |= r[2].integer() < 0;
    fractional |= r[2].integer() % 100 != 0;
    unused_with_balance |= !r[1].integer() && r[2].integer() != 0;
  }
  EXPECT_TRUE(retail && negative && fractional && unused_with_balance);

  bool long_name = false, not_usual = false;
  for (const auto& r : AllRows(db, "select `GdsName`,`IsUsual` from `Goods`")) {
    std::u16string units;
    long_name |= !r[0].IsNull() && jet::Utf8ToUtf16(r[0].text(), &units) && units.size() > 50;
    not_usual |= !r[1].integer();
  }
  EXPECT_TRUE(long_name);
  EXPECT_TRUE(not_usual);

  std::map<std::string, int> warehouses_of;
  bool zero_qty_with_amount = false;
  for (const auto& r : AllRows(db, "select `GoodsID`,`BalQua`,`BalAmo` from `bBalance`")) {
    ++warehouses_of[r[0].text()];
    zero_qty_with_amount |= r[1].integer() == 0 && r[2].integer() != 0;
  }
  EXPECT_TRUE(zero_qty_with_amount);
  EXPECT_GE(std::max_element(warehouses_of.begin(), warehouses_of.end(),
                             [](auto& a, auto& b) { return a.second < b.second; })->second, 3);
  bool long_memo = false;
  for (const auto& r : AllRows(db, "select `Remark` from `Goods`")) long_memo |= !r[0].IsNull() && r[0].text().size() > 8000;
  EXPECT_TRUE(long_memo);
}

TEST_F(SampleTest, KeysAreUniqueAndReferencesValid) {
  jet::Database db(Path());
  auto keys = [&](const std::string& sql) {
    std::set<std::string> out;
    for (const auto& r : AllRows(db, sql)) {
      std::string k;
      for (const auto& v : r) k += v.ToText() + "|";
      EXPECT_TRUE(out.insert(k).second) << sql << " repeats " << k;
    }
    return out;
  };
  const auto goods = keys("select `GoodsID` from `Goods`");
  const auto bases = keys("select `BaseID` from `Base`");
  const auto departs = keys("select `DepID` from `Depart`");
  const auto regions = keys("select `RegionID` from `Region`");
  keys("select `UnitID` from `Customer`");
  keys("select `UnitID` from `Supplier`");
  keys("select `Code` from `Employee`");
  keys("select `MemberID` from `Member`");
  keys("select `GoodsBarID` from `GoodsIDList`");
  keys("select `BaseID`,`GoodsID` from `bBalance`");
  for (const auto& r : AllRows(db, "select `BaseID`,`GoodsID` from `bBalance`")) {
    EXPECT_TRUE(bases.count(r[0].ToText() + "|") && goods.count(r[1].text() + "|"));
  }
  for (const auto& r : AllRows(db, "select `GoodsID`,`GdsCode` from `gdsCom`")) {
    EXPECT_TRUE(goods.count(r[0].text() + "|") && goods.count(r[1].text() + "|"));
  }
  for (const auto& r : AllRows(db, "select `DepID`,`Name` from `Employee`")) {
    EXPECT_TRUE(r[0].IsNull() || departs.count(r[0].ToText() + "|"));
    EXPECT_FALSE(r[1].IsNull());
  }
  for (const auto& r : AllRows(db, "select `RegionID` from `Customer`")) {
    EXPECT_TRUE(r[0].IsNull() || regions.count(r[0].ToText() + "|"));
  }
  for (const auto& r : AllRows(db, "select `Class` from `Region`")) EXPECT_FALSE(r[0].IsNull());
}

TEST_F(SampleTest, TheSameSeedGivesTheSameShop) {
  TempDir other;
  cli::WriteSample(other.File("a.mdb"), {.scale = 1, .seed = 7});
  cli::WriteSample(other.File("b.mdb"), {.scale = 1, .seed = 8});
  for (const char* t : {"Customer", "Goods", "bBalance"}) {
    const std::string sql = std::string("select * from ") + t;
    auto q = [&](const std::string& f) {
      return RunCommand(Korvel() + " query --mdb " + ShellQuote(f) + " " + ShellQuote(sql)).out;
    };
    EXPECT_EQ(q(Path()), q(other.File("a.mdb"))) << t;
    EXPECT_NE(q(Path()), q(other.File("b.mdb"))) << t;
  }
}

TEST(Sample, ScalesItsRowsAndTakesAPassword) {
  TempDir dir;
  const auto small = cli::WriteSample(dir.File("s.mdb"), {.scale = 1});
  const auto big = cli::WriteSample(dir.File("b.mdb"), {.scale = 5, .seed = 56, .password = "密码pw"});
  long long s = 0, b = 0;
  for (const auto& [t, n] : small.rows) s += n;
  for (const auto& [t, n] : big.rows) b += n;
  EXPECT_GT(s, 200);
  EXPECT_LT(s, 1000);
  EXPECT_GT(b, 4 * s);
  EXPECT_THROW(jet::Database(dir.File("b.mdb")), com::Error);
  EXPECT_NO_THROW(jet::Database(dir.File("b.mdb"), {.password = "密码pw"}));
  EXPECT_THROW(cli::WriteSample(dir.File("x.mdb"), {.scale = 0}), com::Error);
}

TEST(MdbWrite, WritesNamedTablesFromTsvAndLeavesTheRestEmpty) {
  TempDir dir;
  testing_support::WriteFile(dir.File("emp.tsv"),
                             "Code\tName\tDepID\tRemark\n"
                             "E1\t张三\t1\t第一行\\n第二行\n"
                             "E2\t\\N\t\\N\t\n");
  testing_support::WriteFile(dir.File("cust.tsv"),
                             "UnitID\tBalAmo\tIsUsed\tOpTime\n"
                             "0\t-80.5\t1\t1899-12-29 06:00:00\n");
  auto r = RunCommand(Korvel() + " mdb-write --out " + ShellQuote(dir.File("src.mdb")) +
                      " Employee=" + ShellQuote(dir.File("emp.tsv")) + " Customer=" + ShellQuote(dir.File("cust.tsv")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  jet::Database db(dir.File("src.mdb"));
  EXPECT_EQ(db.TableNames().size(), 12u);
  auto q = [&](const std::string& sql) {
    return RunCommand(Korvel() + " query --mdb " + ShellQuote(dir.File("src.mdb")) + " " + ShellQuote(sql)).out;
  };
  EXPECT_EQ(q("select `Code`,`Name`,`DepID`,`Remark`,`Sex` from `Employee`"),
            "Code\tName\tDepID\tRemark\tSex\nE1\t张三\t1\t第一行\\n第二行\t\\N\nE2\t\\N\t\\N\t\t\\N\n");
  EXPECT_EQ(q("select `UnitID`,`BalAmo`,`IsUsed`,`OpTime` from `Customer`"),
            "UnitID\tBalAmo\tIsUsed\tOpTime\n0\t-80.5000\t1\t1899-12-29 06:00:00\n");
  EXPECT_EQ(q("select * from `Depart`"), "Computer\tOperator\tOpTime\tDepID\tClass\tDepCode\tDepName\n");
}

TEST(MdbWrite, NamesTheFileAndLineOfABadValue) {
  TempDir dir;
  auto run = [&](const std::string& tsv, const std::string& table = "Customer") {
    testing_support::WriteFile(dir.File("in.tsv"), tsv);
    return RunCommand(Korvel() + " mdb-write --out " + ShellQuote(dir.File("x.mdb")) + " " + table + "=" +
                      ShellQuote(dir.File("in.tsv")));
  };
  auto bad_money = run("UnitID\tBalAmo\nC1\t1.5\nC2\t1.23456\n");
  EXPECT_NE(bad_money.exit_code, 0);
  EXPECT_NE(bad_money.err.find("第 3 行"), std::string::npos) << bad_money.err;
  EXPECT_NE(bad_money.err.find("BalAmo"), std::string::npos) << bad_money.err;
  EXPECT_NE(run("UnitID\tNoSuchColumn\nC1\t1\n").err.find("NoSuchColumn"), std::string::npos);
  EXPECT_NE(run("UnitID\tBalAmo\nC1\n").exit_code, 0);  // a short line
  EXPECT_NE(run("UnitID\n\\N\n").exit_code, 0);          // UnitID is required
  EXPECT_NE(run("A\n", "NoSuchTable").err.find("NoSuchTable"), std::string::npos);
}

TEST(Schema, ParsesAndRefusesBadLines) {
  const auto s = cli::ParseSchema("# c\nT\tA\tText\t10\t1\nT\tB\tMemo\t\t0\nU\tC\tCurrency\t\t0\n", "x");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].columns[0].max_length, 10);
  EXPECT_TRUE(s[0].columns[0].required);
  EXPECT_EQ(s[1].columns[0].type, jet::ColumnType::kCurrency);
  EXPECT_THROW(cli::ParseSchema("T\tA\tText\t0\t1\n", "x"), com::Error);
  EXPECT_THROW(cli::ParseSchema("T\tA\tText\t256\t1\n", "x"), com::Error);
  EXPECT_THROW(cli::ParseSchema("T\tA\tVarchar\t10\t1\n", "x"), com::Error);
  EXPECT_THROW(cli::ParseSchema("T\tA\tLong\t\t1\nU\tB\tLong\t\t1\nT\tC\tLong\t\t1\n", "x"), com::Error);
  EXPECT_EQ(cli::SourceSchema56().size(), 12u);
}

TEST(Schema, BinaryOleAndDecimalColumnsAndTheirFields) {
  const auto s = cli::ParseSchema(
      "T\tB\tBinary\t16\t0\nT\tO\tOLE\t\t0\nT\tD\tDecimal\t28,4\t0\nT\tE\tDecimal\t\t0\nT\tF\tDecimal\t9\t0\n", "x");
  const auto& c = s.at(0).columns;
  ASSERT_EQ(c.size(), 5u);
  EXPECT_EQ(c[0].type, jet::ColumnType::kBinary);
  EXPECT_EQ(c[0].max_length, 16);
  EXPECT_EQ(c[1].type, jet::ColumnType::kOle);
  EXPECT_EQ(c[2].type, jet::ColumnType::kDecimal);
  EXPECT_EQ(std::pair(c[2].precision, c[2].scale), std::pair(28, 4));
  EXPECT_EQ(std::pair(c[3].precision, c[3].scale), std::pair(18, 0));
  EXPECT_EQ(std::pair(c[4].precision, c[4].scale), std::pair(9, 0));
  for (const char* bad : {"T\tB\tBinary\t\t0\n", "T\tB\tBinary\t256\t0\n", "T\tD\tDecimal\t29\t0\n",
                          "T\tD\tDecimal\t5,6\t0\n", "T\tD\tDecimal\t5,\t0\n", "T\tD\tDecimal\tp\t0\n"}) {
    EXPECT_THROW(cli::ParseSchema(bad, "x"), com::Error) << bad;
  }
  EXPECT_EQ(cli::ParseField(c[0], "0x00fF"), com::Variant::Bytes(std::string("\0\xFF", 2)));
  EXPECT_EQ(cli::ParseField(c[1], "0x"), com::Variant::Bytes(""));
  EXPECT_EQ(cli::ParseField(c[2], "-12.50"), com::Variant::Decimal("-12.50"));
  EXPECT_TRUE(cli::ParseField(c[2], std::nullopt).IsNull());
  for (const char* bad : {"00FF", "0x0", "0xGG"}) EXPECT_THROW(cli::ParseField(c[1], bad), com::Error) << bad;
  EXPECT_THROW(cli::ParseField(c[2], "1e3"), com::Error);
}

}  // namespace

namespace {

TEST(ModelList, ShipsOneRowPerPlanWithTheDefaultFirst) {
  jet::Database db(testing_support::BinDir() + "/DTSModelList.mdb");
  auto rows = AllRows(db, "Select * From ModelList");
  ASSERT_EQ(rows.size(), 8u);
  const std::set<std::string> classes = {"C5to6Depart",         "C5to6Employee",
                                         "C5to6CustSuppNoWriteAccount", "C5to6CustSuppWriteAccount",
                                         "C5to6GoodsNoWriteCustody",    "C5to6GoodsWriteCustody",
                                         "C5to6SpecialPack",            "C5to6Normal"};
  std::set<std::string> seen;
  auto cols = db.Query("Select * From ModelList")->columns();
  ASSERT_EQ(cols.size(), 6u);
  EXPECT_EQ(cols[0].name, "ModelCNName");
  for (const auto& r : rows) {
    EXPECT_EQ(r[2].text(), "0");
    EXPECT_EQ(r[3].text(), "1");
    EXPECT_FALSE(r[4].text().empty());
    seen.insert(r[1].text());
    // Each display name finds its row again, as the wizard looks it up.
    std::string quoted;
    for (char ch : r[0].text()) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
    auto again = AllRows(db, "Select * From ModelList Where ModelCNName = '" + quoted + "'");
    ASSERT_EQ(again.size(), 1u) << r[0].text();
    EXPECT_EQ(again[0][1].text(), r[1].text());
  }
  EXPECT_EQ(seen, classes);
  EXPECT_EQ(rows[0][1].text(), "C5to6Normal");
}

}  // namespace
