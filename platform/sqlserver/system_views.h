// The INFORMATION_SCHEMA views the embedded server answers, read from the
// catalog with SQL Server's columns and types: COLUMNS (one row per column
// of each table, with its default as written), TABLE_CONSTRAINTS (one row
// per primary key, unique key and foreign key), KEY_COLUMN_USAGE (one
// row per column of each of them) and REFERENTIAL_CONSTRAINTS (one row per
// foreign key, naming the key it refers to). Their catalog is the database's name,
// their schema dbo. Queries use a view as a derived table: a SQLite SELECT
// of its rows as they stand when the query is translated.
#pragma once

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

}  // namespace sqlsrv
