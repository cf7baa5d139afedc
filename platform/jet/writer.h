// Writes Jet 4 (Access 2000/2003) database files: the shipped model list,
// test fixtures and benchmark sources. Tables are written one after
// another, their rows streamed to disk, so a table may hold millions of
// rows in constant memory.
//
//   jet::Writer w(path, {.password = "pw"});
//   w.BeginTable({"Depart", {{"DepID", jet::ColumnType::kLong}, ...}});
//   w.AppendRow(row);  // one Variant per column
//   w.EndTable();
//   w.Finish();        // catalog and header; the file is complete
//
// A table's indexes are written when it ends: their keys (a few bytes
// more than the key values per row and index) are the one part of a table
// held in memory until then.
//
// Every failure raises com::Error. A Writer destroyed before Finish
// removes the partial file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/variant.h"
#include "platform/jet/definition.h"

namespace jet {

// Jet's numbers for the errors the writer shares with it.
inline constexpr std::int32_t kErrFileExists = 3204;    // the database already exists
inline constexpr std::int32_t kErrDuplicateKey = 3022;  // a unique index would hold a key twice
inline constexpr std::int32_t kErrNullKey = 3058;       // a primary key would hold a null

struct WriterOptions {
  std::string password;  // database password, up to 20 characters; empty for none
  bool create_new = false;  // refuse a file already at the path instead of replacing it
};

class Writer {
 public:
  // Creates (or truncates) the file at `path`; with `create_new`, raises
  // kErrFileExists when a file is there, leaving it untouched.
  Writer(const std::string& path, const WriterOptions& options = {});
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Starts a table; raises for an empty, duplicate or over-long name, no or
  // duplicate columns, a bad text or binary length, a decimal precision
  // outside 1 to 28 or scale outside 0 to the precision, an AutoNumber
  // column that is not Long, an index that names no column, a missing,
  // Memo, OLE Object, Binary or Decimal column, more than 10 columns, a
  // second primary key, or a table already open. Index keys may be of
  // every other column type; text keys are ordered case-insensitively (see
  // AppendTextKey in writer_encode.h).
  void BeginTable(const TableSchema& table);

  // Appends a row, one value per column in the table's order. Accepted:
  // null (unless the column is required) and, by column type,
  //   kBoolean  Bool or any integer (non-zero is Yes)
  //   kByte, kInteger, kLong  any integer type within range
  //   kCurrency Currency, or an integer type
  //   kSingle, kDouble  R4, R8, or an integer type
  //   kDateTime Date
  //   kText, kMemo  Text (valid UTF-8; kText at most max_length UTF-16 units)
  //   kBinary, kOle  Bytes, or Text of "0x" and hex digits (either case);
  //             kBinary at most max_length bytes
  //   kDecimal  Decimal, Currency or any integer type, with at most
  //             precision - scale digits before the point and scale after
  //             it (trailing zeros aside; nothing is rounded)
  //   kReplicationId  Text of a GUID
  // Anything else raises, naming the table, the row number and the column.
  void AppendRow(const std::vector<com::Variant>& values);

  // Writes the table's indexes and its definition. Raises when a unique
  // index holds two rows with the same key, or a primary key a null, naming
  // the index and the rows.
  void EndTable();

  // Writes the catalog and the header; the file is complete and closed.
  void Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace jet
