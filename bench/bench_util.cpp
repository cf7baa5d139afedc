#include "bench/bench_util.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>

namespace bench {

ChildRun Run(const std::vector<std::string>& argv, const std::string& stdout_path) {
  ChildRun r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) dup2(fd, 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.peak_rss_kb = usage.ru_maxrss;
  return r;
}

std::string SelfFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
  return p.substr(0, p.rfind('/'));
}

}  // namespace bench
