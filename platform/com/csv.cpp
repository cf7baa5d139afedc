#include "platform/com/csv.h"

#include "platform/com/error.h"

namespace com {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void Malformed(std::size_t line, const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "CSV", "第 " + std::to_string(line) + " 行：" + what);
}

}  // namespace

std::string CsvField(std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
  std::string out = "\"";
  for (const char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string TrimmedField(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

std::vector<CsvRecord> ParseCsv(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  std::vector<CsvRecord> records;
  std::size_t line = 1, i = 0;
  while (i < text.size()) {
    CsvRecord record{line, {}};
    std::string field;
    bool ended = false;
    while (!ended) {
      if (i < text.size() && text[i] == '"') {
        // A quoted field: up to the quote that is not doubled.
        const std::size_t opened_on = line;
        for (++i;; ++i) {
          if (i >= text.size()) Malformed(opened_on, "引号没有结束");
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              field += '"';
              ++i;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          field += text[i];
        }
        if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
          Malformed(line, "引号后应是逗号或行尾");
        }
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') field += text[i++];
      }
      record.fields.push_back(std::move(field));
      field.clear();
      if (i < text.size() && text[i] == ',') {
        ++i;
        continue;
      }
      // The end of the record: CRLF, LF or the end of the text.
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
      ++line;
      ended = true;
    }
    const bool blank = record.fields.size() == 1 && record.fields[0].empty();
    if (!blank) records.push_back(std::move(record));
  }
  return records;
}

}  // namespace com
