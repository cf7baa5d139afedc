#include <windows.h>

#include <cctype>
#include <cstdint>

#include "platform/com/error.h"
#include "platform/com/unicode.h"
#include "platform/port/windows/wide.h"

// com::CodePage over Windows' own conversions: the code page's number is
// all it keeps.
namespace com {
namespace {

// The Windows code page a name means: "CPnnn", or one of the few other
// names the system uses; 0 when unknown.
UINT CodePageNumber(const std::string& name) {
  std::string upper;
  for (char c : name) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (upper == "UTF-8" || upper == "UTF8") return CP_UTF8;
  if (upper == "GBK") return 936;
  if (upper == "GB18030") return 54936;
  if (upper.size() > 2 && upper.compare(0, 2, "CP") == 0) {
    UINT n = 0;
    for (std::size_t i = 2; i < upper.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(upper[i])) || n > 100000) return 0;
      n = n * 10 + static_cast<UINT>(upper[i] - '0');
    }
    return IsValidCodePage(n) ? n : 0;
  }
  return 0;
}

UINT Number(void* kept) { return static_cast<UINT>(reinterpret_cast<std::uintptr_t>(kept)); }

}  // namespace

CodePage::CodePage(const std::string& name) : name_(name) {
  const UINT number = CodePageNumber(name);
  if (number == 0) throw Error(kErrInvalidArgument, "CodePage", "不支持的代码页“" + name + "”");
  to_utf8_ = reinterpret_cast<void*>(static_cast<std::uintptr_t>(number));
  from_utf8_ = to_utf8_;
}

CodePage::~CodePage() = default;

void CodePage::ToUtf8(const unsigned char* data, std::size_t size, std::string* utf8) {
  utf8->clear();
  if (size == 0) return;
  const UINT cp = Number(to_utf8_);
  const auto* bytes = reinterpret_cast<const char*>(data);
  const int n = MultiByteToWideChar(cp, 0, bytes, static_cast<int>(size), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes, static_cast<int>(size), wide.data(), n);
  Utf16Sink sink(utf8);
  for (wchar_t u : wide) sink.Put(static_cast<char16_t>(u));
}

std::size_t CodePage::FromUtf8Lossy(std::string_view utf8, std::string* out) {
  out->clear();
  const UINT cp = Number(from_utf8_);
  const std::wstring wide = port::Wide(utf8);
  if (wide.empty()) return 0;
  if (cp == CP_UTF8) {
    *out = port::Narrow(wide);
    return 0;
  }
  // Character by character, so that each one the code page lacks is one '?'.
  std::size_t replaced = 0;
  char buf[8];
  for (std::size_t i = 0; i < wide.size();) {
    const std::size_t units = (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size()) ? 2 : 1;
    BOOL defaulted = FALSE;
    const int n = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide.data() + i, static_cast<int>(units), buf,
                                      sizeof buf, "?", &defaulted);
    if (n <= 0 || defaulted) {
      out->push_back('?');
      ++replaced;
    } else {
      out->append(buf, static_cast<std::size_t>(n));
    }
    i += units;
  }
  return replaced;
}

}  // namespace com
