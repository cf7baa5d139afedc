#include "platform/sqlserver/table_definition.h"

#include "platform/com/names.h"
#include "platform/com/quote.h"

namespace sqlsrv {
namespace {

// Every row of a query, read whole (the views are small).
std::vector<dts::Row> All(dts::Session& session, const std::string& sql) {
  auto reader = session.Query(sql);
  std::vector<dts::Row> rows;
  dts::Row row;
  while (reader->Next(row)) rows.push_back(row);
  return rows;
}

std::string TextOf(const com::Variant& v) { return v.IsNull() || v.IsEmpty() ? std::string() : v.ToText(); }

}  // namespace

int TableDefinition::Find(std::string_view column) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (com::SameName(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

std::string TableNameOf(std::string_view object) { return com::ObjectNameParts(object).back(); }

TableDefinition ReadTableDefinition(dts::Session& session, std::string_view object_name) {
  TableDefinition d;
  d.table = TableNameOf(object_name);
  d.columns = session.DescribeTable(object_name);
  const std::string table = "N" + com::Quoted(d.table, '\'', '\'');

  d.defaults.assign(d.columns.size(), "");
  for (const auto& row : All(session, "SELECT COLUMN_NAME, COLUMN_DEFAULT FROM INFORMATION_SCHEMA.COLUMNS "
                                      "WHERE TABLE_NAME = " + table + " AND TABLE_SCHEMA = N'dbo'")) {
    const int i = d.Find(TextOf(row[0]));
    if (i >= 0) d.defaults[static_cast<std::size_t>(i)] = TextOf(row[1]);
  }

  for (const auto& row :
       All(session, "SELECT t.CONSTRAINT_NAME, t.CONSTRAINT_TYPE, k.COLUMN_NAME "
                    "FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS t JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE k "
                    "ON k.CONSTRAINT_NAME = t.CONSTRAINT_NAME AND k.TABLE_NAME = t.TABLE_NAME "
                    "WHERE t.TABLE_NAME = " + table + " AND t.TABLE_SCHEMA = N'dbo' "
                    "AND t.CONSTRAINT_TYPE IN ('PRIMARY KEY', 'UNIQUE') "
                    "ORDER BY t.CONSTRAINT_NAME, k.ORDINAL_POSITION")) {
    const std::string name = TextOf(row[0]);
    if (d.keys.empty() || d.keys.back().name != name) {
      d.keys.push_back({name, com::SameName(TextOf(row[1]), "PRIMARY KEY"), {}});
    }
    d.keys.back().columns.push_back(TextOf(row[2]));
  }

  for (const auto& row :
       All(session, "SELECT r.CONSTRAINT_NAME, f.COLUMN_NAME, p.TABLE_NAME, p.COLUMN_NAME "
                    "FROM INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS r "
                    "JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE f ON f.CONSTRAINT_NAME = r.CONSTRAINT_NAME "
                    "JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE p ON p.CONSTRAINT_NAME = r.UNIQUE_CONSTRAINT_NAME "
                    "AND p.ORDINAL_POSITION = f.ORDINAL_POSITION "
                    "WHERE f.TABLE_NAME = " + table + " AND f.TABLE_SCHEMA = N'dbo' "
                    "ORDER BY r.CONSTRAINT_NAME, f.ORDINAL_POSITION")) {
    const std::string name = TextOf(row[0]);
    if (d.foreign_keys.empty() || d.foreign_keys.back().name != name) {
      d.foreign_keys.push_back({name, {}, TextOf(row[2]), {}});
    }
    d.foreign_keys.back().columns.push_back(TextOf(row[1]));
    d.foreign_keys.back().parent_columns.push_back(TextOf(row[3]));
  }
  return d;
}

}  // namespace sqlsrv
