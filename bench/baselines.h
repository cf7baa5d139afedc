// What an upgrade is measured against: reading the same rows with our Jet
// reader alone, inserting them into SQLite alone, and the tools a user
// would otherwise pick (mdbtools piped into sqlite3).
#pragma once

#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/upgrade_plan.h"

namespace bench {

// Seconds of wall and of CPU (user + system) time.
struct Cost {
  double wall = 0;
  double cpu = 0;
};

struct ScanResult {
  Cost cost;
  std::vector<long long> rows;  // per transfer, in the transfers' order
  long long TotalRows() const;
};

// Reads every row of each transfer's source query from `source` through
// jet::Database, keeping nothing. All of it is timed.
ScanResult ScanSources(const std::string& source, const std::vector<Transfer>& transfers);

struct InsertResult {
  Cost cost;  // the insert loops and the commit
  long long rows = 0;
};

// Inserts each transfer's rows into a new SQLite file at `target`: one
// plain table per transfer with the source query's columns (TEXT, INTEGER
// or REAL; money and dates as REAL) and the destination's primary key where
// the transfer feeds it column for column, one prepared INSERT per table,
// all in one transaction in the default journal mode. A table's rows are
// read into memory before its insert, untimed; only the insert loops and
// the COMMIT are timed.
InsertResult InsertIntoSqlite(const std::string& source, const std::vector<Transfer>& transfers,
                              const std::string& target);

// Inserts every row an upgrade left in `written` (a 6.0 database our run
// filled: the transferred tables and the ones the postings wrote) into the
// same tables of `fresh` (a new 6.0 database), parents before children,
// with one prepared INSERT per table (text bound where it lies) on a plain
// SQLite connection with the server's collation and functions, foreign
// keys on and the journal and cache of the upgrade's own load, all in one
// transaction: the cost of storing those rows in the
// destination's own tables, with their keys, indexes and foreign keys, and
// nothing else. The tables' own rows in `fresh` are deleted first. Rows
// are read 100,000 at a time, untimed; the inserts and the COMMIT are
// timed.
InsertResult InsertIntoDestinationTables(const std::string& written, const std::string& fresh);

// The floor: every row an upgrade left in `written` copied into the same
// tables of `fresh` (a new 6.0 database) by SQLite itself, one
// `INSERT INTO t SELECT * FROM src.t` per table from the attached file,
// parents before children, with the server's collation and functions,
// foreign keys on and the journal and cache of the upgrade's own load, in
// one transaction. The tables' own rows in `fresh` are deleted first,
// untimed; the copy and the COMMIT are timed.
InsertResult CopyDestinationTables(const std::string& written, const std::string& fresh);

struct PeerResult {
  ChildRun run;
  long long rows = 0;  // rows in the tables the peer made
};

// `mdb-schema -T TABLE SOURCE sqlite` for each table, then `mdb-export -I
// sqlite SOURCE TABLE` for each, between BEGIN and COMMIT, piped into
// `sqlite3 TARGET` (a new file). Timed from the shell's start to its end.
PeerResult RunPeer(const std::string& source, const std::vector<std::string>& tables, const std::string& target);

}  // namespace bench
