// The TSV the command line prints and reads back.
#include <gtest/gtest.h>

#include "cli/tsv.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"

namespace {

using com::Variant;

TEST(Tsv, FormatsEveryTypeAsDocumented) {
  EXPECT_EQ(cli::FormatTsvValue(Variant::Null()), "\\N");
  EXPECT_EQ(cli::FormatTsvValue(Variant::Text("")), "");
  EXPECT_EQ(cli::FormatTsvValue(Variant::Text("a\tb\r\nc\\d")), "a\\tb\\r\\nc\\\\d");
  EXPECT_EQ(cli::FormatTsvValue(Variant::Bool(true)), "1");
  EXPECT_EQ(cli::FormatTsvValue(Variant::Bool(false)), "0");
  EXPECT_EQ(cli::FormatTsvValue(Variant::Currency(-1234)), "-0.1234");
  EXPECT_EQ(cli::FormatTsvValue(Variant::R8(0.1)), "0.1");
  EXPECT_EQ(cli::FormatTsvValue(Variant::R4(0.1f)), "0.1");
  EXPECT_EQ(cli::FormatTsvValue(Variant::I2(-5)), "-5");
  EXPECT_EQ(cli::FormatTsvValue(Variant::Date(com::OleDateFromCivil({1850, 7, 1, 13, 5, 0, 0}))),
            "1850-07-01 13:05:00");
}

TEST(Tsv, SplitsAndUnescapesLines) {
  const auto f = cli::SplitTsvLine("a\\tb\t\\N\t\tx\\\\N\t\\r\\n");
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(*f[0], "a\tb");
  EXPECT_FALSE(f[1].has_value());
  EXPECT_EQ(*f[2], "");
  EXPECT_EQ(*f[3], "x\\N");
  EXPECT_EQ(*f[4], "\r\n");
  EXPECT_EQ(cli::SplitTsvLine("").size(), 1u);
  EXPECT_THROW(cli::SplitTsvLine("a\\"), com::Error);
  EXPECT_THROW(cli::SplitTsvLine("a\\q"), com::Error);
  EXPECT_THROW(cli::SplitTsvLine("x\\N"), com::Error);
  EXPECT_THROW(cli::SplitTsvLine("\\Nx"), com::Error);
}

}  // namespace
