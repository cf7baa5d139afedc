// The INFORMATION_SCHEMA views: their columns, and their rows built from
// the catalog's keys and foreign keys as literal rows of a VALUES list.
#include "platform/sqlserver/system_views.h"

#include <span>
#include <string_view>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/translate.h"
#include "platform/sqlserver/sqlite_functions.h"
#include "platform/sqlserver/types.h"

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

const ViewColumn kReferentialConstraints[] = {
    {"CONSTRAINT_CATALOG", kSysname, true},
    {"CONSTRAINT_SCHEMA", kSysname, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"UNIQUE_CONSTRAINT_CATALOG", kSysname, true},
    {"UNIQUE_CONSTRAINT_SCHEMA", kSysname, true},
    {"UNIQUE_CONSTRAINT_NAME", kSysname, true},
    {"MATCH_OPTION", {SqlType::kVarChar, 7}, true},
    {"UPDATE_RULE", {SqlType::kVarChar, 9}, true},
    {"DELETE_RULE", {SqlType::kVarChar, 9}, true},
};

const ViewColumn kColumns[] = {
    {"TABLE_CATALOG", kSysname, true},
    {"TABLE_SCHEMA", kSysname, true},
    {"TABLE_NAME", kSysname, false},
    {"COLUMN_NAME", kSysname, true},
    {"ORDINAL_POSITION", {SqlType::kInt, 0}, true},
    {"COLUMN_DEFAULT", {SqlType::kNVarChar, 4000}, true},
    {"IS_NULLABLE", {SqlType::kVarChar, 3}, true},
    {"DATA_TYPE", kSysname, true},
    {"CHARACTER_MAXIMUM_LENGTH", {SqlType::kInt, 0}, true},
    {"CHARACTER_OCTET_LENGTH", {SqlType::kInt, 0}, true},
    {"NUMERIC_PRECISION", {SqlType::kTinyInt, 0}, true},
    {"NUMERIC_PRECISION_RADIX", {SqlType::kSmallInt, 0}, true},
    {"NUMERIC_SCALE", {SqlType::kInt, 0}, true},
    {"DATETIME_PRECISION", {SqlType::kSmallInt, 0}, true},
    {"CHARACTER_SET_NAME", kSysname, true},
    {"COLLATION_NAME", kSysname, true},
};

// SQL Server's figures of a column type: precision, radix and scale of the
// numbers, precision of the datetimes, lengths of the texts.
struct TypeFigures {
  std::string precision = "NULL";
  std::string radix = "NULL";
  std::string scale = "NULL";
  std::string datetime_precision = "NULL";
};

TypeFigures FiguresOf(const ColumnType& type) {
  if (type.type == SqlType::kDecimal) return {std::to_string(type.precision), "10", std::to_string(type.scale)};
  switch (type.type) {
    case SqlType::kTinyInt: return {"3", "10", "0"};
    case SqlType::kSmallInt: return {"5", "10", "0"};
    case SqlType::kInt: return {"10", "10", "0"};
    case SqlType::kBigInt: return {"19", "10", "0"};
    case SqlType::kMoney: return {"19", "10", "4"};
    case SqlType::kSmallMoney: return {"10", "10", "4"};
    case SqlType::kFloat: return {"53", "2"};
    case SqlType::kReal: return {"24", "2"};
    case SqlType::kDateTime: return {"NULL", "NULL", "NULL", "3"};
    case SqlType::kSmallDateTime: return {"NULL", "NULL", "NULL", "0"};
    default: return {};
  }
}

// Every column of every table, in table order: its default as SQL Server
// keeps it (in parentheses), and the figures of its type.
Rows ColumnRows(const Catalog& catalog, const std::string& database) {
  Rows rows;
  const std::string db = Text(database), dbo = Text("dbo");
  for (const TableMeta* t : catalog.Tables()) {
    const std::string table = Text(t->name);
    for (std::size_t i = 0; i < t->columns.size(); ++i) {
      const ColumnMeta& c = t->columns[i];
      const std::string type = TypeBaseName(c.type);
      std::string length = "NULL", octets = "NULL", charset = "NULL", collation = "NULL";
      if (const auto lengths = CharacterLengthsOf(c.type)) {
        length = std::to_string(lengths->characters);
        octets = std::to_string(lengths->octets);
        charset = Text(IsUnicodeType(c.type.type) ? "UNICODE" : "cp936");
        collation = Text(kServerCollation);
      }
      const auto kept = KeptDefault(c);
      const std::string fallback = kept ? Text(*kept) : "NULL";
      const TypeFigures f = FiguresOf(c.type);
      rows.push_back({db, dbo, table, Text(c.name), std::to_string(i + 1), fallback, Text(c.nullable ? "YES" : "NO"),
                      Text(type), length, octets, f.precision, f.radix, f.scale, f.datetime_precision, charset,
                      collation});
    }
  }
  return rows;
}

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

// Every foreign key with the key of the referenced table it refers to:
// the primary or unique key made of the referenced columns.
Rows ReferentialConstraintRows(const Catalog& catalog, const std::string& database) {
  Rows rows;
  const std::string db = Text(database), dbo = Text("dbo"), no_action = Text("NO ACTION");
  for (const TableMeta* t : catalog.Tables()) {
    for (const ForeignKeyMeta& f : t->foreign_keys) {
      const KeyMeta* key = ReferencedKey(catalog, f);
      const std::string unique = key ? Text(key->name) : "NULL";
      rows.push_back({db, dbo, Text(f.name), db, dbo, unique, Text("SIMPLE"), no_action, no_action});
    }
  }
  return rows;
}

const ViewDefinition kViews[] = {
    {"COLUMNS", kColumns, &ColumnRows},
    {"TABLE_CONSTRAINTS", kTableConstraints, &TableConstraintRows},
    {"KEY_COLUMN_USAGE", kKeyColumnUsage, &KeyColumnUsageRows},
    {"REFERENTIAL_CONSTRAINTS", kReferentialConstraints, &ReferentialConstraintRows},
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

std::vector<OutputColumn> OutputColumnsOf(std::span<const ViewColumn> columns) {
  std::vector<OutputColumn> out;
  for (const ViewColumn& c : columns) {
    OutputColumn oc;
    oc.name = c.name;
    oc.type = TypeOf(c.type);
    oc.column = c.type;
    oc.nullable = c.nullable;
    out.push_back(std::move(oc));
  }
  return out;
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
  out.columns = OutputColumnsOf(v->columns);
  out.sql = RowsSql(v->columns.size(), v->rows(catalog, database));
  return out;
}

std::vector<SystemView> InformationSchemaViews() {
  std::vector<SystemView> out;
  for (const auto& v : kViews) out.push_back({std::string(v.name), "", OutputColumnsOf(v.columns)});
  return out;
}

std::optional<std::string> KeptDefault(const ColumnMeta& column) {
  if (!column.default_value) return std::nullopt;
  const std::string& written = column.default_text;
  if (!written.empty() && written.front() == '(' && written.back() == ')') return written;
  return "(" + written + ")";
}

std::optional<CharacterLengths> CharacterLengthsOf(const ColumnType& type) {
  if (!IsCharType(type.type)) return std::nullopt;
  const bool unicode = IsUnicodeType(type.type);
  if (type.type == SqlType::kText) return CharacterLengths{2147483647, 2147483647};
  if (type.type == SqlType::kNText) return CharacterLengths{1073741823, 2147483646};
  if (type.length < 0) return CharacterLengths{-1, -1};
  return CharacterLengths{type.length, unicode ? 2 * std::int64_t{type.length} : type.length};
}

const KeyMeta* ReferencedKey(const Catalog& catalog, const ForeignKeyMeta& foreign_key) {
  const TableMeta* parent = catalog.FindTable(foreign_key.ref_table);
  if (!parent) return nullptr;
  for (const KeyMeta& k : parent->keys) {
    bool same = k.columns.size() == foreign_key.ref_columns.size();
    for (std::size_t i = 0; same && i < k.columns.size(); ++i) {
      bool listed = false;
      for (const auto& c : foreign_key.ref_columns) {
        listed = listed || com::SameName(parent->columns[static_cast<std::size_t>(k.columns[i])].name, c);
      }
      same = listed;
    }
    if (same) return &k;
  }
  return nullptr;
}

}  // namespace sqlsrv
