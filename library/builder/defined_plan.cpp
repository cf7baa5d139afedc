#include "library/builder/defined_plan.h"

#include "platform/com/error.h"

namespace korvel::builder {

PlanStep ClearStep(std::string_view table) {
  PlanStep s;
  s.kind = PlanStep::Kind::kSql;
  s.prefix = "清除 [";
  s.suffix = table;  // completed in StepName
  s.sql = [table](const Names& n) { return n.ClearSql(table); };
  return s;
}

PlanStep TransferStep(const TransferDef& transfer, std::string_view task_extra) {
  PlanStep s;
  s.kind = PlanStep::Kind::kTransfer;
  s.prefix = "导入数据到 [";
  s.suffix = transfer.table;
  s.transfer = &transfer;
  s.task_extra = task_extra;
  return s;
}

PlanStep FixedSqlStep(std::string_view name, std::function<std::string(const Names&)> sql, Overrides overrides) {
  PlanStep s;
  s.kind = PlanStep::Kind::kSql;
  s.prefix = name;
  s.with_d = false;
  s.sql = std::move(sql);
  s.overrides = std::move(overrides);
  return s;
}

const PlanStep& DefinedPlan::Step(int n) const {
  if (n < 1 || n > static_cast<int>(definition_.steps.size())) {
    throw com::Error(com::kErrInvalidArgument, "Korvel", "方案中没有第 " + std::to_string(n) + " 步");
  }
  return definition_.steps[static_cast<std::size_t>(n - 1)];
}

std::string DefinedPlan::StepName(const PlanStep& s) const {
  if (!s.with_d) return std::string(s.prefix);
  if (s.kind == PlanStep::Kind::kTransfer) return names_->TransferStep(s.suffix);
  return names_->ClearStep(s.suffix);
}

void DefinedPlan::BuildHead(dts::Package& package, const CConnection& source, const CConnection& destination,
                            const Names& names) {
  names_ = names;
  SetPackageTable(package, definition_.package_name, definition_.package_description, definition_.package_overrides);
  AddSourceConnection(package, source);
  AddDestinationConnection(package, destination, definition_.application_name);
  for (const PlanStep& s : definition_.steps) {
    StepSpec step;
    step.name = StepName(s);
    step.description = step.name + std::string(s.task_extra);
    step.task_name = step.description;
    step.overrides = definition_.step_overrides;
    step.overrides.insert(step.overrides.end(), s.overrides.begin(), s.overrides.end());
    AddStep(package, step);
  }
  for (const auto& [later, earlier] : definition_.waits) {
    AddConstraint(package, StepName(Step(later)), StepName(Step(earlier)));
  }
}

void DefinedPlan::BuildTask(dts::Package& package, int n, const std::function<void(dts::DataPumpTask&)>& transformation) {
  const PlanStep& s = Step(n);
  const std::string task_name = StepName(s) + std::string(s.task_extra);
  if (s.kind == PlanStep::Kind::kSql) {
    AddSQLTask(package, task_name, s.sql(*names_));
    return;
  }
  AddTransferTask(package, *s.transfer, *names_, task_name,
                  transformation ? transformation : [&](dts::DataPumpTask& t) { BuildTransformation(t, n); });
}

void DefinedPlan::BuildTransformation(dts::DataPumpTask& task, int n) {
  const PlanStep& s = Step(n);
  if (!s.transfer) throw com::Error(com::kErrInvalidArgument, "Korvel", "第 " + std::to_string(n) + " 步不是数据转换");
  AddTransferTransformation(task, *s.transfer);
}

}  // namespace korvel::builder
