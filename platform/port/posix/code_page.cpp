#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "platform/com/error.h"
#include "platform/com/unicode.h"

// com::CodePage over iconv: a pair of handles, one each way.
namespace com {

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
