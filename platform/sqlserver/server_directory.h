// What a session sees of the server holding its database: the server's
// databases and logins, read afresh on each call. The server hands one to
// each session it opens (Server::DirectoryOf); a session opened without
// one knows only its own database and login.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sqlsrv {

// The embedded server's name, as @@SERVERNAME and its messages give it.
inline constexpr char kServerName[] = "KORVEL";

// One database of a server: its id (master 1, tempdb 2, model 3, msdb 4,
// then user databases), name, file and creation time (a stored datetime).
struct DatabaseEntry {
  std::int64_t id = 0;
  std::string name;
  std::string file;
  std::string created;
};

// One login, with its creation time (a stored datetime).
struct LoginEntry {
  std::string name;
  std::string created;
};

class ServerDirectory {
 public:
  virtual ~ServerDirectory() = default;
  // The databases in the server's order: master, tempdb, model, msdb, then
  // user databases in the order they were created.
  virtual std::vector<DatabaseEntry> Databases() const = 0;
  // The logins in creation order.
  virtual std::vector<LoginEntry> Logins() const = 0;
  // The file of a database (any case of its name), or nullopt.
  virtual std::optional<std::string> DatabaseFile(const std::string& name) const = 0;
};

}  // namespace sqlsrv
