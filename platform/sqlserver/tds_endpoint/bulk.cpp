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
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {
namespace {

[[noreturn]] void Syntax(const std::string& near) {
  throw SqlErr(102, "Incorrect syntax near '" + near + "'.");
}

// Bytes of a message that arrives in pieces, read in order.
class PieceReader {
 public:
  explicit PieceReader(const PieceSource& source) : source_(source) {}

  // True at the end of the message.
  bool AtEnd() {
    Fill(1, /*eof_ok=*/true);
    return pos_ == buffer_.size();
  }
  std::uint8_t U8() { return Take(1)[0]; }
  std::uint16_t U16() {
    const auto b = Take(2);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | static_cast<std::uint32_t>(U16()) << 16;
  }
  std::uint64_t U64() {
    const std::uint64_t lo = U32();
    return lo | static_cast<std::uint64_t>(U32()) << 32;
  }
  std::string Ucs2(std::size_t chars) {
    const auto b = Take(chars * 2);
    std::string out;
    com::Utf16LeToUtf8(b.data(), b.size(), &out);
    return out;
  }
  // The next n bytes; valid until the next read.
  std::vector<std::uint8_t> Take(std::size_t n) {
    Fill(n, /*eof_ok=*/false);
    std::vector<std::uint8_t> out(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                  buffer_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
    return out;
  }
  // Reads to the end of the message.
  void Drain() {
    pos_ = buffer_.size();
    while (!ended_) {
      if (source_().empty()) ended_ = true;
    }
  }

 private:
  void Fill(std::size_t n, bool eof_ok) {
    while (buffer_.size() - pos_ < n && !ended_) {
      if (pos_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ = 0;
      }
      auto piece = source_();
      if (piece.empty()) {
        ended_ = true;
      } else {
        buffer_.insert(buffer_.end(), piece.begin(), piece.end());
      }
    }
    if (buffer_.size() - pos_ < n && !eof_ok) throw ProtocolError("bulk-load message truncated");
  }

  const PieceSource& source_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

struct SentColumn {
  std::uint8_t type = 0;
  std::uint32_t size = 0;
  std::uint8_t precision = 0, scale = 0;
};

bool IsText(std::uint8_t t) { return t == kBigVarChar || t == kBigChar || t == 0x2F || t == 0x27; }  // + CHAR, VARCHAR
bool IsBinary(std::uint8_t t) { return t == kBigVarBinary || t == kBigBinary; }

// TYPE_INFO of a column in the client's COLMETADATA.
SentColumn ReadTypeInfo(PieceReader& r) {
  SentColumn c;
  c.type = r.U8();
  switch (c.type) {
    case kInt1: case kBit: c.size = 1; break;
    case kInt2: c.size = 2; break;
    case kInt4: case kDateTime4: case kFlt4: case kMoney4: c.size = 4; break;
    case kMoney: case kDateTime: case kFlt8: case kInt8: c.size = 8; break;
    case kIntN: case kBitN: case kFltN: case kMoneyN: case kDateTimeN: c.size = r.U8(); break;
    case kDecimalN: case kNumericN:
      c.size = r.U8();
      c.precision = r.U8();
      c.scale = r.U8();
      break;
    case kBigVarChar: case kBigChar: case kNVarChar: case kNChar:
      c.size = r.U16();
      r.Take(5);  // collation
      break;
    case kBigVarBinary: case kBigBinary: c.size = r.U16(); break;
    case kText: case kNText:
      // Bulk-load metadata names the table of a text column with a 2-byte
      // count, whatever the protocol version (as bcp clients send it).
      c.size = r.U32();
      r.Take(5);  // collation
      r.Ucs2(r.U16());
      break;
    default:
      throw ProtocolError("bulk load of type " + std::to_string(c.type) + " is not supported");
  }
  return c;
}

std::int64_t SignedOf(const std::vector<std::uint8_t>& b) {
  std::uint64_t v = 0;
  for (std::size_t i = b.size(); i-- > 0;) v = v << 8 | b[i];
  switch (b.size()) {
    case 1: return static_cast<std::int64_t>(static_cast<std::uint8_t>(v));
    case 2: return static_cast<std::int16_t>(v);
    case 4: return static_cast<std::int32_t>(v);
    default: return static_cast<std::int64_t>(v);
  }
}

com::Variant ValueOf(PieceReader& r, const SentColumn& c, com::CodePage& cp936, std::size_t max_bytes) {
  // The length prefix, and the null it may stand for.
  std::size_t length = 0;
  switch (c.type) {
    case kInt1: case kBit: case kInt2: case kInt4: case kDateTime4: case kFlt4: case kMoney4:
    case kMoney: case kDateTime: case kFlt8: case kInt8:
      length = c.size;
      break;
    case kIntN: case kBitN: case kFltN: case kMoneyN: case kDateTimeN: case kDecimalN: case kNumericN:
      length = r.U8();
      if (length == 0) return com::Variant::Null();
      break;
    case kBigVarChar: case kBigChar: case kNVarChar: case kNChar: case kBigVarBinary: case kBigBinary:
      length = r.U16();
      if (length == 0xFFFF) return com::Variant::Null();
      break;
    case kText: case kNText: {
      const std::uint8_t pointer = r.U8();
      if (pointer == 0) return com::Variant::Null();
      r.Take(pointer);
      r.Take(8);  // timestamp
      length = r.U32();
      break;
    }
    default:
      throw ProtocolError("bulk load value of type " + std::to_string(c.type));
  }
  if (length > max_bytes) throw ProtocolError("bulk-load value of " + std::to_string(length) + " bytes");
  const std::vector<std::uint8_t> b = r.Take(length);
  switch (c.type) {
    case kBit: case kBitN: return com::Variant::Bool(!b.empty() && b[0] != 0);
    case kInt1: case kInt2: case kInt4: case kInt8: case kIntN:
      if (b.size() != 1 && b.size() != 2 && b.size() != 4 && b.size() != 8) throw ProtocolError("bad integer length");
      return b.size() == 8 ? com::Variant::I8(SignedOf(b)) : com::Variant::I4(static_cast<std::int32_t>(SignedOf(b)));
    case kMoney4: case kMoney: case kMoneyN: {
      if (b.size() == 4) return com::Variant::Currency(SignedOf(b));
      if (b.size() != 8) throw ProtocolError("bad money length");
      const std::uint64_t hi = static_cast<std::uint32_t>(SignedOf({b.begin(), b.begin() + 4}));
      const std::uint64_t lo = static_cast<std::uint32_t>(SignedOf({b.begin() + 4, b.end()}));
      return com::Variant::Currency(static_cast<std::int64_t>(hi << 32 | lo));
    }
    case kFlt4: case kFlt8: case kFltN: {
      if (b.size() == 4) {
        float f;
        std::memcpy(&f, b.data(), 4);
        return com::Variant::R8(f);
      }
      if (b.size() != 8) throw ProtocolError("bad float length");
      double d;
      std::memcpy(&d, b.data(), 8);
      return com::Variant::R8(d);
    }
    case kDateTime4: case kDateTime: case kDateTimeN: {
      if (b.size() == 4) {
        const auto days = static_cast<std::uint16_t>(b[0] | b[1] << 8);
        const auto minutes = static_cast<std::uint16_t>(b[2] | b[3] << 8);
        return com::Variant::Date(OleDateOf(days, static_cast<std::uint32_t>(minutes) * 60 * 300));
      }
      if (b.size() != 8) throw ProtocolError("bad datetime length");
      const auto days = static_cast<std::int32_t>(SignedOf({b.begin(), b.begin() + 4}));
      const auto ticks = static_cast<std::uint32_t>(SignedOf({b.begin() + 4, b.end()}));
      return com::Variant::Date(OleDateOf(days, ticks));
    }
    case kDecimalN: case kNumericN: {
      if (b.empty() || b.size() > 17) throw ProtocolError("bad decimal length");
      // The magnitude, little endian after the sign byte, in decimal by
      // long division.
      std::vector<std::uint8_t> magnitude(b.rbegin(), b.rend() - 1);  // most significant first
      std::string digits;
      while (!magnitude.empty()) {
        unsigned remainder = 0;
        std::vector<std::uint8_t> quotient;
        for (std::uint8_t byte : magnitude) {
          const unsigned value = remainder * 256 + byte;
          if (!quotient.empty() || value / 10) quotient.push_back(static_cast<std::uint8_t>(value / 10));
          remainder = value % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
        magnitude = std::move(quotient);
      }
      if (digits.empty()) digits = "0";
      while (digits.size() <= c.scale) digits.insert(digits.begin(), '0');
      if (c.scale > 0) digits.insert(digits.end() - c.scale, '.');
      return com::Variant::Decimal((b[0] ? "" : "-") + digits);
    }
    case kNVarChar: case kNChar: case kNText: {
      std::string out;
      com::Utf16LeToUtf8(b.data(), b.size(), &out);
      return com::Variant::Text(out);
    }
    default:
      if (IsText(c.type) || c.type == kText) {
        std::string out;
        cp936.ToUtf8(b.data(), b.size(), &out);
        return com::Variant::Text(out);
      }
      if (IsBinary(c.type)) throw SqlErr(8114, "Binary values cannot be loaded into this server's tables.");
      throw ProtocolError("bulk load value of type " + std::to_string(c.type));
  }
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
  std::vector<SentColumn> columns;
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
        columns.push_back(ReadTypeInfo(r));
        r.Ucs2(r.U8());  // name
      }
    } else if (token == kRow) {
      if (columns.empty()) throw ProtocolError("bulk-load row before its column metadata");
      values.clear();
      for (const SentColumn& c : columns) values.push_back(ValueOf(r, c, cp936, max_value_bytes));
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
