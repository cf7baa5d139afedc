// The default scheme: empties the version 6.0 database of its user data
// (ClearUserData keeps the records it was created with), imports
// warehouses, stock, goods classes, goods, identification codes, regions,
// suppliers, customers, employees and members, and posts the opening stock
// and the customer and supplier balances.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6Normal final : public builder::DefinedPlan {
 public:
  C5to6Normal();

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
  KORVEL_SQL_TASK_ROUTINE(19)       // drops ClearUserData
  KORVEL_SQL_TASK_ROUTINE(20)       // creates ClearUserData
  KORVEL_SQL_TASK_ROUTINE(21)       // runs ClearUserData
  KORVEL_TRANSFER_TASK_ROUTINES(22) // Region
};

// Steps 1 to 21 of both full upgrades: the nine transfers (the task names
// of steps 2 to 9 followed by `transfer_task_suffix`), the three posting
// procedures in their full-plan versions, and the three steps of the
// clearing procedure `clearing`, whose text `clearing_text` gives, with
// `clearing_overrides` on its steps.
std::vector<builder::PlanStep> FullUpgradeSteps(std::string_view transfer_task_suffix, std::string_view clearing,
                                                std::function<std::string()> clearing_text,
                                                const builder::Overrides& clearing_overrides);

}  // namespace korvel::plans
