#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// BaseID goes into the destination's identity column, so every stock row
// keeps naming its warehouse.
constexpr ColumnPair kBasePairs[] = {
    {JetLong("BaseID", 1, kNotNull),     SqlIdentity("BaseID", 1)},
    {JetText("BaseCode", 5, 15),         SqlNVarChar("BaseCode", 5, 15)},
    {JetText("BaseName", 6, 64),         SqlNVarChar("BaseName", 6, 64)},
    {JetBoolean("IsOwner", 7, kNotNull), SqlBit("IsOwner", 7)},
    {JetText("Address", 8, 128),         SqlNVarChar("Address", 8, 128)},
    {JetText("Phone", 9, 64),            SqlNVarChar("Phone", 9, 64)},
    {JetText("Name", 10, 20),            SqlNVarChar("Name", 10, 20)},
};
constexpr auto kBaseColumns = Split(kBasePairs);

}  // namespace

constinit const builder::TransferDef kBase = {
    .table = "Base",
    .source_sql = "select `BaseID`,`Computer`,`Operator`,`OpTime`,`BaseCode`,`BaseName`,`IsOwner`,`Address`,`Phone`,`Name` from `Base`",
    .allow_identity_inserts = true,
    .source = kBaseColumns.source,
    .destination = kBaseColumns.destination,
};

}  // namespace korvel::transfers
