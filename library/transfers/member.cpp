#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Source and destination columns, paired by position. From CardID on the
// destination ordinals are one ahead: destination columns 5, 20, 22 and 27
// are never written.
const ColumnDef kMemberSource[] = {
    {"MemberID", 4, 74, 15, 130, false},
    {"CardID", 5, 74, 15, 130, false},
    {"Name", 6, 106, 64, 130, true},
    {"Sex", 7, 106, 4, 130, true},
    {"Birthy", 8, 122, 0, 7, true},
    {"IDNo", 9, 106, 18, 130, true},
    {"Tel", 10, 106, 50, 130, true},
    {"Bp", 11, 106, 50, 130, true},
    {"Hand", 12, 106, 50, 130, true},
    {"Email", 13, 106, 50, 130, true},
    {"Http", 14, 106, 50, 130, true},
    {"PostCode", 15, 106, 20, 130, true},
    {"Address", 16, 106, 128, 130, true},
    {"ToDate", 17, 122, 0, 7, true},
    {"Type", 18, 122, 0, 2, true},
    {"Class", 20, 106, 32, 130, true},
    {"IsUse", 22, 90, 0, 11, false},
    {"IsUsual", 23, 90, 0, 11, false},
    {"PriceID", 24, 122, 0, 2, true},
    {"Discount", 25, 122, 0, 6, true},
    {"Remark", 27, 234, 0, 130, true},
};

const ColumnDef kMemberDestination[] = {
    {"MemberID", 4, 8, 15, 130, false},
    {"CardID", 6, 104, 15, 130, true},
    {"Name", 7, 104, 64, 130, true},
    {"Sex", 8, 104, 4, 130, true},
    {"Birthy", 9, 120, 0, 135, true},
    {"IDNo", 10, 104, 18, 130, true},
    {"Tel", 11, 104, 50, 130, true},
    {"Bp", 12, 104, 50, 130, true},
    {"Hand", 13, 104, 50, 130, true},
    {"Email", 14, 104, 50, 130, true},
    {"Http", 15, 104, 50, 130, true},
    {"PostCode", 16, 104, 20, 130, true},
    {"Address", 17, 104, 128, 130, true},
    {"ToDate", 18, 120, 0, 135, true},
    {"Type", 19, 120, 0, 2, true},
    {"Class", 21, 104, 50, 129, true},
    {"IsUse", 23, 120, 0, 11, true},
    {"IsUsual", 24, 120, 0, 11, true},
    {"PriceID", 25, 120, 0, 2, true},
    {"Discount", 26, 120, 0, 5, true},
    {"Remark", 28, 232, 0, 130, true},
};

}  // namespace

constinit const builder::TransferDef kMember = {
    .table = "Member",
    .source_sql =
        "select `Computer`,`Operator`,`OpTime`,`MemberID`,`CardID`,`Name`,`Sex`,`Birthy`,`IDNo`,`Tel`,`Bp`,`Hand`,`Email`,`Http`,`PostCode`,`Address`,`ToDate`,`Type`,`RegionID`,`Class`,`IsTrans`,`IsUse`,`IsUsual`,`PriceID`,`Discount`,`Amo`,`Remark` from `Member`",
    .allow_identity_inserts = true,
    .source = kMemberSource,
    .destination = kMemberDestination,
};

}  // namespace korvel::transfers
