// A Jet file's first page and its pages. Page 0, the database definition
// page (format version, creation date, database password), is decoded
// first, so that a missing file, a file that is no Jet database and a wrong
// password each fail with an error of their own. Every other page is read
// whole, decoded with the file's page key, and only within the file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/source_file.h"

namespace jet {

enum class Version { kJet3, kJet4 };

inline constexpr std::size_t kJet3PageSize = 2048;
inline constexpr std::size_t kJet4PageSize = 4096;
inline constexpr std::uint32_t kHeaderKey = 0x6b39dac7;  // RC4 key of the header region
inline constexpr std::size_t kHeaderRegionOffset = 0x18;
inline constexpr std::size_t kPasswordOffset = 0x42;
inline constexpr std::size_t kCreationDateOffset = 0x72;  // Jet 4: an automation date
inline constexpr std::size_t kPageKeyOffset = 0x3E;

// Jet's own error numbers, used for the errors the reader raises.
inline constexpr std::int32_t kErrFileNotFound = 3024;
inline constexpr std::int32_t kErrNotJetDatabase = 3343;
inline constexpr std::int32_t kErrBadPassword = 3031;
inline constexpr std::int32_t kErrCannotOpen = 3051;
inline constexpr char kErrorSource[] = "Microsoft JET Database Engine";

// RC4 over `data` with a 4-byte little-endian key (encrypts and decrypts).
void Rc4(std::uint32_t key, unsigned char* data, std::size_t size);

struct HeaderInfo {
  Version version = Version::kJet4;
  std::size_t page_size = kJet4PageSize;
  double creation_date = 0;  // Jet 4 only
  // The stored password bytes, decoded and unmasked: Jet 4 UTF-16LE (40
  // bytes), Jet 3 in the file's code page (20 bytes); trailing zeros kept.
  std::string password_bytes;
  bool has_password = false;
  // Non-zero in an encoded database: every page after the first is RC4'd
  // with this key XOR the page number.
  std::uint32_t page_key = 0;
};

// Reads and decodes page 0 of `path`. Raises com::Error: kErrFileNotFound
// when the file does not exist, kErrCannotOpen when it cannot be read,
// kErrNotJetDatabase when it is not a Jet 3 or Jet 4 database (an Access
// 2007+ file included).
HeaderInfo ReadHeader(const std::string& path);
// The same, of a file already open.
HeaderInfo ReadHeader(const SourceFile& file);

// Decodes a page-0 image already in memory; `page` holds at least 2048 bytes.
HeaderInfo DecodeHeader(const unsigned char* page, std::size_t size, const std::string& path_for_errors);

// True when `password` (UTF-8) opens a database with this header: any
// password opens a database without one; otherwise it must match exactly.
// Jet 3 passwords are compared in `codepage` (an iconv name).
bool PasswordMatches(const HeaderInfo& header, std::string_view password, const std::string& codepage);

// The 4 mask bytes a Jet 4 password is XORed with: the creation date's
// whole days as a little-endian 32-bit integer.
std::array<unsigned char, 4> PasswordMask(double creation_date);

// The pages of an open file: whole pages, decoded with the file's page key.
// Safe to read from several threads at once.
class FilePages {
 public:
  // Over `file` as it is now. Raises com::Error: kErrCannotOpen when its
  // size cannot be read, kErrNotJetDatabase when it is not a whole number of
  // pages (a cut or padded file), is over 2 GB, or ends before page 2, where
  // the catalog's definition is.
  FilePages(std::shared_ptr<const SourceFile> file, const HeaderInfo& header);

  Version version() const { return version_; }
  std::size_t page_size() const { return page_size_; }
  std::uint32_t count() const { return count_; }
  std::uint64_t file_size() const { return static_cast<std::uint64_t>(count_) * page_size_; }
  bool Contains(std::uint64_t page) const { return page < count_; }
  const std::string& path() const { return file_->path(); }

  // Page `page`, decoded, into `out` (resized to page_size()). Raises
  // kErrNotJetDatabase, saying that `what` (the structure naming the page)
  // points there, for a page past the end of the file as it was when these
  // pages were taken, and for one the file no longer holds whole: a file
  // cut or rewritten while it is read is damage, never a page of zeros.
  void Read(std::uint32_t page, std::vector<unsigned char>* out, const std::string& what) const;
  // The same into `out`, page_size() bytes.
  void ReadInto(std::uint32_t page, unsigned char* out, const std::string& what) const;

 private:
  std::shared_ptr<const SourceFile> file_;
  Version version_;
  std::size_t page_size_;
  std::uint32_t page_key_;
  std::uint32_t count_ = 0;
};

}  // namespace jet
