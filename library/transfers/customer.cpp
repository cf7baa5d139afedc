#include <string_view>

#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// The columns of the customer-and-supplier plans. The 5.6 current balance
// BalAmo goes into both the opening balance PBalAmo and the current balance
// BalAmo.
constexpr ColumnPair kCustomerPairs[] = {
    {JetBoolean("IsUsed", 5, kNotNull),  SqlBit("IsUsed", 5)},
    {JetBoolean("IsUsual", 6, kNotNull), SqlBit("IsUsual", 6)},
    {JetLong("RegionID", 7),             SqlInt("RegionID", 7)},
    {JetText("Class", 8, 32),            SqlVarChar("Class", 8, 50)},
    {JetText("UnitID", 9, 15, kNotNull), SqlNVarChar("UnitID", 9, 15, kNotNull)},
    {JetText("Code", 10, 50),            SqlNVarChar("Code", 10, 50)},
    {JetText("UnitName", 11, 64),        SqlNVarChar("UnitName", 11, 64)},
    {JetText("TaxNo", 12, 30),           SqlNVarChar("TaxNo", 12, 30)},
    {JetSingle("Credit", 13),            SqlReal("Credit", 13)},
    {JetCurrency("BalAmo", 15),          SqlMoney("PBalAmo", 14)},
    {JetCurrency("BalAmo", 15),          SqlMoney("BalAmo", 15)},
    {JetCurrency("TotalAmo", 17),        SqlMoney("TotalAmo", 17)},
    {JetInteger("PriceID", 18),          SqlSmallInt("PriceID", 18)},
    {JetCurrency("Discount", 19),        SqlFloat("Discount", 19)},
    {JetText("Tel", 20, 50),             SqlNVarChar("Tel", 20, 50)},
    {JetText("Fax", 21, 50),             SqlNVarChar("Fax", 21, 50)},
    {JetText("Email", 22, 50),           SqlNVarChar("Email", 22, 50)},
    {JetText("PostCode", 23, 20),        SqlNVarChar("PostCode", 23, 20)},
    {JetText("Address", 24, 64),         SqlNVarChar("Address", 24, 64)},
    {JetText("Bank", 25, 64),            SqlNVarChar("Bank", 25, 64)},
    {JetText("AccNo", 26, 30),           SqlNVarChar("AccNo", 26, 30)},
    {JetMemo("Remark", 27),              SqlNText("Remark", 27)},
    {JetInteger("DebtCyc", 28),          SqlSmallInt("DebtCyc", 28)},
    {JetText("FollowName", 29, 20),      SqlNVarChar("FollowName", 29, 20)},
};
constexpr auto kCustomerColumns = Split(kCustomerPairs);

// The full plans copy the same pairs but these, which keep the destination's
// defaults.
constexpr std::string_view kNotInFull[] = {"IsUsed", "IsUsual", "RegionID", "Class", "TotalAmo"};
constexpr auto kCustomerFullColumns = SplitWithout(kCustomerPairs, kNotInFull);

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`IsTrans`,`IsUsed`,`IsUsual`,`RegionID`,`Class`,`UnitID`,`Code`,`UnitName`,`TaxNo`,`Credit`,`PBalAmo`,`BalAmo`,`PreAmo`,`TotalAmo`,`PriceID`,`Discount`,`Tel`,`Fax`,`Email`,`PostCode`,`Address`,`Bank`,`AccNo`,`DebtCyc`,`FollowName`,`Remark` from `Customer`";

}  // namespace

constinit const builder::TransferDef kCustomer = {
    .table = "Customer",
    .source_sql = kQuery,
    .source = kCustomerColumns.source,
    .destination = kCustomerColumns.destination,
};

constinit const builder::TransferDef kCustomerFull = {
    .table = "Customer",
    .source_sql = kQuery,
    .source = kCustomerFullColumns.source,
    .destination = kCustomerFullColumns.destination,
};

}  // namespace korvel::transfers
