#include "library/builder/defined_plan.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/com/error.h"

namespace korvel::builder {

std::string PlanText::Name(const Names& names) const {
  return carries_d ? names.Name(before, after) : before;
}

std::string PlanText::Sql(const Names& names) const {
  return carries_d ? names.Sql(before, after) : before;
}

PlanText FixedText(std::string_view text) { return {std::string(text), "", false}; }

void PlanDefinitionError(const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "Korvel", "方案定义有误：" + what);
}

namespace {

std::string TableSuffix(std::string_view table) { return "].[dbo].[" + std::string(table) + "]"; }

}  // namespace

PlanStep ClearStep(std::string_view table) { return ClearStep(table, {"delete from [", TableSuffix(table)}); }

PlanStep ClearStep(std::string_view table, PlanText sql) {
  PlanStep s;
  s.kind = PlanStep::Kind::kSql;
  s.name = {"清除 [", TableSuffix(table) + " 中的数据"};
  s.sql = [sql = std::move(sql)](const Names& n) { return sql.Sql(n); };
  return s;
}

PlanStep TransferStep(const TransferDef& transfer, std::string_view task_name_suffix) {
  PlanStep s;
  s.kind = PlanStep::Kind::kTransfer;
  s.name = {"导入数据到 [", TableSuffix(transfer.table)};
  s.transfer = &transfer;
  s.task_name_suffix = task_name_suffix;
  return s;
}

PlanStep FixedSqlStep(std::string_view name, std::function<std::string(const Names&)> sql) {
  PlanStep s;
  s.kind = PlanStep::Kind::kSql;
  s.name = FixedText(name);
  s.sql = std::move(sql);
  return s;
}

DefinedPlan::DefinedPlan(const PlanDefinition& definition, std::vector<TaskRoutine> routines)
    : definition_(definition), routines_(std::move(routines)) {}

const PlanStep& DefinedPlan::Step(int n, PlanStep::Kind kind) const {
  if (!names_) PlanDefinitionError("第 " + std::to_string(n) + " 个任务在包的设置、连接和步骤之前建立");
  if (n < 1 || n > static_cast<int>(definition_.steps.size())) {
    PlanDefinitionError("方案中没有第 " + std::to_string(n) + " 步");
  }
  const PlanStep& step = definition_.steps[static_cast<std::size_t>(n - 1)];
  if (step.kind != kind) {
    PlanDefinitionError("第 " + std::to_string(n) + " 步" +
                        (kind == PlanStep::Kind::kSql ? "不是 SQL 任务" : "不是数据转换"));
  }
  return step;
}

void DefinedPlan::BuildSqlTask(dts::Package& package, int n) {
  const PlanStep& s = Step(n, PlanStep::Kind::kSql);
  if (n != tasks_built_ + 1) PlanDefinitionError("第 " + std::to_string(n) + " 个任务没有按编号顺序建立");
  AddSQLTask(package, s.name.Name(*names_) + std::string(s.task_name_suffix), s.sql(*names_));
  ++tasks_built_;
}

void DefinedPlan::BuildTransferTask(dts::Package& package, int n,
                                    const std::function<void(dts::DataPumpTask&)>& transformation) {
  const PlanStep& s = Step(n, PlanStep::Kind::kTransfer);
  if (n != tasks_built_ + 1) PlanDefinitionError("第 " + std::to_string(n) + " 个任务没有按编号顺序建立");
  AddTransferTask(package, *s.transfer, *names_, s.name.Name(*names_) + std::string(s.task_name_suffix),
                  transformation);
  ++tasks_built_;
}

void DefinedPlan::BuildTransformation(dts::DataPumpTask& task, int n) {
  AddTransferTransformation(task, *Step(n, PlanStep::Kind::kTransfer).transfer);
}

void DefinedPlan::Build(dts::Package& package, const CConnection& source, const CConnection& destination,
                        const Names& names) {
  names_ = &names;
  struct ForgetNames {
    const Names*& names;
    ~ForgetNames() { names = nullptr; }
  } forget{names_};
  tasks_built_ = 0;

  SetPackageTable(package, definition_.package_name, definition_.package_description, definition_.package_overrides);
  AddSourceConnection(package, source);
  AddDestinationConnection(package, destination, definition_.application_name);
  std::vector<std::string> step_names;
  for (const PlanStep& s : definition_.steps) {
    StepSettings step;
    step.name = s.name.Name(names);
    step.description = step.name + std::string(s.task_name_suffix);
    step.task_name = step.description;
    step.overrides = definition_.step_overrides;
    step.overrides.insert(step.overrides.end(), s.overrides.begin(), s.overrides.end());
    AddStep(package, step);
    step_names.push_back(step.name);
  }
  for (const auto& [later, earlier] : definition_.waits) {
    for (int n : {later, earlier}) {
      if (n < 1 || n > static_cast<int>(step_names.size())) {
        PlanDefinitionError("优先约束引用了不存在的第 " + std::to_string(n) + " 步");
      }
    }
    AddConstraint(package, step_names[static_cast<std::size_t>(later - 1)],
                  step_names[static_cast<std::size_t>(earlier - 1)]);
  }
  if (routines_.size() != definition_.steps.size()) {
    PlanDefinitionError(std::to_string(definition_.steps.size()) + " 个步骤却有 " + std::to_string(routines_.size()) +
                        " 个任务例程");
  }
  for (const TaskRoutine& routine : routines_) routine(package);
  Check(package);
}

std::string DefinedPlan::CommittedWorkNote(const dts::Package& package) const {
  std::string note;
  const int count = std::min<int>(package.Steps().Count(), static_cast<int>(definition_.steps.size()));
  for (int n = 1; n <= count; ++n) {
    const std::string_view text = definition_.steps[static_cast<std::size_t>(n - 1)].note_if_committed;
    const dts::Step& step = package.Steps().Item(n);
    if (text.empty() || step.RunStatus() != dts::kStepCompleted || step.ExecutionResult() != dts::kStepSuccess) {
      continue;
    }
    if (package.GetBool("UseTransaction") && step.GetBool("JoinTransactionIfPresent")) continue;
    note += text;
  }
  return note;
}

void DefinedPlan::Check(const dts::Package& package) const {
  const auto& steps = package.Steps();
  const int count = steps.Count();
  if (tasks_built_ != count || package.Tasks().Count() != count) {
    PlanDefinitionError(std::to_string(count) + " 个步骤却建立了 " + std::to_string(package.Tasks().Count()) +
                        " 个任务");
  }
  // Every step names its own task; the constraints chain all steps: one
  // step waits for none, every other waits for exactly one, and no step is
  // waited for twice, so that following the waits visits every step once.
  std::map<std::string, std::string> waiter_of;  // step -> the step that waits for it
  std::string head;
  int heads = 0;
  for (const auto& step : steps) {
    if (!package.Tasks().Find(step->GetText("TaskName"))) {
      PlanDefinitionError("步骤“" + step->Name() + "”的任务“" + step->GetText("TaskName") + "”不存在");
    }
    const auto& constraints = step->PrecedenceConstraints();
    if (constraints.Count() == 0) {
      head = step->Name();
      ++heads;
    } else if (constraints.Count() > 1) {
      PlanDefinitionError("步骤“" + step->Name() + "”等待不止一个步骤");
    } else if (!waiter_of.emplace(constraints.Item(1).StepName(), step->Name()).second) {
      PlanDefinitionError("步骤“" + constraints.Item(1).StepName() + "”被不止一个步骤等待");
    }
  }
  if (heads != 1) PlanDefinitionError("应恰有一个不等待任何步骤的步骤，实有 " + std::to_string(heads) + " 个");
  std::set<std::string> visited;
  for (std::string at = head; visited.insert(at).second;) {
    auto next = waiter_of.find(at);
    if (next == waiter_of.end()) break;
    at = next->second;
  }
  if (static_cast<int>(visited.size()) != count) PlanDefinitionError("优先约束没有把所有步骤连成一条链");
}

}  // namespace korvel::builder
