#include "platform/sqlserver/sqlite.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/sqlserver/errors.h"

namespace sqlsrv {

std::string LastError(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

namespace {
[[noreturn]] void Raise(sqlite3* db, int rc, const std::string& what) {
  if (IsLockConflict(rc)) throw LockTimeoutError();
  throw com::Error(kErrStorage, "SQLite", what + "：" + LastError(db));
}
}  // namespace

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
    std::string msg = LastError(db_);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw com::Error(kErrStorage, "SQLite", "无法打开数据库文件“" + path + "”：" + msg);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, &Db::OnBusy, this);
}

Db::~Db() {
  if (db_) sqlite3_close_v2(db_);
}

void Db::Exec(std::string_view sql) {
  char* err = nullptr;
  const std::string s(sql);
  const int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string msg = err ? err : LastError(db_);
    sqlite3_free(err);
    if (IsLockConflict(rc)) throw LockTimeoutError();
    throw com::Error(kErrStorage, "SQLite", msg);
  }
}

Stmt::Stmt(const Db& db, std::string_view sql) {
  const int rc = sqlite3_prepare_v2(db.get(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) Raise(db.get(), rc, "无法准备语句");
}

Stmt::~Stmt() {
  if (stmt_) sqlite3_finalize(stmt_);
}

Stmt::Stmt(Stmt&& o) noexcept : stmt_(std::exchange(o.stmt_, nullptr)) {}

Stmt& Stmt::operator=(Stmt&& o) noexcept {
  if (this != &o) {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = std::exchange(o.stmt_, nullptr);
  }
  return *this;
}

int Stmt::StepRaw() { return sqlite3_step(stmt_); }

bool Stmt::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Raise(db(), rc, "执行失败");
}

void Stmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void Stmt::Rewind() { sqlite3_reset(stmt_); }

void Stmt::BindInPlace(int i, std::string_view v) {
  sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}

void Stmt::BindNull(int i) { sqlite3_bind_null(stmt_, i); }
void Stmt::Bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
void Stmt::Bind(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
void Stmt::Bind(int i, std::string_view v) {
  sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string_view Stmt::Text(int i) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
  return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i))) : std::string_view();
}

}  // namespace sqlsrv
