#include "library/plans/c5to6_employee.h"

#include "library/transfers/transfers.h"

namespace korvel::plans {
namespace {

const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_Employee",
    .package_description = "导入人员档案",
    .steps = {builder::ClearStep("Employee"), builder::TransferStep(transfers::kEmployee)},
    .waits = {{2, 1}},
};

}  // namespace

C5to6Employee::C5to6Employee() : DefinedPlan(kPlan) {}
C5to6Employee::~C5to6Employee() = default;

void C5to6Employee::Build(dts::Package& package, const CConnection& source, const CConnection& destination,
                       const builder::Names& names) {
  BuildHead(package, source, destination, names);
  Task_Sub1(package);
  Task_Sub2(package);
}

void C5to6Employee::Task_Sub1(dts::Package& package) { BuildTask(package, 1); }

void C5to6Employee::Task_Sub2(dts::Package& package) {
  BuildTask(package, 2, [this](dts::DataPumpTask& task) { oCustomTask2_Trans_Sub1(task); });
}

void C5to6Employee::oCustomTask2_Trans_Sub1(dts::DataPumpTask& task) { BuildTransformation(task, 2); }

}  // namespace korvel::plans
