// One connection of the embedded server to one database: runs T-SQL
// batches with SQL Server's meaning on the database's SQLite file.
//
// Statements are atomic: each runs inside a savepoint and leaves nothing
// behind when it fails. BEGIN TRAN / COMMIT / ROLLBACK nest as on SQL
// Server: an inner pair only counts (@@TRANCOUNT); the outermost COMMIT
// commits and any ROLLBACK rolls back everything. A batch stops at its
// first error, which is raised with SQL Server's number and message. An
// error inside a stored procedure stops the procedure and fails (and
// undoes) the EXECUTE statement that ran it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/sqlserver/catalog.h"
#include "platform/sqlserver/sqlite.h"
#include "platform/sqlserver/translate.h"

namespace sqlsrv {

struct ResultSet {
  std::vector<OutputColumn> columns;
  std::vector<dts::Row> rows;
};

// What a batch produced, statement by statement.
struct BatchOutput {
  std::vector<ResultSet> results;       // each SELECT's rows
  std::vector<dts::RowsAffected> affected;  // each INSERT, UPDATE, DELETE, those of procedures included
  std::vector<std::string> messages;    // PRINT
};

class Engine {
 public:
  // Opens the database file of `database` as `login` from `host`.
  Engine(const std::string& file, std::string database, std::string login, std::string host = "");
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Creates the catalog of a new, empty database file.
  static void InitializeDatabase(const std::string& file);

  // Runs a script: batches separated by GO lines.
  void Execute(std::string_view script, BatchOutput* output = nullptr);

  // Runs one SELECT and streams its rows.
  std::unique_ptr<dts::RowReader> Query(std::string_view select);

  // The columns of a table, as a bulk load sees them.
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object_name);

  // A bulk load into the named columns of a table (see bulk.cpp).
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object_name, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options);

  void BeginTransaction();
  void Commit();
  void Rollback();
  int trancount() const { return state_.trancount; }
  const std::string& database() const { return state_.database; }

  // Used by the bulk loader and the statements.
  Db& db() { return db_; }
  Catalog& catalog() { return catalog_; }
  const SessionState& state() const { return state_; }
  SessionState& mutable_state() { return state_; }
  // The table a name denotes in this database; raises 208.
  const TableMeta& ResolveTable(const ast::ObjectName& name);
  // The indexes of named columns of a table; raises 207 for an unknown and
  // 264 for a repeated name.
  static std::vector<int> ResolveColumns(const TableMeta& t, const std::vector<std::string>& names);
  // The table whose IDENTITY_INSERT is on, if any.
  std::optional<std::int64_t> identity_insert_table() const { return identity_insert_; }

  // Statement frames: a savepoint that a failing statement rolls back to.
  class Frame {
   public:
    explicit Frame(Engine& e, bool writes);
    ~Frame();
    void Done();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

   private:
    Engine& e_;
    std::string name_;
    std::uint64_t epoch_ = 0;
    bool owns_transaction_ = false;
    bool done_ = false;
    int trancount_ = 0;
  };

  // Turns a failed SQLite step into SQL Server's error.
  com::Error StepError(int rc, const std::string& operation, const TableMeta* table);

 private:
  void RunBatch(std::string_view batch, BatchOutput* output);
  void Run(ast::Stmt& s, std::string_view batch, BatchOutput* output);
  void RunSelect(const ast::Stmt& s, BatchOutput* output);
  void RunInsert(ast::Stmt& s);
  void RunUpdate(const ast::Stmt& s);
  void RunDelete(const ast::Stmt& s);
  void RunCreateTable(ast::Stmt& s, std::string_view batch);
  void RunDropTable(const ast::Stmt& s);
  void RunCreateProcedure(const ast::Stmt& s);
  void RunDropProcedure(const ast::Stmt& s);
  void RunExecute(const ast::Stmt& s, BatchOutput* output);
  void RunSetIdentityInsert(const ast::Stmt& s);
  void RunTruncate(const ast::Stmt& s);
  const TableMeta& WritableTable(const ast::ObjectName& name);

  Db db_;
  Catalog catalog_;
  FunctionContext functions_;
  SessionState state_;
  std::optional<std::int64_t> identity_insert_;
  std::uint64_t epoch_ = 0;        // bumped at every real begin, commit and rollback
  int frame_depth_ = 0;
  int exec_depth_ = 0;
};

// Inserts rows into one table: identity values, defaults, conversions and
// the NOT NULL check, then SQLite's keys and foreign keys. Used by INSERT
// and by the bulk load.
class RowInserter {
 public:
  // `targets`: the table columns the given values go to, in value order.
  // `explicit_identity`: the identity column is among the targets.
  RowInserter(Engine& engine, const TableMeta& table, std::vector<int> targets, bool explicit_identity);
  // Inserts one row; raises SQL Server's error for a value or row that
  // cannot be stored (nothing of the row is stored then).
  void Insert(const std::vector<com::Variant>& values);
  // Records the identity the inserts reached. Call once, at the end.
  void Finish();
  std::int64_t rows() const { return rows_; }
  std::optional<std::int64_t> last_identity() const { return last_identity_; }
  // Lets over-long text be cut to fit instead of failing the row.
  void set_allow_truncation(bool allow) { allow_truncation_ = allow; }
  // Per given value position: how many values were changed to fit.
  const std::vector<std::int64_t>& changed() const { return changed_; }
  // The column the last failed Insert could not store ("" for the row).
  const std::string& failed_column() const { return failed_column_; }

 private:
  Engine& engine_;
  const TableMeta& table_;
  std::vector<int> targets_;
  std::vector<int> slot_of_column_;  // column -> index in values, or -1
  bool explicit_identity_;
  int identity_column_;
  std::optional<std::int64_t> last_identity_;   // the last value handed out or given
  std::int64_t next_identity_ = 0;
  std::vector<Stored> defaults_;                // per column, evaluated once
  Stmt insert_;
  std::int64_t rows_ = 0;
  bool allow_truncation_ = false;
  Stored scratch_;
  std::vector<std::int64_t> changed_;
  std::string failed_column_;
};

}  // namespace sqlsrv
