#include <array>

#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// The goods plans' columns, paired by position. The 5.6 current quantity
// and amount go into both the opening (PBalQua, PBalAmo) and the current
// balance (BalQua, BalAmo); the ordinals from Remark on follow the
// destination's column order, not the query's.
constexpr std::array<ColumnDef, 48> kGoodsSource = {{
    {"Class", 4, 106, 32, 130, true},
    {"IsGoods", 6, 90, 0, 11, false},
    {"IsUsual", 7, 90, 0, 11, false},
    {"IsCom", 8, 90, 0, 11, false},
    {"IsEScale", 9, 90, 0, 11, false},
    {"IsEntrust", 10, 90, 0, 11, false},
    {"GoodsID", 11, 74, 50, 130, false},
    {"Code", 12, 106, 50, 130, true},
    {"GdsName", 13, 106, 128, 130, true},
    {"GdsStandard", 14, 106, 20, 130, true},
    {"GdsGrade", 15, 106, 20, 130, true},
    {"Origion", 16, 106, 20, 130, true},
    {"UnitID", 17, 106, 15, 130, true},
    {"Type", 18, 106, 50, 130, true},
    {"PUnit", 19, 106, 20, 130, true},
    {"Unit", 20, 106, 20, 130, true},
    {"Ref", 21, 122, 0, 6, true},
    {"MaxRes", 22, 122, 0, 6, true},
    {"MinRes", 23, 122, 0, 6, true},
    {"Price", 24, 122, 0, 5, true},
    {"Price1", 25, 122, 0, 6, true},
    {"Price2", 26, 122, 0, 6, true},
    {"Price3", 27, 122, 0, 6, true},
    {"Price4", 28, 122, 0, 6, true},
    {"MemPrice1", 29, 122, 0, 6, true},
    {"MemPrice2", 30, 122, 0, 6, true},
    {"MemPrice3", 31, 122, 0, 6, true},
    {"MinPrice", 32, 122, 0, 6, true},
    {"BalPrice", 33, 122, 0, 5, true},
    {"BalQua", 36, 122, 0, 6, true},
    {"BalAmo", 37, 122, 0, 6, true},
    {"BalQua", 36, 122, 0, 6, true},
    {"BalAmo", 37, 122, 0, 6, true},
    {"BQuaSum", 38, 122, 0, 6, true},
    {"BAmoSum", 39, 122, 0, 6, true},
    {"BDIQSum", 40, 122, 0, 6, true},
    {"BDIQAmo", 41, 122, 0, 6, true},
    {"BDEQSum", 42, 122, 0, 6, true},
    {"BDEQAmo", 43, 122, 0, 6, true},
    {"fblnIsColor", 44, 90, 0, 11, false},
    {"Remark", 45, 234, 0, 130, true},
    {"fblnIsSize", 46, 90, 0, 11, false},
    {"IsPro", 47, 90, 0, 11, false},
    {"fstrSizeGroup", 48, 106, 50, 130, true},
    {"IsBrunt", 49, 90, 0, 11, false},
    {"Properties", 50, 106, 200, 130, true},
    {"Costing", 51, 122, 0, 3, true},
    {"fcurStandardPrice", 52, 122, 0, 6, true},
}};

constexpr std::array<ColumnDef, 48> kGoodsDestination = {{
    {"Class", 4, 104, 32, 130, true},
    {"IsGoods", 6, 120, 0, 11, true},
    {"IsUsual", 7, 120, 0, 11, true},
    {"IsCom", 8, 120, 0, 11, true},
    {"IsEScale", 9, 120, 0, 11, true},
    {"IsEntrust", 10, 120, 0, 11, true},
    {"GoodsID", 11, 8, 50, 130, false},
    {"Code", 12, 104, 50, 130, true},
    {"GdsName", 13, 104, 50, 130, true},
    {"GdsStandard", 14, 104, 20, 130, true},
    {"GdsGrade", 15, 104, 20, 130, true},
    {"Origion", 16, 104, 20, 130, true},
    {"UnitID", 17, 104, 15, 130, true},
    {"Type", 18, 104, 50, 130, true},
    {"PUnit", 19, 104, 20, 130, true},
    {"Unit", 20, 104, 20, 130, true},
    {"Ref", 21, 120, 0, 5, true},
    {"MaxRes", 22, 120, 0, 6, true},
    {"MinRes", 23, 120, 0, 6, true},
    {"Price", 24, 120, 0, 5, true},
    {"Price1", 25, 120, 0, 5, true},
    {"Price2", 26, 120, 0, 5, true},
    {"Price3", 27, 120, 0, 5, true},
    {"Price4", 28, 120, 0, 5, true},
    {"MemPrice1", 29, 120, 0, 5, true},
    {"MemPrice2", 30, 120, 0, 5, true},
    {"MemPrice3", 31, 120, 0, 5, true},
    {"MinPrice", 32, 120, 0, 5, true},
    {"BalPrice", 33, 120, 0, 5, true},
    {"PBalQua", 34, 120, 0, 6, true},
    {"PBalAmo", 35, 120, 0, 6, true},
    {"BalQua", 36, 120, 0, 6, true},
    {"BalAmo", 37, 120, 0, 6, true},
    {"BQuaSum", 38, 120, 0, 6, true},
    {"BAmoSum", 39, 120, 0, 6, true},
    {"BDIQSum", 40, 120, 0, 6, true},
    {"BDIQAmo", 41, 120, 0, 6, true},
    {"BDEQSum", 42, 120, 0, 6, true},
    {"BDEQAmo", 43, 120, 0, 6, true},
    {"fblnIsColor", 44, 120, 0, 11, true},
    {"Remark", 45, 232, 0, 130, true},
    {"fblnIsSize", 46, 120, 0, 11, true},
    {"IsPro", 47, 120, 0, 11, true},
    {"fstrSizeGroup", 48, 104, 50, 130, true},
    {"IsBrunt", 49, 120, 0, 11, true},
    {"Properties", 50, 104, 200, 130, true},
    {"Costing", 51, 120, 0, 3, true},
    {"fcurStandardPrice", 52, 120, 0, 6, true},
}};

// The plan that posts the custody book leaves the six stock sums (pairs
// 34 to 39, BQuaSum to BDEQAmo) at the destination's defaults.
constexpr std::array<ColumnDef, 42> WithoutStockSums(const std::array<ColumnDef, 48>& all) {
  std::array<ColumnDef, 42> out{};
  std::size_t k = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i < 33 || i > 38) out[k++] = all[i];
  }
  return out;
}

constexpr std::array<ColumnDef, 42> kGoodsCustodySource = WithoutStockSums(kGoodsSource);
constexpr std::array<ColumnDef, 42> kGoodsCustodyDestination = WithoutStockSums(kGoodsDestination);

// The full plans' columns: no balances, sums, Properties, Costing,
// fcurStandardPrice, colour or size. Both sides are described alike (the
// source side carries the destination's flags and types, the ordinals
// number the pairs), so one list serves as both.
const ColumnDef kGoodsFullColumns[] = {
    {"Class", 1, 104, 32, 130, true},
    {"IsGoods", 2, 120, 0, 11, true},
    {"IsUsual", 3, 120, 0, 11, true},
    {"IsCom", 4, 120, 0, 11, true},
    {"IsEScale", 5, 120, 0, 11, true},
    {"IsEntrust", 6, 120, 0, 11, true},
    {"GoodsID", 7, 8, 50, 130, false},
    {"Code", 8, 104, 50, 130, true},
    {"GdsName", 9, 104, 50, 130, true},
    {"GdsStandard", 10, 104, 20, 130, true},
    {"GdsGrade", 11, 104, 20, 130, true},
    {"Origion", 12, 104, 20, 130, true},
    {"UnitID", 13, 104, 15, 130, true},
    {"Type", 14, 104, 50, 130, true},
    {"PUnit", 15, 104, 20, 130, true},
    {"Unit", 16, 104, 20, 130, true},
    {"Ref", 17, 120, 0, 5, true},
    {"MaxRes", 18, 120, 0, 6, true},
    {"MinRes", 19, 120, 0, 6, true},
    {"Price", 20, 120, 0, 5, true},
    {"Price1", 21, 120, 0, 5, true},
    {"Price2", 22, 120, 0, 5, true},
    {"Price3", 23, 120, 0, 5, true},
    {"Price4", 24, 120, 0, 5, true},
    {"MemPrice1", 25, 120, 0, 5, true},
    {"MemPrice2", 26, 120, 0, 5, true},
    {"MemPrice3", 27, 120, 0, 5, true},
    {"MinPrice", 28, 120, 0, 5, true},
    {"Remark", 29, 232, 0, 130, true},
    {"IsPro", 30, 120, 0, 11, true},
    {"IsBrunt", 31, 120, 0, 11, true},
};


// The goods plans' query; the full plans' leaves out fblnIsColor,
// fblnIsSize, fstrSizeGroup and system_id2.
constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`Class`,`IsTrans`,`IsGoods`,`IsUsual`,`IsCom`,`IsEScale`,`IsEntrust`,`GoodsID`,`Code`,`GdsName`,`GdsStandard`,`GdsGrade`,`Origion`,`UnitID`,`Type`,`PUnit`,`Unit`,`Ref`,`MaxRes`,`MinRes`,`Price`,`Price1`,`Price2`,`Price3`,`Price4`,`MemPrice1`,`MemPrice2`,`MemPrice3`,`MinPrice`,`BalPrice`,`PBalQua`,`PBalAmo`,`BalQua`,`BalAmo`,`BQuaSum`,`BAmoSum`,`BDIQSum`,`BDIQAmo`,`BDEQSum`,`BDEQAmo`,`fblnIsColor`,`fblnIsSize`,`IsPro`,`fstrSizeGroup`,`IsBrunt`,`Properties`,`Costing`,`fcurStandardPrice`,`system_id2`,`Remark` from `Goods`";

}  // namespace

constinit const builder::TransferDef kGoods = {
    .table = "Goods",
    .source_sql = kQuery,
    .source = kGoodsSource,
    .destination = kGoodsDestination,
};

constinit const builder::TransferDef kGoodsCustody = {
    .table = "Goods",
    .source_sql = kQuery,
    .source = kGoodsCustodySource,
    .destination = kGoodsCustodyDestination,
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
