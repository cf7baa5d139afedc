#include "bench/upgrade_plan.h"

#include <map>

#include "library/interface/cconnection.h"
#include "library/interface/provider.h"
#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/object.h"

namespace bench {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "full_upgrade_bench", what);
}

// "select ... from `Employee`" -> "Employee".
std::string SourceTable(const std::string& sql) {
  const std::string lower = com::LowerAscii(sql);
  const std::size_t from = lower.rfind(" from `");
  const std::size_t start = from == std::string::npos ? from : from + 7;
  const std::size_t end = start == std::string::npos ? start : sql.find('`', start);
  if (end == std::string::npos || lower.find(" join ") != std::string::npos || end + 1 != sql.size()) {
    Fail("a transfer reads other than one table: " + sql);
  }
  return sql.substr(start, end - start);
}

// "[Sales60].[dbo].[Employee]" -> "Employee".
std::string LastNamePart(const std::string& object) {
  std::string name = object.substr(object.rfind('.') + 1);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  return name;
}

// The primary key columns of `table` as the create script declares them:
//   CREATE TABLE [dbo].[T] ( ... CONSTRAINT [PK_T] PRIMARY KEY ([A], [B]) )
std::vector<std::string> DeclaredKey(std::string_view script, const std::string& table) {
  const std::size_t at = script.find("CREATE TABLE [dbo].[" + table + "]");
  if (at == std::string_view::npos) return {};
  const std::size_t next = script.find("CREATE TABLE", at + 1);
  const std::size_t key = script.find("PRIMARY KEY (", at);
  if (key == std::string_view::npos || key > next) return {};
  const std::size_t close = script.find(')', key);
  std::vector<std::string> columns;
  for (std::size_t open = script.find('[', key); open < close; open = script.find('[', open + 1)) {
    const std::size_t end = script.find(']', open);
    columns.emplace_back(script.substr(open + 1, end - open - 1));
  }
  return columns;
}

// Destination column (lower case) -> the source column that feeds it: the
// copy transformations pair their columns by position; otherwise a column
// read under the destination's own name is taken to feed it.
std::map<std::string, std::string> ColumnFeeds(const dts::DataPumpTask& pump) {
  std::map<std::string, std::string> feeds;
  for (const auto& t : pump.Transformations()) {
    for (const auto& c : t->SourceColumns()) feeds.emplace(com::LowerAscii(c->Name()), c->Name());
  }
  for (const auto& t : pump.Transformations()) {
    const auto& in = t->SourceColumns();
    const auto& out = t->DestinationColumns();
    if (t->IsScript() || in.Count() != out.Count()) continue;
    for (int i = 1; i <= in.Count(); ++i) feeds[com::LowerAscii(out.Item(i).Name())] = in.Item(i).Name();
  }
  return feeds;
}

std::vector<std::string> KeyColumns(const dts::DataPumpTask& pump, const std::vector<std::string>& key) {
  const auto feeds = ColumnFeeds(pump);
  std::vector<std::string> columns;
  for (const auto& k : key) {
    const auto it = feeds.find(com::LowerAscii(k));
    if (it == feeds.end()) return {};
    columns.push_back(it->second);
  }
  return columns;
}

}  // namespace

std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& model, const std::string& source,
                                             const std::string& server_folder) {
  korvel::CConnection src, dst;
  src.Provider = korvel::kJetProviderName;
  src.DataSource = source;
  src.InitialCatalog = source;
  src.IsNT = "False";
  dst.Provider = korvel::kSqlProviderName;
  dst.DataSource = "file:" + server_folder;
  dst.InitialCatalog = kDatabase;
  dst.UserID = "sa";
  dst.Password = kPassword;
  dst.IsNT = "False";
  const std::string prog_id = "Korvel." + model;
  auto plan = com::QueryInterface<korvel::IPackage>(com::CreateObject(prog_id), prog_id);
  plan->KorvelInit(src, dst);
  if (!plan->GetPackage()) Fail(prog_id + " built no package");
  return plan;
}

std::vector<Transfer> PackageTransfers(const dts::Package& package, std::string_view create_script) {
  std::vector<Transfer> transfers;
  for (const auto& task : package.Tasks()) {
    if (task->kind() != dts::kDataPumpTaskKind) continue;
    const dts::DataPumpTask& pump = task->AsDataPump();
    Transfer t;
    t.source_sql = pump.GetText("SourceSQLStatement");
    t.source_table = SourceTable(t.source_sql);
    t.destination_table = LastNamePart(pump.GetText("DestinationObjectName"));
    t.key_columns = KeyColumns(pump, DeclaredKey(create_script, t.destination_table));
    transfers.push_back(std::move(t));
  }
  return transfers;
}

}  // namespace bench
