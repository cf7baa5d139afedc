#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// DepID goes into the destination's identity column.
constexpr ColumnPair kDepartPairs[] = {
    {JetLong("DepID", 4, kNotNull), SqlIdentity("DepID", 4)},
    {JetText("Class", 5, 32),       SqlNVarChar("Class", 5, 32)},
    {JetText("DepCode", 6, 15),     SqlNVarChar("DepCode", 6, 15)},
    {JetText("DepName", 7, 64),     SqlNVarChar("DepName", 7, 64)},
};
constexpr auto kDepartColumns = Split(kDepartPairs);

}  // namespace

constinit const builder::TransferDef kDepart = {
    .table = "Depart",
    .source_sql = "select `Computer`,`Operator`,`OpTime`,`DepID`,`Class`,`DepCode`,`DepName` from `Depart`",
    .allow_identity_inserts = true,
    .source = kDepartColumns.source,
    .destination = kDepartColumns.destination,
};

}  // namespace korvel::transfers
