// Thin RAII wrappers over the SQLite C interface: a connection and a
// prepared statement. Every failure raises the error SqliteError makes of
// it: SQL Server's numbers for locks and for the storage under the file
// (full, read-only, unopenable, failing), SQLite's own message for the
// rest; the engine maps constraint failures to SQL Server's numbers itself.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/error.h"

namespace sqlsrv {

// Error numbers for failures of the storage layer itself.
inline constexpr std::int32_t kErrStorage = 5;  // no SQL Server number fits better

// What a storage failure's error names.
struct StorageNames {
  std::string file;      // the database file
  std::string database;  // the database's name
  std::string object;    // the object being written ("dbo.Customer")
};

// The error a failed SQLite call (result code `rc`, extended codes on) on
// connection `db` (null when none was made) raises. Every path that turns
// a SQLite result code into an error comes here, so that a failure reads
// the same wherever it happens:
//   a lock another connection holds past the lock timeout: 1222;
//   a full file system (SQLITE_FULL, or an I/O error the operating system
//   gave as ENOSPC or EDQUOT): 1105, with the file's path and the space its
//   file system has left;
//   a file that cannot be written (SQLITE_READONLY): 3906; one that cannot
//   be opened (SQLITE_CANTOPEN): 5120; any other I/O error: 823; each
//   naming the file and the operating system's reason;
//   out of memory: 701;
//   an interrupt (sqlite3_interrupt): kErrCancelled;
//   anything else: kErrStorage from "SQLite", SQLite's message after
//   `what` ("无法准备语句") when given.
com::Error SqliteError(sqlite3* db, int rc, std::string_view what, const StorageNames& names);

class Db {
 public:
  // Opens (creating when `create`) a database file.
  Db(const std::string& path, bool create);
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  sqlite3* get() const { return db_; }
  // Runs statements without results; raises on failure.
  void Exec(std::string_view sql);
  // What its failures name: the database (until set, the file's name) and
  // the table being written (until set, the catalog, sysobjects).
  void SetDatabaseName(std::string name) { database_ = std::move(name); }
  void SetTableWritten(std::string table) { table_written_ = std::move(table); }
  // The error a failed call on this connection raises (see SqliteError);
  // `table` names the table being written when not the one set.
  com::Error Failure(int rc, std::string_view what = {}, std::string_view table = {}) const;
  std::int64_t Changes() const { return sqlite3_changes64(db_); }
  std::int64_t LastRowId() const { return sqlite3_last_insert_rowid(db_); }
  bool InTransaction() const { return !sqlite3_get_autocommit(db_); }
  const std::string& path() const { return path_; }

  // How long a statement waits for another connection's lock before it
  // fails with 1222: milliseconds, 0 not at all, negative without limit.
  // A new connection waits 30 s.
  void SetLockTimeout(int milliseconds) { lock_timeout_ms_ = milliseconds; }
  int lock_timeout() const { return lock_timeout_ms_; }
  // A flag that, once set, ends any wait for a lock at once (the wait then
  // fails as a time-out). Null for none; it must outlive the connection.
  void WatchCancel(const std::atomic<bool>* cancelled) { cancelled_ = cancelled; }

 private:
  // SQLite's busy handler: true (keep waiting) until the time-out passes.
  static int OnBusy(void* self, int attempts);

  sqlite3* db_ = nullptr;
  std::string path_;
  std::string database_;
  std::string table_written_;
  int lock_timeout_ms_ = 30000;
  const std::atomic<bool>* cancelled_ = nullptr;
  std::chrono::steady_clock::time_point wait_started_;
};

// A prepared statement of a connection (SQLite's sqlite3_stmt), finalized
// when it goes.
class Prepared {
 public:
  Prepared() = default;
  Prepared(const Db& db, std::string_view sql);
  ~Prepared();
  Prepared(Prepared&& o) noexcept;
  Prepared& operator=(Prepared&& o) noexcept;
  Prepared(const Prepared&) = delete;
  Prepared& operator=(const Prepared&) = delete;

  // Steps once: true when a row is ready, false when done; raises on
  // failure.
  bool Step();
  int StepRaw();  // SQLITE_ROW, SQLITE_DONE or an error code
  // Readies the statement to run again, its parameters unbound.
  void Reset();
  // Readies it to run again keeping its parameters bound, for a caller
  // that rebinds every parameter before each run.
  void Rewind();

  void BindNull(int i);
  void Bind(int i, std::int64_t v);
  void Bind(int i, double v);
  void Bind(int i, std::string_view v);  // copies the text
  // Binds text that stays where it is, unchanged, until the statement has
  // run and been rewound or rebound.
  void BindInPlace(int i, std::string_view v);
  void BindBlob(int i, std::string_view bytes);  // copies the bytes

  int Type(int i) const { return sqlite3_column_type(stmt_, i); }
  bool IsNull(int i) const { return Type(i) == SQLITE_NULL; }
  std::int64_t Int(int i) const { return sqlite3_column_int64(stmt_, i); }
  double Real(int i) const { return sqlite3_column_double(stmt_, i); }
  std::string_view Text(int i) const;
  sqlite3_stmt* get() const { return stmt_; }
  sqlite3* db() const { return sqlite3_db_handle(stmt_); }

 private:
  const Db* owner_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// SQLite's message for the last failure on a connection.
std::string LastError(sqlite3* db);

// True for the result codes of a lock another connection holds
// (SQLITE_BUSY, SQLITE_LOCKED and their extended codes).
inline bool IsLockConflict(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace sqlsrv
