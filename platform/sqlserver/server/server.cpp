#include "platform/sqlserver/server.h"

#include <sodium.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/com/names.h"
#include "platform/com/unicode.h"
#include "platform/com/variant.h"
#include "platform/port/files.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {
namespace {

constexpr char kCatalogFile[] = "server.sqlite3";
const char* const kSystemDatabases[] = {"master", "tempdb", "model", "msdb"};

[[noreturn]] void NoServer(const std::string& folder, const std::string& why) {
  throw SqlErr(17, "SQL Server does not exist or access denied. (" + folder + ": " + why + ")");
}

void EnsureSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw com::Error(kErrStorage, "libsodium", "libsodium cannot be initialised");
}

std::string HashPassword(const std::string& password) {
  EnsureSodium();
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw com::Error(kErrStorage, "libsodium", "out of memory while hashing a password");
  }
  return hash;
}

std::atomic<std::int64_t> slow_checks{0};

bool VerifyPassword(const std::string& hash, const std::string& password) {
  EnsureSodium();
  ++slow_checks;
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

// An unknown user is checked against this hash, made with the same
// settings as the stored ones, so that its refusal takes as long as a
// wrong password's.
constexpr char kUnknownUserHash[] =
    "$argon2id$v=19$m=65536,t=2,p=1$Pg0awiT1SW8M0yCy6sr6Pw$5xpfc9ibwN1rRlBpIVhprhgRlqISgNSzm8glUVCAXMEh";

// The logins this process has verified: for a stored hash (unique to its
// login by its salt), a keyed digest of the password that matched it. A
// login repeated with the same password against the same stored hash is
// accepted without the slow check again; any other password, or a stored
// hash that has changed, gets the full check. The key is random per
// process, so the digests are worth nothing outside it.
class VerifiedLogins {
 public:
  using Digest = std::array<unsigned char, crypto_generichash_BYTES>;

  bool Knows(const std::string& hash, const std::string& password) {
    const Digest d = DigestOf(password);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = verified_.find(hash);
    return it != verified_.end() && sodium_memcmp(it->second.data(), d.data(), d.size()) == 0;
  }
  void Remember(const std::string& hash, const std::string& password) {
    const Digest d = DigestOf(password);
    std::lock_guard<std::mutex> lock(mutex_);
    verified_[hash] = d;
  }

 private:
  Digest DigestOf(const std::string& password) {
    std::call_once(keyed_, [this] { crypto_generichash_keygen(key_.data()); });
    Digest d{};
    crypto_generichash(d.data(), d.size(), reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                       key_.data(), key_.size());
    return d;
  }

  std::once_flag keyed_;
  std::array<unsigned char, crypto_generichash_KEYBYTES> key_{};
  std::mutex mutex_;
  std::map<std::string, Digest> verified_;
};

VerifiedLogins& Verified() {
  static VerifiedLogins logins;
  return logins;
}

// A file name for a database: its lower-cased name's UTF-8 bytes in hex.
// A name whose hex would make too long a file name (file systems allow 255
// bytes; a name may have 128 characters of up to four bytes) keeps the
// first 64 hex digits and adds the SHA-256 of the whole name.
std::string FileNameOf(const std::string& name) {
  const std::string lower = com::LowerAscii(name);
  std::string hex = com::LowerHex(lower);
  if (hex.size() > 128) {
    EnsureSodium();
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(lower.data()), lower.size());
    hex = hex.substr(0, 64) + "-" + com::LowerHex(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
  }
  return "db-" + hex + ".sqlite3";
}

// Removes a database file and the files SQLite keeps beside it.
void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(port::PathFromUtf8(path + suffix), ec);
}

// The server folder's lock, held while a server or a database is being
// made, so that two processes (or sessions) making them at once take
// turns. The operating system lets go of it when its holder dies.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    const std::string path = folder + "/server.lock";
    port::OsError error;
    if (!file_.Open(path, port::File::Mode::kReadWrite, &error)) NoServer(folder, "cannot open its lock: " + error.text);
    if (!file_.LockExclusive(&error)) NoServer(folder, "cannot lock it: " + error.text);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  port::File file_;  // closing it lets go of the lock
};

void CheckName(const std::string& name, const char* what) {
  bool control = false;
  for (unsigned char c : name) control = control || c < 0x20;
  std::u16string units;
  if (name.empty() || !com::Utf8ToUtf16(name, &units) || units.size() > 128 || control) {
    throw SqlErr(kSyntax, std::string("Invalid ") + what + " name '" + name + "'.");
  }
}

}  // namespace

std::optional<std::string> EmbeddedServerFolder(const std::string& data_source) {
  if (data_source.rfind("file:", 0) != 0) return std::nullopt;
  std::string dir = data_source.substr(5);
  // "file:" alone names no folder; the current one is written "file:.".
  if (dir.empty()) NoServer("file:", "no folder given; the current folder is file:.");
  return dir;
}

Server::Server(const std::string& folder) : folder_(folder) {
  const std::string path = folder + "/" + kCatalogFile;
  if (!port::PathExists(path)) NoServer(folder, "no server catalog in this folder");
  catalog_ = std::make_unique<Db>(path, false);
  catalog_->SetDatabaseName("master");  // the server's logins and databases, as master holds them
}

Server::~Server() = default;

std::unique_ptr<Server> Server::CreateOrOpen(const std::string& folder, const std::string& sa_password) {
  std::error_code ec;
  std::filesystem::create_directories(port::PathFromUtf8(folder), ec);
  if (ec) NoServer(folder, ec.message());
  const std::string path = folder + "/" + kCatalogFile;
  if (!port::PathExists(path)) {
    FolderLock lock(folder);
    // Made meanwhile by whoever held the lock before us?
    if (!port::PathExists(path)) CreateServerFiles(folder, sa_password);
  }
  auto server = std::make_unique<Server>(folder);
  server->Authenticate("sa", sa_password);
  return server;
}

void Server::CreateServerFiles(const std::string& folder, const std::string& sa_password) {
  // The catalog is made under another name and renamed when complete:
  // whatever an interrupted creation left is not a server yet, and is
  // made again from the start.
  const std::string path = folder + "/" + kCatalogFile;
  RemoveDatabaseFiles(path + ".new");
  {
    Db db(path + ".new", true);
    db.Exec("PRAGMA journal_mode = WAL; BEGIN;"
            "CREATE TABLE databases (dbid INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE, file TEXT NOT NULL, crdate TEXT NOT NULL);"
            "CREATE TABLE logins (name TEXT PRIMARY KEY COLLATE NOCASE, hash TEXT NOT NULL, crdate TEXT NOT NULL);"
            "COMMIT;");
    {
      Prepared ins(db, "INSERT INTO logins VALUES ('sa', ?, ?)");
      ins.Bind(1, std::string_view(HashPassword(sa_password)));
      ins.Bind(2, std::string_view(NowText()));
      ins.Step();
    }
    for (const char* name : kSystemDatabases) {
      const std::string file = FileNameOf(name);
      RemoveDatabaseFiles(folder + "/" + file);
      Catalog::InitializeDatabase(folder + "/" + file);
      Prepared ins(db, "INSERT INTO databases (name, file, crdate) VALUES (?, ?, ?)");
      ins.Bind(1, std::string_view(name));
      ins.Bind(2, std::string_view(file));
      ins.Bind(3, std::string_view(NowText()));
      ins.Step();
    }
    // Everything into the catalog's own file before it takes its name.
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode = DELETE;");
  }
  port::OsError error;
  if (!port::RenameOver(path + ".new", path, &error)) NoServer(folder, error.text);
  Db(path, false).Exec("PRAGMA journal_mode = WAL;");
}

void Server::Authenticate(const std::string& user, const std::string& password) {
  Prepared s(*catalog_, "SELECT hash FROM logins WHERE name = ?");
  s.Bind(1, std::string_view(user));
  const std::string hash = s.Step() ? std::string(s.Text(0)) : "";
  if (!hash.empty() && Verified().Knows(hash, password)) return;
  const bool ok = VerifyPassword(hash.empty() ? kUnknownUserHash : hash, password) && !hash.empty();
  if (!ok) throw SqlErr(kLoginFailed, "Login failed for user '" + user + "'.");
  Verified().Remember(hash, password);
}

std::int64_t PasswordHashChecks() { return slow_checks.load(); }

void Server::AddLogin(const std::string& user, const std::string& password) {
  CheckName(user, "login");
  Prepared s(*catalog_, "INSERT INTO logins VALUES (?, ?, ?)");
  s.Bind(1, std::string_view(user));
  s.Bind(2, std::string_view(HashPassword(password)));
  s.Bind(3, std::string_view(NowText()));
  const int rc = s.StepRaw();
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) throw SqlErr(15025, "The server principal '" + user + "' already exists.");
  if (rc != SQLITE_DONE) throw catalog_->Failure(rc, {}, "syslogins");
}

std::vector<Server::LoginEntry> Server::Logins() {
  Prepared s(*catalog_, "SELECT name, crdate FROM logins ORDER BY rowid");
  std::vector<LoginEntry> out;
  while (s.Step()) out.push_back({std::string(s.Text(0)), std::string(s.Text(1))});
  return out;
}

std::vector<Server::DatabaseEntry> Server::Databases() {
  Prepared s(*catalog_, "SELECT dbid, name, file, crdate FROM databases ORDER BY dbid");
  std::vector<DatabaseEntry> out;
  while (s.Step()) {
    out.push_back({s.Int(0), std::string(s.Text(1)), folder_ + "/" + std::string(s.Text(2)), std::string(s.Text(3))});
  }
  return out;
}

std::vector<std::string> Server::DatabaseNames() {
  Prepared s(*catalog_, "SELECT name FROM databases ORDER BY dbid");
  std::vector<std::string> out;
  while (s.Step()) out.emplace_back(s.Text(0));
  return out;
}

std::optional<std::string> Server::DatabaseFile(const std::string& name) {
  Prepared s(*catalog_, "SELECT file FROM databases WHERE name = ?");
  s.Bind(1, std::string_view(name));
  if (!s.Step()) return std::nullopt;
  return folder_ + "/" + std::string(s.Text(0));
}

namespace {

// The directory sessions are handed: the server opened for each question,
// so that every answer is the catalog's current one, and no connection to
// it is shared between the threads of a server's sessions.
class FolderDirectory final : public ServerDirectory {
 public:
  explicit FolderDirectory(std::string folder) : folder_(std::move(folder)) {}
  std::vector<DatabaseEntry> Databases() const override { return Server(folder_).Databases(); }
  std::vector<LoginEntry> Logins() const override { return Server(folder_).Logins(); }
  std::optional<std::string> DatabaseFile(const std::string& name) const override {
    return Server(folder_).DatabaseFile(name);
  }

 private:
  std::string folder_;
};

}  // namespace

std::shared_ptr<const ServerDirectory> Server::DirectoryOf(const std::string& folder) {
  try {
    Server{folder};
  } catch (const com::Error&) {
    return nullptr;
  }
  return std::make_shared<FolderDirectory>(folder);
}

std::string Server::CreateDatabase(const std::string& name, const std::function<void(const std::string&)>& fill) {
  CheckName(name, "database");
  FolderLock lock(folder_);
  if (DatabaseFile(name)) throw SqlErr(kDatabaseExists, "Database '" + name + "' already exists.");
  const std::string file = FileNameOf(name);
  const std::string path = folder_ + "/" + file;
  // A file of this name that the catalog does not list is what an
  // interrupted creation left.
  RemoveDatabaseFiles(path);
  try {
    Catalog::InitializeDatabase(path);
    if (fill) fill(path);
  } catch (...) {
    RemoveDatabaseFiles(path);
    throw;
  }
  // Listed only now that it is complete.
  Prepared ins(*catalog_, "INSERT INTO databases (name, file, crdate) VALUES (?, ?, ?)");
  ins.Bind(1, std::string_view(name));
  ins.Bind(2, std::string_view(file));
  ins.Bind(3, std::string_view(NowText()));
  const int rc = ins.StepRaw();
  if (rc != SQLITE_DONE) {
    const com::Error error = (rc & 0xFF) == SQLITE_CONSTRAINT
                                 ? SqlErr(kDatabaseExists, "Database '" + name + "' already exists.")
                                 : catalog_->Failure(rc, {}, "sysdatabases");
    RemoveDatabaseFiles(path);
    throw error;
  }
  return path;
}

void Server::DropDatabase(const std::string& name) {
  for (const char* system : kSystemDatabases) {
    if (com::SameName(name, system)) {
      throw SqlErr(3708, "Cannot drop the database '" + name + "' because it is a system database.");
    }
  }
  const auto path = DatabaseFile(name);
  if (!path) {
    throw SqlErr(kCannotDropTable, "Cannot drop the database '" + name +
                                       "', because it does not exist or you do not have permission.");
  }
  Prepared del(*catalog_, "DELETE FROM databases WHERE name = ?");
  del.Bind(1, std::string_view(name));
  del.Step();
  RemoveDatabaseFiles(*path);
}

}  // namespace sqlsrv
