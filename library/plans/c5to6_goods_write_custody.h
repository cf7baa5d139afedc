// The goods plan with stock: empties the custody book, the goods tables,
// the stock balances and the warehouses, fills them from version 5.6, then
// installs and runs WriteCustody, which posts every stock balance with a
// quantity into the custody book.
#pragma once

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6GoodsWriteCustody final : public builder::DefinedPlan {
 public:
  C5to6GoodsWriteCustody();

  KORVEL_SQL_TASK_ROUTINE(1)        // empties Base
  KORVEL_TRANSFER_TASK_ROUTINES(2)  // the Base transfer
  KORVEL_SQL_TASK_ROUTINE(3)        // empties bBalance
  KORVEL_TRANSFER_TASK_ROUTINES(4)  // the bBalance transfer
  KORVEL_SQL_TASK_ROUTINE(5)        // empties gdsClass
  KORVEL_TRANSFER_TASK_ROUTINES(6)  // the gdsClass transfer
  KORVEL_SQL_TASK_ROUTINE(7)        // empties gdsCom
  KORVEL_TRANSFER_TASK_ROUTINES(8)  // the gdsCom transfer
  KORVEL_SQL_TASK_ROUTINE(9)        // empties Goods
  KORVEL_TRANSFER_TASK_ROUTINES(10) // the Goods transfer, 42 pairs
  KORVEL_SQL_TASK_ROUTINE(11)       // empties GoodsIDList
  KORVEL_TRANSFER_TASK_ROUTINES(12) // the GoodsIDList transfer, 5 pairs
  KORVEL_SQL_TASK_ROUTINE(13)       // drops WriteCustody
  KORVEL_SQL_TASK_ROUTINE(14)       // creates WriteCustody
  KORVEL_SQL_TASK_ROUTINE(15)       // runs WriteCustody
  KORVEL_SQL_TASK_ROUTINE(16)       // empties Custody
};

}  // namespace korvel::plans
