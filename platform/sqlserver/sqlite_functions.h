// The server collation and the SQL functions translated SQL calls, as
// SQLite sees them: VKCI compares text with ASCII case and trailing blanks
// ignored; the vk_ functions divide and multiply integers, money and floats
// with SQL Server's rounding, truncation and errors, convert values to a
// column type, and answer getdate(), host_name() and suser_sname().
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "platform/com/error.h"

namespace sqlsrv {

// What the SQL functions of a connection need to know.
struct FunctionContext {
  std::string login;
  std::string host;
};

// Registers the server collation and the functions translated SQL calls.
// `context` must outlive the connection.
void RegisterFunctions(sqlite3* db, FunctionContext* context);

// An error raised inside a function reaches SQLite as "VKERR:<n>:<text>";
// this turns such a message back into the error (nullopt for others).
std::optional<com::Error> FunctionError(const std::string& sqlite_message);

}  // namespace sqlsrv
