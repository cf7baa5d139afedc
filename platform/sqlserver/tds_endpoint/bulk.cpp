#include "platform/sqlserver/tds_endpoint/bulk.h"

#include <cstring>
#include <exception>

#include "platform/com/error.h"
#include "platform/com/quote.h"
#include "platform/com/unicode.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/tds_endpoint/results.h"
#include "platform/sqlserver/tds_endpoint/tokens.h"
#include "platform/sqlserver/tds_endpoint/typed_values.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {
namespace {

[[noreturn]] void Syntax(const std::string& near) {
  throw SqlErr(102, "Incorrect syntax near '" + near + "'.");
}

}  // namespace

std::optional<InsertBulk> ParseInsertBulk(std::string_view sql) {
  std::vector<Token> t;
  try {
    t = Tokenize(sql);
  } catch (const com::Error&) {
    return std::nullopt;
  }
  std::size_t i = 0;
  auto at = [&](std::size_t k) -> const Token& {
    static const Token kEndToken{};
    return k < t.size() ? t[k] : kEndToken;
  };
  if (!at(0).IsKeyword("insert") || !at(1).IsKeyword("bulk")) return std::nullopt;
  i = 2;
  InsertBulk out;
  // The table: names joined by dots.
  while (at(i).kind == TokKind::kWord || at(i).kind == TokKind::kQuoted) {
    // A bracketed part goes back between brackets with its "]" doubled,
    // as the object names the engine reads are written.
    out.table += at(i).kind == TokKind::kQuoted ? com::Quoted(at(i).text, '[', ']') : std::string(at(i).text);
    ++i;
    if (!at(i).IsSymbol(".")) break;
    out.table += ".";
    ++i;
  }
  if (out.table.empty()) Syntax(at(i).text);
  if (at(i).IsSymbol("(")) {
    ++i;
    for (;;) {
      if (at(i).kind != TokKind::kWord && at(i).kind != TokKind::kQuoted) Syntax(at(i).text);
      out.columns.push_back(at(i).text);
      ++i;
      // Skip the type (with its own parentheses) and any COLLATE clause.
      int depth = 0;
      while (at(i).kind != TokKind::kEnd && (depth > 0 || !(at(i).IsSymbol(",") || at(i).IsSymbol(")")))) {
        if (at(i).IsSymbol("(")) ++depth;
        if (at(i).IsSymbol(")")) --depth;
        ++i;
      }
      if (at(i).IsSymbol(",")) {
        ++i;
        continue;
      }
      if (!at(i).IsSymbol(")")) Syntax(at(i).text);
      ++i;
      break;
    }
  }
  if (at(i).IsKeyword("with")) {
    ++i;
    if (!at(i).IsSymbol("(")) Syntax(at(i).text);
    ++i;
    while (at(i).kind != TokKind::kEnd && !at(i).IsSymbol(")")) {
      if (at(i).IsKeyword("keep_identity")) out.keep_identity = true;
      if (at(i).IsKeyword("check_constraints")) out.check_constraints = true;
      if (at(i).IsKeyword("keep_nulls")) out.keep_nulls = true;
      ++i;
    }
    if (!at(i).IsSymbol(")")) Syntax(at(i).text);
    ++i;
  }
  if (at(i).kind != TokKind::kEnd) Syntax(at(i).text);
  return out;
}

void ReadBulkRows(const PieceSource& source, std::size_t column_count,
                  const std::function<void(const dts::Row&)>& row, std::size_t max_value_bytes, bool tds72) {
  PieceReader r(source);
  com::CodePage cp936("CP936");
  std::vector<SentType> columns;
  std::exception_ptr failure;
  dts::Row values;
  while (!r.AtEnd()) {
    const std::uint8_t token = r.U8();
    if (token == kColMetadata) {
      const std::uint16_t count = r.U16();
      if (count == 0xFFFF) continue;  // no metadata
      if (count != column_count) {
        throw ProtocolError("bulk load sends " + std::to_string(count) + " columns, INSERT BULK named " +
                            std::to_string(column_count));
      }
      columns.clear();
      for (std::uint16_t k = 0; k < count; ++k) {
        if (tds72) {
          r.U32();  // user type
        } else {
          r.U16();
        }
        r.U16();  // flags
        columns.push_back(ReadTypeInfo(r, SentIn::kBulkColumn));
        r.Ucs2(r.U8());  // name
      }
    } else if (token == kRow) {
      if (columns.empty()) throw ProtocolError("bulk-load row before its column metadata");
      values.clear();
      for (const SentType& c : columns) values.push_back(ReadValue(r, c, cp936, max_value_bytes, SentIn::kBulkColumn));
      if (!failure) {
        try {
          row(values);
        } catch (...) {
          failure = std::current_exception();
        }
      }
    } else if (token == kDone) {
      r.Take(4);
      r.Take(tds72 ? 8 : 4);
    } else {
      throw ProtocolError("unexpected token " + std::to_string(token) + " in a bulk load");
    }
  }
  r.Drain();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace sqlsrv::tds
