// The customer-and-supplier plan that leaves the ledgers alone: empties the
// version 6.0 Customer, Supplier and Region tables and fills them from
// version 5.6, regions first, with every partner's balance.
#pragma once

#include <vector>

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6CustSuppNoWriteAccount final : public builder::DefinedPlan {
 public:
  C5to6CustSuppNoWriteAccount();

  KORVEL_SQL_TASK_ROUTINE(1)       // empties Customer
  KORVEL_TRANSFER_TASK_ROUTINES(2) // the Customer transfer
  KORVEL_SQL_TASK_ROUTINE(3)       // empties Region
  KORVEL_TRANSFER_TASK_ROUTINES(4) // the Region transfer
  KORVEL_SQL_TASK_ROUTINE(5)       // empties Supplier
  KORVEL_TRANSFER_TASK_ROUTINES(6) // the Supplier transfer
};

// Steps 1 to 6 of both customer-and-supplier plans: clear and import
// Customer, Region and Supplier.
std::vector<builder::PlanStep> CustSuppSteps();

}  // namespace korvel::plans
