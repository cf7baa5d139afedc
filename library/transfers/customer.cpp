#include <array>

#include "library/transfers/transfers.h"

namespace korvel::transfers {
namespace {

using builder::ColumnDef;

// Source and destination columns of the customer-and-supplier plans, paired
// by position. The 5.6 current balance BalAmo goes into both the opening
// balance PBalAmo and the current balance BalAmo.
constexpr std::array<ColumnDef, 24> kCustomerSource = {{
    {"IsUsed", 5, 90, 0, 11, false},
    {"IsUsual", 6, 90, 0, 11, false},
    {"RegionID", 7, 122, 0, 3, true},
    {"Class", 8, 106, 32, 130, true},
    {"UnitID", 9, 74, 15, 130, false},
    {"Code", 10, 106, 50, 130, true},
    {"UnitName", 11, 106, 64, 130, true},
    {"TaxNo", 12, 106, 30, 130, true},
    {"Credit", 13, 122, 0, 4, true},
    {"BalAmo", 15, 122, 0, 6, true},
    {"BalAmo", 15, 122, 0, 6, true},
    {"TotalAmo", 17, 122, 0, 6, true},
    {"PriceID", 18, 122, 0, 2, true},
    {"Discount", 19, 122, 0, 6, true},
    {"Tel", 20, 106, 50, 130, true},
    {"Fax", 21, 106, 50, 130, true},
    {"Email", 22, 106, 50, 130, true},
    {"PostCode", 23, 106, 20, 130, true},
    {"Address", 24, 106, 64, 130, true},
    {"Bank", 25, 106, 64, 130, true},
    {"AccNo", 26, 106, 30, 130, true},
    {"Remark", 27, 234, 0, 130, true},
    {"DebtCyc", 28, 122, 0, 2, true},
    {"FollowName", 29, 106, 20, 130, true},
}};

constexpr std::array<ColumnDef, 24> kCustomerDestination = {{
    {"IsUsed", 5, 120, 0, 11, true},
    {"IsUsual", 6, 120, 0, 11, true},
    {"RegionID", 7, 120, 0, 3, true},
    {"Class", 8, 104, 50, 129, true},
    {"UnitID", 9, 8, 15, 130, false},
    {"Code", 10, 104, 50, 130, true},
    {"UnitName", 11, 104, 64, 130, true},
    {"TaxNo", 12, 104, 30, 130, true},
    {"Credit", 13, 120, 0, 4, true},
    {"PBalAmo", 14, 120, 0, 6, true},
    {"BalAmo", 15, 120, 0, 6, true},
    {"TotalAmo", 17, 120, 0, 6, true},
    {"PriceID", 18, 120, 0, 2, true},
    {"Discount", 19, 120, 0, 5, true},
    {"Tel", 20, 104, 50, 130, true},
    {"Fax", 21, 104, 50, 130, true},
    {"Email", 22, 104, 50, 130, true},
    {"PostCode", 23, 104, 20, 130, true},
    {"Address", 24, 104, 64, 130, true},
    {"Bank", 25, 104, 64, 130, true},
    {"AccNo", 26, 104, 30, 130, true},
    {"Remark", 27, 232, 0, 130, true},
    {"DebtCyc", 28, 120, 0, 2, true},
    {"FollowName", 29, 104, 20, 130, true},
}};

// The full plans copy the same pairs but IsUsed, IsUsual, RegionID, Class
// and TotalAmo (positions 1-4 and 12), which keep the destination defaults.
constexpr std::array<std::size_t, 19> kFullPairs = {4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};

constexpr std::array<ColumnDef, 19> FullPairs(const std::array<ColumnDef, 24>& all) {
  std::array<ColumnDef, 19> out{};
  for (std::size_t i = 0; i < kFullPairs.size(); ++i) out[i] = all[kFullPairs[i]];
  return out;
}

constexpr std::array<ColumnDef, 19> kCustomerFullSource = FullPairs(kCustomerSource);
constexpr std::array<ColumnDef, 19> kCustomerFullDestination = FullPairs(kCustomerDestination);

constexpr char kQuery[] =
    "select `Computer`,`Operator`,`OpTime`,`IsTrans`,`IsUsed`,`IsUsual`,`RegionID`,`Class`,`UnitID`,`Code`,`UnitName`,`TaxNo`,`Credit`,`PBalAmo`,`BalAmo`,`PreAmo`,`TotalAmo`,`PriceID`,`Discount`,`Tel`,`Fax`,`Email`,`PostCode`,`Address`,`Bank`,`AccNo`,`DebtCyc`,`FollowName`,`Remark` from `Customer`";

}  // namespace

constinit const builder::TransferDef kCustomer = {
    .table = "Customer",
    .source_sql = kQuery,
    .source = kCustomerSource,
    .destination = kCustomerDestination,
};

constinit const builder::TransferDef kCustomerFull = {
    .table = "Customer",
    .source_sql = kQuery,
    .source = kCustomerFullSource,
    .destination = kCustomerFullDestination,
};

}  // namespace korvel::transfers
