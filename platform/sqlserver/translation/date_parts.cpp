#include "platform/sqlserver/translation/date_parts.h"

#include <cmath>

#include "platform/com/datetime.h"
#include "platform/com/names.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {
namespace {

struct PartNames {
  DatePart part;
  const char* names[4];
};

constexpr PartNames kParts[] = {
    {DatePart::kYear, {"year", "yy", "yyyy", nullptr}},
    {DatePart::kQuarter, {"quarter", "qq", "q", nullptr}},
    {DatePart::kMonth, {"month", "mm", "m", nullptr}},
    {DatePart::kDayOfYear, {"dayofyear", "dy", "y", nullptr}},
    {DatePart::kDay, {"day", "dd", "d", nullptr}},
    {DatePart::kWeek, {"week", "wk", "ww", nullptr}},
    {DatePart::kWeekday, {"weekday", "dw", "w", nullptr}},
    {DatePart::kHour, {"hour", "hh", nullptr, nullptr}},
    {DatePart::kMinute, {"minute", "mi", "n", nullptr}},
    {DatePart::kSecond, {"second", "ss", "s", nullptr}},
    {DatePart::kMillisecond, {"millisecond", "ms", nullptr, nullptr}},
};

constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

com::CivilTime Civil(std::string_view date) {
  auto t = com::ParseCivil(date);
  return t ? *t : com::CivilTime{1900, 1, 1};
}

std::int64_t Days(const com::CivilTime& t) { return com::DaysFromCivil(t.year, t.month, t.day); }

// Milliseconds since 1970-01-01.
std::int64_t Millis(const com::CivilTime& t) {
  return ((Days(t) * 24 + t.hour) * 60 + t.minute) * 60'000 + t.second * 1000 + t.millisecond;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// 0 for Sunday.
int WeekdayIndex(std::int64_t days) {
  // 1970-01-01 was a Thursday.
  return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

// The canonical text of milliseconds since 1970, rounded to datetime's
// ticks; nullopt outside its range.
std::optional<std::string> FromMillis(std::int64_t ms) {
  const double ole = static_cast<double>(ms) / 86'400'000.0 + 25569.0;  // 1970-01-01 is day 25569
  if (ole >= 0) return DateTimeText(ole);
  // Before 1899-12-30 the automation date counts the day back and the
  // time forward.
  const double day = std::floor(ole);
  return DateTimeText(day - (ole - day));
}

}  // namespace

std::optional<DatePart> DatePartNamed(std::string_view name) {
  for (const PartNames& p : kParts) {
    for (const char* n : p.names) {
      if (n && com::SameName(name, n)) return p.part;
    }
  }
  return std::nullopt;
}

std::string_view DatePartName(DatePart part) {
  for (const PartNames& p : kParts) {
    if (p.part == part) return p.names[0];
  }
  return "";
}

std::optional<std::string> DateAdd(DatePart part, std::int64_t n, std::string_view date) {
  com::CivilTime t = Civil(date);
  const std::int64_t ms = Millis(t);
  auto add_months = [&](std::int64_t months) -> std::optional<std::string> {
    const std::int64_t total = static_cast<std::int64_t>(t.year) * 12 + (t.month - 1) + months;
    if (total < 1753 * 12 || total >= 10000 * 12) return std::nullopt;
    const int year = static_cast<int>(total / 12), month = static_cast<int>(total % 12) + 1;
    com::CivilTime moved = t;
    moved.year = year;
    moved.month = month;
    moved.day = std::min(t.day, DaysInMonth(year, month));
    return FromMillis(Millis(moved));
  };
  constexpr std::int64_t kLimit = 4'000'000'000'000LL;  // past datetime's range in any unit
  if (n > kLimit || n < -kLimit) return std::nullopt;
  switch (part) {
    case DatePart::kYear: return add_months(n * 12);
    case DatePart::kQuarter: return add_months(n * 3);
    case DatePart::kMonth: return add_months(n);
    case DatePart::kDayOfYear:
    case DatePart::kDay:
    case DatePart::kWeekday: return FromMillis(ms + n * 86'400'000);
    case DatePart::kWeek: return FromMillis(ms + n * 7 * 86'400'000);
    case DatePart::kHour: return FromMillis(ms + n * 3'600'000);
    case DatePart::kMinute: return FromMillis(ms + n * 60'000);
    case DatePart::kSecond: return FromMillis(ms + n * 1000);
    case DatePart::kMillisecond: return FromMillis(ms + n);
  }
  return std::nullopt;
}

std::int64_t DateDiff(DatePart part, std::string_view from, std::string_view to) {
  const com::CivilTime a = Civil(from), b = Civil(to);
  const std::int64_t months = (static_cast<std::int64_t>(b.year) * 12 + b.month) - (static_cast<std::int64_t>(a.year) * 12 + a.month);
  auto floor_div = [](std::int64_t x, std::int64_t d) { return x >= 0 ? x / d : -((-x + d - 1) / d); };
  switch (part) {
    case DatePart::kYear: return b.year - a.year;
    case DatePart::kQuarter:
      return (static_cast<std::int64_t>(b.year) * 4 + (b.month - 1) / 3) - (static_cast<std::int64_t>(a.year) * 4 + (a.month - 1) / 3);
    case DatePart::kMonth: return months;
    case DatePart::kDayOfYear:
    case DatePart::kDay:
    case DatePart::kWeekday: return Days(b) - Days(a);
    case DatePart::kWeek:
      // Sunday boundaries: weeks counted from a Sunday (1970-01-04).
      return floor_div(Days(b) - 3, 7) - floor_div(Days(a) - 3, 7);
    case DatePart::kHour: return floor_div(Millis(b), 3'600'000) - floor_div(Millis(a), 3'600'000);
    case DatePart::kMinute: return floor_div(Millis(b), 60'000) - floor_div(Millis(a), 60'000);
    case DatePart::kSecond: return floor_div(Millis(b), 1000) - floor_div(Millis(a), 1000);
    case DatePart::kMillisecond: return Millis(b) - Millis(a);
  }
  return 0;
}

std::int64_t DatePartOf(DatePart part, std::string_view date, int datefirst) {
  const com::CivilTime t = Civil(date);
  // Days since the week's first day (Sunday is WeekdayIndex 0, datefirst 7).
  const auto into_week = [&](std::int64_t days) { return (WeekdayIndex(days) - datefirst % 7 + 7) % 7; };
  switch (part) {
    case DatePart::kYear: return t.year;
    case DatePart::kQuarter: return (t.month - 1) / 3 + 1;
    case DatePart::kMonth: return t.month;
    case DatePart::kDayOfYear: return Days(t) - com::DaysFromCivil(t.year, 1, 1) + 1;
    case DatePart::kDay: return t.day;
    case DatePart::kWeek: {
      // Week 1 holds January 1st.
      const std::int64_t jan1 = com::DaysFromCivil(t.year, 1, 1);
      return (Days(t) - jan1 + into_week(jan1)) / 7 + 1;
    }
    case DatePart::kWeekday: return into_week(Days(t)) + 1;
    case DatePart::kHour: return t.hour;
    case DatePart::kMinute: return t.minute;
    case DatePart::kSecond: return t.second;
    case DatePart::kMillisecond: return t.millisecond;
  }
  return 0;
}

std::string DateNameOf(DatePart part, std::string_view date, int datefirst) {
  const com::CivilTime t = Civil(date);
  if (part == DatePart::kMonth) return kMonthNames[t.month - 1];
  if (part == DatePart::kWeekday) return kDayNames[WeekdayIndex(Days(t))];
  return std::to_string(DatePartOf(part, date, datefirst));
}

}  // namespace sqlsrv
