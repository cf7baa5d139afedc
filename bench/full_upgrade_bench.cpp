// Measures whole upgrades as the wizard and `korvel run` run them, beside
// what they are weighed against, in three cases:
//   - C5to6Normal on a sample shop (scale 1000: about 1.3 million rows),
//   - C5to6Employee on a source of 1,000,000 employees (--employees),
//   - C5to6Employee on 1,000 employees, for the memory comparison.
//
//   full_upgrade_bench [--scale 1000] [--seed 56] [--employees 1000000]
//                      [--only normal|employee] [--turns 3] [--work DIR] [--keep]
//
// For each case it prints the seconds and rows of every step of our run
// and a table of:
//   ours         the plan run in a child process (this program with
//                --run-one) against a server made beforehand: wall and CPU
//                time of the run, and the child's peak memory (the
//                high-water mark of its resident set);
//   peer         mdb-schema and mdb-export of the transferred tables piped
//                into sqlite3 in one transaction: wall time start to end,
//                CPU time of all its processes;
//   pure scan    every row of each transfer's source query read through
//                jet::Database and dropped;
//   pure insert  the same rows, read beforehand, inserted with one prepared
//                SQLite INSERT per table into plain tables (keyed as the
//                destination tables where the transfer feeds the key, as
//                the output lists) in one transaction; only the inserts and
//                the COMMIT are timed;
//   check        `korvel check` of the plan against the same destination,
//                in a child process: what the operator runs before the
//                upgrade, which reads and converts every row and writes
//                nothing;
//   floor        (full upgrade) SQLite itself copying every row our run
//                left, INSERT ... SELECT per table into a new 6.0 database
//                in one transaction, foreign keys on;
//   whole command (full upgrade) `korvel run` from process start to exit,
//                login and reconciliation included, into a server of its
//                own; floor and command are measured in turn (--turns
//                times each), every turn and its ratio printed, the medians
//                kept; turns whose ratios lie more than a tenth of the
//                median apart leave the 1.2 target undecided rather than
//                met or not;
// then ours / peer and ours / max(scan, insert) in wall time. A summary
// ends the output: peer at least 3 times our time and ours at most 1.5
// times the slower of scan and insert (for the two large cases), the
// check at most half of our run and the whole command at most 1.2 times
// the slower of scan and floor (for the full upgrade), and a
// flat peak memory from 1,000 to 1,000,000 employees (at most 1.25 times),
// each met or not met. A missed target is reported, not failed; the exit
// status is non-zero only for errors. Progress goes to standard error.
//
// Sources are written once into the work folder ($TMPDIR/korvel-bench-full
// by default) and reused: the sample by `korvel sample`, the employee files
// by our Jet writer. Each case works in WORK/case-NAME (a fresh embedded
// server with a new 6.0 database, the SQLite files of peer and insert),
// removed afterwards unless --keep is given.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bench/baselines.h"
#include "bench/bench_util.h"
#include "bench/employee_source.h"
#include "bench/upgrade_plan.h"
#include "platform/com/error.h"
#include "platform/dts/events.h"
#include "platform/dts/model.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"

namespace embedded {
extern const char kCreate60[];
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kRunOneMode[] = "--run-one";
constexpr char kFiguresTag[] = "figures:";
constexpr long long kSmallEmployees = 1000;

// Targets.
constexpr double kPeerOverOursAtLeast = 3.0;
constexpr double kOursOverBaselineAtMost = 1.5;
constexpr double kCommandOverFloorAtMost = 1.2;
constexpr double kMemoryGrowthAtMost = 1.25;  // "flat": large-case peak over small-case peak
constexpr double kCheckOverOursAtMost = 0.5;

enum class Only { kAll, kNormal, kEmployee };

struct Options {
  int scale = 1000;
  std::uint64_t seed = 56;
  long long employees = 1'000'000;
  Only only = Only::kAll;
  std::string work;
  bool keep = false;
  int turns = 3;  // how many times the floor and the whole command are each measured
};

void PrintUsage() {
  std::fprintf(stderr,
               "usage: full_upgrade_bench [--scale N] [--seed S] [--employees N] [--only normal|employee]\n"
               "                          [--turns N] [--work DIR] [--keep]\n");
}

std::optional<long long> ParseNumber(const char* text, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return std::nullopt;
  return v;
}

// Applies one "--name value" option; false when either is not understood.
bool ApplyOption(const std::string& name, const char* value, Options& o) {
  if (name == "--work") {
    o.work = value;
    return true;
  }
  if (name == "--only") {
    const std::string v = value;
    o.only = v == "normal" ? Only::kNormal : v == "employee" ? Only::kEmployee : Only::kAll;
    return v == "normal" || v == "employee";
  }
  std::optional<long long> v;
  if (name == "--scale" && (v = ParseNumber(value, 1, 100000))) {
    o.scale = static_cast<int>(*v);
  } else if (name == "--seed" && (v = ParseNumber(value, 0, 1'000'000'000))) {
    o.seed = static_cast<std::uint64_t>(*v);
  } else if (name == "--employees" && (v = ParseNumber(value, 1, 99'999'999))) {
    o.employees = *v;
  } else if (name == "--turns" && (v = ParseNumber(value, 1, 99))) {
    o.turns = static_cast<int>(*v);
  }
  return v.has_value();
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keep") {
      o.keep = true;
    } else if (i + 1 >= argc || !ApplyOption(arg, argv[++i], o)) {
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

// Rows per second, grouped: "123,456".
std::string PerSecond(long long rows, double seconds) {
  return seconds > 0 ? Grouped(std::llround(static_cast<double>(rows) / seconds)) : "-";
}

double MiB(long kb) { return static_cast<double>(kb) / 1024.0; }

// `v` with `decimals` decimals, then `suffix`: Fixed(3.04, 1, "×") -> "3.0×".
std::string Fixed(double v, int decimals, const char* suffix = "") {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f%s", decimals, v, suffix);
  return buf;
}

[[noreturn]] void Fail(const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "full_upgrade_bench", what);
}

// A folder made empty now and removed when the case ends, unless kept.
class ScratchFolder {
 public:
  ScratchFolder(std::string path, bool keep) : path_(std::move(path)), keep_(keep) {
    fs::remove_all(path_);
    fs::create_directories(path_);
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

// ------------------------------------------------------------ our run (child)

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
      r.transfer = task != nullptr && task->kind() == dts::kDataPumpTaskKind;
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
  bench::Usage cpu;  // CPU seconds the run used, peak memory after it
  long peak_rss_before_kb = 0;
  std::vector<StepRun> steps;
  long long rows_read = 0;  // by the transfer steps
  long long rows_written = 0;
  double transfer_seconds = 0;

  bool Failed() const;
};

bool RunResult::Failed() const {
  if (!error.empty()) return true;
  for (const auto& s : steps) {
    if (s.failed) return true;
  }
  return false;
}

// Creates the plan by ProgID and runs it as the wizard does.
RunResult RunPlan(const std::string& model, const std::string& source, const std::string& server_folder) {
  RunResult result;
  const bench::Usage before = bench::CurrentUsage();
  result.peak_rss_before_kb = before.peak_rss_kb;
  const auto started = Clock::now();
  auto plan = bench::CreatePlan(model, source, server_folder);
  auto package = plan->GetPackage();
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
  const bench::Usage after = bench::CurrentUsage();
  result.cpu = {after.user - before.user, after.sys - before.sys, after.peak_rss_kb};
  result.steps = observer.runs();
  for (const auto& s : result.steps) {
    if (!s.transfer) continue;
    result.rows_read += s.stats.rows_read;
    result.rows_written += s.stats.rows_written;
    result.transfer_seconds += s.stats.seconds;
  }
  return result;
}

void PrintSteps(const RunResult& r) {
  std::printf("%3s %4s %10s %7s %12s %12s %12s  %s\n", "run", "step", "seconds", "share", "rows read",
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

void PrintRunDetail(const RunResult& r) {
  std::printf("rows read %s, written %s: %s and %s rows/s over the run, %s and %s within the transfer steps\n",
              Grouped(r.rows_read).c_str(), Grouped(r.rows_written).c_str(), PerSecond(r.rows_read, r.wall).c_str(),
              PerSecond(r.rows_written, r.wall).c_str(), PerSecond(r.rows_read, r.transfer_seconds).c_str(),
              PerSecond(r.rows_written, r.transfer_seconds).c_str());
  std::printf("CPU user %.2f s + sys %.2f s; peak memory %.1f MiB (%.1f MiB before the run)\n", r.cpu.user, r.cpu.sys,
              MiB(r.cpu.peak_rss_kb), MiB(r.peak_rss_before_kb));
}

// The child's side: the plan run against the server in `server_folder`, its
// steps printed, and a last line of figures for the parent.
int RunOne(const std::string& model, const std::string& source, const std::string& server_folder) {
  const RunResult r = RunPlan(model, source, server_folder);
  PrintSteps(r);
  PrintRunDetail(r);
  std::printf("%s wall=%.6f cpu=%.6f peak_kb=%ld rows_read=%lld rows_written=%lld\n", kFiguresTag, r.wall,
              r.cpu.user + r.cpu.sys, r.cpu.peak_rss_kb, r.rows_read, r.rows_written);
  if (!r.error.empty()) std::fprintf(stderr, "the upgrade failed: %s\n", r.error.c_str());
  for (const auto& s : r.steps) {
    if (s.failed) std::fprintf(stderr, "the upgrade failed: step %s failed\n", s.name.c_str());
  }
  return r.Failed() ? 1 : 0;
}

// ------------------------------------------------------------------ sources

// `file`, written by `write` (to a .part file then renamed) when it is not
// there yet.
std::string Cached(const std::string& file, const std::string& what,
                   const std::function<void(const std::string& part)>& write) {
  if (fs::exists(file)) return file;
  fs::create_directories(fs::path(file).parent_path());
  const std::string part = file + ".part";
  std::printf("writing %s to %s ...\n", what.c_str(), file.c_str());
  std::fflush(stdout);
  const auto started = Clock::now();
  try {
    write(part);
  } catch (...) {
    std::error_code ec;
    fs::remove(part, ec);
    throw;
  }
  fs::rename(part, file);
  std::printf("  written in %.1f s\n", std::chrono::duration<double>(Clock::now() - started).count());
  return file;
}

std::string SamplePath(const Options& o) {
  return Cached(o.work + "/sample-" + std::to_string(o.scale) + "-seed" + std::to_string(o.seed) + ".mdb",
                "a scale-" + std::to_string(o.scale) + " sample", [&](const std::string& part) {
                  const auto w = bench::Run({bench::SelfFolder() + "/korvel", "sample", "--quiet", "--out", part,
                                             "--scale", std::to_string(o.scale), "--seed", std::to_string(o.seed)});
                  if (w.exit_code != 0) Fail("korvel sample failed (exit " + std::to_string(w.exit_code) + ")");
                });
}

std::string EmployeeSourcePath(const Options& o, long long rows) {
  return Cached(o.work + "/employees-" + std::to_string(rows) + "-seed" + std::to_string(o.seed) + ".mdb",
                Grouped(rows) + " employees",
                [&](const std::string& part) { bench::WriteEmployeeSource(part, rows, o.seed); });
}

// -------------------------------------------------------------- the cases

// The speed targets hold for the large cases; the small employee case is
// there for the memory comparison.
enum class Role { kNormal, kEmployeeLarge, kEmployeeSmall };

struct Case {
  Role role;
  std::string title;  // "C5to6Employee, 1,000 employees"
  std::string name;   // its folder's name under the work folder
  std::string model;
  std::string source;
};

// Our run as the child reported it.
struct OurRun {
  double wall = 0;
  double cpu = 0;
  long peak_rss_kb = 0;
  long long rows_read = 0;
  long long rows_written = 0;
};

// How far apart, as a share of their median, the turns' ratios of the whole
// command to the floor may lie for the median to be a verdict.
constexpr double kRatioSpreadAtMost = 0.10;

// The run of `runs` whose `seconds` is the median.
template <typename Run, typename Seconds>
Run Median(std::vector<Run> runs, Seconds seconds) {
  std::sort(runs.begin(), runs.end(), [&](const Run& a, const Run& b) { return seconds(a) < seconds(b); });
  return runs[runs.size() / 2];
}

struct CaseFigures {
  std::vector<bench::Transfer> transfers;
  std::vector<double> floor_turns, command_turns;  // each turn's seconds, in order
  long long source_rows = 0;  // in the tables the transfers read
  OurRun ours;
  bench::PeerResult peer;
  bench::ScanResult scan;
  bench::InsertResult insert;
  bench::InsertResult insert_destination;  // every row our run left, into the 6.0 tables
  std::optional<bench::ChildRun> check;    // korvel check, for the full upgrade
  // For the full upgrade: `korvel run` as the operator waits for it, and
  // SQLite copying every row it left (the floor).
  std::optional<bench::ChildRun> command;
  std::optional<bench::InsertResult> floor;
};

// A fresh server in `folder` holding a new 6.0 database, made here so that the
// child's peak memory is the run's own.
// Returns the database's file.
std::string CreateServer(const std::string& folder) {
  auto server = sqlsrv::Server::CreateOrOpen(folder, bench::kPassword);
  const std::string file = server->CreateDatabase(bench::kDatabase);
  sqlsrv::Engine(file, bench::kDatabase, "sa").Execute(embedded::kCreate60);
  return file;
}

// Runs the plan in a child process, forwards its report and reads its
// figures line.
OurRun RunOurs(const Case& c, const std::string& server_folder) {
  std::string out;
  const auto child = bench::RunCapture(
      {bench::SelfFolder() + "/full_upgrade_bench", kRunOneMode, c.model, c.source, server_folder}, out);
  std::istringstream lines(out);
  OurRun ours;
  bool reported = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kFiguresTag, 0) != 0) {
      std::printf("%s\n", line.c_str());
      continue;
    }
    reported = std::sscanf(line.c_str() + std::strlen(kFiguresTag),
                           " wall=%lf cpu=%lf peak_kb=%ld rows_read=%lld rows_written=%lld", &ours.wall, &ours.cpu,
                           &ours.peak_rss_kb, &ours.rows_read, &ours.rows_written) == 5;
  }
  if (child.exit_code != 0 || !reported) {
    Fail(c.model + " failed on " + c.source + " (exit " + std::to_string(child.exit_code) + ")");
  }
  return ours;
}

// Runs `korvel check` of the plan against the server's new database in a
// child process. Its verdict may be 0 (clean) or 1 (values cut): the
// sample holds a name longer than its 6.0 column.
bench::ChildRun RunCheck(const Case& c, const std::string& server_folder) {
  const auto check = bench::Run({bench::SelfFolder() + "/korvel", "check", "--model", c.model, "--source", c.source,
                                 "--server", "file:" + server_folder, "--user", "sa", "--password", bench::kPassword,
                                 "--database", bench::kDatabase});
  if (check.exit_code != 0 && check.exit_code != 1) {
    Fail("korvel check of " + c.model + " failed on " + c.source + " (exit " + std::to_string(check.exit_code) + ")");
  }
  return check;
}

std::vector<bench::Transfer> PlanTransfers(const Case& c, const std::string& server_folder) {
  auto plan = bench::CreatePlan(c.model, c.source, server_folder);
  return bench::PackageTransfers(*plan->GetPackage(), embedded::kCreate60);
}

// The tables the transfers read, each once, with their rows as the scan
// counted them.
std::vector<std::pair<std::string, long long>> SourceTables(const std::vector<bench::Transfer>& transfers,
                                                            const bench::ScanResult& scan) {
  std::vector<std::pair<std::string, long long>> tables;
  for (std::size_t i = 0; i < transfers.size(); ++i) {
    bool seen = false;
    for (const auto& t : tables) seen = seen || t.first == transfers[i].source_table;
    if (!seen) tables.emplace_back(transfers[i].source_table, scan.rows[i]);
  }
  return tables;
}

long long TotalRows(const std::vector<std::pair<std::string, long long>>& tables) {
  long long total = 0;
  for (const auto& t : tables) total += t.second;
  return total;
}

void PrintSourceTables(const std::vector<std::pair<std::string, long long>>& tables) {
  std::printf("source tables transferred:");
  for (const auto& [table, rows] : tables) std::printf(" %s %s,", table.c_str(), Grouped(rows).c_str());
  std::printf(" in all %s rows\n", Grouped(TotalRows(tables)).c_str());
}

void Progress(const char* what) {
  std::fprintf(stderr, "%s ...\n", what);
}

// The scan goes first, so that every later reader finds the file in the
// page cache; the insert goes last, as it holds a table's rows in memory.
CaseFigures MeasureCase(const Case& c, const Options& o) {
  std::printf("\n=== %s ===\nsource %s (%.1f MiB)\n", c.title.c_str(), c.source.c_str(),
              static_cast<double>(fs::file_size(c.source)) / 1048576.0);
  ScratchFolder folder(o.work + "/case-" + c.name, o.keep);
  const std::string server = folder.path() + "/srv";
  const auto setup_started = Clock::now();
  const std::string destination = CreateServer(server);
  std::printf("server file:%s with a new database %s, made in %.2f s\n", server.c_str(), bench::kDatabase,
              std::chrono::duration<double>(Clock::now() - setup_started).count());
  CaseFigures f;
  f.transfers = PlanTransfers(c, server);
  Progress("pure scan");
  f.scan = bench::ScanSources(c.source, f.transfers);
  const auto tables = SourceTables(f.transfers, f.scan);
  f.source_rows = TotalRows(tables);
  PrintSourceTables(tables);
  std::fflush(stdout);
  if (c.role == Role::kNormal) {
    Progress(("check: korvel check --model " + c.model).c_str());
    f.check = RunCheck(c, server);
  }
  Progress(("ours: " + c.model).c_str());
  f.ours = RunOurs(c, server);
  std::vector<std::string> names;
  for (const auto& t : tables) names.push_back(t.first);
  Progress("peer: mdbtools | sqlite3");
  f.peer = bench::RunPeer(c.source, names, folder.path() + "/peer.sqlite");
  Progress("pure insert");
  f.insert = bench::InsertIntoSqlite(c.source, f.transfers, folder.path() + "/insert.sqlite");
  Progress("pure insert into the 6.0 tables");
  f.insert_destination = bench::InsertIntoDestinationTables(destination, CreateServer(folder.path() + "/srv-insert"));
  if (c.role == Role::kNormal) {
    // The floor and the whole command in turn, o.turns times each, on fresh
    // servers: a machine whose speed drifts between two single runs would
    // otherwise decide their ratio. The median of each is kept.
    std::vector<bench::InsertResult> floors;
    std::vector<bench::ChildRun> commands;
    for (int turn = 1; turn <= o.turns; ++turn) {
      const std::string n = std::to_string(turn);
      Progress(("floor: INSERT ... SELECT of every row left, into 6.0 tables (" + n + ")").c_str());
      floors.push_back(bench::CopyDestinationTables(destination, CreateServer(folder.path() + "/srv-floor" + n)));
      Progress(("the whole command: korvel run --model " + c.model + " (" + n + ")").c_str());
      const std::string command_server = folder.path() + "/srv-command" + n;
      CreateServer(command_server);
      commands.push_back(bench::Run({bench::SelfFolder() + "/korvel", "run", "--model", c.model, "--source", c.source,
                                     "--server", "file:" + command_server, "--user", "sa", "--password",
                                     bench::kPassword, "--database", bench::kDatabase},
                                    folder.path() + "/korvel-run" + n + ".out"));
      if (commands.back().exit_code != 0) {
        Fail("korvel run failed (exit " + std::to_string(commands.back().exit_code) + ")");
      }
    }
    for (const auto& r : floors) f.floor_turns.push_back(r.cost.wall);
    for (const auto& r : commands) f.command_turns.push_back(r.seconds);
    f.floor = Median(floors, [](const bench::InsertResult& r) { return r.cost.wall; });
    f.command = Median(commands, [](const bench::ChildRun& r) { return r.seconds; });
  }
  if (o.keep) std::printf("kept %s\n", folder.path().c_str());
  return f;
}

// The whole command against the slower of reading the source and SQLite's
// own copy of what the run left.
double CommandOverFloor(const CaseFigures& f) { return f.command->seconds / std::max(f.scan.cost.wall, f.floor->cost.wall); }

// The whole command over the floor, turn by turn: each command against the
// floor measured just before it.
std::vector<double> TurnRatios(const CaseFigures& f) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < f.command_turns.size() && i < f.floor_turns.size(); ++i) {
    ratios.push_back(f.command_turns[i] / std::max(f.scan.cost.wall, f.floor_turns[i]));
  }
  return ratios;
}

// Whether the turns' ratios lie too far apart for their median to decide:
// more than kRatioSpreadAtMost of it between the lowest and the highest.
bool TooSpreadToConclude(const CaseFigures& f) {
  const std::vector<double> r = TurnRatios(f);
  if (r.size() < 2) return false;
  const auto [low, high] = std::minmax_element(r.begin(), r.end());
  return *high - *low > kRatioSpreadAtMost * CommandOverFloor(f);
}

double OursOverPeer(const CaseFigures& f) { return f.ours.wall / f.peer.run.seconds; }
double OursOverBaseline(const CaseFigures& f) { return f.ours.wall / std::max(f.scan.cost.wall, f.insert.cost.wall); }
double OursOverDestinationBaseline(const CaseFigures& f) {
  return f.ours.wall / std::max(f.scan.cost.wall, f.insert_destination.cost.wall);
}

void PrintFigureLine(const std::string& what, double wall, double cpu, long long rows, std::optional<long> peak_kb) {
  std::printf("%-44s %9.2f %9.2f %12s %11s %9s\n", what.c_str(), wall, cpu, Grouped(rows).c_str(),
              PerSecond(rows, wall).c_str(), peak_kb ? Fixed(MiB(*peak_kb), 1).c_str() : "-");
}

// "Base (BaseID), bBalance (BaseID, GoodsID), Note (no key)".
void PrintInsertKeys(const std::vector<bench::Transfer>& transfers) {
  std::string keys;
  for (const auto& t : transfers) {
    std::string columns;
    for (const auto& k : t.key_columns) columns += (columns.empty() ? "" : ", ") + k;
    keys += (keys.empty() ? "" : ", ") + t.source_table + " (" + (columns.empty() ? "no key" : columns) + ")";
  }
  std::printf("pure insert tables keyed as the destination tables: %s\n", keys.c_str());
}

void PrintCase(const Case& c, const CaseFigures& f) {
  std::printf("\n%-44s %9s %9s %12s %11s %9s\n", c.title.c_str(), "wall s", "CPU s", "rows", "rows/s", "peak MiB");
  PrintFigureLine("ours: " + c.model + " (child process)", f.ours.wall, f.ours.cpu, f.ours.rows_read,
                  f.ours.peak_rss_kb);
  if (f.check) {
    PrintFigureLine("check: korvel check (child process)", f.check->seconds, f.check->cpu_seconds, f.source_rows,
                    f.check->peak_rss_kb);
  }
  PrintFigureLine("peer: mdb-schema + mdb-export | sqlite3", f.peer.run.seconds, f.peer.run.cpu_seconds, f.peer.rows,
                  std::nullopt);
  PrintFigureLine("pure scan: jet::Database, rows dropped", f.scan.cost.wall, f.scan.cost.cpu, f.scan.TotalRows(),
                  std::nullopt);
  PrintFigureLine("pure insert: SQLite, one prepared INSERT", f.insert.cost.wall, f.insert.cost.cpu, f.insert.rows,
                  std::nullopt);
  PrintInsertKeys(f.transfers);
  PrintFigureLine("pure insert: every row left, into 6.0 tables", f.insert_destination.cost.wall,
                  f.insert_destination.cost.cpu, f.insert_destination.rows, std::nullopt);
  std::printf("  (every row the run left, the postings' included, by one prepared INSERT per table into a new 6.0\n"
              "   database: its keys, indexes, foreign keys and collation)\n");
  if (f.command && f.floor) {
    PrintFigureLine("floor: INSERT ... SELECT of every row left", f.floor->cost.wall, f.floor->cost.cpu, f.floor->rows,
                    std::nullopt);
    std::printf("  (SQLite copying, table after table in one transaction, every row our run left into a new 6.0\n"
                "   database from the same schema: its keys, indexes, foreign keys on and collation)\n");
    PrintFigureLine("whole command: korvel run (login, steps, recount)", f.command->seconds, f.command->cpu_seconds,
                    f.ours.rows_read, f.command->peak_rss_kb);
    std::printf("  (each the median of %zu turns, floor and command in turn)\n", f.command_turns.size());
    const std::vector<double> ratios = TurnRatios(f);
    for (std::size_t i = 0; i < ratios.size(); ++i) {
      std::printf("  turn %zu: floor %.2f s, whole command %.2f s, ratio %.2f\n", i + 1, f.floor_turns[i],
                  f.command_turns[i], ratios[i]);
    }
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("whole command / max(scan, floor) %.2f (turns from %.2f to %.2f)\n", CommandOverFloor(f), *low, *high);
    if (TooSpreadToConclude(f)) {
      std::printf("  the turns lie more than %.0f%% of the median apart: too noisy to conclude; run again on a\n"
                  "  quieter machine, or with more --turns\n",
                  100 * kRatioSpreadAtMost);
    }
  }
  if (f.peer.rows != f.source_rows) {
    std::printf("note: the peer's tables hold %s rows, the source tables %s\n", Grouped(f.peer.rows).c_str(),
                Grouped(f.source_rows).c_str());
  }
  std::printf("ours / peer %.2f (peer is %.1f× our time); ours / max(scan, insert) %.2f; "
              "ours / max(scan, 6.0 insert) %.2f\n",
              OursOverPeer(f), 1.0 / OursOverPeer(f), OursOverBaseline(f), OursOverDestinationBaseline(f));
  std::fflush(stdout);
}

// ---------------------------------------------------------------- summary

// `text` padded with spaces to `width` characters (not bytes: "×" is one).
std::string Padded(const std::string& text, std::size_t width) {
  std::size_t characters = 0;
  for (unsigned char ch : text) characters += (ch & 0xC0) != 0x80;
  return text + std::string(width > characters ? width - characters : 0, ' ');
}

void PrintTarget(const std::string& what, const std::string& figure, bool met) {
  std::printf("%s %s %s\n", Padded(what, 72).c_str(), Padded(figure, 26).c_str(), met ? "met" : "not met");
}

void PrintSpeedTargets(const Case& c, const CaseFigures& f) {
  const double peer_over_ours = 1.0 / OursOverPeer(f);
  PrintTarget(c.title + ": peer / ours >= " + Fixed(kPeerOverOursAtLeast, 1), Fixed(peer_over_ours, 2, "×"),
              peer_over_ours >= kPeerOverOursAtLeast);
  PrintTarget(c.title + ": ours / max(scan, insert) <= " + Fixed(kOursOverBaselineAtMost, 1),
              Fixed(OursOverBaseline(f), 2), OursOverBaseline(f) <= kOursOverBaselineAtMost);
  PrintTarget(c.title + ": ours / max(scan, 6.0 insert) <= " + Fixed(kOursOverBaselineAtMost, 1),
              Fixed(OursOverDestinationBaseline(f), 2), OursOverDestinationBaseline(f) <= kOursOverBaselineAtMost);
  if (f.command && f.floor) {
    const std::string what = c.title + ": whole korvel run / max(scan, floor) <= " + Fixed(kCommandOverFloorAtMost, 1);
    if (TooSpreadToConclude(f)) {
      std::printf("%s %s %s\n", Padded(what, 72).c_str(), Padded(Fixed(CommandOverFloor(f), 2), 26).c_str(),
                  "undecided: the turns lie too far apart");
    } else {
      PrintTarget(what, Fixed(CommandOverFloor(f), 2), CommandOverFloor(f) <= kCommandOverFloorAtMost);
    }
  }
  if (f.check) {
    const double check_over_ours = f.check->seconds / f.ours.wall;
    PrintTarget(c.title + ": check / ours <= " + Fixed(kCheckOverOursAtMost, 1), Fixed(check_over_ours, 2),
                check_over_ours <= kCheckOverOursAtMost);
  }
}

void PrintMemoryTarget(const CaseFigures& small, const CaseFigures& large, long long large_rows) {
  const double growth = static_cast<double>(large.ours.peak_rss_kb) / static_cast<double>(small.ours.peak_rss_kb);
  PrintTarget("C5to6Employee peak memory, " + Grouped(kSmallEmployees) + " vs " + Grouped(large_rows) +
                  " rows: flat (<= " + Fixed(kMemoryGrowthAtMost, 2, "×") + ")",
              Fixed(MiB(small.ours.peak_rss_kb), 1) + " -> " + Fixed(MiB(large.ours.peak_rss_kb), 1, " MiB (") +
                  Fixed(growth, 2, "×)"),
              growth <= kMemoryGrowthAtMost);
}

int Bench(const Options& o) {
  std::vector<Case> cases;
  if (o.only != Only::kEmployee) {
    cases.push_back({Role::kNormal, "C5to6Normal, scale-" + std::to_string(o.scale) + " sample", "normal",
                     "C5to6Normal", SamplePath(o)});
  }
  if (o.only != Only::kNormal) {
    cases.push_back({Role::kEmployeeLarge, "C5to6Employee, " + Grouped(o.employees) + " employees", "employee-large",
                     "C5to6Employee", EmployeeSourcePath(o, o.employees)});
    cases.push_back({Role::kEmployeeSmall, "C5to6Employee, " + Grouped(kSmallEmployees) + " employees",
                     "employee-small", "C5to6Employee", EmployeeSourcePath(o, kSmallEmployees)});
  }
  std::vector<CaseFigures> figures;
  for (const auto& c : cases) {
    figures.push_back(MeasureCase(c, o));
    PrintCase(c, figures.back());
  }
  std::printf("\n=== targets ===\n");
  const CaseFigures* large_employees = nullptr;
  const CaseFigures* small_employees = nullptr;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].role == Role::kEmployeeSmall) {
      small_employees = &figures[i];
      continue;
    }
    PrintSpeedTargets(cases[i], figures[i]);
    if (cases[i].role == Role::kEmployeeLarge) large_employees = &figures[i];
  }
  if (small_employees && large_employees) PrintMemoryTarget(*small_employees, *large_employees, o.employees);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::strcmp(argv[1], kRunOneMode) == 0) return RunOne(argv[2], argv[3], argv[4]);
    const auto options = ParseOptions(argc, argv);
    if (!options) {
      PrintUsage();
      return 2;
    }
    return Bench(*options);
  } catch (const com::Error& e) {
    std::fprintf(stderr, "full_upgrade_bench: %s\n", e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "full_upgrade_bench: %s\n", e.what());
  }
  return 1;
}
