#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/port/files.h"

namespace port {
namespace {

bool Failed(OsError* error) {
  if (error) {
    error->code = errno;
    error->not_found = errno == ENOENT || errno == ENOTDIR;
    error->exists = errno == EEXIST;
    error->text = std::strerror(errno);
  }
  return false;
}

FileStatus StatusOf(const struct stat& st) {
  FileStatus s;
  s.device = static_cast<std::uint64_t>(st.st_dev);
  s.inode = static_cast<std::uint64_t>(st.st_ino);
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view utf8) { return std::filesystem::path(utf8); }
std::string Utf8FromPath(const std::filesystem::path& path) { return path.string(); }

File::~File() {
  if (is_open()) ::close(Fd(handle_));
}

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) ::close(Fd(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

bool File::is_open() const { return handle_ >= 0; }

bool File::Open(const std::string& path, Mode mode, OsError* error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead: flags |= O_RDONLY; break;
    case Mode::kReadWrite: flags |= O_RDWR | O_CREAT; break;
    case Mode::kCreateOrTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::kCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return Failed(error);
  *this = File();
  handle_ = fd;
  return true;
}

bool File::ReadAt(std::uint64_t offset, void* out, std::size_t size, std::size_t* got, OsError* error) const {
  auto* to = static_cast<unsigned char*>(out);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(Fd(handle_), to + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *got = done;
      return Failed(error);
    }
    if (n == 0) break;  // the end of the file as it is now
    done += static_cast<std::size_t>(n);
  }
  *got = done;
  return true;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t size, OsError* error) {
  const auto* from = static_cast<const unsigned char*>(data);
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::pwrite(Fd(handle_), from + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(error);
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool File::Truncate(std::uint64_t size, OsError* error) {
  return ::ftruncate(Fd(handle_), static_cast<off_t>(size)) == 0 || Failed(error);
}

bool File::Sync(OsError* error) { return ::fsync(Fd(handle_)) == 0 || Failed(error); }

bool File::Status(FileStatus* status, OsError* error) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return Failed(error);
  *status = StatusOf(st);
  return true;
}

bool File::LockExclusive(OsError* error) {
  while (::flock(Fd(handle_), LOCK_EX) != 0) {
    if (errno != EINTR) return Failed(error);
  }
  return true;
}

bool File::Close(OsError* error) {
  const int fd = Fd(handle_);
  handle_ = -1;
  return ::close(fd) == 0 || Failed(error);
}

bool StatusOfPath(const std::string& path, FileStatus* status, OsError* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Failed(error);
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return Failed(error);
  }
  *status = StatusOf(st);
  return true;
}

bool RemoveFile(const std::string& path, OsError* error) { return ::unlink(path.c_str()) == 0 || Failed(error); }

bool RenameOver(const std::string& from, const std::string& to, OsError* error) {
  return ::rename(from.c_str(), to.c_str()) == 0 || Failed(error);
}

bool FreeSpace(const std::string& folder, std::uint64_t* bytes, OsError* error) {
  struct statvfs fs {};
  if (::statvfs(folder.c_str(), &fs) != 0) return Failed(error);
  *bytes = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  return true;
}

int ReadWriteObstacle(const std::string& path, const std::string& folder) {
  if (::access(path.c_str(), F_OK) != 0) return errno;
  if (::access(path.c_str(), R_OK | W_OK) != 0) return errno;
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return errno;
  return 0;
}

int ErrnoOf(int system_code) { return system_code; }

bool IsNoSpace(int errno_value) { return errno_value == ENOSPC || errno_value == EDQUOT; }

bool MakeUniqueFolder(const std::string& prefix, std::string* made, OsError* error) {
  std::string pattern = prefix + "XXXXXX";
  if (!::mkdtemp(pattern.data())) return Failed(error);
  *made = pattern;
  return true;
}

}  // namespace port
