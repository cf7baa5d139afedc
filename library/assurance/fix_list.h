// A list of fixes to a 5.6 file: one line for each problem the check found,
// written for the operator to fill in a spreadsheet, and read back to make
// a corrected copy of the file (source_fix.h).
//
// The columns, by name in the first line:
//   表    the 5.6 table
//   行号  the row's position among the table's rows (1 for the first)
//   键    the row's key as the check saw it ("UnitID=C3"): the row at 行号
//         must still have it, so a list made from another file is refused
//   列    the column at fault (a key's columns joined by ", ")
//   当前值 its value there ("NULL" for a null), to read only
//   问题  the problem in words, to read only
//   新值  the value to write
//   操作  blank: write 新值 (a line with neither is left alone);
//         "删除": leave the row out of the copy; "置空": write NULL
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/assurance/check.h"

namespace assurance {

// The list's first line.
inline constexpr char kFixListHeader[] = "表,行号,键,列,当前值,问题,新值,操作";

enum class FixAction { kNone, kSet, kSetNull, kDelete };

struct FixLine {
  std::size_t line = 0;  // where the line starts in the file
  std::string table;
  std::int64_t row = 0;  // 0 when blank
  std::string key, column, current, problem, new_value;
  FixAction action = FixAction::kNone;
};

// The check's problems as the lines of a fix list, in run order, nothing
// filled in, numbered as the list's lines (2 for the first). A problem not
// tied to a source row (a task that cannot run) has no row.
std::vector<FixLine> FixLinesOf(const CheckResult& r);

// The list as a file: UTF-8 with a byte-order mark (so that spreadsheets
// read the Chinese as such), CRLF line ends; 新值 and 操作 as the lines
// have them.
std::string FixListCsv(const std::vector<FixLine>& lines);
std::string FixListCsv(const CheckResult& r);

// Raises com::Error listing the lines (by their `line`) that cannot be
// carried out as they stand, by the rules ParseFixList holds a list to.
void CheckFixLines(const std::vector<FixLine>& lines);

// Reads a fix list. The columns are found by name, in any order; 表, 行号,
// 列, 新值 and 操作 must be there, 键 may be left out. Raises com::Error
// listing every faulty line ("第 4 行：…", one a line): a line that changes
// something without a table, a positive row number or (to write a value)
// a column, an unknown 操作, a second, different change of the same value,
// or a row both changed and removed. Whether the tables, rows, columns and
// values fit the file is for the copy to tell.
std::vector<FixLine> ParseFixList(std::string_view csv);

}  // namespace assurance
