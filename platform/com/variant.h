// A typed value as automation passes it: property values of the package
// object model and the cells of rows that drivers stream. The type is kept
// as given, so the 2-byte integer 0 and the text "0" stay distinguishable;
// the To* coercions give both the same meaning where a number is wanted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace com {

// Numbered as the automation runtime numbers its variant types.
enum class VarType : std::uint16_t {
  kEmpty = 0,
  kNull = 1,
  kI2 = 2,
  kI4 = 3,
  kR4 = 4,
  kR8 = 5,
  kCurrency = 6,  // 64-bit integer count of 1/10000 units
  kDate = 7,      // automation date (see datetime.h)
  kText = 8,      // UTF-8
  kBool = 11,
  kDecimal = 14,  // exact decimal, held as its canonical text ("-12.50")
  kUI1 = 17,
  kI8 = 20,
  kBytes = 0x2011,  // an array of bytes (binary data), held in the text buffer
};

// Short lower-case name of a type: "empty", "null", "i2", "i4", "r4", "r8",
// "cy", "date", "str", "bool", "dec", "ui1", "i8", "bytes".
std::string_view VarTypeName(VarType t);

class Variant {
 public:
  Variant() = default;  // empty

  static Variant Null();
  static Variant I2(std::int16_t v);
  static Variant I4(std::int32_t v);
  static Variant I8(std::int64_t v);
  static Variant UI1(std::uint8_t v);
  static Variant R4(float v);
  static Variant R8(double v);
  static Variant Currency(std::int64_t ten_thousandths);
  static Variant Date(double ole_date);
  static Variant Text(std::string_view v);
  static Variant Bool(bool v);
  static Variant Decimal(std::string_view canonical_text);
  static Variant Bytes(std::string_view bytes);

  VarType type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::kEmpty; }
  bool IsNull() const { return type_ == VarType::kNull; }
  bool IsText() const { return type_ == VarType::kText; }
  bool IsNumeric() const;

  // Raw access; the caller has checked type().
  std::int64_t integer() const { return int_; }     // I2, I4, I8, UI1, Bool (0/1), Currency units
  double real() const { return real_; }             // R4, R8, Date
  const std::string& text() const { return text_; }  // Text, Decimal, Bytes

  // The type a data source had the value in, as a code of its own, when
  // the value's type alone does not say it (a SQL Server sql_variant's base
  // type: varchar or nvarchar, decimal(10,2), smallmoney); 0 for none.
  // Copies keep it; the setters below clear it, a new value having no
  // source type until given one. Not part of the value: == ignores it.
  std::uint32_t source_type() const { return source_type_; }
  void set_source_type(std::uint32_t code) { source_type_ = code; }

  // In-place setters that keep the text buffer's capacity, for row loops.
  void SetNull();
  void SetText(std::string_view v);
  void SetDecimal(std::string_view canonical_text);
  void SetBytes(std::string_view bytes);
  void SetInteger(VarType t, std::int64_t v);  // I2, I4, I8, UI1, Bool, Currency
  void SetReal(VarType t, double v);           // R4, R8, Date

  // Coercions. Each raises com::Error (type mismatch) when the value has no
  // such meaning: null, empty, a text that is not a number, an overflow.
  std::int64_t ToInt64() const;
  double ToDouble() const;
  bool ToBool() const;
  // Text form: integers in decimal; reals in the shortest form that reads
  // back to the same value; currency with its four decimals; dates as
  // "YYYY-MM-DD HH:MM:SS[.mmm]"; booleans as "True"/"False"; bytes in
  // hexadecimal after "0x" ("0x1F00"); null and empty as "" (use IsNull to
  // tell them apart).
  std::string ToText() const;

  // Same type and same value (texts byte for byte).
  bool operator==(const Variant& o) const;

 private:
  VarType type_ = VarType::kEmpty;
  std::uint32_t source_type_ = 0;  // in the padding after type_: a Variant stays 56 bytes
  std::int64_t int_ = 0;
  double real_ = 0;
  std::string text_;
};

// Formats a currency amount held in 1/10000 units with exactly four decimals.
std::string FormatCurrency(std::int64_t ten_thousandths);
// Bytes in upper-case hexadecimal after "0x": "0x1F00".
std::string FormatBytes(std::string_view bytes);
// Bytes in lower-case hexadecimal, two digits each: "1f00".
std::string LowerHex(std::string_view bytes);
// Parses a decimal text into 1/10000 units; false when it is not a decimal
// number or has more than four decimals of non-zero digits or overflows.
bool ParseCurrency(std::string_view text, std::int64_t* ten_thousandths);
// Shortest decimal text that reads back to the same double (no exponent for
// ordinary magnitudes).
std::string FormatDouble(double v);
std::string FormatFloat(float v);

}  // namespace com
