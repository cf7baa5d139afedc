#include "platform/sqlserver/freetds_client/connection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/com/numeric.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/oledb.h"
#include "platform/port/net.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv::net {
namespace {

// db-lib's type of a uniqueidentifier (TDS GUIDTYPE), which sybdb.h does
// not name.
constexpr int kDbLibGuid = 36;

// db-lib keeps the login timeout process-wide: logins take turns.
std::mutex g_login_mutex;

// Frees a LOGINREC, whose copy of the password goes with it.
struct LoginRecord {
  LOGINREC* rec = dblogin();
  ~LoginRecord() {
    if (rec) dbloginfree(rec);
  }
};

// The value of type T at `data`, which db-lib need not have aligned for T.
template <class T>
T ValueAt(const BYTE* data) {
  T v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

std::int64_t MoneyUnits(const BYTE* data) {
  const auto m = ValueAt<DBMONEY>(data);
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32 | m.mnylow);
}

std::uint16_t OleDbTypeOf(int type) {
  switch (type) {
    case SYBINT1: return dts::DBTYPE_UI1;
    case SYBINT2: return dts::DBTYPE_I2;
    case SYBINT4: return dts::DBTYPE_I4;
    case SYBINT8: return dts::DBTYPE_I8;
    case SYBBIT: case SYBBITN: return dts::DBTYPE_BOOL;
    case SYBMONEY: case SYBMONEY4: return dts::DBTYPE_CY;
    case SYBFLT8: return dts::DBTYPE_R8;
    case SYBREAL: return dts::DBTYPE_R4;
    case SYBDECIMAL: case SYBNUMERIC: return dts::DBTYPE_NUMERIC;
    case SYBDATETIME: case SYBDATETIME4: return dts::DBTYPE_DBTIMESTAMP;
    case SYBBINARY: case SYBVARBINARY: case SYBIMAGE: return dts::DBTYPE_BYTES;
    default: return dts::DBTYPE_WSTR;
  }
}

// A value of db-lib type `type` at `data` (null for NULL), `len` bytes.
com::Variant ValueFrom(DBPROCESS* proc, int type, const BYTE* data, DBINT len) {
  if (!data) return com::Variant::Null();
  switch (type) {
    case SYBINT1: return com::Variant::UI1(*data);
    case SYBINT2: return com::Variant::I2(ValueAt<DBSMALLINT>(data));
    case SYBINT4: return com::Variant::I4(ValueAt<DBINT>(data));
    case SYBINT8: return com::Variant::I8(ValueAt<DBBIGINT>(data));
    case SYBBIT: case SYBBITN: return com::Variant::Bool(*data != 0);
    case SYBMONEY: return com::Variant::Currency(MoneyUnits(data));
    case SYBMONEY4: return com::Variant::Currency(ValueAt<DBMONEY4>(data).mny4);
    case SYBFLT8: return com::Variant::R8(ValueAt<double>(data));
    case SYBREAL: return com::Variant::R4(ValueAt<float>(data));
    case SYBDATETIME: {
      const auto v = ValueAt<DBDATETIME>(data);
      return com::Variant::Date(dts::OleDateOf(v.dtdays, static_cast<std::uint32_t>(v.dttime)));
    }
    case SYBDATETIME4: {
      const auto v = ValueAt<DBDATETIME4>(data);
      return com::Variant::Date(dts::OleDateOf(v.days, static_cast<std::uint32_t>(v.minutes) * 60 * 300));
    }
    case SYBDECIMAL: case SYBNUMERIC: {
      // Exact, as db-lib writes the value in digits: "-12.50".
      char text[48] = {};
      const DBINT n = dbconvert(proc, type, data, len, SYBCHAR, reinterpret_cast<BYTE*>(text),
                                static_cast<DBINT>(sizeof text - 1));
      com::Numeric v;
      if (n < 0 || com::ParseNumeric(std::string_view(text, static_cast<std::size_t>(n)), &v) != com::NumericStatus::kOk) {
        return com::Variant::Null();
      }
      return com::Variant::Decimal(com::FormatNumeric(v));
    }
    case SYBBINARY: case SYBVARBINARY: case SYBIMAGE:
      return com::Variant::Bytes(std::string_view(reinterpret_cast<const char*>(data), static_cast<std::size_t>(len)));
    case kDbLibGuid: {
      // A GUID as its text, "6F9619FF-8B86-D011-B42D-00C04FC964FF".
      char text[40] = {};
      const DBINT n = dbconvert(proc, kDbLibGuid, data, len, SYBCHAR, reinterpret_cast<BYTE*>(text),
                                static_cast<DBINT>(sizeof text - 1));
      if (n < 0) return com::Variant::Null();
      return com::Variant::Text(std::string_view(text, static_cast<std::size_t>(n)));
    }
    default:
      // Text of every kind arrives in the client's character set, UTF-8.
      return com::Variant::Text(std::string_view(reinterpret_cast<const char*>(data), static_cast<std::size_t>(len)));
  }
}

// The heading of a compute row's column, as isql heads it: its aggregate.
const char* AggregateHeading(int op) {
  static constexpr std::pair<int, const char*> kHeadings[] = {
      {SYBAOPAVG, "avg"},     {SYBAOPCNT, "cnt"},       {SYBAOPMAX, "max"}, {SYBAOPMIN, "min"},
      {SYBAOPSTDEV, "stdev"}, {SYBAOPSTDEVP, "stdevp"}, {SYBAOPSUM, "sum"}, {SYBAOPVAR, "var"},
      {SYBAOPVARP, "varp"},   {SYBAOPCNT_BIG, "cnt"},
  };
  for (const auto& [code, heading] : kHeadings) {
    if (code == op) return heading;
  }
  return "";
}

// The compute row just read (of clause `id`) as a result of its own, its
// columns headed by their aggregates. db-lib's dbadata points at a
// column's buffer even for a NULL, which only its length 0 tells.
dts::BatchResults::Result ComputeResult(DBPROCESS* proc, int id) {
  dts::BatchResults::Result result;
  dts::Row& row = result.rows.emplace_back();
  for (int c = 1; c <= dbnumalts(proc, id); ++c) {
    result.columns.push_back({.name = AggregateHeading(dbaltop(proc, id, c))});
    const DBINT len = dbadlen(proc, id, c);
    row.push_back(ValueFrom(proc, dbalttype(proc, id, c), len > 0 ? dbadata(proc, id, c) : nullptr, len));
  }
  return result;
}

}  // namespace

com::Variant ValueOf(DBPROCESS* proc, int column) {
  return ValueFrom(proc, dbcoltype(proc, column), dbdata(proc, column), dbdatlen(proc, column));
}

namespace {

// A server that vanished without closing the connection (a cable pulled, a
// machine gone) is found by TCP keepalive: after `idle` seconds of silence
// the system asks `count` times, `interval` seconds apart, then the
// connection fails as lost; data it sent that stays unacknowledged as long
// fails it too. Two minutes unless KORVEL_TCP_KEEPALIVE says
// "idle,interval,count".
void KeepAlive(int fd) {
  if (fd < 0) return;
  int idle = 60, interval = 10, count = 6;
  if (const char* env = std::getenv("KORVEL_TCP_KEEPALIVE")) {
    int a = 0, b = 0, c = 0;
    if (std::sscanf(env, "%d,%d,%d", &a, &b, &c) == 3 && a > 0 && b > 0 && c > 0) idle = a, interval = b, count = c;
  }
  port::SetTcpKeepAlive(fd, idle, interval, count);
}

}  // namespace

Connection::Connection(const LoginParameters& login) : data_source_(login.data_source) {
  EnsureDbLib();
  LoginRecord rec;
  if (!rec.rec) throw com::Error(com::ErrorNumber(0x8007000Eu), "FreeTDS", "内存不足，无法登录");
  DBSETLUSER(rec.rec, login.user.c_str());
  DBSETLPWD(rec.rec, login.password.c_str());
  DBSETLAPP(rec.rec, login.application.c_str());
  if (!login.workstation.empty()) DBSETLHOST(rec.rec, login.workstation.c_str());
  DBSETLCHARSET(rec.rec, "UTF-8");
  BCP_SETL(rec.rec, TRUE);
  dbsetlversion(rec.rec, DBVERSION_74);
  if (!login.database.empty()) DBSETLDBNAME(rec.rec, login.database.c_str());
  {
    MessageScope scope(&log_);
    std::lock_guard lock(g_login_mutex);
    dbsetlogintime(login.login_timeout_seconds > 0 ? login.login_timeout_seconds : 30);
    proc_ = dbopen(rec.rec, login.server.c_str());
  }
  if (!proc_) Raise("登录");
  RouteMessages(proc_, &log_);
  log_.messages.clear();
  WatchWaits(proc_);
  KeepAlive(dbiordesc(proc_));
}

Connection::~Connection() {
  if (!proc_) return;
  {
    MessageLog discard;
    RouteMessages(proc_, &discard);
    dbclose(proc_);
  }
}

bool Connection::dead() const { return proc_ == nullptr || dbdead(proc_); }

void Connection::Raise(std::string_view what) {
  // db-lib does not always say that the server went away; a dead
  // connection says it for it.
  if (!log_.HasError() && proc_ && dead()) {
    log_.messages.push_back({SYBEDDNE, 11, 0, 0, "the connection to the server is closed", "", "", true});
  }
  com::Error e = ErrorFrom(log_, data_source_, what);
  log_.messages.clear();
  throw e;
}

bool Connection::NextResult() {
  // A failing statement gives FAIL and the batch goes on; so many in a row
  // that the batch cannot be followed any more end it.
  for (int failures = 0;;) {
    const RETCODE rc = dbresults(proc_);
    if (rc == NO_MORE_RESULTS) return false;
    if (rc == SUCCEED) return true;
    if (dbdead(proc_)) return false;
    if (++failures > kMaxFailedResults) {
      dbcancel(proc_);
      return false;
    }
  }
}

void Connection::SkipRows() {
  // REG_ROW, or a compute row's id: anything but the end, a full buffer or a failure.
  for (STATUS s = dbnextrow(proc_); s == REG_ROW || s > 0; s = dbnextrow(proc_)) {
  }
}

void Connection::Drain() {
  if (!proc_ || dbdead(proc_)) return;
  if (in_query_) dbcanquery(proc_);  // the rest of the current result
  in_query_ = false;
  while (NextResult()) dbcanquery(proc_);
}

void Connection::Send(std::string_view sql, std::string_view what) {
  if (in_query_) Drain();
  log_.messages.clear();
  if (dbcmd(proc_, std::string(sql).c_str()) == FAIL || dbsqlexec(proc_) == FAIL) {
    Drain();
    Raise(what);
  }
}

std::vector<std::int64_t> Connection::Execute(std::string_view sql) {
  Send(sql, "执行语句");
  std::vector<std::int64_t> counts;
  // The batch goes on after a failing statement; its error is raised at the end.
  while (NextResult()) {
    SkipRows();
    if (dbiscount(proc_)) counts.push_back(DBCOUNT(proc_));
  }
  if (log_.HasError() || dbdead(proc_)) Raise("执行语句");
  return counts;
}

void Connection::RunBatch(std::string_view sql, dts::BatchResults* out) {
  Send(sql, "执行语句");
  // The notices come in as db-lib reads the response: each is taken where
  // it stands among the results read so far.
  std::size_t taken = 0;
  auto take_notices = [&] {
    for (; taken < log_.messages.size(); ++taken) {
      const Message& m = log_.messages[taken];
      if (!m.from_library && m.severity <= 10) out->messages.push_back({m.text, out->results.size()});
    }
  };
  while (NextResult()) {
    take_notices();
    const int n = dbnumcols(proc_);
    if (n > 0) {
      dts::BatchResults::Result result;
      result.columns = ResultColumns();
      // REG_ROW, or a compute row (its id): a result of its own after the
      // rows before it (the first rows with the header even when there are
      // none), the rows after it a result again.
      bool rows_shown = false;
      for (STATUS s = dbnextrow(proc_); s == REG_ROW || s > 0; s = dbnextrow(proc_)) {
        if (s != REG_ROW) {
          if (!rows_shown || !result.rows.empty()) out->results.push_back(result);
          rows_shown = true;
          result.rows.clear();
          out->results.push_back(ComputeResult(proc_, s));
          continue;
        }
        dts::Row& row = result.rows.emplace_back(static_cast<std::size_t>(n));
        for (int i = 1; i <= n; ++i) row[static_cast<std::size_t>(i - 1)] = ValueOf(proc_, i);
      }
      if (!rows_shown || !result.rows.empty()) out->results.push_back(std::move(result));
    } else if (dbiscount(proc_)) {
      // The count of a SELECT is its rows, shown already; this is a change.
      out->results.push_back({{}, {}, DBCOUNT(proc_)});
    }
  }
  take_notices();
  if (log_.HasError() || dbdead(proc_)) Raise("执行语句");
}

bool Connection::StartQuery(std::string_view sql) {
  Send(sql, "查询");
  while (NextResult()) {
    if (dbnumcols(proc_) > 0) {
      in_query_ = true;
      return true;
    }
    SkipRows();
  }
  if (log_.HasError() || dbdead(proc_)) Raise("查询");
  return false;
}

bool Connection::NextRow(dts::Row& row) {
  if (!in_query_) return false;
  const STATUS status = dbnextrow(proc_);
  if (status == NO_MORE_ROWS) {
    in_query_ = false;
    Drain();
    if (log_.HasError() || dbdead(proc_)) Raise("查询");
    return false;
  }
  if (status != REG_ROW || dbdead(proc_)) {
    Drain();
    in_query_ = false;
    Raise("读取结果");
  }
  const int n = dbnumcols(proc_);
  row.resize(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) row[static_cast<std::size_t>(i - 1)] = ValueOf(proc_, i);
  return true;
}

std::vector<dts::ColumnInfo> Connection::ResultColumns() const {
  std::vector<dts::ColumnInfo> out;
  const int n = dbnumcols(proc_);
  for (int i = 1; i <= n; ++i) {
    dts::ColumnInfo c;
    const char* name = dbcolname(proc_, i);
    c.name = name ? name : "";
    c.type = OleDbTypeOf(dbcoltype(proc_, i));
    if (c.type == dts::DBTYPE_NUMERIC) {
      if (const DBTYPEINFO* t = dbcoltypeinfo(proc_, i)) {
        c.precision = static_cast<std::uint8_t>(t->precision);
        c.scale = static_cast<std::uint8_t>(t->scale);
      }
    }
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace sqlsrv::net
