// The working parts behind Engine, for the engine's own files only (the
// engine_*.cpp files, row_inserter.cpp and bulk.cpp); everyone else goes
// through engine.h.
//
// EngineCore holds one connection's SQLite database, catalog and session
// state and runs its statements; its member functions are spread over the
// engine_*.cpp files by the kind of statement they run.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/sqlserver/catalog.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/sqlite.h"
#include "platform/sqlserver/sqlite_functions.h"
#include "platform/sqlserver/translate.h"
#include "platform/sqlserver/variables.h"

namespace sqlsrv {

class EngineCore {
 public:
  // engine.cpp: opening the database, batches, statement dispatch and
  // procedures.
  EngineCore(const std::string& file, std::string database, std::string login, std::string host);
  ~EngineCore();
  EngineCore(const EngineCore&) = delete;
  EngineCore& operator=(const EngineCore&) = delete;

  void Execute(std::string_view script, BatchOutput* output);
  int Call(std::string_view name, std::vector<Argument>& arguments, BatchOutput* output);
  void Interrupt();

  // engine_query.cpp
  std::unique_ptr<dts::RowReader> Query(std::string_view select);
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object_name);

  // bulk.cpp
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object_name, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options, bool nulls_take_defaults);

  // engine_transactions.cpp
  void BeginTransaction();
  void BeginLoadTransaction();
  void Commit();
  void Rollback();
  // SAVE TRANSACTION name: a savepoint in the open transaction (628
  // without one), which ROLLBACK TRANSACTION name goes back to, undoing
  // what was done since and keeping the transaction open (6401 for a name
  // that is neither a savepoint nor the transaction's). A savepoint lasts
  // until its transaction ends; one set inside a procedure ends with it.
  void SaveTransaction(const std::string& name);
  void RollbackToSavepoint(const std::string& name);

  int trancount() const { return state_.trancount; }
  // True while @@TRANCOUNT counts a transaction SQLite has rolled back
  // itself (after a full disk, an I/O error, running out of memory or an
  // interrupt): nothing is written or committed in it (3930) until a
  // ROLLBACK ends it.
  bool TransactionLost() const { return state_.trancount > 0 && !db_.InTransaction(); }
  const std::string& database() const { return state_.database; }
  Db& db() { return db_; }
  Catalog& catalog() { return catalog_; }
  FunctionContext& functions() { return functions_; }
  const SessionState& state() const { return state_; }

  // engine_errors.cpp: turns a failed SQLite step into SQL Server's error.
  com::Error StepError(int rc, const std::string& operation, const TableMeta* table);

  // engine_transactions.cpp. A statement frame: a savepoint that a failing
  // statement rolls back to, inside a transaction of its own when none is
  // open. Done keeps the statement's work (raising, the work undone, when
  // it cannot); a frame destroyed before Done undoes it. Neither raises a
  // failure of the savepoint itself in place of the statement's: when
  // SQLite has rolled back the whole transaction, the frame only puts the
  // engine's count of transactions right. Refuses to begin (3930) in a
  // lost transaction.
  class Frame {
   public:
    explicit Frame(EngineCore& e, bool writes);
    ~Frame();
    void Done();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

   private:
    void Undo();

    EngineCore& e_;
    std::string name_;
    std::uint64_t epoch_ = 0;
    bool owns_transaction_ = false;
    bool done_ = false;
    int trancount_ = 0;
  };

 private:
  // engine.cpp. The table a name denotes in this database; raises 208.
  const TableMeta& ResolveTable(const ast::ObjectName& name);
  // The indexes of named columns of a table; raises 207 for an unknown and
  // 264 for a repeated name.
  static std::vector<int> ResolveColumns(const TableMeta& t, const std::vector<std::string>& names);
  // A table statement `kind` may change: as ResolveTable; raises 259 for
  // the system catalog (sysobjects, the system tables, the sys views) and
  // SQL Server's error for changing a view for the INFORMATION_SCHEMA
  // views. It becomes the table a failure to find room
  // names.
  const TableMeta& WritableTable(const ast::ObjectName& name, ast::StmtKind kind);

  // What a batch, one execution of a procedure or an sp_executesql
  // statement has while it runs: its variables, and the status RETURN gave.
  struct Scope {
    VariableStore variables;
    std::optional<int> return_status;
    std::string procedure;  // the procedure running, "" for a batch
  };
  // Makes a scope the one statements see (its variables the translator's)
  // until it goes out of scope itself.
  class EnterScope {
   public:
    EnterScope(EngineCore& e, Scope* scope);
    ~EnterScope();
    EnterScope(const EnterScope&) = delete;
    EnterScope& operator=(const EnterScope&) = delete;

   private:
    EngineCore& e_;
    Scope* outer_;
  };
  // The variables of the scope running; raises 137 for `name` outside any.
  VariableStore& Variables(const std::string& name);

  void RunBatch(std::string_view batch, BatchOutput* output);
  // Runs statements in turn until one fails or RETURN ends them; false
  // when RETURN did. `text` is the text their offsets index; a failing
  // statement's line, counted from `line_start` in it (a procedure's body),
  // is noted in `output` with `procedure` as the procedure's name.
  bool RunStatements(std::vector<ast::StmtPtr>& statements, std::string_view text, std::size_t line_start,
                     const std::string& procedure, BatchOutput* output);
  // The error a batch or call raises for one that stopped it: a lock wait
  // ended by Interrupt is the cancel, SQLite's nesting limits 191.
  com::Error Outermost(const com::Error& e) const;
  // Runs one statement; false when it was RETURN (or held one that ran).
  bool Run(ast::Stmt& s, std::string_view batch, BatchOutput* output);
  // The value of an expression without a FROM, in the scope running.
  com::Variant Evaluate(const ast::Expr& e, const char* operation);
  void RunDeclare(const ast::Stmt& s);
  void RunSetVariable(const ast::Stmt& s);
  void RunReturn(const ast::Stmt& s, BatchOutput* output);
  // EXEC: its arguments' values, the call, then the values its OUTPUT
  // arguments and @rc receive.
  void RunExecute(const ast::Stmt& s, BatchOutput* output);
  // Calls the procedure a name denotes (the database's own, sp_executesql;
  // else 2812) with arguments bound to its parameters (procedure_call.h);
  // `argument_types` as BindArguments takes them. Returns its status.
  int CallProcedure(const ast::ObjectName& name, std::vector<Argument>& arguments,
                    const std::vector<std::string>& argument_types, BatchOutput* output);
  // sp_executesql: its statement run as a batch of its own, with the
  // parameters its parameter list declares.
  int ExecuteSql(std::vector<Argument>& arguments, const std::vector<std::string>& argument_types, BatchOutput* output);
  // Runs the statements of a procedure (or of sp_executesql) one nesting
  // level deeper (217 past 32), in a scope of their own holding the
  // parameters with the values `call` bound; temporary tables they made go
  // when they end. The OUTPUT arguments then receive their parameters'
  // values and types. Returns the status RETURN gave, 0 without one.
  int RunNested(std::vector<ast::StmtPtr>& statements, std::string_view text, std::size_t line_start,
                const std::string& procedure, const std::vector<ProcedureParameter>& parameters, const BoundCall& call,
                std::vector<Argument>& arguments, BatchOutput* output);

  // engine_query.cpp
  void RunSelect(const ast::Stmt& s, BatchOutput* output);
  // SELECT @a = x, ...: the variables take the last row's values; no row
  // leaves them as they were.
  void RunSelectAssign(const ast::Stmt& s);

  // engine_dml.cpp
  void RunInsert(ast::Stmt& s);
  void RunUpdate(const ast::Stmt& s);
  void RunDelete(const ast::Stmt& s);

  // engine_ddl.cpp
  void RunCreateTable(ast::Stmt& s, std::string_view batch);
  void RunDropTable(const ast::Stmt& s);
  void RunCreateProcedure(const ast::Stmt& s);
  void RunDropProcedure(const ast::Stmt& s);
  void RunSetIdentityInsert(const ast::Stmt& s);
  void RunTruncate(const ast::Stmt& s);

  Db db_;
  Catalog catalog_;
  FunctionContext functions_;
  SessionState state_;
  std::optional<std::int64_t> identity_insert_;  // the table whose IDENTITY_INSERT is on
  // Back to write-ahead logging once a load's transaction has ended.
  void EndLoadJournal();

  std::string transaction_name_;   // BEGIN TRAN name of the outermost transaction
  std::vector<std::pair<std::string, std::uint64_t>> savepoints_;  // SAVE TRAN names, in order, and their SQLite numbers
  std::uint64_t next_savepoint_ = 0;
  std::uint64_t savepoint_epoch_ = 0;  // the transaction (epoch_) savepoints_ belong to
  std::uint64_t epoch_ = 0;        // bumped at every real begin, commit and rollback
  bool load_journal_ = false;      // the open transaction keeps a rollback journal
  int frame_depth_ = 0;
  int exec_depth_ = 0;
  Scope* scope_ = nullptr;  // the batch's or procedure's running, null between batches
  std::atomic<bool> interrupted_{false};  // set by Interrupt from another thread
  TransactionEnd last_end_ = TransactionEnd::kNone;  // how the last outermost transaction ended
};

// Inserts rows into one table: identity values, defaults, conversions and
// the NOT NULL check, then SQLite's keys and foreign keys. Used by INSERT
// and by the bulk load.
class RowInserter {
 public:
  // `targets`: the table columns the given values go to, in value order.
  // `explicit_identity`: the identity column is among the targets.
  RowInserter(EngineCore& engine, const TableMeta& table, std::vector<int> targets, bool explicit_identity);
  // Inserts one row; raises SQL Server's error for a value or row that
  // cannot be stored (nothing of the row is stored then).
  void Insert(const std::vector<com::Variant>& values);
  // Inserts every row of a query in one statement inside SQLite, when each
  // of its values is one its column stores as it is (checked value by
  // value) and the query does not read the table. Returns false, having
  // stored nothing, when it cannot: the rows must then go through Insert,
  // which converts each value or names the one that fails.
  bool InsertSelect(const TranslatedSelect& select);
  // Records the identity the inserts reached. Call once, at the end.
  void Finish();
  std::int64_t rows() const { return rows_; }
  std::optional<std::int64_t> last_identity() const { return last_identity_; }
  // A NULL given for a column stores its default instead.
  void set_nulls_take_defaults(bool take) { nulls_take_defaults_ = take; }
  // The column the last failed Insert could not store ("" for the row).
  const std::string& failed_column() const { return failed_column_; }

 private:
  EngineCore& engine_;
  const TableMeta& table_;
  std::vector<int> targets_;
  std::vector<int> slot_of_column_;  // column -> index in values, or -1
  bool explicit_identity_;
  int identity_column_;
  std::optional<std::int64_t> last_identity_;   // the last value handed out or given
  std::optional<std::int64_t> next_identity_;   // nullopt once past the 64-bit range
  // Binds a value given for a column when it is of the column's own type
  // and fits as it is, so it needs no conversion (the values of a data
  // pump, converted before they get here); false when it must be
  // converted. `given_identity` receives an identity column's value.
  bool BindAsGiven(std::size_t column, const com::Variant& v, std::int64_t* given_identity);
  // The SQL storing a query's value `value` into a column as it is, or
  // nullopt when the column may store it otherwise.
  std::optional<std::string> StoredAsGiven(std::size_t column, const OutputColumn& source, const std::string& value) const;

  std::vector<Stored> defaults_;                // per column, evaluated once
  std::vector<dts::ColumnInfo> value_info_;     // per column, what its values convert to
  // Per column, a converted value, bound in place: each lives until the
  // column's next value.
  std::vector<Stored> converted_;
  Stmt insert_;
  std::int64_t rows_ = 0;
  bool nulls_take_defaults_ = false;
  std::string failed_column_;
};

// "database.dbo.table", as SQL Server's messages name a table.
inline std::string QualifiedName(const std::string& database, const std::string& table) {
  return database + ".dbo." + table;
}

// Binds a stored value to parameter i of a statement.
inline void Bind(Stmt& s, int i, const Stored& v) {
  switch (v.kind) {
    case Stored::kNull: s.BindNull(i); break;
    case Stored::kInteger: s.Bind(i, v.i); break;
    case Stored::kReal: s.Bind(i, v.r); break;
    case Stored::kText: s.Bind(i, std::string_view(v.s)); break;
  }
}

// The same, binding text in place: `v` must stay unchanged until the
// statement has run.
inline void BindInPlace(Stmt& s, int i, const Stored& v) {
  if (v.kind == Stored::kText) {
    s.BindInPlace(i, v.s);
  } else {
    Bind(s, i, v);
  }
}

}  // namespace sqlsrv
