// Loads a million stock rows into the embedded server through the bulk-load
// path, and the same rows into SQLite with a plain prepared-insert loop, and
// prints rows per second of each.
//
//   bulk_load_bench [--rows 1000000]
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/com/datetime.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"

namespace {

struct Stock {
  int base;
  std::string goods;
  std::int64_t qty, amo;
  double price;
  std::string location;
};

Stock Make(long i) {
  return {static_cast<int>(i % 50) + 1, "G" + std::to_string(i / 50 + 1), (i % 300) * 10000, (i % 300) * 123400,
          12.34, "A-" + std::to_string(i % 30)};
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = bench::RowsOption(argc, argv, 1'000'000);
  const auto dir = bench::FreshTempFolder("korvel-bulk");
  const std::string table =
      "create table Stock (BaseID int not null, GoodsID nvarchar(50) not null, BalQua money null, BalAmo money null, "
      "BalPrice float null, Location nvarchar(32) null, OpTime datetime null default (getdate()), "
      "constraint PK_Stock primary key (BaseID, GoodsID))";
  double ours = 0, plain = 0;
  {
    auto server = sqlsrv::Server::CreateOrOpen(dir.string(), "pw");
    sqlsrv::Engine engine(server->CreateDatabase("Bench"), "Bench", "sa");
    engine.Execute(table);
    const auto start = std::chrono::steady_clock::now();
    auto w = engine.OpenBulkLoad("Stock", {"BaseID", "GoodsID", "BalQua", "BalAmo", "BalPrice", "Location"}, {});
    dts::Row row(6);
    for (long i = 0; i < rows; ++i) {
      const Stock s = Make(i);
      row[0] = com::Variant::I4(s.base);
      row[1].SetText(s.goods);
      row[2] = com::Variant::Currency(s.qty);
      row[3] = com::Variant::Currency(s.amo);
      row[4] = com::Variant::R8(s.price);
      row[5].SetText(s.location);
      w->Write(row);
    }
    w->Finish();
    ours = bench::SecondsSince(start);
  }
  {
    sqlite3* db = nullptr;
    sqlite3_open((dir / "plain.sqlite3").c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; CREATE TABLE Stock (BaseID INTEGER NOT NULL, "
                 "GoodsID TEXT NOT NULL, BalQua INTEGER, BalAmo INTEGER, BalPrice REAL, Location TEXT, OpTime TEXT, "
                 "PRIMARY KEY (BaseID, GoodsID))",
                 nullptr, nullptr, nullptr);
    const auto start = std::chrono::steady_clock::now();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Stock VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &st, nullptr);
    const std::string now = sqlsrv::NowText();
    for (long i = 0; i < rows; ++i) {
      const Stock s = Make(i);
      sqlite3_bind_int(st, 1, s.base);
      sqlite3_bind_text(st, 2, s.goods.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(st, 3, s.qty);
      sqlite3_bind_int64(st, 4, s.amo);
      sqlite3_bind_double(st, 5, s.price);
      sqlite3_bind_text(st, 6, s.location.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 7, now.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    plain = bench::SecondsSince(start);
    sqlite3_close(db);
  }
  std::filesystem::remove_all(dir);
  std::printf("%ld rows of stock\n", rows);
  std::printf("%-36s %10s %14s\n", "loader", "seconds", "rows/second");
  std::printf("%-36s %10.2f %14.0f\n", "embedded server bulk load", ours, rows / ours);
  std::printf("%-36s %10.2f %14.0f\n", "plain SQLite insert loop", plain, rows / plain);
  std::printf("bulk load runs at %.0f%% of the plain loop's speed\n", 100.0 * plain / ours);
  return 0;
}
