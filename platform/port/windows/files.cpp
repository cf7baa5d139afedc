#include <io.h>
#include <windows.h>

#include <cerrno>

#include <algorithm>
#include <string>

#include "platform/port/files.h"
#include "platform/port/windows/wide.h"

namespace port {
namespace {

// Windows counts file times in 100-nanosecond steps from 1601.
constexpr std::int64_t kEpochDifference100ns = 116444736000000000LL;

bool Failed(OsError* error, DWORD code = GetLastError()) {
  if (error) {
    error->code = static_cast<int>(code);
    error->not_found = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME;
    error->exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    error->text = SystemMessage(code);
  }
  return false;
}

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A read or write at `offset`, and how much of `left` one call takes.
OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}
DWORD Chunk(std::size_t left) { return static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30)); }

FileStatus StatusOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileStatus s;
  s.device = info.dwVolumeSerialNumber;
  s.inode = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  s.size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  const std::int64_t ticks =
      static_cast<std::int64_t>(static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                info.ftLastWriteTime.dwLowDateTime);
  s.modified_ns = (ticks - kEpochDifference100ns) * 100;
  return s;
}

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view utf8) { return std::filesystem::path(Wide(utf8)); }
std::string Utf8FromPath(const std::filesystem::path& path) { return Narrow(path.wstring()); }

File::~File() {
  if (is_open()) CloseHandle(H(handle_));
}

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) CloseHandle(H(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

bool File::is_open() const { return handle_ != -1; }

bool File::Open(const std::string& path, Mode mode, OsError* error) {
  DWORD access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_ALWAYS;
  switch (mode) {
    case Mode::kRead: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case Mode::kReadWrite: disposition = OPEN_ALWAYS; break;
    case Mode::kCreateOrTruncate: disposition = CREATE_ALWAYS; break;
    case Mode::kCreateNew: disposition = CREATE_NEW; break;
  }
  // Others may read, write, rename and delete it meanwhile, as on Linux.
  const HANDLE h = CreateFileW(LongPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed(error);
  *this = File();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool File::ReadAt(std::uint64_t offset, void* out, std::size_t size, std::size_t* got, OsError* error) const {
  auto* to = static_cast<unsigned char*>(out);
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!ReadFile(H(handle_), to + done, Chunk(size - done), &n, &at)) {
      const DWORD code = GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      *got = done;
      return Failed(error, code);
    }
    if (n == 0) break;  // the end of the file as it is now
    done += n;
  }
  *got = done;
  return true;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t size, OsError* error) {
  const auto* from = static_cast<const unsigned char*>(data);
  for (std::size_t done = 0; done < size;) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    if (!WriteFile(H(handle_), from + done, Chunk(size - done), &n, &at)) return Failed(error);
    done += n;
  }
  return true;
}

bool File::Truncate(std::uint64_t size, OsError* error) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(H(handle_), FileEndOfFileInfo, &end, sizeof end) || Failed(error);
}

bool File::Sync(OsError* error) { return FlushFileBuffers(H(handle_)) || Failed(error); }

bool File::Status(FileStatus* status, OsError* error) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(H(handle_), &info)) return Failed(error);
  *status = StatusOf(info);
  return true;
}

bool File::LockExclusive(OsError* error) {
  OVERLAPPED whole{};
  return LockFileEx(H(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) || Failed(error);
}

bool File::Close(OsError* error) {
  const HANDLE h = H(handle_);
  handle_ = -1;
  return CloseHandle(h) || Failed(error);
}

bool StatusOfPath(const std::string& path, FileStatus* status, OsError* error) {
  // Opening for no access reads the status without keeping others out.
  const HANDLE h = CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed(error);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool read = GetFileInformationByHandle(h, &info);
  const DWORD code = GetLastError();
  CloseHandle(h);
  if (!read) return Failed(error, code);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Failed(error, ERROR_DIRECTORY);
  *status = StatusOf(info);
  return true;
}

bool RemoveFile(const std::string& path, OsError* error) {
  return DeleteFileW(LongPath(path).c_str()) || Failed(error);
}

bool RenameOver(const std::string& from, const std::string& to, OsError* error) {
  return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         Failed(error);
}

bool FreeSpace(const std::string& folder, std::uint64_t* bytes, OsError* error) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(LongPath(folder).c_str(), &available, nullptr, nullptr)) return Failed(error);
  *bytes = available.QuadPart;
  return true;
}

int ReadWriteObstacle(const std::string& path, const std::string& folder) {
  if (_waccess(LongPath(path).c_str(), 0) != 0) return errno;
  if (_waccess(LongPath(path).c_str(), 6) != 0) return errno;
  if (_waccess(LongPath(folder).c_str(), 2) != 0) return errno;
  return 0;
}

int ErrnoOf(int system_code) {
  switch (static_cast<DWORD>(system_code)) {
    case 0: return 0;
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;
  }
}

bool IsNoSpace(int errno_value) { return errno_value == ENOSPC; }

bool MakeUniqueFolder(const std::string& prefix, std::string* made, OsError* error) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path = prefix + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64() % 1000000 + attempt);
    if (CreateDirectoryW(LongPath(path).c_str(), nullptr)) {
      *made = path;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return Failed(error);
  }
  return Failed(error, ERROR_ALREADY_EXISTS);
}

}  // namespace port
