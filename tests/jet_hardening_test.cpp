// Damaged Jet files: each test damages a file it wrote (or one Access
// wrote) where the format says a value lives, and expects error 3343 naming
// the table, at once: never a crash, a hang, a runaway allocation, a value
// read from outside its row, or a line on stderr. Then rows Jet moved or
// deleted, made the same way.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "platform/com/error.h"
#include "platform/jet/header.h"
#include "platform/jet/reader.h"
#include "platform/jet/writer.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Jet 4 data pages: the row count at 12, then each row's start (the first
// row ends at the page's end, every other where the one before starts).
constexpr std::size_t kPage = 4096;
constexpr std::size_t kRowCount = 12;
constexpr std::size_t kOffsetMask = 0x1FFF;

std::size_t Le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(Le16(b, at) | Le16(b, at + 2) << 16);
}
void Put16(std::string& b, std::size_t at, std::size_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
std::string Bytes(double v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); }
// Jet 4 text as the writer compresses it.
std::string Compressed(const std::string& ascii) { return "\xFF\xFE" + ascii; }

struct Row {
  std::size_t start = 0;  // in the file
  std::size_t size = 0;
};

// The row of a Jet 4 data page holding `bytes`.
Row FindRow(const std::string& file, const std::string& bytes) {
  const std::size_t pos = file.find(bytes);
  if (pos == std::string::npos) throw std::runtime_error("bytes not in the file");
  const std::size_t base = pos / kPage * kPage;
  for (std::size_t r = 0; r < Le16(file, base + kRowCount); ++r) {
    const std::size_t start = Le16(file, base + kRowCount + 2 + 2 * r) & kOffsetMask;
    const std::size_t end = r == 0 ? kPage : Le16(file, base + kRowCount + 2 * r) & kOffsetMask;
    if (base + start <= pos && pos < base + end) return {base + start, end - start};
  }
  throw std::runtime_error("bytes in no row");
}

// Where a Jet 4 row keeps the offset (from the row's start) of variable
// column `slot`'s data; slot == the column count holds the data's end.
// The offsets lie before the variable column count and the null mask, the
// first column's nearest.
std::size_t VarOffsetAt(const std::string& file, const Row& row, std::size_t slot) {
  const std::size_t mask = (Le16(file, row.start) + 7) / 8;
  return row.start + row.size - mask - 4 - 2 * slot;
}

// The variable slot whose data starts with `bytes`.
std::size_t SlotOf(const std::string& file, const Row& row, const std::string& bytes) {
  const std::size_t at = file.find(bytes, row.start) - row.start;
  for (std::size_t slot = 0; slot < 8; ++slot) {
    if (Le16(file, VarOffsetAt(file, row, slot)) == at) return slot;
  }
  throw std::runtime_error("no slot starts there");
}

struct Outcome {
  std::int32_t error = 0;
  std::string description;
  int rows = 0;
};

// Opens the file and reads every row of `table`.
Outcome ReadTable(const std::string& path, const std::string& table) {
  Outcome o;
  try {
    jet::Database db(path);
    auto reader = db.Query("select * from [" + table + "]");
    for (dts::Row row; reader->Next(row);) ++o.rows;
  } catch (const com::Error& e) {
    o.error = e.number();
    o.description = e.description();
  }
  return o;
}

constexpr double kSold = 38113.5;  // 2004-05-06 12:00
const std::string kShortNote = "short note";
const std::string kLongNote(2000, 'x');   // one long-value row
const std::string kChainNote(10000, 'y'); // a chain of them

class JetHardening : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    jet::Writer w(dir_->File("goods.mdb"));
    w.BeginTable({"Goods",
                  {{"Code", jet::ColumnType::kText, 20},
                   {"Note", jet::ColumnType::kMemo},
                   {"Sold", jet::ColumnType::kDateTime},
                   {"Qty", jet::ColumnType::kLong}}});
    auto row = [&](const char* code, const std::string& note, double sold, int qty) {
      w.AppendRow({com::Variant::Text(code), com::Variant::Text(note), com::Variant::Date(sold),
                   com::Variant::I4(qty)});
    };
    row("ROW-INLINE", kShortNote, kSold, 1);
    row("ROW-ONEPAGE", kLongNote, kSold + 1, 2);
    row("ROW-CHAIN", kChainNote, kSold + 2, 3);
    // The first and the last instants Jet keeps.
    row("ROW-FIRST", "", -657434.0, 4);
    row("ROW-LAST", "", 2958465.0 + 86399.0 / 86400.0, 5);
    w.EndTable();
    w.Finish();
    original_ = std::make_unique<std::string>(ReadFile(dir_->File("goods.mdb")));
  }
  static void TearDownTestSuite() {
    original_.reset();
    dir_.reset();
  }

  // Writes a damaged copy and reads its Goods table; nothing reaches stderr.
  Outcome ReadDamaged(const std::string& bytes) {
    const std::string path = dir_->File("damaged.mdb");
    WriteFile(path, bytes);
    const auto started = std::chrono::steady_clock::now();
    testing_support::StderrCapture stderr_of_read(dir_->File("stderr.txt"));
    Outcome o = ReadTable(path, "Goods");
    EXPECT_EQ(stderr_of_read.Stop(), "") << o.description;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << o.description;
    return o;
  }

  void ExpectRefused(const std::string& bytes, const std::string& detail) {
    const Outcome o = ReadDamaged(bytes);
    EXPECT_EQ(o.error, jet::kErrNotJetDatabase) << o.description;
    EXPECT_NE(o.description.find("Goods"), std::string::npos) << o.description;
    EXPECT_NE(o.description.find(detail), std::string::npos) << o.description;
  }

  static std::unique_ptr<TempDir> dir_;
  static std::unique_ptr<std::string> original_;
};

std::unique_ptr<TempDir> JetHardening::dir_;
std::unique_ptr<std::string> JetHardening::original_;

TEST_F(JetHardening, TheUndamagedFileReadsWholeWithTheFirstAndLastDatesJetKeeps) {
  jet::Database db(dir_->File("goods.mdb"));
  auto reader = db.Query("select Code, Note, Sold from Goods");
  std::vector<std::string> notes;
  std::vector<double> dates;
  for (dts::Row row; reader->Next(row);) {
    notes.push_back(row[1].text());
    dates.push_back(row[2].real());
  }
  EXPECT_EQ(notes, (std::vector<std::string>{kShortNote, kLongNote, kChainNote, "", ""}));
  EXPECT_EQ(dates.front(), kSold);
  EXPECT_EQ(dates[3], -657434.0);
  EXPECT_EQ(dates[4], 2958465.0 + 86399.0 / 86400.0);
}

TEST_F(JetHardening, ATextFieldReachingPastItsRowIsRefusedNamingTheTable) {
  const std::string code = Compressed("ROW-INLINE");
  const Row row = FindRow(*original_, code);
  const std::size_t slot = SlotOf(*original_, row, code);

  std::string ends_past = *original_;  // the text runs 300 bytes past the row
  Put16(ends_past, VarOffsetAt(ends_past, row, slot + 1), row.size + 300);
  ExpectRefused(ends_past, "Goods");

  std::string starts_past = *original_;  // the text starts past the page
  Put16(starts_past, VarOffsetAt(starts_past, row, slot), 0x1F00);
  Put16(starts_past, VarOffsetAt(starts_past, row, slot + 1), 0x1F10);
  ExpectRefused(starts_past, "Goods");

  // Past the page and ending before its start: its start and size add up
  // to a place inside the row.
  std::string wraps = *original_;
  Put16(wraps, VarOffsetAt(wraps, row, slot), 0x1F00);
  ExpectRefused(wraps, "Code");
}

TEST_F(JetHardening, ANegativeMemoSizeIsRefusedNotAborted) {
  const std::string code = Compressed("ROW-INLINE");
  const Row row = FindRow(*original_, code);
  const std::size_t note = SlotOf(*original_, row, code) + 1;
  std::string damaged = *original_;
  // The memo's data ends one byte before it starts.
  Put16(damaged, VarOffsetAt(damaged, row, note + 1), Le16(damaged, VarOffsetAt(damaged, row, note)) - 1);
  ExpectRefused(damaged, "Note");
}

TEST_F(JetHardening, AMemoChainThatLoopsOrLeavesTheFileStopsAtOnce) {
  const std::string code = Compressed("ROW-CHAIN");
  const Row row = FindRow(*original_, code);
  const std::size_t slot = SlotOf(*original_, row, code) + 1;
  const std::size_t field = row.start + Le16(*original_, VarOffsetAt(*original_, row, slot));
  // A chained memo: its length with no flag (a page's worth at least),
  // then its first row's address.
  ASSERT_GT(Le32(*original_, field), kPage);
  ASSERT_EQ(Le32(*original_, field) >> 30, 0u);
  const std::uint32_t first = Le32(*original_, field + 4);
  const std::size_t page = first >> 8, lval_row = first & 0xFF;
  const std::size_t link = page * kPage + (Le16(*original_, page * kPage + kRowCount + 2 + 2 * lval_row) & kOffsetMask);

  std::string loop = *original_;  // the first row links to itself, the length says 1 GB
  Put32(loop, link, first);
  Put32(loop, field, 0x3FFFFFFF);
  ExpectRefused(loop, "Note");

  std::string loop_in_length = *original_;  // the same loop within the stated length
  Put32(loop_in_length, link, first);
  ExpectRefused(loop_in_length, "Note");

  std::string outside = *original_;  // the next row lies past the file
  Put32(outside, link, static_cast<std::uint32_t>(original_->size() / kPage + 5) << 8);
  ExpectRefused(outside, "Note");
}

// Two hundred short memos made to name one long chain: each chain alone is
// sound, but together they would have the reader copy the file many times
// over.
TEST_F(JetHardening, MemosSharingOneChainAreRefused) {
  const std::string path = dir_->File("shared.mdb");
  {
    jet::Writer w(path);
    w.BeginTable({"Goods", {{"Code", jet::ColumnType::kText, 20}, {"Note", jet::ColumnType::kMemo}}});
    w.AppendRow({com::Variant::Text("ROW-CHAIN"), com::Variant::Text(kChainNote)});
    for (int i = 0; i < 200; ++i) {
      w.AppendRow({com::Variant::Text("R" + std::to_string(1000 + i)), com::Variant::Text("short")});
    }
    w.EndTable();
    w.Finish();
  }
  std::string bytes = ReadFile(path);
  auto memo_field = [&](const std::string& code) {
    const Row row = FindRow(bytes, Compressed(code));
    return row.start + Le16(bytes, VarOffsetAt(bytes, row, SlotOf(bytes, row, Compressed(code)) + 1));
  };
  const std::size_t chain = memo_field("ROW-CHAIN");
  for (int i = 0; i < 200; ++i) bytes.replace(memo_field("R" + std::to_string(1000 + i)), 8, bytes.substr(chain, 8));
  ExpectRefused(bytes, "共用");
}

TEST_F(JetHardening, ADateOutsideTheYearsJetKeepsIsRefused) {
  const Row row = FindRow(*original_, Compressed("ROW-INLINE"));
  const std::size_t sold = original_->find(Bytes(kSold), row.start);
  ASSERT_LT(sold, row.start + row.size);
  for (double bad : {1e300, -1e300, 2958466.0, -657435.0, std::nan("")}) {
    std::string damaged = *original_;
    damaged.replace(sold, 8, Bytes(bad));
    ExpectRefused(damaged, "Sold");
  }
}

TEST_F(JetHardening, AFileCutShortIsRefusedOrReadsWhole) {
  const Outcome whole = ReadTable(dir_->File("goods.mdb"), "Goods");
  ASSERT_EQ(whole.rows, 5);
  // Cut at every page: refused, or every row read as before.
  for (std::size_t pages = 1; pages < original_->size() / kPage; ++pages) {
    const Outcome o = ReadDamaged(original_->substr(0, pages * kPage));
    if (o.error == 0) {
      EXPECT_EQ(o.rows, whole.rows) << pages << " pages";
    } else {
      EXPECT_EQ(o.error, jet::kErrNotJetDatabase) << pages << " pages: " << o.description;
    }
  }
  // A cut inside a page is always refused.
  const Outcome mid = ReadDamaged(original_->substr(0, original_->size() - 100));
  EXPECT_EQ(mid.error, jet::kErrNotJetDatabase);
  EXPECT_NE(mid.description.find("截断"), std::string::npos) << mid.description;
}

// Access's own file cut inside the catalog's properties: a catalog read
// that followed it would go round for ever, its memory growing.
TEST_F(JetHardening, AnAccessFileCutInsideItsCatalogIsRefusedAtOnce) {
  const std::string access = ReadFile(testing_support::JetTestDataDir() + "/V2003_test.mdb");
  for (std::size_t pages : {704u, 705u, 706u}) {
    const std::string path = dir_->File("cut.mdb");
    WriteFile(path, access.substr(0, pages * kPage));
    const auto started = std::chrono::steady_clock::now();
    try {
      jet::Database db(path);
      ADD_FAILURE() << pages << " pages opened";
    } catch (const com::Error& e) {
      EXPECT_EQ(e.number(), jet::kErrNotJetDatabase) << e.description();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
}

// The catalog's definition is page 2: its next definition page at 4, its
// column count at 45 and its usage map's address at 55.
TEST_F(JetHardening, ADamagedCatalogIsRefusedAtOpen) {
  auto refused = [&](std::string bytes, const std::string& detail) {
    WriteFile(dir_->File("catalog.mdb"), bytes);
    try {
      jet::Database db(dir_->File("catalog.mdb"));
      ADD_FAILURE() << detail << ": opened";
    } catch (const com::Error& e) {
      EXPECT_EQ(e.number(), jet::kErrNotJetDatabase) << e.description();
      EXPECT_NE(e.description().find("MSysObjects"), std::string::npos) << e.description();
      EXPECT_NE(e.description().find(detail), std::string::npos) << e.description();
    }
  };
  const std::size_t catalog = 2 * kPage;
  std::string looped = *original_;
  Put32(looped, catalog + 4, 2);
  refused(looped, "成环");
  std::string beyond = *original_;
  Put32(beyond, catalog + 4, 100000);
  refused(beyond, "超出文件");
  std::string columns = *original_;
  Put16(columns, catalog + 45, 0xFFFF);
  refused(columns, "超过 255 列");
  std::string map = *original_;
  Put32(map, catalog + 55, static_cast<std::uint32_t>(original_->size() / kPage) << 8);
  refused(map, "MSysObjects");
}

// Jet 3 rows end with their variable column count and null mask; a count
// of 255 in a row of a few dozen bytes would reach below the row.
TEST_F(JetHardening, AJet3RowClaimingMoreColumnsThanItHoldsIsRefused) {
  std::string access = ReadFile(testing_support::JetTestDataDir() + "/V1997_test.mdb");
  const std::size_t jet3_page = 2048, pos = access.find("abcdefg");
  const std::size_t base = pos / jet3_page * jet3_page;
  std::size_t start = 0, end = 0;
  for (std::size_t r = 0; r < Le16(access, base + 8); ++r) {
    start = Le16(access, base + 10 + 2 * r) & kOffsetMask;
    end = r == 0 ? jet3_page : Le16(access, base + 8 + 2 * r) & kOffsetMask;
    if (base + start <= pos && pos < base + end) break;
  }
  const std::size_t mask = (static_cast<unsigned char>(access[base + start]) + 7) / 8;
  access[base + end - 1 - mask] = static_cast<char>(255);
  WriteFile(dir_->File("jet3.mdb"), access);
  const Outcome o = ReadTable(dir_->File("jet3.mdb"), "Table1");
  EXPECT_EQ(o.error, jet::kErrNotJetDatabase) << o.description;
  EXPECT_NE(o.description.find("Table1"), std::string::npos) << o.description;
}

// Rows Jet moved, deleted, or wrote before a column was added. A row that
// grew past its page is moved: its
// slot keeps only the address (row number, then the page in three bytes)
// of where it went, flagged 0x4000, and the row where it went is flagged
// 0x8000, so that a scan reads it once, in the moved row's place. A
// deleted row has both flags. The table spans several pages; each case
// edits the slots of two rows on different pages.
class JetRows : public ::testing::Test {
 protected:
  static constexpr int kRows = 400;

  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    jet::Writer w(dir_->File("moves.mdb"));
    w.BeginTable({"Moves", {{"Code", jet::ColumnType::kText, 20}, {"Qty", jet::ColumnType::kLong}}});
    for (int i = 0; i < kRows; ++i) w.AppendRow({com::Variant::Text(Code(i)), com::Variant::I4(i)});
    w.EndTable();
    w.Finish();
    original_ = std::make_unique<std::string>(ReadFile(dir_->File("moves.mdb")));
  }
  static void TearDownTestSuite() {
    original_.reset();
    dir_.reset();
  }

  static std::string Code(int i) { return "R-" + std::to_string(1000 + i); }

  // The page and slot of row `i`.
  struct Slot {
    std::size_t page = 0;
    std::size_t row = 0;
    std::size_t offset_at = 0;  // where its offset and flags are in the file
    std::size_t start = 0;      // where its bytes are in the file
  };
  static Slot SlotOfRow(const std::string& file, int i) {
    const Row row = FindRow(file, Compressed(Code(i)));
    Slot s;
    s.page = row.start / kPage;
    const std::size_t base = s.page * kPage;
    for (; s.row < Le16(file, base + kRowCount); ++s.row) {
      s.offset_at = base + kRowCount + 2 + 2 * s.row;
      if (base + (Le16(file, s.offset_at) & kOffsetMask) == row.start) break;
    }
    s.start = row.start;
    return s;
  }
  static void Flag(std::string& file, const Slot& s, std::size_t flags) {
    Put16(file, s.offset_at, (Le16(file, s.offset_at) & kOffsetMask) | flags);
  }
  // Makes `from` the moved row whose data is now `to`'s.
  static void Move(std::string& file, const Slot& from, const Slot& to) {
    Put32(file, from.start, static_cast<std::uint32_t>(to.page << 8 | to.row));
    Flag(file, from, 0x4000);
    Flag(file, to, 0x8000);
  }

  // The Code and Qty of every row read, in order, or the error.
  Outcome Read(const std::string& bytes, std::vector<std::string>* codes) {
    const std::string path = dir_->File("edited.mdb");
    WriteFile(path, bytes);
    Outcome o;
    try {
      jet::Database db(path);
      auto reader = db.Query("select Code, Qty from Moves");
      for (dts::Row row; reader->Next(row); ++o.rows) {
        codes->push_back(row[0].text() + "=" + std::to_string(row[1].integer()));
      }
    } catch (const com::Error& e) {
      o.error = e.number();
      o.description = e.description();
    }
    return o;
  }

  // What a sound read gives: each row's code and quantity, in order.
  static std::vector<std::string> Expected() {
    std::vector<std::string> v;
    for (int i = 0; i < kRows; ++i) v.push_back(Code(i) + "=" + std::to_string(i));
    return v;
  }

  static std::unique_ptr<TempDir> dir_;
  static std::unique_ptr<std::string> original_;
};

std::unique_ptr<TempDir> JetRows::dir_;
std::unique_ptr<std::string> JetRows::original_;

TEST_F(JetRows, AMovedRowIsReadOnceInItsOwnPlaceAndADeletedOneNotAtAll) {
  const Slot early = SlotOfRow(*original_, 5), late = SlotOfRow(*original_, 350), gone = SlotOfRow(*original_, 7);
  ASSERT_NE(early.page, late.page);
  std::vector<std::string> expected = Expected();

  std::string moved = *original_;
  Move(moved, early, late);  // row 5's slot now leads to the bytes of row 350
  Flag(moved, gone, 0xC000);
  std::vector<std::string> codes;
  const Outcome o = Read(moved, &codes);
  ASSERT_EQ(o.error, 0) << o.description;
  expected[5] = expected[350];
  expected.erase(expected.begin() + 350);
  expected.erase(expected.begin() + 7);
  EXPECT_EQ(codes, expected);
}

TEST_F(JetRows, AMovedRowDeletedSinceIsNotRead) {
  const Slot early = SlotOfRow(*original_, 5), late = SlotOfRow(*original_, 350);
  std::string bytes = *original_;
  Move(bytes, early, late);
  Flag(bytes, early, 0xC000);  // deleted where it was moved from
  std::vector<std::string> codes;
  const Outcome o = Read(bytes, &codes);
  ASSERT_EQ(o.error, 0) << o.description;
  std::vector<std::string> expected = Expected();
  expected.erase(expected.begin() + 350);
  expected.erase(expected.begin() + 5);
  EXPECT_EQ(codes, expected);
}

TEST_F(JetRows, AMoveOutOfTheTableOrRoundInACircleIsRefused) {
  const Slot early = SlotOfRow(*original_, 5), late = SlotOfRow(*original_, 350);
  auto refused = [&](const std::string& bytes, const std::string& detail) {
    std::vector<std::string> codes;
    const Outcome o = Read(bytes, &codes);
    EXPECT_EQ(o.error, jet::kErrNotJetDatabase) << detail;
    EXPECT_NE(o.description.find("Moves"), std::string::npos) << o.description;
    EXPECT_NE(o.description.find(detail), std::string::npos) << o.description;
  };
  std::string circle = *original_;
  Move(circle, early, late);
  Move(circle, late, early);
  Flag(circle, early, 0x4000);
  Flag(circle, late, 0x4000);
  refused(circle, "过长");

  std::string past_the_file = *original_;
  Move(past_the_file, early, late);
  Put32(past_the_file, early.start, static_cast<std::uint32_t>((original_->size() / kPage + 3) << 8));
  refused(past_the_file, "超出文件");

  std::string other_page = *original_;  // page 2 holds the catalog's definition
  Move(other_page, early, late);
  Put32(other_page, early.start, 2u << 8);
  refused(other_page, "不是本表的数据页");

  std::string no_such_row = *original_;
  Move(no_such_row, early, late);
  Put32(no_such_row, early.start, static_cast<std::uint32_t>(late.page << 8 | 0xFF));
  refused(no_such_row, "不存在");
}

// A row written before a column was added has fewer columns (the count at
// its start) or fewer variable values (the count before its null mask) than
// the table: the columns it lacks read as null. Qty is column 1, fixed;
// Code column 0, the first variable one.
TEST_F(JetRows, ARowWrittenBeforeAColumnWasAddedHasItNull) {
  const Row row = FindRow(*original_, Compressed(Code(5)));
  const std::size_t mask = (Le16(*original_, row.start) + 7) / 8;
  auto read_row_5 = [&](const std::string& bytes) {
    WriteFile(dir_->File("shape.mdb"), bytes);
    jet::Database db(dir_->File("shape.mdb"));
    auto reader = db.Query("select Code, Qty from Moves");
    dts::Row values;
    for (int i = 0; i <= 5; ++i) EXPECT_TRUE(reader->Next(values));
    return std::make_pair(values[0].IsNull() ? "NULL" : values[0].text(),
                          values[1].IsNull() ? "NULL" : std::to_string(values[1].integer()));
  };
  EXPECT_EQ(read_row_5(*original_), std::make_pair(Code(5), std::string("5")));
  std::string one_column = *original_;
  Put16(one_column, row.start, 1);
  EXPECT_EQ(read_row_5(one_column), std::make_pair(Code(5), std::string("NULL")));
  std::string no_variable = *original_;
  Put16(no_variable, row.start + row.size - mask - 2, 0);
  EXPECT_EQ(read_row_5(no_variable), std::make_pair(std::string("NULL"), std::string("5")));
}

// A damaged source fails the step that reads it: the run reports it, ends
// non-zero and leaves the destination as it was.
TEST(JetHardeningRun, ADamagedSourceFailsItsStepAndChangesNothing) {
  testing_support::EmbeddedShop shop;
  constexpr char kPlan[] = "C5to6CustSuppWriteAccount";
  ASSERT_EQ(testing_support::RunPlan(shop, kPlan, shop.source).error, "");
  const auto before = shop.Snapshot();
  const std::string source = shop.WriteSource(
      "damaged.mdb", {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\tNorth\tR001\tBeijing\n"},
                      {"Customer", "UnitID\tIsUsed\tRegionID\tClass\tBalAmo\nCDAMAGED\t1\t1\tRetail\t10\n"}});
  std::string bytes = ReadFile(source);
  const Row row = FindRow(bytes, Compressed("CDAMAGED"));
  const std::size_t slot = SlotOf(bytes, row, Compressed("CDAMAGED"));
  Put16(bytes, VarOffsetAt(bytes, row, slot + 1), row.size + 500);
  WriteFile(source, bytes);

  const testing_support::PlanOutcome run = testing_support::RunPlan(shop, kPlan, source);
  EXPECT_NE(run.error, "");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_NE(run.reports[0].find("已损坏"), std::string::npos) << run.reports[0];
  EXPECT_NE(run.reports[0].find("Customer"), std::string::npos) << run.reports[0];
  EXPECT_EQ(shop.Snapshot(), before);

  const auto cli = testing_support::RunCommand(
      "KPW=" + std::string(testing_support::EmbeddedShop::kPassword) + " " +
      testing_support::ShellQuote(testing_support::BinDir() + "/korvel") + " run --model " + kPlan + " --source " +
      testing_support::ShellQuote(source) + " --server " + testing_support::ShellQuote(shop.server) +
      " --user sa --password-env KPW --database Sales60");
  EXPECT_GT(cli.exit_code, 0) << cli.err;  // failed, not killed by a signal
  EXPECT_NE(cli.err.find("已损坏"), std::string::npos) << cli.err;
  EXPECT_EQ(shop.Snapshot(), before);
}

}  // namespace
