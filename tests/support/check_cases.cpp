#include "tests/support/check_cases.h"

#include <cstdio>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "platform/sqlserver/engine.h"

namespace testing_support {

namespace {

std::string Korvel() { return ShellQuote(BinDir() + "/korvel"); }

std::string Login(const EmbeddedShop& shop) {
  return " --server " + ShellQuote(shop.server) + " --user sa --password-env KPW --database " +
         EmbeddedShop::kDatabase;
}

ReportedRun WithReport(const std::string& command, const std::string& report) {
  std::remove(report.c_str());
  ReportedRun r;
  r.command = RunCommand(command + " --report " + ShellQuote(report));
  if (FILE* f = std::fopen(report.c_str(), "rb")) {
    std::fclose(f);
    r.report = ReadFile(report);
  }
  return r;
}

}  // namespace

ReportedRun KorvelCheck(const EmbeddedShop& shop, const std::string& model, const std::string& source,
                        bool with_server, const std::string& report) {
  return WithReport("KPW=" + std::string(EmbeddedShop::kPassword) + " " + Korvel() + " check --model " + model +
                        " --source " + ShellQuote(source) + (with_server ? Login(shop) : ""),
                    report);
}

ReportedRun KorvelRun(const EmbeddedShop& shop, const std::string& model, const std::string& source,
                      const std::string& report) {
  return WithReport("KPW=" + std::string(EmbeddedShop::kPassword) + " " + Korvel() + " run --model " + model +
                        " --source " + ShellQuote(source) + Login(shop),
                    report);
}

std::string WriteRetypedSource(const EmbeddedShop& shop, const std::string& name,
                               const std::map<std::string, std::string>& tables,
                               const std::map<std::string, std::string>& retyped) {
  std::istringstream in(ReadFile(TestDataDir() + "/../../data/schema56.tsv"));
  std::string schema;
  std::size_t found = 0;
  for (std::string line; std::getline(in, line);) {
    for (const auto& [column, type] : retyped) {
      if (line.rfind(column + "\t", 0) == 0) {
        const std::size_t required = line.rfind('\t');  // the last field: required or not
        line = column + "\t" + type + line.substr(required);
        ++found;
      }
    }
    schema += line + "\n";
  }
  if (found != retyped.size()) throw std::runtime_error("a retyped column is not in the 5.6 schema");
  const std::string schema_file = shop.dir.File(name + ".schema.tsv");
  WriteFile(schema_file, schema);

  const std::string path = shop.dir.File(name);
  std::string command = Korvel() + " mdb-write --schema " + ShellQuote(schema_file) + " --out " + ShellQuote(path);
  for (const auto& [table, tsv] : tables) {
    const std::string file = shop.dir.File(name + "." + table + ".tsv");
    WriteFile(file, tsv);
    command += " " + ShellQuote(table + "=" + file);
  }
  const auto r = RunCommand(command);
  if (r.exit_code != 0) throw std::runtime_error("korvel mdb-write failed: " + r.err);
  return path;
}

bool AgreementCase::fails() const { return std::string(kind) != "cut" && std::string(kind) != "replaced"; }

void PrintTo(const AgreementCase& c, std::ostream* os) { *os << c.name; }

namespace {

std::string Times(int n, const std::string& s) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const char kRegions[] = "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR1\t北京\n2\t华东\tR2\t上海\n";
const char kGoods[] = "GoodsID\tClass\tGdsName\nG1\t01\t大米\nG2\t01\t面粉\nG3\t01\t食盐\n";
const char kBases[] = "BaseID\tBaseCode\tBaseName\n5\t05\t总仓\n9\t09\t门店\n";
const char kCustomers[] = "UnitID\tIsUsed\tRegionID\tClass\tPriceID\tBalAmo\n";
const char kOrphans[] = "UnitID\tIsUsed\tRegionID\tClass\tPriceID\tBalAmo\nC1\t1\t1\t批发\t1\t10\n"
                       "C2\t1\t2\t批发\t1\t20\nC3\t1\t9\t批发\t1\t30\nC4\t1\t1\t批发\t1\t40\n";
const char kSuppliers[] = "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\n";
const char kStock[] = "BaseID\tGoodsID\tBalQua\tBalAmo\n5\tG1\t4\t10\n9\tG2\t3\t10\n";
const char kMembers[] = "MemberID\tCardID\tName\tBirthy\tType\tClass\nM1\tK1\t甲\t1980-01-02\t1\t金卡\n"
                        "M2\tK2\t乙\t1990-03-04\t1\t银卡\n";
const char kEmployees[] = "Code\tName\tDepID\nE1\t甲\t1\nE2\t乙\t1\n";

}  // namespace

const std::vector<AgreementCase>& AgreementCases() {
  static const std::vector<AgreementCase> cases = {
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
      {"CustomerOfAMissingRegion", "C5to6CustSuppNoWriteAccount", {{"Region", kRegions}, {"Customer", kOrphans}}, {},
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


const AgreementCase& AgreementCaseNamed(std::string_view name) {
  for (const AgreementCase& c : AgreementCases()) {
    if (c.name == name) return c;
  }
  throw std::runtime_error("no case " + std::string(name));
}

void EmptyUpgradedTables(const EmbeddedShop& shop) {
  sqlsrv::Engine(shop.database_file, EmbeddedShop::kDatabase, "sa")
      .Execute("delete from Custody; delete from CustAcc; delete from SuppAcc; delete from gdsCom; "
               "delete from bBalance; delete from GoodsIDList; delete from Goods; delete from gdsClass; "
               "delete from Base; delete from Customer; delete from Supplier; delete from Region; "
               "delete from Member; delete from Employee; delete from Depart");
}

}  // namespace testing_support
