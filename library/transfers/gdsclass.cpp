#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Source and destination columns, paired by position; the same in every
// variant.
const ColumnDef kGdsClassSource[] = {
    {"Class", 4, 106, 32, 130, true},
    {"IsGoods", 5, 90, 0, 11, false},
    {"ClasName", 6, 74, 64, 130, false},
    {"Rate1", 7, 122, 0, 6, true},
    {"Rate2", 8, 122, 0, 6, true},
    {"Rate3", 9, 122, 0, 6, true},
    {"Rate4", 10, 122, 0, 6, true},
    {"ClassCode", 11, 106, 20, 130, true},
};

const ColumnDef kGdsClassDestination[] = {
    {"Class", 4, 8, 32, 130, false},
    {"IsGoods", 5, 120, 0, 11, true},
    {"ClasName", 6, 8, 64, 130, false},
    {"Rate1", 7, 120, 0, 6, true},
    {"Rate2", 8, 120, 0, 6, true},
    {"Rate3", 9, 120, 0, 6, true},
    {"Rate4", 10, 120, 0, 6, true},
    {"ClassCode", 11, 104, 20, 130, true},
};

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`Class`,`IsGoods`,`ClasName`,`Rate1`,`Rate2`,`Rate3`,`Rate4`,`ClassCode` from `gdsClass`";

}  // namespace

constinit const builder::TransferDef kGdsClass = {
    .table = "gdsClass",
    .source_sql = kQuery,
    .source = kGdsClassSource,
    .destination = kGdsClassDestination,
};

constinit const builder::TransferDef kGdsClassFull = {
    .table = "gdsClass",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kGdsClassSource,
    .destination = kGdsClassDestination,
};

}  // namespace korvel::transfers
