// Running `korvel check` and `korvel run` of one plan on one source file
// against a shop, and reading the JSON reports both write.
#pragma once

#include <map>
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

  friend bool operator==(const Json&, const Json&) = default;

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

// Empties every table an upgrade plan writes, the ledgers and the custody
// book first, so that any plan's clearing steps can run next.
void EmptyUpgradedTables(const EmbeddedShop& shop);

}  // namespace testing_support
