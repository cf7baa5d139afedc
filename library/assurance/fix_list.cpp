#include "library/assurance/fix_list.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "platform/com/csv.h"
#include "platform/com/error.h"
#include "platform/com/names.h"

namespace assurance {
namespace {

using com::CsvField;
using com::CsvRecord;
using com::ParseCsv;
using com::TrimmedField;

constexpr char kDelete[] = "删除";
constexpr char kSetNull[] = "置空";

// What to write in 问题: the kind and the error, as the check words them.
std::string ProblemText(const Problem& p) {
  std::string text = KindCaption(p.kind);
  if (!p.parent.empty()) text += "（" + p.parent + " 中没有）";
  return text + "：" + p.message;
}

// The positions of the list's columns, found by name in its first record.
struct Layout {
  int table = -1, row = -1, key = -1, column = -1, current = -1, problem = -1, new_value = -1, action = -1;

  static Layout Of(const CsvRecord& header) {
    Layout l;
    const std::pair<const char*, int Layout::*> names[] = {
        {"表", &Layout::table},        {"行号", &Layout::row},     {"键", &Layout::key},
        {"列", &Layout::column},       {"当前值", &Layout::current}, {"问题", &Layout::problem},
        {"新值", &Layout::new_value}, {"操作", &Layout::action}};
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
      for (const auto& [name, member] : names) {
        if (TrimmedField(header.fields[i]) == name && l.*member < 0) l.*member = static_cast<int>(i);
      }
    }
    std::string missing;
    for (const auto& [name, member] : names) {
      const bool optional = member == &Layout::key || member == &Layout::current || member == &Layout::problem;
      if (l.*member < 0 && !optional) missing += std::string(missing.empty() ? "" : "、") + "“" + name + "”";
    }
    if (!missing.empty()) {
      throw com::Error(com::kErrInvalidArgument, "korvel",
                       "修正清单的第 " + std::to_string(header.line) + " 行应为列名（" + kFixListHeader + "），缺少 " +
                           missing);
    }
    return l;
  }

  static std::string Field(const CsvRecord& r, int at) {
    return at >= 0 && static_cast<std::size_t>(at) < r.fields.size() ? r.fields[static_cast<std::size_t>(at)]
                                                                      : std::string();
  }
};

// A positive row number, or 0.
std::int64_t RowNumber(const std::string& text) {
  const std::string t = TrimmedField(text);
  if (t.empty() || t.size() > 18) return 0;
  std::int64_t n = 0;
  for (const char c : t) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

using Faults = std::vector<std::pair<std::size_t, std::string>>;

std::string ActionText(FixAction a) {
  return a == FixAction::kDelete ? kDelete : a == FixAction::kSetNull ? kSetNull : "";
}

// The faults of lines read, by the rules of ParseFixList: what a change
// needs, and no two changes of one value or row that disagree.
void AddFaults(const std::vector<FixLine>& lines, Faults* faults) {
  std::map<std::tuple<std::string, std::int64_t, std::string>, const FixLine*> values;
  std::map<std::pair<std::string, std::int64_t>, const FixLine*> rows;
  for (const FixLine& l : lines) {
    auto fault = [&](const std::string& why) { faults->emplace_back(l.line, why); };
    if (l.action == FixAction::kNone) continue;
    if (l.action == FixAction::kDelete && !l.new_value.empty()) {
      fault("既填了新值又要删除这一行，请只留一样");
      continue;
    }
    if (l.table.empty()) {
      fault("没有表名");
      continue;
    }
    if (l.row <= 0) {
      fault("没有行号，或行号不是正整数");
      continue;
    }
    if (l.action != FixAction::kDelete && l.column.empty()) {
      fault("没有列名，不知改哪一列");
      continue;
    }
    const std::string table = com::LowerAscii(l.table);
    auto& row = rows[{table, l.row}];
    if (row && (row->action == FixAction::kDelete) != (l.action == FixAction::kDelete)) {
      fault("第 " + std::to_string(row->line) + " 行已" + (row->action == FixAction::kDelete ? "删除" : "修改") +
            "这一行，不能又" + (l.action == FixAction::kDelete ? "删除" : "修改"));
      continue;
    }
    if (!row) row = &l;
    if (l.action == FixAction::kDelete) continue;
    auto& value = values[{table, l.row, com::LowerAscii(l.column)}];
    if (value && (value->action != l.action || value->new_value != l.new_value)) {
      fault("第 " + std::to_string(value->line) + " 行已把这一行的“" + l.column + "”改为别的值");
      continue;
    }
    if (!value) value = &l;
  }
}

[[noreturn]] void Refuse(Faults faults) {
  std::stable_sort(faults.begin(), faults.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text = "修正清单有误：";
  for (const auto& [line, why] : faults) text += "\n第 " + std::to_string(line) + " 行：" + why;
  throw com::Error(com::kErrInvalidArgument, "korvel", text);
}

}  // namespace

std::vector<FixLine> FixLinesOf(const CheckResult& r) {
  std::vector<FixLine> lines;
  lines.reserve(r.problems.size());
  for (const auto& p : r.problems) {
    const bool placed = !p.source_table.empty() && p.row > 0;
    FixLine& l = lines.emplace_back();
    l.line = lines.size() + 1;
    l.table = placed ? p.source_table : p.table;
    l.row = placed ? p.row : 0;
    l.key = p.source_key;
    l.column = p.source_column;
    l.current = p.source_value;
    l.problem = ProblemText(p);
  }
  return lines;
}

std::string FixListCsv(const std::vector<FixLine>& lines) {
  std::string out = "\xEF\xBB\xBF" + std::string(kFixListHeader) + "\r\n";
  for (const auto& l : lines) {
    out += CsvField(l.table) + "," + (l.row > 0 ? std::to_string(l.row) : "") + "," + CsvField(l.key) + "," +
           CsvField(l.column) + "," + CsvField(l.current) + "," + CsvField(l.problem) + "," + CsvField(l.new_value) +
           "," + ActionText(l.action) + "\r\n";
  }
  return out;
}

std::string FixListCsv(const CheckResult& r) { return FixListCsv(FixLinesOf(r)); }

void CheckFixLines(const std::vector<FixLine>& lines) {
  Faults faults;
  AddFaults(lines, &faults);
  if (!faults.empty()) Refuse(std::move(faults));
}

std::vector<FixLine> ParseFixList(std::string_view csv) {
  const std::vector<CsvRecord> records = ParseCsv(csv);
  if (records.empty()) {
    throw com::Error(com::kErrInvalidArgument, "korvel", std::string("修正清单是空的，第一行应为列名：") + kFixListHeader);
  }
  const Layout layout = Layout::Of(records.front());

  std::vector<FixLine> lines;
  Faults faults;
  for (std::size_t i = 1; i < records.size(); ++i) {
    const CsvRecord& r = records[i];
    FixLine l;
    l.line = r.line;
    l.table = TrimmedField(Layout::Field(r, layout.table));
    const std::string row_text = TrimmedField(Layout::Field(r, layout.row));
    l.row = RowNumber(row_text);
    l.key = Layout::Field(r, layout.key);
    l.column = TrimmedField(Layout::Field(r, layout.column));
    l.current = Layout::Field(r, layout.current);
    l.problem = Layout::Field(r, layout.problem);
    l.new_value = Layout::Field(r, layout.new_value);
    const std::string action = TrimmedField(Layout::Field(r, layout.action));
    if (action == kDelete) {
      l.action = FixAction::kDelete;
    } else if (action == kSetNull) {
      l.action = FixAction::kSetNull;
    } else if (!action.empty()) {
      faults.emplace_back(l.line, "操作“" + action + "”无效：应为空（写入新值）、“删除”或“置空”");
      continue;
    } else if (!l.new_value.empty()) {
      l.action = FixAction::kSet;
    }
    if (l.action != FixAction::kNone && l.row <= 0 && !row_text.empty()) {
      faults.emplace_back(l.line, "行号“" + row_text + "”不是正整数");
      continue;
    }
    lines.push_back(std::move(l));
  }
  AddFaults(lines, &faults);
  if (!faults.empty()) Refuse(std::move(faults));
  return lines;
}

}  // namespace assurance
