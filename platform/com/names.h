// Names of tables, columns, procedures and properties compare without
// regard to the case of ASCII letters; every other byte compares as it is.
// The Jet reader, the data pump and the embedded server all bind names
// with these functions, so a column a transfer names binds alike on both
// sides. The folding never depends on the process's locale.
#pragma once

#include <string>
#include <string_view>

namespace com {

// 'A'..'Z' to 'a'..'z'; any other byte unchanged.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// 'a'..'z' to 'A'..'Z'; any other byte unchanged.
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when the names are equal once their ASCII letters are folded.
constexpr bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// True when `name` begins with `prefix`, compared as SameName compares.
constexpr bool StartsWithName(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && SameName(name.substr(0, prefix.size()), prefix);
}

// The name with its ASCII letters folded to lower (or upper) case: a key
// under which SameName names meet.
inline std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}
inline std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

}  // namespace com
