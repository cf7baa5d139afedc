#include "library/builder/transfer.h"

namespace korvel::builder {

void AddTransferTask(dts::Package& package, const TransferDef& transfer, const Names& names,
                     std::string_view task_name, const std::function<void(dts::DataPumpTask&)>& transformation) {
  PumpSpec spec;
  spec.name = std::string(task_name);
  spec.source_sql = std::string(transfer.source_sql);
  spec.destination_object = names.DestinationObject(transfer.table);
  spec.allow_identity_inserts = transfer.allow_identity_inserts;
  spec.fast_load_options = transfer.fast_load_options;
  if (transfer.row_limits_as_text) {
    spec.first_row = com::Variant::Text("0");
    spec.last_row = com::Variant::Text("0");
  }
  auto task = NewDataPumpTask(package, spec);
  transformation(task->AsDataPump());
  AddTask(package, std::move(task));
}

void AddTransferTransformation(dts::DataPumpTask& task, const TransferDef& transfer) {
  TransformSpec spec;
  spec.kind = transfer.kind;
  spec.class_name = transfer.transform_class;
  spec.name = transfer.transform_name;
  spec.source = transfer.source;
  spec.destination = transfer.destination;
  spec.script_lines = transfer.script;
  AddTransformation(task, spec);
}

}  // namespace korvel::builder
