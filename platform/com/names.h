// Names of tables, columns, procedures and properties compare without
// regard to the case of ASCII letters; every other byte compares as it is.
// The Jet reader and writer, the data pump, the embedded server and the
// wizard all bind names with these functions, so a column a transfer names
// binds alike on both sides. The folding never depends on the process's
// locale. UTF-16 names (the Jet file's own) fold their code units alike.
#pragma once

#include <string>
#include <string_view>

namespace com {

namespace names_internal {

template <class Char>
constexpr Char Lower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}
template <class Char>
constexpr Char Upper(Char c) {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}
template <class Char>
constexpr bool Same(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}
template <class Char, class Fold>
std::basic_string<Char> Folded(std::basic_string_view<Char> s, Fold fold) {
  std::basic_string<Char> out(s);
  for (Char& c : out) c = fold(c);
  return out;
}

}  // namespace names_internal

// 'A'..'Z' to 'a'..'z'; any other byte (or UTF-16 code unit) unchanged.
constexpr char AsciiLower(char c) { return names_internal::Lower(c); }
constexpr char16_t AsciiLower(char16_t c) { return names_internal::Lower(c); }
// 'a'..'z' to 'A'..'Z'; any other byte unchanged.
constexpr char AsciiUpper(char c) { return names_internal::Upper(c); }

// True when the names are equal once their ASCII letters are folded.
constexpr bool SameName(std::string_view a, std::string_view b) { return names_internal::Same(a, b); }
constexpr bool SameName(std::u16string_view a, std::u16string_view b) { return names_internal::Same(a, b); }

// True when `name` begins with `prefix`, compared as SameName compares.
constexpr bool StartsWithName(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && SameName(name.substr(0, prefix.size()), prefix);
}

// The name with its ASCII letters folded to lower (or upper) case: a key
// under which SameName names meet.
inline std::string LowerAscii(std::string_view s) {
  return names_internal::Folded(s, [](char c) { return AsciiLower(c); });
}
inline std::u16string LowerAscii(std::u16string_view s) {
  return names_internal::Folded(s, [](char16_t c) { return AsciiLower(c); });
}
inline std::string UpperAscii(std::string_view s) {
  return names_internal::Folded(s, [](char c) { return AsciiUpper(c); });
}

}  // namespace com
