// The model list: DTSModelList.mdb in the programs' folder. Its table
// ModelList has a row per upgrade scheme, with the columns ModelCNName (the
// name the operator picks), ModelClsName (the plan's class), SourceType and
// DestinationType (provider codes), Summary and Model. The wizard lists and
// shows its rows; korvel prints the table and names a run's scheme from it.
//
// Every call opens the file afresh, read-only, and raises the Jet reader's
// error when it cannot (a missing file names it).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"

namespace model_list {

// The list's file name, in the programs' folder.
inline constexpr char kModelListFile[] = "DTSModelList.mdb";

// One row of the list.
class ModelRow {
 public:
  ModelRow(std::vector<dts::ColumnInfo> columns, dts::Row row);

  // The value of the column (found by its name as names compare) as text;
  // nullopt when the row has none. Raises 3265 when the list has no such
  // column.
  std::optional<std::string> Field(std::string_view column) const;

 private:
  std::vector<dts::ColumnInfo> columns_;
  dts::Row row_;
};

// Every row and column of the table, in the table's order.
std::unique_ptr<dts::RowReader> ReadModelList(const std::string& path);

// Calls `each` with every row, in the table's order; what `each` raises
// ends the reading and reaches the caller.
void ForEachModel(const std::string& path, const std::function<void(const ModelRow&)>& each);

// The first row whose ModelCNName (or ModelClsName) is the text given, as
// the file's query compares it; nullopt when there is none. Any text is
// taken: it reaches the query as a quoted literal.
std::optional<ModelRow> FindModelByName(const std::string& path, const std::string& name);
std::optional<ModelRow> FindModelByClass(const std::string& path, const std::string& class_name);

}  // namespace model_list

// The names the wizard's main form and korvel's plan commands still call
// them by, until those name them by their own namespace.
