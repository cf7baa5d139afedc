// A package session on a SQL Server reached over the network (TDS through
// FreeTDS): batches, queries, table descriptions, bcp loads, transactions
// and the server's list of databases, all on one connection.
#pragma once

#include <memory>

#include "platform/dts/driver.h"
#include "platform/sqlserver/freetds_client/connection.h"

namespace sqlsrv::net {

// Logs in (see Connection) and sets the session up: locks waited for at
// most `lock_timeout_ms`, text read whole.
std::unique_ptr<dts::Session> OpenNetworkSession(const LoginParameters& login, int lock_timeout_ms);

}  // namespace sqlsrv::net
