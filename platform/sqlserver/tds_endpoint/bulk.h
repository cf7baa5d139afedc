// Bulk loads over TDS, as bcp clients send them: a SQL batch "insert bulk
// table (column type, ...) [with (options)]" that the server acknowledges,
// then a bulk-load message: COLMETADATA describing the columns sent, a ROW
// token per row, and DONE.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/sqlserver/tds_endpoint/typed_values.h"

namespace sqlsrv::tds {

struct InsertBulk {
  std::string table;                 // as written, e.g. "[dbo].[Goods]"
  std::vector<std::string> columns;  // the columns the rows carry, in order
  bool keep_identity = false;        // KEEP_IDENTITY
  bool check_constraints = false;    // CHECK_CONSTRAINTS
  bool keep_nulls = false;           // KEEP_NULLS
  bool names_identity = false;       // the columns include the table's identity column
};

// The statement when `sql` is an INSERT BULK, else nullopt. Raises
// com::Error (102) for a malformed one.
std::optional<InsertBulk> ParseInsertBulk(std::string_view sql);

// Reads the rows of a bulk-load message and hands each, as values of the
// columns its COLMETADATA describes, to `row`. Reads the message to its end
// even after `row` raised, then raises that error. Raises ProtocolError for a
// malformed message. `max_value_bytes` bounds each value; `tds72` says
// whether the client speaks TDS 7.2 or later (wider user types and counts).
void ReadBulkRows(const PieceSource& source, std::size_t column_count,
                  const std::function<void(const dts::Row&)>& row, std::size_t max_value_bytes, bool tds72);

}  // namespace sqlsrv::tds
