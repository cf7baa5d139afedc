// Values as text, style by style. A date style is a pattern whose fields
// stand in braces; money and floats are formatted by rule.
#include "platform/sqlserver/translation/value_text.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/sqlserver/errors.h"

namespace sqlsrv {
namespace {

com::Error StyleError(int style, const char* type) {
  return SqlErr(281, std::to_string(style) + " is not a valid style number when converting from " + type +
                         " to a character string.");
}

// {mon} Jan..Dec, {dd} day in two digits, {_d} day padded with a blank,
// {mm} month, {yyyy} {yy} year, {HH} hour of 24, {_h} hour of 12 padded
// with a blank, {mi} {ss} {mmm} minutes, seconds, milliseconds, {AM} AM or
// PM, {.mmm} milliseconds after a point when there are any.
struct DateStyle {
  int style;
  const char* pattern;
};
constexpr DateStyle kDateStyles[] = {
    {0, "{mon} {_d} {yyyy} {_h}:{mi}{AM}"},
    {100, "{mon} {_d} {yyyy} {_h}:{mi}{AM}"},
    {1, "{mm}/{dd}/{yy}"},
    {101, "{mm}/{dd}/{yyyy}"},
    {2, "{yy}.{mm}.{dd}"},
    {102, "{yyyy}.{mm}.{dd}"},
    {3, "{dd}/{mm}/{yy}"},
    {103, "{dd}/{mm}/{yyyy}"},
    {4, "{dd}.{mm}.{yy}"},
    {104, "{dd}.{mm}.{yyyy}"},
    {5, "{dd}-{mm}-{yy}"},
    {105, "{dd}-{mm}-{yyyy}"},
    {6, "{dd} {mon} {yy}"},
    {106, "{dd} {mon} {yyyy}"},
    {7, "{mon} {dd}, {yy}"},
    {107, "{mon} {dd}, {yyyy}"},
    {8, "{HH}:{mi}:{ss}"},
    {24, "{HH}:{mi}:{ss}"},
    {108, "{HH}:{mi}:{ss}"},
    {9, "{mon} {_d} {yyyy} {_h}:{mi}:{ss}:{mmm}{AM}"},
    {109, "{mon} {_d} {yyyy} {_h}:{mi}:{ss}:{mmm}{AM}"},
    {10, "{mm}-{dd}-{yy}"},
    {110, "{mm}-{dd}-{yyyy}"},
    {11, "{yy}/{mm}/{dd}"},
    {111, "{yyyy}/{mm}/{dd}"},
    {12, "{yy}{mm}{dd}"},
    {112, "{yyyy}{mm}{dd}"},
    {13, "{dd} {mon} {yyyy} {HH}:{mi}:{ss}:{mmm}"},
    {113, "{dd} {mon} {yyyy} {HH}:{mi}:{ss}:{mmm}"},
    {14, "{HH}:{mi}:{ss}:{mmm}"},
    {114, "{HH}:{mi}:{ss}:{mmm}"},
    {20, "{yyyy}-{mm}-{dd} {HH}:{mi}:{ss}"},
    {120, "{yyyy}-{mm}-{dd} {HH}:{mi}:{ss}"},
    {21, "{yyyy}-{mm}-{dd} {HH}:{mi}:{ss}.{mmm}"},
    {25, "{yyyy}-{mm}-{dd} {HH}:{mi}:{ss}.{mmm}"},
    {121, "{yyyy}-{mm}-{dd} {HH}:{mi}:{ss}.{mmm}"},
    {126, "{yyyy}-{mm}-{dd}T{HH}:{mi}:{ss}{.mmm}"},
    {127, "{yyyy}-{mm}-{dd}T{HH}:{mi}:{ss}{.mmm}"},
};

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// `v` in at least `width` digits, padded with `pad`.
std::string Padded(int v, int width, char pad = '0') {
  const std::string digits = std::to_string(v);
  const std::size_t wanted = static_cast<std::size_t>(width);
  return digits.size() < wanted ? std::string(wanted - digits.size(), pad) + digits : digits;
}

std::string DateField(std::string_view field, const com::CivilTime& t) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  if (field == "mon") return kMonths[(t.month + 11) % 12];
  if (field == "dd") return Padded(t.day, 2);
  if (field == "_d") return Padded(t.day, 2, ' ');
  if (field == "mm") return Padded(t.month, 2);
  if (field == "yyyy") return Padded(t.year, 4);
  if (field == "yy") return Padded(t.year % 100, 2);
  if (field == "HH") return Padded(t.hour, 2);
  if (field == "_h") return Padded(hour12, 2, ' ');
  if (field == "mi") return Padded(t.minute, 2);
  if (field == "ss") return Padded(t.second, 2);
  if (field == "mmm") return Padded(t.millisecond, 3);
  if (field == "AM") return t.hour < 12 ? "AM" : "PM";
  if (field == ".mmm") return t.millisecond == 0 ? "" : "." + Padded(t.millisecond, 3);
  return "";
}

// "1e+010" as SQL Server writes an exponent: a sign and three digits.
std::string WideExponent(const std::string& text) {
  const auto e = text.find('e');
  if (e == std::string::npos) return text;
  std::size_t digits = e + 1;
  if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
  const std::size_t written = text.size() - digits;
  return text.substr(0, digits) + std::string(written < 3 ? 3 - written : 0, '0') + text.substr(digits);
}

}  // namespace

std::string DateText(const com::CivilTime& t, int style) {
  for (const DateStyle& d : kDateStyles) {
    if (d.style != style) continue;
    std::string out;
    for (const char* p = d.pattern; *p;) {
      if (*p != '{') {
        out += *p++;
        continue;
      }
      const char* close = p;
      while (*close != '}') ++close;
      out += DateField(std::string_view(p + 1, static_cast<std::size_t>(close - p - 1)), t);
      p = close + 1;
    }
    return out;
  }
  throw StyleError(style, "datetime");
}

std::string MoneyText(std::int64_t units, int style) {
  if (style != 0 && style != 1 && style != 2 && style != 126) throw StyleError(style, "money");
  const bool negative = units < 0;
  // The magnitude, rounded half away from zero to two decimals for styles
  // 0 and 1.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  const bool four = style == 2 || style == 126;
  if (!four) magnitude = (magnitude + 50) / 100;
  const std::uint64_t scale = four ? 10000 : 100;
  std::string whole = std::to_string(magnitude / scale);
  if (style == 1) {
    for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(static_cast<std::size_t>(at), ",");
  }
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, four ? "%04llu" : "%02llu",
                static_cast<unsigned long long>(magnitude % scale));
  return (negative && magnitude != 0 ? "-" : "") + whole + "." + fraction;
}

std::string FloatText(double v, int style) {
  const char* format = nullptr;
  switch (style) {
    case 0: format = "%.6g"; break;
    case 1: format = "%.7e"; break;
    case 2: case 126: format = "%.15e"; break;
    case 3: format = "%.16e"; break;
    default: throw StyleError(style, "float");
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return WideExponent(buf);
}

}  // namespace sqlsrv
