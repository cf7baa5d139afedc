#include "tests/support/files.h"

#include <sys/wait.h>
#include <unistd.h>

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

std::string TestDataDir() { return VK_TEST_DATA_DIR; }
std::string JetTestDataDir() { return VK_JET_TEST_DATA_DIR; }
std::string BinDir() { return com::ProgramFolder(); }

}  // namespace testing_support
