// Control of flow and errors: WHILE, TRY ... CATCH, RAISERROR and THROW,
// where an error was raised and how a batch reports it, the messages a
// batch sends (PRINT), WAITFOR, and USE.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>

#include "platform/com/datetime.h"
#include "platform/com/names.h"
#include "platform/port/files.h"
#include "platform/port/system.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/execution/raise_message.h"
#include "platform/sqlserver/execution/result_values.h"
#include "platform/sqlserver/server_directory.h"

namespace sqlsrv {
namespace {

// The line of `offset` in `text`, counting from 1.
int LineAt(std::string_view text, std::size_t offset) {
  const auto end = text.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text.size()));
  return 1 + static_cast<int>(std::count(text.begin(), end, '\n'));
}

// The first `n` characters of UTF-8 text.
std::string FirstCharacters(const std::string& text, std::size_t n) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == n) return text.substr(0, i);
  }
  return text;
}

// The most characters PRINT sends of Unicode text, and of other text.
constexpr std::size_t kPrintUnicode = 4000;
constexpr std::size_t kPrintText = 8000;

// The lowest number RAISERROR takes for a message of sys.messages.
constexpr std::int64_t kLowestMessageNumber = 13000;
// The highest severity any user may give, and the one from which the
// server ends the connection (TRY does not catch it).
constexpr int kHighestUserSeverity = 18;
constexpr int kFatalSeverity = 20;

// The message that sends an error.
BatchMessage MessageOf(const ErrorInfo& error) {
  BatchMessage message;
  message.text = error.message;
  message.number = error.number;
  message.severity = error.severity;
  message.state = error.state;
  message.line = error.line;
  message.procedure = error.procedure;
  return message;
}

// The name SQL Server's messages give a value's static type.
std::string TypeNameOf(const OutputColumn& c) {
  if (c.column) return TypeBaseName(*c.column);
  switch (c.type) {
    case VT::kNull: return "NULL";
    case VT::kInt: return "int";
    case VT::kBit: return "bit";
    case VT::kMoney: return "money";
    case VT::kDecimal: return "numeric";
    case VT::kFloat: return "float";
    case VT::kDate: return "datetime";
    default: return "varchar";
  }
}

bool IsIntegerValue(const OutputColumn& c) { return c.type == VT::kInt; }

// WAITFOR's time: "hh:mm[:ss[.fff]]", optionally after the date
// 1900-01-01; nullopt for any other text.
std::optional<std::chrono::milliseconds> WaitTime(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  if (text.rfind("1900-01-01", 0) == 0) {
    text.erase(0, 10);
    while (!text.empty() && (text.front() == ' ' || text.front() == 'T')) text.erase(0, 1);
  }
  int fields[3] = {0, 0, 0};
  int millis = 0;
  std::size_t i = 0;
  int field = 0;
  for (; field < 3; ++field) {
    const std::size_t start = i;
    // Leading zeros may be as many as written ('000:05:00').
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (fields[field] < 1000) fields[field] = fields[field] * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    if (i == text.size() || text[i] != ':') break;
    ++i;
  }
  if (field == 0) return std::nullopt;  // an hour alone is no time
  if (field == 3) return std::nullopt;  // a colon after the seconds
  if (i < text.size() && text[i] == '.' && field == 2) {
    ++i;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
      millis = millis * 10 + (text[i++] - '0');
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    while (digits++ < 3) millis *= 10;
  }
  if (i != text.size() || fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
  return std::chrono::milliseconds(((fields[0] * 60 + fields[1]) * 60 + fields[2]) * 1000 + millis);
}

}  // namespace

// ------------------------------------------------------------ errors

void EngineCore::NoteRaised(const com::Error& e, std::string_view text, std::size_t at) {
  if (raised_.noted) return;
  raised_.noted = true;
  raised_.level = exec_depth_;
  raised_.ends_batch = false;
  if (raising_ && raising_->number == e.number() && raising_->message == e.description()) {
    raised_.info = *raising_;
    raised_.ends_batch = raising_ends_batch_;
  } else {
    raised_.info = ErrorInfo{e.number(), e.description(), SeverityOf(e.number()), 1, 0, ""};
  }
  raising_.reset();
  raised_.info.line = LineAt(text, at);
  raised_.info.procedure = scope_ ? scope_->procedure : "";
}

void EngineCore::Raise(const ErrorInfo& error, bool ends_batch) {
  raising_ = error;
  raising_ends_batch_ = ends_batch;
  throw SqlErr(error.number, error.message);
}

ErrorInfo EngineCore::RaisedAs(const com::Error& error) const {
  if (raised_.noted && raised_.info.number == error.number()) return raised_.info;
  // Changed on its way out (a cancel ending a lock's wait, SQLite's limit
  // as 191): where it was raised still holds.
  return ErrorInfo{error.number(), error.description(), SeverityOf(error.number()), 1,
                   raised_.noted ? raised_.info.line : 1, raised_.noted ? raised_.info.procedure : ""};
}

int EngineCore::SeverityRaised(const com::Error& e) const {
  return raised_.noted && raised_.info.number == e.number() ? raised_.info.severity : SeverityOf(e.number());
}

ErrorReach EngineCore::ReachOfRaised(const com::Error& e) const {
  if (raised_.noted && raised_.info.number == e.number() && raised_.ends_batch) return ErrorReach::kBatch;
  return ReachOf(e, SeverityRaised(e));
}

bool EngineCore::KeepsWorkBefore(const com::Error& e) const {
  // A failure beneath the statements, or a deadlock, may have taken more
  // than the statement with it: the frames around undo their part too.
  return db_->InTransaction() && e.number() != kDeadlock && e.number() != kTransactionDoomed &&
         !IsFailureBeneathStatements(e, SeverityRaised(e));
}

bool EngineCore::EndsOnly(const com::Error& e, ErrorReach reach) const {
  return try_depth_ == 0 && !state_.options.xact_abort && ReachOfRaised(e) == reach;
}

void EngineCore::SendError(const com::Error& error, BatchOutput* output) {
  Raised sent;
  sent.info = RaisedAs(error);
  sent.info.line = std::max(sent.info.line, 1);
  sent.level = raised_.noted ? raised_.level : exec_depth_;
  sent.noted = true;
  raised_ = Raised();
  state_.error = error.number();
  PushMessage(output, MessageOf(sent.info));
  if (!deferred_) deferred_ = std::move(sent);
}

void EngineCore::EndStatement(const ast::Stmt& s, BatchOutput* output, bool failed) {
  if (!output) return;
  using K = ast::StmtKind;
  StatementEnd end;
  switch (s.kind) {
    case K::kIf: case K::kWhile: case K::kBlock: case K::kTry: case K::kBreak: case K::kContinue: case K::kReturn:
    case K::kDeclare:
      if (!failed) return;  // no statement of its own unless it failed itself (a condition, an initial value)
      break;
    case K::kSelect:
      if (s.select->items.empty() || s.select->items.front().variable.empty()) end.verb = StatementEnd::kSelect;
      break;
    case K::kInsert: end.verb = StatementEnd::kInsert; break;
    case K::kUpdate: end.verb = StatementEnd::kUpdate; break;
    case K::kDelete: end.verb = StatementEnd::kDelete; break;
    case K::kExecute: end.verb = StatementEnd::kExecute; break;
    default: break;
  }
  end.failed = failed;
  end.in_procedure = exec_depth_ > 0;
  end.in_transaction = state_.trancount > 0;
  if (!failed && end.verb != StatementEnd::kOther && end.verb != StatementEnd::kExecute) {
    end.rows = state_.rowcount;
    end.counted = !state_.nocount;
  }
  if (end.verb == StatementEnd::kExecute && !end.in_procedure) end.return_status = output->return_status;
  output->ends.push_back(end);
  output->order.push_back({BatchOutput::Outcome::kEnd, output->ends.size() - 1});
}

void EngineCore::EndEachResult(BatchOutput* output, std::size_t first_outcome) {
  if (!output) return;
  std::vector<BatchOutput::Outcome> given(output->order.begin() + static_cast<std::ptrdiff_t>(first_outcome),
                                          output->order.end());
  output->order.resize(first_outcome);
  for (const BatchOutput::Outcome& o : given) {
    output->order.push_back(o);
    if (o.kind != BatchOutput::Outcome::kRows) continue;
    StatementEnd end;
    end.verb = StatementEnd::kSelect;
    end.rows = static_cast<std::int64_t>(output->results[o.index].rows.size());
    end.counted = !state_.nocount;
    end.in_procedure = true;
    end.in_transaction = state_.trancount > 0;
    output->ends.push_back(end);
    output->order.push_back({BatchOutput::Outcome::kEnd, output->ends.size() - 1});
  }
}

void EngineCore::EndAbortedTransaction() {
  const bool doomed = doomed_epoch_ == epoch_;
  if (state_.trancount == 0 || !(state_.options.xact_abort || doomed)) return;
  try {
    Rollback();
  } catch (const com::Error&) {
    // The batch fails with its own error; SQLite has ended the transaction.
  }
}

void EngineCore::EndDoomedTransaction(BatchOutput* output) {
  if (state_.trancount == 0 || doomed_epoch_ != epoch_) return;
  Rollback();
  SendError(SqlErr(kUncommittableAtEnd,
                   "Uncommittable transaction is detected at the end of the batch. The transaction is rolled back."),
            output);
}

void EngineCore::ReportFailure(BatchOutput* output, const com::Error& error) {
  state_.error = error.number();
  const ErrorInfo info = RaisedAs(error);
  raised_ = Raised();
  if (!output) return;
  output->error_line = std::max(info.line, 1);
  output->error_procedure = info.procedure;
  output->error_severity = info.severity;
  output->error_state = info.state;
  output->error_in_messages = false;
}

void EngineCore::RaiseDeferred(BatchOutput* output) {
  if (!deferred_) return;
  const ErrorInfo info = deferred_->info;
  deferred_.reset();
  if (output) {
    output->error_line = std::max(info.line, 1);
    output->error_procedure = info.procedure;
    output->error_severity = info.severity;
    output->error_state = info.state;
    output->error_in_messages = true;
  }
  throw SqlErr(info.number, info.message);
}

void EngineCore::PushCaught(ErrorInfo error) {
  caught_.push_back(std::move(error));
  state_.caught = &caught_.back();
}

void EngineCore::PopCaught() {
  caught_.pop_back();
  state_.caught = caught_.empty() ? nullptr : &caught_.back();
}

bool EngineCore::Catchable(const com::Error& e, int level) const {
  if (e.number() == kErrCancelled) return false;
  const bool noted = raised_.noted && raised_.info.number == e.number();
  const int severity = noted ? raised_.info.severity : SeverityOf(e.number());
  if (severity <= 10 || severity >= kFatalSeverity) return false;
  // A compile error is caught only from a level below the TRY.
  return !IsCompileError(e.number()) || (noted && raised_.level > level);
}

// ------------------------------------------------------------ control of flow

bool EngineCore::Holds(const ast::Expr& condition, const char* operation) {
  catalog_->Refresh();
  Translator tr(*catalog_, state_);
  Prepared test(*db_, tr.Condition(condition));
  const int rc = test.StepRaw();
  if (rc != SQLITE_ROW) throw StepError(rc, operation, nullptr);
  const bool yes = test.Int(0) != 0;
  state_.error = 0;
  return yes;
}

EngineCore::Flow EngineCore::RunWhile(ast::Stmt& s, std::string_view text, BatchOutput* output) {
  for (;;) {
    if (interrupted_) throw SqlErr(kErrCancelled, "The query was cancelled.");
    if (!Holds(*s.condition, "WHILE")) return Flow::kNext;
    const Flow flow = RunBlock(s.then_block, text, output);
    if (flow == Flow::kBreak) return Flow::kNext;
    if (flow == Flow::kReturn) return flow;
  }
}

EngineCore::Flow EngineCore::RunTry(ast::Stmt& s, std::string_view text, BatchOutput* output) {
  const int level = exec_depth_;
  ErrorInfo error;
  {
    ++try_depth_;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{try_depth_};
    try {
      return RunBlock(s.then_block, text, output);
    } catch (const com::Error& e) {
      const com::Error outermost = Outermost(e);
      if (!Catchable(outermost, level)) {
        if (outermost.number() == e.number()) throw;
        throw outermost;
      }
      error = RaisedAs(outermost);
      raised_ = Raised();
    }
  }
  // Under XACT_ABORT the error dooms the open transaction: the CATCH block
  // may only roll it back.
  if (state_.options.xact_abort && state_.trancount > 0) doomed_epoch_ = epoch_;
  // The CATCH block sees the error in @@ERROR, at first, and in the error
  // functions throughout, procedures it runs included.
  state_.error = error.number;
  PushCaught(std::move(error));
  struct Pop {
    EngineCore& e;
    ~Pop() { e.PopCaught(); }
  } pop{*this};
  return RunBlock(s.else_block, text, output);
}

// ------------------------------------------------------------ RAISERROR, THROW

std::pair<com::Variant, OutputColumn> EngineCore::EvaluateTyped(const ast::Expr& e, const char* operation) {
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Constants({&e});
  Prepared st(*db_, t.sql);
  const int rc = st.StepRaw();
  if (rc != SQLITE_ROW) throw StepError(rc, operation, nullptr);
  return {DecodeValue(st.get(), 0, t.columns[0]), t.columns[0]};
}

bool EngineCore::RunRaiserror(const ast::Stmt& s, std::string_view text, BatchOutput* output) {
  const auto [first, first_column] = EvaluateTyped(*s.expressions[0], "RAISERROR");
  const com::Variant severity_value = Evaluate(*s.expressions[1], "RAISERROR");
  const com::Variant state_value = Evaluate(*s.expressions[2], "RAISERROR");
  std::int64_t severity = severity_value.IsNull() ? 0 : severity_value.ToInt64();
  std::int64_t state = state_value.IsNull() ? 0 : state_value.ToInt64();
  if (severity > kHighestUserSeverity && !(s.raise_options & ast::kRaiseLog)) {
    throw SqlErr(kRaiseSeverity, "Error severity levels greater than " + std::to_string(kHighestUserSeverity) +
                                     " can only be specified by members of the sysadmin role, using the WITH LOG option.");
  }
  severity = std::clamp<std::int64_t>(severity, 0, 25);
  if (state < 0) state = 1;
  if (state > 255) {
    throw SqlErr(kRaiseState, "Invalid value " + std::to_string(state) + " for state. Valid range is from 0 to 255.");
  }
  ErrorInfo error;
  if (IsIntegerValue(first_column) && !first.IsNull()) {
    // A message of sys.messages, by number: the server keeps none of its
    // own and users add none.
    const std::int64_t id = first.ToInt64();
    if (id < kLowestMessageNumber || id == kUserError || id > INT_MAX) {
      throw SqlErr(kRaiseNumber, "Error number " + std::to_string(id) + " is invalid. The number must be from " +
                                     std::to_string(kLowestMessageNumber) + " through " + std::to_string(INT_MAX) +
                                     " and it cannot be " + std::to_string(kUserError) + ".");
    }
    error = ErrorInfo{kRaiseNoMessage,
                      "Error " + std::to_string(id) + ", severity " + std::to_string(severity) + ", state " +
                          std::to_string(state) +
                          " was raised, but no message with that error number was found in sys.messages. If error is "
                          "larger than 50000, make sure the user-defined message is added using sp_addmessage.",
                      SeverityOf(kRaiseNoMessage), 1, 0, ""};
  } else {
    std::vector<RaiseArgument> arguments;
    for (std::size_t k = 3; k < s.expressions.size(); ++k) {
      auto [value, column] = EvaluateTyped(*s.expressions[k], "RAISERROR");
      arguments.push_back({std::move(value), TypeNameOf(column)});
    }
    const std::string format = first.IsNull() ? std::string() : first.IsText() ? first.text() : first.ToText();
    error = ErrorInfo{kUserError, FormatRaiseMessage(format, arguments), static_cast<int>(severity),
                      static_cast<int>(state), 0, ""};
  }
  const bool is_error = error.severity > 10;
  const std::int32_t at_error = is_error || (s.raise_options & ast::kRaiseSetError) ? error.number : 0;
  state_.error = at_error;
  // Inside a TRY block (here or in a caller) an error goes to its CATCH
  // block; past the severities a user may raise, it ends the batch.
  if (is_error && (try_depth_ > 0 || error.severity >= kFatalSeverity)) Raise(error);
  AddMessage(output, MessageOf(error), text, s.offset);
  if (is_error && !deferred_) {
    Raised sent;
    sent.info = error;
    sent.info.line = LineAt(text, s.offset);
    sent.info.procedure = scope_ ? scope_->procedure : "";
    sent.level = exec_depth_;
    deferred_ = std::move(sent);
  }
  return is_error;
}

void EngineCore::RunThrow(const ast::Stmt& s) {
  if (s.expressions.empty()) {
    // The parser lets a bare THROW stand only inside a CATCH block.
    if (caught_.empty()) {
      throw SqlErr(kRethrowOutsideCatch, "To rethrow an error, a THROW statement must be used inside a CATCH block.");
    }
    Raise(caught_.back(), true);
  }
  const com::Variant number = Evaluate(*s.expressions[0], "THROW");
  const com::Variant message = Evaluate(*s.expressions[1], "THROW");
  const com::Variant state = Evaluate(*s.expressions[2], "THROW");
  const std::int64_t n = number.IsNull() ? 0 : number.ToInt64();
  if (n < kUserError || n > INT_MAX) {
    throw SqlErr(kThrowNumber, "Error number " + std::to_string(n) +
                                   " in the THROW statement is outside the valid range. Specify an error number in the "
                                   "valid range of 50000 to 2147483647.");
  }
  const std::int64_t st = state.IsNull() ? 0 : state.ToInt64();
  if (st < 0 || st > 255) throw OverflowError("tinyint", std::to_string(st));
  Raise(ErrorInfo{static_cast<std::int32_t>(n), message.IsNull() ? "" : message.ToText(), 16, static_cast<int>(st), 0, ""},
        true);
}

// ------------------------------------------------------------ messages

void EngineCore::AddMessage(BatchOutput* output, BatchMessage message, std::string_view text, std::size_t at) {
  message.line = LineAt(text, at);
  message.procedure = scope_ ? scope_->procedure : "";
  PushMessage(output, std::move(message));
}

void EngineCore::PushMessage(BatchOutput* output, BatchMessage message) {
  if (!output) return;
  output->messages.push_back(std::move(message));
  output->order.push_back({BatchOutput::Outcome::kMessage, output->messages.size() - 1});
}

std::string EngineCore::PrintText(const ast::Expr& e) {
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Text(e);
  Prepared st(*db_, t.sql);
  const int rc = st.StepRaw();
  if (rc != SQLITE_ROW) throw StepError(rc, "PRINT", nullptr);
  if (st.IsNull(0)) return "";
  const ColumnType* type = t.columns[0].column ? &*t.columns[0].column : nullptr;
  return FirstCharacters(std::string(st.Text(0)), type && IsUnicodeType(type->type) ? kPrintUnicode : kPrintText);
}

// ------------------------------------------------------------ WAITFOR

void EngineCore::RunWaitfor(const ast::Stmt& s) {
  const auto [value, column] = EvaluateTyped(*s.value, "WAITFOR");
  std::optional<std::chrono::milliseconds> time;
  if (value.type() == com::VarType::kDate) {
    const com::CivilTime t = com::CivilFromOleDate(value.real());
    time = std::chrono::milliseconds(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond);
  } else if (value.IsText()) {
    time = WaitTime(value.text());
    if (!time) throw SqlErr(kWaitforTime, "Incorrect time syntax in time string '" + value.text() + "' used with WAITFOR.");
  } else {
    throw SqlErr(202, "Invalid type '" + TypeNameOf(column) +
                          "' for WAITFOR. Supported data types are CHAR/VARCHAR, NCHAR/NVARCHAR, and DATETIME. WAITFOR "
                          "DELAY supports the INT and SMALLINT data types.");
  }
  const auto now = std::chrono::system_clock::now();
  std::chrono::system_clock::time_point until = now + *time;
  if (s.option == "TIME") {
    // The next time the clock shows that time of day.
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    port::LocalTime(seconds, &local);
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    until = std::chrono::system_clock::from_time_t(std::mktime(&local)) + *time;
    if (until <= now) until += std::chrono::hours(24);
  }
  std::unique_lock<std::mutex> lock(interrupt_mutex_);
  wake_.wait_until(lock, until, [&] { return interrupted_.load(); });
  if (interrupted_) throw SqlErr(kErrCancelled, "The query was cancelled.");
}

// ------------------------------------------------------------ USE

void EngineCore::RunUse(const ast::Stmt& s, std::string_view text, BatchOutput* output) {
  const std::string& name = s.option;
  std::optional<std::string> file;
  std::string canonical = name;
  if (server_) {  // a database file on its own knows only itself
    file = server_->DatabaseFile(name);
    for (const DatabaseEntry& d : server_->Databases()) {
      if (com::SameName(d.name, name)) canonical = d.name;
    }
  }
  if (!file && com::SameName(name, state_.database)) {
    file = db_->path();
    canonical = state_.database;
  }
  if (!file) {
    throw SqlErr(kDatabaseNotFound, "Database '" + name + "' does not exist. Make sure that the name is entered correctly.");
  }
  if (canonical != state_.database || *file != db_->path()) {
    if (state_.trancount > 0 || db_->InTransaction()) {
      throw SqlErr(kNotSupported, "USE cannot change the database while a transaction is open on the embedded server; "
                                  "commit or roll it back first.");
    }
    if (!catalog_->TemporaryTables().empty() || catalog_->HasTemporaryProcedures()) {
      throw SqlErr(kNotSupported, "USE cannot change the database while the session has temporary tables or "
                                  "procedures on the embedded server, which live in its database's file; drop them "
                                  "first.");
    }
    Open(*file, canonical);
    identity_insert_.reset();
    savepoints_.clear();
  }
  BatchMessage message;
  message.text = "Changed database context to '" + canonical + "'.";
  message.number = 5701;
  message.database = canonical;
  AddMessage(output, std::move(message), text, s.offset);
}

}  // namespace sqlsrv
