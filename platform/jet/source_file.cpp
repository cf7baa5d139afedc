#include "platform/jet/source_file.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/com/error.h"
#include "platform/jet/header.h"
#include "platform/port/system.h"

namespace jet {
namespace {

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

SourceFile::Status StatusOf(const port::FileStatus& st) {
  return {st.device, st.inode, st.size, st.modified_ns};
}

// A modification time as the operator reads it: local time to the
// nanosecond, since a copy made within the same second differs only there.
std::string TimeText(std::int64_t ns) {
  const auto seconds = static_cast<std::time_t>(ns / 1000000000);
  const auto fraction = static_cast<long>(ns % 1000000000);
  std::tm local{};
  port::LocalTime(seconds, &local);
  char text[64];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%09ld", fraction);
  return text;
}

}  // namespace

SourceFile::SourceFile(const std::string& path) : path_(path) {
  port::OsError error;
  if (!file_.Open(path, port::File::Mode::kRead, &error)) {
    if (error.not_found) Fail(kErrFileNotFound, "找不到文件“" + path + "”。");
    Fail(kErrCannotOpen, "无法打开文件“" + path + "”：" + error.text + "。");
  }
  port::FileStatus st;
  if (!file_.Status(&st, &error)) Fail(kErrCannotOpen, "无法读取文件“" + path + "”：" + error.text + "。");
  opened_ = StatusOf(st);
}

SourceFile::~SourceFile() = default;

std::uint64_t SourceFile::SizeNow() const {
  port::FileStatus st;
  port::OsError error;
  if (!file_.Status(&st, &error)) Fail(kErrCannotOpen, "无法读取文件“" + path_ + "”：" + error.text + "。");
  return st.size;
}

std::size_t SourceFile::ReadAt(std::uint64_t offset, void* out, std::size_t size) const {
  std::size_t got = 0;
  port::OsError error;
  if (!file_.ReadAt(offset, out, size, &got, &error)) {
    Fail(kErrCannotOpen, "无法读取文件“" + path_ + "”（位置 " + std::to_string(offset + got) + "）：" + error.text + "。");
  }
  return got;
}

void SourceFile::VerifyUnchanged() const {
  std::vector<std::string> changes;
  port::FileStatus st;
  port::OsError error;
  if (!port::StatusOfPath(path_, &st, &error)) {
    if (error.not_found) {
      changes.push_back("路径上已没有这个文件（被删除或改名）");
    } else {
      changes.push_back("无法查看路径上的文件（" + error.text + "）");
    }
  } else {
    const Status at_path = StatusOf(st);
    if (at_path.device != opened_.device || at_path.inode != opened_.inode) {
      changes.push_back("已被另一个文件替换");
    }
  }
  if (!file_.Status(&st, &error)) Fail(kErrCannotOpen, "无法读取文件“" + path_ + "”：" + error.text + "。");
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
