// Loads the same rows into the embedded server through both SQLOLEDB
// paths a package uses: the network driver (bcp through FreeTDS's db-lib to
// the server's TDS endpoint, the code `korvel serve` runs) and the embedded
// driver (the engine's bulk load, no network). Each load runs in a package
// transaction as a data pump task's does; prints rows per second of each
// and their ratio.
//
//   network_load_bench [--rows 200000]

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "bench/bench_util.h"
#include "platform/com/error.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/tds_endpoint/listener.h"

namespace {

// The custody book's shape: keys, text in both encodings, money, a float,
// and columns left to their defaults.
constexpr char kTable[] =
    "create table Stock (BaseID int not null, GoodsID nvarchar(50) not null, Summary varchar(50) null, "
    "BalQua money null, BalAmo money null, BalPrice float null, Location nvarchar(32) null, "
    "Computer nvarchar(20) null default (host_name()), OpTime datetime null default (getdate()), "
    "constraint PK_Stock primary key (BaseID, GoodsID))";

dts::Row Make(long i) {
  return {com::Variant::I4(static_cast<std::int32_t>(i % 50) + 1), com::Variant::Text("G" + std::to_string(i / 50 + 1)),
          com::Variant::Text(i % 7 == 0 ? "" : "期初库存"), com::Variant::Currency((i % 300) * 10000),
          com::Variant::Currency((i % 300) * 123400), com::Variant::R8(12.34),
          com::Variant::Text("A-" + std::to_string(i % 30))};
}

double Load(const std::string& server, const std::string& database, long rows) {
  dts::ConnectionSpec c;
  c.provider = sqlsrv::kProviderName;
  c.data_source = server;
  c.user_id = "sa";
  c.password = "pw";
  c.catalog = database;
  auto session = dts::FindDriver(c.provider)->Open(c);
  const auto started = std::chrono::steady_clock::now();
  session->BeginTransaction();
  auto writer = session->OpenBulkLoad("[" + database + "].[dbo].[Stock]",
                                      {"BaseID", "GoodsID", "Summary", "BalQua", "BalAmo", "BalPrice", "Location"}, {});
  for (long i = 0; i < rows; ++i) writer->Write(Make(i));
  writer->Finish();
  session->Commit();
  return bench::SecondsSince(started);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = bench::RowsOption(argc, argv, 200'000);
  const auto dir = bench::FreshTempFolder("korvel-network-load");
  try {
    auto server = sqlsrv::Server::CreateOrOpen(dir.string(), "pw");
    for (const char* db : {"Direct", "Wire"}) sqlsrv::Engine(server->CreateDatabase(db), db, "sa").Execute(kTable);

    sqlsrv::tds::EndpointConfig config;
    config.folder = dir.string();
    config.server_name = "BENCH";
    sqlsrv::tds::Listener listener(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 4);
    std::thread serving([&] { listener.Run(); });

    std::printf("%ld rows into a table of 9 columns (7 given, 2 defaults), in a transaction\n\n", rows);
    const double direct = Load("file:" + dir.string(), "Direct", rows);
    std::printf("%-34s %8.2f s %12.0f rows/s\n", "embedded driver (engine bulk load)", direct, rows / direct);
    const double wire = Load("127.0.0.1," + std::to_string(listener.port()), "Wire", rows);
    std::printf("%-34s %8.2f s %12.0f rows/s\n", "network driver (bcp over TDS)", wire, rows / wire);
    std::printf("\nthe network path takes %.2fx the time of the direct one\n", wire / direct);
    listener.Stop();
    serving.join();
  } catch (const com::Error& e) {
    std::fprintf(stderr, "network_load_bench: %s\n", e.description().c_str());
    std::filesystem::remove_all(dir);
    return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
