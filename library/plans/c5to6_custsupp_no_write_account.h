// The customer-and-supplier plan that leaves the ledgers alone: empties the
// version 6.0 Customer, Supplier and Region tables and fills them from
// version 5.6, regions first, with every partner's balance.
#pragma once

#include <vector>

#include "library/builder/defined_plan.h"

// Declares the routines of steps 1 to 6 of both customer-and-supplier
// plans (see CustSuppSteps): SQL tasks 1, 3 and 5 empty Customer, Region
// and Supplier; transfers 2, 4 and 6 fill them.
#define KORVEL_CUSTSUPP_ROUTINES     \
  KORVEL_SQL_TASK_ROUTINE(1)         \
  KORVEL_TRANSFER_TASK_ROUTINES(2)   \
  KORVEL_SQL_TASK_ROUTINE(3)         \
  KORVEL_TRANSFER_TASK_ROUTINES(4)   \
  KORVEL_SQL_TASK_ROUTINE(5)         \
  KORVEL_TRANSFER_TASK_ROUTINES(6)

namespace korvel::plans {

class C5to6CustSuppNoWriteAccount final : public builder::DefinedPlan {
 public:
  C5to6CustSuppNoWriteAccount();

  KORVEL_CUSTSUPP_ROUTINES
};

// Steps 1 to 6 of both customer-and-supplier plans: clear and import
// Customer, Region and Supplier.
std::vector<builder::PlanStep> CustSuppSteps();

}  // namespace korvel::plans
