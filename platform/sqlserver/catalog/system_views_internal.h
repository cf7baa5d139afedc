// The views of the catalog as data, for system_views.cpp and the files that
// define them (information_schema_views.cpp, catalog_views.cpp,
// system_tables.cpp) only: each view is its columns and a function making
// its rows, every value a SQLite literal.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/translation/translate.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv::views {

struct ViewColumn {
  const char* name;
  ColumnType type;
  bool nullable;
  // The literal every row holds here, when the column is one of SQL
  // Server's that the server's objects all answer alike (a flag of a
  // feature it lacks, say); null when the rows give it.
  const char* value = nullptr;
};

// A view's rows, each value a SQLite literal: the values of the columns
// without a `value` of their own, in column order.
using Rows = std::vector<std::vector<std::string>>;

// What a view's rows are read from.
struct ViewContext {
  const Catalog& catalog;  // refreshed
  const SessionState& session;
};

struct ViewDefinition {
  std::string_view name;
  std::span<const ViewColumn> columns;
  Rows (*rows)(const ViewContext& context);
  bool server_wide = false;  // the server's, not the database's: may be qualified with master
};

// The views of each schema; system_views.cpp finds a name among them.
std::span<const ViewDefinition> InformationSchemaDefinitions();
std::span<const ViewDefinition> CatalogViewDefinitions();   // sys
std::span<const ViewDefinition> SystemTableDefinitions();   // dbo

// Column types as SQL Server gives them.
inline constexpr ColumnType kSysname{SqlType::kNVarChar, 128};
inline constexpr ColumnType kInt{SqlType::kInt, 0};
inline constexpr ColumnType kSmallInt{SqlType::kSmallInt, 0};
inline constexpr ColumnType kTinyInt{SqlType::kTinyInt, 0};
inline constexpr ColumnType kBigInt{SqlType::kBigInt, 0};
inline constexpr ColumnType kBit{SqlType::kBit, 0};
inline constexpr ColumnType kDateTime{SqlType::kDateTime, 0};
inline constexpr ColumnType kDescription{SqlType::kNVarChar, 60};  // the *_desc columns
inline constexpr ColumnType kDefinition{SqlType::kNVarChar, -1};   // nvarchar(max)
inline constexpr ColumnType kImage{SqlType::kImage, -1};
// binary(n) and varbinary(n) columns, whose values the server does not keep
// (they are NULL).
constexpr ColumnType Binary(int length) { return {SqlType::kBinary, length}; }
constexpr ColumnType VarBinary(int length) { return {SqlType::kVarBinary, length}; }

// A view's columns: `base` (the columns a view inherits, sys.objects'
// say), then `more`.
std::vector<ViewColumn> Inherit(std::span<const ViewColumn> base, std::initializer_list<ViewColumn> more);

// Literals.
inline constexpr char kNull[] = "NULL";
std::string Text(std::string_view s);                       // 'text', quotes doubled
std::string Number(std::int64_t v);
inline std::string Bit(bool v) { return v ? "1" : "0"; }
std::string DateOrNull(const std::string& stored);          // a stored datetime, NULL for ""
std::string TextOrNull(const std::optional<std::string>& s);

}  // namespace sqlsrv::views
