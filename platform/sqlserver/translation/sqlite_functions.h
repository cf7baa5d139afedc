// The SQL functions translated SQL calls, as SQLite sees them: the vk_
// functions divide and multiply integers, money and floats with SQL
// Server's rounding, truncation and errors, compute with decimals exactly
// (vk_dchain applies a chain of + - * / % each into its result's
// precision and scale; vk_dsum and vk_davg, vk_dround, and the conversions
// between decimals and the other types), convert values to a column type,
// and answer getdate(), host_name(), suser_sname(), databasepropertyex()
// and collationproperty(). The collations they compare by are
// sqlite_collations.h's.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/error.h"
#include "platform/sqlserver/storage/sqlite_collations.h"

namespace sqlsrv {


// What the SQL functions of a connection need to know.
struct FunctionContext {
  std::string login;
  std::string host;
  std::string database;  // the connection's database
  // Whether the server has another database of this name; none when unset.
  std::function<bool(const std::string&)> database_exists;
  // The identity values vk_identity() hands out in an INSERT … SELECT:
  // `identity_next`, then on by `identity_step`.
  std::int64_t identity_next = 0;
  std::int64_t identity_step = 1;
  std::int64_t identity_last = 0;   // the last value handed out
  bool identity_exhausted = false;  // the next would be past 64 bits
};

// Registers the collations (RegisterCollations) and the functions
// translated SQL calls.
// `context` must outlive the connection.
void RegisterFunctions(sqlite3* db, FunctionContext* context);

// An error raised inside a function reaches SQLite as "VKERR:<n>:<text>";
// this turns such a message back into the error (nullopt for others).
std::optional<com::Error> FunctionError(const std::string& sqlite_message);

}  // namespace sqlsrv
