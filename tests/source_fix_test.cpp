// The fix list and the corrected copy of a 5.6 file: the list read back as
// an operator leaves it, every wrong line refused before anything is
// written, and the copy compared with the source through mdb-export, which
// shares no code with our reader or writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "library/assurance/fix_list.h"
#include "library/assurance/report_pdf.h"
#include "library/assurance/source_fix.h"
#include "platform/com/error.h"
#include "platform/jet/reader.h"
#include "platform/jet/writer.h"
#include "tests/support/files.h"

namespace {

using assurance::FixAction;
using assurance::FixLine;
using com::Variant;
using jet::ColumnType;
using testing_support::ExportedTables;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr char kBom[] = "\xEF\xBB\xBF";

// The error a call raises: its description ("" when it raises none).
std::string FaultOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const com::Error& e) {
    return e.description();
  }
  return "";
}

// ------------------------------------------------------------ the list

TEST(FixList, ColumnsAreFoundByNameAndUnfilledLinesChangeNothing) {
  const auto lines = assurance::ParseFixList(std::string(kBom) +
                                             "操作,新值,列,行号,表,备注\r\n"
                                             ",,Class,3,Region,\r\n"  // not filled in
                                             ",\"华南,东\",Class,4,Region,x\r\n"
                                             "置空,,RegionID,2,Customer,\r\n"
                                             "\r\n"
                                             " 删除 ,,,7,Customer,\r\n"
                                             "删除,,Class,7,customer,\r\n");  // the same row again
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].action, FixAction::kNone);
  EXPECT_EQ(lines[1].action, FixAction::kSet);
  EXPECT_EQ(lines[1].new_value, "华南,东");
  EXPECT_EQ(lines[1].row, 4);
  EXPECT_EQ(lines[2].action, FixAction::kSetNull);
  EXPECT_EQ(lines[3].action, FixAction::kDelete);
  EXPECT_EQ(lines[3].line, 6u);  // the blank line is counted
  EXPECT_EQ(lines[4].action, FixAction::kDelete);
}

TEST(FixList, EveryFaultyLineIsNamedAtOnce) {
  const std::string fault = FaultOf([] {
    assurance::ParseFixList(
        "表,行号,键,列,当前值,问题,新值,操作\n"
        "Region,3,,Class,,,x,改\n"          // 2: unknown action
        "Region,,,Class,,,x,\n"             // 3: no row
        "Region,三,,Class,,,x,\n"           // 4: not a number
        ",3,,Class,,,x,\n"                  // 5: no table
        "Region,3,,,,,x,\n"                 // 6: no column
        "Region,5,,Class,,,x,删除\n"        // 7: a value and a removal
        "Region,8,,Class,,,x,\n"
        "Region,8,,Class,,,y,\n"            // 9: another value for the same one
        "Region,8,,Class,,,x,\n"            // the same value again: fine
        "Region,8,,,,,,删除\n");            // 11: the row changed above
  });
  for (const int line : {2, 3, 4, 5, 6, 7, 9, 11}) {
    EXPECT_NE(fault.find("第 " + std::to_string(line) + " 行："), std::string::npos) << line << "\n" << fault;
  }
  for (const int line : {8, 10}) EXPECT_EQ(fault.find("第 " + std::to_string(line) + " 行："), std::string::npos);
  EXPECT_NE(FaultOf([] { assurance::ParseFixList("表,行号,列\nRegion,3,Class\n"); }).find("“新值”、“操作”"),
            std::string::npos);
}

// ------------------------------------------------------------ the copy

// A keyed source of the types a 5.6 file has, with a password.
constexpr char kPassword[] = "店pw";

void WriteShop(const std::string& path) {
  jet::Writer w(path, {.password = kPassword});
  w.BeginTable({"Region", {{"RegionID", ColumnType::kLong}, {"Class", ColumnType::kText, 10}}, {}});
  for (int i = 1; i <= 3; ++i) w.AppendRow({Variant::I4(i), Variant::Text("区" + std::to_string(i))});
  w.EndTable();
  w.BeginTable({"Customer",
                {{"UnitID", ColumnType::kText, 10, true},
                 {"RegionID", ColumnType::kLong},
                 {"PriceID", ColumnType::kInteger},
                 {"BalAmo", ColumnType::kCurrency},
                 {"OpTime", ColumnType::kDateTime},
                 {"IsUsed", ColumnType::kBoolean},
                 {"Remark", ColumnType::kMemo}},
                {{"PrimaryKey", {{"UnitID"}}, true, true, false, true}}});
  for (int i = 1; i <= 5; ++i) {
    w.AppendRow({Variant::Text("C" + std::to_string(i)), Variant::I4(i == 3 ? 9 : 1), Variant::I2(1),
                 Variant::Currency(i * 100000), Variant::Date(46000 + i), Variant::Bool(true), Variant::Null()});
  }
  w.EndTable();
  w.Finish();
}

std::vector<FixLine> List(const std::string& body) {
  return assurance::ParseFixList(std::string(assurance::kFixListHeader) + "\n" + body);
}

TEST(SourceFix, TheCopyIsTheSourceWithTheListedChangesAndKeepsItsPassword) {
  VK_SKIP_ON_WINDOWS("mdbtools' mdb-tables and mdb-export to read the files back");
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), copy = dir.File("shop-fixed.mdb");
  WriteShop(source);
  const std::string before = ReadFile(source);
  const auto record = assurance::FixSource(source, {.password = kPassword},
                                           List("Customer,3,UnitID=C3,RegionID,9,,2,\n"
                                                "Customer,3,UnitID=C3,BalAmo,,, 12.5 ,\n"
                                                "Customer,2,UnitID=C2,OpTime,,,2026/1/2,\n"
                                                "Customer,4,UnitID=C4,IsUsed,,,否,\n"
                                                "Customer,1,UnitID=C1,Remark,,,第一行\n"
                                                "Region,2,,Class,,,,置空\n"
                                                "Customer,5,UnitID=C5,,,,,删除\n"
                                                "Customer,5,UnitID=C5,BalAmo,,,,删除\n"),
                                           "list.csv", copy);

  EXPECT_EQ(ReadFile(source), before);
  auto expected = ExportedTables(source);
  auto& customers = expected.at("Customer");
  ASSERT_EQ(customers.size(), 6u);  // the header and five rows
  EXPECT_EQ(customers[3], "\"C3\",9,1,30.0000,\"2025-12-12 00:00:00\",1,");
  customers[1] = "\"C1\",1,1,10.0000,\"2025-12-10 00:00:00\",1,\"第一行\"";
  customers[2] = "\"C2\",1,1,20.0000,\"2026-01-02 00:00:00\",1,";
  customers[3] = "\"C3\",2,1,12.5000,\"2025-12-12 00:00:00\",1,";
  customers[4] = "\"C4\",1,1,40.0000,\"2025-12-13 00:00:00\",0,";
  customers.pop_back();
  expected.at("Region")[2] = "2,";
  EXPECT_EQ(ExportedTables(copy), expected);

  // The copy opens with the source's password and with no other.
  EXPECT_NO_THROW(jet::Database(copy, {.password = kPassword}));
  EXPECT_NE(FaultOf([&] { jet::Database db(copy); }), "");

  // What changed, in the list's order, as printed and as kept beside the copy.
  using Change = assurance::FixChange;
  const std::vector<Change> changes = {
      {"Customer", 3, "UnitID=C3", false, "RegionID", "9", "2"},
      {"Customer", 3, "UnitID=C3", false, "BalAmo", "30.0000", "12.5000"},
      {"Customer", 2, "UnitID=C2", false, "OpTime", "2025-12-11 00:00:00", "2026-01-02 00:00:00"},
      {"Customer", 4, "UnitID=C4", false, "IsUsed", "True", "False"},
      {"Customer", 1, "UnitID=C1", false, "Remark", std::nullopt, "第一行"},
      {"Region", 2, "", false, "Class", "区2", std::nullopt},
      {"Customer", 5, "UnitID=C5", true, "", std::nullopt, std::nullopt},
  };
  const auto kept = assurance::FixRecordFromJson(ReadFile(dir.File("shop-fixed.fixes.json")));
  for (const auto* r : {&record, &kept}) {
    ASSERT_EQ(r->changes.size(), changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
      const Change& a = r->changes[i];
      const Change& b = changes[i];
      EXPECT_TRUE(a.table == b.table && a.row == b.row && a.key == b.key && a.removed == b.removed &&
                  a.column == b.column && a.old_value == b.old_value && a.new_value == b.new_value)
          << "change " << i;
    }
    EXPECT_EQ(r->source.sha256, assurance::IdentifyFile(source).sha256);
    EXPECT_EQ(r->copy.sha256, assurance::IdentifyFile(copy).sha256);
    EXPECT_EQ(r->list, "list.csv");
  }
}

TEST(SourceFix, AListThatDoesNotFitTheSourceIsRefusedLineByLineAndNothingIsWritten) {
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), copy = dir.File("copy.mdb");
  WriteShop(source);
  const std::string before = ReadFile(source);
  const std::string fault = FaultOf([&] {
    assurance::FixSource(source, {.password = kPassword},
                         List("Customer,1,UnitID=C1,RegionID,,,1,\n"        // 2: fine
                              "Supplier,1,,Class,,,x,\n"                     // 3: no such table
                              "Customer,1,UnitID=C1,Region,,,1,\n"           // 4: no such column
                              "Customer,2,UnitID=C2,\"UnitID, RegionID\",,,1,\n"  // 5: two columns
                              "Customer,9,UnitID=C9,,,,,删除\n"              // 6: past the last row
                              "Customer,3,UnitID=C4,RegionID,,,1,\n"         // 7: another row's key
                              "Customer,4,UnitID=C4,RegionID,,,一,\n"        // 8: not a number
                              "Customer,4,UnitID=C4,PriceID,,,40000,\n"      // 9: past Integer
                              "Customer,4,UnitID=C4,BalAmo,,,1.23456,\n"     // 10: five decimals
                              "Customer,4,UnitID=C4,OpTime,,,2026-13-01,\n"  // 11: no such month
                              "Customer,4,UnitID=C4,IsUsed,,,也许,\n"        // 12: not yes or no
                              "Region,1,,Class,,,十一个字的地区名称啊啊,\n"  // 13: longer than Text(10)
                              "Customer,5,UnitID=C5,UnitID,,,,置空\n"         // 14: required
                              "Customer,5,Unit=C5,RegionID,,,1,\n"),          // 15: not a key of the table
                         "list.csv", copy);
  });
  for (int line = 3; line <= 15; ++line) {
    EXPECT_NE(fault.find("第 " + std::to_string(line) + " 行："), std::string::npos) << line << "\n" << fault;
  }
  EXPECT_EQ(fault.find("第 2 行："), std::string::npos) << fault;
  EXPECT_NE(fault.find("这一行的键是“UnitID=C3”，清单上是“UnitID=C4”"), std::string::npos) << fault;
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_FALSE(std::filesystem::exists(dir.File("copy.fixes.json")));
  EXPECT_EQ(ReadFile(source), before);
}

TEST(SourceFix, NeitherAnExistingCopyNorItsRecordIsOverwritten) {
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), copy = dir.File("copy.mdb");
  WriteShop(source);
  const auto lines = List("Region,1,,Class,,,北,\n");
  for (const std::string& there : {copy, dir.File("copy.fixes.json")}) {
    WriteFile(there, "keep");
    EXPECT_NE(FaultOf([&] { assurance::FixSource(source, {.password = kPassword}, lines, "l.csv", copy); }), "");
    EXPECT_EQ(ReadFile(there), "keep");
    std::filesystem::remove(there);
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
}

TEST(SourceFix, AJet3SourceGivesAJet4CopyWithTheChanges) {
  VK_SKIP_ON_WINDOWS("mdbtools' mdb-tables and mdb-export to read the files back");
  TempDir dir;
  const std::string source = testing_support::JetTestDataDir() + "/V1997_test.mdb", copy = dir.File("fixed.mdb");
  const std::string before = ReadFile(source);
  auto expected = ExportedTables(source);
  auto& rows = expected.at("Table1");
  ASSERT_GE(rows.size(), 3u);
  ASSERT_EQ(rows[2], "\"abcdefg\",\"hijklmnop\",2,222,333333333,444.555,\"1974-09-21 00:00:00\",3.5000,1");
  rows[2] = "\"改过\",\"hijklmnop\",2,-5,333333333,444.555,\"2026-01-02 08:30:00\",3.5000,0";

  assurance::FixSource(source, {},
                       List("Table1,2,A=abcdefg,A,,,改过,\nTable1,2,,D,,,-5,\nTable1,2,,G,,,2026-01-02 08:30,\n"
                            "Table1,2,,I,,,False,\n"),
                       "l.csv", copy);
  EXPECT_EQ(ReadFile(source), before);
  EXPECT_EQ(jet::Database(copy).version(), jet::Version::kJet4);
  EXPECT_EQ(ExportedTables(copy), expected);
}

// ------------------------------------------------------------ the report

TEST(SourceFix, TheReportOfACopyListsTheChangesWhileTheCopyIsUnchanged) {
  VK_SKIP_ON_WINDOWS("Poppler's pdftotext to read the PDF back");
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), copy = dir.File("fixed.mdb");
  WriteShop(source);
  assurance::FixSource(source, {.password = kPassword},
                       List("Customer,3,UnitID=C3,RegionID,9,,2,\nCustomer,5,UnitID=C5,,,,,删除\n"), "list.csv", copy);
  auto begin = [&] { return assurance::BeginReport(assurance::Report::Kind::kRun, "C5to6Normal", "", copy, "s", "sa", "D"); };

  assurance::Report report = begin();
  report.result = assurance::RunOutcome::kSuccess;
  ASSERT_TRUE(report.fixes.has_value());
  EXPECT_EQ(report.fixes->changes.size(), 2u);
  const auto back = assurance::ReportFromJson(assurance::ToJson(report));
  ASSERT_TRUE(back.fixes.has_value());
  EXPECT_EQ(back.fixes->source.sha256, report.fixes->source.sha256);
  EXPECT_EQ(back.fixes->changes.size(), 2u);

  assurance::WriteReportPdf(report, dir.File("r.pdf"));
  const auto text = RunCommand("pdftotext -layout " + ShellQuote(dir.File("r.pdf")) + " -");
  for (const char* shown : {"源文件的修正", "列“RegionID”由 “9” 改为 “2”", "删除整行", "以及对原文件所做的上列修正"}) {
    EXPECT_NE(text.out.find(shown), std::string::npos) << shown;
  }

  // The copy written again after the fix: the record no longer speaks for it.
  WriteFile(copy, ReadFile(copy) + "x");
  const assurance::Report changed = begin();
  EXPECT_FALSE(changed.fixes.has_value());
  EXPECT_NE(changed.fixes_note.find("SHA-256 不同"), std::string::npos);
}

}  // namespace
