#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Source and destination columns, paired by position.
const ColumnDef kGdsComSource[] = {
    {"GoodsID", 1, 106, 50, 130, true},
    {"GdsCode", 2, 106, 50, 130, true},
    {"Qua", 3, 122, 0, 6, true},
    {"Price", 4, 122, 0, 6, true},
};

const ColumnDef kGdsComDestination[] = {
    {"GoodsID", 1, 8, 50, 130, false},
    {"GdsCode", 2, 8, 50, 130, false},
    {"Qua", 3, 120, 0, 6, true},
    {"Price", 4, 120, 0, 6, true},
};

}  // namespace

constinit const builder::TransferDef kGdsCom = {
    .table = "gdsCom",
    .source_sql = "select `GoodsID`,`GdsCode`,`Qua`,`Price` from `gdsCom`",
    .source = kGdsComSource,
    .destination = kGdsComDestination,
};

}  // namespace korvel::transfers
