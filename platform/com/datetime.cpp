#include "platform/com/datetime.h"

#include <cmath>
#include <cstdio>

namespace com {
namespace {

constexpr std::int64_t kOleEpochDaysFrom1970 = -25569;  // 1899-12-30
constexpr std::int64_t kMsPerDay = 86'400'000;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

// The era-based conversion between civil dates and a day count: an era is
// 400 years (146097 days); March is taken as the first month so that the
// leap day falls last.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

CivilTime CivilFromOleDate(double ole_date) {
  double whole = std::trunc(ole_date);
  double frac = std::fabs(ole_date - whole);
  std::int64_t ms = std::llround(frac * static_cast<double>(kMsPerDay));
  std::int64_t day = static_cast<std::int64_t>(whole);
  if (ms >= kMsPerDay) {  // rounding carried into the next day
    ms -= kMsPerDay;
    day += ole_date < 0 ? -1 : 1;
  }
  CivilTime t;
  CivilFromDays(day + kOleEpochDaysFrom1970, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(ms / 3'600'000);
  t.minute = static_cast<int>(ms / 60'000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

double OleDateFromCivil(const CivilTime& t) {
  const std::int64_t day = DaysFromCivil(t.year, t.month, t.day) - kOleEpochDaysFrom1970;
  const double frac = (((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond) /
                      static_cast<double>(kMsPerDay);
  return day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
}

std::string FormatCivil(const CivilTime& t) {
  char buf[48];
  if (t.millisecond != 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
  }
  return buf;
}

std::optional<CivilTime> ParseCivil(std::string_view s) {
  auto digits = [&](std::size_t pos, std::size_t n, int* out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
  };
  CivilTime t;
  if (!digits(0, 4, &t.year) || s.size() < 10 || s[4] != '-' || !digits(5, 2, &t.month) ||
      s[7] != '-' || !digits(8, 2, &t.day)) {
    return std::nullopt;
  }
  std::size_t pos = 10;
  if (pos < s.size()) {
    if ((s[pos] != ' ' && s[pos] != 'T') || !digits(pos + 1, 2, &t.hour) ||
        pos + 3 >= s.size() || s[pos + 3] != ':' || !digits(pos + 4, 2, &t.minute)) {
      return std::nullopt;
    }
    pos += 6;
    if (pos < s.size()) {
      if (s[pos] != ':' || !digits(pos + 1, 2, &t.second)) return std::nullopt;
      pos += 3;
      if (pos < s.size()) {
        if (s[pos] != '.') return std::nullopt;
        std::size_t n = s.size() - pos - 1;
        if (n < 1 || n > 3 || !digits(pos + 1, n, &t.millisecond)) return std::nullopt;
        for (std::size_t i = n; i < 3; ++i) t.millisecond *= 10;
      }
    }
  }
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
      t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

}  // namespace com
