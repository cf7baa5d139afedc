#include "platform/jet/reader.h"

#include <mdbtools.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <optional>
#include <unordered_set>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/dts/oledb.h"
#include "platform/jet/properties.h"
#include "platform/jet/query.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

constexpr std::int32_t kErrOutOfMemory = com::ErrorNumber(0x8007000Eu);
constexpr std::int32_t kErrNotSupported = 3251;  // operation not supported for this type of object

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

using com::SameName;

// libmdb reads the table definitions and cracks the rows; what it would
// follow is checked first (header.h), the catalog is read by us so that its
// read is bounded, and every row is checked before and after libmdb cracks
// it, so that a damaged file fails with kErrNotJetDatabase instead of
// sending libmdb past its buffers.
//
// libmdb never reads the file itself. Every page comes through FilePages,
// from the one descriptor the Database opened (source_file.h): a scan reads
// its data, usage-map and long-value pages into libmdb's page buffers; and
// the pages libmdb reads to open a table (its definition and usage maps)
// are handed to it through a stream of its own (PageFeed), as the checks
// before it read them. A page the file no longer holds whole is then an
// error naming the table and the page, where libmdb would print to stderr
// and go on with a page of zeros.

constexpr std::uint32_t kCatalogPage = 2;
constexpr char kCatalogName[] = "MSysObjects";
constexpr int kOffsetMask = 0x1FFF;
constexpr int kRowSkipFlag = 0x4000;  // deleted rows and overflow pointers
constexpr std::uint32_t kMemoInline = 0x80000000u;
constexpr std::uint32_t kMemoOneRow = 0x40000000u;
constexpr std::uint32_t kMemoLengthMask = 0x3FFFFFFFu;
// The automation dates of 100-01-01 and 10000-01-01: Jet keeps the years
// between.
constexpr double kFirstDate = -657435.0;
constexpr double kEndDate = 2958466.0;

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::size_t RowCountOffset(Version v) { return v == Version::kJet3 ? 0x08 : 0x0C; }

struct HandleCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
using HandlePtr = std::unique_ptr<MdbHandle, HandleCloser>;

struct TableFreer {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

// libmdb's file: a stdio stream that reads the pages given to it, decoded,
// and nothing else. The checks before mdb_read_table keep the pages they
// read here, so libmdb follows exactly the bytes that were checked. A page
// not given reads as the end of the file (libmdb fills it with zeros) and
// is noted, for the caller to raise once libmdb returns.
class PageFeed {
 public:
  PageFeed(std::size_t page_size, const unsigned char* first_page)
      : page_size_(page_size), first_(first_page, first_page + page_size) {}
  PageFeed(const PageFeed&) = delete;
  PageFeed& operator=(const PageFeed&) = delete;

  // A stream over the feed for MdbFile::stream; libmdb closes it, and the
  // feed outlives it.
  FILE* OpenStream() {
    FILE* stream = fopencookie(this, "r", {&PageFeed::Read, nullptr, &PageFeed::Seek, &PageFeed::Close});
    if (!stream) throw std::bad_alloc();
    std::setvbuf(stream, nullptr, _IONBF, 0);  // each page read reaches Read whole
    return stream;
  }

  // Where the pages read while keeping go; empties it, and forgets a miss.
  FilePages::Record* Restart() {
    pages_.clear();
    missed_.reset();
    return &pages_;
  }
  // The first page libmdb asked for and was not given since Restart.
  const std::optional<std::uint32_t>& missed() const { return missed_; }

 private:
  // libmdb looks at the end of the file before each page and prints when
  // the page lies beyond it: the feed's end is past any page of a Jet file,
  // and a page not given is noted when it is read instead.
  static constexpr std::int64_t kEnd = std::int64_t{1} << 40;

  static ssize_t Read(void* cookie, char* buf, std::size_t size) {
    auto& f = *static_cast<PageFeed*>(cookie);
    std::size_t done = 0;
    while (done < size) {
      const std::uint64_t page = f.position_ / f.page_size_;
      const std::size_t offset = static_cast<std::size_t>(f.position_ % f.page_size_);
      const std::vector<unsigned char>* bytes = page == 0 ? &f.first_ : nullptr;
      if (!bytes) {
        const auto it = page <= UINT32_MAX ? f.pages_.find(static_cast<std::uint32_t>(page)) : f.pages_.end();
        if (it != f.pages_.end()) bytes = &it->second;
      }
      if (!bytes) {
        if (!f.missed_) f.missed_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(page, UINT32_MAX));
        break;
      }
      const std::size_t n = std::min(size - done, f.page_size_ - offset);
      std::memcpy(buf + done, bytes->data() + offset, n);
      done += n;
      f.position_ += n;
    }
    return static_cast<ssize_t>(done);
  }
  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto& f = *static_cast<PageFeed*>(cookie);
    const std::int64_t base = whence == SEEK_SET   ? 0
                              : whence == SEEK_CUR ? static_cast<std::int64_t>(f.position_)
                                                   : kEnd;
    const std::int64_t to = base + *offset;
    if (to < 0) return -1;
    f.position_ = static_cast<std::uint64_t>(to);
    *offset = to;
    return 0;
  }
  static int Close(void*) { return 0; }

  std::size_t page_size_;
  std::vector<unsigned char> first_;  // page 0, as the file has it
  FilePages::Record pages_;
  std::uint64_t position_ = 0;
  std::optional<std::uint32_t> missed_;
};

// Keeps the pages read through `pages` in `record` while it lives.
class KeepingReads {
 public:
  KeepingReads(const FilePages& pages, FilePages::Record* record) : pages_(pages) { pages_.KeepReadsIn(record); }
  ~KeepingReads() { pages_.KeepReadsIn(nullptr); }
  KeepingReads(const KeepingReads&) = delete;
  KeepingReads& operator=(const KeepingReads&) = delete;

 private:
  const FilePages& pages_;
};

// Opens libmdb on a file whose header has been checked, reading from
// `feed`, with Jet 3 names decoded from the code page.
HandlePtr OpenMdb(std::vector<unsigned char> first_page, PageFeed& feed, Version version,
                  const std::string& codepage, const std::string& path) {
  HandlePtr h(mdb_open_buffer(first_page.data(), first_page.size(), MDB_NOFLAGS));
  if (!h || !h->f) Fail(kErrCannotOpen, "无法打开数据库“" + path + "”。");
  FILE* stream = feed.OpenStream();
  if (h->f->stream) std::fclose(h->f->stream);  // the copy of page 0 it opened with
  h->f->stream = stream;
  h->f->db_key = 0;  // the feed's pages are decoded already
#if MDBTOOLS_H_HAVE_ICONV_H
  if (version == Version::kJet3) {
    iconv_t in = iconv_open("UTF-8", codepage.c_str());
    iconv_t out = iconv_open(codepage.c_str(), "UTF-8");
    if (in == reinterpret_cast<iconv_t>(-1) || out == reinterpret_cast<iconv_t>(-1)) {
      if (in != reinterpret_cast<iconv_t>(-1)) iconv_close(in);
      if (out != reinterpret_cast<iconv_t>(-1)) iconv_close(out);
      Fail(com::kErrInvalidArgument, "不支持的代码页“" + codepage + "”。");
    }
    mdb_iconv_close(h.get());
    h->iconv_in = in;
    h->iconv_out = out;
  }
#else
  (void)version;
  (void)codepage;
#endif
  return h;
}


// An object of the catalog (MSysObjects).
struct CatalogEntry {
  std::string name;
  int type = 0;             // 1: a table
  std::uint32_t page = 0;   // a table's definition page
  std::uint32_t flags = 0;  // system objects have a 0x80000002 bit

  bool IsTable() const { return type == MDB_TABLE; }
  bool IsUserTable() const { return IsTable() && (flags & 0x80000002u) == 0; }
};

class Handle {
 public:
  // Checks the file's size and the catalog's definition, opens libmdb with
  // Jet 3 names read in `codepage`, and reads the catalog. Raises
  // com::Error.
  Handle(std::shared_ptr<const SourceFile> file, const HeaderInfo& header, const std::string& codepage);
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  MdbHandle* mdb() const { return mdb_.get(); }
  const FilePages& pages() const { return pages_; }
  const std::string& codepage() const { return codepage_; }
  const std::vector<CatalogEntry>& catalog() const { return catalog_; }

  // The table of that name (any case) with its columns, definition and
  // usage map checked; error 3078 when the catalog has none.
  TablePtr OpenTable(std::string_view name);
  // The same with its indexes read too, the flags of its columns in
  // `flags`, and its catalog entry in `entry`.
  TablePtr OpenTableWithIndexes(std::string_view name, std::vector<ColumnFlags>* flags, CatalogEntry* entry);
  // The property blob (MSysObjects.LvProp) of the object whose definition
  // is on `page`; empty when it has none.
  std::string Properties(std::uint32_t page);
  // Checks the definition and usage map of every table of the catalog.
  void CheckAllTables();

 private:
  TablePtr OpenAt(std::uint32_t page, const std::string& name, std::vector<ColumnFlags>* flags = nullptr);
  const CatalogEntry& Find(std::string_view name) const;
  void ReadCatalog();

  FilePages pages_;
  std::string codepage_;
  std::unique_ptr<PageFeed> feed_;  // outlives libmdb's stream over it
  HandlePtr mdb_;
  std::deque<MdbCatalogEntry> entries_;  // libmdb's table definitions point at these
  std::vector<CatalogEntry> catalog_;
};

// The live rows of one table in file order, and their values.
class TableScan {
 public:
  // `handle` outlives the scan.
  TableScan(Handle& handle, TablePtr table, std::string name);

  const std::string& name() const { return name_; }
  unsigned column_count() const { return table_->num_cols; }
  // The row count the table's definition records.
  std::int64_t recorded_rows() const { return table_->num_rows; }
  const MdbColumn& column(unsigned i) const {
    return *static_cast<const MdbColumn*>(g_ptr_array_index(table_->columns, i));
  }

  // Moves to the next live row; false after the last.
  bool Next();
  // A column's value in the current row: Yes/No as kBool, numbers as their
  // automation types, dates as kDate (raising kErrNotJetDatabase outside
  // the years 100 to 9999 Jet keeps), text and memos as UTF-8, decimals as
  // kDecimal, replication IDs as GUID text, binary and OLE data as hex.
  void Decode(unsigned column, com::Variant* out);
  // The bytes of a Memo or OLE value in the current row; empty for null.
  void LongValue(unsigned column, std::string* out);

 private:
  bool NextPage();
  void Crack(unsigned row, std::size_t start, std::size_t size);
  void CheckRowLayout(unsigned row, std::size_t start, std::size_t size) const;
  void ReadMemo(unsigned column, const unsigned char* p, std::size_t size, std::string* bytes);
  void DecodeText(const unsigned char* p, std::size_t n, std::string* out);
  [[noreturn]] void Corrupt(const std::string& fault) const;
  [[noreturn]] void CorruptRow(unsigned row, const std::string& fault) const;
  // Of a column of the current row.
  [[noreturn]] void CorruptField(unsigned column, const std::string& fault) const;

  Handle& handle_;
  TablePtr table_;
  std::string name_;
  std::string data_pages_, long_values_;  // the table's data and long-value pages, for errors
  std::unique_ptr<CodePage> codepage_;  // Jet 3
  std::vector<MdbField> fields_;
  std::vector<MdbField*> by_column_;
  std::string scratch_, bytes_;
  // Long-value bytes read so far. Each long-value row of a sound file
  // belongs to one value, so a scan reads no more than the file holds
  // (twice, when a filter reads a memo column again).
  std::uint64_t long_value_bytes_ = 0;
  bool started_ = false, done_ = false;
  unsigned row_ = 0, rows_ = 0;
};

Handle::Handle(std::shared_ptr<const SourceFile> file, const HeaderInfo& header, const std::string& codepage)
    : pages_(std::move(file), header), codepage_(codepage) {
  CheckTableDefinition(pages_, kCatalogPage, kCatalogName);
  std::vector<unsigned char> first(pages_.page_size());
  pages_.Read(0, &first, "数据库定义页");
  feed_ = std::make_unique<PageFeed>(pages_.page_size(), first.data());
  mdb_ = OpenMdb(std::move(first), *feed_, header.version, codepage, pages_.path());
  ReadCatalog();
}

TablePtr Handle::OpenAt(std::uint32_t page, const std::string& name, std::vector<ColumnFlags>* flags) {
  {
    KeepingReads keep(pages_, feed_->Restart());
    std::vector<ColumnFlags> checked = CheckTableDefinition(pages_, page, name);
    if (flags) *flags = std::move(checked);
  }
  MdbCatalogEntry& entry = entries_.emplace_back();
  std::memset(&entry, 0, sizeof entry);
  entry.mdb = mdb_.get();
  entry.object_type = MDB_TABLE;
  entry.table_pg = page;
  std::snprintf(entry.object_name, sizeof entry.object_name, "%s", name.c_str());
  mdb_->cur_pg = 0;  // libmdb would take a page already in its buffer as read
  TablePtr t(mdb_read_table(&entry));
  const bool read = t && mdb_read_columns(t.get());
  // The index entries follow the column names, on the pages just checked.
  if (read && flags) mdb_read_indices(t.get());
  if (const auto& missed = feed_->missed()) {
    Fail(kErrNotJetDatabase, "无法读取表“" + name + "”的定义：它指向的第 " + std::to_string(*missed) +
                                 " 页未经检查，文件“" + pages_.path() + "”可能已损坏。");
  }
  if (!read) {
    Fail(kErrNotJetDatabase, "无法读取表“" + name + "”的定义：文件“" + pages_.path() + "”可能已损坏。");
  }
  feed_->Restart();
  CheckUsageMap(pages_, t->usage_map, t->map_sz, name);
  return t;
}

const CatalogEntry& Handle::Find(std::string_view name) const {
  for (const CatalogEntry& e : catalog_) {
    if (e.IsTable() && com::SameName(e.name, name)) return e;
  }
  Fail(3078, "Jet 数据库引擎找不到输入表或查询“" + std::string(name) + "”。");
}

TablePtr Handle::OpenTable(std::string_view name) {
  const CatalogEntry& e = Find(name);
  return OpenAt(e.page, e.name);
}

TablePtr Handle::OpenTableWithIndexes(std::string_view name, std::vector<ColumnFlags>* flags, CatalogEntry* entry) {
  *entry = Find(name);
  return OpenAt(entry->page, entry->name, flags);
}

void Handle::CheckAllTables() {
  std::unordered_set<std::uint32_t> checked;  // each definition once, however many entries name it
  for (const CatalogEntry& e : catalog_) {
    if (e.IsTable() && checked.insert(e.page).second) OpenAt(e.page, e.name);
  }
}

void Handle::ReadCatalog() {
  TableScan scan(*this, OpenAt(kCatalogPage, kCatalogName), kCatalogName);
  auto find = [&](const char* name) {
    for (unsigned i = 0; i < scan.column_count(); ++i) {
      if (com::SameName(scan.column(i).name, name)) return i;
    }
    Fail(kErrNotJetDatabase, "数据库文件“" + pages_.path() + "”已损坏：目录表没有列“" + std::string(name) + "”。");
  };
  const unsigned id = find("Id"), name = find("Name"), type = find("Type"), flags = find("Flags");
  com::Variant v;
  while (scan.Next()) {
    CatalogEntry e;
    scan.Decode(name, &v);
    if (v.IsNull()) continue;
    e.name = v.ToText();
    scan.Decode(type, &v);
    e.type = v.IsNull() ? 0 : static_cast<int>(v.integer() & 0x7F);
    scan.Decode(id, &v);
    e.page = v.IsNull() ? 0 : static_cast<std::uint32_t>(v.integer()) & 0x00FFFFFFu;
    scan.Decode(flags, &v);
    e.flags = v.IsNull() ? 0 : static_cast<std::uint32_t>(v.integer());
    catalog_.push_back(std::move(e));
  }
}

TableScan::TableScan(Handle& handle, TablePtr table, std::string name)
    : handle_(handle), table_(std::move(table)), name_(std::move(name)),
      data_pages_("表“" + name_ + "”的数据页"), long_values_("表“" + name_ + "”的长值页") {
  if (handle_.pages().version() == Version::kJet3) codepage_ = std::make_unique<CodePage>(handle_.codepage());
  fields_.resize(table_->num_cols);
  mdb_rewind_table(table_.get());
}

void TableScan::Corrupt(const std::string& fault) const {
  Fail(kErrNotJetDatabase, "数据库文件“" + handle_.pages().path() + "”已损坏：表“" + name_ + "”第 " +
                               std::to_string(table_->cur_phys_pg) + " 页" + fault + "。");
}

void TableScan::CorruptRow(unsigned row, const std::string& fault) const {
  Corrupt("第 " + std::to_string(row) + " 行" + fault);
}

void TableScan::CorruptField(unsigned column_index, const std::string& fault) const {
  Corrupt("第 " + std::to_string(row_ - 1) + " 行的列“" + std::string(column(column_index).name) + "”" + fault);
}

// The next page of the table's usage map that holds its rows, read into
// libmdb's page buffer as mdb_read_next_dpg would. A page the map names for
// another table or of another kind is passed over.
bool TableScan::NextPage() {
  MdbHandle* mdb = handle_.mdb();
  for (;;) {
    const std::uint32_t next =
        NextMappedPage(handle_.pages(), table_->usage_map, table_->map_sz, table_->cur_phys_pg, name_);
    if (next == 0) {
      done_ = true;
      return false;
    }
    handle_.pages().ReadInto(next, mdb->pg_buf, data_pages_);
    mdb->cur_pg = next;
    mdb->cur_pos = 0;
    table_->cur_phys_pg = next;
    if (mdb->pg_buf[0] == MDB_PAGE_DATA && Le32(mdb->pg_buf + 4) == table_->entry->table_pg) break;
  }
  const std::size_t rco = RowCountOffset(handle_.pages().version());
  rows_ = static_cast<unsigned>(mdb_get_int16(mdb->pg_buf, static_cast<int>(rco)));
  if (rco + 2 + 2 * static_cast<std::size_t>(rows_) > handle_.pages().page_size()) {
    Corrupt("的行数 " + std::to_string(rows_) + " 超出页");
  }
  row_ = 0;
  return true;
}

bool TableScan::Next() {
  if (done_) return false;
  if (!started_) {
    started_ = true;
    if (!NextPage()) return false;
  }
  for (;;) {
    if (row_ >= rows_) {
      if (!NextPage()) return false;
      continue;
    }
    const unsigned r = row_++;
    int start = 0;
    std::size_t size = 0;
    if (mdb_find_row(handle_.mdb(), static_cast<int>(r), &start, &size) == -1) {
      CorruptRow(r, "的位置超出页");
    }
    if (size == 0 || (start & kRowSkipFlag)) continue;
    Crack(r, static_cast<std::size_t>(start & kOffsetMask), size);
    return true;
  }
}

// The row's own structure, as libmdb reads it: the column count first, the
// null mask last, and before the mask the variable columns' count and
// offsets (Jet 4: 16-bit offsets from the end of the data on; Jet 3: 8-bit
// offsets below a table of 256-byte jumps).
void TableScan::CheckRowLayout(unsigned row, std::size_t start, std::size_t size) const {
  const bool jet3 = handle_.pages().version() == Version::kJet3;
  const unsigned char* p = handle_.mdb()->pg_buf + start;
  const std::size_t count_size = jet3 ? 1 : 2;
  if (size < count_size + 1) CorruptRow(row, "太短");
  const std::size_t columns = jet3 ? p[0] : static_cast<std::size_t>(p[0] | p[1] << 8);
  const std::size_t mask = (columns + 7) / 8;
  if (size < count_size + mask + 1) CorruptRow(row, "的空值位图超出行");
  if (table_->num_var_cols == 0) return;
  const std::size_t end = size - 1;  // the row's last byte
  if (jet3) {
    const std::size_t var_columns = p[end - mask];
    const std::size_t jumps = (size - 1) / 256;
    if (size < 3 + mask + jumps + var_columns) CorruptRow(row, "的变长列表超出行");
  } else {
    const std::size_t var_columns = static_cast<std::size_t>(p[end - mask - 1] | p[end - mask] << 8);
    if (size < 6 + mask + 2 * var_columns) CorruptRow(row, "的变长列表超出行");
  }
}

void TableScan::Crack(unsigned row, std::size_t start, std::size_t size) {
  const std::size_t rco = RowCountOffset(handle_.pages().version());
  if (start < rco + 2 + 2 * static_cast<std::size_t>(rows_)) {
    CorruptRow(row, "的位置落在行表中");
  }
  CheckRowLayout(row, start, size);
  unsigned char* page = handle_.mdb()->pg_buf;
  if (mdb_crack_row(table_.get(), static_cast<int>(start), size, fields_.data()) < 0) {
    CorruptRow(row, "无法读取");
  }
  const std::size_t row_columns = handle_.pages().version() == Version::kJet3
                                      ? page[start]
                                      : static_cast<std::size_t>(page[start] | page[start + 1] << 8);
  by_column_.assign(table_->num_cols, nullptr);
  for (MdbField& f : fields_) {
    if (f.colnum < 0 || static_cast<unsigned>(f.colnum) >= table_->num_cols) continue;
    by_column_[static_cast<unsigned>(f.colnum)] = &f;
    const MdbColumn& c = column(static_cast<unsigned>(f.colnum));
    if (static_cast<std::size_t>(c.col_num) >= row_columns) {  // a column added after the row was written
      f.is_null = 1;
      continue;
    }
    if (f.is_null || c.col_type == MDB_BOOL) continue;
    const auto field_start = static_cast<long long>(f.start);
    if (f.siz < 0 || field_start < static_cast<long long>(start) ||
        field_start + f.siz > static_cast<long long>(start + size) ||
        f.value != page + f.start) {
      CorruptField(static_cast<unsigned>(f.colnum),
                   "超出行（位置 " + std::to_string(f.start) + "，长度 " + std::to_string(f.siz) + "）");
    }
  }
}

void TableScan::DecodeText(const unsigned char* p, std::size_t n, std::string* out) {
  if (codepage_) {
    codepage_->ToUtf8(p, n, out);
  } else {
    DecodeJet4Text(p, n, out);
  }
}

// The bytes of a memo value: inline, one long-value row, or a chain of
// long-value rows each starting with the next one's address. A chain ends
// at its stated length; a row visited twice or a length past the file's
// size is damage.
void TableScan::ReadMemo(unsigned column, const unsigned char* p, std::size_t size, std::string* bytes) {
  bytes->clear();
  if (size < MDB_MEMO_OVERHEAD) CorruptField(column, "的备注引用太短");
  const std::uint32_t head = Le32(p);
  const std::uint64_t length = head & kMemoLengthMask;
  if (head & kMemoInline) {
    bytes->assign(reinterpret_cast<const char*>(p + MDB_MEMO_OVERHEAD), size - MDB_MEMO_OVERHEAD);
    return;
  }
  if (length > handle_.pages().file_size()) {
    CorruptField(column, "的备注长度 " + std::to_string(length) + " 超过文件");
  }
  MdbHandle* mdb = handle_.mdb();
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t pg_row = Le32(p + 4);;) {
    if (!handle_.pages().Contains(pg_row >> 8)) {
      CorruptField(column, "的备注指向第 " + std::to_string(pg_row >> 8) + " 页，超出文件");
    }
    if (!seen.insert(pg_row).second) CorruptField(column, "的备注页链成环");
    // The row on its page, as mdb_find_pg_row finds it, the page read here.
    handle_.pages().ReadInto(pg_row >> 8, mdb->alt_pg_buf, long_values_);
    int off = 0;
    std::size_t len = 0;
    mdb_swap_pgbuf(mdb);
    const int found = mdb_find_row(mdb, static_cast<int>(pg_row & 0xFF), &off, &len);
    mdb_swap_pgbuf(mdb);
    if (found != 0) CorruptField(column, "的备注指向的行不存在");
    off &= kOffsetMask;
    const unsigned char* buf = mdb->alt_pg_buf;
    long_value_bytes_ += len;
    if (long_value_bytes_ > 2 * handle_.pages().file_size()) {
      CorruptField(column, "的备注与其他值共用长值页");
    }
    const unsigned char* seg = buf + off;
    if (head & kMemoOneRow) {
      bytes->assign(reinterpret_cast<const char*>(seg), len);
      return;
    }
    if (len < 4) CorruptField(column, "的长值行太短");
    bytes->append(reinterpret_cast<const char*>(seg + 4), len - 4);
    if (bytes->size() > length) CorruptField(column, "的备注超过其长度 " + std::to_string(length));
    pg_row = Le32(seg);
    if (pg_row == 0) return;
  }
}

void TableScan::Decode(unsigned column_index, com::Variant* out) {
  const MdbColumn& c = column(column_index);
  const MdbField* f = by_column_[column_index];
  if (!f) CorruptField(column_index, "缺失");
  if (c.col_type == MDB_BOOL) {  // the value lives in the null mask
    out->SetInteger(com::VarType::kBool, f->is_null ? 0 : 1);
    return;
  }
  if (f->is_null) {
    out->SetNull();
    return;
  }
  const auto* p = static_cast<const unsigned char*>(f->value);
  const auto siz = static_cast<std::size_t>(f->siz);
  auto need = [&](std::size_t n) {
    if (siz < n) CorruptField(column_index, "太短");
  };
  switch (c.col_type) {
    case MDB_BYTE: need(1); out->SetInteger(com::VarType::kUI1, p[0]); break;
    case MDB_INT: {
      need(2);
      std::int16_t v;
      std::memcpy(&v, p, 2);
      out->SetInteger(com::VarType::kI2, v);
      break;
    }
    case MDB_LONGINT: case MDB_COMPLEX: {
      need(4);
      std::int32_t v;
      std::memcpy(&v, p, 4);
      out->SetInteger(com::VarType::kI4, v);
      break;
    }
    case MDB_MONEY: {
      need(8);
      std::int64_t v;
      std::memcpy(&v, p, 8);
      out->SetInteger(com::VarType::kCurrency, v);
      break;
    }
    case MDB_FLOAT: {
      need(4);
      float v;
      std::memcpy(&v, p, 4);
      out->SetReal(com::VarType::kR4, v);
      break;
    }
    case MDB_DOUBLE: {
      need(8);
      double v;
      std::memcpy(&v, p, 8);
      out->SetReal(com::VarType::kR8, v);
      break;
    }
    case MDB_DATETIME: {
      need(8);
      double v;
      std::memcpy(&v, p, 8);
      if (!(v > kFirstDate && v < kEndDate)) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.6g", v);
        CorruptField(column_index, std::string("的日期值 ") + shown + " 不在 100 至 9999 年之间");
      }
      out->SetReal(com::VarType::kDate, v);
      break;
    }
    case MDB_TEXT:
      DecodeText(p, siz, &scratch_);
      out->SetText(scratch_);
      break;
    case MDB_MEMO:
      ReadMemo(column_index, p, siz, &bytes_);
      DecodeText(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size(), &scratch_);
      out->SetText(scratch_);
      break;
    case MDB_NUMERIC: {
      need(17);
      const int start = static_cast<int>(p - handle_.mdb()->pg_buf);
      char* s = mdb_numeric_to_string(handle_.mdb(), start, c.col_scale, c.col_prec);
      *out = com::Variant::Decimal(s ? s : "");
      g_free(s);
      break;
    }
    case MDB_REPID: {
      need(16);
      char* s = mdb_uuid_to_string(p, 0);
      out->SetText(s ? s : "");
      g_free(s);
      break;
    }
    default: {
      static const char kHex[] = "0123456789ABCDEF";
      scratch_ = "0x";
      for (std::size_t i = 0; i < siz; ++i) {
        scratch_.push_back(kHex[p[i] >> 4]);
        scratch_.push_back(kHex[p[i] & 15]);
      }
      out->SetText(scratch_);
    }
  }
}

void TableScan::LongValue(unsigned column, std::string* out) {
  const MdbField* f = by_column_[column];
  if (!f) CorruptField(column, "缺失");
  out->clear();
  if (!f->is_null) ReadMemo(column, static_cast<const unsigned char*>(f->value), static_cast<std::size_t>(f->siz), out);
}

std::string Handle::Properties(std::uint32_t page) {
  TableScan scan(*this, OpenAt(kCatalogPage, kCatalogName), kCatalogName);
  unsigned id = scan.column_count(), props = scan.column_count();
  for (unsigned i = 0; i < scan.column_count(); ++i) {
    if (com::SameName(scan.column(i).name, "Id")) id = i;
    if (com::SameName(scan.column(i).name, "LvProp")) props = i;
  }
  std::string blob;
  if (id == scan.column_count() || props == scan.column_count()) return blob;
  com::Variant v;
  while (scan.Next()) {
    scan.Decode(id, &v);
    if (v.IsNull() || (static_cast<std::uint32_t>(v.integer()) & 0x00FFFFFFu) != page) continue;
    scan.LongValue(props, &blob);
    break;
  }
  return blob;
}

// Runs `work` so that only com::Error leaves: running out of memory
// becomes kErrOutOfMemory, any other exception (a damaged file's sizes
// reaching the standard library) kErrNotJetDatabase.
template <class Work>
auto Guarded(const std::string& path, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const com::Error&) {
    throw;
  } catch (const std::bad_alloc&) {
    Fail(kErrOutOfMemory, "内存不足：读取数据库“" + path + "”时无法分配内存，文件可能已损坏。");
  } catch (const std::exception& e) {
    Fail(kErrNotJetDatabase, "无法读取数据库“" + path + "”：文件可能已损坏（" + e.what() + "）。");
  }
}

dts::ColumnInfo DescribeColumn(const MdbColumn& c, Version version) {
  dts::ColumnInfo info;
  info.name = c.name;
  info.nullable = true;
  switch (c.col_type) {
    case MDB_BOOL: info.type = dts::DBTYPE_BOOL; info.nullable = false; break;
    case MDB_BYTE: info.type = dts::DBTYPE_UI1; break;
    case MDB_INT: info.type = dts::DBTYPE_I2; break;
    case MDB_LONGINT: case MDB_COMPLEX: info.type = dts::DBTYPE_I4; break;
    case MDB_MONEY: info.type = dts::DBTYPE_CY; break;
    case MDB_FLOAT: info.type = dts::DBTYPE_R4; break;
    case MDB_DOUBLE: info.type = dts::DBTYPE_R8; break;
    case MDB_DATETIME: info.type = dts::DBTYPE_DATE; break;
    case MDB_TEXT:
      info.type = dts::DBTYPE_WSTR;
      info.size = static_cast<std::uint32_t>(version == Version::kJet4 ? c.col_size / 2 : c.col_size);
      break;
    case MDB_MEMO: info.type = dts::DBTYPE_WSTR; info.is_long = true; break;
    case MDB_NUMERIC: info.type = dts::DBTYPE_NUMERIC; break;
    case MDB_REPID: info.type = dts::DBTYPE_GUID; break;
    default: info.type = dts::DBTYPE_BYTES; info.is_long = c.col_type == MDB_OLE; break;
  }
  return info;
}

// A query's rows from one table.
class TableReader final : public dts::RowReader {
 public:
  TableReader(std::shared_ptr<const SourceFile> file, const HeaderInfo& header, const std::string& codepage,
              const SelectQuery& q)
      : version_(header.version), handle_(std::make_unique<Handle>(std::move(file), header, codepage)),
        scan_(*handle_, handle_->OpenTable(q.table), CatalogName(q.table)) {
    auto find = [&](const std::string& name) -> unsigned {
      for (unsigned i = 0; i < scan_.column_count(); ++i) {
        if (SameName(scan_.column(i).name, name)) return i;
      }
      Fail(3265, "表“" + scan_.name() + "”中没有列“" + name + "”。");
    };
    if (q.all_columns) {
      for (unsigned i = 0; i < scan_.column_count(); ++i) selected_.push_back(i);
    } else {
      for (const auto& name : q.columns) selected_.push_back(find(name));
    }
    for (unsigned i : selected_) columns_.push_back(DescribeColumn(scan_.column(i), version_));
    if (q.where_column) {
      filter_column_ = static_cast<int>(find(*q.where_column));
      filter_ = q.where_value;
    }
  }

  const std::vector<dts::ColumnInfo>& columns() const override { return columns_; }
  // The reader has a libmdb handle of its own, and reads the shared file
  // with pread.
  bool ReadableOnAnotherThread() const override { return true; }
  // The table's recorded row count; a filter makes it unknown.
  std::int64_t ExpectedRows() const override { return filter_column_ >= 0 ? -1 : scan_.recorded_rows(); }

  bool Next(dts::Row& row) override {
    return Guarded(handle_->pages().path(), [&] {
      row.resize(selected_.size());
      while (scan_.Next()) {
        if (filter_column_ >= 0 && !FilterMatches()) continue;
        for (std::size_t i = 0; i < selected_.size(); ++i) scan_.Decode(selected_[i], &row[i]);
        return true;
      }
      return false;
    });
  }

 private:
  // The table's name as the catalog spells it.
  std::string CatalogName(std::string_view name) const {
    for (const CatalogEntry& e : handle_->catalog()) {
      if (e.IsTable() && SameName(e.name, name)) return e.name;
    }
    return std::string(name);
  }

  bool FilterMatches() {
    scan_.Decode(static_cast<unsigned>(filter_column_), &filter_value_);
    if (filter_value_.IsNull()) return false;
    if (filter_value_.IsText() || !filter_.is_text) {
      if (filter_value_.IsText() && filter_.is_text) return SameName(filter_value_.text(), filter_.value);
      try {
        return filter_value_.ToDouble() == com::Variant::Text(filter_.value).ToDouble();
      } catch (const com::Error&) {
        return false;
      }
    }
    return filter_value_.ToText() == filter_.value;
  }

  Version version_;
  std::unique_ptr<Handle> handle_;
  TableScan scan_;
  std::vector<unsigned> selected_;
  std::vector<dts::ColumnInfo> columns_;
  int filter_column_ = -1;
  Literal filter_;
  com::Variant filter_value_;
};

// A session of the Jet driver: one open, checked database, which the
// sessions shared from it read too.
class JetSession final : public dts::Session {
 public:
  explicit JetSession(std::shared_ptr<Database> db) : db_(std::move(db)) {}
  std::vector<dts::RowsAffected> ExecuteBatch(std::string_view, std::int32_t) override { ReadOnly(); }
  std::unique_ptr<dts::RowReader> Query(std::string_view sql) override { return db_->Query(sql); }
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view name) override { return db_->TableColumns(name); }
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view, const std::vector<std::string>&,
                                                const dts::BulkLoadOptions&) override {
    ReadOnly();
  }
  void BeginTransaction() override {}
  void Commit() override {}
  void Rollback() override {}
  std::unique_ptr<dts::Session> Share() override { return std::make_unique<JetSession>(db_); }
  void VerifyUnchanged() override { db_->VerifyUnchanged(); }

 private:
  [[noreturn]] void ReadOnly() const {
    Fail(3027, "无法更新。源数据库“" + db_->path() + "”以只读方式打开。");
  }
  std::shared_ptr<Database> db_;
};

class JetDriver final : public dts::Driver {
 public:
  std::unique_ptr<dts::Session> Open(const dts::ConnectionSpec& connection) override {
    OpenOptions options;
    const com::Variant* pw = connection.Property("Jet OLEDB:Database Password");
    options.password = pw ? pw->ToText() : connection.password;
    std::string path = connection.data_source;
    if (const com::Variant* ds = connection.Property("Data Source"); path.empty() && ds) path = ds->ToText();
    return std::make_unique<JetSession>(std::make_shared<Database>(path, options));
  }
};

}  // namespace

std::string DefaultCodePage() {
  const char* env = std::getenv("KORVEL_JET3_CODEPAGE");
  return env && *env ? env : "CP936";
}

Database::Database(const std::string& path, const OpenOptions& options)
    : path_(path), options_(options) {
  Guarded(path_, [&] {
    file_ = std::make_shared<const SourceFile>(path_);
    header_ = ReadHeader(*file_);
    if (options_.codepage.empty()) options_.codepage = DefaultCodePage();
    if (!PasswordMatches(header_, options_.password, options_.codepage)) {
      Fail(kErrBadPassword, "不是有效的密码：数据库“" + path_ + "”的密码不正确。");
    }
    Handle(file_, header_, options_.codepage).CheckAllTables();
  });
}

Database::~Database() = default;

std::vector<std::string> Database::TableNames() {
  return Guarded(path_, [&] {
    Handle h(file_, header_, options_.codepage);
    std::vector<std::string> names;
    for (const CatalogEntry& e : h.catalog()) {
      if (e.IsUserTable()) names.push_back(e.name);
    }
    return names;
  });
}

std::vector<dts::ColumnInfo> Database::TableColumns(std::string_view table) {
  return Guarded(path_, [&] {
    Handle h(file_, header_, options_.codepage);
    TablePtr t = h.OpenTable(table);
    std::vector<dts::ColumnInfo> out;
    for (unsigned i = 0; i < t->num_cols; ++i) {
      out.push_back(DescribeColumn(*static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i)), header_.version));
    }
    return out;
  });
}

TableDefinition Database::ReadTableDefinition(std::string_view table) {
  return Guarded(path_, [&] {
    Handle h(file_, header_, options_.codepage);
    std::vector<ColumnFlags> flags;
    CatalogEntry entry;
    TablePtr t = h.OpenTableWithIndexes(table, &flags, &entry);
    const std::vector<Property> properties =
        ParseProperties(h.Properties(entry.page), header_.version, options_.codepage, entry.name, path_);
    const bool jet4 = header_.version == Version::kJet4;
    TableDefinition def;
    def.name = entry.name;
    auto column_at = [&](unsigned i) -> const MdbColumn& {
      return *static_cast<const MdbColumn*>(g_ptr_array_index(t->columns, i));
    };
    // Row order is the order of the columns' numbers.
    std::vector<unsigned> order(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return column_at(a).col_num < column_at(b).col_num; });
    for (unsigned i : order) {
      const MdbColumn& c = column_at(i);
      const int type = c.col_type;
      if (type < MDB_BOOL || (type > MDB_MEMO && type != MDB_REPID) || type == MDB_BINARY || type == MDB_OLE) {
        const char* name = type == MDB_BINARY    ? "Binary"
                           : type == MDB_OLE     ? "OLE Object"
                           : type == MDB_NUMERIC ? "Decimal"
                                                 : nullptr;
        Fail(kErrNotSupported, "表“" + def.name + "”的列“" + c.name + "”的类型（" +
                                   (name ? name : "编号 " + std::to_string(type)) +
                                   "）不在可读出定义的类型之内（数据库“" + path_ + "”）。");
      }
      ColumnDefinition column{c.name, static_cast<ColumnType>(type)};
      if (column.type == ColumnType::kText) column.max_length = jet4 ? c.col_size / 2 : c.col_size;
      column.required = BooleanProperty(properties, column.name, "Required", false);
      for (const ColumnFlags& f : flags) {
        if (f.number != static_cast<unsigned>(c.col_num)) continue;
        column.autonumber = column.type == ColumnType::kLong && (f.flags & 0x04) != 0;
        const bool text = column.type == ColumnType::kText || column.type == ColumnType::kMemo;
        if (jet4 && text) column.compressed = (f.misc_flags & 0x01) != 0;
      }
      def.columns.push_back(std::move(column));
    }
    for (unsigned i = 0; t->indices && i < t->indices->len; ++i) {
      const auto& x = *static_cast<const MdbIndex*>(g_ptr_array_index(t->indices, i));
      if (x.index_type == 2) continue;  // a foreign key's reference to another table
      IndexDefinition index;
      index.name = x.name;
      for (unsigned k = 0; k < x.num_keys && k < MDB_MAX_IDX_COLS; ++k) {
        const int column = x.key_col_num[k] - 1;
        if (column < 0 || static_cast<unsigned>(column) >= t->num_cols) continue;
        index.columns.push_back({column_at(static_cast<unsigned>(column)).name, x.key_col_order[k] == MDB_ASC});
      }
      index.primary = x.index_type == 1;
      index.unique = (x.flags & MDB_IDX_UNIQUE) != 0;
      index.ignore_nulls = (x.flags & MDB_IDX_IGNORENULLS) != 0;
      index.required = (x.flags & MDB_IDX_REQUIRED) != 0;
      def.indexes.push_back(std::move(index));
    }
    return def;
  });
}

std::unique_ptr<dts::RowReader> Database::Query(std::string_view sql) {
  return Guarded(path_, [&]() -> std::unique_ptr<dts::RowReader> {
    return std::make_unique<TableReader>(file_, header_, options_.codepage, ParseSelect(sql));
  });
}

void Database::VerifyUnchanged() const {
  Guarded(path_, [&] { file_->VerifyUnchanged(); });
}

std::shared_ptr<dts::Driver> MakeJetDriver() { return std::make_shared<JetDriver>(); }

}  // namespace jet
