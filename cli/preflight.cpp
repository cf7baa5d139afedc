#include "cli/preflight.h"

#include <map>
#include <memory>
#include <unordered_set>

#include "cli/reconcile.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/dts/convert.h"
#include "platform/dts/pump_columns.h"
#include "platform/dts/row_pipeline.h"
#include "platform/dts/step_context.h"
#include "platform/sqlserver/sqlite_functions.h"
#include "platform/sqlserver/table_definition.h"

namespace cli {
namespace {

using com::SameName;
using com::Variant;

constexpr std::int32_t kErrDuplicateKey = 2627;
constexpr std::int32_t kErrConstraint = 547;
constexpr std::int64_t kProgressEvery = 10000;

// What a posting procedure posts: one ledger row for each row of `from`
// whose `not_zero` columns are other than zero (and whose
// `except_column` is not `except_value`), with `amount` (and `quantity`)
// carried over.
struct PostingRule {
  const char* procedure;
  const char* from;
  const char* ledger;
  std::vector<const char*> not_zero;
  const char* except_column;
  const char* except_value;
  const char* amount;
  const char* quantity;
};

const PostingRule kPostings[] = {
    {"WriteCustAcc", "Customer", "CustAcc", {"IsUsed", "BalAmo"}, "UnitID", "0", "BalAmo", nullptr},
    {"WriteSuppAcc", "Supplier", "SuppAcc", {"IsUsed", "BalAmo"}, nullptr, nullptr, "BalAmo", nullptr},
    {"WriteCustody", "bBalance", "Custody", {"BalQua"}, nullptr, nullptr, "BalAmo", "BalQua"},
};

std::string PostingStep(const PostingRule& r) { return std::string("执行存储过程 ") + r.procedure; }

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

// The keys of the rows written into one table so far.
struct WrittenKey {
  std::string name;
  bool primary = false;
  std::vector<std::string> columns;
  std::unordered_set<std::string> values;
  bool known = true;  // false when the plan does not write every column (an identity the table numbers)
};

class Checker {
 public:
  Checker(const dts::Package& package, dts::Session& definitions, const CheckProgress& progress)
      : package_(package), definitions_(definitions), progress_(progress) {}

  CheckResult Run() {
    const std::vector<const dts::Step*> order = dts::RunOrderIfAllSucceed(package_);
    for (const PostingRule& rule : kPostings) {
      for (const dts::Step* s : order) {
        if (s->Name() == PostingStep(rule)) forecasts_.push_back({&rule, {PostingStep(rule), rule.ledger}});
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

  ColumnTally& Tally(TaskCheck& t, const std::string& column) {
    for (auto& c : t.columns) {
      if (c.column == column) return c;
    }
    t.columns.push_back({column, 0, 0});
    return t.columns.back();
  }

  void CheckTask(const dts::Step& step, const dts::DataPumpTask& task);

  const dts::Package& package_;
  dts::Session& definitions_;
  const CheckProgress& progress_;
  std::map<std::int32_t, std::unique_ptr<dts::Session>> sources_;
  std::map<std::string, std::unique_ptr<sqlsrv::TableDefinition>> definitions_cache_;
  std::map<std::string, std::vector<WrittenKey>> written_;  // by lower-case table name
  std::vector<Forecast> forecasts_;
  CheckResult result_;
};

void Checker::CheckTask(const dts::Step& step, const dts::DataPumpTask& task) {
  TaskCheck tally;
  tally.step = step.Name();
  tally.table = sqlsrv::TableNameOf(task.GetText("DestinationObjectName"));
  auto task_problem = [&](const com::Error& e, std::int64_t row) {
    Problem p;
    p.kind = ProblemKind::kTask;
    p.step = tally.step;
    p.table = tally.table;
    p.row = row;
    p.number = e.number();
    p.message = e.description();
    result_.problems.push_back(std::move(p));
  };

  std::unique_ptr<dts::RowReader> reader;
  dts::PumpColumns p;
  const sqlsrv::TableDefinition* def = nullptr;
  try {
    const std::string sql = dts::PumpSourceStatement(task);
    def = &Definition(dts::PumpDestinationObject(task));
    reader = SourceSession(task.GetLong("SourceConnectionID")).Query(sql);
    p = dts::MapPumpColumns(task, reader->columns(), def->columns);
  } catch (const com::Error& e) {
    task_problem(e, 0);
    result_.tasks.push_back(std::move(tally));
    return;
  }
  const std::size_t n = p.written.size();
  // The database, as the server's messages name it: "[D].[dbo].[T]".
  const auto parts = com::ObjectNameParts(p.object);
  const std::string database = parts.size() >= 3 ? parts[parts.size() - 3] : std::string();
  auto written_index = [&](const std::string& column) {
    for (std::size_t k = 0; k < n; ++k) {
      if (SameName(p.column(k).name, column)) return static_cast<int>(k);
    }
    return -1;
  };

  // The table's keys, continued from any earlier task into the same table.
  std::vector<WrittenKey>& keys = written_[com::LowerAscii(tally.table)];
  for (const auto& k : def->keys) {
    bool known = false;
    for (const auto& w : keys) known = known || w.name == k.name;
    if (!known) keys.push_back({k.name, k.primary, k.columns, {}, true});
  }
  struct KeyCheck {
    WrittenKey* key;
    std::vector<int> slots;
  };
  std::vector<KeyCheck> key_checks;
  for (auto& w : keys) {
    KeyCheck c{&w, {}};
    for (const auto& column : w.columns) {
      c.slots.push_back(written_index(column));
      w.known = w.known && c.slots.back() >= 0;
    }
    if (w.known) key_checks.push_back(std::move(c));
  }

  // Its foreign keys, each against the key of the parent it refers to.
  struct Reference {
    const sqlsrv::ForeignKeyDefinition* fk;
    std::vector<int> slots;
    const WrittenKey* parent;  // null: the parent has no rows
  };
  std::vector<Reference> references;
  for (const auto& fk : def->foreign_keys) {
    Reference r{&fk, {}, nullptr};
    bool all_written = true;
    for (const auto& c : fk.columns) {
      r.slots.push_back(written_index(c));
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
    if (!unknown) references.push_back(std::move(r));
  }

  // The postings that read this table.
  std::vector<PostingView> views;
  for (auto& f : forecasts_) {
    if (f.posted || !SameName(f.rule->from, tally.table)) continue;
    auto source = [&](const char* column) {
      PostingView::Source s;
      if (!column) return s;
      s.written = written_index(column);
      const int i = def->Find(column);
      if (s.written < 0 && i >= 0) s.fixed = DefaultValue(def->defaults[static_cast<std::size_t>(i)]);
      return s;
    };
    PostingView v{&f, {}, source(f.rule->except_column), source(f.rule->amount), source(f.rule->quantity)};
    for (const char* c : f.rule->not_zero) v.not_zero.push_back(source(c));
    if (f.rule->quantity && !f.forecast.quantity) f.forecast.quantity = 0;
    views.push_back(std::move(v));
  }

  // Reading on a thread of its own; converting and checking here.
  std::int64_t position = 0;
  bool ended = false;
  auto fill = [&](dts::RowBatch& batch) {
    while (!ended && batch.count < dts::RowBatch::kCapacity) {
      if (!reader->Next(batch.rows[batch.count])) {
        ended = true;
        break;
      }
      ++position;
      batch.rows_read = position;
      const dts::RowWindow window = dts::WindowOf(p, position);
      if (window == dts::RowWindow::kSkip) continue;
      if (window == dts::RowWindow::kPast) {
        ended = true;
        break;
      }
      batch.positions[batch.count++] = position;
    }
    batch.last = ended;
  };

  dts::Row out(n);
  std::vector<char> failed(n);
  std::vector<Problem> row_problems;
  std::string key;
  dts::RowPipeline pipeline(fill, reader->ReadableOnAnotherThread());
  while (dts::RowBatch* batch = pipeline.Next()) {
    for (std::size_t i = 0; i < batch->count; ++i) {
      const dts::Row& in = batch->rows[i];
      const std::int64_t at = batch->positions[i];
      row_problems.clear();
      auto problem = [&](ProblemKind kind, const std::string& column) -> Problem& {
        Problem& q = row_problems.emplace_back();
        q.kind = kind;
        q.step = tally.step;
        q.table = tally.table;
        q.column = column;
        q.row = at;
        return q;
      };
      for (std::size_t k = 0; k < n; ++k) {
        failed[k] = 0;
        const dts::ColumnInfo& column = p.column(k);
        try {
          if (dts::ConvertWritten(p, k, in, &out[k])) {
            const std::string original = in[static_cast<std::size_t>(p.from[k])].ToText();
            const std::size_t length = dts::TextLength(original, column);
            Problem& q = problem(length > column.size ? ProblemKind::kCut : ProblemKind::kReplaced, column.name);
            q.original_length = length;
            q.cut_length = dts::TextLength(out[k].ToText(), column);
            q.message = length > column.size
                            ? "长度 " + std::to_string(length) + " 超过列的长度 " + std::to_string(column.size) +
                                  "，将截为 " + std::to_string(q.cut_length)
                            : "有 " + dts::TypeName(column) + " 列的代码页中没有的字符，将写为“?”";
          }
        } catch (const com::Error& e) {
          failed[k] = 1;
          out[k] = p.from[k] < 0 ? Variant::Null() : in[static_cast<std::size_t>(p.from[k])];
          Problem& q = problem(KindOf(e), column.name);
          q.number = e.number();
          q.message = e.description();
        }
      }
      for (const KeyCheck& c : key_checks) {
        key.clear();
        bool usable = true;
        for (int slot : c.slots) {
          usable = usable && !failed[static_cast<std::size_t>(slot)];
          AppendKeyPart(out[static_cast<std::size_t>(slot)], &key);
        }
        WrittenKey& w = *c.key;
        if (!usable || w.values.insert(key).second) continue;
        Problem& q = problem(ProblemKind::kDuplicateKey, Joined(w.columns));
        q.number = kErrDuplicateKey;
        q.message = "Violation of " + std::string(w.primary ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint '" + w.name +
                    "'. Cannot insert duplicate key in object '" + tally.table + "'.";
      }
      for (const Reference& r : references) {
        key.clear();
        bool checked = true;
        for (int slot : r.slots) {
          const Variant& v = out[static_cast<std::size_t>(slot)];
          checked = checked && !failed[static_cast<std::size_t>(slot)] && !v.IsNull();
          AppendKeyPart(v, &key);
        }
        if (!checked || (r.parent && r.parent->values.count(key))) continue;
        Problem& q = problem(ProblemKind::kForeignKey, Joined(r.fk->columns));
        q.number = kErrConstraint;
        q.parent = r.fk->parent_table;
        q.message = "INSERT statement conflicted with COLUMN FOREIGN KEY constraint '" + r.fk->name +
                    "'. The conflict occurred in database '" + database + "', table '" + r.fk->parent_table +
                    "', column '" + r.fk->parent_columns[0] + "'.";
      }

      bool row_fails = false;
      bool row_cut = false;
      if (!row_problems.empty()) {
        const std::string described = dts::DescribeKey(p, out);
        for (auto& q : row_problems) {
          const bool fails = KindFails(q.kind);
          (fails ? row_fails : row_cut) = true;
          ColumnTally& c = Tally(tally, q.column);
          ++(fails ? c.failing : c.cut);
          q.key = described;
          result_.problems.push_back(std::move(q));
        }
      }
      tally.rows_failing += row_fails;
      tally.rows_cut += row_cut;
      if (!row_fails) {
        for (auto& v : views) {
          auto value = [&](const PostingView::Source& s) -> const Variant& {
            return s.written >= 0 ? out[static_cast<std::size_t>(s.written)] : s.fixed;
          };
          bool posts = true;
          for (const auto& s : v.not_zero) posts = posts && NonZero(value(s));
          if (posts && v.forecast->rule->except_column) {
            const Variant& e = value(v.except);
            posts = !e.IsNull() && sqlsrv::CollationKey(e.ToText()) != v.forecast->rule->except_value;
          }
          if (!posts) continue;
          PostingForecast& f = v.forecast->forecast;
          ++f.rows;
          f.amount += MoneyUnits(value(v.amount));
          if (f.quantity) *f.quantity += MoneyUnits(value(v.quantity));
        }
      }
      if (progress_ && at % kProgressEvery == 0) progress_(tally.step, at);
    }
    tally.rows_read = batch->rows_read;
    if (batch->error) {
      try {
        std::rethrow_exception(batch->error);
      } catch (const com::Error& e) {
        task_problem(com::Error(e.number(), e.source(), "读到第 " + std::to_string(batch->rows_read) + " 行之后无法再读源表：" +
                                                              e.description()),
                     batch->rows_read + 1);
      }
      break;
    }
    pipeline.Done(batch);
  }
  result_.tasks.push_back(std::move(tally));
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

CheckResult CheckPackage(const dts::Package& package, dts::Session& definitions, const CheckProgress& progress) {
  return Checker(package, definitions, progress).Run();
}

}  // namespace cli
