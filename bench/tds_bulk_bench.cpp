// Bulk-loads the same rows into the embedded server twice: over TDS, as a
// bcp client (FreeTDS's db-lib) sends them to `korvel serve`'s endpoint,
// and directly through the engine's bulk load; prints rows per second of
// each and their ratio.
//
//   tds_bulk_bench [--rows 200000]
#include <sybdb.h>
#include <sybfront.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/tds_endpoint/listener.h"

namespace {

constexpr char kTable[] =
    "create table Stock (BaseID int not null, GoodsID nvarchar(50) not null, BalQua money null, BalAmo money null, "
    "BalPrice float null, Location nvarchar(32) null, constraint PK_Stock primary key (BaseID, GoodsID))";

struct Stock {
  int base;
  std::string goods;
  double qty, amo, price;
  std::string location;
};

Stock Make(long i) {
  return {static_cast<int>(i % 50) + 1, "G" + std::to_string(i / 50 + 1), static_cast<double>(i % 300),
          (i % 300) * 12.34, 12.34, "A-" + std::to_string(i % 30)};
}

// UTF-8 (here ASCII) as the UTF-16LE bytes db-lib passes on for nvarchar.
std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

int OnError(DBPROCESS*, int, int dberr, int, char* text, char*) {
  std::fprintf(stderr, "db-lib %d: %s\n", dberr, text ? text : "");
  return INT_CANCEL;
}
int OnMessage(DBPROCESS*, DBINT number, int, int severity, char* text, char*, char*, int) {
  if (severity > 10) std::fprintf(stderr, "server %d: %s\n", static_cast<int>(number), text ? text : "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = bench::RowsOption(argc, argv, 200'000);
  const auto dir = bench::FreshTempFolder("korvel-tds-bulk");
  auto server = sqlsrv::Server::CreateOrOpen(dir.string(), "pw");
  for (const char* db : {"Direct", "Wire"}) sqlsrv::Engine(server->CreateDatabase(db), db, "sa").Execute(kTable);

  // Directly through the engine.
  double direct = 0;
  {
    sqlsrv::Engine engine(*server->DatabaseFile("Direct"), "Direct", "sa");
    const auto start = std::chrono::steady_clock::now();
    auto w = engine.OpenBulkLoad("Stock", {"BaseID", "GoodsID", "BalQua", "BalAmo", "BalPrice", "Location"}, {});
    dts::Row row(6);
    for (long i = 0; i < rows; ++i) {
      const Stock s = Make(i);
      row[0] = com::Variant::I4(s.base);
      row[1] = com::Variant::Text(s.goods);
      row[2] = com::Variant::Currency(static_cast<std::int64_t>(s.qty * 10000));
      row[3] = com::Variant::Currency(static_cast<std::int64_t>(s.amo * 10000 + 0.5));
      row[4] = com::Variant::R8(s.price);
      row[5] = com::Variant::Text(s.location);
      w->Write(row);
    }
    w->Finish();
    direct = bench::SecondsSince(start);
  }

  // Over TDS to the endpoint, from db-lib's bcp.
  sqlsrv::tds::EndpointConfig config;
  config.folder = dir.string();
  config.server_name = "BENCH";
  sqlsrv::tds::Listener listener(config, {"127.0.0.1", 0}, 4);
  std::thread serving([&] { listener.Run(); });
  double wire = -1;
  dbinit();
  dberrhandle(OnError);
  dbmsghandle(OnMessage);
  LOGINREC* login = dblogin();
  DBSETLUSER(login, "sa");
  DBSETLPWD(login, "pw");
  dbsetlname(login, "Wire", DBSETDBNAME);
  dbsetlversion(login, DBVERSION_74);
  BCP_SETL(login, TRUE);
  const std::string address = "127.0.0.1:" + std::to_string(listener.port());
  DBPROCESS* proc = dbopen(login, address.c_str());
  dbloginfree(login);
  if (proc) {
    const auto start = std::chrono::steady_clock::now();
    std::string goods, location;
    DBINT base = 0;
    DBFLT8 qty = 0, amo = 0, price = 0;
    bool ok = bcp_init(proc, "Stock", nullptr, nullptr, DB_IN) != FAIL;
    ok = ok && bcp_bind(proc, reinterpret_cast<BYTE*>(&base), 0, -1, nullptr, 0, SYBINT4, 1) != FAIL;
    static BYTE placeholder = 0;
    ok = ok && bcp_bind(proc, &placeholder, 0, 0, nullptr, 0, SYBCHAR, 2) != FAIL;
    ok = ok && bcp_bind(proc, reinterpret_cast<BYTE*>(&qty), 0, -1, nullptr, 0, SYBFLT8, 3) != FAIL;
    ok = ok && bcp_bind(proc, reinterpret_cast<BYTE*>(&amo), 0, -1, nullptr, 0, SYBFLT8, 4) != FAIL;
    ok = ok && bcp_bind(proc, reinterpret_cast<BYTE*>(&price), 0, -1, nullptr, 0, SYBFLT8, 5) != FAIL;
    ok = ok && bcp_bind(proc, &placeholder, 0, 0, nullptr, 0, SYBCHAR, 6) != FAIL;
    for (long i = 0; ok && i < rows; ++i) {
      const Stock s = Make(i);
      base = s.base;
      qty = s.qty;
      amo = s.amo;
      price = s.price;
      goods = Utf16(s.goods);
      location = Utf16(s.location);
      bcp_colptr(proc, reinterpret_cast<BYTE*>(goods.data()), 2);
      bcp_collen(proc, static_cast<DBINT>(goods.size()), 2);
      bcp_colptr(proc, reinterpret_cast<BYTE*>(location.data()), 6);
      bcp_collen(proc, static_cast<DBINT>(location.size()), 6);
      ok = bcp_sendrow(proc) != FAIL;
    }
    const DBINT done = ok ? bcp_done(proc) : -1;
    if (done == rows) wire = bench::SecondsSince(start);
    dbclose(proc);
  }
  dbexit();
  listener.Stop();
  serving.join();
  std::filesystem::remove_all(dir);

  std::printf("rows                       %ld\n", rows);
  std::printf("direct bulk load           %8.2f s  %10.0f rows/s\n", direct, static_cast<double>(rows) / direct);
  if (wire < 0) {
    std::printf("bcp over TDS               failed\n");
    return 1;
  }
  std::printf("bcp over TDS (db-lib)      %8.2f s  %10.0f rows/s\n", wire, static_cast<double>(rows) / wire);
  std::printf("TDS / direct               %8.2fx the time\n", wire / direct);
  return 0;
}
