// `korvel check` against `korvel run`, for every plan: on small 5.6 files
// each holding one bad row, the check names the table, row, column and key
// that the run then fails on or cuts; the check writes nothing; on the
// sample shop it finds nothing and foresees what the postings post.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/check_cases.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace {

using testing_support::EmbeddedShop;
using testing_support::Json;
using Tables = std::map<std::string, std::string>;

// One bad row and where both commands must place it.
struct Case {
  const char* name;
  const char* plan;
  Tables tables;         // the 5.6 file: a TSV text per table
  Tables retyped;        // "Table\tColumn" -> "Type\tSize": a column the site widened
  const char* kind;      // the problem the check reports
  const char* table;
  const char* column;    // for a key, its columns joined by ", "
  int row;               // the row's position in its table's rows above
  const char* key;
  int number = 0;        // SQL Server's error number, where the kind fixes it
  const char* parent = "";
  // Cuts: a query for the value the run stored and what it must be, and
  // the lengths before and after, counted as the column counts them.
  const char* stored_query = "";
  std::string stored = "";
  int original_length = 0;
  int cut_length = 0;
};

// gtest names a failing case by its name, not by its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

bool Fails(const Case& c) { return std::string(c.kind) != "cut" && std::string(c.kind) != "replaced"; }

std::string Times(int n, const std::string& s) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

int RowCount(const std::string& tsv) {
  int lines = 0;
  for (char c : tsv) lines += c == '\n';
  return lines - 1;  // less the header
}

const char kRegions[] = "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR1\t北京\n2\t华东\tR2\t上海\n";
const char kGoods[] = "GoodsID\tClass\tGdsName\nG1\t01\t大米\nG2\t01\t面粉\nG3\t01\t食盐\n";
const char kBases[] = "BaseID\tBaseCode\tBaseName\n5\t05\t总仓\n9\t09\t门店\n";
const char kCustomers[] = "UnitID\tIsUsed\tRegionID\tClass\tPriceID\tBalAmo\n";
const char kOrphan[] = "UnitID\tIsUsed\tRegionID\tClass\tPriceID\tBalAmo\nC1\t1\t1\t批发\t1\t10\n"
                       "C2\t1\t2\t批发\t1\t20\nC3\t1\t9\t批发\t1\t30\nC4\t1\t1\t批发\t1\t40\n";
const char kSuppliers[] = "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\n";
const char kStock[] = "BaseID\tGoodsID\tBalQua\tBalAmo\n5\tG1\t4\t10\n9\tG2\t3\t10\n";
const char kMembers[] = "MemberID\tCardID\tName\tBirthy\tType\tClass\nM1\tK1\t甲\t1980-01-02\t1\t金卡\n"
                        "M2\tK2\t乙\t1990-03-04\t1\t银卡\n";
const char kEmployees[] = "Code\tName\tDepID\nE1\t甲\t1\nE2\t乙\t1\n";

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // Departments keep their numbers: a number twice is refused.
      {"DepartNumberTwice", "C5to6Depart", {{"Depart", "DepID\tDepName\n1\t总部\n2\t门店\n1\t仓库\n"}}, {},
       "duplicate_key", "Depart", "DepID", 3, "DepID=1", 2627},
      {"DepartNumberBeyondInt", "C5to6Depart", {{"Depart", "DepID\tDepName\n1\t总部\n2\t门店\n3000000000\t仓库\n"}},
       {{"Depart\tDepID", "Double\t"}}, "out_of_range", "Depart", "DepID", 3, "DepID=3000000000"},
      {"EmployeeWithoutName", "C5to6Employee", {{"Employee", std::string(kEmployees) + "E3\t\\N\t2\nE4\t丁\t2\n"}}, {},
       "not_null", "Employee", "Name", 3, "Code=E3", 515},
      // Codes compare as the server's case-insensitive collation compares them.
      {"EmployeeCodeTwiceInOtherCase", "C5to6Employee", {{"Employee", std::string(kEmployees) + "e1\t丙\t2\n"}}, {},
       "duplicate_key", "Employee", "Code", 3, "Code=e1", 2627},
      {"EmployeeDepartmentNotANumber", "C5to6Employee", {{"Employee", std::string(kEmployees) + "E3\t丙\t总部\n"}},
       {{"Employee\tDepID", "Text\t20"}}, "conversion", "Employee", "DepID", 3, "Code=E3", 245},
      {"EmployeeDepartmentBeyondInt", "C5to6Employee", {{"Employee", std::string(kEmployees) + "E3\t丙\t3e9\n"}},
       {{"Employee\tDepID", "Double\t"}}, "out_of_range", "Employee", "DepID", 3, "Code=E3"},
      {"RegionWithoutClass", "C5to6CustSuppNoWriteAccount", {{"Region", std::string(kRegions) + "3\t\\N\tR3\t广州\n"}},
       {}, "not_null", "Region", "Class", 3, "RegionID=3", 515},
      {"CustomerOfAMissingRegion", "C5to6CustSuppNoWriteAccount", {{"Region", kRegions}, {"Customer", kOrphan}}, {},
       "foreign_key", "Customer", "RegionID", 3, "UnitID=C3", 547, "Region"},
      // 26 Chinese characters are 52 bytes in code page 936; varchar(50) keeps 25.
      {"CustomerClassCutToItsBytes", "C5to6CustSuppNoWriteAccount",
       {{"Region", kRegions}, {"Customer", std::string(kCustomers) + "C1\t1\t1\t批发\t1\t10\nC2\t1\t2\t批发\t1\t20\n"
                                                                     "C3\t1\t1\t" + Times(26, "批") + "\t1\t30\n"}},
       {}, "cut", "Customer", "Class", 3, "UnitID=C3", 0, "", "select Class from Customer where UnitID = 'C3'",
       Times(25, "批"), 52, 50},
      {"SupplierTwice", "C5to6CustSuppNoWriteAccount",
       {{"Region", kRegions}, {"Supplier", std::string(kSuppliers) + "S1\t1\t1\t供\t10\nS2\t1\t2\t供\t20\nS1\t1\t2\t供\t5\n"}},
       {}, "duplicate_key", "Supplier", "UnitID", 3, "UnitID=S1", 2627},
      {"RegionNumberTwice", "C5to6CustSuppWriteAccount", {{"Region", std::string(kRegions) + "2\t华南\tR3\t广州\n"}}, {},
       "duplicate_key", "Region", "RegionID", 3, "RegionID=2", 2627},
      {"SupplierOfAMissingRegion", "C5to6CustSuppWriteAccount",
       {{"Region", kRegions}, {"Supplier", std::string(kSuppliers) + "S1\t1\t1\t供\t10\nS2\t1\t2\t供\t20\nS3\t1\t5\t供\t5\n"}},
       {}, "foreign_key", "Supplier", "RegionID", 3, "UnitID=S3", 547, "Region"},
      {"CustomerPriceBeyondSmallint", "C5to6CustSuppWriteAccount",
       {{"Region", kRegions}, {"Customer", std::string(kCustomers) + "C1\t1\t1\t批发\t1\t10\nC2\t1\t2\t批发\t2\t20\n"
                                                                     "C3\t1\t1\t批发\t40000\t30\n"}},
       {{"Customer\tPriceID", "Long\t"}}, "out_of_range", "Customer", "PriceID", 3, "UnitID=C3"},
      // Hangul is not in code page 936: SQL Server stores '?' for each letter.
      {"SupplierClassOutsideTheCodePage", "C5to6CustSuppWriteAccount",
       {{"Region", kRegions}, {"Supplier", std::string(kSuppliers) + "S1\t1\t1\t供\t10\nS2\t1\t2\t供\t20\nS3\t1\t1\t한국\t5\n"}},
       {}, "replaced", "Supplier", "Class", 3, "UnitID=S3", 0, "", "select Class from Supplier where UnitID = 'S3'", "??"},
      {"GoodsClassWithoutCode", "C5to6GoodsNoWriteCustody",
       {{"gdsClass", "Class\tIsGoods\tClasName\n01\t1\t食品\n02\t1\t日用\n\\N\t1\t杂项\n"}}, {}, "not_null", "gdsClass",
       "Class", 3, "Class=NULL", 515},
      {"GoodsNameCut", "C5to6GoodsNoWriteCustody",
       {{"Goods", std::string(kGoods) + "G4\t01\t" + Times(60, "x") + "\nG5\t01\t盐\n"}}, {}, "cut", "Goods", "GdsName", 4,
       "GoodsID=G4", 0, "", "select GdsName from Goods where GoodsID = 'G4'", Times(50, "x"), 60, 50},
      {"GoodsTwiceInOtherCase", "C5to6GoodsNoWriteCustody", {{"Goods", std::string(kGoods) + "g2\t01\t糖\n"}}, {},
       "duplicate_key", "Goods", "GoodsID", 4, "GoodsID=g2", 2627},
      {"CombinationOfAMissingPart", "C5to6GoodsNoWriteCustody",
       {{"Goods", kGoods}, {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\nG1\tG2\t1\t1\nG1\tG3\t1\t1\nG2\tG9\t1\t1\n"}}, {},
       "foreign_key", "gdsCom", "GdsCode", 3, "GoodsID=G2, GdsCode=G9", 547, "Goods"},
      {"CombinationOfAMissingGoods", "C5to6GoodsNoWriteCustody",
       {{"Goods", kGoods}, {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\nG1\tG2\t1\t1\nG1\tG3\t1\t1\nG7\tG2\t1\t1\n"}}, {},
       "foreign_key", "gdsCom", "GoodsID", 3, "GoodsID=G7, GdsCode=G2", 547, "Goods"},
      {"CombinationTwice", "C5to6GoodsNoWriteCustody",
       {{"Goods", kGoods}, {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\nG1\tG2\t1\t1\nG1\tG3\t1\t1\nG1\tG2\t2\t1\n"}}, {},
       "duplicate_key", "gdsCom", "GoodsID, GdsCode", 3, "GoodsID=G1, GdsCode=G2", 2627},
      {"CombinationWithoutGoods", "C5to6GoodsNoWriteCustody",
       {{"Goods", kGoods}, {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\nG1\tG2\t1\t1\nG1\tG3\t1\t1\n\\N\tG2\t1\t1\n"}}, {},
       "not_null", "gdsCom", "GoodsID", 3, "GoodsID=NULL, GdsCode=G2", 515},
      {"BarcodeTwice", "C5to6GoodsNoWriteCustody",
       {{"Goods", kGoods}, {"GoodsIDList", "GoodsBarID\tGoodsID\tType\n69\tG1\t1\n70\tG2\t1\n69\tG3\t1\n"}}, {},
       "duplicate_key", "GoodsIDList", "GoodsBarID", 3, "GoodsBarID=69", 2627},
      {"BarcodeTypeBelowSmallint", "C5to6GoodsNoWriteCustody",
       {{"Goods", kGoods}, {"GoodsIDList", "GoodsBarID\tGoodsID\tType\n69\tG1\t1\n70\tG2\t1\n71\tG3\t-40000\n"}},
       {{"GoodsIDList\tType", "Long\t"}}, "out_of_range", "GoodsIDList", "Type", 3, "GoodsBarID=71"},
      {"WarehouseNumberTwice", "C5to6GoodsWriteCustody", {{"Base", std::string(kBases) + "5\t10\t门店二\n"}}, {},
       "duplicate_key", "Base", "BaseID", 3, "BaseID=5", 2627},
      {"StockOfAMissingGoods", "C5to6GoodsWriteCustody",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "5\tG8\t1\t1\n"}}, {}, "foreign_key",
       "bBalance", "GoodsID", 3, "BaseID=5, GoodsID=G8", 547, "Goods"},
      {"StockInAMissingWarehouse", "C5to6GoodsWriteCustody",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "7\tG1\t1\t1\n"}}, {}, "foreign_key",
       "bBalance", "BaseID", 3, "BaseID=7, GoodsID=G1", 547, "Base"},
      {"StockWithoutWarehouse", "C5to6GoodsWriteCustody",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "\\N\tG1\t1\t1\n"}}, {}, "not_null",
       "bBalance", "BaseID", 3, "BaseID=NULL, GoodsID=G1", 515},
      {"StockTwice", "C5to6GoodsWriteCustody",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "5\tg1\t1\t1\n"}}, {}, "duplicate_key",
       "bBalance", "BaseID, GoodsID", 3, "BaseID=5, GoodsID=g1", 2627},
      // The quantity goes to PBalQua and BalQua; PBalQua comes first.
      {"StockQuantityBeyondMoney", "C5to6GoodsWriteCustody",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "5\tG3\t1e15\t1\n"}},
       {{"bBalance\tBalQua", "Double\t"}}, "out_of_range", "bBalance", "PBalQua", 3, "BaseID=5, GoodsID=G3"},
      // datetime starts in 1753; Access dates go back to the year 100.
      {"MemberBornBefore1753", "C5to6Normal", {{"Member", std::string(kMembers) + "M3\tK3\t丙\t1700-05-06\t1\t金卡\n"}},
       {}, "out_of_range", "Member", "Birthy", 3, "MemberID=M3", 242},
      // "A" and 25 characters are 51 bytes; the cut may not split a character.
      {"MemberClassCutBeforeACharacter", "C5to6Normal",
       {{"Member", std::string(kMembers) + "M3\tK3\t丙\t\\N\t1\tA" + Times(25, "会") + "\n"}}, {}, "cut", "Member",
       "Class", 3, "MemberID=M3", 0, "", "select Class from Member where MemberID = 'M3'", "A" + Times(24, "会"), 51, 49},
      {"MemberTwice", "C5to6Normal", {{"Member", std::string(kMembers) + "M1\tK3\t丙\t\\N\t1\t金卡\n"}}, {},
       "duplicate_key", "Member", "MemberID", 3, "MemberID=M1", 2627},
      {"FullEmployeeWithoutName", "C5to6Normal", {{"Employee", std::string(kEmployees) + "E3\t\\N\t2\n"}}, {},
       "not_null", "Employee", "Name", 3, "Code=E3", 515},
      {"FullRegionWithoutClass", "C5to6Normal", {{"Region", std::string(kRegions) + "3\t\\N\tR3\t广州\n"}}, {},
       "not_null", "Region", "Class", 3, "RegionID=3", 515},
      // The full plans carry the stock through a script transformation.
      {"FullStockOfAMissingGoods", "C5to6Normal",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "5\tG8\t1\t1\n"}}, {}, "foreign_key",
       "bBalance", "GoodsID", 3, "BaseID=5, GoodsID=G8", 547, "Goods"},
      {"CompleteStockWithoutWarehouse", "C5to6SpecialPack",
       {{"Goods", kGoods}, {"Base", kBases}, {"bBalance", std::string(kStock) + "\\N\tG3\t1\t1\n"}}, {}, "not_null",
       "bBalance", "BaseID", 3, "BaseID=NULL, GoodsID=G3", 515},
      {"CompleteGoodsClassWithoutCode", "C5to6SpecialPack",
       {{"gdsClass", "Class\tIsGoods\tClasName\n01\t1\t食品\n02\t1\t日用\n\\N\t1\t杂项\n"}}, {}, "not_null", "gdsClass",
       "Class", 3, "Class=NULL", 515},
      {"CompleteCustomerTwice", "C5to6SpecialPack",
       {{"Customer", std::string(kCustomers) + "C1\t1\t1\t批发\t1\t10\nC2\t1\t2\t批发\t1\t20\nc1\t1\t1\t批发\t1\t5\n"}}, {},
       "duplicate_key", "Customer", "UnitID", 3, "UnitID=c1", 2627},
      {"CompleteGoodsNameCut", "C5to6SpecialPack", {{"Goods", std::string(kGoods) + "G4\t01\t" + Times(51, "y") + "\n"}},
       {}, "cut", "Goods", "GdsName", 4, "GoodsID=G4", 0, "", "select GdsName from Goods where GoodsID = 'G4'",
       Times(50, "y"), 51, 50},
      {"CompleteMemberTypeBeyondSmallint", "C5to6SpecialPack",
       {{"Member", std::string(kMembers) + "M3\tK3\t丙\t\\N\t32768\t金卡\n"}}, {{"Member\tType", "Long\t"}}, "out_of_range",
       "Member", "Type", 3, "MemberID=M3"},
  };
  return cases;
}

// One shop for all cases: each case first empties what an earlier run
// left, and a check reads the destination's definitions, not its rows.
class CheckAgreement : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() { shop_ = std::make_unique<EmbeddedShop>(); }
  static void TearDownTestSuite() { shop_.reset(); }
  static const EmbeddedShop& shop() { return *shop_; }

 private:
  static std::unique_ptr<EmbeddedShop> shop_;
};
std::unique_ptr<EmbeddedShop> CheckAgreement::shop_;

const Json* TaskFor(const Json& report, const std::string& table) {
  for (const Json& task : report["tasks"].items()) {
    if (task["table"].text() == table) return &task;
  }
  return nullptr;
}

// The tasks' counts, which both definition sources must give alike (a
// task's step names the database, which only the destination gives).
std::string Counts(const Json& report) {
  std::string out;
  auto n = [](const Json& v, const char* key) { return " " + std::to_string(v[key].integer()); };
  for (const Json& task : report["tasks"].items()) {
    out += task["table"].text() + n(task, "rows_read") + n(task, "rows_failing") + n(task, "rows_cut");
    for (const Json& col : task["columns"].items()) out += ", " + col["column"].text() + n(col, "failing") + n(col, "cut");
    out += "\n";
  }
  return out;
}

// What the check's report must say about the case's one bad row.
void ExpectPredicted(const Case& c, const std::string& source, const Json& r) {
  EXPECT_EQ(r["model"].text(), c.plan);
  EXPECT_EQ(r["source"].text(), source);
  EXPECT_EQ(r["verdict"].text(), Fails(c) ? "fails" : "cuts");
  const auto& problems = r["problems"].items();
  ASSERT_FALSE(problems.empty());
  const Json& p = problems.front();
  EXPECT_EQ(p["kind"].text(), c.kind);
  EXPECT_EQ(p["fails"].boolean(), Fails(c));
  EXPECT_EQ(p["table"].text(), c.table);
  EXPECT_EQ(p["column"].text(), c.column);
  EXPECT_EQ(p["row"].integer(), c.row);
  EXPECT_EQ(p["key"].text(), c.key);
  EXPECT_FALSE(p["message"].text().empty());
  if (c.number != 0) {
    EXPECT_EQ(p["number"].integer(), c.number);
  }
  EXPECT_EQ(p.Has("parent"), std::string(c.kind) == "foreign_key");
  if (p.Has("parent")) {
    EXPECT_EQ(p["parent"].text(), c.parent);
  }
  EXPECT_EQ(p.Has("original_length") && p.Has("cut_length"), !Fails(c));
  if (c.cut_length != 0) {
    EXPECT_EQ(p["original_length"].integer(), c.original_length);
    EXPECT_EQ(p["cut_length"].integer(), c.cut_length);
  }
  // Nothing else is wrong: any further problem is of the same row (a value
  // read into two columns fails in both).
  for (const Json& other : problems) {
    EXPECT_EQ(other["table"].text() + " row " + std::to_string(other["row"].integer()),
              std::string(c.table) + " row " + std::to_string(c.row));
  }
  for (const Json& task : r["tasks"].items()) {
    const bool bad = task["table"].text() == c.table;
    const auto rows = c.tables.count(task["table"].text()) ? RowCount(c.tables.at(task["table"].text())) : 0;
    EXPECT_EQ(task["rows_read"].integer(), rows) << task["table"].text();
    EXPECT_EQ(task["rows_failing"].integer(), bad && Fails(c) ? 1 : 0) << task["table"].text();
    EXPECT_EQ(task["rows_cut"].integer(), bad && !Fails(c) ? 1 : 0) << task["table"].text();
  }
  const Json* task = TaskFor(r, c.table);
  ASSERT_NE(task, nullptr) << c.table;
  if (std::string(c.kind) != "duplicate_key") {
    bool listed = false;
    for (const Json& col : (*task)["columns"].items()) {
      if (col["column"].text() != c.column) continue;
      listed = true;
      EXPECT_EQ(col[Fails(c) ? "failing" : "cut"].integer(), 1);
    }
    EXPECT_TRUE(listed) << c.column;
  }
}

std::string ImportStep(const std::string& table) { return "导入数据到 [Sales60].[dbo].[" + table + "]"; }

// Runs the case's plan and expects it to fail at the case's row, or to cut
// the case's value there; returns the run's error number (0 for a cut).
long long ExpectRunAgrees(const EmbeddedShop& shop, const Case& c, const std::string& source) {
  const auto run = testing_support::KorvelRun(shop, c.plan, source, shop.dir.File("run.json"));
  if (run.report.empty()) {
    ADD_FAILURE() << "no report: " << run.command.err;
    return -1;
  }
  const Json steps = Json::Parse(run.report)["steps"];
  const Json* step = nullptr;
  for (const Json& s : steps.items()) {
    if (s["name"].text() == ImportStep(c.table)) step = &s;
  }
  if (step == nullptr) {
    ADD_FAILURE() << ImportStep(c.table) << " did not run: " << run.command.err;
    return -1;
  }
  if (Fails(c)) {
    EXPECT_EQ(run.command.exit_code, 1);
    EXPECT_EQ((*step)["result"].text(), "failed") << run.report;
    if (!(*step).Has("error")) return -1;
    const Json& error = (*step)["error"];
    const std::string& description = error["description"].text();
    const std::string where = "第 " + std::to_string(c.row) + " 行（" + c.key + "）无法写入 [Sales60].[dbo].[" + c.table + "]";
    EXPECT_EQ(description.rfind(where, 0), 0u) << description;
    if (std::string(c.kind) != "duplicate_key") {
      EXPECT_NE(description.find(std::string("的列“") + c.column + "”"), std::string::npos) << description;
    }
    if (c.number != 0) {
      EXPECT_EQ(error["number"].integer(), c.number);
    }
    return error["number"].integer();
  }
  EXPECT_EQ(run.command.exit_code, 0) << run.command.err;
  EXPECT_EQ((*step)["result"].text(), "success");
  const auto& cuts = (*step)["truncations"].items();
  EXPECT_EQ(cuts.size(), 1u) << run.report;
  if (cuts.size() == 1) {
    EXPECT_EQ(cuts[0]["column"].text(), c.column);
    EXPECT_EQ(cuts[0]["count"].integer(), 1);
    const auto& first = cuts[0]["first_rows"].items();
    EXPECT_EQ(first.size(), 1u);
    if (first.size() == 1) {
      EXPECT_EQ(first[0]["position"].integer(), c.row);
      EXPECT_EQ(first[0]["key"].text(), c.key);
    }
  }
  EXPECT_EQ(shop.Query(c.stored_query), std::vector<std::string>{c.stored});
  return 0;
}

TEST_P(CheckAgreement, TheCheckForeseesTheRowTheRunFailsOnOrCuts) {
  const Case& c = GetParam();
  const std::string name = std::string(c.name) + ".mdb";
  const std::string source = c.retyped.empty() ? shop().WriteSource(name, c.tables)
                                               : testing_support::WriteRetypedSource(shop(), name, c.tables, c.retyped);
  testing_support::EmptyUpgradedTables(shop());

  Json by_definitions[2];
  for (const bool with_server : {true, false}) {
    SCOPED_TRACE(with_server ? "definitions from the destination" : "definitions from the script");
    const auto check = testing_support::KorvelCheck(shop(), c.plan, source, with_server, shop().dir.File("check.json"));
    EXPECT_EQ(check.command.exit_code, Fails(c) ? 2 : 1) << check.command.out << check.command.err;
    ASSERT_FALSE(check.report.empty());
    const Json r = Json::Parse(check.report);
    EXPECT_EQ(r["definitions"].text(), with_server ? "destination" : "script");
    ExpectPredicted(c, source, r);
    by_definitions[with_server ? 0 : 1] = r;
  }
  EXPECT_EQ(by_definitions[0]["problems"], by_definitions[1]["problems"]);
  EXPECT_EQ(Counts(by_definitions[0]), Counts(by_definitions[1]));
  const Json* task = TaskFor(by_definitions[0], c.table);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ((*task)["step"].text(), ImportStep(c.table));

  const long long number = ExpectRunAgrees(shop(), c, source);
  if (Fails(c)) {
    EXPECT_EQ(by_definitions[0]["problems"].items().at(0)["number"].integer(), number);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryPlan, CheckAgreement, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// A shop of its own for each test.
class CheckOnShop : public ::testing::Test {
 protected:
  EmbeddedShop shop;
};

std::vector<std::string> Procedures(const EmbeddedShop& shop) {
  return shop.Query("select name from sysobjects where xtype = 'P' order by name");
}

TEST_F(CheckOnShop, TheCheckWritesNothing) {
  // A destination full of a run's work and its procedures.
  ASSERT_EQ(testing_support::KorvelRun(shop, "C5to6Normal", shop.source, shop.dir.File("run.json")).command.exit_code, 0);
  const auto tables = shop.Snapshot();
  const auto procedures = Procedures(shop);
  ASSERT_FALSE(tables.at("CustAcc").empty());
  ASSERT_FALSE(procedures.empty());
  const std::string bad_source = shop.WriteSource("bad.mdb", {{"Region", kRegions}, {"Customer", kOrphan}});
  const std::string sample_bytes = testing_support::ReadFile(shop.source);
  const std::string bad_bytes = testing_support::ReadFile(bad_source);

  // The complete scheme would empty every table, the others clear theirs.
  for (const char* plan : {"C5to6SpecialPack", "C5to6Normal", "C5to6CustSuppWriteAccount", "C5to6GoodsWriteCustody"}) {
    const auto clean = testing_support::KorvelCheck(shop, plan, shop.source, true, shop.dir.File("check.json"));
    EXPECT_EQ(clean.command.exit_code, 0) << plan << clean.command.err;
    const auto failing = testing_support::KorvelCheck(shop, plan, bad_source, true, shop.dir.File("check.json"));
    EXPECT_EQ(failing.command.exit_code, plan == std::string("C5to6CustSuppWriteAccount") ? 2 : 0) << plan;
  }
  EXPECT_EQ(shop.Snapshot(), tables);
  EXPECT_EQ(Procedures(shop), procedures);
  EXPECT_EQ(testing_support::ReadFile(shop.source), sample_bytes);
  EXPECT_EQ(testing_support::ReadFile(bad_source), bad_bytes);
  EXPECT_EQ(shop.IntegrityCheck(), "ok");
}

// What each plan posts, by the step that posts it.
const std::map<std::string, std::vector<std::string>> kLedgers = {
    {"C5to6Normal", {"CustAcc", "SuppAcc", "Custody"}}, {"C5to6SpecialPack", {"CustAcc", "SuppAcc", "Custody"}},
    {"C5to6Depart", {}}, {"C5to6Employee", {}}, {"C5to6CustSuppNoWriteAccount", {}},
    {"C5to6CustSuppWriteAccount", {"CustAcc", "SuppAcc"}}, {"C5to6GoodsNoWriteCustody", {}},
    {"C5to6GoodsWriteCustody", {"Custody"}}};

TEST_F(CheckOnShop, EveryPlanChecksTheSampleShopCleanAndForeseesItsPostings) {
  for (const auto& [plan, ledgers] : kLedgers) {
    SCOPED_TRACE(plan);
    testing_support::EmptyUpgradedTables(shop);
    const auto check = testing_support::KorvelCheck(shop, plan, shop.source, true, shop.dir.File("check.json"));
    EXPECT_EQ(check.command.exit_code, 0) << check.command.out << check.command.err;
    ASSERT_FALSE(check.report.empty());
    const Json predicted = Json::Parse(check.report);
    EXPECT_EQ(predicted["verdict"].text(), "clean");
    EXPECT_TRUE(predicted["problems"].items().empty()) << check.report;

    const auto run = testing_support::KorvelRun(shop, plan, shop.source, shop.dir.File("run.json"));
    ASSERT_EQ(run.command.exit_code, 0) << run.command.err;
    // Every import reads the rows the check read.
    std::map<std::string, long long> read_by_check, read_by_run;
    for (const Json& task : predicted["tasks"].items()) {
      read_by_check[task["step"].text()] = task["rows_read"].integer();
      EXPECT_EQ(task["rows_failing"].integer() + task["rows_cut"].integer(), 0) << task["step"].text();
    }
    for (const Json& step : Json::Parse(run.report)["steps"].items()) {
      if (step["name"].text().rfind("导入数据到 ", 0) == 0) read_by_run[step["name"].text()] = step["rows_read"].integer();
    }
    EXPECT_EQ(read_by_check, read_by_run);

    std::vector<std::string> posted;
    for (const Json& posting : predicted["postings"].items()) {
      const std::string ledger = posting["ledger"].text();
      posted.push_back(ledger);
      EXPECT_EQ(posting["step"].text(), "执行存储过程 Write" + ledger);
      const bool custody = ledger == "Custody";
      const std::string sums = custody ? "sum(BalQua), sum(BalAmo)" : "sum(BalAmo)";
      const std::string foreseen = std::to_string(posting["rows"].integer()) + "\t" +
                                   (custody ? posting["quantity"].text() + "\t" : "") + posting["amount"].text();
      EXPECT_EQ(shop.Query("select count(*), " + sums + " from " + ledger), std::vector<std::string>{foreseen});
      if (!custody) {
        EXPECT_TRUE(posting["quantity"].is_null());
      }
    }
    EXPECT_EQ(posted, ledgers);
  }
}

// Several problems in one file, in four tasks of the default scheme: the
// check lists every one in run order, and the first that fails is where
// the run stops.
TEST_F(CheckOnShop, TheCheckListsEveryProblemAndTheRunStopsAtTheFirstFailure) {
  const std::string source = shop.WriteSource(
      "several.mdb",
      {{"Goods", "GoodsID\tClass\tGdsName\nG1\t01\t大米\nG2\t01\t" + Times(60, "x") + "\nG3\t01\t食盐\n"},
       {"Base", kBases},
       {"bBalance", "BaseID\tGoodsID\tBalQua\tBalAmo\n5\tG1\t4\t10\n5\tG9\t1\t1\n9\tG3\t3\t10\n"},
       {"Employee", std::string(kEmployees) + "E3\t\\N\t2\ne2\t丙\t2\nE5\t\\N\t2\n"},
       {"Member", "MemberID\tCardID\tName\tBirthy\nM1\tK1\t甲\t1980-01-02\nM2\tK2\t乙\t1700-05-06\n"}});
  const auto check = testing_support::KorvelCheck(shop, "C5to6Normal", source, true, shop.dir.File("check.json"));
  EXPECT_EQ(check.command.exit_code, 2);
  ASSERT_FALSE(check.report.empty()) << check.command.err;
  const Json report = Json::Parse(check.report);
  EXPECT_EQ(report["verdict"].text(), "fails");
  std::vector<std::string> listed;
  for (const Json& p : report["problems"].items()) {
    listed.push_back(p["kind"].text() + " " + p["table"].text() + " " + p["column"].text() + " " +
                     std::to_string(p["row"].integer()) + " " + p["key"].text());
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"cut Goods GdsName 2 GoodsID=G2",
                                              "foreign_key bBalance GoodsID 2 BaseID=5, GoodsID=G9",
                                              "not_null Employee Name 3 Code=E3",
                                              "duplicate_key Employee Code 4 Code=e2",
                                              "not_null Employee Name 5 Code=E5",
                                              "out_of_range Member Birthy 2 MemberID=M2"}));
  const Json* employees = TaskFor(report, "Employee");
  ASSERT_NE(employees, nullptr);
  EXPECT_EQ((*employees)["rows_read"].integer(), 5);
  EXPECT_EQ((*employees)["rows_failing"].integer(), 3);

  const auto before = shop.Snapshot();
  const auto run = testing_support::KorvelRun(shop, "C5to6Normal", source, shop.dir.File("run.json"));
  EXPECT_EQ(run.command.exit_code, 1);
  EXPECT_NE(run.command.err.find("第 2 行（BaseID=5, GoodsID=G9）无法写入 [Sales60].[dbo].[bBalance] 的列“GoodsID”"),
            std::string::npos)
      << run.command.err;
  EXPECT_EQ(shop.Snapshot(), before);
}

// Keys compare as the server compares them: without regard to case or
// trailing blanks, with regard to accents. A combination naming its parts
// in other case is no orphan; an accented code is no duplicate.
TEST_F(CheckOnShop, KeysCompareAsTheDestinationComparesThem) {
  const std::string source = shop.WriteSource(
      "keys.mdb", {{"Goods", "GoodsID\tClass\tGdsName\nG1\t01\t大米\nG2\t01\t面粉\nE1\t01\t盐\nÉ1\t01\t糖\n"},
                   {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\ng1\tg2\t1\t1\nG2 \tÉ1\t1\t1\n"}});
  const auto check = testing_support::KorvelCheck(shop, "C5to6GoodsNoWriteCustody", source, false, shop.dir.File("c.json"));
  EXPECT_EQ(check.command.exit_code, 0) << check.command.out << check.report;
  const auto run = testing_support::KorvelRun(shop, "C5to6GoodsNoWriteCustody", source, shop.dir.File("run.json"));
  EXPECT_EQ(run.command.exit_code, 0) << run.command.err;
  EXPECT_EQ(shop.Query("select count(*) from gdsCom"), std::vector<std::string>{"2"});
}

}  // namespace
