#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// The customer-and-supplier plans' columns. BalAmo goes into both PBalAmo
// and BalAmo.
constexpr ColumnPair kSupplierPairs[] = {
    {JetLong("RegionID", 4),             SqlInt("RegionID", 4)},
    {JetText("Class", 5, 32),            SqlVarChar("Class", 5, 50)},
    {JetBoolean("IsUsed", 7, kNotNull),  SqlBit("IsUsed", 7)},
    {JetBoolean("IsUsual", 8, kNotNull), SqlBit("IsUsual", 8)},
    {JetText("UnitID", 9, 15, kNotNull), SqlNVarChar("UnitID", 9, 15, kNotNull)},
    {JetText("Code", 10, 50),            SqlNVarChar("Code", 10, 50)},
    {JetText("UnitName", 11, 64),        SqlNVarChar("UnitName", 11, 64)},
    {JetText("TaxNo", 12, 30),           SqlNVarChar("TaxNo", 12, 30)},
    {JetCurrency("BalAmo", 14),          SqlMoney("PBalAmo", 13)},
    {JetCurrency("BalAmo", 14),          SqlMoney("BalAmo", 14)},
    {JetText("Tel", 16, 50),             SqlNVarChar("Tel", 16, 50)},
    {JetText("Fax", 17, 50),             SqlNVarChar("Fax", 17, 50)},
    {JetText("Email", 18, 50),           SqlNVarChar("Email", 18, 50)},
    {JetText("PostCode", 19, 20),        SqlNVarChar("PostCode", 19, 20)},
    {JetText("Address", 20, 64),         SqlNVarChar("Address", 20, 64)},
    {JetText("Bank", 21, 64),            SqlNVarChar("Bank", 21, 64)},
    {JetText("AccNo", 22, 30),           SqlNVarChar("AccNo", 22, 30)},
    {JetMemo("Remark", 23),              SqlNText("Remark", 23)},
};
constexpr auto kSupplierColumns = Split(kSupplierPairs);

// The full plans' columns: backwards through the query, the ordinals
// numbering the pairs, the source columns described as writable; RegionID
// and Class are not written.
constexpr ColumnPair kSupplierFullPairs[] = {
    {Writable(JetMemo("Remark", 1)),                SqlNText("Remark", 1)},
    {Writable(JetText("AccNo", 2, 30)),             SqlNVarChar("AccNo", 2, 30)},
    {Writable(JetText("Bank", 3, 64)),              SqlNVarChar("Bank", 3, 64)},
    {Writable(JetText("Address", 4, 64)),           SqlNVarChar("Address", 4, 64)},
    {Writable(JetText("PostCode", 5, 20)),          SqlNVarChar("PostCode", 5, 20)},
    {Writable(JetText("Email", 6, 50)),             SqlNVarChar("Email", 6, 50)},
    {Writable(JetText("Fax", 7, 50)),               SqlNVarChar("Fax", 7, 50)},
    {Writable(JetText("Tel", 8, 50)),               SqlNVarChar("Tel", 8, 50)},
    {Writable(JetCurrency("BalAmo", 9)),            SqlMoney("BalAmo", 9)},
    {Writable(JetCurrency("BalAmo", 10)),           SqlMoney("PBalAmo", 10)},
    {Writable(JetText("TaxNo", 11, 30)),            SqlNVarChar("TaxNo", 11, 30)},
    {Writable(JetText("UnitName", 12, 64)),         SqlNVarChar("UnitName", 12, 64)},
    {Writable(JetText("Code", 13, 50)),             SqlNVarChar("Code", 13, 50)},
    {Writable(JetText("UnitID", 14, 15)),           SqlNVarChar("UnitID", 14, 15, kNotNull)},
    {Writable(JetBoolean("IsUsual", 15, kNotNull)), SqlBit("IsUsual", 15)},
    {Writable(JetBoolean("IsUsed", 16, kNotNull)),  SqlBit("IsUsed", 16)},
};
constexpr auto kSupplierFullColumns = Split(kSupplierFullPairs);

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`RegionID`,`Class`,`IsTrans`,`IsUsed`,`IsUsual`,`UnitID`,`Code`,`UnitName`,`TaxNo`,`PBalAmo`,`BalAmo`,`PreAmo`,`Tel`,`Fax`,`Email`,`PostCode`,`Address`,`Bank`,`AccNo`,`Remark` from `Supplier`";

}  // namespace

constinit const builder::TransferDef kSupplier = {
    .table = "Supplier",
    .source_sql = kQuery,
    .source = kSupplierColumns.source,
    .destination = kSupplierColumns.destination,
};

constinit const builder::TransferDef kSupplierFull = {
    .table = "Supplier",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kSupplierFullColumns.source,
    .destination = kSupplierFullColumns.destination,
};

}  // namespace korvel::transfers
