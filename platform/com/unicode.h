// Unicode and code page conversions to and from UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace com {

// Appends the UTF-8 form of a code point.
void AppendUtf8(char32_t c, std::string* out);

// UTF-16LE bytes to UTF-8 (unpaired surrogates become U+FFFD).
void Utf16LeToUtf8(const unsigned char* data, std::size_t size, std::string* utf8);
// UTF-8 to UTF-16 code units; false when the text is not valid UTF-8.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out);
// True when the text is valid UTF-8.
bool IsValidUtf8(std::string_view s);
// True when every byte of the text is ASCII (below 0x80).
bool IsAscii(std::string_view s);
// The number of UTF-16 code units of a UTF-8 text, counted without
// converting it; nullopt when it is not valid UTF-8.
std::optional<std::size_t> Utf16Length(std::string_view utf8);

// Appends UTF-16 code units as UTF-8, pairing surrogates; a lone surrogate
// becomes U+FFFD.
class Utf16Sink {
 public:
  explicit Utf16Sink(std::string* out) : out_(out) {}
  ~Utf16Sink();
  Utf16Sink(const Utf16Sink&) = delete;
  Utf16Sink& operator=(const Utf16Sink&) = delete;
  void Put(char16_t u);

 private:
  std::string* out_;
  char16_t pending_ = 0;
};

// Converts between a code page ("CP936", "CP1252", ...) and UTF-8. Each
// converter holds its own state (iconv handles on Linux, the code page's
// number on Windows): one per thread.
class CodePage {
 public:
  // Raises com::Error when the system does not know the code page.
  explicit CodePage(const std::string& name);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // Bytes in the code page to UTF-8; undecodable bytes become U+FFFD.
  void ToUtf8(const unsigned char* data, std::size_t size, std::string* utf8);
  // UTF-8 to the code page, each character without an encoding there
  // replaced by '?'; returns how many were replaced.
  std::size_t FromUtf8Lossy(std::string_view utf8, std::string* out);
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  void* to_utf8_;    // iconv_t; on Windows the code page's number
  void* from_utf8_;  // iconv_t
};

}  // namespace com
