#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Source and destination columns, paired by position; the same in every
// plan that carries the transfer.
const ColumnDef kEmployeeSource[] = {
    {"DepID", 4, 122, 0, 3, true},
    {"Class", 5, 106, 32, 130, true},
    {"Code", 6, 74, 15, 130, false},
    {"Name", 7, 106, 32, 130, true},
    {"Sex", 8, 106, 10, 130, true},
    {"Nation", 9, 106, 50, 130, true},
    {"Birthy", 10, 106, 12, 130, true},
    {"IDNo", 11, 106, 18, 130, true},
    {"CalLevel", 12, 106, 12, 130, true},
    {"Zch", 13, 106, 20, 130, true},
    {"Zw", 14, 106, 20, 130, true},
    {"WorkDate", 15, 106, 12, 130, true},
    {"ToDate", 16, 106, 12, 130, true},
    {"Tel", 17, 106, 15, 130, true},
    {"Bp", 18, 106, 15, 130, true},
    {"Address", 19, 106, 60, 130, true},
    {"PostCode", 20, 106, 20, 130, true},
    {"Remark", 21, 234, 0, 130, true},
};

const ColumnDef kEmployeeDestination[] = {
    {"DepID", 4, 120, 0, 3, true},
    {"Class", 5, 104, 32, 130, true},
    {"Code", 6, 8, 20, 130, false},
    {"Name", 7, 8, 32, 130, false},
    {"Sex", 8, 104, 10, 130, true},
    {"Nation", 9, 104, 50, 130, true},
    {"Birthy", 10, 104, 12, 130, true},
    {"IDNo", 11, 104, 18, 130, true},
    {"CalLevel", 12, 104, 50, 130, true},
    {"Zch", 13, 104, 20, 130, true},
    {"Zw", 14, 104, 20, 130, true},
    {"WorkDate", 15, 104, 12, 130, true},
    {"ToDate", 16, 104, 12, 130, true},
    {"Tel", 17, 104, 15, 130, true},
    {"Bp", 18, 104, 50, 130, true},
    {"Address", 19, 104, 60, 130, true},
    {"PostCode", 20, 104, 20, 130, true},
    {"Remark", 21, 232, 0, 130, true},
};

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`DepID`,`Class`,`Code`,`Name`,`Sex`,`Nation`,`Birthy`,`IDNo`,`CalLevel`,`Zch`,`Zw`,`WorkDate`,`ToDate`,`Tel`,`Bp`,`Address`,`PostCode`,`Remark` from `Employee`";

}  // namespace

constinit const builder::TransferDef kEmployee = {
    .table = "Employee",
    .source_sql = kQuery,
    .allow_identity_inserts = false,
    .source = kEmployeeSource,
    .destination = kEmployeeDestination,
};

constinit const builder::TransferDef kEmployeeFull = {
    .table = "Employee",
    .source_sql = kQuery,
    .allow_identity_inserts = true,
    .source = kEmployeeSource,
    .destination = kEmployeeDestination,
};

}  // namespace korvel::transfers
