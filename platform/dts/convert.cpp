#include "platform/dts/convert.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/com/error.h"
#include "platform/com/numeric.h"
#include "platform/com/unicode.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/oledb.h"
#include "platform/dts/row_errors.h"
#include "platform/port/per_thread.h"

namespace dts {
namespace {

bool IsMoney(const ColumnInfo& c) { return c.type == DBTYPE_CY; }
bool IsSmall(const ColumnInfo& c) { return c.precision == 10 || c.precision == 16; }  // smallmoney, smalldatetime

struct Range {
  std::int64_t lo, hi;
};

Range IntegerRange(std::uint16_t type) {
  switch (type) {
    case DBTYPE_BOOL: return {0, 1};
    case DBTYPE_UI1: return {0, 255};
    case DBTYPE_I2: return {-32768, 32767};
    case DBTYPE_I4: return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    default: return {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
  }
}

// The bytes of an integer type's storage.
std::size_t IntegerWidth(std::uint16_t type) {
  switch (type) {
    case DBTYPE_BOOL: case DBTYPE_UI1: return 1;
    case DBTYPE_I2: return 2;
    case DBTYPE_I4: return 4;
    default: return 8;
  }
}

com::VarType IntegerVariant(std::uint16_t type) {
  switch (type) {
    case DBTYPE_BOOL: return com::VarType::kBool;
    case DBTYPE_UI1: return com::VarType::kUI1;
    case DBTYPE_I2: return com::VarType::kI2;
    case DBTYPE_I4: return com::VarType::kI4;
    default: return com::VarType::kI8;
  }
}

std::string_view Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

[[noreturn]] void FailConversion(const com::Variant& v, const ColumnInfo& c) {
  throw ConversionError(v.IsText() ? "varchar" : "value", v.ToText(), TypeName(c));
}

[[noreturn]] void Overflow(const ColumnInfo& c, const std::string& value) {
  if (IsMoney(c)) throw ConvertOverflowError(TypeName(c));
  throw OverflowError(TypeName(c), value);
}


// The name SQL Server's messages give a value's type: "converting int to
// data type numeric".
const char* SourceTypeName(const com::Variant& v) {
  switch (v.type()) {
    case com::VarType::kBool: return "bit";
    case com::VarType::kUI1: return "tinyint";
    case com::VarType::kI2: return "smallint";
    case com::VarType::kI4: return "int";
    case com::VarType::kI8: return "bigint";
    case com::VarType::kR4: return "real";
    case com::VarType::kR8: return "float";
    case com::VarType::kCurrency: return "money";
    case com::VarType::kDecimal: return "numeric";
    case com::VarType::kBytes: return "varbinary";
    case com::VarType::kDate: return "datetime";
    default: return "varchar";
  }
}

[[noreturn]] void ImplicitNotAllowed(const com::Variant& v, const ColumnInfo& c) {
  throw ImplicitConversionError(SourceTypeName(v), TypeName(c));
}

// A decimal value (its canonical text) as a number; a text no number is
// taken as zero (a Decimal variant always holds a number).
com::Numeric DecimalOf(const com::Variant& v) {
  com::Numeric n;
  com::ParseNumeric(v.text(), &n);
  return n;
}

// The converters of the code pages single-byte columns use, one set per
// thread (a converter keeps state between calls).
com::CodePage& CodePageOf(std::uint16_t number) {
  auto& pages = port::PerThread<std::map<std::uint16_t, std::unique_ptr<com::CodePage>>>();
  auto& page = pages[number];
  if (!page) page = std::make_unique<com::CodePage>("CP" + std::to_string(number));
  return *page;
}

// The code page of single-byte text whose column names none: the server's.
constexpr std::uint16_t kDefaultCodePage = 936;

// The order this thread reads numeric dates in (DateOrderScope).
thread_local DateOrder t_date_order = DateOrder::kMdy;

// The letters of each order, as SET DATEFORMAT writes them.
constexpr const char* kOrderLetters[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};

// A numeric date, "a/b/c" with "/", "-" or "." between its fields (the
// same both times), as "YYYY-MM-DD": a field of four digits is the year
// and the other two are the month and the day in the order `order` puts
// them in; without one, every field is read in the order, the year of two
// digits (up to 49 in the 2000s, 50 and on in the 1900s). nullopt for
// other text.
std::optional<std::string> NumericDate(std::string_view date, DateOrder order) {
  std::string_view fields[3];
  std::size_t pos = 0;
  char separator = 0;
  for (int k = 0; k < 3; ++k) {
    const std::size_t start = pos;
    while (pos < date.size() && date[pos] >= '0' && date[pos] <= '9') ++pos;
    if (pos == start || pos - start > 4 || pos - start == 3) return std::nullopt;
    fields[k] = date.substr(start, pos - start);
    if (k == 2) break;
    if (pos >= date.size() || (date[pos] != '/' && date[pos] != '-' && date[pos] != '.')) return std::nullopt;
    if (k == 1 && date[pos] != separator) return std::nullopt;
    separator = date[pos++];
  }
  if (pos != date.size()) return std::nullopt;
  auto number = [](std::string_view f) {
    int v = 0;
    for (char c : f) v = v * 10 + (c - '0');
    return v;
  };
  const std::string_view letters = kOrderLetters[static_cast<int>(order)];
  int year_field = -1;
  for (int k = 0; k < 3; ++k) {
    if (fields[k].size() != 4) continue;
    if (year_field >= 0) return std::nullopt;
    year_field = k;
  }
  int year = 0, month = 0, day = 0;
  if (year_field >= 0) {
    const bool month_first = letters.find('m') < letters.find('d');
    const int first = year_field == 0 ? 1 : 0, second = year_field == 2 ? 1 : 2;
    year = number(fields[year_field]);
    month = number(fields[month_first ? first : second]);
    day = number(fields[month_first ? second : first]);
  } else {
    for (int k = 0; k < 3; ++k) {
      const int v = number(fields[k]);
      if (letters[static_cast<std::size_t>(k)] == 'y') {
        if (fields[k].size() != 2) return std::nullopt;
        year = v < 50 ? 2000 + v : 1900 + v;
      } else {
        (letters[static_cast<std::size_t>(k)] == 'm' ? month : day) = v;
      }
    }
  }
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return std::string(text);
}

// Rewrites the accepted date forms as "YYYY-MM-DD[ time]".
std::string NormalizeDateText(std::string_view raw) {
  std::string s(Trim(raw));
  // 20070123[ time]
  if (s.size() >= 8 && s.find_first_not_of("0123456789") >= 8 && (s.size() == 8 || s[8] == ' ')) {
    return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + s.substr(8);
  }
  // 01/23/2007[ time], 2007-01-23[ time]: in the session's date order.
  const std::size_t end = std::min(s.find(' '), s.size());
  if (auto date = NumericDate(std::string_view(s).substr(0, end), t_date_order)) return *date + s.substr(end);
  return s;
}

// The words of a written date and time: runs of characters between
// blanks and commas.
std::vector<std::string_view> DateWords(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < s.size()) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == ',' || s[pos] == '\t')) ++pos;
    const std::size_t start = pos;
    while (pos < s.size() && s[pos] != ' ' && s[pos] != ',' && s[pos] != '\t') ++pos;
    if (pos > start) words.push_back(s.substr(start, pos - start));
  }
  return words;
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

// The month an English month name or its three-letter abbreviation
// names; 0 for other words.
int MonthOfName(std::string_view word) {
  static constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
  for (int m = 0; m < 12; ++m) {
    const std::string_view name = kMonths[m];
    if (SameLetters(word, name) || SameLetters(word, name.substr(0, 3))) return m + 1;
  }
  return 0;
}

bool AllDigits(std::string_view s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos; }

int NumberOf(std::string_view digits) {
  int v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

// Whether a word ends in AM or PM (either case), and the rest of it.
bool EndsInMeridiem(std::string_view word, std::string_view* rest, bool* pm) {
  if (word.size() < 2) return false;
  const std::string_view tail = word.substr(word.size() - 2);
  if (!SameLetters(tail, "AM") && !SameLetters(tail, "PM")) return false;
  *pm = SameLetters(tail, "PM");
  *rest = word.substr(0, word.size() - 2);
  return true;
}

// A time as SQL Server reads one: hours, then minutes, seconds and
// milliseconds, each after a colon ("10:24:35:056", the milliseconds in
// thousandths), or the seconds' fraction after a point (".5" a tenth,
// ".05" a hundredth); with AM or PM after it, or after the hours alone
// ("4PM"), the hours of 0 to 12 on a 12-hour clock. False for other text.
bool ParseWrittenTime(std::string_view text, com::CivilTime* t) {
  bool pm = false;
  std::string_view rest;
  const bool meridiem = EndsInMeridiem(text, &rest, &pm);
  if (meridiem) {
    text = rest;
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  }
  int parts[4] = {0, 0, 0, 0};
  std::size_t pos = 0;
  int count = 0;
  for (; count < 4; ++count) {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    const std::size_t digits = pos - start;
    if (digits == 0 || digits > (count == 3 ? 3u : 2u)) return false;
    parts[count] = NumberOf(text.substr(start, digits));
    if (pos == text.size()) {
      ++count;
      break;
    }
    if (text[pos] == '.' && count == 2) {
      // The seconds' fraction: one digit tenths, two hundredths, three
      // thousandths.
      const std::string_view fraction = text.substr(pos + 1);
      if (fraction.empty() || fraction.size() > 3 || !AllDigits(fraction)) return false;
      parts[3] = NumberOf(fraction) * (fraction.size() == 1 ? 100 : fraction.size() == 2 ? 10 : 1);
      count = 4;
      pos = text.size();
      break;
    }
    if (text[pos] != ':' || count == 3) return false;
    ++pos;
  }
  if (pos != text.size() || (count == 1 && !meridiem)) return false;
  int hour = parts[0];
  if (meridiem) {
    if (hour > 12 || (pm && hour == 0)) return false;
    if (pm && hour < 12) hour += 12;
    if (!pm && hour == 12) hour = 0;
  }
  if (hour > 23 || parts[1] > 59 || parts[2] > 59) return false;
  t->hour = hour;
  t->minute = parts[1];
  t->second = parts[2];
  t->millisecond = parts[3];
  return true;
}

// A date written with its month's English name, as SQL Server reads one:
// the month's word anywhere among a day of one or two digits and a year
// ("Jan 1 2002", "1 Jan, 2002", "2002 January 1", "Jan 2002", where the
// day is the 1st); a year of two digits when the day comes before it ("Jan
// 1 02", up to 49 in the 2000s). False for other words.
bool ParseNamedDate(const std::vector<std::string_view>& words, com::CivilTime* t) {
  if (words.size() < 2 || words.size() > 3) return false;
  int month = 0;
  std::vector<std::string_view> numbers;
  for (std::string_view w : words) {
    if (const int m = MonthOfName(w); m != 0 && month == 0) {
      month = m;
    } else if (AllDigits(w) && (w.size() <= 2 || w.size() == 4)) {
      numbers.push_back(w);
    } else {
      return false;
    }
  }
  if (month == 0) return false;
  int day = 1, year = 0;
  const auto year_of = [](std::string_view w) { return w.size() == 4 ? NumberOf(w) : NumberOf(w) < 50 ? 2000 + NumberOf(w) : 1900 + NumberOf(w); };
  if (numbers.size() == 1) {
    if (numbers[0].size() != 4) return false;
    year = NumberOf(numbers[0]);
  } else {
    // A year of four digits, wherever it stands; else the day first.
    const bool first_is_year = numbers[0].size() == 4;
    if (first_is_year && numbers[1].size() == 4) return false;
    const std::string_view day_word = first_is_year ? numbers[1] : numbers[0];
    if (day_word.size() > 2) return false;
    day = NumberOf(day_word);
    year = year_of(first_is_year ? numbers[0] : numbers[1]);
  }
  char ymd[48];
  std::snprintf(ymd, sizeof ymd, "%04d-%02d-%02d", year, month, day);
  if (!com::ParseCivil(ymd)) return false;  // no such day
  t->year = year;
  t->month = month;
  t->day = day;
  return true;
}

// The forms of a date and time SQL Server reads beyond the numeric ones
// with a 24-hour time: a date with its month's name, a time of the
// 12-hour clock or with milliseconds after a colon, and a time alone (on
// 1900-01-01) or a date alone (at midnight). nullopt for other text.
std::optional<com::CivilTime> ParseWrittenDateTime(std::string_view text) {
  const std::vector<std::string_view> words = DateWords(Trim(text));
  // The time begins at the first word with a colon or ending in AM or PM
  // (or at the number before a lone AM or PM).
  std::size_t time_at = words.size();
  for (std::size_t i = 0; i < words.size() && time_at == words.size(); ++i) {
    std::string_view rest;
    bool pm = false;
    if (words[i].find(':') != std::string_view::npos) {
      time_at = i;
    } else if (EndsInMeridiem(words[i], &rest, &pm)) {
      time_at = rest.empty() && i > 0 ? i - 1 : i;
    }
  }
  com::CivilTime t{1900, 1, 1, 0, 0, 0, 0};
  if (time_at < words.size()) {
    std::string time(words[time_at]);
    for (std::size_t i = time_at + 1; i < words.size(); ++i) time += " " + std::string(words[i]);
    if (!ParseWrittenTime(time, &t)) return std::nullopt;
  }
  const std::vector<std::string_view> date(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(time_at));
  if (date.empty()) return time_at < words.size() ? std::optional<com::CivilTime>(t) : std::nullopt;
  if (date.size() == 1) {
    // A numeric date, or eight digits, before the time.
    std::string ymd;
    if (date[0].size() == 8 && AllDigits(date[0])) {
      ymd = std::string(date[0].substr(0, 4)) + "-" + std::string(date[0].substr(4, 2)) + "-" +
            std::string(date[0].substr(6, 2));
    } else if (auto numeric = NumericDate(date[0], t_date_order)) {
      ymd = *numeric;
    } else {
      return std::nullopt;
    }
    const auto day = com::ParseCivil(ymd);
    if (!day) return std::nullopt;
    t.year = day->year, t.month = day->month, t.day = day->day;
    return t;
  }
  if (!ParseNamedDate(date, &t)) return std::nullopt;
  return t;
}

void ToInteger(const com::Variant& v, const ColumnInfo& c, com::Variant* out) {
  using com::VarType;
  std::int64_t n = 0;
  switch (v.type()) {
    case VarType::kBool: n = v.integer() ? 1 : 0; break;
    case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1: n = v.integer(); break;
    case VarType::kCurrency: {
      // Money rounds half away from zero.
      const std::int64_t units = v.integer();
      n = units / 10000;
      const std::int64_t rem = units % 10000;
      if (rem >= 5000) ++n;
      if (rem <= -5000) --n;
      break;
    }
    case VarType::kR4: case VarType::kR8: {
      // Floating values are cut towards zero.
      const double d = v.ToDouble();
      if (!(std::fabs(d) < 9.2e18)) Overflow(c, v.ToText());
      n = static_cast<std::int64_t>(std::trunc(d));
      break;
    }
    case VarType::kDecimal: {
      // Decimals too, exactly; any that is not zero is a true bit.
      const com::Numeric d = DecimalOf(v);
      if (c.type == DBTYPE_BOOL) {
        n = d.magnitude != 0;
      } else if (com::NumericToInteger(d, &n) != com::NumericStatus::kOk) {
        throw ConvertOverflowError(TypeName(c), "numeric");
      }
      const Range r = IntegerRange(c.type);
      if (n < r.lo || n > r.hi) throw ConvertOverflowError(TypeName(c), "numeric");
      break;
    }
    case VarType::kBytes: {
      // The rightmost bytes the type holds; a bit is 1 for any that is not 0.
      const std::size_t width = IntegerWidth(c.type);
      n = IntegerOfBytes(v.text(), width, c.type != DBTYPE_UI1 && c.type != DBTYPE_BOOL);
      out->SetInteger(IntegerVariant(c.type), c.type == DBTYPE_BOOL ? n != 0 : n);
      return;
    }
    case VarType::kText: {
      const std::string_view s = Trim(v.text());
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
      if (c.type == DBTYPE_BOOL && (s == "TRUE" || s == "true" || s == "True")) {
        n = 1;
      } else if (c.type == DBTYPE_BOOL && (s == "FALSE" || s == "false" || s == "False")) {
        n = 0;
      } else if (ec == std::errc::result_out_of_range) {
        Overflow(c, std::string(s));
      } else if (ec != std::errc() || p != s.data() + s.size() || s.empty()) {
        FailConversion(v, c);
      }
      break;
    }
    default:
      ImplicitNotAllowed(v, c);
  }
  if (c.type == DBTYPE_BOOL) n = n != 0;
  const Range r = IntegerRange(c.type);
  if (n < r.lo || n > r.hi) Overflow(c, std::to_string(n));
  out->SetInteger(IntegerVariant(c.type), n);
}

void ToMoney(const com::Variant& v, const ColumnInfo& c, com::Variant* out) {
  using com::VarType;
  std::int64_t units = 0;
  switch (v.type()) {
    case VarType::kCurrency: units = v.integer(); break;
    case VarType::kBool: case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1:
      if (v.integer() > 922337203685477 || v.integer() < -922337203685477) Overflow(c, v.ToText());
      units = v.integer() * 10000;
      break;
    case VarType::kR4: case VarType::kR8: {
      const double d = v.real() * 10000.0;
      if (!(std::fabs(d) < 9.2e18)) Overflow(c, v.ToText());
      units = std::llround(d);
      break;
    }
    case VarType::kDecimal: {
      // Rounded half away from zero to four decimals, exactly.
      com::Numeric m;
      if (com::RescaleNumeric(DecimalOf(v), com::kMaxNumericDigits, 4, &m) != com::NumericStatus::kOk ||
          com::NumericToInteger(com::Numeric{m.magnitude, 0, m.negative}, &units) != com::NumericStatus::kOk) {
        throw ConvertOverflowError(TypeName(c), "numeric");
      }
      if (IsSmall(c) && (units > 2147483647LL || units < -2147483648LL)) {
        throw ConvertOverflowError(TypeName(c), "numeric");
      }
      break;
    }
    case VarType::kBytes:
      units = IntegerOfBytes(v.text(), IsSmall(c) ? 4 : 8, true);
      break;
    case VarType::kText: {
      std::string_view s = Trim(v.text());
      if (!s.empty() && s[0] == '$') s.remove_prefix(1);
      if (!com::ParseCurrency(std::string(s), &units)) {
        double d = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (ec != std::errc() || p != s.data() + s.size() || s.empty()) {
          throw MoneySyntaxError();
        }
        if (!(std::fabs(d * 10000.0) < 9.2e18)) Overflow(c, std::string(s));
        units = std::llround(d * 10000.0);
      }
      break;
    }
    default:
      ImplicitNotAllowed(v, c);
  }
  if (IsSmall(c) && (units > 2147483647LL || units < -2147483648LL)) Overflow(c, v.ToText());
  out->SetInteger(VarType::kCurrency, units);
}

void ToFloat(const com::Variant& v, const ColumnInfo& c, com::Variant* out) {
  double d = 0;
  if (v.type() == com::VarType::kDate) ImplicitNotAllowed(v, c);
  if (v.type() == com::VarType::kBytes) throw ExplicitConversionError("varbinary", TypeName(c));
  if (v.IsText()) {
    const std::string_view s = Trim(v.text());
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) FailConversion(v, c);
  } else {
    d = v.ToDouble();
  }
  if (!std::isfinite(d)) Overflow(c, v.ToText());
  if (c.type == DBTYPE_R4) {
    out->SetReal(com::VarType::kR4, static_cast<double>(static_cast<float>(d)));
  } else {
    out->SetReal(com::VarType::kR8, d);
  }
}

// Into decimal(precision, scale), exactly: digits past the scale rounded
// half away from zero, 8115 when the integer part does not fit, 8114 for
// text that is no number. A column of no stated precision keeps the value
// as it is.
void ToDecimal(const com::Variant& v, const ColumnInfo& c, com::Variant* out) {
  using com::NumericStatus;
  using com::VarType;
  const int precision = c.precision == 0 ? com::kMaxNumericDigits : c.precision;
  com::Numeric n;
  NumericStatus status = NumericStatus::kOk;
  switch (v.type()) {
    case VarType::kBool: case VarType::kUI1: case VarType::kI2: case VarType::kI4: case VarType::kI8:
      status = com::RescaleNumeric(com::NumericFromInteger(v.type() == VarType::kBool ? v.integer() != 0 : v.integer()),
                                   precision, c.scale, &n);
      break;
    case VarType::kCurrency:
      status = com::RescaleNumeric(com::NumericFromUnits(v.integer()), precision, c.scale, &n);
      break;
    case VarType::kR4: case VarType::kR8:
      status = com::NumericFromDouble(v.real(), precision, c.scale, &n);
      break;
    case VarType::kDecimal: case VarType::kText:
      if (c.precision == 0) {
        status = com::ParseNumeric(v.text(), &n);
      } else {
        status = com::ParseNumeric(v.text(), precision, c.scale, &n);
      }
      break;
    case VarType::kBytes:
      // SQL Server reads its own internal decimal form from bytes.
      throw SqlServerError(kNotSupportedError, "Converting binary data to decimal is not supported by the embedded server.");
    default:
      ImplicitNotAllowed(v, c);
  }
  if (status == NumericStatus::kNotANumber) throw NumericConversionError(SourceTypeName(v));
  if (status != NumericStatus::kOk) throw ConvertOverflowError("numeric", SourceTypeName(v));
  std::string& text = port::PerThread<std::string, struct DecimalTextTag>();
  text.clear();
  com::AppendNumeric(n, &text);
  out->SetDecimal(text);
}

void ToDateTime(const com::Variant& v, const ColumnInfo& c, com::Variant* out) {
  std::optional<com::CivilTime> t;
  if (v.type() == com::VarType::kDate) {
    if (std::isfinite(v.real()) && v.real() > -100000 && v.real() < 3'000'000) {
      t = SqlDateTime(com::CivilFromOleDate(v.real()));
    }
    if (!t) {
      throw DateRangeError("date");
    }
  } else if (v.IsText()) {
    auto civil = ParseSqlDateText(v.text());
    if (!civil) throw DateSyntaxError();
    t = SqlDateTime(*civil);
    if (!t) {
      throw DateRangeError("char");
    }
  } else if (v.type() == com::VarType::kBytes) {
    const double ole = DateTimeOfBytes(v.text(), IsSmall(c));
    if (ole > -100000 && ole < 3'000'000) t = SqlDateTime(com::CivilFromOleDate(ole));
    if (!t) throw DateRangeError("");
  } else if (v.IsNumeric()) {
    const double days = v.ToDouble() + 2.0;  // numbers count days from 1900-01-01
    if (std::isfinite(days) && days > -100000 && days < 3'000'000) t = SqlDateTime(com::CivilFromOleDate(days));
    if (!t) throw DateRangeError("");
  } else {
    ImplicitNotAllowed(v, c);
  }
  out->SetReal(com::VarType::kDate, com::OleDateFromCivil(*t));
}

// The text a value becomes in a character column.
void AsText(const com::Variant& v, const ColumnInfo& c, std::string* text) {
  switch (v.type()) {
    case com::VarType::kText: *text = v.text(); break;
    case com::VarType::kBytes: {
      // Bytes are the characters they encode: in the column's code page,
      // or UTF-16 for a Unicode column (an odd last byte is dropped).
      const std::string& b = v.text();
      const auto* data = reinterpret_cast<const unsigned char*>(b.data());
      if (c.type == DBTYPE_STR) {
        CodePageOf(c.code_page != 0 ? c.code_page : kDefaultCodePage).ToUtf8(data, b.size(), text);
      } else {
        text->clear();
        com::Utf16LeToUtf8(data, b.size() & ~std::size_t{1}, text);
      }
      break;
    }
    case com::VarType::kBool: *text = v.integer() ? "1" : "0"; break;
    case com::VarType::kCurrency: {
      // Money becomes text with two decimals.
      const std::int64_t cents = v.integer() >= 0 ? (v.integer() + 50) / 100 : (v.integer() - 50) / 100;
      *text = com::FormatCurrency(cents * 100);
      text->resize(text->size() - 2);
      break;
    }
    case com::VarType::kDate: {
      auto t = std::isfinite(v.real()) && v.real() > -100000 && v.real() < 3'000'000
                   ? SqlDateTime(com::CivilFromOleDate(v.real()))
                   : std::nullopt;
      if (!t) {
        *text = v.ToText();
        break;
      }
      char buf[40];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t->year, t->month, t->day, t->hour,
                    t->minute, t->second, t->millisecond);
      *text = buf;
      break;
    }
    default: *text = v.ToText();
  }
}

// Cuts text, character by character, until the column holds it.
void CutToFit(const ColumnInfo& c, std::string* text) {
  std::u16string units;
  com::Utf8ToUtf16(*text, &units);
  std::string cut;
  for (std::size_t n = units.size(); n > 0; --n) {
    if (units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF) continue;  // do not split a pair
    cut.clear();
    com::Utf16Sink sink(&cut);
    for (std::size_t k = 0; k < n; ++k) sink.Put(units[k]);
    if (TextLength(cut, c) <= c.size) break;
    cut.clear();
  }
  *text = std::move(cut);
}

// Pads text of char(n) or nchar(n) with blanks to the column's size;
// other text stays as it is.
void PadToSize(const ColumnInfo& c, std::string* text) {
  if (!c.is_fixed_length || c.is_long || c.size == 0) return;
  const std::size_t length = com::IsAscii(*text) ? text->size() : TextLength(*text, c);
  if (length < c.size) text->append(c.size - length, ' ');
}

bool ToText(const com::Variant& v, const ColumnInfo& c, bool allow_truncation, com::Variant* out) {
  // Most values are text already, most of them fit and most single-byte
  // ones are ASCII: those pass with one copy, without being measured.
  std::string made;
  std::string_view text;
  if (v.IsText()) {
    text = v.text();
  } else {
    AsText(v, c, &made);
    text = made;
  }
  bool changed = false;
  if (c.type == DBTYPE_STR && c.code_page != 0 && !com::IsAscii(text)) {
    // Single-byte text keeps only what the column's code page can hold.
    com::CodePage& page = CodePageOf(c.code_page);
    std::string& bytes = port::PerThread<std::string, struct KeptBytesTag>();
    if (page.FromUtf8Lossy(text, &bytes) > 0) {
      std::string replaced;
      page.ToUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &replaced);
      made = std::move(replaced);
      text = made;
      changed = true;
    }
  }
  // A text never has more UTF-16 units, nor more bytes in a code page, than
  // it has UTF-8 bytes: only a longer one needs counting.
  if (c.size > 0 && !c.is_long && text.size() > c.size && TextLength(text, c) > c.size) {
    // A number is never cut: its digits would change its value.
    if (v.type() == com::VarType::kDecimal) {
      throw ConvertOverflowError(c.type == DBTYPE_STR ? "varchar" : "nvarchar", "numeric");
    }
    if (!allow_truncation) throw TruncationError();
    std::string cut(text);
    CutToFit(c, &cut);
    PadToSize(c, &cut);
    out->SetText(cut);
    return true;
  }
  if (c.is_fixed_length && c.size > 0) {
    std::string padded(text);
    PadToSize(c, &padded);
    out->SetText(padded);
    return changed;
  }
  out->SetText(text);
  return changed;
}

// Into binary(n) or varbinary(n): bytes as they are, numbers and dates as
// their storage bytes (binary_form.h). Numbers too long for the column
// lose their leading bytes and short ones are padded on the left, as SQL
// Server pads and cuts them; bytes too long raise 8152, or are cut on the
// right when `allow_truncation`. Text converts only explicitly (CONVERT).
bool ToBytes(const com::Variant& v, const ColumnInfo& c, bool allow_truncation, com::Variant* out) {
  using com::VarType;
  std::string& bytes = port::PerThread<std::string, struct ToBytesTag>();
  bool number = true;
  switch (v.type()) {
    case VarType::kBytes: bytes = v.text(); number = false; break;
    case VarType::kBool: bytes = BigEndianBytes(v.integer() != 0, 1); break;
    case VarType::kUI1: bytes = BigEndianBytes(v.integer(), 1); break;
    case VarType::kI2: bytes = BigEndianBytes(v.integer(), 2); break;
    case VarType::kI4: bytes = BigEndianBytes(v.integer(), 4); break;
    case VarType::kI8: case VarType::kCurrency: bytes = BigEndianBytes(v.integer(), 8); break;
    case VarType::kR4: bytes = FloatBytes(static_cast<float>(v.real())); break;
    case VarType::kR8: bytes = DoubleBytes(v.real()); break;
    case VarType::kDate: bytes = DateTimeBytes(v.real()); break;
    case VarType::kDecimal:
      throw SqlServerError(kNotSupportedError, "Converting a decimal to binary data is not supported by the embedded server.");
    default:
      ImplicitNotAllowed(v, c);
  }
  const std::size_t size = c.is_long || c.size == 0 ? bytes.size() : c.size;
  bool cut = false;
  if (bytes.size() > size) {
    if (number) {
      bytes.erase(0, bytes.size() - size);
    } else if (!allow_truncation) {
      throw TruncationError();
    } else {
      bytes.resize(size);
      cut = true;
    }
  }
  if (c.is_fixed_length && bytes.size() < size) {
    if (number) {
      bytes.insert(0, size - bytes.size(), '\0');
    } else {
      bytes.append(size - bytes.size(), '\0');
    }
  }
  out->SetBytes(bytes);
  return cut;
}

// Into uniqueidentifier: a GUID's text, or 16 bytes in SQL Server's
// order; other text raises 8169, other types 206.
void ToGuid(const com::Variant& v, com::Variant* out) {
  if (v.IsText()) {
    auto guid = GuidText(v.text());
    if (!guid) {
      throw GuidConversionError();
    }
    return out->SetText(*guid);
  }
  if (v.type() == com::VarType::kBytes && v.text().size() == 16) return out->SetText(GuidTextOfBytes(v.text()));
  if (v.type() == com::VarType::kBytes) {
    throw SqlServerError(kNotSupportedError, "Converting binary data of " + std::to_string(v.text().size()) +
                                                    " bytes to uniqueidentifier (only 16 bytes make one) is not "
                                                    "supported by the embedded server.");
  }
  throw SqlServerError(206, std::string("Operand type clash: ") + SourceTypeName(v) +
                                " is incompatible with uniqueidentifier");
}

// Where each byte of a GUID's 16 stands in its text, in the order of the
// bytes: the first three groups are written most significant byte first.
constexpr int kGuidTextPosition[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> GuidText(std::string_view text) {
  if (text.size() < 36) return std::nullopt;
  std::string out(text.substr(0, 36));
  for (std::size_t i = 0; i < out.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? out[i] != '-' : HexDigit(out[i]) < 0) return std::nullopt;
    if (out[i] >= 'a' && out[i] <= 'f') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
  return out;
}

std::string GuidBytes(std::string_view guid_text) {
  std::string bytes(16, '\0');
  for (int i = 0; i < 16; ++i) {
    const auto at = static_cast<std::size_t>(kGuidTextPosition[i]);
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(HexDigit(guid_text[at]) << 4 | HexDigit(guid_text[at + 1]));
  }
  return bytes;
}

std::string GuidTextOfBytes(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "00000000-0000-0000-0000-000000000000";
  for (int i = 0; i < 16; ++i) {
    const auto b = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    const auto at = static_cast<std::size_t>(kGuidTextPosition[i]);
    text[at] = kHex[b >> 4];
    text[at + 1] = kHex[b & 0x0F];
  }
  return text;
}

bool ConvertValue(const com::Variant& value, const ColumnInfo& column, bool allow_truncation, com::Variant* out) {
  if (value.IsNull() || value.IsEmpty()) {
    out->SetNull();
    return false;
  }
  switch (column.type) {
    case DBTYPE_BOOL: case DBTYPE_UI1: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_I8:
      ToInteger(value, column, out);
      return false;
    case DBTYPE_CY:
      ToMoney(value, column, out);
      return false;
    case DBTYPE_R4: case DBTYPE_R8:
      ToFloat(value, column, out);
      return false;
    case DBTYPE_NUMERIC:
      ToDecimal(value, column, out);
      return false;
    case DBTYPE_DBTIMESTAMP: case DBTYPE_DATE:
      ToDateTime(value, column, out);
      return false;
    case DBTYPE_BYTES:
      return ToBytes(value, column, allow_truncation, out);
    case DBTYPE_GUID:
      ToGuid(value, out);
      return false;
    default:
      return ToText(value, column, allow_truncation, out);
  }
}

std::string TypeName(const ColumnInfo& c) {
  switch (c.type) {
    case DBTYPE_BOOL: return "bit";
    case DBTYPE_UI1: return "tinyint";
    case DBTYPE_I2: return "smallint";
    case DBTYPE_I4: return "int";
    case DBTYPE_I8: return "bigint";
    case DBTYPE_CY: return IsSmall(c) ? "smallmoney" : "money";
    case DBTYPE_R8: return "float";
    case DBTYPE_R4: return "real";
    case DBTYPE_NUMERIC: return "numeric";
    case DBTYPE_DBTIMESTAMP: case DBTYPE_DATE: return IsSmall(c) ? "smalldatetime" : "datetime";
    case DBTYPE_STR:
      if (c.is_long) return "text";
      return (c.is_fixed_length ? "char(" : "varchar(") + std::to_string(c.size) + ")";
    case DBTYPE_GUID: return "uniqueidentifier";
    case DBTYPE_BYTES:
      if (c.is_long) return "varbinary(max)";
      return (c.is_fixed_length ? "binary(" : "varbinary(") + std::to_string(c.size) + ")";
    default:
      if (c.is_long) return "ntext";
      return (c.is_fixed_length ? "nchar(" : "nvarchar(") + std::to_string(c.size) + ")";
  }
}

std::size_t TextLength(std::string_view utf8, const ColumnInfo& column) {
  if (column.type != DBTYPE_STR || column.code_page == 0) return com::Utf16Length(utf8).value_or(utf8.size());
  std::string& bytes = port::PerThread<std::string, struct TextLengthTag>();
  CodePageOf(column.code_page).FromUtf8Lossy(utf8, &bytes);
  return bytes.size();
}

std::optional<com::CivilTime> SqlDateTime(com::CivilTime t) {
  std::int64_t ms = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
  const std::int64_t ticks = std::llround(static_cast<double>(ms) * 0.3);
  ms = std::llround(static_cast<double>(ticks) / 0.3);
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
  return t;
}

DateOrderScope::DateOrderScope(DateOrder order) : previous_(t_date_order) { t_date_order = order; }
DateOrderScope::~DateOrderScope() { t_date_order = previous_; }

std::optional<com::CivilTime> ParseSqlDateText(std::string_view text) {
  if (auto t = com::ParseCivil(NormalizeDateText(text))) return t;
  return ParseWrittenDateTime(text);
}

}  // namespace dts
