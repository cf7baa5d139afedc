#include "platform/sqlserver/tds_endpoint/typed_values.h"

#include <cstdio>
#include <cstring>

#include "platform/com/numeric.h"
#include "platform/com/unicode.h"
#include "platform/dts/convert.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/tds_endpoint/results.h"
#include "platform/sqlserver/tds_endpoint/wire.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv::tds {

// ------------------------------------------------------------ PieceReader

PieceReader::PieceReader(std::vector<std::uint8_t> whole) : buffer_(std::move(whole)), ended_(true) {}

bool PieceReader::AtEnd() {
  Fill(1, /*eof_ok=*/true);
  return pos_ == buffer_.size();
}

std::uint16_t PieceReader::U16() {
  const auto b = Take(2);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t PieceReader::U32() {
  const std::uint32_t lo = U16();
  return lo | static_cast<std::uint32_t>(U16()) << 16;
}

std::uint64_t PieceReader::U64() {
  const std::uint64_t lo = U32();
  return lo | static_cast<std::uint64_t>(U32()) << 32;
}

std::string PieceReader::Ucs2(std::size_t chars) {
  const auto b = Take(chars * 2);
  std::string out;
  com::Utf16LeToUtf8(b.data(), b.size(), &out);
  return out;
}

std::vector<std::uint8_t> PieceReader::Take(std::size_t n) {
  Fill(n, /*eof_ok=*/false);
  std::vector<std::uint8_t> out(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                buffer_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
  pos_ += n;
  return out;
}

void PieceReader::Drain() {
  pos_ = buffer_.size();
  while (!ended_) {
    if (source_().empty()) ended_ = true;
  }
}

void PieceReader::Fill(std::size_t n, bool eof_ok) {
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
  if (buffer_.size() - pos_ < n && !eof_ok) throw ProtocolError("message truncated");
}

// ------------------------------------------------------------ types

namespace {

// Types a client may send besides those the server itself sends
// (results.h): the dates of TDS 7.3, GUIDs and the old short types.
enum : std::uint8_t {
  kNull = kNullType,
  kVarBinary = 0x25,
  kVarChar = 0x27,
  kBinary = 0x2D,
  kChar = 0x2F,
  kDecimal = 0x37,
  kNumeric = 0x3F,
  kDateN = 0x28,
  kTimeN = 0x29,
  kDateTime2N = 0x2A,
  kDateTimeOffsetN = 0x2B,
  kVariant = 0x62,
  kUdt = 0xF0,
  kXml = 0xF1,
  kTable = 0xF3,
};

bool IsCodePageText(std::uint8_t t) { return t == kBigVarChar || t == kBigChar || t == kVarChar || t == kChar || t == kText; }
bool IsUnicodeText(std::uint8_t t) { return t == kNVarChar || t == kNChar || t == kNText || t == kXml; }
bool IsBinary(std::uint8_t t) {
  return t == kBigVarBinary || t == kBigBinary || t == kImage || t == kVarBinary || t == kBinary;
}

// Days from 0001-01-01 to 1899-12-30, where automation dates count from.
constexpr std::int64_t kDaysToOleEpoch = 693593;

std::uint64_t Unsigned(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = from + n; i-- > from;) v = v << 8 | b[i];
  return v;
}

std::int64_t SignedOf(const std::vector<std::uint8_t>& b) {
  const std::uint64_t v = Unsigned(b, 0, b.size());
  switch (b.size()) {
    case 1: return static_cast<std::int64_t>(static_cast<std::uint8_t>(v));
    case 2: return static_cast<std::int16_t>(v);
    case 4: return static_cast<std::int32_t>(v);
    default: return static_cast<std::int64_t>(v);
  }
}

// An automation date from days since 0001-01-01 and seconds into the day.
com::Variant OleDateFromParts(std::int64_t days, double seconds) {
  const double day = static_cast<double>(days - kDaysToOleEpoch);
  const double fraction = seconds / 86400.0;
  return com::Variant::Date(day >= 0 ? day + fraction : day - fraction);
}

// The bytes of a time of the given scale (TDS 7.3).
std::size_t TimeBytes(std::uint8_t scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

double SecondsOf(const std::vector<std::uint8_t>& b, std::size_t n, std::uint8_t scale) {
  double units = static_cast<double>(Unsigned(b, 0, n));
  for (std::uint8_t i = 0; i < scale; ++i) units /= 10;
  return units;
}

// A PLP value's bytes: a total length, then chunks ending in an empty one.
// nullopt for NULL.
std::optional<std::vector<std::uint8_t>> ReadPlp(PieceReader& r, std::size_t max_bytes) {
  const std::uint64_t total = r.U64();
  if (total == ~0ULL) return std::nullopt;
  std::vector<std::uint8_t> out;
  for (;;) {
    const std::uint32_t chunk = r.U32();
    if (chunk == 0) break;
    if (out.size() + chunk > max_bytes) throw ProtocolError("value of more than " + std::to_string(max_bytes) + " bytes");
    const auto piece = r.Take(chunk);
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

// The name of a type no parameter of this server takes, or nullptr.
const char* RefusedTypeName(std::uint8_t type) {
  switch (type) {
    case kUdt: return "CLR user-defined type";
    case kTable: return "table-valued parameter";
    default: return nullptr;
  }
}

// A sql_variant's value: its base type and properties, then the base
// type's value without a length prefix, `length` bytes in all. The value
// is read as a value of the base type would be, its length put before it.
com::Variant ReadVariant(PieceReader& r, std::uint32_t length, com::CodePage& cp936, std::size_t max_bytes) {
  if (length < 2) throw ProtocolError("sql_variant value shorter than its header");
  const std::uint8_t base = r.U8();
  const std::uint8_t property_bytes = r.U8();
  if (length < 2u + property_bytes) throw ProtocolError("sql_variant properties past its value");
  std::vector<std::uint8_t> info = {base};
  const auto properties = r.Take(property_bytes);
  info.insert(info.end(), properties.begin(), properties.end());
  const std::uint32_t data = length - 2 - property_bytes;
  if (data > max_bytes) throw ProtocolError("value of " + std::to_string(data) + " bytes");
  // The base type's TYPE_INFO as a parameter would send it: a fixed type's
  // code alone; a decimal's precision and scale, a date's scale and a
  // string's collation and length as its properties hold them, its length
  // made the value's for a type that names it.
  PieceReader props(std::move(info));
  SentType type;
  type.type = props.U8();
  int declared = 0;  // a string's or binary's declared length, in bytes
  std::vector<std::uint8_t> value;
  auto length_prefix = [&](std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) value.push_back(static_cast<std::uint8_t>(data >> (8 * i)));
  };
  switch (type.type) {
    case kInt1: case kBit: case kInt2: case kInt4: case kInt8: case kDateTime4: case kDateTime: case kFlt4:
    case kFlt8: case kMoney4: case kMoney:
      type.size = data;
      break;
    case kGuid: case kDateN:
      type.size = data;
      length_prefix(1);
      break;
    case kDecimalN: case kNumericN:
      type.precision = props.U8();
      type.scale = props.U8();
      type.size = data;
      length_prefix(1);
      break;
    case kTimeN: case kDateTime2N: case kDateTimeOffsetN:
      type.scale = props.U8();
      if (type.scale > 7) throw ProtocolError("time scale out of range");
      length_prefix(1);
      break;
    case kBigVarBinary: case kBigBinary:
      declared = props.U16();
      length_prefix(2);
      break;
    case kBigVarChar: case kBigChar: case kNVarChar: case kNChar:
      props.Take(5);  // collation
      declared = props.U16();
      length_prefix(2);
      break;
    default:
      throw ProtocolError("sql_variant of base type " + std::to_string(type.type));
  }
  if (!props.AtEnd()) throw ProtocolError("sql_variant properties longer than its base type takes");
  const auto bytes = r.Take(data);
  value.insert(value.end(), bytes.begin(), bytes.end());
  PieceReader v(std::move(value));
  com::Variant out = ReadValue(v, type, cp936, max_bytes, SentIn::kRpcParameter);
  // The value keeps the base type it was sent as, where a type of its own
  // would not say it (varchar, smallmoney, decimal(10,2), binary(4)).
  if (const std::optional<ColumnType> sent = VariantBaseOfWire(type.type, declared, type.precision, type.scale)) {
    out.set_source_type(VariantBaseCode(*sent));
  }
  return out;
}

}  // namespace

SentType ReadTypeInfo(PieceReader& r, SentIn where) {
  SentType c;
  c.type = r.U8();
  switch (c.type) {
    case kNull: break;
    case kInt1: case kBit: c.size = 1; break;
    case kInt2: c.size = 2; break;
    case kInt4: case kDateTime4: case kFlt4: case kMoney4: c.size = 4; break;
    case kMoney: case kDateTime: case kFlt8: case kInt8: c.size = 8; break;
    case kIntN: case kBitN: case kFltN: case kMoneyN: case kDateTimeN: case kGuid: c.size = r.U8(); break;
    case kDecimalN: case kNumericN: case kDecimal: case kNumeric:
      c.size = r.U8();
      c.precision = r.U8();
      c.scale = r.U8();
      if (c.size == 0 || c.size > 17 || c.scale > 38) throw ProtocolError("decimal type out of range");
      break;
    case kDateN: c.size = 3; break;
    case kTimeN: case kDateTime2N: case kDateTimeOffsetN:
      c.scale = r.U8();
      if (c.scale > 7) throw ProtocolError("time scale out of range");
      break;
    case kBigVarChar: case kBigChar: case kNVarChar: case kNChar:
      c.size = r.U16();
      c.plp = c.size == 0xFFFF;
      r.Take(5);  // collation
      break;
    case kBigVarBinary: case kBigBinary:
      c.size = r.U16();
      c.plp = c.size == 0xFFFF;
      break;
    case kVarChar: case kChar: case kVarBinary: case kBinary:
      c.size = r.U8();
      break;
    case kVariant:
      c.size = r.U32();
      break;
    case kXml:
      if (r.U8() != 0) {  // the schema collection it is typed by: database, owner, name
        r.Ucs2(r.U8());
        r.Ucs2(r.U8());
        r.Ucs2(r.U16());
      }
      c.plp = true;
      break;
    case kText: case kNText: case kImage:
      c.size = r.U32();
      if (c.type != kImage) r.Take(5);  // collation
      // Bulk-load metadata names the table of a text column with a 2-byte
      // count, whatever the protocol version (as bcp clients send it).
      if (where == SentIn::kBulkColumn) r.Ucs2(r.U16());
      break;
    default: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", c.type);
      const char* refused = RefusedTypeName(c.type);
      // A bulk load's rows follow without pause: only a broken connection
      // stops them.
      if (where == SentIn::kBulkColumn) throw ProtocolError(std::string("Data type ") + hex + " is not read in a bulk load");
      if (refused) {
        throw SqlErr(kNotSupported, std::string("Data type ") + hex + " (" + refused +
                                        ") is not supported by this server.");
      }
      throw SqlErr(kRpcUnknownType, std::string("Data type ") + hex + " is unknown.");
    }
  }
  return c;
}

namespace {

// The bytes of a value sent with a length before it (one, two or four
// bytes as its type has it; a bulk load's text, ntext and image after a
// text pointer and a timestamp); nullopt for NULL.
std::optional<std::vector<std::uint8_t>> ReadSizedBytes(PieceReader& r, const SentType& c, std::size_t max_bytes,
                                                        SentIn where) {
  std::size_t length = 0;
  switch (c.type) {
    case kNull:
      return std::nullopt;
    case kInt1: case kBit: case kInt2: case kInt4: case kDateTime4: case kFlt4: case kMoney4:
    case kMoney: case kDateTime: case kFlt8: case kInt8:
      length = c.size;
      break;
    case kIntN: case kBitN: case kFltN: case kMoneyN: case kDateTimeN: case kDecimalN: case kNumericN: case kGuid:
    case kDateN: case kTimeN: case kDateTime2N: case kDateTimeOffsetN: case kDecimal: case kNumeric:
    case kVarChar: case kChar: case kVarBinary: case kBinary:
      length = r.U8();
      if (length == 0) return std::nullopt;
      break;
    case kBigVarChar: case kBigChar: case kNVarChar: case kNChar: case kBigVarBinary: case kBigBinary:
      length = r.U16();
      if (length == 0xFFFF) return std::nullopt;
      break;
    case kText: case kNText: case kImage:
      if (where == SentIn::kBulkColumn) {
        const std::uint8_t pointer = r.U8();
        if (pointer == 0) return std::nullopt;
        r.Take(pointer);
        r.Take(8);  // timestamp
        length = r.U32();
      } else {
        length = r.U32();
        if (length == 0xFFFFFFFFu) return std::nullopt;
      }
      break;
    default:
      throw ProtocolError("value of type " + std::to_string(c.type));
  }
  if (length > max_bytes) throw ProtocolError("value of " + std::to_string(length) + " bytes");
  if (length > max_bytes) throw ProtocolError("value of " + std::to_string(length) + " bytes");
  return r.Take(length);
}

// A value of type `c` from its bytes: numbers, dates and GUIDs as they are
// sent, text in UTF-16 or the server's code page, binary as it is.
com::Variant DecodeSentValue(const SentType& c, const std::vector<std::uint8_t>& b, com::CodePage& cp936) {
  switch (c.type) {
    case kBit: case kBitN:
      return com::Variant::Bool(!b.empty() && b[0] != 0);
    case kInt1: case kInt2: case kInt4: case kInt8: case kIntN:
      if (b.size() != 1 && b.size() != 2 && b.size() != 4 && b.size() != 8) throw ProtocolError("bad integer length");
      return b.size() == 8 ? com::Variant::I8(SignedOf(b)) : com::Variant::I4(static_cast<std::int32_t>(SignedOf(b)));
    case kMoney4: case kMoney: case kMoneyN: {
      if (b.size() == 4) return com::Variant::Currency(SignedOf(b));
      if (b.size() != 8) throw ProtocolError("bad money length");
      const std::uint64_t hi = Unsigned(b, 0, 4), lo = Unsigned(b, 4, 4);
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
        const auto days = static_cast<std::uint16_t>(Unsigned(b, 0, 2));
        const auto minutes = static_cast<std::uint16_t>(Unsigned(b, 2, 2));
        return com::Variant::Date(OleDateOf(days, static_cast<std::uint32_t>(minutes) * 60 * 300));
      }
      if (b.size() != 8) throw ProtocolError("bad datetime length");
      const auto days = static_cast<std::int32_t>(Unsigned(b, 0, 4));
      const auto ticks = static_cast<std::uint32_t>(Unsigned(b, 4, 4));
      return com::Variant::Date(OleDateOf(days, ticks));
    }
    case kDateN:
      if (b.size() != 3) throw ProtocolError("bad date length");
      return OleDateFromParts(static_cast<std::int64_t>(Unsigned(b, 0, 3)), 0);
    case kTimeN: {
      const std::size_t n = TimeBytes(c.scale);
      if (b.size() != n) throw ProtocolError("bad time length");
      return OleDateFromParts(kDaysToOleEpoch, SecondsOf(b, n, c.scale));
    }
    case kDateTime2N: case kDateTimeOffsetN: {
      const std::size_t n = TimeBytes(c.scale);
      const std::size_t offset_bytes = c.type == kDateTimeOffsetN ? 2 : 0;
      if (b.size() != n + 3 + offset_bytes) throw ProtocolError("bad datetime2 length");
      double seconds = SecondsOf(b, n, c.scale);
      std::int64_t days = static_cast<std::int64_t>(Unsigned(b, n, 3));
      if (offset_bytes) {
        // Sent in UTC with the offset of the local time it was.
        seconds += 60.0 * static_cast<std::int16_t>(Unsigned(b, n + 3, 2));
        while (seconds < 0) seconds += 86400, --days;
        while (seconds >= 86400) seconds -= 86400, ++days;
      }
      return OleDateFromParts(days, seconds);
    }
    case kDecimalN: case kNumericN: case kDecimal: case kNumeric: {
      if (b.size() < 2 || b.size() > 17) throw ProtocolError("bad decimal length");
      com::Numeric n;
      if (com::NumericFromWire(b.data(), static_cast<int>(b.size()), c.scale, &n) != com::NumericStatus::kOk) {
        throw ProtocolError("decimal value of more than 38 digits");
      }
      return com::Variant::Decimal(com::FormatNumeric(n));
    }
    case kGuid:
      if (b.size() != 16) throw ProtocolError("bad GUID length");
      return com::Variant::Text(dts::GuidTextOfBytes(std::string_view(reinterpret_cast<const char*>(b.data()), b.size())));
    default:
      break;
  }
  if (IsUnicodeText(c.type)) {
    if (b.size() % 2) throw ProtocolError("Unicode value of an odd number of bytes");
    std::string out;
    com::Utf16LeToUtf8(b.data(), b.size(), &out);
    return com::Variant::Text(out);
  }
  if (IsCodePageText(c.type)) {
    std::string out;
    cp936.ToUtf8(b.data(), b.size(), &out);
    return com::Variant::Text(out);
  }
  if (IsBinary(c.type)) return com::Variant::Bytes(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
  throw ProtocolError("value of type " + std::to_string(c.type));
}

}  // namespace

com::Variant ReadValue(PieceReader& r, const SentType& c, com::CodePage& cp936, std::size_t max_bytes, SentIn where) {
  if (!c.plp && c.type == kVariant) {
    const std::uint32_t variant_length = r.U32();
    if (variant_length == 0) return com::Variant::Null();
    return ReadVariant(r, variant_length, cp936, max_bytes);
  }
  const auto bytes = c.plp ? ReadPlp(r, max_bytes) : ReadSizedBytes(r, c, max_bytes, where);
  if (!bytes) return com::Variant::Null();
  return DecodeSentValue(c, *bytes, cp936);
}

}  // namespace sqlsrv::tds
