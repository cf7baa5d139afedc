// The collations SQLite compares the embedded server's values by: VKCI
// for the case-insensitive SQL Server collations (the server's: ASCII case
// and trailing blanks ignored), VKCS for the case-sensitive ones
// (case-blind first, then lower case before upper), VKBIN for the binary
// ones (by code point), VKDEC for decimal texts as the numbers they are,
// VKGUID for uniqueidentifiers and VKVAR for sql_variant values, each in
// SQL Server's order.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace sqlsrv {

// The SQLite collation comparing text as the SQL Server collation
// `collation` does. Raises 448 for a name that is no collation, 40000 for
// one the server does not compare by (accent-insensitive, or of a family
// it does not know).
std::string SqliteCollation(std::string_view collation);

// Registers every collation above on a connection.
void RegisterCollations(sqlite3* db);

}  // namespace sqlsrv
