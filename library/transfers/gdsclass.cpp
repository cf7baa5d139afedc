#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// The same columns in every variant.
constexpr ColumnPair kGdsClassPairs[] = {
    {JetText("Class", 4, 32),              SqlNVarChar("Class", 4, 32, kNotNull)},
    {JetBoolean("IsGoods", 5, kNotNull),   SqlBit("IsGoods", 5)},
    {JetText("ClasName", 6, 64, kNotNull), SqlNVarChar("ClasName", 6, 64, kNotNull)},
    {JetCurrency("Rate1", 7),              SqlMoney("Rate1", 7)},
    {JetCurrency("Rate2", 8),              SqlMoney("Rate2", 8)},
    {JetCurrency("Rate3", 9),              SqlMoney("Rate3", 9)},
    {JetCurrency("Rate4", 10),             SqlMoney("Rate4", 10)},
    {JetText("ClassCode", 11, 20),         SqlNVarChar("ClassCode", 11, 20)},
};
constexpr auto kGdsClassColumns = Split(kGdsClassPairs);

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`Class`,`IsGoods`,`ClasName`,`Rate1`,`Rate2`,`Rate3`,`Rate4`,`ClassCode` from `gdsClass`";

}  // namespace

constinit const builder::TransferDef kGdsClass = {
    .table = "gdsClass",
    .source_sql = kQuery,
    .source = kGdsClassColumns.source,
    .destination = kGdsClassColumns.destination,
};

constinit const builder::TransferDef kGdsClassFull = {
    .table = "gdsClass",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kGdsClassColumns.source,
    .destination = kGdsClassColumns.destination,
};

}  // namespace korvel::transfers
