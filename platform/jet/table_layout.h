// A table's definition as a Jet file holds it: what the reader needs to
// find a table's rows and cut them into values. The definition starts on
// its own page (the catalog names it) and may go on over further pages,
// each after an 8-byte header; it holds the table's counts, the row
// address of its usage map, one entry per column, the column names, the
// indexes and their names.
//
// Reading it checks that it holds together: a chain of definition pages
// within the file, each visited once; entries and names inside the
// definition; at most 255 columns; column offsets and sizes a row can hold;
// decimal precision 1 to 28 and scale no greater; a usage map whose pages
// lie within the file. A fault raises kErrNotJetDatabase (3343) naming the
// table and the page or structure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/format.h"
#include "platform/jet/header.h"
#include "platform/jet/text.h"
#include "platform/jet/usage_map.h"

namespace jet {

struct ColumnLayout {
  std::string name;
  std::uint8_t type = 0;
  std::uint16_t number = 0;        // its bit in a row's null mask; orders the columns
  std::uint16_t var_index = 0;     // a variable column's entry in a row's offset table
  std::uint16_t fixed_offset = 0;  // where a fixed column's bytes start, after the row's column count
  std::uint16_t size = 0;          // bytes (Jet 4 text: two per character); 0 for Memo and OLE
  std::uint8_t flags = 0;          // 0x01 fixed length, 0x04 AutoNumber
  std::uint8_t misc_flags = 0;     // Jet 4: 0x01 Unicode compression
  std::uint8_t precision = 0;      // Decimal
  std::uint8_t scale = 0;

  bool fixed() const { return (flags & 0x01) != 0; }
  bool long_value() const { return type == kTypeMemo || type == kTypeOle; }
};

struct IndexKey {
  std::uint16_t column = 0;  // the column's number
  bool ascending = true;
};

// A logical index, with the keys and flags of the physical index behind it.
struct IndexLayout {
  std::string name;
  std::vector<IndexKey> keys;
  std::uint8_t flags = 0;  // 0x01 unique, 0x02 ignore nulls, 0x08 required
  std::uint8_t type = 0;   // 1 primary key, 2 a foreign key's reference to another table
};

struct TableLayout {
  std::string name;              // as the catalog spells it
  std::uint32_t page = 0;        // its first definition page
  std::int64_t row_count = 0;    // as the definition records it
  std::size_t var_columns = 0;   // variable-length columns
  std::vector<ColumnLayout> columns;  // ordered by number: the order of a row's values
  std::vector<IndexLayout> indexes;   // as the definition lists them
  std::shared_ptr<const UsageMap> pages;  // the pages the table owns
};

// Reads the definition of table `name` starting on `page`. Jet 3 names are
// decoded with `jet3_names` (null for Jet 4). Raises kErrNotJetDatabase
// for a definition that does not hold together.
TableLayout ReadTableLayout(const FilePages& pages, std::uint32_t page, const std::string& name,
                            CodePage* jet3_names);

}  // namespace jet
