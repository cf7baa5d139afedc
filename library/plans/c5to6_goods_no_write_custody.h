// The goods plan without stock: empties the version 6.0 goods identification
// codes, combinations, goods and goods classes, and fills them from version
// 5.6. Warehouses, stock and the custody book are left alone.
#pragma once

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6GoodsNoWriteCustody final : public builder::DefinedPlan {
 public:
  C5to6GoodsNoWriteCustody();

  KORVEL_SQL_TASK_ROUTINE(1)       // empties gdsClass
  KORVEL_TRANSFER_TASK_ROUTINES(2) // the gdsClass transfer
  KORVEL_SQL_TASK_ROUTINE(3)       // empties gdsCom
  KORVEL_TRANSFER_TASK_ROUTINES(4) // the gdsCom transfer
  KORVEL_SQL_TASK_ROUTINE(5)       // empties Goods
  KORVEL_TRANSFER_TASK_ROUTINES(6) // the Goods transfer, 48 pairs
  KORVEL_SQL_TASK_ROUTINE(7)       // empties GoodsIDList
  KORVEL_TRANSFER_TASK_ROUTINES(8) // the GoodsIDList transfer, 4 pairs
};

}  // namespace korvel::plans
