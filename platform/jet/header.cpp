#include "platform/jet/header.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/com/error.h"
#include "platform/jet/data_page.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

[[noreturn]] void Fail(std::int32_t number, const std::string& description) {
  throw com::Error(number, kErrorSource, description);
}

constexpr std::uint32_t kFirstPages = 3;
// Jet files stop at 2 GB; a row address keeps the page in 24 bits.
constexpr std::uint64_t kMaxPages = 0x7FFFFF;

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
  h.page_key = Le32(decoded.data() + kPageKeyOffset);
  return h;
}

HeaderInfo ReadHeader(const std::string& path) { return ReadHeader(SourceFile(path)); }

HeaderInfo ReadHeader(const SourceFile& file) {
  std::vector<unsigned char> page(kJet4PageSize);
  const std::size_t got = file.ReadAt(0, page.data(), page.size());
  return DecodeHeader(page.data(), got, file.path());
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

FilePages::FilePages(std::shared_ptr<const SourceFile> file, const HeaderInfo& header)
    : file_(std::move(file)), version_(header.version), page_size_(header.page_size), page_key_(header.page_key) {
  const std::uint64_t size = file_->SizeNow();
  const std::string damaged = "数据库文件“" + path() + "”已损坏";
  if (size % page_size_ != 0) {
    Fail(kErrNotJetDatabase, damaged + "：长度 " + std::to_string(size) + " 字节不是整页（每页 " +
                                 std::to_string(page_size_) + " 字节），文件可能被截断。");
  }
  if (size / page_size_ < kFirstPages || size / page_size_ > kMaxPages) {
    Fail(kErrNotJetDatabase, damaged + "：共 " + std::to_string(size / page_size_) + " 页，页数不可能。");
  }
  count_ = static_cast<std::uint32_t>(size / page_size_);
}

void FilePages::Read(std::uint32_t page, std::vector<unsigned char>* out, const std::string& what) const {
  out->resize(page_size_);
  ReadInto(page, out->data(), what);
}

void FilePages::ReadInto(std::uint32_t page, unsigned char* out, const std::string& what) const {
  if (!Contains(page)) {
    Fail(kErrNotJetDatabase, "数据库文件“" + path() + "”已损坏：" + what + "指向第 " + std::to_string(page) +
                                 " 页，文件只有 " + std::to_string(count_) + " 页。");
  }
  const std::size_t got = file_->ReadAt(static_cast<std::uint64_t>(page) * page_size_, out, page_size_);
  if (got < page_size_) {
    // The file was whole pages up to page count_ when these pages were
    // taken: it has been cut or rewritten since.
    Fail(kErrNotJetDatabase, "数据库文件“" + path() + "”已损坏：读取" + what + "（第 " + std::to_string(page) +
                                 " 页）时只读到 " + std::to_string(got) + " 字节，不足一页（" +
                                 std::to_string(page_size_) + " 字节）；文件现在只有 " +
                                 std::to_string(file_->SizeNow()) + " 字节，在读取过程中被截断或改写。");
  }
  if (page != 0 && page_key_ != 0) Rc4(page_key_ ^ page, out, page_size_);
}

}  // namespace jet
