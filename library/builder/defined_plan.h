// A plan given as data: its package settings, its steps in build order
// (each a SQL task or a table transfer), and its precedence constraints.
//
// A plan class derives from DefinedPlan, declares its routines with the
// macros at the end of this header (Task_Sub1 ..., oCustomTaskN_Trans_Sub1)
// and hands its definition and its task routines, in number order, to
// DefinedPlan's constructor. KorvelInit then builds the package settings,
// connections 1 and 2, every step, every constraint, and calls the task
// routines in number order; the built package is checked before KorvelInit
// returns (see Build).
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/builder/plan_base.h"
#include "library/builder/settings_tables.h"
#include "library/builder/transfer.h"

namespace korvel::builder {

// A text of a plan that may carry the destination database name D:
// `before` + D + `after`, or `before` alone when it carries no D.
struct PlanText {
  std::string before;
  std::string after;
  bool carries_d = true;

  // D as typed: step, task and description names.
  std::string Name(const Names& names) const;
  // D bracket-escaped: SQL text, where D stands between "[" and "]".
  std::string Sql(const Names& names) const;
};

// A text without D.
PlanText FixedText(std::string_view text);

struct PlanStep {
  enum class Kind { kSql, kTransfer };
  Kind kind = Kind::kSql;
  // The step's Name.
  PlanText name;
  // Appended to the step's Description and TaskName and to the task's
  // names, never to the step's Name or the destination object (one plan
  // ends those names with a space).
  std::string_view task_name_suffix;
  // A SQL step's statement.
  std::function<std::string(const Names&)> sql;
  // A transfer step's definition.
  const TransferDef* transfer = nullptr;
  // Settings of this step that differ from the step table (after the
  // plan's own, PlanDefinition::step_overrides).
  Overrides overrides;
  // For a step outside the package transaction: what the operator must
  // know when it succeeded (so its work stays) and the run then failed.
  std::string_view note_if_committed;
};

// "清除 [D].[dbo].[T] 中的数据" running "delete from [D].[dbo].[T]".
PlanStep ClearStep(std::string_view table);
// The same step name running `sql`, for clearing statements a plan words
// in its own way.
PlanStep ClearStep(std::string_view table, PlanText sql);
// "导入数据到 [D].[dbo].[T]" running the transfer.
PlanStep TransferStep(const TransferDef& transfer, std::string_view task_name_suffix = "");
// A SQL step whose name carries no D.
PlanStep FixedSqlStep(std::string_view name, std::function<std::string(const Names&)> sql);

struct PlanDefinition {
  std::string_view package_name;
  std::string_view package_description;
  Overrides package_overrides;
  std::string_view application_name = kImportWizardAppName;
  Overrides step_overrides;                    // for every step of the plan
  std::vector<PlanStep> steps;                 // step N is steps[N - 1]
  std::vector<std::pair<int, int>> waits;      // (step, the step it waits for), in creation order
};

class DefinedPlan : public PlanBase {
 public:
  using TaskRoutine = std::function<void(dts::Package&)>;

 protected:
  // `routines[N - 1]` builds task N; there must be one per step.
  DefinedPlan(const PlanDefinition& definition, std::vector<TaskRoutine> routines);

  // The routines of a plan class, from its member functions in number order.
  template <class Plan>
  static std::vector<TaskRoutine> Routines(Plan* plan, std::initializer_list<void (Plan::*)(dts::Package&)> members) {
    std::vector<TaskRoutine> out;
    for (auto member : members) out.push_back([plan, member](dts::Package& p) { (plan->*member)(p); });
    return out;
  }

  // Task N, a SQL task or a transfer whose transformation `transformation`
  // builds. Raises unless the head is built, task N - 1 is the last task
  // built and step N is of the kind asked for.
  void BuildSqlTask(dts::Package& package, int n);
  void BuildTransferTask(dts::Package& package, int n, const std::function<void(dts::DataPumpTask&)>& transformation);
  // The transformation of transfer task N.
  void BuildTransformation(dts::DataPumpTask& task, int n);

  // Package settings, connections, steps and constraints, then the task
  // routines in number order; then checks the package: one task per step,
  // every step's task present, and the constraints chaining every step
  // one after another. A package that fails the check raises.
  void Build(dts::Package& package, const CConnection& source, const CConnection& destination,
             const Names& names) final;

  // The notes of the steps that ran outside the package transaction,
  // succeeded, and carry one.
  std::string CommittedWorkNote(const dts::Package& package) const final;

 private:
  const PlanStep& Step(int n, PlanStep::Kind kind) const;
  void Check(const dts::Package& package) const;

  const PlanDefinition definition_;
  std::vector<TaskRoutine> routines_;
  const Names* names_ = nullptr;  // during Build only
  int tasks_built_ = 0;
};

// An error in a plan's own definition, found while building its package.
[[noreturn]] void PlanDefinitionError(const std::string& what);

}  // namespace korvel::builder

// Declares the routine that builds SQL task `n` of a plan: Task_Sub<n>.
#define KORVEL_SQL_TASK_ROUTINE(n) \
  void Task_Sub##n(dts::Package& package) { BuildSqlTask(package, n); }

// Declares the routines of transfer task `n` of a plan: Task_Sub<n>, which
// builds the task, and oCustomTask<n>_Trans_Sub1, which it calls to build
// the task's transformation.
#define KORVEL_TRANSFER_TASK_ROUTINES(n)                                                                    \
  void Task_Sub##n(dts::Package& package) {                                                                 \
    BuildTransferTask(package, n, [this](dts::DataPumpTask& task) { oCustomTask##n##_Trans_Sub1(task); }); \
  }                                                                                                         \
  void oCustomTask##n##_Trans_Sub1(dts::DataPumpTask& task) { BuildTransformation(task, n); }
