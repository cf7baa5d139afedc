// The JSON library the reports are written and read with: what it reads,
// what it refuses and where, and the layout it writes. Expected texts are
// written out by hand from JSON's rules and the layout the report files
// have.
#include "platform/com/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/error.h"

namespace {

using com::Json;
using com::JsonDocument;
using com::JsonField;

// The description of the error parsing `text` raises; "" when it parses.
std::string ParseFault(std::string_view text) {
  try {
    Json::Parse(text);
  } catch (const com::Error& e) {
    return e.description();
  }
  return "";
}

TEST(JsonRead, StringsUnescapeAndUtf8PassesThrough) {
  const Json v = Json::Parse(R"(["a\"b\\c\/d", "\b\f\n\r\t", "\u0041\u00e9\u4e2d", "\ud83d\ude00", "店名 ü"])");
  const auto& items = v.items();
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].text(), "a\"b\\c/d");
  EXPECT_EQ(items[1].text(), "\b\f\n\r\t");
  EXPECT_EQ(items[2].text(), "A\xC3\xA9\xE4\xB8\xAD");  // U+00E9 and U+4E2D as UTF-8
  EXPECT_EQ(items[3].text(), "\xF0\x9F\x98\x80");       // U+1F600 from its surrogate pair
  EXPECT_EQ(items[4].text(), "店名 ü");
}

TEST(JsonRead, IntegersFitting64BitsAreIntegersOtherNumbersKeepTheirText) {
  const Json v = Json::Parse(
      "[0, -0, 9223372036854775807, -9223372036854775808, 9223372036854775808, 12345678901234.5678, 1e-05, -2.5E+3]");
  const auto& n = v.items();
  EXPECT_EQ(n[0].integer(), 0);
  EXPECT_EQ(n[1].integer(), 0);
  EXPECT_EQ(n[2].integer(), INT64_MAX);
  EXPECT_EQ(n[3].integer(), INT64_MIN);
  EXPECT_EQ(n[4].type(), Json::Type::kNumber);  // one past 64 bits: kept, not rounded
  EXPECT_EQ(n[4].number_text(), "9223372036854775808");
  EXPECT_THROW(n[4].integer(), com::Error);
  EXPECT_EQ(n[5].number_text(), "12345678901234.5678");  // exact, as no double holds it
  EXPECT_EQ(n[6].number_text(), "1e-05");
  EXPECT_EQ(n[7].number_text(), "-2.5E+3");
  EXPECT_EQ(com::CompactJson(v),
            "[0, 0, 9223372036854775807, -9223372036854775808, 9223372036854775808, 12345678901234.5678, 1e-05, "
            "-2.5E+3]");
}

TEST(JsonRead, WhatIsNotStrictJsonIsRefusedNamingTheByte) {
  const struct {
    std::string text;
    std::string fault;  // the fault's place and reason
  } cases[] = {
      {"", "第 1 个字节处：illegal value"},
      {"   ", "第 4 个字节处：illegal value"},
      {"{\"a\": 1", "第 8 个字节处：unterminated object"},
      {"{\"a\": 1,", "第 9 个字节处：unterminated object"},
      {"[1, 2", "第 6 个字节处：unterminated array"},
      {"[1 2]", "第 4 个字节处：missing value separator"},
      {"{\"a\" 1}", "第 6 个字节处：missing name separator"},
      {"{\"a\": 1 \"b\": 2}", "第 9 个字节处：missing value separator"},
      {"[1,]", "第 4 个字节处：illegal value"},
      {"{\"a\": 1, \"a\": 2}", "第 10 个字节处：duplicate key"},
      {"{\"a\": 1} x", "第 10 个字节处：garbage at the end of the document"},
      {"{} {}", "第 4 个字节处：garbage at the end of the document"},
      {"\"abc", "第 5 个字节处：unterminated string"},
      {"\"a\tb\"", "第 3 个字节处：unescaped control character in a string"},
      {"\"a\\x\"", "第 4 个字节处：invalid escape sequence"},
      {"\"\\u12G4\"", "第 6 个字节处：invalid escape sequence"},
      {"\"\\ud83d\"", "第 2 个字节处：invalid escape sequence"},         // a high surrogate alone
      {"\"\\ud83d\\u0041\"", "第 2 个字节处：invalid escape sequence"},  // not followed by a low one
      {"\"\\ude00\"", "第 2 个字节处：invalid escape sequence"},         // a low surrogate alone
      {"\"a\xC0\x80\"", "第 3 个字节处：invalid UTF8 string"},           // an overlong NUL
      {"\"a\x80\"", "第 3 个字节处：invalid UTF8 string"},               // a continuation byte alone
      {"\"\xED\xA0\x80\"", "第 2 个字节处：invalid UTF8 string"},        // a surrogate in UTF-8
      {"\"\xE4\xB8\"", "第 2 个字节处：invalid UTF8 string"},            // cut inside a character
      {"01", "第 1 个字节处：illegal number"},
      {"[1.]", "第 2 个字节处：illegal number"},
      {"[-]", "第 2 个字节处：illegal number"},
      {"1e", "第 1 个字节处：illegal number"},
      {"+1", "第 1 个字节处：illegal value"},
      {".5", "第 1 个字节处：illegal value"},
      {"tru", "第 1 个字节处：illegal value"},
      {"NaN", "第 1 个字节处：illegal value"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseFault(c.text), "不是有效的 JSON（" + c.fault + "）") << c.text;
  }
}

TEST(JsonRead, EveryTruncationOfADocumentIsRefused) {
  const std::string document = R"({"a": [1, {"b": "c\u00e9"}, true, null], "d": -12.5e3})";
  ASSERT_EQ(ParseFault(document), "");
  for (std::size_t size = 0; size < document.size(); ++size) {
    EXPECT_NE(ParseFault(document.substr(0, size)), "") << document.substr(0, size);
  }
}

TEST(JsonRead, NestingIsHeldToALimitWithoutExhaustingTheStack) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_EQ(ParseFault(nested(Json::kMaxDepth)), "");
  EXPECT_EQ(ParseFault(nested(Json::kMaxDepth + 1)),
            "不是有效的 JSON（第 " + std::to_string(Json::kMaxDepth + 1) + " 个字节处：too deeply nested document）");
  // Far past any stack: refused at the limit, not by a crash.
  EXPECT_NE(ParseFault(std::string(10000000, '[')).find("too deeply nested document"), std::string::npos);
  EXPECT_NE(ParseFault(std::string(5000000, '{').insert(1, "\"a\":")).find("illegal value"), std::string::npos);
}

TEST(JsonWrite, FilesOpenContainersOfContainersAndKeepArrayItemsOnOneLine) {
  Json inner = Json::Object();
  inner.Add("x", Json::Integer(1)).Add("y", Json::Array().Push(Json::Integer(2)).Push(Json::Integer(3)));
  Json doc = Json::Object();
  doc.Add("name", Json::String("店"))
      .Add("plain", Json::Object().Add("a", Json::Bool(true)).Add("b", Json()))
      .Add("empty", Json::Array())
      .Add("list", Json::Array().Push(inner).Push(Json::Object()))
      .Add("nested", Json::Object().Add("list", Json::Array().Push(Json::Array().Push(Json::String("s")))))
      .Add("amount", Json::Number("12345678901234.5678"));
  EXPECT_EQ(com::WriteJson(doc),
            "{\n"
            "  \"name\": \"店\",\n"
            "  \"plain\": {\"a\": true, \"b\": null},\n"
            "  \"empty\": [],\n"
            "  \"list\": [\n"
            "    {\"x\": 1, \"y\": [2, 3]},\n"
            "    {}\n"
            "  ],\n"
            "  \"nested\": {\n"
            "    \"list\": [\n"
            "      [\"s\"]\n"
            "    ]\n"
            "  },\n"
            "  \"amount\": 12345678901234.5678\n"
            "}\n");
  EXPECT_EQ(Json::Parse(com::WriteJson(doc)), doc);
  EXPECT_EQ(com::CompactJson(doc["list"]), "[{\"x\": 1, \"y\": [2, 3]}, {}]");
}

TEST(JsonWrite, StringsEscapeQuotesBackslashesAndControlCharactersOnly) {
  const std::string text = std::string("q\"b\\n\nr\rt\t\x01\x1f\x7f/é") + std::string(1, '\0');
  EXPECT_EQ(com::CompactJson(Json::String(text)), "\"q\\\"b\\\\n\\nr\\rt\\t\\u0001\\u001f\x7f/é\\u0000\"");
  EXPECT_EQ(Json::Parse(com::CompactJson(Json::String(text))).text(), text);
}

TEST(JsonValue, BuildingRefusesWhatJsonCannotHold) {
  EXPECT_THROW(Json::Number("1."), com::Error);
  EXPECT_THROW(Json::Number("nan"), com::Error);
  EXPECT_THROW(Json::Object().Add("a", Json()).Add("a", Json()), com::Error);
  EXPECT_THROW(Json::Array().Add("a", Json()), com::Error);
  EXPECT_THROW(Json::Object().Push(Json()), com::Error);
  const Json v = Json::Parse(R"({"s": "1", "n": 1})");
  EXPECT_THROW(v["s"].integer(), com::Error);
  EXPECT_THROW(v["n"].text(), com::Error);
  EXPECT_THROW(v["missing"], com::Error);
  EXPECT_THROW(v.items(), com::Error);
}

// The description of the error `read` raises on the report `text`.
template <typename Read>
std::string FieldFault(const std::string& text, Read read) {
  try {
    const JsonDocument document(text, "报告", "korvel");
    read(document.Root());
  } catch (const com::Error& e) {
    EXPECT_EQ(e.source(), "korvel");
    return e.description();
  }
  return "";
}

TEST(JsonField, EveryFaultNamesTheFieldWhereItIs) {
  const std::string doc = R"({"steps": [{"rows": 1}, {"rows": 1.5, "name": 7, "big": 18446744073709551616,
      "ok": "yes", "amount": "1.23456", "cash": "-12.5", "n": 300, "items": {}}], "top": null})";
  const struct {
    const char* expected;
    void (*read)(const JsonField&);
  } cases[] = {
      {"无法读取报告：缺少字段“steps[0].name”", [](const JsonField& r) { r["steps"].Items()[0]["name"]; }},
      {"无法读取报告：缺少字段“kind”", [](const JsonField& r) { r["kind"]; }},
      {"无法读取报告：字段“steps[1].rows”应为整数",
       [](const JsonField& r) { r["steps"].Items()[1]["rows"].Integer(); }},
      {"无法读取报告：字段“steps[1].name”应为字符串", [](const JsonField& r) { r["steps"].Items()[1]["name"].Text(); }},
      {"无法读取报告：字段“steps[1].big”的值超出范围",
       [](const JsonField& r) { r["steps"].Items()[1]["big"].Integer(); }},
      {"无法读取报告：字段“steps[1].n”的值超出范围",
       [](const JsonField& r) { r["steps"].Items()[1]["n"].Integer(0, 255); }},
      {"无法读取报告：字段“steps[1].ok”应为true 或 false",
       [](const JsonField& r) { r["steps"].Items()[1]["ok"].Boolean(); }},
      {"无法读取报告：字段“steps[1].amount”不是金额：“1.23456”",
       [](const JsonField& r) { r["steps"].Items()[1]["amount"].Money(); }},
      {"无法读取报告：字段“steps[1].items”应为数组",
       [](const JsonField& r) { r["steps"].Items()[1]["items"].Items(); }},
      {"无法读取报告：字段“steps”应为对象", [](const JsonField& r) { r["steps"]["rows"]; }},
      {"无法读取报告：字段“top”应为数字", [](const JsonField& r) { r["top"].Number(); }},
      {"无法读取报告：字段“steps[1].ok”的值“yes”无效",
       [](const JsonField& r) {
         r["steps"].Items()[1]["ok"].OneOf<int>({{"no", 0}});
       }},
  };
  for (const auto& c : cases) EXPECT_EQ(FieldFault(doc, c.read), c.expected);

  const JsonDocument document(doc, "报告", "korvel");
  const JsonField step = document.Root()["steps"].Items()[1];
  EXPECT_EQ(step["cash"].Money(), -125000);
  EXPECT_EQ(step["rows"].Number(), 1.5);
  EXPECT_EQ(step["ok"].OneOf<int>({{"no", 0}, {"yes", 1}}), 1);
  EXPECT_EQ(document.Root()["top"].TextOrNull(), "");
  EXPECT_TRUE(step.Has("big"));
  EXPECT_FALSE(step.Has("small"));
}

TEST(JsonField, ADocumentThatIsNotJsonOrNotAnObjectIsRefusedAsWhatItWasToBe) {
  EXPECT_EQ(FieldFault("[1]", [](const JsonField& r) { r["kind"]; }), "无法读取报告：报告应为 JSON 对象");
  EXPECT_EQ(FieldFault("{\"a\": }", [](const JsonField&) {}),
            "无法读取报告：不是有效的 JSON（第 7 个字节处：illegal value）");
  try {
    const JsonDocument record("\"x\"", "修正记录", "korvel");
    record.Root().Has("source");
    ADD_FAILURE() << "a string read as an object";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.description(), "无法读取修正记录：修正记录应为 JSON 对象");
  }
}

}  // namespace
