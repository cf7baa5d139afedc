// vk_rows: an eponymous virtual table with kRowSourceColumns value columns
// and one hidden column, the RowSource pointer, that its one argument sets.
#include "platform/sqlserver/execution/row_source.h"

#include <cstring>
#include <new>
#include <string>

namespace sqlsrv {
namespace {

constexpr char kPointerType[] = "vk_rows";
constexpr int kSourceColumn = static_cast<int>(kRowSourceColumns);

struct Cursor {
  sqlite3_vtab_cursor base;  // first: SQLite's view of the cursor
  const RowSource* source = nullptr;
  std::size_t row = 0;
};

// The text or bytes of a cell: never a null pointer, which SQLite would
// take for NULL.
const char* BytesOf(const CellValue& c) { return c.bytes.data() ? c.bytes.data() : ""; }

int Connect(sqlite3* db, void*, int, const char* const*, sqlite3_vtab** table, char**) {
  std::string declaration = "CREATE TABLE x(";
  for (std::size_t i = 0; i < kRowSourceColumns; ++i) declaration += "c" + std::to_string(i) + ", ";
  declaration += "source HIDDEN)";
  if (const int rc = sqlite3_declare_vtab(db, declaration.c_str()); rc != SQLITE_OK) return rc;
  *table = static_cast<sqlite3_vtab*>(sqlite3_malloc(sizeof(sqlite3_vtab)));
  if (!*table) return SQLITE_NOMEM;
  std::memset(*table, 0, sizeof(sqlite3_vtab));
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* table) {
  sqlite3_free(table);
  return SQLITE_OK;
}

// The rows come only through the argument: a plan without it is refused.
int BestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (c.iColumn == kSourceColumn && c.op == SQLITE_INDEX_CONSTRAINT_EQ && c.usable) {
      info->aConstraintUsage[i].argvIndex = 1;
      info->aConstraintUsage[i].omit = 1;
      info->estimatedCost = 1;
      return SQLITE_OK;
    }
  }
  return SQLITE_CONSTRAINT;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** cursor) {
  auto* c = new (std::nothrow) Cursor();
  if (!c) return SQLITE_NOMEM;
  *cursor = &c->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
  delete reinterpret_cast<Cursor*>(cursor);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* cursor, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(cursor);
  c->source = argc == 1 ? static_cast<const RowSource*>(sqlite3_value_pointer(argv[0], kPointerType)) : nullptr;
  c->row = 0;
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* cursor) {
  ++reinterpret_cast<Cursor*>(cursor)->row;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* cursor) {
  const auto* c = reinterpret_cast<const Cursor*>(cursor);
  return !c->source || c->row >= c->source->rows;
}

int Column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column) {
  const auto* c = reinterpret_cast<const Cursor*>(cursor);
  if (static_cast<std::size_t>(column) >= c->source->columns) {
    sqlite3_result_null(context);
    return SQLITE_OK;
  }
  const CellValue& v = c->source->cells[c->row * c->source->columns + static_cast<std::size_t>(column)];
  switch (v.kind) {
    case Stored::kNull: sqlite3_result_null(context); break;
    case Stored::kInteger: sqlite3_result_int64(context, v.i); break;
    case Stored::kReal: sqlite3_result_double(context, v.r); break;
    case Stored::kText:
      sqlite3_result_text64(context, BytesOf(v), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
      break;
    case Stored::kBlob: sqlite3_result_blob64(context, BytesOf(v), v.bytes.size(), SQLITE_STATIC); break;
  }
  return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor* cursor, sqlite3_int64* id) {
  *id = static_cast<sqlite3_int64>(reinterpret_cast<const Cursor*>(cursor)->row);
  return SQLITE_OK;
}

const sqlite3_module kModule = {
    .iVersion = 0,
    .xCreate = nullptr,  // eponymous only: no CREATE VIRTUAL TABLE
    .xConnect = Connect,
    .xBestIndex = BestIndex,
    .xDisconnect = Disconnect,
    .xDestroy = Disconnect,
    .xOpen = Open,
    .xClose = Close,
    .xFilter = Filter,
    .xNext = Next,
    .xEof = Eof,
    .xColumn = Column,
    .xRowid = RowId,
};

}  // namespace

CellValue CellOf(const Stored& v) { return {v.kind, v.i, v.r, v.s}; }

void RegisterRowSource(sqlite3* db) { sqlite3_create_module(db, kPointerType, &kModule, nullptr); }

std::string RowSourceSelect(std::size_t columns, int parameter) {
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < columns; ++i) sql += (i ? ", c" : "c") + std::to_string(i);
  return sql + " FROM vk_rows(?" + std::to_string(parameter) + ")";
}

void BindRowSource(Prepared& statement, int parameter, const RowSource* rows) {
  sqlite3_bind_pointer(statement.get(), parameter, const_cast<RowSource*>(rows), kPointerType, nullptr);
}

void BindCell(Prepared& statement, int parameter, const CellValue& cell) {
  switch (cell.kind) {
    case Stored::kNull: statement.BindNull(parameter); break;
    case Stored::kInteger: statement.Bind(parameter, cell.i); break;
    case Stored::kReal: statement.Bind(parameter, cell.r); break;
    case Stored::kText: statement.BindInPlace(parameter, std::string_view(BytesOf(cell), cell.bytes.size())); break;
    case Stored::kBlob:
      sqlite3_bind_blob64(statement.get(), parameter, BytesOf(cell), cell.bytes.size(), SQLITE_STATIC);
      break;
  }
}

}  // namespace sqlsrv
