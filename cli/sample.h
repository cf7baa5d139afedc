// A consistent, realistic version 5.6 shop, written as a Jet file with the
// 5.6 source schema: departments and their employees, members, regions
// with customers and suppliers, goods classes, goods, combinations,
// identification codes, warehouses and stock.
//
// The scale multiplies the row counts: 1 is a small shop of a few hundred
// rows, 1000 has about a million stock rows. The same seed gives the same
// file. Every sample holds the cases an upgrade must handle: zero, negative
// and fractional balances, the retail customer "0", unused customers and
// suppliers, stock with zero quantity but an amount, goods in several
// warehouses, goods not in regular use, a goods name over 50 characters,
// nulls where both sides allow them, long memos; and it upgrades cleanly
// with every plan (keys unique, references valid, required values given).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

struct SampleOptions {
  int scale = 1;
  std::uint64_t seed = 56;
  std::string password{};
};

struct SampleResult {
  std::vector<std::pair<std::string, long long>> rows;  // per table, in file order
};

// Writes the sample to `path`; `progress` (may be empty) hears each table
// as it is finished. Raises com::Error.
SampleResult WriteSample(const std::string& path, const SampleOptions& options,
                         const std::function<void(const std::string& table, long long rows)>& progress = {});

}  // namespace cli
