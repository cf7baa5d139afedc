// The columns of the results the engine produces: each value's static type
// (as the translator types expressions) and, when the value is a column's,
// that column's type, nullability and identity property.
#pragma once

#include <optional>
#include <string>

#include "platform/sqlserver/types.h"

namespace sqlsrv {

// The static type of an expression.
enum class VT { kNull, kInt, kBit, kMoney, kDecimal, kFloat, kString, kDate, kBool, kBinary, kGuid, kVariant };

// The static type of a column type.
VT TypeOf(const ColumnType& t);

struct OutputColumn {
  std::string name;
  VT type = VT::kNull;
  std::optional<ColumnType> column;  // when the value is a column's
  bool nullable = true;   // false only for a NOT NULL column read as it is
  bool identity = false;  // the table's identity column read as it is
  // Text's SQLite collation when not the server's ("VKCS", "VKBIN"): a
  // column declared with another COLLATE, or an expression given one.
  std::string collation;
};

}  // namespace sqlsrv
