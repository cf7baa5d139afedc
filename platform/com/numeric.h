// Exact decimal numbers of up to 38 digits, as SQL Server's decimal and
// numeric hold them: text in and out, conversions from and to integers,
// money units and doubles, comparison, and the four operations and the
// remainder computed exactly and then brought to a result's precision and
// scale. Nothing here raises: every operation answers with a status, and
// its caller turns that into the error its context reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace com {

// The most digits a number holds.
inline constexpr int kMaxNumericDigits = 38;

// A number ±magnitude / 10^scale, the magnitude below 10^38 and the scale
// from 0 to 38. Zero is never negative.
struct Numeric {
  __extension__ typedef unsigned __int128 Magnitude;
  Magnitude magnitude = 0;
  int scale = 0;
  bool negative = false;
};

enum class NumericStatus {
  kOk,
  kOverflow,      // more digits before the point than the precision leaves
  kNotANumber,    // text that is no decimal number
  kDivideByZero,
};

// Parses "[blanks][+|-]digits[.digits][blanks]" (".5" and "5." too; no
// exponent) into a number of `scale` digits after the point, rounded half
// away from zero, that has at most `precision` digits.
NumericStatus ParseNumeric(std::string_view text, int precision, int scale, Numeric* out);
// The same keeping the digits written after the point (as many as 38
// digits in all leave, rounded past them): "1.50" has scale 2.
NumericStatus ParseNumeric(std::string_view text, Numeric* out);

// The canonical text: an optional "-", the integer part (at least "0"),
// then "." and exactly `scale` digits when the scale is not 0: "-12.50",
// "0.05", "7".
std::string FormatNumeric(const Numeric& v);
void AppendNumeric(const Numeric& v, std::string* out);

Numeric NumericFromInteger(std::int64_t v);
// Money held as an integer count of 1/10000: a number of scale 4.
Numeric NumericFromUnits(std::int64_t ten_thousandths);
// A double as the shortest decimal text that reads back to it, brought to
// `scale` and checked against `precision`; kOverflow for NaN and the
// infinities.
NumericStatus NumericFromDouble(double v, int precision, int scale, Numeric* out);
// The same keeping the shortest text's digits (as many as 38 digits leave).
NumericStatus NumericFromDouble(double v, Numeric* out);
// The nearest double.
double NumericToDouble(const Numeric& v);
// The integer part (cut towards zero); kOverflow past 64 bits.
NumericStatus NumericToInteger(const Numeric& v, std::int64_t* out);

// The value brought to `scale` (rounded half away from zero when digits go)
// and checked against `precision`.
NumericStatus RescaleNumeric(const Numeric& v, int precision, int scale, Numeric* out);
// ROUND(v, digits): rounded half away from zero at `digits` after the point
// (before it when negative), the scale kept, checked against `precision`.
NumericStatus RoundNumeric(const Numeric& v, int digits, int precision, Numeric* out);

// -1, 0 or 1 as a is less than, equal to or greater than b; scales do not
// matter (1.50 equals 1.5).
int CompareNumeric(const Numeric& a, const Numeric& b);
// The same for two texts of numbers, without converting them: any number
// of digits, leading and trailing zeros ignored. Texts that are no numbers
// come after every number, in byte order among themselves.
int CompareNumericText(std::string_view a, std::string_view b);

// The exact result brought to decimal(precision, scale): sums and
// products rounded half away from zero, quotients cut (as SQL Server cuts
// them), remainders taking the dividend's sign. kOverflow when the result
// needs more digits than the precision; kDivideByZero for / and % by zero.
NumericStatus AddNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out);
NumericStatus SubtractNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out);
NumericStatus MultiplyNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out);
NumericStatus DivideNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out);
NumericStatus ModuloNumeric(const Numeric& a, const Numeric& b, int precision, int scale, Numeric* out);

// The sign byte and the little-endian magnitude of TDS's DECIMALN and
// NUMERICN values: 5, 9, 13 or 17 bytes as the precision needs (1-9,
// 10-19, 20-28, 29-38 digits). `bytes` holds 17.
int NumericWireSize(int precision);
void NumericToWire(const Numeric& v, int size, unsigned char* bytes);
// The number of `scale` that `size` such bytes (2 to 17) hold; kOverflow
// for a magnitude of 10^38 or more.
NumericStatus NumericFromWire(const unsigned char* bytes, int size, int scale, Numeric* out);

}  // namespace com
