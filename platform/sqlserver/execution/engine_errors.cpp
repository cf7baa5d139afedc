// SQLite's failures as SQL Server's errors: key and constraint violations
// named after the table's keys, errors raised inside the server's SQL
// functions, and (through the storage layer's SqliteError) lock time-outs
// and failures of the storage under the database.
#include <sqlite3.h>

#include <stdexcept>

#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"

namespace sqlsrv {

com::Error EngineCore::StepError(int rc, const std::string& operation, const TableMeta* table) {
  const std::string msg = LastError(db_->get());
  try {
    if (auto fe = FunctionError(msg)) return *fe;
  } catch (const std::logic_error&) {
    // Not the number a server function writes: SQLite's own message.
  }
  if (rc == SQLITE_INTERRUPT || interrupted_) return SqlErr(kErrCancelled, "The query was cancelled.");
  if (IsLockConflict(rc)) return LockTimeoutError();
  switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_ROWID: {
      bool primary = false;
      std::string name = "?";
      if (table) {
        // "UNIQUE constraint failed: T.a, T.b": find the key with those columns.
        std::vector<std::string> cols;
        const auto colon = msg.find(": ");
        std::string rest = colon == std::string::npos ? "" : msg.substr(colon + 2);
        for (std::size_t p = 0; p < rest.size();) {
          const auto comma = rest.find(", ", p);
          const std::string part = rest.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
          const auto dot = part.rfind('.');
          cols.push_back(dot == std::string::npos ? part : part.substr(dot + 1));
          if (comma == std::string::npos) break;
          p = comma + 2;
        }
        auto same_columns = [&](const std::vector<int>& columns) {
          if (columns.size() != cols.size()) return false;
          for (std::size_t i = 0; i < cols.size(); ++i) {
            if (!SameName(table->columns[static_cast<std::size_t>(columns[i])].name, cols[i])) return false;
          }
          return true;
        };
        bool keyed = false;
        for (const auto& k : table->keys) {
          if (same_columns(k.columns)) {
            primary = k.primary;
            name = k.name;
            keyed = true;
          }
        }
        // A unique index CREATE INDEX made, not a key: 2601.
        for (const auto& x : table->indexes) {
          if (!keyed && x.unique && same_columns(x.columns)) {
            return SqlErr(2601, "Cannot insert duplicate key row in object '" + table->name + "' with unique index '" +
                                    x.name + "'.");
          }
        }
      }
      return DuplicateKeyError(primary, name, table ? table->name : "?");
    }
    case SQLITE_CONSTRAINT_NOTNULL:
      return NotNullError(operation);
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return SqlErr(kConstraint, operation + " statement conflicted with a FOREIGN KEY constraint" +
                                     (table ? " on table '" + table->name + "'" : std::string()) + ".");
    default:
      return db_->Failure(rc, {}, table ? std::string_view(table->name) : std::string_view());
  }
}

}  // namespace sqlsrv
