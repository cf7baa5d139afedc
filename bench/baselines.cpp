#include "bench/baselines.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "platform/com/error.h"
#include "platform/dts/oledb.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/translation/sqlite_functions.h"

namespace bench {
namespace {

using com::VarType;

[[noreturn]] void Fail(const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "full_upgrade_bench", what);
}

// Adds up the wall and CPU time of this process between Start and Stop.
class Meter {
 public:
  void Start() {
    wall_started_ = std::chrono::steady_clock::now();
    cpu_started_ = CpuSeconds();
  }
  void Stop() {
    cost_.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_started_).count();
    cost_.cpu += CpuSeconds() - cpu_started_;
  }
  const Cost& cost() const { return cost_; }

 private:
  static double CpuSeconds() {
    const Usage u = CurrentUsage();
    return u.user + u.sys;
  }

  Cost cost_;
  std::chrono::steady_clock::time_point wall_started_;
  double cpu_started_ = 0;
};

// An open SQLite database file.
class SqliteFile {
 public:
  explicit SqliteFile(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Fail("cannot open " + path + ": " + sqlite3_errmsg(db_));
  }
  ~SqliteFile() { sqlite3_close(db_); }
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : "";
      sqlite3_free(message);
      Fail("SQLite: " + text + " in: " + sql);
    }
  }
  sqlite3* handle() const { return db_; }
  std::string LastError() const { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_ = nullptr;
};

struct StatementDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

Statement Prepare(SqliteFile& db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    Fail("SQLite: " + db.LastError() + " in: " + sql);
  }
  return Statement(s);
}

// `text` between `quote`s, each quote in it doubled.
std::string Quoted(const std::string& text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  return out + quote;
}

std::string Identifier(const std::string& name) { return Quoted(name, '"'); }

const char* DeclaredType(std::uint16_t oledb_type) {
  switch (oledb_type) {
    case dts::DBTYPE_I2: case dts::DBTYPE_I4: case dts::DBTYPE_I8: case dts::DBTYPE_UI1: case dts::DBTYPE_BOOL:
      return "INTEGER";
    case dts::DBTYPE_R4: case dts::DBTYPE_R8: case dts::DBTYPE_CY: case dts::DBTYPE_DATE: case dts::DBTYPE_NUMERIC:
      return "REAL";
    default:
      return "TEXT";
  }
}

std::string CreateTableSql(const std::string& table, const std::vector<dts::ColumnInfo>& columns,
                           const std::vector<std::string>& key) {
  std::string sql = "CREATE TABLE " + Identifier(table) + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    sql += (i ? ", " : "") + Identifier(columns[i].name) + " " + DeclaredType(columns[i].type);
  }
  if (!key.empty()) {
    sql += ", PRIMARY KEY (";
    for (std::size_t i = 0; i < key.size(); ++i) sql += (i ? ", " : "") + Identifier(key[i]);
    sql += ")";
  }
  return sql + ")";
}

std::string InsertSql(const std::string& table, std::size_t columns) {
  std::string sql = "INSERT INTO " + Identifier(table) + " VALUES (";
  for (std::size_t i = 0; i < columns; ++i) sql += i ? ",?" : "?";
  return sql + ")";
}

// Binds one cell; text stays owned by the row (SQLITE_STATIC).
int Bind(sqlite3_stmt* s, int index, const com::Variant& v) {
  switch (v.type()) {
    case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1: case VarType::kBool:
      return sqlite3_bind_int64(s, index, v.integer());
    case VarType::kCurrency:
      return sqlite3_bind_double(s, index, static_cast<double>(v.integer()) / 10000.0);
    case VarType::kR4: case VarType::kR8: case VarType::kDate:
      return sqlite3_bind_double(s, index, v.real());
    case VarType::kText: case VarType::kDecimal:
      return sqlite3_bind_text(s, index, v.text().data(), static_cast<int>(v.text().size()), SQLITE_STATIC);
    default:
      return sqlite3_bind_null(s, index);
  }
}

void InsertRows(SqliteFile& db, sqlite3_stmt* insert, const std::vector<dts::Row>& rows) {
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (Bind(insert, static_cast<int>(i + 1), row[i]) != SQLITE_OK) Fail("SQLite bind: " + db.LastError());
    }
    if (sqlite3_step(insert) != SQLITE_DONE) Fail("SQLite insert: " + db.LastError());
    sqlite3_reset(insert);
  }
}

// The transfers' table names in the SQLite file: the source table's, made
// unique when two transfers read one table.
std::vector<std::string> InsertTableNames(const std::vector<Transfer>& transfers) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < transfers.size(); ++i) {
    std::string name = transfers[i].source_table;
    for (const auto& taken : names) {
      if (taken == name) name += "_" + std::to_string(i + 1);
    }
    names.push_back(name);
  }
  return names;
}

std::string ShellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

// 'text' as an SQL string literal.
std::string Literal(const std::string& text) { return Quoted(text, '\''); }

// One stored value, as SQLite gave it.
struct Cell {
  int type = SQLITE_NULL;
  sqlite3_int64 integer = 0;
  double real = 0;
  std::string text;
};

// The tables of a 6.0 database that hold rows, parents before the tables
// whose foreign keys refer to them; the engine's own tables left out.
std::vector<std::string> TablesParentsFirst(SqliteFile& db) {
  std::vector<std::string> tables;
  {
    Statement list = Prepare(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE '\\_\\_vk\\_%' "
                                 "ESCAPE '\\' AND name <> 'sysobjects' ORDER BY rowid");
    while (sqlite3_step(list.get()) == SQLITE_ROW) {
      const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0));
      Statement any = Prepare(db, "SELECT 1 FROM " + Identifier(name) + " LIMIT 1");
      if (sqlite3_step(any.get()) == SQLITE_ROW) tables.push_back(name);
    }
  }
  std::vector<std::string> ordered;
  while (ordered.size() < tables.size()) {
    const std::size_t before = ordered.size();
    for (const auto& t : tables) {
      if (std::find(ordered.begin(), ordered.end(), t) != ordered.end()) continue;
      bool parents_placed = true;
      Statement keys = Prepare(db, "SELECT \"table\" FROM pragma_foreign_key_list(" + Literal(t) + ")");
      while (sqlite3_step(keys.get()) == SQLITE_ROW) {
        const std::string parent = reinterpret_cast<const char*>(sqlite3_column_text(keys.get(), 0));
        const bool has_rows = std::find(tables.begin(), tables.end(), parent) != tables.end();
        parents_placed = parents_placed && (parent == t || !has_rows ||
                                            std::find(ordered.begin(), ordered.end(), parent) != ordered.end());
      }
      if (parents_placed) ordered.push_back(t);
    }
    if (ordered.size() == before) Fail("the foreign keys of the written tables form a cycle");
  }
  return ordered;
}

// Reads up to `limit` rows of `from` into `rows` (reusing its cells);
// returns how many.
std::size_t ReadCells(sqlite3_stmt* from, std::size_t limit, std::vector<std::vector<Cell>>* rows) {
  const int columns = sqlite3_column_count(from);
  std::size_t n = 0;
  while (n < limit && sqlite3_step(from) == SQLITE_ROW) {
    if (rows->size() <= n) rows->emplace_back();
    auto& row = (*rows)[n++];
    row.resize(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
      Cell& c = row[static_cast<std::size_t>(i)];
      c.type = sqlite3_column_type(from, i);
      if (c.type == SQLITE_INTEGER) c.integer = sqlite3_column_int64(from, i);
      if (c.type == SQLITE_FLOAT) c.real = sqlite3_column_double(from, i);
      if (c.type == SQLITE_TEXT || c.type == SQLITE_BLOB) {
        c.text.assign(static_cast<const char*>(sqlite3_column_blob(from, i)),
                      static_cast<std::size_t>(sqlite3_column_bytes(from, i)));
      }
    }
  }
  return n;
}

void InsertCells(SqliteFile& db, sqlite3_stmt* insert, const std::vector<std::vector<Cell>>& rows, std::size_t n) {
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      const Cell& c = rows[r][i];
      const int at = static_cast<int>(i + 1);
      switch (c.type) {
        case SQLITE_INTEGER: sqlite3_bind_int64(insert, at, c.integer); break;
        case SQLITE_FLOAT: sqlite3_bind_double(insert, at, c.real); break;
        case SQLITE_TEXT: sqlite3_bind_text(insert, at, c.text.data(), static_cast<int>(c.text.size()), SQLITE_STATIC); break;
        case SQLITE_BLOB: sqlite3_bind_blob(insert, at, c.text.data(), static_cast<int>(c.text.size()), SQLITE_STATIC); break;
        default: sqlite3_bind_null(insert, at);
      }
    }
    if (sqlite3_step(insert) != SQLITE_DONE) Fail("SQLite insert: " + db.LastError());
    sqlite3_reset(insert);
  }
}

long long CountRows(const std::string& file, const std::vector<std::string>& tables) {
  SqliteFile db(file);
  long long total = 0;
  for (const auto& t : tables) {
    Statement count = Prepare(db, "SELECT count(*) FROM " + Identifier(t));
    if (sqlite3_step(count.get()) == SQLITE_ROW) total += sqlite3_column_int64(count.get(), 0);
  }
  return total;
}

}  // namespace

long long ScanResult::TotalRows() const {
  long long total = 0;
  for (long long n : rows) total += n;
  return total;
}

ScanResult ScanSources(const std::string& source, const std::vector<Transfer>& transfers) {
  ScanResult result;
  Meter meter;
  meter.Start();
  jet::Database db(source);
  dts::Row row;
  for (const auto& t : transfers) {
    auto reader = db.Query(t.source_sql);
    long long n = 0;
    while (reader->Next(row)) ++n;
    result.rows.push_back(n);
  }
  meter.Stop();
  result.cost = meter.cost();
  return result;
}

InsertResult InsertIntoSqlite(const std::string& source, const std::vector<Transfer>& transfers,
                              const std::string& target) {
  std::filesystem::remove(target);
  InsertResult result;
  SqliteFile out(target);
  jet::Database in(source);
  const auto names = InsertTableNames(transfers);
  Meter meter;
  out.Exec("BEGIN");
  for (std::size_t i = 0; i < transfers.size(); ++i) {
    auto reader = in.Query(transfers[i].source_sql);
    std::vector<dts::Row> rows;
    for (dts::Row row; reader->Next(row);) rows.push_back(row);
    out.Exec(CreateTableSql(names[i], reader->columns(), transfers[i].key_columns));
    Statement insert = Prepare(out, InsertSql(names[i], reader->columns().size()));
    meter.Start();
    InsertRows(out, insert.get(), rows);
    meter.Stop();
    result.rows += static_cast<long long>(rows.size());
  }
  meter.Start();
  out.Exec("COMMIT");
  meter.Stop();
  result.cost = meter.cost();
  return result;
}

namespace {

// The settings the upgrade's own load uses (see the engine's load
// transaction), so that a baseline writes as the load writes.
void UseTheLoadsSettings(SqliteFile& db) {
  db.Exec("PRAGMA foreign_keys = ON; PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; "
          "PRAGMA cache_size = -49152");
}

}  // namespace

InsertResult InsertIntoDestinationTables(const std::string& written, const std::string& fresh) {
  sqlsrv::FunctionContext functions;
  SqliteFile in(written);
  SqliteFile out(fresh);
  for (SqliteFile* db : {&in, &out}) sqlsrv::RegisterFunctions(db->handle(), &functions);
  UseTheLoadsSettings(out);
  // A new database has rows of its own in some tables: they go first,
  // untimed, as the upgrade's run holds them too.
  const std::vector<std::string> tables = TablesParentsFirst(in);
  for (auto t = tables.rbegin(); t != tables.rend(); ++t) out.Exec("DELETE FROM " + Identifier(*t));
  InsertResult result;
  Meter meter;
  out.Exec("BEGIN");
  std::vector<std::vector<Cell>> rows;
  for (const auto& table : tables) {
    Statement from = Prepare(in, "SELECT * FROM " + Identifier(table));
    Statement insert = Prepare(out, InsertSql(table, static_cast<std::size_t>(sqlite3_column_count(from.get()))));
    constexpr std::size_t kChunk = 100000;
    for (std::size_t n = kChunk; n == kChunk;) {  // a short chunk is the last
      n = ReadCells(from.get(), kChunk, &rows);
      meter.Start();
      InsertCells(out, insert.get(), rows, n);
      meter.Stop();
      result.rows += static_cast<long long>(n);
    }
  }
  meter.Start();
  out.Exec("COMMIT");
  meter.Stop();
  result.cost = meter.cost();
  return result;
}

InsertResult CopyDestinationTables(const std::string& written, const std::string& fresh) {
  sqlsrv::FunctionContext functions;
  SqliteFile out(fresh);
  sqlsrv::RegisterFunctions(out.handle(), &functions);
  UseTheLoadsSettings(out);
  out.Exec("ATTACH DATABASE " + Literal(written) + " AS src");
  std::vector<std::string> tables;
  {
    SqliteFile in(written);
    tables = TablesParentsFirst(in);
  }
  for (auto t = tables.rbegin(); t != tables.rend(); ++t) out.Exec("DELETE FROM main." + Identifier(*t));
  InsertResult result;
  Meter meter;
  meter.Start();
  out.Exec("BEGIN");
  for (const auto& table : tables) {
    out.Exec("INSERT INTO main." + Identifier(table) + " SELECT * FROM src." + Identifier(table));
    result.rows += sqlite3_changes(out.handle());
  }
  out.Exec("COMMIT");
  meter.Stop();
  result.cost = meter.cost();
  return result;
}

PeerResult RunPeer(const std::string& source, const std::vector<std::string>& tables, const std::string& target) {
  std::filesystem::remove(target);
  const std::string file = ShellQuoted(source);
  std::string script = "{ echo 'BEGIN;'; ";
  for (const auto& t : tables) script += "mdb-schema -T " + ShellQuoted(t) + " " + file + " sqlite; ";
  for (const auto& t : tables) script += "mdb-export -I sqlite " + file + " " + ShellQuoted(t) + "; ";
  script += "echo 'COMMIT;'; } | sqlite3 -bail " + ShellQuoted(target);
  PeerResult result;
  result.run = Run({"sh", "-c", script});
  if (result.run.exit_code != 0) {
    Fail("the mdbtools | sqlite3 pipeline failed (exit " + std::to_string(result.run.exit_code) + ")");
  }
  result.rows = CountRows(target, tables);
  return result;
}

}  // namespace bench
