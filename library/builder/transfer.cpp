#include "library/builder/transfer.h"

namespace korvel::builder {

void AddTransferTask(dts::Package& package, const TransferDef& transfer, const Names& names,
                     std::string_view task_name, const std::function<void(dts::DataPumpTask&)>& transformation) {
  PumpSettings pump;
  pump.name = std::string(task_name);
  pump.source_sql = std::string(transfer.source_sql);
  pump.destination_object = names.DestinationObject(transfer.table);
  pump.allow_identity_inserts = transfer.allow_identity_inserts;
  pump.fast_load_options = transfer.fast_load_options;
  if (transfer.row_limits_as_text) {
    pump.first_row = com::Variant::Text("0");
    pump.last_row = com::Variant::Text("0");
  }
  auto task = NewDataPumpTask(package, pump);
  transformation(task->AsDataPump());
  AddTask(package, std::move(task));
}

void AddTransferTransformation(dts::DataPumpTask& task, const TransferDef& transfer) {
  TransformSettings transform;
  transform.kind = transfer.kind;
  transform.class_name = transfer.transform_class;
  transform.name = transfer.transform_name;
  transform.source = transfer.source;
  transform.destination = transfer.destination;
  transform.script_lines = transfer.script;
  AddTransformation(task, transform);
}

}  // namespace korvel::builder
