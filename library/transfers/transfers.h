// The table transfers, as data: each copies one version 5.6 table into one
// version 6.0 table. Where plans build a transfer differently, each variant
// has its own definition.
#pragma once

#include "library/builder/transfer.h"

namespace korvel::transfers {

// Departments (the department plan); DepID keeps its value.
extern const builder::TransferDef kDepart;
// Employees: in the employee plan, and (keeping identity values) in the
// full plans.
extern const builder::TransferDef kEmployee;
extern const builder::TransferDef kEmployeeFull;
// Members (the full plans).
extern const builder::TransferDef kMember;

// Customers, suppliers and regions: the variant of the customer-and-supplier
// plans, and the full plans' variant (customers without IsUsed, IsUsual,
// RegionID, Class and TotalAmo; suppliers without RegionID and Class).
extern const builder::TransferDef kCustomer;
extern const builder::TransferDef kCustomerFull;
extern const builder::TransferDef kSupplier;
extern const builder::TransferDef kSupplierFull;
extern const builder::TransferDef kRegion;
extern const builder::TransferDef kRegionFull;

// Goods classes (the full plans' variant keeps identity values).
extern const builder::TransferDef kGdsClass;
extern const builder::TransferDef kGdsClassFull;
// Goods combinations (the goods plans).
extern const builder::TransferDef kGdsCom;
// Goods: 48 pairs, 42 pairs without the stock sums (the plan that posts
// the custody book), and the full plans' 31 pairs.
extern const builder::TransferDef kGoods;
extern const builder::TransferDef kGoodsCustody;
extern const builder::TransferDef kGoodsFull;
// Goods identification codes: 4 pairs, and 5 with Optime (the plan that
// posts the custody book).
extern const builder::TransferDef kGoodsIDList;
extern const builder::TransferDef kGoodsIDListCustody;
// Warehouses, keeping BaseID (every plan).
extern const builder::TransferDef kBase;
// Stock balances: the goods plan's copy and the full plans' script.
extern const builder::TransferDef kBBalance;
extern const builder::TransferDef kBBalanceFull;

}  // namespace korvel::transfers
