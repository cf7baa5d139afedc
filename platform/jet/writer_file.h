// The page file under jet::Writer: a database file addressed in 4096-byte
// pages, allocated at its end and written in any order. The file is removed
// when the object is destroyed before Commit, so a writer that fails or is
// abandoned leaves nothing behind.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/port/files.h"

namespace jet::wr {

inline constexpr std::size_t kPageSize = 4096;
using Page = std::array<std::uint8_t, kPageSize>;

// Jet 4 files are limited to 2 GB: 524288 pages.
inline constexpr std::uint32_t kMaxPages = 0x80000000u / kPageSize;

class PageFile {
 public:
  // Creates or truncates the file; raises com::Error when it cannot. With
  // `create_new`, a file already at the path is refused (kErrFileExists)
  // and left as it is.
  explicit PageFile(const std::string& path, bool create_new = false);
  // Closes the file, and removes it unless Commit succeeded.
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // Reserves `count` pages at the end of the file and returns the first
  // one's number. Raises when the file would pass the 2 GB limit.
  std::uint32_t Allocate(std::uint32_t count = 1);
  // Number of pages allocated so far.
  std::uint32_t page_count() const { return pages_; }

  // Writes one allocated page.
  void Write(std::uint32_t page, const Page& data);

  // Flushes and closes the file, which then stays on disk.
  void Commit();

  const std::string& path() const { return path_; }

 private:
  [[noreturn]] void Fail(const std::string& what, const port::OsError* error = nullptr) const;

  std::string path_;
  port::File file_;
  std::uint32_t pages_ = 0;
  bool committed_ = false;
};

}  // namespace jet::wr
