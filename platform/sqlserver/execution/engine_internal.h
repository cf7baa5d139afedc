// The working parts behind Engine, for the engine's own files only (the
// engine_*.cpp files, row_inserter.cpp and bulk.cpp); everyone else goes
// through engine.h.
//
// EngineCore holds one connection's SQLite database, catalog and session
// state and runs its statements; its member functions are spread over the
// engine_*.cpp files by the kind of statement they run.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/execution/row_source.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/translation/sqlite_functions.h"
#include "platform/sqlserver/translation/translate.h"
#include "platform/sqlserver/translation/variables.h"

namespace sqlsrv {

class EngineCore {
 public:
  // engine.cpp: opening the database, batches, statement dispatch and
  // procedures.
  EngineCore(const std::string& file, std::string database, std::string login, std::string host,
             std::shared_ptr<const ServerDirectory> server);
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
  void set_session_id(int id) { state_.session_id = id; }
  // True while @@TRANCOUNT counts a transaction SQLite has rolled back
  // itself (after a full disk, an I/O error, running out of memory or an
  // interrupt), or one an error doomed under XACT_ABORT: nothing is
  // written or committed in it (3930) until a ROLLBACK ends it.
  bool TransactionLost() const {
    return state_.trancount > 0 && ((transaction_begun_ && !db_->InTransaction()) || doomed_epoch_ == epoch_);
  }
  const std::string& database() const { return state_.database; }
  Db& db() { return *db_; }
  Catalog& catalog() { return *catalog_; }
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
  //
  // BEGIN TRAN takes no lock: the first frame of a transaction that may
  // write begins SQLite's transaction, taking the database's write lock
  // (a writing frame at once, BEGIN IMMEDIATE, so that a read it made
  // first can never be overtaken by another connection's commit). Should
  // that frame change nothing (a procedure that only read), Done commits
  // the empty SQLite transaction again, and the lock is not held for the
  // rest of the session's transaction.
  class Frame {
   public:
    explicit Frame(EngineCore& e, bool writes);
    ~Frame();
    void Done();
    // Done for a statement that is failing but keeps its work so far (a
    // procedure an error ended): a failure to keep it undoes it instead,
    // unraised, as the statement's own error is the one to raise.
    void KeepQuietly();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

   private:
    void Undo();

    EngineCore& e_;
    std::string name_;
    std::uint64_t epoch_ = 0;
    bool owns_transaction_ = false;
    // Began the SQLite transaction of a session transaction that had none
    // yet; what the connection had changed then, to tell whether it wrote.
    bool begins_session_transaction_ = false;
    std::int64_t changes_before_ = 0;
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
  // Runs statements in turn until RETURN ends them or one fails with an
  // error that ends more than itself (EndsOnly); false when RETURN did. `text` is the text their offsets index (the batch, or
  // the whole CREATE PROCEDURE text).
  bool RunStatements(std::vector<ast::StmtPtr>& statements, std::string_view text, BatchOutput* output);
  // The error a batch or call raises for one that stopped it: a lock wait
  // ended by Interrupt is the cancel, SQLite's nesting limits 191.
  com::Error Outermost(const com::Error& e) const;
  // How a statement ended: the next one runs, or control leaves its block.
  enum class Flow { kNext, kReturn, kBreak, kContinue };
  // engine.cpp: running statements; engine_flow.cpp: control of flow,
  // errors, messages, WAITFOR and USE.
  // Runs one statement (and those it holds). An error leaving it is noted
  // (NoteRaised) where it was raised.
  Flow Run(ast::Stmt& s, std::string_view text, BatchOutput* output);
  Flow RunStatement(ast::Stmt& s, std::string_view text, BatchOutput* output);
  Flow RunBlock(std::vector<ast::StmtPtr>& statements, std::string_view text, BatchOutput* output);
  // The truth of an IF's or WHILE's condition.
  bool Holds(const ast::Expr& condition, const char* operation);
  Flow RunWhile(ast::Stmt& s, std::string_view text, BatchOutput* output);
  // TRY ... CATCH: an error the TRY block raises that TRY may catch runs
  // the CATCH block, with the error for ERROR_NUMBER() and its kin.
  Flow RunTry(ast::Stmt& s, std::string_view text, BatchOutput* output);
  // Whether a TRY block running at nesting level `level` catches an error.
  bool Catchable(const com::Error& e, int level) const;
  // RAISERROR: of severity 10 or less a message; above, an error for the
  // CATCH block of the TRY running (at any level), or outside any an error
  // sent as a message, after which the batch goes on (deferred_).
  // Returns whether it sent an error.
  bool RunRaiserror(const ast::Stmt& s, std::string_view text, BatchOutput* output);
  // THROW: the error given, or again the one the innermost CATCH caught.
  [[noreturn]] void RunThrow(const ast::Stmt& s);
  // The value of an expression without a FROM and its static type.
  std::pair<com::Variant, OutputColumn> EvaluateTyped(const ast::Expr& e, const char* operation);
  // WAITFOR DELAY or TIME: waits until the time comes or Interrupt.
  void RunWaitfor(const ast::Stmt& s);
  // USE: the session's connection becomes one to another database of the
  // server folder (engine.h says when it may not).
  void RunUse(const ast::Stmt& s, std::string_view text, BatchOutput* output);
  // EXECUTE ('...'): the joined text run as a batch of its own, one level
  // down.
  void RunExecuteString(const ast::Stmt& s, BatchOutput* output);
  // Parses the text of dynamic SQL (EXECUTE ('...'), sp_executesql) and
  // declares its variables; an error it raises is noted as raised inside
  // it, one level down.
  std::vector<ast::StmtPtr> ParseNested(std::string_view text, VariableStore* variables);
  // Adds a message to the batch's output, sent by statement `at` of `text`.
  void AddMessage(BatchOutput* output, BatchMessage message, std::string_view text, std::size_t at);
  // Adds a message, its line and procedure set, to the batch's output.
  static void PushMessage(BatchOutput* output, BatchMessage message);

  // An error as it was raised: where, at what nesting level, with what
  // severity and state. Noted once, by the innermost statement it leaves.
  struct Raised {
    ErrorInfo info;
    int level = 0;       // exec_depth_ where it was raised
    bool noted = false;  // an error is on its way out and noted here
    bool ends_batch = false;  // THROW's: outside TRY it ends the batch whatever its number
  };
  void NoteRaised(const com::Error& e, std::string_view text, std::size_t at);
  // Raises an error with the severity and state it is to have (RAISERROR,
  // THROW): NoteRaised takes them instead of the number's own.
  // `ends_batch`: THROW's, which ends the batch outside TRY.
  [[noreturn]] void Raise(const ErrorInfo& error, bool ends_batch = false);
  // What an error on its way out ends (errors.h), as it was raised.
  ErrorReach ReachOfRaised(const com::Error& e) const;
  // The severity an error on its way out was raised with (RAISERROR's,
  // THROW's), else its number's own.
  int SeverityRaised(const com::Error& e) const;
  // Whether an error ends `reach` alone here: no TRY block is running to
  // catch it, XACT_ABORT is OFF, and it reaches that far and no further.
  bool EndsOnly(const com::Error& e, ErrorReach reach) const;
  // Whether a procedure or dynamic SQL that an error ended keeps the work
  // of its statements before the failing one, as on SQL Server: yes,
  // unless the failure lies beneath the statements or is a deadlock.
  bool KeepsWorkBefore(const com::Error& e) const;
  // The temporary tables made since `before` (their ids) go, as they do
  // when the procedure that made them ends.
  void DropTemporaryTablesSince(const std::vector<std::int64_t>& before);
  // Sends an error that ended a statement or scope the batch goes on
  // after: a message in its place, @@ERROR, and the batch's error to raise
  // when it ends (deferred_) if it is the first.
  void SendError(const com::Error& error, BatchOutput* output);
  // Records the end of statement `s` in the output (StatementEnd), with
  // its count as NOCOUNT stands now; `failed` when it raised an error.
  void EndStatement(const ast::Stmt& s, BatchOutput* output, bool failed);
  // Ends each result set a system procedure gave, from outcome
  // `first_outcome` on, as a statement of the procedure.
  void EndEachResult(BatchOutput* output, std::size_t first_outcome);
  // A batch or call ending at an error: under XACT_ABORT, or with a doomed
  // transaction, the open transaction is rolled back.
  void EndAbortedTransaction();
  // A batch or call that ran to its end with a doomed transaction open
  // rolls it back and sends 3998.
  void EndDoomedTransaction(BatchOutput* output);
  // An error on its way out, described as it was noted where it was
  // raised.
  ErrorInfo RaisedAs(const com::Error& error) const;
  // Fills in how the batch or call ended for `error`, which stopped it,
  // from what was noted where it was raised.
  void ReportFailure(BatchOutput* output, const com::Error& error);
  // After a batch or call that ran to its end: raises the first error a
  // RAISERROR sent outside TRY, after which the batch went on.
  void RaiseDeferred(BatchOutput* output);
  // The errors of the CATCH blocks running, the innermost last; the
  // translator sees the innermost.
  void PushCaught(ErrorInfo error);
  void PopCaught();
  // The value of an expression without a FROM, in the scope running.
  // Sets a variable to an expression's value, as its type takes it (a
  // sql_variant keeps the base type the expression has).
  void AssignVariable(const std::string& name, const ast::Expr& e, const char* operation);
  com::Variant Evaluate(const ast::Expr& e, const char* operation);
  void RunDeclare(const ast::Stmt& s);
  void RunSetVariable(const ast::Stmt& s);
  void RunReturn(const ast::Stmt& s, std::string_view text, BatchOutput* output);
  // PRINT's text: the value converted as CONVERT to a character type
  // converts it (style 0), cut to what a message holds; "" for NULL.
  std::string PrintText(const ast::Expr& e);
  // A statement that runs in a statement frame: it changes the database or
  // runs a procedure.
  void RunWriting(ast::Stmt& s, std::string_view text, BatchOutput* output);
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
  // Runs the statements of a procedure (or of dynamic SQL) one nesting
  // level deeper (217 past 32), in a scope of their own holding the
  // parameters with the values `call` bound; temporary tables they made go
  // when they end. The OUTPUT arguments then receive their parameters'
  // values and types. Returns the status RETURN gave, 0 without one.
  // `text` is the text the statements' offsets index; `procedure` the
  // procedure's name, "" for dynamic SQL.
  int RunNested(std::vector<ast::StmtPtr>& statements, std::string_view text, const std::string& procedure,
                const std::vector<ProcedureParameter>& parameters, const BoundCall& call,
                std::vector<Argument>& arguments, BatchOutput* output);

  // engine_query.cpp
  void RunSelect(const ast::Stmt& s, BatchOutput* output);

  // engine_compute.cpp
  // The COMPUTE clauses of a query whose result has `columns`, checked as
  // SQL Server checks them (411 for an aggregate of no select item, 143
  // and 163 for BY items that are not the ORDER BY list's first items).
  std::vector<ComputeClause> DescribeComputes(const ast::Select& select, const std::vector<OutputColumn>& columns);
  // The compute rows of a query whose rows `rs` holds, described by
  // DescribeComputes: each clause's columns, and its rows after the rows
  // they follow.
  void RunComputes(ast::Select& select, ResultSet* rs);
  // SELECT @a = x, ...: the variables take the last row's values; no row
  // leaves them as they were.
  void RunSelectAssign(const ast::Stmt& s);

  // engine_dml.cpp
  void RunInsert(ast::Stmt& s);
  void RunUpdate(const ast::Stmt& s);
  void RunDelete(const ast::Stmt& s);

  // engine_ddl.cpp
  void RunCreateTable(ast::Stmt& s, std::string_view batch);
  // Raises the error for CREATE TABLE naming a database not the current one.
  [[noreturn]] void RefuseTableOfOtherDatabase(const ast::ObjectName& name);
  void RunDropTable(const ast::Stmt& s);
  void RunCreateProcedure(const ast::Stmt& s);
  void RunDropProcedure(const ast::Stmt& s);
  // CREATE VIEW and ALTER VIEW: the query must translate now, against the
  // database as it is, and name every column once.
  void RunCreateView(const ast::Stmt& s);
  void RunDropView(const ast::Stmt& s);
  void RunCreateIndex(const ast::Stmt& s, std::string_view batch);
  void RunDropIndex(const ast::Stmt& s);
  // SELECT ... INTO t: a new table with the query's columns, holding its
  // rows (engine_query.cpp).
  void RunSelectInto(const ast::Stmt& s);
  void RunSetIdentityInsert(const ast::Stmt& s);
  // SET option value: kept in the session (state_.options) when honoured;
  // raises 195 for an option the server does not know, 40000 for a value
  // it does not honour (engine_options.cpp).
  void RunSetOption(const ast::Stmt& s);
  void RunTruncate(const ast::Stmt& s);

  // The database's connection and its catalog: replaced by USE.
  std::unique_ptr<Db> db_;
  std::shared_ptr<const ServerDirectory> server_;  // null for a database file on its own
  std::unique_ptr<Catalog> catalog_;
  FunctionContext functions_;
  // Opens a database file as the session's connection.
  void Open(const std::string& file, const std::string& database);
  SessionState state_;
  std::optional<std::int64_t> identity_insert_;  // the table whose IDENTITY_INSERT is on
  // Back to write-ahead logging once a load's transaction has ended.
  void EndLoadJournal();

  std::string transaction_name_;   // BEGIN TRAN name of the outermost transaction
  std::vector<std::pair<std::string, std::uint64_t>> savepoints_;  // SAVE TRAN names, in order, and their SQLite numbers
  std::uint64_t next_savepoint_ = 0;
  std::uint64_t savepoint_epoch_ = 0;  // the transaction (epoch_) savepoints_ belong to
  std::uint64_t epoch_ = 0;        // bumped at every real begin, commit and rollback
  // SQLite's transaction holds the session transaction's work (@@TRANCOUNT
  // > 0); false while that transaction has written nothing yet.
  bool transaction_begun_ = false;
  // What the connection has changed so far, rows and definitions: unchanged
  // across a frame that wrote nothing.
  std::int64_t ChangeMark() const;
  bool load_journal_ = false;      // the open transaction keeps a rollback journal
  int frame_depth_ = 0;
  int exec_depth_ = 0;
  Scope* scope_ = nullptr;  // the batch's or procedure's running, null between batches
  std::atomic<bool> interrupted_{false};  // set by Interrupt from another thread
  // Held by Interrupt, by Open while it replaces the connection, and by
  // WAITFOR's wait on wake_ for its time or an interrupt.
  std::mutex interrupt_mutex_;
  std::condition_variable wake_;
  Raised raised_;                         // the error on its way out, where it was raised
  std::optional<ErrorInfo> raising_;      // the error Raise throws, with its own severity and state
  std::vector<ErrorInfo> caught_;         // the errors of the CATCH blocks running, innermost last
  int try_depth_ = 0;                     // TRY blocks running, at any nesting level
  std::optional<Raised> deferred_;        // the batch's first error it went on after
  bool raising_ends_batch_ = false;       // the error Raise throws is THROW's
  // The error a procedure or dynamic SQL ended at, its scope's alone: the
  // EXECUTE statement running it fails with it once it has ended.
  std::int32_t scope_error_ = 0;
  std::optional<std::uint64_t> doomed_epoch_;  // the transaction (epoch_) an error doomed under XACT_ABORT
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
  // Inserts rows[0 .. count) in order, as many Inserts would, in one
  // statement where it can (row_source.h). When a row cannot be stored,
  // raises its error as Insert would, the rows before it stored and
  // nothing of it; `*written` says how many were stored, also then.
  void InsertRows(const dts::Row* rows, std::size_t count, std::size_t* written);
  // Inserts every row of a query in one statement inside SQLite, when each
  // of its values is one its column stores as it is (checked value by
  // value) and the query does not read the table. Returns false, having
  // stored nothing, when it cannot: the rows must then go through Insert,
  // which converts each value or names the one that fails.
  bool InsertSelect(const TranslatedSelect& select);
  // Records the identity the inserts reached. Call once, at the end.
  void Finish();
  std::int64_t rows() const { return rows_; }
  std::optional<std::int64_t> last_identity() const { return identity_.last; }
  // A NULL given for a column stores its default instead.
  void set_nulls_take_defaults(bool take) { nulls_take_defaults_ = take; }
  // The column the last failed Insert could not store ("" for the row).
  const std::string& failed_column() const { return failed_column_; }

 private:
  struct Identity {
    std::optional<std::int64_t> last;  // the last value handed out or given
    std::optional<std::int64_t> next;  // nullopt once past the 64-bit range
  };
  // Makes the value of each table column for one row, in `cells` (one per
  // table column), converting into `converted` (as many) where a value is
  // not stored as it is given, and advances `identity` past the row.
  // Raises the row's error, naming its column in failed_column_.
  void PrepareRow(const std::vector<com::Variant>& values, CellValue* cells, Stored* converted, Identity* identity);
  // The cell of a value given for a column when it is of the column's own
  // type and fits as it is, so it needs no conversion (the values of a data
  // pump, converted before they get here); false when it must be
  // converted.
  bool AsGiven(std::size_t column, const com::Variant& v, CellValue* cell) const;
  // Stores one prepared row through the one-row statement; raises its
  // error, naming the foreign key a missing parent row breaks.
  void StoreRow(const CellValue* cells, const std::vector<com::Variant>& values);
  // The SQL storing a query's value `value` into a column as it is, or
  // nullopt when the column may store it otherwise.
  std::optional<std::string> StoredAsGiven(std::size_t column, const OutputColumn& source, const std::string& value) const;

  EngineCore& engine_;
  const TableMeta& table_;
  std::vector<int> targets_;
  std::vector<int> slot_of_column_;  // column -> index in values, or -1
  bool explicit_identity_;
  int identity_column_;
  int rowversion_column_;  // the timestamp column, which each row takes the database's next timestamp in
  Identity identity_;  // as the rows stored so far leave it
  std::vector<Stored> defaults_;                // per column, evaluated once
  std::vector<dts::ColumnInfo> value_info_;     // per column, what its values convert to
  // The rows being stored: their cells and converted values, row after
  // row, and the identity after each.
  std::vector<CellValue> cells_;
  std::vector<Stored> converted_;
  std::vector<Identity> identity_after_;
  std::string insert_into_;  // "INSERT INTO t (every column) "
  Prepared insert_;        // one row: INSERT ... VALUES
  Prepared insert_rows_;   // many: INSERT ... SELECT ... FROM vk_rows, made on first use
  std::int64_t rows_ = 0;
  bool nulls_take_defaults_ = false;
  std::string failed_column_;
};

// "database.dbo.table", as SQL Server's messages name a table.
inline std::string QualifiedName(const std::string& database, const std::string& table) {
  return database + ".dbo." + table;
}

// Binds a stored value to parameter i of a statement.
inline void Bind(Prepared& s, int i, const Stored& v) {
  switch (v.kind) {
    case Stored::kNull: s.BindNull(i); break;
    case Stored::kInteger: s.Bind(i, v.i); break;
    case Stored::kReal: s.Bind(i, v.r); break;
    case Stored::kText: s.Bind(i, std::string_view(v.s)); break;
    case Stored::kBlob: s.BindBlob(i, v.s); break;
  }
}

// The same, binding text in place: `v` must stay unchanged until the
// statement has run.
inline void BindInPlace(Prepared& s, int i, const Stored& v) {
  if (v.kind == Stored::kText) {
    s.BindInPlace(i, v.s);
  } else {
    Bind(s, i, v);
  }
}

}  // namespace sqlsrv
