// The INFORMATION_SCHEMA views: their columns, and their rows built from
// the catalog's keys and foreign keys as literal rows of a VALUES list.
#include "platform/sqlserver/system_views.h"

#include <span>
#include <string_view>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/translate.h"

namespace sqlsrv {
namespace {

struct ViewColumn {
  const char* name;
  ColumnType type;
  bool nullable;
};

constexpr ColumnType kSysname{SqlType::kNVarChar, 128};

// A view's rows, each value as a SQLite literal.
using Rows = std::vector<std::vector<std::string>>;

struct ViewDefinition {
  std::string_view name;
  std::span<const ViewColumn> columns;
  Rows (*rows)(const Catalog& catalog, const std::string& database);
};

std::string Text(std::string_view s) { return com::Quoted(s, '\'', '\''); }

const ViewColumn kTableConstraints[] = {
    {"CONSTRAINT_CATALOG", kSysname, true},
    {"CONSTRAINT_SCHEMA", kSysname, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"TABLE_CATALOG", kSysname, true},
    {"TABLE_SCHEMA", kSysname, true},
    {"TABLE_NAME", kSysname, false},
    {"CONSTRAINT_TYPE", {SqlType::kVarChar, 11}, true},
    {"IS_DEFERRABLE", {SqlType::kVarChar, 2}, false},
    {"INITIALLY_DEFERRED", {SqlType::kVarChar, 2}, false},
};

const ViewColumn kKeyColumnUsage[] = {
    {"CONSTRAINT_CATALOG", kSysname, true},
    {"CONSTRAINT_SCHEMA", kSysname, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"TABLE_CATALOG", kSysname, true},
    {"TABLE_SCHEMA", kSysname, true},
    {"TABLE_NAME", kSysname, false},
    {"COLUMN_NAME", kSysname, false},
    {"ORDINAL_POSITION", {SqlType::kInt, 0}, false},
};

// Every constraint of every table, in the tables' creation order: primary
// and unique keys as declared, then foreign keys.
Rows TableConstraintRows(const Catalog& catalog, const std::string& database) {
  Rows rows;
  const std::string db = Text(database), dbo = Text("dbo"), no = Text("NO");
  for (const TableMeta* t : catalog.Tables()) {
    const std::string table = Text(t->name);
    for (const KeyMeta& k : t->keys) {
      rows.push_back({db, dbo, Text(k.name), db, dbo, table, Text(k.primary ? "PRIMARY KEY" : "UNIQUE"), no, no});
    }
    for (const ForeignKeyMeta& f : t->foreign_keys) {
      rows.push_back({db, dbo, Text(f.name), db, dbo, table, Text("FOREIGN KEY"), no, no});
    }
  }
  return rows;
}

// Every column of every key and foreign key, numbered from 1 in the
// constraint's column order.
Rows KeyColumnUsageRows(const Catalog& catalog, const std::string& database) {
  Rows rows;
  const std::string db = Text(database), dbo = Text("dbo");
  for (const TableMeta* t : catalog.Tables()) {
    const std::string table = Text(t->name);
    auto add = [&](const std::string& constraint, const std::vector<int>& columns) {
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& column = t->columns[static_cast<std::size_t>(columns[i])].name;
        rows.push_back({db, dbo, Text(constraint), db, dbo, table, Text(column), std::to_string(i + 1)});
      }
    };
    for (const KeyMeta& k : t->keys) add(k.name, k.columns);
    for (const ForeignKeyMeta& f : t->foreign_keys) add(f.name, f.columns);
  }
  return rows;
}

const ViewDefinition kViews[] = {
    {"TABLE_CONSTRAINTS", kTableConstraints, &TableConstraintRows},
    {"KEY_COLUMN_USAGE", kKeyColumnUsage, &KeyColumnUsageRows},
};

const ViewDefinition* FindView(const ast::ObjectName& name, const std::string& database) {
  if (!InInformationSchema(name)) return nullptr;
  if (!name.database.empty() && !com::SameName(name.database, database)) return nullptr;
  for (const auto& v : kViews) {
    if (com::SameName(v.name, name.object)) return &v;
  }
  return nullptr;
}

// "SELECT column1 AS c1, ... FROM (VALUES (...), ...)": a VALUES list is
// not bound by SQLite's limit on compound SELECTs, so any number of rows
// fits. With no rows, a SELECT of NULLs that yields none.
std::string RowsSql(std::size_t columns, const Rows& rows) {
  std::string sql = "SELECT ";
  for (std::size_t i = 1; i <= columns; ++i) {
    sql += (i > 1 ? ", " : "") + (rows.empty() ? std::string("NULL") : "column" + std::to_string(i)) + " AS c" +
           std::to_string(i);
  }
  if (rows.empty()) return sql + " WHERE 0";
  sql += " FROM (VALUES ";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    sql += r ? ", (" : "(";
    for (std::size_t i = 0; i < rows[r].size(); ++i) sql += (i ? ", " : "") + rows[r][i];
    sql += ")";
  }
  return sql + ")";
}

}  // namespace

bool InInformationSchema(const ast::ObjectName& name) { return com::SameName(name.schema, "INFORMATION_SCHEMA"); }

bool SystemViewExists(const ast::ObjectName& name, const std::string& database) {
  return FindView(name, database) != nullptr;
}

SystemView InformationSchemaView(const ast::ObjectName& name, const Catalog& catalog, const std::string& database) {
  const ViewDefinition* v = FindView(name, database);
  if (!v) throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  SystemView out;
  out.name = std::string(v->name);
  for (const ViewColumn& c : v->columns) {
    OutputColumn oc;
    oc.name = c.name;
    oc.type = TypeOf(c.type);
    oc.column = c.type;
    oc.nullable = c.nullable;
    out.columns.push_back(std::move(oc));
  }
  out.sql = RowsSql(v->columns.size(), v->rows(catalog, database));
  return out;
}

}  // namespace sqlsrv
