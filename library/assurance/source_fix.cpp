#include "library/assurance/source_fix.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "platform/com/csv.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/unicode.h"
#include "platform/dts/pump_columns.h"
#include "platform/jet/copy.h"
#include "platform/jet/source_file.h"
#include "platform/jet/writer.h"
#include "platform/port/files.h"

namespace assurance {
namespace {

using com::Variant;

constexpr char kSource[] = "korvel";
constexpr std::int64_t kProgressEvery = 10000;

std::optional<std::string> TextOf(const Variant& v) {
  return v.IsNull() || v.IsEmpty() ? std::nullopt : std::optional<std::string>(v.ToText());
}

std::optional<std::int64_t> WholeNumber(const std::string& t) {
  if (t.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long n = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end != t.c_str() + t.size()) return std::nullopt;
  return n;
}

std::optional<double> RealNumber(const std::string& t) {
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return std::nullopt;
  return d;
}

// A date as spreadsheets write it, "2026-1-2" or "2026/01/02 08:30", in the
// form ParseCivil reads.
std::optional<com::CivilTime> DateOf(std::string t) {
  int y = 0, m = 0, d = 0;
  int used = 0;
  if (std::sscanf(t.c_str(), "%d%*[-/]%d%*[-/]%d%n", &y, &m, &d, &used) == 3 && used > 0) {
    char head[16];
    std::snprintf(head, sizeof head, "%04d-%02d-%02d", y, m, d);
    t = head + t.substr(static_cast<std::size_t>(used));
  }
  return com::ParseCivil(t);
}

bool IsGuid(const std::string& t) {
  if (t.size() != 38 || t.front() != '{' || t.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? t[i] != '-' : !std::isxdigit(static_cast<unsigned char>(t[i]))) return false;
  }
  return true;
}

// The value `text` gives in the column, as the writer takes it; nullopt
// with `*why` set when it gives none.
std::optional<Variant> ValueFor(const jet::ColumnDefinition& c, const std::string& text, std::string* why) {
  const std::string t = com::TrimmedField(text);
  auto integer = [&](std::int64_t low, std::int64_t high) -> std::optional<Variant> {
    const auto n = WholeNumber(t);
    if (!n) {
      *why = "“" + text + "”不是整数";
    } else if (*n < low || *n > high) {
      *why = t + " 超出 " + jet::ColumnTypeName(c.type) + " 的范围（" + std::to_string(low) + " 到 " +
             std::to_string(high) + "）";
    } else {
      return c.type == jet::ColumnType::kByte      ? Variant::UI1(static_cast<std::uint8_t>(*n))
             : c.type == jet::ColumnType::kInteger ? Variant::I2(static_cast<std::int16_t>(*n))
                                                   : Variant::I4(static_cast<std::int32_t>(*n));
    }
    return std::nullopt;
  };
  switch (c.type) {
    case jet::ColumnType::kBoolean: {
      const std::string l = com::LowerAscii(t);
      if (l == "是" || l == "真" || l == "true" || l == "yes" || l == "1" || l == "-1") return Variant::Bool(true);
      if (l == "否" || l == "假" || l == "false" || l == "no" || l == "0") return Variant::Bool(false);
      *why = "“" + text + "”不是是/否值（是、否、True、False、1、0）";
      return std::nullopt;
    }
    case jet::ColumnType::kByte: return integer(0, 255);
    case jet::ColumnType::kInteger: return integer(-32768, 32767);
    case jet::ColumnType::kLong: return integer(INT32_MIN, INT32_MAX);
    case jet::ColumnType::kCurrency: {
      std::int64_t units = 0;
      if (com::ParseCurrency(t, &units)) return Variant::Currency(units);
      *why = "“" + text + "”不是货币金额（最多四位小数）";
      return std::nullopt;
    }
    case jet::ColumnType::kSingle:
    case jet::ColumnType::kDouble: {
      const auto d = RealNumber(t);
      if (!d) {
        *why = "“" + text + "”不是数字";
      } else if (c.type == jet::ColumnType::kSingle && std::fabs(*d) > FLT_MAX) {
        *why = t + " 超出 Single 的范围";
      } else {
        return c.type == jet::ColumnType::kSingle ? Variant::R4(static_cast<float>(*d)) : Variant::R8(*d);
      }
      return std::nullopt;
    }
    case jet::ColumnType::kDateTime: {
      const auto date = DateOf(t);
      if (date && date->year >= 100 && date->year <= 9999) return Variant::Date(com::OleDateFromCivil(*date));
      *why = "“" + text + "”不是 100 到 9999 年间的日期（如 2026-12-09 或 2026-12-09 08:30:00）";
      return std::nullopt;
    }
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo: {
      const auto units = com::IsValidUtf8(text) ? com::Utf16Length(text) : std::nullopt;
      if (!units) {
        *why = "新值不是有效的 UTF-8 文本";
      } else if (c.type == jet::ColumnType::kText && *units > static_cast<std::size_t>(c.max_length)) {
        *why = "新值有 " + std::to_string(*units) + " 个字符，超过列的长度 " + std::to_string(c.max_length);
      } else {
        return Variant::Text(text);
      }
      return std::nullopt;
    }
    case jet::ColumnType::kBinary:
    case jet::ColumnType::kOle:
    case jet::ColumnType::kDecimal:
      break;  // not changed by a fix (below)
  }
  if (c.type == jet::kReplicationId) {
    const std::string g = !t.empty() && t.front() != '{' ? "{" + t + "}" : t;
    if (IsGuid(g)) return Variant::Text(g);
    *why = "“" + text + "”不是 GUID（{8-4-4-4-12} 个十六进制数字）";
  } else {
    *why = std::string("列的类型 ") + jet::ColumnTypeName(c.type) + " 不能改";
  }
  return std::nullopt;
}

int ColumnIndex(const jet::TableSchema& def, std::string_view name) {
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    if (com::SameName(def.columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

// Why the row does not have the key the list names ("" when it does). The
// key is "Column=value" parts joined by ", ", as the check writes it; a
// part begins where a column of the table is named (without regard to
// case), and its value must be the row's, written as the check writes it.
std::string KeyMismatch(const jet::TableSchema& def, const std::vector<Variant>& row, const std::string& key) {
  auto column_at = [&](std::size_t at) -> int {
    int best = -1;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
      const std::string& n = def.columns[i].name;
      if (key.size() > at + n.size() && key[at + n.size()] == '=' && com::SameName(key.substr(at, n.size()), n) &&
          (best < 0 || n.size() > def.columns[static_cast<std::size_t>(best)].name.size())) {
        best = static_cast<int>(i);
      }
    }
    return best;
  };
  std::string actual;
  std::size_t at = 0;
  while (at < key.size()) {
    const int c = column_at(at);
    if (c < 0) return "键“" + key + "”中的“" + key.substr(at) + "”不是表的列";
    const std::string& name = def.columns[static_cast<std::size_t>(c)].name;
    std::size_t end = at + name.size() + 1;
    for (;; ++end) {
      end = key.find(", ", end);
      if (end == std::string::npos || column_at(end + 2) >= 0) break;
    }
    if (end == std::string::npos) end = key.size();
    const Variant& v = row[static_cast<std::size_t>(c)];
    actual += (actual.empty() ? "" : ", ") + key.substr(at, name.size()) + "=" + dts::KeyValueText(v);
    at = end + 2;
  }
  if (actual == key) return {};
  return "这一行的键是“" + actual + "”，清单上是“" + key + "”：清单不是由这个文件做的，或文件已改过";
}

// What the copy does to one row.
struct RowFix {
  bool remove = false;
  std::vector<std::pair<std::size_t, Variant>> values;  // column, new value
  std::vector<std::pair<const FixLine*, std::size_t>> lines;  // each line on it, with its change's index (or -1)
};

struct TableFix {
  jet::TableSchema def;
  std::map<std::int64_t, RowFix> rows;
};

// Lines of the list that do not fit the source: line number, why.
using LineFaults = std::vector<std::pair<std::size_t, std::string>>;

std::string Faults(const LineFaults& faults) {
  std::map<std::size_t, std::string> ordered;
  for (const auto& [line, why] : faults) ordered[line] += (ordered[line].empty() ? "" : "；") + why;
  std::string out = "修正清单与源文件不符，未写任何文件：";
  for (const auto& [line, why] : ordered) out += "\n第 " + std::to_string(line) + " 行：" + why;
  return out;
}

// In RowFix::lines: a line that repeats a change already made.
constexpr std::size_t kNoChange = static_cast<std::size_t>(-1);

// Marks the row of delete line `l` for removal; the first such line of a
// row is the change recorded.
void PlanDelete(const FixLine& l, TableFix* t, FixRecord* record) {
  RowFix& row = t->rows[l.row];
  const bool first = !row.remove;
  row.remove = true;
  if (first) {
    record->changes.push_back({t->def.name, l.row, l.key, true, {}, std::nullopt, std::nullopt});
    row.lines.emplace_back(&l, record->changes.size() - 1);
  } else {
    row.lines.emplace_back(&l, kNoChange);
  }
}

// Plans the new value of set or set-null line `l`, held to its column's
// definition. Returns why the line does not fit ("" when it does); a
// second change to the same cell is not recorded again.
std::string PlanValue(const FixLine& l, TableFix* t, FixRecord* record) {
  RowFix& row = t->rows[l.row];  // listed even when the line does not fit, so its row is still looked for
  const int c = ColumnIndex(t->def, l.column);
  if (c < 0) {
    return "表“" + t->def.name + "”没有列“" + l.column + "”" +
           (l.column.find(", ") != std::string::npos ? "（每行只能改一列）" : "");
  }
  const jet::ColumnDefinition& column = t->def.columns[static_cast<std::size_t>(c)];
  std::optional<Variant> value = Variant::Null();
  std::string why;
  if (l.action == FixAction::kSetNull && column.required) {
    why = "列“" + column.name + "”必须有值，不能置空";
    value.reset();
  } else if (l.action == FixAction::kSet) {
    value = ValueFor(column, l.new_value, &why);
  }
  if (!value) return "列“" + column.name + "”（" + jet::ColumnTypeName(column.type) + "）：" + why;
  bool again = false;
  for (const auto& [at, v] : row.values) again = again || at == static_cast<std::size_t>(c);
  if (again) {
    row.lines.emplace_back(&l, kNoChange);
    return {};
  }
  row.values.emplace_back(static_cast<std::size_t>(c), *value);
  record->changes.push_back({t->def.name, l.row, l.key, false, column.name, std::nullopt, TextOf(*value)});
  row.lines.emplace_back(&l, record->changes.size() - 1);
  return {};
}

// Holds each line to the source's definitions. Returns the fixes by
// lower-case table name; adds each change to `record` and each line that
// does not fit to `faults`.
std::map<std::string, TableFix> PlanFixes(jet::Database& db, const std::vector<FixLine>& lines, FixRecord* record,
                                          LineFaults* faults) {
  std::map<std::string, TableFix> tables;
  const std::vector<std::string> names = db.TableNames();
  for (const FixLine& l : lines) {
    if (l.action == FixAction::kNone) continue;
    const std::string lower = com::LowerAscii(l.table);
    auto found = tables.find(lower);
    if (found == tables.end()) {
      std::string name;
      for (const auto& n : names) name = com::SameName(n, l.table) ? n : name;
      if (name.empty()) {
        faults->emplace_back(l.line, "源文件中没有表“" + l.table + "”");
        continue;
      }
      found = tables.emplace(lower, TableFix{db.ReadTableSchema(name), {}}).first;
    }
    if (l.action == FixAction::kDelete) {
      PlanDelete(l, &found->second, record);
      continue;
    }
    const std::string why = PlanValue(l, &found->second, record);
    if (!why.empty()) faults->emplace_back(l.line, why);
  }
  return tables;
}

// Finds each row of `t` the lines name: holds it to their keys and notes
// its values before the change in `record`. A row missing or with another
// key is a fault of each line on it.
void ReadRowsToFix(jet::Database& db, const TableFix& t, FixRecord* record, LineFaults* faults) {
  const std::unique_ptr<dts::RowReader> reader = db.Query("SELECT * FROM [" + t.def.name + "]");
  std::vector<Variant> row;
  std::int64_t n = 0;
  auto next = t.rows.begin();
  while (next != t.rows.end() && reader->Next(row)) {
    if (++n != next->first) continue;
    for (const auto& [line, change] : next->second.lines) {
      if (!line->key.empty()) {
        const std::string mismatch = KeyMismatch(t.def, row, line->key);
        if (!mismatch.empty()) {
          faults->emplace_back(line->line, "表“" + t.def.name + "”第 " + std::to_string(n) + " 行：" + mismatch);
        }
      }
      if (change == kNoChange || record->changes[change].removed) continue;
      FixChange& c = record->changes[change];
      c.old_value = TextOf(row[static_cast<std::size_t>(ColumnIndex(t.def, c.column))]);
    }
    ++next;
  }
  for (; next != t.rows.end(); ++next) {
    for (const auto& [line, change] : next->second.lines) {
      faults->emplace_back(line->line, "表“" + t.def.name + "”只有 " + std::to_string(n) + " 行，没有第 " +
                                           std::to_string(next->first) + " 行");
    }
  }
}

// Copies `source` to `output` with the fixes of `tables` applied.
void CopyWithFixes(const std::string& source, const jet::OpenOptions& options, const std::string& output,
                   const std::map<std::string, TableFix>& tables, const FixProgress& progress) {
  // A table's fixes are looked up as its first row comes, not at every row.
  const TableFix* fixes = nullptr;
  jet::CopyDatabase(source, options, output, [&](const std::string& table, std::int64_t n, std::vector<Variant>& row) {
    if (n == 1) {
      const auto t = tables.find(com::LowerAscii(table));
      fixes = t == tables.end() ? nullptr : &t->second;
    }
    if (progress && n % kProgressEvery == 1) progress(table, n - 1);
    if (!fixes) return true;
    const auto r = fixes->rows.find(n);
    if (r == fixes->rows.end()) return true;
    if (r->second.remove) return false;
    for (const auto& [column, value] : r->second.values) row[column] = value;
    return true;
  });
}

}  // namespace

FixRecord FixSource(const std::string& source, const jet::OpenOptions& options, const std::vector<FixLine>& lines,
                    const std::string& list_path, const std::string& output, const FixProgress& progress) {
  const std::string record_path = FixRecordPath(output);
  for (const std::string& path : {output, record_path}) {
    if (port::PathExists(path)) throw com::Error(jet::kErrFileExists, kSource, path + " 已存在，不会覆盖它");
  }
  CheckFixLines(lines);
  FixRecord record;
  record.source = IdentifyFile(source);
  record.list = list_path;

  // Each line held to the source's definitions, each row it names found.
  jet::Database db(source, options);
  LineFaults faults;
  const std::map<std::string, TableFix> tables = PlanFixes(db, lines, &record, &faults);
  for (const auto& [lower, t] : tables) {
    if (!t.rows.empty()) ReadRowsToFix(db, t, &record, &faults);
  }
  if (!faults.empty()) throw com::Error(com::kErrInvalidArgument, kSource, Faults(faults));

  CopyWithFixes(source, options, output, tables, progress);
  try {
    if (IdentifyFile(source).sha256 != record.source.sha256) {
      throw com::Error(jet::kErrSourceChanged, kSource, source + " 在修正期间被改动过，副本作废，请在没有程序使用它时重做");
    }
    record.copy = IdentifyFile(output);
    record.made = LocalTimeNow();
    WriteFileWhole(record_path, FixRecordJson(record));
  } catch (...) {
    port::RemoveFile(output, nullptr);
    throw;
  }
  return record;
}

}  // namespace assurance
