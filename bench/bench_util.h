// Helpers for the benchmark programs: run a child process and measure its
// wall time and peak memory.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ChildRun {
  int exit_code = -1;
  double seconds = 0;
  long peak_rss_kb = 0;  // the child's maximum resident set size
};

// Runs `argv` with standard output sent to `stdout_path` ("/dev/null" to
// discard) and waits for it.
ChildRun Run(const std::vector<std::string>& argv, const std::string& stdout_path = "/dev/null");

// The folder of this program (and of korvel, libkorvel.so).
std::string SelfFolder();

}  // namespace bench
