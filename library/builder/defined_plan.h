// A plan given as data: its package settings, its steps in build order
// (each a SQL task or a table transfer, named from D), and its precedence
// constraints. A plan class derived from DefinedPlan keeps its routine
// names (Task_Sub1 ..., oCustomTaskN_Trans_Sub1) as one-line members over
// BuildTask and BuildTransformation.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/builder/plan_base.h"
#include "library/builder/tables.h"
#include "library/builder/transfer.h"

namespace korvel::builder {

struct PlanStep {
  enum class Kind { kSql, kTransfer };
  Kind kind = Kind::kSql;
  // The step's name: prefix + D + suffix, or the prefix alone when !with_d.
  std::string_view prefix;
  std::string_view suffix;
  bool with_d = true;
  // Appended to the step's Description and TaskName and to the task's
  // names, not to the step's Name (one plan puts a trailing space there).
  std::string_view task_extra;
  // A SQL task's statement.
  std::function<std::string(const Names&)> sql;
  // A transfer task's definition.
  const TransferDef* transfer = nullptr;
  // Settings of this step that differ from the step table.
  Overrides overrides;
};

// "清除 [D].[dbo].[T] 中的数据" running "delete from [D].[dbo].[T]".
PlanStep ClearStep(std::string_view table);
// "导入数据到 [D].[dbo].[T]" running the transfer.
PlanStep TransferStep(const TransferDef& transfer, std::string_view task_extra = "");
// A SQL step with a name that does not contain D.
PlanStep FixedSqlStep(std::string_view name, std::function<std::string(const Names&)> sql, Overrides overrides = {});

struct PlanDefinition {
  std::string_view package_name;
  std::string_view package_description;
  Overrides package_overrides;
  std::string_view application_name = kImportWizardAppName;
  Overrides step_overrides;                    // for every step
  std::vector<PlanStep> steps;                 // step N is steps[N - 1]
  std::vector<std::pair<int, int>> waits;      // (step, the step it waits for)
};

class DefinedPlan : public PlanBase {
 protected:
  explicit DefinedPlan(const PlanDefinition& definition) : definition_(definition) {}

  // The package settings, connections 1 and 2, every step and every
  // precedence constraint, in that order.
  void BuildHead(dts::Package& package, const CConnection& source, const CConnection& destination,
                 const Names& names);
  // Task N: a SQL task, or a transfer whose transformation `transformation`
  // builds.
  void BuildTask(dts::Package& package, int n, const std::function<void(dts::DataPumpTask&)>& transformation = {});
  // The transformation of transfer task N.
  void BuildTransformation(dts::DataPumpTask& task, int n);

 private:
  const PlanStep& Step(int n) const;
  std::string StepName(const PlanStep& s) const;

  const PlanDefinition& definition_;
  std::optional<Names> names_;
};

}  // namespace korvel::builder
