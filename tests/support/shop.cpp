#include "tests/support/shop.h"

#include "cli/sample.h"
#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"

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

std::vector<std::string> TsvLines(dts::RowReader& rows) {
  std::vector<std::string> lines;
  dts::Row row;
  while (rows.Next(row)) lines.push_back(cli::FormatTsvLine(row));
  return lines;
}

std::string EmbeddedShop::WriteNamelessEmployeeSource(const std::string& name) const {
  WriteFile(dir.File(name + ".tsv"), "Code\tName\tDepID\nE1\t甲\t1\nE2\t乙\t1\nE3\t\\N\t2\nE4\t丁\t2\n");
  const std::string path = dir.File(name);
  auto r = RunCommand(ShellQuote(BinDir() + "/korvel") + " mdb-write --out " + ShellQuote(path) +
                      " Employee=" + ShellQuote(dir.File(name + ".tsv")));
  if (r.exit_code != 0) throw com::Error(com::kErrInvalidArgument, "test", "korvel mdb-write failed: " + r.err);
  return path;
}

}  // namespace testing_support
