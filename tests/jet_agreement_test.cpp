// Our Jet reader against mdb-export (mdbtools' own program, which shares no
// code with our reader): every value of every table, column by column, on
// a file the writer made with every column type, on the sample shop at two
// sizes, and on the files Access wrote (Jet 3 and Jet 4, with and without
// a password).
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "platform/com/datetime.h"
#include "platform/com/variant.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/oledb.h"
#include "platform/jet/reader.h"
#include "platform/jet/writer.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using com::Variant;
using com::VarType;
using jet::ColumnDefinition;
using jet::ColumnType;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using Rows = std::vector<std::vector<std::string>>;

// How mdb-export is asked to print: fields and rows ended by control
// characters no value here holds (so text may hold tabs and line breaks),
// nothing quoted, a null as kNull, binary and OLE data in hexadecimal,
// dates as "2026-12-09 08:30:00".
const std::string kFieldEnd = "\x1f";
const std::string kRowEnd = "\x1e";
const std::string kNull = "\x02";

// libmdb converts only dates from 1899-12-30 to 1e6 days after; for
// others it prints this impossible day, which says nothing of the value.
const std::string kUnconvertedDate = "1900-01-00 00:00:00";

// The parts of `s` between separators `sep`.
std::vector<std::string> Split(const std::string& s, const std::string& sep) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = s.find(sep, from)) != std::string::npos; from = at + sep.size()) {
    parts.push_back(s.substr(from, at - from));
  }
  parts.push_back(s.substr(from));
  return parts;
}

// A value for a failure message: null named, long values cut.
std::string Shown(const std::string& v) {
  if (v == kNull) return "NULL";
  if (v.size() <= 80) return "'" + v + "'";
  return "'" + v.substr(0, 80) + "...' (" + std::to_string(v.size()) + " characters)";
}

// The header line (column names) and the rows of a table as mdb-export
// prints them.
Rows MdbExport(const std::string& file, const std::string& table) {
  const auto r = RunCommand("mdb-export -Q -b hex -0 " + ShellQuote(kNull) + " -d " + ShellQuote(kFieldEnd) +
                            " -R " + ShellQuote(kRowEnd) + " -T '%Y-%m-%d %H:%M:%S' " + ShellQuote(file) + " " +
                            ShellQuote(table));
  if (r.exit_code != 0) throw std::runtime_error("mdb-export " + file + " " + table + ": " + r.err);
  Rows rows;
  std::vector<std::string> lines = Split(r.out, kRowEnd);
  if (!lines.empty() && lines.back().empty()) lines.pop_back();  // each row ends with kRowEnd
  for (const std::string& line : lines) rows.push_back(Split(line, kFieldEnd));
  return rows;
}

std::string Printf(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

std::string UpperAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}

// A value as mdb-export prints the same value. Only presentation differs:
// mdb-export prints a Single to 8 significant digits and a Double to 16
// ("%.8g", "%.16g"), currency with its four decimals, a decimal with all
// the digits of its scale, Yes/No as 1/0, and binary data in upper-case
// hex without the "0x" our reader puts first.
std::string AsMdbExportPrints(const Variant& v, const dts::ColumnInfo& column) {
  switch (v.type()) {
    case VarType::kNull:
      return kNull;
    case VarType::kBool:
      return v.integer() != 0 ? "1" : "0";
    case VarType::kUI1:
    case VarType::kI2:
    case VarType::kI4:
    case VarType::kI8:
      return std::to_string(v.integer());
    case VarType::kCurrency:
      return com::FormatCurrency(v.integer());
    case VarType::kR4:
      return Printf("%.8g", static_cast<float>(v.real()));
    case VarType::kR8:
      return Printf("%.16g", v.real());
    case VarType::kDate: {
      const com::CivilTime t = com::CivilFromOleDate(v.real());
      char buf[32];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                    t.second);
      return buf;
    }
    case VarType::kDecimal:
      return v.text();
    case VarType::kBytes:
      return com::FormatBytes(v.text()).substr(2);
    case VarType::kText:
      if (column.type == dts::DBTYPE_BYTES && v.text().starts_with("0x")) return UpperAscii(v.text().substr(2));
      return v.text();
    default:
      return "<" + std::string(com::VarTypeName(v.type())) + ">";
  }
}

std::string WithoutDashes(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '-'), s.end());
  return s;
}

// Whether our value (as AsMdbExportPrints gives it) is what mdb-export
// printed, where two more things are presentation: mdb-export prints an
// empty text or binary value as it prints a null; and it prints a
// Replication ID as the hexadecimal of libmdb's text for it, which has no
// dash between the last two groups of digits.
bool Agrees(const std::string& ours, const std::string& printed, const dts::ColumnInfo& column) {
  if (ours == printed) return true;
  if (ours.empty() && printed == kNull) return true;
  if (column.type == dts::DBTYPE_GUID && printed != kNull) {
    std::string text;
    return dts::ParseHexBytes(printed, &text) && WithoutDashes(ours) == WithoutDashes(text);
  }
  return false;
}

// Expects every value of `table` as our reader reads it from `db` (the
// file `file`) to be what mdb-export prints. Failures name the file, the
// table, the row (counting from 1) and the column. `written`, when given,
// holds the rows the test wrote: each value is checked against them too,
// and they stand in for mdb-export where it prints kUnconvertedDate.
// Returns the number of dates neither could check.
int ExpectAgreement(jet::Database& db, const std::string& file, const std::string& table,
                    const std::vector<std::vector<Variant>>* written = nullptr) {
  const std::string where = fs::path(file).filename().string() + ", table " + table;
  const Rows theirs = MdbExport(file, table);
  auto reader = db.Query("select * from [" + table + "]");
  const std::vector<dts::ColumnInfo>& columns = reader->columns();
  std::vector<std::string> names;
  for (const auto& c : columns) names.push_back(c.name);
  if (theirs.empty()) {
    ADD_FAILURE() << where << ": mdb-export printed nothing";
    return 0;
  }
  EXPECT_EQ(names, theirs[0]) << where << ": column names";
  int differences = 0, unchecked = 0;
  std::vector<int> by_column(columns.size());
  auto differ = [&](std::size_t row, std::size_t c, const std::string& ours, const std::string& expected,
                    const char* source) {
    ++by_column[c];
    if (++differences <= 20) {
      ADD_FAILURE() << where << ", row " << row + 1 << ", column " << columns[c].name << ": our reader gives "
                    << Shown(ours) << ", " << source << " " << Shown(expected);
    }
  };
  dts::Row row;
  std::size_t r = 0;
  for (; reader->Next(row); ++r) {
    if (r + 1 >= theirs.size()) continue;  // counted below
    const std::vector<std::string>& fields = theirs[r + 1];
    if (fields.size() != row.size()) {
      ADD_FAILURE() << where << ", row " << r + 1 << ": " << row.size() << " values, mdb-export prints "
                    << fields.size();
      continue;
    }
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string ours = AsMdbExportPrints(row[c], columns[c]);
      const std::string* given = nullptr;
      std::string given_text;
      if (written != nullptr && r < written->size()) {
        given_text = AsMdbExportPrints((*written)[r][c], columns[c]);
        given = &given_text;
        if (ours != *given) differ(r, c, ours, *given, "the test wrote");
      }
      if (fields[c] == kUnconvertedDate && row[c].type() == VarType::kDate) {
        if (given == nullptr) ++unchecked;
        continue;
      }
      if (!Agrees(ours, fields[c], columns[c])) differ(r, c, ours, fields[c], "mdb-export prints");
    }
  }
  EXPECT_EQ(r + 1, theirs.size()) << where << ": our reader reads " << r << " rows, mdb-export prints "
                                  << theirs.size() - 1;
  if (written != nullptr) {
    EXPECT_EQ(r, written->size()) << where << ": rows read and rows written";
  }
  if (differences > 20) {
    std::string counts;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (by_column[c] > 0) counts += " " + columns[c].name + " " + std::to_string(by_column[c]);
    }
    ADD_FAILURE() << where << ": " << differences << " differences in all, by column:" << counts;
  }
  return unchecked;
}

// Every table of a file, and the same table names as mdb-tables lists;
// returns the number of tables.
std::size_t ExpectFileAgrees(const std::string& file, const std::string& password = "") {
  SCOPED_TRACE(file);
  jet::Database db(file, {.password = password});
  std::vector<std::string> ours = db.TableNames();
  const auto listed = RunCommand("mdb-tables -1 " + ShellQuote(file));
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  std::vector<std::string> theirs = Split(listed.out, "\n");
  if (!theirs.empty() && theirs.back().empty()) theirs.pop_back();
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(ours, theirs) << file << ": table names";
  int unchecked = 0;
  for (const std::string& t : ours) unchecked += ExpectAgreement(db, file, t);
  if (unchecked > 0) std::printf("%s: %d dates outside what libmdb converts were not checked\n", file.c_str(), unchecked);
  return ours.size();
}

// ------------------------------------------------------- the writer's file

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string ByteRun(std::size_t n, int step) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * static_cast<std::size_t>(step)) & 0xFF);
  return out;
}

double Ole(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return com::OleDateFromCivil({y, mo, d, h, mi, s, 0});
}

ColumnDefinition Column(const std::string& name, ColumnType type, int max_length = 255, bool compressed = true) {
  ColumnDefinition c{name, type, max_length};
  c.compressed = compressed;
  return c;
}

ColumnDefinition DecimalColumn(const std::string& name, int precision, int scale) {
  ColumnDefinition c{name, ColumnType::kDecimal};
  c.precision = precision;
  c.scale = scale;
  return c;
}

// Values of each column in turn, edge values among them; row i takes the
// (i mod n)-th of a column's n values, so that the combinations vary.
struct ColumnValues {
  ColumnDefinition definition;
  std::vector<Variant> values;
};

std::vector<ColumnValues> EveryType() {
  const float kFloatMax = FLT_MAX;
  const std::int64_t kMaxUnits = std::numeric_limits<std::int64_t>::max();
  return {
      {Column("Flag", ColumnType::kBoolean), {Variant::Bool(true), Variant::Bool(false)}},
      {Column("Small", ColumnType::kByte), {Variant::UI1(0), Variant::UI1(255), Variant::UI1(1), Variant::UI1(128)}},
      {Column("Int", ColumnType::kInteger), {Variant::I2(-32768), Variant::I2(32767), Variant::I2(0), Variant::I2(-1)}},
      {Column("Big", ColumnType::kLong),
       {Variant::I4(std::numeric_limits<std::int32_t>::min()), Variant::I4(std::numeric_limits<std::int32_t>::max()),
        Variant::I4(0), Variant::I4(123456)}},
      {Column("Money", ColumnType::kCurrency),
       {Variant::Currency(-12345678), Variant::Currency(1), Variant::Currency(kMaxUnits),
        Variant::Currency(-kMaxUnits - 1), Variant::Currency(0), Variant::Currency(50000)}},
      {Column("Float", ColumnType::kSingle),
       {Variant::R4(0.1f), Variant::R4(-123456.7f), Variant::R4(kFloatMax), Variant::R4(1e-10f), Variant::R4(0.5f),
        Variant::R4(16777216.0f), Variant::R4(1.0f / 3.0f)}},
      {Column("Real", ColumnType::kDouble),
       {Variant::R8(0.1), Variant::R8(1.0 / 3.0), Variant::R8(-DBL_MAX), Variant::R8(1e-300),
        Variant::R8(123456789.123456789), Variant::R8(-2.5), Variant::R8(1e16)}},
      {Column("When", ColumnType::kDateTime),
       {Variant::Date(Ole(100, 1, 1)), Variant::Date(Ole(1850, 6, 15, 12, 30, 45)), Variant::Date(Ole(1899, 12, 30)),
        Variant::Date(Ole(1899, 12, 30, 6)), Variant::Date(Ole(1899, 12, 29, 18)),
        Variant::Date(Ole(1969, 7, 20, 20, 17, 40)), Variant::Date(Ole(2026, 12, 10, 8, 30, 1)),
        Variant::Date(Ole(2038, 1, 19, 3, 14, 8)), Variant::Date(Ole(9999, 12, 31, 23, 59, 59))}},
      {Column("Name", ColumnType::kText, 255),
       {Variant::Text(""), Variant::Text("plain ascii"), Variant::Text("中文测试"),
        Variant::Text("abc中文def 混合 text"), Variant::Text(Repeat("abcde", 51)), Variant::Text("x"),
        Variant::Text("tab\there, line\nbreak, \"quoted\", comma,"), Variant::Text(Repeat("汉", 255))}},
      {Column("Plain", ColumnType::kText, 40, false),
       {Variant::Text("never compressed"), Variant::Text("汉字"), Variant::Text(""), Variant::Text("Ā一 ü")}},
      {Column("Note", ColumnType::kMemo),
       {Variant::Text("a short note"), Variant::Text(Repeat("x", 1000)),  // one long-value row
        Variant::Text(""), Variant::Text(Repeat("长备注", 3000)),           // 18 KB over pages
        Variant::Text("two\r\nlines"), Variant::Text(Repeat("memo ", 2000))}},  // 20 KB over pages
      {Column("Id", jet::kReplicationId),
       {Variant::Text("{12345678-9ABC-DEF0-1234-56789ABCDEF0}"), Variant::Text("{00000000-0000-0000-0000-000000000000}"),
        Variant::Text("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}")}},
      {DecimalColumn("Amount", 28, 4),
       {Variant::Decimal("-12.5000"), Variant::Decimal("0.0000"), Variant::Decimal("123456789012345678901234.5678"),
        Variant::Decimal("-0.0001"), Variant::Decimal("-999999999999999999999999.9999")}},
      {DecimalColumn("Count", 28, 0),
       {Variant::Decimal("9999999999999999999999999999"), Variant::Decimal("-1"), Variant::Decimal("0"),
        Variant::Decimal("4294967296")}},
      // No zero byte, and never empty: mdb-export takes binary data for
      // text and stops at the first zero byte.
      {Column("Code", ColumnType::kBinary, 32),
       {Variant::Bytes("\x01\x02\xFF"), Variant::Bytes(ByteRun(33, 1).substr(1)), Variant::Bytes("A")}},
      {Column("Picture", ColumnType::kOle),
       {Variant::Bytes(ByteRun(10, 1)), Variant::Bytes(ByteRun(1000, 7)), Variant::Bytes(""),
        Variant::Bytes(ByteRun(10 * 1024, 5))}},
  };
}

TEST(JetAgreement, WriterFileWithEveryColumnType) {
  testing_support::TempDir dir;
  const std::string path = dir.File("every_type.mdb");
  const std::vector<ColumnValues> types = EveryType();
  constexpr int kRows = 600;
  std::vector<ColumnDefinition> columns = {{"N", ColumnType::kLong, 255, true}};
  for (const auto& t : types) columns.push_back(t.definition);
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < kRows; ++i) {
    std::vector<Variant> row = {Variant::I4(i)};
    for (std::size_t c = 0; c < types.size(); ++c) {
      const auto& values = types[c].values;
      // Every column but Yes/No (which holds no null) is null now and then.
      const bool null = types[c].definition.type != ColumnType::kBoolean && (i + static_cast<int>(c)) % 9 == 0;
      row.push_back(null ? Variant::Null() : values[static_cast<std::size_t>(i) % values.size()]);
    }
    // A few OLE values long enough for a chain of many pages.
    if (i % 150 == 7) row.back() = Variant::Bytes(ByteRun(100 * 1024, 11));
    rows.push_back(std::move(row));
  }
  {
    jet::Writer w(path);
    w.BeginTable({"EveryType", columns});
    for (const auto& row : rows) w.AppendRow(row);
    w.EndTable();
    w.Finish();
  }
  jet::Database db(path);
  ASSERT_EQ(db.TableNames(), std::vector<std::string>{"EveryType"});
  ExpectAgreement(db, path, "EveryType", &rows);
}

// ------------------------------------------------------ the sample shop

TEST(JetAgreement, SampleShopAtTwoSizes) {
  testing_support::TempDir dir;
  // Scale 30 puts a few thousand rows in the largest tables.
  for (int scale : {1, 30}) {
    const std::string path = dir.File("shop" + std::to_string(scale) + ".mdb");
    const auto made = RunCommand(ShellQuote(testing_support::BinDir() + "/korvel") + " sample --out " +
                                 ShellQuote(path) + " --scale " + std::to_string(scale));
    ASSERT_EQ(made.exit_code, 0) << made.err;
    EXPECT_EQ(ExpectFileAgrees(path), 12u);
  }
}

// ------------------------------------------------- files Access wrote

TEST(JetAgreement, FilesAccessWrote) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(testing_support::JetTestDataDir())) {
    if (e.path().extension() == ".mdb") files.push_back(e.path());
  }
  if (const char* extra = std::getenv("KORVEL_EXTRA_JET_FILES")) {
    for (const auto& e : fs::directory_iterator(extra)) {
      if (e.path().extension() == ".mdb") files.push_back(e.path());
    }
  }
  ASSERT_GE(files.size(), 8u);
  std::sort(files.begin(), files.end());
  std::size_t tables = 0;
  for (const auto& f : files) {
    const bool password = f.filename().string().find("with-password") != std::string::npos;
    tables += ExpectFileAgrees(f.string(), password ? "password" : "");
  }
  EXPECT_GE(tables, 20u);
}

// Jet 3 keeps a row's variable offsets in one byte each; a row of 256
// bytes or more adds a table of jumps, each naming the first variable
// column whose offset is past the next 256 bytes. The Jet 3 file Access
// wrote has no row that long, so one is made from a row of its Table1 (A
// and B its Text columns, C to I fixed): its fixed values kept, A and B
// made 300 and 400 characters, so that B starts past 256 and the data ends
// past 512, and the offsets and jumps laid out as the format says; the
// page holds that row alone. Both readers must read it, and the other
// tables, alike.
TEST(JetAgreement, AJet3RowLongerThan256Bytes) {
  constexpr std::size_t kPage = 2048;
  std::string file = testing_support::ReadFile(testing_support::JetTestDataDir() + "/V1997_test.mdb");
  auto byte = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<unsigned char>(file[at])); };
  // The row holding "abcdefg", as in the page's row table.
  const std::size_t pos = file.find("abcdefg"), base = pos / kPage * kPage;
  std::size_t start = 0, end = 0;
  for (std::size_t r = 0; r < (byte(base + 8) | byte(base + 9) << 8); ++r) {
    start = (byte(base + 10 + 2 * r) | byte(base + 11 + 2 * r) << 8) & 0x1FFF;
    end = r == 0 ? kPage : (byte(base + 8 + 2 * r) | byte(base + 9 + 2 * r) << 8) & 0x1FFF;
    if (base + start <= pos && pos < base + end) break;
  }
  const std::string old_row = file.substr(base + start, end - start);
  ASSERT_LT(old_row.size(), 256u);
  const std::size_t columns = static_cast<unsigned char>(old_row[0]), mask = (columns + 7) / 8;
  const std::size_t old_end = old_row.size() - mask;
  ASSERT_EQ(static_cast<unsigned char>(old_row[old_end - 1]), 2u) << "Table1 has two variable columns";
  const std::size_t fixed_end = static_cast<unsigned char>(old_row[old_end - 2]);  // A's offset
  const std::string fixed = old_row.substr(1, fixed_end - 1);

  const std::string a = "A:" + std::string(298, 'x'), b = "B:" + std::string(398, 'y');
  const std::size_t offsets[3] = {fixed_end, fixed_end + a.size(), fixed_end + a.size() + b.size()};
  std::size_t jumps = 0, size = 0;
  for (;;) {
    size = offsets[2] + 3 + jumps + 1 + mask;
    if ((size - 1) / 256 == jumps) break;
    jumps = (size - 1) / 256;
  }
  ASSERT_EQ(jumps, 2u);
  std::string row(size, '\0');
  row[0] = static_cast<char>(columns);
  row.replace(1, fixed.size(), fixed);
  row.replace(offsets[0], a.size(), a);
  row.replace(offsets[1], b.size(), b);
  const std::size_t data_end = size - mask, first_offset = data_end - 2 - jumps;
  row[data_end - 1] = 2;
  row[data_end - 2] = 1;  // B is the first past 256
  row[data_end - 3] = 2;  // the data's end the first past 512
  for (std::size_t i = 0; i < 3; ++i) row[first_offset - i] = static_cast<char>(offsets[i] & 0xFF);
  row.replace(data_end, mask, old_row.substr(old_end, mask));
  row[data_end] = static_cast<char>(row[data_end] | 0x03);  // A and B not null

  std::string page(kPage, '\0');
  page.replace(0, 8, file.substr(base, 8));  // type, free space, owner
  page[8] = 1;                               // one row, at the page's end
  page[10] = static_cast<char>((kPage - size) & 0xFF);
  page[11] = static_cast<char>((kPage - size) >> 8);
  page.replace(kPage - size, size, row);
  file.replace(base, kPage, page);
  testing_support::TempDir dir;
  const std::string path = dir.File("long_row.mdb");
  testing_support::WriteFile(path, file);

  ExpectFileAgrees(path);
  jet::Database db(path);
  auto reader = db.Query("select A, B from Table1");
  int found = 0;
  for (dts::Row r; reader->Next(r);) {
    if (!r[0].IsNull() && r[0].text() == a) {
      ++found;
      EXPECT_EQ(r[1].IsNull() ? "(null)" : r[1].text(), b);
    }
  }
  EXPECT_EQ(found, 1);
}

}  // namespace
