#include "cli/source_schema.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/com/numeric.h"
#include "platform/dts/binary_form.h"

namespace embedded {
extern const char kSchema56[];
}

namespace cli {
namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return out;
}

[[noreturn]] void BadValue(const jet::ColumnDefinition& c, const std::string& field, const char* expected) {
  throw com::Error(com::kErrTypeMismatch, "korvel",
                   "列 " + c.name + " 的值“" + field + "”不是" + expected);
}

std::int64_t ParseInteger(const jet::ColumnDefinition& c, const std::string& f, std::int64_t lo, std::int64_t hi) {
  std::int64_t v = 0;
  auto [p, ec] = std::from_chars(f.data(), f.data() + f.size(), v);
  if (ec != std::errc() || p != f.data() + f.size() || f.empty() || v < lo || v > hi) {
    BadValue(c, f, "范围内的整数");
  }
  return v;
}

// A whole number from `lo` to `hi` filling `text`, or -1.
int SizeNumber(std::string_view text, int lo, int hi) {
  int v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec != std::errc() || p != text.data() + text.size() || v < lo || v > hi ? -1 : v;
}

}  // namespace

jet::ColumnType ParseColumnType(std::string_view n) {
  using T = jet::ColumnType;
  static const std::pair<std::string_view, T> kTypes[] = {
      {"Boolean", T::kBoolean}, {"Byte", T::kByte},     {"Integer", T::kInteger},   {"Long", T::kLong},
      {"Currency", T::kCurrency}, {"Single", T::kSingle}, {"Double", T::kDouble}, {"DateTime", T::kDateTime},
      {"Text", T::kText},       {"Memo", T::kMemo},     {"Binary", T::kBinary},     {"OLE", T::kOle},
      {"Decimal", T::kDecimal}};
  for (const auto& [name, t] : kTypes) {
    if (name == n) return t;
  }
  throw com::Error(com::kErrInvalidArgument, "korvel", "未知的列类型“" + std::string(n) + "”");
}

Schema ParseSchema(std::string_view text, const std::string& origin) {
  Schema schema;
  int line_no = 0;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    const auto f = SplitTabs(line);
    auto fail = [&](const std::string& why) {
      throw com::Error(com::kErrInvalidArgument, "korvel",
                       origin + " 第 " + std::to_string(line_no) + " 行：" + why);
    };
    if (f.size() != 5) fail("应有 5 个以制表符分隔的字段");
    if (schema.empty() || schema.back().name != f[0]) {
      if (FindTable(schema, f[0])) fail("表 " + std::string(f[0]) + " 的列必须连续列出");
      schema.push_back({std::string(f[0]), {}});
    }
    jet::ColumnDefinition c{std::string(f[1]), ParseColumnType(f[2])};
    if (c.type == jet::ColumnType::kText || c.type == jet::ColumnType::kBinary) {
      c.max_length = SizeNumber(f[3], 1, 255);
      if (c.max_length < 0) fail(c.type == jet::ColumnType::kText ? "文本列的长度应为 1 到 255" : "二进制列的长度应为 1 到 255 字节");
    }
    if (c.type == jet::ColumnType::kDecimal && !f[3].empty()) {
      // "precision" or "precision,scale"; empty for 18,0.
      const auto comma = f[3].find(',');
      c.precision = SizeNumber(f[3].substr(0, comma), 1, 28);
      c.scale = comma == std::string_view::npos ? 0 : SizeNumber(f[3].substr(comma + 1), 0, 28);
      if (c.precision < 0 || c.scale < 0 || c.scale > c.precision) fail("小数列的大小应为“精度,小数位数”（精度 1 到 28）");
    }
    if (f[4] != "0" && f[4] != "1") fail("required 应为 0 或 1");
    c.required = f[4] == "1";
    schema.back().columns.push_back(std::move(c));
  }
  return schema;
}

const Schema& SourceSchema56() {
  static const Schema schema = ParseSchema(embedded::kSchema56, "data/schema56.tsv");
  return schema;
}

const jet::TableSchema* FindTable(const Schema& schema, std::string_view name) {
  for (const auto& t : schema) {
    if (t.name == name) return &t;
  }
  return nullptr;
}

com::Variant ParseField(const jet::ColumnDefinition& c, const std::optional<std::string>& field) {
  using T = jet::ColumnType;
  if (!field) return com::Variant::Null();
  const std::string& f = *field;
  switch (c.type) {
    case T::kText:
    case T::kMemo:
      return com::Variant::Text(f);
    case T::kBoolean:
      if (f == "1" || f == "true" || f == "True") return com::Variant::Bool(true);
      if (f == "0" || f == "false" || f == "False") return com::Variant::Bool(false);
      BadValue(c, f, " 1 或 0");
    case T::kByte:
      return com::Variant::UI1(static_cast<std::uint8_t>(ParseInteger(c, f, 0, 255)));
    case T::kInteger:
      return com::Variant::I2(static_cast<std::int16_t>(ParseInteger(c, f, -32768, 32767)));
    case T::kLong:
      return com::Variant::I4(static_cast<std::int32_t>(
          ParseInteger(c, f, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())));
    case T::kCurrency: {
      std::int64_t units = 0;
      if (!com::ParseCurrency(f, &units)) BadValue(c, f, "金额（最多四位小数）");
      return com::Variant::Currency(units);
    }
    case T::kSingle:
    case T::kDouble: {
      double v = 0;
      auto [p, ec] = std::from_chars(f.data(), f.data() + f.size(), v);
      if (ec != std::errc() || p != f.data() + f.size() || f.empty() || !std::isfinite(v)) BadValue(c, f, "数值");
      return c.type == T::kSingle ? com::Variant::R4(static_cast<float>(v)) : com::Variant::R8(v);
    }
    case T::kDateTime: {
      auto t = com::ParseCivil(f);
      if (!t) BadValue(c, f, "日期（YYYY-MM-DD HH:MM:SS）");
      return com::Variant::Date(com::OleDateFromCivil(*t));
    }
    case T::kBinary:
    case T::kOle: {
      std::string bytes;
      if (f.size() < 2 || f.compare(0, 2, "0x") != 0 || f.size() % 2 != 0 || !dts::ParseHexBytes(f, &bytes)) {
        BadValue(c, f, "以 0x 开头的十六进制字节");
      }
      return com::Variant::Bytes(bytes);
    }
    case T::kDecimal: {
      com::Numeric n;
      if (com::ParseNumeric(f, &n) != com::NumericStatus::kOk) BadValue(c, f, "十进制数");
      return com::Variant::Decimal(com::FormatNumeric(n));
    }
  }
  BadValue(c, f, "可识别的值");
}

}  // namespace cli
