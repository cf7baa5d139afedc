#include "platform/jet/header.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/com/error.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

}  // namespace

void Rc4(std::uint32_t key, unsigned char* data, std::size_t size) {
  const unsigned char k[4] = {static_cast<unsigned char>(key), static_cast<unsigned char>(key >> 8),
                              static_cast<unsigned char>(key >> 16), static_cast<unsigned char>(key >> 24)};
  unsigned char s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + k[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

std::array<unsigned char, 4> PasswordMask(double creation_date) {
  // The whole days of the date, truncated toward zero.
  const double days = std::trunc(creation_date);
  const auto v = static_cast<std::uint32_t>(
      static_cast<std::int32_t>(std::isfinite(days) && std::fabs(days) < 2e9 ? days : 0));
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

HeaderInfo DecodeHeader(const unsigned char* page, std::size_t size, const std::string& path) {
  const std::string not_jet = "无法识别的数据库格式“" + path + "”：不是 Access (Jet) 数据库";
  if (size < kJet3PageSize) Fail(kErrNotJetDatabase, not_jet + "（文件太短）。");
  static const unsigned char kMagic[4] = {0x00, 0x01, 0x00, 0x00};
  if (std::memcmp(page, kMagic, 4) != 0) Fail(kErrNotJetDatabase, not_jet + "。");
  if (std::memcmp(page + 4, "Standard ACE DB", 15) == 0) {
    Fail(kErrNotJetDatabase, not_jet + "：这是 Access 2007 或更高版本的文件，请先在 Access 中另存为 2000/2003 格式 (.mdb)。");
  }
  if (std::memcmp(page + 4, "Standard Jet DB", 16) != 0) Fail(kErrNotJetDatabase, not_jet + "。");

  HeaderInfo h;
  switch (page[0x14]) {
    case 0x00: h.version = Version::kJet3; h.page_size = kJet3PageSize; break;
    case 0x01: h.version = Version::kJet4; h.page_size = kJet4PageSize; break;
    default: Fail(kErrNotJetDatabase, not_jet + "：不支持的 Jet 版本 " + std::to_string(page[0x14]) + "。");
  }
  if (size < h.page_size) Fail(kErrNotJetDatabase, not_jet + "（文件太短）。");

  const std::size_t region = h.version == Version::kJet3 ? 126 : 128;
  std::vector<unsigned char> decoded(page, page + h.page_size);
  Rc4(kHeaderKey, decoded.data() + kHeaderRegionOffset, region);

  const std::size_t pw_size = h.version == Version::kJet3 ? 20 : 40;
  h.password_bytes.assign(reinterpret_cast<const char*>(decoded.data() + kPasswordOffset), pw_size);
  if (h.version == Version::kJet4) {
    std::memcpy(&h.creation_date, decoded.data() + kCreationDateOffset, sizeof(double));
    const auto mask = PasswordMask(h.creation_date);
    for (std::size_t i = 0; i < pw_size; ++i) h.password_bytes[i] = static_cast<char>(h.password_bytes[i] ^ mask[i % 4]);
  }
  for (char c : h.password_bytes) h.has_password = h.has_password || c != 0;
  return h;
}

HeaderInfo ReadHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT || errno == ENOTDIR) Fail(kErrFileNotFound, "找不到文件“" + path + "”。");
    Fail(kErrCannotOpen, "无法打开文件“" + path + "”：" + std::strerror(errno) + "。");
  }
  std::vector<unsigned char> page(kJet4PageSize);
  in.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (in.bad()) Fail(kErrCannotOpen, "无法读取文件“" + path + "”。");
  return DecodeHeader(page.data(), got, path);
}

bool PasswordMatches(const HeaderInfo& header, std::string_view password, const std::string& codepage) {
  if (!header.has_password) return true;
  std::string stored;  // UTF-8, up to the first NUL character
  if (header.version == Version::kJet4) {
    std::size_t units = 0;
    while (units * 2 + 1 < header.password_bytes.size() &&
           (header.password_bytes[units * 2] != 0 || header.password_bytes[units * 2 + 1] != 0)) {
      ++units;
    }
    Utf16LeToUtf8(reinterpret_cast<const unsigned char*>(header.password_bytes.data()), units * 2, &stored);
  } else {
    const std::size_t n = header.password_bytes.find('\0');
    CodePage cp(codepage);
    cp.ToUtf8(reinterpret_cast<const unsigned char*>(header.password_bytes.data()),
              n == std::string::npos ? header.password_bytes.size() : n, &stored);
  }
  return stored == password;
}

}  // namespace jet
