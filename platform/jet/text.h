// Text as Jet stores it, to and from UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jet {

// Decodes Jet 4 text: UTF-16LE, or Unicode-compressed when it starts with
// the bytes FF FE (then runs alternate between one byte per character and
// UTF-16LE, each 00 byte switching). Unpaired surrogates become U+FFFD.
void DecodeJet4Text(const unsigned char* data, std::size_t size, std::string* utf8);

// UTF-16LE bytes to UTF-8 (unpaired surrogates become U+FFFD).
void Utf16LeToUtf8(const unsigned char* data, std::size_t size, std::string* utf8);
// UTF-8 to UTF-16 code units; false when the text is not valid UTF-8.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out);
// True when the text is valid UTF-8.
bool IsValidUtf8(std::string_view s);

// Converts between a code page (an iconv name such as "CP936") and UTF-8.
// Each converter holds one iconv handle.
class CodePage {
 public:
  // Raises com::Error when iconv does not know the code page.
  explicit CodePage(const std::string& name);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // Bytes in the code page to UTF-8; undecodable bytes become U+FFFD.
  void ToUtf8(const unsigned char* data, std::size_t size, std::string* utf8);
  // UTF-8 to the code page; false when a character has no encoding there.
  bool FromUtf8(std::string_view utf8, std::string* out);
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  void* to_utf8_;    // iconv_t
  void* from_utf8_;  // iconv_t
};

}  // namespace jet
