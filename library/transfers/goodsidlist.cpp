#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// Four pairs: IsSaleOut is stored with ordinal 4 but binds by its name, to
// the query's fifth column; Optime is read and not written.
constexpr ColumnPair kGoodsIDListPairs[] = {
    {JetText("GoodsBarID", 1, 50, kNotNull), SqlNVarChar("GoodsBarID", 1, 50)},
    {JetText("GoodsID", 2, 50, kNotNull),    SqlNVarChar("GoodsID", 2, 50)},
    {JetInteger("Type", 3),                  SqlSmallInt("Type", 3)},
    {JetBoolean("IsSaleOut", 4, kNotNull),   SqlBit("IsSaleOut", 4)},
};
constexpr auto kGoodsIDListColumns = Split(kGoodsIDListPairs);

// Five pairs, Optime included (the plan that posts the custody book).
constexpr ColumnPair kGoodsIDListCustodyPairs[] = {
    {JetText("GoodsBarID", 1, 50, kNotNull), SqlNVarChar("GoodsBarID", 1, 50)},
    {JetText("GoodsID", 2, 50, kNotNull),    SqlNVarChar("GoodsID", 2, 50)},
    {JetInteger("Type", 3),                  SqlSmallInt("Type", 3)},
    {JetDateTime("Optime", 4),               SqlDateTime("Optime", 4)},
    {JetBoolean("IsSaleOut", 5, kNotNull),   SqlBit("IsSaleOut", 5)},
};
constexpr auto kGoodsIDListCustodyColumns = Split(kGoodsIDListCustodyPairs);

constexpr char kQuery[] = "select `GoodsBarID`,`GoodsID`,`Type`,`Optime`,`IsSaleOut` from `GoodsIDList`";

}  // namespace

constinit const builder::TransferDef kGoodsIDList = {
    .table = "GoodsIDList",
    .source_sql = kQuery,
    .row_limits_as_text = true,
    .source = kGoodsIDListColumns.source,
    .destination = kGoodsIDListColumns.destination,
};

constinit const builder::TransferDef kGoodsIDListCustody = {
    .table = "GoodsIDList",
    .source_sql = kQuery,
    .row_limits_as_text = true,
    .source = kGoodsIDListCustodyColumns.source,
    .destination = kGoodsIDListCustodyColumns.destination,
};

}  // namespace korvel::transfers
