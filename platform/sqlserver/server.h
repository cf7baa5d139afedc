// The embedded server: a folder holding a catalog of its databases and
// logins (server.sqlite3) and one SQLite file per database. Any database
// name works; file names are derived from the name's bytes, so no name can
// reach outside the folder. Passwords are kept as salted Argon2id hashes
// (libsodium); a wrong user or password fails as SQL Server's 18456.
//
// The databases are listed in the server's order: master, tempdb, model,
// msdb, then user databases in the order they were created.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sqlserver/server_directory.h"

namespace sqlsrv {

class Db;

// "file:DIR" names the embedded server rooted at DIR; nullopt for any other
// server name (a network server). "file:" with no folder raises 17.
std::optional<std::string> EmbeddedServerFolder(const std::string& data_source);

// How many slow password hash checks this process has made.
std::int64_t PasswordHashChecks();

class Server {
 public:
  // Opens the server in `folder`; raises 17 "SQL Server does not exist or
  // access denied." when the folder holds no server.
  explicit Server(const std::string& folder);
  ~Server();

  // Creates a server in `folder` (the folder too) with the login `sa`, or
  // opens the existing one, whose `sa` must then have this password.
  static std::unique_ptr<Server> CreateOrOpen(const std::string& folder, const std::string& sa_password);

  // Raises 18456 unless the login exists with this password. The slow
  // hash check is made once per process for a login and password: a
  // repeated login (a run's check, its package, its reconciliation) is
  // accepted from the process's memory of the first.
  void Authenticate(const std::string& user, const std::string& password);

  void AddLogin(const std::string& user, const std::string& password);
  // The logins in creation order.
  using LoginEntry = sqlsrv::LoginEntry;
  std::vector<LoginEntry> Logins();

  std::vector<std::string> DatabaseNames();
  // The databases in the server's order (server_directory.h).
  using DatabaseEntry = sqlsrv::DatabaseEntry;
  std::vector<DatabaseEntry> Databases();
  // The file of a database (any case of its name), or nullopt.
  std::optional<std::string> DatabaseFile(const std::string& name);
  // Creates a database and returns its file: an empty one, then filled by
  // `fill` (given the file; a creation script, say), and listed only when
  // `fill` has returned, so that a database is never seen half made. When
  // `fill` raises, nothing is left; a creation killed midway leaves a file
  // the next creation of the name discards. Raises 1801 when it exists.
  // Creations in one folder take turns, across processes too.
  std::string CreateDatabase(const std::string& name, const std::function<void(const std::string&)>& fill = {});
  // Removes a database and its file; raises 3708 for a system database and
  // 3701 for one that does not exist. The caller makes sure no connection
  // of its own uses it.
  void DropDatabase(const std::string& name);
  const std::string& folder() const { return folder_; }

  // What the sessions of the server in `folder` see of it: each call opens
  // the server afresh, so a session sees databases made after it opened;
  // a folder holding no server gives none.
  static std::shared_ptr<const ServerDirectory> DirectoryOf(const std::string& folder);

 private:
  // Makes the catalog and the system databases of a new server.
  static void CreateServerFiles(const std::string& folder, const std::string& sa_password);

  std::string folder_;
  std::unique_ptr<Db> catalog_;
};

}  // namespace sqlsrv
