// Values, dates and the component system.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/com/numeric.h"
#include "platform/com/object.h"
#include "platform/com/quote.h"
#include "platform/com/variant.h"

namespace {

using com::Variant;

TEST(Variant, KeepsTheTypeItWasGivenButCoercesAlike) {
  Variant i2 = Variant::I2(0), text = Variant::Text("0");
  EXPECT_FALSE(i2 == text);
  EXPECT_EQ(i2.type(), com::VarType::kI2);
  EXPECT_EQ(text.type(), com::VarType::kText);
  EXPECT_EQ(i2.ToInt64(), 0);
  EXPECT_EQ(text.ToInt64(), 0);
  EXPECT_EQ(Variant::Text(" 42 ").ToInt64(), 42);
}

// A source type goes with copies of the value, and not with the next value
// a reused buffer is given: a row loop must not send a stale type.
TEST(Variant, ASourceTypeStaysWithItsValueOnly) {
  Variant v = Variant::Text("ab");
  v.set_source_type(0x80000123u);
  const Variant copy = v;
  EXPECT_EQ(copy.source_type(), 0x80000123u);
  EXPECT_TRUE(copy == Variant::Text("ab"));  // not part of the value
  for (auto set : {+[](Variant& x) { x.SetText("cd"); }, +[](Variant& x) { x.SetNull(); },
                   +[](Variant& x) { x.SetInteger(com::VarType::kI4, 1); }, +[](Variant& x) { x.SetReal(com::VarType::kR8, 1); },
                   +[](Variant& x) { x.SetDecimal("1.5"); }, +[](Variant& x) { x.SetBytes("z"); }}) {
    Variant reused = v;
    set(reused);
    EXPECT_EQ(reused.source_type(), 0u);
  }
}

TEST(Variant, CoercionFailuresAreTypeMismatchErrors) {
  for (const Variant& v : {Variant::Null(), Variant(), Variant::Text("abc"), Variant::Text("")}) {
    try {
      (void)v.ToInt64();
      FAIL() << "no error for " << v.ToText();
    } catch (const com::Error& e) {
      EXPECT_EQ(e.number(), com::kErrTypeMismatch);
    }
  }
  EXPECT_THROW((void)Variant::R8(1e300).ToInt64(), com::Error);
}

TEST(Variant, BooleansFollowAutomationRules) {
  EXPECT_EQ(Variant::Bool(true).ToInt64(), -1);
  EXPECT_TRUE(Variant::Text("True").ToBool());
  EXPECT_FALSE(Variant::Text("0").ToBool());
  EXPECT_TRUE(Variant::I2(2).ToBool());
  EXPECT_EQ(Variant::Bool(false).ToText(), "False");
}

TEST(Currency, FormatsWithFourDecimalsAndParsesBack) {
  EXPECT_EQ(com::FormatCurrency(0), "0.0000");
  EXPECT_EQ(com::FormatCurrency(-5000), "-0.5000");
  EXPECT_EQ(com::FormatCurrency(1234), "0.1234");
  EXPECT_EQ(com::FormatCurrency(INT64_MIN), "-922337203685477.5808");
  EXPECT_EQ(com::FormatCurrency(INT64_MAX), "922337203685477.5807");
  std::int64_t v = 0;
  ASSERT_TRUE(com::ParseCurrency("-922337203685477.5808", &v));
  EXPECT_EQ(v, INT64_MIN);
  ASSERT_TRUE(com::ParseCurrency("12.5", &v));
  EXPECT_EQ(v, 125000);
  ASSERT_TRUE(com::ParseCurrency("-0.12340000", &v));
  EXPECT_EQ(v, -1234);
  EXPECT_FALSE(com::ParseCurrency("0.12345", &v));  // a fifth decimal would be lost
  EXPECT_FALSE(com::ParseCurrency("922337203685477.5808", &v));
  EXPECT_FALSE(com::ParseCurrency("1e3", &v));
  EXPECT_FALSE(com::ParseCurrency(".", &v));
}

TEST(Double, ShortestTextReadsBackExactly) {
  for (double d : {0.1, 0.1234, -80.0, 1.0 / 3.0, 123456789.125, 5e-324, 1.7976931348623157e308}) {
    const std::string t = com::FormatDouble(d);
    EXPECT_EQ(std::strtod(t.c_str(), nullptr), d) << t;
  }
  EXPECT_EQ(com::FormatDouble(0.1234), "0.1234");
  EXPECT_EQ(com::FormatDouble(-80), "-80");
}

// ------------------------------------------------------------ exact decimals

using com::Numeric;
using com::NumericStatus;

// A number of the text's own scale; the test's texts are numbers.
Numeric N(std::string_view text) {
  Numeric n;
  EXPECT_EQ(com::ParseNumeric(text, &n), NumericStatus::kOk) << text;
  return n;
}

// The canonical text of a result, or the status that stood in its way.
std::string Outcome(NumericStatus status, const Numeric& n) {
  switch (status) {
    case NumericStatus::kOk: return com::FormatNumeric(n);
    case NumericStatus::kOverflow: return "overflow";
    case NumericStatus::kNotANumber: return "not a number";
    case NumericStatus::kDivideByZero: return "divide by zero";
  }
  return "?";
}

TEST(Numeric, TextIsRoundedHalfAwayFromZeroToTheScaleAndHeldToThePrecision) {
  const struct {
    std::string_view text;
    int precision, scale;
    std::string_view expected;
  } kCases[] = {
      {"1.5", 5, 2, "1.50"},
      {" +12.345 ", 5, 2, "12.35"},
      {"-0.005", 5, 2, "-0.01"},
      {"-0.004", 5, 2, "0.00"},  // no negative zero
      {".5", 1, 1, "0.5"},
      {"5.", 3, 0, "5"},
      {"2.5", 3, 0, "3"},
      {"-2.5", 3, 0, "-3"},
      {"0000000000000000000000000000000000000000001.5", 2, 1, "1.5"},
      {"999.994", 5, 2, "999.99"},
      {"999.995", 5, 2, "overflow"},  // rounds to 1000.00
      {"1234", 5, 2, "overflow"},
      {std::string_view("99999999999999999999999999999999999999"), 38, 0, "99999999999999999999999999999999999999"},
      {std::string_view("100000000000000000000000000000000000000"), 38, 0, "overflow"},
      {"0.99999999999999999999999999999999999999", 38, 38, "0.99999999999999999999999999999999999999"},
      {"1e5", 10, 0, "not a number"},
      {"", 10, 0, "not a number"},
      {"-", 10, 0, "not a number"},
      {".", 10, 0, "not a number"},
      {"1.2.3", 10, 0, "not a number"},
      {"12a", 10, 0, "not a number"},
      {"$1", 10, 0, "not a number"},
  };
  for (const auto& c : kCases) {
    Numeric n;
    EXPECT_EQ(Outcome(com::ParseNumeric(c.text, c.precision, c.scale, &n), n), c.expected)
        << c.text << " as decimal(" << c.precision << "," << c.scale << ")";
  }
  // A thousand digits are refused, not read.
  Numeric n;
  EXPECT_EQ(com::ParseNumeric(std::string(1000, '7'), 38, 0, &n), NumericStatus::kOverflow);
  EXPECT_EQ(com::ParseNumeric(std::string(1000, '7'), &n), NumericStatus::kOverflow);
  // Its own scale: as written, within 38 digits.
  EXPECT_EQ(com::FormatNumeric(N("1.50")), "1.50");
  EXPECT_EQ(com::FormatNumeric(N("-0.0")), "0.0");
  EXPECT_EQ(com::FormatNumeric(N("0." + std::string(40, '0') + "1")), "0." + std::string(38, '0'));
}

TEST(Numeric, OperationsAreExactThenBroughtToTheResultType) {
  using Op = NumericStatus (*)(const Numeric&, const Numeric&, int, int, Numeric*);
  const struct {
    const char* what;
    Op op;
    std::string_view a, b;
    int precision, scale;
    std::string_view expected;
  } kCases[] = {
      {"+", com::AddNumeric, "1.5", "2.25", 5, 2, "3.75"},
      {"-", com::SubtractNumeric, "1.5", "2.25", 5, 2, "-0.75"},
      {"- of equals", com::SubtractNumeric, "-2.25", "-2.25", 5, 2, "0.00"},
      {"+ past 38 digits", com::AddNumeric, "99999999999999999999999999999999999999", "1", 38, 0, "overflow"},
      {"*", com::MultiplyNumeric, "1.25", "-1.25", 7, 4, "-1.5625"},
      // The product of two 38-digit numbers is exact before it is rounded.
      // (10^19 - 10^-19)^2 = 10^38 - 2 + 10^-38: 76 digits, exact before rounding.
      {"* of 38 digits", com::MultiplyNumeric, "9999999999999999999.9999999999999999999",
       "9999999999999999999.9999999999999999999", 38, 0, "99999999999999999999999999999999999998"},
      {"* past 38 digits", com::MultiplyNumeric, "99999999999999999999", "10000000000000000000", 38, 0, "overflow"},
      {"* rounded up", com::MultiplyNumeric, "0.0000005", "1.0", 38, 6, "0.000001"},
      {"* rounded down", com::MultiplyNumeric, "0.0000004", "1.0", 38, 6, "0.000000"},
      {"* rounded away from zero", com::MultiplyNumeric, "-0.0000005", "1.0", 38, 6, "-0.000001"},
      {"/ cut", com::DivideNumeric, "2.0", "3", 38, 6, "0.666666"},
      {"/ cut, negative", com::DivideNumeric, "-2.0", "3", 38, 6, "-0.666666"},
      {"/ to 36 digits", com::DivideNumeric, "62.13", "42", 38, 36, "1.479285714285714285714285714285714285"},
      {"/ past the precision", com::DivideNumeric, "9999999999999999999999999999999999999", "3", 38, 6, "overflow"},
      {"/ by zero", com::DivideNumeric, "1", "0.00", 38, 6, "divide by zero"},
      {"%", com::ModuloNumeric, "7.5", "2", 3, 1, "1.5"},
      {"% takes the dividend's sign", com::ModuloNumeric, "-7.5", "2", 3, 1, "-1.5"},
      {"% by zero", com::ModuloNumeric, "7.5", "0", 3, 1, "divide by zero"},
  };
  for (const auto& c : kCases) {
    Numeric r;
    EXPECT_EQ(Outcome(c.op(N(c.a), N(c.b), c.precision, c.scale, &r), r), c.expected) << c.what;
  }
}

TEST(Numeric, ATenthAddedTenThousandTimesIsExactlyAThousand) {
  Numeric sum;
  const Numeric tenth = N("0.1");
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(com::AddNumeric(sum, tenth, 38, 1, &sum), NumericStatus::kOk);
  EXPECT_EQ(com::FormatNumeric(sum), "1000.0");
}

TEST(Numeric, ComparesByValueWhateverTheScaleAndAsTextToo) {
  const struct {
    std::string_view a, b;
    int expected;
  } kCases[] = {
      {"1.50", "1.5", 0},  {"-1", "0.5", -1},     {"10", "9.99", 1},   {"-10", "-9.99", -1},
      {"0.000", "-0", 0},  {"-0.5", "-0.50", 0},  {"0.1", "0.01", 1},  {"100", "99.999999", 1},
      {"12345678901234567890123456789012345678", "12345678901234567890123456789012345677", 1},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(com::CompareNumeric(N(c.a), N(c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(com::CompareNumeric(N(c.b), N(c.a)), -c.expected) << c.b << " vs " << c.a;
    EXPECT_EQ(com::CompareNumericText(c.a, c.b), c.expected) << c.a << " vs " << c.b << " as text";
    EXPECT_EQ(com::CompareNumericText(c.b, c.a), -c.expected) << c.b << " vs " << c.a << " as text";
  }
  // Texts that are no numbers follow every number, in byte order.
  EXPECT_EQ(com::CompareNumericText("abc", "100"), 1);
  EXPECT_EQ(com::CompareNumericText("abc", "abd"), -1);
}

TEST(Numeric, ConvertsFromAndToIntegersMoneyAndDoubles) {
  Numeric n;
  EXPECT_EQ(Outcome(com::NumericFromDouble(0.1, 10, 2, &n), n), "0.10");
  EXPECT_EQ(Outcome(com::NumericFromDouble(-2.675, 10, 1, &n), n), "-2.7");
  EXPECT_EQ(Outcome(com::NumericFromDouble(1e300, 38, 0, &n), n), "overflow");
  EXPECT_EQ(Outcome(com::NumericFromDouble(std::nan(""), 38, 0, &n), n), "overflow");
  EXPECT_EQ(com::NumericToDouble(N("1.50")), 1.5);
  EXPECT_EQ(com::FormatNumeric(com::NumericFromUnits(-12345)), "-1.2345");
  EXPECT_EQ(com::FormatNumeric(com::NumericFromInteger(INT64_MIN)), "-9223372036854775808");
  std::int64_t i = 0;
  EXPECT_EQ(com::NumericToInteger(N("-2.7"), &i), NumericStatus::kOk);
  EXPECT_EQ(i, -2);  // cut towards zero
  EXPECT_EQ(com::NumericToInteger(N("-9223372036854775808.9"), &i), NumericStatus::kOk);
  EXPECT_EQ(i, INT64_MIN);
  EXPECT_EQ(com::NumericToInteger(N("9223372036854775808"), &i), NumericStatus::kOverflow);
}

TEST(Numeric, RoundKeepsTheScaleAndOverflowsWhenADigitIsGained) {
  const struct {
    int digits;
    std::string_view expected;
  } kCases[] = {{1, "748.60"}, {-1, "750.00"}, {-2, "700.00"}, {-3, "overflow"}, {-4, "0.00"}, {-100, "0.00"}, {5, "748.58"}};
  for (const auto& c : kCases) {
    Numeric r;
    EXPECT_EQ(Outcome(com::RoundNumeric(N("748.58"), c.digits, 5, &r), r), c.expected) << c.digits;
  }
}

TEST(Numeric, TheWireFormIsASignByteAndTheLittleEndianMagnitude) {
  EXPECT_EQ(com::NumericWireSize(9), 5);
  EXPECT_EQ(com::NumericWireSize(10), 9);
  EXPECT_EQ(com::NumericWireSize(19), 9);
  EXPECT_EQ(com::NumericWireSize(20), 13);
  EXPECT_EQ(com::NumericWireSize(28), 13);
  EXPECT_EQ(com::NumericWireSize(29), 17);
  EXPECT_EQ(com::NumericWireSize(38), 17);
  unsigned char bytes[17];
  com::NumericToWire(N("-1.5"), 5, bytes);  // 15 tenths, negative
  EXPECT_EQ(std::vector<int>(bytes, bytes + 5), (std::vector<int>{0, 15, 0, 0, 0}));
  com::NumericToWire(N("99999999999999999999999999999999999999"), 17, bytes);  // 10^38 - 1
  EXPECT_EQ(std::vector<int>(bytes, bytes + 17), (std::vector<int>{1, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0x22, 0x8A, 0x09, 0x7A,
                                                                   0xC4, 0x86, 0x5A, 0xA8, 0x4C, 0x3B, 0x4B}));
  // Read back: the same bytes at the scale sent with them.
  com::Numeric back;
  ASSERT_EQ(com::NumericFromWire(bytes, 17, 2, &back), com::NumericStatus::kOk);
  EXPECT_EQ(com::FormatNumeric(back), "999999999999999999999999999999999999.99");
  const unsigned char negative[] = {0, 15, 0, 0, 0};
  ASSERT_EQ(com::NumericFromWire(negative, 5, 1, &back), com::NumericStatus::kOk);
  EXPECT_EQ(com::FormatNumeric(back), "-1.5");
  // 10^38 does not fit 38 digits.
  const unsigned char too_big[] = {1, 0, 0, 0, 0, 0x40, 0x22, 0x8A, 0x09, 0x7A, 0xC4, 0x86, 0x5A, 0xA8, 0x4C, 0x3B, 0x4B};
  EXPECT_EQ(com::NumericFromWire(too_big, 17, 0, &back), com::NumericStatus::kOverflow);
}

TEST(OleDate, ConvertsAcrossTheEpochAndCenturies) {
  using com::CivilTime;
  EXPECT_EQ(com::CivilFromOleDate(0.0), (CivilTime{1899, 12, 30, 0, 0, 0, 0}));
  EXPECT_EQ(com::CivilFromOleDate(2.5), (CivilTime{1900, 1, 1, 12, 0, 0, 0}));
  // Before the epoch the fraction still counts forward from midnight.
  EXPECT_EQ(com::CivilFromOleDate(-1.25), (CivilTime{1899, 12, 29, 6, 0, 0, 0}));
  const CivilTime cases[] = {{1753, 1, 1, 0, 0, 0, 0},     {1899, 12, 29, 23, 59, 59, 0},
                             {1900, 2, 28, 8, 30, 0, 0},   {2000, 2, 29, 0, 0, 0, 0},
                             {2038, 1, 19, 3, 14, 8, 0},   {2100, 12, 31, 23, 59, 59, 0},
                             {9999, 12, 31, 12, 0, 0, 500}};
  for (const CivilTime& t : cases) {
    EXPECT_EQ(com::CivilFromOleDate(com::OleDateFromCivil(t)), t) << com::FormatCivil(t);
  }
  EXPECT_EQ(com::FormatCivil({2038, 1, 19, 3, 14, 8, 250}), "2038-01-19 03:14:08.250");
}

TEST(OleDate, ParsesOnlyRealDates) {
  EXPECT_EQ(com::ParseCivil("2024-02-29 13:05:09"), (com::CivilTime{2024, 2, 29, 13, 5, 9, 0}));
  EXPECT_EQ(com::ParseCivil("1899-12-30"), (com::CivilTime{1899, 12, 30, 0, 0, 0, 0}));
  EXPECT_EQ(com::ParseCivil("2001-01-01 00:00:00.5")->millisecond, 500);
  EXPECT_FALSE(com::ParseCivil("2023-02-29"));
  EXPECT_FALSE(com::ParseCivil("2023-13-01"));
  EXPECT_FALSE(com::ParseCivil("2023-01-01 24:00:00"));
  EXPECT_FALSE(com::ParseCivil("2023-01-01x"));
  EXPECT_FALSE(com::ParseCivil("01/02/2023"));
}

// A negative HRESULT shows as the eight hexadecimal digits COM writes.
TEST(Error, ShowsANegativeNumberAsItsHresult) {
  com::Error e(com::ErrorNumber(0x80040001u), "Velmora", "请选择目的数据库！");
  EXPECT_EQ(e.HexNumber(), "0x80040001");
}

TEST(ComponentSystem, CreatesLibraryClassesByProgId) {
  auto conn = com::QueryInterface<korvel::CConnection>(com::CreateObject("Korvel.CConnection"), "Korvel.CConnection");
  EXPECT_EQ(conn->Provider, "");
  auto plan = com::QueryInterface<korvel::IPackage>(com::CreateObject("Korvel.IPackage"), "Korvel.IPackage");
  korvel::CConnection a, b;
  plan->KorvelInit(a, b);
  plan->KorvelExec();
  EXPECT_EQ(plan->GetPackage(), nullptr);
}

TEST(ComponentSystem, ClearErrorsNameTheProgId) {
  auto expect_not_registered = [](const char* prog_id) {
    try {
      com::CreateObject(prog_id);
      ADD_FAILURE() << prog_id << " was created";
    } catch (const com::Error& e) {
      EXPECT_EQ(e.number(), com::kErrClassNotRegistered) << prog_id;
      EXPECT_NE(e.description().find(prog_id), std::string::npos) << e.description();
    }
  };
  expect_not_registered("Korvel.C5to6NoSuchPlan");
  expect_not_registered("Korvel.");
  expect_not_registered("NoSuchLibrary.Thing");
  expect_not_registered("NoDotAtAll");
  expect_not_registered("../etc/passwd.x");
}

TEST(ComponentSystem, RefusesAnObjectWithoutTheInterface) {
  auto obj = com::CreateObject("Korvel.CConnection");
  try {
    com::QueryInterface<korvel::IPackage>(obj, "Korvel.CConnection");
    FAIL();
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), com::kErrNoInterface);
  }
}

TEST(ComponentSystem, ClassesRegisteredByTheProgramComeFirstAndGoWithTheirRegistration) {
  class Factory final : public com::ClassFactory {
   public:
    std::shared_ptr<com::Object> CreateInstance() const override { return std::make_shared<korvel::CConnection>(); }
  };
  {
    auto registration = com::RegisterClassObject("Korvel.TestOwnClass", std::make_shared<Factory>());
    EXPECT_NE(std::dynamic_pointer_cast<korvel::CConnection>(com::CreateObject("Korvel.TestOwnClass")), nullptr);
    EXPECT_THROW(auto again = com::RegisterClassObject("Korvel.TestOwnClass", std::make_shared<Factory>()), com::Error);
    // Moving the registration keeps it.
    com::ClassRegistration moved = std::move(registration);
    EXPECT_NO_THROW(com::CreateObject("Korvel.TestOwnClass"));
  }
  EXPECT_THROW(com::CreateObject("Korvel.TestOwnClass"), com::Error);
}

}  // namespace

namespace {

TEST(ObjectNames, SplitAtDotsOutsideBracketsWithDoubledBracketsRead) {
  using Parts = std::vector<std::string>;
  EXPECT_EQ(com::ObjectNameParts("[Shop].[dbo].[Customer]"), (Parts{"Shop", "dbo", "Customer"}));
  EXPECT_EQ(com::ObjectNameParts("dbo.Customer"), (Parts{"dbo", "Customer"}));
  EXPECT_EQ(com::ObjectNameParts("[a]]b].[dbo].[T.x]"), (Parts{"a]b", "dbo", "T.x"}));
  EXPECT_EQ(com::ObjectNameParts("[门店 1]..[T]"), (Parts{"门店 1", "", "T"}));
  EXPECT_EQ(com::ObjectNameParts("[unclosed"), (Parts{"unclosed"}));
}

}  // namespace
