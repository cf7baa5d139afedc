#include <string_view>

#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnSettings;
using namespace builder::columns;

// The goods plans' columns. The 5.6 current quantity and amount go into
// both the opening (PBalQua, PBalAmo) and the current balance (BalQua,
// BalAmo); the ordinals from Remark on follow the destination's column
// order, not the query's.
constexpr ColumnPair kGoodsPairs[] = {
    {JetText("Class", 4, 32),                 SqlNVarChar("Class", 4, 32)},
    {JetBoolean("IsGoods", 6, kNotNull),      SqlBit("IsGoods", 6)},
    {JetBoolean("IsUsual", 7, kNotNull),      SqlBit("IsUsual", 7)},
    {JetBoolean("IsCom", 8, kNotNull),        SqlBit("IsCom", 8)},
    {JetBoolean("IsEScale", 9, kNotNull),     SqlBit("IsEScale", 9)},
    {JetBoolean("IsEntrust", 10, kNotNull),   SqlBit("IsEntrust", 10)},
    {JetText("GoodsID", 11, 50, kNotNull),    SqlNVarChar("GoodsID", 11, 50, kNotNull)},
    {JetText("Code", 12, 50),                 SqlNVarChar("Code", 12, 50)},
    {JetText("GdsName", 13, 128),             SqlNVarChar("GdsName", 13, 50)},
    {JetText("GdsStandard", 14, 20),          SqlNVarChar("GdsStandard", 14, 20)},
    {JetText("GdsGrade", 15, 20),             SqlNVarChar("GdsGrade", 15, 20)},
    {JetText("Origion", 16, 20),              SqlNVarChar("Origion", 16, 20)},
    {JetText("UnitID", 17, 15),               SqlNVarChar("UnitID", 17, 15)},
    {JetText("Type", 18, 50),                 SqlNVarChar("Type", 18, 50)},
    {JetText("PUnit", 19, 20),                SqlNVarChar("PUnit", 19, 20)},
    {JetText("Unit", 20, 20),                 SqlNVarChar("Unit", 20, 20)},
    {JetCurrency("Ref", 21),                  SqlFloat("Ref", 21)},
    {JetCurrency("MaxRes", 22),               SqlMoney("MaxRes", 22)},
    {JetCurrency("MinRes", 23),               SqlMoney("MinRes", 23)},
    {JetDouble("Price", 24),                  SqlFloat("Price", 24)},
    {JetCurrency("Price1", 25),               SqlFloat("Price1", 25)},
    {JetCurrency("Price2", 26),               SqlFloat("Price2", 26)},
    {JetCurrency("Price3", 27),               SqlFloat("Price3", 27)},
    {JetCurrency("Price4", 28),               SqlFloat("Price4", 28)},
    {JetCurrency("MemPrice1", 29),            SqlFloat("MemPrice1", 29)},
    {JetCurrency("MemPrice2", 30),            SqlFloat("MemPrice2", 30)},
    {JetCurrency("MemPrice3", 31),            SqlFloat("MemPrice3", 31)},
    {JetCurrency("MinPrice", 32),             SqlFloat("MinPrice", 32)},
    {JetDouble("BalPrice", 33),               SqlFloat("BalPrice", 33)},
    {JetCurrency("BalQua", 36),               SqlMoney("PBalQua", 34)},
    {JetCurrency("BalAmo", 37),               SqlMoney("PBalAmo", 35)},
    {JetCurrency("BalQua", 36),               SqlMoney("BalQua", 36)},
    {JetCurrency("BalAmo", 37),               SqlMoney("BalAmo", 37)},
    {JetCurrency("BQuaSum", 38),              SqlMoney("BQuaSum", 38)},
    {JetCurrency("BAmoSum", 39),              SqlMoney("BAmoSum", 39)},
    {JetCurrency("BDIQSum", 40),              SqlMoney("BDIQSum", 40)},
    {JetCurrency("BDIQAmo", 41),              SqlMoney("BDIQAmo", 41)},
    {JetCurrency("BDEQSum", 42),              SqlMoney("BDEQSum", 42)},
    {JetCurrency("BDEQAmo", 43),              SqlMoney("BDEQAmo", 43)},
    {JetBoolean("fblnIsColor", 44, kNotNull), SqlBit("fblnIsColor", 44)},
    {JetMemo("Remark", 45),                   SqlNText("Remark", 45)},
    {JetBoolean("fblnIsSize", 46, kNotNull),  SqlBit("fblnIsSize", 46)},
    {JetBoolean("IsPro", 47, kNotNull),       SqlBit("IsPro", 47)},
    {JetText("fstrSizeGroup", 48, 50),        SqlNVarChar("fstrSizeGroup", 48, 50)},
    {JetBoolean("IsBrunt", 49, kNotNull),     SqlBit("IsBrunt", 49)},
    {JetText("Properties", 50, 200),          SqlNVarChar("Properties", 50, 200)},
    {JetLong("Costing", 51),                  SqlInt("Costing", 51)},
    {JetCurrency("fcurStandardPrice", 52),    SqlMoney("fcurStandardPrice", 52)},
};
constexpr auto kGoodsColumns = Split(kGoodsPairs);

// The plan that posts the custody book leaves the six stock sums at the
// destination's defaults.
constexpr std::string_view kStockSums[] = {"BQuaSum", "BAmoSum", "BDIQSum", "BDIQAmo", "BDEQSum", "BDEQAmo"};
constexpr auto kGoodsCustodyColumns = SplitWithout(kGoodsPairs, kStockSums);

// The full plans' columns: no balances, sums, Properties, Costing,
// fcurStandardPrice, colour or size. Both sides are described alike (the
// source side carries the destination's flags and types, the ordinals
// number the pairs), so one list serves as both.
constexpr ColumnSettings kGoodsFullColumns[] = {
    SqlNVarChar("Class", 1, 32),
    SqlBit("IsGoods", 2),
    SqlBit("IsUsual", 3),
    SqlBit("IsCom", 4),
    SqlBit("IsEScale", 5),
    SqlBit("IsEntrust", 6),
    SqlNVarChar("GoodsID", 7, 50, kNotNull),
    SqlNVarChar("Code", 8, 50),
    SqlNVarChar("GdsName", 9, 50),
    SqlNVarChar("GdsStandard", 10, 20),
    SqlNVarChar("GdsGrade", 11, 20),
    SqlNVarChar("Origion", 12, 20),
    SqlNVarChar("UnitID", 13, 15),
    SqlNVarChar("Type", 14, 50),
    SqlNVarChar("PUnit", 15, 20),
    SqlNVarChar("Unit", 16, 20),
    SqlFloat("Ref", 17),
    SqlMoney("MaxRes", 18),
    SqlMoney("MinRes", 19),
    SqlFloat("Price", 20),
    SqlFloat("Price1", 21),
    SqlFloat("Price2", 22),
    SqlFloat("Price3", 23),
    SqlFloat("Price4", 24),
    SqlFloat("MemPrice1", 25),
    SqlFloat("MemPrice2", 26),
    SqlFloat("MemPrice3", 27),
    SqlFloat("MinPrice", 28),
    SqlNText("Remark", 29),
    SqlBit("IsPro", 30),
    SqlBit("IsBrunt", 31),
};


// The goods plans' query; the full plans' leaves out fblnIsColor,
// fblnIsSize, fstrSizeGroup and system_id2.
constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`Class`,`IsTrans`,`IsGoods`,`IsUsual`,`IsCom`,`IsEScale`,`IsEntrust`,`GoodsID`,`Code`,`GdsName`,`GdsStandard`,`GdsGrade`,`Origion`,`UnitID`,`Type`,`PUnit`,`Unit`,`Ref`,`MaxRes`,`MinRes`,`Price`,`Price1`,`Price2`,`Price3`,`Price4`,`MemPrice1`,`MemPrice2`,`MemPrice3`,`MinPrice`,`BalPrice`,`PBalQua`,`PBalAmo`,`BalQua`,`BalAmo`,`BQuaSum`,`BAmoSum`,`BDIQSum`,`BDIQAmo`,`BDEQSum`,`BDEQAmo`,`fblnIsColor`,`fblnIsSize`,`IsPro`,`fstrSizeGroup`,`IsBrunt`,`Properties`,`Costing`,`fcurStandardPrice`,`system_id2`,`Remark` from `Goods`";

}  // namespace

constinit const builder::TransferDef kGoods = {
    .table = "Goods",
    .source_sql = kQuery,
    .source = kGoodsColumns.source,
    .destination = kGoodsColumns.destination,
};

constinit const builder::TransferDef kGoodsCustody = {
    .table = "Goods",
    .source_sql = kQuery,
    .source = kGoodsCustodyColumns.source,
    .destination = kGoodsCustodyColumns.destination,
};

constinit const builder::TransferDef kGoodsFull = {
    .table = "Goods",
    .source_sql =
        "select `Computer`,`Operator`,`OpTime`,`Class`,`IsTrans`,`IsGoods`,`IsUsual`,`IsCom`,`IsEScale`,`IsEntrust`,`GoodsID`,`Code`,`GdsName`,`GdsStandard`,`GdsGrade`,`Origion`,`UnitID`,`Type`,`PUnit`,`Unit`,`Ref`,`MaxRes`,`MinRes`,`Price`,`Price1`,`Price2`,`Price3`,`Price4`,`MemPrice1`,`MemPrice2`,`MemPrice3`,`MinPrice`,`BalPrice`,`PBalQua`,`PBalAmo`,`BalQua`,`BalAmo`,`BQuaSum`,`BAmoSum`,`BDIQSum`,`BDIQAmo`,`BDEQSum`,`BDEQAmo`,`IsPro`,`IsBrunt`,`Properties`,`Costing`,`fcurStandardPrice`,`Remark` from `Goods`",
    .fast_load_options = 0,
    .row_limits_as_text = true,
    .source = kGoodsFullColumns,
    .destination = kGoodsFullColumns,
};

}  // namespace korvel::transfers
