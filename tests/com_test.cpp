// Values, dates and the component system.
#include <gtest/gtest.h>

#include <cstdlib>

#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"
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

TEST(Error, CarriesNumberSourceAndDescription) {
  com::Error e(com::ErrorNumber(0x80040001u), "Velmora", "请选择目的数据库！");
  EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80040001u));
  EXPECT_EQ(e.HexNumber(), "0x80040001");
  EXPECT_EQ(e.source(), "Velmora");
  EXPECT_STREQ(e.what(), "请选择目的数据库！");
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
