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

C5to6Depart::C5to6Depart() : DefinedPlan(kPlan, Routines(this, {&C5to6Depart::Task_Sub1, &C5to6Depart::Task_Sub2})) {}

}  // namespace korvel::plans
