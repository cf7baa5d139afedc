// Copies a Jet database into a new Jet 4 file: the same tables in the same
// order, with the same columns (names, types, text lengths, Required,
// AutoNumber, Unicode compression), indexes and database password, and
// every row in the source's order, each of which the caller may change or
// leave out on the way.
//
// The source is read through the reader (reader.h), never written; rows are
// streamed, so memory does not grow with a table's rows (beyond the keys of
// its indexes, see writer.h). A Jet 3 source becomes a Jet 4 file, its text
// decoded from the reader's code page. The output must not exist: it is
// created exclusively, and removed again when the copy fails.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/variant.h"
#include "platform/jet/reader.h"

namespace jet {

// Called with each row of the source before it is written: `row` holds one
// value per column in row order, as the reader reads them (see reader.h),
// and may be changed to any value the writer takes for the column
// (writer.h). Returns false to leave the row out. `row_number` counts the
// table's rows in the source's order from 1.
using RowEdit =
    std::function<bool(const std::string& table, std::int64_t row_number, std::vector<com::Variant>& row)>;

struct CopiedTable {
  std::string name;
  std::int64_t rows_read = 0;
  std::int64_t rows_written = 0;
};

// Copies the database at `source`, opened with `options` (its password and
// Jet 3 code page), into a new file at `output`; the copy has the source's
// password when the source has one. Returns the tables in order. Raises
// com::Error: the reader's errors for the source (missing, no Jet database,
// wrong password, damaged), kErrFileExists when `output` exists (left
// untouched), kErrNotSupported (3251) for a column of a type the writer
// does not write, the writer's errors for a row it refuses (with the
// table and the row's number in the source), and kErrSourceChanged when
// the source is written while it is copied.
std::vector<CopiedTable> CopyDatabase(const std::string& source, const OpenOptions& options,
                                      const std::string& output, const RowEdit& edit = {});

}  // namespace jet
