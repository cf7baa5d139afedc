// The mapping and the conversion the data pump applies to every row; the
// pump's run and the preflight check both come here (pump_columns.h).
#include "platform/dts/pump_columns.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/dts/convert.h"
#include "platform/dts/datapump.h"
#include "platform/dts/row_errors.h"

namespace dts {
namespace {

constexpr char kSource[] = "DTS Data Pump";
constexpr std::int32_t kTransformAllowStringTruncation = 16;

[[noreturn]] void Fail(const std::string& description) {
  throw com::Error(com::ErrorNumber(0x80042001u), kSource, description);
}

using com::SameName;

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// `Name("X")` at the start of s: returns X and advances s past it.
bool TakeCall(std::string_view* s, std::string_view name, std::string* arg) {
  if (s->size() < name.size() || !SameName(s->substr(0, name.size()), name)) return false;
  std::string_view rest = s->substr(name.size());
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.size() < 2 || rest[0] != '(' || rest[1] != '"') return false;
  const auto close = rest.find('"', 2);
  if (close == std::string_view::npos) return false;
  *arg = std::string(rest.substr(2, close - 2));
  rest.remove_prefix(close + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.empty() || rest.front() != ')') return false;
  rest.remove_prefix(1);
  *s = rest;
  return true;
}

// "[D].[dbo].[T]" as SQL Server's messages name a table: "D.dbo.T".
std::string PlainObjectName(std::string_view object) {
  std::string out;
  for (const auto& part : com::ObjectNameParts(object)) out += (out.empty() ? "" : ".") + part;
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseCopyScript(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  enum { kBefore, kInside, kReturned, kAfter } state = kBefore;
  int line_no = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const auto nl = text.find('\n', pos);
    std::string line = Trim(text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
    pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
    ++line_no;
    auto refuse = [&] {
      Fail("不支持的转换脚本：第 " + std::to_string(line_no) + " 行“" + line +
           "”。只能运行逐列复制的脚本（DTSDestination(\"列\") = DTSSource(\"列\")）。");
    };
    if (line.empty() || line[0] == '\'') continue;
    std::string_view l = line;
    switch (state) {
      case kBefore:
        if (!SameName(l, "Function Main()")) refuse();
        state = kInside;
        break;
      case kInside: {
        std::string dest, src;
        if (TakeCall(&l, "DTSDestination", &dest)) {
          while (!l.empty() && l.front() == ' ') l.remove_prefix(1);
          if (l.empty() || l.front() != '=') refuse();
          l.remove_prefix(1);
          while (!l.empty() && l.front() == ' ') l.remove_prefix(1);
          if (!TakeCall(&l, "DTSSource", &src) || !Trim(l).empty()) refuse();
          out.emplace_back(dest, src);
        } else if (SameName(Trim(l), "Main = DTSTransformStat_OK")) {
          state = kReturned;
        } else {
          refuse();
        }
        break;
      }
      case kReturned:
        if (!SameName(l, "End Function")) refuse();
        state = kAfter;
        break;
      case kAfter:
        refuse();
    }
  }
  if (state != kAfter) Fail("不支持的转换脚本：缺少 Function Main() … Main = DTSTransformStat_OK … End Function。");
  return out;
}

std::vector<std::string> PumpColumns::names() const {
  std::vector<std::string> out;
  for (std::size_t k = 0; k < written.size(); ++k) out.push_back(column(k).name);
  return out;
}

std::string PumpSourceStatement(const DataPumpTask& task) {
  std::string sql = task.GetText("SourceSQLStatement");
  if (sql.empty()) Fail("数据泵任务“" + task.GetText("Name") + "”没有源查询 (SourceSQLStatement)");
  return sql;
}

std::string PumpDestinationObject(const DataPumpTask& task) {
  std::string object = task.GetText("DestinationObjectName");
  if (object.empty()) Fail("数据泵任务“" + task.GetText("Name") + "”没有目的表 (DestinationObjectName)");
  return object;
}

PumpColumns MapPumpColumns(const DataPumpTask& task, const std::vector<ColumnInfo>& src_columns,
                           std::vector<ColumnInfo> destination) {
  PumpColumns p;
  p.object = PumpDestinationObject(task);
  p.table_name = PlainObjectName(p.object);
  p.dest_columns = std::move(destination);
  const std::string& object = p.object;
  const std::vector<ColumnInfo>& dest_columns = p.dest_columns;

  auto source_index = [&](const std::string& name) {
    for (std::size_t i = 0; i < src_columns.size(); ++i) {
      if (SameName(src_columns[i].name, name)) return static_cast<int>(i);
    }
    Fail("源查询的结果中没有列“" + name + "”（目的表 " + object + "）");
  };
  auto dest_index = [&](const std::string& name) {
    for (std::size_t i = 0; i < dest_columns.size(); ++i) {
      if (SameName(dest_columns[i].name, name)) return static_cast<int>(i);
    }
    Fail("目的表 " + object + " 中没有列“" + name + "”");
  };
  auto write = [&](int dest, int src) {
    if (std::find(p.written.begin(), p.written.end(), dest) != p.written.end()) {
      Fail("目的表 " + object + " 的列“" + dest_columns[static_cast<std::size_t>(dest)].name + "”被写了两次");
    }
    p.written.push_back(dest);
    p.from.push_back(src);
  };
  for (const auto& t : task.Transformations()) {
    p.allow_truncation = p.allow_truncation || (t->GetLong("TransformFlags") & kTransformAllowStringTruncation) != 0;
    const auto& sources = t->SourceColumns();
    const auto& dests = t->DestinationColumns();
    if (t->IsScript()) {
      const auto& server = t->TransformServerProperties();
      if (!SameName(server.GetText("Language"), "VBScript") || !SameName(server.GetText("FunctionEntry"), "Main")) {
        Fail("转换“" + t->GetText("Name") + "”：只支持 VBScript 的 Main 函数");
      }
      std::map<std::string, int> assigned;  // lower-case destination name -> source column
      for (const auto& [d, s] : ParseCopyScript(server.GetText("Text"))) {
        bool listed_source = false;
        for (const auto& c : sources) listed_source = listed_source || SameName(c->Name(), s);
        bool listed_dest = false;
        for (const auto& c : dests) listed_dest = listed_dest || SameName(c->Name(), d);
        if (!listed_source || !listed_dest) {
          Fail("转换脚本用到未在转换中定义的列：DTSDestination(\"" + d + "\") = DTSSource(\"" + s + "\")");
        }
        assigned[com::LowerAscii(d)] = source_index(s);
      }
      for (const auto& c : dests) {
        auto it = assigned.find(com::LowerAscii(c->Name()));
        write(dest_index(c->Name()), it == assigned.end() ? -1 : it->second);
      }
    } else {
      if (sources.Count() != dests.Count()) {
        Fail("转换“" + t->GetText("Name") + "”的源列与目的列数目不同（" + std::to_string(sources.Count()) + " 对 " +
             std::to_string(dests.Count()) + "）");
      }
      for (int i = 1; i <= sources.Count(); ++i) {
        write(dest_index(dests.Item(i).Name()), source_index(sources.Item(i).Name()));
      }
    }
  }
  if (p.written.empty()) Fail("数据泵任务“" + task.GetText("Name") + "”没有转换");
  p.first_row = task.Get("FirstRow").ToInt64();
  p.last_row = task.Get("LastRow").ToInt64();
  return p;
}

RowWindow WindowOf(const PumpColumns& p, std::int64_t position) {
  if (p.first_row > 0 && position < p.first_row) return RowWindow::kSkip;
  if (p.last_row > 0 && position > p.last_row) return RowWindow::kPast;
  return RowWindow::kTake;
}

bool ConvertWritten(const PumpColumns& p, std::size_t k, const Row& in, com::Variant* out) {
  const ColumnInfo& column = p.column(k);
  bool changed = false;
  if (p.from[k] < 0) {
    out->SetNull();
  } else {
    changed = ConvertValue(in[static_cast<std::size_t>(p.from[k])], column, p.allow_truncation, out);
  }
  if (out->IsNull() && !column.nullable) {
    // Refused here, as the SQL Server provider refuses it.
    throw NotNullError(column.name, p.table_name, "INSERT");
  }
  return changed;
}

void KeepSourceValuesFrom(const PumpColumns& p, std::size_t k, const Row& in, Row* out) {
  for (std::size_t rest = k; rest < p.written.size(); ++rest) {
    if (p.from[rest] < 0) {
      (*out)[rest].SetNull();
    } else {
      (*out)[rest] = in[static_cast<std::size_t>(p.from[rest])];
    }
  }
}

std::string KeyValueText(const com::Variant& v) { return v.IsNull() ? std::string("NULL") : v.ToText(); }

std::string DescribeKey(const PumpColumns& p, const Row& row) {
  std::string key;
  for (std::size_t i = 0; i < p.written.size(); ++i) {
    if (!p.column(i).is_key) continue;
    key += (key.empty() ? "" : ", ") + p.column(i).name + "=" + KeyValueText(row[i]);
  }
  return key;
}

com::Error RowError(const PumpColumns& p, const com::Error& e, std::int64_t position, const Row& out,
                    const std::string& column) {
  const std::string key = DescribeKey(p, out);
  return com::Error(e.number(), e.source(),
                    "第 " + std::to_string(position) + " 行" + (key.empty() ? "" : "（" + key + "）") + "无法写入 " +
                        p.object + (column.empty() ? "" : " 的列“" + column + "”") + "：" + e.description());
}

}  // namespace dts
