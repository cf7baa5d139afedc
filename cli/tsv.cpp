#include "cli/tsv.h"

#include <optional>

#include "platform/com/datetime.h"
#include "platform/com/error.h"

namespace cli {

std::string EscapeTsv(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string FormatTsvValue(const com::Variant& v) {
  switch (v.type()) {
    case com::VarType::kNull:
    case com::VarType::kEmpty:
      return "\\N";
    case com::VarType::kBool:
      return v.integer() ? "1" : "0";
    case com::VarType::kText:
      return EscapeTsv(v.text());
    default:
      return EscapeTsv(v.ToText());
  }
}

void AppendTsvLine(const dts::Row& row, std::string* line) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) line->push_back('\t');
    *line += FormatTsvValue(row[i]);
  }
}

std::string FormatTsvLine(const dts::Row& row) {
  std::string line;
  AppendTsvLine(row, &line);
  return line;
}

long long WriteTsv(dts::RowReader& reader, std::FILE* out) {
  std::string line;
  const auto& cols = reader.columns();
  for (std::size_t i = 0; i < cols.size(); ++i) {
    if (i) line.push_back('\t');
    line += EscapeTsv(cols[i].name);
  }
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), out);
  dts::Row row;
  long long n = 0;
  while (reader.Next(row)) {
    line.clear();
    AppendTsvLine(row, &line);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), out);
    ++n;
  }
  return n;
}

std::vector<std::optional<std::string>> SplitTsvLine(std::string_view line) {
  std::vector<std::optional<std::string>> fields;
  std::string cur;
  bool null_field = false;
  std::size_t field_start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == '\t') {
      if (null_field) {
        if (i - field_start != 2) throw com::Error(com::kErrInvalidArgument, "tsv", "\\N 只能单独作为一个字段");
        fields.emplace_back(std::nullopt);
      } else {
        fields.emplace_back(cur);
      }
      cur.clear();
      null_field = false;
      field_start = i + 1;
      continue;
    }
    if (line[i] != '\\') {
      cur.push_back(line[i]);
      continue;
    }
    if (i + 1 >= line.size()) throw com::Error(com::kErrInvalidArgument, "tsv", "行末有孤立的反斜杠");
    switch (line[++i]) {
      case 't': cur.push_back('\t'); break;
      case 'r': cur.push_back('\r'); break;
      case 'n': cur.push_back('\n'); break;
      case '\\': cur.push_back('\\'); break;
      case 'N':
        if (i - 1 != field_start) throw com::Error(com::kErrInvalidArgument, "tsv", "\\N 只能单独作为一个字段");
        null_field = true;
        break;
      default:
        throw com::Error(com::kErrInvalidArgument, "tsv",
                         std::string("无效的转义序列 \\") + line[i]);
    }
  }
  return fields;
}

}  // namespace cli
