// What a database holds besides rows: its tables with their columns, keys
// and foreign keys, and its stored procedures. The definitions are kept in
// the database itself: `sysobjects` lists every object as SQL Server lists
// it (U table, V view, P procedure, PK, UQ and F constraints),
// `__vk_definitions` keeps each table's, view's and procedure's CREATE
// text (a table's followed by its CREATE INDEX statements), `__vk_identity` each
// identity column's last value. The catalog is rebuilt from them whenever
// the schema changes (on this or another connection).
//
// Temporary tables and procedures (#name) belong to the connection that
// made them, as a session's do on SQL Server: they live in SQLite's TEMP schema of that
// connection, listed with their constraints in its own
// temp.__vk_temp_objects (ids below zero) and temp.__vk_temp_identity,
// never in sysobjects, and go when the connection closes. Foreign keys on
// them are skipped, as SQL Server skips them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/names.h"

#include "platform/sqlserver/frontend/ast.h"
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/server_directory.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {

struct ColumnMeta {
  std::string name;
  ColumnType type;
  bool nullable = true;
  bool identity = false;
  std::int64_t seed = 1, step = 1;
  std::shared_ptr<const ast::Expr> default_value;  // null for none
  std::string default_text;                        // the default as written
  // The default's constraint name: as declared ("CONSTRAINT DF_x DEFAULT
  // ..."), else one made from the table's and the column's names
  // (`default_system_named`).
  std::string default_name;
  bool default_system_named = false;
  std::string collation;  // COLLATE as declared; "" for the server's
};

struct KeyMeta {
  std::string name;
  bool primary = false;
  std::vector<int> columns;  // column indexes
  bool system_named = false;  // no name was declared: the server made one
};

struct ForeignKeyMeta {
  std::string name;
  std::vector<int> columns;           // in this table
  std::string ref_table;              // the referenced table's name
  std::vector<std::string> ref_columns;
  bool system_named = false;  // no name was declared: the server made one
};

// An index made by CREATE INDEX (a key's index belongs to its KeyMeta).
struct IndexMeta {
  std::string name;
  bool unique = false;
  bool clustered = false;
  std::vector<int> columns;       // column indexes, in the index's order
  std::vector<bool> descending;   // by position in `columns`
  std::string definition;         // its CREATE INDEX statement, as written
};

struct TableMeta {
  std::int64_t id = 0;
  std::string name;
  std::vector<ColumnMeta> columns;
  std::vector<KeyMeta> keys;
  std::vector<ForeignKeyMeta> foreign_keys;
  std::vector<IndexMeta> indexes;  // in creation order
  // Its CREATE TABLE statement as written. The catalog keeps it followed by
  // each index's CREATE INDEX (TableDefinition).
  std::string definition;

  // The index of a column (any case), or -1.
  int Find(std::string_view column) const;
  int IdentityColumn() const;
  // The index made by CREATE INDEX of this name (any case), or null.
  const IndexMeta* FindIndex(std::string_view index) const;
  // The timestamp (rowversion) column, or -1.
  int RowversionColumn() const;
};

// The SQLite name of an index made by CREATE INDEX: index names are the
// table's own on SQL Server, and the whole database's in SQLite.
std::string SqliteIndexName(const TableMeta& table, std::string_view index);
// The SQLite CREATE INDEX statement for one of a table's indexes; text
// columns ordered by the server's collation, decimals by their value.
std::string SqliteCreateIndex(const TableMeta& table, const IndexMeta& index);
// The SQLite DROP INDEX statement for a table's index of that name.
std::string SqliteDropIndex(const TableMeta& table, std::string_view index);
// What the catalog keeps for a table: its CREATE TABLE, then each index's
// CREATE INDEX, a statement a line.
std::string TableDefinition(const TableMeta& table, const std::vector<IndexMeta>& indexes);
// Resolves a CREATE INDEX statement against its table: 1911 for a column
// it does not have, 1919 for a column of a type no index takes (text,
// ntext, image).
IndexMeta BuildIndexMeta(const TableMeta& table, const ast::Stmt& create);

// A temporary table's name: "#name". "##name" would be a global one.
inline bool IsTemporaryName(std::string_view name) { return !name.empty() && name.front() == '#'; }
inline bool IsGlobalTemporaryName(std::string_view name) { return name.size() >= 2 && name.substr(0, 2) == "##"; }
// The database a temporary table may be qualified with: tempdb..#name.
inline constexpr char kTempDatabase[] = "tempdb";

// One object as sysobjects lists it: a table (U), a procedure (P), a
// primary key (PK), a unique key (UQ) or a foreign key (F).
struct ObjectMeta {
  std::int64_t id = 0;
  std::string name;
  std::string xtype;
  std::int64_t parent = 0;  // a constraint's table; 0 for tables and procedures
  std::string created;      // crdate, as a stored datetime
};

// The object id sysobjects gives the first object of a database; each
// later one takes the next.
inline constexpr std::int64_t kFirstObjectId = 1977058079;

// The object id of a column's DEFAULT constraint. Defaults have no row in
// sysobjects; their ids are derived from the table's id and the column's
// index (`column` below 1024, as a table has at most 1024 columns),
// counting down from below kFirstObjectId, so that they never meet an id
// sysobjects hands out (while fewer than 1.9 million objects have been
// made in the database).
std::int64_t DefaultConstraintId(const TableMeta& table, std::size_t column);

struct ProcedureMeta {
  std::int64_t id = 0;
  std::string name;
  std::string text;  // the whole CREATE PROCEDURE batch
  std::vector<ProcedureParameter> parameters;  // as declared, in order
};

// A view: its definition, parsed again whenever a query names it, with
// the database as it is then (as SQL Server binds a view without
// SCHEMABINDING).
struct ViewMeta {
  std::int64_t id = 0;
  std::string name;
  std::string text;  // the whole CREATE VIEW batch
  std::shared_ptr<const ast::Stmt> definition;  // null when the text no longer parses
  // Declared WITH CHECK OPTION.
  bool checked() const { return definition && definition->option == "CHECK OPTION"; }
};

// Builds a table's description from its CREATE TABLE statement (taking its
// default expressions); raises SQL Server's errors for definitions it would
// refuse (duplicate columns, two identity columns, a nullable key column,
// bad types).
TableMeta BuildTableMeta(ast::Stmt& create);

// The SQLite CREATE TABLE statement for a table (foreign keys need the
// referenced tables' descriptions).
std::string SqliteCreateTable(const TableMeta& t);

// The SQLite collation of a column's text when not the server's, "" for
// the server's (and for columns that are not text).
std::string ColumnCollation(const ColumnMeta& c);

// Quotes a name for SQLite: "name" with quotes doubled.
std::string QuoteSqlite(std::string_view name);

class Catalog {
 public:
  // `server`, when given, is the server holding the database (the
  // server's views list its databases and logins); it must outlive the
  // catalog.
  explicit Catalog(Db& db, const ServerDirectory* server = nullptr) : db_(db), server_(server) {}

  // Creates the catalog tables in a new database.
  static void Install(Db& db);
  // Makes a new, empty database file: SQLite's write-ahead log, the
  // server's functions and collations, the catalog tables.
  static void InitializeDatabase(const std::string& file);

  // The server holding the database; null for a database file on its own.
  const ServerDirectory* server() const { return server_; }

  // Reloads when the schema changed since the last load.
  void Refresh();
  // Forces a reload at the next Refresh.
  void Invalidate() {
    schema_version_ = -1;
    temp_version_ = -1;
  }

  // A table of the database, or a temporary table of the session for a
  // #name.
  const TableMeta* FindTable(std::string_view name) const;
  const TableMeta* FindTableById(std::int64_t id) const;
  // A procedure of the database, or a temporary procedure of the session
  // for a #name.
  const ProcedureMeta* FindProcedure(std::string_view name) const;
  const ViewMeta* FindView(std::string_view name) const;
  // Every view of the database, in creation order.
  std::vector<const ViewMeta*> Views() const;
  // True when any object (table, procedure, constraint) has this name: in
  // the database, or among the session's temporary objects.
  bool ObjectExists(std::string_view name, bool temporary = false) const;
  // Tables whose foreign keys refer to `table`.
  std::vector<const TableMeta*> ReferencingTables(std::string_view table) const;
  // Every user table of the database, in creation order.
  std::vector<const TableMeta*> Tables() const;
  // The session's temporary tables, in creation order.
  std::vector<const TableMeta*> TemporaryTables() const;
  // Whether the session has temporary procedures.
  bool HasTemporaryProcedures() const { return !temporary_procedures_.empty(); }
  // Every stored procedure of the database, by name.
  std::vector<const ProcedureMeta*> Procedures() const;
  // The number of rows a table of the database holds now.
  std::int64_t RowCount(const TableMeta& table) const;
  // Every object of the database as sysobjects lists it, by id (the
  // session's temporary objects are not among them).
  const std::vector<ObjectMeta>& Objects() const { return objects_; }
  // The database's file.
  const std::string& DatabaseFile() const { return db_.path(); }

  // The pages of the database file, as SQLite counts them.
  struct Pages {
    std::int64_t page_size = 0;  // bytes
    std::int64_t total = 0;      // in the file
    std::int64_t data = 0;       // of tables (the catalog's own included)
    std::int64_t index = 0;      // of indexes
  };
  // The whole database's.
  Pages DatabasePages() const;
  // Each table's (by its name as created): its rows' pages as data, its
  // keys' and foreign keys' indexes as index (`total` is left 0).
  std::map<std::string, Pages> PagesByTable() const;

  // Records a new object (a temporary one among the session's); returns
  // its id.
  std::int64_t AddObject(const std::string& name, const char* xtype, std::int64_t parent,
                         const std::string& definition, bool temporary = false);
  void RemoveObject(std::int64_t id);
  // Replaces the definition the catalog keeps for an object (a table's
  // when its indexes change, a view's on ALTER VIEW).
  void SetDefinition(std::int64_t id, const std::string& definition);

  // Identity values: the last one handed out (nullopt before the first).
  std::optional<std::int64_t> LastIdentity(std::int64_t table_id) const;
  void SetLastIdentity(std::int64_t table_id, std::optional<std::int64_t> value);
  // The database's timestamp counter: the last value a row's timestamp
  // column was given (@@DBTS), 0 before the first; and the next value,
  // taken (kept in the database, with the transaction that takes it).
  std::uint64_t DatabaseTimestamp() const;
  std::uint64_t NextTimestamp();

 private:
  // The tables of one kind (the database's, the session's temporary
  // ones) by lower-case name, with every object name of that kind.
  struct TableSet {
    std::map<std::string, std::unique_ptr<TableMeta>> tables;
    std::map<std::string, std::int64_t> objects;
    std::vector<std::string> order;  // table names in creation order
    void Clear();
    void Add(std::int64_t id, const std::string& name, const std::string& xtype, std::string_view definition);
    std::vector<const TableMeta*> InOrder() const;
  };
  void LoadDatabase();
  void LoadTemporary();
  // Creates the session's temporary catalog on its first temporary table.
  void EnsureTemporaryCatalog();

  Db& db_;
  const ServerDirectory* server_ = nullptr;
  std::int64_t schema_version_ = -1;
  std::int64_t temp_version_ = -1;  // SQLite's schema cookie of the TEMP schema
  TableSet database_;
  TableSet temporary_;
  std::map<std::string, std::unique_ptr<ProcedureMeta>> procedures_;
  std::map<std::string, std::unique_ptr<ProcedureMeta>> temporary_procedures_;  // #name, the session's
  std::vector<std::unique_ptr<ViewMeta>> views_;  // in creation order
  std::vector<ObjectMeta> objects_;
};

using com::LowerAscii;

}  // namespace sqlsrv
