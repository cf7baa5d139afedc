// The "SQLOLEDB" driver of package connections, and the administration
// client the wizard's destination test uses. A server name "file:DIR"
// reaches the embedded server in DIR; any other name a SQL Server over the
// network (TDS through FreeTDS; server names as in network/server_name.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dts/driver.h"

namespace sqlsrv {

inline constexpr char kProviderName[] = "SQLOLEDB";

std::shared_ptr<dts::Driver> MakeSqlServerDriver();

// A session on a database file of the embedded server this process made
// for itself (a scratch database), without a server folder or a login.
// The file must hold a database (CreateDatabaseFile).
std::unique_ptr<dts::Session> OpenDatabaseFile(const std::string& file, const std::string& database);

// Makes `file` a new, empty database of the embedded server: its catalog,
// no tables. The file must not exist yet.
void CreateDatabaseFile(const std::string& file);

// Logs in to a server with SQL Server authentication, lists its databases
// in the server's order, and disconnects: through the driver registered
// for kProviderName, like every package connection.
class AdminClient {
 public:
  AdminClient();
  ~AdminClient();
  // Raises on a server that does not exist (17) or a failed login (18456).
  void Connect(const std::string& server, const std::string& user, const std::string& password,
               int login_timeout_seconds);
  std::vector<std::string> Databases();
  void Disconnect();
  bool connected() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sqlsrv
