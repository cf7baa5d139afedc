#include "platform/sqlserver/driver.h"

#include "platform/com/names.h"
#include "platform/port/files.h"
#include "platform/port/system.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/freetds_client/server_name.h"
#include "platform/sqlserver/freetds_client/session.h"
#include "platform/sqlserver/server.h"

namespace sqlsrv {
namespace {

// The workstation name host_name() reports: at most 15 characters, as a
// Windows computer name, so that it fits the columns that record it.
std::string HostName() {
  std::string name = port::HostName();
  if (name.empty()) return "KORVEL";
  const auto dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.size() > 15) name.resize(15);
  name = com::UpperAscii(name);
  return name;
}

// The heading of a compute row's column, as isql heads it: its aggregate.
const char* AggregateHeading(RowAggregate aggregate) {
  static constexpr std::pair<RowAggregate, const char*> kHeadings[] = {
      {RowAggregate::kAvg, "avg"},     {RowAggregate::kCount, "cnt"},      {RowAggregate::kMax, "max"},
      {RowAggregate::kMin, "min"},     {RowAggregate::kStdev, "stdev"},    {RowAggregate::kStdevp, "stdevp"},
      {RowAggregate::kSum, "sum"},     {RowAggregate::kVar, "var"},        {RowAggregate::kVarp, "varp"},
  };
  for (const auto& [a, heading] : kHeadings) {
    if (a == aggregate) return heading;
  }
  return "";
}

// A result set as the results a session hands over: its rows, and with
// COMPUTE each compute row as a result of its own (headed by its
// aggregates) after the rows it follows, the rows after it a result again
// (as isql shows them).
void HandOverResult(const ResultSet& rs, dts::BatchResults* out) {
  // Browse mode's hidden columns are not the caller's.
  const std::size_t shown = VisibleColumnCount(rs.columns, rs.browse);
  std::vector<dts::ColumnInfo> columns;
  for (std::size_t i = 0; i < shown; ++i) columns.push_back({.name = rs.columns[i].name});
  if (shown < rs.columns.size()) {
    std::vector<dts::Row> rows;
    rows.reserve(rs.rows.size());
    for (const dts::Row& row : rs.rows) rows.emplace_back(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(shown));
    out->results.push_back({columns, std::move(rows)});
    return;  // browse mode has no COMPUTE
  }
  if (rs.compute_rows.empty()) {
    out->results.push_back({columns, rs.rows});
    return;
  }
  // The rows before the first compute row come with the header even when
  // there are none.
  std::size_t next = 0;
  bool headed = false;
  auto rows_until = [&](std::size_t end) {
    if (headed && end <= next) return;
    headed = true;
    out->results.push_back({columns, std::vector<dts::Row>(rs.rows.begin() + static_cast<std::ptrdiff_t>(next),
                                                           rs.rows.begin() + static_cast<std::ptrdiff_t>(end))});
    next = end;
  };
  for (const ComputeRow& row : rs.compute_rows) {
    rows_until(row.after);
    dts::BatchResults::Result compute;
    for (const RowAggregate a : rs.computes.at(row.id - 1u).aggregates) compute.columns.push_back({.name = AggregateHeading(a)});
    compute.rows.push_back(row.values);
    out->results.push_back(std::move(compute));
  }
  rows_until(rs.rows.size());
}

class EngineSession final : public dts::Session {
 public:
  EngineSession(std::unique_ptr<Engine> engine, std::string folder)
      : engine_(std::move(engine)), folder_(std::move(folder)) {}
  std::vector<dts::RowsAffected> ExecuteBatch(std::string_view sql, std::int32_t) override {
    BatchOutput output;
    engine_->Execute(sql, &output);
    return std::move(output.affected);
  }
  std::unique_ptr<dts::RowReader> Query(std::string_view sql) override { return engine_->Query(sql); }
  void RunBatch(std::string_view sql, dts::BatchResults* out) override {
    BatchOutput output;
    // What went before a failure is handed over before the failure.
    auto hand_over = [&] {
      // The error raised is handed over as the failure, not as a message.
      bool raised_skipped = !output.error_in_messages;
      for (const auto& o : output.order) {
        if (o.kind == BatchOutput::Outcome::kRows) {
          HandOverResult(output.results[o.index], out);
        } else if (o.kind == BatchOutput::Outcome::kCount) {
          out->results.push_back({{}, {}, output.affected[o.index].rows});
        } else if (o.kind == BatchOutput::Outcome::kMessage) {
          const BatchMessage& m = output.messages[o.index];
          if (m.severity > 10 && !raised_skipped) {
            raised_skipped = true;
            continue;
          }
          out->messages.push_back({m.text, out->results.size()});
        }
      }
    };
    try {
      engine_->Execute(sql, &output);
    } catch (...) {
      hand_over();
      throw;
    }
    hand_over();
  }
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object) override { return engine_->DescribeTable(object); }
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options) override {
    return engine_->OpenBulkLoad(object, columns, options, false);
  }
  // A package's transaction: the load of an upgrade.
  void BeginTransaction() override { engine_->BeginLoadTransaction(); }
  void Commit() override { engine_->Commit(); }
  void Rollback() override {
    if (engine_->trancount() > 0) engine_->Rollback();
  }
  std::vector<std::string> Databases() override {
    return folder_.empty() ? std::vector<std::string>{engine_->database()} : Server(folder_).DatabaseNames();
  }

 private:
  std::unique_ptr<Engine> engine_;
  std::string folder_;
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
    if (!folder) {
      net::LoginParameters login;
      login.data_source = server;
      login.server = net::FreeTdsServerName(server);
      login.user = user;
      login.password = password;
      login.database = database;
      login.workstation = HostName();
      if (const com::Variant* app = connection.Property("Application Name")) login.application = app->ToText();
      login.login_timeout_seconds = connection.timeout_seconds;
      return net::OpenNetworkSession(login, connection.LockTimeoutMs());
    }
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
    auto engine = std::make_unique<Engine>(*file, canonical, user, HostName(), Server::DirectoryOf(*folder));
    engine->Execute("SET LOCK_TIMEOUT " + std::to_string(connection.LockTimeoutMs()));
    return std::make_unique<EngineSession>(std::move(engine), *folder);
  }
};

}  // namespace

std::shared_ptr<dts::Driver> MakeSqlServerDriver() { return std::make_shared<SqlServerDriver>(); }

std::unique_ptr<dts::Session> OpenDatabaseFile(const std::string& file, const std::string& database) {
  // A file in a server's folder sees that server's other databases.
  auto server = Server::DirectoryOf(port::ParentFolder(file));
  return std::make_unique<EngineSession>(std::make_unique<Engine>(file, database, "sa", HostName(), std::move(server)), "");
}

void CreateDatabaseFile(const std::string& file) { Catalog::InitializeDatabase(file); }

struct AdminClient::State {
  std::unique_ptr<dts::Session> session;
};

AdminClient::AdminClient() : state_(std::make_unique<State>()) {}
AdminClient::~AdminClient() = default;

void AdminClient::Connect(const std::string& server, const std::string& user, const std::string& password,
                          int login_timeout_seconds) {
  dts::ConnectionSpec connection;
  connection.provider = kProviderName;
  connection.data_source = server;
  connection.user_id = user;
  connection.password = password;
  connection.timeout_seconds = login_timeout_seconds;
  state_->session = dts::FindDriver(kProviderName)->Open(connection);
}

std::vector<std::string> AdminClient::Databases() {
  if (!state_->session) throw SqlErr(kLoginFailed, "Not connected to a server.");
  return state_->session->Databases();
}

void AdminClient::Disconnect() { state_->session.reset(); }
bool AdminClient::connected() const { return state_->session != nullptr; }

}  // namespace sqlsrv
