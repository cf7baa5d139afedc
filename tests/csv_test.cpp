// The CSV the check's lists are written in and read back from.
#include "platform/com/csv.h"

#include <gtest/gtest.h>

#include "platform/com/error.h"

namespace {

using com::CsvField;
using com::ParseCsv;

TEST(Csv, FieldsWrittenAreReadBackAsTheyWere) {
  const std::vector<std::string> fields = {"plain", "a,b", "say \"hi\"", "two\r\nlines", "", "客户 C001"};
  std::string line;
  for (const auto& f : fields) line += (line.empty() ? "" : ",") + CsvField(f);
  // A byte-order mark first, as the lists are saved, then a second record
  // after a blank line, ended by LF alone.
  const auto records = ParseCsv("\xEF\xBB\xBF" + line + "\r\n\r\nlast,\"x\"\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].fields, fields);
  EXPECT_EQ(records[0].line, 1u);
  // The quoted line break counts: the second record starts on line 4.
  EXPECT_EQ(records[1].line, 4u);
  EXPECT_EQ(records[1].fields, (std::vector<std::string>{"last", "x"}));
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField("a\"b"), "\"a\"\"b\"");
}

TEST(Csv, MalformedTextNamesItsLine) {
  try {
    ParseCsv("a,b\nc,\"never closed\nd\n");
    FAIL() << "an unclosed quote was read";
  } catch (const com::Error& e) {
    EXPECT_NE(e.description().find("第 2 行"), std::string::npos) << e.description();
  }
  try {
    ParseCsv("a,\"b\"c\n");
    FAIL() << "text after a closing quote was read";
  } catch (const com::Error& e) {
    EXPECT_NE(e.description().find("第 1 行"), std::string::npos) << e.description();
  }
  EXPECT_TRUE(ParseCsv("").empty());
  EXPECT_TRUE(ParseCsv("\xEF\xBB\xBF\r\n\n").empty());
}

}  // namespace
