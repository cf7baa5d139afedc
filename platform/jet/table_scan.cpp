#include "platform/jet/table_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "platform/com/error.h"

namespace jet {
namespace {

// A long value's 12-byte field: its length and where it is, then the
// address of its first long-value row.
constexpr std::size_t kLongValueField = 12;
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueOneRow = 0x40000000u;
constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;
// Jet moves a row at most once; a chain of moves longer than this is damage.
constexpr int kMaxMoves = 4;
// The automation dates of 100-01-01 and 10000-01-01: Jet keeps the years
// between.
constexpr double kFirstDate = -657435.0;
constexpr double kEndDate = 2958466.0;

template <class T>
T Load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// "0x" and the bytes in upper-case hex.
void Hex(const unsigned char* p, std::size_t n, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  out->assign("0x");
  out->reserve(2 + 2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    out->push_back(kHex[p[i] >> 4]);
    out->push_back(kHex[p[i] & 15]);
  }
}

// A replication ID's 16 bytes as GUID text: the first three groups are
// stored little-endian, the last two as written.
void GuidText(const unsigned char* p, std::string* out) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static const char kHex[] = "0123456789ABCDEF";
  out->assign("{");
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out->push_back('-');
    out->push_back(kHex[p[kOrder[i]] >> 4]);
    out->push_back(kHex[p[kOrder[i]] & 15]);
  }
  out->push_back('}');
}

// A decimal's 17 bytes as text with `scale` fraction digits: a sign byte
// (0x80 negative), then the unscaled value as four 32-bit little-endian
// words, the most significant first.
void DecimalText(const unsigned char* p, unsigned scale, std::string* out) {
  std::uint32_t words[4];
  for (int w = 0; w < 4; ++w) words[w] = Le32(p + 1 + 4 * w);
  // Digits, least significant first: divide the 128-bit value by 10^9
  // until it is zero, nine digits at a time.
  char digits[48];
  int n = 0;
  for (;;) {
    std::uint64_t rest = 0;
    bool zero = true;
    for (std::uint32_t& w : words) {
      const std::uint64_t part = rest << 32 | w;
      w = static_cast<std::uint32_t>(part / 1000000000u);
      rest = part % 1000000000u;
      zero = zero && w == 0;
    }
    for (int k = 0; k < 9; ++k, rest /= 10) digits[n++] = static_cast<char>('0' + rest % 10);
    if (zero) break;
  }
  while (n > 1 && digits[n - 1] == '0') --n;
  while (n <= static_cast<int>(scale)) digits[n++] = '0';  // at least one digit before the point
  const bool zero = std::all_of(digits, digits + n, [](char c) { return c == '0'; });
  out->clear();
  if ((p[0] & 0x80) != 0 && !zero) out->push_back('-');
  for (int i = n - 1; i >= 0; --i) {
    if (i + 1 == static_cast<int>(scale)) out->push_back('.');
    out->push_back(digits[i]);
  }
}

}  // namespace

TableScan::TableScan(const FilePages& pages, std::shared_ptr<const TableLayout> table, const std::string& codepage)
    : pages_(pages), table_(std::move(table)), jet3_(pages.version() == Version::kJet3),
      data_pages_("表“" + table_->name + "”的数据页"), long_values_("表“" + table_->name + "”的长值页"),
      fields_(table_->columns.size()) {
  if (jet3_) codepage_ = std::make_unique<CodePage>(codepage);
}

TableScan::~TableScan() = default;

void TableScan::Corrupt(std::uint32_t page, const std::string& fault) const {
  throw com::Error(kErrNotJetDatabase, kErrorSource,
                   "数据库文件“" + pages_.path() + "”已损坏：表“" + table_->name + "”第 " + std::to_string(page) +
                       " 页" + fault + "。");
}

void TableScan::CorruptRow(const std::string& fault) const {
  Corrupt(row_page_, "第 " + std::to_string(row_number_) + " 行" + fault);
}

void TableScan::CorruptField(unsigned column, const std::string& fault) const {
  CorruptRow("的列“" + table_->columns[column].name + "”" + fault);
}

// The next page of the usage map that holds the table's rows. A page the
// map names for another table or of another kind is passed over.
bool TableScan::NextPage() {
  for (;;) {
    const std::uint32_t next = table_->pages->Next(page_number_);
    if (next == 0) return false;
    pages_.Read(next, &page_, data_pages_);
    page_number_ = next;
    if (page_[0] == kPageData && Le32(page_.data() + 4) == table_->page) break;
  }
  const auto rows = RowCount(page_.data(), page_.size(), pages_.version());
  if (!rows) Corrupt(page_number_, "的行数 " + std::to_string(Le16(page_.data() + RowCountOffset(pages_.version()))) + " 超出页");
  rows_ = *rows;
  next_row_ = 0;
  return true;
}

bool TableScan::Next() {
  if (done_) return false;
  for (;;) {
    if (next_row_ >= rows_) {
      if (!NextPage()) {
        done_ = true;
        return false;
      }
      continue;
    }
    const unsigned row = next_row_++;
    row_page_ = page_number_;
    row_number_ = row;
    RowSlot slot;
    if (auto fault = FindRow(page_.data(), page_.size(), pages_.version(), rows_, row, &slot)) CorruptRow(*fault);
    // Deleted, or moved here from elsewhere (read where it was); an empty
    // slot holds no row.
    if ((slot.flags & kRowDeleted) != 0 || slot.size == 0) continue;
    if ((slot.flags & kRowOverflow) != 0) {
      if (!FollowMove(slot)) continue;
      return true;
    }
    Cut(page_.data(), slot);
    return true;
  }
}

// A moved row holds the address of where it went: the row number in its
// first byte, the page in the next three. That row, on a data page of the
// same table, is cut in its place; one deleted since reads as no row.
bool TableScan::FollowMove(const RowSlot& first) {
  RowSlot slot = first;
  const unsigned char* at = page_.data() + slot.start;
  for (int moves = 0;; ++moves) {
    if (moves == kMaxMoves) CorruptRow("的移动地址链过长");
    if (slot.size < 4) CorruptRow("的移动地址太短");
    const unsigned to_row = at[0];
    const std::uint32_t to_page = Le32(at) >> 8;
    if (!pages_.Contains(to_page)) CorruptRow("移到第 " + std::to_string(to_page) + " 页，超出文件");
    pages_.Read(to_page, &moved_, data_pages_);
    if (moved_[0] != kPageData || Le32(moved_.data() + 4) != table_->page) {
      CorruptRow("移到的第 " + std::to_string(to_page) + " 页不是本表的数据页");
    }
    const auto rows = RowCount(moved_.data(), moved_.size(), pages_.version());
    if (!rows || to_row >= *rows) {
      CorruptRow("移到第 " + std::to_string(to_page) + " 页不存在的第 " + std::to_string(to_row) + " 行");
    }
    row_page_ = to_page;
    row_number_ = to_row;
    if (auto fault = FindRow(moved_.data(), moved_.size(), pages_.version(), *rows, to_row, &slot)) CorruptRow(*fault);
    if ((slot.flags & kRowOverflow) == 0) break;
    if ((slot.flags & kRowDeleted) != 0) return false;
    at = moved_.data() + slot.start;
  }
  if (slot.size == 0) return false;
  Cut(moved_.data(), slot);
  return true;
}

// A row: its column count; the fixed-length values at their offsets; the
// variable-length values; at its end the null mask (a set bit: a value, or
// Yes), and before the mask the count of variable values and their
// offsets from the row's start, the last one where the data ends. Jet 4
// offsets are 16-bit; Jet 3 offsets are one byte, each 256 further for
// every entry of a table of jumps (one per 256 bytes of row) that names a
// variable column at or before it.
void TableScan::Cut(const unsigned char* page, const RowSlot& slot) {
  const unsigned char* row = page + slot.start;
  const std::size_t size = slot.size;
  const std::size_t count_size = jet3_ ? 1 : 2;
  if (size < count_size) CorruptRow("太短");
  const std::size_t row_columns = jet3_ ? row[0] : Le16(row);
  const std::size_t mask_size = (row_columns + 7) / 8;
  if (size < count_size + mask_size) CorruptRow("的空值位图超出行");
  const unsigned char* mask = row + size - mask_size;
  const std::size_t data_end = size - mask_size;  // where the mask starts

  std::size_t var_count = 0, var_limit = data_end;
  if (table_->var_columns > 0) {
    if (jet3_) {
      if (data_end < count_size + 1) CorruptRow("的变长列表超出行");
      var_count = row[data_end - 1];
      std::size_t jumps = (size - 1) / 256;
      // Offset i is at first - i; the jumps lie between the offsets and the count.
      if (data_end < count_size + 2 + jumps + var_count) CorruptRow("的变长列表超出行");
      const std::size_t first = data_end - 2 - jumps;
      if ((first - var_count) / 256 < jumps) --jumps;
      var_offsets_.resize(var_count + 1);
      std::size_t used = 0;
      for (std::size_t i = 0; i <= var_count; ++i) {
        while (used < jumps && i == row[data_end - 2 - used]) ++used;
        var_offsets_[i] = row[first - i] + 256 * used;
      }
      var_limit = first - var_count;
    } else {
      if (data_end < count_size + 2) CorruptRow("的变长列表超出行");
      var_count = Le16(row + data_end - 2);
      if (data_end < count_size + 2 + 2 * (var_count + 1)) CorruptRow("的变长列表超出行");
      var_offsets_.resize(var_count + 1);
      for (std::size_t i = 0; i <= var_count; ++i) var_offsets_[i] = Le16(row + data_end - 4 - 2 * i);
      var_limit = data_end - 2 - 2 * (var_count + 1);
    }
  }

  const auto& columns = table_->columns;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnLayout& c = columns[i];
    Field& f = fields_[i];
    f.data = nullptr;
    f.size = 0;
    // A column added after the row was written has no bit: null (No).
    f.null = c.number >= row_columns || (mask[c.number / 8] >> (c.number % 8) & 1) == 0;
    if (f.null || c.type == kTypeBoolean) continue;
    std::size_t start = 0, end = 0;
    if (c.fixed()) {
      start = count_size + c.fixed_offset;
      end = start + c.size;
    } else if (c.var_index < var_count) {
      start = var_offsets_[c.var_index];
      end = var_offsets_[c.var_index + 1];
    } else {
      f.null = true;  // the row has fewer variable values: written before the column was added
      continue;
    }
    if (start < count_size || start > end || end > var_limit) {
      CorruptField(static_cast<unsigned>(i),
                   "超出行（位置 " + std::to_string(start) + "，长度 " +
                       std::to_string(static_cast<long long>(end) - static_cast<long long>(start)) + "）");
    }
    f.data = row + start;
    f.size = end - start;
  }
}

void TableScan::DecodeText(const unsigned char* p, std::size_t n, std::string* out) {
  if (codepage_) {
    codepage_->ToUtf8(p, n, out);
  } else {
    DecodeJet4Text(p, n, out);
  }
}

// The bytes of a long value: inline after its field, one long-value row,
// or a chain of long-value rows each starting with the next one's address.
// A chain ends at its stated length; a row visited twice or a length past
// the file's size is damage.
void TableScan::ReadLongValue(unsigned column, const Field& f, std::string* bytes) {
  bytes->clear();
  if (f.size < kLongValueField) CorruptField(column, "的长值引用太短");
  const std::uint32_t head = Le32(f.data);
  const std::uint64_t length = head & kLongValueLengthMask;
  if (head & kLongValueInline) {
    bytes->assign(reinterpret_cast<const char*>(f.data + kLongValueField), f.size - kLongValueField);
    return;
  }
  if (length > pages_.file_size()) CorruptField(column, "的长值长度 " + std::to_string(length) + " 超过文件");
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t address = Le32(f.data + 4);;) {
    const std::uint32_t page = address >> 8;
    const unsigned row = address & 0xFF;
    if (!pages_.Contains(page)) CorruptField(column, "的长值指向第 " + std::to_string(page) + " 页，超出文件");
    if (!seen.insert(address).second) CorruptField(column, "的长值页链成环");
    pages_.Read(page, &long_page_, long_values_);
    const auto rows = RowCount(long_page_.data(), long_page_.size(), pages_.version());
    RowSlot slot;
    if (!rows || row >= *rows ||
        FindRow(long_page_.data(), long_page_.size(), pages_.version(), *rows, row, &slot)) {
      CorruptField(column, "的长值指向的行（第 " + std::to_string(page) + " 页第 " + std::to_string(row) + " 行）不存在");
    }
    long_value_bytes_ += slot.size;
    if (long_value_bytes_ > 2 * pages_.file_size()) CorruptField(column, "的长值与其他值共用长值页");
    const unsigned char* part = long_page_.data() + slot.start;
    if (head & kLongValueOneRow) {
      bytes->assign(reinterpret_cast<const char*>(part), slot.size);
      return;
    }
    if (slot.size < 4) CorruptField(column, "的长值行太短");
    bytes->append(reinterpret_cast<const char*>(part + 4), slot.size - 4);
    if (bytes->size() > length) CorruptField(column, "的长值超过其长度 " + std::to_string(length));
    address = Le32(part);
    if (address == 0) return;
  }
}

void TableScan::Decode(unsigned column, com::Variant* out) {
  const ColumnLayout& c = table_->columns[column];
  const Field& f = fields_[column];
  if (c.type == kTypeBoolean) {  // the value lives in the null mask
    out->SetInteger(com::VarType::kBool, f.null ? 0 : 1);
    return;
  }
  if (f.null) {
    out->SetNull();
    return;
  }
  const unsigned char* p = f.data;
  auto need = [&](std::size_t n) {
    if (f.size < n) CorruptField(column, "太短");
  };
  switch (c.type) {
    case kTypeByte: need(1); out->SetInteger(com::VarType::kUI1, p[0]); break;
    case kTypeInteger: need(2); out->SetInteger(com::VarType::kI2, Load<std::int16_t>(p)); break;
    case kTypeLong: case kTypeComplex: need(4); out->SetInteger(com::VarType::kI4, Load<std::int32_t>(p)); break;
    case kTypeCurrency: need(8); out->SetInteger(com::VarType::kCurrency, Load<std::int64_t>(p)); break;
    case kTypeSingle: need(4); out->SetReal(com::VarType::kR4, Load<float>(p)); break;
    case kTypeDouble: need(8); out->SetReal(com::VarType::kR8, Load<double>(p)); break;
    case kTypeDateTime: {
      need(8);
      const double v = Load<double>(p);
      if (!(v > kFirstDate && v < kEndDate)) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.6g", v);
        CorruptField(column, std::string("的日期值 ") + shown + " 不在 100 至 9999 年之间");
      }
      out->SetReal(com::VarType::kDate, v);
      break;
    }
    case kTypeText:
      DecodeText(p, f.size, &scratch_);
      out->SetText(scratch_);
      break;
    case kTypeMemo:
      ReadLongValue(column, f, &bytes_);
      DecodeText(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size(), &scratch_);
      out->SetText(scratch_);
      break;
    case kTypeOle:
      ReadLongValue(column, f, &bytes_);
      Hex(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size(), &scratch_);
      out->SetText(scratch_);
      break;
    case kTypeDecimal:
      need(17);
      DecimalText(p, c.scale, &scratch_);
      out->SetDecimal(scratch_);
      break;
    case kTypeReplicationId:
      need(16);
      GuidText(p, &scratch_);
      out->SetText(scratch_);
      break;
    default:  // Binary, and types Jet 4 does not define: their bytes
      Hex(p, f.size, &scratch_);
      out->SetText(scratch_);
  }
}

void TableScan::LongValue(unsigned column, std::string* out) {
  const Field& f = fields_[column];
  out->clear();
  if (!f.null) ReadLongValue(column, f, out);
}

}  // namespace jet
