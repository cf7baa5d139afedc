// The columns of the results the engine produces: each value's static type
// (as the translator types expressions) and, when the value is a column's,
// that column's type, nullability and identity property.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

// Browse mode's account of a result (FOR BROWSE, SET NO_BROWSETABLE ON):
// each column's table and name there. The columns the query did not ask
// for, its tables' key and timestamp columns, come last, hidden.
struct BrowseColumn {
  std::size_t table = 0;    // the table it is read from, into BrowseInfo::tables from 1; 0 for none
  bool expression = false;  // a value the query computes, or reads from no table
  bool key = false;         // a column of its table's key
  bool hidden = false;      // added for browsing, not asked for
  std::string real_name;    // its table's name for it when the result names it otherwise; "" when the same
};

struct BrowseInfo {
  std::vector<std::vector<std::string>> tables;  // the tables read, each as its name's parts
  std::vector<BrowseColumn> columns;             // one a result column
};

// How many of a result's columns are shown: all but the hidden ones after
// them.
inline std::size_t VisibleColumnCount(const std::vector<OutputColumn>& columns, const std::optional<BrowseInfo>& browse) {
  std::size_t n = columns.size();
  if (!browse) return n;
  while (n > 0 && n <= browse->columns.size() && browse->columns[n - 1].hidden) --n;
  return n;
}

}  // namespace sqlsrv
