// The department plan: empties the version 6.0 Depart table and fills it
// from version 5.6, keeping every DepID.
#pragma once

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6Depart final : public builder::DefinedPlan {
 public:
  C5to6Depart();

  KORVEL_SQL_TASK_ROUTINE(1)       // empties Depart
  KORVEL_TRANSFER_TASK_ROUTINES(2) // the Depart transfer
};

}  // namespace korvel::plans
