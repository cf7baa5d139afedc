#include "platform/sqlserver/driver.h"

#include <unistd.h>

#include "platform/com/names.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/server.h"

namespace sqlsrv {
namespace {

[[noreturn]] void NetworkServer(const std::string& server) {
  throw SqlErr(17, "SQL Server does not exist or access denied. (" + server +
                       ": 网络服务器需要网络驱动，本版本只能连接内置服务器，服务器名请写作 file:文件夹)");
}

// The workstation name host_name() reports: at most 15 characters, as a
// Windows computer name, so that it fits the columns that record it.
std::string HostName() {
  char buf[256] = {0};
  if (gethostname(buf, sizeof buf - 1) != 0 || !buf[0]) return "KORVEL";
  std::string name(buf);
  const auto dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.size() > 15) name.resize(15);
  name = com::UpperAscii(name);
  return name;
}

class EngineSession final : public dts::Session {
 public:
  explicit EngineSession(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}
  std::vector<dts::RowsAffected> ExecuteBatch(std::string_view sql, std::int32_t) override {
    BatchOutput output;
    engine_->Execute(sql, &output);
    return std::move(output.affected);
  }
  std::unique_ptr<dts::RowReader> Query(std::string_view sql) override { return engine_->Query(sql); }
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object) override { return engine_->DescribeTable(object); }
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options) override {
    return engine_->OpenBulkLoad(object, columns, options, false);
  }
  void BeginTransaction() override { engine_->BeginTransaction(); }
  void Commit() override { engine_->Commit(); }
  void Rollback() override {
    if (engine_->trancount() > 0) engine_->Rollback();
  }

 private:
  std::unique_ptr<Engine> engine_;
};

std::string Text(const dts::ConnectionSpec& connection, const std::string& own, const char* property) {
  if (!own.empty()) return own;
  const com::Variant* v = connection.Property(property);
  return v ? v->ToText() : "";
}

class SqlServerDriver final : public dts::Driver {
 public:
  std::unique_ptr<dts::Session> Open(const dts::ConnectionSpec& connection) override {
    const std::string server = Text(connection, connection.data_source, "Data Source");
    const std::string user = Text(connection, connection.user_id, "User ID");
    const std::string password = Text(connection, connection.password, "Password");
    const std::string database = Text(connection, connection.catalog, "Initial Catalog");
    auto folder = EmbeddedServerFolder(server);
    if (!folder) NetworkServer(server);
    Server s(*folder);
    s.Authenticate(user, password);
    const std::string name = database.empty() ? "master" : database;
    auto file = s.DatabaseFile(name);
    if (!file) throw SqlErr(kCannotOpenDatabase, "Cannot open database requested in login '" + name + "'. Login fails.");
    // The database's own spelling of its name.
    std::string canonical = name;
    for (const auto& n : s.DatabaseNames()) {
      if (com::LowerAscii(n) == com::LowerAscii(name)) canonical = n;
    }
    return std::make_unique<EngineSession>(std::make_unique<Engine>(*file, canonical, user, HostName()));
  }
};

}  // namespace

std::shared_ptr<dts::Driver> MakeSqlServerDriver() { return std::make_shared<SqlServerDriver>(); }

struct AdminClient::State {
  std::unique_ptr<Server> server;
};

AdminClient::AdminClient() : state_(std::make_unique<State>()) {}
AdminClient::~AdminClient() = default;

void AdminClient::Connect(const std::string& server, const std::string& user, const std::string& password,
                          int login_timeout_seconds) {
  (void)login_timeout_seconds;  // the embedded server answers at once
  auto folder = EmbeddedServerFolder(server);
  if (!folder) NetworkServer(server);
  auto s = std::make_unique<Server>(*folder);
  s->Authenticate(user, password);
  state_->server = std::move(s);
}

std::vector<std::string> AdminClient::Databases() {
  if (!state_->server) throw SqlErr(kLoginFailed, "Not connected to a server.");
  return state_->server->DatabaseNames();
}

void AdminClient::Disconnect() { state_->server.reset(); }
bool AdminClient::connected() const { return state_->server != nullptr; }

}  // namespace sqlsrv
