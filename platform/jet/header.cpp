#include "platform/jet/header.h"

#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "platform/com/error.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

constexpr std::uint32_t kFirstPages = 3;
// Jet files stop at 2 GB; a row address keeps the page in 24 bits.
constexpr std::uint64_t kMaxPages = 0x7FFFFF;

constexpr unsigned char kPageTableDefinition = 0x02;
constexpr unsigned char kTypeNumeric = 0x10;
constexpr int kMaxPrecision = 28;

// Where a table definition keeps what libmdb reads of it.
struct DefinitionLayout {
  std::size_t var_column_count;   // 16 bits
  std::size_t column_count;       // 16 bits
  std::size_t real_index_count;   // 32 bits
  std::size_t used_pages_map;     // row addresses of the usage maps
  std::size_t free_pages_map;
  std::size_t columns_start;      // the real index entries come first
  std::size_t real_index_entry;
  std::size_t column_entry;
  std::size_t column_scale;       // within a column entry
  std::size_t column_precision;
  std::size_t name_length_size;   // bytes of a column name's length
};

constexpr DefinitionLayout kJet3Definition{23, 25, 31, 35, 39, 43, 8, 18, 10, 9, 1};
constexpr DefinitionLayout kJet4Definition{43, 45, 51, 55, 59, 63, 12, 25, 12, 11, 2};

std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] void Damaged(const FilePages& pages, std::string_view table, const std::string& fault) {
  throw com::Error(kErrNotJetDatabase, kErrorSource,
                   "数据库文件“" + pages.path() + "”已损坏：表“" + std::string(table) + "”" + fault + "。");
}

// The definition as libmdb walks it: the first page whole, then each
// continuation page after its 8-byte header.
std::vector<unsigned char> DefinitionBytes(const FilePages& pages, std::uint32_t page, std::string_view table) {
  const std::string what = "表“" + std::string(table) + "”的定义";
  std::vector<unsigned char> bytes, buf;
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t p = page; p != 0;) {
    if (!pages.Contains(p)) Damaged(pages, table, "的定义指向第 " + std::to_string(p) + " 页，超出文件");
    if (!seen.insert(p).second) Damaged(pages, table, "的定义页链在第 " + std::to_string(p) + " 页成环");
    pages.Read(p, &buf, what);
    if (buf[0] != kPageTableDefinition) {
      Damaged(pages, table, "的定义页（第 " + std::to_string(p) + " 页）不是表定义页");
    }
    bytes.insert(bytes.end(), buf.begin() + (bytes.empty() ? 0 : 8), buf.end());
    p = Le32(buf.data() + 4);
  }
  return bytes;
}

}  // namespace

void Rc4(std::uint32_t key, unsigned char* data, std::size_t size) {
  const unsigned char k[4] = {static_cast<unsigned char>(key), static_cast<unsigned char>(key >> 8),
                              static_cast<unsigned char>(key >> 16), static_cast<unsigned char>(key >> 24)};
  unsigned char s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + k[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

std::array<unsigned char, 4> PasswordMask(double creation_date) {
  // The whole days of the date, truncated toward zero.
  const double days = std::trunc(creation_date);
  const auto v = static_cast<std::uint32_t>(
      static_cast<std::int32_t>(std::isfinite(days) && std::fabs(days) < 2e9 ? days : 0));
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

HeaderInfo DecodeHeader(const unsigned char* page, std::size_t size, const std::string& path) {
  const std::string not_jet = "无法识别的数据库格式“" + path + "”：不是 Access (Jet) 数据库";
  if (size < kJet3PageSize) Fail(kErrNotJetDatabase, not_jet + "（文件太短）。");
  static const unsigned char kMagic[4] = {0x00, 0x01, 0x00, 0x00};
  if (std::memcmp(page, kMagic, 4) != 0) Fail(kErrNotJetDatabase, not_jet + "。");
  if (std::memcmp(page + 4, "Standard ACE DB", 15) == 0) {
    Fail(kErrNotJetDatabase, not_jet + "：这是 Access 2007 或更高版本的文件，请先在 Access 中另存为 2000/2003 格式 (.mdb)。");
  }
  if (std::memcmp(page + 4, "Standard Jet DB", 16) != 0) Fail(kErrNotJetDatabase, not_jet + "。");

  HeaderInfo h;
  switch (page[0x14]) {
    case 0x00: h.version = Version::kJet3; h.page_size = kJet3PageSize; break;
    case 0x01: h.version = Version::kJet4; h.page_size = kJet4PageSize; break;
    default: Fail(kErrNotJetDatabase, not_jet + "：不支持的 Jet 版本 " + std::to_string(page[0x14]) + "。");
  }
  if (size < h.page_size) Fail(kErrNotJetDatabase, not_jet + "（文件太短）。");

  const std::size_t region = h.version == Version::kJet3 ? 126 : 128;
  std::vector<unsigned char> decoded(page, page + h.page_size);
  Rc4(kHeaderKey, decoded.data() + kHeaderRegionOffset, region);

  const std::size_t pw_size = h.version == Version::kJet3 ? 20 : 40;
  h.password_bytes.assign(reinterpret_cast<const char*>(decoded.data() + kPasswordOffset), pw_size);
  if (h.version == Version::kJet4) {
    std::memcpy(&h.creation_date, decoded.data() + kCreationDateOffset, sizeof(double));
    const auto mask = PasswordMask(h.creation_date);
    for (std::size_t i = 0; i < pw_size; ++i) h.password_bytes[i] = static_cast<char>(h.password_bytes[i] ^ mask[i % 4]);
  }
  for (char c : h.password_bytes) h.has_password = h.has_password || c != 0;
  const unsigned char* key = decoded.data() + kPageKeyOffset;
  h.page_key = static_cast<std::uint32_t>(key[0]) | static_cast<std::uint32_t>(key[1]) << 8 |
               static_cast<std::uint32_t>(key[2]) << 16 | static_cast<std::uint32_t>(key[3]) << 24;
  return h;
}

HeaderInfo ReadHeader(const std::string& path) { return ReadHeader(SourceFile(path)); }

HeaderInfo ReadHeader(const SourceFile& file) {
  std::vector<unsigned char> page(kJet4PageSize);
  const std::size_t got = file.ReadAt(0, page.data(), page.size());
  return DecodeHeader(page.data(), got, file.path());
}

bool PasswordMatches(const HeaderInfo& header, std::string_view password, const std::string& codepage) {
  if (!header.has_password) return true;
  std::string stored;  // UTF-8, up to the first NUL character
  if (header.version == Version::kJet4) {
    std::size_t units = 0;
    while (units * 2 + 1 < header.password_bytes.size() &&
           (header.password_bytes[units * 2] != 0 || header.password_bytes[units * 2 + 1] != 0)) {
      ++units;
    }
    Utf16LeToUtf8(reinterpret_cast<const unsigned char*>(header.password_bytes.data()), units * 2, &stored);
  } else {
    const std::size_t n = header.password_bytes.find('\0');
    CodePage cp(codepage);
    cp.ToUtf8(reinterpret_cast<const unsigned char*>(header.password_bytes.data()),
              n == std::string::npos ? header.password_bytes.size() : n, &stored);
  }
  return stored == password;
}

FilePages::FilePages(std::shared_ptr<const SourceFile> file, const HeaderInfo& header)
    : file_(std::move(file)), version_(header.version), page_size_(header.page_size), page_key_(header.page_key) {
  const std::uint64_t size = file_->SizeNow();
  const std::string damaged = "数据库文件“" + path() + "”已损坏";
  if (size % page_size_ != 0) {
    Fail(kErrNotJetDatabase, damaged + "：长度 " + std::to_string(size) + " 字节不是整页（每页 " +
                                 std::to_string(page_size_) + " 字节），文件可能被截断。");
  }
  if (size / page_size_ < kFirstPages || size / page_size_ > kMaxPages) {
    Fail(kErrNotJetDatabase, damaged + "：共 " + std::to_string(size / page_size_) + " 页，页数不可能。");
  }
  count_ = static_cast<std::uint32_t>(size / page_size_);
}

void FilePages::Read(std::uint32_t page, std::vector<unsigned char>* out, const std::string& what) const {
  out->resize(page_size_);
  ReadInto(page, out->data(), what);
}

void FilePages::ReadInto(std::uint32_t page, unsigned char* out, const std::string& what) const {
  if (!Contains(page)) {
    Fail(kErrNotJetDatabase, "数据库文件“" + path() + "”已损坏：" + what + "指向第 " + std::to_string(page) +
                                 " 页，文件只有 " + std::to_string(count_) + " 页。");
  }
  const std::size_t got = file_->ReadAt(static_cast<std::uint64_t>(page) * page_size_, out, page_size_);
  if (got < page_size_) {
    // The file was whole pages up to page count_ when these pages were
    // taken: it has been cut or rewritten since.
    Fail(kErrNotJetDatabase, "数据库文件“" + path() + "”已损坏：读取" + what + "（第 " + std::to_string(page) +
                                 " 页）时只读到 " + std::to_string(got) + " 字节，不足一页（" +
                                 std::to_string(page_size_) + " 字节）；文件现在只有 " +
                                 std::to_string(file_->SizeNow()) + " 字节，在读取过程中被截断或改写。");
  }
  if (page != 0 && page_key_ != 0) Rc4(page_key_ ^ page, out, page_size_);
  if (record_) (*record_)[page].assign(out, out + page_size_);
}

std::vector<ColumnFlags> CheckTableDefinition(const FilePages& pages, std::uint32_t page, std::string_view table) {
  if (page < 1) Damaged(pages, table, "的定义页号为 0");
  const std::vector<unsigned char> def = DefinitionBytes(pages, page, table);
  const bool jet3 = pages.version() == Version::kJet3;
  const DefinitionLayout& at = jet3 ? kJet3Definition : kJet4Definition;
  const std::size_t columns = Le16(&def[at.column_count]);
  const std::size_t var_columns = Le16(&def[at.var_column_count]);
  const std::uint64_t real_indexes = Le32(&def[at.real_index_count]);
  if (columns > kMaxColumns) Damaged(pages, table, "有 " + std::to_string(columns) + " 列，超过 255 列");
  if (var_columns > columns) Damaged(pages, table, "的变长列数大于列数");
  // libmdb reads both maps with the definition; a page past the end would
  // read as zeros, an empty table.
  std::vector<unsigned char> buf;
  for (std::size_t map : {at.used_pages_map, at.free_pages_map}) {
    const std::uint32_t map_page = Le32(&def[map]) >> 8;
    if (!pages.Contains(map_page)) {
      Damaged(pages, table, "的页使用图在第 " + std::to_string(map_page) + " 页，超出文件");
    }
    pages.Read(map_page, &buf, "表“" + std::string(table) + "”的页使用图");
  }

  // Column entries, then their names, all inside the definition.
  std::uint64_t pos = at.columns_start + real_indexes * at.real_index_entry;
  const std::uint64_t entries = pos;
  pos += static_cast<std::uint64_t>(columns) * at.column_entry;
  if (pos > def.size()) Damaged(pages, table, "的列定义超出定义页");
  for (std::size_t i = 0; i < columns; ++i) {
    const unsigned char* entry = &def[entries + i * at.column_entry];
    if (entry[0] != kTypeNumeric) continue;
    const int scale = entry[at.column_scale], precision = entry[at.column_precision];
    if (jet3 || precision < 1 || precision > kMaxPrecision || scale > precision) {
      Damaged(pages, table, "的小数列精度 " + std::to_string(precision) + "、小数位数 " + std::to_string(scale) +
                                "不可能");
    }
  }
  std::vector<ColumnFlags> flags(columns);
  for (std::size_t i = 0; i < columns; ++i) {
    const unsigned char* entry = &def[entries + i * at.column_entry];
    flags[i].number = jet3 ? entry[1] : entry[5];
    flags[i].flags = entry[jet3 ? 13 : 15];
    flags[i].misc_flags = jet3 ? 0 : entry[16];
  }
  for (std::size_t i = 0; i < columns; ++i) {
    if (pos + at.name_length_size > def.size()) Damaged(pages, table, "的列名超出定义页");
    const std::size_t length = jet3 ? def[pos] : Le16(&def[pos]);
    pos += at.name_length_size + length;
    if (pos > def.size()) Damaged(pages, table, "的列名超出定义页");
  }

  // Then the physical index entries, the logical ones and their names.
  // libmdb reads as many physical entries as there are logical indexes
  // other than foreign-key references (type 2).
  const std::uint64_t indexes_start = pos;
  const std::uint64_t physical_entry = jet3 ? 39 : 52, logical_entry = jet3 ? 20 : 28;
  const std::uint64_t logical = Le32(&def[jet3 ? 27 : 47]);
  pos += real_indexes * physical_entry;
  if (pos > def.size() || logical > (def.size() - pos) / logical_entry) {
    Damaged(pages, table, "的索引定义超出定义页");
  }
  std::uint64_t own = 0;
  for (std::uint64_t i = 0; i < logical; ++i) {
    if (def[pos + i * logical_entry + (jet3 ? 19 : 23)] != 2) ++own;
  }
  if (indexes_start + own * physical_entry > def.size()) Damaged(pages, table, "的索引定义超出定义页");
  pos += logical * logical_entry;
  for (std::uint64_t i = 0; i < logical; ++i) {
    if (pos + at.name_length_size > def.size()) Damaged(pages, table, "的索引名超出定义页");
    const std::size_t length = jet3 ? def[pos] : Le16(&def[pos]);
    pos += at.name_length_size + length;
    if (pos > def.size()) Damaged(pages, table, "的索引名超出定义页");
  }
  return flags;
}

void CheckUsageMap(const FilePages& pages, const unsigned char* map, std::size_t size, std::string_view table) {
  if (size < 1) Damaged(pages, table, "的页使用图为空");
  const std::uint64_t count = pages.count();
  auto beyond = [&](std::uint64_t page) {
    Damaged(pages, table,
            "的页使用图指向第 " + std::to_string(page) + " 页，文件只有 " + std::to_string(count) + " 页");
  };
  // The lowest page a bitmap of `bytes` bytes names past the end of the
  // file when its first bit stands for page `first`; 0 when none.
  auto first_beyond = [&](const unsigned char* bits, std::size_t bytes, std::uint64_t first) -> std::uint64_t {
    for (std::size_t i = 0; i < bytes; ++i) {
      if (bits[i] == 0 || first + i * 8 + 8 <= count) continue;
      for (unsigned b = 0; b < 8; ++b) {
        if ((bits[i] >> b & 1) && first + i * 8 + b >= count) return first + i * 8 + b;
      }
    }
    return 0;
  };
  switch (map[0]) {
    case 0: {  // a start page and a bitmap from it
      if (size < 5) return;
      if (const std::uint64_t p = first_beyond(map + 5, size - 5, Le32(map + 1))) beyond(p);
      return;
    }
    case 1: {  // bitmap pages, each covering the pages after the last's
      const std::uint64_t per_page = (pages.page_size() - 4) * 8;
      std::vector<unsigned char> buf;
      const std::string what = "表“" + std::string(table) + "”的页使用图";
      for (std::size_t i = 0; i < (size - 1) / 4; ++i) {
        const std::uint32_t map_page = Le32(map + 1 + i * 4);
        if (map_page == 0) continue;
        pages.Read(map_page, &buf, what);
        if (const std::uint64_t p = first_beyond(buf.data() + 4, buf.size() - 4, i * per_page)) beyond(p);
      }
      return;
    }
    default:
      Damaged(pages, table, "的页使用图类型 " + std::to_string(map[0]) + " 无法识别");
  }
}

std::uint32_t NextMappedPage(const FilePages& pages, const unsigned char* map, std::size_t size,
                             std::uint32_t after, std::string_view table) {
  // The first set bit of `bytes` bytes of bitmap, from bit `from`.
  auto first_set = [](const unsigned char* bits, std::size_t bytes, std::uint64_t from) -> std::int64_t {
    for (std::uint64_t i = from; i < bytes * 8; ++i) {
      if (bits[i / 8] >> (i % 8) & 1) return static_cast<std::int64_t>(i);
    }
    return -1;
  };
  const std::uint64_t next = static_cast<std::uint64_t>(after) + 1;
  if (map[0] == 0) {  // a start page and a bitmap from it
    if (size < 5) return 0;
    const std::uint64_t start = Le32(map + 1);
    const std::int64_t bit = first_set(map + 5, size - 5, next > start ? next - start : 0);
    return bit < 0 ? 0 : static_cast<std::uint32_t>(start + static_cast<std::uint64_t>(bit));
  }
  // Bitmap pages, each covering the pages after the last's.
  const std::uint64_t per_page = (pages.page_size() - 4) * 8;
  std::vector<unsigned char> buf;
  const std::string what = "表“" + std::string(table) + "”的页使用图";
  for (std::uint64_t i = next / per_page; i < (size - 1) / 4; ++i) {
    const std::uint32_t map_page = Le32(map + 1 + i * 4);
    if (map_page == 0) continue;
    pages.Read(map_page, &buf, what);
    const std::uint64_t from = i == next / per_page ? next % per_page : 0;
    const std::int64_t bit = first_set(buf.data() + 4, buf.size() - 4, from);
    if (bit >= 0) return static_cast<std::uint32_t>(i * per_page + static_cast<std::uint64_t>(bit));
  }
  return 0;
}

}  // namespace jet
