#include "platform/dts/binary_form.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace dts {

std::string BigEndianBytes(std::int64_t v, std::size_t width) {
  std::string out(width, '\0');
  auto u = static_cast<std::uint64_t>(v);
  for (std::size_t i = width; i > 0; --i) {
    out[i - 1] = static_cast<char>(u & 0xFF);
    u >>= 8;
  }
  return out;
}

std::int64_t IntegerOfBytes(std::string_view bytes, std::size_t width, bool is_signed) {
  if (bytes.size() > width) bytes.remove_prefix(bytes.size() - width);
  std::uint64_t u = 0;
  for (const char c : bytes) u = u << 8 | static_cast<unsigned char>(c);
  if (is_signed && width < 8) {
    const std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
    if (u & sign) u |= ~((sign << 1) - 1);
  }
  return static_cast<std::int64_t>(u);
}

void DateTimeParts(double ole_date, std::int32_t* days, std::uint32_t* ticks) {
  // An automation date counts days from 1899-12-30; before it, the day is
  // negative and the time of day still counts forward.
  const double day = std::trunc(ole_date);
  const double fraction = std::fabs(ole_date - day);
  std::int64_t t = std::llround(fraction * 86400.0 * 300.0);
  std::int64_t d = static_cast<std::int64_t>(day) - 2;
  if (t >= 86400LL * 300) {
    t -= 86400LL * 300;
    ++d;
  }
  *days = static_cast<std::int32_t>(d);
  *ticks = static_cast<std::uint32_t>(t);
}

double OleDateOf(std::int32_t days, std::uint32_t ticks) {
  const double day = static_cast<double>(days) + 2;
  const double fraction = static_cast<double>(ticks) / (86400.0 * 300.0);
  return day >= 0 ? day + fraction : day - fraction;
}

std::string DateTimeBytes(double ole_date) {
  std::int32_t days = 0;
  std::uint32_t ticks = 0;
  DateTimeParts(ole_date, &days, &ticks);
  return BigEndianBytes(days, 4) + BigEndianBytes(ticks, 4);
}

double DateTimeOfBytes(std::string_view bytes, bool small) {
  if (small) {
    const std::string_view days_bytes = bytes.substr(0, bytes.size() > 2 ? bytes.size() - 2 : 0);
    const auto days = static_cast<std::int32_t>(IntegerOfBytes(days_bytes, 2, false));
    const auto minutes = static_cast<std::uint32_t>(IntegerOfBytes(bytes, 2, false));
    return OleDateOf(days, minutes * 60 * 300);
  }
  const std::string_view days_bytes = bytes.size() > 4 ? bytes.substr(0, bytes.size() - 4) : std::string_view();
  const auto days = static_cast<std::int32_t>(IntegerOfBytes(days_bytes, 4, true));
  const auto ticks = static_cast<std::uint32_t>(IntegerOfBytes(bytes, 4, false));
  return OleDateOf(days, ticks);
}

std::string DoubleBytes(double v) { return BigEndianBytes(static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(v)), 8); }
std::string FloatBytes(float v) { return BigEndianBytes(std::bit_cast<std::uint32_t>(v), 4); }

bool ParseHexBytes(std::string_view hex, std::string* bytes) {
  if (hex.size() >= 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X')) hex.remove_prefix(2);
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  bytes->clear();
  bytes->reserve((hex.size() + 1) / 2);
  // An odd count of digits reads as if a 0 stood first.
  int high = hex.size() % 2 ? 0 : -1;
  for (const char c : hex) {
    const int d = digit(c);
    if (d < 0) return false;
    if (high < 0) {
      high = d;
    } else {
      bytes->push_back(static_cast<char>(high << 4 | d));
      high = -1;
    }
  }
  return true;
}

}  // namespace dts
