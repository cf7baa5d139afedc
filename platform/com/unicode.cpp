#include "platform/com/unicode.h"

#include <algorithm>

#include "platform/com/error.h"

namespace com {

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

Utf16Sink::~Utf16Sink() {
  if (pending_) AppendUtf8(0xFFFD, out_);
}

void Utf16Sink::Put(char16_t u) {
  if (pending_) {
    if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(0x10000 + ((static_cast<char32_t>(pending_) - 0xD800) << 10) + (u - 0xDC00), out_);
      pending_ = 0;
      return;
    }
    AppendUtf8(0xFFFD, out_);
    pending_ = 0;
  }
  if (u >= 0xD800 && u <= 0xDBFF) {
    pending_ = u;
  } else if (u >= 0xDC00 && u <= 0xDFFF) {
    AppendUtf8(0xFFFD, out_);
  } else {
    AppendUtf8(u, out_);
  }
}

void Utf16LeToUtf8(const unsigned char* data, std::size_t size, std::string* utf8) {
  utf8->clear();
  Utf16Sink sink(utf8);
  for (std::size_t i = 0; i + 1 < size; i += 2) sink.Put(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
}

namespace {

// Decodes the code point at s[i]: its value and byte count, or false for
// bytes that are not valid UTF-8 (overlong forms, surrogates and values
// past U+10FFFF included).
bool DecodeAt(std::string_view s, std::size_t i, char32_t* cp, std::size_t* n) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) { *cp = c; *n = 1; return true; }
  if ((c & 0xE0) == 0xC0) { *cp = c & 0x1F; *n = 2; }
  else if ((c & 0xF0) == 0xE0) { *cp = c & 0x0F; *n = 3; }
  else if ((c & 0xF8) == 0xF0) { *cp = c & 0x07; *n = 4; }
  else return false;
  if (i + *n > s.size()) return false;
  for (std::size_t k = 1; k < *n; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return false;
    *cp = (*cp << 6) | (cc & 0x3F);
  }
  return !((*n == 2 && *cp < 0x80) || (*n == 3 && *cp < 0x800) || (*n == 4 && *cp < 0x10000) || *cp > 0x10FFFF ||
           (*cp >= 0xD800 && *cp <= 0xDFFF));
}

}  // namespace

bool IsAscii(std::string_view s) {
  for (const unsigned char ch : s) {
    if (ch >= 0x80) return false;
  }
  return true;
}

bool IsValidUtf8(std::string_view s) { return Utf16Length(s).has_value(); }

std::optional<std::size_t> Utf16Length(std::string_view s) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    std::size_t n;
    if (!DecodeAt(s, i, &cp, &n)) return std::nullopt;
    units += cp >= 0x10000 ? 2 : 1;
    i += n;
  }
  return units;
}

bool Utf8ToUtf16(std::string_view s, std::u16string* out) {
  out->clear();
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    std::size_t n;
    if (!DecodeAt(s, i, &cp, &n)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return true;
}

}  // namespace com
