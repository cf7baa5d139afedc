#include "library/plans/c5to6_normal.h"

#include "library/plans/procedures.h"
#include "library/transfers/transfers.h"

namespace korvel::plans {

std::vector<builder::PlanStep> FullUpgradeSteps(std::string_view transfer_task_suffix, std::string_view clearing,
                                                std::function<std::string()> clearing_text,
                                                const builder::Overrides& clearing_overrides) {
  const std::string_view s = transfer_task_suffix;
  std::vector<builder::PlanStep> steps = {
      builder::TransferStep(transfers::kBase),
      builder::TransferStep(transfers::kBBalanceFull, s),
      builder::TransferStep(transfers::kCustomerFull, s),
      builder::TransferStep(transfers::kEmployeeFull, s),
      builder::TransferStep(transfers::kGdsClassFull, s),
      builder::TransferStep(transfers::kGoodsFull, s),
      builder::TransferStep(transfers::kGoodsIDList, s),
      builder::TransferStep(transfers::kMember, s),
      builder::TransferStep(transfers::kSupplierFull, s),
      DropProcedureStep("WriteCustody"),
      DropProcedureStep("WriteSuppAcc"),
      DropProcedureStep("WriteCustAcc"),
      CreateProcedureStep("WriteCustAcc", [] { return WriteCustAccSql(/*full_plan_version=*/true); }),
      ExecuteProcedureStep("WriteCustAcc"),
      CreateProcedureStep("WriteSuppAcc", [] { return WriteSuppAccSql(/*full_plan_version=*/true); }),
      ExecuteProcedureStep("WriteSuppAcc"),
      CreateProcedureStep("WriteCustody", [] { return WriteCustodySql(/*full_plan_version=*/true); }),
      ExecuteProcedureStep("WriteCustody"),
      DropProcedureStep(clearing),
      CreateProcedureStep(clearing, std::move(clearing_text)),
      ExecuteProcedureStep(clearing),
  };
  for (std::size_t i = 18; i < 21; ++i) steps[i].overrides = clearing_overrides;
  return steps;
}

namespace {

std::vector<builder::PlanStep> Steps() {
  auto steps = FullUpgradeSteps("", "ClearUserData", ClearUserDataSql, {});
  steps.push_back(builder::TransferStep(transfers::kRegionFull));
  return steps;
}

// Runs 19, 20, 21 (the clearing), 1, 5, 6, 7, 2 (warehouses, classes,
// goods, codes, stock), 10, 17, 18 (custody), 22, 9 (regions, suppliers),
// 11, 15, 16 (supplier ledger), 3 (customers), 12, 13, 14 (customer
// ledger), 4, 8 (employees, members): one chain, each posting after the
// imports it reads.
const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_Normal",
    .package_description = "5.6升级到6.0的默认方案",
    .steps = Steps(),
    .waits = {{1, 21}, {2, 7}, {3, 16}, {4, 14}, {5, 1}, {6, 5}, {7, 6}, {8, 4}, {9, 22}, {10, 2}, {11, 9},
              {12, 3}, {13, 12}, {14, 13}, {15, 11}, {16, 15}, {17, 10}, {18, 17}, {20, 19}, {21, 20}, {22, 18}},
};

using C = C5to6Normal;

}  // namespace

C5to6Normal::C5to6Normal()
    : DefinedPlan(kPlan, Routines(this, {&C::Task_Sub1,  &C::Task_Sub2,  &C::Task_Sub3,  &C::Task_Sub4,
                                         &C::Task_Sub5,  &C::Task_Sub6,  &C::Task_Sub7,  &C::Task_Sub8,
                                         &C::Task_Sub9,  &C::Task_Sub10, &C::Task_Sub11, &C::Task_Sub12,
                                         &C::Task_Sub13, &C::Task_Sub14, &C::Task_Sub15, &C::Task_Sub16,
                                         &C::Task_Sub17, &C::Task_Sub18, &C::Task_Sub19, &C::Task_Sub20,
                                         &C::Task_Sub21, &C::Task_Sub22})) {}

}  // namespace korvel::plans
