#include "platform/sqlserver/lexer.h"

#include <cctype>

#include "platform/sqlserver/errors.h"

namespace sqlsrv {
namespace {

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c >= 0x80; }

[[noreturn]] void Unclosed(std::string_view what, std::string_view sql, std::size_t at) {
  const std::string near(sql.substr(at, 20));
  throw SqlErr(kSyntax, "Unclosed " + std::string(what) + " near '" + near + "'.");
}

// Skips a /* */ comment starting at i (nested comments count); returns the
// index after it.
std::size_t SkipBlockComment(std::string_view s, std::size_t i) {
  const std::size_t start = i;
  int depth = 0;
  while (i < s.size()) {
    if (s.compare(i, 2, "/*") == 0) {
      ++depth;
      i += 2;
    } else if (s.compare(i, 2, "*/") == 0) {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  Unclosed("comment", s, start);
}

}  // namespace

bool Token::Is(TokKind k, std::string_view t) const { return kind == k && SameName(text, t); }
bool Token::IsKeyword(std::string_view kw) const { return kind == TokKind::kWord && SameName(text, kw); }

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  auto push = [&](TokKind k, std::string text, std::size_t start, std::size_t end, bool national = false) {
    out.push_back({k, std::move(text), national, start, end});
  };
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      i = SkipBlockComment(s, i);
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      std::string name;
      std::size_t j = i + 1;
      for (;;) {
        if (j >= s.size()) Unclosed("quotation mark before the character string", s, i);
        if (s[j] == close) {
          if (j + 1 < s.size() && s[j + 1] == close) {
            name.push_back(close);
            j += 2;
            continue;
          }
          break;
        }
        name.push_back(s[j++]);
      }
      push(TokKind::kQuoted, std::move(name), i, j + 1);
      i = j + 1;
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'')) {
      const bool national = c != '\'';
      std::size_t j = i + (national ? 2 : 1);
      std::string text;
      for (;;) {
        if (j >= s.size()) Unclosed("quotation mark before the character string", s, i);
        if (s[j] == '\'') {
          if (j + 1 < s.size() && s[j + 1] == '\'') {
            text.push_back('\'');
            j += 2;
            continue;
          }
          break;
        }
        text.push_back(s[j++]);
      }
      push(TokKind::kString, std::move(text), i, j + 1, national);
      i = j + 1;
    } else if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      std::size_t j = i + 2;
      while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
      push(TokKind::kBinary, std::string(s.substr(i + 2, j - i - 2)), i, j);
      i = j;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) ||
               c == '$') {
      std::size_t j = i + (c == '$' ? 1 : 0);
      bool dot = false, exp = false;
      while (j < s.size()) {
        const auto d = static_cast<unsigned char>(s[j]);
        if (std::isdigit(d)) {
          ++j;
        } else if (d == '.' && !dot && !exp) {
          dot = true;
          ++j;
        } else if ((d == 'e' || d == 'E') && !exp && c != '$') {
          exp = true;
          ++j;
          if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        } else {
          break;
        }
      }
      const TokKind k = c == '$' ? TokKind::kMoney : exp ? TokKind::kFloat : dot ? TokKind::kDecimal : TokKind::kInteger;
      push(k, std::string(s.substr(i + (c == '$' ? 1 : 0), j - i - (c == '$' ? 1 : 0))), i, j);
      i = j;
    } else if (c == '@') {
      std::size_t j = i + 1;
      if (j < s.size() && s[j] == '@') ++j;
      while (j < s.size() && IsWordChar(static_cast<unsigned char>(s[j]))) ++j;
      push(TokKind::kVariable, std::string(s.substr(i, j - i)), i, j);
      i = j;
    } else if (IsWordStart(c)) {
      std::size_t j = i + 1;
      while (j < s.size() && IsWordChar(static_cast<unsigned char>(s[j]))) ++j;
      push(TokKind::kWord, std::string(s.substr(i, j - i)), i, j);
      i = j;
    } else {
      static const char* const kTwo[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
      std::string sym(1, static_cast<char>(c));
      for (const char* t : kTwo) {
        if (s.compare(i, 2, t) == 0) sym = t;
      }
      if (sym.size() == 1 && std::string_view("(),.;=<>+-*/%&|^~").find(static_cast<char>(c)) == std::string_view::npos) {
        throw SqlErr(kSyntax, "Incorrect syntax near '" + sym + "'.");
      }
      push(TokKind::kSymbol, sym, i, i + sym.size());
      i += sym.size();
    }
  }
  out.push_back({TokKind::kEnd, "", false, s.size(), s.size()});
  return out;
}

std::vector<std::string> SplitBatches(std::string_view s) {
  std::vector<std::string> batches;
  std::size_t start = 0, i = 0;
  auto line_is_go = [&](std::size_t b, std::size_t e) {
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return e - b == 2 && SameName(s.substr(b, 2), "GO");
  };
  std::size_t line_start = 0;
  while (i <= s.size()) {
    if (i == s.size() || s[i] == '\n') {
      if (line_is_go(line_start, i)) {
        batches.emplace_back(s.substr(start, line_start - start));
        start = i < s.size() ? i + 1 : i;
      }
      line_start = i + 1;
      ++i;
      continue;
    }
    // Skip over comments and strings so that GO inside them does not split.
    if (s.compare(i, 2, "/*") == 0) {
      i = SkipBlockComment(s, i);
      continue;
    }
    if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (s[i] == '\'') {
      for (++i; i < s.size(); ++i) {
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            ++i;
            continue;
          }
          break;
        }
      }
      ++i;
      continue;
    }
    ++i;
  }
  if (start < s.size()) batches.emplace_back(s.substr(start));
  std::vector<std::string> nonempty;
  for (auto& b : batches) {
    bool blank = true;
    for (char c : b) blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (!blank) nonempty.push_back(std::move(b));
  }
  return nonempty;
}

}  // namespace sqlsrv
