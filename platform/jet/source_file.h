// A Jet file held open by one descriptor. Everything read through it comes
// from the file that was at its path when it was opened, whatever is
// renamed over the path later; the file's status at that moment (device,
// inode, size, modification time) tells afterwards whether it has been
// replaced or written since.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/port/files.h"

namespace jet {

// Jet's error for data another user changed while it was in use: raised
// when the file a reader opened is no longer the file at its path, or has
// been written since.
inline constexpr std::int32_t kErrSourceChanged = 3197;

class SourceFile {
 public:
  // What identifies the file's content without reading it.
  struct Status {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;  // modification time, nanoseconds since 1970
  };

  // Opens `path` read-only and takes its status. Raises com::Error:
  // kErrFileNotFound when there is no such file, kErrCannotOpen when it
  // cannot be opened.
  explicit SourceFile(const std::string& path);
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  const std::string& path() const { return path_; }
  // The status when the file was opened.
  const Status& opened() const { return opened_; }
  // The open file's size now.
  std::uint64_t SizeNow() const;

  // Reads up to `size` bytes at `offset` into `out`; returns how many were
  // read, fewer only where the open file ends now. Safe from several
  // threads at once. Raises kErrCannotOpen when the system cannot read.
  std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t size) const;

  // Raises kErrSourceChanged, naming the file and what changed, when the
  // path no longer leads to the open file (another file renamed over it, or
  // none there) or the open file's size or modification time differs from
  // when it was opened. Compares the status only; reads nothing of the file.
  void VerifyUnchanged() const;

 private:
  std::string path_;
  port::File file_;
  Status opened_;
};

}  // namespace jet
