// Transactions: statement frames (the savepoint each statement runs in)
// and BEGIN TRAN / COMMIT / ROLLBACK nesting by @@TRANCOUNT.
#include <sqlite3.h>

#include "platform/sqlserver/engine_internal.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {

// ------------------------------------------------------------ frames

EngineCore::Frame::Frame(EngineCore& e, bool writes) : e_(e), trancount_(e.state_.trancount) {
  if (!e.db_.InTransaction()) {
    e.db_.Exec(writes ? "BEGIN IMMEDIATE" : "BEGIN");
    owns_transaction_ = true;
    ++e.epoch_;
  }
  name_ = "vk_f" + std::to_string(++e.frame_depth_);
  e.db_.Exec("SAVEPOINT " + name_);
  epoch_ = e.epoch_;
}

void EngineCore::Frame::Done() {
  done_ = true;
  --e_.frame_depth_;
  if (epoch_ != e_.epoch_ || !e_.db_.InTransaction()) return;  // committed or rolled back inside
  e_.db_.Exec("RELEASE " + name_);
  if (owns_transaction_ && e_.state_.trancount == 0) {
    e_.db_.Exec("COMMIT");
    ++e_.epoch_;
  }
  e_.EndLoadJournal();
}

EngineCore::Frame::~Frame() {
  if (done_) return;
  --e_.frame_depth_;
  if (epoch_ != e_.epoch_ || !e_.db_.InTransaction()) return;
  try {
    e_.db_.Exec("ROLLBACK TO " + name_);
    e_.db_.Exec("RELEASE " + name_);
    e_.state_.trancount = trancount_;  // a procedure's own BEGIN TRAN is undone with it
    if (owns_transaction_ && e_.state_.trancount == 0) {
      e_.db_.Exec("ROLLBACK");
      ++e_.epoch_;
    }
  } catch (const com::Error&) {
    // The connection is unusable for this transaction; let SQLite end it.
    if (e_.db_.InTransaction()) sqlite3_exec(e_.db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    e_.state_.trancount = 0;
    ++e_.epoch_;
  }
  e_.EndLoadJournal();
}

// ------------------------------------------------------------ transactions

void EngineCore::BeginTransaction() {
  if (state_.trancount == 0 && !db_.InTransaction()) {
    db_.Exec("BEGIN IMMEDIATE");
    ++epoch_;
  }
  ++state_.trancount;
}

void EngineCore::BeginLoadTransaction() {
  if (state_.trancount == 0 && !db_.InTransaction()) {
    // Leaving write-ahead logging needs the database to itself: tried
    // without waiting, and any refusal leaves the log in use.
    const int lock_timeout = db_.lock_timeout();
    db_.SetLockTimeout(0);
    try {
      Stmt mode(db_, "PRAGMA journal_mode = DELETE");
      load_journal_ = mode.Step() && mode.Text(0) == "delete";
      if (load_journal_) db_.Exec("PRAGMA synchronous = FULL; PRAGMA cache_size = -49152");
    } catch (const com::Error&) {
      load_journal_ = false;
    }
    db_.SetLockTimeout(lock_timeout);
  }
  BeginTransaction();
}

void EngineCore::EndLoadJournal() {
  if (!load_journal_ || db_.InTransaction()) return;
  load_journal_ = false;
  // Another connection that opened the database meanwhile keeps it from
  // returning to the log until a later load ends; it is sound either way.
  sqlite3_exec(db_.get(), "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;", nullptr, nullptr, nullptr);
}

void EngineCore::Commit() {
  if (state_.trancount == 0) {
    throw SqlErr(kCommitNoBegin, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  // The outermost COMMIT commits, also inside a statement (a procedure):
  // the work so far is then committed, as on SQL Server.
  if (--state_.trancount == 0 && db_.InTransaction()) {
    db_.Exec("COMMIT");
    ++epoch_;
    last_end_ = TransactionEnd::kCommitted;
  }
  EndLoadJournal();
}

void EngineCore::Rollback() {
  if (state_.trancount == 0) {
    throw SqlErr(kRollbackNoBegin, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  state_.trancount = 0;
  if (db_.InTransaction()) {
    db_.Exec("ROLLBACK");
    ++epoch_;
  }
  last_end_ = TransactionEnd::kRolledBack;
  EndLoadJournal();
}

}  // namespace sqlsrv
