#include "platform/jet/table_layout.h"

#include <algorithm>
#include <unordered_set>

#include "platform/com/error.h"
#include "platform/jet/data_page.h"

namespace jet {
namespace {

// Where a definition keeps what the reader uses: offsets into the
// definition's bytes (the continuation pages' headers left out), entry
// sizes, and offsets within an entry.
struct Offsets {
  std::size_t row_count;
  std::size_t var_column_count;   // 16 bits
  std::size_t column_count;       // 16 bits
  std::size_t logical_index_count;  // 32 bits
  std::size_t real_index_count;   // 32 bits
  std::size_t used_pages_map;     // the row address of the usage map
  std::size_t columns_start;      // after one entry per real index
  std::size_t real_index_entry;
  std::size_t column_entry;
  std::size_t name_length_size;   // bytes of a name's length
  // Within a column entry.
  std::size_t column_number, column_var_index, column_flags, column_misc_flags, column_fixed_offset, column_size,
      column_precision, column_scale;
  // Within a physical index entry: ten keys of a 16-bit column number and
  // an order byte, then the flags.
  std::size_t physical_entry, physical_keys, physical_flags;
  // Within a logical index entry.
  std::size_t logical_entry, logical_physical, logical_type;
};

constexpr Offsets kJet3{12, 23, 25, 27, 31, 35, 43, 8,  18, 1, 1, 3, 13, 0, 14, 16, 9,  10, 39, 0, 38, 20, 4, 19};
constexpr Offsets kJet4{16, 43, 45, 47, 51, 55, 63, 12, 25, 2, 5, 7, 15, 16, 21, 23, 11, 12, 52, 4, 46, 28, 8, 23};

// A definition of more pages than this is damage: 255 columns and their
// names, and the indexes, fit in a few.
constexpr std::size_t kMaxDefinitionPages = 256;
constexpr int kMaxPrecision = 28;
constexpr std::uint16_t kNoColumn = 0xFFFF;

class DefinitionReader {
 public:
  DefinitionReader(const FilePages& pages, std::uint32_t page, const std::string& table, CodePage* jet3_names)
      : pages_(pages), table_(table), jet3_(pages.version() == Version::kJet3), at_(jet3_ ? kJet3 : kJet4),
        names_(jet3_names) {
    Collect(page);
  }

  TableLayout Read(std::uint32_t page) {
    TableLayout t;
    t.name = table_;
    t.page = page;
    Need(0, at_.columns_start, "的定义头");
    t.row_count = Le32(&def_[at_.row_count]);
    t.var_columns = Le16(&def_[at_.var_column_count]);
    const std::size_t columns = Le16(&def_[at_.column_count]);
    const std::uint64_t logical = Le32(&def_[at_.logical_index_count]);
    const std::uint64_t real = Le32(&def_[at_.real_index_count]);
    if (columns > kMaxColumns) Damaged("有 " + std::to_string(columns) + " 列，超过 255 列");
    if (t.var_columns > columns) Damaged("的变长列数大于列数");

    std::uint64_t pos = at_.columns_start + real * at_.real_index_entry;
    Need(pos, static_cast<std::uint64_t>(columns) * at_.column_entry, "的列定义");
    for (std::size_t i = 0; i < columns; ++i, pos += at_.column_entry) t.columns.push_back(Column(&def_[pos]));
    for (ColumnLayout& c : t.columns) c.name = Name(&pos, "的列名");
    std::stable_sort(t.columns.begin(), t.columns.end(),
                     [](const ColumnLayout& a, const ColumnLayout& b) { return a.number < b.number; });
    for (std::size_t i = 1; i < t.columns.size(); ++i) {
      if (t.columns[i].number == t.columns[i - 1].number) {
        Damaged("的两列编号同为 " + std::to_string(t.columns[i].number));
      }
    }
    for (const ColumnLayout& c : t.columns) CheckColumn(c);

    const std::uint64_t physical_start = pos;
    Need(pos, real * at_.physical_entry, "的索引定义");
    pos += real * at_.physical_entry;
    Need(pos, logical * at_.logical_entry, "的索引定义");
    for (std::uint64_t i = 0; i < logical; ++i, pos += at_.logical_entry) {
      const unsigned char* entry = &def_[pos];
      const std::uint64_t physical = Le32(entry + at_.logical_physical);
      if (physical >= real) Damaged("的索引指向不存在的第 " + std::to_string(physical) + " 个索引项");
      t.indexes.push_back(Index(&def_[physical_start + physical * at_.physical_entry], entry[at_.logical_type], t));
    }
    for (IndexLayout& x : t.indexes) x.name = Name(&pos, "的索引名");

    t.pages = std::make_shared<const UsageMap>(pages_, Le32(&def_[at_.used_pages_map]), table_);
    return t;
  }

 private:
  [[noreturn]] void Damaged(const std::string& fault) const {
    throw com::Error(kErrNotJetDatabase, kErrorSource,
                     "数据库文件“" + pages_.path() + "”已损坏：表“" + table_ + "”" + fault + "。");
  }

  // The definition as one run of bytes: the first page whole, then each
  // continuation page after its 8-byte header.
  void Collect(std::uint32_t page) {
    if (page < 1) Damaged("的定义页号为 0");
    const std::string what = "表“" + table_ + "”的定义";
    std::vector<unsigned char> buf;
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t p = page; p != 0;) {
      if (!pages_.Contains(p)) Damaged("的定义指向第 " + std::to_string(p) + " 页，超出文件");
      if (!seen.insert(p).second) Damaged("的定义页链在第 " + std::to_string(p) + " 页成环");
      if (seen.size() > kMaxDefinitionPages) Damaged("的定义超过 " + std::to_string(kMaxDefinitionPages) + " 页");
      pages_.Read(p, &buf, what);
      if (buf[0] != kPageTableDefinition) Damaged("的定义页（第 " + std::to_string(p) + " 页）不是表定义页");
      def_.insert(def_.end(), buf.begin() + (def_.empty() ? 0 : 8), buf.end());
      p = Le32(buf.data() + 4);
    }
  }

  // `size` bytes from `pos` lie inside the definition.
  void Need(std::uint64_t pos, std::uint64_t size, const char* what) const {
    if (pos > def_.size() || size > def_.size() - pos) Damaged(std::string(what) + "超出定义页");
  }

  ColumnLayout Column(const unsigned char* e) const {
    ColumnLayout c;
    c.type = e[0];
    c.number = static_cast<std::uint16_t>(Le16(e + at_.column_number));
    c.var_index = static_cast<std::uint16_t>(Le16(e + at_.column_var_index));
    c.flags = e[at_.column_flags];
    c.misc_flags = jet3_ ? 0 : e[at_.column_misc_flags];
    c.fixed_offset = static_cast<std::uint16_t>(Le16(e + at_.column_fixed_offset));
    c.size = static_cast<std::uint16_t>(Le16(e + at_.column_size));
    c.precision = e[at_.column_precision];
    c.scale = e[at_.column_scale];
    return c;
  }

  void CheckColumn(const ColumnLayout& c) const {
    const std::string column = "的列“" + c.name + "”";
    if (c.type == kTypeDecimal &&
        (jet3_ || c.precision < 1 || c.precision > kMaxPrecision || c.scale > c.precision)) {
      Damaged(column + "的小数精度 " + std::to_string(c.precision) + "、小数位数 " + std::to_string(c.scale) +
              "不可能");
    }
    // A row is less than a page: a column that could not fit in one is damage.
    if (c.fixed() && static_cast<std::size_t>(c.fixed_offset) + c.size > pages_.page_size()) {
      Damaged(column + "的位置 " + std::to_string(c.fixed_offset) + "、长度 " + std::to_string(c.size) + "超出一页");
    }
  }

  IndexLayout Index(const unsigned char* physical, std::uint8_t type, const TableLayout& t) const {
    IndexLayout x;
    x.type = type;
    x.flags = physical[at_.physical_flags];
    for (std::size_t k = 0; k < kMaxIndexColumns; ++k) {
      const unsigned char* key = physical + at_.physical_keys + 3 * k;
      const std::uint16_t column = static_cast<std::uint16_t>(Le16(key));
      if (column == kNoColumn) continue;
      const bool known = std::any_of(t.columns.begin(), t.columns.end(),
                                     [&](const ColumnLayout& c) { return c.number == column; });
      if (!known) Damaged("的索引键指向不存在的第 " + std::to_string(column) + " 列");
      x.keys.push_back({column, key[2] != 0});
    }
    return x;
  }

  // A name at `*pos`, moved past it.
  std::string Name(std::uint64_t* pos, const char* what) {
    Need(*pos, at_.name_length_size, what);
    const std::size_t length = jet3_ ? def_[*pos] : Le16(&def_[*pos]);
    *pos += at_.name_length_size;
    Need(*pos, length, what);
    std::string name;
    const unsigned char* bytes = &def_[*pos];
    if (jet3_) {
      names_->ToUtf8(bytes, length, &name);
    } else {
      Utf16LeToUtf8(bytes, length, &name);
    }
    *pos += length;
    return name;
  }

  const FilePages& pages_;
  const std::string& table_;
  const bool jet3_;
  const Offsets& at_;
  CodePage* names_;
  std::vector<unsigned char> def_;
};

}  // namespace

TableLayout ReadTableLayout(const FilePages& pages, std::uint32_t page, const std::string& name,
                            CodePage* jet3_names) {
  return DefinitionReader(pages, page, name, jet3_names).Read(page);
}

}  // namespace jet
