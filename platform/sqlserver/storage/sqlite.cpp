#include "platform/sqlserver/storage/sqlite.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/port/files.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {

std::string LastError(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

namespace {

std::string OsErrorText(int error) { return std::generic_category().message(error); }

// The folder holding a file, where SQLite also keeps its journal.
std::string FolderOf(const std::string& file) {
  const std::string folder = port::ParentFolder(file);
  return folder.empty() ? "." : folder;
}

// "0 bytes", "5242880 bytes (5.0 MB)".
std::string BytesText(unsigned long long bytes) {
  std::string text = std::to_string(bytes) + " bytes";
  if (bytes < 1024) return text;
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double size = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (size >= 1024 && unit + 1 < std::size(kUnits)) {
    size /= 1024;
    ++unit;
  }
  char scaled[32];
  std::snprintf(scaled, sizeof scaled, " (%.1f %s)", size, kUnits[unit]);
  return text + scaled;
}

// What the file system holding `file` has left for an ordinary user.
std::string FreeSpaceText(const std::string& file) {
  std::uint64_t bytes = 0;
  port::OsError error;
  if (!port::FreeSpace(FolderOf(file), &bytes, &error)) return "an unknown amount of space (" + error.text + ")";
  return BytesText(static_cast<unsigned long long>(bytes));
}

// Why the operating system will not let SQLite open or write `file` (and
// the journal beside it): an errno, 0 when nothing is in the way.
int Obstacle(const std::string& file) {
  if (file.empty()) return 0;
  return port::ReadWriteObstacle(file, FolderOf(file));
}

}  // namespace

com::Error SqliteError(sqlite3* db, int rc, std::string_view what, const StorageNames& names) {
  if (IsLockConflict(rc)) return LockTimeoutError();
  if ((rc & 0xFF) == SQLITE_INTERRUPT) return SqlErr(kErrCancelled, "The query was cancelled.");
  const std::string message = LastError(db);
  const char* main_file = db ? sqlite3_db_filename(db, "main") : nullptr;
  const std::string file = !names.file.empty() ? names.file : main_file ? main_file : "";
  // SQLite keeps the operating system's error for I/O errors and failed
  // opens only.
  const int primary = rc & 0xFF;
  const int system_error = db && (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN) ? port::ErrnoOf(sqlite3_system_errno(db)) : 0;
  const std::string database =
      !names.database.empty() ? names.database : port::Utf8FromPath(port::PathFromUtf8(file).filename());
  // The operating system's own reason where it has one to give, else SQLite's.
  auto reason = [&](int error) { return error != 0 ? OsErrorText(error) : message; };
  if (primary == SQLITE_FULL || (primary == SQLITE_IOERR && port::IsNoSpace(system_error))) {
    return NoSpaceError(names.object.empty() ? "dbo.sysobjects" : names.object, database, file, FreeSpaceText(file));
  }
  if (primary == SQLITE_READONLY) {
    return ReadOnlyDatabaseError(database, file, reason(Obstacle(file)));
  }
  if (primary == SQLITE_CANTOPEN) {
    const int obstacle = Obstacle(file);
    const int error = obstacle != 0 ? obstacle : system_error;
    return CannotOpenFileError(file, error, reason(error));
  }
  if (rc == SQLITE_IOERR_NOMEM || primary == SQLITE_NOMEM) return OutOfMemoryError();
  if (primary == SQLITE_IOERR) {
    const char* operation = rc == SQLITE_IOERR_READ || rc == SQLITE_IOERR_SHORT_READ ? "read"
                            : rc == SQLITE_IOERR_WRITE || rc == SQLITE_IOERR_FSYNC || rc == SQLITE_IOERR_DIR_FSYNC ||
                                      rc == SQLITE_IOERR_TRUNCATE
                                ? "write"
                                : "access";
    return IoError(file, operation, system_error, system_error != 0 ? OsErrorText(system_error) : sqlite3_errstr(rc));
  }
  return com::Error(kErrStorage, "SQLite", what.empty() ? message : std::string(what) + "：" + message);
}

com::Error Db::Failure(int rc, std::string_view what, std::string_view table) const {
  const std::string written(table.empty() ? std::string_view(table_written_) : table);
  return SqliteError(db_, rc, what, {path_, database_, written.empty() ? "" : "dbo." + written});
}

int Db::OnBusy(void* self, int attempts) {
  auto* db = static_cast<Db*>(self);
  const auto now = std::chrono::steady_clock::now();
  if (attempts == 0) db->wait_started_ = now;
  if (db->lock_timeout_ms_ == 0 || (db->cancelled_ && db->cancelled_->load())) return 0;
  // Short sleeps first, as a lock is usually held briefly; at most 50 ms
  // between looks, and never past the time-out.
  auto pause = std::chrono::milliseconds(std::min(50, 1 << std::min(attempts, 6)));
  if (db->lock_timeout_ms_ > 0) {
    const auto deadline = db->wait_started_ + std::chrono::milliseconds(db->lock_timeout_ms_);
    if (now >= deadline) return 0;
    pause = std::min(pause, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
  }
  std::this_thread::sleep_for(pause);
  return 1;
}

Db::Db(const std::string& path, bool create) : path_(path) {
  // Memory statistics would take a process-wide lock at every allocation;
  // they must be turned off before SQLite's first use.
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)configured;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    com::Error error = Failure(rc, "无法打开数据库文件“" + path + "”");
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw error;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, &Db::OnBusy, this);
}

Db::~Db() {
  if (db_) sqlite3_close_v2(db_);
}

void Db::Exec(std::string_view sql) {
  const std::string s(sql);
  const int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw Failure(rc);
}

Prepared::Prepared(const Db& db, std::string_view sql) : owner_(&db) {
  const int rc = sqlite3_prepare_v2(db.get(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) throw db.Failure(rc, "无法准备语句");
}

Prepared::~Prepared() {
  if (stmt_) sqlite3_finalize(stmt_);
}

Prepared::Prepared(Prepared&& o) noexcept : owner_(std::exchange(o.owner_, nullptr)), stmt_(std::exchange(o.stmt_, nullptr)) {}

Prepared& Prepared::operator=(Prepared&& o) noexcept {
  if (this != &o) {
    if (stmt_) sqlite3_finalize(stmt_);
    owner_ = std::exchange(o.owner_, nullptr);
    stmt_ = std::exchange(o.stmt_, nullptr);
  }
  return *this;
}

int Prepared::StepRaw() { return sqlite3_step(stmt_); }

bool Prepared::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw owner_ ? owner_->Failure(rc, "执行失败") : SqliteError(db(), rc, "执行失败", {});
}

void Prepared::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void Prepared::Rewind() { sqlite3_reset(stmt_); }

void Prepared::BindInPlace(int i, std::string_view v) {
  sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}

void Prepared::BindBlob(int i, std::string_view bytes) {
  sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void Prepared::BindNull(int i) { sqlite3_bind_null(stmt_, i); }
void Prepared::Bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
void Prepared::Bind(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
void Prepared::Bind(int i, std::string_view v) {
  sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string_view Prepared::Text(int i) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
  return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i))) : std::string_view();
}

}  // namespace sqlsrv
