// Running a data pump task.
//
// The source query runs on the source connection and its rows stream in the
// source's order. Every column definition binds by its name: a source
// column to the query's result, a destination column to the destination
// table; the stored ordinals travel with the definitions and select
// nothing. A copy transformation writes source column i of its list into
// destination column i; a script transformation runs its column
// assignments (see datapump.h); destination columns that no transformation
// writes are left out of the load, so they take the table's defaults,
// except a script transformation's listed columns it does not assign,
// which are written empty (NULL). Each value is converted here to its
// destination column's type, by the rules of convert.h, so that every
// driver gets typed values; with TransformFlags allowing string
// truncation, text too long for its column is cut and counted rather than
// refused, and a NULL for a column that allows none is refused here.
//
// Rows go through the destination's bulk load (one batch, committed with
// the step's transaction); identity values are kept when
// AllowIdentityInserts is set, and constraints are checked when
// FastLoadOptions has DTSFastLoad_CheckConstraints (2). FirstRow and
// LastRow (any numeric or text form; 0 for no limit) bound the rows taken.
// With MaximumErrorCount 0 the first row that cannot be written fails the
// task; the error names the destination, the row's position and key, and
// the column, except for the rows a network server refuses when the load
// ends, where it names what the server's message names. Progress is
// reported every ProgressRowCount rows, and a cancel stops the load, which
// then leaves nothing behind.
//
// Reading and converting run a few batches ahead of writing, on a thread
// of their own when the source's reader allows it (row_pipeline.h); the
// rows are written in the source's order all the same, and everything
// above holds as it would on one thread.
#include "platform/dts/datapump.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/dts/convert.h"
#include "platform/dts/row_pipeline.h"
#include "platform/dts/step_context.h"

namespace dts {
namespace {

constexpr char kSource[] = "DTS Data Pump";
constexpr std::int32_t kTransformAllowStringTruncation = 16;
constexpr std::int32_t kFastLoadCheckConstraints = 2;  // DTSFastLoad_CheckConstraints
// A NULL for a column that does not allow one is refused here, as the SQL
// Server provider refuses it, with the server's number and message.
constexpr std::int32_t kErrNotNull = 515;
constexpr char kProviderSource[] = "Microsoft OLE DB Provider for SQL Server";

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
  for (std::size_t i = 0; i < object.size(); ++i) {
    if (object[i] != '[') {
      out += object[i];
      continue;
    }
    for (++i; i < object.size(); ++i) {
      if (object[i] == ']' && i + 1 < object.size() && object[i + 1] == ']') {
        out += ']';
        ++i;
      } else if (object[i] == ']') {
        break;
      } else {
        out += object[i];
      }
    }
  }
  return out;
}

std::string DescribeKey(const std::vector<ColumnInfo>& dest, const std::vector<int>& written, const Row& row) {
  std::string key;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (!dest[static_cast<std::size_t>(written[i])].is_key) continue;
    key += (key.empty() ? "" : ", ") + dest[static_cast<std::size_t>(written[i])].name + "=" +
           (row[i].IsNull() ? std::string("NULL") : row[i].ToText());
  }
  return key;
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

void RunDataPumpTask(StepContext& ctx, const DataPumpTask& task) {
  const std::string sql = task.GetText("SourceSQLStatement");
  const std::string object = task.GetText("DestinationObjectName");
  if (sql.empty()) Fail("数据泵任务“" + task.GetText("Name") + "”没有源查询 (SourceSQLStatement)");
  if (object.empty()) Fail("数据泵任务“" + task.GetText("Name") + "”没有目的表 (DestinationObjectName)");

  Session& source = ctx.SessionFor(task.GetLong("SourceConnectionID"));
  Session& destination = ctx.SessionFor(task.GetLong("DestinationConnectionID"));
  ctx.CheckCancel();
  const std::vector<ColumnInfo> dest_columns = destination.DescribeTable(object);
  std::unique_ptr<RowReader> reader = source.Query(sql);
  const std::vector<ColumnInfo>& src_columns = reader->columns();

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

  // written[k] is a destination column; from[k] the source column feeding it
  // (-1 for a listed column left empty).
  std::vector<int> written, from;
  bool allow_truncation = false;
  auto write = [&](int dest, int src) {
    if (std::find(written.begin(), written.end(), dest) != written.end()) {
      Fail("目的表 " + object + " 的列“" + dest_columns[static_cast<std::size_t>(dest)].name + "”被写了两次");
    }
    written.push_back(dest);
    from.push_back(src);
  };
  for (const auto& t : task.Transformations()) {
    allow_truncation = allow_truncation || (t->GetLong("TransformFlags") & kTransformAllowStringTruncation) != 0;
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
  if (written.empty()) Fail("数据泵任务“" + task.GetText("Name") + "”没有转换");

  std::vector<std::string> names;
  for (int d : written) names.push_back(dest_columns[static_cast<std::size_t>(d)].name);
  BulkLoadOptions options;
  options.keep_identity = task.GetBool("AllowIdentityInserts");
  options.check_constraints = (task.GetLong("FastLoadOptions") & kFastLoadCheckConstraints) != 0;
  std::unique_ptr<BulkWriter> writer = destination.OpenBulkLoad(object, names, options);

  const std::int64_t first_row = task.Get("FirstRow").ToInt64();
  const std::int64_t last_row = task.Get("LastRow").ToInt64();
  const std::int64_t progress_every = std::max<std::int64_t>(1, task.GetLong("ProgressRowCount"));
  StepStatistics& stats = ctx.statistics();
  const std::string table_name = PlainObjectName(object);
  auto row_error = [&](const com::Error& e, std::int64_t position, const Row& row, const std::string& column) {
    const std::string key = DescribeKey(dest_columns, written, row);
    return com::Error(e.number(), e.source(),
                      "第 " + std::to_string(position) + " 行" + (key.empty() ? "" : "（" + key + "）") + "无法写入 " +
                          object + (column.empty() ? "" : " 的列“" + column + "”") + "：" + e.description());
  };

  // Reading and converting: on a thread of its own when the source allows
  // it, so that the next rows are made while these are written. Every
  // value is converted to its column's type here, whatever the
  // destination, so that the rules and the counts are the same on every
  // driver. Values changed to fit are counted per written column, and the
  // first rows that had one noted with their batch.
  std::vector<std::int64_t> changed(written.size(), 0);
  std::int64_t position = 0;
  bool ended = false;
  Row in;
  auto fill = [&](RowBatch& batch) {
    while (!ended && batch.count < RowBatch::kCapacity) {
      if (!reader->Next(in)) {
        ended = true;
        break;
      }
      ++position;
      batch.rows_read = position;
      if (first_row > 0 && position < first_row) continue;
      if (last_row > 0 && position > last_row) {
        ended = true;
        break;
      }
      Row& out = batch.rows[batch.count];
      out.resize(written.size());
      for (std::size_t k = 0; k < written.size(); ++k) {
        const ColumnInfo& column = dest_columns[static_cast<std::size_t>(written[k])];
        try {
          if (from[k] < 0) {
            out[k].SetNull();
          } else if (ConvertValue(in[static_cast<std::size_t>(from[k])], column, allow_truncation, &out[k])) {
            if (++changed[k] <= static_cast<std::int64_t>(ColumnTruncation::kRowsKept)) {
              batch.notes.emplace_back(batch.count, k);
            }
          }
          if (out[k].IsNull() && !column.nullable) {
            throw com::Error(kErrNotNull, kProviderSource,
                             "Cannot insert the value NULL into column '" + column.name + "', table '" + table_name +
                                 "'; column does not allow nulls. INSERT fails.");
          }
        } catch (const com::Error& e) {
          // The columns after this one are not converted yet: the key names
          // their values as the source gave them.
          for (std::size_t rest = k + 1; rest < written.size(); ++rest) {
            if (from[rest] < 0) {
              out[rest].SetNull();
            } else {
              out[rest] = in[static_cast<std::size_t>(from[rest])];
            }
          }
          throw row_error(e, position, out, column.name);
        }
      }
      batch.positions[batch.count++] = position;
    }
    batch.last = ended;
  };

  // Writing, on the step's own thread, in the source's order.
  std::vector<std::vector<RowMark>> changed_rows(written.size());
  {
    RowPipeline pipeline(fill, &source != &destination && reader->ReadableOnAnotherThread());
    while (RowBatch* batch = pipeline.Next()) {
      std::size_t note = 0;
      for (std::size_t i = 0; i < batch->count; ++i) {
        const Row& out = batch->rows[i];
        const std::int64_t at = batch->positions[i];
        try {
          writer->Write(out);
        } catch (const com::Error& e) {
          stats.rows_read = at;
          throw row_error(e, at, out, writer->FailedColumn());
        }
        ++stats.rows_written;
        stats.rows_read = at;
        for (; note < batch->notes.size() && batch->notes[note].first == i; ++note) {
          changed_rows[batch->notes[note].second].push_back({at, DescribeKey(dest_columns, written, out)});
        }
        if (at % progress_every == 0) ctx.Progress("已处理 " + std::to_string(at) + " 行", 0, at);
      }
      stats.rows_read = batch->rows_read;
      if (batch->error) std::rethrow_exception(batch->error);
      pipeline.Done(batch);
    }
  }
  try {
    writer->Finish();
  } catch (const com::Error& e) {
    // A network server checks the rows when the batch ends: its error names
    // the table and, where its message does, the key, not the row.
    throw com::Error(e.number(), e.source(), "无法写入 " + object + "：" + e.description());
  }
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (changed[k] > 0) stats.truncations.push_back({names[k], changed[k], std::move(changed_rows[k])});
  }
}

}  // namespace dts
