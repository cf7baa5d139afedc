// A bulk load into a network server through db-lib's bcp: one INSERT BULK
// batch, with KEEP_NULLS (a NULL stays NULL), CHECK_CONSTRAINTS when asked
// and KEEP_IDENTITY when identity values are given.
//
// bcp sends every column of the table but a generated identity, so the
// columns the load does not name are sent too, with their defaults,
// evaluated once when the load opens (as the embedded server evaluates
// them), or NULL where a column has none. Text goes in the column's own
// encoding: UTF-16 for Unicode columns, the column's code page for the
// others. The server checks the rows when the batch ends: Finish raises
// its error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/com/variant.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/freetds_client/connection.h"

namespace sqlsrv::net {

// `table`: the table's columns in order; `columns`: the columns the rows
// give values for, in row order; `defaults`: per table column, the value a
// column not named takes.
std::unique_ptr<dts::BulkWriter> OpenBulkCopy(Connection& connection, const std::string& object,
                                              const std::vector<dts::ColumnInfo>& table,
                                              const std::vector<std::string>& columns,
                                              const dts::BulkLoadOptions& options,
                                              std::vector<com::Variant> defaults);

}  // namespace sqlsrv::net
