// The login tests before a run, the same in the wizard (its source and
// destination pages) and in korvel run and korvel check: the source file
// opens with its database password, the server takes the login. Each
// raises the driver's own error (the file's: not found, not a Jet
// database, a wrong password; the server's: 17 when it cannot be reached,
// 18456 for a refused login).
#pragma once

#include <string>
#include <vector>

namespace login {

// Opens the Jet file with its database password and closes it again. The
// file and the password reach the driver as they are, never through a
// connection string a ";" in the password could break.
void TestSourceFile(const std::string& file, const std::string& password);

// Logs in to the server (a network name or file:DIR) as `user` with SQL
// Server authentication, and out again.
void TestServerLogin(const std::string& server, const std::string& user, const std::string& password,
                     int login_timeout_seconds);

// Logs in as TestServerLogin does, reads the names of the server's
// databases in the server's order, and logs out.
std::vector<std::string> ServerDatabases(const std::string& server, const std::string& user,
                                         const std::string& password, int login_timeout_seconds);

}  // namespace login

// The names korvel's plan commands still call them by, until they name
// them by their own namespace.
