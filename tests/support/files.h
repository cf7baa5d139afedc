// Helpers for tests that work with files and programs.
#pragma once

#include <map>
#include <string>
#include <vector>

// Skips the running test in a Windows build, naming what it needs that
// only Linux has ("Poppler's pdftotext"). A test macro: it returns from
// the test's body.
#ifdef _WIN32
#define VK_SKIP_ON_WINDOWS(what) GTEST_SKIP() << "needs " << what << " (Linux only)"
#else
#define VK_SKIP_ON_WINDOWS(what) static_cast<void>(0)
#endif

namespace testing_support {

// A fresh empty folder, removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

struct CommandResult {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};
// Runs a shell command line; standard input is empty unless `input` is given.
CommandResult RunCommand(const std::string& command, const std::string& input = "");
// Quotes a word for the shell.
std::string ShellQuote(const std::string& word);

// A program running beside the test (a server): started with its standard
// output readable line by line, stopped with a signal.
class BackgroundProcess {
 public:
  // Starts `argv` (argv[0] a path); raises std::runtime_error when it cannot.
  explicit BackgroundProcess(const std::vector<std::string>& argv);
  // Sends SIGKILL unless it has ended.
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The next line of its standard output; "" at its end or after
  // `timeout_seconds`.
  std::string ReadLine(int timeout_seconds = 10);
  // Sends a signal and waits for the end; returns the exit code, or -signal.
  int Stop(int signal, int timeout_seconds = 10);

 private:
  int pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

// Every table of an Access file as mdb-export (mdbtools' own program,
// which shares no code with our reader or writer) writes it: the header
// line and a line a row, dates as "2026-12-09 08:30:00". Raises
// std::runtime_error when mdbtools cannot read the file.
std::map<std::string, std::vector<std::string>> ExportedTables(const std::string& path);

// The folder of the test data kept in the repository (tests/data).
std::string TestDataDir();
// The Access-made Jet files of tests/data/jet, unpacked by the build.
std::string JetTestDataDir();
// The folder holding the programs and libraries of this build.
std::string BinDir();

// Whatever the process writes on stderr while it lives, kept in the file
// at `path`.
class StderrCapture {
 public:
  explicit StderrCapture(std::string path);
  ~StderrCapture() { Stop(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Ends the capture; returns what was written.
  std::string Stop();

 private:
  std::string path_;
  int saved_ = -1;
};

}  // namespace testing_support
