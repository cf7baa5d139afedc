#include "library/plans/c5to6_special_pack.h"

#include "library/plans/c5to6_normal.h"
#include "library/plans/procedures.h"

namespace korvel::plans {
namespace {

using V = com::Variant;

// The clearing runs outside the package transaction and does not fail the
// package by itself (its failure still stops the chain): what it empties
// stays emptied whatever happens later.
const builder::Overrides kClearingOutsideTransaction = {{"RollbackFailure", V::Bool(false)},
                                                         {"ExecuteInMainThread", V::Bool(false)},
                                                         {"JoinTransactionIfPresent", V::Bool(false)},
                                                         {"FailPackageOnError", V::Bool(false)}};

std::vector<builder::PlanStep> Steps() {
  auto steps = FullUpgradeSteps(" ", "ClearAllData", ClearAllDataSql, kClearingOutsideTransaction);
  steps[20].note_if_committed =
      "目的数据库已被“执行存储过程 ClearAllData”清空：该步骤不在包事务中，已经提交，不能回滚；"
      "其后各步骤写入的数据已全部回滚，所以目的数据库现在是空的。请排除错误后重新运行本方案。";
  return steps;
}

// Runs 19, 20, 21 (the clearing), 1, 5, 6, 7, 2 (warehouses, classes,
// goods, codes, stock), 10, 17, 18 (custody), 8, 4, 3 (members, employees,
// customers), 12, 13, 14 (customer ledger), 9 (suppliers), 11, 15, 16
// (supplier ledger).
const builder::PlanDefinition kPlan = {
    .package_name = "DTS升级包(5.6完全升级)",
    .package_description = "5.6的数据升级到6.0所需的DTS升级包",
    .application_name = builder::kDesignerAppName,
    .step_overrides = {{"ExecutionStatus", V::I4(4)}},
    .steps = Steps(),
    .waits = {{1, 21}, {2, 7}, {3, 4}, {4, 8}, {5, 1}, {6, 5}, {7, 6}, {8, 18}, {9, 14}, {10, 2},
              {11, 9}, {12, 3}, {13, 12}, {14, 13}, {15, 11}, {16, 15}, {17, 10}, {18, 17}, {20, 19}, {21, 20}},
};

using C = C5to6SpecialPack;

}  // namespace

C5to6SpecialPack::C5to6SpecialPack()
    : DefinedPlan(kPlan, Routines(this, {&C::Task_Sub1,  &C::Task_Sub2,  &C::Task_Sub3,  &C::Task_Sub4,
                                         &C::Task_Sub5,  &C::Task_Sub6,  &C::Task_Sub7,  &C::Task_Sub8,
                                         &C::Task_Sub9,  &C::Task_Sub10, &C::Task_Sub11, &C::Task_Sub12,
                                         &C::Task_Sub13, &C::Task_Sub14, &C::Task_Sub15, &C::Task_Sub16,
                                         &C::Task_Sub17, &C::Task_Sub18, &C::Task_Sub19, &C::Task_Sub20,
                                         &C::Task_Sub21})) {}

}  // namespace korvel::plans
