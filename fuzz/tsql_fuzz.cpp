// Fuzzes the embedded server's T-SQL: each input is a script (batches split
// at GO lines) that is tokenized, parsed, translated and run on one
// database with a few tables of a shop, inside a transaction rolled back
// afterwards so that inputs do not pile up in it. Any SQL Server error is
// an answer; anything else (a crash, a sanitizer report, another
// exception) is a finding.
//
// Each input is a session of its own (its options and temporary tables end
// with it). The database is a file in a folder of its own under the
// temporary folder, made once per process and made afresh every so many
// inputs (a script may COMMIT). A script that runs longer than kTimeLimit
// is interrupted, as a client's attention would.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/com/error.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/engine.h"

namespace {

constexpr std::size_t kMaxInput = 64 * 1024;
constexpr auto kTimeLimit = std::chrono::seconds(2);
constexpr int kInputsPerDatabase = 5000;

constexpr char kSchema[] = R"(
create table Shop (code char(4) not null primary key, name nvarchar(20) not null, opened datetime null)
create table Goods (id int identity(1, 1) primary key, code varchar(12) not null unique, name nvarchar(40) null,
                    price money not null default 0, qty int null, rate float null, active bit not null default 1)
create table Sales (id int identity(100, 10) not null, shop char(4) not null, goods int not null,
                    amount smallmoney null, sold datetime null default getdate(),
                    constraint PK_Sales primary key (id),
                    constraint FK_Sales_Shop foreign key (shop) references Shop (code),
                    constraint FK_Sales_Goods foreign key (goods) references Goods (id))
insert into Shop values ('S001', N'总店', '2007-01-23')
insert into Shop (code, name) values ('S002', 'Branch')
insert into Goods (code, name, price, qty, rate) values ('G1', N'茶', 12.5, 3, 0.5)
insert into Goods (code, name, price, qty) values ('G2', 'Cup', $1.25, null)
insert into Sales (shop, goods, amount) values ('S001', 1, 25)
go
create procedure Restock as update Goods set qty = isnull(qty, 0) + 1 select count(*) from Goods
)";

// One database for the whole run, and a watchdog that interrupts a script
// running too long.
class Fixture {
 public:
  Fixture()
      : folder_(std::filesystem::temp_directory_path() / ("korvel-tsql-fuzz-" + std::to_string(::getpid()))),
        watchdog_([this] { Watch(); }) {}
  ~Fixture() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    watchdog_.join();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  void Run(std::string_view script) {
    if (inputs_++ % kInputsPerDatabase == 0) Reset();
    sqlsrv::Engine engine(file_, "Sales60", "sa", "FUZZ");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      deadline_ = std::chrono::steady_clock::now() + kTimeLimit;
      running_ = &engine;
    }
    wake_.notify_all();
    try {
      engine.BeginTransaction();
      engine.Execute(script);
    } catch (const com::Error&) {
      // SQL Server's answer to a bad script.
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      running_ = nullptr;
    }
  }  // the session ends: its transaction rolls back, its temporary tables go

 private:
  void Reset() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    std::filesystem::create_directories(folder_);
    file_ = (folder_ / "Sales60.sqlite3").string();
    sqlsrv::CreateDatabaseFile(file_);
    sqlsrv::Engine(file_, "Sales60", "sa", "FUZZ").Execute(kSchema);
  }

  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      if (running_ && std::chrono::steady_clock::now() >= deadline_) {
        running_->Interrupt();
        running_ = nullptr;
      }
      wake_.wait_for(lock, std::chrono::milliseconds(100));
    }
  }

  std::filesystem::path folder_;
  std::string file_;
  long inputs_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  sqlsrv::Engine* running_ = nullptr;  // the session of the script running
  bool stopping_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::thread watchdog_;  // last: it starts once the rest is ready
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return 0;
  static Fixture fixture;
  fixture.Run(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
