// The SQLite side of translated SQL: the functions translated queries
// call, each raising SQL Server's errors.
#include "platform/sqlserver/translation/sqlite_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>

#include "platform/com/names.h"
#include "platform/com/numeric.h"
#include "platform/com/unicode.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/convert.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/collation.h"
#include "platform/port/per_thread.h"
#include "platform/sqlserver/translation/date_parts.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/translation/like_pattern.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/result_column.h"
#include "platform/sqlserver/types.h"
#include "platform/sqlserver/translation/value_text.h"

namespace sqlsrv {
namespace {

// 128-bit products keep money arithmetic exact before it is rounded.
__extension__ typedef __int128 Int128;

std::string VkError(std::int32_t number, const std::string& message) {
  return "VKERR:" + std::to_string(number) + ":" + message;
}

void ResultError(sqlite3_context* ctx, const com::Error& e) {
  const std::string m = VkError(e.number(), e.description());
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

void DivideByZero(sqlite3_context* ctx) { ResultError(ctx, SqlErr(kDivideByZero, "Divide by zero error encountered.")); }

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

void IntDiv(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
  if (b == 0) return DivideByZero(ctx);
  if (a == std::numeric_limits<std::int64_t>::min() && b == -1) {
    return ResultError(ctx, ConvertOverflowError("int"));
  }
  sqlite3_result_int64(ctx, sqlite3_user_data(ctx) ? a % b : a / b);
}

// money / money, in units: truncated to four decimals, as SQL Server does.
void MoneyDiv(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const Int128 a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
  if (b == 0) return DivideByZero(ctx);
  const Int128 q = a * 10000 / b;
  if (q > std::numeric_limits<std::int64_t>::max() || q < std::numeric_limits<std::int64_t>::min()) {
    return ResultError(ctx, ConvertOverflowError("money"));
  }
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(q));
}

// money * money, in units: rounded half away from zero to four decimals.
void MoneyMul(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const Int128 p = static_cast<Int128>(sqlite3_value_int64(argv[0])) * sqlite3_value_int64(argv[1]);
  Int128 q = p / 10000;
  const Int128 r = p % 10000;
  if (r >= 5000) ++q;
  if (r <= -5000) --q;
  if (q > std::numeric_limits<std::int64_t>::max() || q < std::numeric_limits<std::int64_t>::min()) {
    return ResultError(ctx, ConvertOverflowError("money"));
  }
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(q));
}

void FloatDiv(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double b = sqlite3_value_double(argv[1]);
  if (b == 0) return DivideByZero(ctx);
  sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) / b);
}

// A float as money units, rounded half away from zero.
void ToMoney(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double d = sqlite3_value_double(argv[0]) * 10000.0;
  if (!(std::fabs(d) < 9.2e18)) {
    return ResultError(ctx, ConvertOverflowError("money"));
  }
  sqlite3_result_int64(ctx, std::llround(d));
}

// ------------------------------------------------------------ decimals

// A decimal argument: its canonical text, an integer (an int operand), or
// a double (a decimal a database of an earlier version kept as one).
// Raises 8114 for text that is no number.
bool ArgNumeric(sqlite3_context* ctx, sqlite3_value* v, com::Numeric* out) {
  com::NumericStatus status = com::NumericStatus::kNotANumber;
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      *out = com::NumericFromInteger(sqlite3_value_int64(v));
      return true;
    case SQLITE_FLOAT:
      status = com::NumericFromDouble(sqlite3_value_double(v), out);
      break;
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      status = com::ParseNumeric(std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v))), out);
      break;
    }
    default:
      break;
  }
  if (status == com::NumericStatus::kOk) return true;
  ResultError(ctx, status == com::NumericStatus::kNotANumber ? NumericConversionError("varchar") : NumericOverflowError());
  return false;
}

void ResultNumeric(sqlite3_context* ctx, const com::Numeric& n) {
  std::string text;
  com::AppendNumeric(n, &text);
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A status of decimal arithmetic as its result or SQL Server's error.
void ResultStatus(sqlite3_context* ctx, com::NumericStatus status, const com::Numeric& n) {
  switch (status) {
    case com::NumericStatus::kOk: return ResultNumeric(ctx, n);
    case com::NumericStatus::kDivideByZero: return DivideByZero(ctx);
    case com::NumericStatus::kNotANumber: return ResultError(ctx, NumericConversionError("varchar"));
    case com::NumericStatus::kOverflow: return ResultError(ctx, NumericOverflowError());
  }
}

// The decimal operators, by their number in a chain's steps.
com::NumericStatus (*const kDecimalOperators[])(const com::Numeric&, const com::Numeric&, int, int, com::Numeric*) = {
    &com::AddNumeric, &com::SubtractNumeric, &com::MultiplyNumeric, &com::DivideNumeric, &com::ModuloNumeric};

// vk_dchain(x0, step1, x1, step2, x2, ...): decimal operators applied from
// left to right, each result exact and then brought to its type. A step
// is operator * 10000 + precision * 100 + scale, the operator numbered as
// in kDecimalOperators. A chain is one call, not calls nested as deep as
// it is long (which SQLite's parser refuses past a few dozen).
void DecimalChain(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1 || argc % 2 == 0) return sqlite3_result_error(ctx, "vk_dchain: a value, then steps and values", -1);
  // A NULL makes the rest NULL; the steps before it are computed, and
  // raise their errors.
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  com::Numeric acc;
  if (!ArgNumeric(ctx, argv[0], &acc)) return;
  for (int i = 1; i + 1 < argc; i += 2) {
    const int step = sqlite3_value_int(argv[i]);
    const int op = step / 10000;
    if (sqlite3_value_type(argv[i + 1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    com::Numeric b, r;
    if (!ArgNumeric(ctx, argv[i + 1], &b)) return;
    if (op < 0 || op >= static_cast<int>(std::size(kDecimalOperators))) {
      return sqlite3_result_error(ctx, "vk_dchain: no such operator", -1);
    }
    const com::NumericStatus status = kDecimalOperators[op](acc, b, step / 100 % 100, step % 100, &r);
    if (status != com::NumericStatus::kOk) return ResultStatus(ctx, status, r);
    acc = r;
  }
  ResultNumeric(ctx, acc);
}

// vk_dneg(x), vk_dabs(x): the sign changed, or dropped; the scale kept.
void DecimalSign(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  com::Numeric n;
  if (!ArgNumeric(ctx, argv[0], &n)) return;
  n.negative = sqlite3_user_data(ctx) ? false : !n.negative && n.magnitude != 0;
  ResultNumeric(ctx, n);
}

// vk_dround(x, digits, precision): ROUND of a decimal, of the same type.
void DecimalRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  com::Numeric n, r;
  if (!ArgNumeric(ctx, argv[0], &n)) return;
  const std::int64_t digits = std::clamp<std::int64_t>(sqlite3_value_int64(argv[1]), -100, 100);
  ResultStatus(ctx, com::RoundNumeric(n, static_cast<int>(digits), sqlite3_value_int(argv[2]), &r), r);
}

// vk_dtext(x): a value as a decimal's text (text that is no number raises
// 8114), for values compared with decimals.
void DecimalText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  com::Numeric n;
  if (ArgNumeric(ctx, argv[0], &n)) ResultNumeric(ctx, n);
}

// vk_dfloat(x): a decimal as the nearest float.
void DecimalToFloat(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  com::Numeric n;
  if (ArgNumeric(ctx, argv[0], &n)) sqlite3_result_double(ctx, com::NumericToDouble(n));
}

// vk_dint(x): a decimal's integer part (cut towards zero).
void DecimalToInteger(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  com::Numeric n;
  std::int64_t v = 0;
  if (!ArgNumeric(ctx, argv[0], &n)) return;
  if (com::NumericToInteger(n, &v) != com::NumericStatus::kOk) {
    return ResultError(ctx, ConvertOverflowError("bigint", "numeric"));
  }
  sqlite3_result_int64(ctx, v);
}

// vk_dmoney(x): a decimal as money units, rounded half away from zero.
void DecimalToMoney(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  com::Numeric n, units;
  std::int64_t v = 0;
  if (!ArgNumeric(ctx, argv[0], &n)) return;
  if (com::RescaleNumeric(n, com::kMaxNumericDigits, 4, &units) != com::NumericStatus::kOk ||
      com::NumericToInteger(com::Numeric{units.magnitude, 0, units.negative}, &v) != com::NumericStatus::kOk) {
    return ResultError(ctx, ConvertOverflowError("money", "numeric"));
  }
  sqlite3_result_int64(ctx, v);
}

// vk_mdec(units): money as a decimal(19,4)'s text.
void MoneyToDecimal(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  ResultNumeric(ctx, com::NumericFromUnits(sqlite3_value_int64(argv[0])));
}

// vk_dsum(x) and vk_davg(x): SUM and AVG of decimals, exact. The sum keeps
// the values' scale in 38 digits; the average has at least 6 digits after
// the point and is cut, as SQL Server's division is.
struct DecimalAggregate {
  com::Numeric sum;
  std::int64_t count = 0;
  bool failed = false;
};

void DecimalAggregateStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  auto* a = static_cast<DecimalAggregate*>(sqlite3_aggregate_context(ctx, sizeof(DecimalAggregate)));
  if (!a) return sqlite3_result_error_nomem(ctx);
  if (a->failed) return;
  com::Numeric n;
  if (!ArgNumeric(ctx, argv[0], &n)) {
    a->failed = true;
    return;
  }
  const int scale = std::max(a->sum.scale, n.scale);
  if (com::AddNumeric(a->sum, n, com::kMaxNumericDigits, scale, &a->sum) != com::NumericStatus::kOk) {
    a->failed = true;
    return ResultError(ctx, NumericOverflowError());
  }
  ++a->count;
}

void DecimalAggregateFinal(sqlite3_context* ctx) {
  auto* a = static_cast<DecimalAggregate*>(sqlite3_aggregate_context(ctx, 0));
  if (!a || a->count == 0 || a->failed) return sqlite3_result_null(ctx);
  if (!sqlite3_user_data(ctx)) return ResultNumeric(ctx, a->sum);
  com::Numeric average;
  const com::NumericStatus status = com::DivideNumeric(a->sum, com::NumericFromInteger(a->count),
                                                       com::kMaxNumericDigits, std::max(a->sum.scale, 6), &average);
  ResultStatus(ctx, status, average);
}

// vk_intfit(x): an int's value, 8115 past int's range (SUM of int is an
// int, which SQLite sums in 64 bits).
void IntFit(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::int64_t v = sqlite3_value_int64(argv[0]);
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
    return ResultError(ctx, ConvertOverflowError("int"));
  }
  sqlite3_result_int64(ctx, v);
}

// vk_var(x), vk_varp(x), vk_stdev(x), vk_stdevp(x): VAR, VARP, STDEV and
// STDEVP of floats, by Welford's running mean and sum of squared
// deviations. The sample forms are NULL for fewer than two values, the
// population forms for none.
struct Spread {
  bool sample;
  bool root;  // the standard deviation: the variance's square root
};
constexpr Spread kVar{true, false}, kVarp{false, false}, kStdev{true, true}, kStdevp{false, true};

struct SpreadAggregate {
  std::int64_t count = 0;
  double mean = 0;
  double squares = 0;  // the sum of squared deviations from the mean
};

void SpreadStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  auto* a = static_cast<SpreadAggregate*>(sqlite3_aggregate_context(ctx, sizeof(SpreadAggregate)));
  if (!a) return sqlite3_result_error_nomem(ctx);
  const double x = sqlite3_value_double(argv[0]);
  ++a->count;
  const double delta = x - a->mean;
  a->mean += delta / static_cast<double>(a->count);
  a->squares += delta * (x - a->mean);
}

void SpreadFinal(sqlite3_context* ctx) {
  const auto* spread = static_cast<const Spread*>(sqlite3_user_data(ctx));
  auto* a = static_cast<SpreadAggregate*>(sqlite3_aggregate_context(ctx, 0));
  const std::int64_t n = a ? a->count : 0;
  if (n == 0 || (spread->sample && n < 2)) return sqlite3_result_null(ctx);
  const double variance = a->squares / static_cast<double>(spread->sample ? n - 1 : n);
  sqlite3_result_double(ctx, spread->root ? std::sqrt(variance) : variance);
}

// ------------------------------------------------------------ conversions

// A money, float, date or bit, as SQLite stores it, as the text CONVERT
// gives it in `style`.
std::string StyledText(const Stored& value, VT from, int style) {
  switch (from) {
    case VT::kBit: return value.i != 0 ? "1" : "0";
    case VT::kMoney: return MoneyText(value.i, style);
    case VT::kFloat: return FloatText(value.kind == Stored::kReal ? value.r : static_cast<double>(value.i), style);
    case VT::kDate: {
      const auto civil = com::ParseCivil(value.s);
      return civil ? DateText(*civil, style) : value.s;
    }
    default: return value.s;
  }
}

// A SQLite value as it is stored.
Stored StoredOf(sqlite3_value* value) {
  Stored out;
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL: break;
    case SQLITE_INTEGER: out.kind = Stored::kInteger, out.i = sqlite3_value_int64(value); break;
    case SQLITE_FLOAT: out.kind = Stored::kReal, out.r = sqlite3_value_double(value); break;
    case SQLITE_BLOB: {
      out.kind = Stored::kBlob;
      const void* data = sqlite3_value_blob(value);
      out.s.assign(static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_value_bytes(value)));
      break;
    }
    default: {
      out.kind = Stored::kText;
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      out.s.assign(text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(value)));
      break;
    }
  }
  return out;
}


void ResultStored(sqlite3_context* ctx, const Stored& s) {
  switch (s.kind) {
    case Stored::kNull: return sqlite3_result_null(ctx);
    case Stored::kInteger: return sqlite3_result_int64(ctx, s.i);
    case Stored::kReal: return sqlite3_result_double(ctx, s.r);
    case Stored::kText: return sqlite3_result_text(ctx, s.s.data(), static_cast<int>(s.s.size()), SQLITE_TRANSIENT);
    case Stored::kBlob: return sqlite3_result_blob(ctx, s.s.data(), static_cast<int>(s.s.size()), SQLITE_TRANSIENT);
  }
}

std::string_view BlobOf(sqlite3_value* value) {
  const void* data = sqlite3_value_blob(value);
  return {static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

// The value CONVERT makes of `value` where binary data is involved, before
// it is fitted to the target: binary data as bytes, or as hexadecimal text
// in styles 1 ("0x1F") and 2 ("1F"); text converted to binary as the bytes
// it is made of (UTF-16 for Unicode text, the server's code page else), or
// read as hexadecimal in styles 1 and 2; an integer as its type's bytes
// (`source`, a SqlType, or kNoSourceType). nullopt when the ordinary
// conversion applies.
constexpr int kNoSourceType = -1;
std::optional<com::Variant> BinaryConversion(sqlite3_value* value, VT from, const ColumnType& to, int style,
                                             int source) {
  if (from == VT::kBinary) {
    const std::string_view bytes = BlobOf(value);
    if (IsCharType(to.type) && (style == 1 || style == 2)) {
      const std::string hex = com::FormatBytes(bytes);
      return com::Variant::Text(style == 1 ? std::string_view(hex) : std::string_view(hex).substr(2));
    }
    return com::Variant::Bytes(bytes);
  }
  if (from == VT::kString) {
    const std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                static_cast<std::size_t>(sqlite3_value_bytes(value)));
    std::string bytes;
    if (style == 1 || style == 2) {
      const bool prefixed = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
      if (prefixed != (style == 1) || !dts::ParseHexBytes(text, &bytes)) {
        throw SqlErr(8114, "Error converting data type varchar to " + TypeBaseName(to) + ".");
      }
    } else if (source != kNoSourceType && IsUnicodeType(static_cast<SqlType>(source))) {
      std::u16string units;
      com::Utf8ToUtf16(text, &units);
      for (const char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
      }
    } else {
      struct ServerCodePage {
        com::CodePage page{"CP" + std::to_string(kServerCodePageNumber)};
      };
      port::PerThread<ServerCodePage>().page.FromUtf8Lossy(text, &bytes);
    }
    return com::Variant::Bytes(bytes);
  }
  if (from == VT::kGuid) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    const auto guid = dts::GuidText(text ? text : "");
    if (!guid) throw GuidConversionError();
    return com::Variant::Bytes(dts::GuidBytes(*guid));
  }
  if (from == VT::kInt) {
    const std::int64_t n = sqlite3_value_int64(value);
    const bool fits_int = n >= INT32_MIN && n <= INT32_MAX;
    switch (source != kNoSourceType ? static_cast<SqlType>(source) : fits_int ? SqlType::kInt : SqlType::kBigInt) {
      case SqlType::kBit: return com::Variant::Bool(n != 0);
      case SqlType::kTinyInt: return com::Variant::UI1(static_cast<std::uint8_t>(n));
      case SqlType::kSmallInt: return com::Variant::I2(static_cast<std::int16_t>(n));
      case SqlType::kInt: return com::Variant::I4(static_cast<std::int32_t>(n));
      default: return com::Variant::I8(n);
    }
  }
  return std::nullopt;
}

// vk_bconcat(a, b): binary data joined, as + joins it.
void ConcatBytes(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string joined(BlobOf(argv[0]));
  joined += BlobOf(argv[1]);
  sqlite3_result_blob(ctx, joined.data(), static_cast<int>(joined.size()), SQLITE_TRANSIENT);
}

// The order CONVERT's style reads a numeric date in (101 mm/dd/yyyy, 103
// dd/mm/yyyy, 111 yyyy/mm/dd, with or without the century); nullopt for a
// style that names none, which reads in the session's order.
std::optional<dts::DateOrder> StyleDateOrder(int style) {
  static const std::pair<int, dts::DateOrder> kStyles[] = {
      {1, dts::DateOrder::kMdy},  {10, dts::DateOrder::kMdy}, {3, dts::DateOrder::kDmy}, {4, dts::DateOrder::kDmy},
      {5, dts::DateOrder::kDmy},  {2, dts::DateOrder::kYmd},  {11, dts::DateOrder::kYmd}, {20, dts::DateOrder::kYmd},
      {21, dts::DateOrder::kYmd}, {23, dts::DateOrder::kYmd}, {26, dts::DateOrder::kYmd}, {27, dts::DateOrder::kYmd}};
  const int base = style >= 100 ? style - 100 : style;
  for (const auto& [s, order] : kStyles) {
    if (s == base) return order;
  }
  return std::nullopt;
}

// The text of a varchar or nvarchar's length: its characters (UTF-16
// units), or for varchar its bytes in the server code page.
int TextLength(std::string_view text, bool unicode) {
  if (unicode) {
    std::u16string units;
    com::Utf8ToUtf16(text, &units);
    return static_cast<int>(units.size());
  }
  struct ServerCodePage {
    com::CodePage page{"CP" + std::to_string(kServerCodePageNumber)};
  };
  std::string bytes;
  port::PerThread<ServerCodePage>().page.FromUtf8Lossy(text, &bytes);
  return static_cast<int>(bytes.size());
}

// A value of static type `from` made a sql_variant of base type `base`; a
// base type of kSqlVariant (no type known) takes the one of the value's
// static type, a text's or binary data's length from the value itself.
void MakeVariant(sqlite3_context* ctx, sqlite3_value* value, VT from, ColumnType base) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (from == VT::kVariant) return sqlite3_result_value(ctx, value);
  Stored stored = StoredOf(value);
  if (base.type == SqlType::kSqlVariant) {
    static const std::pair<VT, SqlType> kBases[] = {
        {VT::kInt, SqlType::kInt},         {VT::kBit, SqlType::kBit},       {VT::kMoney, SqlType::kMoney},
        {VT::kFloat, SqlType::kFloat},     {VT::kDate, SqlType::kDateTime}, {VT::kString, SqlType::kNVarChar},
        {VT::kBinary, SqlType::kVarBinary}, {VT::kGuid, SqlType::kUniqueIdentifier}};
    base = ColumnType{SqlType::kNVarChar, 0};
    for (const auto& [vt, type] : kBases) {
      if (vt == from) base.type = type;
    }
    if (from == VT::kInt && (stored.i < INT32_MIN || stored.i > INT32_MAX)) base.type = SqlType::kBigInt;
    if (from == VT::kDecimal) {
      base = DecimalColumnType(DecimalTypeOfConstant(stored.s));
      base.numeric = true;
    }
  }
  if ((base.type == SqlType::kVarChar || base.type == SqlType::kNVarChar) && base.length == 0) {
    base.length = std::clamp(TextLength(stored.s, IsUnicodeType(base.type)), 1, IsUnicodeType(base.type) ? 4000 : 8000);
  }
  if (base.type == SqlType::kVarBinary && base.length == 0) {
    base.length = std::clamp(static_cast<int>(stored.s.size()), 1, 8000);
  }
  if (!IsVariantBaseType(base)) {
    return ResultError(ctx, SqlErr(206, "Operand type clash: " + TypeBaseName(base) + " is incompatible with sql_variant"));
  }
  if (from == VT::kMoney || from == VT::kFloat || from == VT::kDate || from == VT::kBit) {
    // Already in its base type's storage.
  } else if (from == VT::kDecimal) {
    com::Numeric n;
    if (!ArgNumeric(ctx, value, &n)) return;
    stored.kind = Stored::kText;
    stored.s = com::FormatNumeric(n);
  }
  if (from == VT::kBinary) stored.kind = Stored::kBlob;
  const std::string text = VariantText(base, stored);
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// vk_variant(value, from_vt, base_type, length, precision, scale,
// numeric): a value
// made a sql_variant that keeps its base type (kSqlVariant: the value's
// own; see MakeVariant).
void ToVariant(sqlite3_context* ctx, int, sqlite3_value** argv) {
  ColumnType base{static_cast<SqlType>(sqlite3_value_int(argv[2])), sqlite3_value_int(argv[3])};
  base.precision = sqlite3_value_int(argv[4]);
  base.scale = sqlite3_value_int(argv[5]);
  base.numeric = sqlite3_value_int(argv[6]) != 0;
  MakeVariant(ctx, argv[0], static_cast<VT>(sqlite3_value_int(argv[1])), base);
}

// CONVERT of a sql_variant: its value converted as a value of its base
// type is.
void ConvertVariant(sqlite3_context* ctx, sqlite3_value* arg, const ColumnType& to, int style) {
  if (to.type == SqlType::kSqlVariant) return sqlite3_result_value(ctx, arg);
  const auto* raw = reinterpret_cast<const char*>(sqlite3_value_text(arg));
  ColumnType base;
  Stored stored;
  if (!ParseVariantText(std::string_view(raw ? raw : "", static_cast<std::size_t>(sqlite3_value_bytes(arg))), &base,
                        &stored)) {
    return sqlite3_result_null(ctx);
  }
  const VT from = TypeOf(base);
  try {
    com::Variant v = FromStored(stored, base);
    if (IsCharType(to.type) && (from == VT::kBit || from == VT::kMoney || from == VT::kFloat || from == VT::kDate)) {
      v = com::Variant::Text(StyledText(stored, from, style));
    }
    if (from == VT::kGuid && (IsBinaryType(to.type))) v = com::Variant::Bytes(dts::GuidBytes(stored.s));
    Stored out;
    if (from == VT::kString || from == VT::kBinary) {
      ToStoredCut(v, to, &out);
    } else {
      ToStored(v, to, &out);
    }
    ResultStored(ctx, out);
  } catch (const com::Error& e) {
    ResultError(ctx, e);
  }
}

// vk_variant_property(value, property): SQL_VARIANT_PROPERTY, a sql_variant
// itself: BaseType (sysname), Precision, Scale, TotalBytes, MaxLength
// (int) and Collation (sysname, NULL for data not character); NULL for
// another property or a value that is not a sql_variant.
void VariantProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const auto* raw = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  ColumnType base;
  Stored stored;
  if (!ParseVariantText(std::string_view(raw ? raw : "", static_cast<std::size_t>(sqlite3_value_bytes(argv[0]))),
                        &base, &stored)) {
    return sqlite3_result_null(ctx);
  }
  const auto* name_text = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const std::string name = name_text ? name_text : "";
  const auto result_name = [&](const std::string& text) {
    Stored s;
    s.kind = Stored::kText;
    s.s = text;
    const std::string out = VariantText(ColumnType{SqlType::kNVarChar, 128}, s);
    sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  };
  const auto result_int = [&](std::int64_t n) {
    Stored s;
    s.kind = Stored::kInteger;
    s.i = n;
    const std::string out = VariantText(ColumnType{SqlType::kInt, 0}, s);
    sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  };
  if (com::SameName(name, "BaseType")) return result_name(TypeBaseName(base));
  if (com::SameName(name, "Collation")) {
    if (!IsCharType(base.type)) return sqlite3_result_null(ctx);
    return result_name(kServerCollation);
  }
  const VariantWire wire = VariantWireOf(base);
  if (com::SameName(name, "Precision")) return result_int(wire.precision);
  if (com::SameName(name, "Scale")) return result_int(wire.scale);
  if (com::SameName(name, "MaxLength")) return result_int(wire.max_length);
  if (com::SameName(name, "TotalBytes")) {
    int data = wire.max_length;
    if (base.type == SqlType::kVarChar || base.type == SqlType::kNVarChar) {
      data = TextLength(stored.s, IsUnicodeType(base.type)) * (IsUnicodeType(base.type) ? 2 : 1);
    } else if (base.type == SqlType::kVarBinary) {
      data = static_cast<int>(stored.s.size());
    }
    return result_int(2 + wire.property_bytes + data);
  }
  sqlite3_result_null(ctx);
}

// vk_convert(value, from_vt, to_type, length, precision, scale [, style
// [, source type]]):
// a value converted as SQL Server converts it to a column type, in that
// type's storage; to a character type, money, floats, dates and bits
// become the text CONVERT gives them in `style` (0 when not given).
void Convert(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const auto from = static_cast<VT>(sqlite3_value_int(argv[1]));
  ColumnType to{static_cast<SqlType>(sqlite3_value_int(argv[2])), sqlite3_value_int(argv[3])};
  to.precision = sqlite3_value_int(argv[4]);
  to.scale = sqlite3_value_int(argv[5]);
  const int style = argc > 6 ? sqlite3_value_int(argv[6]) : 0;
  const int source = argc > 7 ? sqlite3_value_int(argv[7]) : kNoSourceType;
  if (from == VT::kVariant) return ConvertVariant(ctx, argv[0], to, style);
  if (to.type == SqlType::kSqlVariant) return MakeVariant(ctx, argv[0], from, to);
  if (IsBinaryType(to.type) || from == VT::kBinary) {
    try {
      if (auto value = BinaryConversion(argv[0], from, to, style, source)) {
        // CONVERT cuts what does not fit, as it cuts text.
        Stored out;
        ToStoredCut(*value, to, &out);
        return ResultStored(ctx, out);
      }
    } catch (const com::Error& e) {
      return ResultError(ctx, e);
    }
  }
  com::Variant v;
  switch (from) {
    case VT::kInt: v = com::Variant::I8(sqlite3_value_int64(argv[0])); break;
    case VT::kBit: v = com::Variant::Bool(sqlite3_value_int64(argv[0]) != 0); break;
    case VT::kMoney: v = com::Variant::Currency(sqlite3_value_int64(argv[0])); break;
    case VT::kFloat: v = com::Variant::R8(sqlite3_value_double(argv[0])); break;
    case VT::kDecimal: {
      com::Numeric n;
      if (!ArgNumeric(ctx, argv[0], &n)) return;
      v = com::Variant::Decimal(com::FormatNumeric(n));
      break;
    }
    case VT::kDate: v = com::Variant::Date(OleDateFromText(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])))); break;
    default: v = com::Variant::Text(reinterpret_cast<const char*>(sqlite3_value_text(argv[0]))); break;
  }
  try {
    // A GUID's 36 characters are never cut.
    constexpr int kGuidCharacters = 36;
    if (from == VT::kGuid && IsCharType(to.type) && to.length >= 0 && to.length < kGuidCharacters) {
      throw SqlErr(8170, "Insufficient result space to convert uniqueidentifier value to " + TypeBaseName(to) + ".");
    }
    if (IsCharType(to.type) && from != VT::kString && from != VT::kInt && from != VT::kDecimal) {
      v = com::Variant::Text(StyledText(StoredOf(argv[0]), from, style));
    }
    // Text becomes a date in the order its style names.
    std::optional<dts::DateOrderScope> style_order;
    if (IsDateType(to.type) && from == VT::kString) {
      if (const auto order = StyleDateOrder(style)) style_order.emplace(*order);
    }
    // Text too long for a character type is cut, as CAST and CONVERT cut
    // it; a number too long is an error still.
    Stored s;
    if (from == VT::kString) {
      ToStoredCut(v, to, &s);
    } else {
      ToStored(v, to, &s);
    }
    ResultStored(ctx, s);
  } catch (const com::Error& e) {
    ResultError(ctx, e);
  }
}

void GetDate(sqlite3_context* ctx, int, sqlite3_value**) {
  const std::string now = NowText();
  sqlite3_result_text(ctx, now.data(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

void ContextText(sqlite3_context* ctx, int, sqlite3_value**, bool host) {
  auto* fc = static_cast<FunctionContext*>(sqlite3_user_data(ctx));
  const std::string& v = host ? fc->host : fc->login;
  sqlite3_result_text(ctx, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

// The number a text holds, for text compared or added to a number.
void TextToNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_value(ctx, argv[0]);
  const std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  char* end = nullptr;
  const double d = std::strtod(s.c_str(), &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (s.empty() || !end || *end) {
    return ResultError(ctx, ConversionError("varchar", s, "int"));
  }
  if (d == std::floor(d) && std::fabs(d) < 9e18) return sqlite3_result_int64(ctx, static_cast<std::int64_t>(d));
  sqlite3_result_double(ctx, d);
}

void DateAddDays(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double ole = OleDateFromText(reinterpret_cast<const char*>(sqlite3_value_text(argv[0]))) +
                     sqlite3_value_double(argv[1]);
  auto text = DateTimeText(ole);
  if (!text) return ResultError(ctx, SqlErr(517, "Adding a value to a 'datetime' column caused overflow."));
  sqlite3_result_text(ctx, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
}

std::string ValueText(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

// vk_like(value, pattern, case_sensitive [, escape]): T-SQL's LIKE; NULL
// when the value, the pattern or the escape is NULL.
void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::u16string value, pattern, escape;
  com::Utf8ToUtf16(ValueText(argv[0]), &value);
  com::Utf8ToUtf16(ValueText(argv[1]), &pattern);
  std::optional<char16_t> escape_character;
  if (argc == 4) {
    const std::string given = ValueText(argv[3]);
    com::Utf8ToUtf16(given, &escape);
    if (escape.size() != 1) {
      return ResultError(ctx, SqlErr(506, "The invalid escape character \"" + given +
                                              "\" was specified in a LIKE predicate."));
    }
    escape_character = escape[0];
  }
  sqlite3_result_int(ctx, LikeMatches(value, pattern, sqlite3_value_int(argv[2]) != 0, escape_character) ? 1 : 0);
}

// vk_databasepropertyex(database, property): the collation of the
// connection's or another existing database; NULL for an unknown database
// or property.
void DatabasePropertyEx(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const auto* fc = static_cast<FunctionContext*>(sqlite3_user_data(ctx));
  const std::string name = ValueText(argv[0]);
  if (!com::SameName(ValueText(argv[1]), "Collation")) return sqlite3_result_null(ctx);
  const bool exists =
      com::SameName(name, fc->database) || (fc->database_exists && fc->database_exists(name));
  if (!exists) return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, kServerCollation, -1, SQLITE_STATIC);
}

// vk_collationproperty(collation, property): a collation's code page; NULL
// for an unknown collation or property.
void CollationProperty(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int code_page = CollationCodePage(ValueText(argv[0]));
  if (code_page == 0 || !com::SameName(ValueText(argv[1]), "CodePage")) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, code_page);
}

// The guards of an INSERT … SELECT run inside SQLite: each passes a value
// that its column stores exactly as given, and raises for any other, so
// that the statement can be run again row by row with the conversion and
// the error of each value.
void RefuseValue(sqlite3_context* ctx) { sqlite3_result_error(ctx, "VKERR:0:not stored as given", -1); }

// vk_fit_int(x, low, high): an integer in [low, high].
void FitInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::int64_t v = sqlite3_value_int64(argv[0]);
  if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER || v < sqlite3_value_int64(argv[1]) ||
      v > sqlite3_value_int64(argv[2])) {
    return RefuseValue(ctx);
  }
  sqlite3_result_value(ctx, argv[0]);
}

// vk_fit_real(x): a floating-point value.
void FitReal(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) != SQLITE_FLOAT) return RefuseValue(ctx);
  sqlite3_result_value(ctx, argv[0]);
}

// vk_fit_text(x, size, unicode): text no longer than `size` (0: any
// length) in UTF-16 units, or, for single-byte text, ASCII of at most
// `size` bytes (other characters depend on the code page).
void FitText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return RefuseValue(ctx);
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::string_view text(p, static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
  const auto size = static_cast<std::size_t>(sqlite3_value_int64(argv[1]));
  if (sqlite3_value_int(argv[2]) != 0) {
    const auto units = com::Utf16Length(text);
    if (!units || (size > 0 && *units > size)) return RefuseValue(ctx);
  } else {
    if (!com::IsAscii(text) || (size > 0 && text.size() > size)) return RefuseValue(ctx);
  }
  sqlite3_result_value(ctx, argv[0]);
}

// vk_cte_level(level, max): the recursion level of a recursive CTE's row;
// past `max` (0: no limit) the statement ends with 530.
void CteLevel(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::int64_t level = sqlite3_value_int64(argv[0]), max = sqlite3_value_int64(argv[1]);
  if (max > 0 && level > max) {
    return ResultError(ctx, SqlErr(kMaxRecursion, "The statement terminated. The maximum recursion " + std::to_string(max) +
                                                      " has been exhausted before statement completion."));
  }
  sqlite3_result_int64(ctx, level);
}

// vk_identity(): the next identity value of the running INSERT … SELECT.
void NextIdentity(sqlite3_context* ctx, int, sqlite3_value**) {
  auto* context = static_cast<FunctionContext*>(sqlite3_user_data(ctx));
  if (context->identity_exhausted) return RefuseValue(ctx);
  context->identity_last = context->identity_next;
  sqlite3_result_int64(ctx, context->identity_last);
  context->identity_exhausted =
      __builtin_add_overflow(context->identity_last, context->identity_step, &context->identity_next);
}

// The date part a translated call names by its first name ("month").
DatePart PartOf(sqlite3_value* v) {
  return DatePartNamed(ValueText(v)).value_or(DatePart::kDay);
}

// vk_dateadd_part(part, n, date): DATEADD.
void DateAddPart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const auto n = static_cast<std::int64_t>(std::trunc(sqlite3_value_double(argv[1])));
  auto text = DateAdd(PartOf(argv[0]), n, ValueText(argv[2]));
  if (!text) return ResultError(ctx, SqlErr(517, "Adding a value to a 'datetime' column caused overflow."));
  sqlite3_result_text(ctx, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
}

// vk_datediff(part, from, to): DATEDIFF, 535 past int's range.
void DateDiffPart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::int64_t n = DateDiff(PartOf(argv[0]), ValueText(argv[1]), ValueText(argv[2]));
  if (n > INT32_MAX || n < INT32_MIN) {
    return ResultError(ctx, SqlErr(535, "The datediff function resulted in an overflow. The number of dateparts "
                                        "separating two date/time instances is too large. Try to use datediff with a "
                                        "less precise datepart."));
  }
  sqlite3_result_int64(ctx, n);
}

// vk_datepart(part, date) and vk_datename(part, date).
void DatePartValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, DatePartOf(PartOf(argv[0]), ValueText(argv[1]), argc > 2 ? sqlite3_value_int(argv[2]) : 7));
}
void DateNameValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::string name = DateNameOf(PartOf(argv[0]), ValueText(argv[1]), argc > 2 ? sqlite3_value_int(argv[2]) : 7);
  sqlite3_result_text(ctx, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
}

// vk_reverse(text): the characters in reverse order (UTF-8 aware).
// vk_datalength(text, unicode): the bytes a text takes, as nvarchar (two a
// UTF-16 unit) or as varchar in the server's code page.
void TextDataLength(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::string text = ValueText(argv[0]);
  dts::ColumnInfo as;
  as.type = sqlite3_value_int(argv[1]) ? dts::DBTYPE_WSTR : dts::DBTYPE_STR;
  as.code_page = kServerCodePageNumber;
  const std::size_t units = dts::TextLength(text, as);
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(as.type == dts::DBTYPE_WSTR ? 2 * units : units));
}

// The characters of text as T-SQL counts them, over all its bytes: SQLite's
// own text functions stop at a zero byte, which binary data read as text,
// or CHAR(0), may hold. A blob's characters are its bytes.
struct Characters {
  std::string_view bytes;
  bool blob = false;

  explicit Characters(sqlite3_value* v) : blob(sqlite3_value_type(v) == SQLITE_BLOB) {
    const auto* p = blob ? static_cast<const char*>(sqlite3_value_blob(v))
                         : reinterpret_cast<const char*>(sqlite3_value_text(v));
    if (p) bytes = std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v)));
  }
  bool Starts(std::size_t at) const { return blob || (static_cast<unsigned char>(bytes[at]) & 0xC0) != 0x80; }
  // Where the character `n` characters into the text starts (its end when
  // it has fewer).
  std::size_t Skip(std::size_t from, std::int64_t n) const {
    while (n > 0 && from < bytes.size()) {
      ++from;
      while (from < bytes.size() && !Starts(from)) ++from;
      --n;
    }
    return from;
  }
  std::int64_t Count(std::size_t end) const {
    std::int64_t n = 0;
    for (std::size_t i = 0; i < end; ++i) n += Starts(i) ? 1 : 0;
    return n;
  }
  void Result(sqlite3_context* ctx, std::size_t from, std::size_t to) const {
    const std::string_view part = bytes.substr(from, to - from);
    if (blob) return sqlite3_result_blob(ctx, part.data(), static_cast<int>(part.size()), SQLITE_TRANSIENT);
    sqlite3_result_text(ctx, part.data(), static_cast<int>(part.size()), SQLITE_TRANSIENT);
  }
};

// vk_len(text): LEN: the characters of the text, trailing blanks not
// counted.
void TextLen(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const Characters text(argv[0]);
  std::size_t end = text.bytes.size();
  while (end > 0 && text.bytes[end - 1] == ' ') --end;
  sqlite3_result_int64(ctx, text.Count(end));
}

// vk_chars(text): the characters of the text, trailing blanks too.
void TextChars(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const Characters text(argv[0]);
  sqlite3_result_int64(ctx, text.Count(text.bytes.size()));
}

// vk_substr(value, start, length): SUBSTRING and LEFT: the characters (of
// binary data, the bytes) from position `start`, counted from 1, up to
// `start + length`; raises 537 for a negative length.
void Substring(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::int64_t start = sqlite3_value_int64(argv[1]), length = sqlite3_value_int64(argv[2]);
  if (length < 0) return ResultError(ctx, SqlErr(537, "Invalid length parameter passed to the LEFT or SUBSTRING function."));
  const Characters text(argv[0]);
  // Positions before the first count towards the length.
  const std::int64_t end = start > INT64_MAX - length ? INT64_MAX : start + length;
  if (end <= 1) return text.Result(ctx, 0, 0);
  const std::size_t from = text.Skip(0, std::max<std::int64_t>(start, 1) - 1);
  text.Result(ctx, from, text.Skip(from, end - std::max<std::int64_t>(start, 1)));
}

// vk_right(value, length): RIGHT: the last `length` characters; raises 536
// for a negative length.
void RightPart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::int64_t length = sqlite3_value_int64(argv[1]);
  if (length < 0) return ResultError(ctx, SqlErr(536, "Invalid length parameter passed to the RIGHT function."));
  const Characters text(argv[0]);
  const std::int64_t count = text.Count(text.bytes.size());
  text.Result(ctx, text.Skip(0, std::max<std::int64_t>(count - length, 0)), text.bytes.size());
}

void ReverseText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::string in = ValueText(argv[0]);
  std::string out;
  out.reserve(in.size());
  for (std::size_t end = in.size(); end > 0;) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(in[start]) & 0xC0) == 0x80) --start;
    out.append(in, start, end - start);
    end = start;
  }
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// vk_isdate(text) and vk_isnumeric(text): 1 when the text converts to a
// datetime / a number as SQL Server's ISDATE and ISNUMERIC accept them.
void IsDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_int(ctx, 0);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
  sqlite3_result_int(ctx, ParseDateTimeText(ValueText(argv[0])) ? 1 : 0);
}
void IsNumeric(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_int(ctx, 0);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_int(ctx, 1);
  // Blanks around a sign, digits with at most one point, an exponent, or
  // a currency sign before them.
  std::string t = ValueText(argv[0]);
  const auto first = t.find_first_not_of(" \t");
  const auto last = t.find_last_not_of(" \t");
  if (first == std::string::npos) return sqlite3_result_int(ctx, 0);
  t = t.substr(first, last - first + 1);
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '$')) ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else if (t[i] == ',' && !point) {
    } else {
      break;
    }
  }
  if (digits && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool exponent = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, exponent = true;
    if (!exponent) digits = false;
  }
  // As SQL Server's: a lone sign, currency sign, point or comma passes too.
  const bool lone = t.size() == 1 && std::string_view("+-$.,").find(t[0]) != std::string_view::npos;
  sqlite3_result_int(ctx, (digits && i == t.size()) || lone ? 1 : 0);
}

// vk_newid(): a random GUID as text, "6F9619FF-8B86-D011-B42D-00C04FC964FF".
void NewId(sqlite3_context* ctx, int, sqlite3_value**) {
  unsigned char b[16];
  sqlite3_randomness(sizeof b, b);
  // As written: the version (4, random) opens the third group, the
  // variant (binary 10) the fourth.
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  char out[37];
  std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  sqlite3_result_text(ctx, out, 36, SQLITE_TRANSIENT);
}

// vk_getutcdate(): the current time in UTC.
void GetUtcDate(sqlite3_context* ctx, int, sqlite3_value**) {
  const std::string now = UtcNowText();
  sqlite3_result_text(ctx, now.data(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::optional<com::Error> FunctionError(const std::string& m) {
  const auto p = m.find("VKERR:");
  if (p == std::string::npos) return std::nullopt;
  const auto colon = m.find(':', p + 6);
  if (colon == std::string::npos) return std::nullopt;
  return SqlErr(std::stoi(m.substr(p + 6, colon - p - 6)), m.substr(colon + 1));
}

namespace {

// vk_host_name(), vk_suser_sname(): the connection's host and login.
void HostName(sqlite3_context* ctx, int argc, sqlite3_value** argv) { ContextText(ctx, argc, argv, true); }
void SuserSname(sqlite3_context* ctx, int argc, sqlite3_value** argv) { ContextText(ctx, argc, argv, false); }

using ScalarFunction = void (*)(sqlite3_context*, int, sqlite3_value**);
using StepFunction = void (*)(sqlite3_context*, int, sqlite3_value**);
using FinalFunction = void (*)(sqlite3_context*);

// Whether a function gives the same result for the same arguments (SQLite
// may then fold it), and what it is handed as its user data: a constant of
// its own, or the connection's FunctionContext.
enum class Kind { kDeterministic, kVarying, kOfConnection };

constexpr int kModulo = 1, kAbsolute = 1, kAverage = 1;

// Every function translated SQL calls: its name, its number of arguments
// (-1: any), its kind, its own constant, then the function, or the step
// and final of an aggregate.
struct FunctionRow {
  const char* name;
  int arguments;
  Kind kind;
  const void* data;
  ScalarFunction scalar;
  StepFunction step = nullptr;
  FinalFunction finish = nullptr;
};

constexpr Kind kDet = Kind::kDeterministic;

const FunctionRow kFunctions[] = {
    {"vk_like", 3, kDet, nullptr, &Like},
    {"vk_like", 4, kDet, nullptr, &Like},
    {"vk_idiv", 2, kDet, nullptr, &IntDiv},
    {"vk_imod", 2, kDet, &kModulo, &IntDiv},
    {"vk_mdiv", 2, kDet, nullptr, &MoneyDiv},
    {"vk_mmul", 2, kDet, nullptr, &MoneyMul},
    {"vk_fdiv", 2, kDet, nullptr, &FloatDiv},
    {"vk_money", 1, kDet, nullptr, &ToMoney},
    {"vk_convert", 6, kDet, nullptr, &Convert},
    {"vk_convert", 7, kDet, nullptr, &Convert},
    {"vk_convert", 8, kDet, nullptr, &Convert},
    {"vk_bconcat", 2, kDet, nullptr, &ConcatBytes},
    {"vk_variant", 7, kDet, nullptr, &ToVariant},
    {"vk_variant_property", 2, kDet, nullptr, &VariantProperty},
    {"vk_dchain", -1, kDet, nullptr, &DecimalChain},
    {"vk_dneg", 1, kDet, nullptr, &DecimalSign},
    {"vk_dabs", 1, kDet, &kAbsolute, &DecimalSign},
    {"vk_dround", 3, kDet, nullptr, &DecimalRound},
    {"vk_dtext", 1, kDet, nullptr, &DecimalText},
    {"vk_dfloat", 1, kDet, nullptr, &DecimalToFloat},
    {"vk_dint", 1, kDet, nullptr, &DecimalToInteger},
    {"vk_dmoney", 1, kDet, nullptr, &DecimalToMoney},
    {"vk_mdec", 1, kDet, nullptr, &MoneyToDecimal},
    {"vk_dsum", 1, kDet, nullptr, nullptr, &DecimalAggregateStep, &DecimalAggregateFinal},
    {"vk_davg", 1, kDet, &kAverage, nullptr, &DecimalAggregateStep, &DecimalAggregateFinal},
    {"vk_intfit", 1, kDet, nullptr, &IntFit},
    {"vk_var", 1, kDet, &kVar, nullptr, &SpreadStep, &SpreadFinal},
    {"vk_varp", 1, kDet, &kVarp, nullptr, &SpreadStep, &SpreadFinal},
    {"vk_stdev", 1, kDet, &kStdev, nullptr, &SpreadStep, &SpreadFinal},
    {"vk_stdevp", 1, kDet, &kStdevp, nullptr, &SpreadStep, &SpreadFinal},
    {"vk_num", 1, kDet, nullptr, &TextToNumber},
    {"vk_dateadd", 2, kDet, nullptr, &DateAddDays},
    {"vk_getdate", 0, Kind::kVarying, nullptr, &GetDate},
    {"vk_fit_int", 3, kDet, nullptr, &FitInt},
    {"vk_fit_real", 1, kDet, nullptr, &FitReal},
    {"vk_fit_text", 3, kDet, nullptr, &FitText},
    {"vk_identity", 0, Kind::kOfConnection, nullptr, &NextIdentity},
    {"vk_cte_level", 2, kDet, nullptr, &CteLevel},
    {"vk_host_name", 0, Kind::kOfConnection, nullptr, &HostName},
    {"vk_databasepropertyex", 2, Kind::kOfConnection, nullptr, &DatabasePropertyEx},
    {"vk_collationproperty", 2, kDet, nullptr, &CollationProperty},
    {"vk_suser_sname", 0, Kind::kOfConnection, nullptr, &SuserSname},
    {"vk_dateadd_part", 3, kDet, nullptr, &DateAddPart},
    {"vk_datediff", 3, kDet, nullptr, &DateDiffPart},
    {"vk_datepart", 2, kDet, nullptr, &DatePartValue},
    {"vk_datepart", 3, kDet, nullptr, &DatePartValue},
    {"vk_datename", 2, kDet, nullptr, &DateNameValue},
    {"vk_datename", 3, kDet, nullptr, &DateNameValue},
    {"vk_reverse", 1, kDet, nullptr, &ReverseText},
    {"vk_len", 1, kDet, nullptr, &TextLen},
    {"vk_chars", 1, kDet, nullptr, &TextChars},
    {"vk_substr", 3, kDet, nullptr, &Substring},
    {"vk_right", 2, kDet, nullptr, &RightPart},
    {"vk_datalength", 2, kDet, nullptr, &TextDataLength},
    {"vk_isdate", 1, kDet, nullptr, &IsDate},
    {"vk_isnumeric", 1, kDet, nullptr, &IsNumeric},
    {"vk_newid", 0, Kind::kVarying, nullptr, &NewId},
    {"vk_getutcdate", 0, Kind::kVarying, nullptr, &GetUtcDate},
};

}  // namespace

void RegisterFunctions(sqlite3* db, FunctionContext* context) {
  auto check = [&](int rc, const char* name) {
    if (rc != SQLITE_OK) throw SqliteError(db, rc, std::string("cannot register ") + name, {});
  };
  RegisterCollations(db);
  for (const FunctionRow& f : kFunctions) {
    const int flags = SQLITE_UTF8 | (f.kind == Kind::kDeterministic ? SQLITE_DETERMINISTIC : 0);
    void* data = f.kind == Kind::kOfConnection ? context : const_cast<void*>(f.data);
    check(sqlite3_create_function(db, f.name, f.arguments, flags, data, f.scalar, f.step, f.finish), f.name);
  }
}

}  // namespace sqlsrv
