// Calendar arithmetic for automation dates: a double counting days since
// 1899-12-30 00:00, the fraction being the time of day. Before that day the
// integer part counts days backwards while the fraction still runs forward
// (-1.25 is 1899-12-29 06:00), as Jet and the automation runtime store it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace com {

struct CivilTime {
  int year = 1899;
  int month = 12;   // 1..12
  int day = 30;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  bool operator==(const CivilTime&) const = default;
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int* year, int* month, int* day);

// Converts an automation date to a civil time, rounded to the millisecond.
CivilTime CivilFromOleDate(double ole_date);
// Converts a civil time to an automation date.
double OleDateFromCivil(const CivilTime& t);

// "YYYY-MM-DD HH:MM:SS", with ".mmm" appended when the milliseconds are
// not zero.
std::string FormatCivil(const CivilTime& t);
// Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" and
// "YYYY-MM-DD HH:MM:SS.fff" (1 to 3 fraction digits, 'T' also accepted as
// the separator); nullopt when the text is not such a date or names an
// impossible day.
std::optional<CivilTime> ParseCivil(std::string_view text);

}  // namespace com
