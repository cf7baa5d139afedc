#include "tests/support/files.h"

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <thread>
#else
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/com/object.h"
#include "platform/port/files.h"

namespace testing_support {

TempDir::TempDir() {
  const std::string prefix = port::Utf8FromPath(std::filesystem::temp_directory_path() / "vk-test-");
  port::OsError error;
  if (!port::MakeUniqueFolder(prefix, &path_, &error)) {
    throw std::runtime_error("cannot make a folder " + prefix + "*: " + error.text);
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(port::PathFromUtf8(path), std::ios::binary);  // a Chinese name too, on Windows
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(port::PathFromUtf8(path), std::ios::binary);
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

#ifndef _WIN32
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

#else
// Windows has no shell to hand a command line to: the command is split
// into words here as sh would split it (quotes, backslashes), leading
// NAME=value words and `env -u NAME` change the program's environment, and
// the program runs with its output captured through pipes. Pipelines,
// redirections and the like are refused (exit code 127), as is a program
// that is not there.
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// The words of a simple command; false, with `why`, for shell syntax
// beyond quoting.
bool SplitWords(const std::string& command, std::vector<std::string>* words, std::string* why) {
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words->push_back(word);
      word.clear();
      in_word = false;
    } else if (c == '\'') {
      const auto end = command.find('\'', i + 1);
      if (end == std::string::npos) return *why = "unterminated quote", false;
      word += command.substr(i + 1, end - i - 1);
      i = end;
      in_word = true;
    } else if (c == '"') {
      std::size_t j = i + 1;
      for (; j < command.size() && command[j] != '"'; ++j) {
        if (command[j] == '$' || command[j] == '`') return *why = "substitution in quotes", false;
        if (command[j] == '\\' && j + 1 < command.size() && std::string("\"\\$`").find(command[j + 1]) != std::string::npos) {
          ++j;
        }
        word.push_back(command[j]);
      }
      if (j == command.size()) return *why = "unterminated quote", false;
      i = j;
      in_word = true;
    } else if (c == '\\' && i + 1 < command.size()) {
      word.push_back(command[++i]);
      in_word = true;
    } else if (std::string("|&;<>()`$*?[#~").find(c) != std::string::npos) {
      return *why = std::string("shell syntax '") + c + "'", false;
    } else {
      word.push_back(c);
      in_word = true;
    }
  }
  if (in_word) words->push_back(word);
  return true;
}

bool IsAssignment(const std::string& word) {
  const auto eq = word.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  for (std::size_t i = 0; i < eq; ++i) {
    const char c = word[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

// A word as the C runtime's argument parser reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    out.push_back(c);
  }
  out.append(backslashes, L'\\');
  return out + L"\"";
}

// The environment block of this process with `set` set and `unset` removed.
std::wstring EnvironmentBlock(const std::map<std::wstring, std::wstring>& set, const std::vector<std::wstring>& unset) {
  std::map<std::wstring, std::wstring> all;  // by upper-case name
  std::map<std::wstring, std::wstring> names;
  wchar_t* env = ::GetEnvironmentStringsW();
  for (const wchar_t* p = env; *p != L'\0'; p += std::wcslen(p) + 1) {
    const std::wstring entry = p;
    const auto eq = entry.find(L'=', 1);  // "=C:=C:\\..." entries start with '='
    if (eq == std::wstring::npos) continue;
    std::wstring key = entry.substr(0, eq);
    std::wstring upper = key;
    for (auto& ch : upper) ch = static_cast<wchar_t>(std::towupper(ch));
    all[upper] = entry.substr(eq + 1);
    names[upper] = key;
  }
  ::FreeEnvironmentStringsW(env);
  auto upper_of = [](std::wstring s) {
    for (auto& ch : s) ch = static_cast<wchar_t>(std::towupper(ch));
    return s;
  };
  for (const auto& name : unset) {
    all.erase(upper_of(name));
    names.erase(upper_of(name));
  }
  for (const auto& [name, value] : set) {
    all[upper_of(name)] = value;
    names[upper_of(name)] = name;
  }
  std::wstring block;
  for (const auto& [upper, value] : all) block += names[upper] + L"=" + value + L'\0';
  return block + L'\0';
}

std::string ReadAll(HANDLE from) {
  std::string out;
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(from, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  return out;
}

// Starts the command line's program with the given standard handles.
// Returns the process, or nullptr with the reason in `why`.
HANDLE Start(const std::string& command, HANDLE in, HANDLE out, HANDLE err, std::string* why) {
  std::vector<std::string> words;
  if (!SplitWords(command, &words, why)) return nullptr;
  std::map<std::wstring, std::wstring> set;
  std::vector<std::wstring> unset;
  std::size_t i = 0;
  for (bool env = false;; env = false) {
    for (; i < words.size() && IsAssignment(words[i]); ++i) {
      const auto eq = words[i].find('=');
      set[Wide(words[i].substr(0, eq))] = Wide(words[i].substr(eq + 1));
    }
    if (i < words.size() && words[i] == "env") {
      env = true;
      for (++i; i + 1 < words.size() && words[i] == "-u"; i += 2) unset.push_back(Wide(words[i + 1]));
    }
    if (!env) break;
  }
  if (i == words.size()) return *why = "no program", nullptr;
  std::wstring line;
  for (std::size_t k = i; k < words.size(); ++k) line += (k > i ? L" " : L"") + QuoteArgument(Wide(words[k]));
  std::wstring environment = EnvironmentBlock(set, unset);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW,
                        environment.data(), nullptr, &startup, &process)) {
    *why = words[i] + ": cannot run it (error " + std::to_string(::GetLastError()) + ")";
    return nullptr;
  }
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

// A pipe whose end for the child is inherited and whose end for us is not.
void MakePipe(HANDLE* read_end, HANDLE* write_end, bool child_reads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!::CreatePipe(read_end, write_end, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  ::SetHandleInformation(child_reads ? *write_end : *read_end, HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

CommandResult RunCommand(const std::string& command, const std::string& input) {
  HANDLE in_read, in_write, out_read, out_write, err_read, err_write;
  MakePipe(&in_read, &in_write, true);
  MakePipe(&out_read, &out_write, false);
  MakePipe(&err_read, &err_write, false);
  CommandResult r;
  const HANDLE process = Start(command, in_read, out_write, err_write, &r.err);
  ::CloseHandle(in_read);
  ::CloseHandle(out_write);
  ::CloseHandle(err_write);
  if (!process) {
    ::CloseHandle(in_write);
    ::CloseHandle(out_read);
    ::CloseHandle(err_read);
    r.exit_code = 127;
    r.err = "RunCommand: " + r.err + ": " + command;
    return r;
  }
  std::thread writer([&] {
    DWORD n = 0;
    if (!input.empty()) ::WriteFile(in_write, input.data(), static_cast<DWORD>(input.size()), &n, nullptr);
    ::CloseHandle(in_write);
  });
  std::thread errors([&] { r.err = ReadAll(err_read); });
  r.out = ReadAll(out_read);
  errors.join();
  writer.join();
  ::CloseHandle(out_read);
  ::CloseHandle(err_read);
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  r.exit_code = static_cast<int>(code);
  // Read as text, as the C runtime reads a text stream: a program's
  // standard output and error on Windows end their lines with "\r\n".
  for (std::string* text : {&r.out, &r.err}) {
    std::string lf;
    for (std::size_t i = 0; i < text->size(); ++i) {
      if ((*text)[i] != '\r' || i + 1 == text->size() || (*text)[i + 1] != '\n') lf.push_back((*text)[i]);
    }
    *text = std::move(lf);
  }
  return r;
}

// Servers started beside a test are korvel serve's, which Windows builds
// do not have.
BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
  throw std::runtime_error("background programs are not run on Windows: " + (argv.empty() ? "" : argv[0]));
}
BackgroundProcess::~BackgroundProcess() = default;
std::string BackgroundProcess::ReadLine(int) { return ""; }
int BackgroundProcess::Stop(int, int) { return -1; }
#endif  // _WIN32

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

namespace {
// Descriptors as the C library keeps them (on Windows, its own table over
// the system's handles).
#ifdef _WIN32
int DupFd(int fd) { return ::_dup(fd); }
int Dup2Fd(int from, int to) { return ::_dup2(from, to); }
int CloseFd(int fd) { return ::_close(fd); }
int OpenForWriting(const std::string& path) {
  return ::_wopen(port::PathFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}
#else
int DupFd(int fd) { return ::dup(fd); }
int Dup2Fd(int from, int to) { return ::dup2(from, to); }
int CloseFd(int fd) { return ::close(fd); }
int OpenForWriting(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600); }
#endif
}  // namespace

StderrCapture::StderrCapture(std::string path) : path_(std::move(path)) {
  std::fflush(stderr);
  saved_ = DupFd(2);
  const int fd = OpenForWriting(path_);
  Dup2Fd(fd, 2);
  CloseFd(fd);
}

std::string StderrCapture::Stop() {
  if (saved_ >= 0) {
    std::fflush(stderr);
    Dup2Fd(saved_, 2);
    CloseFd(saved_);
    saved_ = -1;
  }
  return ReadFile(path_);
}

}  // namespace testing_support
