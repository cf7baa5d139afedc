// Reading the rows of translated SQL back as typed values.
#pragma once

#include <sqlite3.h>

#include "platform/com/variant.h"
#include "platform/sqlserver/result_column.h"

namespace sqlsrv {

// Reads column i of the current row as a Variant of the column's type.
com::Variant DecodeValue(sqlite3_stmt* s, int i, const OutputColumn& c);
// A column of the current row as SQLite holds it (a sql_variant's text
// with its base type, which DecodeValue reads as the base value).
Stored RawStored(sqlite3_stmt* s, int i);

}  // namespace sqlsrv
