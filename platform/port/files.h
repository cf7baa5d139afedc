// Files as the system keeps them, the same on Linux and on Windows. Paths
// are UTF-8 everywhere above this layer; on Windows they become UTF-16,
// with long paths allowed. A failure leaves an OsError: the system's own
// words for it, and whether it means that nothing is at the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace port {

// A path from its UTF-8 text, and its UTF-8 text.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// Whether anything is at `path`; false too when the system cannot tell.
inline bool PathExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(PathFromUtf8(path), ignored);
}
// The folder part of `path`: "" when it has none ("shop.mdb").
inline std::string ParentFolder(const std::string& path) { return Utf8FromPath(PathFromUtf8(path).parent_path()); }

// Why a call on a file failed.
struct OsError {
  int code = 0;             // errno, or Windows' error code
  bool not_found = false;   // nothing at the path (or a folder on it missing)
  bool exists = false;      // a file is already at the path
  std::string text;         // the system's words for it
};

// What identifies a file's content without reading it.
struct FileStatus {
  std::uint64_t device = 0;  // the volume
  std::uint64_t inode = 0;   // the file on it
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // the last write, nanoseconds since 1970
};

// An open file, closed when destroyed. Reads and writes name their offset,
// so several threads may read one file at once.
class File {
 public:
  enum class Mode {
    kRead,              // an existing file, read only
    kReadWrite,         // an existing file, or a new empty one
    kCreateOrTruncate,  // a new empty file, replacing what was there
    kCreateNew,         // a new empty file; fails with `exists` when one is there
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path`; false, with `error`, when it cannot.
  bool Open(const std::string& path, Mode mode, OsError* error);
  bool is_open() const;

  // Reads up to `size` bytes at `offset` into `out`, `*got` of them; fewer
  // only where the file ends now.
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size, std::size_t* got, OsError* error) const;
  // Writes all `size` bytes at `offset`.
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size, OsError* error);
  bool Truncate(std::uint64_t size, OsError* error);
  // Waits until what was written is on the disk.
  bool Sync(OsError* error);
  bool Status(FileStatus* status, OsError* error) const;
  // Waits for the one exclusive lock on the whole file that any process may
  // hold; it is let go when the file is closed.
  bool LockExclusive(OsError* error);
  // Closes the file, reporting a failure to write it out.
  bool Close(OsError* error);

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE
};

// The status of the file at `path` now.
bool StatusOfPath(const std::string& path, FileStatus* status, OsError* error);
// Removes the file at `path`.
bool RemoveFile(const std::string& path, OsError* error);
// Renames `from` to `to`, replacing a file at `to` at once.
bool RenameOver(const std::string& from, const std::string& to, OsError* error);
// The bytes free to this user on the volume of `folder`.
bool FreeSpace(const std::string& folder, std::uint64_t* bytes, OsError* error);
// Why this user may not read and write the file at `path` and make files
// in `folder` (where SQLite keeps its journal): an errno value, ENOENT when
// nothing is at `path`; 0 when nothing is in the way.
int ReadWriteObstacle(const std::string& path, const std::string& folder);
// An error code as the system gave it to SQLite (errno on Linux, Windows'
// own codes there) as an errno value.
int ErrnoOf(int system_code);
// Whether an errno value says that the disk, or this user's quota, is full.
bool IsNoSpace(int errno_value);
// Makes a new empty folder `prefix` + a unique suffix; its path in `made`.
bool MakeUniqueFolder(const std::string& prefix, std::string* made, OsError* error);

}  // namespace port
