// Exact decimal arithmetic. A result is first computed exactly in 256-bit
// unsigned integers (two 38-digit magnitudes aligned to one scale, their
// product, a dividend shifted left for the quotient's digits: all below
// 10^77, which 256 bits hold), then brought to the result's scale and held
// against its precision.
#include "platform/com/numeric.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace com {
namespace {

using U128 = Numeric::Magnitude;

// A 256-bit unsigned integer, least significant word first.
struct Wide {
  std::array<std::uint64_t, 4> w{};
};

Wide FromU128(U128 v) {
  Wide r;
  r.w[0] = static_cast<std::uint64_t>(v);
  r.w[1] = static_cast<std::uint64_t>(v >> 64);
  return r;
}

U128 ToU128(const Wide& a) { return static_cast<U128>(a.w[1]) << 64 | a.w[0]; }

bool IsZero(const Wide& a) { return (a.w[0] | a.w[1] | a.w[2] | a.w[3]) == 0; }

int Compare(const Wide& a, const Wide& b) {
  for (int i = 3; i >= 0; --i) {
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
  }
  return 0;
}

Wide Add(const Wide& a, const Wide& b) {
  Wide r;
  U128 carry = 0;
  for (int i = 0; i < 4; ++i) {
    const U128 s = static_cast<U128>(a.w[i]) + b.w[i] + carry;
    r.w[i] = static_cast<std::uint64_t>(s);
    carry = s >> 64;
  }
  return r;
}

// a - b, for a >= b.
Wide Subtract(const Wide& a, const Wide& b) {
  Wide r;
  std::uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t d = a.w[i] - b.w[i] - borrow;
    borrow = (a.w[i] < b.w[i] || (a.w[i] == b.w[i] && borrow)) ? 1 : 0;
    r.w[i] = d;
  }
  return r;
}

// The product's low 256 bits; callers keep products below 2^256.
Wide Multiply(const Wide& a, const Wide& b) {
  Wide r;
  for (int i = 0; i < 4; ++i) {
    if (a.w[i] == 0) continue;
    U128 carry = 0;
    for (int j = 0; i + j < 4; ++j) {
      const U128 t = static_cast<U128>(a.w[i]) * b.w[j] + r.w[i + j] + carry;
      r.w[i + j] = static_cast<std::uint64_t>(t);
      carry = t >> 64;
    }
  }
  return r;
}

Wide ShiftLeft1(const Wide& a) {
  Wide r;
  for (int i = 3; i > 0; --i) r.w[i] = a.w[i] << 1 | a.w[i - 1] >> 63;
  r.w[0] = a.w[0] << 1;
  return r;
}

int BitLength(const Wide& a) {
  for (int i = 3; i >= 0; --i) {
    if (a.w[i]) return i * 64 + 64 - __builtin_clzll(a.w[i]);
  }
  return 0;
}

// Quotient and remainder; b is not zero.
void DivMod(const Wide& a, const Wide& b, Wide* q, Wide* r) {
  *q = Wide();
  *r = Wide();
  if (b.w[1] == 0 && b.w[2] == 0 && b.w[3] == 0) {
    // One word: word-by-word long division.
    U128 rem = 0;
    for (int i = 3; i >= 0; --i) {
      const U128 cur = rem << 64 | a.w[i];
      q->w[i] = static_cast<std::uint64_t>(cur / b.w[0]);
      rem = cur % b.w[0];
    }
    r->w[0] = static_cast<std::uint64_t>(rem);
    return;
  }
  for (int bit = BitLength(a) - 1; bit >= 0; --bit) {
    *r = ShiftLeft1(*r);
    r->w[0] |= (a.w[bit / 64] >> (bit % 64)) & 1;
    if (Compare(*r, b) >= 0) {
      *r = Subtract(*r, b);
      q->w[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
  }
}

// 10^0 .. 10^77, all below 2^256.
const Wide& Pow10(int k) {
  static const std::array<Wide, 78> table = [] {
    std::array<Wide, 78> t;
    t[0].w[0] = 1;
    Wide ten;
    ten.w[0] = 10;
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = Multiply(t[i - 1], ten);
    return t;
  }();
  return table[static_cast<std::size_t>(k)];
}

U128 Pow10U128(int k) { return ToU128(Pow10(k)); }

// The number of decimal digits (0 for zero).
int Digits(const Wide& a) {
  int k = 0;
  while (k < 77 && Compare(a, Pow10(k)) >= 0) ++k;
  return k;
}

Wide Scaled(U128 magnitude, int by) { return Multiply(FromU128(magnitude), Pow10(by)); }

// `magnitude` at `from` digits after the point, brought to `scale` (rounded
// half away from zero, or cut) and held against `precision`.
NumericStatus Finish(Wide magnitude, bool negative, int from, int precision, int scale, bool cut, Numeric* out) {
  if (scale < from) {
    Wide q, r;
    DivMod(magnitude, Pow10(from - scale), &q, &r);
    if (!cut && Compare(Add(r, r), Pow10(from - scale)) >= 0) q = Add(q, FromU128(1));
    magnitude = q;
  } else if (scale > from) {
    if (!IsZero(magnitude) && Digits(magnitude) + (scale - from) > precision) return NumericStatus::kOverflow;
    magnitude = Multiply(magnitude, Pow10(scale - from));
  }
  if (Compare(magnitude, Pow10(precision)) >= 0) return NumericStatus::kOverflow;
  out->magnitude = ToU128(magnitude);
  out->scale = scale;
  out->negative = negative && out->magnitude != 0;
  return NumericStatus::kOk;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number's text taken apart: sign, integer digits without leading zeros,
// the digits after the point as written.
struct Parts {
  bool negative = false;
  std::string_view whole;
  std::string_view fraction;
};

bool Split(std::string_view text, Parts* p) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    p->negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::size_t i = 0;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::string_view whole = text.substr(0, i);
  std::string_view fraction;
  if (i < text.size() && text[i] == '.') {
    const std::size_t start = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    fraction = text.substr(start, i - start);
  }
  if (i != text.size() || (whole.empty() && fraction.empty())) return false;
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  p->whole = whole;
  p->fraction = fraction;
  return true;
}

NumericStatus FromParts(const Parts& p, int precision, int scale, Numeric* out) {
  if (static_cast<int>(p.whole.size()) > precision - scale) return NumericStatus::kOverflow;
  U128 m = 0;
  for (char c : p.whole) m = m * 10 + static_cast<unsigned>(c - '0');
  for (int i = 0; i < scale; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    m = m * 10 + (k < p.fraction.size() ? static_cast<unsigned>(p.fraction[k] - '0') : 0u);
  }
  if (p.fraction.size() > static_cast<std::size_t>(scale) && p.fraction[static_cast<std::size_t>(scale)] >= '5') ++m;
  if (m >= Pow10U128(precision)) return NumericStatus::kOverflow;
  out->magnitude = m;
  out->scale = scale;
  out->negative = p.negative && m != 0;
  return NumericStatus::kOk;
}

bool ValidShape(int precision, int scale) {
  return precision >= 1 && precision <= kMaxNumericDigits && scale >= 0 && scale <= precision;
}

}  // namespace

NumericStatus ParseNumeric(std::string_view text, int precision, int scale, Numeric* out) {
  Parts p;
  if (!Split(text, &p)) return NumericStatus::kNotANumber;
  if (!ValidShape(precision, scale)) return NumericStatus::kOverflow;
  return FromParts(p, precision, scale, out);
}

NumericStatus ParseNumeric(std::string_view text, Numeric* out) {
  Parts p;
  if (!Split(text, &p)) return NumericStatus::kNotANumber;
  if (p.whole.size() > static_cast<std::size_t>(kMaxNumericDigits)) return NumericStatus::kOverflow;
  const int room = kMaxNumericDigits - static_cast<int>(p.whole.size());
  const int scale = static_cast<int>(std::min<std::size_t>(p.fraction.size(), static_cast<std::size_t>(room)));
  return FromParts(p, kMaxNumericDigits, scale, out);
}

void AppendNumeric(const Numeric& v, std::string* out) {
  char digits[48];
  int n = 0;
  U128 m = v.magnitude;
  do {
    digits[n++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  } while (m != 0);
  while (n <= v.scale) digits[n++] = '0';
  if (v.negative && v.magnitude != 0) out->push_back('-');
  for (int i = n - 1; i >= 0; --i) {
    if (i == v.scale - 1) out->push_back('.');
    out->push_back(digits[i]);
  }
}

std::string FormatNumeric(const Numeric& v) {
  std::string out;
  AppendNumeric(v, &out);
  return out;
}

Numeric NumericFromInteger(std::int64_t v) {
  Numeric n;
  n.negative = v < 0;
  n.magnitude = v < 0 ? static_cast<U128>(0 - static_cast<std::uint64_t>(v)) : static_cast<U128>(v);
  return n;
}

Numeric NumericFromUnits(std::int64_t ten_thousandths) {
  Numeric n = NumericFromInteger(ten_thousandths);
  n.scale = 4;
  return n;
}

namespace {

// The shortest fixed text that reads back to `v`; false for NaN and the
// infinities.
bool ShortestText(double v, char (&buf)[400], std::string_view* text) {
  if (!std::isfinite(v)) return false;
  // The longest fixed form of a double is 309 digits and a sign.
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (ec != std::errc()) return false;
  *text = std::string_view(buf, static_cast<std::size_t>(end - buf));
  return true;
}

}  // namespace

NumericStatus NumericFromDouble(double v, int precision, int scale, Numeric* out) {
  char buf[400];
  std::string_view text;
  if (!ShortestText(v, buf, &text)) return NumericStatus::kOverflow;
  return ParseNumeric(text, precision, scale, out);
}

NumericStatus NumericFromDouble(double v, Numeric* out) {
  char buf[400];
  std::string_view text;
  if (!ShortestText(v, buf, &text)) return NumericStatus::kOverflow;
  return ParseNumeric(text, out);
}

double NumericToDouble(const Numeric& v) {
  const std::string text = FormatNumeric(v);
  double d = 0;
  std::from_chars(text.data(), text.data() + text.size(), d);
  return d;
}

NumericStatus NumericToInteger(const Numeric& v, std::int64_t* out) {
  const U128 whole = v.magnitude / Pow10U128(v.scale);
  const U128 limit = static_cast<U128>(std::numeric_limits<std::int64_t>::max()) + (v.negative ? 1 : 0);
  if (whole > limit) return NumericStatus::kOverflow;
  *out = v.negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(whole)) : static_cast<std::int64_t>(whole);
  return NumericStatus::kOk;
}

NumericStatus RescaleNumeric(const Numeric& v, int precision, int scale, Numeric* out) {
  if (!ValidShape(precision, scale)) return NumericStatus::kOverflow;
  return Finish(FromU128(v.magnitude), v.negative, v.scale, precision, scale, false, out);
}

NumericStatus RoundNumeric(const Numeric& v, int digits, int precision, Numeric* out) {
  if (!ValidShape(precision, v.scale)) return NumericStatus::kOverflow;
  if (digits >= v.scale) return Finish(FromU128(v.magnitude), v.negative, v.scale, precision, v.scale, false, out);
  const long long drop = static_cast<long long>(v.scale) - digits;
  Wide rounded;  // zero when more than 38 digits go: the magnitude is below half of 10^drop
  if (drop <= kMaxNumericDigits) {
    const Wide& unit = Pow10(static_cast<int>(drop));
    Wide q, r;
    DivMod(FromU128(v.magnitude), unit, &q, &r);
    if (Compare(Add(r, r), unit) >= 0) q = Add(q, FromU128(1));
    rounded = Multiply(q, unit);
  }
  return Finish(rounded, v.negative, v.scale, precision, v.scale, false, out);
}

int CompareNumeric(const Numeric& a, const Numeric& b) {
  const bool an = a.negative && a.magnitude != 0, bn = b.negative && b.magnitude != 0;
  if (an != bn) return an ? -1 : 1;
  const int s = std::max(a.scale, b.scale);
  const int c = Compare(Scaled(a.magnitude, s - a.scale), Scaled(b.magnitude, s - b.scale));
  return an ? -c : c;
}

int CompareNumericText(std::string_view a, std::string_view b) {
  Parts pa, pb;
  const bool na = Split(a, &pa), nb = Split(b, &pb);
  if (!na || !nb) {
    if (na != nb) return na ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  for (Parts* p : {&pa, &pb}) {
    while (!p->fraction.empty() && p->fraction.back() == '0') p->fraction.remove_suffix(1);
    if (p->whole.empty() && p->fraction.empty()) p->negative = false;
  }
  if (pa.negative != pb.negative) return pa.negative ? -1 : 1;
  int c = 0;
  if (pa.whole.size() != pb.whole.size()) {
    c = pa.whole.size() < pb.whole.size() ? -1 : 1;
  } else {
    c = pa.whole.compare(pb.whole);
    if (c == 0) c = pa.fraction.compare(pb.fraction);
    c = c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return pa.negative ? -c : c;
}

namespace {

NumericStatus Sum(const Numeric& a, const Numeric& b, bool b_negative, int precision, int scale, Numeric* out) {
  if (!ValidShape(precision, scale)) return NumericStatus::kOverflow;
  const int s = std::max(a.scale, b.scale);
  const Wide x = Scaled(a.magnitude, s - a.scale), y = Scaled(b.magnitude, s - b.scale);
  const bool a_negative = a.negative && a.magnitude != 0;
  b_negative = b_negative && b.magnitude != 0;
  if (a_negative == b_negative) return Finish(Add(x, y), a_negative, s, precision, scale, false, out);
  if (Compare(x, y) >= 0) return Finish(Subtract(x, y), a_negative, s, precision, scale, false, out);
  return Finish(Subtract(y, x), b_negative, s, precision, scale, false, out);
}

}  // namespace

NumericStatus AddNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out) {
  return Sum(a, b, b.negative, precision, scale, out);
}

NumericStatus SubtractNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out) {
  return Sum(a, b, !b.negative, precision, scale, out);
}

NumericStatus MultiplyNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out) {
  if (!ValidShape(precision, scale)) return NumericStatus::kOverflow;
  const Wide product = Multiply(FromU128(a.magnitude), FromU128(b.magnitude));
  return Finish(product, a.negative != b.negative, a.scale + b.scale, precision, scale, false, out);
}

NumericStatus DivideNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out) {
  if (b.magnitude == 0) return NumericStatus::kDivideByZero;
  if (!ValidShape(precision, scale)) return NumericStatus::kOverflow;
  // The quotient at `scale` is a * 10^(scale - a.scale + b.scale) / b, cut.
  const int shift = scale - a.scale + b.scale;
  Wide dividend = FromU128(a.magnitude), divisor = FromU128(b.magnitude);
  if (shift >= 0) {
    // A dividend this much longer than the divisor gives a quotient of
    // more digits than the precision; a shorter one stays below 10^77.
    if (a.magnitude != 0 && Digits(dividend) + shift - Digits(divisor) - 1 >= precision) {
      return NumericStatus::kOverflow;
    }
    dividend = Multiply(dividend, Pow10(shift));
  } else {
    divisor = Multiply(divisor, Pow10(-shift));
  }
  Wide q, r;
  DivMod(dividend, divisor, &q, &r);
  return Finish(q, a.negative != b.negative, scale, precision, scale, true, out);
}

NumericStatus ModuloNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out) {
  if (b.magnitude == 0) return NumericStatus::kDivideByZero;
  if (!ValidShape(precision, scale)) return NumericStatus::kOverflow;
  const int s = std::max(a.scale, b.scale);
  Wide q, r;
  DivMod(Scaled(a.magnitude, s - a.scale), Scaled(b.magnitude, s - b.scale), &q, &r);
  return Finish(r, a.negative, s, precision, scale, false, out);
}

int NumericWireSize(int precision) { return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17; }

void NumericToWire(const Numeric& v, int size, unsigned char* bytes) {
  bytes[0] = v.negative && v.magnitude != 0 ? 0 : 1;
  U128 m = v.magnitude;
  for (int i = 1; i < size; ++i) {
    bytes[i] = static_cast<unsigned char>(m & 0xFF);
    m >>= 8;
  }
}

NumericStatus NumericFromWire(const unsigned char* bytes, int size, int scale, Numeric* out) {
  U128 m = 0;
  for (int i = size - 1; i >= 1; --i) m = m << 8 | bytes[i];
  Numeric v;
  v.magnitude = m;
  v.scale = scale;
  v.negative = bytes[0] == 0 && m != 0;
  if (m >= Pow10U128(kMaxNumericDigits)) return NumericStatus::kOverflow;
  *out = v;
  return NumericStatus::kOk;
}

}  // namespace com
