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
// Every failure raises com::Error. A Writer destroyed before Finish
// removes the partial file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/variant.h"

namespace jet {

// Column types, numbered as Jet numbers them in its table definitions.
enum class ColumnType : std::uint8_t {
  kBoolean = 0x01,   // Yes/No
  kByte = 0x02,
  kInteger = 0x03,   // 16-bit
  kLong = 0x04,      // 32-bit
  kCurrency = 0x05,  // 64-bit count of 1/10000
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kText = 0x0A,      // up to 255 characters
  kMemo = 0x0C,
};

struct ColumnSpec {
  std::string name;
  ColumnType type;
  int max_length = 255;   // kText: characters, 1..255
  bool required = false;  // rows must give a value (no null)
  bool compressed = true; // kText/kMemo: Unicode compression allowed
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
};

struct WriterOptions {
  std::string password;  // database password, up to 20 characters; empty for none
};

class Writer {
 public:
  // Creates (or truncates) the file at `path`.
  Writer(const std::string& path, const WriterOptions& options = {});
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Starts a table; raises for an empty, duplicate or over-long name, no or
  // duplicate columns, a bad text length, or a table already open.
  void BeginTable(const TableSpec& table);

  // Appends a row, one value per column in the table's order. Accepted:
  // null (unless the column is required) and, by column type,
  //   kBoolean  Bool or any integer (non-zero is Yes)
  //   kByte, kInteger, kLong  any integer type within range
  //   kCurrency Currency, or an integer type
  //   kSingle, kDouble  R4, R8, or an integer type
  //   kDateTime Date
  //   kText, kMemo  Text (valid UTF-8; kText at most max_length UTF-16 units)
  // Anything else raises, naming the table, the row number and the column.
  void AppendRow(const std::vector<com::Variant>& values);

  void EndTable();

  // Writes the catalog and the header; the file is complete and closed.
  void Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace jet
