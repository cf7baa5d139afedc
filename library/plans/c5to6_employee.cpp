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

C5to6Employee::C5to6Employee()
    : DefinedPlan(kPlan, Routines(this, {&C5to6Employee::Task_Sub1, &C5to6Employee::Task_Sub2})) {}

}  // namespace korvel::plans
