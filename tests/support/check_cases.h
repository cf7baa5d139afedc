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

// A JSON value, read strictly: a report that is not well-formed JSON (a
// control character or a lone quote left unescaped, a trailing comma)
// fails the test that reads it.
class Json {
 public:
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };

  // Raises std::runtime_error naming the offset of the first fault.
  static Json Parse(std::string_view text);

  Type type() const { return type_; }
  bool is_null() const { return type_ == Type::kNull; }
  // The value of a bool, number or string; raises std::runtime_error when
  // the value is of another type.
  bool boolean() const;
  long long integer() const;  // a number without a fraction
  const std::string& text() const;
  // An array's items, an object's members (in the order written).
  const std::vector<Json>& items() const;
  const std::vector<std::pair<std::string, Json>>& members() const;
  bool Has(std::string_view key) const;
  // An object's member; raises std::runtime_error when it is missing.
  const Json& operator[](std::string_view key) const;

  // The value written again as compact JSON, for failure messages.
  std::string Dump() const;

  friend bool operator==(const Json&, const Json&) = default;
  friend void PrintTo(const Json& value, std::ostream* os) { *os << value.Dump(); }

 private:
  friend class JsonReader;
  Type type_ = Type::kNull;
  bool boolean_ = false;
  std::string text_;  // a string's value, or a number as written
  std::vector<Json> items_;
  std::vector<std::pair<std::string, Json>> members_;
};

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
