// One login to a SQL Server over TDS, through db-lib: batches sent, their
// results read, and every failure raised as a com::Error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/freetds_client/dblib.h"
#include "platform/sqlserver/freetds_client/session.h"  // LoginParameters

namespace sqlsrv::net {

class Connection {
 public:
  // Logs in with SQL Server authentication and UTF-8 as the client's
  // character set, the TDS version FreeTDS negotiates with the server (7.4
  // asked; SQL Server 2000 answers 7.1). Raises as dblib.h says; the
  // password goes nowhere but the login packet.
  explicit Connection(const LoginParameters& login);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs a batch and reads all it returns; raises the first error it
  // produced. Returns the row counts the statements reported, in order.
  std::vector<std::int64_t> Execute(std::string_view sql);

  // Runs a batch and fills `out` with every result set, count and notice
  // it returns, in order; raises its first error after reading it all.
  void RunBatch(std::string_view sql, dts::BatchResults* out);

  // Sends a batch and moves to its first result with columns, for reading
  // rows; raises when the batch fails before that. False when the batch
  // returned no rows at all (its results are then read to the end).
  bool StartQuery(std::string_view sql);
  // The next row of the current result into `row`; false at its end, when
  // the batch's other results are read to the end too. Raises a failure.
  bool NextRow(dts::Row& row);
  // Column names and types of the current result.
  std::vector<dts::ColumnInfo> ResultColumns() const;

  // Reads and drops whatever the last batch still has to say.
  void Drain();

  // The error the log holds (or a description of `what` failing), after
  // which the log starts afresh.
  [[noreturn]] void Raise(std::string_view what);

  DBPROCESS* proc() const { return proc_; }
  MessageLog& log() { return log_; }
  const std::string& data_source() const { return data_source_; }
  bool dead() const;

 private:
  // Sends `sql` as a new batch, after reading what the last one still has
  // to say; raises as Raise(what) when the server does not take it.
  void Send(std::string_view sql, std::string_view what);
  // Moves to the batch's next result; false at the end.
  bool NextResult();
  // Reads past the rest of the current result's rows.
  void SkipRows();

  static constexpr int kMaxFailedResults = 1000;
  DBPROCESS* proc_ = nullptr;
  MessageLog log_;
  std::string data_source_;
  bool in_query_ = false;
};

// The value of column `column` (1-based) of the current row.
com::Variant ValueOf(DBPROCESS* proc, int column);

}  // namespace sqlsrv::net
