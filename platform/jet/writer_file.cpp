#include "platform/jet/writer_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/com/error.h"
#include "platform/jet/writer.h"

namespace jet::wr {
namespace {

constexpr std::int32_t kErrIo = com::ErrorNumber(0x80004005u);  // E_FAIL

}  // namespace

PageFile::PageFile(const std::string& path, bool create_new) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | (create_new ? O_EXCL : O_TRUNC) | O_CLOEXEC, 0644);
  if (fd_ < 0 && create_new && errno == EEXIST) {
    throw com::Error(kErrFileExists, "Jet.Writer",
                     "Jet file '" + path_ + "' already exists; it is left as it is and nothing is written");
  }
  if (fd_ < 0) Fail("cannot create the file");
}

PageFile::~PageFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(path_.c_str());
}

void PageFile::Fail(const std::string& what) const {
  const int err = errno;
  std::string description = "Jet file '" + path_ + "': " + what;
  if (err != 0) description += ": " + std::string(std::strerror(err));
  throw com::Error(kErrIo, "Jet.Writer", description);
}

std::uint32_t PageFile::Allocate(std::uint32_t count) {
  if (count > kMaxPages - pages_) {
    errno = 0;
    Fail("the database would grow past the 2 GB limit of a Jet 4 file");
  }
  const std::uint32_t first = pages_;
  pages_ += count;
  return first;
}

void PageFile::Write(std::uint32_t page, const Page& data) {
  if (fd_ < 0 || page >= pages_) {
    errno = 0;
    Fail("internal error: write to page " + std::to_string(page) + " that was not allocated");
  }
  const off_t offset = static_cast<off_t>(page) * static_cast<off_t>(kPageSize);
  std::size_t done = 0;
  while (done < kPageSize) {
    const ssize_t n = ::pwrite(fd_, data.data() + done, kPageSize - done,
                               offset + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write failed");
    }
    done += static_cast<std::size_t>(n);
  }
}

void PageFile::Commit() {
  // Pages are all written by now; the size is set anyway so that the file
  // is exactly page_count() pages long.
  if (::ftruncate(fd_, static_cast<off_t>(pages_) * static_cast<off_t>(kPageSize)) != 0) {
    Fail("cannot set the file size");
  }
  if (::fsync(fd_) != 0) Fail("cannot flush the file");
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("cannot close the file");
  committed_ = true;
}

}  // namespace jet::wr
