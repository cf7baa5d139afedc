#include "tests/support/tds_client.h"

#include <sybdb.h>
#include <sybfront.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "platform/com/datetime.h"
#include "platform/com/unicode.h"
#include "platform/sqlserver/freetds_client/dblib.h"

namespace testing_support {

struct TdsClient::State {
  DBPROCESS* proc = nullptr;
  sqlsrv::net::MessageLog log;             // what db-lib said during the current call
  std::vector<TdsMessage> login_messages;
  std::vector<TdsMessage> Messages() const;
};

std::vector<TdsMessage> TdsClient::State::Messages() const {
  std::vector<TdsMessage> out;
  for (const auto& m : log.messages) {
    out.push_back({m.number, m.severity, m.state, m.line, m.text, m.from_library ? "client" : m.server});
  }
  return out;
}

namespace {

// db-lib's type of a uniqueidentifier (TDS GUIDTYPE), which sybdb.h does
// not name.
constexpr int kDbLibGuid = 36;

// db-lib's handlers belong to the platform, which routes each message to
// the log of the call running on this thread.
struct Current {
  explicit Current(TdsClient::State* s) : scope(&s->log) {}
  sqlsrv::net::MessageScope scope;
};

std::string Money(std::int64_t units) {
  char buf[48];
  const std::uint64_t mag = units < 0 ? -static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  std::snprintf(buf, sizeof buf, "%s%" PRIu64 ".%04" PRIu64, units < 0 ? "-" : "", mag / 10000, mag % 10000);
  return buf;
}

std::string Canonical(DBPROCESS* p, int type, const BYTE* data, DBINT len) {
  if (!data) return "\\N";
  char buf[64];
  switch (type) {
    case SYBINT1: return std::to_string(*reinterpret_cast<const DBTINYINT*>(data));
    case SYBINT2: return std::to_string(*reinterpret_cast<const DBSMALLINT*>(data));
    case SYBINT4: return std::to_string(*reinterpret_cast<const DBINT*>(data));
    case SYBINT8: return std::to_string(*reinterpret_cast<const DBBIGINT*>(data));
    case SYBBIT: return *data ? "1" : "0";
    case SYBMONEY: {
      DBMONEY m;
      std::memcpy(&m, data, sizeof m);
      return Money(static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32 |
                                             m.mnylow));
    }
    case SYBMONEY4: {
      DBMONEY4 m;
      std::memcpy(&m, data, sizeof m);
      return Money(m.mny4);
    }
    case SYBFLT8: {
      double d;
      std::memcpy(&d, data, sizeof d);
      std::snprintf(buf, sizeof buf, "%.6g", d);
      return buf;
    }
    case SYBREAL: {
      float f;
      std::memcpy(&f, data, sizeof f);
      std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(f));
      return buf;
    }
    case SYBDATETIME: {
      DBDATETIME dt;
      std::memcpy(&dt, data, sizeof dt);
      return CanonicalDateTime(dt.dtdays, static_cast<std::uint32_t>(dt.dttime));
    }
    case SYBDATETIME4: {
      DBDATETIME4 dt;
      std::memcpy(&dt, data, sizeof dt);
      return CanonicalDateTime(dt.days, static_cast<std::uint32_t>(dt.minutes) * 60 * 300);
    }
    case SYBDECIMAL:
    case SYBNUMERIC: {
      // db-lib's own digits of the exact value, every digit of its scale.
      const DBINT n = dbconvert(p, type, data, len, SYBCHAR, reinterpret_cast<BYTE*>(buf), sizeof buf - 1);
      return n < 0 ? "?" : std::string(buf, static_cast<std::size_t>(n));
    }
    case kDbLibGuid: {
      const DBINT n = dbconvert(p, type, data, len, SYBCHAR, reinterpret_cast<BYTE*>(buf), sizeof buf - 1);
      return n < 0 ? "?" : std::string(buf, static_cast<std::size_t>(n));
    }
    case SYBBINARY:
    case SYBVARBINARY:
    case SYBIMAGE: {
      // The bytes db-lib received, in hexadecimal after "0x".
      std::string hex = "0x";
      for (DBINT i = 0; i < len; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", data[i]);
        hex += two;
      }
      return hex;
    }
    default:
      return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(len));
  }
}

// db-lib's description of a result column. (FreeTDS 1.3 leaves the DBCOL2
// fields past DBCOL's, such as ServerType, unset.)
TdsColumnInfo ColumnInfoOf(DBPROCESS* p, int column) {
  DBCOL2 col{};
  col.SizeOfStruct = sizeof col;
  TdsColumnInfo info;
  if (dbcolinfo(p, CI_REGULAR, column, 0, reinterpret_cast<DBCOL*>(&col)) == SUCCEED) {
    info.nullable = col.Null == TRUE;
    info.identity = col.Identity == TRUE;
  }
  DBCOL2 table{};
  table.SizeOfStruct = sizeof table;
  if (dbtablecolinfo(p, column, reinterpret_cast<DBCOL*>(&table)) == SUCCEED) {
    info.table = table.TableName;
    info.updatable = table.Updatable == TRUE;
  }
  // dbcolsource: FreeTDS 1.3's dbtablecolinfo gives the result's name as
  // ActualName.
  if (const char* source = dbcolsource(p, column)) info.actual_name = source;
  return info;
}

}  // namespace

std::string CanonicalDateTime(std::int32_t days, std::uint32_t ticks) {
  // 1900-01-01 is day 25567 before 1970-01-01.
  int y = 0, m = 0, d = 0;
  com::CivilFromDays(static_cast<std::int64_t>(days) - 25567, &y, &m, &d);
  const std::int64_t ms = (static_cast<std::int64_t>(ticks) * 10 + 1) / 3;  // 1/300 s to ms, rounded
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02lld:%02lld:%02lld.%03lld", y, m, d,
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
  return buf;
}

TdsClient::TdsClient(const TdsLogin& login) : state_(std::make_unique<State>()) {
  sqlsrv::net::EnsureDbLib();
  Current current(state_.get());
  LOGINREC* rec = dblogin();
  DBSETLUSER(rec, login.user.c_str());
  DBSETLPWD(rec, login.password.c_str());
  DBSETLAPP(rec, "korvel-tests");
  DBSETLCHARSET(rec, "UTF-8");
  if (!login.database.empty()) dbsetlname(rec, login.database.c_str(), DBSETDBNAME);
  const BYTE version = login.tds_version == "7.1"   ? DBVERSION_71
                       : login.tds_version == "7.2" ? DBVERSION_72
                       : login.tds_version == "7.3" ? DBVERSION_73
                                                    : DBVERSION_74;
  dbsetlversion(rec, version);
  dbsetlogintime(login.login_timeout_seconds);
  const std::string server = login.host + ":" + std::to_string(login.port);
  state_->proc = dbopen(rec, server.c_str());
  dbloginfree(rec);
  state_->login_messages = state_->Messages();
  if (!state_->proc) {
    std::string why = "cannot connect to " + server;
    for (const auto& m : state_->Messages()) why += "; " + std::to_string(m.number) + ": " + m.text;
    throw std::runtime_error(why);
  }
  state_->log.messages.clear();
}

TdsClient::~TdsClient() {
  if (state_->proc) dbclose(state_->proc);
}

const std::vector<TdsMessage>& TdsClient::login_messages() const { return state_->login_messages; }

std::string TdsClient::Database() const {
  const char* name = dbname(state_->proc);
  return name ? name : "";
}

namespace {

// Reads every result of the request sent on `p` into `batch`.
void ReadResults(DBPROCESS* p, TdsBatch& batch) {
  RETCODE rc;
  while ((rc = dbresults(p)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      batch.failed = true;
      continue;
    }
    const int columns = dbnumcols(p);
    if (columns > 0) {
      TdsResultSet rs;
      for (int c = 1; c <= columns; ++c) {
        rs.columns.emplace_back(dbcolname(p, c));
        rs.info.push_back(ColumnInfoOf(p, c));
      }
      for (int id = 1; id <= dbnumcompute(p); ++id) {
        TdsCompute compute;
        compute.id = id;
        for (int c = 1; c <= dbnumalts(p, id); ++c) {
          compute.ops.push_back(dbaltop(p, id, c));
          compute.operands.push_back(dbaltcolid(p, id, c));
          compute.types.push_back(dbalttype(p, id, c));
        }
        int by_count = 0;
        const BYTE* by = dbbylist(p, id, &by_count);
        for (int b = 0; by && b < by_count; ++b) compute.by.push_back(by[b]);
        rs.computes.push_back(std::move(compute));
      }
      // REG_ROW, or a compute row's id.
      for (STATUS s = dbnextrow(p); s == REG_ROW || s > 0; s = dbnextrow(p)) {
        if (s != REG_ROW) {
          TdsComputeRow row{s, rs.rows.size(), {}};
          for (int c = 1; c <= dbnumalts(p, s); ++c) {
            // dbadata points at the column's buffer even for a NULL, which
            // only its length 0 tells (as an empty character value's would).
            const DBINT length = dbadlen(p, s, c);
            row.values.push_back(Canonical(p, dbalttype(p, s, c), length > 0 ? dbadata(p, s, c) : nullptr, length));
          }
          rs.compute_rows.push_back(std::move(row));
          continue;
        }
        std::vector<std::string> row;
        for (int c = 1; c <= columns; ++c) row.push_back(Canonical(p, dbcoltype(p, c), dbdata(p, c), dbdatlen(p, c)));
        rs.rows.push_back(std::move(row));
      }
      batch.results.push_back(std::move(rs));
    }
    if (DBCOUNT(p) >= 0 && columns == 0) batch.counts.push_back(DBCOUNT(p));
  }
}

}  // namespace

TdsBatch TdsClient::Execute(const std::string& sql) {
  Current current(state_.get());
  state_->log.messages.clear();
  TdsBatch batch;
  DBPROCESS* p = state_->proc;
  if (dbcmd(p, sql.c_str()) == FAIL || dbsqlexec(p) == FAIL) batch.failed = true;
  if (!batch.failed) ReadResults(p, batch);
  batch.messages = state_->Messages();
  for (const auto& m : batch.messages) batch.failed = batch.failed || m.severity > 10;
  return batch;
}

TdsCall TdsClient::Call(const std::string& procedure, const std::vector<TdsParam>& params) {
  Current current(state_.get());
  state_->log.messages.clear();
  TdsCall call;
  DBPROCESS* p = state_->proc;
  std::vector<DBINT> ints(params.size());
  bool sent = dbrpcinit(p, procedure.c_str(), 0) == SUCCEED;
  for (std::size_t i = 0; sent && i < params.size(); ++i) {
    const TdsParam& param = params[i];
    const BYTE status = param.output ? DBRPCRETURN : 0;
    char* name = const_cast<char*>(param.name.c_str());
    if (param.type == TdsParam::kInt) {
      ints[i] = param.value ? static_cast<DBINT>(std::stol(*param.value)) : 0;
      sent = dbrpcparam(p, name, status, SYBINT4, -1, param.value ? -1 : 0, reinterpret_cast<BYTE*>(&ints[i])) ==
             SUCCEED;
    } else {
      const DBINT length = param.value ? static_cast<DBINT>(param.value->size()) : 0;
      BYTE* data = param.value ? reinterpret_cast<BYTE*>(const_cast<char*>(param.value->data())) : nullptr;
      sent = dbrpcparam(p, name, status, SYBVARCHAR, param.output ? 255 : -1, length, data) == SUCCEED;
    }
  }
  if (!sent || dbrpcsend(p) == FAIL || dbsqlok(p) == FAIL) call.batch.failed = true;
  if (!call.batch.failed) ReadResults(p, call.batch);
  if (dbhasretstat(p)) call.return_status = dbretstatus(p);
  for (int i = 1; i <= dbnumrets(p); ++i) {
    call.outputs.emplace_back(dbretname(p, i), Canonical(p, dbrettype(p, i), dbretdata(p, i), dbretlen(p, i)));
  }
  call.batch.messages = state_->Messages();
  for (const auto& m : call.batch.messages) call.batch.failed = call.batch.failed || m.severity > 10;
  return call;
}

long long TdsClient::BulkCopy(const std::string& table, const std::vector<std::vector<std::optional<std::string>>>& rows,
                              bool keep_identity, std::vector<TdsMessage>* failure) {
  Current current(state_.get());
  state_->log.messages.clear();
  DBPROCESS* p = state_->proc;
  auto fail = [&] {
    if (failure) *failure = state_->Messages();
    return -1LL;
  };
  if (bcp_init(p, table.c_str(), nullptr, nullptr, DB_IN) == FAIL) return fail();
  if (keep_identity && bcp_control(p, BCPKEEPIDENTITY, 1) == FAIL) return fail();
  const std::size_t columns = rows.empty() ? 0 : rows[0].size();
  static BYTE placeholder = 0;
  for (std::size_t c = 0; c < columns; ++c) {
    if (bcp_bind(p, &placeholder, 0, 0, nullptr, 0, SYBCHAR, static_cast<int>(c + 1)) == FAIL) return fail();
  }
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < columns; ++c) {
      const auto& v = row[c];
      bcp_colptr(p, v ? reinterpret_cast<BYTE*>(const_cast<char*>(v->data())) : &placeholder, static_cast<int>(c + 1));
      bcp_collen(p, v ? static_cast<DBINT>(v->size()) : 0, static_cast<int>(c + 1));
    }
    if (bcp_sendrow(p) == FAIL) {
      bcp_done(p);
      return fail();
    }
  }
  const DBINT done = bcp_done(p);
  if (done < 0) return fail();
  if (failure) *failure = state_->Messages();
  return done;
}

void TdsClient::Cancel() { dbcancel(state_->proc); }

std::string AsUtf16(const std::string& utf8) {
  std::u16string units;
  com::Utf8ToUtf16(utf8, &units);
  std::string out;
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

std::string AsCp936(const std::string& utf8) {
  com::CodePage cp("CP936");
  std::string out;
  cp.FromUtf8Lossy(utf8, &out);
  return out;
}

}  // namespace testing_support
