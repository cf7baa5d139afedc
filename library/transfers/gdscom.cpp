#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

constexpr ColumnPair kGdsComPairs[] = {
    {JetText("GoodsID", 1, 50), SqlNVarChar("GoodsID", 1, 50, kNotNull)},
    {JetText("GdsCode", 2, 50), SqlNVarChar("GdsCode", 2, 50, kNotNull)},
    {JetCurrency("Qua", 3),     SqlMoney("Qua", 3)},
    {JetCurrency("Price", 4),   SqlMoney("Price", 4)},
};
constexpr auto kGdsComColumns = Split(kGdsComPairs);

}  // namespace

constinit const builder::TransferDef kGdsCom = {
    .table = "gdsCom",
    .source_sql = "select `GoodsID`,`GdsCode`,`Qua`,`Price` from `gdsCom`",
    .source = kGdsComColumns.source,
    .destination = kGdsComColumns.destination,
};

}  // namespace korvel::transfers
