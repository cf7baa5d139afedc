#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/types.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

#include "platform/com/datetime.h"
#include "platform/com/numeric.h"
#include "platform/com/unicode.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/convert.h"
#include "platform/dts/oledb.h"
#include "platform/port/per_thread.h"
#include "platform/port/system.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {
namespace {

std::string CanonicalText(const com::CivilTime& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
  return buf;
}

}  // namespace

ColumnType ResolveValueType(const ast::TypeName& t) {
  for (const char* later : {"date", "time", "datetime2", "datetimeoffset"}) {
    if (t.name == later) return ColumnType{SqlType::kDateTime, 0};
  }
  return ResolveType(t);
}

ColumnType ResolveType(const ast::TypeName& t) {
  static const std::pair<const char*, SqlType> kNames[] = {
      {"bit", SqlType::kBit},         {"tinyint", SqlType::kTinyInt},     {"smallint", SqlType::kSmallInt},
      {"int", SqlType::kInt},         {"integer", SqlType::kInt},         {"bigint", SqlType::kBigInt},
      {"money", SqlType::kMoney},     {"smallmoney", SqlType::kSmallMoney}, {"float", SqlType::kFloat},
      {"real", SqlType::kReal},       {"decimal", SqlType::kDecimal},     {"numeric", SqlType::kDecimal},
      {"dec", SqlType::kDecimal},     {"datetime", SqlType::kDateTime},   {"smalldatetime", SqlType::kSmallDateTime},
      {"char", SqlType::kChar},       {"character", SqlType::kChar},      {"varchar", SqlType::kVarChar},
      {"nchar", SqlType::kNChar},     {"nvarchar", SqlType::kNVarChar},   {"text", SqlType::kText},
      {"ntext", SqlType::kNText},     {"sysname", SqlType::kNVarChar},    {"binary", SqlType::kBinary},
      {"varbinary", SqlType::kVarBinary}, {"image", SqlType::kImage},
      {"uniqueidentifier", SqlType::kUniqueIdentifier}, {"timestamp", SqlType::kTimestamp},
      {"rowversion", SqlType::kTimestamp}, {"sql_variant", SqlType::kSqlVariant}};
  ColumnType out;
  bool found = false;
  for (const auto& [name, type] : kNames) {
    if (t.name == name) {
      out.type = type;
      found = true;
    }
  }
  if (!found) throw SqlErr(2715, "Column, parameter, or variable: Cannot find data type " + t.name + ".");
  if (t.name == "sysname") {
    out.length = 128;
    return out;
  }
  if (out.type == SqlType::kTimestamp) {
    out.length = 8;
    return out;
  }
  if (out.type == SqlType::kDecimal) {
    // The parser has held the precision to 1..38 and the scale to 0..p.
    out.precision = t.length > 0 ? t.length : 18;
    out.scale = t.scale >= 0 ? t.scale : 0;
    out.numeric = t.name == "numeric";
    return out;
  }
  if (out.type == SqlType::kFloat && t.length > 0 && t.length <= 24) out.type = SqlType::kReal;
  const bool sized = (IsCharType(out.type) && out.type != SqlType::kText && out.type != SqlType::kNText) ||
                     out.type == SqlType::kBinary || out.type == SqlType::kVarBinary;
  if (sized) {
    const int max = IsUnicodeType(out.type) ? 4000 : 8000;
    if (t.length == -2 && out.type == SqlType::kBinary) {
      throw SqlErr(kSyntax, "Incorrect syntax near 'max'.");
    }
    if (t.length == -2) {
      out.length = -1;
    } else if (t.length == -1) {
      out.length = 1;
    } else if (t.length < 1 || t.length > max) {
      throw SqlErr(131, "The size (" + std::to_string(t.length) + ") given to the type '" + t.name +
                            "' exceeds the maximum allowed for any data type (" + std::to_string(max) + ").");
    } else {
      out.length = t.length;
    }
  } else if (out.type == SqlType::kText || out.type == SqlType::kNText || out.type == SqlType::kImage) {
    out.length = -1;
  }
  return out;
}

std::string TypeDisplayName(const ColumnType& t) {
  std::string name = TypeBaseName(t);
  if ((IsCharType(t.type) && t.type != SqlType::kText && t.type != SqlType::kNText) || t.type == SqlType::kBinary ||
      t.type == SqlType::kVarBinary) {
    name += t.length < 0 ? "(max)" : "(" + std::to_string(t.length) + ")";
  }
  if (t.type == SqlType::kDecimal) name += "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
  return name;
}

std::string TypeBaseName(const ColumnType& t) {
  static const char* const kNames[] = {"bit",   "tinyint",  "smallint", "int",      "bigint", "money",
                                       "smallmoney", "float", "real",  "decimal",  "datetime", "smalldatetime",
                                       "char",  "varchar",  "nchar",    "nvarchar", "text",   "ntext",
                                       "binary", "varbinary", "image", "uniqueidentifier", "timestamp",
                                       "sql_variant"};
  if (t.type == SqlType::kDecimal && t.numeric) return "numeric";
  return kNames[static_cast<int>(t.type)];
}

bool IsIntegerType(SqlType t) {
  return t == SqlType::kBit || t == SqlType::kTinyInt || t == SqlType::kSmallInt || t == SqlType::kInt ||
         t == SqlType::kBigInt;
}
bool IsMoneyType(SqlType t) { return t == SqlType::kMoney || t == SqlType::kSmallMoney; }
bool IsFloatType(SqlType t) { return t == SqlType::kFloat || t == SqlType::kReal; }
bool IsDateType(SqlType t) { return t == SqlType::kDateTime || t == SqlType::kSmallDateTime; }
bool IsCharType(SqlType t) {
  return t == SqlType::kChar || t == SqlType::kVarChar || t == SqlType::kNChar || t == SqlType::kNVarChar ||
         t == SqlType::kText || t == SqlType::kNText;
}
bool IsUnicodeType(SqlType t) { return t == SqlType::kNChar || t == SqlType::kNVarChar || t == SqlType::kNText; }
bool IsBinaryType(SqlType t) {
  return t == SqlType::kBinary || t == SqlType::kVarBinary || t == SqlType::kImage || t == SqlType::kTimestamp;
}

std::string SqliteDeclaration(const ColumnType& t) {
  if (IsIntegerType(t.type) || IsMoneyType(t.type)) return "INTEGER";
  if (IsFloatType(t.type)) return "REAL";
  if (t.type == SqlType::kDecimal) return "TEXT COLLATE VKDEC";
  if (IsDateType(t.type)) return "TEXT";
  if (IsBinaryType(t.type)) return "BLOB";
  if (t.type == SqlType::kUniqueIdentifier) return "TEXT COLLATE VKGUID";
  if (t.type == SqlType::kSqlVariant) return "TEXT COLLATE VKVAR";
  return "TEXT COLLATE VKCI";
}

std::uint16_t OleDbType(const ColumnType& t) {
  switch (t.type) {
    case SqlType::kBit: return dts::DBTYPE_BOOL;
    case SqlType::kTinyInt: return dts::DBTYPE_UI1;
    case SqlType::kSmallInt: return dts::DBTYPE_I2;
    case SqlType::kInt: return dts::DBTYPE_I4;
    case SqlType::kBigInt: return dts::DBTYPE_I8;
    case SqlType::kMoney: case SqlType::kSmallMoney: return dts::DBTYPE_CY;
    case SqlType::kFloat: return dts::DBTYPE_R8;
    case SqlType::kReal: return dts::DBTYPE_R4;
    case SqlType::kDecimal: return dts::DBTYPE_NUMERIC;
    case SqlType::kDateTime: case SqlType::kSmallDateTime: return dts::DBTYPE_DBTIMESTAMP;
    case SqlType::kChar: case SqlType::kVarChar: case SqlType::kText: return dts::DBTYPE_STR;
    case SqlType::kNChar: case SqlType::kNVarChar: case SqlType::kNText: return dts::DBTYPE_WSTR;
    case SqlType::kBinary: case SqlType::kVarBinary: case SqlType::kImage: case SqlType::kTimestamp:
      return dts::DBTYPE_BYTES;
    case SqlType::kUniqueIdentifier: return dts::DBTYPE_GUID;
    case SqlType::kSqlVariant: return dts::DBTYPE_VARIANT;
  }
  return dts::DBTYPE_WSTR;
}

dts::ColumnInfo ValueInfo(const ColumnType& t) {
  dts::ColumnInfo info;
  info.type = OleDbType(t);
  switch (t.type) {
    case SqlType::kMoney: info.precision = 19; info.scale = 4; break;
    case SqlType::kSmallMoney: info.precision = 10; info.scale = 4; break;
    case SqlType::kDateTime: info.precision = 23; info.scale = 3; break;
    case SqlType::kSmallDateTime: info.precision = 16; break;
    case SqlType::kDecimal:
      info.precision = static_cast<std::uint8_t>(t.precision);
      info.scale = static_cast<std::uint8_t>(t.scale);
      break;
    default: break;
  }
  if (IsCharType(t.type) || IsBinaryType(t.type)) {
    info.size = t.length < 0 ? 0 : static_cast<std::uint32_t>(t.length);
    info.is_long = t.length < 0;
    info.is_fixed_length = t.type == SqlType::kBinary || t.type == SqlType::kChar || t.type == SqlType::kNChar ||
                           t.type == SqlType::kTimestamp;
    info.is_unicode = IsUnicodeType(t.type);
    if (!info.is_unicode) info.code_page = kServerCodePageNumber;
  }
  return info;
}

ColumnType DecimalColumnType(DecimalType t) {
  ColumnType c{SqlType::kDecimal, 0};
  c.precision = t.precision;
  c.scale = t.scale;
  return c;
}

std::optional<DecimalType> DecimalTypeOf(const ColumnType& t) {
  switch (t.type) {
    case SqlType::kDecimal: return DecimalType{t.precision > 0 ? t.precision : 18, t.scale};
    case SqlType::kBit: return DecimalType{1, 0};
    case SqlType::kTinyInt: return DecimalType{3, 0};
    case SqlType::kSmallInt: return DecimalType{5, 0};
    case SqlType::kInt: return DecimalType{10, 0};
    case SqlType::kBigInt: return DecimalType{19, 0};
    case SqlType::kSmallMoney: return DecimalType{10, 4};
    case SqlType::kMoney: return DecimalType{19, 4};
    default: return std::nullopt;
  }
}

DecimalType DecimalTypeOfConstant(std::string_view text) {
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  const auto point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const auto first = whole.find_first_not_of('0');
  const int integer_digits = first == std::string_view::npos ? 0 : static_cast<int>(whole.size() - first);
  const int scale = point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
  return {std::max(1, integer_digits + scale), scale};
}

namespace {

// How an operator's result gives up digits past 38: as a sum, keeping
// every digit of the integer part; or as a product or quotient, keeping at
// least 6 digits of scale once the integer part needs 32 or more.
enum class Reduction { kSum, kProduct };

struct DecimalRule {
  char op;
  int (*precision)(const DecimalType& a, const DecimalType& b);
  int (*scale)(const DecimalType& a, const DecimalType& b);
  Reduction reduction;
};

int IntegerDigits(const DecimalType& t) { return t.precision - t.scale; }
int MaxScale(const DecimalType& a, const DecimalType& b) { return std::max(a.scale, b.scale); }
int SumPrecision(const DecimalType& a, const DecimalType& b) {
  return MaxScale(a, b) + std::max(IntegerDigits(a), IntegerDigits(b)) + 1;
}
int QuotientScale(const DecimalType& a, const DecimalType& b) { return std::max(6, a.scale + b.precision + 1); }

// SQL Server's table of decimal results.
constexpr DecimalRule kDecimalRules[] = {
    {'+', SumPrecision, MaxScale, Reduction::kSum},
    {'-', SumPrecision, MaxScale, Reduction::kSum},
    {'*', [](const DecimalType& a, const DecimalType& b) { return a.precision + b.precision + 1; },
     [](const DecimalType& a, const DecimalType& b) { return a.scale + b.scale; }, Reduction::kProduct},
    {'/', [](const DecimalType& a, const DecimalType& b) { return IntegerDigits(a) + b.scale + QuotientScale(a, b); },
     QuotientScale, Reduction::kProduct},
    {'%',
     [](const DecimalType& a, const DecimalType& b) {
       return std::min(IntegerDigits(a), IntegerDigits(b)) + MaxScale(a, b);
     },
     MaxScale, Reduction::kSum},
};

// A result type held to 38 digits.
DecimalType Reduced(int precision, int scale, int integer_digits, Reduction reduction) {
  constexpr int kMax = com::kMaxNumericDigits;
  if (precision > kMax) {
    if (reduction == Reduction::kSum) {
      scale = std::max(0, std::min(scale, kMax - integer_digits));
    } else {
      scale = integer_digits < 32 ? std::min(scale, kMax - integer_digits) : std::min(scale, 6);
    }
    precision = kMax;
  }
  precision = std::max(precision, 1);
  return {precision, std::min(scale, precision)};
}

}  // namespace

DecimalType DecimalResultType(char op, DecimalType a, DecimalType b) {
  for (const DecimalRule& rule : kDecimalRules) {
    if (rule.op != op) continue;
    const int precision = rule.precision(a, b), scale = rule.scale(a, b);
    const int integer_digits =
        rule.reduction == Reduction::kSum ? std::max(IntegerDigits(a), IntegerDigits(b)) : precision - scale;
    return Reduced(precision, scale, integer_digits, rule.reduction);
  }
  return a;
}

DecimalType DecimalCommonType(DecimalType a, DecimalType b) {
  const int integer_digits = std::max(IntegerDigits(a), IntegerDigits(b));
  const int scale = MaxScale(a, b);
  return Reduced(integer_digits + scale, scale, integer_digits, Reduction::kSum);
}

DecimalType DecimalSumType(DecimalType t) { return {com::kMaxNumericDigits, t.scale}; }
DecimalType DecimalAvgType(DecimalType t) { return {com::kMaxNumericDigits, std::max(t.scale, 6)}; }

std::optional<std::string> DateTimeText(double ole_date) {
  if (!std::isfinite(ole_date) || ole_date < -100000 || ole_date > 3'000'000) return std::nullopt;
  auto t = dts::SqlDateTime(com::CivilFromOleDate(ole_date));
  if (!t) return std::nullopt;
  return CanonicalText(*t);
}

std::optional<std::string> ParseDateTimeText(std::string_view raw) {
  auto civil = dts::ParseSqlDateText(raw);
  if (!civil) return std::nullopt;
  auto t = dts::SqlDateTime(*civil);
  if (!t) return std::nullopt;
  return CanonicalText(*t);
}

double OleDateFromText(std::string_view canonical) {
  auto civil = com::ParseCivil(canonical);
  return civil ? com::OleDateFromCivil(*civil) : 0.0;
}

namespace {

// The current time, local or in UTC, as stored text.
std::string CurrentText(bool utc) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  if (utc) {
    port::UtcTime(secs, &tm);
  } else {
    port::LocalTime(secs, &tm);
  }
  com::CivilTime t{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
  auto rounded = dts::SqlDateTime(t);
  return CanonicalText(rounded.value_or(t));
}

}  // namespace

std::string NowText() { return CurrentText(false); }
std::string UtcNowText() { return CurrentText(true); }

namespace {

// A value converted to a column's own type (dts::ConvertValue), as SQLite
// stores it.
void StoreTyped(const com::Variant& typed, Stored* out) {
  switch (typed.type()) {
    case com::VarType::kNull:
      out->kind = Stored::kNull;
      return;
    case com::VarType::kR4: case com::VarType::kR8:
      out->kind = Stored::kReal;
      out->r = typed.real();
      return;
    case com::VarType::kDate:
      out->kind = Stored::kText;
      out->s = CanonicalText(com::CivilFromOleDate(typed.real()));
      return;
    case com::VarType::kText: case com::VarType::kDecimal:
      out->kind = Stored::kText;
      out->s = typed.text();
      return;
    case com::VarType::kBytes:
      out->kind = Stored::kBlob;
      out->s = typed.text();
      return;
    default:  // the integers, bit and money
      out->kind = Stored::kInteger;
      out->i = typed.integer();
      return;
  }
}

}  // namespace

namespace {

// A typed value kept in a sql_variant: of its own base type.
void ToStoredVariant(const com::Variant& v, Stored* out) {
  if (v.IsNull() || v.IsEmpty()) {
    out->kind = Stored::kNull;
    return;
  }
  const ColumnType base = VariantBaseOfValue(v);
  Stored value;
  ToStored(v, base, &value);
  out->kind = Stored::kText;
  out->s = VariantText(base, value);
}

}  // namespace

void ToStored(const com::Variant& v, const ColumnType& t, Stored* out) {
  if (t.type == SqlType::kSqlVariant) return ToStoredVariant(v, out);
  ToStored(v, ValueInfo(t), out);
}

void ToStored(const com::Variant& v, const dts::ColumnInfo& info, Stored* out) {
  if (info.type == dts::DBTYPE_VARIANT) return ToStoredVariant(v, out);
  com::Variant& typed = port::PerThread<com::Variant, struct ToStoredTag>();
  dts::ConvertValue(v, info, false, &typed);
  StoreTyped(typed, out);
}

void ToStoredCut(const com::Variant& v, const ColumnType& t, Stored* out) {
  if (t.type == SqlType::kSqlVariant) return ToStoredVariant(v, out);
  com::Variant typed;
  dts::ConvertValue(v, ValueInfo(t), true, &typed);
  StoreTyped(typed, out);
}

namespace {

// A decimal of a column type as its canonical text at the type's scale.
com::Variant DecimalVariant(const com::Numeric& n, const ColumnType& t) {
  com::Numeric at;
  if (com::RescaleNumeric(n, com::kMaxNumericDigits, t.scale, &at) != com::NumericStatus::kOk) at = n;
  return com::Variant::Decimal(com::FormatNumeric(at));
}

}  // namespace

std::string TimestampBytes(std::uint64_t count) {
  std::string bytes(8, '\0');
  for (int k = 7; k >= 0; --k, count >>= 8) bytes[static_cast<std::size_t>(k)] = static_cast<char>(count & 0xFF);
  return bytes;
}

com::Variant FromStoredInteger(std::int64_t v, const ColumnType& t) {
  switch (t.type) {
    case SqlType::kBit: return com::Variant::Bool(v != 0);
    case SqlType::kTinyInt: return com::Variant::UI1(static_cast<std::uint8_t>(v));
    case SqlType::kSmallInt: return com::Variant::I2(static_cast<std::int16_t>(v));
    case SqlType::kInt: return com::Variant::I4(static_cast<std::int32_t>(v));
    case SqlType::kMoney: case SqlType::kSmallMoney: return com::Variant::Currency(v);
    case SqlType::kFloat: case SqlType::kReal: return FromStoredReal(static_cast<double>(v), t);
    case SqlType::kDecimal: return DecimalVariant(com::NumericFromInteger(v), t);
    default: return com::Variant::I8(v);
  }
}

com::Variant FromStoredReal(double v, const ColumnType& t) {
  if (t.type == SqlType::kReal) return com::Variant::R4(static_cast<float>(v));
  if (t.type == SqlType::kDecimal) {
    // A decimal a database of an earlier version kept as a double.
    com::Numeric n;
    if (com::NumericFromDouble(v, com::kMaxNumericDigits, t.scale, &n) == com::NumericStatus::kOk) {
      return com::Variant::Decimal(com::FormatNumeric(n));
    }
  }
  return com::Variant::R8(v);
}

com::Variant FromStoredText(std::string_view v, const ColumnType& t) {
  if (t.type == SqlType::kSqlVariant) {
    ColumnType base;
    Stored value;
    if (!ParseVariantText(v, &base, &value)) return com::Variant::Text(v);
    com::Variant out = FromStored(value, base);
    out.set_source_type(VariantBaseCode(base));
    return out;
  }
  if (IsDateType(t.type)) return com::Variant::Date(OleDateFromText(v));
  if (t.type == SqlType::kDecimal) {
    com::Numeric n;
    if (com::ParseNumeric(v, &n) == com::NumericStatus::kOk) return DecimalVariant(n, t);
  }
  return com::Variant::Text(v);
}

com::Variant FromStoredBlob(std::string_view v, const ColumnType& t) {
  if (IsBinaryType(t.type)) return com::Variant::Bytes(v);
  return FromStoredText(v, t);
}

com::Variant FromStored(const Stored& v, const ColumnType& t) {
  switch (v.kind) {
    case Stored::kNull: return com::Variant::Null();
    case Stored::kInteger: return FromStoredInteger(v.i, t);
    case Stored::kReal: return FromStoredReal(v.r, t);
    case Stored::kText: return FromStoredText(v.s, t);
    case Stored::kBlob: return FromStoredBlob(v.s, t);
  }
  return com::Variant::Null();
}

VariantWire VariantWireOf(const ColumnType& base) {
  struct Row {
    SqlType type;
    std::uint8_t tds_type;
    int precision, scale, max_length;
  };
  static constexpr Row kFixed[] = {
      {SqlType::kBit, 0x32, 1, 0, 1},           {SqlType::kTinyInt, 0x30, 3, 0, 1},
      {SqlType::kSmallInt, 0x34, 5, 0, 2},      {SqlType::kInt, 0x38, 10, 0, 4},
      {SqlType::kBigInt, 0x7F, 19, 0, 8},       {SqlType::kReal, 0x3B, 24, 0, 4},
      {SqlType::kFloat, 0x3E, 53, 0, 8},        {SqlType::kMoney, 0x3C, 19, 4, 8},
      {SqlType::kSmallMoney, 0x7A, 10, 4, 4},   {SqlType::kDateTime, 0x3D, 23, 3, 8},
      {SqlType::kSmallDateTime, 0x3A, 16, 0, 4}, {SqlType::kUniqueIdentifier, 0x24, 0, 0, 16}};
  VariantWire w;
  for (const Row& row : kFixed) {
    if (row.type == base.type) {
      w.tds_type = row.tds_type, w.precision = row.precision, w.scale = row.scale, w.max_length = row.max_length;
      return w;
    }
  }
  switch (base.type) {
    case SqlType::kDecimal:
      w.tds_type = base.numeric ? 0x6C : 0x6A;
      w.property_bytes = 2;
      w.precision = base.precision;
      w.scale = base.scale;
      w.max_length = base.precision <= 9 ? 5 : base.precision <= 19 ? 9 : base.precision <= 28 ? 13 : 17;
      return w;
    case SqlType::kBinary: case SqlType::kVarBinary:
      w.tds_type = base.type == SqlType::kBinary ? 0xAD : 0xA5;
      w.property_bytes = 2;
      w.max_length = base.length;
      return w;
    case SqlType::kChar: case SqlType::kVarChar:
      w.tds_type = base.type == SqlType::kChar ? 0xAF : 0xA7;
      w.property_bytes = 7;
      w.max_length = base.length;
      return w;
    default:  // nchar, nvarchar
      w.tds_type = base.type == SqlType::kNChar ? 0xEF : 0xE7;
      w.property_bytes = 7;
      w.max_length = base.length * 2;
      return w;
  }
}

std::optional<ColumnType> VariantBaseOfWire(std::uint8_t tds_type, int max_length, int precision, int scale) {
  for (int i = 0; i <= static_cast<int>(SqlType::kSqlVariant); ++i) {
    ColumnType t;
    t.type = static_cast<SqlType>(i);
    if (t.type == SqlType::kDecimal) {
      t.precision = precision, t.scale = scale, t.numeric = tds_type == 0x6C;
      if (precision < 1 || precision > 38 || scale > precision) continue;
    } else if (IsCharType(t.type) || IsBinaryType(t.type)) {
      t.length = IsUnicodeType(t.type) ? max_length / 2 : max_length;
      if (t.length < 1 || t.length > (IsUnicodeType(t.type) ? 4000 : 8000)) continue;
    }
    if (IsVariantBaseType(t) && VariantWireOf(t).tds_type == tds_type) return t;
  }
  return std::nullopt;
}

bool IsVariantBaseType(const ColumnType& t) {
  if (t.type == SqlType::kText || t.type == SqlType::kNText || t.type == SqlType::kImage ||
      t.type == SqlType::kTimestamp || t.type == SqlType::kSqlVariant) {
    return false;
  }
  return !((IsCharType(t.type) || IsBinaryType(t.type)) && t.length < 0);
}

namespace {

// A base type code: the flag, the type, numeric, and the length, or a
// decimal's precision and scale, above them.
constexpr std::uint32_t kBaseCodeFlag = 0x80000000u, kBaseCodeNumeric = 0x100;
constexpr int kBaseCodeDetailShift = 12;

}  // namespace

std::uint32_t VariantBaseCode(const ColumnType& base) {
  std::uint32_t detail = 0;
  if (base.type == SqlType::kDecimal) {
    detail = static_cast<std::uint32_t>(base.precision << 8 | base.scale);
  } else if (IsCharType(base.type) || IsBinaryType(base.type)) {
    detail = static_cast<std::uint32_t>(std::clamp(base.length, 0, 0xFFFF));
  }
  return kBaseCodeFlag | static_cast<std::uint32_t>(base.type) | (base.numeric ? kBaseCodeNumeric : 0) |
         detail << kBaseCodeDetailShift;
}

std::optional<ColumnType> VariantBaseOfCode(std::uint32_t code) {
  if (!(code & kBaseCodeFlag)) return std::nullopt;
  ColumnType t;
  t.type = static_cast<SqlType>(code & 0xFF);
  const auto detail = static_cast<int>((code & ~kBaseCodeFlag) >> kBaseCodeDetailShift);
  if (t.type == SqlType::kDecimal) {
    t.precision = detail >> 8;
    t.scale = detail & 0xFF;
    t.numeric = (code & kBaseCodeNumeric) != 0;
  } else if (IsCharType(t.type) || IsBinaryType(t.type)) {
    t.length = detail;
    if (t.length < 1) return std::nullopt;  // the code of a (max) type, which is no base type
  }
  if ((code & 0xFF) > static_cast<std::uint32_t>(SqlType::kSqlVariant) || !IsVariantBaseType(t)) return std::nullopt;
  return t;
}

ColumnType VariantBaseOfValue(const com::Variant& v) {
  if (v.source_type() != 0) {
    if (const std::optional<ColumnType> base = VariantBaseOfCode(v.source_type())) return *base;
  }
  switch (v.type()) {
    case com::VarType::kI2: return {SqlType::kSmallInt, 0};
    case com::VarType::kI4: return {SqlType::kInt, 0};
    case com::VarType::kI8: return {SqlType::kBigInt, 0};
    case com::VarType::kUI1: return {SqlType::kTinyInt, 0};
    case com::VarType::kBool: return {SqlType::kBit, 0};
    case com::VarType::kR4: return {SqlType::kReal, 0};
    case com::VarType::kR8: return {SqlType::kFloat, 0};
    case com::VarType::kCurrency: return {SqlType::kMoney, 0};
    case com::VarType::kDate: return {SqlType::kDateTime, 0};
    case com::VarType::kDecimal: {
      const DecimalType d = DecimalTypeOfConstant(v.text());
      return DecimalColumnType(d);
    }
    case com::VarType::kBytes:
      return {SqlType::kVarBinary, std::clamp(static_cast<int>(v.text().size()), 1, 8000)};
    default: {
      std::u16string units;
      com::Utf8ToUtf16(v.text(), &units);
      return {SqlType::kNVarChar, std::clamp(static_cast<int>(units.size()), 1, 4000)};
    }
  }
}

std::string VariantText(const ColumnType& base, const Stored& value) {
  std::string out = TypeDisplayName(base) + ":";
  switch (value.kind) {
    case Stored::kNull: break;
    case Stored::kInteger: out += std::to_string(value.i); break;
    case Stored::kReal: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", value.r);
      out += buf;
      break;
    }
    case Stored::kText: out += value.s; break;
    case Stored::kBlob: out += com::FormatBytes(value.s).substr(2); break;
  }
  return out;
}

bool ParseVariantText(std::string_view text, ColumnType* base, Stored* value) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view type = text.substr(0, colon), body = text.substr(colon + 1);
  ast::TypeName name;
  const auto open = type.find('(');
  name.name = std::string(type.substr(0, open));
  if (open != std::string_view::npos) {
    const std::string args(type.substr(open + 1));
    if (std::sscanf(args.c_str(), "%d,%d", &name.length, &name.scale) < 1) return false;
  }
  try {
    *base = ResolveType(name);
  } catch (const com::Error&) {
    return false;
  }
  if (!IsVariantBaseType(*base)) return false;
  if (IsIntegerType(base->type) || IsMoneyType(base->type)) {
    value->kind = Stored::kInteger;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value->i);
    return ec == std::errc() && end == body.data() + body.size();
  }
  if (IsFloatType(base->type)) {
    value->kind = Stored::kReal;
    value->r = std::strtod(std::string(body).c_str(), nullptr);
    return true;
  }
  if (IsBinaryType(base->type)) {
    value->kind = Stored::kBlob;
    value->s.clear();
    return dts::ParseHexBytes(body, &value->s);
  }
  value->kind = Stored::kText;
  value->s = std::string(body);
  return true;
}

}  // namespace sqlsrv
