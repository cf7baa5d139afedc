#include "library/login/login_tests.h"

#include "platform/jet/reader.h"
#include "platform/sqlserver/driver.h"

namespace login {

void TestSourceFile(const std::string& file, const std::string& password) {
  jet::Database opened(file, {.password = password});
}

void TestServerLogin(const std::string& server, const std::string& user, const std::string& password,
                     int login_timeout_seconds) {
  sqlsrv::AdminClient admin;
  admin.Connect(server, user, password, login_timeout_seconds);
  admin.Disconnect();
}

std::vector<std::string> ServerDatabases(const std::string& server, const std::string& user,
                                         const std::string& password, int login_timeout_seconds) {
  sqlsrv::AdminClient admin;
  admin.Connect(server, user, password, login_timeout_seconds);
  std::vector<std::string> names = admin.Databases();
  admin.Disconnect();
  return names;
}

}  // namespace login
