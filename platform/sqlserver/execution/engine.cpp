// Engine and its core: opening a database, running batches statement by
// statement, stored procedures, and the names statements refer to.
#include "platform/sqlserver/engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/port/files.h"
#include "platform/sqlserver/catalog/catalog_procedures.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/execution/result_values.h"
#include "platform/sqlserver/server_directory.h"
#include "platform/sqlserver/catalog/system_views.h"

namespace sqlsrv {
namespace {

// How deeply procedures (and sp_executesql) nest, and the most arguments a
// call takes, as on SQL Server.
constexpr int kMaxNesting = 32;
constexpr std::size_t kMaxArguments = 2100;

bool Writes(ast::StmtKind k) {
  using K = ast::StmtKind;
  return k == K::kInsert || k == K::kUpdate || k == K::kDelete || k == K::kCreateTable || k == K::kDropTable ||
         k == K::kCreateProcedure || k == K::kDropProcedure || k == K::kExecute || k == K::kExecuteString ||
         k == K::kTruncate || k == K::kCreateView || k == K::kAlterView || k == K::kDropView || k == K::kCreateIndex ||
         k == K::kDropIndex || k == K::kSelect;
}

}  // namespace

// ------------------------------------------------------------ Engine

Engine::Engine(const std::string& file, std::string database, std::string login, std::string host,
               std::shared_ptr<const ServerDirectory> server)
    : core_(std::make_unique<EngineCore>(file, std::move(database), std::move(login), std::move(host),
                                         std::move(server))) {}

Engine::~Engine() = default;

void Engine::Execute(std::string_view script, BatchOutput* output) { core_->Execute(script, output); }
int Engine::Call(std::string_view name, std::vector<Argument>& arguments, BatchOutput* output) {
  return core_->Call(name, arguments, output);
}
void Engine::Interrupt() { core_->Interrupt(); }

std::unique_ptr<dts::RowReader> Engine::Query(std::string_view select) { return core_->Query(select); }

std::vector<dts::ColumnInfo> Engine::DescribeTable(std::string_view object_name) {
  return core_->DescribeTable(object_name);
}

std::unique_ptr<dts::BulkWriter> Engine::OpenBulkLoad(std::string_view object_name, const std::vector<std::string>& columns,
                                                      const dts::BulkLoadOptions& options, bool nulls_take_defaults) {
  return core_->OpenBulkLoad(object_name, columns, options, nulls_take_defaults);
}

void Engine::BeginTransaction() { core_->BeginTransaction(); }
void Engine::BeginLoadTransaction() { core_->BeginLoadTransaction(); }
void Engine::Commit() { core_->Commit(); }
void Engine::Rollback() { core_->Rollback(); }
int Engine::trancount() const { return core_->trancount(); }
void Engine::set_session_id(int id) { core_->set_session_id(id); }
const std::string& Engine::database() const { return core_->database(); }

// ------------------------------------------------------------ core

EngineCore::EngineCore(const std::string& file, std::string database, std::string login, std::string host,
                       std::shared_ptr<const ServerDirectory> server)
    : server_(std::move(server)) {
  functions_.login = login;
  functions_.host = host.empty() ? "KORVEL" : host;
  state_.login = std::move(login);
  state_.host = functions_.host;
  Open(file, database);
}

void EngineCore::Open(const std::string& file, const std::string& database) {
  auto db = std::make_unique<Db>(file, false);
  functions_.database = database;
  if (server_) {
    functions_.database_exists = [server = server_](const std::string& name) {
      return server->DatabaseFile(name).has_value();
    };
  }
  RegisterFunctions(db->get(), &functions_);
  RegisterRowSource(db->get());
  db->WatchCancel(&interrupted_);
  db->Exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL;");
  db->SetDatabaseName(database);
  if (db_) db->SetLockTimeout(db_->lock_timeout());  // the session's, after a USE
  auto catalog = std::make_unique<Catalog>(*db, server_.get());
  catalog->Refresh();
  {
    // The old catalog refers to the old connection: it goes first.
    const std::lock_guard<std::mutex> lock(interrupt_mutex_);
    catalog_ = std::move(catalog);
    db_ = std::move(db);
  }
  state_.database = database;
}

EngineCore::~EngineCore() {
  if (db_->InTransaction()) sqlite3_exec(db_->get(), "ROLLBACK", nullptr, nullptr, nullptr);
  EndLoadJournal();
}

std::vector<std::string> Engine::CheckDatabaseFile(const std::string& file) {
  Db db(file, false);
  FunctionContext context;  // the collation the tables were made with
  RegisterFunctions(db.get(), &context);
  std::vector<std::string> problems;
  {
    Prepared check(db, "PRAGMA integrity_check");
    while (check.Step()) {
      if (check.Text(0) != "ok") problems.emplace_back(check.Text(0));
    }
  }
  Prepared keys(db, "PRAGMA foreign_key_check");
  while (keys.Step()) {
    problems.push_back("table " + std::string(keys.Text(0)) + ", row " + std::to_string(keys.Int(1)) +
                       ": no row in " + std::string(keys.Text(2)) + " that it refers to");
  }
  if (problems.empty()) problems.emplace_back("ok");
  return problems;
}

const TableMeta& EngineCore::ResolveTable(const ast::ObjectName& name) {
  CheckTableQualifiers(name, state_.database);
  const TableMeta* t = catalog_->FindTable(name.object);
  if (!t) throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  return *t;
}

std::vector<int> EngineCore::ResolveColumns(const TableMeta& t, const std::vector<std::string>& names) {
  std::vector<int> out;
  for (const auto& name : names) {
    const int i = t.Find(name);
    if (i < 0) throw SqlErr(kInvalidColumn, "Invalid column name '" + name + "'.");
    if (std::find(out.begin(), out.end(), i) != out.end()) {
      throw SqlErr(264, "Column name '" + name + "' appears more than once in the result column list.");
    }
    out.push_back(i);
  }
  return out;
}

const TableMeta& EngineCore::WritableTable(const ast::ObjectName& name, ast::StmtKind kind) {
  if (SameName(name.object, "sysobjects") ||
      (!InInformationSchema(name) && SystemViewExists(name, state_.database))) {
    throw SqlErr(259, "Ad hoc updates to system catalogs are not enabled.");
  }
  if (InInformationSchema(name) && SystemViewExists(name, state_.database)) {
    const std::string view = name.Display();
    switch (kind) {
      case ast::StmtKind::kDelete:
        throw SqlErr(kViewMultipleTables, "View or function '" + view +
                                              "' is not updatable because the modification affects multiple base tables.");
      case ast::StmtKind::kTruncate:
        throw SqlErr(kNotATable, "Could not truncate object '" + view + "' because it is not a table.");
      default:
        throw SqlErr(kViewNotUpdatable, "Update or insert of view or function '" + view +
                                            "' failed because it contains a derived or constant field.");
    }
  }
  if (!IsTemporaryName(name.object) && catalog_->FindView(name.object)) {
    throw SqlErr(kNotSupported, "Changing rows through a view ('" + name.Display() +
                                    "') is not supported by the embedded server; change the rows of its table.");
  }
  const TableMeta& t = ResolveTable(name);
  db_->SetTableWritten(t.name);
  return t;
}

namespace {

// Fills in what the session's state says at the end of a batch or call,
// however it ends.
class EndReport {
 public:
  EndReport(BatchOutput* output, const TransactionEnd& end) : output_(output), end_(end) {}
  ~EndReport() {
    if (output_) output_->transaction_end = end_;
  }
  EndReport(const EndReport&) = delete;
  EndReport& operator=(const EndReport&) = delete;

 private:
  BatchOutput* output_;
  const TransactionEnd& end_;
};

// Whether a name denotes sp_executesql: bare, or in schema sys or dbo of
// master or of any database, as SQL Server finds it from every database.
bool IsExecuteSql(const ast::ObjectName& name) {
  return SameName(name.object, "sp_executesql") &&
         (name.schema.empty() || SameName(name.schema, "sys") || SameName(name.schema, "dbo"));
}

// The type sp_executesql's statement and parameter list take.
const ColumnType kNText{SqlType::kNText, -1};

// Whether an argument's type, as the caller wrote it, is non-Unicode text,
// which sp_executesql refuses for its statement and parameter list.
bool IsSingleByteText(const std::string& type) { return type == "varchar" || type == "char" || type == "text"; }

}  // namespace

com::Error EngineCore::Outermost(const com::Error& e) const {
  // An interrupt ends a wait for a lock as a time-out would.
  if (interrupted_ && e.number() == kLockTimeout) return SqlErr(kErrCancelled, "The query was cancelled.");
  if (IsSqliteNestingLimit(e)) return NestedTooDeeplyError();
  return e;
}

void EngineCore::Execute(std::string_view script, BatchOutput* output) {
  interrupted_ = false;
  last_end_ = TransactionEnd::kNone;
  const EndReport report(output, last_end_);
  for (const std::string& batch : SplitBatches(script)) RunBatch(batch, output);
}

int EngineCore::Call(std::string_view name, std::vector<Argument>& arguments, BatchOutput* output) {
  interrupted_ = false;
  last_end_ = TransactionEnd::kNone;
  const EndReport report(output, last_end_);
  raised_ = Raised();
  deferred_.reset();
  // Arguments given as text become dates in the session's DATEFORMAT order.
  const dts::DateOrderScope date_order(state_.options.dateformat);
  int status = 0;
  try {
    catalog_->Refresh();
    if (arguments.size() > kMaxArguments) {
      throw SqlErr(kTooManyRequestParameters,
                   "The incoming request has too many parameters. The server supports a maximum of " +
                       std::to_string(kMaxArguments) + " parameters. Reduce the number of parameters and resend the request.");
    }
    ast::ObjectName object;
    try {
      object = ParseObjectName(name);
    } catch (const com::Error&) {
      throw SqlErr(kNoProcedure, "Could not find stored procedure '" + std::string(name) + "'.");
    }
    // The call is one statement; a procedure an error ended keeps what its
    // statements before it did, as EXECUTE's does.
    Frame frame(*this, true);
    try {
      status = CallProcedure(object, arguments, {}, output);
    } catch (const com::Error& e) {
      if (KeepsWorkBefore(e)) frame.KeepQuietly();
      throw;
    }
    scope_error_ = 0;  // sent already, raised at the end
    frame.Done();
    if (output) output->return_status = status;
    EndDoomedTransaction(output);
  } catch (const com::Error& e) {
    const com::Error error = Outermost(e);
    EndAbortedTransaction();
    ReportFailure(output, error);
    throw error;
  }
  RaiseDeferred(output);
  return status;
}

void EngineCore::Interrupt() {
  // The connection stays while USE would replace it; a WAITFOR wakes at
  // once.
  const std::lock_guard<std::mutex> lock(interrupt_mutex_);
  interrupted_ = true;
  sqlite3_interrupt(db_->get());
  wake_.notify_all();
}

EngineCore::EnterScope::EnterScope(EngineCore& e, Scope* scope) : e_(e), outer_(e.scope_) {
  e_.scope_ = scope;
  e_.state_.variables = &scope->variables;
}

EngineCore::EnterScope::~EnterScope() {
  e_.scope_ = outer_;
  e_.state_.variables = outer_ ? &outer_->variables : nullptr;
}

VariableStore& EngineCore::Variables(const std::string& name) {
  if (!scope_) throw UndeclaredVariableError(name);
  return scope_->variables;
}

void EngineCore::RunBatch(std::string_view batch, BatchOutput* output) {
  raised_ = Raised();
  deferred_.reset();
  std::vector<ast::StmtPtr> statements;
  Scope scope;
  try {
    catalog_->Refresh();
    statements = ParseBatch(batch, state_.options.quoted_identifier);
    DeclareVariables(statements, &scope.variables);
  } catch (const com::Error& e) {
    NoteRaised(e, batch, 0);
    ReportFailure(output, e);
    throw;
  }
  const EnterScope enter(*this, &scope);
  try {
    RunStatements(statements, batch, output);
    EndDoomedTransaction(output);
  } catch (const com::Error& e) {
    const com::Error error = Outermost(e);
    EndAbortedTransaction();
    ReportFailure(output, error);
    throw error;
  }
  RaiseDeferred(output);
}

bool EngineCore::RunStatements(std::vector<ast::StmtPtr>& statements, std::string_view text, BatchOutput* output) {
  return RunBlock(statements, text, output) != Flow::kReturn;
}

EngineCore::Flow EngineCore::RunBlock(std::vector<ast::StmtPtr>& statements, std::string_view text,
                                      BatchOutput* output) {
  for (auto& s : statements) {
    Flow flow = Flow::kNext;
    try {
      flow = Run(*s, text, output);
    } catch (const com::Error& e) {
      // An error that ends its statement alone is sent; the next runs.
      const com::Error error = Outermost(e);
      if (!EndsOnly(error, ErrorReach::kStatement)) {
        if (error.number() == e.number()) throw;
        throw error;
      }
      SendError(error, output);
      EndStatement(*s, output, true);
    }
    if (flow != Flow::kNext) return flow;
  }
  return Flow::kNext;
}

EngineCore::Flow EngineCore::Run(ast::Stmt& s, std::string_view text, BatchOutput* output) {
  try {
    return RunStatement(s, text, output);
  } catch (const com::Error& e) {
    NoteRaised(e, text, s.offset);
    throw;
  }
}

EngineCore::Flow EngineCore::RunStatement(ast::Stmt& s, std::string_view text, BatchOutput* output) {
  using K = ast::StmtKind;
  if (interrupted_) throw SqlErr(kErrCancelled, "The query was cancelled.");
  // Text becomes a date in the session's SET DATEFORMAT order.
  const dts::DateOrderScope date_order(state_.options.dateformat);
  scope_error_ = 0;
  catalog_->Refresh();
  state_.xact_state = state_.trancount == 0 ? 0 : TransactionLost() ? -1 : 1;
  // Control of flow first: these set @@ERROR by the statements they run.
  switch (s.kind) {
    case K::kReturn:
      RunReturn(s, text, output);
      return Flow::kReturn;
    case K::kIf: {
      const bool yes = Holds(*s.condition, "IF");
      return RunBlock(yes ? s.then_block : s.else_block, text, output);
    }
    case K::kBlock:
      return RunBlock(s.then_block, text, output);
    case K::kWhile:
      return RunWhile(s, text, output);
    case K::kBreak:
      return Flow::kBreak;
    case K::kContinue:
      return Flow::kContinue;
    case K::kTry:
      return RunTry(s, text, output);
    case K::kRaiserror:
      EndStatement(s, output, RunRaiserror(s, text, output));
      return Flow::kNext;
    case K::kThrow:
      RunThrow(s);
    default:
      break;
  }
  switch (s.kind) {
    case K::kBeginTran:
      if (state_.trancount == 0) transaction_name_ = s.option;
      BeginTransaction();
      break;
    case K::kCommit:
      Commit();
      break;
    case K::kRollback:
      if (s.option.empty() || s.option == transaction_name_) {
        Rollback();
      } else {
        RollbackToSavepoint(s.option);
      }
      break;
    case K::kSaveTran:
      SaveTransaction(s.option);
      break;
    case K::kSetOption:
      RunSetOption(s);
      break;
    case K::kSelect:
      if (!s.select->into.object.empty()) {
        RunWriting(s, text, output);
      } else if (!s.select->items.empty() && !s.select->items.front().variable.empty()) {
        RunSelectAssign(s);
      } else {
        RunSelect(s, output);
      }
      break;
    case K::kPrint: {
      BatchMessage message;
      message.text = PrintText(*s.print);
      AddMessage(output, std::move(message), text, s.offset);
      break;
    }
    case K::kDeclare:
      RunDeclare(s);
      break;
    case K::kSetVariable:
      RunSetVariable(s);
      break;
    case K::kWaitfor:
      RunWaitfor(s);
      break;
    case K::kUse:
      RunUse(s, text, output);
      break;
    case K::kSetIdentityInsert:
      RunSetIdentityInsert(s);
      break;
    default:
      RunWriting(s, text, output);
      break;
  }
  // A procedure (or dynamic SQL) the statement ran may have ended at an
  // error of its own scope, sent already: the statement failed with it.
  state_.error = std::exchange(scope_error_, 0);
  EndStatement(s, output, state_.error != 0);
  return Flow::kNext;
}

void EngineCore::RunWriting(ast::Stmt& s, std::string_view text, BatchOutput* output) {
  using K = ast::StmtKind;
  // SET FMTONLY ON: a statement is described, not run, so nothing changes;
  // a procedure runs to describe the results of its queries.
  if (state_.fmtonly && s.kind != K::kExecute && s.kind != K::kExecuteString) {
    state_.rowcount = 0;
    return;
  }
  if (s.kind == K::kCreateTable || s.kind == K::kDropTable || s.kind == K::kCreateProcedure ||
      s.kind == K::kDropProcedure || s.kind == K::kCreateView || s.kind == K::kAlterView || s.kind == K::kDropView ||
      s.kind == K::kCreateIndex || s.kind == K::kDropIndex || s.kind == K::kSelect) {
    db_->SetTableWritten("sysobjects");  // what a failure to find room names
  }
  Frame frame(*this, Writes(s.kind));
  try {
    switch (s.kind) {
      case K::kInsert: RunInsert(s); break;
      case K::kUpdate: RunUpdate(s); break;
      case K::kDelete: RunDelete(s); break;
      case K::kCreateTable: RunCreateTable(s, text); break;
      case K::kDropTable: RunDropTable(s); break;
      case K::kCreateProcedure: RunCreateProcedure(s); break;
      case K::kDropProcedure: RunDropProcedure(s); break;
      case K::kExecute: RunExecute(s, output); break;
      case K::kExecuteString: RunExecuteString(s, output); break;
      case K::kTruncate: RunTruncate(s); break;
      case K::kCreateView: case K::kAlterView: RunCreateView(s); break;
      case K::kDropView: RunDropView(s); break;
      case K::kCreateIndex: RunCreateIndex(s, text); break;
      case K::kDropIndex: RunDropIndex(s); break;
      case K::kSelect: RunSelectInto(s); break;
      default: break;
    }
  } catch (const com::Error& e) {
    // A procedure or dynamic SQL the error ended keeps what its statements
    // before it did; its failing statement undid its own part.
    if ((s.kind == K::kExecute || s.kind == K::kExecuteString) && KeepsWorkBefore(e)) frame.KeepQuietly();
    throw;
  }
  frame.Done();
  if (output && (s.kind == K::kInsert || s.kind == K::kUpdate || s.kind == K::kDelete)) {
    const TableMeta* table = catalog_->FindTable(s.object.object);
    output->affected.push_back({s.kind == K::kInsert ? "INSERT" : s.kind == K::kUpdate ? "UPDATE" : "DELETE",
                                table ? table->name : s.object.object, state_.rowcount});
    output->order.push_back({BatchOutput::Outcome::kCount, output->affected.size() - 1});
  }
}

void EngineCore::DropTemporaryTablesSince(const std::vector<std::int64_t>& before) {
  catalog_->Refresh();
  std::vector<std::pair<std::int64_t, std::string>> made;
  for (const TableMeta* t : catalog_->TemporaryTables()) {
    if (std::find(before.begin(), before.end(), t->id) == before.end()) made.emplace_back(t->id, t->name);
  }
  for (const auto& [id, table] : made) {
    db_->Exec("DROP TABLE temp." + QuoteSqlite(table));
    catalog_->RemoveObject(id);
    if (identity_insert_ && *identity_insert_ == id) identity_insert_.reset();
  }
  catalog_->Refresh();
}

// ------------------------------------------------------------ variables

com::Variant EngineCore::Evaluate(const ast::Expr& e, const char* operation) {
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Constants({&e});
  Prepared st(*db_, t.sql);
  const int rc = st.StepRaw();
  if (rc != SQLITE_ROW) throw StepError(rc, operation, nullptr);
  return DecodeValue(st.get(), 0, t.columns[0]);
}

void EngineCore::AssignVariable(const std::string& name, const ast::Expr& e, const char* operation) {
  VariableStore& store = Variables(name);
  const VariableStore::Variable* variable = store.Find(name);
  if (!variable) throw UndeclaredVariableError(name);
  const ColumnType type = variable->type;
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Constants({&e}, {type});
  Prepared st(*db_, t.sql);
  const int rc = st.StepRaw();
  if (rc != SQLITE_ROW) throw StepError(rc, operation, nullptr);
  if (type.type == SqlType::kSqlVariant) return store.Set(name, RawStored(st.get(), 0));
  store.Assign(name, DecodeValue(st.get(), 0, t.columns[0]));
}

void EngineCore::RunDeclare(const ast::Stmt& s) {
  // Each initial value is assigned in turn, so that a later one may read
  // an earlier variable.
  for (const auto& d : s.variables) {
    if (d.value) AssignVariable(d.name, *d.value, "DECLARE");
  }
}

void EngineCore::RunSetVariable(const ast::Stmt& s) {
  AssignVariable(s.variable, *s.value, "SET");
  state_.rowcount = 1;
}

void EngineCore::RunReturn(const ast::Stmt& s, std::string_view text, BatchOutput* output) {
  if (!scope_) return;
  if (!s.value) {
    scope_->return_status = 0;
    return;
  }
  const com::Variant v = Evaluate(*s.value, "RETURN");
  if (v.IsNull()) {
    BatchMessage message;
    message.text = "The '" + scope_->procedure +
                   "' procedure attempted to return a status of NULL, which is not allowed. A status of 0 will be "
                   "returned instead.";
    message.number = 282;
    message.severity = SeverityOf(282);
    AddMessage(output, std::move(message), text, s.offset);
    scope_->return_status = 0;
    return;
  }
  Stored status;
  ToStored(v, ColumnType{SqlType::kInt, 0}, &status);
  scope_->return_status = static_cast<int>(status.i);
}

// ------------------------------------------------------------ procedures

void EngineCore::RunExecute(const ast::Stmt& s, BatchOutput* output) {
  if (output && exec_depth_ == 0) output->return_status.reset();  // none for an EXECUTE that fails to call
  std::vector<Argument> arguments(s.arguments.size());
  std::vector<std::string> types(s.arguments.size());
  for (std::size_t i = 0; i < s.arguments.size(); ++i) {
    const ast::ExecArgument& a = s.arguments[i];
    Argument& to = arguments[i];
    to.name = a.name;
    to.output = a.output;
    if (!a.value) {
      to.use_default = true;
    } else if (a.value->kind != ast::ExprKind::kVariable) {
      to.value = ConstantValue(*a.value);
      types[i] = a.value->kind == ast::ExprKind::kString && !a.value->national ? "varchar" : TypeNameOf(to.value);
    } else if (a.value->text.compare(0, 2, "@@") == 0) {
      to.value = Evaluate(*a.value, "EXECUTE");
      types[i] = TypeNameOf(to.value);
    } else {
      const VariableStore::Variable* v = Variables(a.value->text).Find(a.value->text);
      if (!v) throw UndeclaredVariableError(a.value->text);
      to.value = FromStored(v->value, v->type);
      types[i] = TypeNameOf(v->type);
    }
  }
  const int status = CallProcedure(s.object, arguments, types, output);
  // The OUTPUT arguments that met OUTPUT parameters receive their values.
  for (std::size_t i = 0; i < s.arguments.size(); ++i) {
    if (s.arguments[i].output && arguments[i].type) {
      Variables(s.arguments[i].value->text).Assign(s.arguments[i].value->text, arguments[i].value);
    }
  }
  if (!s.variable.empty()) Variables(s.variable).Assign(s.variable, com::Variant::I4(status));
  if (output && exec_depth_ == 0) output->return_status = status;
}

int EngineCore::CallProcedure(const ast::ObjectName& name, std::vector<Argument>& arguments,
                              const std::vector<std::string>& argument_types, BatchOutput* output) {
  if (IsExecuteSql(name)) return ExecuteSql(arguments, argument_types, output);
  const bool here = (name.database.empty() || SameName(name.database, state_.database)) &&
                    (name.schema.empty() || SameName(name.schema, "dbo"));
  if (const ProcedureMeta* p = here ? catalog_->FindProcedure(name.object) : nullptr) {
    const std::string text = p->text;  // the catalog may change while the body runs
    const std::string procedure = p->name;
    auto create = ParseBatch(text);
    ast::Stmt& definition = *create.at(0);
    const std::vector<ProcedureParameter> parameters = ResolveParameters(definition.variables);
    const BoundCall call = BindArguments(procedure, parameters, arguments, argument_types);
    return RunNested(definition.then_block, text, procedure, parameters, call, arguments, output);
  }
  // System procedures (sp_tables, sp_columns, ...), after the database's
  // own, bound as any procedure is. They belong to master and read the
  // database in use.
  const bool system_schema = name.schema.empty() || SameName(name.schema, "dbo") || SameName(name.schema, "sys");
  if (const SystemProcedure* sp = system_schema ? FindSystemProcedure(name.object) : nullptr) {
    if (!name.database.empty() && !SameName(name.database, state_.database) && !SameName(name.database, "master")) {
      throw SqlErr(kNotSupported, "The system procedure '" + name.object + "' reads the database in use; run USE " +
                                      name.database + " first.");
    }
    const BoundCall call = BindArguments(sp->name, sp->parameters, arguments, argument_types);
    std::vector<com::Variant> values;
    values.reserve(call.values.size());
    for (std::size_t i = 0; i < call.values.size(); ++i) values.push_back(FromStored(call.values[i], sp->parameters[i].type));
    BatchOutput discarded;
    const std::size_t first_outcome = output ? output->order.size() : 0;
    const int status = sp->run(values, *catalog_, state_, output ? output : &discarded);
    EndEachResult(output, first_outcome);
    return status;
  }
  throw SqlErr(kNoProcedure, "Could not find stored procedure '" + name.Display() + "'.");
}

int EngineCore::ExecuteSql(std::vector<Argument>& arguments, const std::vector<std::string>& argument_types,
                           BatchOutput* output) {
  // The statement and the parameter list come first, by position or by
  // name; the parameters the list declares follow them.
  // The argument giving `parameter`: the one at `position` when every
  // argument up to it is positional, else the one of its name; -1 if none.
  auto find = [&](std::size_t position, const char* parameter) -> int {
    bool positional = position < arguments.size();
    for (std::size_t i = 0; positional && i <= position; ++i) positional = arguments[i].name.empty();
    if (positional) return static_cast<int>(position);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      if (SameName(arguments[i].name, parameter)) return static_cast<int>(i);
    }
    return -1;
  };
  // The text of the statement or the parameter list given by argument i,
  // "" for none, NULL or DEFAULT; raises 214 for a value that is no
  // Unicode text.
  auto text_of = [&](int i, const char* parameter) -> std::string {
    if (i < 0) return "";
    const Argument& a = arguments[static_cast<std::size_t>(i)];
    if (a.use_default || a.value.IsNull() || a.value.IsEmpty()) return "";
    const auto k = static_cast<std::size_t>(i);
    if (!a.value.IsText() || (k < argument_types.size() && IsSingleByteText(argument_types[k]))) {
      throw SqlErr(kStatementNotUnicode,
                   "Procedure expects parameter '" + std::string(parameter) + "' of type 'ntext/nchar/nvarchar'.");
    }
    return a.value.text();
  };
  const int statement_at = find(0, "@stmt");
  if (statement_at < 0) {
    throw SqlErr(kStatementNotUnicode, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.");
  }
  const std::string statement = text_of(statement_at, "@statement");
  const std::string declared = text_of(find(1, "@params"), "@parameters");
  std::vector<ProcedureParameter> parameters{{"@stmt", kNText, std::nullopt, false},
                                             {"@params", kNText, com::Variant::Null(), false}};
  for (ProcedureParameter& p : ResolveParameters(ParseParameterList(declared))) {
    for (const ProcedureParameter& head : parameters) {
      if (SameName(head.name, p.name)) throw VariableRedeclaredError(p.name);
    }
    parameters.push_back(std::move(p));
  }
  BoundCall call =
      BindArguments("sp_executesql", parameters, arguments, argument_types, [&](const ProcedureParameter& p) {
        return SqlErr(kQueryParameterNotSupplied, "The parameterized query '(" + declared + ")" + statement +
                                                      "' expects the parameter '" + p.name + "', which was not supplied.");
      });
  if (statement.empty()) return 0;
  // The statement sees the parameters its list declares, not @stmt and
  // @params.
  parameters.erase(parameters.begin(), parameters.begin() + 2);
  call.values.erase(call.values.begin(), call.values.begin() + 2);
  call.argument_of.erase(call.argument_of.begin(), call.argument_of.begin() + 2);
  VariableStore checked;
  for (const ProcedureParameter& p : parameters) checked.Declare(p.name, p.type);
  auto statements = ParseNested(statement, &checked);
  RunNested(statements, statement, "", parameters, call, arguments, output);
  return 0;
}

void EngineCore::RunExecuteString(const ast::Stmt& s, BatchOutput* output) {
  // The pieces are joined as they are; a NULL one adds nothing.
  std::string batch;
  for (const auto& piece : s.expressions) {
    const com::Variant v = Evaluate(*piece, "EXECUTE");
    if (!v.IsNull()) batch += v.IsText() ? v.text() : v.ToText();
  }
  VariableStore none;
  auto statements = ParseNested(batch, &none);
  std::vector<Argument> no_arguments;
  RunNested(statements, batch, "", {}, BoundCall{}, no_arguments, output);
}

std::vector<ast::StmtPtr> EngineCore::ParseNested(std::string_view text, VariableStore* variables) {
  try {
    auto statements = ParseBatch(text, state_.options.quoted_identifier);
    DeclareVariables(statements, variables);
    return statements;
  } catch (const com::Error& e) {
    // Raised inside the dynamic SQL, a level below the statement that ran
    // it: a TRY around that statement catches it.
    ++exec_depth_;
    NoteRaised(e, text, 0);
    --exec_depth_;
    throw;
  }
}

int EngineCore::RunNested(std::vector<ast::StmtPtr>& statements, std::string_view text, const std::string& procedure,
                          const std::vector<ProcedureParameter>& parameters, const BoundCall& call,
                          std::vector<Argument>& arguments, BatchOutput* output) {
  if (exec_depth_ >= kMaxNesting) {
    throw SqlErr(kNestingLevel, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit " +
                                    std::to_string(kMaxNesting) + ").");
  }
  Scope scope;
  scope.procedure = procedure;
  for (std::size_t p = 0; p < parameters.size(); ++p) {
    scope.variables.Declare(parameters[p].name, parameters[p].type);
    scope.variables.Set(parameters[p].name, call.values[p]);
  }
  DeclareVariables(statements, &scope.variables);
  std::vector<std::int64_t> temporary_before;
  for (const TableMeta* t : catalog_->TemporaryTables()) temporary_before.push_back(t->id);
  {
    ++exec_depth_;
    state_.nest_level = exec_depth_;
    // The SET options it changes are its own; a procedure runs with
    // ANSI_NULLS and QUOTED_IDENTIFIER as it was made (ON).
    struct Depth {
      EngineCore& e;
      SessionOptions options;
      ~Depth() {
        e.state_.nest_level = --e.exec_depth_;
        e.state_.options = options;
      }
    } depth{*this, state_.options};
    if (!procedure.empty()) state_.options.ansi_nulls = state_.options.quoted_identifier = true;
    const EnterScope enter(*this, &scope);
    try {
      RunStatements(statements, text, output);
    } catch (const com::Error& e) {
      // An error that ends its scope alone ends the procedure here; the
      // caller goes on after the EXECUTE, which failed with it.
      const com::Error error = Outermost(e);
      if (!EndsOnly(error, ErrorReach::kScope)) {
        // Ended further out: the temporary tables it made go with it when
        // its work is kept.
        if (KeepsWorkBefore(error)) {
          try {
            DropTemporaryTablesSince(temporary_before);
          } catch (const com::Error&) {
            // The error that ended it is the one to raise.
          }
        }
        if (error.number() == e.number()) throw;
        throw error;
      }
      SendError(error, output);
      scope_error_ = error.number();
    }
  }
  // The temporary tables a procedure made end with it.
  DropTemporaryTablesSince(temporary_before);
  // The OUTPUT arguments receive their parameters' final values.
  for (std::size_t p = 0; p < parameters.size(); ++p) {
    const int i = call.argument_of[p];
    if (i < 0 || !arguments[static_cast<std::size_t>(i)].output) continue;
    Argument& a = arguments[static_cast<std::size_t>(i)];
    a.value = scope.variables.Value(parameters[p].name);
    a.type = parameters[p].type;
  }
  return scope.return_status.value_or(0);
}

}  // namespace sqlsrv
