#include "bench/bench_util.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Starts `argv` with `stdout_fd` as its standard output (-1 keeps ours).
// Our descriptors are opened close-on-exec, so the child holds no others.
pid_t Spawn(const std::vector<std::string>& argv, int stdout_fd) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (stdout_fd >= 0) dup2(stdout_fd, 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

ChildRun Wait(pid_t pid, Clock::time_point started) {
  ChildRun r;
  if (pid < 0) return r;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.cpu_seconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  r.peak_rss_kb = usage.ru_maxrss;
  return r;
}

// VmHWM of /proc/self/status in KiB, 0 when it cannot be read.
long ResidentHighWaterKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

}  // namespace

ChildRun Run(const std::vector<std::string>& argv, const std::string& stdout_path) {
  const auto started = Clock::now();
  const int fd = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = Spawn(argv, fd);
  if (fd >= 0) close(fd);
  return Wait(pid, started);
}

ChildRun RunCapture(const std::vector<std::string>& argv, std::string& out) {
  out.clear();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const auto started = Clock::now();
  const pid_t pid = Spawn(argv, fds[1]);
  close(fds[1]);
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  return Wait(pid, started);
}

Usage CurrentUsage() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return {Seconds(r.ru_utime), Seconds(r.ru_stime), ResidentHighWaterKb()};
}

std::string SelfFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
  return p.substr(0, p.rfind('/'));
}

double SecondsSince(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long RowsOption(int argc, char** argv, long fallback) {
  long rows = fallback;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rows") == 0) rows = std::atol(argv[i + 1]);
  }
  return rows;
}

std::filesystem::path FreshTempFolder(std::string_view prefix) {
  const auto dir = std::filesystem::temp_directory_path() / (std::string(prefix) + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  return dir;
}

}  // namespace bench
