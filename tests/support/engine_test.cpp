#include "tests/support/engine_test.h"

#include "cli/tsv.h"

namespace testing_support {

void EngineTest::SetUp() {
  server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
  file = server->CreateDatabase("Sales60");
  db = std::make_unique<sqlsrv::Engine>(file, "Sales60", "sa", "POS01", sqlsrv::Server::DirectoryOf(server->folder()));
}

sqlsrv::BatchOutput EngineTest::Run(const std::string& sql) {
  sqlsrv::BatchOutput out;
  db->Execute(sql, &out);
  return out;
}

std::vector<std::string> EngineTest::Lines(const sqlsrv::BatchOutput& out) {
  std::vector<std::string> lines;
  for (const auto& rs : out.results) {
    for (const auto& row : rs.rows) lines.push_back(cli::FormatTsvLine(row));
  }
  return lines;
}

std::vector<std::string> EngineTest::Rows(const std::string& sql) { return Lines(Run(sql)); }

std::string EngineTest::One(const std::string& sql) {
  auto r = Rows(sql);
  return r.empty() ? "(none)" : r[0];
}

}  // namespace testing_support
