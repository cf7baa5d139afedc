// How a data pump task turns its source rows into the rows it writes:
// which destination columns it writes and from which source columns, and
// each value converted as the pump converts it. The data pump writes what
// this gives; the preflight check predicts from the same functions, so
// that both apply one set of rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/error.h"
#include "platform/dts/driver.h"
#include "platform/dts/model.h"

namespace dts {

struct PumpColumns {
  std::string object;                    // DestinationObjectName: "[D].[dbo].[T]"
  std::string table_name;                // as the server's messages name it: "D.dbo.T"
  std::vector<ColumnInfo> dest_columns;  // every column of the destination table
  std::vector<int> written;              // the destination column of each written value
  std::vector<int> from;                 // its source column; -1 for a listed column left empty
  bool allow_truncation = false;         // a transformation's TransformFlags allow cutting text
  std::int64_t first_row = 0;            // FirstRow and LastRow; 0 for no limit
  std::int64_t last_row = 0;

  const ColumnInfo& column(std::size_t k) const { return dest_columns[static_cast<std::size_t>(written[k])]; }
  // The written columns' names, in the order of `written`.
  std::vector<std::string> names() const;
};

// The task's source query and destination table; raises the pump's error
// when either is missing.
std::string PumpSourceStatement(const DataPumpTask& task);
std::string PumpDestinationObject(const DataPumpTask& task);

// Maps the task's transformations onto the source query's columns and the
// destination table's. A copy transformation writes source column i of its
// list into destination column i; a script transformation runs its column
// assignments (datapump.h) and writes its listed destination columns that
// it does not assign as NULL. Raises the pump's error for a column that is
// not there, a column written twice, an unsupported script or a task
// without transformations.
PumpColumns MapPumpColumns(const DataPumpTask& task, const std::vector<ColumnInfo>& source,
                           std::vector<ColumnInfo> destination);

// Where a source row (1 for the first) stands against FirstRow and LastRow.
enum class RowWindow { kTake, kSkip, kPast };
RowWindow WindowOf(const PumpColumns& p, std::int64_t position);

// Converts written value k of the source row `in` into `*out` as the pump
// writes it (convert.h); returns true when the value was changed to fit.
// Raises the conversion's error, or SQL Server's 515 for a NULL in a column
// that allows none.
bool ConvertWritten(const PumpColumns& p, std::size_t k, const Row& in, com::Variant* out);

// After written value k failed to convert: that value and the ones after
// it as the source gave them (NULL for columns left empty), so that the
// row's key can still be named, even when the key itself failed.
void KeepSourceValuesFrom(const PumpColumns& p, std::size_t k, const Row& in, Row* out);

// A value as a row's key names it: its text, or "NULL".
std::string KeyValueText(const com::Variant& v);

// The written key columns of a row: "UnitID=C001" ("" when the task writes
// none of the table's key).
std::string DescribeKey(const PumpColumns& p, const Row& out);

// A row's failure as the pump reports it: "第 N 行（key）无法写入 T 的列“C”：…"
// with the number and source of `e`.
com::Error RowError(const PumpColumns& p, const com::Error& e, std::int64_t position, const Row& out,
                    const std::string& column);

}  // namespace dts
