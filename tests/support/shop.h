// A shop ready to upgrade: an embedded server in a fresh folder with a
// version 6.0 database "Sales60" (login sa, password kPassword) and a
// small version 5.6 sample shop beside it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/dts/driver.h"
#include "tests/support/files.h"

namespace testing_support {

// A query's rows as TSV lines (no header).
std::vector<std::string> TsvLines(dts::RowReader& rows);

class EmbeddedShop {
 public:
  static constexpr char kPassword[] = "secret";
  static constexpr char kDatabase[] = "Sales60";

  EmbeddedShop();

  TempDir dir;
  std::string server_folder;  // dir/srv
  std::string server;         // "file:" + server_folder, as a DataSource
  std::string database_file;  // the file holding Sales60
  std::string source;         // dir/shop.mdb

  // Runs a query on Sales60; one line per row, values tab-separated.
  std::vector<std::string> Query(const std::string& sql) const;

  // Every table of Sales60 with its rows, sorted: what a test compares to
  // show that a run left the database as it was.
  std::map<std::string, std::vector<std::string>> Snapshot() const;

  // SQLite's own check of the Sales60 file: "ok" when it is sound.
  std::string IntegrityCheck() const;

  // Writes a 5.6 file at dir/`name` from TSV texts, one per table
  // (korvel mdb-write); returns its path.
  std::string WriteSource(const std::string& name, const std::map<std::string, std::string>& tables) const;

  // Writes a 5.6 file at dir/`name` whose Employee table holds four
  // employees, the third (Code E3) without a name; returns its path.
  std::string WriteNamelessEmployeeSource(const std::string& name) const;
};

}  // namespace testing_support
