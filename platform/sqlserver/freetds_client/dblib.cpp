#include "platform/sqlserver/freetds_client/dblib.h"

#include <mutex>

#include "platform/sqlserver/errors.h"

namespace sqlsrv::net {
namespace {

thread_local MessageLog* t_scope = nullptr;

// The message of a call its watcher gave up while it waited (no db-lib
// number: SYBETIME would read as a server that cannot be reached).
constexpr int kWaitGivenUp = -1;

// A log keeps the first messages of a call: the error raised is among them,
// and a call that goes wrong again and again cannot fill the memory.
constexpr std::size_t kMessagesKept = 200;

MessageLog* LogOf(DBPROCESS* proc) {
  if (proc) {
    if (auto* log = reinterpret_cast<MessageLog*>(dbgetuserdata(proc))) return log;
  }
  return t_scope;
}

int OnError(DBPROCESS* proc, int severity, int dberr, int, char* dberrstr, char* oserrstr) {
  if (MessageLog* log = LogOf(proc); log && log->messages.size() < kMessagesKept) {
    Message m;
    m.number = dberr;
    // db-lib grades its errors by its own scale; what matters here is that
    // they are errors, except the notice that a bcp batch went through.
    m.severity = dberr == SYBEBBCI ? 0 : (severity > 10 ? severity : 11);
    m.text = dberrstr ? dberrstr : "";
    if (oserrstr && *oserrstr) m.text += std::string(" (") + oserrstr + ")";
    m.from_library = true;
    log->messages.push_back(std::move(m));
  }
  // Fail the call that ran into the error, whatever it was: the caller
  // raises it.
  return INT_CANCEL;
}

int OnMessage(DBPROCESS* proc, DBINT number, int state, int severity, char* text, char* server, char* procedure,
              int line) {
  if (MessageLog* log = LogOf(proc); log && log->messages.size() < kMessagesKept) {
    log->messages.push_back({static_cast<int>(number), severity, state, line, text ? text : "", server ? server : "",
                             procedure ? procedure : "", false});
  }
  return 0;
}

// db-lib asks this about once a second while a call waits with nothing
// coming. A gap since the last look means data came in between: the
// silence starts again.
int CheckWait(void* vproc) {
  auto* proc = static_cast<DBPROCESS*>(vproc);
  MessageLog* log = proc ? reinterpret_cast<MessageLog*>(dbgetuserdata(proc)) : nullptr;
  if (!log || !log->on_wait) return FALSE;
  const auto now = std::chrono::steady_clock::now();
  if (now - log->last_look > std::chrono::milliseconds(1500)) {
    log->silent_since = now - std::chrono::seconds(1);
    log->told = 0;
  }
  log->last_look = now;
  const int seconds =
      static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - log->silent_since).count());
  if (seconds < log->told + kWaitTickSeconds) return FALSE;
  log->told = seconds / kWaitTickSeconds * kWaitTickSeconds;
  bool go_on = true;
  try {
    go_on = log->on_wait(log->told);
  } catch (...) {
    go_on = false;
  }
  if (go_on) return FALSE;
  if (log->messages.size() < kMessagesKept) {
    log->messages.push_back({kWaitGivenUp, 11, 0, 0,
                             "操作已取消：等待服务器响应 " + std::to_string(log->told) + " 秒后放弃", "", "", true});
  }
  return TRUE;  // HandleWait decides
}

int HandleWait(void*) { return INT_CANCEL; }

bool IsUnreachable(int dberr) {
  return dberr == SYBECONN || dberr == SYBESOCK || dberr == SYBEUHST || dberr == SYBEINTF || dberr == SYBEFCON ||
         dberr == SYBETIME;
}

// Whether a db-lib error means the connection is gone.
bool IsConnectionLoss(int dberr) {
  return dberr == SYBEREAD || dberr == SYBEWRIT || dberr == SYBESEOF || dberr == SYBEDDNE || dberr == SYBECLOS;
}

}  // namespace

const Message* MessageLog::FirstError() const {
  for (const Message& m : messages) {
    if (!m.from_library && m.severity > 10) return &m;
  }
  for (const Message& m : messages) {
    if (m.from_library && m.severity > 10 && m.number != SYBESMSG) return &m;
  }
  return nullptr;
}

MessageScope::MessageScope(MessageLog* log) : previous_(t_scope) { t_scope = log; }
MessageScope::~MessageScope() { t_scope = previous_; }

void EnsureDbLib() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (dbinit() == FAIL) {
      throw com::Error(com::ErrorNumber(0x80004005u), "FreeTDS", "无法初始化 FreeTDS db-lib");
    }
    dberrhandle(OnError);
    dbmsghandle(OnMessage);
  });
}

void WatchWaits(DBPROCESS* proc) { dbsetinterrupt(proc, CheckWait, HandleWait); }

void RouteMessages(DBPROCESS* proc, MessageLog* log) { dbsetuserdata(proc, reinterpret_cast<BYTE*>(log)); }

com::Error ErrorFrom(const MessageLog& log, std::string_view server, std::string_view what) {
  const Message* m = log.FirstError();
  if (!m) {
    return com::Error(com::ErrorNumber(0x80004005u), kErrorSource,
                      std::string(what) + "失败（服务器“" + std::string(server) + "”没有说明原因）");
  }
  if (!m->from_library) return com::Error(m->number, kErrorSource, m->text);
  if (m->number == kWaitGivenUp) return com::Error(static_cast<std::int32_t>(0x80040E4Eu), kErrorSource, m->text);
  if (IsUnreachable(m->number)) {
    return com::Error(17, kErrorSource,
                      "SQL Server does not exist or access denied. 无法连接 SQL Server 服务器“" + std::string(server) +
                          "”：服务器不存在、没有启动、端口不对，或网络不通（FreeTDS: " + m->text + "）");
  }
  if (IsConnectionLoss(m->number)) {
    return com::Error(11, kErrorSource,
                      "General network error. Check your network documentation. 与 SQL Server 服务器“" +
                          std::string(server) + "”的连接已断开（FreeTDS: " + m->text + "）");
  }
  return com::Error(m->number, "FreeTDS", m->text);
}

}  // namespace sqlsrv::net
