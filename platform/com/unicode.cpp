#include "platform/com/unicode.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

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

CodePage::CodePage(const std::string& name) : name_(name) {
  iconv_t to = iconv_open("UTF-8", name.c_str());
  if (to == reinterpret_cast<iconv_t>(-1)) {
    throw Error(kErrInvalidArgument, "CodePage", "不支持的代码页“" + name + "”");
  }
  iconv_t from = iconv_open(name.c_str(), "UTF-8");
  if (from == reinterpret_cast<iconv_t>(-1)) {
    iconv_close(to);
    throw Error(kErrInvalidArgument, "CodePage", "不支持的代码页“" + name + "”");
  }
  to_utf8_ = to;
  from_utf8_ = from;
}

CodePage::~CodePage() {
  iconv_close(static_cast<iconv_t>(to_utf8_));
  iconv_close(static_cast<iconv_t>(from_utf8_));
}

void CodePage::ToUtf8(const unsigned char* data, std::size_t size, std::string* utf8) {
  auto cd = static_cast<iconv_t>(to_utf8_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  utf8->clear();
  char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
  std::size_t in_left = size;
  char buf[1024];
  while (in_left > 0) {
    char* out = buf;
    std::size_t out_left = sizeof buf;
    const std::size_t r = iconv(cd, &in, &in_left, &out, &out_left);
    utf8->append(buf, static_cast<std::size_t>(out - buf));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An invalid or incomplete sequence: one replacement, skip a byte.
      AppendUtf8(0xFFFD, utf8);
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

std::size_t CodePage::FromUtf8Lossy(std::string_view utf8, std::string* result) {
  auto cd = static_cast<iconv_t>(from_utf8_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  result->clear();
  std::size_t replaced = 0;
  char* in = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  char buf[1024];
  while (in_left > 0) {
    char* out = buf;
    std::size_t out_left = sizeof buf;
    const std::size_t r = iconv(cd, &in, &in_left, &out, &out_left);
    result->append(buf, static_cast<std::size_t>(out - buf));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // Skip one UTF-8 character and put '?' in its place.
      std::size_t n = 1;
      const auto lead = static_cast<unsigned char>(*in);
      if (lead >= 0xF0) n = 4; else if (lead >= 0xE0) n = 3; else if (lead >= 0xC0) n = 2;
      n = std::min(n, in_left);
      in += n;
      in_left -= n;
      result->push_back('?');
      ++replaced;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return replaced;
}

}  // namespace com
