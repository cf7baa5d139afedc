#include "platform/sqlserver/engine.h"

#include <algorithm>

#include "platform/dts/oledb.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/parser.h"

namespace sqlsrv {
namespace {

constexpr int kMaxNesting = 32;

std::string QualifiedName(const std::string& database, const std::string& table) {
  return database + ".dbo." + table;
}

bool Writes(ast::StmtKind k) {
  using K = ast::StmtKind;
  return k == K::kInsert || k == K::kUpdate || k == K::kDelete || k == K::kCreateTable || k == K::kDropTable ||
         k == K::kCreateProcedure || k == K::kDropProcedure || k == K::kExecute || k == K::kTruncate;
}

std::uint16_t OleDbTypeOf(const OutputColumn& c) {
  if (c.column) return OleDbType(*c.column);
  switch (c.type) {
    case VT::kBit: case VT::kBool: return dts::DBTYPE_BOOL;
    case VT::kMoney: return dts::DBTYPE_CY;
    case VT::kFloat: case VT::kDecimal: return dts::DBTYPE_R8;
    case VT::kDate: return dts::DBTYPE_DBTIMESTAMP;
    case VT::kString: return dts::DBTYPE_WSTR;
    default: return dts::DBTYPE_I4;
  }
}

void Bind(Stmt& s, int i, const Stored& v) {
  switch (v.kind) {
    case Stored::kNull: s.BindNull(i); break;
    case Stored::kInteger: s.Bind(i, v.i); break;
    case Stored::kReal: s.Bind(i, v.r); break;
    case Stored::kText: s.Bind(i, std::string_view(v.s)); break;
  }
}

// Streams the rows of a prepared SELECT.
class SelectReader final : public dts::RowReader {
 public:
  SelectReader(Engine& engine, TranslatedSelect t) : engine_(engine), out_(std::move(t.columns)), stmt_(engine.db(), t.sql) {
    for (const auto& c : out_) {
      dts::ColumnInfo info;
      info.name = c.name;
      info.type = OleDbTypeOf(c);
      if (c.column && IsCharType(c.column->type)) {
        info.size = c.column->length < 0 ? 0 : static_cast<std::uint32_t>(c.column->length);
        info.is_long = c.column->length < 0;
        info.is_unicode = IsUnicodeType(c.column->type);
      }
      columns_.push_back(std::move(info));
    }
  }
  const std::vector<dts::ColumnInfo>& columns() const override { return columns_; }
  bool Next(dts::Row& row) override {
    const int rc = stmt_.StepRaw();
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) throw engine_.StepError(rc, "SELECT", nullptr);
    row.resize(out_.size());
    for (std::size_t i = 0; i < out_.size(); ++i) row[i] = DecodeValue(stmt_.get(), static_cast<int>(i), out_[i]);
    return true;
  }

 private:
  Engine& engine_;
  std::vector<OutputColumn> out_;
  std::vector<dts::ColumnInfo> columns_;
  Stmt stmt_;
};

}  // namespace

// ------------------------------------------------------------ frames

Engine::Frame::Frame(Engine& e, bool writes) : e_(e), trancount_(e.state_.trancount) {
  if (!e.db_.InTransaction()) {
    e.db_.Exec(writes ? "BEGIN IMMEDIATE" : "BEGIN");
    owns_transaction_ = true;
    ++e.epoch_;
  }
  name_ = "vk_f" + std::to_string(++e.frame_depth_);
  e.db_.Exec("SAVEPOINT " + name_);
  epoch_ = e.epoch_;
}

void Engine::Frame::Done() {
  done_ = true;
  --e_.frame_depth_;
  if (epoch_ != e_.epoch_ || !e_.db_.InTransaction()) return;  // committed or rolled back inside
  e_.db_.Exec("RELEASE " + name_);
  if (owns_transaction_ && e_.state_.trancount == 0) {
    e_.db_.Exec("COMMIT");
    ++e_.epoch_;
  }
}

Engine::Frame::~Frame() {
  if (done_) return;
  --e_.frame_depth_;
  if (epoch_ != e_.epoch_ || !e_.db_.InTransaction()) return;
  try {
    e_.db_.Exec("ROLLBACK TO " + name_);
    e_.db_.Exec("RELEASE " + name_);
    e_.state_.trancount = trancount_;  // a procedure's own BEGIN TRAN is undone with it
    if (owns_transaction_ && e_.state_.trancount == 0) {
      e_.db_.Exec("ROLLBACK");
      ++e_.epoch_;
    }
  } catch (const com::Error&) {
    // The connection is unusable for this transaction; let SQLite end it.
    if (e_.db_.InTransaction()) sqlite3_exec(e_.db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    e_.state_.trancount = 0;
    ++e_.epoch_;
  }
}

// ------------------------------------------------------------ engine

Engine::Engine(const std::string& file, std::string database, std::string login, std::string host)
    : db_(file, false), catalog_(db_) {
  functions_.login = login;
  functions_.host = host.empty() ? "KORVEL" : host;
  RegisterFunctions(db_.get(), &functions_);
  db_.Exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL;");
  state_.database = std::move(database);
  state_.login = std::move(login);
  state_.host = functions_.host;
  catalog_.Refresh();
}

Engine::~Engine() {
  if (db_.InTransaction()) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
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

const TableMeta& Engine::ResolveTable(const ast::ObjectName& name) {
  if (!name.database.empty() && !SameName(name.database, state_.database)) {
    throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  }
  if (!name.schema.empty() && !SameName(name.schema, "dbo")) {
    throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  }
  const TableMeta* t = catalog_.FindTable(name.object);
  if (!t) throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  return *t;
}

std::vector<int> Engine::ResolveColumns(const TableMeta& t, const std::vector<std::string>& names) {
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

const TableMeta& Engine::WritableTable(const ast::ObjectName& name) {
  if (SameName(name.object, "sysobjects")) throw SqlErr(259, "Ad hoc updates to system catalogs are not enabled.");
  return ResolveTable(name);
}

com::Error Engine::StepError(int rc, const std::string& operation, const TableMeta* table) {
  const std::string msg = LastError(db_.get());
  if (auto fe = FunctionError(msg)) return *fe;
  switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_ROWID: {
      std::string kind = "UNIQUE KEY", name = "?";
      if (table) {
        // "UNIQUE constraint failed: T.a, T.b": find the key with those columns.
        std::vector<std::string> cols;
        const auto colon = msg.find(": ");
        std::string rest = colon == std::string::npos ? "" : msg.substr(colon + 2);
        for (std::size_t p = 0; p < rest.size();) {
          const auto comma = rest.find(", ", p);
          const std::string part = rest.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
          const auto dot = part.rfind('.');
          cols.push_back(dot == std::string::npos ? part : part.substr(dot + 1));
          if (comma == std::string::npos) break;
          p = comma + 2;
        }
        for (const auto& k : table->keys) {
          if (k.columns.size() != cols.size()) continue;
          bool same = true;
          for (std::size_t i = 0; i < cols.size(); ++i) {
            same = same && SameName(table->columns[static_cast<std::size_t>(k.columns[i])].name, cols[i]);
          }
          if (same) {
            kind = k.primary ? "PRIMARY KEY" : "UNIQUE KEY";
            name = k.name;
          }
        }
      }
      return SqlErr(kDuplicateKey, "Violation of " + kind + " constraint '" + name +
                                       "'. Cannot insert duplicate key in object '" + (table ? table->name : "?") + "'.");
    }
    case SQLITE_CONSTRAINT_NOTNULL:
      return SqlErr(kNotNull, "Cannot insert the value NULL into a column that does not allow nulls. " + operation + " fails.");
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return SqlErr(kConstraint, operation + " statement conflicted with a FOREIGN KEY constraint" +
                                     (table ? " on table '" + table->name + "'" : std::string()) + ".");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_BUSY_SNAPSHOT:
      return SqlErr(1222, "Lock request time out period exceeded.");
    default:
      return com::Error(kErrStorage, "SQLite", msg);
  }
}

void Engine::Execute(std::string_view script, BatchOutput* output) {
  for (const std::string& batch : SplitBatches(script)) RunBatch(batch, output);
}

void Engine::RunBatch(std::string_view batch, BatchOutput* output) {
  catalog_.Refresh();
  auto statements = ParseBatch(batch);
  for (auto& s : statements) Run(*s, batch, output);
}

void Engine::Run(ast::Stmt& s, std::string_view batch, BatchOutput* output) {
  using K = ast::StmtKind;
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
  }
}

// ------------------------------------------------------------ transactions

void Engine::BeginTransaction() {
  if (state_.trancount == 0 && !db_.InTransaction()) {
    db_.Exec("BEGIN IMMEDIATE");
    ++epoch_;
  }
  ++state_.trancount;
}

void Engine::Commit() {
  if (state_.trancount == 0) {
    throw SqlErr(kCommitNoBegin, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  // The outermost COMMIT commits, also inside a statement (a procedure):
  // the work so far is then committed, as on SQL Server.
  if (--state_.trancount == 0 && db_.InTransaction()) {
    db_.Exec("COMMIT");
    ++epoch_;
  }
}

void Engine::Rollback() {
  if (state_.trancount == 0) {
    throw SqlErr(kRollbackNoBegin, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  }
  state_.trancount = 0;
  if (db_.InTransaction()) {
    db_.Exec("ROLLBACK");
    ++epoch_;
  }
}

// ------------------------------------------------------------ statements

void Engine::RunSelect(const ast::Stmt& s, BatchOutput* output) {
  Translator tr(catalog_, state_);
  TranslatedSelect t = tr.Select(*s.select);
  Stmt st(db_, t.sql);
  ResultSet rs;
  rs.columns = t.columns;
  for (;;) {
    const int rc = st.StepRaw();
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw StepError(rc, "SELECT", nullptr);
    dts::Row row(t.columns.size());
    for (std::size_t i = 0; i < t.columns.size(); ++i) row[i] = DecodeValue(st.get(), static_cast<int>(i), t.columns[i]);
    rs.rows.push_back(std::move(row));
  }
  state_.rowcount = static_cast<std::int64_t>(rs.rows.size());
  if (output) output->results.push_back(std::move(rs));
}

void Engine::RunInsert(ast::Stmt& s) {
  const TableMeta& t = WritableTable(s.object);
  std::vector<int> targets;
  if (s.columns.empty()) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!t.columns[i].identity || (identity_insert_ && *identity_insert_ == t.id)) targets.push_back(static_cast<int>(i));
    }
  } else {
    targets = ResolveColumns(t, s.columns);
  }
  const int identity = t.IdentityColumn();
  const bool explicit_identity = identity >= 0 && std::find(targets.begin(), targets.end(), identity) != targets.end();
  const bool insert_on = identity_insert_ && *identity_insert_ == t.id;
  if (explicit_identity && !insert_on) {
    throw SqlErr(kIdentityInsert, "Cannot insert explicit value for identity column in table '" + t.name +
                                      "' when IDENTITY_INSERT is set to OFF.");
  }
  if (insert_on && identity >= 0 && !explicit_identity) {
    throw SqlErr(545, "Explicit value must be specified for identity column in table '" + t.name +
                          "' when IDENTITY_INSERT is set to ON.");
  }
  if (s.default_values) targets.clear();
  RowInserter inserter(*this, t, targets, explicit_identity);
  Translator tr(catalog_, state_);
  std::vector<com::Variant> values;
  auto check_count = [&](std::size_t n) {
    if (n != targets.size()) {
      throw SqlErr(kColumnCount, "Insert Error: Column name or number of supplied values does not match table definition.");
    }
  };
  if (s.select) {
    TranslatedSelect sel = tr.Select(*s.select);
    check_count(sel.columns.size());
    // Read every source row before writing, so that a table copied into
    // itself is read as it was.
    std::vector<std::vector<com::Variant>> rows;
    {
      Stmt st(db_, sel.sql);
      for (;;) {
        const int rc = st.StepRaw();
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) throw StepError(rc, "INSERT", &t);
        std::vector<com::Variant> r(sel.columns.size());
        for (std::size_t i = 0; i < r.size(); ++i) r[i] = DecodeValue(st.get(), static_cast<int>(i), sel.columns[i]);
        rows.push_back(std::move(r));
      }
    }
    for (const auto& r : rows) inserter.Insert(r);
  } else if (s.default_values) {
    inserter.Insert({});
  } else {
    for (const auto& row : s.values) {
      check_count(row.size());
      std::vector<const ast::Expr*> exprs;
      for (const auto& e : row) exprs.push_back(e.get());
      TranslatedSelect c = tr.Constants(exprs);
      Stmt st(db_, c.sql);
      const int rc = st.StepRaw();
      if (rc != SQLITE_ROW) throw StepError(rc, "INSERT", &t);
      values.assign(exprs.size(), com::Variant());
      for (std::size_t i = 0; i < values.size(); ++i) values[i] = DecodeValue(st.get(), static_cast<int>(i), c.columns[i]);
      inserter.Insert(values);
    }
  }
  inserter.Finish();
  state_.rowcount = inserter.rows();
  if (inserter.last_identity() && identity >= 0 && inserter.rows() > 0) state_.identity = inserter.last_identity();
}

void Engine::RunUpdate(const ast::Stmt& s) {
  const TableMeta& t = WritableTable(s.object);
  std::vector<int> columns;
  std::vector<const ast::Expr*> exprs;
  for (const auto& [name, expr] : s.sets) {
    const int i = t.Find(name);
    if (i < 0) throw SqlErr(kInvalidColumn, "Invalid column name '" + name + "'.");
    if (t.columns[static_cast<std::size_t>(i)].identity) {
      throw SqlErr(kIdentityUpdate, "Cannot update identity column '" + t.columns[static_cast<std::size_t>(i)].name + "'.");
    }
    columns.push_back(i);
    exprs.push_back(expr.get());
  }
  Translator tr(catalog_, state_);
  TranslatedSelect rows = tr.TargetRows(t, s.from, s.where.get(), exprs);
  std::vector<std::pair<std::int64_t, std::vector<Stored>>> changes;
  {
    Stmt st(db_, rows.sql);
    const ValueContext ctx{t.name, ""};
    for (;;) {
      const int rc = st.StepRaw();
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw StepError(rc, "UPDATE", &t);
      std::vector<Stored> values(columns.size());
      for (std::size_t k = 0; k < columns.size(); ++k) {
        const ColumnMeta& c = t.columns[static_cast<std::size_t>(columns[k])];
        ToStored(DecodeValue(st.get(), static_cast<int>(k + 1), rows.columns[k]), c.type, &values[k], ctx);
        if (values[k].kind == Stored::kNull && !c.nullable) {
          throw SqlErr(kNotNull, "Cannot insert the value NULL into column '" + c.name + "', table '" +
                                     QualifiedName(state_.database, t.name) + "'; column does not allow nulls. UPDATE fails.");
        }
      }
      changes.emplace_back(st.Int(0), std::move(values));
    }
  }
  if (!changes.empty()) {
    std::string sql = "UPDATE " + QuoteSqlite(t.name) + " SET ";
    for (std::size_t k = 0; k < columns.size(); ++k) {
      sql += (k ? ", " : "") + QuoteSqlite(t.columns[static_cast<std::size_t>(columns[k])].name) + " = ?";
    }
    sql += " WHERE rowid = ?";
    Stmt up(db_, sql);
    for (const auto& [rowid, values] : changes) {
      for (std::size_t k = 0; k < values.size(); ++k) Bind(up, static_cast<int>(k + 1), values[k]);
      up.Bind(static_cast<int>(values.size() + 1), rowid);
      const int rc = up.StepRaw();
      up.Reset();
      if (rc != SQLITE_DONE) {
        if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) throw SqlErr(kConstraint, "UPDATE statement conflicted with a FOREIGN KEY constraint on table '" + t.name + "' or a table referring to it.");
        throw StepError(rc, "UPDATE", &t);
      }
    }
  }
  state_.rowcount = static_cast<std::int64_t>(changes.size());
}

void Engine::RunDelete(const ast::Stmt& s) {
  const TableMeta& t = WritableTable(s.object);
  std::string sql = "DELETE FROM " + QuoteSqlite(t.name);
  if (s.where || !s.from.empty()) {
    Translator tr(catalog_, state_);
    TranslatedSelect rows = tr.TargetRows(t, s.from, s.where.get(), {});
    sql += " WHERE rowid IN (" + rows.sql + ")";
  }
  Stmt st(db_, sql);
  const int rc = st.StepRaw();
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) {
      // Name the table whose rows still refer to the deleted ones.
      for (const TableMeta* child : catalog_.ReferencingTables(t.name)) {
        for (const auto& fk : child->foreign_keys) {
          if (!SameName(fk.ref_table, t.name)) continue;
          std::string probe = "SELECT 1 FROM " + QuoteSqlite(child->name) + " WHERE ";
          for (std::size_t k = 0; k < fk.columns.size(); ++k) {
            probe += (k ? " AND " : "") + QuoteSqlite(child->columns[static_cast<std::size_t>(fk.columns[k])].name) + " IS NOT NULL";
          }
          probe += " LIMIT 1";
          Stmt p(db_, probe);
          if (p.Step()) {
            throw SqlErr(kConstraint, "DELETE statement conflicted with COLUMN REFERENCE constraint '" + fk.name +
                                          "'. The conflict occurred in database '" + state_.database + "', table '" +
                                          child->name + "', column '" +
                                          child->columns[static_cast<std::size_t>(fk.columns[0])].name + "'.");
          }
        }
      }
    }
    throw StepError(rc, "DELETE", &t);
  }
  state_.rowcount = db_.Changes();
}

void Engine::RunCreateTable(ast::Stmt& s, std::string_view batch) {
  const std::string text(batch.substr(s.offset, s.end > s.offset ? s.end - s.offset : std::string::npos));
  if (!s.object.database.empty() && !SameName(s.object.database, state_.database)) {
    throw SqlErr(2702, "Database '" + s.object.database + "' does not exist.");
  }
  if (catalog_.ObjectExists(s.object.object)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + s.object.object + "' in the database.");
  }
  TableMeta t = BuildTableMeta(s);
  // Foreign keys refer to existing tables and to a key of theirs.
  for (auto& fk : t.foreign_keys) {
    const TableMeta* parent = SameName(fk.ref_table, t.name) ? &t : catalog_.FindTable(fk.ref_table);
    if (!parent) {
      throw SqlErr(1767, "Foreign key '" + fk.name + "' references invalid table '" + fk.ref_table + "'.");
    }
    fk.ref_table = parent->name;
    if (fk.ref_columns.empty()) {
      for (const auto& k : parent->keys) {
        if (k.primary) {
          for (int c : k.columns) fk.ref_columns.push_back(parent->columns[static_cast<std::size_t>(c)].name);
        }
      }
    }
    std::vector<int> ref;
    for (const auto& name : fk.ref_columns) {
      const int i = parent->Find(name);
      if (i < 0) throw SqlErr(1770, "Foreign key '" + fk.name + "' references invalid column '" + name + "' in referenced table '" + parent->name + "'.");
      ref.push_back(i);
    }
    bool keyed = false;
    for (const auto& k : parent->keys) {
      std::vector<int> a = k.columns, b = ref;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      keyed = keyed || a == b;
    }
    if (!keyed || ref.size() != fk.columns.size()) {
      throw SqlErr(1776, "There are no primary or candidate keys in the referenced table '" + parent->name +
                             "' that match the referencing column list in the foreign key '" + fk.name + "'.");
    }
    for (std::size_t k = 0; k < ref.size(); ++k) {
      const ColumnMeta& mine = t.columns[static_cast<std::size_t>(fk.columns[k])];
      const ColumnMeta& theirs = parent->columns[static_cast<std::size_t>(ref[k])];
      fk.ref_columns[k] = theirs.name;
      if (TypeOf(mine.type) != TypeOf(theirs.type)) {
        throw SqlErr(1778, "Column '" + parent->name + "." + theirs.name + "' is not the same data type as referencing column '" +
                               t.name + "." + mine.name + "' in foreign key '" + fk.name + "'.");
      }
    }
  }
  // Defaults must be constants the server can evaluate.
  {
    Translator tr(catalog_, state_);
    std::vector<const ast::Expr*> defaults;
    for (const auto& c : t.columns) {
      if (c.default_value) defaults.push_back(c.default_value.get());
    }
    if (!defaults.empty()) tr.Constants(defaults);
  }
  for (const auto& k : t.keys) {
    if (catalog_.ObjectExists(k.name)) throw SqlErr(kObjectExists, "There is already an object named '" + k.name + "' in the database.");
  }
  for (const auto& f : t.foreign_keys) {
    if (catalog_.ObjectExists(f.name)) throw SqlErr(kObjectExists, "There is already an object named '" + f.name + "' in the database.");
  }
  db_.Exec(SqliteCreateTable(t));
  for (std::size_t i = 0; i < t.foreign_keys.size(); ++i) {
    const auto& f = t.foreign_keys[i];
    std::string index = "CREATE INDEX " + QuoteSqlite("__vk_fk_" + t.name + "_" + std::to_string(i)) + " ON " + QuoteSqlite(t.name) + " (";
    for (std::size_t k = 0; k < f.columns.size(); ++k) index += (k ? ", " : "") + QuoteSqlite(t.columns[static_cast<std::size_t>(f.columns[k])].name);
    db_.Exec(index + ")");
  }
  const std::int64_t id = catalog_.AddObject(t.name, "U", 0, text);
  for (const auto& k : t.keys) catalog_.AddObject(k.name, k.primary ? "PK" : "UQ", id, "");
  for (const auto& f : t.foreign_keys) catalog_.AddObject(f.name, "F", id, "");
  catalog_.Invalidate();
  catalog_.Refresh();
  state_.rowcount = 0;
}

void Engine::RunDropTable(const ast::Stmt& s) {
  const TableMeta* t = SameName(s.object.object, "sysobjects") ? nullptr : catalog_.FindTable(s.object.object);
  if (!t || (!s.object.database.empty() && !SameName(s.object.database, state_.database))) {
    throw SqlErr(kCannotDropTable, "Cannot drop the table '" + s.object.Display() + "', because it does not exist in the system catalog.");
  }
  for (const TableMeta* child : catalog_.ReferencingTables(t->name)) {
    if (child != t) {
      throw SqlErr(3726, "Could not drop object '" + t->name + "' because it is referenced by a FOREIGN KEY constraint.");
    }
  }
  const std::int64_t id = t->id;
  const std::string name = t->name;
  db_.Exec("DROP TABLE " + QuoteSqlite(name));
  catalog_.RemoveObject(id);
  if (identity_insert_ && *identity_insert_ == id) identity_insert_.reset();
  catalog_.Refresh();
}

void Engine::RunCreateProcedure(const ast::Stmt& s) {
  if (!s.object.database.empty() && !SameName(s.object.database, state_.database)) {
    throw SqlErr(166, "'CREATE PROCEDURE' does not allow specifying the database name as a prefix to the object name.");
  }
  if (catalog_.ObjectExists(s.object.object)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + s.object.object + "' in the database.");
  }
  catalog_.AddObject(s.object.object, "P", 0, s.text);
  catalog_.Invalidate();
  catalog_.Refresh();
}

void Engine::RunDropProcedure(const ast::Stmt& s) {
  const ProcedureMeta* p = catalog_.FindProcedure(s.object.object);
  if (!p) {
    throw SqlErr(kCannotDropTable, "Cannot drop the procedure '" + s.object.Display() +
                                       "', because it does not exist in the system catalog.");
  }
  catalog_.RemoveObject(p->id);
  catalog_.Refresh();
}

void Engine::RunExecute(const ast::Stmt& s, BatchOutput* output) {
  const ProcedureMeta* p = catalog_.FindProcedure(s.object.object);
  if (!p || (!s.object.database.empty() && !SameName(s.object.database, state_.database))) {
    throw SqlErr(kNoProcedure, "Could not find stored procedure '" + s.object.Display() + "'.");
  }
  if (exec_depth_ >= kMaxNesting) {
    throw SqlErr(217, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
  }
  const std::string text = p->text;  // the catalog may change while the body runs
  auto create = ParseBatch(text);
  const std::string body = create.at(0)->body;
  auto statements = ParseBatch(body);
  ++exec_depth_;
  struct Depth {
    int& d;
    ~Depth() { --d; }
  } depth{exec_depth_};
  for (auto& st : statements) Run(*st, body, output);
}

void Engine::RunSetIdentityInsert(const ast::Stmt& s) {
  const TableMeta& t = ResolveTable(s.object);
  if (t.IdentityColumn() < 0) {
    throw SqlErr(kNoIdentity, "Table '" + t.name + "' does not have the identity property. Cannot perform SET operation.");
  }
  if (s.on) {
    if (identity_insert_ && *identity_insert_ != t.id) {
      std::string other = "?";
      for (const TableMeta* m : catalog_.Tables()) {
        if (m->id == *identity_insert_) other = m->name;
      }
      throw SqlErr(kIdentityInsertOther, "IDENTITY_INSERT is already ON for table '" + QualifiedName(state_.database, other) +
                                             "'. Cannot perform SET operation for table '" + t.name + "'.");
    }
    identity_insert_ = t.id;
  } else if (identity_insert_ && *identity_insert_ == t.id) {
    identity_insert_.reset();
  }
}

void Engine::RunTruncate(const ast::Stmt& s) {
  const TableMeta& t = WritableTable(s.object);
  for (const TableMeta* child : catalog_.ReferencingTables(t.name)) {
    if (child != &t) {
      throw SqlErr(4712, "Cannot truncate table '" + t.name + "' because it is being referenced by a FOREIGN KEY constraint.");
    }
  }
  db_.Exec("DELETE FROM " + QuoteSqlite(t.name));
  catalog_.SetLastIdentity(t.id, std::nullopt);
  state_.rowcount = 0;
}

std::unique_ptr<dts::RowReader> Engine::Query(std::string_view select) {
  catalog_.Refresh();
  auto statements = ParseBatch(select);
  if (statements.size() != 1 || statements[0]->kind != ast::StmtKind::kSelect) {
    throw SqlErr(kNotSupported, "A query must be exactly one SELECT statement.");
  }
  Translator tr(catalog_, state_);
  return std::make_unique<SelectReader>(*this, tr.Select(*statements[0]->select));
}

std::vector<dts::ColumnInfo> Engine::DescribeTable(std::string_view object_name) {
  catalog_.Refresh();
  const TableMeta& t = ResolveTable(ParseObjectName(object_name));
  std::vector<dts::ColumnInfo> out;
  for (const auto& c : t.columns) {
    dts::ColumnInfo info;
    info.name = c.name;
    info.type = OleDbType(c.type);
    if (IsCharType(c.type.type)) {
      info.size = c.type.length < 0 ? 0 : static_cast<std::uint32_t>(c.type.length);
      info.is_long = c.type.length < 0;
      info.is_unicode = IsUnicodeType(c.type.type);
    }
    info.nullable = c.nullable;
    info.is_identity = c.identity;
    info.has_default = c.default_value != nullptr;
    const int index = static_cast<int>(out.size());
    for (const auto& k : t.keys) {
      if (k.primary && std::find(k.columns.begin(), k.columns.end(), index) != k.columns.end()) info.is_key = true;
    }
    out.push_back(std::move(info));
  }
  return out;
}

// ------------------------------------------------------------ rows

RowInserter::RowInserter(Engine& engine, const TableMeta& table, std::vector<int> targets, bool explicit_identity)
    : engine_(engine), table_(table), targets_(std::move(targets)), explicit_identity_(explicit_identity),
      identity_column_(table.IdentityColumn()) {
  slot_of_column_.assign(table.columns.size(), -1);
  changed_.assign(targets_.size(), 0);
  for (std::size_t i = 0; i < targets_.size(); ++i) slot_of_column_[static_cast<std::size_t>(targets_[i])] = static_cast<int>(i);
  if (identity_column_ >= 0) {
    const ColumnMeta& c = table.columns[static_cast<std::size_t>(identity_column_)];
    last_identity_ = engine.catalog().LastIdentity(table.id);
    next_identity_ = last_identity_ ? *last_identity_ + c.step : c.seed;
  }
  // Defaults of the columns no value is given for, evaluated once.
  defaults_.assign(table.columns.size(), Stored());
  std::vector<const ast::Expr*> exprs;
  std::vector<int> owners;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (slot_of_column_[i] < 0 && table.columns[i].default_value) {
      exprs.push_back(table.columns[i].default_value.get());
      owners.push_back(static_cast<int>(i));
    }
  }
  if (!exprs.empty()) {
    Translator tr(engine.catalog(), engine.state());
    TranslatedSelect c = tr.Constants(exprs);
    Stmt st(engine.db(), c.sql);
    const int rc = st.StepRaw();
    if (rc != SQLITE_ROW) throw engine.StepError(rc, "INSERT", &table);
    for (std::size_t k = 0; k < owners.size(); ++k) {
      const ColumnMeta& col = table.columns[static_cast<std::size_t>(owners[k])];
      ToStored(DecodeValue(st.get(), static_cast<int>(k), c.columns[k]), col.type,
               &defaults_[static_cast<std::size_t>(owners[k])], {table.name, col.name});
    }
  }
  std::string sql = "INSERT INTO " + QuoteSqlite(table.name) + " (";
  std::string params;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    sql += (i ? ", " : "") + QuoteSqlite(table.columns[i].name);
    params += i ? ", ?" : "?";
  }
  insert_ = Stmt(engine.db(), sql + ") VALUES (" + params + ")");
}

void RowInserter::Insert(const std::vector<com::Variant>& values) {
  failed_column_.clear();
  bool generated = false;
  std::int64_t given_identity = 0;
  for (std::size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnMeta& c = table_.columns[i];
    const int slot = slot_of_column_[i];
    const Stored* v = &scratch_;
    if (slot >= 0) {
      bool changed = false;
      try {
        ToStored(values[static_cast<std::size_t>(slot)], c.type, &scratch_, {table_.name, c.name}, allow_truncation_,
                 &changed);
      } catch (const com::Error&) {
        failed_column_ = c.name;
        throw;
      }
      if (changed) ++changed_[static_cast<std::size_t>(slot)];
      if (static_cast<int>(i) == identity_column_ && scratch_.kind == Stored::kInteger) given_identity = scratch_.i;
    } else if (static_cast<int>(i) == identity_column_) {
      scratch_.kind = Stored::kInteger;
      scratch_.i = next_identity_;
      const std::int64_t max = c.type.type == SqlType::kInt ? 2147483647LL : c.type.type == SqlType::kSmallInt ? 32767 : c.type.type == SqlType::kTinyInt ? 255 : INT64_MAX;
      if (next_identity_ > max || next_identity_ < -max - 1) {
        throw SqlErr(8115, "Arithmetic overflow error converting IDENTITY to data type " + TypeDisplayName(c.type) + ".");
      }
      generated = true;
    } else {
      v = &defaults_[i];
    }
    if (v->kind == Stored::kNull && !c.nullable) {
      failed_column_ = c.name;
      throw SqlErr(kNotNull, "Cannot insert the value NULL into column '" + c.name + "', table '" +
                                 engine_.database() + ".dbo." + table_.name + "'; column does not allow nulls. INSERT fails.");
    }
    Bind(insert_, static_cast<int>(i + 1), *v);
  }
  const int rc = insert_.StepRaw();
  insert_.Reset();
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) {
      // Name the foreign key whose referenced row is missing.
      for (const auto& fk : table_.foreign_keys) {
        std::string probe = "SELECT 1 FROM " + QuoteSqlite(fk.ref_table) + " WHERE ";
        std::vector<com::Variant> keys;
        bool has_null = false;
        for (std::size_t k = 0; k < fk.columns.size(); ++k) {
          const int slot = slot_of_column_[static_cast<std::size_t>(fk.columns[k])];
          com::Variant key = slot >= 0 ? values[static_cast<std::size_t>(slot)] : com::Variant::Null();
          has_null = has_null || key.IsNull();
          keys.push_back(key);
          probe += (k ? " AND " : "") + QuoteSqlite(fk.ref_columns[k]) + " = ?";
        }
        if (has_null) continue;
        const TableMeta* parent = engine_.catalog().FindTable(fk.ref_table);
        Stmt p(engine_.db(), probe + " LIMIT 1");
        for (std::size_t k = 0; k < keys.size(); ++k) {
          Stored s;
          const ColumnMeta& pc = parent ? parent->columns[static_cast<std::size_t>(parent->Find(fk.ref_columns[k]))]
                                        : table_.columns[static_cast<std::size_t>(fk.columns[k])];
          ToStored(keys[k], pc.type, &s, {});
          Bind(p, static_cast<int>(k + 1), s);
        }
        if (!p.Step()) {
          failed_column_ = table_.columns[static_cast<std::size_t>(fk.columns[0])].name;
          throw SqlErr(kConstraint, "INSERT statement conflicted with COLUMN FOREIGN KEY constraint '" + fk.name +
                                        "'. The conflict occurred in database '" + engine_.database() + "', table '" +
                                        fk.ref_table + "', column '" + fk.ref_columns[0] + "'.");
        }
      }
    }
    throw engine_.StepError(rc, "INSERT", &table_);
  }
  ++rows_;
  if (generated) {
    last_identity_ = next_identity_;
    next_identity_ += table_.columns[static_cast<std::size_t>(identity_column_)].step;
  } else if (explicit_identity_) {
    const std::int64_t step = table_.columns[static_cast<std::size_t>(identity_column_)].step;
    if (!last_identity_ || (step > 0 ? given_identity > *last_identity_ : given_identity < *last_identity_)) {
      last_identity_ = given_identity;
      next_identity_ = given_identity + step;
    }
  }
}

void RowInserter::Finish() {
  if (identity_column_ >= 0 && rows_ > 0) engine_.catalog().SetLastIdentity(table_.id, last_identity_);
}

}  // namespace sqlsrv
