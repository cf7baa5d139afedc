#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Four pairs: IsSaleOut is stored with ordinal 4 but binds by its name, to
// the query's fifth column; Optime is read and not written.
const ColumnDef kGoodsIDListSource[] = {
    {"GoodsBarID", 1, 74, 50, 130, false},
    {"GoodsID", 2, 74, 50, 130, false},
    {"Type", 3, 122, 0, 2, true},
    {"IsSaleOut", 4, 90, 0, 11, false},
};

const ColumnDef kGoodsIDListDestination[] = {
    {"GoodsBarID", 1, 104, 50, 130, true},
    {"GoodsID", 2, 104, 50, 130, true},
    {"Type", 3, 120, 0, 2, true},
    {"IsSaleOut", 4, 120, 0, 11, true},
};

// Five pairs, Optime included (the plan that posts the custody book).
const ColumnDef kGoodsIDListCustodySource[] = {
    {"GoodsBarID", 1, 74, 50, 130, false},
    {"GoodsID", 2, 74, 50, 130, false},
    {"Type", 3, 122, 0, 2, true},
    {"Optime", 4, 122, 0, 7, true},
    {"IsSaleOut", 5, 90, 0, 11, false},
};

const ColumnDef kGoodsIDListCustodyDestination[] = {
    {"GoodsBarID", 1, 104, 50, 130, true},
    {"GoodsID", 2, 104, 50, 130, true},
    {"Type", 3, 120, 0, 2, true},
    {"Optime", 4, 120, 0, 135, true},
    {"IsSaleOut", 5, 120, 0, 11, true},
};

constexpr char kQuery[] = "select `GoodsBarID`,`GoodsID`,`Type`,`Optime`,`IsSaleOut` from `GoodsIDList`";

}  // namespace

constinit const builder::TransferDef kGoodsIDList = {
    .table = "GoodsIDList",
    .source_sql = kQuery,
    .row_limits_as_text = true,
    .source = kGoodsIDListSource,
    .destination = kGoodsIDListDestination,
};

constinit const builder::TransferDef kGoodsIDListCustody = {
    .table = "GoodsIDList",
    .source_sql = kQuery,
    .row_limits_as_text = true,
    .source = kGoodsIDListCustodySource,
    .destination = kGoodsIDListCustodyDestination,
};

}  // namespace korvel::transfers
