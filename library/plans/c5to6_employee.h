// The employee plan: empties the version 6.0 Employee table and fills it
// from version 5.6.
#pragma once

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6Employee final : public builder::DefinedPlan {
 public:
  C5to6Employee();

  KORVEL_SQL_TASK_ROUTINE(1)       // empties Employee
  KORVEL_TRANSFER_TASK_ROUTINES(2) // the Employee transfer
};

}  // namespace korvel::plans
