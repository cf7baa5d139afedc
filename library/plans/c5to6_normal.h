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

// Declares the routines of steps 1 to 21 of both full upgrades (see
// FullUpgradeSteps): transfers 1 to 9 (Base, bBalance by script, Customer,
// Employee, gdsClass, Goods, GoodsIDList, Member, Supplier); SQL tasks 10
// to 12 drop WriteCustody, WriteSuppAcc and WriteCustAcc, 13 to 18 create
// and run WriteCustAcc, WriteSuppAcc and WriteCustody in turn, 19 to 21
// drop, create and run the clearing procedure.
#define KORVEL_FULL_UPGRADE_ROUTINES \
  KORVEL_TRANSFER_TASK_ROUTINES(1)   \
  KORVEL_TRANSFER_TASK_ROUTINES(2)   \
  KORVEL_TRANSFER_TASK_ROUTINES(3)   \
  KORVEL_TRANSFER_TASK_ROUTINES(4)   \
  KORVEL_TRANSFER_TASK_ROUTINES(5)   \
  KORVEL_TRANSFER_TASK_ROUTINES(6)   \
  KORVEL_TRANSFER_TASK_ROUTINES(7)   \
  KORVEL_TRANSFER_TASK_ROUTINES(8)   \
  KORVEL_TRANSFER_TASK_ROUTINES(9)   \
  KORVEL_SQL_TASK_ROUTINE(10)        \
  KORVEL_SQL_TASK_ROUTINE(11)        \
  KORVEL_SQL_TASK_ROUTINE(12)        \
  KORVEL_SQL_TASK_ROUTINE(13)        \
  KORVEL_SQL_TASK_ROUTINE(14)        \
  KORVEL_SQL_TASK_ROUTINE(15)        \
  KORVEL_SQL_TASK_ROUTINE(16)        \
  KORVEL_SQL_TASK_ROUTINE(17)        \
  KORVEL_SQL_TASK_ROUTINE(18)        \
  KORVEL_SQL_TASK_ROUTINE(19)        \
  KORVEL_SQL_TASK_ROUTINE(20)        \
  KORVEL_SQL_TASK_ROUTINE(21)

namespace korvel::plans {

class C5to6Normal final : public builder::DefinedPlan {
 public:
  C5to6Normal();

  KORVEL_FULL_UPGRADE_ROUTINES
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
