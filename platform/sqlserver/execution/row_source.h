// Rows held in memory, read by SQLite as a table: the table-valued function
// vk_rows, whose one argument is a RowSource bound with BindRowSource.
//
//   INSERT INTO t (a, b) SELECT c0, c1 FROM vk_rows(?1)
//
// stores a whole batch of rows in one statement. A statement per row costs
// SQLite its start, its end and its statement journal (a copy of every page
// the row touches) once per row; here once per batch. Each value is handed
// to SQLite as it is, so a row stored this way is stored exactly as the
// same values bound to an INSERT ... VALUES would be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {

// One value of a row: a stored value's kind and content, the text or the
// bytes left where they are.
struct CellValue {
  Stored::Kind kind = Stored::kNull;
  std::int64_t i = 0;
  double r = 0;
  std::string_view bytes;  // text (UTF-8) or a blob's bytes
};

// A stored value as a cell; `v` must outlive the cell.
CellValue CellOf(const Stored& v);

// Rows of `columns` values each, row after row, in `cells`. The cells must
// stay unchanged until the statement reading them has run.
struct RowSource {
  std::size_t columns = 0;
  std::size_t rows = 0;
  const CellValue* cells = nullptr;
};

// The most values a row of vk_rows has (c0 .. c1023): as many columns as a
// SQL Server table may have.
inline constexpr std::size_t kRowSourceColumns = 1024;

// Makes vk_rows known to a connection.
void RegisterRowSource(sqlite3* db);

// "SELECT c0, c1, ... FROM vk_rows(?<parameter>)" for `columns` values.
std::string RowSourceSelect(std::size_t columns, int parameter);

// Binds `rows` to parameter `parameter` of a statement reading vk_rows.
void BindRowSource(Prepared& statement, int parameter, const RowSource* rows);

// Binds a cell to parameter `parameter`, its text or bytes in place.
void BindCell(Prepared& statement, int parameter, const CellValue& cell);

}  // namespace sqlsrv
