// A test with the embedded engine on a database of its own: a server folder
// (sa's password "pw") holding Sales60, opened as sa from host POS01.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "tests/support/files.h"

namespace testing_support {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;

  void Exec(const std::string& sql) { db->Execute(sql); }
  // What a batch gave.
  sqlsrv::BatchOutput Run(const std::string& sql);
  // Every row of every result set of a batch, as TSV lines.
  std::vector<std::string> Rows(const std::string& sql);
  static std::vector<std::string> Lines(const sqlsrv::BatchOutput& out);
  // The first row, "(none)" when there is none.
  std::string One(const std::string& sql);

  TempDir dir;
  std::unique_ptr<sqlsrv::Server> server;
  std::string file;
  std::unique_ptr<sqlsrv::Engine> db;
};

}  // namespace testing_support
