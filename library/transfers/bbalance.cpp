#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnSettings;
using namespace builder::columns;

// The goods plan's copy: the 5.6 current quantity and amount go into both
// the opening and the current balance.
constexpr ColumnPair kBBalancePairs[] = {
    {JetLong("BaseID", 4),                SqlInt("BaseID", 4, kNotNull)},
    {JetText("GoodsID", 5, 50, kNotNull), SqlNVarChar("GoodsID", 5, 50, kNotNull)},
    {JetCurrency("BalQua", 9),            SqlMoney("PBalQua", 6)},
    {JetCurrency("BalAmo", 10),           SqlMoney("PBalAmo", 7)},
    {JetDouble("BalPrice", 8),            SqlFloat("BalPrice", 8)},
    {JetCurrency("BalQua", 9),            SqlMoney("BalQua", 9)},
    {JetCurrency("BalAmo", 10),           SqlMoney("BalAmo", 10)},
    {JetText("Location", 17, 32),         SqlNVarChar("Location", 17, 32)},
};
constexpr auto kBBalanceColumns = Split(kBBalancePairs);

// The full plans' script lists twelve source columns (BalQua and BalAmo
// twice, as it reads them) and every destination column; the columns it
// does not assign are written empty.
constexpr ColumnSettings kBBalanceFullSource[] = {
    JetLong("BaseID", 4),
    JetText("GoodsID", 5, 50, kNotNull),
    JetCurrency("BalQua", 9),
    JetCurrency("BalAmo", 10),
    JetDouble("BalPrice", 8),
    JetCurrency("BalQua", 9),
    JetCurrency("BalAmo", 10),
    JetCurrency("BDIQua", 13),
    JetCurrency("BDIQAmo", 14),
    JetCurrency("BDEQua", 15),
    JetCurrency("BDEQAmo", 16),
    JetText("Location", 17, 32),
};

constexpr ColumnSettings kBBalanceFullDestination[] = {
    SqlNVarChar("Computer", 1, 20),
    SqlNVarChar("Operator", 2, 32),
    SqlDateTime("OpTime", 3),
    SqlInt("BaseID", 4, kNotNull),
    SqlNVarChar("GoodsID", 5, 50, kNotNull),
    SqlMoney("PBalQua", 6),
    SqlMoney("PBalAmo", 7),
    SqlFloat("BalPrice", 8),
    SqlMoney("BalQua", 9),
    SqlMoney("BalAmo", 10),
    SqlMoney("RBalQua", 11),
    SqlMoney("RBalAmo", 12),
    SqlMoney("BDIQua", 13),
    SqlMoney("BDIQAmo", 14),
    SqlMoney("BDEQua", 15),
    SqlMoney("BDEQAmo", 16),
    SqlNVarChar("Location", 17, 32),
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
    .source = kBBalanceColumns.source,
    .destination = kBBalanceColumns.destination,
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
