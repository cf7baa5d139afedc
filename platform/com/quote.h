// Text inside the quotes of a SQL name or literal: the closing quote
// character, wherever it stands in the text, is written twice.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace com {

// `text` with every `close` doubled, without the quotes themselves.
inline std::string DoubledQuotes(std::string_view text, char close) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out.push_back(c);
    if (c == close) out.push_back(close);
  }
  return out;
}

// `text` between `open` and `close`, its `close` characters doubled:
// Quoted("a]b", '[', ']') is "[a]]b]", Quoted("it's", '\'', '\'') is "'it''s'".
inline std::string Quoted(std::string_view text, char open, char close) {
  return open + DoubledQuotes(text, close) + close;
}

// The parts of a dotted name as a statement writes it, brackets taken off
// and "]]" read as "]": {"Shop", "dbo", "T"} for "[Shop].[dbo].[T]", {"dbo",
// "T"} for "dbo.T". A dot inside brackets belongs to its part.
inline std::vector<std::string> ObjectNameParts(std::string_view name) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '.') {
      parts.emplace_back();
    } else if (name[i] != '[') {
      parts.back() += name[i];
    } else {
      for (++i; i < name.size(); ++i) {
        if (name[i] == ']' && i + 1 < name.size() && name[i + 1] == ']') {
          parts.back() += ']';
          ++i;
        } else if (name[i] == ']') {
          break;
        } else {
          parts.back() += name[i];
        }
      }
    }
  }
  return parts;
}

}  // namespace com
