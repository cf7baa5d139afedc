// Helpers for the benchmark programs: run a child process and measure its
// wall time, CPU time and peak memory; read the arguments and make the
// folder a load benchmark shares.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct ChildRun {
  int exit_code = -1;
  double seconds = 0;
  double cpu_seconds = 0;  // user + system, the child's and its waited-for descendants'
  // The kernel's maxrss of the child: the largest resident set of the child
  // or a waited-for descendant. Linux carries the parent's resident set at
  // the fork over into the child's figure, so it reads low only when the
  // parent is small.
  long peak_rss_kb = 0;
};

// Runs `argv` with standard output sent to `stdout_path` ("/dev/null" to
// discard) and waits for it.
ChildRun Run(const std::vector<std::string>& argv, const std::string& stdout_path = "/dev/null");

// Runs `argv` and waits for it, keeping its standard output in `out`.
ChildRun RunCapture(const std::vector<std::string>& argv, std::string& out);

// This process's CPU seconds so far and its peak memory: the high-water mark
// of its own resident set (VmHWM), which, unlike getrusage's maxrss, owes
// nothing to the process that started it.
struct Usage {
  double user = 0;
  double sys = 0;
  long peak_rss_kb = 0;
};
Usage CurrentUsage();

// The folder of this program (and of korvel, libkorvel.so).
std::string SelfFolder();

// The wall seconds since `since`.
double SecondsSince(std::chrono::steady_clock::time_point since);

// The number after `--rows` among the program's arguments, or `fallback`.
long RowsOption(int argc, char** argv, long fallback);

// The folder `prefix`-<process id> in the system's temporary folder, with
// anything an earlier run left there removed. The caller removes it.
std::filesystem::path FreshTempFolder(std::string_view prefix);

}  // namespace bench
