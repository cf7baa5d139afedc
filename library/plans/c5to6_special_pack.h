// The complete scheme: empties the whole version 6.0 database, the records
// it was created with included (ClearAllData, outside the package
// transaction), imports warehouses, stock, goods classes, goods,
// identification codes, members, employees, customers and suppliers (no
// regions), and posts the opening stock and balances.
#pragma once

#include "library/builder/defined_plan.h"
#include "library/plans/c5to6_normal.h"

namespace korvel::plans {

class C5to6SpecialPack final : public builder::DefinedPlan {
 public:
  C5to6SpecialPack();

  KORVEL_FULL_UPGRADE_ROUTINES  // 19 to 21: ClearAllData
};

}  // namespace korvel::plans
