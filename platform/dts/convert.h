// Values into a destination column's type, by SQL Server's rules.
//
// The data pump converts every value before it reaches a driver, as the
// SQL Server provider converts values on a fast load, so that each driver
// stores values already of their column's type and the rules are the same
// whatever the destination: which values convert, which overflow, how
// money and datetimes round, how long a text is and where it is cut, and
// which characters a single-byte code page holds. The embedded server
// converts by the same rules in its own statements.
//
// Failures raise com::Error with SQL Server's numbers and messages and the
// SQL Server provider as source: 245 (not a number), 8114 (not a number
// for a decimal), 220 and 8115 (overflow), 235 (not money), 241 and 242
// (not a date, out of range), 257 (no implicit conversion), 8152 (too long
// for the column), 8169 (not a uniqueidentifier), 206 (no conversion to
// uniqueidentifier).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/datetime.h"
#include "platform/com/variant.h"
#include "platform/dts/driver.h"

namespace dts {

// Converts `value` into `*out`, a Variant of the column's own type: Bool
// for bit, UI1, I2, I4, I8 for the integers, Currency for money, R8 for
// float, R4 for real, Decimal for decimal and numeric (the exact value's
// canonical text at the column's scale, digits past it rounded half away
// from zero; a column of precision 0 keeps the value's own scale), Date
// for datetime (on SQL Server's 1/300 s ticks), Text for uniqueidentifier
// (GuidText's form: from text, or from binary of 16 bytes), Text for character
// columns (padded with blanks to the size of a fixed-length one). NULL and empty stay NULL. Decimals become integers cut towards
// zero. Text too long for the column raises 8152, unless
// `allow_truncation`, when it is cut to fit; a decimal too long for a text
// column raises 8115, as its digits cannot be cut. Returns true when the
// text stored differs from the value: cut, or characters the column's code
// page cannot hold replaced by '?', as SQL Server replaces them.
bool ConvertValue(const com::Variant& value, const ColumnInfo& column, bool allow_truncation, com::Variant* out);

// A GUID written as text, "6F9619FF-8B86-D011-B42D-00C04FC964FF" in
// either case, in the form a uniqueidentifier holds it: upper case. Only
// the first 36 characters are read, as SQL Server reads them; nullopt when
// they are not a GUID.
std::optional<std::string> GuidText(std::string_view text);
// The 16 bytes of a GUID's text, in SQL Server's order: its first three
// groups little-endian, the last two as written.
std::string GuidBytes(std::string_view guid_text);
// The text of a GUID's 16 bytes in that order.
std::string GuidTextOfBytes(std::string_view bytes);

// SQL Server's name of the column's type, as its messages write it:
// "int", "money", "nvarchar(50)", "ntext".
std::string TypeName(const ColumnInfo& column);

// The length of a text as the column counts it: UTF-16 units for Unicode
// columns, bytes in the column's code page for single-byte ones.
std::size_t TextLength(std::string_view utf8, const ColumnInfo& column);

// A time as a datetime column holds it: milliseconds rounded to SQL
// Server's 1/300 s ticks (carrying into the next day); nullopt outside
// 1753-01-01 to 9999-12-31.
std::optional<com::CivilTime> SqlDateTime(com::CivilTime t);

// The orders of month, day and year SET DATEFORMAT names.
enum class DateOrder { kMdy, kDmy, kYmd, kYdm, kMyd, kDym };

// While it lives, text converted to a date on this thread reads numeric
// dates ("13/01/2020", "2020-01-13") in `order`: a session's SET
// DATEFORMAT. Without one, mdy.
class DateOrderScope {
 public:
  explicit DateOrderScope(DateOrder order);
  ~DateOrderScope();
  DateOrderScope(const DateOrderScope&) = delete;
  DateOrderScope& operator=(const DateOrderScope&) = delete;

 private:
  DateOrder previous_;
};

// Parses the date forms SQL Server accepts from text ("20070123", and the
// numeric forms in the thread's date order: "2007-01-23 10:20:30.123",
// "2007/01/23", "01/23/2007", "1.23.07" under mdy; "2007-01-23T10:20:30";
// dates with the English name of their month, "Jan  1 2002", "1 Jan
// 2002", "2002 January 1"; times of the 12-hour clock and milliseconds
// after a colon, "10:24:35:056AM", "4 PM"; a time alone, on 1900-01-01),
// without rounding; nullopt when the text is no date.
std::optional<com::CivilTime> ParseSqlDateText(std::string_view text);

}  // namespace dts
