#include "platform/jet/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/com/error.h"
#include "platform/jet/header.h"

namespace jet {
namespace {

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

SourceFile::Status StatusOf(const struct stat& st) {
  SourceFile::Status s;
  s.device = static_cast<std::uint64_t>(st.st_dev);
  s.inode = static_cast<std::uint64_t>(st.st_ino);
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

// A modification time as the operator reads it: local time to the
// nanosecond, since a copy made within the same second differs only there.
std::string TimeText(std::int64_t ns) {
  const auto seconds = static_cast<std::time_t>(ns / 1000000000);
  const auto fraction = static_cast<long>(ns % 1000000000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%09ld", fraction);
  return text;
}

}  // namespace

SourceFile::SourceFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ENOENT || errno == ENOTDIR) Fail(kErrFileNotFound, "找不到文件“" + path + "”。");
    Fail(kErrCannotOpen, "无法打开文件“" + path + "”：" + std::strerror(errno) + "。");
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int error = errno;
    ::close(fd_);
    Fail(kErrCannotOpen, "无法读取文件“" + path + "”：" + std::strerror(error) + "。");
  }
  opened_ = StatusOf(st);
}

SourceFile::~SourceFile() { ::close(fd_); }

std::uint64_t SourceFile::SizeNow() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail(kErrCannotOpen, "无法读取文件“" + path_ + "”：" + std::strerror(errno) + "。");
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t SourceFile::ReadAt(std::uint64_t offset, void* out, std::size_t size) const {
  auto* to = static_cast<unsigned char*>(out);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd_, to + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Fail(kErrCannotOpen, "无法读取文件“" + path_ + "”（位置 " + std::to_string(offset + got) +
                               "）：" + std::strerror(errno) + "。");
    }
    if (n == 0) break;  // the end of the file as it is now
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void SourceFile::VerifyUnchanged() const {
  std::vector<std::string> changes;
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      changes.push_back("路径上已没有这个文件（被删除或改名）");
    } else {
      changes.push_back(std::string("无法查看路径上的文件（") + std::strerror(errno) + "）");
    }
  } else {
    const Status at_path = StatusOf(st);
    if (at_path.device != opened_.device || at_path.inode != opened_.inode) {
      changes.push_back("已被另一个文件替换");
    }
  }
  if (::fstat(fd_, &st) != 0) Fail(kErrCannotOpen, "无法读取文件“" + path_ + "”：" + std::strerror(errno) + "。");
  const Status now = StatusOf(st);
  if (now.size != opened_.size) {
    changes.push_back("大小由 " + std::to_string(opened_.size) + " 字节变为 " + std::to_string(now.size) + " 字节");
  }
  if (now.modified_ns != opened_.modified_ns) {
    changes.push_back("修改时间由 " + TimeText(opened_.modified_ns) + " 变为 " + TimeText(now.modified_ns));
  }
  if (changes.empty()) return;
  std::string what;
  for (const std::string& c : changes) what += (what.empty() ? "" : "；") + c;
  Fail(kErrSourceChanged, "源文件在升级过程中被改动：“" + path_ + "”" + what +
                              "。升级读到的数据可能前后不属于同一份文件，不能提交。");
}

}  // namespace jet
