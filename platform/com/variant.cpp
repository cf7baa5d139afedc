#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <concepts>
#include <limits>

#include "platform/com/datetime.h"
#include "platform/com/error.h"

namespace com {
namespace {

[[noreturn]] void Mismatch(const Variant& v, std::string_view wanted) {
  throw Error(kErrTypeMismatch, "Variant",
              "类型不匹配：无法把 " + std::string(VarTypeName(v.type())) + " 值“" + v.ToText() +
                  "”转换为" + std::string(wanted));
}

std::string TrimmedCopy(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace

std::string_view VarTypeName(VarType t) {
  switch (t) {
    case VarType::kEmpty: return "empty";
    case VarType::kNull: return "null";
    case VarType::kI2: return "i2";
    case VarType::kI4: return "i4";
    case VarType::kR4: return "r4";
    case VarType::kR8: return "r8";
    case VarType::kCurrency: return "cy";
    case VarType::kDate: return "date";
    case VarType::kText: return "str";
    case VarType::kBool: return "bool";
    case VarType::kDecimal: return "dec";
    case VarType::kUI1: return "ui1";
    case VarType::kI8: return "i8";
    case VarType::kBytes: return "bytes";
  }
  return "?";
}

Variant Variant::Null() { Variant v; v.type_ = VarType::kNull; return v; }
Variant Variant::I2(std::int16_t x) { Variant v; v.SetInteger(VarType::kI2, x); return v; }
Variant Variant::I4(std::int32_t x) { Variant v; v.SetInteger(VarType::kI4, x); return v; }
Variant Variant::I8(std::int64_t x) { Variant v; v.SetInteger(VarType::kI8, x); return v; }
Variant Variant::UI1(std::uint8_t x) { Variant v; v.SetInteger(VarType::kUI1, x); return v; }
Variant Variant::R4(float x) { Variant v; v.SetReal(VarType::kR4, x); return v; }
Variant Variant::R8(double x) { Variant v; v.SetReal(VarType::kR8, x); return v; }
Variant Variant::Currency(std::int64_t x) { Variant v; v.SetInteger(VarType::kCurrency, x); return v; }
Variant Variant::Date(double x) { Variant v; v.SetReal(VarType::kDate, x); return v; }
Variant Variant::Text(std::string_view x) { Variant v; v.SetText(x); return v; }
Variant Variant::Bool(bool x) { Variant v; v.SetInteger(VarType::kBool, x ? 1 : 0); return v; }
Variant Variant::Decimal(std::string_view x) {
  Variant v;
  v.SetDecimal(x);
  return v;
}

Variant Variant::Bytes(std::string_view x) {
  Variant v;
  v.SetBytes(x);
  return v;
}

bool Variant::IsNumeric() const {
  switch (type_) {
    case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1:
    case VarType::kR4: case VarType::kR8: case VarType::kCurrency: case VarType::kBool:
    case VarType::kDecimal:
      return true;
    default:
      return false;
  }
}

void Variant::SetNull() { type_ = VarType::kNull; source_type_ = 0; text_.clear(); }
void Variant::SetText(std::string_view v) { type_ = VarType::kText; source_type_ = 0; text_.assign(v); }
void Variant::SetDecimal(std::string_view v) { type_ = VarType::kDecimal; source_type_ = 0; text_.assign(v); }
void Variant::SetBytes(std::string_view v) { type_ = VarType::kBytes; source_type_ = 0; text_.assign(v); }
void Variant::SetInteger(VarType t, std::int64_t v) { type_ = t; source_type_ = 0; int_ = v; text_.clear(); }
void Variant::SetReal(VarType t, double v) {
  type_ = t;
  source_type_ = 0;
  real_ = t == VarType::kR4 ? static_cast<double>(static_cast<float>(v)) : v;
  text_.clear();
}

std::int64_t Variant::ToInt64() const {
  switch (type_) {
    case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1:
      return int_;
    case VarType::kBool:
      return int_ ? -1 : 0;  // automation's True
    case VarType::kCurrency: {
      // Round half away from zero, as the automation runtime rounds a
      // currency to an integer (banker's rounding would also be defensible;
      // no caller depends on the half case).
      std::int64_t q = int_ / 10000, r = int_ % 10000;
      if (r >= 5000) ++q;
      if (r <= -5000) --q;
      return q;
    }
    case VarType::kDecimal:
      return Variant::R8(ToDouble()).ToInt64();
    case VarType::kR4: case VarType::kR8: case VarType::kDate: {
      double r = std::nearbyint(real_);
      if (!(r >= -9.2e18 && r <= 9.2e18)) Mismatch(*this, "整数");
      return static_cast<std::int64_t>(r);
    }
    case VarType::kText: {
      std::string t = TrimmedCopy(text_);
      std::int64_t v = 0;
      auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
      if (ec == std::errc() && p == t.data() + t.size() && !t.empty()) return v;
      Mismatch(*this, "整数");
    }
    default:
      Mismatch(*this, "整数");
  }
}

double Variant::ToDouble() const {
  switch (type_) {
    case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1:
      return static_cast<double>(int_);
    case VarType::kBool:
      return int_ ? -1.0 : 0.0;
    case VarType::kCurrency:
      return static_cast<double>(int_) / 10000.0;
    case VarType::kR4: case VarType::kR8: case VarType::kDate:
      return real_;
    case VarType::kText: case VarType::kDecimal: {
      std::string t = TrimmedCopy(text_);
      double v = 0;
      auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
      if (ec == std::errc() && p == t.data() + t.size() && !t.empty()) return v;
      Mismatch(*this, "数值");
    }
    default:
      Mismatch(*this, "数值");
  }
}

bool Variant::ToBool() const {
  switch (type_) {
    case VarType::kBool:
      return int_ != 0;
    case VarType::kText: {
      std::string t = TrimmedCopy(text_);
      if (t == "True" || t == "true" || t == "TRUE") return true;
      if (t == "False" || t == "false" || t == "FALSE") return false;
      Variant n = Variant::Text(t);
      return n.ToDouble() != 0.0;
    }
    default:
      if (IsNumeric() || type_ == VarType::kDate) return ToDouble() != 0.0;
      Mismatch(*this, "布尔值");
  }
}

std::string Variant::ToText() const {
  switch (type_) {
    case VarType::kEmpty: case VarType::kNull:
      return "";
    case VarType::kI2: case VarType::kI4: case VarType::kI8: case VarType::kUI1:
      return std::to_string(int_);
    case VarType::kBool:
      return int_ ? "True" : "False";
    case VarType::kCurrency:
      return FormatCurrency(int_);
    case VarType::kR4:
      return FormatFloat(static_cast<float>(real_));
    case VarType::kR8:
      return FormatDouble(real_);
    case VarType::kDate:
      return FormatCivil(CivilFromOleDate(real_));
    case VarType::kText: case VarType::kDecimal:
      return text_;
    case VarType::kBytes:
      return FormatBytes(text_);
  }
  return "";
}

bool Variant::operator==(const Variant& o) const {
  if (type_ != o.type_) return false;
  switch (type_) {
    case VarType::kEmpty: case VarType::kNull:
      return true;
    case VarType::kR4: case VarType::kR8: case VarType::kDate:
      return real_ == o.real_;
    case VarType::kText: case VarType::kDecimal: case VarType::kBytes:
      return text_ == o.text_;
    default:
      return int_ == o.int_;
  }
}

std::string LowerHex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string FormatBytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + 2 * bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string FormatCurrency(std::int64_t units) {
  const bool negative = units < 0;
  // Work in unsigned to cover the most negative value.
  std::uint64_t u = negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  std::string frac = std::to_string(u % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  return (negative ? "-" : "") + std::to_string(u / 10000) + "." + frac;
}

bool ParseCurrency(std::string_view s, std::int64_t* out) {
  std::string t = TrimmedCopy(s);
  std::string_view v = t;
  bool negative = false;
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
    negative = v[0] == '-';
    v.remove_prefix(1);
  }
  if (v.empty()) return false;
  std::uint64_t whole = 0;
  std::size_t i = 0;
  bool any_digit = false;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    any_digit = true;
    if (whole > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) return false;
    whole = whole * 10 + static_cast<std::uint64_t>(v[i] - '0');
  }
  std::uint64_t frac = 0;
  int frac_digits = 0;
  if (i < v.size() && v[i] == '.') {
    for (++i; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
      any_digit = true;
      if (frac_digits < 4) {
        frac = frac * 10 + static_cast<std::uint64_t>(v[i] - '0');
        ++frac_digits;
      } else if (v[i] != '0') {
        return false;  // more precision than a currency holds
      }
    }
  }
  if (i != v.size() || !any_digit) return false;
  for (; frac_digits < 4; ++frac_digits) frac *= 10;
  constexpr std::uint64_t kMaxUnits = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (whole > kMaxUnits / 10000) return false;
  std::uint64_t units = whole * 10000 + frac;
  if (units > kMaxUnits + (negative ? 1 : 0)) return false;
  *out = negative ? static_cast<std::int64_t>(0 - units) : static_cast<std::int64_t>(units);
  return true;
}

namespace {

// Plain notation for ordinary magnitudes, scientific for the extremes where
// plain digits would run to hundreds of characters; the shortest digits
// that read back as `v`.
template <std::floating_point Real>
std::string FormatReal(Real v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  const Real a = std::fabs(v);
  auto fmt = (a != 0 && (a < static_cast<Real>(1e-6) || a >= static_cast<Real>(1e21))) ? std::chars_format::scientific
                                                                                        : std::chars_format::fixed;
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, fmt);
  if (ec != std::errc()) {
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    p = r.ptr;
  }
  return std::string(buf, p);
}

}  // namespace

std::string FormatDouble(double v) { return FormatReal(v); }

std::string FormatFloat(float v) { return FormatReal(v); }

}  // namespace com
