#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// BaseID goes into the destination's identity column, so every stock row
// keeps naming its warehouse.
const ColumnDef kBaseSource[] = {
    {"BaseID", 1, 90, 0, 3, false},
    {"BaseCode", 5, 106, 15, 130, true},
    {"BaseName", 6, 106, 64, 130, true},
    {"IsOwner", 7, 90, 0, 11, false},
    {"Address", 8, 106, 128, 130, true},
    {"Phone", 9, 106, 64, 130, true},
    {"Name", 10, 106, 20, 130, true},
};

const ColumnDef kBaseDestination[] = {
    {"BaseID", 1, 16, 0, 3, false},
    {"BaseCode", 5, 104, 15, 130, true},
    {"BaseName", 6, 104, 64, 130, true},
    {"IsOwner", 7, 120, 0, 11, true},
    {"Address", 8, 104, 128, 130, true},
    {"Phone", 9, 104, 64, 130, true},
    {"Name", 10, 104, 20, 130, true},
};

}  // namespace

constinit const builder::TransferDef kBase = {
    .table = "Base",
    .source_sql = "select `BaseID`,`Computer`,`Operator`,`OpTime`,`BaseCode`,`BaseName`,`IsOwner`,`Address`,`Phone`,`Name` from `Base`",
    .allow_identity_inserts = true,
    .source = kBaseSource,
    .destination = kBaseDestination,
};

}  // namespace korvel::transfers
