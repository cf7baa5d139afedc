// Indexes of user tables and jet::CopyDatabase, checked through libmdb:
// its reading of index definitions and its walks of index pages, and the
// reader (itself over libmdb) for rows.
#include <gtest/gtest.h>
#include <mdbtools.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/sample.h"
#include "platform/com/error.h"
#include "platform/jet/copy.h"
#include "platform/jet/reader.h"
#include "platform/jet/writer.h"
#include "tests/support/files.h"

namespace {

using com::Variant;
using jet::ColumnType;
using Rows = std::vector<std::vector<Variant>>;
using testing_support::ReadFile;
using testing_support::TempDir;

// ------------------------------------------------------------ a keyed table

// Every key type, with nulls, negatives and repeats, rows not in key order.
constexpr int kRows = 3000;

jet::TableSchema KeyedTable() {
  return {"Keyed",
          {{"Id", ColumnType::kLong, 255, true, true, true},
           {"Code", ColumnType::kText, 12, true},
           {"Qty", ColumnType::kInteger},
           {"Level", ColumnType::kByte},
           {"Made", ColumnType::kDateTime},
           {"Price", ColumnType::kCurrency},
           {"Active", ColumnType::kBoolean},
           {"Ratio", ColumnType::kSingle},
           {"Weight", ColumnType::kDouble},
           {"Note", ColumnType::kMemo, 255, false, false}},
          {{"PrimaryKey", {{"Id"}}, true, true, false, true},
           {"Code", {{"Code"}}, false, true},
           {"ByQty", {{"Qty"}}},
           {"ByLevel", {{"Level"}}},
           {"ByMade", {{"Made"}}},
           {"ByPrice", {{"Price"}}},
           {"ByActive", {{"Active"}}},
           {"ByRatio", {{"Ratio"}}},
           {"ByWeight", {{"Weight"}}},
           {"QtyDownWeight", {{"Qty", false}, {"Weight"}}}}};
}

std::vector<Variant> KeyedRow(int i) {
  const auto maybe = [&](int every, Variant v) { return i % every == 3 ? Variant::Null() : v; };
  return {Variant::I4((i * 37) % kRows + 1),
          Variant::Text("C" + std::to_string(100000 + (i * 53) % kRows)),
          maybe(11, Variant::I2(static_cast<std::int16_t>(i % 200 - 100))),
          Variant::UI1(static_cast<std::uint8_t>(i * 7 % 256)),
          maybe(13, Variant::Date(-1000.25 + (i * 17 % kRows) * 13.5)),
          Variant::Currency(static_cast<std::int64_t>(i % 97 - 48) * 123457),
          Variant::Bool(i % 3 == 0),
          Variant::R4(static_cast<float>(i % 50 - 25) / 4.0f),
          maybe(10, Variant::R8((i % 71 - 35) * 1.5e10)),
          maybe(5, Variant::Text("note " + std::to_string(i)))};
}

void WriteKeyed(const std::string& path, const std::string& password = "") {
  jet::Writer w(path, {.password = password});
  w.BeginTable(KeyedTable());
  for (int i = 0; i < kRows; ++i) w.AppendRow(KeyedRow(i));
  w.EndTable();
  w.Finish();
}

// The order of `rows` that an index on `columns` must give: values
// compared as numbers or text, nulls first (last when descending), Yes
// before No, ties in row order.
std::vector<int> ExpectedOrder(const std::vector<std::vector<Variant>>& rows,
                               const std::vector<std::pair<int, bool>>& columns) {
  auto compare = [](const Variant& a, const Variant& b) -> int {
    if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : a.IsNull() ? -1 : 1;
    if (a.IsText()) return a.text().compare(b.text());
    if (a.type() == com::VarType::kBool) return a.integer() == b.integer() ? 0 : a.integer() != 0 ? -1 : 1;
    const double x = a.ToDouble(), y = b.ToDouble();
    return x < y ? -1 : x > y ? 1 : 0;
  };
  std::vector<int> order(rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    for (const auto& [column, ascending] : columns) {
      const int c = compare(rows[static_cast<std::size_t>(a)][static_cast<std::size_t>(column)],
                            rows[static_cast<std::size_t>(b)][static_cast<std::size_t>(column)]);
      if (c != 0) return ascending ? c < 0 : c > 0;
    }
    return false;
  });
  return order;
}

// ------------------------------------------------------------ libmdb

struct MdbCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// A table opened by libmdb, its index definitions read.
struct MdbTable {
  std::unique_ptr<MdbHandle, MdbCloser> mdb;
  std::unique_ptr<MdbTableDef, TableFreer> table;

  MdbTable(const std::string& path, const std::string& name) : mdb(mdb_open(path.c_str(), MDB_NOFLAGS)) {
    if (!mdb || !mdb_read_catalog(mdb.get(), MDB_TABLE)) throw std::runtime_error("libmdb cannot open " + path);
    table.reset(mdb_read_table_by_name(mdb.get(), const_cast<gchar*>(name.c_str()), MDB_TABLE));
    if (!table) throw std::runtime_error("libmdb finds no table " + name);
    mdb_read_columns(table.get());
    mdb_read_indices(table.get());
  }
  MdbIndex* Index(const std::string& name) const {
    for (unsigned i = 0; i < table->num_idxs; ++i) {
      auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i));
      if (name == idx->name) return idx;
    }
    return nullptr;
  }
  std::string ColumnName(int key_col_num) const {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, static_cast<unsigned>(key_col_num - 1)))->name;
  }
  // Row addresses (page << 8 | row) in scan order, numbered from 0.
  std::map<std::uint32_t, int> Addresses() const {
    std::map<std::uint32_t, int> out;
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
      const int n = static_cast<int>(out.size());
      out[table->cur_phys_pg << 8 | (table->cur_row - 1)] = n;
    }
    return out;
  }
  // The rows libmdb finds walking `index`, as numbers of Addresses(); -1
  // for an entry pointing at no row.
  std::vector<int> Walk(MdbIndex* index) const {
    const auto addresses = Addresses();
    std::unique_ptr<MdbHandle, MdbCloser> walker(mdb_clone_handle(mdb.get()));
    auto chain = std::make_unique<MdbIndexChain>();
    std::vector<int> out;
    guint32 page = 0;
    guint16 row = 0;
    while (out.size() <= addresses.size() && mdb_index_find_next(walker.get(), index, chain.get(), &page, &row)) {
      const auto it = addresses.find(page << 8 | row);
      out.push_back(it == addresses.end() ? -1 : it->second);
    }
    return out;
  }
};

// Every row of every table, through the reader.
std::map<std::string, Rows> ReadAll(const std::string& path, const std::string& password = "") {
  jet::Database db(path, {.password = password});
  std::map<std::string, Rows> out;
  for (const std::string& name : db.TableNames()) {
    auto reader = db.Query("SELECT * FROM [" + name + "]");
    dts::Row row;
    Rows& rows = out[name];
    while (reader->Next(row)) rows.push_back(row);
  }
  return out;
}

// A table's definition as text, indexes by name, for comparisons.
std::string Describe(jet::TableSchema d) {
  std::string s = d.name + ":";
  for (const auto& c : d.columns) {
    const bool sized = c.type == ColumnType::kText || c.type == ColumnType::kBinary;
    s += " " + c.name + "/" + jet::ColumnTypeName(c.type) + "/" + std::to_string(sized ? c.max_length : 0) +
         (c.type == ColumnType::kDecimal ? "/" + std::to_string(c.precision) + "," + std::to_string(c.scale) : "") +
         (c.required ? "/req" : "") + (c.autonumber ? "/auto" : "") + (c.compressed ? "" : "/plain");
  }
  std::sort(d.indexes.begin(), d.indexes.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& x : d.indexes) {
    s += " [" + x.name + (x.primary ? " pk" : "") + (x.unique ? " unique" : "") + (x.required ? " req" : "") +
         (x.ignore_nulls ? " ignorenulls" : "");
    for (const auto& c : x.columns) s += " " + c.name + (c.ascending ? "" : " desc");
    s += "]";
  }
  return s;
}

std::vector<std::string> Definitions(const std::string& path, const std::string& password = "") {
  jet::Database db(path, {.password = password});
  std::vector<std::string> out;
  for (const std::string& name : db.TableNames()) out.push_back(Describe(db.ReadTableSchema(name)));
  return out;
}

std::int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const com::Error& e) {
    return e.number();
  }
  return 0;
}

// ------------------------------------------------------------ indexes

TEST(JetWriterIndexes, LibmdbReadsTheDefinitionsAndWalksEveryKeyTypeInOrder) {
  TempDir dir;
  const std::string path = dir.File("keyed.mdb");
  WriteKeyed(path);
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < kRows; ++i) rows.push_back(KeyedRow(i));

  const MdbTable t(path, "Keyed");
  ASSERT_EQ(t.table->num_idxs, 10u);
  const jet::TableSchema def = KeyedTable();
  for (const auto& x : def.indexes) {
    SCOPED_TRACE(x.name);
    MdbIndex* idx = t.Index(x.name);
    ASSERT_NE(idx, nullptr);
    EXPECT_EQ(idx->index_type == 1, x.primary);
    EXPECT_EQ((idx->flags & MDB_IDX_UNIQUE) != 0, x.unique || x.primary);
    ASSERT_EQ(idx->num_keys, x.columns.size());
    std::vector<std::pair<int, bool>> key;
    for (std::size_t k = 0; k < x.columns.size(); ++k) {
      EXPECT_EQ(t.ColumnName(idx->key_col_num[k]), x.columns[k].name);
      EXPECT_EQ(idx->key_col_order[k] == MDB_ASC, x.columns[k].ascending);
      key.emplace_back(idx->key_col_num[k] - 1, x.columns[k].ascending);
    }
    // 3000 rows fill many leaves under a node page.
    EXPECT_EQ(t.Walk(idx), ExpectedOrder(rows, key));
  }
  // The reader gives back what was written.
  EXPECT_EQ(Definitions(path), std::vector<std::string>{Describe(def)});
}

TEST(JetWriterIndexes, DuplicateUniqueKeysAndNullPrimaryKeysAreRefused) {
  TempDir dir;
  jet::TableSchema def = KeyedTable();
  {
    jet::Writer w(dir.File("a.mdb"));
    w.BeginTable(def);
    w.AppendRow(KeyedRow(0));
    std::vector<Variant> again = KeyedRow(1);
    again[1] = Variant::Text("c100000");  // row 1's code, in another case
    w.AppendRow(again);
    EXPECT_EQ(ErrorOf([&] { w.EndTable(); }), jet::kErrDuplicateKey);
  }
  jet::Writer w(dir.File("b.mdb"));
  def.columns[0].required = false;
  w.BeginTable(def);
  std::vector<Variant> row = KeyedRow(0);
  row[0] = Variant::Null();
  EXPECT_EQ(ErrorOf([&] { w.AppendRow(row); }), jet::kErrNullKey);
  def.name = "Other";
  def.indexes[2].columns = {{"Note"}};
  EXPECT_EQ(ErrorOf([&] { w.BeginTable(def); }), com::kErrInvalidArgument);  // a Memo key
}

// ------------------------------------------------------------ copies

TEST(JetCopy, SampleWithPasswordIsCopiedTableByTableRowByRow) {
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), copy = dir.File("copy.mdb");
  cli::WriteSample(source, {.scale = 1, .password = "密码pw"});
  const std::string before = ReadFile(source);
  const auto tables = jet::CopyDatabase(source, {.password = "密码pw"}, copy);

  EXPECT_EQ(ReadFile(source), before);
  EXPECT_EQ(jet::Database(source, {.password = "密码pw"}).TableNames(),
            jet::Database(copy, {.password = "密码pw"}).TableNames());
  EXPECT_EQ(Definitions(copy, "密码pw"), Definitions(source, "密码pw"));
  const auto expected = ReadAll(source, "密码pw");
  EXPECT_EQ(ReadAll(copy, "密码pw"), expected);
  ASSERT_EQ(tables.size(), expected.size());
  for (const auto& t : tables) EXPECT_EQ(t.rows_written, static_cast<std::int64_t>(expected.at(t.name).size()));
  EXPECT_EQ(ErrorOf([&] { jet::Database db(copy); }), jet::kErrBadPassword);
}

TEST(JetCopy, IndexesAutoNumberAndRequiredAreKept) {
  TempDir dir;
  const std::string source = dir.File("keyed.mdb"), copy = dir.File("copy.mdb");
  WriteKeyed(source);
  jet::CopyDatabase(source, {}, copy);
  EXPECT_EQ(Definitions(copy), Definitions(source));
  EXPECT_EQ(ReadAll(copy), ReadAll(source));
  const MdbTable t(copy, "Keyed");
  EXPECT_EQ(t.Walk(t.Index("Code")).size(), static_cast<std::size_t>(kRows));
}

TEST(JetCopy, Jet3AndAccessMadeFilesBecomeJet4WithTheSameRows) {
  TempDir dir;
  const std::string data = testing_support::JetTestDataDir();
  for (const auto& [name, password] : std::vector<std::pair<std::string, std::string>>{
           {"V1997_test.mdb", ""}, {"password_V2003_with-password.mdb", "password"}, {"V2003_numeric.mdb", ""}}) {
    SCOPED_TRACE(name);
    const std::string source = data + "/" + name, copy = dir.File(name);
    const std::string before = ReadFile(source);
    jet::CopyDatabase(source, {.password = password}, copy);
    EXPECT_EQ(ReadFile(source), before);
    EXPECT_EQ(jet::Database(copy, {.password = password}).version(), jet::Version::kJet4);
    EXPECT_EQ(ReadAll(copy, password), ReadAll(source, password));
    EXPECT_EQ(Definitions(copy, password), Definitions(source, password));
    EXPECT_EQ(ErrorOf([&] { jet::Database(copy, {.password = "wrong"}); }),
              password.empty() ? 0 : jet::kErrBadPassword);
  }
}

TEST(JetCopy, EditsAndDropsAppearExactly) {
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), copy = dir.File("copy.mdb");
  cli::WriteSample(source, {.scale = 1});
  auto expected = ReadAll(source);
  Rows& departs = expected.at("Depart");
  ASSERT_GE(departs.size(), 3u);
  const std::size_t name = 6;  // DepName
  departs[0][name] = Variant::Text("改过的部门");
  departs.erase(departs.begin() + 2);

  jet::CopyDatabase(source, {}, copy, [&](const std::string& table, std::int64_t n, std::vector<Variant>& row) {
    if (table != "Depart") return true;
    if (n == 1) row[name] = Variant::Text("改过的部门");
    return n != 3;
  });
  EXPECT_EQ(ReadAll(copy), expected);
}

TEST(JetCopy, RefusesAnExistingOutputAndLeavesNothingWhenItFails) {
  TempDir dir;
  const std::string source = dir.File("shop.mdb"), out = dir.File("out.mdb");
  cli::WriteSample(source, {.scale = 1});
  testing_support::WriteFile(out, "keep");
  EXPECT_EQ(ErrorOf([&] { jet::CopyDatabase(source, {}, out); }), jet::kErrFileExists);
  EXPECT_EQ(ReadFile(out), "keep");
  std::filesystem::remove(out);

  // A value the column cannot take, part-way through.
  EXPECT_EQ(ErrorOf([&] {
              jet::CopyDatabase(source, {}, out, [](const std::string& table, std::int64_t, std::vector<Variant>& row) {
                if (table == "Employee") row[3] = Variant::Text("not a number");  // DepID
                return true;
              });
            }),
            com::kErrTypeMismatch);
  EXPECT_FALSE(std::filesystem::exists(out));

  // A damaged source: a page of its catalog overwritten.
  std::string bytes = ReadFile(source);
  bytes.replace(2 * 4096 + 100, 64, std::string(64, '\xFF'));
  testing_support::WriteFile(dir.File("bad.mdb"), bytes);
  EXPECT_EQ(ErrorOf([&] { jet::CopyDatabase(dir.File("bad.mdb"), {}, out); }), jet::kErrNotJetDatabase);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(ErrorOf([&] { jet::CopyDatabase(dir.File("none.mdb"), {}, out); }), jet::kErrFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
