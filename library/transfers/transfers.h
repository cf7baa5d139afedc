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

}  // namespace korvel::transfers
