#include "library/model_list/model_list.h"

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/jet/reader.h"

namespace model_list {
namespace {

std::optional<ModelRow> FirstWhere(const std::string& path, std::string_view column, const std::string& value) {
  auto rows = jet::Database(path).Query("Select * From ModelList Where " + std::string(column) + " = " +
                                        com::Quoted(value, '\'', '\''));
  dts::Row row;
  if (!rows->Next(row)) return std::nullopt;
  return ModelRow(rows->columns(), std::move(row));
}

}  // namespace

ModelRow::ModelRow(std::vector<dts::ColumnInfo> columns, dts::Row row)
    : columns_(std::move(columns)), row_(std::move(row)) {}

std::optional<std::string> ModelRow::Field(std::string_view column) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (!com::SameName(columns_[i].name, column)) continue;
    if (row_[i].IsNull()) return std::nullopt;
    return row_[i].ToText();
  }
  throw com::Error(3265, "ADODB.Fields", "在对应所需名称或序数的集合中，未找到项目“" + std::string(column) + "”。");
}

std::unique_ptr<dts::RowReader> ReadModelList(const std::string& path) {
  return jet::Database(path).Query("Select * From ModelList");
}

void ForEachModel(const std::string& path, const std::function<void(const ModelRow&)>& each) {
  auto rows = ReadModelList(path);
  dts::Row row;
  while (rows->Next(row)) each(ModelRow(rows->columns(), row));
}

std::optional<ModelRow> FindModelByName(const std::string& path, const std::string& name) {
  return FirstWhere(path, "ModelCNName", name);
}

std::optional<ModelRow> FindModelByClass(const std::string& path, const std::string& class_name) {
  return FirstWhere(path, "ModelClsName", class_name);
}

}  // namespace model_list
