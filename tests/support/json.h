// JSON for tests that read what the programs write (their reports): a
// strict reader, apart from the JSON the product writes and reads, so that
// a fault of the product's writer is not matched by the same fault here.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

}  // namespace testing_support
