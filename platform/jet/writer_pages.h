// Page structures of a Jet 4 file as the writer builds them: data and
// long-value pages, page usage maps, index trees and table definitions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/jet/format.h"
#include "platform/jet/writer_encode.h"
#include "platform/jet/writer_file.h"

namespace jet::wr {

// A row's address as usage maps and long values hold it.
constexpr std::uint32_t RowPointer(std::uint32_t page, std::uint32_t row) { return page << 8 | row; }

// A data page (or long-value page) being filled. Rows are placed from the
// end of the page towards its header, as Access places them.
class DataPage {
 public:
  static constexpr std::size_t kHeaderSize = 14;
  // Row numbers are one byte wide wherever rows are addressed.
  static constexpr int kMaxRows = 255;
  // The largest row an empty page holds.
  static constexpr std::size_t kMaxRowSize = kPageSize - kHeaderSize - 2;

  // Starts an empty page numbered `number` for the table defined on page
  // `owner`, or, with `long_values`, a page of long values.
  void Start(std::uint32_t number, std::uint32_t owner, bool long_values = false);
  bool started() const { return started_; }
  std::uint32_t number() const { return number_; }
  int rows() const { return rows_; }
  std::size_t free_space() const { return free_; }
  // True when a row of `size` bytes fits.
  bool Fits(std::size_t size) const { return rows_ < kMaxRows && size + 2 <= free_; }
  // Adds a row that fits and returns its number on the page.
  std::uint32_t Add(const std::uint8_t* data, std::size_t size);
  // Completes the header; the page is ready to write. The page stays
  // started until Clear.
  const Page& Finish();
  void Clear() { started_ = false; }

 private:
  Page page_{};
  std::uint32_t number_ = 0;
  int rows_ = 0;
  std::size_t free_ = 0;
  std::size_t top_ = kPageSize;  // start of the lowest row
  bool started_ = false;
};

// A set of page numbers, kept as a bitmap over the span it covers.
class PageSet {
 public:
  void Add(std::uint32_t page);
  bool Contains(std::uint32_t page) const;
  bool empty() const { return count_ == 0; }
  std::uint32_t size() const { return count_; }
  std::uint32_t lowest() const { return lowest_; }
  std::uint32_t highest() const { return highest_; }

 private:
  std::uint32_t base_ = 0;
  std::vector<std::uint8_t> bits_;
  std::uint32_t count_ = 0;
  std::uint32_t lowest_ = 0;
  std::uint32_t highest_ = 0;
};

// Size of the usage map rows this writer makes.
inline constexpr std::size_t kUsageMapSize = 69;

// Builds the usage map of `pages`: an inline map (type 0: a start page and
// a 64-byte bitmap) when the pages fit one 512-page window, otherwise a
// reference map (type 1) naming bitmap pages (type 0x05), which are
// allocated and written here.
Bytes BuildUsageMap(const PageSet& pages, PageFile* file);

// Places usage map rows on pages: the number of pages `count` rows need,
// and the address of row `i` when those pages are `pages`.
std::uint32_t UsageMapPages(std::size_t count);
std::uint32_t UsageMapPointer(const std::vector<std::uint32_t>& pages, std::size_t i);
// Writes `rows` (all kUsageMapSize bytes) onto `pages`.
void WriteUsageMapPages(const std::vector<Bytes>& rows, const std::vector<std::uint32_t>& pages,
                        PageFile* file);

// One entry of an index: its key and the row it points at.
struct IndexEntry {
  Bytes key;
  std::uint32_t page = 0;
  std::uint32_t row = 0;
};

// The entries of one index, kept flat (a table may have millions): each
// its key followed by the row's address as a leaf holds it (the page in 3
// bytes and the row in 1, big-endian), with the number of the row it came
// from, counting from 1.
class IndexEntries {
 public:
  // `has_null`: a column of the key is null.
  void Add(const Bytes& key, std::uint32_t page, std::uint32_t row, std::uint32_t row_number, bool has_null = false);
  std::size_t size() const { return starts_.size(); }
  // Orders the entries by their bytes: key, then row address.
  void Sort();
  // Entry `i` (in the order Sort made), its bytes and the row it came from.
  const std::uint8_t* data(std::size_t i) const { return bytes_.data() + starts_[order_[i]]; }
  std::size_t length(std::size_t i) const;
  std::uint32_t row_number(std::size_t i) const { return row_numbers_[order_[i]]; }
  bool has_null(std::size_t i) const { return nulls_[order_[i]]; }
  // True when sorted entries `i` and `i + 1` have the same key.
  bool SameKey(std::size_t i) const;

 private:
  Bytes bytes_;
  std::vector<std::size_t> starts_;
  std::vector<std::uint32_t> row_numbers_;
  std::vector<bool> nulls_;
  std::vector<std::uint32_t> order_;
};

// Writes an index over sorted `entries` for the table defined on
// `tdef_page`: leaf pages, and node pages above them when one leaf is not
// enough. The first page written is `first_page`, allocated by the caller;
// more are allocated as needed. Returns the root page; `pages` receives
// every page of the index.
std::uint32_t WriteIndex(const IndexEntries& entries, std::uint32_t tdef_page, std::uint32_t first_page,
                         PageFile* file, PageSet* pages);
// The same over `entries` in any order.
std::uint32_t WriteIndex(std::vector<IndexEntry> entries, std::uint32_t tdef_page,
                         std::uint32_t first_page, PageFile* file, PageSet* pages);

// A column as a table-definition page records it: its place in the row,
// its size and flags, and the usage maps of a long-value column's pages.
struct TdefColumn {
  std::u16string name;
  std::uint8_t type = 0;
  std::uint16_t number = 0;         // position in the row
  std::uint16_t var_index = 0;      // variable columns: slot; fixed: variable columns before it
  std::uint16_t fixed_offset = 0;   // fixed columns: offset in the fixed area
  std::uint16_t length = 0;         // bytes (text: two per character)
  std::uint16_t second_number = 0;  // repeats the number in user tables (plus one)
  std::uint8_t flags = 0;           // 0x01 fixed length, 0x02 updatable, 0x04 AutoNumber, 0x10 system
  std::uint8_t misc_flags = 0;      // 0x01 compressed Unicode
  std::uint8_t precision = 0;       // decimal columns: digits in all
  std::uint8_t scale = 0;           //   and after the point
  // Long-value columns (memo, OLE): usage maps of their pages.
  std::uint32_t lv_used_map = 0;
  std::uint32_t lv_free_map = 0;

  bool fixed() const { return (flags & 0x01) != 0; }
  bool long_value() const { return type == kTypeMemo || type == kTypeOle; }
};

// Fixed length in the row of a fixed column type; 0 for variable types.
std::uint16_t FixedSize(std::uint8_t type);
// Assigns numbers, variable slots and fixed offsets to `columns`, given in
// row order.
void LayoutColumns(std::vector<TdefColumn>* columns);

// An index of a table definition.
struct IndexDef {
  std::u16string name;
  std::vector<std::uint16_t> columns;  // column numbers
  std::uint8_t flags = 0x80;           // 0x01 unique, 0x02 ignore nulls, 0x08 required
  bool primary = false;
  std::uint32_t used_map = 0;
  std::uint32_t first_page = 0;
  std::vector<bool> descending{};      // by key column; missing ones ascend
};

struct TableDef {
  bool system = false;  // system tables list columns and indexes by name
  std::uint32_t rows = 0;
  std::uint32_t last_autonumber = 0;  // the highest AutoNumber given so far
  std::uint32_t used_map = 0;
  std::uint32_t free_map = 0;
  std::vector<TdefColumn> columns;  // row order
  std::vector<IndexDef> indexes;   // physical order
};

// Builds rows in the Jet 4 layout: the column count, the fixed-length
// columns, the variable-length data, the offset of its end, the offsets of
// the variable columns (last first), their count, and the null mask (a set
// bit is a value; Boolean values are the bit itself).
class RowBuilder {
 public:
  // Binds the builder to `columns` (row order), which must outlive it.
  void Bind(const std::vector<TdefColumn>* columns);
  // Makes every column null.
  void Clear();
  // Returns the room for a fixed column's value and marks it present.
  std::uint8_t* SetFixed(std::size_t column);
  void SetBoolean(std::size_t column, bool value);
  // Returns the emptied buffer for a variable column's value and marks it
  // present.
  Bytes* SetVariable(std::size_t column);
  void SetNull(std::size_t column);
  // Whether a column has a value (of a Yes/No column: the value itself),
  // and where a fixed column's value is.
  bool Present(std::size_t column) const;
  const std::uint8_t* Fixed(std::size_t column) const { return &fixed_[(*columns_)[column].fixed_offset]; }
  // Size of the row Build would make.
  std::size_t Size() const;
  const Bytes& Build();

 private:
  const std::vector<TdefColumn>* columns_ = nullptr;
  std::size_t fixed_size_ = 0;
  Bytes fixed_;
  std::vector<Bytes> var_;          // by variable slot
  std::vector<std::uint8_t> var_present_;
  Bytes mask_;
  std::vector<std::uint16_t> offsets_;  // scratch of Build
  Bytes row_;
};

// Long values (memo and OLE data) of one column, kept on long-value pages.
// A value is referred to from its row by a 12-byte field: its length with
// a flag in the top byte (0x80 the data follows inline, 0x40 one row on a
// long-value page, 0 a chain of pages), the address of that row, and four
// zero bytes.
class LongValueStore {
 public:
  // Longest value kept inline in its row.
  static constexpr std::size_t kMaxInline = 64;
  // Bytes of a value per page of a chain (after the 4-byte link).
  static constexpr std::size_t kChunk = 4072;
  // Longest value a field can describe.
  static constexpr std::size_t kMaxLength = 0xFFFFFF;

  // Appends the field of `data` kept inline.
  static void AppendInline(const Bytes& data, Bytes* field);
  // Stores `data` on long-value pages and appends the field pointing at it.
  void Store(const Bytes& data, PageFile* file, Bytes* field);
  // Writes the page being filled.
  void Flush(PageFile* file);
  // Pages used, and those with room left.
  const PageSet& pages() const { return pages_; }
  const PageSet& free_pages() const { return free_; }

 private:
  DataPage page_;
  PageSet pages_;
  PageSet free_;
};

// The table definition as stored, from its first byte (the first 8 bytes,
// the page header, are filled in when written).
Bytes SerializeTableDefinition(const TableDef& table);
// Number of pages a definition of `size` bytes needs.
std::uint32_t TableDefinitionPages(std::size_t size);
// Writes a serialized definition onto `pages` (TableDefinitionPages of them).
void WriteTableDefinition(const Bytes& tdef, const std::vector<std::uint32_t>& pages, PageFile* file);

}  // namespace jet::wr
