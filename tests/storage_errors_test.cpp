// The storage under the embedded server failing: a disk that fills at any
// moment of an upgrade, a server folder that cannot be written, and the
// engine's transactions after SQLite has rolled back by itself. Each error
// must name the storage failure and the file, never a savepoint; each
// database must be left as it was and sound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/sample.h"
#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "tests/support/fault_injection.h"
#include "tests/support/files.h"
#include "tests/support/plan_run.h"
#include "tests/support/shop.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

std::string OsText(int error) { return std::generic_category().message(error); }

#ifndef _WIN32
// A tmpfs mounted over a folder for one test, unmounted when destroyed
// whatever the test left in it or open on it.
class Tmpfs {
 public:
  // Mounts `bytes` of tmpfs at `dir` (made when missing); null, with the
  // reason in `why`, where mounting is not permitted.
  static std::unique_ptr<Tmpfs> Mount(const std::string& dir, std::uint64_t bytes, std::string* why) {
    fs::create_directories(dir);
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      *why = "cannot mount a tmpfs at " + dir + ": " + OsText(errno);
      return nullptr;
    }
    return std::unique_ptr<Tmpfs>(new Tmpfs(dir));
  }
  ~Tmpfs() { ::umount2(dir_.c_str(), MNT_DETACH); }
  Tmpfs(const Tmpfs&) = delete;
  Tmpfs& operator=(const Tmpfs&) = delete;

  const std::string& dir() const { return dir_; }
  std::string Filler() const { return dir_ + "/filler"; }

  // Free bytes, as an ordinary user may take them.
  std::uint64_t Free() const {
    struct statvfs fs {};
    if (::statvfs(dir_.c_str(), &fs) != 0) throw std::system_error(errno, std::generic_category(), dir_);
    return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  }
  std::uint64_t PageSize() const {
    struct statvfs fs {};
    if (::statvfs(dir_.c_str(), &fs) != 0) throw std::system_error(errno, std::generic_category(), dir_);
    return fs.f_frsize;
  }

  // Takes the free space but `leave` bytes (whole pages) with a filler
  // file; true when the file system then has exactly `leave` left.
  bool Fill(std::uint64_t leave) {
    RemoveFiller();
    const std::uint64_t free = Free();
    if (free < leave) return false;
    if (free > leave) {
      const int fd = ::open(Filler().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) return false;
      const int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(free - leave));
      ::close(fd);
      if (rc != 0) return false;
    }
    return Free() == leave;
  }
  void RemoveFiller() {
    std::error_code ec;
    fs::remove(Filler(), ec);
  }

  // Remounts it read-only; false, with the reason, when refused.
  bool MakeReadOnly(std::string* why) {
    if (::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      *why = "cannot remount " + dir_ + " read-only: " + OsText(errno);
      return false;
    }
    return true;
  }

 private:
  explicit Tmpfs(std::string dir) : dir_(std::move(dir)) {}
  std::string dir_;
};
#else
// Windows has no small file system a test can mount: the tests needing one
// skip there.
class Tmpfs {
 public:
  static std::unique_ptr<Tmpfs> Mount(const std::string&, std::uint64_t, std::string* why) {
    *why = "needs a tmpfs mounted by the test (Linux only)";
    return nullptr;
  }
  const std::string& dir() const { return dir_; }
  std::uint64_t Free() const { return 0; }
  std::uint64_t PageSize() const { return 0; }
  bool Fill(std::uint64_t) { return false; }
  void RemoveFiller() {}
  bool MakeReadOnly(std::string* why) { return Mount(dir_, 0, why) != nullptr; }

 private:
  std::string dir_;
};
#endif  // _WIN32

std::string Korvel() { return ShellQuote(testing_support::BinDir() + "/korvel"); }

// The first free-space figure an error gives ("has 0 bytes free"), or -1.
long long FreeBytesIn(const std::string& text) {
  for (std::size_t at = text.find("has "); at != std::string::npos; at = text.find("has ", at + 1)) {
    std::size_t end = at + 4;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end > at + 4 && text.compare(end, 6, " bytes") == 0) {
      const std::size_t free_at = text.find(" free", end);
      // "has N bytes free" or "has N bytes (x MB) free"
      if (free_at != std::string::npos && free_at - end <= 20) return std::stoll(text.substr(at + 4, end - at - 4));
    }
  }
  return -1;
}

// ------------------------------------------------------------ the upgrade

// The shop's server folder moved onto a tmpfs, as first made: a 6.0
// database as the creation script leaves it. Each run starts from that.
class StorageFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::rename(shop.server_folder, pristine_);
    std::string why;
    volume_ = Tmpfs::Mount(shop.server_folder, 64u << 20, &why);
    if (!volume_) GTEST_SKIP() << why;
    Restore();
  }

  // Puts the server folder back as first made (the filler stays away).
  void Restore() {
    volume_->RemoveFiller();
    for (const auto& e : fs::directory_iterator(shop.server_folder)) fs::remove_all(e.path());
    for (const auto& e : fs::directory_iterator(pristine_)) {
      fs::copy(e.path(), fs::path(shop.server_folder) / e.path().filename());
    }
  }

  testing_support::CommandResult KorvelRun(const std::string& source, const std::string& report) const {
    return RunCommand("KPW=" + std::string(testing_support::EmbeddedShop::kPassword) + " " + Korvel() +
                      " run --model C5to6Normal --source " + ShellQuote(source) + " --server " +
                      ShellQuote(shop.server) + " --user sa --password-env KPW --database Sales60 --report " +
                      ShellQuote(report));
  }

  std::string CheckDatabase() const {
    const auto r = RunCommand(Korvel() + " check-database --server " + ShellQuote(shop.server) +
                              " --user sa --password secret --database Sales60");
    return r.exit_code == 0 ? r.out : r.out + r.err;
  }

  testing_support::EmbeddedShop shop;
  std::string pristine_ = shop.dir.File("srv.as-made");
  std::unique_ptr<Tmpfs> volume_;  // after shop: unmounted before the shop's folder goes
};

// A run of C5to6Normal writes to the disk at the moments it needs room:
// each step that changes pages the database had appends their old
// contents to the rollback journal, and the commit writes the new pages.
// A run measured on a roomy tmpfs gives the space the run has taken before
// each step and before its commit; the disk is then filled so that its
// last page goes just before the moment under test: the first import that
// needs room, the first posting procedure that does, the commit.
TEST_F(StorageFailure, AFullDiskAtAnyMomentOfAnUpgradeIsNamedAndChangesNothing) {
  const std::string source = shop.dir.File("big.mdb");
  cli::WriteSample(source, {.scale = 20, .seed = 21});
  const auto before = shop.Snapshot();
  const std::uint64_t page = volume_->PageSize();

  const std::uint64_t free_at_start = volume_->Free();
  std::vector<std::uint64_t> used;  // [n - 1]: taken before the n-th step
  std::uint64_t used_at_commit = 0;
  testing_support::PlanOutcome measured;
  {
    testing_support::FaultInjection watch("SQLOLEDB", [&](int n) {
      (n == 0 ? used_at_commit : used.emplace_back()) = free_at_start - volume_->Free();
    });
    measured = testing_support::RunPlan(shop, "C5to6Normal", source);
  }
  ASSERT_EQ(measured.error, "");
  ASSERT_EQ(measured.started.size(), used.size());
  const std::uint64_t grown = free_at_start - volume_->Free();  // the committed database alone
  ASSERT_GT(grown, 4 * page);
  Restore();
  ASSERT_EQ(volume_->Free(), free_at_start);

  struct Moment {
    std::string name;
    std::uint64_t leave;   // free bytes at the start of the run
    std::string step;      // the step that must fail, "" for the commit
  };
  std::vector<Moment> moments;
  auto first_needing_room = [&](const std::string& prefix) {
    for (std::size_t i = 0; i < used.size(); ++i) {
      const std::uint64_t after = i + 1 < used.size() ? used[i + 1] : used_at_commit;
      if (measured.started[i].rfind(prefix, 0) == 0 && after > used[i]) {
        moments.push_back({prefix, used[i], measured.started[i]});
        return;
      }
    }
    ADD_FAILURE() << "no step " << prefix << "… needs room";
  };
  first_needing_room("导入数据到");
  first_needing_room("执行存储过程 Write");
  // At the commit, which writes the new pages while the journal is still
  // there: room for the journal and half the growth.
  moments.push_back({"commit", (used_at_commit + grown / 2) / page * page, ""});

  for (const Moment& moment : moments) {
    SCOPED_TRACE(moment.name + " " + moment.step);
    Restore();
    ASSERT_TRUE(volume_->Fill(moment.leave));
    const std::string report = shop.dir.File("run.json");
    const auto run = KorvelRun(source, report);
    const long long free_named = FreeBytesIn(run.err);
    volume_->RemoveFiller();

    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("Could not allocate space for object 'dbo."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("in database 'Sales60' because the 'PRIMARY' filegroup is full."), std::string::npos);
    EXPECT_NE(run.err.find("The file system holding the database file '" + shop.database_file + "' has "),
              std::string::npos)
        << run.err;
    EXPECT_GE(free_named, 0) << run.err;
    EXPECT_LE(free_named, static_cast<long long>(free_at_start)) << run.err;
    EXPECT_EQ(run.err.find("savepoint"), std::string::npos) << run.err;
    const std::string json = testing_support::ReadFile(report);
    if (moment.step.empty()) {
      // Every step ran; the package's commit failed.
      EXPECT_NE(run.err.find("提交事务时出错"), std::string::npos) << run.err;
      for (const auto& step : measured.started) EXPECT_NE(run.out.find("√ " + step), std::string::npos) << step;
    } else {
      EXPECT_NE(run.err.find("步骤“" + moment.step + "”失败"), std::string::npos) << run.err;
      EXPECT_NE(json.find("\"number\": 1105"), std::string::npos) << json;
    }
    EXPECT_EQ(shop.Snapshot(), before);
    EXPECT_EQ(shop.IntegrityCheck(), "ok");
    EXPECT_EQ(CheckDatabase(), "ok\n");
  }

  // With the room back, the same run goes through.
  Restore();
  const auto run = KorvelRun(source, shop.dir.File("run.json"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
}

// A server folder that cannot be written (a read-only mount; its owner
// would be refused by the files' modes alike) names the file it cannot
// open and why, for a run and for a query.
TEST_F(StorageFailure, AReadOnlyServerFolderIsNamedWithItsCause) {
  std::string why;
  if (!volume_->MakeReadOnly(&why)) GTEST_SKIP() << why;
  const std::string cause = "Operating system error " + std::to_string(EROFS) + ": \"" + OsText(EROFS) + "\"";
  const auto run = KorvelRun(shop.source, shop.dir.File("run.json"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("错误 5120"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Unable to open the physical file \"" + shop.server_folder + "/"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(cause), std::string::npos) << run.err;

  const auto sql = RunCommand(Korvel() + " sql --server " + ShellQuote(shop.server) +
                              " --user sa --password secret --database Sales60 'select count(*) from Depart'");
  EXPECT_EQ(sql.exit_code, 1);
  EXPECT_NE(sql.err.find("错误 5120"), std::string::npos) << sql.err;
  EXPECT_NE(sql.err.find("Unable to open the physical file \"" + shop.server_folder + "/"), std::string::npos)
      << sql.err;
  EXPECT_NE(sql.err.find(cause), std::string::npos) << sql.err;
}

// ------------------------------------------------------------ the engine

// An engine's database on a small tmpfs of its own: table T holds ten
// rows of 900 characters.
class EngineOnSmallDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    volume_ = Tmpfs::Mount(dir_.File("vol"), 8u << 20, &why);
    if (!volume_) GTEST_SKIP() << why;
    auto server = sqlsrv::Server::CreateOrOpen(volume_->dir() + "/srv", "pw");
    file_ = server->CreateDatabase("Shop");
    engine_ = std::make_unique<sqlsrv::Engine>(file_, "Shop", "sa");
    engine_->Execute("create table T (id int not null primary key, pad varchar(900) not null)\n"
                     "create table U (id int not null primary key, pad varchar(900) not null)");
    for (int i = 0; i < 10; ++i) {
      engine_->Execute("insert into T values (" + std::to_string(i) + ", '" + std::string(900, 'a' + i) + "')");
    }
  }
  void TearDown() override { engine_.reset(); }

  std::string Scalar(const std::string& sql) {
    sqlsrv::BatchOutput out;
    engine_->Execute(sql, &out);
    return out.results.at(0).rows.at(0).at(0).ToText();
  }
  // The error a batch raises; number 0 when it runs.
  com::Error ErrorOf(const std::string& sql) {
    try {
      engine_->Execute(sql);
    } catch (const com::Error& e) {
      return e;
    }
    return com::Error(0, "", "");
  }
  // 10,000 rows copied in one statement, far more than the page cache
  // holds, so that the statement itself writes.
  static constexpr char kCopyMany[] =
      "insert into U select a.id * 1000 + b.id * 100 + c.id * 10 + d.id, a.pad from T a, T b, T c, T d";

  TempDir dir_;
  std::unique_ptr<Tmpfs> volume_;
  std::string file_;
  std::unique_ptr<sqlsrv::Engine> engine_;
};

TEST_F(EngineOnSmallDisk, AStatementThatFindsNoRoomRaises1105AndItsTransactionStillRollsBack) {
  engine_->Execute("begin tran insert into U values (-1, 'kept until the rollback')");
  ASSERT_TRUE(volume_->Fill(0));
  const com::Error full = ErrorOf(kCopyMany);
  EXPECT_EQ(full.number(), 1105) << full.description();
  EXPECT_EQ(full.description().find("Could not allocate space for object 'dbo.U' in database 'Shop' because the "
                                    "'PRIMARY' filegroup is full. The file system holding the database file '" +
                                    file_ + "' has "),
            0u)
      << full.description();
  EXPECT_GE(FreeBytesIn(full.description()), 0);
  // The transaction is still the session's to end; nothing is written or
  // committed in it meanwhile, whatever SQLite kept of it.
  EXPECT_EQ(Scalar("select @@trancount"), "1");
  const com::Error write = ErrorOf("insert into U values (-2, 'x')");
  EXPECT_EQ(write.number(), 3930) << write.description();
  EXPECT_EQ(ErrorOf("commit").number(), 3930);
  EXPECT_EQ(Scalar("select count(*) from T"), "10");  // reading goes on
  EXPECT_EQ(ErrorOf("rollback").number(), 0);
  EXPECT_EQ(Scalar("select @@trancount"), "0");
  EXPECT_EQ(Scalar("select count(*) from U"), "0");
  volume_->RemoveFiller();
  EXPECT_EQ(ErrorOf("insert into U values (1, 'fresh')").number(), 0);
  EXPECT_EQ(Scalar("select count(*) from U"), "1");
  EXPECT_EQ(Scalar("select count(*) from T"), "10");
  engine_.reset();
  EXPECT_EQ(sqlsrv::Engine::CheckDatabaseFile(file_), std::vector<std::string>{"ok"});
}

// A CATCH block sees the transaction the full disk cost as one that cannot
// commit (XACT_STATE() -1, as 3930 says), and rolls it back.
TEST_F(EngineOnSmallDisk, ACatchBlockSeesATransactionLostToAFullDiskAsUncommittable) {
  engine_->Execute("begin tran insert into U values (-1, 'lost with the transaction')");
  ASSERT_TRUE(volume_->Fill(0));
  sqlsrv::BatchOutput out;
  engine_->Execute(std::string("begin try ") + kCopyMany +
                       " end try begin catch select error_number(), xact_state(), @@trancount rollback end catch",
                   &out);
  ASSERT_EQ(out.results.size(), 1u);
  ASSERT_EQ(out.results[0].rows.size(), 1u);
  const auto& row = out.results[0].rows[0];
  EXPECT_EQ(row.at(0).ToText(), "1105");
  EXPECT_EQ(row.at(1).ToText(), "-1");
  EXPECT_EQ(row.at(2).ToText(), "1");
  EXPECT_EQ(Scalar("select @@trancount"), "0");
  volume_->RemoveFiller();
  EXPECT_EQ(Scalar("select count(*) from U"), "0");
}

TEST_F(EngineOnSmallDisk, AStatementOfItsOwnThatFindsNoRoomLeavesNothingAndTheNextRuns) {
  ASSERT_TRUE(volume_->Fill(0));
  EXPECT_EQ(ErrorOf(kCopyMany).number(), 1105);
  EXPECT_EQ(Scalar("select @@trancount"), "0");
  EXPECT_EQ(Scalar("select count(*) from U"), "0");
  // Row by row, each row its own statement: the one that finds no room
  // fails alone.
  ASSERT_TRUE(volume_->Fill(64 * volume_->PageSize()));
  int stored = 0;
  com::Error last(0, "", "");
  for (int i = 0; i < 10000 && last.number() == 0; ++i) {
    last = ErrorOf("insert into U values (" + std::to_string(i) + ", '" + std::string(900, 'u') + "')");
    if (last.number() == 0) ++stored;
  }
  EXPECT_EQ(last.number(), 1105) << last.description();
  EXPECT_EQ(Scalar("select count(*) from U"), std::to_string(stored));
  volume_->RemoveFiller();
  EXPECT_EQ(ErrorOf("insert into U values (-1, 'fresh')").number(), 0);
  EXPECT_EQ(Scalar("select count(*) from U"), std::to_string(stored + 1));
  engine_.reset();
  EXPECT_EQ(sqlsrv::Engine::CheckDatabaseFile(file_), std::vector<std::string>{"ok"});
}

TEST_F(EngineOnSmallDisk, AProcedureThatFindsNoRoomUndoesItsOwnTransactionAndLeavesTheCallersToRollBack) {
  engine_->Execute(std::string("create procedure CopyMany as\nbegin tran\n") + kCopyMany + "\ncommit");
  ASSERT_TRUE(volume_->Fill(0));
  // Called on its own: nothing is left open.
  EXPECT_EQ(ErrorOf("exec CopyMany").number(), 1105);
  EXPECT_EQ(Scalar("select @@trancount"), "0");
  EXPECT_EQ(ErrorOf("rollback").number(), 3903);
  // Called inside the caller's transaction: the procedure's BEGIN TRAN is
  // undone, the caller's stays for its ROLLBACK.
  EXPECT_EQ(ErrorOf("begin tran exec CopyMany").number(), 1105);
  EXPECT_EQ(Scalar("select @@trancount"), "1");
  EXPECT_EQ(ErrorOf("rollback").number(), 0);
  EXPECT_EQ(Scalar("select @@trancount"), "0");
  volume_->RemoveFiller();
  EXPECT_EQ(ErrorOf("insert into U values (1, 'fresh')").number(), 0);
  EXPECT_EQ(Scalar("select count(*) from U"), "1");
  engine_.reset();
  EXPECT_EQ(sqlsrv::Engine::CheckDatabaseFile(file_), std::vector<std::string>{"ok"});
}

TEST_F(EngineOnSmallDisk, ACommitThatFindsNoRoomRaises1105AndEndsTheTransaction) {
  // Fewer rows than the page cache holds: written only at the commit.
  engine_->Execute("begin tran insert into U select a.id * 10 + b.id, a.pad from T a, T b");
  ASSERT_TRUE(volume_->Fill(0));
  const com::Error full = ErrorOf("commit");
  EXPECT_EQ(full.number(), 1105) << full.description();
  EXPECT_NE(full.description().find("database 'Shop'"), std::string::npos) << full.description();
  EXPECT_NE(full.description().find(file_), std::string::npos) << full.description();
  // Over, rolled back: nothing of it remains and nothing is left to end.
  EXPECT_EQ(Scalar("select @@trancount"), "0");
  EXPECT_EQ(ErrorOf("rollback").number(), 3903);
  EXPECT_EQ(Scalar("select count(*) from U"), "0");
  volume_->RemoveFiller();
  EXPECT_EQ(ErrorOf("insert into U values (1, 'fresh')").number(), 0);
  engine_.reset();
  EXPECT_EQ(sqlsrv::Engine::CheckDatabaseFile(file_), std::vector<std::string>{"ok"});
}

TEST_F(EngineOnSmallDisk, AFileThatCannotBeWrittenIsNamedWithItsCause) {
  // A database file in a rollback journal's mode opens on a read-only
  // file system, for reading.
  const std::string file = volume_->dir() + "/plain.sqlite3";
  {
    sqlsrv::Db db(file, true);
    db.Exec("PRAGMA journal_mode = DELETE; CREATE TABLE t (a)");
  }
  engine_.reset();
  std::string why;
  if (!volume_->MakeReadOnly(&why)) GTEST_SKIP() << why;
  sqlsrv::Db db(file, false);
  db.SetDatabaseName("Plain");
  try {
    db.Exec("INSERT INTO t VALUES (1)");
    ADD_FAILURE() << "written on a read-only file system";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 3906);
    EXPECT_EQ(e.description(), "Failed to update database 'Plain' because the database is read-only. The database file '" +
                                   file + "' cannot be written: " + OsText(EROFS) + ".");
  }
  // The engine's own databases keep a write-ahead log, which cannot even
  // be read there.
  try {
    sqlsrv::Engine engine(file_, "Shop", "sa");
    ADD_FAILURE() << "opened";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 5120);
    EXPECT_NE(e.description().find("Unable to open the physical file \""), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("Operating system error " + std::to_string(EROFS) + ": \"" + OsText(EROFS) + "\"."),
              std::string::npos)
        << e.description();
  }
}

// ------------------------------------------------------------ no mount needed

TEST(StorageErrorNames, EveryStorageFailureNamesTheFileAndItsCause) {
  TempDir dir;
  // A file that is not there.
  const std::string missing = dir.File("none/db.sqlite3");
  try {
    sqlsrv::Db db(missing, false);
    ADD_FAILURE() << "opened";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 5120);
    EXPECT_EQ(e.description(), "Unable to open the physical file \"" + missing + "\". Operating system error " +
                                   std::to_string(ENOENT) + ": \"" + OsText(ENOENT) + "\".");
  }
  // A database at its largest size: full, whatever the disk has left.
  const std::string file = dir.File("small.sqlite3");
  sqlsrv::Db db(file, true);
  db.SetDatabaseName("Small");
  db.Exec("CREATE TABLE Goods (a TEXT)");
  db.SetTableWritten("Goods");
  sqlsrv::Prepared pages(db, "PRAGMA page_count");
  ASSERT_TRUE(pages.Step());
  db.Exec("PRAGMA max_page_count = " + std::to_string(pages.Int(0)));
  const std::string prefix = "Could not allocate space for object 'dbo.Goods' in database 'Small' because the 'PRIMARY' "
                             "filegroup is full. The file system holding the database file '" + file + "' has ";
  try {
    db.Exec("INSERT INTO Goods VALUES (zeroblob(100000))");
    ADD_FAILURE() << "inserted";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 1105);
    EXPECT_EQ(e.description().find(prefix), 0u) << e.description();
    EXPECT_GE(FreeBytesIn(e.description()), 0) << e.description();
  }
  sqlsrv::Prepared insert(db, "INSERT INTO Goods VALUES (zeroblob(100000))");
  try {
    insert.Step();
    ADD_FAILURE() << "inserted";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), 1105);
    EXPECT_EQ(e.description().find(prefix), 0u) << e.description();
  }
  // The other failures of the storage, as SQLite reports them.
  const sqlsrv::StorageNames names{file, "Small", "dbo.Goods"};
  const com::Error io = sqlsrv::SqliteError(nullptr, SQLITE_IOERR_WRITE, "", names);
  EXPECT_EQ(io.number(), 823);
  EXPECT_EQ(io.description(), "I/O error 0(" + std::string(sqlite3_errstr(SQLITE_IOERR_WRITE)) +
                                  ") detected during write of file '" + file + "'.");
  EXPECT_EQ(sqlsrv::SqliteError(nullptr, SQLITE_IOERR_READ, "", names).description(),
            "I/O error 0(" + std::string(sqlite3_errstr(SQLITE_IOERR_READ)) + ") detected during read of file '" + file +
                "'.");
  EXPECT_EQ(sqlsrv::SqliteError(nullptr, SQLITE_NOMEM, "", names).number(), 701);
  EXPECT_EQ(sqlsrv::SqliteError(nullptr, SQLITE_BUSY, "", names).number(), 1222);
  const com::Error other = sqlsrv::SqliteError(nullptr, SQLITE_CORRUPT, "无法准备语句", names);
  EXPECT_EQ(other.number(), sqlsrv::kErrStorage);
  EXPECT_EQ(other.source(), "SQLite");
  EXPECT_EQ(other.description().rfind("无法准备语句：", 0), 0u) << other.description();
}

}  // namespace
