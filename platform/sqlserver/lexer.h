// Tokens of T-SQL: names (bare, [bracketed] with "]]" for "]", "quoted"),
// keywords, 'text' and N'text' literals with doubled quotes, numbers, 0x
// binary constants,
// @variables, operators and punctuation. /* */ comments nest, as in
// T-SQL; -- comments run to the end of the line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/names.h"

namespace sqlsrv {

enum class TokKind {
  kWord,       // a bare name or keyword
  kQuoted,     // a [bracketed] or "quoted" name
  kString,     // 'text' (national: N'text')
  kInteger,
  kDecimal,    // 1.5
  kFloat,      // 1e5
  kMoney,      // $12.50
  kBinary,     // 0x1F00: text holds the hexadecimal digits
  kVariable,   // @name, @@name
  kSymbol,     // operators and punctuation
  kEnd,
};

struct Token {
  TokKind kind = TokKind::kEnd;
  std::string text;    // name / value (unquoted) / symbol; keywords as written
  bool national = false;
  std::size_t offset = 0;  // in the batch text
  std::size_t end = 0;     // one past its last character

  bool Is(TokKind k, std::string_view t) const;
  // A bare word equal to the keyword, without regard to case.
  bool IsKeyword(std::string_view kw) const;
  bool IsSymbol(std::string_view s) const { return kind == TokKind::kSymbol && text == s; }
};

// Splits a batch into tokens; raises a syntax error (102) for an unclosed
// comment, string or name.
std::vector<Token> Tokenize(std::string_view sql);

// Names compare as everywhere in the platform (platform/com/names.h).
using com::SameName;
using com::UpperAscii;

// Splits a script into batches at lines holding only "GO" (any case,
// surrounding blanks allowed). GO inside comments or strings does not split.
std::vector<std::string> SplitBatches(std::string_view script);

}  // namespace sqlsrv
