// Transactions: statement frames (the savepoint each statement runs in)
// and BEGIN TRAN / COMMIT / ROLLBACK nesting by @@TRANCOUNT, kept true to
// SQLite's own state when a failure makes SQLite roll back by itself.
#include <sqlite3.h>

#include <algorithm>

#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {

// ------------------------------------------------------------ frames

namespace {

// Runs SQL whose failure the caller copes with itself.
bool Quietly(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

EngineCore::Frame::Frame(EngineCore& e, bool writes) : e_(e), trancount_(e.state_.trancount) {
  if (e.TransactionLost()) throw TransactionDoomedError();
  if (!e.db_->InTransaction()) {
    e.db_->Exec(writes ? "BEGIN IMMEDIATE" : "BEGIN");
    owns_transaction_ = true;
    begins_session_transaction_ = e.state_.trancount > 0;
    if (begins_session_transaction_) changes_before_ = e.ChangeMark();
    ++e.epoch_;
  }
  name_ = "vk_f" + std::to_string(e.frame_depth_ + 1);
  if (!Quietly(e.db_->get(), "SAVEPOINT " + name_)) {
    com::Error error = e.db_->Failure(sqlite3_extended_errcode(e.db_->get()));
    if (owns_transaction_) Quietly(e.db_->get(), "ROLLBACK");
    throw error;
  }
  ++e.frame_depth_;
  epoch_ = e.epoch_;
}

void EngineCore::Frame::Done() {
  done_ = true;
  --e_.frame_depth_;
  if (epoch_ != e_.epoch_) return;  // committed or rolled back inside
  try {
    if (!e_.db_->InTransaction()) {
      // Only a failure SQLite answers by rolling back everything ends the
      // transaction under a statement, and that failure is raised; this is
      // the guard should one ever be swallowed.
      throw com::Error(kErrStorage, "SQLite", "SQLite rolled the transaction back; the statement's work is undone.");
    }
    e_.db_->Exec("RELEASE " + name_);
    if (owns_transaction_ && e_.state_.trancount == 0) {
      e_.db_->Exec("COMMIT");
      ++e_.epoch_;
    } else if (begins_session_transaction_ && !e_.transaction_begun_) {
      if (e_.ChangeMark() == changes_before_) {
        // Nothing written: the session transaction goes on without a lock.
        e_.db_->Exec("COMMIT");
        ++e_.epoch_;
      } else {
        e_.transaction_begun_ = true;
      }
    }
  } catch (const com::Error&) {
    Undo();
    throw;
  }
  e_.EndLoadJournal();
}

void EngineCore::Frame::KeepQuietly() {
  try {
    Done();
  } catch (const com::Error&) {
    // Done has undone the work.
  }
}

EngineCore::Frame::~Frame() {
  if (done_) return;
  --e_.frame_depth_;
  Undo();
}

void EngineCore::Frame::Undo() {
  if (epoch_ != e_.epoch_) return;  // committed or rolled back inside
  sqlite3* db = e_.db_->get();
  // SQLite may have rolled back the whole transaction itself (after a full
  // disk, an I/O error, running out of memory or an interrupt), savepoints
  // and all; and a savepoint it cannot go back to takes the transaction
  // with it.
  if (e_.db_->InTransaction() && !(Quietly(db, "ROLLBACK TO " + name_) && Quietly(db, "RELEASE " + name_))) {
    Quietly(db, "ROLLBACK");
  }
  e_.state_.trancount = trancount_;  // a procedure's own BEGIN TRAN is undone with it
  if (owns_transaction_) {
    if (e_.db_->InTransaction()) Quietly(db, "ROLLBACK");
    ++e_.epoch_;
  }
  // A transaction opened before the statement and lost with it stays
  // counted until its ROLLBACK (TransactionLost); frames further out see
  // the same epoch and undo their own part.
  e_.EndLoadJournal();
}

// ------------------------------------------------------------ transactions

std::int64_t EngineCore::ChangeMark() const {
  // Definitions are rows of the catalog's tables, so rows say it all.
  return sqlite3_total_changes64(db_->get());
}

void EngineCore::BeginTransaction() {
  // No lock yet: SQLite's transaction begins with the first statement that
  // writes (Frame). Begun inside a statement that has one open already, the
  // session transaction takes that one over.
  if (state_.trancount == 0) transaction_begun_ = db_->InTransaction();
  ++state_.trancount;
}

void EngineCore::BeginLoadTransaction() {
  if (state_.trancount == 0 && !db_->InTransaction()) {
    // Leaving write-ahead logging needs the database to itself: tried
    // without waiting, and any refusal leaves the log in use.
    const int lock_timeout = db_->lock_timeout();
    db_->SetLockTimeout(0);
    try {
      Prepared mode(*db_, "PRAGMA journal_mode = DELETE");
      load_journal_ = mode.Step() && mode.Text(0) == "delete";
      if (load_journal_) db_->Exec("PRAGMA synchronous = FULL; PRAGMA cache_size = -49152");
    } catch (const com::Error&) {
      load_journal_ = false;
    }
    db_->SetLockTimeout(lock_timeout);
  }
  BeginTransaction();
}

void EngineCore::EndLoadJournal() {
  if (!load_journal_ || db_->InTransaction() || state_.trancount > 0) return;
  load_journal_ = false;
  // Another connection that opened the database meanwhile keeps it from
  // returning to the log until a later load ends; it is sound either way.
  sqlite3_exec(db_->get(), "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;", nullptr, nullptr, nullptr);
}

void EngineCore::Commit() {
  if (state_.trancount == 0) {
    throw SqlErr(kCommitNoBegin, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  if (TransactionLost()) throw TransactionDoomedError();
  // The outermost COMMIT commits, also inside a statement (a procedure):
  // the work so far is then committed, as on SQL Server. A transaction
  // that never wrote has nothing in SQLite to commit.
  if (state_.trancount == 1 && !db_->InTransaction()) {
    ++epoch_;
    last_end_ = TransactionEnd::kCommitted;
  } else if (state_.trancount == 1) {
    try {
      db_->Exec("COMMIT");
    } catch (const com::Error&) {
      // A lock that kept it from committing leaves it open, to be
      // committed or rolled back again; a failure to write it (a full
      // disk) ends it, rolled back by SQLite.
      if (!db_->InTransaction()) {
        state_.trancount = 0;
        ++epoch_;
        last_end_ = TransactionEnd::kRolledBack;
        EndLoadJournal();
      }
      throw;
    }
    ++epoch_;
    last_end_ = TransactionEnd::kCommitted;
  }
  --state_.trancount;
  EndLoadJournal();
}

void EngineCore::SaveTransaction(const std::string& name) {
  if (state_.trancount == 0) {
    throw SqlErr(kSaveNoTransaction, "Cannot issue SAVE TRANSACTION when there is no active transaction.");
  }
  if (TransactionLost()) throw TransactionDoomedError();
  if (!db_->InTransaction()) {
    db_->Exec("BEGIN IMMEDIATE");
    ++epoch_;
  }
  transaction_begun_ = true;  // kept open for the savepoint, written to or not
  if (savepoint_epoch_ != epoch_) savepoints_.clear();  // those of a transaction that has ended
  savepoint_epoch_ = epoch_;
  const std::uint64_t number = next_savepoint_++;
  db_->Exec("SAVEPOINT user_savepoint_" + std::to_string(number));
  savepoints_.emplace_back(name, number);
}

void EngineCore::RollbackToSavepoint(const std::string& name) {
  if (savepoint_epoch_ != epoch_) savepoints_.clear();
  auto it = std::find_if(savepoints_.rbegin(), savepoints_.rend(), [&](const auto& p) { return p.first == name; });
  auto not_found = [&] {
    return SqlErr(kNoSavepoint, "Cannot roll back " + name + ". No transaction or savepoint of that name was found.");
  };
  if (state_.trancount == 0 || it == savepoints_.rend()) throw not_found();
  if (TransactionLost()) throw TransactionDoomedError();
  // The savepoints set after it go; it stays, to be gone back to again.
  const std::uint64_t number = it->second;
  savepoints_.erase(it.base(), savepoints_.end());
  try {
    db_->Exec("ROLLBACK TO user_savepoint_" + std::to_string(number));
  } catch (const com::Error&) {
    // Released with the statement it was set in (a procedure's EXEC).
    savepoints_.pop_back();
    throw not_found();
  }
  catalog_->Refresh();
}

void EngineCore::Rollback() {
  if (state_.trancount == 0) {
    throw SqlErr(kRollbackNoBegin, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  // Also the end of a transaction SQLite has already rolled back itself,
  // or one an error doomed (which may never have written).
  state_.trancount = 0;
  doomed_epoch_.reset();
  last_end_ = TransactionEnd::kRolledBack;
  if (db_->InTransaction()) {
    ++epoch_;
    try {
      db_->Exec("ROLLBACK");
    } catch (const com::Error&) {
      EndLoadJournal();
      throw;
    }
  }
  EndLoadJournal();
}

}  // namespace sqlsrv
