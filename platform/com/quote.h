// Text inside the quotes of a SQL name or literal: the closing quote
// character, wherever it stands in the text, is written twice.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace com
