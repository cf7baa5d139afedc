// A Jet table's schema: its name, its typed columns in row order and its
// indexes, as the reader reads it from a file's table definition
// (Database::ReadTableSchema) and the writer writes it (Writer::BeginTable).
// The page-level layout is TableLayout (table_layout.h) for the reader and
// the writer's own records (writer_pages.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

// Column types, numbered as Jet numbers them in its table definitions: all
// those of Jet 4 tables except the Replication ID below.
enum class ColumnType : std::uint8_t {
  kBoolean = 0x01,   // Yes/No
  kByte = 0x02,
  kInteger = 0x03,   // 16-bit
  kLong = 0x04,      // 32-bit
  kCurrency = 0x05,  // 64-bit count of 1/10000
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,    // up to 255 bytes
  kText = 0x0A,      // up to 255 characters
  kOle = 0x0B,       // OLE Object: bytes of any length, kept like a memo
  kMemo = 0x0C,
  kDecimal = 0x10,   // exact decimal of up to 28 digits
};

// Replication ID: a 16-byte GUID, written from its text ("{8-4-4-4-12}
// hex digits", as the reader gives it). Kept
// out of the enumeration, whose switches (the schema's text fields among
// them) list the types tables are made of.
inline constexpr ColumnType kReplicationId = static_cast<ColumnType>(0x0F);

// The name Access gives the type ("Long", "Date/Time", ...).
const char* ColumnTypeName(ColumnType type);

struct ColumnDefinition {
  std::string name;
  ColumnType type;
  int max_length = 255;     // kText: characters, 1..255; kBinary: bytes, 1..255
  bool required = false;    // rows must give a value (no null)
  bool compressed = true;   // kText/kMemo: Unicode compression allowed
  bool autonumber = false;  // kLong: AutoNumber, numbered by Jet for new rows
  int precision = 18;       // kDecimal: digits in all, 1..28
  int scale = 0;            // kDecimal: digits after the point, 0..precision
};

// A column of an index key.
struct IndexColumn {
  std::string name;
  bool ascending = true;
};

// An index of a table. A primary key is unique and requires its values.
struct IndexDefinition {
  std::string name;
  std::vector<IndexColumn> columns;  // 1 to 10, in key order
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;  // rows whose key is all null are left out
  bool required = false;      // key columns may not be null
};

// A table as its designer sees it: what Writer::BeginTable creates.
struct TableSchema {
  std::string name;
  std::vector<ColumnDefinition> columns;  // row order
  std::vector<IndexDefinition> indexes;   // as the file lists them
};

}  // namespace jet
