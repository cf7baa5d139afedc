#include "platform/jet/writer_pages.h"

#include <algorithm>
#include <cstring>

#include "platform/com/error.h"
#include "platform/com/names.h"

namespace jet::wr {
namespace {

// An inline usage map covers 64 bytes of bitmap: 512 pages from its start.
constexpr std::uint32_t kInlineMapPages = 64 * 8;
// A bitmap page covers everything after its 4-byte header.
constexpr std::uint32_t kBitmapPagePages = (kPageSize - 4) * 8;
// A reference map names up to 16 + 1 bitmap pages (69 bytes), enough for
// the whole 2 GB of a file.
constexpr std::size_t kReferenceMapSlots = (kUsageMapSize - 1) / 4;

// Usage map rows per page: each takes its 69 bytes and a 2-byte offset.
constexpr std::size_t kMapsPerPage = (kPageSize - DataPage::kHeaderSize) / (kUsageMapSize + 2);

// Index pages: a header, the bitmap of entry ends from offset 0x1B, and
// the entries from offset 0x1E0 to the end of the page.
constexpr std::size_t kIndexMaskOffset = 0x1B;
constexpr std::size_t kIndexEntriesOffset = 0x1E0;
constexpr std::size_t kIndexCapacity = kPageSize - kIndexEntriesOffset;

// Definition blocks: the constant Access writes in front of each column
// and logical index entry, and the one in front of each physical index.
constexpr std::uint32_t kDefinitionStamp = 0x0659;
constexpr std::uint32_t kIndexStamp = 0x0783;
// Sort order of text and the value Access writes for every column: General.
constexpr std::uint16_t kSortGeneral = 0x0409;

template <class F>
void ForEachPage(const PageSet& set, F f) {
  if (set.empty()) return;
  for (std::uint32_t p = set.lowest(); p <= set.highest(); ++p) {
    if (set.Contains(p)) f(p);
  }
}

// An index page being filled: a header, the bitmap of entry ends, the
// entries. Shared prefixes are not used (the prefix length stays zero).
class IndexPageBuilder {
 public:
  IndexPageBuilder(std::uint8_t type, std::uint32_t tdef_page) : type_(type), tdef_page_(tdef_page) {}

  void Start(std::uint32_t number, std::uint32_t prev) {
    page_.fill(0);
    page_[0] = type_;
    page_[1] = 0x01;
    Store32(&page_[4], tdef_page_);
    Store32(&page_[8], prev);
    number_ = number;
    used_ = 0;
    last_.clear();
  }
  bool empty() const { return used_ == 0; }
  bool Fits(std::size_t size) const { return used_ + size <= kIndexCapacity; }
  void Add(const std::uint8_t* entry, std::size_t size) {
    std::memcpy(&page_[kIndexEntriesOffset + used_], entry, size);
    used_ += size;
    // The end of every entry is marked; the start of the first is implied.
    page_[kIndexMaskOffset + used_ / 8] |= static_cast<std::uint8_t>(1u << (used_ % 8));
    last_.assign(entry, entry + size);
  }
  void Write(std::uint32_t next, PageFile* file) {
    Store32(&page_[12], next);
    Store16(&page_[2], static_cast<std::uint16_t>(kIndexCapacity - used_));
    file->Write(number_, page_);
  }
  std::uint32_t number() const { return number_; }
  const Bytes& last() const { return last_; }

 private:
  std::uint8_t type_;
  std::uint32_t tdef_page_;
  Page page_{};
  std::uint32_t number_ = 0;
  std::size_t used_ = 0;
  Bytes last_;
};

// A page of one level of an index: its number and its last entry.
struct LevelPage {
  std::uint32_t number;
  Bytes last;
};

// Writes one level of an index, `count` entries (entry(i) giving the bytes
// and length of the i-th) packed into pages linked to their neighbours.
// The first page is `*first` when it is not 0 (then set to 0), else
// allocated like the rest.
template <class EntryAt>
std::vector<LevelPage> WriteLevel(std::uint8_t type, std::size_t count, EntryAt entry, std::uint32_t tdef_page,
                                  std::uint32_t* first, PageFile* file, PageSet* pages) {
  auto allocate = [&] {
    const std::uint32_t n = *first != 0 ? *first : file->Allocate();
    *first = 0;
    pages->Add(n);
    return n;
  };
  std::vector<LevelPage> level;
  IndexPageBuilder page(type, tdef_page);
  page.Start(allocate(), 0);
  for (std::size_t i = 0; i < count; ++i) {
    const auto [data, size] = entry(i);
    if (!page.empty() && !page.Fits(size)) {
      const std::uint32_t next = allocate();
      page.Write(next, file);
      level.push_back({page.number(), page.last()});
      page.Start(next, level.back().number);
    }
    page.Add(data, size);
  }
  page.Write(0, file);
  level.push_back({page.number(), page.last()});
  return level;
}

// The key a system table's columns and a table's indexes are listed by:
// ASCII folded as names compare (names.h), every other character after
// all of ASCII and alike.
std::string ListingKey(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? com::AsciiLower(static_cast<char>(c)) : '\x7f');
  return out;
}

}  // namespace

void DataPage::Start(std::uint32_t number, std::uint32_t owner, bool long_values) {
  page_.fill(0);
  page_[0] = kPageData;
  page_[1] = 0x01;
  if (long_values) {
    std::memcpy(&page_[4], "LVAL", 4);
  } else {
    Store32(&page_[4], owner);
  }
  number_ = number;
  rows_ = 0;
  free_ = kPageSize - kHeaderSize;
  top_ = kPageSize;
  started_ = true;
}

std::uint32_t DataPage::Add(const std::uint8_t* data, std::size_t size) {
  top_ -= size;
  if (size > 0) std::memcpy(&page_[top_], data, size);
  Store16(&page_[kHeaderSize + 2 * static_cast<std::size_t>(rows_)], static_cast<std::uint16_t>(top_));
  free_ -= size + 2;
  return static_cast<std::uint32_t>(rows_++);
}

const Page& DataPage::Finish() {
  Store16(&page_[2], static_cast<std::uint16_t>(free_));
  Store16(&page_[12], static_cast<std::uint16_t>(rows_));
  return page_;
}

void PageSet::Add(std::uint32_t page) {
  if (count_ == 0) {
    base_ = page & ~7u;
    bits_.assign(1, 0);
    lowest_ = highest_ = page;
  } else if (page < base_) {
    const std::uint32_t new_base = page & ~7u;
    bits_.insert(bits_.begin(), (base_ - new_base) / 8, 0);
    base_ = new_base;
  }
  const std::uint32_t i = page - base_;
  if (i / 8 >= bits_.size()) bits_.resize(i / 8 + 1, 0);
  const auto bit = static_cast<std::uint8_t>(1u << (i % 8));
  if (bits_[i / 8] & bit) return;
  bits_[i / 8] |= bit;
  ++count_;
  lowest_ = std::min(lowest_, page);
  highest_ = std::max(highest_, page);
}

bool PageSet::Contains(std::uint32_t page) const {
  if (count_ == 0 || page < base_) return false;
  const std::uint32_t i = page - base_;
  return i / 8 < bits_.size() && (bits_[i / 8] & (1u << (i % 8))) != 0;
}

Bytes BuildUsageMap(const PageSet& pages, PageFile* file) {
  Bytes row(kUsageMapSize, 0);
  if (pages.empty()) return row;
  // Access starts its inline maps at page 0; a table further into the
  // file gets a window starting at its first page.
  const std::uint32_t start = pages.highest() < kInlineMapPages ? 0 : pages.lowest() & ~7u;
  if (pages.highest() - start < kInlineMapPages) {
    row[0] = 0x00;
    Store32(&row[1], start);
    ForEachPage(pages, [&](std::uint32_t p) {
      const std::uint32_t i = p - start;
      row[5 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    });
    return row;
  }
  row[0] = 0x01;
  const std::uint32_t first = pages.lowest() / kBitmapPagePages;
  const std::uint32_t last = pages.highest() / kBitmapPagePages;
  for (std::uint32_t k = first; k <= last; ++k) {
    Page bitmap{};
    bitmap[0] = kPageUsageBitmap;
    bitmap[1] = 0x01;
    bool any = false;
    const std::uint32_t lo = k * kBitmapPagePages;
    const std::uint32_t hi = std::min(pages.highest(), lo + kBitmapPagePages - 1);
    for (std::uint32_t p = std::max(lo, pages.lowest()); p <= hi; ++p) {
      if (!pages.Contains(p)) continue;
      const std::uint32_t i = p - lo;
      bitmap[4 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
      any = true;
    }
    if (!any) continue;
    if (k >= kReferenceMapSlots) {
      throw com::Error(com::ErrorNumber(0x80004005u), "Jet.Writer",
                       "internal error: usage map beyond the 2 GB limit");
    }
    const std::uint32_t number = file->Allocate();
    file->Write(number, bitmap);
    Store32(&row[1 + 4 * k], number);
  }
  return row;
}

std::uint32_t UsageMapPages(std::size_t count) {
  return static_cast<std::uint32_t>(std::max<std::size_t>(1, (count + kMapsPerPage - 1) / kMapsPerPage));
}

std::uint32_t UsageMapPointer(const std::vector<std::uint32_t>& pages, std::size_t i) {
  return RowPointer(pages[i / kMapsPerPage], static_cast<std::uint32_t>(i % kMapsPerPage));
}

void WriteUsageMapPages(const std::vector<Bytes>& rows, const std::vector<std::uint32_t>& pages,
                        PageFile* file) {
  DataPage page;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    page.Start(pages[p], 0);
    for (std::size_t i = p * kMapsPerPage; i < rows.size() && i < (p + 1) * kMapsPerPage; ++i) {
      page.Add(rows[i].data(), rows[i].size());
    }
    file->Write(pages[p], page.Finish());
  }
}

void IndexEntries::Add(const Bytes& key, std::uint32_t page, std::uint32_t row, std::uint32_t row_number,
                       bool has_null) {
  nulls_.push_back(has_null);
  starts_.push_back(bytes_.size());
  bytes_.insert(bytes_.end(), key.begin(), key.end());
  bytes_.push_back(static_cast<std::uint8_t>(page >> 16));
  bytes_.push_back(static_cast<std::uint8_t>(page >> 8));
  bytes_.push_back(static_cast<std::uint8_t>(page));
  bytes_.push_back(static_cast<std::uint8_t>(row));
  row_numbers_.push_back(row_number);
}

std::size_t IndexEntries::length(std::size_t i) const {
  const std::size_t k = order_[i];
  return (k + 1 < starts_.size() ? starts_[k + 1] : bytes_.size()) - starts_[k];
}

void IndexEntries::Sort() {
  order_.resize(starts_.size());
  for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<std::uint32_t>(i);
  auto bytes_of = [&](std::uint32_t k) {
    const std::size_t end = k + 1 < starts_.size() ? starts_[k + 1] : bytes_.size();
    return std::pair{bytes_.data() + starts_[k], bytes_.data() + end};
  };
  std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
    const auto [a0, a1] = bytes_of(a);
    const auto [b0, b1] = bytes_of(b);
    return std::lexicographical_compare(a0, a1, b0, b1);
  });
}

bool IndexEntries::SameKey(std::size_t i) const {
  // The last 4 bytes of an entry are the row's address.
  const std::size_t n = length(i);
  return n == length(i + 1) && std::memcmp(data(i), data(i + 1), n - 4) == 0;
}

std::uint32_t WriteIndex(const IndexEntries& entries, std::uint32_t tdef_page, std::uint32_t first_page,
                         PageFile* file, PageSet* pages) {
  std::uint32_t first = first_page;
  std::vector<LevelPage> level = WriteLevel(
      kPageIndexLeaf, entries.size(), [&](std::size_t i) { return std::pair{entries.data(i), entries.length(i)}; },
      tdef_page, &first, file, pages);
  bool leaves = true;
  while (level.size() > 1) {
    // A node entry repeats the last entry of its child page (without the
    // child's own page number, on node pages), followed by the child's
    // page number (big-endian).
    std::vector<Bytes> nodes;
    for (const LevelPage& child : level) {
      // Node entries end in a page number: at least 4 bytes.
      const std::size_t kept = leaves ? child.last.size() : child.last.size() - 4;
      Bytes e(child.last.begin(), child.last.begin() + static_cast<std::ptrdiff_t>(kept));
      for (int b = 3; b >= 0; --b) e.push_back(static_cast<std::uint8_t>(child.number >> (8 * b)));
      nodes.push_back(std::move(e));
    }
    level = WriteLevel(
        kPageIndexNode, nodes.size(), [&](std::size_t i) { return std::pair{nodes[i].data(), nodes[i].size()}; },
        tdef_page, &first, file, pages);
    leaves = false;
  }
  return level[0].number;
}

std::uint32_t WriteIndex(std::vector<IndexEntry> entries, std::uint32_t tdef_page, std::uint32_t first_page,
                         PageFile* file, PageSet* pages) {
  IndexEntries flat;
  for (const IndexEntry& e : entries) flat.Add(e.key, e.page, e.row, 0);
  flat.Sort();
  return WriteIndex(flat, tdef_page, first_page, file, pages);
}

void RowBuilder::Bind(const std::vector<TdefColumn>* columns) {
  columns_ = columns;
  fixed_size_ = 0;
  std::size_t slots = 0;
  for (const auto& c : *columns) {
    if (c.fixed() && c.type != kTypeBoolean) {
      fixed_size_ = std::max<std::size_t>(fixed_size_, c.fixed_offset + c.length);
    }
    if (!c.fixed()) ++slots;
  }
  fixed_.assign(fixed_size_, 0);
  var_.assign(slots, Bytes{});
  var_present_.assign(slots, 0);
  mask_.assign((columns->size() + 7) / 8, 0);
}

void RowBuilder::Clear() {
  std::fill(fixed_.begin(), fixed_.end(), 0);
  std::fill(var_present_.begin(), var_present_.end(), 0);
  std::fill(mask_.begin(), mask_.end(), 0);
}

std::uint8_t* RowBuilder::SetFixed(std::size_t column) {
  const TdefColumn& c = (*columns_)[column];
  mask_[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
  return &fixed_[c.fixed_offset];
}

void RowBuilder::SetBoolean(std::size_t column, bool value) {
  const TdefColumn& c = (*columns_)[column];
  const auto bit = static_cast<std::uint8_t>(1u << (c.number % 8));
  if (value) {
    mask_[c.number / 8] |= bit;
  } else {
    mask_[c.number / 8] &= static_cast<std::uint8_t>(~bit);
  }
}

Bytes* RowBuilder::SetVariable(std::size_t column) {
  const TdefColumn& c = (*columns_)[column];
  mask_[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
  var_present_[c.var_index] = 1;
  var_[c.var_index].clear();
  return &var_[c.var_index];
}

void RowBuilder::SetNull(std::size_t column) {
  const TdefColumn& c = (*columns_)[column];
  mask_[c.number / 8] &= static_cast<std::uint8_t>(~(1u << (c.number % 8)));
  if (c.fixed() && c.type != kTypeBoolean) {
    std::fill_n(fixed_.begin() + c.fixed_offset, c.length, 0);
  } else if (!c.fixed()) {
    var_present_[c.var_index] = 0;
  }
}

bool RowBuilder::Present(std::size_t column) const {
  const std::uint16_t n = (*columns_)[column].number;
  return (mask_[n / 8] >> (n % 8) & 1) != 0;
}

std::size_t RowBuilder::Size() const {
  std::size_t size = 2 + fixed_size_ + mask_.size();
  if (!var_.empty()) {
    size += 2 + 2 * var_.size() + 2;
    for (std::size_t i = 0; i < var_.size(); ++i) {
      if (var_present_[i]) size += var_[i].size();
    }
  }
  return size;
}

const Bytes& RowBuilder::Build() {
  row_.clear();
  Put16(&row_, static_cast<std::uint16_t>(columns_->size()));
  PutBytes(&row_, fixed_);
  if (!var_.empty()) {
    offsets_.resize(var_.size());
    for (std::size_t i = 0; i < var_.size(); ++i) {
      offsets_[i] = static_cast<std::uint16_t>(row_.size());
      if (var_present_[i]) PutBytes(&row_, var_[i]);
    }
    Put16(&row_, static_cast<std::uint16_t>(row_.size()));  // end of the data
    for (std::size_t i = var_.size(); i > 0; --i) Put16(&row_, offsets_[i - 1]);
    Put16(&row_, static_cast<std::uint16_t>(var_.size()));
  }
  PutBytes(&row_, mask_);
  return row_;
}

void LongValueStore::AppendInline(const Bytes& data, Bytes* field) {
  Put32(field, static_cast<std::uint32_t>(data.size()) | 0x80000000u);
  Put32(field, 0);
  Put32(field, 0);
  PutBytes(field, data);
}

void LongValueStore::Store(const Bytes& data, PageFile* file, Bytes* field) {
  const auto size = static_cast<std::uint32_t>(data.size());
  if (data.size() <= kChunk) {
    // One row, on the page being filled when it has room.
    if (page_.started() && !page_.Fits(data.size())) Flush(file);
    if (!page_.started()) {
      page_.Start(file->Allocate(), 0, true);
      pages_.Add(page_.number());
    }
    const std::uint32_t row = page_.Add(data.data(), data.size());
    Put32(field, size | 0x40000000u);
    Put32(field, RowPointer(page_.number(), row));
    Put32(field, 0);
    return;
  }
  // A chain of pages, each holding the link to the next and a chunk.
  const auto count = static_cast<std::uint32_t>((data.size() + kChunk - 1) / kChunk);
  const std::uint32_t first = file->Allocate(count);
  DataPage page;
  Bytes row;
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t at = static_cast<std::size_t>(k) * kChunk;
    const std::size_t n = std::min(kChunk, data.size() - at);
    row.clear();
    Put32(&row, k + 1 < count ? RowPointer(first + k + 1, 0) : 0);
    row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + n));
    page.Start(first + k, 0, true);
    page.Add(row.data(), row.size());
    file->Write(first + k, page.Finish());
    pages_.Add(first + k);
  }
  Put32(field, size);
  Put32(field, RowPointer(first, 0));
  Put32(field, 0);
}

void LongValueStore::Flush(PageFile* file) {
  if (!page_.started()) return;
  file->Write(page_.number(), page_.Finish());
  free_ = PageSet{};
  free_.Add(page_.number());
  page_.Clear();
}

std::uint16_t FixedSize(std::uint8_t type) {
  switch (type) {
    case kTypeBoolean:
    case kTypeByte:
      return 1;
    case kTypeInteger:
      return 2;
    case kTypeLong:
    case kTypeSingle:
      return 4;
    case kTypeCurrency:
    case kTypeDouble:
    case kTypeDateTime:
      return 8;
    case kTypeReplicationId:
      return 16;
    case kTypeDecimal:
      return 17;
    default:
      return 0;
  }
}

void LayoutColumns(std::vector<TdefColumn>* columns) {
  std::uint16_t var = 0;
  std::uint16_t offset = 0;
  std::uint16_t number = 0;
  for (auto& c : *columns) {
    c.number = number++;
    const std::uint16_t size = FixedSize(c.type);
    if (size > 0) {
      c.flags |= 0x01;
      c.length = size;
      c.var_index = var;
      // Booleans live in the null mask and take no room in the row.
      c.fixed_offset = c.type == kTypeBoolean ? 0 : offset;
      if (c.type != kTypeBoolean) offset = static_cast<std::uint16_t>(offset + size);
    } else {
      c.flags &= static_cast<std::uint8_t>(~0x01);
      c.var_index = var++;
      c.fixed_offset = 0;
    }
  }
}

Bytes SerializeTableDefinition(const TableDef& t) {
  std::vector<const TdefColumn*> columns;
  for (const auto& c : t.columns) columns.push_back(&c);
  std::vector<std::size_t> logical(t.indexes.size());
  for (std::size_t i = 0; i < logical.size(); ++i) logical[i] = i;
  if (t.system) {
    std::stable_sort(columns.begin(), columns.end(), [](const TdefColumn* a, const TdefColumn* b) {
      return ListingKey(a->name) < ListingKey(b->name);
    });
  }
  // Logical index entries are listed by name.
  std::stable_sort(logical.begin(), logical.end(), [&](std::size_t a, std::size_t b) {
    return ListingKey(t.indexes[a].name) < ListingKey(t.indexes[b].name);
  });
  std::uint16_t var_columns = 0;
  for (const auto& c : t.columns) {
    if (!c.fixed()) ++var_columns;
  }
  const auto column_count = static_cast<std::uint16_t>(t.columns.size());
  const auto index_count = static_cast<std::uint32_t>(t.indexes.size());

  Bytes b(8, 0);  // page header, filled in by WriteTableDefinition
  Put32(&b, 0);   // total length, set below
  Put32(&b, kDefinitionStamp);
  Put32(&b, t.rows);
  Put32(&b, t.last_autonumber);
  Put32(&b, 1);
  b.resize(b.size() + 12, 0);
  Put8(&b, t.system ? 0x53 : 0x4E);
  Put16(&b, column_count);  // columns a row may have
  Put16(&b, var_columns);
  Put16(&b, column_count);
  Put32(&b, index_count);  // logical indexes
  Put32(&b, index_count);  // physical indexes
  Put32(&b, t.used_map);
  Put32(&b, t.free_map);
  for (std::size_t i = 0; i < t.indexes.size(); ++i) {
    Put32(&b, 0);
    Put32(&b, t.rows);
    Put32(&b, 0);
  }
  for (const TdefColumn* c : columns) {
    Put8(&b, c->type);
    Put32(&b, kDefinitionStamp);
    Put16(&b, c->number);
    Put16(&b, c->var_index);
    Put16(&b, c->second_number);
    if (c->type == kTypeDecimal) {
      Put8(&b, c->precision);
      Put8(&b, c->scale);
    } else {
      Put16(&b, kSortGeneral);
    }
    Put16(&b, 0);
    Put8(&b, c->flags);
    Put8(&b, c->misc_flags);
    Put32(&b, 0);
    Put16(&b, c->fixed_offset);
    Put16(&b, c->length);
  }
  for (const TdefColumn* c : columns) {
    Put16(&b, static_cast<std::uint16_t>(2 * c->name.size()));
    AppendUtf16(c->name, &b);
  }
  for (const auto& idx : t.indexes) {
    Put32(&b, kIndexStamp);
    for (std::size_t k = 0; k < 10; ++k) {
      if (k < idx.columns.size()) {
        Put16(&b, idx.columns[k]);
        Put8(&b, k < idx.descending.size() && idx.descending[k] ? 0x00 : 0x01);
      } else {
        Put16(&b, 0xFFFF);
        Put8(&b, 0x00);
      }
    }
    Put32(&b, idx.used_map);
    Put32(&b, idx.first_page);
    Put32(&b, 0);
    Put8(&b, idx.flags);
    b.resize(b.size() + 5, 0);
  }
  for (std::size_t i : logical) {
    Put32(&b, kDefinitionStamp);
    Put32(&b, static_cast<std::uint32_t>(i));  // index number
    Put32(&b, static_cast<std::uint32_t>(i));  // physical index it uses
    Put8(&b, 0);                               // no foreign key:
    Put32(&b, 0xFFFFFFFFu);                    //   related index
    Put32(&b, 0);                              //   related table
    Put8(&b, 0x04);
    Put8(&b, 0x04);
    Put8(&b, t.indexes[i].primary ? 0x01 : 0x00);
    Put32(&b, 0);
  }
  for (std::size_t i : logical) {
    Put16(&b, static_cast<std::uint16_t>(2 * t.indexes[i].name.size()));
    AppendUtf16(t.indexes[i].name, &b);
  }
  for (const TdefColumn* c : columns) {
    if (!c->long_value()) continue;
    Put16(&b, c->number);
    Put32(&b, c->lv_used_map);
    Put32(&b, c->lv_free_map);
  }
  Put16(&b, 0xFFFF);
  Store32(&b[8], static_cast<std::uint32_t>(b.size()));
  return b;
}

std::uint32_t TableDefinitionPages(std::size_t size) {
  if (size <= kPageSize) return 1;
  return static_cast<std::uint32_t>(1 + (size - kPageSize + (kPageSize - 8) - 1) / (kPageSize - 8));
}

void WriteTableDefinition(const Bytes& tdef, const std::vector<std::uint32_t>& pages, PageFile* file) {
  std::size_t pos = 8;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    Page page{};
    page[0] = kPageTableDefinition;
    page[1] = 0x01;
    Store32(&page[4], i + 1 < pages.size() ? pages[i + 1] : 0);
    const std::size_t chunk = std::min(kPageSize - 8, tdef.size() - pos);
    std::memcpy(&page[8], tdef.data() + pos, chunk);
    pos += chunk;
    const std::size_t used = 8 + chunk;
    // Access records the free space less 8 bytes.
    Store16(&page[2], static_cast<std::uint16_t>(used + 8 >= kPageSize ? 0 : kPageSize - 8 - used));
    file->Write(pages[i], page);
  }
}

}  // namespace jet::wr
