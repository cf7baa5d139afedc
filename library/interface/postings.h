// What each posting procedure posts, stated once: the plans build their
// procedures' conditions from it (library/plans/procedures.cpp), the check
// forecasts the postings by it and the reconciliation recounts them by it
// (library/assurance/). It is the plans' promise to the front ends, so it
// sits with the plan interface, which both sides may read.
//
// A posting writes one row into `ledger` for each row of `source` (a
// destination table) whose `not_zero` columns are all other than zero and,
// when `except_column` is named, whose `except_column` is not
// `except_value`; the row's `amount` (and `quantity`) go into the ledger's
// columns of the same names.
#pragma once

#include <array>
#include <string_view>

namespace korvel {

struct PostingRule {
  std::string_view procedure;  // "WriteCustAcc"
  std::string_view step;       // "执行存储过程 WriteCustAcc": the package step that runs it
  std::string_view source;     // "Customer"
  std::string_view ledger;     // "CustAcc"
  std::array<std::string_view, 2> not_zero;  // "" past the last
  std::string_view except_column;  // "" for none
  std::string_view except_value;
  std::string_view amount;    // "BalAmo"
  std::string_view quantity;  // "BalQua" for the custody book, "" for a partner ledger
};

// In the order the full plans post them.
inline constexpr PostingRule kPostingRules[] = {
    {"WriteCustAcc", "执行存储过程 WriteCustAcc", "Customer", "CustAcc", {"IsUsed", "BalAmo"}, "UnitID", "0",
     "BalAmo", ""},
    {"WriteSuppAcc", "执行存储过程 WriteSuppAcc", "Supplier", "SuppAcc", {"IsUsed", "BalAmo"}, "", "", "BalAmo", ""},
    {"WriteCustody", "执行存储过程 WriteCustody", "bBalance", "Custody", {"BalQua", ""}, "", "", "BalAmo", "BalQua"},
};

// Each by its ledger.
inline constexpr const PostingRule& kCustomerPosting = kPostingRules[0];
inline constexpr const PostingRule& kSupplierPosting = kPostingRules[1];
inline constexpr const PostingRule& kCustodyPosting = kPostingRules[2];

}  // namespace korvel
