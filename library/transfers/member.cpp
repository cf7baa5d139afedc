#include "library/builder/columns.h"
#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using namespace builder::columns;

// From CardID on the destination ordinals are one ahead: destination
// columns 5, 20, 22 and 27 are never written.
constexpr ColumnPair kMemberPairs[] = {
    {JetText("MemberID", 4, 15, kNotNull), SqlNVarChar("MemberID", 4, 15, kNotNull)},
    {JetText("CardID", 5, 15, kNotNull),   SqlNVarChar("CardID", 6, 15)},
    {JetText("Name", 6, 64),               SqlNVarChar("Name", 7, 64)},
    {JetText("Sex", 7, 4),                 SqlNVarChar("Sex", 8, 4)},
    {JetDateTime("Birthy", 8),             SqlDateTime("Birthy", 9)},
    {JetText("IDNo", 9, 18),               SqlNVarChar("IDNo", 10, 18)},
    {JetText("Tel", 10, 50),               SqlNVarChar("Tel", 11, 50)},
    {JetText("Bp", 11, 50),                SqlNVarChar("Bp", 12, 50)},
    {JetText("Hand", 12, 50),              SqlNVarChar("Hand", 13, 50)},
    {JetText("Email", 13, 50),             SqlNVarChar("Email", 14, 50)},
    {JetText("Http", 14, 50),              SqlNVarChar("Http", 15, 50)},
    {JetText("PostCode", 15, 20),          SqlNVarChar("PostCode", 16, 20)},
    {JetText("Address", 16, 128),          SqlNVarChar("Address", 17, 128)},
    {JetDateTime("ToDate", 17),            SqlDateTime("ToDate", 18)},
    {JetInteger("Type", 18),               SqlSmallInt("Type", 19)},
    {JetText("Class", 20, 32),             SqlVarChar("Class", 21, 50)},
    {JetBoolean("IsUse", 22, kNotNull),    SqlBit("IsUse", 23)},
    {JetBoolean("IsUsual", 23, kNotNull),  SqlBit("IsUsual", 24)},
    {JetInteger("PriceID", 24),            SqlSmallInt("PriceID", 25)},
    {JetCurrency("Discount", 25),          SqlFloat("Discount", 26)},
    {JetMemo("Remark", 27),                SqlNText("Remark", 28)},
};
constexpr auto kMemberColumns = Split(kMemberPairs);

}  // namespace

constinit const builder::TransferDef kMember = {
    .table = "Member",
    .source_sql =
        "select `Computer`,`Operator`,`OpTime`,`MemberID`,`CardID`,`Name`,`Sex`,`Birthy`,`IDNo`,`Tel`,`Bp`,`Hand`,`Email`,`Http`,`PostCode`,`Address`,`ToDate`,`Type`,`RegionID`,`Class`,`IsTrans`,`IsUse`,`IsUsual`,`PriceID`,`Discount`,`Amo`,`Remark` from `Member`",
    .allow_identity_inserts = true,
    .source = kMemberColumns.source,
    .destination = kMemberColumns.destination,
};

}  // namespace korvel::transfers
