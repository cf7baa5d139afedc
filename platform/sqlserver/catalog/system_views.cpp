// Finding a view of the catalog by name and writing its rows as SQL: a
// name's schema picks the set of views it is looked up in (the views
// themselves are data, in information_schema_views.cpp, catalog_views.cpp
// and system_tables.cpp); the rows become literal rows of a VALUES list.
#include "platform/sqlserver/catalog/system_views.h"

#include <span>
#include <stdexcept>
#include <string_view>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/catalog/system_views_internal.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {

namespace views {

std::vector<ViewColumn> Inherit(std::span<const ViewColumn> base, std::initializer_list<ViewColumn> more) {
  std::vector<ViewColumn> out(base.begin(), base.end());
  out.insert(out.end(), more.begin(), more.end());
  return out;
}

std::string Text(std::string_view s) { return com::Quoted(s, '\'', '\''); }
std::string Number(std::int64_t v) { return std::to_string(v); }
std::string DateOrNull(const std::string& stored) { return stored.empty() ? kNull : Text(stored); }
std::string TextOrNull(const std::optional<std::string>& s) { return s ? Text(*s) : kNull; }

}  // namespace views

namespace {

using views::Rows;
using views::ViewColumn;
using views::ViewDefinition;

bool InSysSchema(const ast::ObjectName& name) { return com::SameName(name.schema, "sys"); }
bool InDboSchema(const ast::ObjectName& name) { return name.schema.empty() || com::SameName(name.schema, "dbo"); }

// The views a name's schema holds.
std::span<const ViewDefinition> ViewsOfSchema(const ast::ObjectName& name) {
  if (InInformationSchema(name)) return views::InformationSchemaDefinitions();
  if (InSysSchema(name)) return views::CatalogViewDefinitions();
  if (InDboSchema(name)) return views::SystemTableDefinitions();
  return {};
}

const ViewDefinition* FindView(const ast::ObjectName& name, const std::string& database) {
  for (const ViewDefinition& v : ViewsOfSchema(name)) {
    if (!com::SameName(v.name, name.object)) continue;
    const bool here = name.database.empty() || com::SameName(name.database, database) ||
                      (v.server_wide && com::SameName(name.database, "master"));
    return here ? &v : nullptr;
  }
  return nullptr;
}

// "SELECT column1 AS c1, ... FROM (VALUES (...), ...)", each column with a
// value of its own written in place: a VALUES list is not bound by
// SQLite's limit on compound SELECTs, so any number of rows fits. With no
// rows, a SELECT of NULLs that yields none.
std::string RowsSql(std::span<const ViewColumn> columns, const Rows& rows, std::string_view view) {
  std::size_t given = 0;
  for (const ViewColumn& c : columns) given += c.value ? 0 : 1;
  for (const auto& row : rows) {
    if (row.size() != given || given == 0) {
      throw std::logic_error("the view " + std::string(view) + " made a row of " + std::to_string(row.size()) +
                             " values for " + std::to_string(given) + " columns");
    }
  }
  std::string sql = "SELECT ";
  std::size_t next = 1;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string value = columns[i].value ? std::string(columns[i].value)
                              : rows.empty()   ? std::string("NULL")
                                               : "column" + std::to_string(next++);
    sql += (i ? ", " : "") + value + " AS c" + std::to_string(i + 1);
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
  for (const ViewColumn& c : columns) out.push_back(OutputColumnOfType(c.name, c.type, c.nullable));
  return out;
}

std::vector<SystemView> Described(std::span<const ViewDefinition> definitions, bool server_wide) {
  std::vector<SystemView> out;
  for (const ViewDefinition& v : definitions) {
    if (v.server_wide == server_wide) out.push_back({std::string(v.name), "", OutputColumnsOf(v.columns)});
  }
  return out;
}

}  // namespace

bool InInformationSchema(const ast::ObjectName& name) { return com::SameName(name.schema, "INFORMATION_SCHEMA"); }

bool IsSystemViewName(const ast::ObjectName& name) {
  return InInformationSchema(name) || InSysSchema(name) || (InDboSchema(name) && IsSystemTableName(name.object));
}

bool IsSystemTableName(std::string_view name) {
  for (const ViewDefinition& v : views::SystemTableDefinitions()) {
    if (com::SameName(v.name, name)) return true;
  }
  return false;
}

bool SystemViewExists(const ast::ObjectName& name, const std::string& database) {
  return FindView(name, database) != nullptr;
}

SystemView SystemViewOf(const ast::ObjectName& name, const Catalog& catalog, const SessionState& session) {
  const ViewDefinition* v = FindView(name, session.database);
  if (!v) throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  const Rows rows = v->rows(views::ViewContext{catalog, session});
  SystemView out;
  out.name = std::string(v->name);
  out.columns = OutputColumnsOf(v->columns);
  out.sql = RowsSql(v->columns, rows, v->name);
  return out;
}

std::vector<SystemView> InformationSchemaViews() { return Described(views::InformationSchemaDefinitions(), false); }

std::vector<SystemView> SystemTables() { return Described(views::SystemTableDefinitions(), false); }

std::optional<std::string> KeptDefault(const ColumnMeta& column) {
  if (!column.default_value) return std::nullopt;
  const std::string& written = column.default_text;
  if (!written.empty() && written.front() == '(' && written.back() == ')') return written;
  return "(" + written + ")";
}

std::optional<CharacterLengths> CharacterLengthsOf(const ColumnType& type) {
  if (!IsCharType(type.type) && !IsBinaryType(type.type)) return std::nullopt;
  const bool unicode = IsUnicodeType(type.type);
  if (type.type == SqlType::kText || type.type == SqlType::kImage) return CharacterLengths{2147483647, 2147483647};
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
