// jet::Writer, checked by reading what it writes with libmdb and the
// mdbtools programs, and, where they cannot tell, by decoding the pages.
#include <gtest/gtest.h>
#include <mdbtools.h>
#include <stdlib.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/jet/header.h"
#include "platform/jet/text.h"
#include "platform/jet/writer.h"
#include "platform/jet/writer_encode.h"
#include "platform/jet/writer_file.h"
#include "platform/jet/writer_pages.h"
#include "tests/support/files.h"

namespace {

using com::Variant;
using jet::ColumnDefinition;
using jet::ColumnType;
using jet::TableSchema;
using jet::Writer;
using testing_support::ReadFile;
using testing_support::TempDir;

// ---------------------------------------------------------------- helpers

std::uint32_t Le32(const std::string& d, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
  return v;
}

std::uint16_t Le16(const std::string& d, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) | static_cast<unsigned char>(d[at + 1]) << 8);
}

double LeDouble(const std::string& d, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
  return std::bit_cast<double>(v);
}

// Runs a shell command; returns its exit status and standard output.
std::pair<int, std::string> Shell(const std::string& command) {
  const auto r = testing_support::RunCommand(command);
  return {r.exit_code, r.out};
}

std::string Quoted(const std::string& s) { return testing_support::ShellQuote(s); }

// One value as libmdb reads it: null or not (from the row's null mask),
// libmdb's text for it, and the bytes the row holds for it.
struct Cell {
  bool null = true;
  std::string text;
  std::string raw;
};

struct Table {
  long declared_rows = -1;  // row count of the table definition
  unsigned char map_type = 0xFF;
  std::vector<std::string> columns;
  std::vector<int> types;
  std::vector<std::vector<Cell>> rows;
};

struct MdbCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableDefFree {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

constexpr std::size_t kBindSize = 1 << 20;

// Reads a whole table through libmdb.
Table ReadTable(const std::string& path, const std::string& name) {
  Table out;
  std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) throw std::runtime_error("libmdb cannot open " + path);
  mdb_set_bind_size(mdb.get(), kBindSize);
  if (mdb_read_catalog(mdb.get(), MDB_TABLE) == nullptr) throw std::runtime_error("no catalog");
  std::unique_ptr<MdbTableDef, TableDefFree> t(
      mdb_read_table_by_name(mdb.get(), const_cast<gchar*>(name.c_str()), MDB_TABLE));
  if (!t) throw std::runtime_error("libmdb finds no table " + name);
  mdb_read_columns(t.get());
  mdb_rewind_table(t.get());
  out.declared_rows = static_cast<long>(t->num_rows);
  out.map_type = t->usage_map != nullptr ? t->usage_map[0] : 0xFF;
  const unsigned n = t->num_cols;
  std::vector<std::vector<char>> bound(n);
  std::vector<int> lens(n);
  for (unsigned i = 0; i < n; ++i) {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
    out.columns.push_back(col->name);
    out.types.push_back(col->col_type);
    bound[i].assign(col->col_type == MDB_MEMO || col->col_type == MDB_OLE ? kBindSize : 4096, '\0');
    mdb_bind_column(t.get(), static_cast<int>(i + 1), bound[i].data(), &lens[i]);
  }
  while (mdb_fetch_row(t.get())) {
    int start = 0;
    size_t len = 0;
    mdb_find_row(mdb.get(), static_cast<int>(t->cur_row) - 1, &start, &len);
    std::vector<MdbField> fields(n + 1);
    const int count = mdb_crack_row(t.get(), start & 0x1FFF, len, fields.data());
    std::vector<Cell> row(n);
    for (int k = 0; k < count && k < static_cast<int>(n); ++k) {
      const MdbField& f = fields[static_cast<std::size_t>(k)];
      Cell& c = row[static_cast<std::size_t>(f.colnum)];
      c.null = f.is_null != 0;
      if (!c.null && f.value != nullptr && f.siz > 0) {
        c.raw.assign(static_cast<const char*>(f.value), static_cast<std::size_t>(f.siz));
      }
    }
    for (unsigned i = 0; i < n; ++i) row[i].text = bound[i].data();
    out.rows.push_back(std::move(row));
  }
  return out;
}

// Ends the table `w` is writing and its file, then expects libmdb to read
// `rows` rows of `table`, as many as its definition declares: the rows the
// writer refused left no trace.
void ExpectOnlyAcceptedRows(Writer& w, const std::string& path, const std::string& table, std::size_t rows) {
  w.EndTable();
  w.Finish();
  const Table t = ReadTable(path, table);
  EXPECT_EQ(t.rows.size(), rows);
  EXPECT_EQ(t.declared_rows, static_cast<long>(rows));
}

std::vector<std::string> UserTables(const std::string& path) {
  auto [status, out] = Shell("mdb-tables -1 " + Quoted(path));
  std::vector<std::string> names;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

std::string Utf16Le(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

double RawDouble(const Cell& c) { return LeDouble(c.raw, 0); }
float RawFloat(const Cell& c) { return std::bit_cast<float>(Le32(c.raw, 0)); }
std::int64_t RawInt64(const Cell& c) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(Le32(c.raw, 4)) << 32 | Le32(c.raw, 0));
}
// The flag byte of a memo field: 0x80 inline, 0x40 one long-value row,
// 0 a chain of long-value pages.
int MemoForm(const Cell& c) { return static_cast<unsigned char>(c.raw.at(3)); }

ColumnDefinition Col(const std::string& name, ColumnType type, int max_length = 255, bool required = false,
               bool compressed = true) {
  return ColumnDefinition{name, type, max_length, required, compressed};
}

ColumnDefinition DecimalCol(const std::string& name, int precision, int scale) {
  ColumnDefinition c{name, ColumnType::kDecimal};
  c.precision = precision;
  c.scale = scale;
  return c;
}

// Column `column` of every row as mdb-export prints it: binary and OLE
// data in upper-case hex, nothing quoted.
std::vector<std::string> ExportedColumn(const std::string& path, const std::string& table, std::size_t column) {
  auto [status, out] = Shell("mdb-export -H -b hex -q '' -d '|' " + Quoted(path) + " " + Quoted(table));
  std::vector<std::string> values;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::size_t from = 0;
    for (std::size_t k = 0; k < column; ++k) from = line.find('|', from) + 1;
    values.push_back(line.substr(from, line.find('|', from) - from));
  }
  return values;
}

std::string UpperHex(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

// `n` bytes running through every byte value, zero among them.
std::string ByteRun(std::size_t n, int step = 1) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * static_cast<std::size_t>(step)) & 0xFF);
  return out;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Runs `f`, which must raise com::Error; returns its description.
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const com::Error& e) {
    return e.description();
  }
  ADD_FAILURE() << "no com::Error raised";
  return {};
}

double Ole(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return com::OleDateFromCivil({y, mo, d, h, mi, s, 0});
}

// ------------------------------------------------------------ round trips

TEST(JetWriterValues, NumbersKeepTheirExtremes) {
  TempDir dir;
  const std::string path = dir.File("numbers.mdb");
  {
    Writer w(path);
    w.BeginTable({"Numbers",
                  {Col("Flag", ColumnType::kBoolean), Col("Small", ColumnType::kByte),
                   Col("Int", ColumnType::kInteger), Col("Big", ColumnType::kLong),
                   Col("Money", ColumnType::kCurrency), Col("Float", ColumnType::kSingle),
                   Col("Real", ColumnType::kDouble)}});
    w.AppendRow({Variant::Bool(true), Variant::UI1(255), Variant::I2(32767), Variant::I4(2147483647),
                 Variant::Currency(std::numeric_limits<std::int64_t>::max()), Variant::R4(FLT_MAX),
                 Variant::R8(DBL_MAX)});
    w.AppendRow({Variant::Bool(false), Variant::I4(0), Variant::I2(-32768), Variant::I4(-2147483647 - 1),
                 Variant::Currency(std::numeric_limits<std::int64_t>::min()), Variant::R4(-FLT_MAX),
                 Variant::R8(-DBL_MAX)});
    // Negative and fractional currency; the smallest magnitudes; integers
    // given for every numeric type.
    w.AppendRow({Variant::I4(7), Variant::I8(17), Variant::I4(-1), Variant::I8(-5), Variant::Currency(-12345678),
                 Variant::R4(std::numeric_limits<float>::denorm_min()), Variant::R8(-DBL_MIN)});
    w.AppendRow({Variant::I2(0), Variant::UI1(1), Variant::UI1(200), Variant::I2(-300), Variant::I4(-3),
                 Variant::I4(16777217), Variant::I8(-9007199254740993LL)});
    w.AppendRow({Variant::Bool(false), Variant::I2(2), Variant::I2(3), Variant::I4(4), Variant::Currency(-1),
                 Variant::R8(0.1), Variant::R4(0.1f)});
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Numbers");
  ASSERT_EQ(t.rows.size(), 5u);
  EXPECT_EQ(t.declared_rows, 5);
  const auto& r = t.rows;
  EXPECT_EQ(r[0][0].text, "1");
  EXPECT_EQ(r[1][0].text, "0");
  EXPECT_EQ(r[2][0].text, "1");  // any non-zero integer is Yes
  EXPECT_EQ(r[3][0].text, "0");
  EXPECT_EQ(r[0][1].text, "255");
  EXPECT_EQ(r[1][1].text, "0");
  EXPECT_EQ(r[0][2].text, "32767");
  EXPECT_EQ(r[1][2].text, "-32768");
  EXPECT_EQ(r[0][3].text, "2147483647");
  EXPECT_EQ(r[1][3].text, "-2147483648");
  EXPECT_EQ(r[3][3].text, "-300");
  EXPECT_EQ(RawInt64(r[0][4]), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(RawInt64(r[1][4]), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(r[0][4].text, "922337203685477.5807");
  EXPECT_EQ(r[2][4].text, "-1234.5678");
  EXPECT_EQ(r[3][4].text, "-3.0000");   // an integer is whole currency units
  EXPECT_EQ(r[4][4].text, "-0.0001");
  EXPECT_EQ(RawFloat(r[0][5]), FLT_MAX);
  EXPECT_EQ(RawFloat(r[1][5]), -FLT_MAX);
  EXPECT_EQ(RawFloat(r[2][5]), std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(RawFloat(r[3][5]), 16777216.0f);  // nearest float to the integer
  EXPECT_EQ(RawFloat(r[4][5]), 0.1f);
  EXPECT_EQ(RawDouble(r[0][6]), DBL_MAX);
  EXPECT_EQ(RawDouble(r[1][6]), -DBL_MAX);
  EXPECT_EQ(RawDouble(r[2][6]), -DBL_MIN);
  EXPECT_EQ(RawDouble(r[3][6]), -9007199254740992.0);
  EXPECT_EQ(RawDouble(r[4][6]), static_cast<double>(0.1f));
}

TEST(JetWriterValues, DatesBefore1900AndAfter2038) {
  TempDir dir;
  const std::string path = dir.File("dates.mdb");
  const std::vector<double> dates = {
      Ole(100, 1, 1),                   // the first day Jet accepts
      Ole(1850, 6, 15, 12, 30, 45),     // before 1900: negative, time running forward
      Ole(1899, 12, 29, 18),            //
      Ole(1899, 12, 30),                // day zero
      Ole(1969, 7, 20, 20, 17, 40),     //
      Ole(2038, 1, 19, 3, 14, 8),       // end of 32-bit Unix time
      Ole(2100, 2, 28, 23, 59, 59),     //
      Ole(9999, 12, 31, 23, 59, 59),    // the last second Jet accepts
  };
  {
    Writer w(path);
    w.BeginTable({"Dates", {Col("N", ColumnType::kLong), Col("When", ColumnType::kDateTime)}});
    for (std::size_t i = 0; i < dates.size(); ++i) {
      w.AppendRow({Variant::I4(static_cast<std::int32_t>(i)), Variant::Date(dates[i])});
    }
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Dates");
  ASSERT_EQ(t.rows.size(), dates.size());
  for (std::size_t i = 0; i < dates.size(); ++i) {
    EXPECT_EQ(RawDouble(t.rows[i][1]), dates[i]) << i;
  }
  EXPECT_LT(RawDouble(t.rows[1][1]), 0);
  // libmdb renders dates of the 20th and 21st centuries itself.
  auto [status, csv] = Shell("mdb-export -H -T '%Y-%m-%d %H:%M:%S' " + Quoted(path) + " Dates");
  EXPECT_NE(csv.find("4,\"1969-07-20 20:17:40\""), std::string::npos) << csv;
  EXPECT_NE(csv.find("5,\"2038-01-19 03:14:08\""), std::string::npos) << csv;
}

TEST(JetWriterValues, NullsInEveryType) {
  TempDir dir;
  const std::string path = dir.File("nulls.mdb");
  const std::vector<ColumnDefinition> columns = {
      Col("Flag", ColumnType::kBoolean), Col("Small", ColumnType::kByte), Col("Int", ColumnType::kInteger),
      Col("Big", ColumnType::kLong),     Col("Money", ColumnType::kCurrency), Col("Float", ColumnType::kSingle),
      Col("Real", ColumnType::kDouble),  Col("When", ColumnType::kDateTime), Col("Name", ColumnType::kText, 20),
      Col("Note", ColumnType::kMemo)};
  {
    Writer w(path);
    w.BeginTable({"Nulls", columns});
    w.AppendRow(std::vector<Variant>(columns.size(), Variant::Null()));
    w.AppendRow({Variant::Bool(true), Variant::UI1(1), Variant::I2(2), Variant::I4(3), Variant::Currency(4),
                 Variant::R4(5), Variant::R8(6), Variant::Date(7), Variant::Text("eight"), Variant::Text("nine")});
    w.AppendRow(std::vector<Variant>(columns.size(), Variant::Null()));
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Nulls");
  ASSERT_EQ(t.rows.size(), 3u);
  for (std::size_t row : {0u, 2u}) {
    // A Yes/No has no null: its value is the null-mask bit, No.
    EXPECT_EQ(t.rows[row][0].text, "0");
    for (std::size_t c = 1; c < columns.size(); ++c) EXPECT_TRUE(t.rows[row][c].null) << row << " " << c;
  }
  for (std::size_t c = 0; c < columns.size(); ++c) EXPECT_FALSE(t.rows[1][c].null) << c;
  EXPECT_EQ(t.rows[1][8].text, "eight");
  EXPECT_EQ(t.rows[1][9].text, "nine");
}

TEST(JetWriterValues, TextChineseEmptyMaximalCompressedAndPlain) {
  TempDir dir;
  const std::string path = dir.File("text.mdb");
  const std::string ascii255 = Repeat("abcde", 51);
  const std::string chinese255 = Repeat("汉", 255);
  const std::vector<std::string> values = {
      "",                       // empty, not null
      "中文测试",                // Chinese only: never shorter compressed
      "abc中文def 混合 text",     // mixed runs
      ascii255,                 // maximal length
      chinese255,               // maximal length, Chinese
      "Ā一",                    // U+0100, U+4E00: low byte zero, cannot be compressed
      "😀 astral",              // a surrogate pair counts two characters
      "a",                      // one character: compression would not save space
  };
  {
    Writer w(path);
    w.BeginTable({"Texts", {Col("Packed", ColumnType::kText, 255, false, true),
                            Col("Plain", ColumnType::kText, 255, false, false)}});
    for (const auto& v : values) w.AppendRow({Variant::Text(v), Variant::Text(v)});
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Texts");
  ASSERT_EQ(t.rows.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_FALSE(t.rows[i][0].null) << i;
    if (i == 6) continue;  // libmdb converts UCS-2 only; checked below
    EXPECT_EQ(t.rows[i][0].text, values[i]) << i;
    EXPECT_EQ(t.rows[i][1].text, values[i]) << i;
  }
  EXPECT_EQ(t.rows[6][0].raw, Utf16Le(u"\U0001F600 astral"));  // low byte 0x00 in U+DE00: never compressed
  // How each is stored: compressed (0xFF 0xFE, one byte a character) only
  // where the column allows it and it saves space.
  const auto& packed_ascii = t.rows[3][0].raw;
  EXPECT_EQ(packed_ascii.size(), 2u + 255u);
  EXPECT_EQ(packed_ascii.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(t.rows[3][1].raw.size(), 510u);
  EXPECT_EQ(t.rows[2][0].raw.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(t.rows[1][0].raw.size(), 8u);    // plain UTF-16
  EXPECT_EQ(t.rows[4][0].raw.size(), 510u);
  EXPECT_EQ(t.rows[5][0].raw.size(), 4u);
  EXPECT_EQ(t.rows[7][0].raw, std::string("a\0", 2));
  EXPECT_TRUE(t.rows[0][0].raw.empty());

  // The column definitions carry the Unicode compression flag, and the
  // properties say so for Access.
  auto [status, props] = Shell("mdb-prop " + Quoted(path) + " Texts");
  EXPECT_NE(props.find("name: Packed\n\tAllowZeroLength: yes\n\tUnicodeCompression: yes"), std::string::npos) << props;
  EXPECT_NE(props.find("name: Plain\n\tAllowZeroLength: yes\n\tUnicodeCompression: no"), std::string::npos) << props;
}

TEST(JetWriterValues, MemosInlineOnOnePageAndChained) {
  TempDir dir;
  const std::string path = dir.File("memo.mdb");
  const std::string inline_memo = "a short note";
  const std::string single_page = Repeat("0123456789", 300);  // 3000 characters, 6000 bytes: chained
  const std::string one_row = Repeat("x", 1000);              // compressed: 1002 bytes, one row
  const std::string chained = Repeat("长备注", 4000);          // 12000 characters, 24 KB
  const std::string ascii_big = Repeat("memo ", 4000);         // 20000 characters, 40 KB
  const std::string at_limit = Repeat("y", 62);                // 64 bytes compressed: still inline
  const std::string past_limit = Repeat("y", 63);              // 65 bytes: out of the row
  const std::vector<std::string> values = {inline_memo, single_page, one_row, chained, ascii_big,
                                           at_limit,    past_limit,  ""};
  {
    Writer w(path);
    w.BeginTable({"Memos", {Col("N", ColumnType::kLong), Col("Note", ColumnType::kMemo)}});
    for (std::size_t i = 0; i < values.size(); ++i) {
      w.AppendRow({Variant::I4(static_cast<std::int32_t>(i)), Variant::Text(values[i])});
    }
    w.AppendRow({Variant::I4(99), Variant::Null()});
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Memos");
  ASSERT_EQ(t.rows.size(), values.size() + 1);
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(t.rows[i][1].text, values[i]) << i;
  EXPECT_EQ(MemoForm(t.rows[0][1]), 0x80);
  EXPECT_EQ(MemoForm(t.rows[1][1]), 0x00);
  EXPECT_EQ(MemoForm(t.rows[2][1]), 0x40);
  EXPECT_EQ(MemoForm(t.rows[3][1]), 0x00);
  EXPECT_EQ(MemoForm(t.rows[4][1]), 0x00);
  EXPECT_EQ(MemoForm(t.rows[5][1]), 0x80);
  EXPECT_EQ(MemoForm(t.rows[6][1]), 0x40);
  EXPECT_EQ(MemoForm(t.rows[7][1]), 0x80);
  EXPECT_FALSE(t.rows[7][1].null);
  EXPECT_TRUE(t.rows[8][1].null);
  // Long memos are stored in full, as mdb-export reads them too.
  auto [status, csv] = Shell("mdb-export -H " + Quoted(path) + " Memos");
  EXPECT_NE(csv.find("3,\"" + chained + "\""), std::string::npos);
}

TEST(JetWriterValues, BinaryAndOleDataKeepEveryByte) {
  TempDir dir;
  const std::string path = dir.File("binary.mdb");
  const std::vector<std::string> binaries = {
      std::string("\x00\xFF\x10", 3),  // zero bytes are data
      ByteRun(16, 17),                   // the column's full length
      "",                                // empty, not null
      "AB",                              // given as text below
  };
  const std::vector<std::string> oles = {
      ByteRun(10),          // inline
      ByteRun(64, 3),       // the longest kept inline
      ByteRun(65),          // one long-value row
      ByteRun(1000, 7),     //
      ByteRun(4072),        // the most one row holds
      ByteRun(4073),        // chained over two pages
      ByteRun(10 * 1024, 5),
      ByteRun(100 * 1024, 11),
      "",
  };
  {
    Writer w(path);
    w.BeginTable({"Blobs", {Col("N", ColumnType::kLong), Col("Bin", ColumnType::kBinary, 16),
                            Col("Ole", ColumnType::kOle)}});
    for (std::size_t i = 0; i < oles.size(); ++i) {
      Variant bin = i < 3 ? Variant::Bytes(binaries[i]) : i == 3 ? Variant::Text("0x4142") : Variant::Null();
      // Text of hex digits, as the reader gives binary data, in either case.
      Variant ole = i == 1 ? Variant::Text("0X" + com::LowerHex(oles[i])) : Variant::Bytes(oles[i]);
      w.AppendRow({Variant::I4(static_cast<std::int32_t>(i)), bin, ole});
    }
    w.AppendRow({Variant::I4(99), Variant::Null(), Variant::Null()});
    w.EndTable();
    w.Finish();
  }
  auto [status, schema] = Shell("mdb-schema " + Quoted(path));
  EXPECT_NE(schema.find("[Bin]\t\t\tBinary"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[Ole]\t\t\tOLE"), std::string::npos) << schema;
  const Table t = ReadTable(path, "Blobs");
  ASSERT_EQ(t.rows.size(), oles.size() + 1);
  EXPECT_EQ(t.types[1], MDB_BINARY);
  EXPECT_EQ(t.types[2], MDB_OLE);
  // Binary values as the rows hold them (mdb-export stops at a zero byte).
  for (std::size_t i = 0; i < binaries.size(); ++i) {
    EXPECT_FALSE(t.rows[i][1].null) << i;
    EXPECT_EQ(t.rows[i][1].raw, binaries[i]) << i;
  }
  for (std::size_t i = binaries.size(); i < t.rows.size(); ++i) EXPECT_TRUE(t.rows[i][1].null) << i;
  // OLE data as mdb-export reads it through its long-value pages.
  const std::vector<std::string> exported = ExportedColumn(path, "Blobs", 2);
  ASSERT_EQ(exported.size(), oles.size() + 1);
  for (std::size_t i = 0; i < oles.size(); ++i) {
    EXPECT_EQ(exported[i], UpperHex(oles[i])) << i;
    EXPECT_FALSE(t.rows[i][2].null) << i;
  }
  EXPECT_TRUE(t.rows[oles.size()][2].null);
  const int forms[] = {0x80, 0x80, 0x40, 0x40, 0x40, 0x00, 0x00, 0x00, 0x80};
  for (std::size_t i = 0; i < oles.size(); ++i) EXPECT_EQ(MemoForm(t.rows[i][2]), forms[i]) << i;
}

TEST(JetWriterValues, DecimalsKeepEveryDigit) {
  TempDir dir;
  const std::string path = dir.File("decimal.mdb");
  {
    Writer w(path);
    w.BeginTable({"Amounts", {DecimalCol("Whole", 28, 0), DecimalCol("Fine", 28, 4), DecimalCol("Fraction", 5, 5),
                              DecimalCol("Digit", 1, 0)}});
    const std::vector<std::vector<Variant>> rows = {
        {Variant::Decimal("9999999999999999999999999999"), Variant::Decimal("-12.5"), Variant::Decimal("0.12345"),
         Variant::Decimal("9")},
        {Variant::Decimal("-9999999999999999999999999999"), Variant::Decimal("123456789012345678901234.5678"),
         Variant::Decimal("-0.00001"), Variant::Decimal("-9")},
        {Variant::Decimal("0"), Variant::Decimal("-0.0001"), Variant::Decimal("0.00000"), Variant::I4(0)},
        // Integers and currency; trailing zeros beyond the scale are no digits.
        {Variant::I8(-4294967296LL), Variant::Currency(-12345), Variant::Currency(1000), Variant::Decimal("3.000")},
        {Variant::UI1(255), Variant::Decimal("4294967296.0001"), Variant::Null(), Variant::Null()},
    };
    for (const auto& r : rows) w.AppendRow(r);
    w.EndTable();
    w.Finish();
  }
  auto [status, schema] = Shell("mdb-schema " + Quoted(path));
  EXPECT_NE(schema.find("[Whole]\t\t\tNumeric (28, 0)"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[Fine]\t\t\tNumeric (28, 4)"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[Fraction]\t\t\tNumeric (5, 5)"), std::string::npos) << schema;
  const Table t = ReadTable(path, "Amounts");
  ASSERT_EQ(t.rows.size(), 5u);
  // libmdb prints a decimal with all the digits of its scale.
  const std::vector<std::vector<std::string>> expected = {
      {"9999999999999999999999999999", "-12.5000", "0.12345", "9"},
      {"-9999999999999999999999999999", "123456789012345678901234.5678", "-0.00001", "-9"},
      {"0", "-0.0001", "0.00000", "0"},
      {"-4294967296", "-1.2345", "0.10000", "3"},
      {"255", "4294967296.0001", "", ""},
  };
  for (std::size_t r = 0; r < expected.size(); ++r) {
    for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(t.rows[r][c].text, expected[r][c]) << r << " " << c;
  }
  EXPECT_TRUE(t.rows[4][2].null);
  // Stored as a sign byte and four 32-bit words, the most significant first.
  const std::string raw = t.rows[3][0].raw;
  ASSERT_EQ(raw.size(), 17u);
  EXPECT_EQ(raw, std::string("\x80\0\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0", 17));
}

TEST(JetWriterValues, MemosMoveOutOfRowsThatWouldNotFit) {
  TempDir dir;
  const std::string path = dir.File("wide.mdb");
  std::vector<ColumnDefinition> columns;
  std::vector<Variant> row;
  for (int i = 0; i < 80; ++i) {
    columns.push_back(Col("M" + std::to_string(i), ColumnType::kMemo));
    row.push_back(Variant::Text(std::string(60, static_cast<char>('A' + i % 26))));
  }
  {
    Writer w(path);
    w.BeginTable({"Wide", columns});
    w.AppendRow(row);
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Wide");
  ASSERT_EQ(t.rows.size(), 1u);
  int inline_count = 0;
  for (std::size_t i = 0; i < row.size(); ++i) {
    EXPECT_EQ(t.rows[0][i].text, row[i].text()) << i;
    if (MemoForm(t.rows[0][i]) == 0x80) ++inline_count;
  }
  EXPECT_GT(inline_count, 0);
  EXPECT_LT(inline_count, 80);
}

TEST(JetWriterValues, RowsTooLargeForAPageAreRefusedAndTheTableGoesOn) {
  TempDir dir;
  const std::string path = dir.File("toolarge.mdb");
  std::vector<ColumnDefinition> columns;
  for (int i = 0; i < 9; ++i) columns.push_back(Col("T" + std::to_string(i), ColumnType::kText, 255, false, false));
  Writer w(path);
  w.BeginTable({"Big", columns});
  std::vector<Variant> small(9, Variant::Text("ok"));
  std::vector<Variant> huge(9, Variant::Text(std::string(255, 'z')));  // 9 x 510 bytes
  w.AppendRow(small);
  const std::string e = ErrorOf([&] { w.AppendRow(huge); });
  EXPECT_NE(e.find("'Big'"), std::string::npos) << e;
  EXPECT_NE(e.find("row 2"), std::string::npos) << e;
  EXPECT_NE(e.find("more than the 4080 a Jet page holds"), std::string::npos) << e;
  w.AppendRow(small);
  ExpectOnlyAcceptedRows(w, path, "Big", 2);
}

TEST(JetWriterValues, RequiredColumnsAreMarkedForAccess) {
  TempDir dir;
  const std::string path = dir.File("required.mdb");
  {
    Writer w(path);
    w.BeginTable({"部门", {Col("编号", ColumnType::kLong, 255, true), Col("名称", ColumnType::kText, 10, true),
                         Col("备注", ColumnType::kMemo)}});
    w.AppendRow({Variant::I4(1), Variant::Text("销售部"), Variant::Null()});
    w.EndTable();
    w.Finish();
  }
  auto [status, schema] = Shell("mdb-schema " + Quoted(path));
  EXPECT_NE(schema.find("[编号]\t\t\tLong Integer NOT NULL"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[名称]\t\t\tText (10) NOT NULL"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[备注]\t\t\tMemo/Hyperlink (255)\n"), std::string::npos) << schema;
  const Table t = ReadTable(path, "部门");
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0][1].text, "销售部");
}

// ------------------------------------------------------- file structure

TEST(JetWriterFile, HeaderAndPassword) {
  TempDir dir;
  for (const std::string password : {"", "password", "密码Pa55", "12345678901234567890"}) {
    const std::string path = dir.File("pw.mdb");
    {
      Writer w(path, {.password = password});
      w.BeginTable({"T", {Col("A", ColumnType::kLong)}});
      w.EndTable();
      w.Finish();
    }
    std::string page = ReadFile(path).substr(0, 4096);
    EXPECT_EQ(page.substr(4, 16), std::string("Standard Jet DB\0", 16));
    EXPECT_EQ(page[0x14], 0x01);  // Jet 4
    jet::Rc4(jet::kHeaderKey, reinterpret_cast<unsigned char*>(&page[0x18]), 128);
    EXPECT_EQ(Le16(page, 0x3C), 1252);       // code page
    EXPECT_EQ(Le16(page, 0x6E), 0x0409);     // sort order: General
    const double created = LeDouble(page, 0x72);
    EXPECT_GT(created, Ole(2000, 1, 1));
    EXPECT_LT(created, Ole(2010, 1, 1));
    std::uint8_t mask[4];
    jet::wr::Store32(mask, static_cast<std::uint32_t>(static_cast<std::int32_t>(created)));
    std::u16string decoded;
    for (std::size_t i = 0; i < 40; i += 2) {
      const auto lo = static_cast<std::uint8_t>(page[0x42 + i] ^ mask[i % 4]);
      const auto hi = static_cast<std::uint8_t>(page[0x43 + i] ^ mask[(i + 1) % 4]);
      decoded.push_back(static_cast<char16_t>(lo | hi << 8));
    }
    std::u16string expected;
    ASSERT_TRUE(jet::Utf8ToUtf16(password, &expected));
    expected.resize(20, u'\0');  // unused characters are zero before the mask
    EXPECT_EQ(decoded, expected) << password;
    auto [status, version] = Shell("mdb-ver " + Quoted(path));
    EXPECT_EQ(version, "JET4\n");
  }
}

// Reads an index through its pages: the entries of the leaves in order,
// each as key and row address. Node pages must repeat the last entry of
// each child.
std::vector<std::string> WalkIndex(const std::string& file, std::uint32_t page, int depth = 0) {
  EXPECT_LT(depth, 8);
  const std::string p = file.substr(static_cast<std::size_t>(page) * 4096, 4096);
  const int type = p[0];
  EXPECT_TRUE(type == 0x03 || type == 0x04) << page;
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (std::size_t bit = 1; bit < (0x1E0 - 0x1B) * 8; ++bit) {
    if ((static_cast<unsigned char>(p[0x1B + bit / 8]) >> (bit % 8)) & 1) {
      entries.push_back(p.substr(0x1E0 + start, bit - start));
      start = bit;
    }
  }
  EXPECT_EQ(Le16(p, 2), 4096 - 0x1E0 - start) << "free space of index page " << page;
  if (type == 0x04) return entries;
  std::vector<std::string> out;
  for (const auto& e : entries) {
    const std::uint32_t child = static_cast<std::uint32_t>(static_cast<unsigned char>(e[e.size() - 4])) << 24 |
                                static_cast<std::uint32_t>(static_cast<unsigned char>(e[e.size() - 3])) << 16 |
                                static_cast<std::uint32_t>(static_cast<unsigned char>(e[e.size() - 2])) << 8 |
                                static_cast<unsigned char>(e[e.size() - 1]);
    auto below = WalkIndex(file, child, depth + 1);
    EXPECT_FALSE(below.empty());
    if (!below.empty()) {
      EXPECT_EQ(below.back(), e.substr(0, e.size() - 4));
    }
    out.insert(out.end(), below.begin(), below.end());
  }
  return out;
}

struct CatalogIndexes {
  std::map<std::string, std::uint32_t> roots;  // index name -> root page
};

CatalogIndexes ReadObjectsIndexes(const std::string& path) {
  CatalogIndexes out;
  std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  mdb_read_catalog(mdb.get(), MDB_ANY);
  std::unique_ptr<MdbTableDef, TableDefFree> t(
      mdb_read_table_by_name(mdb.get(), const_cast<gchar*>("MSysObjects"), MDB_TABLE));
  mdb_read_columns(t.get());
  mdb_read_indices(t.get());
  for (unsigned i = 0; i < t->num_idxs; ++i) {
    auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(t->indices, i));
    out.roots[idx->name] = idx->first_pg;
  }
  return out;
}

// Checks both catalog indexes of MSysObjects against its rows: every row
// once, in key order, each entry pointing at its row.
void CheckCatalogIndexes(const std::string& path, std::size_t expected_rows) {
  const std::string file = ReadFile(path);
  const CatalogIndexes indexes = ReadObjectsIndexes(path);
  ASSERT_EQ(indexes.roots.size(), 2u);
  ASSERT_TRUE(indexes.roots.count("Id"));
  ASSERT_TRUE(indexes.roots.count("ParentIdName"));

  // Rows of MSysObjects by address: Id, ParentId.
  std::map<std::uint32_t, std::pair<std::int32_t, std::int32_t>> rows;
  for (std::uint32_t page = 0; page < file.size() / 4096; ++page) {
    const std::string p = file.substr(page * 4096, 4096);
    if (p[0] != 0x01 || Le32(p, 4) != 2) continue;
    for (std::uint32_t r = 0; r < Le16(p, 12); ++r) {
      const std::size_t at = Le16(p, 14 + 2 * r);
      rows[page << 8 | r] = {static_cast<std::int32_t>(Le32(p, at + 2)), static_cast<std::int32_t>(Le32(p, at + 6))};
    }
  }
  ASSERT_EQ(rows.size(), expected_rows);
  auto address = [](const std::string& e) {
    const auto b = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(e[e.size() - k])); };
    return (b(4) << 16 | b(3) << 8 | b(2)) << 8 | b(1);
  };
  auto key_long = [](const std::string& e, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = v << 8 | static_cast<unsigned char>(e[at + k]);
    return static_cast<std::int32_t>(v ^ 0x80000000u);
  };
  for (const char* name : {"Id", "ParentIdName"}) {
    const auto entries = WalkIndex(file, indexes.roots.at(name));
    ASSERT_EQ(entries.size(), expected_rows) << name;
    std::set<std::uint32_t> seen;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i > 0) {
        EXPECT_LT(entries[i - 1], entries[i]) << name << " " << i;
      }
      const std::uint32_t at = address(entries[i]);
      ASSERT_TRUE(rows.count(at)) << name;
      seen.insert(at);
      const std::int32_t key = key_long(entries[i], 1);
      EXPECT_EQ(key, std::string(name) == "Id" ? rows[at].first : rows[at].second) << name;
    }
    EXPECT_EQ(seen.size(), expected_rows) << name;
  }
}

TEST(JetWriterFile, CatalogListsTablesAsAccessDoes) {
  TempDir dir;
  const std::string path = dir.File("catalog.mdb");
  {
    Writer w(path);
    w.BeginTable({"Depart", {Col("DepID", ColumnType::kLong), Col("Name", ColumnType::kText, 50)}});
    w.AppendRow({Variant::I4(1), Variant::Text("Sales")});
    w.EndTable();
    w.BeginTable({"Goods", {Col("Code", ColumnType::kText, 20), Col("Price", ColumnType::kCurrency)}});
    w.EndTable();
    w.Finish();
  }
  EXPECT_EQ(UserTables(path), (std::vector<std::string>{"Depart", "Goods"}));
  auto [s1, system] = Shell("mdb-tables -S -1 " + Quoted(path));
  EXPECT_EQ(system, "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\nDepart\nGoods\n");

  const Table objects = ReadTable(path, "MSysObjects");
  std::map<std::string, std::vector<Cell>> by_name;
  for (const auto& r : objects.rows) by_name[r[2].text] = r;
  for (const char* name : {"Tables", "Databases", "Relationships", "MSysDb", "MSysObjects", "MSysACEs",
                           "MSysQueries", "MSysRelationships", "SummaryInfo", "UserDefined", "Forms", "Reports",
                           "Scripts", "Modules", "SysRel", "DataAccessPages", "Depart", "Goods"}) {
    EXPECT_TRUE(by_name.count(name)) << name;
  }
  EXPECT_EQ(objects.rows.size(), 18u);
  EXPECT_EQ(by_name["MSysObjects"][0].text, "2");
  EXPECT_EQ(by_name["Tables"][0].text, "251658241");
  EXPECT_EQ(by_name["MSysObjects"][7].text, "-2147483648");  // system object
  for (const char* name : {"Depart", "Goods"}) {
    const auto& r = by_name[name];
    EXPECT_EQ(r[1].text, "251658241") << name;  // in the Tables container
    EXPECT_EQ(r[3].text, "1") << name;          // a local table
    EXPECT_EQ(r[7].text, "0") << name;
    EXPECT_EQ(r[6].raw, by_name["MSysDb"][6].raw) << name;  // owned by Admin
    // The id is the page of the table's definition.
    const std::string file = ReadFile(path);
    const std::size_t page = std::stoul(r[0].text);
    EXPECT_EQ(file[page * 4096], 0x02) << name;
  }
  // Each user table gets the three ACEs Access gives a new table.
  const Table aces = ReadTable(path, "MSysACEs");
  std::map<std::string, int> per_object;
  for (const auto& r : aces.rows) ++per_object[r[0].text];
  EXPECT_EQ(per_object[by_name["Depart"][0].text], 3);
  EXPECT_EQ(per_object[by_name["Goods"][0].text], 3);
  EXPECT_EQ(Table(ReadTable(path, "MSysQueries")).rows.size(), 0u);
  EXPECT_EQ(Table(ReadTable(path, "MSysRelationships")).rows.size(), 0u);
  CheckCatalogIndexes(path, 18);
}

TEST(JetWriterFile, ManyTablesNeedCatalogIndexNodes) {
  TempDir dir;
  const std::string path = dir.File("many.mdb");
  const int kTables = 400;  // the catalog indexes outgrow one page
  {
    Writer w(path);
    for (int i = 0; i < kTables; ++i) {
      w.BeginTable({"Table with a rather long name " + std::to_string(i), {Col("A", ColumnType::kByte)}});
      w.AppendRow({Variant::UI1(static_cast<std::uint8_t>(i % 256))});
      w.EndTable();
    }
    w.Finish();
  }
  const auto tables = UserTables(path);
  ASSERT_EQ(tables.size(), static_cast<std::size_t>(kTables));
  CheckCatalogIndexes(path, 16 + kTables);
  const std::string file = ReadFile(path);
  const auto roots = ReadObjectsIndexes(path).roots;
  EXPECT_EQ(file[roots.at("ParentIdName") * 4096], 0x03);  // a node page
  const Table t = ReadTable(path, "Table with a rather long name 399");
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0][0].text, std::to_string(399 % 256));
}

// The system tables' definitions as a real Access 2000 file has them (page
// numbers aside) and the same header when there is no password.
TEST(JetWriterFile, SystemTablesMatchAnAccess2000File) {
  const std::string access = testing_support::JetTestDataDir() + "/V2000_test.mdb";
  if (!std::filesystem::exists(access)) GTEST_SKIP() << "no Access 2000 sample at " << access;
  TempDir dir;
  const std::string path = dir.File("system.mdb");
  {
    Writer w(path);
    w.Finish();
  }
  const std::string ours = ReadFile(path);
  const std::string theirs = ReadFile(access);
  EXPECT_EQ(ours.substr(0, 4096), theirs.substr(0, 4096));
  // Bytes allowed to differ: row counts (header and index entries), and
  // bytes Access leaves uninitialised (column offsets of variable columns,
  // order flags of unused index columns).
  const std::map<int, std::set<std::size_t>> differ = {
      {2, {16, 67, 79}},
      {3, {16, 67, 171, 250, 262, 265, 277, 279}},
      {4, {122, 197, 222, 272, 415, 421, 427, 439, 441}},
      {5, {}},
  };
  for (const auto& [page, allowed] : differ) {
    for (std::size_t i = 0; i < 4096; ++i) {
      const std::size_t at = static_cast<std::size_t>(page) * 4096 + i;
      if (allowed.count(i)) continue;
      EXPECT_EQ(ours[at], theirs[at]) << "page " << page << " offset " << i;
    }
  }
}

TEST(JetWriterFile, ManyColumnsSpanDefinitionPages) {
  TempDir dir;
  const std::string path = dir.File("columns.mdb");
  std::vector<ColumnDefinition> columns;
  std::vector<Variant> row;
  for (int i = 0; i < 255; ++i) {
    if (i % 2 == 0) {
      columns.push_back(Col("LongColumnNumber" + std::to_string(i), ColumnType::kLong));
      row.push_back(Variant::I4(i * 1000));
    } else {
      columns.push_back(Col("TextColumnNumber" + std::to_string(i), ColumnType::kText, 5));
      row.push_back(Variant::Text("t" + std::to_string(i)));
    }
  }
  {
    Writer w(path);
    w.BeginTable({"Wide", columns});
    w.AppendRow(row);
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "Wide");
  ASSERT_EQ(t.columns.size(), 255u);
  ASSERT_EQ(t.rows.size(), 1u);
  for (std::size_t i = 0; i < 255; ++i) {
    EXPECT_EQ(t.columns[i], columns[i].name);
    EXPECT_EQ(t.rows[0][i].text, i % 2 == 0 ? std::to_string(i * 1000) : "t" + std::to_string(i));
  }
}

TEST(JetWriterFile, LargeTableUsesAReferenceUsageMap) {
  TempDir dir;
  const std::string path = dir.File("large.mdb");
  const int kRows = 300000;  // about 2000 data pages: past an inline map
  {
    Writer w(path);
    w.BeginTable({"Small", {Col("A", ColumnType::kBoolean)}});  // 255 rows a page
    for (int i = 0; i < 1000; ++i) w.AppendRow({Variant::Bool(i % 3 == 0)});
    w.EndTable();
    w.BeginTable({"Large", {Col("N", ColumnType::kLong), Col("B", ColumnType::kByte)}});
    std::vector<Variant> row(2);
    for (int i = 0; i < kRows; ++i) {
      row[0].SetInteger(com::VarType::kI4, i);
      row[1].SetInteger(com::VarType::kUI1, i % 251);
      w.AppendRow(row);
    }
    w.EndTable();
    w.Finish();
  }
  const Table large = ReadTable(path, "Large");
  EXPECT_EQ(large.map_type, 1);
  EXPECT_EQ(large.declared_rows, kRows);
  ASSERT_EQ(large.rows.size(), static_cast<std::size_t>(kRows));
  long long sum = 0;
  bool in_order = true;
  for (int i = 0; i < kRows; ++i) {
    const auto& r = large.rows[static_cast<std::size_t>(i)];
    sum += std::stoll(r[0].text);
    if (r[0].text != std::to_string(i) || r[1].text != std::to_string(i % 251)) in_order = false;
  }
  EXPECT_TRUE(in_order);
  EXPECT_EQ(sum, static_cast<long long>(kRows) * (kRows - 1) / 2);

  const Table small = ReadTable(path, "Small");
  EXPECT_EQ(small.map_type, 0);
  ASSERT_EQ(small.rows.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(small.rows[static_cast<std::size_t>(i)][0].text, i % 3 == 0 ? "1" : "0") << i;
  }
}

TEST(JetWriterFile, ReferenceUsageMapSpansSeveralBitmapPages) {
  TempDir dir;
  jet::wr::PageFile file(dir.File("map.bin"));
  file.Allocate(70000);  // sparse: only the bitmap pages are written
  jet::wr::PageSet pages;
  for (std::uint32_t p : {20u, 32735u, 32736u, 65000u, 65472u, 69999u}) pages.Add(p);
  const jet::wr::Bytes row = jet::wr::BuildUsageMap(pages, &file);
  ASSERT_EQ(row.size(), 69u);
  EXPECT_EQ(row[0], 1);
  const std::uint32_t first = Le32(std::string(row.begin(), row.end()), 1);
  const std::uint32_t second = Le32(std::string(row.begin(), row.end()), 5);
  const std::uint32_t third = Le32(std::string(row.begin(), row.end()), 9);
  EXPECT_EQ(Le32(std::string(row.begin(), row.end()), 13), 0u);
  file.Commit();
  const std::string data = ReadFile(dir.File("map.bin"));
  std::vector<std::uint32_t> found;
  for (std::uint32_t k = 0; k < 3; ++k) {
    const std::uint32_t bitmap = std::vector<std::uint32_t>{first, second, third}[k];
    ASSERT_GE(bitmap, 70000u);
    const std::string p = data.substr(static_cast<std::size_t>(bitmap) * 4096, 4096);
    EXPECT_EQ(p[0], 0x05);
    for (std::uint32_t i = 0; i < 4092 * 8; ++i) {
      if ((static_cast<unsigned char>(p[4 + i / 8]) >> (i % 8)) & 1) found.push_back(k * 4092 * 8 + i);
    }
  }
  EXPECT_EQ(found, (std::vector<std::uint32_t>{20, 32735, 32736, 65000, 65472, 69999}));
}

TEST(JetWriterFile, EmptyTablesAndTablesWithoutRows) {
  TempDir dir;
  const std::string path = dir.File("empty.mdb");
  {
    Writer w(path);
    w.BeginTable({"NoRows", {Col("A", ColumnType::kText, 10), Col("M", ColumnType::kMemo)}});
    w.EndTable();
    w.Finish();
  }
  const Table t = ReadTable(path, "NoRows");
  EXPECT_EQ(t.declared_rows, 0);
  EXPECT_TRUE(t.rows.empty());
  auto [status, csv] = Shell("mdb-export " + Quoted(path) + " NoRows");
  EXPECT_EQ(csv, "A,M\n");
}

// ------------------------------------------------------------ validation

TEST(JetWriterValidation, BeginTable) {
  TempDir dir;
  Writer w(dir.File("v.mdb"));
  const std::vector<ColumnDefinition> one = {Col("A", ColumnType::kLong)};
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"", one}); }).find("name is empty"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"bad\xFF", one}); }).find("not valid UTF-8"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({std::string(65, 'n'), one}); }).find("longer than 64"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({Repeat("表", 65), one}); }).find("longer than 64"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"msysObjects", one}); }).find("already exists"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {}}); }).find("'T' has no columns"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("A", ColumnType::kLong), Col("a", ColumnType::kByte)}}); })
                .find("column 'a': duplicate column name"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("", ColumnType::kLong)}}); }).find("column name is empty"),
            std::string::npos);
  EXPECT_EQ(ErrorOf([&] { w.BeginTable({"T", {Col("\xC3", ColumnType::kLong)}}); }),
            "Jet table 'T': a column name is not valid UTF-8 text");
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col(std::string(65, 'c'), ColumnType::kLong)}}); })
                .find("longer than 64"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("A", ColumnType::kText, 0)}}); })
                .find("column 'A': text length 0 is outside 1 to 255"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("A", ColumnType::kText, 256)}}); }).find("text length 256"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("A", static_cast<ColumnType>(0x0D))}}); })
                .find("unknown column type 13"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("A", ColumnType::kBinary, 0)}}); })
                .find("column 'A': binary length 0 is outside 1 to 255"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {Col("A", ColumnType::kBinary, 256)}}); }).find("binary length 256"),
            std::string::npos);
  for (auto [precision, scale] : {std::pair{0, 0}, {29, 0}, {10, 11}, {10, -1}}) {
    EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", {DecimalCol("D", precision, scale)}}); })
                  .find("column 'D': decimal precision " + std::to_string(precision) + " and scale " +
                        std::to_string(scale) + " are outside"),
              std::string::npos)
        << precision << "," << scale;
  }
  for (const auto& c : {Col("X", ColumnType::kBinary, 8), Col("X", ColumnType::kOle), DecimalCol("X", 10, 2)}) {
    EXPECT_NE(ErrorOf([&] {
                w.BeginTable({"T", {c}, {jet::IndexDefinition{"ByX", {{"X"}}}}});
              }).find("index 'ByX': column 'X' is a " + std::string(jet::ColumnTypeName(c.type)) +
                      ", which the writer does not index"),
              std::string::npos);
  }
  std::vector<ColumnDefinition> too_many;
  for (int i = 0; i < 256; ++i) too_many.push_back(Col("C" + std::to_string(i), ColumnType::kByte));
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"T", too_many}); }).find("at most 255"), std::string::npos);

  w.BeginTable({"Depart", one});
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"Other", one}); }).find("'Depart' is still open"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.Finish(); }).find("'Depart' is still open"), std::string::npos);
  w.EndTable();
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"DEPART", one}); }).find("already exists"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.EndTable(); }).find("no table is open"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.AppendRow({Variant::I4(1)}); }).find("no table is open"), std::string::npos);
  // Text length limits apply to text columns only; 64 characters is fine.
  w.BeginTable({Repeat("表", 64), {Col("M", ColumnType::kMemo, 0)}});
  w.EndTable();
  w.Finish();
  EXPECT_NE(ErrorOf([&] { w.BeginTable({"Late", one}); }).find("already finished"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.Finish(); }).find("already finished"), std::string::npos);
}

TEST(JetWriterValidation, AppendRowNamesTableRowAndColumn) {
  TempDir dir;
  const std::string path = dir.File("v.mdb");
  Writer w(path);
  w.BeginTable({"Goods",
                {Col("Flag", ColumnType::kBoolean), Col("Small", ColumnType::kByte), Col("Int", ColumnType::kInteger),
                 Col("Big", ColumnType::kLong), Col("Money", ColumnType::kCurrency),
                 Col("Float", ColumnType::kSingle), Col("Real", ColumnType::kDouble),
                 Col("When", ColumnType::kDateTime), Col("Code", ColumnType::kText, 4, true),
                 Col("Note", ColumnType::kMemo)}});
  const std::vector<Variant> good = {Variant::Bool(true), Variant::UI1(1),  Variant::I2(1),
                                     Variant::I4(1),      Variant::Currency(1), Variant::R4(1),
                                     Variant::R8(1),      Variant::Date(1), Variant::Text("代码"),
                                     Variant::Text("n")};
  w.AppendRow(good);
  auto with = [&](std::size_t column, const Variant& v) {
    auto row = good;
    row[column] = v;
    return ErrorOf([&] { w.AppendRow(row); });
  };
  EXPECT_EQ(ErrorOf([&] { w.AppendRow({Variant::I4(1)}); }), "Jet table 'Goods', row 2: expected 10 values, got 1");
  EXPECT_EQ(with(8, Variant::Null()),
            "Jet table 'Goods', row 2, column 'Code': a value is required (the column does not accept null)");
  EXPECT_EQ(with(3, Variant::Text("1")), "Jet table 'Goods', row 2, column 'Big': a value of type str cannot be stored in a column of type Long");
  EXPECT_NE(with(0, Variant::R8(1)).find("column 'Flag': a value of type r8 cannot be stored in a column of type Yes/No"), std::string::npos);
  EXPECT_NE(with(1, Variant::Bool(true)).find("column 'Small': a value of type bool cannot be stored"), std::string::npos);
  EXPECT_NE(with(1, Variant::I4(256)).find("column 'Small': value 256 is out of range for a Byte column (0 to 255)"),
            std::string::npos);
  EXPECT_NE(with(1, Variant::I4(-1)).find("value -1 is out of range"), std::string::npos);
  EXPECT_NE(with(2, Variant::I4(32768)).find("column 'Int': value 32768 is out of range"), std::string::npos);
  EXPECT_NE(with(2, Variant::R8(1)).find("a value of type r8 cannot be stored in a column of type Integer"), std::string::npos);
  EXPECT_NE(with(3, Variant::I8(2147483648LL)).find("value 2147483648 is out of range"), std::string::npos);
  EXPECT_NE(with(4, Variant::I8(std::numeric_limits<std::int64_t>::max())).find("column 'Money'"), std::string::npos);
  EXPECT_NE(with(4, Variant::R8(1.5)).find("a value of type r8 cannot be stored in a column of type Currency"), std::string::npos);
  EXPECT_NE(with(5, Variant::R8(1e39)).find("column 'Float': value 1e+39 is out of range"), std::string::npos);
  EXPECT_NE(with(5, Variant::Currency(1)).find("a value of type cy cannot be stored"), std::string::npos);
  EXPECT_NE(with(6, Variant::R8(std::nan(""))).find("column 'Real': value is not a finite number"), std::string::npos);
  EXPECT_NE(with(6, Variant::R8(INFINITY)).find("not a finite number"), std::string::npos);
  EXPECT_NE(with(6, Variant::Date(1)).find("a value of type date cannot be stored in a column of type Double"), std::string::npos);
  EXPECT_NE(with(7, Variant::R8(1)).find("column 'When': a value of type r8 cannot be stored in a column of type Date/Time"),
            std::string::npos);
  EXPECT_NE(with(7, Variant::Date(Ole(99, 12, 31))).find("outside the years 100 to 9999"), std::string::npos);
  EXPECT_NE(with(7, Variant::Date(Ole(10000, 1, 1))).find("outside the years 100 to 9999"), std::string::npos);
  EXPECT_NE(with(8, Variant::I4(1)).find("column 'Code': a value of type i4 cannot be stored in a column of type Text"), std::string::npos);
  EXPECT_NE(with(8, Variant::Text("abcde")).find("column 'Code': text of 5 characters is longer than the column's 4"),
            std::string::npos);
  EXPECT_NE(with(8, Variant::Text("一二三四五")).find("text of 5 characters"), std::string::npos);
  EXPECT_NE(with(8, Variant::Text("ab\xC0\x80")).find("column 'Code': the text is not valid UTF-8"), std::string::npos);
  EXPECT_NE(with(9, Variant::Text("\xED\xA0\x80")).find("column 'Note': the text is not valid UTF-8"), std::string::npos);
  EXPECT_NE(with(9, Variant()).find("column 'Note': a value of type empty cannot be stored in a column of type Memo"), std::string::npos);
  EXPECT_NE(with(9, Variant::Text(std::string(0x1000000, 'm'))).find("bytes this writer stores"), std::string::npos);
  // Every refused row left the table as it was.
  w.AppendRow(good);
  ExpectOnlyAcceptedRows(w, path, "Goods", 2);
}

TEST(JetWriterValidation, BinaryOleAndDecimalValuesAreCheckedNotCut) {
  TempDir dir;
  const std::string path = dir.File("v.mdb");
  Writer w(path);
  w.BeginTable({"Parts", {Col("Code", ColumnType::kBinary, 4), Col("Picture", ColumnType::kOle),
                          DecimalCol("Price", 6, 2)}});
  const std::vector<Variant> good = {Variant::Bytes("\x01\x02"), Variant::Bytes("pic"), Variant::Decimal("1.5")};
  w.AppendRow(good);
  auto with = [&](std::size_t column, const Variant& v) {
    auto row = good;
    row[column] = v;
    return ErrorOf([&] { w.AppendRow(row); });
  };
  EXPECT_EQ(with(0, Variant::Bytes("12345")), "Jet table 'Parts', row 2, column 'Code': 5 bytes are more than the column's 4");
  EXPECT_NE(with(0, Variant::Text("0x0102030405")).find("5 bytes are more than"), std::string::npos);
  EXPECT_NE(with(0, Variant::Text("ab")).find("column 'Code': text for a column of type Binary must be \"0x\" and hexadecimal digits"),
            std::string::npos);
  EXPECT_NE(with(0, Variant::Text("0x123")).find("hexadecimal digits, two a byte"), std::string::npos);
  EXPECT_NE(with(1, Variant::Text("0xZZ")).find("column 'Picture': text for a column of type OLE Object"), std::string::npos);
  EXPECT_NE(with(1, Variant::I4(1)).find("a value of type i4 cannot be stored in a column of type OLE Object"),
            std::string::npos);
  EXPECT_EQ(with(2, Variant::Decimal("1.234")),
            "Jet table 'Parts', row 2, column 'Price': value 1.234 has 3 digits after the point, more than the 2 of "
            "a decimal(6, 2) column");
  EXPECT_EQ(with(2, Variant::Decimal("-10000")),
            "Jet table 'Parts', row 2, column 'Price': value -10000 has more digits than a decimal(6, 2) column holds");
  EXPECT_NE(with(2, Variant::Currency(12345)).find("value 1.2345 has 4 digits after the point"), std::string::npos);
  // More digits than a number holds are refused, not rounded away.
  EXPECT_NE(with(2, Variant::Decimal("0." + std::string(39, '0') + "1")).find("has 40 digits after the point"),
            std::string::npos);
  EXPECT_NE(with(2, Variant::Decimal("1.5x")).find("'1.5x' is not a decimal number"), std::string::npos);
  EXPECT_NE(with(2, Variant::I8(10000)).find("value 10000 has more digits"), std::string::npos);
  EXPECT_NE(with(2, Variant::R8(1.5)).find("a value of type r8 cannot be stored in a column of type Decimal"),
            std::string::npos);
  EXPECT_NE(with(2, Variant::Text("1.5")).find("a value of type str cannot be stored in a column of type Decimal"),
            std::string::npos);
  // At the limits: 4 bytes, 4 + 2 digits, trailing zeros past the scale.
  w.AppendRow({Variant::Text("0xffFFffFF"), Variant::Bytes(""), Variant::Decimal("-9999.9900")});
  ExpectOnlyAcceptedRows(w, path, "Parts", 2);
  const Table t = ReadTable(path, "Parts");
  EXPECT_EQ(t.rows[1][0].raw, "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(t.rows[1][2].text, "-9999.99");
}

TEST(JetWriterValidation, Password) {
  TempDir dir;
  const std::string path = dir.File("p.mdb");
  std::ofstream(path) << "keep me";
  EXPECT_NE(ErrorOf([&] { Writer w(path, {.password = std::string(21, 'p')}); }).find("longer than 20"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { Writer w(path, {.password = "\xFF"}); }).find("not valid UTF-8"), std::string::npos);
  EXPECT_EQ(ReadFile(path), "keep me");  // refused before the file was touched
}

// -------------------------------------------------------------- lifetime

TEST(JetWriterLifetime, UnfinishedFilesAreRemoved) {
  TempDir dir;
  const std::string path = dir.File("partial.mdb");
  {
    Writer w(path);
    w.BeginTable({"T", {Col("A", ColumnType::kLong)}});
    w.AppendRow({Variant::I4(1)});
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    Writer w(path);
    w.BeginTable({"T", {Col("A", ColumnType::kLong)}});
    w.EndTable();
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    Writer w(path);
    w.Finish();
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_TRUE(UserTables(path).empty());
}

TEST(JetWriterLifetime, UnwritablePathRaises) {
  TempDir dir;
  const std::string e = ErrorOf([&] { Writer w(dir.File("missing/folder/x.mdb")); });
  EXPECT_NE(e.find("cannot create the file"), std::string::npos) << e;
}

}  // namespace
