// korvel create-database, korvel sql and korvel check-database from the
// command line, on the embedded server or (but check-database) a network one.
#include <cstdio>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/com/quote.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/server_statements.h"

namespace embedded {
extern const char kCreate60[];
}

namespace cli {
namespace {


std::string ServerFolder(const Args& args) {
  const std::string server = ServerName(args);
  auto folder = sqlsrv::EmbeddedServerFolder(server);
  if (!folder) {
    throw com::Error(17, "korvel", "服务器“" + server + "”不是内置服务器；内置服务器写作 file:文件夹");
  }
  return *folder;
}

// The result sets of a batch as TSV, each with its header line, and its
// messages where they came among them.
void PrintResults(const dts::BatchResults& out) {
  std::string line;
  std::size_t next_message = 0;
  auto print_messages_before = [&](std::size_t result) {
    for (; next_message < out.messages.size() && out.messages[next_message].results_before <= result; ++next_message) {
      std::printf("%s\n", out.messages[next_message].text.c_str());
    }
  };
  for (std::size_t r = 0; r < out.results.size(); ++r) {
    print_messages_before(r);
    const auto& rs = out.results[r];
    if (rs.columns.empty()) continue;
    line.clear();
    for (std::size_t i = 0; i < rs.columns.size(); ++i) line += (i ? "\t" : "") + EscapeTsv(rs.columns[i].name);
    std::printf("%s\n", line.c_str());
    for (const auto& row : rs.rows) {
      line.clear();
      AppendTsvLine(row, &line);
      std::printf("%s\n", line.c_str());
    }
  }
  print_messages_before(out.results.size());
}

// A network server: CREATE DATABASE on the server, then the script's
// batches in the new database, through the same driver as a plan.
void CreateOnNetworkServer(const std::string& server, const std::string& user, const std::string& password,
                           const std::string& database, const std::string& script) {
  dts::ConnectionSpec connection;
  connection.provider = sqlsrv::kProviderName;
  connection.data_source = server;
  connection.user_id = user;
  connection.password = password;
  connection.timeout_seconds = 30;
  auto driver = dts::FindDriver(connection.provider);
  driver->Open(connection)->ExecuteBatch("CREATE DATABASE " + com::Quoted(database, '[', ']'), 0);
  connection.catalog = database;
  auto session = driver->Open(connection);
  std::size_t done = 0;
  const auto batches = sqlsrv::SplitBatches(script);
  try {
    for (const auto& batch : batches) {
      session->ExecuteBatch(batch, 0);
      ++done;
    }
  } catch (...) {
    // A half-made database is no use: it goes, so that the next attempt
    // starts clean.
    session.reset();
    connection.catalog.clear();
    bool dropped = false;
    try {
      driver->Open(connection)->ExecuteBatch("DROP DATABASE " + com::Quoted(database, '[', ']'), 0);
      dropped = true;
    } catch (const com::Error&) {
    }
    std::fprintf(stderr, "korvel create-database: 建库脚本在第 %zu 批（共 %zu 批）失败；%s\n", done + 1, batches.size(),
                 dropped ? ("已删除没有建完的数据库“" + database + "”。").c_str()
                         : ("没有建完的数据库“" + database + "”未能删除，请手工删除。").c_str());
    throw;
  }
  std::fprintf(stderr, "已在 %s 建立数据库“%s”（%zu 批语句）。\n", server.c_str(), database.c_str(), batches.size());
}

}  // namespace

int CmdCreateDatabase(const Args& args) {
  const std::string database = args.Require("database");
  const std::string password = ReadPassword(args, "password");
  const std::string script = args.Get("script") ? ReadTextFile(*args.Get("script")) : std::string(embedded::kCreate60);
  if (!sqlsrv::EmbeddedServerFolder(ServerName(args))) {
    CreateOnNetworkServer(ServerName(args), args.Get("user").value_or("sa"), password, database, script);
    return 0;
  }
  const std::string folder = ServerFolder(args);
  auto server = sqlsrv::Server::CreateOrOpen(folder, password);
  try {
    // Listed on the server only once the script has run to its end.
    server->CreateDatabase(database, [&](const std::string& file) {
      sqlsrv::Engine(file, database, "sa", "", sqlsrv::Server::DirectoryOf(folder)).Execute(script);
    });
  } catch (const com::Error& e) {
    if (e.number() != 1801) {
      std::fprintf(stderr, "korvel create-database: 建库脚本没有执行完，数据库“%s”没有建立。\n", database.c_str());
    }
    throw;
  }
  std::fprintf(stderr, "已在 %s 建立数据库“%s”。\n", folder.c_str(), database.c_str());
  return 0;
}

int CmdCheckDatabase(const Args& args) {
  const std::string folder = ServerFolder(args);
  const std::string database = args.Require("database");
  sqlsrv::Server server(folder);
  server.Authenticate(args.Get("user").value_or("sa"), ReadPassword(args, "password"));
  auto file = server.DatabaseFile(database);
  if (!file) {
    throw com::Error(4060, "Microsoft OLE DB Provider for SQL Server",
                     "Cannot open database requested in login '" + database + "'. Login fails.");
  }
  const auto problems = sqlsrv::Engine::CheckDatabaseFile(*file);
  for (const auto& line : problems) std::printf("%s\n", line.c_str());
  const bool sound = problems == std::vector<std::string>{"ok"};
  std::fprintf(stderr, sound ? "数据库“%s”完好。\n" : "数据库“%s”有问题（见上）。\n", database.c_str());
  return sound ? 0 : 1;
}

int CmdSql(const Args& args) {
  const std::string server = ServerName(args);
  std::string batch;
  if (auto f = args.Get("file")) {
    batch = ReadTextFile(*f);
  } else if (args.positional().size() == 1) {
    batch = args.positional()[0];
  } else {
    throw com::Error(com::kErrInvalidArgument, "korvel",
                     "用法: korvel sql --server file:DIR|主机[,端口] --user U --password P --database D \"T-SQL\"");
  }
  const std::string user = args.Get("user").value_or("sa");
  const std::string password = ReadPassword(args, "password");
  const std::string database = args.Get("database").value_or("master");
  // Making and dropping a database are the embedded server's own, as over
  // TDS; a network server takes them as any batch.
  if (const auto folder = sqlsrv::EmbeddedServerFolder(server)) {
    if (const auto statement = sqlsrv::ParseDatabaseStatement(batch)) {
      sqlsrv::Server s(*folder);
      s.Authenticate(user, password);
      sqlsrv::RunDatabaseStatement(s, *statement, database, 0);
      std::fprintf(stderr, statement->create ? "已建立数据库“%s”。\n" : "已删除数据库“%s”。\n", statement->name.c_str());
      return 0;
    }
  }
  // Everything else through the driver a run uses, embedded or network.
  dts::ConnectionSpec connection;
  connection.provider = sqlsrv::kProviderName;
  connection.data_source = server;
  connection.user_id = user;
  connection.password = password;
  connection.catalog = database;
  connection.timeout_seconds = 30;
  auto session = dts::FindDriver(connection.provider)->Open(connection);
  dts::BatchResults out;
  try {
    session->RunBatch(batch, &out);
  } catch (const com::Error&) {
    // What came before the error, messages too (a batch goes on after
    // RAISERROR's error).
    PrintResults(out);
    throw;
  }
  PrintResults(out);
  for (const auto& r : out.results) {
    if (r.count >= 0) std::fprintf(stderr, "(%lld 行受影响)\n", static_cast<long long>(r.count));
  }
  return 0;
}

}  // namespace cli
