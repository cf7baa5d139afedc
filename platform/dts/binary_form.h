// The bytes SQL Server makes of a value converted to binary or varbinary,
// and the values it reads back from bytes.
//
// Numbers and dates become their storage bytes, most significant first:
// an int its 4 bytes (CONVERT(varbinary, 1) is 0x00000001), money its
// 8-byte count of 1/10000, float and real their IEEE bits, datetime the
// 4-byte days since 1900-01-01 then the 4-byte count of 1/300 s ticks.
// Read back, a number takes the rightmost bytes it needs, the missing
// ones on the left being zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dts {

// The `width` low-order bytes of v, most significant first.
std::string BigEndianBytes(std::int64_t v, std::size_t width);
// The integer of the rightmost `width` bytes (at most 8), sign-extended
// from `width` bytes when `is_signed`.
std::int64_t IntegerOfBytes(std::string_view bytes, std::size_t width, bool is_signed);

// Days since 1900-01-01 and 1/300 s ticks of an automation date, and back:
// the two integers of SQL Server's datetime.
void DateTimeParts(double ole_date, std::int32_t* days, std::uint32_t* ticks);
double OleDateOf(std::int32_t days, std::uint32_t ticks);

// The 8 bytes of a datetime, and the datetime of the rightmost 8 bytes
// (4 for a smalldatetime: days and minutes, 2 bytes each).
std::string DateTimeBytes(double ole_date);
double DateTimeOfBytes(std::string_view bytes, bool small);

// The bytes of a double and of a float.
std::string DoubleBytes(double v);
std::string FloatBytes(float v);

// Bytes written in hexadecimal ("1F00", optionally after "0x") as the
// bytes they are; an odd count of digits has a 0 put before it. False when
// a character is no hexadecimal digit.
bool ParseHexBytes(std::string_view hex, std::string* bytes);

}  // namespace dts
