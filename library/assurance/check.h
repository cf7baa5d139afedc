// The check before an upgrade: what a plan's run would do with the source's
// rows, found without writing anything.
//
// Every data pump task is taken in the order the run would take it. Its
// source rows are read and converted by the data pump's own functions
// (platform/dts/pump_columns.h), and every row is held to the destination
// table's definition: a NULL for a column that allows none, text cut or
// changed to fit, a value that does not convert or is out of its column's
// range, a key that repeats a key of the rows before it, a foreign key
// whose parent is not among the rows the plan writes before. The plans
// empty every table they import and every table those refer to, so a
// parent the plan does not import is missing.
//
// The postings (WriteCustAcc, WriteSuppAcc, WriteCustody) are not run: the
// check counts the rows and sums the amounts they would post from the rows
// the plan imports, by the procedures' conditions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/dts/model.h"

namespace assurance {

enum class ProblemKind {
  kNotNull,      // 515: NULL for a column that allows none
  kCut,          // text longer than its column, cut to fit
  kReplaced,     // characters the column's code page cannot hold, written as '?'
  kTooLong,      // 8152: text longer than its column where cutting is not allowed
  kOutOfRange,   // 220, 8115, 242: a number past its column's range, a date outside datetime's
  kConversion,   // 245, 235, 241, 257: a value that does not convert
  kDuplicateKey, // 2627: a primary or unique key already written
  kForeignKey,   // 547: a reference to a row the plan does not write
  kTask,         // the task itself cannot run (a column missing, ...)
};

// "not_null", "cut", ...: the kind's name in the report.
const char* KindName(ProblemKind kind);
// "不能为空", "将截断", ...: the kind as the operator reads it.
const char* KindCaption(ProblemKind kind);
// Whether the kind fails the run (the others only change values).
bool KindFails(ProblemKind kind);

struct Problem {
  ProblemKind kind = ProblemKind::kTask;
  std::string step;      // the task's step
  std::string table;     // destination table: "Customer"
  std::string column;    // the column, or a key's columns joined by ", "; "" for a task
  std::int64_t row = 0;  // position in the source query (1 for the first row); 0 for a task
  std::string key;       // the row's key as the run names it: "UnitID=C001"
  std::int32_t number = 0;  // SQL Server's error number, 0 for cuts
  std::string message;      // the error the run would give
  std::size_t original_length = 0;  // cuts: the text's length and the length kept
  std::size_t cut_length = 0;
  std::string parent;  // foreign keys: the table referred to

  // Where the row is in the 5.6 file, for a list of fixes: the source
  // table (when the task reads a whole table, so that `row` is the row's
  // position in it), the source columns behind `column` and their values
  // ("NULL" for a null; joined by ", " for a key), and the source columns
  // and values behind the row's key ("UnitID=C001"). Empty for a task.
  std::string source_table;
  std::string source_column;
  std::string source_value;
  std::string source_key;
};

struct ColumnTally {
  std::string column;
  std::int64_t failing = 0;  // rows for which it fails
  std::int64_t cut = 0;      // rows whose value is cut or changed
};

struct TaskCheck {
  std::string step;
  std::string table;
  std::int64_t rows_read = 0;
  std::int64_t rows_failing = 0;
  std::int64_t rows_cut = 0;
  std::vector<ColumnTally> columns;  // the columns with a problem, in the order first met
};

struct PostingForecast {
  std::string step;    // "执行存储过程 WriteCustAcc"
  std::string ledger;  // "CustAcc"
  std::int64_t rows = 0;
  std::int64_t amount = 0;  // in 1/10000
  std::optional<std::int64_t> quantity;  // in 1/10000, for the custody book
};

struct CheckResult {
  std::vector<TaskCheck> tasks;
  std::vector<PostingForecast> postings;
  std::vector<Problem> problems;  // in run order: task, row, column

  bool Fails() const;
  bool Cuts() const;
};

// One problem as the operator reads it: "[引用不存在] Customer 第 3 行（UnitID=C3）
// 列“RegionID”，Region 中没有：INSERT statement conflicted ...".
std::string ProblemLine(const Problem& p);

// The check's conclusion in one sentence, as `korvel check` ends with it.
std::string VerdictText(const CheckResult& r);

// Progress of a table: the step, the rows checked so far (0 as a task
// begins, then every 10000 rows) and the rows the source expects to
// return (-1 when it cannot tell). An exception thrown by it stops the
// check and reaches CheckPackage's caller.
using CheckProgress = std::function<void(const std::string& step, std::int64_t rows, std::int64_t expected)>;

// A session on the package's destination, opened from the destination
// connection of its data pump tasks as the run opens it, for reading the
// tables' definitions. Raises com::Error when the login fails or the
// package has no data pump task.
std::unique_ptr<dts::Session> OpenPackageDestination(const dts::Package& package);

// Checks the package's data pump tasks. `definitions` is a session on a
// database holding the destination tables (the destination itself, or one
// made from the creation script); nothing is written through it, nor
// through the source connections, which are opened as the run opens them.
// Raises com::Error when the source or the definitions cannot be read.
CheckResult CheckPackage(const dts::Package& package, dts::Session& definitions, const CheckProgress& progress);

}  // namespace assurance
