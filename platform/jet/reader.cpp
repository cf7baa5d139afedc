#include "platform/jet/reader.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>
#include <new>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/dts/oledb.h"
#include "platform/jet/properties.h"
#include "platform/jet/query.h"
#include "platform/jet/table_layout.h"
#include "platform/jet/table_scan.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

constexpr std::int32_t kErrOutOfMemory = com::ErrorNumber(0x8007000Eu);
constexpr std::int32_t kErrNotSupported = 3251;  // operation not supported for this type of object
constexpr std::int32_t kErrNoSuchTable = 3078;
constexpr std::int32_t kErrNoSuchColumn = 3265;

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

using com::SameName;

// The catalog (MSysObjects) has its definition on page 2.
constexpr std::uint32_t kCatalogPage = 2;
constexpr char kCatalogName[] = "MSysObjects";
constexpr int kObjectTable = 1;
// System objects have one of these bits in their flags.
constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;

// An object of the catalog.
struct CatalogEntry {
  std::string name;
  int type = 0;
  std::uint32_t page = 0;   // a table's definition page
  std::uint32_t flags = 0;

  bool IsTable() const { return type == kObjectTable; }
  bool IsUserTable() const { return IsTable() && (flags & kSystemObjectFlags) == 0; }
};

// The index of the column `name` (any case) of a table; `fail` when none.
template <class Fail>
unsigned ColumnIndex(const TableLayout& t, std::string_view name, Fail&& fail) {
  for (unsigned i = 0; i < t.columns.size(); ++i) {
    if (SameName(t.columns[i].name, name)) return i;
  }
  fail();
  return 0;
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

dts::ColumnInfo DescribeColumn(const ColumnLayout& c, Version version) {
  dts::ColumnInfo info;
  info.name = c.name;
  info.nullable = true;
  switch (c.type) {
    case kTypeBoolean: info.type = dts::DBTYPE_BOOL; info.nullable = false; break;
    case kTypeByte: info.type = dts::DBTYPE_UI1; break;
    case kTypeInteger: info.type = dts::DBTYPE_I2; break;
    case kTypeLong: case kTypeComplex: info.type = dts::DBTYPE_I4; break;
    case kTypeCurrency: info.type = dts::DBTYPE_CY; break;
    case kTypeSingle: info.type = dts::DBTYPE_R4; break;
    case kTypeDouble: info.type = dts::DBTYPE_R8; break;
    case kTypeDateTime: info.type = dts::DBTYPE_DATE; break;
    case kTypeText:
      info.type = dts::DBTYPE_WSTR;
      info.size = static_cast<std::uint32_t>(version == Version::kJet4 ? c.size / 2 : c.size);
      break;
    case kTypeMemo: info.type = dts::DBTYPE_WSTR; info.is_long = true; break;
    case kTypeDecimal: info.type = dts::DBTYPE_NUMERIC; break;
    case kTypeReplicationId: info.type = dts::DBTYPE_GUID; break;
    default: info.type = dts::DBTYPE_BYTES; info.is_long = c.type == kTypeOle; break;
  }
  return info;
}

}  // namespace

// The file as one call reads it: its pages as they are when the call
// starts, its catalog, and the definitions of the tables the call reads.
// Each call (each query among them) reads them anew, so that it reads one
// version of the file whole; VerifyUnchanged tells whether that is still
// the version the Database opened.
struct Database::Contents {
  FilePages pages;
  std::string codepage;
  std::unique_ptr<CodePage> names;  // Jet 3: names are in the code page
  std::vector<CatalogEntry> catalog;
  std::shared_ptr<const TableLayout> catalog_table;

  Contents(std::shared_ptr<const SourceFile> file, const HeaderInfo& header, std::string code_page)
      : pages(std::move(file), header), codepage(std::move(code_page)) {
    if (header.version == Version::kJet3) names = std::make_unique<CodePage>(codepage);
    catalog_table = std::make_shared<const TableLayout>(ReadTableLayout(pages, kCatalogPage, kCatalogName, names.get()));
    ReadCatalog();
  }

  // Reads the definition of every table of the catalog.
  void CheckAllTables() {
    std::unordered_set<std::uint32_t> checked;  // each definition once, however many entries name it
    for (const CatalogEntry& e : catalog) {
      if (e.IsTable() && checked.insert(e.page).second) ReadTableLayout(pages, e.page, e.name, names.get());
    }
  }

  // The catalog's column `name`.
  unsigned CatalogColumn(const char* name) const {
    return ColumnIndex(*catalog_table, name, [&] {
      Fail(kErrNotJetDatabase, "数据库文件“" + pages.path() + "”已损坏：目录表没有列“" + std::string(name) + "”。");
    });
  }

  void ReadCatalog() {
    TableScan scan(pages, catalog_table, codepage);
    const unsigned id = CatalogColumn("Id"), name = CatalogColumn("Name"), type = CatalogColumn("Type"),
                   flags = CatalogColumn("Flags");
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
      catalog.push_back(std::move(e));
    }
  }

  // The table of that name (any case); error 3078 when the catalog has none.
  const CatalogEntry& Find(std::string_view name) const {
    for (const CatalogEntry& e : catalog) {
      if (e.IsTable() && SameName(e.name, name)) return e;
    }
    Fail(kErrNoSuchTable, "Jet 数据库引擎找不到输入表或查询“" + std::string(name) + "”。");
  }

  std::shared_ptr<const TableLayout> Table(std::string_view name) {
    const CatalogEntry& e = Find(name);
    return std::make_shared<const TableLayout>(ReadTableLayout(pages, e.page, e.name, names.get()));
  }

  // The property blob (MSysObjects.LvProp) of the object whose definition
  // is on `page`; empty when it has none.
  std::string Properties(std::uint32_t page) const {
    std::string blob;
    const auto& columns = catalog_table->columns;
    auto find = [&](const char* name) {
      unsigned i = 0;
      while (i < columns.size() && !SameName(columns[i].name, name)) ++i;
      return i;
    };
    const unsigned id = find("Id"), props = find("LvProp");
    if (id == columns.size() || props == columns.size()) return blob;
    TableScan scan(pages, catalog_table, codepage);
    com::Variant v;
    while (scan.Next()) {
      scan.Decode(id, &v);
      if (v.IsNull() || (static_cast<std::uint32_t>(v.integer()) & 0x00FFFFFFu) != page) continue;
      scan.LongValue(props, &blob);
      break;
    }
    return blob;
  }
};

namespace {

// A query's rows from one table.
class TableReader final : public dts::RowReader {
 public:
  TableReader(std::shared_ptr<const void> keep, const FilePages& pages, std::shared_ptr<const TableLayout> table,
              const std::string& codepage, const SelectQuery& q)
      : keep_(std::move(keep)), scan_(pages, std::move(table), codepage) {
    const TableLayout& t = scan_.table();
    auto find = [&](const std::string& name) {
      return ColumnIndex(t, name, [&] { Fail(kErrNoSuchColumn, "表“" + t.name + "”中没有列“" + name + "”。"); });
    };
    if (q.all_columns) {
      for (unsigned i = 0; i < t.columns.size(); ++i) selected_.push_back(i);
    } else {
      for (const auto& name : q.columns) selected_.push_back(find(name));
    }
    for (unsigned i : selected_) columns_.push_back(DescribeColumn(t.columns[i], pages.version()));
    if (q.where_column) {
      filter_column_ = static_cast<int>(find(*q.where_column));
      filter_ = q.where_value;
    }
    path_ = pages.path();
  }

  const std::vector<dts::ColumnInfo>& columns() const override { return columns_; }
  // The reader has page buffers of its own, and reads the shared file with
  // pread.
  bool ReadableOnAnotherThread() const override { return true; }
  // The table's recorded row count; a filter makes it unknown.
  std::int64_t ExpectedRows() const override { return filter_column_ >= 0 ? -1 : scan_.table().row_count; }

  bool Next(dts::Row& row) override {
    return Guarded(path_, [&] {
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

  std::shared_ptr<const void> keep_;  // what the scan reads through
  TableScan scan_;
  std::string path_;
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

// The column types a table definition describes: those the writer writes.
bool Describable(std::uint8_t type) {
  switch (type) {
    case kTypeBoolean: case kTypeByte: case kTypeInteger: case kTypeLong: case kTypeCurrency: case kTypeSingle:
    case kTypeDouble: case kTypeDateTime: case kTypeBinary: case kTypeText: case kTypeOle: case kTypeMemo:
    case kTypeReplicationId: case kTypeDecimal:
      return true;
    default:
      return false;
  }
}

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
    Contents(file_, header_, options_.codepage).CheckAllTables();
  });
}

Database::~Database() = default;

std::vector<std::string> Database::TableNames() {
  return Guarded(path_, [&] {
    const Contents contents(file_, header_, options_.codepage);
    std::vector<std::string> names;
    for (const CatalogEntry& e : contents.catalog) {
      if (e.IsUserTable()) names.push_back(e.name);
    }
    return names;
  });
}

std::vector<dts::ColumnInfo> Database::TableColumns(std::string_view table) {
  return Guarded(path_, [&] {
    std::vector<dts::ColumnInfo> out;
    const auto t = Contents(file_, header_, options_.codepage).Table(table);
    for (const ColumnLayout& c : t->columns) out.push_back(DescribeColumn(c, header_.version));
    return out;
  });
}

TableSchema Database::ReadTableSchema(std::string_view table) {
  return Guarded(path_, [&] {
    Contents contents(file_, header_, options_.codepage);
    const auto layout = contents.Table(table);
    const TableLayout& t = *layout;
    const std::vector<Property> properties =
        ParseProperties(contents.Properties(t.page), header_.version, options_.codepage, t.name, path_);
    const bool jet4 = header_.version == Version::kJet4;
    TableSchema def;
    def.name = t.name;
    for (const ColumnLayout& c : t.columns) {
      if (!Describable(c.type)) {
        Fail(kErrNotSupported, "表“" + def.name + "”的列“" + c.name + "”的类型（编号 " + std::to_string(c.type) +
                                   "）不在可读出定义的类型之内（数据库“" + path_ + "”）。");
      }
      ColumnDefinition column{c.name, static_cast<ColumnType>(c.type)};
      if (column.type == ColumnType::kText) column.max_length = jet4 ? c.size / 2 : c.size;
      if (column.type == ColumnType::kBinary) column.max_length = c.size;
      if (column.type == ColumnType::kDecimal) {
        column.precision = c.precision;
        column.scale = c.scale;
      }
      column.required = BooleanProperty(properties, column.name, "Required", false);
      column.autonumber = column.type == ColumnType::kLong && (c.flags & 0x04) != 0;
      const bool text = column.type == ColumnType::kText || column.type == ColumnType::kMemo;
      if (jet4 && text) column.compressed = (c.misc_flags & 0x01) != 0;
      def.columns.push_back(std::move(column));
    }
    for (const IndexLayout& x : t.indexes) {
      if (x.type == 2) continue;  // a foreign key's reference to another table
      IndexDefinition index;
      index.name = x.name;
      for (const IndexKey& key : x.keys) {
        for (const ColumnLayout& c : t.columns) {
          if (c.number == key.column) index.columns.push_back({c.name, key.ascending});
        }
      }
      index.primary = x.type == 1;
      index.unique = (x.flags & 0x01) != 0;
      index.ignore_nulls = (x.flags & 0x02) != 0;
      index.required = (x.flags & 0x08) != 0;
      def.indexes.push_back(std::move(index));
    }
    return def;
  });
}

std::unique_ptr<dts::RowReader> Database::Query(std::string_view sql) {
  return Guarded(path_, [&]() -> std::unique_ptr<dts::RowReader> {
    const SelectQuery q = ParseSelect(sql);
    auto contents = std::make_shared<Contents>(file_, header_, options_.codepage);
    return std::make_unique<TableReader>(contents, contents->pages, contents->Table(q.table), contents->codepage, q);
  });
}

void Database::VerifyUnchanged() const {
  Guarded(path_, [&] { file_->VerifyUnchanged(); });
}

std::shared_ptr<dts::Driver> MakeJetDriver() { return std::make_shared<JetDriver>(); }

}  // namespace jet
