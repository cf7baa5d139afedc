// Runs the default upgrade scheme C5to6Normal on a large sample shop, as the
// wizard and `korvel run` run it, and prints the run's wall and CPU time,
// rows read and written per second, peak memory and the seconds of every
// step.
//
//   full_upgrade_bench [--scale 1000] [--seed 56] [--work DIR] [--keep]
//
// The 5.6 sample is written once per scale and seed (by `korvel sample`)
// into the work folder, $TMPDIR/korvel-bench-full by default, and reused by
// later runs. Every run makes a fresh embedded server with a new 6.0
// database in WORK/srv and removes it afterwards unless --keep is given.
#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bench/bench_util.h"
#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "library/interface/provider.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
#include "platform/dts/events.h"
#include "platform/dts/model.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"

namespace embedded {
extern const char kCreate60[];
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kModel[] = "C5to6Normal";
constexpr char kDatabase[] = "Sales60";
constexpr char kPassword[] = "bench";

struct Options {
  int scale = 1000;
  std::uint64_t seed = 56;
  std::string work;
  bool keep = false;
};

void PrintUsage() {
  std::fprintf(stderr, "usage: full_upgrade_bench [--scale N] [--seed S] [--work DIR] [--keep]\n");
}

std::optional<long long> ParseNumber(const char* text, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return std::nullopt;
  return v;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keep") {
      o.keep = true;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    const char* value = argv[++i];
    if (arg == "--scale") {
      const auto v = ParseNumber(value, 1, 100000);
      if (!v) return std::nullopt;
      o.scale = static_cast<int>(*v);
    } else if (arg == "--seed") {
      const auto v = ParseNumber(value, 0, 1'000'000'000);
      if (!v) return std::nullopt;
      o.seed = static_cast<std::uint64_t>(*v);
    } else if (arg == "--work") {
      o.work = value;
    } else {
      return std::nullopt;
    }
  }
  if (o.work.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    o.work = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-bench-full";
  }
  return o;
}

// 1234567 -> "1,234,567".
std::string Grouped(long long n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return n < 0 ? "-" + out : out;
}

// User and system CPU seconds of this process so far, and its peak memory.
struct Usage {
  double user = 0;
  double sys = 0;
  long peak_rss_kb = 0;
};

Usage CurrentUsage() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return {seconds(r.ru_utime), seconds(r.ru_stime), r.ru_maxrss};
}

// A folder removed when the run ends, unless it is to be kept.
class ScratchFolder {
 public:
  ScratchFolder(std::string path, bool keep) : path_(std::move(path)), keep_(keep) {
    fs::remove_all(path_);
  }
  ~ScratchFolder() {
    if (keep_) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool keep_;
};

// The sample of this scale and seed in the work folder, written by
// `korvel sample` when it is not there yet.
std::string EnsureSample(const Options& o) {
  fs::create_directories(o.work);
  const std::string file =
      o.work + "/sample-" + std::to_string(o.scale) + "-seed" + std::to_string(o.seed) + ".mdb";
  if (fs::exists(file)) return file;
  const std::string part = file + ".part";
  std::printf("writing a scale-%d sample to %s ...\n", o.scale, file.c_str());
  std::fflush(stdout);
  const auto w = bench::Run({bench::SelfFolder() + "/korvel", "sample", "--quiet", "--out", part, "--scale",
                             std::to_string(o.scale), "--seed", std::to_string(o.seed)});
  if (w.exit_code != 0) {
    std::error_code ec;
    fs::remove(part, ec);
    throw com::Error(com::kErrInvalidArgument, "full_upgrade_bench",
                     "korvel sample failed (exit " + std::to_string(w.exit_code) + ")");
  }
  fs::rename(part, file);
  std::printf("  written in %.1f s, peak memory %.1f MiB\n\n", w.seconds, static_cast<double>(w.peak_rss_kb) / 1024.0);
  return file;
}

// Rows of every table of the sample, in catalog order.
std::vector<std::pair<std::string, long long>> CountRows(const std::string& file) {
  std::vector<std::pair<std::string, long long>> counts;
  jet::Database db(file);
  for (const auto& table : db.TableNames()) {
    const auto columns = db.TableColumns(table);
    if (columns.empty()) continue;
    auto reader = db.Query("select `" + columns.front().name + "` from `" + table + "`");
    dts::Row row;
    long long n = 0;
    while (reader->Next(row)) ++n;
    counts.emplace_back(table, n);
  }
  return counts;
}

// A fresh server in `folder` holding a new 6.0 database.
void CreateServer(const std::string& folder) {
  auto server = sqlsrv::Server::CreateOrOpen(folder, kPassword);
  const std::string file = server->CreateDatabase(kDatabase);
  sqlsrv::Engine(file, kDatabase, "sa").Execute(embedded::kCreate60);
}

// What one step did, kept while the package is alive.
struct StepRun {
  int number = 0;  // the step's position in the package
  std::string name;
  bool transfer = false;  // a data pump step
  bool failed = false;
  dts::StepStatistics stats;
};

class Observer final : public dts::PackageEvents {
 public:
  explicit Observer(dts::Package& package) : package_(package) {}

  void OnStart(const std::string& source) override {
    std::fprintf(stderr, "  %s ...\n", source.c_str());
  }
  void OnProgress(const std::string& source, const std::string& description, std::int32_t, std::int32_t,
                  std::int32_t) override {
    const auto now = Clock::now();
    if (now - last_progress_ < std::chrono::seconds(10)) return;
    last_progress_ = now;
    std::fprintf(stderr, "    %s (%s)\n", source.c_str(), description.c_str());
  }
  void OnFinish(const std::string& source) override { Keep(source, false); }
  void OnError(const std::string& source, std::int32_t, const std::string&, const std::string&, const std::string&,
               std::int32_t, const std::string&, bool&) override {
    Keep(source, true);
  }

  const std::vector<StepRun>& runs() const { return runs_; }

 private:
  void Keep(const std::string& source, bool failed) {
    int number = 0;
    for (const auto& step : package_.Steps()) {
      ++number;
      if (step->GetText("Description") != source) continue;
      StepRun r;
      r.number = number;
      r.name = step->Name();
      const dts::Task* task = package_.Tasks().Find(step->GetText("TaskName"));
      r.transfer = task != nullptr && task->kind() == "DTSDataPumpTask";
      r.failed = failed;
      r.stats = step->statistics();
      runs_.push_back(std::move(r));
      return;
    }
  }

  dts::Package& package_;
  std::vector<StepRun> runs_;
  Clock::time_point last_progress_{};
};

struct RunResult {
  std::string error;  // what KorvelExec raised, empty on success
  double wall = 0;
  Usage cpu;  // CPU seconds the run used, peak memory after it
  long peak_rss_before_kb = 0;
  std::vector<StepRun> steps;
};

// Creates the plan by ProgID and runs it as the wizard does.
RunResult RunPlan(const std::string& source, const std::string& server_folder) {
  korvel::CConnection src, dst;
  src.Provider = korvel::kJetProviderName;
  src.DataSource = source;
  src.InitialCatalog = source;
  src.IsNT = "False";
  dst.Provider = korvel::kSqlProviderName;
  dst.DataSource = "file:" + server_folder;
  dst.InitialCatalog = kDatabase;
  dst.UserID = "sa";
  dst.Password = kPassword;
  dst.IsNT = "False";

  RunResult result;
  const Usage before = CurrentUsage();
  result.peak_rss_before_kb = before.peak_rss_kb;
  const auto started = Clock::now();
  const std::string prog_id = std::string("Korvel.") + kModel;
  auto plan = com::QueryInterface<korvel::IPackage>(com::CreateObject(prog_id), prog_id);
  plan->KorvelInit(src, dst);
  auto package = plan->GetPackage();
  if (!package) throw com::Error(com::kErrInvalidArgument, "full_upgrade_bench", prog_id + " built no package");
  Observer observer(*package);
  {
    dts::EventLink link(package, &observer);
    try {
      plan->KorvelExec();
    } catch (const com::Error& e) {
      result.error = e.description();
    }
  }
  package.reset();
  plan.reset();
  result.wall = std::chrono::duration<double>(Clock::now() - started).count();
  const Usage after = CurrentUsage();
  result.cpu = {after.user - before.user, after.sys - before.sys, after.peak_rss_kb};
  result.steps = observer.runs();
  return result;
}

// Rows per second, grouped: "123,456".
std::string PerSecond(long long rows, double seconds) {
  return seconds > 0 ? Grouped(std::llround(static_cast<double>(rows) / seconds)) : "-";
}

void PrintSteps(const RunResult& r) {
  std::printf("\n%3s %4s %10s %7s %12s %12s %12s  %s\n", "run", "step", "seconds", "share", "rows read",
              "rows written", "rows changed", "name");
  int order = 0;
  double in_steps = 0;
  for (const auto& s : r.steps) {
    in_steps += s.stats.seconds;
    std::string in = "-", out = "-", changed = "-";
    if (s.transfer) {
      in = Grouped(s.stats.rows_read);
      out = Grouped(s.stats.rows_written);
    } else if (!s.stats.statements.empty()) {
      long long n = 0;
      for (const auto& a : s.stats.statements) n += a.rows;
      changed = Grouped(n);
    }
    std::printf("%3d %4d %10.3f %6.1f%% %12s %12s %12s  %s%s\n", ++order, s.number, s.stats.seconds,
                r.wall > 0 ? 100.0 * s.stats.seconds / r.wall : 0.0, in.c_str(), out.c_str(), changed.c_str(),
                s.name.c_str(), s.failed ? "  (failed)" : "");
  }
  const double outside = r.wall - in_steps;
  std::printf("%3s %4s %10.3f %6.1f%% %12s %12s %12s  %s\n", "", "", outside, r.wall > 0 ? 100.0 * outside / r.wall : 0.0,
              "", "", "", "(outside the steps: building the package, ending the transaction)");
}

int Bench(const Options& o) {
  const std::string sample = EnsureSample(o);
  const auto counts = CountRows(sample);
  std::printf("scheme %s, scale %d, seed %llu\n", kModel, o.scale, static_cast<unsigned long long>(o.seed));
  std::printf("sample %s (%.1f MiB)\n\n", sample.c_str(), static_cast<double>(fs::file_size(sample)) / 1048576.0);
  std::printf("%-14s %12s\n", "source table", "rows");
  long long total = 0;
  for (const auto& [table, n] : counts) {
    std::printf("%-14s %12s\n", table.c_str(), Grouped(n).c_str());
    total += n;
  }
  std::printf("%-14s %12s\n\n", "total", Grouped(total).c_str());

  ScratchFolder server(o.work + "/srv", o.keep);
  const auto setup_started = Clock::now();
  CreateServer(server.path());
  std::printf("server file:%s with a new database %s, made in %.2f s\n", server.path().c_str(), kDatabase,
              std::chrono::duration<double>(Clock::now() - setup_started).count());
  std::printf("running %s ...\n", kModel);
  std::fflush(stdout);

  const RunResult r = RunPlan(sample, server.path());

  long long rows_read = 0, rows_written = 0;
  double transfer_seconds = 0;
  for (const auto& s : r.steps) {
    if (!s.transfer) continue;
    rows_read += s.stats.rows_read;
    rows_written += s.stats.rows_written;
    transfer_seconds += s.stats.seconds;
  }
  PrintSteps(r);
  std::printf("\n%-22s %12.2f s\n", "wall time", r.wall);
  std::printf("%-22s %12.2f s  (user %.2f + sys %.2f)\n", "CPU time", r.cpu.user + r.cpu.sys, r.cpu.user, r.cpu.sys);
  std::printf("%-22s %12s     %10s rows/s over the run, %10s rows/s within transfer steps\n",
              "rows read (transfers)", Grouped(rows_read).c_str(), PerSecond(rows_read, r.wall).c_str(),
              PerSecond(rows_read, transfer_seconds).c_str());
  std::printf("%-22s %12s     %10s rows/s over the run, %10s rows/s within transfer steps\n", "rows written",
              Grouped(rows_written).c_str(), PerSecond(rows_written, r.wall).c_str(),
              PerSecond(rows_written, transfer_seconds).c_str());
  std::printf("%-22s %12.1f MiB  (%.1f MiB before the run)\n", "peak memory",
              static_cast<double>(r.cpu.peak_rss_kb) / 1024.0, static_cast<double>(r.peak_rss_before_kb) / 1024.0);
  if (o.keep) std::printf("server kept in %s\n", server.path().c_str());
  if (!r.error.empty()) {
    std::fprintf(stderr, "\nthe upgrade failed: %s\n", r.error.c_str());
    return 1;
  }
  for (const auto& s : r.steps) {
    if (s.failed) {
      std::fprintf(stderr, "\nthe upgrade failed: step %s failed\n", s.name.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = ParseOptions(argc, argv);
  if (!options) {
    PrintUsage();
    return 2;
  }
  try {
    return Bench(*options);
  } catch (const com::Error& e) {
    std::fprintf(stderr, "full_upgrade_bench: %s\n", e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "full_upgrade_bench: %s\n", e.what());
  }
  return 1;
}
