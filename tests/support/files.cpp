#include "tests/support/files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/com/object.h"

namespace testing_support {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vk-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string ShellQuote(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

CommandResult RunCommand(const std::string& command, const std::string& input) {
  TempDir dir;
  WriteFile(dir.File("in"), input);
  const std::string full = "(" + command + ") <" + dir.File("in") + " >" + dir.File("out") + " 2>" + dir.File("err");
  const int status = std::system(full.c_str());
  CommandResult r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFile(dir.File("out"));
  r.err = ReadFile(dir.File("err"));
  return r;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(pipe_fds[1], 1);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  out_ = pipe_fds[0];
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
}

std::string BackgroundProcess::ReadLine(int timeout_seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  for (;;) {
    const auto nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "";
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
    char buf[512];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) return "";
    pending_.append(buf, static_cast<std::size_t>(n));
  }
}

int BackgroundProcess::Stop(int signal, int timeout_seconds) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  for (int waited = 0; waited < timeout_seconds * 10; ++waited) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    ::usleep(100000);
  }
  return -1000;  // still running: the destructor kills it
}

std::string TestDataDir() { return VK_TEST_DATA_DIR; }
std::map<std::string, std::vector<std::string>> ExportedTables(const std::string& path) {
  const CommandResult names = RunCommand("mdb-tables -1 " + ShellQuote(path));
  if (names.exit_code != 0) throw std::runtime_error("mdb-tables " + path + ": " + names.err);
  std::map<std::string, std::vector<std::string>> tables;
  std::istringstream list(names.out);
  for (std::string table; std::getline(list, table);) {
    const CommandResult rows = RunCommand("mdb-export -T '%Y-%m-%d %H:%M:%S' " + ShellQuote(path) + " " + ShellQuote(table));
    if (rows.exit_code != 0) throw std::runtime_error("mdb-export " + path + " " + table + ": " + rows.err);
    std::istringstream in(rows.out);
    auto& lines = tables[table];
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return tables;
}

std::string JetTestDataDir() { return VK_JET_TEST_DATA_DIR; }
std::string BinDir() { return com::ProgramFolder(); }

StderrCapture::StderrCapture(std::string path) : path_(std::move(path)) {
  std::fflush(stderr);
  saved_ = ::dup(2);
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(fd, 2);
  ::close(fd);
}

std::string StderrCapture::Stop() {
  if (saved_ >= 0) {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  return ReadFile(path_);
}

}  // namespace testing_support
