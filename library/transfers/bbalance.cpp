#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// The goods plan's copy, paired by position: the 5.6 current quantity and
// amount go into both the opening and the current balance.
const ColumnDef kBBalanceSource[] = {
    {"BaseID", 4, 122, 0, 3, true},
    {"GoodsID", 5, 74, 50, 130, false},
    {"BalQua", 9, 122, 0, 6, true},
    {"BalAmo", 10, 122, 0, 6, true},
    {"BalPrice", 8, 122, 0, 5, true},
    {"BalQua", 9, 122, 0, 6, true},
    {"BalAmo", 10, 122, 0, 6, true},
    {"Location", 17, 106, 32, 130, true},
};

const ColumnDef kBBalanceDestination[] = {
    {"BaseID", 4, 24, 0, 3, false},
    {"GoodsID", 5, 8, 50, 130, false},
    {"PBalQua", 6, 120, 0, 6, true},
    {"PBalAmo", 7, 120, 0, 6, true},
    {"BalPrice", 8, 120, 0, 5, true},
    {"BalQua", 9, 120, 0, 6, true},
    {"BalAmo", 10, 120, 0, 6, true},
    {"Location", 17, 104, 32, 130, true},
};

// The full plans' script lists twelve source columns (BalQua and BalAmo
// twice, as it reads them) and every destination column; the columns it
// does not assign are written empty.
const ColumnDef kBBalanceFullSource[] = {
    {"BaseID", 4, 122, 0, 3, true},
    {"GoodsID", 5, 74, 50, 130, false},
    {"BalQua", 9, 122, 0, 6, true},
    {"BalAmo", 10, 122, 0, 6, true},
    {"BalPrice", 8, 122, 0, 5, true},
    {"BalQua", 9, 122, 0, 6, true},
    {"BalAmo", 10, 122, 0, 6, true},
    {"BDIQua", 13, 122, 0, 6, true},
    {"BDIQAmo", 14, 122, 0, 6, true},
    {"BDEQua", 15, 122, 0, 6, true},
    {"BDEQAmo", 16, 122, 0, 6, true},
    {"Location", 17, 106, 32, 130, true},
};

const ColumnDef kBBalanceFullDestination[] = {
    {"Computer", 1, 104, 20, 130, true},
    {"Operator", 2, 104, 32, 130, true},
    {"OpTime", 3, 120, 0, 135, true},
    {"BaseID", 4, 24, 0, 3, false},
    {"GoodsID", 5, 8, 50, 130, false},
    {"PBalQua", 6, 120, 0, 6, true},
    {"PBalAmo", 7, 120, 0, 6, true},
    {"BalPrice", 8, 120, 0, 5, true},
    {"BalQua", 9, 120, 0, 6, true},
    {"BalAmo", 10, 120, 0, 6, true},
    {"RBalQua", 11, 120, 0, 6, true},
    {"RBalAmo", 12, 120, 0, 6, true},
    {"BDIQua", 13, 120, 0, 6, true},
    {"BDIQAmo", 14, 120, 0, 6, true},
    {"BDEQua", 15, 120, 0, 6, true},
    {"BDEQAmo", 16, 120, 0, 6, true},
    {"Location", 17, 104, 32, 130, true},
};

const std::string_view kBBalanceFullScript[] = {
    "'**********************************************************************",
    "'  Visual Basic Transformation Script",
    "'  Copy each source column to the",
    "'  destination column",
    "'************************************************************************",
    "Function Main()",
    "   DTSDestination(\"BaseID\") = DTSSource(\"BaseID\")",
    "   DTSDestination(\"GoodsID\") = DTSSource(\"GoodsID\")",
    "   DTSDestination(\"PBalQua\") = DTSSource(\"BalQua\")",
    "   DTSDestination(\"PBalAmo\") = DTSSource(\"BalAmo\")",
    "   DTSDestination(\"BalPrice\") = DTSSource(\"BalPrice\")",
    "   DTSDestination(\"BalQua\") = DTSSource(\"BalQua\")",
    "   DTSDestination(\"BalAmo\") = DTSSource(\"BalAmo\")",
    "   DTSDestination(\"BDIQua\") = DTSSource(\"BDIQua\")",
    "   DTSDestination(\"BDIQAmo\") = DTSSource(\"BDIQAmo\")",
    "   DTSDestination(\"BDEQua\") = DTSSource(\"BDEQua\")",
    "   DTSDestination(\"BDEQAmo\") = DTSSource(\"BDEQAmo\")",
    "   DTSDestination(\"Location\") = DTSSource(\"Location\")",
    "   Main = DTSTransformStat_OK",
    "End Function",
};

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`BaseID`,`GoodsID`,`PBalQua`,`PBalAmo`,`BalPrice`,`BalQua`,`BalAmo`,`RBalQua`,`RBalAmo`,`BDIQua`,`BDIQAmo`,`BDEQua`,`BDEQAmo`,`Location` from `bBalance`";

}  // namespace

constinit const builder::TransferDef kBBalance = {
    .table = "bBalance",
    .source_sql = kQuery,
    .source = kBBalanceSource,
    .destination = kBBalanceDestination,
};

constinit const builder::TransferDef kBBalanceFull = {
    .table = "bBalance",
    .source_sql = kQuery,
    .kind = builder::TransformKind::kScript,
    .transform_class = "DTS.DataPumpTransformScript",
    .transform_name = "AxScriptXform",
    .source = kBBalanceFullSource,
    .destination = kBBalanceFullDestination,
    .script = kBBalanceFullScript,
};

}  // namespace korvel::transfers
