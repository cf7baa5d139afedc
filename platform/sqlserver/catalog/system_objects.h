// The catalog as SQL Server numbers and names it, for the views of the
// catalog (system_views.h) and the help procedures (help_procedures.h)
// alike: the server's data types with their ids, the objects a database
// lists (its DEFAULT constraints among them), each table's indexes, the
// principals and schemas every database has, and the databases and logins
// of the server a database belongs to. Everything here is read from the
// catalog or is a fixed table of SQL Server's own numbers; nothing is kept.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {

// A data type as sys.types and systypes describe it.
struct ServerType {
  const char* name;
  SqlType type;
  int system_type_id;  // systypes.xtype
  int user_type_id;    // systypes.xusertype: the type's own id, 256 for sysname
  int usertype;        // systypes.usertype, SQL Server 2000's number
  int storage_type;    // systypes.type, the older storage type code
  int max_length;      // bytes; 8000 for the sized character and binary types, 16 for text, ntext and image
  int precision;       // the largest the type takes
  int scale;
  bool variable;       // variable length
};

// The server's types, by user_type_id: every type a column may have, and
// numeric and sysname, which the catalog keeps as decimal and
// nvarchar(128).
std::span<const ServerType> ServerTypes();

// The entry of a column type (decimal's for numeric, nvarchar's for
// sysname).
const ServerType& ServerTypeOf(SqlType type);

// A column's size as sys.columns gives it: max_length in bytes (twice the
// length for the Unicode types, 16 for text, ntext and image, -1 for (max)),
// precision and scale of the numbers and dates, 0 where they do not apply.
struct ColumnSize {
  int max_length = 0;
  int precision = 0;
  int scale = 0;
};
ColumnSize ColumnSizeOf(const ColumnType& type);

// One object a database lists as sys.objects does: its tables (U),
// procedures (P), primary keys (PK), unique keys (UQ), foreign keys (F)
// and DEFAULT constraints (D).
struct DatabaseObject {
  std::int64_t id = 0;
  std::string name;
  std::string type;                 // "U", "V", "P", "PK", "UQ", "F", "D"
  std::int64_t parent = 0;          // a constraint's table, else 0
  std::string created;              // a stored datetime
  const TableMeta* table = nullptr;  // the table, or the constraint's
  const ProcedureMeta* procedure = nullptr;
  const ViewMeta* view = nullptr;
  const KeyMeta* key = nullptr;                 // PK, UQ
  const ForeignKeyMeta* foreign_key = nullptr;  // F
  int column = -1;                              // D: the column's index
};

// Every object of the database, by id (DEFAULT constraints, which have no
// row in sysobjects, with their table's creation time). `catalog` must be
// refreshed; the objects point into it.
std::vector<DatabaseObject> DatabaseObjects(const Catalog& catalog);

// sys.objects' type_desc of a type ("USER_TABLE"), and sp_help's name of
// it ("user table").
std::string_view ObjectTypeDescription(std::string_view type);
std::string_view ObjectTypeName(std::string_view type);

// One index of a table: the heap (id 0, neither `key` nor `index`) when
// the table has no clustered index, else its clustered index (id 1: the
// primary key's, or one CREATE CLUSTERED INDEX made); then each unique
// key's nonclustered index (ids from 2, in declaration order), then the
// nonclustered indexes CREATE INDEX made, in creation order.
struct TableIndex {
  int id = 0;
  const KeyMeta* key = nullptr;      // a primary or unique key's
  const IndexMeta* index = nullptr;  // one CREATE INDEX made
  bool heap() const { return !key && !index; }
  bool clustered() const { return key ? key->primary : index && index->clustered; }
  bool unique() const { return key != nullptr || (index && index->unique); }
  const std::string& name() const;  // the key's or index's; "" for the heap
  std::vector<int> columns() const;  // column indexes, in key order; none for the heap
  bool descending(std::size_t k) const { return index && index->descending[k]; }
};
std::vector<TableIndex> IndexesOf(const TableMeta& table);

// The principals every database has, by id: the public role, the users
// dbo, guest, INFORMATION_SCHEMA and sys, and the fixed database roles.
// Each but public owns a schema of its name with its id.
struct DatabasePrincipal {
  const char* name;
  int id;
  bool role;
};
std::span<const DatabasePrincipal> DatabasePrincipals();

// The schema every object of the database belongs to.
inline constexpr char kDboSchema[] = "dbo";
inline constexpr int kDboSchemaId = 1;
// The schema of the system types.
inline constexpr int kSysSchemaId = 4;

// The databases of the server holding the catalog's database, by id (the
// catalog's directory, server_directory.h); only the catalog's own (as
// `database`, id 5, the first a server gives after its system databases,
// no creation time) for a database file on its own.
std::vector<DatabaseEntry> ServerDatabases(const Catalog& catalog, const std::string& database);

// One server principal: a login or a fixed server role.
struct ServerPrincipal {
  std::int64_t id = 0;
  std::string name;
  bool role = false;
  std::string created;  // a stored datetime; "" when not known
};

// The server's fixed roles and logins (sa 1, public 2, the fixed server
// roles 3 to 10, the other logins from 256 in creation order), by id; for
// a file outside a server, the roles and `login`.
std::vector<ServerPrincipal> ServerPrincipals(const Catalog& catalog, const std::string& login);

// The first `limit` characters of a UTF-8 text, counted as SQL Server
// counts them (a character outside the Basic Multilingual Plane counting
// two); the whole text for a limit of 0 or less.
std::string FirstCharacters(std::string text, int limit);

// The session id of a connection of the embedded server that was given
// none of its own (the TDS endpoint numbers its connections from it), as
// @@SPID gives it.
inline constexpr int kSessionId = 51;

}  // namespace sqlsrv
