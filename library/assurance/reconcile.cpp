#include "library/assurance/reconcile.h"

#include <cstdint>
#include <future>

#include "library/interface/postings.h"
#include "library/interface/provider.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/com/variant.h"
#include "platform/dts/convert.h"
#include "platform/dts/driver.h"
#include "platform/dts/oledb.h"
#include "platform/jet/reader.h"
#include "platform/port/system.h"

namespace assurance {
namespace {

bool Runs(const dts::Package& package, std::string_view step) { return package.Steps().Find(step) != nullptr; }

// Count, and sums in 1/10000 units.
struct Figures {
  std::int64_t rows = 0;
  std::int64_t sum1 = 0;
  std::int64_t sum2 = 0;
};

class Destination {
 public:
  explicit Destination(const Endpoints& e) {
    dts::ConnectionSpec connection;
    connection.provider = korvel::kSqlProviderName;
    connection.data_source = e.server;
    connection.user_id = e.user;
    connection.password = e.password;
    connection.catalog = e.database;
    session_ = dts::FindDriver(connection.provider)->Open(connection);
  }
  // The first row of a query.
  dts::Row One(const std::string& sql) {
    auto rows = session_->Query(sql);
    dts::Row row;
    if (!rows->Next(row)) throw com::Error(com::kErrInvalidArgument, "korvel", "对账查询没有结果：" + sql);
    return row;
  }
  Figures Count(const std::string& table, const char* sum1 = nullptr, const char* sum2 = nullptr) {
    std::string sql = "select count(*)";
    if (sum1) sql += std::string(", sum(") + sum1 + ")";
    if (sum2) sql += std::string(", sum(") + sum2 + ")";
    const dts::Row row = One(sql + " from " + com::Quoted(table, '[', ']'));
    return {row[0].ToInt64(), sum1 ? MoneyUnits(row[1]) : 0, sum2 ? MoneyUnits(row[2]) : 0};
  }

 private:
  std::unique_ptr<dts::Session> session_;
};

std::string Rows(std::int64_t n) { return std::to_string(n) + " 行"; }

}  // namespace

std::int64_t MoneyUnits(const com::Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return 0;
  dts::ColumnInfo money;
  money.type = dts::DBTYPE_CY;
  com::Variant out;
  dts::ConvertValue(v, money, false, &out);
  return out.integer();
}

ReconcilePlan ReconcilePlanOf(const dts::Package& package) {
  ReconcilePlan plan;
  for (const auto& task : package.Tasks()) {
    if (task->kind() != dts::kDataPumpTaskKind) continue;
    const auto& pump = task->AsDataPump();
    ReconcilePlan::Transfer t;
    t.table = com::ObjectNameParts(pump.GetText("DestinationObjectName")).back();
    t.source_sql = pump.GetText("SourceSQLStatement");
    for (const auto& transformation : pump.Transformations()) {
      for (const auto& column : transformation->DestinationColumns()) t.written.push_back(column->Name());
    }
    plan.transfers.push_back(std::move(t));
  }
  for (const korvel::PostingRule& rule : korvel::kPostingRules) {
    if (Runs(package, rule.step)) plan.postings.push_back(&rule);
  }
  return plan;
}

namespace {

// Reads a source query's rows one by one into `row`, until they end or
// `stop` is set.
bool NextRow(dts::RowReader& rows, dts::Row& row, const std::atomic<bool>& stop) {
  return !stop.load(std::memory_order_relaxed) && rows.Next(row);
}

// One item of the reconciliation: what it is called, and how each side is
// counted, in the words the lines show. The source's count gives up when
// `stop` is set.
struct Item {
  std::string name;
  std::function<std::string(jet::Database&, const std::atomic<bool>& stop)> source;
  std::function<std::string(Destination&)> destination;
};

std::string Text(const Figures& f) { return Rows(f.rows) + "，合计 " + com::FormatCurrency(f.sum1); }
std::string StockText(const Figures& f) {
  return Rows(f.rows) + "，数量 " + com::FormatCurrency(f.sum1) + "，金额 " + com::FormatCurrency(f.sum2);
}

// Whether a value the source holds counts as other than zero, as the
// destination's column will hold it: a yes/no by its truth, a number as
// money (to 1/10000).
bool NonZero(const com::Variant& v) {
  return v.type() == com::VarType::kBool ? v.ToBool() : MoneyUnits(v) != 0;
}

// A posting: the source's rows its rule posts, counted and summed, against
// the ledger. A partner ledger shows the rows and the amount; the custody
// book the rows, the quantity and the amount.
Item Posting(const ReconcilePlan& plan, const korvel::PostingRule& rule) {
  const std::string source_table(rule.source), ledger(rule.ledger);
  // The rule's columns as the source query reads them: the not-zero ones
  // first, then the excepted key, the amount and the quantity.
  std::vector<std::string> columns;
  for (std::string_view c : rule.not_zero) {
    if (!c.empty()) columns.emplace_back(c);
  }
  const std::size_t not_zero = columns.size();
  const bool excepts = !rule.except_column.empty(), stock = !rule.quantity.empty();
  if (excepts) columns.emplace_back(rule.except_column);
  columns.emplace_back(rule.amount);
  if (stock) columns.emplace_back(rule.quantity);
  // A not-zero column the source's transfer leaves out takes the
  // destination's default, which puts every row in (IsUsed's 1).
  std::vector<bool> left_out(not_zero, false);
  for (const auto& t : plan.transfers) {
    if (t.table != source_table) continue;
    for (std::size_t i = 0; i < not_zero; ++i) {
      bool written = false;
      for (const auto& c : t.written) written = written || com::SameName(c, columns[i]);
      left_out[i] = !written;
    }
  }
  std::string sql;
  for (const auto& c : columns) sql += (sql.empty() ? "select `" : ",`") + c + "`";
  sql += " from `" + source_table + "`";
  const std::string except_value(rule.except_value);
  auto text = [stock](const Figures& f) { return stock ? StockText(f) : Text(f); };
  return {ledger + (stock ? " 期初库存" : " 期初余额"),
          [=](jet::Database& source, const std::atomic<bool>& stop) {
            auto rows = source.Query(sql);
            Figures expected;
            dts::Row row;
            while (NextRow(*rows, row, stop)) {
              bool posts = true;
              for (std::size_t i = 0; i < not_zero; ++i) posts = posts && (left_out[i] || NonZero(row[i]));
              if (posts && excepts) posts = row[not_zero].ToText() != except_value;
              if (!posts) continue;
              const std::size_t amount = not_zero + (excepts ? 1 : 0);
              ++expected.rows;
              // A stock line shows the quantity before the amount.
              if (stock) {
                expected.sum1 += MoneyUnits(row[amount + 1]);
                expected.sum2 += MoneyUnits(row[amount]);
              } else {
                expected.sum1 += MoneyUnits(row[amount]);
              }
            }
            return text(expected);
          },
          [=, amount = std::string(rule.amount), quantity = std::string(rule.quantity)](Destination& destination) {
            return stock ? StockText(destination.Count(ledger, quantity.c_str(), amount.c_str()))
                         : Text(destination.Count(ledger, amount.c_str()));
          }};
}

std::vector<Item> ItemsOf(const ReconcilePlan& plan) {
  std::vector<Item> items;
  for (const auto& t : plan.transfers) {
    items.push_back({t.table + " 行数",
                     [sql = t.source_sql](jet::Database& source, const std::atomic<bool>& stop) {
                       auto rows = source.Query(sql);
                       std::int64_t n = 0;
                       dts::Row row;
                       while (NextRow(*rows, row, stop)) ++n;
                       return Rows(n);
                     },
                     [table = t.table](Destination& destination) { return Rows(destination.Count(table).rows); }});
  }
  for (const korvel::PostingRule* rule : plan.postings) items.push_back(Posting(plan, *rule));
  return items;
}

}  // namespace

SourceRecount::SourceRecount(const ReconcilePlan& plan, const Endpoints& endpoints) {
  try {
    source_ = std::make_unique<jet::Database>(endpoints.source_file,
                                              jet::OpenOptions{.password = endpoints.source_password});
  } catch (const com::Error&) {
    // Raised by Figures: a file that cannot be read is the count's failure,
    // not the caller's now.
    figures_ = std::async(std::launch::deferred, [error = std::current_exception()]() -> std::vector<std::string> {
      std::rethrow_exception(error);
    });
    return;
  }
  figures_ = std::async(std::launch::async, [this, items = ItemsOf(plan)] {
    // Below the run's threads: the count takes only the time they leave.
    // Failing to lower it only costs the run some speed.
    port::RunOnlyWhenIdle();
    std::vector<std::string> figures;
    for (const Item& item : items) figures.push_back(item.source(*source_, stop_));
    return figures;
  });
}

SourceRecount::~SourceRecount() {
  stop_ = true;
  if (figures_.valid()) figures_.wait();
}

std::vector<std::string> SourceRecount::Figures() {
  std::vector<std::string> figures = figures_.get();
  source_->VerifyUnchanged();
  return figures;
}

std::vector<ReconcileLine> Reconcile(const ReconcilePlan& plan, const Endpoints& endpoints,
                                     const ReconcileProgress& progress) {
  SourceRecount source(plan, endpoints);
  return Reconcile(plan, endpoints, source, progress);
}

std::vector<ReconcileLine> Reconcile(const ReconcilePlan& plan, const Endpoints& endpoints, SourceRecount& source,
                                     const ReconcileProgress& progress) {
  const std::vector<Item> items = ItemsOf(plan);
  std::vector<std::string> destination_figures;
  {
    Destination destination(endpoints);
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (progress) progress(items[i].name, i, items.size());
      destination_figures.push_back(items[i].destination(destination));
    }
  }
  const std::vector<std::string> from = source.Figures();
  std::vector<ReconcileLine> lines;
  for (std::size_t i = 0; i < items.size(); ++i) {
    lines.push_back({items[i].name, from[i], destination_figures[i], from[i] == destination_figures[i]});
  }
  return lines;
}

std::vector<std::string> CountDestination(const ReconcilePlan& plan, const Endpoints& endpoints) {
  Destination destination(endpoints);
  std::vector<std::string> figures;
  for (const Item& item : ItemsOf(plan)) figures.push_back(item.destination(destination));
  return figures;
}

CommitEvidence DecideCommit(const ReconcilePlan& plan, const Endpoints& endpoints,
                            const std::vector<std::string>& before) {
  SourceRecount source(plan, endpoints);
  return DecideCommit(plan, endpoints, before, source);
}

CommitEvidence DecideCommit(const ReconcilePlan& plan, const Endpoints& endpoints,
                            const std::vector<std::string>& before, SourceRecount& source) {
  CommitEvidence evidence;
  try {
    evidence.lines = Reconcile(plan, endpoints, source, nullptr);
  } catch (const com::Error& e) {
    evidence.reason = "无法重新连接目的数据库核对：" + e.description();
    return evidence;
  }
  bool as_source = !evidence.lines.empty(), as_before = before.size() == evidence.lines.size();
  for (std::size_t i = 0; i < evidence.lines.size(); ++i) {
    as_source = as_source && evidence.lines[i].match;
    as_before = as_before && evidence.lines[i].destination == before[i];
  }
  if (as_source && !as_before) {
    evidence.outcome = CommitOutcome::kCommitted;
    evidence.reason = "重新连接后核对：目的数据库中导入的表和帐与源数据库一致，升级已提交";
  } else if (as_before && !as_source) {
    evidence.outcome = CommitOutcome::kNotCommitted;
    evidence.reason = "重新连接后核对：目的数据库与升级前相同，升级没有提交";
  } else if (as_source) {
    evidence.reason = "重新连接后核对：升级前的目的数据库已经与源数据库一致，无从判断这次是否提交";
  } else {
    evidence.reason = "重新连接后核对：目的数据库既不同于升级前，也与源数据库不一致";
  }
  return evidence;
}

}  // namespace assurance
