// The small 5.6 files on which `korvel check` and `korvel run` must agree,
// running both commands of one plan on one file against a shop, and
// reading the JSON reports they write.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace testing_support {

// The outcome of one command and the report it wrote ("" when it wrote
// none).
struct ReportedRun {
  CommandResult command;
  std::string report;
};

// `korvel check --model model --source source`, with its report in
// `report`; against the shop's Sales60 when `with_server`, else from the
// 6.0 creation script alone.
ReportedRun KorvelCheck(const EmbeddedShop& shop, const std::string& model, const std::string& source,
                        bool with_server, const std::string& report);

// `korvel run` of the model from `source` into the shop's Sales60, with its
// report in `report`.
ReportedRun KorvelRun(const EmbeddedShop& shop, const std::string& model, const std::string& source,
                      const std::string& report);

// Writes a 5.6 file at shop.dir/`name` from TSV texts, as
// EmbeddedShop::WriteSource does, on the 5.6 schema with some columns of
// another type: `retyped` maps "Table\tColumn" to "Type\tSize", e.g.
// {"Member\tType", "Long\t"}, as a site that widened a column has it.
std::string WriteRetypedSource(const EmbeddedShop& shop, const std::string& name,
                               const std::map<std::string, std::string>& tables,
                               const std::map<std::string, std::string>& retyped);

// One bad row in a small 5.6 file, and where `korvel check` and `korvel
// run` must both place it.
struct AgreementCase {
  const char* name;
  const char* plan;
  std::map<std::string, std::string> tables;   // the 5.6 file: a TSV text per table
  std::map<std::string, std::string> retyped;  // columns of another type, as WriteRetypedSource takes them
  const char* kind;    // the problem the check reports
  const char* table;
  const char* column;  // for a key, its columns joined by ", "
  int row;             // the row's position among its table's rows
  const char* key;
  int number = 0;      // SQL Server's error number, where the kind alone fixes it
  const char* parent = "";  // for a foreign key, the table it refers to
  // For a cut: a query for the value the run stored and what it must be,
  // and the lengths before and after, counted as the column counts them
  // (UTF-16 units for nvarchar, code page 936 bytes for varchar).
  const char* stored_query = "";
  std::string stored = "";
  int original_length = 0;
  int cut_length = 0;

  // Whether the run fails on the row (else it cuts a value of it).
  bool fails() const;
};
// gtest names a case by its name.
void PrintTo(const AgreementCase& c, std::ostream* os);

// Every plan with each kind of problem its tables can have, one bad row
// each, never the first row of its table.
const std::vector<AgreementCase>& AgreementCases();
const AgreementCase& AgreementCaseNamed(std::string_view name);

// A parameterized suite whose cases share one shop: each case empties
// what an earlier one left (EmptyUpgradedTables) where it needs to.
template <class Param>
class ShopSuite : public ::testing::TestWithParam<Param> {
 protected:
  static void SetUpTestSuite() { shop_ = std::make_unique<EmbeddedShop>(); }
  static void TearDownTestSuite() { shop_.reset(); }
  static const EmbeddedShop& shop() { return *shop_; }

 private:
  static inline std::unique_ptr<EmbeddedShop> shop_;
};

// Empties every table an upgrade plan writes, the ledgers and the custody
// book first, so that any plan's clearing steps can run next.
void EmptyUpgradedTables(const EmbeddedShop& shop);

}  // namespace testing_support
