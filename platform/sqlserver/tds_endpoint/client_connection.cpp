#include "platform/sqlserver/tds_endpoint/client_connection.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/com/unicode.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/server_statements.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/tds_endpoint/bulk.h"
#include "platform/sqlserver/tds_endpoint/cursors.h"
#include "platform/sqlserver/tds_endpoint/login.h"
#include "platform/sqlserver/tds_endpoint/results.h"
#include "platform/sqlserver/tds_endpoint/rpc.h"
#include "platform/sqlserver/tds_endpoint/tokens.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {
namespace {

// ALTMETADATA's operator of each row aggregate.
constexpr std::pair<RowAggregate, AltOperator> kAltOperators[] = {
    {RowAggregate::kAvg, kAopAvg},     {RowAggregate::kCount, kAopCount}, {RowAggregate::kMax, kAopMax},
    {RowAggregate::kMin, kAopMin},     {RowAggregate::kStdev, kAopStdev}, {RowAggregate::kStdevp, kAopStdevp},
    {RowAggregate::kSum, kAopSum},     {RowAggregate::kVar, kAopVar},     {RowAggregate::kVarp, kAopVarp},
};

AltOperator AltOperatorOf(RowAggregate aggregate) {
  for (const auto& [a, op] : kAltOperators) {
    if (a == aggregate) return op;
  }
  throw SqlErr(kNotSupported, "A row aggregate without an operator code on the wire.");
}

// A result set: COLMETADATA; in browse mode TABNAME and COLINFO; an
// ALTMETADATA for each COMPUTE clause; then the rows, each compute row
// (ALTROW) after the row it follows. Raises, writing nothing, for columns
// no client could read.
void WriteResultSet(Writer& w, const ResultSet& rs, std::uint32_t tds_version) {
  // A result with COMPUTE clauses or browse mode's tokens is written aside
  // first, so that a description that cannot be sent leaves nothing; a
  // plain one goes straight to `w`.
  Writer aside;
  Writer& out = rs.computes.empty() && !rs.browse ? w : aside;
  std::vector<WireColumn> columns = WireColumnsOf(rs.columns);
  if (rs.browse) {
    for (std::size_t i = 0; i < columns.size() && i < rs.browse->columns.size(); ++i) {
      columns[i].hidden = rs.browse->columns[i].hidden;
      columns[i].key = rs.browse->columns[i].key;
    }
  }
  ResultWriter results(std::move(columns), tds_version);
  results.WriteColMetadata(out);
  if (rs.browse) {
    WriteTableNames(out, rs.browse->tables);
    WriteColumnInfo(out, rs.browse->columns);
  }
  std::vector<std::unique_ptr<ResultWriter>> computes;
  for (const ComputeClause& clause : rs.computes) {
    computes.push_back(std::make_unique<ResultWriter>(WireColumnsOf(clause.columns), tds_version));
    std::vector<std::uint16_t> by;
    for (const std::size_t column : clause.by) by.push_back(static_cast<std::uint16_t>(column + 1));
    std::vector<ResultWriter::Aggregate> aggregates;
    for (std::size_t i = 0; i < clause.aggregates.size(); ++i) {
      aggregates.push_back({AltOperatorOf(clause.aggregates[i]), static_cast<std::uint16_t>(clause.operands[i] + 1)});
    }
    computes.back()->WriteAltMetadata(out, clause.id, by, aggregates);
  }
  auto compute = rs.compute_rows.begin();
  auto computes_after = [&](std::size_t rows) {
    for (; compute != rs.compute_rows.end() && compute->after <= rows; ++compute) {
      computes.at(compute->id - 1u)->WriteAltRow(out, compute->id, compute->values);
    }
  };
  computes_after(0);
  for (std::size_t r = 0; r < rs.rows.size(); ++r) {
    results.WriteRow(out, rs.rows[r]);
    computes_after(r + 1);
  }
  if (&out == &aside) w.Bytes(aside.data());
}

// DONE's current-command codes for the statements a batch reports.
constexpr std::uint16_t kCmdSelect = 0xC1, kCmdInsert = 0xC3, kCmdDelete = 0xC4, kCmdUpdate = 0xC5;

// The current-command code of a statement's DONE; 0 for a statement of no
// code of its own.
std::uint16_t CommandOf(StatementEnd::Verb verb) {
  switch (verb) {
    case StatementEnd::kSelect: return kCmdSelect;
    case StatementEnd::kInsert: return kCmdInsert;
    case StatementEnd::kUpdate: return kCmdUpdate;
    case StatementEnd::kDelete: return kCmdDelete;
    default: return 0;
  }
}

// "USE name": the database named, or nullopt for any other batch.
std::optional<std::string> UseTarget(std::string_view sql) {
  const auto t = StatementTokens(sql);
  if (t.size() != 2 || !t[0].IsKeyword("use")) return std::nullopt;
  if (t[1].kind != TokKind::kWord && t[1].kind != TokKind::kQuoted) return std::nullopt;
  return t[1].text;
}

// "SELECT name FROM master.dbo.sysdatabases", or from sys.databases or
// master.sys.databases, optionally ORDER BY name.
bool IsDatabaseList(std::string_view sql) {
  const auto t = StatementTokens(sql);
  if (!TokensAre(t, 0, {"select", "name", "from"})) return false;
  std::size_t end = 0;
  for (auto source : {std::initializer_list<std::string_view>{"master", ".", "dbo", ".", "sysdatabases"},
                      std::initializer_list<std::string_view>{"master", ".", "sys", ".", "databases"},
                      std::initializer_list<std::string_view>{"sys", ".", "databases"}}) {
    if (TokensAre(t, 3, source)) {
      end = 3 + source.size();
      break;
    }
  }
  if (end == 0) return false;
  return t.size() == end || (t.size() == end + 3 && TokensAre(t, end, {"order", "by", "name"}));
}

std::string BareProcedureName(const std::string& name);

// A connection's session id: the lowest one from 51 that no connection
// being served holds, as SQL Server numbers its user sessions; given back
// when the connection ends.
class SessionId {
 public:
  SessionId() {
    std::lock_guard lock(Mutex());
    auto& taken = Taken();
    value_ = kSessionId;
    while (taken.count(value_) && value_ < 0xFFFF) ++value_;
    taken.insert(value_);
  }
  ~SessionId() {
    std::lock_guard lock(Mutex());
    Taken().erase(value_);
  }
  SessionId(const SessionId&) = delete;
  SessionId& operator=(const SessionId&) = delete;
  int value() const { return value_; }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::set<int>& Taken() {
    static std::set<int> taken;
    return taken;
  }
  int value_;
};

// A client's connection, served from its login to its end.
class ClientConnection {
 public:
  ClientConnection(Channel& channel, const EndpointConfig& config, const std::atomic<bool>& stopping)
      : channel_(channel), config_(config), stopping_(stopping) {
    channel_.set_spid(static_cast<std::uint16_t>(session_id_.value()));
  }

  void Run(const std::string& refuse);

 private:
  // Reads past the ALL_HEADERS a TDS 7.2+ client puts before a batch, a
  // remote procedure call or a transaction manager request.
  void SkipAllHeaders(Reader& r, const Message& m) const {
    if (tds_ < kTds72) return;
    const std::uint32_t headers = r.U32();
    if (headers < 4 || headers > m.data.size()) throw ProtocolError("ALL_HEADERS length out of range");
    r.Skip(headers - 4);
  }
  bool Handshake(const std::string& refuse);
  // The whole message whose first packet is `first`, at most `limit`
  // bytes (ProtocolError past it). nullopt when the client cancelled it
  // with an attention before it was whole (acknowledged here) or left
  // (`left` set).
  std::optional<Message> Gather(Packet first, std::size_t limit, bool* left);
  void OnBatch(const Message& m);
  void OnBulkLoad(Packet first);
  // Acknowledges an attention as SQL Server does: a cancelled request's
  // response ends with a DONE of its own, then a message of its own holds
  // the DONE with DONE_ATTN. With no request under way, the acknowledgment
  // alone.
  void OnAttention(bool request_cancelled);
  void RunSql(const std::string& sql);
  // The statements the endpoint answers itself (USE, the list of
  // databases, CREATE and DROP DATABASE): writes the answer, ending in a
  // DONE, and returns true; false for any other statement.
  bool AnswerItself(const std::string& sql, Writer& w);
  // A remote procedure call message: each call's results end in DONEINPROC,
  // its return status and output parameters follow, and DONEPROC ends it.
  void OnRpc(const Message& m);
  // Runs one call of an RPC message, writing its response to `w`. Returns
  // false when an attention cancelled it (nothing more is to be written).
  bool RunCall(Writer& w, const RpcCall& call, bool last);
  // Runs a call of a cursor procedure (`name`): the cursor's columns and
  // rows (only the rows when the client asked for no metadata), then its
  // return status and output parameters, as RunCall.
  bool RunCursorCall(Writer& w, const RpcCall& call, const std::string& name, bool last);
  // What a call's output parameters hold when it has ended.
  struct Returned {
    std::uint16_t ordinal;
    std::string name;
    ColumnType type;
    com::Variant value;
  };
  // Runs a call: the prepared-statement procedures here, any other
  // procedure in the engine. Returns its return status.
  int Dispatch(const RpcCall& call, BatchOutput* out, std::vector<Returned>* returned);
  // Runs sp_executesql with `statement` and `declarations` and the values
  // `call` gives from its argument `first_value` on; their output values go
  // to `returned` under the call's own ordinals.
  int ExecutePrepared(const std::string& statement, const std::string& declarations, const RpcCall& call,
                      std::size_t first_value, BatchOutput* out, std::vector<Returned>* returned);
  // The columns of a prepared statement's result, as SQL Server describes
  // them when it prepares one: for a statement of SELECTs only, run with
  // FMTONLY on (no rows read) and its parameters NULL, its empty results
  // going to `out`. Nothing for any other statement; raises what the
  // statement raises.
  void DescribePrepared(const std::string& statement, const std::string& declarations, BatchOutput* out);
  // Calls a procedure in the engine; the output arguments from `from` on
  // go to `returned` numbered from `first_ordinal`, also when the call
  // raised an error it went on after.
  int CallEngine(const std::string& procedure, std::vector<Argument>& arguments, std::size_t from,
                 std::size_t first_ordinal, BatchOutput* out, std::vector<Returned>* returned);
  // What interrupted a request while `work` ran: an attention from the
  // client (the engine stopped) or the client's going. `failure` receives
  // what `work` raised.
  struct Interruption {
    bool attention = false;
    bool client_gone = false;
  };
  Interruption RunWatched(const std::function<void()>& work, std::optional<com::Error>* failure);
  // The messages, rows and statements' ends, in the order they came, each
  // statement's end a DONE of its own: DONEINPROC for a statement of a
  // procedure, DONEPROC after its return status for a procedure the batch
  // ran, DONE for any other; with its count when it counted, DONE_ERROR
  // when it failed. `closing`: the last of them ends the response (a
  // batch that ran to its end) when it is a statement's end at the
  // batch's own level: it then carries the transaction's change since
  // `before` and no DONE_MORE. Returns whether it wrote that closing DONE.
  bool WriteResults(Writer& w, const BatchOutput& out, bool closing, int before);
  // A message of a batch: INFO, or ERROR for one the batch went on after;
  // a change of database goes before it.
  void WriteBatchMessage(Writer& w, const BatchMessage& m);
  // The error a request stopped with, naming its procedure and line,
  // unless it stands among the messages already.
  void WriteFailure(Writer& w, const com::Error& failure, const BatchOutput& out);
  // A transaction manager request: begin, commit, roll back or save a
  // transaction, as ODBC and .NET clients send them instead of SQL.
  void OnTransactionManager(const Message& m);
  bool UseDatabase(const std::string& name, Writer& w);
  void ListDatabases(Writer& w);
  // The ENVCHANGEs of TDS 7.2+ for a transaction that ended (`end`) or
  // began since `before` (the transaction count then).
  void TransactionChange(Writer& w, int before, TransactionEnd end = TransactionEnd::kNone);
  void Error(Writer& w, std::int32_t number, const std::string& text, const std::string& procedure = "");
  void Send(Writer& w) { channel_.Write(PacketType::kReply, w.data()); }
  std::uint16_t InTransaction() const { return engine_ && engine_->trancount() > 0 ? kDoneInTransaction : 0; }

  Channel& channel_;
  const EndpointConfig& config_;
  const std::atomic<bool>& stopping_;
  SessionId session_id_;  // in every packet's header, and what @@SPID gives
  std::uint32_t tds_ = kTds71;
  std::unique_ptr<Server> server_;
  std::unique_ptr<Engine> engine_;
  std::string database_;  // the database the client was last told of
  std::string login_, host_;
  std::optional<InsertBulk> pending_bulk_;
  std::uint64_t transaction_ = 0;  // descriptor of the open transaction (TDS 7.2+)
  std::uint64_t next_transaction_ = 1;
  // Statements prepared by sp_prepare: their parameter declarations and text.
  struct Prepared {
    std::string declarations, statement;
  };
  std::map<std::int32_t, Prepared> prepared_;
  std::int32_t next_handle_ = 1;
  ServerCursors cursors_;  // the connection's server cursors, closed when it ends
  com::CodePage cp936_{"CP936"};
  port::SocketWakeup done_;  // a request has ended: its watcher stops
};

void ClientConnection::Error(Writer& w, std::int32_t number, const std::string& text, const std::string& procedure) {
  ServerMessage m;
  m.number = number;
  m.severity = static_cast<std::uint8_t>(SeverityOf(number));
  if (m.severity <= 10) m.severity = 16;
  m.text = text;
  m.server = config_.server_name;
  m.procedure = procedure;
  WriteMessage(w, m, tds_);
}

bool ClientConnection::Handshake(const std::string& refuse) {
  auto first = channel_.ReadMessage(64 * 1024, config_.login_timeout_ms);
  if (!first) return false;
  if (first->type == PacketType::kPrelogin) {
    const PreloginRequest request = ParsePrelogin(first->data);
    const auto response = PreloginResponse();
    channel_.Write(PacketType::kReply, response);
    if (request.encryption == Encryption::kRequired || request.encryption == Encryption::kOn) {
      // No encryption is offered; a client that needs it gives up here.
      if (config_.log) config_.log("客户端要求加密连接，本服务器不提供加密，已拒绝");
    }
    first = channel_.ReadMessage(64 * 1024, config_.login_timeout_ms);
    if (!first) return false;
  }
  if (first->type != PacketType::kLogin7) throw ProtocolError("expected LOGIN7");
  const Login7 login = ParseLogin7(first->data);
  tds_ = login.tds_version >= kTds74 ? kTds74 : login.tds_version >= kTds73 ? kTds73
       : login.tds_version >= kTds72 ? kTds72 : kTds71;
  // A server answers with the highest version both sides speak.
  tds_ = std::min(tds_, std::max(config_.max_tds_version, kTds71));
  Writer w;
  if (!refuse.empty()) {
    Error(w, 17809, refuse);
    WriteDone(w, kDone, kDoneError, 0, 0, tds_);
    Send(w);
    return false;
  }
  try {
    server_ = std::make_unique<Server>(config_.folder);
    server_->Authenticate(login.user, login.password);
  } catch (const com::Error& e) {
    ServerMessage m{e.number(), 1, 14, e.description(), config_.server_name, "", 1};
    WriteMessage(w, m, tds_);
    WriteDone(w, kDone, kDoneError, 0, 0, tds_);
    Send(w);
    if (config_.log) config_.log("登录失败：" + login.user + "（" + e.description() + "）");
    return false;
  }
  login_ = login.user;
  host_ = login.host;
  const std::string database = login.database.empty() ? "master" : login.database;
  if (!UseDatabase(database, w)) {
    WriteDone(w, kDone, kDoneError, 0, 0, tds_);
    Send(w);
    return false;
  }
  WriteEnvChangeBytes(w, EnvType::kCollation, kCollation, {});
  WriteEnvChange(w, EnvType::kLanguage, "us_english", "");
  WriteMessage(w, {5703, 1, 0, "Changed language setting to us_english.", config_.server_name, "", 1}, tds_);
  WriteLoginAck(w, tds_);
  const std::size_t asked = login.packet_size;
  const std::size_t size = asked < 512 ? kDefaultPacketSize : std::min(asked, kMaxPacketSize);
  WriteEnvChange(w, EnvType::kPacketSize, std::to_string(size), std::to_string(kDefaultPacketSize));
  WriteDone(w, kDone, kDoneFinal, 0, 0, tds_);
  Send(w);
  channel_.set_packet_size(size);
  return true;
}

bool ClientConnection::UseDatabase(const std::string& name, Writer& w) {
  const auto file = server_->DatabaseFile(name);
  if (!file) {
    Error(w, 4060, "Cannot open database \"" + name + "\" requested by the login. The login failed.");
    return false;
  }
  std::string canonical = name;
  for (const auto& n : server_->DatabaseNames()) {
    if (com::SameName(n, name)) canonical = n;
  }
  const std::string old = engine_ ? engine_->database() : "master";
  engine_ = std::make_unique<Engine>(*file, canonical, login_, host_, Server::DirectoryOf(server_->folder()));
  engine_->set_session_id(session_id_.value());
  database_ = canonical;
  WriteEnvChange(w, EnvType::kDatabase, canonical, old);
  WriteMessage(w, {5701, 2, 0, "Changed database context to '" + canonical + "'.", config_.server_name, "", 1}, tds_);
  return true;
}

void ClientConnection::ListDatabases(Writer& w) {
  OutputColumn column{"name", VT::kString, ColumnType{SqlType::kNVarChar, 128}};
  ResultWriter results(WireColumnsOf({column}), tds_);
  results.WriteColMetadata(w);
  std::uint64_t rows = 0;
  for (const auto& n : server_->DatabaseNames()) {
    results.WriteRow(w, {com::Variant::Text(n)});
    ++rows;
  }
  WriteDone(w, kDone, kDoneCount | InTransaction(), kCmdSelect, rows, tds_);
}

void ClientConnection::TransactionChange(Writer& w, int before, TransactionEnd end) {
  if (tds_ < kTds72) return;
  const int after = engine_->trancount();
  auto descriptor = [](std::uint64_t id) {
    std::vector<std::uint8_t> b(8);
    for (int i = 0; i < 8; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (8 * i));
    return b;
  };
  if (before > 0 && (after == 0 || end != TransactionEnd::kNone)) {
    WriteEnvChangeBytes(w, end == TransactionEnd::kCommitted ? EnvType::kCommitTransaction : EnvType::kRollbackTransaction,
                        {}, descriptor(transaction_));
    transaction_ = 0;
    before = 0;
  }
  if (before == 0 && after > 0) {
    transaction_ = next_transaction_++;
    WriteEnvChangeBytes(w, EnvType::kBeginTransaction, descriptor(transaction_), {});
  }
}

bool ClientConnection::AnswerItself(const std::string& sql, Writer& w) {
  if (auto name = UseTarget(sql)) {
    const bool ok = UseDatabase(*name, w);
    WriteDone(w, kDone, ok ? kDoneFinal : kDoneError, 0, 0, tds_);
    return true;
  }
  if (IsDatabaseList(sql)) {
    ListDatabases(w);
    return true;
  }
  if (const auto statement = ParseDatabaseStatement(sql)) {
    // The server's folder holds the databases: the endpoint makes and
    // removes them there.
    bool ok = false;
    try {
      RunDatabaseStatement(*server_, *statement, engine_->database(), engine_->trancount());
      ok = true;
    } catch (const com::Error& e) {
      Error(w, e.number(), e.description());
    }
    WriteDone(w, kDone, ok ? kDoneFinal : kDoneError, 0, 0, tds_);
    return true;
  }
  return false;
}

ClientConnection::Interruption ClientConnection::RunWatched(const std::function<void()>& work, std::optional<com::Error>* failure) {
  // While the request runs, a client may send an attention to cancel it; a
  // watcher reads it and stops the engine. The request's end wakes the
  // watcher at once.
  Interruption stop;
  std::thread watcher([&] {
    if (!channel_.InputWaitingUnless(done_)) return;
    try {
      auto packet = channel_.ReadPacket(config_.login_timeout_ms);
      if (packet && packet->type == PacketType::kAttention) {
        stop.attention = true;
      } else {
        stop.client_gone = true;  // gone, or talking out of turn: either way the request is not wanted
      }
    } catch (const std::exception&) {
      stop.client_gone = true;
    }
    engine_->Interrupt();
    // An interrupt that comes before the engine has started the request is
    // forgotten when it starts: it is repeated until the request ends.
    while (!done_.Wait(50)) engine_->Interrupt();
  });
  try {
    work();
  } catch (const com::Error& e) {
    *failure = e;
  } catch (const std::exception& e) {
    *failure = com::Error(com::ErrorNumber(0x80004005u), "Korvel", e.what());
  }
  done_.Raise();
  watcher.join();
  done_.Clear();
  if (stop.client_gone) throw ConnectionLost("the client left or broke the protocol during a request");
  return stop;
}

bool ClientConnection::WriteResults(Writer& w, const BatchOutput& out, bool closing, int before) {
  bool closed = false;
  for (std::size_t i = 0; i < out.order.size(); ++i) {
    const auto& outcome = out.order[i];
    switch (outcome.kind) {
      case BatchOutput::Outcome::kMessage:
        WriteBatchMessage(w, out.messages[outcome.index]);
        break;
      case BatchOutput::Outcome::kRows: {
        WriteResultSet(w, out.results[outcome.index], tds_);
        break;
      }
      case BatchOutput::Outcome::kCount:
        break;  // its statement's end carries it
      case BatchOutput::Outcome::kEnd: {
        const StatementEnd& end = out.ends[outcome.index];
        const bool last = closing && !end.in_procedure && i + 1 == out.order.size();
        if (end.return_status) WriteReturnStatus(w, *end.return_status);
        if (last) TransactionChange(w, before, out.transaction_end);
        const TokenType token = end.in_procedure ? kDoneInProc : end.return_status ? kDoneProc : kDone;
        const std::uint16_t status = static_cast<std::uint16_t>(
            (last ? 0 : kDoneMore) | (end.counted ? kDoneCount : 0) | (end.failed ? kDoneError : 0) |
            (last ? InTransaction() : end.in_transaction ? kDoneInTransaction : 0));
        WriteDone(w, token, status, CommandOf(end.verb), end.counted ? static_cast<std::uint64_t>(end.rows) : 0, tds_);
        closed = last;
        break;
      }
    }
  }
  return closed;
}

void ClientConnection::WriteBatchMessage(Writer& w, const BatchMessage& m) {
  if (!m.database.empty()) {
    WriteEnvChange(w, EnvType::kDatabase, m.database, database_);
    database_ = m.database;
  }
  ServerMessage message;
  message.number = m.number;
  message.state = static_cast<std::uint8_t>(m.state);
  message.severity = static_cast<std::uint8_t>(m.severity);
  message.text = m.text;
  message.server = config_.server_name;
  message.procedure = m.procedure;
  message.line = std::max(m.line, 1);
  WriteMessage(w, message, tds_);
}

void ClientConnection::WriteFailure(Writer& w, const com::Error& failure, const BatchOutput& out) {
  if (out.error_in_messages) return;
  ServerMessage error;
  error.number = failure.number();
  error.severity = static_cast<std::uint8_t>(out.error_severity <= 10 ? 16 : out.error_severity);
  error.state = static_cast<std::uint8_t>(out.error_state);
  error.text = failure.description();
  error.server = config_.server_name;
  error.procedure = out.error_procedure;
  error.line = std::max(out.error_line, 1);
  WriteMessage(w, error, tds_);
}

void ClientConnection::RunSql(const std::string& sql) {
  Writer w;
  if (AnswerItself(sql, w)) return Send(w);
  if (auto bulk = [&]() -> std::optional<InsertBulk> {
        try {
          return ParseInsertBulk(sql);
        } catch (const com::Error& e) {
          Error(w, e.number(), e.description());
          return std::nullopt;
        }
      }()) {
    try {
      for (const auto& column : engine_->DescribeTable(bulk->table)) {
        for (const auto& name : bulk->columns) {
          if (column.is_identity && com::SameName(column.name, name)) bulk->names_identity = true;
        }
      }
      pending_bulk_ = std::move(bulk);
      WriteDone(w, kDone, kDoneFinal | InTransaction(), 0, 0, tds_);
    } catch (const com::Error& e) {
      Error(w, e.number(), e.description());
      WriteDone(w, kDone, kDoneError | InTransaction(), 0, 0, tds_);
    }
    return Send(w);
  }
  if (w.size() > 0) {  // a malformed INSERT BULK
    WriteDone(w, kDone, kDoneError, 0, 0, tds_);
    return Send(w);
  }

  const int before = engine_->trancount();
  BatchOutput out;
  std::optional<com::Error> failure;
  if (RunWatched([&] { engine_->Execute(sql, &out); }, &failure).attention) return OnAttention(true);

  // Every DONE but the batch's last says more follows. A batch that went on
  // after its errors ends with its last statement's DONE.
  const bool closed = WriteResults(w, out, !failure || out.error_in_messages, before);
  if (!closed) {
    if (failure) WriteFailure(w, *failure, out);
    if (engine_->database() != database_) {  // a USE whose message was not written
      WriteEnvChange(w, EnvType::kDatabase, engine_->database(), database_);
    }
    TransactionChange(w, before, out.transaction_end);
    WriteDone(w, kDone, static_cast<std::uint16_t>((failure ? kDoneError : kDoneFinal) | InTransaction()), 0, 0,
              tds_);
  }
  database_ = engine_->database();
  Send(w);
}

void ClientConnection::OnRpc(const Message& m) {
  Reader r(m.data);
  SkipAllHeaders(r, m);
  const auto body = r.Bytes(r.remaining());
  pending_bulk_.reset();
  Writer w;
  std::vector<RpcCall> calls;
  try {
    calls = ParseRpcMessage({body.begin(), body.end()}, cp936_, config_.max_value_bytes);
  } catch (const com::Error& e) {
    Error(w, e.number(), e.description());
    WriteDone(w, kDoneProc, kDoneError | InTransaction(), 0, 0, tds_);
    return Send(w);
  }
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (!RunCall(w, calls[i], i + 1 == calls.size())) {
      if (w.size() > 0) Send(w);  // what the calls before the cancelled one answered
      return OnAttention(true);
    }
  }
  Send(w);
}

bool ClientConnection::RunCall(Writer& w, const RpcCall& call, bool last) {
  if (const std::string name = BareProcedureName(call.procedure); ServerCursors::IsCursorProcedure(name)) {
    return RunCursorCall(w, call, name, last);
  }
  const int before = engine_->trancount();
  BatchOutput out;
  std::optional<com::Error> failure;
  std::vector<Returned> returned;
  int status = 0;
  if (RunWatched([&] { status = Dispatch(call, &out, &returned); }, &failure).attention) return false;
  WriteResults(w, out, false, before);
  if (failure && !out.error_in_messages) {
    WriteFailure(w, *failure, out);
  } else {
    // A procedure that ran to its end, errors it went on after or not.
    WriteReturnStatus(w, out.return_status.value_or(status));
    for (const Returned& r : returned) WriteReturnValue(w, r.ordinal, r.name, r.type, r.value, tds_);
  }
  TransactionChange(w, before, out.transaction_end);
  const std::uint16_t more = last ? 0 : kDoneMore;
  WriteDone(w, kDoneProc, static_cast<std::uint16_t>(more | (failure ? kDoneError : 0) | InTransaction()), 0, 0,
            tds_);
  return true;
}

// The procedure a call names, without "sys." or "master.dbo." before it,
// in lower case; "" for a name that does not parse (the engine says why).
std::string BareProcedureName(const std::string& name) {
  try {
    return com::LowerAscii(ParseObjectName(name).object);
  } catch (const com::Error&) {
    return "";
  }
}

// The text a call's argument gives, as sp_prepare and sp_prepexec take
// their declarations and statement; raises 201 for one not given.
std::string TextArgument(const RpcCall& call, std::size_t i, const char* parameter) {
  if (i >= call.arguments.size() || call.arguments[i].use_default) {
    throw SqlErr(201, "Procedure or function '" + BareProcedureName(call.procedure) + "' expects parameter '" +
                          parameter + "', which was not supplied.");
  }
  const com::Variant& v = call.arguments[i].value;
  return v.IsNull() || v.IsEmpty() ? std::string() : v.ToText();
}


bool ClientConnection::RunCursorCall(Writer& w, const RpcCall& call, const std::string& name, bool last) {
  constexpr std::uint16_t kNoMetadata = 0x02, kReuseMetadata = 0x04;
  const int before = engine_->trancount();
  const bool no_metadata = (call.options & kNoMetadata) != 0;
  CursorAnswer answer;
  std::optional<com::Error> failure;
  const auto work = [&] {
    // Only a fetch's rows may come without their columns: the client has
    // them from the call that opened the cursor.
    if ((call.options & kReuseMetadata) || (no_metadata && name != "sp_cursorfetch" && name != "sp_cursorclose" &&
                                            name != "sp_cursoroption" && name != "sp_cursorunprepare")) {
      throw SqlErr(kNotSupported, name + ": results without their column metadata (RPC option fNoMetaData or "
                                         "fReuseMetaData) are only sent by sp_cursorfetch on this server.");
    }
    cursors_.Call(*engine_, name, call.arguments, &answer);
  };
  if (RunWatched(work, &failure).attention) {
    if (answer.opened) cursors_.Close(*answer.opened);  // the client is not told of it
    return false;
  }
  if (answer.notice) WriteBatchMessage(w, *answer.notice);
  if (answer.ran_directly) {
    WriteResults(w, answer.run, false, before);
  } else {
    for (const BatchMessage& m : answer.run.messages) WriteBatchMessage(w, m);
  }
  if (answer.result && !failure) {
    Writer described;
    try {
      const ResultSet& rs = *answer.result;
      ResultWriter results(WireColumnsOf(rs.columns), tds_);
      if (no_metadata) {
        described.U8(kColMetadata);
        described.U16(kNoColumnMetadata);
      } else {
        results.WriteColMetadata(described);
        // ROWSTAT, the last column, is hidden.
        std::vector<BrowseColumn> statuses(rs.columns.size());
        statuses.back().hidden = true;
        WriteColumnInfo(described, statuses);
      }
      for (const auto& row : rs.rows) results.WriteRow(described, row);
      WriteDone(described, kDoneInProc, static_cast<std::uint16_t>(kDoneMore | InTransaction()), 0, 0, tds_);
      w.Bytes(described.data());
    } catch (const com::Error& e) {
      // Columns no client could read: the call fails, and a cursor it
      // opened is not left open.
      failure = e;
      if (answer.opened) cursors_.Close(*answer.opened);
    }
  }
  if (failure) {
    if (answer.run.error_line == 0 && answer.run.error_procedure.empty()) answer.run.error_procedure = name;
    WriteFailure(w, *failure, answer.run);
  } else {
    WriteReturnStatus(w, answer.status);
    for (const auto& [index, value] : answer.outputs) {
      WriteReturnValue(w, static_cast<std::uint16_t>(index), call.arguments[index].name, ColumnType{SqlType::kInt, 0},
                       com::Variant::I4(value), tds_);
    }
  }
  TransactionChange(w, before, answer.run.transaction_end);
  const std::uint16_t more = last ? 0 : kDoneMore;
  WriteDone(w, kDoneProc, static_cast<std::uint16_t>(more | (failure ? kDoneError : 0) | InTransaction()), 0, 0,
            tds_);
  return true;
}

int ClientConnection::ExecutePrepared(const std::string& statement, const std::string& declarations, const RpcCall& call,
                             std::size_t first_value, BatchOutput* out, std::vector<Returned>* returned) {
  std::vector<Argument> arguments;
  arguments.reserve(call.arguments.size() + 2);
  arguments.push_back({"", com::Variant::Text(statement)});
  arguments.push_back({"", com::Variant::Text(declarations)});
  for (std::size_t i = first_value; i < call.arguments.size(); ++i) arguments.push_back(call.arguments[i]);
  return CallEngine("sp_executesql", arguments, 2, first_value, out, returned);
}

void ClientConnection::DescribePrepared(const std::string& statement, const std::string& declarations,
                                        BatchOutput* out) {
  std::vector<ast::StmtPtr> statements;
  try {
    statements = ParseBatch(statement);
  } catch (const com::Error&) {
    return;  // described by none; its syntax error is raised when it runs
  }
  const bool queries_only =
      !statements.empty() && std::all_of(statements.begin(), statements.end(), [](const ast::StmtPtr& s) {
        return s->kind == ast::StmtKind::kSelect;
      });
  if (!queries_only) return;
  std::vector<Argument> arguments = {{"", com::Variant::Text(statement)}, {"", com::Variant::Text(declarations)}};
  for (std::size_t i = 0; i < ParseParameterList(declarations).size(); ++i) arguments.push_back({"", com::Variant::Null()});
  const FormatOnlyScope format_only(*engine_);
  engine_->Call("sp_executesql", arguments, out);
}

int ClientConnection::CallEngine(const std::string& procedure, std::vector<Argument>& arguments, std::size_t from,
                        std::size_t first_ordinal, BatchOutput* out, std::vector<Returned>* returned) {
  auto collect = [&] {
    for (std::size_t i = from; i < arguments.size(); ++i) {
      const Argument& a = arguments[i];
      if (a.output && a.type) {
        returned->push_back({static_cast<std::uint16_t>(first_ordinal + i - from), a.name, *a.type, a.value});
      }
    }
  };
  int status = 0;
  try {
    status = engine_->Call(procedure, arguments, out);
  } catch (const com::Error&) {
    if (out->error_in_messages) collect();  // it ran to its end
    throw;
  }
  collect();
  return status;
}

int ClientConnection::Dispatch(const RpcCall& call, BatchOutput* out, std::vector<Returned>* returned) {
  const std::string name = BareProcedureName(call.procedure);
  // fWithRecomp (0x01) asks only for a new plan; results without their
  // column metadata (fNoMetaData 0x02, fReuseMetaData 0x04) are not sent.
  if (call.options & 0x06) {
    throw SqlErr(kNotSupported, "Results without their column metadata (RPC option fNoMetaData or fReuseMetaData) "
                                "are not supported by this server; call " + name + " without them.");
  }
  auto prepare = [&] {
    const std::string declarations = TextArgument(call, 1, "@params");
    const std::string statement = TextArgument(call, 2, "@stmt");
    const std::int32_t handle = next_handle_++;
    prepared_[handle] = {declarations, statement};
    const std::string handle_name = call.arguments.empty() ? std::string() : call.arguments[0].name;
    returned->push_back({0, handle_name, ColumnType{SqlType::kInt, 0}, com::Variant::I4(handle)});
    return handle;
  };
  if (name == "sp_prepare") {
    const std::int32_t handle = prepare();
    const Prepared& p = prepared_.at(handle);
    try {
      DescribePrepared(p.statement, p.declarations, out);
    } catch (const com::Error&) {
      prepared_.erase(handle);  // a statement that does not compile is not prepared
      throw;
    }
    return 0;
  }
  if (name == "sp_prepexec") {
    const std::int32_t handle = prepare();
    const Prepared& p = prepared_.at(handle);
    return ExecutePrepared(p.statement, p.declarations, call, 3, out, returned);
  }
  if (name == "sp_execute" || name == "sp_unprepare") {
    if (call.arguments.empty() || call.arguments[0].value.IsNull() || call.arguments[0].value.IsEmpty()) {
      throw SqlErr(201, "Procedure or function '" + name + "' expects parameter '@handle', which was not supplied.");
    }
    const std::int64_t handle = call.arguments[0].value.ToInt64();
    const auto found = prepared_.find(static_cast<std::int32_t>(handle));
    if (found == prepared_.end() || found->first != handle) {
      throw SqlErr(8179, "Could not find prepared statement with handle " + std::to_string(handle) + ".");
    }
    if (name == "sp_unprepare") {
      prepared_.erase(found);
      return 0;
    }
    const Prepared p = found->second;
    return ExecutePrepared(p.statement, p.declarations, call, 1, out, returned);
  }
  if (name == "sp_executesql") {
    // SQL Server takes the statement and its declarations by position,
    // whatever the client names them (tedious: @statement, @params).
    std::vector<Argument> arguments = call.arguments;
    for (std::size_t i = 0; i < arguments.size() && i < 2; ++i) arguments[i].name.clear();
    return CallEngine(call.procedure, arguments, 0, 0, out, returned);
  }
  if (name == "sp_prepexecrpc") {
    throw SqlErr(kNotSupported, "sp_prepexecrpc is not supported by this server; call the procedure by name.");
  }
  std::vector<Argument> arguments = call.arguments;
  return CallEngine(call.procedure, arguments, 0, 0, out, returned);
}

void ClientConnection::OnBatch(const Message& m) {
  Reader r(m.data);
  SkipAllHeaders(r, m);
  if (r.remaining() % 2) throw ProtocolError("SQL batch of an odd number of bytes");
  const std::string sql = r.Ucs2(r.remaining() / 2);
  pending_bulk_.reset();
  RunSql(sql);
}

void ClientConnection::OnTransactionManager(const Message& m) {
  enum : std::uint16_t { kBegin = 5, kCommit = 7, kRollback = 8, kSave = 9 };
  Reader r(m.data);
  SkipAllHeaders(r, m);
  const std::uint16_t request = r.U16();
  // The statements each request stands for; the isolation level a client
  // asks for is taken (the engine serializes its writers whatever it is).
  std::string sql;
  auto named = [](const std::string& verb, const std::string& name) {
    return name.empty() ? verb : verb + " " + com::Quoted(name, '[', ']');
  };
  switch (request) {
    case kBegin: {
      r.U8();  // isolation level
      sql = named("BEGIN TRANSACTION", r.BVarChar());
      break;
    }
    case kCommit:
    case kRollback: {
      const std::string name = r.BVarChar();
      sql = named(request == kCommit ? "COMMIT TRANSACTION" : "ROLLBACK TRANSACTION", name);
      // A new transaction begun at once, when asked.
      if (r.remaining() > 0 && (r.U8() & 0x01)) {
        r.U8();  // its isolation level
        sql += "\n" + named("BEGIN TRANSACTION", r.remaining() > 0 ? r.BVarChar() : std::string());
      }
      break;
    }
    case kSave: {
      const std::string name = r.BVarChar();
      if (name.empty()) throw ProtocolError("SAVE TRANSACTION request without a name");
      sql = named("SAVE TRANSACTION", name);
      break;
    }
    default: {
      Writer w;
      Error(w, 8509, "This server does not take part in distributed transactions (transaction manager request " +
                         std::to_string(request) + ").");
      WriteDone(w, kDone, kDoneError, 0, 0, tds_);
      return Send(w);
    }
  }
  Writer w;
  const int before = engine_->trancount();
  BatchOutput out;
  bool ok = true;
  try {
    engine_->Execute(sql, &out);
  } catch (const com::Error& e) {
    ok = false;
    Error(w, e.number(), e.description());
  }
  TransactionChange(w, before, out.transaction_end);
  WriteDone(w, kDone, static_cast<std::uint16_t>((ok ? kDoneFinal : kDoneError) | InTransaction()), 0, 0, tds_);
  Send(w);
}

void ClientConnection::OnBulkLoad(Packet first) {
  Writer w;
  if (!pending_bulk_) throw ProtocolError("bulk-load data without INSERT BULK");
  const InsertBulk bulk = std::move(*pending_bulk_);
  pending_bulk_.reset();
  // The message's pieces, packet by packet; the load reads them as it goes,
  // so a load of any size takes the memory of a packet and a row.
  bool first_given = false, ended = first.end_of_message, attention = false;
  PieceSource source = [&]() -> std::vector<std::uint8_t> {
    if (!first_given) {
      first_given = true;
      if (!first.payload.empty()) return std::move(first.payload);
    }
    while (!ended) {
      auto p = channel_.ReadPacket(config_.login_timeout_ms * 4);
      if (!p) throw ConnectionLost("connection closed in the middle of a bulk load");
      if (p->type == PacketType::kAttention) {
        attention = true;
        ended = true;
        break;
      }
      if (p->type != PacketType::kBulkLoad) throw ProtocolError("packet type changed in the middle of a bulk load");
      ended = p->end_of_message;
      if (!p->payload.empty()) return std::move(p->payload);
    }
    return {};
  };
  const int before = engine_->trancount();
  std::int64_t rows = 0;
  try {
    dts::BulkLoadOptions options;
    // A client that names the identity column sends its values.
    options.keep_identity = bulk.keep_identity || bulk.names_identity;
    options.check_constraints = bulk.check_constraints;
    std::unique_ptr<dts::BulkWriter> writer;
    try {
      writer = engine_->OpenBulkLoad(bulk.table, bulk.columns, options, !bulk.keep_nulls);
    } catch (...) {
      // The client sends its rows whatever the server said; they are read
      // and dropped so that the connection stays in step.
      while (!source().empty()) {
      }
      throw;
    }
    ReadBulkRows(
        source, bulk.columns.size(),
        [&](const dts::Row& row) {
          writer->Write(row);
          ++rows;
        },
        config_.max_value_bytes, tds_ >= kTds72);
    if (attention) throw SqlErr(3621, "The statement has been terminated.");
    writer->Finish();
  } catch (const com::Error& e) {
    if (attention) return OnAttention(true);
    Error(w, e.number(), e.description());
    TransactionChange(w, before);
    WriteDone(w, kDone, static_cast<std::uint16_t>(kDoneError | InTransaction()), 0, 0, tds_);
    return Send(w);
  }
  TransactionChange(w, before);
  WriteDone(w, kDone, static_cast<std::uint16_t>(kDoneCount | InTransaction()), kCmdInsert,
            static_cast<std::uint64_t>(rows), tds_);
  Send(w);
}

void ClientConnection::OnAttention(bool request_cancelled) {
  if (request_cancelled) {
    Writer end;
    WriteDone(end, kDone, static_cast<std::uint16_t>(kDoneError | InTransaction()), 0, 0, tds_);
    Send(end);
  }
  Writer w;
  WriteDone(w, kDone, kDoneAttention, 0, 0, tds_);
  Send(w);
}

std::optional<Message> ClientConnection::Gather(Packet first, std::size_t limit, bool* left) {
  Message m{first.type, std::move(first.payload)};
  bool end = first.end_of_message;
  while (!end) {
    auto packet = channel_.ReadPacket(config_.login_timeout_ms);
    if (!packet) {
      *left = true;
      return std::nullopt;
    }
    if (packet->type == PacketType::kAttention) {
      OnAttention(true);
      return std::nullopt;
    }
    if (packet->type != m.type) throw ProtocolError("packet type changed in the middle of a message");
    if (m.data.size() + packet->payload.size() > limit) throw ProtocolError("message longer than the server accepts");
    m.data.insert(m.data.end(), packet->payload.begin(), packet->payload.end());
    end = packet->end_of_message;
  }
  return m;
}

void ClientConnection::Run(const std::string& refuse) {
  if (!Handshake(refuse)) return;
  while (!stopping_) {
    // An idle client may stay as long as it likes; the server looks up
    // every second to see whether it is stopping.
    if (!channel_.InputWaiting(1000)) continue;
    auto packet = channel_.ReadPacket(config_.login_timeout_ms);
    if (!packet) return;  // the client left
    switch (packet->type) {
      case PacketType::kSqlBatch:
      case PacketType::kRpc:
      case PacketType::kTransactionManager: {
        const PacketType type = packet->type;
        // A transaction manager request is a few bytes; batches and calls
        // may be long.
        const std::size_t limit = type == PacketType::kTransactionManager ? 4096 : config_.max_message_bytes;
        bool left = false;
        auto m = Gather(std::move(*packet), limit, &left);
        if (left) return;
        if (!m) break;  // cancelled before it was whole
        try {
          if (type == PacketType::kSqlBatch) OnBatch(*m);
          if (type == PacketType::kRpc) OnRpc(*m);
          if (type == PacketType::kTransactionManager) OnTransactionManager(*m);
        } catch (const com::Error& e) {
          // Raised while the answer was being put together (a result the
          // server cannot describe), before any of it was sent: the error
          // is the answer, and the connection goes on.
          Writer w;
          Error(w, e.number(), e.description());
          WriteDone(w, type == PacketType::kRpc ? kDoneProc : kDone, kDoneError | InTransaction(), 0, 0, tds_);
          Send(w);
        }
        break;
      }
      case PacketType::kBulkLoad:
        OnBulkLoad(std::move(*packet));
        break;
      case PacketType::kAttention:
        OnAttention(false);
        break;
      default: {
        // Any other message is not one a client sends after login: drain
        // it and say so.
        while (!packet->end_of_message) {
          packet = channel_.ReadPacket(config_.login_timeout_ms);
          if (!packet) return;
        }
        Writer w;
        Error(w, 2812, "This server does not take messages of type " +
                           std::to_string(static_cast<int>(packet->type)) + ".");
        WriteDone(w, kDone, kDoneError, 0, 0, tds_);
        Send(w);
      }
    }
  }
}

}  // namespace

void ServeConnection(Channel& channel, const EndpointConfig& config, const std::atomic<bool>& stopping,
                     const std::string& refuse) {
  try {
    ClientConnection(channel, config, stopping).Run(refuse);
  } catch (const ProtocolError& e) {
    if (config.log) config.log(std::string("连接因协议错误而关闭：") + e.what());
  } catch (const ConnectionLost& e) {
    if (config.log) config.log(std::string("连接已断开：") + e.what());
  } catch (const com::Error& e) {
    if (config.log) config.log("连接因错误而关闭：" + e.description());
  } catch (const std::exception& e) {
    if (config.log) config.log(std::string("连接因内部错误而关闭：") + e.what());
  }
}

}  // namespace sqlsrv::tds
