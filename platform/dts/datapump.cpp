#include "platform/com/error.h"
#include "platform/dts/step_context.h"

namespace dts {

void RunDataPumpTask(StepContext& ctx, const DataPumpTask& task) {
  (void)ctx;
  throw com::Error(com::ErrorNumber(0x80004001u), "DTS Data Pump",
                   "数据泵任务“" + task.GetText("Name") + "”无法执行：此版本的包运行库不含数据泵");
}

}  // namespace dts
