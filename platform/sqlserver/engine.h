// One connection of the embedded server to one database: runs T-SQL
// batches with SQL Server's meaning on the database's SQLite file.
//
// Statements are atomic: each runs inside a savepoint and leaves nothing
// behind when it fails. BEGIN TRAN / COMMIT / ROLLBACK nest as on SQL
// Server: an inner pair only counts (@@TRANCOUNT); the outermost COMMIT
// commits and any ROLLBACK rolls back everything.
//
// An error ends what SQL Server's classification says it ends (ReachOf in
// errors.h): most end only their statement, whose error is sent as a
// message (BatchOutput::messages, in order) and the batch or procedure
// goes on with the next statement, an open transaction staying open;
// compile errors (an unknown table or column) end the batch or the one
// procedure or dynamic SQL they occur in, whose caller goes on after its
// EXECUTE, failed with that error; conversion errors, THROW, the
// storage's failures and a cancel end the batch and every procedure
// running, the failing statement undone, and with it a procedure's EXECUTE
// and all its work. SET XACT_ABORT ON makes any error of a statement end
// the batch and roll back the open transaction. A batch that raised
// raises, when it has ended, its first error, so that callers see it
// failed; an error that ended the batch is not among its messages
// (error_in_messages says which). RAISERROR outside any TRY block is sent
// and the batch goes on (one of severity 10 or less is a message only);
// THROW ends the batch.
//
// Inside a TRY block an error (of severity 11 to 19) passes control to its
// CATCH block instead, where ERROR_NUMBER() and its kin describe it. TRY
// does not catch an error SQL Server finds compiling a statement at its
// own level, nor a cancel. Under XACT_ABORT the error dooms an open
// transaction (XACT_STATE() -1): it may only be rolled back, and is
// rolled back with error 3998 when the batch ends with it still open.
// @@ERROR holds the number of the last statement's error, 0 after one
// that succeeded.
//
// Variables (DECLARE, SET, SELECT @v = ...) belong to their batch or to one
// execution of a procedure; EXECUTE passes arguments by position or name,
// OUTPUT arguments receive their parameters' values when the procedure
// ends, and RETURN gives the procedure's status. EXECUTE ('...') runs
// dynamic SQL as a batch of its own, with its own variables.
//
// USE changes the database the session works in, from the next statement
// on, to another of the server folder holding the engine's database file
// (911 for a name it does not have). It is refused while a transaction is
// open (dynamic SQL runs inside its EXECUTE's, so it may not USE either)
// or temporary tables exist, which live with one database's file.
//
// Locks: several engines (sessions) may have one database open. BEGIN TRAN
// takes no lock; a transaction takes the database's write lock with its
// first statement that writes and holds it to its end, so another
// session's write waits for it (1222 after the lock timeout). Reading
// takes no lock anyone waits for: a statement sees what was committed
// when it started, and its own transaction's work (as SQL Server's READ
// COMMITTED with row versions does).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/sqlserver/errors.h"  // kErrCancelled, the error of a batch stopped by Interrupt
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/result_column.h"
#include "platform/sqlserver/server_directory.h"

namespace sqlsrv {

// The row aggregates of COMPUTE.
enum class RowAggregate { kAvg, kCount, kMax, kMin, kStdev, kStdevp, kSum, kVar, kVarp };

// One COMPUTE clause of a query, as its result describes it.
struct ComputeClause {
  std::uint16_t id = 0;  // 1 for the query's first COMPUTE clause, 2 for its second ...
  std::vector<OutputColumn> columns;       // the aggregates' values, one column each
  std::vector<RowAggregate> aggregates;    // each column's aggregate
  std::vector<std::size_t> operands;       // the result column (from 0) each aggregate is over
  std::vector<std::size_t> by;             // the result columns (from 0) of BY, in order
};

// A row of a COMPUTE clause's aggregates: over the group of rows ending
// with row `after` (counted from 1), or over every row (after: them all).
struct ComputeRow {
  std::uint16_t id = 0;  // its clause's
  std::size_t after = 0;
  dts::Row values;
};

struct ResultSet {
  std::vector<OutputColumn> columns;
  std::vector<dts::Row> rows;
  std::vector<ComputeClause> computes;    // the query's COMPUTE clauses; none without
  // The compute rows in the order they follow the rows: by `after`, and of
  // those after the same row, the innermost group's first (the clause with
  // the most BY columns), the one without BY last.
  std::vector<ComputeRow> compute_rows;
  // A query read in browse mode: where its columns come from; its hidden
  // columns are the last of `columns`.
  std::optional<BrowseInfo> browse;
};

enum class TransactionEnd { kNone, kCommitted, kRolledBack };

// A message a batch sent besides its results: PRINT's text, RAISERROR's,
// the change of database USE made.
struct BatchMessage {
  std::string text;
  std::int32_t number = 0;  // 0 for PRINT; 50000 or RAISERROR's number; 5701 for USE
  // 10 and below: information. 11 to 19: an error raised outside any TRY
  // block (a statement's, RAISERROR's) after which the batch went on.
  int severity = 0;
  int state = 1;
  int line = 0;               // where it was sent from, counted as error_line is
  std::string procedure;      // the procedure that sent it, "" for none
  std::string database;       // USE: the database the session uses from here on
};

// The end of one statement a batch ran, as a client is told of it: every
// statement but DECLARE and control of flow (IF, WHILE, BEGIN ... END,
// TRY, BREAK, CONTINUE, RETURN) has one, after its rows and messages.
struct StatementEnd {
  enum Verb { kOther, kSelect, kInsert, kUpdate, kDelete, kExecute };
  Verb verb = kOther;  // kExecute: EXECUTE of a procedure
  std::int64_t rows = 0;  // SELECT's rows, or those INSERT, UPDATE or DELETE changed
  bool counted = false;   // rows counts: a SELECT, INSERT, UPDATE or DELETE that succeeded with NOCOUNT OFF
  bool in_procedure = false;   // run by a procedure or dynamic SQL (any statement of a Call)
  bool failed = false;         // it raised an error (sent among the messages, or ending the batch)
  bool in_transaction = false; // a transaction was open when it ended
  // kExecute: the status the procedure returned; none when the EXECUTE
  // failed before it ran.
  std::optional<int> return_status;
};

// What a batch produced, statement by statement.
struct BatchOutput {
  std::vector<ResultSet> results;       // each SELECT's rows
  std::vector<dts::RowsAffected> affected;  // each INSERT, UPDATE, DELETE, those of procedures included
  std::vector<BatchMessage> messages;   // PRINT, RAISERROR, USE, errors the batch went on after
  std::vector<StatementEnd> ends;       // each statement's end
  // The results, counts, messages and statements' ends in the order the
  // statements gave them (a count just before its statement's end).
  struct Outcome {
    enum Kind { kRows, kCount, kMessage, kEnd } kind;
    std::size_t index;  // into results, affected, messages or ends
  };
  std::vector<Outcome> order;
  // When the batch raised: the failing statement's line (1 for the first
  // line of its batch, or of the CREATE PROCEDURE text of its procedure),
  // its procedure, and the error's severity and state.
  int error_line = 0;
  std::string error_procedure;
  int error_severity = 16;
  int error_state = 1;
  // The error raised is one of `messages` already: one the batch went on
  // after (a statement's, RAISERROR's).
  bool error_in_messages = false;
  // How the last transaction that ended during the batch ended.
  TransactionEnd transaction_end = TransactionEnd::kNone;
  // The status a procedure returned: set by Call, and by an EXECUTE the
  // batch itself ran (not one inside a procedure), the last one's (none
  // when that one failed before its procedure ran).
  std::optional<int> return_status;
};

class EngineCore;

class Engine {
 public:
  // Opens the database file of `database` as `login` from `host`.
  // `server` is the server holding the database (Server::DirectoryOf):
  // USE reaches its other databases, and its views list them and its
  // logins. Without one the session knows only its own database.
  Engine(const std::string& file, std::string database, std::string login, std::string host = "",
         std::shared_ptr<const ServerDirectory> server = nullptr);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Checks a database file as SQLite checks its own (pages, indexes against
  // their tables, with the server's collation), then every foreign key.
  // Returns {"ok"} for a sound file, else one line per problem. Reads only.
  static std::vector<std::string> CheckDatabaseFile(const std::string& file);

  // Runs a script: batches separated by GO lines. Each batch has its own
  // variables (DECLARE), as on SQL Server.
  void Execute(std::string_view script, BatchOutput* output = nullptr);

  // Calls a procedure by name: a user's procedure, sp_executesql, or a
  // system procedure. Converts each argument to its parameter's type;
  // output arguments receive the parameters' final values and their
  // declared types. Returns the return status. Raises as EXEC does;
  // `output` receives results as Execute's.
  // The name may be qualified ("dbo.p", "db.dbo.p"; "sys.sp_executesql",
  // "master..sp_executesql"); 2812 for one that names no procedure. The
  // call is one statement: it fails as a whole, its work undone. The
  // arguments bind as procedure_call.h says (BindArguments).
  int Call(std::string_view name, std::vector<Argument>& arguments, BatchOutput* output = nullptr);

  // Runs one SELECT and streams its rows.
  std::unique_ptr<dts::RowReader> Query(std::string_view select);

  // The columns of a table, as a bulk load sees them.
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object_name);

  // A bulk load into the named columns of a table. Its rows are written
  // inside one savepoint: Finish keeps them, dropping the writer unfinished
  // leaves nothing behind. A NULL is stored as NULL, unless
  // `nulls_take_defaults` (a bcp client that did not ask to keep NULLs),
  // when a column with a default takes its default.
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object_name, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options, bool nulls_take_defaults = false);

  void BeginTransaction();
  // Begins the transaction of a load of many rows (a package's). When no
  // other connection has the database open, the transaction keeps its undo
  // journal beside the file instead of a write-ahead log, so that the rows
  // are written once, not into the log and then again into the file; the
  // database goes back to write-ahead logging when the transaction ends.
  // Atomic and durable as any transaction; with another connection open it
  // is an ordinary transaction.
  void BeginLoadTransaction();
  void Commit();
  void Rollback();
  // From another thread while a batch runs: stops it at once with
  // kErrCancelled (its statement undone, as any failing statement), a
  // WAITFOR too. TRY does not catch it. An interrupt before a batch starts
  // is forgotten when it starts.
  void Interrupt();
  int trancount() const;
  // The session's id, as @@SPID and sp_who show it: 51 until set (the TDS
  // endpoint gives each connection its own).
  void set_session_id(int id);
  // The database the session uses: the one it was opened on until a USE.
  const std::string& database() const;

 private:
  std::unique_ptr<EngineCore> core_;
};

// While it lives the engine's session describes queries without running
// them (SET FMTONLY ON); FMTONLY goes off again however the scope ends.
class FormatOnlyScope {
 public:
  explicit FormatOnlyScope(Engine& engine) : engine_(engine) { engine_.Execute("SET FMTONLY ON"); }
  ~FormatOnlyScope() {
    try {
      engine_.Execute("SET FMTONLY OFF");
    } catch (const com::Error&) {
      // A session that cannot run SET is past describing anything.
    }
  }
  FormatOnlyScope(const FormatOnlyScope&) = delete;
  FormatOnlyScope& operator=(const FormatOnlyScope&) = delete;

 private:
  Engine& engine_;
};

}  // namespace sqlsrv
