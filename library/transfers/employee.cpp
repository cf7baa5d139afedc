#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// The same columns in every plan that carries the transfer.
constexpr ColumnPair kEmployeePairs[] = {
    {JetLong("DepID", 4),              SqlInt("DepID", 4)},
    {JetText("Class", 5, 32),          SqlNVarChar("Class", 5, 32)},
    {JetText("Code", 6, 15, kNotNull), SqlNVarChar("Code", 6, 20, kNotNull)},
    {JetText("Name", 7, 32),           SqlNVarChar("Name", 7, 32, kNotNull)},
    {JetText("Sex", 8, 10),            SqlNVarChar("Sex", 8, 10)},
    {JetText("Nation", 9, 50),         SqlNVarChar("Nation", 9, 50)},
    {JetText("Birthy", 10, 12),        SqlNVarChar("Birthy", 10, 12)},
    {JetText("IDNo", 11, 18),          SqlNVarChar("IDNo", 11, 18)},
    {JetText("CalLevel", 12, 12),      SqlNVarChar("CalLevel", 12, 50)},
    {JetText("Zch", 13, 20),           SqlNVarChar("Zch", 13, 20)},
    {JetText("Zw", 14, 20),            SqlNVarChar("Zw", 14, 20)},
    {JetText("WorkDate", 15, 12),      SqlNVarChar("WorkDate", 15, 12)},
    {JetText("ToDate", 16, 12),        SqlNVarChar("ToDate", 16, 12)},
    {JetText("Tel", 17, 15),           SqlNVarChar("Tel", 17, 15)},
    {JetText("Bp", 18, 15),            SqlNVarChar("Bp", 18, 50)},
    {JetText("Address", 19, 60),       SqlNVarChar("Address", 19, 60)},
    {JetText("PostCode", 20, 20),      SqlNVarChar("PostCode", 20, 20)},
    {JetMemo("Remark", 21),            SqlNText("Remark", 21)},
};
constexpr auto kEmployeeColumns = Split(kEmployeePairs);

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`DepID`,`Class`,`Code`,`Name`,`Sex`,`Nation`,`Birthy`,`IDNo`,`CalLevel`,`Zch`,`Zw`,`WorkDate`,`ToDate`,`Tel`,`Bp`,`Address`,`PostCode`,`Remark` from `Employee`";

}  // namespace

constinit const builder::TransferDef kEmployee = {
    .table = "Employee",
    .source_sql = kQuery,
    .allow_identity_inserts = false,
    .source = kEmployeeColumns.source,
    .destination = kEmployeeColumns.destination,
};

constinit const builder::TransferDef kEmployeeFull = {
    .table = "Employee",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kEmployeeColumns.source,
    .destination = kEmployeeColumns.destination,
};

}  // namespace korvel::transfers
