// The catalog stored procedures ODBC drivers and query tools call to learn
// a database's tables, columns, keys, procedures and types (SQLTables,
// SQLColumns, SQLPrimaryKeys, SQLForeignKeys, SQLSpecialColumns,
// SQLStatistics, SQLProcedures, SQLProcedureColumns, SQLGetTypeInfo), as
// system procedures of the embedded server: sp_tables, sp_tableswc (what
// ODBC calls for a catalog name with wildcards: sp_tables in every
// database of the server whose name matches @table_qualifier as a
// pattern, rows named by their database), sp_columns,
// sp_pkeys, sp_fkeys, sp_special_columns, sp_statistics,
// sp_stored_procedures, sp_sproc_columns, sp_server_info and
// sp_datatype_info, with sp_datatype_info_90 and sp_datatype_info_100 (the
// names FreeTDS's SQLGetTypeInfo calls on TDS 7.2 and 7.3 and later; they
// answer as sp_datatype_info does, the server having no type that came
// later).
//
// Each takes SQL Server's parameters (names, order, types, defaults) and
// returns one result set with SQL Server's columns (names, order, types:
// sysname is nvarchar(128), smallint a smallint on the wire), ordered as
// SQL Server orders it. The rows come from the database's catalog:
// TABLE_QUALIFIER is the database's name, TABLE_OWNER dbo (INFORMATION_SCHEMA
// for those views). The objects a database lists are its tables (TABLE),
// its system tables (SYSTEM TABLE: sysobjects and those of
// system_views.h) and the INFORMATION_SCHEMA views (VIEW); its indexes are
// its primary keys (clustered) and unique keys (nonclustered).
//
// Patterns. The parameters SQL Server documents as patterns (sp_tables'
// and sp_columns' names, sp_statistics' index name, sp_stored_procedures'
// and sp_sproc_columns' names) match as LIKE does under the server
// collation: % any run of characters, _ any one, [abc], [a-f] and [^a-f]
// one of a set; a backslash before %, _, [, ] or \ makes that character
// literal (the search pattern escape SQL Server's ODBC drivers report), a
// backslash before anything else is itself. A pattern with an unclosed
// [ matches nothing. @fUsePattern = 0 turns the wildcards off. A pattern
// left NULL matches every name. The other names (sp_pkeys, sp_fkeys,
// sp_special_columns, sp_statistics' table) are compared whole, without
// regard to ASCII case. Text arguments longer than their parameter are cut
// to its length, as SQL Server cuts them.
//
// @ODBCVer 3 gives datetime and smalldatetime their ODBC 3 type code (93,
// SQL_TYPE_TIMESTAMP) where 2, the default, gives 11 (SQL_TIMESTAMP); the
// column names stay the ODBC 2 names SQL Server documents (drivers rename
// them for ODBC 3 applications).
//
// The help procedures query tools run: sp_help, sp_helptext, sp_helpindex,
// sp_helpdb, sp_databases, sp_who and sp_spaceused, with SQL Server's
// parameters and result sets (names, order, types), read from the same
// objects, indexes and types as the views of system_views.h:
//
//   sp_help: without a name, the database's objects (Name, Owner,
//     Object_type, by owner, type from last to first, name). With the name
//     of an object: its Name, Owner, Type, Created_datetime; for a table
//     then its columns, identity column, RowGuidCol, filegroup, indexes,
//     constraints (DEFAULTs, foreign keys each followed by what it
//     references, keys) and the foreign keys referring to it, each empty
//     set of the last three said as a message instead; for a procedure its
//     parameters. With the name of a type: the type's row.
//   sp_helptext: a procedure's (or DEFAULT's) text in rows, one line a row
//     with its line end, lines longer than 255 characters in pieces; 15197
//     for an object without text.
//   sp_helpindex: a table's indexes by name, or a message when it has none.
//   sp_helpdb: every database (or the one named, then its files: the data
//     file and its write-ahead log as the log) by name, sizes from the
//     files; 15010 for a database the server does not have.
//   sp_databases: every database by name with its size in kilobytes.
//   sp_who: the calling connection (session 51, as @@SPID gives it), shown
//     for no argument, ACTIVE, its login or its session id; 15007 for a
//     name that is no login.
//   sp_spaceused: the database's size, unallocated space, and the pages of
//     its tables' rows and indexes; or a table's rows and pages. Sizes come
//     from SQLite's page counts, so nothing is reserved unused. 15143 for
//     an @updateusage other than true or false.
//
// An object is named as a statement names it ("T", "dbo.T", "[db].[dbo].[T]");
// 15009 when the database has no such object (or none of the kind the
// procedure takes), 15250 when the name's database is another.
//
// Errors are SQL Server's: 15250 for a qualifier naming another database,
// 15251 for a flag parameter out of its values (@col_type, @scope,
// @nullable, @is_unique, @accuracy), 15252 for sp_fkeys without a table.
#pragma once

#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/translation/translate.h"

namespace sqlsrv {

struct SystemProcedure {
  std::string_view name;
  std::vector<ProcedureParameter> parameters;  // in declared order, with defaults
  // Runs with values already bound and converted, in parameter order (a
  // parameter not given holds its default or NULL). Appends its result
  // set(s) to output (results and order, as BatchOutput documents).
  // Returns the return status.
  int (*run)(const std::vector<com::Variant>& values, Catalog& catalog, const SessionState& session,
             BatchOutput* output);
};

// The system procedure of this name (case-insensitive; also "sys.name",
// "dbo.name", "master..name", "master.dbo.name"), or nullptr. Parts may be
// bracketed ("[Sales60]..[sp_columns]"). A database part may name any
// database, as FreeTDS's "catalog..sp_columns" does: the procedure then
// runs in that database, which is for the caller to see to.
const SystemProcedure* FindSystemProcedure(std::string_view name);

}  // namespace sqlsrv
