// The complete scheme: empties the whole version 6.0 database, the records
// it was created with included (ClearAllData, outside the package
// transaction), imports warehouses, stock, goods classes, goods,
// identification codes, members, employees, customers and suppliers (no
// regions), and posts the opening stock and balances.
#pragma once

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6SpecialPack final : public builder::DefinedPlan {
 public:
  C5to6SpecialPack();

  KORVEL_TRANSFER_TASK_ROUTINES(1)  // Base
  KORVEL_TRANSFER_TASK_ROUTINES(2)  // bBalance, by script
  KORVEL_TRANSFER_TASK_ROUTINES(3)  // Customer
  KORVEL_TRANSFER_TASK_ROUTINES(4)  // Employee
  KORVEL_TRANSFER_TASK_ROUTINES(5)  // gdsClass
  KORVEL_TRANSFER_TASK_ROUTINES(6)  // Goods
  KORVEL_TRANSFER_TASK_ROUTINES(7)  // GoodsIDList
  KORVEL_TRANSFER_TASK_ROUTINES(8)  // Member
  KORVEL_TRANSFER_TASK_ROUTINES(9)  // Supplier
  KORVEL_SQL_TASK_ROUTINE(10)       // drops WriteCustody
  KORVEL_SQL_TASK_ROUTINE(11)       // drops WriteSuppAcc
  KORVEL_SQL_TASK_ROUTINE(12)       // drops WriteCustAcc
  KORVEL_SQL_TASK_ROUTINE(13)       // creates WriteCustAcc
  KORVEL_SQL_TASK_ROUTINE(14)       // runs WriteCustAcc
  KORVEL_SQL_TASK_ROUTINE(15)       // creates WriteSuppAcc
  KORVEL_SQL_TASK_ROUTINE(16)       // runs WriteSuppAcc
  KORVEL_SQL_TASK_ROUTINE(17)       // creates WriteCustody
  KORVEL_SQL_TASK_ROUTINE(18)       // runs WriteCustody
  KORVEL_SQL_TASK_ROUTINE(19)       // drops ClearAllData
  KORVEL_SQL_TASK_ROUTINE(20)       // creates ClearAllData
  KORVEL_SQL_TASK_ROUTINE(21)       // runs ClearAllData
};

}  // namespace korvel::plans
