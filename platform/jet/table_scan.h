// The live rows of one table in file order, and their values: the pages
// the table's usage map names, the rows of each, cut into their values.
//
// Every row is checked as it is cut: its column count, null mask, offset
// table and each value's bounds lie inside the row; a moved row's address
// leads to a row of the same table; a long value's rows lie within the
// file, are visited once and add up to no more than its length. A fault
// raises kErrNotJetDatabase (3343) naming the table, the page and the row.
// A scan holds a few pages and the current long value: memory does not
// grow with the table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/variant.h"
#include "platform/jet/data_page.h"
#include "platform/jet/header.h"
#include "platform/jet/table_layout.h"

namespace jet {

class TableScan {
 public:
  // Over `table` of the file `pages` reads; Jet 3 text is decoded from
  // `codepage`. `pages` outlives the scan.
  TableScan(const FilePages& pages, std::shared_ptr<const TableLayout> table, const std::string& codepage);
  ~TableScan();
  TableScan(const TableScan&) = delete;
  TableScan& operator=(const TableScan&) = delete;

  const TableLayout& table() const { return *table_; }

  // Moves to the next live row; false after the last.
  bool Next();
  // A column's value in the current row (`column` indexes table().columns):
  // Yes/No as kBool; numbers as their automation types; dates as kDate
  // (outside the years 100 to 9999 Jet keeps: damage); text and memos as
  // UTF-8; decimals as kDecimal text with the column's scale; replication
  // IDs as GUID text; binary and OLE data as "0x" and upper-case hex.
  void Decode(unsigned column, com::Variant* out);
  // The bytes of a Memo or OLE value in the current row; empty for null.
  void LongValue(unsigned column, std::string* out);

 private:
  // Where a value of the current row lies in it; null when absent.
  struct Field {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    bool null = true;  // Yes/No: the value is No
  };

  bool NextPage();
  // Cuts the row `slot` locates on `page` into fields_.
  void Cut(const unsigned char* page, const RowSlot& slot);
  // The page and row a moved row's address leads to, read into moved_.
  bool FollowMove(const RowSlot& slot);
  void ReadLongValue(unsigned column, const Field& f, std::string* bytes);
  void DecodeText(const unsigned char* p, std::size_t n, std::string* out);
  [[noreturn]] void Corrupt(std::uint32_t page, const std::string& fault) const;
  [[noreturn]] void CorruptRow(const std::string& fault) const;
  [[noreturn]] void CorruptField(unsigned column, const std::string& fault) const;

  const FilePages& pages_;
  std::shared_ptr<const TableLayout> table_;
  const bool jet3_;
  std::unique_ptr<CodePage> codepage_;  // Jet 3
  std::string data_pages_, long_values_;  // what the pages read are, for errors
  std::vector<unsigned char> page_, moved_, long_page_;
  std::uint32_t page_number_ = 0;  // of page_
  unsigned rows_ = 0, next_row_ = 0;
  // The current row, for errors: its page and number there.
  std::uint32_t row_page_ = 0;
  unsigned row_number_ = 0;
  std::vector<Field> fields_;
  std::vector<std::size_t> var_offsets_;
  std::string scratch_, bytes_;
  // Long-value bytes read so far. Each long-value row of a sound file
  // belongs to one value, so a scan reads no more than the file holds
  // (twice, when a filter reads a memo column again).
  std::uint64_t long_value_bytes_ = 0;
  bool done_ = false;
};

}  // namespace jet
