#include "tests/support/shop.h"

#include <algorithm>

#include "cli/sample.h"
#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/translation/sqlite_functions.h"

namespace testing_support {

EmbeddedShop::EmbeddedShop()
    : server_folder(dir.File("srv")), server("file:" + server_folder), source(dir.File("shop.mdb")) {
  auto srv = sqlsrv::Server::CreateOrOpen(server_folder, kPassword);
  database_file = srv->CreateDatabase(kDatabase);
  sqlsrv::Engine(database_file, kDatabase, "sa").Execute(ReadFile(TestDataDir() + "/../../data/sql/create60.sql"));
  cli::WriteSample(source, {.scale = 1, .seed = 3});
}

std::vector<std::string> EmbeddedShop::Query(const std::string& sql) const {
  sqlsrv::Engine engine(database_file, kDatabase, "sa");
  sqlsrv::BatchOutput out;
  engine.Execute(sql, &out);
  std::vector<std::string> lines;
  for (const auto& row : out.results.at(0).rows) lines.push_back(cli::FormatTsvLine(row));
  return lines;
}

std::map<std::string, std::vector<std::string>> EmbeddedShop::Snapshot() const {
  sqlsrv::Engine engine(database_file, kDatabase, "sa");
  auto query = [&](const std::string& sql) {
    sqlsrv::BatchOutput out;
    engine.Execute(sql, &out);
    std::vector<std::string> lines;
    for (const auto& row : out.results.at(0).rows) lines.push_back(cli::FormatTsvLine(row));
    return lines;
  };
  std::map<std::string, std::vector<std::string>> tables;
  for (const std::string& name : query("select name from sysobjects where xtype = 'U'")) {
    auto rows = query("select * from [" + name + "]");
    std::sort(rows.begin(), rows.end());
    tables[name] = std::move(rows);
  }
  return tables;
}

std::string EmbeddedShop::IntegrityCheck() const {
  std::string all;
  for (const auto& line : sqlsrv::Engine::CheckDatabaseFile(database_file)) all += (all.empty() ? "" : "\n") + line;
  return all;
}

std::vector<std::string> TsvLines(dts::RowReader& rows) {
  std::vector<std::string> lines;
  dts::Row row;
  while (rows.Next(row)) lines.push_back(cli::FormatTsvLine(row));
  return lines;
}

std::string EmbeddedShop::WriteSource(const std::string& name, const std::map<std::string, std::string>& tables) const {
  const std::string path = dir.File(name);
  std::string command = ShellQuote(BinDir() + "/korvel") + " mdb-write --out " + ShellQuote(path);
  for (const auto& [table, tsv] : tables) {
    const std::string file = dir.File(name + "." + table + ".tsv");
    WriteFile(file, tsv);
    command += " " + ShellQuote(table + "=" + file);
  }
  auto r = RunCommand(command);
  if (r.exit_code != 0) throw com::Error(com::kErrInvalidArgument, "test", "korvel mdb-write failed: " + r.err);
  return path;
}

std::string EmbeddedShop::WriteNamelessEmployeeSource(const std::string& name) const {
  return WriteSource(name, {{"Employee", "Code\tName\tDepID\nE1\t甲\t1\nE2\t乙\t1\nE3\t\\N\t2\nE4\t丁\t2\n"}});
}

}  // namespace testing_support
