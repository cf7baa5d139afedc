// One source from start to end: a Jet file is read through the descriptor
// it was opened with, so a file renamed over its path changes nothing that
// is read; a file cut while it is read fails naming the table and the page,
// with nothing printed on stderr; and a run commits only when the file
// it read is still the file it opened, which a look at the file's status
// tells, without reading it.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cli/sample.h"
#include "platform/com/error.h"
#include "platform/dts/model.h"
#include "platform/dts/pump_columns.h"
#include "platform/dts/step_context.h"
#include "platform/jet/reader.h"
#include "platform/port/files.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"

namespace {

// The page number in "第 N 页" + `after` within `text`; 0 when there is none.
std::uint64_t PageNumber(const std::string& text, const std::string& after = " 页") {
  for (std::size_t at = text.find("第 "); at != std::string::npos; at = text.find("第 ", at + 1)) {
    std::size_t end = at + std::string("第 ").size();
    const std::size_t digits = end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end > digits && text.compare(end, after.size(), after) == 0) return std::stoull(text.substr(digits, end - digits));
  }
  return 0;
}


namespace fs = std::filesystem;
using testing_support::EmbeddedShop;
using testing_support::ReadFile;
using testing_support::StderrCapture;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr std::size_t kPage = 4096;  // Jet 4, as the samples are
constexpr char kChanged[] = "源文件在升级过程中被改动";
constexpr char kNormal[] = "C5to6Normal";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::int64_t CountRows(jet::Database& db, const std::string& statement) {
  auto reader = db.Query(statement);
  std::int64_t n = 0;
  for (dts::Row row; reader->Next(row);) ++n;
  return n;
}

std::int64_t CountRows(const std::string& file, const std::string& statement) {
  jet::Database db(file);
  return CountRows(db, statement);
}

// Writes `bytes` over the file at `path`, keeping its inode, as a copy onto
// an existing file does.
void WriteInPlace(const std::string& path, const std::string& bytes) {
  port::FileStatus st;
  port::OsError error;
  ASSERT_TRUE(port::StatusOfPath(path, &st, &error)) << error.text;
  const std::uint64_t inode = st.inode;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  ASSERT_TRUE(out.good());
  ASSERT_TRUE(port::StatusOfPath(path, &st, &error)) << error.text;
  ASSERT_EQ(st.inode, inode) << "the file was not written in place";
}

// The bytes the process has read so far, by the system's count.
std::uint64_t BytesReadByProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  ADD_FAILURE() << "no rchar in /proc/self/io";
  return 0;
}

// The description of the com::Error `work` raises, with its number.
std::pair<std::int32_t, std::string> ErrorOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const com::Error& e) {
    return {e.number(), e.description()};
  }
  return {0, ""};
}

class JetSource : public ::testing::Test {
 protected:
  void SetUp() override {
    cli::WriteSample(shop_, {.scale = 1, .seed = 11});
    cli::WriteSample(other_, {.scale = 3, .seed = 12});
  }

  TempDir dir_;
  const std::string shop_ = dir_.File("shop.mdb");
  const std::string other_ = dir_.File("other.mdb");
};

// A database and the driver's sessions, shared ones included, read the
// file they opened after another is renamed over its path; asked, they say
// it was replaced.
TEST_F(JetSource, AFileRenamedOverThePathChangesNothingRead) {
  VK_SKIP_ON_WINDOWS("a file renamed over one held open, which Windows refuses");
  const std::string statement = "select * from bBalance";
  const std::int64_t original = CountRows(shop_, statement), replacement = CountRows(other_, statement);
  ASSERT_NE(original, replacement);

  jet::Database db(shop_);
  const std::vector<std::string> tables = db.TableNames();
  dts::ConnectionSpec connection;
  connection.provider = "Microsoft.Jet.OLEDB.4.0";
  connection.data_source = shop_;
  auto session = dts::FindDriver(connection.provider)->Open(connection);
  auto open_before = db.Query(statement);

  fs::rename(other_, shop_);
  EXPECT_EQ(CountRows(db, statement), original);
  EXPECT_EQ(db.TableNames(), tables);
  std::int64_t n = 0;
  for (dts::Row row; open_before->Next(row);) ++n;
  EXPECT_EQ(n, original);
  auto shared = session->Share();
  ASSERT_NE(shared, nullptr);
  for (dts::Session* s : {session.get(), shared.get()}) {
    auto reader = s->Query(statement);
    n = 0;
    for (dts::Row row; reader->Next(row);) ++n;
    EXPECT_EQ(n, original);
  }

  const auto [number, description] = ErrorOf([&] { db.VerifyUnchanged(); });
  EXPECT_EQ(number, jet::kErrSourceChanged);
  EXPECT_TRUE(Has(description, kChanged)) << description;
  EXPECT_TRUE(Has(description, shop_)) << description;
  EXPECT_TRUE(Has(description, "替换")) << description;
  EXPECT_FALSE(Has(description, "大小")) << description;
  EXPECT_EQ(ErrorOf([&] { shared->VerifyUnchanged(); }).first, jet::kErrSourceChanged);

  // The path holds the other file now, and a new opening reads and accepts it.
  jet::Database reopened(shop_);
  EXPECT_EQ(CountRows(reopened, statement), replacement);
  EXPECT_EQ(ErrorOf([&] { reopened.VerifyUnchanged(); }).first, 0);

  fs::remove(shop_);
  EXPECT_TRUE(Has(ErrorOf([&] { reopened.VerifyUnchanged(); }).second, "已没有这个文件"));
}

// Written in place (the same inode), the file tells by its size, or, at the
// same size, by its modification time.
TEST_F(JetSource, AFileWrittenInPlaceIsToldBySizeOrTime) {
  const std::string original = ReadFile(shop_), replacement = ReadFile(other_);
  ASSERT_NE(original.size(), replacement.size());
  jet::Database db(shop_);
  WriteInPlace(shop_, replacement);
  auto [number, description] = ErrorOf([&] { db.VerifyUnchanged(); });
  EXPECT_EQ(number, jet::kErrSourceChanged);
  EXPECT_TRUE(Has(description, "大小由 " + std::to_string(original.size()) + " 字节变为 " +
                                   std::to_string(replacement.size()) + " 字节"))
      << description;
  EXPECT_FALSE(Has(description, "替换")) << description;

  // Its own bytes again, dated a day back, as a copy keeping an older
  // copy's date leaves it.
  WriteInPlace(shop_, original);
  fs::last_write_time(shop_, fs::last_write_time(shop_) - std::chrono::hours(24));
  std::tie(number, description) = ErrorOf([&] { db.VerifyUnchanged(); });
  EXPECT_EQ(number, jet::kErrSourceChanged);
  EXPECT_TRUE(Has(description, "修改时间由 ")) << description;
  EXPECT_FALSE(Has(description, "大小")) << description;
}

// An untouched file passes, however often it is asked, and asking reads
// nothing of it.
TEST_F(JetSource, AnUntouchedFilePassesAndTheCheckReadsNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "counts the bytes read in /proc/self/io (Linux only)";
#endif
  const std::string big = dir_.File("big.mdb");
  cli::WriteSample(big, {.scale = 20, .seed = 13});
  jet::Database db(big);
  EXPECT_GT(CountRows(db, "select * from bBalance"), 0);
  const std::uint64_t before = BytesReadByProcess();
  for (int i = 0; i < 100; ++i) db.VerifyUnchanged();
  const std::uint64_t read = BytesReadByProcess() - before;
  EXPECT_LT(read, kPage) << "of a file of " << fs::file_size(big) << " bytes";
}

// A file cut while a table is read: the next page it no longer holds whole
// fails the read with 3343 naming the table and the page (none of it, or a
// part), never a page of zeros; nothing is printed.
TEST_F(JetSource, AFileCutWhileATableIsReadFailsNamingTheTableAndThePage) {
  const std::string big = dir_.File("big.mdb"), copy = dir_.File("copy.mdb");
  cli::WriteSample(big, {.scale = 20, .seed = 13});
  fs::copy_file(big, copy);
  const std::string statement = "select * from bBalance";
  const std::int64_t total = CountRows(big, statement);
  constexpr std::int64_t kBeforeCut = 100;
  ASSERT_GT(total, 10 * kBeforeCut);

  // Reads `kBeforeCut` rows of `file`, cuts it to `size` bytes, then reads
  // on; returns the error and the rows read in all.
  auto read_cut = [&](const std::string& file, std::uintmax_t size) {
    jet::Database db(file);
    auto reader = db.Query(statement);
    std::int64_t rows = 0;
    dts::Row row;
    for (; rows < kBeforeCut && reader->Next(row); ++rows) {
    }
    fs::resize_file(file, size);
    const auto error = ErrorOf([&] {
      while (reader->Next(row)) ++rows;
    });
    return std::make_pair(error, rows);
  };

  StderrCapture stderr_of_read(dir_.File("stderr.txt"));
  // To the first three pages: the next page is past the end.
  const auto [beyond, rows] = read_cut(big, 3 * kPage);
  EXPECT_EQ(beyond.first, jet::kErrNotJetDatabase) << beyond.second;
  EXPECT_TRUE(Has(beyond.second, "bBalance")) << beyond.second;
  EXPECT_TRUE(Has(beyond.second, "只读到 0 字节")) << beyond.second;
  EXPECT_LT(rows, total);
  const std::uint64_t page = PageNumber(beyond.second);
  EXPECT_GE(page, 3u) << beyond.second;

  // Into that page: a part of it is there.
  const auto [partial, rows_again] = read_cut(copy, page * kPage + 100);
  EXPECT_EQ(partial.first, jet::kErrNotJetDatabase) << partial.second;
  EXPECT_TRUE(Has(partial.second, "bBalance")) << partial.second;
  EXPECT_TRUE(Has(partial.second, "第 " + std::to_string(page) + " 页")) << partial.second;
  EXPECT_TRUE(Has(partial.second, "只读到 100 字节")) << partial.second;
  EXPECT_EQ(rows_again, rows);
  EXPECT_EQ(stderr_of_read.Stop(), "");
}

// ------------------------------------------------------------- in a run

// A plan's imports in the order the run takes them.
struct Import {
  std::string name;
  std::string description;
  std::string statement;  // the source query
};

std::vector<Import> ImportsOf(const EmbeddedShop& shop, const std::string& source) {
  const auto package = testing_support::BuiltPackage(shop, kNormal, source);
  std::vector<Import> imports;
  for (const dts::Step* step : dts::RunOrderIfAllSucceed(*package)) {
    const dts::Task* task = package->Tasks().Find(step->GetText("TaskName"));
    if (task->kind() != dts::kDataPumpTaskKind) continue;
    imports.push_back({step->Name(), step->GetText("Description"), dts::PumpSourceStatement(task->AsDataPump())});
  }
  return imports;
}

// Runs an action once: when a step finishes, or at a step's first progress.
class ActOnce : public dts::PackageEvents {
 public:
  ActOnce(std::string step, bool at_progress, std::function<void()> action)
      : step_(std::move(step)), at_progress_(at_progress), action_(std::move(action)) {}
  void OnFinish(const std::string& source) override {
    if (!at_progress_) Act(source);
  }
  void OnProgress(const std::string& source, const std::string&, std::int32_t, std::int32_t, std::int32_t) override {
    if (at_progress_) Act(source);
  }
  bool acted() const { return acted_; }

 private:
  void Act(const std::string& source) {
    if (acted_ || source != step_) return;
    acted_ = true;
    action_();
  }
  std::string step_;
  bool at_progress_;
  std::function<void()> action_;
  bool acted_ = false;
};

class JetSourceRun : public ::testing::Test {
 protected:
  // Fills the destination from another shop (a run from an untouched
  // file commits), so that a run from shop.source that committed anything
  // would show.
  void SetUp() override {
    const std::string earlier = shop.dir.File("earlier.mdb");
    cli::WriteSample(earlier, {.scale = 2, .seed = 21});
    const auto run = testing_support::RunPlan(shop, kNormal, earlier);
    ASSERT_EQ(run.error, "");
    ASSERT_NE(shop.Snapshot(), fresh_);
    imports_ = ImportsOf(shop, shop.source);
    ASSERT_GE(imports_.size(), 2u);
  }

  EmbeddedShop shop;
  const std::map<std::string, std::vector<std::string>> fresh_ = shop.Snapshot();
  std::vector<Import> imports_;
};

// Another file renamed over the source after the first import: every later
// import still reads the file the run opened, and the run, asked before it
// commits, fails saying the file was replaced, committing nothing.
TEST_F(JetSourceRun, ASourceReplacedBetweenTwoImportsCommitsNothing) {
  VK_SKIP_ON_WINDOWS("a file renamed over one held open, which Windows refuses");
  const std::string kept = shop.dir.File("kept.mdb"), replacement = shop.dir.File("replacement.mdb");
  fs::copy_file(shop.source, kept);
  cli::WriteSample(replacement, {.scale = 3, .seed = 22});
  const auto before = shop.Snapshot();

  ActOnce rename(imports_[0].description, false, [&] { fs::rename(replacement, shop.source); });
  StderrCapture stderr_of_run(shop.dir.File("stderr.txt"));
  const auto run = testing_support::RunPlan(shop, kNormal, shop.source, rename);
  EXPECT_EQ(stderr_of_run.Stop(), "");
  ASSERT_TRUE(rename.acted());

  EXPECT_EQ(run.error_number, dts::kErrPackageFailed);
  EXPECT_TRUE(Has(run.error, kChanged)) << run.error;
  EXPECT_TRUE(Has(run.error, shop.source)) << run.error;
  EXPECT_TRUE(Has(run.error, "替换")) << run.error;
  EXPECT_EQ(shop.Snapshot(), before);

  std::int64_t differing = 0;
  for (std::size_t i = 1; i < imports_.size(); ++i) {
    SCOPED_TRACE(imports_[i].name);
    ASSERT_EQ(run.statistics.count(imports_[i].name), 1u);
    const std::int64_t in_kept = CountRows(kept, imports_[i].statement);
    EXPECT_EQ(run.statistics.at(imports_[i].name).rows_read, in_kept);
    differing += in_kept != CountRows(shop.source, imports_[i].statement);
  }
  EXPECT_GT(differing, 0);  // the replacement would have been seen
}

// The source written in place after the first import: the run fails naming
// the new size, or at the same size the new modification time, and commits
// nothing.
TEST_F(JetSourceRun, ASourceWrittenInPlaceBetweenTwoImportsCommitsNothing) {
  const std::string original = ReadFile(shop.source);
  const std::string other = shop.dir.File("other.mdb");
  cli::WriteSample(other, {.scale = 3, .seed = 23});
  const std::string replacement = ReadFile(other);
  ASSERT_NE(replacement.size(), original.size());
  const auto before = shop.Snapshot();

  {
    ActOnce write(imports_[0].description, false, [&] { WriteInPlace(shop.source, replacement); });
    StderrCapture stderr_of_run(shop.dir.File("stderr.txt"));
    const auto run = testing_support::RunPlan(shop, kNormal, shop.source, write);
    EXPECT_EQ(stderr_of_run.Stop(), "");
    ASSERT_TRUE(write.acted());
    EXPECT_EQ(run.error_number, dts::kErrPackageFailed);
    EXPECT_TRUE(Has(run.error, kChanged)) << run.error;
    EXPECT_TRUE(Has(run.error, "大小由 " + std::to_string(original.size()) + " 字节变为 " +
                                   std::to_string(replacement.size()) + " 字节"))
        << run.error;
    EXPECT_EQ(shop.Snapshot(), before);
  }

  WriteFile(shop.source, original);
  {
    ActOnce write(imports_[0].description, false, [&] {
      WriteInPlace(shop.source, original);
      fs::last_write_time(shop.source, fs::last_write_time(shop.source) - std::chrono::hours(24));
    });
    const auto run = testing_support::RunPlan(shop, kNormal, shop.source, write);
    ASSERT_TRUE(write.acted());
    EXPECT_EQ(run.error_number, dts::kErrPackageFailed);
    EXPECT_TRUE(Has(run.error, kChanged)) << run.error;
    EXPECT_TRUE(Has(run.error, "修改时间由 ")) << run.error;
    EXPECT_FALSE(Has(run.error, "大小")) << run.error;
    EXPECT_EQ(shop.Snapshot(), before);
  }
}

// The source cut while its largest table is imported: the import fails
// with the damaged-file error naming the table and the page, the step's
// report saying first that the file changed; nothing commits and nothing
// is printed.
TEST_F(JetSourceRun, ASourceCutDuringAnImportFailsNamingTheTableAndThePage) {
  const std::string big = shop.dir.File("big.mdb");
  cli::WriteSample(big, {.scale = 40, .seed = 24});
  const auto imports = ImportsOf(shop, big);
  const Import* balances = nullptr;
  for (const Import& i : imports) {
    if (Has(i.statement, "bBalance")) balances = &i;
  }
  ASSERT_NE(balances, nullptr);
  // The cut comes at the import's first progress (row 1000); reading runs
  // at most four batches of 512 rows ahead of writing, so rows are left to
  // read after it.
  const std::int64_t total = CountRows(big, balances->statement);
  ASSERT_GT(total, 1000 + 4 * 512 + 512);
  const auto before = shop.Snapshot();

  ActOnce cut(balances->description, true, [&] { fs::resize_file(big, 3 * kPage); });
  StderrCapture stderr_of_run(shop.dir.File("stderr.txt"));
  const auto run = testing_support::RunPlan(shop, kNormal, big, cut);
  EXPECT_EQ(stderr_of_run.Stop(), "");
  ASSERT_TRUE(cut.acted());

  EXPECT_EQ(run.error_number, dts::kErrPackageFailed);
  ASSERT_EQ(run.reports.size(), 1u) << run.error;
  const std::string& report = run.reports[0];
  EXPECT_EQ(report.rfind(balances->name + " failed\r\n", 0), 0u) << report;
  EXPECT_TRUE(Has(report, kChanged)) << report;
  EXPECT_TRUE(Has(report, "大小由 ")) << report;
  EXPECT_TRUE(Has(report, "已损坏")) << report;
  EXPECT_TRUE(Has(report, "表“bBalance”")) << report;
  EXPECT_GE(PageNumber(report, " 页）时只读到 0 字节"), 3u) << report;
  EXPECT_FALSE(Has(report, "PRIMARY KEY")) << report;
  EXPECT_LT(run.statistics.at(balances->name).rows_read, total);
  EXPECT_EQ(shop.Snapshot(), before);
}

}  // namespace
