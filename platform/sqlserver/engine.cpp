// Engine and its core: opening a database, running batches statement by
// statement, stored procedures, and the names statements refer to.
#include "platform/sqlserver/engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "platform/sqlserver/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/parser.h"
#include "platform/sqlserver/result_values.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/system_views.h"

namespace sqlsrv {
namespace {

constexpr int kMaxNesting = 32;

// Whether the server holding a database file (the folder the file is in)
// has a database of this name.
bool ServerHasDatabase(const std::string& file, const std::string& name) {
  try {
    Server server(std::filesystem::path(file).parent_path().string());
    return server.DatabaseFile(name).has_value();
  } catch (const com::Error&) {
    return false;  // a database file outside a server folder
  }
}

bool Writes(ast::StmtKind k) {
  using K = ast::StmtKind;
  return k == K::kInsert || k == K::kUpdate || k == K::kDelete || k == K::kCreateTable || k == K::kDropTable ||
         k == K::kCreateProcedure || k == K::kDropProcedure || k == K::kExecute || k == K::kTruncate;
}

}  // namespace

// ------------------------------------------------------------ Engine

Engine::Engine(const std::string& file, std::string database, std::string login, std::string host)
    : core_(std::make_unique<EngineCore>(file, std::move(database), std::move(login), std::move(host))) {}

Engine::~Engine() = default;

void Engine::Execute(std::string_view script, BatchOutput* output) { core_->Execute(script, output); }
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
const std::string& Engine::database() const { return core_->database(); }

// ------------------------------------------------------------ core

EngineCore::EngineCore(const std::string& file, std::string database, std::string login, std::string host)
    : db_(file, false), catalog_(db_) {
  functions_.login = login;
  functions_.host = host.empty() ? "KORVEL" : host;
  functions_.database = database;
  functions_.database_exists = [file](const std::string& name) { return ServerHasDatabase(file, name); };
  RegisterFunctions(db_.get(), &functions_);
  db_.WatchCancel(&interrupted_);
  db_.Exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL;");
  db_.SetDatabaseName(database);
  state_.database = std::move(database);
  state_.login = std::move(login);
  state_.host = functions_.host;
  catalog_.Refresh();
}

EngineCore::~EngineCore() {
  if (db_.InTransaction()) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  EndLoadJournal();
}

std::vector<std::string> Engine::CheckDatabaseFile(const std::string& file) {
  Db db(file, false);
  FunctionContext context;  // the collation the tables were made with
  RegisterFunctions(db.get(), &context);
  std::vector<std::string> problems;
  {
    Stmt check(db, "PRAGMA integrity_check");
    while (check.Step()) {
      if (check.Text(0) != "ok") problems.emplace_back(check.Text(0));
    }
  }
  Stmt keys(db, "PRAGMA foreign_key_check");
  while (keys.Step()) {
    problems.push_back("table " + std::string(keys.Text(0)) + ", row " + std::to_string(keys.Int(1)) +
                       ": no row in " + std::string(keys.Text(2)) + " that it refers to");
  }
  if (problems.empty()) problems.emplace_back("ok");
  return problems;
}

void Engine::InitializeDatabase(const std::string& file) {
  Db db(file, true);
  FunctionContext fc;
  RegisterFunctions(db.get(), &fc);
  db.Exec("PRAGMA journal_mode = WAL;");
  db.Exec("BEGIN");
  Catalog::Install(db);
  db.Exec("COMMIT");
}

const TableMeta& EngineCore::ResolveTable(const ast::ObjectName& name) {
  if (!name.database.empty() && !SameName(name.database, state_.database) &&
      !(IsTemporaryName(name.object) && SameName(name.database, kTempDatabase))) {
    throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  }
  if (!name.schema.empty() && !SameName(name.schema, "dbo")) {
    throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  }
  const TableMeta* t = catalog_.FindTable(name.object);
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
  if (SameName(name.object, "sysobjects")) throw SqlErr(259, "Ad hoc updates to system catalogs are not enabled.");
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
  const TableMeta& t = ResolveTable(name);
  db_.SetTableWritten(t.name);
  return t;
}

namespace {

// The line of `offset` in `text`, counting from 1.
int LineAt(std::string_view text, std::size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                                          std::min(offset, text.size())),
                                         '\n'));
}

// Notes where a batch stopped, once: the innermost statement first.
void NoteError(BatchOutput* output, std::string_view text, std::size_t offset, const std::string& procedure) {
  if (!output || output->error_line != 0) return;
  output->error_line = LineAt(text, offset);
  output->error_procedure = procedure;
}

}  // namespace

void EngineCore::Execute(std::string_view script, BatchOutput* output) {
  interrupted_ = false;
  last_end_ = TransactionEnd::kNone;
  // What the session's state says at the end, however the batch ends.
  struct Report {
    BatchOutput* output;
    const SessionState& state;
    const TransactionEnd& end;
    ~Report() {
      if (!output) return;
      output->nocount = state.nocount;
      output->transaction_end = end;
    }
  } report{output, state_, last_end_};
  for (const std::string& batch : SplitBatches(script)) RunBatch(batch, output);
}

void EngineCore::Interrupt() {
  interrupted_ = true;
  sqlite3_interrupt(db_.get());
}

void EngineCore::RunBatch(std::string_view batch, BatchOutput* output) {
  catalog_.Refresh();
  std::vector<ast::StmtPtr> statements;
  try {
    statements = ParseBatch(batch);
  } catch (const com::Error&) {
    NoteError(output, batch, 0, "");
    throw;
  }
  for (auto& s : statements) {
    try {
      Run(*s, batch, output);
    } catch (const com::Error& e) {
      NoteError(output, batch, s->offset, "");
      // An interrupt ends a wait for a lock as a time-out would.
      if (interrupted_ && e.number() == kLockTimeout) throw SqlErr(kErrCancelled, "The query was cancelled.");
      if (IsSqliteNestingLimit(e)) throw NestedTooDeeplyError();
      throw;
    }
  }
}

void EngineCore::Run(ast::Stmt& s, std::string_view batch, BatchOutput* output) {
  using K = ast::StmtKind;
  if (interrupted_) throw SqlErr(kErrCancelled, "The query was cancelled.");
  catalog_.Refresh();
  switch (s.kind) {
    case K::kBeginTran:
      BeginTransaction();
      return;
    case K::kCommit:
      Commit();
      return;
    case K::kRollback:
      Rollback();
      return;
    case K::kSetOption:
      if (s.option == "FMTONLY") state_.fmtonly = s.on;
      if (s.option == "NOCOUNT") state_.nocount = s.on;
      if (s.option == "LOCK_TIMEOUT") {
        // Any negative value waits without limit, as -1 does.
        state_.lock_timeout = static_cast<int>(std::clamp<std::int64_t>(s.number, -1, INT_MAX));
        db_.SetLockTimeout(state_.lock_timeout);
      }
      return;
    case K::kSelect:
      RunSelect(s, output);
      return;
    case K::kPrint: {
      Translator tr(catalog_, state_);
      const ast::Expr* e = s.print.get();
      TranslatedSelect t = tr.Constants({e});
      Stmt st(db_, t.sql);
      if (st.Step() && output) output->messages.push_back(DecodeValue(st.get(), 0, t.columns[0]).ToText());
      return;
    }
    case K::kIf: {
      Translator tr(catalog_, state_);
      Stmt cond(db_, tr.Condition(*s.condition));
      const int rc = cond.StepRaw();
      if (rc != SQLITE_ROW) throw StepError(rc, "IF", nullptr);
      const bool yes = cond.Int(0) != 0;
      cond = Stmt();
      for (auto& inner : yes ? s.then_block : s.else_block) Run(*inner, batch, output);
      return;
    }
    case K::kBlock:
      for (auto& inner : s.then_block) Run(*inner, batch, output);
      return;
    case K::kSetIdentityInsert:
      RunSetIdentityInsert(s);
      return;
    default:
      break;
  }
  if (s.kind == K::kCreateTable || s.kind == K::kDropTable || s.kind == K::kCreateProcedure ||
      s.kind == K::kDropProcedure) {
    db_.SetTableWritten("sysobjects");  // what a failure to find room names
  }
  Frame frame(*this, Writes(s.kind));
  switch (s.kind) {
    case K::kInsert: RunInsert(s); break;
    case K::kUpdate: RunUpdate(s); break;
    case K::kDelete: RunDelete(s); break;
    case K::kCreateTable: RunCreateTable(s, batch); break;
    case K::kDropTable: RunDropTable(s); break;
    case K::kCreateProcedure: RunCreateProcedure(s); break;
    case K::kDropProcedure: RunDropProcedure(s); break;
    case K::kExecute: RunExecute(s, output); break;
    case K::kTruncate: RunTruncate(s); break;
    default: break;
  }
  frame.Done();
  if (output && (s.kind == K::kInsert || s.kind == K::kUpdate || s.kind == K::kDelete)) {
    const TableMeta* table = catalog_.FindTable(s.object.object);
    output->affected.push_back({s.kind == K::kInsert ? "INSERT" : s.kind == K::kUpdate ? "UPDATE" : "DELETE",
                                table ? table->name : s.object.object, state_.rowcount});
    output->order.push_back({BatchOutput::Outcome::kCount, output->affected.size() - 1});
  }
}

void EngineCore::RunExecute(const ast::Stmt& s, BatchOutput* output) {
  const ProcedureMeta* p = catalog_.FindProcedure(s.object.object);
  if (!p || (!s.object.database.empty() && !SameName(s.object.database, state_.database))) {
    throw SqlErr(kNoProcedure, "Could not find stored procedure '" + s.object.Display() + "'.");
  }
  if (exec_depth_ >= kMaxNesting) {
    throw SqlErr(217, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
  }
  const std::string text = p->text;  // the catalog may change while the body runs
  const std::string name = p->name;
  auto create = ParseBatch(text);
  const std::string body = create.at(0)->body;
  auto statements = ParseBatch(body);
  std::vector<std::int64_t> temporary_before;
  for (const TableMeta* t : catalog_.TemporaryTables()) temporary_before.push_back(t->id);
  ++exec_depth_;
  struct Depth {
    int& d;
    ~Depth() { --d; }
  } depth{exec_depth_};
  for (auto& st : statements) {
    try {
      Run(*st, body, output);
    } catch (const com::Error&) {
      NoteError(output, body, st->offset, name);
      throw;
    }
  }
  // The temporary tables a procedure made end with it (a failed one's are
  // undone with the rest of its work).
  catalog_.Refresh();
  std::vector<std::pair<std::int64_t, std::string>> made;
  for (const TableMeta* t : catalog_.TemporaryTables()) {
    if (std::find(temporary_before.begin(), temporary_before.end(), t->id) == temporary_before.end()) {
      made.emplace_back(t->id, t->name);
    }
  }
  for (const auto& [id, table] : made) {
    db_.Exec("DROP TABLE temp." + QuoteSqlite(table));
    catalog_.RemoveObject(id);
    if (identity_insert_ && *identity_insert_ == id) identity_insert_.reset();
  }
  catalog_.Refresh();
}

}  // namespace sqlsrv
