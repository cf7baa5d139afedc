// The INFORMATION_SCHEMA views the embedded server answers, read from the
// catalog with SQL Server's columns and types: COLUMNS (one row per column
// of each table, with its default as written), TABLE_CONSTRAINTS (one row
// per primary key, unique key and foreign key), KEY_COLUMN_USAGE (one
// row per column of each of them) and REFERENTIAL_CONSTRAINTS (one row per
// foreign key, naming the key it refers to). Their catalog is the database's name,
// their schema dbo. Queries use a view as a derived table: a SQLite SELECT
// of its rows as they stand when the query is translated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sqlserver/ast.h"
#include "platform/sqlserver/catalog.h"
#include "platform/sqlserver/result_column.h"

namespace sqlsrv {

struct SystemView {
  std::string name;                   // as SQL Server spells it: "TABLE_CONSTRAINTS"
  std::string sql;                    // its rows, the columns named c1, c2 ...
  std::vector<OutputColumn> columns;  // named and typed as on SQL Server
};

// True when a name is qualified by the INFORMATION_SCHEMA schema (any case),
// whether or not the view exists.
bool InInformationSchema(const ast::ObjectName& name);

// True when `name` denotes one of the views above in `database` (the
// connection's database; a name qualified by another database does not).
bool SystemViewExists(const ast::ObjectName& name, const std::string& database);

// The view `name` denotes, with the rows `catalog` describes for
// `database`; raises 208 "Invalid object name" for a view the server does
// not have.
SystemView InformationSchemaView(const ast::ObjectName& name, const Catalog& catalog, const std::string& database);

// Every INFORMATION_SCHEMA view the server has, named and with its columns
// as above, without rows (`sql` empty).
std::vector<SystemView> InformationSchemaViews();

// What the views derive from the catalog and other readers of it share:

// A column's default as SQL Server keeps it, the expression as written in
// parentheses ("(0)", "(getdate())"); nullopt when it has none.
std::optional<std::string> KeptDefault(const ColumnMeta& column);

// A character type's maximum length in characters and in bytes, as
// COLUMNS gives them: the declared length (twice it in bytes for the
// Unicode types), 2147483647 for text, 1073741823 characters in
// 2147483646 bytes for ntext, -1 and -1 for (max). nullopt for the other
// types.
struct CharacterLengths {
  std::int64_t characters = 0;
  std::int64_t octets = 0;
};
std::optional<CharacterLengths> CharacterLengthsOf(const ColumnType& type);

// The primary or unique key of the referenced table that a foreign key
// refers to: the one made of the referenced columns, in any order. Null
// when the referenced table or such a key is missing.
const KeyMeta* ReferencedKey(const Catalog& catalog, const ForeignKeyMeta& foreign_key);

}  // namespace sqlsrv
