#include "platform/sqlserver/types.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

#include "platform/com/datetime.h"
#include "platform/com/unicode.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {
namespace {

struct Range {
  std::int64_t lo, hi;
};

Range IntRange(SqlType t) {
  switch (t) {
    case SqlType::kBit: return {0, 1};
    case SqlType::kTinyInt: return {0, 255};
    case SqlType::kSmallInt: return {-32768, 32767};
    case SqlType::kInt: return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    default: return {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
  }
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return std::string(s.substr(b, e - b));
}

[[noreturn]] void ConversionError(const com::Variant& v, const ColumnType& t) {
  throw SqlErr(kConversion, "Syntax error converting the " + std::string(v.IsText() ? "varchar" : "value") +
                                " value '" + v.ToText() + "' to a column of data type " + TypeDisplayName(t) + ".");
}

[[noreturn]] void Overflow(const ColumnType& t, const std::string& value) {
  if (IsMoneyType(t.type)) {
    throw SqlErr(8115, "Arithmetic overflow error converting expression to data type " + TypeDisplayName(t) + ".");
  }
  throw SqlErr(kOverflow, "Arithmetic overflow error for data type " + TypeDisplayName(t) + ", value = " + value + ".");
}

[[noreturn]] void ImplicitNotAllowed(const com::Variant& v, const ColumnType& t) {
  throw SqlErr(257, "Implicit conversion from data type " + std::string(com::VarTypeName(v.type())) +
                        " to " + TypeDisplayName(t) + " is not allowed. Use the CONVERT function to run this query.");
}

com::CodePage& ServerCodePage() {
  thread_local com::CodePage cp(kServerCodePage);
  return cp;
}

// Rounds a non-negative count of 1/1000 s within a day to SQL Server's
// 1/300 s ticks and back to milliseconds.
std::int64_t RoundToTicks(std::int64_t ms) {
  const std::int64_t ticks = std::llround(static_cast<double>(ms) * 0.3);
  return std::llround(static_cast<double>(ticks) / 0.3);
}

std::string CanonicalText(const com::CivilTime& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
  return buf;
}

// Rounds a civil time's milliseconds to ticks, carrying into the next day.
std::optional<std::string> FromCivil(com::CivilTime t) {
  std::int64_t ms = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
  ms = RoundToTicks(ms);
  std::int64_t days = com::DaysFromCivil(t.year, t.month, t.day);
  if (ms >= 86'400'000) {
    ms -= 86'400'000;
    ++days;
  }
  com::CivilFromDays(days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(ms / 3'600'000);
  t.minute = static_cast<int>(ms / 60'000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  if (t.year < 1753 || t.year > 9999) return std::nullopt;
  return CanonicalText(t);
}

}  // namespace

ColumnType ResolveType(const ast::TypeName& t) {
  static const std::pair<const char*, SqlType> kNames[] = {
      {"bit", SqlType::kBit},         {"tinyint", SqlType::kTinyInt},     {"smallint", SqlType::kSmallInt},
      {"int", SqlType::kInt},         {"integer", SqlType::kInt},         {"bigint", SqlType::kBigInt},
      {"money", SqlType::kMoney},     {"smallmoney", SqlType::kSmallMoney}, {"float", SqlType::kFloat},
      {"real", SqlType::kReal},       {"decimal", SqlType::kDecimal},     {"numeric", SqlType::kDecimal},
      {"dec", SqlType::kDecimal},     {"datetime", SqlType::kDateTime},   {"smalldatetime", SqlType::kSmallDateTime},
      {"char", SqlType::kChar},       {"character", SqlType::kChar},      {"varchar", SqlType::kVarChar},
      {"nchar", SqlType::kNChar},     {"nvarchar", SqlType::kNVarChar},   {"text", SqlType::kText},
      {"ntext", SqlType::kNText},     {"sysname", SqlType::kNVarChar}};
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
  if (out.type == SqlType::kFloat && t.length > 0 && t.length <= 24) out.type = SqlType::kReal;
  if (IsCharType(out.type) && out.type != SqlType::kText && out.type != SqlType::kNText) {
    const int max = IsUnicodeType(out.type) ? 4000 : 8000;
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
  } else if (out.type == SqlType::kText || out.type == SqlType::kNText) {
    out.length = -1;
  }
  return out;
}

std::string TypeDisplayName(const ColumnType& t) {
  static const char* const kNames[] = {"bit",   "tinyint",  "smallint", "int",      "bigint", "money",
                                       "smallmoney", "float", "real",  "decimal",  "datetime", "smalldatetime",
                                       "char",  "varchar",  "nchar",    "nvarchar", "text",   "ntext"};
  std::string name = kNames[static_cast<int>(t.type)];
  if (IsCharType(t.type) && t.type != SqlType::kText && t.type != SqlType::kNText) {
    name += t.length < 0 ? "(max)" : "(" + std::to_string(t.length) + ")";
  }
  return name;
}

bool IsIntegerType(SqlType t) {
  return t == SqlType::kBit || t == SqlType::kTinyInt || t == SqlType::kSmallInt || t == SqlType::kInt ||
         t == SqlType::kBigInt;
}
bool IsMoneyType(SqlType t) { return t == SqlType::kMoney || t == SqlType::kSmallMoney; }
bool IsFloatType(SqlType t) { return t == SqlType::kFloat || t == SqlType::kReal || t == SqlType::kDecimal; }
bool IsDateType(SqlType t) { return t == SqlType::kDateTime || t == SqlType::kSmallDateTime; }
bool IsCharType(SqlType t) {
  return t == SqlType::kChar || t == SqlType::kVarChar || t == SqlType::kNChar || t == SqlType::kNVarChar ||
         t == SqlType::kText || t == SqlType::kNText;
}
bool IsUnicodeType(SqlType t) { return t == SqlType::kNChar || t == SqlType::kNVarChar || t == SqlType::kNText; }

std::string SqliteDeclaration(const ColumnType& t) {
  if (IsIntegerType(t.type) || IsMoneyType(t.type)) return "INTEGER";
  if (IsFloatType(t.type)) return "REAL";
  if (IsDateType(t.type)) return "TEXT";
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
  }
  return dts::DBTYPE_WSTR;
}

std::size_t TextLength(std::string_view utf8, const ColumnType& t) {
  if (IsUnicodeType(t.type)) {
    std::u16string units;
    if (!com::Utf8ToUtf16(utf8, &units)) return utf8.size();
    return units.size();
  }
  std::string bytes;
  ServerCodePage().FromUtf8Lossy(utf8, &bytes);
  return bytes.size();
}

std::optional<std::string> DateTimeText(double ole_date) {
  if (!std::isfinite(ole_date) || ole_date < -100000 || ole_date > 3'000'000) return std::nullopt;
  return FromCivil(com::CivilFromOleDate(ole_date));
}

// Rewrites the accepted date forms as "YYYY-MM-DD[ time]".
static std::string NormalizeDateText(std::string_view raw) {
  std::string s = Trim(raw);
  // 20070123[ time]
  if (s.size() >= 8 && s.find_first_not_of("0123456789") >= 8 && (s.size() == 8 || s[8] == ' ')) {
    s = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + s.substr(8);
  }
  // 01/23/2007 (month first, as the server's us_english setting reads it)
  if (s.size() >= 10 && s[2] == '/' && s[5] == '/') s = s.substr(6, 4) + "-" + s.substr(0, 2) + "-" + s.substr(3, 2) + s.substr(10);
  for (std::size_t i = 0; i < std::min<std::size_t>(s.size(), 10); ++i) {
    if (s[i] == '/' || s[i] == '.') s[i] = '-';
  }
  return s;
}

std::optional<std::string> ParseDateTimeText(std::string_view raw) {
  auto civil = com::ParseCivil(NormalizeDateText(raw));
  if (!civil) return std::nullopt;
  return FromCivil(*civil);
}

double OleDateFromText(std::string_view canonical) {
  auto civil = com::ParseCivil(canonical);
  return civil ? com::OleDateFromCivil(*civil) : 0.0;
}

std::string NowText() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&secs, &tm);
  com::CivilTime t{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
  return FromCivil(t).value_or(CanonicalText(t));
}

void ToStored(const com::Variant& v, const ColumnType& t, Stored* out, const ValueContext& ctx,
              bool allow_truncation, bool* changed) {
  (void)ctx;
  using com::VarType;
  if (changed) *changed = false;
  if (v.IsNull() || v.IsEmpty()) {
    out->kind = Stored::kNull;
    return;
  }
  const SqlType st = t.type;
  if (IsIntegerType(st)) {
    std::int64_t n = 0;
    switch (v.type()) {
      case VarType::kBool: n = v.integer() ? 1 : 0; break;
      case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1: n = v.integer(); break;
      case VarType::kCurrency: {
        const std::int64_t units = v.integer();
        n = units / 10000;
        const std::int64_t rem = units % 10000;
        if (rem >= 5000) ++n;
        if (rem <= -5000) --n;
        break;
      }
      case VarType::kR4: case VarType::kR8: case VarType::kDecimal: {
        const double d = v.ToDouble();
        if (!(std::fabs(d) < 9.2e18)) Overflow(t, v.ToText());
        n = static_cast<std::int64_t>(std::trunc(d));
        break;
      }
      case VarType::kText: {
        const std::string s = Trim(v.text());
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (st == SqlType::kBit && (s == "TRUE" || s == "true" || s == "True")) {
          n = 1;
        } else if (st == SqlType::kBit && (s == "FALSE" || s == "false" || s == "False")) {
          n = 0;
        } else if (ec == std::errc::result_out_of_range) {
          Overflow(t, s);
        } else if (ec != std::errc() || p != s.data() + s.size() || s.empty()) {
          ConversionError(v, t);
        }
        break;
      }
      default:
        ImplicitNotAllowed(v, t);
    }
    if (st == SqlType::kBit) n = n != 0;
    const Range r = IntRange(st);
    if (n < r.lo || n > r.hi) Overflow(t, std::to_string(n));
    out->kind = Stored::kInteger;
    out->i = n;
    return;
  }
  if (IsMoneyType(st)) {
    std::int64_t units = 0;
    switch (v.type()) {
      case VarType::kCurrency: units = v.integer(); break;
      case VarType::kBool: case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1:
        if (v.integer() > 922337203685477 || v.integer() < -922337203685477) Overflow(t, v.ToText());
        units = v.integer() * 10000;
        break;
      case VarType::kR4: case VarType::kR8: {
        const double d = v.real() * 10000.0;
        if (!(std::fabs(d) < 9.2e18)) Overflow(t, v.ToText());
        units = std::llround(d);
        break;
      }
      case VarType::kText: case VarType::kDecimal: {
        std::string s = Trim(v.text());
        if (!s.empty() && s[0] == '$') s.erase(0, 1);
        if (!com::ParseCurrency(s, &units)) {
          double d = 0;
          auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
          if (ec != std::errc() || p != s.data() + s.size() || s.empty()) {
            throw SqlErr(235, "Cannot convert a char value to money. The char value has incorrect syntax.");
          }
          if (!(std::fabs(d * 10000.0) < 9.2e18)) Overflow(t, s);
          units = std::llround(d * 10000.0);
        }
        break;
      }
      default:
        ImplicitNotAllowed(v, t);
    }
    if (st == SqlType::kSmallMoney && (units > 2147483647LL || units < -2147483648LL)) Overflow(t, v.ToText());
    out->kind = Stored::kInteger;
    out->i = units;
    return;
  }
  if (IsFloatType(st)) {
    double d = 0;
    if (v.type() == VarType::kDate) ImplicitNotAllowed(v, t);
    if (v.IsText()) {
      const std::string s = Trim(v.text());
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
      if (ec != std::errc() || p != s.data() + s.size() || s.empty()) ConversionError(v, t);
    } else {
      d = v.ToDouble();
    }
    if (!std::isfinite(d)) Overflow(t, v.ToText());
    if (st == SqlType::kReal) d = static_cast<double>(static_cast<float>(d));
    out->kind = Stored::kReal;
    out->r = d;
    return;
  }
  if (IsDateType(st)) {
    std::optional<std::string> text;
    if (v.type() == VarType::kDate) {
      text = DateTimeText(v.real());
      if (!text) throw SqlErr(kDateRange, "The conversion of a date data type to a datetime data type resulted in an out-of-range datetime value.");
    } else if (v.IsText()) {
      auto civil = com::ParseCivil(NormalizeDateText(v.text()));
      if (!civil) throw SqlErr(kDateConversion, "Syntax error converting datetime from character string.");
      text = FromCivil(*civil);
      if (!text) {
        throw SqlErr(kDateRange, "The conversion of a char data type to a datetime data type resulted in an out-of-range datetime value.");
      }
    } else if (v.IsNumeric()) {
      text = DateTimeText(v.ToDouble() + 2.0);  // numbers count days from 1900-01-01
      if (!text) throw SqlErr(kDateRange, "Arithmetic overflow error converting expression to data type datetime.");
    } else {
      ImplicitNotAllowed(v, t);
    }
    out->kind = Stored::kText;
    out->s = std::move(*text);
    return;
  }
  // Character types.
  std::string text;
  switch (v.type()) {
    case VarType::kText: text = v.text(); break;
    case VarType::kBool: text = v.integer() ? "1" : "0"; break;
    case VarType::kCurrency: {
      // Money converts to text with two decimals.
      const std::int64_t cents = v.integer() >= 0 ? (v.integer() + 50) / 100 : (v.integer() - 50) / 100;
      text = com::FormatCurrency(cents * 100);
      text.resize(text.size() - 2);
      break;
    }
    case VarType::kDate: text = DateTimeText(v.real()).value_or(v.ToText()); break;
    default: text = v.ToText();
  }
  if (!IsUnicodeType(st)) {
    // Single-byte text keeps only what the server code page can hold.
    std::string bytes;
    if (ServerCodePage().FromUtf8Lossy(text, &bytes) > 0) {
      ServerCodePage().ToUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &text);
      if (changed) *changed = true;
    }
  }
  if (t.length >= 0 && TextLength(text, t) > static_cast<std::size_t>(t.length)) {
    if (!allow_truncation) throw SqlErr(kTruncation, "String or binary data would be truncated.");
    // Cut character by character until it fits.
    std::u16string units;
    com::Utf8ToUtf16(text, &units);
    std::string cut;
    for (std::size_t n = units.size(); n > 0; --n) {
      cut.clear();
      com::Utf16Sink sink(&cut);
      for (std::size_t k = 0; k < n; ++k) sink.Put(units[k]);
      if (n > 0 && units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF) continue;  // do not split a pair
      if (TextLength(cut, t) <= static_cast<std::size_t>(t.length)) break;
    }
    text = cut;
    if (changed) *changed = true;
  }
  out->kind = Stored::kText;
  out->s = std::move(text);
}

com::Variant FromStoredInteger(std::int64_t v, const ColumnType& t) {
  switch (t.type) {
    case SqlType::kBit: return com::Variant::Bool(v != 0);
    case SqlType::kTinyInt: return com::Variant::UI1(static_cast<std::uint8_t>(v));
    case SqlType::kSmallInt: return com::Variant::I2(static_cast<std::int16_t>(v));
    case SqlType::kInt: return com::Variant::I4(static_cast<std::int32_t>(v));
    case SqlType::kMoney: case SqlType::kSmallMoney: return com::Variant::Currency(v);
    case SqlType::kFloat: case SqlType::kReal: case SqlType::kDecimal: return FromStoredReal(static_cast<double>(v), t);
    default: return com::Variant::I8(v);
  }
}

com::Variant FromStoredReal(double v, const ColumnType& t) {
  if (t.type == SqlType::kReal) return com::Variant::R4(static_cast<float>(v));
  return com::Variant::R8(v);
}

com::Variant FromStoredText(std::string_view v, const ColumnType& t) {
  if (IsDateType(t.type)) return com::Variant::Date(OleDateFromText(v));
  return com::Variant::Text(v);
}

}  // namespace sqlsrv
