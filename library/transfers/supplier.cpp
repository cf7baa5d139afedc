#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// The customer-and-supplier plans' columns, paired by position. BalAmo goes
// into both PBalAmo and BalAmo.
const ColumnDef kSupplierSource[] = {
    {"RegionID", 4, 122, 0, 3, true},
    {"Class", 5, 106, 32, 130, true},
    {"IsUsed", 7, 90, 0, 11, false},
    {"IsUsual", 8, 90, 0, 11, false},
    {"UnitID", 9, 74, 15, 130, false},
    {"Code", 10, 106, 50, 130, true},
    {"UnitName", 11, 106, 64, 130, true},
    {"TaxNo", 12, 106, 30, 130, true},
    {"BalAmo", 14, 122, 0, 6, true},
    {"BalAmo", 14, 122, 0, 6, true},
    {"Tel", 16, 106, 50, 130, true},
    {"Fax", 17, 106, 50, 130, true},
    {"Email", 18, 106, 50, 130, true},
    {"PostCode", 19, 106, 20, 130, true},
    {"Address", 20, 106, 64, 130, true},
    {"Bank", 21, 106, 64, 130, true},
    {"AccNo", 22, 106, 30, 130, true},
    {"Remark", 23, 234, 0, 130, true},
};

const ColumnDef kSupplierDestination[] = {
    {"RegionID", 4, 120, 0, 3, true},
    {"Class", 5, 104, 50, 129, true},
    {"IsUsed", 7, 120, 0, 11, true},
    {"IsUsual", 8, 120, 0, 11, true},
    {"UnitID", 9, 8, 15, 130, false},
    {"Code", 10, 104, 50, 130, true},
    {"UnitName", 11, 104, 64, 130, true},
    {"TaxNo", 12, 104, 30, 130, true},
    {"PBalAmo", 13, 120, 0, 6, true},
    {"BalAmo", 14, 120, 0, 6, true},
    {"Tel", 16, 104, 50, 130, true},
    {"Fax", 17, 104, 50, 130, true},
    {"Email", 18, 104, 50, 130, true},
    {"PostCode", 19, 104, 20, 130, true},
    {"Address", 20, 104, 64, 130, true},
    {"Bank", 21, 104, 64, 130, true},
    {"AccNo", 22, 104, 30, 130, true},
    {"Remark", 23, 232, 0, 130, true},
};

// The full plans' columns: backwards through the query, the ordinals
// numbering the pairs; RegionID and Class are not written.
const ColumnDef kSupplierFullSource[] = {
    {"Remark", 1, 230, 0, 130, true},
    {"AccNo", 2, 102, 30, 130, true},
    {"Bank", 3, 102, 64, 130, true},
    {"Address", 4, 102, 64, 130, true},
    {"PostCode", 5, 102, 20, 130, true},
    {"Email", 6, 102, 50, 130, true},
    {"Fax", 7, 102, 50, 130, true},
    {"Tel", 8, 102, 50, 130, true},
    {"BalAmo", 9, 118, 0, 6, true},
    {"BalAmo", 10, 118, 0, 6, true},
    {"TaxNo", 11, 102, 30, 130, true},
    {"UnitName", 12, 102, 64, 130, true},
    {"Code", 13, 102, 50, 130, true},
    {"UnitID", 14, 102, 15, 130, true},
    {"IsUsual", 15, 86, 0, 11, false},
    {"IsUsed", 16, 86, 0, 11, false},
};

const ColumnDef kSupplierFullDestination[] = {
    {"Remark", 1, 232, 0, 130, true},
    {"AccNo", 2, 104, 30, 130, true},
    {"Bank", 3, 104, 64, 130, true},
    {"Address", 4, 104, 64, 130, true},
    {"PostCode", 5, 104, 20, 130, true},
    {"Email", 6, 104, 50, 130, true},
    {"Fax", 7, 104, 50, 130, true},
    {"Tel", 8, 104, 50, 130, true},
    {"BalAmo", 9, 120, 0, 6, true},
    {"PBalAmo", 10, 120, 0, 6, true},
    {"TaxNo", 11, 104, 30, 130, true},
    {"UnitName", 12, 104, 64, 130, true},
    {"Code", 13, 104, 50, 130, true},
    {"UnitID", 14, 8, 15, 130, false},
    {"IsUsual", 15, 120, 0, 11, true},
    {"IsUsed", 16, 120, 0, 11, true},
};

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`RegionID`,`Class`,`IsTrans`,`IsUsed`,`IsUsual`,`UnitID`,`Code`,`UnitName`,`TaxNo`,`PBalAmo`,`BalAmo`,`PreAmo`,`Tel`,`Fax`,`Email`,`PostCode`,`Address`,`Bank`,`AccNo`,`Remark` from `Supplier`";

}  // namespace

constinit const builder::TransferDef kSupplier = {
    .table = "Supplier",
    .source_sql = kQuery,
    .source = kSupplierSource,
    .destination = kSupplierDestination,
};

constinit const builder::TransferDef kSupplierFull = {
    .table = "Supplier",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kSupplierFullSource,
    .destination = kSupplierFullDestination,
};

}  // namespace korvel::transfers
