#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// RegionID goes into the destination's identity column in both variants,
// so customers and suppliers keep naming the same regions.
constexpr ColumnPair kRegionPairs[] = {
    {JetLong("RegionID", 1, kNotNull), SqlIdentity("RegionID", 1)},
    {JetText("Class", 5, 32),          SqlVarChar("Class", 5, 50, kNotNull)},
    {JetText("RegCode", 6, 15),        SqlNVarChar("RegCode", 6, 15)},
    {JetText("RegName", 7, 64),        SqlNVarChar("RegName", 7, 64)},
};
constexpr auto kRegionColumns = Split(kRegionPairs);

// The full plan's columns run backwards, the ordinals numbering the pairs;
// the source columns but RegionID are described as writable.
constexpr ColumnPair kRegionFullPairs[] = {
    {Writable(JetText("RegName", 1, 64)), SqlNVarChar("RegName", 1, 64)},
    {Writable(JetText("RegCode", 2, 15)), SqlNVarChar("RegCode", 2, 15)},
    {Writable(JetText("Class", 3, 32)),   SqlVarChar("Class", 3, 50, kNotNull)},
    {JetLong("RegionID", 4, kNotNull),    SqlIdentity("RegionID", 4)},
};
constexpr auto kRegionFullColumns = Split(kRegionFullPairs);

constexpr char kQuery[] = "select `RegionID`,`Computer`,`Operator`,`OpTime`,`Class`,`RegCode`,`RegName` from `Region`";

}  // namespace

constinit const builder::TransferDef kRegion = {
    .table = "Region",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kRegionColumns.source,
    .destination = kRegionColumns.destination,
};

constinit const builder::TransferDef kRegionFull = {
    .table = "Region",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .row_limits_as_text = true,
    .transform_class = "DTSPump.DataPumpTransformCopy",
    .transform_name = "DTSTransformation__8",
    .source = kRegionFullColumns.source,
    .destination = kRegionFullColumns.destination,
};

}  // namespace korvel::transfers
