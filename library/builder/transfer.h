// A table transfer as data: one data pump task copying a source query's
// columns into one destination table through one transformation.
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "library/builder/names.h"
#include "library/builder/settings_tables.h"
#include "platform/dts/model.h"

namespace korvel::builder {

struct TransferDef {
  std::string_view table;                 // the destination table T
  std::string_view source_sql;            // Jet SQL sent to the source as it stands
  bool allow_identity_inserts = false;
  std::int32_t fast_load_options = 2;
  bool row_limits_as_text = false;        // FirstRow and LastRow handed as the text "0"
  TransformKind kind = TransformKind::kCopy;
  std::string_view transform_class = "DTS.DataPumpTransformCopy";
  std::string_view transform_name = "DirectCopyXform";
  std::span<const ColumnSettings> source;
  std::span<const ColumnSettings> destination;
  std::span<const std::string_view> script{};  // script kind: its lines
};

// Builds the transfer's data pump task named `task_name` with the data pump
// table and the transfer's settings, calls `transformation` to add its
// transformation, then adds the task to the package.
void AddTransferTask(dts::Package& package, const TransferDef& transfer, const Names& names,
                     std::string_view task_name, const std::function<void(dts::DataPumpTask&)>& transformation);

// Adds the transfer's transformation with all its columns to a task.
void AddTransferTransformation(dts::DataPumpTask& task, const TransferDef& transfer);

}  // namespace korvel::builder
