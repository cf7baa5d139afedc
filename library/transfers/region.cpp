#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// RegionID goes into the destination's identity column in both variants,
// so customers and suppliers keep naming the same regions.
const ColumnDef kRegionSource[] = {
    {"RegionID", 1, 90, 0, 3, false},
    {"Class", 5, 106, 32, 130, true},
    {"RegCode", 6, 106, 15, 130, true},
    {"RegName", 7, 106, 64, 130, true},
};

const ColumnDef kRegionDestination[] = {
    {"RegionID", 1, 16, 0, 3, false},
    {"Class", 5, 8, 50, 129, false},
    {"RegCode", 6, 104, 15, 130, true},
    {"RegName", 7, 104, 64, 130, true},
};

// The full plan's columns run backwards, the ordinals numbering the pairs.
const ColumnDef kRegionFullSource[] = {
    {"RegName", 1, 102, 64, 130, true},
    {"RegCode", 2, 102, 15, 130, true},
    {"Class", 3, 102, 32, 130, true},
    {"RegionID", 4, 90, 0, 3, false},
};

const ColumnDef kRegionFullDestination[] = {
    {"RegName", 1, 104, 64, 130, true},
    {"RegCode", 2, 104, 15, 130, true},
    {"Class", 3, 8, 50, 129, false},
    {"RegionID", 4, 16, 0, 3, false},
};

constexpr char kQuery[] = "select `RegionID`,`Computer`,`Operator`,`OpTime`,`Class`,`RegCode`,`RegName` from `Region`";

}  // namespace

constinit const builder::TransferDef kRegion = {
    .table = "Region",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kRegionSource,
    .destination = kRegionDestination,
};

constinit const builder::TransferDef kRegionFull = {
    .table = "Region",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .row_limits_as_text = true,
    .transform_class = "DTSPump.DataPumpTransformCopy",
    .transform_name = "DTSTransformation__8",
    .source = kRegionFullSource,
    .destination = kRegionFullDestination,
};

}  // namespace korvel::transfers
