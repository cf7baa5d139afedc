// The database definition page (page 0) of a Jet file: format version,
// creation date and database password. The page is checked before libmdb
// sees the file, so that a missing file, a file that is no Jet database and
// a wrong password each fail with an error of their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace jet {

enum class Version { kJet3, kJet4 };

inline constexpr std::size_t kJet3PageSize = 2048;
inline constexpr std::size_t kJet4PageSize = 4096;
inline constexpr std::uint32_t kHeaderKey = 0x6b39dac7;  // RC4 key of the header region
inline constexpr std::size_t kHeaderRegionOffset = 0x18;
inline constexpr std::size_t kPasswordOffset = 0x42;
inline constexpr std::size_t kCreationDateOffset = 0x72;  // Jet 4: an automation date

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
};

// Reads and decodes page 0 of `path`. Raises com::Error: kErrFileNotFound
// when the file does not exist, kErrCannotOpen when it cannot be read,
// kErrNotJetDatabase when it is not a Jet 3 or Jet 4 database (an Access
// 2007+ file included).
HeaderInfo ReadHeader(const std::string& path);

// Decodes a page-0 image already in memory; `page` holds at least 2048 bytes.
HeaderInfo DecodeHeader(const unsigned char* page, std::size_t size, const std::string& path_for_errors);

// True when `password` (UTF-8) opens a database with this header: any
// password opens a database without one; otherwise it must match exactly.
// Jet 3 passwords are compared in `codepage` (an iconv name).
bool PasswordMatches(const HeaderInfo& header, std::string_view password, const std::string& codepage);

// The 4 mask bytes a Jet 4 password is XORed with: the creation date's
// whole days as a little-endian 32-bit integer.
std::array<unsigned char, 4> PasswordMask(double creation_date);

}  // namespace jet
