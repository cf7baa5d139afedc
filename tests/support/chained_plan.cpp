#include "tests/support/chained_plan.h"

namespace testing_support {

using korvel::builder::PlanDefinition;
using korvel::builder::PlanStep;

ChainedPlan::ChainedPlan(std::vector<PlanStep> steps)
    : ChainedPlan::DefinedPlan(Definition(steps), Routines(this, Definition(steps))) {}

PlanDefinition ChainedPlan::Definition(std::vector<PlanStep> steps) {
  PlanDefinition d;
  d.package_name = "Korvel_TestChain";
  d.package_description = "测试";
  d.steps = std::move(steps);
  for (int n = 2; n <= static_cast<int>(d.steps.size()); ++n) d.waits.emplace_back(n, n - 1);
  return d;
}

std::vector<ChainedPlan::TaskRoutine> ChainedPlan::Routines(ChainedPlan* plan, const PlanDefinition& definition) {
  std::vector<TaskRoutine> out;
  for (int n = 1; n <= static_cast<int>(definition.steps.size()); ++n) {
    if (definition.steps[static_cast<std::size_t>(n - 1)].kind == PlanStep::Kind::kTransfer) {
      out.push_back([plan, n](dts::Package& package) {
        plan->BuildTransferTask(package, n, [plan, n](dts::DataPumpTask& task) { plan->BuildTransformation(task, n); });
      });
    } else {
      out.push_back([plan, n](dts::Package& package) { plan->BuildSqlTask(package, n); });
    }
  }
  return out;
}

}  // namespace testing_support
