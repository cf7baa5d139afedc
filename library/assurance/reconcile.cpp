#include "library/assurance/reconcile.h"

#include <cstdint>

#include "library/interface/provider.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/com/variant.h"
#include "platform/dts/convert.h"
#include "platform/dts/driver.h"
#include "platform/dts/oledb.h"
#include "platform/jet/reader.h"

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
  plan.posts_customers = Runs(package, "执行存储过程 WriteCustAcc");
  plan.posts_suppliers = Runs(package, "执行存储过程 WriteSuppAcc");
  plan.posts_custody = Runs(package, "执行存储过程 WriteCustody");
  return plan;
}

std::vector<ReconcileLine> Reconcile(const ReconcilePlan& plan, const Endpoints& endpoints,
                                     const ReconcileProgress& progress) {
  jet::Database source(endpoints.source_file, {.password = endpoints.source_password});
  Destination destination(endpoints);
  std::vector<ReconcileLine> lines;
  const std::size_t total = plan.transfers.size() + plan.posts_customers + plan.posts_suppliers + plan.posts_custody;
  std::size_t done = 0;
  auto counting = [&](const std::string& item) {
    if (progress) progress(item, done, total);
    ++done;
  };
  auto add = [&](std::string item, std::string from, std::string to) {
    const bool match = from == to;
    lines.push_back({std::move(item), std::move(from), std::move(to), match});
  };

  for (const auto& t : plan.transfers) {
    counting(t.table + " 行数");
    auto rows = source.Query(t.source_sql);
    std::int64_t n = 0;
    dts::Row row;
    while (rows->Next(row)) ++n;
    add(t.table + " 行数", Rows(n), Rows(destination.Count(t.table).rows));
  }

  // A partner ledger: the source's qualifying balances against the ledger.
  auto ledger = [&](const std::string& partners, const std::string& book, bool retail_exception) {
    counting(book + " 期初余额");
    bool is_used_written = true;
    for (const auto& t : plan.transfers) {
      if (t.table != partners) continue;
      is_used_written = false;
      for (const auto& c : t.written) is_used_written = is_used_written || com::SameName(c, "IsUsed");
    }
    auto rows = source.Query("select `UnitID`,`IsUsed`,`BalAmo` from `" + partners + "`");
    Figures expected;
    dts::Row row;
    while (rows->Next(row)) {
      const std::int64_t balance = MoneyUnits(row[2]);
      // Where the transfer leaves IsUsed out, the destination's default
      // puts every partner in use.
      const bool used = !is_used_written || row[1].ToBool();
      if (!used || balance == 0 || (retail_exception && row[0].ToText() == "0")) continue;
      ++expected.rows;
      expected.sum1 += balance;
    }
    const Figures actual = destination.Count(book, "BalAmo");
    add(book + " 期初余额", Rows(expected.rows) + "，合计 " + com::FormatCurrency(expected.sum1),
        Rows(actual.rows) + "，合计 " + com::FormatCurrency(actual.sum1));
  };
  if (plan.posts_customers) ledger("Customer", "CustAcc", true);
  if (plan.posts_suppliers) ledger("Supplier", "SuppAcc", false);

  if (plan.posts_custody) {
    counting("Custody 期初库存");
    auto rows = source.Query("select `BalQua`,`BalAmo` from `bBalance`");
    Figures expected;
    dts::Row row;
    while (rows->Next(row)) {
      const std::int64_t quantity = MoneyUnits(row[0]);
      if (quantity == 0) continue;
      ++expected.rows;
      expected.sum1 += quantity;
      expected.sum2 += MoneyUnits(row[1]);
    }
    const Figures actual = destination.Count("Custody", "BalQua", "BalAmo");
    auto text = [](const Figures& f) {
      return Rows(f.rows) + "，数量 " + com::FormatCurrency(f.sum1) + "，金额 " + com::FormatCurrency(f.sum2);
    };
    add("Custody 期初库存", text(expected), text(actual));
  }
  return lines;
}

}  // namespace assurance
