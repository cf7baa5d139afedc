#include "platform/sqlserver/tds_endpoint/results.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "platform/com/numeric.h"
#include "platform/com/unicode.h"
#include "platform/dts/convert.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/tds_endpoint/login.h"
#include "platform/sqlserver/tds_endpoint/tokens.h"

namespace sqlsrv::tds {
namespace {

// The longest varchar/nvarchar value a non-text column carries, in bytes.
constexpr std::uint32_t kMaxShortBytes = 8000;
// The most columns a result may have, as SQL Server allows in a SELECT.
constexpr std::size_t kMaxResultColumns = 4096;
// A (max) value's PLP form: the length that marks a NULL, and the most
// bytes the server puts in one chunk.
constexpr std::uint64_t kPlpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr std::size_t kPlpChunkBytes = 8000;

bool IsBlob(std::uint8_t type) { return type == kText || type == kNText || type == kImage; }
bool IsShortBinary(std::uint8_t type) { return type == kBigVarBinary || type == kBigBinary; }
bool IsShortText(std::uint8_t type) {
  return type == kBigVarChar || type == kBigChar || type == kNVarChar || type == kNChar;
}

WireColumn FromColumnType(const std::string& name, const ColumnType& t) {
  WireColumn c{name, 0, 0, 0, true};
  switch (t.type) {
    case SqlType::kBit: c.type = kBitN, c.size = 1; break;
    case SqlType::kTinyInt: c.type = kIntN, c.size = 1; break;
    case SqlType::kSmallInt: c.type = kIntN, c.size = 2; break;
    case SqlType::kInt: c.type = kIntN, c.size = 4; break;
    case SqlType::kBigInt: c.type = kIntN, c.size = 8; break;
    case SqlType::kMoney: c.type = kMoneyN, c.size = 8; break;
    case SqlType::kSmallMoney: c.type = kMoneyN, c.size = 4; break;
    case SqlType::kReal: c.type = kFltN, c.size = 4; break;
    case SqlType::kFloat: c.type = kFltN, c.size = 8; break;
    case SqlType::kDecimal:
      c.type = kDecimalN;
      c.size = static_cast<std::uint32_t>(com::NumericWireSize(t.precision));
      c.precision = static_cast<std::uint8_t>(t.precision);
      c.scale = static_cast<std::uint8_t>(t.scale);
      break;
    case SqlType::kDateTime: c.type = kDateTimeN, c.size = 8; break;
    case SqlType::kSmallDateTime: c.type = kDateTimeN, c.size = 4; break;
    case SqlType::kChar:
    case SqlType::kVarChar:
      if (t.length < 0) {
        c.type = kBigVarChar, c.size = kPlpSize, c.plp = true;
      } else {
        c.type = t.type == SqlType::kChar ? kBigChar : kBigVarChar;
        c.size = static_cast<std::uint32_t>(t.length);
      }
      break;
    case SqlType::kNChar:
    case SqlType::kNVarChar:
      if (t.length < 0) {
        c.type = kNVarChar, c.size = kPlpSize, c.plp = true;
      } else {
        c.type = t.type == SqlType::kNChar ? kNChar : kNVarChar;
        c.size = static_cast<std::uint32_t>(t.length) * 2;
      }
      break;
    case SqlType::kText: c.type = kText, c.size = 0x7FFFFFFF; break;
    case SqlType::kNText: c.type = kNText, c.size = 0x7FFFFFFE; break;
    case SqlType::kBinary: c.type = kBigBinary, c.size = static_cast<std::uint32_t>(t.length); break;
    case SqlType::kVarBinary:
      if (t.length < 0) {
        c.type = kBigVarBinary, c.size = kPlpSize, c.plp = true;
      } else {
        c.type = kBigVarBinary, c.size = static_cast<std::uint32_t>(t.length);
      }
      break;
    case SqlType::kImage: c.type = kImage, c.size = 0x7FFFFFFF; break;
    case SqlType::kUniqueIdentifier: c.type = kGuid, c.size = 16; break;
    // timestamp: binary(8) with the user type SQL Server gives it.
    case SqlType::kTimestamp: c.type = kBigBinary, c.size = 8, c.user_type = kTimestampUserType; break;
    case SqlType::kSqlVariant: c.type = kSsVariant, c.size = kMaxVariantBytes; break;
  }
  return c;
}

// Why a column's TYPE_INFO cannot be sent as `c` says, or "" when it can:
// the lengths and precisions each type takes in TDS 7.1 to 7.4.
std::string UnsendableBecause(const WireColumn& c) {
  const auto one_of = [&](std::initializer_list<std::uint32_t> sizes) {
    return std::find(sizes.begin(), sizes.end(), c.size) != sizes.end();
  };
  const auto size = std::to_string(c.size);
  if (c.plp) {
    return c.size == kPlpSize && (c.type == kBigVarChar || c.type == kNVarChar || c.type == kBigVarBinary)
               ? ""
               : "a (max) type " + std::to_string(c.type) + " of length " + size;
  }
  switch (c.type) {
    case kIntN:
      return one_of({1, 2, 4, 8}) ? "" : "an integer of " + size + " bytes";
    case kBitN:
      return c.size == 1 ? "" : "a bit of " + size + " bytes";
    case kGuid:
      return c.size == 16 ? "" : "a uniqueidentifier of " + size + " bytes";
    case kFltN: case kMoneyN: case kDateTimeN:
      return one_of({4, 8}) ? "" : "a float, money or datetime of " + size + " bytes";
    case kDecimalN: case kNumericN:
      if (c.precision < 1 || c.precision > 38) return "a decimal of precision " + std::to_string(c.precision);
      if (c.scale > c.precision) {
        return "a decimal of scale " + std::to_string(c.scale) + " above its precision " + std::to_string(c.precision);
      }
      return c.size == static_cast<std::uint32_t>(com::NumericWireSize(c.precision))
                 ? ""
                 : "a decimal of precision " + std::to_string(c.precision) + " in " + size + " bytes";
    case kBigVarChar: case kBigChar: case kBigVarBinary: case kBigBinary:
      return c.size >= 1 && c.size <= kMaxShortBytes ? "" : "a character or binary type of length " + size;
    case kNVarChar: case kNChar:
      return c.size >= 2 && c.size <= kMaxShortBytes && c.size % 2 == 0 ? ""
                                                                         : "a Unicode type of " + size + " bytes";
    case kText: case kNText: case kImage:
      return "";
    case kSsVariant:
      return c.size == kMaxVariantBytes ? "" : "a sql_variant of " + size + " bytes";
    default:
      return "type " + std::to_string(c.type);
  }
}

// Raises, before any byte of it is written, when a column cannot be
// described to a client: such a description is the server's own fault, and
// a client that read it would lose its connection.
void CheckSendable(const WireColumn& c) {
  const std::string why = UnsendableBecause(c);
  if (why.empty()) return;
  throw SqlErr(kNotSupported, "The server cannot describe column '" + c.name + "' as " + why +
                                  ", which no client can read; the result was not sent.");
}

// A value sent in a binary column: its bytes, or those of the text it is.
std::string BytesOf(const com::Variant& v) {
  return v.type() == com::VarType::kBytes || v.IsText() ? v.text() : v.ToText();
}

}  // namespace

std::vector<WireColumn> WireColumnsOf(const std::vector<OutputColumn>& columns) {
  std::vector<WireColumn> out;
  for (const OutputColumn& oc : columns) {
    if (oc.column) {
      WireColumn c = FromColumnType(oc.name, *oc.column);
      c.nullable = oc.nullable;
      c.identity = oc.identity;
      out.push_back(std::move(c));
      continue;
    }
    WireColumn c{oc.name, kIntN, 4, 0, oc.nullable, oc.identity};
    switch (oc.type) {
      case VT::kBit: case VT::kBool: c.type = kBitN, c.size = 1; break;
      case VT::kMoney: c.type = kMoneyN, c.size = 8; break;
      case VT::kFloat: c.type = kFltN, c.size = 8; break;
      case VT::kDecimal:  // every decimal the translator types has its column type; this is a fallback
        c.type = kDecimalN, c.size = 17, c.precision = 38, c.scale = 10;
        break;
      case VT::kString: c.type = kNVarChar, c.size = kMaxShortBytes; break;
      case VT::kDate: c.type = kDateTimeN, c.size = 8; break;
      case VT::kBinary: c.type = kBigVarBinary, c.size = kMaxShortBytes; break;
      case VT::kGuid: c.type = kGuid, c.size = 16; break;
      default: break;  // int, and a column of nulls
    }
    out.push_back(c);
  }
  return out;
}

std::uint16_t ColumnFlags(const WireColumn& c) {
  constexpr std::uint16_t kNullable = 0x0001, kUpdateableUnknown = 0x0008, kIdentity = 0x0010, kHidden = 0x2000,
                          kKey = 0x4000;
  const std::uint16_t nullable = c.nullable ? kNullable : 0;
  return static_cast<std::uint16_t>(nullable | (c.identity ? kIdentity : kUpdateableUnknown) |
                                    (c.hidden ? kHidden : 0) | (c.key ? kKey : 0));
}

namespace {

// A column as a client of `tds_version` can read it.
WireColumn AsSentAt(WireColumn c, std::uint32_t tds_version) {
  if (tds_version < kTds72) c.hidden = c.key = false;  // flags 7.1 does not have
  if (!c.plp || tds_version >= kTds72) return c;
  c.plp = false;
  switch (c.type) {
    case kNVarChar: c.type = kNText, c.size = 0x7FFFFFFE; break;
    case kBigVarBinary: c.type = kImage, c.size = 0x7FFFFFFF; break;
    default: c.type = kText, c.size = 0x7FFFFFFF; break;
  }
  return c;
}

}  // namespace

ResultWriter::ResultWriter(std::vector<WireColumn> columns, std::uint32_t tds_version)
    : columns_(std::move(columns)), tds_version_(tds_version), code_page_(std::make_unique<com::CodePage>("CP936")) {
  for (WireColumn& c : columns_) c = AsSentAt(std::move(c), tds_version_);
}

ResultWriter::~ResultWriter() = default;

void ResultWriter::WriteColMetadata(Writer& w) const {
  if (columns_.empty() || columns_.size() > kMaxResultColumns) {
    throw SqlErr(kNotSupported, "The server cannot describe a result of " + std::to_string(columns_.size()) +
                                    " columns; the result was not sent.");
  }
  for (const WireColumn& c : columns_) CheckSendable(c);
  w.U8(kColMetadata);
  w.U16(static_cast<std::uint16_t>(columns_.size()));
  for (const WireColumn& c : columns_) WriteColumnDescription(w, c);
}

void ResultWriter::WriteColumnDescription(Writer& w, const WireColumn& c) const {
  if (tds_version_ >= kTds72) {
    w.U32(c.user_type);
  } else {
    w.U16(c.user_type);
  }
  w.U16(ColumnFlags(c));
  WriteTypeInfo(w, c);
  w.BVarChar(c.name);
}

void ResultWriter::WriteAltMetadata(Writer& w, std::uint16_t id, const std::vector<std::uint16_t>& by,
                                    const std::vector<Aggregate>& aggregates) const {
  if (columns_.empty() || columns_.size() != aggregates.size() || by.size() > 0xFF) {
    throw SqlErr(kNotSupported, "The server cannot describe a COMPUTE clause of " + std::to_string(columns_.size()) +
                                    " aggregates and " + std::to_string(by.size()) + " BY columns; it was not sent.");
  }
  for (const WireColumn& c : columns_) CheckSendable(c);
  w.U8(kAltMetadata);
  w.U16(static_cast<std::uint16_t>(columns_.size()));
  w.U16(id);
  w.U8(static_cast<std::uint8_t>(by.size()));
  for (const std::uint16_t column : by) w.U16(column);
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const WireColumn& c = columns_[i];
    w.U8(aggregates[i].op);
    w.U16(aggregates[i].operand);
    WriteColumnDescription(w, c);
  }
}

void ResultWriter::WriteAltRow(Writer& w, std::uint16_t id, const dts::Row& row) {
  w.U8(kAltRow);
  w.U16(id);
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    WriteValue(w, columns_[i], i < row.size() ? row[i] : com::Variant::Null());
  }
}

void ResultWriter::WriteTypeInfo(Writer& w, const WireColumn& c) const {
  w.U8(c.type);
  if (c.type == kSsVariant) {
    w.U32(c.size);
  } else if (IsBlob(c.type)) {
    w.U32(c.size);
    if (c.type != kImage) w.Bytes(std::span<const std::uint8_t>(kCollation));
    if (tds_version_ >= kTds72) {
      w.U8(0);  // no table name parts
    } else {
      w.U16(0);
    }
  } else if (IsShortText(c.type)) {
    w.U16(static_cast<std::uint16_t>(c.size));
    w.Bytes(std::span<const std::uint8_t>(kCollation));
  } else if (IsShortBinary(c.type)) {
    w.U16(static_cast<std::uint16_t>(c.size));
  } else if (c.type == kDecimalN || c.type == kNumericN) {
    w.U8(static_cast<std::uint8_t>(c.size));
    w.U8(c.precision);
    w.U8(c.scale);
  } else {
    w.U8(static_cast<std::uint8_t>(c.size));
  }
}

void WriteReturnValue(Writer& w, std::uint16_t ordinal, std::string_view name, const ColumnType& type,
                      const com::Variant& value, std::uint32_t tds_version) {
  // A parameter's value travels as a column's would; text, ntext and
  // image, which no output parameter has on SQL Server, as their (max)
  // types from TDS 7.2 on and as the longest varchar, nvarchar and
  // varbinary before, which has no other form for a parameter.
  ColumnType sent = type;
  if (sent.type == SqlType::kText) sent = {SqlType::kVarChar, -1};
  if (sent.type == SqlType::kNText) sent = {SqlType::kNVarChar, -1};
  if (sent.type == SqlType::kImage) sent = {SqlType::kVarBinary, -1};
  if (sent.length < 0 && tds_version < kTds72) sent.length = IsUnicodeType(sent.type) ? 4000 : 8000;
  OutputColumn column{std::string(name), VT::kNull, sent, true, false};
  ResultWriter writer(WireColumnsOf({column}), tds_version);
  const WireColumn& c = writer.columns_.front();
  CheckSendable(c);
  w.U8(kReturnValue);
  w.U16(ordinal);
  w.BVarChar(name);
  w.U8(0x01);  // an output parameter's value
  if (tds_version >= kTds72) {
    w.U32(0);
  } else {
    w.U16(0);
  }
  w.U16(ColumnFlags(c));
  writer.WriteTypeInfo(w, c);
  writer.WriteValue(w, c, value);
}

void ResultWriter::WriteRow(Writer& w, const dts::Row& row) {
  bool any_null = false;
  for (const auto& v : row) any_null = any_null || v.IsNull() || v.IsEmpty();
  if (any_null && tds_version_ >= kTds73) {
    w.U8(kNbcRow);
    std::vector<std::uint8_t> bitmap((columns_.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (i < row.size() && (row[i].IsNull() || row[i].IsEmpty())) {
        bitmap[i / 8] = static_cast<std::uint8_t>(bitmap[i / 8] | 1u << (i % 8));
      }
    }
    w.Bytes(bitmap);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (!(bitmap[i / 8] & 1u << (i % 8))) WriteValue(w, columns_[i], i < row.size() ? row[i] : com::Variant::Null());
    }
    return;
  }
  w.U8(kRow);
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    WriteValue(w, columns_[i], i < row.size() ? row[i] : com::Variant::Null());
  }
}

namespace {

// The values of the fixed-length types a nullable column of them carries
// (MONEYN, FLTN, DECIMALN and NUMERICN, DATETIMN): the length byte, then
// the value in the column's size; a NULL is written by the caller.
void WriteMoney(Writer& w, const WireColumn& c, const com::Variant& v) {
  const std::int64_t units =
      v.type() == com::VarType::kCurrency ? v.integer() : std::llround(v.ToDouble() * 10000.0);
  w.U8(static_cast<std::uint8_t>(c.size));
  if (c.size == 4) return w.U32(static_cast<std::uint32_t>(units));
  w.U32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(units) >> 32));
  return w.U32(static_cast<std::uint32_t>(units));
}

void WriteFloat(Writer& w, const WireColumn& c, const com::Variant& v) {
  w.U8(static_cast<std::uint8_t>(c.size));
  if (c.size == 4) {
    const float f = static_cast<float>(v.ToDouble());
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return w.U32(bits);
  }
  const double d = v.ToDouble();
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return w.U64(bits);
}

// Raises NumericOverflowError for a value past the column's precision.
void WriteDecimal(Writer& w, const WireColumn& c, const com::Variant& v) {
  // The value at the column's scale; the engine has held it to the
  // column's precision.
  com::Numeric n;
  com::NumericStatus status = com::NumericStatus::kOk;
  switch (v.type()) {
    case com::VarType::kDecimal: case com::VarType::kText:
      status = com::ParseNumeric(v.text(), c.precision, c.scale, &n);
      break;
    case com::VarType::kCurrency:
      status = com::RescaleNumeric(com::NumericFromUnits(v.integer()), c.precision, c.scale, &n);
      break;
    case com::VarType::kR4: case com::VarType::kR8:
      status = com::NumericFromDouble(v.real(), c.precision, c.scale, &n);
      break;
    default:
      status = com::RescaleNumeric(com::NumericFromInteger(v.ToInt64()), c.precision, c.scale, &n);
      break;
  }
  if (status != com::NumericStatus::kOk) throw NumericOverflowError();
  unsigned char bytes[17];
  com::NumericToWire(n, static_cast<int>(c.size), bytes);
  w.U8(static_cast<std::uint8_t>(c.size));
  return w.Bytes(std::span<const std::uint8_t>(bytes, c.size));
}

void WriteDateTime(Writer& w, const WireColumn& c, const com::Variant& v) {
  std::int32_t days = 0;
  std::uint32_t ticks = 0;
  DateTimeParts(v.type() == com::VarType::kDate ? v.real() : v.ToDouble(), &days, &ticks);
  w.U8(static_cast<std::uint8_t>(c.size));
  if (c.size == 4) {
    w.U16(static_cast<std::uint16_t>(days));
    return w.U16(static_cast<std::uint16_t>(ticks / (300 * 60)));
  }
  w.U32(static_cast<std::uint32_t>(days));
  return w.U32(ticks);
}

}  // namespace

void ResultWriter::WriteValue(Writer& w, const WireColumn& c, const com::Variant& v) {
  const bool null = v.IsNull() || v.IsEmpty();
  if (c.plp) return WritePlpValue(w, c, v, null);
  switch (c.type) {
    case kIntN:
      if (null) return w.U8(0);
      w.U8(static_cast<std::uint8_t>(c.size));
      switch (c.size) {
        case 1: w.U8(static_cast<std::uint8_t>(v.ToInt64())); break;
        case 2: w.U16(static_cast<std::uint16_t>(v.ToInt64())); break;
        case 4: w.U32(static_cast<std::uint32_t>(v.ToInt64())); break;
        default: w.U64(static_cast<std::uint64_t>(v.ToInt64())); break;
      }
      return;
    case kBitN:
      if (null) return w.U8(0);
      w.U8(1);
      return w.U8(v.ToBool() ? 1 : 0);
    case kGuid: {
      if (null) return w.U8(0);
      const auto guid = dts::GuidText(v.ToText());
      if (!guid) throw GuidConversionError();
      w.U8(16);
      return w.Bytes(dts::GuidBytes(*guid));
    }
    case kMoneyN:
      if (null) return w.U8(0);
      return WriteMoney(w, c, v);
    case kFltN:
      if (null) return w.U8(0);
      return WriteFloat(w, c, v);
    case kDecimalN:
    case kNumericN:
      if (null) return w.U8(0);
      return WriteDecimal(w, c, v);
    case kDateTimeN:
      if (null) return w.U8(0);
      return WriteDateTime(w, c, v);
    case kBigVarChar:
    case kBigChar: {
      if (null) return w.U16(0xFFFF);
      std::string bytes;
      code_page_->FromUtf8Lossy(v.ToText(), &bytes);
      if (bytes.size() > kMaxShortBytes) bytes.resize(kMaxShortBytes);
      w.U16(static_cast<std::uint16_t>(bytes.size()));
      return w.Bytes(bytes);
    }
    case kNVarChar:
    case kNChar: {
      if (null) return w.U16(0xFFFF);
      std::u16string units = ToUtf16(v.ToText());
      if (units.size() > kMaxShortBytes / 2) units.resize(kMaxShortBytes / 2);
      w.U16(static_cast<std::uint16_t>(units.size() * 2));
      for (char16_t u : units) w.U16(static_cast<std::uint16_t>(u));
      return;
    }
    case kBigVarBinary:
    case kBigBinary: {
      if (null) return w.U16(0xFFFF);
      const std::string bytes = BytesOf(v);
      if (bytes.size() > c.size) throw TruncationError();
      w.U16(static_cast<std::uint16_t>(bytes.size()));
      return w.Bytes(bytes);
    }
    case kImage: {
      if (null) return w.U8(0);
      w.U8(16);
      for (int i = 0; i < 16; ++i) w.U8(0xFF);  // text pointer
      for (int i = 0; i < 8; ++i) w.U8(0xFF);   // timestamp
      const std::string bytes = BytesOf(v);
      w.U32(static_cast<std::uint32_t>(bytes.size()));
      return w.Bytes(bytes);
    }
    case kText:
    case kNText: {
      if (null) return w.U8(0);
      w.U8(16);
      for (int i = 0; i < 16; ++i) w.U8(0xFF);  // text pointer
      for (int i = 0; i < 8; ++i) w.U8(0xFF);   // timestamp
      if (c.type == kText) {
        std::string bytes;
        code_page_->FromUtf8Lossy(v.ToText(), &bytes);
        w.U32(static_cast<std::uint32_t>(bytes.size()));
        return w.Bytes(bytes);
      }
      const std::u16string units = ToUtf16(v.ToText());
      w.U32(static_cast<std::uint32_t>(units.size() * 2));
      for (char16_t u : units) w.U16(static_cast<std::uint16_t>(u));
      return;
    }
    case kSsVariant: {
      if (null) return w.U32(0);
      Writer body;
      WriteVariantBody(body, v);
      w.U32(static_cast<std::uint32_t>(body.size()));
      return w.Bytes(std::span<const std::uint8_t>(body.data()));
    }
    default:
      throw ProtocolError("no wire form for column type " + std::to_string(c.type));
  }
}

void ResultWriter::WriteVariantBody(Writer& w, const com::Variant& v) {
  // The base type (the one a value read from a sql_variant carries, else
  // its own type's) and its properties as SQL Server describes them, then
  // the value as a column of that type carries it, without its length.
  const ColumnType base = VariantBaseOfValue(v);
  const VariantWire wire = VariantWireOf(base);
  const WireColumn column = FromColumnType("", base);
  Writer value;
  WriteValue(value, column, v);
  const std::size_t length_bytes = IsShortText(column.type) || IsShortBinary(column.type) ? 2 : 1;
  w.U8(wire.tds_type);
  w.U8(static_cast<std::uint8_t>(wire.property_bytes));
  if (base.type == SqlType::kDecimal) {
    w.U8(static_cast<std::uint8_t>(wire.precision));
    w.U8(static_cast<std::uint8_t>(wire.scale));
  } else if (IsBinaryType(base.type)) {
    w.U16(static_cast<std::uint16_t>(wire.max_length));
  } else if (IsCharType(base.type)) {
    w.Bytes(std::span<const std::uint8_t>(kCollation));
    w.U16(static_cast<std::uint16_t>(wire.max_length));
  }
  w.Bytes(std::span<const std::uint8_t>(value.data()).subspan(length_bytes));
}

void ResultWriter::WritePlpValue(Writer& w, const WireColumn& c, const com::Variant& v, bool null) {
  if (null) return w.U64(kPlpNull);
  std::string bytes;
  if (c.type == kBigVarBinary) {
    bytes = BytesOf(v);
  } else if (c.type == kBigVarChar) {
    code_page_->FromUtf8Lossy(v.ToText(), &bytes);
  } else {
    for (char16_t u : ToUtf16(v.ToText())) {
      bytes.push_back(static_cast<char>(u & 0xFF));
      bytes.push_back(static_cast<char>(u >> 8));
    }
  }
  // The total length is known, so it goes first; then the chunks and the
  // terminator (a chunk of length 0), which an empty value has alone.
  w.U64(bytes.size());
  for (std::size_t at = 0; at < bytes.size(); at += kPlpChunkBytes) {
    const std::string_view chunk = std::string_view(bytes).substr(at, kPlpChunkBytes);
    w.U32(static_cast<std::uint32_t>(chunk.size()));
    w.Bytes(chunk);
  }
  w.U32(0);
}

}  // namespace sqlsrv::tds
