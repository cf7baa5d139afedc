// jet::Writer streams tables into a Jet 4 file page by page. While a table
// is open, only its current data page and the current long-value page of
// each memo column are in memory; every other page is on disk. The pages a
// table uses are remembered as bitmaps (for its usage maps), and the
// catalog (MSysObjects, MSysACEs, ...) is written by Finish.
//
// Memo and OLE Object values are long values: each kept in its row when
// small, otherwise on the long-value pages of its column (see
// LongValueStore); memo text as Jet stores text, OLE data as given.
//
// Pages of a table: its definition and usage-map pages are reserved when
// the table begins (their size depends only on the columns) and written
// when it ends, once the row count and the pages used are known; data and
// long-value pages are allocated at the end of the file as they fill. A
// table's index keys are collected as its rows are stored, and its index
// pages written, sorted, when it ends.
#include "platform/jet/text.h"
#include "platform/jet/writer.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>

#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/numeric.h"
#include "platform/dts/binary_form.h"
#include "platform/jet/writer_catalog.h"
#include "platform/jet/writer_encode.h"
#include "platform/jet/writer_file.h"
#include "platform/jet/writer_pages.h"
#include "platform/port/system.h"

namespace jet {
namespace {

using wr::Bytes;

constexpr const char* kSource = "Jet.Writer";
constexpr std::size_t kMaxNameLength = 64;   // object and column names, UTF-16 units
constexpr std::size_t kMaxIndexes = 32;
// The longest key an index entry holds.
constexpr std::size_t kMaxKeySize = 255;
constexpr std::size_t kMaxPasswordLength = 20;
constexpr int kMaxTextLength = 255;
constexpr int kMaxBinaryLength = 255;
constexpr int kMaxDecimalPrecision = 28;
// Memo text is compressed only up to this many characters, as Access does.
constexpr std::size_t kMaxCompressedMemo = 1024;
// Dates Access accepts: 100-01-01 to 9999-12-31 (whole days outside).
constexpr double kMinDate = -657435.0;
constexpr double kMaxDate = 2958466.0;

// Where a long value (memo or OLE) of the row being built goes.
constexpr std::uint8_t kNoMemo = 0;      // null, or not a long-value column
constexpr std::uint8_t kMemoInline = 1;  // in the row
constexpr std::uint8_t kMemoOut = 2;     // on long-value pages

[[noreturn]] void Raise(std::int32_t number, const std::string& description) {
  throw com::Error(number, kSource, description);
}

[[noreturn]] void RaiseInvalid(const std::string& description) {
  Raise(com::kErrInvalidArgument, description);
}

bool Writable(ColumnType t) {
  if (t == kReplicationId) return true;
  switch (t) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
    case ColumnType::kCurrency:
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
    case ColumnType::kBinary:
    case ColumnType::kText:
    case ColumnType::kOle:
    case ColumnType::kMemo:
    case ColumnType::kDecimal:
      return true;
  }
  return false;
}

bool IsLongValue(ColumnType t) { return t == ColumnType::kMemo || t == ColumnType::kOle; }

// Column types an index key cannot hold here: long values, and binary and
// decimal data, whose key encodings the writer does not make.
bool Indexable(ColumnType t) {
  return !IsLongValue(t) && t != ColumnType::kBinary && t != ColumnType::kDecimal;
}

std::string MismatchText(com::VarType value, ColumnType column) {
  return "a value of type " + std::string(com::VarTypeName(value)) + " cannot be stored in a column of type " +
         ColumnTypeName(column);
}

bool IsInteger(com::VarType t) {
  return t == com::VarType::kI2 || t == com::VarType::kI4 || t == com::VarType::kI8 ||
         t == com::VarType::kUI1;
}

double NowOleDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  port::LocalTime(now, &local);
  com::CivilTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  return com::OleDateFromCivil(t);
}

void Store64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A GUID's text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", into its 16
// bytes as Jet stores them: the first three groups little-endian, the
// last two as written.
bool ParseGuid(const std::string& text, std::uint8_t* out) {
  static constexpr int kGroups[] = {8, 4, 4, 4, 12};
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  std::size_t at = 1, byte = 0;
  for (int g = 0; g < 5; ++g) {
    if (g > 0 && text[at++] != '-') return false;
    const std::size_t first = byte;
    for (int k = 0; k < kGroups[g]; k += 2, at += 2) {
      unsigned value = 0;
      for (int h = 0; h < 2; ++h) {
        const char c = text[at + static_cast<std::size_t>(h)];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
        if (d < 0) return false;
        value = value << 4 | static_cast<unsigned>(d);
      }
      out[byte++] = static_cast<std::uint8_t>(value);
    }
    if (g < 3) std::reverse(out + first, out + byte);
  }
  return true;
}

// Checks column `c` of table `table` and gives its entry in the table
// definition, before the layout places it in the row. `folded_names` holds
// the lower-case names of the columns before it and receives its own.
// Raises for a column a Jet table cannot hold.
wr::TdefColumn DefinitionColumn(const std::string& table, const ColumnDefinition& c,
                                std::vector<std::u16string>* folded_names) {
  const std::string where = "Jet table '" + table + "', column '" + c.name + "': ";
  wr::TdefColumn def;
  if (c.name.empty()) RaiseInvalid("Jet table '" + table + "': a column name is empty");
  if (!Utf8ToUtf16(c.name, &def.name)) {
    RaiseInvalid("Jet table '" + table + "': a column name is not valid UTF-8 text");
  }
  if (def.name.size() > kMaxNameLength) RaiseInvalid(where + "the name is longer than 64 characters");
  std::u16string folded = com::LowerAscii(def.name);
  if (std::find(folded_names->begin(), folded_names->end(), folded) != folded_names->end()) {
    RaiseInvalid(where + "duplicate column name");
  }
  folded_names->push_back(std::move(folded));
  if (!Writable(c.type)) {
    RaiseInvalid(where + "unknown column type " + std::to_string(static_cast<int>(c.type)));
  }
  if (c.autonumber && c.type != ColumnType::kLong) RaiseInvalid(where + "only a Long column can be an AutoNumber");
  def.type = static_cast<std::uint8_t>(c.type);
  def.flags = c.autonumber ? 0x06 : 0x02;  // updatable, AutoNumber
  if (c.type == ColumnType::kText) {
    if (c.max_length < 1 || c.max_length > kMaxTextLength) {
      RaiseInvalid(where + "text length " + std::to_string(c.max_length) + " is outside 1 to 255");
    }
    def.length = static_cast<std::uint16_t>(2 * c.max_length);
  }
  if (c.type == ColumnType::kBinary) {
    if (c.max_length < 1 || c.max_length > kMaxBinaryLength) {
      RaiseInvalid(where + "binary length " + std::to_string(c.max_length) + " is outside 1 to 255");
    }
    def.length = static_cast<std::uint16_t>(c.max_length);
  }
  if (c.type == ColumnType::kDecimal) {
    if (c.precision < 1 || c.precision > kMaxDecimalPrecision || c.scale < 0 || c.scale > c.precision) {
      RaiseInvalid(where + "decimal precision " + std::to_string(c.precision) + " and scale " +
                   std::to_string(c.scale) + " are outside precision 1 to 28, scale 0 to the precision");
    }
    def.precision = static_cast<std::uint8_t>(c.precision);
    def.scale = static_cast<std::uint8_t>(c.scale);
  }
  if ((c.type == ColumnType::kText || c.type == ColumnType::kMemo) && c.compressed) def.misc_flags = 0x01;
  return def;
}

std::uint32_t TableDefinitionSize(const wr::TableDef& def) {
  return static_cast<std::uint32_t>(wr::SerializeTableDefinition(def).size());
}

}  // namespace

class Writer::Impl {
 public:
  Impl(const std::string& path, const WriterOptions& options);

  void BeginTable(const TableSchema& table);
  void AppendRow(const std::vector<com::Variant>& values);
  void EndTable();
  void Finish();

 private:
  struct Index {
    IndexDefinition definition;
    std::vector<std::size_t> columns;  // key columns, by position
    wr::IndexEntries entries;
  };

  struct Table {
    std::string name;
    std::u16string name16;
    std::vector<ColumnDefinition> specs;
    wr::TableDef def;
    std::vector<std::uint32_t> tdef_pages;
    std::vector<std::uint32_t> map_pages;
    std::size_t tdef_size = 0;
    wr::DataPage page;  // data page being filled
    wr::PageSet pages;  // data pages
    std::vector<std::size_t> store_of;                    // column -> long-value store, or npos
    std::vector<wr::LongValueStore> stores;               // one per memo or OLE column
    std::vector<Bytes> memo;                 // encoded long values (memo, OLE) of the row
    std::vector<std::uint8_t> memo_place;    // where each goes: kNoMemo, kMemoInline, kMemoOut
    wr::RowBuilder row;
    std::uint32_t rows = 0;
    double created = 0;
    std::vector<Index> indexes;
    std::vector<std::u16string> key_text;  // text of the row's indexed text columns
    std::vector<std::uint8_t> keyed;       // column -> used by an index
    std::vector<wr::Bytes> keys;           // the row's key in each index
    std::vector<std::uint8_t> key_used;    // whether the index holds the row
    std::vector<std::uint8_t> key_null;    // whether a key column is null
    std::uint32_t last_autonumber = 0;
  };

  // Raises unless the writer can take `what`.
  void CheckUsable(const char* what) const;
  [[noreturn]] void RaiseCell(std::int32_t number, std::size_t column, const std::string& what) const;
  [[noreturn]] void RaiseRow(const std::string& what) const;
  // Validates value `v` for column `i` and puts it into the row being
  // built (long values into table_->memo).
  void SetValue(std::size_t i, const com::Variant& v);
  void SetNumber(std::size_t i, const com::Variant& v);
  // Binary and OLE data of column `i` into bytes_; raises for other values.
  void DecodeBytes(std::size_t i, const com::Variant& v);
  // A Decimal value of column `i` into its 17 stored bytes.
  void SetDecimal(std::size_t i, const com::Variant& v);
  // Decodes text for column `i` into text_; raises when it is not UTF-8.
  void DecodeText(std::size_t i, const com::Variant& v);
  // Places the memo values so that the row fits a page; raises (without
  // writing anything) when it cannot.
  void PlaceMemos();
  void StoreRow();
  // Checks the indexes of `table` and adds them to `t`.
  void AddIndexes(const TableSchema& table, Table* t) const;
  // The key of the row being built in `index`; false when the index
  // leaves the row out (all its key columns null, nulls ignored).
  bool BuildKey(const Index& index, wr::Bytes* key, bool* has_null);
  // Writes the open table's indexes, their usage maps through `add_map`.
  void WriteIndexes(const std::function<std::uint32_t(const wr::PageSet&)>& add_map);
  wr::PropertyBlob Properties() const;

  std::u16string password_;
  wr::PageFile file_;
  std::unique_ptr<Table> table_;
  std::vector<wr::CatalogTable> catalog_;
  std::vector<std::u16string> names_;  // folded names of written tables
  bool finished_ = false;
  bool broken_ = false;  // a failure part-way left the file unusable
  std::u16string text_;  // scratch
  std::string bytes_;    // scratch
};

namespace {

// The password is checked before the file is touched.
std::u16string CheckedPassword(const std::string& password) {
  std::u16string out;
  if (!Utf8ToUtf16(password, &out)) RaiseInvalid("Jet database password is not valid UTF-8 text");
  if (out.size() > kMaxPasswordLength) RaiseInvalid("Jet database password is longer than 20 characters");
  return out;
}

}  // namespace

Writer::Impl::Impl(const std::string& path, const WriterOptions& options)
    : password_(CheckedPassword(options.password)), file_(path, options.create_new) {
  wr::ReserveCatalogPages(&file_);
}

void Writer::Impl::CheckUsable(const char* what) const {
  if (finished_) RaiseInvalid(std::string("Jet writer: cannot ") + what + ": the database is already finished");
  if (broken_) {
    RaiseInvalid(std::string("Jet writer: cannot ") + what +
                 ": an earlier failure left the database incomplete");
  }
}

void Writer::Impl::RaiseCell(std::int32_t number, std::size_t column, const std::string& what) const {
  Raise(number, "Jet table '" + table_->name + "', row " + std::to_string(table_->rows + 1) + ", column '" +
                    table_->specs[column].name + "': " + what);
}

void Writer::Impl::RaiseRow(const std::string& what) const {
  RaiseInvalid("Jet table '" + table_->name + "', row " + std::to_string(table_->rows + 1) + ": " + what);
}

void Writer::Impl::BeginTable(const TableSchema& table_def) {
  CheckUsable("begin a table");
  if (table_) {
    RaiseInvalid("Jet table '" + table_def.name + "' cannot begin: table '" + table_->name + "' is still open");
  }
  auto t = std::make_unique<Table>();
  t->name = table_def.name;
  if (table_def.name.empty()) RaiseInvalid("Jet table name is empty");
  if (!Utf8ToUtf16(table_def.name, &t->name16)) RaiseInvalid("Jet table name is not valid UTF-8 text");
  if (t->name16.size() > kMaxNameLength) {
    RaiseInvalid("Jet table '" + table_def.name + "': the name is longer than 64 characters");
  }
  const std::u16string folded = com::LowerAscii(t->name16);
  if (wr::IsSystemTableName(t->name16) || std::find(names_.begin(), names_.end(), folded) != names_.end()) {
    RaiseInvalid("Jet table '" + table_def.name + "' already exists");
  }
  if (table_def.columns.empty()) RaiseInvalid("Jet table '" + table_def.name + "' has no columns");
  if (table_def.columns.size() > kMaxColumns) {
    RaiseInvalid("Jet table '" + table_def.name + "' has " + std::to_string(table_def.columns.size()) +
                 " columns; a table holds at most 255");
  }
  std::vector<std::u16string> column_names;
  for (const auto& c : table_def.columns) {
    t->def.columns.push_back(DefinitionColumn(table_def.name, c, &column_names));
  }
  AddIndexes(table_def, t.get());

  try {
    t->specs = table_def.columns;
    wr::LayoutColumns(&t->def.columns);
    for (auto& c : t->def.columns) c.second_number = static_cast<std::uint16_t>(c.number + 1);
    for (const Index& index : t->indexes) {
      const IndexDefinition& d = index.definition;
      wr::IndexDef def;
      Utf8ToUtf16(d.name, &def.name);
      for (std::size_t k = 0; k < index.columns.size(); ++k) {
        def.columns.push_back(t->def.columns[index.columns[k]].number);
        def.descending.push_back(!d.columns[k].ascending);
      }
      def.primary = d.primary;
      def.flags = static_cast<std::uint8_t>(0x80 | (d.unique || d.primary ? 0x01 : 0) | (d.ignore_nulls ? 0x02 : 0) |
                                            (d.required || d.primary ? 0x08 : 0));
      t->def.indexes.push_back(std::move(def));
    }
    t->store_of.assign(table_def.columns.size(), std::string::npos);
    for (std::size_t i = 0; i < table_def.columns.size(); ++i) {
      if (IsLongValue(table_def.columns[i].type)) {
        t->store_of[i] = t->stores.size();
        t->stores.emplace_back();
      }
    }
    t->keys.resize(t->indexes.size());
    t->key_used.resize(t->indexes.size());
    t->key_null.resize(t->indexes.size());
    t->memo.resize(table_def.columns.size());
    t->memo_place.resize(table_def.columns.size());
    t->tdef_size = TableDefinitionSize(t->def);
    const std::uint32_t tdef_count = wr::TableDefinitionPages(t->tdef_size);
    const std::uint32_t map_count = wr::UsageMapPages(2 + 2 * t->stores.size() + t->indexes.size());
    const std::uint32_t first = file_.Allocate(tdef_count + map_count);
    for (std::uint32_t p = 0; p < tdef_count; ++p) t->tdef_pages.push_back(first + p);
    for (std::uint32_t p = 0; p < map_count; ++p) t->map_pages.push_back(first + tdef_count + p);
    t->created = NowOleDate();
    table_ = std::move(t);
    table_->row.Bind(&table_->def.columns);
  } catch (...) {
    broken_ = true;
    throw;
  }
}

void Writer::Impl::AddIndexes(const TableSchema& table_def, Table* t) const {
  if (table_def.indexes.size() > kMaxIndexes) {
    RaiseInvalid("Jet table '" + table_def.name + "' has " + std::to_string(table_def.indexes.size()) +
                 " indexes; a table holds at most 32");
  }
  t->keyed.assign(table_def.columns.size(), 0);
  t->key_text.resize(table_def.columns.size());
  std::vector<std::u16string> names;
  bool primary = false;
  for (const IndexDefinition& d : table_def.indexes) {
    const std::string where = "Jet table '" + table_def.name + "', index '" + d.name + "': ";
    std::u16string name;
    if (d.name.empty()) RaiseInvalid("Jet table '" + table_def.name + "': an index name is empty");
    if (!Utf8ToUtf16(d.name, &name)) RaiseInvalid(where + "the name is not valid UTF-8 text");
    if (name.size() > kMaxNameLength) RaiseInvalid(where + "the name is longer than 64 characters");
    if (std::find(names.begin(), names.end(), com::LowerAscii(name)) != names.end()) {
      RaiseInvalid(where + "duplicate index name");
    }
    names.push_back(com::LowerAscii(name));
    if (d.primary && primary) RaiseInvalid(where + "a table has one primary key, and it has one already");
    primary = primary || d.primary;
    if (d.columns.empty() || d.columns.size() > kMaxIndexColumns) {
      RaiseInvalid(where + "an index has 1 to 10 columns, not " + std::to_string(d.columns.size()));
    }
    Index index{d, {}, {}};
    for (const IndexColumn& c : d.columns) {
      std::size_t i = 0;
      while (i < table_def.columns.size() && !com::SameName(table_def.columns[i].name, c.name)) ++i;
      if (i == table_def.columns.size()) RaiseInvalid(where + "the table has no column '" + c.name + "'");
      if (std::find(index.columns.begin(), index.columns.end(), i) != index.columns.end()) {
        RaiseInvalid(where + "column '" + c.name + "' appears twice");
      }
      if (!Indexable(table_def.columns[i].type)) {
        RaiseInvalid(where + "column '" + c.name + "' is a " + ColumnTypeName(table_def.columns[i].type) +
                     ", which the writer does not index");
      }
      index.columns.push_back(i);
      t->keyed[i] = 1;
    }
    t->indexes.push_back(std::move(index));
  }
}

bool Writer::Impl::BuildKey(const Index& index, wr::Bytes* key, bool* has_null) {
  const Table& t = *table_;
  key->clear();
  bool any_value = false;
  for (std::size_t k = 0; k < index.columns.size(); ++k) {
    const std::size_t i = index.columns[k];
    const std::size_t from = key->size();
    const ColumnType type = t.specs[i].type;
    if (type == ColumnType::kBoolean) {
      wr::AppendBooleanKey(t.row.Present(i), key);
      any_value = true;
    } else if (!t.row.Present(i)) {
      wr::AppendNullKey(key);
      *has_null = true;
    } else if (type == ColumnType::kText) {
      wr::AppendTextKey(t.key_text[i], key);
      any_value = true;
    } else if (type == kReplicationId) {
      wr::AppendGuidKey(t.row.Fixed(i), key);
      any_value = true;
    } else {
      wr::AppendFixedKey(static_cast<std::uint8_t>(type), t.row.Fixed(i), key);
      any_value = true;
    }
    if (!index.definition.columns[k].ascending) wr::InvertKey(key, from);
  }
  if (key->size() > kMaxKeySize) {
    RaiseRow("the key of index '" + index.definition.name + "' takes " + std::to_string(key->size()) +
             " bytes, more than the " + std::to_string(kMaxKeySize) + " an index entry holds");
  }
  return any_value || !index.definition.ignore_nulls;
}

void Writer::Impl::DecodeText(std::size_t i, const com::Variant& v) {
  if (!v.IsText()) {
    RaiseCell(com::kErrTypeMismatch, i, MismatchText(v.type(), table_->specs[i].type));
  }
  if (!Utf8ToUtf16(v.text(), &text_)) RaiseCell(com::kErrInvalidArgument, i, "the text is not valid UTF-8");
}

void Writer::Impl::DecodeBytes(std::size_t i, const com::Variant& v) {
  if (v.type() == com::VarType::kBytes) {
    bytes_ = v.text();
    return;
  }
  if (!v.IsText()) RaiseCell(com::kErrTypeMismatch, i, MismatchText(v.type(), table_->specs[i].type));
  // Text stands for bytes when written as the reader writes them, "0x"
  // and hexadecimal digits.
  const std::string& text = v.text();
  if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') || text.size() % 2 != 0 ||
      !dts::ParseHexBytes(text, &bytes_)) {
    RaiseCell(com::kErrTypeMismatch, i,
              "text for a column of type " + std::string(ColumnTypeName(table_->specs[i].type)) +
                  " must be \"0x\" and hexadecimal digits, two a byte");
  }
}

void Writer::Impl::SetDecimal(std::size_t i, const com::Variant& v) {
  const ColumnDefinition& column = table_->specs[i];
  const std::string shape = "decimal(" + std::to_string(column.precision) + ", " + std::to_string(column.scale) + ")";
  auto too_fine = [&](const std::string& value, std::size_t digits) {
    RaiseCell(com::kErrInvalidArgument, i,
              "value " + value + " has " + std::to_string(digits) + " digits after the point, more than the " +
                  std::to_string(column.scale) + " of a " + shape + " column");
  };
  com::Numeric n;
  switch (v.type()) {
    case com::VarType::kDecimal: {
      // Digits after the point are counted in the text, as parsing rounds
      // past 38 digits in all.
      std::string_view fraction = v.text();
      const std::size_t point = fraction.find('.');
      fraction.remove_prefix(point == std::string_view::npos ? fraction.size() : point + 1);
      while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
      if (fraction.size() > static_cast<std::size_t>(column.scale)) too_fine(v.text(), fraction.size());
      if (com::ParseNumeric(v.text(), &n) != com::NumericStatus::kOk) {
        RaiseCell(com::kErrInvalidArgument, i, "'" + v.text() + "' is not a decimal number");
      }
      break;
    }
    case com::VarType::kCurrency:
      n = com::NumericFromUnits(v.integer());
      break;
    default:
      if (!IsInteger(v.type())) RaiseCell(com::kErrTypeMismatch, i, MismatchText(v.type(), column.type));
      n = com::NumericFromInteger(v.integer());
  }
  // Trailing zeros after the point carry nothing; any other digit the
  // scale has no room for would be lost, which is refused, never rounded.
  while (n.scale > column.scale && n.magnitude % 10 == 0) {
    n.magnitude /= 10;
    --n.scale;
  }
  if (n.scale > column.scale) too_fine(com::FormatNumeric(n), static_cast<std::size_t>(n.scale));
  com::Numeric stored;
  if (com::RescaleNumeric(n, column.precision, column.scale, &stored) != com::NumericStatus::kOk) {
    RaiseCell(com::kErrInvalidArgument, i,
              "value " + com::FormatNumeric(n) + " has more digits than a " + shape + " column holds");
  }
  // A sign byte, then the magnitude in four 32-bit little-endian words,
  // the most significant first.
  std::uint8_t* out = table_->row.SetFixed(i);
  out[0] = stored.negative ? 0x80 : 0x00;
  for (int word = 0; word < 4; ++word) {
    const auto w = static_cast<std::uint32_t>(stored.magnitude >> (32 * (3 - word)));
    wr::Store32(out + 1 + 4 * word, w);
  }
}

void Writer::Impl::SetNumber(std::size_t i, const com::Variant& v) {
  const ColumnDefinition& column = table_->specs[i];
  const com::VarType vt = v.type();
  auto mismatch = [&]() { RaiseCell(com::kErrTypeMismatch, i, MismatchText(vt, column.type)); };
  auto out_of_range = [&](const std::string& value, const char* range) {
    RaiseCell(com::kErrInvalidArgument, i,
              "value " + value + " is out of range for a " + ColumnTypeName(column.type) + " column (" + range + ")");
  };
  wr::RowBuilder& row = table_->row;
  if (column.type == kReplicationId) {
    if (!v.IsText()) mismatch();
    if (!ParseGuid(v.text(), row.SetFixed(i))) {
      RaiseCell(com::kErrInvalidArgument, i, "'" + v.text() + "' is not a GUID ({8-4-4-4-12} hex digits)");
    }
    return;
  }
  switch (column.type) {
    case ColumnType::kBoolean:
      if (vt != com::VarType::kBool && !IsInteger(vt)) mismatch();
      row.SetBoolean(i, v.integer() != 0);
      return;
    case ColumnType::kByte: {
      if (!IsInteger(vt)) mismatch();
      const std::int64_t n = v.integer();
      if (n < 0 || n > 255) out_of_range(std::to_string(n), "0 to 255");
      *row.SetFixed(i) = static_cast<std::uint8_t>(n);
      return;
    }
    case ColumnType::kInteger: {
      if (!IsInteger(vt)) mismatch();
      const std::int64_t n = v.integer();
      if (n < -32768 || n > 32767) out_of_range(std::to_string(n), "-32768 to 32767");
      wr::Store16(row.SetFixed(i), static_cast<std::uint16_t>(n));
      return;
    }
    case ColumnType::kLong: {
      if (!IsInteger(vt)) mismatch();
      const std::int64_t n = v.integer();
      if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max()) {
        out_of_range(std::to_string(n), "-2147483648 to 2147483647");
      }
      wr::Store32(row.SetFixed(i), static_cast<std::uint32_t>(n));
      return;
    }
    case ColumnType::kCurrency: {
      std::int64_t units = 0;
      if (vt == com::VarType::kCurrency) {
        units = v.integer();
      } else if (IsInteger(vt)) {
        constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10000;
        if (v.integer() > kLimit || v.integer() < -kLimit) {
          out_of_range(std::to_string(v.integer()), "about -922337203685477 to 922337203685477");
        }
        units = v.integer() * 10000;
      } else {
        mismatch();
      }
      Store64(row.SetFixed(i), static_cast<std::uint64_t>(units));
      return;
    }
    case ColumnType::kSingle:
    case ColumnType::kDouble: {
      double d = 0;
      if (vt == com::VarType::kR4 || vt == com::VarType::kR8) {
        d = v.real();
        if (!std::isfinite(d)) RaiseCell(com::kErrInvalidArgument, i, "value is not a finite number");
      } else if (IsInteger(vt)) {
        d = static_cast<double>(v.integer());
      } else {
        mismatch();
      }
      if (column.type == ColumnType::kDouble) {
        Store64(row.SetFixed(i), std::bit_cast<std::uint64_t>(d));
        return;
      }
      if (std::fabs(d) > FLT_MAX) out_of_range(com::FormatDouble(d), "about -3.4e38 to 3.4e38");
      wr::Store32(row.SetFixed(i), std::bit_cast<std::uint32_t>(static_cast<float>(d)));
      return;
    }
    case ColumnType::kDateTime: {
      if (vt != com::VarType::kDate) mismatch();
      const double d = v.real();
      if (!std::isfinite(d) || d <= kMinDate || d >= kMaxDate) {
        RaiseCell(com::kErrInvalidArgument, i,
                  "date " + com::FormatDouble(d) + " is outside the years 100 to 9999 that Jet accepts");
      }
      Store64(row.SetFixed(i), std::bit_cast<std::uint64_t>(d));
      return;
    }
    case ColumnType::kDecimal:
      SetDecimal(i, v);
      return;
    case ColumnType::kBinary:
    case ColumnType::kText:
    case ColumnType::kOle:
    case ColumnType::kMemo:
      break;
  }
}

void Writer::Impl::SetValue(std::size_t i, const com::Variant& v) {
  const ColumnDefinition& column = table_->specs[i];
  wr::RowBuilder& row = table_->row;
  if (v.IsNull()) {
    if (column.required) {
      RaiseCell(com::kErrInvalidArgument, i, "a value is required (the column does not accept null)");
    }
    row.SetNull(i);  // a null Yes/No is stored as No
    return;
  }
  if (column.type == ColumnType::kText) {
    DecodeText(i, v);
    if (text_.size() > static_cast<std::size_t>(column.max_length)) {
      RaiseCell(com::kErrInvalidArgument, i,
                "text of " + std::to_string(text_.size()) + " characters is longer than the column's " +
                    std::to_string(column.max_length));
    }
    wr::AppendJetText(text_, column.compressed, row.SetVariable(i));
    if (table_->keyed[i]) table_->key_text[i] = text_;
    return;
  }
  if (column.type == ColumnType::kMemo) {
    DecodeText(i, v);
    Bytes& data = table_->memo[i];
    data.clear();
    wr::AppendJetText(text_, column.compressed && text_.size() <= kMaxCompressedMemo, &data);
    if (data.size() > wr::LongValueStore::kMaxLength) {
      RaiseCell(com::kErrInvalidArgument, i,
                "memo of " + std::to_string(data.size()) + " bytes is longer than the " +
                    std::to_string(wr::LongValueStore::kMaxLength) + " bytes this writer stores");
    }
    table_->memo_place[i] = kMemoOut;
    return;
  }
  if (column.type == ColumnType::kBinary) {
    DecodeBytes(i, v);
    if (bytes_.size() > static_cast<std::size_t>(column.max_length)) {
      RaiseCell(com::kErrInvalidArgument, i,
                std::to_string(bytes_.size()) + " bytes are more than the column's " +
                    std::to_string(column.max_length));
    }
    Bytes* field = row.SetVariable(i);
    field->assign(bytes_.begin(), bytes_.end());
    return;
  }
  if (column.type == ColumnType::kOle) {
    DecodeBytes(i, v);
    if (bytes_.size() > wr::LongValueStore::kMaxLength) {
      RaiseCell(com::kErrInvalidArgument, i,
                "OLE data of " + std::to_string(bytes_.size()) + " bytes is longer than the " +
                    std::to_string(wr::LongValueStore::kMaxLength) + " bytes this writer stores");
    }
    table_->memo[i].assign(bytes_.begin(), bytes_.end());
    table_->memo_place[i] = kMemoOut;
    return;
  }
  SetNumber(i, v);
}

void Writer::Impl::PlaceMemos() {
  Table& t = *table_;
  // Small memos go inline; the others, and then the largest inline ones
  // until the row fits, go to long-value pages. A field pointing to a
  // long-value page takes 12 bytes.
  std::vector<std::size_t> inline_memos;
  for (std::size_t i = 0; i < t.specs.size(); ++i) {
    if (t.memo_place[i] == kNoMemo) continue;
    const bool small = t.memo[i].size() <= wr::LongValueStore::kMaxInline;
    t.memo_place[i] = small ? kMemoInline : kMemoOut;
    Bytes* field = t.row.SetVariable(i);
    if (small) {
      wr::LongValueStore::AppendInline(t.memo[i], field);
      inline_memos.push_back(i);
    } else {
      field->resize(12);
    }
  }
  std::sort(inline_memos.begin(), inline_memos.end(),
            [&](std::size_t a, std::size_t b) { return t.memo[a].size() > t.memo[b].size(); });
  for (std::size_t i : inline_memos) {
    if (t.row.Size() <= wr::DataPage::kMaxRowSize) break;
    t.memo_place[i] = kMemoOut;
    t.row.SetVariable(i)->resize(12);
  }
  if (t.row.Size() > wr::DataPage::kMaxRowSize) {
    RaiseRow("the row takes " + std::to_string(t.row.Size()) + " bytes, more than the " +
             std::to_string(wr::DataPage::kMaxRowSize) +
             " a Jet page holds (memo values already moved out of the row)");
  }
}

void Writer::Impl::StoreRow() {
  Table& t = *table_;
  for (std::size_t i = 0; i < t.specs.size(); ++i) {
    if (t.memo_place[i] != kMemoOut) continue;
    t.stores[t.store_of[i]].Store(t.memo[i], &file_, t.row.SetVariable(i));
  }
  const Bytes& row = t.row.Build();
  if (t.page.started() && !t.page.Fits(row.size())) {
    file_.Write(t.page.number(), t.page.Finish());
    t.page.Clear();
  }
  if (!t.page.started()) {
    t.page.Start(file_.Allocate(), t.tdef_pages[0]);
    t.pages.Add(t.page.number());
  }
  const std::uint32_t row_on_page = t.page.Add(row.data(), row.size());
  ++t.rows;
  for (std::size_t j = 0; j < t.indexes.size(); ++j) {
    if (t.key_used[j]) t.indexes[j].entries.Add(t.keys[j], t.page.number(), row_on_page, t.rows, t.key_null[j]);
  }
}

void Writer::Impl::AppendRow(const std::vector<com::Variant>& values) {
  CheckUsable("append a row");
  if (!table_) RaiseInvalid("Jet writer: cannot append a row: no table is open");
  Table& t = *table_;
  if (values.size() != t.specs.size()) {
    RaiseRow("expected " + std::to_string(t.specs.size()) + " values, got " + std::to_string(values.size()));
  }
  if (t.rows == std::numeric_limits<std::int32_t>::max()) RaiseRow("a Jet table holds at most 2147483647 rows");
  t.row.Clear();
  for (std::size_t i = 0; i < values.size(); ++i) {
    t.memo_place[i] = kNoMemo;
    SetValue(i, values[i]);
  }
  PlaceMemos();
  for (std::size_t j = 0; j < t.indexes.size(); ++j) {
    const Index& index = t.indexes[j];
    if (index.definition.required || index.definition.primary) {
      for (std::size_t i : index.columns) {
        if (!t.row.Present(i) && t.specs[i].type != ColumnType::kBoolean) {
          RaiseCell(kErrNullKey, i, "index '" + index.definition.name + "' does not accept a null");
        }
      }
    }
    bool has_null = false;
    t.key_used[j] = BuildKey(index, &t.keys[j], &has_null) ? 1 : 0;
    t.key_null[j] = has_null ? 1 : 0;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (t.specs[i].autonumber && t.row.Present(i)) {
      const auto n = static_cast<std::uint32_t>(values[i].integer());
      if (static_cast<std::int32_t>(n) > 0 && n > t.last_autonumber) t.last_autonumber = n;
    }
  }
  try {
    StoreRow();
  } catch (...) {
    broken_ = true;
    throw;
  }
}

void Writer::Impl::WriteIndexes(const std::function<std::uint32_t(const wr::PageSet&)>& add_map) {
  Table& t = *table_;
  for (std::size_t j = 0; j < t.indexes.size(); ++j) {
    Index& index = t.indexes[j];
    index.entries.Sort();
    if (index.definition.unique || index.definition.primary) {
      for (std::size_t e = 0; e + 1 < index.entries.size(); ++e) {
        // Access lets a unique index hold any number of keys with a null.
        if (!index.entries.SameKey(e) || index.entries.has_null(e)) continue;
        const std::uint32_t a = index.entries.row_number(e), b = index.entries.row_number(e + 1);
        Raise(kErrDuplicateKey, "Jet table '" + t.name + "', index '" + index.definition.name + "': rows " +
                                    std::to_string(std::min(a, b)) + " and " + std::to_string(std::max(a, b)) +
                                    " have the same key, which a unique index holds once");
      }
    }
    wr::PageSet pages;
    wr::IndexDef& def = t.def.indexes[j];
    def.first_page = wr::WriteIndex(index.entries, t.tdef_pages[0], file_.Allocate(), &file_, &pages);
    def.used_map = add_map(pages);
    index.entries = wr::IndexEntries{};
  }
}

wr::PropertyBlob Writer::Impl::Properties() const {
  // As Access records them for each column: Required, and for text and
  // memo columns AllowZeroLength (empty texts are written as given) and
  // UnicodeCompression.
  wr::PropertyBlob props;
  for (std::size_t i = 0; i < table_->specs.size(); ++i) {
    const ColumnDefinition& column = table_->specs[i];
    const std::u16string& name = table_->def.columns[i].name;
    props.AddBoolean(name, u"Required", column.required, true);
    if (column.type == ColumnType::kText || column.type == ColumnType::kMemo) {
      props.AddBoolean(name, u"AllowZeroLength", true, true);
      props.AddBoolean(name, u"UnicodeCompression", column.compressed, true);
    }
  }
  return props;
}

void Writer::Impl::EndTable() {
  CheckUsable("end a table");
  if (!table_) RaiseInvalid("Jet writer: cannot end a table: no table is open");
  try {
    Table& t = *table_;
    wr::PageSet free;
    if (t.page.started()) {
      file_.Write(t.page.number(), t.page.Finish());
      free.Add(t.page.number());
      t.page.Clear();
    }
    for (auto& s : t.stores) s.Flush(&file_);

    std::vector<Bytes> maps;
    auto add_map = [&](const wr::PageSet& set) {
      maps.push_back(wr::BuildUsageMap(set, &file_));
      return wr::UsageMapPointer(t.map_pages, maps.size() - 1);
    };
    t.def.used_map = add_map(t.pages);
    t.def.free_map = add_map(free);
    for (std::size_t i = 0; i < t.specs.size(); ++i) {
      if (t.store_of[i] == std::string::npos) continue;
      const wr::LongValueStore& s = t.stores[t.store_of[i]];
      t.def.columns[i].lv_used_map = add_map(s.pages());
      t.def.columns[i].lv_free_map = add_map(s.free_pages());
    }
    WriteIndexes(add_map);
    t.def.rows = t.rows;
    t.def.last_autonumber = t.last_autonumber;
    const Bytes tdef = wr::SerializeTableDefinition(t.def);
    if (tdef.size() != t.tdef_size) {
      Raise(com::ErrorNumber(0x80004005u),
            "Jet table '" + t.name + "': internal error: definition size changed");
    }
    wr::WriteTableDefinition(tdef, t.tdef_pages, &file_);
    wr::WriteUsageMapPages(maps, t.map_pages, &file_);

    catalog_.push_back({t.name16, t.tdef_pages[0], t.created, Properties().Serialize()});
    names_.push_back(com::LowerAscii(t.name16));
    table_.reset();
  } catch (...) {
    broken_ = true;
    throw;
  }
}

void Writer::Impl::Finish() {
  CheckUsable("finish the database");
  if (table_) RaiseInvalid("Jet writer: cannot finish: table '" + table_->name + "' is still open");
  try {
    wr::WriteCatalog(catalog_, password_, &file_);
    file_.Commit();
    finished_ = true;
  } catch (...) {
    broken_ = true;
    throw;
  }
}

const char* ColumnTypeName(ColumnType type) {
  if (type == kReplicationId) return "Replication ID";
  switch (type) {
    case ColumnType::kBoolean: return "Yes/No";
    case ColumnType::kByte: return "Byte";
    case ColumnType::kInteger: return "Integer";
    case ColumnType::kLong: return "Long";
    case ColumnType::kCurrency: return "Currency";
    case ColumnType::kSingle: return "Single";
    case ColumnType::kDouble: return "Double";
    case ColumnType::kDateTime: return "Date/Time";
    case ColumnType::kBinary: return "Binary";
    case ColumnType::kText: return "Text";
    case ColumnType::kOle: return "OLE Object";
    case ColumnType::kMemo: return "Memo";
    case ColumnType::kDecimal: return "Decimal";
  }
  return "unknown";
}

Writer::Writer(const std::string& path, const WriterOptions& options)
    : impl_(std::make_unique<Impl>(path, options)) {}

Writer::~Writer() = default;

void Writer::BeginTable(const TableSchema& table) { impl_->BeginTable(table); }
void Writer::AppendRow(const std::vector<com::Variant>& values) { impl_->AppendRow(values); }
void Writer::EndTable() { impl_->EndTable(); }
void Writer::Finish() { impl_->Finish(); }

}  // namespace jet
