// A package session on a SQL Server reached over the network (TDS through
// FreeTDS): batches, queries, table descriptions, bcp loads, transactions
// and the server's list of databases, all on one connection.
#pragma once

#include <memory>
#include <string>

#include "platform/dts/driver.h"

namespace sqlsrv::net {

// Who logs in where.
struct LoginParameters {
  std::string data_source;  // as the user typed it, for messages
  std::string server;       // as FreeTDS takes it (server_name.h)
  std::string user;
  std::string password;
  std::string database;     // "" for the login's default database
  std::string application = "Korvel";
  std::string workstation;
  int login_timeout_seconds = 30;
};

// Logs in (see Connection) and sets the session up: locks waited for at
// most `lock_timeout_ms`, text read whole.
std::unique_ptr<dts::Session> OpenNetworkSession(const LoginParameters& login, int lock_timeout_ms);

}  // namespace sqlsrv::net
