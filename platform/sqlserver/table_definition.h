// What a SQL Server table holds a row to: its columns as a bulk load sees
// them, their defaults, its primary and unique keys and its foreign keys.
// Read through any session of a SQL Server, the embedded one or one over
// the network, from the INFORMATION_SCHEMA views; reads only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"

namespace sqlsrv {

struct KeyDefinition {
  std::string name;
  bool primary = false;
  std::vector<std::string> columns;  // in key order
};

struct ForeignKeyDefinition {
  std::string name;
  std::vector<std::string> columns;         // of this table
  std::string parent_table;                 // the table referred to
  std::vector<std::string> parent_columns;  // paired with `columns` by position
};

struct TableDefinition {
  std::string table;                     // its name: "Customer"
  std::vector<dts::ColumnInfo> columns;  // in table order
  std::vector<std::string> defaults;     // each column's default as written ("((1))"); "" for none
  std::vector<KeyDefinition> keys;
  std::vector<ForeignKeyDefinition> foreign_keys;

  // The index of a column (any case), or -1.
  int Find(std::string_view column) const;
};

// The last part of a table's name as a statement writes it: "Customer" for
// "[Shop].[dbo].[Customer]" or "dbo.Customer" ("]]" read as "]").
std::string TableNameOf(std::string_view object_name);

// The definition of the table `object_name` names, read through `session`
// (connected to the table's database). Raises the server's error when the
// table is not there.
TableDefinition ReadTableDefinition(dts::Session& session, std::string_view object_name);

}  // namespace sqlsrv
