// One client's connection to the TDS endpoint, from PRELOGIN to its end:
// login against the server folder's logins, then SQL batches run by the
// connection's own Engine, bulk loads, and attention.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/sqlserver/tds_endpoint/channel.h"

namespace sqlsrv::tds {

struct EndpointConfig {
  std::string folder;          // the embedded server's folder
  std::string server_name;     // how messages name the server
  int login_timeout_ms = 30000;              // PRELOGIN and LOGIN7 must arrive within it
  std::size_t max_message_bytes = 64u << 20; // a SQL batch
  std::size_t max_value_bytes = 64u << 20;   // one value of a bulk load
  // The highest TDS version the endpoint answers with: 0x74000004 (7.4);
  // 0x71000001 (7.1) answers as SQL Server 2000 does.
  std::uint32_t max_tds_version = 0x74000004;
  std::function<void(const std::string&)> log;  // what the server tells its operator
};

// Serves the connection until the client leaves, breaks the protocol or
// `stopping` is set; never raises. `refuse` says why to turn the login
// away (too many connections), or is empty.
void ServeConnection(Channel& channel, const EndpointConfig& config, const std::atomic<bool>& stopping,
                     const std::string& refuse = "");

}  // namespace sqlsrv::tds
