#include "library/plans/c5to6_custsupp_write_account.h"

#include "library/plans/c5to6_custsupp_no_write_account.h"
#include "library/plans/procedures.h"

namespace korvel::plans {
namespace {

std::vector<builder::PlanStep> Steps() {
  std::vector<builder::PlanStep> steps = CustSuppSteps();
  for (auto& step : std::vector<builder::PlanStep>{
           builder::ClearStep("CustAcc", {"Delete from  [", "].[dbo].[CustAcc] "}),
           builder::ClearStep("SuppAcc", {"Delete from [", "].[dbo].[SuppAcc] "}),
           DropProcedureStep("WriteCustAcc"),
           CreateProcedureStep("WriteCustAcc", [] { return WriteCustAccSql(/*full_plan_version=*/false); }),
           ExecuteProcedureStep("WriteCustAcc"),
           DropProcedureStep("WriteSuppAcc"),
           CreateProcedureStep("WriteSuppAcc", [] { return WriteSuppAccSql(/*full_plan_version=*/false); }),
           ExecuteProcedureStep("WriteSuppAcc"),
       }) {
    steps.push_back(std::move(step));
  }
  return steps;
}

// Runs 7, 8, 1, 5, 3, 4, 2, 6, 9 ... 14: the ledgers are emptied before the
// partners they refer to, the partners before their regions; regions come
// in first, and the postings run last.
const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_CustSupp_WriteAccount",
    .package_description = "导入往来单位(客户&供货商)期初, 并写往来帐",
    .steps = Steps(),
    .waits = {{1, 8}, {2, 4}, {3, 5}, {4, 3}, {5, 1}, {6, 2}, {8, 7},
              {9, 6}, {10, 9}, {11, 10}, {12, 11}, {13, 12}, {14, 13}},
};

using C = C5to6CustSuppWriteAccount;

}  // namespace

C5to6CustSuppWriteAccount::C5to6CustSuppWriteAccount()
    : DefinedPlan(kPlan, Routines(this, {&C::Task_Sub1, &C::Task_Sub2, &C::Task_Sub3, &C::Task_Sub4, &C::Task_Sub5,
                                         &C::Task_Sub6, &C::Task_Sub7, &C::Task_Sub8, &C::Task_Sub9, &C::Task_Sub10,
                                         &C::Task_Sub11, &C::Task_Sub12, &C::Task_Sub13, &C::Task_Sub14})) {}

}  // namespace korvel::plans
