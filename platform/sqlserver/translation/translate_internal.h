// What the translator's own files share (translate.cpp, the expressions
// and statements; translate_functions.cpp, the functions): a translated
// value and the small helpers both use.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/translation/translate.h"

namespace sqlsrv {

// A value as translated: its SQLite text and its static type.
struct Translator::Typed {
  std::string sql;
  VT type = VT::kNull;
  std::optional<ColumnType> column;
  bool nullable = true;   // false for a NOT NULL column read as it is
  bool identity = false;  // the identity column read as it is
  bool is_literal = false;
  std::string literal;  // a string, integer or decimal literal's text (a decimal's canonical)
  bool national = false;  // a string literal written N'...'
  // Text's SQLite collation when not the server's (OutputColumn's), and
  // whether an explicit COLLATE gave it, which wins over a column's.
  std::string collation;
  bool explicit_collation = false;
  // When sql is "(x op y ...)" with a flat chain of one SQLite operator
  // class inside: '+' (+ and -), '*', '&' (& and |) or '|' (||); 'd' when
  // it is a chain of decimal operators, "vk_dchain(...)" of
  // `chain_arguments` arguments; else 0.
  char chain = 0;
  int chain_arguments = 0;
  // A table's column read as it is: the source and the column's index in
  // its table.
  const Source* source = nullptr;
  int source_column = -1;
};

// A text as a SQLite string literal.
inline std::string QuoteText(std::string_view s) { return com::Quoted(s, '\'', '\''); }

// Whether a static type is a number's.
inline bool IsNumeric(VT t) { return t == VT::kInt || t == VT::kBit || t == VT::kMoney || t == VT::kDecimal || t == VT::kFloat; }

// SQL Server's precedence of the numeric types: int, money, decimal, float
// (0 for the others).
inline int Rank(VT t) {
  switch (t) {
    case VT::kBit: case VT::kInt: return 1;
    case VT::kMoney: return 2;
    case VT::kDecimal: return 3;
    case VT::kFloat: return 4;
    default: return 0;
  }
}

// A decimal computed (not read from a column): SQL Server names its type
// numeric.
inline ColumnType ComputedDecimal(DecimalType t) {
  ColumnType c = DecimalColumnType(t);
  c.numeric = true;
  return c;
}

// Raises 40000 for what the server does not do.
[[noreturn]] inline void NotSupported(const std::string& what) {
  throw SqlErr(kNotSupported, what + " is not supported by the embedded server.");
}

// The name SQL Server's messages give a static type.
inline const char* VTName(VT t) {
  switch (t) {
    case VT::kInt: return "int";
    case VT::kBit: return "bit";
    case VT::kMoney: return "money";
    case VT::kDecimal: return "numeric";
    case VT::kFloat: return "float";
    case VT::kString: return "varchar";
    case VT::kDate: return "datetime";
    case VT::kBinary: return "varbinary";
    case VT::kGuid: return "uniqueidentifier";
    case VT::kVariant: return "sql_variant";
    default: return "null";
  }
}

}  // namespace sqlsrv
