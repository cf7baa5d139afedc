// The customer-and-supplier plan that posts the opening balances: empties
// the ledgers CustAcc and SuppAcc and the Customer, Supplier and Region
// tables, fills the tables from version 5.6, then installs and runs
// WriteCustAcc and WriteSuppAcc, which post each partner's balance.
#pragma once

#include "library/builder/defined_plan.h"
#include "library/plans/c5to6_custsupp_no_write_account.h"

namespace korvel::plans {

class C5to6CustSuppWriteAccount final : public builder::DefinedPlan {
 public:
  C5to6CustSuppWriteAccount();

  KORVEL_CUSTSUPP_ROUTINES
  KORVEL_SQL_TASK_ROUTINE(7)       // empties CustAcc
  KORVEL_SQL_TASK_ROUTINE(8)       // empties SuppAcc
  KORVEL_SQL_TASK_ROUTINE(9)       // drops WriteCustAcc
  KORVEL_SQL_TASK_ROUTINE(10)      // creates WriteCustAcc
  KORVEL_SQL_TASK_ROUTINE(11)      // runs WriteCustAcc
  KORVEL_SQL_TASK_ROUTINE(12)      // drops WriteSuppAcc
  KORVEL_SQL_TASK_ROUTINE(13)      // creates WriteSuppAcc
  KORVEL_SQL_TASK_ROUTINE(14)      // runs WriteSuppAcc
};

}  // namespace korvel::plans
