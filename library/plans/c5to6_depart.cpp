#include "library/plans/c5to6_depart.h"

#include "library/transfers/transfers.h"

namespace korvel::plans {
namespace {

const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_Depart",
    .package_description = "导入部门档案",
    .steps = {builder::ClearStep("Depart"), builder::TransferStep(transfers::kDepart)},
    .waits = {{2, 1}},
};

}  // namespace

C5to6Depart::C5to6Depart() : DefinedPlan(kPlan) {}
C5to6Depart::~C5to6Depart() = default;

void C5to6Depart::Build(dts::Package& package, const CConnection& source, const CConnection& destination,
                       const builder::Names& names) {
  BuildHead(package, source, destination, names);
  Task_Sub1(package);
  Task_Sub2(package);
}

void C5to6Depart::Task_Sub1(dts::Package& package) { BuildTask(package, 1); }

void C5to6Depart::Task_Sub2(dts::Package& package) {
  BuildTask(package, 2, [this](dts::DataPumpTask& task) { oCustomTask2_Trans_Sub1(task); });
}

void C5to6Depart::oCustomTask2_Trans_Sub1(dts::DataPumpTask& task) { BuildTransformation(task, 2); }

}  // namespace korvel::plans
