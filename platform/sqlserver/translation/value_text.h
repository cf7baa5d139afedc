// The text SQL Server gives a value converted to a character type: CAST
// and CONVERT without a style and PRINT take style 0; CONVERT's third
// argument chooses another. Dates have styles 0 to 14, 20 to 25, 100 to
// 114, 120, 121, 126 and 127; money 0 (two decimals), 1 (two decimals and
// thousands separators), 2 and 126 (four decimals); floats 0 (at most six
// digits), 1 (eight digits, scientific), 2 and 126 (sixteen digits,
// scientific) and 3 (seventeen, scientific). Each raises 281 for a style
// its type does not have.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/datetime.h"

namespace sqlsrv {

std::string DateText(const com::CivilTime& t, int style);
std::string MoneyText(std::int64_t units, int style);
std::string FloatText(double v, int style);

}  // namespace sqlsrv
