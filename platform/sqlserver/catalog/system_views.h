// The views of the catalog the embedded server answers, each with SQL
// Server's columns (names, order, types: sysname is nvarchar(128)) and rows
// read from the database's catalog, so that a tool reading them by name or
// by position finds what SQL Server gives:
//
//   INFORMATION_SCHEMA: TABLES, VIEWS, COLUMNS, TABLE_CONSTRAINTS,
//     KEY_COLUMN_USAGE, REFERENTIAL_CONSTRAINTS, CHECK_CONSTRAINTS,
//     ROUTINES, PARAMETERS, SCHEMATA. Their catalog is the database's name,
//     their schema dbo.
//   sys (the catalog views of SQL Server 2005, with the columns that
//     release documents): objects, tables, views, columns, types, schemas,
//     indexes, index_columns, foreign_keys, foreign_key_columns,
//     key_constraints, default_constraints, procedures, sql_modules,
//     identity_columns, databases, server_principals.
//   The system tables of SQL Server 2000 (dbo, or no schema): syscolumns,
//     systypes, sysindexes, sysusers, sysdatabases, syscomments. sysobjects
//     is a table of the catalog itself (Translator::SysObjects).
//
// Object ids are the catalog's (catalog.h); a column's DEFAULT constraint
// is an object of its own (type D) with the id DefaultConstraintId gives.
// Indexes are the keys: a primary key is the clustered index 1, unique
// keys are nonclustered indexes numbered from 2 in declaration order, and
// a table without a primary key is a heap (index 0). The server has no
// views, no CHECK constraints and no user types: VIEWS and
// CHECK_CONSTRAINTS are empty, sys.types lists the server's own types.
// The server-wide views (sys.databases, sys.server_principals,
// sysdatabases) list the databases and logins of the server folder the
// database is in, and may be qualified with master.
//
// Columns SQL Server documents as binary, varbinary or image have those
// types and hold NULL (the server keeps no security ids, statistics or
// compiled texts); sql_variant columns hold the value as bigint.
//
// Queries use a view as a derived table: a SQLite SELECT of its rows as
// they stand when the query is translated, every value a literal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlserver/frontend/ast.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/result_column.h"
#include "platform/sqlserver/translation/translate.h"

namespace sqlsrv {

struct SystemView {
  std::string name;                   // as SQL Server spells it: "TABLE_CONSTRAINTS"
  std::string sql;                    // its rows, the columns named c1, c2 ...
  std::vector<OutputColumn> columns;  // named and typed as on SQL Server
};

// True when a name is qualified by the INFORMATION_SCHEMA schema (any case),
// whether or not the view exists.
bool InInformationSchema(const ast::ObjectName& name);

// True when a FROM name is for the views above to answer: any name in the
// INFORMATION_SCHEMA or sys schema (SystemViewOf raises 208 for one that
// names no view), or the name of one of the system tables.
bool IsSystemViewName(const ast::ObjectName& name);

// True for the name of one of the system tables above (any case), which no
// user table may take.
bool IsSystemTableName(std::string_view name);

// True when `name` denotes one of the views above in `database` (the
// connection's database; a name qualified by another database does not,
// except master for the server-wide views).
bool SystemViewExists(const ast::ObjectName& name, const std::string& database);

// The view `name` denotes, with the rows `catalog` describes for the
// session's database; raises 208 "Invalid object name" for a view the
// server does not have.
SystemView SystemViewOf(const ast::ObjectName& name, const Catalog& catalog, const SessionState& session);

// The INFORMATION_SCHEMA views and the system tables of a database (not
// the server-wide sysdatabases), named and with their columns as above,
// without rows (`sql` empty).
std::vector<SystemView> InformationSchemaViews();
std::vector<SystemView> SystemTables();

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
