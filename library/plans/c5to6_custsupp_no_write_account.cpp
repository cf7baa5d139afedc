#include "library/plans/c5to6_custsupp_no_write_account.h"

#include "library/transfers/transfers.h"

namespace korvel::plans {

std::vector<builder::PlanStep> CustSuppSteps() {
  return {
      builder::ClearStep("Customer"), builder::TransferStep(transfers::kCustomer),
      builder::ClearStep("Region"),   builder::TransferStep(transfers::kRegion),
      builder::ClearStep("Supplier"), builder::TransferStep(transfers::kSupplier),
  };
}

namespace {

// Runs 1, 5, 3, 4, 2, 6: customers, suppliers, then regions are emptied
// (referring rows before the rows they refer to); regions come in before
// the customers and suppliers that name them.
const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_CustSupp_NoWriteAccount",
    .package_description = "导入往来单位(客户&供货商)期初, 不写往来帐",
    .steps = CustSuppSteps(),
    .waits = {{2, 4}, {3, 5}, {4, 3}, {5, 1}, {6, 2}},
};

using C = C5to6CustSuppNoWriteAccount;

}  // namespace

C5to6CustSuppNoWriteAccount::C5to6CustSuppNoWriteAccount()
    : DefinedPlan(kPlan, Routines(this, {&C::Task_Sub1, &C::Task_Sub2, &C::Task_Sub3, &C::Task_Sub4, &C::Task_Sub5,
                                         &C::Task_Sub6})) {}

}  // namespace korvel::plans
