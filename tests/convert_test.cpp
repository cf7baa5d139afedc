// The conversions every destination shares: values into a column's type
// by SQL Server's rules, and text measured and cut as the column counts it.
#include <gtest/gtest.h>

#include <string>

#include "platform/com/error.h"
#include "platform/com/variant.h"
#include "platform/dts/convert.h"
#include "platform/dts/oledb.h"

namespace {

using com::Variant;

dts::ColumnInfo Column(std::uint16_t type, std::uint32_t size = 0, std::uint8_t precision = 0) {
  dts::ColumnInfo c;
  c.name = "c";
  c.type = type;
  c.size = size;
  c.precision = precision;
  if (type == dts::DBTYPE_STR) {
    c.is_unicode = false;
    c.code_page = 936;
  }
  return c;
}

// The error number a conversion raises, or 0.
int ErrorOf(const Variant& v, const dts::ColumnInfo& c, std::string* message = nullptr) {
  Variant out;
  try {
    dts::ConvertValue(v, c, false, &out);
  } catch (const com::Error& e) {
    if (message) *message = e.description();
    return e.number();
  }
  return 0;
}

Variant Converted(const Variant& v, const dts::ColumnInfo& c, bool* changed = nullptr, bool allow_truncation = false) {
  Variant out;
  const bool was_changed = dts::ConvertValue(v, c, allow_truncation, &out);
  if (changed) *changed = was_changed;
  return out;
}

std::string DateText(const Variant& v) {
  return com::FormatCivil(com::CivilFromOleDate(v.real()));
}

TEST(Convert, NumbersOverflowAndRoundAsSqlServer) {
  std::string message;
  EXPECT_EQ(ErrorOf(Variant::I4(300), Column(dts::DBTYPE_UI1), &message), 220);
  EXPECT_EQ(message, "Arithmetic overflow error for data type tinyint, value = 300.");
  EXPECT_EQ(ErrorOf(Variant::Text("12abc"), Column(dts::DBTYPE_I4), &message), 245);
  EXPECT_EQ(message, "Syntax error converting the varchar value '12abc' to a column of data type int.");
  EXPECT_EQ(ErrorOf(Variant::Text("99999999999999999999"), Column(dts::DBTYPE_I8)), 220);
  // Money rounds half away from zero into an integer; floats are cut.
  EXPECT_EQ(Converted(Variant::Currency(25000), Column(dts::DBTYPE_I4)).integer(), 3);
  EXPECT_EQ(Converted(Variant::Currency(-25000), Column(dts::DBTYPE_I4)).integer(), -3);
  EXPECT_EQ(Converted(Variant::R8(-2.9), Column(dts::DBTYPE_I2)).integer(), -2);
  EXPECT_EQ(Converted(Variant::I4(7), Column(dts::DBTYPE_BOOL)).type(), com::VarType::kBool);
  EXPECT_EQ(Converted(Variant::Text("True"), Column(dts::DBTYPE_BOOL)).integer(), 1);
  EXPECT_EQ(Converted(Variant::Text(" 42 "), Column(dts::DBTYPE_I4)).type(), com::VarType::kI4);
}

TEST(Convert, DecimalsAreExactAtTheColumnsScale) {
  // decimal(p, s): any value, rounded half away from zero to the scale;
  // 8115 naming the value's type when the integer part does not fit; 8114
  // for text that is no number.
  dts::ColumnInfo d52 = Column(dts::DBTYPE_NUMERIC, 0, 5);
  d52.scale = 2;
  const struct {
    Variant value;
    std::string expected;  // the canonical text, or the error's number and message
  } kCases[] = {
      {Variant::Decimal("1.5"), "1.50"},
      {Variant::Decimal("-1.005"), "-1.01"},
      {Variant::Text(" 12.344 "), "12.34"},
      {Variant::I4(-7), "-7.00"},
      {Variant::Bool(true), "1.00"},
      {Variant::Currency(12345), "1.23"},  // 1.2345
      {Variant::Currency(12355), "1.24"},  // 1.2355
      {Variant::R8(0.125), "0.13"},
      {Variant::Decimal("999.995"), "8115 Arithmetic overflow error converting numeric to data type numeric."},
      {Variant::I4(1000), "8115 Arithmetic overflow error converting int to data type numeric."},
      {Variant::I8(1000), "8115 Arithmetic overflow error converting bigint to data type numeric."},
      {Variant::R8(1e300), "8115 Arithmetic overflow error converting float to data type numeric."},
      {Variant::Currency(10000000), "8115 Arithmetic overflow error converting money to data type numeric."},
      {Variant::Text("1e3"), "8114 Error converting data type varchar to numeric."},
      {Variant::Text(std::string(1000, '9')), "8115 Arithmetic overflow error converting varchar to data type numeric."},
  };
  for (const auto& c : kCases) {
    std::string got;
    try {
      got = Converted(c.value, d52).text();
      EXPECT_EQ(Converted(c.value, d52).type(), com::VarType::kDecimal);
    } catch (const com::Error& e) {
      got = std::to_string(e.number()) + " " + e.description();
    }
    EXPECT_EQ(got, c.expected) << c.value.ToText();
  }
  // Decimals into the other types: integers cut towards zero, exactly, money
  // rounded to four decimals, text as the decimal's canonical form, which
  // is never cut.
  const Variant big = Variant::Decimal("123456789012345678.9");
  EXPECT_EQ(Converted(big, Column(dts::DBTYPE_I8)).integer(), 123456789012345678);
  EXPECT_EQ(Converted(Variant::Decimal("-2.7"), Column(dts::DBTYPE_I4)).integer(), -2);
  EXPECT_EQ(Converted(Variant::Decimal("0.001"), Column(dts::DBTYPE_BOOL)).integer(), 1);
  std::string message;
  EXPECT_EQ(ErrorOf(Variant::Decimal("2147483648"), Column(dts::DBTYPE_I4), &message), 8115);
  EXPECT_EQ(message, "Arithmetic overflow error converting numeric to data type int.");
  EXPECT_EQ(Converted(Variant::Decimal("1.23455"), Column(dts::DBTYPE_CY)).integer(), 12346);
  EXPECT_EQ(Converted(Variant::Decimal("-1.23445"), Column(dts::DBTYPE_CY)).integer(), -12345);
  EXPECT_EQ(ErrorOf(Variant::Decimal("922337203685478"), Column(dts::DBTYPE_CY), &message), 8115);
  EXPECT_EQ(message, "Arithmetic overflow error converting numeric to data type money.");
  EXPECT_EQ(Converted(Variant::Decimal("-12.50"), Column(dts::DBTYPE_WSTR, 10)).text(), "-12.50");
  EXPECT_EQ(ErrorOf(Variant::Decimal("-12.50"), Column(dts::DBTYPE_STR, 5), &message), 8115);
  EXPECT_EQ(message, "Arithmetic overflow error converting numeric to data type varchar.");
  EXPECT_EQ(Converted(Variant::Decimal("0.1"), Column(dts::DBTYPE_R8)).real(), 0.1);
}

TEST(Convert, MoneyKeepsFourDecimalsExactly) {
  const auto money = Column(dts::DBTYPE_CY, 0, 19);
  EXPECT_EQ(Converted(Variant::Text("1234.5678"), money).integer(), 12345678);
  EXPECT_EQ(Converted(Variant::Text("$-0.0001"), money).integer(), -1);
  EXPECT_EQ(Converted(Variant::R8(0.1 + 0.2), money).integer(), 3000);
  EXPECT_EQ(Converted(Variant::I4(-80), money).integer(), -800000);
  EXPECT_EQ(ErrorOf(Variant::Text("12,5"), money), 235);
  std::string message;
  EXPECT_EQ(ErrorOf(Variant::R8(1e16), money, &message), 8115);
  EXPECT_EQ(message, "Arithmetic overflow error converting expression to data type money.");
  EXPECT_EQ(ErrorOf(Variant::I4(214749), Column(dts::DBTYPE_CY, 0, 10), &message), 8115);
  EXPECT_EQ(message, "Arithmetic overflow error converting expression to data type smallmoney.");
  EXPECT_EQ(Converted(Variant::Currency(123456), Column(dts::DBTYPE_WSTR, 20)).text(), "12.35");
}

TEST(Convert, DatetimesLandOnTicksAndStayInRange) {
  const auto datetime = Column(dts::DBTYPE_DBTIMESTAMP, 0, 23);
  EXPECT_EQ(DateText(Converted(Variant::Text("2007-01-23 10:20:30.001"), datetime)), "2007-01-23 10:20:30");
  EXPECT_EQ(DateText(Converted(Variant::Text("2007-01-23 10:20:30.002"), datetime)), "2007-01-23 10:20:30.003");
  EXPECT_EQ(DateText(Converted(Variant::Text("2007-01-23 10:20:30.998"), datetime)), "2007-01-23 10:20:30.997");
  // .999 rounds up into the next day.
  EXPECT_EQ(DateText(Converted(Variant::Text("2007-12-31 23:59:59.999"), datetime)), "2008-01-01 00:00:00");
  EXPECT_EQ(DateText(Converted(Variant::Text("20070123"), datetime)), "2007-01-23 00:00:00");
  EXPECT_EQ(DateText(Converted(Variant::Text("01/23/2007"), datetime)), "2007-01-23 00:00:00");
  EXPECT_EQ(ErrorOf(Variant::Text("1700-01-01"), datetime), 242);
  EXPECT_EQ(ErrorOf(Variant::Date(-100000), datetime), 242);
  EXPECT_EQ(ErrorOf(Variant::Text("yesterday"), datetime), 241);
  EXPECT_EQ(ErrorOf(Variant::Date(0), Column(dts::DBTYPE_R8)), 257);
}

// Forms SQL Server reads beside the numeric ones: the month's English
// name, a 12-hour clock, milliseconds after a colon, a time alone.
TEST(Convert, DatesWithTheirMonthsNameAndTwelveHourTimes) {
  const auto datetime = Column(dts::DBTYPE_DBTIMESTAMP, 0, 23);
  EXPECT_EQ(DateText(Converted(Variant::Text("Jan  1 2002 10:00:00AM"), datetime)), "2002-01-01 10:00:00");
  EXPECT_EQ(DateText(Converted(Variant::Text("Feb 27 2001 10:24:35:056PM"), datetime)), "2001-02-27 22:24:35.057");
  EXPECT_EQ(DateText(Converted(Variant::Text("27 February, 2001"), datetime)), "2001-02-27 00:00:00");
  EXPECT_EQ(DateText(Converted(Variant::Text("01/23/2007 12:05AM"), datetime)), "2007-01-23 00:05:00");
  EXPECT_EQ(DateText(Converted(Variant::Text("4 PM"), datetime)), "1900-01-01 16:00:00");
  EXPECT_EQ(ErrorOf(Variant::Text("Jan 1 1700"), datetime), 242);
  for (const char* bad : {"Jan 1 2002 0PM", "Smarch 1 2002", "Jan 1 2002 10:00:00:5000AM"}) {
    EXPECT_EQ(ErrorOf(Variant::Text(bad), datetime), 241) << bad;
  }
}

TEST(Convert, GuidsFromTextAndSixteenBytes) {
  const auto guid = Column(dts::DBTYPE_GUID);
  EXPECT_EQ(Converted(Variant::Text("6f9619ff-8b86-d011-b42d-00c04fc964ff"), guid).text(),
            "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  // The first three groups little-endian in the bytes.
  const std::string bytes("\xFF\x19\x96\x6F\x86\x8B\x11\xD0\xB4\x2D\x00\xC0\x4F\xC9\x64\xFF", 16);
  EXPECT_EQ(Converted(Variant::Bytes(bytes), guid).text(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(dts::GuidBytes("6F9619FF-8B86-D011-B42D-00C04FC964FF"), bytes);
  EXPECT_EQ(ErrorOf(Variant::Text("6F9619FF-8B86-D011-B42D"), guid), 8169);
  EXPECT_EQ(ErrorOf(Variant::Text("6F9619FF_8B86-D011-B42D-00C04FC964FF"), guid), 8169);
  EXPECT_EQ(ErrorOf(Variant::I4(1), guid), 206);
}

TEST(Convert, TextIsMeasuredInTheColumnsUnitsAndCutOnlyWhenAllowed) {
  const auto varchar4 = Column(dts::DBTYPE_STR, 4);
  const auto nvarchar2 = Column(dts::DBTYPE_WSTR, 2);
  // Two Chinese characters are four bytes in CP936 and two UTF-16 units.
  EXPECT_EQ(dts::TextLength("中文", varchar4), 4u);
  EXPECT_EQ(dts::TextLength("中文", nvarchar2), 2u);
  // A character past U+FFFF is two units; text that is not UTF-8 counts
  // its bytes.
  EXPECT_EQ(dts::TextLength("a\xF0\x9F\x98\x80" "b", nvarchar2), 4u);
  EXPECT_EQ(dts::TextLength("\xE4\xB8", nvarchar2), 2u);
  EXPECT_EQ(dts::TextLength("\xF0\x9F\x98\x80", varchar4), 1u);  // '?' in CP936
  std::string message;
  EXPECT_EQ(ErrorOf(Variant::Text("中文字"), varchar4, &message), 8152);
  EXPECT_EQ(message, "String or binary data would be truncated.");
  bool changed = false;
  EXPECT_EQ(Converted(Variant::Text("中文字"), varchar4, &changed, true).text(), "中文");
  EXPECT_TRUE(changed);
  // A double-byte character never splits: it goes whole or not at all.
  EXPECT_EQ(Converted(Variant::Text("a中"), Column(dts::DBTYPE_STR, 2), &changed, true).text(), "a");
  EXPECT_EQ(Converted(Variant::Text("中"), Column(dts::DBTYPE_STR, 1), &changed, true).text(), "");
  // Nor does a surrogate pair.
  EXPECT_EQ(Converted(Variant::Text("a\xF0\x9F\x98\x80"), nvarchar2, &changed, true).text(), "a");
  // Text that fits is not changed; long columns take any length.
  EXPECT_EQ(Converted(Variant::Text("中文"), nvarchar2, &changed, true).text(), "中文");
  EXPECT_FALSE(changed);
  auto ntext = Column(dts::DBTYPE_WSTR);
  ntext.is_long = true;
  EXPECT_EQ(Converted(Variant::Text(std::string(10000, 'x')), ntext).text().size(), 10000u);
}

TEST(Convert, SingleByteTextKeepsOnlyWhatItsCodePageHolds) {
  bool changed = false;
  // An emoji has no encoding in CP936: it becomes '?', and the value counts as changed.
  EXPECT_EQ(Converted(Variant::Text("货\xF0\x9F\x98\x80"), Column(dts::DBTYPE_STR, 10), &changed).text(), "货?");
  EXPECT_TRUE(changed);
  EXPECT_EQ(Converted(Variant::Text("货\xF0\x9F\x98\x80"), Column(dts::DBTYPE_WSTR, 10), &changed).text(),
            "货\xF0\x9F\x98\x80");
  EXPECT_FALSE(changed);
}

TEST(Convert, NullStaysNullWhateverTheColumn) {
  for (auto type : {dts::DBTYPE_I4, dts::DBTYPE_CY, dts::DBTYPE_DBTIMESTAMP, dts::DBTYPE_STR, dts::DBTYPE_WSTR}) {
    EXPECT_TRUE(Converted(Variant::Null(), Column(type, 4)).IsNull());
    EXPECT_TRUE(Converted(Variant(), Column(type, 4)).IsNull());
  }
}

}  // namespace
