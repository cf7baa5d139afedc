// The embedded server's folder against what goes wrong around it: names
// of any length SQL Server accepts, creations that are interrupted, run at
// once, or whose script fails.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

// The file names in the server folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::int32_t ErrorOf(const std::function<void()>& action) {
  try {
    action();
    return 0;
  } catch (const com::Error& e) {
    return e.number();
  }
}

// What a session sees of its server is what it was handed: with the
// server's directory, the server's other databases (made after the session
// opened too) and its logins; without one, its own database alone.
TEST(ServerFolder, ASessionSeesTheServerItWasHandedAndNothingElse) {
  TempDir dir;
  auto server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
  const std::string file = server->CreateDatabase("Shop");
  sqlsrv::Engine handed(file, "Shop", "sa", "", sqlsrv::Server::DirectoryOf(server->folder()));
  sqlsrv::Engine alone(file, "Shop", "sa");
  server->CreateDatabase("Later");
  server->AddLogin("clerk", "pw2");
  auto names = [](sqlsrv::Engine& e, const std::string& query) {
    sqlsrv::BatchOutput out;
    e.Execute(query, &out);
    std::vector<std::string> got;
    for (const auto& row : out.results.at(0).rows) got.push_back(row.at(0).ToText());
    return got;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(names(handed, "select name from sys.databases order by database_id"),
            (V{"master", "tempdb", "model", "msdb", "Shop", "Later"}));
  EXPECT_EQ(names(alone, "select name from sys.databases"), V{"Shop"});
  EXPECT_EQ(names(handed, "select name from sys.server_principals where name = 'clerk'"), V{"clerk"});
  EXPECT_EQ(names(alone, "select name from sys.server_principals where name = 'clerk'"), V{});
  // master, tempdb, model and msdb take 1 to 4; Shop 5, Later 6.
  EXPECT_EQ(names(handed, "select db_id('Later')"), V{"6"});
  EXPECT_EQ(ErrorOf([&] { handed.Execute("use Later"); }), 0);
  EXPECT_EQ(ErrorOf([&] { alone.Execute("use Later"); }), 911);
  // A folder holding no server gives no directory.
  EXPECT_EQ(sqlsrv::Server::DirectoryOf(dir.File("none")), nullptr);
}

TEST(ServerFolder, TakesEveryDatabaseNameSqlServerTakes) {
  TempDir dir;
  auto server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
  std::string chinese;
  for (int i = 0; i < 128; ++i) chinese += "库";
  const std::vector<std::string> names = {std::string(128, 'a'), std::string(127, 'a') + "B", chinese.substr(0, 40 * 3),
                                          chinese, "a]b c'"};
  for (const auto& name : names) {
    SCOPED_TRACE(name.size());
    const std::string file = server->CreateDatabase(name);
    EXPECT_LE(fs::path(file).filename().string().size(), 255u);
    EXPECT_EQ(fs::path(file).parent_path(), fs::path(dir.File("srv")));
    sqlsrv::Engine(file, name, "sa").Execute("create table T (a int not null primary key) insert into T values (1)");
  }
  // Names differing only in case are one name; two long names sharing their
  // first characters are two.
  EXPECT_EQ(ErrorOf([&] { server->CreateDatabase(std::string(128, 'A')); }), 1801);
  EXPECT_NE(*server->DatabaseFile(std::string(128, 'a')), *server->DatabaseFile(std::string(127, 'a') + "B"));
  EXPECT_EQ(ErrorOf([&] { server->CreateDatabase(std::string(129, 'a')); }), 102);
  for (const auto& name : names) {
    sqlsrv::Engine engine(*server->DatabaseFile(name), name, "sa");
    sqlsrv::BatchOutput out;
    engine.Execute("select count(*) from T", &out);
    EXPECT_EQ(out.results.at(0).rows.at(0).at(0).ToText(), "1");
  }
  for (const auto& name : names) server->DropDatabase(name);
  EXPECT_EQ(server->DatabaseNames(), (std::vector<std::string>{"master", "tempdb", "model", "msdb"}));
  std::vector<std::string> databases;  // files of databases, the four system ones left
  for (const auto& f : FilesIn(dir.File("srv"))) {
    if (f.starts_with("db-")) databases.push_back(f);
  }
  EXPECT_EQ(databases.size(), 4u);
}

TEST(ServerFolder, ADatabaseIsListedOnlyOnceItsScriptHasRun) {
  TempDir dir;
  auto server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
  const auto before = FilesIn(dir.File("srv"));
  // A script that fails leaves nothing.
  EXPECT_EQ(ErrorOf([&] {
              server->CreateDatabase("Sales60", [](const std::string& file) {
                sqlsrv::Engine(file, "Sales60", "sa").Execute("create table A (a int) create table A (a int)");
              });
            }),
            2714);
  EXPECT_FALSE(server->DatabaseFile("Sales60"));
  EXPECT_EQ(FilesIn(dir.File("srv")), before);
#ifndef _WIN32  // the process is a fork of the test's
  // A process killed inside the script leaves a file nobody lists, which
  // the next creation of the name discards.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlsrv::Server(dir.File("srv")).CreateDatabase("Sales60", [](const std::string& file) {
      sqlsrv::Engine(file, "Sales60", "sa").Execute("create table Half (a int)");
      _exit(0);
    });
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(server->DatabaseFile("Sales60"));
  EXPECT_EQ(server->DatabaseNames().size(), 4u);
#endif
  const std::string file = server->CreateDatabase("Sales60", [](const std::string& f) {
    sqlsrv::Engine(f, "Sales60", "sa").Execute("create table Whole (a int)");
  });
  sqlsrv::Engine engine(file, "Sales60", "sa");
  EXPECT_EQ(engine.DescribeTable("Whole").size(), 1u);
  EXPECT_EQ(ErrorOf([&] { engine.DescribeTable("Half"); }), 208);
}

TEST(ServerFolder, AnInterruptedOrSimultaneousServerCreationEndsInOneServer) {
  TempDir dir;
  // What a creation killed before its end leaves: a catalog not yet
  // renamed, already holding its tables.
  fs::create_directories(dir.File("srv"));
  sqlsrv::Db(dir.File("srv/server.sqlite3.new"), true).Exec("CREATE TABLE databases (x); CREATE TABLE logins (y);");
  EXPECT_NO_THROW(sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw"));
  EXPECT_FALSE(fs::exists(dir.File("srv/server.sqlite3.new")));
  // Two creations at once in a new folder: one makes the server, the other
  // waits and opens it; each then makes its database.
  std::vector<std::thread> creators;
  std::vector<int> errors(4, -1);
  for (int i = 0; i < 4; ++i) {
    creators.emplace_back([&, i] {
      errors[static_cast<std::size_t>(i)] = ErrorOf([&] {
        sqlsrv::Server::CreateOrOpen(dir.File("new"), "pw")->CreateDatabase("D" + std::to_string(i));
      });
    });
  }
  for (auto& t : creators) t.join();
  EXPECT_EQ(errors, (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(sqlsrv::Server(dir.File("new")).DatabaseNames().size(), 8u);
  // A server named without a folder is refused rather than taken as the
  // current folder.
  EXPECT_EQ(ErrorOf([] { sqlsrv::EmbeddedServerFolder("file:"); }), 17);
  EXPECT_EQ(sqlsrv::EmbeddedServerFolder("file:."), std::optional<std::string>("."));
}

}  // namespace
