// The date parts of DATEADD, DATEDIFF, DATEPART and DATENAME, as SQL Server
// counts them on datetime values held as canonical text ("YYYY-MM-DD
// HH:MM:SS.mmm"): a week starts on Sunday (SET DATEFIRST 7, us_english)
// unless DATEPART is told otherwise,
// month and year arithmetic keeps the day where it can and otherwise takes
// the month's last day, and every result is rounded to the server's 1/300
// second ticks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sqlsrv {

enum class DatePart {
  kYear, kQuarter, kMonth, kDayOfYear, kDay, kWeek, kWeekday, kHour, kMinute, kSecond, kMillisecond,
};

// A part by any of its names and abbreviations ("month", "mm", "m"), in any
// case; nullopt for none.
std::optional<DatePart> DatePartNamed(std::string_view name);
// Its first name, as the translator passes it on: "month".
std::string_view DatePartName(DatePart part);

// `date` with `n` of `part` added; nullopt when the result is outside
// datetime's range (SQL Server's 517). kDayOfYear and kWeekday add days.
std::optional<std::string> DateAdd(DatePart part, std::int64_t n, std::string_view date);
// The number of `part` boundaries crossed from `from` to `to` (negative
// when `to` is earlier).
std::int64_t DateDiff(DatePart part, std::string_view from, std::string_view to);
// The part of `date` as a number; weeks start on `datefirst` (SET
// DATEFIRST: 1 Monday ... 7 Sunday), which kWeekday counts as 1 and kWeek
// as the first day of a week (week 1 holds January 1st).
std::int64_t DatePartOf(DatePart part, std::string_view date, int datefirst = 7);
// The part of `date` as text: the English month and weekday names, the
// number for the others.
std::string DateNameOf(DatePart part, std::string_view date, int datefirst = 7);

}  // namespace sqlsrv
