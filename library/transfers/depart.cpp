#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Source and destination columns, paired by position.
const ColumnDef kDepartSource[] = {
    {"DepID", 4, 90, 0, 3, false},
    {"Class", 5, 106, 32, 130, true},
    {"DepCode", 6, 106, 15, 130, true},
    {"DepName", 7, 106, 64, 130, true},
};

const ColumnDef kDepartDestination[] = {
    {"DepID", 4, 16, 0, 3, false},
    {"Class", 5, 104, 32, 130, true},
    {"DepCode", 6, 104, 15, 130, true},
    {"DepName", 7, 104, 64, 130, true},
};

}  // namespace

constinit const builder::TransferDef kDepart = {
    .table = "Depart",
    .source_sql = "select `Computer`,`Operator`,`OpTime`,`DepID`,`Class`,`DepCode`,`DepName` from `Depart`",
    .allow_identity_inserts = true,
    .source = kDepartSource,
    .destination = kDepartDestination,
};

}  // namespace korvel::transfers
