// From the check's findings to a clean run, through the commands an
// operator types: `korvel check --fixes` writes the list, one value (or a
// removal) is filled in, `korvel fix` writes the copy, and on the copy the
// check is clean, the run succeeds and its report lists the change. The
// copy is compared with the source table by table through mdb-export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/json.h"
#include "tests/support/check_cases.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace {

using testing_support::AgreementCase;
using testing_support::ExportedTables;
using com::Json;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

// An agreement case of each kind of problem, and what mends its row: a
// value for the column at fault, or the row removed.
struct FixCase {
  const char* name;
  const char* value;  // "" removes the row
};
constexpr char kRemove[] = "";

const FixCase kFixCases[] = {
    {"EmployeeWithoutName", "丙"},                   // not_null
    {"CustomerClassCutToItsBytes", "批发"},          // cut
    {"SupplierClassOutsideTheCodePage", "供"},       // replaced
    {"MemberBornBefore1753", "1990-05-06"},          // out_of_range
    {"EmployeeDepartmentNotANumber", "2"},           // conversion
    {"SupplierTwice", kRemove},                      // duplicate_key
    {"CombinationTwice", kRemove},                   // duplicate_key of two columns
    {"CustomerOfAMissingRegion", "2"},               // foreign_key
    {"FullStockOfAMissingGoods", "G3"},              // foreign_key, through a script transformation
};

class FixAgreement : public testing_support::ShopSuite<FixCase> {};

std::string Korvel() { return ShellQuote(testing_support::BinDir() + "/korvel"); }

// The fields of a CSV line (no quotes inside quotes in these).
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) fields.emplace_back();
    else fields.back() += c;
  }
  return fields;
}

TEST_P(FixAgreement, AFilledInListGivesACopyOnWhichTheCheckIsCleanAndTheRunSucceeds) {
  const FixCase& fix = GetParam();
  const AgreementCase& c = testing_support::AgreementCaseNamed(fix.name);
  const std::string name = std::string(c.name) + ".fix.mdb";
  const std::string source = c.retyped.empty() ? shop().WriteSource(name, c.tables)
                                               : testing_support::WriteRetypedSource(shop(), name, c.tables, c.retyped);
  const std::string before = ReadFile(source);
  const std::string list = shop().dir.File(std::string(c.name) + ".csv");
  const std::string copy = shop().dir.File(std::string(c.name) + ".fixed.mdb");
  auto check = [&](const std::string& file) {
    return RunCommand(Korvel() + " check --model " + c.plan + " --source " + ShellQuote(file) + " --fixes " +
                      ShellQuote(list));
  };

  const auto found = check(source);
  EXPECT_EQ(found.exit_code, c.fails() ? 2 : 1) << found.out << found.err;

  // The operator fills in the case's line, found by its table and row.
  std::string text = ReadFile(list);
  const std::string head = "\r\n" + std::string(c.table) + "," + std::to_string(c.row) + ",";
  const std::size_t at = text.find(head);
  ASSERT_NE(at, std::string::npos) << text;
  const std::size_t end = text.find("\r\n", at + 2);
  ASSERT_EQ(text.substr(end - 2, 2), ",,");
  const bool remove = std::string(fix.value).empty();
  text.replace(end - 2, 2, remove ? std::string(",,删除") : "," + std::string(fix.value) + ",");
  const std::vector<std::string> line = Fields(text.substr(at + 2, end - at - 2));
  testing_support::WriteFile(list, text);

  const auto fixed = RunCommand(Korvel() + " fix --source " + ShellQuote(source) + " --fixes " + ShellQuote(list) +
                                " --out " + ShellQuote(copy));
  ASSERT_EQ(fixed.exit_code, 0) << fixed.out << fixed.err;
  EXPECT_EQ(ReadFile(source), before);

#ifndef _WIN32  // mdbtools' mdb-export reads the files back (Linux only)
  // The copy is the source but for that one row.
  const std::string column = line.at(3);
  auto expected = ExportedTables(source);
  std::vector<std::string>& rows = expected.at(c.table);
  const std::vector<std::string> header = Fields(rows.at(0));
  std::string& row = rows.at(static_cast<std::size_t>(c.row));
  if (remove) {
    rows.erase(rows.begin() + c.row);
  } else {
    std::vector<std::string> values = Fields(row);
    std::size_t i = 0;
    while (i < header.size() && header[i] != column) ++i;
    ASSERT_LT(i, header.size()) << column;
    EXPECT_NE(values[i].rfind(fix.value, 0), 0u) << "the value was already " << fix.value;
    const auto copied = Fields(ExportedTables(copy).at(c.table).at(static_cast<std::size_t>(c.row)));
    ASSERT_EQ(copied.size(), values.size());
    EXPECT_EQ(copied[i].rfind(fix.value, 0), 0u) << copied[i];
    values[i] = copied[i];
    row = "";  // compared field by field above
    for (std::size_t k = 0; k < values.size(); ++k) EXPECT_TRUE(k == i || copied[k] == values[k]) << header[k];
  }
  auto actual = ExportedTables(copy);
  if (!remove) actual.at(c.table).at(static_cast<std::size_t>(c.row)) = "";
  EXPECT_EQ(actual, expected);
#endif

  const auto clean = check(copy);
  EXPECT_EQ(clean.exit_code, 0) << clean.out << clean.err;

  testing_support::EmptyUpgradedTables(shop());
  const auto run = testing_support::KorvelRun(shop(), c.plan, copy, shop().dir.File("run.json"));
  EXPECT_EQ(run.command.exit_code, 0) << run.command.out << run.command.err;
  const Json report = Json::Parse(run.report);
  ASSERT_TRUE(report.Has("source_fixes")) << run.report;
  const Json& changes = report["source_fixes"]["changes"];
  ASSERT_EQ(changes.items().size(), 1u);
  EXPECT_EQ(changes.items()[0]["table"].text(), c.table);
  EXPECT_EQ(changes.items()[0]["row"].integer(), c.row);
  EXPECT_EQ(changes.items()[0].Has("removed"), remove);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FixAgreement, ::testing::ValuesIn(kFixCases),
                         [](const ::testing::TestParamInfo<FixCase>& param) { return std::string(param.param.name); });

}  // namespace
