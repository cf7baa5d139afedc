#include "platform/jet/reader.h"

#include <mdbtools.h>

#include <cstdlib>
#include <cstring>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/dts/oledb.h"
#include "platform/jet/query.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

constexpr int kOffsetMask = 0x1FFF;
constexpr int kRowSkipFlag = 0x4000;  // deleted rows and overflow pointers

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

struct HandleCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
using HandlePtr = std::unique_ptr<MdbHandle, HandleCloser>;

struct TableFreer {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

using com::SameName;

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Opens a libmdb handle on a file whose header has been checked, with Jet 3
// names decoded from the code page, and reads its catalog.
HandlePtr OpenHandle(const std::string& path, const HeaderInfo& header, const std::string& codepage) {
  HandlePtr h(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!h) Fail(kErrCannotOpen, "无法打开数据库“" + path + "”。");
#if MDBTOOLS_H_HAVE_ICONV_H
  if (header.version == Version::kJet3) {
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
#endif
  if (!mdb_read_catalog(h.get(), MDB_ANY)) Fail(kErrNotJetDatabase, "无法读取数据库“" + path + "”的目录：文件可能已损坏。");
  return h;
}

// The table of that name (any case), with its columns read.
TablePtr OpenTable(MdbHandle* mdb, std::string_view name, const std::string& path) {
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type != MDB_TABLE || !SameName(entry->object_name, name)) continue;
    TablePtr t(mdb_read_table(entry));
    if (!t || !mdb_read_columns(t.get())) {
      Fail(kErrNotJetDatabase, "无法读取表“" + std::string(name) + "”的定义：文件“" + path + "”可能已损坏。");
    }
    return t;
  }
  Fail(3078, "Jet 数据库引擎找不到输入表或查询“" + std::string(name) + "”。");
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
  TableReader(const std::string& path, const HeaderInfo& header, const std::string& codepage,
              const SelectQuery& q)
      : path_(path), version_(header.version), mdb_(OpenHandle(path, header, codepage)),
        table_(OpenTable(mdb_.get(), q.table, path)), table_name_(table_->name) {
    if (version_ == Version::kJet3) codepage_ = std::make_unique<CodePage>(codepage);
    auto find = [&](const std::string& name) -> unsigned {
      for (unsigned i = 0; i < table_->num_cols; ++i) {
        if (SameName(Col(i).name, name)) return i;
      }
      Fail(3265, "表“" + table_name_ + "”中没有列“" + name + "”。");
    };
    if (q.all_columns) {
      for (unsigned i = 0; i < table_->num_cols; ++i) selected_.push_back(i);
    } else {
      for (const auto& name : q.columns) selected_.push_back(find(name));
    }
    for (unsigned i : selected_) columns_.push_back(DescribeColumn(Col(i), version_));
    if (q.where_column) {
      filter_column_ = static_cast<int>(find(*q.where_column));
      filter_ = q.where_value;
    }
    fields_.resize(table_->num_cols);
    mdb_rewind_table(table_.get());
  }

  const std::vector<dts::ColumnInfo>& columns() const override { return columns_; }
  // The reader has a file handle of its own.
  bool ReadableOnAnotherThread() const override { return true; }

  bool Next(dts::Row& row) override {
    row.resize(selected_.size());
    while (NextRawRow()) {
      if (filter_column_ >= 0 && !FilterMatches()) continue;
      for (std::size_t i = 0; i < selected_.size(); ++i) Decode(selected_[i], &row[i]);
      return true;
    }
    return false;
  }

 private:
  const MdbColumn& Col(unsigned i) const { return *static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i)); }

  // Moves to the next live row of the table and cracks it into fields_.
  bool NextRawRow() {
    MdbHandle* mdb = mdb_.get();
    if (done_) return false;
    if (!started_) {
      started_ = true;
      if (!mdb_read_next_dpg(table_.get())) return Finish();
      row_ = 0;
    }
    for (;;) {
      const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
      if (rows < 0 || row_ >= static_cast<unsigned>(rows)) {
        if (!mdb_read_next_dpg(table_.get())) return Finish();
        row_ = 0;
        continue;
      }
      const unsigned r = row_++;
      int start = 0;
      std::size_t size = 0;
      if (mdb_find_row(mdb, static_cast<int>(r), &start, &size) == -1) Corrupt(r);
      if (size == 0 || (start & kRowSkipFlag)) continue;
      if (mdb_crack_row(table_.get(), start & kOffsetMask, size, fields_.data()) < 0) Corrupt(r);
      by_column_.assign(table_->num_cols, nullptr);
      for (auto& f : fields_) {
        if (f.colnum >= 0 && static_cast<unsigned>(f.colnum) < table_->num_cols) by_column_[f.colnum] = &f;
      }
      return true;
    }
  }

  bool Finish() {
    done_ = true;
    return false;
  }

  [[noreturn]] void Corrupt(unsigned row) const {
    Fail(kErrNotJetDatabase, "数据库文件“" + path_ + "”已损坏：表“" + table_name_ + "”第 " +
                                 std::to_string(table_->cur_phys_pg) + " 页第 " + std::to_string(row) +
                                 " 行无法读取。");
  }

  void DecodeText(const unsigned char* p, std::size_t n, std::string* out) {
    if (version_ == Version::kJet4) {
      DecodeJet4Text(p, n, out);
    } else {
      codepage_->ToUtf8(p, n, out);
    }
  }

  // The bytes of a memo value, following long-value pages as needed.
  void ReadMemo(const unsigned char* p, std::size_t siz, std::string* bytes) {
    bytes->clear();
    if (siz < MDB_MEMO_OVERHEAD) Corrupt(row_ - 1);
    const std::uint32_t head = Le32(p);
    const std::uint32_t length = head & 0x3FFFFFFF;
    MdbHandle* mdb = mdb_.get();
    if (head & 0x80000000u) {  // inline
      bytes->assign(reinterpret_cast<const char*>(p + MDB_MEMO_OVERHEAD), siz - MDB_MEMO_OVERHEAD);
      return;
    }
    int pg_row = static_cast<int>(Le32(p + 4));
    if (head & 0x40000000u) {  // one long-value row
      void* buf = nullptr;
      int off = 0;
      std::size_t len = 0;
      if (mdb_find_pg_row(mdb, pg_row, &buf, &off, &len) != 0) Corrupt(row_ - 1);
      bytes->assign(static_cast<const char*>(buf) + off, len);
      return;
    }
    // A chain of long-value rows, each starting with the next one's address.
    for (std::size_t hops = 0; pg_row != 0; ++hops) {
      void* buf = nullptr;
      int off = 0;
      std::size_t len = 0;
      if (hops > (1u << 20) || mdb_find_pg_row(mdb, pg_row, &buf, &off, &len) != 0 || len < 4) Corrupt(row_ - 1);
      const auto* seg = static_cast<const unsigned char*>(buf) + off;
      bytes->append(reinterpret_cast<const char*>(seg + 4), len - 4);
      if (bytes->size() > length) Corrupt(row_ - 1);
      pg_row = static_cast<int>(Le32(seg));
    }
  }

  void Decode(unsigned column, com::Variant* out) {
    const MdbColumn& c = Col(column);
    const MdbField* f = by_column_[column];
    if (!f) Corrupt(row_ - 1);
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
      if (siz < n) Corrupt(row_ - 1);
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
      case MDB_DOUBLE: case MDB_DATETIME: {
        need(8);
        double v;
        std::memcpy(&v, p, 8);
        out->SetReal(c.col_type == MDB_DOUBLE ? com::VarType::kR8 : com::VarType::kDate, v);
        break;
      }
      case MDB_TEXT:
        DecodeText(p, siz, &scratch_);
        out->SetText(scratch_);
        break;
      case MDB_MEMO:
        ReadMemo(p, siz, &bytes_);
        DecodeText(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size(), &scratch_);
        out->SetText(scratch_);
        break;
      case MDB_NUMERIC: {
        need(17);
        const int start = static_cast<int>(p - mdb_->pg_buf);
        char* s = mdb_numeric_to_string(mdb_.get(), start, c.col_scale, c.col_prec);
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

  bool FilterMatches() {
    Decode(static_cast<unsigned>(filter_column_), &filter_value_);
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

  std::string path_;
  Version version_;
  HandlePtr mdb_;
  TablePtr table_;
  std::string table_name_;
  std::unique_ptr<CodePage> codepage_;
  std::vector<unsigned> selected_;
  std::vector<dts::ColumnInfo> columns_;
  int filter_column_ = -1;
  Literal filter_;
  com::Variant filter_value_;
  std::vector<MdbField> fields_;
  std::vector<MdbField*> by_column_;
  std::string scratch_, bytes_;
  bool started_ = false, done_ = false;
  unsigned row_ = 0;
};

// A session of the Jet driver: one open, checked database.
class JetSession final : public dts::Session {
 public:
  explicit JetSession(std::unique_ptr<Database> db) : db_(std::move(db)) {}
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

 private:
  [[noreturn]] void ReadOnly() const {
    Fail(3027, "无法更新。源数据库“" + db_->path() + "”以只读方式打开。");
  }
  std::unique_ptr<Database> db_;
};

class JetDriver final : public dts::Driver {
 public:
  std::unique_ptr<dts::Session> Open(const dts::ConnectionSpec& connection) override {
    OpenOptions options;
    const com::Variant* pw = connection.Property("Jet OLEDB:Database Password");
    options.password = pw ? pw->ToText() : connection.password;
    std::string path = connection.data_source;
    if (const com::Variant* ds = connection.Property("Data Source"); path.empty() && ds) path = ds->ToText();
    return std::make_unique<JetSession>(std::make_unique<Database>(path, options));
  }
};

}  // namespace

std::string DefaultCodePage() {
  const char* env = std::getenv("KORVEL_JET3_CODEPAGE");
  return env && *env ? env : "CP936";
}

Database::Database(const std::string& path, const OpenOptions& options)
    : path_(path), options_(options), header_(ReadHeader(path)) {
  if (options_.codepage.empty()) options_.codepage = DefaultCodePage();
  if (!PasswordMatches(header_, options_.password, options_.codepage)) {
    Fail(kErrBadPassword, "不是有效的密码：数据库“" + path + "”的密码不正确。");
  }
  OpenHandle(path_, header_, options_.codepage);  // libmdb can read it
}

Database::~Database() = default;

std::vector<std::string> Database::TableNames() {
  HandlePtr h = OpenHandle(path_, header_, options_.codepage);
  std::vector<std::string> names;
  for (unsigned i = 0; i < h->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(h->catalog, i));
    if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry)) names.emplace_back(entry->object_name);
  }
  return names;
}

std::vector<dts::ColumnInfo> Database::TableColumns(std::string_view table) {
  HandlePtr h = OpenHandle(path_, header_, options_.codepage);
  TablePtr t = OpenTable(h.get(), table, path_);
  std::vector<dts::ColumnInfo> out;
  for (unsigned i = 0; i < t->num_cols; ++i) {
    out.push_back(DescribeColumn(*static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i)), header_.version));
  }
  return out;
}

std::unique_ptr<dts::RowReader> Database::Query(std::string_view sql) {
  return std::make_unique<TableReader>(path_, header_, options_.codepage, ParseSelect(sql));
}

std::shared_ptr<dts::Driver> MakeJetDriver() { return std::make_shared<JetDriver>(); }

}  // namespace jet
