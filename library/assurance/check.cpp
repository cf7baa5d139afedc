#include "library/assurance/check.h"

#include <map>
#include <memory>
#include <unordered_set>

#include "library/assurance/reconcile.h"
#include "library/interface/postings.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/dts/convert.h"
#include "platform/dts/pump_columns.h"
#include "platform/dts/row_pipeline.h"
#include "platform/dts/step_context.h"
#include "platform/jet/query.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/table_definition.h"

namespace assurance {
namespace {

using com::SameName;
using com::Variant;

constexpr std::int64_t kProgressEvery = 10000;

using korvel::PostingRule;

ProblemKind KindOf(const com::Error& e) {
  switch (e.number()) {
    case 515: return ProblemKind::kNotNull;
    case 8152: return ProblemKind::kTooLong;
    case 220: case 8115: case 242: return ProblemKind::kOutOfRange;  // 242: a date outside datetime's years
    default: return ProblemKind::kConversion;
  }
}

// One value of a key as the destination compares it: text under the
// server's collation, numbers by value.
void AppendKeyPart(const Variant& v, std::string* key) {
  using com::VarType;
  switch (v.type()) {
    case VarType::kText:
      *key += 't';
      *key += sqlsrv::CollationKey(v.text());
      break;
    case VarType::kBool: case VarType::kUI1: case VarType::kI2: case VarType::kI4: case VarType::kI8:
      *key += 'i' + std::to_string(v.integer());
      break;
    case VarType::kCurrency:
      *key += 'c' + std::to_string(v.integer());
      break;
    default:
      *key += 'v' + v.ToText();
  }
  *key += '\x1f';
}

bool NonZero(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return false;  // NULL <> 0 is not true
  if (v.type() == com::VarType::kText) return v.text() != "0";
  return v.ToDouble() != 0;
}

// A numeric constant default ("((1))", "(0)"); NULL for any other.
Variant DefaultValue(std::string text) {
  while (text.size() >= 2 && text.front() == '(' && text.back() == ')') text = text.substr(1, text.size() - 2);
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return Variant::Null();
  return Variant::R8(d);
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// The table a source statement reads whole, or "" when it reads anything
// else (a filter, or not Jet SQL), where a row's position is not its place
// in a table.
std::string WholeTableRead(const std::string& sql) {
  try {
    const jet::SelectQuery q = jet::ParseSelect(sql);
    return q.where_column ? std::string() : q.table;
  } catch (const com::Error&) {
    return {};
  }
}

// The keys of the rows written into one table so far.
struct WrittenKey {
  std::string name;
  bool primary = false;
  std::vector<std::string> columns;
  std::unordered_set<std::string> values;
  bool known = true;  // false when the plan does not write every column (an identity the table numbers)
};

// One task's check: the source rows as the pump maps them, the destination
// table's definition, and what each row is held to.
struct TaskScope {
  TaskCheck tally;
  std::unique_ptr<dts::RowReader> reader;
  dts::PumpColumns pump;
  const sqlsrv::TableDefinition* def = nullptr;
  std::string database;  // as the server's messages name it
  std::string source_table;  // the source table read whole, or ""

  // A primary or unique key of the table, by the written values it takes.
  struct KeyCheck {
    WrittenKey* key;
    std::vector<int> slots;
  };
  std::vector<KeyCheck> keys;
  // A foreign key, against the key of the parent it refers to.
  struct Reference {
    const sqlsrv::ForeignKeyDefinition* fk;
    std::vector<int> slots;
    const WrittenKey* parent;  // null: the parent has no rows
  };
  std::vector<Reference> references;

  // The index of a destination column among the written values, or -1.
  int WrittenIndex(std::string_view column) const {
    for (std::size_t k = 0; k < pump.written.size(); ++k) {
      if (SameName(pump.column(k).name, column)) return static_cast<int>(k);
    }
    return -1;
  }
};

// One row being checked: its converted values and the problems found.
struct RowScope {
  explicit RowScope(std::size_t n) : out(n), failed(n) {}
  dts::Row out;
  std::vector<char> failed;  // per written value: its conversion failed
  std::vector<Problem> problems;
  std::vector<std::vector<int>> written;  // per problem: the written values it is about
  std::string key;  // scratch for key texts
};

class Checker {
 public:
  Checker(const dts::Package& package, dts::Session& definitions, const CheckProgress& progress)
      : package_(package), definitions_(definitions), progress_(progress) {}

  CheckResult Run() {
    const std::vector<const dts::Step*> order = dts::RunOrderIfAllSucceed(package_);
    for (const PostingRule& rule : korvel::kPostingRules) {
      for (const dts::Step* s : order) {
        if (s->Name() == rule.step) forecasts_.push_back({&rule, {std::string(rule.step), std::string(rule.ledger)}});
      }
    }
    for (const dts::Step* step : order) {
      for (auto& f : forecasts_) f.posted = f.posted || f.forecast.step == step->Name();
      const dts::Task* task = package_.Tasks().Find(step->GetText("TaskName"));
      if (task && task->kind() == dts::kDataPumpTaskKind) CheckTask(*step, task->AsDataPump());
    }
    for (auto& f : forecasts_) result_.postings.push_back(f.forecast);
    return std::move(result_);
  }

 private:
  struct Forecast {
    const PostingRule* rule;
    PostingForecast forecast;
    bool posted = false;  // its step has come in the run order: later imports do not count
  };

  // A posting's view of the task's rows: where each of its columns comes
  // from (a written value, or the column's default).
  struct PostingView {
    Forecast* forecast;
    struct Source {
      int written = -1;  // index into the written values, or -1
      Variant fixed;     // the default when not written
    };
    std::vector<Source> not_zero;
    Source except, amount, quantity;
  };

  dts::Session& SourceSession(std::int32_t id) {
    auto& session = sources_[id];
    if (!session) {
      const dts::Connection* c = package_.Connections().FindById(id);
      if (!c) {
        throw com::Error(com::kErrItemNotFound, "korvel", "包中没有 ID 为 " + std::to_string(id) + " 的连接");
      }
      const dts::ConnectionSpec connection = dts::ConnectionSpecOf(*c);
      session = dts::FindDriver(connection.provider)->Open(connection);
    }
    return *session;
  }

  const sqlsrv::TableDefinition& Definition(const std::string& object) {
    auto& d = definitions_cache_[object];
    if (!d) d = std::make_unique<sqlsrv::TableDefinition>(sqlsrv::ReadTableDefinition(definitions_, object));
    return *d;
  }

  static ColumnTally& Tally(TaskCheck& t, const std::string& column) {
    for (auto& c : t.columns) {
      if (c.column == column) return c;
    }
    t.columns.push_back({column, 0, 0});
    return t.columns.back();
  }

  void TaskProblem(TaskScope& task, const com::Error& e, std::int64_t row) {
    Problem p;
    p.kind = ProblemKind::kTask;
    p.step = task.tally.step;
    p.table = task.tally.table;
    p.row = row;
    p.number = e.number();
    p.message = e.description();
    result_.problems.push_back(std::move(p));
  }

  void CheckTask(const dts::Step& step, const dts::DataPumpTask& task);
  // Opens the source query and maps its columns; false (with the task's
  // problem noted) when the task cannot run.
  bool OpenTask(const dts::DataPumpTask& task, TaskScope& scope);
  // The table's keys, continued from any earlier task into the same table.
  void FindKeys(TaskScope& scope);
  // Its foreign keys whose columns the task writes, each with its parent.
  void FindReferences(TaskScope& scope);
  // The postings that read this table.
  std::vector<PostingView> PostingViews(const TaskScope& scope);
  // Converts, holds to the keys and the references, and records one row.
  void CheckRow(TaskScope& scope, const dts::Row& in, std::int64_t at, RowScope& row,
                std::vector<PostingView>& views);
  void ConvertRow(const TaskScope& scope, const dts::Row& in, std::int64_t at, RowScope& row);
  void HoldToKeys(const TaskScope& scope, std::int64_t at, RowScope& row);
  // Fills the problem's source fields from the source row.
  // The source columns and values behind written values `slots`, and the
  // source side of the key, into the problem's source fields.
  static void PlaceInSource(const TaskScope& scope, const dts::Row& in, const std::vector<int>& slots,
                            const std::string& source_key, Problem& q);
  // The source columns and values of the row's key: "UnitID=C001".
  static std::string SourceKey(const TaskScope& scope, const dts::Row& in);
  static void Post(std::vector<PostingView>& views, const dts::Row& out);

  const dts::Package& package_;
  dts::Session& definitions_;
  const CheckProgress& progress_;
  std::map<std::int32_t, std::unique_ptr<dts::Session>> sources_;
  std::map<std::string, std::unique_ptr<sqlsrv::TableDefinition>> definitions_cache_;
  std::map<std::string, std::vector<WrittenKey>> written_;  // by lower-case table name
  std::vector<Forecast> forecasts_;
  CheckResult result_;
};

Problem& NewProblem(const TaskScope& scope, RowScope& row, std::int64_t at, ProblemKind kind,
                    const std::string& column, std::vector<int> slots) {
  row.written.push_back(std::move(slots));
  Problem& q = row.problems.emplace_back();
  q.kind = kind;
  q.step = scope.tally.step;
  q.table = scope.tally.table;
  q.column = column;
  q.row = at;
  return q;
}

bool Checker::OpenTask(const dts::DataPumpTask& task, TaskScope& scope) {
  try {
    const std::string sql = dts::PumpSourceStatement(task);
    scope.def = &Definition(dts::PumpDestinationObject(task));
    scope.reader = SourceSession(task.GetLong("SourceConnectionID")).Query(sql);
    scope.pump = dts::MapPumpColumns(task, scope.reader->columns(), scope.def->columns);
  } catch (const com::Error& e) {
    TaskProblem(scope, e, 0);
    return false;
  }
  // The database, as the server's messages name it: "[D].[dbo].[T]".
  const auto parts = com::ObjectNameParts(scope.pump.object);
  scope.database = parts.size() >= 3 ? parts[parts.size() - 3] : std::string();
  scope.source_table = WholeTableRead(dts::PumpSourceStatement(task));
  return true;
}

void Checker::FindKeys(TaskScope& scope) {
  std::vector<WrittenKey>& keys = written_[com::LowerAscii(scope.tally.table)];
  for (const auto& k : scope.def->keys) {
    bool known = false;
    for (const auto& w : keys) known = known || w.name == k.name;
    if (!known) keys.push_back({k.name, k.primary, k.columns, {}, true});
  }
  for (auto& w : keys) {
    TaskScope::KeyCheck c{&w, {}};
    for (const auto& column : w.columns) {
      c.slots.push_back(scope.WrittenIndex(column));
      w.known = w.known && c.slots.back() >= 0;
    }
    if (w.known) scope.keys.push_back(std::move(c));
  }
}

void Checker::FindReferences(TaskScope& scope) {
  for (const auto& fk : scope.def->foreign_keys) {
    TaskScope::Reference r{&fk, {}, nullptr};
    bool all_written = true;
    for (const auto& c : fk.columns) {
      r.slots.push_back(scope.WrittenIndex(c));
      all_written = all_written && r.slots.back() >= 0;
    }
    if (!all_written) continue;  // a column left out holds NULL or its default: not checked here
    bool unknown = false;
    for (const auto& w : written_[com::LowerAscii(fk.parent_table)]) {
      bool same = w.columns.size() == fk.parent_columns.size();
      for (std::size_t i = 0; same && i < w.columns.size(); ++i) same = SameName(w.columns[i], fk.parent_columns[i]);
      if (same && w.known) r.parent = &w;
      if (same && !w.known) unknown = true;
    }
    if (!unknown) scope.references.push_back(std::move(r));
  }
}

std::vector<Checker::PostingView> Checker::PostingViews(const TaskScope& scope) {
  std::vector<PostingView> views;
  for (auto& f : forecasts_) {
    if (f.posted || !SameName(f.rule->source, scope.tally.table)) continue;
    auto source = [&](std::string_view column) {
      PostingView::Source s;
      if (column.empty()) return s;
      s.written = scope.WrittenIndex(column);
      const int i = scope.def->Find(column);
      if (s.written < 0 && i >= 0) s.fixed = DefaultValue(scope.def->defaults[static_cast<std::size_t>(i)]);
      return s;
    };
    PostingView v{&f, {}, source(f.rule->except_column), source(f.rule->amount), source(f.rule->quantity)};
    for (std::string_view c : f.rule->not_zero) {
      if (!c.empty()) v.not_zero.push_back(source(c));
    }
    if (!f.rule->quantity.empty() && !f.forecast.quantity) f.forecast.quantity = 0;
    views.push_back(std::move(v));
  }
  return views;
}

void Checker::ConvertRow(const TaskScope& scope, const dts::Row& in, std::int64_t at, RowScope& row) {
  const dts::PumpColumns& p = scope.pump;
  for (std::size_t k = 0; k < p.written.size(); ++k) {
    row.failed[k] = 0;
    const dts::ColumnInfo& column = p.column(k);
    try {
      if (dts::ConvertWritten(p, k, in, &row.out[k])) {
        const std::string original = in[static_cast<std::size_t>(p.from[k])].ToText();
        const std::size_t length = dts::TextLength(original, column);
        const bool cut = length > column.size;
        Problem& q = NewProblem(scope, row, at, cut ? ProblemKind::kCut : ProblemKind::kReplaced, column.name,
                                  {static_cast<int>(k)});
        q.original_length = length;
        q.cut_length = dts::TextLength(row.out[k].ToText(), column);
        q.message = cut ? "长度 " + std::to_string(length) + " 超过列的长度 " + std::to_string(column.size) +
                              "，将截为 " + std::to_string(q.cut_length)
                        : "有 " + dts::TypeName(column) + " 列的代码页中没有的字符，将写为“?”";
      }
    } catch (const com::Error& e) {
      row.failed[k] = 1;
      row.out[k] = p.from[k] < 0 ? Variant::Null() : in[static_cast<std::size_t>(p.from[k])];
      Problem& q = NewProblem(scope, row, at, KindOf(e), column.name, {static_cast<int>(k)});
      q.number = e.number();
      q.message = e.description();
    }
  }
}

void Checker::HoldToKeys(const TaskScope& scope, std::int64_t at, RowScope& row) {
  for (const TaskScope::KeyCheck& c : scope.keys) {
    row.key.clear();
    bool usable = true;
    for (int slot : c.slots) {
      usable = usable && !row.failed[static_cast<std::size_t>(slot)];
      AppendKeyPart(row.out[static_cast<std::size_t>(slot)], &row.key);
    }
    WrittenKey& w = *c.key;
    if (!usable || w.values.insert(row.key).second) continue;
    Problem& q = NewProblem(scope, row, at, ProblemKind::kDuplicateKey, Joined(w.columns), c.slots);
    const com::Error e = sqlsrv::DuplicateKeyError(w.primary, w.name, scope.tally.table);
    q.number = e.number();
    q.message = e.description();
  }
  for (const TaskScope::Reference& r : scope.references) {
    row.key.clear();
    bool checked = true;
    for (int slot : r.slots) {
      const Variant& v = row.out[static_cast<std::size_t>(slot)];
      checked = checked && !row.failed[static_cast<std::size_t>(slot)] && !v.IsNull();
      AppendKeyPart(v, &row.key);
    }
    if (!checked || (r.parent && r.parent->values.count(row.key))) continue;
    Problem& q = NewProblem(scope, row, at, ProblemKind::kForeignKey, Joined(r.fk->columns), r.slots);
    const com::Error e =
        sqlsrv::InsertForeignKeyError(r.fk->name, scope.database, r.fk->parent_table, r.fk->parent_columns[0]);
    q.number = e.number();
    q.parent = r.fk->parent_table;
    q.message = e.description();
  }
}

std::string Checker::SourceKey(const TaskScope& scope, const dts::Row& in) {
  const dts::PumpColumns& p = scope.pump;
  std::string key;
  for (std::size_t k = 0; k < p.written.size(); ++k) {
    const int f = p.from[k];
    if (!p.column(k).is_key || f < 0) continue;
    const std::size_t i = static_cast<std::size_t>(f);
    key += (key.empty() ? "" : ", ") + scope.reader->columns()[i].name + "=" + dts::KeyValueText(in[i]);
  }
  return key;
}

void Checker::PlaceInSource(const TaskScope& scope, const dts::Row& in, const std::vector<int>& slots,
                            const std::string& source_key, Problem& q) {
  if (scope.source_table.empty()) return;
  q.source_table = scope.source_table;
  q.source_key = source_key;
  for (const int k : slots) {
    const int f = scope.pump.from[static_cast<std::size_t>(k)];
    if (f < 0) continue;  // a listed column the task leaves empty
    const std::size_t i = static_cast<std::size_t>(f);
    const char* sep = q.source_column.empty() ? "" : ", ";
    q.source_column += sep + scope.reader->columns()[i].name;
    q.source_value += sep + dts::KeyValueText(in[i]);
  }
}

void Checker::Post(std::vector<PostingView>& views, const dts::Row& out) {
  for (auto& v : views) {
    auto value = [&](const PostingView::Source& s) -> const Variant& {
      return s.written >= 0 ? out[static_cast<std::size_t>(s.written)] : s.fixed;
    };
    bool posts = true;
    for (const auto& s : v.not_zero) posts = posts && NonZero(value(s));
    if (posts && !v.forecast->rule->except_column.empty()) {
      const Variant& e = value(v.except);
      // Compared as the server compares the procedure's N'...' literal.
      posts = !e.IsNull() && sqlsrv::CollationKey(e.ToText()) != sqlsrv::CollationKey(v.forecast->rule->except_value);
    }
    if (!posts) continue;
    PostingForecast& f = v.forecast->forecast;
    ++f.rows;
    f.amount += MoneyUnits(value(v.amount));
    if (f.quantity) *f.quantity += MoneyUnits(value(v.quantity));
  }
}

void Checker::CheckRow(TaskScope& scope, const dts::Row& in, std::int64_t at, RowScope& row,
                       std::vector<PostingView>& views) {
  row.problems.clear();
  row.written.clear();
  ConvertRow(scope, in, at, row);
  HoldToKeys(scope, at, row);
  bool row_fails = false;
  bool row_cut = false;
  if (!row.problems.empty()) {
    const std::string described = dts::DescribeKey(scope.pump, row.out);
    const std::string source_key = SourceKey(scope, in);
    for (std::size_t n = 0; n < row.problems.size(); ++n) {
      Problem& q = row.problems[n];
      const bool fails = KindFails(q.kind);
      (fails ? row_fails : row_cut) = true;
      ColumnTally& c = Tally(scope.tally, q.column);
      ++(fails ? c.failing : c.cut);
      q.key = described;
      PlaceInSource(scope, in, row.written[n], source_key, q);
      result_.problems.push_back(std::move(q));
    }
  }
  scope.tally.rows_failing += row_fails;
  scope.tally.rows_cut += row_cut;
  if (!row_fails) Post(views, row.out);
}

void Checker::CheckTask(const dts::Step& step, const dts::DataPumpTask& task) {
  TaskScope scope;
  scope.tally.step = step.Name();
  scope.tally.table = sqlsrv::TableNameOf(task.GetText("DestinationObjectName"));
  if (progress_) progress_(scope.tally.step, 0, -1);
  if (!OpenTask(task, scope)) {
    result_.tasks.push_back(std::move(scope.tally));
    return;
  }
  FindKeys(scope);
  FindReferences(scope);
  std::vector<PostingView> views = PostingViews(scope);
  const std::int64_t expected = scope.reader->ExpectedRows();

  // Reading on a thread of its own; converting and checking here.
  std::int64_t position = 0;
  bool ended = false;
  auto fill = [&](dts::RowBatch& batch) {
    while (!ended && batch.count < dts::RowBatch::kCapacity) {
      if (!scope.reader->Next(batch.rows[batch.count])) {
        ended = true;
        break;
      }
      ++position;
      batch.rows_read = position;
      const dts::RowWindow window = dts::WindowOf(scope.pump, position);
      if (window == dts::RowWindow::kSkip) continue;
      if (window == dts::RowWindow::kPast) {
        ended = true;
        break;
      }
      batch.positions[batch.count++] = position;
    }
    batch.last = ended;
  };

  RowScope row(scope.pump.written.size());
  dts::RowPipeline pipeline(fill, scope.reader->ReadableOnAnotherThread());
  while (dts::RowBatch* batch = pipeline.Next()) {
    for (std::size_t i = 0; i < batch->count; ++i) {
      const std::int64_t at = batch->positions[i];
      CheckRow(scope, batch->rows[i], at, row, views);
      if (progress_ && at % kProgressEvery == 0) progress_(scope.tally.step, at, expected);
    }
    scope.tally.rows_read = batch->rows_read;
    if (batch->error) {
      try {
        std::rethrow_exception(batch->error);
      } catch (const com::Error& e) {
        TaskProblem(scope,
                    com::Error(e.number(), e.source(),
                               "读到第 " + std::to_string(batch->rows_read) + " 行之后无法再读源表：" + e.description()),
                    batch->rows_read + 1);
      }
      break;
    }
    pipeline.Done(batch);
  }
  result_.tasks.push_back(std::move(scope.tally));
}

}  // namespace

const char* KindName(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kNotNull: return "not_null";
    case ProblemKind::kCut: return "cut";
    case ProblemKind::kReplaced: return "replaced";
    case ProblemKind::kTooLong: return "too_long";
    case ProblemKind::kOutOfRange: return "out_of_range";
    case ProblemKind::kConversion: return "conversion";
    case ProblemKind::kDuplicateKey: return "duplicate_key";
    case ProblemKind::kForeignKey: return "foreign_key";
    case ProblemKind::kTask: return "task";
  }
  return "?";
}

const char* KindCaption(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kNotNull: return "不能为空";
    case ProblemKind::kCut: return "将截断";
    case ProblemKind::kReplaced: return "字符将替换";
    case ProblemKind::kTooLong: return "过长";
    case ProblemKind::kOutOfRange: return "超出范围";
    case ProblemKind::kConversion: return "无法转换";
    case ProblemKind::kDuplicateKey: return "键重复";
    case ProblemKind::kForeignKey: return "引用不存在";
    case ProblemKind::kTask: return "任务无法执行";
  }
  return "?";
}

std::string ProblemLine(const Problem& p) {
  std::string line = "[" + std::string(KindCaption(p.kind)) + "] " + p.table;
  if (p.row > 0) line += " 第 " + std::to_string(p.row) + " 行";
  if (!p.key.empty()) line += "（" + p.key + "）";
  if (!p.column.empty()) line += " 列“" + p.column + "”";
  if (!p.parent.empty()) line += "，" + p.parent + " 中没有";
  return line + "：" + p.message;
}

std::string VerdictText(const CheckResult& r) {
  std::int64_t failing = 0, cut = 0, tasks = 0;
  for (const auto& t : r.tasks) {
    failing += t.rows_failing;
    cut += t.rows_cut;
  }
  for (const auto& p : r.problems) tasks += p.kind == ProblemKind::kTask;
  if (r.Fails()) {
    std::string what;
    if (failing) what = std::to_string(failing) + " 行无法写入";
    if (tasks) what += (what.empty() ? "" : "，") + std::to_string(tasks) + " 个任务无法执行";
    return "升级将失败：" + what +
           "，升级会在第一处停止并回滚。请先改正以上问题：在 5.6 数据库中改，"
           "或按修正清单写出修正后的副本（korvel fix，或向导中的“修正…”）。";
  }
  if (r.Cuts()) return "升级可以完成，但 " + std::to_string(cut) + " 行的值将被截断或替换以适合 6.0 的列。";
  return "检查通过，升级可以完成，没有值会被截断。";
}

bool KindFails(ProblemKind kind) { return kind != ProblemKind::kCut && kind != ProblemKind::kReplaced; }

bool CheckResult::Fails() const {
  for (const auto& p : problems) {
    if (KindFails(p.kind)) return true;
  }
  return false;
}

bool CheckResult::Cuts() const {
  for (const auto& p : problems) {
    if (!KindFails(p.kind)) return true;
  }
  return false;
}

std::unique_ptr<dts::Session> OpenPackageDestination(const dts::Package& package) {
  for (const auto& task : package.Tasks()) {
    if (task->kind() != dts::kDataPumpTaskKind) continue;
    const std::int32_t id = task->AsDataPump().GetLong("DestinationConnectionID");
    const dts::Connection* c = package.Connections().FindById(id);
    if (!c) throw com::Error(com::kErrItemNotFound, "korvel", "包中没有 ID 为 " + std::to_string(id) + " 的连接");
    const dts::ConnectionSpec connection = dts::ConnectionSpecOf(*c);
    return dts::FindDriver(connection.provider)->Open(connection);
  }
  throw com::Error(com::kErrItemNotFound, "korvel", "包中没有导入任务，无从读取目的表的定义");
}

CheckResult CheckPackage(const dts::Package& package, dts::Session& definitions, const CheckProgress& progress) {
  return Checker(package, definitions, progress).Run();
}

}  // namespace assurance
