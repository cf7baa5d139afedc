// What a 5.6 file says an upgraded destination must hold, worked out here
// from the file itself with the rules as the upgrade states them, apart
// from the plans' own code: the ledger and custody postings, and every
// table a transfer fills.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/dts/model.h"
#include "tests/support/shop.h"

namespace testing_support {

// `lines` in ascending order, for comparing sets of rows.
std::vector<std::string> Sorted(std::vector<std::string> lines);

// A ledger posting of CustAcc or SuppAcc.
struct ExpectedLedger {
  std::vector<std::string> rows;    // sorted: UnitID, Type, BuyAmo, PayAmo, BalAmo, Summary
  std::string totals;               // "count<TAB>sum of BalAmo" ("0<TAB>" when empty)
  std::vector<std::string> marked;  // sorted UnitIDs whose IsTrans the posting sets
};

// The posting of the partners of `table` ("Customer" or "Supplier"): one
// entry per partner in use with a balance other than zero, but not the
// retail customer "0" (customers only). When the transfer does not write
// IsUsed, every partner is in use by the destination's default.
ExpectedLedger LedgerOf(const std::string& file, const std::string& table, bool is_used_written = true);

struct ExpectedCustody {
  // sorted: BaseID, GoodsID, Type, BuyPrice, BuyQua, BuyAmo, BalPrice,
  // BalQua, BalAmo, RBalQua, RBalAmo, Summary
  std::vector<std::string> rows;
  std::string totals;  // "rows<TAB>quantity<TAB>amount"
  std::set<std::string> stocked_goods;
};

// One custody entry per stock row with a quantity; price = amount /
// quantity in money, four decimals, the rest cut off.
ExpectedCustody CustodyOf(const std::string& file);

// For every data pump task of `package`: the rows of its source query in
// `file`, passed through the task's column pairs (or its script's
// assignments), against the rows of its destination table. Values compare
// by the destination column's type: numbers to four decimals, dates to the
// second, text cut to the column's size. Returns one line per difference
// ("" entries never); empty when every table matches.
std::vector<std::string> TransferDifferences(const EmbeddedShop& shop, const dts::Package& package,
                                             const std::string& file);

// The rows of the named tables, sorted, leaving out the columns that a
// rerun changes by nature (identity row numbers, the times of the run).
std::map<std::string, std::vector<std::string>> ContentOf(const EmbeddedShop& shop,
                                                          const std::vector<std::string>& tables);
// The same, read through a driver session on any destination.
std::map<std::string, std::vector<std::string>> ContentOf(dts::Session& session, const std::vector<std::string>& tables);

}  // namespace testing_support
